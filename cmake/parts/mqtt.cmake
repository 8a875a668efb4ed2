# The MQTT bridge (src/bridge, in the core; its broker client and the `mqtt:`
# back-end are the mqtt module), `toggra --headless` (src/headless, Qt Core
# only), its systemd units, and the tests against a real broker (label mqtt).

if(TOGGRA_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core)
  file(GLOB TOGGRA_HEADLESS_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/headless/*.cpp
       ${CMAKE_SOURCE_DIR}/src/headless/*.h)
  add_library(toggra_headless STATIC ${TOGGRA_HEADLESS_SOURCES})
  target_link_libraries(toggra_headless PUBLIC toggra_core toggra_frontend Qt6::Core)
  target_link_libraries(toggra PRIVATE toggra_headless)

  # Its systemd units and the program toggra-headless: cmake/Install.cmake.

  find_program(TOGGRA_MOSQUITTO mosquitto PATHS /usr/sbin /usr/local/sbin)
  find_program(TOGGRA_MOSQUITTO_PUB mosquitto_pub)
  find_program(TOGGRA_MOSQUITTO_SUB mosquitto_sub)
  file(GLOB mqtt_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/mqtt/*.cpp)
  if(TOGGRA_BUILD_TESTS AND mqtt_test_sources AND TOGGRA_MOSQUITTO AND toggra_have_mqtt)
    add_executable(toggra_tests_mqtt ${mqtt_test_sources})
    target_link_libraries(toggra_tests_mqtt PRIVATE toggra_test_support toggra_backend_mqtt
                          GTest::gtest_main)
    target_compile_definitions(toggra_tests_mqtt PRIVATE
      TOGGRA_EXECUTABLE="$<TARGET_FILE:toggra>"
      TOGGRA_BENCH_TOOL="$<TARGET_FILE:toggra-bench>"
      TOGGRA_MOSQUITTO="${TOGGRA_MOSQUITTO}")
    add_dependencies(toggra_tests_mqtt toggra toggra-bench)
    gtest_discover_tests(toggra_tests_mqtt DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         PROPERTIES LABELS mqtt TIMEOUT 60)
  endif()
endif()

# The bridge's tests drive the mqtt back-end on a recording transport.
if(TARGET toggra_tests_bridge AND toggra_have_mqtt)
  target_link_libraries(toggra_tests_bridge PRIVATE toggra_backend_mqtt)
  target_compile_definitions(toggra_tests_bridge PRIVATE TOGGRA_TEST_MQTT_BACKEND=1)
endif()
