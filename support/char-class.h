// Locale-independent character classes and hex-digit values, read by every
// text scanner of the system. Only ASCII bytes have classes.
#ifndef VUZ_SUPPORT_CHAR_CLASS_H
#define VUZ_SUPPORT_CHAR_CLASS_H

#include <cstdint>

enum : uint16_t {
  CC_BLANK = 0x1,
  CC_CONTROL = 0x2,
  CC_DIGIT = 0x4,
  CC_LOWER = 0x8,
  CC_PRINT = 0x10,
  CC_PUNCT = 0x20,
  CC_SPACE = 0x40,
  CC_UPPER = 0x80,
  CC_XDIGIT = 0x100,
  CC_IDSTART = 0x200,
  CC_VSPACE = 0x400,
  CC_HSPACE_OR_NUL = 0x800,
};

struct char_class_tables {
  uint16_t classes[256];
  unsigned char lower[256];
  unsigned char upper[256];
};

extern const char_class_tables char_class_table;
extern const unsigned char hex_value_table[256];

inline bool char_has_class(unsigned char c, uint16_t bits)
{
  return (char_class_table.classes[c] & bits) != 0;
}
inline bool c_isspace(unsigned char c) { return char_has_class(c, CC_SPACE); }
inline bool c_isdigit(unsigned char c) { return char_has_class(c, CC_DIGIT); }
inline bool c_isalpha(unsigned char c) { return char_has_class(c, CC_LOWER | CC_UPPER); }
inline bool c_isalnum(unsigned char c) { return char_has_class(c, CC_LOWER | CC_UPPER | CC_DIGIT); }
inline bool c_isidnum(unsigned char c) { return char_has_class(c, CC_IDSTART | CC_DIGIT); }
inline bool c_isxdigit(unsigned char c) { return char_has_class(c, CC_XDIGIT); }
inline bool c_isprint(unsigned char c) { return char_has_class(c, CC_PRINT); }
inline bool c_isupper(unsigned char c) { return char_has_class(c, CC_UPPER); }
inline bool c_islower(unsigned char c) { return char_has_class(c, CC_LOWER); }
inline unsigned char c_tolower(unsigned char c) { return char_class_table.lower[c]; }
inline unsigned char c_toupper(unsigned char c) { return char_class_table.upper[c]; }
inline unsigned hex_value(unsigned char c) { return hex_value_table[c]; }

void hex_table_init();

#endif
