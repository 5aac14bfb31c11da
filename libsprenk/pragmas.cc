// Pragmas: the #pragma directive, the _Pragma operator, and the library's
// own pragmas (once, push_macro, pop_macro, and in the "VUZ" namespace
// poison, system_header, warning and error). Other pragmas go to the
// client's unknown-pragma callback.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"

#include <cstdlib>
#include <cstring>

struct pushed_macro {
  pushed_macro *next;
  char *name;
  char *definition; // "NAME BODY" text, or null when it was not a macro
  location_t line;
  bool builtin;
  bool used;
};

// The text of a string literal without its prefix and quotes, with \\ and
// \" undone.
static char *destringize(const preproc_token *token)
{
  const unsigned char *text = token->value.str.text;
  uint32_t length = token->value.str.length;
  uint32_t start = 0;
  while (start < length && text[start] != '"')
    start++;
  char *out = static_cast<char *>(checked_malloc(length + 2));
  char *d = out;
  for (uint32_t i = start + 1; i + 1 < length; i++) {
    if (text[i] == '\\' && (text[i + 1] == '\\' || text[i + 1] == '"') && i + 2 < length)
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

// "( string )": the destringized text, or null.
static char *parenthesized_string(preprocessor_reader *reader)
{
  if (next_real(reader)->kind != TK_OPEN_PAREN)
    return nullptr;
  const preproc_token *string = next_real(reader);
  if (!is_string_kind(string->kind))
    return nullptr;
  char *text = destringize(string);
  if (next_real(reader)->kind != TK_CLOSE_PAREN) {
    free(text);
    return nullptr;
  }
  return text;
}

static void pragma_once(preprocessor_reader *reader)
{
  if (reader->buffer->previous == nullptr && reader->options.main_search == 0)
    diag_warning(reader, DR_NONE, "#pragma once in main file");
  _cpp_check_eol(reader);
  input_buffer *buffer = reader->buffer;
  while (buffer && buffer->file == nullptr)
    buffer = buffer->previous;
  if (buffer)
    set_once_only(reader, buffer->file);
}

static void pragma_push_macro(preprocessor_reader *reader)
{
  char *name = parenthesized_string(reader);
  _cpp_skip_rest_of_line(reader);
  if (name == nullptr) {
    diag_error(reader, DL_ERROR, "invalid #pragma push_macro directive");
    return;
  }
  pushed_macro *entry = checked_new_cleared<pushed_macro>();
  entry->name = name;
  ident_node *node = cpp_intern(reader, name, uint32_t(strlen(name)));
  if (node->kind == IK_BUILTIN) {
    entry->builtin = true;
  } else if (node->kind == IK_MACRO) {
    entry->definition =
        checked_strdup(reinterpret_cast<const char *>(cpp_macro_text(reader, node)));
    entry->line = node->value.macro->line;
    entry->used = node->value.macro->used;
  }
  entry->next = reader->pushed_macros;
  reader->pushed_macros = entry;
}

static void pragma_pop_macro(preprocessor_reader *reader)
{
  char *name = parenthesized_string(reader);
  _cpp_skip_rest_of_line(reader);
  if (name == nullptr) {
    diag_error(reader, DL_ERROR, "invalid #pragma pop_macro directive");
    return;
  }
  pushed_macro **link = &reader->pushed_macros;
  while (*link && strcmp((*link)->name, name) != 0)
    link = &(*link)->next;
  free(name);
  pushed_macro *entry = *link;
  if (entry == nullptr)
    return;
  *link = entry->next;
  ident_node *node = cpp_intern(reader, entry->name, uint32_t(strlen(entry->name)));
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
    location_t saved = reader->directive_line;
    _cpp_run_directive_text(reader, 0, entry->definition, strlen(entry->definition));
    reader->directive_line = saved;
    if (node->kind == IK_MACRO) {
      node->value.macro->line = entry->line;
      node->value.macro->used = entry->used;
    }
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
  if (reader->buffer->previous == nullptr && reader->options.main_search == 0) {
    diag_warning(reader, DR_NONE, "#pragma system_header ignored outside include file");
    return;
  }
  _cpp_check_eol(reader);
  _cpp_skip_rest_of_line(reader);
  reader->buffer->system_kind = 1;
  const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
  enter_file_change(reader, LC_RENAME, map->file_name,
                    ordinary_map_line(map, reader->line_table->line_start_location) + 1, 1);
}

static void pragma_message(preprocessor_reader *reader, bool error)
{
  const preproc_token *token = _cpp_lex_token(reader);
  char *text = token->kind == TK_STRING ? destringize(token) : nullptr;
  if (text == nullptr || text[0] == '\0') {
    diag_error(reader, DL_ERROR, "invalid \"#pragma VUZ %s\" directive", error ? "error" : "warning");
  } else if (error) {
    diag_error(reader, DL_ERROR, "%s", text);
  } else {
    diag_warning(reader, DR_NONE, "%s", text);
  }
  free(text);
}

// The library's pragmas by name: 1 when one ran.
static bool run_own_pragma(preprocessor_reader *reader, const preproc_token *first)
{
  if (cpp_token_is_name(first, "once"))
    pragma_once(reader);
  else if (cpp_token_is_name(first, "push_macro"))
    pragma_push_macro(reader);
  else if (cpp_token_is_name(first, "pop_macro"))
    pragma_pop_macro(reader);
  else
    return false;
  return true;
}

static bool run_vuz_pragma(preprocessor_reader *reader, const preproc_token *second)
{
  if (cpp_token_is_name(second, "poison"))
    pragma_poison(reader);
  else if (cpp_token_is_name(second, "system_header"))
    pragma_system_header(reader);
  else if (cpp_token_is_name(second, "warning"))
    pragma_message(reader, false);
  else if (cpp_token_is_name(second, "error"))
    pragma_message(reader, true);
  else
    return false;
  return true;
}

void _cpp_do_pragma(preprocessor_reader *reader)
{
  reader->state.prevent_expansion++;
  const preproc_token *first = _cpp_lex_token(reader);
  uint32_t read = 1;
  bool ran = first->kind == TK_NAME && run_own_pragma(reader, first);
  if (!ran && cpp_token_is_name(first, "VUZ")) {
    const preproc_token *second = _cpp_lex_token(reader);
    read = 2;
    ran = second->kind == TK_NAME && run_vuz_pragma(reader, second);
  }
  if (!ran && reader->callbacks.unknown_pragma) {
    _cpp_backup_tokens(reader, read);
    reader->callbacks.unknown_pragma(reader, reader->directive_line);
  }
  reader->state.prevent_expansion--;
}

bool _cpp_do_pragma_operator(preprocessor_reader *reader, location_t location)
{
  (void)location;
  char *text = parenthesized_string(reader);
  if (text == nullptr) {
    diag_error(reader, DL_ERROR, "_Pragma takes a parenthesized string literal");
    return false;
  }
  _cpp_run_directive_text(reader, D_PRAGMA_INDEX, text, strlen(text));
  free(text);
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
