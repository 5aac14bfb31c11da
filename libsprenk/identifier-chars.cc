// Characters beyond ASCII in identifiers: universal character names and
// UTF-8, checked against the code points each standard allows, and the
// normalisation form an identifier stays in.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

// Bits of a code-point row.
enum {
  UCN_C99 = 0x001,   // in the C99 set
  UCN_N99 = 0x002,   // C99: not at the start
  UCN_CXX98 = 0x004, // in the older C++ set
  UCN_C11 = 0x008,   // in the C11 set
  UCN_N11 = 0x010,   // C11: not at the start
  UCN_CXX = 0x020,   // in the C++ set
  UCN_NXX = 0x040,   // C++: not at the start
  UCN_CID = 0x080,   // acceptable identifier form
  UCN_NFC = 0x100,   // in form C alone
  UCN_NKC = 0x200,   // in form KC alone
  UCN_CTX = 0x400,   // form C depends on the previous character
};

// Every set, for the dialects that take any of them.
enum { UCN_ANY_SET = UCN_C99 | UCN_CXX98 | UCN_C11 | UCN_CXX };

// A row covers the code points after the previous row's last one up to its own.
struct ucn_range_row {
  uint16_t flags;
  uint8_t combining_class;
  uint32_t last;
};

static constexpr ucn_range_row ucn_ranges[] = {
#include "libsprenk/ucn-table.inc"
};
// Every code point has a row, so the lookup needs no end check.
static_assert(ucn_ranges[std::size(ucn_ranges) - 1].last == 0x10FFFF, "table ends early");

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

static const ucn_range_row *ucn_row_of(uint32_t c)
{
  auto below = [](const ucn_range_row &row, uint32_t value) { return row.last < value; };
  return std::lower_bound(std::begin(ucn_ranges), std::end(ucn_ranges), c, below);
}

static uint16_t ucn_allowed_mask(const cpp_reader_options *o)
{
  if (!o->pedantic_mode)
    return UCN_ANY_SET;
  if (o->cplusplus_mode)
    return UCN_CXX;
  if (o->c11_identifier_set)
    return UCN_C11;
  return o->c99_mode ? UCN_C99 : UCN_ANY_SET;
}

static uint16_t ucn_not_at_start_bit(const cpp_reader_options *o)
{
  if (o->cplusplus_mode)
    return UCN_NXX;
  if (o->c11_identifier_set)
    return UCN_N11;
  return o->c99_mode ? UCN_N99 : 0;
}

// A conjoining jamo that composes with the character before it.
static bool hangul_composes(uint32_t c, uint32_t previous)
{
  if (c >= 0x1161 && c <= 0x1175)
    return previous >= 0x1100 && previous <= 0x1112;
  return c >= 0x11A8 && c <= 0x11C2 && previous >= 0xAC00 && previous <= 0xD7A3 &&
         (previous - 0xAC00) % 28 == 0;
}

static bool is_conjoining_jamo(uint32_t c)
{
  return (c >= 0x1161 && c <= 0x1175) || (c >= 0x11A8 && c <= 0x11C2);
}

static void raise_level(normalization_state *state, int32_t level)
{
  state->level = std::max(state->level, level);
}

static void track_normalization(preprocessor_reader *reader, uint32_t c,
                                const ucn_range_row *row, normalization_state *state)
{
  uint8_t k = row->combining_class;
  if (k != 0 && k < state->previous_class) {
    state->level = NORM_NOT_NFC;
  } else if (row->flags & UCN_CTX) {
    // A jamo that composes nothing is in form C; asking for its pairs would
    // report an internal error on ordinary input.
    if (hangul_composes(c, state->previous))
      raise_level(state, NORM_IDENTIFIER);
    else if (!is_conjoining_jamo(c) && !nfc_pair_allowed(reader, c, state->previous))
      state->level = NORM_NOT_NFC;
  } else if (!(row->flags & UCN_NKC)) {
    if (row->flags & UCN_NFC)
      raise_level(state, NORM_NFC);
    else if (row->flags & UCN_CID)
      raise_level(state, NORM_IDENTIFIER);
    else
      state->level = NORM_NOT_NFC;
  }
  if (k == 0)
    state->previous = c;
  state->previous_class = k;
}

// Without -pedantic a character is allowed at the start when any standard
// that has it allows it there.
static bool allowed_at_start_in_some_set(uint16_t f)
{
  return (f & (UCN_C99 | UCN_N99)) == UCN_C99 || (f & UCN_CXX98) ||
         (f & (UCN_C11 | UCN_N11)) == UCN_C11 || (f & (UCN_CXX | UCN_NXX)) == UCN_CXX;
}

int ucn_identifier_validity(preprocessor_reader *reader, uint32_t c, normalization_state *state)
{
  if (c > 0x10FFFF)
    return UCN_INVALID;
  const cpp_reader_options *o = &reader->options;
  const ucn_range_row *row = ucn_row_of(c);
  if (!(row->flags & ucn_allowed_mask(o)))
    return UCN_INVALID;
  track_normalization(reader, c, row, state);
  if (o->pedantic_mode)
    return row->flags & ucn_not_at_start_bit(o) ? UCN_NOT_AT_START : UCN_ANYWHERE;
  return allowed_at_start_in_some_set(row->flags) ? UCN_ANYWHERE : UCN_NOT_AT_START;
}

void _cpp_accept_dollar(preprocessor_reader *reader, normalization_state *state)
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
  if (letter != 'u' && letter != 'U')
    diag_error(reader, DL_ICE, "In _cpp_valid_ucn but not a UCN");
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
    _cpp_accept_dollar(reader, state);
    return true;
  }
  int validity = ucn_identifier_validity(reader, value, state);
  if (validity == UCN_INVALID)
    diag_error(reader, DL_ERROR, "universal character %.*s is not valid in an identifier",
               spelled, start);
  else if (validity == UCN_NOT_AT_START && position == IDENT_AT_START)
    diag_error(reader, DL_ERROR,
               "universal character %.*s is not valid at the start of an identifier", spelled,
               start);
  return true;
}

bool decode_utf8_identifier_char(preprocessor_reader *reader, const unsigned char **cursor,
                                 const unsigned char *limit, int position,
                                 normalization_state *state, uint32_t *code_point)
{
  const unsigned char *p = *cursor;
  if (p >= limit)
    return false;
  size_t left = size_t(limit - p);
  if (utf8_decode_one(&p, &left, code_point) != 0)
    return false;
  if (position != IDENT_IN_LITERAL) {
    int validity = ucn_identifier_validity(reader, *code_point, state);
    int spelled = int(p - *cursor);
    if (validity == UCN_INVALID) {
      if (!reader->options.cplusplus_mode)
        return false;
      diag_error(reader, DL_ERROR, "extended character %.*s is not valid in an identifier",
                 spelled, *cursor);
    } else if (validity == UCN_NOT_AT_START && position == IDENT_AT_START) {
      diag_error(reader, DL_ERROR,
                 "extended character %.*s is not valid at the start of an identifier", spelled,
                 *cursor);
    }
  }
  *cursor = p;
  return true;
}

// The value of the escape at text (after its letter): up to `digits` hex
// digits, however many there are.
static uint32_t escape_value(const unsigned char **text, const unsigned char *end,
                             uint32_t digits)
{
  uint32_t value = 0;
  for (uint32_t k = 0; k < digits && *text < end && c_isxdigit(**text); k++)
    value = (value << 4) | hex_value(*(*text)++);
  return value;
}

// Appends the UTF-8 form of value within room bytes; false when it needs more.
static bool append_utf8(unsigned char *out, uint64_t *n, uint64_t room, uint32_t value)
{
  unsigned char bytes[6];
  // Values from 2^31 on take more than the six bytes the longest form has.
  if (value & 0x80000000)
    return false;
  size_t length = utf8_encode_one(value, bytes);
  if (*n + length > room)
    return false;
  memcpy(out + *n, bytes, length);
  *n += length;
  return true;
}

ident_node *identifier_from_ucn_spelling(preprocessor_reader *reader,
                                         const unsigned char *spelling, uint32_t length)
{
  // The UTF-8 form of a valid escape is never longer than the escape.
  unsigned char *out = static_cast<unsigned char *>(checked_malloc(length + 1));
  const unsigned char *p = spelling, *end = spelling + length;
  uint64_t n = 0;
  while (p < end) {
    if (*p != '\\' || p + 1 >= end || (p[1] != 'u' && p[1] != 'U')) {
      out[n++] = *p++;
      continue;
    }
    uint32_t digits = p[1] == 'U' ? 8 : 4;
    p += 2;
    uint32_t value = escape_value(&p, end, digits);
    if (value < 0x80) {
      out[n++] = static_cast<unsigned char>(value);
    } else if (!append_utf8(out, &n, length, value)) {
      errno = E2BIG;
      diag_errno(reader, DL_ERROR, "converting UCN to source character set");
    }
  }
  ident_node *node = cpp_intern(reader, reinterpret_cast<const char *>(out), uint32_t(n));
  free(out);
  return node;
}
