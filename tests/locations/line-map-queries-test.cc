// Location queries: resolving through macro expansions, expansion, ordering,
// system headers, unwinding, column moves, statistics and dumps.
#include "locations/line-map.h"

#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// main.c includes the system header sys.h at line 2; sys.h line 4 defines a
// macro that main.c expands at line 6 column 3. The expansion has three
// tokens: one from the definition, one from an argument written in main.c at
// line 6 column 9, and one whose spelling is the built-in location.
struct scenario {
  test_line_table t;
  test_macro_node node = {"SYSMAC"};
  location_t main_line2, sys_def, sys_def14, main_expansion, main_argument, main_line9;
  macro_map *macro;

  scenario()
  {
    linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "main.c", 1);
    linemap_start_line(t.get(), 1, 80);
    main_line2 = linemap_start_line(t.get(), 2, 80);
    linemap_add_ordinary_map(t.get(), LC_ENTER, 1, "sys.h", 1);
    linemap_start_line(t.get(), 1, 80);
    linemap_start_line(t.get(), 4, 80);
    sys_def = linemap_column_location(t.get(), 12);
    sys_def14 = linemap_column_location(t.get(), 14);
    linemap_add_ordinary_map(t.get(), LC_LEAVE, 0, nullptr, 0);
    linemap_start_line(t.get(), 6, 80);
    main_expansion = linemap_column_location(t.get(), 3);
    main_argument = linemap_column_location(t.get(), 9);
    macro = linemap_add_macro_map(t.get(), node.node(), main_expansion, 3);
    macro_map_set_token(macro, 0, sys_def, sys_def);
    macro_map_set_token(macro, 1, main_argument, sys_def14);
    macro_map_set_token(macro, 2, BUILTINS_LOCATION, BUILTINS_LOCATION);
    main_line9 = linemap_start_line(t.get(), 9, 80);
  }
  location_t token(uint32_t i) const { return macro->start + i; }
  linemap_set *set() { return t.get(); }
};

expanded_location expand(linemap_set *set, location_t location, resolve_target target)
{
  const ordinary_map *map;
  location_t resolved = linemap_resolve_location(set, location, target, &map);
  return linemap_expand_location(set, map, resolved);
}

TEST(LineMapQueries, ResolvingThroughTheExpansion)
{
  scenario s;
  struct row {
    uint32_t token;
    resolve_target target;
    const char *file;
    int line;
    int column;
  } rows[] = {
    {0, RESOLVE_TO_EXPANSION, "main.c", 6, 3},
    {0, RESOLVE_TO_SPELLING, "sys.h", 4, 12},
    {0, RESOLVE_TO_DEFINITION, "sys.h", 4, 12},
    {1, RESOLVE_TO_SPELLING, "main.c", 6, 9},
    {1, RESOLVE_TO_DEFINITION, "sys.h", 4, 14},
  };
  for (const row &r : rows) {
    expanded_location e = expand(s.set(), s.token(r.token), r.target);
    EXPECT_STREQ(e.file, r.file) << r.token << "/" << r.target;
    EXPECT_EQ(e.line, r.line) << r.token << "/" << r.target;
    EXPECT_EQ(e.column, r.column) << r.token << "/" << r.target;
  }
  EXPECT_TRUE(expand(s.set(), s.token(0), RESOLVE_TO_SPELLING).in_system_header);

  // A built-in spelling ends the walk with no map.
  const ordinary_map *map = &s.t->ordinary_maps[0];
  EXPECT_EQ(linemap_resolve_location(s.set(), s.token(2), RESOLVE_TO_SPELLING, &map),
            BUILTINS_LOCATION);
  EXPECT_EQ(map, nullptr);
}

TEST(LineMapQueries, ReservedAndAdhocLocations)
{
  scenario s;
  for (resolve_target target : {RESOLVE_TO_EXPANSION, RESOLVE_TO_SPELLING, RESOLVE_TO_DEFINITION}) {
    const ordinary_map *map = &s.t->ordinary_maps[0];
    EXPECT_EQ(linemap_resolve_location(s.set(), 1, target, &map), 1u);
    EXPECT_EQ(map, nullptr);
  }
  location_t wide =
      linemap_combine_location(s.set(), s.main_argument, {s.main_argument, s.main_argument + 4096}, nullptr);
  ASSERT_TRUE(location_is_adhoc(wide));
  EXPECT_EQ(linemap_resolve_location(s.set(), wide, RESOLVE_TO_SPELLING, nullptr), wide);
  EXPECT_EQ(linemap_resolve_location(s.set(), wide, RESOLVE_TO_EXPANSION, nullptr),
            s.main_argument);

  // Data on the unknown location: nothing to expand but the data.
  int data;
  location_t nowhere = linemap_combine_location(s.set(), 0, {0, 0}, &data);
  expanded_location e = linemap_expand_location(s.set(), nullptr, nowhere);
  EXPECT_EQ(e.file, nullptr);
  EXPECT_EQ(e.line, 0);
  EXPECT_EQ(e.client_data, &data);
}

TEST(LineMapQueriesDeathTest, InternalErrors)
{
  scenario s;
  EXPECT_DEATH(linemap_resolve_location(s.set(), s.main_line2, resolve_target(3), nullptr),
               "linemap_resolve_location");
  EXPECT_DEATH(linemap_expand_location(s.set(), nullptr, s.main_line2), "linemap_expand_location");
  EXPECT_DEATH(linemap_expand_location(s.set(), linemap_find_map(s.set(), s.token(0)), s.token(0)),
               "linemap_expand_location");
}

TEST(LineMapQueries, Ordering)
{
  scenario s;
  linemap_set *set = s.set();
  location_t wrapped =
      linemap_combine_location(set, s.main_argument, {s.main_argument, s.main_argument + 4096}, nullptr);
  struct row {
    location_t a, b;
    int sign; // of the result: positive when a comes first
  } rows[] = {
    {s.main_line2, s.main_line9, 1},
    {s.main_line9, s.main_line2, -1},
    {s.main_argument, wrapped, 0},          // a location and its own ad-hoc form
    {s.token(0), s.token(1), 1},            // tokens of one expansion, in order
    {s.token(2), s.token(0), -1},
    {s.main_line2, s.token(1), 1},          // a token counts at its expansion point
    {s.token(1), s.main_line9, 1},
  };
  for (const row &r : rows) {
    int32_t c = linemap_compare_locations(set, r.a, r.b);
    EXPECT_EQ((c > 0) - (c < 0), r.sign) << r.a << " " << r.b;
  }
  EXPECT_EQ(linemap_compare_locations(set, s.token(0), s.token(2)), 2);
}

TEST(LineMapQueries, NestedExpansionsMeetInTheirCommonMap)
{
  scenario s;
  test_macro_node inner_node = {"INNER"};
  // INNER is expanded at token 1 of the outer expansion.
  macro_map *inner = linemap_add_macro_map(s.set(), inner_node.node(), s.token(1), 2);
  macro_map_set_token(inner, 0, s.sys_def, s.sys_def);
  macro_map_set_token(inner, 1, s.sys_def, s.sys_def);
  location_t a, b;
  const line_map *common = first_common_map(s.set(), inner->start + 1, s.token(2), &a, &b);
  EXPECT_EQ(common, &s.t->macro_maps[0]);
  EXPECT_EQ(a, s.token(1));
  EXPECT_EQ(b, s.token(2));
  EXPECT_GT(linemap_compare_locations(s.set(), inner->start, s.token(2)), 0);
  EXPECT_LT(linemap_compare_locations(s.set(), inner->start, s.token(0)), 0);
  // No common map between macro and ordinary locations.
  EXPECT_EQ(first_common_map(s.set(), s.token(0), s.main_line2, &a, &b), nullptr);
  EXPECT_EQ(a, s.token(0));
  EXPECT_EQ(b, s.main_line2);
}

TEST(LineMapQueries, SystemHeadersAndMacroDefinitions)
{
  scenario s;
  linemap_set *set = s.set();
  EXPECT_FALSE(linemap_in_system_header(set, 1));
  EXPECT_FALSE(linemap_in_system_header(set, s.main_line2));
  EXPECT_TRUE(linemap_in_system_header(set, s.sys_def));
  EXPECT_TRUE(linemap_in_system_header(set, s.token(0)));
  EXPECT_FALSE(linemap_in_system_header(set, s.token(1)));
  // A built-in spelling: in a system header exactly when the expansion is.
  EXPECT_FALSE(linemap_in_system_header(set, s.token(2)));
  macro_map *from_header = linemap_add_macro_map(set, s.node.node(), s.sys_def, 1);
  macro_map_set_token(from_header, 0, BUILTINS_LOCATION, BUILTINS_LOCATION);
  EXPECT_TRUE(linemap_in_system_header(set, from_header->start));

  EXPECT_TRUE(spelled_in_macro_definition(set, s.token(0)));
  EXPECT_FALSE(spelled_in_macro_definition(set, s.token(1)));
  EXPECT_FALSE(spelled_in_macro_definition(set, s.main_line2));
}

TEST(LineMapQueries, UnwindingToUserCode)
{
  scenario s;
  linemap_set *set = s.set();
  const line_map *map = nullptr;
  // Spelled in the system header: out to the expansion point in main.c.
  EXPECT_EQ(unwind_to_user_location(set, s.token(0), &map), s.main_expansion);
  EXPECT_EQ(map, &s.t->ordinary_maps[2]);
  // The argument was written by the user: kept, and the map is not written.
  map = nullptr;
  EXPECT_EQ(unwind_to_user_location(set, s.token(1), &map), s.token(1));
  EXPECT_EQ(map, nullptr);
  // A built-in token too goes out to the expansion point.
  EXPECT_EQ(unwind_to_user_location(set, s.token(2), &map), s.main_expansion);
  EXPECT_EQ(unwind_to_user_location(set, s.main_line9, nullptr), s.main_line9);

  map = linemap_find_map(set, s.token(1));
  EXPECT_EQ(unwind_macro_step(set, s.token(1), &map), s.main_expansion);
  EXPECT_EQ(map, &s.t->ordinary_maps[2]);
}

TEST(LineMapQueries, IncludersAndExpansionPoints)
{
  scenario s;
  linemap_set *set = s.set();
  const ordinary_map *maps = s.t->ordinary_maps;
  EXPECT_EQ(linemap_includer_map(set, &maps[1]), &maps[0]);
  EXPECT_EQ(linemap_includer_map(set, &maps[0]), nullptr);
  EXPECT_EQ(linemap_includer_map(nullptr, &maps[1]), nullptr);
  EXPECT_EQ(expansion_point_line(set, s.token(0)), 6);
  EXPECT_STREQ(expansion_point_file(set, s.token(0)), "main.c");
  EXPECT_EQ(expansion_point_line(set, 1), 0);
  EXPECT_EQ(expansion_point_file(set, 0), nullptr);
  EXPECT_STREQ(macro_map_name(s.macro), "SYSMAC");
  EXPECT_EQ(macro_map_spelling_loc(set, s.macro, s.token(1)), s.main_argument);
  EXPECT_TRUE(linemap_is_macro_location(set, s.token(0)));
  EXPECT_FALSE(linemap_is_macro_location(set, s.main_line9));
  EXPECT_TRUE(map_is_macro_map(linemap_find_map(set, s.token(2))));
  EXPECT_FALSE(map_is_macro_map(nullptr));

  location_t highest;
  ASSERT_TRUE(linemap_file_highest_location(set, "sys.h", &highest));
  EXPECT_EQ(highest, maps[2].start - 1);
  ASSERT_TRUE(linemap_file_highest_location(set, "main.c", &highest));
  EXPECT_EQ(highest, set->top_location);
  EXPECT_FALSE(linemap_file_highest_location(set, "other.c", &highest));
  EXPECT_FALSE(linemap_file_highest_location(nullptr, "main.c", &highest));
}

TEST(LineMapQueries, AdvancingColumns)
{
  test_line_table t;
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "a.c", 1);
  location_t line1 = linemap_start_line(t.get(), 1, 80);
  location_t col5 = linemap_column_location(t.get(), 5);
  location_t col127 = linemap_column_location(t.get(), 127);
  EXPECT_EQ(linemap_advance_columns(t.get(), col5, 3), line1 + (8u << 5));
  EXPECT_EQ(linemap_advance_columns(t.get(), col5, 0), col5);
  // The last column the layout can hold has no column after it.
  EXPECT_EQ(linemap_advance_columns(t.get(), col127, 1), col127);
  EXPECT_EQ(linemap_advance_columns(t.get(), 1, 1), 1u);

  // A later layout of the same line continues in a renamed map.
  linemap_start_line(t.get(), 2, 80);
  location_t col10 = linemap_column_location(t.get(), 10);
  linemap_column_location(t.get(), 4000);
  ASSERT_EQ(t->ordinary_used, 2u);
  location_t moved = linemap_advance_columns(t.get(), col10, 200);
  const ordinary_map *renamed = &t->ordinary_maps[1];
  EXPECT_EQ(linemap_find_map(t.get(), moved), renamed);
  EXPECT_EQ(ordinary_map_line(renamed, moved), 2u);
  EXPECT_EQ(ordinary_map_column(renamed, moved), 210u);

  // Not into a map of another file.
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "b.h", 1);
  linemap_start_line(t.get(), 1, 80);
  location_t in_renamed = linemap_line_column_location(t.get(), &t->ordinary_maps[1], 2, 20);
  EXPECT_EQ(linemap_advance_columns(t.get(), in_renamed, 4000), in_renamed);
}

TEST(LineMapQueries, Statistics)
{
  scenario s;
  location_statistics stats;
  linemap_gather_stats(s.set(), &stats);
  EXPECT_EQ(stats.ordinary_used, 3u);
  EXPECT_EQ(stats.ordinary_allocated, 256u);
  EXPECT_EQ(stats.ordinary_used_size, 3u * 24);
  EXPECT_EQ(stats.ordinary_allocated_size, 256u * 24);
  EXPECT_EQ(stats.macro_used, 1u);
  EXPECT_EQ(stats.macro_used_size, 32u);
  EXPECT_EQ(stats.token_locations_size, 3u * 8);
  EXPECT_EQ(stats.duplicated_locations_size, 2u * 4); // tokens 0 and 2
  EXPECT_EQ(stats.adhoc_used, 0u);
  linemap_combine_location(s.set(), s.main_line2, {s.main_line2, s.main_line9}, nullptr);
  linemap_gather_stats(s.set(), &stats);
  EXPECT_EQ(stats.adhoc_used, 1u);
  EXPECT_EQ(stats.adhoc_table_size, 128u * 24);
}

TEST(LineMapQueries, FilesLeftOpen)
{
  test_line_table t;
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "main.c", 1);
  linemap_start_line(t.get(), 1, 80);
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "a.h", 1);
  linemap_start_line(t.get(), 1, 80);
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "b.h", 1);
  testing::internal::CaptureStderr();
  linemap_check_files_left(t.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "line-map: file \"b.h\" entered but not left\n"
            "line-map: file \"a.h\" entered but not left\n");
}

std::string dump_to_text(void (*dump)(FILE *, scenario &), scenario &s)
{
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  dump(stream, s);
  fclose(stream);
  std::string text(buffer, size);
  free(buffer);
  return text;
}

std::string replace_pointers(std::string text)
{
  // Addresses differ from run to run.
  for (size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 1)) {
    size_t end = at + 2;
    while (end < text.size() && isxdigit((unsigned char)text[end]))
      end++;
    text.replace(at, end - at, "PTR");
  }
  return text;
}

TEST(LineMapQueries, Dumps)
{
  scenario s;
  std::string table = replace_pointers(dump_to_text(
      [](FILE *f, scenario &sc) { linemap_dump_table(f, sc.set(), 2, 5); }, s));
  char expected[1024];
  snprintf(expected, sizeof expected,
           "# of ordinary maps:  3\n# of macro maps:     1\nInclude stack depth: 1\n"
           "Highest location:    %u\n"
           "\nOrdinary line maps\n"
           "Map #0 [PTR] - LOC: 32 - REASON: LC_ENTER - SYSP: no\nFile: main.c:1\n"
           "Included from: [-1] None\n\n"
           "Map #1 [PTR] - LOC: %u - REASON: LC_ENTER - SYSP: yes\nFile: sys.h:1\n"
           "Included from: [0] main.c\n\n\n"
           "\nMacro line maps\n"
           "Map #0 [PTR] - LOC: %u - REASON: LC_ENTER_MACRO - SYSP: no\n"
           "Macro: SYSMAC (3 tokens)\n\n\n",
           s.t->top_location, s.t->ordinary_maps[1].start, s.macro->start);
  EXPECT_EQ(table, expected);

  std::string where = replace_pointers(dump_to_text(
      [](FILE *f, scenario &sc) {
        linemap_dump_location(sc.set(), sc.main_argument, f);
        linemap_dump_location(sc.set(), sc.token(1), f);
        linemap_dump_location(sc.set(), 1, f);
        linemap_dump_location(sc.set(), 0, f);
      },
      s));
  snprintf(expected, sizeof expected,
           "{P:main.c;F:<NULL>;L:6;C:9;S:0;M:PTR;E:0,LOC:%d,R:%d}"
           "{P:sys.h;F:N/A;L:4;C:14;S:1;M:PTR;E:1,LOC:%d,R:%d}"
           "{P:;F:;L:-1;C:-1;S:-1;M:(nil);E:-1,LOC:1,R:1}",
           int(s.main_argument), int(s.main_argument), int(s.token(1)), int(s.sys_def14));
  EXPECT_EQ(where, expected);
}

TEST(LineMapQueries, DumpOfAnUnknownReason)
{
  test_line_table t;
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "x.c", 3);
  t->ordinary_maps[0].reason = 9;
  testing::internal::CaptureStderr();
  linemap_dump_map(nullptr, t.get(), 0, false);
  std::string text = replace_pointers(testing::internal::GetCapturedStderr());
  EXPECT_EQ(text, "Map #0 [PTR] - LOC: 32 - REASON: ??? - SYSP: no\nFile: x.c:3\n"
                  "Included from: [-1] None\n\n");

  // Asking for more maps than there are prints the ones there are.
  testing::internal::CaptureStderr();
  linemap_dump_table(nullptr, t.get(), 2, 0);
  text = replace_pointers(testing::internal::GetCapturedStderr());
  EXPECT_NE(text.find("Map #0"), std::string::npos);
  EXPECT_EQ(text.find("Map #1"), std::string::npos);
  EXPECT_EQ(text.find("Macro line maps"), std::string::npos);
  linemap_dump_table(nullptr, nullptr, 2, 2); // no table: nothing
}

} // namespace
