// The read side of the line table: resolving through macro expansions,
// expansion to file, line and column, ordering, system-header and includer
// tests, column moves, statistics and dumps.
#include "locations/line-map.h"

#include "support/internal-abort.h"

#include <cstring>

static location_t unwrap(const linemap_set *set, location_t location)
{
  return location_is_adhoc(location) ? adhoc_locus(set, location) : location;
}

static const macro_map *as_macro(const line_map *map)
{
  return static_cast<const macro_map *>(map);
}

static const ordinary_map *as_ordinary(const line_map *map)
{
  return map_is_macro_map(map) ? nullptr : static_cast<const ordinary_map *>(map);
}

static location_t token_slot(const linemap_set *set, const macro_map *map, location_t location,
                             uint32_t which)
{
  uint32_t i = unwrap(set, location) - map->start;
  return map->token_locations[2 * i + which];
}

bool linemap_is_macro_location(const linemap_set *set, location_t location)
{
  return unwrap(set, location) >= linemap_lowest_macro_location(set);
}

location_t macro_map_spelling_loc(const linemap_set *set, const macro_map *map,
                                  location_t location)
{
  return token_slot(set, map, location, 0);
}

const char *macro_map_name(const macro_map *map)
{
  // The identifier node begins with the pointer to its text.
  return *reinterpret_cast<const char *const *>(map->macro);
}

location_t linemap_resolve_location(linemap_set *set, location_t location, resolve_target target,
                                    const ordinary_map **map_out)
{
  if (unwrap(set, location) < RESERVED_LOCATION_COUNT) {
    if (map_out)
      *map_out = nullptr;
    return location;
  }
  const line_map *map;
  switch (target) {
  case RESOLVE_TO_EXPANSION:
    location = unwrap(set, location);
    for (map = linemap_find_map(set, location); map_is_macro_map(map);
         map = linemap_find_map(set, location))
      location = unwrap(set, as_macro(map)->expansion_point);
    break;
  case RESOLVE_TO_SPELLING:
  case RESOLVE_TO_DEFINITION:
    for (map = linemap_find_map(set, location); map_is_macro_map(map);
         map = linemap_find_map(set, location))
      location = token_slot(set, as_macro(map), location, target == RESOLVE_TO_DEFINITION);
    break;
  default:
    vuz_unreachable();
  }
  if (map_out)
    *map_out = as_ordinary(map);
  return location;
}

expanded_location linemap_expand_location(linemap_set *set, const line_map *map,
                                          location_t location)
{
  expanded_location result = {};
  if (location_is_adhoc(location)) {
    result.client_data = adhoc_data(set, location);
    location = adhoc_locus(set, location);
  }
  if (location < RESERVED_LOCATION_COUNT)
    return result;
  vuz_assert(map != nullptr);
  vuz_assert(location < linemap_lowest_macro_location(set) && !map_is_macro_map(map));
  const ordinary_map *ordinary = static_cast<const ordinary_map *>(map);
  result.file = ordinary->file_name;
  result.line = int32_t(ordinary_map_line(ordinary, location));
  result.column = int32_t(ordinary_map_column(ordinary, location));
  result.in_system_header = ordinary->in_system_header != 0;
  return result;
}

const line_map *first_common_map(linemap_set *set, location_t a, location_t b,
                                 location_t *a_out, location_t *b_out)
{
  location_t a2 = a, b2 = b;
  const line_map *map_a = linemap_find_map(set, a);
  const line_map *map_b = linemap_find_map(set, b);
  while (map_is_macro_map(map_a) && map_is_macro_map(map_b) && map_a != map_b) {
    // Step out of the expansion made later (the lower start).
    if (map_a->start < map_b->start) {
      a2 = as_macro(map_a)->expansion_point;
      map_a = linemap_find_map(set, a2);
    } else {
      b2 = as_macro(map_b)->expansion_point;
      map_b = linemap_find_map(set, b2);
    }
  }
  if (map_a != nullptr && map_a == map_b) {
    *a_out = unwrap(set, a2);
    *b_out = unwrap(set, b2);
    return map_a;
  }
  *a_out = a;
  *b_out = b;
  return nullptr;
}

int32_t linemap_compare_locations(linemap_set *set, location_t given_a, location_t given_b)
{
  location_t a = unwrap(set, given_a);
  location_t b = unwrap(set, given_b);
  if (a == b)
    return 0;
  bool a_macro = linemap_is_macro_location(set, a);
  bool b_macro = linemap_is_macro_location(set, b);
  if (a_macro)
    a = linemap_resolve_location(set, a, RESOLVE_TO_EXPANSION, nullptr);
  if (b_macro)
    b = linemap_resolve_location(set, b, RESOLVE_TO_EXPANSION, nullptr);
  if (a_macro && b_macro && a == b) {
    location_t a2, b2;
    if (first_common_map(set, given_a, given_b, &a2, &b2))
      return int32_t(b2 - a2);
    // Tokens of separate expansions on one line without columns cannot be
    // told apart; below that limit they always can.
    vuz_assert(a2 > LINE_MAP_MAX_LOCATION_WITH_COLS);
    a = unwrap(set, given_a);
    b = unwrap(set, given_b);
  }
  return int32_t(b - a);
}

bool linemap_in_system_header(linemap_set *set, location_t location)
{
  if (unwrap(set, location) < RESERVED_LOCATION_COUNT)
    return false;
  for (;;) {
    const line_map *map = linemap_find_map(set, location);
    if (map == nullptr)
      return false;
    if (!map_is_macro_map(map))
      return static_cast<const ordinary_map *>(map)->in_system_header != 0;
    location_t spelling = token_slot(set, as_macro(map), location, 0);
    location = unwrap(set, spelling) < RESERVED_LOCATION_COUNT ? as_macro(map)->expansion_point
                                                               : spelling;
  }
}

bool spelled_in_macro_definition(linemap_set *set, location_t location)
{
  if (!linemap_is_macro_location(set, location))
    return false;
  for (;;) {
    const macro_map *map = as_macro(linemap_find_map(set, location));
    location_t spelling = token_slot(set, map, location, 0);
    if (linemap_is_macro_location(set, spelling)) {
      location = spelling;
      continue;
    }
    return spelling == token_slot(set, map, location, 1);
  }
}

location_t unwind_macro_step(linemap_set *set, location_t location, const line_map **map)
{
  const macro_map *macro = as_macro(*map);
  location_t spelling = token_slot(set, macro, location, 0);
  location_t next =
      linemap_is_macro_location(set, spelling) ? spelling : macro->expansion_point;
  *map = linemap_find_map(set, next);
  return next;
}

// Whether a spelling point, with the map it resolved to, is somewhere
// diagnostics should not point at.
static bool unhelpful_spelling(const linemap_set *set, location_t spelling,
                               const ordinary_map *map)
{
  return unwrap(set, spelling) < RESERVED_LOCATION_COUNT ||
         (map != nullptr && map->in_system_header != 0);
}

location_t unwind_to_user_location(linemap_set *set, location_t location,
                                   const line_map **map_out)
{
  location = unwrap(set, location);
  const line_map *map = linemap_find_map(set, location);
  if (!map_is_macro_map(map))
    return location;
  const ordinary_map *spelling_map;
  location_t spelling =
      linemap_resolve_location(set, location, RESOLVE_TO_SPELLING, &spelling_map);
  if (!unhelpful_spelling(set, spelling, spelling_map))
    return location;
  while (map_is_macro_map(map) && unhelpful_spelling(set, spelling, spelling_map)) {
    location = unwind_macro_step(set, location, &map);
    spelling = linemap_resolve_location(set, location, RESOLVE_TO_SPELLING, &spelling_map);
  }
  if (map_out)
    *map_out = map;
  return location;
}

const ordinary_map *linemap_includer_map(linemap_set *set, const ordinary_map *map)
{
  if (set == nullptr || map == nullptr)
    return nullptr;
  location_t includer = unwrap(set, map->includer_location);
  if (includer < RESERVED_LOCATION_COUNT)
    return nullptr;
  return linemap_find_ordinary_map(set, includer);
}

// The ordinary map of the outermost expansion point of a location.
static const ordinary_map *expansion_point_map(linemap_set *set, location_t *location)
{
  if (unwrap(set, *location) < RESERVED_LOCATION_COUNT)
    return nullptr;
  const ordinary_map *map;
  *location = linemap_resolve_location(set, *location, RESOLVE_TO_EXPANSION, &map);
  return map;
}

int32_t expansion_point_line(linemap_set *set, location_t location)
{
  const ordinary_map *map = expansion_point_map(set, &location);
  return map ? int32_t(ordinary_map_line(map, location)) : 0;
}

const char *expansion_point_file(linemap_set *set, location_t location)
{
  const ordinary_map *map = expansion_point_map(set, &location);
  return map ? map->file_name : nullptr;
}

static bool same_file_name(const char *a, const char *b)
{
  return a != nullptr && b != nullptr && strcmp(a, b) == 0;
}

location_t linemap_advance_columns(linemap_set *set, location_t location, uint32_t n)
{
  location = unwrap(set, location);
  if (linemap_is_macro_location(set, location) || n == 0 ||
      location < RESERVED_LOCATION_COUNT)
    return location;
  const ordinary_map *map;
  location = linemap_resolve_location(set, location, RESOLVE_TO_SPELLING, &map);
  if (map == nullptr)
    return location;
  location_t target = location + (n << map->span_bits);
  if (map->start >= target)
    return location;
  uint32_t line = ordinary_map_line(map, location);
  uint32_t column = ordinary_map_column(map, location);
  const ordinary_map *last = linemap_last_ordinary_map(set);
  // A new column layout of the same line continues in a renamed map.
  while (map != last && target >= map[1].start) {
    const ordinary_map *next = map + 1;
    if (next->reason != LC_RENAME || next->first_line > line ||
        !same_file_name(next->file_name, map->file_name))
      return location;
    map = next;
  }
  if (uint64_t(column) + n >= (1ull << (map->line_shift - map->span_bits)))
    return location;
  location_t r = linemap_line_column_location(set, map, line, column + n);
  if (r > set->top_location || linemap_find_map(set, r) != map)
    return location;
  return r;
}

bool linemap_file_highest_location(linemap_set *set, const char *file_name,
                                   location_t *location_out)
{
  if (set == nullptr)
    return false;
  for (uint32_t i = set->ordinary_used; i-- > 0;) {
    const ordinary_map &map = set->ordinary_maps[i];
    if (!same_file_name(map.file_name, file_name))
      continue;
    *location_out =
        i + 1 == set->ordinary_used ? set->top_location : set->ordinary_maps[i + 1].start - 1;
    return true;
  }
  return false;
}

void linemap_gather_stats(const linemap_set *set, location_statistics *stats)
{
  memset(stats, 0, sizeof *stats);
  stats->ordinary_allocated = set->ordinary_allocated;
  stats->ordinary_used = set->ordinary_used;
  stats->ordinary_allocated_size = uint64_t(set->ordinary_allocated) * sizeof(ordinary_map);
  stats->ordinary_used_size = uint64_t(set->ordinary_used) * sizeof(ordinary_map);
  stats->macro_expansions = set->expanded_macros;
  stats->macro_tokens = set->produced_macro_tokens;
  stats->macro_used = set->macro_used;
  stats->macro_allocated_size = uint64_t(set->macro_allocated) * sizeof(macro_map);
  stats->macro_used_size = uint64_t(set->macro_used) * sizeof(macro_map);
  if (set->macro_maps) {
    for (uint32_t i = 0; i < set->macro_used; i++) {
      const macro_map &map = set->macro_maps[i];
      stats->token_locations_size += 2ull * map.token_count * sizeof(location_t);
      for (uint32_t t = 0; t < map.token_count; t++)
        if (map.token_locations[2 * t] == map.token_locations[2 * t + 1])
          stats->duplicated_locations_size += sizeof(location_t);
    }
  }
  stats->adhoc_table_size = uint64_t(set->adhoc_allocated) * sizeof(adhoc_entry);
  stats->adhoc_used = set->adhoc_used;
}

void linemap_check_files_left(linemap_set *set)
{
  const ordinary_map *map = linemap_last_ordinary_map(set);
  while (map != nullptr && map->includer_location != 0) {
    fprintf(stderr, "line-map: file \"%s\" entered but not left\n", map->file_name);
    map = linemap_find_ordinary_map(set, map->includer_location);
  }
}

static const char *const reason_names[] = {"LC_ENTER",           "LC_LEAVE",       "LC_RENAME",
                                           "LC_RENAME_VERBATIM", "LC_ENTER_MACRO", "LC_MODULE"};

void linemap_dump_map(FILE *stream, linemap_set *set, uint32_t index, bool macro)
{
  if (stream == nullptr)
    stream = stderr;
  if (macro) {
    const macro_map &map = set->macro_maps[index];
    fprintf(stream, "Map #%u [%p] - LOC: %u - REASON: %s - SYSP: %s\n", index,
            static_cast<const void *>(&map), map.start, "LC_ENTER_MACRO", "no");
    fprintf(stream, "Macro: %s (%u tokens)\n", macro_map_name(&map), map.token_count);
  } else {
    const ordinary_map &map = set->ordinary_maps[index];
    fprintf(stream, "Map #%u [%p] - LOC: %u - REASON: %s - SYSP: %s\n", index,
            static_cast<const void *>(&map), map.start,
            map.reason <= LC_MODULE ? reason_names[map.reason] : "???",
            map.in_system_header ? "yes" : "no");
    fprintf(stream, "File: %s:%d\n", map.file_name, int(map.first_line));
    const ordinary_map *includer = linemap_includer_map(set, &map);
    if (includer)
      fprintf(stream, "Included from: [%d] %s\n", int(includer - set->ordinary_maps),
              includer->file_name);
    else
      fprintf(stream, "Included from: [%d] %s\n", -1, "None");
  }
  fputc('\n', stream);
}

void linemap_dump_table(FILE *stream, linemap_set *set, uint32_t ordinary_count,
                        uint32_t macro_count)
{
  if (set == nullptr)
    return;
  if (stream == nullptr)
    stream = stderr;
  fprintf(stream, "# of ordinary maps:  %d\n", int(set->ordinary_used));
  fprintf(stream, "# of macro maps:     %d\n", int(set->macro_used));
  fprintf(stream, "Include stack depth: %d\n", int(set->include_depth));
  fprintf(stream, "Highest location:    %u\n", set->top_location);
  if (ordinary_count) {
    fprintf(stream, "\nOrdinary line maps\n");
    for (uint32_t i = 0; i < ordinary_count && i < set->ordinary_used; i++)
      linemap_dump_map(stream, set, i, false);
    fputc('\n', stream);
  }
  if (macro_count) {
    fprintf(stream, "\nMacro line maps\n");
    for (uint32_t i = 0; i < macro_count && i < set->macro_used; i++)
      linemap_dump_map(stream, set, i, true);
    fputc('\n', stream);
  }
}

void linemap_dump_location(linemap_set *set, location_t location, FILE *stream)
{
  location = unwrap(set, location);
  if (location == 0)
    return;
  const char *path = "";
  const char *from = "";
  int line = -1, column = -1, system = -1, was_macro = -1;
  const void *map_shown = nullptr;
  location_t resolved = location;
  if (location != BUILTINS_LOCATION) {
    const ordinary_map *map;
    resolved = linemap_resolve_location(set, location, RESOLVE_TO_DEFINITION, &map);
    if (map != nullptr) {
      location_t plain = unwrap(set, resolved);
      path = map->file_name;
      line = int(ordinary_map_line(map, plain));
      column = int(ordinary_map_column(map, plain));
      system = map->in_system_header != 0;
      map_shown = map;
      if (linemap_is_macro_location(set, location)) {
        was_macro = 1;
        from = "N/A";
      } else {
        was_macro = 0;
        const ordinary_map *includer = linemap_includer_map(set, map);
        from = includer ? includer->file_name : "<NULL>";
      }
    }
  }
  fprintf(stream, "{P:%s;F:%s;L:%d;C:%d;S:%d;M:%p;E:%d,LOC:%d,R:%d}", path, from, line, column,
          system, map_shown, was_macro, int(location), int(resolved));
}
