# Starting children through the pipeline layer.
add_executable(pex_bench ${CMAKE_CURRENT_LIST_DIR}/pex-bench.cc)
target_link_libraries(pex_bench PRIVATE vuz_support benchmark::benchmark benchmark::benchmark_main)
target_include_directories(pex_bench PRIVATE ${PROJECT_SOURCE_DIR})
