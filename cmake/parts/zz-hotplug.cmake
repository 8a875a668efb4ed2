# Named to come last among the parts: it uses the targets of the others.
# The udev monitor that notices devices plugged in while the program runs
# (src/device/DeviceMonitor.cpp). Without libudev the programs look for
# missing devices at an interval instead.
find_package(PkgConfig)
pkg_check_modules(TOGGRA_UDEV IMPORTED_TARGET libudev)
if(TOGGRA_UDEV_FOUND)
  target_link_libraries(toggra_core PUBLIC PkgConfig::TOGGRA_UDEV)
  target_compile_definitions(toggra_core PRIVATE TOGGRA_HAVE_LIBUDEV)
else()
  message(STATUS "Device monitor: left out, libudev not found; missing devices are looked for every 5 s")
endif()

# toggra --headless taking up a relay board plugged in while it runs.
if(TARGET toggra_tests_hidrelay AND TARGET toggra_headless)
  target_compile_definitions(toggra_tests_hidrelay PRIVATE
    TOGGRA_HEADLESS_EXECUTABLE="${CMAKE_BINARY_DIR}/toggra-headless")
  add_dependencies(toggra_tests_hidrelay toggra-headless)
  if(TARGET toggra)
    target_compile_definitions(toggra_tests_hidrelay PRIVATE
      TOGGRA_GUI_EXECUTABLE="$<TARGET_FILE:toggra>")
    add_dependencies(toggra_tests_hidrelay toggra)
  endif()
endif()

# The udev rule's RUN command that gives the group toggra the hub ports'
# "disable" attributes, on a fake sysfs tree (77: no namespace for a group).
if(TOGGRA_BUILD_TESTS)
  add_test(NAME package.udev_disable_rule
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/udev_disable_rule.sh
                   ${CMAKE_SOURCE_DIR}/data/udev/70-toggra-usbhub.rules)
  set_tests_properties(package.udev_disable_rule PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 30)
endif()
