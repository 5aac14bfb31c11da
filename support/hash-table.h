// The typed open-addressing hash table, instantiated per element type, and the
// hash maps and sets built on it. Iteration follows the slot array, so the
// order of a walk is fixed by the hashes and the history of insertions.
//
// A descriptor D supplies, all static:
//   value_type, compare_type
//   hashval_t hash(const value_type &)       stored elements, when rehashing
//   hashval_t hash(const compare_type &)     lookup keys (for find, find_slot)
//   bool equal(const value_type &, const compare_type &)
//   bool is_empty(const value_type &), is_deleted(const value_type &)
//   void mark_empty(value_type &), mark_deleted(value_type &)
//   void remove(value_type &)                an element leaves the table
// Slot arrays are zeroed memory, so an empty element must be all zero bits.
#ifndef VUZ_SUPPORT_HASH_TABLE_H
#define VUZ_SUPPORT_HASH_TABLE_H

#include "support/alloc.h"
#include "support/hash-primes.h"
#include "support/internal-abort.h"
#include "support/string-hash.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <type_traits>

// The index of the smallest tabled prime that is at least n; a failed check
// when there is none.
uint32_t hash_table_higher_prime_index(uint64_t n);
void hash_table_noop();
[[noreturn]] void hashtab_chk_error();

template <typename D> class hash_table {
public:
  typedef typename D::value_type value_type;
  typedef typename D::compare_type compare_type;
  static_assert(std::is_trivially_copyable<value_type>::value,
                "elements move bytewise when the table is rebuilt");

  explicit hash_table(uint64_t initial_size = 13, bool collector = false, bool checking = false)
      : m_collector(collector), m_checking(checking)
  {
    m_size_prime_index = hash_table_higher_prime_index(initial_size);
    m_size = hash_table_primes[m_size_prime_index].prime;
    m_entries = alloc_entries(m_size);
  }

  ~hash_table()
  {
    for (uint64_t i = 0; i < m_size; i++)
      if (is_live(m_entries[i]))
        D::remove(m_entries[i]);
    release_entries(m_entries);
  }

  hash_table(const hash_table &) = delete;
  hash_table &operator=(const hash_table &) = delete;

  // The slot of the equal element, or the empty slot where the probe ended.
  value_type &find_with_hash(const compare_type &key, hashval_t hash)
  {
    m_searches++;
    value_type *entries = m_entries;
    uint64_t index = hash_table_probe(hash, m_size_prime_index, m_collisions, [&](uint64_t i) {
      const value_type &e = entries[i];
      return D::is_empty(e) || (!D::is_deleted(e) && D::equal(e, key));
    });
    return entries[index];
  }

  value_type &find(const compare_type &key) { return find_with_hash(key, D::hash(key)); }

  // The slot of the equal element; otherwise, with INSERT, the slot (already
  // counted) where the caller stores the new element, else null.
  value_type *find_slot_with_hash(const compare_type &key, hashval_t hash, insert_option insert)
  {
    if (insert == INSERT && m_n_elements * 4 >= m_size * 3)
      expand();
    m_searches++;
    value_type *entries = m_entries, *first_deleted = nullptr;
    uint64_t index = hash_table_probe(hash, m_size_prime_index, m_collisions, [&](uint64_t i) {
      value_type &e = entries[i];
      if (D::is_empty(e))
        return true;
      if (D::is_deleted(e)) {
        if (!first_deleted)
          first_deleted = &e;
        return false;
      }
      return D::equal(e, key);
    });
    value_type *slot = &entries[index];
    if (!D::is_empty(*slot))
      return slot;
    if (insert == NO_INSERT)
      return nullptr;
    if (first_deleted) {
      D::mark_empty(*first_deleted);
      m_n_deleted--;
      return first_deleted;
    }
    m_n_elements++;
    return slot;
  }

  value_type *find_slot(const compare_type &key, insert_option insert)
  {
    return find_slot_with_hash(key, D::hash(key), insert);
  }

  void clear_slot(value_type *slot)
  {
    vuz_assert(slot >= m_entries && slot < m_entries + m_size && is_live(*slot));
    D::remove(*slot);
    D::mark_deleted(*slot);
    m_n_deleted++;
  }

  // Removes the element equal to key, when there is one.
  void remove_elt_with_hash(const compare_type &key, hashval_t hash)
  {
    value_type *slot = find_slot_with_hash(key, hash, NO_INSERT);
    if (slot)
      clear_slot(slot);
  }

  void remove_elt(const compare_type &key) { remove_elt_with_hash(key, D::hash(key)); }

  // Resizes for the live elements, or rebuilds in place to drop the deleted.
  void expand()
  {
    uint64_t live = m_n_elements - m_n_deleted;
    uint32_t index = m_size_prime_index;
    if (hash_table_needs_resize(m_size, live))
      index = hash_table_higher_prime_index(live * 2);
    uint64_t size = hash_table_primes[index].prime;
    value_type *fresh = alloc_entries(size);
    value_type *old = m_entries;
    uint64_t old_size = m_size;
    m_entries = fresh;
    m_size = size;
    m_size_prime_index = index;
    m_n_elements = live;
    m_n_deleted = 0;
    uint32_t uncounted = 0;
    for (uint64_t i = 0; i < old_size; i++) {
      if (!is_live(old[i]))
        continue;
      uint64_t slot = hash_table_probe(D::hash(old[i]), index, uncounted,
                                       [&](uint64_t j) { return D::is_empty(fresh[j]); });
      fresh[slot] = old[i];
    }
    release_entries(old);
  }

  uint64_t size() const { return m_size; }
  uint64_t elements() const { return m_n_elements - m_n_deleted; }
  uint64_t elements_with_deleted() const { return m_n_elements; }
  uint32_t searches() const { return m_searches; }
  uint32_t collisions() const { return m_collisions; }
  uint32_t size_prime_index() const { return m_size_prime_index; }
  bool checking() const { return m_checking; }

  // Live elements in slot order.
  class iterator {
  public:
    typedef std::forward_iterator_tag iterator_category;
    typedef typename D::value_type value_type;
    typedef std::ptrdiff_t difference_type;
    typedef value_type *pointer;
    typedef value_type &reference;

    iterator(value_type *slot, value_type *limit) : m_slot(slot), m_limit(limit) { settle(); }
    value_type &operator*() const { return *m_slot; }
    value_type *operator->() const { return m_slot; }
    iterator &operator++()
    {
      ++m_slot;
      settle();
      return *this;
    }
    bool operator==(const iterator &other) const { return m_slot == other.m_slot; }
    bool operator!=(const iterator &other) const { return m_slot != other.m_slot; }

  private:
    void settle()
    {
      while (m_slot < m_limit && !is_live(*m_slot))
        ++m_slot;
    }
    value_type *m_slot, *m_limit;
  };

  iterator begin() { return iterator(m_entries, m_entries + m_size); }
  iterator end() { return iterator(m_entries + m_size, m_entries + m_size); }

private:
  static bool is_live(const value_type &e) { return !D::is_empty(e) && !D::is_deleted(e); }

  value_type *alloc_entries(uint64_t n)
  {
    void *block;
    if (m_collector)
      block = kemm_internal_cleared_alloc(n * sizeof(value_type), nullptr, sizeof(value_type), n);
    else
      block = checked_calloc(n, sizeof(value_type));
    vuz_assert_as(block, "hash-table", "alloc_entries");
    return static_cast<value_type *>(block);
  }

  void release_entries(value_type *entries)
  {
    if (m_collector)
      kemm_release(entries);
    else
      free(entries);
  }

  value_type *m_entries;
  uint64_t m_size;
  uint64_t m_n_elements = 0;
  uint64_t m_n_deleted = 0;
  uint32_t m_searches = 0;
  uint32_t m_collisions = 0;
  uint32_t m_size_prime_index;
  bool m_collector;
  bool m_checking;
};

// Key traits for maps and sets: the key's own value 0 marks an empty slot and
// 1 a deleted one, so those two values cannot be stored.
template <typename T> struct pointer_hash_traits {
  static hashval_t hash(T p) { return static_cast<hashval_t>(reinterpret_cast<uintptr_t>(p) >> 3); }
  static bool equal(T a, T b) { return a == b; }
  static bool is_empty(T p) { return p == nullptr; }
  static bool is_deleted(T p) { return reinterpret_cast<uintptr_t>(p) == 1; }
  static void mark_empty(T &p) { p = nullptr; }
  static void mark_deleted(T &p) { p = reinterpret_cast<T>(uintptr_t{1}); }
  static void remove(T &) {}
};

template <typename T> struct int_hash_traits {
  static hashval_t hash(T v) { return static_cast<hashval_t>(v); }
  static bool equal(T a, T b) { return a == b; }
  static bool is_empty(T v) { return v == 0; }
  static bool is_deleted(T v) { return v == 1; }
  static void mark_empty(T &v) { v = 0; }
  static void mark_deleted(T &v) { v = 1; }
  static void remove(T &) {}
};

// Texts compared by contents; the table does not own them.
struct string_hash_traits : pointer_hash_traits<const char *> {
  static hashval_t hash(const char *s) { return string_hash(s); }
  static bool equal(const char *a, const char *b) { return strcmp(a, b) == 0; }
};

template <typename T, typename = void> struct default_hash_traits;
template <typename T>
struct default_hash_traits<T, typename std::enable_if<std::is_pointer<T>::value>::type>
    : pointer_hash_traits<T> {};
template <typename T>
struct default_hash_traits<T, typename std::enable_if<std::is_integral<T>::value>::type>
    : int_hash_traits<T> {};

// A descriptor whose elements are the keys themselves.
template <typename Key, typename Traits> struct hash_set_descriptor : Traits {
  typedef Key value_type;
  typedef Key compare_type;
};

template <typename Key, typename Value> struct hash_map_entry {
  Key key;
  Value value;
};

// A descriptor of key-value records keyed by the first word.
template <typename Key, typename Value, typename Traits> struct hash_map_descriptor {
  typedef hash_map_entry<Key, Value> value_type;
  typedef Key compare_type;
  static hashval_t hash(const value_type &e) { return Traits::hash(e.key); }
  static hashval_t hash(const Key &k) { return Traits::hash(k); }
  static bool equal(const value_type &e, const Key &k) { return Traits::equal(e.key, k); }
  static bool is_empty(const value_type &e) { return Traits::is_empty(e.key); }
  static bool is_deleted(const value_type &e) { return Traits::is_deleted(e.key); }
  static void mark_empty(value_type &e) { Traits::mark_empty(e.key); }
  static void mark_deleted(value_type &e) { Traits::mark_deleted(e.key); }
  static void remove(value_type &e) { Traits::remove(e.key); }
};

// The two marker values cannot be stored as keys: they would read back as
// an empty or deleted slot.
template <typename Traits, typename Key> inline void check_key(const Key &key)
{
  vuz_assert(!Traits::is_empty(key) && !Traits::is_deleted(key));
}

// What maps and sets share: the table, removal by key and the walk.
template <typename D> class hash_container {
public:
  typedef hash_table<D> table_type;

  explicit hash_container(uint64_t initial_size, bool collector, bool checking)
      : m_table(initial_size, collector, checking)
  {
  }

  void remove(const typename D::compare_type &key) { m_table.remove_elt(key); }
  uint64_t elements() const { return m_table.elements(); }
  table_type &table() { return m_table; }
  typename table_type::iterator begin() { return m_table.begin(); }
  typename table_type::iterator end() { return m_table.end(); }

protected:
  table_type m_table;
};

template <typename Key, typename Value, typename Traits = default_hash_traits<Key>>
class hash_map : public hash_container<hash_map_descriptor<Key, Value, Traits>> {
  typedef hash_container<hash_map_descriptor<Key, Value, Traits>> base;
  using base::m_table;

public:
  typedef hash_map_entry<Key, Value> entry;

  explicit hash_map(uint64_t initial_size = 13, bool collector = false, bool checking = false)
      : base(initial_size, collector, checking)
  {
  }

  // Stores value under key; returns whether the key was already present.
  bool put(const Key &key, const Value &value)
  {
    check_key<Traits>(key);
    entry *slot = m_table.find_slot(key, INSERT);
    bool existed = !Traits::is_empty(slot->key);
    slot->key = key;
    slot->value = value;
    return existed;
  }

  Value *get(const Key &key)
  {
    entry &e = m_table.find(key);
    return Traits::is_empty(e.key) ? nullptr : &e.value;
  }

  // The value under key, a zero-initialised one when the key is new.
  Value &get_or_insert(const Key &key, bool *existed = nullptr)
  {
    check_key<Traits>(key);
    entry *slot = m_table.find_slot(key, INSERT);
    bool present = !Traits::is_empty(slot->key);
    if (!present) {
      slot->key = key;
      slot->value = Value();
    }
    if (existed)
      *existed = present;
    return slot->value;
  }
};

template <typename Key, typename Traits = default_hash_traits<Key>>
class hash_set : public hash_container<hash_set_descriptor<Key, Traits>> {
  typedef hash_container<hash_set_descriptor<Key, Traits>> base;
  using base::m_table;

public:
  explicit hash_set(uint64_t initial_size = 13, bool collector = false, bool checking = false)
      : base(initial_size, collector, checking)
  {
  }

  // Adds key; returns whether it was already present.
  bool add(const Key &key)
  {
    check_key<Traits>(key);
    Key *slot = m_table.find_slot(key, INSERT);
    bool existed = !Traits::is_empty(*slot);
    if (!existed)
      *slot = key;
    return existed;
  }

  bool contains(const Key &key) { return !Traits::is_empty(m_table.find(key)); }
};

#endif
