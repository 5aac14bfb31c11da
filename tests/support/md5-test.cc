// MD5 against the RFC 1321 suite and against digests made by python3's
// hashlib for lengths around the block and padding edges, fed whole, in
// pieces at odd addresses, and through a stream.
#include "support/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string hex(const unsigned char *digest)
{
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < md5_digest_size; i++) {
    out += digits[digest[i] >> 4];
    out += digits[digest[i] & 15];
  }
  return out;
}

std::string digest_of(const void *bytes, size_t length)
{
  unsigned char digest[md5_digest_size];
  EXPECT_EQ(md5_digest_buffer(bytes, length, digest), digest);
  return hex(digest);
}

// Byte i of the hashlib data set is (i × 31 + 7) mod 256.
std::vector<unsigned char> pattern(size_t n)
{
  std::vector<unsigned char> data(n);
  for (size_t i = 0; i < n; i++)
    data[i] = static_cast<unsigned char>(i * 31 + 7);
  return data;
}

const struct {
  size_t length;
  const char *digest;
} hashlib_cases[] = {
  {0, "d41d8cd98f00b204e9800998ecf8427e"},    {1, "89e74e640b8c46257a29de0616794d5d"},
  {55, "c9e512626618c9980ef21a96597af94c"},   {56, "ecde7caa08e9f5657c863df107cac60a"},
  {57, "b17b1a018dd6a4d1edda8aca15f17846"},   {63, "2f0301069e1c40af7f6c8f843b1b13f2"},
  {64, "b6bf87c24b1bc334e2541387a92b981b"},   {65, "f168246f08b6134d66bd2a10343fa9f1"},
  {119, "d5dc3d8264de3aa24dee105910ee27fe"},  {120, "bcc139b3848923904860d1eefd6e5923"},
  {127, "27670172396247fa5f68637f13f8933d"},  {128, "3e85b70ffc8df5c735ecf2a8f14f1bee"},
  {129, "e45ecac9930fe93de302f98ba673ba36"},  {200, "4c1e627a4bcc5ffb25084afedb8477c8"},
  {4095, "374a73c9e9e475a75a620dd3b0819034"}, {4096, "88c3b31b216d705c77b752990f1b55f5"},
  {4097, "90af61113bbfa322fccc11b4c75f4808"}, {8193, "c5c2db3093676e9b9f2e31a310ea1798"},
  {10000, "7aa168c7ccb71034c84662c1f56456e1"},
};

}  // namespace

TEST(Md5, Rfc1321Suite)
{
  struct {
    const char *text, *digest;
  } cases[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (auto &c : cases)
    EXPECT_EQ(digest_of(c.text, strlen(c.text)), c.digest) << c.text;
}

TEST(Md5, BlockEdgesWhole)
{
  std::vector<unsigned char> data = pattern(10000);
  for (auto &c : hashlib_cases)
    EXPECT_EQ(digest_of(data.data(), c.length), c.digest) << c.length;
}

// Pieces of varied sizes, each copied to an address that is not a multiple
// of 4, so that both the in-place and the copying block paths run.
TEST(Md5, BlockEdgesInPieces)
{
  std::vector<unsigned char> data = pattern(10000);
  const size_t piece_sizes[] = {1, 7, 63, 64, 65, 13, 128, 200, 3};
  for (size_t shift = 0; shift < 3; shift++)
    for (auto &c : hashlib_cases) {
      md5_state state;
      md5_init_state(&state);
      std::vector<unsigned char> copy(c.length + 8);
      size_t done = 0, k = shift;
      while (done < c.length) {
        size_t n = std::min(piece_sizes[k++ % 9], c.length - done);
        unsigned char *at = copy.data() + 1 + (k % 3);
        memcpy(at, data.data() + done, n);
        md5_add_bytes(at, n, &state);
        done += n;
      }
      unsigned char digest[md5_digest_size];
      md5_finish_state(&state, digest);
      EXPECT_EQ(hex(digest), c.digest) << c.length << " shift " << shift;
    }
}

TEST(Md5, Streams)
{
  std::vector<unsigned char> data = pattern(10000);
  for (auto &c : hashlib_cases) {
    FILE *f = tmpfile();
    ASSERT_NE(f, nullptr);
    fwrite(data.data(), 1, c.length, f);
    rewind(f);
    unsigned char digest[md5_digest_size];
    EXPECT_EQ(md5_digest_stream(f, digest), 0);
    EXPECT_EQ(hex(digest), c.digest) << c.length;
    fclose(f);
  }
  // Reading a stream opened for writing fails: no digest.
  FILE *f = fopen("/dev/null", "w");
  ASSERT_NE(f, nullptr);
  unsigned char digest[md5_digest_size] = {};
  EXPECT_EQ(md5_digest_stream(f, digest), 1);
  EXPECT_EQ(hex(digest), std::string(32, '0'));
  fclose(f);
}

TEST(Md5, ByteCountCarriesIntoTheHighWord)
{
  md5_state state;
  md5_init_state(&state);
  state.total[0] = 0xffffffc0u;
  unsigned char block[64] = {};
  md5_process_blocks(block, 64, &state);
  EXPECT_EQ(state.total[0], 0u);
  EXPECT_EQ(state.total[1], 1u);

  // The running state reads out without padding.
  md5_init_state(&state);
  unsigned char digest[md5_digest_size];
  EXPECT_EQ(hex(static_cast<unsigned char *>(md5_read_result(&state, digest))),
            "0123456789abcdeffedcba9876543210");
}
