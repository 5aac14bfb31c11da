// The identifier table: a string-interning open-addressing hash table with
// pluggable node and text allocators. It knows nothing of the preprocessor.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"
#include "support/string-hash.h"

#include <cstdlib>
#include <cstring>

uint32_t idtab_hash(const unsigned char *text, uint32_t length)
{
  uint32_t h = 0;
  for (uint32_t i = 0; i < length; i++)
    h = hash_text_step(h, text[i]);
  return hash_text_finish(h, length);
}

ident_table *idtab_create(uint32_t order)
{
  ident_table *table = checked_new_cleared<ident_table>();
  // Mask 0: node texts lie byte after byte.
  obstack_init_malloc(&table->strings, 0, 1);
  table->slot_count = 1u << order;
  table->slots = checked_new_cleared<ident_node *>(table->slot_count);
  table->slots_owned = true;
  return table;
}

void idtab_destroy(ident_table *table)
{
  obstack_free_to(&table->strings, nullptr);
  if (table->slots_owned)
    free(table->slots);
  free(table);
}

static bool node_matches(const ident_node *node, const char *text, uint32_t length, uint32_t hash)
{
  return node->hash == hash && node->length == length && memcmp(node->text, text, length) == 0;
}

ident_node *idtab_find(ident_table *table, const char *text, uint32_t length, idtab_mode mode)
{
  uint32_t hash = idtab_hash(reinterpret_cast<const unsigned char *>(text), length);
  return idtab_find_hashed(table, text, length, hash, mode);
}

// Every live node to its place in a table twice the size.
static void idtab_grow(ident_table *table)
{
  uint32_t count = table->slot_count * 2;
  uint32_t mask = count - 1;
  ident_node **slots = checked_new_cleared<ident_node *>(count);
  for (uint32_t i = 0; i < table->slot_count; i++) {
    ident_node *node = table->slots[i];
    if (node == nullptr || node == IDTAB_DELETED)
      continue;
    uint32_t j = node->hash & mask;
    uint32_t step = ((node->hash * 17) & mask) | 1;
    while (slots[j] != nullptr)
      j = (j + step) & mask;
    slots[j] = node;
  }
  if (table->slots_owned)
    free(table->slots);
  table->slots = slots;
  table->slot_count = count;
  table->slots_owned = true;
}

static ident_node *idtab_insert(ident_table *table, uint32_t slot, const char *text,
                                uint32_t length, uint32_t hash)
{
  ident_node *node = table->node_allocator(table);
  table->slots[slot] = node;
  node->length = length;
  node->hash = hash;
  if (table->string_allocator) {
    char *copy = static_cast<char *>(table->string_allocator(length + 1));
    memcpy(copy, text, length);
    copy[length] = '\0';
    node->text = copy;
  } else {
    node->text = obstack_copy_in_nul(&table->strings, text, length);
  }
  table->entry_count++;
  if (table->entry_count * 4 >= table->slot_count * 3)
    idtab_grow(table);
  return node;
}

ident_node *idtab_find_hashed(ident_table *table, const char *text, uint32_t length,
                              uint32_t hash, idtab_mode mode)
{
  table->searches++;
  uint32_t mask = table->slot_count - 1;
  uint32_t i = hash & mask;
  uint32_t deleted = UINT32_MAX;
  ident_node *node = table->slots[i];
  if (node != nullptr) {
    if (node == IDTAB_DELETED)
      deleted = i;
    else if (node_matches(node, text, length, hash))
      return node;
    uint32_t step = ((hash * 17) & mask) | 1;
    for (;;) {
      table->collisions++;
      i = (i + step) & mask;
      node = table->slots[i];
      if (node == nullptr)
        break;
      if (node == IDTAB_DELETED) {
        if (deleted == UINT32_MAX)
          deleted = i;
      } else if (node_matches(node, text, length, hash)) {
        return node;
      }
    }
  }
  if (mode == IDTAB_FIND_ONLY)
    return nullptr;
  return idtab_insert(table, deleted != UINT32_MAX ? deleted : i, text, length, hash);
}

void idtab_for_each(ident_table *table, idtab_callback callback, void *data)
{
  for (uint32_t i = 0; i < table->slot_count; i++) {
    ident_node *node = table->slots[i];
    if (node != nullptr && node != IDTAB_DELETED && callback(table->reader, node, data) == 0)
      return;
  }
}

void idtab_prune(ident_table *table, idtab_callback callback, void *data)
{
  for (uint32_t i = 0; i < table->slot_count; i++) {
    ident_node *node = table->slots[i];
    if (node != nullptr && node != IDTAB_DELETED && callback(table->reader, node, data) != 0)
      table->slots[i] = IDTAB_DELETED;
  }
}

void idtab_adopt(ident_table *table, ident_node **slots, uint32_t slot_count,
                 uint32_t entry_count, bool owned)
{
  if (table->slots_owned)
    free(table->slots);
  table->slots = slots;
  table->slot_count = slot_count;
  table->entry_count = entry_count;
  table->slots_owned = owned;
}

// Newton's iteration; the statistics need no more precision.
static double approx_sqrt(double x)
{
  vuz_assert(x >= 0);
  if (x == 0)
    return 0;
  double s = x, d;
  do {
    d = (s * s - x) / (2 * s);
    s -= d;
  } while (d > 0.0001);
  return s;
}

static unsigned long scaled(uint64_t n)
{
  if (n < 10240)
    return n;
  return n < 10485760 ? n / 1024 : n / 1048576;
}

static char scale_unit(uint64_t n)
{
  if (n < 10240)
    return ' ';
  return n < 10485760 ? 'k' : 'M';
}

// Each ratio guards an empty table or one never searched.
static double ratio(double numerator, double denominator)
{
  return denominator == 0 ? 0 : numerator / denominator;
}

void idtab_dump_stats(ident_table *table)
{
  uint64_t deleted = 0, live = 0, total = 0, squares = 0, longest = 0;
  for (uint32_t i = 0; i < table->slot_count; i++) {
    ident_node *node = table->slots[i];
    if (node == IDTAB_DELETED) {
      deleted++;
    } else if (node != nullptr) {
      live++;
      total += node->length;
      squares += uint64_t(node->length) * node->length;
      if (node->length > longest)
        longest = node->length;
    }
  }
  fprintf(stderr, "\nString pool\n%-32s%lu\n", "entries:", (unsigned long)table->entry_count);
  fprintf(stderr, "%-32s%lu (%.2f%%)\n", "identifiers:", (unsigned long)live,
          ratio(live * 100.0, table->entry_count));
  fprintf(stderr, "%-32s%lu\n", "slots:", (unsigned long)table->slot_count);
  fprintf(stderr, "%-32s%lu\n", "deleted:", (unsigned long)deleted);
  if (table->string_allocator) {
    fprintf(stderr, "%-32s%lu%c\n", "KEMM bytes:", scaled(total), scale_unit(total));
  } else {
    uint64_t used = obstack_bytes_used(&table->strings);
    uint64_t overhead = used > total ? used - total : 0;
    fprintf(stderr, "%-32s%lu%c (%lu%c overhead)\n", "obstack bytes:", scaled(total),
            scale_unit(total), scaled(overhead), scale_unit(overhead));
  }
  uint64_t table_bytes = uint64_t(table->slot_count) * 8;
  fprintf(stderr, "%-32s%lu%c\n", "table size:", scaled(table_bytes), scale_unit(table_bytes));
  fprintf(stderr, "%-32s%.4f\n", "coll/search:", ratio(table->collisions, table->searches));
  fprintf(stderr, "%-32s%.4f\n", "ins/search:", ratio(table->entry_count, table->searches));
  double mean = ratio(double(total), table->entry_count);
  double variance = ratio(double(squares), table->entry_count) - mean * mean;
  // Rounding can take an exact zero variance just below zero.
  fprintf(stderr, "%-32s%.2f bytes (+/- %.2f)\n", "avg. entry:", mean,
          approx_sqrt(variance > 0 ? variance : 0));
  fprintf(stderr, "%-32s%lu\n", "longest entry:", (unsigned long)longest);
}
