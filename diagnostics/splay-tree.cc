// Top-down splay trees. Walks are iterative: a tree built from keys in order
// is a list as deep as it is long.
#include "diagnostics/internal.h"

#include "support/alloc.h"
#include "support/vec.h"

#include <cstdlib>
#include <cstring>

void splay_tree_init(splay_tree *tree, splay_compare_fn compare, splay_delete_fn delete_key,
                     splay_delete_fn delete_value)
{
  *tree = {nullptr, compare, delete_key, delete_value};
}

static void delete_node(splay_tree *tree, splay_node *node)
{
  if (tree->delete_key)
    tree->delete_key(node->key);
  if (tree->delete_value)
    tree->delete_value(node->value);
  free(node);
}

void splay_tree_destroy(splay_tree *tree)
{
  vec<splay_node *> *pending = nullptr;
  if (tree->root)
    vec_safe_push(pending, tree->root);
  while (!vec_empty(pending)) {
    splay_node *node = vec_pop(pending);
    if (node->left)
      vec_safe_push(pending, node->left);
    if (node->right)
      vec_safe_push(pending, node->right);
    delete_node(tree, node);
  }
  vec_release(pending);
  tree->root = nullptr;
}

// Brings the node of the key, or the last node on its search path, to the root.
static void splay(splay_tree *tree, splay_key key)
{
  splay_node *t = tree->root;
  if (!t)
    return;
  splay_node header = {0, 0, nullptr, nullptr};
  splay_node *left = &header, *right = &header;
  for (;;) {
    int c = tree->compare(key, t->key);
    if (c < 0) {
      if (!t->left)
        break;
      if (tree->compare(key, t->left->key) < 0) {
        splay_node *y = t->left; // rotate right
        t->left = y->right;
        y->right = t;
        t = y;
        if (!t->left)
          break;
      }
      right->left = t; // link right
      right = t;
      t = t->left;
    } else if (c > 0) {
      if (!t->right)
        break;
      if (tree->compare(key, t->right->key) > 0) {
        splay_node *y = t->right; // rotate left
        t->right = y->left;
        y->left = t;
        t = y;
        if (!t->right)
          break;
      }
      left->right = t; // link left
      left = t;
      t = t->right;
    } else {
      break;
    }
  }
  left->right = t->left;
  right->left = t->right;
  t->left = header.right;
  t->right = header.left;
  tree->root = t;
}

void splay_tree_insert(splay_tree *tree, splay_key key, splay_value value)
{
  splay(tree, key);
  splay_node *root = tree->root;
  int c = root ? tree->compare(key, root->key) : 0;
  if (root && c == 0) {
    if (tree->delete_value)
      tree->delete_value(root->value);
    root->value = value;
    return;
  }
  splay_node *node = checked_new_cleared<splay_node>();
  node->key = key;
  node->value = value;
  if (root && c < 0) {
    node->left = root->left;
    node->right = root;
    root->left = nullptr;
  } else if (root) {
    node->right = root->right;
    node->left = root;
    root->right = nullptr;
  }
  tree->root = node;
}

splay_node *splay_tree_lookup(splay_tree *tree, splay_key key)
{
  splay(tree, key);
  if (tree->root && tree->compare(key, tree->root->key) == 0)
    return tree->root;
  return nullptr;
}

int splay_tree_foreach(const splay_tree *tree, splay_visit_fn visit, void *data)
{
  vec<splay_node *> *stack = nullptr;
  splay_node *node = tree->root;
  int result = 0;
  while (result == 0 && (node || !vec_empty(stack))) {
    while (node) {
      vec_safe_push(stack, node);
      node = node->left;
    }
    node = vec_pop(stack);
    result = visit(node->key, node->value, data);
    node = node->right;
  }
  vec_release(stack);
  return result;
}

int splay_compare_strings(splay_key a, splay_key b)
{
  return strcmp(reinterpret_cast<const char *>(a), reinterpret_cast<const char *>(b));
}

int splay_compare_ints(splay_key a, splay_key b)
{
  intptr_t x = static_cast<intptr_t>(a), y = static_cast<intptr_t>(b);
  return x < y ? -1 : x > y ? 1 : 0;
}
