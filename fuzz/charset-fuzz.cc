// Random bytes through every built-in converter and whole-file conversion.
// A conversion that succeeds must convert back to its input; a failure must
// leave the output length alone and keep a prefix of whole characters.
#include "libsprenk/charset.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct converter_row {
  const char *to, *from;
};

const converter_row rows[] = {
    {"UTF-16LE", "UTF-8"}, {"UTF-16BE", "UTF-8"}, {"UTF-32LE", "UTF-8"},
    {"UTF-32BE", "UTF-8"}, {"UTF-8", "UTF-16LE"}, {"UTF-8", "UTF-16BE"},
    {"UTF-8", "UTF-32LE"}, {"UTF-8", "UTF-32BE"},
};

struct result {
  bool ok;
  unsigned char *text;
  size_t length;
};

result run(const char *to, const char *from, const unsigned char *data, size_t size)
{
  charset_converter c = open_converter(nullptr, to, from);
  converter_output out = {static_cast<unsigned char *>(malloc(1)), 1, 0, 0};
  errno = 0;
  bool ok = c.function(c.cookie, data, size, &out);
  if (!ok) {
    if (out.length != 0 || (errno != EILSEQ && errno != EINVAL) || out.partial > out.allocated)
      abort();
  }
  close_converter(&c);
  return {ok, out.text, ok ? out.length : out.partial};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size == 0)
    return 0;
  unsigned choice = data[0] % 9;
  data++;
  size--;
  if (choice == 8) {
    unsigned char *buffer = static_cast<unsigned char *>(malloc(size ? size : 1));
    memcpy(buffer, data, size);
    unsigned char *block;
    size_t length;
    const unsigned char *text =
        convert_file_text(nullptr, size % 2 ? "UTF-16LE" : "UTF-8", buffer, size, size, &block,
                          &length);
    if (text && (text[length] != '\n' && text[length] != '\r'))
      abort();
    free(block);
    return 0;
  }
  const converter_row &row = rows[choice];
  result there = run(row.to, row.from, data, size);
  if (there.ok) {
    result back = run(row.from, row.to, there.text, there.length);
    // Only the largest UTF-32 value, from a 6-byte form, has no way back.
    if (back.ok && (back.length != size || memcmp(back.text, data, size) != 0))
      abort();
    if (!back.ok && choice != 2 && choice != 3)
      abort();
    free(back.text);
  }
  free(there.text);
  return 0;
}
