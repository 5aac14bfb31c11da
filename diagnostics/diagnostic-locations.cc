// Location answers for the engine. Location 0 has no file and location 1 is
// the built-in file; the driver programs report at no other location.
#include "diagnostics/diagnostic-locations.h"

location_t input_location = 0;

diagnostic_locus diagnostic_expand(location_t location)
{
  diagnostic_locus locus = {nullptr, 0, 0, false};
  if (location == 1)
    locus.file = "<built-in>";
  return locus;
}

bool diagnostic_in_system_header(location_t location)
{
  return diagnostic_expand(location).in_system_header;
}

int diagnostic_compare_locations(location_t earlier, location_t later)
{
  return earlier == later ? 0 : earlier < later ? 1 : -1;
}
