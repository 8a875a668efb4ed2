# The `plugin` back-end: the installed driver interface header, dlopen in the
# core, the example plug-in (the bench served through the interface) and the
# tests that load real plug-ins, good and broken.
target_include_directories(toggra_core PUBLIC ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(toggra_core PUBLIC ${CMAKE_DL_LIBS})
# The example plug-in links the core's bench code into a shared object.
set_property(TARGET toggra_core PROPERTY POSITION_INDEPENDENT_CODE ON)
install(FILES include/toggra/toggra_driver.h DESTINATION include/toggra COMPONENT dev)

add_library(toggra-bench-plugin MODULE examples/plugin/bench_plugin.cpp)
target_link_libraries(toggra-bench-plugin PRIVATE toggra_core)
set_target_properties(toggra-bench-plugin PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden
                      VISIBILITY_INLINES_HIDDEN ON)
# Only the entry symbol leaves the plug-in; the core linked into it stays its
# own, so it cannot collide with the core of the program that loads it.
target_link_options(toggra-bench-plugin PRIVATE -Wl,--exclude-libs,ALL)

if(TOGGRA_BUILD_TESTS)
  # Broken plug-ins, written in C so that the header is compiled as C too.
  enable_language(C)
  set(toggra_broken_plugins wrong_version no_entry null_table missing_member unresolved)
  set(toggra_plugin_paths)
  foreach(name IN LISTS toggra_broken_plugins)
    add_library(toggra_test_plugin_${name} MODULE tests/plugin/broken/${name}.c)
    target_include_directories(toggra_test_plugin_${name} PRIVATE ${CMAKE_SOURCE_DIR}/include)
    set_target_properties(toggra_test_plugin_${name} PROPERTIES PREFIX "")
    string(TOUPPER ${name} upper)
    list(APPEND toggra_plugin_paths
         TOGGRA_TEST_PLUGIN_${upper}="$<TARGET_FILE:toggra_test_plugin_${name}>")
  endforeach()

  add_executable(toggra_tests_plugin tests/plugin/PluginLoadTest.cpp)
  target_link_libraries(toggra_tests_plugin PRIVATE toggra_test_support GTest::gtest_main)
  target_compile_definitions(toggra_tests_plugin PRIVATE ${toggra_plugin_paths}
    TOGGRA_BENCH_PLUGIN="$<TARGET_FILE:toggra-bench-plugin>" TOGGRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(toggra_tests_plugin toggra-bench-plugin)
  foreach(name IN LISTS toggra_broken_plugins)
    add_dependencies(toggra_tests_plugin toggra_test_plugin_${name})
  endforeach()
  gtest_discover_tests(toggra_tests_plugin DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

  if(TOGGRA_BUILD_GUI)
    # The real program on the example plug-in, watched from outside.
    add_executable(toggra_tests_plugin_program tests/plugin/PluginProgramTest.cpp)
    target_link_libraries(toggra_tests_plugin_program PRIVATE toggra_test_support GTest::gtest_main)
    target_compile_definitions(toggra_tests_plugin_program PRIVATE ${toggra_plugin_paths}
      TOGGRA_BENCH_PLUGIN="$<TARGET_FILE:toggra-bench-plugin>"
      TOGGRA_EXECUTABLE="$<TARGET_FILE:toggra>"
      TOGGRA_BENCH_TOOL="$<TARGET_FILE:toggra-bench>")
    add_dependencies(toggra_tests_plugin_program toggra toggra-bench toggra-bench-plugin
                     toggra_test_plugin_wrong_version)
    gtest_discover_tests(toggra_tests_plugin_program DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         PROPERTIES LABELS e2e TIMEOUT 120)
  endif()
endif()
