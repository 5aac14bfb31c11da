# Response files: the quoted round trip, nesting and self-inclusion.
vuz_fuzz_target(fuzz_response_files ${CMAKE_CURRENT_SOURCE_DIR}/response-files.cc
                ${CMAKE_CURRENT_SOURCE_DIR}/scratch.cc
                DEPENDS vuz_support vuz_supplied_for_tests)
