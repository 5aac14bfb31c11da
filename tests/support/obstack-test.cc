// Obstack chunk sizes, alignment, release and the block pool.
#include "support/obstack.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// Records every chunk size asked for, so the growth rule can be checked exactly.
std::vector<size_t> requested;
std::vector<void *> released;

void *recording_alloc(size_t size)
{
  requested.push_back(size);
  return malloc(size);
}

void recording_free(void *chunk)
{
  released.push_back(chunk);
  free(chunk);
}

struct ObstackTest : testing::Test {
  obstack h;
  void SetUp() override
  {
    requested.clear();
    released.clear();
    obstack_begin_chunks(&h, 0, 0, recording_alloc, recording_free);
  }
  void TearDown() override { obstack_release_to(&h, nullptr); }
};

}  // namespace

TEST_F(ObstackTest, Defaults)
{
  EXPECT_EQ(h.chunk_bytes, 4064u);
  EXPECT_EQ(h.align_mask, 15u);
  EXPECT_EQ(requested, std::vector<size_t>{4064});
  EXPECT_EQ(reinterpret_cast<uintptr_t>(h.object_start) % 16, 0u);
}

TEST_F(ObstackTest, GrowingObjectMovesAndFreesItsLoneChunk)
{
  obstack_chunk *first = h.current_chunk;
  std::vector<char> bytes(4100, 'a');
  obstack_append(&h, bytes.data(), 4000);
  obstack_append(&h, bytes.data(), 100);
  EXPECT_EQ(requested.back(), 4000u + 100 + 15 + 500 + 100);
  EXPECT_EQ(released, std::vector<void *>{first});
  EXPECT_EQ(h.current_chunk->previous, nullptr);
  EXPECT_EQ(obstack_object_length(&h), 4100u);
  char *object = static_cast<char *>(obstack_close_object(&h));
  EXPECT_EQ(object[0], 'a');
  EXPECT_EQ(object[4099], 'a');
}

TEST_F(ObstackTest, LargeAppendToEmptyObject)
{
  std::vector<char> bytes(5000, 'b');
  obstack_append(&h, bytes.data(), 5000);
  EXPECT_EQ(requested.back(), 5000u + 15 + 100);
}

TEST_F(ObstackTest, EmptyObjectKeepsItsChunk)
{
  void *empty = obstack_close_object(&h);
  EXPECT_EQ(empty, obstack_base(&h));
  obstack_chunk *first = h.current_chunk;
  std::vector<char> bytes(5000, 'c');
  obstack_append(&h, bytes.data(), 5000);
  EXPECT_TRUE(released.empty());
  EXPECT_EQ(h.current_chunk->previous, first);
}

TEST_F(ObstackTest, CloseAlignsAndClampsAtChunkEnd)
{
  obstack_append(&h, "abc", 3);
  obstack_close_object(&h);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(obstack_base(&h)) % 16, 0u);
  obstack_reserve(&h, obstack_room(&h));
  obstack_close_object(&h);
  EXPECT_EQ(h.next_byte, h.chunk_end);
}

TEST_F(ObstackTest, ReleaseToFirstObjectKeepsFirstChunk)
{
  obstack_chunk *first = h.current_chunk;
  char *a = obstack_strdup(&h, "first");
  for (int i = 0; i < 100; i++)
    obstack_new_object(&h, 1000);
  EXPECT_NE(h.current_chunk, first);
  obstack_release_to(&h, a);
  EXPECT_EQ(h.current_chunk, first);
  EXPECT_EQ(obstack_base(&h), a);
  EXPECT_EQ(obstack_bytes_used(&h), 4064u);
}

// Releasing every chunk leaves nothing to write into: the next object takes a
// chunk of its own, partly built or not.
TEST_F(ObstackTest, GrowthAfterReleasingEveryChunkTakesANewOne)
{
  obstack_strdup(&h, "first");
  obstack_append_text(&h, "partly");
  obstack_release_to(&h, nullptr);
  EXPECT_EQ(h.current_chunk, nullptr);
  EXPECT_EQ(obstack_object_length(&h), 0u);
  EXPECT_EQ(obstack_room(&h), 0u);
  EXPECT_STREQ(obstack_strdup(&h, "again"), "again");
  EXPECT_EQ(requested, (std::vector<size_t>{4064, 4064}));
  EXPECT_EQ(h.current_chunk->previous, nullptr);
}

TEST(ObstackDeathTest, ReleaseToForeignAddressAborts)
{
  obstack h;
  obstack_init_malloc(&h);
  static char elsewhere[16];
  EXPECT_DEATH(obstack_release_to(&h, elsewhere + 1), "in obstack_release_to");
  obstack_release_to(&h, nullptr);
}

TEST(ObstackDeathTest, SizeOverflowIsExhaustion)
{
  obstack h;
  obstack_init_malloc(&h);
  obstack_append(&h, "x", 1);
  EXPECT_EXIT(obstack_grow_chunk(&h, ~uint64_t{0}), testing::ExitedWithCode(1),
              "^memory exhausted\n$");
  obstack_release_to(&h, nullptr);
}

TEST(BlockPool, Released64KiBChunkIsReused)
{
  obstack h;
  obstack_init_pool(&h, 65536);
  void *chunk = h.current_chunk;
  obstack_release_to(&h, nullptr);
  obstack h2;
  obstack_init_pool(&h2, 65536);
  EXPECT_EQ(static_cast<void *>(h2.current_chunk), chunk);
  obstack_release_to(&h2, nullptr);
  block_pool_trim_global(0);
}

TEST(ObstackOnUse, NoChunkUntilTheFirstGrowth)
{
  obstack h = {};
  obstack_init_malloc_on_use(&h);
  EXPECT_TRUE(obstack_initialised(&h));
  EXPECT_EQ(h.current_chunk, nullptr);
  EXPECT_EQ(obstack_bytes_used(&h), 0u);
  EXPECT_EQ(obstack_object_length(&h), 0u);
  char *text = obstack_strdup(&h, "abc");
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(obstack_bytes_used(&h), 4064u);
  EXPECT_EQ(h.current_chunk->previous, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(text) % 16, 0u);
  EXPECT_STREQ(obstack_strdup(&h, "de"), "de");
  EXPECT_EQ(obstack_bytes_used(&h), 4064u);
  obstack_release_to(&h, nullptr);
}

TEST(ObstackOnUse, AFirstObjectLargerThanAChunkGetsItsOwn)
{
  obstack h = {};
  obstack_init_malloc_on_use(&h);
  std::vector<char> bytes(5000, 'x');
  obstack_append(&h, bytes.data(), bytes.size());
  EXPECT_EQ(obstack_bytes_used(&h), 5000u + 15 + 100);
  EXPECT_EQ(obstack_object_length(&h), 5000u);
  obstack_release_to(&h, nullptr);
}

TEST(ObstackOnUse, ReleasingAnUnusedObstackFreesNothing)
{
  obstack h = {};
  obstack_init_pool_on_use(&h, 65536);
  obstack_free_to(&h, nullptr);
  EXPECT_EQ(h.current_chunk, nullptr);
  // The pool block comes with the first growth, of the obstack's chunk size.
  obstack_append_byte(&h, 'a');
  EXPECT_EQ(obstack_bytes_used(&h), 65536u);
  EXPECT_EQ(h.current_chunk->end - reinterpret_cast<char *>(h.current_chunk), 65536);
  obstack_release_to(&h, nullptr);
  block_pool_trim_global(0);
}

TEST(ObstackOnUse, NotInitialisedUntilInitialised)
{
  obstack h = {};
  EXPECT_FALSE(obstack_initialised(&h));
  obstack_init_pool_on_use(&h);
  EXPECT_TRUE(obstack_initialised(&h));
}
