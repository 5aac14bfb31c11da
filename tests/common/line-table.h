// Gives back what a line table allocated with its default allocator: the
// library leaves that to its clients, and tests, fuzz targets and benchmarks
// each own one table.
#ifndef VUZ_TESTS_COMMON_LINE_TABLE_H
#define VUZ_TESTS_COMMON_LINE_TABLE_H

#include "locations/line-map.h"

#include <cstdlib>

inline void release_line_table(linemap_set *set)
{
  for (uint32_t i = 0; i < set->macro_used; i++)
    free(set->macro_maps[i].token_locations);
  free(set->macro_maps);
  free(set->ordinary_maps);
  free(set->adhoc_entries);
  adhoc_index_free(set);
}

#endif
