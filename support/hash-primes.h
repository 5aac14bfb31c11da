// The table of primes behind both open-addressing hash tables, with the
// multiply-and-shift remainders that keep division off the lookup path.
#ifndef VUZ_SUPPORT_HASH_PRIMES_H
#define VUZ_SUPPORT_HASH_PRIMES_H

#include <cstdint>

typedef uint32_t hashval_t;

// Whether a slot lookup may claim a slot for a new element.
enum insert_option { NO_INSERT = 0, INSERT = 1 };

struct hash_table_prime_row {
  uint32_t prime;
  uint32_t inverse;
  uint32_t inverse_m2;  // for prime - 2
  uint32_t shift;
};

constexpr uint32_t hash_table_prime_count = 30;
extern const hash_table_prime_row hash_table_primes[hash_table_prime_count];

// The index of the smallest tabled prime that is at least n, or
// hash_table_prime_count when n is above the last one.
uint32_t hash_table_prime_search(uint64_t n);

// x mod p by multiplication with the precomputed inverse of p.
inline hashval_t hash_table_mod_by(hashval_t x, uint32_t p, uint32_t inverse, uint32_t shift)
{
  hashval_t t = static_cast<hashval_t>((uint64_t{x} * inverse) >> 32);
  hashval_t q = (t + ((x - t) >> 1)) >> shift;
  return x - q * p;
}

// The start index of a probe.
inline hashval_t hash_table_mod1(hashval_t hash, uint32_t index)
{
  const hash_table_prime_row &row = hash_table_primes[index];
  return hash_table_mod_by(hash, row.prime, row.inverse, row.shift);
}

// The probe step, 1 + hash mod (prime - 2): never 0 and never a multiple of
// the prime, so every probe sequence visits every slot.
inline hashval_t hash_table_mod2(hashval_t hash, uint32_t index)
{
  const hash_table_prime_row &row = hash_table_primes[index];
  return 1 + hash_table_mod_by(hash, row.prime - 2, row.inverse_m2, row.shift);
}

// Whether a table should be resized rather than rebuilt in place: too full for
// its live elements, or a large table mostly empty.
inline bool hash_table_needs_resize(uint64_t size, uint64_t live)
{
  return size < live * 2 || (size > 32 && live * 8 < size);
}

// Walks the probe sequence of hash through a table of the given prime: the
// start index, then steps of hash_table_mod2, wrapping at the size. stop(index)
// ends the walk by returning true; each step after the first counts as a
// collision. Returns the index where the walk stopped.
template <typename Stop>
inline uint64_t hash_table_probe(hashval_t hash, uint32_t prime_index, uint32_t &collisions,
                                 Stop stop)
{
  uint64_t size = hash_table_primes[prime_index].prime;
  uint64_t index = hash_table_mod1(hash, prime_index);
  if (stop(index))
    return index;
  uint64_t step = hash_table_mod2(hash, prime_index);
  for (;;) {
    collisions++;
    index += step;
    if (index >= size)
      index -= size;
    if (stop(index))
      return index;
  }
}

#endif
