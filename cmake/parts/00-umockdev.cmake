# Test support for back-ends tested against emulated hardware: a umockdev test
# bed wrapper (fake sysfs and device nodes, ioctl handlers in C++) and the
# re-exec under the preload library. Named 00-* so that the back-ends' parts,
# included after it, can link `toggra_umockdev_support` and the test main
# `toggra_umockdev_main`.
if(TOGGRA_BUILD_TESTS)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
  if(UMOCKDEV_FOUND)
    add_library(toggra_umockdev_support STATIC
      ${CMAKE_SOURCE_DIR}/tests/support/umockdev/Testbed.cpp
      ${CMAKE_SOURCE_DIR}/tests/support/umockdev/Preload.cpp)
    target_include_directories(toggra_umockdev_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(toggra_umockdev_support PUBLIC PkgConfig::UMOCKDEV)
    if(TOGGRA_SANITIZE)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                      OUTPUT_VARIABLE toggra_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
      target_compile_definitions(toggra_umockdev_support PRIVATE
        TOGGRA_ASAN_RUNTIME="${toggra_asan_runtime}")
    endif()
    add_library(toggra_umockdev_main STATIC ${CMAKE_SOURCE_DIR}/tests/support/umockdev/GTestMain.cpp)
    target_link_libraries(toggra_umockdev_main PUBLIC toggra_umockdev_support GTest::gtest)
  else()
    message(STATUS "umockdev-1.0 not found: tests against emulated hardware are not built")
  endif()
endif()

if(TARGET toggra_umockdev_main)
  add_executable(toggra_tests_umockdev ${CMAKE_SOURCE_DIR}/tests/support/umockdev/TestbedTest.cpp)
  target_link_libraries(toggra_tests_umockdev PRIVATE toggra_umockdev_main)
  # Each run re-executes itself under the preload library. The appended
  # ASAN_OPTIONS keeps the options CI gives and lets a sanitizer build run
  # where the preload comes before the sanitizer runtime.
  gtest_discover_tests(toggra_tests_umockdev DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 30 LABELS umockdev
                       ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
endif()
