// Locations inside string literals: each piece is re-read from its source
// line and interpreted character by character into source ranges.
#include "diagnostics/substring-locations.h"

#include "diagnostics/input.h"
#include "support/internal-abort.h"

#include <cstdlib>

// The source range of one piece of the literal, checked to be a single line
// of one file that can be re-read.
static const char *piece_range(location_t location, location_span *range)
{
  *range = linemap_location_range(line_table, location);
  if (range->start >= linemap_lowest_macro_location(line_table)) {
    // One token of a macro expansion is still its spelling.
    if (range->start != range->finish)
      return "macro expansion";
    range->start = range->finish =
        linemap_resolve_location(line_table, range->start, RESOLVE_TO_SPELLING, nullptr);
  }
  if (range->start > LINE_MAP_MAX_LOCATION_WITH_COLS)
    return "range starts after LINE_MAP_MAX_LOCATION_WITH_COLS";
  if (range->finish > LINE_MAP_MAX_LOCATION_WITH_COLS)
    return "range ends after LINE_MAP_MAX_LOCATION_WITH_COLS";
  return nullptr;
}

// The piece's spelling from its source line and a location reader at its
// first character.
static const char *read_piece(location_t location, byte_string *text,
                              string_location_reader *reader)
{
  location_span range;
  if (const char *error = piece_range(location, &range))
    return error;
  expanded_location start = location_expand_spelling(range.start, LOCATION_ASPECT_START);
  expanded_location finish = location_expand_spelling(range.finish, LOCATION_ASPECT_FINISH);
  if (start.file != finish.file)
    return "range endpoints are in different files";
  if (start.line != finish.line)
    return "range endpoints are on different lines";
  if (start.column > finish.column)
    return "range endpoints are reversed";
  uint64_t line_length;
  const char *line = source_line_of(start.file, start.line, &line_length);
  if (line == nullptr)
    return "unable to read source line";
  if (start.column < 1)
    return "zero start column";
  uint64_t literal_length = uint64_t(finish.column - start.column) + 1;
  if (line_length < uint64_t(start.column - 1) + literal_length)
    return "line is not wide enough";
  const ordinary_map *start_map = nullptr, *finish_map = nullptr;
  linemap_resolve_location(line_table, range.start, RESOLVE_TO_SPELLING, &start_map);
  linemap_resolve_location(line_table, range.finish, RESOLVE_TO_SPELLING, &finish_map);
  if (start_map == nullptr || finish_map == nullptr)
    return "failed to get ordinary maps";
  if (start_map != finish_map)
    return "start and finish are spelled in different ordinary maps";
  if (start_map->file_name != start.file)
    return "mismatching file after resolving linemap";
  text->length = uint32_t(literal_length);
  text->text = reinterpret_cast<const unsigned char *>(line + start.column - 1);
  location_t first = linemap_line_column_location(line_table, finish_map, uint32_t(start.line),
                                                  uint32_t(start.column));
  string_location_reader_start(reader, first, line_table);
  return nullptr;
}

static const char *substring_ranges_of(preprocessor_reader *reader, string_concat_db *db,
                                       location_t location, int kind, substring_ranges *ranges)
{
  if (location == 0)
    return "unknown location";
  if (options_of(reader)->macro_expansion_tracking != 2)
    return "track_macro_expansion != 2";
  if (line_table->seen_line_directive)
    return "seen line directive";
  int32_t count = 1;
  location_t *pieces = &location;
  if (db)
    get_string_concatenation(db, location, &count, &pieces);
  byte_string *texts = static_cast<byte_string *>(calloc(size_t(count), sizeof(byte_string)));
  string_location_reader *readers =
      static_cast<string_location_reader *>(calloc(size_t(count), sizeof(string_location_reader)));
  const char *error = nullptr;
  for (int32_t i = 0; i < count && error == nullptr; i++)
    error = read_piece(pieces[i], &texts[i], &readers[i]);
  if (error == nullptr)
    error = interpret_string_source_ranges(reader, texts, readers, uint32_t(count), ranges, kind);
  free(texts);
  free(readers);
  return error;
}

const char *get_location_within_string(preprocessor_reader *reader, string_concat_db *db,
                                       location_t string_location, int literal_kind,
                                       int32_t caret_index, int32_t start_index,
                                       int32_t end_index, location_t *out)
{
  vuz_assert_as(out && reader, __FILE__, "get_substring_ranges_for_loc");
  substring_ranges ranges;
  substring_ranges_init(&ranges);
  const char *error = substring_ranges_of(reader, db, string_location, literal_kind, &ranges);
  int32_t count = int32_t(ranges.count);
  if (error == nullptr && (caret_index < 0 || caret_index >= count))
    error = "caret_idx out of range";
  if (error == nullptr && (start_index < 0 || start_index >= count))
    error = "start_idx out of range";
  if (error == nullptr && (end_index < 0 || end_index >= count))
    error = "end_idx out of range";
  if (error == nullptr)
    *out = location_make(ranges.spans[caret_index].start, ranges.spans[start_index].start,
                         ranges.spans[end_index].finish);
  substring_ranges_fini(&ranges);
  return error;
}
