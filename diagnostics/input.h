// Location expansion with the diagnostics' conventions ("<built-in>" for
// location 1; caret, start and finish aspects), location making, and the
// display column of an expanded location. All read the program's line table.
#ifndef VUZ_DIAGNOSTICS_INPUT_H
#define VUZ_DIAGNOSTICS_INPUT_H

#include "diagnostics/file-cache.h"
#include "locations/display-width.h"
#include "locations/line-map.h"

#include <cstdint>
#include <cstdio>

// The program's line table; null when nothing has been read (as in the driver).
extern linemap_set *line_table;

expanded_location expand_location_1(location_t location, bool expansion_point,
                                    location_aspect aspect);
expanded_location location_expand(location_t location);
expanded_location location_expand_spelling(location_t location, location_aspect aspect);
// client_expand_to_spelling_point (support/program-supplied.h) is defined
// here for the libraries below.
bool location_is_builtin_token(location_t location);
location_t location_expansion_point(location_t location);
location_t system_header_expansion_point(location_t location);
location_t location_make(location_t caret, location_t start, location_t finish);
location_t location_make_from_span(location_t caret, location_span range);
int32_t location_display_column(const column_policy &policy, const expanded_location &where);

// Debugging dumps of the line table (line-table-dumps.cc): its allocation
// figures to standard error, and every interval of locations.
void line_table_statistics_dump();
void dump_location_info(FILE *stream);

#endif
