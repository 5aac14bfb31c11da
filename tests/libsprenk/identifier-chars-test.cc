// Identifier characters: which code points each dialect lets into an
// identifier and where, the normalisation level an identifier reaches, and
// the canonical composition pairs that take it out of form C.
#include "tests/libsprenk/expr-fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct pair_case {
  uint32_t previous, c;
  bool allowed;
};

TEST(IdentifierChars, CompositionPairs)
{
  const pair_case cases[] = {
      {0x0041, 0x0300, false},   // A + grave is U+00C0
      {0x0391, 0x0300, false},   // Alpha + grave is U+1FBA
      {0x1F00, 0x0300, false},   // a composite composes further
      {0x00C2, 0x0300, false},   // U+1EA6
      {0x00C0, 0x0300, true},    // nothing precomposed has two graves
      {0x0042, 0x0300, true},
      {0x0041, 0x0338, true},
      {0x003D, 0x0338, false},   // U+2260 not equal to
      {0x0915, 0x093C, true},    // U+0958 is excluded from composition...
      {0x0928, 0x093C, false},   // ...U+0929 is not
      {0x0DD9, 0x0DDF, false},
      {0x304B, 0x3099, false},   // ka + voiced mark is ga
      {0x304A, 0x3099, true},
      {0x11131, 0x11127, false}, // beyond the basic plane
      {0x11099, 0x110BA, false},
  };
  for (const pair_case &pc : cases) {
    expr_fixture f(DIALECT_KAV17);
    EXPECT_EQ(nfc_pair_allowed(f.reader, pc.c, pc.previous), pc.allowed)
        << std::hex << pc.previous << " " << pc.c;
    EXPECT_EQ(f.reports, words{}) << std::hex << pc.c;
  }
}

TEST(IdentifierChars, CompositionPairOfAnotherCharacterIsAnInternalError)
{
  for (uint32_t c : {0x0305u, 0x0041u, 0x1161u}) {
    expr_fixture f(DIALECT_KAV17);
    EXPECT_TRUE(nfc_pair_allowed(f.reader, c, 0x0041));
    char expected[64];
    snprintf(expected, sizeof expected, "ice: Character %x might not be NFKC", unsigned(c));
    EXPECT_EQ(f.reports, words{expected});
  }
}

// The characters of one identifier in turn: the validity of the last and the
// level the identifier reaches.
struct identifier_case {
  source_dialect dialect;
  bool pedantic;
  std::vector<uint32_t> chars;
  int validity;
  int32_t level;
};

TEST(IdentifierChars, ValidityAndLevel)
{
  const identifier_case cases[] = {
      // U+00A8 is a C11 character only: out of a pedantic C99 identifier.
      {DIALECT_STDC99, true, {0x00A8}, UCN_INVALID, NORM_NFKC},
      {DIALECT_STDC99, false, {0x00A8}, UCN_ANYWHERE, NORM_NFC},
      {DIALECT_STDC11, true, {0x00A8}, UCN_ANYWHERE, NORM_NFC},
      {DIALECT_CXX20, true, {0x00A8}, UCN_INVALID, NORM_NFKC},
      // Arabic-Indic digits: C99 and C++ keep them from the start, C11 not.
      {DIALECT_STDC99, true, {0x0660}, UCN_NOT_AT_START, NORM_NFKC},
      {DIALECT_STDC11, true, {0x0660}, UCN_ANYWHERE, NORM_NFKC},
      {DIALECT_CXX20, true, {0x0660}, UCN_NOT_AT_START, NORM_NFKC},
      {DIALECT_STDC99, false, {0x0660}, UCN_ANYWHERE, NORM_NFKC},
      // Combining marks start no identifier in any standard that has them.
      {DIALECT_STDC11, true, {0x0300}, UCN_NOT_AT_START, NORM_NFKC},
      {DIALECT_STDC17, false, {0x0300}, UCN_NOT_AT_START, NORM_NFKC},
      // The published C99 Thai range ends at U+0E3A.
      {DIALECT_STDC99, true, {0x0E3A}, UCN_ANYWHERE, NORM_NFKC},
      {DIALECT_STDC99, true, {0x0E3B}, UCN_INVALID, NORM_NFKC},
      {DIALECT_CXX20, true, {0x30000}, UCN_ANYWHERE, NORM_NFKC},
      // First assigned after the Unicode version the table follows.
      {DIALECT_CXX20, true, {0x0870}, UCN_INVALID, NORM_NFKC},
      {DIALECT_CXX20, true, {0x110000}, UCN_INVALID, NORM_NFKC},
      {DIALECT_CXX20, false, {0xD800}, UCN_INVALID, NORM_NFKC},
      // Normalisation levels.
      {DIALECT_STDC11, false, {0x00C2, 0x0300}, UCN_NOT_AT_START, NORM_NOT_NFC},
      {DIALECT_STDC11, false, {0x1100, 0x1161}, UCN_ANYWHERE, NORM_IDENTIFIER},
      {DIALECT_STDC11, false, {0x00C0, 0x0300}, UCN_NOT_AT_START, NORM_NFKC},
      {DIALECT_STDC11, false, {0xAC00, 0x11A8}, UCN_ANYWHERE, NORM_IDENTIFIER},
      {DIALECT_STDC11, false, {0xAC01, 0x11A8}, UCN_ANYWHERE, NORM_NFKC},
      // A jamo that composes with nothing before it is in form C.
      {DIALECT_STDC11, false, {0x00E9, 0x1161}, UCN_ANYWHERE, NORM_NFKC},
      {DIALECT_STDC11, false, {0x00AA}, UCN_ANYWHERE, NORM_NFC},
      {DIALECT_STDC11, false, {0x212A}, UCN_ANYWHERE, NORM_IDENTIFIER},
      {DIALECT_STDC11, false, {0x2126}, UCN_ANYWHERE, NORM_NOT_NFC},
      // Combining classes out of order; a class-0 character starts afresh.
      {DIALECT_STDC11, false, {0x00C0, 0x0301, 0x0323}, UCN_NOT_AT_START, NORM_NOT_NFC},
      {DIALECT_STDC11, false, {0x00C0, 0x0301, 0x00C0, 0x0323}, UCN_NOT_AT_START, NORM_NFKC},
  };
  for (const identifier_case &c : cases) {
    expr_fixture f(c.dialect);
    f.options()->pedantic_mode = c.pedantic;
    normalization_state state = {};
    int validity = -1;
    for (uint32_t ch : c.chars)
      validity = ucn_identifier_validity(f.reader, ch, &state);
    std::string label = std::string(dialect_name(c.dialect)) + (c.pedantic ? " pedantic " : " ");
    for (uint32_t ch : c.chars)
      label += std::to_string(ch) + " ";
    EXPECT_EQ(validity, c.validity) << label;
    EXPECT_EQ(state.level, c.level) << label;
    EXPECT_EQ(f.reports, words{}) << label;
  }
}

} // namespace
