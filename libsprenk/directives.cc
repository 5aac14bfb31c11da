// The buffer stack, file changes in the line table, the directives run from
// a client's text, and the reader's accessors. Running directives from
// source lines is not here yet: a line-start "#" reaches the client as a
// token.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

static const char *const directive_names[] = {
    "define", "include", "endif",   "ifdef",  "if",           "else",  "ifndef",
    "undef",  "line",    "elif",    "elifdef", "elifndef",    "error", "pragma",
    "warning", "include_next", "ident", "import", "assert",   "unassert", "sccs",
};

void _cpp_init_directive_names(preprocessor_reader *reader)
{
  uint32_t index = 0;
  for (const char *name : directive_names) {
    ident_node *node = cpp_intern(reader, name, uint32_t(strlen(name)));
    node->is_directive = 1;
    node->index = index++;
  }
}

int _cpp_handle_directive(preprocessor_reader *reader, bool indented)
{
  (void)reader;
  (void)indented;
  return 0;
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
  reader->state.skipping = 0;
  reader->buffer = buffer->previous;
  free(buffer->notes);
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
  if (reason == LC_RENAME_VERBATIM && line == 0 && last && last->first_line == 0 &&
      strcmp(last->file_name, name) == 0 &&
      ordinary_map_line(last, set->line_start_location) == 2) {
    set->top_location = set->line_start_location = last->start;
    return last;
  }
  const ordinary_map *map = linemap_add_ordinary_map(set, reason, system_kind, name, line);
  if (map)
    linemap_start_line(set, map->first_line, 127);
  if (reader->callbacks.file_change)
    reader->callbacks.file_change(reader, map);
  return map;
}

// ---- Directives from client texts ----

// An object-like macro from "NAME VALUE". The definition layer replaces this
// with a real parse of the value into tokens.
void _cpp_define_text_macro(preprocessor_reader *reader, const char *text, uint64_t length)
{
  uint64_t name_length = 0;
  while (name_length < length && text[name_length] != ' ' && text[name_length] != '(')
    name_length++;
  ident_node *node = cpp_intern(reader, text, uint32_t(name_length));
  uint64_t value = name_length < length ? name_length + 1 : length;
  macro_def *macro =
      reinterpret_cast<macro_def *>(_cpp_pool_alloc_aligned(reader, sizeof(macro_def)));
  memset(macro, 0, sizeof *macro);
  macro->kind = MACRO_KIND_TEXT;
  macro->text = _cpp_pool_copy(reader, reinterpret_cast<const unsigned char *>(text + value),
                               length - value);
  macro->count = uint32_t(length - value);
  macro->line = BUILTINS_LOCATION;
  node->kind = IK_MACRO;
  node->value.macro = macro;
  if (reader->callbacks.define)
    reader->callbacks.define(reader, BUILTINS_LOCATION, node);
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

void define_formatted(preprocessor_reader *reader, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  char *text = format_alloc_va(format, args);
  va_end(args);
  define_from_text(reader, text);
  free(text);
}

void undef_from_text(preprocessor_reader *reader, const char *name)
{
  ident_node *node = idtab_find(reader->idents, name, uint32_t(strlen(name)), IDTAB_FIND_ONLY);
  if (node == nullptr || node->kind != IK_MACRO)
    return;
  if (reader->callbacks.undef)
    reader->callbacks.undef(reader, BUILTINS_LOCATION, node);
  node->kind = IK_PLAIN;
  node->value.macro = nullptr;
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
