// Identifiers made of universal character names, UTF-8 characters and
// letters, in every dialect, with and without -pedantic, warned about under
// -Wnormalized=nfc. The code points lean towards the characters whose form
// depends on their neighbours: combining marks, conjoining jamo, Hangul
// syllables. No input may make an internal error (the composition pairs are
// asked only about the marks they cover), and the warnings spell each
// identifier within the bound of its spelling.
#include "fuzz/fuzz-input.h"
#include "libsprenk/charset.h"
#include "tests/common/fuzz-reader.h"
#include "tests/common/reader-probes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Ranges the code points are drawn from, by the low bits of a choice.
const uint32_t code_point_ranges[][2] = {
    {0x00A0, 0x024F}, {0x0300, 0x036F}, {0x0370, 0x03FF}, {0x0900, 0x0DFF},
    {0x1100, 0x11FF}, {0xAC00, 0xD7A3}, {0x3040, 0x30FF}, {0x1E00, 0x1FFF},
    {0x2000, 0x218F}, {0xD7A4, 0xDFFF}, {0x10000, 0x1FFFF}, {0x0000, 0x10FFFF},
};
enum { RANGE_COUNT = sizeof code_point_ranges / sizeof code_point_ranges[0] };

uint32_t code_point(fuzz_input *in)
{
  const uint32_t *range = code_point_ranges[in->byte() % RANGE_COUNT];
  uint32_t offset = uint32_t(in->byte()) << 16 | uint32_t(in->byte()) << 8 | in->byte();
  return range[0] + offset % (range[1] - range[0] + 1);
}

void append_ucn(std::string *text, uint32_t c, bool short_form)
{
  char spelled[16];
  if (short_form && c <= 0xFFFF)
    snprintf(spelled, sizeof spelled, "\\u%04X", unsigned(c));
  else
    snprintf(spelled, sizeof spelled, "\\U%08X", unsigned(c));
  *text += spelled;
}

void append_utf8(std::string *text, uint32_t c)
{
  unsigned char bytes[6];
  size_t n = utf8_encode_one(c, bytes);
  text->append(reinterpret_cast<const char *>(bytes), n);
}

// The source: identifiers of a few characters each, one a line.
std::string source_of(fuzz_input *in)
{
  std::string text;
  while (in->size) {
    uint8_t choice = in->byte();
    switch (choice % 5) {
    case 0: append_ucn(&text, code_point(in), choice & 8); break;
    case 1: append_utf8(&text, code_point(in)); break;
    case 2: text += char('A' + choice / 5 % 26); break;
    case 3: text += choice & 8 ? '$' : '_'; break;
    default: text += choice & 8 ? "\n" : " "; break;
    }
  }
  return text;
}

bool ice_report(preprocessor_reader *, int level, int, located_ranges *, const char *format,
                va_list *)
{
  if (level == DL_ICE) {
    fprintf(stderr, "internal error: %s\n", format);
    abort();
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 2)
    return 0;
  fuzz_input in = {data, size};
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, in.byte());
  callbacks_of(reader)->diagnostic = ice_report;
  uint8_t bits = in.byte();
  cpp_reader_options *o = options_of(reader);
  o->pedantic_mode = bits & 1;
  o->normalization_warning_level = NORM_NFC;
  reader_post_options(reader);
  std::string text = source_of(&in);
  buffer_push(reader, reinterpret_cast<const unsigned char *>(text.data()), text.size(), false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);
  while (probe_raw_token(reader)->kind != TK_EOF) {
  }
  fuzz_reader_close(&f);
  return 0;
}
