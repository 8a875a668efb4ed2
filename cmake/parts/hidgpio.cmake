# The USB HID relay boards (hidapi, hidraw back-end) and relay lines on GPIO
# chips (libgpiod 1.6 or 2.x), and their tests on umockdev's emulated devices.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET hidapi-hidraw)
pkg_check_modules(GPIOD REQUIRED IMPORTED_TARGET libgpiod)
# libgpiod 2 replaced the line API by line requests: src/device/gpio/GpioLines1.cpp
# or GpioLines2.cpp is compiled, by the major version found.
string(REGEX MATCH "^[0-9]+" toggra_gpiod_api "${GPIOD_VERSION}")
target_compile_definitions(toggra_core PRIVATE TOGGRA_GPIOD_API=${toggra_gpiod_api})
message(STATUS "GPIO: libgpiod ${GPIOD_VERSION}")
target_link_libraries(toggra_core PUBLIC PkgConfig::HIDAPI PkgConfig::GPIOD)

install(FILES data/udev/70-toggra-hidrelay.rules DESTINATION lib/udev/rules.d)

if(TARGET toggra_umockdev_main)
  foreach(part hidrelay gpio)
    file(GLOB part_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/device/${part}/*.cpp)
    if(NOT part_sources)
      continue()
    endif()
    add_executable(toggra_tests_${part} ${part_sources})
    target_include_directories(toggra_tests_${part} PRIVATE ${CMAKE_SOURCE_DIR}/tests/device)
    target_link_libraries(toggra_tests_${part} PRIVATE toggra_test_support toggra_umockdev_main)
    # Each program re-executes itself under umockdev's preload library; the
    # sanitizer build accepts a preload that does not come first.
    gtest_discover_tests(toggra_tests_${part} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         PROPERTIES TIMEOUT 30 LABELS umockdev
                         ENVIRONMENT_MODIFICATION
                         "ASAN_OPTIONS=string_append::verify_asan_link_order=0")
  endforeach()
  # toggra-ctl on the emulated relay board (the target comes from usbhub.cmake,
  # included later; generator expressions and dependencies resolve at the end).
  target_compile_definitions(toggra_tests_hidrelay PRIVATE
    TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>")
  add_dependencies(toggra_tests_hidrelay toggra-ctl)
endif()
