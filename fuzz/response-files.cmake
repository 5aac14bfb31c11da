# Response files: the quoted round trip, nesting and self-inclusion.
vuz_fuzz_target(fuzz_response_files ${CMAKE_CURRENT_SOURCE_DIR}/response-files.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_support)
