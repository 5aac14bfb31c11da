// Merge sort with sorting networks for short runs. Runs of up to five elements
// (three when stable) are sorted by fixed networks that select with masks;
// longer runs sort their halves and merge them from the front.
#include "support/sort.h"

#include "support/alloc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct sort_ctx {
  sort_compare_fn compare_plain;
  sort_compare_ctx_fn compare_with_ctx;
  void *data;
  size_t size;
  size_t network_limit;

  bool before(const char *a, const char *b) const
  {
    return (compare_plain ? compare_plain(a, b) : compare_with_ctx(a, b, data)) < 0;
  }
};

}  // namespace

// Elements of 8 and 4 bytes move as single words.
static void move_element(char *dst, const char *src, size_t size)
{
  if (size == 8)
    memcpy(dst, src, 8);
  else if (size == 4)
    memcpy(dst, src, 4);
  else
    memcpy(dst, src, size);
}

static void swap_elements(char *a, char *b, size_t size)
{
  char buffer[64];
  while (size > 0) {
    size_t chunk = size < sizeof buffer ? size : sizeof buffer;
    memcpy(buffer, a, chunk);
    memcpy(a, b, chunk);
    memcpy(b, buffer, chunk);
    a += chunk;
    b += chunk;
    size -= chunk;
  }
}

// Exchanges the pointers when *second sorts before *first, through a mask
// rather than a branch on the comparison.
static void compare_select(const sort_ctx &c, char **first, char **second)
{
  uintptr_t x = reinterpret_cast<uintptr_t>(*first), y = reinterpret_cast<uintptr_t>(*second);
  uintptr_t mask = -static_cast<uintptr_t>(c.before(*second, *first));
  uintptr_t d = (x ^ y) & mask;
  *first = reinterpret_cast<char *>(x ^ d);
  *second = reinterpret_cast<char *>(y ^ d);
}

// Sorts n (at most 5) elements of in into out, which may be in itself.
static void network_sort(const sort_ctx &c, char *in, size_t n, char *out)
{
  char *e[5];
  for (size_t i = 0; i < n; i++)
    e[i] = in + i * c.size;
  static const unsigned char pairs2[][2] = {{0, 1}};
  static const unsigned char pairs3[][2] = {{0, 1}, {1, 2}, {0, 1}};
  static const unsigned char pairs4[][2] = {{0, 1}, {2, 3}, {0, 2}, {1, 3}, {1, 2}};
  static const unsigned char pairs5[][2] = {{0, 1}, {3, 4}, {2, 4}, {2, 3}, {0, 3},
                                            {1, 4}, {0, 2}, {1, 3}, {1, 2}};
  static const struct {
    const unsigned char (*pairs)[2];
    size_t count;
  } networks[] = {{nullptr, 0}, {nullptr, 0}, {pairs2, 1}, {pairs3, 3}, {pairs4, 5}, {pairs5, 9}};
  for (size_t k = 0; k < networks[n].count; k++)
    compare_select(c, &e[networks[n].pairs[k][0]], &e[networks[n].pairs[k][1]]);

  if (out != in) {
    for (size_t i = 0; i < n; i++)
      move_element(out + i * c.size, e[i], c.size);
    return;
  }
  // In place: swap each element home, redirecting whoever wanted the element
  // that the swap displaced.
  for (size_t i = 0; i < n; i++) {
    char *home = in + i * c.size;
    if (e[i] == home)
      continue;
    swap_elements(home, e[i], c.size);
    for (size_t j = i + 1; j < n; j++)
      if (e[j] == home) {
        e[j] = e[i];
        break;
      }
  }
}

// Sorts n elements of in into out (which may be in); scratch holds n / 2
// elements and is used only when out is in.
static void merge_sort_run(const sort_ctx &c, char *in, size_t n, char *out, char *scratch)
{
  if (n <= c.network_limit) {
    network_sort(c, in, n, out);
    return;
  }
  size_t n_left = n / 2, left_bytes = n_left * c.size;
  char *middle = in + left_bytes, *right = out + left_bytes;
  char *left = in == out ? scratch : in;
  merge_sort_run(c, middle, n - n_left, right, scratch);
  merge_sort_run(c, in, n_left, left, middle);

  char *left_end = left + left_bytes, *right_end = out + n * c.size;
  if (!c.before(right, left_end - c.size)) {
    memcpy(out, left, left_bytes);
    return;
  }
  // Ties take the left element, which keeps the stable sort stable. The output
  // never overtakes the right half's head.
  char *o = out;
  for (;;) {
    if (c.before(right, left)) {
      move_element(o, right, c.size);
      o += c.size;
      right += c.size;
      if (right == right_end) {
        memcpy(o, left, left_end - left);
        return;
      }
    } else {
      move_element(o, left, c.size);
      o += c.size;
      left += c.size;
      if (o == right)
        return;
    }
  }
}

static void sort_entry(void *base, size_t count, size_t size, bool stable, sort_ctx c)
{
  if (static_cast<ptrdiff_t>(size) < 0) {
    size = ~size;
    stable = !stable;
  }
  if (count < 2)
    return;
  c.size = size;
  c.network_limit = stable ? 3 : 5;
  size_t scratch_bytes = size * (count / 2);
  alignas(alignof(max_align_t)) char on_stack[256];
  char *scratch = scratch_bytes <= sizeof on_stack ? on_stack
                                                    : static_cast<char *>(checked_malloc(scratch_bytes));
  merge_sort_run(c, static_cast<char *>(base), count, static_cast<char *>(base), scratch);
  if (scratch != on_stack)
    free(scratch);
}

void merge_sort(void *base, size_t count, size_t size, sort_compare_fn compare)
{
  sort_entry(base, count, size, false, {compare, nullptr, nullptr, 0, 0});
}

void merge_sort_ctx(void *base, size_t count, size_t size, sort_compare_ctx_fn compare, void *ctx)
{
  sort_entry(base, count, size, false, {nullptr, compare, ctx, 0, 0});
}

void merge_sort_stable(void *base, size_t count, size_t size, sort_compare_fn compare)
{
  sort_entry(base, count, size, true, {compare, nullptr, nullptr, 0, 0});
}

void merge_sort_stable_ctx(void *base, size_t count, size_t size, sort_compare_ctx_fn compare,
                           void *ctx)
{
  sort_entry(base, count, size, true, {nullptr, compare, ctx, 0, 0});
}
