// Macro definitions: parsing a #define into a record, parameter binding, the
// checks on "#", "##" and __VA_OPT__, redefinition, the text of a definition,
// and the texts of the built-in macros.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/file-names.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

// The body as it is lexed; committed to the record pool when complete.
struct body_builder {
  preproc_token *tokens;
  uint32_t count;
  uint32_t allocated;
};

static preproc_token *body_append(body_builder *body, const preproc_token *token)
{
  if (body->count == body->allocated)
    body->tokens = _cpp_grow_array(body->tokens, &body->allocated,
                                   body->allocated ? body->allocated * 2 : 16u);
  body->tokens[body->count] = *token;
  return &body->tokens[body->count++];
}

// ---- Parameters ----

static saved_parameter *saved_parameters(const preprocessor_reader *reader)
{
  return reinterpret_cast<saved_parameter *>(reader->macro_buffer);
}

bool _cpp_bind_parameter(preprocessor_reader *reader, uint32_t index, ident_node *node,
                         ident_node *spelling)
{
  if (node->kind == IK_PARAMETER) {
    diag_error(reader, DL_ERROR, "duplicate macro parameter \"%s\"", spelling->text);
    return false;
  }
  // The count field of a definition is 16 bits wide; more would wrap it.
  if (index >= MAX_MACRO_PARAMETERS) {
    diag_error(reader, DL_ERROR, "macro has more than %u parameters", MAX_MACRO_PARAMETERS);
    return false;
  }
  uint64_t needed = uint64_t(index + 1) * sizeof(saved_parameter);
  if (reader->macro_buffer_length < needed)
    reader->macro_buffer = _cpp_grow_array(reader->macro_buffer, &reader->macro_buffer_length,
                                           uint32_t(needed * 2));
  saved_parameters(reader)[index] = {node, node->value.parameter, uint8_t(node->kind), spelling};
  node->kind = IK_PARAMETER;
  node->value.parameter = index + 1;
  return true;
}

void _cpp_unbind_parameters(preprocessor_reader *reader, uint32_t count)
{
  const saved_parameter *saved = saved_parameters(reader);
  for (uint32_t i = count; i-- > 0;) {
    saved[i].node->kind = saved[i].kind;
    saved[i].node->value.parameter = saved[i].value;
  }
}

void _cpp_copy_parameter_spellings(const preprocessor_reader *reader, uint32_t count,
                                   ident_node **out)
{
  const saved_parameter *saved = saved_parameters(reader);
  for (uint32_t i = 0; i < count; i++)
    out[i] = saved[i].spelling;
}

static void anonymous_variadic_warning(preprocessor_reader *reader)
{
  const cpp_reader_options *o = &reader->options;
  if (!o->c99_mode && o->pedantic_mode && o->warn_variadic)
    diag_pedwarning(reader, DR_VARIADIC_MACROS,
                    o->cplusplus_mode ? "anonymous variadic macros were introduced in C++11"
                                      : "anonymous variadic macros were introduced in C99");
  else if (o->warn_c90_c99_compat > 0 && !o->cplusplus_mode)
    diag_warning(reader, DR_C90_C99_COMPAT, "anonymous variadic macros were introduced in C99");
}

// The parameter list after "(": true with `variadic` set when it ended well.
static bool parse_parameters(preprocessor_reader *reader, uint32_t *count, bool *variadic)
{
  enum { AFTER_OPEN, AFTER_NAME, AFTER_COMMA, AFTER_ELLIPSIS } where = AFTER_OPEN;
  for (;;) {
    const preproc_token *token = _cpp_lex_token(reader);
    if (token->kind == TK_COMMENT && !reader->options.drop_comments_in_macros)
      continue;
    bool name_allowed = where == AFTER_OPEN || where == AFTER_COMMA;
    if (token->kind == TK_NAME && name_allowed) {
      if (!_cpp_bind_parameter(reader, *count, token->value.ident.node,
                               token->value.ident.spelling))
        return false;
      ++*count;
      where = AFTER_NAME;
      continue;
    }
    if (token->kind == TK_COMMA && where == AFTER_NAME) {
      where = AFTER_COMMA;
      continue;
    }
    if (token->kind == TK_CLOSE_PAREN && where != AFTER_COMMA)
      return true;
    if (token->kind == TK_ELLIPSIS && where != AFTER_ELLIPSIS) {
      if (where == AFTER_NAME) {
        if (reader->options.pedantic_mode && reader->options.warn_variadic)
          diag_pedwarning(reader, DR_VARIADIC_MACROS,
                          reader->options.cplusplus_mode
                              ? "ISO C++ does not permit named variadic macros"
                              : "ISO C does not permit named variadic macros");
      } else {
        ident_node *va_args = reader->spec_nodes.n_va_args;
        if (!_cpp_bind_parameter(reader, *count, va_args, va_args))
          return false;
        ++*count;
        anonymous_variadic_warning(reader);
      }
      reader->state.va_args_ok = 1;
      *variadic = true;
      where = AFTER_ELLIPSIS;
      continue;
    }
    const char *spelling =
        token->kind == TK_EOF ? "" : reinterpret_cast<const char *>(cpp_token_text(reader, token));
    if (token->kind == TK_EOF)
      diag_error(reader, DL_ERROR,
                 where == AFTER_NAME ? "expected ')' before end of line"
                 : where == AFTER_ELLIPSIS ? "expected ')' after \"...\""
                                           : "expected parameter name before end of line");
    else if (where == AFTER_NAME)
      diag_error(reader, DL_ERROR, "expected ',' or ')', found \"%s\"", spelling);
    else if (where == AFTER_ELLIPSIS)
      diag_error(reader, DL_ERROR, "expected ')' after \"...\"");
    else
      diag_error(reader, DL_ERROR, "expected parameter name, found \"%s\"", spelling);
    return false;
  }
}

// ---- The body ----

static bool is_basic_punctuation(unsigned char c)
{
  return c && strchr("!#%&()*+,-./:;<=>?[]^{|}~\"'\\", c) != nullptr;
}

// The first body token sits directly after the name.
static void check_space_after_name(preprocessor_reader *reader, const preproc_token *token)
{
  const cpp_reader_options *o = &reader->options;
  if (o->c99_mode) {
    diag_pedwarning(reader, DR_PEDANTIC,
                    o->cplusplus_mode ? "ISO C++11 requires whitespace after the macro name"
                                      : "ISO C99 requires whitespace after the macro name");
    return;
  }
  bool odd = token->kind == TK_ATSIGN || token->kind == TK_AT_NAME ||
             token->kind == TK_OBJC_STRING ||
             (token->kind == TK_OTHER && !is_basic_punctuation(token->value.str.text[0]));
  if (odd)
    diag_pedwarning(reader, DR_PEDANTIC, "missing whitespace after the macro name");
  else
    diag_warning(reader, DR_NONE, "missing whitespace after the macro name");
}

// ---- __VA_OPT__ groups ----

static bool is_paste(const preproc_token *token)
{
  return token->kind == TK_PASTE;
}

// A "##" may neither open nor close a group: it would paste across the
// group's edge, which the group's absence could not undo.
static va_opt_result paste_at_group_edge(va_opt_tracker *t, location_t at)
{
  diag_error_at_location(t->reader, DL_ERROR, at, "'##' cannot appear at either end of __VA_OPT__");
  return VA_OPT_ERROR;
}

static va_opt_result va_opt_inside(va_opt_tracker *t, const preproc_token *token)
{
  if (t->state == 2) {
    if (is_paste(token))
      return paste_at_group_edge(t, token->location);
    t->state = 3;
  }
  if (token->kind == TK_OPEN_PAREN) {
    t->state++;
  } else if (token->kind == TK_CLOSE_PAREN && --t->state == 2) {
    if (t->last_was_paste)
      return paste_at_group_edge(t, t->paste_location);
    t->state = 0;
    return VA_OPT_END;
  }
  return va_opt_result(t->group_result);
}

static va_opt_result va_opt_step(va_opt_tracker *t, const preproc_token *token)
{
  if (!t->variadic)
    return VA_OPT_INCLUDE;
  if (token->kind == TK_NAME && token->value.ident.node == t->reader->spec_nodes.n_va_opt) {
    if (t->state > 0) {
      diag_error(t->reader, DL_ERROR, "__VA_OPT__ may not appear in a __VA_OPT__");
      return VA_OPT_ERROR;
    }
    t->state = 1;
    t->va_opt_location = token->location;
    t->stringify = (token->flags & TOK_STRINGIFY) != 0;
    return VA_OPT_BEGIN;
  }
  if (t->state == 1) {
    if (token->kind != TK_OPEN_PAREN) {
      diag_error_at_location(t->reader, DL_ERROR, t->va_opt_location,
                             "__VA_OPT__ must be followed by an open parenthesis");
      return VA_OPT_ERROR;
    }
    // While a body is defined every group is kept.
    t->state = 2;
    t->group_result = VA_OPT_INCLUDE;
    return VA_OPT_DROP;
  }
  if (t->state >= 2)
    return va_opt_inside(t, token);
  return VA_OPT_INCLUDE;
}

va_opt_result va_opt_tracker_update(va_opt_tracker *tracker, const preproc_token *token)
{
  va_opt_result result = va_opt_step(tracker, token);
  tracker->last_was_paste = is_paste(token);
  if (tracker->last_was_paste)
    tracker->paste_location = token->location;
  return result;
}

struct body_parse {
  macro_def *macro;
  body_builder body;
  body_builder extra_pastes; // "##" directly after "##", kept at the end
  va_opt_tracker va_opt;
  bool following_paste;
  location_t paste_location;
};

static bool stringify_operand(preprocessor_reader *reader, body_parse *p, const preproc_token *hash,
                              preproc_token *token)
{
  bool va_opt = p->macro->variadic && token->kind == TK_NAME &&
                token->value.ident.node == reader->spec_nodes.n_va_opt;
  if (token->kind != TK_MACRO_ARG && !va_opt) {
    if (reader->options.language == DIALECT_ASM)
      return true;
    diag_error(reader, DL_ERROR, "'#' is not followed by a macro parameter");
    return false;
  }
  uint16_t flags = TOK_STRINGIFY | (hash->flags & TOK_SPACE_BEFORE);
  if (token->flags & TOK_SPACE_BEFORE)
    flags |= TOK_OPERATOR_SPACE;
  if (hash->flags & TOK_DIGRAPH)
    flags |= TOK_OPERATOR_DIGRAPH;
  token->flags = uint16_t((token->flags & ~TOK_SPACE_BEFORE) | flags);
  return true;
}

// Traditional C replaced parameter names inside literals too: the first
// such name in a string or character literal is worth a warning.
static void warn_traditional_stringify(preprocessor_reader *reader, const preproc_token *token)
{
  const unsigned char *text = token->value.str.text;
  const unsigned char *limit = text + token->value.str.length;
  while (text < limit) {
    if (!c_isidnum(*text)) {
      text++;
      continue;
    }
    const unsigned char *start = text;
    while (text < limit && c_isidnum(*text))
      text++;
    if (c_isdigit(*start))
      continue;
    ident_node *node = idtab_find(reader->idents, reinterpret_cast<const char *>(start),
                                  uint32_t(text - start), IDTAB_FIND_ONLY);
    if (node && node->kind == IK_PARAMETER) {
      diag_warning(reader, DR_TRADITIONAL,
                   "macro argument \"%s\" would be stringified in traditional C", node->text);
      return;
    }
  }
}

// One body token: false after an error that fails the definition.
static bool add_body_token(preprocessor_reader *reader, body_parse *p, preproc_token token)
{
  if ((token.kind == TK_STRING || token.kind == TK_CHAR) && token.value.str.length >= 3 &&
      reader->options.warn_traditional_c && p->macro->function_like)
    warn_traditional_stringify(reader, &token);
  if (token.kind == TK_NAME && token.value.ident.node->kind == IK_PARAMETER) {
    ident_node *spelling = token.value.ident.spelling;
    token.kind = TK_MACRO_ARG;
    token.value.arg.number = uint32_t(token.value.ident.node->value.parameter);
    token.value.arg.spelling = spelling;
  }
  if (va_opt_tracker_update(&p->va_opt, &token) == VA_OPT_ERROR)
    return false;
  body_builder *body = &p->body;
  bool after_hash = body->count > 0 && body->tokens[body->count - 1].kind == TK_HASH &&
                    !(body->tokens[body->count - 1].flags & TOK_NO_EXPAND) &&
                    p->macro->function_like;
  if (after_hash) {
    preproc_token hash = body->tokens[--body->count];
    if (!stringify_operand(reader, p, &hash, &token))
      return false;
    if (!(token.flags & TOK_STRINGIFY)) {
      hash.flags |= TOK_NO_EXPAND; // assembler: a plain "#"
      body_append(body, &hash);
    }
  }
  if (token.kind == TK_PASTE) {
    if (body->count == 0) {
      diag_error(reader, DL_ERROR, "'##' cannot appear at either end of a macro expansion");
      return false;
    }
    p->paste_location = token.location;
    if (p->following_paste) {
      token.value.paste_index = body->count + p->extra_pastes.count;
      body_append(&p->extra_pastes, &token);
      return true;
    }
    preproc_token *left = &body->tokens[body->count - 1];
    left->flags |= TOK_PASTE_NEXT;
    if (token.flags & TOK_DIGRAPH)
      left->flags |= TOK_OPERATOR_DIGRAPH;
    if (token.flags & TOK_SPACE_BEFORE)
      left->flags |= TOK_OPERATOR_SPACE;
    p->following_paste = true;
    return true;
  }
  p->following_paste = false;
  body_append(body, &token);
  return true;
}

static bool lex_body(preprocessor_reader *reader, body_parse *p, const preproc_token *first)
{
  const preproc_token *token = first;
  for (;;) {
    if (token->kind == TK_EOF)
      break;
    if (!add_body_token(reader, p, *token))
      return false;
    token = _cpp_lex_token(reader);
  }
  if (p->following_paste) {
    diag_error(reader, DL_ERROR, "'##' cannot appear at either end of a macro expansion");
    return false;
  }
  if (p->macro->function_like && p->body.count &&
      p->body.tokens[p->body.count - 1].kind == TK_HASH &&
      !(p->body.tokens[p->body.count - 1].flags & TOK_NO_EXPAND) &&
      reader->options.language != DIALECT_ASM) {
    diag_error(reader, DL_ERROR, "'#' is not followed by a macro parameter");
    return false;
  }
  if (p->va_opt.state != 0) {
    diag_error_at_location(reader, DL_ERROR, p->va_opt.va_opt_location, "unterminated __VA_OPT__");
    return false;
  }
  for (uint32_t i = 0; i < p->body.count; i++)
    p->body.tokens[i].flags &= uint16_t(~TOK_NO_EXPAND);
  return true;
}

// ---- Installing ----

// Room for SIZE bytes at the record pool's current position, where a
// record is built before it is committed.
static unsigned char *record_room(preprocessor_reader *reader, uint64_t size)
{
  size = (size + 7) & ~uint64_t(7); // what the commit takes
  scratch_buffer *pool = reader->record_pool;
  if (uint64_t(pool->limit - pool->current) < size)
    _cpp_scratch_grow(reader, &reader->record_pool, size);
  return reader->record_pool->current;
}

// Definitions are committed through the pool, so that a client's string
// allocator, when it has one, owns them.
static macro_def *commit_macro(preprocessor_reader *reader, const macro_def *shape,
                               const body_parse *p)
{
  ident_node **parameters = nullptr;
  if (shape->parameter_count) {
    uint64_t size = shape->parameter_count * sizeof(ident_node *);
    _cpp_copy_parameter_spellings(reader, shape->parameter_count,
                                  reinterpret_cast<ident_node **>(record_room(reader, size)));
    parameters = reinterpret_cast<ident_node **>(_cpp_pool_commit(reader, size));
  }
  uint32_t count = p->body.count + p->extra_pastes.count;
  uint64_t size = sizeof(macro_def) + uint64_t(count) * sizeof(preproc_token);
  macro_def *macro = reinterpret_cast<macro_def *>(record_room(reader, size));
  *macro = *shape;
  macro->count = count;
  macro->extra_tokens = p->extra_pastes.count != 0;
  preproc_token *tokens = macro_tokens(macro);
  if (p->body.count)
    memcpy(tokens, p->body.tokens, p->body.count * sizeof(preproc_token));
  if (p->extra_pastes.count)
    memcpy(tokens + p->body.count, p->extra_pastes.tokens,
           p->extra_pastes.count * sizeof(preproc_token));
  if (count)
    tokens[0].flags &= uint16_t(~TOK_SPACE_BEFORE);
  macro->parameters = parameters;
  return reinterpret_cast<macro_def *>(_cpp_pool_commit(reader, size));
}

uint32_t macro_body_count(const macro_def *macro)
{
  if (!macro->extra_tokens)
    return macro->count;
  uint32_t count = macro->count;
  const preproc_token *tokens = macro_tokens(macro);
  while (count && tokens[count - 1].kind == TK_PASTE)
    count--;
  return count;
}

bool macros_differ(const macro_def *a, const macro_def *b)
{
  if (a->parameter_count != b->parameter_count || a->function_like != b->function_like ||
      a->variadic != b->variadic || a->kind != b->kind)
    return true;
  for (uint32_t i = 0; i < a->parameter_count; i++)
    if (a->parameters[i] != b->parameters[i])
      return true;
  if (a->kind == MACRO_KIND_TEXT)
    return _cpp_expansions_different_trad(a, b);
  if (a->count != b->count)
    return true;
  for (uint32_t i = 0; i < a->count; i++)
    if (!_cpp_tokens_equal(&macro_tokens(a)[i], &macro_tokens(b)[i]))
      return true;
  return false;
}

void _cpp_forget_macro(ident_node *node)
{
  node->kind = IK_PLAIN;
  node->value.macro = nullptr;
  node->flags &= uint16_t(~(IDF_EXPANDING | IDF_USED));
}

int _cpp_report_unused_macro(preprocessor_reader *reader, ident_node *node, void *)
{
  if (node->kind != IK_MACRO)
    return 1;
  // A deferred definition never asked for was never used either, but has
  // no line to report at.
  macro_def *macro = node->value.macro;
  if (macro == nullptr || macro->used)
    return 1;
  const ordinary_map *map = linemap_find_ordinary_map(reader->line_table, macro->line);
  if (map && map->includer_location == 0)
    diag_warning_at_line(reader, DR_UNUSED_MACROS, macro->line, 0, "macro \"%s\" is not used",
                         node->text);
  return 1;
}

static bool redefinition_allowed(preprocessor_reader *reader, ident_node *node,
                                 const macro_def *fresh)
{
  if (node->flags & IDF_WARN_ON_CHANGE)
    return false;
  if (node->kind == IK_BUILTIN)
    return !reader->options.warn_builtin_redefinition;
  if (node->flags & IDF_CONDITIONAL)
    return true;
  return !macros_differ(node->value.macro, fresh);
}

static bool stdc_name_is_marked(const char *name)
{
  return strncmp(name, "__STDC_", 7) == 0 && strcmp(name, "__STDC_FORMAT_MACROS") != 0 &&
         strcmp(name, "__STDC_LIMIT_MACROS") != 0 && strcmp(name, "__STDC_CONSTANT_MACROS") != 0;
}

macro_def *cpp_resolve_deferred_macro(preprocessor_reader *reader, ident_node *node,
                                      location_t location)
{
  macro_def *macro = node->value.macro;
  if (macro)
    return macro;
  // Plain while the client is asked: a definition it makes of the name
  // from text installs as a new one, and asks nothing again.
  node->kind = IK_PLAIN;
  if (reader->callbacks.deferred_macro)
    macro = reader->callbacks.deferred_macro(reader, location, node);
  if (macro) {
    node->kind = IK_MACRO;
    node->value.macro = macro;
  }
  return macro;
}

void cpp_mark_lazy_macro(preprocessor_reader *reader, ident_node *node, unsigned number)
{
  (void)reader;
  vuz_assert(node->kind == IK_MACRO && node->value.macro && number < UINT8_MAX);
  node->value.macro->lazy = uint8_t(number + 1);
}

bool _cpp_complete_macro(preprocessor_reader *reader, ident_node *node, location_t location)
{
  if (node->kind != IK_MACRO)
    return true;
  macro_def *macro = cpp_resolve_deferred_macro(reader, node, location);
  if (macro == nullptr)
    return false;
  if (macro->lazy) {
    unsigned number = macro->lazy - 1u;
    macro->lazy = 0;
    if (reader->callbacks.lazy_macro)
      reader->callbacks.lazy_macro(reader, macro, number);
  }
  return true;
}

void _cpp_install_macro(preprocessor_reader *reader, ident_node *node, macro_def *macro)
{
  // The old definition is compared in full; one the client cannot supply
  // is none.
  _cpp_complete_macro(reader, node, reader->directive_line);
  if (ident_is_macro(node)) {
    if (reader->options.warn_unused_macro)
      _cpp_report_unused_macro(reader, node, nullptr);
    if (!redefinition_allowed(reader, node, macro)) {
      bool builtin = node->kind == IK_BUILTIN && !(node->flags & IDF_WARN_ON_CHANGE);
      bool issued = diag_pedwarning_at_line(
          reader, builtin ? DR_BUILTIN_MACRO_REDEFINED : DR_NONE, reader->directive_line, 0,
          "\"%s\" redefined", node->text);
      if (issued && node->kind == IK_MACRO)
        diag_error_at_line(reader, DL_NOTE, node->value.macro->line, 0,
                           "this is the location of the previous definition");
    }
    _cpp_forget_macro(node);
  }
  node->kind = IK_MACRO;
  node->value.macro = macro;
  if (stdc_name_is_marked(node->text))
    node->flags |= IDF_WARN_ON_CHANGE;
  node->flags &= uint16_t(~IDF_CONDITIONAL);
}

macro_def *_cpp_macro_record_init(preprocessor_reader *reader, uint8_t kind, void *memory)
{
  macro_def *macro = static_cast<macro_def *>(memory);
  *macro = macro_def();
  macro->kind = kind;
  macro->line = reader->directive_line;
  macro->system_header = reader->buffer && reader->buffer->system_kind != 0;
  // Nobody asked to hear of unused macros: count every one as used.
  macro->used = !reader->options.warn_unused_macro;
  return macro;
}

bool _cpp_define_macro(preprocessor_reader *reader, ident_node *node)
{
  if (reader->options.traditional_mode) {
    macro_def *macro = _cpp_create_trad_definition(reader);
    if (macro == nullptr)
      return false;
    _cpp_install_macro(reader, node, macro);
    return true;
  }
  macro_def shape;
  _cpp_macro_record_init(reader, MACRO_KIND_TOKENS, &shape);

  uint32_t parameters = 0;
  body_parse p = {};
  p.macro = &shape;
  bool ok = true;
  bool variadic = false;
  const preproc_token *first = _cpp_lex_token(reader);
  if (first->kind == TK_OPEN_PAREN && !(first->flags & TOK_SPACE_BEFORE)) {
    shape.function_like = 1;
    ok = parse_parameters(reader, &parameters, &variadic);
    shape.variadic = variadic;
    shape.parameter_count = uint16_t(parameters);
    if (ok)
      first = _cpp_lex_token(reader);
  } else if (!(first->flags & TOK_SPACE_BEFORE) && first->kind != TK_EOF &&
             !(first->kind == TK_COMMENT && !reader->options.drop_comments_in_macros)) {
    check_space_after_name(reader, first);
  }
  p.va_opt.reader = reader;
  p.va_opt.variadic = variadic;
  if (ok)
    ok = lex_body(reader, &p, first);
  macro_def *macro = ok ? commit_macro(reader, &shape, &p) : nullptr;
  reader->state.va_args_ok = 0;
  // Unbound before installing: replacing the old definition may ask the
  // client, which may define other macros meanwhile.
  _cpp_unbind_parameters(reader, parameters);
  if (macro)
    _cpp_install_macro(reader, node, macro);
  free(p.body.tokens);
  free(p.extra_pastes.tokens);
  return ok;
}

// ---- The text of a definition ----

static uint64_t macro_text_bound(const ident_node *node, const macro_def *macro)
{
  uint64_t length = uint64_t(node->length) * 10 + 2;
  if (macro->function_like) {
    length += 4;
    for (uint32_t i = 0; i < macro->parameter_count; i++)
      length += uint64_t(macro->parameters[i]->length) * 10 + 1;
  }
  if (macro->kind == MACRO_KIND_TEXT)
    return length + _cpp_replacement_text_len(macro);
  // The extra "##" kept at the end are no part of the text: written back
  // after the body they would end it with a paste.
  const preproc_token *tokens = macro_tokens(macro);
  for (uint32_t i = 0; i < macro_body_count(macro); i++) {
    const preproc_token *token = &tokens[i];
    length += token->kind == TK_MACRO_ARG ? uint64_t(token->value.arg.spelling->length) * 10
                                          : cpp_spelling_bound(token);
    length += 1 + 3 + 1;
  }
  return length;
}

const unsigned char *cpp_macro_text(preprocessor_reader *reader, ident_node *node)
{
  if (node->kind != IK_MACRO || !_cpp_complete_macro(reader, node, 0))
    return nullptr;
  const macro_def *macro = node->value.macro;
  uint64_t bound = macro_text_bound(node, macro);
  if (reader->macro_buffer_length < bound) {
    free(reader->macro_buffer);
    reader->macro_buffer = static_cast<unsigned char *>(checked_malloc(bound));
    reader->macro_buffer_length = uint32_t(bound);
  }
  unsigned char *out = _cpp_write_ident_as_ucns(reader->macro_buffer, node);
  if (macro->function_like) {
    *out++ = '(';
    for (uint32_t i = 0; i < macro->parameter_count; i++) {
      const ident_node *parameter = macro->parameters[i];
      if (parameter != reader->spec_nodes.n_va_args)
        out = _cpp_write_ident_as_ucns(out, parameter);
      if (i + 1 < macro->parameter_count)
        *out++ = ',';
      else if (macro->variadic)
        out = reinterpret_cast<unsigned char *>(stpcpy(reinterpret_cast<char *>(out), "..."));
    }
    *out++ = ')';
  }
  *out++ = ' ';
  if (macro->kind == MACRO_KIND_TEXT) {
    out = _cpp_copy_replacement_text(macro, out);
  } else {
    const preproc_token *tokens = macro_tokens(macro);
    for (uint32_t i = 0; i < macro_body_count(macro); i++) {
      const preproc_token *token = &tokens[i];
      if (token->flags & TOK_SPACE_BEFORE)
        *out++ = ' ';
      if (token->flags & TOK_STRINGIFY)
        *out++ = '#';
      if (token->kind == TK_MACRO_ARG)
        out = _cpp_write_ident_as_ucns(out, token->value.arg.spelling);
      else
        out = cpp_write_token_text(reader, token, out, false);
      if (token->flags & TOK_PASTE_NEXT) {
        *out++ = ' ';
        *out++ = '#';
        *out++ = '#';
      }
    }
  }
  *out = '\0';
  return reader->macro_buffer;
}

// ---- Built-in macro texts ----

unsigned char *cpp_escape_string(unsigned char *destination, const unsigned char *text,
                                 uint64_t length)
{
  for (uint64_t i = 0; i < length; i++) {
    unsigned char c = text[i];
    if (c == '\\' || c == '"') {
      *destination++ = '\\';
    } else if (c == '\n') {
      *destination++ = '\\';
      c = 'n';
    }
    *destination++ = c;
  }
  return destination;
}

int cpp_source_date(preprocessor_reader *reader, time_t *out)
{
  if (reader->callbacks.source_date_epoch) {
    int64_t epoch = reader->callbacks.source_date_epoch(reader);
    if (epoch != -1) {
      *out = time_t(epoch);
      return -1;
    }
  }
  int saved = errno;
  errno = 0;
  *out = time(nullptr);
  if (*out == time_t(-1) && errno != 0)
    return -3;
  errno = saved;
  return -2;
}

static const char *const month_names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

static void warn_date_time(preprocessor_reader *reader, const ident_node *node)
{
  if (reader->options.warn_date_time_macros)
    diag_warning(reader, DR_DATE_TIME, "macro \"%s\" might prevent reproducible builds",
                 node->text);
}

// Made once per reader; a failed conversion or a year that does not fit
// four digits gives the unknown texts rather than a malformed literal.
static void make_date_and_time(preprocessor_reader *reader)
{
  time_t now;
  int kind = cpp_source_date(reader, &now);
  struct tm broken;
  struct tm *tb = nullptr;
  if (kind != -3)
    tb = kind == -1 ? gmtime_r(&now, &broken) : localtime_r(&now, &broken);
  if (tb == nullptr || tb->tm_year + 1900 < 0 || tb->tm_year + 1900 > 9999 || tb->tm_mon < 0 ||
      tb->tm_mon > 11) {
    diag_errno(reader, DL_WARNING, "could not determine date and time");
    reader->date = reinterpret_cast<const unsigned char *>("\"??? ?? ????\"");
    reader->time = reinterpret_cast<const unsigned char *>("\"??:??:??\"");
    return;
  }
  unsigned char *date = _cpp_pool_alloc(reader, 32);
  snprintf(reinterpret_cast<char *>(date), 32, "\"%s %2d %4d\"", month_names[tb->tm_mon],
           tb->tm_mday, tb->tm_year + 1900);
  unsigned char *clock = _cpp_pool_alloc(reader, 32);
  snprintf(reinterpret_cast<char *>(clock), 32, "\"%02d:%02d:%02d\"", tb->tm_hour, tb->tm_min,
           tb->tm_sec);
  reader->date = date;
  reader->time = clock;
}

static const unsigned char *timestamp_text(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  while (buffer && buffer->file == nullptr)
    buffer = buffer->previous;
  if (buffer == nullptr)
    return reinterpret_cast<const unsigned char *>("1");
  if (buffer->timestamp)
    return reinterpret_cast<const unsigned char *>(buffer->timestamp);
  struct stat info;
  struct tm broken;
  char text[64];
  const char *path = source_file_path(buffer->file);
  if (stat(path, &info) == 0 && localtime_r(&info.st_mtime, &broken) &&
      broken.tm_year + 1900 >= 0 && broken.tm_year + 1900 <= 9999 &&
      asctime_r(&broken, text + 1)) {
    text[0] = '"';
    char *newline = strchr(text, '\n');
    if (newline)
      *newline = '"';
  } else {
    diag_errno(reader, DL_WARNING, "could not determine file timestamp");
    strcpy(text, "\"??? ??? ?? ??:??:?? ????\"");
  }
  buffer->timestamp = reinterpret_cast<const char *>(
      _cpp_pool_copy(reader, reinterpret_cast<const unsigned char *>(text), strlen(text)));
  return reinterpret_cast<const unsigned char *>(buffer->timestamp);
}

static const unsigned char *number_text(preprocessor_reader *reader, uint64_t value)
{
  unsigned char *text = _cpp_pool_alloc(reader, 21);
  snprintf(reinterpret_cast<char *>(text), 21, "%llu", static_cast<unsigned long long>(value));
  return text;
}

static const unsigned char *file_text(preprocessor_reader *reader, const ident_node *node,
                                      location_t location)
{
  linemap_set *set = reader->line_table;
  const char *name = nullptr;
  if (node->value.builtin == BT_BASE_FILE) {
    name = reader->main_file ? source_file_path(reader->main_file) : nullptr;
  } else {
    location_t at = linemap_resolve_location(set, location, RESOLVE_TO_EXPANSION, nullptr);
    const ordinary_map *map = linemap_find_ordinary_map(set, at);
    name = map ? map->file_name : nullptr;
  }
  vuz_assert_as(name != nullptr, __FILE__, "_cpp_builtin_macro_text");
  if (node->value.builtin == BT_FILE_NAME)
    name = path_base_name(name);
  if (reader->callbacks.remap_file_name)
    name = reader->callbacks.remap_file_name(name);
  uint64_t length = strlen(name);
  unsigned char *text = _cpp_pool_alloc(reader, length * 2 + 3);
  unsigned char *out = text;
  *out++ = '"';
  out = cpp_escape_string(out, reinterpret_cast<const unsigned char *>(name), length);
  *out++ = '"';
  *out = '\0';
  return text;
}

const unsigned char *_cpp_builtin_macro_text(preprocessor_reader *reader, ident_node *node,
                                             location_t location)
{
  linemap_set *set = reader->line_table;
  switch (node->value.builtin) {
  case BT_LINE: {
    location_t at = reader->options.traditional_mode
                        ? set->top_location
                        : linemap_resolve_location(set, location, RESOLVE_TO_EXPANSION,
                                                   nullptr);
    const ordinary_map *map = linemap_find_ordinary_map(set, at);
    return number_text(reader, map ? ordinary_map_line(map, at) : 0);
  }
  case BT_DATE:
  case BT_TIME:
    warn_date_time(reader, node);
    if (reader->date == nullptr)
      make_date_and_time(reader);
    return node->value.builtin == BT_DATE ? reader->date : reader->time;
  case BT_FILE:
  case BT_FILE_NAME:
  case BT_BASE_FILE:
    return file_text(reader, node, location);
  case BT_INCLUDE_LEVEL:
    return number_text(reader, set->include_depth ? set->include_depth - 1 : 0);
  case BT_STDC:
    return number_text(reader, reader->buffer && reader->buffer->system_kind ? 0 : 1);
  case BT_TIMESTAMP:
    warn_date_time(reader, node);
    return timestamp_text(reader);
  case BT_COUNTER:
    if (reader->options.directives_only && reader->state.in_directive)
      diag_error(reader, DL_ERROR,
                 "__COUNTER__ expanded inside directive with -fdirectives-only");
    return number_text(reader, reader->counter++);
  case BT_HAS_ATTRIBUTE:
  case BT_HAS_STD_ATTRIBUTE:
    return number_text(reader, uint64_t(reader->callbacks.has_attribute(
                                   reader, node->value.builtin == BT_HAS_STD_ATTRIBUTE)));
  case BT_HAS_BUILTIN:
    return number_text(reader, uint64_t(reader->callbacks.has_builtin(reader)));
  case BT_HAS_INCLUDE:
  case BT_HAS_INCLUDE_NEXT:
    return number_text(reader, _cpp_has_include(reader, node));
  default:
    diag_error(reader, DL_ICE, "invalid built-in macro \"%s\"", node->text);
    return number_text(reader, 1);
  }
}
