// Literal interpretation: escapes, the execution character sets, character
// constants and per-character source ranges.
#include "tests/libsprenk/expr-fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct bytes_case {
  const char *literal;
  const char *bytes;
  words reports;
};

void check_bytes(source_dialect dialect, const bytes_case *cases, size_t count, bool pedantic)
{
  for (size_t i = 0; i < count; i++) {
    expr_fixture f(dialect);
    f.options()->pedantic_mode = pedantic;
    EXPECT_EQ(f.bytes(cases[i].literal), cases[i].bytes) << cases[i].literal;
    EXPECT_EQ(f.reports, cases[i].reports) << cases[i].literal;
  }
}

TEST(Literals, NarrowEscapes)
{
  const bytes_case cases[] = {
      {"\"ab\"", "61 62 00", {}},
      {"\"\\n\\t\\\\\\\"\\'\\?\\a\\b\\f\\r\\v\"", "0a 09 5c 22 27 3f 07 08 0c 0d 0b 00", {}},
      {"\"\\e\\E\"", "1b 1b 00", {}},
      {"\"\\%\"", "25 00", {}},
      {"\"\\x41\\x100\"", "41 00 00", {"pedwarn: hex escape sequence out of range"}},
      {"\"\\400\"", "00 00", {"pedwarn: octal escape sequence out of range"}},
      {"\"\\1234\"", "53 34 00", {}},
      {"\"\\x\"", "00", {"error: \\x used with no following hex digits"}},
      {"\"\\q\"", "71 00", {"pedwarn: unknown escape sequence: '\\q'"}},
      {"\"\\u00e9\"", "c3 a9 00", {}},
      {"\"\\U0001F600\"", "f0 9f 98 80 00", {}},
      {"\"\\u0041\"", "01 00", {"error: \\u0041 is not a valid universal character"}},
      {"\"\\u12\"", "01 00", {"error: incomplete universal character name \\u12"}},
      {"\"\\U00110000\"", "f4 90 80 80 00", {"pedwarn: \\U00110000 is outside the UCS codespace"}},
      {"\"é\"", "c3 a9 00", {}},
      {"u8\"x\"", "78 00", {}},
      {"R\"d(a\\n)\")d\"", "61 5c 6e 29 22 00", {}},
  };
  check_bytes(DIALECT_KAV17, cases, sizeof cases / sizeof cases[0], false);
  const bytes_case pedantic[] = {
      {"\"\\%\"", "25 00", {"pedwarn: unknown escape sequence: '\\%'"}},
      {"\"\\e\"", "1b 00", {"pedwarn: non-ISO-standard escape sequence, '\\e'"}},
  };
  check_bytes(DIALECT_KAV17, pedantic, 2, true);
}

TEST(Literals, WideCharacterSets)
{
  const bytes_case big_endian[] = {
      {"L\"\\x12345678\"", "12 34 56 78 00 00 00 00", {}},
      {"L\"a\"", "00 00 00 61 00 00 00 00", {}},
      {"u\"\\U0001F600\"", "d8 3d de 00 00 00", {}},
      {"U\"\\u00e9\"", "00 00 00 e9 00 00 00 00", {}},
      {"u\"\\x12345\"", "23 45 00 00", {"pedwarn: hex escape sequence out of range"}},
  };
  check_bytes(DIALECT_KAVXX17, big_endian, sizeof big_endian / sizeof big_endian[0], false);
  expr_fixture little(DIALECT_KAVXX17);
  little.options()->bytes_big_endian = 0;
  EXPECT_EQ(little.bytes("L\"\\x12345678\""), "78 56 34 12 00 00 00 00");
}

TEST(Literals, IconvExecutionCharacterSet)
{
  expr_fixture f;
  f.options()->narrow_charset_name = "ISO-8859-1";
  EXPECT_EQ(f.bytes("\"\\u00e9é\\n\""), "e9 e9 0a 00");
  expr_fixture g;
  g.options()->narrow_charset_name = "ISO-8859-1";
  EXPECT_EQ(g.bytes("\"\\u20ac\""), "00");
  EXPECT_EQ(g.reports.size(), 1u);
}

struct char_case {
  source_dialect dialect;
  const char *constant;
  uint32_t value;
  uint32_t characters;
  bool unsignedp;
  words reports;
};

TEST(Literals, CharacterConstants)
{
  const char_case cases[] = {
      {DIALECT_KAV17, "'a'", 0x61, 1, false, {}},
      {DIALECT_KAV17, "'\\377'", 0xFFFFFFFF, 1, false, {}},
      {DIALECT_KAV17, "'ab'", 0x6162, 2, false, {"warning: multi-character character constant [5]"}},
      {DIALECT_KAV17, "'abcde'", 0x62636465, 4, false,
       {"warning: character constant too long for its type"}},
      {DIALECT_KAV2X, "u8'ab'", 0x62, 1, true, {"error: character constant too long for its type"}},
      {DIALECT_KAV17, "u'ab'", 0x62, 1, true, {"warning: character constant too long for its type"}},
      {DIALECT_KAVXX17, "u'ab'", 0x62, 1, true, {"error: character constant too long for its type"}},
      {DIALECT_KAV17, "L'\\xffffffff'", 0xFFFFFFFF, 1, true, {}},
      {DIALECT_KAV17, "''", 0, 0, false, {"error: empty character constant"}},
      {DIALECT_KAVXX17, "U'\\U0001F600'", 0x1F600, 1, true, {}},
  };
  for (const char_case &c : cases) {
    expr_fixture f(c.dialect);
    preproc_token token = f.first_token(c.constant);
    uint32_t characters;
    bool unsignedp;
    EXPECT_EQ(interpret_char_constant(f.reader, &token, &characters, &unsignedp), c.value)
        << c.constant;
    EXPECT_EQ(characters, c.characters) << c.constant;
    EXPECT_EQ(unsignedp, c.unsignedp) << c.constant;
    EXPECT_EQ(f.reports, c.reports) << c.constant;
  }
}

TEST(Literals, SourceRangesPerCharacter)
{
  expr_fixture f;
  preproc_token token = f.first_token("  \"a\\x41\\u00e9b\"");
  byte_string in = {token.value.str.length, token.value.str.text};
  string_location_reader r;
  string_location_reader_start(&r, token.location, f.lines.get());
  substring_ranges ranges;
  substring_ranges_init(&ranges);
  EXPECT_EQ(interpret_string_source_ranges(f.reader, &in, &r, 1, &ranges, TK_STRING), nullptr);
  // a, \x41, the two bytes of \u00e9, b, and the closing quote.
  std::vector<std::string> spans;
  for (uint32_t i = 0; i < ranges.count; i++)
    spans.push_back(f.where(ranges.spans[i].start) + "-" + f.where(ranges.spans[i].finish));
  EXPECT_EQ(spans, (words{"1:4-1:4", "1:5-1:8", "1:9-1:14", "1:9-1:14", "1:15-1:15",
                          "1:16-1:16"}));
  substring_ranges_fini(&ranges);

  expr_fixture wide;
  preproc_token w = wide.first_token("L\"a\"");
  byte_string win = {w.value.str.length, w.value.str.text};
  string_location_reader_start(&r, w.location, wide.lines.get());
  substring_ranges_init(&ranges);
  EXPECT_STREQ(interpret_string_source_ranges(wide.reader, &win, &r, 1, &ranges, TK_WSTRING),
               "execution character set != source character set");
  substring_ranges_fini(&ranges);
}

TEST(Literals, IdentifierFromUcnSpelling)
{
  struct {
    const char *spelling, *text;
    words reports;
  } cases[] = {
      {"a\\u00e9\\U0001F600\\u0024", "a\xc3\xa9\xf0\x9f\x98\x80$", {}},
      // Below 0x80 the escape stands for the byte itself.
      {"a\\u0041", "aA", {}},
      // An escape takes the hex digits there are, up to its count.
      {"\\u41-\\U1F600", "A-\xf0\x9f\x98\x80", {}},
      {"x\\U80000000y", "xy",
       {"error: converting UCN to source character set: Argument list too long"}},
  };
  for (const auto &c : cases) {
    expr_fixture f;
    ident_node *node = identifier_from_ucn_spelling(
        f.reader, reinterpret_cast<const unsigned char *>(c.spelling), uint32_t(strlen(c.spelling)));
    EXPECT_STREQ(node->text, c.text) << c.spelling;
    EXPECT_EQ(f.reports, c.reports) << c.spelling;
  }
}

TEST(Literals, UntranslatedKeepsUtf8)
{
  expr_fixture f;
  f.options()->narrow_charset_name = "ISO-8859-1";
  preproc_token token = f.first_token("\"é\"");
  byte_string in = {token.value.str.length, token.value.str.text}, out;
  ASSERT_TRUE(interpret_string_untranslated(f.reader, &in, 1, &out));
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(out.text), out.length),
            std::string("\xc3\xa9", 3));
  free(const_cast<unsigned char *>(out.text));
}

} // namespace
