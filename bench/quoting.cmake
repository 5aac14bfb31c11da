# Source quoting from a long file, and a UTF-16 file converted through the cache.
add_executable(quoting_bench ${CMAKE_CURRENT_SOURCE_DIR}/quoting-bench.cc)
target_link_libraries(quoting_bench PRIVATE vuz_diagnostics benchmark::benchmark
                      benchmark::benchmark_main)
target_include_directories(quoting_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
