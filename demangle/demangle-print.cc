// The demangler's printer: writes a component tree as C++ declaration text
// through a 256-byte buffer, with declarators in their C++ positions.
// Expressions and literals are printed by demangle-print-expr.cc.
#include "demangle/demangle-printer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

typedef demangle_component comp_t;
typedef demangle_printer printer_t;

void printer_fail(printer_t *p)
{
  p->failed = 1;
}

void printer_flush(printer_t *p)
{
  p->buffer[p->length] = '\0';
  p->sink(p->buffer, p->length, p->opaque);
  p->length = 0;
  p->flush_count++;
}

void printer_append_char(printer_t *p, char c)
{
  // Most appends are one character into a buffer with room: store it directly.
  if (p->length < sizeof p->buffer - 1 && p->total_output < demangle_output_limit && !p->failed) {
    p->buffer[p->length++] = c;
    p->total_output++;
    p->last_char = c;
    return;
  }
  printer_append(p, &c, 1);
}

// Copies whole runs, flushing only when another byte must go into a full
// buffer, so the sink sees the same 255-byte pieces as byte-wise appending.
void printer_append(printer_t *p, const char *text, size_t length)
{
  if (p->failed || length == 0)
    return;
  size_t room = demangle_output_limit - p->total_output;
  if (length > room) {
    // Keep what fits, as a byte-wise append would have, then fail.
    printer_append(p, text, room);
    printer_fail(p);
    return;
  }
  p->total_output += length;
  p->last_char = text[length - 1];
  for (;;) {
    size_t space = sizeof p->buffer - 1 - p->length;
    size_t n = length < space ? length : space;
    memcpy(p->buffer + p->length, text, n);
    p->length += n;
    text += n;
    length -= n;
    if (length == 0)
      return;
    printer_flush(p);
  }
}

void printer_append_number(printer_t *p, int value)
{
  char digits[16];
  snprintf(digits, sizeof digits, "%d", value);
  printer_append_text(p, digits);
}

// Java names decode "__U" hex "_" escapes (one or more digits) of characters
// below 256.
static void print_java_identifier(printer_t *p, const char *name, int length)
{
  const char *end = name + length;
  const char *run = name;
  for (const char *c = name; c < end; c++) {
    if (end - c > 3 && c[0] == '_' && c[1] == '_' && c[2] == 'U') {
      unsigned value = 0;
      const char *q;
      for (q = c + 3; q < end; q++) {
        unsigned digit;
        if (*q >= '0' && *q <= '9')
          digit = *q - '0';
        else if (*q >= 'A' && *q <= 'F')
          digit = *q - 'A' + 10;
        else if (*q >= 'a' && *q <= 'f')
          digit = *q - 'a' + 10;
        else
          break;
        if (value < 256)
          value = value * 16 + digit;
      }
      // Without digits "__U_" is no escape; decoding it would give a NUL.
      if (q > c + 3 && q < end && *q == '_' && value < 256) {
        printer_append(p, run, c - run);
        printer_append_char(p, static_cast<char>(value));
        c = q;
        run = q + 1;
      }
    }
  }
  printer_append(p, run, end - run);
}

// Argument number `index` of a template argument list, or null.
static comp_t *index_template_argument(comp_t *args, int index)
{
  comp_t *a;
  for (a = args; a; a = a->u.pair.right) {
    if (a->kind != CK_TEMPLATE_ARGUMENTS)
      return nullptr;
    if (index <= 0)
      break;
    --index;
  }
  if (index != 0 || !a)
    return nullptr;
  return a->u.pair.left;
}

static comp_t *lookup_template_argument(printer_t *p, const comp_t *param)
{
  if (!p->templates) {
    printer_fail(p);
    return nullptr;
  }
  return index_template_argument(p->templates->tmpl->u.pair.right, param->u.number);
}

static comp_t *find_pack(printer_t *p, const comp_t *c, int depth)
{
  comp_t *found = nullptr;
  for (; c && !found; depth++) {
    if (depth > demangle_print_depth_limit || ++p->steps > demangle_step_limit) {
      printer_fail(p);
      return nullptr;
    }
    switch (c->kind) {
    case CK_TEMPLATE_PARAM: {
      if (c->u.param.lambda_auto)
        return nullptr;
      comp_t *a = lookup_template_argument(p, c);
      return a && a->kind == CK_TEMPLATE_ARGUMENTS ? a : nullptr;
    }
    case CK_PACK_EXPANSION:
    case CK_NAME: case CK_ABI_TAG: case CK_OPERATOR: case CK_BUILTIN_TYPE:
    case CK_STD_SUBSTITUTION: case CK_CHARACTER: case CK_FUNCTION_PARAM:
    case CK_UNNAMED_TYPE: case CK_FIXED_POINT: case CK_DEFAULT_ARGUMENT: case CK_NUMBER:
    case CK_LAMBDA:
      return nullptr;
    case CK_VENDOR_OPERATOR: case CK_CONSTRUCTOR: case CK_DESTRUCTOR:
      c = c->u.structor.name;
      break;
    default:
      // Search the left subtree, then continue with the right one.
      found = find_pack(p, c->u.pair.left, depth + 1);
      c = c->u.pair.right;
      break;
    }
  }
  return found;
}

comp_t *printer_find_pack(printer_t *p, const comp_t *c)
{
  return find_pack(p, c, 0);
}

int printer_pack_length(const comp_t *pack)
{
  int count = 0;
  while (pack && pack->kind == CK_TEMPLATE_ARGUMENTS && pack->u.pair.left) {
    ++count;
    pack = pack->u.pair.right;
  }
  return count;
}

// Counting pre-pass: sizes the template-copy and saved-scope arrays.
static void count_templates_and_scopes(printer_t *p, comp_t *c, int depth)
{
  while (c && c->counting <= 1 && depth <= demangle_print_depth_limit) {
    ++c->counting;
    switch (c->kind) {
    case CK_NAME: case CK_TEMPLATE_PARAM: case CK_FUNCTION_PARAM: case CK_STD_SUBSTITUTION:
    case CK_BUILTIN_TYPE: case CK_OPERATOR: case CK_CHARACTER: case CK_NUMBER:
    case CK_UNNAMED_TYPE:
      return;
    case CK_CONSTRUCTOR: case CK_DESTRUCTOR: case CK_VENDOR_OPERATOR:
      c = c->u.structor.name;
      break;
    case CK_FIXED_POINT:
      c = c->u.fixed.length;
      break;
    case CK_GLOBAL_CONSTRUCTORS: case CK_GLOBAL_DESTRUCTORS:
      c = c->u.pair.left;
      break;
    case CK_LAMBDA: case CK_DEFAULT_ARGUMENT:
      c = c->u.numbered.sub;
      break;
    default:
      if (c->kind == CK_TEMPLATE)
        p->template_copies_capacity++;
      if ((c->kind == CK_LVALUE_REFERENCE || c->kind == CK_RVALUE_REFERENCE) &&
          c->u.pair.left && c->u.pair.left->kind == CK_TEMPLATE_PARAM)
        p->saved_scopes_capacity++;
      count_templates_and_scopes(p, c->u.pair.left, depth + 1);
      c = c->u.pair.right;
      break;
    }
    depth++;
  }
}

static saved_scope *find_saved_scope(printer_t *p, const comp_t *container)
{
  for (int i = 0; i < p->saved_scopes_used; i++)
    if (p->saved_scopes[i].container == container)
      return &p->saved_scopes[i];
  return nullptr;
}

// Copies the current template stack so that a reference reached again through
// a substitution resolves its parameter in the scope it was first seen in.
static void save_scope(printer_t *p, const comp_t *container)
{
  if (p->saved_scopes_used >= p->saved_scopes_capacity) {
    printer_fail(p);
    return;
  }
  saved_scope *scope = &p->saved_scopes[p->saved_scopes_used++];
  scope->container = container;
  print_template **link = &scope->templates;
  for (print_template *t = p->templates; t; t = t->next) {
    if (p->template_copies_used >= p->template_copies_capacity) {
      printer_fail(p);
      return;
    }
    print_template *copy = &p->template_copies[p->template_copies_used++];
    copy->tmpl = t->tmpl;
    *link = copy;
    link = &copy->next;
  }
  *link = nullptr;
}

static void print_modifier_list(printer_t *p, int options, print_modifier *mods, bool suffix);

static void print_template_arguments(printer_t *p, int options, comp_t *args)
{
  if (p->last_char == '<')
    printer_append_char(p, ' ');
  printer_append_char(p, '<');
  print_component(p, options, args);
  // Two consecutive '>' would read as a shift.
  if (p->last_char == '>')
    printer_append_char(p, ' ');
  printer_append_char(p, '>');
}

static void print_modifier_suffix(printer_t *p, int options, comp_t *mod)
{
  switch (mod->kind) {
  case CK_RESTRICT: case CK_RESTRICT_METHOD:
    printer_append_text(p, " restrict");
    return;
  case CK_VOLATILE: case CK_VOLATILE_METHOD:
    printer_append_text(p, " volatile");
    return;
  case CK_CONST: case CK_CONST_METHOD:
    printer_append_text(p, " const");
    return;
  case CK_TRANSACTION_SAFE:
    printer_append_text(p, " transaction_safe");
    return;
  case CK_NOEXCEPT:
  case CK_THROW_SPEC:
    printer_append_text(p, mod->kind == CK_NOEXCEPT ? " noexcept" : " throw");
    if (mod->u.pair.right) {
      printer_append_char(p, '(');
      print_component(p, options, mod->u.pair.right);
      printer_append_char(p, ')');
    }
    return;
  case CK_VENDOR_QUALIFIER:
    printer_append_char(p, ' ');
    print_component(p, options, mod->u.pair.right);
    return;
  case CK_POINTER:
    if (!(options & DEMANGLE_JAVA))
      printer_append_char(p, '*');
    return;
  case CK_LVALUE_METHOD:
    printer_append_text(p, " &");
    return;
  case CK_LVALUE_REFERENCE:
    printer_append_char(p, '&');
    return;
  case CK_RVALUE_METHOD:
    printer_append_text(p, " &&");
    return;
  case CK_RVALUE_REFERENCE:
    printer_append_text(p, "&&");
    return;
  case CK_COMPLEX:
    printer_append_text(p, " _Complex");
    return;
  case CK_IMAGINARY:
    printer_append_text(p, " _Imaginary");
    return;
  case CK_MEMBER_POINTER:
    if (p->last_char != '(')
      printer_append_char(p, ' ');
    print_component(p, options, mod->u.pair.left);
    printer_append_text(p, "::*");
    return;
  case CK_FUNCTION_NAME:
    print_component(p, options, mod->u.pair.left);
    return;
  case CK_VECTOR_TYPE:
    printer_append_text(p, " __vector(");
    print_component(p, options, mod->u.pair.left);
    printer_append_char(p, ')');
    return;
  default:
    // Not a modifier: printed as it stands.
    print_component(p, options, mod);
    return;
  }
}

static void print_function_type(printer_t *p, int options, comp_t *fn, print_modifier *mods)
{
  bool need_paren = false, need_space = false;
  for (print_modifier *m = mods; m && !m->printed; m = m->next) {
    switch (m->mod->kind) {
    case CK_POINTER: case CK_LVALUE_REFERENCE: case CK_RVALUE_REFERENCE:
      need_paren = true;
      break;
    case CK_RESTRICT: case CK_VOLATILE: case CK_CONST: case CK_VENDOR_QUALIFIER:
    case CK_COMPLEX: case CK_IMAGINARY: case CK_MEMBER_POINTER:
      need_space = true;
      need_paren = true;
      break;
    default:
      break;
    }
    if (need_paren)
      break;
  }
  if (need_paren) {
    if (!need_space && p->last_char != '(' && p->last_char != '*')
      need_space = true;
    if (need_space && p->last_char != ' ')
      printer_append_char(p, ' ');
    printer_append_char(p, '(');
  }
  print_modifier *hold_modifiers = p->modifiers;
  p->modifiers = nullptr;
  print_modifier_list(p, options, mods, false);
  if (need_paren)
    printer_append_char(p, ')');
  printer_append_char(p, '(');
  if (fn->u.pair.right)
    print_component(p, options, fn->u.pair.right);
  printer_append_char(p, ')');
  print_modifier_list(p, options, mods, true);
  p->modifiers = hold_modifiers;
}

static void print_array_type(printer_t *p, int options, comp_t *array, print_modifier *mods)
{
  bool need_space = true;
  if (mods) {
    bool need_paren = false;
    for (print_modifier *m = mods; m; m = m->next) {
      if (!m->printed) {
        if (m->mod->kind == CK_ARRAY_TYPE)
          need_space = false;
        else
          need_paren = true;
        break;
      }
    }
    if (need_paren)
      printer_append_text(p, " (");
    print_modifier_list(p, options, mods, false);
    if (need_paren)
      printer_append_char(p, ')');
  }
  if (need_space)
    printer_append_char(p, ' ');
  printer_append_char(p, '[');
  if (array->u.pair.left)
    print_component(p, options, array->u.pair.left);
  printer_append_char(p, ']');
}

static void print_default_argument_prefix(printer_t *p, comp_t **entity)
{
  if ((*entity)->kind == CK_DEFAULT_ARGUMENT) {
    printer_append_text(p, "{default arg#");
    printer_append_number(p, (*entity)->u.numbered.number + 1);
    printer_append_text(p, "}::");
    *entity = (*entity)->u.numbered.sub;
  }
}

// Prints pending modifiers innermost first. In the first pass (suffix false)
// function qualifiers wait for the pass after the parameter list.
static void print_modifier_list(printer_t *p, int options, print_modifier *mods, bool suffix)
{
  for (; mods && !p->failed; mods = mods->next) {
    if (mods->printed || (!suffix && is_function_qualifier(mods->mod->kind)))
      continue;
    mods->printed = 1;
    print_template *hold_templates = p->templates;
    p->templates = mods->templates;
    comp_t *mod = mods->mod;
    if (mod->kind == CK_FUNCTION_TYPE) {
      print_function_type(p, options, mod, mods->next);
      p->templates = hold_templates;
      return;
    }
    if (mod->kind == CK_ARRAY_TYPE) {
      print_array_type(p, options, mod, mods->next);
      p->templates = hold_templates;
      return;
    }
    if (mod->kind == CK_LOCAL) {
      // Its entity's qualifiers were taken off already by the function name.
      print_modifier *hold_modifiers = p->modifiers;
      p->modifiers = nullptr;
      print_component(p, options, mod->u.pair.left);
      p->modifiers = hold_modifiers;
      printer_append_text(p, (options & DEMANGLE_JAVA) ? "." : "::");
      comp_t *entity = mod->u.pair.right;
      print_default_argument_prefix(p, &entity);
      while (entity && is_function_qualifier(entity->kind))
        entity = entity->u.pair.left;
      print_component(p, options, entity);
      p->templates = hold_templates;
      return;
    }
    print_modifier_suffix(p, options, mod);
    p->templates = hold_templates;
  }
}

static void print_function_name(printer_t *p, int options, comp_t *c)
{
  // The name goes down to the function type as the innermost modifier so that
  // it lands in the declarator position; qualifiers of the function follow.
  print_modifier entries[4];
  int count = 0;
  print_modifier *hold_modifiers = p->modifiers;
  p->modifiers = nullptr;
  comp_t *name = c->u.pair.left;
  while (name) {
    if (count >= 4) {
      printer_fail(p);
      p->modifiers = hold_modifiers;
      return;
    }
    entries[count] = {p->modifiers, name, 0, p->templates};
    p->modifiers = &entries[count++];
    if (!is_function_qualifier(name->kind))
      break;
    name = name->u.pair.left;
  }
  if (!name) {
    printer_fail(p);
    p->modifiers = hold_modifiers;
    return;
  }
  if (name->kind == CK_LOCAL) {
    // Qualifiers of a local entity apply to the function: push them beneath
    // the name, which stays the innermost entry.
    comp_t *entity = name->u.pair.right;
    if (entity && entity->kind == CK_DEFAULT_ARGUMENT)
      entity = entity->u.numbered.sub;
    while (entity && is_function_qualifier(entity->kind)) {
      if (count >= 4) {
        printer_fail(p);
        p->modifiers = hold_modifiers;
        return;
      }
      entries[count] = entries[count - 1];
      entries[count].next = &entries[count - 1];
      p->modifiers = &entries[count];
      entries[count - 1] = {entries[count - 1].next, entity, 0, p->templates};
      ++count;
      entity = entity->u.pair.left;
    }
    if (!entity) {
      printer_fail(p);
      p->modifiers = hold_modifiers;
      return;
    }
    name = entity;
  }
  print_template scope;
  bool is_template = name->kind == CK_TEMPLATE;
  if (is_template) {
    scope = {p->templates, name};
    p->templates = &scope;
  }
  print_component(p, options, c->u.pair.right);
  if (is_template)
    p->templates = scope.next;
  while (count > 0) {
    --count;
    if (!entries[count].printed) {
      printer_append_char(p, ' ');
      print_modifier_suffix(p, options, entries[count].mod);
    }
  }
  p->modifiers = hold_modifiers;
}

static void print_template_component(printer_t *p, int options, comp_t *c)
{
  const comp_t *hold_current = p->current_template;
  p->current_template = c;
  // The arguments are printed as a name: pending modifiers stay outside.
  print_modifier *hold_modifiers = p->modifiers;
  p->modifiers = nullptr;
  comp_t *name = c->u.pair.left;
  if ((options & DEMANGLE_JAVA) && name->kind == CK_NAME && name->u.name.length == 6 &&
      memcmp(name->u.name.text, "JArray", 6) == 0) {
    print_component(p, options, c->u.pair.right);
    printer_append_text(p, "[]");
  } else {
    print_component(p, options, name);
    print_template_arguments(p, options, c->u.pair.right);
  }
  p->modifiers = hold_modifiers;
  p->current_template = hold_current;
}

static void print_template_param(printer_t *p, int options, comp_t *c)
{
  if (p->lambda_depth || c->u.param.lambda_auto) {
    printer_append_text(p, "auto:");
    printer_append_number(p, c->u.number + 1);
    return;
  }
  comp_t *a = lookup_template_argument(p, c);
  if (a && a->kind == CK_TEMPLATE_ARGUMENTS)
    a = index_template_argument(a, p->pack_index);
  if (!a) {
    printer_fail(p);
    return;
  }
  // The argument may name a parameter of an outer template.
  print_template *hold_templates = p->templates;
  p->templates = hold_templates->next;
  print_component(p, options, a);
  p->templates = hold_templates;
}

static void print_modifier_component(printer_t *p, int options, comp_t *c, comp_t *inner)
{
  print_modifier entry = {p->modifiers, c, 0, p->templates};
  p->modifiers = &entry;
  print_component(p, options, inner ? inner : c->u.pair.left);
  // A function or array type prints the pending modifiers in its declarator.
  if (!entry.printed)
    print_modifier_suffix(p, options, c);
  p->modifiers = entry.next;
}

static void print_reference(printer_t *p, int options, comp_t *c)
{
  comp_t *sub = c->u.pair.left;
  comp_t *inner = nullptr;
  print_template *hold_templates = p->templates;
  bool restore = false;
  if (!sub) {
    printer_fail(p);
    return;
  }
  if (!p->lambda_depth && sub->kind == CK_TEMPLATE_PARAM && !sub->u.param.lambda_auto) {
    saved_scope *scope = find_saved_scope(p, sub);
    if (!scope) {
      save_scope(p, sub);
      if (p->failed)
        return;
    } else {
      // Reached again through a substitution: resolve in the saved scope,
      // unless this reference or its parameter is already being printed
      // further out; then the current scope holds (the printing counts and
      // the depth limit end a tree that truly contains itself).
      bool nested = false;
      for (const component_stack_entry *e = p->component_stack; e && !nested; e = e->parent)
        nested = e->component == sub || (e->component == c && e != p->component_stack);
      if (!nested) {
        p->templates = scope->templates;
        restore = true;
      }
    }
    comp_t *a = lookup_template_argument(p, sub);
    if (a && a->kind == CK_TEMPLATE_ARGUMENTS)
      a = index_template_argument(a, p->pack_index);
    if (!a) {
      p->templates = hold_templates;
      printer_fail(p);
      return;
    }
    sub = a;
  }
  // Reference collapsing: & & is &, && & is &, & && is &.
  if (sub->kind == CK_LVALUE_REFERENCE || sub->kind == c->kind)
    c = sub;
  else if (sub->kind == CK_RVALUE_REFERENCE)
    inner = sub->u.pair.left;
  if (!inner)
    inner = c->u.pair.left;
  print_modifier_component(p, options, c, inner);
  if (restore)
    p->templates = hold_templates;
}

static void print_cv_qualifier(printer_t *p, int options, comp_t *c)
{
  // An array can push the same qualifier twice; it prints once.
  for (print_modifier *m = p->modifiers; m; m = m->next) {
    if (m->printed)
      continue;
    if (m->mod->kind != CK_RESTRICT && m->mod->kind != CK_VOLATILE && m->mod->kind != CK_CONST)
      break;
    if (m->mod->kind == c->kind) {
      print_component(p, options, c->u.pair.left);
      return;
    }
  }
  print_modifier_component(p, options, c, nullptr);
}

static void print_array_component(printer_t *p, int options, comp_t *c)
{
  // Qualifiers on the array apply to its elements; they are copied down
  // rather than relinked so no entry outlives this frame.
  print_modifier entries[4];
  print_modifier *hold_modifiers = p->modifiers;
  entries[0] = {hold_modifiers, c, 0, p->templates};
  p->modifiers = &entries[0];
  int count = 1;
  for (print_modifier *m = hold_modifiers;
       m && (m->mod->kind == CK_RESTRICT || m->mod->kind == CK_VOLATILE ||
             m->mod->kind == CK_CONST);
       m = m->next) {
    if (m->printed)
      continue;
    if (count >= 4) {
      printer_fail(p);
      p->modifiers = hold_modifiers;
      return;
    }
    entries[count] = *m;
    entries[count].next = p->modifiers;
    p->modifiers = &entries[count];
    m->printed = 1;
    ++count;
  }
  print_component(p, options, c->u.pair.right);
  p->modifiers = hold_modifiers;
  if (entries[0].printed)
    return;
  while (count > 1) {
    --count;
    print_modifier_suffix(p, options, entries[count].mod);
  }
  print_array_type(p, options, c, p->modifiers);
}

static void print_function_type_component(printer_t *p, int options, comp_t *c)
{
  int inner_options = options & ~(DEMANGLE_RETURN_AFTER | DEMANGLE_NO_RETURN);
  if (options & DEMANGLE_RETURN_AFTER)
    print_function_type(p, inner_options, c, p->modifiers);
  if (c->u.pair.left && (options & DEMANGLE_RETURN_AFTER)) {
    print_component(p, inner_options, c->u.pair.left);
  } else if (c->u.pair.left && !(options & DEMANGLE_NO_RETURN)) {
    // The function type waits as a modifier so that a return type that is a
    // pointer to function can print it inside its own declarator.
    print_modifier entry = {p->modifiers, c, 0, p->templates};
    p->modifiers = &entry;
    print_component(p, inner_options, c->u.pair.left);
    p->modifiers = entry.next;
    if (entry.printed)
      return;
    printer_append_char(p, ' ');
  }
  if (!(options & DEMANGLE_RETURN_AFTER))
    print_function_type(p, inner_options, c, p->modifiers);
}

static void print_conversion(printer_t *p, int options, comp_t *c)
{
  // The arguments of the operator's own template are in scope for the type,
  // its template arguments included.
  print_template scope;
  if (p->current_template) {
    scope = {p->templates, p->current_template};
    p->templates = &scope;
  }
  print_component(p, options, c->u.pair.left);
  if (p->current_template)
    p->templates = scope.next;
}

static void print_list(printer_t *p, int options, comp_t *c)
{
  size_t start_length = p->length;
  unsigned start_flushes = p->flush_count;
  if (c->u.pair.left)
    print_component(p, options, c->u.pair.left);
  if (!c->u.pair.right)
    return;
  if (p->flush_count == start_flushes && p->length == start_length) {
    // An empty pack in front: the separator before this item serves the rest.
    print_component(p, options, c->u.pair.right);
    return;
  }
  // Keep ", " in the buffer so that it can be taken back.
  if (p->length >= sizeof p->buffer - 2)
    printer_flush(p);
  char hold_last_char = p->last_char;
  printer_append_text(p, ", ");
  size_t length = p->length;
  unsigned flush_count = p->flush_count;
  print_component(p, options, c->u.pair.right);
  // An empty argument pack printed nothing: no separator either.
  if (!p->failed && p->flush_count == flush_count && p->length == length) {
    p->length -= 2;
    p->total_output -= 2;
    p->last_char = hold_last_char;  // so that "> >" still gets its blank
  }
}

static void print_pack_expansion(printer_t *p, int options, comp_t *c)
{
  comp_t *pack = printer_find_pack(p, c->u.pair.left);
  if (p->failed)
    return;
  if (!pack) {
    // Only function parameter packs are involved.
    print_subexpression(p, options, c->u.pair.left);
    printer_append_text(p, "...");
    return;
  }
  int length = printer_pack_length(pack);
  for (int i = 0; i < length; i++) {
    p->pack_index = i;
    print_component(p, options, c->u.pair.left);
    if (i < length - 1)
      printer_append_text(p, ", ");
  }
}

static const char *prefix_text(component_kind kind)
{
  switch (kind) {
  case CK_VTABLE: return "vtable for ";
  case CK_VTT: return "VTT for ";
  case CK_TYPEINFO: return "typeinfo for ";
  case CK_TYPEINFO_NAME: return "typeinfo name for ";
  case CK_TYPEINFO_FUNCTION: return "typeinfo fn for ";
  case CK_THUNK: return "non-virtual thunk to ";
  case CK_VIRTUAL_THUNK: return "virtual thunk to ";
  case CK_COVARIANT_THUNK: return "covariant return thunk to ";
  case CK_JAVA_CLASS: return "java Class for ";
  case CK_GUARD_VARIABLE: return "guard variable for ";
  case CK_TLS_INIT: return "TLS init function for ";
  case CK_TLS_WRAPPER: return "TLS wrapper function for ";
  case CK_HIDDEN_ALIAS: return "hidden alias for ";
  case CK_TEMPLATE_PARAM_OBJECT: return "template parameter object for ";
  case CK_JAVA_RESOURCE: return "java resource ";
  case CK_GLOBAL_CONSTRUCTORS: return "global constructors keyed to ";
  case CK_GLOBAL_DESTRUCTORS: return "global destructors keyed to ";
  case CK_TRANSACTION_CLONE: return "transaction clone for ";
  case CK_NONTRANSACTION_CLONE: return "non-transaction clone for ";
  default: return nullptr;
  }
}

static void print_by_kind(printer_t *p, int options, comp_t *c)
{
  if (const char *prefix = prefix_text(c->kind)) {
    printer_append_text(p, prefix);
    print_component(p, options, c->u.pair.left);
    return;
  }
  switch (c->kind) {
  case CK_NAME:
    if (options & DEMANGLE_JAVA)
      print_java_identifier(p, c->u.name.text, c->u.name.length);
    else
      printer_append(p, c->u.name.text, c->u.name.length);
    return;
  case CK_STD_SUBSTITUTION:
    printer_append(p, c->u.name.text, c->u.name.length);
    return;
  case CK_ABI_TAG:
    print_component(p, options, c->u.pair.left);
    printer_append_text(p, "[abi:");
    print_component(p, options, c->u.pair.right);
    printer_append_char(p, ']');
    return;
  case CK_QUALIFIED:
  case CK_LOCAL: {
    print_component(p, options, c->u.pair.left);
    printer_append_text(p, (options & DEMANGLE_JAVA) ? "." : "::");
    comp_t *entity = c->u.pair.right;
    print_default_argument_prefix(p, &entity);
    print_component(p, options, entity);
    return;
  }
  case CK_FUNCTION_NAME:
    print_function_name(p, options, c);
    return;
  case CK_TEMPLATE:
    print_template_component(p, options, c);
    return;
  case CK_TEMPLATE_PARAM:
    print_template_param(p, options, c);
    return;
  case CK_FUNCTION_PARAM:
    if (c->u.number == 0) {
      printer_append_text(p, "this");
    } else {
      printer_append_text(p, "{parm#");
      printer_append_number(p, c->u.number);
      printer_append_char(p, '}');
    }
    return;
  case CK_CONSTRUCTOR:
    print_component(p, options, c->u.structor.name);
    return;
  case CK_DESTRUCTOR:
    printer_append_char(p, '~');
    print_component(p, options, c->u.structor.name);
    return;
  case CK_CONSTRUCTION_VTABLE:
    printer_append_text(p, "construction vtable for ");
    print_component(p, options, c->u.pair.left);
    printer_append_text(p, "-in-");
    print_component(p, options, c->u.pair.right);
    return;
  case CK_REFERENCE_TEMPORARY:
    printer_append_text(p, "reference temporary #");
    print_component(p, options, c->u.pair.right);
    printer_append_text(p, " for ");
    print_component(p, options, c->u.pair.left);
    return;
  case CK_LVALUE_REFERENCE:
  case CK_RVALUE_REFERENCE:
    print_reference(p, options, c);
    return;
  case CK_RESTRICT:
  case CK_VOLATILE:
  case CK_CONST:
    print_cv_qualifier(p, options, c);
    return;
  case CK_BUILTIN_TYPE:
    if (options & DEMANGLE_JAVA)
      printer_append(p, c->u.builtin->java_name, c->u.builtin->java_length);
    else
      printer_append(p, c->u.builtin->name, c->u.builtin->length);
    return;
  case CK_VENDOR_TYPE:
    print_component(p, options, c->u.pair.left);
    return;
  case CK_FUNCTION_TYPE:
    print_function_type_component(p, options, c);
    return;
  case CK_ARRAY_TYPE:
    print_array_component(p, options, c);
    return;
  case CK_FIXED_POINT:
    if (c->u.fixed.saturating)
      printer_append_text(p, "_Sat ");
    if (c->u.fixed.length->kind != CK_BUILTIN_TYPE ||
        c->u.fixed.length->u.builtin != &demangle_builtin_types['i' - 'a']) {
      print_component(p, options, c->u.fixed.length);
      printer_append_char(p, ' ');
    }
    printer_append_text(p, c->u.fixed.accum ? "_Accum" : "_Fract");
    return;
  case CK_ARGUMENT_LIST:
  case CK_TEMPLATE_ARGUMENTS:
    print_list(p, options, c);
    return;
  case CK_BRACED_INIT:
    if (c->u.pair.left)
      print_component(p, options, c->u.pair.left);
    printer_append_char(p, '{');
    print_component(p, options, c->u.pair.right);
    printer_append_char(p, '}');
    return;
  case CK_OPERATOR: {
    const operator_row *op = c->u.op;
    int length = op->length;
    printer_append_text(p, "operator");
    if (is_lower(op->name[0]))
      printer_append_char(p, ' ');
    if (op->name[length - 1] == ' ')
      --length;
    printer_append(p, op->name, length);
    return;
  }
  case CK_VENDOR_OPERATOR:
    printer_append_text(p, "operator ");
    print_component(p, options, c->u.structor.name);
    return;
  case CK_CONVERSION:
    printer_append_text(p, "operator ");
    print_conversion(p, options, c);
    return;
  case CK_CONCATENATION:
    print_component(p, options, c->u.pair.left);
    print_component(p, options, c->u.pair.right);
    return;
  case CK_CHARACTER:
    printer_append_char(p, static_cast<char>(c->u.character));
    return;
  case CK_NUMBER:
    printer_append_number(p, c->u.number);
    return;
  case CK_DECLTYPE:
    printer_append_text(p, "decltype (");
    print_component(p, options, c->u.pair.left);
    printer_append_char(p, ')');
    return;
  case CK_LAMBDA:
    printer_append_text(p, "{lambda(");
    // Generic lambdas' parameters are their invented template parameters.
    p->lambda_depth++;
    print_component(p, options, c->u.numbered.sub);
    p->lambda_depth--;
    printer_append_text(p, ")#");
    printer_append_number(p, c->u.numbered.number + 1);
    printer_append_char(p, '}');
    return;
  case CK_UNNAMED_TYPE:
    printer_append_text(p, "{unnamed type#");
    printer_append_number(p, c->u.number + 1);
    printer_append_char(p, '}');
    return;
  case CK_PACK_EXPANSION:
    print_pack_expansion(p, options, c);
    return;
  case CK_CLONE:
    print_component(p, options, c->u.pair.left);
    printer_append_text(p, " [clone ");
    print_component(p, options, c->u.pair.right);
    printer_append_char(p, ']');
    return;
  case CK_CAST: case CK_NULLARY: case CK_UNARY: case CK_BINARY: case CK_BINARY_OPERANDS:
  case CK_TERNARY: case CK_TERNARY_FIRST: case CK_TERNARY_REST: case CK_LITERAL:
  case CK_NEGATIVE_LITERAL: case CK_VENDOR_EXPRESSION: case CK_SUBOBJECT:
    print_expression_component(p, options, c);
    return;
  case CK_DEFAULT_ARGUMENT:
    printer_fail(p);  // only under a local name
    return;
  case CK_MEMBER_POINTER:
  case CK_VECTOR_TYPE:
    // The member or element type is the inner type; the left child is part
    // of the declarator.
    print_modifier_component(p, options, c, c->u.pair.right);
    return;
  default:
    print_modifier_component(p, options, c, nullptr);
    return;
  }
}

void print_component(printer_t *p, int options, comp_t *c)
{
  if (p->failed)
    return;
  if (!c || c->printing > 1 || p->recursion > demangle_print_depth_limit ||
      c->kind < 0 || c->kind > CK_LAST || !demangle_component_complete(c) ||
      ++p->steps > demangle_step_limit) {
    printer_fail(p);
    return;
  }
  c->printing++;
  p->recursion++;
  component_stack_entry self = {c, p->component_stack};
  p->component_stack = &self;
  print_by_kind(p, options, c);
  p->component_stack = self.parent;
  c->printing--;
  p->recursion--;
}

// Arrays sized by the pre-pass stay in this frame when small.
enum { local_scopes = 16, local_copies = 64 };

int demangle_print_tree(int options, comp_t *tree, demangle_sink sink, void *opaque)
{
  printer_t p;
  memset(&p, 0, sizeof p);
  p.sink = sink;
  p.opaque = opaque;
  p.pack_index = -1;
  count_templates_and_scopes(&p, tree, 0);
  size_t scopes = p.saved_scopes_capacity > 0 ? p.saved_scopes_capacity : 1;
  size_t copies = static_cast<size_t>(p.template_copies_capacity) * scopes;
  if (copies == 0)
    copies = 1;
  if (copies > (size_t(1) << 24)) {
    return 0;
  }
  saved_scope scope_space[local_scopes];
  print_template copy_space[local_copies];
  p.saved_scopes = scopes <= local_scopes
                       ? scope_space
                       : static_cast<saved_scope *>(malloc(scopes * sizeof(saved_scope)));
  p.template_copies = copies <= local_copies
                          ? copy_space
                          : static_cast<print_template *>(malloc(copies * sizeof(print_template)));
  p.saved_scopes_capacity = static_cast<int>(scopes);
  p.template_copies_capacity = static_cast<int>(copies);
  if (!p.saved_scopes || !p.template_copies)
    p.failed = 1;
  else
    print_component(&p, options, tree);
  printer_flush(&p);
  if (p.saved_scopes != scope_space)
    free(p.saved_scopes);
  if (p.template_copies != copy_space)
    free(p.template_copies);
  return !p.failed;
}
