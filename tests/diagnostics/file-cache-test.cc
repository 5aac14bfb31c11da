// The source-file cache over real files: lines in any order against a model,
// the sampled line records, slots, byte-order marks and character sets.
#include "diagnostics/diagnostic.h"

#include "diagnostics/internal.h"
#include "tests/common/temp-dir.h"
#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct file_cache_fixture : testing::Test {
  TempDir dir;
  ~file_cache_fixture() override
  {
    file_cache_teardown(&global_diagnostic_state);
    line_table = nullptr;
  }

  std::string write(const std::string &name, const std::string &bytes)
  {
    std::string path = dir / name;
    FILE *f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
  }

  // Line n, or "<none>" when the cache has no such line.
  static std::string line(const std::string &path, int n)
  {
    uint64_t length;
    const char *text = source_line_of(path.c_str(), n, &length);
    return text ? std::string(text, length) : "<none>";
  }

  static cached_file *slot_of(const std::string &path)
  {
    for (cached_file &c : global_diagnostic_state.file_cache->slots)
      if (c.path && path == c.path)
        return &c;
    return nullptr;
  }
};

std::string numbered_lines(int count)
{
  std::string text;
  for (int i = 1; i <= count; i++)
    text += "line " + std::to_string(i) + "\n";
  return text;
}

// A line table that knows `lines` lines of the file.
void map_file(test_line_table &t, const std::string &path, uint32_t lines)
{
  linemap_add_ordinary_map(t.get(), LC_ENTER, 0, path.c_str(), 1);
  linemap_start_line(t.get(), lines, 80);
  line_table = t.get();
}

TEST_F(file_cache_fixture, LinesInAnyOrderMatchTheFile)
{
  // Lines of every length, some longer than the first 4096-byte block, so
  // that lines straddle every growth of the buffer.
  std::mt19937 rng(7);
  std::vector<std::string> model;
  std::string text;
  for (int i = 0; i < 400; i++) {
    size_t length = rng() % 8 == 0 ? rng() % 6000 : rng() % 80;
    std::string l(length, char('a' + i % 26));
    model.push_back(l);
    text += l + "\n";
  }
  std::string path = write("model.c", text);
  test_line_table t;
  map_file(t, path, 400);
  for (int probe = 0; probe < 2000; probe++) {
    int n = int(rng() % 405) + 1;
    std::string expected = n <= 400 ? model[n - 1] : "<none>";
    ASSERT_EQ(line(path, n), expected) << "line " << n << " after probe " << probe;
  }
}

TEST_F(file_cache_fixture, SmallFileKeepsEveryLineRecord)
{
  std::string path = write("ten.c", numbered_lines(10));
  test_line_table t;
  map_file(t, path, 10);
  EXPECT_EQ(line(path, 10), "line 10");
  cached_file *c = slot_of(path);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(vec_length(c->line_records), 10u);
  EXPECT_EQ(line(path, 3), "line 3");
  EXPECT_EQ(c->line_num, 10u) << "line 3 came from its record, not from reading";
  EXPECT_EQ(line(path, 11), "<none>");
}

TEST_F(file_cache_fixture, LongFileResumesNearTheWantedLine)
{
  std::string path = write("long.c", numbered_lines(1000));
  test_line_table t;
  map_file(t, path, 1000);
  EXPECT_EQ(line(path, 1000), "line 1000");
  cached_file *c = slot_of(path);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(vec_length(c->line_records), 100u);
  // Line 500 has a record of its own; line 499 resumes from that of line 490.
  EXPECT_EQ(line(path, 500), "line 500");
  EXPECT_EQ(c->line_num, 1000u);
  EXPECT_EQ(line(path, 499), "line 499");
  EXPECT_EQ(c->line_num, 499u);
  EXPECT_EQ(line(path, 1), "line 1");
}

TEST_F(file_cache_fixture, LinesWithoutARecordWhenTheTableDoesNotKnowTheFile)
{
  std::string path = write("unknown.c", numbered_lines(50));
  EXPECT_EQ(line(path, 40), "line 40");
  EXPECT_EQ(vec_length(slot_of(path)->line_records), 0u);
  EXPECT_EQ(line(path, 2), "line 2");
}

TEST_F(file_cache_fixture, FinalNewline)
{
  struct row {
    const char *name;
    std::string bytes;
    int lines;
    std::string last;
    bool lacks_newline;
  } rows[] = {
      {"ends.c", "a\nb\n", 2, "b", false},
      {"open.c", "a\nb", 2, "b", true},
      {"crlf.c", "a\r\nb\r\n", 2, "b\r", false},
      {"blank-last.c", "a\n\n", 2, "", false},
      {"empty.c", "", 0, "", true},
  };
  for (const row &r : rows) {
    std::string path = write(r.name, r.bytes);
    if (r.lines > 0)
      EXPECT_EQ(line(path, r.lines), r.last) << r.name;
    EXPECT_EQ(line(path, r.lines + 1), "<none>") << r.name;
    EXPECT_EQ(source_lacks_final_newline(path.c_str()), r.lacks_newline) << r.name;
  }
  EXPECT_FALSE(source_lacks_final_newline((dir / "missing.c").c_str()));
  EXPECT_EQ(line(dir / "missing.c", 1), "<none>");
  EXPECT_EQ(line(dir.path, 1), "<none>") << "a directory has no lines";
}

TEST_F(file_cache_fixture, NoLineZeroAndNoNullPath)
{
  std::string path = write("z.c", "x\n");
  EXPECT_EQ(line(path, 0), "<none>");
  uint64_t length = 9;
  EXPECT_EQ(source_line_of(nullptr, 1, &length), nullptr);
  EXPECT_EQ(length, 0u);
}

TEST_F(file_cache_fixture, SeventeenthFileTakesTheLeastUsedSlot)
{
  std::vector<std::string> paths;
  for (int i = 0; i < 17; i++)
    paths.push_back(write("f" + std::to_string(i) + ".c", "file " + std::to_string(i) + "\n"));
  for (int i = 0; i < 16; i++)
    EXPECT_EQ(line(paths[i], 1), "file " + std::to_string(i));
  // Later files start with higher counts; every file but f5 is used often
  // enough that f5 has the lowest.
  for (int round = 0; round < 10; round++)
    for (int i = 0; i < 16; i++)
      if (i != 5)
        line(paths[i], 1);
  EXPECT_EQ(line(paths[16], 1), "file 16");
  EXPECT_EQ(slot_of(paths[5]), nullptr);
  for (int i = 0; i < 17; i++)
    if (i != 5)
      EXPECT_NE(slot_of(paths[i]), nullptr) << i;
  // An evicted slot is free and taken before any used one.
  diagnostics_file_cache_forcibly_evict_file(paths[9].c_str());
  EXPECT_EQ(slot_of(paths[9]), nullptr);
  EXPECT_EQ(line(paths[5], 1), "file 5");
  EXPECT_NE(slot_of(paths[16]), nullptr);
}

TEST_F(file_cache_fixture, EvictedFileIsReadAfresh)
{
  std::string path = write("changing.c", "old\n");
  EXPECT_EQ(line(path, 1), "old");
  write("changing.c", "new\n");
  EXPECT_EQ(line(path, 1), "old");
  diagnostics_file_cache_forcibly_evict_file(path.c_str());
  EXPECT_EQ(line(path, 1), "new");
}

TEST_F(file_cache_fixture, KeepsItsOwnCopyOfThePath)
{
  std::string first = write("first.c", "first\n");
  std::string second = write("secnd.c", "second\n");
  ASSERT_EQ(first.size(), second.size());
  std::vector<char> caller(first.begin(), first.end());
  caller.push_back('\0');
  EXPECT_EQ(line(caller.data(), 1), "first");
  // The caller reuses its buffer for another name.
  memcpy(caller.data(), second.c_str(), second.size());
  EXPECT_EQ(line(second, 1), "second");
  EXPECT_EQ(line(first, 1), "first");
}

TEST_F(file_cache_fixture, ByteOrderMark)
{
  std::string path = write("bom.c", "\xef\xbb\xbf" "int a;\nint b;\n");
  EXPECT_EQ(line(path, 1), "\xef\xbb\xbf" "int a;");
  file_cache_teardown(&global_diagnostic_state);
  diagnostic_file_cache_setup(&global_diagnostic_state, nullptr, true);
  EXPECT_EQ(line(path, 1), "int a;");
  EXPECT_EQ(line(path, 2), "int b;");
  // A long marked file grows its buffer with the mark still in front.
  std::string big = "\xef\xbb\xbf" + numbered_lines(3000);
  std::string big_path = write("bom-big.c", big);
  EXPECT_EQ(line(big_path, 2999), "line 2999");
  EXPECT_EQ(line(big_path, 1), "line 1");
}

const char *utf16_charset(const char *path)
{
  return strstr(path, ".u16") ? "UTF-16LE" : nullptr;
}

TEST_F(file_cache_fixture, FileInAnotherCharsetReadsAsUtfEight)
{
  std::string utf16("\xff\xfe", 2);
  for (char c : std::string("int \xac x;\nok\n")) {
    if (c == '\xac')
      utf16 += std::string("\xac\x20", 2); // U+20AC
    else
      utf16 += std::string(1, c) + '\0';
  }
  std::string path = write("src.u16", utf16);
  std::string bad = write("bad.u16", std::string("a\0\x00\xdc", 4));
  diagnostic_file_cache_setup(&global_diagnostic_state, utf16_charset, false);
  EXPECT_EQ(line(path, 1), "int \xe2\x82\xac x;");
  EXPECT_EQ(line(path, 2), "ok");
  EXPECT_EQ(line(path, 3), "<none>");
  EXPECT_EQ(line(bad, 1), "<none>") << "a file that does not convert has no lines";
  EXPECT_EQ(slot_of(bad), nullptr);
  // The slot's buffer is reused for a plain file afterwards.
  diagnostics_file_cache_forcibly_evict_file(path.c_str());
  std::string plain = write("plain.c", numbered_lines(2000));
  EXPECT_EQ(line(plain, 2000), "line 2000");
}

} // namespace
