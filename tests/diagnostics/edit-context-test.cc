// The edit context over real files: hints applied with column shifts, hints
// that cannot be applied, and unified diffs that patch turns into exactly the
// edited content.
#include "diagnostics/edit-context.h"

#include "tests/diagnostics/child-run.h"
#include "tests/diagnostics/quoting-fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string numbered(int count, bool final_newline = true)
{
  std::string text;
  for (int i = 1; i <= count; i++)
    text += "line " + std::to_string(i) + (i < count || final_newline ? "\n" : "");
  return text;
}

std::string read_file(const std::string &path)
{
  std::string text;
  FILE *f = fopen(path.c_str(), "rb");
  for (int c; f && (c = fgetc(f)) != EOF;)
    text += char(c);
  if (f)
    fclose(f);
  return text;
}

struct edits : quoting_fixture {
  edit_context *ec = edit_context_create();
  ~edits() override { edit_context_destroy(ec); }

  struct hint {
    uint32_t line, start, next; // columns on the line; start == next inserts
    const char *text;
  };

  bool apply(file_map map, const hint &h)
  {
    std::string text = h.text;
    fixit_hint f = {at(map, h.line, h.start), at(map, h.line, h.next), &text[0], text.size()};
    return edit_context_apply_hint(ec, &f);
  }

  std::string content(const std::string &path)
  {
    char *text = edit_context_file_content(ec, path.c_str());
    std::string result = text ? text : "<none>";
    free(text);
    return result;
  }

  std::string diff(bool names = false)
  {
    char *text = edit_context_diff_text(ec, names);
    std::string result = text ? text : "<none>";
    free(text);
    return result;
  }

  // What patch makes of the original file and the diff.
  std::string patched(const std::string &path, const std::string &diff_text)
  {
    std::string patch_path = dir / "change.patch", out = dir / "patched";
    FILE *f = fopen(patch_path.c_str(), "wb");
    fwrite(diff_text.data(), 1, diff_text.size(), f);
    fclose(f);
    std::string command = "patch -s -f -o '" + out + "' '" + path + "' '" + patch_path +
                          "' > '" + dir / "patch.log" + "' 2>&1";
    if (system(command.c_str()) != 0)
      return "<patch failed: " + read_file(dir / "patch.log") + ">";
    return read_file(out);
  }
};

TEST_F(edits, HintsOnOneLineLandOnTheUneditedColumns)
{
  std::string path;
  file_map map = source("a.c", "int foo = bar;\n", 1, &path);
  EXPECT_TRUE(apply(map, {1, 5, 8, "x"}));
  EXPECT_TRUE(apply(map, {1, 11, 14, "yy"}));
  EXPECT_TRUE(apply(map, {1, 15, 15, " // done"}));
  EXPECT_EQ(content(path), "int x = yy; // done\n");
  EXPECT_EQ(edit_context_effective_column(ec, path.c_str(), 1, 11), 9);
  EXPECT_EQ(edit_context_effective_column(ec, path.c_str(), 1, 2), 2);
  EXPECT_EQ(edit_context_effective_column(ec, path.c_str(), 2, 11), 11);
  EXPECT_EQ(diff(true), "--- " + path + "\n+++ " + path + "\n@@ -1,1 +1,1 @@\n"
                        "-int foo = bar;\n+int x = yy; // done\n");
  EXPECT_EQ(patched(path, diff()), content(path));
}

TEST_F(edits, UnusableHintsInvalidateTheContext)
{
  struct row {
    const char *what;
    hint bad;
  } rows[] = {
      {"start column 0", {2, 0, 3, "x"}},
      {"beyond the end of the line", {2, 3, 12, "x"}},
      {"next before start", {2, 5, 3, "x"}},
      {"inside an earlier replacement", {1, 6, 7, "z"}},
      {"insertion inside an earlier replacement", {1, 6, 6, "z"}},
      {"replacement around an earlier insertion", {1, 1, 3, "z"}},
      {"replacement over an earlier replacement", {1, 4, 10, "z"}},
  };
  for (const row &r : rows) {
    std::string path;
    file_map map = source("bad" + std::to_string(&r - rows) + ".c",
                                     "int foo = bar;\nx = 1;\n", 2, &path);
    edit_context_destroy(ec);
    ec = edit_context_create();
    ASSERT_TRUE(apply(map, {1, 5, 8, "longer"})) << r.what;
    ASSERT_TRUE(apply(map, {1, 2, 2, "+"})) << r.what;
    EXPECT_FALSE(apply(map, r.bad)) << r.what;
  }
  // Through a record: one bad hint and nothing is shown at all.
  std::string path;
  file_map map = source("two-lines.c", "ab\ncd\n", 2, &path);
  edit_context_destroy(ec);
  ec = edit_context_create();
  located_ranges record;
  located_ranges_init(&record, line_table, at(map, 1, 1), nullptr);
  fixit_replace_at(&record, at(map, 1, 1), "A");
  edit_context_take_fixits(ec, &record);
  EXPECT_EQ(content(path), "Ab\ncd\n");
  located_ranges_fini(&record);
  located_ranges_init(&record, line_table, at(map, 1, 1), nullptr);
  fixit_replace_range(&record, {at(map, 1, 2), at(map, 2, 1)}, "spans lines");
  edit_context_take_fixits(ec, &record);
  EXPECT_EQ(diff(), "<none>");
  EXPECT_EQ(content(path), "<none>");
  located_ranges_fini(&record);
  located_ranges_init(&record, line_table, at(map, 2, 1), nullptr);
  fixit_replace_at(&record, at(map, 2, 1), "C");
  edit_context_take_fixits(ec, &record);
  EXPECT_EQ(diff(), "<none>") << "invalid for good";
  located_ranges_fini(&record);
}

TEST_F(edits, InsertionsAtOnePointKeepTheirOrder)
{
  std::string path;
  file_map map = source("order.c", "f(a);\n", 1, &path);
  EXPECT_TRUE(apply(map, {1, 3, 4, "b"}));
  EXPECT_TRUE(apply(map, {1, 3, 3, "x, "}));
  EXPECT_TRUE(apply(map, {1, 4, 4, ", y"}));
  EXPECT_TRUE(apply(map, {1, 4, 4, ", z"}));
  EXPECT_EQ(content(path), "f(x, b, y, z);\n");
}

TEST_F(edits, BareNewlineInsertsABlankLine)
{
  // Inserted into the line itself, the newline would give a diff line that
  // patch cannot read.
  std::string path;
  file_map map = source("blank.c", "a;\nb;\n", 2, &path);
  EXPECT_TRUE(apply(map, {2, 1, 1, "\n"}));
  EXPECT_EQ(content(path), "a;\n\nb;\n");
  EXPECT_EQ(diff(), "@@ -1,2 +1,3 @@\n a;\n+\n b;\n");
  EXPECT_EQ(patched(path, diff()), content(path));
}

TEST_F(edits, InsertedLineAndHunkShapes)
{
  std::string path;
  file_map map = source("long.c", numbered(40), 40, &path);
  EXPECT_TRUE(apply(map, {5, 1, 1, "x\n"}));
  EXPECT_EQ(diff(), "@@ -2,6 +2,7 @@\n line 2\n line 3\n line 4\n+x\n line 5\n line 6\n line 7\n");
  EXPECT_EQ(patched(path, diff()), content(path));
  // In another file, lines 10 and 15 share a hunk; line 30 has its own,
  // whose new start counts the line inserted above it.
  std::string other;
  file_map hunks = source("hunks.c", numbered(40), 40, &other);
  edit_context_destroy(ec);
  ec = edit_context_create();
  EXPECT_TRUE(apply(hunks, {10, 1, 5, "LINE"}));
  EXPECT_TRUE(apply(hunks, {15, 1, 5, "LINE"}));
  EXPECT_TRUE(apply(hunks, {28, 1, 1, "new\n"}));
  EXPECT_TRUE(apply(hunks, {30, 6, 8, "thirty"}));
  std::string text = diff();
  size_t second = text.find("\n@@") + 1;
  EXPECT_EQ(text.substr(0, second),
            "@@ -7,12 +7,12 @@\n line 7\n line 8\n line 9\n-line 10\n+LINE 10\n line 11\n"
            " line 12\n line 13\n line 14\n-line 15\n+LINE 15\n line 16\n line 17\n line 18\n");
  EXPECT_EQ(text.substr(second),
            "@@ -25,9 +25,10 @@\n line 25\n line 26\n line 27\n+new\n line 28\n line 29\n"
            "-line 30\n+line thirty\n line 31\n line 32\n line 33\n");
  EXPECT_EQ(patched(other, text), content(other));
}

TEST_F(edits, FileWithoutFinalNewline)
{
  std::string path;
  file_map map = source("open.c", numbered(3, false), 3, &path);
  EXPECT_TRUE(apply(map, {3, 1, 5, "LINE"}));
  EXPECT_EQ(content(path), "line 1\nline 2\nLINE 3");
  EXPECT_EQ(diff(), "@@ -1,3 +1,3 @@\n line 1\n line 2\n-line 3\n\\ No newline at end of file\n"
                    "+LINE 3\n\\ No newline at end of file\n");
  EXPECT_EQ(patched(path, diff()), content(path));
}

TEST_F(edits, SeveralFilesInNameOrder)
{
  std::string b_path, a_path;
  file_map b = source("b.c", "bbb\n", 1, &b_path);
  file_map a = source("a.c", "aaa\n", 1, &a_path);
  EXPECT_TRUE(apply(b, {1, 1, 2, "B"}));
  EXPECT_TRUE(apply(a, {1, 1, 2, "A"}));
  EXPECT_EQ(diff(true), "--- " + a_path + "\n+++ " + a_path + "\n@@ -1,1 +1,1 @@\n-aaa\n+Aaa\n"
                        "--- " + b_path + "\n+++ " + b_path + "\n@@ -1,1 +1,1 @@\n-bbb\n+Bbb\n");
  EXPECT_EQ(content(dir / "c.c"), "<none>");
}

// Random non-overlapping hints on random lines, checked against a model of
// the edited text and against patch.
TEST_F(edits, RandomHintsMatchTheModelAndPatch)
{
  std::mt19937 rng(11);
  for (int round = 0; round < 20; round++) {
    std::vector<std::string> lines;
    std::string original;
    int count = 5 + int(rng() % 60);
    for (int i = 0; i < count; i++) {
      std::string l(rng() % 24, 'a');
      for (char &c : l)
        c = char('a' + rng() % 26);
      lines.push_back(l);
      original += l + "\n";
    }
    std::string path;
    file_map map = source("r" + std::to_string(round) + ".c", original, count, &path);
    edit_context_destroy(ec);
    ec = edit_context_create();
    std::vector<std::string> model = lines;
    std::vector<std::string> before(lines.size());
    for (int line = 0; line < count; line++) {
      if (rng() % 4)
        continue;
      // Cut points on the line, then a hint for every other gap between them,
      // applied in random order; the model applies them from the right.
      int length = int(lines[line].size());
      std::vector<int> cuts = {1 + int(rng() % (length + 1)), 1 + int(rng() % (length + 1))};
      std::sort(cuts.begin(), cuts.end());
      std::vector<hint> hints;
      const char *texts[] = {"", "Q", "WWW"};
      hints.push_back({uint32_t(line + 1), uint32_t(cuts[0]), uint32_t(cuts[1]),
                       texts[rng() % 3]});
      if (cuts[1] <= length)
        hints.push_back({uint32_t(line + 1), uint32_t(cuts[1] + 1), uint32_t(cuts[1] + 1),
                         "ins"});
      std::shuffle(hints.begin(), hints.end(), rng);
      for (const hint &h : hints)
        ASSERT_TRUE(apply(map, h));
      std::sort(hints.begin(), hints.end(),
                [](const hint &x, const hint &y) { return x.start > y.start; });
      for (const hint &h : hints)
        model[line].replace(h.start - 1, h.next - h.start, h.text);
      if (rng() % 3 == 0) {
        ASSERT_TRUE(apply(map, {uint32_t(line + 1), 1, 1, "// new line\n"}));
        before[line] = "// new line\n";
      }
    }
    std::string expected;
    for (int line = 0; line < count; line++)
      expected += before[line] + model[line] + "\n";
    ASSERT_EQ(content(path), expected) << "round " << round;
    std::string text = diff();
    ASSERT_EQ(patched(path, text), expected) << "round " << round << "\n" << text;
  }
}

TEST_F(edits, EngineHandsShownReportsToTheContext)
{
  std::string path;
  file_map map = source("engine.c", "x = y;\n", 1, &path);
  child_outcome outcome = run_in_child([&] {
    context->edit_context = edit_context_create();
    located_ranges record;
    located_ranges_init(&record, line_table, at(map, 1, 5), nullptr);
    fixit_replace_at(&record, at(map, 1, 5), "z");
    error_at(&record, "use z");
    located_ranges_fini(&record);
    located_ranges_init(&record, line_table, at(map, 1, 1), nullptr);
    fixit_replace_at(&record, at(map, 1, 1), "w");
    record.no_auto_apply = true;
    error_at(&record, "not applied");
    located_ranges_fini(&record);
    char *text = edit_context_diff_text(context->edit_context, false);
    fputs(text, stderr);
    free(text);
  });
  EXPECT_EQ(outcome.err.substr(outcome.err.find("@@")), "@@ -1,1 +1,1 @@\n-x = y;\n+x = z;\n");
}

} // namespace
