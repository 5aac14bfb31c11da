// Hash functions shared by the users of both hash tables: texts, byte blocks
// and pointers.
#ifndef VUZ_SUPPORT_STRING_HASH_H
#define VUZ_SUPPORT_STRING_HASH_H

#include "support/hash-primes.h"

#include <cstddef>

// One mixing step of Bob Jenkins' lookup2 hash; the result is left in c.
inline void hash_mix_words(hashval_t &a, hashval_t &b, hashval_t &c)
{
  a -= b; a -= c; a ^= c >> 13;
  b -= c; b -= a; b ^= a << 8;
  c -= a; c -= b; c ^= b >> 13;
  a -= b; a -= c; a ^= c >> 12;
  b -= c; b -= a; b ^= a << 16;
  c -= a; c -= b; c ^= b >> 5;
  a -= b; a -= c; a ^= c >> 3;
  b -= c; b -= a; b ^= a << 10;
  c -= a; c -= b; c ^= b >> 15;
}

// One byte's step of the text hash that identifiers, file names and string
// keys share, so that a hash computed while lexing finds the table's entry.
constexpr hashval_t hash_text_step(hashval_t h, unsigned char c)
{
  return h * 67 + c - 113;
}

// The last step of an identifier's text hash: its length is folded in, so
// that the lexer's running hash and the table's agree.
constexpr hashval_t hash_text_finish(hashval_t h, size_t length)
{
  return h + hashval_t(length);
}

// The golden-ratio word every lookup2 hash starts from.
constexpr hashval_t hash_golden_ratio = 0x9e3779b9u;

hashval_t string_hash(const void *text);
int string_equal(const void *a, const void *b);
hashval_t hash_bytes_mixed(const void *bytes, size_t length, hashval_t seed);
hashval_t pointer_hash(const void *pointer);
int pointer_equal(const void *a, const void *b);

// Hooks for callers that key tables by pointer.
extern hashval_t (*pointer_hash_hook)(const void *);
extern int (*pointer_equal_hook)(const void *, const void *);

#endif
