# The preprocessor's line preparation and tokeniser over arbitrary bytes.
vuz_fuzz_target(preprocessor_lex_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-lex-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/lex-fuzz-input.cc
                DEPENDS vuz_sprenk vuz_reader_probes vuz_supplied_for_tests)
# Macro definition and expansion over arbitrary text, with an output cap.
vuz_fuzz_target(preprocessor_macro_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-macro-fuzz.cc
                DEPENDS vuz_sprenk vuz_supplied_for_tests)
# The loader of saved dependencies over arbitrary bytes.
vuz_fuzz_target(make_deps_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/make-deps-fuzz.cc
                DEPENDS vuz_sprenk vuz_supplied_for_tests)
# #if expressions at every precision, and literal interpretation.
vuz_fuzz_target(preprocessor_expr_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-expr-fuzz.cc
                DEPENDS vuz_sprenk vuz_reader_probes vuz_supplied_for_tests)
vuz_fuzz_target(preprocessor_literal_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-literal-fuzz.cc
                DEPENDS vuz_sprenk vuz_supplied_for_tests)
# The loader of the file-digest table over arbitrary bytes.
vuz_fuzz_target(digest_table_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/digest-table-fuzz.cc
                DEPENDS vuz_sprenk vuz_supplied_for_tests)
# Directives-only processing over arbitrary text.
vuz_fuzz_target(preprocessor_directives_only_fuzz
                ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-directives-only-fuzz.cc
                DEPENDS vuz_sprenk vuz_reader_probes vuz_supplied_for_tests)
# Traditional preprocessing over arbitrary text, with an output cap.
vuz_fuzz_target(preprocessor_traditional_fuzz
                ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-traditional-fuzz.cc
                DEPENDS vuz_sprenk vuz_supplied_for_tests)
# The reader of a directory's remap file over arbitrary bytes.
vuz_fuzz_target(remap_file_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/remap-file-fuzz.cc
                DEPENDS vuz_sprenk vuz_reader_probes vuz_supplied_for_tests)
# Identifiers of universal character names and UTF-8 under -Wnormalized=nfc.
vuz_fuzz_target(preprocessor_identifier_fuzz
                ${CMAKE_CURRENT_SOURCE_DIR}/preprocessor-identifier-fuzz.cc
                DEPENDS vuz_sprenk vuz_reader_probes vuz_supplied_for_tests)
