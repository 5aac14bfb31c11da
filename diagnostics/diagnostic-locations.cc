// Location questions of the engine, answered from the program's line table.
// Without one, only the reserved locations exist, and they are ordered by
// value.
#include "diagnostics/internal.h"

location_t input_location = UNKNOWN_LOCATION;

bool diagnostic_in_system_header(location_t location)
{
  return line_table && linemap_in_system_header(line_table, location);
}

int diagnostic_compare_locations(location_t earlier, location_t later)
{
  if (line_table)
    return linemap_compare_locations(line_table, earlier, later);
  return earlier == later ? 0 : earlier < later ? 1 : -1;
}
