# Everything built with AddressSanitizer and UndefinedBehaviorSanitizer, so the
# test suites catch memory faults and undefined operations. Without recovery an
# undefined operation ends the test program and fails its tests, as a memory
# fault does. The sanitizer options the tests run with are in .ci/run.
option(TOGGRA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(TOGGRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
