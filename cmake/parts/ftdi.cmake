# The FTDI bit-bang relay boards (ftdi): the udev rule, and the tests on
# umockdev's emulated FT245R, with toggra-ctl run against it. The back-end
# itself is a module (cmake/Backends.cmake).
install(FILES data/udev/70-toggra-ftdi.rules DESTINATION lib/udev/rules.d)

if(toggra_have_ftdi AND TARGET toggra_umockdev_main)
  file(GLOB ftdi_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/device/ftdi/*.cpp)
  add_executable(toggra_tests_ftdi ${ftdi_test_sources})
  target_include_directories(toggra_tests_ftdi PRIVATE ${CMAKE_SOURCE_DIR}/tests/device)
  target_link_libraries(toggra_tests_ftdi PRIVATE toggra_test_support toggra_backend_ftdi
                        toggra_umockdev_main)
  target_compile_definitions(toggra_tests_ftdi PRIVATE
    TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>")
  add_dependencies(toggra_tests_ftdi toggra-ctl)
  gtest_discover_tests(toggra_tests_ftdi DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 30 LABELS umockdev
                       ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
endif()
