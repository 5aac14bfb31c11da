# The pretty-printer, its directive language and VUZ_COLORS under random input.
vuz_fuzz_target(fuzz_diagnostics_format ${CMAKE_CURRENT_SOURCE_DIR}/diagnostics-format.cc
                DEPENDS vuz_diagnostics)
