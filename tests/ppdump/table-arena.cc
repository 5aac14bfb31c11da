// ppdump's line-table allocator: a macro map's location array is asked for
// once per expansion and is never grown or freed before the table goes, so
// small ones are carved in turn from large blocks rather than each taking a
// heap block of its own; the arrays the table grows stay on the heap.
#include "tests/ppdump/table-arena.h"

#include "support/alloc.h"

#include <cstdlib>
#include <cstring>

enum : uint64_t {
  ARENA_BLOCK_BYTES = uint64_t(4) << 20,
  // Larger requests would waste much of a block's tail.
  ARENA_CARVED_MAX = uint64_t(64) << 10,
};

struct arena_block {
  arena_block *previous;
  char *limit;
};

// The grow function takes no state of its own, so the arena is the program's.
static arena_block *arena_newest;
static char *arena_next;

static bool arena_carves(uint64_t size)
{
  return size <= ARENA_CARVED_MAX;
}

static void *arena_carve(uint64_t size)
{
  size = (size + 7) & ~uint64_t(7);
  if (arena_newest == nullptr || uint64_t(arena_newest->limit - arena_next) < size) {
    arena_block *block = static_cast<arena_block *>(checked_malloc(ARENA_BLOCK_BYTES));
    block->previous = arena_newest;
    block->limit = reinterpret_cast<char *>(block) + ARENA_BLOCK_BYTES;
    arena_newest = block;
    arena_next = reinterpret_cast<char *>(block + 1);
  }
  void *carved = arena_next;
  arena_next += size;
  return carved;
}

static arena_block *arena_holding(const void *address)
{
  const char *p = static_cast<const char *>(address);
  for (arena_block *block = arena_newest; block; block = block->previous)
    if (p > reinterpret_cast<const char *>(block) && p < block->limit)
      return block;
  return nullptr;
}

void *table_arena_grow(void *block, uint64_t size)
{
  if (block == nullptr && arena_carves(size))
    return arena_carve(size);
  arena_block *home = block ? arena_holding(block) : nullptr;
  if (home == nullptr)
    return checked_realloc(block, size);
  // Carved and now grown: the table only grows its arrays, so the old
  // contents lie within the first SIZE bytes, inside the block.
  uint64_t readable = uint64_t(home->limit - static_cast<char *>(block));
  void *moved = checked_malloc(size);
  memcpy(moved, block, size < readable ? size : readable);
  return moved;
}

void table_arena_release(linemap_set *set)
{
  for (uint32_t i = 0; i < set->macro_used; i++) {
    const macro_map &map = set->macro_maps[i];
    if (!arena_carves(2ull * map.token_count * sizeof(location_t)))
      free(map.token_locations);
  }
  void *arrays[] = {set->macro_maps, set->ordinary_maps, set->adhoc_entries};
  for (void *array : arrays)
    if (arena_holding(array) == nullptr)
      free(array);
  adhoc_index_free(set);
  while (arena_block *block = arena_newest) {
    arena_newest = block->previous;
    free(block);
  }
  arena_next = nullptr;
}
