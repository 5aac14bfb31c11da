// Random sequences of maps, lines, columns, range combinations and macro
// expansions, checked against a model of what was put in.
#include "locations/line-map.h"

#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct put_in {
  location_t location;
  const char *file;
  uint32_t line;
  uint32_t column; // 0 when the column could not be encoded
};

struct macro_token {
  location_t location;
  location_t spelling;
  location_t expansion_point;
};

// The map a location belongs to, by a linear scan.
const line_map *reference_map(const linemap_set *set, location_t location)
{
  if (location >= linemap_lowest_macro_location(set)) {
    for (uint32_t i = 0; i < set->macro_used; i++) {
      const macro_map &m = set->macro_maps[i];
      if (location >= m.start && location - m.start < m.token_count)
        return &m;
    }
    return nullptr;
  }
  const line_map *found = nullptr;
  for (uint32_t i = 0; i < set->ordinary_used && set->ordinary_maps[i].start <= location; i++)
    found = &set->ordinary_maps[i];
  return found;
}

class generator {
public:
  generator(uint32_t seed, bool ordered) : random_(seed), ordered_(ordered) {}

  uint32_t pick(uint32_t below) { return uint32_t(random_() % below); }

  // Fills the table; in ordered mode lines only go forward, there are no
  // includes and columns never force a new layout of the current line, so
  // that location order is (line, column) order.
  void run(linemap_set *set, uint32_t steps)
  {
    names_.reserve(64);
    names_.push_back("f0.c");
    linemap_add_ordinary_map(set, LC_ENTER, 0, names_.back().c_str(), 1);
    file_ = names_.back().c_str();
    line_ = 1;
    linemap_start_line(set, line_, 80);
    for (uint32_t step = 0; step < steps; step++) {
      uint32_t action = pick(100);
      if (action < 45)
        next_line(set);
      else if (action < 85)
        column(set);
      else if (action < 90 && !ordered_)
        enter_or_leave(set);
      else if (action < 95 && !ordered_)
        combine(set);
      else if (!ordered_)
        expand_macro(set);
    }
  }

  std::vector<put_in> records;
  std::vector<macro_token> tokens;
  std::vector<size_t> pure; // records of plain, rangeless locations

private:
  void next_line(linemap_set *set)
  {
    uint32_t kind = pick(20);
    int64_t delta = kind < 14 ? pick(4) : kind < 18 ? 5 + pick(300) : ordered_ ? 1 : -1 - int(pick(4));
    if (int64_t(line_) + delta < 1)
      delta = 1;
    line_ = uint32_t(line_ + delta);
    uint32_t hint = ordered_ ? pick(128) : pick(10) == 0 ? 3000 + pick(3000) : pick(200);
    location_t location = linemap_start_line(set, line_, hint);
    pure.push_back(records.size());
    records.push_back({location, file_, line_, 0});
  }

  void column(linemap_set *set)
  {
    uint32_t limit = set->column_limit;
    uint32_t column;
    if (ordered_)
      column = limit > 1 ? pick(limit) : 0;
    else
      column = pick(10) == 0 ? pick(6000) : pick(200);
    bool fits = column < limit || column + 50 <= 4096;
    location_t location = linemap_column_location(set, column);
    pure.push_back(records.size());
    records.push_back({location, file_, line_, fits ? column : 0});
  }

  void enter_or_leave(linemap_set *set)
  {
    if (set->include_depth > 1 && pick(2) == 0) {
      const ordinary_map *map = linemap_add_ordinary_map(set, LC_LEAVE, 0, nullptr, 0);
      file_ = map->file_name;
      line_ = map->first_line;
    } else if (names_.size() < names_.capacity()) {
      names_.push_back("f" + std::to_string(names_.size()) + ".h");
      file_ = names_.back().c_str();
      line_ = 1;
      linemap_add_ordinary_map(set, LC_ENTER, 0, file_, line_);
    }
    linemap_start_line(set, line_, 80);
  }

  void combine(linemap_set *set)
  {
    if (pure.size() < 2)
      return;
    size_t k = pick(uint32_t(pure.size() - 1));
    put_in caret = records[pure[k]];
    location_t a = records[pure[pick(uint32_t(pure.size()))]].location;
    location_t b = records[pure[pick(uint32_t(pure.size()))]].location;
    location_span span = {a < b ? a : b, a < b ? b : a};
    if (pick(2) == 0) {
      // From the caret to the location made after it: often a short range
      // on one line, which packs.
      location_t after = records[pure[k + 1]].location;
      span = {caret.location, after > caret.location ? after : caret.location};
    }
    void *data = pick(4) == 0 ? &records : nullptr;
    location_t combined = linemap_combine_location(set, caret.location, span, data);
    if (caret.location == 0 && data == nullptr)
      return;
    // Every location of these tests is pure, so the range comes back whole.
    location_span range = linemap_location_range(set, combined);
    if (combined != caret.location) {
      EXPECT_EQ(range.start, span.start);
      EXPECT_EQ(range.finish, span.finish);
    }
    EXPECT_EQ(linemap_strip_range(set, combined), caret.location);
    EXPECT_EQ(location_is_adhoc(combined) ? adhoc_data(set, combined) : nullptr, data);
    records.push_back({combined, caret.file, caret.line, caret.column});
  }

  void expand_macro(linemap_set *set)
  {
    if (records.empty())
      return;
    uint32_t count = 1 + pick(8);
    location_t expansion_point = records[pick(uint32_t(records.size()))].location;
    macro_map *map = linemap_add_macro_map(set, node_.node(), expansion_point, count);
    for (uint32_t i = 0; i < count; i++) {
      location_t spelling = records[pick(uint32_t(records.size()))].location;
      tokens.push_back({macro_map_set_token(map, i, spelling, spelling), spelling,
                        expansion_point});
    }
  }

  std::mt19937 random_;
  bool ordered_;
  std::vector<std::string> names_;
  const char *file_ = nullptr;
  uint32_t line_ = 0;
  test_macro_node node_ = {"M"};
};

void check_lookup(linemap_set *set, location_t location, std::mt19937 &random)
{
  const line_map *expected = reference_map(set, location_is_adhoc(location)
                                                    ? adhoc_locus(set, location)
                                                    : location);
  set->ordinary_cache = 0;
  set->macro_cache = 0;
  EXPECT_EQ(linemap_find_map(set, location), expected) << "cold " << location;
  // Warm: the cache left by the lookup just made, or by a random one.
  EXPECT_EQ(linemap_find_map(set, location), expected) << "warm " << location;
  if (set->ordinary_used)
    set->ordinary_cache = random() % set->ordinary_used;
  if (set->macro_used)
    set->macro_cache = random() % set->macro_used;
  EXPECT_EQ(linemap_find_map(set, location), expected) << "random cache " << location;
}

TEST(LineMapProperty, ExpandingReturnsWhatWasPutIn)
{
  for (uint32_t seed = 1; seed <= 40; seed++) {
    test_line_table t;
    generator g(seed, false);
    g.run(t.get(), 1500);
    // The sequence reached the paths it is meant to cover.
    EXPECT_GT(t->ordinary_used, 20u);
    EXPECT_GT(t->adhoc_used, 0u);
    EXPECT_GT(t->packed_range_count, 0u);
    EXPECT_GT(t->macro_used, 0u);
    std::mt19937 random(seed);
    for (const put_in &r : g.records) {
      check_lookup(t.get(), r.location, random);
      const ordinary_map *map;
      location_t resolved =
          linemap_resolve_location(t.get(), r.location, RESOLVE_TO_SPELLING, &map);
      expanded_location e = linemap_expand_location(t.get(), map, resolved);
      ASSERT_NE(e.file, nullptr) << "seed " << seed;
      EXPECT_STREQ(e.file, r.file) << "seed " << seed << " location " << r.location;
      EXPECT_EQ(uint32_t(e.line), r.line) << "seed " << seed << " location " << r.location;
      EXPECT_EQ(uint32_t(e.column), r.column) << "seed " << seed << " location " << r.location;
    }
    for (const macro_token &m : g.tokens) {
      check_lookup(t.get(), m.location, random);
      EXPECT_EQ(linemap_resolve_location(t.get(), m.location, RESOLVE_TO_SPELLING, nullptr),
                m.spelling);
      location_t point = m.expansion_point;
      if (location_is_adhoc(point))
        point = adhoc_locus(t.get(), point);
      EXPECT_EQ(linemap_resolve_location(t.get(), m.location, RESOLVE_TO_EXPANSION, nullptr),
                point);
    }
    if (testing::Test::HasFailure())
      return;
  }
}

TEST(LineMapProperty, ComparisonFollowsLineAndColumn)
{
  for (uint32_t seed = 1; seed <= 20; seed++) {
    test_line_table t;
    generator g(seed, true);
    g.run(t.get(), 1500);
    std::mt19937 random(seed);
    const std::vector<put_in> &r = g.records;
    for (uint32_t k = 0; k < 5000; k++) {
      const put_in &a = r[random() % r.size()];
      const put_in &b = r[random() % r.size()];
      int expected = a.line != b.line ? (a.line < b.line ? 1 : -1)
                     : a.column != b.column ? (a.column < b.column ? 1 : -1)
                                            : 0;
      int32_t c = linemap_compare_locations(t.get(), a.location, b.location);
      ASSERT_EQ((c > 0) - (c < 0), expected)
          << "seed " << seed << ": " << a.line << ":" << a.column << " vs " << b.line << ":"
          << b.column;
    }
  }
}

} // namespace
