# Option decoding and suggestion speed.
add_executable(bench_options ${CMAKE_CURRENT_SOURCE_DIR}/options-decode.cc
 )
target_link_libraries(bench_options PRIVATE vuz_options benchmark::benchmark)
target_include_directories(bench_options PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
