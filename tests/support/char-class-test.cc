// Character classes and hex values against the C library's "C" locale answers.
#include "support/char-class.h"

#include <gtest/gtest.h>

#include <cctype>

TEST(CharClass, AgreesWithTheCLocaleForAscii)
{
  for (int c = 0; c < 128; c++) {
    SCOPED_TRACE(c);
    EXPECT_EQ(char_has_class(c, CC_BLANK), isblank(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_CONTROL), iscntrl(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_DIGIT), isdigit(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_LOWER), islower(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_UPPER), isupper(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_PRINT), isprint(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_PUNCT), ispunct(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_SPACE), isspace(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_XDIGIT), isxdigit(c) != 0);
    EXPECT_EQ(char_has_class(c, CC_IDSTART), isalpha(c) || c == '_');
    EXPECT_EQ(char_has_class(c, CC_VSPACE), c == '\n' || c == '\r');
    EXPECT_EQ(char_has_class(c, CC_HSPACE_OR_NUL),
              c == 0 || c == ' ' || c == '\t' || c == '\v' || c == '\f');
    EXPECT_EQ(c_tolower(c), tolower(c));
    EXPECT_EQ(c_toupper(c), toupper(c));
    int hex = isdigit(c) ? c - '0' : isxdigit(c) ? tolower(c) - 'a' + 10 : 99;
    EXPECT_EQ(hex_value(c), unsigned(hex));
  }
  for (int c = 128; c < 256; c++) {
    EXPECT_EQ(char_class_table.classes[c], 0);
    EXPECT_EQ(c_tolower(c), c);
    EXPECT_EQ(hex_value(c), 99u);
  }
  EXPECT_EQ(c_tolower('Z' + 1), '[');
}
