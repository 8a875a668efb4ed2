# The hardware back-ends that need a library of their own. Each has an option
# TOGGRA_WITH_<NAME> (AUTO, ON or OFF; default AUTO): AUTO builds it when its
# library is found and says in one line when it is left out, ON makes a
# missing library an error, OFF leaves it out.
#
# A back-end that is built becomes a shared module, backends/NAME.so in the
# build folder and ${CMAKE_INSTALL_LIBDIR}/toggra/backends/NAME.so when
# installed (install component backend-NAME). The programs link none of the
# back-ends' libraries; src/device/BackendModules.cpp loads a module the first
# time an entry needs it.
#
# Linking model: a module links the core statically and keeps it to itself
# (hidden visibility, --exclude-libs); it exports only its table. It is linked
# with --no-undefined, so a module that lacks a symbol fails to link here
# rather than to load on a user's machine, whichever part of the core the
# program that loads it happens to contain.
#
# For each back-end built: the static library toggra_backend_NAME (its
# folder's sources, for the module and for its tests), the module target
# toggra-backend-NAME, and toggra_have_NAME set to ON.

find_package(PkgConfig)

set(TOGGRA_BUILT_BACKEND_MODULES)
set(TOGGRA_MODULE_BACKEND_LIST)

# toggra_backend_option(NAME WHAT PKG_PREFIX PKG_MODULE): the option and the
# library search; sets toggra_have_NAME.
macro(toggra_backend_option name what pkg_prefix pkg_module)
  string(TOUPPER "${name}" toggra_upper)
  set(toggra_option TOGGRA_WITH_${toggra_upper})
  set(${toggra_option} AUTO CACHE STRING "Build the ${name} back-end (${what}): AUTO, ON or OFF")
  set_property(CACHE ${toggra_option} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${${toggra_option}}" toggra_value)
  set(toggra_have_${name} OFF)
  if(NOT toggra_value STREQUAL "AUTO" AND NOT toggra_value STREQUAL "ON" AND
     NOT toggra_value STREQUAL "OFF")
    message(FATAL_ERROR "${toggra_option} is \"${${toggra_option}}\"; use AUTO, ON or OFF")
  endif()
  if(toggra_value STREQUAL "OFF")
    message(STATUS "Back-end ${name}: left out (${toggra_option}=OFF)")
  else()
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(${pkg_prefix} QUIET IMPORTED_TARGET ${pkg_module})
    endif()
    if(${pkg_prefix}_FOUND)
      set(toggra_have_${name} ON)
      message(STATUS "Back-end ${name}: built (${pkg_module} ${${pkg_prefix}_VERSION})")
    elseif(toggra_value STREQUAL "ON")
      message(FATAL_ERROR "${toggra_option}=ON, but pkg-config finds no ${pkg_module} "
                          "(the ${what} back-end needs it; Debian: scripts/install-deps.sh)")
    else()
      message(STATUS "Back-end ${name}: left out, ${pkg_module} not found (${toggra_option}=AUTO)")
    endif()
  endif()
endmacro()

# toggra_add_backend(NAME REGISTER_FUNCTION LIBRARY [EXTRA_SOURCES...]): the
# back-end's static library and module. The module serves the back-end NAME;
# set TOGGRA_BACKEND_ALSO_<NAME> to the further back-ends it registers.
function(toggra_add_backend name register library)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/device/${name}/*.cpp)
  add_library(toggra_backend_${name} STATIC ${sources} ${ARGN})
  set_target_properties(toggra_backend_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_link_libraries(toggra_backend_${name} PUBLIC toggra_core ${library})
  target_compile_options(toggra_backend_${name} PRIVATE -Wshadow -Wconversion)

  add_library(toggra-backend-${name} MODULE ${CMAKE_SOURCE_DIR}/src/device/modules/ModuleEntry.cpp)
  target_compile_definitions(toggra-backend-${name} PRIVATE
    TOGGRA_BACKEND_NAME="${name}" TOGGRA_BACKEND_REGISTER=${register})
  target_link_libraries(toggra-backend-${name} PRIVATE toggra_backend_${name})
  set_target_properties(toggra-backend-${name} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/backends
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(toggra-backend-${name} PRIVATE -Wl,--exclude-libs,ALL)
  # Sanitizer runtimes come from the program, so a sanitized module has
  # undefined symbols on purpose.
  if(NOT TOGGRA_SANITIZE AND NOT TOGGRA_BUILD_FUZZ)
    target_link_options(toggra-backend-${name} PRIVATE -Wl,--no-undefined)
  endif()
  install(TARGETS toggra-backend-${name}
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/toggra/backends COMPONENT backend-${name})
  set(TOGGRA_BUILT_BACKEND_MODULES ${TOGGRA_BUILT_BACKEND_MODULES} ${name} PARENT_SCOPE)
  set(served ${TOGGRA_MODULE_BACKEND_LIST} ${name}=${name})
  foreach(also IN LISTS TOGGRA_BACKEND_ALSO_${name})
    list(APPEND served ${also}=${name})
  endforeach()
  set(TOGGRA_MODULE_BACKEND_LIST ${served} PARENT_SCOPE)
endfunction()

# --- the back-ends -----------------------------------------------------------
# USB HID relay boards (hidapi, hidraw back-end).
toggra_backend_option(hidrelay "USB HID relay boards" HIDAPI hidapi-hidraw)
if(toggra_have_hidrelay)
  toggra_add_backend(hidrelay RegisterHidRelay PkgConfig::HIDAPI)
endif()

# Relay lines on GPIO chips (libgpiod). Any libgpiod version is taken here;
# the API generation it offers (1.6 or 2.x) is told to the sources below.
toggra_backend_option(gpio "relay lines on GPIO chips" GPIOD libgpiod)
if(toggra_have_gpio)
  set(TOGGRA_BACKEND_ALSO_gpio gpio-light)
  toggra_add_backend(gpio RegisterGpio PkgConfig::GPIOD)
  # libgpiod 2 replaced the line API by line requests: GpioLines1.cpp or
  # GpioLines2.cpp is compiled, by the major version found.
  string(REGEX MATCH "^[0-9]+" toggra_gpiod_api "${GPIOD_VERSION}")
  target_compile_definitions(toggra_backend_gpio PRIVATE TOGGRA_GPIOD_API=${toggra_gpiod_api})
endif()

# USB hubs with per-port power switching (libusb-1.0).
toggra_backend_option(usbhub "USB hubs with per-port power" LIBUSB libusb-1.0)
if(toggra_have_usbhub)
  toggra_add_backend(usbhub RegisterUsbHub PkgConfig::LIBUSB)
endif()

# Remote switches over MQTT, and the bridge's broker client (libmosquitto).
toggra_backend_option(mqtt "MQTT remote switches and the bridge's broker client" MOSQUITTO
                      libmosquitto)
if(toggra_have_mqtt)
  # OpenSSL names the certificate check that failed in a TLS handshake.
  pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET libssl libcrypto)
  toggra_add_backend(mqtt RegisterMqtt PkgConfig::MOSQUITTO
                     ${CMAKE_SOURCE_DIR}/src/bridge/MqttClient.cpp)
  target_link_libraries(toggra_backend_mqtt PUBLIC PkgConfig::OPENSSL)
  target_compile_definitions(toggra-backend-mqtt PRIVATE TOGGRA_BACKEND_MQTT_CLIENT=1)
endif()

# Serial relay modules on CH340/CH341 ttys (lcus). They need termios only, no
# library of their own, so AUTO builds them like ON.
set(TOGGRA_WITH_LCUS AUTO CACHE STRING
    "Build the lcus back-end (CH340/CH341 serial relay modules): AUTO, ON or OFF")
set_property(CACHE TOGGRA_WITH_LCUS PROPERTY STRINGS AUTO ON OFF)
string(TOUPPER "${TOGGRA_WITH_LCUS}" toggra_lcus_value)
set(toggra_have_lcus OFF)
if(toggra_lcus_value STREQUAL "OFF")
  message(STATUS "Back-end lcus: left out (TOGGRA_WITH_LCUS=OFF)")
elseif(toggra_lcus_value STREQUAL "AUTO" OR toggra_lcus_value STREQUAL "ON")
  set(toggra_have_lcus ON)
  list(APPEND TOGGRA_BACKENDS_WITHOUT_LIBRARY lcus)
  message(STATUS "Back-end lcus: built (no library needed)")
  toggra_add_backend(lcus RegisterLcus "")
else()
  message(FATAL_ERROR "TOGGRA_WITH_LCUS is \"${TOGGRA_WITH_LCUS}\"; use AUTO, ON or OFF")
endif()

# Modbus RTU relay boards on RS-485 (libmodbus).
toggra_backend_option(modbus "Modbus RTU relay boards" MODBUS libmodbus)
if(toggra_have_modbus)
  toggra_add_backend(modbus RegisterModbus PkgConfig::MODBUS)
endif()

# USB power strips 04b4:fd10 … fd15 (hidapi, hidraw back-end).
toggra_backend_option(sispm "USB power strips" HIDAPI_SISPM hidapi-hidraw)
if(toggra_have_sispm)
  toggra_add_backend(sispm RegisterSispm PkgConfig::HIDAPI_SISPM)
endif()

# FT245R bit-bang relay boards 0403:6001 (libftdi1).
toggra_backend_option(ftdi "FTDI bit-bang relay boards" LIBFTDI libftdi1)
if(toggra_have_ftdi)
  toggra_add_backend(ftdi RegisterFtdi PkgConfig::LIBFTDI)
endif()

# The registry learns the modules built and where the installed ones are.
# BACKEND=MODULE pairs, in registration order.
string(REPLACE ";" "," toggra_module_list "${TOGGRA_MODULE_BACKEND_LIST}")
file(RELATIVE_PATH toggra_backend_reldir ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/toggra/backends)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/device/BackendModules.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS TOGGRA_BACKEND_MODULES="${toggra_module_list}"
             TOGGRA_BACKEND_RELDIR="${toggra_backend_reldir}")
list(JOIN TOGGRA_BUILT_BACKEND_MODULES " " toggra_module_text)
if(NOT toggra_module_text)
  set(toggra_module_text "none")
endif()
message(STATUS "Back-end modules: ${toggra_module_text}")

add_custom_target(toggra_backend_modules)
foreach(name IN LISTS TOGGRA_BUILT_BACKEND_MODULES)
  add_dependencies(toggra_backend_modules toggra-backend-${name})
endforeach()

# Called at the end of the top-level file: every executable (programs and
# tests) builds the modules, so a build of one program can load them.
function(toggra_depend_on_backend_modules)
  get_property(targets DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    # The fuzz targets load no back-end.
    if(type STREQUAL "EXECUTABLE" AND NOT target MATCHES "^fuzz_")
      add_dependencies(${target} toggra_backend_modules)
    endif()
  endforeach()
endfunction()

# No program links a back-end's library: ldd of each lists none of them, while
# the module of each back-end built does list its own.
if(TOGGRA_BUILD_TESTS)
  set(toggra_programs $<TARGET_FILE:toggra-ctl> $<TARGET_FILE:toggra-bench>)
  if(TOGGRA_BUILD_GUI)
    list(APPEND toggra_programs $<TARGET_FILE:toggra>)
  endif()
  set(toggra_modules)
  foreach(name IN LISTS TOGGRA_BUILT_BACKEND_MODULES)
    # A module without a library of its own must link none of the others'.
    if(name IN_LIST TOGGRA_BACKENDS_WITHOUT_LIBRARY)
      list(APPEND toggra_programs $<TARGET_FILE:toggra-backend-${name}>)
    else()
      list(APPEND toggra_modules $<TARGET_FILE:toggra-backend-${name}>)
    endif()
  endforeach()
  add_test(NAME backends.programs_link_no_backend_library
           COMMAND ${CMAKE_COMMAND} -P ${CMAKE_SOURCE_DIR}/cmake/CheckBackendLinks.cmake
                   ${toggra_programs} --modules ${toggra_modules})
endif()

# The loading of the modules, in-process and through toggra-ctl.
if(TOGGRA_BUILD_TESTS)
  add_executable(toggra_tests_backends ${CMAKE_SOURCE_DIR}/tests/backends/BackendModuleTest.cpp)
  # E2ESupport.h's fixture names the GUI program; only its ChildProcess is used.
  target_link_libraries(toggra_tests_backends PRIVATE toggra_test_support GTest::gtest_main)
  target_compile_definitions(toggra_tests_backends PRIVATE
    TOGGRA_EXECUTABLE="toggra"
    TOGGRA_CTL_EXECUTABLE="$<TARGET_FILE:toggra-ctl>"
    TOGGRA_BENCH_TOOL="$<TARGET_FILE:toggra-bench>"
    TOGGRA_FOREIGN_MODULE="$<TARGET_FILE:toggra-bench-plugin>")
  add_dependencies(toggra_tests_backends toggra-ctl toggra-bench toggra-bench-plugin)
  gtest_discover_tests(toggra_tests_backends DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
endif()
