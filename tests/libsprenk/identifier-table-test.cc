// The identifier table: interning, probing past deleted slots, growth, the
// walks, and the statistics of an empty table.
#include "libsprenk/preprocessor-internal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct test_table {
  ident_table *table;
  std::vector<ident_node *> nodes; // every node handed out, freed at the end

  explicit test_table(uint32_t order = 4)
  {
    table = idtab_create(order);
    table->node_allocator = allocate;
    table->reader = reinterpret_cast<preprocessor_reader *>(this);
  }
  ~test_table()
  {
    for (ident_node *node : nodes)
      free(node);
    idtab_destroy(table);
  }
  static ident_node *allocate(ident_table *table)
  {
    test_table *self = reinterpret_cast<test_table *>(table->reader);
    self->nodes.push_back(static_cast<ident_node *>(calloc(1, sizeof(ident_node))));
    return self->nodes.back();
  }
  ident_node *find(const std::string &text, idtab_mode mode = IDTAB_INSERT)
  {
    return idtab_find(table, text.data(), uint32_t(text.size()), mode);
  }
};

TEST(IdentifierTable, Hash)
{
  EXPECT_EQ(idtab_hash(reinterpret_cast<const unsigned char *>(""), 0), 0u);
  // h = h * 67 + c - 113 over the bytes, plus the length.
  EXPECT_EQ(idtab_hash(reinterpret_cast<const unsigned char *>("a"), 1), uint32_t('a' - 113 + 1));
  EXPECT_EQ(idtab_hash(reinterpret_cast<const unsigned char *>("ab"), 2),
            uint32_t(('a' - 113) * 67 + 'b' - 113 + 2));
}

TEST(IdentifierTable, InternsOnce)
{
  test_table t;
  ident_node *abc = t.find("abc");
  EXPECT_EQ(t.find("abc"), abc);
  EXPECT_NE(t.find("ab"), abc);
  EXPECT_STREQ(abc->text, "abc");
  EXPECT_EQ(abc->length, 3u);
  ident_node *empty = t.find("");
  EXPECT_EQ(empty->hash, 0u);
  EXPECT_EQ(t.find(""), empty);
  EXPECT_EQ(t.find("zzz", IDTAB_FIND_ONLY), nullptr);
}

TEST(IdentifierTable, GrowsAtThreeQuartersAndKeepsEveryNode)
{
  test_table t(13);
  std::vector<ident_node *> nodes;
  for (int i = 0; i < 6143; i++)
    nodes.push_back(t.find("n" + std::to_string(i)));
  EXPECT_EQ(t.table->slot_count, 8192u);
  nodes.push_back(t.find("n6143"));
  EXPECT_EQ(t.table->slot_count, 16384u);
  for (int i = 0; i < 6144; i++)
    EXPECT_EQ(t.find("n" + std::to_string(i), IDTAB_FIND_ONLY), nodes[size_t(i)]);
}

// Spellings whose probe sequences share a first slot.
std::vector<std::string> colliding(test_table &t, size_t count)
{
  uint32_t mask = t.table->slot_count - 1;
  std::vector<std::string> out;
  uint32_t want = UINT32_MAX;
  for (int i = 0; out.size() < count; i++) {
    std::string s = "k" + std::to_string(i);
    uint32_t slot = idtab_hash(reinterpret_cast<const unsigned char *>(s.data()),
                               uint32_t(s.size())) & mask;
    if (want == UINT32_MAX)
      want = slot;
    if (slot == want)
      out.push_back(s);
  }
  return out;
}

TEST(IdentifierTable, ProbesPastDeletedSlotsAndReusesThem)
{
  test_table t(8);
  std::vector<std::string> names = colliding(t, 3);
  ident_node *first = t.find(names[0]);
  ident_node *second = t.find(names[1]);
  idtab_prune(t.table, [](preprocessor_reader *, ident_node *node, void *data) {
    return node == data ? 1 : 0;
  }, first);
  EXPECT_EQ(t.find(names[0], IDTAB_FIND_ONLY), nullptr);
  EXPECT_EQ(t.find(names[1], IDTAB_FIND_ONLY), second);
  uint32_t entries = t.table->entry_count;
  ident_node *third = t.find(names[2]);
  // The first deleted slot on the way is reused.
  uint32_t slot = third->hash & (t.table->slot_count - 1);
  EXPECT_EQ(t.table->slots[slot], third);
  EXPECT_EQ(t.table->entry_count, entries + 1);
}

TEST(IdentifierTable, ForEachStopsAndSkipsDeleted)
{
  test_table t;
  ident_node *a = t.find("a");
  t.find("b");
  t.find("c");
  idtab_prune(t.table, [](preprocessor_reader *, ident_node *node, void *data) {
    return node == data ? 1 : 0;
  }, a);
  int seen = 0;
  idtab_for_each(t.table, [](preprocessor_reader *, ident_node *node, void *data) {
    EXPECT_STRNE(node->text, "a");
    ++*static_cast<int *>(data);
    return 1;
  }, &seen);
  EXPECT_EQ(seen, 2);
  seen = 0;
  idtab_for_each(t.table, [](preprocessor_reader *, ident_node *, void *data) {
    ++*static_cast<int *>(data);
    return 0;
  }, &seen);
  EXPECT_EQ(seen, 1);
}

TEST(IdentifierTable, AdoptsASlotArray)
{
  test_table t;
  ident_node *kept = t.find("kept");
  ident_node **slots = static_cast<ident_node **>(calloc(32, sizeof(ident_node *)));
  slots[kept->hash & 31] = kept;
  idtab_adopt(t.table, slots, 32, 1, true);
  EXPECT_EQ(t.find("kept", IDTAB_FIND_ONLY), kept);
  EXPECT_EQ(t.table->slot_count, 32u);
}

std::string statistics(test_table &t)
{
  testing::internal::CaptureStderr();
  idtab_dump_stats(t.table);
  return testing::internal::GetCapturedStderr();
}

TEST(IdentifierTable, StatisticsOfAnEmptyTable)
{
  test_table t;
  std::string report = statistics(t);
  // No division by an empty table's zero counts.
  EXPECT_NE(report.find("identifiers:                    0 (0.00%)"), std::string::npos) << report;
  EXPECT_NE(report.find("coll/search:                    0.0000"), std::string::npos);
  EXPECT_NE(report.find("0.00 bytes (+/- 0.00)"),
            std::string::npos);
  EXPECT_EQ(report.find("nan"), std::string::npos);
}

TEST(IdentifierTable, StatisticsOfAFullerTable)
{
  test_table t;
  t.find("ab");
  t.find("abcd");
  std::string report = statistics(t);
  EXPECT_NE(report.find("3.00 bytes (+/- 1.00)"),
            std::string::npos) << report;
  EXPECT_NE(report.find("longest entry:                  4"), std::string::npos);
}

} // namespace
