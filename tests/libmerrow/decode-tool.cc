// Test tool: decodes a batch of zlib streams and xz streams with the library's
// own decoders, for the scripts that compare them with python3's modules.
// Input records: kind byte ('z' zlib, 'x' xz), the output size (zlib only)
// and the input length as 8-byte little-endian numbers, then the input.
// Output records: status byte (1 decoded, 0 refused), length, bytes.
#include "libmerrow/internal.h"

#include <cstdio>
#include <vector>

static bool read_u64(uint64_t *v)
{
  unsigned char b[8];
  if (fread(b, 1, 8, stdin) != 8)
    return false;
  *v = 0;
  for (int i = 7; i >= 0; --i)
    *v = *v << 8 | b[i];
  return true;
}

static void write_record(bool ok, const unsigned char *p, uint64_t n)
{
  unsigned char header[9] = {static_cast<unsigned char>(ok)};
  for (int i = 0; i < 8; ++i)
    header[1 + i] = static_cast<unsigned char>(n >> (8 * i));
  fwrite(header, 1, sizeof header, stdout);
  fwrite(p, 1, n, stdout);
}

int main()
{
  bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  std::vector<unsigned char> work(BT_INFLATE_WORK_SIZE);
  int kind;
  while ((kind = getchar()) != EOF) {
    uint64_t size, length;
    if (!read_u64(&size) || !read_u64(&length))
      return 2;
    std::vector<unsigned char> input(length);
    if (fread(input.data(), 1, length, stdin) != length)
      return 2;
    if (kind == 'z') {
      std::vector<unsigned char> output(size);
      bool ok = bt_zlib_decode(input.data(), length, work.data(), output.data(), size);
      write_record(ok, output.data(), ok ? size : 0);
    } else {
      unsigned char *output = nullptr;
      size_t out_size = 0;
      bool ok = bt_xz_decode(state, input.data(), length, nullptr, nullptr, &output, &out_size);
      write_record(ok, output, out_size);
      if (output)
        bt_free(state, output, out_size, nullptr, nullptr);
    }
  }
  return 0;
}
