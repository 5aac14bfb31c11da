# Response files that name themselves, expanded to the limit of @-files.
add_executable(argv_bench ${CMAKE_CURRENT_SOURCE_DIR}/argv-bench.cc)
target_link_libraries(argv_bench PRIVATE vuz_support vuz_supplied_for_tests
                      benchmark::benchmark benchmark::benchmark_main)
target_include_directories(argv_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
