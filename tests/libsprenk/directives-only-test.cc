// Directives-only processing: which characters start comments, literals and
// directives, what text reaches the client, and how unterminated constructs
// at the end of a buffer are reported.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

namespace {

struct dironly_run {
  std::string text;  // the text handed out, "@LINE" for each location marker
  uint32_t lines = 0;
};

void collect(preprocessor_reader *, dironly_task task, void *data, const dironly_event &event)
{
  dironly_run *run = static_cast<dironly_run *>(data);
  if (task == DIRONLY_TEXT) {
    run->text.append(reinterpret_cast<const char *>(event.text), event.length);
    run->lines += event.lines;
  } else if (task == DIRONLY_LOCATION) {
    run->text += "@" + pp_fixture::active()->where(event.location);
  } else {
    pp_fixture *pp = pp_fixture::active();
    run->text += "[" + (event.token->kind == TK_PRAGMA_EOL ? "EOL" : pp->spell(event.token)) + "]";
  }
}

dironly_run process(pp_fixture &pp, const std::string &source)
{
  dironly_run run;
  pp.push(source);
  cpp_directive_only_process(pp.reader, &run, collect);
  return run;
}

bool defined(pp_fixture &pp, const char *name)
{
  return cpp_is_defined_macro(pp.reader, name, uint32_t(strlen(name))) != 0;
}

struct hiding_case {
  const char *name;
  source_dialect dialect;
  const char *source;
  bool a_defined; // whether "#define A" inside the source is a directive
};

// Each source holds "#define A 1" on a line of its own; whether that line is
// a directive tells how the scan classified what came before it.
const hiding_case hiding_cases[] = {
    {"string", DIALECT_KAV17, "\"x\n#define A 1\n\"\n", false},
    {"character literal", DIALECT_KAV17, "'x\n#define A 1\n'\n", false},
    {"block comment", DIALECT_KAV17, "/* x\n#define A 1\n*/\n", false},
    {"line comment continued", DIALECT_KAV17, "// x \\\n#define A 1\n", false},
    {"raw string", DIALECT_KAVXX17, "R\"d(\n#define A 1\n)d\"\n", false},
    {"raw string holding a quote", DIALECT_KAVXX17, "R\"(a\")\"\n#define A 1\n", true},
    {"xR quote is no raw string", DIALECT_KAVXX17, "xR\"(a\")\"\n#define A 1\n\"\n", false},
    {"u8R raw string", DIALECT_KAVXX17, "u8R\"(a\")\"\n#define A 1\n", true},
    {"digit separator", DIALECT_KAVXX17, "1'a\n#define A 1\n", true},
    {"hex digit separator", DIALECT_KAVXX17, "0x1'ff\n#define A 1\n", true},
    {"quote after identifier", DIALECT_KAVXX17, "x'a\n#define A 1\n'\n", false},
    {"no separators in C", DIALECT_KAV17, "1'a\n#define A 1\n'\n", false},
    {"comment before hash", DIALECT_KAV17, "/* c */ #define A 1\n", true},
    {"code before hash", DIALECT_KAV17, "x #define A 1\n", false},
    {"spliced directive name", DIALECT_KAV17, "#def\\\nine A 1\n", true},
    {"spliced comment opener", DIALECT_KAV17, "/\\\n* x\n#define A 1\n*/\n", false},
    {"spliced comment closer", DIALECT_KAV17, "/* x *\\\n/\n#define A 1\n", true},
    {"comment closer spliced twice", DIALECT_KAV17, "/* *\\\r\n\\\n/\n#define A 1\n", true},
    // Blanks between a backslash and the newline still splice.
    {"blanks before a splice", DIALECT_KAV17, "x \\ \n#define A 1\n", false},
    {"line comment spliced after blanks", DIALECT_KAV17, "// c \\ \t\n#define A 1\n", false},
    {"comment closer spliced after blanks", DIALECT_KAV17, "/* x *\\ \n/\n#define A 1\n", true},
    {"escaped quote", DIALECT_KAV17, "\"\\\"\n#define A 1\n\"\n", false},
    {"escaped backslash ends string", DIALECT_KAV17, "\"\\\\\"\n#define A 1\n", true},
    // R directly after a literal is its suffix, not a raw prefix.
    {"R after a closed literal", DIALECT_KAVXX17, "'a'R\"(\")\"\n#define A 1\n\"\n", false},
    {"R after a number", DIALECT_KAVXX17, "1e+R\"(\")\"\n#define A 1\n\"\n", false},
    // After a member access or an exponent sign with no number before it,
    // the quote opens a literal and R a raw string.
    {"quote after a member dot", DIALECT_KAVXX17, "a.'x\n#define A 1\n'\n", false},
    {"quote after a lone exponent sign", DIALECT_KAVXX17, "e+'x\n#define A 1\n'\n", false},
    {"raw string after a member dot", DIALECT_KAVXX17, "a.R\"(a\")\"\n#define A 1\n", true},
};

TEST(DirectivesOnly, HashInsideCommentsAndLiteralsIsNoDirective)
{
  for (const hiding_case &c : hiding_cases) {
    pp_fixture pp(c.dialect);
    process(pp, c.source);
    EXPECT_EQ(defined(pp, "A"), c.a_defined) << c.name;
    EXPECT_TRUE(pp.reports.empty()) << c.name << ": " << (pp.reports.empty() ? "" : pp.reports[0]);
  }
}

TEST(DirectivesOnly, TextBetweenDirectivesIsHandedOutUnchanged)
{
  struct text_case {
    const char *source;
    const char *text;
    uint32_t lines;
  } cases[] = {
      {"int a; /* # */\n#define X 1\nX y;\n", "int a; /* # */\n@3:0X y;\n", 2},
      // The last line without a newline gets the one at the limit.
      {"int a;\nint b", "int a;\nint b\n", 2},
      // Nothing is handed out while a group is skipped.
      {"#if 0\nhidden\n#else\nshown\n#endif\nafter\n", "@4:0shown\n@6:0after\n", 2},
      {"  # define Y\nz\n", "  @2:0z\n", 1},
      {"a\r\nb\rc\n", "a\r\nb\rc\n", 3},
      {"a\\\nb\n", "a\\\nb\n", 2},
      {"a\\", "a\\\n", 1},
      {"/* *\\\n/ x\n#define X\ny\n", "/* *\\\n/ x\n@4:0y\n", 3},
  };
  for (const text_case &c : cases) {
    pp_fixture pp;
    dironly_run run = process(pp, c.source);
    EXPECT_EQ(run.text, c.text) << c.source;
    EXPECT_EQ(run.lines, c.lines) << c.source;
    EXPECT_TRUE(pp.reports.empty()) << c.source;
  }
}

// A full run over the text must restore what pop_macro restores: the two
// pragmas stay in it, the pop after the #undef a client prints for it.
TEST(DirectivesOnly, MacroStackPragmasStayInTheText)
{
  pp_fixture pp;
  dironly_run run = process(pp, "#define M 1\n#pragma push_macro(\"M\")\n#undef M\n"
                                "#define M 2\n# pragma pop_macro(\"M\")\n#pragma once\n"
                                "#pragma pop_macro(\"M\")\nM\n");
  EXPECT_EQ(run.text, "@2:0#pragma push_macro(\"M\")\n@3:0@4:0@5:0# pragma pop_macro(\"M\")\n"
                      "@6:0@7:0@8:0M\n");
  EXPECT_EQ(run.lines, 3u);
  EXPECT_TRUE(defined(pp, "M"));
}

TEST(DirectivesOnly, IncludedHeadersAndConditionalsRun)
{
  pp_fixture pp;
  process(pp, "#define B 2\n#if B == 2\n#define C\n#endif\n#undef B\n");
  EXPECT_FALSE(defined(pp, "B"));
  EXPECT_TRUE(defined(pp, "C"));
}

// Constructs left open at the end of the buffer end with an error, and the
// scan never reads past the limit (the sanitizers watch that).
TEST(DirectivesOnly, UnterminatedConstructsAtTheEndAreReported)
{
  struct end_case {
    source_dialect dialect;
    const char *source;
    const char *report;
  } cases[] = {
      {DIALECT_KAV17, "x /* open", "error: unterminated comment"},
      {DIALECT_KAV17, "x /* open\n", "error: unterminated comment"},
      {DIALECT_KAV17, "\"open", "error: unterminated literal"},
      {DIALECT_KAV17, "'open\\", "error: unterminated literal"},
      {DIALECT_KAVXX17, "R\"abc", "error: unterminated literal"},
      {DIALECT_KAVXX17, "R\"a(body", "error: unterminated literal"},
      {DIALECT_KAVXX17, "R\"a b(x)a b\"\n", "error: invalid character ' ' in raw string delimiter"},
      {DIALECT_KAVXX17, "R\"12345678901234567(x)12345678901234567\"\n",
       "error: raw string delimiter longer than 16 characters"},
  };
  for (const end_case &c : cases) {
    pp_fixture pp(c.dialect);
    process(pp, c.source);
    ASSERT_FALSE(pp.reports.empty()) << c.source;
    EXPECT_EQ(pp.reports[0], c.report) << c.source;
  }
}

// Module control lines reach the client as tokens, and only with modules on;
// the character after the keyword decides, as the tokeniser would.
TEST(DirectivesOnly, ModuleControlLinesAreHandedOutAsTokens)
{
  struct module_case {
    const char *source;
    const char *text;
  } cases[] = {
      // The keywords come as the tokeniser's control-line names; the
      // indentation before a control line is not text.
      {"export import m;\nx\n", "[export ][import ][m][;][EOL]@2:0x\n"},
      // "__import" names its header as written (an "import" looks it up).
      {"__import <vector>;\nx\n", "[import ][./vector][;][EOL]@2:0x\n"},
      {"a\n  module m;\n", "a\n[module ][m][;][EOL]"},
      {"im\\\nport x;\n", "[import ][x][;][EOL]"},
      {"module;\n", "[module ][;][EOL]"},
      {"import u8\"x\";\n", "import u8\"x\";\n"},
      {"import R\"(x)\";\n", "import R\"(x)\";\n"},
      {"import <<x;\n", "import <<x;\n"},
      {"module <x>;\n", "module <x>;\n"},
      {"import ::x;\n", "import ::x;\n"},
      {"important x;\n", "important x;\n"},
      // A named operator is no name to the tokeniser.
      {"import or x;\n", "import or x;\n"},
      {"import bit\\\nor x;\n", "import bit\\\nor x;\n"},
      {"import orx;\n", "[import ][orx][;][EOL]"},
      // Lines the tokeniser would not take as control lines stay text.
      {"import \"a\n\"\n", "import \"a\n\"\n"},
      {"import <%x;\n", "import <%x;\n"},
      {"import $x;\n", "import $x;\n"},
      {"import\"\"e;\n", "import\"\"e;\n"},
      {"__import\"\";\n", "[import ][][;][EOL]"},
      // After import a quote opens a header name, where a backslash escapes nothing.
      {"import\"\\\"a\"\n", "import\"\\\"a\"\n"},
      {"__import \"a\\\";\n", "[import ][./a\\][;][EOL]"},
      {"export int x;\n", "export int x;\n"},
      {"#if 0\nimport x;\n#endif\n", ""},
      // A raw string takes the control line on over its newline.
      {"module m R\"(\n)\";\nx\n", "[module ][m][R\"(\n)\"][;][EOL]@3:0x\n"},
  };
  for (const module_case &c : cases) {
    pp_fixture pp(DIALECT_CXX20);
    pp.options()->module_support = 1;
    EXPECT_EQ(process(pp, c.source).text, c.text) << c.source;
    EXPECT_TRUE(pp.reports.empty()) << c.source << (pp.reports.empty() ? "" : pp.reports[0]);
  }
  pp_fixture off(DIALECT_CXX20);
  EXPECT_EQ(process(off, "export import <vector>;\n").text, "export import <vector>;\n");
}

// In assembler a "#" line that names no directive is text, splices removed.
TEST(DirectivesOnly, AssemblerHashLinesAreText)
{
  struct asm_case {
    const char *source;
    const char *text;
    uint32_t lines;
  } cases[] = {
      {"#; note\nmov r0, r1\n", "#; note\nmov r0, r1\n", 2},
      {"# 1 comment\n#define A 1\nA\n", "# 1 comment\n@3:0A\n", 2},
      {"#; a\\\nb\nx\n", "#; ab\nx\n", 3},
      // Nothing of the "#" line is left for the tokeniser to hand back.
      {"#;\nmodule;", "#;\n[module ][;][EOL]", 1},
  };
  for (const asm_case &c : cases) {
    pp_fixture pp(DIALECT_ASM);
    pp.options()->module_support = 1;
    dironly_run run = process(pp, c.source);
    EXPECT_EQ(run.text, c.text) << c.source;
    EXPECT_EQ(run.lines, c.lines) << c.source;
  }
}

TEST(DirectivesOnly, SkipSplicesStepsOverEveryLineEndForm)
{
  struct splice_case {
    const char *text;
    size_t skipped;
  } cases[] = {
      {"\\\nx", 2}, {"\\\r\nx", 3}, {"\\\rx", 2}, {"\\\n\\\nx", 4}, {"\\x", 0}, {"x", 0},
  };
  for (const splice_case &c : cases) {
    const unsigned char *text = reinterpret_cast<const unsigned char *>(c.text);
    EXPECT_EQ(size_t(skip_splices(text, text + strlen(c.text)) - text), c.skipped) << c.text;
  }
}

} // namespace
