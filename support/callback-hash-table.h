// The open-addressing hash table keyed through function pointers: it holds
// untyped element pointers and calls back for hashing, equality, deletion and
// memory. It probes, resizes and counts like the typed table of hash-table.h.
#ifndef VUZ_SUPPORT_CALLBACK_HASH_TABLE_H
#define VUZ_SUPPORT_CALLBACK_HASH_TABLE_H

#include "support/hash-primes.h"

#include <cstddef>
#include <cstdint>

typedef hashval_t (*callback_hash_fn)(const void *element);
typedef int (*callback_equal_fn)(const void *stored, const void *key);
typedef void (*callback_delete_fn)(void *element);
// calloc-like: a zeroed block of count × size bytes, or null.
typedef void *(*callback_alloc_fn)(size_t count, size_t size);
typedef void (*callback_free_fn)(void *block);
typedef void *(*callback_alloc_with_arg_fn)(void *arg, size_t count, size_t size);
typedef void (*callback_free_with_arg_fn)(void *arg, void *block);
// Called on each live slot of a walk; returning 0 stops the walk.
typedef int (*callback_walk_fn)(void **slot, void *arg);

// The marker of a slot whose element was removed; an empty slot holds null.
#define CALLBACK_HASH_DELETED_ENTRY (reinterpret_cast<void *>(1))

struct callback_hash_table {
  callback_hash_fn hash_f;
  callback_equal_fn equal_f;
  callback_delete_fn delete_f;
  void **entries;
  uint64_t size;
  uint64_t n_elements;  // live and deleted
  uint64_t n_deleted;
  uint32_t searches;
  uint32_t collisions;
  callback_alloc_fn alloc_f;
  callback_free_fn free_f;
  void *alloc_arg;
  callback_alloc_with_arg_fn alloc_with_arg_f;
  callback_free_with_arg_fn free_with_arg_f;
  uint32_t size_prime_index;
};

callback_hash_table *callback_hash_table_create(uint64_t size, callback_hash_fn hash,
                                                callback_equal_fn equal,
                                                callback_delete_fn del);
callback_hash_table *callback_hash_table_create_alloc(uint64_t size, callback_hash_fn hash,
                                                      callback_equal_fn equal,
                                                      callback_delete_fn del,
                                                      callback_alloc_fn alloc_f,
                                                      callback_free_fn free_f);
callback_hash_table *callback_hash_table_try_create(uint64_t size, callback_hash_fn hash,
                                                    callback_equal_fn equal,
                                                    callback_delete_fn del);
callback_hash_table *callback_hash_table_create_typed(uint64_t size, callback_hash_fn hash,
                                                      callback_equal_fn equal,
                                                      callback_delete_fn del,
                                                      callback_alloc_fn table_alloc_f,
                                                      callback_alloc_fn slots_alloc_f,
                                                      callback_free_fn free_f);
callback_hash_table *callback_hash_table_create_with_arg(
    uint64_t size, callback_hash_fn hash, callback_equal_fn equal, callback_delete_fn del,
    void *alloc_arg, callback_alloc_with_arg_fn alloc_f, callback_free_with_arg_fn free_f);
void callback_hash_table_set_functions_with_arg(callback_hash_table *table,
                                                callback_hash_fn hash, callback_equal_fn equal,
                                                callback_delete_fn del, void *alloc_arg,
                                                callback_alloc_with_arg_fn alloc_f,
                                                callback_free_with_arg_fn free_f);

void callback_hash_table_delete(callback_hash_table *table);
void callback_hash_table_empty(callback_hash_table *table);

void *callback_hash_table_find_hashed(callback_hash_table *table, const void *key,
                                      hashval_t hash);
void *callback_hash_table_find(callback_hash_table *table, const void *key);
// With INSERT a new key's slot is returned empty (null) for the caller to
// fill; the result is null only when the growth it needed failed. Without
// INSERT it is null when the key is absent.
void **callback_hash_table_find_slot_hashed(callback_hash_table *table, const void *key,
                                            hashval_t hash, insert_option insert);
void **callback_hash_table_find_slot(callback_hash_table *table, const void *key,
                                     insert_option insert);
void callback_hash_table_remove_hashed(callback_hash_table *table, const void *key,
                                       hashval_t hash);
void callback_hash_table_remove(callback_hash_table *table, const void *key);
void callback_hash_table_clear_slot(callback_hash_table *table, void **slot);

void callback_hash_table_walk(callback_hash_table *table, callback_walk_fn callback, void *arg);
void callback_hash_table_walk_no_shrink(callback_hash_table *table, callback_walk_fn callback,
                                        void *arg);
int callback_hash_table_expand(callback_hash_table *table);

uint64_t callback_hash_table_elements(const callback_hash_table *table);
uint64_t callback_hash_table_size(const callback_hash_table *table);
double callback_hash_table_collisions(const callback_hash_table *table);

#endif
