// Source quoting under random input: random file bytes read through the file
// cache, a line table over them, and a location record with random carets,
// ranges, labels and fix-it hints, quoted under random display settings and
// every escape policy; the hints then go through an edit context.
#include "diagnostics/diagnostic.h"
#include "diagnostics/edit-context.h"
#include "diagnostics/source-quoting.h"
#include "fuzz/fuzz-input.h"
#include "fuzz/scratch.h"
#include "tests/locations/line-map-fixture.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

struct fuzz_label : range_label {
  std::string text;
  bool owned;
  label_string get_text(uint32_t) const override
  {
    if (text.empty())
      return {nullptr, false};
    if (owned)
      return {strdup(text.c_str()), true};
    return {const_cast<char *>(text.c_str()), false};
  }
};

// The file of one input, removed again once it has been quoted.
const std::string &scratch_path()
{
  static const std::string path = fuzz_scratch_name("vuz-quoting-fuzz-", ".c");
  return path;
}

uint32_t count_lines(const std::string &text)
{
  uint32_t lines = 1;
  for (char c : text)
    lines += c == '\n';
  return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  fuzz_input in = {data, size};
  diagnostic_state *context = &global_diagnostic_state;
  if (!context->printer)
    diagnostic_state_init(context, 0);
  uint8_t flags = in.byte();
  context->show_caret = true;
  context->show_line_numbers = flags & 1;
  context->show_labels = flags & 2;
  context->color_source = flags & 4;
  context->printer->show_color = flags & 8;
  context->escape_format = (flags >> 6) & 1;
  bool escape = flags & 0x80;
  context->tab_stop = 1 + in.byte() % 12;
  uint8_t width = in.byte();
  context->caret_line_width = width < 8 ? INT32_MAX : width;
  // A ruler runs to the caret line's width, so only a finite one.
  context->column_ruler = (flags & 0x30) == 0x30 && width >= 8;
  context->minimum_margin_width = in.byte() % 8;
  uint8_t ranges = in.byte() % 6;
  uint8_t hints = in.byte() % 5;
  std::string labels[6];
  for (std::string &label : labels)
    label = in.text(12);

  // The rest of the input is the file; the record's numbers come from its
  // first bytes as well as from what follows the choices above.
  std::string file(reinterpret_cast<const char *>(in.data), in.size);
  FILE *f = fopen(scratch_path().c_str(), "wb");
  if (!f)
    return 0;
  fwrite(file.data(), 1, file.size(), f);
  fclose(f);

  // The file, a header it includes (whose text cannot be read) and a macro
  // expansion whose tokens are spelled in the file.
  test_line_table table;
  line_table = table.get();
  linemap_add_ordinary_map(table.get(), LC_ENTER, 0, scratch_path().c_str(), 1);
  uint32_t lines = count_lines(file) + 1;
  for (uint32_t line = 1; line <= lines; line++)
    linemap_start_line(table.get(), line, 300);
  auto file_at = [&](uint32_t index, uint32_t line_count) {
    uint32_t line = 1 + in.byte() % line_count;
    return linemap_line_column_location(table.get(), &table->ordinary_maps[index], line,
                                        in.byte() % 200);
  };
  linemap_line_column_location(table.get(), &table->ordinary_maps[0], lines, 299);
  linemap_add_ordinary_map(table.get(), LC_ENTER, 0, "no-such-header.h", 1);
  uint32_t header = table->ordinary_used - 1;
  linemap_start_line(table.get(), 1, 300);
  linemap_start_line(table.get(), 2, 300);
  linemap_line_column_location(table.get(), &table->ordinary_maps[header], 2, 299);
  linemap_add_ordinary_map(table.get(), LC_LEAVE, 0, nullptr, 0);
  linemap_start_line(table.get(), lines, 300);
  test_macro_node node = {"M"};
  enum { MACRO_TOKENS = 4 };
  macro_map *macro =
      linemap_add_macro_map(table.get(), node.node(), file_at(0, lines), MACRO_TOKENS);
  location_t tokens[MACRO_TOKENS];
  for (uint32_t i = 0; i < MACRO_TOKENS; i++) {
    location_t spelling = file_at(0, lines);
    location_t definition = in.byte() % 2 ? spelling : file_at(0, lines);
    tokens[i] = macro_map_set_token(macro, i, spelling, definition);
  }
  auto at = [&]() -> location_t {
    uint8_t where = in.byte() % 16;
    if (where == 0)
      return file_at(header, 2);
    if (where == 1)
      return tokens[in.byte() % MACRO_TOKENS];
    return file_at(0, lines);
  };

  located_ranges record;
  fuzz_label owned_labels[6];
  located_ranges_init(&record, line_table, location_make(at(), at(), at()), nullptr);
  record.escape_output = escape;
  for (uint8_t i = 0; i < ranges; i++) {
    owned_labels[i].text = labels[i];
    owned_labels[i].owned = i % 2;
    location_t caret = at();
    location_t where = in.byte() % 2 ? location_make(caret, at(), at()) : caret;
    located_ranges_add_range(&record, where, range_display_kind(in.byte() % 3),
                             labels[i].empty() && i % 3 == 0 ? nullptr : &owned_labels[i]);
  }
  for (uint8_t i = 0; i < hints; i++) {
    std::string text = in.text(6);
    switch (in.byte() % 5) {
    case 0:
      fixit_insert_before_at(&record, at(), text.c_str());
      break;
    case 1:
      fixit_insert_after_at(&record, at(), text.c_str());
      break;
    case 2:
      fixit_replace_range(&record, {at(), at()}, text.c_str());
      break;
    case 3:
      fixit_remove_range(&record, {at(), at()});
      break;
    default:
      fixit_insert_before_at(&record,
                             linemap_line_column_location(table.get(), &table->ordinary_maps[0],
                                                          1 + in.byte() % lines, 1),
                             (text + "\n").c_str());
    }
  }
  context->last_quoted_location = 0;
  diagnostic_show_locus(context, &record, in.byte() % 2 ? DK_ERROR : DK_DIAGNOSTIC_PATH);
  pp_clear_text(context->printer);
  // The same hints through an edit context: applied or refused, never a
  // failed check.
  edit_context *edits = edit_context_create();
  edit_context_take_fixits(edits, &record);
  free(edit_context_diff_text(edits, true));
  free(edit_context_file_content(edits, scratch_path().c_str()));
  edit_context_destroy(edits);
  located_ranges_fini(&record);
  diagnostics_file_cache_forcibly_evict_file(scratch_path().c_str());
  unlink(scratch_path().c_str());
  line_table = nullptr;
  return 0;
}
