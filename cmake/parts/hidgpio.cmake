# The USB HID relay boards (hidapi, hidraw back-end) and relay lines on GPIO
# chips (libgpiod 1.6), and their tests on umockdev's emulated devices.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET hidapi-hidraw)
pkg_check_modules(GPIOD REQUIRED IMPORTED_TARGET libgpiod)
target_link_libraries(toggra_core PUBLIC PkgConfig::HIDAPI PkgConfig::GPIOD)

install(FILES data/udev/70-toggra-hidrelay.rules DESTINATION lib/udev/rules.d)
