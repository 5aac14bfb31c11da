// Compressed debug sections (the ELF compression header and the older ".z"
// form) and the one-shot zlib inflater behind them: RFC 1950 around RFC 1951.
#include "libmerrow/internal.h"

#include <cstring>

// Decoding tables: 256 primary entries indexed by the next 8 input bits, then
// secondary tables for longer codes. A primary entry is direct (bits 0-8 the
// symbol, 9-11 the code length - 1) or, with bit 15, a pointer (bits 0-11 the
// secondary table's offset, 12-14 its index bits); a secondary entry holds the
// symbol and the code length - 8.
enum {
  PRIMARY_BITS = 8,
  PRIMARY_SIZE = 1 << PRIMARY_BITS,
  ENTRY_POINTER = 0x8000,
  // Canonical codes put the long codes together at the end of the code space,
  // so only the few tables where the length changes are sparse; these bounds
  // hold every complete code of 286 and of 30 symbols with margin.
  LITERAL_SECONDARY = 2048,
  DISTANCE_SECONDARY = 1024,
  LITERAL_TABLE_SIZE = PRIMARY_SIZE + LITERAL_SECONDARY,
  DISTANCE_TABLE_SIZE = PRIMARY_SIZE + DISTANCE_SECONDARY,
  MAX_CODE_LENGTH = 15,
  LITERAL_CODES = 288,
  DISTANCE_CODES = 32,
  CODE_LENGTH_CODES = 19,
  END_OF_BLOCK = 256,
  // An unfilled entry reads as a symbol no alphabet has; decoding it fails.
  INVALID_ENTRY = 0x1ff,
};

struct bt_inflate_work {
  uint16_t literal[LITERAL_TABLE_SIZE];
  uint16_t distance[DISTANCE_TABLE_SIZE];
  uint16_t codes[LITERAL_CODES + DISTANCE_CODES];  // the bit-reversed code of each symbol
  unsigned char lengths[LITERAL_CODES + DISTANCE_CODES];
};

static_assert(sizeof(bt_inflate_work) <= BT_INFLATE_WORK_SIZE, "work table too small");

static unsigned reverse_bits(unsigned code, unsigned length)
{
  unsigned r = 0;
  for (unsigned i = 0; i < length; ++i, code >>= 1)
    r = (r << 1) | (code & 1);
  return r;
}

// Fills TABLE (of TABLE_SIZE entries) for the canonical code of LENGTHS.
// As zlib does, an incomplete code is refused except a single one-bit code,
// and a code without any symbol gives a table in which every lookup fails.
int bt_huffman_table_build(const unsigned char *lengths, unsigned count, int kind,
                           uint16_t *codes, uint16_t *table, unsigned table_size)
{
  unsigned length_count[MAX_CODE_LENGTH + 1] = {};
  for (unsigned i = 0; i < count; ++i) {
    if (lengths[i] > MAX_CODE_LENGTH)
      return 0;
    ++length_count[lengths[i]];
  }
  for (unsigned i = 0; i < table_size; ++i)
    table[i] = INVALID_ENTRY;
  int left = 1;
  unsigned longest = 0;
  for (unsigned len = 1; len <= MAX_CODE_LENGTH; ++len) {
    left = 2 * left - static_cast<int>(length_count[len]);
    if (left < 0)
      return 0;  // over-subscribed
    if (length_count[len])
      longest = len;
  }
  if (longest == 0)
    return 1;
  if (left > 0 && (kind == BT_HUFFMAN_CODE_LENGTHS || longest != 1))
    return 0;

  unsigned next_code[MAX_CODE_LENGTH + 2];
  next_code[1] = 0;
  for (unsigned len = 1; len <= MAX_CODE_LENGTH; ++len)
    next_code[len + 1] = (next_code[len] + length_count[len]) << 1;
  for (unsigned sym = 0; sym < count; ++sym) {
    unsigned len = lengths[sym];
    if (len == 0)
      continue;
    codes[sym] = static_cast<uint16_t>(reverse_bits(next_code[len]++, len));
    if (len <= PRIMARY_BITS)
      for (unsigned i = codes[sym]; i < PRIMARY_SIZE; i += 1u << len)
        table[i] = static_cast<uint16_t>(sym | (len - 1) << 9);
  }
  // Longest first, so that each secondary table is sized by the longest code
  // under its prefix.
  unsigned next_free = 0;
  for (unsigned len = longest; len > PRIMARY_BITS; --len) {
    for (unsigned sym = 0; sym < count; ++sym) {
      if (lengths[sym] != len)
        continue;
      unsigned prefix = codes[sym] & (PRIMARY_SIZE - 1);
      uint16_t entry = table[prefix];
      if (!(entry & ENTRY_POINTER)) {
        unsigned bits = len - PRIMARY_BITS;
        if (PRIMARY_SIZE + next_free + (1u << bits) > table_size)
          return 0;
        entry = static_cast<uint16_t>(ENTRY_POINTER | bits << 12 | next_free);
        table[prefix] = entry;
        next_free += 1u << bits;
      }
      unsigned bits = (entry >> 12) & 7;
      uint16_t *secondary = table + PRIMARY_SIZE + (entry & 0xfff);
      for (unsigned i = codes[sym] >> PRIMARY_BITS; i < (1u << bits); i += 1u << (len - 8))
        secondary[i] = static_cast<uint16_t>(sym | (len - PRIMARY_BITS) << 9);
    }
  }
  return 1;
}

// The bit reader: a 64-bit buffer filled least significant bit first. Past
// the end of the input it feeds zero bytes and counts them, so that the
// decoder's hot loop needs no bounds checks; a stream that used them fails.
struct bit_reader {
  const unsigned char *p;
  const unsigned char *end;
  uint64_t value;
  unsigned bits;
  size_t overrun;
};

static inline uint64_t load_le64(const unsigned char *p)
{
  uint64_t v;
  memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

// At least 56 bits held afterwards.
static inline void refill(bit_reader *r)
{
  if (r->end - r->p >= 8) {
    r->value |= load_le64(r->p) << r->bits;
    r->p += (63 - r->bits) >> 3;
    r->bits |= 56;
    return;
  }
  while (r->bits <= 56) {
    uint64_t byte = 0;
    if (r->p < r->end)
      byte = *r->p++;
    else
      ++r->overrun;
    r->value |= byte << r->bits;
    r->bits += 8;
  }
}

static inline unsigned take(bit_reader *r, unsigned n)
{
  unsigned v = static_cast<unsigned>(r->value & ((uint64_t{1} << n) - 1));
  r->value >>= n;
  r->bits -= n;
  return v;
}

// Whether every bit taken so far came from the input.
static bool within_input(const bit_reader *r)
{
  return r->overrun * 8 <= r->bits;
}

// Gives the whole bytes held back to the input and empties the buffer.
static bool realign(bit_reader *r)
{
  take(r, r->bits & 7);
  size_t held = r->bits / 8;
  if (held < r->overrun)
    return false;
  r->p -= held - r->overrun;
  r->overrun = 0;
  r->value = 0;
  r->bits = 0;
  return true;
}

// The next symbol; needs 15 bits held.
static inline unsigned decode(bit_reader *r, const uint16_t *table)
{
  unsigned entry = table[r->value & (PRIMARY_SIZE - 1)];
  if (!(entry & ENTRY_POINTER)) {
    take(r, ((entry >> 9) & 7) + 1);
    return entry & 0x1ff;
  }
  unsigned bits = (entry >> 12) & 7;
  unsigned index = static_cast<unsigned>(r->value >> PRIMARY_BITS) & ((1u << bits) - 1);
  entry = table[PRIMARY_SIZE + (entry & 0xfff) + index];
  take(r, PRIMARY_BITS + ((entry >> 9) & 7));
  return entry & 0x1ff;
}

// Lengths 3-258 and distances 1-32768 from their symbols (RFC 1951 3.2.5).
static const uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,
                                         15, 17, 19, 23, 27, 31, 35, 43,  51,  59,
                                         67, 83, 99, 115, 131, 163, 195, 227, 258};
static const unsigned char length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const uint16_t distance_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,
                                           17,   25,   33,   49,   65,   97,    129,   193,
                                           257,  385,  513,  769,  1025, 1537,  2049,  3073,
                                           4097, 6145, 8193, 12289, 16385, 24577};
static const unsigned char distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The order in which a dynamic block lists its code-length code lengths.
static const unsigned char code_length_order[CODE_LENGTH_CODES] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct inflate_output {
  unsigned char *start;
  unsigned char *p;
  unsigned char *end;
};

// Copies a match inside the output; the caller has checked both bounds.
static inline void copy_match(unsigned char *p, size_t distance, size_t length)
{
  const unsigned char *from = p - distance;
  if (distance == 1) {
    memset(p, *from, length);
    return;
  }
  // Pieces no longer than the distance repeat an overlapping pattern.
  while (length > 0) {
    size_t piece = length < distance ? length : distance;
    memcpy(p, from, piece);
    p += piece;
    length -= piece;
  }
}

static bool inflate_codes(bit_reader *r, inflate_output *out, const uint16_t *literal,
                          const uint16_t *distance)
{
  unsigned char *p = out->p;
  for (;;) {
    if (r->bits < 48)
      refill(r);
    unsigned sym = decode(r, literal);
    if (sym < 256) {
      if (p == out->end)
        return false;
      *p++ = static_cast<unsigned char>(sym);
      continue;
    }
    if (sym == END_OF_BLOCK)
      break;
    sym -= 257;
    if (sym >= 29)
      return false;
    size_t length = length_base[sym] + take(r, length_extra[sym]);
    unsigned dsym = decode(r, distance);
    if (dsym >= 30)
      return false;
    size_t dist = distance_base[dsym] + take(r, distance_extra[dsym]);
    if (dist > static_cast<size_t>(p - out->start) || length > static_cast<size_t>(out->end - p))
      return false;
    copy_match(p, dist, length);
    p += length;
  }
  out->p = p;
  return within_input(r);
}

static bool inflate_stored(bit_reader *r, inflate_output *out)
{
  if (!realign(r) || r->end - r->p < 4)
    return false;
  unsigned len = r->p[0] | r->p[1] << 8;
  unsigned nlen = r->p[2] | r->p[3] << 8;
  r->p += 4;
  if ((len ^ 0xffff) != nlen || len > static_cast<size_t>(r->end - r->p) ||
      len > static_cast<size_t>(out->end - out->p))
    return false;
  if (len > 0)
    memcpy(out->p, r->p, len);
  out->p += len;
  r->p += len;
  return true;
}

static bool inflate_dynamic_tables(bit_reader *r, bt_inflate_work *work)
{
  refill(r);
  unsigned nlit = take(r, 5) + 257, ndist = take(r, 5) + 1, nclen = take(r, 4) + 4;
  if (nlit > 286 || ndist > 30)
    return false;
  unsigned char clen[CODE_LENGTH_CODES] = {};
  for (unsigned i = 0; i < nclen; ++i) {
    refill(r);
    clen[code_length_order[i]] = static_cast<unsigned char>(take(r, 3));
  }
  if (!bt_huffman_table_build(clen, CODE_LENGTH_CODES, BT_HUFFMAN_CODE_LENGTHS, work->codes,
                              work->literal, PRIMARY_SIZE))
    return false;
  unsigned char *lengths = work->lengths;
  unsigned total = nlit + ndist;
  for (unsigned i = 0; i < total;) {
    refill(r);
    unsigned sym = decode(r, work->literal);
    if (sym < 16) {
      lengths[i++] = static_cast<unsigned char>(sym);
      continue;
    }
    unsigned value = 0, repeat;
    if (sym == 16) {
      if (i == 0)
        return false;
      value = lengths[i - 1];
      repeat = 3 + take(r, 2);
    } else if (sym == 17) {
      repeat = 3 + take(r, 3);
    } else if (sym == 18) {
      repeat = 11 + take(r, 7);
    } else {
      return false;
    }
    if (repeat > total - i)
      return false;
    memset(lengths + i, static_cast<int>(value), repeat);
    i += repeat;
  }
  if (!within_input(r) || lengths[END_OF_BLOCK] == 0)
    return false;
  return bt_huffman_table_build(lengths, nlit, BT_HUFFMAN_LITERALS, work->codes, work->literal,
                                LITERAL_TABLE_SIZE) &&
         bt_huffman_table_build(lengths + nlit, ndist, BT_HUFFMAN_DISTANCES, work->codes,
                                work->distance, DISTANCE_TABLE_SIZE);
}

static bool inflate_fixed_tables(bt_inflate_work *work)
{
  // RFC 1951 3.2.6.
  unsigned char *lengths = work->lengths;
  memset(lengths, 8, 144);
  memset(lengths + 144, 9, 112);
  memset(lengths + 256, 7, 24);
  memset(lengths + 280, 8, 8);
  memset(lengths + LITERAL_CODES, 5, DISTANCE_CODES);
  return bt_huffman_table_build(lengths, LITERAL_CODES, BT_HUFFMAN_LITERALS, work->codes,
                                work->literal, LITERAL_TABLE_SIZE) &&
         bt_huffman_table_build(lengths + LITERAL_CODES, DISTANCE_CODES, BT_HUFFMAN_DISTANCES,
                                work->codes, work->distance, DISTANCE_TABLE_SIZE);
}

static uint32_t adler32(const unsigned char *p, size_t n)
{
  enum { ADLER_BASE = 65521, ADLER_RUN = 5552 };  // the longest run that cannot overflow
  uint32_t a = 1, b = 0;
  while (n > 0) {
    size_t run = n < ADLER_RUN ? n : ADLER_RUN;
    n -= run;
    for (; run >= 4; run -= 4, p += 4) {
      a += p[0];
      b += a;
      a += p[1];
      b += a;
      a += p[2];
      b += a;
      a += p[3];
      b += a;
    }
    for (; run > 0; --run)
      b += a += *p++;
    a %= ADLER_BASE;
    b %= ADLER_BASE;
  }
  return b << 16 | a;
}

// One zlib stream into OUT from R's position; R ends after its checksum.
static bool inflate_stream(bit_reader *r, inflate_output *out, bt_inflate_work *work)
{
  if (r->end - r->p < 2)
    return false;
  unsigned cmf = r->p[0], flg = r->p[1];
  r->p += 2;
  // Deflate, a window of at most 32 KiB, no preset dictionary, header check.
  if ((cmf & 0x0f) != 8 || (cmf >> 4) > 7 || (flg & 0x20) || (cmf << 8 | flg) % 31 != 0)
    return false;
  unsigned char *stream_start = out->p;
  bool fixed_ready = false;
  for (;;) {
    refill(r);
    unsigned final = take(r, 1);
    unsigned type = take(r, 2);
    if (!within_input(r))
      return false;
    bool ok;
    switch (type) {
    case 0:
      ok = inflate_stored(r, out);
      break;
    case 1:
      // The fixed tables are built once per stream, and again only when a
      // dynamic block has overwritten them.
      ok = (fixed_ready || inflate_fixed_tables(work)) &&
           inflate_codes(r, out, work->literal, work->distance);
      fixed_ready = ok;
      break;
    case 2:
      fixed_ready = false;
      ok = inflate_dynamic_tables(r, work) && inflate_codes(r, out, work->literal, work->distance);
      break;
    default:
      return false;
    }
    if (!ok)
      return false;
    if (final)
      break;
  }
  if (!realign(r) || r->end - r->p < 4)
    return false;
  uint32_t check = static_cast<uint32_t>(r->p[0]) << 24 | r->p[1] << 16 | r->p[2] << 8 | r->p[3];
  r->p += 4;
  return adler32(stream_start, out->p - stream_start) == check;
}

int bt_zlib_decode(const unsigned char *input, size_t input_size, void *work,
                   unsigned char *output, size_t output_size)
{
  bit_reader r = {input, input + input_size, 0, 0, 0};
  inflate_output out = {output, output, output + output_size};
  // Streams follow one another until the output is full; what follows the
  // last one is not read, as zlib itself leaves it.
  do {
    if (!inflate_stream(&r, &out, static_cast<bt_inflate_work *>(work)))
      return 0;
  } while (out.p != out.end && r.end - r.p > 4);
  return out.p == out.end;
}

// Deflate gives at most 1032 bytes for one input byte (a 258-byte match in
// two bits); a larger announced size is not worth an allocation.
static bool plausible_size(uint64_t size, size_t compressed_size)
{
  enum { DEFLATE_MOST_PER_BYTE = 1032 };
  bool within = compressed_size >= UINT64_MAX / DEFLATE_MOST_PER_BYTE ||
                size <= uint64_t{compressed_size} * DEFLATE_MOST_PER_BYTE;
  return within && size <= SIZE_MAX;
}

// Inflates into a new buffer of SIZE bytes; 0 only when memory runs out.
static int decompress_into_new(bt_state *state, const unsigned char *stream, size_t stream_size,
                               uint64_t size, void *work, bt_error_callback error_callback,
                               void *data, unsigned char **out, size_t *out_size)
{
  if (!plausible_size(size, stream_size))
    return 1;
  unsigned char *buffer =
      static_cast<unsigned char *>(bt_alloc(state, size, error_callback, data));
  if (!buffer)
    return 0;
  if (!bt_zlib_decode(stream, stream_size, work, buffer, size)) {
    bt_free(state, buffer, size, error_callback, data);
    return 1;
  }
  *out = buffer;
  *out_size = size;
  return 1;
}

int bt_chdr_section_decompress(bt_state *state, const unsigned char *section, size_t size,
                               void *work, bt_error_callback error_callback, void *data,
                               unsigned char **out, size_t *out_size)
{
  enum { ELFCOMPRESS_ZLIB = 1, CHDR_SIZE = 24 };
  *out = nullptr;
  *out_size = 0;
  if (size < CHDR_SIZE)
    return 1;
  uint32_t type;
  uint64_t decompressed_size;
  memcpy(&type, section, 4);
  memcpy(&decompressed_size, section + 8, 8);
  if (type != ELFCOMPRESS_ZLIB)
    return 1;
  return decompress_into_new(state, section + CHDR_SIZE, size - CHDR_SIZE, decompressed_size,
                             work, error_callback, data, out, out_size);
}

int bt_zdebug_section_decompress(bt_state *state, const unsigned char *section, size_t size,
                                 void *work, bt_error_callback error_callback, void *data,
                                 unsigned char **out, size_t *out_size)
{
  enum { ZDEBUG_HEADER_SIZE = 12 };
  *out = nullptr;
  *out_size = 0;
  if (size < ZDEBUG_HEADER_SIZE || memcmp(section, "ZLIB", 4) != 0)
    return 1;
  uint64_t decompressed_size = 0;
  for (int i = 4; i < ZDEBUG_HEADER_SIZE; ++i)
    decompressed_size = decompressed_size << 8 | section[i];
  return decompress_into_new(state, section + ZDEBUG_HEADER_SIZE, size - ZDEBUG_HEADER_SIZE,
                             decompressed_size, work, error_callback, data, out, out_size);
}

int bt_decompress_zdebug(bt_state *state, const unsigned char *compressed, size_t size,
                         bt_error_callback error_callback, void *data,
                         unsigned char **uncompressed, size_t *uncompressed_size)
{
  void *work = bt_alloc(state, BT_INFLATE_WORK_SIZE, error_callback, data);
  if (!work)
    return 0;
  int ret = bt_zdebug_section_decompress(state, compressed, size, work, error_callback, data,
                                         uncompressed, uncompressed_size);
  bt_free(state, work, BT_INFLATE_WORK_SIZE, error_callback, data);
  return ret;
}
