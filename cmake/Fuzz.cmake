# libFuzzer targets for the parsers that read what users and other processes
# write: the command line, the state file, the hive files and the bench file.
# They need clang; fuzz/run.sh configures a build folder of their own.
option(TOGGRA_BUILD_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(TOGGRA_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TOGGRA_BUILD_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  # The core is instrumented for coverage and checked by both sanitizers; an
  # undefined operation aborts like a crash, so the fuzzer keeps the input.
  set(TOGGRA_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)
  target_compile_options(toggra_core PRIVATE -fsanitize=fuzzer-no-link ${TOGGRA_FUZZ_SANITIZERS})
  target_link_options(toggra_core INTERFACE ${TOGGRA_FUZZ_SANITIZERS})
  foreach(target IN ITEMS cmdline state hive bench conf)
    add_executable(fuzz_${target} ${CMAKE_SOURCE_DIR}/fuzz/fuzz_${target}.cpp)
    target_compile_options(fuzz_${target} PRIVATE -fsanitize=fuzzer ${TOGGRA_FUZZ_SANITIZERS})
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${target} PRIVATE toggra_core)
  endforeach()
endif()
