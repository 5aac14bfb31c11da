// Source quoting over real files: carets, ranges, labels, line numbers, spans,
// scrolling, tabs, wide and undecodable characters, the escape policies and
// fix-it lines, each checked against the exact text.
#include "diagnostics/source-quoting.h"

#include "tests/diagnostics/child-run.h"
#include "tests/diagnostics/quoting-fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char main_c[] = "int main(void)\n{\n  return foo + bar;\n}\n";

struct quoting : quoting_fixture {
  file_map main_map = source("main.c", main_c, 4);
  located_ranges record;
  ~quoting() override { located_ranges_fini(&record); }

  // The record starts at a caret with a range on line 3 of main.c.
  void primary(uint32_t caret, uint32_t start, uint32_t finish, const range_label *label = nullptr)
  {
    located_ranges_init(&record, line_table, span(main_map, 3, caret, start, finish), label);
  }
  void secondary(uint32_t start, uint32_t finish, const range_label *label = nullptr,
                 range_display_kind kind = RANGE_NO_CARET)
  {
    located_ranges_add_range(&record, span(main_map, 3, start, start, finish), kind, label);
  }
};

TEST_F(quoting, CaretAndRanges)
{
  primary(10, 10, 12);
  secondary(16, 18);
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^~~   ~~~\n");
  context->show_line_numbers = true;
  EXPECT_EQ(quote(&record), "3 |   return foo + bar;\n"
                            "  |          ^~~   ~~~\n");
  context->minimum_margin_width = 4;
  EXPECT_EQ(quote(&record), "  3 |   return foo + bar;\n"
                            "    |          ^~~   ~~~\n");
}

TEST_F(quoting, SecondRangeWithCaretAndCaretMarks)
{
  primary(10, 10, 12);
  secondary(16, 18, nullptr, RANGE_CARET);
  context->caret_marks[1] = 'B';
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^~~   B~~\n");
}

TEST_F(quoting, LabelsShareARowOrStepDown)
{
  text_label type("int"), other("const char *"), wide("integer");
  primary(10, 10, 12, &type);
  secondary(16, 18, &other);
  context->show_labels = true;
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^~~   ~~~\n"
                            "          |     |\n"
                            "          int   const char *\n");
  located_ranges_fini(&record);
  primary(10, 10, 12, &wide);
  secondary(16, 18, &other);
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^~~   ~~~\n"
                            "          |     |\n"
                            "          |     const char *\n"
                            "          integer\n");
  context->show_labels = false;
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^~~   ~~~\n");
}

TEST_F(quoting, LabelsAtOneColumnKeepOneBar)
{
  text_label first("first"), second("second");
  primary(10, 10, 12, &first);
  secondary(10, 12, &second);
  context->show_labels = true;
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^~~\n"
                            "          |\n"
                            "          first\n"
                            "          second\n");
}

TEST_F(quoting, RangeGoingOnBelowUnderlinesToTheLastNonBlank)
{
  location_t caret = at(main_map, 3, 3);
  located_ranges_init(&record, line_table, location_make(caret, caret, at(main_map, 4, 1)),
                      nullptr);
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "   ^~~~~~~~~~~~~~~~~\n"
                            " }\n"
                            " ~  \n");
}

TEST_F(quoting, SameLocationTwiceInARowIsQuotedOnce)
{
  located_ranges_init(&record, line_table, at(main_map, 3, 10), nullptr);
  diagnostic_show_locus(context, &record, DK_ERROR);
  diagnostic_show_locus(context, &record, DK_ERROR);
  EXPECT_EQ(std::string(pp_current_text(context->printer)), "   return foo + bar;\n"
                                                            "          ^\n");
  pp_clear_text(context->printer);
  // A label makes the second quotation worth showing.
  text_label label("here");
  located_ranges_fini(&record);
  located_ranges_init(&record, line_table, at(main_map, 3, 10), &label);
  diagnostic_show_locus(context, &record, DK_ERROR);
  EXPECT_EQ(std::string(pp_current_text(context->printer)), "   return foo + bar;\n"
                                                            "          ^\n");
}

TEST_F(quoting, NothingWithoutCaretOrLocation)
{
  located_ranges_init(&record, line_table, BUILTINS_LOCATION, nullptr);
  EXPECT_EQ(quote(&record), "");
  located_ranges_set_range(&record, 0, at(main_map, 3, 10), RANGE_CARET);
  context->show_caret = false;
  EXPECT_EQ(quote(&record), "");
  context->show_caret = true;
  EXPECT_EQ(quote(&record), "   return foo + bar;\n          ^\n");
}

TEST_F(quoting, Colours)
{
  primary(10, 10, 12);
  secondary(16, 18);
  context->printer->show_color = true;
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          \33[01;31m\33[K^~~\33[m\33[K   \33[32m\33[K~~~\33[m\33[K\n");
  context->color_source = true;
  EXPECT_EQ(quote(&record, DK_WARNING),
            "   return \33[01;35m\33[Kfoo\33[m\33[K + \33[32m\33[Kbar\33[m\33[K;\n"
            "          \33[01;35m\33[K^~~\33[m\33[K   \33[32m\33[K~~~\33[m\33[K\n");
}

TEST_F(quoting, FixitLines)
{
  struct row {
    const char *what;
    bool range;         // the primary location underlines foo
    uint32_t start, next; // columns on line 3
    const char *text;
    const char *fixit_lines;
  } rows[] = {
      {"deletion", false, 13, 19, "", "             ------\n"},
      {"replacement of the shown range", true, 10, 13, "baz", "          baz\n"},
      {"replacement elsewhere", false, 16, 19, "qux", "                ---\n"
                                                      "                qux\n"},
      {"insertion", false, 10, 10, "(", "          (\n"},
  };
  for (const row &r : rows) {
    if (r.range)
      primary(10, 10, 12);
    else
      located_ranges_init(&record, line_table, at(main_map, 3, 10), nullptr);
    fixit_replace_range(&record, {at(main_map, 3, r.start), at(main_map, 3, r.next - 1)}, r.text);
    std::string annotation = r.range ? "          ^~~\n" : "          ^\n";
    EXPECT_EQ(quote(&record), "   return foo + bar;\n" + annotation + r.fixit_lines) << r.what;
    located_ranges_fini(&record);
  }
  located_ranges_init(&record, line_table, at(main_map, 3, 10), nullptr);
}

TEST_F(quoting, TouchingFixitsMerge)
{
  located_ranges_init(&record, line_table, at(main_map, 3, 10), nullptr);
  fixit_replace_at(&record, at(main_map, 3, 10), "FFF");
  fixit_replace_at(&record, at(main_map, 3, 12), "O");
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^\n"
                            "          ---\n"
                            "          FFFoO\n");
}

TEST_F(quoting, InsertedLineBeforeTheLine)
{
  located_ranges_init(&record, line_table, at(main_map, 3, 10), nullptr);
  fixit_insert_before_at(&record, at(main_map, 3, 1), "#include <stdio.h>\n");
  EXPECT_EQ(quote(&record), " {\n"
                            "+#include <stdio.h>\n"
                            "   return foo + bar;\n"
                            "          ^\n");
  context->show_line_numbers = true;
  EXPECT_EQ(quote(&record), "2 | {\n"
                            "+ |+#include <stdio.h>\n"
                            "3 |   return foo + bar;\n"
                            "  |          ^\n");
}

std::string numbered(int count)
{
  std::string text;
  for (int i = 1; i <= count; i++)
    text += "line " + std::to_string(i) + "\n";
  return text;
}

TEST_F(quoting, LinesFarApartFormSpans)
{
  std::string path;
  file_map map = source("lines.c", numbered(20), 20, &path);
  located_ranges_init(&record, line_table, location_make(at(map, 10, 1), at(map, 10, 1),
                                                         at(map, 10, 4)), nullptr);
  located_ranges_add_range(&record, location_make(at(map, 12, 1), at(map, 12, 1), at(map, 12, 4)),
                           RANGE_NO_CARET, nullptr);
  EXPECT_EQ(quote(&record), " line 10\n"
                            " ^~~~\n" +
                                path + ":12:\n"
                                       " line 12\n"
                                       " ~~~~\n");
  context->show_line_numbers = true;
  EXPECT_EQ(quote(&record), "10 | line 10\n"
                            "   | ^~~~\n"
                            "11 | line 11\n"
                            "12 | line 12\n"
                            "   | ~~~~\n");
  located_ranges_add_range(&record, location_make(at(map, 18, 1), at(map, 18, 1), at(map, 18, 4)),
                           RANGE_NO_CARET, nullptr);
  located_ranges_add_range(&record, location_make(at(map, 2, 1), at(map, 2, 1), at(map, 2, 4)),
                           RANGE_NO_CARET, nullptr);
  EXPECT_EQ(quote(&record), "  2 | line 2\n"
                            "    | ~~~~\n"
                            "....\n"
                            " 10 | line 10\n"
                            "    | ^~~~\n"
                            " 11 | line 11\n"
                            " 12 | line 12\n"
                            "    | ~~~~\n"
                            "....\n"
                            " 18 | line 18\n"
                            "    | ~~~~\n");
  context->show_line_numbers = false;
  context->show_column = true;
  EXPECT_EQ(quote(&record), path + ":2:1:\n"
                                   " line 2\n"
                                   " ~~~~\n" +
                                path + ":10:1:\n"
                                       " line 10\n"
                                       " ^~~~\n" +
                                path + ":12:1:\n"
                                       " line 12\n"
                                       " ~~~~\n" +
                                path + ":18:1:\n"
                                       " line 18\n"
                                       " ~~~~\n");
}

TEST_F(quoting, TabStops)
{
  file_map map = source("tabs.c", "\tx = y;\n", 1);
  located_ranges_init(&record, line_table, at(map, 1, 2), nullptr);
  for (uint32_t tab : {8u, 4u, 3u, 1u}) {
    context->tab_stop = tab;
    std::string blanks(tab + 1, ' ');
    EXPECT_EQ(quote(&record), blanks + "x = y;\n" + blanks + "^\n") << "tab stop " << tab;
  }
}

// One line per row; a finish column names the last byte of its character.
TEST_F(quoting, CharactersUnderEachPolicy)
{
  enum { PLAIN = -1 };
  struct row {
    const char *what;
    int format; // escape format, or PLAIN without escaping
    std::string line;
    uint32_t caret, finish;
    std::string quoted;
  } rows[] = {
      {"after a wide character", PLAIN, "a\xe4\xb8\x80" "b = 1;", 5, 5,
       " a\xe4\xb8\x80" "b = 1;\n    ^\n"},
      {"on a wide character", PLAIN, "a\xe4\xb8\x80" "b = 1;", 2, 4,
       " a\xe4\xb8\x80" "b = 1;\n  ^~\n"},
      {"after a combining accent", PLAIN, "e\xcc\x81x;", 4, 4, " e\xcc\x81x;\n  ^\n"},
      {"after a byte that is not UTF-8", PLAIN, "a\xff b;", 4, 4, " a\xff b;\n    ^\n"},
      {"a carriage return and a NUL show as blanks", PLAIN, std::string("a\r\0b;", 5), 4, 4,
       " a  b;\n    ^\n"},
      {"right-to-left override, code point", 0, "x\xe2\x80\xaey;", 2, 4,
       " x<U+202E>y;\n  ^" + std::string(7, '~') + "\n"},
      {"right-to-left override, bytes", 1, "x\xe2\x80\xaey;", 2, 4,
       " x<e2><80><ae>y;\n  ^" + std::string(11, '~') + "\n"},
      {"undecodable byte, code point", 0, "a\xff b;", 4, 4, " a<ff> b;\n       ^\n"},
      {"undecodable byte, bytes", 1, "a\xff b;", 4, 4, " a<ff> b;\n       ^\n"},
      {"control character, code point", 0, "a\x01" "b;", 3, 3, " a<U+0001>b;\n          ^\n"},
      {"control character, bytes", 1, "a\x01" "b;", 3, 3, " a<01>b;\n      ^\n"},
      {"two-byte character, bytes", 1, "\xc3\xa9z;", 3, 3, " <c3><a9>z;\n         ^\n"},
      {"astral character, code point", 0, "\xf0\x9f\x98\x80z;", 5, 5,
       " <U+1F600>z;\n          ^\n"},
      {"astral character, bytes", 1, "\xf0\x9f\x98\x80z;", 5, 5,
       " <f0><9f><98><80>z;\n                 ^\n"},
  };
  std::string file;
  for (const row &r : rows)
    file += r.line + "\n";
  file_map map = source("chars.c", file, sizeof rows / sizeof rows[0]);
  uint32_t line = 1;
  for (const row &r : rows) {
    located_ranges_init(&record, line_table,
                        location_make(at(map, line, r.caret), at(map, line, r.caret),
                                      at(map, line, r.finish)),
                        nullptr);
    record.escape_output = r.format != PLAIN;
    context->escape_format = r.format == PLAIN ? 0 : uint32_t(r.format);
    EXPECT_EQ(quote(&record), r.quoted) << r.what;
    located_ranges_fini(&record);
    line++;
  }
  located_ranges_init(&record, line_table, at(map, 1, 1), nullptr);
}

TEST_F(quoting, LongLinesScrollToKeepTheCaretInView)
{
  std::string digits;
  for (int column = 1; column <= 300; column++)
    digits += char('0' + column % 10);
  std::string wide = std::string(180, 'a') + "\xe4\xb8\x80" + std::string(120, 'b');
  file_map map = source("long.c", digits + "\n" + wide + "\n", 2);
  context->caret_line_width = 80;
  // Caret at 250, 10 columns kept to its right: the view starts after 181.
  located_ranges_init(&record, line_table, at(map, 1, 250), nullptr);
  EXPECT_EQ(quote(&record), " " + digits.substr(181) + "\n " + std::string(68, ' ') + "^\n");
  // With line numbers the margin is wider, so the view starts 3 columns later.
  context->show_line_numbers = true;
  EXPECT_EQ(quote(&record), "1 | " + digits.substr(184) + "\n  | " + std::string(65, ' ') + "^\n");
  context->show_line_numbers = false;
  // A wide character cut by the offset leaves a blank for its second column.
  located_ranges_fini(&record);
  located_ranges_init(&record, line_table, at(map, 2, 251), nullptr);
  EXPECT_EQ(quote(&record),
            "  " + std::string(120, 'b') + "\n " + std::string(68, ' ') + "^\n");
  // A caret near the start needs no scrolling.
  located_ranges_fini(&record);
  located_ranges_init(&record, line_table, at(map, 1, 5), nullptr);
  EXPECT_EQ(quote(&record), " " + digits + "\n     ^\n");
}

TEST_F(quoting, ColumnRuler)
{
  located_ranges_init(&record, line_table, at(main_map, 3, 3), nullptr);
  context->column_ruler = true;
  context->caret_line_width = 40;
  EXPECT_EQ(quote(&record), "          1         2         3         4\n"
                            " 1234567890123456789012345678901234567890\n"
                            "   return foo + bar;\n"
                            "   ^\n");
  // A narrow width scrolls the line by two columns, and the ruler with it.
  context->caret_line_width = 12;
  EXPECT_EQ(quote(&record), "        1    \n"
                            " 345678901234\n"
                            " return foo + bar;\n"
                            " ^\n");
}

TEST_F(quoting, FileWithoutFinalNewlineAndWithAMark)
{
  file_map open = source("open.c", "x = 1", 1);
  located_ranges_init(&record, line_table, at(open, 1, 5), nullptr);
  EXPECT_EQ(quote(&record), " x = 1\n     ^\n");
  located_ranges_fini(&record);
  file_map marked = source("marked.c", "\xef\xbb\xbfint x;\n", 1);
  diagnostic_file_cache_setup(context, nullptr, true);
  located_ranges_init(&record, line_table, at(marked, 1, 5), nullptr);
  EXPECT_EQ(quote(&record), " int x;\n     ^\n");
}

TEST_F(quoting, UnreadableLinesAreNotQuoted)
{
  file_map gone = source("gone.c", "", 0);
  linemap_start_line(table.get(), 3, 1000);
  located_ranges_init(&record, line_table, at(gone, 3, 1), nullptr);
  EXPECT_EQ(quote(&record), "");
}

TEST_F(quoting, RangesInOtherFilesOrReversedAreDropped)
{
  file_map other = source("other.c", "zz\n", 1);
  primary(10, 10, 12);
  located_ranges_add_range(&record, at(other, 1, 1), RANGE_NO_CARET, nullptr);
  located_ranges_add_range(&record,
                           location_make(at(main_map, 3, 16), at(main_map, 3, 18),
                                         at(main_map, 2, 1)),
                           RANGE_NO_CARET, nullptr);
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "          ^~~\n");
  // A primary range that starts in another file is refused too: the line is
  // shown without an annotation.
  located_ranges_fini(&record);
  located_ranges_init(&record, line_table,
                      location_make(at(main_map, 3, 10), at(other, 1, 1), at(main_map, 3, 12)),
                      nullptr);
  EXPECT_EQ(quote(&record), "   return foo + bar;\n");
  located_ranges_add_range(&record, span(main_map, 3, 16, 16, 18), RANGE_NO_CARET, nullptr);
  EXPECT_EQ(quote(&record), "   return foo + bar;\n"
                            "                ~~~\n");
}

TEST_F(quoting, RangeAddedOnlyInsideTheShownLines)
{
  file_map map = source("spans.c", numbered(20), 20);
  located_ranges_init(&record, line_table, at(map, 10, 1), nullptr);
  EXPECT_FALSE(layout_add_range_if_in_spans(&record, at(map, 15, 1), true, nullptr));
  EXPECT_EQ(record.range_count, 1);
  EXPECT_TRUE(layout_add_range_if_in_spans(&record, at(map, 10, 3), true, nullptr));
  EXPECT_TRUE(layout_add_range_if_in_spans(&record, at(map, 15, 1), false, nullptr));
  EXPECT_EQ(record.range_count, 3);
}

TEST_F(quoting, ReportsQuoteTheirSourceAfterTheirMessage)
{
  primary(10, 10, 12);
  child_outcome outcome = run_in_child([&] {
    context->show_column = true;
    error_at(&record, "%qs undeclared", "foo");
    inform_loc(at(main_map, 1, 5), "in this function");
  });
  std::string file = paths.front();
  EXPECT_EQ(outcome.err, file + ":3:10: error: 'foo' undeclared\n"
                                "   return foo + bar;\n"
                                "          ^~~\n" +
                             file + ":1:5: note: in this function\n"
                                    " int main(void)\n"
                                    "     ^\n");
}

TEST_F(quoting, CompatibleLocations)
{
  located_ranges_init(&record, line_table, at(main_map, 1, 1), nullptr);
  file_map other = source("other.c", "zz\n", 1);
  test_macro_node node = {"M"};
  location_t expansion = at(main_map, 3, 10);
  macro_map *macro = linemap_add_macro_map(table.get(), node.node(), expansion, 2);
  location_t argument = macro_map_set_token(macro, 0, at(main_map, 3, 16), at(main_map, 1, 5));
  location_t body = macro_map_set_token(macro, 1, at(main_map, 1, 7), at(main_map, 1, 7));
  location_t ranged = location_make(at(main_map, 3, 10), at(main_map, 3, 10), at(main_map, 3, 12));
  struct row {
    const char *what;
    location_t a, b;
    bool compatible;
  } rows[] = {
      {"one file", at(main_map, 3, 10), at(main_map, 1, 1), true},
      {"two files", at(main_map, 3, 10), at(other, 1, 1), false},
      {"reserved, equal", BUILTINS_LOCATION, BUILTINS_LOCATION, true},
      {"reserved and a file", UNKNOWN_LOCATION, at(main_map, 1, 1), false},
      {"ad-hoc and its caret", ranged, at(main_map, 3, 10), true},
      {"macro token and a file location", body, at(main_map, 1, 7), false},
      {"argument and body of one expansion", argument, body, false},
      {"a token and itself", body, body, true},
  };
  for (const row &r : rows) {
    EXPECT_EQ(compatible_locations(r.a, r.b), r.compatible) << r.what;
    EXPECT_EQ(compatible_locations(r.b, r.a), r.compatible) << r.what << ", reversed";
  }
}

} // namespace
