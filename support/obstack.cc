// Obstack chunk management and the process-wide pool of 64 KiB blocks.
#include "support/obstack.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>

enum : uint64_t { DEFAULT_CHUNK_BYTES = 4064, DEFAULT_ALIGN_MASK = 15, POOL_BLOCK = 65536 };

static char *align_up(char *p, uintptr_t mask)
{
  uintptr_t a = (reinterpret_cast<uintptr_t>(p) + mask) & ~mask;
  return p + (a - reinterpret_cast<uintptr_t>(p));
}

static char *chunk_contents(obstack_chunk *chunk, uintptr_t mask)
{
  return align_up(reinterpret_cast<char *>(chunk + 1), mask);
}

static obstack_chunk *call_alloc(obstack *h, uint64_t size)
{
  if (h->flags & OBSTACK_FN_TAKES_ARG)
    return static_cast<obstack_chunk *>(
        reinterpret_cast<obstack_alloc_arg_fn>(h->alloc_chunk_fn)(h->chunk_fn_arg, size));
  return static_cast<obstack_chunk *>(reinterpret_cast<obstack_alloc_fn>(h->alloc_chunk_fn)(size));
}

static void call_free(obstack *h, obstack_chunk *chunk)
{
  if (h->flags & OBSTACK_FN_TAKES_ARG)
    reinterpret_cast<obstack_free_arg_fn>(h->free_chunk_fn)(h->chunk_fn_arg, chunk);
  else
    reinterpret_cast<obstack_free_fn>(h->free_chunk_fn)(chunk);
}

static int begin_common(obstack *h, uint64_t size, uint64_t alignment)
{
  h->chunk_bytes = size ? size : DEFAULT_CHUNK_BYTES;
  h->align_mask = alignment ? alignment - 1 : DEFAULT_ALIGN_MASK;
  obstack_chunk *chunk = call_alloc(h, h->chunk_bytes);
  if (!chunk)
    obstack_exhausted();
  h->current_chunk = chunk;
  h->object_start = h->next_byte = chunk_contents(chunk, h->align_mask);
  h->chunk_end = chunk->end = reinterpret_cast<char *>(chunk) + h->chunk_bytes;
  chunk->previous = nullptr;
  h->flags &= ~(OBSTACK_MAY_HOLD_EMPTY_OBJECT | OBSTACK_ALLOCATION_FAILED);
  return 1;
}

static void set_plain_functions(obstack *h, obstack_alloc_fn alloc, obstack_free_fn release)
{
  h->alloc_chunk_fn = reinterpret_cast<void *(*)(...)>(alloc);
  h->free_chunk_fn = reinterpret_cast<void (*)(...)>(release);
  h->chunk_fn_arg = nullptr;
  h->flags = 0;
}

int obstack_begin_chunks(obstack *h, uint64_t size, uint64_t alignment, obstack_alloc_fn alloc,
                         obstack_free_fn release)
{
  set_plain_functions(h, alloc, release);
  return begin_common(h, size, alignment);
}

// No chunk yet: every growth finds no room, and the first one allocates.
static void begin_on_use(obstack *h, uint64_t size, uint64_t alignment, obstack_alloc_fn alloc,
                         obstack_free_fn release)
{
  set_plain_functions(h, alloc, release);
  h->chunk_bytes = size ? size : DEFAULT_CHUNK_BYTES;
  h->align_mask = alignment ? alignment - 1 : DEFAULT_ALIGN_MASK;
  h->current_chunk = nullptr;
  h->object_start = h->next_byte = h->chunk_end = nullptr;
}

int obstack_begin_with_arg(obstack *h, uint64_t size, uint64_t alignment,
                           obstack_alloc_arg_fn alloc, obstack_free_arg_fn release, void *arg)
{
  h->alloc_chunk_fn = reinterpret_cast<void *(*)(...)>(alloc);
  h->free_chunk_fn = reinterpret_cast<void (*)(...)>(release);
  h->chunk_fn_arg = arg;
  h->flags = OBSTACK_FN_TAKES_ARG;
  return begin_common(h, size, alignment);
}

static void *malloc_chunk(size_t size)
{
  return checked_malloc(size);
}

void obstack_init_malloc(obstack *h, uint64_t size, uint64_t alignment)
{
  obstack_begin_chunks(h, size, alignment, malloc_chunk, free);
}

void obstack_init_pool(obstack *h, uint64_t size, uint64_t alignment)
{
  obstack_begin_chunks(h, size, alignment, block_pool_allocate, block_pool_release);
}

void obstack_init_malloc_on_use(obstack *h, uint64_t size, uint64_t alignment)
{
  begin_on_use(h, size, alignment, malloc_chunk, free);
}

void obstack_init_pool_on_use(obstack *h, uint64_t size, uint64_t alignment)
{
  begin_on_use(h, size, alignment, block_pool_allocate, block_pool_release);
}

void obstack_grow_chunk(obstack *h, uint64_t length)
{
  uint64_t object = obstack_object_length(h);
  uint64_t needed, padded;
  if (__builtin_add_overflow(object, length, &needed) ||
      __builtin_add_overflow(needed, static_cast<uint64_t>(h->align_mask), &padded))
    obstack_exhausted();
  uint64_t size;
  if (__builtin_add_overflow(padded, object / 8 + 100, &size))
    size = padded;
  if (size < h->chunk_bytes)
    size = h->chunk_bytes;

  obstack_chunk *old_chunk = h->current_chunk;
  obstack_chunk *chunk = call_alloc(h, size);
  if (!chunk)
    obstack_exhausted();
  h->current_chunk = chunk;
  chunk->previous = old_chunk;
  h->chunk_end = chunk->end = reinterpret_cast<char *>(chunk) + size;

  char *start = chunk_contents(chunk, h->align_mask);
  if (object)
    memcpy(start, h->object_start, object);

  // An old chunk that held nothing but the object being moved is of no more use.
  if (old_chunk && !(h->flags & OBSTACK_MAY_HOLD_EMPTY_OBJECT) &&
      h->object_start == chunk_contents(old_chunk, h->align_mask)) {
    chunk->previous = old_chunk->previous;
    call_free(h, old_chunk);
  }
  h->object_start = start;
  h->next_byte = start + object;
  h->flags &= ~OBSTACK_MAY_HOLD_EMPTY_OBJECT;
}

static bool chunk_holds(obstack_chunk *chunk, char *p)
{
  return p > reinterpret_cast<char *>(chunk) && p <= chunk->end;
}

void obstack_release_to(obstack *h, void *object)
{
  char *p = static_cast<char *>(object);
  obstack_chunk *chunk = h->current_chunk;
  while (chunk && !chunk_holds(chunk, p)) {
    obstack_chunk *previous = chunk->previous;
    call_free(h, chunk);
    chunk = previous;
    h->flags |= OBSTACK_MAY_HOLD_EMPTY_OBJECT;
  }
  if (chunk) {
    h->object_start = h->next_byte = p;
    h->chunk_end = chunk->end;
    h->current_chunk = chunk;
  } else {
    // Only the null address releases every chunk; any other is not ours.
    vuz_assert(!p);
    // No chunk left: the next growth takes a new one, as on an obstack
    // begun on use, instead of writing into the chunks just released.
    h->current_chunk = nullptr;
    h->object_start = h->next_byte = h->chunk_end = nullptr;
  }
}

int obstack_contains(obstack *h, void *address)
{
  for (obstack_chunk *chunk = h->current_chunk; chunk; chunk = chunk->previous)
    if (chunk_holds(chunk, static_cast<char *>(address)))
      return 1;
  return 0;
}

uint64_t obstack_bytes_used(obstack *h)
{
  uint64_t total = 0;
  for (obstack_chunk *chunk = h->current_chunk; chunk; chunk = chunk->previous)
    total += static_cast<uint64_t>(chunk->end - reinterpret_cast<char *>(chunk));
  return total;
}

void obstack_exhausted()
{
  fprintf(stderr, "%s\n", "memory exhausted");
  exit_program(EXIT_CODE_ERRORS);
}

// The process-wide pool: released 64 KiB chunks linked through their first word.
static block_pool global_pool;

void *block_pool_allocate(size_t size)
{
  if (size == POOL_BLOCK && global_pool.first) {
    void *block = global_pool.first;
    global_pool.first = *static_cast<void **>(block);
    return block;
  }
  return checked_malloc(size);
}

void block_pool_release(void *chunk)
{
  obstack_chunk *c = static_cast<obstack_chunk *>(chunk);
  if (c->end - reinterpret_cast<char *>(c) == static_cast<ptrdiff_t>(POOL_BLOCK)) {
    *static_cast<void **>(chunk) = global_pool.first;
    global_pool.first = chunk;
  } else {
    free(chunk);
  }
}

void block_pool_init(block_pool *pool)
{
  pool->first = nullptr;
}

void block_pool_trim(block_pool *pool, size_t keep)
{
  void **link = &pool->first;
  while (*link && keep) {
    link = static_cast<void **>(*link);
    keep--;
  }
  void *rest = *link;
  *link = nullptr;
  while (rest) {
    void *next = *static_cast<void **>(rest);
    free(rest);
    rest = next;
  }
}

void block_pool_trim_global(size_t keep)
{
  block_pool_trim(&global_pool, keep);
}
