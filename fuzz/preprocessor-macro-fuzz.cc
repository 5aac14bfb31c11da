// Preprocesses arbitrary text: directives, conditionals, macro definition
// and expansion, pasting, stringifying and __VA_OPT__, printing every token
// as the text output does, resolving its virtual location at the tracking
// level the second byte chooses, and looking ahead across a client's
// deferred pragma when that byte asks. Includes are refused (the include depth limit is
// zero) so that inputs never reach the file system; the output is capped so
// that exponential expansions end.
#include "tests/common/fuzz-reader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

enum { MAX_OUTPUT_TOKENS = 200000 };

// Every way of resolving a location ends outside the macro maps.
void check_location(linemap_set *set, location_t location, location_t previous)
{
  static const resolve_target targets[] = {RESOLVE_TO_EXPANSION, RESOLVE_TO_SPELLING,
                                           RESOLVE_TO_DEFINITION};
  for (resolve_target target : targets) {
    location_t resolved = linemap_resolve_location(set, location, target, nullptr);
    if (linemap_is_macro_location(set, resolved))
      abort();
  }
  if (linemap_is_macro_location(set, unwind_to_user_location(set, location, nullptr)) &&
      linemap_in_system_header(set, location))
    abort();
  spelled_in_macro_definition(set, location);
  linemap_compare_locations(set, previous, location);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 2)
    return 0;
  fuzz_reader f;
  preprocessor_reader *reader = fuzz_reader_open(&f, data[0]);
  uint8_t mode = data[1];
  options_of(reader)->max_include_depth = 0;
  options_of(reader)->pedantic_mode = (data[0] >> 7) & 1;
  options_of(reader)->macro_expansion_tracking = uint8_t(mode % 3);
  bool look_ahead = (mode >> 2) & 1;
  register_deferred_pragma(reader, "omp", "parallel", 7, (mode >> 3) & 1, false);
  reader_post_options(reader);
  define_special_builtins(reader);
  buffer_push(reader, data + 2, size - 2, false);
  enter_file_change(reader, LC_ENTER, "fuzz.c", 1, 0);

  unsigned char spelled[64];
  preproc_token previous = {};
  location_t previous_location = 0;
  for (uint32_t count = 0; count < MAX_OUTPUT_TOKENS; count++) {
    if (look_ahead && count % 7 == 0)
      cpp_look_ahead(reader, count % 3);
    location_t location;
    const preproc_token *token = cpp_next_token_with_location(reader, &location);
    if (token->kind == TK_EOF)
      break;
    if (token->kind == TK_PADDING)
      continue;
    check_location(&f.lines, location, previous_location);
    previous_location = location;
    if (cpp_spelling_bound(token) < sizeof spelled)
      cpp_write_token_text(reader, token, spelled, false);
    cpp_needs_space_between(reader, &previous, token);
    previous = *token;
  }
  fuzz_reader_check_macro_texts(reader);
  reader_finish(reader, nullptr);
  fuzz_reader_close(&f);
  return 0;
}
