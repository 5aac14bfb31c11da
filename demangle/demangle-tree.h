// The demangler's component tree, parse state and tables, shared by its parser
// and printer. Callers outside the demangler only need demangle/demangle.h.
#ifndef VUZ_DEMANGLE_DEMANGLE_TREE_H
#define VUZ_DEMANGLE_DEMANGLE_TREE_H

#include "demangle/demangle.h"

#include <cstdint>

enum component_kind : int32_t {
  CK_NAME = 0,
  CK_QUALIFIED = 1,
  CK_LOCAL = 2,
  CK_FUNCTION_NAME = 3,
  CK_TEMPLATE = 4,
  CK_TEMPLATE_PARAM = 5,
  CK_FUNCTION_PARAM = 6,
  CK_CONSTRUCTOR = 7,
  CK_DESTRUCTOR = 8,
  CK_VTABLE = 9,
  CK_VTT = 10,
  CK_CONSTRUCTION_VTABLE = 11,
  CK_TYPEINFO = 12,
  CK_TYPEINFO_NAME = 13,
  CK_TYPEINFO_FUNCTION = 14,
  CK_THUNK = 15,
  CK_VIRTUAL_THUNK = 16,
  CK_COVARIANT_THUNK = 17,
  CK_JAVA_CLASS = 18,
  CK_GUARD_VARIABLE = 19,
  CK_TLS_INIT = 20,
  CK_TLS_WRAPPER = 21,
  CK_REFERENCE_TEMPORARY = 22,
  CK_HIDDEN_ALIAS = 23,
  CK_STD_SUBSTITUTION = 24,
  CK_RESTRICT = 25,
  CK_VOLATILE = 26,
  CK_CONST = 27,
  CK_RESTRICT_METHOD = 28,
  CK_VOLATILE_METHOD = 29,
  CK_CONST_METHOD = 30,
  CK_LVALUE_METHOD = 31,
  CK_RVALUE_METHOD = 32,
  CK_VENDOR_QUALIFIER = 33,
  CK_POINTER = 34,
  CK_LVALUE_REFERENCE = 35,
  CK_RVALUE_REFERENCE = 36,
  CK_COMPLEX = 37,
  CK_IMAGINARY = 38,
  CK_BUILTIN_TYPE = 39,
  CK_VENDOR_TYPE = 40,
  CK_FUNCTION_TYPE = 41,
  CK_ARRAY_TYPE = 42,
  CK_MEMBER_POINTER = 43,
  CK_FIXED_POINT = 44,
  CK_VECTOR_TYPE = 45,
  CK_ARGUMENT_LIST = 46,
  CK_TEMPLATE_ARGUMENTS = 47,
  CK_TEMPLATE_PARAM_OBJECT = 48,
  CK_BRACED_INIT = 49,
  CK_OPERATOR = 50,
  CK_VENDOR_OPERATOR = 51,
  CK_CAST = 52,
  CK_CONVERSION = 53,
  CK_NULLARY = 54,
  CK_UNARY = 55,
  CK_BINARY = 56,
  CK_BINARY_OPERANDS = 57,
  CK_TERNARY = 58,
  CK_TERNARY_FIRST = 59,
  CK_TERNARY_REST = 60,
  CK_LITERAL = 61,
  CK_NEGATIVE_LITERAL = 62,
  CK_VENDOR_EXPRESSION = 63,
  CK_JAVA_RESOURCE = 64,
  CK_CONCATENATION = 65,
  CK_CHARACTER = 66,
  CK_NUMBER = 67,
  CK_DECLTYPE = 68,
  CK_GLOBAL_CONSTRUCTORS = 69,
  CK_GLOBAL_DESTRUCTORS = 70,
  CK_LAMBDA = 71,
  CK_DEFAULT_ARGUMENT = 72,
  CK_UNNAMED_TYPE = 73,
  CK_TRANSACTION_CLONE = 74,
  CK_NONTRANSACTION_CLONE = 75,
  CK_PACK_EXPANSION = 76,
  CK_ABI_TAG = 77,
  CK_TRANSACTION_SAFE = 78,
  CK_CLONE = 79,
  CK_NOEXCEPT = 80,
  CK_THROW_SPEC = 81,
  // A subobject of a constant ("so"): left the object, right a pair of the
  // subobject's type and its offset.
  CK_SUBOBJECT = 82,
  CK_LAST = CK_SUBOBJECT
};

// How a literal of a builtin type prints.
enum literal_style : int32_t {
  LIT_DEFAULT = 0,
  LIT_INT = 1,
  LIT_UNSIGNED = 2,
  LIT_LONG = 3,
  LIT_UNSIGNED_LONG = 4,
  LIT_LONG_LONG = 5,
  LIT_UNSIGNED_LONG_LONG = 6,
  LIT_BOOL = 7,
  LIT_FLOAT = 8,
  LIT_VOID = 9
};

struct builtin_type_row {
  const char *name;
  int32_t length;
  const char *java_name;
  int32_t java_length;
  literal_style style;
};

struct operator_row {
  const char *code;
  const char *name;
  int32_t length;
  int32_t operands;
};

struct std_substitution_row {
  char code;
  const char *short_form;
  int32_t short_length;
  const char *full_form;
  int32_t full_length;
  const char *structor_name;  // null: no constructor / destructor name
  int32_t structor_length;
};

struct demangle_component {
  component_kind kind;
  int32_t printing;  // how often the printer is inside this component
  int32_t counting;  // visits by the printer's counting pre-pass
  union {
    struct {
      demangle_component *left;
      demangle_component *right;
    } pair;
    struct {
      const char *text;
      int32_t length;
    } name;
    int32_t number;
    struct {
      int32_t number;
      int32_t lambda_auto;  // an invented parameter of a generic lambda
    } param;
    int32_t character;
    const builtin_type_row *builtin;
    const operator_row *op;
    struct {
      int32_t kind;
      demangle_component *name;
    } structor;  // constructors, destructors; vendor operators keep their operand count in kind
    struct {
      demangle_component *length;
      uint16_t accum;
      uint16_t saturating;
    } fixed;
    struct {
      demangle_component *sub;  // lambda parameters, default-argument entity
      int32_t number;
    } numbered;
  } u;
};

static_assert(sizeof(demangle_component) == 32, "components are 32-byte records");

struct demangle_parse_state {
  const char *text_start;
  const char *text_end;
  int options;
  const char *cursor;
  demangle_component *components;
  int32_t components_used;
  int32_t components_capacity;
  demangle_component **substitutions;
  int32_t substitutions_used;
  int32_t substitutions_capacity;
  demangle_component *last_name;
  int32_t length_estimate;
  int32_t in_expression;
  int32_t in_conversion;
  int32_t unresolved_state;
  int32_t nesting_depth;
  int32_t in_lambda_signature;  // template parameters here are the lambda's own
  // Rule invocations left: reading a conversion operator's type backtracks,
  // and nested backtracking would take time exponential in the length.
  int64_t work_left;
  // Nesting of type and expression rules; deeper trees could not be printed.
  int32_t rule_depth;
};

// Tables.
extern const builtin_type_row demangle_builtin_types[34];
enum : int { BUILTIN_FIRST_TWO_LETTER = 26, BUILTIN_NULLPTR = 33 };
extern const std_substitution_row demangle_std_substitutions[7];
extern const operator_row demangle_operators[73];  // sorted by code, then an empty row

const operator_row *demangle_find_operator(char first, char second);
// dynamic_cast, static_cast, const_cast, reinterpret_cast: a type, then an operand.
bool demangle_is_new_cast(const demangle_component *op);
// Row for a one-letter code, or for the letter after 'D' when two_letter is set;
// null when the code names no builtin.
const builtin_type_row *demangle_builtin_row(char code, bool two_letter);

// Component creation.
demangle_component *demangle_new_component(demangle_parse_state *state);
demangle_component *demangle_make(demangle_parse_state *state, component_kind kind,
                                  demangle_component *left, demangle_component *right);
// Whether the children suit the kind, and whether a component has all the
// contents its kind needs (the printer checks trees it did not build).
bool demangle_children_suit(component_kind kind, const demangle_component *left,
                            const demangle_component *right);
bool demangle_component_complete(const demangle_component *c);
demangle_component *demangle_make_name(demangle_parse_state *state, const char *text,
                                       int length);
bool demangle_read_number(demangle_parse_state *state, int32_t *value);

// Grammar rules called by the entry points.
demangle_component *demangle_parse_mangled_name(demangle_parse_state *state, bool top_level);
demangle_component *demangle_parse_encoding(demangle_parse_state *state, bool top_level);
demangle_component *demangle_parse_type(demangle_parse_state *state);

// Function qualifiers print after a parameter list.
inline bool is_function_qualifier(component_kind kind)
{
  return (kind >= CK_RESTRICT_METHOD && kind <= CK_RVALUE_METHOD) ||
         kind == CK_TRANSACTION_SAFE || kind == CK_NOEXCEPT || kind == CK_THROW_SPEC;
}

inline bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
inline bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

#endif
