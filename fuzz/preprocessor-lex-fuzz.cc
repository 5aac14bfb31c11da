// Prepares and tokenises arbitrary bytes in every dialect and under the
// lexer's options (tests/common/lex-fuzz-input.cc runs each input).
#include "tests/common/lex-fuzz-input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  run_lex_fuzz_input(data, size);
  return 0;
}
