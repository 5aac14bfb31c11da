// Merge sort: order and stability against the standard library, the exact
// comparator calls of networks and merges, and where the scratch lives.
#include "support/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

long calls;

template <typename T> int by_key(const void *a, const void *b)
{
  calls++;
  int x = static_cast<const T *>(a)->key, y = static_cast<const T *>(b)->key;
  return x < y ? -1 : x > y;
}

struct rec8 {
  int key, seq;
};
struct rec12 {
  int key, seq, pad;
};
struct rec100 {
  int key, seq;
  char payload[92];
};

template <typename T> std::vector<T> random_records(size_t n, int keys, std::mt19937 &random)
{
  std::vector<T> v(n);
  for (size_t i = 0; i < n; i++) {
    v[i] = T();
    v[i].key = static_cast<int>(random() % keys);
    v[i].seq = static_cast<int>(i);
  }
  return v;
}

template <typename T> void check_against_std(std::mt19937 &random)
{
  for (size_t n : {0, 1, 2, 3, 4, 5, 6, 7, 11, 31, 64, 65, 100, 1000}) {
    for (int keys : {1, 3, 1000}) {
      std::vector<T> v = random_records<T>(n, keys, random), want = v;
      auto less = [](const T &a, const T &b) { return a.key < b.key; };
      std::stable_sort(want.begin(), want.end(), less);

      std::vector<T> stable = v;
      merge_sort_stable(stable.data(), n, sizeof(T), by_key<T>);
      for (size_t i = 0; i < n; i++)
        ASSERT_TRUE(stable[i].key == want[i].key && stable[i].seq == want[i].seq)
            << "stable, size " << sizeof(T) << " n " << n << " at " << i;

      // The plain entry with a complemented size is the same stable sort.
      std::vector<T> complemented = v;
      merge_sort(complemented.data(), n, ~sizeof(T), by_key<T>);
      for (size_t i = 0; i < n; i++)
        ASSERT_EQ(complemented[i].seq, want[i].seq) << n;

      // Unstable: ordered keys, and every record still there once.
      std::vector<T> plain = v;
      merge_sort(plain.data(), n, sizeof(T), by_key<T>);
      std::vector<int> seqs;
      for (size_t i = 0; i < n; i++) {
        ASSERT_EQ(plain[i].key, want[i].key) << "unstable, n " << n << " at " << i;
        seqs.push_back(plain[i].seq);
      }
      std::sort(seqs.begin(), seqs.end());
      for (size_t i = 0; i < n; i++)
        ASSERT_EQ(seqs[i], static_cast<int>(i));
    }
  }
}

}  // namespace

TEST(MergeSort, MatchesTheStandardSortsForEveryElementSize)
{
  std::mt19937 random(5);
  check_against_std<rec8>(random);
  check_against_std<rec12>(random);
  check_against_std<rec100>(random);
}

TEST(MergeSort, ComparatorCalls)
{
  struct {
    size_t n;
    bool stable, sorted;
    long calls;
  } cases[] = {
    {0, false, true, 0},  {1, true, true, 0},
    {5, false, false, 9}, {5, false, true, 9},  // the five-element network, whatever the input
    {4, false, false, 5}, {3, true, false, 3},
    {5, true, true, 5},   // 2 and 3: 1 + 3, then one look at the halves
    {10, false, true, 19}, {10, true, true, 11},
    {64, false, true, 95},  // sixteen 4-networks, fifteen one-comparison merges
  };
  for (auto &c : cases) {
    std::vector<rec8> v(c.n);
    for (size_t i = 0; i < c.n; i++)
      v[i] = {static_cast<int>(c.sorted ? i : c.n - i), static_cast<int>(i)};
    calls = 0;
    (c.stable ? merge_sort_stable : merge_sort)(v.data(), c.n, sizeof(rec8), by_key<rec8>);
    EXPECT_EQ(calls, c.calls) << c.n << (c.stable ? " stable" : "") << (c.sorted ? " sorted" : "");
  }
}

namespace {
// Where the elements handed to the comparator live, other than the array.
const char *array_begin, *array_end;
bool saw_stack, saw_heap;

int classify(const void *a, const void *b)
{
  char here;
  for (const char *p : {static_cast<const char *>(a), static_cast<const char *>(b)}) {
    if (p >= array_begin && p < array_end)
      continue;
    intptr_t distance = p - &here;
    (distance > -(1 << 20) && distance < (1 << 20) ? saw_stack : saw_heap) = true;
  }
  return *static_cast<const uint64_t *>(a) < *static_cast<const uint64_t *>(b) ? -1 : 1;
}
}  // namespace

TEST(MergeSort, ScratchOnTheStackUpTo256Bytes)
{
  struct {
    size_t n;
    bool stack, heap;
  } cases[] = {{64, true, false}, {100, false, true}};
  for (auto &c : cases) {
    std::vector<uint64_t> v(c.n);
    for (size_t i = 0; i < c.n; i++)
      v[i] = (i * 7919) % c.n;
    array_begin = reinterpret_cast<char *>(v.data());
    array_end = reinterpret_cast<char *>(v.data() + c.n);
    saw_stack = saw_heap = false;
    merge_sort(v.data(), c.n, sizeof(uint64_t), classify);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    EXPECT_EQ(saw_stack, c.stack) << c.n;
    EXPECT_EQ(saw_heap, c.heap) << c.n;
  }
}

TEST(MergeSort, ContextReachesTheComparator)
{
  // Sort indices by the values they point at in a table passed as context.
  std::vector<int> table = {40, 10, 30, 10, 20};
  std::vector<uint32_t> index = {0, 1, 2, 3, 4};
  auto by_table = [](const void *a, const void *b, void *ctx) {
    const int *t = static_cast<const int *>(ctx);
    return t[*static_cast<const uint32_t *>(a)] - t[*static_cast<const uint32_t *>(b)];
  };
  merge_sort_stable_ctx(index.data(), index.size(), sizeof(uint32_t), by_table, table.data());
  EXPECT_EQ(index, (std::vector<uint32_t>{1, 3, 4, 2, 0}));
  std::vector<uint32_t> unstable = {4, 3, 2, 1, 0};
  merge_sort_ctx(unstable.data(), unstable.size(), sizeof(uint32_t), by_table, table.data());
  EXPECT_EQ(table[unstable[0]], 10);
  EXPECT_EQ(unstable[2], 4u);
  EXPECT_EQ(unstable[4], 0u);
}
