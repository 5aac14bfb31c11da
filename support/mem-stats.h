// The allocation-statistics registry: per source location, how much memory
// each kind of container allocated, with a report sorted by the amount. The
// vector registry exists from before main until exit; the hash-table one only
// once it is first asked for.
#ifndef VUZ_SUPPORT_MEM_STATS_H
#define VUZ_SUPPORT_MEM_STATS_H

#include "support/hash-table.h"

#include <cstdint>
#include <cstdio>

enum alloc_origin : uint32_t {
  ALLOC_ORIGIN_HASH_TABLES,
  ALLOC_ORIGIN_HASH_MAPS,
  ALLOC_ORIGIN_HASH_SETS,
  ALLOC_ORIGIN_HEAP_VECTORS,
  ALLOC_ORIGIN_BITMAPS,
  ALLOC_ORIGIN_KEMM_MEMORY,
  ALLOC_ORIGIN_ALLOCATION_POOL,
  ALLOC_ORIGIN_COUNT
};

extern const char *const allocation_origin_names[ALLOC_ORIGIN_COUNT];

struct alloc_location {
  const char *file;
  const char *function;
  uint32_t line;
  uint32_t origin;
  bool collector;
};

struct alloc_usage {
  uint64_t allocated;
  uint64_t times;
  uint64_t peak;
  uint32_t instances;
  uint64_t items;
  uint64_t peak_items;
  uint64_t element_size;
};

hashval_t alloc_location_hash(const alloc_location *location);

class alloc_stats_registry {
public:
  alloc_stats_registry();
  ~alloc_stats_registry();
  alloc_stats_registry(const alloc_stats_registry &) = delete;
  alloc_stats_registry &operator=(const alloc_stats_registry &) = delete;

  void register_object(const void *object, const alloc_location &location, uint64_t count,
                       uint64_t element_size);
  void release_object(const void *object, const alloc_location &location, uint64_t bytes,
                      uint64_t items, bool remove);
  alloc_usage *usage_of(const alloc_location &location);
  void dump_origin(FILE *stream, uint32_t origin);

private:
  struct location_traits : pointer_hash_traits<const alloc_location *> {
    static hashval_t hash(const alloc_location *l) { return alloc_location_hash(l); }
    static bool equal(const alloc_location *a, const alloc_location *b);
  };
  struct object_entry {
    alloc_usage *usage;
    uint64_t extra;
  };
  alloc_usage *find_or_add_location(const alloc_location &location, bool new_instance);

  hash_map<const alloc_location *, alloc_usage *, location_traits> m_locations;
  hash_map<const void *, object_entry> m_objects;
  hash_map<const void *, object_entry> m_unused;
};

// The vector registry and its lifetime.
void vec_stats_startup();
void vec_stats_create();
void vec_stats_destroy();
void alloc_stats_register(const void *object, uint64_t count, uint64_t element_size);
void alloc_stats_release(const void *object, uint64_t bytes, uint64_t items, bool remove);
void alloc_stats_dump();

alloc_stats_registry *hash_stats_instance();

#endif
