# The character-set converters under random bytes.
vuz_fuzz_target(fuzz_charset ${CMAKE_CURRENT_SOURCE_DIR}/charset-fuzz.cc
                DEPENDS vuz_sprenk vuz_supplied_for_tests)
