# Demangler throughput over a list of names (DEMANGLE_BENCH_NAMES, one per
# line; default: the checked-in corpus sample), and the line filter built with
# optimisation for a wall-clock comparison with llvm-cxxfilt.
add_executable(demangle_bench ${CMAKE_CURRENT_LIST_DIR}/demangle-bench.cc)
target_link_libraries(demangle_bench PRIVATE vuz_demangle benchmark::benchmark benchmark::benchmark_main)
target_include_directories(demangle_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(demangle_bench PRIVATE
  DEMANGLE_CORPUS_SAMPLE="${PROJECT_SOURCE_DIR}/tests/demangle/corpus-sample.txt")
add_executable(demangle_bench_filter ${PROJECT_SOURCE_DIR}/tests/demangle/demangle-filter.cc)
target_link_libraries(demangle_bench_filter PRIVATE vuz_demangle)
