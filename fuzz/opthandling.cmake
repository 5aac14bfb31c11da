# Option handling: the list parsers, the MAKEFLAGS probe, and whole command
# lines read through the common handler.
vuz_fuzz_target(fuzz_opthandling_parsers ${CMAKE_CURRENT_SOURCE_DIR}/opthandling-parsers.cc
 DEPENDS vuz_options)
