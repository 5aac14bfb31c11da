// Evaluates every line of arbitrary bytes as a #if expression, in every
// dialect, at every precision (also those outside 1..128) and under the
// expression warnings. The first three bytes choose the dialect, the
// precision and the options; UndefinedBehaviorSanitizer watches the
// 128-bit arithmetic.
#include "tests/common/fuzz-reader.h"
#include "tests/common/reader-probes.h"

#include <cstdint>
#include <cstdlib>

namespace {

void configure(preprocessor_reader *reader, uint8_t precision, uint8_t bits)
{
  cpp_reader_options *o = options_of(reader);
  o->precision = precision;
  o->pedantic_mode = bits & 1;
  o->warn_sign_change_in_if = (bits >> 1) & 1;
  o->warn_undefined_in_if = (bits >> 2) & 1;
  o->warn_traditional_c = (bits >> 3) & 1;
  o->unsigned_char = (bits >> 4) & 1;
  o->bytes_big_endian = (bits >> 5) & 1;
  o->warn_long_long_constants = (bits >> 6) & 1;
  o->traditional_mode = (bits >> 7) & 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 3)
    return 0;
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, data[0]);
  configure(reader, data[1], data[2]);
  reader_post_options(reader);
  define_from_text(reader, "DEFINED");
  buffer_push(reader, data + 3, size - 3, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);
  while (probe_next_line(reader)) {
    expr_value value = {};
    if (probe_evaluate_line(reader, (data[2] & 1) != 0, &value) &&
        value_sign_extend(value, options_of(reader)->precision).high != value.high)
      abort();
  }
  fuzz_reader_close(&f);
  return 0;
}
