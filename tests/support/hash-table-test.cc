// The typed hash table and its maps and sets: created sizes, growth,
// shrinking, slot reuse, slot-order iteration, and random model tests.
#include "support/hash-table.h"

#include "support/callback-hash-table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Integer keys that hash to themselves, so that slots can be predicted.
typedef hash_set_descriptor<uint64_t, int_hash_traits<uint64_t>> identity_set;

std::vector<uint64_t> in_slot_order(hash_table<identity_set> &t)
{
  return std::vector<uint64_t>(t.begin(), t.end());
}

void insert(hash_table<identity_set> &t, uint64_t v)
{
  *t.find_slot(v, INSERT) = v;
}

}  // namespace

TEST(HashTable, HigherPrimeIndex)
{
  EXPECT_EQ(hash_table_higher_prime_index(0), 0u);
  EXPECT_EQ(hash_table_higher_prime_index(7), 0u);
  EXPECT_EQ(hash_table_higher_prime_index(8), 1u);
  EXPECT_EQ(hash_table_higher_prime_index(4294967291u), 29u);
}

TEST(HashTableDeathTest, NoPrimeLargeEnough)
{
  EXPECT_DEATH(hash_table_higher_prime_index(4294967292u), "hash_table_higher_prime_index");
}

TEST(HashTableDeathTest, CheckingReport)
{
  EXPECT_DEATH(hashtab_chk_error(),
               "^hash table checking failed: equal operator returns true for a pair of values "
               "with a different hash value\ninternal compiler error: in hashtab_chk_error");
}

TEST(HashTableDeathTest, MarkerValuesAreNotKeys)
{
  hash_map<uint32_t, int> map;
  EXPECT_DEATH(map.put(0, 5), "check_key");
  hash_set<const char *> set;
  EXPECT_DEATH(set.add(reinterpret_cast<const char *>(1)), "check_key");
}

TEST(HashTable, CreatedSizes)
{
  struct {
    uint64_t requested, size;
  } cases[] = {{0, 7}, {13, 13}, {14, 31}, {100, 127}, {131072, 262139}};
  for (auto &c : cases) {
    hash_table<identity_set> t(c.requested);
    EXPECT_EQ(t.size(), c.size) << c.requested;
    EXPECT_EQ(t.begin(), t.end());
  }
}

TEST(HashTable, GrowsBeforeTheInsertionThatReachesThreeQuarters)
{
  hash_table<identity_set> t(13);
  for (uint64_t v = 2; v < 12; v++)
    insert(t, v);
  EXPECT_EQ(t.size(), 13u);
  insert(t, 12);
  EXPECT_EQ(t.size(), 31u);
  EXPECT_EQ(t.elements(), 11u);
  for (uint64_t v = 2; v < 13; v++)
    EXPECT_EQ(t.find(v), v);
}

TEST(HashTable, ManyDeletionsRebuildSmaller)
{
  hash_table<identity_set> t(100);
  for (uint64_t v = 2; v < 98; v++)
    insert(t, v);
  for (uint64_t v = 12; v < 98; v++)
    t.remove_elt(v);
  EXPECT_EQ(t.elements(), 10u);
  EXPECT_EQ(t.elements_with_deleted(), 96u);
  insert(t, 500);
  EXPECT_EQ(t.size(), 31u);
  EXPECT_EQ(t.elements_with_deleted(), 11u);
  EXPECT_EQ(in_slot_order(t).size(), 11u);
}

// A full table that is not too sparse is rebuilt at the same size, dropping
// only its deleted slots.
TEST(HashTable, RebuildInPlaceKeepsTheSize)
{
  hash_table<identity_set> t(13);
  for (uint64_t v = 2; v < 12; v++)
    insert(t, v);
  for (uint64_t v = 2; v < 6; v++)
    t.remove_elt(v);  // 6 live: 13 slots hold twice that, and 13 is small
  insert(t, 40);
  EXPECT_EQ(t.size(), 13u);
  EXPECT_EQ(t.elements_with_deleted(), 7u);
}

TEST(HashTable, SlotOrderAndProbeCounters)
{
  hash_table<identity_set> t(13);
  insert(t, 5);
  insert(t, 14);
  insert(t, 18);  // starts at 5, steps 8 to slot 0
  EXPECT_EQ(in_slot_order(t), (std::vector<uint64_t>{18, 14, 5}));
  EXPECT_EQ(t.searches(), 3u);
  EXPECT_EQ(t.collisions(), 1u);
  EXPECT_EQ(t.find(31), 0u);  // 5, then 2: the empty slot comes back
  EXPECT_EQ(t.collisions(), 2u);
  EXPECT_EQ(t.find_slot(31, NO_INSERT), nullptr);
}

TEST(HashTable, InsertionReusesTheFirstDeletedSlot)
{
  hash_table<identity_set> t(13);
  insert(t, 13);
  insert(t, 26);
  uint64_t *first = t.find_slot(13, NO_INSERT);
  t.remove_elt(13);
  uint64_t *slot = t.find_slot(39, INSERT);
  EXPECT_EQ(slot, first);
  EXPECT_EQ(*slot, 0u);
  *slot = 39;
  EXPECT_EQ(t.elements_with_deleted(), 2u);
  EXPECT_EQ(in_slot_order(t), (std::vector<uint64_t>{39, 26}));
}

namespace {
std::vector<std::string> removed;
struct owned_text_traits : string_hash_traits {
  static void remove(const char *&s) { removed.push_back(s); }
};
}  // namespace

TEST(HashTable, RemovalHookSeesElementsLeaving)
{
  removed.clear();
  {
    hash_set<const char *, owned_text_traits> set;
    EXPECT_FALSE(set.add("alpha"));
    EXPECT_FALSE(set.add("beta"));
    char copy[] = "alpha";
    EXPECT_TRUE(set.add(copy));  // by contents
    EXPECT_TRUE(set.contains(copy));
    set.remove("beta");
    EXPECT_FALSE(set.contains("beta"));
    EXPECT_EQ(removed, (std::vector<std::string>{"beta"}));
  }
  EXPECT_EQ(removed, (std::vector<std::string>{"beta", "alpha"}));
}

TEST(HashTable, CollectorMemory)
{
  hash_map<const char *, int, string_hash_traits> map(13, true);
  for (int i = 0; i < 40; i++)
    map.put(checked_strdup(("k" + std::to_string(i)).c_str()), i);
  EXPECT_EQ(map.elements(), 40u);
  EXPECT_EQ(*map.get("k17"), 17);
  for (auto &e : map)
    free(const_cast<char *>(e.key));
}

// Random puts, gets and removals with a crowded hash against a model map.
TEST(HashTable, MapMatchesAModel)
{
  struct crowded : int_hash_traits<uint32_t> {
    static hashval_t hash(uint32_t v) { return v % 61; }
  };
  hash_map<uint32_t, uint64_t, crowded> map(0);
  std::unordered_map<uint32_t, uint64_t> model;
  std::mt19937 random(3);
  for (int step = 0; step < 30000; step++) {
    uint32_t key = 2 + random() % 800;
    uint64_t value = random();
    switch (random() % 4) {
    case 0:
      ASSERT_EQ(map.put(key, value), model.count(key) == 1);
      model[key] = value;
      break;
    case 1:
      map.remove(key);
      model.erase(key);
      break;
    case 2: {
      bool existed;
      uint64_t &v = map.get_or_insert(key, &existed);
      ASSERT_EQ(existed, model.count(key) == 1);
      ASSERT_EQ(v, model[key]);
      break;
    }
    default: {
      uint64_t *v = map.get(key);
      auto it = model.find(key);
      ASSERT_EQ(v != nullptr, it != model.end());
      if (v)
        ASSERT_EQ(*v, it->second);
    }
    }
    ASSERT_EQ(map.elements(), model.size());
  }
  std::unordered_map<uint32_t, uint64_t> walked;
  for (auto &e : map)
    walked[e.key] = e.value;
  EXPECT_EQ(walked, model);
}

// The two tables share one algorithm: with the same hash, the same history of
// insertions and removals leaves the same slot layout, so walks agree.
TEST(HashTable, SameLayoutAsTheCallbackTable)
{
  struct scrambled : int_hash_traits<uint64_t> {
    static hashval_t hash(uint64_t v) { return hash_bytes_mixed(&v, sizeof v, 0); }
  };
  hash_table<hash_set_descriptor<uint64_t, scrambled>> typed(0);
  callback_hash_table *callback = callback_hash_table_create(
      0, [](const void *p) { return scrambled::hash(reinterpret_cast<uintptr_t>(p)); },
      [](const void *a, const void *b) { return a == b ? 1 : 0; }, nullptr);
  std::mt19937 random(11);
  for (int step = 0; step < 5000; step++) {
    uint64_t v = 2 + random() % 3000;
    if (random() % 3) {
      *typed.find_slot(v, INSERT) = v;
      *callback_hash_table_find_slot(callback, reinterpret_cast<void *>(v), INSERT) =
          reinterpret_cast<void *>(v);
    } else {
      typed.remove_elt(v);
      callback_hash_table_remove(callback, reinterpret_cast<void *>(v));
    }
    ASSERT_EQ(typed.size(), callback_hash_table_size(callback));
  }
  std::vector<uint64_t> from_callback;
  callback_hash_table_walk_no_shrink(
      callback,
      [](void **slot, void *arg) {
        static_cast<std::vector<uint64_t> *>(arg)->push_back(reinterpret_cast<uintptr_t>(*slot));
        return 1;
      },
      &from_callback);
  EXPECT_EQ(std::vector<uint64_t>(typed.begin(), typed.end()), from_callback);
  EXPECT_EQ(typed.collisions(), callback->collisions);
  callback_hash_table_delete(callback);
}
