// Literal interpretation: string and character literal spellings turned
// into bytes of the reader's execution character sets, with escapes,
// universal character names and per-character source ranges.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

// ---- The reader's converters ----

// A client that never opened the converters gets them on first use.
static const charset_converter &converter_for_kind(preprocessor_reader *reader, int kind)
{
  if (reader->converters[CHARSET_NARROW].function == nullptr)
    init_converters(reader);
  switch (kind) {
  case TK_WCHAR: case TK_WSTRING: return reader->converters[CHARSET_WIDE];
  case TK_CHAR16: case TK_STRING16: return reader->converters[CHARSET_CHAR16];
  case TK_CHAR32: case TK_STRING32: return reader->converters[CHARSET_CHAR32];
  case TK_UTF8CHAR: case TK_UTF8STRING: return reader->converters[CHARSET_UTF8];
  default: return reader->converters[CHARSET_NARROW];
  }
}

// Bits of one byte of execution characters; never 0, so that widths divide.
static uint32_t char_bits(const preprocessor_reader *reader)
{
  uint64_t bits = reader->options.char_precision;
  return bits == 0 || bits > 32 ? 8 : uint32_t(bits);
}

static uint32_t width_mask(uint32_t width)
{
  return width < 32 ? (uint32_t(1) << width) - 1 : 0xFFFFFFFF;
}

// ---- Source ranges ----

void string_location_reader_start(string_location_reader *r, location_t location,
                                  linemap_set *set)
{
  const ordinary_map *map = nullptr;
  location = linemap_resolve_location(set, location, RESOLVE_TO_SPELLING, &map);
  r->location = location;
  r->step = map ? uint32_t(1) << map->span_bits : 1;
}

location_span string_location_reader_next(string_location_reader *r)
{
  location_span span = {r->location, r->location};
  if (r->location <= LINE_MAP_MAX_LOCATION_WITH_COLS)
    r->location += r->step;
  return span;
}

// The ranges start with room for this many spans and double when full.
enum { SUBSTRING_RANGES_START = 8 };

void substring_ranges_init(substring_ranges *ranges)
{
  ranges->allocated = SUBSTRING_RANGES_START;
  ranges->count = 0;
  ranges->spans = checked_new_array<location_span>(ranges->allocated);
}

void substring_ranges_fini(substring_ranges *ranges)
{
  free(ranges->spans);
  ranges->spans = nullptr;
  ranges->count = ranges->allocated = 0;
}

void substring_ranges_push(substring_ranges *ranges, location_span span)
{
  if (ranges->count == ranges->allocated)
    ranges->spans = _cpp_grow_array(ranges->spans, &ranges->allocated, ranges->allocated * 2);
  ranges->spans[ranges->count++] = span;
}

void substring_ranges_push_run(substring_ranges *ranges, string_location_reader *r,
                               uint32_t count)
{
  for (uint32_t i = 0; i < count; i++)
    substring_ranges_push(ranges, string_location_reader_next(r));
}

// ---- One literal ----

struct literal_state {
  preprocessor_reader *reader;
  const charset_converter *converter;
  converter_output out;
  string_location_reader *locations; // null when no ranges are wanted
  substring_ranges *ranges;
};

static void skip_locations(literal_state *s, uint32_t count)
{
  if (s->locations)
    for (uint32_t i = 0; i < count; i++)
      string_location_reader_next(s->locations);
}

// The span of `count` source bytes, the reader moved past them.
static location_span span_of(literal_state *s, uint32_t count)
{
  location_span span = string_location_reader_next(s->locations);
  for (uint32_t i = 1; i < count; i++)
    span.finish = string_location_reader_next(s->locations).finish;
  return span;
}

static void push_spans(literal_state *s, location_span span, size_t count)
{
  for (size_t i = 0; i < count; i++)
    substring_ranges_push(s->ranges, span);
}

// Source ranges map output bytes back to the literal only when the
// conversion copies bytes one for one.
static bool ranges_trackable(const literal_state *s)
{
  return s->ranges == nullptr || s->converter->function == copy_converter;
}

static void append_byte(converter_output *out, unsigned char byte)
{
  if (out->length == out->allocated)
    out->text = _cpp_grow_array(out->text, &out->allocated, out->allocated * 2 + 16);
  out->text[out->length++] = byte;
}

// One execution character of the converter's width, unconverted, as
// width / char bits bytes in the target's byte order.
static void emit_numeric(literal_state *s, uint32_t value)
{
  uint32_t width = uint32_t(s->converter->width);
  uint32_t cbits = char_bits(s->reader);
  uint32_t bytes = width > cbits ? width / cbits : 1;
  uint32_t cmask = width_mask(cbits);
  for (uint32_t i = 0; i < bytes; i++) {
    uint32_t shift = s->reader->options.bytes_big_endian ? (bytes - 1 - i) * cbits : i * cbits;
    append_byte(&s->out, static_cast<unsigned char>(shift < 32 ? (value >> shift) & cmask : 0));
  }
}

static void emit_converted(literal_state *s, const unsigned char *text, size_t length,
                           const char *failure)
{
  if (!s->converter->function(s->converter->cookie, text, length, &s->out))
    diag_errno(s->reader, DL_ERROR, failure);
}

// The value of a numeric escape of `spelled` source bytes, masked to the
// converter's width with a warning when it does not fit.
static void emit_escape_value(literal_state *s, uint32_t value, bool overflow,
                              const char *out_of_range, uint32_t spelled)
{
  uint32_t mask = width_mask(uint32_t(s->converter->width));
  if (overflow || value != (value & mask)) {
    diag_error(s->reader, DL_PEDWARN, "%s", out_of_range);
    value &= mask;
  }
  size_t before = s->out.length;
  emit_numeric(s, value);
  if (s->ranges)
    push_spans(s, span_of(s, spelled), s->out.length - before);
}

static const unsigned char *convert_hex(literal_state *s, const unsigned char *from,
                                        const unsigned char *limit)
{
  preprocessor_reader *reader = s->reader;
  if (reader->options.warn_traditional_c)
    diag_warning(reader, DR_TRADITIONAL, "the meaning of '\\x' is different in traditional C");
  const unsigned char *start = from - 1;
  from++;
  uint32_t value = 0;
  bool digits = false, overflow = false;
  while (from < limit && c_isxdigit(*from)) {
    digits = true;
    overflow |= (value >> 28) != 0;
    value = (value << 4) | hex_value(*from++);
  }
  if (!digits) {
    diag_error(reader, DL_ERROR, "\\x used with no following hex digits");
    skip_locations(s, uint32_t(from - start));
    return from;
  }
  emit_escape_value(s, value, overflow, "hex escape sequence out of range", uint32_t(from - start));
  return from;
}

static const unsigned char *convert_oct(literal_state *s, const unsigned char *from,
                                        const unsigned char *limit)
{
  const unsigned char *start = from - 1;
  uint32_t value = 0;
  for (int i = 0; i < 3 && from < limit && *from >= '0' && *from <= '7'; i++)
    value = (value << 3) + uint32_t(*from++ - '0');
  emit_escape_value(s, value, false, "octal escape sequence out of range",
                    uint32_t(from - start));
  return from;
}

static const unsigned char *convert_ucn(literal_state *s, const unsigned char *from,
                                        const unsigned char *limit)
{
  const unsigned char *start = from - 1;
  from++;
  uint32_t code_point;
  _cpp_valid_ucn(s->reader, &from, limit, IDENT_IN_LITERAL, nullptr, &code_point);
  unsigned char utf8[6];
  size_t length = utf8_encode_one(code_point, utf8);
  size_t before = s->out.length;
  emit_converted(s, utf8, length, "converting UCN to execution character set");
  if (s->ranges)
    push_spans(s, span_of(s, uint32_t(from - start)), s->out.length - before);
  return from;
}

// The character a simple escape stands for; 0 for an unknown escape.
static unsigned char simple_escape(preprocessor_reader *reader, unsigned char c)
{
  const cpp_reader_options *o = &reader->options;
  switch (c) {
  case '\\': case '\'': case '"': case '?': return c;
  case '(': case '{': case '[': case '%': return o->pedantic_mode ? 0 : c;
  case 'b': return 8;
  case 'f': return 12;
  case 'n': return 10;
  case 'r': return 13;
  case 't': return 9;
  case 'v': return 11;
  case 'a':
    if (o->warn_traditional_c)
      diag_warning(reader, DR_TRADITIONAL, "the meaning of '\\a' is different in traditional C");
    return 7;
  case 'e': case 'E':
    if (o->pedantic_mode)
      diag_error(reader, DL_PEDWARN, "non-ISO-standard escape sequence, '\\%c'", int(c));
    return 27;
  default:
    return 0;
  }
}

// `from` is just after the backslash.
static const unsigned char *convert_escape(literal_state *s, const unsigned char *from,
                                           const unsigned char *limit)
{
  unsigned char c = *from;
  if (c == 'x') {
    vuz_assert_as(ranges_trackable(s), __FILE__, "convert_hex");
    return convert_hex(s, from, limit);
  }
  if (c >= '0' && c <= '7') {
    vuz_assert_as(ranges_trackable(s), __FILE__, "convert_oct");
    return convert_oct(s, from, limit);
  }
  if (c == 'u' || c == 'U') {
    vuz_assert_as(ranges_trackable(s), __FILE__, "convert_ucn");
    return convert_ucn(s, from, limit);
  }
  unsigned char value = simple_escape(s->reader, c);
  if (value == 0) {
    value = c;
    if (c_isprint(c) && c != ' ') {
      diag_error(s->reader, DL_PEDWARN, "unknown escape sequence: '\\%c'", int(c));
    } else {
      char octal[8];
      snprintf(octal, sizeof octal, "%03o", unsigned(c));
      diag_error(s->reader, DL_PEDWARN, "unknown escape sequence: '\\%s'", octal);
    }
  }
  size_t before = s->out.length;
  emit_converted(s, &value, 1, "converting escape sequence to execution character set");
  if (s->ranges)
    push_spans(s, span_of(s, 2), s->out.length - before);
  return from + 1;
}

// A run of bytes without escapes; false when the converter failed.
static bool convert_run(literal_state *s, const unsigned char *text, size_t length,
                        const char *function)
{
  if (length == 0)
    return true;
  vuz_assert_as(ranges_trackable(s), __FILE__, function);
  if (!s->converter->function(s->converter->cookie, text, length, &s->out)) {
    diag_errno(s->reader, DL_ERROR, "converting to execution character set");
    return false;
  }
  if (s->ranges)
    substring_ranges_push_run(s->ranges, s->locations, uint32_t(length));
  return true;
}

// R"delim( ... )delim": everything between the parentheses, as it is.
static bool convert_raw(literal_state *s, const unsigned char *p, const unsigned char *end)
{
  const unsigned char *open = p;
  while (open < end && *open != '(')
    open++;
  uint32_t delimiter = uint32_t(open - p) - 2; // without 'R' and the quote
  skip_locations(s, uint32_t(open + 1 - p));
  const unsigned char *close = end - 1 - delimiter - 1; // the ')' before the delimiter
  if (close < open + 1)
    close = open + 1;
  return convert_run(s, open + 1, size_t(close - (open + 1)), "cpp_interpret_string_1");
}

static const unsigned char *skip_prefix(literal_state *s, const unsigned char *p)
{
  if (*p == 'u') {
    p++;
    skip_locations(s, 1);
    if (*p == '8') {
      p++;
      skip_locations(s, 1);
    }
  } else if (*p == 'L' || *p == 'U') {
    p++;
    skip_locations(s, 1);
  }
  return p;
}

// The end of a literal's body: its closing quote, before any suffix.
static const unsigned char *closing_quote(const unsigned char *text, const unsigned char *end,
                                          unsigned char quote)
{
  const unsigned char *q = end;
  while (q > text + 1 && q[-1] != quote)
    q--;
  return q - 1;
}

static bool convert_one(literal_state *s, const byte_string &string)
{
  const unsigned char *p = string.text;
  const unsigned char *end = p + string.length;
  p = skip_prefix(s, p);
  if (*p == 'R')
    return convert_raw(s, p, closing_quote(p, end, '"') + 1);
  if (*p != '"' && *p != '\'') {
    diag_error(s->reader, DL_ERROR, "missing open quote");
    return false;
  }
  const unsigned char *limit = closing_quote(p, end, *p);
  skip_locations(s, 1);
  p++;
  while (p < limit) {
    const unsigned char *run = p;
    while (p < limit && *p != '\\')
      p++;
    if (!convert_run(s, run, size_t(p - run), "cpp_interpret_string_1"))
      return false;
    if (p < limit)
      p = convert_escape(s, p + 1, limit);
  }
  return true;
}

bool cpp_interpret_string_1(preprocessor_reader *reader, const byte_string *strings,
                            uint32_t count, byte_string *out, int kind,
                            string_location_reader *readers, substring_ranges *ranges)
{
  vuz_assert((readers == nullptr) == (ranges == nullptr));
  literal_state s = {reader, &converter_for_kind(reader, kind), {}, nullptr, ranges};
  size_t size = count && strings[0].length > 256 ? strings[0].length : 256;
  s.out.text = static_cast<unsigned char *>(checked_malloc(size));
  s.out.allocated = size;
  for (uint32_t i = 0; i < count; i++) {
    s.locations = readers ? &readers[i] : nullptr;
    if (!convert_one(&s, strings[i])) {
      free(s.out.text);
      return false;
    }
  }
  emit_numeric(&s, 0);
  if (ranges)
    substring_ranges_push(ranges, string_location_reader_next(s.locations));
  if (out) {
    out->text = static_cast<unsigned char *>(checked_realloc(s.out.text, s.out.length));
    out->length = uint32_t(s.out.length);
  } else {
    free(s.out.text);
  }
  return true;
}

bool interpret_string_plain(preprocessor_reader *reader, const byte_string *strings,
                            uint32_t count, byte_string *out, int kind)
{
  return cpp_interpret_string_1(reader, strings, count, out, kind, nullptr, nullptr);
}

bool interpret_string_untranslated(preprocessor_reader *reader, const byte_string *strings,
                                   uint32_t count, byte_string *out)
{
  converter_for_kind(reader, TK_STRING);
  charset_converter saved = reader->converters[CHARSET_NARROW];
  reader->converters[CHARSET_NARROW].function = copy_converter;
  reader->converters[CHARSET_NARROW].cookie = -1;
  reader->converters[CHARSET_NARROW].width = int32_t(char_bits(reader));
  bool result = interpret_string_plain(reader, strings, count, out, TK_STRING);
  reader->converters[CHARSET_NARROW] = saved;
  return result;
}

static bool silent_diagnostic(preprocessor_reader *, int, int, located_ranges *, const char *,
                              va_list *)
{
  return true;
}

const char *interpret_string_source_ranges(preprocessor_reader *reader,
                                           const byte_string *strings,
                                           string_location_reader *readers, uint32_t count,
                                           substring_ranges *ranges, int kind)
{
  if (converter_for_kind(reader, kind).function != copy_converter)
    return "execution character set != source character set";
  auto saved = reader->callbacks.diagnostic;
  reader->callbacks.diagnostic = silent_diagnostic;
  bool interpreted = cpp_interpret_string_1(reader, strings, count, nullptr, kind, readers, ranges);
  reader->callbacks.diagnostic = saved;
  return interpreted ? nullptr : "cpp_interpret_string_1 failed";
}

// ---- Character constants ----

static uint32_t empty_constant_length(int kind)
{
  switch (kind) {
  case TK_CHAR: return 2;
  case TK_UTF8CHAR: return 4;
  default: return 3;
  }
}

static uint32_t narrow_char_value(preprocessor_reader *reader, const byte_string &str, int kind,
                                  uint32_t *characters_seen, bool *unsigned_out)
{
  const cpp_reader_options *o = &reader->options;
  uint32_t width = char_bits(reader);
  uint32_t mask = width_mask(width);
  uint32_t limit = kind == TK_UTF8CHAR ? 1 : uint32_t(o->int_precision / width);
  uint32_t count = str.length - 1; // the terminator
  uint32_t value = 0;
  for (uint32_t i = 0; i < count; i++)
    value = width < 32 ? (value << width) | (str.text[i] & mask) : str.text[i];
  if (count > limit) {
    count = limit;
    diag_error(reader, kind == TK_UTF8CHAR ? DL_ERROR : DL_WARNING,
               "character constant too long for its type");
  } else if (count > 1 && o->warn_multichar_constants) {
    diag_warning(reader, DR_MULTICHAR, "multi-character character constant");
  }
  bool unsignedp;
  if (count > 1) {
    unsignedp = false;
    width = uint32_t(o->int_precision);
  } else {
    unsignedp = o->unsigned_char || (kind == TK_UTF8CHAR && !o->cplusplus_mode);
  }
  if (width < 32) {
    mask = width_mask(width);
    if (unsignedp || !(value & (uint32_t(1) << (width - 1))))
      value &= mask;
    else
      value |= ~mask;
  }
  *characters_seen = count;
  *unsigned_out = unsignedp;
  return value;
}

static uint32_t wide_char_value(preprocessor_reader *reader, const byte_string &str, int kind,
                                uint32_t *characters_seen, bool *unsigned_out)
{
  const cpp_reader_options *o = &reader->options;
  uint32_t width = uint32_t(converter_for_kind(reader, kind).width);
  uint32_t cbits = char_bits(reader);
  uint32_t bytes = width > cbits ? width / cbits : 1;
  uint32_t cmask = width_mask(cbits);
  // The last character before the terminator.
  uint32_t offset = str.length >= 2 * bytes ? str.length - 2 * bytes : 0;
  uint32_t value = 0;
  for (uint32_t i = 0; i < bytes; i++) {
    uint32_t byte = str.text[offset + (o->bytes_big_endian ? i : bytes - 1 - i)] & cmask;
    value = cbits < 32 ? (value << cbits) | byte : byte;
  }
  if (str.length > 2 * bytes)
    diag_error(reader,
               o->cplusplus_mode && kind != TK_WCHAR ? DL_ERROR : DL_WARNING,
               "character constant too long for its type");
  bool unsignedp = kind != TK_WCHAR || o->unsigned_wchar;
  if (width < 32) {
    uint32_t mask = width_mask(width);
    if (unsignedp || !(value & (uint32_t(1) << (width - 1))))
      value &= mask;
    else
      value |= ~mask;
  }
  *characters_seen = 1;
  *unsigned_out = unsignedp;
  return value;
}

uint32_t interpret_char_constant(preprocessor_reader *reader, const preproc_token *token,
                                 uint32_t *characters_seen, bool *unsigned_out)
{
  *characters_seen = 0;
  *unsigned_out = false;
  byte_string spelling = {token->value.str.length, token->value.str.text};
  if (spelling.length <= empty_constant_length(token->kind)) {
    diag_error(reader, DL_ERROR, "empty character constant");
    return 0;
  }
  byte_string str;
  if (!interpret_string_plain(reader, &spelling, 1, &str, token->kind))
    return 0;
  uint32_t value = token->kind == TK_CHAR || token->kind == TK_UTF8CHAR
                       ? narrow_char_value(reader, str, token->kind, characters_seen, unsigned_out)
                       : wide_char_value(reader, str, token->kind, characters_seen, unsigned_out);
  free(const_cast<unsigned char *>(str.text));
  return value;
}
