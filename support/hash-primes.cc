// The prime table shared by both hash tables. Row i holds the largest prime
// below 2^(i + 3); the inverses are exact for every 32-bit remainder.
#include "support/hash-primes.h"

const hash_table_prime_row hash_table_primes[hash_table_prime_count] = {
  {7, 0x24924925, 0x9999999b, 2},
  {13, 0x3b13b13c, 0x745d1747, 3},
  {31, 0x08421085, 0x1a7b9612, 4},
  {61, 0x0c9714fc, 0x15b1e5f8, 5},
  {127, 0x02040811, 0x0624dd30, 6},
  {251, 0x05197f7e, 0x073260a5, 7},
  {509, 0x01824366, 0x02864fc8, 8},
  {1021, 0x00c0906d, 0x014191f7, 9},
  {2039, 0x0121456f, 0x0161e69e, 10},
  {4093, 0x00300902, 0x00501908, 11},
  {8191, 0x00080041, 0x00180241, 12},
  {16381, 0x000c0091, 0x00140191, 13},
  {32749, 0x002605a5, 0x002a06e6, 14},
  {65521, 0x000f00e2, 0x00110122, 15},
  {131071, 0x00008001, 0x00018003, 16},
  {262139, 0x00014002, 0x0001c004, 17},
  {524287, 0x00002001, 0x00006001, 18},
  {1048573, 0x00003001, 0x00005001, 19},
  {2097143, 0x00004801, 0x00005801, 20},
  {4194301, 0x00000c01, 0x00001401, 21},
  {8388593, 0x00001e01, 0x00002201, 22},
  {16777213, 0x00000301, 0x00000501, 23},
  {33554393, 0x00001381, 0x00001481, 24},
  {67108859, 0x00000141, 0x000001c1, 25},
  {134217689, 0x000004e1, 0x00000521, 26},
  {268435399, 0x00000391, 0x000003b1, 27},
  {536870909, 0x00000019, 0x00000029, 28},
  {1073741789, 0x0000008d, 0x00000095, 29},
  {2147483647, 0x00000003, 0x00000007, 30},
  {4294967291u, 0x00000006, 0x00000008, 31},
};

uint32_t hash_table_prime_search(uint64_t n)
{
  // Tested first, so that the search below always ends on a real row.
  if (n > hash_table_primes[hash_table_prime_count - 1].prime)
    return hash_table_prime_count;
  uint32_t low = 0, high = hash_table_prime_count;
  while (low != high) {
    uint32_t mid = low + (high - low) / 2;
    if (n > hash_table_primes[mid].prime)
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}
