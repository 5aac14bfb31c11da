// MD5 as RFC 1321 defines it: four rounds of sixteen operations on each
// 64-byte block, with the byte count kept as two 32-bit halves.
#include "support/md5.h"

#include <cstring>

void md5_init_state(md5_state *state)
{
  state->A = 0x67452301;
  state->B = 0xefcdab89;
  state->C = 0x98badcfe;
  state->D = 0x10325476;
  state->total[0] = state->total[1] = 0;
  state->buffer_length = 0;
}

static void add_to_count(md5_state *state, uint64_t length)
{
  uint32_t low = static_cast<uint32_t>(length);
  state->total[0] += low;
  state->total[1] += static_cast<uint32_t>(length >> 32) + (state->total[0] < low);
}

static void store_le(unsigned char *p, uint32_t v)
{
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

static uint32_t load_le(const unsigned char *p)
{
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

static uint32_t rotate_left(uint32_t x, int s)
{
  return (x << s) | (x >> (32 - s));
}

// The sine-derived constants, one per operation.
static const uint32_t sine_table[64] = {
  0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
  0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
  0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
  0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
  0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
  0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
  0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
  0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Per round, the four shifts that its operations cycle through.
static const int round_shifts[4][4] = {
  {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

static void process_block(const unsigned char *block, md5_state *state)
{
  uint32_t x[16];
  for (int i = 0; i < 16; i++)
    x[i] = load_le(block + 4 * i);
  uint32_t a = state->A, b = state->B, c = state->C, d = state->D;
  for (int i = 0; i < 64; i++) {
    int round = i / 16;
    uint32_t f;
    int k;
    switch (round) {
    case 0: f = (b & c) | (~b & d); k = i; break;
    case 1: f = (d & b) | (~d & c); k = (5 * i + 1) % 16; break;
    case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
    default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
    }
    uint32_t sum = a + f + x[k] + sine_table[i];
    a = d;
    d = c;
    c = b;
    b = b + rotate_left(sum, round_shifts[round][i % 4]);
  }
  state->A += a;
  state->B += b;
  state->C += c;
  state->D += d;
}

void md5_process_blocks(const void *bytes, size_t length, md5_state *state)
{
  const unsigned char *p = static_cast<const unsigned char *>(bytes);
  for (size_t done = 0; done + 64 <= length; done += 64)
    process_block(p + done, state);
  add_to_count(state, length);
}

void md5_add_bytes(const void *bytes, size_t length, md5_state *state)
{
  const unsigned char *p = static_cast<const unsigned char *>(bytes);
  if (state->buffer_length != 0) {
    size_t waiting = state->buffer_length;
    size_t take = length < 128 - waiting ? length : 128 - waiting;
    memcpy(state->buffer + waiting, p, take);
    state->buffer_length += take;
    if (state->buffer_length > 64) {
      size_t whole = state->buffer_length & ~size_t{63};
      md5_process_blocks(state->buffer, whole, state);
      state->buffer_length &= 63;
      memmove(state->buffer, state->buffer + whole, state->buffer_length);
    }
    p += take;
    length -= take;
  }
  if (length > 64) {
    if (reinterpret_cast<uintptr_t>(p) % alignof(uint32_t) != 0) {
      while (length > 64) {
        memcpy(state->buffer, p, 64);
        md5_process_blocks(state->buffer, 64, state);
        p += 64;
        length -= 64;
      }
    } else {
      size_t whole = length & ~size_t{63};
      if (whole == length)
        whole -= 64;  // the last 64 bytes wait in the buffer
      md5_process_blocks(p, whole, state);
      p += whole;
      length -= whole;
    }
  }
  if (length > 0) {
    memcpy(state->buffer + state->buffer_length, p, length);
    state->buffer_length += length;
  }
}

void *md5_read_result(const md5_state *state, void *result)
{
  unsigned char *r = static_cast<unsigned char *>(result);
  store_le(r, state->A);
  store_le(r + 4, state->B);
  store_le(r + 8, state->C);
  store_le(r + 12, state->D);
  return result;
}

void *md5_finish_state(md5_state *state, void *result)
{
  uint32_t waiting = state->buffer_length;
  add_to_count(state, waiting);
  size_t padded = waiting < 56 ? 64 : 128;
  state->buffer[waiting] = 0x80;
  memset(state->buffer + waiting + 1, 0, padded - 8 - waiting - 1);
  store_le(state->buffer + padded - 8, state->total[0] << 3);
  store_le(state->buffer + padded - 4, state->total[1] << 3 | state->total[0] >> 29);
  for (size_t done = 0; done < padded; done += 64)
    process_block(state->buffer + done, state);
  return md5_read_result(state, result);
}

void *md5_digest_buffer(const void *bytes, size_t length, void *result)
{
  md5_state state;
  md5_init_state(&state);
  md5_add_bytes(bytes, length, &state);
  return md5_finish_state(&state, result);
}

int md5_digest_stream(FILE *stream, void *result)
{
  md5_state state;
  md5_init_state(&state);
  static const size_t block_size = 4096;
  alignas(uint32_t) unsigned char block[block_size];
  for (;;) {
    size_t filled = 0;
    while (filled < block_size) {
      size_t n = fread(block + filled, 1, block_size - filled, stream);
      filled += n;
      if (n == 0)
        break;
    }
    if (ferror(stream))
      return 1;
    if (filled < block_size) {
      md5_add_bytes(block, filled, &state);
      break;
    }
    md5_process_blocks(block, block_size, &state);
  }
  md5_finish_state(&state, result);
  return 0;
}
