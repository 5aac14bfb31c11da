// Preprocesses arbitrary text: directives, conditionals, macro definition
// and expansion, pasting, stringifying and __VA_OPT__, printing every token
// as the text output does. Includes are refused (the include depth limit is
// zero) so that inputs never reach the file system; the output is capped so
// that exponential expansions end.
#include "tests/common/fuzz-reader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

enum { MAX_OUTPUT_TOKENS = 200000 };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 1)
    return 0;
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, data[0]);
  options_of(reader)->max_include_depth = 0;
  options_of(reader)->pedantic_mode = (data[0] >> 7) & 1;
  reader_post_options(reader);
  define_special_builtins(reader);
  buffer_push(reader, data + 1, size - 1, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);

  unsigned char spelled[64];
  preproc_token previous = {};
  for (uint32_t count = 0; count < MAX_OUTPUT_TOKENS; count++) {
    const preproc_token *token = cpp_next_token(reader);
    if (token->kind == TK_EOF)
      break;
    if (token->kind == TK_PADDING)
      continue;
    if (cpp_spelling_bound(token) < sizeof spelled)
      cpp_write_token_text(reader, token, spelled, false);
    cpp_needs_space_between(reader, &previous, token);
    previous = *token;
  }
  fuzz_reader_check_macro_texts(reader);
  reader_finish(reader, nullptr);
  fuzz_reader_close(&f);
  return 0;
}
