# Containers: the hash tables beside std::unordered_map, and the merge sort
# beside the standard sorts.
add_executable(bench_containers
  ${CMAKE_CURRENT_SOURCE_DIR}/containers-hash.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/containers-sort.cc)
target_link_libraries(bench_containers PRIVATE vuz_support vuz_supplied_for_tests
                      benchmark::benchmark benchmark::benchmark_main)
