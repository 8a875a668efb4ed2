# End-to-end tests: the real toggra started as a child process on a bench
# file and watched from outside (command log, bench, state and protocol files,
# stderr, exit status). One program, every test labelled e2e; the many-instance
# run takes about a minute.
if(TOGGRA_BUILD_TESTS AND TOGGRA_BUILD_GUI)
  file(GLOB e2e_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
  if(e2e_sources)
    add_executable(toggra_tests_e2e ${e2e_sources})
    target_link_libraries(toggra_tests_e2e PRIVATE toggra_test_support GTest::gtest_main)
    target_compile_definitions(toggra_tests_e2e PRIVATE
      TOGGRA_EXECUTABLE="$<TARGET_FILE:toggra>")
    add_dependencies(toggra_tests_e2e toggra)
    gtest_discover_tests(toggra_tests_e2e DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         PROPERTIES LABELS e2e TIMEOUT 300)
  endif()
endif()
