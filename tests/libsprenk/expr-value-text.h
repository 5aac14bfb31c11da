// A #if value as the tests and ppdump print it: signed decimal, or unsigned
// with a "u" after it. Bits above the precision are not masked, so a value
// that was not cut to its precision shows as the fault it is.
#ifndef VUZ_TESTS_LIBSPRENK_EXPR_VALUE_TEXT_H
#define VUZ_TESTS_LIBSPRENK_EXPR_VALUE_TEXT_H

#include "libsprenk/preprocessor.h"

#include <string>

inline std::string expr_value_text(expr_value v, uint64_t precision)
{
  unsigned __int128 w = (static_cast<unsigned __int128>(v.high) << 64) | v.low;
  bool negative = !v.unsignedp && ((w >> (precision - 1)) & 1);
  if (negative)
    w = -w;
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + int(w % 10)));
    w /= 10;
  } while (w);
  return (negative ? "-" : "") + digits + (v.unsignedp ? "u" : "");
}

#endif
