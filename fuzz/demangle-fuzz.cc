// libFuzzer target: the first byte chooses the options, the rest is the text
// to demangle. Any result is fine; crashes, sanitizer reports, runaway time
// or memory are not.
#include "demangle/demangle.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

static const int option_sets[] = {0x3, 0x400b, 0x10, 0x4, 0x13, 0x25, 0x49};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size == 0)
    return 0;
  int options = option_sets[data[0] % (sizeof option_sets / sizeof option_sets[0])];
  char *text = static_cast<char *>(malloc(size));
  memcpy(text, data + 1, size - 1);
  text[size - 1] = '\0';
  free(demangle_to_string(text, options));
  demangled_ctor_kind(text);
  free(text);
  return 0;
}
