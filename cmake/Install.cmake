# What `cmake --install` puts beside the two programs (desktop entry, AppStream
# metainfo, icons, man pages), the Debian package built by CPack, and the tests
# that check both.

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
install(FILES ${toggra_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

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
  install(DIRECTORY ${icon_root} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  install(FILES data/icons/toggra.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${TOGGRA_APP_ID}.svg)
  install(FILES data/${TOGGRA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/${TOGGRA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The hubs' udev rule (the usbhub back-end); libusb comes in through the
# package's shared-library dependencies.
install(FILES data/udev/70-toggra-usbhub.rules DESTINATION lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME toggra)
set(CPACK_PACKAGE_VENDOR "Toggra developers")
set(CPACK_PACKAGE_CONTACT "Toggra developers <toggra@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for USB power switches and traffic lights")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Toggra gives every channel of the attached USB power switches and USB traffic
lights a column of lamp buttons that switch it by mouse, key, tray icon or
command line, with countdowns (a timed switch-on, or a green-yellow-red run
on a traffic light), a protocol file and a state file shared by instances.
The package also holds toggra-bench, which sets up and drives simulated
hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The Depends line comes from the libraries the programs link, so installing
# the package pulls in the Qt runtime of the distribution it was built on.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

if(TOGGRA_BUILD_TESTS AND TOGGRA_BUILD_GUI)
  add_test(NAME package.install_and_deb
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/install_and_deb.sh
                   ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${TOGGRA_APP_ID} ${TOGGRA_ICON_SIZES})
  set_tests_properties(package.install_and_deb PROPERTIES TIMEOUT 180)
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
