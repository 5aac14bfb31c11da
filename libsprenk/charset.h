// Character-set conversion: everything inside the preprocessor is UTF-8; this
// converts between UTF-8 and the character sets a client names (whole source
// files on input, literals into the execution character sets). UTF-8 to and
// from UTF-16 and UTF-32 of either byte order is built in; other pairs go
// through the C library's iconv.
//
// Nothing here knows the preprocessor's reader: problems are handed to a
// charset_reporter, which the reader fills with its diagnostic callback. A
// null reporter reports nothing.
#ifndef VUZ_LIBSPRENK_CHARSET_H
#define VUZ_LIBSPRENK_CHARSET_H

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

// A growable output; a conversion appends at `length`. On a failure the
// converters leave `length` alone and record in `partial` how far the output
// holds whole converted characters.
struct converter_output {
  unsigned char *text; // heap block owned by whoever started the conversion
  size_t allocated;
  size_t length;
  size_t partial;
};

// True on success; false with errno EILSEQ (invalid or unrepresentable
// sequence) or EINVAL (sequence cut off at the end of the input).
typedef bool (*conversion_function)(intptr_t cookie, const unsigned char *input, size_t length,
                                    converter_output *output);

struct charset_converter {
  conversion_function function;
  // The iconv descriptor (-1 when none), or the byte order of a built-in
  // conversion (1 big-endian, 0 little-endian).
  intptr_t cookie;
  int32_t width; // bits of one execution character; -1 until set
  const char *from; // not owned
  const char *to;   // not owned
};

// Diagnostic levels a reporter receives (the preprocessor's own codes).
enum : int { CHARSET_LEVEL_WARNING = 0, CHARSET_LEVEL_ERROR = 3, CHARSET_LEVEL_ICE = 4 };

// Where conversion problems go. With a non-zero error number the report is
// that error's text for the operation named by `text`; otherwise `text` is
// the whole message.
struct charset_reporter {
  void *data;
  void (*report)(void *data, int level, int error_number, const char *text);
};

// A whole file converted to UTF-8: `block` is what to free; `data` is the
// text after a skipped UTF-8 byte-order mark; `length` does not count the
// terminator; `converter` is the conversion it went through, its iconv
// descriptor closed (cookie -1). All zero when nothing could be read.
struct converted_source {
  unsigned char *block;
  const unsigned char *data;
  size_t length;
  charset_converter converter;
};

// The five execution character sets of a reader, in this order.
enum : int {
  CHARSET_NARROW = 0,
  CHARSET_UTF8 = 1,
  CHARSET_CHAR16 = 2,
  CHARSET_CHAR32 = 3,
  CHARSET_WIDE = 4,
  CHARSET_EXECUTION_COUNT = 5,
};

// What the reader's options say about its execution character sets.
struct charset_execution_options {
  const char *narrow_charset_name; // null for UTF-8
  const char *wide_charset_name;   // null to choose by wchar_precision
  int32_t char_precision;
  int32_t wchar_precision;
  bool bytes_big_endian;
};

charset_converter open_converter(const charset_reporter *reporter, const char *to,
                                 const char *from);
void init_execution_converters(charset_converter converters[CHARSET_EXECUTION_COUNT],
                               const charset_execution_options &options,
                               const charset_reporter *reporter);
void close_converter(charset_converter *converter);
void close_execution_converters(charset_converter converters[CHARSET_EXECUTION_COUNT]);

bool iconv_convert(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output);
bool copy_converter(intptr_t cookie, const unsigned char *input, size_t length,
                    converter_output *output);
bool utf8_to_utf32(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output);
bool utf8_to_utf16(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output);
bool utf32_to_utf8(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output);
bool utf16_to_utf8(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output);

// One UTF-8 sequence of up to 6 bytes: 0 with the value stored and *input
// moved past it, or EILSEQ / EINVAL with nothing moved.
int utf8_decode_one(const unsigned char **input, size_t *left, uint32_t *value);
// The shortest form of a value below 2^31; returns its length (1 to 6).
size_t utf8_encode_one(uint32_t value, unsigned char out[6]);

// The whole text as UTF-8. Consumes `buffer` (a heap block of `size` bytes
// holding `length` bytes). Returns the data (after a byte-order mark) and sets
// *out_block to the block to free and *out_length to the data's length; null
// when the conversion failed and there is no reporter. *used, when given,
// receives the conversion, its iconv descriptor closed.
const unsigned char *convert_file_text(const charset_reporter *reporter, const char *charset,
                                       unsigned char *buffer, size_t size, size_t length,
                                       unsigned char **out_block, size_t *out_length,
                                       charset_converter *used = nullptr);

// Opening and reading a source file as the preprocessor does: an empty path
// is standard input; a directory counts as missing. Returns the descriptor,
// or -1 with errno set.
int open_source_file(const char *path, struct stat *info);
// The whole of an open file converted from CHARSET; a null block after a
// problem, which went to the reporter.
converted_source read_file_contents(const charset_reporter *reporter, const char *path, int fd,
                                    const struct stat &info, const char *charset);
converted_source read_converted_source(const char *path, const char *charset);

size_t utf8_bom_length(const unsigned char *text, size_t length);
const char *default_charset_name();
bool charset_is_utf8(const char *name);
// The character in the narrow execution character set; 0 after a report.
unsigned char basic_char_to_execution(const charset_converter &narrow,
                                      const charset_reporter *reporter, uint32_t c);

#endif
