// The library's own memory: whole pages from mmap, a short free list kept in
// the state, growable byte vectors, an in-place sort and a binary search. No
// malloc: the library runs when the program is already in trouble.
#include "libmerrow/internal.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

static const int free_list_max = 16;

static size_t round_up(size_t n, size_t to)
{
  return (n + to - 1) & ~(to - 1);
}

static int lock_allocator(bt_state *state)
{
  return !__atomic_exchange_n(&state->lock_alloc, 1, __ATOMIC_ACQUIRE);
}

static void unlock_allocator(bt_state *state)
{
  __atomic_store_n(&state->lock_alloc, 0, __ATOMIC_RELEASE);
}

// Puts a block on the list; the caller holds the lock when threaded.
static void free_list_insert(bt_state *state, void *block, size_t size)
{
  if (size < sizeof(bt_free_block))
    return;
  int count = 0;
  bt_free_block **smallest = nullptr;
  for (bt_free_block **p = &state->freelist; *p; p = &(*p)->next) {
    ++count;
    if (!smallest || (*p)->size < (*smallest)->size)
      smallest = p;
  }
  if (count >= free_list_max) {
    if (size <= (*smallest)->size)
      return;
    *smallest = (*smallest)->next;  // leaked: keeps the search short
  }
  bt_free_block *b = static_cast<bt_free_block *>(block);
  b->next = state->freelist;
  b->size = size;
  state->freelist = b;
}

void *bt_alloc(bt_state *state, size_t size, bt_error_callback error_callback, void *data)
{
  if (size == 0)
    size = 1;
  size_t rounded = round_up(size, 8);
  if (rounded < size)
    rounded = SIZE_MAX;
  int locked = state->threaded ? lock_allocator(state) : 1;
  if (locked) {
    for (bt_free_block **p = &state->freelist; *p; p = &(*p)->next) {
      if ((*p)->size < size)
        continue;
      bt_free_block *b = *p;
      size_t have = b->size;
      *p = b->next;
      if (have > rounded)
        free_list_insert(state, reinterpret_cast<char *>(b) + rounded, have - rounded);
      if (state->threaded)
        unlock_allocator(state);
      return b;
    }
    if (state->threaded)
      unlock_allocator(state);
  }
  size_t pagesize = getpagesize();
  size_t length = round_up(size, pagesize);
  void *page = MAP_FAILED;
  if (length >= size)
    page = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  else
    errno = ENOMEM;
  if (page == MAP_FAILED) {
    if (error_callback)
      error_callback(data, "mmap", errno);
    return nullptr;
  }
  if (length > rounded)
    bt_free(state, static_cast<char *>(page) + rounded, length - rounded, error_callback, data);
  return page;
}

void bt_free(bt_state *state, void *block, size_t size, bt_error_callback, void *)
{
  size_t pagesize = getpagesize();
  // A large page-aligned block goes back to the system, all but a partial last
  // page, whose rest bt_alloc has already listed: decoded sections can be
  // hundreds of megabytes.
  size_t whole = size & ~(pagesize - 1);
  if (size >= 65536 && reinterpret_cast<uintptr_t>(block) % pagesize == 0 &&
      munmap(block, whole) == 0) {
    if (whole == size)
      return;
    block = static_cast<char *>(block) + whole;
    size -= whole;
  }
  if (state->threaded && !lock_allocator(state))
    return;  // leaked rather than waited for
  free_list_insert(state, block, size);
  if (state->threaded)
    unlock_allocator(state);
}

void *bt_vec_grow(bt_state *state, size_t n, bt_error_callback error_callback, void *data,
                  bt_vec *vec)
{
  if (n > vec->alc) {
    size_t pagesize = getpagesize();
    size_t alc;
    if (vec->size == 0) {
      alc = 16 * n;
    } else {
      size_t t = vec->size + n;
      if (t < pagesize) {
        alc = 2 * t;
        if (alc > pagesize)
          alc = pagesize;
      } else {
        alc = round_up(2 * t, pagesize);
      }
    }
    void *base = bt_alloc(state, alc, error_callback, data);
    if (!base)
      return nullptr;
    if (vec->base) {
      memcpy(base, vec->base, vec->size);
      bt_free(state, vec->base, vec->size + vec->alc, error_callback, data);
    }
    vec->base = base;
    vec->alc = alc - vec->size;
  }
  void *ret = static_cast<char *>(vec->base) + vec->size;
  vec->size += n;
  vec->alc -= n;
  return ret;
}

void *bt_vec_take(bt_state *, bt_vec *vec, bt_error_callback, void *)
{
  void *ret = vec->base;
  vec->base = static_cast<char *>(vec->base) + vec->size;
  vec->size = 0;
  return ret;
}

int bt_vec_trim(bt_state *state, bt_vec *vec, bt_error_callback error_callback, void *data)
{
  // The freed part starts at the next 8-byte boundary after the used bytes
  // (a vector handed on by bt_vec_take may start anywhere).
  uintptr_t end = reinterpret_cast<uintptr_t>(vec->base) + vec->size;
  size_t slack = round_up(end, 8) - end;
  if (vec->alc > slack)
    bt_free(state, reinterpret_cast<char *>(end + slack), vec->alc - slack, error_callback, data);
  vec->alc = 0;
  if (vec->size == 0)
    vec->base = nullptr;
  return 1;
}

// Swaps two elements eight bytes at a time where it can: the tables sorted
// here have 24- and 32-byte entries.
static void swap_elements(char *a, char *b, size_t size)
{
  for (; size >= 8; size -= 8, a += 8, b += 8) {
    uint64_t t, u;
    memcpy(&t, a, 8);
    memcpy(&u, b, 8);
    memcpy(a, &u, 8);
    memcpy(b, &t, 8);
  }
  for (; size > 0; --size, ++a, ++b) {
    char t = *a;
    *a = *b;
    *b = t;
  }
}

typedef int (*bt_compare_fn)(const void *, const void *);

// Heapsort, for a part whose quicksort partitions have kept coming out
// lopsided: it bounds every input at O(n log n).
static void heap_sift_down(char *base, size_t root, size_t count, size_t size,
                           bt_compare_fn compare)
{
  for (;;) {
    size_t child = 2 * root + 1;
    if (child >= count)
      return;
    if (child + 1 < count && compare(base + child * size, base + (child + 1) * size) < 0)
      ++child;
    if (compare(base + root * size, base + child * size) >= 0)
      return;
    swap_elements(base + root * size, base + child * size, size);
    root = child;
  }
}

static void heap_sort(char *base, size_t count, size_t size, bt_compare_fn compare)
{
  for (size_t i = count / 2; i-- > 0;)
    heap_sift_down(base, i, count, size, compare);
  for (size_t end = count; end-- > 1;) {
    swap_elements(base, base + end * size, size);
    heap_sift_down(base, 0, end, size, compare);
  }
}

// Quicksort with the middle element as pivot, which suits the nearly sorted
// tables of the callers, and a three-way partition: keys equal to the pivot
// are settled in one pass, so many equal keys cost no more than distinct ones.
static void quick_sort(char *base, size_t count, size_t size, bt_compare_fn compare, int budget)
{
  while (count >= 2) {
    if (budget-- == 0) {
      heap_sort(base, count, size, compare);
      return;
    }
    swap_elements(base, base + (count / 2) * size, size);
    // [1, lt) below the pivot, [lt, i) equal, [i, gt) unseen, [gt, count) above.
    size_t lt = 1, i = 1, gt = count;
    while (i < gt) {
      int c = compare(base, base + i * size);
      if (c > 0) {
        if (lt != i)
          swap_elements(base + lt * size, base + i * size, size);
        ++lt;
        ++i;
      } else if (c < 0) {
        --gt;
        swap_elements(base + i * size, base + gt * size, size);
      } else {
        ++i;
      }
    }
    size_t below = lt - 1;
    if (below > 0)
      swap_elements(base, base + below * size, size);
    size_t above = count - gt;
    // Recurse on the smaller side so that the depth stays logarithmic.
    if (below < above) {
      quick_sort(base, below, size, compare, budget);
      base += gt * size;
      count = above;
    } else {
      quick_sort(base + gt * size, above, size, compare, budget);
      count = below;
    }
  }
}

void bt_sort(void *base, size_t count, size_t size, int (*compare)(const void *, const void *))
{
  int budget = 0;
  for (size_t n = count; n > 1; n >>= 1)
    budget += 2;
  quick_sort(static_cast<char *>(base), count, size, compare, budget);
}

const void *bt_bsearch(const void *key, const void *base, size_t count, size_t size,
                       int (*match)(const void *key, const void *entry))
{
  const char *b = static_cast<const char *>(base);
  size_t low = 0, high = count;
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    int c = match(key, b + mid * size);
    if (c == 0)
      return b + mid * size;
    if (c < 0)
      high = mid;
    else
      low = mid + 1;
  }
  return nullptr;
}
