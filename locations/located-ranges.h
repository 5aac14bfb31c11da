// The location record handed to diagnostics: a primary location, further
// ranges with display kinds and labels, a column override, and fix-it hints
// that are kept all-or-nothing.
#ifndef VUZ_LOCATIONS_LOCATED_RANGES_H
#define VUZ_LOCATIONS_LOCATED_RANGES_H

#include "locations/line-map.h"

#include <cstdint>

struct event_path;

enum range_display_kind : uint32_t {
  RANGE_CARET = 0,      // underlined, with its caret marked
  RANGE_NO_CARET = 1,   // underlined only
  RANGE_LINES_ONLY = 2, // only its lines are quoted
};

// A label's text; when `owned` the caller of get_text frees it.
struct label_string {
  char *text;
  bool owned;
};

class range_label {
public:
  virtual ~range_label() {}
  virtual label_string get_text(uint32_t range_index) const = 0;
};

struct located_range {
  location_t location;
  uint32_t display_kind;
  const range_label *label; // not owned
};

// A suggested edit: replace [start, next) by text; start == next inserts.
struct fixit_hint {
  location_t start;
  location_t next;
  char *text; // owned
  uint64_t length;
};

struct located_ranges {
  linemap_set *line_table;
  int32_t range_count;
  located_range ranges[3];
  int32_t extra_range_capacity;
  located_range *extra_ranges; // ranges 3 and up
  int32_t column_override;     // 0 for none
  bool expansion_cached;
  bool impossible_fixit_seen;
  bool no_auto_apply;
  bool escape_output;
  expanded_location cached_expansion;
  uint32_t fixit_count;
  fixit_hint *fixits[2];
  int32_t extra_fixit_capacity;
  fixit_hint **extra_fixits; // hints 2 and up
  event_path *diagnostic_path; // not owned
};

void located_ranges_init(located_ranges *record, linemap_set *line_table, location_t location,
                         const range_label *label);
void located_ranges_fini(located_ranges *record);
void located_ranges_add_range(located_ranges *record, location_t location,
                              range_display_kind kind, const range_label *label);
void located_ranges_set_range(located_ranges *record, int32_t i, location_t location,
                              range_display_kind kind);
location_t located_ranges_range_loc(const located_ranges *record, int32_t i);
located_range *located_ranges_range(located_ranges *record, int32_t i);
const located_range *located_ranges_range(const located_ranges *record, int32_t i);
void located_ranges_expanded(expanded_location *out, located_ranges *record, int32_t i);
void located_ranges_override_column(located_ranges *record, int32_t column);

// Hint i, for i below fixit_count.
const fixit_hint *located_ranges_fixit(const located_ranges *record, uint32_t i);

void fixit_insert_before(located_ranges *record, const char *text);
void fixit_insert_before_at(located_ranges *record, location_t location, const char *text);
void fixit_insert_after(located_ranges *record, const char *text);
void fixit_insert_after_at(located_ranges *record, location_t location, const char *text);
void fixit_remove(located_ranges *record);
void fixit_remove_at(located_ranges *record, location_t location);
void fixit_remove_range(located_ranges *record, location_span span);
void fixit_replace(located_ranges *record, const char *text);
void fixit_replace_at(located_ranges *record, location_t location, const char *text);
void fixit_replace_range(located_ranges *record, location_span span, const char *text);
fixit_hint *fixit_last(located_ranges *record);
bool fixit_reject_impossible(located_ranges *record, location_t location);
bool fixit_ends_with_newline(const fixit_hint *hint);
bool fixit_affects_line(const fixit_hint *hint, const char *file_name, int32_t line);

#endif
