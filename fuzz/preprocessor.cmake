# The preprocessor's line preparation and tokeniser over arbitrary bytes.
vuz_fuzz_target(preprocessor_lex_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-lex-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/lex-fuzz-input.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_sprenk)
# #if expressions at every precision, and literal interpretation.
vuz_fuzz_target(preprocessor_expr_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-expr-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_sprenk)
vuz_fuzz_target(preprocessor_literal_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-literal-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_sprenk)
