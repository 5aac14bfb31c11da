// Macro expansion: the stack of expansion contexts over the tokeniser,
// recognising invocations, collecting and pre-expanding arguments, building
// replacements with "#", "##" and __VA_OPT__, and the padding that lets a
// printer reproduce white space without accidental pastes.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

// Invocations nested in arguments pre-expand recursively; this keeps a
// deeply nested invocation an error rather than a stack overflow.
enum { MAX_ARGUMENT_EXPANSION_DEPTH = 256 };

// What a PADDING token's source points at: only its white space is read,
// and these outlive every context.
static const preproc_token white_source = {0, TK_PADDING, TOK_SPACE_BEFORE, {}};
static const preproc_token plain_source = {0, TK_PADDING, 0, {}};
static const preproc_token input_end = {0, TK_EOF, 0, {}};

// A growable array of tokens.
struct token_list {
  preproc_token *tokens;
  uint32_t count;
  uint32_t allocated;
};

static void list_add(token_list *list, const preproc_token *token)
{
  if (list->count == list->allocated) {
    list->allocated = list->allocated ? list->allocated * 2 : 16;
    list->tokens = static_cast<preproc_token *>(
        checked_realloc(list->tokens, uint64_t(list->allocated) * sizeof(preproc_token)));
  }
  list->tokens[list->count++] = *token;
}

static void list_add_all(token_list *list, const preproc_token *tokens, uint32_t count)
{
  for (uint32_t i = 0; i < count; i++)
    list_add(list, &tokens[i]);
}

static preproc_token make_padding(const preproc_token *source)
{
  preproc_token padding = {};
  padding.kind = TK_PADDING;
  if (source)
    padding.value.source = (source->flags & TOK_SPACE_BEFORE) ? &white_source : &plain_source;
  return padding;
}

// A padding token that stays valid until a few more have been handed out.
static const preproc_token *hand_out(preprocessor_reader *reader, const preproc_token &token)
{
  preproc_token *slot = &reader->handed_out[reader->handed_out_next++ % HANDED_OUT_SLOTS];
  *slot = token;
  return slot;
}

// ---- Contexts ----

void _cpp_push_tokens(preprocessor_reader *reader, ident_node *macro, const preproc_token *tokens,
                      uint32_t count)
{
  expansion_context *context = checked_new_cleared<expansion_context>();
  context->previous = reader->context;
  reader->context->next = context;
  context->start = context->first = tokens;
  context->last = tokens + count;
  context->macro = macro;
  reader->context = context;
}

void _cpp_push_text(preprocessor_reader *reader, ident_node *macro, const unsigned char *text,
                    uint64_t length)
{
  _cpp_push_tokens(reader, macro, nullptr, 0);
  reader->context->text_position = text;
  reader->context->text_limit = text + length;
  if (macro)
    macro->flags |= IDF_EXPANDING;
}

// Pushes a copy of the tokens; the copy lives in scratch memory so that
// tokens already handed out stay readable after the context is popped.
static void push_copy(preprocessor_reader *reader, ident_node *macro, const preproc_token *tokens,
                      uint32_t count)
{
  scratch_buffer *block = _cpp_scratch_take(reader, (uint64_t(count) + 1) * sizeof(preproc_token));
  preproc_token *copy = reinterpret_cast<preproc_token *>(
      (reinterpret_cast<uintptr_t>(block->base) + 7) & ~uintptr_t(7));
  if (count)
    memcpy(copy, tokens, count * sizeof(preproc_token));
  _cpp_push_tokens(reader, macro, copy, count);
  reader->context->scratch = block;
}

void _cpp_pop_context(preprocessor_reader *reader)
{
  expansion_context *context = reader->context;
  if (context->previous == nullptr)
    internal_abort(__FILE__, __LINE__, "_cpp_pop_context");
  if (context->macro && context->previous->macro != context->macro)
    context->macro->flags &= uint16_t(~IDF_EXPANDING);
  if (context->scratch)
    _cpp_scratch_release(reader, context->scratch);
  reader->context = context->previous;
  reader->context->next = nullptr;
  free(context);
}

void _cpp_release_contexts(preprocessor_reader *reader)
{
  while (reader->context->previous)
    _cpp_pop_context(reader);
}

// The token the lexer gave last.
static const preproc_token *last_lexed(const preprocessor_reader *reader)
{
  if (reader->cur_token != reader->cur_run->first)
    return reader->cur_token - 1;
  return reader->cur_run->previous ? reader->cur_run->previous->limit - 1 : nullptr;
}

// A token read from a context that has been popped since, or a copy handed
// out, goes back as a context of its own.
void _cpp_backup_expanded(preprocessor_reader *reader, const preproc_token *token)
{
  if (token == &input_end)
    return;
  expansion_context *context = reader->context;
  if (context->previous) {
    if (context->first > context->start && context->first - 1 == token) {
      context->first--;
      return;
    }
  } else if (token == last_lexed(reader)) {
    _cpp_backup_tokens(reader, 1);
    return;
  }
  push_copy(reader, nullptr, token, 1);
}

bool _cpp_notify_macro_use(preprocessor_reader *reader, ident_node *node, location_t location)
{
  node->flags |= IDF_USED;
  if (node->kind == IK_PARAMETER)
    internal_abort(__FILE__, __LINE__, "_cpp_notify_macro_use");
  if (ident_is_macro(node)) {
    if (reader->callbacks.used_defined)
      reader->callbacks.used_defined(reader, location, node);
  } else if (reader->callbacks.used_undefined) {
    reader->callbacks.used_undefined(reader, location, node);
  }
  return true;
}

// ---- Lexing a made-up text ----

bool _cpp_lex_text_token(preprocessor_reader *reader, const unsigned char *text, uint64_t length,
                         location_t location, preproc_token *out)
{
  buffer_push(reader, text, length, true);
  reader->buffer->return_at_eof = 1;
  _cpp_prepare_line(reader);
  location_t saved_location = reader->forced_token_location;
  reader->forced_token_location = location ? location : BUILTINS_LOCATION;
  uint8_t saved_in_directive = reader->state.in_directive;
  // In a directive the end of the text is an EOF, never the next line.
  reader->state.in_directive = 1;
  _cpp_insert_temp_token(reader);
  reader->cur_token--;
  *out = *_cpp_scan_token(reader);
  bool used_all = reader->buffer->cursor == reader->buffer->limit;
  reader->state.in_directive = saved_in_directive;
  reader->forced_token_location = saved_location;
  uint8_t skipping = reader->state.skipping;
  buffer_pop(reader);
  reader->state.skipping = skipping;
  return used_all;
}

// ---- Pasting ----

static bool paste_pair(preprocessor_reader *reader, preproc_token *left, const preproc_token *right)
{
  uint64_t bound = cpp_spelling_bound(left) + cpp_spelling_bound(right) + 3;
  unsigned char *text = static_cast<unsigned char *>(checked_malloc(bound));
  unsigned char *end = cpp_write_token_text(reader, left, text, false);
  unsigned char *middle = end;
  // "/" and "/" must not become a comment.
  if (left->kind == TK_DIV && right->kind != TK_EQ)
    *end++ = ' ';
  if (right->kind != TK_PADDING)
    end = cpp_write_token_text(reader, right, end, false);
  preproc_token result;
  bool ok = _cpp_lex_text_token(reader, text, uint64_t(end - text), left->location, &result);
  if (ok) {
    result.flags = uint16_t((result.flags & ~(TOK_SPACE_BEFORE | TOK_FALLTHROUGH_BEFORE)) |
                            (left->flags & (TOK_SPACE_BEFORE | TOK_FALLTHROUGH_BEFORE)));
    result.location = left->location;
    *left = result;
  } else {
    left->flags &= uint16_t(~TOK_PASTE_NEXT);
    if (reader->options.language != DIALECT_ASM) {
      *middle = '\0';
      const unsigned char *right_text = cpp_token_text(reader, right);
      diag_error_at_location(reader, DL_ERROR, reader->invocation_location,
                             "pasting \"%s\" and \"%s\" does not give a valid preprocessing token",
                             reinterpret_cast<const char *>(text),
                             reinterpret_cast<const char *>(right_text));
    }
  }
  free(text);
  return ok;
}

static void paste_all(preprocessor_reader *reader, const preproc_token *first)
{
  expansion_context *context = reader->context;
  if (context->macro == nullptr)
    internal_abort(__FILE__, __LINE__, "paste_all_tokens");
  preproc_token result = *first;
  const preproc_token *right;
  do {
    if (context->first == context->last)
      break;
    right = context->first++;
    if (right->kind == TK_PADDING && (right->flags & TOK_PASTE_NEXT))
      internal_abort(__FILE__, __LINE__, "paste_all_tokens");
    if (!paste_pair(reader, &result, right)) {
      context->first--;
      break;
    }
  } while (right->flags & TOK_PASTE_NEXT);
  result.flags &= uint16_t(~TOK_PASTE_NEXT);
  push_copy(reader, nullptr, &result, 1);
}

// ---- Arguments ----

struct macro_arg {
  token_list raw;
  token_list expanded;
  bool expanded_done;
  preproc_token stringified;
  bool stringified_done;
};

static bool is_literal_to_escape(int kind)
{
  return (kind >= TK_CHAR && kind <= TK_UTF8CHAR) || (kind >= TK_STRING && kind <= TK_UTF8STRING) ||
         (kind >= TK_CHAR_USERDEF && kind <= TK_UTF8STRING_USERDEF);
}

static preproc_token stringify_tokens(preprocessor_reader *reader, const preproc_token *tokens,
                                      uint32_t count)
{
  uint64_t bound = 3;
  for (uint32_t i = 0; i < count; i++)
    bound += cpp_spelling_bound(&tokens[i]) * 2 + 1;
  unsigned char *text = _cpp_pool_alloc(reader, bound);
  unsigned char *out = text;
  *out++ = '"';
  const preproc_token *source = nullptr;
  uint32_t backslashes = 0;
  unsigned char *spelled = static_cast<unsigned char *>(checked_malloc(bound));
  for (uint32_t i = 0; i < count; i++) {
    const preproc_token *token = &tokens[i];
    if (token->kind == TK_PADDING) {
      if (source == nullptr || (!(source->flags & TOK_SPACE_BEFORE) && token->value.source == nullptr))
        source = token->value.source;
      continue;
    }
    if (out - 1 != text) {
      if (source == nullptr)
        source = token;
      if (source->flags & TOK_SPACE_BEFORE)
        *out++ = ' ';
    }
    source = nullptr;
    if (is_literal_to_escape(token->kind)) {
      unsigned char *end = cpp_write_token_text(reader, token, spelled, true);
      out = cpp_escape_string(out, spelled, uint64_t(end - spelled));
    } else {
      out = cpp_write_token_text(reader, token, out, true);
    }
    bool backslash = token->kind == TK_OTHER && token->value.str.length == 1 &&
                     token->value.str.text[0] == '\\';
    backslashes = backslash ? backslashes + 1 : 0;
  }
  free(spelled);
  if (backslashes & 1) {
    diag_warning(reader, DR_NONE, "invalid string literal, ignoring final '\\'");
    out--;
  }
  *out++ = '"';
  *out = '\0';
  preproc_token result = {};
  result.kind = TK_STRING;
  result.value.str.text = text;
  result.value.str.length = uint32_t(out - text);
  return result;
}

static void expand_argument(preprocessor_reader *reader, ident_node *macro, macro_arg *arg)
{
  arg->expanded_done = true;
  if (arg->raw.count == 0)
    return;
  if (reader->expansion_depth >= MAX_ARGUMENT_EXPANSION_DEPTH) {
    diag_error(reader, DL_ERROR, "macro arguments nested more than %u levels deep",
               unsigned(MAX_ARGUMENT_EXPANSION_DEPTH));
    list_add_all(&arg->expanded, arg->raw.tokens, arg->raw.count);
    return;
  }
  reader->expansion_depth++;
  uint8_t saved_traditional = reader->options.warn_traditional_c;
  bool saved_ignore = reader->ignore_pragma_operator;
  reader->options.warn_traditional_c = 0;
  reader->ignore_pragma_operator = true;
  token_list input = {};
  list_add_all(&input, arg->raw.tokens, arg->raw.count);
  list_add(&input, &reader->endarg_token);
  push_copy(reader, macro, input.tokens, input.count);
  free(input.tokens);
  expansion_context *mine = reader->context;
  for (;;) {
    const preproc_token *token = cpp_next_token(reader);
    if (token->kind == TK_EOF)
      break;
    list_add(&arg->expanded, token);
  }
  // The argument's own end is normally what stopped the loop; should an
  // operator have read past it, its context is gone already.
  bool found = false;
  for (expansion_context *c = reader->context; c && !found; c = c->previous)
    found = c == mine;
  while (found && reader->context != mine)
    _cpp_pop_context(reader);
  if (found)
    _cpp_pop_context(reader);
  reader->options.warn_traditional_c = saved_traditional;
  reader->ignore_pragma_operator = saved_ignore;
  reader->expansion_depth--;
}

// An EOF read from a context ends an argument being pre-expanded; the
// lexer's EOF ends the line or the file.
static bool is_end_of_argument(preprocessor_reader *reader, const preproc_token *token)
{
  return token->kind == TK_EOF && reader->context->previous != nullptr;
}

bool _cpp_check_argument_count(preprocessor_reader *reader, const macro_def *macro,
                               const ident_node *node, uint32_t count)
{
  uint32_t wanted = macro->parameter_count;
  if (count == wanted)
    return true;
  if (count + 1 == wanted && macro->variadic) {
    const cpp_reader_options *o = &reader->options;
    if (o->pedantic_mode && !macro->system_header && !o->va_opt_support)
      diag_pedwarning(reader, DR_PEDANTIC,
                      o->cplusplus_mode
                          ? "ISO C++11 requires at least one argument for the \"...\" in a "
                            "variadic macro"
                          : "ISO C99 requires at least one argument for the \"...\" in a "
                            "variadic macro");
    return true;
  }
  if (count < wanted)
    diag_error(reader, DL_ERROR, "macro \"%s\" requires %u arguments, but only %u given",
               node->text, wanted, count);
  else
    diag_error(reader, DL_ERROR, "macro \"%s\" passed %u arguments, but takes just %u",
               node->text, count, wanted);
  if (macro->line > BUILTINS_LOCATION)
    diag_error_at_line(reader, DL_NOTE, macro->line, 0, "macro \"%s\" defined here", node->text);
  return false;
}

static void drop_trailing_padding(token_list *list)
{
  while (list->count && list->tokens[list->count - 1].kind == TK_PADDING)
    list->count--;
}

static void free_arguments(macro_arg *args, uint32_t count)
{
  for (uint32_t i = 0; i < count; i++) {
    free(args[i].raw.tokens);
    free(args[i].expanded.tokens);
  }
  free(args);
}

// After the "(": the arguments, or null after an error.
static macro_arg *collect_arguments(preprocessor_reader *reader, ident_node *node,
                                    bool *variadic_absent)
{
  const macro_def *macro = node->value.macro;
  uint32_t slots = macro->parameter_count ? macro->parameter_count : 1;
  macro_arg *args = checked_new_cleared<macro_arg>(slots);
  uint32_t count = 0;
  uint32_t depth = 0;
  const preproc_token *token;
  for (;;) {
    macro_arg *arg = &args[count < slots ? count : slots - 1];
    token = cpp_next_token(reader);
    if (token->kind == TK_PADDING) {
      if (arg->raw.count)
        list_add(&arg->raw, token);
      continue;
    }
    if (token->kind == TK_EOF || (token->kind == TK_HASH && (token->flags & TOK_LINE_START)))
      break;
    if (token->kind == TK_OPEN_PAREN) {
      depth++;
    } else if (token->kind == TK_CLOSE_PAREN) {
      if (depth-- == 0) {
        drop_trailing_padding(&arg->raw);
        count++;
        break;
      }
    } else if (token->kind == TK_COMMA && depth == 0 &&
               !(macro->variadic && count + 1 == macro->parameter_count)) {
      drop_trailing_padding(&arg->raw);
      count++;
      // Arguments beyond the parameters overwrite the last one.
      if (count >= slots)
        args[slots - 1].raw.count = 0;
      continue;
    }
    list_add(&arg->raw, token);
  }
  if (token->kind != TK_CLOSE_PAREN) {
    if (is_end_of_argument(reader, token) || token->kind == TK_HASH)
      _cpp_backup_expanded(reader, token);
    diag_error(reader, DL_ERROR, "unterminated argument list invoking macro \"%s\"", node->text);
    free_arguments(args, slots);
    return nullptr;
  }
  if (count == 1 && macro->parameter_count == 0 && args[0].raw.count == 0)
    count = 0;
  if (!_cpp_check_argument_count(reader, macro, node, count)) {
    free_arguments(args, slots);
    return nullptr;
  }
  *variadic_absent = macro->variadic &&
                     (count < macro->parameter_count ||
                      (count == 1 && args[0].raw.count == 0 && !reader->options.strict_iso));
  return args;
}

// Looks for the "(" of a function-like invocation and collects the
// arguments; null when the name is not invoked.
static macro_arg *find_invocation(preprocessor_reader *reader, ident_node *node,
                                  bool *variadic_absent)
{
  preproc_token padding = {};
  bool have_padding = false;
  const preproc_token *token;
  for (;;) {
    token = cpp_next_token(reader);
    if (token->kind != TK_PADDING)
      break;
    if (!have_padding || (padding.value.source && !(padding.value.source->flags & TOK_SPACE_BEFORE) &&
                          token->value.source == nullptr)) {
      padding = *token;
      have_padding = true;
    }
  }
  if (token->kind == TK_OPEN_PAREN) {
    reader->state.parsing_args = 2;
    return collect_arguments(reader, node, variadic_absent);
  }
  if (token->kind != TK_EOF || is_end_of_argument(reader, token))
    _cpp_backup_expanded(reader, token);
  if (have_padding)
    push_copy(reader, nullptr, &padding, 1);
  return nullptr;
}

// ---- Replacement ----

struct va_opt_group {
  bool active;
  bool include;
  bool stringify;
  uint32_t close_index; // body index of the closing ")"
  uint32_t start;       // first output token of the group
};

static uint32_t matching_paren(const preproc_token *body, uint32_t count, uint32_t open)
{
  uint32_t depth = 0;
  for (uint32_t i = open; i < count; i++) {
    if (body[i].kind == TK_OPEN_PAREN)
      depth++;
    else if (body[i].kind == TK_CLOSE_PAREN && --depth == 0)
      return i;
  }
  return count;
}

static bool has_real_token(const token_list *list)
{
  for (uint32_t i = 0; i < list->count; i++)
    if (list->tokens[i].kind != TK_PADDING)
      return true;
  return false;
}

// Pastes the marked runs of a stringified __VA_OPT__ group in place.
static void paste_group(preprocessor_reader *reader, token_list *out, uint32_t start)
{
  uint32_t write = start;
  for (uint32_t i = start; i < out->count; i++) {
    preproc_token token = out->tokens[i];
    while ((token.flags & TOK_PASTE_NEXT) && i + 1 < out->count) {
      if (!paste_pair(reader, &token, &out->tokens[i + 1]))
        break;
      i++;
      token.flags = uint16_t((token.flags & ~TOK_PASTE_NEXT) |
                             (out->tokens[i].flags & TOK_PASTE_NEXT));
    }
    out->tokens[write++] = token;
  }
  out->count = write;
}

static void end_va_opt(preprocessor_reader *reader, va_opt_group *group, token_list *out,
                       const preproc_token *close)
{
  group->active = false;
  if (group->stringify) {
    paste_group(reader, out, group->start);
    preproc_token text =
        stringify_tokens(reader, out->tokens + group->start, out->count - group->start);
    text.flags |= close->flags & TOK_PASTE_NEXT;
    out->count = group->start;
    list_add(out, &text);
    return;
  }
  if (out->count == group->start && out->count &&
      (out->tokens[out->count - 1].flags & TOK_PASTE_NEXT) && !(close->flags & TOK_PASTE_NEXT)) {
    out->tokens[out->count - 1].flags &= uint16_t(~TOK_PASTE_NEXT);
    return;
  }
  if (close->flags & TOK_PASTE_NEXT) {
    // Only a real token can be the left operand of the "##" after the group.
    while (out->count > group->start && out->tokens[out->count - 1].kind == TK_PADDING)
      out->count--;
    if (out->count > group->start)
      out->tokens[out->count - 1].flags |= TOK_PASTE_NEXT;
    return;
  }
  preproc_token avoid = make_padding(nullptr);
  list_add(out, &avoid);
}

static void paste_comma_rule(token_list *out, const macro_def *macro, const preproc_token *use,
                             bool absent)
{
  if (!out->count || !macro->variadic || use->value.arg.number != macro->parameter_count)
    return;
  preproc_token *last = &out->tokens[out->count - 1];
  if (last->kind != TK_COMMA)
    return;
  if (absent)
    out->count--;
  else
    last->flags &= uint16_t(~TOK_PASTE_NEXT);
}

// The token's paste mark becomes SOURCE's; its other flags stay.
static void copy_paste_mark(preproc_token *token, const preproc_token *source)
{
  token->flags = uint16_t((token->flags & ~TOK_PASTE_NEXT) | (source->flags & TOK_PASTE_NEXT));
}

struct replacement {
  preprocessor_reader *reader;
  ident_node *node;
  const macro_def *macro;
  macro_arg *args;
  bool variadic_absent;
  token_list out;
  va_opt_group group;
};

// Empty arguments were undefined before C99 and C++11.
static void warn_empty_argument(replacement *r, uint32_t number)
{
  preprocessor_reader *reader = r->reader;
  const cpp_reader_options *o = &reader->options;
  bool system = r->macro->system_header || (reader->buffer && reader->buffer->system_kind);
  const char *c90 = "invoking macro %s argument %d: empty macro arguments are undefined in ISO C90";
  if (o->pedantic_mode && !o->c99_mode && !system) {
    if (o->cplusplus_mode)
      diag_pedwarning(reader, DR_PEDANTIC,
                      "invoking macro %s argument %d: empty macro arguments are undefined in "
                      "ISO C++98",
                      r->node->text, int(number));
    else if (o->warn_c90_c99_compat)
      diag_pedwarning(reader, o->warn_c90_c99_compat > 0 ? DR_C90_C99_COMPAT : DR_PEDANTIC, c90,
                      r->node->text, int(number));
  } else if (o->warn_c90_c99_compat > 0 && !o->cplusplus_mode && !system) {
    diag_warning(reader, DR_C90_C99_COMPAT, c90, r->node->text, int(number));
  }
}

static void replace_argument(replacement *r, const preproc_token *body, uint32_t i)
{
  preprocessor_reader *reader = r->reader;
  const preproc_token *use = &body[i];
  macro_arg *arg = &r->args[use->value.arg.number - 1];
  if (arg->raw.count == 0)
    warn_empty_argument(r, use->value.arg.number);
  bool left_of_paste = (use->flags & TOK_PASTE_NEXT) != 0;
  bool right_of_paste = i > 0 && (body[i - 1].flags & TOK_PASTE_NEXT);
  bool at_group_start = r->group.active && r->out.count == r->group.start;
  const preproc_token *from;
  uint32_t count;
  if (use->flags & TOK_STRINGIFY) {
    if (!arg->stringified_done) {
      arg->stringified = stringify_tokens(reader, arg->raw.tokens, arg->raw.count);
      arg->stringified_done = true;
    }
    from = &arg->stringified;
    count = 1;
  } else if (left_of_paste || right_of_paste) {
    if (right_of_paste)
      paste_comma_rule(&r->out, r->macro, use, r->variadic_absent);
    from = arg->raw.tokens;
    count = arg->raw.count;
    // An empty right operand leaves the left one pasting on only when this
    // parameter is itself the left operand of another "##".
    if (right_of_paste && count == 0 && r->out.count && !at_group_start &&
        r->out.tokens[r->out.count - 1].kind != TK_PADDING)
      copy_paste_mark(&r->out.tokens[r->out.count - 1], use);
  } else {
    if (!arg->expanded_done)
      expand_argument(reader, r->node, arg);
    from = arg->expanded.tokens;
    count = arg->expanded.count;
    while (at_group_start && count && from->kind == TK_PADDING)
      from++, count--;
  }
  bool in_directive = reader->state.in_directive && !reader->state.directive_wants_padding;
  if (!in_directive && i != 0 && !right_of_paste && !at_group_start) {
    preproc_token padding = make_padding(use);
    list_add(&r->out, &padding);
  }
  uint32_t first = r->out.count;
  list_add_all(&r->out, from, count);
  if (left_of_paste && r->out.count > first) {
    preproc_token *last = &r->out.tokens[r->out.count - 1];
    last->flags |= uint16_t(TOK_PASTE_NEXT |
                            (use->flags & (TOK_OPERATOR_DIGRAPH | TOK_OPERATOR_SPACE)));
  }
  if (!reader->state.in_directive && !left_of_paste && !at_group_start) {
    preproc_token avoid = make_padding(nullptr);
    list_add(&r->out, &avoid);
  }
}

static void begin_va_opt(replacement *r, const preproc_token *body, uint32_t count, uint32_t i)
{
  va_opt_group *group = &r->group;
  macro_arg *variadic = &r->args[r->macro->parameter_count - 1];
  if (!variadic->expanded_done)
    expand_argument(r->reader, r->node, variadic);
  group->active = true;
  group->include = has_real_token(&variadic->expanded);
  group->stringify = (body[i].flags & TOK_STRINGIFY) != 0;
  group->close_index = matching_paren(body, count, i + 1);
  if (!group->stringify && i != 0 && !(body[i - 1].flags & TOK_PASTE_NEXT)) {
    preproc_token padding = make_padding(&body[i]);
    list_add(&r->out, &padding);
  }
  group->start = r->out.count;
}

static void build_replacement(replacement *r)
{
  const preproc_token *body = macro_tokens(r->macro);
  uint32_t count = macro_body_count(r->macro);
  ident_node *va_opt = r->reader->spec_nodes.n_va_opt;
  for (uint32_t i = 0; i < count; i++) {
    const preproc_token *token = &body[i];
    if (r->group.active && i == r->group.close_index) {
      end_va_opt(r->reader, &r->group, &r->out, token);
      continue;
    }
    if (r->macro->variadic && token->kind == TK_NAME && token->value.ident.node == va_opt &&
        !r->group.active) {
      begin_va_opt(r, body, count, i);
      i++; // the "(" of the group
      continue;
    }
    if (r->group.active && !r->group.include)
      continue;
    if (token->kind == TK_MACRO_ARG)
      replace_argument(r, body, i);
    else
      list_add(&r->out, token);
  }
}

// ---- Entering an expansion ----

static int expand_builtin(preprocessor_reader *reader, ident_node *node, location_t location)
{
  if (node->value.builtin == BT_PRAGMA) {
    if (reader->state.in_directive || reader->ignore_pragma_operator)
      return 0;
    return _cpp_do_pragma_operator(reader, location) ? 1 : 0;
  }
  const unsigned char *text = _cpp_builtin_macro_text(reader, node, location);
  preproc_token token;
  if (!_cpp_lex_text_token(reader, text, strlen(reinterpret_cast<const char *>(text)), location,
                           &token))
    diag_error(reader, DL_ICE, "invalid built-in macro \"%s\"", node->text);
  token.location = location;
  token.flags &= uint16_t(~TOK_SPACE_BEFORE);
  push_copy(reader, reader->context->macro, &token, 1);
  return 1;
}

// MACRO is the definition being expanded: an #undef among its arguments
// may have taken it from the node meanwhile.
static void mark_used(preprocessor_reader *reader, ident_node *node, macro_def *macro,
                      location_t location)
{
  node->flags |= IDF_EXPANDING;
  if (!(node->flags & IDF_USED))
    _cpp_notify_macro_use(reader, node, location);
  if (reader->callbacks.macro_used)
    reader->callbacks.macro_used(reader, location, node);
  macro->used = 1;
}

// 1 when a context was pushed, 0 when the name is not expanded.
static int enter_macro_context(preprocessor_reader *reader, ident_node *node,
                               const preproc_token *name, location_t location)
{
  reader->mi_valid = false;
  reader->about_to_expand = true;
  if (node->kind == IK_BUILTIN) {
    location_t at = reader->invocation_location ? reader->invocation_location : location;
    return expand_builtin(reader, node, at);
  }
  macro_def *macro = node->value.macro;
  // A traditional definition is text: only the traditional scan expands it.
  if (macro->kind == MACRO_KIND_TEXT) {
    reader->about_to_expand = false;
    return 0;
  }
  if (macro->function_like) {
    reader->state.prevent_expansion++;
    reader->keep_tokens++;
    reader->state.parsing_args = 1;
    bool variadic_absent = false;
    macro_arg *args = find_invocation(reader, node, &variadic_absent);
    reader->state.parsing_args = 0;
    reader->keep_tokens--;
    reader->state.prevent_expansion--;
    if (args == nullptr) {
      if (reader->options.warn_traditional_c && !macro->system_header)
        diag_warning(reader, DR_TRADITIONAL,
                     "function-like macro \"%s\" must be used with arguments in traditional C",
                     node->text);
      reader->about_to_expand = false;
      return 0;
    }
    if (macro->parameter_count) {
      replacement r = {reader, node, macro, args, variadic_absent, {}, {}};
      build_replacement(&r);
      mark_used(reader, node, macro, name->location);
      push_copy(reader, node, r.out.tokens, r.out.count);
      free(r.out.tokens);
      free_arguments(args, macro->parameter_count);
      return 1;
    }
    free_arguments(args, 1);
  }
  mark_used(reader, node, macro, name->location);
  _cpp_push_tokens(reader, node, macro_tokens(macro), macro_body_count(macro));
  return 1;
}

static const preproc_token *no_expand_copy(preprocessor_reader *reader, const preproc_token *token)
{
  preproc_token copy = *token;
  copy.flags |= TOK_NO_EXPAND;
  preproc_token *slot = &reader->handed_out[reader->handed_out_next++ % HANDED_OUT_SLOTS];
  *slot = copy;
  return slot;
}

const preproc_token *cpp_next_token_with_location(preprocessor_reader *reader,
                                                  location_t *location)
{
  bool saved_about_to_expand = reader->about_to_expand;
  const preproc_token *result;
  for (;;) {
    expansion_context *context = reader->context;
    if (context->previous == nullptr) {
      // Past the end of the input every read is the end again.
      result = reader->buffer || reader->lookaheads ? _cpp_lex_token(reader) : &input_end;
    } else if (context->first == context->last) {
      _cpp_pop_context(reader);
      if (reader->state.in_directive || reader->state.in_deferred_pragma)
        continue;
      result = &reader->padding_token;
      break;
    } else {
      result = context->first++;
      if (result->flags & TOK_PASTE_NEXT) {
        paste_all(reader, result);
        if (reader->state.in_directive)
          continue;
        result = hand_out(reader, make_padding(result));
        break;
      }
    }
    if (result->kind != TK_NAME || (result->flags & TOK_NO_EXPAND))
      break;
    ident_node *node = result->value.ident.node;
    if (!ident_is_macro(node))
      break;
    if (node->flags & IDF_EXPANDING) {
      result = no_expand_copy(reader, result);
      break;
    }
    if (!reader->about_to_expand && reader->context->macro == nullptr) {
      reader->invocation_location = result->location;
      reader->top_most_macro = node;
    }
    if (reader->state.prevent_expansion)
      break;
    if ((node->flags & IDF_CONDITIONAL) && reader->callbacks.macro_to_expand == nullptr)
      break;
    const preproc_token name = *result;
    if (enter_macro_context(reader, node, &name, name.location) == 0)
      break;
    if (reader->state.in_directive)
      continue;
    result = hand_out(reader, make_padding(&name));
    break;
  }
  // Virtual locations are not built yet: every token of an expansion is
  // placed at the expansion point, as with tracking off.
  if (location)
    *location = reader->context->previous ? reader->invocation_location : result->location;
  reader->about_to_expand = saved_about_to_expand;
  return result;
}

const preproc_token *cpp_next_token(preprocessor_reader *reader)
{
  return cpp_next_token_with_location(reader, nullptr);
}

void cpp_skip_rest_of_file(preprocessor_reader *reader)
{
  reader->buffer->return_at_eof = 1;
  reader->state.discarding_output++;
  reader->state.prevent_expansion++;
  while (cpp_next_token(reader)->kind != TK_EOF)
    ;
  reader->state.discarding_output--;
  reader->state.prevent_expansion--;
}

// __has_include and __has_include_next: 1 when the header is found.
uint64_t _cpp_has_include(preprocessor_reader *reader, ident_node *node)
{
  if (!reader->state.in_directive)
    diag_error(reader, DL_ERROR, "\"%s\" used outside of preprocessing directive", node->text);
  reader->state.angled_headers = 1;
  const preproc_token *token;
  do
    token = cpp_next_token(reader);
  while (token->kind == TK_PADDING);
  bool paren = token->kind == TK_OPEN_PAREN;
  if (!paren) {
    diag_error(reader, DL_ERROR, "missing '(' before \"%s\" operand", node->text);
    _cpp_backup_expanded(reader, token);
  }
  bool angled = false;
  location_t location;
  char *name = _cpp_parse_header_name(reader, node->text, &angled, &location);
  reader->state.angled_headers = 0;
  uint64_t found = 0;
  if (name) {
    int kind = node->value.builtin == BT_HAS_INCLUDE_NEXT ? INCLUDE_NEXT : INCLUDE_PLAIN;
    found = !reader->state.skip_eval && has_header(reader, name, angled, kind);
    free(name);
  }
  if (paren) {
    do
      token = cpp_next_token(reader);
    while (token->kind == TK_PADDING);
    if (token->kind != TK_CLOSE_PAREN) {
      diag_error(reader, DL_ERROR, "missing ')' after \"%s\" operand", node->text);
      _cpp_backup_expanded(reader, token);
    }
  }
  return found;
}
