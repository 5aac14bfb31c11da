// Top-down splay trees (Sleator and Tarjan): an ordered map whose lookups
// move the key found to the root, so that runs of nearby lookups are cheap.
#ifndef VUZ_DIAGNOSTICS_SPLAY_TREE_H
#define VUZ_DIAGNOSTICS_SPLAY_TREE_H

#include <cstdint>

typedef uintptr_t splay_key;
typedef uintptr_t splay_value;
typedef int (*splay_compare_fn)(splay_key a, splay_key b);
typedef void (*splay_delete_fn)(uintptr_t item);
// Called in key order; a non-zero result stops the walk and is returned.
typedef int (*splay_visit_fn)(splay_key key, splay_value value, void *data);

struct splay_node {
  splay_key key;
  splay_value value;
  splay_node *left;
  splay_node *right;
};

struct splay_tree {
  splay_node *root;
  splay_compare_fn compare;
  splay_delete_fn delete_key;   // may be null
  splay_delete_fn delete_value; // may be null
};

void splay_tree_init(splay_tree *tree, splay_compare_fn compare, splay_delete_fn delete_key,
                     splay_delete_fn delete_value);
void splay_tree_destroy(splay_tree *tree);
// An existing key keeps its node and gets the new value (the old one is
// deleted); a new key becomes the root.
void splay_tree_insert(splay_tree *tree, splay_key key, splay_value value);
splay_node *splay_tree_lookup(splay_tree *tree, splay_key key);
int splay_tree_foreach(const splay_tree *tree, splay_visit_fn visit, void *data);

int splay_compare_strings(splay_key a, splay_key b);
int splay_compare_ints(splay_key a, splay_key b);

#endif
