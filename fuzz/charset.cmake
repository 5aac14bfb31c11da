# The character-set converters under random bytes.
vuz_fuzz_target(fuzz_charset ${CMAKE_CURRENT_SOURCE_DIR}/charset-fuzz.cc
                ${PROJECT_SOURCE_DIR}/tests/common/abort-for-tests.cc DEPENDS vuz_sprenk)
