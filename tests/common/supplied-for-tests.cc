// What the program supplies to the libraries below the diagnostics, for the
// test programs, fuzz targets and benchmarks that link no diagnostics: a failed
// check prints where it failed and aborts, which death tests observe.
#include "support/program-supplied.h"

#include "locations/line-map.h"

#include <cstdio>
#include <cstdlib>

void internal_abort(const char *file, int line, const char *function)
{
  fprintf(stderr, "internal compiler error: in %s, at %s:%d\n", function, file, line);
  abort();
}

// Only the diagnostics know the program's line table: a program that expands
// location records links them instead of this file.
expanded_location client_expand_to_spelling_point(uint32_t, location_aspect)
{
  internal_abort(__FILE__, __LINE__, "client_expand_to_spelling_point");
}
