// Characters beyond ASCII in identifiers: universal character names and
// UTF-8. Which code points an identifier may hold comes with the identifier
// table of the literal layer; until then every assigned code point from
// U+00A0 up is accepted anywhere.
#include "libsprenk/preprocessor-internal.h"

#include "support/char-class.h"

#include <algorithm>
#include <iterator>

// 0 not allowed in an identifier, 1 allowed anywhere, 2 not at the start.
static int ucn_identifier_validity(uint32_t c)
{
  if (c > 0x10FFFF || c < 0xA0 || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  return 1;
}

struct composition_pair {
  uint32_t second, first;
};

// Sorted by second character, then first.
static const composition_pair composition_pairs[] = {
#include "libsprenk/composition-pairs.inc"
};

bool nfc_pair_allowed(preprocessor_reader *reader, uint32_t c, uint32_t previous)
{
  auto before = [](const composition_pair &a, const composition_pair &b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  };
  const composition_pair *end = std::end(composition_pairs);
  const composition_pair *seconds = std::lower_bound(composition_pairs, end,
                                                     composition_pair{c, 0}, before);
  if (seconds == end || seconds->second != c) {
    diag_error(reader, DL_ICE, "Character %x might not be NFKC", unsigned(c));
    return true;
  }
  return !std::binary_search(seconds, end, composition_pair{c, previous}, before);
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
  size_t left = size_t(limit - p);
  if (utf8_decode_one(&p, &left, code_point) != 0)
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
      n += utf8_encode_one(value, out + n);
      i += 2 + digits;
    } else {
      out[n++] = text[i++];
    }
  }
  out[n] = '\0';
  *length_out = n;
  return out;
}
