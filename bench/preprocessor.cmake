# Tokeniser throughput over the header corpus (PP_BENCH_FILES: one path a
# line, then a tab and c or c++), and the optimised ppdump for a wall-clock
# comparison with clang's raw-token dump (bench/preprocessor-lex.py).
add_executable(preprocessor_lex_bench ${CMAKE_CURRENT_LIST_DIR}/preprocessor-lex.cc)
target_link_libraries(preprocessor_lex_bench PRIVATE vuz_sprenk vuz_reader_probes vuz_supplied_for_tests
                      benchmark::benchmark benchmark::benchmark_main)
target_include_directories(preprocessor_lex_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
# Where a build with the tests on has it, so that the scripts and the
# README name one path in any optimised build.
if(NOT TARGET ppdump)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/ppdump ${PROJECT_BINARY_DIR}/tests/ppdump)
endif()
