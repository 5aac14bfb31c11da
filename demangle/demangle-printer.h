// The demangler's printer state, shared by the declaration printer and the
// expression printer. Internal to the demangler.
#ifndef VUZ_DEMANGLE_DEMANGLE_PRINTER_H
#define VUZ_DEMANGLE_DEMANGLE_PRINTER_H

#include "demangle/demangle-tree.h"

#include <cstddef>
#include <cstring>

struct print_template {
  print_template *next;
  const demangle_component *tmpl;
};

struct print_modifier {
  print_modifier *next;
  demangle_component *mod;
  int printed;
  print_template *templates;
};

struct component_stack_entry {
  const demangle_component *component;
  const component_stack_entry *parent;
};

struct saved_scope {
  const demangle_component *container;
  print_template *templates;
};

struct demangle_printer {
  char buffer[256];
  size_t length;
  char last_char;
  demangle_sink sink;
  void *opaque;
  print_template *templates;
  print_modifier *modifiers;
  int failed;
  int recursion;
  int lambda_depth;
  int pack_index;
  unsigned flush_count;
  const component_stack_entry *component_stack;
  saved_scope *saved_scopes;
  int saved_scopes_used;
  int saved_scopes_capacity;
  print_template *template_copies;
  int template_copies_used;
  int template_copies_capacity;
  const demangle_component *current_template;
  // Bounds on the work of one print: substitutions can make the output grow
  // exponentially with the input, so text and steps are capped.
  size_t total_output;
  size_t steps;
};

// Output above this many bytes fails the print (real names print a few KiB).
const size_t demangle_output_limit = size_t(1) << 20;
// Component visits (prints and pack searches) above this fail the print.
const size_t demangle_step_limit = size_t(4) << 20;
// Nesting of component prints.
const int demangle_print_depth_limit = 1024;

void printer_fail(demangle_printer *p);
void printer_append_char(demangle_printer *p, char c);
void printer_append(demangle_printer *p, const char *text, size_t length);
// Inline so that the length of a literal is known when compiling.
inline void printer_append_text(demangle_printer *p, const char *text)
{
  printer_append(p, text, strlen(text));
}
void printer_append_number(demangle_printer *p, int value);
void printer_flush(demangle_printer *p);

void print_component(demangle_printer *p, int options, demangle_component *c);
demangle_component *printer_find_pack(demangle_printer *p, const demangle_component *c);
int printer_pack_length(const demangle_component *pack);

// Expressions and literals: kinds 52 to 63 and the fold and initializer forms.
void print_expression_component(demangle_printer *p, int options, demangle_component *c);
void print_subexpression(demangle_printer *p, int options, demangle_component *c);

#endif
