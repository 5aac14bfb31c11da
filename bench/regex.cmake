# Regular expressions: the version check and a long search.
add_executable(regex_bench ${CMAKE_CURRENT_SOURCE_DIR}/regex-bench.cc)
target_link_libraries(regex_bench PRIVATE vuz_support vuz_supplied_for_tests
                      benchmark::benchmark benchmark::benchmark_main)
target_include_directories(regex_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
