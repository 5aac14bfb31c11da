// One input of the preprocessor's tokeniser fuzz target, shared by the
// target and the unit test that replays the inputs it found: the first two
// bytes choose the dialect and the options, the rest is the text.
#ifndef VUZ_TESTS_COMMON_LEX_FUZZ_INPUT_H
#define VUZ_TESTS_COMMON_LEX_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>

// Tokenises the input to its end, spelling every token; aborts when a
// spelling outgrows its bound, or is empty without a reported error.
void run_lex_fuzz_input(const uint8_t *data, size_t size);

#endif
