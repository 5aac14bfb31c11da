// Path splitting and relocation on arbitrary paths. The input holds the
// program path, the configured program directory and the wanted directory,
// separated by NUL bytes; the program path gets a leading '/' so that no
// PATH lookup happens.
#include "fuzz/input-parts.h"
#include "support/file-names.h"
#include "support/relocation.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::vector<std::string> parts = input_parts(data, size, 3);
  parts.resize(3);
  std::string program = "/" + parts[0];

  int count;
  char **components = split_directories_of(parts[1].c_str(), &count);
  std::string joined;
  for (int i = 0; i < count; i++)
    joined += components[i];
  if (joined != parts[1])
    abort();  // the components are the path cut into pieces
  split_directories_free(components);

  char *result = relative_prefix_unresolved(program.c_str(), parts[1].c_str(), parts[2].c_str());
  free(result);
  return 0;
}
