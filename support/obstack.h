// Obstacks: stack allocators made of chained chunks, on which objects are grown
// one at a time and freed back to a mark; and the pool of 64 KiB blocks that
// the driver's and the printer's obstacks take their chunks from.
#ifndef VUZ_SUPPORT_OBSTACK_H
#define VUZ_SUPPORT_OBSTACK_H

#include <cstddef>
#include <cstdint>
#include <cstring>

struct obstack_chunk {
  char *end;
  obstack_chunk *previous;
};

struct obstack {
  uint64_t chunk_bytes;
  obstack_chunk *current_chunk;
  char *object_start;
  char *next_byte;
  char *chunk_end;
  uintptr_t align_mask;
  void *(*alloc_chunk_fn)(...);  // called as (size) or (arg, size)
  void (*free_chunk_fn)(...);    // called as (chunk) or (arg, chunk)
  void *chunk_fn_arg;
  unsigned flags;
};

enum : unsigned {
  OBSTACK_FN_TAKES_ARG = 0x1,
  OBSTACK_MAY_HOLD_EMPTY_OBJECT = 0x2,
  OBSTACK_ALLOCATION_FAILED = 0x4,
};

using obstack_alloc_fn = void *(*)(size_t);
using obstack_free_fn = void (*)(void *);
using obstack_alloc_arg_fn = void *(*)(void *, size_t);
using obstack_free_arg_fn = void (*)(void *, void *);

int obstack_begin_chunks(obstack *h, uint64_t size, uint64_t alignment, obstack_alloc_fn alloc,
                         obstack_free_fn release);
int obstack_begin_with_arg(obstack *h, uint64_t size, uint64_t alignment,
                           obstack_alloc_arg_fn alloc, obstack_free_arg_fn release, void *arg);
void obstack_grow_chunk(obstack *h, uint64_t length);
void obstack_release_to(obstack *h, void *object);
int obstack_contains(obstack *h, void *address);
uint64_t obstack_bytes_used(obstack *h);
[[noreturn]] void obstack_exhausted();

// An obstack whose chunks come from checked_malloc and free.
void obstack_init_malloc(obstack *h, uint64_t size = 0, uint64_t alignment = 0);
// An obstack whose chunks come from the block pool.
void obstack_init_pool(obstack *h, uint64_t size = 0, uint64_t alignment = 0);
// The same two, but the first chunk is allocated by the first growth, for
// obstacks that most runs never use; until then the obstack has no chunk and
// its base is null.
void obstack_init_malloc_on_use(obstack *h, uint64_t size = 0, uint64_t alignment = 0);
void obstack_init_pool_on_use(obstack *h, uint64_t size = 0, uint64_t alignment = 0);

// Whether one of the initialisations above has run.
inline bool obstack_initialised(const obstack *h)
{
  return h->alloc_chunk_fn != nullptr;
}

inline uint64_t obstack_object_length(const obstack *h)
{
  return static_cast<uint64_t>(h->next_byte - h->object_start);
}

inline uint64_t obstack_room(const obstack *h)
{
  return static_cast<uint64_t>(h->chunk_end - h->next_byte);
}

inline void *obstack_base(const obstack *h)
{
  return h->object_start;
}

inline void *obstack_next_free(const obstack *h)
{
  return h->next_byte;
}

inline void obstack_append(obstack *h, const void *source, uint64_t n)
{
  if (obstack_room(h) < n)
    obstack_grow_chunk(h, n);
  if (n)
    memcpy(h->next_byte, source, n);
  h->next_byte += n;
}

inline void obstack_append_byte(obstack *h, char c)
{
  if (h->next_byte == h->chunk_end)
    obstack_grow_chunk(h, 1);
  *h->next_byte++ = c;
}

inline void obstack_append_text(obstack *h, const char *text)
{
  obstack_append(h, text, strlen(text));
}

inline void obstack_append_pointer(obstack *h, const void *pointer)
{
  obstack_append(h, &pointer, sizeof pointer);
}

inline void obstack_reserve(obstack *h, uint64_t n)
{
  if (obstack_room(h) < n)
    obstack_grow_chunk(h, n);
  h->next_byte += n;
}

inline void *obstack_close_object(obstack *h)
{
  char *result = h->object_start;
  if (h->next_byte == result)
    h->flags |= OBSTACK_MAY_HOLD_EMPTY_OBJECT;
  char *chunk_start = reinterpret_cast<char *>(h->current_chunk);
  uintptr_t aligned =
      (reinterpret_cast<uintptr_t>(h->next_byte) + h->align_mask) & ~h->align_mask;
  // Measured from the chunk start, so that the comparison never leaves the chunk.
  if (aligned - reinterpret_cast<uintptr_t>(chunk_start) >
      static_cast<uintptr_t>(h->chunk_end - chunk_start))
    h->next_byte = h->chunk_end;
  else
    h->next_byte = chunk_start + (aligned - reinterpret_cast<uintptr_t>(chunk_start));
  h->object_start = h->next_byte;
  return result;
}

inline void *obstack_new_object(obstack *h, uint64_t n)
{
  obstack_reserve(h, n);
  return obstack_close_object(h);
}

inline void *obstack_copy_in(obstack *h, const void *source, uint64_t n)
{
  obstack_append(h, source, n);
  return obstack_close_object(h);
}

inline char *obstack_copy_in_nul(obstack *h, const void *source, uint64_t n)
{
  if (obstack_room(h) < n + 1)
    obstack_grow_chunk(h, n + 1);
  if (n)
    memcpy(h->next_byte, source, n);
  h->next_byte += n;
  *h->next_byte++ = '\0';
  return static_cast<char *>(obstack_close_object(h));
}

inline char *obstack_strdup(obstack *h, const char *text)
{
  return obstack_copy_in_nul(h, text, strlen(text));
}

inline void obstack_free_to(obstack *h, void *address)
{
  char *p = static_cast<char *>(address);
  char *chunk_start = reinterpret_cast<char *>(h->current_chunk);
  if (p > chunk_start && p < h->chunk_end)
    h->next_byte = h->object_start = p;
  else
    obstack_release_to(h, address);
}

// Block pool.
void *block_pool_allocate(size_t size);
void block_pool_release(void *chunk);
struct block_pool {
  void *first;
};
void block_pool_init(block_pool *pool);
void block_pool_trim(block_pool *pool, size_t keep);
void block_pool_trim_global(size_t keep);

#endif
