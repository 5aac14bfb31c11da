// The whole driver over arbitrary command lines, in one process: decoding,
// command processing, spec loading, queries, the compile loop and the link
// step, all as dry runs, each followed by driver_reset.
// Run it with -close_fd_mask=3 -detect_leaks=0 (the echo of every command is
// not of interest; fuzz/driver-leaks.cc says why no leak check) on the option
// corpus, build/fuzz/fuzz/options-corpus: command lines of every
// option the table knows.
#include "fuzz/driver-harness.h"
#include "fuzz/input-parts.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  // Words separated by NUL bytes or newlines.
  harness_run_driver(input_parts(data, size, 64, "\n"));
  return 0;
}
