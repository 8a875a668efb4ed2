# The tests of the serial back-ends (lcus, modbus) against modules and boards
# played on pseudo-terminals, and the udev rule of the CH340/CH341 ttys; the
# back-ends themselves are modules (cmake/Backends.cmake).
install(FILES data/udev/70-toggra-serial.rules DESTINATION lib/udev/rules.d)

if(TOGGRA_BUILD_TESTS)
  foreach(part lcus modbus)
    file(GLOB part_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/device/${part}/*.cpp)
    if(NOT part_sources OR NOT toggra_have_${part})
      continue()
    endif()
    add_executable(toggra_tests_${part} ${part_sources})
    target_include_directories(toggra_tests_${part} PRIVATE ${CMAKE_SOURCE_DIR}/tests/device)
    target_link_libraries(toggra_tests_${part} PRIVATE toggra_test_support toggra_backend_${part}
                          GTest::gtest_main)
    # The programs' tests run toggra-ctl on the emulated hardware.
    target_compile_definitions(toggra_tests_${part} PRIVATE
      TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>")
    add_dependencies(toggra_tests_${part} toggra-ctl)
    gtest_discover_tests(toggra_tests_${part} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         PROPERTIES TIMEOUT 30)
  endforeach()
endif()

# toggra-ctl list --all on ttys in umockdev's emulated sysfs.
if(TARGET toggra_umockdev_main AND toggra_have_lcus)
  add_executable(toggra_tests_serialscan
                 ${CMAKE_SOURCE_DIR}/tests/device/serialscan/SerialScanProgramsTest.cpp)
  target_include_directories(toggra_tests_serialscan PRIVATE ${CMAKE_SOURCE_DIR}/tests/device)
  target_link_libraries(toggra_tests_serialscan PRIVATE toggra_test_support toggra_umockdev_main)
  target_compile_definitions(toggra_tests_serialscan PRIVATE
    TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>")
  add_dependencies(toggra_tests_serialscan toggra-ctl)
  gtest_discover_tests(toggra_tests_serialscan DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 30 LABELS umockdev
                       ENVIRONMENT_MODIFICATION
                       "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
endif()

# The window program on a module and a board played on pseudo-terminals.
if(TOGGRA_BUILD_TESTS AND TARGET toggra AND toggra_have_lcus AND toggra_have_modbus)
  add_executable(toggra_tests_serialwindow
                 ${CMAKE_SOURCE_DIR}/tests/device/serialwindow/SerialWindowTest.cpp)
  target_include_directories(toggra_tests_serialwindow PRIVATE ${CMAKE_SOURCE_DIR}/tests/device
                             ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(toggra_tests_serialwindow PRIVATE toggra_test_support GTest::gtest_main)
  target_compile_definitions(toggra_tests_serialwindow PRIVATE
    TOGGRA_EXECUTABLE="$<TARGET_FILE:toggra>")
  add_dependencies(toggra_tests_serialwindow toggra)
  gtest_discover_tests(toggra_tests_serialwindow DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 60)
endif()
