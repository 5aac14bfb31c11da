// The out-of-line parts of the typed hash table: the prime lookup with its
// failed check, and the checking report.
#include "support/hash-table.h"

#include <cstdio>

uint32_t hash_table_higher_prime_index(uint64_t n)
{
  uint32_t index = hash_table_prime_search(n);
  vuz_assert_as(index != hash_table_prime_count, "hash-table", "hash_table_higher_prime_index");
  return index;
}

void hash_table_noop() {}

void hashtab_chk_error()
{
  static const char message[] = "hash table checking failed: equal operator returns true for a "
                                "pair of values with a different hash value\n";
  fwrite(message, 1, sizeof message - 1, stderr);
  internal_abort("hash-table", __LINE__, "hashtab_chk_error");
}
