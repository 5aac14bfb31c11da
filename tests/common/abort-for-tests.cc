// Test programs below the diagnostics subsystem get this assertion routine: a
// failed check prints where it failed and aborts, which death tests observe.
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>

void internal_abort(const char *file, int line, const char *function)
{
  fprintf(stderr, "internal compiler error: in %s, at %s:%d\n", function, file, line);
  abort();
}
