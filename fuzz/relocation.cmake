vuz_fuzz_target(relocation_fuzz ${CMAKE_CURRENT_LIST_DIR}/relocation-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_support)
