// Fixed-size bitmaps: creation, resizing, word-wise combinations, searches and
// dumps.
#include "support/sbitmap.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstring>

static uint32_t words_for(uint32_t n_bits)
{
  return static_cast<uint32_t>((uint64_t{n_bits} + bitmap_word_bits - 1) / bitmap_word_bits);
}

static size_t block_bytes(uint32_t n_words)
{
  return sizeof(sbitmap) + size_t{n_words} * sizeof(uint64_t);
}

// The bits below n; n may be the full word width, where a plain shift would
// be undefined.
static uint64_t low_bits(uint64_t n)
{
  return n >= bitmap_word_bits ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

// The bits of word i whose indices lie in [start, end).
static uint64_t range_mask(uint32_t i, uint64_t start, uint64_t end)
{
  uint64_t base = uint64_t{i} * bitmap_word_bits;
  if (end <= base || start >= base + bitmap_word_bits)
    return 0;
  uint64_t lo = start > base ? start - base : 0;
  uint64_t hi = end < base + bitmap_word_bits ? end - base : bitmap_word_bits;
  return low_bits(hi) & ~low_bits(lo);
}

static uint64_t word_of(const sbitmap *map, uint32_t i)
{
  return i < map->size ? map->words()[i] : 0;
}

sbitmap *bitmap_create(uint32_t n_bits)
{
  uint32_t n_words = words_for(n_bits);
  sbitmap *map = static_cast<sbitmap *>(checked_malloc(block_bytes(n_words)));
  map->n_bits = n_bits;
  map->size = n_words;
  return map;
}

sbitmap *bitmap_resize(sbitmap *map, uint32_t n_bits, int fill)
{
  uint32_t new_size = words_for(n_bits), old_size = map->size, old_bits = map->n_bits;
  if (new_size > old_size)
    map = static_cast<sbitmap *>(checked_realloc(map, block_bytes(new_size)));
  uint64_t *w = map->words();
  if (n_bits > old_bits) {
    if (fill && old_bits % bitmap_word_bits)
      w[old_bits / bitmap_word_bits] |= ~low_bits(old_bits % bitmap_word_bits);
    for (uint32_t i = old_size; i < new_size; i++)
      w[i] = fill ? ~uint64_t{0} : 0;
  }
  map->n_bits = n_bits;
  map->size = new_size;
  if (n_bits % bitmap_word_bits)
    w[new_size - 1] &= low_bits(n_bits % bitmap_word_bits);
  return map;
}

sbitmap *bitmap_realloc(sbitmap *map, uint32_t n_bits)
{
  uint32_t new_size = words_for(n_bits);
  if (new_size > map->size)
    map = static_cast<sbitmap *>(checked_realloc(map, block_bytes(new_size)));
  map->n_bits = n_bits;
  map->size = new_size;
  return map;
}

sbitmap **bitmap_vector_alloc(uint32_t count, uint32_t n_bits)
{
  uint32_t n_words = words_for(n_bits);
  size_t each = block_bytes(n_words);
  char *block = static_cast<char *>(checked_malloc(count * (sizeof(sbitmap *) + each)));
  sbitmap **maps = reinterpret_cast<sbitmap **>(block);
  char *next = block + count * sizeof(sbitmap *);
  for (uint32_t i = 0; i < count; i++, next += each) {
    maps[i] = reinterpret_cast<sbitmap *>(next);
    maps[i]->n_bits = n_bits;
    maps[i]->size = n_words;
  }
  return maps;
}

// Stores word_value(i) in every word of dst; says whether any word changed.
template <typename WordValue> static int combine(sbitmap *dst, WordValue word_value)
{
  uint64_t changed = 0;
  uint64_t *d = dst->words();
  for (uint32_t i = 0; i < dst->size; i++) {
    uint64_t v = word_value(i);
    changed |= v ^ d[i];
    d[i] = v;
  }
  return changed != 0;
}

void bitmap_copy_words(sbitmap *dst, const sbitmap *src)
{
  combine(dst, [&](uint32_t i) { return word_of(src, i); });
}

int bitmap_equal(const sbitmap *a, const sbitmap *b)
{
  for (uint32_t i = 0; i < a->size; i++)
    if (a->words()[i] != word_of(b, i))
      return 0;
  return 1;
}

int bitmap_empty(const sbitmap *map)
{
  for (uint32_t i = 0; i < map->size; i++)
    if (map->words()[i])
      return 0;
  return 1;
}

void bitmap_zero_words(sbitmap *map)
{
  memset(map->words(), 0, size_t{map->size} * sizeof(uint64_t));
}

void bitmap_ones(sbitmap *map)
{
  combine(map, [&](uint32_t i) { return range_mask(i, 0, map->n_bits); });
}

void bitmap_vector_zero(sbitmap **maps, uint32_t count)
{
  for (uint32_t i = 0; i < count; i++)
    bitmap_zero_words(maps[i]);
}

void bitmap_vector_ones(sbitmap **maps, uint32_t count)
{
  for (uint32_t i = 0; i < count; i++)
    bitmap_ones(maps[i]);
}

// Applies set or clear to bits [start, end); a range past the map's words is
// a caller's fault.
static void change_range(sbitmap *map, uint64_t start, uint64_t end, bool set)
{
  if (start >= end)
    return;
  vuz_assert(end <= uint64_t{map->size} * bitmap_word_bits);
  uint64_t *w = map->words();
  for (uint32_t i = start / bitmap_word_bits; i <= (end - 1) / bitmap_word_bits; i++) {
    uint64_t mask = range_mask(i, start, end);
    w[i] = set ? w[i] | mask : w[i] & ~mask;
  }
}

void bitmap_clear_range(sbitmap *map, uint32_t start, uint32_t count)
{
  change_range(map, start, uint64_t{start} + count, false);
}

void bitmap_set_range(sbitmap *map, uint32_t start, uint32_t count)
{
  change_range(map, start, uint64_t{start} + count, true);
}

int bitmap_range_has_bit(const sbitmap *map, uint32_t start, uint32_t end)
{
  uint64_t stop = uint64_t{end} + 1;
  if (start >= stop)
    return 0;
  uint32_t last = static_cast<uint32_t>((stop - 1) / bitmap_word_bits);
  for (uint32_t i = start / bitmap_word_bits; i <= last; i++)
    if (word_of(map, i) & range_mask(i, start, stop))
      return 1;
  return 0;
}

uint64_t bitmap_popcount(const sbitmap *map)
{
  uint64_t count = 0;
  for (uint32_t i = 0; i < map->size; i++)
    count += __builtin_popcountll(map->words()[i]);
  return count;
}

int bitmap_and_words(sbitmap *dst, const sbitmap *a, const sbitmap *b)
{
  return combine(dst, [&](uint32_t i) { return word_of(a, i) & word_of(b, i); });
}

int bitmap_ior_words(sbitmap *dst, const sbitmap *a, const sbitmap *b)
{
  return combine(dst, [&](uint32_t i) { return word_of(a, i) | word_of(b, i); });
}

int bitmap_xor_words(sbitmap *dst, const sbitmap *a, const sbitmap *b)
{
  return combine(dst, [&](uint32_t i) { return word_of(a, i) ^ word_of(b, i); });
}

int bitmap_or_and_not(sbitmap *dst, const sbitmap *a, const sbitmap *b, const sbitmap *c)
{
  return combine(dst,
                 [&](uint32_t i) { return word_of(a, i) | (word_of(b, i) & ~word_of(c, i)); });
}

int bitmap_or_and(sbitmap *dst, const sbitmap *a, const sbitmap *b, const sbitmap *c)
{
  return combine(dst,
                 [&](uint32_t i) { return word_of(a, i) | (word_of(b, i) & word_of(c, i)); });
}

int bitmap_and_or(sbitmap *dst, const sbitmap *a, const sbitmap *b, const sbitmap *c)
{
  return combine(dst,
                 [&](uint32_t i) { return word_of(a, i) & (word_of(b, i) | word_of(c, i)); });
}

void bitmap_not(sbitmap *dst, const sbitmap *src)
{
  combine(dst, [&](uint32_t i) { return ~word_of(src, i) & range_mask(i, 0, src->n_bits); });
}

void bitmap_and_compl(sbitmap *dst, const sbitmap *a, const sbitmap *b)
{
  vuz_assert_as(a->size >= dst->size, "sbitmap", "bitmap_and_compl");
  // Where b has no words, ~0 leaves a's words as they are.
  combine(dst, [&](uint32_t i) { return a->words()[i] & ~word_of(b, i); });
}

int bitmap_subset(const sbitmap *a, const sbitmap *b)
{
  for (uint32_t i = 0; i < a->size; i++)
    if (a->words()[i] & ~word_of(b, i))
      return 0;
  return 1;
}

int bitmap_intersects(const sbitmap *a, const sbitmap *b)
{
  for (uint32_t i = 0; i < a->size; i++)
    if (a->words()[i] & word_of(b, i))
      return 1;
  return 0;
}

int64_t bitmap_first_set(const sbitmap *map)
{
  for (uint32_t i = 0; i < map->size; i++)
    if (uint64_t w = map->words()[i])
      return int64_t{i} * bitmap_word_bits + __builtin_ctzll(w);
  return -1;
}

int64_t bitmap_last_set(const sbitmap *map)
{
  for (uint32_t i = map->size; i-- > 0;)
    if (uint64_t w = map->words()[i])
      return int64_t{i} * bitmap_word_bits + (bitmap_word_bits - 1 - __builtin_clzll(w));
  return -1;
}

void bitmap_dump_bits(FILE *stream, const sbitmap *map)
{
  fputs("  ", stream);
  for (uint32_t i = 0; i < map->n_bits; i++) {
    if (i != 0 && i % 10 == 0)
      putc(' ', stream);
    putc(bitmap_bit_p(map, i) ? '1' : '0', stream);
  }
  putc('\n', stream);
}

void bitmap_dump_set(FILE *stream, const sbitmap *map)
{
  fprintf(stream, "n_bits = %d, set = {", static_cast<int>(map->n_bits));
  uint32_t column = 30;
  for (uint32_t i = 0; i < map->n_bits; i++) {
    if (!bitmap_bit_p(map, i))
      continue;
    if (column > 70) {
      fputs("\n  ", stream);
      column = 0;
    }
    fprintf(stream, "%d ", static_cast<int>(i));
    column += 2 + (i > 9) + (i > 99) + (i > 999);
  }
  fputs("}\n", stream);
}

void bitmap_debug_bits(const sbitmap *map)
{
  bitmap_dump_bits(stderr, map);
}

void bitmap_debug_set(const sbitmap *map)
{
  bitmap_dump_set(stderr, map);
}

void bitmap_debug_bits_or_nil(const sbitmap *map)
{
  if (map)
    bitmap_debug_bits(map);
  else
    fputs("<nil>\n", stderr);
}

void bitmap_debug_set_or_nil(const sbitmap *map)
{
  if (map)
    bitmap_debug_set(map);
  else
    fputs("<nil>\n", stderr);
}

void bitmap_dump_vector(FILE *stream, const char *title, const char *label, sbitmap **maps,
                        uint32_t count)
{
  fprintf(stream, "%s\n", title);
  for (uint32_t i = 0; i < count; i++) {
    fprintf(stream, "%s %d\n", label, static_cast<int>(i));
    bitmap_dump_bits(stream, maps[i]);
  }
  fputs("\n", stream);
}
