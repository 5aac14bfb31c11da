# One internal-error report of a program built as the bench preset builds
# (optimised, with debug information), beside the same program stopping
# where the report would begin, and beside llvm-symbolizer resolving the same
# addresses: bench/libmerrow-report.py build/bench. For a debug build of the
# library configure a second tree: cmake --preset bench -B build/bench-debug
# -DCMAKE_BUILD_TYPE=Debug, build libmerrow_report there and run the script on it.
add_executable(libmerrow_report ${CMAKE_CURRENT_LIST_DIR}/libmerrow-report.cc)
target_compile_options(libmerrow_report PRIVATE -g)
target_link_libraries(libmerrow_report PRIVATE vuz_diagnostics vuz_merrow vuz_sprenk vuz_support)
target_include_directories(libmerrow_report PRIVATE ${PROJECT_SOURCE_DIR})

# Inflate and xz throughput beside python3's zlib and lzma on the same data:
# bench/libmerrow-codecs.py build/bench.
add_executable(libmerrow_codecs ${CMAKE_CURRENT_LIST_DIR}/libmerrow-codecs.cc)
target_link_libraries(libmerrow_codecs PRIVATE vuz_merrow)
target_include_directories(libmerrow_codecs PRIVATE ${PROJECT_SOURCE_DIR})
