// The allocation-statistics registry: location hashes, usage accounting, the
// failed check on over-release, and the report with its units and order.
#include "support/mem-stats.h"

#include "support/vec.h"
#include "tests/support/stream-text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const alloc_location *fake_location(uintptr_t file, uintptr_t function, uint32_t line)
{
  static alloc_location l;
  l = {reinterpret_cast<const char *>(file), reinterpret_cast<const char *>(function), line,
       ALLOC_ORIGIN_HEAP_VECTORS, false};
  return &l;
}

std::string report(alloc_stats_registry &r, uint32_t origin)
{
  return stream_text([&](FILE *stream) { r.dump_origin(stream, origin); });
}

}  // namespace

// Values from an independent model of the hash.
TEST(MemStats, LocationHash)
{
  EXPECT_EQ(alloc_location_hash(fake_location(0x1000, 0x2000, 42)), 0xf6693bfau);
  EXPECT_EQ(alloc_location_hash(fake_location(0, 0, 0)), 0xaa017fc7u);
}

TEST(MemStats, UsageAccounting)
{
  alloc_stats_registry r;
  alloc_location here = {"a.cc", "f", 10, ALLOC_ORIGIN_HEAP_VECTORS, false};
  int first, second;
  r.register_object(&first, here, 10, 8);
  r.register_object(&second, here, 5, 8);
  alloc_usage *u = r.usage_of(here);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->allocated, 120u);
  EXPECT_EQ(u->peak, 120u);
  EXPECT_EQ(u->times, 2u);
  EXPECT_EQ(u->instances, 2u);
  EXPECT_EQ(u->items, 15u);
  EXPECT_EQ(u->peak_items, 15u);
  EXPECT_EQ(u->element_size, 8u);

  r.release_object(&first, here, 80, 10, true);
  EXPECT_EQ(u->allocated, 40u);
  EXPECT_EQ(u->items, 5u);
  EXPECT_EQ(u->peak, 120u);
  r.register_object(&first, here, 2, 8);
  EXPECT_EQ(u->allocated, 56u);
  EXPECT_EQ(u->peak, 120u);
  EXPECT_EQ(u->instances, 3u);

  // Same text at another address is another location: locations are keyed by
  // the identity of their texts, as the code that made them has them.
  static const char other_file[] = "a.cc";
  alloc_location elsewhere = {other_file, "f", 10, ALLOC_ORIGIN_HEAP_VECTORS, false};
  if (elsewhere.file != here.file)
    EXPECT_EQ(r.usage_of(elsewhere), nullptr);
}

TEST(MemStatsDeathTest, ReleasingMoreThanAllocatedIsAFailedCheck)
{
  alloc_stats_registry r;
  alloc_location here = {"a.cc", "f", 10, ALLOC_ORIGIN_HEAP_VECTORS, false};
  int object, stranger;
  r.register_object(&object, here, 4, 4);
  EXPECT_DEATH(r.release_object(&object, here, 17, 0, false), "release_overhead");
  // An object never registered has nothing to give back.
  EXPECT_DEATH(r.release_object(&stranger, here, 1000, 0, false), "release_overhead");
}

TEST(MemStats, ReportOrderUnitsAndTotals)
{
  alloc_stats_registry r;
  alloc_location small = {"/src/vuz/support/x.cc", "small", 1, ALLOC_ORIGIN_HEAP_VECTORS, false};
  alloc_location kilo = {"/build/vuz/vuz/y.cc", "kilo", 2, ALLOC_ORIGIN_HEAP_VECTORS, false};
  alloc_location mega = {"z.cc", "mega", 3, ALLOC_ORIGIN_HEAP_VECTORS, false};
  alloc_location other = {"w.cc", "bits", 4, ALLOC_ORIGIN_BITMAPS, false};
  int a, b, c, d;
  r.register_object(&a, small, 10239, 1);
  r.register_object(&b, kilo, 10240, 1);
  r.register_object(&c, mega, 10485760, 1);
  r.register_object(&d, other, 5, 1);
  const char *header = "Heap vectors                                      sizeof(T)       Leak"
                       "            Peak     Times       Leak items Peak items\n";
  std::string want = std::string("\n") + header +
      "z.cc:3 (mega)                                             1        10M:99.8%       10M"
      "         1:33.3%        10M        10M\n"
      "y.cc:2 (kilo)                                             1        10k: 0.1%       10k"
      "         1:33.3%        10k        10k\n"
      "support/x.cc:1 (small)                                    1     10239 : 0.1%    10239 "
      "         1:33.3%     10239      10239 \n" +
      header +
      "Total                                                              10M                  "
      "      3               10M\n\n";
  EXPECT_EQ(report(r, ALLOC_ORIGIN_HEAP_VECTORS), want);
}

TEST(MemStats, VectorRegistryIsLiveBeforeMain)
{
  int object;
  alloc_stats_register(&object, 3, 4);
  alloc_stats_release(&object, 12, 3, true);
  testing::internal::CaptureStderr();
  alloc_stats_dump();
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find(":0 ()"), std::string::npos) << out;
  EXPECT_NE(out.find("Total"), std::string::npos);
  EXPECT_EQ(hash_stats_instance(), hash_stats_instance());
}
