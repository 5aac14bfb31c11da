// A fixture for tests that quote real source files: it writes files into a
// scratch directory, maps their lines in a line table of its own, and runs the
// global diagnostic context with the caret shown and output kept in memory.
#ifndef VUZ_TESTS_DIAGNOSTICS_QUOTING_FIXTURE_H
#define VUZ_TESTS_DIAGNOSTICS_QUOTING_FIXTURE_H

#include "diagnostics/diagnostic.h"
#include "diagnostics/source-quoting.h"
#include "tests/common/temp-dir.h"
#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <deque>
#include <string>

// A file's map in the fixture's table, by index: adding maps may move them.
struct file_map {
  uint32_t index;
};

struct quoting_fixture : testing::Test {
  TempDir dir;
  test_line_table table;
  diagnostic_state *context = &global_diagnostic_state;

  quoting_fixture()
  {
    line_table = table.get();
    diagnostic_state_init(context, 0);
    context->show_caret = true;
    context->caret_line_width = INT_MAX;
  }
  ~quoting_fixture() override
  {
    diagnostic_state_finish(context);
    line_table = nullptr;
  }

  // Writes a file and maps `lines` lines of it; returns its map.
  file_map source(const std::string &name, const std::string &bytes, uint32_t lines,
                             std::string *path_out = nullptr)
  {
    std::string path = dir / name;
    FILE *f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    paths.push_back(path);
    linemap_add_ordinary_map(table.get(), LC_ENTER, 0, paths.back().c_str(), 1);
    uint32_t index = table->ordinary_used - 1;
    for (uint32_t line = 1; line <= lines; line++)
      linemap_start_line(table.get(), line, 1000);
    // The columns of the last line are taken, so that a later file's map
    // starts after them.
    if (lines > 0)
      linemap_line_column_location(table.get(), &table->ordinary_maps[index], lines, 999);
    if (path_out)
      *path_out = path;
    // Mapping line by line keeps one map for the whole file.
    EXPECT_EQ(index, table->ordinary_used - 1);
    return {index};
  }

  location_t at(file_map map, uint32_t line, uint32_t column)
  {
    return linemap_line_column_location(table.get(), &table->ordinary_maps[map.index], line,
                                        column);
  }

  location_t span(file_map map, uint32_t line, uint32_t caret, uint32_t start,
                  uint32_t finish)
  {
    return location_make(at(map, line, caret), at(map, line, start), at(map, line, finish));
  }

  // The quotation of a record, as it would follow a message of that kind.
  std::string quote(located_ranges *record, diagnostic_kind kind = DK_ERROR)
  {
    context->last_quoted_location = 0;
    diagnostic_show_locus(context, record, kind);
    std::string text = pp_current_text(context->printer);
    pp_clear_text(context->printer);
    return text;
  }

  // The line table points at these names; a deque keeps them in place.
  std::deque<std::string> paths;
};

// A label whose text is fixed.
struct text_label : range_label {
  const char *text;
  explicit text_label(const char *t) : text(t) {}
  label_string get_text(uint32_t) const override
  {
    return {const_cast<char *>(text), false};
  }
};

#endif
