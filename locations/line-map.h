// Source locations: the 32-bit location value, the line table that gives it
// meaning (ordinary maps for file text, macro maps for expansions, ad-hoc
// entries for ranges and client data), and the queries that read it back.
#ifndef VUZ_LOCATIONS_LINE_MAP_H
#define VUZ_LOCATIONS_LINE_MAP_H

#include "support/internal-abort.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct callback_hash_table;
struct ident_node;

typedef uint32_t location_t;

// Reserved locations.
constexpr location_t UNKNOWN_LOCATION = 0;
constexpr location_t BUILTINS_LOCATION = 1;
constexpr location_t RESERVED_LOCATION_COUNT = 2;

// Ordinary locations get packed ranges up to here ...
constexpr location_t LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES = 0x50000000;
// ... columns up to here ...
constexpr location_t LINE_MAP_MAX_LOCATION_WITH_COLS = 0x60000000;
// ... and end below here; macro locations fill the rest down from the top.
constexpr location_t LINE_MAP_MAX_LOCATION = 0x70000000;
constexpr location_t MAX_LOCATION_T = 0x7fffffff;
// Ad-hoc locations: the low 31 bits index the ad-hoc entries.
constexpr location_t ADHOC_LOCATION_BIT = 0x80000000;

enum line_map_reason : uint8_t {
  LC_ENTER = 0,
  LC_LEAVE = 1,
  LC_RENAME = 2,
  LC_RENAME_VERBATIM = 3,
  LC_ENTER_MACRO = 4,
  LC_MODULE = 5,
};

// What every map starts with; a start at or above LINE_MAP_MAX_LOCATION marks
// a macro map.
struct line_map {
  location_t start;
};

struct ordinary_map : line_map {
  uint8_t reason;           // a line_map_reason
  uint8_t in_system_header; // non-zero for a system header
  uint8_t line_shift;       // low bits of (location - start) for column and range
  uint8_t span_bits;        // of those, the bits of the range offset
  const char *file_name;    // not owned
  uint32_t first_line;
  location_t includer_location;
};

struct macro_map : line_map {
  uint32_t token_count;
  const ident_node *macro; // its first field points to the macro's name
  // Two slots per token: spelling location, then location in the definition.
  location_t *token_locations;
  location_t expansion_point;
};

struct adhoc_entry {
  location_t base_location;
  location_t range_start;
  location_t range_finish;
  void *client_data;
};

struct location_span {
  location_t start;
  location_t finish;
};

struct linemap_set {
  ordinary_map *ordinary_maps;
  uint32_t ordinary_allocated;
  uint32_t ordinary_used;
  uint32_t ordinary_cache;

  macro_map *macro_maps;
  uint32_t macro_allocated;
  uint32_t macro_used;
  uint32_t macro_cache;

  // Kept by the macro expander, for the statistics.
  uint64_t expanded_macros;
  uint64_t produced_macro_tokens;

  uint32_t include_depth;
  bool print_entered_files;
  location_t top_location;
  location_t line_start_location;
  uint32_t column_limit;

  void *(*grow_fn)(void *block, uint64_t size);
  uint64_t (*size_round_fn)(uint64_t size);

  // The index holds entry numbers, so the entries may move when they grow.
  callback_hash_table *adhoc_index;
  uint32_t adhoc_used;
  uint32_t adhoc_allocated;
  adhoc_entry *adhoc_entries;

  location_t builtin_value;
  uint32_t packed_range_bits;
  uint32_t packed_range_count;
  uint32_t adhoc_range_count;
  // A #line or linemarker was read: file lines may no longer be where the
  // maps say, so source text is not re-read at them.
  bool seen_line_directive;
  // No ad-hoc entry has a larger base location, so a request above it is
  // new: it is appended without a search, as the ranges of tokens read in
  // order are.
  location_t adhoc_highest_locus;
  // Entries from here to adhoc_used were appended that way and are not in
  // the index yet; it takes them in when a request might repeat one.
  uint32_t adhoc_indexed;
};

// Stores token I's spelling and definition locations; its virtual location.
// Inline: the macro expander calls it for every token it makes.
inline location_t macro_map_set_token(macro_map *map, uint32_t i, location_t spelling,
                                      location_t definition)
{
  vuz_assert(i < map->token_count);
  map->token_locations[2 * i] = spelling;
  map->token_locations[2 * i + 1] = definition;
  return map->start + i;
}

// Creation and the ad-hoc table.
void linemap_set_init(linemap_set *set, location_t builtin_value);
void adhoc_index_free(linemap_set *set);
void adhoc_index_rebuild(linemap_set *set);
const ordinary_map *linemap_add_ordinary_map(linemap_set *set, line_map_reason reason,
                                             unsigned system_header, const char *file_name,
                                             uint32_t line);
location_t linemap_add_module_map(linemap_set *set, location_t includer, const char *name);
location_t linemap_start_line(linemap_set *set, uint32_t line, uint32_t column_hint);
location_t linemap_restart_for_column(linemap_set *set, uint32_t column);
// Inline, as the lexer asks for two of these per token; a column the
// current line's layout cannot hold goes the slow way.
inline location_t linemap_column_location(linemap_set *set, uint32_t column)
{
  if (column >= set->column_limit)
    return linemap_restart_for_column(set, column);
  location_t result = set->line_start_location +
                      (column << set->ordinary_maps[set->ordinary_used - 1].span_bits);
  if (result > set->top_location)
    set->top_location = result;
  return result;
}
location_t linemap_line_column_location(linemap_set *set, const ordinary_map *map,
                                        uint32_t line, uint32_t column);
macro_map *linemap_add_macro_map(linemap_set *set, const ident_node *macro,
                                 location_t expansion_point, uint32_t token_count);
line_map *linemap_new_maps(linemap_set *set, bool macro, uint32_t count);
void linemap_set_includer(linemap_set *set, location_t location, location_t includer);
location_t linemap_resume_file(linemap_set *set, uint32_t map_count);
bool linemap_tracks_macros(const linemap_set *set);

// Ranges and client data carried by a location.
location_t linemap_combine_location_general(linemap_set *set, location_t locus,
                                            location_span span, void *data);
// Inline, as the lexer widens every token: a range on one line of the
// newest map is packed here; anything else goes the general way.
inline location_t linemap_combine_location(linemap_set *set, location_t locus, location_span span,
                                           void *data)
{
  const ordinary_map *map = set->ordinary_used ? &set->ordinary_maps[set->ordinary_used - 1]
                                               : nullptr;
  location_t lowest = set->macro_used ? set->macro_maps[set->macro_used - 1].start
                                      : ADHOC_LOCATION_BIT;
  if (data == nullptr && map && locus == span.start && locus >= map->start &&
      locus >= RESERVED_LOCATION_COUNT && locus < LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES &&
      span.finish >= span.start && span.finish < lowest) {
    uint32_t offset = (span.finish - span.start) >> map->span_bits;
    if (offset < (1u << map->span_bits)) {
      set->packed_range_count++;
      return span.start | offset;
    }
  }
  return linemap_combine_location_general(set, locus, span, data);
}
inline bool location_is_adhoc(location_t location)
{
  return (location & ADHOC_LOCATION_BIT) != 0;
}
location_t adhoc_locus(const linemap_set *set, location_t location);
void *adhoc_data(const linemap_set *set, location_t location);
location_span linemap_location_range(linemap_set *set, location_t location);
bool linemap_is_pure_location(linemap_set *set, location_t location);
location_t linemap_strip_range(linemap_set *set, location_t location);

// Map lookup.
location_t linemap_lowest_macro_location(const linemap_set *set);
const line_map *linemap_find_map(linemap_set *set, location_t location);
const ordinary_map *linemap_find_ordinary_map(linemap_set *set, location_t location);
uint32_t linemap_find_macro_index(linemap_set *set, location_t location);
inline const ordinary_map *linemap_last_ordinary_map(const linemap_set *set)
{
  return set->ordinary_used ? &set->ordinary_maps[set->ordinary_used - 1] : nullptr;
}
// Line and column of a location inside its ordinary map.
uint32_t ordinary_map_line(const ordinary_map *map, location_t location);
uint32_t ordinary_map_column(const ordinary_map *map, location_t location);

// ---- Queries ----

struct expanded_location {
  const char *file;
  int32_t line;
  int32_t column;
  void *client_data;
  bool in_system_header;
};

enum resolve_target {
  RESOLVE_TO_EXPANSION = 0,
  RESOLVE_TO_SPELLING = 1,
  RESOLVE_TO_DEFINITION = 2,
};

struct location_statistics {
  uint64_t ordinary_allocated;
  uint64_t ordinary_used;
  uint64_t ordinary_allocated_size;
  uint64_t ordinary_used_size;
  uint64_t macro_expansions;       // kept by the macro expander, not the table
  uint64_t macro_tokens;           // likewise
  uint64_t macro_used;
  uint64_t macro_allocated_size;
  uint64_t macro_used_size;
  uint64_t token_locations_size;
  uint64_t duplicated_locations_size;
  uint64_t adhoc_table_size;
  uint64_t adhoc_used;
};

inline bool map_is_macro_map(const line_map *map)
{
  return map != nullptr && map->start >= LINE_MAP_MAX_LOCATION;
}

location_t linemap_resolve_location(linemap_set *set, location_t location, resolve_target target,
                                    const ordinary_map **map_out);
expanded_location linemap_expand_location(linemap_set *set, const line_map *map,
                                          location_t location);
int32_t linemap_compare_locations(linemap_set *set, location_t a, location_t b);
bool linemap_in_system_header(linemap_set *set, location_t location);
bool spelled_in_macro_definition(linemap_set *set, location_t location);
location_t unwind_to_user_location(linemap_set *set, location_t location,
                                   const line_map **map_out);
location_t unwind_macro_step(linemap_set *set, location_t location, const line_map **map);
const line_map *first_common_map(linemap_set *set, location_t a, location_t b,
                                 location_t *a_out, location_t *b_out);
const ordinary_map *linemap_includer_map(linemap_set *set, const ordinary_map *map);
bool linemap_is_macro_location(const linemap_set *set, location_t location);
location_t macro_map_spelling_loc(const linemap_set *set, const macro_map *map,
                                  location_t location);
const char *macro_map_name(const macro_map *map);
int32_t expansion_point_line(linemap_set *set, location_t location);
const char *expansion_point_file(linemap_set *set, location_t location);
location_t linemap_advance_columns(linemap_set *set, location_t location, uint32_t n);
bool linemap_file_highest_location(linemap_set *set, const char *file_name,
                                   location_t *location_out);
void linemap_gather_stats(const linemap_set *set, location_statistics *stats);
void linemap_check_files_left(linemap_set *set);
void linemap_dump_map(FILE *stream, linemap_set *set, uint32_t index, bool macro);
void linemap_dump_table(FILE *stream, linemap_set *set, uint32_t ordinary_count,
                        uint32_t macro_count);
void linemap_dump_location(linemap_set *set, location_t location, FILE *stream);

// Which point of a location's range an expansion reports.
enum location_aspect : int {
  LOCATION_ASPECT_CARET = 0,
  LOCATION_ASPECT_START = 1,
  LOCATION_ASPECT_FINISH = 2,
};

// client_expand_to_spelling_point, which the location record calls, is
// supplied by the program (support/program-supplied.h).

#endif
