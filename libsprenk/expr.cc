// #if and #elif expressions: a provisional evaluator over integers,
// "defined", the logical, relational, equality and arithmetic operators and
// parentheses, until the full evaluator with literal interpretation lands.
#include "libsprenk/preprocessor-internal.h"

#include <cstdlib>
#include <cstring>

struct expr_parser {
  preprocessor_reader *reader;
  const preproc_token *token;
  bool failed;
};

static void expr_advance(expr_parser *p)
{
  do
    p->token = cpp_next_token(p->reader);
  while (p->token->kind == TK_PADDING);
}

static int64_t expr_binary(expr_parser *p, int min_priority);

static int64_t expr_defined(expr_parser *p)
{
  p->reader->state.prevent_expansion++;
  expr_advance(p);
  bool paren = p->token->kind == TK_OPEN_PAREN;
  if (paren)
    expr_advance(p);
  int64_t value = 0;
  if (p->token->kind == TK_NAME) {
    value = ident_is_macro(p->token->value.ident.node);
    expr_advance(p);
  } else {
    diag_error(p->reader, DL_ERROR, "operator \"defined\" requires an identifier");
    p->failed = true;
  }
  if (paren) {
    if (p->token->kind == TK_CLOSE_PAREN)
      expr_advance(p);
    else
      p->failed = true;
  }
  p->reader->state.prevent_expansion--;
  return value;
}

static int64_t expr_primary(expr_parser *p)
{
  const preproc_token *token = p->token;
  switch (token->kind) {
  case TK_NUMBER: {
    int64_t value = int64_t(strtoull(reinterpret_cast<const char *>(token->value.str.text), nullptr, 0));
    expr_advance(p);
    return value;
  }
  case TK_CHAR: {
    int64_t value = token->value.str.length >= 3 ? token->value.str.text[1] : 0;
    expr_advance(p);
    return value;
  }
  case TK_NAME:
    if (token->value.ident.node == p->reader->spec_nodes.n_defined)
      return expr_defined(p);
    expr_advance(p);
    return 0;
  case TK_OPEN_PAREN: {
    expr_advance(p);
    int64_t value = expr_binary(p, 0);
    if (p->token->kind != TK_CLOSE_PAREN)
      p->failed = true;
    else
      expr_advance(p);
    return value;
  }
  case TK_NOT: expr_advance(p); return !expr_primary(p);
  case TK_MINUS: expr_advance(p); return -expr_primary(p);
  case TK_PLUS: expr_advance(p); return expr_primary(p);
  case TK_COMPL: expr_advance(p); return ~expr_primary(p);
  default:
    p->failed = true;
    return 0;
  }
}

static int priority_of(int kind)
{
  switch (kind) {
  case TK_OR_OR: return 1;
  case TK_AND_AND: return 2;
  case TK_OR: return 3;
  case TK_XOR: return 4;
  case TK_AND: return 5;
  case TK_EQ_EQ: case TK_NOT_EQ: return 6;
  case TK_LESS: case TK_GREATER: case TK_LESS_EQ: case TK_GREATER_EQ: return 7;
  case TK_LSHIFT: case TK_RSHIFT: return 8;
  case TK_PLUS: case TK_MINUS: return 9;
  case TK_MULT: case TK_DIV: case TK_MOD: return 10;
  default: return 0;
  }
}

static int64_t apply(expr_parser *p, int kind, int64_t a, int64_t b)
{
  switch (kind) {
  case TK_OR_OR: return a || b;
  case TK_AND_AND: return a && b;
  case TK_OR: return a | b;
  case TK_XOR: return a ^ b;
  case TK_AND: return a & b;
  case TK_EQ_EQ: return a == b;
  case TK_NOT_EQ: return a != b;
  case TK_LESS: return a < b;
  case TK_GREATER: return a > b;
  case TK_LESS_EQ: return a <= b;
  case TK_GREATER_EQ: return a >= b;
  case TK_LSHIFT: return b >= 0 && b < 64 ? int64_t(uint64_t(a) << b) : 0;
  case TK_RSHIFT: return b >= 0 && b < 64 ? a >> b : 0;
  case TK_PLUS: return int64_t(uint64_t(a) + uint64_t(b));
  case TK_MINUS: return int64_t(uint64_t(a) - uint64_t(b));
  case TK_MULT: return int64_t(uint64_t(a) * uint64_t(b));
  case TK_DIV:
  case TK_MOD:
    if (b == 0 || (a == INT64_MIN && b == -1)) {
      diag_error(p->reader, DL_ERROR, "division by zero in #if");
      p->failed = true;
      return 0;
    }
    return kind == TK_DIV ? a / b : a % b;
  default: return 0;
  }
}

static int64_t expr_binary(expr_parser *p, int min_priority)
{
  int64_t left = expr_primary(p);
  for (;;) {
    if (p->token->kind == TK_QUERY && min_priority == 0) {
      expr_advance(p);
      int64_t then = expr_binary(p, 0);
      if (p->token->kind != TK_COLON) {
        p->failed = true;
        return 0;
      }
      expr_advance(p);
      int64_t otherwise = expr_binary(p, 0);
      left = left ? then : otherwise;
      continue;
    }
    int priority = priority_of(p->token->kind);
    if (priority == 0 || priority <= min_priority)
      return left;
    int kind = p->token->kind;
    expr_advance(p);
    int64_t right = expr_binary(p, priority);
    left = apply(p, kind, left, right);
  }
}

bool _cpp_parse_expr(preprocessor_reader *reader, bool is_if)
{
  reader->mi_if_not_defined = nullptr;
  reader->state.in_expression = 1;
  expr_parser p = {reader, nullptr, false};
  expr_advance(&p);
  if (p.token->kind == TK_EOF) {
    diag_error(reader, DL_ERROR, "#%s with no expression", is_if ? "if" : "elif");
    reader->state.in_expression = 0;
    return false;
  }
  int64_t value = expr_binary(&p, 0);
  if (!p.failed && p.token->kind != TK_EOF)
    p.failed = true;
  if (p.failed)
    diag_error(reader, DL_ERROR, "invalid #%s expression", is_if ? "if" : "elif");
  reader->state.in_expression = 0;
  return !p.failed && value != 0;
}
