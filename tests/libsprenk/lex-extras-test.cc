// Raw strings, comments and their fall-through forms, and the warnings of
// line notes.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The first line of TEXT read as a directive's line.
void in_directive(pp_fixture &f, const char *text)
{
  f.push(text);
  _cpp_prepare_line(f.reader);
  f.reader->state.in_directive = DIRECTIVE_LINE;
}

TEST(RawString, KeepsTheTextAsWritten)
{
  struct {
    const char *text;
    bool trigraphs;
    words expected;
  } cases[] = {
      {"R\"(a\\\nb)\"\n", false, {"STRING R\"(a\\\nb)\""}},
      {"R\"x(a)\"b)x\"", false, {"STRING R\"x(a)\"b)x\""}},
      {"R\"x(a)x)x\" y", false, {"STRING R\"x(a)x)x\"", "NAME y"}},
      {"LR\"(w)\" uR\"(a)\" UR\"(b)\" u8R\"(c)\"", false,
       {"WSTRING LR\"(w)\"", "STRING16 uR\"(a)\"", "STRING32 UR\"(b)\"", "UTF8STRING u8R\"(c)\""}},
      {"R\"(?\?=)\"", true, {"STRING R\"(?\?=)\""}},
      {"R\"(?\?/\nx)\"\n", true, {"STRING R\"(?\?/\nx)\""}},
      {"R\"(line\none)\" z", false, {"STRING R\"(line\none)\"", "NAME z"}},
  };
  for (const auto &c : cases) {
    pp_fixture f(DIALECT_KAVXX17);
    f.options()->trigraph_sequences = c.trigraphs;
    f.options()->warn_trigraph_use = 1;
    EXPECT_EQ(f.kinds(c.text), c.expected) << c.text;
    // Trigraphs inside a raw string draw no warning.
    EXPECT_TRUE(f.reports.empty()) << c.text << ": " << (f.reports.empty() ? "" : f.reports[0]);
  }
}

TEST(RawString, SpaceBeforeTheNewlineOfASplice)
{
  // The splice keeps one blank; its note still draws the warning.
  pp_fixture f(DIALECT_KAVXX17);
  EXPECT_EQ(f.kinds("R\"(a\\ \t\nb)\"\n"), (words{"STRING R\"(a\\ \nb)\""}));
  EXPECT_EQ(f.reports, (words{"warning: backslash and newline separated by space"}));
}

TEST(RawString, SplicesOneAfterAnother)
{
  // Three splices with nothing between them leave three notes at one place.
  pp_fixture f(DIALECT_KAVXX17);
  EXPECT_EQ(f.kinds("R\"(\\ \n\\  \n\\\t\n)\" d\n"),
            (words{"STRING R\"(\\ \n\\ \n\\ \n)\"", "NAME d"}));
  EXPECT_EQ(f.reports.size(), 3u);
}

// A raw string over several scratch blocks, with each kind of note put at
// and around the place where the first block fills: what a note restores is
// read back whole, across the block boundary, and the lines still count.
TEST(RawString, LongerThanOneBlock)
{
  const char *notes[] = {"\\\n", "\\ \n", "?\?/\n", "?\?/ \n", "?\?=", "?\?/\\\n",
                         "\\\n\\ \n"};
  // Later lines with splices and trigraphs fill two more blocks.
  std::string rest;
  for (int i = 0; i < 60; i++)
    rest += "line " + std::to_string(i) + std::string(size_t(i * 37 % 500), 'a') +
            (i % 3 == 0 ? "\\\n" : i % 3 == 1 ? "?\?)?\?/\n" : "\n");
  for (const char *note : notes) {
    for (size_t fill = 7985; fill <= 8010; fill++) {
      std::string literal = "R\"(" + std::string(fill - 3, 'x') + note + rest + ")\"";
      std::string text = literal + " z\n";
      pp_fixture f(DIALECT_KAVXX17);
      f.options()->trigraph_sequences = true;
      std::vector<preproc_token> t = f.tokens(text);
      ASSERT_EQ(t.size(), 3u) << note << " at " << fill;
      ASSERT_EQ(t[0].kind, TK_STRING) << note << " at " << fill;
      EXPECT_EQ(f.spell(&t[0]), literal) << note << " at " << fill;
      // z stands a space after the literal's last line.
      size_t lines = size_t(std::count(literal.begin(), literal.end(), '\n'));
      size_t column = literal.size() - literal.rfind('\n') + 1;
      EXPECT_EQ(f.where(t[1].location), std::to_string(lines + 1) + ":" + std::to_string(column))
          << note << " at " << fill;
    }
  }
}

TEST(RawString, UserDefinedSuffix)
{
  pp_fixture f(DIALECT_KAVXX17);
  EXPECT_EQ(f.kinds("R\"(a)\"_s"), (words{"STRING_USERDEF R\"(a)\"_s"}));
}

TEST(RawString, LineNumbersGoOnAfterIt)
{
  pp_fixture f(DIALECT_KAVXX17);
  std::vector<preproc_token> t = f.tokens("R\"(a\nb\nc)\" x\ny");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(f.where(t[1].location), "3:5");
  EXPECT_EQ(f.where(t[2].location), "4:1");
}

TEST(RawString, BadDelimiters)
{
  // Each gives up its delimiter and ends at the next double quote.
  struct {
    const char *text;
    words expected;
    const char *report;
  } cases[] = {
      {"R\"12345678901234567(x)12345678901234567\" z",
       {"OTHER R\"12345678901234567(x)12345678901234567\"", "NAME z"},
       "error: raw string delimiter longer than 16 characters"},
      {"R\"a b(x)a b\"", {"OTHER R\"a b(x)a b\""},
       "error: invalid character ' ' in raw string delimiter"},
      // Sixteen taken: too long, though a newline would be bad anyway.
      {"R\"1234567890123456\n)1234567890123456\" z",
       {"OTHER R\"1234567890123456\n)1234567890123456\"", "NAME z"},
       "error: raw string delimiter longer than 16 characters"},
      {"R\"123456789012345\n)123456789012345\" z",
       {"OTHER R\"123456789012345\n)123456789012345\"", "NAME z"},
       "error: invalid new-line in raw string delimiter"},
  };
  for (const auto &c : cases) {
    pp_fixture f(DIALECT_KAVXX17);
    EXPECT_EQ(f.kinds(c.text), c.expected) << c.text;
    EXPECT_EQ(f.reports, (words{c.report})) << c.text;
  }
}

TEST(RawString, Unterminated)
{
  pp_fixture f(DIALECT_KAVXX17);
  std::vector<preproc_token> t = f.tokens("a R\"(open\nstill");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].kind, TK_EOF);
  EXPECT_EQ(t[1].flags, TOK_LINE_START);
  EXPECT_EQ(f.reports, (words{"error: unterminated raw string"}));
  EXPECT_EQ(f.where(f.report_locations[0]), "1:3");

  pp_fixture g(DIALECT_KAVXX17);
  in_directive(g, "R\"(x\ny");
  EXPECT_EQ(g.spell(cpp_get_token(g.reader)), "R\"(x");
  EXPECT_EQ(g.reports, (words{"error: unterminated raw string"}));

  // The newline is first a bad delimiter character, then the directive's end.
  pp_fixture h(DIALECT_KAVXX17);
  in_directive(h, "R\"ab\ny");
  const preproc_token *token = cpp_get_token(h.reader);
  EXPECT_EQ(token->kind, TK_OTHER);
  EXPECT_EQ(h.spell(token), "R\"ab");
  EXPECT_EQ(h.reports, (words{"error: invalid new-line in raw string delimiter",
                              "error: unterminated raw string"}));
}

TEST(Comments, SkippedAsWhiteSpace)
{
  pp_fixture f;
  std::vector<preproc_token> t = f.tokens("a/* x\n y */b // c \\\n d\ne");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[1].flags, TOK_SPACE_BEFORE);
  EXPECT_EQ(f.where(t[1].location), "2:6");
  EXPECT_EQ(f.where(t[2].location), "4:1");
  EXPECT_EQ(f.spell(&t[2]), "e");
}

TEST(Comments, Kept)
{
  pp_fixture f;
  f.options()->drop_comments = 0;
  f.reader->state.save_comments = 1;
  EXPECT_EQ(f.kinds("a /* b */ // c\n"), (words{"NAME a", "COMMENT /* b */", "COMMENT // c"}));
  ASSERT_EQ(cpp_saved_comments(f.reader)->count, 2u);
  EXPECT_STREQ(cpp_saved_comments(f.reader)->entries[1].text, "// c");
}

TEST(Comments, LineCommentInDirectiveBecomesBlockComment)
{
  pp_fixture f;
  f.options()->drop_comments = 0;
  in_directive(f, "x // a*/b /*c\n");
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "x");
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "/* a*|b |*c*/");
  EXPECT_EQ(cpp_get_token(f.reader)->kind, TK_EOF);
}

TEST(Comments, Diagnostics)
{
  struct {
    source_dialect dialect;
    const char *text;
    bool pedantic;
    words expected_tokens;
    words expected_reports;
  } cases[] = {
      {DIALECT_KAV17, "a /* b /* c */", false, {"a"}, {}},
      {DIALECT_KAV17, "a /* b", false, {"a"}, {"error: unterminated comment"}},
      {DIALECT_STDC89, "a // b\n// c\n", false, {"a"},
       {"error: C++ style comments are not allowed in ISO C90",
        "note: (this will be reported only once per input file)"}},
      // In C90 "//" before '*' is a division and a comment.
      {DIALECT_STDC89, "a //* b */ c", false, {"a", "/", "c"}, {}},
      {DIALECT_KAV89, "a // b", true, {"a"},
       {"pedwarn: C++ style comments are not allowed in ISO C90",
        "note: (this will be reported only once per input file)"}},
      {DIALECT_KAV89, "a // b", false, {"a"}, {}},
  };
  for (const auto &c : cases) {
    pp_fixture f(c.dialect);
    f.options()->pedantic_mode = c.pedantic;
    EXPECT_EQ(f.lex(c.text), c.expected_tokens) << c.text;
    EXPECT_EQ(f.reports, c.expected_reports) << c.text;
  }
}

TEST(Comments, NestedAndMultiLineWarnings)
{
  pp_fixture f;
  f.options()->warn_nested_comments = 1;
  f.lex("/* a /* b */\n// c \\\n d\n");
  EXPECT_EQ(f.reports, (words{"warning: \"/*\" within comment [2]",
                              "warning: multi-line comment [2]"}));
}

TEST(Comments, FallThrough)
{
  struct {
    const char *comment;
    bool at_level[6];
  } cases[] = {
      {"// fallthru", {false, true, true, true, false, false}},
      {"// FALLTHRU", {false, true, true, true, true, false}},
      {"/* FALLTHROUGH */", {false, true, true, true, true, false}},
      {"// Falls through.", {false, true, true, true, false, false}},
      {"// FALLS THROUGH", {false, true, true, true, false, false}},
      {"// FALLs THROUGH", {false, true, true, false, false, false}},
      {"// fallS through", {false, true, true, false, false, false}},
      {"// fall thru", {false, true, true, true, false, false}},
      {"// intentional fallthrough", {false, true, true, true, false, false}},
      {"// Intentional FALLTHROUGH", {false, true, true, true, false, false}},
      {"// intentional FALLTHROUGH", {false, true, true, false, false, false}},
      {"// INTENTIONAL fallthrough", {false, true, true, false, false, false}},
      {"// else, fall through", {false, true, true, true, false, false}},
      {"//-fallthrough", {false, true, true, true, true, false}},
      {"//@fallthrough@", {false, true, true, true, true, false}},
      {"//lint -fallthrough ", {false, true, true, true, true, false}},
      {"// -fallthrough", {false, true, true, false, false, false}},
      {"// fall through - to the default", {false, true, true, true, false, false}},
      {"// nothing here", {false, true, false, false, false, false}},
      {"// we fall-through here", {false, true, true, false, false, false}},
  };
  for (const auto &c : cases) {
    for (int level = 0; level < 6; level++) {
      pp_fixture f;
      f.options()->fallthrough_comments = uint8_t(level);
      std::vector<preproc_token> t = f.tokens(std::string(c.comment) + "\nx");
      ASSERT_EQ(t.size(), 2u);
      EXPECT_EQ((t[0].flags & TOK_FALLTHROUGH_BEFORE) != 0, c.at_level[level])
          << c.comment << " at level " << level;
    }
  }
}

TEST(LineNotes, Warnings)
{
  struct {
    const char *text;
    bool trigraphs;
    words expected;
  } cases[] = {
      {"a \\ \nb\n", false, {"warning: backslash and newline separated by space"}},
      {"/* a \\ \nb */\n", false, {}},
      {"a ?\?= b\n", false, {"warning: trigraph ?\?= ignored, use -trigraphs to enable [4]"}},
      {"a ?\?= b\n", true, {"warning: trigraph ?\?= converted to # [4]"}},
      {"/* ?\?= */\n", true, {}},
      // A ??/ that forms a splice is reported even in a comment.
      {"// a ?\?/\nb\n", true, {"warning: trigraph ?\?/ converted to \\ [4]"}},
      {"a\\", false, {}},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    f.options()->trigraph_sequences = c.trigraphs;
    f.options()->warn_trigraph_use = 1;
    f.lex(c.text);
    EXPECT_EQ(f.reports, c.expected) << c.text;
  }
}

TEST(LineNotes, BackslashNewlineAtEndOfFile)
{
  pp_fixture f;
  f.lex("a \\\n");
  EXPECT_EQ(f.reports, (words{"pedwarn: backslash-newline at end of file"}));
}

} // namespace
