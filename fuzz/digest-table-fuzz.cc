// Loads arbitrary bytes as the file-digest table of a precompiled header: a
// stored table is untrusted input.
#include "libsprenk/preprocessor.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (stream == nullptr)
    return 0;
  load_digest_table(stream);
  forget_digest_table();
  fclose(stream);
  return 0;
}
