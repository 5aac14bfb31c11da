// Throughput of the stack-trace library's zlib inflater and xz decoder: best
// of several rounds over one stream file. Prints decoded megabytes per second.
// usage: libmerrow_codecs zlib|xz FILE SIZE ROUNDS
#include "libmerrow/internal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char **argv)
{
  if (argc != 5)
    return 2;
  FILE *f = fopen(argv[2], "rb");
  if (!f)
    return 2;
  std::vector<unsigned char> input;
  unsigned char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
    input.insert(input.end(), chunk, chunk + n);
  fclose(f);
  size_t size = strtoull(argv[3], nullptr, 10);
  int rounds = atoi(argv[4]);
  bool zlib = strcmp(argv[1], "zlib") == 0;
  bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  std::vector<unsigned char> work(BT_INFLATE_WORK_SIZE), output(size);
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    bool ok;
    if (zlib) {
      ok = bt_zlib_decode(input.data(), input.size(), work.data(), output.data(), size);
    } else {
      unsigned char *out;
      size_t out_size;
      ok = bt_xz_decode(state, input.data(), input.size(), nullptr, nullptr, &out, &out_size) &&
           out_size == size;
      if (ok)
        bt_free(state, out, out_size, nullptr, nullptr);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok)
      return 1;
    if (seconds < best)
      best = seconds;
  }
  printf("%.1f\n", size / best / 1e6);
  return 0;
}
