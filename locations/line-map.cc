// The line table: map creation, line and column allocation, range packing,
// the ad-hoc table and the map lookup that every query uses.
#include "locations/line-map.h"

#include "support/alloc.h"
#include "support/callback-hash-table.h"
#include "support/internal-abort.h"

#include <cstring>

static constexpr uint32_t initial_map_count = 128;
static constexpr uint32_t initial_adhoc_count = 128;
static constexpr uint64_t adhoc_index_size = 100;
// Beyond these a column request gives the line's own location.
static constexpr uint32_t max_column_hint = 4096;

// ---- The ad-hoc index ----

// The index stores entry numbers (offset by 2, as 0 and 1 mark empty and
// deleted slots), never addresses, so the entry array may move freely. Its
// callbacks take no context, so the table being searched is named here for
// the length of each search; the system is single-threaded.
static const linemap_set *adhoc_search_set;
// The candidate entry of a search, named by the key probe_number.
static const adhoc_entry *adhoc_search_probe;
// Set while the key is known to equal no stored entry, so that the search
// goes straight to a free slot.
static bool adhoc_search_is_new;
static constexpr uintptr_t probe_number = UINTPTR_MAX;

static void *adhoc_index_value(uint32_t index)
{
  return reinterpret_cast<void *>(uintptr_t(index) + 2);
}

static uint32_t adhoc_index_number(const void *value)
{
  return uint32_t(reinterpret_cast<uintptr_t>(value) - 2);
}

static const adhoc_entry *adhoc_index_entry(const void *value)
{
  if (reinterpret_cast<uintptr_t>(value) == probe_number)
    return adhoc_search_probe;
  return &adhoc_search_set->adhoc_entries[adhoc_index_number(value)];
}

static uint32_t adhoc_entry_hash(const void *value)
{
  const adhoc_entry *e = adhoc_index_entry(value);
  return e->base_location + e->range_start + e->range_finish +
         uint32_t(reinterpret_cast<uintptr_t>(e->client_data));
}

static int adhoc_entry_equal(const void *stored, const void *key)
{
  if (adhoc_search_is_new)
    return 0;
  const adhoc_entry *a = adhoc_index_entry(stored);
  const adhoc_entry *b = adhoc_index_entry(key);
  return a->base_location == b->base_location && a->range_start == b->range_start &&
         a->range_finish == b->range_finish && a->client_data == b->client_data;
}

static void **adhoc_index_slot(linemap_set *set, const void *key)
{
  adhoc_search_set = set;
  void **slot = callback_hash_table_find_slot(set->adhoc_index, key, INSERT);
  adhoc_search_set = nullptr;
  vuz_assert(slot != nullptr);
  return slot;
}

static callback_hash_table *adhoc_index_create()
{
  return callback_hash_table_create(adhoc_index_size, adhoc_entry_hash, adhoc_entry_equal,
                                    nullptr);
}

void adhoc_index_free(linemap_set *set)
{
  if (set->adhoc_index)
    callback_hash_table_delete(set->adhoc_index);
  set->adhoc_index = nullptr;
  set->adhoc_indexed = 0;
}

// Brings the index up to date with the entries appended since it was last
// searched. Every entry differs from all others, so none is compared.
static void adhoc_index_catch_up(linemap_set *set)
{
  if (set->adhoc_index == nullptr)
    set->adhoc_index = adhoc_index_create();
  adhoc_search_is_new = true;
  for (; set->adhoc_indexed < set->adhoc_used; set->adhoc_indexed++) {
    void *value = adhoc_index_value(set->adhoc_indexed);
    *adhoc_index_slot(set, value) = value;
  }
  adhoc_search_is_new = false;
}

// The entries are taken into the new index by the next request that needs
// it, so a table filled from elsewhere pays for no search it never makes.
void adhoc_index_rebuild(linemap_set *set)
{
  adhoc_index_free(set);
  set->adhoc_index = adhoc_index_create();
  set->adhoc_highest_locus = 0;
  for (uint32_t i = 0; i < set->adhoc_used; i++)
    if (set->adhoc_entries[i].base_location > set->adhoc_highest_locus)
      set->adhoc_highest_locus = set->adhoc_entries[i].base_location;
}

// ---- Creation ----

static void *default_grow(void *block, uint64_t size)
{
  return checked_realloc(block, size);
}

void linemap_set_init(linemap_set *set, location_t builtin_value)
{
  memset(set, 0, sizeof *set);
  set->grow_fn = default_grow;
  set->top_location = 1;
  set->line_start_location = 1;
  set->adhoc_index = adhoc_index_create();
  set->builtin_value = builtin_value;
}

// Makes room for `request` more maps in an array of `element_size`-byte maps.
// The room is zeroed as maps are handed out, not here: the array doubles, and
// memory never written need never be resident.
static void *grow_map_array(linemap_set *set, void *array, uint32_t *allocated, uint32_t used,
                            uint32_t request, uint64_t element_size)
{
  uint64_t needed = uint64_t(used) + request;
  if (needed <= *allocated)
    return array;
  uint64_t base = *allocated ? *allocated : initial_map_count;
  uint64_t count = 2 * (base > needed ? base : needed);
  uint64_t bytes = count * element_size;
  if (set->size_round_fn)
    bytes = set->size_round_fn(bytes);
  count = bytes / element_size;
  vuz_assert(count >= needed && count <= UINT32_MAX);
  void *grown = set->grow_fn(array, count * element_size);
  *allocated = uint32_t(count);
  return grown;
}

line_map *linemap_new_maps(linemap_set *set, bool macro, uint32_t count)
{
  if (macro) {
    set->macro_maps = static_cast<macro_map *>(grow_map_array(
        set, set->macro_maps, &set->macro_allocated, set->macro_used, count, sizeof(macro_map)));
    macro_map *first = &set->macro_maps[set->macro_used];
    memset(first, 0, count * sizeof(macro_map));
    set->macro_used += count;
    return first;
  }
  set->ordinary_maps = static_cast<ordinary_map *>(
      grow_map_array(set, set->ordinary_maps, &set->ordinary_allocated, set->ordinary_used, count,
                     sizeof(ordinary_map)));
  ordinary_map *first = &set->ordinary_maps[set->ordinary_used];
  memset(first, 0, count * sizeof(ordinary_map));
  set->ordinary_used += count;
  return first;
}

uint32_t ordinary_map_line(const ordinary_map *map, location_t location)
{
  return ((location - map->start) >> map->line_shift) + map->first_line;
}

uint32_t ordinary_map_column(const ordinary_map *map, location_t location)
{
  return ((location - map->start) & ((1u << map->line_shift) - 1)) >> map->span_bits;
}

static void set_map_bits(ordinary_map *map, uint32_t line_shift, uint32_t span_bits)
{
  map->line_shift = uint8_t(line_shift);
  map->span_bits = uint8_t(span_bits);
}

// Location space is used up: from here on lines and columns give 0.
static location_t locations_exhausted(linemap_set *set)
{
  set->top_location = LINE_MAP_MAX_LOCATION - 1;
  set->line_start_location = LINE_MAP_MAX_LOCATION - 1;
  set->column_limit = 1;
  return 0;
}

const ordinary_map *linemap_add_ordinary_map(linemap_set *set, line_map_reason reason,
                                             unsigned system_header, const char *file_name,
                                             uint32_t line)
{
  uint64_t granularity =
      set->top_location + 1 < LINE_MAP_MAX_LOCATION_WITH_COLS ? 1ull << set->packed_range_bits : 1;

  // Leaving the main file.
  if (reason == LC_LEAVE && file_name == nullptr &&
      (set->ordinary_used == 0 || linemap_last_ordinary_map(set)->includer_location == 0)) {
    set->include_depth--;
    return nullptr;
  }

  uint64_t start = (uint64_t(set->top_location) + 1 + granularity - 1) / granularity * granularity;
  if (start >= LINE_MAP_MAX_LOCATION) {
    // No map at all rather than one whose locations would alias the reserved
    // ones and the first file's.
    locations_exhausted(set);
    return nullptr;
  }

  uint32_t index = set->ordinary_used;
  ordinary_map *map = static_cast<ordinary_map *>(linemap_new_maps(set, false, 1));
  map->start = location_t(start);
  map->reason = reason;
  set_map_bits(map, 0, 0);

  if (file_name != nullptr && file_name[0] == '\0' && reason != LC_RENAME_VERBATIM)
    file_name = "<stdin>";
  if (reason == LC_RENAME_VERBATIM)
    reason = LC_RENAME;

  const ordinary_map *previous = index ? &set->ordinary_maps[index - 1] : nullptr;
  const ordinary_map *includer = nullptr;
  if (reason == LC_LEAVE) {
    location_t from = previous ? previous->includer_location : 0;
    if (location_is_adhoc(from))
      from = adhoc_locus(set, from);
    if (from >= RESERVED_LOCATION_COUNT)
      includer = linemap_find_ordinary_map(set, from);
    if (file_name == nullptr) {
      vuz_assert(includer != nullptr);
      // Continue on the line after the point of inclusion.
      const ordinary_map *after = includer + 1;
      file_name = includer->file_name;
      system_header = includer->in_system_header;
      line = ordinary_map_line(includer, after->start);
    }
  }

  map->in_system_header = uint8_t(system_header);
  map->file_name = file_name;
  map->first_line = line;
  set->ordinary_cache = index;
  set->top_location = map->start;
  set->line_start_location = map->start;
  set->column_limit = 0;

  switch (reason) {
  case LC_RENAME:
    map->includer_location = previous ? previous->includer_location : 0;
    break;
  case LC_ENTER:
    if (set->include_depth == 0 || previous == nullptr) {
      map->includer_location = 0;
    } else {
      location_t before = map->start - 1 - previous->start;
      map->includer_location =
          previous->start + ((before >> previous->line_shift) << previous->line_shift);
    }
    if (set->print_entered_files && file_name != nullptr) {
      for (uint32_t i = 0; i < set->include_depth; i++)
        putc('.', stderr);
      fprintf(stderr, " %s\n", file_name);
    }
    set->include_depth++;
    break;
  case LC_LEAVE:
    set->include_depth--;
    map->includer_location = includer ? includer->includer_location : 0;
    break;
  default:
    map->includer_location = 0;
    break;
  }
  return map;
}

location_t linemap_add_module_map(linemap_set *set, location_t includer, const char *name)
{
  const ordinary_map *map = linemap_add_ordinary_map(set, LC_MODULE, 0, name, 0);
  if (map == nullptr)
    return 0;
  const_cast<ordinary_map *>(map)->includer_location = includer;
  return linemap_start_line(set, 0, 0);
}

location_t linemap_start_line(linemap_set *set, uint32_t line, uint32_t column_hint)
{
  ordinary_map *map = &set->ordinary_maps[set->ordinary_used - 1];
  uint32_t last_line = ordinary_map_line(map, set->line_start_location);
  int64_t delta = int64_t(line) - int64_t(last_line);
  uint32_t column_bits = map->line_shift - map->span_bits;
  location_t top = set->top_location;

  bool new_layout =
      delta < 0 || (delta > 10 && delta * map->line_shift > 1000) ||
      uint64_t(column_hint) >= (1ull << column_bits) || (column_hint <= 80 && column_bits >= 10) ||
      (top > LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES && map->span_bits != 0) ||
      (top > LINE_MAP_MAX_LOCATION_WITH_COLS &&
       (set->column_limit != 0 || top >= LINE_MAP_MAX_LOCATION));

  uint64_t result;
  uint32_t column_limit = set->column_limit;
  if (!new_layout) {
    result = uint64_t(set->line_start_location) + (uint64_t(delta) << map->line_shift);
  } else {
    uint32_t range_bits;
    if (column_hint > max_column_hint || top > LINE_MAP_MAX_LOCATION_WITH_COLS) {
      if (top > LINE_MAP_MAX_LOCATION - 1)
        return locations_exhausted(set);
      column_bits = 0;
      range_bits = 0;
      column_limit = 1;
    } else {
      range_bits = top > LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES ? 0 : set->packed_range_bits;
      column_bits = 7;
      while ((1u << column_bits) <= column_hint)
        column_bits++;
      column_limit = 1u << column_bits;
    }
    uint32_t line_shift = column_bits + range_bits;
    bool reuse = delta >= 0 && last_line == map->first_line &&
                 ordinary_map_column(map, top) < (1u << column_bits) &&
                 (uint64_t(line) - map->first_line) < (1ull << (32 - line_shift)) &&
                 range_bits >= map->span_bits;
    if (!reuse) {
      const ordinary_map *added = linemap_add_ordinary_map(
          set, LC_RENAME, map->in_system_header, map->file_name, line);
      if (added == nullptr)
        return locations_exhausted(set);
      map = const_cast<ordinary_map *>(added);
    }
    set_map_bits(map, line_shift, range_bits);
    result = map->start + ((uint64_t(line) - map->first_line) << line_shift);
  }

  if (result >= LINE_MAP_MAX_LOCATION)
    return locations_exhausted(set);
  set->line_start_location = location_t(result);
  if (result > set->top_location)
    set->top_location = location_t(result);
  set->column_limit = column_limit;
  return location_t(result);
}

location_t linemap_restart_for_column(linemap_set *set, uint32_t column)
{
  const ordinary_map *map = linemap_last_ordinary_map(set);
  if (set->line_start_location > LINE_MAP_MAX_LOCATION_WITH_COLS || column > max_column_hint)
    return set->line_start_location;
  uint32_t line = ordinary_map_line(map, set->line_start_location);
  location_t result = linemap_start_line(set, line, column + 50);
  map = linemap_last_ordinary_map(set);
  // Nothing to add to a line without columns or to exhausted locations.
  if (map->line_shift == 0 || result == 0)
    return result;
  result += column << map->span_bits;
  if (result > set->top_location)
    set->top_location = result;
  return result;
}

location_t linemap_line_column_location(linemap_set *set, const ordinary_map *map,
                                        uint32_t line, uint32_t column)
{
  location_t r = map->start + ((line - map->first_line) << map->line_shift);
  // A column the layout cannot hold stays on its line: the line's location.
  if (r <= LINE_MAP_MAX_LOCATION_WITH_COLS &&
      uint64_t(column) < (1ull << (map->line_shift - map->span_bits)))
    r += column << map->span_bits;
  location_t lowest = linemap_lowest_macro_location(set);
  if (r >= lowest)
    r = lowest - 1;
  if (r > set->top_location)
    set->top_location = r;
  return r;
}

macro_map *linemap_add_macro_map(linemap_set *set, const ident_node *macro,
                                 location_t expansion_point, uint32_t token_count)
{
  int64_t start = int64_t(linemap_lowest_macro_location(set)) - token_count;
  if (start < int64_t(LINE_MAP_MAX_LOCATION))
    return nullptr;
  uint32_t index = set->macro_used;
  macro_map *map = static_cast<macro_map *>(linemap_new_maps(set, true, 1));
  map->start = location_t(start);
  map->macro = macro;
  map->token_count = token_count;
  map->expansion_point = expansion_point;
  uint64_t bytes = 2ull * token_count * sizeof(location_t);
  map->token_locations = static_cast<location_t *>(set->grow_fn(nullptr, bytes));
  memset(map->token_locations, 0, bytes);
  set->macro_cache = index;
  return map;
}

void linemap_set_includer(linemap_set *set, location_t location, location_t includer)
{
  const ordinary_map *map = linemap_find_ordinary_map(set, location);
  if (map)
    const_cast<ordinary_map *>(map)->includer_location = includer;
}

location_t linemap_resume_file(linemap_set *set, uint32_t map_count)
{
  vuz_assert(map_count >= 1 && map_count <= set->ordinary_used);
  uint32_t from = map_count - 1;
  // The last location of that map: the next map's start less one, or the top.
  location_t last = map_count < set->ordinary_used ? set->ordinary_maps[map_count].start - 1
                                                   : set->top_location;
  const ordinary_map &resumed = set->ordinary_maps[from];
  uint32_t line = ordinary_map_line(&resumed, last);
  const char *file_name = resumed.file_name;
  unsigned system_header = resumed.in_system_header;
  location_t includer = resumed.includer_location;
  const ordinary_map *map =
      linemap_add_ordinary_map(set, LC_RENAME_VERBATIM, system_header, file_name, line);
  if (map == nullptr)
    return 0;
  const_cast<ordinary_map *>(map)->includer_location = includer;
  return map->start;
}

bool linemap_tracks_macros(const linemap_set *set)
{
  return set->macro_maps != nullptr;
}

// ---- Ranges and the ad-hoc table ----

location_t adhoc_locus(const linemap_set *set, location_t location)
{
  return set->adhoc_entries[location & ~ADHOC_LOCATION_BIT].base_location;
}

void *adhoc_data(const linemap_set *set, location_t location)
{
  return set->adhoc_entries[location & ~ADHOC_LOCATION_BIT].client_data;
}

static location_t adhoc_append(linemap_set *set, const adhoc_entry &entry)
{
  if (set->adhoc_used == set->adhoc_allocated) {
    uint32_t count = set->adhoc_allocated ? 2 * set->adhoc_allocated : initial_adhoc_count;
    vuz_assert(count <= ADHOC_LOCATION_BIT);
    void *(*grow)(void *, uint64_t) = set->grow_fn ? set->grow_fn : default_grow;
    set->adhoc_entries =
        static_cast<adhoc_entry *>(grow(set->adhoc_entries, uint64_t(count) * sizeof(adhoc_entry)));
    set->adhoc_allocated = count;
  }
  set->adhoc_entries[set->adhoc_used] = entry;
  if (entry.base_location > set->adhoc_highest_locus)
    set->adhoc_highest_locus = entry.base_location;
  return ADHOC_LOCATION_BIT | set->adhoc_used++;
}

static location_t adhoc_add(linemap_set *set, const adhoc_entry &candidate)
{
  // Nothing stored can equal an entry whose base location is above them all.
  if (set->adhoc_used == 0 || candidate.base_location > set->adhoc_highest_locus)
    return adhoc_append(set, candidate);
  adhoc_index_catch_up(set);
  adhoc_search_probe = &candidate;
  void **slot = adhoc_index_slot(set, reinterpret_cast<void *>(probe_number));
  adhoc_search_probe = nullptr;
  if (*slot != nullptr)
    return ADHOC_LOCATION_BIT | adhoc_index_number(*slot);
  location_t result = adhoc_append(set, candidate);
  *slot = adhoc_index_value(set->adhoc_indexed++);
  return result;
}

location_t linemap_combine_location_general(linemap_set *set, location_t locus,
                                            location_span span, void *data)
{
  if (location_is_adhoc(locus))
    locus = adhoc_locus(set, locus);
  if (data == nullptr && locus == 0)
    return 0;

  if (locus < LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES && data == nullptr &&
      locus == span.start && span.start >= RESERVED_LOCATION_COUNT &&
      span.finish >= span.start && span.finish < linemap_lowest_macro_location(set)) {
    const ordinary_map *map = linemap_find_ordinary_map(set, span.start);
    uint32_t range_bits = map ? map->span_bits : 0;
    uint32_t offset = (span.finish - span.start) >> range_bits;
    if (map && offset < (1u << range_bits)) {
      set->packed_range_count++;
      return span.start | offset;
    }
  }

  if (span.start == locus && span.finish == locus && data == nullptr)
    return locus;

  if (data == nullptr)
    set->adhoc_range_count++;
  return adhoc_add(set, {locus, span.start, span.finish, data});
}

location_span linemap_location_range(linemap_set *set, location_t location)
{
  if (location_is_adhoc(location)) {
    const adhoc_entry &e = set->adhoc_entries[location & ~ADHOC_LOCATION_BIT];
    return {e.range_start, e.range_finish};
  }
  if (location < RESERVED_LOCATION_COUNT ||
      location > LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES ||
      location >= linemap_lowest_macro_location(set))
    return {location, location};
  const ordinary_map *map = linemap_find_ordinary_map(set, location);
  if (map == nullptr)
    return {location, location};
  uint32_t range_bits = map->span_bits;
  uint32_t offset = location & ((1u << range_bits) - 1);
  location_t start = location & ~((1u << range_bits) - 1);
  return {start, start + (offset << range_bits)};
}

bool linemap_is_pure_location(linemap_set *set, location_t location)
{
  if (location_is_adhoc(location))
    return false;
  const line_map *map = linemap_find_map(set, location);
  if (map == nullptr || map_is_macro_map(map))
    return true;
  const ordinary_map *ordinary = static_cast<const ordinary_map *>(map);
  return (location & ((1u << ordinary->span_bits) - 1)) == 0;
}

location_t linemap_strip_range(linemap_set *set, location_t location)
{
  if (location_is_adhoc(location))
    location = adhoc_locus(set, location);
  if (location < RESERVED_LOCATION_COUNT || location >= linemap_lowest_macro_location(set))
    return location;
  const ordinary_map *map = linemap_find_ordinary_map(set, location);
  if (map == nullptr)
    return location;
  return location & ~((1u << map->span_bits) - 1);
}

// ---- Map lookup ----

location_t linemap_lowest_macro_location(const linemap_set *set)
{
  if (set->macro_used == 0)
    return ADHOC_LOCATION_BIT;
  return set->macro_maps[set->macro_used - 1].start;
}

static const ordinary_map *find_ordinary(linemap_set *set, location_t location)
{
  if (location < RESERVED_LOCATION_COUNT || set->ordinary_used == 0)
    return nullptr;
  const ordinary_map *maps = set->ordinary_maps;
  uint32_t used = set->ordinary_used;
  uint32_t c = set->ordinary_cache < used ? set->ordinary_cache : used - 1;
  if (location >= maps[c].start && (c + 1 == used || location < maps[c + 1].start))
    return &maps[c];
  uint32_t low, high;
  if (location >= maps[c].start) {
    low = c;
    high = used;
  } else {
    low = 0;
    high = c;
  }
  while (high - low > 1) {
    uint32_t middle = (low + high) / 2;
    if (maps[middle].start > location)
      high = middle;
    else
      low = middle;
  }
  set->ordinary_cache = low;
  return &maps[low];
}

uint32_t linemap_find_macro_index(linemap_set *set, location_t location)
{
  const macro_map *maps = set->macro_maps;
  uint32_t c = set->macro_cache < set->macro_used ? set->macro_cache : 0;
  if (location >= maps[c].start && location - maps[c].start < maps[c].token_count)
    return c;
  // Macro maps are in decreasing order of start.
  uint32_t low, high;
  if (location >= maps[c].start) {
    low = 0;
    high = c;
  } else {
    low = c;
    high = set->macro_used - 1;
  }
  while (low < high) {
    uint32_t middle = (low + high) / 2;
    if (maps[middle].start > location)
      low = middle + 1;
    else
      high = middle;
  }
  set->macro_cache = low;
  return low;
}

const line_map *linemap_find_map(linemap_set *set, location_t location)
{
  if (location_is_adhoc(location))
    location = adhoc_locus(set, location);
  if (location < linemap_lowest_macro_location(set))
    return find_ordinary(set, location);
  return &set->macro_maps[linemap_find_macro_index(set, location)];
}

const ordinary_map *linemap_find_ordinary_map(linemap_set *set, location_t location)
{
  const line_map *map = linemap_find_map(set, location);
  if (map_is_macro_map(map))
    return nullptr;
  return static_cast<const ordinary_map *>(map);
}
