// What the diagnostic engine reads from locations: expansion to file, line and
// column, the system-header test and the order of two locations. One place,
// so that the engine does not depend on how the line maps answer.
#ifndef VUZ_DIAGNOSTICS_DIAGNOSTIC_LOCATIONS_H
#define VUZ_DIAGNOSTICS_DIAGNOSTIC_LOCATIONS_H

#include <cstdint>

typedef uint32_t location_t;

// An expanded location as the engine prints it.
struct diagnostic_locus {
  const char *file;
  int line;
  int column;
  bool in_system_header;
};

// The global input location of the program (0 in the driver).
extern location_t input_location;

diagnostic_locus diagnostic_expand(location_t location);
bool diagnostic_in_system_header(location_t location);
// Positive when `earlier` comes before `later`, 0 when they are the same.
int diagnostic_compare_locations(location_t earlier, location_t later);

#endif
