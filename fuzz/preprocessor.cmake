# The preprocessor's line preparation and tokeniser over arbitrary bytes.
vuz_fuzz_target(preprocessor_lex_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-lex-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_sprenk)
