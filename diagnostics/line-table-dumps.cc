// Debugging dumps of the program's line table: allocation statistics, and
// every interval of locations with the source lines that ordinary maps cover.
#include "diagnostics/diagnostic.h"
#include "diagnostics/internal.h"

#include <cstdio>
#include <cstring>

// Amounts print as they are below 10k, in kilobytes below 10M, else in
// megabytes.
static void print_amount(const char *label, uint64_t amount)
{
  char unit = ' ';
  if (amount >= 10485760) {
    amount >>= 20;
    unit = 'M';
  } else if (amount >= 10240) {
    amount >>= 10;
    unit = 'k';
  }
  fprintf(stderr, "%s%5lu%c\n", label, static_cast<unsigned long>(amount), unit);
}

void line_table_statistics_dump()
{
  location_statistics s;
  linemap_gather_stats(line_table, &s);
  fprintf(stderr, "Number of expanded macros:                     %5ld\n",
          static_cast<long>(s.macro_expansions));
  if (s.macro_expansions != 0)
    fprintf(stderr, "Average number of tokens per macro expansion:  %5ld\n",
            static_cast<long>(s.macro_tokens / s.macro_expansions));
  fprintf(stderr, "\nLine Table allocations during the compilation process\n");
  uint64_t macro_maps_size = s.macro_used_size + s.token_locations_size;
  struct figure {
    const char *label;
    uint64_t amount;
  } figures[] = {
      {"Number of ordinary maps used:        ", s.ordinary_used},
      {"Ordinary map used size:              ", s.ordinary_used_size},
      {"Number of ordinary maps allocated:   ", s.ordinary_allocated},
      {"Ordinary maps allocated size:        ", s.ordinary_allocated_size},
      {"Number of macro maps used:           ", s.macro_used},
      {"Macro maps used size:                ", s.macro_used_size},
      {"Macro maps locations size:           ", s.token_locations_size},
      {"Macro maps size:                     ", macro_maps_size},
      {"Duplicated maps locations size:      ", s.duplicated_locations_size},
      {"Total allocated maps size:           ",
       s.ordinary_allocated_size + s.macro_allocated_size + s.token_locations_size},
      {"Total used maps size:                ",
       s.ordinary_used_size + s.macro_used_size + s.token_locations_size},
      {"Ad-hoc table size:                   ", s.adhoc_table_size},
      {"Ad-hoc table entries used:           ", s.adhoc_used},
      {"optimized_ranges:                    ", line_table->packed_range_count},
      {"unoptimized_ranges:                  ", line_table->adhoc_range_count},
  };
  for (const figure &f : figures)
    print_amount(f.label, f.amount);
  fprintf(stderr, "\n");
}

static void dump_location_range(FILE *stream, location_t start, location_t end)
{
  fprintf(stream, "  location_t interval: %u <= loc < %u\n", start, end);
}

static const char *reason_name(uint8_t reason)
{
  static const char *const names[] = {"LC_ENTER", "LC_LEAVE", "LC_RENAME", "LC_RENAME_VERBATIM",
                                      "LC_RENAME_MACRO"};
  return reason <= 4 ? names[reason] : "Unknown";
}

// One row of a ruler under a source line: a digit of the location of each
// following column.
static void write_digit_row(FILE *stream, int indent, const ordinary_map *map, location_t loc,
                            uint32_t max_column, uint32_t divisor)
{
  fprintf(stream, "%*c|", indent, ' ');
  for (uint32_t column = 1; column < max_column; column++) {
    uint64_t column_location = uint64_t(loc) + (uint64_t(column) << map->span_bits);
    fputc(int('0' + (column_location / divisor) % 10), stream);
  }
  fputc('\n', stream);
}

static void dump_map_lines(FILE *stream, const ordinary_map *map, location_t end)
{
  uint64_t step = uint64_t(1) << map->span_bits;
  for (uint64_t loc = map->start; loc < end; loc += step) {
    if (ordinary_map_column(map, location_t(loc)) != 0)
      continue;
    int32_t line = int32_t(ordinary_map_line(map, location_t(loc)));
    uint64_t length;
    const char *text = source_line_of(map->file_name, line, &length);
    if (!text)
      break;
    fprintf(stream, "%s:%3i|loc:%5i|%.*s\n", map->file_name, line, int(loc), int(length), text);
    uint64_t max_column = (uint64_t(1) << (map->line_shift - map->span_bits)) - 1;
    if (max_column > length)
      max_column = length + 1;
    int line_width = num_digits(line) < 3 ? 3 : num_digits(line);
    int loc_width = num_digits(int(loc)) < 5 ? 5 : num_digits(int(loc));
    int indent = 6 + int(strlen(map->file_name)) + line_width + loc_width;
    for (uint32_t divisor : {1000u, 100u, 10u, 1u})
      if (end > divisor - 1 || divisor <= 10)
        write_digit_row(stream, indent, map, location_t(loc), uint32_t(max_column), divisor);
  }
}

static void dump_ordinary_map(FILE *stream, uint32_t index)
{
  const ordinary_map *map = &line_table->ordinary_maps[index];
  bool last = index + 1 == line_table->ordinary_used;
  location_t end = last ? line_table->top_location + 1 : line_table->ordinary_maps[index + 1].start;
  fprintf(stream, "ORDINARY MAP: %i\n", int(index));
  dump_location_range(stream, map->start, end);
  fprintf(stream, "  file: %s\n", map->file_name);
  fprintf(stream, "  starting at line: %i\n", int(map->first_line));
  fprintf(stream, "  column and range bits: %i\n", int(map->line_shift));
  fprintf(stream, "  column bits: %i\n", int(map->line_shift - map->span_bits));
  fprintf(stream, "  range bits: %i\n", int(map->span_bits));
  fprintf(stream, "  reason: %d (%s)\n", int(map->reason), reason_name(map->reason));
  fprintf(stream, "  included from location: %d", int(map->includer_location));
  if (const ordinary_map *includer = linemap_includer_map(line_table, map))
    fprintf(stream, " (in ordinary map %d)", int(includer - line_table->ordinary_maps));
  fputc('\n', stream);
  dump_map_lines(stream, map, end);
  fputc('\n', stream);
}

static void dump_macro_map(FILE *stream, uint32_t index)
{
  const macro_map *map = &line_table->macro_maps[index];
  fprintf(stream, "MACRO %i: %s (%u tokens)\n", int(index), macro_map_name(map), map->token_count);
  dump_location_range(stream, map->start, map->start + map->token_count);
  inform_loc(map->expansion_point, "expansion point is location %i", int(map->expansion_point));
  fprintf(stream, "  map->start_location: %u\n", map->start);
  fprintf(stream, "  macro_locations:\n");
  for (uint32_t i = 0; i < map->token_count; i++) {
    location_t x = map->token_locations[2 * i], y = map->token_locations[2 * i + 1];
    fprintf(stream, "    %u: %u, %u\n", i, x, y);
    if (x == y) {
      if (x < map->start)
        inform_loc(x, "token %u has %<x-location == y-location == %u%>", i, x);
      else
        fprintf(stream, "x-location == y-location == %u encodes token # %u\n", x, x - map->start);
    } else {
      inform_loc(x, "token %u has %<x-location == %u%>", i, x);
      inform_loc(x, "token %u has %<y-location == %u%>", i, y);
    }
  }
  fputc('\n', stream);
}

void dump_location_info(FILE *stream)
{
  fprintf(stream, "RESERVED LOCATIONS\n");
  dump_location_range(stream, 0, RESERVED_LOCATION_COUNT);
  fputc('\n', stream);
  for (uint32_t i = 0; i < line_table->ordinary_used; i++)
    dump_ordinary_map(stream, i);
  fprintf(stream, "UNALLOCATED LOCATIONS\n");
  dump_location_range(stream, line_table->top_location + 1,
                      linemap_lowest_macro_location(line_table));
  fputc('\n', stream);
  for (uint32_t i = line_table->macro_used; i-- > 0;)
    dump_macro_map(stream, i);
  fprintf(stream, "MAX_LOCATION_T\n");
  dump_location_range(stream, MAX_LOCATION_T, MAX_LOCATION_T + 1);
  fputc('\n', stream);
  fprintf(stream, "AD-HOC LOCATIONS\n");
  dump_location_range(stream, MAX_LOCATION_T + 1, 0xffffffffu);
  fputc('\n', stream);
}
