// Location expansion with the diagnostics' conventions, location making and
// display columns over the program's line table.
#include "diagnostics/input.h"

#include "tests/common/temp-dir.h"
#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// user.c includes sys.h (a system header) at line 2, whose line 3 defines a
// macro; user.c expands it at line 4 column 2 with an argument at column 8.
struct input_fixture : testing::Test {
  test_line_table t;
  test_macro_node node = {"M"};
  location_t sys_token, expansion, argument, plain;
  macro_map *macro;

  input_fixture()
  {
    line_table = t.get();
    linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "user.c", 1);
    linemap_start_line(t.get(), 1, 80);
    linemap_start_line(t.get(), 2, 80);
    linemap_add_ordinary_map(t.get(), LC_ENTER, 1, "sys.h", 1);
    linemap_start_line(t.get(), 1, 80);
    linemap_start_line(t.get(), 3, 80);
    sys_token = linemap_column_location(t.get(), 6);
    linemap_add_ordinary_map(t.get(), LC_LEAVE, 0, nullptr, 0);
    linemap_start_line(t.get(), 4, 80);
    expansion = linemap_column_location(t.get(), 2);
    argument = linemap_column_location(t.get(), 8);
    plain = linemap_column_location(t.get(), 20);
    linemap_column_location(t.get(), 30);
    macro = linemap_add_macro_map(t.get(), node.node(), expansion, 3);
    macro_map_set_token(macro, 0, sys_token, sys_token);
    macro_map_set_token(macro, 1, argument, sys_token);
    macro_map_set_token(macro, 2, BUILTINS_LOCATION, BUILTINS_LOCATION);
  }
  ~input_fixture() override { line_table = nullptr; }
};

struct where {
  const char *file;
  int line;
  int column;
};

void expect_at(const expanded_location &e, const where &w, const char *what)
{
  if (w.file == nullptr)
    EXPECT_EQ(e.file, nullptr) << what;
  else
    EXPECT_STREQ(e.file, w.file) << what;
  EXPECT_EQ(e.line, w.line) << what;
  EXPECT_EQ(e.column, w.column) << what;
}

TEST_F(input_fixture, ExpansionAndSpellingPoints)
{
  struct row {
    const char *what;
    location_t location;
    where expanded;
    where spelled;
  } rows[] = {
    {"unknown", 0, {nullptr, 0, 0}, {nullptr, 0, 0}},
    {"built-in", 1, {"<built-in>", 0, 0}, {"<built-in>", 0, 0}},
    {"plain", plain, {"user.c", 4, 20}, {"user.c", 4, 20}},
    // Spelled in a system header's macro: shown at the expansion.
    {"system macro token", macro->start, {"user.c", 4, 2}, {"user.c", 4, 2}},
    {"argument token", macro->start + 1, {"user.c", 4, 2}, {"user.c", 4, 8}},
    {"built-in token", macro->start + 2, {"user.c", 4, 2}, {"user.c", 4, 2}},
  };
  for (const row &r : rows) {
    expect_at(location_expand(r.location), r.expanded, r.what);
    expect_at(location_expand_spelling(r.location, LOCATION_ASPECT_CARET), r.spelled, r.what);
    expect_at(client_expand_to_spelling_point(r.location, LOCATION_ASPECT_CARET), r.spelled,
              r.what);
  }
  EXPECT_TRUE(location_expand(sys_token).in_system_header);
  EXPECT_FALSE(location_expand(macro->start).in_system_header);
}

TEST_F(input_fixture, AspectsOfARange)
{
  location_t start = linemap_line_column_location(t.get(), &t->ordinary_maps[2], 4, 20);
  location_t finish = linemap_line_column_location(t.get(), &t->ordinary_maps[2], 4, 24);
  location_t packed = linemap_combine_location(t.get(), start, {start, finish}, nullptr);
  ASSERT_FALSE(location_is_adhoc(packed));
  EXPECT_EQ(location_expand_spelling(packed, LOCATION_ASPECT_CARET).column, 20);
  EXPECT_EQ(location_expand_spelling(packed, LOCATION_ASPECT_START).column, 20);
  EXPECT_EQ(location_expand_spelling(packed, LOCATION_ASPECT_FINISH).column, 24);
  EXPECT_EQ(expand_location_1(packed, true, LOCATION_ASPECT_FINISH).column, 24);

  // Client data rides along; the entry's locus is what is expanded.
  int data;
  location_t with_data = linemap_combine_location(t.get(), argument, {argument, argument}, &data);
  expanded_location e = location_expand(with_data);
  EXPECT_EQ(e.client_data, &data);
  EXPECT_EQ(e.column, 8);
  EXPECT_EQ(location_expand(linemap_combine_location(t.get(), 1, {1, 1}, &data)).client_data,
            &data);
}

TEST_F(input_fixture, ExpansionPointsAndBuiltinTokens)
{
  EXPECT_TRUE(location_is_builtin_token(macro->start + 2));
  EXPECT_FALSE(location_is_builtin_token(macro->start + 1));
  EXPECT_EQ(location_expansion_point(macro->start + 1), expansion);
  EXPECT_EQ(location_expansion_point(plain), plain);
  // In a system header: moved out to a user expansion point, unless that is
  // also in a system header.
  EXPECT_EQ(system_header_expansion_point(plain), plain);
  EXPECT_EQ(system_header_expansion_point(macro->start), expansion);
  macro_map *inside = linemap_add_macro_map(t.get(), node.node(), sys_token, 1);
  macro_map_set_token(inside, 0, sys_token, sys_token);
  EXPECT_EQ(system_header_expansion_point(inside->start), inside->start);
}

TEST_F(input_fixture, MakingLocations)
{
  const ordinary_map *map = &t->ordinary_maps[2];
  location_t c3 = linemap_line_column_location(t.get(), map, 4, 3);
  location_t c5 = linemap_line_column_location(t.get(), map, 4, 5);
  location_t c7 = linemap_line_column_location(t.get(), map, 4, 7);
  location_t c9 = linemap_line_column_location(t.get(), map, 4, 9);
  // Start and finish contribute the ends of their own ranges; the caret is
  // stripped of its range.
  location_t start_range = linemap_combine_location(t.get(), c3, {c3, c5}, nullptr);
  location_t finish_range = linemap_combine_location(t.get(), c7, {c7, c9}, nullptr);
  location_t caret_range = linemap_combine_location(t.get(), c5, {c5, c7}, nullptr);
  location_t made = location_make(caret_range, start_range, finish_range);
  ASSERT_TRUE(location_is_adhoc(made));
  EXPECT_EQ(adhoc_locus(t.get(), made), c5);
  location_span range = linemap_location_range(t.get(), made);
  EXPECT_EQ(range.start, c3);
  EXPECT_EQ(range.finish, c9);
  EXPECT_EQ(adhoc_data(t.get(), made), nullptr);

  // A caret that is its range's start packs.
  EXPECT_EQ(location_make(c3, c3, c5), start_range);
  EXPECT_EQ(location_make_from_span(c3, {c3, c3}), c3);
}

TEST(InputDisplayColumn, ColumnsOverTheSourceLine)
{
  TempDir dir;
  std::string path = dir / "wide.c";
  FILE *f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("x\na\xe4\xb8\x80" "b\n\tq\n", f);
  fclose(f);
  const char *wide = path.c_str();
  column_policy policy = {8, 1, codepoint_display_width};
  struct row {
    const char *file;
    int line;
    int column;
    int display;
  } rows[] = {
    {wide, 2, 4, 3},   // a, then the wide character's three bytes
    {wide, 2, 5, 4},
    {wide, 3, 2, 9},   // a tab first
    {wide, 2, 9, 8},   // past the end: one column per byte
    {"other.c", 2, 5, 5},  // no line: the byte column
    {"", 2, 5, 5},
    {nullptr, 2, 5, 5},
    {wide, 0, 5, 5},
    {wide, 2, 0, 0},
  };
  for (const row &r : rows) {
    expanded_location e = {r.file, r.line, r.column, nullptr, false};
    EXPECT_EQ(location_display_column(policy, e), r.display)
        << (r.file ? r.file : "(null)") << ":" << r.line << ":" << r.column;
  }
}

} // namespace
