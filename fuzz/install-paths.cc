// Install-path translation over arbitrary paths, keys, install prefixes and
// key values: the expansion of "@KEY" and "$KEY" (with values that begin with
// keys again) and the removal of "/../" after directories that do not exist.
// The input holds the path, the key, the install prefix, and the values of
// the variables VUZ_ROOT and HOME, separated by NUL bytes; the environment is
// restored after each input.
#include "driver/env-manager.h"
#include "driver/search-paths.h"
#include "fuzz/env-values.h"
#include "fuzz/input-parts.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::vector<std::string> parts = input_parts(data, size, 5);
  parts.resize(5);
  fuzz_set_env("VUZ_ROOT", parts[3]);
  fuzz_set_env("HOME", parts[4]);
  set_install_prefix(parts[2].c_str(), parts[2].size());
  free(translate_install_path(parts[0].c_str(), parts[1].empty() ? nullptr : parts[1].c_str()));
  char *expanded = expand_install_keys(strdup(parts[0].c_str()));
  free(expanded);
  reset_search_paths();
  env.restore();
  return 0;
}
