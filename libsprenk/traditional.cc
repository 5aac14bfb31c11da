// Traditional (pre-standard) preprocessing: each logical line is copied
// character by character into an output line, macros are replaced by text,
// and directive lines are handed to the directive layer, which reads them
// as scanned out through an overlay of the current buffer.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

typedef const unsigned char *cursor_t;

namespace {

// A recursive function-like macro may still end; past this many of its
// own expansions below the current one it is taken as recursing forever.
enum { MAX_SELF_NESTING = 20 };
// Built-ins nested in the arguments of built-ins are scanned recursively.
enum { MAX_BUILTIN_NESTING = 200 };
// Expansion only ever adds to a line; this keeps a line whose expansion
// grows without end (each macro naming the next twice) an error, not an
// exhaustion of memory.
enum : uint64_t { MAX_LINE_BYTES = uint64_t(1) << 24 };

enum scan_state : uint8_t {
  LS_NONE,
  LS_FUN_OPEN,       // after a function-like macro's name, looking for "("
  LS_FUN_CLOSE,      // inside its arguments
  LS_DEFINED,        // after "defined" in a condition
  LS_DEFINED_CLOSE,  // inside the parenthesis of "defined"
  LS_HASH,           // after "#" in a condition
  LS_PREDICATE,      // after the predicate of an assertion
  LS_ANSWER,         // inside its answer
};

// The invocation of a function-like macro whose arguments are collected.
struct invocation {
  scratch_buffer *buffer; // holds the offsets
  uint64_t *offsets;      // offsets[i]: where argument i starts; its end is one before the next
  ident_node *node;
  uint64_t offset;        // of the macro's name in the output
  location_t line;
  uint32_t parameter_count;
  uint32_t argument_count;
};

// One block of a traditional definition with parameters: the text before
// parameter `number` (0 for the last block, which names none).
enum : uint64_t { BLOCK_HEADER = 6 };

uint64_t block_size(uint64_t text_length)
{
  return (text_length + BLOCK_HEADER + 7) & ~uint64_t(7);
}

uint32_t block_text_length(const unsigned char *block)
{
  uint32_t length;
  memcpy(&length, block, sizeof length);
  return length;
}

uint16_t block_parameter(const unsigned char *block)
{
  uint16_t number;
  memcpy(&number, block + 4, sizeof number);
  return number;
}

const unsigned char *block_text(const unsigned char *block)
{
  return block + BLOCK_HEADER;
}

bool is_trad_idchar(const preprocessor_reader *reader, unsigned char c)
{
  return c_isalnum(c) || c == '_' || (c == '$' && reader->options.dollars_in_identifiers);
}

bool is_space_char(unsigned char c)
{
  return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\0';
}

bool is_function_like(const ident_node *node)
{
  if (node->kind == IK_BUILTIN)
    return node->value.builtin >= BT_HAS_ATTRIBUTE && node->value.builtin <= BT_HAS_INCLUDE_NEXT;
  return node->value.macro->function_like;
}

// Room for REMAINING more input bytes after the output's cursor: what a
// context can add is its own text plus a closing "*/" and the newline.
void ensure_room(preprocessor_reader *reader, uint64_t remaining)
{
  trad_output *o = &reader->trad_out;
  uint64_t used = uint64_t(o->current - o->base);
  uint64_t needed = used + remaining + 3;
  if (o->base && uint64_t(o->limit - o->base) >= needed)
    return;
  uint64_t size = uint64_t(o->limit - o->base);
  o->base = _cpp_grow_array(o->base, &size, needed + needed / 2);
  o->limit = o->base + size;
  o->current = o->base + used;
}

// ---- Comments ----

// Past the block comment whose "*" is at CUR inside a macro's text: the
// text ends at LIMIT, which the comment cannot pass. True when it was
// closed.
bool skip_macro_comment(cursor_t *cur, cursor_t limit)
{
  cursor_t p = *cur + 1;
  for (; p < limit; p++) {
    if (*p == '/' && p[-1] == '*' && p - 1 > *cur) {
      *cur = p + 1;
      return true;
    }
  }
  *cur = limit;
  return false;
}

// Copies the block comment whose "*" is at CUR in the current buffer, line
// by line: lines joined by splices are prepared in place and leave stale
// bytes between them, which a single copy would take along. True when it
// was closed; the buffer's cursor ends past it.
bool copy_buffer_comment(preprocessor_reader *reader, cursor_t cur)
{
  input_buffer *buffer = reader->buffer;
  trad_output *o = &reader->trad_out;
  cursor_t p = cur + 1;
  cursor_t start = cur;
  for (;;) {
    unsigned char c = *p++;
    if (c == '/' && p - 2 > cur && p[-2] == '*') {
      memcpy(o->current, start, uint64_t(p - start));
      o->current += p - start;
      buffer->cursor = p;
      _cpp_process_line_notes(reader, true);
      return true;
    }
    if (c != '\n')
      continue;
    // The newline is copied; the next line goes after it.
    memcpy(o->current, start, uint64_t(p - start));
    o->current += p - start;
    buffer->cursor = p - 1;
    _cpp_process_line_notes(reader, true);
    if (buffer->next_line >= buffer->limit) {
      o->current--;
      return false;
    }
    _cpp_prepare_line(reader);
    _cpp_advance_line(reader, uint32_t(buffer->next_line - buffer->line_base));
    start = p = buffer->cursor;
    ensure_room(reader, uint64_t(buffer->limit - p));
    cur = p - 2; // a "*/" cannot straddle the line break
  }
}

// The block comment whose "/" was copied last and whose "*" is at CUR:
// dropped, copied, or one space, as the place wants. Returns the position
// after it.
cursor_t copy_comment(preprocessor_reader *reader, cursor_t cur, cursor_t limit, bool in_define)
{
  trad_output *o = &reader->trad_out;
  location_t line = reader->line_table->line_start_location;
  bool copy;
  if (reader->state.in_directive && !in_define)
    copy = false;
  else if (reader->state.in_directive)
    copy = !reader->options.drop_comments_in_macros;
  else
    copy = !reader->options.drop_comments;
  bool closed;
  cursor_t after = cur;
  if (reader->context->previous) {
    closed = skip_macro_comment(&after, limit);
    if (copy) {
      memcpy(o->current, cur, uint64_t(after - cur));
      o->current += after - cur;
    }
  } else if (copy) {
    closed = copy_buffer_comment(reader, cur);
    after = reader->buffer->cursor;
  } else {
    reader->buffer->cursor = cur;
    closed = !_cpp_skip_c_comment(reader);
    after = reader->buffer->cursor;
  }
  if (!closed)
    diag_error_at_line(reader, DL_ERROR, line, 0, "unterminated comment");
  if (copy && !closed) {
    *o->current++ = '*';
    *o->current++ = '/';
  } else if (!copy && reader->state.in_directive && !in_define) {
    o->current[-1] = ' ';
  } else if (!copy) {
    o->current--;
  }
  return after;
}

// Copies blanks (and comments, when asked) from CUR on; returns where
// something else starts.
cursor_t skip_whitespace(preprocessor_reader *reader, cursor_t cur, bool skip_comments)
{
  trad_output *o = &reader->trad_out;
  for (;;) {
    unsigned char c = *cur;
    if (is_space_char(c)) {
      *o->current++ = c;
      cur++;
    } else if (c == '/' && cur[1] == '*' && skip_comments) {
      *o->current++ = c;
      cur = copy_comment(reader, cur + 1, reader->context->text_limit, false);
    } else {
      return cur;
    }
  }
}

// ---- Definitions ----

// Appends the output as the block before parameter NUMBER (0: the last
// block, which completes the text).
void save_replacement_text(preprocessor_reader *reader, macro_def *macro, uint16_t number)
{
  trad_output *o = &reader->trad_out;
  uint64_t length = uint64_t(o->current - o->base);
  if (macro->parameter_count == 0) {
    unsigned char *text = _cpp_pool_alloc(reader, length + 1);
    memcpy(text, o->base, length);
    text[length] = '\n';
    macro->text = text;
    macro->count = uint32_t(length);
    o->current = o->base;
    return;
  }
  uint64_t size = block_size(length);
  scratch_buffer *pool = reader->record_pool;
  if (uint64_t(pool->limit - pool->current) < macro->count + size)
    _cpp_scratch_grow(reader, &reader->record_pool, size);
  unsigned char *block = reader->record_pool->current + macro->count;
  uint32_t length32 = uint32_t(length);
  memcpy(block, &length32, sizeof length32);
  memcpy(block + 4, &number, sizeof number);
  memcpy(block + BLOCK_HEADER, o->base, length);
  macro->count += uint32_t(size);
  o->current = o->base;
  if (number == 0)
    macro->text = _cpp_pool_commit(reader, macro->count);
}

// ---- Expansion ----

void release_invocation(preprocessor_reader *reader, invocation *call)
{
  _cpp_scratch_release(reader, call->buffer);
  call->buffer = nullptr;
}

void start_invocation(preprocessor_reader *reader, invocation *call, ident_node *node,
                      uint64_t offset)
{
  release_invocation(reader, call);
  uint32_t parameters = node->kind == IK_BUILTIN ? 1 : node->value.macro->parameter_count;
  call->buffer = _cpp_scratch_take(reader, (uint64_t(parameters) + 1) * sizeof(uint64_t));
  call->offsets = reinterpret_cast<uint64_t *>(
      (reinterpret_cast<uintptr_t>(call->buffer->base) + 7) & ~uintptr_t(7));
  call->node = node;
  call->offset = offset;
  call->line = reader->line_table->line_start_location;
  call->parameter_count = parameters;
  call->argument_count = 0;
}

// One argument of nothing but blanks is no argument.
bool only_blanks(const unsigned char *text, const unsigned char *end)
{
  for (; text < end; text++)
    if (!is_space_char(*text) && *text != '\n')
      return false;
  return true;
}

void end_argument(invocation *call, uint64_t offset)
{
  call->argument_count++;
  if (call->argument_count <= call->parameter_count)
    call->offsets[call->argument_count] = offset;
}

bool line_too_long(preprocessor_reader *reader, bool *reported)
{
  trad_output *o = &reader->trad_out;
  if (uint64_t(o->current - o->base) <= MAX_LINE_BYTES)
    return false;
  if (!*reported)
    diag_error(reader, DL_ERROR, "expansion of this line exceeds %u bytes",
               unsigned(MAX_LINE_BYTES));
  *reported = true;
  return true;
}

// A macro whose text names itself twice recurses along every branch of a
// tree: its recursion is reported once a line, for the first few macros.
struct recursion_reports {
  enum { MAX_REPORTED = 8 };
  ident_node *nodes[MAX_REPORTED];
  uint32_t count;
};

bool recursion_reported(recursion_reports *reports, ident_node *node)
{
  for (uint32_t i = 0; i < reports->count; i++)
    if (reports->nodes[i] == node)
      return true;
  if (reports->count == recursion_reports::MAX_REPORTED)
    return true;
  reports->nodes[reports->count++] = node;
  return false;
}

// Object-like macros that are expanding recurse; a function-like one only
// when it is nested in itself deeper than the limit.
bool recursive_macro(preprocessor_reader *reader, ident_node *node, recursion_reports *reports)
{
  bool recursing = (node->flags & IDF_EXPANDING) != 0;
  if (recursing && is_function_like(node)) {
    uint32_t depth = 0;
    const expansion_context *context = reader->context;
    for (; context; context = context->previous)
      if (++depth > MAX_SELF_NESTING && context->macro == node)
        break;
    recursing = context != nullptr;
  }
  if (recursing && !recursion_reported(reports, node))
    diag_error(reader, DL_ERROR, "detected recursion whilst expanding macro \"%s\"", node->text);
  return recursing;
}

// TEXT of LENGTH bytes with a newline after it, in scratch memory the
// context releases.
void push_copied_text(preprocessor_reader *reader, ident_node *node, const unsigned char *text,
                      uint64_t length)
{
  scratch_buffer *block = _cpp_scratch_take(reader, length + 1);
  memcpy(block->base, text, length);
  block->base[length] = '\n';
  _cpp_push_text(reader, node, block->base, length);
  reader->context->scratch = block;
}

void push_replacement_text(preprocessor_reader *reader, ident_node *node)
{
  if (node->kind == IK_BUILTIN) {
    const unsigned char *text =
        _cpp_builtin_macro_text(reader, node, reader->line_table->line_start_location);
    push_copied_text(reader, node, text, strlen(reinterpret_cast<const char *>(text)));
    return;
  }
  macro_def *macro = node->value.macro;
  macro->used = 1;
  _cpp_push_text(reader, node, macro->text, macro->count);
}

// The replacement of a call with its arguments put in: inside a string of
// the replacement, the argument's quotes (and the backslashes of its own
// strings) are escaped, so that the string still ends where it did.
void replace_arguments_and_push(preprocessor_reader *reader, const invocation *call)
{
  ident_node *node = call->node;
  macro_def *macro = node->value.macro;
  if (macro->parameter_count == 0) {
    _cpp_push_text(reader, node, macro->text, macro->count);
    return;
  }
  const unsigned char *output = reader->trad_out.base;
  uint64_t size = 0;
  const unsigned char *block = macro->text;
  for (;; block += block_size(block_text_length(block))) {
    size += block_text_length(block);
    uint16_t number = block_parameter(block);
    if (number == 0)
      break;
    size += 2 * (call->offsets[number] - call->offsets[number - 1] - 1);
  }
  // The newline that ends every context's text.
  scratch_buffer *buffer = _cpp_scratch_take(reader, size + 1);
  unsigned char *p = buffer->base;
  bool in_string = false;
  for (block = macro->text;; block += block_size(block_text_length(block))) {
    uint32_t length = block_text_length(block);
    memcpy(p, block_text(block), length);
    p += length;
    for (uint32_t i = 0; i < length; i++)
      if (block_text(block)[i] == '"')
        in_string = !in_string;
    uint16_t number = block_parameter(block);
    if (number == 0)
      break;
    const unsigned char *argument = output + call->offsets[number - 1];
    const unsigned char *end = output + call->offsets[number] - 1;
    bool argument_quote = false;
    for (const unsigned char *in = argument; in < end; in++) {
      if (in_string && *in == '"') {
        if (in == argument || in[-1] != '\\')
          argument_quote = !argument_quote;
        *p++ = '\\';
      } else if (in_string && argument_quote && *in == '\\') {
        *p++ = '\\';
      }
      *p++ = *in;
    }
  }
  *p = '\n';
  uint64_t length = uint64_t(p - buffer->base);
  vuz_assert(length <= size);
  _cpp_push_text(reader, node, buffer->base, length);
  reader->context->scratch = buffer;
}

// The per-call state of one scan.
struct line_scan {
  preprocessor_reader *reader;
  macro_def *macro;       // the definition being read, or null
  bool builtin_argument;  // the arguments of a built-in, expanded on their own
  uint32_t builtin_depth;
  bool reported_length;
  recursion_reports recursions;
  bool directive;         // the line was a directive, already run
  bool header_ok;         // '<' may still open a header name
  unsigned char quote;    // the quote that is open, or 0
  uint32_t depth;         // of parentheses
  uint64_t open_paren;    // the "(" of the call being collected
  scan_state state;
  invocation call;
  expansion_context *context;
  cursor_t cur;
  cursor_t limit;
};

void scan_line(line_scan *s);

saved_line_notes save_line_notes(const preprocessor_reader *reader, const input_buffer *buffer)
{
  return {buffer->notes,     buffer->current_note, buffer->notes_used,
          buffer->notes_allocated, buffer->next_line, reader->made_up_text_end_note};
}

void restore_line_notes(preprocessor_reader *reader, input_buffer *buffer,
                        const saved_line_notes &saved)
{
  buffer->notes = saved.notes;
  buffer->current_note = saved.current_note;
  buffer->notes_used = saved.notes_used;
  buffer->notes_allocated = saved.notes_allocated;
  buffer->next_line = saved.next_line;
  reader->made_up_text_end_note = saved.end_note;
}

// Points BUFFER at TEXT, a made-up line whose newline is at TEXT + LENGTH.
// The buffer's own line notes point into its own text, so the made-up text
// has only an end note, and a comment left open in it ends with it instead
// of reading on into the buffer's lines.
void point_at_made_up_text(preprocessor_reader *reader, input_buffer *buffer,
                           const unsigned char *text, uint64_t length)
{
  buffer->cursor = buffer->line_base = text;
  buffer->limit = text + length;
  buffer->next_line = buffer->limit;
  buffer->need_line = false;
  reader->made_up_text_end_note = {buffer->limit + 1, '\n'};
  buffer->notes = &reader->made_up_text_end_note;
  buffer->current_note = 0;
  buffer->notes_used = buffer->notes_allocated = 1;
}

// The buffer's position and the context chain, put aside while a
// built-in's arguments are expanded and read.
struct builtin_saved {
  input_buffer *overlaid;
  const unsigned char *cursor;
  const unsigned char *line_base;
  const unsigned char *limit;
  bool need_line;
  saved_line_notes notes;
  expansion_context base;
  expansion_context *context;
  uint8_t in_directive;
  location_t forced_token_location;
  location_t directive_line;
};

void put_aside(preprocessor_reader *reader, builtin_saved *saved, location_t line)
{
  input_buffer *buffer = reader->buffer;
  *saved = {reader->overlaid_buffer, buffer->cursor, buffer->line_base, buffer->limit,
            buffer->need_line != 0, save_line_notes(reader, buffer), reader->base_context,
            reader->context, reader->state.in_directive, reader->forced_token_location,
            reader->directive_line};
  // Its tokens are made-up text: they, and what is reported about them,
  // are placed on the line of the call.
  reader->forced_token_location = line;
  if (!reader->state.in_directive)
    reader->directive_line = line;
  reader->base_context.next = nullptr;
  reader->context = &reader->base_context;
  // The built-in reads tokens up to the end of its own text, never into
  // the lines after it.
  reader->overlaid_buffer = buffer;
  reader->state.in_directive = DIRECTIVE_LINE;
}

void point_buffer_at(preprocessor_reader *reader, const unsigned char *text, uint64_t length)
{
  point_at_made_up_text(reader, reader->buffer, text, length);
}

void take_back(preprocessor_reader *reader, const builtin_saved *saved)
{
  // A token the built-in gave back may have become a context.
  while (reader->context->previous)
    _cpp_pop_context(reader);
  input_buffer *buffer = reader->buffer;
  buffer->cursor = saved->cursor;
  buffer->line_base = saved->line_base;
  buffer->limit = saved->limit;
  buffer->need_line = saved->need_line;
  restore_line_notes(reader, buffer, saved->notes);
  reader->overlaid_buffer = saved->overlaid;
  reader->base_context = saved->base;
  reader->context = saved->context;
  reader->state.in_directive = saved->in_directive;
  reader->forced_token_location = saved->forced_token_location;
  reader->directive_line = saved->directive_line;
}

// A built-in such as __has_include(ARGS), whose call ends at the output's
// cursor: its arguments are expanded, as built-ins want, then read as
// tokens, and its value replaces the call.
void expand_builtin_call(line_scan *s, const invocation *call, uint64_t open_paren)
{
  preprocessor_reader *reader = s->reader;
  trad_output *o = &reader->trad_out;
  if (s->builtin_depth >= MAX_BUILTIN_NESTING) {
    diag_error(reader, DL_ERROR, "macro arguments nested more than %u levels deep",
               unsigned(MAX_BUILTIN_NESTING));
    return;
  }
  uint64_t end = uint64_t(o->current - o->base);
  uint64_t length = end - open_paren;
  scratch_buffer *copy = _cpp_scratch_take(reader, length + 1);
  memcpy(copy->base, o->base + open_paren, length);
  copy->base[length] = '\n';

  builtin_saved saved;
  put_aside(reader, &saved, call->line);
  // The call reads its arguments as a directive line, which hides from the
  // built-in where it was really used.
  bool header_query = call->node->value.builtin == BT_HAS_INCLUDE ||
                      call->node->value.builtin == BT_HAS_INCLUDE_NEXT;
  if (header_query && saved.in_directive == DIRECTIVE_NONE)
    _cpp_report_has_include_outside(reader, call->node);
  point_buffer_at(reader, copy->base, length);
  line_scan inner = {};
  inner.reader = reader;
  inner.builtin_argument = true;
  inner.builtin_depth = s->builtin_depth + 1;
  inner.reported_length = s->reported_length;
  scan_line(&inner);
  s->reported_length = inner.reported_length;
  *o->current = '\n';
  point_buffer_at(reader, o->base + end, uint64_t(o->current - o->base) - end);
  reader->state.prevent_expansion++;
  const unsigned char *value = _cpp_builtin_macro_text(reader, call->node, call->line);
  while (_cpp_lex_token(reader)->kind != TK_EOF)
    ;
  reader->state.prevent_expansion--;
  take_back(reader, &saved);
  _cpp_scratch_release(reader, copy);
  o->current = o->base + call->offset;
  push_copied_text(reader, call->node, value, strlen(reinterpret_cast<const char *>(value)));
}

// "#" at the start of a line outside directives and macros, with the blanks
// and comments after it copied: false when the line was a directive, now
// run, or a null directive; true when it stays text (assembler).
bool hash_at_line_start(preprocessor_reader *reader, cursor_t *cursor)
{
  cursor_t cur = skip_whitespace(reader, *cursor, true);
  input_buffer *buffer = reader->buffer;
  bool assembler = reader->options.language == DIALECT_ASM;
  if (*cur == '\n') {
    // The null directive; the multiple-include optimisation stays valid.
    buffer->need_line = true;
    if (cur + 1 < buffer->limit)
      _cpp_advance_line(reader, 0);
    return false;
  }
  bool known = false;
  if (c_isdigit(*cur)) {
    known = !assembler;
  } else if (c_isalpha(*cur) || *cur == '_') {
    cursor_t end = cur;
    while (is_trad_idchar(reader, *end))
      end++;
    ident_node *node =
        cpp_intern(reader, reinterpret_cast<const char *>(cur), uint32_t(end - cur));
    known = node->is_directive;
  }
  if (known || !assembler) {
    buffer->cursor = cur;
    process_directive_line(reader, false);
    return false;
  }
  *cursor = cur;
  return true;
}

// What the scan does after a character's own step.
enum scan_step : uint8_t {
  STEP_NEXT,        // on to the next character
  STEP_OTHER,       // the character counts as text: header names and states end
  STEP_NEW_CONTEXT, // read on from the current context
  STEP_DONE,        // the logical line is complete
};

// Enters the current context: its text is read from where it stands.
void enter_context(line_scan *s)
{
  s->context = s->reader->context;
  s->cur = s->context->text_position;
  s->limit = s->context->text_limit;
  ensure_room(s->reader, uint64_t(s->limit - s->cur));
}

scan_step scan_newline(line_scan *s)
{
  preprocessor_reader *reader = s->reader;
  trad_output *o = &reader->trad_out;
  if (s->context->previous) {
    // A newline kept inside a macro's text (a copied comment) is text.
    if (s->cur - 1 != s->limit)
      return STEP_NEXT;
    o->current--;
    _cpp_pop_context(reader);
    return STEP_NEW_CONTEXT;
  }
  o->current--;
  input_buffer *buffer = reader->buffer;
  buffer->cursor = s->cur;
  if (s->builtin_argument)
    return STEP_DONE;
  buffer->need_line = true;
  if (s->cur < buffer->limit)
    _cpp_advance_line(reader, 0);
  bool calling = s->state == LS_FUN_OPEN || s->state == LS_FUN_CLOSE;
  if (!calling || reader->state.in_directive || !_cpp_next_line(reader))
    return STEP_DONE;
  // A directive line is no place to look for the "(": the line waits for
  // the next scan.
  if (s->state == LS_FUN_OPEN && *reader->buffer->cursor == '#')
    return STEP_DONE;
  // Arguments run on; a quote stays open.
  *o->current++ = s->state == LS_FUN_CLOSE ? ' ' : '\n';
  s->context->text_position = reader->buffer->cursor;
  s->context->text_limit = reader->buffer->limit;
  return STEP_NEW_CONTEXT;
}

// The identifier whose first character was copied last.
scan_step scan_identifier(line_scan *s)
{
  preprocessor_reader *reader = s->reader;
  trad_output *o = &reader->trad_out;
  if (reader->state.skipping || (s->quote && s->macro == nullptr))
    return STEP_OTHER;
  unsigned char *start = o->current - 1;
  while (is_trad_idchar(reader, *s->cur))
    *o->current++ = *s->cur++;
  ident_node *node = cpp_intern(reader, reinterpret_cast<const char *>(start),
                                uint32_t(o->current - start));
  if (ident_is_macro(node) && (s->state == LS_NONE || s->state == LS_FUN_OPEN) &&
      !reader->state.prevent_expansion) {
    reader->mi_valid = false;
    if (is_function_like(node)) {
      start_invocation(reader, &s->call, node, uint64_t(start - o->base));
      s->state = LS_FUN_OPEN;
      return STEP_NEXT;
    }
    if (recursive_macro(reader, node, &s->recursions) || line_too_long(reader, &s->reported_length))
      return STEP_OTHER;
    o->current = start;
    s->context->text_position = s->cur;
    push_replacement_text(reader, node);
    s->state = LS_NONE;
    return STEP_NEW_CONTEXT;
  }
  if (s->macro && node->kind == IK_PARAMETER) {
    o->current = start;
    save_replacement_text(reader, s->macro, uint16_t(node->value.parameter));
  } else if (s->state == LS_HASH) {
    s->state = LS_PREDICATE;
    return STEP_NEXT;
  } else if (reader->state.in_expression && node == reader->spec_nodes.n_defined) {
    s->state = LS_DEFINED;
    return STEP_NEXT;
  }
  return STEP_OTHER;
}

void scan_open_paren(line_scan *s)
{
  s->depth++;
  if (s->state == LS_FUN_OPEN) {
    if (recursive_macro(s->reader, s->call.node, &s->recursions)) {
      s->state = LS_NONE;
      return;
    }
    trad_output *o = &s->reader->trad_out;
    s->state = LS_FUN_CLOSE;
    s->depth = 1;
    s->open_paren = uint64_t(o->current - o->base) - 1;
    s->call.offsets[0] = s->open_paren + 1;
  } else if (s->state == LS_PREDICATE) {
    s->state = LS_ANSWER;
  } else if (s->state == LS_DEFINED) {
    s->state = LS_DEFINED_CLOSE;
  }
}

// The ")" that may end a call: its replacement is pushed when the
// arguments fit; otherwise the call stays as text.
scan_step scan_close_paren(line_scan *s)
{
  preprocessor_reader *reader = s->reader;
  trad_output *o = &reader->trad_out;
  s->depth--;
  if (s->state == LS_ANSWER || s->state == LS_DEFINED_CLOSE)
    s->state = LS_NONE;
  if (s->state != LS_FUN_CLOSE || s->depth != 0)
    return STEP_OTHER;
  invocation *call = &s->call;
  s->state = LS_NONE;
  end_argument(call, uint64_t(o->current - o->base));
  if (line_too_long(reader, &s->reported_length))
    return STEP_OTHER;
  if (call->node->kind == IK_BUILTIN) {
    s->context->text_position = s->cur;
    expand_builtin_call(s, call, s->open_paren);
    return STEP_NEW_CONTEXT;
  }
  macro_def *called = call->node->value.macro;
  called->used = 1;
  if (call->argument_count == 1 && called->parameter_count == 0 &&
      only_blanks(o->base + call->offsets[0], o->current - 1))
    call->argument_count = 0;
  if (!_cpp_check_argument_count(reader, called, call->node, call->argument_count))
    return STEP_OTHER;
  s->context->text_position = s->cur;
  replace_arguments_and_push(reader, call);
  o->current = o->base + call->offset;
  return STEP_NEW_CONTEXT;
}

// "#": at the very start of a line of the input it may begin a directive;
// in a condition it may begin an assertion.
scan_step scan_hash(line_scan *s)
{
  preprocessor_reader *reader = s->reader;
  trad_output *o = &reader->trad_out;
  if (o->current - 1 == o->base && !s->context->previous && !reader->state.in_directive &&
      !s->builtin_argument) {
    s->depth = 0;
    if (!hash_at_line_start(reader, &s->cur)) {
      s->directive = true;
      return STEP_DONE;
    }
  }
  if (reader->state.in_expression) {
    s->state = LS_HASH;
    return STEP_NEXT;
  }
  return STEP_OTHER;
}

scan_step scan_char(line_scan *s, unsigned char c)
{
  switch (c) {
  case ' ': case '\t': case '\f': case '\v': case '\0':
    return STEP_NEXT;
  case '\n':
    return scan_newline(s);
  case '<':
    if (s->header_ok)
      s->quote = '>';
    return STEP_OTHER;
  case '>':
    if (c == s->quote)
      s->quote = 0;
    return STEP_OTHER;
  case '"':
  case '\'':
    if (c == s->quote)
      s->quote = 0;
    else if (!s->quote)
      s->quote = c;
    return STEP_OTHER;
  case '\\':
    if (*s->cur == '\\' || *s->cur == '"' || *s->cur == '\'')
      *s->reader->trad_out.current++ = *s->cur++;
    return STEP_OTHER;
  case '/':
    if (*s->cur != '*' || s->quote)
      return STEP_OTHER;
    s->cur = copy_comment(s->reader, s->cur, s->limit, s->macro != nullptr);
    return STEP_NEXT;
  case '(':
    if (!s->quote)
      scan_open_paren(s);
    return STEP_OTHER;
  case ',':
    if (!s->quote && s->state == LS_FUN_CLOSE && s->depth == 1) {
      trad_output *o = &s->reader->trad_out;
      end_argument(&s->call, uint64_t(o->current - o->base));
    }
    return STEP_OTHER;
  case ')':
    return s->quote ? STEP_OTHER : scan_close_paren(s);
  case '#':
    return scan_hash(s);
  default:
    if (c_isalpha(c) || c == '_')
      return scan_identifier(s);
    return STEP_OTHER;
  }
}

// The scan of one logical line into the output (see the file's comment).
void scan_line(line_scan *s)
{
  preprocessor_reader *reader = s->reader;
  trad_output *o = &reader->trad_out;
  input_buffer *buffer = reader->buffer;
  reader->context->text_position = buffer->cursor;
  reader->context->text_limit = buffer->limit;
  if (!s->builtin_argument) {
    o->current = o->base;
    o->first_line = reader->line_table->line_start_location;
  }
  s->header_ok = reader->state.angled_headers;
  enter_context(s);
  for (;;) {
    buffer = reader->buffer;
    if (!s->context->previous && !s->builtin_argument && !reader->overlaid_buffer &&
        s->cur >= buffer->notes[buffer->current_note].position) {
      buffer->cursor = s->cur;
      _cpp_process_line_notes(reader, false);
    }
    unsigned char c = *s->cur++;
    *o->current++ = c;
    scan_step step = scan_char(s, c);
    if (step == STEP_DONE)
      break;
    if (step == STEP_NEW_CONTEXT) {
      enter_context(s);
      continue;
    }
    if (step == STEP_NEXT)
      continue;
    // Anything but blanks ends the places where '<' opens a header name
    // and the multiple-include optimisation's unbroken test.
    s->header_ok = false;
    if (!reader->state.in_directive)
      reader->mi_valid = false;
    if (s->state == LS_FUN_OPEN || s->state == LS_HASH || s->state == LS_PREDICATE ||
        s->state == LS_DEFINED)
      s->state = LS_NONE;
  }
  release_invocation(reader, &s->call);
  if (s->state == LS_FUN_CLOSE)
    diag_error_at_line(reader, DL_ERROR, s->call.line, 0,
                       "unterminated argument list invoking macro \"%s\"", s->call.node->text);
}

} // namespace

bool _cpp_scan_out_logical_line(preprocessor_reader *reader, macro_def *macro,
                                bool builtin_argument)
{
  line_scan s = {};
  s.reader = reader;
  s.macro = macro;
  s.builtin_argument = builtin_argument;
  scan_line(&s);
  return !s.directive;
}

bool _cpp_read_logical_line_trad(preprocessor_reader *reader)
{
  do {
    if (reader->buffer == nullptr)
      return false;
    if (reader->buffer->need_line && !_cpp_next_line(reader)) {
      buffer_pop(reader);
      return false;
    }
    // Directive tokens of one line are not needed by the next.
    if (!reader->keep_tokens) {
      reader->cur_run = &reader->base_run;
      reader->cur_token = reader->base_run.first;
      reader->lookaheads = 0;
    }
  } while (!_cpp_scan_out_logical_line(reader, nullptr, false) || reader->state.skipping);
  return reader->buffer != nullptr;
}

bool cpp_read_traditional_line(preprocessor_reader *reader, const unsigned char **text,
                               uint64_t *length, location_t *first_line)
{
  if (!_cpp_read_logical_line_trad(reader))
    return false;
  const trad_output *o = &reader->trad_out;
  *text = o->base;
  *length = uint64_t(o->current - o->base);
  *first_line = o->first_line;
  return true;
}

// ---- Overlays ----

void _cpp_overlay_buffer(preprocessor_reader *reader, const unsigned char *text, uint64_t length)
{
  input_buffer *buffer = reader->buffer;
  reader->overlaid_buffer = buffer;
  reader->overlay_saved_cursor = buffer->cursor;
  reader->overlay_saved_limit = buffer->limit;
  reader->overlay_saved_next_line = buffer->next_line;
  reader->overlay_saved_notes = save_line_notes(reader, buffer);
  point_at_made_up_text(reader, buffer, text, length);
}

void _cpp_remove_overlay(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->overlaid_buffer;
  buffer->cursor = reader->overlay_saved_cursor;
  buffer->limit = reader->overlay_saved_limit;
  restore_line_notes(reader, buffer, reader->overlay_saved_notes);
  buffer->line_base = reader->overlay_saved_next_line;
  buffer->need_line = true;
  reader->overlaid_buffer = nullptr;
  reader->forced_token_location = 0;
}

void _cpp_prepare_directive_trad(preprocessor_reader *reader, bool is_define, bool expands,
                                 bool is_condition)
{
  if (!is_define) {
    uint8_t was_skipping = reader->state.skipping;
    reader->state.in_expression = is_condition;
    // A condition's operands are expanded even in a group being skipped.
    if (is_condition)
      reader->state.skipping = 0;
    if (!expands)
      reader->state.prevent_expansion++;
    _cpp_scan_out_logical_line(reader, nullptr, false);
    if (!expands)
      reader->state.prevent_expansion--;
    reader->state.skipping = was_skipping;
    const trad_output *o = &reader->trad_out;
    _cpp_overlay_buffer(reader, o->base, uint64_t(o->current - o->base));
    // The scan has counted the line already: the directive's tokens, and
    // what is reported about them, stay on the directive's line.
    reader->forced_token_location = reader->directive_line;
  }
  // The directive's tokens are the scanned-out text: expanded already.
  reader->state.prevent_expansion++;
}

// ---- Definitions ----

namespace {

// The parameter names after "(" at CUR up to ")"; false after a syntax
// error. *cursor ends past the ")".
bool parse_trad_parameters(preprocessor_reader *reader, uint32_t *count, cursor_t *cursor)
{
  cursor_t cur = skip_whitespace(reader, *cursor + 1, true);
  if (*cur == ')') {
    *cursor = cur + 1;
    return true;
  }
  for (;;) {
    if (!(c_isalpha(*cur) || *cur == '_' ||
          (*cur == '$' && reader->options.dollars_in_identifiers)))
      return false;
    cursor_t start = cur;
    while (is_trad_idchar(reader, *cur))
      cur++;
    ident_node *node =
        cpp_intern(reader, reinterpret_cast<const char *>(start), uint32_t(cur - start));
    if (!_cpp_bind_parameter(reader, *count, node, node))
      return false;
    ++*count;
    cur = skip_whitespace(reader, cur, true);
    if (*cur == ')') {
      *cursor = cur + 1;
      return true;
    }
    if (*cur != ',')
      return false;
    cur = skip_whitespace(reader, cur + 1, true);
  }
}

macro_def *new_trad_macro(preprocessor_reader *reader, uint32_t parameters, bool function_like)
{
  macro_def *macro = _cpp_macro_record_init(reader, MACRO_KIND_TEXT,
                                            _cpp_pool_alloc_aligned(reader, sizeof(macro_def)));
  macro->function_like = function_like;
  macro->parameter_count = uint16_t(parameters);
  if (parameters) {
    macro->parameters = reinterpret_cast<ident_node **>(
        _cpp_pool_alloc_aligned(reader, parameters * sizeof(ident_node *)));
    _cpp_copy_parameter_spellings(reader, parameters, macro->parameters);
  }
  return macro;
}

} // namespace

macro_def *_cpp_create_trad_definition(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  expansion_context *context = reader->context;
  trad_output *o = &reader->trad_out;
  o->current = o->base;
  context->text_position = buffer->cursor;
  context->text_limit = buffer->limit;
  ensure_room(reader, uint64_t(buffer->limit - buffer->cursor));

  uint32_t parameters = 0;
  bool function_like = *buffer->cursor == '(';
  cursor_t cur = buffer->cursor;
  bool ok = !function_like || parse_trad_parameters(reader, &parameters, &cur);
  macro_def *macro = nullptr;
  if (ok)
    macro = new_trad_macro(reader, parameters, function_like);
  else
    diag_error(reader, DL_ERROR, "syntax error in macro parameter list");
  // The line is scanned out even after an error, so that it is used up.
  o->current = o->base;
  buffer = reader->buffer;
  if (ok)
    buffer->cursor = skip_whitespace(reader, cur, reader->options.drop_comments_in_macros);
  reader->state.prevent_expansion++;
  _cpp_scan_out_logical_line(reader, macro, false);
  reader->state.prevent_expansion--;
  _cpp_unbind_parameters(reader, parameters);
  if (macro) {
    while (o->current > o->base && c_isspace(o->current[-1]))
      o->current--;
    save_replacement_text(reader, macro, 0);
  }
  return macro;
}

namespace {

// Appends TEXT with every run of blanks outside quotes made one space;
// *quote carries an open quote from one piece to the next.
unsigned char *canonical_text(unsigned char *out, const unsigned char *text, uint64_t length,
                              unsigned char *quote)
{
  for (uint64_t i = 0; i < length; i++) {
    unsigned char c = text[i];
    if (!*quote && c_isspace(c)) {
      if (i == 0 || !c_isspace(text[i - 1]))
        *out++ = ' ';
      continue;
    }
    if (c == '"' || c == '\'') {
      if (*quote == c)
        *quote = 0;
      else if (!*quote)
        *quote = c;
    }
    *out++ = c;
  }
  return out;
}

bool pieces_differ(unsigned char *scratch, const unsigned char *a, uint64_t a_length,
                   unsigned char *a_quote, const unsigned char *b, uint64_t b_length,
                   unsigned char *b_quote)
{
  unsigned char *a_end = canonical_text(scratch, a, a_length, a_quote);
  unsigned char *b_start = a_end;
  unsigned char *b_end = canonical_text(b_start, b, b_length, b_quote);
  return a_end - scratch != b_end - b_start || memcmp(scratch, b_start, uint64_t(a_end - scratch));
}

} // namespace

bool _cpp_expansions_different_trad(const macro_def *a, const macro_def *b)
{
  unsigned char *scratch =
      static_cast<unsigned char *>(checked_malloc(uint64_t(a->count) + b->count + 1));
  unsigned char a_quote = 0, b_quote = 0;
  bool different = false;
  if (a->parameter_count == 0) {
    different = pieces_differ(scratch, a->text, a->count, &a_quote, b->text, b->count, &b_quote);
  } else {
    const unsigned char *x = a->text, *y = b->text;
    for (;;) {
      uint16_t number = block_parameter(x);
      if (number != block_parameter(y) ||
          pieces_differ(scratch, block_text(x), block_text_length(x), &a_quote, block_text(y),
                        block_text_length(y), &b_quote)) {
        different = true;
        break;
      }
      if (number == 0)
        break;
      x += block_size(block_text_length(x));
      y += block_size(block_text_length(y));
    }
  }
  free(scratch);
  return different;
}

uint64_t _cpp_replacement_text_len(const macro_def *macro)
{
  if (macro->parameter_count == 0)
    return macro->count;
  uint64_t length = 0;
  for (const unsigned char *block = macro->text;; block += block_size(block_text_length(block))) {
    length += block_text_length(block);
    uint16_t number = block_parameter(block);
    if (number == 0)
      return length;
    length += macro->parameters[number - 1]->length;
  }
}

unsigned char *_cpp_copy_replacement_text(const macro_def *macro, unsigned char *destination)
{
  if (macro->parameter_count == 0) {
    memcpy(destination, macro->text, macro->count);
    return destination + macro->count;
  }
  for (const unsigned char *block = macro->text;; block += block_size(block_text_length(block))) {
    uint32_t length = block_text_length(block);
    memcpy(destination, block_text(block), length);
    destination += length;
    uint16_t number = block_parameter(block);
    if (number == 0)
      return destination;
    const ident_node *parameter = macro->parameters[number - 1];
    memcpy(destination, parameter->text, parameter->length);
    destination += parameter->length;
  }
}
