// Macro expansion: the stack of expansion contexts over the tokeniser,
// recognising invocations, collecting and pre-expanding arguments, building
// replacements with "#", "##" and __VA_OPT__, and the padding that lets a
// printer reproduce white space without accidental pastes.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"
#include "support/system-utils.h"

#include <cstdlib>
#include <cstring>

// Invocations nested in arguments pre-expand recursively, as deep as the
// thread's stack has room for: this much of it, and an eighth of it, is
// kept for the work at the deepest level (a report among it), so that the
// nesting ends in an error, not in a stack overflow.
enum { ARGUMENT_STACK_MARGIN = 256 * 1024 };
// Assumed below the first frame when the system does not give the stack's
// bounds.
enum { ARGUMENT_STACK_FALLBACK = 1024 * 1024 };
// Each level of the nesting holds its argument's tokens while the next one
// expands, about n * n tokens for n levels: this bounds their sum, and with
// it the memory a deep nesting takes before the stack would end it.
enum { MAX_NESTED_ARGUMENT_TOKENS = 1 << 23 };

// What a PADDING token's source points at: only its white space is read,
// and these outlive every context.
static const preproc_token white_source = {0, TK_PADDING, TOK_SPACE_BEFORE, {}};
static const preproc_token plain_source = {0, TK_PADDING, 0, {}};
const preproc_token _cpp_input_end = {0, TK_EOF, 0, {}};

// Where a token of a list comes from, kept beside it while expansions are
// tracked: its location before this expansion (virtual when an earlier
// expansion made it), its place in the definition (for an argument's tokens
// the parameter's) and the index of that definition token.
struct token_origin {
  location_t location;
  location_t definition;
  uint32_t body_index;
};

// The two locations of an origin, laid out as a macro map keeps a token's
// pair, so that a replacement's pairs go to the map in one copy.
struct location_pair {
  location_t location;
  location_t definition;
};
static_assert(sizeof(location_pair) == 2 * sizeof(location_t), "a map slot's layout");

// A growable array of tokens, with their origins when tracked; all live in
// one block: the tokens, their location pairs, their body indexes. The
// blocks come from the reader's scratch pool: lists are made and dropped
// for every invocation.
struct token_list {
  preproc_token *tokens;
  location_pair *origins;
  uint32_t *body_indexes;
  uint32_t count;
  uint32_t allocated;
  bool tracked;
  preprocessor_reader *reader;
  scratch_buffer *block;
};

static void list_init(token_list *list, preprocessor_reader *reader, bool tracked)
{
  *list = token_list();
  list->reader = reader;
  list->tracked = tracked;
}

static uint64_t list_entry_size(const token_list *list)
{
  return sizeof(preproc_token) +
         (list->tracked ? sizeof(location_pair) + sizeof(uint32_t) : 0);
}

// Lays the list's arrays out in the memory at ROOM, room for COUNT tokens.
static void list_place(token_list *list, unsigned char *room, uint64_t count)
{
  list->tokens = reinterpret_cast<preproc_token *>(room);
  if (list->tracked) {
    list->origins = reinterpret_cast<location_pair *>(list->tokens + count);
    list->body_indexes = reinterpret_cast<uint32_t *>(list->origins + count);
  }
  list->allocated = uint32_t(count);
}

// Gives an empty list the memory at ROOM (BYTES long, aligned to 8) as its
// first room; the list does not own it.
static void list_lend(token_list *list, unsigned char *room, uint64_t bytes)
{
  uint64_t tokens = bytes / list_entry_size(list);
  if (tokens == 0)
    return;
  list_place(list, room, tokens);
}

// Room for at least NEEDED more tokens.
static void list_grow(token_list *list, uint32_t needed)
{
  uint64_t want = list->allocated ? uint64_t(list->allocated) * 2 : 16;
  while (want - list->count < needed)
    want *= 2;
  uint64_t each = list_entry_size(list);
  scratch_buffer *block = _cpp_scratch_take(list->reader, want * each);
  // The pool may hand out more than asked for; all of it is used.
  want = uint64_t(block->limit - block->base) / each;
  vuz_assert(want <= UINT32_MAX);
  token_list old = *list;
  list_place(list, block->base, want);
  if (old.count) {
    memcpy(list->tokens, old.tokens, old.count * sizeof(preproc_token));
    if (list->tracked) {
      memcpy(list->origins, old.origins, old.count * sizeof(location_pair));
      memcpy(list->body_indexes, old.body_indexes, old.count * sizeof(uint32_t));
    }
  }
  _cpp_scratch_release(list->reader, old.block);
  list->block = block;
}

static void list_add(token_list *list, const preproc_token *token, token_origin origin)
{
  // Read first: a token of a popped context lies in a block growing may reuse.
  preproc_token copy = *token;
  if (list->count == list->allocated)
    list_grow(list, 1);
  if (list->tracked) {
    list->origins[list->count] = {origin.location, origin.definition};
    list->body_indexes[list->count] = origin.body_index;
  }
  list->tokens[list->count++] = copy;
}

// Token I's origin; the list is tracked.
static token_origin list_origin(const token_list *list, uint32_t i)
{
  return {list->origins[i].location, list->origins[i].definition, list->body_indexes[i]};
}

static void list_free(token_list *list)
{
  _cpp_scratch_release(list->reader, list->block);
  list->block = nullptr;
}

static bool tracking(const preprocessor_reader *reader)
{
  return reader->options.macro_expansion_tracking != 0;
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
  expansion_context *context = reader->free_contexts;
  if (context) {
    reader->free_contexts = context->previous;
    *context = expansion_context();
  } else {
    context = checked_new_cleared<expansion_context>();
  }
  context->previous = reader->context;
  reader->context->next = context;
  context->start = context->first = tokens;
  context->last = tokens + count;
  // Tokens replayed or made while reading an expansion belong to it: a
  // paste's result is no new outermost invocation.
  context->macro = macro ? macro : reader->context->macro;
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
// tokens already handed out stay readable after the context is popped. THEN,
// when given, follows the tokens; with TRACKED, room for one virtual location
// per token follows the copy and is the context's.
static preproc_token *push_scratch_copy(preprocessor_reader *reader, ident_node *macro,
                                        const preproc_token *tokens, uint32_t count,
                                        const preproc_token *then, bool tracked)
{
  uint64_t total = uint64_t(count) + (then ? 1 : 0);
  uint64_t size = (total + 1) * sizeof(preproc_token) + (tracked ? total * sizeof(location_t) : 0);
  scratch_buffer *block = _cpp_scratch_take(reader, size);
  preproc_token *copy = reinterpret_cast<preproc_token *>(
      (reinterpret_cast<uintptr_t>(block->base) + 7) & ~uintptr_t(7));
  if (count)
    memcpy(copy, tokens, count * sizeof(preproc_token));
  if (then)
    copy[count] = *then;
  _cpp_push_tokens(reader, macro, copy, uint32_t(total));
  reader->context->scratch = block;
  if (tracked)
    reader->context->locations = reinterpret_cast<location_t *>(copy + total);
  return copy;
}

static void push_copy(preprocessor_reader *reader, ident_node *macro, const preproc_token *tokens,
                      uint32_t count)
{
  push_scratch_copy(reader, macro, tokens, count, nullptr, false);
}

// The same with room for one virtual location per token, returned.
static location_t *push_tracked_copy(preprocessor_reader *reader, ident_node *macro,
                                     const preproc_token *tokens, uint32_t count)
{
  push_scratch_copy(reader, macro, tokens, count, nullptr, true);
  return reader->context->locations;
}

// Pushes the list's tokens as they are: the context takes over their block,
// so nothing is copied.
static void push_list(preprocessor_reader *reader, ident_node *macro, token_list *list)
{
  _cpp_push_tokens(reader, macro, list->tokens, list->count);
  reader->context->scratch = list->block;
  list->block = nullptr;
}

void _cpp_pop_context(preprocessor_reader *reader)
{
  expansion_context *context = reader->context;
  vuz_assert(context->previous != nullptr);
  if (context->macro && context->previous->macro != context->macro)
    context->macro->flags &= uint16_t(~IDF_EXPANDING);
  if (context->scratch)
    _cpp_scratch_release(reader, context->scratch);
  reader->context = context->previous;
  reader->context->next = nullptr;
  context->previous = reader->free_contexts;
  reader->free_contexts = context;
  if (reader->nested_expansion_stopped && reader->context->previous == nullptr &&
      reader->expansion_depth == 0) {
    reader->nested_expansion_stopped = false;
    reader->state.prevent_expansion--;
  }
}

uint32_t _cpp_remaining_tokens_num_in_context(const expansion_context *context)
{
  return uint32_t(context->last - context->first);
}

static bool context_is_tracked(const expansion_context *context)
{
  return context->locations || context->virtual_base;
}

static bool reached_end_of_context(const expansion_context *context)
{
  return context->first == context->last;
}

// The virtual location of a token of the context, 0 when it has none.
static location_t virtual_location(const expansion_context *context, const preproc_token *token)
{
  uint32_t index = uint32_t(token - context->start);
  if (context->locations)
    return context->locations[index];
  return context->virtual_base ? context->virtual_base + index : 0;
}

// A token of a macro context that is neither pasted nor a macro's name is
// handed out as it stands; the slow path would do the same, less quickly.
static bool passes_through(const preproc_token *token)
{
  if (token->flags & TOK_PASTE_NEXT)
    return false;
  return token->kind != TK_NAME || (token->flags & TOK_NO_EXPAND) ||
         !ident_is_macro(token->value.ident.node);
}

void _cpp_release_contexts(preprocessor_reader *reader)
{
  while (reader->context->previous)
    _cpp_pop_context(reader);
  while (expansion_context *context = reader->free_contexts) {
    reader->free_contexts = context->previous;
    free(context);
  }
}

// The token the lexer gave last.
static const preproc_token *last_lexed(const preprocessor_reader *reader)
{
  if (reader->cur_token != reader->cur_run->first)
    return reader->cur_token - 1;
  return reader->cur_run->previous ? reader->cur_run->previous->limit - 1 : nullptr;
}

void _cpp_backup_tokens(preprocessor_reader *reader, uint32_t count)
{
  expansion_context *context = reader->context;
  if (context->previous == nullptr) {
    _cpp_backup_lexed_tokens(reader, count);
    return;
  }
  // A context's tokens are an array: its locations follow its position.
  vuz_assert_as(count == 1 && context->first > context->start, __FILE__, "_cpp_backup_tokens");
  context->first--;
}

// A token read from a context that has been popped since, or a copy handed
// out, goes back as a context of its own.
void _cpp_backup_expanded(preprocessor_reader *reader, const preproc_token *token)
{
  if (token == &_cpp_input_end)
    return;
  expansion_context *context = reader->context;
  bool last_read = context->previous ? context->first > context->start && context->first - 1 == token
                                     : token == last_lexed(reader);
  if (last_read) {
    _cpp_backup_tokens(reader, 1);
    return;
  }
  // The token may lie in the scratch block of a popped context, which the
  // push below can take again.
  const preproc_token copy = *token;
  if (tracking(reader))
    *push_tracked_copy(reader, nullptr, &copy, 1) =
        token == reader->last_token ? reader->last_location : copy.location;
  else
    push_copy(reader, nullptr, &copy, 1);
}

void _cpp_push_no_expand_copies(preprocessor_reader *reader, const preproc_token *const *tokens,
                                uint32_t count)
{
  preproc_token copies[2];
  vuz_assert(count <= 2);
  for (uint32_t i = 0; i < count; i++) {
    copies[i] = *tokens[i];
    copies[i].flags |= TOK_NO_EXPAND;
  }
  push_copy(reader, nullptr, copies, count);
}

bool _cpp_notify_macro_use(preprocessor_reader *reader, ident_node *node, location_t location)
{
  node->flags |= IDF_USED;
  vuz_assert(node->kind != IK_PARAMETER);
  if (!_cpp_complete_macro(reader, node, location))
    return false;
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
  reader->state.in_directive = DIRECTIVE_LINE;
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

// A failed paste is reported AT, the expansion's location.
static bool paste_pair(preprocessor_reader *reader, preproc_token *left, const preproc_token *right,
                       location_t at)
{
  uint64_t bound = cpp_spelling_bound(left) + cpp_spelling_bound(right) + 3;
  unsigned char *text = static_cast<unsigned char *>(checked_malloc(bound));
  unsigned char *end = cpp_write_token_text(reader, left, text, false);
  unsigned char *middle = end;
  // "/" and "/" must not become a comment.
  if (left->kind == TK_DIV && right->kind != TK_EQ)
    *end++ = ' ';
  unsigned char *right_start = end;
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
    if (reader->options.language != DIALECT_ASM)
      diag_error_at_location(reader, DL_ERROR, at,
                             "pasting \"%.*s\" and \"%.*s\" does not give a valid preprocessing token",
                             int(middle - text), reinterpret_cast<const char *>(text),
                             int(end - right_start), reinterpret_cast<const char *>(right_start));
  }
  free(text);
  return ok;
}

// FIRST was read from the current context at virtual location LEFT (0 when
// the context is not tracked); the result takes it.
static void paste_all(preprocessor_reader *reader, const preproc_token *first, location_t left)
{
  expansion_context *context = reader->context;
  location_t at = left ? left : reader->invocation_location;
  vuz_assert_as(context->macro != nullptr, __FILE__, "paste_all_tokens");
  preproc_token result = *first;
  const preproc_token *right;
  do {
    if (reached_end_of_context(context))
      break;
    right = context->first++;
    vuz_assert_as(right->kind != TK_PADDING || !(right->flags & TOK_PASTE_NEXT), __FILE__,
                  "paste_all_tokens");
    if (!paste_pair(reader, &result, right, at)) {
      context->first--;
      break;
    }
  } while (right->flags & TOK_PASTE_NEXT);
  result.flags &= uint16_t(~TOK_PASTE_NEXT);
  if (left)
    *push_tracked_copy(reader, nullptr, &result, 1) = left;
  else
    push_copy(reader, nullptr, &result, 1);
}

// ---- Arguments ----

// An invocation's arguments lie in one scratch block, which the first
// argument's record keeps.
struct collected_arg {
  token_list raw;
  token_list expanded;
  bool expanded_done;
  // The expansion is the argument as collected: `expanded` stays empty.
  bool expanded_is_raw;
  preproc_token stringified;
  bool stringified_done;
  scratch_buffer *home;
};

static bool is_literal_to_escape(int kind)
{
  return (kind >= TK_CHAR && kind <= TK_UTF8CHAR) || (kind >= TK_STRING && kind <= TK_UTF8STRING) ||
         (kind >= TK_CHAR_USERDEF && kind <= TK_UTF8STRING_USERDEF);
}

static preproc_token stringify_argument(preprocessor_reader *reader, const preproc_token *tokens,
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

// The argument's tokens with the end-of-argument token after them, pushed
// as a context at their own virtual locations. It is owned by no macro: the
// macro invoked is not yet being replaced, so each invocation of it among
// its own arguments expands, not only the first.
static void push_argument(preprocessor_reader *reader, const token_list *raw)
{
  push_scratch_copy(reader, nullptr, raw->tokens, raw->count, &reader->endarg_token, raw->tracked);
  if (!raw->tracked)
    return;
  location_t *locations = reader->context->locations;
  for (uint32_t i = 0; i < raw->count; i++)
    locations[i] = raw->origins[i].location;
  locations[raw->count] = 0;
}

// Whether the stack has room for one more level of pre-expansion. The
// bounds are measured again when the stack is another thread's.
static bool argument_stack_left(preprocessor_reader *reader)
{
  uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (here < reader->argument_stack_low || here >= reader->argument_stack_high) {
    uintptr_t low, high;
    if (!current_stack_bounds(&low, &high) || here < low || here >= high) {
      low = here > ARGUMENT_STACK_FALLBACK ? here - ARGUMENT_STACK_FALLBACK : 0;
      high = here + 1;
    }
    reader->argument_stack_low = low;
    reader->argument_stack_high = high;
    reader->argument_stack_floor = low + ARGUMENT_STACK_MARGIN + (high - low) / 8;
  }
  return here >= reader->argument_stack_floor;
}

// Too deep for the stack or the token bound: reported once, and nothing
// expands until the outermost expansion has been read (see
// _cpp_pop_context), which keeps the rescans of what is left from trying
// again, level after level.
static void stop_nested_expansion(preprocessor_reader *reader, collected_arg *arg)
{
  if (!reader->nested_expansion_stopped) {
    diag_error(reader, DL_ERROR, "macro arguments nested more than %u levels deep",
               reader->expansion_depth);
    reader->nested_expansion_stopped = true;
    reader->state.prevent_expansion++;
  }
  for (uint32_t i = 0; i < arg->raw.count; i++)
    list_add(&arg->expanded, &arg->raw.tokens[i],
             arg->raw.tracked ? list_origin(&arg->raw, i) : token_origin{});
}

// The locations the reader gives COUNT tokens of the context from FIRST
// on, as virtual_location and its caller would: the virtual one, or the
// token's own where that is none.
static void run_locations(const expansion_context *context, const preproc_token *first,
                          uint32_t count, location_pair *to)
{
  uint32_t index = uint32_t(first - context->start);
  if (context->locations) {
    const location_t *at = context->locations + index;
    for (uint32_t k = 0; k < count; k++)
      to[k] = {at[k] ? at[k] : first[k].location, 0};
  } else if (context->virtual_base) {
    location_t at = context->virtual_base + index;
    for (uint32_t k = 0; k < count; k++)
      to[k] = {at + k ? at + k : first[k].location, 0};
  } else {
    for (uint32_t k = 0; k < count; k++)
      to[k] = {first[k].location, 0};
  }
}

// Appends COUNT tokens of the context from FIRST on, each at the location
// the reader gives it.
static void list_add_run(token_list *list, const expansion_context *context,
                         const preproc_token *first, uint32_t count)
{
  if (count == 0)
    return;
  if (list->allocated - list->count < count)
    list_grow(list, count);
  memcpy(list->tokens + list->count, first, count * sizeof(preproc_token));
  if (list->tracked) {
    run_locations(context, first, count, list->origins + list->count);
    memset(list->body_indexes + list->count, 0, count * sizeof(uint32_t));
  }
  list->count += count;
}

// The tokens of the current macro context that would pass through the
// reader one by one, appended at once, each at the location the reader
// would give it. An EOF is left for the reader: it ends the rescan.
static void take_passing_run(preprocessor_reader *reader, token_list *list)
{
  expansion_context *context = reader->context;
  if (context->previous == nullptr || reader->state.directive_file_token)
    return;
  const preproc_token *end = context->first;
  while (end != context->last && passes_through(end) && end->kind != TK_EOF)
    end++;
  list_add_run(list, context, context->first, uint32_t(end - context->first));
  context->first = end;
}

static void rescan_argument(preprocessor_reader *reader, collected_arg *arg)
{
  push_argument(reader, &arg->raw);
  expansion_context *mine = reader->context;
  for (;;) {
    take_passing_run(reader, &arg->expanded);
    location_t location;
    const preproc_token *token = cpp_next_token_with_location(reader, &location);
    if (token->kind == TK_EOF)
      break;
    list_add(&arg->expanded, token, {location, 0, 0});
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
}

// Whether rescanning the argument would give it back as collected: nothing
// in it expands or pastes, no module line is watching the tokens go by, and
// each token was collected at the location the rescan would give it (its
// own where its collected one is none).
static bool reads_back_unchanged(const preprocessor_reader *reader, const token_list *raw)
{
  if (reader->state.directive_file_token)
    return false;
  for (uint32_t i = 0; i < raw->count; i++) {
    const preproc_token *token = &raw->tokens[i];
    if (!passes_through(token) || token->kind == TK_EOF)
      return false;
    if (raw->tracked && raw->origins[i].location == 0 && token->location != 0)
      return false;
  }
  return true;
}

static void expand_argument(preprocessor_reader *reader, collected_arg *arg)
{
  arg->expanded_done = true;
  if (arg->raw.count == 0)
    return;
  if (reader->nested_expansion_stopped || !argument_stack_left(reader) ||
      (reader->expansion_depth &&
       reader->argument_tokens_held + arg->raw.count > MAX_NESTED_ARGUMENT_TOKENS)) {
    stop_nested_expansion(reader, arg);
    return;
  }
  reader->expansion_depth++;
  reader->argument_tokens_held += arg->raw.count;
  uint8_t saved_traditional = reader->options.warn_traditional_c;
  bool saved_ignore = reader->ignore_pragma_operator;
  reader->options.warn_traditional_c = 0;
  reader->ignore_pragma_operator = true;
  if (reads_back_unchanged(reader, &arg->raw))
    arg->expanded_is_raw = true;
  else
    rescan_argument(reader, arg);
  reader->options.warn_traditional_c = saved_traditional;
  reader->ignore_pragma_operator = saved_ignore;
  reader->argument_tokens_held -= arg->raw.count;
  reader->expansion_depth--;
}

// The argument's tokens after pre-expansion.
static const token_list *expansion_of(const collected_arg *arg)
{
  return arg->expanded_is_raw ? &arg->raw : &arg->expanded;
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

// The block holding the records is mostly larger than they need: the rest
// is shared out as the first room of the arguments' raw lists, which saves
// taking a block for each.
static collected_arg *new_arguments(preprocessor_reader *reader, uint32_t count)
{
  scratch_buffer *home = _cpp_scratch_take(reader, count * sizeof(collected_arg));
  collected_arg *args = reinterpret_cast<collected_arg *>(home->base);
  uint64_t records = (uint64_t(count) * sizeof(collected_arg) + 7) & ~uint64_t(7);
  uint64_t share = ((uint64_t(home->limit - home->base) - records) / count) & ~uint64_t(7);
  for (uint32_t i = 0; i < count; i++) {
    args[i] = collected_arg();
    list_init(&args[i].raw, reader, tracking(reader));
    list_init(&args[i].expanded, reader, tracking(reader));
    list_lend(&args[i].raw, home->base + records + i * share, share);
  }
  args[0].home = home;
  return args;
}

static void free_arguments(preprocessor_reader *reader, collected_arg *args, uint32_t count)
{
  for (uint32_t i = 0; i < count; i++) {
    list_free(&args[i].raw);
    list_free(&args[i].expanded);
  }
  _cpp_scratch_release(reader, args[0].home);
}

// A pragma met as a directive among the arguments: its tokens up to its end
// are kept apart, to be read before the expansion. They were given their
// chance to expand on the pragma's line and are not rescanned.
static const preproc_token *lift_pragma(preprocessor_reader *reader, const preproc_token *token,
                                        token_list *pragmas)
{
  for (;;) {
    preproc_token copy = *token;
    if (copy.kind == TK_NAME)
      copy.flags |= TOK_NO_EXPAND;
    list_add(pragmas, &copy, {});
    if (token->kind == TK_PRAGMA_EOL)
      break;
    token = cpp_next_token(reader);
    if (token->kind == TK_EOF)
      break;
  }
  reader->state.parsing_args = ARGS_COLLECTING;
  reader->state.prevent_expansion = 1;
  return token;
}

// Whether the collecting loop below must read the token itself: the reader
// does more than hand it out, or it may end the argument or the list, or
// it needs a look of its own.
static bool stops_argument_run(const preproc_token *token, uint32_t depth)
{
  if (!passes_through(token))
    return true;
  switch (token->kind) {
  case TK_CLOSE_PAREN:
  case TK_COMMA: return depth == 0;
  case TK_EOF:
  case TK_PRAGMA:
  case TK_HASH: return true;
  default: return false;
  }
}

// The tokens of the current macro context up to the next one the loop
// below must read, added to the argument as that loop would add them.
static void take_argument_run(preprocessor_reader *reader, token_list *raw, uint32_t *depth)
{
  expansion_context *context = reader->context;
  if (context->previous == nullptr || reader->state.directive_file_token)
    return;
  const preproc_token *token = context->first;
  // An argument's leading padding is dropped.
  if (raw->count == 0)
    while (token != context->last && token->kind == TK_PADDING && passes_through(token))
      token++;
  const preproc_token *run = token;
  for (; token != context->last && !stops_argument_run(token, *depth); token++) {
    if (token->kind == TK_OPEN_PAREN)
      ++*depth;
    else if (token->kind == TK_CLOSE_PAREN)
      --*depth;
  }
  list_add_run(raw, context, run, uint32_t(token - run));
  context->first = token;
}

// After the "(": the arguments, or null after an error.
static collected_arg *collect_arguments(preprocessor_reader *reader, ident_node *node,
                                    bool *variadic_absent, token_list *pragmas)
{
  const macro_def *macro = node->value.macro;
  uint32_t slots = macro->parameter_count ? macro->parameter_count : 1;
  collected_arg *args = new_arguments(reader, slots);
  uint32_t count = 0;
  uint32_t depth = 0;
  const preproc_token *token;
  for (;;) {
    collected_arg *arg = &args[count < slots ? count : slots - 1];
    take_argument_run(reader, &arg->raw, &depth);
    location_t location;
    token = cpp_next_token_with_location(reader, &location);
    if (token->kind == TK_PADDING) {
      if (arg->raw.count)
        list_add(&arg->raw, token, {location, 0, 0});
      continue;
    }
    if (token->kind == TK_PRAGMA && !(token->flags & TOK_FROM_PRAGMA_OPERATOR)) {
      token = lift_pragma(reader, token, pragmas);
      if (token->kind == TK_EOF)
        break;
      continue;
    }
    if (token->kind == TK_EOF)
      break;
    // A line the directive layer left as text (assembler input) ends the
    // list with the argument in progress; the line itself is read after the
    // expansion.
    if (token->kind == TK_HASH && (token->flags & TOK_LINE_START)) {
      drop_trailing_padding(&arg->raw);
      count++;
      _cpp_backup_expanded(reader, token);
      break;
    }
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
    list_add(&arg->raw, token, {location, 0, 0});
  }
  if (token->kind == TK_EOF) {
    if (is_end_of_argument(reader, token))
      _cpp_backup_expanded(reader, token);
    diag_error(reader, DL_ERROR, "unterminated argument list invoking macro \"%s\"", node->text);
    free_arguments(reader, args, slots);
    return nullptr;
  }
  if (count == 1 && macro->parameter_count == 0 && args[0].raw.count == 0)
    count = 0;
  if (!_cpp_check_argument_count(reader, macro, node, count)) {
    free_arguments(reader, args, slots);
    return nullptr;
  }
  *variadic_absent = macro->variadic &&
                     (count < macro->parameter_count ||
                      (count == 1 && args[0].raw.count == 0 && !reader->options.strict_iso));
  return args;
}

// Looks for the "(" of a function-like invocation and collects the
// arguments; null when the name is not invoked.
static collected_arg *find_invocation(preprocessor_reader *reader, ident_node *node,
                                  bool *variadic_absent, token_list *pragmas)
{
  preproc_token padding = {};
  bool have_padding = false;
  const preproc_token *token;
  for (;;) {
    token = cpp_next_token(reader);
    if (token->kind != TK_PADDING)
      break;
    // Paddings carry their separation in their source, never in themselves.
    vuz_assert_as(!(token->flags & TOK_SPACE_BEFORE), __FILE__, "funlike_invocation_p");
    // A later padding wins over one that says nothing about white space,
    // and a separation wins over a source that had none.
    if (!have_padding || padding.value.source == nullptr ||
        (!(padding.value.source->flags & TOK_SPACE_BEFORE) && token->value.source == nullptr)) {
      padding = *token;
      have_padding = true;
    }
  }
  if (token->kind == TK_OPEN_PAREN) {
    reader->state.parsing_args = ARGS_COLLECTING;
    return collect_arguments(reader, node, variadic_absent, pragmas);
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
  uint32_t open_index;  // body index of __VA_OPT__
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
    if (out->tracked) {
      out->origins[write] = out->origins[i];
      out->body_indexes[write] = out->body_indexes[i];
    }
    while ((token.flags & TOK_PASTE_NEXT) && i + 1 < out->count) {
      if (!paste_pair(reader, &token, &out->tokens[i + 1], reader->invocation_location))
        break;
      i++;
      token.flags = uint16_t((token.flags & ~TOK_PASTE_NEXT) |
                             (out->tokens[i].flags & TOK_PASTE_NEXT));
    }
    out->tokens[write++] = token;
  }
  out->count = write;
}

struct replacement {
  preprocessor_reader *reader;
  ident_node *node;
  const macro_def *macro;
  collected_arg *args;
  bool variadic_absent;
  token_list out;
  va_opt_group group;
  // Where the last placemarker (an empty operand of "##") stands among
  // the tokens made, UINT32_MAX before the first.
  uint32_t placemarker;
};

// True when nothing but padding was made since the last placemarker, so the
// placemarker, not the token before it, is the left operand of a "##".
static bool ends_in_placemarker(const replacement *r, uint32_t from)
{
  if (r->placemarker == UINT32_MAX || r->placemarker < from)
    return false;
  for (uint32_t i = r->placemarker; i < r->out.count; i++)
    if (r->out.tokens[i].kind != TK_PADDING)
      return false;
  return true;
}

// A token of the replacement made for the definition token at INDEX.
static void add_own(replacement *r, const preproc_token *token, uint32_t index)
{
  location_t at = macro_tokens(r->macro)[index].location;
  list_add(&r->out, token, {at, at, index});
}

static void add_avoid_paste(replacement *r, uint32_t index)
{
  preproc_token avoid = make_padding(nullptr);
  list_add(&r->out, &avoid, {0, 0, index});
}

static void end_va_opt(replacement *r, const preproc_token *close)
{
  va_opt_group *group = &r->group;
  token_list *out = &r->out;
  group->active = false;
  if (group->stringify) {
    paste_group(r->reader, out, group->start);
    preproc_token text =
        stringify_argument(r->reader, out->tokens + group->start, out->count - group->start);
    // The string stands where the operator stood, white space before it
    // included.
    const preproc_token *open = &macro_tokens(r->macro)[group->open_index];
    text.flags |= uint16_t((close->flags & TOK_PASTE_NEXT) | (open->flags & TOK_SPACE_BEFORE));
    text.location = open->location;
    out->count = group->start;
    add_own(r, &text, group->open_index);
    return;
  }
  if (out->count == group->start && out->count &&
      (out->tokens[out->count - 1].flags & TOK_PASTE_NEXT) && !(close->flags & TOK_PASTE_NEXT)) {
    out->tokens[out->count - 1].flags &= uint16_t(~TOK_PASTE_NEXT);
    return;
  }
  if (close->flags & TOK_PASTE_NEXT) {
    if (ends_in_placemarker(r, group->start))
      return;
    // Only a real token can be the left operand of the "##" after the group.
    while (out->count > group->start && out->tokens[out->count - 1].kind == TK_PADDING)
      out->count--;
    if (out->count > group->start)
      out->tokens[out->count - 1].flags |= TOK_PASTE_NEXT;
    return;
  }
  add_avoid_paste(r, group->close_index);
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

// The argument's tokens in place of the parameter use at body index I: each
// keeps its own location and takes the parameter's place in the definition.
static void add_argument_tokens(replacement *r, const token_list *from, uint32_t skip, uint32_t i)
{
  token_list *out = &r->out;
  uint32_t count = from->count - skip;
  if (count == 0)
    return;
  if (out->allocated - out->count < count)
    list_grow(out, count);
  memcpy(out->tokens + out->count, from->tokens + skip, count * sizeof(preproc_token));
  if (out->tracked) {
    location_pair *to = out->origins + out->count;
    uint32_t *indexes = out->body_indexes + out->count;
    location_t definition = macro_tokens(r->macro)[i].location;
    if (from->tracked) {
      const location_pair *origins = from->origins + skip;
      for (uint32_t k = 0; k < count; k++)
        to[k] = {origins[k].location, definition};
    } else {
      const preproc_token *tokens = from->tokens + skip;
      for (uint32_t k = 0; k < count; k++)
        to[k] = {tokens[k].location, definition};
    }
    for (uint32_t k = 0; k < count; k++)
      indexes[k] = i;
  }
  out->count += count;
}

static void replace_argument(replacement *r, const preproc_token *body, uint32_t i)
{
  preprocessor_reader *reader = r->reader;
  const preproc_token *use = &body[i];
  collected_arg *arg = &r->args[use->value.arg.number - 1];
  if (arg->raw.count == 0)
    warn_empty_argument(r, use->value.arg.number);
  bool left_of_paste = (use->flags & TOK_PASTE_NEXT) != 0;
  bool right_of_paste = i > 0 && (body[i - 1].flags & TOK_PASTE_NEXT);
  bool at_group_start = r->group.active && r->out.count == r->group.start;
  bool in_directive = reader->state.in_directive && !reader->state.directive_wants_padding;
  if (!in_directive && i != 0 && !right_of_paste && !at_group_start) {
    preproc_token padding = make_padding(use);
    add_own(r, &padding, i);
  }
  uint32_t first = r->out.count;
  if (use->flags & TOK_STRINGIFY) {
    if (!arg->stringified_done) {
      arg->stringified = stringify_argument(reader, arg->raw.tokens, arg->raw.count);
      arg->stringified_done = true;
    }
    // A string made here is spelled where the operator stands.
    preproc_token text = arg->stringified;
    text.location = use->location;
    add_own(r, &text, i);
  } else if (left_of_paste || right_of_paste) {
    if (right_of_paste)
      paste_comma_rule(&r->out, r->macro, use, r->variadic_absent);
    // An empty right operand leaves the left one pasting on only when this
    // parameter is itself the left operand of another "##".
    if (right_of_paste && arg->raw.count == 0 && r->out.count && !at_group_start &&
        r->out.tokens[r->out.count - 1].kind != TK_PADDING)
      copy_paste_mark(&r->out.tokens[r->out.count - 1], use);
    first = r->out.count;
    if (arg->raw.count == 0)
      r->placemarker = first;
    add_argument_tokens(r, &arg->raw, 0, i);
  } else {
    if (!arg->expanded_done)
      expand_argument(reader, arg);
    const token_list *expanded = expansion_of(arg);
    uint32_t skip = 0;
    while (at_group_start && skip < expanded->count && expanded->tokens[skip].kind == TK_PADDING)
      skip++;
    add_argument_tokens(r, expanded, skip, i);
  }
  if (left_of_paste && r->out.count > first) {
    preproc_token *last = &r->out.tokens[r->out.count - 1];
    last->flags |= uint16_t(TOK_PASTE_NEXT |
                            (use->flags & (TOK_OPERATOR_DIGRAPH | TOK_OPERATOR_SPACE)));
  }
  if (!reader->state.in_directive && !left_of_paste && !at_group_start)
    add_avoid_paste(r, i);
}

static void begin_va_opt(replacement *r, const preproc_token *body, uint32_t count, uint32_t i)
{
  va_opt_group *group = &r->group;
  collected_arg *variadic = &r->args[r->macro->parameter_count - 1];
  if (!variadic->expanded_done)
    expand_argument(r->reader, variadic);
  group->active = true;
  group->include = has_real_token(expansion_of(variadic));
  group->stringify = (body[i].flags & TOK_STRINGIFY) != 0;
  group->open_index = i;
  group->close_index = matching_paren(body, count, i + 1);
  if (!group->stringify && i != 0 && !(body[i - 1].flags & TOK_PASTE_NEXT)) {
    preproc_token padding = make_padding(&body[i]);
    add_own(r, &padding, i);
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
      end_va_opt(r, token);
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
      add_own(r, token, i);
  }
}

// ---- Virtual locations ----

// Fills the map's slots for the replacement: at level 2 one for every token
// made; at level 1 one for each definition token (with room for the padding
// around each parameter), an argument's tokens all sharing the parameter's,
// where the first of them is spelled, and LOCATIONS gets each token's.
static void replacement_locations(replacement *r, macro_map *map, location_t *locations)
{
  const token_list *out = &r->out;
  if (r->reader->options.macro_expansion_tracking >= 2) {
    // Slot j is token j's: the pairs are stored as macro_map_set_token
    // would, in one copy.
    vuz_assert(out->count <= map->token_count);
    memcpy(map->token_locations, out->origins, out->count * sizeof(location_pair));
    return;
  }
  for (uint32_t j = 0; j < out->count; j++) {
    const location_pair *o = &out->origins[j];
    uint32_t index = out->body_indexes[j];
    if (out->tokens[j].kind == TK_PADDING) {
      locations[j] = o->location;
    } else {
      const location_t *slot = &map->token_locations[2 * index];
      locations[j] = slot[0] || slot[1]
                         ? map->start + index
                         : macro_map_set_token(map, index, o->location, o->definition);
    }
  }
}

static uint32_t replacement_slot_count(const replacement *r)
{
  if (r->reader->options.macro_expansion_tracking >= 2)
    return r->out.count;
  const preproc_token *body = macro_tokens(r->macro);
  uint32_t count = macro_body_count(r->macro);
  uint32_t slots = count;
  for (uint32_t i = 0; i < count; i++)
    slots += body[i].kind == TK_MACRO_ARG ? 2 : 0;
  return slots;
}

// Pushes the replacement of an invocation at EXPANSION_POINT, in a macro map
// of its own when expansions are tracked (and the location space allows).
static void push_replacement(replacement *r, location_t expansion_point)
{
  preprocessor_reader *reader = r->reader;
  reader->line_table->produced_macro_tokens += r->out.count;
  macro_map *map = nullptr;
  if (r->out.tracked && r->out.count)
    map = linemap_add_macro_map(reader->line_table, r->node, expansion_point,
                                replacement_slot_count(r));
  if (map == nullptr) {
    push_list(reader, r->node, &r->out);
    return;
  }
  // At level 2 token j is slot j: the locations run on from the map's start.
  bool every_token = reader->options.macro_expansion_tracking >= 2;
  if (every_token)
    push_list(reader, r->node, &r->out);
  else
    push_tracked_copy(reader, r->node, r->out.tokens, r->out.count);
  replacement_locations(r, map, reader->context->locations);
  if (every_token)
    reader->context->virtual_base = map->start;
}

// An object-like macro's tokens, read from its definition.
static void push_definition(preprocessor_reader *reader, ident_node *node, macro_def *macro,
                            location_t expansion_point)
{
  const preproc_token *tokens = macro_tokens(macro);
  uint32_t count = macro_body_count(macro);
  reader->line_table->produced_macro_tokens += count;
  _cpp_push_tokens(reader, node, tokens, count);
  if (!tracking(reader) || count == 0)
    return;
  macro_map *map = linemap_add_macro_map(reader->line_table, node, expansion_point, count);
  if (map == nullptr)
    return;
  for (uint32_t i = 0; i < count; i++)
    macro_map_set_token(map, i, tokens[i].location, tokens[i].location);
  reader->context->virtual_base = map->start;
}

// ---- Entering an expansion ----

// What entering a macro did: the caller must hand out the name itself, go
// on reading the pushed context, or first read pragmas lifted out of the
// arguments (which come before the expansion).
enum entry_result {
  ENTRY_NOT_EXPANDED,
  ENTRY_PUSHED,
  ENTRY_PRAGMAS_FIRST,
};

// LOCATION is the name's virtual location; AT the expansion point its text
// is computed for.
static entry_result expand_builtin(preprocessor_reader *reader, ident_node *node, location_t location,
                          location_t at)
{
  if (node->value.builtin == BT_PRAGMA) {
    if (reader->state.in_directive || reader->ignore_pragma_operator)
      return ENTRY_NOT_EXPANDED;
    return do_pragma_operator(reader, location) ? ENTRY_PUSHED : ENTRY_NOT_EXPANDED;
  }
  const unsigned char *text = _cpp_builtin_macro_text(reader, node, at);
  preproc_token token;
  if (!_cpp_lex_text_token(reader, text, strlen(reinterpret_cast<const char *>(text)), location,
                           &token))
    diag_error(reader, DL_ICE, "invalid built-in macro \"%s\"", node->text);
  token.location = location;
  token.flags &= uint16_t(~TOK_SPACE_BEFORE);
  macro_map *map = context_is_tracked(reader->context)
                      ? linemap_add_macro_map(reader->line_table, node, location, 1)
                      : nullptr;
  if (map)
    *push_tracked_copy(reader, reader->context->macro, &token, 1) =
        macro_map_set_token(map, 0, BUILTINS_LOCATION, BUILTINS_LOCATION);
  else
    push_copy(reader, reader->context->macro, &token, 1);
  return ENTRY_PUSHED;
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

// Pragmas lifted out of the arguments are read first, then a separation
// standing for the macro name, then the expansion.
static void push_lifted_pragmas(preprocessor_reader *reader, const preproc_token *name,
                                token_list *pragmas)
{
  if (!reader->state.in_directive) {
    preproc_token padding = make_padding(name);
    push_copy(reader, nullptr, &padding, 1);
  }
  push_copy(reader, nullptr, pragmas->tokens, pragmas->count);
  list_free(pragmas);
}

// The expansion point for a built-in's text: where it stands when a
// function-like macro's expansion is tracked, else where the outermost
// expansion began.
static location_t builtin_expansion_point(const preprocessor_reader *reader, location_t location)
{
  const ident_node *top = reader->top_most_macro;
  bool function_like = top && top->kind == IK_MACRO && top->value.macro->function_like;
  return function_like && tracking(reader) ? location : reader->invocation_location;
}

// LOCATION is the name's virtual location, the expansion point of what is
// pushed.
static entry_result enter_macro_context(preprocessor_reader *reader, ident_node *node,
                               const preproc_token *name, location_t location)
{
  reader->mi_valid = false;
  reader->about_to_expand = true;
  if (node->kind == IK_BUILTIN)
    return expand_builtin(reader, node, location, builtin_expansion_point(reader, location));
  macro_def *macro = node->value.macro;
  // A traditional definition is text: only the traditional scan expands it.
  if (macro->kind == MACRO_KIND_TEXT) {
    reader->about_to_expand = false;
    return ENTRY_NOT_EXPANDED;
  }
  token_list pragmas;
  list_init(&pragmas, reader, false);
  if (macro->function_like) {
    reader->state.prevent_expansion++;
    reader->keep_tokens++;
    reader->state.parsing_args = ARGS_SEEKING_PAREN;
    bool variadic_absent = false;
    collected_arg *args = find_invocation(reader, node, &variadic_absent, &pragmas);
    reader->state.parsing_args = ARGS_NONE;
    reader->keep_tokens--;
    reader->state.prevent_expansion--;
    if (args == nullptr) {
      if (reader->options.warn_traditional_c && !macro->system_header)
        diag_warning(reader, DR_TRADITIONAL,
                     "function-like macro \"%s\" must be used with arguments in traditional C",
                     node->text);
      list_free(&pragmas);
      reader->about_to_expand = false;
      return ENTRY_NOT_EXPANDED;
    }
    if (macro->parameter_count) {
      replacement r = {reader, node, macro, args, variadic_absent, {}, {}, UINT32_MAX};
      list_init(&r.out, reader, tracking(reader));
      build_replacement(&r);
      mark_used(reader, node, macro, name->location);
      push_replacement(&r, location);
      list_free(&r.out);
      free_arguments(reader, args, macro->parameter_count);
    } else {
      free_arguments(reader, args, 1);
    }
  }
  if (!macro->function_like || !macro->parameter_count) {
    mark_used(reader, node, macro, name->location);
    push_definition(reader, node, macro, location);
  }
  if (pragmas.count == 0)
    return ENTRY_PUSHED;
  push_lifted_pragmas(reader, name, &pragmas);
  return ENTRY_PRAGMAS_FIRST;
}

static const preproc_token *no_expand_copy(preprocessor_reader *reader, const preproc_token *token)
{
  preproc_token copy = *token;
  copy.flags |= TOK_NO_EXPAND;
  return hand_out(reader, copy);
}

// A conditional macro expands only when the client names the node to
// expand; otherwise the name stays, with the separation from what follows
// as it was before the client looked ahead.
static ident_node *ask_conditional(preprocessor_reader *reader, const preproc_token *name)
{
  if (reader->callbacks.macro_to_expand == nullptr)
    return nullptr;
  const preproc_token *peeked = cpp_look_ahead(reader, 0);
  bool separated = peeked->kind == TK_PADDING || (peeked->flags & TOK_SPACE_BEFORE);
  ident_node *chosen = reader->callbacks.macro_to_expand(reader, name);
  if (chosen)
    return ident_is_macro(chosen) ? chosen : nullptr;
  if (!separated)
    return nullptr;
  peeked = cpp_look_ahead(reader, 0);
  if (peeked->kind != TK_PADDING && !(peeked->flags & TOK_SPACE_BEFORE)) {
    preproc_token padding = make_padding(peeked);
    push_copy(reader, nullptr, &padding, 1);
  }
  return nullptr;
}

// The whole reading step, for tokens the fast path below does not take.
static __attribute__((noinline)) const preproc_token *
next_token_slow(preprocessor_reader *reader, location_t *location)
{
  bool saved_about_to_expand = reader->about_to_expand;
  const preproc_token *result;
  // Where the token stands: its virtual location in a tracked expansion.
  location_t virtual_at;
  for (;;) {
    expansion_context *context = reader->context;
    if (context->previous == nullptr) {
      // Past the end of the input every read is the end again.
      result = reader->buffer || reader->lookaheads ? _cpp_lex_token(reader) : &_cpp_input_end;
      virtual_at = result->location;
    } else if (reached_end_of_context(context)) {
      if (context->macro)
        reader->line_table->expanded_macros++;
      _cpp_pop_context(reader);
      // A deferred pragma's line is printed: it keeps its separations.
      if (reader->state.in_directive)
        continue;
      result = &reader->padding_token;
      virtual_at = result->location;
      break;
    } else {
      result = context->first++;
      location_t tracked_at = virtual_location(context, result);
      virtual_at = tracked_at ? tracked_at : result->location;
      if (result->flags & TOK_PASTE_NEXT) {
        paste_all(reader, result, tracked_at);
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
    if (node->kind == IK_MACRO && !cpp_resolve_deferred_macro(reader, node, result->location))
      break;
    if (node->flags & IDF_EXPANDING) {
      result = no_expand_copy(reader, result);
      break;
    }
    if (!reader->about_to_expand && reader->context->macro == nullptr) {
      reader->invocation_location = virtual_at;
      reader->top_most_macro = node;
    }
    if (reader->state.prevent_expansion)
      break;
    const preproc_token name = *result;
    if ((node->flags & IDF_CONDITIONAL) && (node = ask_conditional(reader, &name)) == nullptr)
      break;
    entry_result entered = enter_macro_context(reader, node, &name, virtual_at);
    if (entered == ENTRY_NOT_EXPANDED) {
      // Looking for "(" may have popped the context the name was read from.
      result = hand_out(reader, name);
      break;
    }
    if (reader->state.in_directive || entered == ENTRY_PRAGMAS_FIRST)
      continue;
    result = hand_out(reader, make_padding(&name));
    break;
  }
  if (location) {
    if (tracking(reader) || reader->context->previous == nullptr)
      *location = virtual_at;
    else
      *location = reader->invocation_location;
  }
  reader->last_token = result;
  reader->last_location = virtual_at;
  reader->about_to_expand = saved_about_to_expand;
  if (reader->state.directive_file_token)
    result = _cpp_module_header_name(reader, result);
  return result;
}

const preproc_token *cpp_next_token_with_location(preprocessor_reader *reader,
                                                  location_t *location)
{
  expansion_context *context = reader->context;
  if (context->previous == nullptr || reached_end_of_context(context) ||
      !passes_through(context->first) || reader->state.directive_file_token)
    return next_token_slow(reader, location);
  const preproc_token *result = context->first++;
  location_t tracked_at = virtual_location(context, result);
  location_t virtual_at = tracked_at ? tracked_at : result->location;
  if (location)
    *location = tracking(reader) ? virtual_at : reader->invocation_location;
  reader->last_token = result;
  reader->last_location = virtual_at;
  return result;
}

const preproc_token *cpp_next_token(preprocessor_reader *reader)
{
  return cpp_next_token_with_location(reader, nullptr);
}

bool cpp_in_system_macro(const preprocessor_reader *reader)
{
  const ident_node *macro = reader->context->macro;
  if (macro == nullptr)
    return false;
  if (macro->kind == IK_BUILTIN)
    return true;
  return macro->kind == IK_MACRO && macro->value.macro && macro->value.macro->system_header;
}

// Before C++20 a system header may still use __VA_OPT__, so only a pedantic
// user hears of it.
void check_va_opt_use(preprocessor_reader *reader)
{
  const cpp_reader_options *o = &reader->options;
  if (o->pedantic_mode && !o->va_opt_support) {
    if (!(reader->buffer && reader->buffer->system_kind))
      diag_error(reader, DL_PEDWARN, "__VA_OPT__ is not available until C++20");
  } else if (!reader->state.va_args_ok) {
    diag_error(reader, DL_PEDWARN,
               "__VA_OPT__ can only appear in the expansion of a C++20 variadic macro");
  }
}

void cpp_skip_rest_of_file(preprocessor_reader *reader)
{
  reader->buffer->return_at_eof = 1;
  reader->state.discarding_output++;
  reader->state.prevent_expansion++;
  // Traditional input is read as text: tokenising it would judge quotes
  // and numbers that mean nothing there.
  if (reader->options.traditional_mode)
    while (_cpp_read_logical_line_trad(reader))
      ;
  else
    while (cpp_next_token(reader)->kind != TK_EOF)
      ;
  reader->state.discarding_output--;
  reader->state.prevent_expansion--;
}

void _cpp_report_has_include_outside(preprocessor_reader *reader, const ident_node *node)
{
  diag_error(reader, DL_ERROR, "\"%s\" used outside of preprocessing directive", node->text);
}

// __has_include and __has_include_next: 1 when the header is found.
uint64_t _cpp_has_include(preprocessor_reader *reader, ident_node *node)
{
  if (!reader->state.in_directive)
    _cpp_report_has_include_outside(reader, node);
  reader->state.angled_headers = 1;
  const preproc_token *token;
  do
    token = cpp_next_token(reader);
  while (token->kind == TK_PADDING);
  bool paren = token->kind == TK_OPEN_PAREN;
  if (!paren) {
    diag_error(reader, DL_ERROR, "missing '(' before \"%s\" operand", node->text);
    // The end of the line stays for the caller; anything else was the
    // token in the place of the "(".
    if (token->kind == TK_EOF)
      _cpp_backup_expanded(reader, token);
  }
  bool angled = false;
  location_t location = 0;
  char *name = _cpp_has_include_operand(reader, node->text, &angled, &location);
  reader->state.angled_headers = 0;
  uint64_t found = 0;
  if (name) {
    int kind = node->value.builtin == BT_HAS_INCLUDE_NEXT ? INCLUDE_NEXT : INCLUDE_PLAIN;
    found = !reader->state.skip_eval && has_header(reader, name, angled, kind, location);
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
