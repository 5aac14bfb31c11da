vuz_fuzz_target(relocation_fuzz ${CMAKE_CURRENT_LIST_DIR}/relocation-fuzz.cc
                DEPENDS vuz_support vuz_supplied_for_tests)
