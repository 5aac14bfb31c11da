// The xz container and the LZMA2 decoder for the mini debug information: one
// stream of one block with one LZMA2 filter, decoded into a buffer of the
// size its index announces, which serves as its own dictionary.
#include "libmerrow/internal.h"

#include <cstring>

enum {
  XZ_HEADER_SIZE = 12,
  XZ_FOOTER_SIZE = 12,
  XZ_FILTER_LZMA2 = 0x21,
  XZ_CHECK_NONE = 0,
  XZ_CHECK_CRC32 = 1,
  XZ_CHECK_CRC64 = 4,
  XZ_CHECK_SHA256 = 10,
  // LZMA2 control bytes: the end, uncompressed chunks with and without a
  // dictionary reset, and LZMA chunks from 0x80 on, resetting more as they rise.
  LZMA2_END = 0,
  LZMA2_COPY_RESET_DICTIONARY = 1,
  LZMA2_COPY = 2,
  LZMA2_LZMA = 0x80,
  LZMA2_RESET_STATE = 0xA0,
  LZMA2_NEW_PROPERTIES = 0xC0,
  LZMA2_RESET_DICTIONARY = 0xE0,
  // An LZMA2 chunk of at least 10 bytes gives at most 2 MiB.
  LZMA2_CHUNK_MAX = 1 << 21,
  LZMA2_CHUNK_MIN_INPUT = 10,
};

static uint32_t le32(const unsigned char *p)
{
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static unsigned be16(const unsigned char *p)
{
  return p[0] << 8 | p[1];
}

int bt_xz_varint(const unsigned char *data, size_t size, size_t *pos, uint64_t *value)
{
  uint64_t v = 0;
  for (int i = 0; i < 9; ++i) {
    if (*pos >= size)
      return 0;
    unsigned byte = data[(*pos)++];
    v |= static_cast<uint64_t>(byte & 0x7f) << (7 * i);
    if (!(byte & 0x80)) {
      // A last byte of zero after others is a second spelling xz refuses.
      if (byte == 0 && i > 0)
        return 0;
      *value = v;
      return 1;
    }
  }
  return 0;
}

static bool zero_bytes(const unsigned char *p, size_t n)
{
  for (size_t i = 0; i < n; ++i)
    if (p[i])
      return false;
  return true;
}

static size_t round4(size_t n)
{
  return (n + 3) & ~size_t{3};
}

// LZMA probabilities: 11-bit, moved by a shift of 5.
enum { PROB_BITS = 11, PROB_INIT = 1 << (PROB_BITS - 1), MOVE_BITS = 5, TOP = 1u << 24 };

struct lzma_length_probs {
  uint16_t choice;
  uint16_t choice2;
  uint16_t low[16][8];
  uint16_t mid[16][8];
  uint16_t high[256];
};

enum { LZMA_STATES = 12, LITERAL_CODER_SIZE = 0x300, LZMA_LC_LP_MAX = 4 };

struct lzma_probs {
  uint16_t is_match[LZMA_STATES][16];
  uint16_t is_rep[LZMA_STATES];
  uint16_t is_rep0[LZMA_STATES];
  uint16_t is_rep1[LZMA_STATES];
  uint16_t is_rep2[LZMA_STATES];
  uint16_t is_rep0_long[LZMA_STATES][16];
  uint16_t dist_slot[4][64];
  uint16_t dist_special[114];
  uint16_t align[16];
  lzma_length_probs match_len;
  lzma_length_probs rep_len;
  uint16_t literal[LITERAL_CODER_SIZE << LZMA_LC_LP_MAX];
};

static_assert(sizeof(lzma_probs) == 14134 * 2, "the probability layout");

// The range decoder reads one chunk's bytes; past the chunk it feeds zeros
// and still counts them, so that the chunk's end check catches an overrun.
struct range_decoder {
  const unsigned char *in;
  size_t pos;
  size_t end;
  uint32_t range;
  uint32_t code;
};

static inline __attribute__((always_inline)) void rc_normalize(range_decoder *rc)
{
  if (rc->range < TOP) {
    rc->range <<= 8;
    rc->code = (rc->code << 8) | (rc->pos < rc->end ? rc->in[rc->pos] : 0);
    ++rc->pos;
  }
}

static inline __attribute__((always_inline)) unsigned rc_bit(range_decoder *rc, uint16_t *prob)
{
  rc_normalize(rc);
  uint32_t bound = (rc->range >> PROB_BITS) * *prob;
  if (rc->code < bound) {
    rc->range = bound;
    *prob = static_cast<uint16_t>(*prob + (((1 << PROB_BITS) - *prob) >> MOVE_BITS));
    return 0;
  }
  rc->range -= bound;
  rc->code -= bound;
  *prob = static_cast<uint16_t>(*prob - (*prob >> MOVE_BITS));
  return 1;
}

static inline unsigned rc_tree(range_decoder *rc, uint16_t *probs, unsigned bits)
{
  unsigned m = 1;
  for (unsigned i = 0; i < bits; ++i)
    m = (m << 1) | rc_bit(rc, &probs[m]);
  return m - (1u << bits);
}

static inline unsigned rc_reverse_tree(range_decoder *rc, uint16_t *probs, unsigned bits)
{
  unsigned m = 1, result = 0;
  for (unsigned i = 0; i < bits; ++i) {
    unsigned bit = rc_bit(rc, &probs[m]);
    m = (m << 1) | bit;
    result |= bit << i;
  }
  return result;
}

static uint32_t rc_direct(range_decoder *rc, unsigned bits)
{
  uint32_t result = 0;
  for (unsigned i = 0; i < bits; ++i) {
    rc_normalize(rc);
    rc->range >>= 1;
    uint32_t bit = rc->code >= rc->range;
    if (bit)
      rc->code -= rc->range;
    result = (result << 1) | bit;
  }
  return result;
}

// A match or repeat length, 2-273.
static unsigned bt_lzma_decode_length(range_decoder *rc, lzma_length_probs *p, unsigned pos_state)
{
  if (!rc_bit(rc, &p->choice))
    return 2 + rc_tree(rc, p->low[pos_state], 3);
  if (!rc_bit(rc, &p->choice2))
    return 10 + rc_tree(rc, p->mid[pos_state], 3);
  return 18 + rc_tree(rc, p->high, 8);
}

struct lzma_decoder {
  lzma_probs *probs;
  unsigned lc, lp, pb;
  unsigned state;
  uint32_t rep[4];
  unsigned char *out;      // the whole output, which is the dictionary
  size_t out_pos;
  size_t dict_start;       // where the last dictionary reset left the output
  size_t dict_size;        // the longest distance the stream declared
};

// The state remembers what the last symbols were: states below 7 follow a
// literal, the others a match or a repeat.
enum { LZMA_LITERAL_STATES = 7 };

static unsigned state_after_literal(unsigned s)
{
  return s < 4 ? 0 : s < 10 ? s - 3 : s - 6;
}

static unsigned state_after_match(unsigned s)
{
  return s < LZMA_LITERAL_STATES ? 7 : 10;
}

static unsigned state_after_repeat(unsigned s)
{
  return s < LZMA_LITERAL_STATES ? 8 : 11;
}

static unsigned state_after_short_repeat(unsigned s)
{
  return s < LZMA_LITERAL_STATES ? 9 : 11;
}

static void lzma_reset_state(lzma_decoder *d)
{
  uint16_t *p = reinterpret_cast<uint16_t *>(d->probs);
  for (size_t i = 0; i < sizeof(lzma_probs) / 2; ++i)
    p[i] = PROB_INIT;
  d->state = 0;
  memset(d->rep, 0, sizeof d->rep);
}

static unsigned decode_literal(lzma_decoder *d, range_decoder *rc)
{
  size_t pos = d->out_pos - d->dict_start;
  unsigned prev = pos > 0 ? d->out[d->out_pos - 1] : 0;
  unsigned context = ((pos & ((1u << d->lp) - 1)) << d->lc) + (prev >> (8 - d->lc));
  uint16_t *probs = d->probs->literal + LITERAL_CODER_SIZE * context;
  unsigned symbol = 1;
  if (d->state < LZMA_LITERAL_STATES) {
    while (symbol < 0x100)
      symbol = (symbol << 1) | rc_bit(rc, &probs[symbol]);
  } else {
    // The distance was checked when the match that set it was decoded.
    unsigned match_byte = d->out[d->out_pos - d->rep[0] - 1];
    unsigned offset = 0x100;
    while (symbol < 0x100) {
      match_byte <<= 1;
      unsigned match_bit = match_byte & offset;
      unsigned bit = rc_bit(rc, &probs[offset + match_bit + symbol]);
      symbol = (symbol << 1) | bit;
      offset &= bit ? match_bit : ~match_bit;
    }
  }
  return symbol & 0xff;
}

static uint32_t decode_distance(lzma_decoder *d, range_decoder *rc, unsigned length)
{
  unsigned length_state = length - 2 < 3 ? length - 2 : 3;
  unsigned slot = rc_tree(rc, d->probs->dist_slot[length_state], 6);
  if (slot < 4)
    return slot;
  unsigned direct = (slot >> 1) - 1;
  uint32_t distance = (2 | (slot & 1)) << direct;
  if (slot < 14)
    return distance + rc_reverse_tree(rc, d->probs->dist_special + distance - slot - 1, direct);
  distance += rc_direct(rc, direct - 4) << 4;
  return distance + rc_reverse_tree(rc, d->probs->align, 4);
}

// Copies LENGTH bytes from REP[0] + 1 back; false when that reaches before
// the dictionary or LENGTH passes LIMIT.
static bool lzma_copy(lzma_decoder *d, size_t length, size_t limit)
{
  size_t distance = static_cast<size_t>(d->rep[0]) + 1;
  size_t held = d->out_pos - d->dict_start;
  if (distance > held || distance > d->dict_size || length > limit - d->out_pos)
    return false;
  unsigned char *p = d->out + d->out_pos;
  const unsigned char *from = p - distance;
  d->out_pos += length;
  if (distance == 1) {
    memset(p, *from, length);
    return true;
  }
  while (length > 0) {
    size_t piece = length < distance ? length : distance;
    memcpy(p, from, piece);
    p += piece;
    length -= piece;
  }
  return true;
}

// Decodes symbols until the output reaches LIMIT, the chunk's end.
static bool lzma_decode_chunk(lzma_decoder *d, range_decoder *rc, size_t limit)
{
  lzma_probs *probs = d->probs;
  unsigned pb_mask = (1u << d->pb) - 1;
  while (d->out_pos < limit) {
    unsigned pos_state = (d->out_pos - d->dict_start) & pb_mask;
    unsigned state = d->state;
    if (!rc_bit(rc, &probs->is_match[state][pos_state])) {
      d->out[d->out_pos++] = static_cast<unsigned char>(decode_literal(d, rc));
      d->state = state_after_literal(state);
      continue;
    }
    unsigned length;
    if (!rc_bit(rc, &probs->is_rep[state])) {
      length = bt_lzma_decode_length(rc, &probs->match_len, pos_state);
      d->state = state_after_match(state);
      uint32_t distance = decode_distance(d, rc, length);
      // The end marker (all ones) never appears in LZMA2 data.
      if (distance == 0xFFFFFFFF)
        return false;
      d->rep[3] = d->rep[2];
      d->rep[2] = d->rep[1];
      d->rep[1] = d->rep[0];
      d->rep[0] = distance;
    } else if (!rc_bit(rc, &probs->is_rep0[state])) {
      if (!rc_bit(rc, &probs->is_rep0_long[state][pos_state])) {
        d->state = state_after_short_repeat(state);
        if (!lzma_copy(d, 1, limit))
          return false;
        continue;
      }
      length = bt_lzma_decode_length(rc, &probs->rep_len, pos_state);
      d->state = state_after_repeat(state);
    } else {
      uint32_t distance;
      if (!rc_bit(rc, &probs->is_rep1[state])) {
        distance = d->rep[1];
      } else {
        if (!rc_bit(rc, &probs->is_rep2[state])) {
          distance = d->rep[2];
        } else {
          distance = d->rep[3];
          d->rep[3] = d->rep[2];
        }
        d->rep[2] = d->rep[1];
      }
      d->rep[1] = d->rep[0];
      d->rep[0] = distance;
      length = bt_lzma_decode_length(rc, &probs->rep_len, pos_state);
      d->state = state_after_repeat(state);
    }
    if (!lzma_copy(d, length, limit))
      return false;
  }
  return true;
}

// One LZMA chunk after its control byte at IN[*POS - 1]; false on bad data.
static bool lzma2_lzma_chunk(lzma_decoder *d, unsigned control, const unsigned char *in,
                             size_t size, size_t *pos, size_t out_size, bool *need_properties)
{
  if (size - *pos < 4)
    return false;
  size_t unpacked = ((control & 0x1f) << 16) + be16(in + *pos) + 1;
  size_t packed = be16(in + *pos + 2) + 1;
  *pos += 4;
  if (control >= LZMA2_NEW_PROPERTIES) {
    if (*pos >= size)
      return false;
    unsigned props = in[(*pos)++];
    if (props > (4 * 5 + 4) * 9 + 8)
      return false;
    d->lc = props % 9;
    d->lp = props / 9 % 5;
    d->pb = props / 45;
    if (d->lc + d->lp > LZMA_LC_LP_MAX)
      return false;
    *need_properties = false;
  } else if (*need_properties) {
    return false;
  }
  if (control >= LZMA2_RESET_STATE)
    lzma_reset_state(d);
  // The chunk's bytes start with the range decoder's five: a zero, then the code.
  if (packed < 5 || packed > size - *pos || unpacked > out_size - d->out_pos || in[*pos] != 0)
    return false;
  range_decoder rc = {in, *pos + 5, *pos + packed, 0xFFFFFFFF, 0};
  for (int i = 1; i < 5; ++i)
    rc.code = rc.code << 8 | in[*pos + i];
  if (!lzma_decode_chunk(d, &rc, d->out_pos + unpacked))
    return false;
  rc_normalize(&rc);
  // The chunk must end exactly where its size says, with the code used up.
  if (rc.pos != rc.end || rc.code != 0)
    return false;
  *pos = rc.end;
  return true;
}

// LZMA2 chunks up to the end marker; false on bad data.
static bool lzma2_decode(lzma_decoder *d, const unsigned char *in, size_t size, size_t *pos,
                         size_t out_size)
{
  bool need_dictionary_reset = true, need_properties = true;
  for (;;) {
    if (*pos >= size)
      return false;
    unsigned control = in[(*pos)++];
    if (control == LZMA2_END)
      return true;
    if (control == LZMA2_COPY_RESET_DICTIONARY || control >= LZMA2_RESET_DICTIONARY) {
      d->dict_start = d->out_pos;
      need_dictionary_reset = false;
      // After an uncompressed chunk that resets the dictionary, the next LZMA
      // chunk must give its properties again.
      if (control == LZMA2_COPY_RESET_DICTIONARY)
        need_properties = true;
    } else if (need_dictionary_reset) {
      return false;
    }
    if (control >= LZMA2_LZMA) {
      if (!lzma2_lzma_chunk(d, control, in, size, pos, out_size, &need_properties))
        return false;
      continue;
    }
    if (control > LZMA2_COPY || size - *pos < 2)
      return false;
    size_t length = be16(in + *pos) + 1;
    *pos += 2;
    if (length > size - *pos || length > out_size - d->out_pos)
      return false;
    memcpy(d->out + d->out_pos, in + *pos, length);
    d->out_pos += length;
    *pos += length;
  }
}

struct xz_index {
  size_t start;
  uint64_t unpadded_size;
  uint64_t uncompressed_size;
  unsigned records;
};

// The index: one record, or none for an empty stream.
static bool xz_read_index(const unsigned char *in, size_t size, xz_index *index)
{
  size_t end = size - XZ_FOOTER_SIZE;
  size_t pos = index->start;
  uint64_t records;
  if (in[pos++] != 0 || !bt_xz_varint(in, end, &pos, &records) || records > 1)
    return false;
  index->records = static_cast<unsigned>(records);
  if (records == 1 && (!bt_xz_varint(in, end, &pos, &index->unpadded_size) ||
                       !bt_xz_varint(in, end, &pos, &index->uncompressed_size)))
    return false;
  size_t padded = round4(pos);
  if (padded + 4 != end || !zero_bytes(in + pos, padded - pos))
    return false;
  return bt_crc32(0, in + index->start, padded - index->start) == le32(in + padded);
}

struct xz_block_header {
  size_t size;
  uint64_t compressed_size;  // UINT64_MAX when not given
  uint64_t uncompressed_size;
  size_t dict_size;
};

static bool xz_read_block_header(const unsigned char *in, size_t limit, xz_block_header *h)
{
  size_t start = XZ_HEADER_SIZE;
  if (in[start] == 0)
    return false;  // the index indicator: no block
  h->size = 4 * (static_cast<size_t>(in[start]) + 1);
  if (h->size > limit - start)
    return false;
  size_t end = start + h->size - 4;
  if (bt_crc32(0, in + start, h->size - 4) != le32(in + end))
    return false;
  unsigned flags = in[start + 1];
  // One filter, no reserved bits.
  if (flags & 0x3f)
    return false;
  size_t pos = start + 2;
  uint64_t filter, props_size;
  h->compressed_size = h->uncompressed_size = UINT64_MAX;
  if (((flags & 0x40) && !bt_xz_varint(in, end, &pos, &h->compressed_size)) ||
      ((flags & 0x80) && !bt_xz_varint(in, end, &pos, &h->uncompressed_size)) ||
      !bt_xz_varint(in, end, &pos, &filter) || filter != XZ_FILTER_LZMA2 ||
      !bt_xz_varint(in, end, &pos, &props_size) || props_size != 1 || pos >= end)
    return false;
  unsigned dict = in[pos++];
  if (dict > 40)
    return false;
  // As the reference decoder sizes its window: at least 4 KiB, in 16-byte steps.
  uint64_t declared = dict == 40 ? UINT32_MAX : (2 | (dict & 1)) << (dict / 2 + 11);
  uint64_t window = declared < 4096 ? 4096 : (declared + 15) & ~uint64_t{15};
  h->dict_size = window > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(window);
  return zero_bytes(in + pos, end - pos);
}

static size_t xz_check_size(unsigned check)
{
  switch (check) {
  case XZ_CHECK_NONE:
    return 0;
  case XZ_CHECK_CRC32:
    return 4;
  case XZ_CHECK_CRC64:
    return 8;
  case XZ_CHECK_SHA256:
    return 32;
  }
  return SIZE_MAX;
}

// The stream header and footer; sets the check type and the index's start.
static bool xz_read_frame(const unsigned char *in, size_t size, unsigned *check, size_t *index_start)
{
  static const unsigned char magic[6] = {0xFD, '7', 'z', 'X', 'Z', 0};
  if (size < XZ_HEADER_SIZE + XZ_FOOTER_SIZE || memcmp(in, magic, 6) != 0 || in[6] != 0 ||
      (in[7] & 0xf0) != 0 || bt_crc32(0, in + 6, 2) != le32(in + 8))
    return false;
  *check = in[7];
  const unsigned char *footer = in + size - XZ_FOOTER_SIZE;
  if (footer[10] != 'Y' || footer[11] != 'Z' || footer[8] != 0 || footer[9] != *check ||
      bt_crc32(0, footer + 4, 6) != le32(footer))
    return false;
  // In 64 bits: the backward size of a damaged footer can be near 2^32.
  uint64_t index_size = 4 * (static_cast<uint64_t>(le32(footer + 4)) + 1);
  if (size - XZ_FOOTER_SIZE < index_size + XZ_HEADER_SIZE)
    return false;
  *index_start = size - XZ_FOOTER_SIZE - index_size;
  return true;
}

// Decodes the block into OUT (SIZE bytes long, from the index); false on bad data.
static bool xz_decode_block(bt_state *state, const unsigned char *in, const xz_index *index,
                            unsigned check, unsigned char *out, size_t out_size,
                            bt_error_callback error_callback, void *data)
{
  xz_block_header header;
  if (!xz_read_block_header(in, index->start, &header))
    return false;
  lzma_probs *probs =
      static_cast<lzma_probs *>(bt_alloc(state, sizeof(lzma_probs), error_callback, data));
  if (!probs)
    return false;
  // Until a chunk gives properties the decoder has none; a chunk without them
  // is refused before they would be used.
  lzma_decoder d = {probs, 0, 0, 0, 0, {0, 0, 0, 0}, out, 0, 0, header.dict_size};
  size_t block_start = XZ_HEADER_SIZE;
  size_t pos = block_start + header.size;
  bool ok = lzma2_decode(&d, in, index->start, &pos, out_size);
  bt_free(state, probs, sizeof(lzma_probs), error_callback, data);
  if (!ok || d.out_pos != out_size)
    return false;
  size_t compressed = pos - block_start - header.size;
  size_t check_size = xz_check_size(check);
  size_t padded = round4(pos);
  if (check_size == SIZE_MAX || padded > index->start || index->start - padded < check_size ||
      !zero_bytes(in + pos, padded - pos))
    return false;
  if (check == XZ_CHECK_CRC32 && bt_crc32(0, out, out_size) != le32(in + padded))
    return false;
  uint64_t unpadded = pos - block_start + check_size;
  return padded + check_size == index->start && unpadded == index->unpadded_size &&
         (header.compressed_size == UINT64_MAX || header.compressed_size == compressed) &&
         (header.uncompressed_size == UINT64_MAX || header.uncompressed_size == out_size);
}

int bt_xz_decode(bt_state *state, const unsigned char *compressed, size_t size,
                 bt_error_callback error_callback, void *data, unsigned char **uncompressed,
                 size_t *uncompressed_size)
{
  *uncompressed = nullptr;
  *uncompressed_size = 0;
  unsigned check;
  xz_index index = {};
  if (!xz_read_frame(compressed, size, &check, &index.start) ||
      !xz_read_index(compressed, size, &index))
    return 0;
  if (index.records == 0)
    return 1;
  // More than the chunks the input could hold would give is not allocated.
  uint64_t most = (static_cast<uint64_t>(size) / LZMA2_CHUNK_MIN_INPUT + 1) * LZMA2_CHUNK_MAX;
  if (index.uncompressed_size > most)
    return 0;
  size_t out_size = static_cast<size_t>(index.uncompressed_size);
  if (out_size == 0) {
    // A block of nothing: checked all the same, and no buffer.
    unsigned char none;
    return xz_decode_block(state, compressed, &index, check, &none, 0, error_callback, data);
  }
  unsigned char *out = static_cast<unsigned char *>(bt_alloc(state, out_size, error_callback, data));
  if (!out)
    return 0;
  if (!xz_decode_block(state, compressed, &index, check, out, out_size, error_callback, data)) {
    bt_free(state, out, out_size, error_callback, data);
    return 0;
  }
  *uncompressed = out;
  *uncompressed_size = out_size;
  return 1;
}

int bt_decompress_xz(bt_state *state, const unsigned char *compressed, size_t size,
                     bt_error_callback error_callback, void *data, unsigned char **uncompressed,
                     size_t *uncompressed_size)
{
  return bt_xz_decode(state, compressed, size, error_callback, data, uncompressed,
                      uncompressed_size);
}
