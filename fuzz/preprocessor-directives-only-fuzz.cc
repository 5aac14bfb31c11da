// Directives-only processing of arbitrary text in every dialect, with and
// without modules: the character scan, its backwards quote classifier, the
// directives it runs and the module control lines it hands on as tokens. Includes are refused (the include depth limit is zero) so that
// inputs never reach the file system. Every stretch handed out must lie
// inside the input buffer.
#include "libsprenk/preprocessor-internal.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool ignore_report(preprocessor_reader *, int, int, located_ranges *, const char *, va_list *)
{
  return true;
}

struct handed_out {
  const unsigned char *text;
  const unsigned char *limit;
  uint64_t bytes;
};

void check_stretch(preprocessor_reader *reader, dironly_task task, void *data,
                   const dironly_event &event)
{
  handed_out *out = static_cast<handed_out *>(data);
  if (task != DIRONLY_TEXT || reader->buffer->text != out->text)
    return;
  // The newline at the limit may close the last stretch.
  if (event.text < out->text || event.text + event.length > out->limit + 1)
    abort();
  out->bytes += event.length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 1)
    return 0;
  linemap_set lines;
  linemap_set_init(&lines, BUILTINS_LOCATION);
  lines.packed_range_bits = 5;
  preprocessor_reader *reader =
      reader_create(source_dialect(data[0] % DIALECT_COUNT), nullptr, &lines);
  options_of(reader)->max_include_depth = 0;
  options_of(reader)->directives_only = 1;
  options_of(reader)->module_support = (data[0] >> 7) & 1;
  callbacks_of(reader)->diagnostic = ignore_report;
  reader_post_options(reader);
  define_special_builtins(reader);
  input_buffer *buffer = buffer_push(reader, data + 1, size - 1, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);
  handed_out out = {buffer->text, buffer->limit, 0};
  cpp_directive_only_process(reader, &out, check_stretch);
  if (out.bytes > size)
    abort();
  reader_finish(reader, nullptr);
  reader_destroy(reader);
  free(lines.ordinary_maps);
  free(lines.macro_maps);
  free(lines.adhoc_entries);
  adhoc_index_free(&lines);
  return 0;
}
