// The zlib inflater over untrusted streams. Input: the output size as a
// 4-byte little-endian number (at most 1 MiB), then the stream. Seeds from
// fuzz/libmerrow-codec-seeds.py; fuzz/libmerrow-codec-diff.py compares a
// corpus with python3's zlib through the decode tool.
#include "libmerrow/internal.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 4)
    return 0;
  uint32_t out_size;
  memcpy(&out_size, data, 4);
  out_size &= (1u << 20) - 1;
  static std::vector<unsigned char> work(BT_INFLATE_WORK_SIZE);
  std::vector<unsigned char> out(out_size);
  bt_zlib_decode(data + 4, size - 4, work.data(), out.data(), out_size);
  return 0;
}
