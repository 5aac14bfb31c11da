// Preprocessor diagnostics: every report goes, with a level, a warning
// reason and a location record, to the client's diagnostic callback. The
// library never prints anything itself.
#include "libsprenk/preprocessor-internal.h"

#include "support/internal-abort.h"
#include "support/system-utils.h"

#include <cerrno>

// Where a report without a location of its own points: the token before the
// current one, or nowhere before any token was read.
static location_t current_diagnostic_location(preprocessor_reader *reader)
{
  if (reader->options.traditional_mode) {
    if (reader->state.in_directive)
      return reader->directive_line;
    return reader->line_table->line_start_location;
  }
  if (reader->cur_token == reader->cur_run->first)
    return 0;
  return reader->cur_token[-1].location;
}

static bool cpp_diagnostic_at(preprocessor_reader *reader, int level, int reason,
                              located_ranges *record, const char *format, va_list *args)
{
  vuz_assert(reader->callbacks.diagnostic != nullptr);
  return reader->callbacks.diagnostic(reader, level, reason, record, format, args);
}

static bool report_at(preprocessor_reader *reader, int level, int reason, location_t location,
                      const char *format, va_list *args)
{
  located_ranges record;
  located_ranges_init(&record, reader->line_table, location, nullptr);
  bool reported = cpp_diagnostic_at(reader, level, reason, &record, format, args);
  located_ranges_fini(&record);
  return reported;
}

static bool cpp_diagnostic_with_line(preprocessor_reader *reader, int level, int reason,
                                     location_t location, uint32_t column, const char *format,
                                     va_list *args)
{
  vuz_assert(reader->callbacks.diagnostic != nullptr);
  located_ranges record;
  located_ranges_init(&record, reader->line_table, location, nullptr);
  if (column)
    located_ranges_override_column(&record, int32_t(column));
  bool reported = reader->callbacks.diagnostic(reader, level, reason, &record, format, args);
  located_ranges_fini(&record);
  return reported;
}

#define REPORT_VA(call)    \
  va_list args;            \
  va_start(args, format);  \
  bool reported = (call);  \
  va_end(args);            \
  return reported

bool diag_error(preprocessor_reader *reader, int level, const char *format, ...)
{
  REPORT_VA(report_at(reader, level, DR_NONE, current_diagnostic_location(reader), format, &args));
}

bool diag_warning(preprocessor_reader *reader, int reason, const char *format, ...)
{
  REPORT_VA(report_at(reader, DL_WARNING, reason, current_diagnostic_location(reader), format,
                      &args));
}

bool diag_pedwarning(preprocessor_reader *reader, int reason, const char *format, ...)
{
  REPORT_VA(report_at(reader, DL_PEDWARN, reason, current_diagnostic_location(reader), format,
                      &args));
}

bool diag_warning_syshdr(preprocessor_reader *reader, int reason, const char *format, ...)
{
  REPORT_VA(report_at(reader, DL_WARNING_SYSHDR, reason, current_diagnostic_location(reader),
                      format, &args));
}

bool diag_warning_at_record(preprocessor_reader *reader, int reason, located_ranges *record,
                            const char *format, ...)
{
  REPORT_VA(cpp_diagnostic_at(reader, DL_WARNING, reason, record, format, &args));
}

bool diag_pedwarning_at_record(preprocessor_reader *reader, int reason, located_ranges *record,
                               const char *format, ...)
{
  REPORT_VA(cpp_diagnostic_at(reader, DL_PEDWARN, reason, record, format, &args));
}

bool diag_error_at_line(preprocessor_reader *reader, int level, location_t location,
                        uint32_t column, const char *format, ...)
{
  REPORT_VA(cpp_diagnostic_with_line(reader, level, DR_NONE, location, column, format, &args));
}

bool diag_warning_at_line(preprocessor_reader *reader, int reason, location_t location,
                          uint32_t column, const char *format, ...)
{
  REPORT_VA(cpp_diagnostic_with_line(reader, DL_WARNING, reason, location, column, format,
                                     &args));
}

bool diag_pedwarning_at_line(preprocessor_reader *reader, int reason, location_t location,
                             uint32_t column, const char *format, ...)
{
  REPORT_VA(cpp_diagnostic_with_line(reader, DL_PEDWARN, reason, location, column, format,
                                     &args));
}

bool diag_warning_at_line_syshdr(preprocessor_reader *reader, int reason, location_t location,
                                 uint32_t column, const char *format, ...)
{
  REPORT_VA(cpp_diagnostic_with_line(reader, DL_WARNING_SYSHDR, reason, location, column, format,
                                     &args));
}

bool diag_error_at_location(preprocessor_reader *reader, int level, location_t location,
                            const char *format, ...)
{
  REPORT_VA(report_at(reader, level, DR_NONE, location, format, &args));
}

bool diag_error_at_record(preprocessor_reader *reader, int level, located_ranges *record,
                          const char *format, ...)
{
  REPORT_VA(cpp_diagnostic_at(reader, level, DR_NONE, record, format, &args));
}

bool diag_errno(preprocessor_reader *reader, int level, const char *text)
{
  return diag_error(reader, level, "%s: %s", text, error_text(errno));
}

bool diag_errno_filename(preprocessor_reader *reader, int level, const char *file_name,
                         location_t location)
{
  if (file_name[0] == '\0')
    file_name = "stdout";
  return diag_error_at_location(reader, level, location, "%s: %s", file_name,
                                error_text(errno));
}
