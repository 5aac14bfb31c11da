// The location record: range storage, cached expansion with a column
// override, and the all-or-nothing rules of fix-it hints.
#include "locations/located-ranges.h"

#include "diagnostics/input.h"
#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One file, "f.c", whose lines 1 to 3 have 128 columns each; locations of
// line n, column c come from at().
struct record_fixture : testing::Test {
  test_line_table t;
  located_ranges record;
  location_t lines[4];

  record_fixture()
  {
    line_table = t.get();
    linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "f.c", 1);
    for (uint32_t n = 1; n <= 3; n++)
      lines[n] = linemap_start_line(t.get(), n, 80);
    linemap_column_location(t.get(), 127);
    located_ranges_init(&record, t.get(), at(1, 5), nullptr);
  }
  ~record_fixture() override
  {
    located_ranges_fini(&record);
    line_table = nullptr;
  }
  location_t at(uint32_t line, uint32_t column) { return lines[line] + (column << 5); }

  struct seen_hint {
    location_t start, next;
    std::string text;
    bool operator==(const seen_hint &o) const
    {
      return start == o.start && next == o.next && text == o.text;
    }
  };
  std::vector<seen_hint> hints()
  {
    std::vector<seen_hint> seen;
    for (uint32_t i = 0; i < record.fixit_count; i++) {
      const fixit_hint *h = located_ranges_fixit(&record, i);
      EXPECT_EQ(h->length, strlen(h->text));
      seen.push_back({h->start, h->next, h->text});
    }
    return seen;
  }
};

class label_text : public range_label {
public:
  label_string get_text(uint32_t) const override { return {const_cast<char *>("x"), false}; }
};

TEST_F(record_fixture, RangesBeyondTheInlineThree)
{
  label_text label;
  EXPECT_EQ(record.range_count, 1);
  EXPECT_EQ(located_ranges_range(&record, 0)->display_kind, RANGE_CARET);
  for (uint32_t i = 1; i < 4; i++)
    located_ranges_add_range(&record, at(2, i), RANGE_NO_CARET, &label);
  EXPECT_EQ(record.extra_range_capacity, 16);
  EXPECT_EQ(located_ranges_range(&record, 3), &record.extra_ranges[0]);
  for (uint32_t i = 4; i < 20; i++)
    located_ranges_add_range(&record, at(2, i), RANGE_LINES_ONLY, nullptr);
  EXPECT_EQ(record.extra_range_capacity, 32); // the twentieth range
  for (int32_t i = 1; i < 20; i++)
    EXPECT_EQ(located_ranges_range_loc(&record, i), at(2, i));
  EXPECT_EQ(located_ranges_range(&record, 3)->label, &label);

  // Rewriting keeps the label; writing at the end appends without one.
  located_ranges_set_range(&record, 3, at(3, 1), RANGE_CARET);
  EXPECT_EQ(located_ranges_range_loc(&record, 3), at(3, 1));
  EXPECT_EQ(located_ranges_range(&record, 3)->label, &label);
  located_ranges_set_range(&record, 20, at(3, 2), RANGE_CARET);
  EXPECT_EQ(record.range_count, 21);
  EXPECT_EQ(located_ranges_range(&record, 20)->label, nullptr);
}

TEST_F(record_fixture, CachedExpansionAndColumnOverride)
{
  expanded_location e;
  located_ranges_expanded(&e, &record, 0);
  EXPECT_STREQ(e.file, "f.c");
  EXPECT_EQ(e.line, 1);
  EXPECT_EQ(e.column, 5);
  located_ranges_override_column(&record, 7);
  located_ranges_expanded(&e, &record, 0);
  EXPECT_EQ(e.column, 7);
  EXPECT_TRUE(record.expansion_cached);
  located_ranges_set_range(&record, 0, at(2, 9), RANGE_CARET);
  EXPECT_FALSE(record.expansion_cached);
  located_ranges_expanded(&e, &record, 0);
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 7); // the override stays
  located_ranges_add_range(&record, at(3, 4), RANGE_CARET, nullptr);
  located_ranges_expanded(&e, &record, 1);
  EXPECT_EQ(e.line, 3);
  EXPECT_EQ(e.column, 4); // not overridden
}

TEST_F(record_fixture, ConsecutiveReplacementsMerge)
{
  fixit_replace_range(&record, {at(1, 5), at(1, 6)}, "ab");
  fixit_replace_range(&record, {at(1, 7), at(1, 7)}, "cd");
  EXPECT_EQ(hints(), (std::vector<seen_hint>{{at(1, 5), at(1, 8), "abcd"}}));
  // Not adjacent: a hint of its own.
  fixit_remove_range(&record, {at(1, 10), at(1, 11)});
  EXPECT_EQ(hints().size(), 2u);
  EXPECT_EQ(hints()[1], (seen_hint{at(1, 10), at(1, 12), ""}));
  EXPECT_EQ(fixit_last(&record), located_ranges_fixit(&record, 1));
}

TEST_F(record_fixture, NewlinesInHints)
{
  // A newline-terminated insertion at column 1 is accepted and merges with
  // nothing after it.
  fixit_insert_before_at(&record, at(2, 1), "#include <x>\n");
  fixit_insert_before_at(&record, at(2, 1), "y");
  EXPECT_EQ(hints(), (std::vector<seen_hint>{{at(2, 1), at(2, 1), "#include <x>\n"},
                                             {at(2, 1), at(2, 1), "y"}}));
  EXPECT_TRUE(fixit_ends_with_newline(located_ranges_fixit(&record, 0)));
  EXPECT_FALSE(fixit_ends_with_newline(located_ranges_fixit(&record, 1)));

  struct row {
    location_t start;
    const char *text;
  } impossible[] = {
    {at(2, 1), "a\nb"},  // a newline in the middle
    {at(2, 5), "a\n"},   // newline-terminated, but not at column 1
  };
  for (const row &r : impossible) {
    located_ranges other;
    located_ranges_init(&other, t.get(), at(1, 1), nullptr);
    fixit_insert_before(&other, "kept until the bad one");
    fixit_insert_before_at(&other, r.start, r.text);
    EXPECT_EQ(other.fixit_count, 0u) << r.text;
    EXPECT_TRUE(other.impossible_fixit_seen);
    // Later valid hints are refused.
    fixit_insert_before_at(&other, at(3, 3), "z");
    EXPECT_EQ(other.fixit_count, 0u);
    located_ranges_fini(&other);
  }
  // A replacement containing a newline is never an insertion.
  fixit_replace_range(&record, {at(2, 1), at(2, 1)}, "q\n");
  EXPECT_EQ(record.fixit_count, 0u);
}

TEST_F(record_fixture, ImpossibleHintsDiscardEverything)
{
  test_macro_node node = {"M"};
  macro_map *macro = linemap_add_macro_map(t.get(), node.node(), at(1, 2), 1);
  macro_map_set_token(macro, 0, at(1, 2), at(1, 2));
  location_t wide = linemap_combine_location(t.get(), at(1, 2), {at(1, 2), at(3, 9)}, nullptr);
  struct row {
    const char *what;
    void (*add)(located_ranges *, record_fixture *);
  } rows[] = {
    {"removal up to the last column", [](located_ranges *r, record_fixture *f) {
       fixit_remove_range(r, {f->at(1, 100), f->at(1, 127)});
     }},
    {"insertion after the last column", [](located_ranges *r, record_fixture *f) {
       fixit_insert_after_at(r, f->at(1, 127), "x");
     }},
    {"column 0", [](located_ranges *r, record_fixture *f) {
       fixit_insert_before_at(r, f->at(2, 0), "x");
     }},
    {"two lines", [](located_ranges *r, record_fixture *f) {
       fixit_replace_range(r, {f->at(1, 9), f->at(2, 3)}, "x");
     }},
    {"reversed", [](located_ranges *r, record_fixture *f) {
       fixit_replace_range(r, {f->at(1, 9), f->at(1, 3)}, "x");
     }},
    {"macro location", [](located_ranges *r, record_fixture *) {
       fixit_insert_before_at(r, 0x7fffffff, "x");
     }},
  };
  for (const row &r : rows) {
    located_ranges other;
    located_ranges_init(&other, t.get(), at(1, 1), nullptr);
    fixit_insert_before(&other, "a");
    fixit_insert_after_at(&other, at(1, 20), "b");
    ASSERT_EQ(other.fixit_count, 2u) << r.what;
    r.add(&other, this);
    EXPECT_EQ(other.fixit_count, 0u) << r.what;
    EXPECT_TRUE(other.impossible_fixit_seen) << r.what;
    EXPECT_EQ(fixit_last(&other), nullptr);
    located_ranges_fini(&other);
  }

  EXPECT_FALSE(fixit_reject_impossible(&record, at(1, 3)));
  EXPECT_TRUE(fixit_reject_impossible(&record, wide));
  EXPECT_TRUE(record.impossible_fixit_seen);
  EXPECT_TRUE(fixit_reject_impossible(&record, at(1, 3)));
}

TEST_F(record_fixture, HintsAtTheRangesOfLocations)
{
  // The primary location with a packed range from column 5 to 8.
  location_t word = linemap_combine_location(t.get(), at(1, 5), {at(1, 5), at(1, 8)}, nullptr);
  located_ranges_set_range(&record, 0, word, RANGE_CARET);
  fixit_insert_before(&record, "(");
  fixit_insert_after(&record, ")");
  EXPECT_EQ(hints(), (std::vector<seen_hint>{{at(1, 5), at(1, 5), "("},
                                             {at(1, 9), at(1, 9), ")"}}));
  located_ranges replaced;
  located_ranges_init(&replaced, t.get(), word, nullptr);
  fixit_replace(&replaced, "name");
  fixit_remove_at(&replaced, at(1, 9)); // adjacent: merges
  fixit_replace_at(&replaced, at(1, 12), "!");
  fixit_remove(&replaced);             // starts at 5, not at 13: a hint of its own
  std::vector<seen_hint> seen;
  for (uint32_t i = 0; i < replaced.fixit_count; i++) {
    const fixit_hint *h = located_ranges_fixit(&replaced, i);
    seen.push_back({h->start, h->next, h->text});
  }
  EXPECT_EQ(seen, (std::vector<seen_hint>{{at(1, 5), at(1, 10), "name"},
                                          {at(1, 12), at(1, 13), "!"},
                                          {at(1, 5), at(1, 9), ""}}));
  located_ranges_fini(&replaced);
}

TEST_F(record_fixture, ManyHintsGrowTheirArray)
{
  for (uint32_t i = 0; i < 20; i++)
    fixit_insert_before_at(&record, at(3, 1 + 2 * i), "x");
  EXPECT_EQ(record.fixit_count, 20u);
  EXPECT_EQ(record.extra_fixit_capacity, 32);
  for (uint32_t i = 0; i < 20; i++)
    EXPECT_EQ(located_ranges_fixit(&record, i)->start, at(3, 1 + 2 * i));
}

TEST_F(record_fixture, LinesAHintAffects)
{
  fixit_replace_range(&record, {at(2, 3), at(2, 4)}, "z");
  const fixit_hint *hint = fixit_last(&record);
  const char *file = t->ordinary_maps[0].file_name;
  EXPECT_TRUE(fixit_affects_line(hint, file, 2));
  EXPECT_FALSE(fixit_affects_line(hint, file, 1));
  EXPECT_FALSE(fixit_affects_line(hint, file, 3));
  // File names are compared by pointer, as expansion hands them out.
  std::string copy = file;
  EXPECT_FALSE(fixit_affects_line(hint, copy.c_str(), 2));
}

} // namespace
