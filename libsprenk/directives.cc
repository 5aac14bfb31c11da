// Directives: the line-start "#" handling, the directive table, the
// conditional stack with the multiple-include optimisation, the definition,
// include, line and message directives, and the buffer stack with the
// directives run from a client's text.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

typedef void (*directive_handler)(preprocessor_reader *reader);

enum : uint8_t {
  DF_CONDITIONAL = 0x01,
  DF_OPENS_CONDITIONAL = 0x02,
  DF_HEADER_NAME = 0x04,
  DF_IN_PREPROCESSED = 0x08,
  DF_EXPAND = 0x10,
  DF_DEPRECATED = 0x20,
  DF_ELIFDEF = 0x40,
};

enum : uint8_t { ORIGIN_TRADITIONAL = 0, ORIGIN_C89 = 1, ORIGIN_C2X = 2, ORIGIN_EXTENSION = 3 };

struct directive_row {
  directive_handler handler;
  const char *name;
  uint16_t length;
  uint8_t origin;
  uint8_t flags;
};

// A directive's number is kept in its name's node, in seven bits.
static_assert(D_COUNT <= 1u << 7, "directive numbers fit ident_node::index");

struct conditional_frame {
  conditional_frame *next;
  location_t location;
  const ident_node *controlling_macro;
  bool was_skipping;
  bool skip_elses;
  directive_index index;
};

static void do_define(preprocessor_reader *reader);
static void do_include(preprocessor_reader *reader);
static void do_endif(preprocessor_reader *reader);
static void do_ifdef(preprocessor_reader *reader);
static void do_if(preprocessor_reader *reader);
static void do_else(preprocessor_reader *reader);
static void do_ifndef(preprocessor_reader *reader);
static void do_undef(preprocessor_reader *reader);
static void do_line(preprocessor_reader *reader);
static void do_elif(preprocessor_reader *reader);
static void do_error(preprocessor_reader *reader);
static void do_warning(preprocessor_reader *reader);
static void do_include_next(preprocessor_reader *reader);
static void do_ident(preprocessor_reader *reader);
static void do_import(preprocessor_reader *reader);
static void do_assert(preprocessor_reader *reader);
static void do_unassert(preprocessor_reader *reader);
static void do_linemarker(preprocessor_reader *reader);

#define ROW(handler, name, origin, flags) {handler, name, sizeof name - 1, origin, flags}
static const directive_row directive_table[D_COUNT] = {
    ROW(do_define, "define", ORIGIN_TRADITIONAL, DF_IN_PREPROCESSED),
    ROW(do_include, "include", ORIGIN_TRADITIONAL, DF_EXPAND | DF_HEADER_NAME),
    ROW(do_endif, "endif", ORIGIN_TRADITIONAL, DF_CONDITIONAL),
    ROW(do_ifdef, "ifdef", ORIGIN_TRADITIONAL, DF_CONDITIONAL | DF_OPENS_CONDITIONAL),
    ROW(do_if, "if", ORIGIN_TRADITIONAL, DF_CONDITIONAL | DF_OPENS_CONDITIONAL | DF_EXPAND),
    ROW(do_else, "else", ORIGIN_TRADITIONAL, DF_CONDITIONAL),
    ROW(do_ifndef, "ifndef", ORIGIN_TRADITIONAL, DF_CONDITIONAL | DF_OPENS_CONDITIONAL),
    ROW(do_undef, "undef", ORIGIN_TRADITIONAL, DF_IN_PREPROCESSED),
    ROW(do_line, "line", ORIGIN_TRADITIONAL, DF_EXPAND),
    ROW(do_elif, "elif", ORIGIN_C89, DF_CONDITIONAL | DF_EXPAND),
    ROW(do_elif, "elifdef", ORIGIN_C2X, DF_CONDITIONAL | DF_ELIFDEF),
    ROW(do_elif, "elifndef", ORIGIN_C2X, DF_CONDITIONAL | DF_ELIFDEF),
    ROW(do_error, "error", ORIGIN_C89, 0),
    ROW(directive_pragma, "pragma", ORIGIN_C89, DF_IN_PREPROCESSED),
    ROW(do_warning, "warning", ORIGIN_EXTENSION, 0),
    ROW(do_include_next, "include_next", ORIGIN_EXTENSION, DF_EXPAND | DF_HEADER_NAME),
    ROW(do_ident, "ident", ORIGIN_EXTENSION, DF_IN_PREPROCESSED),
    ROW(do_import, "import", ORIGIN_EXTENSION, DF_EXPAND | DF_HEADER_NAME),
    ROW(do_assert, "assert", ORIGIN_EXTENSION, DF_DEPRECATED),
    ROW(do_unassert, "unassert", ORIGIN_EXTENSION, DF_DEPRECATED),
    ROW(do_ident, "sccs", ORIGIN_EXTENSION, DF_IN_PREPROCESSED),
    ROW(do_linemarker, "#", ORIGIN_TRADITIONAL, DF_IN_PREPROCESSED),
};
#undef ROW

// The candidates handed to the directive-suggestion callback.
static const char *const directive_names[D_LINEMARKER + 1] = {
    "define", "include", "endif",   "ifdef",  "if",           "else",  "ifndef",
    "undef",  "line",    "elif",    "elifdef", "elifndef",    "error", "pragma",
    "warning", "include_next", "ident", "import", "assert",   "unassert", "sccs",
    nullptr,
};

void init_directive_names(preprocessor_reader *reader)
{
  for (uint32_t index = 0; index < D_LINEMARKER; index++) {
    const directive_row &row = directive_table[index];
    ident_node *node = cpp_intern(reader, row.name, row.length);
    node->is_directive = 1;
    node->index = index;
  }
}

// ---- Directive plumbing ----

static void skip_rest_of_line(preprocessor_reader *reader)
{
  while (reader->context->previous)
    _cpp_pop_context(reader);
  if (!reader->state.in_deferred_pragma)
    while (_cpp_lex_token(reader)->kind != TK_EOF)
      ;
}

void _cpp_skip_rest_of_line(preprocessor_reader *reader)
{
  skip_rest_of_line(reader);
}

// Next token of the directive, expanded when the directive asks for it.
static const preproc_token *directive_token(preprocessor_reader *reader)
{
  const preproc_token *token;
  do
    token = cpp_next_token(reader);
  while (token->kind == TK_PADDING);
  return token;
}

static void check_eol(preprocessor_reader *reader, int reason, bool expand)
{
  const preproc_token *token = expand ? directive_token(reader) : _cpp_lex_token(reader);
  if (token->kind != TK_EOF)
    diag_pedwarning(reader, reason, "extra tokens at end of #%s directive",
                    reader->directive->name);
}

void _cpp_check_eol(preprocessor_reader *reader)
{
  check_eol(reader, DR_NONE, false);
}

static void start_directive(preprocessor_reader *reader)
{
  reader->state.in_directive = DIRECTIVE_LINE;
  reader->state.save_comments = 0;
  reader->directive_result.kind = TK_PADDING;
  reader->directive_line = reader->line_table->line_start_location;
}

static void end_directive(preprocessor_reader *reader, bool skip_line)
{
  // A traditional directive line was read whole, through the overlay.
  if (reader->overlaid_buffer)
    _cpp_remove_overlay(reader);
  else if (!reader->state.in_deferred_pragma && skip_line)
    skip_rest_of_line(reader);
  reader->state.save_comments = !reader->options.drop_comments;
  reader->state.in_directive = DIRECTIVE_NONE;
  reader->state.in_expression = 0;
  reader->state.angled_headers = 0;
  reader->directive = nullptr;
}

ident_node *read_macro_name(preprocessor_reader *reader, bool define_or_undef)
{
  const preproc_token *token = _cpp_lex_token(reader);
  if (token->kind == TK_NAME) {
    ident_node *node = token->value.ident.node;
    if (define_or_undef && node == reader->spec_nodes.n_defined) {
      diag_error(reader, DL_ERROR, "\"%s\" cannot be used as a macro name", node->text);
      return nullptr;
    }
    if (node->flags & IDF_POISONED)
      return nullptr;
    return node;
  }
  if (token->flags & TOK_NAMED_OPERATOR)
    diag_error(reader, DL_ERROR, "\"%s\" cannot be used as a macro name as it is an operator in C++",
               token->value.ident.node->text);
  else if (token->kind == TK_EOF)
    diag_error(reader, DL_ERROR, "no macro name given in #%s directive", reader->directive->name);
  else
    diag_error(reader, DL_ERROR, "macro names must be identifiers");
  return nullptr;
}

// ---- Definitions ----

static void do_define(preprocessor_reader *reader)
{
  ident_node *node = read_macro_name(reader, true);
  if (node == nullptr)
    return;
  reader->state.save_comments = !reader->options.drop_comments_in_macros;
  if (reader->callbacks.before_define)
    reader->callbacks.before_define(reader);
  if (_cpp_define_macro(reader, node) && reader->callbacks.define)
    reader->callbacks.define(reader, reader->directive_line, node);
  node->flags &= uint16_t(~IDF_USED);
}

void _cpp_undefine(preprocessor_reader *reader, ident_node *node)
{
  if (reader->callbacks.before_define)
    reader->callbacks.before_define(reader);
  if (reader->callbacks.undef)
    reader->callbacks.undef(reader, reader->directive_line, node);
  if (!ident_is_macro(node))
    return;
  if (node->flags & IDF_WARN_ON_CHANGE)
    diag_warning(reader, DR_NONE, "undefining \"%s\"", node->text);
  else if (node->kind == IK_BUILTIN && reader->options.warn_builtin_redefinition)
    diag_warning_at_line(reader, DR_BUILTIN_MACRO_REDEFINED, reader->directive_line, 0,
                         "undefining \"%s\"", node->text);
  if (reader->options.warn_unused_macro)
    _cpp_report_unused_macro(reader, node, nullptr);
  _cpp_forget_macro(node);
}

static void do_undef(preprocessor_reader *reader)
{
  ident_node *node = read_macro_name(reader, true);
  if (node)
    _cpp_undefine(reader, node);
  _cpp_check_eol(reader);
}

// ---- Conditionals ----

static void push_conditional(preprocessor_reader *reader, bool skip, directive_index index,
                             const ident_node *controlling)
{
  conditional_frame *frame = static_cast<conditional_frame *>(
      obstack_new_object(&reader->buffer_stack, sizeof(conditional_frame)));
  input_buffer *buffer = reader->buffer;
  frame->next = buffer->if_stack;
  frame->location = reader->directive_line;
  frame->was_skipping = reader->state.skipping;
  frame->skip_elses = reader->state.skipping || !skip;
  frame->index = index;
  frame->controlling_macro =
      reader->mi_valid && reader->mi_controlling_macro == nullptr ? controlling : nullptr;
  buffer->if_stack = frame;
  reader->state.skipping = skip;
}

// Whether NAME counts as defined for #ifdef and its kin.
static bool name_is_defined(preprocessor_reader *reader, ident_node *node)
{
  if (!ident_is_macro(node) || (node->flags & IDF_CONDITIONAL))
    return false;
  bool defined = (node->flags & IDF_USED) || _cpp_notify_macro_use(reader, node, reader->directive_line);
  if (defined && node->kind == IK_MACRO && node->value.macro)
    node->value.macro->used = 1;
  return defined;
}

// Reads the name of an #ifdef-style directive: -1 without a name.
static int read_defined_test(preprocessor_reader *reader, ident_node **out)
{
  ident_node *node = read_macro_name(reader, false);
  *out = node;
  if (node == nullptr)
    return -1;
  bool defined = name_is_defined(reader, node);
  if (reader->callbacks.macro_used)
    reader->callbacks.macro_used(reader, reader->directive_line, node);
  _cpp_check_eol(reader);
  return defined;
}

static void do_ifdef(preprocessor_reader *reader)
{
  bool skip = true;
  if (!reader->state.skipping) {
    ident_node *node;
    int defined = read_defined_test(reader, &node);
    skip = defined != 1;
  }
  push_conditional(reader, skip, D_IFDEF, nullptr);
}

static void do_ifndef(preprocessor_reader *reader)
{
  bool skip = true;
  ident_node *node = nullptr;
  if (!reader->state.skipping) {
    int defined = read_defined_test(reader, &node);
    skip = defined != 0;
  }
  push_conditional(reader, skip, D_IFNDEF, node);
}

static void do_if(preprocessor_reader *reader)
{
  bool skip = true;
  if (!reader->state.skipping)
    skip = !parse_condition(reader, true);
  push_conditional(reader, skip, D_IF, reader->mi_if_not_defined);
}

static void began_here(preprocessor_reader *reader, const conditional_frame *frame)
{
  diag_error_at_line(reader, DL_ERROR, frame->location, 0, "the conditional began here");
}

static void do_else(preprocessor_reader *reader)
{
  conditional_frame *frame = reader->buffer->if_stack;
  if (frame == nullptr) {
    diag_error(reader, DL_ERROR, "#else without #if");
    return;
  }
  if (frame->index == D_ELSE) {
    diag_error(reader, DL_ERROR, "#else after #else");
    began_here(reader, frame);
  }
  frame->index = D_ELSE;
  reader->state.skipping = frame->skip_elses;
  frame->skip_elses = true;
  frame->controlling_macro = nullptr;
  if (!frame->was_skipping && reader->options.warn_endif_tokens)
    check_eol(reader, DR_ENDIF_LABELS, false);
}

static void elifdef_pedantic(preprocessor_reader *reader)
{
  diag_pedwarning(reader, DR_NONE,
                  reader->options.cplusplus_mode ? "#%s before C++23 is a VUZ extension"
                                                 : "#%s before C2X is a VUZ extension",
                  reader->directive->name);
}

static void do_elif(preprocessor_reader *reader)
{
  conditional_frame *frame = reader->buffer->if_stack;
  const directive_row *row = reader->directive;
  bool elifdef_family = (row->flags & DF_ELIFDEF) != 0;
  if (frame == nullptr) {
    diag_error(reader, DL_ERROR, "#%s without #if", row->name);
    return;
  }
  if (frame->index == D_ELSE) {
    diag_error(reader, DL_ERROR, "#%s after #else", row->name);
    began_here(reader, frame);
  }
  frame->index = D_ELIF;
  bool pedantic_check = elifdef_family && !reader->options.elifdef_directives &&
                        reader->options.pedantic_mode;
  if (frame->skip_elses) {
    if (pedantic_check && !reader->state.skipping)
      elifdef_pedantic(reader);
    reader->state.skipping = 1;
  } else {
    bool old_skipping = reader->state.skipping;
    if (!elifdef_family) {
      reader->state.skipping = 0;
      reader->state.skipping = !parse_condition(reader, false);
    } else {
      reader->state.skipping = 0;
      ident_node *node;
      int defined = read_defined_test(reader, &node);
      bool want_defined = row == &directive_table[D_ELIFDEF];
      reader->state.skipping = defined < 0 || bool(defined) != want_defined;
      if (pedantic_check && bool(reader->state.skipping) != old_skipping)
        elifdef_pedantic(reader);
    }
    frame->skip_elses = !reader->state.skipping;
  }
  frame->controlling_macro = nullptr;
}

static void do_endif(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  conditional_frame *frame = buffer->if_stack;
  if (frame == nullptr) {
    diag_error(reader, DL_ERROR, "#endif without #if");
    return;
  }
  if (!frame->was_skipping && reader->options.warn_endif_tokens)
    check_eol(reader, DR_ENDIF_LABELS, false);
  if (frame->next == nullptr && frame->controlling_macro) {
    reader->mi_valid = true;
    reader->mi_controlling_macro = frame->controlling_macro;
  }
  buffer->if_stack = frame->next;
  reader->state.skipping = frame->was_skipping;
}

// ---- Include family ----

enum { HEADER_NAME_BUFFER = 1024 };

// The name glued from the tokens between '<' and '>'.
static char *glue_angled_name(preprocessor_reader *reader)
{
  uint64_t capacity = HEADER_NAME_BUFFER, used = 0;
  char *name = static_cast<char *>(checked_malloc(capacity));
  for (;;) {
    const preproc_token *token = directive_token(reader);
    if (token->kind == TK_GREATER)
      break;
    if (token->kind == TK_PRAGMA_EOL) {
      // An import line's end: read again, so that it still ends the line.
      diag_error(reader, DL_ERROR, "missing terminating > character");
      reader->state.in_deferred_pragma = 1;
      if (!reader->state.pragma_allow_expansion)
        reader->state.prevent_expansion++;
      break;
    }
    if (token->kind == TK_EOF) {
      diag_error(reader, DL_ERROR, "missing terminating > character");
      // Left for the reader's caller: the end of an operand's input.
      _cpp_backup_expanded(reader, token);
      break;
    }
    uint64_t length = cpp_spelling_bound(token);
    if (used + length + 2 > capacity)
      name = _cpp_grow_array(name, &capacity, (capacity + length + 2) * 2);
    if (token->flags & TOK_SPACE_BEFORE)
      name[used++] = ' ';
    unsigned char *out = reinterpret_cast<unsigned char *>(name + used);
    used = uint64_t(reinterpret_cast<char *>(cpp_write_token_text(reader, token, out, true)) - name);
  }
  name[used] = '\0';
  return name;
}

// The name a HEADER_NAME or quoted STRING token gives, without its quotes
// or brackets; null for any other token.
static char *quoted_header_name(const preproc_token *token, bool *angled)
{
  bool quoted = token->kind == TK_STRING && token->value.str.text[0] != 'R';
  if (token->kind != TK_HEADER_NAME && !quoted)
    return nullptr;
  *angled = token->kind == TK_HEADER_NAME && token->value.str.text[0] == '<';
  const char *text = reinterpret_cast<const char *>(token->value.str.text);
  return checked_strndup(text + 1, token->value.str.length - 2);
}

// The next token of a header-name operand, at its virtual location (a name
// from a macro resolves to its expansion), and the name it starts: null
// when it starts none.
static char *read_header_name(preprocessor_reader *reader, bool *angled, location_t *location,
                              const preproc_token **token_read)
{
  const preproc_token *token;
  do
    token = cpp_next_token_with_location(reader, location);
  while (token->kind == TK_PADDING);
  *token_read = token;
  if (token->kind == TK_LESS) {
    *angled = true;
    return glue_angled_name(reader);
  }
  return quoted_header_name(token, angled);
}

// After an operand that names no header, the end of the line stays for the
// caller.
static void give_back_line_end(preprocessor_reader *reader, const preproc_token *token)
{
  if (token->kind == TK_EOF)
    _cpp_backup_expanded(reader, token);
}

char *_cpp_parse_header_name(preprocessor_reader *reader, const char *directive_name,
                             bool *angled, location_t *location)
{
  const preproc_token *token;
  if (char *name = read_header_name(reader, angled, location, &token))
    return name;
  diag_error(reader, DL_ERROR, "#%s expects \"FILENAME\" or <FILENAME>", directive_name);
  give_back_line_end(reader, token);
  return nullptr;
}

// A raw string names a header by its text between the delimiters.
static char *raw_string_header_name(const preproc_token *token)
{
  const char *text = reinterpret_cast<const char *>(token->value.str.text);
  const char *open = static_cast<const char *>(memchr(text, '(', token->value.str.length));
  uint32_t delimiter = open ? uint32_t(open - text) - 2 : 0; // after R"
  if (open == nullptr || token->value.str.length < uint32_t(open - text) + delimiter + 3)
    return checked_strndup("", 0);
  const char *close = text + token->value.str.length - delimiter - 2;
  return checked_strndup(open + 1, uint64_t(close - open - 1));
}

char *_cpp_has_include_operand(preprocessor_reader *reader, const char *operator_name,
                               bool *angled, location_t *location)
{
  const preproc_token *token;
  if (char *name = read_header_name(reader, angled, location, &token))
    return name;
  if (token->kind == TK_STRING) {
    *angled = false;
    return raw_string_header_name(token);
  }
  diag_error(reader, DL_ERROR, "operator \"%s\" requires a header-name", operator_name);
  give_back_line_end(reader, token);
  return nullptr;
}

// The header name of an import control line, after its first token: null
// when the token starts none.
static char *module_header_name(preprocessor_reader *reader, const preproc_token *token,
                                bool *angled)
{
  if (token->kind == TK_LESS) {
    *angled = true;
    return glue_angled_name(reader);
  }
  return quoted_header_name(token, angled);
}

const preproc_token *_cpp_module_header_name(preprocessor_reader *reader,
                                             const preproc_token *token)
{
  lexer_state *state = &reader->state;
  if (state->directive_file_token == 0 || state->parsing_args || token->kind == TK_PADDING ||
      token->kind == TK_COMMENT)
    return token;
  state->directive_file_token--;
  if (state->directive_file_token & MODULE_HEADER_COUNT_MASK)
    return token;
  // An "__import" line, or preprocessed input, names its header as written.
  bool as_written = state->directive_file_token & MODULE_HEADER_AS_WRITTEN;
  state->angled_headers = 0;
  state->directive_file_token = 0;
  bool angled = false;
  char *name = module_header_name(reader, token, &angled);
  if (name == nullptr)
    return token;
  const char *path = as_written ? name : locate_header_unit(reader, name, angled, token->location);
  if (path == nullptr)
    path = "";
  bool prefixed = path[0] != '\0' && path[0] != '/' && strncmp(path, "./", 2) != 0;
  // The text is the name alone: a printer puts a header name in quotes.
  char *text = format_alloc("%s%s", prefixed ? "./" : "", path);
  free(name);
  preproc_token *result =
      reinterpret_cast<preproc_token *>(_cpp_pool_alloc_aligned(reader, sizeof(preproc_token)));
  *result = *token;
  result->kind = TK_HEADER_NAME;
  result->value.str.length = uint32_t(strlen(text));
  result->value.str.text = _cpp_pool_copy(reader, reinterpret_cast<unsigned char *>(text),
                                          result->value.str.length + 1);
  free(text);
  return result;
}

// The comments kept after an include's header name go to the include
// callback; any other token is extra. Null when comments are dropped.
static const preproc_token **include_comments(preprocessor_reader *reader)
{
  if (reader->options.drop_comments) {
    check_eol(reader, DR_NONE, true);
    return nullptr;
  }
  uint32_t count = 0, allocated = 8;
  const preproc_token **comments = checked_new_array<const preproc_token *>(allocated);
  for (const preproc_token *token = directive_token(reader); token->kind != TK_EOF;
       token = directive_token(reader)) {
    if (token->kind != TK_COMMENT) {
      diag_pedwarning(reader, DR_NONE, "extra tokens at end of #%s directive",
                      reader->directive->name);
      continue;
    }
    if (count + 1 == allocated)
      comments = _cpp_grow_array(comments, &allocated, allocated * 2);
    comments[count++] = token;
  }
  comments[count] = nullptr;
  return comments;
}

static void run_include(preprocessor_reader *reader, int kind)
{
  if (kind == INCLUDE_NEXT && reader->buffer->previous == nullptr &&
      reader->options.main_search == 0) {
    diag_warning(reader, DR_NONE, "#include_next in primary source file");
    kind = INCLUDE_PLAIN;
  }
  reader->state.save_comments = !reader->options.drop_comments;
  reader->state.in_directive = DIRECTIVE_HEADER_NAME;
  bool angled = false;
  location_t location;
  char *name = _cpp_parse_header_name(reader, reader->directive->name, &angled, &location);
  if (name == nullptr)
    return;
  const preproc_token **comments = include_comments(reader);
  if (name[0] == '\0') {
    diag_error_at_location(reader, DL_ERROR, location, "empty filename in #%s",
                           reader->directive->name);
  } else if (int32_t(reader->line_table->include_depth) >= reader->options.max_include_depth) {
    diag_error(reader, DL_ERROR,
               "#include nested depth %u exceeds maximum of %u (use -fmax-include-depth=DEPTH "
               "to increase the maximum)",
               reader->line_table->include_depth, unsigned(reader->options.max_include_depth));
  } else {
    skip_rest_of_line(reader);
    if (reader->callbacks.include)
      reader->callbacks.include(reader, reader->directive_line,
                                reinterpret_cast<const unsigned char *>(reader->directive->name),
                                name, angled, comments);
    // Stacked at the header name, where a missing header is reported; a
    // name from a macro stands where the macro was expanded.
    location = linemap_resolve_location(reader->line_table, location, RESOLVE_TO_EXPANSION,
                                        nullptr);
    push_included_file(reader, name, angled, kind, location);
  }
  free(comments);
  free(name);
}

static void do_include(preprocessor_reader *reader)
{
  run_include(reader, INCLUDE_PLAIN);
}

static void do_include_next(preprocessor_reader *reader)
{
  run_include(reader, INCLUDE_NEXT);
}

static void do_import(preprocessor_reader *reader)
{
  run_include(reader, INCLUDE_IMPORT);
}

// ---- #line and linemarkers ----

// The digits of a line number (quotes between digits skipped); false when
// something else is there.
static bool read_line_number(const preproc_token *token, uint32_t *value, bool *overflow)
{
  uint64_t result = 0;
  *overflow = false;
  const unsigned char *text = token->value.str.text;
  for (uint32_t i = 0; i < token->value.str.length; i++) {
    unsigned char c = text[i];
    if (c == '\'' && i > 0 && i + 1 < token->value.str.length)
      continue;
    if (c < '0' || c > '9')
      return false;
    result = result * 10 + uint64_t(c - '0');
    if (result > 0xffffffffu) {
      *overflow = true;
      result &= 0xffffffffu;
    }
  }
  *value = uint32_t(result);
  return true;
}

// The name a #line or linemarker string gives: escapes interpreted, the
// bytes kept as written (no execution character set). Null after an error.
static const char *file_name_of_string(preprocessor_reader *reader, const preproc_token *token)
{
  byte_string in = {token->value.str.length, token->value.str.text}, out;
  if (!interpret_string_untranslated(reader, &in, 1, &out))
    return nullptr;
  unsigned char *name = _cpp_pool_copy(reader, out.text, out.length);
  free(const_cast<unsigned char *>(out.text));
  return reinterpret_cast<const char *>(name);
}

static const char *current_file_name(preprocessor_reader *reader)
{
  const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
  return map ? map->file_name : "";
}

static void do_line(preprocessor_reader *reader)
{
  const preproc_token *token = directive_token(reader);
  uint32_t line;
  bool overflow;
  if (token->kind != TK_NUMBER || !read_line_number(token, &line, &overflow)) {
    if (token->kind == TK_EOF)
      diag_error(reader, DL_ERROR, "unexpected end of file after #line");
    else
      diag_error(reader, DL_ERROR, "\"%s\" after #line is not a positive integer",
                 cpp_token_text(reader, token));
    return;
  }
  uint32_t cap = reader->options.c99_mode ? 2147483647u : 32767u;
  if (reader->options.pedantic_mode && (line == 0 || line > cap || overflow))
    diag_pedwarning(reader, DR_NONE, "line number out of range");
  else if (overflow)
    diag_warning(reader, DR_NONE, "line number out of range");
  const char *name = current_file_name(reader);
  token = directive_token(reader);
  if (token->kind == TK_STRING) {
    name = file_name_of_string(reader, token);
    if (name == nullptr)
      return;
    check_eol(reader, DR_NONE, true);
  } else if (token->kind != TK_EOF) {
    diag_error(reader, DL_ERROR, "\"%s\" is not a valid filename", cpp_token_text(reader, token));
    return;
  }
  skip_rest_of_line(reader);
  const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
  enter_file_change(reader, LC_RENAME_VERBATIM, name, line, map ? map->in_system_header : 0);
  reader->line_table->seen_line_directive = true;
}

static void do_linemarker(preprocessor_reader *reader)
{
  _cpp_backup_lexed_tokens(reader, 1);
  const preproc_token *token = _cpp_lex_token(reader);
  uint32_t line;
  bool overflow;
  if (token->kind != TK_NUMBER || !read_line_number(token, &line, &overflow)) {
    diag_error(reader, DL_ERROR, "\"%s\" after # is not a positive integer",
               cpp_token_text(reader, token));
    return;
  }
  const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
  const char *name = nullptr;
  uint32_t kind = map ? map->in_system_header : 0;
  line_map_reason reason = LC_RENAME_VERBATIM;
  token = _cpp_lex_token(reader);
  if (token->kind == TK_STRING) {
    name = file_name_of_string(reader, token);
    if (name == nullptr)
      return;
    kind = SYSTEM_NONE;
    token = _cpp_lex_token(reader);
    int expect = 1;
    while (token->kind == TK_NUMBER && token->value.str.length == 1) {
      int flag = token->value.str.text[0] - '0';
      if (expect == 1 && (flag == 1 || flag == 2)) {
        reason = flag == 1 ? LC_ENTER : LC_LEAVE;
        if (flag == 1)
          record_linemarker_file(reader, name);
        expect = 3;
      } else if (expect <= 3 && flag == 3) {
        kind = SYSTEM_HEADER;
        expect = 4;
      } else if (expect == 4 && flag == 4) {
        kind = SYSTEM_HEADER_C_LINKAGE;
        expect = 5;
      } else {
        break;
      }
      token = _cpp_lex_token(reader);
    }
    // After the last flag there is no place for one: what follows is extra.
    if (token->kind != TK_EOF && expect == 5)
      diag_pedwarning(reader, DR_NONE, "extra tokens at end of #%s directive",
                      reader->directive->name);
    else if (token->kind != TK_EOF)
      diag_error(reader, DL_ERROR, "invalid flag \"%s\" in line directive",
                 cpp_token_text(reader, token));
  } else if (token->kind != TK_EOF) {
    diag_error(reader, DL_ERROR, "\"%s\" is not a valid filename", cpp_token_text(reader, token));
    return;
  }
  reader->buffer->system_kind = uint8_t(kind);
  skip_rest_of_line(reader);
  if (name == nullptr)
    name = current_file_name(reader);
  if (reason == LC_LEAVE) {
    const ordinary_map *back = map ? linemap_includer_map(reader->line_table, map) : nullptr;
    if (back == nullptr || (name[0] && strcmp(back->file_name, name) != 0)) {
      diag_warning(reader, DR_NONE, "file \"%s\" linemarker ignored due to incorrect nesting",
                   name);
      return;
    }
    if (name[0] == '\0')
      name = back->file_name;
  }
  reader->line_table->top_location--;
  enter_file_change(reader, reason, name, line, kind);
  reader->line_table->seen_line_directive = true;
}

// ---- Messages and idents ----

static void report_directive_text(preprocessor_reader *reader, bool error)
{
  reader->state.prevent_expansion++;
  char *text = cpp_rest_of_line_text(reader, reader->directive->name);
  reader->state.prevent_expansion--;
  if (error)
    diag_error_at_line(reader, DL_ERROR, reader->directive_line, 0, "%s", text);
  else
    diag_warning_at_line_syshdr(reader, DR_WARNING_DIRECTIVE, reader->directive_line, 0, "%s",
                                text);
  free(text);
}

static void do_error(preprocessor_reader *reader)
{
  report_directive_text(reader, true);
}

static void do_warning(preprocessor_reader *reader)
{
  report_directive_text(reader, false);
}

static void do_ident(preprocessor_reader *reader)
{
  const preproc_token *token = directive_token(reader);
  if (token->kind != TK_STRING) {
    diag_error(reader, DL_ERROR, "invalid #%s directive", reader->directive->name);
    return;
  }
  if (reader->callbacks.ident)
    reader->callbacks.ident(reader, reader->directive_line, &token->value.str);
  check_eol(reader, DR_NONE, true);
}

static void do_assert(preprocessor_reader *reader)
{
  _cpp_do_assertion(reader, true);
}

static void do_unassert(preprocessor_reader *reader)
{
  _cpp_do_assertion(reader, false);
}

// ---- The line-start "#" ----

static const directive_row *find_directive(preprocessor_reader *reader,
                                           const preproc_token *name, bool *not_directive)
{
  *not_directive = false;
  if (name->kind == TK_NUMBER) {
    if (reader->options.language == DIALECT_ASM) {
      *not_directive = true;
      return nullptr;
    }
    if (reader->options.pedantic_mode && !reader->options.preprocessed_input &&
        !reader->state.skipping)
      diag_pedwarning(reader, DR_NONE, "style of line directive is a VUZ extension");
    return &directive_table[D_LINEMARKER];
  }
  if (name->kind == TK_NAME && name->value.ident.node->is_directive) {
    const directive_row *row = &directive_table[name->value.ident.node->index];
    if (!(row->flags & DF_ELIFDEF) || reader->options.elifdef_directives ||
        !reader->options.strict_iso)
      return row;
  }
  if (reader->options.language == DIALECT_ASM) {
    *not_directive = true;
    return nullptr;
  }
  if (reader->state.skipping)
    return nullptr;
  const char *spelling = reinterpret_cast<const char *>(cpp_token_text(reader, name));
  const char *hint = reader->callbacks.suggest_directive
                         ? reader->callbacks.suggest_directive(reader, spelling, directive_names)
                         : nullptr;
  if (hint) {
    // The hint replaces the misspelt name by the suggestion.
    located_ranges record;
    located_ranges_init(&record, reader->line_table, name->location, nullptr);
    fixit_replace(&record, hint);
    diag_error_at_record(reader, DL_ERROR, &record,
                         "invalid preprocessing directive #%s; did you mean #%s?", spelling, hint);
    located_ranges_fini(&record);
  } else
    diag_error(reader, DL_ERROR, "invalid preprocessing directive #%s", spelling);
  return nullptr;
}

static void extension_warnings(preprocessor_reader *reader, const directive_row *row,
                               bool indented)
{
  const cpp_reader_options *o = &reader->options;
  bool import_objc = row == &directive_table[D_IMPORT] && o->objc_mode;
  if (row->origin == ORIGIN_EXTENSION && !import_objc && o->pedantic_mode)
    diag_pedwarning(reader, DR_NONE, "#%s is a VUZ extension", row->name);
  if (((row->flags & DF_DEPRECATED) || (row == &directive_table[D_IMPORT] && !o->objc_mode)) &&
      o->warn_deprecated_extensions)
    diag_warning(reader, DR_DEPRECATED, "#%s is a deprecated VUZ extension", row->name);
  if (!o->warn_traditional_c)
    return;
  if (row == &directive_table[D_ELIF])
    diag_warning(reader, DR_TRADITIONAL, "suggest not using #elif in traditional C");
  else if (indented && row->origin == ORIGIN_TRADITIONAL)
    diag_warning(reader, DR_TRADITIONAL, "traditional C ignores #%s with the # indented",
                 row->name);
  else if (!indented && row->origin != ORIGIN_TRADITIONAL)
    diag_warning(reader, DR_TRADITIONAL,
                 "suggest hiding #%s from traditional C with an indented #", row->name);
}

bool process_directive_line(preprocessor_reader *reader, bool indented)
{
  uint8_t saved_parsing_args = reader->state.parsing_args;
  uint8_t saved_prevent = reader->state.prevent_expansion;
  if (reader->state.discarding_output)
    reader->state.prevent_expansion = 0;
  if (saved_parsing_args) {
    if (reader->options.pedantic_mode)
      diag_pedwarning(reader, DR_NONE,
                      "embedding a directive within macro arguments is not portable");
    reader->state.parsing_args = ARGS_NONE;
    reader->state.prevent_expansion = 0;
  }
  start_directive(reader);
  const preproc_token *name = _cpp_lex_token(reader);
  bool consumed = true;
  const directive_row *row = nullptr;
  if (name->kind != TK_EOF) {
    bool not_directive;
    row = find_directive(reader, name, &not_directive);
    consumed = !not_directive;
  }
  if (row) {
    if (!(row->flags & DF_OPENS_CONDITIONAL))
      reader->mi_valid = false;
    reader->state.angled_headers = (row->flags & DF_HEADER_NAME) != 0;
    reader->state.directive_wants_padding = (row->flags & DF_HEADER_NAME) != 0;
    if (reader->options.preprocessed_input) {
      if (!reader->options.directives_only && (!(row->flags & DF_IN_PREPROCESSED) || indented))
        row = nullptr, consumed = false;
    } else if (!reader->state.skipping) {
      extension_warnings(reader, row, indented);
    }
  }
  bool runs = row && (!reader->state.skipping || (row->flags & DF_CONDITIONAL));
  if (reader->options.traditional_mode) {
    reader->directive = runs ? row : nullptr;
    _cpp_prepare_directive_trad(reader, runs && row == &directive_table[D_DEFINE],
                                runs && (row->flags & DF_EXPAND),
                                runs && (row == &directive_table[D_IF] ||
                                         row == &directive_table[D_ELIF]));
  }
  if (runs) {
    reader->directive = row;
    row->handler(reader);
  }
  if (!consumed)
    _cpp_backup_lexed_tokens(reader, 1);
  end_directive(reader, consumed);
  // A deferred pragma without expansion keeps its raised count until the
  // tokeniser ends the pragma's line.
  bool deferred_raise = reader->state.in_deferred_pragma && !reader->state.pragma_allow_expansion;
  // Among macro arguments the pragma's line reads as it would outside them;
  // the argument collector takes its state back after the line.
  uint8_t outside = saved_parsing_args ? 0 : saved_prevent;
  reader->state.prevent_expansion = uint8_t(outside + deferred_raise);
  if (saved_parsing_args && !reader->state.in_deferred_pragma) {
    reader->state.prevent_expansion = 1;
    reader->state.parsing_args = ARGS_COLLECTING;
  }
  if (reader->state.discarding_output)
    reader->state.prevent_expansion = 1;
  return consumed;
}

// ---- The buffer stack ----

input_buffer *_cpp_buffer_push_block(preprocessor_reader *reader, unsigned char *block,
                                     const unsigned char *text, uint64_t length,
                                     bool from_stage3)
{
  input_buffer *buffer =
      static_cast<input_buffer *>(obstack_new_object(&reader->buffer_stack, sizeof(input_buffer)));
  memset(buffer, 0, sizeof *buffer);
  buffer->text = buffer->next_line = buffer->cursor = buffer->line_base = text;
  buffer->limit = text + length;
  buffer->to_free = block;
  buffer->need_line = true;
  buffer->from_stage3 = from_stage3;
  buffer->previous = reader->buffer;
  reader->buffer = buffer;
  return buffer;
}

input_buffer *buffer_push(preprocessor_reader *reader, const unsigned char *text, uint64_t length,
                          bool from_stage3)
{
  // A copy: the client's text has no guaranteed slack after its end for the
  // word reads of line preparation, and preparation writes to the text.
  unsigned char *copy = _cpp_copy_with_slack(text, length);
  return _cpp_buffer_push_block(reader, copy, copy, length, from_stage3);
}

void buffer_pop(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  for (conditional_frame *frame = buffer->if_stack; frame; frame = frame->next)
    diag_error_at_line(reader, DL_ERROR, frame->location, 0, "unterminated #%s",
                       directive_table[frame->index].name);
  reader->state.skipping = 0;
  reader->buffer = buffer->previous;
  free(buffer->notes);
  if (buffer->file)
    release_file_text(reader, buffer->file, buffer->to_free);
  else
    free(buffer->to_free);
  bool was_file = buffer->file != nullptr;
  obstack_free_to(&reader->buffer_stack, buffer);
  if (was_file)
    enter_file_change(reader, LC_LEAVE, nullptr, 0, 0);
}

const ordinary_map *enter_file_change(preprocessor_reader *reader, line_map_reason reason,
                                      const char *name, uint32_t line, uint32_t system_kind)
{
  linemap_set *set = reader->line_table;
  const ordinary_map *last = linemap_last_ordinary_map(set);
  const ordinary_map *map = last;
  if (reason == LC_RENAME_VERBATIM && line == 0 && last && last->first_line == 0 &&
      strcmp(last->file_name, name) == 0 &&
      ordinary_map_line(last, set->line_start_location) == 2) {
    set->top_location = set->line_start_location = last->start;
  } else {
    map = linemap_add_ordinary_map(set, reason, system_kind, name, line);
    if (map)
      linemap_start_line(set, map->first_line, 127);
  }
  if (reader->callbacks.file_change)
    reader->callbacks.file_change(reader, map);
  return map;
}

// ---- Directives from client texts ----

// A deferred pragma's PRAGMA token and the tokens of its line, through its
// PRAGMA_EOL, as a _Pragma hands them on.
static void collect_deferred_pragma(preprocessor_reader *reader, pragma_tokens *collected)
{
  uint32_t allocated = 50;
  collected->tokens = checked_new_array<preproc_token>(allocated);
  collected->count = 0;
  const preproc_token *token = &reader->directive_result;
  for (;;) {
    if (collected->count == allocated)
      collected->tokens = _cpp_grow_array(collected->tokens, &allocated, allocated + allocated / 2);
    collected->tokens[collected->count++] = *token;
    if (token->kind == TK_PRAGMA_EOL || token->kind == TK_EOF)
      break;
    do
      token = cpp_next_token(reader);
    while (token->kind == TK_PADDING);
  }
}

// Runs one directive over a client's text, as if it stood in the source;
// a deferred pragma's tokens go to COLLECTED when it is given.
static void run_directive(preprocessor_reader *reader, directive_index index, const char *text,
                          uint64_t length, pragma_tokens *collected)
{
  buffer_push(reader, reinterpret_cast<const unsigned char *>(text), length, true);
  start_directive(reader);
  // Before any file is entered there are no columns to locate tokens by.
  bool no_file = linemap_last_ordinary_map(reader->line_table) == nullptr;
  location_t saved_forced = reader->forced_token_location;
  if (no_file) {
    reader->forced_token_location = BUILTINS_LOCATION;
    reader->directive_line = BUILTINS_LOCATION;
  }
  _cpp_prepare_line(reader);
  const directive_row *row = &directive_table[index];
  reader->directive = row;
  // Traditional directives read their line as the text scan leaves it,
  // already expanded.
  bool traditional = reader->options.traditional_mode;
  if (traditional)
    _cpp_prepare_directive_trad(reader, index == D_DEFINE, (row->flags & DF_EXPAND) != 0,
                                index == D_IF || index == D_ELIF);
  row->handler(reader);
  end_directive(reader, true);
  if (traditional)
    reader->state.prevent_expansion--;
  if (collected && reader->directive_result.kind == TK_PRAGMA)
    collect_deferred_pragma(reader, collected);
  reader->forced_token_location = saved_forced;
  uint8_t skipping = reader->state.skipping;
  buffer_pop(reader);
  reader->state.skipping = skipping;
}

// What a traditional directive line uses that a directive run from a
// client's text in the middle of another would overwrite: the output line
// being scanned, and the overlay an outer directive reads through.
struct traditional_line_state {
  trad_output out;
  input_buffer *overlaid;
  const unsigned char *cursor;
  const unsigned char *limit;
  const unsigned char *next_line;
  saved_line_notes notes;
  line_note end_note;
  location_t forced_token_location;
  expansion_context base;
};

static void set_traditional_line_aside(preprocessor_reader *reader, traditional_line_state *saved)
{
  *saved = {reader->trad_out,
            reader->overlaid_buffer,
            reader->overlay_saved_cursor,
            reader->overlay_saved_limit,
            reader->overlay_saved_next_line,
            reader->overlay_saved_notes,
            reader->made_up_text_end_note,
            reader->forced_token_location,
            reader->base_context};
  reader->trad_out = {};
  reader->overlaid_buffer = nullptr;
}

static void take_traditional_line_back(preprocessor_reader *reader,
                                       const traditional_line_state &saved)
{
  free(reader->trad_out.base);
  reader->trad_out = saved.out;
  reader->overlaid_buffer = saved.overlaid;
  reader->overlay_saved_cursor = saved.cursor;
  reader->overlay_saved_limit = saved.limit;
  reader->overlay_saved_next_line = saved.next_line;
  reader->overlay_saved_notes = saved.notes;
  reader->made_up_text_end_note = saved.end_note;
  reader->forced_token_location = saved.forced_token_location;
  reader->base_context = saved.base;
}

void run_directive_text(preprocessor_reader *reader, directive_index index, const char *text,
                             uint64_t length, pragma_tokens *collected)
{
  vuz_assert(index < D_COUNT);
  // Saved: a _Pragma runs while another line, perhaps a macro's expansion,
  // is being read. The directive reads its own text from a fresh base, past
  // any tokens already looked ahead at.
  lexer_state saved = reader->state;
  location_t saved_line = reader->directive_line;
  const directive_row *saved_directive = reader->directive;
  expansion_context *saved_context = reader->context;
  expansion_context *saved_next = reader->base_context.next;
  preproc_token *saved_token = reader->cur_token;
  token_block *saved_run = reader->cur_run;
  uint32_t saved_lookaheads = reader->lookaheads;
  for (; reader->lookaheads; reader->lookaheads--) {
    if (reader->cur_token == reader->cur_run->limit) {
      reader->cur_run = reader->cur_run->next;
      reader->cur_token = reader->cur_run->first;
    }
    reader->cur_token++;
  }
  bool traditional = reader->options.traditional_mode;
  traditional_line_state saved_traditional;
  if (traditional)
    set_traditional_line_aside(reader, &saved_traditional);
  reader->context = &reader->base_context;
  reader->keep_tokens++;
  run_directive(reader, index, text, length, collected);
  reader->keep_tokens--;
  if (traditional)
    take_traditional_line_back(reader, saved_traditional);
  reader->context = saved_context;
  reader->base_context.next = saved_next;
  reader->cur_token = saved_token;
  reader->cur_run = saved_run;
  reader->lookaheads = saved_lookaheads;
  reader->state = saved;
  reader->directive_line = saved_line;
  reader->directive = saved_directive;
}

// A client's text may be run from a callback once reading has begun (a
// precompiled header read from #include, a deferred definition supplied in
// the middle of a line): the state of what was being read is kept.
static void run_client_directive(preprocessor_reader *reader, directive_index index, const char *text,
                                 uint64_t length)
{
  if (reader->buffer)
    run_directive_text(reader, index, text, length, nullptr);
  else
    run_directive(reader, index, text, length, nullptr);
}

void _cpp_define_text_macro(preprocessor_reader *reader, const char *text, uint64_t length)
{
  run_client_directive(reader, D_DEFINE, text, length);
}

void define_builtin_text(preprocessor_reader *reader, const char *text)
{
  _cpp_define_text_macro(reader, text, strlen(text));
}

void define_from_text(preprocessor_reader *reader, const char *text)
{
  size_t length = strlen(text);
  char *copy = static_cast<char *>(checked_malloc(length + 3));
  memcpy(copy, text, length + 1);
  char *equals = strchr(copy, '=');
  if (equals) {
    *equals = ' ';
  } else {
    memcpy(copy + length, " 1", 3);
    length += 2;
  }
  _cpp_define_text_macro(reader, copy, length);
  free(copy);
}

void define_from_text_unused(preprocessor_reader *reader, const char *text)
{
  uint8_t saved = reader->options.warn_unused_macro;
  reader->options.warn_unused_macro = 0;
  define_from_text(reader, text);
  reader->options.warn_unused_macro = saved;
}

__attribute__((format(printf, 3, 0))) static void
define_formatted_va(preprocessor_reader *reader, bool unused, const char *format, va_list args)
{
  char *text = format_alloc_va(format, args);
  if (unused)
    define_from_text_unused(reader, text);
  else
    define_from_text(reader, text);
  free(text);
}

void define_formatted(preprocessor_reader *reader, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  define_formatted_va(reader, false, format, args);
  va_end(args);
}

void define_formatted_unused(preprocessor_reader *reader, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  define_formatted_va(reader, true, format, args);
  va_end(args);
}

static int forget_any_macro(preprocessor_reader *, ident_node *node, void *)
{
  node->value.macro = nullptr;
  node->kind = IK_PLAIN;
  node->flags &= uint16_t(~(IDF_POISONED | IDF_EXPANDING | IDF_USED));
  return 1;
}

void undefine_all_macros(preprocessor_reader *reader)
{
  cpp_each_identifier(reader, forget_any_macro, nullptr);
}

// "PRED=ANSWER" becomes "PRED(ANSWER)".
static void run_assertion_text(preprocessor_reader *reader, directive_index index, const char *text)
{
  size_t length = strlen(text);
  char *copy = static_cast<char *>(checked_malloc(length + 2));
  memcpy(copy, text, length + 1);
  char *equals = strchr(copy, '=');
  if (equals) {
    *equals = '(';
    copy[length++] = ')';
    copy[length] = '\0';
  }
  run_client_directive(reader, index, copy, length);
  free(copy);
}

void assert_from_text(preprocessor_reader *reader, const char *text)
{
  run_assertion_text(reader, D_ASSERT, text);
}

void unassert_from_text(preprocessor_reader *reader, const char *text)
{
  run_assertion_text(reader, D_UNASSERT, text);
}

void undef_from_text(preprocessor_reader *reader, const char *name)
{
  run_client_directive(reader, D_UNDEF, name, strlen(name));
}

// ---- Accessors ----

cpp_reader_options *options_of(preprocessor_reader *reader)
{
  return &reader->options;
}

reader_callbacks *callbacks_of(preprocessor_reader *reader)
{
  return &reader->callbacks;
}

void replace_callbacks(preprocessor_reader *reader, const reader_callbacks *callbacks)
{
  reader->callbacks = *callbacks;
}

const char *narrow_charset_of(preprocessor_reader *reader)
{
  return reader->converters[CHARSET_NARROW].to;
}

const char *wide_charset_of(preprocessor_reader *reader)
{
  return reader->converters[CHARSET_WIDE].to;
}

dep_record *dependencies_of(preprocessor_reader *reader)
{
  return reader->options.deps_style ? _cpp_deps(reader) : nullptr;
}
