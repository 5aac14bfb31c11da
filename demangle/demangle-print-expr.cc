// The demangler's expression printer: operators with their operands, casts,
// calls, new-expressions, folds, designated initializers and typed literals,
// as they appear in template arguments and decltype types.
#include "demangle/demangle-printer.h"

#include <cstring>

typedef demangle_component comp_t;
typedef demangle_printer printer_t;

static const char *operator_code(const comp_t *op)
{
  return op && op->kind == CK_OPERATOR ? op->u.op->code : nullptr;
}

static bool code_is(const comp_t *op, const char *code)
{
  const char *own = operator_code(op);
  return own && strcmp(own, code) == 0;
}

void print_subexpression(printer_t *p, int options, comp_t *c)
{
  bool simple = c && (c->kind == CK_NAME || c->kind == CK_QUALIFIED ||
                      c->kind == CK_BRACED_INIT || c->kind == CK_FUNCTION_PARAM);
  if (!simple)
    printer_append_char(p, '(');
  print_component(p, options, c);
  if (!simple)
    printer_append_char(p, ')');
}

// An operator inside an expression prints its own spelling.
static void print_operator_in_expression(printer_t *p, int options, comp_t *op)
{
  if (op && op->kind == CK_OPERATOR)
    printer_append(p, op->u.op->name, op->u.op->length);
  else
    print_component(p, options, op);
}

// Element count of a template argument list, packs expanded.
static int arguments_length(printer_t *p, const comp_t *c)
{
  int count = 0;
  for (; c && c->kind == CK_TEMPLATE_ARGUMENTS; c = c->u.pair.right) {
    const comp_t *element = c->u.pair.left;
    if (!element)
      break;
    if (element->kind == CK_PACK_EXPANSION)
      count += printer_pack_length(printer_find_pack(p, element->u.pair.left));
    else
      ++count;
  }
  return count;
}

static void print_unary(printer_t *p, int options, comp_t *c)
{
  comp_t *op = c->u.pair.left;
  comp_t *operand = c->u.pair.right;
  const char *code = operator_code(op);
  if (code) {
    if (strcmp(code, "ad") == 0 && operand->kind == CK_FUNCTION_NAME &&
        demangle_component_complete(operand) && operand->u.pair.left->kind == CK_QUALIFIED &&
        operand->u.pair.right->kind == CK_FUNCTION_TYPE) {
      // The address of a member function names it without its parameters.
      operand = operand->u.pair.left;
    }
    if (operand->kind == CK_BINARY_OPERANDS) {
      // A suffix operator.
      print_subexpression(p, options, operand->u.pair.left);
      print_operator_in_expression(p, options, op);
      return;
    }
    if (strcmp(code, "sZ") == 0) {
      printer_append_number(p, printer_pack_length(printer_find_pack(p, operand)));
      return;
    }
    if (strcmp(code, "sP") == 0) {
      printer_append_number(p, arguments_length(p, operand));
      return;
    }
  }
  if (op->kind == CK_CAST) {
    printer_append_char(p, '(');
    print_component(p, options, op->u.pair.left);
    printer_append_char(p, ')');
  } else {
    print_operator_in_expression(p, options, op);
  }
  if (code && strcmp(code, "gs") == 0) {
    print_component(p, options, operand);  // no parentheses after "::"
  } else if (code && strcmp(code, "st") == 0) {
    printer_append_char(p, '(');
    print_component(p, options, operand);
    printer_append_char(p, ')');
  } else {
    print_subexpression(p, options, operand);
  }
}

// Fold expressions: (... op pack), (pack op ...), (init op ... op pack).
static bool print_fold(printer_t *p, int options, comp_t *c)
{
  const char *code = operator_code(c->u.pair.left);
  if (!code || code[0] != 'f')
    return false;
  comp_t *operands = c->u.pair.right;
  comp_t *op = operands->u.pair.left;
  comp_t *first = operands->u.pair.right;
  comp_t *second = nullptr;
  if (first && first->kind == CK_TERNARY_REST) {
    second = first->u.pair.right;
    first = first->u.pair.left;
  }
  int hold_index = p->pack_index;
  p->pack_index = -1;  // the whole pack
  switch (code[1]) {
  case 'l':
    printer_append_text(p, "(...");
    print_operator_in_expression(p, options, op);
    print_subexpression(p, options, first);
    printer_append_char(p, ')');
    break;
  case 'r':
    printer_append_char(p, '(');
    print_subexpression(p, options, first);
    print_operator_in_expression(p, options, op);
    printer_append_text(p, "...)");
    break;
  default:
    printer_append_char(p, '(');
    print_subexpression(p, options, first);
    print_operator_in_expression(p, options, op);
    printer_append_text(p, "...");
    print_operator_in_expression(p, options, op);
    print_subexpression(p, options, second);
    printer_append_char(p, ')');
    break;
  }
  p->pack_index = hold_index;
  return true;
}

static bool is_designated_init(const comp_t *c)
{
  if (!c || (c->kind != CK_BINARY && c->kind != CK_TERNARY))
    return false;
  const char *code = operator_code(c->u.pair.left);
  return code && code[0] == 'd' && (code[1] == 'i' || code[1] == 'x' || code[1] == 'X');
}

// Member and index initializers: .field=value, [index]=value, [a ... b]=value.
static bool print_designated_init(printer_t *p, int options, comp_t *c)
{
  if (!is_designated_init(c))
    return false;
  char which = c->u.pair.left->u.op->code[1];
  comp_t *operands = c->u.pair.right;
  comp_t *first = operands->u.pair.left;
  comp_t *value = operands->u.pair.right;
  printer_append_char(p, which == 'i' ? '.' : '[');
  print_component(p, options, first);
  if (which == 'X') {
    if (!value || value->kind != CK_TERNARY_REST) {
      printer_fail(p);
      return true;
    }
    printer_append_text(p, " ... ");
    print_component(p, options, value->u.pair.left);
    value = value->u.pair.right;
  }
  if (which != 'i')
    printer_append_char(p, ']');
  if (is_designated_init(value)) {
    print_component(p, options, value);  // chained designators
  } else {
    printer_append_char(p, '=');
    print_subexpression(p, options, value);
  }
  return true;
}

static void print_binary(printer_t *p, int options, comp_t *c)
{
  comp_t *op = c->u.pair.left;
  comp_t *operands = c->u.pair.right;
  if (operands->kind != CK_BINARY_OPERANDS) {
    printer_fail(p);
    return;
  }
  if (demangle_is_new_cast(op)) {
    print_operator_in_expression(p, options, op);
    printer_append_char(p, '<');
    print_component(p, options, operands->u.pair.left);
    printer_append_text(p, ">(");
    print_component(p, options, operands->u.pair.right);
    printer_append_char(p, ')');
    return;
  }
  if (print_fold(p, options, c) || print_designated_init(p, options, c))
    return;
  // A '>' inside template arguments would end them.
  bool wrap = op->kind == CK_OPERATOR && op->u.op->length == 1 && op->u.op->name[0] == '>';
  if (wrap)
    printer_append_char(p, '(');
  comp_t *left = operands->u.pair.left;
  if (code_is(op, "cl") && left && left->kind == CK_FUNCTION_NAME &&
      demangle_component_complete(left)) {
    // A call prints its callee's name, not its parameter types.
    if (left->u.pair.right->kind != CK_FUNCTION_TYPE)
      printer_fail(p);
    print_subexpression(p, options, left->u.pair.left);
  } else {
    print_subexpression(p, options, left);
  }
  if (code_is(op, "ix")) {
    printer_append_char(p, '[');
    print_component(p, options, operands->u.pair.right);
    printer_append_char(p, ']');
  } else {
    if (!code_is(op, "cl"))
      print_operator_in_expression(p, options, op);
    print_subexpression(p, options, operands->u.pair.right);
  }
  if (wrap)
    printer_append_char(p, ')');
}

static void print_ternary(printer_t *p, int options, comp_t *c)
{
  comp_t *op = c->u.pair.left;
  comp_t *first_pair = c->u.pair.right;
  if (first_pair->kind != CK_TERNARY_FIRST || !first_pair->u.pair.right ||
      first_pair->u.pair.right->kind != CK_TERNARY_REST) {
    printer_fail(p);
    return;
  }
  if (print_fold(p, options, c) || print_designated_init(p, options, c))
    return;
  comp_t *first = first_pair->u.pair.left;
  comp_t *second = first_pair->u.pair.right->u.pair.left;
  comp_t *third = first_pair->u.pair.right->u.pair.right;
  if (code_is(op, "qu")) {
    print_subexpression(p, options, first);
    print_operator_in_expression(p, options, op);
    print_subexpression(p, options, second);
    printer_append_text(p, " : ");
    print_subexpression(p, options, third);
    return;
  }
  printer_append_text(p, "new ");
  if (!first || first->kind != CK_ARGUMENT_LIST) {
    printer_fail(p);
    return;
  }
  if (first->u.pair.left) {
    print_subexpression(p, options, first);  // placement arguments
    printer_append_char(p, ' ');
  }
  print_component(p, options, second);
  if (third)
    print_subexpression(p, options, third);
}

static void print_literal(printer_t *p, int options, comp_t *c)
{
  comp_t *t = c->u.pair.left;
  comp_t *value = c->u.pair.right;
  bool negative = c->kind == CK_NEGATIVE_LITERAL;
  literal_style style = LIT_DEFAULT;
  if (t->kind == CK_BUILTIN_TYPE) {
    style = t->u.builtin->style;
    if (style >= LIT_INT && style <= LIT_UNSIGNED_LONG_LONG && value->kind == CK_NAME) {
      static const char *const suffixes[] = {"", "", "u", "l", "ul", "ll", "ull"};
      if (negative)
        printer_append_char(p, '-');
      print_component(p, options, value);
      printer_append_text(p, suffixes[style]);
      return;
    }
    if (style == LIT_BOOL && value->kind == CK_NAME && value->u.name.length == 1 && !negative &&
        (value->u.name.text[0] == '0' || value->u.name.text[0] == '1')) {
      printer_append_text(p, value->u.name.text[0] == '0' ? "false" : "true");
      return;
    }
  }
  printer_append_char(p, '(');
  print_component(p, options, t);
  printer_append_char(p, ')');
  if (negative)
    printer_append_char(p, '-');
  if (style == LIT_FLOAT)
    printer_append_char(p, '[');
  print_component(p, options, value);
  if (style == LIT_FLOAT)
    printer_append_char(p, ']');
}

void print_expression_component(printer_t *p, int options, comp_t *c)
{
  switch (c->kind) {
  case CK_NULLARY:
    print_operator_in_expression(p, options, c->u.pair.left);
    return;
  case CK_UNARY:
    print_unary(p, options, c);
    return;
  case CK_BINARY:
    print_binary(p, options, c);
    return;
  case CK_TERNARY:
    print_ternary(p, options, c);
    return;
  case CK_LITERAL:
  case CK_NEGATIVE_LITERAL:
    print_literal(p, options, c);
    return;
  case CK_VENDOR_EXPRESSION:
    print_component(p, options, c->u.pair.left);
    printer_append_char(p, '(');
    print_component(p, options, c->u.pair.right);
    printer_append_char(p, ')');
    return;
  case CK_SUBOBJECT:
    print_component(p, options, c->u.pair.left);
    printer_append_text(p, ".<");
    print_component(p, options, c->u.pair.right->u.pair.left);
    printer_append_text(p, " at offset ");
    print_component(p, options, c->u.pair.right->u.pair.right);
    printer_append_char(p, '>');
    return;
  default:
    // Casts, operand pairs and ternary parts only print inside their parent.
    printer_fail(p);
    return;
  }
}
