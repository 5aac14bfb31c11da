// The output buffer: wrapping, prefixes, escaping and the dumps.
#include "diagnostics/pretty-print.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct printer_fixture : ::testing::Test {
  pretty_printer pp{0};
  std::string text() { return pp_current_text(&pp); }
};

struct wrap_case {
  int cutoff;
  const char *prefix;
  int rule;
  const char *input;
  const char *expected;
};

TEST(PrettyPrint, WrappingAndPrefixes)
{
  const wrap_case cases[] = {
      // No cutoff: nothing is wrapped, blanks are kept as they are.
      {0, nullptr, PP_PREFIX_ONCE, "  aaa   bbb ccc\tddd", "  aaa   bbb ccc\tddd"},
      // The blank before a break stays at the end of the line.
      {10, nullptr, PP_PREFIX_ONCE, "aaa bbb ccc ddd", "aaa bbb \nccc ddd"},
      // A tab between words is one blank; a word longer than the line stands alone.
      {10, nullptr, PP_PREFIX_ONCE, "aa\tbb", "aa bb"},
      {6, nullptr, PP_PREFIX_ONCE, "abcdefghijkl xy", "abcdefghijkl\nxy"},
      {6, nullptr, PP_PREFIX_ONCE, "ab abcdefghijkl", "ab \nabcdefghijkl"},
      // Blanks after a newline are text like any other.
      {20, nullptr, PP_PREFIX_ONCE, "one\n   two", "one\n   two"},
      // Rule "once": later lines are indented by 3 instead of prefixed.
      {12, "P: ", PP_PREFIX_ONCE, "aaa bbb ccc ddd", "P: aaa bbb \n   ccc ddd"},
      {12, "P: ", PP_PREFIX_ONCE, "aaa\nbbb", "P: aaa\n   bbb"},
      // Rule "every line": the cutoff grows by 32 when the prefix leaves too little.
      {20, "PPPP:", PP_PREFIX_EVERY_LINE, "a\nb", "PPPP:a\nPPPP:b"},
      {0, "X ", PP_PREFIX_NEVER, "a\nb", "a\nb"},
  };
  for (const wrap_case &c : cases) {
    pretty_printer pp(0);
    pp.prefixing_rule = c.rule;
    pp_set_line_cutoff(&pp, c.cutoff);
    if (c.prefix)
      pp_replace_prefix(&pp, strdup(c.prefix));
    pp_put_string(&pp, c.input);
    EXPECT_EQ(std::string(pp_current_text(&pp)), c.expected) << c.input << " cutoff " << c.cutoff;
  }
}

TEST(PrettyPrint, MaximumLengthFollowsCutoffAndPrefix)
{
  pretty_printer pp(0);
  pp.prefixing_rule = PP_PREFIX_EVERY_LINE;
  pp_replace_prefix(&pp, strdup("abcde"));
  pp_set_line_cutoff(&pp, 20);
  EXPECT_EQ(pp.maximum_length, 52);
  pp_set_line_cutoff(&pp, 40);
  EXPECT_EQ(pp.maximum_length, 40);
  pp.prefixing_rule = PP_PREFIX_ONCE;
  pp_set_line_cutoff(&pp, 20);
  EXPECT_EQ(pp.maximum_length, 20);
  pp_set_line_cutoff(&pp, 0);
  EXPECT_EQ(pp.maximum_length, 0);
}

TEST_F(printer_fixture, EscapedBytes)
{
  const struct {
    const char *input;
    long length;
    const char *expected;
  } cases[] = {
      {"plain", -1, "plain"},
      {"\xc3\xa9t\xc3\xa9", -1, "\xc3\xa9t\xc3\xa9"},
      {"\xff", -1, "\\xff"},
      {"a\tb\n", -1, "a\\x09b\\x0a"},
      // A sequence cut by the length is not valid any more.
      {"\xc3\xa9", 1, "\\xc3"},
      {"\xe2\x82", -1, "\\xe2\\x82"},
      {"a\0b", 3, "a\\x00b"},
  };
  for (const auto &c : cases) {
    pp_clear_text(&pp);
    pp_put_escaped(&pp, c.input, c.length);
    EXPECT_EQ(text(), c.expected) << c.input;
  }
}

TEST_F(printer_fixture, CurrentTextCanBeReadTwice)
{
  pp_put_string(&pp, "ab");
  EXPECT_EQ(text(), "ab");
  pp_put_string(&pp, "cd");
  EXPECT_EQ(text(), "abcd");
  EXPECT_EQ(*pp_last_char(&pp), 'd');
  pp_clear_text(&pp);
  EXPECT_EQ(pp_last_char(&pp), nullptr);
}

TEST_F(printer_fixture, CharsBreakOnlyOutsideUtf8Sequences)
{
  pp_set_line_cutoff(&pp, 2);
  for (char c : std::string("ab\xc3\xa9 c"))
    pp_put_char(&pp, c);
  // The break comes before the lead byte; the blank at a full line is dropped.
  EXPECT_EQ(text(), "ab\n\xc3\xa9\nc");
}

TEST_F(printer_fixture, SeparatorsIndentsAndPadding)
{
  pp.indent_skip = 2;
  pp_put_string(&pp, "x");
  pp_put_separator(&pp, ',');
  pp_newline_indented(&pp, 1);
  pp_put_string(&pp, "y");
  pp.padding = 1;
  pp_space_if_needed(&pp);
  pp_space_if_needed(&pp);
  pp_put_wide_int(&pp, -9000000000);
  EXPECT_EQ(text(), "x, \n   y -9000000000");
}

std::string dump(void (*writer)(pretty_printer *), const char *input)
{
  char *out = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&out, &size);
  pretty_printer pp(0);
  pp.buffer->stream = stream;
  pp_put_string(&pp, input);
  writer(&pp);
  fclose(stream);
  std::string result(out, size);
  free(out);
  EXPECT_EQ(std::string(pp_current_text(&pp)), "");
  return result;
}

TEST(PrettyPrint, DotAndHtmlDumps)
{
  auto plain = [](pretty_printer *pp) { pp_write_text_as_dot_label_to_stream(pp, false); };
  auto record = [](pretty_printer *pp) { pp_write_text_as_dot_label_to_stream(pp, true); };
  EXPECT_EQ(dump(plain, "a \"b\"\\c\n{x|y}"), "a \\\"b\\\"\\\\c\\l\\\n{x|y}");
  EXPECT_EQ(dump(record, "a <b> {c|d}"), "a\\ \\<b\\>\\ \\{c\\|d\\}");
  EXPECT_EQ(dump(pp_dump_html_escaped, "<a href=\"x\">&</a>"),
            "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
}

TEST(PrettyPrintDeathTest, DotLabelEndingInBackslash)
{
  auto record = [](pretty_printer *pp) { pp_write_text_as_dot_label_to_stream(pp, false); };
  EXPECT_DEATH(dump(record, "ab\\"), "pp_write_text_as_dot_label_to_stream");
}

TEST(PrettyPrint, FlushWritesOnceAndHonoursTheSwitch)
{
  char *out = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&out, &size);
  pretty_printer pp(0);
  pp.buffer->stream = stream;
  pp_replace_prefix(&pp, strdup("p: "));
  pp_put_string(&pp, "one");
  pp.buffer->flush_enabled = false;
  pp_flush_output(&pp);
  fflush(stream);
  EXPECT_EQ(size, 0u);
  pp.buffer->flush_enabled = true;
  pp_end_line_and_flush(&pp);
  // After a flush the prefix is emitted again.
  pp_put_string(&pp, "two");
  pp_flush_output(&pp);
  fclose(stream);
  EXPECT_EQ(std::string(out, size), "p: one\np: two");
  free(out);
}

TEST(PrettyPrint, CloneKeepsSettingsNotText)
{
  pretty_printer pp(0);
  pp.prefixing_rule = PP_PREFIX_EVERY_LINE;
  pp_set_line_cutoff(&pp, 10);
  pp.show_color = true;
  pp.url_format = 2;
  pp_replace_prefix(&pp, strdup("long prefix: "));
  pp_put_string(&pp, "text");
  pretty_printer *copy = pp.clone();
  EXPECT_EQ(copy->prefix, nullptr);
  EXPECT_EQ(copy->maximum_length, 42);
  EXPECT_TRUE(copy->show_color);
  EXPECT_EQ(copy->url_format, 2);
  EXPECT_EQ(std::string(pp_current_text(copy)), "");
  delete copy;
}

} // namespace
