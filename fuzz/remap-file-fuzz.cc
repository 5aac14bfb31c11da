// Reads arbitrary bytes as a directory's "header.vuz" remap file and looks
// every listed name up again: a remap file is untrusted input.
#include "libsprenk/preprocessor-internal.h"

#include "support/internal-abort.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (stream == nullptr)
    return 0;
  remap_table *table = _cpp_read_remap_table(stream, size & 1 ? "dir/" : "");
  fclose(stream);
  for (uint64_t i = 0; i < table->count; i++) {
    const char *from = table->pairs[2 * i];
    const char *to = _cpp_remap_lookup(table, from);
    vuz_assert(to != nullptr && strchr(from, '\n') == nullptr && strchr(to, '\n') == nullptr);
  }
  vuz_assert(table->pairs[2 * table->count] == nullptr);
  _cpp_free_remap_table(table);
  return 0;
}
