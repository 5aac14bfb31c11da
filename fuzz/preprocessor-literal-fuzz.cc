// Interprets every string and character literal of arbitrary bytes in every
// dialect and byte order, with and without per-character source ranges.
// The first two bytes choose the dialect and the options.
#include "tests/common/fuzz-reader.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool is_literal(int kind)
{
  return (kind >= TK_CHAR && kind <= TK_UTF8CHAR) || (kind >= TK_STRING && kind <= TK_UTF8STRING) ||
         (kind >= TK_CHAR_USERDEF && kind <= TK_UTF8STRING_USERDEF);
}

void interpret(preprocessor_reader *reader, const preproc_token *token, linemap_set *lines)
{
  int kind = token->kind;
  if (kind >= TK_CHAR && kind <= TK_UTF8CHAR) {
    uint32_t characters;
    bool unsignedp;
    interpret_char_constant(reader, token, &characters, &unsignedp);
  }
  byte_string in = {token->value.str.length, token->value.str.text}, out;
  int plain = userdef_char_to_plain(userdef_string_to_plain(kind));
  if (interpret_string_plain(reader, &in, 1, &out, plain))
    free(const_cast<unsigned char *>(out.text));
  string_location_reader r;
  string_location_reader_start(&r, token->location, lines);
  substring_ranges ranges;
  substring_ranges_init(&ranges);
  interpret_string_source_ranges(reader, &in, &r, 1, &ranges, plain);
  substring_ranges_fini(&ranges);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 2)
    return 0;
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, data[0]);
  cpp_reader_options *o = options_of(reader);
  o->bytes_big_endian = data[1] & 1;
  o->pedantic_mode = (data[1] >> 1) & 1;
  o->unsigned_char = (data[1] >> 2) & 1;
  o->warn_traditional_c = (data[1] >> 3) & 1;
  o->wchar_precision = (data[1] >> 4) & 1 ? 16 : 32;
  reader_post_options(reader);
  buffer_push(reader, data + 2, size - 2, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);
  for (const preproc_token *token = cpp_get_token(reader); token->kind != TK_EOF;
       token = cpp_get_token(reader))
    if (is_literal(token->kind))
      interpret(reader, token, &f.lines);
  fuzz_reader_close(&f);
  return 0;
}
