// The platform layer of the regular-expression engine: the locale's
// single-byte character tables and the word-character table built from them.
#include "support/regex-internal.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

unsigned char regex_word_syntax_table[256];

unsigned regex_locale_single_byte_limit()
{
  // This host has no direct count of single-byte characters; a locale whose
  // characters are all one byte has 256, any other the ASCII 128.
  return MB_CUR_MAX == 1 ? 256 : 128;
}

bool regex_locale_is_upper(unsigned char c)
{
  return c < regex_locale_single_byte_limit() && isupper(c);
}

unsigned char regex_locale_to_lower(unsigned char c)
{
  return (unsigned char)tolower(c);
}

void regex_fill_word_syntax_table()
{
  static bool filled;
  if (filled)
    return;
  unsigned limit = regex_locale_single_byte_limit();
  for (unsigned c = 0; c < 256; c++)
    regex_word_syntax_table[c] = (c < limit && isalnum(c)) || c == '_';
  filled = true;
}

namespace {
struct class_row {
  const char *name;
  int (*test)(int);
};
const class_row class_rows[] = {
    {"alnum", isalnum}, {"alpha", isalpha}, {"blank", isblank}, {"cntrl", iscntrl},
    {"digit", isdigit}, {"graph", isgraph}, {"lower", islower}, {"print", isprint},
    {"punct", ispunct}, {"space", isspace}, {"upper", isupper}, {"xdigit", isxdigit},
};
}  // namespace

int regex_locale_class_index(const char *name, size_t length)
{
  for (size_t i = 0; i < sizeof class_rows / sizeof class_rows[0]; i++)
    if (strlen(class_rows[i].name) == length && memcmp(class_rows[i].name, name, length) == 0)
      return int(i);
  return -1;
}

bool regex_locale_in_class(int class_index, unsigned char c)
{
  return c < regex_locale_single_byte_limit() && class_rows[class_index].test(c) != 0;
}
