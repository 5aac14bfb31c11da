// The reader's identifiers: its node allocator, the special names it keeps,
// and the lookups the rest of the library uses.
#include "libsprenk/preprocessor-internal.h"

#include <cstring>

static ident_node *new_ident_node(ident_table *table)
{
  obstack *nodes = &table->reader->ident_nodes;
  ident_node *node = static_cast<ident_node *>(obstack_new_object(nodes, sizeof(ident_node)));
  memset(node, 0, sizeof *node);
  return node;
}

static ident_node *intern_text(preprocessor_reader *reader, const char *text)
{
  return idtab_find(reader->idents, text, uint32_t(strlen(text)), IDTAB_INSERT);
}

void _cpp_identifiers_begin(preprocessor_reader *reader, ident_table *table)
{
  if (table == nullptr) {
    reader->owns_ident_table = true;
    table = idtab_create(13);
    table->node_allocator = new_ident_node;
    obstack_init_malloc(&reader->ident_nodes);
  }
  table->reader = reader;
  reader->idents = table;

  init_directive_names(reader);
  // The library's own pragmas register here once pragmas land.

  special_nodes *s = &reader->spec_nodes;
  s->n_defined = intern_text(reader, "defined");
  s->n_true = intern_text(reader, "true");
  s->n_false = intern_text(reader, "false");
  s->n_va_args = intern_text(reader, "__VA_ARGS__");
  s->n_va_args->flags |= IDF_CHECK_ON_LEX;
  s->n_va_opt = intern_text(reader, "__VA_OPT__");
  s->n_va_opt->flags |= IDF_CHECK_ON_LEX;
}

void _cpp_identifiers_end(preprocessor_reader *reader)
{
  if (!reader->owns_ident_table)
    return;
  idtab_destroy(reader->idents);
  reader->idents = nullptr;
  obstack_free_to(&reader->ident_nodes, nullptr);
}

ident_node *cpp_intern(preprocessor_reader *reader, const char *text, uint32_t length)
{
  return idtab_find(reader->idents, text, length, IDTAB_INSERT);
}

int cpp_is_defined_macro(preprocessor_reader *reader, const char *text, uint32_t length)
{
  ident_node *node = idtab_find(reader->idents, text, length, IDTAB_FIND_ONLY);
  return node != nullptr && ident_is_macro(node);
}

void cpp_each_identifier(preprocessor_reader *reader, idtab_callback callback, void *data)
{
  idtab_for_each(reader->idents, callback, data);
}
