# One internal-error report of a debug-built program beside llvm-symbolizer
# resolving the same addresses. For a fully debug-built program configure a
# second tree: cmake --preset bench -B build/bench-debug -DCMAKE_BUILD_TYPE=Debug,
# build libmerrow_report there, then run bench/libmerrow-report.py build/bench-debug.
add_executable(libmerrow_report ${CMAKE_CURRENT_LIST_DIR}/libmerrow-report.cc)
target_compile_options(libmerrow_report PRIVATE -g -O0)
target_link_libraries(libmerrow_report PRIVATE vuz_diagnostics vuz_merrow vuz_sprenk vuz_support)
target_include_directories(libmerrow_report PRIVATE ${PROJECT_SOURCE_DIR})
