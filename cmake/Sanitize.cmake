# Everything built with AddressSanitizer and UndefinedBehaviorSanitizer, so the
# test suites catch memory faults and undefined operations. Without recovery an
# undefined operation ends the test program and fails its tests, as a memory
# fault does. The sanitizer options the tests run with are in .ci/run.
#
# TOGGRA_SANITIZE=thread builds with ThreadSanitizer instead: the device
# workers, the event queue and the MQTT bridge run threads of their own.
option(TOGGRA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer (or: thread)" OFF)

if(TOGGRA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -O1 -g1)
  add_link_options(-fsanitize=thread)
elseif(TOGGRA_SANITIZE)
  # -O1 and line tables only: the reports keep their file and line, and the
  # second build of the whole suite stays short.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -O1 -g1)
  add_link_options(-fsanitize=address,undefined)
endif()
