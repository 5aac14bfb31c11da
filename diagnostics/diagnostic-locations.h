// What the diagnostic engine asks of locations beyond expansion: the system-
// header test and the order of two locations, both safe without a line table
// (the driver programs have none), and the program's current input location.
#ifndef VUZ_DIAGNOSTICS_DIAGNOSTIC_LOCATIONS_H
#define VUZ_DIAGNOSTICS_DIAGNOSTIC_LOCATIONS_H

#include "diagnostics/input.h"
#include "libsprenk/line-map.h"

// The global input location of the program (0 in the driver).
extern location_t input_location;

bool diagnostic_in_system_header(location_t location);
// Positive when `earlier` comes before `later`, 0 when they are the same.
int diagnostic_compare_locations(location_t earlier, location_t later);

#endif
