// Traditional preprocessing of arbitrary text in every dialect, with
// comments kept or dropped: the character scan, text macros and their
// argument substitution, and directives read through overlays. Includes
// are refused (the include depth limit is zero) so that inputs never reach
// the file system; the output is capped so that long expansions end.
#include "tests/common/fuzz-reader.h"

#include <cstdint>
#include <cstdlib>

namespace {

enum : uint64_t { MAX_OUTPUT_BYTES = uint64_t(1) << 26 };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 2)
    return 0;
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, data[0]);
  cpp_reader_options *o = options_of(reader);
  o->max_include_depth = 0;
  o->traditional_mode = 1;
  o->drop_comments = data[1] & 1;
  o->drop_comments_in_macros = (data[1] >> 1) & 1;
  o->dollars_in_identifiers = (data[1] >> 2) & 1;
  reader_post_options(reader);
  define_special_builtins(reader);
  buffer_push(reader, data + 2, size - 2, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);

  const unsigned char *text;
  uint64_t length;
  location_t first_line;
  uint64_t total = 0;
  while (total < MAX_OUTPUT_BYTES &&
         cpp_read_traditional_line(reader, &text, &length, &first_line)) {
    // The directive layer reads a scanned-out line up to its newline.
    if (text[length] != '\n')
      abort();
    total += length + 1;
  }
  fuzz_reader_check_macro_texts(reader);
  reader_finish(reader, nullptr);
  fuzz_reader_close(&f);
  return 0;
}
