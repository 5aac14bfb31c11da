// The reader's side of character-set conversion: its five execution
// converters and the reporter through which conversion problems reach the
// reader's diagnostics. Include search comes with the include layer.
#include "libsprenk/preprocessor-internal.h"

#include <cerrno>

static void report_charset_problem(void *data, int level, int error_number, const char *text)
{
  preprocessor_reader *reader = static_cast<preprocessor_reader *>(data);
  if (error_number) {
    errno = error_number;
    diag_errno(reader, level, text);
  } else {
    diag_error(reader, level, "%s", text);
  }
}

charset_reporter _cpp_charset_reporter(preprocessor_reader *reader)
{
  return charset_reporter{reader, report_charset_problem};
}

void init_converters(preprocessor_reader *reader)
{
  const cpp_reader_options *o = &reader->options;
  charset_execution_options execution;
  execution.narrow_charset_name = o->narrow_charset_name;
  execution.wide_charset_name = o->wide_charset_name;
  execution.char_precision = int32_t(o->char_precision);
  execution.wchar_precision = int32_t(o->wchar_precision);
  execution.bytes_big_endian = o->bytes_big_endian;
  charset_reporter reporter = _cpp_charset_reporter(reader);
  init_execution_converters(reader->converters, execution, &reporter);
}

void close_converters(preprocessor_reader *reader)
{
  if (reader->converters[CHARSET_NARROW].function)
    close_execution_converters(reader->converters);
}
