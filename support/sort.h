// The merge sort used in place of the platform's qsort: the same arguments,
// the same order on every platform for a consistent comparator, and a stable
// form. The comparator is only ever asked whether its result is negative.
#ifndef VUZ_SUPPORT_SORT_H
#define VUZ_SUPPORT_SORT_H

#include <cstddef>

typedef int (*sort_compare_fn)(const void *a, const void *b);
typedef int (*sort_compare_ctx_fn)(const void *a, const void *b, void *ctx);

// A size that is negative as a signed value asks for the other kind of sort
// (stable from the plain entries, unstable from the stable ones) on elements
// of ~size bytes.
void merge_sort(void *base, size_t count, size_t size, sort_compare_fn compare);
void merge_sort_ctx(void *base, size_t count, size_t size, sort_compare_ctx_fn compare, void *ctx);
void merge_sort_stable(void *base, size_t count, size_t size, sort_compare_fn compare);
void merge_sort_stable_ctx(void *base, size_t count, size_t size, sort_compare_ctx_fn compare,
                           void *ctx);

#endif
