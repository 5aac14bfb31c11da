// Directives-only processing: runs the directives of a translation unit and
// hands every other stretch of source to the client unchanged. The scan
// reads characters, knowing only where comments and literals begin and end,
// so that a "#" inside them is never taken for a directive.
#include "libsprenk/preprocessor-internal.h"

#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cstring>

typedef const unsigned char *cursor_t;

namespace {

enum { RAW_DELIMITER_MAX = 16 };

bool is_idchar(unsigned char c)
{
  return char_has_class(c, CC_IDSTART | CC_DIGIT);
}

// Scan state of one buffer.
struct scan_state {
  preprocessor_reader *reader;
  void *data;
  dironly_callback callback;
  cursor_t base;       // the text not yet handed out starts here
  cursor_t line_start;
  cursor_t low_water;  // backward looks stop here: the end of the last literal
  uint32_t lines;      // since base
  bool bol;
};

void count_line(scan_state &s)
{
  _cpp_advance_line(s.reader, 0);
  s.lines++;
}

// The line end at P (a newline, a carriage return or the pair) is counted;
// returns its last byte.
cursor_t end_line(scan_state &s, cursor_t p, cursor_t limit)
{
  if (*p == '\r' && p + 1 < limit && p[1] == '\n')
    p++;
  count_line(s);
  s.line_start = p + 1;
  return p;
}

void hand_out_text(scan_state &s, cursor_t end)
{
  if (end == s.base || s.reader->state.skipping)
    return;
  dironly_event event = {};
  event.lines = s.lines;
  event.text = s.base;
  event.length = uint64_t(end - s.base);
  s.callback(s.reader, DIRONLY_TEXT, s.data, event);
}

void hand_out_location(scan_state &s)
{
  if (s.reader->state.skipping || s.reader->buffer == nullptr ||
      s.reader->buffer->next_line >= s.reader->buffer->limit)
    return;
  dironly_event event = {};
  event.location = s.reader->line_table->line_start_location;
  s.callback(s.reader, DIRONLY_LOCATION, s.data, event);
}

// The column of POSITION on the current line, for diagnostics.
uint32_t column_of(const scan_state &s, cursor_t position)
{
  return uint32_t(position - s.line_start) + 1;
}

} // namespace

namespace {

// A backslash-newline (or carriage return) at P; where it ends, or null.
// Blanks between the backslash and the newline still splice, as they do
// when the line is prepared for the full run.
cursor_t splice_end(cursor_t p, cursor_t limit)
{
  if (*p != '\\')
    return nullptr;
  cursor_t q = p + 1;
  while (q < limit && char_has_class(*q, CC_HSPACE_OR_NUL))
    q++;
  // A backslash just before the limit does not splice with the sentinel.
  if (q >= limit)
    return nullptr;
  if (q[0] == '\r' && q + 1 < limit && q[1] == '\n')
    return q + 2;
  if (q[0] == '\n' || q[0] == '\r')
    return q + 1;
  return nullptr;
}

} // namespace

cursor_t skip_splices(cursor_t position, cursor_t limit)
{
  while (cursor_t after = splice_end(position, limit))
    position = after;
  return position;
}

cursor_t match_module_keyword(const char *keyword, cursor_t position, cursor_t limit)
{
  // The first character matched already; the second (or a splice) follows at once.
  if (position + 1 >= limit || (position[1] != keyword[1] && position[1] != '\\'))
    return nullptr;
  cursor_t p = position + 1;
  for (const char *k = keyword + 1; *k; k++) {
    p = skip_splices(p, limit);
    if (p >= limit || *p != uint8_t(*k))
      return nullptr;
    p++;
  }
  p = skip_splices(p, limit);
  if (p < limit && is_idchar(*p))
    return nullptr;
  for (;;) {
    cursor_t after = skip_splices(p, limit);
    if (after >= limit || (*after != ' ' && *after != '\t'))
      return after;
    p = after + 1;
  }
}

namespace {

// Walks back from the quote at QUOTE to decide whether it opens a literal;
// *raw says whether a double quote opens a raw string.
bool quote_opens_literal(const scan_state &s, cursor_t quote, bool *raw)
{
  const cpp_reader_options &o = s.reader->options;
  unsigned char q = *quote;
  bool is_raw = false, number_possible = false, number_certain = false;
  bool prefix_done = q == '\'';
  int prefix_step = 0; // double quote: 0 expects R, 1 after R, 2 after 8
  cursor_t p = quote;
  while (p > s.low_water) {
    cursor_t c = p - 1;
    // Skip splices backwards: a newline or carriage return preceded by a backslash.
    if ((*c == '\n' || *c == '\r') && c > s.low_water) {
      cursor_t b = c - 1;
      if (*c == '\n' && *b == '\r' && b > s.low_water)
        b--;
      if (*b == '\\') {
        p = b;
        continue;
      }
    }
    unsigned char ch = *c;
    if (!prefix_done) {
      if (prefix_step == 0) {
        if (ch != 'R')
          break;
        is_raw = true;
        prefix_step = 1;
        p = c;
        continue;
      }
      if (prefix_step == 1) {
        if (ch == 'L' || ch == 'U' || ch == 'u') {
          prefix_done = true;
          p = c;
          continue;
        }
        if (ch == '8') {
          prefix_step = 2;
          p = c;
          continue;
        }
        prefix_done = true;
      } else {
        if (ch != 'u') {
          is_raw = false;
          break;
        }
        prefix_done = true;
        p = c;
        continue;
      }
    }
    if (ch == '\'' || ch == '"') {
      if (c == s.low_water) {
        // It closed the previous literal: a prefix cannot follow it.
        if (o.unicode_literal_prefixes && !number_possible && !number_certain)
          is_raw = false;
      } else if (ch == '\'' && o.digit_separator_quotes) {
        number_possible = true;
      }
      break;
    }
    if (is_idchar(ch)) {
      if (q == '"' && !number_certain) {
        is_raw = false;
        break;
      }
      number_possible = c_isdigit(ch);
      p = c;
      continue;
    }
    if (ch == '.') {
      number_certain = true;
      p = c;
      continue;
    }
    if (ch == '+' || ch == '-') {
      if (c > s.low_water && (c[-1] == 'e' || c[-1] == 'E' || c[-1] == 'p' || c[-1] == 'P')) {
        number_certain = true;
        number_possible = false;
        p = c;
        continue;
      }
      break;
    }
    break;
  }
  // A number must start with a digit: after "a." or a lone "e+" the quote
  // opens a literal.
  if (number_possible) {
    if (q == '\'')
      return false;
    is_raw = false;
  }
  *raw = is_raw;
  return true;
}

// Scans a literal whose opening quote is at QUOTE; returns the position
// after its closing quote, or the limit.
cursor_t skip_literal(scan_state &s, cursor_t quote, bool raw, cursor_t limit)
{
  preprocessor_reader *reader = s.reader;
  unsigned char q = *quote;
  uint32_t column = column_of(s, quote) + 1;
  location_t line = reader->line_table->line_start_location;
  cursor_t p = quote + 1;
  unsigned char delimiter[RAW_DELIMITER_MAX];
  uint32_t delimiter_length = 0;
  if (raw) {
    for (;;) {
      if (p >= limit) {
        diag_error_at_line(reader, DL_ERROR, line, column, "unterminated literal");
        return limit;
      }
      unsigned char c = *p;
      if (c == '(') {
        p++;
        break;
      }
      const char *bad = nullptr;
      if (delimiter_length == RAW_DELIMITER_MAX)
        bad = "";
      else if (c == ')' || c == ' ' || c == '\\' || c == '\t' || c == '\v' || c == '\f' ||
               c == '\n' || c == '\0')
        bad = "c";
      if (bad) {
        if (*bad)
          diag_error_at_line(reader, DL_ERROR, line, column,
                             "invalid character '%c' in raw string delimiter", c);
        else
          diag_error_at_line(reader, DL_ERROR, line, column,
                             "raw string delimiter longer than %d characters", RAW_DELIMITER_MAX);
        raw = false;
        p = quote + 1;
        break;
      }
      delimiter[delimiter_length++] = c;
      p++;
    }
  }
  uint32_t escapes = 0;
  for (; p < limit; p++) {
    unsigned char c = *p;
    if (c == '\\' && !raw) {
      escapes++;
      continue;
    }
    if (c == '\n' || c == '\r') {
      p = end_line(s, p, limit);
      if (escapes)
        escapes--;
      continue;
    }
    if (raw && c == ')') {
      cursor_t e = p + 1;
      if (e + delimiter_length < limit && memcmp(e, delimiter, delimiter_length) == 0 &&
          e[delimiter_length] == q)
        return e + delimiter_length + 1;
    } else if (!raw && c == q && !(escapes & 1)) {
      return p + 1;
    }
    escapes = 0;
  }
  diag_error_at_line(reader, DL_ERROR, line, column, "unterminated literal");
  return limit;
}

// A comment from the "/" at START, whose second character is at SECOND;
// returns the position after it, or the limit.
cursor_t scan_comment(scan_state &s, cursor_t start, cursor_t second, cursor_t limit)
{
  bool line_comment = *second == '/';
  uint32_t column = column_of(s, start);
  location_t line = s.reader->line_table->line_start_location;
  bool armed = false;
  for (cursor_t p = second + 1; p < limit; p++) {
    unsigned char c = *p;
    cursor_t after = splice_end(p, limit);
    if (after) {
      // A splice goes on with a line comment, and one between "*" and "/"
      // still closes a block comment.
      p = after - 1;
      count_line(s);
      s.line_start = after;
      continue;
    }
    if (c == '\n' || c == '\r') {
      p = end_line(s, p, limit);
      if (line_comment) {
        s.bol = true;
        return p + 1;
      }
      armed = false;
      continue;
    }
    if (!line_comment) {
      if (c == '/' && armed)
        return p + 1;
      armed = c == '*';
    }
  }
  if (!line_comment)
    diag_error_at_line(s.reader, DL_ERROR, line, column, "unterminated comment");
  return limit;
}

// Whether the header name opened at QUOTE (no escapes in it) closes before
// its line ends and, with user-defined literals, has no suffix: the
// tokeniser takes only a plain one for a control line.
bool plain_string_on_line(const cpp_reader_options &o, cursor_t quote, cursor_t limit)
{
  for (cursor_t p = quote + 1; p < limit && *p != '\n' && *p != '\r'; p++)
    if (*p == '"')
      return !(o.user_defined_literals && p + 1 < limit && is_idchar(p[1]));
  return false;
}

// Whether the identifier at P is one of C++'s named operators, which the
// tokeniser makes an operator, never the name a control line needs.
bool names_an_operator(const cpp_reader_options &o, cursor_t p, cursor_t limit)
{
  if (!o.cplusplus_mode || !o.operator_name_keywords)
    return false;
  unsigned char name[8];
  uint32_t length = 0;
  for (; p < limit && is_idchar(*p); p = skip_splices(p + 1, limit)) {
    if (length == sizeof name)
      return false;
    name[length++] = *p;
  }
  return _cpp_is_named_operator(name, length);
}

// At a line start, whether the keyword at P begins a C++ modules control
// line, decided by the character after the keyword and its white space.
bool is_module_line(const cpp_reader_options &o, cursor_t p, cursor_t limit)
{
  bool import_form = false;
  cursor_t after = nullptr;
  switch (*p) {
  case '_': after = match_module_keyword("__import", p, limit); import_form = true; break;
  case 'i': after = match_module_keyword("import", p, limit); import_form = true; break;
  case 'm': after = match_module_keyword("module", p, limit); break;
  case 'e':
    after = match_module_keyword("export", p, limit);
    if (after && after < limit && *after == 'i') {
      after = match_module_keyword("import", after, limit);
      import_form = true;
    } else if (after && after < limit && *after == 'm') {
      after = match_module_keyword("module", after, limit);
    } else {
      after = nullptr;
    }
    break;
  default: break;
  }
  if (after == nullptr || after >= limit)
    return false;
  unsigned char c = *after;
  cursor_t next = skip_splices(after + 1, limit);
  unsigned char n = next < limit ? *next : '\n';
  if (c == 'u' || c == 'U' || c == 'L') {
    if (c == 'u' && n == '8') {
      next = skip_splices(next + 1, limit);
      n = next < limit ? *next : '\n';
    }
    if (n == '"' || n == '\'')
      return false;
    if (n != 'R')
      return true;
    c = 'R';
    next = skip_splices(next + 1, limit);
    n = next < limit ? *next : '\n';
  }
  if (c == 'R')
    return !(o.raw_string_literals && n == '"');
  if (c_isalpha(c) || c == '_')
    return !names_an_operator(o, after, limit);
  switch (c) {
  // "<%" is a brace to the tokeniser.
  case '<':
    return import_form && n != '<' && n != '=' &&
           !(o.digraph_tokens && (n == ':' || n == '%'));
  case ';': return !import_form;
  case '"': return import_form && plain_string_on_line(o, after, limit);
  case ':': return n != ':' && !(o.digraph_tokens && n == '>');
  default: return false;
  }
}

// Hands out the tokens of the modules control line whose keyword is at P.
void hand_out_module_line(scan_state &s, cursor_t p)
{
  preprocessor_reader *reader = s.reader;
  input_buffer *buffer = reader->buffer;
  while (p > s.line_start && (p[-1] == ' ' || p[-1] == '\t'))
    p--;
  hand_out_text(s, p);
  buffer->next_line = p;
  buffer->need_line = true;
  for (;;) {
    dironly_event event = {};
    event.token = cpp_next_token_with_location(reader, &event.location);
    // The end of the input ends the line too, even if it stays open.
    if (event.token->kind == TK_EOF)
      break;
    bool in_line = reader->state.in_deferred_pragma != 0;
    vuz_assert_as(in_line || event.token->kind == TK_PRAGMA_EOL, __FILE__,
                  "cpp_directive_only_process");
    s.callback(reader, DIRONLY_TOKEN, s.data, event);
    if (!in_line)
      break;
  }
  hand_out_location(s);
  reader->mi_valid = false;
}

// Hands out the "#" line at HASH as its line was prepared, splices
// removed, up to its newline; the line spans LINES lines of the source.
void hand_out_hash_line(scan_state &s, cursor_t hash, uint32_t lines)
{
  if (s.reader->state.skipping)
    return;
  cursor_t end = hash + 1;
  while (*end != '\n')
    end++;
  dironly_event event = {};
  event.lines = lines;
  event.text = hash;
  event.length = uint64_t(end + 1 - hash);
  s.callback(s.reader, DIRONLY_TEXT, s.data, event);
}

// The source lines of the prepared line: one plus its splices.
uint32_t prepared_line_count(const input_buffer *buffer)
{
  uint32_t lines = 1;
  for (uint32_t i = 0; i < buffer->notes_used; i++)
    lines += buffer->notes[i].kind == '\\' || buffer->notes[i].kind == ' ';
  return lines;
}

// A "#" line that is no directive (assembler text) is text.
void hand_out_non_directive(scan_state &s, cursor_t hash)
{
  preprocessor_reader *reader = s.reader;
  reader->lookaheads = 0; // the directive layer gave its first token back
  uint32_t lines = prepared_line_count(reader->buffer);
  for (uint32_t i = 0; i < lines; i++)
    _cpp_advance_line(reader, 0);
  hand_out_hash_line(s, hash, lines);
}

// Whether the prepared directive line after HASH is a pragma.
bool is_pragma_line(cursor_t hash)
{
  cursor_t p = hash + 1;
  while (*p == ' ' || *p == '\t')
    p++;
  return memcmp(p, "pragma", 6) == 0 && !is_idchar(p[6]);
}

// Runs the directive whose "#" is at HASH; false when the line is no
// directive. push_macro and pop_macro stay in the text, after the #undef a
// client prints for pop_macro, so that a full run over the text restores
// the same definitions (built-in ones too).
bool run_directive(scan_state &s, cursor_t hash)
{
  preprocessor_reader *reader = s.reader;
  input_buffer *buffer = reader->buffer;
  uint32_t stack_changes = reader->macro_stack_changes;
  if (!process_directive_line(reader, hash != s.line_start))
    return false;
  if (reader->macro_stack_changes != stack_changes && reader->buffer == buffer &&
      is_pragma_line(hash))
    hand_out_hash_line(s, hash, prepared_line_count(buffer));
  return true;
}

// Scans the current buffer until a directive or its end; true when a
// directive ran (the caller restarts on the current buffer).
bool scan_buffer(scan_state &s)
{
  preprocessor_reader *reader = s.reader;
  input_buffer *buffer = reader->buffer;
  const cpp_reader_options &o = reader->options;
  cursor_t limit = buffer->limit;
  cursor_t p = s.base;
  while (p < limit) {
    unsigned char c = *p;
    switch (c) {
    case ' ': case '\t': case '\f': case '\v':
      p++;
      continue;
    case '\r':
    case '\n':
      p = end_line(s, p, limit) + 1;
      s.bol = true;
      continue;
    case '\\': {
      cursor_t after = splice_end(p, limit);
      if (after) {
        p = after;
        count_line(s);
        s.line_start = p;
        continue;
      }
      break;
    }
    case '#':
      if (s.bol) {
        hand_out_text(s, p);
        buffer->next_line = p + 1;
        buffer->need_line = true;
        _cpp_prepare_line(reader);
        buffer->line_base -= (p + 1) - s.line_start;
        if (!run_directive(s, p)) {
          hand_out_non_directive(s, p);
          return true;
        }
        reader->line_table->top_location = reader->line_table->line_start_location;
        hand_out_location(s);
        return true;
      }
      break;
    case '/': {
      cursor_t second = skip_splices(p + 1, limit);
      if (second < limit && (*second == '/' || *second == '*')) {
        bool bol = s.bol;
        for (cursor_t q = p + 1; q < second; q++)
          if (*q == '\n' || (*q == '\r' && q[1] != '\n'))
            count_line(s);
        p = scan_comment(s, p, second, limit);
        if (*second == '*')
          s.bol = bol;
        s.low_water = p;
        continue;
      }
      break;
    }
    case '\'':
    case '"': {
      bool raw = false;
      bool literal;
      if (c == '\'' && !o.digit_separator_quotes) {
        literal = true;
      } else if (c == '\'' && !is_idchar(*skip_splices(p + 1, limit))) {
        literal = true;
      } else if (c == '"' && !o.raw_string_literals) {
        literal = true;
      } else {
        literal = quote_opens_literal(s, p, &raw);
      }
      if (literal) {
        p = skip_literal(s, p, raw, limit);
        s.low_water = p - 1;
        s.bol = false;
        reader->mi_valid = false;
        continue;
      }
      break;
    }
    case '_': case 'e': case 'i': case 'm':
      if (s.bol && o.module_support && !reader->state.skipping && is_module_line(o, p, limit)) {
        hand_out_module_line(s, p);
        return true;
      }
      break;
    default:
      break;
    }
    s.bol = false;
    reader->mi_valid = false;
    p++;
  }
  if (s.base < limit && !reader->state.skipping) {
    cursor_t end = limit;
    if (limit[-1] != '\n' && limit[-1] != '\r') {
      end = limit + 1;
      count_line(s);
    }
    hand_out_text(s, end);
  }
  return false;
}

} // namespace

void cpp_directive_only_process(preprocessor_reader *reader, void *data,
                                dironly_callback callback)
{
  while (reader->buffer) {
    input_buffer *buffer = reader->buffer;
    buffer->notes_used = 0;
    buffer->current_note = 0;
    buffer->cursor = buffer->line_base = buffer->next_line;
    buffer->need_line = false;
    vuz_assert(*buffer->limit == '\n' || *buffer->limit == '\r');
    scan_state s = {reader, data, callback, buffer->next_line, buffer->next_line,
                    buffer->next_line, 0, true};
    if (!scan_buffer(s))
      buffer_pop(reader);
  }
}
