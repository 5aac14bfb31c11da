// The demangler's constant tables (builtin types, standard substitutions,
// operators) and the creation of components in the parse state's array.
#include "demangle/demangle-tree.h"

#include <climits>
#include <cstring>

#define NAME_AND_LENGTH(s) s, static_cast<int32_t>(sizeof(s) - 1)

// Indexed by the mangled letter ('a' = row 0), then the two-letter forms.
const builtin_type_row demangle_builtin_types[34] = {
    {NAME_AND_LENGTH("signed char"), NAME_AND_LENGTH("signed char"), LIT_DEFAULT},
    {NAME_AND_LENGTH("bool"), NAME_AND_LENGTH("boolean"), LIT_BOOL},
    {NAME_AND_LENGTH("char"), NAME_AND_LENGTH("byte"), LIT_DEFAULT},
    {NAME_AND_LENGTH("double"), NAME_AND_LENGTH("double"), LIT_FLOAT},
    {NAME_AND_LENGTH("long double"), NAME_AND_LENGTH("long double"), LIT_FLOAT},
    {NAME_AND_LENGTH("float"), NAME_AND_LENGTH("float"), LIT_FLOAT},
    {NAME_AND_LENGTH("__float128"), NAME_AND_LENGTH("__float128"), LIT_FLOAT},
    {NAME_AND_LENGTH("unsigned char"), NAME_AND_LENGTH("unsigned char"), LIT_DEFAULT},
    {NAME_AND_LENGTH("int"), NAME_AND_LENGTH("int"), LIT_INT},
    {NAME_AND_LENGTH("unsigned int"), NAME_AND_LENGTH("unsigned"), LIT_UNSIGNED},
    {nullptr, 0, nullptr, 0, LIT_DEFAULT},
    {NAME_AND_LENGTH("long"), NAME_AND_LENGTH("long"), LIT_LONG},
    {NAME_AND_LENGTH("unsigned long"), NAME_AND_LENGTH("unsigned long"), LIT_UNSIGNED_LONG},
    {NAME_AND_LENGTH("__int128"), NAME_AND_LENGTH("__int128"), LIT_DEFAULT},
    {NAME_AND_LENGTH("unsigned __int128"), NAME_AND_LENGTH("unsigned __int128"), LIT_DEFAULT},
    {nullptr, 0, nullptr, 0, LIT_DEFAULT},
    {nullptr, 0, nullptr, 0, LIT_DEFAULT},
    {nullptr, 0, nullptr, 0, LIT_DEFAULT},
    {NAME_AND_LENGTH("short"), NAME_AND_LENGTH("short"), LIT_DEFAULT},
    {NAME_AND_LENGTH("unsigned short"), NAME_AND_LENGTH("unsigned short"), LIT_DEFAULT},
    {nullptr, 0, nullptr, 0, LIT_DEFAULT},  // 'u': a vendor type follows
    {NAME_AND_LENGTH("void"), NAME_AND_LENGTH("void"), LIT_VOID},
    {NAME_AND_LENGTH("wchar_t"), NAME_AND_LENGTH("char"), LIT_DEFAULT},
    {NAME_AND_LENGTH("long long"), NAME_AND_LENGTH("long"), LIT_LONG_LONG},
    {NAME_AND_LENGTH("unsigned long long"), NAME_AND_LENGTH("unsigned long long"),
     LIT_UNSIGNED_LONG_LONG},
    {NAME_AND_LENGTH("..."), NAME_AND_LENGTH("..."), LIT_DEFAULT},
    {NAME_AND_LENGTH("decimal32"), NAME_AND_LENGTH("decimal32"), LIT_DEFAULT},
    {NAME_AND_LENGTH("decimal64"), NAME_AND_LENGTH("decimal64"), LIT_DEFAULT},
    {NAME_AND_LENGTH("decimal128"), NAME_AND_LENGTH("decimal128"), LIT_DEFAULT},
    {NAME_AND_LENGTH("half"), NAME_AND_LENGTH("half"), LIT_FLOAT},
    {NAME_AND_LENGTH("char8_t"), NAME_AND_LENGTH("char8_t"), LIT_DEFAULT},
    {NAME_AND_LENGTH("char16_t"), NAME_AND_LENGTH("char16_t"), LIT_DEFAULT},
    {NAME_AND_LENGTH("char32_t"), NAME_AND_LENGTH("char32_t"), LIT_DEFAULT},
    {NAME_AND_LENGTH("decltype(nullptr)"), NAME_AND_LENGTH("decltype(nullptr)"), LIT_DEFAULT},
};

// Second letters of the two-letter builtins, in row order from row 26.
static const char two_letter_builtins[] = "fdehusin";

const builtin_type_row *demangle_builtin_row(char code, bool two_letter)
{
  if (two_letter) {
    const char *hit = code ? strchr(two_letter_builtins, code) : nullptr;
    return hit ? &demangle_builtin_types[BUILTIN_FIRST_TWO_LETTER + (hit - two_letter_builtins)]
               : nullptr;
  }
  if (!is_lower(code) || !demangle_builtin_types[code - 'a'].name)
    return nullptr;
  return &demangle_builtin_types[code - 'a'];
}

#define STD_ROW(code, short_form, full_form, structor)                                           \
  {code, NAME_AND_LENGTH(short_form), NAME_AND_LENGTH(full_form), NAME_AND_LENGTH(structor)}

const std_substitution_row demangle_std_substitutions[7] = {
    {'t', NAME_AND_LENGTH("std"), NAME_AND_LENGTH("std"), nullptr, 0},
    STD_ROW('a', "std::allocator", "std::allocator", "allocator"),
    STD_ROW('b', "std::basic_string", "std::basic_string", "basic_string"),
    STD_ROW('s', "std::string",
            "std::basic_string<char, std::char_traits<char>, std::allocator<char> >",
            "basic_string"),
    STD_ROW('i', "std::istream", "std::basic_istream<char, std::char_traits<char> >",
            "basic_istream"),
    STD_ROW('o', "std::ostream", "std::basic_ostream<char, std::char_traits<char> >",
            "basic_ostream"),
    STD_ROW('d', "std::iostream", "std::basic_iostream<char, std::char_traits<char> >",
            "basic_iostream"),
};

#define OP(code, name, operands) {code, NAME_AND_LENGTH(name), operands}

// Sorted by code (byte order) for the binary search; the order is checked below.
constexpr operator_row demangle_operators[73] = {
    OP("aN", "&=", 2),        OP("aS", "=", 2),         OP("aa", "&&", 2),
    OP("ad", "&", 1),         OP("an", "&", 2),         OP("at", "alignof ", 1),
    OP("aw", "co_await ", 1), OP("az", "alignof ", 1),  OP("cc", "const_cast", 2),
    OP("cl", "()", 2),        OP("cm", ",", 2),         OP("co", "~", 1),
    OP("dV", "/=", 2),        OP("dX", "[...]=", 3),    OP("da", "delete[] ", 1),
    OP("dc", "dynamic_cast", 2), OP("de", "*", 1),      OP("di", "=", 2),
    OP("dl", "delete ", 1),   OP("ds", ".*", 2),        OP("dt", ".", 2),
    OP("dv", "/", 2),         OP("dx", "]=", 2),        OP("eO", "^=", 2),
    OP("eo", "^", 2),         OP("eq", "==", 2),        OP("fL", "...", 3),
    OP("fR", "...", 3),       OP("fl", "...", 2),       OP("fr", "...", 2),
    OP("ge", ">=", 2),        OP("gs", "::", 1),        OP("gt", ">", 2),
    OP("ix", "[]", 2),        OP("lS", "<<=", 2),       OP("le", "<=", 2),
    OP("li", "operator\"\" ", 1), OP("ls", "<<", 2),    OP("lt", "<", 2),
    OP("mI", "-=", 2),        OP("mL", "*=", 2),        OP("mi", "-", 2),
    OP("ml", "*", 2),         OP("mm", "--", 1),        OP("na", "new[]", 3),
    OP("ne", "!=", 2),        OP("ng", "-", 1),         OP("nt", "!", 1),
    OP("nw", "new", 3),       OP("oR", "|=", 2),        OP("oo", "||", 2),
    OP("or", "|", 2),         OP("pL", "+=", 2),        OP("pl", "+", 2),
    OP("pm", "->*", 2),       OP("pp", "++", 1),        OP("ps", "+", 1),
    OP("pt", "->", 2),        OP("qu", "?", 3),         OP("rM", "%=", 2),
    OP("rS", ">>=", 2),       OP("rc", "reinterpret_cast", 2), OP("rm", "%", 2),
    OP("rs", ">>", 2),        OP("sP", "sizeof...", 1), OP("sZ", "sizeof...", 1),
    OP("sc", "static_cast", 2), OP("ss", "<=>", 2),     OP("st", "sizeof ", 1),
    OP("sz", "sizeof ", 1),   OP("tr", "throw", 0),     OP("tw", "throw ", 1),
    {nullptr, nullptr, 0, 0},
};

static constexpr bool operators_sorted()
{
  for (int i = 1; i < 72; i++) {
    const char *a = demangle_operators[i - 1].code, *b = demangle_operators[i].code;
    if (a[0] > b[0] || (a[0] == b[0] && a[1] >= b[1]))
      return false;
  }
  return demangle_operators[72].code == nullptr;
}
static_assert(operators_sorted(), "operator codes must be sorted for the binary search");

const operator_row *demangle_find_operator(char first, char second)
{
  int low = 0, high = 72;  // the empty last row is never searched
  while (low < high) {
    int middle = low + (high - low) / 2;
    const operator_row *row = &demangle_operators[middle];
    if (row->code[0] == first && row->code[1] == second)
      return row;
    if (row->code[0] < first || (row->code[0] == first && row->code[1] < second))
      low = middle + 1;
    else
      high = middle;
  }
  return nullptr;
}

bool demangle_is_new_cast(const demangle_component *op)
{
  if (!op || op->kind != CK_OPERATOR)
    return false;
  const char *code = op->u.op->code;
  return code[1] == 'c' && (code[0] == 's' || code[0] == 'd' || code[0] == 'c' || code[0] == 'r');
}

demangle_component *demangle_new_component(demangle_parse_state *state)
{
  if (state->components_used >= state->components_capacity)
    return nullptr;
  demangle_component *c = &state->components[state->components_used++];
  c->printing = 0;
  c->counting = 0;
  c->u.pair.left = nullptr;
  c->u.pair.right = nullptr;
  return c;
}

bool demangle_children_suit(component_kind kind, const demangle_component *left,
                            const demangle_component *right)
{
  switch (kind) {
  case CK_QUALIFIED: case CK_LOCAL: case CK_FUNCTION_NAME: case CK_TEMPLATE:
  case CK_CONSTRUCTION_VTABLE: case CK_VENDOR_QUALIFIER: case CK_MEMBER_POINTER:
  case CK_VECTOR_TYPE: case CK_UNARY: case CK_BINARY: case CK_BINARY_OPERANDS:
  case CK_TERNARY: case CK_TERNARY_FIRST: case CK_LITERAL: case CK_NEGATIVE_LITERAL:
  case CK_VENDOR_EXPRESSION: case CK_CONCATENATION: case CK_ABI_TAG: case CK_CLONE:
  case CK_SUBOBJECT:
    return left && right;
  case CK_ARRAY_TYPE: case CK_BRACED_INIT:
    return right != nullptr;
  case CK_RESTRICT: case CK_VOLATILE: case CK_CONST: case CK_RESTRICT_METHOD:
  case CK_VOLATILE_METHOD: case CK_CONST_METHOD: case CK_LVALUE_METHOD: case CK_RVALUE_METHOD:
  case CK_FUNCTION_TYPE: case CK_ARGUMENT_LIST: case CK_TEMPLATE_ARGUMENTS:
  case CK_TRANSACTION_SAFE: case CK_NOEXCEPT: case CK_THROW_SPEC:
    return true;
  default:
    return left != nullptr;
  }
}

// Kinds whose contents are not two children.
static bool holds_no_children(component_kind kind)
{
  switch (kind) {
  case CK_NAME: case CK_TEMPLATE_PARAM: case CK_FUNCTION_PARAM: case CK_CONSTRUCTOR:
  case CK_DESTRUCTOR: case CK_STD_SUBSTITUTION: case CK_BUILTIN_TYPE: case CK_FIXED_POINT:
  case CK_OPERATOR: case CK_VENDOR_OPERATOR: case CK_CHARACTER: case CK_NUMBER:
  case CK_LAMBDA: case CK_DEFAULT_ARGUMENT: case CK_UNNAMED_TYPE:
    return true;
  default:
    return false;
  }
}

bool demangle_component_complete(const demangle_component *c)
{
  if (holds_no_children(c->kind)) {
    switch (c->kind) {
    case CK_CONSTRUCTOR: case CK_DESTRUCTOR: case CK_VENDOR_OPERATOR:
      return c->u.structor.name != nullptr;
    case CK_FIXED_POINT:
      return c->u.fixed.length != nullptr;
    case CK_LAMBDA: case CK_DEFAULT_ARGUMENT:
      return c->u.numbered.sub != nullptr;
    case CK_BUILTIN_TYPE:
      return c->u.builtin != nullptr;
    case CK_OPERATOR:
      return c->u.op != nullptr && c->u.op->code != nullptr;
    case CK_NAME: case CK_STD_SUBSTITUTION:
      return c->u.name.text != nullptr && c->u.name.length >= 0;
    default:
      return true;
    }
  }
  return demangle_children_suit(c->kind, c->u.pair.left, c->u.pair.right);
}

demangle_component *demangle_make(demangle_parse_state *state, component_kind kind,
                                  demangle_component *left, demangle_component *right)
{
  if (holds_no_children(kind) || !demangle_children_suit(kind, left, right))
    return nullptr;
  demangle_component *c = demangle_new_component(state);
  if (c) {
    c->kind = kind;
    c->u.pair.left = left;
    c->u.pair.right = right;
  }
  return c;
}

int component_fill_name(demangle_component *component, const char *text, int length)
{
  if (!component || !text || length <= 0)
    return 0;
  component->kind = CK_NAME;
  component->u.name.text = text;
  component->u.name.length = length;
  return 1;
}

int component_fill_vendor_operator(demangle_component *component, int args,
                                   demangle_component *name)
{
  if (!component || !name || args < 0)
    return 0;
  component->kind = CK_VENDOR_OPERATOR;
  component->u.structor.kind = args;
  component->u.structor.name = name;
  return 1;
}

static int fill_structor(demangle_component *component, component_kind kind, int which,
                         demangle_component *name)
{
  if (!component || !name || which < 1 || which > 5)
    return 0;
  component->kind = kind;
  component->u.structor.kind = which;
  component->u.structor.name = name;
  return 1;
}

int component_fill_ctor(demangle_component *component, int kind, demangle_component *name)
{
  return fill_structor(component, CK_CONSTRUCTOR, kind, name);
}

int component_fill_dtor(demangle_component *component, int kind, demangle_component *name)
{
  return fill_structor(component, CK_DESTRUCTOR, kind, name);
}

demangle_component *demangle_make_name(demangle_parse_state *state, const char *text, int length)
{
  demangle_component *c = demangle_new_component(state);
  return component_fill_name(c, text, length) ? c : nullptr;
}

bool demangle_read_number(demangle_parse_state *state, int32_t *value)
{
  bool negative = false;
  if (state->cursor < state->text_end && *state->cursor == 'n') {
    negative = true;
    state->cursor++;
  }
  int32_t result = 0;
  while (state->cursor < state->text_end && is_digit(*state->cursor)) {
    int digit = *state->cursor - '0';
    if (result > (INT32_MAX - digit) / 10)
      return false;
    result = result * 10 + digit;
    state->cursor++;
  }
  *value = negative ? -result : result;
  return true;
}
