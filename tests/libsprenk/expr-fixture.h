// Evaluating a #if expression, a number or a literal through a fresh
// reader, spoken in the test's own terms.
#ifndef VUZ_TESTS_LIBSPRENK_EXPR_FIXTURE_H
#define VUZ_TESTS_LIBSPRENK_EXPR_FIXTURE_H

#include "tests/libsprenk/expr-value-text.h"
#include "tests/libsprenk/preprocessor-fixture.h"

#include <string>

struct expr_fixture : pp_fixture {
  explicit expr_fixture(source_dialect dialect = DIALECT_KAV17) : pp_fixture(dialect) {}

  // Stacks TEXT and positions the reader inside a directive on its line.
  void enter_directive(const std::string &text)
  {
    push(text);
    _cpp_next_line(reader);
    reader->state.in_directive = DIRECTIVE_LINE;
  }

  // The value as "123", "18446744073709551615u" (unsigned) or "error".
  std::string eval(const std::string &text, bool is_if = true)
  {
    enter_directive(text);
    expr_value value;
    bool ok = _cpp_evaluate_expr(reader, is_if, &value);
    reader->state.in_directive = DIRECTIVE_NONE;
    if (!ok)
      return "error";
    return expr_value_text(value, options()->precision);
  }

  // The first token of TEXT, kept.
  preproc_token first_token(const std::string &text)
  {
    push(text);
    return *cpp_get_token(reader);
  }

  // The interpreted bytes of the first literal of TEXT in hex ("61 62 00"),
  // or "error".
  std::string bytes(const std::string &text)
  {
    preproc_token token = first_token(text);
    byte_string in = {token.value.str.length, token.value.str.text};
    byte_string out;
    if (!interpret_string_plain(reader, &in, 1, &out, token.kind))
      return "error";
    std::string hex;
    for (uint32_t i = 0; i < out.length; i++) {
      char part[4];
      snprintf(part, sizeof part, "%02x", out.text[i]);
      hex += (i ? " " : "") + std::string(part);
    }
    free(const_cast<unsigned char *>(out.text));
    return hex;
  }
};

#endif
