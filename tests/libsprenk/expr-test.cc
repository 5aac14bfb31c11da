// #if expressions: precedence, promotions, overflow, short-circuits,
// defined, the diagnostics of malformed expressions, and numbers.
#include "tests/libsprenk/expr-fixture.h"

#include <gtest/gtest.h>

namespace {

struct value_case {
  const char *expression;
  const char *value;
};

TEST(Expr, PrecedenceAndValues)
{
  const value_case cases[] = {
      {"1 + 2 * 3", "7"},          {"(1 + 2) * 3", "9"},       {"10 - 4 - 3", "3"},
      {"2 * 3 % 4", "2"},          {"1 << 2 + 1", "8"},        {"1 < 2 == 1", "1"},
      {"6 & 3 ^ 1 | 8", "11"},     {"1 || 0 && 0", "1"},       {"0 ? 1 : 0 ? 2 : 3", "3"},
      {"-7 / 2", "-3"},            {"-7 % 2", "-1"},           {"7 % -2", "1"},
      {"~0", "-1"},                {"!5", "0"},                {"- - 3", "3"},
      {"+ 4", "4"},                {"-1 >> 1", "-1"},          {"-1 >> 200", "-1"},
      {"1 << 64", "0"},            {"1 << -1", "0"},           {"8 >> -2", "32"},
      {"0x7fffffffffffffff", "9223372036854775807"},          {"1u - 2", "18446744073709551615u"},
      {"0xffffffffffffffff", "18446744073709551615u"},        {"-1 < 0u", "0"},
      {"1 ? 2 : (1/0)", "2"},      {"0 && 1/0", "0"},          {"1 || 1/0", "1"},
      {"1 ? -1 : 0u", "18446744073709551615u"},               {"'a'", "97"},
      {"'\\377'", "-1"},           {"'ab'", "24930"},          {"u'x' == 120", "1"},
      {"(2, 3)", "3"},             {"0b101", "5"},             {"010", "8"},
      // The conditional nests to the right, and a comma may stand between
      // '?' and ':'.
      {"1 ? 2 : 0 ? 0 : 3", "2"},  {"1 ? 0 ? 5 : 6 : 7", "6"},  {"1 ? 2, 3 : 4", "3"},
      {"0 ? 1 : 2, 5", "5"},
  };
  for (const value_case &c : cases) {
    expr_fixture f;
    EXPECT_EQ(f.eval(c.expression), c.value) << c.expression;
  }
}

TEST(Expr, OverflowIsDefinedAndWarned)
{
  const value_case cases[] = {
      {"0x7fffffffffffffff + 1", "-9223372036854775808"},
      {"-0x7fffffffffffffff - 2", "9223372036854775807"},
      {"(-0x7fffffffffffffff - 1) / -1", "-9223372036854775808"},
      {"(-0x7fffffffffffffff - 1) * -1", "-9223372036854775808"},
      {"-(-0x7fffffffffffffff - 1)", "-9223372036854775808"},
      {"1 << 63", "-9223372036854775808"},
      {"0x4000000000000000 * 4", "0"},
  };
  for (const value_case &c : cases) {
    expr_fixture f;
    EXPECT_EQ(f.eval(c.expression), c.value) << c.expression;
    EXPECT_EQ(f.reports, (words{"pedwarn: integer overflow in preprocessor expression"}))
        << c.expression;
  }
  expr_fixture quiet;
  EXPECT_EQ(quiet.eval("-1 << 63"), "-9223372036854775808");
  EXPECT_TRUE(quiet.reports.empty());
}

TEST(Expr, PrecisionsOfEveryWidth)
{
  struct precision_case {
    uint64_t precision;
    const char *expression;
    const char *value;
  };
  const precision_case cases[] = {
      {128, "0x7fffffffffffffffffffffffffffffff + 1",
       "-170141183460469231731687303715884105728"},
      {128, "-1 >> 127", "-1"},
      {128, "1 << 127 >> 127", "-1"},
      {16, "32767 + 1", "-32768"},
      {16, "0xffff", "65535u"},
      {1, "1", "1u"},
      {1, "0 == 0", "-1"},
      {1, "0 ? 1 : 0", "0u"},
      // Precisions outside 1..128 are brought into it.
      {0, "1", "1u"},
      {500, "1 << 100", "1267650600228229401496703205376"},
  };
  for (const precision_case &c : cases) {
    expr_fixture f;
    f.options()->precision = c.precision;
    EXPECT_EQ(f.eval(c.expression), c.value) << c.precision << ": " << c.expression;
  }
}

struct report_case {
  const char *expression;
  words reports;
};

TEST(Expr, Errors)
{
  const report_case cases[] = {
      {"", {"error: #if with no expression"}},
      {"1 +", {"error: operator '+' has no right operand"}},
      {"* 2", {"error: operator '*' has no left operand"}},
      {"()", {"error: missing expression between '(' and ')'"}},
      {"(1", {"error: missing ')' in expression"}},
      {"1)", {"error: missing '(' in expression"}},
      {"1 2", {"error: missing binary operator before token \"2\""}},
      {"1 ? 2", {"error: '?' without following ':'"}},
      {"1 : 2", {"error:  ':' without preceding '?'"}},
      {"1 / 0", {"error: division by zero in #if"}},
      {"1 % 0", {"error: division by zero in #if"}},
      {"1 = 1", {"error: token \"=\" is not valid in preprocessor expressions"}},
      {"1 += 1", {"error: token \"+=\" is not valid in preprocessor expressions"}},
      {"x[1]", {"error: token \"[\" is not valid in preprocessor expressions"}},
      {"defined", {"error: operator \"defined\" requires an identifier"}},
      {"defined(X", {"error: missing ')' after \"defined\""}},
      {"1.0", {"error: floating constant in preprocessor expression"}},
      {"\"s\"", {"error: token \"\"s\"\" is not valid in preprocessor expressions"}},
  };
  for (const report_case &c : cases) {
    expr_fixture f;
    f.eval(c.expression);
    EXPECT_EQ(f.reports, c.reports) << c.expression;
  }
  expr_fixture elif;
  EXPECT_EQ(elif.eval("", false), "error");
  EXPECT_EQ(elif.reports, (words{"error: #elif with no expression"}));
}

// An operand in error ends the evaluation at once, false, whatever follows
// or is skipped: nothing after it is reported.
TEST(Expr, OperandErrorsEndTheEvaluation)
{
  struct operand_case {
    source_dialect dialect;
    const char *expression;
    const char *report;
  };
  const operand_case cases[] = {
      {DIALECT_KAV17, "1.0 || 1", "error: floating constant in preprocessor expression"},
      {DIALECT_KAV17, "1 || 1.0", "error: floating constant in preprocessor expression"},
      {DIALECT_KAV17, "0 && 1.0 + ", "error: floating constant in preprocessor expression"},
      {DIALECT_KAV17, "2i || 1", "error: imaginary number in preprocessor expression"},
      {DIALECT_KAV17, "0b102 || 1", "error: invalid digit \"2\" in binary constant"},
      {DIALECT_KAV17, "1 ? 08 : 1", "error: invalid digit \"8\" in octal constant"},
      {DIALECT_KAV17, "1e || 1", "error: exponent has no digits"},
      {DIALECT_KAV17, "'' || 1", "error: empty character constant"},
      {DIALECT_KAV17, "1k || 1", "error: invalid suffix \"k\" on integer constant"},
      {DIALECT_KAV17, "1ur || 1", "error: invalid suffix \"ur\" on integer constant"},
      {DIALECT_CXX17, "1_x || 1", "error: user-defined literal in preprocessor expression"},
      {DIALECT_CXX17, "1.0_x || 1", "error: user-defined literal in preprocessor expression"},
  };
  for (const operand_case &c : cases) {
    expr_fixture f(c.dialect);
    EXPECT_EQ(f.eval(c.expression), "error") << c.expression;
    EXPECT_EQ(f.reports, (words{c.report})) << c.expression;
  }
}

TEST(Expr, CommaIsAPedanticReport)
{
  expr_fixture f(DIALECT_STDC89);
  f.options()->pedantic_mode = 1;
  EXPECT_EQ(f.eval("1, 2"), "2");
  EXPECT_EQ(f.reports, (words{"pedwarn: comma operator in operand of #if [22]"}));
}

TEST(Expr, DeeplySkippedOperandsStaySkipped)
{
  // More skipped levels than a byte counts.
  std::string expression;
  for (int i = 0; i < 300; i++)
    expression += "0 && (";
  expression += "1 / 0" + std::string(300, ')');
  expr_fixture f;
  EXPECT_EQ(f.eval(expression), "0");
  EXPECT_TRUE(f.reports.empty());
}

TEST(Expr, ThreeWayComparisonIsNotAnOperator)
{
  expr_fixture f(DIALECT_CXX20);
  EXPECT_EQ(f.eval("1 <=> 2"), "error");
  EXPECT_EQ(f.reports, (words{"error: token \"<=>\" is not valid in preprocessor expressions"}));
  expr_fixture g(DIALECT_CXX20);
  EXPECT_EQ(g.eval("<=> 2"), "error");
}

TEST(Expr, DefinedAndNames)
{
  expr_fixture f;
  define_from_text(f.reader, "FOO");
  EXPECT_EQ(f.eval("defined FOO && defined(FOO) && !defined BAR"), "1");
  expr_fixture g;
  g.options()->warn_undefined_in_if = 1;
  EXPECT_EQ(g.eval("X || 0 && Y"), "0");
  EXPECT_EQ(g.reports, (words{"warning: \"X\" is not defined, evaluates to 0 [13]"}));
  expr_fixture cxx(DIALECT_CXX17);
  EXPECT_EQ(cxx.eval("true + true + false"), "2");
  expr_fixture c;
  EXPECT_EQ(c.eval("true"), "0");
  expr_fixture expanded;
  expanded.options()->warn_defined_in_expansion = 1;
  define_from_text(expanded.reader, "FOO");
  define_from_text(expanded.reader, "D=defined FOO");
  EXPECT_EQ(expanded.eval("D && defined FOO"), "1");
  EXPECT_EQ(expanded.reports, (words{"pedwarn: this use of \"defined\" may not be portable [26]"}));
}

TEST(Expr, ControllingMacroOnlyForNegatedDefined)
{
  const struct {
    const char *expression;
    bool recorded;
  } cases[] = {
      {"!defined G", true},
      {"!defined(G)", true},
      {"!defined G && 1", false},
      {"defined G", false},
  };
  for (const auto &c : cases) {
    expr_fixture f;
    f.eval(c.expression);
    ident_node *g = cpp_intern(f.reader, "G", 1);
    EXPECT_EQ(f.reader->mi_if_not_defined == g, c.recorded) << c.expression;
  }
}

TEST(Expr, TraditionalSuffixWarningsSpareSystemMacros)
{
  expr_fixture f;
  f.options()->warn_traditional_c = 1;
  f.push("#define SYSTEM_ONE 1u\n");
  f.reader->buffer->system_kind = SYSTEM_HEADER;
  EXPECT_EQ(cpp_get_token(f.reader)->kind, TK_EOF);
  EXPECT_EQ(f.eval("SYSTEM_ONE + 2u"), "3u");
  EXPECT_EQ(f.reports, (words{"warning: traditional C rejects the \"u\" suffix [6]"}));
}

TEST(Expr, SignChangeWarnings)
{
  expr_fixture f;
  f.options()->warn_sign_change_in_if = 1;
  EXPECT_EQ(f.eval("-1 < 0u"), "0");
  EXPECT_EQ(f.reports, (words{"warning: the left operand of \"<\" changes sign when promoted"}));
  expr_fixture g;
  g.options()->warn_sign_change_in_if = 1;
  g.eval("0u + -1");
  EXPECT_EQ(g.reports, (words{"warning: the right operand of \"+\" changes sign when promoted"}));
}

TEST(Expr, LargeConstants)
{
  expr_fixture f(DIALECT_STDC99);
  EXPECT_EQ(f.eval("18446744073709551615"), "18446744073709551615u");
  EXPECT_EQ(f.reports, (words{"pedwarn: integer constant is so large that it is unsigned"}));
  expr_fixture g;
  g.eval("18446744073709551616");
  EXPECT_EQ(g.reports, (words{"pedwarn: integer constant is too large for its type"}));
  // A client reading the number itself learns of the overflow.
  const struct {
    const char *text;
    bool overflow;
  } cases[] = {{"18446744073709551616", true}, {"0x10000000000000000", true},
               {"18446744073709551615u", false}, {"9223372036854775808", false}};
  for (const auto &c : cases) {
    expr_fixture h;
    preproc_token token = h.first_token(c.text);
    uint32_t flags = classify_number(h.reader, &token, nullptr, token.location);
    EXPECT_EQ(interpret_integer(h.reader, &token, flags).overflow, c.overflow) << c.text;
  }
}

// ---- Numbers ----

struct number_case {
  source_dialect dialect;
  const char *text;
  uint32_t flags;
  words reports;
};

uint32_t classify(expr_fixture &f, const char *text)
{
  preproc_token token = f.first_token(text);
  return classify_number(f.reader, &token, nullptr, token.location);
}

TEST(Numbers, Classification)
{
  const number_case cases[] = {
      {DIALECT_KAV17, "7", 0x111, {}},
      {DIALECT_KAV17, "123ul", NUM_INTEGER | NUM_MEDIUM | NUM_UNSIGNED | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "0x1fLLu", NUM_INTEGER | NUM_LARGE | NUM_UNSIGNED | NUM_HEX, {}},
      {DIALECT_KAV17, "017", NUM_INTEGER | NUM_SMALL | NUM_OCTAL, {}},
      {DIALECT_KAV17, "0b1", NUM_INTEGER | NUM_SMALL | NUM_BINARY, {}},
      {DIALECT_KAV17, "1.5f", NUM_FLOATING | NUM_SMALL | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "09.5", NUM_FLOATING | NUM_DEFAULT | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "0x1p3", NUM_FLOATING | NUM_DEFAULT | NUM_HEX, {}},
      {DIALECT_KAV17, "1.0dd", NUM_FLOATING | NUM_DFLOAT | NUM_MEDIUM | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "1.0f32", NUM_FLOATING | NUM_FLOATN | (32u << 24) | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "1.0f64x", NUM_FLOATING | NUM_FLOATNX | (64u << 24) | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "1.0f96", 0, {"error: invalid suffix \"f96\" on floating constant"}},
      {DIALECT_KAV17, "0.5hk", NUM_FLOATING | NUM_ACCUM | NUM_SMALL | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "2i", NUM_INTEGER | NUM_IMAGINARY | NUM_SMALL | NUM_DECIMAL, {}},
      {DIALECT_KAV17, "0b102", 0, {"error: invalid digit \"2\" in binary constant"}},
      {DIALECT_KAV17, "08", 0, {"error: invalid digit \"8\" in octal constant"}},
      {DIALECT_KAV17, "0x1p", 0, {"error: exponent has no digits"}},
      {DIALECT_KAV17, "0x1.8", 0, {"error: hexadecimal floating constants require an exponent"}},
      {DIALECT_KAV17, "0b1.0", 0, {"error: invalid prefix \"0b\" for floating constant"}},
      // 'e' is an exponent in decimal and octal only: in binary it starts a suffix.
      {DIALECT_KAV17, "0b1e5", 0, {"error: invalid suffix \"e5\" on integer constant"}},
      {DIALECT_KAV17, "1.0f32X", 0, {"error: invalid suffix \"f32X\" on floating constant"}},
      {DIALECT_KAV17, "1.2.3", 0, {"error: too many decimal points in number"}},
      {DIALECT_KAV17, "1lL", 0, {"error: invalid suffix \"lL\" on integer constant"}},
      {DIALECT_KAV17, "1z", 0, {"error: invalid suffix \"z\" on integer constant"}},
      {DIALECT_KAV17, "0x1.0p1dd", 0,
       {"error: invalid suffix \"dd\" with hexadecimal floating constant"}},
      {DIALECT_CXX14, "1'000", NUM_INTEGER | NUM_SMALL | NUM_DECIMAL, {}},
      {DIALECT_CXX14, "0x'1", 0, {"error: digit separator after base indicator"}},
      {DIALECT_CXX14, "1'e5", 0, {"error: digit separator adjacent to exponent"}},
      // The standard library's literal operators own "i" from C++14 on.
      {DIALECT_CXX14, "2i", NUM_INTEGER | NUM_LARGE | NUM_UNSIGNED | NUM_USERDEF | NUM_DECIMAL,
       {}},
      {DIALECT_CXX14, "12_km", NUM_INTEGER | NUM_LARGE | NUM_UNSIGNED | NUM_USERDEF | NUM_DECIMAL,
       {}},
      {DIALECT_CXX23, "1uz", NUM_INTEGER | NUM_SIZE_T | NUM_UNSIGNED | NUM_SMALL | NUM_DECIMAL, {}},
      {DIALECT_CXX17, "1uz",
       NUM_INTEGER | NUM_SIZE_T | NUM_UNSIGNED | NUM_SMALL | NUM_DECIMAL,
       {"warning: use of C++23 %<size_t%> integer constant [20]"}},
  };
  for (const number_case &c : cases) {
    expr_fixture f(c.dialect);
    EXPECT_EQ(classify(f, c.text), c.flags) << c.text;
    EXPECT_EQ(f.reports, c.reports) << c.text;
  }
}

// These pedantic warnings name no option: of the reports about #if, only the
// comma operator's carries the pedantic reason.
TEST(Numbers, PedanticForms)
{
  const number_case cases[] = {
      {DIALECT_STDC89, "0x1p3", NUM_FLOATING | NUM_DEFAULT | NUM_HEX,
       {"pedwarn: use of C99 hexadecimal floating constant"}},
      {DIALECT_STDC17, "0b1", NUM_INTEGER | NUM_SMALL | NUM_BINARY,
       {"pedwarn: binary constants are a C2X feature or VUZ extension"}},
      {DIALECT_STDC17, "1.0d", NUM_FLOATING | NUM_MEDIUM | NUM_DECIMAL,
       {"pedwarn: suffix for double constant is a VUZ extension"}},
      {DIALECT_STDC17, "3i", NUM_INTEGER | NUM_IMAGINARY | NUM_SMALL | NUM_DECIMAL,
       {"pedwarn: imaginary constants are a VUZ extension"}},
      // A fixed-point 'l' is no double suffix.
      {DIALECT_STDC17, "0.5lk", NUM_FLOATING | NUM_ACCUM | NUM_MEDIUM | NUM_DECIMAL,
       {"pedwarn: fixed-point constants are a VUZ extension"}},
      // The C2X feature carries its compatibility reason, pedantic or not.
      {DIALECT_STDC17, "1.0dd", NUM_FLOATING | NUM_DFLOAT | NUM_MEDIUM | NUM_DECIMAL,
       {"pedwarn: decimal float constants are a C2X feature [24]"}},
  };
  for (const number_case &c : cases) {
    expr_fixture f(c.dialect);
    f.options()->pedantic_mode = 1;
    EXPECT_EQ(classify(f, c.text), c.flags) << c.text;
    EXPECT_EQ(f.reports, c.reports) << c.text;
  }
}

TEST(Numbers, DigitSeparatorsInValues)
{
  expr_fixture f(DIALECT_CXX14);
  EXPECT_EQ(f.eval("1'000 + 0x1'0"), "1016");
}

TEST(Numbers, UserDefinedKinds)
{
  EXPECT_EQ(plain_string_to_userdef(TK_WSTRING), TK_WSTRING_USERDEF);
  EXPECT_EQ(userdef_string_to_plain(TK_UTF8STRING_USERDEF), TK_UTF8STRING);
  EXPECT_EQ(plain_char_to_userdef(TK_CHAR16), TK_CHAR16_USERDEF);
  EXPECT_EQ(userdef_char_to_plain(TK_NAME), TK_NAME);
  expr_fixture f(DIALECT_CXX17);
  preproc_token token = f.first_token("\"a\\\"b\"_x");
  EXPECT_EQ(token.kind, TK_STRING_USERDEF);
  EXPECT_STREQ(reinterpret_cast<const char *>(userdef_literal_suffix(&token)), "_x");
}

} // namespace
