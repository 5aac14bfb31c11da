// Where the internal-error report meets the stack-trace library and the
// demangler. Neither is part of the program yet, so no stack-trace state can
// be made: the report prints no frames, and names stay as they are.
#include "diagnostics/diagnostic.h"

int diagnostic_walk_stack(int)
{
  return 0;
}

char *diagnostic_demangle(const char *)
{
  return nullptr;
}
