// A line table owned by a test, released with everything it allocated.
#ifndef VUZ_TESTS_LOCATIONS_LINE_MAP_FIXTURE_H
#define VUZ_TESTS_LOCATIONS_LINE_MAP_FIXTURE_H

#include "locations/line-map.h"
#include "tests/common/line-table.h"

#include <cstdlib>

struct test_line_table {
  linemap_set set;

  explicit test_line_table(uint32_t packed_range_bits = 5)
  {
    linemap_set_init(&set, BUILTINS_LOCATION);
    set.packed_range_bits = packed_range_bits;
  }
  ~test_line_table() { release_line_table(&set); }
  test_line_table(const test_line_table &) = delete;
  test_line_table &operator=(const test_line_table &) = delete;

  linemap_set *operator->() { return &set; }
  linemap_set *get() { return &set; }
};

// A stand-in for the preprocessor's identifier node: its first field is the
// pointer to the name.
struct test_macro_node {
  const char *name;
  const ident_node *node() const { return reinterpret_cast<const ident_node *>(this); }
};

#endif
