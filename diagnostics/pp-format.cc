// The pretty-printer's directive language: pp_format splits a format into
// literal and argument chunks, then converts the arguments in argument order.
// Also the UTF-8 decoding and the display form of identifiers it relies on.
// A malformed format is a fault in one of the program's own messages, never in
// user input, so each is a consistency check reported as pp_format.
#include "diagnostics/diagnostic-color.h"
#include "diagnostics/pretty-print.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"
#include "support/system-utils.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

static void append_text(obstack *h, const char *text)
{
  obstack_append_text(h, text);
}

// Closes the text being grown on the chunk obstack as one chunk.
static const char *close_chunk(obstack *h)
{
  obstack_append_byte(h, '\0');
  return static_cast<const char *>(obstack_close_object(h));
}

static int parse_number(const char *&p)
{
  long n = 0;
  while (c_isdigit(static_cast<unsigned char>(*p))) {
    n = n * 10 + (*p++ - '0');
    if (n > PP_MAX_ARGUMENTS)
      n = PP_MAX_ARGUMENTS + 1;  // too big either way; keep it from overflowing
  }
  return static_cast<int>(n);
}

struct format_split {
  pp_chunk_list *list;
  int chunk_count;
  const char **argument_table[PP_MAX_ARGUMENTS];
};

static void add_chunk(format_split *split, const char *text)
{
  vuz_assert_as(split->chunk_count < PP_MAX_CHUNKS, __FILE__, "pp_format");
  split->list->chunks[split->chunk_count++] = text;
}

static void claim_argument(format_split *split, int index)
{
  vuz_assert_as(index >= 0 && index < PP_MAX_ARGUMENTS && !split->argument_table[index], __FILE__,
                "pp_format");
  split->argument_table[index] = &split->list->chunks[split->chunk_count];
}

// Phase 1: literal text stays in place; each argument directive gets a chunk
// of its own holding its flags and conversion.
static void split_format(pretty_printer *pp, pp_message *message, format_split *split)
{
  obstack *h = &pp->buffer->chunks;
  int next_implicit = 0;
  bool numbered = false;
  const char *p = message->format;
  for (;;) {
    while (*p && *p != '%')
      obstack_append_byte(h, *p++);
    if (!*p)
      break;
    p++;
    vuz_assert_as(*p != '\0', __FILE__, "pp_format");
    switch (*p) {
    case '%':
      obstack_append_byte(h, '%');
      p++;
      continue;
    case '\'':
      append_text(h, close_quote);
      p++;
      continue;
    case '<':
      append_text(h, open_quote);
      append_text(h, colorize_start(pp->show_color, "quote"));
      p++;
      continue;
    case '>':
      append_text(h, colorize_stop(pp->show_color));
      append_text(h, close_quote);
      p++;
      continue;
    case 'R':
      append_text(h, colorize_stop(pp->show_color));
      p++;
      continue;
    case 'm':
      append_text(h, error_text(message->saved_errno));
      p++;
      continue;
    case '}':
      append_text(h, get_end_url_string(pp->url_format));
      p++;
      continue;
    default:
      break;
    }

    if (obstack_object_length(h) > 0)
      add_chunk(split, close_chunk(h));
    vuz_assert_as(split->chunk_count < PP_MAX_CHUNKS, __FILE__, "pp_format");

    int index;
    if (c_isdigit(static_cast<unsigned char>(*p))) {
      vuz_assert_as(numbered || next_implicit == 0, __FILE__, "pp_format");
      numbered = true;
      index = parse_number(p) - 1;
      vuz_assert_as(*p == '$', __FILE__, "pp_format");
      p++;
    } else {
      vuz_assert_as(!numbered, __FILE__, "pp_format");
      index = next_implicit++;
    }
    claim_argument(split, index);

    while (*p && strchr("qwl+#", *p))
      obstack_append_byte(h, *p++);
    vuz_assert_as(*p != '\0', __FILE__, "pp_format");
    if (*p == '.') {
      obstack_append_byte(h, *p++);
      if (*p == '*') {
        obstack_append_byte(h, *p++);
        // The precision is the argument just before the string.
        if (numbered) {
          int precision_index = parse_number(p) - 1;
          vuz_assert_as(*p == '$' && precision_index == index - 1, __FILE__, "pp_format");
          p++;
          claim_argument(split, precision_index);
        } else {
          claim_argument(split, next_implicit++);
        }
      } else {
        while (c_isdigit(static_cast<unsigned char>(*p)))
          obstack_append_byte(h, *p++);
      }
      vuz_assert_as(*p == 's', __FILE__, "pp_format");
    }
    obstack_append_byte(h, *p++);
    add_chunk(split, close_chunk(h));
  }
  if (obstack_object_length(h) > 0 || split->chunk_count == 0)
    add_chunk(split, close_chunk(h));
  split->list->chunks[split->chunk_count] = nullptr;
}

static void put_digits(pretty_printer *pp, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

static void put_digits(pretty_printer *pp, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  vsnprintf(pp->buffer->digit_buffer, sizeof pp->buffer->digit_buffer, format, args);
  va_end(args);
  pp_put_string(pp, pp->buffer->digit_buffer);
}

// An integer conversion by its size flags: int, long, long long or 64 bits.
static void put_integer(pretty_printer *pp, va_list *args, char conversion, int l_count,
                        bool wide)
{
  bool is_signed = conversion == 'd' || conversion == 'i';
  if (wide) {
    if (is_signed)
      put_digits(pp, "%" PRId64, va_arg(*args, int64_t));
    else if (conversion == 'o')
      put_digits(pp, "%" PRIo64, va_arg(*args, uint64_t));
    else if (conversion == 'u')
      put_digits(pp, "%" PRIu64, va_arg(*args, uint64_t));
    else
      put_digits(pp, "%#" PRIx64, va_arg(*args, uint64_t));
    return;
  }
  char format[6] = "%";
  for (int i = 0; i < l_count; i++)
    strcat(format, "l");
  size_t n = strlen(format);
  format[n] = conversion == 'i' ? 'd' : conversion;
  format[n + 1] = '\0';
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
  if (l_count == 0) {
    if (is_signed)
      put_digits(pp, format, va_arg(*args, int));
    else
      put_digits(pp, format, va_arg(*args, unsigned));
  } else if (l_count == 1) {
    if (is_signed)
      put_digits(pp, format, va_arg(*args, long));
    else
      put_digits(pp, format, va_arg(*args, unsigned long));
  } else {
    if (is_signed)
      put_digits(pp, format, va_arg(*args, long long));
    else
      put_digits(pp, format, va_arg(*args, unsigned long long));
  }
#pragma clang diagnostic pop
}

static void put_double(pretty_printer *pp, double value)
{
  // Large values need more than the digit buffer; they are formatted apart
  // rather than cut short.
  int needed = snprintf(pp->buffer->digit_buffer, sizeof pp->buffer->digit_buffer, "%f", value);
  if (needed >= 0 && static_cast<size_t>(needed) < sizeof pp->buffer->digit_buffer) {
    pp_put_string(pp, pp->buffer->digit_buffer);
    return;
  }
  char *text = format_alloc("%f", value);
  pp_put_string(pp, text);
  free(text);
}

struct directive_flags {
  int q, w, l, plus, hash;
};

// Phase 2 for one directive chunk.
static void convert_argument(pretty_printer *pp, pp_message *message, const char *directive,
                             const char **argument_table[])
{
  directive_flags flags = {0, 0, 0, 0, 0};
  for (;; directive++) {
    if (*directive == 'q')
      flags.q++;
    else if (*directive == 'w')
      flags.w++;
    else if (*directive == 'l')
      flags.l++;
    else if (*directive == '+')
      flags.plus++;
    else if (*directive == '#')
      flags.hash++;
    else
      break;
  }
  vuz_assert_as(flags.q <= 1 && flags.w <= 1 && flags.l <= 2 && flags.plus <= 1 && flags.hash <= 1 &&
                    !(flags.l && flags.w),
                __FILE__, "pp_format");

  va_list *args = message->args;
  bool quoted = flags.q;
  if (quoted)
    pp_open_quote(pp, pp->show_color);
  switch (*directive) {
  case 'c': {
    int c = va_arg(*args, int);
    if (quoted && !c_isprint(static_cast<unsigned char>(c))) {
      char byte = static_cast<char>(c);
      pp_put_escaped(pp, &byte, 1);
    } else {
      pp_put_char(pp, c);
    }
    break;
  }
  case 'd':
  case 'i':
  case 'o':
  case 'u':
  case 'x':
    put_integer(pp, args, *directive, flags.l, flags.w);
    break;
  case 'p':
    put_digits(pp, "%p", va_arg(*args, void *));
    break;
  case 'f':
    put_double(pp, va_arg(*args, double));
    break;
  case 'r':
    pp_put_string(pp, colorize_start(pp->show_color, va_arg(*args, const char *)));
    break;
  case 's': {
    const char *text = va_arg(*args, const char *);
    vuz_assert(text);
    if (quoted)
      pp_put_escaped(pp, text, -1);
    else
      pp_put_string(pp, text);
    break;
  }
  case '.': {
    int precision;
    if (directive[1] == '*') {
      precision = va_arg(*args, int);
    } else {
      const char *digits = directive + 1;
      precision = parse_number(digits);
    }
    const char *text = va_arg(*args, const char *);
    vuz_assert(text);
    size_t n = precision < 0 ? strlen(text) : strnlen(text, static_cast<size_t>(precision));
    pp_put_text_range(pp, text, text + n);
    break;
  }
  case '@': {
    const int32_t *event_id = va_arg(*args, const int32_t *);
    vuz_assert_as(*event_id != -1, __FILE__, "one_based");
    pp_put_string(pp, colorize_start(pp->show_color, "path"));
    put_digits(pp, "(%d)", *event_id + 1);
    pp_put_string(pp, colorize_stop(pp->show_color));
    break;
  }
  case 'Z': {
    const int *values = va_arg(*args, const int *);
    unsigned count = va_arg(*args, unsigned);
    for (unsigned i = 0; i < count; i++) {
      if (i > 0)
        pp_put_string(pp, ", ");
      put_digits(pp, "%i", values[i]);
    }
    break;
  }
  case '{':
    pp_begin_url(pp, va_arg(*args, const char *));
    break;
  default: {
    bool decoded =
        pp->format_decoder && pp->format_decoder(pp, message, directive, flags.l, flags.w, flags.plus,
                                                 flags.hash, &quoted, argument_table);
    vuz_assert_as(decoded, __FILE__, "pp_format");
  }
  }
  if (quoted)
    pp_close_quote(pp, pp->show_color);
}

void pp_format(pretty_printer *pp, pp_message *message)
{
  pp_output_buffer *buffer = pp->buffer;
  obstack *h = &buffer->chunks;
  format_split split;
  memset(&split, 0, sizeof split);
  split.list = static_cast<pp_chunk_list *>(obstack_new_object(h, sizeof(pp_chunk_list)));
  split.list->previous = buffer->chunk_list;
  buffer->chunk_list = split.list;
  split_format(pp, message, &split);

  // Phase 2 writes into the chunk obstack with neither prefix nor wrapping.
  buffer->current = h;
  int saved_rule = pp->prefixing_rule;
  int saved_cutoff = pp->line_cutoff;
  int saved_line_length = buffer->line_length;
  pp->prefixing_rule = PP_PREFIX_NEVER;
  pp->line_cutoff = 0;
  for (int i = 0; i < PP_MAX_ARGUMENTS && split.argument_table[i]; i++) {
    // A precision and its string share one chunk, converted once.
    if (i > 0 && split.argument_table[i] == split.argument_table[i - 1])
      continue;
    buffer->line_length = 0;
    convert_argument(pp, message, *split.argument_table[i], split.argument_table);
    *split.argument_table[i] = close_chunk(h);
  }
  if (pp->postprocessor)
    pp->postprocessor->handle(pp);
  buffer->current = &buffer->formatted;
  buffer->line_length = saved_line_length;
  pp->prefixing_rule = saved_rule;
  pp->line_cutoff = saved_cutoff;
  pp->emitted_prefix = false;
  pp->indent_skip = 0;
}

void pp_output_formatted_text(pretty_printer *pp)
{
  pp_output_buffer *buffer = pp->buffer;
  vuz_assert(buffer->current == &buffer->formatted && buffer->chunk_list);
  pp_chunk_list *list = buffer->chunk_list;
  for (int i = 0; list->chunks[i]; i++)
    pp_put_string(pp, list->chunks[i]);
  buffer->chunk_list = list->previous;
  obstack_free_to(&buffer->chunks, list);
}

void pp_format_unwrapped(pretty_printer *pp, pp_message *message)
{
  int saved_rule = pp->prefixing_rule;
  int saved_cutoff = pp->line_cutoff;
  pp->prefixing_rule = PP_PREFIX_NEVER;
  pp->line_cutoff = 0;
  pp_format(pp, message);
  pp_output_formatted_text(pp);
  pp->prefixing_rule = saved_rule;
  pp->line_cutoff = saved_cutoff;
}

void pp_put_format_va(pretty_printer *pp, bool wrapped, const char *format, va_list *args)
{
  pp_message message = {format, args, errno, nullptr, nullptr};
  if (wrapped) {
    pp_format(pp, &message);
    pp_output_formatted_text(pp);
  } else {
    pp_format_unwrapped(pp, &message);
  }
}

void pp_put_format(pretty_printer *pp, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  pp_put_format_va(pp, true, format, &args);
  va_end(args);
}

void pp_put_format_unwrapped(pretty_printer *pp, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  pp_put_format_va(pp, false, format, &args);
  va_end(args);
}

int decode_utf8_char(const unsigned char *bytes, size_t length, unsigned *out)
{
  static const unsigned smallest[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
  vuz_assert(length != 0);
  unsigned c = bytes[0];
  if (c < 0x80) {
    *out = c;
    return 1;
  }
  size_t n = 0;
  unsigned mask = 0x80;
  while (mask && (c & mask)) {
    n++;
    mask >>= 1;
  }
  unsigned value = c & (mask - 1);
  bool valid = n >= 2 && n <= 6 && n <= length;
  for (size_t i = 1; valid && i < n; i++) {
    if ((bytes[i] & 0xc0) != 0x80)
      valid = false;
    value = (value << 6) | (bytes[i] & 0x3f);
  }
  if (!valid || value < smallest[n] || (value >= 0xd800 && value <= 0xdfff)) {
    *out = static_cast<unsigned>(-1);
    return 0;
  }
  *out = value;
  return static_cast<int>(n);
}

// Whether the text is valid UTF-8 without control characters, and whether
// all its characters are single bytes.
static bool displayable_utf8(const char *text, size_t length, bool *all_single)
{
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *end = p + length;
  *all_single = true;
  while (p < end) {
    unsigned code;
    int n = decode_utf8_char(p, static_cast<size_t>(end - p), &code);
    if (n == 0 || code < 32 || (code >= 127 && code <= 159))
      return false;
    if (n > 1)
      *all_single = false;
    p += n;
  }
  return true;
}

// Nothing in these programs selects a UTF-8 locale for identifiers.
static const bool locale_utf8 = false;

const char *identifier_to_display(const char *text)
{
  size_t length = strlen(text);
  if (length == 0)
    return text;
  bool all_single;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *end = p + length;
  if (displayable_utf8(text, length, &all_single)) {
    if (all_single || locale_utf8)
      return text;
    char *result = static_cast<char *>(checked_malloc(10 * length + 1));
    char *q = result;
    while (p < end) {
      unsigned code;
      int n = decode_utf8_char(p, static_cast<size_t>(end - p), &code);
      if (n == 1)
        *q++ = static_cast<char>(*p);
      else
        q += snprintf(q, 11, "\\U%08x", code);
      p += n;
    }
    *q = '\0';
    return result;
  }
  char *result = static_cast<char *>(checked_malloc(4 * length + 1));
  char *q = result;
  for (; p < end; p++) {
    if (*p >= ' ' && *p <= '~')
      *q++ = static_cast<char>(*p);
    else
      q += snprintf(q, 5, "\\%03o", *p);
  }
  *q = '\0';
  return result;
}
