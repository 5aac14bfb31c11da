# Source quoting over random files, line maps, ranges, labels and fix-its.
vuz_fuzz_target(fuzz_quoting ${CMAKE_CURRENT_SOURCE_DIR}/quoting-fuzz.cc
                ${CMAKE_CURRENT_SOURCE_DIR}/scratch.cc DEPENDS vuz_diagnostics)
