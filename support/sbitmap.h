// Fixed-size bitmaps: a bit count, a word count and the 64-bit words in one
// heap block, freed by its owner with free. Operands of a combination may be
// of different sizes: words beyond an operand's own size read as zero.
#ifndef VUZ_SUPPORT_SBITMAP_H
#define VUZ_SUPPORT_SBITMAP_H

#include <cstdint>
#include <cstdio>

struct sbitmap {
  uint32_t n_bits;
  uint32_t size;  // words: (n_bits + 63) / 64

  uint64_t *words() { return reinterpret_cast<uint64_t *>(this + 1); }
  const uint64_t *words() const { return reinterpret_cast<const uint64_t *>(this + 1); }
};

constexpr uint32_t bitmap_word_bits = 64;

inline bool bitmap_bit_p(const sbitmap *map, uint32_t bit)
{
  return (map->words()[bit / bitmap_word_bits] >> (bit % bitmap_word_bits)) & 1;
}
inline void bitmap_set_bit(sbitmap *map, uint32_t bit)
{
  map->words()[bit / bitmap_word_bits] |= uint64_t{1} << (bit % bitmap_word_bits);
}
inline void bitmap_clear_bit(sbitmap *map, uint32_t bit)
{
  map->words()[bit / bitmap_word_bits] &= ~(uint64_t{1} << (bit % bitmap_word_bits));
}

sbitmap *bitmap_create(uint32_t n_bits);
sbitmap *bitmap_resize(sbitmap *map, uint32_t n_bits, int fill);
sbitmap *bitmap_realloc(sbitmap *map, uint32_t n_bits);
sbitmap **bitmap_vector_alloc(uint32_t count, uint32_t n_bits);

void bitmap_copy_words(sbitmap *dst, const sbitmap *src);
int bitmap_equal(const sbitmap *a, const sbitmap *b);
int bitmap_empty(const sbitmap *map);
void bitmap_zero_words(sbitmap *map);
void bitmap_ones(sbitmap *map);
void bitmap_vector_zero(sbitmap **maps, uint32_t count);
void bitmap_vector_ones(sbitmap **maps, uint32_t count);
void bitmap_clear_range(sbitmap *map, uint32_t start, uint32_t count);
void bitmap_set_range(sbitmap *map, uint32_t start, uint32_t count);
int bitmap_range_has_bit(const sbitmap *map, uint32_t start, uint32_t end);
uint64_t bitmap_popcount(const sbitmap *map);

// The combinations return 1 when any word of dst changed.
int bitmap_and_words(sbitmap *dst, const sbitmap *a, const sbitmap *b);
int bitmap_ior_words(sbitmap *dst, const sbitmap *a, const sbitmap *b);
int bitmap_xor_words(sbitmap *dst, const sbitmap *a, const sbitmap *b);
int bitmap_or_and_not(sbitmap *dst, const sbitmap *a, const sbitmap *b, const sbitmap *c);
int bitmap_or_and(sbitmap *dst, const sbitmap *a, const sbitmap *b, const sbitmap *c);
int bitmap_and_or(sbitmap *dst, const sbitmap *a, const sbitmap *b, const sbitmap *c);
void bitmap_not(sbitmap *dst, const sbitmap *src);
void bitmap_and_compl(sbitmap *dst, const sbitmap *a, const sbitmap *b);

int bitmap_subset(const sbitmap *a, const sbitmap *b);
int bitmap_intersects(const sbitmap *a, const sbitmap *b);
int64_t bitmap_first_set(const sbitmap *map);
int64_t bitmap_last_set(const sbitmap *map);

void bitmap_dump_bits(FILE *stream, const sbitmap *map);
void bitmap_dump_set(FILE *stream, const sbitmap *map);
void bitmap_debug_bits(const sbitmap *map);
void bitmap_debug_set(const sbitmap *map);
void bitmap_debug_bits_or_nil(const sbitmap *map);
void bitmap_debug_set_or_nil(const sbitmap *map);
void bitmap_dump_vector(FILE *stream, const char *title, const char *label, sbitmap **maps,
                        uint32_t count);

#endif
