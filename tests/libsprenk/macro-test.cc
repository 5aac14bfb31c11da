// Macro definition and expansion, conditionals and pragmas, through the
// expanded token stream: the C standard's replacement examples and the edge
// cases of the definition checks.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

// The expanded tokens of TEXT, one space apart.
static std::string expand(pp_fixture &f, const std::string &text)
{
  std::string out;
  f.push(text);
  for (const preproc_token *t = cpp_next_token(f.reader); t->kind != TK_EOF;
       t = cpp_next_token(f.reader)) {
    if (t->kind == TK_PADDING)
      continue;
    if (!out.empty())
      out += ' ';
    out += f.spell(t);
  }
  return out;
}

static std::string expand_in(const std::string &text)
{
  pp_fixture f;
  define_special_builtins(f.reader);
  return expand(f, text);
}

static const char standard_definitions[] =
    "#define x 3\n#define f(a) f(x * (a))\n#undef x\n#define x 2\n#define g f\n"
    "#define z z[0]\n#define h g(~\n#define m(a) a(w)\n#define w 0,1\n#define t(a) a\n"
    "#define p() int\n#define q(x) x\n#define r(x,y) x ## y\n#define str(x) # x\n";

TEST(Macro, StandardExamples)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"f(y+1) + f(f(z)) % t(t(g)(0) + t)(1);",
       "f ( 2 * ( y + 1 ) ) + f ( 2 * ( f ( 2 * ( z [ 0 ] ) ) ) ) % f ( 2 * ( 0 ) ) + t ( 1 ) ;"},
      {"g(x+(3,4)-w) | h 5) & m\n(f)^m(m);",
       "f ( 2 * ( 2 + ( 3 , 4 ) - 0 , 1 ) ) | f ( 2 * ( ~ 5 ) ) & f ( 2 * ( 0 , 1 ) ) ^ m ( 0 , 1 ) ;"},
      {"p() i[q()] = { q(1), r(2,3), r(4,), r(,5), r(,) };",
       "int i [ ] = { 1 , 23 , 4 , 5 , } ;"},
      {"char c[2][6] = { str(hello), str() };", "char c [ 2 ] [ 6 ] = { \"hello\" , \"\" } ;"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(std::string(standard_definitions) + c.text), c.expected) << c.text;
}

TEST(Macro, StringifyPasteAndVaOpt)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#define hash_hash # ## #\n#define mkstr(a) # a\n#define in_between(a) mkstr(a)\n"
       "#define join(c, d) in_between(c hash_hash d)\njoin(x, y)",
       "\"x ## y\""},
      {"#define s(x) #x\ns(a \"b\\n\" c)", "\"a \\\"b\\\\n\\\" c\""},
      {"#define cat(a, b) a ## b\ncat(x, 1)", "x1"},
      {"#define e(fmt, ...) f(fmt, ## __VA_ARGS__)\ne(x) e(x,)", "f ( x ) f ( x , )"},
      {"#define F(...) f(0 __VA_OPT__(,) __VA_ARGS__)\n#define EMP\nF(a,b,c) F() F(EMP)",
       "f ( 0 , a , b , c ) f ( 0 ) f ( 0 )"},
      {"#define SDEF(sname, ...) S sname __VA_OPT__(= { __VA_ARGS__ })\nSDEF(foo); SDEF(bar, 1, 2);",
       "S foo ; S bar = { 1 , 2 } ;"},
      {"#define v(x, ...) #__VA_OPT__(x)\nv(a, b) v(a)", "\"a\" \"\""},
      {"#define self self + 1\nself", "self + 1"},
      {"#define fl(x) x\nfl\n(1) fl", "1 fl"},
      {"__COUNTER__ __COUNTER__", "0 1"},
      {"__LINE__\n__LINE__", "1 2"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(c.text), c.expected) << c.text;
}

TEST(Macro, InvalidPasteKeepsBothTokens)
{
  pp_fixture f;
  EXPECT_EQ(expand(f, "#define cat(a, b) a ## b\ncat(+, -)"), "+ -");
  EXPECT_EQ(f.reports,
            (words{"error: pasting \"+\" and \"-\" does not give a valid preprocessing token"}));
}

TEST(Macro, DefinitionErrors)
{
  struct {
    const char *text;
    const char *report;
  } cases[] = {
      {"#define m(a,) a\n", "error: expected parameter name, found \")\""},
      {"#define m(a, a) a\n", "error: duplicate macro parameter \"a\""},
      {"#define m(a) #b\n", "error: '#' is not followed by a macro parameter"},
      {"#define m ## a\n", "error: '##' cannot appear at either end of a macro expansion"},
      {"#define m a ##\n", "error: '##' cannot appear at either end of a macro expansion"},
      {"#define defined\n", "error: \"defined\" cannot be used as a macro name"},
      {"#define 3\n", "error: macro names must be identifiers"},
      {"#define\n", "error: no macro name given in #define directive"},
      {"#define m 1\n#define m 2\n", "pedwarn: \"m\" redefined"},
      {"#define m(x) x\nm(1, 2)", "error: macro \"m\" passed 2 arguments, but takes just 1"},
      {"#define m(x) x\nm(1", "error: unterminated argument list invoking macro \"m\""},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    expand(f, c.text);
    ASSERT_FALSE(f.reports.empty()) << c.text;
    EXPECT_EQ(f.reports[0], c.report) << c.text;
  }
}

TEST(Macro, RedefinitionComparesWhiteSpace)
{
  pp_fixture same;
  expand(same, "#define m a + b\n#define m a + b\n");
  EXPECT_TRUE(same.reports.empty());
  pp_fixture differ;
  expand(differ, "#define m a + b\n#define m a+b\n");
  ASSERT_FALSE(differ.reports.empty());
  EXPECT_EQ(differ.reports[0], "pedwarn: \"m\" redefined");
}

TEST(Macro, TextOfDefinition)
{
  pp_fixture f;
  expand(f, "#define m(a, ...) #a a ## __VA_ARGS__\n#define n a ## ## b\n");
  EXPECT_STREQ(reinterpret_cast<const char *>(cpp_macro_text(f.reader, cpp_intern(f.reader, "m", 1))),
               "m(a,...) #a a ## __VA_ARGS__");
  EXPECT_STREQ(reinterpret_cast<const char *>(cpp_macro_text(f.reader, cpp_intern(f.reader, "n", 1))),
               "n a ## b ##");
}

TEST(Macro, DeepArgumentNestingIsAnError)
{
  pp_fixture f;
  std::string text = "#define i(x) x\n";
  for (int n = 0; n < 300; n++)
    text += "i(";
  text += "1";
  for (int n = 0; n < 300; n++)
    text += ")";
  expand(f, text);
  ASSERT_FALSE(f.reports.empty());
  EXPECT_EQ(f.reports[0], "error: macro arguments nested more than 256 levels deep");
}

TEST(Conditionals, GroupsTaken)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#define A\n#ifdef A\na\n#else\nb\n#endif", "a"},
      {"#ifndef A\na\n#elif 1\nb\n#endif", "a"},
      {"#if 0\na\n#elif 2 > 1\nb\n#else\nc\n#endif", "b"},
      {"#if 0\n#if 1\na\n#endif\n#else\nc\n#endif", "c"},
      {"#define B 1\n#if defined(B) && B == 1\nyes\n#endif", "yes"},
      {"#\nx", "x"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(c.text), c.expected) << c.text;
}

TEST(Conditionals, Misuse)
{
  struct {
    const char *text;
    const char *report;
  } cases[] = {
      {"#else\n", "error: #else without #if"},
      {"#endif\n", "error: #endif without #if"},
      {"#elif 1\n", "error: #elif without #if"},
      {"#if 1\n#else\n#else\n#endif\n", "error: #else after #else"},
      {"#if 1\n", "error: unterminated #if"},
      {"#frob\n", "error: invalid preprocessing directive #frob"},
      {"#line 0x10\n", "error: \"0x10\" after #line is not a positive integer"},
      {"#error stop here\n", "error: #error stop here"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    expand(f, c.text);
    ASSERT_FALSE(f.reports.empty()) << c.text;
    EXPECT_EQ(f.reports[0], c.report) << c.text;
  }
}

TEST(Pragmas, PushPopAndPoison)
{
  EXPECT_EQ(expand_in("#define m 1\n#pragma push_macro(\"m\")\n#undef m\n#define m 2\nm\n"
                      "#pragma pop_macro(\"m\")\nm"),
            "2 1");
  EXPECT_EQ(expand_in("#pragma push_macro(u8\"u\")\n#define u 3\nu\n#pragma pop_macro(L\"u\")\nu"),
            "3 u");
  pp_fixture f;
  expand(f, "#pragma VUZ poison a b 3\n");
  EXPECT_EQ(f.reports, (words{"error: invalid #pragma VUZ poison directive"}));
  EXPECT_TRUE(cpp_intern(f.reader, "b", 1)->flags & IDF_POISONED);
}
