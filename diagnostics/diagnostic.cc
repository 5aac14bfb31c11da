// The report core of the diagnostic engine: set-up and tear-down of the
// context, the prefix and location texts, the CWE and option suffixes, and
// what happens after a report is shown.
#include "diagnostics/diagnostic.h"

#include "diagnostics/diagnostic-color.h"
#include "diagnostics/diagnostic-path.h"
#include "diagnostics/edit-context.h"
#include "diagnostics/internal.h"
#include "diagnostics/source-quoting.h"
#include "locations/display-width.h"
#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

const char diagnostic_engine_file[] = __FILE__;

struct kind_row {
  const char *text;
  const char *color;
};

static const kind_row kind_rows[DK_LAST_DIAGNOSTIC_KIND + 1] = {
    {"", nullptr},
    {"", nullptr},
    {"fatal error: ", "error"},
    {"internal compiler error: ", "error"},
    {"error: ", "error"},
    {"sorry, unimplemented: ", "error"},
    {"warning: ", "warning"},
    {"anachronism: ", "warning"},
    {"note: ", "note"},
    {"debug: ", "note"},
    {"path: ", "path"},
    {"pedwarn: ", nullptr},
    {"permerror: ", nullptr},
    {"error: ", nullptr},
    {"internal compiler error: ", "error"},
    {"must-not-happen", nullptr},
};

const char *kind_color_name(diagnostic_kind kind)
{
  vuz_assert(kind >= 0 && kind <= DK_LAST_DIAGNOSTIC_KIND);
  return kind_rows[kind].color;
}

const char *kind_text(diagnostic_kind kind)
{
  vuz_assert(kind >= 0 && kind <= DK_LAST_DIAGNOSTIC_KIND);
  return kind_rows[kind].text;
}

static const char *kind_color_start(pretty_printer *pp, diagnostic_kind kind)
{
  const char *name = kind_color_name(kind);
  return name ? colorize_start(pp->show_color, name) : "";
}

static const char *kind_color_stop(pretty_printer *pp, diagnostic_kind kind)
{
  return kind_color_name(kind) ? colorize_stop(pp->show_color) : "";
}

static const char *program_name()
{
  return alloc_program_name();
}

int terminal_columns()
{
  const char *text = getenv("COLUMNS");
  if (!text)
    return INT_MAX;
  char *end;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (end == text || errno == ERANGE || value <= 0 || value > INT_MAX)
    return INT_MAX;
  return static_cast<int>(value);
}

void set_caret_line_width(diagnostic_state *context, int value)
{
  if (value == 0) {
    if (!descriptor_is_terminal(fileno(context->printer->buffer->stream))) {
      context->caret_line_width = INT_MAX;
      return;
    }
    value = terminal_columns();
  }
  context->caret_line_width = value < 2 ? INT_MAX : value - 1;
}

void diagnostic_state_init(diagnostic_state *context, int option_count)
{
  *context = diagnostic_state();
  forget_terminal_answer();
  context->printer = new pretty_printer(0);
  context->option_count = option_count;
  set_caret_line_width(context, context->printer->line_cutoff);
  memset(context->caret_marks, '^', sizeof context->caret_marks);
  context->on_begin = default_begin_diagnostic;
  context->on_span = default_start_span;
  context->on_end = default_end_diagnostic;
  const char *extra = getenv("VUZ_EXTRA_DIAGNOSTIC_OUTPUT");
  if (extra && strcmp(extra, "fixits-v1") == 0)
    context->parseable_fixits = PARSEABLE_FIXITS_V1;
  else if (extra && strcmp(extra, "fixits-v2") == 0)
    context->parseable_fixits = PARSEABLE_FIXITS_V2;
  context->column_unit = 0;
  context->column_origin = 1;
  context->tab_stop = 8;
  context->escape_format = 0;
  context->on_final = default_final_note;
}

void diagnostic_run_final(diagnostic_state *context)
{
  diagnostic_state_fn final = context->on_final;
  context->on_final = nullptr;
  if (final && context->printer)
    final(context);
}

void diagnostic_state_finish(diagnostic_state *context)
{
  diagnostic_run_final(context);
  file_cache_teardown(context);
  free(context->option_kinds);
  context->option_kinds = nullptr;
  context->option_count = 0;
  vec_release(context->kind_history);
  vec_release(context->history_marks);
  delete context->reported_includes;
  context->reported_includes = nullptr;
  delete context->printer;
  context->printer = nullptr;
  edit_context_destroy(context->edit_context);
  context->edit_context = nullptr;
}

void context_color_setup(diagnostic_state *context, int mode)
{
  context->printer->show_color = colorize_init(mode < 0 ? DIAGNOSTICS_AUTO : mode);
}

void context_url_setup(diagnostic_state *context, int mode)
{
  context->printer->url_format = determine_url_format(mode < 0 ? DIAGNOSTICS_AUTO : mode);
}

void diagnostic_set_info_translated(diagnostic_info *diagnostic, const char *format,
                                    va_list *args, located_ranges *ranges, diagnostic_kind kind)
{
  vuz_assert(ranges);
  diagnostic->message.format = format;
  diagnostic->message.args = args;
  diagnostic->message.saved_errno = errno;
  diagnostic->message.client_data = nullptr;
  diagnostic->message.ranges = ranges;
  diagnostic->ranges = ranges;
  diagnostic->metadata = nullptr;
  diagnostic->client_data = nullptr;
  diagnostic->kind = kind;
  diagnostic->option = 0;
  diagnostic->all_in_system_headers = false;
}

void diagnostic_set_info(diagnostic_info *diagnostic, const char *format, va_list *args,
                         located_ranges *ranges, diagnostic_kind kind)
{
  vuz_assert(ranges);
  diagnostic_set_info_translated(diagnostic, format, args, ranges, kind);
}

location_t message_location(const pp_message *message)
{
  return located_ranges_range_loc(message->ranges, 0);
}

void message_set_location(pp_message *message, int32_t index, location_t location,
                          range_display_kind kind)
{
  located_ranges_set_range(message->ranges, index, location, kind);
}

int convert_column_unit(diagnostic_state *context, const expanded_location *where)
{
  if (where->column <= 0)
    return -1;
  switch (context->column_unit) {
  case 0: {
    column_policy policy = {static_cast<int32_t>(context->tab_stop), 1, codepoint_display_width};
    int column = location_display_column(policy, *where);
    return column <= 0 ? -1 : column + context->column_origin - 1;
  }
  case 1:
    return where->column + context->column_origin - 1;
  default:
    vuz_unreachable();
  }
}

char *location_text(diagnostic_state *context, const expanded_location *where)
{
  pretty_printer *pp = context->printer;
  const char *file = where->file ? where->file : program_name();
  static char line_part[32];
  line_part[0] = '\0';
  if (strcmp(file, "<built-in>") != 0 && where->line != 0) {
    int column = context->show_column ? convert_column_unit(context, where) : -1;
    // Lines run to 2^32 - 1.
    if (column >= 0)
      snprintf(line_part, sizeof line_part, ":%u:%d", uint32_t(where->line), column);
    else
      snprintf(line_part, sizeof line_part, ":%u", uint32_t(where->line));
  }
  return format_alloc("%s%s%s:%s", colorize_start(pp->show_color, "locus"), file, line_part,
                      colorize_stop(pp->show_color));
}

char *diagnostic_build_prefix(diagnostic_state *context, const diagnostic_info *diagnostic)
{
  vuz_assert(diagnostic->kind >= 0 && diagnostic->kind < DK_LAST_DIAGNOSTIC_KIND);
  pretty_printer *pp = context->printer;
  expanded_location expanded;
  located_ranges_expanded(&expanded, diagnostic->ranges, 0);
  char *where = location_text(context, &expanded);
  char *prefix = format_alloc("%s %s%s%s", where, kind_color_start(pp, diagnostic->kind),
                              kind_text(diagnostic->kind), kind_color_stop(pp, diagnostic->kind));
  free(where);
  return prefix;
}

char *locus_prefix(diagnostic_state *context, const char *text)
{
  pretty_printer *pp = context->printer;
  return format_alloc("%s%s:%s ", colorize_start(pp->show_color, "locus"), text,
                      colorize_stop(pp->show_color));
}

int num_digits(int n)
{
  vuz_assert(n >= 0);
  int digits = 1;
  while (n >= 10) {
    n /= 10;
    digits++;
  }
  return digits;
}

void print_escaped_string(pretty_printer *pp, const char *text)
{
  vuz_assert(text);
  pp_put_char(pp, '"');
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
    switch (*p) {
    case '\t':
      pp_put_string(pp, "\\t");
      break;
    case '\n':
      pp_put_string(pp, "\\n");
      break;
    case '"':
      pp_put_string(pp, "\\\"");
      break;
    case '\\':
      pp_put_string(pp, "\\\\");
      break;
    default:
      if (c_isprint(*p)) {
        pp_put_char(pp, *p);
      } else {
        char octal[5];
        snprintf(octal, sizeof octal, "\\%o%o%o", (*p >> 6) & 7, (*p >> 3) & 7, *p & 7);
        pp_put_string(pp, octal);
      }
    }
  }
  pp_put_char(pp, '"');
}

// A column for the parseable form: byte columns for version 1, display
// columns for version 2, and -1 when there is none.
static int fixit_column(const expanded_location &where, parseable_fixits_format version,
                        uint32_t tab_stop)
{
  int column = where.column;
  if (version == PARSEABLE_FIXITS_V2 && column >= 1) {
    column_policy policy = {static_cast<int32_t>(tab_stop), 1, codepoint_display_width};
    column = location_display_column(policy, where);
  }
  return column < 1 ? -1 : column;
}

void print_parseable_fixits(pretty_printer *pp, located_ranges *ranges,
                            parseable_fixits_format version, uint32_t tab_stop)
{
  vuz_assert(pp && ranges);
  char *saved = pp_release_prefix(pp);
  for (uint32_t i = 0; i < ranges->fixit_count; i++) {
    const fixit_hint *hint = located_ranges_fixit(ranges, i);
    expanded_location start = location_expand(hint->start);
    expanded_location next = location_expand(hint->next);
    pp_put_string(pp, "fix-it:");
    print_escaped_string(pp, start.file);
    char span[64];
    snprintf(span, sizeof span, ":{%u:%i-%u:%i}:", uint32_t(start.line),
             fixit_column(start, version, tab_stop), uint32_t(next.line),
             fixit_column(next, version, tab_stop));
    pp_put_string(pp, span);
    print_escaped_string(pp, hint->text);
    pp_put_newline(pp);
  }
  pp->prefix = saved;
  pp_flush_output(pp);
}

// Whether the include that led to the map was reported already; records it
// when not. Module imports are always reported.
static bool include_already_reported(diagnostic_state *context, const ordinary_map *map)
{
  if (map->includer_location < RESERVED_LOCATION_COUNT)
    return true;
  const ordinary_map *probe = map;
  if (probe->reason == LC_RENAME)
    probe = linemap_includer_map(line_table, probe);
  if (probe && probe->reason == LC_MODULE)
    return false;
  if (!context->reported_includes)
    context->reported_includes = new hash_set<location_t>(13);
  return context->reported_includes->add(map->includer_location);
}

static const char *include_label(bool current_module, bool includer_module, bool after_module,
                                 bool first)
{
  if (current_module)
    return first ? "In module imported at" : "imported at";
  if (includer_module)
    return first ? "In module" : "of module";
  if (first)
    return "In file included from";
  return after_module ? "        included from" : "                 from";
}

static void report_include_chain(diagnostic_state *context, location_t where)
{
  pretty_printer *pp = context->printer;
  if (pp->need_newline) {
    pp_put_newline(pp);
    pp->need_newline = false;
  }
  if (where < RESERVED_LOCATION_COUNT || !line_table)
    return;
  const ordinary_map *map;
  linemap_resolve_location(line_table, where, RESOLVE_TO_EXPANSION, &map);
  if (!map || map == context->last_include_map)
    return;
  context->last_include_map = map;
  if (include_already_reported(context, map))
    return;
  bool first = true;
  bool after_module = true;
  bool current_module = map->reason == LC_MODULE;
  do {
    location_t include_point = map->includer_location;
    map = linemap_includer_map(line_table, map);
    if (!map)
      break;
    bool includer_module = map->reason == LC_MODULE;
    expanded_location at = {map->file_name,
                            static_cast<int32_t>(ordinary_map_line(map, include_point)), 0,
                            nullptr, false};
    int column = -1;
    if (first && context->show_column) {
      at.column = static_cast<int32_t>(ordinary_map_column(map, include_point));
      column = convert_column_unit(context, &at);
    }
    char line_part[32] = "";
    if (at.line != 0 && column >= 0)
      snprintf(line_part, sizeof line_part, ":%u:%d", uint32_t(at.line), column);
    else if (at.line != 0)
      snprintf(line_part, sizeof line_part, ":%u", uint32_t(at.line));
    pp_put_format_unwrapped(pp, "%s%s %r%s%s%R",
                            first ? "" : current_module ? ", " : ",\n",
                            include_label(current_module, includer_module, after_module, first),
                            "locus", at.file, line_part);
    first = false;
    after_module = current_module;
    current_module = includer_module;
  } while (!include_already_reported(context, map));
  pp_put_format_unwrapped(pp, ":");
  pp_put_newline(pp);
}

void default_begin_diagnostic(diagnostic_state *context, diagnostic_info *diagnostic)
{
  report_include_chain(context, diagnostic_location(diagnostic));
  pp_replace_prefix(context->printer, diagnostic_build_prefix(context, diagnostic));
}

void default_start_span(diagnostic_state *context, const expanded_location *where)
{
  char *text = location_text(context, where);
  pp_put_string(context->printer, text);
  free(text);
  pp_put_newline(context->printer);
}

void default_end_diagnostic(diagnostic_state *context, diagnostic_info *diagnostic,
                            diagnostic_kind)
{
  pretty_printer *pp = context->printer;
  char *saved = pp_release_prefix(pp);
  pp_put_newline(pp);
  diagnostic_show_locus(context, diagnostic->ranges, diagnostic->kind);
  pp->prefix = saved;
  pp_flush_output(pp);
}

void default_final_note(diagnostic_state *context)
{
  if (context->kind_counts[DK_WERROR] == 0)
    return;
  pp_put_format_unwrapped(context->printer,
                          context->werror_all ? "%s: all warnings being treated as errors"
                                              : "%s: some warnings being treated as errors",
                          program_name());
  pp_end_line_and_flush(context->printer);
}

static int counted_errors(const diagnostic_state *context)
{
  return context->kind_counts[DK_ERROR] + context->kind_counts[DK_SORRY] +
         context->kind_counts[DK_WERROR];
}

void check_error_limit(diagnostic_state *context, bool finish)
{
  if (context->max_errors == 0 ||
      static_cast<uint32_t>(counted_errors(context)) < context->max_errors)
    return;
  fprintf(stderr, "compilation terminated due to -fmax-errors=%u.\n", context->max_errors);
  if (finish)
    diagnostic_state_finish(context);
  else
    diagnostic_run_final(context);
  exit_program(EXIT_CODE_ERRORS);
}

void diagnostic_action_after_output(diagnostic_state *context, diagnostic_kind kind)
{
  switch (kind) {
  case DK_DEBUG:
  case DK_NOTE:
  case DK_ANACHRONISM:
  case DK_WARNING:
    return;
  case DK_ERROR:
  case DK_SORRY:
    if (context->abort_on_report)
      plain_abort();
    if (context->fatal_errors) {
      fputs("compilation terminated due to -Wfatal-errors.\n", stderr);
      diagnostic_state_finish(context);
      exit_program(EXIT_CODE_ERRORS);
    }
    return;
  case DK_ICE:
  case DK_ICE_NOBT:
    internal_error_exit(context, kind);
  case DK_FATAL:
    if (context->abort_on_report)
      plain_abort();
    diagnostic_state_finish(context);
    fputs("compilation terminated.\n", stderr);
    exit_program(EXIT_CODE_ERRORS);
  default:
    vuz_unreachable();
  }
}

// An internal error raised while another report is being output.
[[noreturn]] static void report_reentry(diagnostic_state *context)
{
  if (context->report_depth <= 2)
    pp_end_line_and_flush(context->printer);
  fputs("internal compiler error: error reporting routines re-entered.\n", stderr);
  diagnostic_action_after_output(context, DK_ICE);
  plain_abort();
}

static void print_cwe_suffix(diagnostic_state *context, const diagnostic_info *diagnostic)
{
  pretty_printer *pp = context->printer;
  int cwe = diagnostic->metadata ? diagnostic->metadata->cwe : 0;
  if (!context->show_cwe || cwe == 0)
    return;
  char *saved = pp_release_prefix(pp);
  pp_put_string(pp, " [");
  pp_put_string(pp, kind_color_start(pp, diagnostic->kind));
  if (pp->url_format != URL_FORMAT_NONE) {
    char *url = format_alloc("https://" VUZ_CWE_SITE_HOST "/data/definitions/%i.html", cwe);
    pp_begin_url(pp, url);
    free(url);
  }
  char text[24];
  snprintf(text, sizeof text, "CWE-%i", cwe);
  pp_put_string(pp, text);
  pp->prefix = saved;
  if (pp->url_format != URL_FORMAT_NONE)
    pp_close_url(pp);
  pp_put_string(pp, kind_color_stop(pp, diagnostic->kind));
  pp_put_char(pp, ']');
}

static void print_option_suffix(diagnostic_state *context, const diagnostic_info *diagnostic,
                                diagnostic_kind initial_kind)
{
  pretty_printer *pp = context->printer;
  if (!context->show_option || !context->name_of_option)
    return;
  char *name = context->name_of_option(context, diagnostic->option, initial_kind, diagnostic->kind);
  if (!name)
    return;
  char *url = nullptr;
  if (context->url_of_option && pp->url_format != URL_FORMAT_NONE)
    url = context->url_of_option(context, diagnostic->option);
  pp_put_string(pp, " [");
  pp_put_string(pp, kind_color_start(pp, diagnostic->kind));
  if (url)
    pp_begin_url(pp, url);
  pp_put_string(pp, name);
  if (url) {
    pp_close_url(pp);
    free(url);
  }
  pp_put_string(pp, kind_color_stop(pp, diagnostic->kind));
  pp_put_char(pp, ']');
  free(name);
}

// What a report was before the core adjusted it: its kind as first seen (or
// as a pedantic warning settled to), and whether a warning was marked as
// coming from a system header.
struct report_origin {
  diagnostic_kind initial_kind;
  bool from_system_header;
};

// Settles warnings and pedantic warnings against the system-header rules and
// drops what is not to be shown; false when the report is dropped.
static bool screen_report(diagnostic_state *context, diagnostic_info *diagnostic,
                          report_origin *origin)
{
  if (diagnostic->kind == DK_WARNING || diagnostic->kind == DK_PEDWARN) {
    if (context->no_warnings)
      return false;
    if (!diagnostic_in_system_header(diagnostic_location(diagnostic)) ||
        context->warn_in_system_headers) {
      if (diagnostic->kind == DK_PEDWARN) {
        diagnostic->kind = context->pedantic_errors ? DK_ERROR : DK_WARNING;
        origin->initial_kind = diagnostic->kind;
      }
    } else if (diagnostic->kind == DK_PEDWARN) {
      return false;
    } else {
      origin->from_system_header = true;
    }
  }
  return !(diagnostic->kind == DK_NOTE && context->no_notes);
}

// A report made while another is being printed: only an internal error
// straight from the first may go on.
static void check_reentry(diagnostic_state *context, const diagnostic_info *diagnostic)
{
  if (context->report_depth == 0)
    return;
  if ((diagnostic->kind == DK_ICE || diagnostic->kind == DK_ICE_NOBT) &&
      context->report_depth == 1)
    pp_end_line_and_flush(context->printer);
  else
    report_reentry(context);
}

// -Werror and the option classification; false when the report is dropped.
static bool classify_report(diagnostic_state *context, diagnostic_info *diagnostic,
                            const report_origin &origin)
{
  if (context->werror_all && diagnostic->kind == DK_WARNING)
    diagnostic->kind = DK_ERROR;
  diagnostic->message.client_data = &diagnostic->client_data;
  bool enabled = classify_for_report(context, diagnostic);
  return enabled && !(origin.from_system_header && diagnostic->all_in_system_headers);
}

// An internal error after ordinary errors is most likely their consequence:
// the run ends without the internal-error report.
static void begin_internal_error(diagnostic_state *context, const diagnostic_info *diagnostic)
{
  if ((context->kind_counts[DK_ERROR] > 0 || context->kind_counts[DK_SORRY] > 0) &&
      !context->abort_on_report) {
    expanded_location where = location_expand(diagnostic_location(diagnostic));
    fprintf(stderr, "%s:%u: confused by earlier errors, bailing out\n",
            where.file ? where.file : program_name(), uint32_t(where.line));
    diagnostic_run_final(context);
    exit_program(EXIT_CODE_INTERNAL);
  }
  if (context->on_internal_error)
    context->on_internal_error(context, diagnostic->message.format, diagnostic->message.args);
}

static void count_report(diagnostic_state *context, const diagnostic_info *diagnostic,
                         const report_origin &origin)
{
  if (diagnostic->kind == DK_ERROR && origin.initial_kind == DK_WARNING)
    context->kind_counts[DK_WERROR]++;
  else
    context->kind_counts[diagnostic->kind]++;
  if (context->group_reports == 0 && context->on_group_begin)
    context->on_group_begin(context);
  context->group_reports++;
}

// The message with its prefix, suffixes and the callbacks around it, then the
// fix-it lines for tools.
static void print_report(diagnostic_state *context, diagnostic_info *diagnostic,
                         const report_origin &origin)
{
  pretty_printer *pp = context->printer;
  pp_format(pp, &diagnostic->message);
  if (context->on_begin)
    context->on_begin(context, diagnostic);
  pp_output_formatted_text(pp);
  print_cwe_suffix(context, diagnostic);
  print_option_suffix(context, diagnostic, origin.initial_kind);
  if (context->on_end)
    context->on_end(context, diagnostic, origin.initial_kind);
  if (context->parseable_fixits == PARSEABLE_FIXITS_V1 ||
      context->parseable_fixits == PARSEABLE_FIXITS_V2)
    print_parseable_fixits(pp, diagnostic->ranges, context->parseable_fixits, context->tab_stop);
}

bool diagnostic_emit(diagnostic_state *context, diagnostic_info *diagnostic)
{
  report_origin origin = {diagnostic->kind, false};
  if (!screen_report(context, diagnostic, &origin))
    return false;
  check_reentry(context, diagnostic);
  if (!classify_report(context, diagnostic, origin))
    return false;
  if (diagnostic->kind != DK_ICE && diagnostic->kind != DK_NOTE)
    check_error_limit(context, true);

  context->report_depth++;
  if (diagnostic->kind == DK_ICE || diagnostic->kind == DK_ICE_NOBT)
    begin_internal_error(context, diagnostic);
  count_report(context, diagnostic, origin);
  print_report(context, diagnostic, origin);
  diagnostic_action_after_output(context, diagnostic->kind);
  diagnostic->message.client_data = nullptr;
  if (context->edit_context && !diagnostic->ranges->no_auto_apply)
    edit_context_take_fixits(context->edit_context, diagnostic->ranges);
  context->report_depth--;
  diagnostic_show_path(context, diagnostic);
  return true;
}
