# The demangler over arbitrary text with the option sets its callers use.
vuz_fuzz_target(demangle_fuzz ${CMAKE_CURRENT_LIST_DIR}/demangle-fuzz.cc DEPENDS vuz_demangle)
