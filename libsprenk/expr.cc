// Conditional expressions of #if and #elif in integers of `precision` bits,
// and the classification and interpretation of preprocessing numbers.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

typedef unsigned __int128 wide_t;

// ---- 128-bit values ----
// All arithmetic is on unsigned 128-bit words, which wrap and never have
// undefined behaviour; signedness is a flag and the sign bit is bit
// precision - 1.

static wide_t to_wide(expr_value v)
{
  return (wide_t(v.high) << 64) | v.low;
}

static expr_value from_wide(wide_t w, bool unsignedp)
{
  expr_value v;
  v.high = uint64_t(w >> 64);
  v.low = uint64_t(w);
  v.unsignedp = unsignedp;
  v.overflow = false;
  return v;
}

static wide_t precision_mask(uint64_t precision)
{
  return precision >= 128 ? ~wide_t(0) : (wide_t(1) << precision) - 1;
}

static bool sign_bit(wide_t w, uint64_t precision)
{
  return (w >> (precision - 1)) & 1;
}

// Cut to the precision, extending the sign bit above it for signed values.
static wide_t truncate(wide_t w, uint64_t precision, bool unsignedp)
{
  w &= precision_mask(precision);
  if (!unsignedp && sign_bit(w, precision))
    w |= ~precision_mask(precision);
  return w;
}

static expr_value make_value(wide_t w, uint64_t precision, bool unsignedp)
{
  return from_wide(truncate(w, precision, unsignedp), unsignedp);
}

static bool value_zero(expr_value v)
{
  return v.high == 0 && v.low == 0;
}

static bool value_negative(expr_value v, uint64_t precision)
{
  return !v.unsignedp && sign_bit(to_wide(v), precision);
}

expr_value value_sign_extend(expr_value value, uint64_t precision)
{
  bool unsignedp = value.unsignedp;
  expr_value result = from_wide(truncate(to_wide(value), precision, false), unsignedp);
  if (unsignedp)
    result = from_wide(to_wide(result) & precision_mask(precision), true);
  result.overflow = value.overflow;
  return result;
}

static wide_t magnitude(expr_value v, uint64_t precision)
{
  wide_t w = to_wide(v);
  return value_negative(v, precision) ? -w : w;
}

static expr_value shift_right(expr_value v, uint64_t precision, wide_t count)
{
  wide_t w = to_wide(v);
  bool negative = value_negative(v, precision);
  if (count >= precision)
    return from_wide(negative ? ~wide_t(0) : 0, v.unsignedp);
  wide_t result = negative ? ~(~w >> count) : (w & precision_mask(precision)) >> count;
  return make_value(result, precision, v.unsignedp);
}

static expr_value shift_left(expr_value v, uint64_t precision, wide_t count)
{
  wide_t w = to_wide(v);
  if (count >= precision) {
    expr_value result = from_wide(0, v.unsignedp);
    result.overflow = !v.unsignedp && !value_zero(v);
    return result;
  }
  expr_value result = make_value(w << count, precision, v.unsignedp);
  // A signed shift overflows when shifting back does not give the value.
  if (!v.unsignedp) {
    expr_value back = shift_right(result, precision, count);
    result.overflow = to_wide(back) != w;
  }
  return result;
}

expr_value value_shift_left(expr_value value, uint64_t precision, uint64_t count)
{
  return shift_left(value, precision, count);
}

// A shift by the right operand; a negative count shifts the other way.
static expr_value shift_by(expr_value left, expr_value right, uint64_t precision, bool leftward)
{
  wide_t count = magnitude(right, precision);
  if (value_negative(right, precision))
    leftward = !leftward;
  return leftward ? shift_left(left, precision, count) : shift_right(left, precision, count);
}

// Signed overflow: the operands' signs say the result's sign, which wrapped.
static expr_value add_values(expr_value a, expr_value b, uint64_t precision, bool subtract)
{
  bool unsignedp = a.unsignedp || b.unsignedp;
  wide_t wb = subtract ? -to_wide(b) : to_wide(b);
  expr_value result = make_value(to_wide(a) + wb, precision, unsignedp);
  if (!unsignedp) {
    bool sa = value_negative(a, precision), sb = value_negative(b, precision);
    bool sr = value_negative(result, precision);
    result.overflow = (subtract ? sa != sb : sa == sb) && sr != sa;
  }
  return result;
}

static expr_value multiply_values(expr_value a, expr_value b, uint64_t precision)
{
  bool unsignedp = a.unsignedp || b.unsignedp;
  if (unsignedp)
    return make_value(to_wide(a) * to_wide(b), precision, true);
  wide_t ma = magnitude(a, precision), mb = magnitude(b, precision);
  bool negative = value_negative(a, precision) != value_negative(b, precision);
  wide_t product = ma * mb;
  bool wrapped = ma != 0 && product / ma != mb;
  // The largest magnitude a signed result of this precision can have.
  wide_t limit = (wide_t(1) << (precision - 1)) - (negative ? 0 : 1);
  expr_value result = make_value(negative ? -product : product, precision, false);
  result.overflow = wrapped || product > limit;
  return result;
}

// Division truncates towards zero; the remainder takes the sign of the
// dividend. The most negative value divided by -1 overflows.
static expr_value divide_values(expr_value a, expr_value b, uint64_t precision, bool modulo)
{
  bool unsignedp = a.unsignedp || b.unsignedp;
  if (unsignedp) {
    wide_t wa = to_wide(a) & precision_mask(precision), wb = to_wide(b) & precision_mask(precision);
    return make_value(modulo ? wa % wb : wa / wb, precision, true);
  }
  wide_t ma = magnitude(a, precision), mb = magnitude(b, precision);
  bool negative_a = value_negative(a, precision);
  bool negative = negative_a != value_negative(b, precision);
  wide_t quotient = ma / mb, remainder = ma % mb;
  if (modulo)
    return make_value(negative_a ? -remainder : remainder, precision, false);
  expr_value result = make_value(negative ? -quotient : quotient, precision, false);
  result.overflow = !negative && sign_bit(quotient, precision);
  return result;
}

static bool less_than(expr_value a, expr_value b, uint64_t precision)
{
  if (a.unsignedp || b.unsignedp)
    return (to_wide(a) & precision_mask(precision)) < (to_wide(b) & precision_mask(precision));
  bool na = value_negative(a, precision), nb = value_negative(b, precision);
  if (na != nb)
    return na;
  return to_wide(a) < to_wide(b);
}

// A signed 0 or 1 (which is -1 at precision 1).
static expr_value truth(bool value, uint64_t precision)
{
  return make_value(value ? 1 : 0, precision, false);
}

// ---- Numbers ----

static uint32_t width_of_letter(unsigned char c)
{
  switch (c) {
  case 'f': case 'F': return NUM_SMALL;
  case 'd': case 'D': return NUM_MEDIUM;
  default: return NUM_LARGE;
  }
}

static bool is_cxx14_on(const cpp_reader_options *o)
{
  return o->cplusplus_mode && o->language >= DIALECT_KAVXX14 && o->language != DIALECT_ASM;
}

static bool suffix_is(const unsigned char *s, uint64_t length, const char *text)
{
  return length == strlen(text) && memcmp(s, text, length) == 0;
}

// The fixed-point suffixes: [u](|h|l|ll)(k|r), letters of one case each.
static uint32_t fixed_point_suffix_flags(const unsigned char *s, uint64_t length)
{
  uint32_t flags = (s[length - 1] == 'k' || s[length - 1] == 'K') ? NUM_ACCUM : NUM_FRACT;
  uint64_t i = 0;
  if (s[0] == 'u' || s[0] == 'U') {
    flags |= NUM_UNSIGNED;
    i++;
  }
  uint64_t middle = length - 1 - i;
  const unsigned char *m = s + i;
  if (middle == 0)
    return flags;
  if (middle == 1 && (m[0] == 'h' || m[0] == 'H'))
    return flags | NUM_SMALL;
  if (middle == 1 && (m[0] == 'l' || m[0] == 'L'))
    return flags | NUM_MEDIUM;
  if (middle == 2 && m[0] == m[1] && (m[0] == 'l' || m[0] == 'L'))
    return flags | NUM_LARGE;
  return 0;
}

// The largest N of an fN or fNx suffix that is read.
enum { FLOATN_LIMIT = 240 };

uint32_t float_suffix_flags(preprocessor_reader *reader, const unsigned char *s, uint64_t length)
{
  const cpp_reader_options *o = &reader->options;
  if (length == 2 && ((s[0] == 'd' && strchr("fdl", s[1]) && s[1]) ||
                      (s[0] == 'D' && strchr("FDL", s[1]) && s[1])))
    return NUM_DFLOAT | width_of_letter(s[1]);
  unsigned char last = length ? s[length - 1] : 0;
  if (o->extended_numeric_suffixes && length > 0 &&
      (last == 'k' || last == 'K' || last == 'r' || last == 'R'))
    return fixed_point_suffix_flags(s, length);
  uint32_t f = 0, d = 0, l = 0, w = 0, q = 0, imaginary = 0, fn = 0, fnx = 0, bits = 0;
  for (uint64_t i = 0; i < length; i++) {
    switch (s[i]) {
    case 'f': case 'F':
      if (!o->cplusplus_mode && fn == 0 && fnx == 0 && i + 1 < length && c_isdigit(s[i + 1])) {
        while (i + 1 < length && c_isdigit(s[i + 1]) && bits < FLOATN_LIMIT)
          bits = bits * 10 + (s[++i] - '0');
        if (i + 1 < length && s[i + 1] == 'x') {
          i++;
          fnx++;
        } else {
          fn++;
        }
      } else {
        f++;
      }
      break;
    case 'd': case 'D': d++; break;
    case 'l': case 'L': l++; break;
    case 'w': case 'W': w++; break;
    case 'q': case 'Q': q++; break;
    case 'i': case 'I': case 'j': case 'J': imaginary++; break;
    default: return 0;
    }
  }
  if (f + d + l + w + q + fn + fnx > 1 || imaginary > 1 || bits > FLOATN_LIMIT)
    return 0;
  if (fnx && bits != 32 && bits != 64 && bits != 128)
    return 0;
  if (fn && bits != 16 && (bits % 32 != 0 || bits == 96))
    return 0;
  if (imaginary && !o->extended_numeric_suffixes)
    return 0;
  if (imaginary && is_cxx14_on(o) &&
      (suffix_is(s, length, "i") || suffix_is(s, length, "if") || suffix_is(s, length, "il")))
    return 0;
  if ((w || q) && !o->extended_numeric_suffixes)
    return 0;
  uint32_t flags = imaginary ? NUM_IMAGINARY : 0;
  if (f)
    return flags | NUM_SMALL;
  if (d)
    return flags | NUM_MEDIUM;
  if (l)
    return flags | NUM_LARGE;
  if (w)
    return flags | NUM_FLOATN_W;
  if (q)
    return flags | NUM_FLOATN_Q;
  if (fn)
    return flags | (bits << NUM_FLOATN_SHIFT) | NUM_FLOATN;
  if (fnx)
    return flags | (bits << NUM_FLOATN_SHIFT) | NUM_FLOATNX;
  return flags | NUM_DEFAULT;
}

uint32_t int_suffix_flags(preprocessor_reader *reader, const unsigned char *s, uint64_t length)
{
  const cpp_reader_options *o = &reader->options;
  uint32_t u = 0, l = 0, z = 0, imaginary = 0;
  for (uint64_t i = length; i-- > 0;) {
    switch (s[i]) {
    case 'u': case 'U': u++; break;
    case 'z': case 'Z': z++; break;
    case 'i': case 'I': case 'j': case 'J': imaginary++; break;
    case 'l': case 'L':
      l++;
      // A second 'l' sits right before the first and matches its case.
      if (l == 2 && s[i + 1] != s[i])
        return 0;
      break;
    default: return 0;
    }
  }
  if (u > 1 || l > 2 || z > 1 || imaginary > 1)
    return 0;
  if (z && (l || imaginary || !o->cplusplus_mode))
    return 0;
  if (imaginary) {
    if (!o->extended_numeric_suffixes)
      return 0;
    if (is_cxx14_on(o) && (suffix_is(s, length, "i") || suffix_is(s, length, "il")))
      return 0;
  }
  return (imaginary ? NUM_IMAGINARY : 0) | (u ? NUM_UNSIGNED : 0) | (z ? NUM_SIZE_T : 0) |
         (l == 0 ? NUM_SMALL : l == 1 ? NUM_MEDIUM : NUM_LARGE);
}

// A scan through a number's spelling: its radix, the largest digit seen and
// whether a point or an exponent made it floating.
struct number_scan {
  const unsigned char *cursor;
  const unsigned char *limit;
  uint32_t radix;
  uint32_t max_digit;
  bool seen_digit;
  enum { NOT_FLOAT, AFTER_POINT, AFTER_EXPONENT } float_state;
};

static bool is_separator(preprocessor_reader *reader, unsigned char c)
{
  return c == '\'' && reader->options.digit_separator_quotes;
}

#define NUMBER_ERROR(...)                                                 \
  do {                                                                    \
    diag_error_at_line(reader, DL_ERROR, location, 0, __VA_ARGS__);       \
    return false;                                                         \
  } while (0)

// The radix prefix; false after an error.
static bool scan_radix(preprocessor_reader *reader, number_scan *n, location_t location)
{
  const unsigned char *s = n->cursor;
  n->radix = 10;
  if (*s != '0')
    return true;
  n->radix = 8;
  s++;
  bool x = *s == 'x' || *s == 'X', b = *s == 'b' || *s == 'B';
  if ((x || b) && is_separator(reader, s[1]))
    NUMBER_ERROR("digit separator after base indicator");
  if (x && (s[1] == '.' || c_isxdigit(s[1]))) {
    n->radix = 16;
    s++;
  } else if (b && (s[1] == '0' || s[1] == '1')) {
    n->radix = 2;
    s++;
  }
  n->cursor = s;
  return true;
}

// The digits, the point and the exponent letter; false after an error.
static bool scan_digits(preprocessor_reader *reader, number_scan *n, location_t location)
{
  bool seen_separator = false;
  while (n->cursor < n->limit) {
    unsigned char c = *n->cursor++;
    if (c_isdigit(c) || (n->radix == 16 && c_isxdigit(c))) {
      seen_separator = false;
      n->seen_digit = true;
      if (hex_value(c) > n->max_digit)
        n->max_digit = hex_value(c);
    } else if (is_separator(reader, c)) {
      seen_separator = true;
    } else if (c == '.') {
      if (seen_separator || is_separator(reader, *n->cursor))
        NUMBER_ERROR("digit separator adjacent to decimal point");
      seen_separator = false;
      if (n->float_state != number_scan::NOT_FLOAT)
        NUMBER_ERROR("too many decimal points in number");
      n->float_state = number_scan::AFTER_POINT;
    } else if (((n->radix == 10 || n->radix == 8) && (c == 'e' || c == 'E')) ||
               (n->radix == 16 && (c == 'p' || c == 'P'))) {
      if (seen_separator || is_separator(reader, *n->cursor))
        NUMBER_ERROR("digit separator adjacent to exponent");
      n->float_state = number_scan::AFTER_EXPONENT;
      return true;
    } else {
      n->cursor--;
      break;
    }
  }
  if (seen_separator)
    NUMBER_ERROR("digit separator outside digit sequence");
  return true;
}

static uint32_t classify_floating(preprocessor_reader *reader, number_scan *n,
                                  const char **user_suffix, location_t location)
{
  const cpp_reader_options *o = &reader->options;
  if (n->radix == 2) {
    diag_error_at_line(reader, DL_ERROR, location, 0, "invalid prefix \"0b\" for floating constant");
    return NUM_INVALID;
  }
  if (n->radix == 16 && !n->seen_digit) {
    diag_error_at_line(reader, DL_ERROR, location, 0, "no digits in hexadecimal floating constant");
    return NUM_INVALID;
  }
  if (n->radix == 16 && o->pedantic_mode && !o->extended_number_forms)
    diag_pedwarning_at_line(reader, DR_NONE, location, 0,
                            o->cplusplus_mode ? "use of C++17 hexadecimal floating constant"
                                              : "use of C99 hexadecimal floating constant");
  const unsigned char *s = n->cursor;
  if (n->float_state == number_scan::AFTER_EXPONENT) {
    if (*s == '+' || *s == '-')
      s++;
    if (s >= n->limit || !c_isdigit(*s)) {
      diag_error_at_line(reader, DL_ERROR, location, 0,
                         s < n->limit && is_separator(reader, *s)
                             ? "digit separator adjacent to exponent"
                             : "exponent has no digits");
      return NUM_INVALID;
    }
    while (s < n->limit && (c_isdigit(*s) || is_separator(reader, *s)))
      s++;
  } else if (n->radix == 16) {
    diag_error_at_line(reader, DL_ERROR, location, 0,
                       "hexadecimal floating constants require an exponent");
    return NUM_INVALID;
  }
  int suffix_length = int(n->limit - s);
  uint32_t result = float_suffix_flags(reader, s, uint64_t(suffix_length));
  if (result == 0) {
    if (!o->user_defined_literals) {
      diag_error_at_line(reader, DL_ERROR, location, 0, "invalid suffix \"%.*s\" on floating constant",
                         suffix_length, s);
      return NUM_INVALID;
    }
    if (user_suffix)
      *user_suffix = reinterpret_cast<const char *>(s);
    result = NUM_LARGE | NUM_USERDEF;
  }
  if (suffix_length && o->warn_traditional_c && !cpp_in_system_macro(reader))
    diag_warning_at_line(reader, DR_TRADITIONAL, location, 0,
                         "traditional C rejects the \"%.*s\" suffix", suffix_length, s);
  if ((result & NUM_WIDTH) == NUM_MEDIUM && !(result & (NUM_DFLOAT | NUM_FRACT | NUM_ACCUM)) &&
      o->pedantic_mode)
    diag_pedwarning_at_line(reader, DR_NONE, location, 0,
                            "suffix for double constant is a VUZ extension");
  if ((result & NUM_DFLOAT) && n->radix != 10) {
    diag_error_at_line(reader, DL_ERROR, location, 0,
                       "invalid suffix \"%.*s\" with hexadecimal floating constant",
                       suffix_length, s);
    return NUM_INVALID;
  }
  if ((result & (NUM_FRACT | NUM_ACCUM)) && o->pedantic_mode)
    diag_pedwarning_at_line(reader, DR_NONE, location, 0,
                            "fixed-point constants are a VUZ extension");
  if (result & NUM_DFLOAT) {
    if (o->pedantic_mode && !o->decimal_float_suffixes)
      diag_pedwarning_at_line(reader, DR_C11_C2X_COMPAT, location, 0,
                              "decimal float constants are a C2X feature");
    else if (o->warn_c11_c2x_compat > 0)
      diag_warning_at_line(reader, DR_C11_C2X_COMPAT, location, 0,
                           "decimal float constants are a C2X feature");
  }
  return result | NUM_FLOATING;
}

static uint32_t classify_integer(preprocessor_reader *reader, number_scan *n,
                                 const char **user_suffix, location_t location)
{
  const cpp_reader_options *o = &reader->options;
  const unsigned char *s = n->cursor;
  int suffix_length = int(n->limit - s);
  uint32_t result = int_suffix_flags(reader, s, uint64_t(suffix_length));
  if (result == 0) {
    if (!o->user_defined_literals) {
      diag_error_at_line(reader, DL_ERROR, location, 0, "invalid suffix \"%.*s\" on integer constant",
                         suffix_length, s);
      return NUM_INVALID;
    }
    if (user_suffix)
      *user_suffix = reinterpret_cast<const char *>(s);
    result = NUM_LARGE | NUM_UNSIGNED | NUM_USERDEF;
  }
  bool long_long = (result & NUM_WIDTH) == NUM_LARGE && !(result & NUM_USERDEF) &&
                   o->warn_long_long_constants;
  if (o->warn_traditional_c && !cpp_in_system_macro(reader) &&
      ((result & (NUM_UNSIGNED | NUM_IMAGINARY)) || long_long))
    diag_warning_at_line(reader, long_long ? DR_LONG_LONG : DR_TRADITIONAL, location, 0,
                         "traditional C rejects the \"%.*s\" suffix", suffix_length, s);
  if (long_long) {
    const char *message = o->cplusplus_mode ? "use of C++11 long long integer constant"
                                            : "use of C99 long long integer constant";
    if (o->c99_mode)
      diag_warning_at_line(reader, DR_LONG_LONG, location, 0, "%s", message);
    else
      diag_pedwarning_at_line(reader, DR_LONG_LONG, location, 0, "%s", message);
  }
  // The engine's quoting directives are beyond printf's checker.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-invalid-specifier"
  if ((result & NUM_SIZE_T) && !o->size_t_suffixes)
    diag_warning_at_line(reader, DR_SIZE_T_LITERALS, location, 0,
                         (result & NUM_UNSIGNED)
                             ? "use of C++23 %<size_t%> integer constant"
                             : "use of C++23 %<make_signed_t<size_t>%> integer constant");
#pragma clang diagnostic pop
  return result | NUM_INTEGER;
}

static uint32_t radix_bit(uint32_t radix)
{
  switch (radix) {
  case 10: return NUM_DECIMAL;
  case 16: return NUM_HEX;
  case 2: return NUM_BINARY;
  default: return NUM_OCTAL;
  }
}

uint32_t classify_number(preprocessor_reader *reader, const preproc_token *token,
                         const char **user_suffix, location_t location)
{
  const cpp_reader_options *o = &reader->options;
  if (user_suffix)
    *user_suffix = nullptr;
  if (token->value.str.length == 1)
    return NUM_INTEGER | NUM_SMALL | NUM_DECIMAL;
  number_scan n = {};
  n.cursor = token->value.str.text;
  n.limit = n.cursor + token->value.str.length;
  if (!scan_radix(reader, &n, location) || !scan_digits(reader, &n, location))
    return NUM_INVALID;
  if (n.float_state != number_scan::NOT_FLOAT && n.radix == 8)
    n.radix = 10;
  if (n.max_digit >= n.radix) {
    diag_error_at_line(reader, DL_ERROR, location, 0,
                       n.radix == 2 ? "invalid digit \"%c\" in binary constant"
                                    : "invalid digit \"%c\" in octal constant",
                       int('0' + n.max_digit));
    return NUM_INVALID;
  }
  uint32_t result = n.float_state != number_scan::NOT_FLOAT
               ? classify_floating(reader, &n, user_suffix, location)
               : classify_integer(reader, &n, user_suffix, location);
  if (result == NUM_INVALID)
    return NUM_INVALID;
  if ((result & NUM_IMAGINARY) && o->pedantic_mode)
    diag_pedwarning_at_line(reader, DR_NONE, location, 0,
                            "imaginary constants are a VUZ extension");
  if (n.radix == 2 && !o->binary_literals && o->pedantic_mode)
    diag_pedwarning_at_line(reader, DR_NONE, location, 0,
                            o->cplusplus_mode ? "binary constants are a C++14 feature or VUZ extension"
                                              : "binary constants are a C2X feature or VUZ extension");
  else if (n.radix == 2 && o->warn_c11_c2x_compat > 0)
    diag_warning_at_line(reader, DR_C11_C2X_COMPAT, location, 0,
                         "binary constants are a C2X feature");
  return result | radix_bit(n.radix);
}

expr_value interpret_integer(preprocessor_reader *reader, const preproc_token *token,
                             uint32_t classification)
{
  const cpp_reader_options *o = &reader->options;
  uint64_t precision = o->precision;
  const unsigned char *p = token->value.str.text;
  const unsigned char *limit = p + token->value.str.length;
  wide_t value = 0;
  bool overflow = false;
  if (token->value.str.length == 1) {
    value = wide_t(p[0] - '0');
  } else {
    uint32_t base = 10;
    switch (classification & NUM_RADIX) {
    case NUM_HEX: base = 16; p += 2; break;
    case NUM_BINARY: base = 2; p += 2; break;
    case NUM_OCTAL: base = 8; p += 1; break;
    default: break;
    }
    wide_t mask = precision_mask(precision);
    for (; p < limit; p++) {
      unsigned char c = *p;
      if (is_separator(reader, c))
        continue;
      if (!(c_isdigit(c) || (base == 16 && c_isxdigit(c))))
        break;
      uint32_t digit = hex_value(c);
      if (value > (mask - digit) / base)
        overflow = true;
      value = (value * base + digit) & mask;
    }
  }
  bool unsignedp = (classification & NUM_UNSIGNED) != 0;
  if (overflow && !(classification & NUM_USERDEF)) {
    diag_error(reader, DL_PEDWARN, "integer constant is too large for its type");
    expr_value result = make_value(value, precision, unsignedp);
    result.overflow = true;
    return result;
  }
  if (!unsignedp && sign_bit(value, precision) &&
      !(o->traditional_mode && reader->state.in_directive)) {
    unsignedp = true;
    if ((classification & NUM_RADIX) == NUM_DECIMAL)
      diag_error(reader, o->c99_mode ? DL_PEDWARN : DL_WARNING,
                 "integer constant is so large that it is unsigned");
  }
  return make_value(value, precision, unsignedp);
}

// ---- User-defined literal kinds ----

int userdef_string_to_plain(int kind)
{
  return is_userdef_string(kind) ? kind - TK_STRING_USERDEF_OFFSET : kind;
}

int plain_string_to_userdef(int kind)
{
  return kind >= TK_STRING && kind <= TK_UTF8STRING ? kind + TK_STRING_USERDEF_OFFSET : kind;
}

int userdef_char_to_plain(int kind)
{
  return is_userdef_char(kind) ? kind - TK_CHAR_USERDEF_OFFSET : kind;
}

int plain_char_to_userdef(int kind)
{
  return kind >= TK_CHAR && kind <= TK_UTF8CHAR ? kind + TK_CHAR_USERDEF_OFFSET : kind;
}

bool is_userdef_string(int kind)
{
  return kind >= TK_STRING_USERDEF && kind <= TK_UTF8STRING_USERDEF;
}

bool is_userdef_char(int kind)
{
  return kind >= TK_CHAR_USERDEF && kind <= TK_UTF8CHAR_USERDEF;
}

const unsigned char *userdef_literal_suffix(const preproc_token *token)
{
  const unsigned char *text = token->value.str.text;
  unsigned char quote = is_userdef_char(token->kind) ? '\'' : '"';
  const unsigned char *p = text + token->value.str.length;
  while (p > text && p[-1] != quote)
    p--;
  return p;
}

// ---- The expression parser ----

// Unary plus and minus have kinds of their own, past the token kinds, so
// that no token (such as "<=>" or "+=") can stand for them.
enum : int { OP_UPLUS = TK_KIND_COUNT, OP_UMINUS = TK_KIND_COUNT + 1, OP_KIND_COUNT };

enum : uint8_t {
  OPF_NO_LEFT = 0x1,
  OPF_LEFT_ASSOC = 0x2,
  OPF_CHECK_PROMOTION = 0x4,
  OPF_VALID = 0x80, // an operator of #if at all
};

struct operator_row {
  uint8_t priority;
  uint8_t flags;
};

struct operator_table {
  operator_row rows[OP_KIND_COUNT];
};

static constexpr operator_table make_operator_table()
{
  operator_table t = {};
  struct entry {
    int kind;
    uint8_t priority;
    uint8_t flags;
  };
  const entry entries[] = {
      {TK_NOT, 16, OPF_NO_LEFT},      {TK_COMPL, 16, OPF_NO_LEFT},
      {OP_UPLUS, 16, OPF_NO_LEFT},    {OP_UMINUS, 16, OPF_NO_LEFT},
      {TK_MULT, 15, 0x6},             {TK_DIV, 15, 0x6},
      {TK_MOD, 15, 0x6},              {TK_PLUS, 14, 0x6},
      {TK_MINUS, 14, 0x6},            {TK_LSHIFT, 13, OPF_LEFT_ASSOC},
      {TK_RSHIFT, 13, OPF_LEFT_ASSOC}, {TK_LESS, 12, 0x6},
      {TK_GREATER, 12, 0x6},          {TK_LESS_EQ, 12, 0x6},
      {TK_GREATER_EQ, 12, 0x6},       {TK_EQ_EQ, 11, OPF_LEFT_ASSOC},
      {TK_NOT_EQ, 11, OPF_LEFT_ASSOC}, {TK_AND, 9, 0x6},
      {TK_XOR, 8, 0x6},               {TK_OR, 7, 0x6},
      {TK_AND_AND, 6, OPF_LEFT_ASSOC}, {TK_OR_OR, 5, OPF_LEFT_ASSOC},
      {TK_QUERY, 4, 0},               {TK_COLON, 4, 0x6},
      {TK_COMMA, 4, OPF_LEFT_ASSOC},  {TK_OPEN_PAREN, 1, OPF_NO_LEFT},
      {TK_CLOSE_PAREN, 0, 0},         {TK_EOF, 0, 0},
  };
  for (const entry &e : entries)
    t.rows[e.kind] = {e.priority, uint8_t(e.flags | OPF_VALID)};
  return t;
}

static constexpr operator_table operators = make_operator_table();

struct op_entry {
  const preproc_token *token;
  expr_value value;
  location_t location;
  int op;
};

// The stack starts with room for this many entries and grows to twice its
// size plus as many.
enum { OP_STACK_STEP = 20 };

static op_entry *expand_operator_stack(preprocessor_reader *reader)
{
  op_entry *base = static_cast<op_entry *>(reader->op_stack);
  size_t old_size = size_t(static_cast<op_entry *>(reader->op_limit) - base);
  size_t new_size = old_size;
  base = _cpp_grow_array(base, &new_size, old_size * 2 + OP_STACK_STEP);
  reader->op_stack = base;
  reader->op_limit = base + new_size;
  return base + old_size;
}

void _cpp_free_expr_stack(preprocessor_reader *reader)
{
  free(reader->op_stack);
  reader->op_stack = reader->op_limit = nullptr;
}

void _cpp_check_expr_precision(preprocessor_reader *reader)
{
  uint64_t &precision = reader->options.precision;
  if (precision == 0)
    precision = 1;
  else if (precision > 128)
    precision = 128;
}

static const char *spelling_of(preprocessor_reader *reader, const preproc_token *token)
{
  return reinterpret_cast<const char *>(cpp_token_text(reader, token));
}

static const preproc_token *next_token(preprocessor_reader *reader)
{
  const preproc_token *token;
  do
    token = cpp_get_token(reader);
  while (token->kind == TK_PADDING);
  return token;
}

static bool in_macro_expansion(const preprocessor_reader *reader)
{
  return reader->context != &reader->base_context;
}

// A name not yet used is announced to the macro layer (which may load a
// deferred definition); a macro counts as defined unless the client marked
// it conditional.
static bool macro_defined_for_if(preprocessor_reader *reader, ident_node *node,
                                 location_t location)
{
  bool notified = (node->flags & IDF_USED) || _cpp_notify_macro_use(reader, node, location);
  if (node->kind == IK_MACRO && node->value.macro)
    node->value.macro->used = 1;
  return notified && ident_is_macro(node) && !(node->flags & IDF_CONDITIONAL);
}

// defined NAME, or defined ( NAME ); false after an error.
static bool parse_defined(preprocessor_reader *reader, expr_value *value)
{
  bool from_expansion = in_macro_expansion(reader);
  reader->state.prevent_expansion++;
  const preproc_token *token = next_token(reader);
  bool paren = token->kind == TK_OPEN_PAREN;
  if (paren)
    token = next_token(reader);
  from_expansion |= in_macro_expansion(reader);
  ident_node *node = nullptr;
  if (token->kind == TK_NAME) {
    node = token->value.ident.node;
    if (paren && next_token(reader)->kind != TK_CLOSE_PAREN) {
      diag_error(reader, DL_ERROR, "missing ')' after \"defined\"");
      node = nullptr;
    }
  } else {
    diag_error(reader, DL_ERROR, "operator \"defined\" requires an identifier");
    if (token->flags & TOK_NAMED_OPERATOR)
      diag_error(reader, DL_ERROR, "(\"%s\" is an alternative token for \"%s\" in C++)",
                 spelling_of(reader, token), cpp_kind_name(token->kind, 0));
  }
  reader->state.prevent_expansion--;
  if (node == nullptr)
    return false;
  if (from_expansion && reader->options.warn_defined_in_expansion)
    diag_pedwarning(reader, DR_EXPANSION_TO_DEFINED, "this use of \"defined\" may not be portable");
  reader->mi_if_not_defined = node;
  *value = truth(macro_defined_for_if(reader, node, token->location), reader->options.precision);
  return true;
}

// The value of a number; false after an error, which ends the evaluation.
static bool number_value(preprocessor_reader *reader, const preproc_token *token,
                         expr_value *value)
{
  const char *user_suffix;
  uint32_t flags = classify_number(reader, token, &user_suffix, token->location);
  if (flags & NUM_USERDEF) {
    diag_error_at_line(reader, DL_ERROR, token->location, 0,
                       "user-defined literal in preprocessor expression");
    return false;
  }
  switch (flags & NUM_CATEGORY) {
  case NUM_FLOATING:
    diag_error_at_line(reader, DL_ERROR, token->location, 0,
                       "floating constant in preprocessor expression");
    return false;
  case NUM_INTEGER:
    if (flags & NUM_IMAGINARY) {
      diag_error_at_line(reader, DL_ERROR, token->location, 0,
                         "imaginary number in preprocessor expression");
      return false;
    }
    *value = interpret_integer(reader, token, flags);
    return true;
  default:
    return false; // classify_number reported it
  }
}

// The value of a character constant; false when it had no characters (an
// empty or unconvertible constant, already reported).
static bool char_value(preprocessor_reader *reader, const preproc_token *token,
                       expr_value *value)
{
  uint32_t characters;
  bool unsignedp;
  uint32_t c = interpret_char_constant(reader, token, &characters, &unsignedp);
  if (characters == 0)
    return false;
  // A negative signed constant extends its sign to the precision.
  wide_t w = unsignedp ? wide_t(c) : wide_t(__int128(int32_t(c)));
  *value = make_value(w, reader->options.precision, unsignedp);
  return true;
}

// The value of an operand token; false after an error that ends the
// evaluation.
static bool eval_token(preprocessor_reader *reader, const preproc_token *token,
                       expr_value *value)
{
  const cpp_reader_options *o = &reader->options;
  *value = from_wide(0, false);
  switch (token->kind) {
  case TK_NUMBER:
    return number_value(reader, token, value);
  case TK_CHAR: case TK_WCHAR: case TK_CHAR16: case TK_CHAR32: case TK_UTF8CHAR:
    return char_value(reader, token, value);
  case TK_NAME: {
    ident_node *node = token->value.ident.node;
    if (node == reader->spec_nodes.n_defined)
      return parse_defined(reader, value);
    if (o->cplusplus_mode && node == reader->spec_nodes.n_true) {
      *value = truth(true, o->precision);
      return true;
    }
    if (o->cplusplus_mode && node == reader->spec_nodes.n_false)
      return true;
    if (o->warn_undefined_in_if && !reader->state.skip_eval)
      diag_warning_at_line(reader, DR_UNDEF, token->location, 0,
                           "\"%s\" is not defined, evaluates to 0", node->text);
    return true;
  }
  case TK_HASH:
    if (!reader->state.skip_eval) {
      if (o->pedantic_mode)
        diag_error(reader, DL_PEDWARN, "assertions are a VUZ extension");
      else if (o->warn_deprecated_extensions)
        diag_warning(reader, DR_DEPRECATED, "assertions are a deprecated extension");
    }
    {
      bool holds;
      if (assertion_holds(reader, &holds))
        return false;
      *value = truth(holds, o->precision);
      return true;
    }
  default:
    vuz_unreachable();
  }
}

static bool is_operand_kind(int kind)
{
  return kind == TK_NUMBER || kind == TK_NAME || kind == TK_HASH ||
         (kind >= TK_CHAR && kind <= TK_UTF8CHAR);
}

struct expr_parse {
  preprocessor_reader *reader;
  uint64_t precision;
};

static void check_promotion(expr_parse *p, const op_entry *op)
{
  const op_entry *left = op - 1;
  if (op->value.unsignedp == left->value.unsignedp)
    return;
  const char *spelling = spelling_of(p->reader, op->token);
  if (op->value.unsignedp) {
    if (value_negative(left->value, p->precision))
      diag_warning_at_line(p->reader, DR_NONE, left->location, 0,
                           "the left operand of \"%s\" changes sign when promoted", spelling);
  } else if (value_negative(op->value, p->precision)) {
    diag_warning_at_line(p->reader, DR_NONE, op->location, 0,
                         "the right operand of \"%s\" changes sign when promoted", spelling);
  }
}

static expr_value unary_result(expr_parse *p, int op, expr_value v)
{
  switch (op) {
  case TK_NOT:
    return truth(value_zero(v), p->precision);
  case TK_COMPL:
    return make_value(~to_wide(v), p->precision, v.unsignedp);
  case OP_UMINUS: {
    expr_value result = make_value(-to_wide(v), p->precision, v.unsignedp);
    result.overflow = !v.unsignedp && value_negative(v, p->precision) &&
                      value_negative(result, p->precision);
    return result;
  }
  default: // unary plus
    if (p->reader->options.warn_traditional_c && !p->reader->state.skip_eval)
      diag_warning(p->reader, DR_TRADITIONAL, "traditional C rejects the unary plus operator");
    v.overflow = false;
    return v;
  }
}

// A binary operator; false after division by zero.
static bool binary_result(expr_parse *p, const op_entry *op, expr_value a, expr_value b,
                          expr_value *out)
{
  uint64_t precision = p->precision;
  bool unsignedp = a.unsignedp || b.unsignedp;
  wide_t wa = to_wide(a), wb = to_wide(b);
  switch (op->op) {
  case TK_PLUS: *out = add_values(a, b, precision, false); return true;
  case TK_MINUS: *out = add_values(a, b, precision, true); return true;
  case TK_MULT: *out = multiply_values(a, b, precision); return true;
  case TK_DIV: case TK_MOD:
    if (value_zero(b)) {
      *out = a;
      if (p->reader->state.skip_eval)
        return true;
      diag_error_at_line(p->reader, DL_ERROR, op->location, 0, "division by zero in #if");
      return false;
    }
    *out = divide_values(a, b, precision, op->op == TK_MOD);
    return true;
  case TK_LSHIFT: *out = shift_by(a, b, precision, true); return true;
  case TK_RSHIFT: *out = shift_by(a, b, precision, false); return true;
  case TK_AND: *out = make_value(wa & wb, precision, unsignedp); return true;
  case TK_OR: *out = make_value(wa | wb, precision, unsignedp); return true;
  case TK_XOR: *out = make_value(wa ^ wb, precision, unsignedp); return true;
  case TK_LESS: *out = truth(less_than(a, b, precision), precision); return true;
  case TK_GREATER: *out = truth(less_than(b, a, precision), precision); return true;
  case TK_LESS_EQ: *out = truth(!less_than(b, a, precision), precision); return true;
  case TK_GREATER_EQ: *out = truth(!less_than(a, b, precision), precision); return true;
  case TK_EQ_EQ: case TK_NOT_EQ: {
    wide_t mask = precision_mask(precision);
    *out = truth(((wa & mask) == (wb & mask)) == (op->op == TK_EQ_EQ), precision);
    return true;
  }
  case TK_COMMA:
    if (p->reader->options.pedantic_mode &&
        (!p->reader->options.c99_mode || !p->reader->state.skip_eval))
      diag_pedwarning(p->reader, DR_PEDANTIC, "comma operator in operand of #if");
    *out = b;
    out->overflow = false;
    return true;
  default:
    vuz_unreachable();
  }
}

// Reduces the stack while its top binds more tightly than `op`; the new
// top, or null after an error.
static op_entry *reduce(expr_parse *p, op_entry *top, int op)
{
  preprocessor_reader *reader = p->reader;
  if (top->op < 0 || top->op >= OP_KIND_COUNT || !(operators.rows[top->op].flags & OPF_VALID)) {
    diag_error(reader, DL_ICE, "impossible operator '%u'", unsigned(top->op));
    return nullptr;
  }
  if (op == TK_OPEN_PAREN)
    return top;
  int priority = operators.rows[op].priority - ((operators.rows[op].flags & OPF_LEFT_ASSOC) != 0);
  while (priority < operators.rows[top->op].priority) {
    if (reader->options.warn_sign_change_in_if &&
        (operators.rows[top->op].flags & OPF_CHECK_PROMOTION))
      check_promotion(p, top);
    switch (top->op) {
    case TK_NOT: case TK_COMPL: case OP_UPLUS: case OP_UMINUS:
      top[-1].value = unary_result(p, top->op, top->value);
      top[-1].location = top->location;
      break;
    case TK_OR_OR: case TK_AND_AND: {
      bool is_or = top->op == TK_OR_OR;
      top--;
      bool left = !value_zero(top->value);
      if (left == is_or)
        reader->state.skip_eval--;
      top->value = truth(is_or ? left || !value_zero(top[1].value)
                               : left && !value_zero(top[1].value), p->precision);
      top->location = top[1].location;
      continue;
    }
    case TK_OPEN_PAREN:
      if (op != TK_CLOSE_PAREN) {
        diag_error_at_line(reader, DL_ERROR, top->token->location, 0, "missing ')' in expression");
        return nullptr;
      }
      top--;
      top->value = top[1].value;
      top->location = top[1].location;
      return top;
    case TK_COLON: {
      top -= 2;
      bool condition = !value_zero(top->value);
      if (condition)
        reader->state.skip_eval--;
      const op_entry &chosen = condition ? top[1] : top[2];
      bool unsignedp = top[1].value.unsignedp || top[2].value.unsignedp;
      top->value = make_value(to_wide(chosen.value), p->precision, unsignedp);
      top->location = chosen.location;
      continue;
    }
    case TK_QUERY:
      // ':' and ',' stop at their '?': a ? b, c : d ? e : f nests to the right.
      if (op == TK_COLON || op == TK_COMMA)
        return top;
      diag_error(reader, DL_ERROR, "'?' without following ':'");
      return nullptr;
    default:
      if (!binary_result(p, top, top[-1].value, top->value, &top[-1].value))
        return nullptr;
      break;
    }
    top--;
    if (top->value.overflow && !reader->state.skip_eval)
      diag_error(reader, DL_PEDWARN, "integer overflow in preprocessor expression");
  }
  if (op == TK_CLOSE_PAREN) {
    diag_error(reader, DL_ERROR, "missing '(' in expression");
    return nullptr;
  }
  return top;
}

// The operator kind of a token where an operand is (or is not) wanted;
// -1 when it is no operator of #if.
static int operator_kind(const preproc_token *token, bool want_value)
{
  int kind = token->kind;
  if (want_value && kind == TK_PLUS)
    return OP_UPLUS;
  if (want_value && kind == TK_MINUS)
    return OP_UMINUS;
  return operators.rows[kind].flags & OPF_VALID ? kind : -1;
}

// Reports a missing operand before `op`; always false.
static bool missing_operand(expr_parse *p, const op_entry *top, int op,
                            const preproc_token *token, bool is_if)
{
  preprocessor_reader *reader = p->reader;
  if (op == TK_CLOSE_PAREN && top->op == TK_OPEN_PAREN)
    diag_error(reader, DL_ERROR, "missing expression between '(' and ')'");
  else if (op == TK_EOF && top->op == TK_EOF)
    diag_error(reader, DL_ERROR, "%s with no expression", is_if ? "#if" : "#elif");
  else if (top->op != TK_EOF && top->op != TK_OPEN_PAREN)
    diag_error(reader, DL_ERROR, "operator '%s' has no right operand",
               spelling_of(reader, top->token));
  else if (op == TK_CLOSE_PAREN || op == TK_EOF)
    diag_error(reader, DL_ERROR, "%s with no expression", is_if ? "#if" : "#elif");
  else
    diag_error(reader, DL_ERROR, "operator '%s' has no left operand", spelling_of(reader, token));
  return false;
}

// Reads the expression to the end of the directive and leaves its value on
// the stack's first entry; false after an error.
static bool parse_expression(expr_parse *p, bool is_if, op_entry **top_out,
                             uint32_t *lex_count, bool *leading_not)
{
  preprocessor_reader *reader = p->reader;
  op_entry *top = static_cast<op_entry *>(reader->op_stack);
  top->op = TK_EOF;
  top->token = nullptr;
  bool want_value = true;
  for (;;) {
    const preproc_token *token = next_token(reader);
    ++*lex_count;
    if (is_operand_kind(token->kind)) {
      if (!want_value) {
        diag_error(reader, DL_ERROR, "missing binary operator before token \"%s\"",
                   spelling_of(reader, token));
        return false;
      }
      want_value = false;
      if (!eval_token(reader, token, &top->value))
        return false;
      top->location = token->location;
      continue;
    }
    int op = operator_kind(token, want_value);
    if (op < 0) {
      diag_error(reader, DL_ERROR, "token \"%s\" is not valid in preprocessor expressions",
                 spelling_of(reader, token));
      return false;
    }
    if (op == TK_NOT)
      *leading_not = *lex_count == 1;
    if (operators.rows[op].flags & OPF_NO_LEFT) {
      if (!want_value) {
        diag_error(reader, DL_ERROR, "missing binary operator before token \"%s\"",
                   spelling_of(reader, token));
        return false;
      }
    } else if (want_value) {
      return missing_operand(p, top, op, token, is_if);
    }
    top = reduce(p, top, op);
    if (top == nullptr)
      return false;
    if (op == TK_EOF)
      break;
    switch (op) {
    case TK_CLOSE_PAREN:
      continue;
    case TK_OR_OR:
      if (!value_zero(top->value))
        reader->state.skip_eval++;
      break;
    case TK_AND_AND: case TK_QUERY:
      if (value_zero(top->value))
        reader->state.skip_eval++;
      break;
    case TK_COLON:
      if (top->op != TK_QUERY) {
        diag_error(reader, DL_ERROR, " ':' without preceding '?'");
        return false;
      }
      // A true condition skips the second branch; a false one skipped the
      // first and evaluates this one.
      if (!value_zero(top[-1].value))
        reader->state.skip_eval++;
      else
        reader->state.skip_eval--;
      break;
    default:
      break;
    }
    want_value = true;
    if (++top == static_cast<op_entry *>(reader->op_limit))
      top = expand_operator_stack(reader);
    top->op = op;
    top->token = token;
    top->location = token->location;
  }
  *top_out = top;
  return true;
}

// Skips what is left of the directive after an error.
static void skip_rest_of_directive(preprocessor_reader *reader)
{
  while (next_token(reader)->kind != TK_EOF) {
  }
}

bool _cpp_evaluate_expr(preprocessor_reader *reader, bool is_if, expr_value *value)
{
  if (reader->op_stack == nullptr)
    expand_operator_stack(reader);
  _cpp_check_expr_precision(reader);
  expr_parse p = {reader, reader->options.precision};
  reader->state.skip_eval = 0;
  reader->mi_if_not_defined = nullptr;
  op_entry *top = nullptr;
  uint32_t lex_count = 0;
  bool leading_not = false;
  bool parsed = parse_expression(&p, is_if, &top, &lex_count, &leading_not);
  reader->state.skip_eval = 0;
  if (!parsed) {
    reader->mi_if_not_defined = nullptr;
    skip_rest_of_directive(reader);
    return false;
  }
  // Only "! defined NAME" (the defined test counting as one) controls a file.
  if (!(leading_not && lex_count == 3))
    reader->mi_if_not_defined = nullptr;
  if (top != static_cast<op_entry *>(reader->op_stack)) {
    diag_error(reader, DL_ICE, "unbalanced stack in %s", is_if ? "#if" : "#elif");
    return false;
  }
  *value = top->value;
  return true;
}

bool parse_condition(preprocessor_reader *reader, bool is_if)
{
  expr_value value;
  return _cpp_evaluate_expr(reader, is_if, &value) && !value_zero(value);
}
