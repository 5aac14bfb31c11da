// The assertion routine and the internal-error report.
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>

void internal_abort(const char *file, int line, const char *function)
{
  fprintf(stderr, "internal compiler error: in %s, at %s:%d\n", function, file, line);
  abort();
}
