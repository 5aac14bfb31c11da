// Directives-only processing of arbitrary text in every dialect, with and
// without modules: the character scan, its backwards quote classifier, the
// directives it runs and the module control lines it hands on as tokens. Includes are refused (the include depth limit is zero) so that
// inputs never reach the file system. Every stretch handed out must lie
// inside the input buffer.
#include "tests/common/fuzz-reader.h"
#include "tests/common/reader-probes.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct handed_out {
  const input_buffer *buffer;
  const unsigned char *text;
  const unsigned char *limit;
  uint64_t bytes;
};

void check_stretch(preprocessor_reader *reader, dironly_task task, void *data,
                   const dironly_event &event)
{
  handed_out *out = static_cast<handed_out *>(data);
  if (task != DIRONLY_TEXT || cpp_top_buffer(reader) != out->buffer)
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
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, data[0]);
  options_of(reader)->max_include_depth = 0;
  options_of(reader)->directives_only = 1;
  options_of(reader)->module_support = (data[0] >> 7) & 1;
  reader_post_options(reader);
  define_special_builtins(reader);
  input_buffer *buffer = buffer_push(reader, data + 1, size - 1, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);
  handed_out out = {buffer, nullptr, nullptr, 0};
  probe_buffer_text(buffer, &out.text, &out.limit);
  cpp_directive_only_process(reader, &out, check_stretch);
  if (out.bytes > size)
    abort();
  reader_finish(reader, nullptr);
  fuzz_reader_close(&f);
  return 0;
}
