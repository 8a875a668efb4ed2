# The usbhub back-end (hubs with per-port power switching, through libusb-1.0)
# and its tests against an emulated hub.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBUSB REQUIRED IMPORTED_TARGET libusb-1.0)
target_link_libraries(toggra_core PUBLIC PkgConfig::LIBUSB)

if(TARGET toggra_umockdev_main)
  file(GLOB usbhub_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/device/usbhub/*.cpp)
  add_executable(toggra_tests_usbhub ${usbhub_test_sources})
  target_link_libraries(toggra_tests_usbhub PRIVATE toggra_test_support toggra_umockdev_main)
  gtest_discover_tests(toggra_tests_usbhub DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 60 LABELS umockdev
                       ENVIRONMENT "ASAN_OPTIONS=verify_asan_link_order=0")
endif()

# toggra-ctl, the command line for scripts (its logic is in src/ctl/).
add_executable(toggra-ctl ${CMAKE_SOURCE_DIR}/src/tools/toggra_ctl_main.cpp)
target_link_libraries(toggra-ctl PRIVATE toggra_core)
install(TARGETS toggra-ctl RUNTIME DESTINATION bin)
