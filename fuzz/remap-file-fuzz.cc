// Reads arbitrary bytes as a directory's "header.vuz" remap file and looks
// every listed name up again: a remap file is untrusted input.
#include "support/internal-abort.h"
#include "tests/common/reader-probes.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (stream == nullptr)
    return 0;
  bool consistent = probe_remap_file_consistent(stream, size & 1 ? "dir/" : "");
  fclose(stream);
  vuz_assert(consistent);
  return 0;
}
