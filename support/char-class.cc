// The character-class and hex-value tables, computed by the compiler so that
// they are constant data.
#include "support/char-class.h"

namespace {

constexpr bool in(int c, int lo, int hi)
{
  return c >= lo && c <= hi;
}

constexpr uint16_t class_of(int c)
{
  uint16_t m = 0;
  if (c == '\t' || c == ' ')
    m |= CC_BLANK;
  if (in(c, 0, 31) || c == 127)
    m |= CC_CONTROL;
  if (in(c, '0', '9'))
    m |= CC_DIGIT | CC_XDIGIT;
  if (in(c, 'a', 'z'))
    m |= CC_LOWER | CC_IDSTART;
  if (in(c, 'A', 'Z'))
    m |= CC_UPPER | CC_IDSTART;
  if (in(c, 32, 126))
    m |= CC_PRINT;
  if (in(c, 33, 126) && !in(c, '0', '9') && !in(c, 'a', 'z') && !in(c, 'A', 'Z'))
    m |= CC_PUNCT;
  if (c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ')
    m |= CC_SPACE;
  if (in(c, 'a', 'f') || in(c, 'A', 'F'))
    m |= CC_XDIGIT;
  if (c == '_')
    m |= CC_IDSTART;
  if (c == '\n' || c == '\r')
    m |= CC_VSPACE;
  if (c == 0 || c == '\t' || c == '\v' || c == '\f' || c == ' ')
    m |= CC_HSPACE_OR_NUL;
  return m;
}

constexpr char_class_tables make_tables()
{
  char_class_tables t{};
  for (int c = 0; c < 256; c++) {
    t.classes[c] = class_of(c);
    t.lower[c] = static_cast<unsigned char>(in(c, 'A', 'Z') ? c + 32 : c);
    t.upper[c] = static_cast<unsigned char>(in(c, 'a', 'z') ? c - 32 : c);
  }
  return t;
}

struct hex_table {
  unsigned char v[256];
};

constexpr hex_table make_hex()
{
  hex_table t{};
  for (int c = 0; c < 256; c++)
    t.v[c] = in(c, '0', '9') ? c - '0' : in(c, 'a', 'f') ? c - 'a' + 10
           : in(c, 'A', 'F') ? c - 'A' + 10 : 99;
  return t;
}

constexpr hex_table hex_values = make_hex();

}  // namespace

constexpr char_class_tables char_class_table = make_tables();

const unsigned char hex_value_table[256] = {
#define H(i) hex_values.v[i]
#define H8(i) H(i), H(i + 1), H(i + 2), H(i + 3), H(i + 4), H(i + 5), H(i + 6), H(i + 7)
#define H64(i) H8(i), H8(i + 8), H8(i + 16), H8(i + 24), H8(i + 32), H8(i + 40), H8(i + 48), H8(i + 56)
    H64(0), H64(64), H64(128), H64(192)
#undef H64
#undef H8
#undef H
};

void hex_table_init() {}
