// Bidirectional control characters in comments, literals and identifiers:
// which are reported under each mode, and the labels of the open contexts.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

namespace {

#define LRE "\xE2\x80\xAA"
#define PDF "\xE2\x80\xAC"
#define RLO "\xE2\x80\xAE"
#define LRI "\xE2\x81\xA6"
#define RLI "\xE2\x81\xA7"

struct bidi_case {
  uint8_t mode;
  const char *text;
  words expected;
};

TEST(Bidi, WhatEachModeReports)
{
  const bidi_case cases[] = {
      {1, "// " RLO " x\n", {"warning: unpaired UTF-8 bidirectional control character detected [27]"}},
      {1, "/* " LRI RLI " */", {"warning: unpaired UTF-8 bidirectional control characters detected [27]"}},
      {1, "\"" LRE "a" PDF "\"", {}},
      {0, "// " RLO "\n", {}},
      {2, "// " PDF "\n", {"warning: \"U+202C (POP DIRECTIONAL FORMATTING)\" is closing an unopened context [27]"}},
      {3, "\"" LRE "a" PDF "\"",
       {"warning: found problematic Unicode character \"U+202A (LEFT-TO-RIGHT EMBEDDING)\" [27]"}},
      // A control spelled as a universal character name counts only with the UCN bit.
      {1, "\"\\u202E\"", {}},
      {5, "\"\\u202E\"", {"warning: unpaired UTF-8 bidirectional control character detected [27]"}},
      {5, "\"" LRE "\\u202C\"",
       {"warning: UTF-8 vs UCN mismatch when closing a context by \"U+202C (POP DIRECTIONAL "
        "FORMATTING)\" [27]"}},
      // Every comment, literal and line end empties the stack.
      {1, "/* " LRE " */ /* " PDF " */",
       {"warning: unpaired UTF-8 bidirectional control character detected [27]"}},
  };
  for (const bidi_case &c : cases) {
    pp_fixture f;
    f.options()->bidi_warning_mode = c.mode;
    f.lex(c.text);
    EXPECT_EQ(f.reports, c.expected) << int(c.mode) << " " << c.text;
  }
}

TEST(Bidi, LabelsOfTheOpenContexts)
{
  pp_fixture f;
  f.lex("// " LRI " " RLI "\n");
  ASSERT_EQ(f.report_labels.size(), 1u);
  EXPECT_EQ(f.report_labels[0], (words{"end of bidirectional context",
                                       "U+2066 (LEFT-TO-RIGHT ISOLATE)",
                                       "U+2067 (RIGHT-TO-LEFT ISOLATE)"}));
  // The end of the comment, its newline, is where the report points.
  EXPECT_EQ(f.where(f.report_locations[0]), "1:11");
}

TEST(Bidi, OverrideInALineComment)
{
  pp_fixture f;
  f.lex("int x; // " RLO "\n");
  ASSERT_EQ(f.report_labels.size(), 1u);
  EXPECT_EQ(f.report_labels[0],
            (words{"end of bidirectional context", "U+202E (RIGHT-TO-LEFT OVERRIDE)"}));
}

TEST(Bidi, DeepNestingOutgrowsTheInlineStack)
{
  std::string text = "/* ";
  for (int i = 0; i < 40; i++)
    text += LRI;
  for (int i = 0; i < 40; i++)
    text += "\xE2\x81\xA9";
  text += " */";
  pp_fixture f;
  f.lex(text);
  EXPECT_TRUE(f.reports.empty());
}

} // namespace
