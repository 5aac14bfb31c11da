// Pragmas: the table of registered pragmas (run at once, or handed to the
// client as a PRAGMA token and the pragma's tokens), the #pragma directive,
// the _Pragma operator, and the library's own pragmas (once, push_macro,
// pop_macro, and in the "VUZ" namespace poison, system_header, dependency,
// warning and error). Other pragmas go to the unknown-pragma callback.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

struct pragma_node {
  pragma_node *next;
  ident_node *name;
  bool is_namespace;
  bool is_internal;
  bool is_deferred;
  bool allow_expansion;
  union {
    pragma_handler handler;
    pragma_node *space;
    uint32_t ident;
  } u;
};

struct pushed_macro {
  pushed_macro *next;
  char *name;
  char *definition; // "NAME BODY" text, or null when it was not a macro
  location_t line;
  bool builtin;
  bool used;
  bool system_header;
};

// The text of a string literal without a leading L and its quotes, with \\
// and \" undone. Only L is a prefix here: of any other, the first character
// is taken for the opening quote and the rest stays in the text.
static char *destringize(const preproc_token *token)
{
  const unsigned char *text = token->value.str.text;
  uint32_t length = token->value.str.length;
  uint32_t start = length && text[0] == 'L' ? 2 : 1;
  uint32_t end = length ? length - 1 : 0;
  char *out = static_cast<char *>(checked_malloc(length + 2));
  char *d = out;
  for (uint32_t i = start; i < end; i++) {
    if (text[i] == '\\' && i + 1 < end && (text[i + 1] == '\\' || text[i + 1] == '"'))
      i++;
    *d++ = char(text[i]);
  }
  *d = '\0';
  return out;
}

static bool is_string_kind(int kind)
{
  return kind >= TK_STRING && kind <= TK_UTF8STRING;
}

static const preproc_token *next_real(preprocessor_reader *reader)
{
  const preproc_token *token;
  do
    token = cpp_next_token(reader);
  while (token->kind == TK_PADDING);
  return token;
}

// The next token, where an EOF is only looked at, never consumed: the
// reader's caller must still see the end of the input.
static const preproc_token *peek_or_next(preprocessor_reader *reader)
{
  const preproc_token *token = next_real(reader);
  if (token->kind == TK_EOF)
    _cpp_backup_expanded(reader, token);
  return token;
}

// The next token, whose location *LAST takes: a malformed operand is
// reported where reading it stopped.
static const preproc_token *next_noting(preprocessor_reader *reader, location_t *last)
{
  const preproc_token *token = peek_or_next(reader);
  *last = token->location;
  return token;
}

// "( string )": the destringized text, or null; *LAST is the location of
// the last token read.
static char *parenthesized_string(preprocessor_reader *reader, location_t *last)
{
  if (next_noting(reader, last)->kind != TK_OPEN_PAREN)
    return nullptr;
  const preproc_token *string = next_noting(reader, last);
  if (!is_string_kind(string->kind))
    return nullptr;
  char *text = destringize(string);
  if (next_noting(reader, last)->kind != TK_CLOSE_PAREN) {
    free(text);
    return nullptr;
  }
  return text;
}

static bool in_main_file(preprocessor_reader *reader)
{
  input_buffer *buffer = current_file_buffer(reader);
  return buffer && buffer->file == reader->main_file && reader->options.main_search == 0;
}

static void pragma_once(preprocessor_reader *reader)
{
  if (in_main_file(reader))
    diag_warning(reader, DR_NONE, "#pragma once in main file");
  _cpp_check_eol(reader);
  input_buffer *buffer = current_file_buffer(reader);
  if (buffer)
    set_once_only(reader, buffer->file);
}

// The operand of push_macro (PUSH) or pop_macro; the rest of the line is
// skipped either way.
static char *macro_stack_operand(preprocessor_reader *reader, bool push)
{
  location_t last;
  char *name = parenthesized_string(reader, &last);
  if (name == nullptr && push)
    diag_error_at_location(reader, DL_ERROR, last, "invalid #pragma push_macro directive");
  else if (name == nullptr)
    diag_error_at_location(reader, DL_ERROR, last, "invalid #pragma pop_macro directive");
  _cpp_skip_rest_of_line(reader);
  return name;
}

static void pragma_push_macro(preprocessor_reader *reader)
{
  char *name = macro_stack_operand(reader, true);
  if (name == nullptr)
    return;
  pushed_macro *entry = checked_new_cleared<pushed_macro>();
  entry->name = name;
  ident_node *node = _cpp_intern_identifier_text(reader, name);
  if (node->kind == IK_BUILTIN) {
    entry->builtin = true;
  } else if (const unsigned char *text = cpp_macro_text(reader, node)) {
    entry->definition = checked_strdup(reinterpret_cast<const char *>(text));
    entry->line = node->value.macro->line;
    entry->used = node->value.macro->used;
    entry->system_header = node->value.macro->system_header;
  }
  entry->next = reader->pushed_macros;
  reader->pushed_macros = entry;
  reader->macro_stack_changes++;
}

// A restored definition, not a new one: the client heard of the change
// and hears of no #define. The text was made from a valid definition, so
// it cannot fail to define.
static void restore_definition(preprocessor_reader *reader, ident_node *node,
                               const pushed_macro *entry)
{
  const char *body = entry->definition + strcspn(entry->definition, "( \n");
  buffer_push(reader, reinterpret_cast<const unsigned char *>(body), strlen(body), true);
  _cpp_prepare_line(reader);
  bool defined = _cpp_define_macro(reader, node);
  vuz_assert_as(defined, "libsprenk/directives", "cpp_pop_definition");
  buffer_pop(reader);
  node->value.macro->line = entry->line;
  node->value.macro->used = entry->used;
  node->value.macro->system_header = entry->system_header;
}

static void pragma_pop_macro(preprocessor_reader *reader)
{
  char *name = macro_stack_operand(reader, false);
  if (name == nullptr)
    return;
  pushed_macro **link = &reader->pushed_macros;
  while (*link && strcmp((*link)->name, name) != 0)
    link = &(*link)->next;
  free(name);
  pushed_macro *entry = *link;
  if (entry == nullptr)
    return;
  *link = entry->next;
  reader->macro_stack_changes++;
  ident_node *node = _cpp_intern_identifier_text(reader, entry->name);
  if (reader->callbacks.before_define)
    reader->callbacks.before_define(reader);
  if (ident_is_macro(node)) {
    if (reader->callbacks.undef)
      reader->callbacks.undef(reader, reader->directive_line, node);
    if (reader->options.warn_unused_macro)
      _cpp_report_unused_macro(reader, node, nullptr);
    _cpp_forget_macro(node);
  }
  if (entry->builtin) {
    reenter_builtin_row(reader, entry->name);
  } else if (entry->definition) {
    restore_definition(reader, node, entry);
  }
  free(entry->name);
  free(entry->definition);
  free(entry);
}

static void pragma_poison(preprocessor_reader *reader)
{
  reader->state.poisoned_ok = 1;
  for (;;) {
    const preproc_token *token = _cpp_lex_token(reader);
    if (token->kind == TK_EOF)
      break;
    if (token->kind != TK_NAME) {
      diag_error(reader, DL_ERROR, "invalid #pragma VUZ poison directive");
      break;
    }
    ident_node *node = token->value.ident.node;
    if (node->flags & IDF_POISONED)
      continue;
    if (ident_is_macro(node))
      diag_warning(reader, DR_NONE, "poisoning existing macro \"%s\"", node->text);
    _cpp_forget_macro(node);
    node->flags |= IDF_POISONED | IDF_CHECK_ON_LEX;
  }
  reader->state.poisoned_ok = 0;
}

static void pragma_system_header(preprocessor_reader *reader)
{
  if (in_main_file(reader)) {
    diag_warning(reader, DR_NONE, "#pragma system_header ignored outside include file");
    return;
  }
  _cpp_check_eol(reader);
  _cpp_skip_rest_of_line(reader);
  mark_system_header(reader, true, false);
}

// The string's bytes with its escapes interpreted, as written in the
// source's character set; null after an error.
static char *untranslated_text(preprocessor_reader *reader, const preproc_token *token)
{
  byte_string in = {token->value.str.length, token->value.str.text}, out;
  if (!interpret_string_untranslated(reader, &in, 1, &out))
    return nullptr;
  return reinterpret_cast<char *>(const_cast<unsigned char *>(out.text));
}

static void pragma_message(preprocessor_reader *reader, bool error)
{
  const preproc_token *token = _cpp_lex_token(reader);
  char *text = token->kind == TK_STRING ? untranslated_text(reader, token) : nullptr;
  if (text == nullptr || text[0] == '\0') {
    diag_error(reader, DL_ERROR, "invalid \"#pragma VUZ %s\" directive", error ? "error" : "warning");
  } else if (error) {
    diag_error(reader, DL_ERROR, "%s", text);
  } else {
    diag_warning(reader, DR_NONE, "%s", text);
  }
  free(text);
}

static void pragma_warning(preprocessor_reader *reader)
{
  pragma_message(reader, false);
}

static void pragma_error(preprocessor_reader *reader)
{
  pragma_message(reader, true);
}

// A header named on the line that is newer than the current file is
// reported, with the rest of the line as the reason.
static void pragma_dependency(preprocessor_reader *reader)
{
  bool angled = false;
  location_t location;
  char *name = _cpp_parse_header_name(reader, "pragma dependency", &angled, &location);
  if (name == nullptr)
    return;
  int newer = header_newer_than_current(reader, name, angled);
  if (newer < 0) {
    diag_warning(reader, DR_NONE, "cannot find source file %s", name);
  } else if (newer > 0) {
    diag_warning(reader, DR_NONE, "current file is older than %s", name);
    // The reason stands where its first token does.
    const preproc_token *first = next_real(reader);
    location_t first_location = first->location;
    _cpp_backup_expanded(reader, first);
    char *rest = cpp_rest_of_line_text(reader, nullptr);
    if (rest[0])
      diag_warning_at_line(reader, DR_NONE, first_location, 0, "%s", rest);
    free(rest);
  }
  free(name);
}

// ---- The table ----

static pragma_node *lookup_pragma(pragma_node *list, const ident_node *name)
{
  while (list && list->name != name)
    list = list->next;
  return list;
}

static pragma_node *new_entry(preprocessor_reader *reader, pragma_node **list,
                               const char *name)
{
  pragma_node *entry =
      reinterpret_cast<pragma_node *>(_cpp_pool_alloc_aligned(reader, sizeof(pragma_node)));
  memset(entry, 0, sizeof *entry);
  entry->name = cpp_intern(reader, name, uint32_t(strlen(name)));
  entry->next = *list;
  *list = entry;
  return entry;
}

// Both walks below visit the entries in one order, depth first: a
// namespace's own entries before the namespace.
static uint64_t count_pragma_names(const pragma_node *list)
{
  uint64_t count = 0;
  for (; list; list = list->next)
    count += 1 + (list->is_namespace ? count_pragma_names(list->u.space) : 0);
  return count;
}

static void copy_names_of(const pragma_node *list, char **names, uint64_t *used)
{
  for (; list; list = list->next) {
    if (list->is_namespace)
      copy_names_of(list->u.space, names, used);
    names[(*used)++] = checked_strdup(list->name->text);
  }
}

char **copy_pragma_names(preprocessor_reader *reader)
{
  uint64_t used = 0;
  char **names = checked_new_array<char *>(count_pragma_names(reader->pragmas) + 1);
  copy_names_of(reader->pragmas, names, &used);
  names[used] = nullptr;
  return names;
}

static void relookup_names_of(preprocessor_reader *reader, pragma_node *list, char **names,
                              uint64_t *used)
{
  for (; list; list = list->next) {
    if (list->is_namespace)
      relookup_names_of(reader, list->u.space, names, used);
    char *name = names[(*used)++];
    list->name = cpp_intern(reader, name, uint32_t(strlen(name)));
    free(name);
  }
}

void relookup_pragma_names(preprocessor_reader *reader, char **names)
{
  uint64_t used = 0;
  relookup_names_of(reader, reader->pragmas, names, &used);
  free(names);
}

// A new entry in the namespace's list (or the top level); null after the
// internal error that a clash is.
static pragma_node *register_entry(preprocessor_reader *reader, const char *space,
                                    const char *name, bool allow_name_expansion)
{
  pragma_node **list = &reader->pragmas;
  if (space) {
    pragma_node *entry = lookup_pragma(reader->pragmas, cpp_intern(reader, space, uint32_t(strlen(space))));
    if (entry && !entry->is_namespace) {
      diag_error(reader, DL_ICE, "registering \"%s\" as both a pragma and a pragma namespace",
                 space);
      return nullptr;
    }
    if (entry && entry->allow_expansion != allow_name_expansion) {
      diag_error(reader, DL_ICE,
                 "registering pragmas in namespace \"%s\" with mismatched name expansion", space);
      return nullptr;
    }
    if (entry == nullptr) {
      entry = new_entry(reader, &reader->pragmas, space);
      entry->is_namespace = true;
      entry->allow_expansion = allow_name_expansion;
    }
    list = &entry->u.space;
  } else if (allow_name_expansion) {
    diag_error(reader, DL_ICE, "registering pragma \"%s\" with name expansion and no namespace",
               name);
    return nullptr;
  }
  pragma_node *old = lookup_pragma(*list, cpp_intern(reader, name, uint32_t(strlen(name))));
  if (old) {
    if (old->is_namespace)
      diag_error(reader, DL_ICE, "registering \"%s\" as both a pragma and a pragma namespace",
                 name);
    else if (space)
      diag_error(reader, DL_ICE, "#pragma %s %s is already registered", space, name);
    else
      diag_error(reader, DL_ICE, "#pragma %s is already registered", name);
    return nullptr;
  }
  return new_entry(reader, list, name);
}

bool register_pragma(preprocessor_reader *reader, const char *space, const char *name,
                     pragma_handler handler, bool allow_expansion)
{
  if (handler == nullptr) {
    diag_error(reader, DL_ICE, "registering pragma with NULL handler");
    return false;
  }
  pragma_node *entry = register_entry(reader, space, name, false);
  if (entry == nullptr)
    return false;
  entry->u.handler = handler;
  entry->allow_expansion = allow_expansion;
  return true;
}

bool register_deferred_pragma(preprocessor_reader *reader, const char *space, const char *name,
                              uint32_t ident, bool allow_expansion, bool allow_name_expansion)
{
  pragma_node *entry = register_entry(reader, space, name, allow_name_expansion);
  if (entry == nullptr)
    return false;
  entry->is_deferred = true;
  entry->u.ident = ident;
  entry->allow_expansion = allow_expansion;
  return true;
}

static void register_internal(preprocessor_reader *reader, const char *space, const char *name,
                              pragma_handler handler)
{
  pragma_node *entry = register_entry(reader, space, name, false);
  if (entry) {
    entry->u.handler = handler;
    entry->is_internal = true;
  }
}

void register_internal_pragmas(preprocessor_reader *reader)
{
  register_internal(reader, nullptr, "once", pragma_once);
  register_internal(reader, nullptr, "push_macro", pragma_push_macro);
  register_internal(reader, nullptr, "pop_macro", pragma_pop_macro);
  register_internal(reader, "VUZ", "poison", pragma_poison);
  register_internal(reader, "VUZ", "system_header", pragma_system_header);
  register_internal(reader, "VUZ", "dependency", pragma_dependency);
  register_internal(reader, "VUZ", "warning", pragma_warning);
  register_internal(reader, "VUZ", "error", pragma_error);
}

// ---- The directive ----

void directive_pragma(preprocessor_reader *reader)
{
  reader->state.prevent_expansion++;
  const preproc_token *first = _cpp_lex_token(reader);
  const preproc_token *name = first;
  uint32_t read = 1;
  pragma_node *entry = first->kind == TK_NAME && reader->pragmas
                            ? lookup_pragma(reader->pragmas, first->value.ident.node)
                            : nullptr;
  if (entry && entry->is_namespace) {
    bool expand = entry->allow_expansion;
    if (expand)
      reader->state.prevent_expansion--;
    name = cpp_next_token(reader);
    while (name->kind == TK_PADDING)
      name = cpp_next_token(reader);
    if (expand)
      reader->state.prevent_expansion++;
    read = 2;
    entry = name->kind == TK_NAME ? lookup_pragma(entry->u.space, name->value.ident.node) : nullptr;
  }
  if (entry == nullptr) {
    if (reader->callbacks.unknown_pragma) {
      // A name from a macro is given back with the namespace as read.
      const preproc_token *both[2] = {first, name};
      if (read == 2 && reader->context->previous) {
        _cpp_push_no_expand_copies(reader, both, 2);
      } else {
        if (read == 2)
          _cpp_backup_expanded(reader, name);
        _cpp_backup_expanded(reader, first);
      }
      reader->callbacks.unknown_pragma(reader, reader->directive_line);
    }
  } else if (entry->is_deferred) {
    preproc_token *result = &reader->directive_result;
    result->kind = TK_PRAGMA;
    result->location = name->location;
    result->flags = first->flags;
    result->value.pragma_id = entry->u.ident;
    reader->state.in_deferred_pragma = 1;
    reader->state.pragma_allow_expansion = entry->allow_expansion;
    // The tokeniser lowers it again at the end of the pragma's line.
    if (!entry->allow_expansion)
      reader->state.prevent_expansion++;
  } else {
    if (reader->callbacks.line_change)
      reader->callbacks.line_change(reader, first, ARGS_NONE);
    if (entry->allow_expansion)
      reader->state.prevent_expansion--;
    entry->u.handler(reader);
    if (entry->allow_expansion)
      reader->state.prevent_expansion++;
  }
  reader->state.prevent_expansion--;
}

// The tokens a _Pragma gives are read next, from a context of their own
// whose copy is released with it.
static void push_pragma_tokens(preprocessor_reader *reader, const preproc_token *tokens,
                               uint32_t count)
{
  scratch_buffer *block = _cpp_scratch_take(reader, (uint64_t(count) + 1) * sizeof(preproc_token));
  preproc_token *copy = reinterpret_cast<preproc_token *>(
      (reinterpret_cast<uintptr_t>(block->base) + 7) & ~uintptr_t(7));
  memcpy(copy, tokens, count * sizeof(preproc_token));
  _cpp_push_tokens(reader, nullptr, copy, count);
  reader->context->scratch = block;
}

bool do_pragma_operator(preprocessor_reader *reader, location_t location)
{
  location_t last;
  char *text = parenthesized_string(reader, &last);
  if (text == nullptr) {
    diag_error(reader, DL_ERROR, "_Pragma takes a parenthesized string literal");
    return false;
  }
  // The line of output goes on after the closing parenthesis; inside a
  // macro, at the macro's expansion in the file.
  preproc_token closing = *reader->last_token;
  if (reader->context->previous)
    closing.location = linemap_resolve_location(reader->line_table, location,
                                                RESOLVE_TO_EXPANSION, nullptr);
  pragma_tokens collected = {};
  run_directive_text(reader, D_PRAGMA, text, strlen(text), &collected);
  free(text);
  if (collected.count == 0) {
    // The pragma ran (or went to the client): the text after it starts a
    // new line of output.
    if (reader->callbacks.line_change)
      reader->callbacks.line_change(reader, &closing, ARGS_NONE);
    push_pragma_tokens(reader, &reader->padding_token, 1);
    return true;
  }
  // Spelled where the operator was expanded, and never expanded again.
  collected.tokens[0].flags |= TOK_FROM_PRAGMA_OPERATOR;
  for (uint32_t i = 0; i < collected.count; i++) {
    collected.tokens[i].location = location;
    collected.tokens[i].flags |= TOK_NO_EXPAND;
  }
  push_pragma_tokens(reader, collected.tokens, collected.count);
  free(collected.tokens);
  return true;
}

void _cpp_free_pushed_macros(preprocessor_reader *reader)
{
  for (pushed_macro *entry = reader->pushed_macros, *next; entry; entry = next) {
    next = entry->next;
    free(entry->name);
    free(entry->definition);
    free(entry);
  }
  reader->pushed_macros = nullptr;
}
