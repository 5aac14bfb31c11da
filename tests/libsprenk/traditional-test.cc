// Traditional preprocessing: the logical lines it hands out, macro text
// substitution, comments, directives read through overlays, definitions
// and their comparison, and how constructs left open at the end of a
// buffer are reported.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The logical lines of SOURCE in traditional mode.
words trad_lines(pp_fixture &pp, const std::string &source)
{
  pp.options()->traditional_mode = 1;
  reader_post_options(pp.reader);
  pp.posted = true;
  define_special_builtins(pp.reader);
  pp.push(source);
  words lines;
  const unsigned char *text;
  uint64_t length;
  location_t first_line;
  while (cpp_read_traditional_line(pp.reader, &text, &length, &first_line))
    lines.emplace_back(reinterpret_cast<const char *>(text), length);
  return lines;
}

struct trad_case {
  const char *name;
  const char *source;
  words lines;
  words reports;
};

const trad_case expansion_cases[] = {
    {"object-like", "#define A x y\nA+A\n", {"x y+x y"}, {}},
    {"self-reference expands once", "#define foo foo bar\nfoo\n", {"foo bar"},
     {"error: detected recursion whilst expanding macro \"foo\""}},
    {"function-like name alone stays", "#define f(x) [x]\nf + f(1)\n", {"f + [1]"}, {}},
    {"arguments over lines", "#define f(a,b) a-b\nf(1,\n2) z\n", {"1- 2 z"}, {}},
    {"name and ( on separate lines", "#define f(a) <a>\nf\n(1)\n", {"<1>"}, {}},
    {"name at a line's end keeps its newline", "#define f(x) x\nf\nnext\n", {"f\nnext"}, {}},
    {"directive line after a name waiting for (", "#define f(x) x\nf\n#define A 1\nA\n",
     {"f", "1"}, {}},
    {"empty argument is none", "#define g() G\ng() g( ) g\n", {"G G g"}, {}},
    {"nested parentheses and commas", "#define h(a,b) [a|b]\nh((1,2),(3))\n", {"[(1,2)|(3)]"},
     {}},
    {"names inside quotes stay", "#define A x\n\"A\" 'A' A\n", {"\"A\" 'A' x"}, {}},
    {"parameters inside the definition's strings", "#define s(x) \"x\"\ns(abc)\n",
     {"\"abc\""}, {}},
    {"quote of an argument inside a string is escaped", "#define s(x) \"x\"\ns(\"q\\n\")\n",
     {"\"\\\"q\\\\n\\\"\""}, {}},
    {"argument quotes outside strings stay", "#define p(x) x\np(\"q\")\n", {"\"q\""}, {}},
    {"macro in the replacement is rescanned", "#define A B\n#define B 2\nA\n", {"2"}, {}},
    {"function-like macro finds ( after its text", "#define f(x) x f\nf(1)(2)\n", {"1 2 f"}, {}},
    {"endless function-like recursion", "#define f(x) f(x)\nf(1)\n", {"f(1)"},
     {"error: detected recursion whilst expanding macro \"f\""}},
    {"recursion on every branch is reported once", "#define A B B\n#define B A A\nA\nA\n",
     {"A A A A", "A A A A"},
     {"error: detected recursion whilst expanding macro \"A\"",
      "error: detected recursion whilst expanding macro \"A\""}},
    {"wrong argument count keeps the call", "#define f(x) x\nf(1,2)\n", {"f(1,2)"},
     {"error: macro \"f\" passed 2 arguments, but takes just 1",
      "note: macro \"f\" defined here"}},
    {"__LINE__ is the line of the text", "a __LINE__\n\n__LINE__\n", {"a 1", "", "3"}, {}},
    {"unterminated quote ends with its line", "#define A 1\n'a A\nA\n", {"'a A", "1"}, {}},
};

const trad_case directive_cases[] = {
    {"indented # is text", " #define A 1\nA\n", {" #define A 1", "A"}, {}},
    {"# after text is text", "x #define A 1\nA\n", {"x #define A 1", "A"}, {}},
    {"null directive", "#\n# /* c */\nx\n", {"x"}, {}},
    {"conditional with defined", "#define A\n#if defined A && defined(A)\nyes\n#else\nno\n#endif\n",
     {"yes"}, {}},
    {"condition expands macros", "#define N 3\n#if N > 2\nbig\n#endif\n", {"big"}, {}},
    {"skipped group", "#if 0\n#define A 1\nA\n#endif\nA\n", {"A"}, {}},
    {"comment in #if is a space", "#if 1/**/+1 == 2\nyes\n#endif\n", {"yes"}, {}},
    {"#undef", "#define A 1\n#undef A\nA\n", {"A"}, {}},
    {"invalid directive", "#foo\nx\n", {"x"}, {"error: invalid preprocessing directive #foo"}},
    {"unterminated #if", "#if 1\nx\n", {"x"}, {"error: unterminated #if"}},
    {"missing header in __has_include", "#if __has_include(\"no-such-header.h\")\nyes\n#else\nno\n#endif\n",
     {"no"}, {}},
};

const trad_case end_of_buffer_cases[] = {
    {"arguments to the end", "#define f(x) x\nf(1,\n", {"f(1,"},
     {"error: unterminated argument list invoking macro \"f\""}},
    {"argument quote to the end", "#define f(x) x\nf(\"1)\n", {"f(\"1)"},
     {"error: unterminated argument list invoking macro \"f\""}},
    {"comment to the end", "a /* b\nc", {"a "}, {"error: unterminated comment"}},
    {"comment in a definition", "#define A 1 /* x", {}, {"error: unterminated comment"}},
    {"backslash at the end", "a\\", {"a\\"}, {}},
    {"quote at the end", "a '", {"a '"}, {}},
    {"name waiting for ( at the end", "#define f(x) x\nf", {"f"}, {}},
    {"parameter list to the end", "#define f(a,", {},
     {"error: syntax error in macro parameter list"}},
};

void run_cases(const trad_case *cases, size_t count)
{
  for (size_t i = 0; i < count; i++) {
    const trad_case &c = cases[i];
    pp_fixture pp;
    EXPECT_EQ(trad_lines(pp, c.source), c.lines) << c.name;
    EXPECT_EQ(pp.reports, c.reports) << c.name;
  }
}

TEST(Traditional, Expansion)
{
  run_cases(expansion_cases, sizeof expansion_cases / sizeof expansion_cases[0]);
}

TEST(Traditional, Directives)
{
  run_cases(directive_cases, sizeof directive_cases / sizeof directive_cases[0]);
}

TEST(Traditional, UnterminatedAtEndOfBuffer)
{
  run_cases(end_of_buffer_cases, sizeof end_of_buffer_cases / sizeof end_of_buffer_cases[0]);
}

// A directive is read from its scanned-out text. Where the tokeniser sees
// more than the character scan did (here a digit separator hides the
// quote), a comment left open ends with that text; it never reads on into
// the buffer beneath.
TEST(Traditional, CommentOpenAtTheEndOfADirectivesText)
{
  pp_fixture pp(DIALECT_CXX23);
  EXPECT_EQ(trad_lines(pp, "#2\"\"7'M/*"), words{});
  EXPECT_EQ(pp.reports, (words{"error: invalid flag \"7'M\" in line directive",
                               "error: unterminated comment"}));
  // The same inside a built-in's arguments, which are read from made-up text.
  pp_fixture call(DIALECT_CXX23);
  EXPECT_EQ(trad_lines(call, "__has_include(7'M/*')\n"), words{"0"});
  EXPECT_EQ(call.reports, (words{"error: \"__has_include\" used outside of preprocessing directive",
                                 "error: operator \"__has_include\" requires a header-name",
                                 "error: unterminated comment",
                                 "error: missing ')' after \"__has_include\" operand"}));
  pp_fixture next(DIALECT_CXX23);
  EXPECT_EQ(trad_lines(next, "#line 3 \"f\" 7'M /*\nafter\n"), words{"after"});
}

// The line is counted when it has been scanned out, before the directive
// or built-in reads it as tokens; reports still name the line it began on.
TEST(Traditional, ReportsNameTheLineOfTheDirectiveOrCall)
{
  const char *sources[] = {"x\n#if (1\n#endif\n", "x\n#line x\n", "x\n#include 3\n",
                           "x\n#if 1 +\n#endif\n", "x\n#define f(a,a) a\n",
                           "x\n__has_include(3)\n", "x\n#if __has_include(3)\n#endif\n"};
  for (const char *source : sources) {
    pp_fixture pp;
    trad_lines(pp, source);
    ASSERT_FALSE(pp.reports.empty()) << source;
    EXPECT_EQ(pp.where(pp.report_locations[0]).substr(0, 2), "2:") << source;
  }
}

struct comment_case {
  const char *name;
  bool drop_comments;
  bool drop_in_macros;
  const char *source;
  words lines;
};

const comment_case comment_cases[] = {
    {"dropped", true, true, "a /* c */ b\n", {"a  b"}},
    {"kept", false, true, "a /* c */ b\n", {"a /* c */ b"}},
    {"kept over lines", false, true, "a /* c\nd */ b\n", {"a /* c\nd */ b"}},
    // A splice inside leaves the joined line shorter than the source lines.
    {"kept over a splice", false, true, "a /* x \\\n y\n z */ b\n", {"a /* x  y\n z */ b"}},
    {"dropped from a definition", true, true, "#define A a /* c */ b\nA\n", {"a  b"}},
    {"kept in a definition", false, false, "#define A a /* c */ b\nA\n", {"a /* c */ b"}},
    {"kept in a definition over lines", false, false, "#define A a /* x\ny */ b\nA\n",
     {"a /* x\ny */ b"}},
    {"comment between name and (", true, true, "#define f(x) <x>\nf /* c */ (1)\n", {"<1>"}},
    {"line comments are text", true, true, "a // b\n", {"a // b"}},
};

TEST(Traditional, Comments)
{
  for (const comment_case &c : comment_cases) {
    pp_fixture pp;
    pp.options()->drop_comments = c.drop_comments;
    pp.options()->drop_comments_in_macros = c.drop_in_macros;
    EXPECT_EQ(trad_lines(pp, c.source), c.lines) << c.name;
    EXPECT_EQ(pp.reports, words{}) << c.name;
  }
}

TEST(Traditional, AssemblerLines)
{
  pp_fixture pp(DIALECT_ASM);
  EXPECT_EQ(trad_lines(pp, "# a comment, can't close\n#define R r1\n\tmov R, $2 # R\n"
                           "#if 1\n\tldr R, [sp] @ it's R\n#endif\n# 5 \"x.s\"\n"),
            (words{"# a comment, can't close", "\tmov r1, $2 # r1", "\tldr r1, [sp] @ it's R",
                   "# 5 \"x.s\""}));
  EXPECT_EQ(pp.reports, words{});
}

std::string definition_text(pp_fixture &pp, const char *name)
{
  ident_node *node = cpp_intern(pp.reader, name, uint32_t(strlen(name)));
  const unsigned char *text = cpp_macro_text(pp.reader, node);
  return text ? reinterpret_cast<const char *>(text) : "(none)";
}

TEST(Traditional, DefinitionText)
{
  pp_fixture pp;
  trad_lines(pp, "#define f(a, b) a + b \"a\"\n#define g() x\n#define O  one  two  \n"
                 "#define h(p) p\n");
  EXPECT_EQ(definition_text(pp, "f"), "f(a,b) a + b \"a\"");
  EXPECT_EQ(definition_text(pp, "g"), "g() x");
  EXPECT_EQ(definition_text(pp, "O"), "O one  two");
  EXPECT_EQ(definition_text(pp, "h"), "h(p) p");
}

struct redefinition_case {
  const char *second;
  bool differs;
};

TEST(Traditional, RedefinitionComparesWhiteSpaceOutsideQuotes)
{
  const char *first = "#define f(a) a  +  \"x  y\" a\n";
  const redefinition_case cases[] = {
      {"#define f(a) a + \"x  y\" a\n", false},
      {"#define f(a) a\t+ \"x  y\"\ta\n", false},
      {"#define f(a) a + \"x y\" a\n", true},
      {"#define f(a) a + \"x  y\"\n", true},
      {"#define f(b) b + \"x  y\" b\n", true},
      {"#define f(a) a - \"x  y\" a\n", true},
  };
  for (const redefinition_case &c : cases) {
    pp_fixture pp;
    trad_lines(pp, std::string(first) + c.second);
    EXPECT_EQ(!pp.reports.empty(), c.differs) << c.second;
  }
}

// The substituted text is sized for the worst case, every argument byte
// escaped, plus the newline that ends it: a block boundary there would be
// written over without the newline's byte.
TEST(Traditional, SubstitutionBufferHoldsTheNewline)
{
  // 4 bytes of text and twice the quotes: 8008 and 8016 bytes, whole
  // blocks of scratch memory.
  for (size_t quotes : {2u, 4002u, 4006u}) {
    pp_fixture pp;
    std::string argument(quotes, '"');
    words lines = trad_lines(pp, "#define s(x) \"x  \"\ns(" + argument + ") s(" + argument + ")\n");
    std::string escaped;
    for (size_t i = 0; i < quotes; i++)
      escaped += "\\\"";
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0] == "\"" + escaped + "  \" \"" + escaped + "  \"") << quotes;
  }
}

TEST(Traditional, LineThatGrowsWithoutEndIsAnError)
{
  std::string source;
  for (int i = 0; i < 40; i++)
    source += "#define m" + std::to_string(i) + " m" + std::to_string(i + 1) + " m" +
              std::to_string(i + 1) + "\n";
  pp_fixture pp;
  words lines = trad_lines(pp, source + "m0\nafter\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "after");
  EXPECT_EQ(pp.reports, words{"error: expansion of this line exceeds 16777216 bytes"});
}

// A client that reads tokens in traditional mode sees text macros as the
// names they are: their text is no token list.
TEST(Traditional, TokenReadersLeaveTextMacrosAlone)
{
  pp_fixture pp;
  trad_lines(pp, "#define A 1\n#define f(x) <x>\n");
  pp.push("A f(2)\n");
  words spelled;
  for (const preproc_token *t = cpp_next_token(pp.reader); t->kind != TK_EOF;
       t = cpp_next_token(pp.reader))
    if (t->kind != TK_PADDING)
      spelled.push_back(pp.spell(t));
  EXPECT_EQ(spelled, (words{"A", "f", "(", "2", ")"}));
}

TEST(Traditional, FirstLineOfEachLogicalLine)
{
  pp_fixture pp;
  pp.options()->traditional_mode = 1;
  pp.push("#define f(x) x\na\nf(1,\n2)\n\nb\n");
  words where;
  const unsigned char *text;
  uint64_t length;
  location_t first_line;
  while (cpp_read_traditional_line(pp.reader, &text, &length, &first_line))
    where.push_back(pp.where(first_line));
  EXPECT_EQ(where, (words{"2:0", "3:0", "5:0", "6:0"}));
}

} // namespace

// Skipping the rest of a file reads it as text, as traditional input is
// read: its directives still run, and no quote in it is judged.
TEST(Traditional, SkipRestOfFileReadsLines)
{
  pp_fixture pp;
  pp.options()->traditional_mode = 1;
  reader_post_options(pp.reader);
  pp.posted = true;
  pp.push("first\nit's\n#define m 1\nlast\n");
  const unsigned char *text;
  uint64_t length;
  location_t first_line;
  ASSERT_TRUE(cpp_read_traditional_line(pp.reader, &text, &length, &first_line));
  cpp_skip_rest_of_file(pp.reader);
  EXPECT_EQ(pp.reports, words{});
  EXPECT_EQ(cpp_intern(pp.reader, "m", 1)->kind, IK_MACRO);
  EXPECT_FALSE(cpp_read_traditional_line(pp.reader, &text, &length, &first_line));
}

namespace {
void undef_b_on_change(preprocessor_reader *reader, const ordinary_map *)
{
  undef_from_text(reader, "B junk");
}
} // namespace

// A client's directive run in the middle of a traditional directive (here
// from the file change of a #line) reads its own scanned-out line; the
// line and overlay of the directive around it are kept.
TEST(Traditional, ClientDirectiveInsideADirective)
{
  pp_fixture pp;
  callbacks_of(pp.reader)->file_change = undef_b_on_change;
  EXPECT_EQ(trad_lines(pp, "#define B 2\n#line 10 \"f.c\" /* c */\nB x\nlast\n"),
            (words{"B x", "last"}));
  // Once as the text is pushed, once from the #line.
  EXPECT_EQ(pp.reports, (words(2, "pedwarn: extra tokens at end of #undef directive")));
}
