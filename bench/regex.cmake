# Regular expressions: the version check and a long search.
add_executable(regex_bench ${CMAKE_CURRENT_SOURCE_DIR}/regex-bench.cc
               ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc)
target_link_libraries(regex_bench PRIVATE vuz_support benchmark::benchmark
                      benchmark::benchmark_main)
target_include_directories(regex_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
