// Loads arbitrary bytes as saved dependencies and writes what was loaded as
// make rules: a stored stream is untrusted input.
#include "tests/common/fuzz-reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (stream == nullptr)
    return 0;
  // Rules are printed by a reader, so the stream loads into the reader's
  // own record, which goes with the reader.
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, 0);
  options_of(reader)->deps_style = 1;
  options_of(reader)->deps_phony_targets = size & 1;
  dep_record *record = dependencies_of(reader);
  deps_add_implicit_target(record, "fuzz.c");
  if (deps_load(record, stream, "own.h") == 0) {
    char *text = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&text, &length);
    deps_print(reader, out, uint32_t(size % 80));
    fclose(out);
    free(text);
  }
  fuzz_reader_close(&f);
  fclose(stream);
  return 0;
}
