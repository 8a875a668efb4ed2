# What `cmake --install` puts beside the programs (desktop entry, AppStream
# metainfo, icons, man pages, systemd units, licence), the Debian packages built
# by CPack from the install components, and the tests that check both.
#
# Components and packages:
#   toggra          the window program, its desktop entry, metainfo and icons
#   common          toggra-common: toggra-ctl, toggra-headless (Qt Core only),
#                   toggra-bench, udev rules, units, sysusers, man pages
#   dev             toggra-dev: the driver plug-in header
#   backend-NAME    toggra-backend-NAME: a back-end module of its own
# An install() without COMPONENT belongs to common (CMakeLists.txt sets the
# default).

set(TOGGRA_APP_ID org.toggra.Toggra)
# The pixel sizes of the hicolor PNGs; the SVG covers everything else.
set(TOGGRA_ICON_SIZES 16 22 24 32 48 64 128 256)

# Man pages go in compressed, as Debian keeps them; -n leaves out the time
# stamp so that two builds give the same bytes.
set(toggra_man_pages toggra-bench.1 toggra-ctl.1)
if(TOGGRA_BUILD_GUI)
  list(APPEND toggra_man_pages toggra.1)
endif()
set(toggra_man_outputs)
foreach(page IN LISTS toggra_man_pages)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "gzip -9 -n -c '${CMAKE_SOURCE_DIR}/doc/${page}' > '${out}'"
    DEPENDS ${CMAKE_SOURCE_DIR}/doc/${page}
    VERBATIM)
  list(APPEND toggra_man_outputs ${out})
endforeach()
add_custom_target(toggra_man_pages ALL DEPENDS ${toggra_man_outputs})
install(FILES ${toggra_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT common)
if(TOGGRA_BUILD_GUI)
  install(CODE "file(CREATE_LINK toggra.1.gz
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/toggra-headless.1.gz\" SYMBOLIC)"
    COMPONENT common)
endif()

if(TOGGRA_BUILD_GUI)
  # The PNGs come from the program's own lamp drawing, so the installed icon
  # is the window's icon, pixel for pixel.
  add_executable(toggra-icons src/tools/toggra_icons_main.cpp)
  target_link_libraries(toggra-icons PRIVATE toggra_gui)
  set(icon_root ${CMAKE_BINARY_DIR}/icons/hicolor)
  set(icon_outputs)
  foreach(size IN LISTS TOGGRA_ICON_SIZES)
    list(APPEND icon_outputs ${icon_root}/${size}x${size}/apps/${TOGGRA_APP_ID}.png)
  endforeach()
  add_custom_command(
    OUTPUT ${icon_outputs}
    COMMAND toggra-icons write ${icon_root} ${TOGGRA_APP_ID} ${TOGGRA_ICON_SIZES}
    DEPENDS toggra-icons
    VERBATIM)
  add_custom_target(toggra_icons ALL DEPENDS ${icon_outputs})
  install(DIRECTORY ${icon_root} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT toggra)
  install(FILES data/icons/toggra.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${TOGGRA_APP_ID}.svg COMPONENT toggra)
  install(FILES data/${TOGGRA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT toggra)
  install(FILES data/${TOGGRA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
          COMPONENT toggra)
  install(FILES data/debian/toggra.lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME toggra COMPONENT toggra)
endif()

# The hubs' udev rule (the usbhub back-end); libusb comes in through the
# package's shared-library dependencies.
install(FILES data/udev/70-toggra-usbhub.rules DESTINATION lib/udev/rules.d COMPONENT common)
install(FILES data/sysusers/toggra.conf DESTINATION lib/sysusers.d COMPONENT common)

if(TARGET toggra_headless)
  # The headless program without the window's libraries, for the services.
  add_executable(toggra-headless src/tools/toggra_headless_main.cpp)
  target_link_libraries(toggra-headless PRIVATE toggra_headless)
  install(TARGETS toggra-headless RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT common)

  # A user unit (systemctl --user) and a system unit running as its own user.
  # ExecStart names the installed program, so the units are written at
  # install time, when the prefix is known. systemctl --user searches
  # share/systemd/user below a home or /usr/local prefix (XDG_DATA_DIRS,
  # ~/.local/share) and lib/systemd/user below /usr.
  foreach(unit IN ITEMS user system)
    set(in ${CMAKE_SOURCE_DIR}/data/systemd/toggra-headless.service.in)
    if(unit STREQUAL "user")
      set(in ${CMAKE_SOURCE_DIR}/data/systemd/toggra-headless-user.service.in)
    endif()
    set(out ${CMAKE_BINARY_DIR}/systemd/${unit}/toggra-headless.service)
    install(CODE "
      set(TOGGRA_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      set(unit_dir lib/systemd/${unit})
      if(\"${unit}\" STREQUAL \"user\" AND NOT CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(unit_dir share/systemd/user)
      endif()
      configure_file(\"${in}\" \"${out}\" @ONLY)
      file(INSTALL \"${out}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${unit_dir}\")"
      COMPONENT common)
  endforeach()
endif()

# Every package carries the licence, its Debian copyright and changelog.
set(toggra_changelog ${CMAKE_BINARY_DIR}/debian/changelog.gz)
configure_file(data/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
  OUTPUT ${toggra_changelog}
  COMMAND sh -c "gzip -9 -n -c '${CMAKE_BINARY_DIR}/debian/changelog' > '${toggra_changelog}'"
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(toggra_changelog ALL DEPENDS ${toggra_changelog})
get_cmake_property(toggra_components COMPONENTS)
list(APPEND toggra_components toggra common dev)
list(REMOVE_DUPLICATES toggra_components)
if(NOT TOGGRA_BUILD_GUI)
  list(REMOVE_ITEM toggra_components toggra)
endif()
function(toggra_package_name component out)
  if(component STREQUAL "toggra")
    set(${out} toggra PARENT_SCOPE)
  else()
    set(${out} toggra-${component} PARENT_SCOPE)
  endif()
endfunction()
foreach(component IN LISTS toggra_components)
  toggra_package_name(${component} package)
  install(FILES data/debian/copyright ${toggra_changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME toggra)
set(CPACK_PACKAGE_VENDOR "Toggra developers")
set(CPACK_PACKAGE_CONTACT "Toggra developers <toggra@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${toggra_components})
# The Depends lines come from the libraries the programs link, so installing
# a package pulls in the runtime of the distribution it was built on.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(toggra_same_version "(= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_TOGGRA_PACKAGE_NAME toggra)
set(CPACK_DEBIAN_TOGGRA_PACKAGE_DEPENDS "toggra-common ${toggra_same_version}")
set(CPACK_COMPONENT_TOGGRA_DESCRIPTION
    "control panel for USB power switches and traffic lights
Toggra gives every channel of the attached USB power switches, relay boards,
per-port switching hubs and USB traffic lights a column of lamp buttons that
switch it by mouse, key, tray icon or command line, with countdowns (a timed
switch-on, or a green-yellow-red run on a traffic light), a protocol file and
a state file shared by instances.
.
This package holds the window program with its desktop entry and icons.")

set(CPACK_DEBIAN_COMMON_PACKAGE_NAME toggra-common)
set(CPACK_DEBIAN_COMMON_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/data/debian/postinst)
set(CPACK_DEBIAN_COMMON_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMMON_PACKAGE_RECOMMENDS "systemd")
set(CPACK_COMPONENT_COMMON_DESCRIPTION
    "USB power switches and traffic lights from scripts and services
Toggra switches USB power switches, relay boards, per-port switching hubs and
USB traffic lights. This package holds what a machine without a desktop needs:
toggra-ctl (lists, reads and switches channels and writes captions),
toggra-headless (the program without window, with its MQTT bridge to Home
Assistant, needing Qt Core only), toggra-bench (simulated hardware), the udev
rules and the group toggra that give the devices to users and services, the
systemd units and the manual pages.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME toggra-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "driver plug-in interface for Toggra
Toggra switches USB power switches, relay boards and traffic lights through
driver back-ends. This package holds the C header a driver plug-in is built
against; Toggra loads such a plug-in through a device entry of the form
plugin:FILE.")

# Each back-end module (install component backend-NAME) is a package of its
# own that needs toggra-common.
foreach(component IN LISTS toggra_components)
  if(NOT component MATCHES "^backend-(.+)$")
    continue()
  endif()
  set(backend ${CMAKE_MATCH_1})
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME toggra-${component})
  set(CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS "toggra-common ${toggra_same_version}")
  set(CPACK_COMPONENT_${upper}_DESCRIPTION
      "${backend} back-end for Toggra
Toggra switches USB power switches, relay boards and traffic lights through
driver back-ends. This package holds the back-end module for device entries
of the form ${backend}:..., with the libraries it needs.")
endforeach()
include(CPack)

if(TOGGRA_BUILD_TESTS AND TOGGRA_BUILD_GUI)
  add_test(NAME package.install_and_deb
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/install_and_deb.sh
                   ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${TOGGRA_APP_ID} ${TOGGRA_ICON_SIZES})
  # lintian takes about 10 s per package, and each back-end module is one.
  set_tests_properties(package.install_and_deb PROPERTIES TIMEOUT 360)
  add_test(NAME package.scalable_icon_matches_drawing
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/scalable_icon.sh
                   $<TARGET_FILE:toggra-icons> ${CMAKE_SOURCE_DIR}/data/icons/toggra.svg)

  file(GLOB package_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/package/*.cpp)
  if(package_test_sources)
    add_executable(toggra_tests_package ${package_test_sources})
    target_link_libraries(toggra_tests_package PRIVATE toggra_core GTest::gtest_main)
    target_compile_definitions(toggra_tests_package PRIVATE
      TOGGRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      TOGGRA_BENCH_TOOL="$<TARGET_FILE:toggra-bench>")
    add_dependencies(toggra_tests_package toggra-bench)
    gtest_discover_tests(toggra_tests_package DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
  endif()
endif()
