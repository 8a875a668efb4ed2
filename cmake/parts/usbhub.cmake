# The usbhub back-end's tests against an emulated hub (the back-end itself is
# a module: cmake/Backends.cmake).
if(toggra_have_usbhub AND TARGET toggra_umockdev_main)
  file(GLOB usbhub_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/device/usbhub/*.cpp)
  add_executable(toggra_tests_usbhub ${usbhub_test_sources})
  target_link_libraries(toggra_tests_usbhub PRIVATE toggra_test_support toggra_backend_usbhub
                        toggra_umockdev_main)
  gtest_discover_tests(toggra_tests_usbhub DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 60 LABELS umockdev
                       ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
  target_compile_definitions(toggra_tests_usbhub PRIVATE
    TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>")
  add_dependencies(toggra_tests_usbhub toggra-ctl)
  if(TOGGRA_BUILD_GUI)
    # The real program on the emulated hub, offscreen.
    target_compile_definitions(toggra_tests_usbhub PRIVATE
      TOGGRA_EXECUTABLE="$<TARGET_FILE:toggra>")
    add_dependencies(toggra_tests_usbhub toggra)
  endif()
endif()

# The switch round trip through the emulated hub (not a test: prints figures).
if(toggra_have_usbhub AND TOGGRA_BUILD_BENCH AND TARGET toggra_umockdev_support)
  add_executable(toggra_bench_usbhub ${CMAKE_SOURCE_DIR}/bench/usbhub/RoundTrip.cpp
                 ${CMAKE_SOURCE_DIR}/tests/device/usbhub/HubEmulator.cpp)
  target_include_directories(toggra_bench_usbhub PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(toggra_bench_usbhub PRIVATE toggra_backend_usbhub toggra_umockdev_support)
endif()
