// The tokeniser: scans prepared lines into tokens one call at a time, and
// the token layer above it that replays lookahead, hands line-start "#" to
// the directives and drops the tokens of skipped groups.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"
#include "support/string-hash.h"

#include <cstdlib>
#include <cstring>

typedef const unsigned char *cursor_t;

static inline bool is_idchar(unsigned char c)
{
  return char_has_class(c, CC_IDSTART | CC_DIGIT);
}

static inline bool is_idstart(unsigned char c)
{
  return char_has_class(c, CC_IDSTART);
}

// ---- Lines and locations ----

uint32_t _cpp_current_line(preprocessor_reader *reader)
{
  linemap_set *set = reader->line_table;
  return ordinary_map_line(linemap_last_ordinary_map(set), set->line_start_location);
}

void _cpp_advance_line(preprocessor_reader *reader, uint32_t columns)
{
  // A definition from the command line, read before any file, has no
  // lines to count.
  if (linemap_last_ordinary_map(reader->line_table) == nullptr)
    return;
  linemap_start_line(reader->line_table, _cpp_current_line(reader) + 1, columns);
}

location_t _cpp_column_location(preprocessor_reader *reader, const unsigned char *position)
{
  return linemap_column_location(reader->line_table,
                                 uint32_t(position - reader->buffer->line_base) + 1);
}

// ---- Start-up and token storage ----

// Nothing to set up: the character classes and the trigraph map are
// computed at compile time.
void _cpp_lexer_startup() {}

void _cpp_token_block_init(token_block *block, uint32_t count)
{
  block->first = checked_new_array<preproc_token>(count);
  block->limit = block->first + count;
  block->next = nullptr;
}

static token_block *next_token_block(token_block *run)
{
  if (run->next == nullptr) {
    run->next = checked_new_cleared<token_block>();
    run->next->previous = run;
    _cpp_token_block_init(run->next, TOKEN_BLOCK_SIZE);
  }
  return run->next;
}

void _cpp_backup_lexed_tokens(preprocessor_reader *reader, uint32_t count)
{
  reader->lookaheads += count;
  while (count--) {
    if (reader->cur_token == reader->cur_run->first) {
      reader->cur_run = reader->cur_run->previous;
      reader->cur_token = reader->cur_run->limit;
    }
    reader->cur_token--;
  }
}

preproc_token *_cpp_insert_temp_token(preprocessor_reader *reader)
{
  // Move the lookahead tokens one place up to make room at the current one.
  if (reader->cur_token == reader->cur_run->limit) {
    reader->cur_run = next_token_block(reader->cur_run);
    reader->cur_token = reader->cur_run->first;
  }
  preproc_token *result = reader->cur_token;
  if (reader->lookaheads) {
    preproc_token *last = result;
    token_block *run = reader->cur_run;
    for (uint32_t i = 0; i < reader->lookaheads; i++) {
      if (++last == run->limit) {
        run = next_token_block(run);
        last = run->first;
      }
    }
    while (last != result) {
      preproc_token *before = last - 1;
      if (last == run->first) {
        run = run->previous;
        before = run->limit - 1;
      }
      *last = *before;
      last = before;
    }
  }
  location_t location = result == reader->cur_run->first
                            ? (reader->cur_run->previous ? reader->cur_run->previous->limit[-1].location
                                                         : 0)
                            : result[-1].location;
  memset(result, 0, sizeof *result);
  result->location = location;
  reader->cur_token++;
  return result;
}

// ---- Identifier characters beyond letters, digits and '_' ----

// Consumes '$', a universal character name or a UTF-8 character that may
// continue (or start) an identifier, moving *cursor past it.
static bool forms_identifier_extension(preprocessor_reader *reader, cursor_t *cursor,
                                       bool at_start, normalization_state *state)
{
  cursor_t p = *cursor;
  cpp_reader_options *o = &reader->options;
  if (*p == '$') {
    if (!o->dollars_in_identifiers)
      return false;
    _cpp_accept_dollar(reader, state);
    *cursor = p + 1;
    return true;
  }
  if (!o->ucn_identifiers)
    return false;
  int position = at_start ? IDENT_AT_START : IDENT_INSIDE;
  if (*p == '\\' && (p[1] == 'u' || p[1] == 'U')) {
    cursor_t q = p + 2;
    if (bidi_checks_on(reader)) {
      location_t location;
      bidi_kind kind = bidi_kind_of_ucn(reader, q, p[1] == 'u', &location);
      bidi_check_char(reader, kind, true, location);
    }
    uint32_t code_point;
    if (_cpp_valid_ucn(reader, &q, reader->buffer->limit, position, state, &code_point)) {
      *cursor = q;
      return true;
    }
    return false;
  }
  if (*p >= 0x80) {
    if (*p == 0xE2 && bidi_checks_on(reader)) {
      location_t location;
      bidi_kind kind = bidi_kind_of_utf8(reader, p, &location);
      bidi_check_char(reader, kind, false, location);
    }
    cursor_t q = p;
    uint32_t code_point;
    if (decode_utf8_identifier_char(reader, &q, reader->buffer->limit, position, state,
                                    &code_point)) {
      *cursor = q;
      return true;
    }
  }
  return false;
}

// ---- Identifiers ----

static void identifier_checks(preprocessor_reader *reader, ident_node *node)
{
  const special_nodes *s = &reader->spec_nodes;
  if ((node->flags & IDF_POISONED) && !reader->state.poisoned_ok)
    diag_error(reader, DL_ERROR, "attempt to use poisoned \"%s\"", node->text);
  if (node == s->n_va_args && !reader->state.va_args_ok) {
    if (reader->options.cplusplus_mode)
      diag_error(reader, DL_PEDWARN,
                 "__VA_ARGS__ can only appear in the expansion of a C++11 variadic macro");
    else
      diag_error(reader, DL_PEDWARN,
                 "__VA_ARGS__ can only appear in the expansion of a C99 variadic macro");
  }
  if (node == s->n_va_opt)
    check_va_opt_use(reader);
  if (node->flags & IDF_OPERATOR_IN_C)
    diag_warning(reader, DR_CXX_OPERATOR_NAMES,
                 "identifier \"%s\" is a special operator name in C++", node->text);
}

// The slow way: the identifier holds '$', universal character names or
// UTF-8; its node is its UTF-8 form and the spelling node the text as written.
static void lex_extended_identifier(preprocessor_reader *reader, preproc_token *token,
                                    cursor_t base, cursor_t cur, normalization_state *state)
{
  input_buffer *buffer = reader->buffer;
  for (;;) {
    cursor_t run = cur;
    while (is_idchar(*cur))
      cur++;
    // A letter is a base a combining mark after it may compose with.
    if (cur > run) {
      state->previous = cur[-1];
      state->previous_class = 0;
    }
    if (!forms_identifier_extension(reader, &cur, false, state))
      break;
  }
  buffer->cursor = cur;
  if (bidi_checks_on(reader))
    bidi_check_close(reader, cur);
  uint32_t length = uint32_t(cur - base);
  ident_node *spelling = cpp_intern(reader, reinterpret_cast<const char *>(base), length);
  ident_node *node = spelling;
  if (memchr(base, '\\', length))
    node = identifier_from_ucn_spelling(reader, base, length);
  token->value.ident.node = node;
  token->value.ident.spelling = spelling;
}

static void finish_identifier(preprocessor_reader *reader, preproc_token *token)
{
  ident_node *node = token->value.ident.node;
  token->kind = TK_NAME;
  if ((node->flags & IDF_CHECK_ON_LEX) && !reader->state.skipping)
    identifier_checks(reader, node);
  if (node->flags & IDF_NAMED_OPERATOR) {
    token->kind = uint8_t(node->index);
    token->flags |= TOK_NAMED_OPERATOR;
  }
}

// An identifier whose letters [base, cur) go on with an extension at cur,
// scanned the slow way; false when none follows.
static bool lex_identifier_with_extension(preprocessor_reader *reader, preproc_token *token,
                                          cursor_t base, cursor_t cur)
{
  normalization_state state = {};
  if (cur > base)
    state.previous = cur[-1];
  cursor_t after = cur;
  if (!forms_identifier_extension(reader, &after, cur == base, &state))
    return false;
  lex_extended_identifier(reader, token, base, after, &state);
  finish_identifier(reader, token);
  check_normalization(reader, token, &state);
  return true;
}

static void lex_identifier(preprocessor_reader *reader, preproc_token *token, cursor_t base)
{
  cursor_t cur = base;
  uint32_t hash = 0;
  while (is_idchar(*cur))
    hash = hash_text_step(hash, *cur++);
  if (__builtin_expect(*cur == '$' || *cur == '\\' || *cur >= 0x80, 0) &&
      lex_identifier_with_extension(reader, token, base, cur))
    return;
  uint32_t length = uint32_t(cur - base);
  reader->buffer->cursor = cur;
  ident_node *node = idtab_find_hashed(reader->idents, reinterpret_cast<const char *>(base),
                                       length, hash_text_finish(hash, length), IDTAB_INSERT);
  token->value.ident.node = token->value.ident.spelling = node;
  finish_identifier(reader, token);
}

ident_node *_cpp_intern_identifier_text(preprocessor_reader *reader, const char *text)
{
  const unsigned char *cur = reinterpret_cast<const unsigned char *>(text);
  uint32_t hash = 0;
  while (is_idchar(*cur))
    hash = hash_text_step(hash, *cur++);
  uint32_t length = uint32_t(cur - reinterpret_cast<const unsigned char *>(text));
  ident_node *node =
      idtab_find_hashed(reader->idents, text, length, hash_text_finish(hash, length),
                        IDTAB_INSERT);
  if ((node->flags & IDF_CHECK_ON_LEX) && !reader->state.skipping)
    identifier_checks(reader, node);
  return node;
}

// ---- Numbers ----

static void lex_number(preprocessor_reader *reader, preproc_token *token, cursor_t base)
{
  const cpp_reader_options *o = &reader->options;
  auto separator = [o](unsigned char c) { return c == '\'' && o->digit_separator_quotes; };
  auto sign = [o](unsigned char c, unsigned char previous) {
    return (c == '+' || c == '-') &&
           (previous == 'e' || previous == 'E' ||
            ((previous == 'p' || previous == 'P') && o->extended_number_forms));
  };
  cursor_t cur = base + 1;
  normalization_state state = {};
  do {
    cursor_t adjacent = nullptr;
    while (is_idchar(*cur) || (*cur == '.' && !separator(cur[-1])) || separator(*cur) ||
           (sign(*cur, cur[-1]) && !separator(cur[-2]))) {
      if (separator(*cur) && separator(cur[-1]) && adjacent == nullptr)
        adjacent = cur;
      cur++;
    }
    // A number never ends in a digit separator.
    while (cur > base + 1 && separator(cur[-1]))
      cur--;
    if (adjacent && adjacent < cur)
      diag_error(reader, DL_ERROR, "adjacent digit separators");
  } while (forms_identifier_extension(reader, &cur, false, &state));
  reader->buffer->cursor = cur;
  token->kind = TK_NUMBER;
  token->value.str.length = uint32_t(cur - base);
  token->value.str.text = _cpp_pool_copy(reader, base, uint64_t(cur - base));
}

// ---- String, character and header-name literals ----

static bool names_macro(preprocessor_reader *reader, cursor_t cur)
{
  if (!is_idstart(*cur))
    return false;
  cursor_t start = cur;
  uint32_t hash = 0;
  while (is_idchar(*cur))
    hash = hash_text_step(hash, *cur++);
  uint32_t length = uint32_t(cur - start);
  ident_node *node = idtab_find_hashed(reader->idents, reinterpret_cast<const char *>(start),
                                       length, hash_text_finish(hash, length), IDTAB_FIND_ONLY);
  return node != nullptr && ident_is_macro(node);
}

static bool is_string_kind(int kind)
{
  return kind >= TK_STRING && kind <= TK_UTF8STRING;
}

static bool is_char_kind(int kind)
{
  return kind >= TK_CHAR && kind <= TK_UTF8CHAR;
}

// The end of a suffix after a literal at cur: a user-defined literal's
// suffix in C++11 (the kind becomes user-defined), else at most a warning
// about a macro name that touches the literal.
const unsigned char *_cpp_literal_suffix(preprocessor_reader *reader, preproc_token *token,
                                         const unsigned char *cur)
{
  const cpp_reader_options *o = &reader->options;
  if (o->user_defined_literals) {
    bool reserved_suffix = cur[0] == '_' && cur[1] != '_';
    if (!reserved_suffix && names_macro(reader, cur)) {
      if (o->warn_literal_suffix_space && !reader->state.skipping)
        diag_warning_at_line(reader, DR_LITERAL_SUFFIX, token->location, 0,
                             "invalid suffix on literal; C++11 requires a space between "
                             "literal and string macro");
    } else if (is_idstart(*cur)) {
      if (is_string_kind(token->kind))
        token->kind = uint8_t(token->kind + TK_STRING_USERDEF_OFFSET);
      else if (is_char_kind(token->kind))
        token->kind = uint8_t(token->kind + TK_CHAR_USERDEF_OFFSET);
      cur++;
      while (is_idchar(*cur))
        cur++;
    }
  } else if (o->warn_cxx11_compatibility == 1 && names_macro(reader, cur) &&
             !reader->state.skipping) {
    diag_warning_at_line(reader, DR_CXX11_COMPAT, token->location, 0,
                         "C++11 requires a space between string literal and macro");
  }
  return cur;
}

static token_kind literal_kind(cursor_t base, unsigned char terminator)
{
  bool string = terminator == '"';
  switch (*base) {
  case 'L': return string ? TK_WSTRING : TK_WCHAR;
  case 'U': return string ? TK_STRING32 : TK_CHAR32;
  case 'u':
    if (base[1] == '8')
      return string ? TK_UTF8STRING : TK_UTF8CHAR;
    return string ? TK_STRING16 : TK_CHAR16;
  default: return string ? TK_STRING : TK_CHAR;
  }
}

static void check_literal_bidi(preprocessor_reader *reader, cursor_t cur)
{
  unsigned char c = cur[-1];
  location_t location;
  if (c == 0xE2) {
    bidi_check_char(reader, bidi_kind_of_utf8(reader, cur - 1, &location), false, location);
  } else if (c == '\\' && (*cur == 'u' || *cur == 'U')) {
    bidi_check_char(reader, bidi_kind_of_ucn(reader, cur + 1, *cur == 'u', &location), true,
                    location);
  }
}

// base is the first character of the literal (its prefix or its quote).
static void scan_literal(preprocessor_reader *reader, preproc_token *token, cursor_t base)
{
  cursor_t cur = base;
  unsigned char terminator = *cur++;
  if (terminator == 'L' || terminator == 'U') {
    terminator = *cur++;
  } else if (terminator == 'u') {
    terminator = *cur++;
    if (terminator == '8')
      terminator = *cur++;
  }
  if (terminator == 'R') {
    reader->buffer->cursor = cur;
    _cpp_lex_raw_string(reader, token, base);
    return;
  }
  token_kind kind = terminator == '<' ? TK_HEADER_NAME : literal_kind(base, terminator);
  if (terminator == '<')
    terminator = '>';
  bool angled = reader->state.angled_headers;
  bool bidi = bidi_checks_on(reader);
  bool saw_nul = false;
  for (;;) {
    unsigned char c = *cur++;
    if (c == '\\' && !angled && *cur != '\n') {
      if (bidi && (*cur == 'u' || *cur == 'U'))
        check_literal_bidi(reader, cur);
      cur++;
    } else if (c == terminator) {
      break;
    } else if (c == '\n') {
      cur--;
      if (terminator == '>') {
        // No closing '>' on the line: an ordinary "<".
        token->kind = TK_LESS;
        reader->buffer->cursor = base + 1;
        return;
      }
      kind = TK_OTHER;
      break;
    } else if (c == '\0') {
      saw_nul = true;
    } else if (c == 0xE2 && bidi) {
      check_literal_bidi(reader, cur);
    }
  }
  if (bidi)
    bidi_check_close(reader, cur);
  if (saw_nul && !reader->state.skipping)
    diag_warning(reader, DR_NONE, "null character(s) preserved in literal");
  if (kind == TK_OTHER && reader->options.language != DIALECT_ASM)
    diag_error_at_line(reader, DL_PEDWARN, token->location, 0, "missing terminating %c character",
                       int(terminator));
  token->kind = kind;
  if (kind != TK_OTHER && kind != TK_HEADER_NAME)
    cur = _cpp_literal_suffix(reader, token, cur);
  reader->buffer->cursor = cur;
  token->value.str.length = uint32_t(cur - base);
  token->value.str.text = _cpp_pool_copy(reader, base, uint64_t(cur - base));
}

// Whether the letter at cur[-1] starts a literal prefix.
static bool starts_literal_prefix(const cpp_reader_options *o, unsigned char c, cursor_t cur)
{
  if (!(c == 'L' || o->raw_string_literals || (c != 'R' && o->unicode_literal_prefixes)))
    return false;
  if ((*cur == '\'' && c != 'R') || *cur == '"')
    return true;
  if (*cur == 'R' && c != 'R' && cur[1] == '"' && o->raw_string_literals)
    return true;
  return *cur == '8' && c == 'u' &&
         (cur[1] == '"' || (cur[1] == '\'' && o->utf8_char_prefix) ||
          (cur[1] == 'R' && cur[2] == '"' && o->raw_string_literals));
}

// ---- Comments ----

static bool in_system_header(preprocessor_reader *reader)
{
  const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
  return map && map->in_system_header;
}

static void warn_once_per_file(preprocessor_reader *reader, int level, const char *message)
{
  if (diag_error(reader, level, "%s", message))
    diag_error(reader, DL_NOTE, "(this will be reported only once per input file)");
  reader->buffer->warned_cplusplus_comments = 1;
}

// The C90 diagnostics of "//"; false when "//" is to be read as "/".
static bool check_line_comment(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  const cpp_reader_options *o = &reader->options;
  if (in_system_header(reader))
    return true;
  if (o->language == DIALECT_KAV89 && o->pedantic_mode) {
    if (!buffer->warned_cplusplus_comments)
      warn_once_per_file(reader, DL_PEDWARN, "C++ style comments are not allowed in ISO C90");
  } else if (o->warn_c90_c99_compat > 0 && !o->cplusplus_mode) {
    if (!buffer->warned_cplusplus_comments)
      warn_once_per_file(reader, DL_WARNING, "C++ style comments are incompatible with C90");
  } else if (o->language == DIALECT_STDC89 || o->language == DIALECT_STDC94) {
    if (buffer->cursor[1] == '*' || reader->state.in_directive || reader->state.skipping)
      return false;
    if (!buffer->warned_cplusplus_comments)
      warn_once_per_file(reader, DL_ERROR, "C++ style comments are not allowed in ISO C90");
  }
  return true;
}

// After "/": a comment (true, with the comment kept as a token when comments
// are saved), or false with the token set to "/" or "/=".
enum comment_result { NOT_COMMENT, COMMENT_SKIPPED, COMMENT_KEPT };

static comment_result lex_slash(preprocessor_reader *reader, preproc_token *token)
{
  input_buffer *buffer = reader->buffer;
  cursor_t comment_start = buffer->cursor;
  unsigned char kind = *comment_start;
  if (kind == '*') {
    if (_cpp_skip_c_comment(reader))
      diag_error(reader, DL_ERROR, "unterminated comment");
  } else if (kind == '/' && !reader->options.traditional_mode && check_line_comment(reader)) {
    if (skip_cxx_comment(reader) && reader->options.warn_nested_comments)
      diag_warning(reader, DR_COMMENTS, "multi-line comment");
  } else if (kind == '=') {
    buffer->cursor++;
    token->kind = TK_DIV_EQ;
    return NOT_COMMENT;
  } else {
    token->kind = TK_DIV;
    return NOT_COMMENT;
  }
  bool fallthrough = is_fallthrough_comment(reader, comment_start);
  if (reader->callbacks.comment) {
    uint64_t length = uint64_t(reader->buffer->cursor - comment_start);
    reader->callbacks.comment(reader, token->location, comment_start - 1, length + 1);
  }
  if (!reader->state.save_comments) {
    if (fallthrough)
      reader->fallthrough_pending = true;
    token->flags |= TOK_SPACE_BEFORE;
    return COMMENT_SKIPPED;
  }
  if (fallthrough)
    token->flags |= TOK_FALLTHROUGH_BEFORE;
  keep_comment(reader, token, comment_start, kind);
  return COMMENT_KEPT;
}

// ---- Punctuators ----

static inline void one_or_two(cursor_t &cur, preproc_token *token, unsigned char next,
                              token_kind two, token_kind one)
{
  if (*cur == next) {
    cur++;
    token->kind = two;
  } else {
    token->kind = one;
  }
}

static bool spaceship_dialect(const cpp_reader_options *o)
{
  return o->cplusplus_mode && o->language >= DIALECT_KAVXX20 && o->language <= DIALECT_CXX23;
}

static void lex_less(preprocessor_reader *reader, preproc_token *token, cursor_t &cur)
{
  const cpp_reader_options *o = &reader->options;
  token->kind = TK_LESS;
  if (*cur == '=') {
    cur++;
    token->kind = TK_LESS_EQ;
    if (*cur == '>' && spaceship_dialect(o)) {
      cur++;
      token->kind = TK_SPACESHIP;
    }
  } else if (*cur == '<') {
    cur++;
    one_or_two(cur, token, '=', TK_LSHIFT_EQ, TK_LSHIFT);
  } else if (o->digraph_tokens) {
    if (*cur == ':') {
      // "<::" followed by neither ':' nor '>' is "<" and "::" from C++11 on.
      bool cxx98 = o->language == DIALECT_KAVXX98 || o->language == DIALECT_CXX98;
      if (o->cplusplus_mode && !cxx98 && cur[1] == ':' && cur[2] != ':' && cur[2] != '>')
        return;
      cur++;
      token->flags |= TOK_DIGRAPH;
      token->kind = TK_OPEN_SQUARE;
    } else if (*cur == '%') {
      cur++;
      token->flags |= TOK_DIGRAPH;
      token->kind = TK_OPEN_BRACE;
    }
  }
}

static void lex_percent(preprocessor_reader *reader, preproc_token *token, cursor_t &cur)
{
  token->kind = TK_MOD;
  if (*cur == '=') {
    cur++;
    token->kind = TK_MOD_EQ;
  } else if (reader->options.digraph_tokens) {
    if (*cur == ':') {
      cur++;
      token->flags |= TOK_DIGRAPH;
      token->kind = TK_HASH;
      if (cur[0] == '%' && cur[1] == ':') {
        cur += 2;
        token->kind = TK_PASTE;
        token->value.paste_index = 0;
      }
    } else if (*cur == '>') {
      cur++;
      token->flags |= TOK_DIGRAPH;
      token->kind = TK_CLOSE_BRACE;
    }
  }
}

static void lex_colon(preprocessor_reader *reader, preproc_token *token, cursor_t &cur)
{
  token->kind = TK_COLON;
  if (*cur == ':') {
    if (reader->options.scope_token) {
      cur++;
      token->kind = TK_SCOPE;
    } else {
      token->flags |= TOK_COLON_PAIR;
    }
  } else if (*cur == '>' && reader->options.digraph_tokens) {
    cur++;
    token->flags |= TOK_DIGRAPH;
    token->kind = TK_CLOSE_SQUARE;
  }
}

// Operators of one character, or of one followed by a second that forms
// another: rows {first, second, two-character kind, one-character kind}.
static bool lex_simple_operator(unsigned char c, preproc_token *token, cursor_t &cur)
{
  switch (c) {
  case '=': one_or_two(cur, token, '=', TK_EQ_EQ, TK_EQ); return true;
  case '!': one_or_two(cur, token, '=', TK_NOT_EQ, TK_NOT); return true;
  case '*': one_or_two(cur, token, '=', TK_MULT_EQ, TK_MULT); return true;
  case '^': one_or_two(cur, token, '=', TK_XOR_EQ, TK_XOR); return true;
  case '?': token->kind = TK_QUERY; return true;
  case '~': token->kind = TK_COMPL; return true;
  case ',': token->kind = TK_COMMA; return true;
  case '(': token->kind = TK_OPEN_PAREN; return true;
  case ')': token->kind = TK_CLOSE_PAREN; return true;
  case '[': token->kind = TK_OPEN_SQUARE; return true;
  case ']': token->kind = TK_CLOSE_SQUARE; return true;
  case '{': token->kind = TK_OPEN_BRACE; return true;
  case '}': token->kind = TK_CLOSE_BRACE; return true;
  case ';': token->kind = TK_SEMICOLON; return true;
  case '@': token->kind = TK_ATSIGN; return true;
  case '#':
    one_or_two(cur, token, '#', TK_PASTE, TK_HASH);
    if (token->kind == TK_PASTE)
      token->value.paste_index = 0;
    return true;
  case '>':
    if (*cur == '=') {
      cur++;
      token->kind = TK_GREATER_EQ;
    } else if (*cur == '>') {
      cur++;
      one_or_two(cur, token, '=', TK_RSHIFT_EQ, TK_RSHIFT);
    } else {
      token->kind = TK_GREATER;
    }
    return true;
  case '+':
    if (*cur == '+') {
      cur++;
      token->kind = TK_PLUS_PLUS;
    } else {
      one_or_two(cur, token, '=', TK_PLUS_EQ, TK_PLUS);
    }
    return true;
  case '&':
    if (*cur == '&') {
      cur++;
      token->kind = TK_AND_AND;
    } else {
      one_or_two(cur, token, '=', TK_AND_EQ, TK_AND);
    }
    return true;
  case '|':
    if (*cur == '|') {
      cur++;
      token->kind = TK_OR_OR;
    } else {
      one_or_two(cur, token, '=', TK_OR_EQ, TK_OR);
    }
    return true;
  default:
    return false;
  }
}

static void lex_minus(preprocessor_reader *reader, preproc_token *token, cursor_t &cur)
{
  if (*cur == '>') {
    cur++;
    token->kind = TK_DEREF;
    if (*cur == '*' && reader->options.cplusplus_mode) {
      cur++;
      token->kind = TK_DEREF_STAR;
    }
  } else if (*cur == '-') {
    cur++;
    token->kind = TK_MINUS_MINUS;
  } else {
    one_or_two(cur, token, '=', TK_MINUS_EQ, TK_MINUS);
  }
}

static void lex_dot(preprocessor_reader *reader, preproc_token *token, cursor_t &cur)
{
  token->kind = TK_DOT;
  if (cur[0] == '.' && cur[1] == '.') {
    cur += 2;
    token->kind = TK_ELLIPSIS;
  } else if (*cur == '*' && reader->options.cplusplus_mode) {
    cur++;
    token->kind = TK_DOT_STAR;
  }
}

// Any other byte: an identifier when it starts one, else an OTHER token of
// the byte or of the whole UTF-8 character it begins.
static void lex_other(preprocessor_reader *reader, preproc_token *token, cursor_t base)
{
  if (lex_identifier_with_extension(reader, token, base, base))
    return;
  cursor_t end = base + 1;
  if (*base >= 0x80) {
    cursor_t p = base;
    uint32_t code_point;
    if (decode_utf8_identifier_char(reader, &p, reader->buffer->limit, IDENT_IN_LITERAL,
                                    nullptr, &code_point))
      end = p;
  }
  reader->buffer->cursor = end;
  token->kind = TK_OTHER;
  token->value.str.length = uint32_t(end - base);
  token->value.str.text = _cpp_pool_copy(reader, base, uint64_t(end - base));
}

// ---- The scanner ----

bool _cpp_next_line(preprocessor_reader *reader)
{
  if (reader->state.in_directive)
    return false;
  for (;;) {
    input_buffer *buffer = reader->buffer;
    if (!buffer->need_line)
      return true;
    if (buffer->next_line < buffer->limit) {
      _cpp_prepare_line(reader);
      return true;
    }
    if (reader->state.parsing_args)
      return false;
    // The last line ended at the sentinel: clip to the limit.
    if (buffer->text != buffer->limit && buffer->next_line > buffer->limit &&
        !buffer->from_stage3)
      buffer->next_line = buffer->limit;
    if (buffer->previous == nullptr || buffer->return_at_eof) {
      _cpp_advance_line(reader, 0);
      return false;
    }
    buffer_pop(reader);
  }
}

static void skip_whitespace(preprocessor_reader *reader, unsigned char c)
{
  input_buffer *buffer = reader->buffer;
  cursor_t first_nul = nullptr;
  cursor_t cur = buffer->cursor;
  for (;;) {
    if (c == '\0') {
      if (first_nul == nullptr)
        first_nul = cur - 1;
    } else if ((c == '\f' || c == '\v') && reader->state.in_directive &&
               reader->options.pedantic_mode) {
      buffer->cursor = cur;
      diag_error(reader, DL_PEDWARN, "%s in preprocessing directive",
                 c == '\f' ? "form feed" : "vertical tab");
    }
    c = *cur++;
    if (!char_has_class(c, CC_HSPACE_OR_NUL))
      break;
  }
  buffer->cursor = cur - 1;
  if (first_nul) {
    located_ranges record;
    located_ranges_init(&record, reader->line_table, _cpp_column_location(reader, first_nul),
                        nullptr);
    record.escape_output = true;
    diag_warning_at_record(reader, DR_NONE, &record, "null character(s) ignored");
    located_ranges_fini(&record);
  }
}

// A fresh line: false with the token made EOF when the input has ended.
static bool scan_fresh_line(preprocessor_reader *reader, preproc_token *&token)
{
  input_buffer *buffer = reader->buffer;
  if (!_cpp_next_line(reader)) {
    token->kind = TK_EOF;
    // The end of a directive, or of the input inside a macro's arguments,
    // keeps the place of its newline, on that newline's own line: reports
    // of what it cut short point there.
    bool cut_short = reader->state.in_directive || reader->state.parsing_args;
    token->location = cut_short ? reader->directive_end : reader->line_table->line_start_location;
    if (!reader->state.in_directive && !reader->state.parsing_args) {
      token->flags = TOK_LINE_START;
      if (reader->buffer)
        buffer_pop(reader);
    }
    return false;
  }
  if (buffer != reader->buffer)
    reader->fallthrough_pending = false;
  if (!reader->keep_tokens) {
    reader->cur_run = &reader->base_run;
    token = reader->base_run.first;
    reader->cur_token = token + 1;
  }
  token->flags = TOK_LINE_START;
  if (reader->state.parsing_args == ARGS_COLLECTING)
    token->flags |= TOK_SPACE_BEFORE;
  return true;
}

// The end of a deferred pragma's line: no white space counts before it.
static void end_pragma_line(preprocessor_reader *reader, preproc_token *token)
{
  token->kind = TK_PRAGMA_EOL;
  token->flags = 0;
  reader->state.in_deferred_pragma = 0;
  if (!reader->state.pragma_allow_expansion)
    reader->state.prevent_expansion--;
}

// The token's location becomes a range ending at the current column.
static void widen_location(preprocessor_reader *reader, preproc_token *token)
{
  input_buffer *buffer = reader->buffer;
  if (buffer->cursor >= buffer->notes[buffer->current_note].position && !reader->overlaid_buffer)
    _cpp_process_line_notes(reader, false);
  location_span span;
  span.start = token->location;
  span.finish = linemap_column_location(reader->line_table,
                                        uint32_t(buffer->cursor - buffer->line_base));
  token->location = linemap_combine_location(reader->line_table, token->location, span, nullptr);
}

preproc_token *_cpp_scan_token(preprocessor_reader *reader)
{
  preproc_token *token = reader->cur_token++;
  token->flags = 0;
  input_buffer *buffer;
fresh_line:
  buffer = reader->buffer;
  if (buffer->need_line) {
    if (reader->state.in_deferred_pragma) {
      end_pragma_line(reader, token);
      token->location = reader->line_table->line_start_location;
      return token;
    }
    if (!scan_fresh_line(reader, token))
      return token;
    buffer = reader->buffer;
  }
skip_white:
  token->location = reader->line_table->line_start_location;
  if (buffer->cursor >= buffer->notes[buffer->current_note].position && !reader->overlaid_buffer)
    _cpp_process_line_notes(reader, false);
  {
    unsigned char c = *buffer->cursor++;
    // White space needs no location of its own: most tokens follow some.
    if (char_has_class(c, CC_HSPACE_OR_NUL)) {
      skip_whitespace(reader, c);
      token->flags |= TOK_SPACE_BEFORE;
      goto skip_white;
    }
    token->location = reader->forced_token_location
                          ? reader->forced_token_location
                          : linemap_column_location(reader->line_table,
                                                    uint32_t(buffer->cursor - buffer->line_base));
    cursor_t base = buffer->cursor - 1;
    cursor_t cur = buffer->cursor;
    switch (c) {
    case '\n':
      reader->directive_end = token->location;
      if (buffer->cursor < buffer->limit ||
          (reader->state.in_directive == DIRECTIVE_HEADER_NAME && !reader->options.traditional_mode))
        _cpp_advance_line(reader, 0);
      buffer->need_line = true;
      if (reader->state.in_deferred_pragma) {
        end_pragma_line(reader, token);
        return token;
      }
      goto fresh_line;

    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      lex_number(reader, token, base);
      break;

    case 'L': case 'u': case 'U': case 'R':
      if (starts_literal_prefix(&reader->options, c, cur)) {
        scan_literal(reader, token, base);
        break;
      }
      lex_identifier(reader, token, base);
      break;

    case '_':
    case 'a': case 'b': case 'c': case 'd': case 'e': case 'f': case 'g':
    case 'h': case 'i': case 'j': case 'k': case 'l': case 'm': case 'n':
    case 'o': case 'p': case 'q': case 'r': case 's': case 't':
    case 'v': case 'w': case 'x': case 'y': case 'z':
    case 'A': case 'B': case 'C': case 'D': case 'E': case 'F': case 'G':
    case 'H': case 'I': case 'J': case 'K': case 'M': case 'N':
    case 'O': case 'P': case 'Q': case 'S': case 'T':
    case 'V': case 'W': case 'X': case 'Y': case 'Z':
      lex_identifier(reader, token, base);
      break;

    case '\'': case '"':
      scan_literal(reader, token, base);
      break;

    case '/': {
      comment_result result = lex_slash(reader, token);
      if (result == COMMENT_SKIPPED) {
        buffer = reader->buffer;
        goto skip_white;
      }
      break;
    }

    case '<':
      if (reader->state.angled_headers) {
        scan_literal(reader, token, base);
        if (token->kind != TK_LESS)
          break;
        cur = reader->buffer->cursor;
      }
      lex_less(reader, token, cur);
      buffer->cursor = cur;
      break;

    case '.':
      if (c_isdigit(*cur)) {
        lex_number(reader, token, base);
        break;
      }
      lex_dot(reader, token, cur);
      buffer->cursor = cur;
      break;

    case '%': lex_percent(reader, token, cur); buffer->cursor = cur; break;
    case ':': lex_colon(reader, token, cur); buffer->cursor = cur; break;
    case '-': lex_minus(reader, token, cur); buffer->cursor = cur; break;

    default:
      if (lex_simple_operator(c, token, cur)) {
        buffer->cursor = cur;
        break;
      }
      lex_other(reader, token, base);
      break;
    }
  }
  if (reader->fallthrough_pending) {
    token->flags |= TOK_FALLTHROUGH_BEFORE;
    reader->fallthrough_pending = false;
  }
  if (token->location >= RESERVED_LOCATION_COUNT && token->kind != TK_EOF &&
      !reader->forced_token_location)
    widen_location(reader, token);
  return token;
}

// ---- The token layer ----

// After [export] module|import|__import at a line start: a C++ modules
// control line, read in deferred-pragma mode to its end, or ordinary text.
static void module_control_line(preprocessor_reader *reader, preproc_token *result)
{
  const special_nodes *s = &reader->spec_nodes;
  lexer_state *state = &reader->state;
  ident_node *node = result->value.ident.node;
  preproc_token *keyword = result, *peek = result;
  uint32_t peeked = 0, header_count = 0;
  state->in_deferred_pragma = 1;
  state->pragma_allow_expansion = 1;
  reader->directive_line = result->location;
  state->save_comments = 0;

  bool control = true;
  if (node == s->module_in[MODULE_EXPORT]) {
    keyword = peek = _cpp_scan_token(reader);
    peeked++;
    control = keyword->kind == TK_NAME &&
              (keyword->value.ident.node->flags & IDF_MODULE_KEYWORD);
    node = control ? keyword->value.ident.node : nullptr;
  }
  bool is_module = node == s->module_in[MODULE_MODULE];
  if (node == s->module_in[MODULE_UNDERSCORE_IMPORT])
    header_count = peeked + MODULE_HEADER_TOKENS + MODULE_HEADER_AS_WRITTEN;
  else if (node == s->module_in[MODULE_IMPORT])
    header_count = peeked + MODULE_HEADER_TOKENS +
                   (reader->options.preprocessed_input ? MODULE_HEADER_AS_WRITTEN : 0);
  else if (!is_module)
    control = false;

  if (control) {
    if (header_count)
      state->angled_headers = 1;
    peek = _cpp_scan_token(reader);
    peeked++;
    int kind = peek->kind;
    control = kind == TK_NAME || kind == TK_COLON ||
              (header_count ? kind == TK_LESS || kind == TK_HEADER_NAME ||
                                  (kind == TK_STRING && peek->value.str.text[0] != 'R')
                            : kind == TK_SEMICOLON);
  }
  if (control) {
    state->pragma_allow_expansion = !reader->options.preprocessed_input;
    if (!state->pragma_allow_expansion)
      state->prevent_expansion++;
    const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
    if (!header_count && map && map->includer_location)
      diag_error_at_line(reader, DL_ERROR, keyword->location, 0,
                         "module control-line cannot be in included file");
    // The leading one or two tokens are never macro names.
    preproc_token *leading[2] = {result, keyword};
    for (uint32_t i = 0; i < (keyword == result ? 1u : 2u); i++) {
      preproc_token *token = leading[i];
      ident_node *name = token->value.ident.node;
      token->flags |= TOK_NO_EXPAND;
      if (name->kind == IK_MACRO && !(name->flags & IDF_CONDITIONAL) &&
          _cpp_notify_macro_use(reader, name, token->location) &&
          !name->value.macro->function_like)
        diag_error_at_line(reader, DL_ERROR, token->location, 0,
                           "module control-line \"%s\" cannot be an object-like macro",
                           name->text);
    }
    keyword->value.ident.node = s->module_out[header_count ? MODULE_IMPORT : MODULE_MODULE];
    if (peeked != 1)
      result->value.ident.node = s->module_out[MODULE_EXPORT];
    state->directive_file_token = uint8_t(header_count);
  } else {
    state->save_comments = !reader->options.drop_comments;
    state->in_deferred_pragma = 0;
    state->angled_headers = 0;
  }
  if (peeked) {
    // A peeked end of line is no token of a line that is not a control line.
    bool eol = peek->kind == TK_PRAGMA_EOL;
    if (!eol || peeked > 1) {
      _cpp_backup_lexed_tokens(reader, peeked);
      if (eol)
        reader->lookaheads--;
    }
  }
}

// A look-ahead that ran a deferred pragma's directive leaves the tokens
// before the pragma to be read again as they were: the pragma's state is put
// aside until its PRAGMA token comes round.
static void suspend_pragma(preprocessor_reader *reader)
{
  reader->pragma_suspended = true;
  reader->suspended_pragma_expands = reader->state.pragma_allow_expansion;
  reader->state.in_deferred_pragma = 0;
  if (!reader->state.pragma_allow_expansion)
    reader->state.prevent_expansion--;
}

// The pragma line a look-ahead read to its end goes on until its PRAGMA_EOL
// is read again.
static void reopen_pragma_line(preprocessor_reader *reader, bool expands)
{
  reader->pragma_end_pending = true;
  reader->pending_pragma_expands = expands;
  reader->state.in_deferred_pragma = 1;
  reader->state.pragma_allow_expansion = expands;
  if (!expands)
    reader->state.prevent_expansion++;
}

static void close_pragma_line(preprocessor_reader *reader)
{
  reader->pragma_end_pending = false;
  reader->state.in_deferred_pragma = 0;
  if (!reader->pending_pragma_expands)
    reader->state.prevent_expansion--;
}

static void resume_pragma(preprocessor_reader *reader)
{
  reader->pragma_suspended = false;
  reader->state.in_deferred_pragma = 1;
  reader->state.pragma_allow_expansion = reader->suspended_pragma_expands;
  if (!reader->suspended_pragma_expands)
    reader->state.prevent_expansion++;
}

const preproc_token *_cpp_lex_token(preprocessor_reader *reader)
{
  preproc_token *result;
  for (;;) {
    if (reader->cur_token == reader->cur_run->limit) {
      reader->cur_run = next_token_block(reader->cur_run);
      reader->cur_token = reader->cur_run->first;
    }
    vuz_assert(reader->cur_token >= reader->cur_run->first &&
               reader->cur_token < reader->cur_run->limit);
    bool again = reader->lookaheads != 0;
    if (again) {
      reader->lookaheads--;
      if (reader->looked_file_token && reader->lookaheads == reader->looked_file_token_at) {
        reader->state.directive_file_token = reader->looked_file_token;
        reader->looked_file_token = 0;
      }
      result = reader->cur_token++;
      if (result->kind == TK_PRAGMA && reader->pragma_suspended)
        resume_pragma(reader);
      else if (result->kind == TK_PRAGMA_EOL && reader->pragma_end_pending)
        close_pragma_line(reader);
    } else {
      result = _cpp_scan_token(reader);
    }
    // A token read again is what it was when first read: not the pragma's
    // token again, and a keyword whose line was taken as a control line
    // carries that line's no-expand mark.
    if (result->flags & TOK_LINE_START) {
      if (result->kind == TK_HASH && reader->state.parsing_args != ARGS_SEEKING_PAREN && !reader->lex_only) {
        if (process_directive_line(reader, (result->flags & TOK_SPACE_BEFORE) != 0)) {
          if (reader->directive_result.kind == TK_PADDING)
            continue;
          result = &reader->directive_result;
        }
      } else if (reader->state.in_deferred_pragma && !again) {
        result = &reader->directive_result;
      } else if (result->kind == TK_NAME &&
                 (result->value.ident.node->flags & IDF_MODULE_KEYWORD) &&
                 !(result->flags & TOK_NO_EXPAND) && !reader->state.skipping &&
                 !reader->state.parsing_args) {
        module_control_line(reader, result);
      }
      if (reader->callbacks.line_change && !reader->state.skipping)
        reader->callbacks.line_change(reader, result, reader->state.parsing_args);
    }
    if (reader->state.in_directive || reader->state.in_deferred_pragma)
      break;
    reader->mi_valid = false;
    if (!reader->state.skipping || result->kind == TK_EOF)
      break;
  }
  return result;
}

const preproc_token *cpp_get_token(preprocessor_reader *reader)
{
  return cpp_next_token(reader);
}

const preproc_token *cpp_look_ahead(preprocessor_reader *reader, uint32_t index)
{
  // Tokens still to come from macro expansions come first.
  for (expansion_context *context = reader->context; context->previous;
       context = context->previous) {
    uint32_t remaining = _cpp_remaining_tokens_num_in_context(context);
    if (index < remaining)
      return context->first + index;
    index -= remaining;
  }
  reader->keep_tokens++;
  void (*line_change)(preprocessor_reader *, const preproc_token *, int) =
      reader->callbacks.line_change;
  reader->callbacks.line_change = nullptr;
  // The tokens read are gathered at the current place in the chain, over
  // the tokens of any directive run on the way (a deferred pragma's token is
  // the directive result, outside the chain), so that they replay in order.
  if (reader->cur_token == reader->cur_run->limit) {
    reader->cur_run = next_token_block(reader->cur_run);
    reader->cur_token = reader->cur_run->first;
  }
  token_block *run = reader->cur_run;
  preproc_token *slot = reader->cur_token;
  const preproc_token *token;
  uint32_t count = 0;
  // The pragma line open when the look-ahead starts, if any.
  bool line_open = reader->state.in_deferred_pragma;
  bool line_expands = reader->state.pragma_allow_expansion;
  bool line_ended = false;
  // Counted in tokens still to be read again at the end.
  uint32_t file_token_index = 0;
  do {
    uint8_t file_token = reader->state.directive_file_token;
    token = reader->buffer || reader->lookaheads ? _cpp_lex_token(reader) : &_cpp_input_end;
    // The count of a module line's tokens must start at its keyword, not
    // at the tokens read before it again.
    if (file_token == 0 && reader->state.directive_file_token) {
      reader->looked_file_token = reader->state.directive_file_token;
      reader->looked_file_token_at = UINT32_MAX; // known once all are read
      reader->state.directive_file_token = 0;
      file_token_index = count + 1;
    }
    if (token->kind == TK_PRAGMA && reader->state.in_deferred_pragma)
      suspend_pragma(reader);
    if (token->kind == TK_PRAGMA_EOL && line_open && !line_ended)
      line_ended = true;
    if (slot == run->limit) {
      run = next_token_block(run);
      slot = run->first;
    }
    if (token != slot)
      *slot = *token;
    token = slot++;
    count++;
  } while (count <= index && token->kind != TK_EOF && token->kind != TK_PRAGMA);
  reader->cur_run = run;
  reader->cur_token = slot;
  _cpp_backup_lexed_tokens(reader, count);
  if (file_token_index)
    reader->looked_file_token_at = reader->lookaheads - file_token_index;
  if (line_ended)
    reopen_pragma_line(reader, line_expands);
  reader->callbacks.line_change = line_change;
  reader->keep_tokens--;
  return token;
}

bool cpp_token_is_name(const preproc_token *token, const char *text)
{
  return token->kind == TK_NAME && strcmp(token->value.ident.node->text, text) == 0;
}

void cpp_fix_token_location(preprocessor_reader *reader, location_t location)
{
  reader->forced_token_location = location;
}

void cpp_unfix_token_location(preprocessor_reader *reader)
{
  reader->forced_token_location = 0;
}
