// Spelling tokens back into text, comparing them, and the spaces a printer
// needs so that adjacent tokens do not paste into others.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

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
      {DIALECT_KAV17, "a", "12", true},   {DIALECT_KAV17, "a", "1e+5", true},
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
      // Pairs that would read back differently only in some dialects or
      // with some spellings: a space only where they would.
      {DIALECT_KAV17, "a", "1.5", true},  {DIALECT_KAV17, "a", ".5", false},
      {DIALECT_KAV17, "a", "L\"w\"", true},     {DIALECT_KAV17, "1", "u8\"x\"", true},
      {DIALECT_KAV17, "1", "\"s\"", false},     {DIALECT_STDC17, "'c'", "E", false},
      {DIALECT_CXX11, "'c'", "E", true},        {DIALECT_CXX11, "\"s\"", "1", false},
      {DIALECT_CXX11, "\"s\"_x", "1", true},    {DIALECT_CXX11, "a", "\"s\"_x", false},
      {DIALECT_CXX11, "L", "\"s\"_x", true},    {DIALECT_CXX11, "1", "'c'_x", false},
      {DIALECT_CXX17, "1", "'c'_x", true},      {DIALECT_STDC17, ".", "*", false},
      {DIALECT_CXX98, ".", "*", true},          {DIALECT_CXX11, "<:", ":", true},
      {DIALECT_CXX98, "<:", ":", false},        {DIALECT_CXX11, "<:", "::", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(needs_space(c.dialect, c.first, c.second), c.expected)
        << c.first << " " << c.second;
}

// One spelling of each kind of token, and the spellings whose first or last
// characters could run into a neighbour: prefixes, suffixes, digraphs, dots.
const char *const representative_spellings[] = {
    "=", "!", ">", "<", "+", "-", "*", "/", "%", "&", "|", "^", ">>", "<<", "~", "&&", "||",
    "?", ":", ",", "(", ")", "==", "!=", ">=", "<=", "<=>", "+=", "-=", "*=", "/=", "%=", "&=",
    "|=", "^=", ">>=", "<<=", "#", "##", "[", "]", "{", "}", ";", "...", "++", "--", "->", ".",
    "::", "->*", ".*", "@", "<:", ":>", "<%", "%>", "%:", "%:%:", "and", "bitor", "not_eq",
    "a", "L", "u", "U", "u8", "R", "E", "_x", "x1", "\\u00e9", "$", "1", "12", "1.5", ".5", "1.",
    "1e", "1e+5", "0x1p-2", "1_x", "1'0", "'c'", "L'c'", "u'c'", "U'c'", "u8'c'", "'c'_x",
    "L'c'_x", "u8'c'_x", "\"s\"", "L\"w\"", "u\"s\"", "U\"s\"", "u8\"x\"", "R\"(x)\"",
    "LR\"(x)\"", "u8R\"(x)\"", "\"s\"_x", "L\"w\"_x", "R\"(x)\"_y", "\\", "`",
};

// The tokens of each line of TEXT, by the line they start on.
std::vector<std::vector<preproc_token>> tokens_by_line(pp_fixture &f, const std::string &text)
{
  std::vector<std::vector<preproc_token>> lines(size_t(std::count(text.begin(), text.end(), '\n')));
  f.push(text);
  for (const preproc_token *t = f.raw_token(); t->kind != TK_EOF; t = f.raw_token()) {
    location_t location = t->location;
    if (location_is_adhoc(location))
      location = adhoc_locus(f.lines.get(), location);
    const ordinary_map *map = linemap_find_ordinary_map(f.lines.get(), location);
    lines.at(size_t(ordinary_map_line(map, location)) - 1).push_back(*t);
  }
  return lines;
}

std::string described(pp_fixture &f, const preproc_token &token)
{
  return std::string(cpp_kind_name(token.kind, 0)) + " " + f.spell(&token);
}

// Every pair of representative tokens of DIALECT, printed with a space
// where the library asks for one and read back.
void check_printed_pairs(source_dialect dialect)
{
  // The representative spellings that are one token in this dialect.
  std::string all;
  for (const char *spelling : representative_spellings)
    all += std::string(spelling) + "\n";
  pp_fixture singles(dialect);
  std::vector<preproc_token> tokens;
  for (const std::vector<preproc_token> &line : tokens_by_line(singles, all))
    if (line.size() == 1)
      tokens.push_back(line[0]);
  ASSERT_GT(tokens.size(), 80u) << dialect;

  std::string printed;
  std::vector<words> expected;
  for (const preproc_token &first : tokens)
    for (const preproc_token &second : tokens) {
      bool space = cpp_needs_space_between(singles.reader, &first, &second);
      printed += singles.spell(&first) + (space ? " " : "") + singles.spell(&second) + "\n";
      expected.push_back({described(singles, first), described(singles, second)});
    }
  pp_fixture again(dialect);
  std::vector<std::vector<preproc_token>> lines = tokens_by_line(again, printed);
  for (size_t i = 0; i < lines.size(); i++) {
    words read;
    for (const preproc_token &token : lines[i])
      read.push_back(described(again, token));
    EXPECT_EQ(read, expected[i]) << "dialect " << dialect << ": " << expected[i][0] << " | "
                                 << expected[i][1];
  }
}

// Whatever two tokens a printer puts side by side, with a space where the
// library asks for one, read back as the same two tokens.
TEST(Spelling, PrintedPairsReadBackAsTheSameTokens)
{
  for (source_dialect dialect : {DIALECT_STDC17, DIALECT_KAV2X, DIALECT_CXX98, DIALECT_CXX11,
                                 DIALECT_KAVXX17, DIALECT_CXX20})
    check_printed_pairs(dialect);
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
