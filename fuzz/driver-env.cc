// The environment variables the driver reads, with arbitrary values, around
// a dry run that compiles and links one file: the input's lines are the
// values, in the order of the table below; a missing line leaves one unset.
// Run it with -close_fd_mask=3 -detect_leaks=0 (fuzz/driver-leaks.cc).
#include "fuzz/driver-harness.h"
#include "fuzz/env-values.h"
#include "fuzz/input-parts.h"

#include <cstdint>
#include <cstdlib>

static const char *const variables[] = {
    "COMPILER_PATH", "LIBRARY_PATH", "VUZ_EXEC_PREFIX",  "VUZ_COLORS",
    "COLUMNS",       "MAKEFLAGS",    "VUZ_COMPARE_DEBUG",
};

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  for (const char *name : variables)
    unsetenv(name);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  // The run ends with driver_reset, which restores them.
  std::vector<std::string> values = input_parts(data, size, 7, "\n");
  for (size_t i = 0; i < values.size(); i++)
    fuzz_set_env(variables[i], values[i]);
  // A warning to colour, and a link step that reads MAKEFLAGS: without the
  // plug-in, which a fuzzed VUZ_EXEC_PREFIX would hide.
  harness_run_driver({"-fdiagnostics-color=always", "-fno-use-linker-plugin", "x.c", "-o", "x",
                      "-x", "c"});
  return 0;
}
