// The library's own allocator, vectors and sort.
#include "libmerrow/internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<size_t> free_sizes(const bt_state &state)
{
  std::vector<size_t> sizes;
  for (bt_free_block *b = state.freelist; b; b = b->next)
    sizes.push_back(b->size);
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

bool mapped(void *p, size_t length)
{
  return msync(p, length, MS_ASYNC) == 0;
}

TEST(Allocator, FirstAllocationMapsAPageAndListsTheRest)
{
  bt_state state{};
  size_t page = getpagesize();
  char *a = static_cast<char *>(bt_alloc(&state, 24, nullptr, nullptr));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % page, 0u);
  EXPECT_EQ(free_sizes(state), std::vector<size_t>{page - 24});
  // The next small block comes from the same page, rounded to 8 bytes.
  char *b = static_cast<char *>(bt_alloc(&state, 13, nullptr, nullptr));
  EXPECT_EQ(b, a + 24);
  EXPECT_EQ(free_sizes(state), std::vector<size_t>{page - 40});
}

TEST(Allocator, NewStateCarriesTheRestOfItsPage)
{
  bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  ASSERT_NE(state, nullptr);
  size_t page = getpagesize();
  size_t rounded = (sizeof(bt_state) + 7) & ~size_t{7};
  EXPECT_EQ(free_sizes(*state), std::vector<size_t>{page - rounded});
  char *next = static_cast<char *>(bt_alloc(state, 8, nullptr, nullptr));
  EXPECT_EQ(next, reinterpret_cast<char *>(state) + rounded);
}

TEST(Allocator, FreeListKeepsTheSixteenLargest)
{
  bt_state state{};
  alignas(16) static char arena[17 * 32];
  for (size_t size = 16; size <= 32; ++size)
    bt_free(&state, arena + 32 * (size - 16), size, nullptr, nullptr);
  std::vector<size_t> want;
  for (size_t size = 17; size <= 32; ++size)
    want.push_back(size);
  EXPECT_EQ(free_sizes(state), want);
  // Blocks too small for the list record, or not larger than its smallest, are dropped.
  bt_free(&state, arena, 15, nullptr, nullptr);
  bt_free(&state, arena, 17, nullptr, nullptr);
  EXPECT_EQ(free_sizes(state), want);
}

TEST(Allocator, LargePageAlignedBlocksAreUnmapped)
{
  bt_state state{};
  size_t page = getpagesize();
  void *big = bt_alloc(&state, 65536, nullptr, nullptr);
  ASSERT_TRUE(mapped(big, 65536));
  bt_free(&state, big, 65536, nullptr, nullptr);
  EXPECT_FALSE(mapped(big, 65536));
  EXPECT_TRUE(free_sizes(state).empty());
  // One page short of the size: kept on the list instead.
  void *smaller = bt_alloc(&state, 65536 - page, nullptr, nullptr);
  bt_free(&state, smaller, 65536 - page, nullptr, nullptr);
  EXPECT_EQ(free_sizes(state), std::vector<size_t>{65536 - page});
  // A large block that ends inside a page (a decoded section): its whole
  // pages are unmapped and only the partial page's part is listed.
  bt_state other{};
  size_t odd = 50 * page + 104;
  char *section = static_cast<char *>(bt_alloc(&other, odd, nullptr, nullptr));
  bt_free(&other, section, odd, nullptr, nullptr);
  EXPECT_FALSE(mapped(section, 50 * page));
  EXPECT_TRUE(mapped(section + 50 * page, page));
  EXPECT_EQ(free_sizes(other), (std::vector<size_t>{104, page - 104}));
}

TEST(Allocator, FailedMappingIsReportedOnlyWithACallback)
{
  bt_state state{};
  std::vector<std::pair<std::string, int>> errors;
  auto on_error = [](void *data, const char *message, int errnum) {
    static_cast<std::vector<std::pair<std::string, int>> *>(data)->emplace_back(message, errnum);
  };
  EXPECT_EQ(bt_alloc(&state, SIZE_MAX - 100, nullptr, nullptr), nullptr);
  EXPECT_EQ(bt_alloc(&state, SIZE_MAX / 2, on_error, &errors), nullptr);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].first, "mmap");
  EXPECT_EQ(errors[0].second, ENOMEM);
}

TEST(Vector, GrowthFollowsTheSizeRules)
{
  bt_state state{};
  size_t page = getpagesize();
  bt_vec vec{};
  ASSERT_NE(bt_vec_grow(&state, 24, nullptr, nullptr, &vec), nullptr);
  EXPECT_EQ(vec.size + vec.alc, 384u);  // 16 times the first request
  bt_vec_grow(&state, 360, nullptr, nullptr, &vec);
  EXPECT_EQ(vec.size + vec.alc, 384u);  // fits the spare room
  bt_vec_grow(&state, 100, nullptr, nullptr, &vec);
  EXPECT_EQ(vec.size + vec.alc, 2 * 484u);  // twice the need below a page
  bt_vec_grow(&state, page - 484 - 8, nullptr, nullptr, &vec);
  EXPECT_EQ(vec.size + vec.alc, page);  // capped at a page
  size_t used = vec.size;
  bt_vec_grow(&state, 200, nullptr, nullptr, &vec);
  size_t want = (2 * (used + 200) + page - 1) / page * page;
  EXPECT_EQ(vec.size + vec.alc, want);
}

TEST(Vector, TakeKeepsTheSpareRoomAndTrimReturnsIt)
{
  bt_state state{};
  bt_vec vec{};
  char *first = static_cast<char *>(bt_vec_grow(&state, 10, nullptr, nullptr, &vec));
  memcpy(first, "0123456789", 10);
  size_t spare = vec.alc;
  EXPECT_EQ(bt_vec_take(&state, &vec, nullptr, nullptr), first);
  EXPECT_EQ(vec.base, first + 10);
  EXPECT_EQ(vec.size, 0u);
  EXPECT_EQ(vec.alc, spare);
  char *second = static_cast<char *>(bt_vec_grow(&state, 5, nullptr, nullptr, &vec));
  EXPECT_EQ(second, first + 10);
  EXPECT_EQ(memcmp(first, "0123456789", 10), 0);
  bt_vec_trim(&state, &vec, nullptr, nullptr);
  EXPECT_EQ(vec.alc, 0u);
  EXPECT_EQ(vec.size, 5u);
}

int compare_ints(const void *a, const void *b)
{
  int x = *static_cast<const int *>(a), y = *static_cast<const int *>(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

TEST(Sort, SortsEveryShapeOfInput)
{
  std::mt19937 random(7);
  std::vector<std::vector<int>> inputs = {{}, {1}, {2, 1}, {3, 3, 3}, {5, 1, 4, 1, 5, 9, 2, 6}};
  std::vector<int> sorted(1000), reversed(1000), shuffled(1000), few(1000);
  for (int i = 0; i < 1000; ++i) {
    sorted[i] = i;
    reversed[i] = 1000 - i;
    shuffled[i] = i;
    few[i] = i % 3;
  }
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  inputs.push_back(sorted);
  inputs.push_back(reversed);
  inputs.push_back(shuffled);
  inputs.push_back(few);
  for (std::vector<int> v : inputs) {
    std::vector<int> want = v;
    std::sort(want.begin(), want.end());
    bt_sort(v.data(), v.size(), sizeof(int), compare_ints);
    EXPECT_EQ(v, want);
  }
}

// Counts comparisons; values live in a side table so that an adversary can
// fix them while the sort runs.
struct counted_sort {
  std::vector<int> value;
  long comparisons = 0;
  // McIlroy's adversary: unset values ("gas") are fixed only when compared,
  // always to lose against the likely pivot. Quadratic for any plain quicksort.
  bool adversary = false;
  int gas = 0, solid = 0, candidate = -1;

  static counted_sort *current;
  static int compare(const void *a, const void *b)
  {
    counted_sort *s = current;
    int x = *static_cast<const int *>(a), y = *static_cast<const int *>(b);
    ++s->comparisons;
    if (s->adversary) {
      if (s->value[x] == s->gas && s->value[y] == s->gas)
        s->value[x == s->candidate ? x : y] = s->solid++;
      if (s->value[x] == s->gas)
        s->candidate = x;
      else if (s->value[y] == s->gas)
        s->candidate = y;
    }
    return s->value[x] < s->value[y] ? -1 : s->value[x] > s->value[y] ? 1 : 0;
  }

  // Sorts the indices of the values; true when they come out in order.
  bool sort()
  {
    std::vector<int> index(value.size());
    for (size_t i = 0; i < index.size(); ++i)
      index[i] = static_cast<int>(i);
    current = this;
    bt_sort(index.data(), index.size(), sizeof(int), compare);
    for (size_t i = 1; i < index.size(); ++i)
      if (value[index[i - 1]] > value[index[i]])
        return false;
    return true;
  }
};
counted_sort *counted_sort::current;

TEST(Sort, StaysNearNLogNForEqualKeysAndAdversaries)
{
  const int n = 20000;
  const long bound = 6L * n * 15;  // 6 n log2 n
  std::mt19937 random(11);
  struct shape {
    const char *name;
    int (*value)(int i, std::mt19937 &random);
    bool adversary;
  } shapes[] = {
      {"equal", [](int, std::mt19937 &) { return 5; }, false},
      {"two values", [](int i, std::mt19937 &) { return i % 2; }, false},
      {"random", [](int, std::mt19937 &r) { return static_cast<int>(r() % 1000000); }, false},
      {"sorted", [](int i, std::mt19937 &) { return i; }, false},
      {"organ pipe", [](int i, std::mt19937 &) { return i < n / 2 ? i : n - i; }, false},
      {"adversary", [](int, std::mt19937 &) { return n - 1; }, true},
  };
  for (const shape &s : shapes) {
    counted_sort sort;
    for (int i = 0; i < n; ++i)
      sort.value.push_back(s.value(i, random));
    sort.adversary = s.adversary;
    sort.gas = n - 1;
    EXPECT_TRUE(sort.sort()) << s.name;
    EXPECT_LT(sort.comparisons, bound) << s.name;
  }
}

TEST(Sort, ElementsOfOddSizeMoveWhole)
{
  struct record {
    char key;
    char payload[6];
  };
  std::vector<record> v = {{'c', "three"}, {'a', "one"}, {'b', "two"}};
  bt_sort(v.data(), v.size(), sizeof(record),
          [](const void *a, const void *b) {
            return static_cast<const record *>(a)->key - static_cast<const record *>(b)->key;
          });
  EXPECT_STREQ(v[0].payload, "one");
  EXPECT_STREQ(v[1].payload, "two");
  EXPECT_STREQ(v[2].payload, "three");
}

}  // namespace
