// The diagnostic engine: the program's one diagnostic_state, the report core
// that turns a report into prefixed, coloured text, and the exit policy. The
// reporting entry points are declared here too (diagnostic-report.cc).
// Clients use this header and the other public headers of diagnostics/;
// internal.h is for the engine's own files and its unit tests.
#ifndef VUZ_DIAGNOSTICS_DIAGNOSTIC_H
#define VUZ_DIAGNOSTICS_DIAGNOSTIC_H

#include "diagnostics/input.h"
#include "diagnostics/pretty-print.h"
#include "locations/located-ranges.h"
#include "support/hash-table.h"
#include "support/vec.h"

#include <cstdarg>
#include <cstdint>

enum diagnostic_kind_value : int {
  DK_UNSPECIFIED = 0,
  DK_IGNORED = 1,
  DK_FATAL = 2,
  DK_ICE = 3,
  DK_ERROR = 4,
  DK_SORRY = 5,
  DK_WARNING = 6,
  DK_ANACHRONISM = 7,
  DK_NOTE = 8,
  DK_DEBUG = 9,
  DK_DIAGNOSTIC_PATH = 10,
  DK_PEDWARN = 11,
  DK_PERMERROR = 12,
  DK_WERROR = 13,
  DK_ICE_NOBT = 14,
  DK_LAST_DIAGNOSTIC_KIND = 15,
  DK_POP = 16,
};
typedef int32_t diagnostic_kind;

struct diagnostic_state;
struct diagnostic_info;
struct file_cache;
struct event_path;
struct classification_entry;
class json_value;
struct edit_context;

// Whether fix-it hints are also written as "fix-it:" lines for tools, and in
// which columns.
enum parseable_fixits_format : uint32_t {
  PARSEABLE_FIXITS_NONE = 0,
  PARSEABLE_FIXITS_V1 = 1,  // byte columns
  PARSEABLE_FIXITS_V2 = 2,  // display columns
};

struct diagnostic_meta {
  int32_t cwe;
};

struct diagnostic_info {
  pp_message message;
  located_ranges *ranges;  // its first range's location is the report's location
  diagnostic_meta *metadata;
  void *client_data;
  diagnostic_kind kind;
  int32_t option;
  auto_vec<location_t, 8> inline_locations;
  bool all_in_system_headers;
};

typedef void (*diagnostic_begin_fn)(diagnostic_state *, diagnostic_info *);
typedef void (*diagnostic_span_fn)(diagnostic_state *, const expanded_location *);
typedef void (*diagnostic_end_fn)(diagnostic_state *, diagnostic_info *, diagnostic_kind);
typedef void (*diagnostic_internal_error_fn)(diagnostic_state *, const char *, va_list *);
typedef int (*diagnostic_option_enabled_fn)(int, unsigned, void *);
typedef char *(*diagnostic_option_name_fn)(diagnostic_state *, int, diagnostic_kind,
                                           diagnostic_kind);
typedef char *(*diagnostic_option_url_fn)(diagnostic_state *, int);
typedef void (*diagnostic_path_fn)(diagnostic_state *, const event_path *);
typedef json_value *(*diagnostic_path_json_fn)(diagnostic_state *, const event_path *);
typedef void (*diagnostic_state_fn)(diagnostic_state *);
typedef void (*diagnostic_locations_fn)(diagnostic_state *, diagnostic_info *);

struct diagnostic_state {
  pretty_printer *printer;
  struct file_cache *file_cache;
  int32_t kind_counts[DK_LAST_DIAGNOSTIC_KIND];
  bool werror_all;
  int32_t option_count;
  diagnostic_kind *option_kinds;  // null until the first classification
  vec<classification_entry> *kind_history;
  vec<int32_t> *history_marks;
  bool show_caret;
  int32_t caret_line_width;
  char caret_marks[3];
  bool show_cwe;
  int32_t path_format;
  bool show_path_depths;
  bool show_option;
  bool abort_on_report;
  bool show_column;
  bool pedantic_errors;
  bool permissive;
  int32_t permissive_option;
  bool fatal_errors;
  bool no_warnings;
  bool warn_in_system_headers;
  uint32_t max_errors;
  diagnostic_begin_fn on_begin;
  diagnostic_span_fn on_span;
  diagnostic_end_fn on_end;
  diagnostic_internal_error_fn on_internal_error;
  diagnostic_option_enabled_fn is_option_enabled;
  void *option_state_data;
  diagnostic_option_name_fn name_of_option;
  diagnostic_option_url_fn url_of_option;
  diagnostic_path_fn on_path;
  diagnostic_path_json_fn path_to_json;
  location_t last_quoted_location;
  const ordinary_map *last_include_map;
  int32_t report_depth;
  uint32_t language_mask;
  bool no_notes;
  bool color_source;
  bool show_labels;
  bool show_line_numbers;
  int32_t minimum_margin_width;
  bool column_ruler;
  bool report_bug;
  parseable_fixits_format parseable_fixits;
  uint32_t column_unit;
  int32_t column_origin;
  uint32_t tab_stop;
  uint32_t escape_format;
  struct edit_context *edit_context;
  int32_t group_depth;
  int32_t group_reports;
  diagnostic_state_fn on_group_begin;
  diagnostic_state_fn on_group_end;
  diagnostic_state_fn on_final;
  diagnostic_locations_fn on_locations;
  hash_set<location_t> *reported_includes;
};

// The program's one diagnostic context; its printer is null until
// diagnostic_state_init and again after diagnostic_state_finish.
extern diagnostic_state global_diagnostic_state;

// The global input location of the program (0 in the driver).
extern location_t input_location;

void diagnostic_state_init(diagnostic_state *context, int option_count);
void diagnostic_state_finish(diagnostic_state *context);
int terminal_columns();
void set_caret_line_width(diagnostic_state *context, int value);
void context_color_setup(diagnostic_state *context, int mode);
void context_url_setup(diagnostic_state *context, int mode);

void diagnostic_set_info(diagnostic_info *diagnostic, const char *format, va_list *args,
                         located_ranges *ranges, diagnostic_kind kind);
void diagnostic_set_info_translated(diagnostic_info *diagnostic, const char *format,
                                    va_list *args, located_ranges *ranges, diagnostic_kind kind);
inline location_t diagnostic_location(const diagnostic_info *diagnostic)
{
  return located_ranges_range_loc(diagnostic->ranges, 0);
}

bool diagnostic_emit(diagnostic_state *context, diagnostic_info *diagnostic);

// Classification (diagnostic-report.cc).
diagnostic_kind classify_option_kind(diagnostic_state *context, int option, diagnostic_kind kind,
                                     location_t location);
void classification_push(diagnostic_state *context);
void classification_pop(diagnostic_state *context, location_t location);
bool warning_reportable_at(location_t location, int option);

// Reporting entry points; all report through the global context.
void inform_loc(location_t location, const char *format, ...) VUZ_PP_FORMAT(2);
void inform(located_ranges *ranges, const char *format, ...) VUZ_PP_FORMAT(2);
void inform_count(location_t location, unsigned long count, const char *singular,
                  const char *plural, ...) VUZ_PP_FORMAT(3);
bool warning_here(int option, const char *format, ...) VUZ_PP_FORMAT(2);
bool warning_at_loc(location_t location, int option, const char *format, ...) VUZ_PP_FORMAT(3);
bool warning_at(located_ranges *ranges, int option, const char *format, ...) VUZ_PP_FORMAT(3);
bool warning_meta(located_ranges *ranges, const diagnostic_meta &meta, int option,
                  const char *format, ...) VUZ_PP_FORMAT(4);
bool warning_n(located_ranges *ranges, int option, unsigned long count, const char *singular,
               const char *plural, ...) VUZ_PP_FORMAT(4);
bool warning_count_at_loc(location_t location, int option, unsigned long count,
                          const char *singular, const char *plural, ...) VUZ_PP_FORMAT(4);
bool pedwarn_at_loc(location_t location, int option, const char *format, ...) VUZ_PP_FORMAT(3);
bool pedwarn(located_ranges *ranges, int option, const char *format, ...) VUZ_PP_FORMAT(3);
bool permerror_at_loc(location_t location, const char *format, ...) VUZ_PP_FORMAT(2);
bool permerror(located_ranges *ranges, const char *format, ...) VUZ_PP_FORMAT(2);
void error_here(const char *format, ...) VUZ_PP_FORMAT(1);
void error_count_at_loc(location_t location, unsigned long count, const char *singular,
                        const char *plural, ...) VUZ_PP_FORMAT(3);
void error_at_loc(location_t location, const char *format, ...) VUZ_PP_FORMAT(2);
void error_at(located_ranges *ranges, const char *format, ...) VUZ_PP_FORMAT(2);
void sorry_here(const char *format, ...) VUZ_PP_FORMAT(1);
void sorry_at_loc(location_t location, const char *format, ...) VUZ_PP_FORMAT(2);
[[noreturn]] void fatal_error(location_t location, const char *format, ...) VUZ_PP_FORMAT(2);
[[noreturn]] void internal_error(const char *format, ...) VUZ_PP_FORMAT(1);
[[noreturn]] void internal_error_no_backtrace(const char *format, ...) VUZ_PP_FORMAT(1);
bool emit_report(diagnostic_kind kind, location_t location, int option, const char *format, ...)
    VUZ_PP_FORMAT(4);
bool emit_report_ranges(diagnostic_kind kind, located_ranges *ranges, int option,
                        const char *format, ...) VUZ_PP_FORMAT(4);
bool emit_report_va(diagnostic_kind kind, location_t location, int option, const char *format,
                    va_list *args) VUZ_PP_FORMAT(4);
bool errors_reported();

void diagnostic_group_enter(diagnostic_state *context);
void diagnostic_group_leave(diagnostic_state *context);
void print_verbatim_line(const char *format, ...) VUZ_PP_FORMAT(1);
void append_note_at(diagnostic_state *context, location_t location, const char *format, ...)
    VUZ_PP_FORMAT(3);

#endif
