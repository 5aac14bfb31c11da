// Identifier characters: the canonical composition pairs that take an
// identifier out of normalization form C.
#include "tests/libsprenk/expr-fixture.h"

#include <gtest/gtest.h>

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

} // namespace
