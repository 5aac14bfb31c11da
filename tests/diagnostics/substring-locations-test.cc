// Locations of characters inside string literals: escapes and UCNs span
// their spelling, concatenated pieces continue each other, and each reason
// a location cannot be had.
#include "diagnostics/substring-locations.h"

#include "diagnostics/diagnostic.h"
#include "diagnostics/input.h"
#include "diagnostics/internal.h"
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

struct substrings : testing::Test {
  pp_fixture f;
  std::string path;
  std::vector<preproc_token> strings;
  std::vector<location_t> expanded; // where the stream put each string

  substrings() { line_table = f.lines.get(); }
  ~substrings() override
  {
    file_cache_teardown(&global_diagnostic_state);
    line_table = nullptr;
    if (!path.empty())
      unlink(path.c_str());
  }

  // Writes TEXT to a file, reads it as the main file and keeps its strings.
  void read(const std::string &text)
  {
    char name[] = "/tmp/substrings-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);
    path = name;
    reader_post_options(f.reader);
    ASSERT_NE(open_main_file(f.reader, name, false), nullptr);
    for (;;) {
      location_t at;
      const preproc_token *t = cpp_next_token_with_location(f.reader, &at);
      if (t->kind == TK_EOF)
        break;
      if (t->kind == TK_STRING) {
        strings.push_back(*t);
        expanded.push_back(at);
      }
    }
  }

  // "caret line:column, range start-finish columns", or the error text.
  std::string within(location_t location, int32_t caret, int32_t start, int32_t end,
                     string_concat_db *db = nullptr)
  {
    location_t out = 0;
    const char *error =
        get_location_within_string(f.reader, db, location, TK_STRING, caret, start, end, &out);
    if (error)
      return error;
    location_span range = linemap_location_range(line_table, out);
    return f.where(out) + " " + f.where(range.start) + "-" + f.where(range.finish);
  }
};

TEST_F(substrings, CharactersOfOneLiteral)
{
  read("x = \"a\\x41\\u00e9b\";\n");
  ASSERT_EQ(strings.size(), 1u);
  location_t s = strings[0].location;
  EXPECT_EQ(within(s, 0, 0, 0), "1:6 1:6-1:6");
  // The hex escape is one character spanning its four bytes.
  EXPECT_EQ(within(s, 1, 1, 1), "1:7 1:7-1:10");
  // The UCN's two UTF-8 bytes both span its spelling.
  EXPECT_EQ(within(s, 2, 2, 3), "1:11 1:11-1:16");
  EXPECT_EQ(within(s, 4, 0, 5), "1:17 1:6-1:18");
  EXPECT_EQ(within(s, 6, 0, 0), "caret_idx out of range");
  EXPECT_EQ(within(s, 0, -1, 0), "start_idx out of range");
  EXPECT_EQ(within(s, 0, 0, 6), "end_idx out of range");
}

TEST_F(substrings, ConcatenatedPieces)
{
  read("f(\"ab\"\n  \"cd\");\n");
  ASSERT_EQ(strings.size(), 2u);
  string_concat_db db;
  location_t pieces[] = {strings[0].location, strings[1].location};
  record_string_concatenation(&db, 2, pieces);
  // a b c d and the closing quote of the last piece.
  EXPECT_EQ(within(strings[0].location, 2, 1, 3, &db), "2:4 1:5-2:5");
  EXPECT_EQ(within(strings[0].location, 4, 4, 4, &db), "2:6 2:6-2:6");
}

TEST_F(substrings, WhyNot)
{
  read("\"a\";\n");
  EXPECT_EQ(within(0, 0, 0, 0), "unknown location");
  f.options()->macro_expansion_tracking = 1;
  EXPECT_EQ(within(strings[0].location, 0, 0, 0), "track_macro_expansion != 2");
  f.options()->macro_expansion_tracking = 2;
  location_t out;
  EXPECT_STREQ(get_location_within_string(f.reader, nullptr, strings[0].location, TK_WSTRING, 0,
                                          0, 0, &out),
               "execution character set != source character set");
}

// A literal from a macro is read where it was spelled; a line directive
// leaves no line to trust.
TEST_F(substrings, InsideExpansionsAndAfterLineDirectives)
{
  read("#define S \"ab\"\n#define T(x) x\nS T(\"cd\") T(S)\n#define Q(x) #x\nQ(ef)\n#line 9\n\"g\";\n");
  ASSERT_EQ(expanded.size(), 5u);
  for (size_t i = 0; i < 4; i++)
    EXPECT_TRUE(linemap_is_macro_location(line_table, expanded[i])) << i;
  f.lines->seen_line_directive = false;
  EXPECT_EQ(within(expanded[0], 1, 1, 1), "1:13 1:13-1:13");
  EXPECT_EQ(within(expanded[1], 0, 0, 1), "3:6 3:6-3:7");
  EXPECT_EQ(within(expanded[2], 1, 0, 1), "1:13 1:12-1:13");
  // A string made by "#" was never spelled.
  EXPECT_EQ(within(expanded[3], 0, 0, 0), "cpp_interpret_string_1 failed");
  location_span both = {expanded[0], expanded[1]};
  EXPECT_EQ(within(linemap_combine_location(line_table, expanded[0], both, nullptr), 0, 0, 0),
            "macro expansion");
  f.lines->seen_line_directive = true;
  EXPECT_EQ(within(expanded[4], 0, 0, 0), "seen line directive");
}

} // namespace
