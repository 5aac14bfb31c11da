// Characters beyond ASCII in identifiers: universal character names and
// UTF-8. Which code points an identifier may hold comes with the identifier
// table of the literal layer; until then every assigned code point from
// U+00A0 up is accepted anywhere.
#include "libsprenk/preprocessor-internal.h"

#include "support/char-class.h"

#include <cerrno>

int _cpp_utf8_decode(const unsigned char **input, uint64_t *left, uint32_t *value)
{
  static const uint32_t smallest[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
  const unsigned char *p = *input;
  unsigned char lead = *p;
  uint32_t length;
  if (lead < 0x80) {
    *value = lead;
    *input = p + 1;
    *left -= 1;
    return 0;
  }
  if (lead >= 0xC0 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF7)
    length = 4;
  else if (lead >= 0xF8 && lead <= 0xFB)
    length = 5;
  else if (lead >= 0xFC && lead <= 0xFD)
    length = 6;
  else
    return EILSEQ;
  if (*left < length)
    return EINVAL;
  uint32_t c = lead & (0x7F >> length);
  for (uint32_t i = 1; i < length; i++) {
    if ((p[i] & 0xC0) != 0x80)
      return EILSEQ;
    c = (c << 6) | (p[i] & 0x3F);
  }
  if (c < smallest[length] || (c >= 0xD800 && c <= 0xDFFF))
    return EILSEQ;
  *value = c;
  *input = p + length;
  *left -= length;
  return 0;
}

uint32_t _cpp_utf8_encode(uint32_t value, unsigned char out[6])
{
  if (value < 0x80) {
    out[0] = static_cast<unsigned char>(value);
    return 1;
  }
  uint32_t length = value < 0x800 ? 2 : value < 0x10000 ? 3 : value < 0x200000 ? 4
                    : value < 0x4000000 ? 5 : 6;
  static const unsigned char lead_bits[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  for (uint32_t i = length - 1; i > 0; i--) {
    out[i] = static_cast<unsigned char>(0x80 | (value & 0x3F));
    value >>= 6;
  }
  out[0] = static_cast<unsigned char>(lead_bits[length] | value);
  return length;
}

// 0 not allowed in an identifier, 1 allowed anywhere, 2 not at the start.
static int ucn_identifier_validity(uint32_t c)
{
  if (c > 0x10FFFF || c < 0xA0 || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  return 1;
}

static void accept_dollar(preprocessor_reader *reader, normalization_state *state)
{
  if (reader->options.warn_dollar_signs && !reader->state.skipping) {
    reader->options.warn_dollar_signs = 0;
    diag_error(reader, DL_PEDWARN, "'$' in identifier or number");
  }
  if (state) {
    state->previous = '$';
    state->previous_class = 0;
  }
}

static void ucn_dialect_checks(preprocessor_reader *reader, int position, unsigned char letter)
{
  const cpp_reader_options *o = &reader->options;
  if (o->cplusplus_mode) {
    if (position == IDENT_IN_LITERAL && o->warn_traditional_c)
      diag_warning(reader, DR_TRADITIONAL, "the meaning of '\\%c' is different in traditional C",
                   int(letter));
  } else if (!o->c99_mode) {
    diag_warning(reader, DR_NONE, "universal character names are only valid in C++ and C99");
  } else if (o->warn_c90_c99_compat > 0) {
    diag_warning(reader, DR_C90_C99_COMPAT,
                 "C99's universal character names are incompatible with C90");
  } else if (position == IDENT_IN_LITERAL && o->warn_traditional_c) {
    diag_warning(reader, DR_TRADITIONAL, "the meaning of '\\%c' is different in traditional C",
                 int(letter));
  }
}

static bool ucn_value_allowed(const preprocessor_reader *reader, uint32_t value)
{
  bool low_allowed = reader->options.cplusplus_mode || value == 0x24 || value == 0x40 ||
                     value == 0x60;
  return !((value < 0xA0 && !low_allowed) || (value >= 0xD800 && value <= 0xDFFF) ||
           (value & 0x80000000));
}

bool _cpp_valid_ucn(preprocessor_reader *reader, const unsigned char **cursor,
                    const unsigned char *limit, int position, normalization_state *state,
                    uint32_t *code_point)
{
  const unsigned char *p = *cursor;
  const unsigned char *start = p - 2; // the backslash
  unsigned char letter = p[-1];
  ucn_dialect_checks(reader, position, letter);
  uint32_t digits = letter == 'U' ? 8 : 4;
  uint32_t value = 0, read = 0;
  while (read < digits && p < limit && c_isxdigit(*p)) {
    value = (value << 4) | hex_value(*p++);
    read++;
  }
  int spelled = int(p - start);
  if (read < digits) {
    if (position != IDENT_IN_LITERAL) {
      *code_point = 0;
      return false;
    }
    diag_error(reader, DL_ERROR, "incomplete universal character name %.*s", spelled, start);
    *cursor = p;
    *code_point = 1;
    return true;
  }
  *cursor = p;
  if (!ucn_value_allowed(reader, value)) {
    diag_error(reader, DL_ERROR, "%.*s is not a valid universal character", spelled, start);
    *code_point = 1;
    return true;
  }
  *code_point = value;
  if (position == IDENT_IN_LITERAL) {
    const cpp_reader_options *o = &reader->options;
    bool cxx_codespace = o->cplusplus_mode && o->language >= DIALECT_KAVXX20 &&
                         o->language <= DIALECT_CXX23;
    if (value > 0x10FFFF && (!o->cplusplus_mode || cxx_codespace))
      diag_error(reader, DL_PEDWARN, "%.*s is outside the UCS codespace", spelled, start);
    return true;
  }
  if (value == '$' && reader->options.dollars_in_identifiers) {
    accept_dollar(reader, state);
    return true;
  }
  int validity = ucn_identifier_validity(value);
  if (validity == 0)
    diag_error(reader, DL_ERROR, "universal character %.*s is not valid in an identifier",
               spelled, start);
  else if (validity == 2 && position == IDENT_AT_START)
    diag_error(reader, DL_ERROR,
               "universal character %.*s is not valid at the start of an identifier", spelled,
               start);
  return true;
}

bool _cpp_valid_utf8(preprocessor_reader *reader, const unsigned char **cursor,
                     const unsigned char *limit, int position, normalization_state *state,
                     uint32_t *code_point)
{
  (void)state;
  const unsigned char *p = *cursor;
  if (p >= limit)
    return false;
  uint64_t left = uint64_t(limit - p);
  if (_cpp_utf8_decode(&p, &left, code_point) != 0)
    return false;
  if (position != IDENT_IN_LITERAL) {
    int validity = ucn_identifier_validity(*code_point);
    int spelled = int(p - *cursor);
    if (validity == 0) {
      if (!reader->options.cplusplus_mode)
        return false;
      diag_error(reader, DL_ERROR, "extended character %.*s is not valid in an identifier",
                 spelled, *cursor);
    } else if (validity == 2 && position == IDENT_AT_START) {
      diag_error(reader, DL_ERROR,
                 "extended character %.*s is not valid at the start of an identifier", spelled,
                 *cursor);
    }
  }
  *cursor = p;
  return true;
}

const unsigned char *_cpp_identifier_to_utf8(preprocessor_reader *reader,
                                             const unsigned char *text, uint64_t length,
                                             uint64_t *length_out)
{
  // A UCN of 6 or 10 bytes never takes more than 6 bytes of UTF-8.
  unsigned char *out = _cpp_pool_alloc(reader, length + 1);
  uint64_t n = 0;
  for (uint64_t i = 0; i < length;) {
    if (text[i] == '\\' && i + 1 < length && (text[i + 1] == 'u' || text[i + 1] == 'U')) {
      uint32_t digits = text[i + 1] == 'U' ? 8 : 4;
      uint32_t value = 0;
      for (uint32_t k = 0; k < digits && i + 2 + k < length; k++)
        value = (value << 4) | hex_value(text[i + 2 + k]);
      // A rejected name was reported when it was scanned; it stands for 1.
      if (!ucn_value_allowed(reader, value))
        value = 1;
      n += _cpp_utf8_encode(value, out + n);
      i += 2 + digits;
    } else {
      out[n++] = text[i++];
    }
  }
  out[n] = '\0';
  *length_out = n;
  return out;
}
