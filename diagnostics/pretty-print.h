// The pretty-printer: text is built on an obstack, prefixed and wrapped by
// rule, and reaches its stream only when flushed. Its format directives
// (pp_format) live in pp-format.cc.
#ifndef VUZ_DIAGNOSTICS_PRETTY_PRINT_H
#define VUZ_DIAGNOSTICS_PRETTY_PRINT_H

#include "support/obstack.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct located_ranges;
class pretty_printer;

// One message: its format, its arguments and what was true when it was made.
struct pp_message {
  const char *format;
  va_list *args;
  int saved_errno;
  void *client_data;
  located_ranges *ranges;
};

enum : int { PP_MAX_CHUNKS = 60, PP_MAX_ARGUMENTS = 30 };

struct pp_chunk_list {
  pp_chunk_list *previous;
  const char *chunks[PP_MAX_CHUNKS + 1];
};

struct pp_output_buffer {
  obstack formatted;
  obstack chunks;
  obstack *current;
  pp_chunk_list *chunk_list;
  FILE *stream;
  int line_length;
  char digit_buffer[128];
  bool flush_enabled;
};

// Prefixing rules.
enum : int { PP_PREFIX_ONCE = 0, PP_PREFIX_NEVER = 1, PP_PREFIX_EVERY_LINE = 2 };

// Handles a directive that pp_format does not know; returns true when it did.
// It may clear *quoted to suppress the closing quote.
typedef bool (*pp_format_decoder_fn)(pretty_printer *printer, pp_message *message,
                                     const char *directive, int l_count, bool wide, bool plus,
                                     bool hash, bool *quoted, const char ***argument_table);

class pp_postprocessor {
public:
  virtual ~pp_postprocessor() {}
  virtual pp_postprocessor *clone() const = 0;
  virtual void handle(pretty_printer *printer) = 0;
};

class pretty_printer {
public:
  explicit pretty_printer(int maximum_length = 0);
  virtual ~pretty_printer();
  virtual pretty_printer *clone() const;

  pp_output_buffer *buffer;
  char *prefix;
  int padding;
  int maximum_length;
  int indent_skip;
  int prefixing_rule;
  int line_cutoff;
  pp_format_decoder_fn format_decoder;
  pp_postprocessor *postprocessor;
  bool emitted_prefix;
  bool need_newline;
  bool translate_identifiers;
  bool show_color;
  int url_format;

  pretty_printer(const pretty_printer &) = delete;
  pretty_printer &operator=(const pretty_printer &) = delete;
};

inline bool pp_is_wrapping_line(const pretty_printer *pp)
{
  return pp->line_cutoff > 0;
}

void pp_put_char(pretty_printer *pp, int c);
void pp_put_string(pretty_printer *pp, const char *text);
void pp_put_wrapped(pretty_printer *pp, const char *start, const char *end);
void pp_put_text_range(pretty_printer *pp, const char *start, const char *end);
void pp_put_escaped(pretty_printer *pp, const char *text, long length);
void pp_put_newline(pretty_printer *pp);
void pp_put_indent(pretty_printer *pp);
void pp_newline_indented(pretty_printer *pp, int n);
void pp_put_separator(pretty_printer *pp, int c);
void pp_space_if_needed(pretty_printer *pp);
void pp_put_wide_int(pretty_printer *pp, int64_t value);
void pp_open_quote(pretty_printer *pp, bool show_color);
void pp_close_quote(pretty_printer *pp, bool show_color);
void pp_begin_url(pretty_printer *pp, const char *url);
void pp_close_url(pretty_printer *pp);

// The marker of a pretty-printer format argument: the directives (%q, %<,
// %r, %m...) are not printf's, so the compiler can check only that a format
// is given.
#define VUZ_PP_FORMAT(n) __attribute__((nonnull(n)))

void pp_format(pretty_printer *pp, pp_message *message);
void pp_output_formatted_text(pretty_printer *pp);
void pp_put_format(pretty_printer *pp, const char *format, ...) VUZ_PP_FORMAT(2);
void pp_put_format_unwrapped(pretty_printer *pp, const char *format, ...) VUZ_PP_FORMAT(2);
void pp_format_unwrapped(pretty_printer *pp, pp_message *message);
void pp_put_format_va(pretty_printer *pp, bool wrapped, const char *format, va_list *args);

void pp_set_line_cutoff(pretty_printer *pp, int n);
void pp_replace_prefix(pretty_printer *pp, char *text);
char *pp_release_prefix(pretty_printer *pp);
void pp_free_prefix(pretty_printer *pp);
void pp_put_prefix(pretty_printer *pp);

const char *pp_current_text(pretty_printer *pp);
void pp_clear_text(pretty_printer *pp);
const char *pp_last_char(pretty_printer *pp);
int pp_columns_left(pretty_printer *pp);
void pp_flush_output(pretty_printer *pp);
void pp_flush_output_always(pretty_printer *pp);
void pp_dump_to_stream(pretty_printer *pp);
void pp_end_line_and_flush(pretty_printer *pp);
void pp_write_text_as_dot_label_to_stream(pretty_printer *pp, bool for_record);
void pp_dump_html_escaped(pretty_printer *pp);

const char *identifier_to_display(const char *text);
int decode_utf8_char(const unsigned char *bytes, size_t length, unsigned *out);

// Both quote texts.
extern const char open_quote[];
extern const char close_quote[];

#endif
