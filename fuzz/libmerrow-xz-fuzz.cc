// The xz and LZMA2 decoder over untrusted streams. Seeds from
// fuzz/libmerrow-codec-seeds.py; fuzz/libmerrow-codec-diff.py compares a
// corpus with python3's lzma through the decode tool.
#include "libmerrow/internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  // One state for the whole run: its free list takes back what each decode frees.
  static bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  unsigned char *out = nullptr;
  size_t out_size = 0;
  if (bt_xz_decode(state, data, size, nullptr, nullptr, &out, &out_size) && out) {
    // Reading every byte catches a buffer shorter than its announced size.
    volatile unsigned char sum = 0;
    for (size_t i = 0; i < out_size; ++i)
      sum = sum + out[i];
    bt_free(state, out, out_size, nullptr, nullptr);
  }
  return 0;
}
