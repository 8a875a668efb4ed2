# The examples of README.md and the man pages, run through /bin/sh on the demo
# set with the built programs (offscreen, ended by SIGTERM; about 20 s).
if(TOGGRA_BUILD_TESTS AND TOGGRA_BUILD_GUI)
  add_executable(toggra_tests_examples ${CMAKE_SOURCE_DIR}/tests/examples/DocumentedExamplesTest.cpp)
  target_link_libraries(toggra_tests_examples PRIVATE toggra_test_support GTest::gtest_main)
  target_compile_definitions(toggra_tests_examples PRIVATE
    TOGGRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TOGGRA_EXECUTABLE="$<TARGET_FILE:toggra>"
    TOGGRA_BENCH_TOOL="$<TARGET_FILE:toggra-bench>")
  add_dependencies(toggra_tests_examples toggra toggra-bench)
  # The plug-in example runs the example plug-in from the build folder.
  add_dependencies(toggra_tests_examples toggra-bench-plugin toggra-ctl)
  gtest_discover_tests(toggra_tests_examples DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES TIMEOUT 60)
endif()
