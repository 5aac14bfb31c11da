// Fixed-size bitmaps: word edges, ranges, combinations of maps of different
// sizes, dumps, and random operations against a model.
#include "support/sbitmap.h"

#include "tests/support/stream-text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct map_deleter {
  void operator()(sbitmap *m) const { free(m); }
};
using map_ptr = std::unique_ptr<sbitmap, map_deleter>;

map_ptr make(uint32_t n_bits, std::vector<uint32_t> set = {})
{
  map_ptr m(bitmap_create(n_bits));
  bitmap_zero_words(m.get());
  for (uint32_t b : set)
    bitmap_set_bit(m.get(), b);
  return m;
}

std::vector<uint32_t> bits_of(const sbitmap *m)
{
  std::vector<uint32_t> out;
  for (uint32_t i = 0; i < m->n_bits; i++)
    if (bitmap_bit_p(m, i))
      out.push_back(i);
  return out;
}

}  // namespace

TEST(Bitmap, ZeroBitsHasNoWords)
{
  map_ptr m(bitmap_create(0));
  EXPECT_EQ(m->size, 0u);
  EXPECT_EQ(bitmap_empty(m.get()), 1);
  EXPECT_EQ(bitmap_first_set(m.get()), -1);
  EXPECT_EQ(bitmap_last_set(m.get()), -1);
  EXPECT_EQ(bitmap_popcount(m.get()), 0u);
  EXPECT_EQ(stream_text([&](FILE *f) { bitmap_dump_set(f, m.get()); }), "n_bits = 0, set = {}\n");
}

TEST(Bitmap, OnesStopAtTheBitCount)
{
  struct {
    uint32_t n_bits, size;
    uint64_t last;
  } cases[] = {{1, 1, 1}, {63, 1, ~0ull >> 1}, {64, 1, ~0ull}, {65, 2, 1}, {128, 2, ~0ull}};
  for (auto &c : cases) {
    map_ptr m(bitmap_create(c.n_bits));
    bitmap_ones(m.get());
    EXPECT_EQ(m->size, c.size) << c.n_bits;
    EXPECT_EQ(m->words()[c.size - 1], c.last) << c.n_bits;
    EXPECT_EQ(bitmap_popcount(m.get()), c.n_bits);
    EXPECT_EQ(bitmap_last_set(m.get()), int64_t{c.n_bits} - 1);
  }
}

TEST(Bitmap, Ranges)
{
  struct {
    uint32_t n_bits, start, count;
  } cases[] = {{128, 60, 10}, {128, 0, 64}, {128, 64, 64}, {128, 0, 128}, {128, 5, 0},
               {200, 63, 2},  {200, 1, 198}};
  for (auto &c : cases) {
    map_ptr m = make(c.n_bits);
    bitmap_set_range(m.get(), c.start, c.count);
    std::vector<uint32_t> want;
    for (uint32_t i = c.start; i < c.start + c.count; i++)
      want.push_back(i);
    EXPECT_EQ(bits_of(m.get()), want) << c.start << "+" << c.count;
    bitmap_ones(m.get());
    bitmap_clear_range(m.get(), c.start, c.count);
    EXPECT_EQ(bitmap_popcount(m.get()), c.n_bits - c.count);
    EXPECT_EQ(c.count == 0 || !bitmap_range_has_bit(m.get(), c.start, c.start + c.count - 1),
              true);
  }
  map_ptr m = make(200, {63, 130});
  struct {
    uint32_t start, end;
    int has;
  } probes[] = {{0, 62, 0}, {0, 63, 1}, {63, 63, 1}, {64, 129, 0}, {64, 130, 1}, {131, 199, 0},
                {0, 199, 1}};
  for (auto &p : probes)
    EXPECT_EQ(bitmap_range_has_bit(m.get(), p.start, p.end), p.has) << p.start << ".." << p.end;
}

TEST(Bitmap, AndComplWithAShorterSubtrahend)
{
  map_ptr dst = make(192), a = make(192, {0, 5, 70, 150}), b = make(64, {5, 6});
  bitmap_and_compl(dst.get(), a.get(), b.get());
  EXPECT_EQ(bits_of(dst.get()), (std::vector<uint32_t>{0, 70, 150}));
  bitmap_and_compl(a.get(), a.get(), b.get());  // in place
  EXPECT_EQ(bits_of(a.get()), (std::vector<uint32_t>{0, 70, 150}));
}

TEST(BitmapDeathTest, AndComplNeedsAWideEnoughMinuend)
{
  map_ptr dst = make(192), a = make(64), b = make(192);
  EXPECT_DEATH(bitmap_and_compl(dst.get(), a.get(), b.get()), "bitmap_and_compl");
}

// An operand with fewer words than the destination reads as zero past its
// end; nothing beyond its block is touched (the sanitizer checks that).
TEST(Bitmap, ShorterOperandsReadAsZero)
{
  map_ptr wide = make(192, {1, 100, 190}), narrow = make(64, {1, 2});
  map_ptr dst = make(192);
  EXPECT_EQ(bitmap_ior_words(dst.get(), wide.get(), narrow.get()), 1);
  EXPECT_EQ(bits_of(dst.get()), (std::vector<uint32_t>{1, 2, 100, 190}));
  EXPECT_EQ(bitmap_ior_words(dst.get(), wide.get(), narrow.get()), 0);  // unchanged
  EXPECT_EQ(bitmap_and_words(dst.get(), narrow.get(), wide.get()), 1);
  EXPECT_EQ(bits_of(dst.get()), (std::vector<uint32_t>{1}));
  bitmap_copy_words(dst.get(), narrow.get());
  EXPECT_EQ(bits_of(dst.get()), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(bitmap_equal(dst.get(), narrow.get()), 1);
  EXPECT_EQ(bitmap_equal(wide.get(), narrow.get()), 0);
  EXPECT_EQ(bitmap_subset(narrow.get(), wide.get()), 0);
  EXPECT_EQ(bitmap_subset(dst.get(), narrow.get()), 1);
  EXPECT_EQ(bitmap_subset(wide.get(), narrow.get()), 0);
  EXPECT_EQ(bitmap_intersects(wide.get(), narrow.get()), 1);
  bitmap_not(dst.get(), narrow.get());  // bits past narrow's 64 stay clear
  EXPECT_EQ(bitmap_popcount(dst.get()), 62u);
}

TEST(Bitmap, ResizeFillsOnlyTheNewBits)
{
  map_ptr m = make(10, {3});
  sbitmap *r = bitmap_resize(m.release(), 100, 1);
  EXPECT_EQ(r->size, 2u);
  EXPECT_EQ(bitmap_popcount(r), 1u + 90u);
  EXPECT_EQ(bitmap_first_set(r), 3);
  EXPECT_EQ(bitmap_bit_p(r, 9), false);
  EXPECT_EQ(bitmap_bit_p(r, 10), true);
  EXPECT_EQ(r->words()[1], (uint64_t{1} << 36) - 1);  // nothing above bit 99
  r = bitmap_resize(r, 40, 1);
  EXPECT_EQ(r->size, 1u);
  EXPECT_EQ(bitmap_popcount(r), 1u + 30u);
  r = bitmap_resize(r, 200, 0);
  EXPECT_EQ(bitmap_popcount(r), 31u);
  EXPECT_EQ(bitmap_last_set(r), 39);
  r = bitmap_resize(r, 64, 1);
  r = bitmap_resize(r, 128, 1);  // the old word was full: only the new word fills
  EXPECT_EQ(bitmap_popcount(r), 31u + 64u);
  free(r);
}

TEST(Bitmap, VectorOfMaps)
{
  sbitmap **maps = bitmap_vector_alloc(3, 70);
  bitmap_vector_ones(maps, 3);
  bitmap_clear_bit(maps[1], 69);
  for (int i = 0; i < 3; i++)
    EXPECT_EQ(maps[i]->size, 2u);
  EXPECT_EQ(bitmap_popcount(maps[0]), 70u);
  EXPECT_EQ(bitmap_popcount(maps[1]), 69u);
  EXPECT_EQ(bitmap_popcount(maps[2]), 70u);
  bitmap_vector_zero(maps, 3);
  EXPECT_EQ(bitmap_empty(maps[2]), 1);
  bitmap_set_bit(maps[0], 12);
  EXPECT_EQ(stream_text([&](FILE *f) { bitmap_dump_vector(f, "title", "map", maps, 2); }),
            "title\nmap 0\n  0000000000 0010000000 0000000000 0000000000 0000000000 "
            "0000000000 0000000000\nmap 1\n  0000000000 0000000000 0000000000 0000000000 "
            "0000000000 0000000000 0000000000\n\n");
  free(maps);
}

TEST(Bitmap, Dumps)
{
  map_ptr small = make(4, {1, 3});
  EXPECT_EQ(stream_text([&](FILE *f) { bitmap_dump_set(f, small.get()); }),
            "n_bits = 4, set = {1 3 }\n");
  EXPECT_EQ(stream_text([&](FILE *f) { bitmap_dump_bits(f, small.get()); }), "  0101\n");

  // The column starts at 30: ten one-digit and seven two-digit entries pass
  // 70, so 17 opens a new line; from there 24 more entries end at 72.
  map_ptr many = make(1200);
  bitmap_set_range(many.get(), 0, 41);
  std::string want = "n_bits = 1200, set = {";
  for (int i = 0; i <= 40; i++)
    want += (i == 17 ? "\n  " : "") + std::to_string(i) + " ";
  EXPECT_EQ(stream_text([&](FILE *f) { bitmap_dump_set(f, many.get()); }), want + "}\n");

  map_ptr wide = make(1200, {5, 1000, 1001});
  EXPECT_EQ(stream_text([&](FILE *f) { bitmap_dump_set(f, wide.get()); }),
            "n_bits = 1200, set = {5 1000 1001 }\n");

  testing::internal::CaptureStderr();
  bitmap_debug_set_or_nil(nullptr);
  bitmap_debug_bits_or_nil(small.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "<nil>\n  0101\n");
}

// Random maps of one size, every combination against a model of plain bools.
TEST(Bitmap, CombinationsMatchAModel)
{
  std::mt19937 random(99);
  for (uint32_t n_bits : {1u, 63u, 64u, 65u, 130u, 256u}) {
    for (int round = 0; round < 30; round++) {
      std::vector<bool> ma(n_bits), mb(n_bits), mc(n_bits), md(n_bits);
      map_ptr a = make(n_bits), b = make(n_bits), c = make(n_bits), d = make(n_bits);
      for (uint32_t i = 0; i < n_bits; i++) {
        if (random() % 3 == 0) { ma[i] = true; bitmap_set_bit(a.get(), i); }
        if (random() % 2 == 0) { mb[i] = true; bitmap_set_bit(b.get(), i); }
        if (random() % 4 == 0) { mc[i] = true; bitmap_set_bit(c.get(), i); }
      }
      auto check = [&](int changed, auto op, const char *name) {
        bool model_changed = false;
        for (uint32_t i = 0; i < n_bits; i++) {
          bool v = op(ma[i], mb[i], mc[i]);
          model_changed |= v != md[i];
          md[i] = v;
          ASSERT_EQ(bitmap_bit_p(d.get(), i), v) << name << " bit " << i;
        }
        if (changed >= 0)
          ASSERT_EQ(changed, model_changed ? 1 : 0) << name;
      };
      check(bitmap_and_words(d.get(), a.get(), b.get()),
            [](bool x, bool y, bool) { return x && y; }, "and");
      check(bitmap_ior_words(d.get(), a.get(), b.get()),
            [](bool x, bool y, bool) { return x || y; }, "ior");
      check(bitmap_xor_words(d.get(), a.get(), b.get()),
            [](bool x, bool y, bool) { return x != y; }, "xor");
      check(bitmap_or_and_not(d.get(), a.get(), b.get(), c.get()),
            [](bool x, bool y, bool z) { return x || (y && !z); }, "or_and_not");
      check(bitmap_or_and(d.get(), a.get(), b.get(), c.get()),
            [](bool x, bool y, bool z) { return x || (y && z); }, "or_and");
      check(bitmap_and_or(d.get(), a.get(), b.get(), c.get()),
            [](bool x, bool y, bool z) { return x && (y || z); }, "and_or");
      bitmap_not(d.get(), a.get());
      check(-1, [](bool x, bool, bool) { return !x; }, "not");
      bitmap_and_compl(d.get(), a.get(), b.get());
      check(-1, [](bool x, bool y, bool) { return x && !y; }, "and_compl");

      bool subset = true, intersects = false;
      int64_t first = -1, last = -1;
      uint64_t count = 0;
      for (uint32_t i = 0; i < n_bits; i++) {
        subset &= !ma[i] || mb[i];
        intersects |= ma[i] && mb[i];
        if (ma[i]) {
          count++;
          last = i;
          if (first < 0)
            first = i;
        }
      }
      EXPECT_EQ(bitmap_subset(a.get(), b.get()), subset ? 1 : 0);
      EXPECT_EQ(bitmap_intersects(a.get(), b.get()), intersects ? 1 : 0);
      EXPECT_EQ(bitmap_first_set(a.get()), first);
      EXPECT_EQ(bitmap_last_set(a.get()), last);
      EXPECT_EQ(bitmap_popcount(a.get()), count);
      EXPECT_EQ(bitmap_empty(a.get()), count == 0 ? 1 : 0);
    }
  }
}
