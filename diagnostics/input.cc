// Location expansion and location making over the program's line table, and
// the display column of an expanded location.
#include "diagnostics/input.h"

#include "support/internal-abort.h"

linemap_set *line_table;

expanded_location expand_location_1(location_t location, bool expansion_point,
                                    location_aspect aspect)
{
  void *data = nullptr;
  if (location_is_adhoc(location)) {
    data = adhoc_data(line_table, location);
    location = adhoc_locus(line_table, location);
  }
  expanded_location result = {};
  if (location >= RESERVED_LOCATION_COUNT) {
    resolve_target target = RESOLVE_TO_EXPANSION;
    if (!expansion_point) {
      // A token spelled in a system header's macro or in no file at all is
      // shown where the user wrote the macro.
      location = unwind_to_user_location(line_table, location, nullptr);
      target = RESOLVE_TO_SPELLING;
    }
    const ordinary_map *map;
    location = linemap_resolve_location(line_table, location, target, &map);
    if (aspect != LOCATION_ASPECT_CARET) {
      vuz_assert(aspect == LOCATION_ASPECT_START || aspect == LOCATION_ASPECT_FINISH);
      location_span range = linemap_location_range(line_table, location);
      location_t end = aspect == LOCATION_ASPECT_START ? range.start : range.finish;
      if (end != location)
        return expand_location_1(end, expansion_point, aspect);
    }
    result = linemap_expand_location(line_table, map, location);
  }
  result.client_data = data;
  if (location < RESERVED_LOCATION_COUNT)
    result.file = location == BUILTINS_LOCATION ? "<built-in>" : nullptr;
  return result;
}

expanded_location location_expand(location_t location)
{
  return expand_location_1(location, true, LOCATION_ASPECT_CARET);
}

expanded_location location_expand_spelling(location_t location, location_aspect aspect)
{
  return expand_location_1(location, false, aspect);
}

expanded_location client_expand_to_spelling_point(location_t location, location_aspect aspect)
{
  return expand_location_1(location, false, aspect);
}

bool location_is_builtin_token(location_t location)
{
  return linemap_resolve_location(line_table, location, RESOLVE_TO_SPELLING, nullptr) ==
         BUILTINS_LOCATION;
}

location_t location_expansion_point(location_t location)
{
  return linemap_resolve_location(line_table, location, RESOLVE_TO_EXPANSION, nullptr);
}

location_t system_header_expansion_point(location_t location)
{
  if (!linemap_in_system_header(line_table, location))
    return location;
  location_t point = location_expansion_point(location);
  return linemap_in_system_header(line_table, point) ? location : point;
}

location_t location_make_from_span(location_t caret, location_span range)
{
  location_t pure_caret = linemap_strip_range(line_table, caret);
  return linemap_combine_location(line_table, pure_caret, range, nullptr);
}

location_t location_make(location_t caret, location_t start, location_t finish)
{
  location_span range = {linemap_location_range(line_table, start).start,
                         linemap_location_range(line_table, finish).finish};
  return location_make_from_span(caret, range);
}

int32_t location_display_column(const column_policy &policy, const expanded_location &where)
{
  if (where.file == nullptr || where.file[0] == '\0' || where.line == 0 || where.column == 0)
    return where.column;
  uint64_t length = 0;
  const char *text = source_line_of(where.file, where.line, &length);
  return byte_to_display_column(reinterpret_cast<const unsigned char *>(text), size_t(length),
                                where.column, policy);
}
