# The USB power strips (sispm): the udev rule, and the tests on umockdev's
# emulated strips, with toggra-ctl run against them. The back-end itself is a
# module (cmake/Backends.cmake).
install(FILES data/udev/70-toggra-sispm.rules DESTINATION lib/udev/rules.d)

if(toggra_have_sispm AND TARGET toggra_umockdev_main)
  file(GLOB sispm_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/device/sispm/*.cpp)
  add_executable(toggra_tests_sispm ${sispm_test_sources})
  target_include_directories(toggra_tests_sispm PRIVATE ${CMAKE_SOURCE_DIR}/tests/device)
  target_link_libraries(toggra_tests_sispm PRIVATE toggra_test_support toggra_backend_sispm
                        toggra_umockdev_main)
  target_compile_definitions(toggra_tests_sispm PRIVATE
    TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>")
  add_dependencies(toggra_tests_sispm toggra-ctl)
  if(TOGGRA_BUILD_GUI)
    # The window program on the emulated strip, offscreen.
    target_compile_definitions(toggra_tests_sispm PRIVATE TOGGRA_EXECUTABLE="$<TARGET_FILE:toggra>")
    add_dependencies(toggra_tests_sispm toggra)
  endif()
  gtest_discover_tests(toggra_tests_sispm DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 30 LABELS umockdev
                       ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
endif()
