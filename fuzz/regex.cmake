# Regular expressions: arbitrary patterns under arbitrary syntax bits.
vuz_fuzz_target(regex_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/regex-fuzz.cc
                DEPENDS vuz_support vuz_supplied_for_tests)
