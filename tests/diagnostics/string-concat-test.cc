// The string concatenation database: joined literals found again from the
// start of their first piece, also through a macro expansion.
#include "diagnostics/string-concat.h"

#include "diagnostics/input.h"
#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

namespace {

struct concat : testing::Test {
  test_line_table t;
  const ordinary_map *map;
  concat()
  {
    line_table = t.get();
    map = linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "s.c", 1);
    linemap_start_line(t.get(), 1, 80);
    linemap_start_line(t.get(), 2, 80);
    linemap_column_location(t.get(), 60);
  }
  ~concat() override { line_table = nullptr; }
  location_t at(uint32_t line, uint32_t column)
  {
    return linemap_line_column_location(t.get(), linemap_last_ordinary_map(t.get()), line,
                                        column);
  }
};

TEST_F(concat, PiecesAreFoundFromTheFirstPiece)
{
  string_concat_db db;
  location_t pieces[] = {location_make(at(1, 5), at(1, 5), at(1, 9)), at(1, 11), at(2, 3)};
  record_string_concatenation(&db, 3, pieces);
  int32_t count = 0;
  location_t *found = nullptr;
  // The caret of the first piece differs from its start; the key is the start.
  ASSERT_TRUE(get_string_concatenation(&db, at(1, 5), &count, &found));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(found[1], pieces[1]);
  EXPECT_EQ(found[2], pieces[2]);
  EXPECT_TRUE(get_string_concatenation(&db, pieces[0], &count, &found));
  EXPECT_FALSE(get_string_concatenation(&db, at(1, 11), &count, &found));
  // A second record under the same key replaces the first.
  location_t again[] = {at(1, 5), at(2, 1)};
  record_string_concatenation(&db, 2, again);
  ASSERT_TRUE(get_string_concatenation(&db, at(1, 5), &count, &found));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(found[1], again[1]);
}

TEST_F(concat, ReservedKeysAreNotRecorded)
{
  string_concat_db db;
  location_t pieces[] = {BUILTINS_LOCATION, at(1, 3)};
  record_string_concatenation(&db, 2, pieces);
  int32_t count = 0;
  location_t *found = nullptr;
  EXPECT_FALSE(get_string_concatenation(&db, BUILTINS_LOCATION, &count, &found));
  EXPECT_FALSE(get_string_concatenation(&db, UNKNOWN_LOCATION, &count, &found));
  EXPECT_EQ(db.table.elements(), 0u);
}

TEST_F(concat, KeyIsTheExpansionPointOfAMacroPiece)
{
  test_macro_node node = {"S"};
  location_t expansion = at(2, 10);
  macro_map *macro = linemap_add_macro_map(t.get(), node.node(), expansion, 1);
  location_t in_macro = macro_map_set_token(macro, 0, at(1, 20), at(1, 20));
  string_concat_db db;
  location_t pieces[] = {in_macro, at(2, 20)};
  record_string_concatenation(&db, 2, pieces);
  int32_t count = 0;
  location_t *found = nullptr;
  EXPECT_TRUE(get_string_concatenation(&db, expansion, &count, &found));
  EXPECT_EQ(count, 2);
}

} // namespace
