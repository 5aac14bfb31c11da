// Compiling regular expressions: error codes and texts, the program-size
// limit, and the fastmap.
#include "support/regex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A failed compile frees what it allocated; the leak checker sees the rest.
int compile_code(const std::string &text, int cflags)
{
  regex_pattern pattern = {};
  int code = regex_posix_compile(&pattern, text.c_str(), cflags);
  if (code != 0) {
    EXPECT_EQ(pattern.program, nullptr);
    EXPECT_EQ(pattern.fastmap, nullptr);
    EXPECT_EQ(pattern.translate, nullptr);
  }
  regex_free(&pattern);
  return code;
}

struct error_case {
  int cflags;
  const char *pattern;
  int code;
};

TEST(RegexCompile, ErrorCodes)
{
  const int E = REG_EXTENDED;
  const error_case cases[] = {
      {E, "^([1-9][0-9]*|0)(\\.([1-9][0-9]*|0))*$", REG_NOERROR},
      {E, "(a", REG_EPAREN},
      {E, "a)", REG_NOERROR},  // a lone ')' is an ordinary character
      {E, "*a", REG_BADRPT},
      {E, "a|*b", REG_BADRPT},
      {E, "(+a)", REG_BADRPT},
      {E, "^*", REG_BADRPT},
      {E, "{1}a", REG_BADRPT},
      {E, "a{1,32767}", REG_NOERROR},
      {E, "a{1,32768}", REG_BADBR},
      {E, "a{40000}", REG_BADBR},
      {E, "a{2,1}", REG_BADBR},
      {E, "a{x}", REG_BADBR},
      {E, "a{,2}", REG_BADBR},
      {E, "a{1", REG_EBRACE},
      {E, "a{1,", REG_EBRACE},
      {E, "a{", REG_EBRACE},
      {E, "[b-a]", REG_ERANGE},
      {E, "[[:foo:]]", REG_ECTYPE},
      {E, "[[:alpha:][:digit:]_]", REG_NOERROR},
      {E, "[[.ab.]]", REG_ECOLLATE},
      {E, "[[=ab=]]", REG_ECOLLATE},
      {E, "[[.-.]a]", REG_NOERROR},
      {E, "[abc", REG_EBRACK},
      {E, "[", REG_EBRACK},
      {E, "[^", REG_EBRACK},
      {E, "[]", REG_EBRACK},
      {E, "[[:alpha", REG_EEND},
      {E, "[a-", REG_EEND},
      {E, "a\\", REG_EESCAPE},
      {E, "(a)\\2", REG_ESUBREG},
      {E, "\\1(a)", REG_ESUBREG},
      {E, "(a\\1)", REG_NOERROR},  // a reference to an open group is the digit
      {E, "a||b", REG_NOERROR},
      {E | REG_ICASE, "[[:nope:]]", REG_ECTYPE},
      {E, "()", REG_NOERROR},
      {0, "\\(a", REG_EPAREN},
      {0, "a\\)", REG_EPAREN},  // unmatched close is reported as unmatched open
      {0, "a\\{1", REG_EBRACE},
      {0, "a\\{1\\", REG_EBRACE},
      {0, "a\\{1}", REG_BADBR},
      {0, "*a", REG_NOERROR},
      {0, "\\(*a\\)", REG_NOERROR},
      {0, "a{1", REG_NOERROR},
      {0, "a\\", REG_EESCAPE},
      {0, "[b-a]", REG_ERANGE},
  };
  for (const error_case &c : cases)
    EXPECT_EQ(compile_code(c.pattern, c.cflags), c.code)
        << c.pattern << (c.cflags ? " extended" : " basic");
}

TEST(RegexCompile, ErrorTexts)
{
  char buffer[64];
  EXPECT_EQ(regex_error_text(REG_NOERROR, nullptr, buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "Success");
  EXPECT_EQ(regex_error_text(REG_ERPAREN, nullptr, buffer, sizeof buffer), 18u);
  EXPECT_STREQ(buffer, "Unmatched ) or \\)");
  EXPECT_EQ(regex_error_text(REG_BADBR, nullptr, buffer, sizeof buffer), 24u);
  EXPECT_STREQ(buffer, "Invalid content of \\{\\}");

  // Cut to the buffer, with the full length returned.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(regex_error_text(REG_ESPACE, nullptr, buffer, 5), 17u);
  EXPECT_STREQ(buffer, "Memo");
  EXPECT_EQ(buffer[5], 'x');
  // Exactly the size of the text and its NUL.
  EXPECT_EQ(regex_error_text(REG_NOMATCH, nullptr, buffer, 9), 9u);
  EXPECT_STREQ(buffer, "No match");
  // Size 0 only measures.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(regex_error_text(REG_ESIZE, nullptr, buffer, 0), 27u);
  EXPECT_EQ(buffer[0], 'x');
}

TEST(RegexCompileDeathTest, ErrorTextOfAnUnknownCodeAborts)
{
  char buffer[8];
  EXPECT_DEATH(regex_error_text(17, nullptr, buffer, sizeof buffer), "");
  EXPECT_DEATH(regex_error_text(-1, nullptr, buffer, sizeof buffer), "");
}

// x, then a group of `length` letters a repeated, then y.
std::string looped_group(size_t length)
{
  return "x\\(" + std::string(length, 'a') + "\\)*y";
}

// The one-pattern buffer grows to 51200 bytes, so a loop can span more than a
// 16-bit jump reaches: that must be an error, not a wrapped jump.
TEST(RegexCompile, JumpsBeyondSixteenBitsAreTooBig)
{
  regex_set_syntax(0);
  EXPECT_STREQ(regex_bsd_compile(looped_group(33000).c_str()), "Regular expression too big");
  EXPECT_EQ(regex_bsd_exec("a"), 0);

  std::string body(32000, 'a');
  ASSERT_EQ(regex_bsd_compile(looped_group(32000).c_str()), nullptr);
  EXPECT_EQ(regex_bsd_exec(("x" + body + body + "y").c_str()), 1);
  EXPECT_EQ(regex_bsd_exec(("x" + body.substr(1) + "y").c_str()), 0);

  // The POSIX buffer starts at 32 bytes and may not double to 64 KiB.
  EXPECT_EQ(compile_code(std::string(40000, 'a'), REG_EXTENDED), REG_ESIZE);
  EXPECT_EQ(compile_code("(" + std::string(32000, 'a') + ")*", REG_EXTENDED), REG_NOERROR);
}

TEST(RegexCompile, OnePatternInterface)
{
  regex_set_syntax(REGEX_SYNTAX_POSIX_EXTENDED);
  EXPECT_STREQ(regex_bsd_compile("a("), "Unmatched ( or \\(");
  EXPECT_STREQ(regex_bsd_compile(nullptr), "No previous regular expression");
  ASSERT_EQ(regex_bsd_compile("^b+$"), nullptr);
  EXPECT_EQ(regex_bsd_compile(nullptr), nullptr);
  EXPECT_EQ(regex_bsd_exec("a\nbb\nc"), 1);  // '^' and '$' also work at newlines
  EXPECT_EQ(regex_bsd_exec("abbc"), 0);
  EXPECT_EQ(regex_set_syntax(0), REGEX_SYNTAX_POSIX_EXTENDED);
}

std::string fastmap_of(const regex_pattern &pattern)
{
  std::string bytes;
  for (int b = 0; b < 256; b++)
    if (pattern.fastmap[b])
      bytes += char(b);
  return bytes;
}

struct fastmap_case {
  int cflags;
  const char *pattern;
  const char *first_bytes;  // null: every byte
  bool can_be_null;
};

TEST(RegexCompile, Fastmap)
{
  const int E = REG_EXTENDED;
  const fastmap_case cases[] = {
      {E, "[a-c]x|y", "abcy", false},
      {E, "(^|z)*q", "qz", false},
      {E, "a*b", "ab", false},
      {E, "a{0,3}b", "ab", false},
      {E, "a*", "a", true},
      {E, "(a|)", "a", true},
      {E, "\\<w", "w", false},
      {E | REG_ICASE, "Ab|c", "ACac", false},
      {E | REG_NEWLINE, "[^a-y]", nullptr, false},
      {E, "(a)\\1", "a", false},
      {E, "(a*)\\1b", "a", true},  // a back-reference ends the walk
  };
  for (const fastmap_case &c : cases) {
    regex_pattern pattern = {};
    ASSERT_EQ(regex_posix_compile(&pattern, c.pattern, c.cflags), 0) << c.pattern;
    ASSERT_NE(pattern.fastmap, nullptr);
    std::string bytes = fastmap_of(pattern);
    if (c.first_bytes) {
      EXPECT_EQ(bytes, c.first_bytes) << c.pattern;
    } else {
      EXPECT_EQ(bytes.size(), 256u - 25 - 1) << c.pattern;  // 'a'..'y' and newline excluded
      EXPECT_EQ(bytes.find('\n'), std::string::npos);
      EXPECT_NE(bytes.find('z'), std::string::npos);
      EXPECT_NE(bytes.find('\xff'), std::string::npos);
    }
    EXPECT_EQ((pattern.flags & REGEX_FLAG_CAN_BE_NULL) != 0, c.can_be_null) << c.pattern;
    EXPECT_TRUE(pattern.flags & REGEX_FLAG_FASTMAP_ACCURATE);
    regex_free(&pattern);
    EXPECT_EQ(pattern.program, nullptr);
    EXPECT_EQ(pattern.fastmap, nullptr);
    EXPECT_FALSE(pattern.flags & REGEX_FLAG_FASTMAP_ACCURATE);
  }
}

}  // namespace
