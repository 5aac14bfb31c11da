// Test-only reads of the preprocessor reader below its client interface.
#include "tests/common/reader-probes.h"

#include "libsprenk/preprocessor-internal.h"

#include <cstring>

const preproc_token *probe_raw_token(preprocessor_reader *reader)
{
  reader->lex_only = true;
  return _cpp_lex_token(reader);
}

bool probe_prepare_line(preprocessor_reader *reader, const unsigned char **text,
                        uint64_t *length)
{
  input_buffer *buffer = reader->buffer;
  if (buffer->next_line >= buffer->limit)
    return false;
  _cpp_prepare_line(reader);
  // A prepared line always ends in a newline: the buffer's sentinel at least.
  const void *end = memchr(buffer->line_base, '\n', SIZE_MAX);
  *text = buffer->line_base;
  *length = uint64_t(static_cast<const unsigned char *>(end) - buffer->line_base);
  return true;
}

uint32_t probe_line_note_count(preprocessor_reader *reader)
{
  return reader->buffer->notes_used;
}

probe_line_note probe_line_note_at(preprocessor_reader *reader, uint32_t index)
{
  const input_buffer *buffer = reader->buffer;
  const line_note &note = buffer->notes[index];
  return {int64_t(note.position - buffer->line_base), note.kind};
}

const preproc_token *probe_scan_token(preprocessor_reader *reader)
{
  return _cpp_scan_token(reader);
}

const preproc_token *probe_directive_name(preprocessor_reader *reader)
{
  reader->state.in_directive = DIRECTIVE_LINE;
  return _cpp_lex_token(reader);
}

bool probe_evaluate_if(preprocessor_reader *reader, bool is_if, expr_value *value)
{
  return _cpp_evaluate_expr(reader, is_if, value);
}

void probe_run_directive(preprocessor_reader *reader, bool indented)
{
  _cpp_backup_tokens(reader, 1);
  reader->state.in_directive = DIRECTIVE_NONE;
  process_directive_line(reader, indented);
}

void probe_leave_directive(preprocessor_reader *reader)
{
  reader->state.in_directive = DIRECTIVE_NONE;
}

void probe_buffer_text(const input_buffer *buffer, const unsigned char **text,
                       const unsigned char **limit)
{
  *text = buffer->text;
  *limit = buffer->limit;
}

bool probe_next_line(preprocessor_reader *reader)
{
  return _cpp_next_line(reader);
}

bool probe_evaluate_line(preprocessor_reader *reader, bool is_if, expr_value *value)
{
  reader->state.in_directive = DIRECTIVE_LINE;
  bool evaluated = _cpp_evaluate_expr(reader, is_if, value);
  reader->state.in_directive = DIRECTIVE_NONE;
  reader->buffer->need_line = true;
  return evaluated;
}

bool probe_remap_file_consistent(FILE *stream, const char *directory)
{
  remap_table *table = _cpp_read_remap_table(stream, directory);
  bool consistent = table->pairs[2 * table->count] == nullptr;
  for (uint64_t i = 0; i < table->count && consistent; i++) {
    const char *from = table->pairs[2 * i];
    const char *to = _cpp_remap_lookup(table, from);
    consistent = to != nullptr && strchr(from, '\n') == nullptr && strchr(to, '\n') == nullptr;
  }
  _cpp_free_remap_table(table);
  return consistent;
}
