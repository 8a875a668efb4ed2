# The benchmarks: the core's in toggra_benchmarks (every bench/*.cpp), the
# window's repaint in toggra_gui_benchmarks (a QApplication on the offscreen
# platform). Both run the main dialog on the harness in bench/harness.
if(TOGGRA_BUILD_BENCH AND TARGET toggra_benchmarks)
  add_library(toggra_bench_harness STATIC ${CMAKE_SOURCE_DIR}/bench/harness/BenchDialog.cpp)
  target_include_directories(toggra_bench_harness PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(toggra_bench_harness PUBLIC toggra_core)
  target_link_libraries(toggra_benchmarks PRIVATE toggra_bench_harness)

  file(GLOB gui_bench_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/gui/*.cpp)
  if(TOGGRA_BUILD_GUI AND gui_bench_sources)
    add_executable(toggra_gui_benchmarks ${gui_bench_sources})
    target_link_libraries(toggra_gui_benchmarks PRIVATE toggra_gui toggra_bench_harness
                          benchmark::benchmark)
  endif()

  # Each benchmark once, briefly: a benchmark whose set-up no longer holds
  # (a tick that is not idle, a lamp not painted) reports an error instead of
  # a figure, and that fails the test. Nothing here is timed.
  if(TOGGRA_BUILD_TESTS)
    add_test(NAME benchmarks_run COMMAND toggra_benchmarks --benchmark_min_time=0.01)
    set_tests_properties(benchmarks_run PROPERTIES FAIL_REGULAR_EXPRESSION "ERROR OCCURRED")
    if(TARGET toggra_gui_benchmarks)
      add_test(NAME gui_benchmarks_run COMMAND toggra_gui_benchmarks --benchmark_min_time=0.01)
      set_tests_properties(gui_benchmarks_run PROPERTIES
                           FAIL_REGULAR_EXPRESSION "ERROR OCCURRED"
                           ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
  endif()
endif()
