// Growable vectors: one heap block holding a small header and then the
// elements, reached through one pointer that is null while the vector is empty.
// Elements are moved with memcpy, so they must be trivially copyable.
#ifndef VUZ_SUPPORT_VEC_H
#define VUZ_SUPPORT_VEC_H

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

// Set in the capacity word when the storage is embedded in its owner.
constexpr uint32_t vec_auto_storage = 0x80000000u;

struct vec_header {
  uint32_t capacity_word;
  uint32_t count;
};

uint32_t calculate_allocation_1(uint32_t capacity, uint32_t desired);

template <typename T> struct vec {
  static_assert(std::is_trivially_copyable<T>::value, "vec elements are moved bytewise");
  static constexpr size_t elements_offset =
      (sizeof(vec_header) + alignof(T) - 1) / alignof(T) * alignof(T);

  vec_header header;

  uint32_t capacity() const { return header.capacity_word & ~vec_auto_storage; }
  uint32_t length() const { return header.count; }
  bool embedded() const { return header.capacity_word & vec_auto_storage; }
  T *address() { return reinterpret_cast<T *>(reinterpret_cast<char *>(this) + elements_offset); }
  const T *address() const
  {
    return reinterpret_cast<const T *>(reinterpret_cast<const char *>(this) + elements_offset);
  }
  T &operator[](uint32_t i) { return address()[i]; }
  const T &operator[](uint32_t i) const { return address()[i]; }
  T *begin() { return address(); }
  T *end() { return address() + header.count; }
  const T *begin() const { return address(); }
  const T *end() const { return address() + header.count; }
  T &last() { return address()[header.count - 1]; }

  static size_t block_size(uint32_t capacity) { return elements_offset + capacity * sizeof(T); }
};

template <typename T> inline uint32_t vec_length(const vec<T> *v)
{
  return v ? v->length() : 0;
}

template <typename T> inline bool vec_empty(const vec<T> *v)
{
  return vec_length(v) == 0;
}

// Moves the vector into a heap block of exactly the given capacity.
template <typename T> inline void vec_reallocate(vec<T> *&v, uint32_t capacity)
{
  uint32_t count = vec_length(v);
  vec<T> *block;
  if (v && v->embedded()) {
    block = static_cast<vec<T> *>(checked_malloc(vec<T>::block_size(capacity)));
    memcpy(block->address(), v->address(), count * sizeof(T));
  } else {
    block = static_cast<vec<T> *>(checked_realloc(v, vec<T>::block_size(capacity)));
  }
  block->header.capacity_word = capacity;
  block->header.count = count;
  v = block;
}

template <typename T> inline T *vec_safe_push(vec<T> *&v, const T &element)
{
  if (!v) {
    vec_reallocate(v, 4);
  } else if (v->length() == v->capacity()) {
    uint32_t count = v->length();
    if (v->embedded())
      vec_reallocate(v, count + 1 > 4 ? count + 1 : 4);
    else
      vec_reallocate(v, calculate_allocation_1(v->capacity(), count + 1));
  }
  T *slot = v->address() + v->header.count++;
  *slot = element;
  return slot;
}

template <typename T> inline void vec_reserve_exact(vec<T> *&v, uint32_t n)
{
  uint32_t wanted = vec_length(v) + n;
  if (!v || v->capacity() < wanted)
    vec_reallocate(v, wanted);
}

// Room for n more elements, growing by the usual rule.
template <typename T> inline void vec_reserve(vec<T> *&v, uint32_t n)
{
  uint32_t wanted = vec_length(v) + n;
  uint32_t capacity = v ? v->capacity() : 0;
  if (capacity < wanted)
    vec_reallocate(v, calculate_allocation_1(capacity, wanted));
}

template <typename T> inline T vec_pop(vec<T> *v)
{
  vuz_assert(v && v->header.count > 0);
  return v->address()[--v->header.count];
}

template <typename T> inline void vec_truncate(vec<T> *v, uint32_t count)
{
  vuz_assert(count <= vec_length(v));
  if (v)
    v->header.count = count;
}

template <typename T> inline void vec_ordered_remove(vec<T> *v, uint32_t index)
{
  vuz_assert(index < vec_length(v));
  T *a = v->address();
  memmove(a + index, a + index + 1, (v->header.count - index - 1) * sizeof(T));
  v->header.count--;
}

template <typename T> inline void vec_unordered_remove(vec<T> *v, uint32_t index)
{
  vuz_assert(index < vec_length(v));
  T *a = v->address();
  a[index] = a[--v->header.count];
}

template <typename T> inline void vec_block_remove(vec<T> *v, uint32_t index, uint32_t n)
{
  vuz_assert(index + n <= vec_length(v));
  T *a = v->address();
  memmove(a + index, a + index + n, (v->header.count - index - n) * sizeof(T));
  v->header.count -= n;
}

template <typename T> inline void vec_safe_insert(vec<T> *&v, uint32_t index, const T &element)
{
  vuz_assert(index <= vec_length(v));
  vec_reserve(v, 1);
  T *a = v->address();
  memmove(a + index + 1, a + index, (v->header.count - index) * sizeof(T));
  a[index] = element;
  v->header.count++;
}

template <typename T> inline void vec_release(vec<T> *&v)
{
  if (v && !v->embedded())
    free(v);
  v = nullptr;
}

// A vector with room for N elements embedded in its owner; it moves to the heap
// when it outgrows them.
template <typename T, uint32_t N> struct auto_vec {
  alignas(vec<T>) alignas(T) unsigned char storage[vec<T>::elements_offset + N * sizeof(T)];
  vec<T> *v;

  auto_vec() : v(reinterpret_cast<vec<T> *>(storage))
  {
    v->header.capacity_word = N | vec_auto_storage;
    v->header.count = 0;
  }
  ~auto_vec() { vec_release(v); }
  auto_vec(const auto_vec &) = delete;
  auto_vec &operator=(const auto_vec &) = delete;
};

// The out-of-line push for vectors of pointers.
void vector_push_pointer(vec<void *> *&v, void *element);

#endif
