// Spelling tokens back into text, comparing them, and the spaces a printer
// needs so that adjacent tokens do not paste into others.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

namespace {

// Whether a printer needs a space between the two tokens of TEXT.
bool needs_space(source_dialect dialect, const char *first, const char *second)
{
  pp_fixture f(dialect);
  std::vector<preproc_token> a = f.tokens(first);
  pp_fixture g(dialect);
  std::vector<preproc_token> b = g.tokens(second);
  return cpp_needs_space_between(f.reader, &a[0], &b[0]);
}

TEST(Spelling, NeedsSpaceBetween)
{
  struct {
    source_dialect dialect;
    const char *first, *second;
    bool expected;
  } cases[] = {
      {DIALECT_KAV17, "+", "++", true},   {DIALECT_KAV17, ")", "(", false},
      {DIALECT_KAV17, "a", "12", true},   {DIALECT_KAV17, "a", "1e+5", false},
      {DIALECT_KAV17, "<", "=", true},    {DIALECT_KAV17, "<", "<:", true},
      {DIALECT_KAV17, "-", ">", true},    {DIALECT_KAV17, "/", "*", true},
      {DIALECT_KAV17, "#", "%:", true},   {DIALECT_KAV17, ".", "12", true},
      {DIALECT_KAV17, "12", ".", true},   {DIALECT_KAV17, "12", "+", true},
      {DIALECT_KAV17, "12", "a", true},   {DIALECT_KAV17, "a", "'c'", true},
      {DIALECT_KAV17, "a", ";", false},   {DIALECT_KAV17, "\"s\"", "a", false},
      {DIALECT_KAVXX17, "\"s\"", "a", true},
      {DIALECT_KAVXX17, "and", "b", true},
      {DIALECT_KAV17, "\\", "a", true},   {DIALECT_KAV17, "->", "*", true},
      {DIALECT_KAV17, ":", ">", true},    {DIALECT_KAV17, "&", "&", true},
  };
  for (const auto &c : cases)
    EXPECT_EQ(needs_space(c.dialect, c.first, c.second), c.expected)
        << c.first << " " << c.second;
}

TEST(Spelling, TokenTexts)
{
  pp_fixture f(DIALECT_KAVXX17);
  std::vector<preproc_token> t = f.tokens("%:%: <% bitor \\u00e9 caf\xC3\xA9 \"s\"");
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(f.spell(&t[0]), "%:%:");
  EXPECT_EQ(f.spell(&t[1]), "<%");
  EXPECT_EQ(f.spell(&t[2]), "bitor");
  EXPECT_STREQ(cpp_kind_name(t[2].kind, 0), "|");
  // Identifiers are spelled with universal character names, except as written.
  EXPECT_EQ(f.spell(&t[3]), "\\U000000e9");
  EXPECT_EQ(f.spell(&t[4]), "caf\\U000000e9");
  unsigned char written[64];
  unsigned char *end = cpp_write_token_text(f.reader, &t[3], written, true);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(written), end - written), "\\u00e9");
  EXPECT_EQ(f.spell(&t[5]), "\"s\"");
  EXPECT_EQ(cpp_token_value_field(&t[0]), TVF_PASTE_INDEX);
  EXPECT_EQ(cpp_token_value_field(&t[2]), TVF_NODE);
  EXPECT_EQ(cpp_token_value_field(&t[5]), TVF_STRING);
  EXPECT_EQ(cpp_token_value_field(&t[6]), TVF_NONE);
}

TEST(Spelling, UnspellableTokenIsAnInternalError)
{
  pp_fixture f;
  preproc_token padding = {};
  padding.kind = TK_PADDING;
  unsigned char out[8];
  EXPECT_EQ(cpp_write_token_text(f.reader, &padding, out, false), out);
  EXPECT_EQ(f.reports, (words{"ice: unspellable token PADDING"}));
}

TEST(Spelling, TokensEqual)
{
  pp_fixture f;
  std::vector<preproc_token> t = f.tokens("a a b \"x\" \"x\" \"y\" ## ##");
  // Same node, but only the first starts the line.
  EXPECT_FALSE(_cpp_tokens_equal(&t[0], &t[1]));
  EXPECT_FALSE(_cpp_tokens_equal(&t[1], &t[2]));
  EXPECT_TRUE(_cpp_tokens_equal(&t[3], &t[4]));
  EXPECT_FALSE(_cpp_tokens_equal(&t[4], &t[5]));
  t[7].value.paste_index = 1;
  EXPECT_FALSE(_cpp_tokens_equal(&t[6], &t[7]));
}

TEST(Spelling, RestOfLine)
{
  pp_fixture f;
  f.push("a  b+c (d)\nnext");
  _cpp_prepare_line(f.reader);
  f.reader->state.in_directive = DIRECTIVE_LINE;
  char *text = cpp_rest_of_line_text(f.reader, "define");
  EXPECT_STREQ(text, "#define a b+c (d)");
  free(text);
}

TEST(Spelling, PrintRestOfLine)
{
  pp_fixture f;
  f.push("x  \"s\"(y)\nnext");
  _cpp_prepare_line(f.reader);
  f.reader->state.in_directive = DIRECTIVE_LINE;
  f.reader->lex_only = true;
  FILE *stream = tmpfile();
  cpp_print_rest_of_line(f.reader, stream);
  rewind(stream);
  char text[64] = {};
  EXPECT_NE(fgets(text, sizeof text, stream), nullptr);
  fclose(stream);
  EXPECT_STREQ(text, "x \"s\"(y)\n");
}

TEST(Spelling, Bounds)
{
  pp_fixture f;
  std::vector<preproc_token> t = f.tokens("abc \"xy\" +");
  EXPECT_EQ(cpp_spelling_bound(&t[0]), 30u);
  EXPECT_EQ(cpp_spelling_bound(&t[1]), 4u);
  EXPECT_EQ(cpp_spelling_bound(&t[2]), 6u);
}

} // namespace
