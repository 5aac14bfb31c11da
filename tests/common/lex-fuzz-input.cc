// One input of the preprocessor's tokeniser fuzz target: prepares and
// tokenises arbitrary bytes in every dialect and under the lexer's options,
// spelling every token and asking the printer's spacing question of each
// adjacent pair.
#include "tests/common/lex-fuzz-input.h"

#include "tests/common/fuzz-reader.h"
#include "tests/common/reader-probes.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
  if (!ok)
    abort();
}

// Errors reported while this input is read. The callback gets no context of
// its own, and one input is read at a time.
unsigned reported_errors;

bool count_report(preprocessor_reader *, int level, int, located_ranges *, const char *,
                  va_list *)
{
  if (level == DL_ERROR || level == DL_FATAL)
    reported_errors++;
  return true;
}

void configure(preprocessor_reader *reader, uint8_t bits)
{
  cpp_reader_options *o = options_of(reader);
  o->trigraph_sequences = bits & 1;
  o->warn_trigraph_use = (bits >> 1) & 1;
  o->drop_comments = !((bits >> 2) & 1);
  o->warn_nested_comments = (bits >> 3) & 1;
  o->bidi_warning_mode = uint8_t((bits >> 4) & 7);
  o->pedantic_mode = (bits >> 7) & 1;
  o->fallthrough_comments = uint8_t(bits % 6);
}

} // namespace

void run_lex_fuzz_input(const uint8_t *data, size_t size)
{
  if (size < 2)
    return;
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, data[0]);
  configure(reader, data[1]);
  reported_errors = 0;
  callbacks_of(reader)->diagnostic = count_report;
  options_of(reader)->module_support = data[0] >> 7;
  // Half the inputs are read as the raw-token dump reads them, the other
  // half with directives and macro expansion on top.
  bool raw = (data[0] / DIALECT_COUNT) & 1;
  // Inputs never reach the file system through #include.
  options_of(reader)->max_include_depth = 0;
  reader_post_options(reader);
  buffer_push(reader, data + 2, size - 2, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);

  const preproc_token *previous = nullptr;
  preproc_token kept = {};
  for (;;) {
    const preproc_token *token =
        raw ? probe_raw_token(reader) : cpp_get_token(reader);
    if (token->kind == TK_EOF)
      break;
    if (cpp_kind_category(token->kind) != TC_NONE) {
      // The spelling never outgrows the bound callers size buffers by. It is
      // empty only for a name whose characters were all rejected, with an
      // error (an identifier character beyond Unicode, say).
      uint64_t bound = cpp_spelling_bound(token);
      unsigned char *text = static_cast<unsigned char *>(malloc(bound + 1));
      unsigned char *end = cpp_write_token_text(reader, token, text, false);
      check(uint64_t(end - text) <= bound);
      check(end > text || (token->kind == TK_NAME && reported_errors > 0));
      free(text);
    }
    if (previous)
      cpp_needs_space_between(reader, previous, token);
    kept = *token;
    previous = &kept;
  }
  reader_finish(reader, nullptr);
  fuzz_reader_close(&f);
}
