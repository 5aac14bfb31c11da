// Vector growth and element operations.
#include "support/vec.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Vec, GrowthRule)
{
  EXPECT_EQ(calculate_allocation_1(0, 1), 4u);
  EXPECT_EQ(calculate_allocation_1(4, 5), 8u);
  EXPECT_EQ(calculate_allocation_1(15, 16), 30u);
  EXPECT_EQ(calculate_allocation_1(16, 17), 24u);
  EXPECT_EQ(calculate_allocation_1(16, 100), 100u);
}

TEST(VecDeathTest, GrowthRuleNeedsRoomToGrow)
{
  EXPECT_DEATH(calculate_allocation_1(8, 8), "calculate_allocation_1");
}

TEST(Vec, PushSequenceOfCapacities)
{
  vec<int> *v = nullptr;
  std::vector<uint32_t> seen;
  for (int i = 0; i < 100; i++) {
    vec_safe_push(v, i);
    if (seen.empty() || seen.back() != v->capacity())
      seen.push_back(v->capacity());
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{4, 8, 16, 24, 36, 54, 81, 121}));
  for (int i = 0; i < 100; i++)
    EXPECT_EQ((*v)[i], i);
  vec_release(v);
  EXPECT_EQ(v, nullptr);
}

TEST(Vec, EmbeddedStorageMovesToTheHeap)
{
  auto_vec<long, 8> a;
  vec<long> *embedded = a.v;
  for (long i = 0; i < 8; i++)
    vec_safe_push(a.v, i);
  EXPECT_EQ(a.v, embedded);
  vec_safe_push(a.v, 8L);
  EXPECT_NE(a.v, embedded);
  EXPECT_EQ(a.v->capacity(), 9u);
  EXPECT_FALSE(a.v->embedded());
  EXPECT_EQ(embedded->length(), 8u);
  for (long i = 0; i < 9; i++)
    EXPECT_EQ((*a.v)[i], i);
}

TEST(Vec, Removals)
{
  vec<int> *v = nullptr;
  for (int i = 0; i < 6; i++)
    vec_safe_push(v, i);
  vec_ordered_remove(v, 1);    // 0 2 3 4 5
  vec_unordered_remove(v, 0);  // 5 2 3 4
  vec_safe_insert(v, 2, 9);    // 5 2 9 3 4
  vec_block_remove(v, 0, 2);   // 9 3 4
  EXPECT_EQ(vec_pop(v), 4);
  std::vector<int> got(v->begin(), v->end());
  EXPECT_EQ(got, (std::vector<int>{9, 3}));
  vec_reserve_exact(v, 10);
  EXPECT_EQ(v->capacity(), 12u);
  vec_release(v);
}
