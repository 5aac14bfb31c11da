// Text, byte and pointer hashes, bit for bit. The expected values come from an
// independent model of the hashes, not from this code.
#include "support/string-hash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(StringHash, Texts)
{
  struct {
    const char *text;
    hashval_t hash;
  } cases[] = {
    {"", 0},
    {"a", 4294967280u},
    {"ab", 4294966209u},
    {"-fdiagnostics-color=", 2273751236u},
    {"\xff\x80", 9529},  // bytes are unsigned
  };
  for (auto &c : cases)
    EXPECT_EQ(string_hash(c.text), c.hash) << c.text;
}

TEST(StringHash, Equality)
{
  char copy[] = "same";
  EXPECT_EQ(string_equal("same", copy), 1);
  EXPECT_EQ(string_equal("same", "samE"), 0);
  EXPECT_EQ(string_equal("", "x"), 0);
}

// Lengths around the 12-byte block and its 11-byte tail, each read at every
// alignment.
TEST(StringHash, BytesMixedAtEveryAlignment)
{
  struct {
    size_t length;
    hashval_t seed, hash;
  } cases[] = {
    {0, 0, 0xbd49d10d},  {1, 0, 0xb93913a8},  {4, 7, 0x74a47df2},
    {11, 0, 0x95de59c9}, {12, 0, 0xaaa20801}, {13, 0xdeadbeef, 0x658aeb6d},
    {23, 1, 0x0c763b9d}, {24, 0, 0xe4762887}, {39, 42, 0xe0f01b23},
  };
  unsigned char data[39];
  for (int i = 0; i < 39; i++)
    data[i] = static_cast<unsigned char>(i + 1);
  alignas(8) unsigned char shifted[48];
  for (auto &c : cases)
    for (size_t offset = 0; offset < 4; offset++) {
      memcpy(shifted + offset, data, c.length);
      EXPECT_EQ(hash_bytes_mixed(shifted + offset, c.length, c.seed), c.hash)
          << "length " << c.length << " offset " << offset;
    }
}

TEST(StringHash, Pointers)
{
  struct {
    uint64_t value;
    hashval_t hash;
  } cases[] = {
    {0, 0x07383ed5},
    {1, 0xf20c6a94},
    {0x7fffdeadbeef, 0xb1b7b3d0},
    {0xffffffffffffffff, 0x067e92f9},
    {0x100000000, 0xcd39d5c7},  // the high half counts
  };
  for (auto &c : cases)
    EXPECT_EQ(pointer_hash(reinterpret_cast<const void *>(c.value)), c.hash) << c.value;
  int x, y;
  EXPECT_EQ(pointer_equal(&x, &x), 1);
  EXPECT_EQ(pointer_equal(&x, &y), 0);
}
