# The tests of the USB HID relay boards (hidrelay) and of relay lines on GPIO
# chips (gpio) on umockdev's emulated devices; the back-ends themselves are
# modules (cmake/Backends.cmake).
install(FILES data/udev/70-toggra-hidrelay.rules DESTINATION lib/udev/rules.d)

if(TARGET toggra_umockdev_main)
  foreach(part hidrelay gpio)
    file(GLOB part_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/device/${part}/*.cpp)
    if(NOT part_sources OR NOT toggra_have_${part})
      continue()
    endif()
    add_executable(toggra_tests_${part} ${part_sources})
    target_include_directories(toggra_tests_${part} PRIVATE ${CMAKE_SOURCE_DIR}/tests/device)
    target_link_libraries(toggra_tests_${part} PRIVATE toggra_test_support toggra_backend_${part}
                          toggra_umockdev_main)
    # Each program re-executes itself under umockdev's preload library; the
    # sanitizer build accepts a preload that does not come first.
    gtest_discover_tests(toggra_tests_${part} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         PROPERTIES TIMEOUT 30 LABELS umockdev
                         ENVIRONMENT_MODIFICATION
                         "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
  endforeach()
  if(TARGET toggra_tests_hidrelay)
    # toggra-ctl on the emulated relay board.
    target_compile_definitions(toggra_tests_hidrelay PRIVATE
      TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>")
    add_dependencies(toggra_tests_hidrelay toggra-ctl)
  endif()
endif()
