// The location record: small-buffer storage of ranges and hints, cached
// expansion of the primary location, and the rules that accept, merge or
// refuse fix-it hints.
#include "locations/located-ranges.h"

#include "support/alloc.h"

#include <cstdlib>
#include <cstring>

static constexpr int32_t first_array_capacity = 16;

// The slot for element `index` of an array that continues `inline_count`
// inline elements, growing the array as needed.
template <typename T>
static T *overflow_slot(T *&array, int32_t &capacity, int32_t index)
{
  if (array == nullptr) {
    capacity = first_array_capacity;
    array = static_cast<T *>(checked_malloc(uint64_t(capacity) * sizeof(T)));
  } else if (index >= capacity) {
    capacity *= 2;
    array = static_cast<T *>(checked_realloc(array, uint64_t(capacity) * sizeof(T)));
  }
  return &array[index];
}

void located_ranges_init(located_ranges *record, linemap_set *line_table, location_t location,
                         const range_label *label)
{
  memset(record, 0, sizeof *record);
  record->line_table = line_table;
  record->ranges[0] = {location, RANGE_CARET, label};
  record->range_count = 1;
}

static void free_hint(fixit_hint *hint)
{
  free(hint->text);
  delete hint;
}

static fixit_hint **hint_slot(located_ranges *record, uint32_t i)
{
  return i < 2 ? &record->fixits[i] : &record->extra_fixits[i - 2];
}

const fixit_hint *located_ranges_fixit(const located_ranges *record, uint32_t i)
{
  return i < 2 ? record->fixits[i] : record->extra_fixits[i - 2];
}

void located_ranges_fini(located_ranges *record)
{
  for (uint32_t i = 0; i < record->fixit_count; i++)
    free_hint(*hint_slot(record, i));
  free(record->extra_fixits);
  free(record->extra_ranges);
  record->extra_fixits = nullptr;
  record->extra_ranges = nullptr;
  record->fixit_count = 0;
}

void located_ranges_add_range(located_ranges *record, location_t location,
                              range_display_kind kind, const range_label *label)
{
  int32_t i = record->range_count;
  located_range *slot = i < 3 ? &record->ranges[i]
                              : overflow_slot(record->extra_ranges,
                                              record->extra_range_capacity, i - 3);
  *slot = {location, kind, label};
  record->range_count++;
}

void located_ranges_set_range(located_ranges *record, int32_t i, location_t location,
                              range_display_kind kind)
{
  if (i == record->range_count) {
    located_ranges_add_range(record, location, kind, nullptr);
  } else {
    located_range *range = located_ranges_range(record, i);
    range->location = location;
    range->display_kind = kind;
  }
  if (i == 0)
    record->expansion_cached = false;
}

const located_range *located_ranges_range(const located_ranges *record, int32_t i)
{
  return i < 3 ? &record->ranges[i] : &record->extra_ranges[i - 3];
}

located_range *located_ranges_range(located_ranges *record, int32_t i)
{
  return i < 3 ? &record->ranges[i] : &record->extra_ranges[i - 3];
}

location_t located_ranges_range_loc(const located_ranges *record, int32_t i)
{
  return located_ranges_range(record, i)->location;
}

void located_ranges_expanded(expanded_location *out, located_ranges *record, int32_t i)
{
  if (i != 0) {
    *out = client_expand_to_spelling_point(located_ranges_range_loc(record, i),
                                           LOCATION_ASPECT_CARET);
    return;
  }
  if (!record->expansion_cached) {
    record->cached_expansion =
        client_expand_to_spelling_point(record->ranges[0].location, LOCATION_ASPECT_CARET);
    if (record->column_override)
      record->cached_expansion.column = record->column_override;
    record->expansion_cached = true;
  }
  *out = record->cached_expansion;
}

void located_ranges_override_column(located_ranges *record, int32_t column)
{
  record->column_override = column;
  record->expansion_cached = false;
}

// ---- Fix-it hints ----

bool fixit_ends_with_newline(const fixit_hint *hint)
{
  return hint->length > 0 && hint->text[hint->length - 1] == '\n';
}

fixit_hint *fixit_last(located_ranges *record)
{
  return record->fixit_count ? *hint_slot(record, record->fixit_count - 1) : nullptr;
}

// One impossible hint empties the record for good: a partial set of edits
// would be worse than none.
static void fixit_stop_all(located_ranges *record)
{
  record->impossible_fixit_seen = true;
  for (uint32_t i = 0; i < record->fixit_count; i++)
    free_hint(*hint_slot(record, i));
  record->fixit_count = 0;
}

static void fixit_try_add(located_ranges *record, location_t start, location_t next,
                          const char *text)
{
  if (record->impossible_fixit_seen)
    return;
  if (start > LINE_MAP_MAX_LOCATION_WITH_COLS || next > LINE_MAP_MAX_LOCATION_WITH_COLS) {
    fixit_stop_all(record);
    return;
  }
  expanded_location s = client_expand_to_spelling_point(start, LOCATION_ASPECT_START);
  expanded_location n = client_expand_to_spelling_point(next, LOCATION_ASPECT_START);
  if (s.file != n.file || s.line != n.line || n.column < s.column || s.column == 0 ||
      n.column == 0) {
    fixit_stop_all(record);
    return;
  }
  const char *newline = strchr(text, '\n');
  if (newline && !(start == next && s.column == 1 && newline[1] == '\0')) {
    fixit_stop_all(record);
    return;
  }

  uint64_t length = strlen(text);
  fixit_hint *last = fixit_last(record);
  if (last && !fixit_ends_with_newline(last) && last->next == start) {
    last->next = next;
    last->text = static_cast<char *>(checked_realloc(last->text, last->length + length + 1));
    memcpy(last->text + last->length, text, length + 1);
    last->length += length;
    return;
  }
  fixit_hint *hint = new fixit_hint{start, next, checked_strdup(text), length};
  uint32_t i = record->fixit_count;
  fixit_hint **slot = i < 2 ? &record->fixits[i]
                            : overflow_slot(record->extra_fixits, record->extra_fixit_capacity,
                                            int32_t(i - 2));
  *slot = hint;
  record->fixit_count++;
}

bool fixit_reject_impossible(located_ranges *record, location_t location)
{
  if (record->impossible_fixit_seen)
    return true;
  if (location <= LINE_MAP_MAX_LOCATION_WITH_COLS)
    return false;
  fixit_stop_all(record);
  return true;
}

void fixit_insert_before_at(located_ranges *record, location_t location, const char *text)
{
  location_t start = linemap_location_range(record->line_table, location).start;
  fixit_try_add(record, start, start, text);
}

void fixit_insert_before(located_ranges *record, const char *text)
{
  fixit_insert_before_at(record, record->ranges[0].location, text);
}

void fixit_insert_after_at(located_ranges *record, location_t location, const char *text)
{
  location_t finish = linemap_location_range(record->line_table, location).finish;
  location_t next = linemap_advance_columns(record->line_table, finish, 1);
  if (next == finish)
    fixit_stop_all(record);
  else
    fixit_try_add(record, next, next, text);
}

void fixit_insert_after(located_ranges *record, const char *text)
{
  fixit_insert_after_at(record, record->ranges[0].location, text);
}

void fixit_replace_range(located_ranges *record, location_span span, const char *text)
{
  location_t start = linemap_strip_range(record->line_table, span.start);
  location_t finish = linemap_strip_range(record->line_table, span.finish);
  location_t next = linemap_advance_columns(record->line_table, finish, 1);
  if (next == finish)
    fixit_stop_all(record);
  else
    fixit_try_add(record, start, next, text);
}

void fixit_replace_at(located_ranges *record, location_t location, const char *text)
{
  fixit_replace_range(record, linemap_location_range(record->line_table, location), text);
}

void fixit_replace(located_ranges *record, const char *text)
{
  fixit_replace_at(record, record->ranges[0].location, text);
}

void fixit_remove_range(located_ranges *record, location_span span)
{
  fixit_replace_range(record, span, "");
}

void fixit_remove_at(located_ranges *record, location_t location)
{
  fixit_replace_at(record, location, "");
}

void fixit_remove(located_ranges *record)
{
  fixit_replace(record, "");
}

bool fixit_affects_line(const fixit_hint *hint, const char *file_name, int32_t line)
{
  expanded_location s = client_expand_to_spelling_point(hint->start, LOCATION_ASPECT_START);
  if (s.file != file_name || line < s.line)
    return false;
  expanded_location n = client_expand_to_spelling_point(hint->next, LOCATION_ASPECT_START);
  return line <= n.line && n.file == file_name;
}
