// The callback hash table: sizes, growth and shrinking, slot reuse, the exact
// slot layout that walks follow, allocation failures, and a random model test.
#include "support/callback-hash-table.h"
#include "support/string-hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <unordered_set>
#include <vector>

namespace {

// Elements are small integers (2 and up) stored as pointers; the hash is the
// value itself, so that slots can be predicted.
void *item(uintptr_t v)
{
  return reinterpret_cast<void *>(v);
}
uintptr_t value(const void *p)
{
  return reinterpret_cast<uintptr_t>(p);
}
hashval_t identity_hash(const void *p)
{
  return static_cast<hashval_t>(value(p));
}
hashval_t mixed_hash(const void *p)
{
  uintptr_t v = value(p);
  return hash_bytes_mixed(&v, sizeof v, 0);
}
int same(const void *a, const void *b)
{
  return a == b;
}

void insert(callback_hash_table *t, uintptr_t v)
{
  void **slot = callback_hash_table_find_slot(t, item(v), INSERT);
  ASSERT_NE(slot, nullptr);
  *slot = item(v);
}

std::vector<uintptr_t> walk_values(callback_hash_table *t, bool shrink = true)
{
  std::vector<uintptr_t> seen;
  auto collect = [](void **slot, void *arg) {
    static_cast<std::vector<uintptr_t> *>(arg)->push_back(value(*slot));
    return 1;
  };
  if (shrink)
    callback_hash_table_walk(t, collect, &seen);
  else
    callback_hash_table_walk_no_shrink(t, collect, &seen);
  return seen;
}

}  // namespace

TEST(CallbackHashTable, CreatedSizes)
{
  struct {
    uint64_t requested, size;
  } cases[] = {{0, 7}, {13, 13}, {14, 31}, {100, 127}};
  for (auto &c : cases) {
    callback_hash_table *t = callback_hash_table_create(c.requested, identity_hash, same, nullptr);
    EXPECT_EQ(callback_hash_table_size(t), c.size) << c.requested;
    EXPECT_EQ(callback_hash_table_elements(t), 0u);
    callback_hash_table_delete(t);
  }
}

TEST(CallbackHashTableDeathTest, NoPrimeLargeEnough)
{
  EXPECT_DEATH(callback_hash_table_create(4294967292u, identity_hash, same, nullptr),
               "Cannot find prime bigger than 4294967292\n");
}

TEST(CallbackHashTable, GrowsBeforeTheInsertionThatReachesThreeQuarters)
{
  callback_hash_table *t = callback_hash_table_create(13, identity_hash, same, nullptr);
  for (uintptr_t v = 2; v < 12; v++)
    insert(t, v);
  EXPECT_EQ(callback_hash_table_size(t), 13u);  // 10 × 4 = 40 ≥ 39 only now
  insert(t, 12);
  EXPECT_EQ(callback_hash_table_size(t), 31u);
  EXPECT_EQ(callback_hash_table_elements(t), 11u);
  for (uintptr_t v = 2; v < 13; v++)
    EXPECT_EQ(callback_hash_table_find(t, item(v)), item(v));
  callback_hash_table_delete(t);
}

TEST(CallbackHashTable, ManyDeletionsRebuildSmaller)
{
  callback_hash_table *t = callback_hash_table_create(100, identity_hash, same, nullptr);
  for (uintptr_t v = 2; v < 98; v++)
    insert(t, v);
  EXPECT_EQ(callback_hash_table_size(t), 127u);
  for (uintptr_t v = 12; v < 98; v++)
    callback_hash_table_remove(t, item(v));
  EXPECT_EQ(callback_hash_table_elements(t), 10u);
  insert(t, 500);  // 96 occupied of 127: rebuilt for 10 live, 127 > 32 and 80 < 127
  EXPECT_EQ(callback_hash_table_size(t), 31u);
  EXPECT_EQ(t->n_deleted, 0u);
  EXPECT_EQ(t->n_elements, 11u);
  callback_hash_table_delete(t);
}

TEST(CallbackHashTable, WalkFollowsSlotsAndCountsProbes)
{
  callback_hash_table *t = callback_hash_table_create(13, identity_hash, same, nullptr);
  insert(t, 5);
  insert(t, 14);  // slot 1
  insert(t, 18);  // starts at 5, steps 1 + 18 mod 11 = 8 to slot 0
  EXPECT_EQ(walk_values(t), (std::vector<uintptr_t>{18, 14, 5}));
  EXPECT_EQ(t->searches, 3u);
  EXPECT_EQ(t->collisions, 1u);
  EXPECT_EQ(callback_hash_table_find(t, item(18)), item(18));
  EXPECT_EQ(callback_hash_table_find(t, item(31)), nullptr);  // 5, then 2: empty
  EXPECT_EQ(t->searches, 5u);
  EXPECT_EQ(t->collisions, 3u);
  EXPECT_DOUBLE_EQ(callback_hash_table_collisions(t), 3.0 / 5.0);

  // A walk stops when its callback returns 0.
  int calls = 0;
  callback_hash_table_walk(
      t, [](void **, void *arg) { return ++*static_cast<int *>(arg) < 2 ? 1 : 0; }, &calls);
  EXPECT_EQ(calls, 2);
  callback_hash_table_delete(t);
}

TEST(CallbackHashTable, InsertionReusesTheFirstDeletedSlot)
{
  callback_hash_table *t = callback_hash_table_create(13, identity_hash, same, nullptr);
  insert(t, 13);  // slot 0
  insert(t, 26);  // 0 taken, step 1 + 26 mod 11 = 5
  callback_hash_table_remove(t, item(13));
  EXPECT_EQ(t->n_deleted, 1u);
  // 39 starts at the deleted slot 0, passes slot 7 (empty after step 7).
  void **slot = callback_hash_table_find_slot(t, item(39), INSERT);
  EXPECT_EQ(slot, &t->entries[0]);
  EXPECT_EQ(*slot, nullptr);
  *slot = item(39);
  EXPECT_EQ(t->n_deleted, 0u);
  EXPECT_EQ(t->n_elements, 2u);
  EXPECT_EQ(callback_hash_table_find(t, item(26)), item(26));
  EXPECT_EQ(callback_hash_table_find_slot(t, item(13), NO_INSERT), nullptr);
  callback_hash_table_delete(t);
}

TEST(CallbackHashTable, WalkShrinksALargeSparseTable)
{
  callback_hash_table *t = callback_hash_table_create(100, mixed_hash, same, nullptr);
  for (uintptr_t v = 2; v < 12; v++)
    insert(t, v);
  EXPECT_EQ(walk_values(t, false).size(), 10u);
  EXPECT_EQ(callback_hash_table_size(t), 127u);
  std::vector<uintptr_t> seen = walk_values(t);
  EXPECT_EQ(callback_hash_table_size(t), 31u);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<uintptr_t>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  callback_hash_table_delete(t);
}

namespace {
std::vector<uintptr_t> deleted;
void record_delete(void *p)
{
  deleted.push_back(value(p));
}
}  // namespace

TEST(CallbackHashTable, EmptyingKeepsSmallArraysAndReplacesHugeOnes)
{
  struct {
    uint64_t requested, before, after;
  } cases[] = {{13, 13, 13}, {131071, 131071, 131071}, {262139, 262139, 251}};
  for (auto &c : cases) {
    deleted.clear();
    callback_hash_table *t =
        callback_hash_table_create(c.requested, identity_hash, same, record_delete);
    EXPECT_EQ(callback_hash_table_size(t), c.before);
    insert(t, 2);
    insert(t, 3);
    callback_hash_table_empty(t);
    EXPECT_EQ(deleted, (std::vector<uintptr_t>{3, 2}));  // last slot first
    EXPECT_EQ(callback_hash_table_size(t), c.after);
    EXPECT_EQ(t->size_prime_index, hash_table_prime_search(c.after));
    EXPECT_EQ(callback_hash_table_elements(t), 0u);
    EXPECT_EQ(callback_hash_table_find(t, item(2)), nullptr);
    insert(t, 4);
    EXPECT_EQ(callback_hash_table_find(t, item(4)), item(4));
    callback_hash_table_delete(t);
  }
}

TEST(CallbackHashTable, DeleteCallbackSeesEveryElementLeaving)
{
  deleted.clear();
  callback_hash_table *t = callback_hash_table_create(13, identity_hash, same, record_delete);
  for (uintptr_t v : {2, 3, 4, 5})
    insert(t, v);
  callback_hash_table_remove(t, item(3));
  callback_hash_table_remove(t, item(99));  // absent: nothing happens
  callback_hash_table_clear_slot(t, callback_hash_table_find_slot(t, item(4), NO_INSERT));
  EXPECT_EQ(deleted, (std::vector<uintptr_t>{3, 4}));
  EXPECT_EQ(callback_hash_table_elements(t), 2u);
  callback_hash_table_delete(t);
  EXPECT_EQ(deleted, (std::vector<uintptr_t>{3, 4, 5, 2}));
}

TEST(CallbackHashTableDeathTest, ClearSlotRejectsForeignAndEmptySlots)
{
  callback_hash_table *t = callback_hash_table_create(13, identity_hash, same, nullptr);
  insert(t, 2);
  void *outside = item(2);
  EXPECT_DEATH(callback_hash_table_clear_slot(t, &outside), "callback_hash_table_clear_slot");
  EXPECT_DEATH(callback_hash_table_clear_slot(t, &t->entries[3]), "callback_hash_table_clear_slot");
  callback_hash_table_delete(t);
}

namespace {
// An allocator that fails once its budget of calls is spent.
int budget;
std::vector<void *> freed;
void *limited_calloc(size_t count, size_t size)
{
  return budget-- > 0 ? calloc(count, size) : nullptr;
}
void tracked_free(void *p)
{
  freed.push_back(p);
  free(p);
}
}  // namespace

TEST(CallbackHashTable, AllocationFailures)
{
  budget = 0;
  EXPECT_EQ(callback_hash_table_create_alloc(13, identity_hash, same, nullptr, limited_calloc,
                                             tracked_free),
            nullptr);
  // The record is had but not the array: the record goes back.
  budget = 1;
  freed.clear();
  EXPECT_EQ(callback_hash_table_create_alloc(13, identity_hash, same, nullptr, limited_calloc,
                                             tracked_free),
            nullptr);
  EXPECT_EQ(freed.size(), 1u);

  // An insertion whose growth fails returns null and leaves the table intact.
  budget = 2;
  callback_hash_table *t = callback_hash_table_create_alloc(13, identity_hash, same, nullptr,
                                                            limited_calloc, tracked_free);
  for (uintptr_t v = 2; v < 12; v++)
    insert(t, v);
  EXPECT_EQ(callback_hash_table_find_slot(t, item(12), INSERT), nullptr);
  EXPECT_EQ(callback_hash_table_expand(t), 0);
  EXPECT_EQ(callback_hash_table_size(t), 13u);
  for (uintptr_t v = 2; v < 12; v++)
    EXPECT_EQ(callback_hash_table_find(t, item(v)), item(v));
  callback_hash_table_delete(t);
}

namespace {
struct arena {
  int allocations = 0, releases = 0;
};
void *arena_alloc(void *arg, size_t count, size_t size)
{
  static_cast<arena *>(arg)->allocations++;
  return calloc(count, size);
}
void arena_free(void *arg, void *p)
{
  static_cast<arena *>(arg)->releases++;
  free(p);
}
}  // namespace

TEST(CallbackHashTable, ArgumentTakingAllocators)
{
  arena a;
  callback_hash_table *t =
      callback_hash_table_create_with_arg(7, identity_hash, same, nullptr, &a, arena_alloc,
                                          arena_free);
  EXPECT_EQ(a.allocations, 2);  // record and array
  for (uintptr_t v = 2; v < 30; v++)
    insert(t, v);
  EXPECT_GT(a.allocations, 2);
  callback_hash_table_delete(t);
  EXPECT_EQ(a.releases, a.allocations);

  // Switching a default table to an arena: later arrays come from the arena.
  arena b;
  t = callback_hash_table_create(7, identity_hash, same, nullptr);
  callback_hash_table_set_functions_with_arg(t, identity_hash, same, nullptr, &b, arena_alloc,
                                             arena_free);
  for (uintptr_t v = 2; v < 30; v++)
    insert(t, v);
  // Every array since the switch came from the arena; it also released the
  // first one, and the current one is still live.
  EXPECT_GT(b.allocations, 0);
  EXPECT_EQ(b.releases, b.allocations);
  free(t->entries);
  free(t);
}

// Random insertions and removals with a crowded hash against a model set.
TEST(CallbackHashTable, MatchesAModelSet)
{
  auto crowded = [](const void *p) { return static_cast<hashval_t>(value(p) % 97); };
  callback_hash_table *t = callback_hash_table_create(0, crowded, same, nullptr);
  std::unordered_set<uintptr_t> model;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; step++) {
    uintptr_t v = 2 + random() % 600;
    switch (random() % 3) {
    case 0:
    case 1:
      if (step > 12000) {
        callback_hash_table_remove(t, item(v));
        model.erase(v);
      } else {
        insert(t, v);
        model.insert(v);
      }
      break;
    case 2:
      ASSERT_EQ(callback_hash_table_find(t, item(v)) != nullptr, model.count(v) == 1) << v;
      break;
    }
    ASSERT_EQ(callback_hash_table_elements(t), model.size());
    ASSERT_LT(t->n_elements * 4, t->size * 3 + 4);
  }
  std::vector<uintptr_t> seen = walk_values(t);
  EXPECT_EQ(std::unordered_set<uintptr_t>(seen.begin(), seen.end()), model);
  EXPECT_EQ(seen.size(), model.size());
  callback_hash_table_delete(t);
}
