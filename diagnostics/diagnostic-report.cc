// The reporting entry points, diagnostic groups, and the per-option
// classification with its push/pop history.
#include "diagnostics/diagnostic.h"
#include "diagnostics/source-quoting.h"

#include "diagnostics/internal.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

static bool option_in_range(const diagnostic_state *context, int option)
{
  return option >= 0 && option < context->option_count;
}

// The per-option kinds are allocated at the first classification: most runs
// classify nothing, and an absent array reads as all unspecified.
static diagnostic_kind option_kind(const diagnostic_state *context, int option)
{
  return context->option_kinds ? context->option_kinds[option] : DK_UNSPECIFIED;
}

static diagnostic_kind *option_kind_slot(diagnostic_state *context, int option)
{
  if (!context->option_kinds)
    context->option_kinds = checked_new_cleared<diagnostic_kind>(context->option_count);
  return &context->option_kinds[option];
}

// Whether the option is on; without a callback to ask, it counts as on.
static bool option_enabled(diagnostic_state *context, int option)
{
  return !context->is_option_enabled ||
         context->is_option_enabled(option, context->language_mask, context->option_state_data);
}

diagnostic_kind classify_option_kind(diagnostic_state *context, int option, diagnostic_kind kind,
                                     location_t location)
{
  if (!option_in_range(context, option) || kind < 0 || kind >= DK_LAST_DIAGNOSTIC_KIND)
    return DK_UNSPECIFIED;
  diagnostic_kind *slot = option_kind_slot(context, option);
  diagnostic_kind previous = *slot;
  if (location == 0) {
    *slot = kind;
    return previous;
  }
  if (*slot == DK_UNSPECIFIED) {
    if (option_enabled(context, option))
      *slot = context->werror_all ? DK_ERROR : DK_WARNING;
    else
      *slot = DK_IGNORED;
  }
  diagnostic_kind result = *slot;
  // Pop entries hold a history position where an option would be; they are
  // not classifications.
  for (uint32_t i = vec_length(context->kind_history); i-- > 0;) {
    const classification_entry &entry = (*context->kind_history)[i];
    if (entry.kind != DK_POP && entry.option == option) {
      result = entry.kind;
      break;
    }
  }
  vec_safe_push(context->kind_history, classification_entry{location, option, kind});
  return result;
}

void classification_push(diagnostic_state *context)
{
  vec_safe_push(context->history_marks,
                static_cast<int32_t>(vec_length(context->kind_history)));
}

void classification_pop(diagnostic_state *context, location_t location)
{
  int32_t target = 0;
  if (!vec_empty(context->history_marks))
    target = vec_pop(context->history_marks);
  vec_safe_push(context->kind_history, classification_entry{location, target, DK_POP});
}

// Walks the history for one location: 1 decided (kind set), 0 no decision,
// -1 an entry said "no change" and the per-option kind applies.
static int walk_history(diagnostic_state *context, diagnostic_info *diagnostic,
                        location_t location)
{
  int i = static_cast<int>(vec_length(context->kind_history)) - 1;
  while (i >= 0) {
    const classification_entry &entry = (*context->kind_history)[i];
    if (diagnostic_compare_locations(entry.location, location) >= 0) {
      if (entry.kind == DK_POP) {
        // Entries between the push and the pop are passed over.
        i = entry.option - 1;
        continue;
      }
      if (entry.option == 0 || entry.option == diagnostic->option) {
        if (entry.kind == DK_UNSPECIFIED)
          return -1;
        diagnostic->kind = entry.kind;
        return 1;
      }
    }
    i--;
  }
  return 0;
}

bool classify_for_report(diagnostic_state *context, diagnostic_info *diagnostic)
{
  if (context->on_locations) {
    context->on_locations(context, diagnostic);
  } else {
    location_t location = diagnostic_location(diagnostic);
    vec_safe_push(diagnostic->inline_locations.v, location);
    diagnostic->all_in_system_headers = diagnostic_in_system_header(location);
  }
  int option = diagnostic->option;
  if (option == 0 || option == context->permissive_option)
    return true;
  if (!option_enabled(context, option))
    return false;
  if (diagnostic->all_in_system_headers && !context->warn_in_system_headers) {
    diagnostic->kind = DK_IGNORED;
    return false;
  }
  if (!vec_empty(context->kind_history)) {
    for (location_t location : *diagnostic->inline_locations.v) {
      int decided = walk_history(context, diagnostic, location);
      if (decided > 0)
        return diagnostic->kind != DK_IGNORED;
      if (decided < 0)
        break;
    }
  }
  if (option_in_range(context, option) && option_kind(context, option) != DK_UNSPECIFIED)
    diagnostic->kind = option_kind(context, option);
  return diagnostic->kind != DK_IGNORED;
}

bool warning_reportable_at(location_t location, int option)
{
  diagnostic_state *context = &global_diagnostic_state;
  if (context->no_warnings)
    return false;
  if (diagnostic_in_system_header(location) && !context->warn_in_system_headers)
    return false;
  located_ranges ranges;
  located_ranges_init(&ranges, line_table, location, nullptr);
  diagnostic_info diagnostic;
  diagnostic_set_info(&diagnostic, "", nullptr, &ranges, DK_WARNING);
  diagnostic.option = option;
  bool enabled = classify_for_report(context, &diagnostic);
  located_ranges_fini(&ranges);
  return enabled;
}

void diagnostic_group_enter(diagnostic_state *context)
{
  context->group_depth++;
}

void diagnostic_group_leave(diagnostic_state *context)
{
  if (--context->group_depth == 0) {
    if (context->group_reports > 0 && context->on_group_end)
      context->on_group_end(context);
    context->group_reports = 0;
  }
}

// The one builder of every report: a report of a kind at a location record,
// with the permissive kind resolved and options kept only for warnings.
static bool report_with_kind(diagnostic_kind kind, located_ranges *ranges, int option,
                             const diagnostic_meta *meta, const char *format, va_list *args)
{
  diagnostic_state *context = &global_diagnostic_state;
  if (kind == DK_PERMERROR) {
    kind = context->permissive ? DK_WARNING : DK_ERROR;
    option = context->permissive_option;
  } else if (kind != DK_WARNING && kind != DK_PEDWARN) {
    option = 0;
  }
  diagnostic_info diagnostic;
  diagnostic_set_info(&diagnostic, format, args, ranges, kind);
  diagnostic.option = option;
  diagnostic.metadata = const_cast<diagnostic_meta *>(meta);
  return diagnostic_emit(context, &diagnostic);
}

// The same at a single location, through a record made for the report.
static bool report_at_location(diagnostic_kind kind, location_t location, int option,
                               const char *format, va_list *args)
{
  located_ranges ranges;
  located_ranges_init(&ranges, line_table, location, nullptr);
  bool shown = report_with_kind(kind, &ranges, option, nullptr, format, args);
  located_ranges_fini(&ranges);
  return shown;
}

static bool grouped_report(diagnostic_kind kind, location_t location, int option,
                           const char *format, va_list *args)
{
  diagnostic_group_enter(&global_diagnostic_state);
  bool shown = report_at_location(kind, location, option, format, args);
  diagnostic_group_leave(&global_diagnostic_state);
  return shown;
}

static bool grouped_report_ranges(const char *name, diagnostic_kind kind, located_ranges *ranges,
                                  int option, const diagnostic_meta *meta, const char *format,
                                  va_list *args)
{
  vuz_assert_as(ranges, __FILE__, name);
  diagnostic_group_enter(&global_diagnostic_state);
  bool shown = report_with_kind(kind, ranges, option, meta, format, args);
  diagnostic_group_leave(&global_diagnostic_state);
  return shown;
}

// The entry points differ only in kind, location, option and how the format
// is chosen; the macros keep their bodies from drifting apart.
#define REPORT_BODY(last, kind, location, option, format)                                   \
  va_list args;                                                                            \
  va_start(args, last);                                                                    \
  bool shown = grouped_report(kind, location, option, format, &args);                      \
  va_end(args)

#define REPORT_RANGES_BODY(name, last, kind, ranges, option, meta, format)                  \
  va_list args;                                                                            \
  va_start(args, last);                                                                    \
  bool shown = grouped_report_ranges(name, kind, ranges, option, meta, format, &args);     \
  va_end(args)

void inform_loc(location_t location, const char *format, ...)
{
  REPORT_BODY(format, DK_NOTE, location, 0, format);
  (void)shown;
}

void inform(located_ranges *ranges, const char *format, ...)
{
  REPORT_RANGES_BODY("inform", format, DK_NOTE, ranges, 0, nullptr, format);
  (void)shown;
}

void inform_count(location_t location, unsigned long count, const char *singular,
                  const char *plural, ...)
{
  REPORT_BODY(plural, DK_NOTE, location, 0, plural_choice(count, singular, plural));
  (void)shown;
}

bool warning_here(int option, const char *format, ...)
{
  REPORT_BODY(format, DK_WARNING, input_location, option, format);
  return shown;
}

bool warning_at_loc(location_t location, int option, const char *format, ...)
{
  REPORT_BODY(format, DK_WARNING, location, option, format);
  return shown;
}

bool warning_at(located_ranges *ranges, int option, const char *format, ...)
{
  REPORT_RANGES_BODY("warning_at", format, DK_WARNING, ranges, option, nullptr, format);
  return shown;
}

bool warning_meta(located_ranges *ranges, const diagnostic_meta &meta, int option,
                  const char *format, ...)
{
  REPORT_RANGES_BODY("warning_meta", format, DK_WARNING, ranges, option, &meta, format);
  return shown;
}

bool warning_n(located_ranges *ranges, int option, unsigned long count, const char *singular,
               const char *plural, ...)
{
  REPORT_RANGES_BODY("warning_n", plural, DK_WARNING, ranges, option, nullptr,
                     plural_choice(count, singular, plural));
  return shown;
}

bool warning_count_at_loc(location_t location, int option, unsigned long count,
                          const char *singular, const char *plural, ...)
{
  REPORT_BODY(plural, DK_WARNING, location, option, plural_choice(count, singular, plural));
  return shown;
}

bool pedwarn_at_loc(location_t location, int option, const char *format, ...)
{
  REPORT_BODY(format, DK_PEDWARN, location, option, format);
  return shown;
}

bool pedwarn(located_ranges *ranges, int option, const char *format, ...)
{
  REPORT_RANGES_BODY("pedwarn", format, DK_PEDWARN, ranges, option, nullptr, format);
  return shown;
}

bool permerror_at_loc(location_t location, const char *format, ...)
{
  REPORT_BODY(format, DK_PERMERROR, location, 0, format);
  return shown;
}

bool permerror(located_ranges *ranges, const char *format, ...)
{
  REPORT_RANGES_BODY("permerror", format, DK_PERMERROR, ranges, 0, nullptr, format);
  return shown;
}

void error_here(const char *format, ...)
{
  REPORT_BODY(format, DK_ERROR, input_location, 0, format);
  (void)shown;
}

void error_count_at_loc(location_t location, unsigned long count, const char *singular,
                        const char *plural, ...)
{
  REPORT_BODY(plural, DK_ERROR, location, 0, plural_choice(count, singular, plural));
  (void)shown;
}

void error_at_loc(location_t location, const char *format, ...)
{
  REPORT_BODY(format, DK_ERROR, location, 0, format);
  (void)shown;
}

void error_at(located_ranges *ranges, const char *format, ...)
{
  REPORT_RANGES_BODY("error_at", format, DK_ERROR, ranges, 0, nullptr, format);
  (void)shown;
}

void sorry_here(const char *format, ...)
{
  REPORT_BODY(format, DK_SORRY, input_location, 0, format);
  (void)shown;
}

void sorry_at_loc(location_t location, const char *format, ...)
{
  REPORT_BODY(format, DK_SORRY, location, 0, format);
  (void)shown;
}

bool emit_report(diagnostic_kind kind, location_t location, int option, const char *format, ...)
{
  REPORT_BODY(format, kind, location, option, format);
  return shown;
}

bool emit_report_ranges(diagnostic_kind kind, located_ranges *ranges, int option,
                        const char *format, ...)
{
  REPORT_RANGES_BODY("diagnostic_set_info", format, kind, ranges, option, nullptr, format);
  return shown;
}

bool emit_report_va(diagnostic_kind kind, location_t location, int option, const char *format,
                    va_list *args)
{
  return report_at_location(kind, location, option, format, args);
}

// The reports that end the run open a group they never close; should the
// report core come back, that is a fault of its own.
[[noreturn]] static void final_report(diagnostic_kind kind, location_t location,
                                      const char *name, const char *format, va_list *args)
{
  diagnostic_group_enter(&global_diagnostic_state);
  report_at_location(kind, location, 0, format, args);
  vuz_assert_as(false, __FILE__, name);
}

void fatal_error(location_t location, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  final_report(DK_FATAL, location, "fatal_error", format, &args);
}

void internal_error(const char *format, ...)
{
  va_list args;
  va_start(args, format);
  final_report(DK_ICE, input_location, "internal_error", format, &args);
}

void internal_error_no_backtrace(const char *format, ...)
{
  va_list args;
  va_start(args, format);
  final_report(DK_ICE_NOBT, input_location, "internal_error_no_backtrace", format, &args);
}

// Warnings turned into errors fail the run as much as errors do.
bool errors_reported()
{
  const diagnostic_state *context = &global_diagnostic_state;
  return context->kind_counts[DK_ERROR] > 0 || context->kind_counts[DK_SORRY] > 0 ||
         context->kind_counts[DK_WERROR] > 0;
}

void print_verbatim_line(const char *format, ...)
{
  pretty_printer *pp = global_diagnostic_state.printer;
  va_list args;
  va_start(args, format);
  pp_put_format_va(pp, false, format, &args);
  va_end(args);
  pp_end_line_and_flush(pp);
}

void append_note_at(diagnostic_state *context, location_t location, const char *format, ...)
{
  if (context->no_notes)
    return;
  pretty_printer *pp = context->printer;
  va_list args;
  va_start(args, format);
  located_ranges ranges;
  located_ranges_init(&ranges, line_table, location, nullptr);
  diagnostic_info diagnostic;
  diagnostic_set_info(&diagnostic, format, &args, &ranges, DK_NOTE);
  char *saved = pp_release_prefix(pp);
  pp->prefix = diagnostic_build_prefix(context, &diagnostic);
  pp_format(pp, &diagnostic.message);
  pp_output_formatted_text(pp);
  pp_free_prefix(pp);
  pp->prefix = saved;
  pp_put_newline(pp);
  diagnostic_show_locus(context, &ranges, DK_NOTE);
  located_ranges_fini(&ranges);
  va_end(args);
}

const char *plural_choice(unsigned long count, const char *singular, const char *plural)
{
  return count == 1 ? singular : plural;
}

char *blank_like(const char *text)
{
  size_t length = strlen(text);
  char *blanks = static_cast<char *>(checked_malloc(length + 1));
  memset(blanks, ' ', length);
  blanks[length] = '\0';
  return blanks;
}
