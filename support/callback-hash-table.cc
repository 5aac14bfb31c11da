// The callback hash table. Unlike the typed table it never calls the
// assertion routine: a missing prime or a misused slot ends the process here.
#include "support/callback-hash-table.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static void *const empty_entry = nullptr;
static void *const deleted_entry = CALLBACK_HASH_DELETED_ENTRY;

static bool is_live(const void *entry)
{
  return entry != empty_entry && entry != deleted_entry;
}

[[noreturn]] static void no_prime_for(uint64_t n)
{
  fprintf(stderr, "Cannot find prime bigger than %lu\n", static_cast<unsigned long>(n));
  abort();
}

static uint32_t prime_index_for(uint64_t n)
{
  uint32_t index = hash_table_prime_search(n);
  if (index == hash_table_prime_count)
    no_prime_for(n);
  return index;
}

static void *checked_calloc_callback(size_t count, size_t size)
{
  return checked_calloc(count, size);
}

static void *platform_calloc(size_t count, size_t size)
{
  return calloc(count, size);
}

static void platform_free(void *block)
{
  free(block);
}

static void **alloc_entries(callback_hash_table *table, uint64_t size)
{
  if (table->alloc_with_arg_f)
    return static_cast<void **>(table->alloc_with_arg_f(table->alloc_arg, size, sizeof(void *)));
  return static_cast<void **>(table->alloc_f(size, sizeof(void *)));
}

static void release_block(callback_hash_table *table, void *block)
{
  if (table->free_f)
    table->free_f(block);
  else if (table->free_with_arg_f)
    table->free_with_arg_f(table->alloc_arg, block);
}

// The one creation path: the record from table_alloc (or the argument-taking
// callback), then the slot array through the table's own allocation rule.
static callback_hash_table *create_table(uint64_t size, callback_hash_fn hash,
                                         callback_equal_fn equal, callback_delete_fn del,
                                         callback_alloc_fn table_alloc,
                                         callback_alloc_fn slots_alloc, callback_free_fn free_f,
                                         void *alloc_arg, callback_alloc_with_arg_fn alloc_arg_f,
                                         callback_free_with_arg_fn free_arg_f)
{
  uint32_t index = prime_index_for(size);
  void *record = alloc_arg_f ? alloc_arg_f(alloc_arg, 1, sizeof(callback_hash_table))
                             : table_alloc(1, sizeof(callback_hash_table));
  if (!record)
    return nullptr;
  callback_hash_table *table = static_cast<callback_hash_table *>(record);
  table->hash_f = hash;
  table->equal_f = equal;
  table->delete_f = del;
  table->alloc_f = slots_alloc;
  table->free_f = free_f;
  table->alloc_arg = alloc_arg;
  table->alloc_with_arg_f = alloc_arg_f;
  table->free_with_arg_f = free_arg_f;
  table->size = hash_table_primes[index].prime;
  table->size_prime_index = index;
  table->entries = alloc_entries(table, table->size);
  if (!table->entries) {
    release_block(table, table);
    return nullptr;
  }
  return table;
}

callback_hash_table *callback_hash_table_create(uint64_t size, callback_hash_fn hash,
                                                callback_equal_fn equal, callback_delete_fn del)
{
  return callback_hash_table_create_alloc(size, hash, equal, del, checked_calloc_callback,
                                          platform_free);
}

callback_hash_table *callback_hash_table_create_alloc(uint64_t size, callback_hash_fn hash,
                                                      callback_equal_fn equal,
                                                      callback_delete_fn del,
                                                      callback_alloc_fn alloc_f,
                                                      callback_free_fn free_f)
{
  return create_table(size, hash, equal, del, alloc_f, alloc_f, free_f, nullptr, nullptr,
                      nullptr);
}

callback_hash_table *callback_hash_table_try_create(uint64_t size, callback_hash_fn hash,
                                                    callback_equal_fn equal,
                                                    callback_delete_fn del)
{
  return callback_hash_table_create_alloc(size, hash, equal, del, platform_calloc,
                                          platform_free);
}

callback_hash_table *callback_hash_table_create_typed(uint64_t size, callback_hash_fn hash,
                                                      callback_equal_fn equal,
                                                      callback_delete_fn del,
                                                      callback_alloc_fn table_alloc_f,
                                                      callback_alloc_fn slots_alloc_f,
                                                      callback_free_fn free_f)
{
  return create_table(size, hash, equal, del, table_alloc_f, slots_alloc_f, free_f, nullptr,
                      nullptr, nullptr);
}

callback_hash_table *callback_hash_table_create_with_arg(
    uint64_t size, callback_hash_fn hash, callback_equal_fn equal, callback_delete_fn del,
    void *alloc_arg, callback_alloc_with_arg_fn alloc_f, callback_free_with_arg_fn free_f)
{
  return create_table(size, hash, equal, del, nullptr, nullptr, nullptr, alloc_arg, alloc_f,
                      free_f);
}

void callback_hash_table_set_functions_with_arg(callback_hash_table *table,
                                                callback_hash_fn hash, callback_equal_fn equal,
                                                callback_delete_fn del, void *alloc_arg,
                                                callback_alloc_with_arg_fn alloc_f,
                                                callback_free_with_arg_fn free_f)
{
  table->hash_f = hash;
  table->equal_f = equal;
  table->delete_f = del;
  table->alloc_arg = alloc_arg;
  table->alloc_with_arg_f = alloc_f;
  table->free_with_arg_f = free_f;
  // The plain pair would otherwise keep freeing what the new pair allocates.
  table->alloc_f = nullptr;
  table->free_f = nullptr;
}

static void delete_live_elements(callback_hash_table *table)
{
  if (!table->delete_f)
    return;
  for (uint64_t i = table->size; i-- > 0;)
    if (is_live(table->entries[i]))
      table->delete_f(table->entries[i]);
}

void callback_hash_table_delete(callback_hash_table *table)
{
  delete_live_elements(table);
  release_block(table, table->entries);
  release_block(table, table);
}

void callback_hash_table_empty(callback_hash_table *table)
{
  delete_live_elements(table);
  // An array of more than 1 MiB is replaced by a small one rather than zeroed.
  void **fresh = nullptr;
  if (table->size > 131072) {
    uint32_t index = hash_table_prime_search(128);
    fresh = alloc_entries(table, hash_table_primes[index].prime);
    if (fresh) {
      release_block(table, table->entries);
      table->entries = fresh;
      table->size = hash_table_primes[index].prime;
      table->size_prime_index = index;
    }
  }
  if (!fresh)
    memset(table->entries, 0, table->size * sizeof(void *));
  table->n_elements = 0;
  table->n_deleted = 0;
}

int callback_hash_table_expand(callback_hash_table *table)
{
  uint64_t live = table->n_elements - table->n_deleted;
  uint32_t index = table->size_prime_index;
  if (hash_table_needs_resize(table->size, live)) {
    index = hash_table_prime_search(live * 2);
    if (index == hash_table_prime_count)
      no_prime_for(live * 2);
  }
  uint64_t size = hash_table_primes[index].prime;
  void **fresh = alloc_entries(table, size);
  if (!fresh)
    return 0;
  void **old = table->entries;
  uint64_t old_size = table->size;
  table->entries = fresh;
  table->size = size;
  table->size_prime_index = index;
  table->n_elements = live;
  table->n_deleted = 0;
  uint32_t uncounted = 0;
  for (uint64_t i = 0; i < old_size; i++) {
    void *element = old[i];
    if (!is_live(element))
      continue;
    uint64_t slot = hash_table_probe(table->hash_f(element), index, uncounted, [&](uint64_t j) {
      vuz_assert(fresh[j] != deleted_entry);
      return fresh[j] == empty_entry;
    });
    fresh[slot] = element;
  }
  release_block(table, old);
  return 1;
}

void *callback_hash_table_find_hashed(callback_hash_table *table, const void *key, hashval_t hash)
{
  table->searches++;
  void **entries = table->entries;
  uint64_t index = hash_table_probe(hash, table->size_prime_index, table->collisions,
                                    [&](uint64_t i) {
                                      void *e = entries[i];
                                      return e == empty_entry ||
                                             (e != deleted_entry && table->equal_f(e, key));
                                    });
  return entries[index];
}

void *callback_hash_table_find(callback_hash_table *table, const void *key)
{
  return callback_hash_table_find_hashed(table, key, table->hash_f(key));
}

void **callback_hash_table_find_slot_hashed(callback_hash_table *table, const void *key,
                                            hashval_t hash, insert_option insert)
{
  if (insert == INSERT && table->n_elements * 4 >= table->size * 3 &&
      !callback_hash_table_expand(table))
    return nullptr;
  table->searches++;
  void **entries = table->entries;
  void **first_deleted = nullptr;
  uint64_t index = hash_table_probe(hash, table->size_prime_index, table->collisions,
                                    [&](uint64_t i) {
                                      void *e = entries[i];
                                      if (e == empty_entry)
                                        return true;
                                      if (e == deleted_entry) {
                                        if (!first_deleted)
                                          first_deleted = &entries[i];
                                        return false;
                                      }
                                      return table->equal_f(e, key) != 0;
                                    });
  if (entries[index] != empty_entry)
    return &entries[index];
  if (insert == NO_INSERT)
    return nullptr;
  if (first_deleted) {
    *first_deleted = empty_entry;
    table->n_deleted--;
    return first_deleted;
  }
  table->n_elements++;
  return &entries[index];
}

void **callback_hash_table_find_slot(callback_hash_table *table, const void *key,
                                     insert_option insert)
{
  return callback_hash_table_find_slot_hashed(table, key, table->hash_f(key), insert);
}

static void remove_entry(callback_hash_table *table, void **slot)
{
  if (table->delete_f)
    table->delete_f(*slot);
  *slot = deleted_entry;
  table->n_deleted++;
}

void callback_hash_table_remove_hashed(callback_hash_table *table, const void *key,
                                       hashval_t hash)
{
  void **slot = callback_hash_table_find_slot_hashed(table, key, hash, NO_INSERT);
  if (slot)
    remove_entry(table, slot);
}

void callback_hash_table_remove(callback_hash_table *table, const void *key)
{
  callback_hash_table_remove_hashed(table, key, table->hash_f(key));
}

void callback_hash_table_clear_slot(callback_hash_table *table, void **slot)
{
  vuz_assert(slot >= table->entries && slot < table->entries + table->size && is_live(*slot));
  remove_entry(table, slot);
}

void callback_hash_table_walk_no_shrink(callback_hash_table *table, callback_walk_fn callback,
                                        void *arg)
{
  for (uint64_t i = 0; i < table->size; i++)
    if (is_live(table->entries[i]) && !callback(&table->entries[i], arg))
      return;
}

void callback_hash_table_walk(callback_hash_table *table, callback_walk_fn callback, void *arg)
{
  uint64_t live = table->n_elements - table->n_deleted;
  if (table->size > 32 && live * 8 < table->size)
    callback_hash_table_expand(table);
  callback_hash_table_walk_no_shrink(table, callback, arg);
}

uint64_t callback_hash_table_elements(const callback_hash_table *table)
{
  return table->n_elements - table->n_deleted;
}

uint64_t callback_hash_table_size(const callback_hash_table *table)
{
  return table->size;
}

double callback_hash_table_collisions(const callback_hash_table *table)
{
  if (table->searches == 0)
    return 0.0;
  return static_cast<double>(table->collisions) / table->searches;
}
