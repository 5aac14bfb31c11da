// The allocation-statistics registries and their report.
#include "support/mem-stats.h"

#include "support/alloc.h"
#include "support/internal-abort.h"
#include "support/sort.h"
#include "support/string-hash.h"
#include "support/vec.h"

#include <cstdlib>
#include <cstring>

const char *const allocation_origin_names[ALLOC_ORIGIN_COUNT] = {
  "Hash tables", "Hash maps", "Hash sets", "Heap vectors", "Bitmaps", "KEMM memory",
  "Allocation pool",
};

hashval_t alloc_location_hash(const alloc_location *location)
{
  hashval_t h = hash_bytes_mixed(&location->file, sizeof location->file, 0);
  h = hash_bytes_mixed(&location->function, sizeof location->function, h);
  hashval_t a = hash_golden_ratio, b = location->line, c = h;
  hash_mix_words(a, b, c);
  return c;
}

bool alloc_stats_registry::location_traits::equal(const alloc_location *a,
                                                  const alloc_location *b)
{
  return a->file == b->file && a->function == b->function && a->line == b->line &&
         a->origin == b->origin;
}

alloc_stats_registry::alloc_stats_registry() : m_locations(13), m_objects(13), m_unused(13) {}

alloc_stats_registry::~alloc_stats_registry()
{
  for (auto &e : m_locations) {
    delete e.key;
    delete e.value;
  }
}

alloc_usage *alloc_stats_registry::find_or_add_location(const alloc_location &location,
                                                        bool new_instance)
{
  alloc_usage **usage = m_locations.get(&location);
  if (usage) {
    if (new_instance)
      (*usage)->instances++;
    return *usage;
  }
  alloc_usage *fresh = new alloc_usage();
  fresh->instances = 1;
  m_locations.put(new alloc_location(location), fresh);
  return fresh;
}

alloc_usage *alloc_stats_registry::usage_of(const alloc_location &location)
{
  alloc_usage **usage = m_locations.get(&location);
  return usage ? *usage : nullptr;
}

void alloc_stats_registry::register_object(const void *object, const alloc_location &location,
                                           uint64_t count, uint64_t element_size)
{
  alloc_usage *usage = find_or_add_location(location, true);
  m_objects.put(object, {usage, 0});
  usage->allocated += count * element_size;
  usage->times++;
  if (usage->allocated > usage->peak)
    usage->peak = usage->allocated;
  usage->element_size = element_size;
  usage->items += count;
  if (usage->items > usage->peak_items)
    usage->peak_items = usage->items;
}

void alloc_stats_registry::release_object(const void *object, const alloc_location &location,
                                          uint64_t bytes, uint64_t items, bool remove)
{
  // An object never registered is charged to its location, which then has
  // nothing to give back.
  object_entry *entry = m_objects.get(object);
  alloc_usage *usage = entry ? entry->usage : find_or_add_location(location, false);
  vuz_assert_as(usage->allocated >= bytes, "mem-stats", "release_overhead");
  usage->allocated -= bytes;
  if (remove && entry)
    m_objects.remove(object);
  usage->items -= items;
}

namespace {

struct usage_pair {
  const alloc_location *location;
  alloc_usage *usage;
};

int alloc_stats_compare(const void *x, const void *y)
{
  const alloc_usage *a = static_cast<const usage_pair *>(x)->usage;
  const alloc_usage *b = static_cast<const usage_pair *>(y)->usage;
  if (a->allocated != b->allocated)
    return a->allocated < b->allocated ? -1 : 1;
  if (a->peak != b->peak)
    return a->peak < b->peak ? -1 : 1;
  if (a != b)
    return a < b ? -1 : 1;
  return 0;
}

// A number and its unit: itself below 10240, else in KiB or, above 10 MiB
// less one byte, in MiB.
struct scaled {
  unsigned long number;
  char unit;
};

scaled scale(uint64_t n)
{
  if (n < 10240)
    return {static_cast<unsigned long>(n), ' '};
  if (n > 10485759)
    return {static_cast<unsigned long>(n >> 20), 'M'};
  return {static_cast<unsigned long>(n >> 10), 'k'};
}

double percent(uint64_t part, uint64_t whole)
{
  return whole ? part * 100.0 / whole : 0.0;
}

const char *text_or_empty(const char *s)
{
  return s ? s : "";
}

// The file name from its last "vuz/" on: the part inside the source tree.
const char *trimmed_file(const char *file)
{
  const char *trimmed = text_or_empty(file);
  for (const char *p = trimmed; (p = strstr(p, "vuz/")) != nullptr; p++)
    trimmed = p + 4;
  return trimmed;
}

void print_header(FILE *stream, const char *name)
{
  fprintf(stream, "%-48s %10s%11s%16s%10s%17s%11s\n", name, "sizeof(T)", "Leak", "Peak", "Times",
          "Leak items", "Peak items");
}

void alloc_stats_print_row(FILE *stream, const usage_pair &pair, const alloc_usage &total)
{
  const alloc_location *l = pair.location;
  const alloc_usage *u = pair.usage;
  char *where = format_alloc("%s:%i (%s)", trimmed_file(l->file), static_cast<int>(l->line),
                             text_or_empty(l->function));
  scaled allocated = scale(u->allocated), peak = scale(u->peak), items = scale(u->items),
         peak_items = scale(u->peak_items);
  fprintf(stream, "%-48s %10lu%10lu%c:%4.1f%%%9lu%c%10lu:%4.1f%%%10lu%c%10lu%c\n", where,
          static_cast<unsigned long>(u->element_size), allocated.number, allocated.unit,
          percent(u->allocated, total.allocated), peak.number, peak.unit,
          static_cast<unsigned long>(u->times), percent(u->times, total.times), items.number,
          items.unit, peak_items.number, peak_items.unit);
  free(where);
}

}  // namespace

void alloc_stats_registry::dump_origin(FILE *stream, uint32_t origin)
{
  fputc('\n', stream);
  vec<usage_pair> *pairs = nullptr;
  alloc_usage total = {};
  for (auto &e : m_locations)
    if (e.key->origin == origin) {
      vec_safe_push(pairs, usage_pair{e.key, e.value});
      total.allocated += e.value->allocated;
      total.times += e.value->times;
      total.items += e.value->items;
    }
  if (pairs)
    merge_sort(pairs->address(), pairs->length(), sizeof(usage_pair), alloc_stats_compare);
  const char *name = allocation_origin_names[origin];
  print_header(stream, name);
  for (uint32_t i = vec_length(pairs); i-- > 0;)
    alloc_stats_print_row(stream, (*pairs)[i], total);
  print_header(stream, name);
  scaled allocated = scale(total.allocated), times = scale(total.times),
         items = scale(total.items);
  fprintf(stream, "%s%64lu%c%25lu%c%16lu%c\n", "Total", allocated.number, allocated.unit,
          times.number, times.unit, items.number, items.unit);
  fputc('\n', stream);
  vec_release(pairs);
}

static alloc_stats_registry *vec_registry;

// Vectors all register under one location: no file, no function, line 0.
static const alloc_location vector_location = {nullptr, nullptr, 0, ALLOC_ORIGIN_HEAP_VECTORS,
                                               false};

void vec_stats_create()
{
  vec_registry = new alloc_stats_registry();
}

void vec_stats_destroy()
{
  delete vec_registry;
  vec_registry = nullptr;
}

void vec_stats_startup()
{
  vec_stats_create();
  atexit(vec_stats_destroy);
}

void alloc_stats_register(const void *object, uint64_t count, uint64_t element_size)
{
  vec_registry->register_object(object, vector_location, count, element_size);
}

void alloc_stats_release(const void *object, uint64_t bytes, uint64_t items, bool remove)
{
  vec_registry->release_object(object, vector_location, bytes, items, remove);
}

void alloc_stats_dump()
{
  vec_registry->dump_origin(stderr, ALLOC_ORIGIN_HEAP_VECTORS);
}

static void hash_stats_destroy();

static alloc_stats_registry *hash_registry;
static bool hash_registry_created;

// A plain flag, not a guarded static: the programs have one thread, and the
// runtime's guard would bring its exception support into them.
alloc_stats_registry *hash_stats_instance()
{
  if (!hash_registry_created) {
    hash_registry_created = true;
    hash_registry = new alloc_stats_registry();
    atexit(hash_stats_destroy);
  }
  return hash_registry;
}

static void hash_stats_destroy()
{
  delete hash_registry;
  hash_registry = nullptr;
}
