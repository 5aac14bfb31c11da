// The lexer's extras: raw string literals, which undo line preparation;
// comments (skipping, fall-through recognition, saving); and the warnings
// attached to line notes and to identifiers out of normalisation form.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

typedef const unsigned char *cursor_t;

static inline bool is_horizontal_space(unsigned char c)
{
  return char_has_class(c, CC_HSPACE_OR_NUL);
}

// ---- Line notes ----

// Inside a comment a trigraph is reported only when it forms a splice.
static bool trigraph_warned_in_comment(preprocessor_reader *reader, const line_note *note)
{
  if (note->kind != '/')
    return false;
  if (reader->options.trigraph_sequences)
    return note[1].position == note->position;
  cursor_t p = note->position + 3;
  while (is_horizontal_space(*p) && *p != '\0')
    p++;
  return *p == '\n' && p < note[1].position;
}

void _cpp_process_line_notes(preprocessor_reader *reader, bool in_comment)
{
  input_buffer *buffer = reader->buffer;
  for (;;) {
    line_note *note = &buffer->notes[buffer->current_note];
    if (note->position > buffer->cursor)
      break;
    buffer->current_note++;
    uint32_t column = uint32_t(note->position + 1 - buffer->line_base);
    location_t line = reader->line_table->line_start_location;
    if (note->kind == '\\' || note->kind == ' ') {
      if (note->kind == ' ' && !in_comment)
        diag_error_at_line(reader, DL_WARNING, line, column,
                           "backslash and newline separated by space");
      if (buffer->next_line > buffer->limit) {
        diag_error_at_line(reader, DL_PEDWARN, line, column, "backslash-newline at end of file");
        buffer->next_line = buffer->limit;
      }
      buffer->line_base = note->position;
      _cpp_advance_line(reader, 0);
    } else if (unsigned char replacement = _cpp_trigraph_of(static_cast<unsigned char>(note->kind))) {
      if (reader->options.warn_trigraph_use &&
          (!in_comment || trigraph_warned_in_comment(reader, note))) {
        if (reader->options.trigraph_sequences)
          diag_warning_at_line(reader, DR_TRIGRAPHS, line, column, "trigraph ??%c converted to %c",
                               int(note->kind), int(replacement));
        else
          diag_warning_at_line(reader, DR_TRIGRAPHS, line, column,
                               "trigraph ??%c ignored, use -trigraphs to enable", int(note->kind));
      }
    } else {
      vuz_assert(note->kind == 0);
    }
  }
}

// ---- Comments ----

// The bytes a block comment's scan must look at: its end, a nested opener,
// a line end and the lead byte of a bidirectional control.
struct comment_stop_table {
  bool stop[256];
  constexpr comment_stop_table() : stop()
  {
    stop[static_cast<unsigned char>('/')] = stop[static_cast<unsigned char>('\n')] = true;
    stop[0xE2] = true;
  }
};
static constexpr comment_stop_table comment_stops;

bool _cpp_skip_c_comment(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  cursor_t cur = buffer->cursor + 1;
  bool bidi = bidi_checks_on(reader);
  if (*cur == '/')
    cur++;
  for (;;) {
    while (!comment_stops.stop[*cur])
      cur++;
    unsigned char c = *cur++;
    if (c == '/') {
      if (cur[-2] == '*') {
        if (bidi)
          bidi_check_close(reader, cur);
        break;
      }
      if (reader->options.warn_nested_comments && cur[0] == '*' && cur[1] != '/') {
        buffer->cursor = cur;
        diag_warning_at_line(reader, DR_COMMENTS, reader->line_table->line_start_location,
                             uint32_t(cur - buffer->line_base), "\"/*\" within comment");
      }
    } else if (c == '\n') {
      buffer->cursor = cur - 1;
      if (bidi)
        bidi_check_close(reader, cur);
      _cpp_process_line_notes(reader, true);
      if (buffer->next_line >= buffer->limit)
        return true;
      _cpp_prepare_line(reader);
      _cpp_advance_line(reader, uint32_t(buffer->next_line - buffer->line_base));
      cur = buffer->cursor;
    } else if (c == 0xE2 && bidi) {
      location_t location;
      bidi_kind kind = bidi_kind_of_utf8(reader, cur - 1, &location);
      bidi_check_char(reader, kind, false, location);
    }
  }
  buffer->cursor = cur;
  _cpp_process_line_notes(reader, true);
  return false;
}

bool skip_cxx_comment(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  location_t line = reader->line_table->line_start_location;
  cursor_t cur = buffer->cursor;
  if (!bidi_checks_on(reader)) {
    cur = static_cast<cursor_t>(memchr(cur, '\n', uint64_t(buffer->limit - cur) + 1));
  } else {
    bool seen_control = false;
    for (; *cur != '\n'; cur++) {
      if (*cur == 0xE2) {
        location_t location;
        bidi_kind kind = bidi_kind_of_utf8(reader, cur, &location);
        bidi_check_char(reader, kind, false, location);
        seen_control = true;
      }
    }
    if (seen_control)
      bidi_check_close(reader, cur);
  }
  buffer->cursor = cur;
  _cpp_process_line_notes(reader, true);
  return line != reader->line_table->line_start_location;
}

// ---- Kept comments ----

static void store_comment(preprocessor_reader *reader, const preproc_token *token)
{
  comment_store *store = &reader->comments;
  if (store->count == store->allocated)
    store->entries = _cpp_grow_array(store->entries, &store->allocated,
                                     store->allocated ? store->allocated * 2 : 256);
  saved_comment *entry = &store->entries[store->count++];
  entry->text = checked_strndup(reinterpret_cast<const char *>(token->value.str.text),
                                token->value.str.length);
  entry->location = token->location;
}

void keep_comment(preprocessor_reader *reader, preproc_token *token,
                  const unsigned char *start, unsigned char kind)
{
  cursor_t end = reader->buffer->cursor;
  uint64_t length = uint64_t(end - start) + 1;
  if (end[-1] == '\n' || end[-1] == '\r')
    length--;
  // Inside a directive or macro arguments a line comment becomes a block
  // comment, so that the rest of the logical line survives it.
  bool rewrite = (reader->state.in_directive || reader->state.parsing_args) && kind == '/';
  uint64_t kept = rewrite ? length + 2 : length;
  unsigned char *text = _cpp_pool_alloc(reader, kept + 1);
  text[0] = '/';
  memcpy(text + 1, start, length - 1);
  if (rewrite) {
    text[1] = '*';
    text[kept - 2] = '*';
    text[kept - 1] = '/';
    for (uint64_t i = 2; i < kept - 2; i++)
      if (text[i] == '/' && (text[i - 1] == '*' || text[i + 1] == '*'))
        text[i] = '|';
  }
  text[kept] = '\0';
  token->kind = TK_COMMENT;
  token->value.str.length = uint32_t(kept);
  token->value.str.text = text;
  store_comment(reader, token);
}

const comment_store *cpp_saved_comments(preprocessor_reader *reader)
{
  return &reader->comments;
}

// ---- Fall-through comments ----

// Case-insensitively "fall", an optional "s", blanks and hyphens, "thr",
// then "u" or "ough", anywhere in the text.
static bool loose_fallthrough_match(cursor_t from, cursor_t to)
{
  for (cursor_t start = from; to - start >= 8; start++) {
    cursor_t p = start;
    auto take = [&](const char *word) {
      size_t n = strlen(word);
      for (size_t i = 0; i < n; i++)
        if (p + i >= to || c_tolower(p[i]) != word[i])
          return false;
      p += n;
      return true;
    };
    if (!take("fall"))
      continue;
    if (p < to && c_tolower(*p) == 's')
      p++;
    while (p < to && (*p == ' ' || *p == '\t' || *p == '-'))
      p++;
    if (take("thr") && (take("u") || take("ough")))
      return true;
  }
  return false;
}

static cursor_t skip_blanks(cursor_t p, cursor_t to)
{
  while (p < to && (*p == ' ' || *p == '\t'))
    p++;
  return p;
}

static cursor_t match_word(cursor_t p, cursor_t to, const char *word)
{
  size_t n = strlen(word);
  if (size_t(to - p) < n || memcmp(p, word, n) != 0)
    return nullptr;
  return p + n;
}

// A lint-style marker: "-fallthrough", "@fallthrough@" or "lint -fallthrough".
static cursor_t lint_fallthrough(cursor_t p, cursor_t to)
{
  if (p < to && *p == '-') {
    if (cursor_t q = match_word(p + 1, to, "fallthrough"))
      return q;
  }
  if (p < to && *p == '@') {
    cursor_t q = match_word(p + 1, to, "fallthrough");
    if (q && q < to && *q == '@')
      return q + 1;
  }
  if (p < to && *p == 'l') {
    if (cursor_t q = match_word(p + 1, to, "int -fallthrough"))
      return skip_blanks(q, to);
  }
  return nullptr;
}

static cursor_t skip_blanks_and_marks(cursor_t p, cursor_t to)
{
  while (p < to && (*p == ' ' || *p == '\t' || *p == '.' || *p == '!'))
    p++;
  return p;
}

enum letter_case { CASE_UPPER, CASE_CAPITAL, CASE_LOWER };

// One of the spellings of a word in capitals, with a capital, or in lower case.
static cursor_t match_cased(cursor_t p, cursor_t to, const char *upper, const char *capital,
                            const char *lower, letter_case *which)
{
  if (cursor_t q = match_word(p, to, upper)) {
    *which = CASE_UPPER;
    return q;
  }
  if (cursor_t q = match_word(p, to, capital)) {
    *which = CASE_CAPITAL;
    return q;
  }
  if (cursor_t q = match_word(p, to, lower)) {
    *which = CASE_LOWER;
    return q;
  }
  return nullptr;
}

// The strict level: [else | intentional] fall [s|-| ] through [-...].
static cursor_t strict_fallthrough(cursor_t p, cursor_t to)
{
  p = skip_blanks_and_marks(p, to);
  letter_case lead;
  bool has_lead = false;
  if (cursor_t q = match_cased(p, to, "ELSE", "Else", "else", &lead)) {
    if (q < to && *q == ',')
      q++;
    if (q < to && *q == ' ') {
      p = q + 1;
      has_lead = true;
    }
  } else {
    static const char *const intentional[][3] = {{"INTENTIONALLY", "Intentionally", "intentionally"},
                                                 {"INTENTIONAL", "Intentional", "intentional"}};
    for (const auto &row : intentional) {
      cursor_t q = match_cased(p, to, row[0], row[1], row[2], &lead);
      if (q && q < to && *q == ' ') {
        p = q + 1;
        has_lead = true;
        break;
      }
    }
  }
  letter_case fall;
  cursor_t q = match_cased(p, to, "FALL", "Fall", "fall", &fall);
  if (q == nullptr)
    return nullptr;
  if (has_lead && lead == CASE_UPPER && fall != CASE_UPPER)
    return nullptr;
  if (has_lead && lead == CASE_LOWER && fall != CASE_LOWER)
    return nullptr;
  p = q;
  // "FALLS THRU" and "falls thru", never a mixed "FALLs".
  unsigned char plural = fall == CASE_UPPER ? 'S' : 's';
  if (p + 1 < to && *p == plural && p[1] == ' ')
    p += 2;
  else if (p < to && (*p == ' ' || *p == '-'))
    p++;
  bool upper_t = p < to && *p == 'T', lower_t = p < to && *p == 't';
  if (!(fall == CASE_UPPER ? upper_t : fall == CASE_LOWER ? lower_t : upper_t || lower_t))
    return nullptr;
  p++;
  const char *rest_short = fall == CASE_UPPER ? "HRU" : "hru";
  const char *rest_long = fall == CASE_UPPER ? "HROUGH" : "hrough";
  if (cursor_t r = match_word(p, to, rest_long))
    p = r;
  else if (cursor_t r2 = match_word(p, to, rest_short))
    p = r2;
  else
    return nullptr;
  p = skip_blanks_and_marks(p, to);
  if (p < to && *p == '-')
    p = to;
  return p;
}

// The FALLTHR(U|OUGH) form of the lint level.
static cursor_t lint_capitals(cursor_t p, cursor_t to)
{
  p = skip_blanks(p, to);
  cursor_t q = match_word(p, to, "FALLTHR");
  if (q == nullptr)
    return nullptr;
  if (cursor_t r = match_word(q, to, "OUGH"))
    q = r;
  else if (cursor_t r2 = match_word(q, to, "U"))
    q = r2;
  else
    return nullptr;
  return skip_blanks(q, to);
}

bool is_fallthrough_comment(preprocessor_reader *reader, const unsigned char *start)
{
  int level = reader->options.fallthrough_comments;
  if (level == 1)
    return true;
  if (level < 2 || level > 4)
    return false;
  cursor_t end = reader->buffer->cursor;
  bool block = *start == '*';
  // The text between the opening and closing delimiters.
  cursor_t from = start + 1;
  cursor_t to = block ? end - 2 : end;
  if (to < from)
    return false;
  if (level == 2)
    return loose_fallthrough_match(from, to);
  cursor_t matched = lint_fallthrough(from, to);
  if (matched == nullptr)
    matched = level == 4 ? lint_capitals(from, to) : strict_fallthrough(from, to);
  return matched == to;
}

// ---- Raw string literals ----

// The text as written of a raw string's earlier pieces, in a chain of scratch
// blocks; `read` is set while characters restored from a line note are read
// back, and reading stops at the last block's front.
struct raw_accumulator {
  scratch_buffer *first;
  scratch_buffer *last;
  const unsigned char *read;
  uint64_t total;
};

// The most a note restores at one place: "??/", a blank and a newline. They
// are read back from one block, so all of them must fit in it.
enum { RAW_RESTORE_MAX = 5 };

static uint64_t raw_block_room(const scratch_buffer *block)
{
  return uint64_t(block->limit - block->current);
}

static void raw_accumulator_append(raw_accumulator *acc, preprocessor_reader *reader,
                                   const unsigned char *text, uint64_t n)
{
  acc->total += n;
  if (acc->first == nullptr) {
    acc->first = acc->last = _cpp_scratch_take(reader, n);
  } else if (uint64_t room = raw_block_room(acc->last); room < n) {
    memcpy(acc->last->current, text, room);
    acc->last->current += room;
    text += room;
    n -= room;
    acc->last = _cpp_scratch_grow_chained(reader, acc->last, n);
  }
  memcpy(acc->last->current, text, n);
  acc->last->current += n;
}

// What is appended next is read back before the line goes on.
static void raw_accumulator_read_begin(raw_accumulator *acc, preprocessor_reader *reader)
{
  vuz_assert(acc->last != nullptr);
  if (raw_block_room(acc->last) < RAW_RESTORE_MAX)
    acc->last = _cpp_scratch_grow_chained(reader, acc->last, RAW_RESTORE_MAX);
  acc->read = acc->last->current;
}

static unsigned char raw_accumulator_next(raw_accumulator *acc)
{
  unsigned char c = *acc->read++;
  if (acc->read == acc->last->current)
    acc->read = nullptr;
  return c;
}

// The accumulated pieces followed by PIECE, in the text pool; the blocks go
// back to the free list.
static unsigned char *raw_accumulator_finish(raw_accumulator *acc, preprocessor_reader *reader,
                                             const unsigned char *piece, uint64_t n)
{
  if (acc->first == nullptr)
    return _cpp_pool_copy(reader, piece, n);
  unsigned char *text = _cpp_pool_alloc(reader, acc->total + n + 1);
  unsigned char *out = text;
  for (scratch_buffer *block = acc->first; block; block = block->next) {
    uint64_t used = uint64_t(block->current - block->base);
    memcpy(out, block->base, used);
    out += used;
  }
  memcpy(out, piece, n);
  out[n] = '\0';
  _cpp_scratch_release(reader, acc->first);
  *acc = raw_accumulator();
  return text;
}

// Walks a raw string's lines together with their notes, so that splices and
// trigraphs come back as written.
struct raw_scanner {
  preprocessor_reader *reader;
  cursor_t cur;
  cursor_t pending; // the line's text from here on is not accumulated yet
  uint32_t note;
  raw_accumulator accumulator;
};

// Accumulates the line up to the note and the characters it stands for, which
// are read next; the line goes on at RESUME.
static void raw_restore(raw_scanner *s, const char *written, cursor_t resume)
{
  raw_accumulator *acc = &s->accumulator;
  raw_accumulator_append(acc, s->reader, s->pending, uint64_t(s->cur - s->pending));
  raw_accumulator_read_begin(acc, s->reader);
  raw_accumulator_append(acc, s->reader, reinterpret_cast<const unsigned char *>(written),
                         strlen(written));
  s->pending = resume;
}

// Undoes the next note at the current position, if any.
static void raw_undo_notes(raw_scanner *s)
{
  input_buffer *buffer = s->reader->buffer;
  line_note *notes = buffer->notes;
  while (notes[s->note].position < s->cur)
    s->note++;
  for (; notes[s->note].position == s->cur; s->note++) {
    line_note *note = &notes[s->note];
    if (note->kind == '\\' || note->kind == ' ') {
      // One splice at a time: several can sit at one place.
      raw_restore(s, note->kind == ' ' ? "\\ \n" : "\\\n", s->cur);
      s->note++;
      return;
    } else if (note->kind == '\n' || note->kind == 0) {
      if (note->kind == '\n')
        break;
    } else if (_cpp_trigraph_of(static_cast<unsigned char>(note->kind))) {
      char third = char(note->kind);
      // Trigraphs show as written in a raw string: no warning later.
      note->kind = 0;
      if (!s->reader->options.trigraph_sequences)
        continue;
      if (third == '/' && notes[s->note + 1].position == s->cur) {
        // A ??/ splice: its replacement is gone with the newline.
        line_note *splice = &notes[++s->note];
        vuz_assert_as(splice->kind == '\\' || splice->kind == ' ', __FILE__, "lex_raw_string");
        raw_restore(s, splice->kind == ' ' ? "?\?/ \n" : "?\?/\n", s->cur);
        s->note++;
        return;
      }
      const char written[] = {'?', '?', third, '\0'};
      raw_restore(s, written, s->cur + 1);
      s->cur++; // over the replacement character
      return;
    } else {
      vuz_assert_as(false, __FILE__, "lex_raw_string");
    }
  }
}

static bool raw_delimiter_char(unsigned char c)
{
  return c_isalnum(c) || (c != 0 && strchr("_{}[]#<>%:;.?*+-/^&|~!=,\"'", c) != nullptr);
}

enum raw_phase { RAW_DELIMITER, RAW_BODY, RAW_SUFFIX };

// Where the scan of a raw string stands: collecting the delimiter, in the
// body, or matching ")" and the delimiter with its closing quote.
struct raw_delimiter {
  unsigned char text[18];
  uint32_t length;
  uint32_t matched;
  raw_phase phase;
  bool bad; // the token becomes OTHER
};

// After a bad delimiter the best recovery is to end at the next double quote.
static void raw_give_up_delimiter(raw_delimiter *d)
{
  d->bad = true;
  d->phase = RAW_BODY;
  d->length = 0;
}

// One character of the delimiter; true when it ends the literal.
static bool raw_delimiter_step(preprocessor_reader *reader, const preproc_token *token,
                               raw_delimiter *d, unsigned char c, uint32_t column)
{
  if (c == '(') {
    d->text[d->length++] = '"';
    d->phase = RAW_BODY;
    return false;
  }
  if (d->length < 16 && raw_delimiter_char(c)) {
    d->text[d->length++] = c;
    return false;
  }
  if (d->length == 16)
    diag_error_at_line(reader, DL_ERROR, token->location, column,
                       "raw string delimiter longer than 16 characters");
  else
    diag_error_at_line(reader, DL_ERROR, token->location, column,
                       "invalid character '%c' in raw string delimiter", int(c));
  raw_give_up_delimiter(d);
  return c == '"';
}

// One character after the delimiter; true when it ends the literal.
static bool raw_body_step(raw_delimiter *d, unsigned char c)
{
  if (d->phase == RAW_SUFFIX) {
    if (c == d->text[d->matched])
      return ++d->matched == d->length;
    d->phase = RAW_BODY;
  }
  if (d->length == 0)
    return c == '"';
  if (c == ')') {
    d->phase = RAW_SUFFIX;
    d->matched = 0;
  }
  return false;
}

// The next line of a raw string; false at the end of input (the token is
// then EOF).
static bool raw_next_line(raw_scanner *s, preproc_token *token)
{
  preprocessor_reader *reader = s->reader;
  input_buffer *buffer = reader->buffer;
  buffer->cursor = s->cur - 1;
  _cpp_process_line_notes(reader, false);
  if (buffer->next_line < buffer->limit)
    _cpp_advance_line(reader, 0);
  buffer->need_line = true;
  if (!_cpp_next_line(reader)) {
    location_t start = token->location;
    token->kind = TK_EOF;
    token->location = reader->line_table->line_start_location;
    token->flags = TOK_LINE_START;
    _cpp_scratch_release(reader, s->accumulator.first);
    diag_error_at_line(reader, DL_ERROR, start, 0, "unterminated raw string");
    if (reader->buffer && !reader->state.in_directive && !reader->state.parsing_args)
      buffer_pop(reader);
    return false;
  }
  s->cur = s->pending = reader->buffer->cursor;
  s->note = 0;
  return true;
}

enum raw_line_result { RAW_NEXT_LINE, RAW_STOP, RAW_END_OF_INPUT };

// A newline of the line inside a raw string: the literal goes on on the
// next line, or stops unterminated where no next line may be read.
static raw_line_result raw_line_end(raw_scanner *s, preproc_token *token, raw_delimiter *d)
{
  preprocessor_reader *reader = s->reader;
  // Macro arguments and a pragma's line may go on over later lines, but
  // not out of their buffer: at its end an open literal stops here. (A
  // pragma's line left at the end of the input would have no end.)
  bool last_line = reader->buffer->next_line >= reader->buffer->limit;
  if (reader->state.in_directive ||
      ((reader->state.parsing_args || reader->state.in_deferred_pragma) && last_line)) {
    s->cur--;
    d->bad = true;
    diag_error_at_line(reader, DL_ERROR, token->location, 0, "unterminated raw string");
    return RAW_STOP;
  }
  raw_accumulator_append(&s->accumulator, reader, s->pending, uint64_t(s->cur - s->pending));
  if (d->phase == RAW_SUFFIX)
    d->phase = RAW_BODY;
  return raw_next_line(s, token) ? RAW_NEXT_LINE : RAW_END_OF_INPUT;
}

static token_kind raw_string_kind(const unsigned char *prefix)
{
  switch (prefix[0]) {
  case 'L': return TK_WSTRING;
  case 'U': return TK_STRING32;
  case 'u': return prefix[1] == '8' ? TK_UTF8STRING : TK_STRING16;
  default: return TK_STRING;
  }
}

// The text of the finished literal with its suffix, into the text pool.
static void raw_finish(raw_scanner *s, preproc_token *token, token_kind kind)
{
  preprocessor_reader *reader = s->reader;
  if (bidi_checks_on(reader))
    bidi_check_close(reader, s->cur);
  token->kind = kind;
  cursor_t end = kind == TK_OTHER ? s->cur : _cpp_literal_suffix(reader, token, s->cur);
  reader->buffer->cursor = end;
  uint64_t piece = uint64_t(end - s->pending);
  token->value.str.length = uint32_t(s->accumulator.total + piece);
  token->value.str.text = raw_accumulator_finish(&s->accumulator, reader, s->pending, piece);
}

void _cpp_lex_raw_string(preprocessor_reader *reader, preproc_token *token,
                         const unsigned char *base)
{
  input_buffer *buffer = reader->buffer;
  raw_scanner s = {};
  s.reader = reader;
  s.cur = buffer->cursor + 1; // after the opening quote
  s.pending = base;
  s.note = buffer->current_note;
  raw_delimiter d = {};
  bool bidi = bidi_checks_on(reader);
  for (;;) {
    if (s.accumulator.read == nullptr)
      raw_undo_notes(&s);
    bool replayed = s.accumulator.read != nullptr;
    unsigned char c = replayed ? raw_accumulator_next(&s.accumulator) : *s.cur++;
    if (c == '\n' && !replayed) {
      if (d.phase == RAW_DELIMITER) {
        // A full delimiter is reported as too long, whatever comes next.
        diag_error_at_line(reader, DL_ERROR, token->location,
                           uint32_t(s.cur - reader->buffer->line_base),
                           d.length == 16 ? "raw string delimiter longer than 16 characters"
                                          : "invalid new-line in raw string delimiter");
        raw_give_up_delimiter(&d);
      }
      raw_line_result result = raw_line_end(&s, token, &d);
      if (result == RAW_STOP)
        break;
      if (result == RAW_END_OF_INPUT)
        return;
      continue;
    }
    if (c == 0xE2 && !replayed && bidi) {
      location_t location;
      bidi_check_char(reader, bidi_kind_of_utf8(reader, s.cur - 1, &location), false, location);
    }
    uint32_t column = uint32_t(s.cur - reader->buffer->line_base) + (replayed ? 1 : 0);
    bool ended = d.phase == RAW_DELIMITER ? raw_delimiter_step(reader, token, &d, c, column)
                                          : raw_body_step(&d, c);
    if (ended)
      break;
  }
  raw_finish(&s, token, d.bad ? TK_OTHER : raw_string_kind(base));
}

// ---- Normalisation ----

// The token's location as a range up to the scan position, when the line
// has no notes left to move its columns.
static location_t normalization_location(preprocessor_reader *reader, const preproc_token *token)
{
  input_buffer *buffer = reader->buffer;
  bool notes_pending = buffer->cursor >= buffer->notes[buffer->current_note].position &&
                       !reader->overlaid_buffer;
  if (token->location < RESERVED_LOCATION_COUNT || token->kind == TK_EOF || notes_pending)
    return token->location;
  location_span span;
  span.start = token->location;
  span.finish = linemap_column_location(reader->line_table,
                                        uint32_t(buffer->cursor - buffer->line_base));
  return linemap_combine_location(reader->line_table, token->location, span, nullptr);
}

void check_normalization(preprocessor_reader *reader, const preproc_token *token,
                         const normalization_state *state)
{
  if (reader->options.normalization_warning_level >= state->level || reader->state.skipping)
    return;
  unsigned char *text = static_cast<unsigned char *>(checked_malloc(cpp_spelling_bound(token)));
  int length = int(cpp_write_token_text(reader, token, text, false) - text);
  located_ranges record;
  located_ranges_init(&record, reader->line_table, normalization_location(reader, token), nullptr);
  record.escape_output = true;
  if (state->level == NORM_NFC)
    diag_warning_at_record(reader, DR_NORMALIZE, &record, "`%.*s' is not in NFKC", length, text);
  else if (reader->options.cplusplus_mode)
    diag_pedwarning_at_record(reader, DR_NORMALIZE, &record, "`%.*s' is not in NFC", length,
                              text);
  else
    diag_warning_at_record(reader, DR_NORMALIZE, &record, "`%.*s' is not in NFC", length, text);
  located_ranges_fini(&record);
  free(text);
}
