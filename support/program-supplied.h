// The functions that the libraries below the diagnostics call by name and the
// program supplies: in the programs the diagnostics define both; a test
// program, fuzz target or benchmark that links no diagnostics links
// vuz_supplied_for_tests instead (never both: they define the same names).
#ifndef VUZ_SUPPORT_PROGRAM_SUPPLIED_H
#define VUZ_SUPPORT_PROGRAM_SUPPLIED_H

#include <cstdint>

// Defined with the source locations (locations/line-map.h).
struct expanded_location;
enum location_aspect : int;

// The one assertion routine: reports an internal error and ends the process.
[[noreturn]] void internal_abort(const char *file, int line, const char *function);

// A location (a location_t) expanded at its spelling point, over the program's
// line table; the location record expands its ranges and fix-it hints with it.
expanded_location client_expand_to_spelling_point(uint32_t location, location_aspect aspect);

#endif
