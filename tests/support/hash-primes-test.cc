// The shared prime table: its search and its division-free remainders.
#include "support/hash-primes.h"

#include <gtest/gtest.h>

#include <random>

TEST(HashPrimes, SearchFindsTheSmallestPrimeAtLeastN)
{
  struct {
    uint64_t n;
    uint32_t index;
  } cases[] = {
    {0, 0}, {7, 0}, {8, 1}, {13, 1}, {14, 2}, {100, 4}, {128, 5},
    {131072, 15}, {2147483648u, 29}, {4294967291u, 29},
    // Beyond the last row: no row, and nothing read past the table.
    {4294967292u, hash_table_prime_count}, {~uint64_t{0}, hash_table_prime_count},
  };
  for (auto &c : cases)
    EXPECT_EQ(hash_table_prime_search(c.n), c.index) << c.n;
}

TEST(HashPrimes, RowsAreLargestPrimesBelowPowersOfTwo)
{
  auto is_prime = [](uint64_t p) {
    for (uint64_t d = 2; d * d <= p; d++)
      if (p % d == 0)
        return false;
    return p > 1;
  };
  for (uint32_t i = 0; i < hash_table_prime_count; i++) {
    uint64_t p = hash_table_primes[i].prime, limit = uint64_t{1} << (i + 3);
    EXPECT_TRUE(is_prime(p)) << p;
    EXPECT_LT(p, limit);
    for (uint64_t q = p + 1; q < limit && i < 20; q++)
      EXPECT_FALSE(is_prime(q)) << q;
  }
}

// Both remainder columns must be exact for every hash: a wrong inverse would
// send lookups to the wrong slot only for some hashes.
TEST(HashPrimes, RemaindersAreExact)
{
  std::mt19937 random(12345);
  for (uint32_t i = 0; i < hash_table_prime_count; i++) {
    uint32_t p = hash_table_primes[i].prime;
    std::vector<uint32_t> xs = {0, 1, p - 3, p - 2, p - 1, p, p + 1, 2 * p - 1, 2 * p,
                                0x7fffffffu, 0x80000000u, 0xfffffffeu, 0xffffffffu};
    for (uint32_t m = 1; m < 64; m++)
      xs.push_back(static_cast<uint32_t>(0xffffffffu / p * p - m));
    for (int k = 0; k < 20000; k++)
      xs.push_back(random());
    for (uint32_t x : xs) {
      ASSERT_EQ(hash_table_mod1(x, i), x % p) << "row " << i << " x " << x;
      ASSERT_EQ(hash_table_mod2(x, i), 1 + x % (p - 2)) << "row " << i << " x " << x;
    }
  }
}

TEST(HashPrimes, ProbeCountsStepsAfterTheFirst)
{
  uint32_t collisions = 0;
  std::vector<uint64_t> seen;
  // hash 18 in 13 slots: start 5, step 1 + 18 mod 11 = 8.
  uint64_t stop = hash_table_probe(18, 1, collisions, [&](uint64_t i) {
    seen.push_back(i);
    return seen.size() == 4;
  });
  EXPECT_EQ(seen, (std::vector<uint64_t>{5, 0, 8, 3}));
  EXPECT_EQ(stop, 3u);
  EXPECT_EQ(collisions, 3u);
}
