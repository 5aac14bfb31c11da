// Character-set conversion: the built-in UTF converters, the iconv wrapper,
// the copy, and whole source files read and converted to UTF-8.
#include "libsprenk/charset.h"

#include "support/alloc.h"
#include "support/char-class.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

// ---- Reporting ----

static void charset_report(const charset_reporter *reporter, int level, int error_number,
                           const char *text)
{
  if (reporter && reporter->report)
    reporter->report(reporter->data, level, error_number, text);
}

static bool names_equal(const char *a, const char *b)
{
  while (*a && c_tolower(static_cast<unsigned char>(*a)) ==
                   c_tolower(static_cast<unsigned char>(*b))) {
    a++;
    b++;
  }
  return *a == '\0' && *b == '\0';
}

// ---- Output growth ----

static void output_grow(converter_output *output, size_t by)
{
  output->allocated += by;
  output->text = static_cast<unsigned char *>(checked_realloc(output->text, output->allocated));
}

// Built-in conversions grow by this much whenever a character does not fit.
enum : size_t { OUTPUT_STEP = 256 };

static void output_ensure(converter_output *output, size_t at, size_t needed)
{
  while (output->allocated - at < needed)
    output_grow(output, OUTPUT_STEP);
}

// A failed built-in conversion: the length stays, `partial` says how far the
// whole characters before the fault reach.
static bool conversion_failed(converter_output *output, size_t at, int error_number)
{
  output->partial = at;
  errno = error_number;
  return false;
}

// ---- UTF-8 ----

int utf8_decode_one(const unsigned char **input, size_t *left, uint32_t *value)
{
  static const uint32_t smallest[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
  const unsigned char *p = *input;
  unsigned char lead = p[0];
  size_t n;
  uint32_t v;
  if (lead < 0x80) {
    *value = lead;
    *input = p + 1;
    *left -= 1;
    return 0;
  } else if (lead >= 0xC0 && lead <= 0xDF) {
    n = 2, v = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, v = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF7) {
    n = 4, v = lead & 0x07;
  } else if (lead >= 0xF8 && lead <= 0xFB) {
    n = 5, v = lead & 0x03;
  } else if (lead >= 0xFC && lead <= 0xFD) {
    n = 6, v = lead & 0x01;
  } else {
    return EILSEQ;
  }
  if (n > *left)
    return EINVAL;
  for (size_t i = 1; i < n; i++) {
    if ((p[i] & 0xC0) != 0x80)
      return EILSEQ;
    v = (v << 6) | (p[i] & 0x3F);
  }
  if (v < smallest[n] || (v >= 0xD800 && v <= 0xDFFF))
    return EILSEQ;
  *value = v;
  *input = p + n;
  *left -= n;
  return 0;
}

size_t utf8_encode_one(uint32_t value, unsigned char out[6])
{
  static const unsigned char lead_bits[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  if (value < 0x80) {
    out[0] = static_cast<unsigned char>(value);
    return 1;
  }
  size_t n = value < 0x800 ? 2 : value < 0x10000 ? 3 : value < 0x200000 ? 4
           : value < 0x4000000 ? 5 : 6;
  for (size_t i = n - 1; i > 0; i--) {
    out[i] = static_cast<unsigned char>(0x80 | (value & 0x3F));
    value >>= 6;
  }
  out[0] = static_cast<unsigned char>(lead_bits[n] | value);
  return n;
}

static void put_unit(unsigned char *out, uint32_t value, int bytes, bool big_endian)
{
  for (int i = 0; i < bytes; i++) {
    int shift = big_endian ? 8 * (bytes - 1 - i) : 8 * i;
    out[i] = static_cast<unsigned char>(value >> shift);
  }
}

static uint32_t get_unit(const unsigned char *in, int bytes, bool big_endian)
{
  uint32_t value = 0;
  for (int i = 0; i < bytes; i++) {
    int shift = big_endian ? 8 * (bytes - 1 - i) : 8 * i;
    value |= uint32_t(in[i]) << shift;
  }
  return value;
}

// Decodes UTF-8 and writes each character as UTF-32, or as UTF-16 with
// surrogate pairs above the basic plane.
static bool utf8_to_units(bool big_endian, int unit_bytes, const unsigned char *input,
                          size_t length, converter_output *output)
{
  size_t at = output->length;
  while (length > 0) {
    uint32_t value;
    int error = utf8_decode_one(&input, &length, &value);
    if (!error && unit_bytes == 2 && value >= 0x110000)
      error = EILSEQ;
    if (error)
      return conversion_failed(output, at, error);
    if (unit_bytes == 4 || value < 0x10000) {
      output_ensure(output, at, unit_bytes);
      put_unit(output->text + at, value, unit_bytes, big_endian);
      at += unit_bytes;
    } else {
      output_ensure(output, at, 4);
      put_unit(output->text + at, 0xD800 + ((value - 0x10000) >> 10), 2, big_endian);
      put_unit(output->text + at + 2, 0xDC00 + (value & 0x3FF), 2, big_endian);
      at += 4;
    }
  }
  output->length = at;
  return true;
}

bool utf8_to_utf32(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output)
{
  return utf8_to_units(cookie == 1, 4, input, length, output);
}

bool utf8_to_utf16(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output)
{
  return utf8_to_units(cookie == 1, 2, input, length, output);
}

static size_t append_utf8(converter_output *output, size_t at, uint32_t value)
{
  unsigned char bytes[6];
  size_t n = utf8_encode_one(value, bytes);
  output_ensure(output, at, n);
  memcpy(output->text + at, bytes, n);
  return at + n;
}

bool utf32_to_utf8(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output)
{
  size_t at = output->length;
  for (; length > 0; input += 4, length -= 4) {
    if (length < 4)
      return conversion_failed(output, at, EINVAL);
    uint32_t value = get_unit(input, 4, cookie == 1);
    if (value >= 0x7FFFFFFF || (value >= 0xD800 && value <= 0xDFFF))
      return conversion_failed(output, at, EILSEQ);
    at = append_utf8(output, at, value);
  }
  output->length = at;
  return true;
}

bool utf16_to_utf8(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output)
{
  size_t at = output->length;
  while (length > 0) {
    if (length < 2)
      return conversion_failed(output, at, EINVAL);
    uint32_t value = get_unit(input, 2, cookie == 1);
    size_t used = 2;
    if (value >= 0xD800 && value <= 0xDBFF) {
      if (length < 4)
        return conversion_failed(output, at, EINVAL);
      uint32_t low = get_unit(input + 2, 2, cookie == 1);
      if (low < 0xDC00 || low > 0xDFFF)
        return conversion_failed(output, at, EILSEQ);
      value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
      used = 4;
    } else if (value >= 0xDC00 && value <= 0xDFFF) {
      return conversion_failed(output, at, EILSEQ);
    }
    at = append_utf8(output, at, value);
    input += used;
    length -= used;
  }
  output->length = at;
  return true;
}

// ---- Copy and iconv ----

bool copy_converter(intptr_t, const unsigned char *input, size_t length,
                    converter_output *output)
{
  size_t needed = output->length + length;
  if (output->allocated < needed) {
    output->allocated = needed + needed / 4;
    output->text =
        static_cast<unsigned char *>(checked_realloc(output->text, output->allocated));
  }
  if (length)
    memcpy(output->text + output->length, input, length);
  output->length = needed;
  return true;
}

// The bytes an iconv call has written so far count as converted.
static bool iconv_failed(converter_output *output, size_t left)
{
  output->partial = output->allocated - left;
  return false;
}

// After E2BIG: the output grows and the iconv cursor follows it.
static void iconv_grow(converter_output *output, char **out, size_t *out_left)
{
  size_t used = output->allocated - *out_left;
  output_grow(output, OUTPUT_STEP);
  *out = reinterpret_cast<char *>(output->text + used);
  *out_left += OUTPUT_STEP;
}

bool iconv_convert(intptr_t cookie, const unsigned char *input, size_t length,
                   converter_output *output)
{
  iconv_t cd = reinterpret_cast<iconv_t>(cookie);
  output->partial = output->length;
  if (iconv(cd, nullptr, nullptr, nullptr, nullptr) == size_t(-1))
    return false;
  char *in = const_cast<char *>(reinterpret_cast<const char *>(input));
  size_t in_left = length;
  char *out = reinterpret_cast<char *>(output->text + output->length);
  size_t out_left = output->allocated - output->length;
  while (iconv(cd, &in, &in_left, &out, &out_left) == size_t(-1)) {
    if (errno != E2BIG)
      return iconv_failed(output, out_left);
    iconv_grow(output, &out, &out_left);
  }
  if (iconv(cd, nullptr, nullptr, &out, &out_left) == size_t(-1)) {
    if (errno != E2BIG)
      return iconv_failed(output, out_left);
    iconv_grow(output, &out, &out_left);
    if (iconv(cd, nullptr, nullptr, &out, &out_left) == size_t(-1))
      return iconv_failed(output, out_left);
  }
  output->length = output->allocated - out_left;
  return true;
}

// ---- Opening converters ----

struct builtin_conversion {
  const char *pair;
  conversion_function function;
  intptr_t big_endian;
};

static const builtin_conversion builtin_conversions[] = {
    {"UTF-8/UTF-32LE", utf8_to_utf32, 0}, {"UTF-8/UTF-32BE", utf8_to_utf32, 1},
    {"UTF-8/UTF-16LE", utf8_to_utf16, 0}, {"UTF-8/UTF-16BE", utf8_to_utf16, 1},
    {"UTF-32LE/UTF-8", utf32_to_utf8, 0}, {"UTF-32BE/UTF-8", utf32_to_utf8, 1},
    {"UTF-16LE/UTF-8", utf16_to_utf8, 0}, {"UTF-16BE/UTF-8", utf16_to_utf8, 1},
};

static const builtin_conversion *find_builtin(const char *from, const char *to)
{
  char *pair = format_alloc("%s/%s", from, to);
  const builtin_conversion *found = nullptr;
  for (const builtin_conversion &row : builtin_conversions)
    if (names_equal(pair, row.pair)) {
      found = &row;
      break;
    }
  free(pair);
  return found;
}

charset_converter open_converter(const charset_reporter *reporter, const char *to,
                                 const char *from)
{
  charset_converter converter = {copy_converter, -1, -1, from, to};
  if (names_equal(to, from))
    return converter;
  if (const builtin_conversion *row = find_builtin(from, to)) {
    converter.function = row->function;
    converter.cookie = row->big_endian;
    return converter;
  }
  iconv_t cd = iconv_open(to, from);
  if (cd != reinterpret_cast<iconv_t>(-1)) {
    converter.function = iconv_convert;
    converter.cookie = reinterpret_cast<intptr_t>(cd);
    return converter;
  }
  if (errno == EINVAL) {
    char *text = format_alloc("conversion from %s to %s not supported by iconv", from, to);
    charset_report(reporter, CHARSET_LEVEL_ERROR, 0, text);
    free(text);
  } else {
    charset_report(reporter, CHARSET_LEVEL_ERROR, errno, "iconv_open");
  }
  return converter;
}

void close_converter(charset_converter *converter)
{
  if (converter->function == iconv_convert)
    iconv_close(reinterpret_cast<iconv_t>(converter->cookie));
  converter->function = copy_converter;
  converter->cookie = -1;
}

static const char *utf_name(int bits, bool big_endian)
{
  if (bits == 32)
    return big_endian ? "UTF-32BE" : "UTF-32LE";
  return big_endian ? "UTF-16BE" : "UTF-16LE";
}

void init_execution_converters(charset_converter converters[CHARSET_EXECUTION_COUNT],
                               const charset_execution_options &options,
                               const charset_reporter *reporter)
{
  const char *narrow = options.narrow_charset_name ? options.narrow_charset_name : "UTF-8";
  const char *wide = options.wide_charset_name;
  if (!wide)
    wide = options.wchar_precision > 31   ? utf_name(32, options.bytes_big_endian)
           : options.wchar_precision > 15 ? utf_name(16, options.bytes_big_endian)
                                          : "UTF-8";
  const struct {
    const char *to;
    int32_t width;
  } rows[CHARSET_EXECUTION_COUNT] = {
      {narrow, options.char_precision},
      {"UTF-8", options.char_precision},
      {utf_name(16, options.bytes_big_endian), 16},
      {utf_name(32, options.bytes_big_endian), 32},
      {wide, options.wchar_precision},
  };
  for (int i = 0; i < CHARSET_EXECUTION_COUNT; i++) {
    converters[i] = open_converter(reporter, rows[i].to, "UTF-8");
    converters[i].width = rows[i].width;
  }
}

void close_execution_converters(charset_converter converters[CHARSET_EXECUTION_COUNT])
{
  for (int i = 0; i < CHARSET_EXECUTION_COUNT; i++)
    close_converter(&converters[i]);
}

// ---- Whole files ----

// A file's text keeps at most this much slack after it ...
enum : size_t { FILE_TEXT_SLACK = 4096 };
// ... and always this many zero bytes, so that scanners may read ahead.
enum : size_t { FILE_TEXT_PADDING = 16 };
// The first output of a whole-file conversion.
enum : size_t { FILE_OUTPUT_START = 65536 };

const unsigned char *convert_file_text(const charset_reporter *reporter, const char *charset,
                                       unsigned char *buffer, size_t size, size_t length,
                                       unsigned char **out_block, size_t *out_length,
                                       charset_converter *used)
{
  charset_converter converter = open_converter(reporter, "UTF-8", charset);
  if (used) {
    *used = converter;
    if (converter.function == iconv_convert)
      used->cookie = -1;
  }
  converter_output output = {buffer, size, length, 0};
  if (converter.function != copy_converter) {
    output.allocated = length > FILE_OUTPUT_START ? length : FILE_OUTPUT_START;
    output.text = static_cast<unsigned char *>(checked_malloc(output.allocated));
    output.length = 0;
    bool converted = converter.function(converter.cookie, buffer, length, &output);
    free(buffer);
    close_converter(&converter);
    if (!converted) {
      if (!reporter) {
        free(output.text);
        *out_block = nullptr;
        *out_length = 0;
        return nullptr;
      }
      char *text = format_alloc("failure to convert %s to %s", charset, "UTF-8");
      charset_report(reporter, CHARSET_LEVEL_ERROR, 0, text);
      free(text);
      // What was converted before the fault is the file's text.
      output.length = output.partial;
    }
  }
  if (output.length + FILE_TEXT_SLACK < output.allocated ||
      output.allocated < output.length + FILE_TEXT_PADDING) {
    output.allocated = output.length + FILE_TEXT_PADDING;
    output.text = static_cast<unsigned char *>(checked_realloc(output.text, output.allocated));
  }
  memset(output.text + output.length, 0, FILE_TEXT_PADDING);
  bool ends_in_cr = output.length > 0 && output.text[output.length - 1] == '\r';
  output.text[output.length] = ends_in_cr ? '\r' : '\n';
  *out_block = output.text;
  size_t skip = utf8_bom_length(output.text, output.length);
  *out_length = output.length - skip;
  return output.text + skip;
}

int open_source_file(const char *path, struct stat *info)
{
  int fd = 0;
  if (path[0] != '\0') {
    fd = open(path, O_RDONLY | O_NOCTTY, 0666);
    if (fd < 0) {
      if (errno == ENOTDIR)
        errno = ENOENT;
      return -1;
    }
  }
  if (fstat(fd, info) != 0) {
    int error = errno;
    if (fd != 0)
      close(fd);
    errno = error;
    return -1;
  }
  if (S_ISDIR(info->st_mode)) {
    if (fd != 0)
      close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

// A file that is not regular is read in blocks of this size, doubling.
enum : size_t { PIPE_READ_START = 8192 };

static ssize_t read_fully(int fd, unsigned char *to, size_t wanted)
{
  size_t got = 0;
  while (got < wanted) {
    ssize_t n = read(fd, to + got, wanted - got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return -1;
    if (n == 0)
      break;
    got += size_t(n);
  }
  return ssize_t(got);
}

// Reads the whole of an open file into a heap block with room for the
// terminator; 0 or an error number. A regular file that is shorter than its
// size says is reported as a warning through the reporter.
static int read_whole_file(const charset_reporter *reporter, const char *path, int fd,
                           const struct stat &info, unsigned char **buffer, size_t *size,
                           size_t *length)
{
  if (S_ISBLK(info.st_mode)) {
    char *text = format_alloc("%s is a block device", path);
    charset_report(reporter, CHARSET_LEVEL_ERROR, 0, text);
    free(text);
    return ENOENT;
  }
  bool regular = S_ISREG(info.st_mode);
  size_t allocated = regular ? size_t(info.st_size) + FILE_TEXT_PADDING : PIPE_READ_START;
  unsigned char *block = static_cast<unsigned char *>(checked_malloc(allocated));
  size_t total = 0;
  for (;;) {
    size_t wanted = regular ? size_t(info.st_size) - total : allocated - total;
    ssize_t n = read_fully(fd, block + total, wanted);
    if (n < 0) {
      int error = errno;
      free(block);
      charset_report(reporter, CHARSET_LEVEL_ERROR, error, path);
      return error;
    }
    total += size_t(n);
    if (regular || total < allocated)
      break;
    allocated *= 2;
    block = static_cast<unsigned char *>(checked_realloc(block, allocated));
  }
  if (regular && total < size_t(info.st_size)) {
    char *text = format_alloc("%s is shorter than expected", path);
    charset_report(reporter, CHARSET_LEVEL_WARNING, 0, text);
    free(text);
  }
  *buffer = block;
  *size = allocated;
  *length = total;
  return 0;
}

converted_source read_file_contents(const charset_reporter *reporter, const char *path, int fd,
                                    const struct stat &info, const char *charset)
{
  converted_source result = {};
  unsigned char *buffer;
  size_t size, length;
  if (read_whole_file(reporter, path, fd, info, &buffer, &size, &length) != 0)
    return result;
  unsigned char *block;
  size_t data_length;
  const unsigned char *data =
      convert_file_text(reporter, charset, buffer, size, length, &block, &data_length,
                        &result.converter);
  if (!data)
    return converted_source{};
  result.block = block;
  result.data = data;
  result.length = data_length;
  return result;
}

converted_source read_converted_source(const char *path, const char *charset)
{
  struct stat info;
  int fd = open_source_file(path, &info);
  if (fd < 0)
    return converted_source{};
  converted_source result = read_file_contents(nullptr, path, fd, info, charset);
  if (fd != 0)
    close(fd);
  return result;
}

// ---- Small helpers ----

size_t utf8_bom_length(const unsigned char *text, size_t length)
{
  if (length > 2 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF)
    return 3;
  return 0;
}

const char *default_charset_name()
{
  return "UTF-8";
}

bool charset_is_utf8(const char *name)
{
  return names_equal(name, "UTF-8");
}

unsigned char basic_char_to_execution(const charset_converter &narrow,
                                      const charset_reporter *reporter, uint32_t c)
{
  if (c >= 127) {
    char *text = format_alloc("character 0x%lx is not in the basic source character set\n",
                              static_cast<unsigned long>(c));
    charset_report(reporter, CHARSET_LEVEL_ICE, 0, text);
    free(text);
    return 0;
  }
  unsigned char byte = static_cast<unsigned char>(c);
  converter_output output = {static_cast<unsigned char *>(checked_malloc(1)), 1, 0, 0};
  unsigned char result = 0;
  if (!narrow.function(narrow.cookie, &byte, 1, &output)) {
    charset_report(reporter, CHARSET_LEVEL_ICE, errno, "converting to execution character set");
  } else if (output.length != 1) {
    char *text = format_alloc("character 0x%lx is not unibyte in execution character set",
                              static_cast<unsigned long>(c));
    charset_report(reporter, CHARSET_LEVEL_ICE, 0, text);
    free(text);
  } else {
    result = output.text[0];
  }
  free(output.text);
  return result;
}
