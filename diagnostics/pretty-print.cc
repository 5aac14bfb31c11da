// The pretty-printer's output buffer: appending, prefixes, line wrapping,
// flushing and the escaped dumps.
#include "diagnostics/pretty-print.h"

#include "diagnostics/diagnostic-color.h"
#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

const char open_quote[] = "'";
const char close_quote[] = "'";

static int prefix_length(const pretty_printer *pp)
{
  return pp->prefix ? static_cast<int>(strlen(pp->prefix)) : 0;
}

// The wrapping column for a cutoff: a prefix repeated on every line must leave
// at least 32 columns of text.
static void set_maximum_length(pretty_printer *pp)
{
  int n = pp->line_cutoff;
  pp->maximum_length = n;
  if (n > 0 && pp->prefixing_rule == PP_PREFIX_EVERY_LINE && n - prefix_length(pp) < 32)
    pp->maximum_length = n + 32;
}

pretty_printer::pretty_printer(int maximum_length)
    : buffer(checked_new_cleared<pp_output_buffer>()), prefix(nullptr), padding(0),
      maximum_length(maximum_length), indent_skip(0), prefixing_rule(PP_PREFIX_ONCE),
      line_cutoff(maximum_length), format_decoder(nullptr), postprocessor(nullptr),
      emitted_prefix(false), need_newline(false), translate_identifiers(true),
      show_color(false), url_format(URL_FORMAT_NONE)
{
  // Chunks come with the first text: a run may print nothing through here.
  obstack_init_malloc_on_use(&buffer->formatted);
  obstack_init_malloc_on_use(&buffer->chunks);
  buffer->current = &buffer->formatted;
  buffer->stream = stderr;
  buffer->flush_enabled = true;
}

pretty_printer::~pretty_printer()
{
  delete postprocessor;
  obstack_free_to(&buffer->formatted, nullptr);
  obstack_free_to(&buffer->chunks, nullptr);
  free(buffer);
  free(prefix);
}

pretty_printer *pretty_printer::clone() const
{
  pretty_printer *copy = new pretty_printer(0);
  copy->padding = padding;
  copy->prefixing_rule = prefixing_rule;
  copy->line_cutoff = line_cutoff;
  copy->format_decoder = format_decoder;
  copy->need_newline = need_newline;
  copy->translate_identifiers = translate_identifiers;
  copy->show_color = show_color;
  copy->url_format = url_format;
  set_maximum_length(copy);
  if (postprocessor)
    copy->postprocessor = postprocessor->clone();
  return copy;
}

static inline void append(pretty_printer *pp, const char *text, size_t length)
{
  obstack_append(pp->buffer->current, text, length);
}

static inline void append_byte(pretty_printer *pp, char c)
{
  obstack_append_byte(pp->buffer->current, c);
}

void pp_put_newline(pretty_printer *pp)
{
  append_byte(pp, '\n');
  pp->need_newline = false;
  pp->buffer->line_length = 0;
}

static inline bool line_full(const pretty_printer *pp)
{
  return pp->buffer->line_length >= pp->maximum_length;
}

void pp_put_char(pretty_printer *pp, int c)
{
  unsigned char byte = static_cast<unsigned char>(c);
  // Never break inside a UTF-8 sequence.
  if (pp_is_wrapping_line(pp) && (byte < 0x80 || byte > 0xbf) && line_full(pp)) {
    pp_put_newline(pp);
    if (c_isspace(byte))
      return;
  }
  append_byte(pp, static_cast<char>(byte));
  pp->buffer->line_length++;
}

static void put_blanks(pretty_printer *pp, int n)
{
  for (int i = 0; i < n; i++)
    append_byte(pp, ' ');
  pp->buffer->line_length += n > 0 ? n : 0;
}

void pp_put_prefix(pretty_printer *pp)
{
  if (!pp->prefix || pp->prefixing_rule == PP_PREFIX_NEVER)
    return;
  if (pp->prefixing_rule == PP_PREFIX_ONCE && pp->emitted_prefix) {
    put_blanks(pp, pp->indent_skip);
    return;
  }
  if (pp->prefixing_rule == PP_PREFIX_ONCE)
    pp->indent_skip += 3;
  size_t length = strlen(pp->prefix);
  append(pp, pp->prefix, length);
  pp->buffer->line_length += static_cast<int>(length);
  pp->emitted_prefix = true;
}

void pp_put_text_range(pretty_printer *pp, const char *start, const char *end)
{
  if (pp->buffer->line_length == 0) {
    pp_put_prefix(pp);
    if (pp_is_wrapping_line(pp))
      while (start != end && *start == ' ')
        start++;
  }
  append(pp, start, static_cast<size_t>(end - start));
  int line_length = pp->buffer->line_length;
  for (const char *p = start; p != end; p++)
    line_length = *p == '\n' ? 0 : line_length + 1;
  pp->buffer->line_length = line_length;
}

void pp_put_wrapped(pretty_printer *pp, const char *start, const char *end)
{
  if (!pp_is_wrapping_line(pp)) {
    pp_put_text_range(pp, start, end);
    return;
  }
  const char *p = start;
  while (p != end) {
    const char *word = p;
    while (p != end && *p != ' ' && *p != '\t' && *p != '\n')
      p++;
    // A word longer than the line goes on a line of its own; at the start of
    // a line it is already there.
    if (p - word >= pp_columns_left(pp) && pp->buffer->line_length > 0)
      pp_put_newline(pp);
    pp_put_text_range(pp, word, p);
    if (p != end && (*p == ' ' || *p == '\t')) {
      if (!line_full(pp)) {
        append_byte(pp, ' ');
        pp->buffer->line_length++;
      } else {
        pp_put_newline(pp);
      }
      p++;
    }
    if (p != end && *p == '\n') {
      pp_put_newline(pp);
      p++;
    }
  }
}

void pp_put_string(pretty_printer *pp, const char *text)
{
  pp_put_wrapped(pp, text, text + strlen(text));
}

void pp_put_escaped(pretty_printer *pp, const char *text, long length)
{
  size_t n = length < 0 ? strlen(text) : static_cast<size_t>(length);
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *end = p + n;
  while (p < end) {
    if (*p >= 0x80) {
      unsigned code;
      int sequence = decode_utf8_char(p, static_cast<size_t>(end - p), &code);
      if (sequence > 0) {
        pp_put_text_range(pp, reinterpret_cast<const char *>(p),
                          reinterpret_cast<const char *>(p + sequence));
        p += sequence;
        continue;
      }
    } else if (c_isprint(*p)) {
      pp_put_char(pp, *p++);
      continue;
    }
    char escaped[5];
    snprintf(escaped, sizeof escaped, "\\x%02x", *p++);
    pp_put_string(pp, escaped);
  }
}

void pp_put_indent(pretty_printer *pp)
{
  for (int i = 0; i < pp->indent_skip; i++) {
    if (pp_is_wrapping_line(pp) && line_full(pp)) {
      pp_put_newline(pp);
    } else {
      append_byte(pp, ' ');
      pp->buffer->line_length++;
    }
  }
}

void pp_newline_indented(pretty_printer *pp, int n)
{
  pp->indent_skip += n;
  pp_put_newline(pp);
  pp_put_indent(pp);
}

// A blank, or a newline when the line is full.
static void put_break(pretty_printer *pp)
{
  if (pp_is_wrapping_line(pp) && line_full(pp)) {
    pp_put_newline(pp);
  } else {
    append_byte(pp, ' ');
    pp->buffer->line_length++;
  }
}

void pp_put_separator(pretty_printer *pp, int c)
{
  pp_put_char(pp, c);
  put_break(pp);
}

void pp_space_if_needed(pretty_printer *pp)
{
  if (!pp->padding)
    return;
  put_break(pp);
  pp->padding = 0;
}

void pp_put_wide_int(pretty_printer *pp, int64_t value)
{
  snprintf(pp->buffer->digit_buffer, sizeof pp->buffer->digit_buffer, "%" PRId64, value);
  pp_put_string(pp, pp->buffer->digit_buffer);
}

void pp_open_quote(pretty_printer *pp, bool show_color)
{
  pp_put_string(pp, open_quote);
  pp_put_string(pp, colorize_start(show_color, "quote"));
}

void pp_close_quote(pretty_printer *pp, bool show_color)
{
  pp_put_string(pp, colorize_stop(show_color));
  pp_put_string(pp, close_quote);
}

void pp_begin_url(pretty_printer *pp, const char *url)
{
  switch (pp->url_format) {
  case URL_FORMAT_NONE:
    return;
  case URL_FORMAT_ST:
    pp_put_string(pp, "\33]8;;");
    pp_put_string(pp, url);
    pp_put_string(pp, "\33\\");
    return;
  case URL_FORMAT_BEL:
    pp_put_string(pp, "\33]8;;");
    pp_put_string(pp, url);
    pp_put_string(pp, "\a");
    return;
  default:
    vuz_unreachable();
  }
}

void pp_close_url(pretty_printer *pp)
{
  pp_put_string(pp, get_end_url_string(pp->url_format));
}

void pp_set_line_cutoff(pretty_printer *pp, int n)
{
  pp->line_cutoff = n;
  set_maximum_length(pp);
}

void pp_replace_prefix(pretty_printer *pp, char *text)
{
  free(pp->prefix);
  pp->prefix = text;
  set_maximum_length(pp);
  pp->emitted_prefix = false;
  pp->indent_skip = 0;
}

char *pp_release_prefix(pretty_printer *pp)
{
  char *prefix = pp->prefix;
  pp->prefix = nullptr;
  return prefix;
}

void pp_free_prefix(pretty_printer *pp)
{
  free(pp->prefix);
  pp->prefix = nullptr;
}

// Terminates the text without making the NUL part of it, so that text
// appended later follows the earlier text directly.
static char *terminated_text(pretty_printer *pp)
{
  obstack *h = &pp->buffer->formatted;
  if (obstack_room(h) < 1)
    obstack_grow_chunk(h, 1);
  *h->next_byte = '\0';
  return static_cast<char *>(obstack_base(h));
}

const char *pp_current_text(pretty_printer *pp)
{
  return terminated_text(pp);
}

void pp_clear_text(pretty_printer *pp)
{
  obstack *h = &pp->buffer->formatted;
  h->next_byte = h->object_start;
  pp->buffer->line_length = 0;
}

const char *pp_last_char(pretty_printer *pp)
{
  obstack *h = &pp->buffer->formatted;
  if (obstack_object_length(h) == 0)
    return nullptr;
  return h->next_byte - 1;
}

int pp_columns_left(pretty_printer *pp)
{
  return pp->maximum_length - pp->buffer->line_length;
}

void pp_dump_to_stream(pretty_printer *pp)
{
  fputs(terminated_text(pp), pp->buffer->stream);
  pp_clear_text(pp);
}

void pp_flush_output_always(pretty_printer *pp)
{
  pp->emitted_prefix = false;
  pp->indent_skip = 0;
  pp_dump_to_stream(pp);
  fflush(pp->buffer->stream);
}

void pp_flush_output(pretty_printer *pp)
{
  if (pp->buffer->flush_enabled) {
    pp_flush_output_always(pp);
    return;
  }
  pp->emitted_prefix = false;
  pp->indent_skip = 0;
}

void pp_end_line_and_flush(pretty_printer *pp)
{
  pp_put_newline(pp);
  pp_flush_output(pp);
}

void pp_write_text_as_dot_label_to_stream(pretty_printer *pp, bool for_record)
{
  const char *text = terminated_text(pp);
  FILE *stream = pp->buffer->stream;
  for (const char *p = text; *p; p++) {
    switch (*p) {
    case '\n':
      fputs("\\l\\\n", stream);
      break;
    case '"':
      fputs("\\\"", stream);
      break;
    case '\\':
      // A lone backslash at the end would escape the label's closing quote.
      vuz_assert(p[1] != '\0');
      fputs("\\\\", stream);
      break;
    case ' ':
    case '<':
    case '>':
    case '{':
    case '}':
    case '|':
      if (for_record)
        fputc('\\', stream);
      fputc(*p, stream);
      break;
    default:
      fputc(*p, stream);
    }
  }
  pp_clear_text(pp);
}

void pp_dump_html_escaped(pretty_printer *pp)
{
  const char *text = terminated_text(pp);
  FILE *stream = pp->buffer->stream;
  for (const char *p = text; *p; p++) {
    switch (*p) {
    case '"':
      fputs("&quot;", stream);
      break;
    case '&':
      fputs("&amp;", stream);
      break;
    case '<':
      fputs("&lt;", stream);
      break;
    case '>':
      fputs("&gt;", stream);
      break;
    default:
      fputc(*p, stream);
    }
  }
  pp_clear_text(pp);
}
