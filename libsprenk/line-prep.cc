// Line preparation and the lexer's memory: each line is prepared once, in
// place (trigraphs replaced, splices removed, line ends normalised, every
// change recorded as a line note), and token texts and records are carved
// from chains of scratch blocks that are recycled, never freed one by one.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the line scan takes the lowest address as the lowest byte of a word");

unsigned char _cpp_trigraph_of(unsigned char c)
{
  switch (c) {
  case '=': return '#';
  case '(': return '[';
  case '/': return '\\';
  case ')': return ']';
  case '\'': return '^';
  case '<': return '{';
  case '!': return '|';
  case '>': return '}';
  case '-': return '~';
  default: return 0;
  }
}

unsigned char *_cpp_copy_with_slack(const unsigned char *text, uint64_t length)
{
  unsigned char *block = static_cast<unsigned char *>(checked_malloc(length + 1 + BUFFER_SLACK));
  if (length)
    memcpy(block, text, length);
  block[length] = length && text[length - 1] == '\r' ? '\r' : '\n';
  memset(block + length + 1, 0, BUFFER_SLACK);
  return block;
}

void _cpp_record_line_note(input_buffer *buffer, const unsigned char *position, uint32_t kind)
{
  if (buffer->notes_used == buffer->notes_allocated)
    buffer->notes = _cpp_grow_array(buffer->notes, &buffer->notes_allocated,
                                    buffer->notes_allocated * 2 + 200);
  buffer->notes[buffer->notes_used].position = position;
  buffer->notes[buffer->notes_used].kind = kind;
  buffer->notes_used++;
}

// Non-zero bits mark the bytes of v that are zero; the lowest one is exact.
static inline uint64_t zero_bytes(uint64_t v)
{
  return (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
}

// The first newline, carriage return, backslash or '?' at or after s, read a
// word at a time. Only aligned words are read, and the buffer's sentinel and
// slack keep the last one inside the allocation.
static unsigned char *search_line(unsigned char *s)
{
  const uint64_t ones = 0x0101010101010101ull;
  uintptr_t offset = reinterpret_cast<uintptr_t>(s) & 7;
  unsigned char *p = s - offset;
  uint64_t word;
  memcpy(&word, p, 8);
  // Bytes before s become zero, which is none of the four.
  word &= ~uint64_t(0) << (offset * 8);
  for (;;) {
    uint64_t hits = zero_bytes(word ^ (ones * '\n')) | zero_bytes(word ^ (ones * '\r')) |
                    zero_bytes(word ^ (ones * '\\')) | zero_bytes(word ^ (ones * '?'));
    if (hits)
      return p + (__builtin_ctzll(hits) >> 3);
    p += 8;
    memcpy(&word, p, 8);
  }
}

static inline bool is_horizontal_space(unsigned char c)
{
  return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\0';
}

// The slow path copies the rest of the logical line down over removed bytes;
// d is the last byte written and s the last byte read.
static void prepare_slow(preprocessor_reader *reader, input_buffer *buffer, unsigned char *&s,
                         unsigned char *&d)
{
  const unsigned char *limit = buffer->limit;
  bool trigraphs = reader->options.trigraph_sequences;
  for (;;) {
    unsigned char c = *++s;
    *++d = c;
    if (c == '\n' || c == '\r') {
      if (c == '\r' && s != limit && s[1] == '\n')
        s++;
      if (s == limit)
        break;
      unsigned char *p = d;
      while (p != buffer->next_line && is_horizontal_space(p[-1]))
        p--;
      if (p == buffer->next_line || p[-1] != '\\')
        break;
      _cpp_record_line_note(buffer, p - 1, p != d ? ' ' : '\\');
      d = p - 2;
      buffer->next_line = p - 1;
    } else if (c == '?' && s[1] == '?' && _cpp_trigraph_of(s[2])) {
      _cpp_record_line_note(buffer, d, s[2]);
      if (trigraphs) {
        *d = _cpp_trigraph_of(s[2]);
        s += 2;
      }
    }
  }
}

void _cpp_prepare_line(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  buffer->notes_used = 0;
  buffer->current_note = 0;
  buffer->cursor = buffer->line_base = buffer->next_line;
  buffer->need_line = false;
  unsigned char *s = const_cast<unsigned char *>(buffer->next_line);
  const unsigned char *limit = buffer->limit;
  unsigned char *d;

  if (buffer->from_stage3) {
    while (*s != '\n' && *s != '\r')
      s++;
    d = s;
    if (*s == '\r' && s != limit && s[1] == '\n')
      s++;
  } else {
    unsigned char *backslash = nullptr;
    for (;;) {
      s = search_line(s);
      if (*s == '\\') {
        backslash = s++;
        continue;
      }
      if (*s == '?') {
        if (s[1] == '?' && _cpp_trigraph_of(s[2])) {
          _cpp_record_line_note(buffer, s, s[2]);
          if (reader->options.trigraph_sequences) {
            *s = _cpp_trigraph_of(s[2]);
            d = s;
            s += 2;
            goto slow;
          }
        }
        s++;
        continue;
      }
      break;
    }
    d = s;
    if (s == limit)
      goto done;
    if (*s == '\r' && s[1] == '\n') {
      s++;
      if (s == limit)
        goto done;
    }
    if (backslash == nullptr)
      goto done;
    {
      unsigned char *p = d;
      while (p != buffer->next_line && is_horizontal_space(p[-1]))
        p--;
      if (p - 1 != backslash)
        goto done;
      _cpp_record_line_note(buffer, p - 1, p != d ? ' ' : '\\');
      d = p - 2;
      buffer->next_line = p - 1;
    }
  slow:
    prepare_slow(reader, buffer, s, d);
  }
done:
  *d = '\n';
  _cpp_record_line_note(buffer, d + 1, '\n');
  buffer->next_line = s + 1;
}

// ---- Scratch blocks ----

enum : uint64_t { SCRATCH_MIN = 8000 };

static scratch_buffer *scratch_new(uint64_t n)
{
  uint64_t size = n <= SCRATCH_MIN ? SCRATCH_MIN : (n + 7) & ~uint64_t(7);
  unsigned char *data = static_cast<unsigned char *>(checked_malloc(size + sizeof(scratch_buffer)));
  scratch_buffer *block = reinterpret_cast<scratch_buffer *>(data + size);
  block->next = nullptr;
  block->base = block->current = data;
  block->limit = data + size;
  return block;
}

static uint64_t scratch_size(const scratch_buffer *block)
{
  return uint64_t(block->limit - block->base);
}

static uint64_t scratch_room(const scratch_buffer *block)
{
  return uint64_t(block->limit - block->current);
}

scratch_buffer *_cpp_scratch_take(preprocessor_reader *reader, uint64_t n)
{
  for (scratch_buffer **link = &reader->free_scratch; *link; link = &(*link)->next) {
    scratch_buffer *block = *link;
    uint64_t size = scratch_size(block);
    // Not much larger than asked for, so a big block is kept for big requests.
    if (size >= n && size <= n * 3 / 2 + SCRATCH_MIN) {
      *link = block->next;
      block->next = nullptr;
      block->current = block->base;
      return block;
    }
  }
  return scratch_new(n);
}

void _cpp_scratch_release(preprocessor_reader *reader, scratch_buffer *chain)
{
  if (chain == nullptr)
    return;
  scratch_buffer *last = chain;
  while (last->next)
    last = last->next;
  last->next = reader->free_scratch;
  reader->free_scratch = chain;
}

void _cpp_scratch_free_chain(scratch_buffer *chain)
{
  while (chain) {
    scratch_buffer *next = chain->next;
    free(chain->base);
    chain = next;
  }
}

scratch_buffer *_cpp_scratch_grow_chained(preprocessor_reader *reader, scratch_buffer *block,
                                          uint64_t extra)
{
  uint64_t room = scratch_room(block);
  scratch_buffer *grown = _cpp_scratch_take(reader, room * 2 + extra);
  block->next = grown;
  if (room)
    memcpy(grown->base, block->current, room);
  return grown;
}

void _cpp_scratch_grow(preprocessor_reader *reader, scratch_buffer **block, uint64_t extra)
{
  scratch_buffer *old = *block;
  uint64_t room = scratch_room(old);
  scratch_buffer *grown = _cpp_scratch_take(reader, room * 2 + extra);
  if (room)
    memcpy(grown->base, old->current, room);
  grown->next = old;
  *block = grown;
}

static unsigned char *pool_carve(preprocessor_reader *reader, scratch_buffer **pool, uint64_t n)
{
  if (scratch_room(*pool) < n) {
    scratch_buffer *block = _cpp_scratch_take(reader, n);
    block->next = *pool;
    *pool = block;
  }
  unsigned char *result = (*pool)->current;
  (*pool)->current += n;
  return result;
}

unsigned char *_cpp_pool_alloc(preprocessor_reader *reader, uint64_t n)
{
  return pool_carve(reader, &reader->text_pool, n);
}

unsigned char *_cpp_pool_copy(preprocessor_reader *reader, const unsigned char *text, uint64_t n)
{
  unsigned char *copy = pool_carve(reader, &reader->text_pool, n + 1);
  if (n)
    memcpy(copy, text, n);
  copy[n] = '\0';
  return copy;
}

unsigned char *_cpp_pool_alloc_aligned(preprocessor_reader *reader, uint64_t n)
{
  // Sizes rounded to 8 keep every record of a block aligned.
  return pool_carve(reader, &reader->record_pool, (n + 7) & ~uint64_t(7));
}

unsigned char *_cpp_pool_commit(preprocessor_reader *reader, uint64_t n)
{
  scratch_buffer *pool = reader->record_pool;
  vuz_assert(scratch_room(pool) >= n);
  if (reader->idents->string_allocator) {
    unsigned char *copy = static_cast<unsigned char *>(reader->idents->string_allocator(n));
    memcpy(copy, pool->current, n);
    return copy;
  }
  unsigned char *result = pool->current;
  pool->current += (n + 7) & ~uint64_t(7);
  return result;
}
