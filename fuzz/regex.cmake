# Regular expressions: arbitrary patterns under arbitrary syntax bits.
vuz_fuzz_target(regex_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/regex-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_support)
