// The line table: map creation, line layouts, columns, range packing, the
// ad-hoc table, macro maps and the limits of the location space.
#include "locations/line-map.h"

#include "tests/locations/line-map-fixture.h"

#include "support/callback-hash-table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

const ordinary_map *enter_main(test_line_table &t, const char *name = "main.c")
{
  return linemap_add_ordinary_map(t.get(), LC_ENTER, 0, name, 1);
}

TEST(LineMap, FirstMapOfAFreshTable)
{
  test_line_table t;
  EXPECT_EQ(t->top_location, 1u);
  const ordinary_map *map = enter_main(t);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->start, 32u); // 2 rounded up to 2^5
  EXPECT_EQ(map->includer_location, 0u);
  EXPECT_EQ(map->reason, LC_ENTER);
  EXPECT_EQ(t->include_depth, 1u);
  EXPECT_EQ(t->top_location, 32u);
  EXPECT_EQ(t->column_limit, 0u);

  test_line_table unpacked(0);
  EXPECT_EQ(enter_main(unpacked)->start, 2u);
}

TEST(LineMap, LineLayoutFromTheColumnHint)
{
  struct row {
    uint32_t hint;
    uint32_t line_shift;
    uint32_t span_bits;
    uint32_t column_limit;
  } rows[] = {
    {80, 12, 5, 128},  // 7 column bits
    {127, 12, 5, 128},
    {128, 13, 5, 256}, // 8 column bits
    {4096, 18, 5, 8192},
    {5000, 0, 0, 1},   // columns given up
  };
  for (const row &r : rows) {
    test_line_table t;
    const ordinary_map *map = enter_main(t);
    location_t line1 = linemap_start_line(t.get(), 1, r.hint);
    // The map is still on its first line, so its layout is rewritten in place.
    EXPECT_EQ(t->ordinary_used, 1u) << r.hint;
    EXPECT_EQ(line1, map->start) << r.hint;
    EXPECT_EQ(map->line_shift, r.line_shift) << r.hint;
    EXPECT_EQ(map->span_bits, r.span_bits) << r.hint;
    EXPECT_EQ(t->column_limit, r.column_limit) << r.hint;
  }
}

TEST(LineMap, WhenANewMapIsNeeded)
{
  test_line_table t;
  enter_main(t);
  location_t line1 = linemap_start_line(t.get(), 1, 80);
  // Small steps keep the layout: 12 bits per line.
  EXPECT_EQ(linemap_start_line(t.get(), 2, 80), line1 + (1u << 12));
  EXPECT_EQ(linemap_start_line(t.get(), 12, 80), line1 + (11u << 12));
  EXPECT_EQ(t->ordinary_used, 1u);
  // 100 lines at 12 bits a line is past the limit of 1000 bits.
  location_t jumped = linemap_start_line(t.get(), 112, 80);
  ASSERT_EQ(t->ordinary_used, 2u);
  const ordinary_map &renamed = t->ordinary_maps[1];
  EXPECT_EQ(renamed.reason, LC_RENAME);
  EXPECT_EQ(renamed.first_line, 112u);
  EXPECT_STREQ(renamed.file_name, "main.c");
  EXPECT_EQ(jumped, renamed.start);
  // Going back one line always starts a new map.
  linemap_start_line(t.get(), 111, 80);
  EXPECT_EQ(t->ordinary_used, 3u);
  EXPECT_EQ(t->ordinary_maps[2].first_line, 111u);
}

TEST(LineMap, ColumnsBeyondTheLayout)
{
  test_line_table t;
  enter_main(t);
  location_t line1 = linemap_start_line(t.get(), 1, 80);
  EXPECT_EQ(linemap_column_location(t.get(), 5), line1 + (5u << 5));
  linemap_start_line(t.get(), 2, 80);
  // 4000 does not fit 128 columns: the line restarts with hint 4050 in a new
  // map of 12 column bits.
  location_t far = linemap_column_location(t.get(), 4000);
  const ordinary_map *last = linemap_last_ordinary_map(t.get());
  EXPECT_EQ(last->line_shift - last->span_bits, 12);
  EXPECT_EQ(ordinary_map_line(last, far), 2u);
  EXPECT_EQ(ordinary_map_column(last, far), 4000u);

  // 4050 restarts with hint 4100, which gives up columns.
  linemap_start_line(t.get(), 3, 80);
  location_t line3 = linemap_column_location(t.get(), 4050);
  last = linemap_last_ordinary_map(t.get());
  EXPECT_EQ(last->line_shift, 0);
  EXPECT_EQ(ordinary_map_line(last, line3), 3u);
  EXPECT_EQ(t->column_limit, 1u);

  // Above 4096 the line's own location, whatever the layout.
  location_t line4 = linemap_start_line(t.get(), 4, 80);
  EXPECT_EQ(linemap_column_location(t.get(), 5000), line4);
}

TEST(LineMap, LineAndColumnInAGivenMap)
{
  test_line_table t;
  const ordinary_map *map = enter_main(t);
  linemap_start_line(t.get(), 1, 80);
  EXPECT_EQ(linemap_line_column_location(t.get(), map, 3, 10), 32u + (2u << 12) + (10u << 5));
  // A column that the 7 column bits cannot hold gives the line itself rather
  // than a location on a later line.
  EXPECT_EQ(linemap_line_column_location(t.get(), map, 3, 128), 32u + (2u << 12));
  EXPECT_EQ(linemap_line_column_location(t.get(), map, 3, 200), 32u + (2u << 12));
  EXPECT_GE(t->top_location, 32u + (2u << 12) + (10u << 5));
}

TEST(LineMap, IncludesAndTheirIncluders)
{
  test_line_table t;
  enter_main(t);
  linemap_start_line(t.get(), 1, 80);
  location_t line5 = linemap_start_line(t.get(), 5, 80);
  linemap_column_location(t.get(), 10);
  const ordinary_map *header = linemap_add_ordinary_map(t.get(), LC_ENTER, 1, "h.h", 1);
  // The includer is column 0 of the line holding the include.
  EXPECT_EQ(header->includer_location, line5);
  EXPECT_EQ(t->include_depth, 2u);
  linemap_start_line(t.get(), 1, 80);
  linemap_start_line(t.get(), 7, 80);

  const ordinary_map *back = linemap_add_ordinary_map(t.get(), LC_LEAVE, 0, nullptr, 0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(t->include_depth, 1u);
  EXPECT_STREQ(back->file_name, "main.c");
  // The includer's line of the location where the header's map starts.
  EXPECT_EQ(back->first_line, 5u);
  EXPECT_EQ(back->in_system_header, 0);
  EXPECT_EQ(back->includer_location, 0u);

  // A renamed map keeps its file's includer.
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "i.h", 1);
  const ordinary_map *renamed = linemap_add_ordinary_map(t.get(), LC_RENAME, 0, "i.h", 20);
  EXPECT_NE(renamed->includer_location, 0u);
  EXPECT_EQ(renamed->includer_location, t->ordinary_maps[t->ordinary_used - 2].includer_location);

  // Leaving the main file.
  test_line_table u;
  enter_main(u);
  EXPECT_EQ(linemap_add_ordinary_map(u.get(), LC_LEAVE, 0, nullptr, 0), nullptr);
  EXPECT_EQ(u->include_depth, 0u);
  EXPECT_EQ(u->ordinary_used, 1u);
}

TEST(LineMap, ModuleMaps)
{
  test_line_table t;
  enter_main(t);
  location_t line1 = linemap_start_line(t.get(), 1, 80);
  location_t first = linemap_add_module_map(t.get(), line1, "mod");
  const ordinary_map *map = linemap_last_ordinary_map(t.get());
  EXPECT_EQ(map->reason, LC_MODULE);
  EXPECT_STREQ(map->file_name, "mod");
  EXPECT_EQ(map->first_line, 0u);
  EXPECT_EQ(map->includer_location, line1);
  EXPECT_EQ(first, map->start);
  EXPECT_EQ(t->include_depth, 1u); // modules are not entered
}

TEST(LineMap, EmptyFileNames)
{
  test_line_table t;
  EXPECT_STREQ(linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "", 1)->file_name, "<stdin>");
  EXPECT_STREQ(linemap_add_ordinary_map(t.get(), LC_RENAME, 0, "", 1)->file_name, "<stdin>");
  const ordinary_map *verbatim = linemap_add_ordinary_map(t.get(), LC_RENAME_VERBATIM, 0, "", 1);
  EXPECT_STREQ(verbatim->file_name, "");
  EXPECT_EQ(verbatim->reason, LC_RENAME_VERBATIM);
}

TEST(LineMap, EnteredFilesArePrintedWithTheirDepth)
{
  test_line_table t;
  t->print_entered_files = true;
  testing::internal::CaptureStderr();
  enter_main(t);
  linemap_start_line(t.get(), 1, 80);
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "a.h", 1);
  linemap_start_line(t.get(), 1, 80);
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "b.h", 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), " main.c\n. a.h\n.. b.h\n");
}

TEST(LineMap, ResumingAFile)
{
  test_line_table t;
  enter_main(t);
  linemap_start_line(t.get(), 1, 80);
  location_t line9 = linemap_start_line(t.get(), 9, 80);
  linemap_set_includer(t.get(), line9, 77);
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "h.h", 1);
  linemap_start_line(t.get(), 1, 80);
  location_t start = linemap_resume_file(t.get(), 1);
  const ordinary_map *last = linemap_last_ordinary_map(t.get());
  EXPECT_EQ(start, last->start);
  EXPECT_EQ(last->reason, LC_RENAME_VERBATIM);
  EXPECT_STREQ(last->file_name, "main.c");
  EXPECT_EQ(last->first_line, 9u); // the line of map 0's last location
  EXPECT_EQ(last->includer_location, 77u);
}

TEST(LineMap, PackedRangesAndAdhocEntries)
{
  test_line_table t;
  enter_main(t, "m.c");
  linemap_start_line(t.get(), 1, 80);
  location_t caret = 1024; // a pure location of line 1 (range offset 0)
  ASSERT_TRUE(linemap_is_pure_location(t.get(), caret));

  location_t packed = linemap_combine_location(t.get(), caret, {caret, caret + (3u << 5)}, nullptr);
  EXPECT_EQ(packed, 1027u);
  EXPECT_FALSE(linemap_is_pure_location(t.get(), packed));
  location_span range = linemap_location_range(t.get(), packed);
  EXPECT_EQ(range.start, 1024u);
  EXPECT_EQ(range.finish, 1120u);
  EXPECT_EQ(linemap_strip_range(t.get(), packed), 1024u);
  EXPECT_EQ(t->packed_range_count, 1u);

  // 40 columns do not fit in 5 range bits.
  location_t far = linemap_combine_location(t.get(), caret, {caret, caret + (40u << 5)}, nullptr);
  EXPECT_TRUE(location_is_adhoc(far));
  EXPECT_EQ(linemap_combine_location(t.get(), caret, {caret, caret + (40u << 5)}, nullptr), far);
  EXPECT_EQ(adhoc_locus(t.get(), far), caret);
  EXPECT_EQ(linemap_location_range(t.get(), far).finish, caret + (40u << 5));
  EXPECT_EQ(linemap_strip_range(t.get(), far), caret);
  EXPECT_FALSE(linemap_is_pure_location(t.get(), far));
  EXPECT_EQ(t->adhoc_range_count, 2u);

  // A caret that is not the start, or client data, always needs an entry.
  int data;
  location_t with_data = linemap_combine_location(t.get(), caret, {caret, caret}, &data);
  EXPECT_TRUE(location_is_adhoc(with_data));
  EXPECT_EQ(adhoc_data(t.get(), with_data), &data);
  EXPECT_NE(with_data, far);
  EXPECT_TRUE(location_is_adhoc(linemap_combine_location(t.get(), caret + 32, {caret, caret + 64},
                                                         nullptr)));
  // An ad-hoc locus is unwrapped before combining.
  EXPECT_EQ(linemap_combine_location(t.get(), far, {caret, caret}, nullptr), caret);
  // Nothing at all.
  EXPECT_EQ(linemap_combine_location(t.get(), 0, {0, 0}, nullptr), 0u);
  EXPECT_EQ(linemap_location_range(t.get(), 1).start, 1u);
}

TEST(LineMap, AdhocEntriesSurviveGrowthAndIndexRebuild)
{
  test_line_table t;
  enter_main(t);
  linemap_start_line(t.get(), 1, 80);
  std::vector<location_t> made;
  for (uint32_t i = 0; i < 600; i++) {
    location_t caret = 32 + (i % 100) * 32;
    made.push_back(linemap_combine_location(t.get(), caret, {caret, caret + 33 * 32 + i},
                                            reinterpret_cast<void *>(uintptr_t(i * 8 + 8))));
  }
  EXPECT_EQ(t->adhoc_used, 600u);
  EXPECT_GE(t->adhoc_allocated, 600u);
  for (uint32_t i = 0; i < 600; i++) {
    EXPECT_EQ(made[i], ADHOC_LOCATION_BIT | i);
    location_t caret = 32 + (i % 100) * 32;
    EXPECT_EQ(adhoc_locus(t.get(), made[i]), caret);
    EXPECT_EQ(linemap_location_range(t.get(), made[i]).finish, caret + 33 * 32 + i);
  }
  adhoc_index_rebuild(t.get());
  for (uint32_t i = 0; i < 600; i += 7) {
    location_t caret = 32 + (i % 100) * 32;
    EXPECT_EQ(linemap_combine_location(t.get(), caret, {caret, caret + 33 * 32 + i},
                                       reinterpret_cast<void *>(uintptr_t(i * 8 + 8))),
              made[i]);
  }
  EXPECT_EQ(t->adhoc_used, 600u);
  // A freed index comes back when a request needs it.
  adhoc_index_free(t.get());
  EXPECT_EQ(linemap_combine_location(t.get(), 32, {32, 32 + 33 * 32}, reinterpret_cast<void *>(8)),
            made[0]);
  EXPECT_EQ(t->adhoc_used, 600u);
}

// An entry's fields, as a plain index keyed by all of them would store it.
typedef std::tuple<location_t, location_t, location_t, void *> adhoc_key;

struct adhoc_request {
  location_t locus;
  location_span span;
  void *data;
};

// Requests past the packed-range limit, where every range takes an entry:
// mostly tokens read in order, each above every earlier locus, mixed with
// repeats of earlier requests (sometimes through their ad-hoc location) and
// new ranges at loci already passed.
std::vector<adhoc_request> mixed_adhoc_requests(uint32_t seed, uint32_t count)
{
  std::mt19937 random(seed);
  auto pick = [&random](uint32_t below) { return uint32_t(random() % below); };
  std::vector<adhoc_request> made;
  location_t next = LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES + 64;
  for (uint32_t i = 0; i < count; i++) {
    uint32_t kind = pick(8);
    if (kind == 0 && !made.empty()) {
      made.push_back(made[pick(uint32_t(made.size()))]);
    } else if (kind == 1 && !made.empty()) {
      const adhoc_request &old = made[pick(uint32_t(made.size()))];
      made.push_back({old.locus, {old.locus, old.span.finish + 1 + pick(3)}, old.data});
    } else {
      next += 1 + pick(40);
      void *data = pick(4) == 0 ? reinterpret_cast<void *>(uintptr_t(8 + pick(3) * 8))
                                     : nullptr;
      made.push_back({next, {next, next + 1 + pick(20)}, data});
    }
  }
  return made;
}

// Deferred indexing hands out exactly the entries and numbers that a plain
// index, searched for every request, gives; also after the index was
// rebuilt halfway.
TEST(LineMap, AdhocEntriesAsAPlainIndexNumbersThem)
{
  for (uint32_t seed = 1; seed <= 6; seed++) {
    SCOPED_TRACE(seed);
    test_line_table t;
    enter_main(t);
    std::map<adhoc_key, location_t> plain;
    auto number = [&plain](location_t locus, location_span span, void *data) {
      adhoc_key key{locus, span.start, span.finish, data};
      return plain.emplace(key, ADHOC_LOCATION_BIT | uint32_t(plain.size())).first->second;
    };
    std::vector<adhoc_request> requests = mixed_adhoc_requests(seed, 3000);
    for (uint32_t i = 0; i < requests.size(); i++) {
      if (i == 1500)
        adhoc_index_rebuild(t.get());
      adhoc_request r = requests[i];
      // A request may name its locus by an ad-hoc location of that base.
      location_t locus = r.locus;
      if (i % 5 == 0) {
        location_span caret{r.locus, r.locus};
        locus = linemap_combine_location(t.get(), r.locus, caret, &plain);
        ASSERT_EQ(locus, number(r.locus, caret, &plain)) << i;
      }
      ASSERT_EQ(linemap_combine_location(t.get(), locus, r.span, r.data),
                number(r.locus, r.span, r.data))
          << i;
    }
    ASSERT_EQ(t->adhoc_used, plain.size());
    for (const auto &stored : plain) {
      location_span range = linemap_location_range(t.get(), stored.second);
      EXPECT_EQ(adhoc_locus(t.get(), stored.second), std::get<0>(stored.first));
      EXPECT_EQ(range.start, std::get<1>(stored.first));
      EXPECT_EQ(range.finish, std::get<2>(stored.first));
      EXPECT_EQ(adhoc_data(t.get(), stored.second), std::get<3>(stored.first));
    }
  }
}

// Entries above every stored locus are appended without touching the
// index; the first request that could repeat one brings it up to date.
TEST(LineMap, NewAdhocEntriesWaitOutsideTheIndex)
{
  test_line_table t;
  enter_main(t);
  location_t base = LINE_MAP_MAX_LOCATION_WITH_PACKED_RANGES + 32;
  for (uint32_t i = 0; i < 1000; i++)
    linemap_combine_location(t.get(), base + 4 * i, {base + 4 * i, base + 4 * i + 3}, nullptr);
  EXPECT_EQ(t->adhoc_used, 1000u);
  EXPECT_EQ(callback_hash_table_elements(t->adhoc_index), 0u);
  EXPECT_LT(callback_hash_table_size(t->adhoc_index), 1000u);
  EXPECT_EQ(linemap_combine_location(t.get(), base + 40, {base + 40, base + 43}, nullptr),
            ADHOC_LOCATION_BIT | 10);
  EXPECT_EQ(callback_hash_table_elements(t->adhoc_index), 1000u);
  EXPECT_EQ(t->adhoc_used, 1000u);
}

TEST(LineMap, MacroMapsGrowDownward)
{
  test_line_table t;
  test_macro_node node = {"M"};
  EXPECT_FALSE(linemap_tracks_macros(t.get()));
  macro_map *first = linemap_add_macro_map(t.get(), node.node(), 40, 3);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->start, 0x80000000u - 3);
  EXPECT_TRUE(linemap_tracks_macros(t.get()));
  EXPECT_EQ(macro_map_set_token(first, 2, 50, 60), 0x80000000u - 1);
  EXPECT_EQ(first->token_locations[4], 50u);
  EXPECT_EQ(first->token_locations[5], 60u);
  macro_map *second = linemap_add_macro_map(t.get(), node.node(), 40, 2);
  EXPECT_EQ(second->start, 0x80000000u - 5);
  EXPECT_EQ(linemap_lowest_macro_location(t.get()), 0x80000000u - 5);
  EXPECT_EQ(linemap_find_map(t.get(), 0x80000000u - 4), &t->macro_maps[1]);
  EXPECT_EQ(linemap_find_map(t.get(), 0x80000000u - 2), &t->macro_maps[0]);
}

TEST(LineMap, MacroSpaceIsNeverCrossed)
{
  test_line_table t;
  test_macro_node node = {"M"};
  ASSERT_NE(linemap_add_macro_map(t.get(), node.node(), 40, 16), nullptr);
  // Counts that would reach below 0x70000000, including ones whose 32-bit
  // arithmetic would wrap.
  for (uint32_t count : {0x10000000u - 15, 0x7ffffff0u, 0x80000000u, 0xffffffffu})
    EXPECT_EQ(linemap_add_macro_map(t.get(), node.node(), 40, count), nullptr) << count;
  EXPECT_EQ(t->macro_used, 1u);
}

TEST(LineMap, ExhaustedLinesAndMapsHandOutUnknownLocations)
{
  test_line_table t;
  enter_main(t);
  linemap_start_line(t.get(), 1, 5000); // no columns: one location per line
  // With hint 0 the layout is kept, so a far line is a far location.
  location_t high = linemap_start_line(t.get(), 0x5fff0000, 0);
  EXPECT_EQ(high, 32u + 0x5fff0000 - 1);
  EXPECT_EQ(linemap_start_line(t.get(), 0x70000000, 0), 0u);
  EXPECT_EQ(t->top_location, 0x6fffffffu);
  EXPECT_EQ(t->line_start_location, 0x6fffffffu);
  EXPECT_EQ(t->column_limit, 1u);

  // A new map would start at the ceiling: none is added and lines give 0.
  uint32_t maps = t->ordinary_used;
  EXPECT_EQ(linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "late.h", 1), nullptr);
  EXPECT_EQ(t->ordinary_used, maps);
  EXPECT_EQ(linemap_start_line(t.get(), 1, 80), 0u);
  EXPECT_EQ(linemap_column_location(t.get(), 3), t->line_start_location);
  // The early locations still belong to the first map.
  EXPECT_EQ(linemap_find_map(t.get(), 40), &t->ordinary_maps[0]);
  EXPECT_EQ(linemap_find_map(t.get(), 1), nullptr);
}

TEST(LineMap, NewMapStartsUnroundedOnceColumnsAreGone)
{
  test_line_table t;
  enter_main(t);
  linemap_start_line(t.get(), 1, 5000);
  linemap_start_line(t.get(), 0x60000005, 5000);
  const ordinary_map *map = linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "h.h", 1);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->start, t->ordinary_maps[0].start + 0x60000004 + 1);
  // Lines there get no column bits.
  location_t line1 = linemap_start_line(t.get(), 1, 80);
  EXPECT_EQ(linemap_last_ordinary_map(t.get())->line_shift, 0);
  EXPECT_EQ(linemap_column_location(t.get(), 7), line1);
}

TEST(LineMap, MapArraysGrowByTheRule)
{
  test_line_table t;
  enter_main(t);
  EXPECT_EQ(t->ordinary_allocated, 256u); // 2 x max(128, 1)
  linemap_new_maps(t.get(), false, 255);
  EXPECT_EQ(t->ordinary_allocated, 256u);
  line_map *more = linemap_new_maps(t.get(), false, 300);
  EXPECT_EQ(t->ordinary_allocated, 2u * (256 + 300));
  EXPECT_EQ(more->start, 0u); // zeroed
  EXPECT_EQ(t->ordinary_used, 556u);

  // The rounding function's extra bytes are used as whole maps.
  test_line_table r;
  r->size_round_fn = [](uint64_t size) { return size + 100; };
  linemap_new_maps(r.get(), true, 1);
  EXPECT_EQ(r->macro_allocated, (256u * sizeof(macro_map) + 100) / sizeof(macro_map));
}

} // namespace
