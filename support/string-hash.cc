// Text, byte-block and pointer hashes.
#include "support/string-hash.h"

#include <cstdint>
#include <cstring>

hashval_t (*pointer_hash_hook)(const void *) = pointer_hash;
int (*pointer_equal_hook)(const void *, const void *) = pointer_equal;

hashval_t string_hash(const void *text)
{
  hashval_t h = 0;
  for (const unsigned char *p = static_cast<const unsigned char *>(text); *p; p++)
    h = hash_text_step(h, *p);
  return h;
}

int string_equal(const void *a, const void *b)
{
  return strcmp(static_cast<const char *>(a), static_cast<const char *>(b)) == 0;
}

// Little-endian whatever the alignment of the data.
static hashval_t load_word(const unsigned char *p)
{
  return hashval_t{p[0]} | hashval_t{p[1]} << 8 | hashval_t{p[2]} << 16 | hashval_t{p[3]} << 24;
}

hashval_t hash_bytes_mixed(const void *bytes, size_t length, hashval_t seed)
{
  const unsigned char *k = static_cast<const unsigned char *>(bytes);
  hashval_t a = hash_golden_ratio, b = hash_golden_ratio, c = seed;
  size_t left = length;
  for (; left >= 12; k += 12, left -= 12) {
    a += load_word(k);
    b += load_word(k + 4);
    c += load_word(k + 8);
    hash_mix_words(a, b, c);
  }
  c += static_cast<hashval_t>(length);
  // The low byte of c already holds the length.
  switch (left) {
  case 11: c += hashval_t{k[10]} << 24; [[fallthrough]];
  case 10: c += hashval_t{k[9]} << 16; [[fallthrough]];
  case 9: c += hashval_t{k[8]} << 8; [[fallthrough]];
  case 8: b += hashval_t{k[7]} << 24; [[fallthrough]];
  case 7: b += hashval_t{k[6]} << 16; [[fallthrough]];
  case 6: b += hashval_t{k[5]} << 8; [[fallthrough]];
  case 5: b += k[4]; [[fallthrough]];
  case 4: a += hashval_t{k[3]} << 24; [[fallthrough]];
  case 3: a += hashval_t{k[2]} << 16; [[fallthrough]];
  case 2: a += hashval_t{k[1]} << 8; [[fallthrough]];
  case 1: a += k[0]; break;
  default: break;
  }
  hash_mix_words(a, b, c);
  return c;
}

hashval_t pointer_hash(const void *pointer)
{
  uint64_t v = reinterpret_cast<uintptr_t>(pointer);
  hashval_t a = hash_golden_ratio + static_cast<hashval_t>(v >> 32);
  hashval_t b = hash_golden_ratio + static_cast<hashval_t>(v);
  hashval_t c = 0x42135234u;
  hash_mix_words(a, b, c);
  return c;
}

int pointer_equal(const void *a, const void *b)
{
  return a == b;
}
