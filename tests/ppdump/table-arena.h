// ppdump's allocator for its line table: what a compiler client would choose
// through the table's grow function instead of one heap block per expansion.
#ifndef VUZ_TESTS_PPDUMP_TABLE_ARENA_H
#define VUZ_TESTS_PPDUMP_TABLE_ARENA_H

#include "locations/line-map.h"

#include <cstdint>

// A grow function for linemap_set::grow_fn.
void *table_arena_grow(void *block, uint64_t size);
// Gives back a table whose grow function was table_arena_grow, and the
// arena with it.
void table_arena_release(linemap_set *set);

#endif
