// Macro definition and expansion, conditionals and pragmas, through the
// expanded token stream: the C standard's replacement examples and the edge
// cases of the definition checks.
#include "diagnostics/input.h"
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <pthread.h>

// The expanded tokens of TEXT, one space apart.
static std::string expand(pp_fixture &f, const std::string &text)
{
  f.push(text);
  return f.expanded();
}

// The first (or the INDEXth) report reading TEXT gives, "<none>" without.
static std::string first_report(const std::string &text, size_t index = 0)
{
  pp_fixture f;
  expand(f, text);
  return f.reports.size() <= index ? "<none>" : f.reports[index];
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
      {"#define t(x,y,z) x ## y ## z\nt(6,,7) t(,,) t(8,9,) t(,,2)", "67 89 2"},
      {"#define m(X) a X ## X ## b\nm()", "a b"},
      {"#define e(fmt, ...) f(fmt, ## __VA_ARGS__)\ne(x) e(x,)", "f ( x ) f ( x , )"},
      {"#define F(...) f(0 __VA_OPT__(,) __VA_ARGS__)\n#define EMP\nF(a,b,c) F() F(EMP)",
       "f ( 0 , a , b , c ) f ( 0 ) f ( 0 )"},
      {"#define SDEF(sname, ...) S sname __VA_OPT__(= { __VA_ARGS__ })\nSDEF(foo); SDEF(bar, 1, 2);",
       "S foo ; S bar = { 1 , 2 } ;"},
      {"#define v(x, ...) #__VA_OPT__(x)\nv(a, b) v(a)", "\"a\" \"\""},
      {"#define self self + 1\nself", "self + 1"},
      {"#define fl(x) x\nfl\n(1) fl", "1 fl"},
      {"__COUNTER__ __COUNTER__", "0 1"},
      {"#define m(x) [x]\nm(1\n#undef m\n) m(2)", "[ 1 ] m ( 2 )"},
      {"#define m(x) [x]\nm(\n#define n 3\nn)", "[ 3 ]"},
      {"__LINE__\n__LINE__", "1 2"},
      // A parameter is the identifier, however it is spelled.
      {"#define u(\\u00c1) [\\u00C1 \xc3\x81]\nu(1)", "[ 1 1 ]"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(c.text), c.expected) << c.text;
}

// The examples of the C++20 standard's [cpp.subst]: __VA_OPT__ is a
// placemarker when the variable arguments are empty, and a group ending in a
// placemarker pastes that placemarker, not its last token.
TEST(Macro, VaOptStandardExamples)
{
  static const char definitions[] =
      "#define F(...) f(0 __VA_OPT__(,) __VA_ARGS__)\n"
      "#define G(X, ...) f(0, X __VA_OPT__(,) __VA_ARGS__)\n"
      "#define SDEF(sname, ...) S sname __VA_OPT__(= { __VA_ARGS__ })\n"
      "#define EMP\n"
      "#define H2(X, Y, ...) __VA_OPT__(X ## Y,) __VA_ARGS__\n"
      "#define H3(X, ...) #__VA_OPT__(X##X X##X)\n"
      "#define H4(X, ...) __VA_OPT__(a X ## X) ## b\n"
      "#define H5A(...) __VA_OPT__()/**/__VA_OPT__()\n"
      "#define H5B(X) a ## X ## b\n"
      "#define H5C(X) H5B(X)\n";
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"F(a, b, c) F() F(EMP)", "f ( 0 , a , b , c ) f ( 0 ) f ( 0 )"},
      {"G(a, b, c) G(a, ) G(a)", "f ( 0 , a , b , c ) f ( 0 , a ) f ( 0 , a )"},
      {"SDEF(foo); SDEF(bar, 1, 2);", "S foo ; S bar = { 1 , 2 } ;"},
      {"H2(a, b, c, d)", "ab , c , d"},
      {"H3(, 0)", "\"\""},
      {"H4(, 1) next", "a b next"},
      {"H4(x, 1)", "a xxb"},
      {"H4(x)", "b"},
      {"H5C(H5A())", "ab"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(std::string(definitions) + c.text), c.expected) << c.text;
}

// A function-like macro's name that an expansion produced, and that is not
// invoked, is given back whole, however the search for its "(" ended.
TEST(Macro, NamesGivenBack)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#define DELAY(NAME) NAME\n#define CONCAT_1(A, B) A ## B\n#define LHS (\n"
       "#define RHS )\n#define A1 a\n#define B1 b\nDELAY(CONCAT_1) LHS A1, B1 RHS ();",
       "CONCAT_1 ( a , b ) ( ) ;"},
      {"#define f(x) [x]\n#define g f\ng + g", "f + f"},
      {"#define f(x) [x]\n#define g f\n#define id(x) x\nid(g) 1", "f 1"},
      {"#define f(x) [x]\n#define g f\ng", "f"},
      {"#define f(x) [x]\n#define g f\ng(1, 2) z", "f z"},
      {"#define f(x) [x]\n#define g(y) y f\ng(f) g(g)(2)", "f f g [ 2 ]"},
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
  for (const auto &c : cases)
    EXPECT_EQ(first_report(c.text), c.report) << c.text;
}

// Input that ends inside a macro's arguments is reported at the last
// newline read, on its own line.
TEST(Macro, UnterminatedArgumentsEndAtTheLastNewline)
{
  struct {
    const char *text;
    const char *where;
  } cases[] = {
      {"#define m(x) x\nm(1\n", "2:4"},
      {"#define m(x) x\nm(\n(a,\n  b\n", "4:4"},
      {"#define m(x) x\nm(\n\n", "3:1"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    expand(f, c.text);
    ASSERT_EQ(f.reports, (words{"error: unterminated argument list invoking macro \"m\""}))
        << c.text;
    EXPECT_EQ(f.where(f.report_locations[0]), c.where) << c.text;
  }
}

// In assembler input a line that starts with "#" and is no directive is
// text: it ends the argument list, with the argument in progress, and is
// read after the expansion.
TEST(Macro, AssemblerHashLineEndsTheArguments)
{
  struct {
    const char *text;
    const char *expanded;
    const char *report;
  } cases[] = {
      {"#define f(x) [x]\nf(a\n# comment\nb)", "[ a ] # comment b )", "<none>"},
      {"#define f(x) [x]\nf((a\n# comment\n))", "[ ( a ] # comment ) )", "<none>"},
      {"#define g(x, y) [x|y]\ng(a,\n# x\nb)", "[ a | ] # x b )", "<none>"},
      {"#define f(x) [x]\nf(a,\n# x\n)", "f # x )",
       "error: macro \"f\" passed 2 arguments, but takes just 1"},
  };
  for (const auto &c : cases) {
    pp_fixture f(DIALECT_ASM);
    EXPECT_EQ(expand(f, c.text), c.expanded) << c.text;
    EXPECT_EQ(f.reports.empty() ? "<none>" : f.reports[0], c.report) << c.text;
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
  // The "##" kept after the body are no part of its text.
  EXPECT_STREQ(reinterpret_cast<const char *>(cpp_macro_text(f.reader, cpp_intern(f.reader, "n", 1))),
               "n a ## b");
  std::string body = "x", text = "g x ## y";
  for (int i = 0; i < 40; i++)
    body += " ##";
  expand(f, "#define g " + body + " y\n");
  EXPECT_EQ(reinterpret_cast<const char *>(cpp_macro_text(f.reader, cpp_intern(f.reader, "g", 1))),
            text);
}

// Runs BODY on a thread of its own with a stack of STACK bytes.
static void on_stack_of(size_t stack, const std::function<void()> &body)
{
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, stack), 0);
  pthread_t thread;
  auto run = [](void *data) -> void * {
    (*static_cast<const std::function<void()> *>(data))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()> *>(&body)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

static std::string nested_invocations(int levels)
{
  std::string text = "#define i(x) x\n";
  for (int n = 0; n < levels; n++)
    text += "i(";
  text += "1";
  for (int n = 0; n < levels; n++)
    text += ")";
  return text + "\nafter";
}

// Arguments nest as deep as the stack has room for; deeper nesting is an
// error, reported once, and the text after it is expanded again.
TEST(Macro, DeepArgumentNesting)
{
  on_stack_of(size_t(256) << 20, [] {
    pp_fixture f;
    EXPECT_EQ(expand(f, nested_invocations(2000)), "1 after");
    EXPECT_EQ(f.reports, words{});
  });
  on_stack_of(size_t(1) << 20, [] {
    pp_fixture f;
    std::string text = expand(f, nested_invocations(3000) + " i(2)");
    EXPECT_EQ(text.substr(text.size() - 8), " after 2");
    ASSERT_EQ(f.reports.size(), 1u);
    EXPECT_EQ(f.reports[0].rfind("error: macro arguments nested more than ", 0), 0u)
        << f.reports[0];
  });
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
      {"#warning careful\n", "warning: #warning careful [18]"},
      {"#ident 3\n", "error: invalid #ident directive"},
      {"#ifdef\n#endif\n", "error: no macro name given in #ifdef directive"},
      {"#ifdef A B\n#endif\n", "pedwarn: extra tokens at end of #ifdef directive"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(first_report(c.text), c.report) << c.text;
}

TEST(Pragmas, PushPopAndPoison)
{
  EXPECT_EQ(expand_in("#define m 1\n#pragma push_macro(\"m\")\n#undef m\n#define m 2\nm\n"
                      "#pragma pop_macro(\"m\")\nm"),
            "2 1");
  pp_fixture f;
  expand(f, "#pragma VUZ poison a b 3\n");
  EXPECT_EQ(f.reports, (words{"error: invalid #pragma VUZ poison directive"}));
  EXPECT_TRUE(cpp_intern(f.reader, "b", 1)->flags & IDF_POISONED);
}

// Of the string prefixes only L is removed from a pragma's operand; any
// other leaves all but its first character in the text, so the operand
// names something else.
TEST(Pragmas, OnlyTheWidePrefixIsRemoved)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#define m 1\n#pragma push_macro(L\"m\")\n#undef m\n#pragma pop_macro(\"m\")\nm", "1"},
      {"#define m 1\n#pragma push_macro(u8\"m\")\n#undef m\n#pragma pop_macro(\"m\")\nm", "m"},
      {"#define m 1\n#pragma push_macro(u\"m\")\n#undef m\n#pragma pop_macro(L\"m\")\nm", "m"},
      {"#pragma push_macro(u8\"u\")\n#define u 3\nu\n#pragma pop_macro(u8\"u\")\nu", "3 3"},
      {"a _Pragma(L\"omp parallel\") b", "a PRAGMA 7 EOL b"},
      {"a _Pragma(u8\"omp parallel\") b", "a b"},
      {"a _Pragma(U\"omp parallel\") b", "a b"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    define_special_builtins(f.reader);
    ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, false, false));
    EXPECT_EQ(expand(f, c.text), c.expected) << c.text;
  }
}

// A malformed operand is reported at the token where reading it stopped,
// not at the end of the line.
TEST(Pragmas, MacroStackOperandErrorsStandWhereReadingStopped)
{
  struct {
    const char *text;
    const char *report;
    const char *where;
  } cases[] = {
      {"#pragma push_macro(\"m\" x\n", "error: invalid #pragma push_macro directive", "1:24"},
      {"#pragma pop_macro(m) y\n", "error: invalid #pragma pop_macro directive", "1:19"},
      {"#pragma push_macro x (\"m\")\n", "error: invalid #pragma push_macro directive", "1:20"},
      {"#pragma pop_macro\n", "error: invalid #pragma pop_macro directive", "1:18"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    expand(f, c.text);
    ASSERT_EQ(f.reports, (words{c.report})) << c.text;
    EXPECT_EQ(f.where(f.report_locations[0]), c.where) << c.text;
  }
}

// The operand names the identifier its text starts with, checked as a
// name read from the source is.
TEST(Pragmas, MacroStackOperandIsAnIdentifier)
{
  struct {
    const char *text;
    const char *expected;
    words reports;
  } cases[] = {
      {"#define X 1\n#pragma push_macro(\"X \")\n#undef X\n#pragma pop_macro(\"X \")\nX", "1",
       {}},
      {"#define X 1\n#pragma push_macro(\"X+1\")\n#undef X\n#pragma pop_macro(\"X+1\")\nX",
       "1", {}},
      {"#pragma VUZ poison Z\n#pragma push_macro(\"Z\")\n", "",
       {"error: attempt to use poisoned \"Z\""}},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    EXPECT_EQ(expand(f, c.text), c.expected) << c.text;
    EXPECT_EQ(f.reports, c.reports) << c.text;
  }
}

// The restored definition is given to its node, not read as a #define
// line: a name poisoned meanwhile is reported once, by the pragma's operand.
TEST(Pragmas, PopMacroDefinesTheNodeItself)
{
  pp_fixture f;
  expand(f, "#define Z(a) a+1\n#pragma push_macro(\"Z\")\n#pragma VUZ poison Z\n"
            "#pragma pop_macro(\"Z\")\n");
  EXPECT_EQ(f.reports, (words{"warning: poisoning existing macro \"Z\"",
                              "error: attempt to use poisoned \"Z\""}));
  EXPECT_STREQ(reinterpret_cast<const char *>(
                   cpp_macro_text(f.reader, cpp_intern(f.reader, "Z", 1))),
               "Z(a) a+1");
}

// Restoring a macro changes its definition: the client hears of the
// change before it, and of no #define.
TEST(Pragmas, PopMacroIsNoDefinition)
{
  static int before, defines;
  before = defines = 0;
  pp_fixture f;
  f.reader->callbacks.before_define = [](preprocessor_reader *) { before++; };
  f.reader->callbacks.define = [](preprocessor_reader *, location_t, ident_node *) { defines++; };
  EXPECT_EQ(expand(f, "#define m 1\n#pragma push_macro(\"m\")\n#pragma pop_macro(\"m\")\nm"),
            "1");
  EXPECT_EQ(before, 2);
  EXPECT_EQ(defines, 1);
}

// The failed operator is left as a name; the end of the input stays the end.
TEST(Pragmas, OperatorAtTheEndOfTheInput)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"a _Pragma(\"x\"", "a _Pragma"},
      {"a _Pragma", "a _Pragma"},
      {"a _Pragma(", "a _Pragma"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    define_special_builtins(f.reader);
    EXPECT_EQ(expand(f, c.text), c.expected) << c.text;
    EXPECT_EQ(f.reports, (words{"error: _Pragma takes a parenthesized string literal"})) << c.text;
    EXPECT_EQ(cpp_next_token(f.reader)->kind, TK_EOF);
  }
}

TEST(Pragmas, OperatorInsideAnExpansion)
{
  EXPECT_EQ(expand_in("#define min(a,b) a\n"
                      "#define PUSH _Pragma(\"push_macro(\\\"min\\\")\") x\n"
                      "#define POP _Pragma(L\"pop_macro(\\\"min\\\")\")\n"
                      "PUSH\n#undef min\nmin(1,2)\nPOP\nmin(1,2)"),
            "x min ( 1 , 2 ) 1");
}

// A misspelt directive that the client recognises gets its suggestion as a
// fix-it hint replacing the name.
TEST(Conditionals, SuggestedDirectiveIsAFixIt)
{
  pp_fixture f;
  // Hints are placed through the diagnostics' line table.
  line_table = f.lines.get();
  f.reader->callbacks.suggest_directive = [](preprocessor_reader *, const char *,
                                             const char *const *) { return "define"; };
  expand(f, "#defin X\n");
  line_table = nullptr;
  EXPECT_EQ(f.reports, (words{"error: invalid preprocessing directive #defin; did you mean "
                              "#define?"}));
  ASSERT_EQ(f.report_fixits.size(), 1u);
  EXPECT_EQ(f.report_fixits[0], (words{"define"}));
  EXPECT_EQ(f.where(f.report_locations[0]), "1:2");
}

// A deferred pragma written with the operator reaches the client as one
// written as a directive does, in macros too, where it stands at the
// expansion and is never expanded again.
TEST(Pragmas, DeferredThroughTheOperator)
{
  struct {
    bool expands;
    const char *text;
    const char *expected;
  } cases[] = {
      {false, "a _Pragma(\"omp parallel x\") b", "a PRAGMA 7 x EOL b"},
      {false, "_Pragma(L\"omp parallel\")", "PRAGMA 7 EOL"},
      {false, "#define N 4\n#define P _Pragma(\"omp parallel N\") c\nP N", "PRAGMA 7 N EOL c 4"},
      {true, "#define N 4\n#define P _Pragma(\"omp parallel N\") c\nP N", "PRAGMA 7 4 EOL c 4"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    define_special_builtins(f.reader);
    ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, c.expands, false));
    EXPECT_EQ(expand(f, c.text), c.expected) << c.text;
    EXPECT_TRUE(f.reports.empty()) << c.text;
  }
}

// An expanded deferred pragma's line is printed, so it keeps the padding
// that stops its tokens from pasting, as any other line does.
TEST(Pragmas, DeferredLineKeepsItsPadding)
{
  pp_fixture f;
  register_deferred_pragma(f.reader, "ns", "k", 5, true, false);
  f.push("#define P +\n#define Q(x) x\n#pragma ns k P+ Q(-)-\nP+ Q(-)-\n");
  std::string lines[2];
  int line = 0;
  for (const preproc_token *t = cpp_next_token(f.reader); t->kind != TK_EOF;
       t = cpp_next_token(f.reader)) {
    if (t->kind == TK_PRAGMA)
      continue;
    if (t->kind == TK_PRAGMA_EOL)
      line = 1;
    else
      lines[line] += t->kind == TK_PADDING ? "[pad] " : f.spell(t) + " ";
  }
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_NE(lines[1].find("+ [pad] +"), std::string::npos) << lines[1];
}

TEST(Pragmas, OperatorTokensStandAtTheExpansion)
{
  pp_fixture f;
  define_special_builtins(f.reader);
  register_deferred_pragma(f.reader, "omp", "parallel", 7, false, false);
  f.push("#define P x _Pragma(\"omp parallel y\")\nP\n");
  // Each token: where it stands in the file (x as spelled), and its flags.
  words seen;
  for (const preproc_token *t = cpp_next_token(f.reader); t->kind != TK_EOF;
       t = cpp_next_token(f.reader)) {
    if (t->kind == TK_PADDING)
      continue;
    location_t at =
        linemap_resolve_location(f.lines.get(), t->location, RESOLVE_TO_EXPANSION, nullptr);
    seen.push_back(f.where(at) + " " +
                   std::to_string(t->flags & (TOK_NO_EXPAND | TOK_FROM_PRAGMA_OPERATOR)));
  }
  std::string pragma = std::to_string(TOK_NO_EXPAND | TOK_FROM_PRAGMA_OPERATOR);
  std::string no_expand = std::to_string(TOK_NO_EXPAND);
  EXPECT_EQ(seen, (words{"1:11 0", "2:1 " + pragma, "2:1 " + no_expand, "2:1 " + no_expand}));
}

// A pragma the operator runs ends the line of output: the client hears of
// a new line at the operator's closing parenthesis.
TEST(Pragmas, OperatorRunningAPragmaStartsANewLine)
{
  static words lines;
  lines.clear();
  pp_fixture f;
  define_special_builtins(f.reader);
  f.reader->callbacks.line_change = [](preprocessor_reader *, const preproc_token *token, int) {
    lines.push_back(pp_fixture::active()->where(token->location));
  };
  EXPECT_EQ(expand(f, "a _Pragma(\"VUZ poison q\") b\n"), "a b");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "1:25"), 1) << lines.size();
}

// A time whose year does not fit four digits gives the unknown texts, not a
// longer literal.
TEST(Macro, DateOutsideFourDigitYears)
{
  struct {
    int64_t epoch;
    const char *expected;
  } cases[] = {
      {0, "\"Jan  1 1970\" \"00:00:00\""},
      {int64_t(1) << 50, "\"??? ?? ????\" \"??:??:??\""},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    static int64_t epoch;
    epoch = c.epoch;
    f.reader->callbacks.source_date_epoch = [](preprocessor_reader *) { return epoch; };
    define_special_builtins(f.reader);
    EXPECT_EQ(expand(f, "__DATE__ __TIME__"), c.expected) << c.epoch;
  }
}

// The parameter count is a 16-bit field: one more parameter is refused.
TEST(Macro, TooManyParameters)
{
  std::string text = "#define m(";
  for (uint32_t i = 0; i <= MAX_MACRO_PARAMETERS; i++)
    text += (i ? ",p" : "p") + std::to_string(i);
  text += ") p0\nm";
  pp_fixture f;
  EXPECT_EQ(expand(f, text), "m");
  EXPECT_EQ(f.reports, (words{"error: macro has more than 65535 parameters"}));
}

TEST(Assertions, AnswersAndTests)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#assert machine(arm)\n#if #machine(arm) && !#machine(x86) && #machine\nyes\n#endif", "yes"},
      {"#assert m(a b)\n#assert m(c)\n#unassert m(a b)\n#if #m(c) && !#m(a b)\nyes\n#endif",
       "yes"},
      {"#assert m(a)\n#assert m(b)\n#unassert m\n#if #m\nyes\n#else\nno\n#endif", "no"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(c.text), c.expected) << c.text;
  struct {
    const char *text;
    const char *report;
  } errors[] = {
      {"#assert\n", "error: assertion without predicate"},
      {"#assert 3\n", "error: predicate must be an identifier"},
      {"#assert p\n", "error: missing '(' after predicate"},
      {"#assert p()\n", "error: predicate's answer is empty"},
      {"#assert p(a\n", "error: missing ')' to complete answer"},
      {"#assert p(a) #assert p( a)\n", "pedwarn: extra tokens at end of #assert directive"},
  };
  // Each after the warning that the directive itself is deprecated.
  EXPECT_EQ(first_report("#assert p(a)\n"), "warning: #assert is a deprecated VUZ extension [1]");
  for (const auto &c : errors)
    EXPECT_EQ(first_report(c.text, 1), c.report) << c.text;
}

// What read_assertion gives each directive: the predicate and its answer's
// token count, or "none" after an error; and the token it leaves next.
TEST(Assertions, ReadingAPredicateAndAnswer)
{
  struct {
    directive_index index;
    const char *text;
    const char *read; // "predicate count", "predicate -" without an answer
    const char *next;
  } cases[] = {
      {D_ASSERT, "p(a b) z", "#p 2", "z"},
      {D_IF, "p(a) z", "#p 1", "z"},
      // The answer is optional in #if, and after #unassert at the line's end.
      {D_IF, "p z", "#p -", "z"},
      {D_UNASSERT, "p", "#p -", ""},
      // Elsewhere the token in the place of "(" is taken with the error.
      {D_ASSERT, "p z", "none", ""},
      {D_UNASSERT, "p z", "none", ""},
      {D_IF, "p() z", "none", "z"},
      {D_IF, "3 z", "none", "z"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    f.push(c.text);
    assertion_answer *answer = reinterpret_cast<assertion_answer *>(1);
    const ident_node *predicate = read_assertion(f.reader, c.index, &answer);
    std::string read = "none";
    if (predicate)
      read = std::string(predicate->text) + " " +
             (answer ? std::to_string(answer->count) : std::string("-"));
    EXPECT_EQ(read, c.read) << c.text;
    const preproc_token *next = cpp_next_token(f.reader);
    EXPECT_EQ(next->kind == TK_EOF ? "" : f.spell(next), c.next) << c.text;
  }
}

TEST(Assertions, FromClientText)
{
  pp_fixture f;
  assert_from_text(f.reader, "cpu=arm");
  EXPECT_EQ(expand(f, "#if #cpu(arm)\nyes\n#endif"), "yes");
  unassert_from_text(f.reader, "cpu");
  EXPECT_EQ(cpp_intern(f.reader, "#cpu", 4)->value.answers, nullptr);
}

TEST(Assertions, ReassertingWarns)
{
  pp_fixture f;
  expand(f, "#assert p(a)\n#assert p( a)\n");
  EXPECT_EQ(f.reports.back(), "warning: \"p\" re-asserted");
  EXPECT_NE(cpp_intern(f.reader, "#p", 2)->value.answers, nullptr);
}

// A token read from an expansion that ended meanwhile is given back whole.
TEST(Macro, BackingUpPastAnEndedExpansion)
{
  pp_fixture f;
  define_special_builtins(f.reader);
  EXPECT_EQ(expand(f, "#define f()\n#define g f\n__has_include g"), "0");
  EXPECT_EQ(f.reports[0], "error: \"__has_include\" used outside of preprocessing directive");
}

// Deferred pragmas reach the client as PRAGMA, the line's tokens and
// PRAGMA_EOL; registering a name twice is refused.
TEST(Pragmas, DeferredAndRegistered)
{
  pp_fixture f;
  ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, false, false));
  EXPECT_FALSE(register_deferred_pragma(f.reader, "omp", "parallel", 8, false, false));
  EXPECT_FALSE(register_pragma(f.reader, nullptr, "once", [](preprocessor_reader *) {}, false));
  EXPECT_EQ(f.reports, (words{"ice: #pragma omp parallel is already registered",
                              "ice: #pragma once is already registered"}));
  // Not expanded on the pragma's line, expanded again after it.
  EXPECT_EQ(expand(f, "#define N 4\n#pragma omp parallel num(N)\nN\n"),
            "PRAGMA 7 num ( N ) EOL 4");
}

// The end of a deferred pragma's line carries no flags of its own, whatever
// white space came before the newline.
TEST(Pragmas, DeferredLineEndHasNoFlags)
{
  for (const char *text : {"#pragma omp parallel x   \n", "#pragma omp parallel x /* c */\n",
                           "#pragma omp parallel \t\n", "#pragma omp parallel x"}) {
    pp_fixture f;
    ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, false, false));
    f.push(text);
    const preproc_token *t = cpp_next_token(f.reader);
    while (t->kind != TK_PRAGMA_EOL && t->kind != TK_EOF)
      t = cpp_next_token(f.reader);
    ASSERT_EQ(t->kind, TK_PRAGMA_EOL) << text;
    EXPECT_EQ(t->flags, 0u) << text;
  }
}

// A pragma among a macro's arguments is read before the expansion, its line
// expanded only when the pragma allows it, and not rescanned there.
TEST(Pragmas, LiftedOutOfArguments)
{
  struct {
    bool expands;
    const char *text;
    const char *expected;
  } cases[] = {
      {false, "#define N 4\n#define f(x) [x]\nf(1\n#pragma omp parallel N\n+2) N",
       "PRAGMA 7 N EOL [ 1 + 2 ] 4"},
      {true, "#define N 4\n#define f(x) [x]\nf(1\n#pragma omp parallel N\n+2) N",
       "PRAGMA 7 4 EOL [ 1 + 2 ] 4"},
      {false, "#define f(x, y) x y\nf(\n#pragma omp parallel a\n1,\n#pragma omp parallel b\n2)",
       "PRAGMA 7 a EOL PRAGMA 7 b EOL 1 2"},
      {false, "#define f() x\nf(\n#pragma omp parallel\n)", "PRAGMA 7 EOL x"},
      // An invocation that fails takes its pragmas with it.
      {false, "#define f(x) [x]\nf(1,\n#pragma omp parallel\n2) z", "f z"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    ASSERT_TRUE(register_deferred_pragma(f.reader, "omp", "parallel", 7, c.expands, false));
    EXPECT_EQ(expand(f, c.text), c.expected) << c.text;
  }
}

// #elifdef is a directive in C2X and in the dialects with extensions; in
// strict C17 it is an unknown name.
TEST(Conditionals, ElifdefByDialect)
{
  const char *text = "#define A\n#if 0\n#elifdef A\nyes\n#endif\n";
  pp_fixture extended(DIALECT_KAV17);
  EXPECT_EQ(expand(extended, text), "yes");
  EXPECT_TRUE(extended.reports.empty());
  // Not a conditional there: the group it would end goes on.
  pp_fixture strict(DIALECT_STDC17);
  EXPECT_EQ(expand(strict, "#if 1\nyes\n#elifdef A\nno\n#endif\n"), "yes no");
  ASSERT_FALSE(strict.reports.empty());
  EXPECT_EQ(strict.reports[0], "error: invalid preprocessing directive #elifdef");
}

// A directive among a macro's arguments takes effect before the expansion.
TEST(Conditionals, DirectiveAmongArguments)
{
  EXPECT_EQ(expand_in("#define f(x) [x]\nf(1\n#if 1\n+2\n#else\n+3\n#endif\n)"),
            "[ 1 + 2 ]");
}

TEST(Macro, EmptyArgumentsBeforeC99)
{
  struct {
    source_dialect dialect;
    bool pedantic;
    const char *report;
  } cases[] = {
      {DIALECT_STDC89, true,
       "pedwarn: invoking macro m argument 1: empty macro arguments are undefined in ISO C90 [22]"},
      {DIALECT_CXX98, true,
       "pedwarn: invoking macro m argument 1: empty macro arguments are undefined in ISO C++98 "
       "[22]"},
      {DIALECT_STDC89, false, "<none>"},
      {DIALECT_STDC17, true, "<none>"},
  };
  for (const auto &c : cases) {
    pp_fixture f(c.dialect);
    f.options()->pedantic_mode = c.pedantic;
    expand(f, "#define m(x) [x]\nm()");
    EXPECT_EQ(f.reports.empty() ? "<none>" : f.reports[0], c.report) << dialect_name(c.dialect);
  }
}

// An operator at the end of a macro argument looks at the argument's end but
// does not read past it.
TEST(Macro, HasIncludeAtTheEndOfAnArgument)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#define e __has_include\n#define g(x,y) x\ng(e,) z", "0 z"},
      {"#define e __has_include(\n#define g(x,y) x\ng(e,) z", "0 z"},
      {"#define e __has_include(<a\n#define g(x,y) x\ng(e,) z", "0 z"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(c.text), c.expected) << c.text;
}

// A conditional macro asks the client, which may look ahead, whether to
// expand; the name stays when the client names no macro.
TEST(Macro, ConditionalMacroAsksTheClient)
{
  struct {
    bool client;
    const char *expected;
  } cases[] = {
      {true, "__vector int ; vector x ; vector"},
      {false, "vector int ; vector x ; vector"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    if (c.client)
      f.reader->callbacks.macro_to_expand = [](preprocessor_reader *reader,
                                               const preproc_token *name) -> ident_node * {
        const preproc_token *next = cpp_look_ahead(reader, 0);
        return cpp_token_is_name(next, "int") ? name->value.ident.node : nullptr;
      };
    expand(f, "#define vector __vector\n");
    cpp_intern(f.reader, "vector", 6)->flags |= IDF_CONDITIONAL;
    EXPECT_EQ(expand(f, "vector int; vector x; vector"), c.expected) << c.client;
  }
}

// __VA_OPT__ before C++20 is for pedantic users to hear of; outside a
// variadic macro's body it is a pedantic warning, never an error.
TEST(Macro, VaOptUseChecks)
{
  struct {
    source_dialect dialect;
    bool pedantic;
    const char *text;
    const char *report;
  } cases[] = {
      {DIALECT_CXX17, true, "__VA_OPT__", "pedwarn: __VA_OPT__ is not available until C++20"},
      {DIALECT_CXX17, true, "#define v(...) __VA_OPT__(x)\n",
       "pedwarn: __VA_OPT__ is not available until C++20"},
      {DIALECT_CXX17, false, "__VA_OPT__",
       "pedwarn: __VA_OPT__ can only appear in the expansion of a C++20 variadic macro"},
      {DIALECT_CXX20, true, "__VA_OPT__",
       "pedwarn: __VA_OPT__ can only appear in the expansion of a C++20 variadic macro"},
      {DIALECT_CXX17, false, "#define v(...) __VA_OPT__(x)\n", "<none>"},
      {DIALECT_CXX20, true, "#define v(...) __VA_OPT__(x)\n", "<none>"},
  };
  for (const auto &c : cases) {
    pp_fixture f(c.dialect);
    f.options()->pedantic_mode = c.pedantic;
    expand(f, c.text);
    EXPECT_EQ(f.reports.empty() ? "<none>" : f.reports[0], c.report)
        << dialect_name(c.dialect) << " " << c.text;
  }
}

// The group rules of a definition hold in variadic macros only, and a "##"
// breaks them only at the group's own edges.
TEST(Macro, VaOptGroupsInDefinitions)
{
  const char *outside =
      "pedwarn: __VA_OPT__ can only appear in the expansion of a C++20 variadic macro";
  struct {
    const char *text;
    const char *expected;
    words reports;
  } cases[] = {
      {"#define D(x,...) x ## __VA_OPT__() ## x\nD(p) D(p,1)", "pp pp", {}},
      {"#define D(x,...) x ## __VA_OPT__(y) ## x\nD(p,1)", "pyp", {}},
      {"#define f(x) __VA_OPT__ x\nf(1)", "__VA_OPT__ 1", {outside}},
      {"#define Y __VA_OPT__(__VA_OPT__)\nY", "__VA_OPT__ ( __VA_OPT__ )", {outside, outside}},
      {"#define e(...) __VA_OPT__(## a)\n", "",
       {"error: '##' cannot appear at either end of __VA_OPT__"}},
      {"#define e(...) __VA_OPT__(a ##)\n", "",
       {"error: '##' cannot appear at either end of __VA_OPT__"}},
      {"#define e(...) __VA_OPT__ a\n", "",
       {"error: __VA_OPT__ must be followed by an open parenthesis"}},
      {"#define e(...) __VA_OPT__(__VA_OPT__())\n", "",
       {"error: __VA_OPT__ may not appear in a __VA_OPT__"}},
      {"#define e(...) __VA_OPT__((a)\n", "", {"error: unterminated __VA_OPT__"}},
  };
  for (const auto &c : cases) {
    pp_fixture f(DIALECT_CXX20);
    EXPECT_EQ(expand(f, c.text), c.expected) << c.text;
    EXPECT_EQ(f.reports, c.reports) << c.text;
  }
}

// The reader says whether the token just read came from a macro defined in
// a system header; a pasted token is still the macro's.
TEST(Macro, InSystemMacro)
{
  pp_fixture f;
  expand(f, "#define s a ## b c\n#define u b\n");
  cpp_intern(f.reader, "s", 1)->value.macro->system_header = 1;
  f.push("s u c");
  std::string seen;
  for (const preproc_token *t = cpp_next_token(f.reader); t->kind != TK_EOF;
       t = cpp_next_token(f.reader))
    if (t->kind != TK_PADDING)
      seen += f.spell(t) + (cpp_in_system_macro(f.reader) ? "+ " : "- ");
  EXPECT_EQ(seen, "ab+ c+ b- c- ");
}

// Looking ahead across a header-unit import line leaves the line to be read
// as if nobody had looked: its header still becomes a header name.
TEST(Macro, LookAheadBeforeAnImportLine)
{
  const char *text = "a\n__import <h>;\nb";
  pp_fixture plain(DIALECT_CXX20);
  plain.options()->module_support = 1;
  std::string expected = expand(plain, text);
  EXPECT_EQ(expected, "a import  ./h ; EOL b");
  for (uint32_t index = 0; index < 6; index++) {
    pp_fixture f(DIALECT_CXX20);
    f.options()->module_support = 1;
    f.push(text);
    cpp_look_ahead(f.reader, index);
    EXPECT_EQ(f.expanded(), expected) << index;
  }
}

// Under -Wtraditional a parameter's name inside a literal of a
// function-like macro's body is reported once per literal.
TEST(Macro, TraditionalStringifyWarning)
{
  struct {
    const char *text;
    const char *report;
  } cases[] = {
      {"#define m(x, y) \"a y x\"\n",
       "warning: macro argument \"y\" would be stringified in traditional C [6]"},
      {"#define m(x) 'y' x\n", "<none>"},
      {"#define m(x) 'xx' \"1x x\"\n",
       "warning: macro argument \"x\" would be stringified in traditional C [6]"},
      {"#define m(x) \"2x\"\n", "<none>"},
      {"#define x \"a x\"\n", "<none>"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    f.options()->warn_traditional_c = 1;
    expand(f, c.text);
    EXPECT_EQ(f.reports.empty() ? "<none>" : f.reports[0], c.report) << c.text;
  }
}

// A client's string allocator owns macro definitions as it owns names.
TEST(Macro, DefinitionsComeFromTheStringAllocator)
{
  static std::vector<void *> given;
  given.clear();
  {
    pp_fixture f;
    f.reader->idents->string_allocator = [](uint64_t size) -> void * {
      given.push_back(malloc(size));
      return given.back();
    };
    expand(f, "#define m(a, b) a + b\n#define n 1\n");
    for (const char *name : {"m", "n"}) {
      const macro_def *macro = cpp_intern(f.reader, name, 1)->value.macro;
      EXPECT_NE(std::find(given.begin(), given.end(), macro), given.end()) << name;
    }
    EXPECT_EQ(expand(f, "m(n, 2)"), "1 + 2");
  }
  for (void *block : given)
    free(block);
}

// An unknown pragma whose name came from a macro is given back to the
// client as read, and is not expanded again.
TEST(Pragmas, UnknownPragmaNameFromAMacro)
{
  static std::string seen;
  seen.clear();
  pp_fixture f;
  ASSERT_TRUE(register_deferred_pragma(f.reader, "ns", "known", 5, false, true));
  f.reader->callbacks.unknown_pragma = [](preprocessor_reader *reader, location_t) {
    for (const preproc_token *t = cpp_next_token(reader); t->kind != TK_EOF;
         t = cpp_next_token(reader))
      if (t->kind != TK_PADDING)
        seen += std::string(reinterpret_cast<const char *>(cpp_token_text(reader, t))) +
                ((t->flags & TOK_NO_EXPAND) ? "! " : " ");
  };
  EXPECT_EQ(expand(f, "#define ns zz\n#define N other\n#pragma ns N tail\nns"), "zz");
  EXPECT_EQ(seen, "ns! other! tail ");
}

// Found by the random programs beside clang: a macro invoked twice among
// its own arguments expands both times, and a stringified __VA_OPT__ keeps
// the white space before its operator.
TEST(Macro, ArgumentsAndStringifiedGroups)
{
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#define F1(...) __VA_ARGS__ #__VA_ARGS__\nF1(F1(y [), F1(E, ))",
       "y [ \"y [\" , E , \"E,\" \"F1(y [), F1(E, )\""},
      {"#define F(p0, ...) <p0> __VA_ARGS__\nF(F(1), F(2), F(3))", "< < 1 > > < 2 > , < 3 >"},
      {"#define F2(...) #__VA_ARGS__ #__VA_OPT__(__VA_ARGS__) #__VA_OPT__(1.5) a\n"
       "#define S(x) #x\n#define X(x) S(x)\nX(F2())",
       "\"\\\"\\\" \\\"\\\" \\\"\\\" a\""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand_in(c.text), c.expected) << c.text;
}
