// Grammar rules of the demangler: a recursive-descent parser over the mangled
// text that builds the component tree. Every rule returns null on failure.
#include "demangle/demangle-tree.h"

#include <climits>
#include <cstring>

namespace {

typedef demangle_parse_state state_t;
typedef demangle_component comp_t;

// Nesting of function types allowed without the no-limits option.
const int32_t function_nesting_limit = 2048;
// The recursive rules (types, expressions, template arguments, encodings,
// local names) nest at most this deep, whatever the options: each level adds a level to
// the tree, and the printer refuses trees nested deeper than half of this, so
// the limit only keeps the stack bounded.
const int32_t rule_depth_limit = 2048;

char peek(const state_t *st)
{
  return st->cursor < st->text_end ? *st->cursor : '\0';
}

char peek_next(const state_t *st)
{
  return st->cursor + 1 < st->text_end ? st->cursor[1] : '\0';
}

void advance(state_t *st, int n)
{
  st->cursor = st->cursor + n <= st->text_end ? st->cursor + n : st->text_end;
}

// Consumes `c` when it is next.
bool check(state_t *st, char c)
{
  if (peek(st) != c)
    return false;
  advance(st, 1);
  return true;
}

comp_t *make(state_t *st, component_kind kind, comp_t *left, comp_t *right)
{
  return demangle_make(st, kind, left, right);
}

comp_t *make_name(state_t *st, const char *text, int length)
{
  return demangle_make_name(st, text, length);
}

comp_t *make_leaf(state_t *st, component_kind kind)
{
  comp_t *c = demangle_new_component(st);
  if (c)
    c->kind = kind;
  return c;
}

comp_t *make_number(state_t *st, component_kind kind, int32_t number)
{
  comp_t *c = make_leaf(st, kind);
  if (c)
    c->u.number = number;
  return c;
}

comp_t *make_numbered(state_t *st, component_kind kind, comp_t *sub, int32_t number)
{
  comp_t *c = make_leaf(st, kind);
  if (c) {
    c->u.numbered.sub = sub;
    c->u.numbered.number = number;
  }
  return c;
}

comp_t *make_character(state_t *st, char ch)
{
  comp_t *c = make_leaf(st, CK_CHARACTER);
  if (c)
    c->u.character = static_cast<unsigned char>(ch);
  return c;
}

comp_t *make_builtin(state_t *st, const builtin_type_row *row)
{
  if (!row)
    return nullptr;
  comp_t *c = make_leaf(st, CK_BUILTIN_TYPE);
  if (c)
    c->u.builtin = row;
  st->length_estimate += row->length;
  return c;
}

bool add_substitution(state_t *st, comp_t *c)
{
  if (!c || st->substitutions_used >= st->substitutions_capacity)
    return false;
  st->substitutions[st->substitutions_used++] = c;
  return true;
}

// A number that must be there and must not be negative.
bool read_count(state_t *st, int32_t *value)
{
  if (!is_digit(peek(st)))
    return false;
  return demangle_read_number(st, value) && *value >= 0;
}

// "_" is 0, n "_" is n + 1.
bool compact_number(state_t *st, int32_t *value)
{
  if (check(st, '_')) {
    *value = 0;
    return true;
  }
  if (peek(st) == 'n' || !read_count(st, value) || *value == INT32_MAX || !check(st, '_'))
    return false;
  ++*value;
  return true;
}

comp_t *type(state_t *st);
comp_t *name(state_t *st);
comp_t *encoding(state_t *st, bool top_level);
comp_t *expression(state_t *st);
comp_t *template_args(state_t *st);
comp_t *template_args_body(state_t *st);
comp_t *template_arg(state_t *st);
comp_t *unqualified_name(state_t *st);
comp_t *operator_name(state_t *st);
comp_t *source_name(state_t *st);
comp_t *substitution(state_t *st, bool prefix);
comp_t *template_param(state_t *st);
comp_t *expr_primary(state_t *st);

comp_t *identifier(state_t *st, int32_t length)
{
  const char *text = st->cursor;
  if (st->text_end - text < length)
    return nullptr;
  advance(st, length);
  if ((st->options & DEMANGLE_JAVA) && peek(st) == '$')
    advance(st, 1);
  // Anonymous namespaces get a generated name of this form.
  if (length >= 10 && memcmp(text, "_GLOBAL_", 8) == 0 &&
      (text[8] == '.' || text[8] == '_' || text[8] == '$') && text[9] == 'N') {
    static const char anonymous[] = "(anonymous namespace)";
    st->length_estimate -= length;
    st->length_estimate += sizeof anonymous - 1;
    return make_name(st, anonymous, sizeof anonymous - 1);
  }
  return make_name(st, text, length);
}

comp_t *source_name(state_t *st)
{
  int32_t length;
  if (!read_count(st, &length) || length <= 0)
    return nullptr;
  comp_t *c = identifier(st, length);
  st->last_name = c;
  return c;
}

// "_" digit, or "__" number "_"; read and ignored.
bool discriminator(state_t *st)
{
  if (!check(st, '_'))
    return true;
  bool two = check(st, '_');
  int32_t value = 0;
  if (peek(st) == 'n' || !demangle_read_number(st, &value))
    return false;
  if (two && value >= 10)
    return check(st, '_');
  return true;
}

comp_t *abi_tags(state_t *st, comp_t *c)
{
  comp_t *hold_last_name = st->last_name;
  while (c && check(st, 'B'))
    c = make(st, CK_ABI_TAG, c, source_name(st));
  st->last_name = hold_last_name;
  return c;
}

// <call-offset>: "h" number "_" or "v" number "_" number "_".
bool call_offset(state_t *st, char c)
{
  if (c == '\0') {
    c = peek(st);
    advance(st, 1);
  }
  int32_t value;
  if (c == 'h') {
    if (!demangle_read_number(st, &value))
      return false;
  } else if (c == 'v') {
    if (!demangle_read_number(st, &value) || !check(st, '_') ||
        !demangle_read_number(st, &value))
      return false;
  } else {
    return false;
  }
  return check(st, '_');
}

// Java resource names: "Gr" length "_" text, with "$$", "$S" and "$_" escapes.
comp_t *java_resource(state_t *st)
{
  int32_t length;
  if (!read_count(st, &length) || length <= 1 || !check(st, '_'))
    return nullptr;
  length--;
  if (st->text_end - st->cursor < length)
    return nullptr;
  const char *p = st->cursor, *end = p + length;
  comp_t *result = nullptr;
  while (p < end) {
    comp_t *piece;
    if (*p == '$') {
      if (p + 1 >= end)
        return nullptr;
      char ch = p[1] == '$' ? '$' : p[1] == 'S' ? '/' : p[1] == '_' ? '.' : '\0';
      if (!ch)
        return nullptr;
      piece = make_character(st, ch);
      p += 2;
    } else {
      const char *q = p;
      while (q < end && *q != '$')
        q++;
      piece = make_name(st, p, static_cast<int>(q - p));
      p = q;
    }
    if (!piece)
      return nullptr;
    result = result ? make(st, CK_CONCATENATION, result, piece) : piece;
    if (!result)
      return nullptr;
  }
  advance(st, length);
  return make(st, CK_JAVA_RESOURCE, result, nullptr);
}

comp_t *special_name(state_t *st)
{
  st->length_estimate += 20;
  char first = peek(st), second = peek_next(st);
  advance(st, 2);
  if (first == 'T') {
    switch (second) {
    case 'V':
      return make(st, CK_VTABLE, type(st), nullptr);
    case 'T':
      return make(st, CK_VTT, type(st), nullptr);
    case 'I':
      return make(st, CK_TYPEINFO, type(st), nullptr);
    case 'S':
      return make(st, CK_TYPEINFO_NAME, type(st), nullptr);
    case 'F':
      return make(st, CK_TYPEINFO_FUNCTION, type(st), nullptr);
    case 'J':
      return make(st, CK_JAVA_CLASS, type(st), nullptr);
    case 'H':
      return make(st, CK_TLS_INIT, name(st), nullptr);
    case 'W':
      return make(st, CK_TLS_WRAPPER, name(st), nullptr);
    case 'A':
      return make(st, CK_TEMPLATE_PARAM_OBJECT, template_arg(st), nullptr);
    case 'h':
      if (!call_offset(st, 'h'))
        return nullptr;
      return make(st, CK_THUNK, encoding(st, false), nullptr);
    case 'v':
      if (!call_offset(st, 'v'))
        return nullptr;
      return make(st, CK_VIRTUAL_THUNK, encoding(st, false), nullptr);
    case 'c':
      if (!call_offset(st, '\0') || !call_offset(st, '\0'))
        return nullptr;
      return make(st, CK_COVARIANT_THUNK, encoding(st, false), nullptr);
    case 'C': {
      comp_t *derived = type(st);
      int32_t offset;
      if (!derived || !demangle_read_number(st, &offset) || offset < 0 || !check(st, '_'))
        return nullptr;
      comp_t *base = type(st);
      return make(st, CK_CONSTRUCTION_VTABLE, base, derived);
    }
    default:
      return nullptr;
    }
  }
  if (first != 'G')
    return nullptr;
  switch (second) {
  case 'V':
    return make(st, CK_GUARD_VARIABLE, name(st), nullptr);
  case 'R': {
    comp_t *entity = name(st);
    int32_t number = 0;
    if (!entity || !demangle_read_number(st, &number))
      return nullptr;
    // Current compilers close the temporary's number with "_".
    check(st, '_');
    return make(st, CK_REFERENCE_TEMPORARY, entity, make_number(st, CK_NUMBER, number));
  }
  case 'A':
    return make(st, CK_HIDDEN_ALIAS, encoding(st, false), nullptr);
  case 'T': {
    char which = peek(st);
    advance(st, 1);
    if (which == 'n')
      return make(st, CK_NONTRANSACTION_CLONE, encoding(st, false), nullptr);
    if (which == 't')
      return make(st, CK_TRANSACTION_CLONE, encoding(st, false), nullptr);
    return nullptr;
  }
  case 'r':
    return java_resource(st);
  default:
    return nullptr;
  }
}

comp_t *ctor_dtor_name(state_t *st)
{
  comp_t *last = st->last_name;
  if (last && (last->kind == CK_NAME || last->kind == CK_STD_SUBSTITUTION))
    st->length_estimate += last->u.name.length;
  if (check(st, 'C')) {
    bool inheriting = check(st, 'I');
    char digit = peek(st);
    if (digit < '1' || digit > '5')
      return nullptr;
    advance(st, 1);
    if (inheriting && !type(st))
      return nullptr;
    comp_t *c = demangle_new_component(st);
    return component_fill_ctor(c, digit - '0', last) ? c : nullptr;
  }
  if (check(st, 'D')) {
    int kind;
    switch (peek(st)) {
    case '0': kind = 1; break;
    case '1': kind = 2; break;
    case '2': kind = 3; break;
    case '4': kind = 4; break;
    case '5': kind = 5; break;
    default: return nullptr;
    }
    advance(st, 1);
    comp_t *c = demangle_new_component(st);
    return component_fill_dtor(c, kind, last) ? c : nullptr;
  }
  return nullptr;
}

// Parameter types up to "E" or the end; a lone "v" becomes an empty list.
comp_t *parameter_list(state_t *st)
{
  comp_t *list = nullptr;
  comp_t **tail = &list;
  for (;;) {
    char c = peek(st);
    if (c == '\0' || c == 'E' || c == '.')
      break;
    // A ref-qualifier closes a function type.
    if ((c == 'R' || c == 'O') && peek_next(st) == 'E')
      break;
    comp_t *t = type(st);
    if (!t)
      return nullptr;
    *tail = make(st, CK_ARGUMENT_LIST, t, nullptr);
    if (!*tail)
      return nullptr;
    tail = &(*tail)->u.pair.right;
  }
  if (!list)
    return nullptr;
  comp_t *first = list->u.pair.left;
  if (!list->u.pair.right && first->kind == CK_BUILTIN_TYPE &&
      first->u.builtin->style == LIT_VOID) {
    st->length_estimate -= first->u.builtin->length;
    list->u.pair.left = nullptr;
  }
  return list;
}

comp_t *bare_function_type(state_t *st, bool has_return_type)
{
  // "J" announces a return type where the name would not imply one (Java).
  if (check(st, 'J'))
    has_return_type = true;
  comp_t *return_type = nullptr;
  if (has_return_type) {
    return_type = type(st);
    if (!return_type)
      return nullptr;
  }
  comp_t *params = parameter_list(st);
  if (!params)
    return nullptr;
  return make(st, CK_FUNCTION_TYPE, return_type, params);
}

comp_t *function_type(state_t *st)
{
  if (!(st->options & DEMANGLE_NO_LIMITS)) {
    if (st->nesting_depth > function_nesting_limit)
      return nullptr;
    st->nesting_depth++;
  }
  comp_t *result = nullptr;
  if (check(st, 'F')) {
    check(st, 'Y');  // extern "C" is not printed
    result = bare_function_type(st, true);
    if (result) {
      if (peek(st) == 'R' || peek(st) == 'O') {
        component_kind kind = peek(st) == 'R' ? CK_LVALUE_METHOD : CK_RVALUE_METHOD;
        advance(st, 1);
        result = make(st, kind, result, nullptr);
      }
      if (!check(st, 'E'))
        result = nullptr;
    }
  }
  if (!(st->options & DEMANGLE_NO_LIMITS))
    st->nesting_depth--;
  return result;
}

bool next_is_qualifier(const state_t *st)
{
  char c = peek(st);
  if (c == 'r' || c == 'V' || c == 'K')
    return true;
  if (c == 'D') {
    char n = peek_next(st);
    return n == 'x' || n == 'o' || n == 'O' || n == 'w';
  }
  return false;
}

component_kind method_form(component_kind kind)
{
  switch (kind) {
  case CK_RESTRICT: return CK_RESTRICT_METHOD;
  case CK_VOLATILE: return CK_VOLATILE_METHOD;
  case CK_CONST: return CK_CONST_METHOD;
  default: return kind;
  }
}

// Reads qualifiers into a chain hanging from *slot; returns the place for the
// qualified thing, or null on failure.
comp_t **cv_qualifiers(state_t *st, comp_t **slot, bool member_function)
{
  comp_t **start = slot;
  while (next_is_qualifier(st)) {
    char c = peek(st);
    advance(st, 1);
    component_kind kind;
    comp_t *right = nullptr;
    if (c == 'r') {
      kind = member_function ? CK_RESTRICT_METHOD : CK_RESTRICT;
      st->length_estimate += 10;
    } else if (c == 'V') {
      kind = member_function ? CK_VOLATILE_METHOD : CK_VOLATILE;
      st->length_estimate += 9;
    } else if (c == 'K') {
      kind = member_function ? CK_CONST_METHOD : CK_CONST;
      st->length_estimate += 6;
    } else {
      char d = peek(st);
      advance(st, 1);
      if (d == 'x') {
        kind = CK_TRANSACTION_SAFE;
        st->length_estimate += 17;
      } else if (d == 'o' || d == 'O') {
        kind = CK_NOEXCEPT;
        st->length_estimate += 9;
        if (d == 'O') {
          right = expression(st);
          if (!right || !check(st, 'E'))
            return nullptr;
        }
      } else {
        kind = CK_THROW_SPEC;
        st->length_estimate += 6;
        right = parameter_list(st);
        if (!right || !check(st, 'E'))
          return nullptr;
      }
    }
    *slot = make(st, kind, nullptr, right);
    if (!*slot)
      return nullptr;
    slot = &(*slot)->u.pair.left;
  }
  if (!member_function && peek(st) == 'F') {
    // Qualifiers before a function type apply to its implicit object.
    for (comp_t **p = start; p != slot; p = &(*p)->u.pair.left)
      (*p)->kind = method_form((*p)->kind);
  }
  return slot;
}

comp_t *template_param(state_t *st)
{
  if (!check(st, 'T'))
    return nullptr;
  int32_t number;
  if (!compact_number(st, &number))
    return nullptr;
  comp_t *c = make_number(st, CK_TEMPLATE_PARAM, number);
  if (c)
    c->u.param.lambda_auto = st->in_lambda_signature > 0;
  return c;
}

// Template arguments after the opening "I" or "J", up to "E".
comp_t *template_args_body(state_t *st)
{
  // Names inside the arguments must not become the name of a following
  // constructor or destructor.
  comp_t *hold_last_name = st->last_name;
  if (check(st, 'E'))
    return make(st, CK_TEMPLATE_ARGUMENTS, nullptr, nullptr);
  comp_t *list = nullptr;
  comp_t **tail = &list;
  do {
    comp_t *arg = template_arg(st);
    if (!arg)
      return nullptr;
    *tail = make(st, CK_TEMPLATE_ARGUMENTS, arg, nullptr);
    if (!*tail)
      return nullptr;
    tail = &(*tail)->u.pair.right;
  } while (!check(st, 'E'));
  st->last_name = hold_last_name;
  return list;
}

comp_t *template_args(state_t *st)
{
  if (peek(st) != 'I' && peek(st) != 'J')
    return nullptr;
  advance(st, 1);
  return template_args_body(st);
}

comp_t *template_arg_rule(state_t *st);

comp_t *template_arg(state_t *st)
{
  if (st->rule_depth >= rule_depth_limit)
    return nullptr;
  st->rule_depth++;
  comp_t *result = template_arg_rule(st);
  st->rule_depth--;
  return result;
}

comp_t *template_arg_rule(state_t *st)
{
  switch (peek(st)) {
  case 'X': {
    advance(st, 1);
    int32_t was_expression = st->in_expression;
    st->in_expression = 1;
    comp_t *c = expression(st);
    st->in_expression = was_expression;
    return c && check(st, 'E') ? c : nullptr;
  }
  case 'L':
    return expr_primary(st);
  case 'I':
  case 'J':
    return template_args(st);
  default:
    return type(st);
  }
}

comp_t *substitution(state_t *st, bool prefix)
{
  if (!check(st, 'S'))
    return nullptr;
  char c = peek(st);
  advance(st, 1);
  if (c == '_' || is_digit(c) || is_upper(c)) {
    uint32_t id = 0;
    if (c != '_') {
      for (;;) {
        uint32_t digit;
        if (is_digit(c))
          digit = c - '0';
        else if (is_upper(c))
          digit = c - 'A' + 10;
        else
          return nullptr;
        if (id > (static_cast<uint32_t>(INT32_MAX) - digit) / 36)
          return nullptr;
        id = id * 36 + digit;
        c = peek(st);
        advance(st, 1);
        if (c == '_')
          break;
      }
      ++id;
    }
    if (id >= static_cast<uint32_t>(st->substitutions_used))
      return nullptr;
    return st->substitutions[id];
  }
  bool verbose = st->options & DEMANGLE_VERBOSE;
  if (!verbose && prefix) {
    // A constructor or destructor follows: the full name reads better.
    char next = peek(st);
    if (next == 'C' || next == 'D')
      verbose = true;
  }
  for (const std_substitution_row &row : demangle_std_substitutions) {
    if (row.code != c)
      continue;
    if (row.structor_name) {
      comp_t *n = make_name(st, row.structor_name, row.structor_length);
      if (!n)
        return nullptr;
      st->last_name = n;
    }
    comp_t *sub = make_leaf(st, CK_STD_SUBSTITUTION);
    if (!sub)
      return nullptr;
    sub->u.name.text = verbose ? row.full_form : row.short_form;
    sub->u.name.length = verbose ? row.full_length : row.short_length;
    st->length_estimate += sub->u.name.length;
    if (peek(st) == 'B') {
      sub = abi_tags(st, sub);
      if (!add_substitution(st, sub))
        return nullptr;
    }
    return sub;
  }
  return nullptr;
}

comp_t *operator_name(state_t *st)
{
  char c1 = peek(st), c2 = peek_next(st);
  if (c1 == 'v' && is_digit(c2)) {
    advance(st, 2);
    comp_t *n = source_name(st);
    comp_t *c = demangle_new_component(st);
    return component_fill_vendor_operator(c, c2 - '0', n) ? c : nullptr;
  }
  if (c1 == 'c' && c2 == 'v') {
    advance(st, 2);
    int32_t was_conversion = st->in_conversion;
    st->in_conversion = !st->in_expression;
    comp_t *t = type(st);
    comp_t *result = make(st, st->in_conversion ? CK_CONVERSION : CK_CAST, t, nullptr);
    st->in_conversion = was_conversion;
    return result;
  }
  const operator_row *row = demangle_find_operator(c1, c2);
  if (!row)
    return nullptr;
  advance(st, 2);
  comp_t *c = make_leaf(st, CK_OPERATOR);
  if (c)
    c->u.op = row;
  return c;
}

comp_t *lambda(state_t *st)
{
  advance(st, 2);  // "Ul"
  // A generic lambda's parameters name its own invented template parameters,
  // wherever a substitution repeats them.
  st->in_lambda_signature++;
  comp_t *params = parameter_list(st);
  st->in_lambda_signature--;
  int32_t number;
  if (!params || !check(st, 'E') || !compact_number(st, &number))
    return nullptr;
  return make_numbered(st, CK_LAMBDA, params, number);
}

comp_t *unnamed_type(state_t *st)
{
  advance(st, 2);  // "Ut"
  int32_t number;
  if (!compact_number(st, &number))
    return nullptr;
  return make_number(st, CK_UNNAMED_TYPE, number);
}

// Structured binding: "DC" source-name+ "E", printed "[a, b]".
comp_t *structured_binding(state_t *st)
{
  advance(st, 2);
  comp_t *list = nullptr;
  comp_t **tail = &list;
  do {
    comp_t *n = source_name(st);
    if (!n)
      return nullptr;
    *tail = make(st, CK_ARGUMENT_LIST, n, nullptr);
    if (!*tail)
      return nullptr;
    tail = &(*tail)->u.pair.right;
  } while (!check(st, 'E'));
  comp_t *close = make(st, CK_CONCATENATION, list, make_character(st, ']'));
  return make(st, CK_CONCATENATION, make_character(st, '['), close);
}

comp_t *unqualified_name(state_t *st)
{
  char c = peek(st);
  comp_t *result;
  if (is_digit(c)) {
    result = source_name(st);
  } else if (is_lower(c)) {
    result = operator_name(st);
    if (result && result->kind == CK_OPERATOR) {
      st->length_estimate += result->u.op->length + 9;
      if (strcmp(result->u.op->code, "li") == 0)
        result = make(st, CK_UNARY, result, source_name(st));
    }
  } else if (c == 'D' && peek_next(st) == 'C') {
    result = structured_binding(st);
  } else if (c == 'C' || c == 'D') {
    result = ctor_dtor_name(st);
  } else if (c == 'L') {
    // Internal linkage: the name is the same, a discriminator may follow.
    advance(st, 1);
    result = source_name(st);
    if (result && !discriminator(st))
      return nullptr;
  } else if (c == 'U') {
    char n = peek_next(st);
    if (n == 't')
      result = unnamed_type(st);
    else if (n == 'l')
      result = lambda(st);
    else
      return nullptr;
  } else {
    return nullptr;
  }
  if (result && peek(st) == 'B')
    result = abi_tags(st, result);
  return result;
}

comp_t *decltype_type(state_t *st)
{
  advance(st, 2);  // "DT" or "Dt"
  int32_t was_expression = st->in_expression;
  st->in_expression = 1;
  comp_t *e = expression(st);
  st->in_expression = was_expression;
  if (!e || !check(st, 'E'))
    return nullptr;
  return make(st, CK_DECLTYPE, e, nullptr);
}

comp_t *prefix(state_t *st)
{
  comp_t *result = nullptr;
  for (;;) {
    char c = peek(st);
    if (c == '\0')
      return nullptr;
    if (c == 'E')
      return result;
    component_kind combine = CK_QUALIFIED;
    comp_t *piece;
    if (c == 'D' && (peek_next(st) == 'T' || peek_next(st) == 't')) {
      piece = decltype_type(st);
    } else if (is_digit(c) || is_lower(c) || c == 'C' || c == 'D' || c == 'U' || c == 'L') {
      piece = unqualified_name(st);
    } else if (c == 'S') {
      piece = substitution(st, true);
    } else if (c == 'I') {
      if (!result)
        return nullptr;
      combine = CK_TEMPLATE;
      piece = template_args(st);
    } else if (c == 'T') {
      piece = template_param(st);
    } else if (c == 'M') {
      // The closure of a data member's initializer: the scope is the member.
      if (!result)
        return nullptr;
      advance(st, 1);
      continue;
    } else {
      return nullptr;
    }
    if (!piece)
      return nullptr;
    result = result ? make(st, combine, result, piece) : piece;
    if (!result)
      return nullptr;
    if (c != 'S' && peek(st) != 'E' && !add_substitution(st, result))
      return nullptr;
  }
}

comp_t *nested_name(state_t *st)
{
  if (!check(st, 'N'))
    return nullptr;
  comp_t *result = nullptr;
  comp_t **slot = cv_qualifiers(st, &result, true);
  if (!slot)
    return nullptr;
  comp_t *ref = nullptr;
  if (peek(st) == 'R' || peek(st) == 'O') {
    ref = make(st, peek(st) == 'R' ? CK_LVALUE_METHOD : CK_RVALUE_METHOD, nullptr, nullptr);
    advance(st, 1);
    if (!ref)
      return nullptr;
  }
  *slot = prefix(st);
  if (!*slot || !check(st, 'E'))
    return nullptr;
  if (ref) {
    ref->u.pair.left = result;
    result = ref;
  }
  return result;
}

comp_t *local_name_rule(state_t *st);

comp_t *local_name(state_t *st)
{
  if (st->rule_depth >= rule_depth_limit)
    return nullptr;
  st->rule_depth++;
  comp_t *result = local_name_rule(st);
  st->rule_depth--;
  return result;
}

comp_t *local_name_rule(state_t *st)
{
  if (!check(st, 'Z'))
    return nullptr;
  comp_t *function = encoding(st, false);
  if (!function || !check(st, 'E'))
    return nullptr;
  comp_t *entity;
  if (check(st, 's')) {
    if (!discriminator(st))
      return nullptr;
    static const char literal[] = "string literal";
    entity = make_name(st, literal, sizeof literal - 1);
  } else {
    int32_t number = -1;
    if (check(st, 'd') && !compact_number(st, &number))
      return nullptr;
    entity = name(st);
    if (entity && entity->kind != CK_LAMBDA && entity->kind != CK_UNNAMED_TYPE &&
        !discriminator(st))
      return nullptr;
    if (entity && number >= 0)
      entity = make_numbered(st, CK_DEFAULT_ARGUMENT, entity, number);
  }
  // The enclosing function's return type is not part of the scope's name.
  if (function->kind == CK_FUNCTION_NAME && function->u.pair.right->kind == CK_FUNCTION_TYPE)
    function->u.pair.right->u.pair.left = nullptr;
  return make(st, CK_LOCAL, function, entity);
}

comp_t *name(state_t *st)
{
  char c = peek(st);
  comp_t *result;
  bool is_substitution = false;
  switch (c) {
  case 'N':
    return nested_name(st);
  case 'Z':
    return local_name(st);
  case 'U':
    return unqualified_name(st);
  case 'S':
    if (peek_next(st) != 't') {
      result = substitution(st, false);
      is_substitution = true;
    } else {
      advance(st, 2);
      static const char std_name[] = "std";
      comp_t *scope = make_name(st, std_name, 3);
      result = make(st, CK_QUALIFIED, scope, unqualified_name(st));
      st->length_estimate += 3;
    }
    break;
  default:
    result = unqualified_name(st);
    break;
  }
  if (result && peek(st) == 'I') {
    if (!is_substitution && !add_substitution(st, result))
      return nullptr;
    result = make(st, CK_TEMPLATE, result, template_args(st));
  }
  return result;
}

comp_t *array_type(state_t *st)
{
  if (!check(st, 'A'))
    return nullptr;
  comp_t *dimension = nullptr;
  char c = peek(st);
  if (c == '_') {
    dimension = nullptr;
  } else if (is_digit(c)) {
    const char *start = st->cursor;
    while (is_digit(peek(st)))
      advance(st, 1);
    dimension = make_name(st, start, static_cast<int>(st->cursor - start));
    if (!dimension)
      return nullptr;
  } else {
    dimension = expression(st);
    if (!dimension)
      return nullptr;
  }
  if (!check(st, '_'))
    return nullptr;
  return make(st, CK_ARRAY_TYPE, dimension, type(st));
}

comp_t *vector_type(state_t *st)
{
  comp_t *dimension;
  if (check(st, '_')) {
    dimension = expression(st);
  } else {
    const char *start = st->cursor;
    int32_t n;
    if (!read_count(st, &n))
      return nullptr;
    dimension = make_name(st, start, static_cast<int>(st->cursor - start));
  }
  if (!dimension || !check(st, '_'))
    return nullptr;
  return make(st, CK_VECTOR_TYPE, dimension, type(st));
}

// "DF": fixed-point types, or the ABI's _FloatN ("DF" n "_") and _FloatNx
// ("DF" n "x"), which no fixed-point type can look like.
comp_t *fixed_point_type(state_t *st)
{
  const char *digits = st->cursor;
  bool accum = is_digit(peek(st));
  int32_t bits;
  if (accum && !demangle_read_number(st, &bits))
    return nullptr;
  if (accum && (peek(st) == '_' || (peek(st) == 'x' && peek_next(st) != 's'))) {
    static const char float_prefix[] = "_Float";
    comp_t *prefix_name = make_name(st, float_prefix, sizeof float_prefix - 1);
    int length = static_cast<int>(st->cursor - digits) + (peek(st) == 'x' ? 1 : 0);
    advance(st, 1);
    return make(st, CK_CONCATENATION, prefix_name, make_name(st, digits, length));
  }
  comp_t *length_type = type(st);
  if (!length_type || !demangle_read_number(st, &bits))
    return nullptr;
  comp_t *c = make_leaf(st, CK_FIXED_POINT);
  if (!c)
    return nullptr;
  c->u.fixed.length = length_type;
  c->u.fixed.accum = accum;
  c->u.fixed.saturating = peek(st) == 's';
  if (peek(st) == '\0')
    return nullptr;
  advance(st, 1);
  return c;
}

comp_t *type_rule(state_t *st);

comp_t *type(state_t *st)
{
  if (--st->work_left < 0 || st->rule_depth >= rule_depth_limit)
    return nullptr;
  st->rule_depth++;
  comp_t *result = type_rule(st);
  st->rule_depth--;
  return result;
}

comp_t *type_rule(state_t *st)
{
  if (next_is_qualifier(st)) {
    comp_t *result = nullptr;
    comp_t **slot = cv_qualifiers(st, &result, false);
    if (!slot)
      return nullptr;
    // Qualifiers before a function type do not make the bare function type
    // a substitution candidate.
    *slot = peek(st) == 'F' ? function_type(st) : type(st);
    if (!*slot)
      return nullptr;
    if ((*slot)->kind == CK_LVALUE_METHOD || (*slot)->kind == CK_RVALUE_METHOD) {
      // The ref-qualifier prints after the cv-qualifiers.
      comp_t *fn = (*slot)->u.pair.left;
      (*slot)->u.pair.left = result;
      result = *slot;
      *slot = fn;
    }
    return add_substitution(st, result) ? result : nullptr;
  }

  bool substitutable = true;
  comp_t *result = nullptr;
  char c = peek(st);
  switch (c) {
  case 'a': case 'b': case 'c': case 'd': case 'e': case 'f': case 'g': case 'h':
  case 'i': case 'j': case 'l': case 'm': case 'n': case 'o': case 's': case 't':
  case 'v': case 'w': case 'x': case 'y': case 'z':
    result = make_builtin(st, demangle_builtin_row(c, false));
    advance(st, 1);
    substitutable = false;
    break;
  case 'u':
    advance(st, 1);
    result = source_name(st);
    if (result && peek(st) == 'I')
      result = make(st, CK_TEMPLATE, result, template_args(st));
    result = make(st, CK_VENDOR_TYPE, result, nullptr);
    break;
  case 'F':
    result = function_type(st);
    break;
  case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7':
  case '8': case '9': case 'N': case 'Z':
    result = name(st);
    break;
  case 'A':
    result = array_type(st);
    break;
  case 'M': {
    advance(st, 1);
    comp_t *cls = type(st);
    if (!cls)
      return nullptr;
    result = make(st, CK_MEMBER_POINTER, cls, type(st));
    break;
  }
  case 'T':
    result = template_param(st);
    if (result && peek(st) == 'I') {
      if (!st->in_conversion) {
        if (!add_substitution(st, result))
          return nullptr;
        result = make(st, CK_TEMPLATE, result, template_args(st));
      } else {
        // In a conversion operator's type the arguments may belong to the
        // operator itself; they belong to the parameter only when the
        // operator's own arguments follow them.
        const char *cursor = st->cursor;
        int32_t used = st->components_used, subs = st->substitutions_used;
        int32_t estimate = st->length_estimate;
        comp_t *args = template_args(st);
        if (args && peek(st) == 'I') {
          if (!add_substitution(st, result))
            return nullptr;
          result = make(st, CK_TEMPLATE, result, args);
        } else {
          st->cursor = cursor;
          st->components_used = used;
          st->substitutions_used = subs;
          st->length_estimate = estimate;
        }
      }
    }
    break;
  case 'S': {
    char n = peek_next(st);
    if (is_digit(n) || n == '_' || is_upper(n)) {
      result = substitution(st, false);
      if (result && peek(st) == 'I')
        result = make(st, CK_TEMPLATE, result, template_args(st));
      else
        substitutable = false;
    } else {
      result = name(st);
      // A bare standard abbreviation is not a new candidate.
      if (result && result->kind == CK_STD_SUBSTITUTION)
        substitutable = false;
    }
    break;
  }
  case 'O':
    advance(st, 1);
    result = make(st, CK_RVALUE_REFERENCE, type(st), nullptr);
    break;
  case 'P':
    advance(st, 1);
    result = make(st, CK_POINTER, type(st), nullptr);
    break;
  case 'R':
    advance(st, 1);
    result = make(st, CK_LVALUE_REFERENCE, type(st), nullptr);
    break;
  case 'C':
    advance(st, 1);
    result = make(st, CK_COMPLEX, type(st), nullptr);
    break;
  case 'G':
    advance(st, 1);
    result = make(st, CK_IMAGINARY, type(st), nullptr);
    break;
  case 'U': {
    advance(st, 1);
    comp_t *qualifier = source_name(st);
    if (qualifier && peek(st) == 'I')
      qualifier = make(st, CK_TEMPLATE, qualifier, template_args(st));
    if (!qualifier)
      return nullptr;
    result = make(st, CK_VENDOR_QUALIFIER, type(st), qualifier);
    break;
  }
  case 'D': {
    substitutable = false;
    char d = peek_next(st);
    switch (d) {
    case 'T':
    case 't':
      result = decltype_type(st);
      substitutable = true;
      break;
    case 'p':
      advance(st, 2);
      result = make(st, CK_PACK_EXPANSION, type(st), nullptr);
      substitutable = true;
      break;
    case 'a':
    case 'c': {
      advance(st, 2);
      static const char auto_name[] = "auto";
      static const char decltype_auto[] = "decltype(auto)";
      result = d == 'a' ? make_name(st, auto_name, sizeof auto_name - 1)
                        : make_name(st, decltype_auto, sizeof decltype_auto - 1);
      break;
    }
    case 'F':
      advance(st, 2);
      result = fixed_point_type(st);
      break;
    case 'v':
      advance(st, 2);
      result = vector_type(st);
      substitutable = true;
      break;
    default:
      result = make_builtin(st, demangle_builtin_row(d, true));
      advance(st, 2);
      break;
    }
    break;
  }
  default:
    return nullptr;
  }
  if (substitutable && !add_substitution(st, result))
    return nullptr;
  return result;
}

// Expressions up to `terminator`; an empty list is an empty argument list.
comp_t *expression_list(state_t *st, char terminator)
{
  if (check(st, terminator))
    return make(st, CK_ARGUMENT_LIST, nullptr, nullptr);
  comp_t *list = nullptr;
  comp_t **tail = &list;
  do {
    comp_t *e = expression(st);
    if (!e)
      return nullptr;
    *tail = make(st, CK_ARGUMENT_LIST, e, nullptr);
    if (!*tail)
      return nullptr;
    tail = &(*tail)->u.pair.right;
  } while (!check(st, terminator));
  return list;
}

comp_t *expr_primary(state_t *st)
{
  if (!check(st, 'L'))
    return nullptr;
  comp_t *result;
  if (peek(st) == '_' || peek(st) == 'Z') {
    result = demangle_parse_mangled_name(st, false);
  } else {
    comp_t *t = type(st);
    if (!t)
      return nullptr;
    if (t->kind == CK_BUILTIN_TYPE && t->u.builtin->style != LIT_DEFAULT)
      st->length_estimate -= t->u.builtin->length;
    if (t->kind == CK_BUILTIN_TYPE && t->u.builtin == &demangle_builtin_types[BUILTIN_NULLPTR] &&
        check(st, 'E'))
      return t;
    component_kind kind = CK_LITERAL;
    if (check(st, 'n'))
      kind = CK_NEGATIVE_LITERAL;
    const char *start = st->cursor;
    while (peek(st) != 'E') {
      if (peek(st) == '\0')
        return nullptr;
      advance(st, 1);
    }
    result = make(st, kind, t, make_name(st, start, static_cast<int>(st->cursor - start)));
  }
  return result && check(st, 'E') ? result : nullptr;
}

// <simple-id>: source-name [template-args]
comp_t *simple_id(state_t *st)
{
  comp_t *n = source_name(st);
  if (n && peek(st) == 'I')
    n = make(st, CK_TEMPLATE, n, template_args(st));
  return n;
}

// <base-unresolved-name>: simple-id, "on" operator [args], "dn" destructor.
comp_t *base_unresolved_name(state_t *st)
{
  if (peek(st) == 'o' && peek_next(st) == 'n') {
    advance(st, 2);
    comp_t *op = operator_name(st);
    if (op && peek(st) == 'I')
      op = make(st, CK_TEMPLATE, op, template_args(st));
    return op;
  }
  if (peek(st) == 'd' && peek_next(st) == 'n') {
    advance(st, 2);
    comp_t *n = is_digit(peek(st)) ? simple_id(st) : type(st);
    comp_t *c = demangle_new_component(st);
    return component_fill_dtor(c, 2, n) ? c : nullptr;
  }
  if (is_digit(peek(st)))
    return simple_id(st);
  // Older manglings put operator names here without "on".
  comp_t *op = unqualified_name(st);
  if (op && peek(st) == 'I')
    op = make(st, CK_TEMPLATE, op, template_args(st));
  return op;
}

// After "sr": the qualified forms of an unresolved name.
comp_t *unresolved_name(state_t *st)
{
  comp_t *scope;
  if (check(st, 'N')) {
    scope = type(st);
    while (scope && !check(st, 'E'))
      scope = make(st, CK_QUALIFIED, scope, simple_id(st));
  } else {
    char c = peek(st);
    bool name_start = is_digit(c) || is_lower(c) || c == 'C' || c == 'L' || c == 'U';
    if (name_start && st->unresolved_state != 0) {
      // Qualifier levels up to "E"; the retry reads the older form below.
      st->unresolved_state = -1;
      scope = simple_id(st);
      while (scope && !check(st, 'E'))
        scope = make(st, CK_QUALIFIED, scope, simple_id(st));
    } else {
      scope = type(st);
    }
  }
  if (!scope)
    return nullptr;
  return make(st, CK_QUALIFIED, scope, base_unresolved_name(st));
}

comp_t *function_param(state_t *st, bool levelled)
{
  advance(st, 2);
  if (levelled) {
    int32_t level;
    if (!read_count(st, &level) || !check(st, 'p'))
      return nullptr;
  } else if (check(st, 'T')) {
    return make_number(st, CK_FUNCTION_PARAM, 0);
  }
  while (peek(st) == 'r' || peek(st) == 'V' || peek(st) == 'K')
    advance(st, 1);
  int32_t index;
  if (!compact_number(st, &index) || index == INT32_MAX)
    return nullptr;
  return make_number(st, CK_FUNCTION_PARAM, index + 1);
}

comp_t *operator_expression(state_t *st)
{
  comp_t *op = operator_name(st);
  if (!op)
    return nullptr;
  const char *code = nullptr;
  int operands;
  if (op->kind == CK_OPERATOR) {
    code = op->u.op->code;
    operands = op->u.op->operands;
    st->length_estimate += op->u.op->length - 2;
    if (strcmp(code, "st") == 0 || strcmp(code, "at") == 0)
      return make(st, CK_UNARY, op, type(st));
  } else if (op->kind == CK_VENDOR_OPERATOR) {
    operands = op->u.structor.kind;
  } else if (op->kind == CK_CAST) {
    operands = 1;
  } else {
    return nullptr;
  }

  switch (operands) {
  case 0:
    return make(st, CK_NULLARY, op, nullptr);
  case 1: {
    bool suffix = false;
    if (code && (code[0] == 'p' || code[0] == 'm') && code[1] == code[0])
      suffix = !check(st, '_');  // "pp_" and "mm_" are the prefix forms
    comp_t *operand;
    if (op->kind == CK_CAST && check(st, '_'))
      operand = expression_list(st, 'E');
    else if (code && strcmp(code, "sP") == 0)
      operand = template_args_body(st);
    else
      operand = expression(st);
    if (suffix)
      operand = make(st, CK_BINARY_OPERANDS, operand, operand);
    return make(st, CK_UNARY, op, operand);
  }
  case 2: {
    if (!code)
      return nullptr;
    comp_t *left, *right;
    if (demangle_is_new_cast(op))
      left = type(st);
    else if (code[0] == 'f')
      left = operator_name(st);  // fold expression
    else if (strcmp(code, "di") == 0)
      left = unqualified_name(st);
    else
      left = expression(st);
    if (strcmp(code, "cl") == 0) {
      right = expression_list(st, 'E');
    } else if (strcmp(code, "dt") == 0 || strcmp(code, "pt") == 0) {
      char c = peek(st), n = peek_next(st);
      if ((c == 'g' && n == 's') || (c == 's' && n == 'r') || c == 'L' || c == 'T') {
        right = expression(st);
      } else {
        right = base_unresolved_name(st);
      }
    } else {
      right = expression(st);
    }
    return make(st, CK_BINARY, op, make(st, CK_BINARY_OPERANDS, left, right));
  }
  case 3: {
    if (!code)
      return nullptr;
    comp_t *first, *second, *third;
    if (strcmp(code, "qu") == 0 || strcmp(code, "dX") == 0) {
      first = expression(st);
      second = expression(st);
      third = expression(st);
      if (!third)
        return nullptr;
    } else if (code[0] == 'f') {
      first = operator_name(st);
      second = expression(st);
      third = expression(st);
      if (!third)
        return nullptr;
    } else if (code[0] == 'n') {
      first = expression_list(st, '_');
      second = type(st);
      if (check(st, 'E')) {
        third = nullptr;
      } else if (peek(st) == 'p' && peek_next(st) == 'i') {
        advance(st, 2);
        third = expression_list(st, 'E');
        if (!third)
          return nullptr;
      } else if (peek(st) == 'i' && peek_next(st) == 'l') {
        third = expression(st);
        if (!third)
          return nullptr;
      } else {
        return nullptr;
      }
    } else {
      return nullptr;
    }
    comp_t *rest = make(st, CK_TERNARY_REST, second, third);
    return make(st, CK_TERNARY, op, make(st, CK_TERNARY_FIRST, first, rest));
  }
  default:
    return nullptr;
  }
}

comp_t *expression_rule(state_t *st);

comp_t *expression(state_t *st)
{
  if (--st->work_left < 0 || st->rule_depth >= rule_depth_limit)
    return nullptr;
  st->rule_depth++;
  comp_t *result = expression_rule(st);
  st->rule_depth--;
  return result;
}

comp_t *expression_rule(state_t *st)
{
  char c = peek(st), n = peek_next(st);
  if (c == 'L')
    return expr_primary(st);
  if (c == 'T')
    return template_param(st);
  if (c == 's' && n == 'r') {
    advance(st, 2);
    return unresolved_name(st);
  }
  if (c == 's' && n == 'p') {
    advance(st, 2);
    return make(st, CK_PACK_EXPANSION, expression(st), nullptr);
  }
  if (c == 'f' && n == 'p')
    return function_param(st, false);
  if (c == 'f' && n == 'L') {
    // "fL" is also a binary left fold; a parameter's level is a number.
    char after = st->cursor + 2 < st->text_end ? st->cursor[2] : '\0';
    if (is_digit(after))
      return function_param(st, true);
  }
  if (is_digit(c) || (c == 'o' && n == 'n')) {
    // An unqualified name, as in a dependent call.
    if (c == 'o')
      advance(st, 2);
    comp_t *name_part = unqualified_name(st);
    if (name_part && peek(st) == 'I')
      return make(st, CK_TEMPLATE, name_part, template_args(st));
    return name_part;
  }
  if ((c == 'i' || c == 't') && n == 'l') {
    advance(st, 2);
    comp_t *t = nullptr;
    if (c == 't') {
      t = type(st);
      if (!t)
        return nullptr;
    }
    comp_t *items = expression_list(st, 'E');
    if (!items)
      return nullptr;
    return make(st, CK_BRACED_INIT, t, items);
  }
  if (c == 's' && n == 'o') {
    // so <type> <expression> [<offset number>] {_ [<number>]} [p] E
    advance(st, 2);
    comp_t *t = type(st);
    comp_t *object = t ? expression(st) : nullptr;
    if (!object)
      return nullptr;
    const char *start = st->cursor;
    if (peek(st) == 'n')
      advance(st, 1);
    while (is_digit(peek(st)))
      advance(st, 1);
    comp_t *offset = st->cursor > start ? make_name(st, start, static_cast<int>(st->cursor - start))
                                        : make_name(st, "0", 1);
    while (check(st, '_'))
      while (is_digit(peek(st)))
        advance(st, 1);
    check(st, 'p');
    if (!check(st, 'E'))
      return nullptr;
    return make(st, CK_SUBOBJECT, object, make(st, CK_BINARY_OPERANDS, t, offset));
  }
  if (c == 'u') {
    advance(st, 1);
    comp_t *vendor = source_name(st);
    comp_t *args = expression_list(st, 'E');
    return make(st, CK_VENDOR_EXPRESSION, vendor, args);
  }
  return operator_expression(st);
}

bool is_structor_or_conversion(const comp_t *c)
{
  while (c && (c->kind == CK_QUALIFIED || c->kind == CK_LOCAL))
    c = c->u.pair.right;
  return c && (c->kind == CK_CONSTRUCTOR || c->kind == CK_DESTRUCTOR || c->kind == CK_CONVERSION);
}

// Template functions other than constructors, destructors and conversion
// operators mangle their return type.
bool has_return_type(const comp_t *c)
{
  while (c) {
    if (c->kind == CK_LOCAL)
      c = c->u.pair.right;
    else if (is_function_qualifier(c->kind))
      c = c->u.pair.left;
    else
      return c->kind == CK_TEMPLATE && !is_structor_or_conversion(c->u.pair.left);
  }
  return false;
}

comp_t *encoding_rule(state_t *st, bool top_level);

comp_t *encoding(state_t *st, bool top_level)
{
  if (st->rule_depth >= rule_depth_limit)
    return nullptr;
  st->rule_depth++;
  comp_t *result = encoding_rule(st, top_level);
  st->rule_depth--;
  return result;
}

comp_t *encoding_rule(state_t *st, bool top_level)
{
  char c = peek(st);
  if (c == 'G' || c == 'T')
    return special_name(st);
  comp_t *n = name(st);
  if (!n)
    return nullptr;
  if (top_level && !(st->options & DEMANGLE_PARAMS)) {
    // Without parameters the qualifiers of the function are not printed.
    while (is_function_qualifier(n->kind))
      n = n->u.pair.left;
    if (n->kind == CK_LOCAL) {
      comp_t **entity = &n->u.pair.right;
      while (*entity && is_function_qualifier((*entity)->kind))
        *entity = (*entity)->u.pair.left;
    }
    return n;
  }
  // No type follows a data name; a clone suffix may.
  c = peek(st);
  if (c == '\0' || c == 'E' || c == '.')
    return n;
  comp_t *ftype = bare_function_type(st, has_return_type(n));
  if (!ftype)
    return nullptr;
  return make(st, CK_FUNCTION_NAME, n, ftype);
}

// A clone suffix: "." lower-case word, then "." digits groups.
comp_t *clone_suffix(state_t *st, comp_t *enc)
{
  const char *start = st->cursor, *p = start;
  const char *end = st->text_end;
  if (p < end && *p == '.' && p + 1 < end &&
      (is_lower(p[1]) || p[1] == '_' || is_digit(p[1]))) {
    p += 2;
    while (p < end && (is_lower(*p) || *p == '_' || is_digit(*p)))
      p++;
  }
  while (p + 1 < end && *p == '.' && is_digit(p[1])) {
    p += 2;
    while (p < end && is_digit(*p))
      p++;
  }
  advance(st, static_cast<int>(p - start));
  return make(st, CK_CLONE, enc, make_name(st, start, static_cast<int>(p - start)));
}

}  // namespace

comp_t *demangle_parse_mangled_name(state_t *st, bool top_level)
{
  if (!check(st, '_') && top_level)
    return nullptr;
  if (!check(st, 'Z'))
    return nullptr;
  comp_t *result = encoding(st, top_level);
  if (top_level && (st->options & DEMANGLE_PARAMS)) {
    while (result && peek(st) == '.') {
      char n = peek_next(st);
      if (!(is_lower(n) || n == '_' || is_digit(n)))
        break;
      result = clone_suffix(st, result);
    }
  }
  return result;
}

comp_t *demangle_parse_encoding(state_t *st, bool top_level)
{
  return encoding(st, top_level);
}

comp_t *demangle_parse_type(state_t *st)
{
  return type(st);
}
