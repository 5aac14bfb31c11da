// Display width: tabs, UTF-8 decoding, undecodable bytes, column conversion
// and the code-point width table.
#include "locations/display-width.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const column_policy policy8 = {8, 1, codepoint_display_width};

const unsigned char *bytes(const std::string &s)
{
  return reinterpret_cast<const unsigned char *>(s.data());
}

struct step_seen {
  int32_t width;
  bool valid;
  uint32_t code_point;
  size_t length;
};

std::vector<step_seen> walk_all(const std::string &s, const column_policy &policy = policy8)
{
  std::vector<step_seen> seen;
  cpp_display_width_computation walk(bytes(s), s.size(), policy);
  while (walk.bytes_left > 0) {
    decoded_codepoint cp = {};
    int32_t w = display_width_step(&walk, &cp);
    seen.push_back({w, cp.valid, cp.valid ? cp.code_point : 0, size_t(cp.next - cp.start)});
  }
  return seen;
}

TEST(DisplayWidth, TabsGoToTheNextStop)
{
  // A tab at column 0 is 8 wide, at column 5 it is 3, at column 8 again 8.
  EXPECT_EQ(walk_all("\t")[0].width, 8);
  auto after5 = walk_all("abcde\t");
  EXPECT_EQ(after5[5].width, 3);
  EXPECT_EQ(after5[5].code_point, 9u);
  EXPECT_EQ(walk_all("abcdefgh\t")[8].width, 8);
  column_policy policy3 = {3, 1, codepoint_display_width};
  EXPECT_EQ(walk_all("a\t\t", policy3)[1].width, 2);
  EXPECT_EQ(walk_all("a\t\t", policy3)[2].width, 3);
}

TEST(DisplayWidth, DecodesCharactersAndRejectsBadSequences)
{
  struct row {
    const char *text;
    std::vector<step_seen> steps;
  } rows[] = {
    {"\xc3\xa9", {{1, true, 0xe9, 2}}},
    {"\xe4\xb8\x80", {{2, true, 0x4e00, 3}}},
    {"\xcc\x81", {{0, true, 0x301, 2}}},
    {"\xf0\x9f\x98\x80", {{2, true, 0x1f600, 4}}},
    // Overlong forms, surrogates and lone continuation bytes are undecodable
    // byte by byte.
    {"\xc0\x80", {{1, false, 0, 1}, {1, false, 0, 1}}},
    {"\xe0\x80\x80", {{1, false, 0, 1}, {1, false, 0, 1}, {1, false, 0, 1}}},
    {"\xed\xa0\x80", {{1, false, 0, 1}, {1, false, 0, 1}, {1, false, 0, 1}}},
    {"\x80x", {{1, false, 0, 1}, {1, true, 'x', 1}}},
    {"\xfe\xff", {{1, false, 0, 1}, {1, false, 0, 1}}},
    // A three-byte sequence cut off by the end of the run.
    {"\xe4\xb8", {{1, false, 0, 1}, {1, false, 0, 1}}},
    // A broken continuation leaves the following byte to be decoded again.
    {"\xe4" "a", {{1, false, 0, 1}, {1, true, 'a', 1}}},
    // Five- and six-byte forms decode (values up to 0x7fffffff).
    {"\xf8\x88\x80\x80\x80", {{1, true, 0x200000, 5}}},
    {"\xfd\xbf\xbf\xbf\xbf\xbf", {{1, true, 0x7fffffff, 6}}},
    {"\xfc\x83\xbf\xbf\xbf\xbf", {{1, false, 0, 1}, {1, false, 0, 1}, {1, false, 0, 1},
                                  {1, false, 0, 1}, {1, false, 0, 1}, {1, false, 0, 1}}},
  };
  for (const row &r : rows) {
    auto seen = walk_all(r.text);
    ASSERT_EQ(seen.size(), r.steps.size()) << r.text;
    for (size_t i = 0; i < seen.size(); i++) {
      EXPECT_EQ(seen[i].width, r.steps[i].width) << r.text << " step " << i;
      EXPECT_EQ(seen[i].valid, r.steps[i].valid) << r.text << " step " << i;
      EXPECT_EQ(seen[i].code_point, r.steps[i].code_point) << r.text << " step " << i;
      EXPECT_EQ(seen[i].length, r.steps[i].length) << r.text << " step " << i;
    }
  }
}

TEST(DisplayWidth, UndecodableWidthComesFromThePolicy)
{
  column_policy policy = {8, 4, codepoint_display_width};
  std::string s = "\xff" "a";
  cpp_display_width_computation walk(bytes(s), s.size(), policy);
  EXPECT_EQ(display_width_step(&walk), 4);
  EXPECT_EQ(display_width_step(&walk), 1);
  EXPECT_EQ(walk.display_cols, 5);
}

TEST(DisplayWidth, AdvanceCanOvershootOnWideCharactersAndTabs)
{
  std::string s = "a\xe4\xb8\x80" "b\tc";
  cpp_display_width_computation walk(bytes(s), s.size(), policy8);
  EXPECT_EQ(display_width_advance(&walk, 0), 0);
  EXPECT_EQ(display_width_advance(&walk, 2), 3); // a + the wide character
  EXPECT_EQ(display_width_advance(&walk, 2), 5); // b + tab from column 4
  EXPECT_EQ(walk.display_cols, 8);
  EXPECT_EQ(display_width_advance(&walk, 10), 1); // runs out of bytes
  EXPECT_EQ(walk.bytes_left, 0u);
}

TEST(DisplayWidth, ByteToDisplayColumn)
{
  struct row {
    std::string line;
    int32_t byte_column;
    int32_t display;
  } rows[] = {
    {"abcd", 10, 10},                // past the end: one column per byte
    {"a\xe4\xb8\x80", 4, 3},
    {"a\xe4\xb8\x80", 2, 2},         // inside the wide character: one undecodable byte
    {"\tx", 2, 9},
    {"", 3, 3},
    {"abc", 0, 0},
  };
  for (const row &r : rows)
    EXPECT_EQ(byte_to_display_column(bytes(r.line), r.line.size(), r.byte_column, policy8),
              r.display)
        << r.line << " @" << r.byte_column;
}

TEST(DisplayWidth, DisplayToByteColumn)
{
  struct row {
    std::string line;
    int32_t display_column;
    int32_t byte_column;
  } rows[] = {
    {"\xe4\xb8\x80z", 2, 3},
    {"\xe4\xb8\x80z", 1, 3},         // the straddling wide character is taken whole
    {"abc", 5, 5},                   // two columns past the end
    {"", 4, 4},
    {"abc", 0, 0},
    {"abc", -2, 0},
    {"\tx", 3, 1},
  };
  for (const row &r : rows)
    EXPECT_EQ(display_to_byte_column(bytes(r.line), r.line.size(), r.display_column, policy8),
              r.byte_column)
        << r.line << " @" << r.display_column;
}

TEST(DisplayWidth, CodepointWidthTable)
{
  struct row {
    uint32_t code_point;
    int32_t width;
  } rows[] = {
    {0x0, 1}, {0xad, 1}, {0x2ff, 1},           // row 0 is never searched
    {0x300, 0}, {0x36f, 0}, {0x370, 1},
    {0x600, 1}, {0x605, 1}, {0x610, 0},        // prepended concatenation marks
    {0x1100, 2}, {0x115f, 2}, {0x1160, 0}, {0x11ff, 0}, {0x1200, 1},
    {0x200b, 0}, {0x200f, 0}, {0x2010, 1},
    {0x302a, 0}, {0x3099, 0},                  // marks inside wide blocks
    {0x3220, 2}, {0x4dc0, 2}, {0x9ffc, 2}, {0x9ffd, 1},
    {0xac00, 2}, {0xd7a3, 2}, {0xd7b0, 0}, {0xd7fb, 0},
    {0xd7ff, 1},                               // unassigned, though among the medial jamo
    {0xd800, 1},
    {0xfe00, 0}, {0xfeff, 0}, {0xff01, 2}, {0xff60, 2}, {0xff61, 1}, {0xffdf, 1},
    {0x1f600, 2},
    {0x20000, 2}, {0x2a6dd, 2}, {0x2a6de, 1},  // the Unicode 13.0 repertoire
    {0x30000, 2}, {0x3134a, 2}, {0x3134b, 1},
    {0xe0001, 0}, {0xe0100, 0}, {0xe01ef, 0}, {0xe01f0, 1}, {0x10ffff, 1}, {0xffffffff, 1},
  };
  for (const row &r : rows)
    EXPECT_EQ(codepoint_display_width(r.code_point), r.width) << std::hex << r.code_point;
}

TEST(DisplayWidthDeathTest, PolicyWithoutWidthFunctionOrTabStop)
{
  column_policy no_fn = {8, 1, nullptr};
  column_policy no_tab = {0, 1, codepoint_display_width};
  const unsigned char *p = bytes("x");
  EXPECT_DEATH(cpp_display_width_computation(p, 1, no_fn), "cpp_display_width_computation");
  EXPECT_DEATH(byte_to_display_column(p, 1, 1, no_tab), "cpp_display_width_computation");
  EXPECT_DEATH(display_to_byte_column(p, 1, 1, no_tab), "cpp_display_width_computation");
}

} // namespace
