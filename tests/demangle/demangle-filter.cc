// Test tool: demangles each line of standard input with the options given as
// the first argument (default 0x3) and prints one result per line; a name
// that does not demangle is printed unchanged after "!! ".
#include "demangle/demangle.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
  int options = argc > 1 ? static_cast<int>(strtol(argv[1], nullptr, 0)) : 0x3;
  char *line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, stdin)) > 0) {
    if (line[length - 1] == '\n')
      line[--length] = '\0';
    char *result = demangle_to_string(line, options);
    if (result)
      printf("%s\n", result);
    else
      printf("!! %s\n", line);
    free(result);
  }
  free(line);
  return 0;
}
