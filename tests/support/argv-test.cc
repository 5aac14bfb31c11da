// Splitting, quoting and response-file expansion.
#include "support/argv.h"

#include "support/alloc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> words(char **argv)
{
  std::vector<std::string> out;
  for (char **p = argv; p && *p; p++)
    out.push_back(*p);
  return out;
}

struct TempDir {
  std::string path;
  TempDir()
  {
    char name[] = "/tmp/argv-testXXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { (void)system(("rm -rf " + path).c_str()); }
  std::string file(const std::string &name, const std::string &content) const
  {
    std::string p = path + "/" + name;
    std::ofstream(p) << content;
    return p;
  }
};

std::vector<std::string> expand(std::vector<std::string> args)
{
  std::vector<char *> argv;
  for (auto &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  int count = static_cast<int>(args.size());
  char **v = argv.data();
  expand_response_files(&count, &v);
  std::vector<std::string> out(v, v + count);
  EXPECT_EQ(v[count], nullptr);
  if (v != argv.data())
    argv_free(v);
  return out;
}

}  // namespace

TEST(Argv, SplitQuoting)
{
  char **v = argv_split("a b 'c d' \"e\\\"f\" g\\ h");
  EXPECT_EQ(words(v), (std::vector<std::string>{"a", "b", "c d", "e\"f", "g h"}));
  argv_free(v);
  v = argv_split("''  x\"\"y 'it''s' trailing\\");
  EXPECT_EQ(words(v), (std::vector<std::string>{"", "xy", "its", "trailing"}));
  argv_free(v);
  v = argv_split("   ");
  EXPECT_EQ(words(v), (std::vector<std::string>{""}));
  argv_free(v);
  EXPECT_EQ(argv_split(nullptr), nullptr);
}

TEST(Argv, WriteQuotedExample)
{
  const char *args[] = {"a b", "", "it's", nullptr};
  char *buffer;
  size_t size;
  FILE *f = open_memstream(&buffer, &size);
  EXPECT_EQ(argv_write_quoted(args, f), 0);
  fclose(f);
  EXPECT_EQ(std::string(buffer, size), "a\\ b\n\"\"\nit\\'s\n");
  char **back = argv_split(buffer);
  EXPECT_EQ(words(back), (std::vector<std::string>{"a b", "", "it's"}));
  argv_free(back);
  free(buffer);
  EXPECT_EQ(argv_write_quoted(args, nullptr), 1);
}

TEST(Argv, QuotedRoundTripProperty)
{
  std::mt19937 rng(1234);
  const char alphabet[] = "ab \t\n'\"\\@x\r\v\f\x7f\xff";
  for (int round = 0; round < 500; round++) {
    std::vector<std::string> args(1 + rng() % 6);
    for (auto &a : args)
      for (unsigned n = rng() % 8; n; n--)
        a += alphabet[rng() % (sizeof alphabet - 1)];
    std::vector<const char *> ptrs;
    for (auto &a : args)
      ptrs.push_back(a.c_str());
    ptrs.push_back(nullptr);
    char *buffer;
    size_t size;
    FILE *f = open_memstream(&buffer, &size);
    ASSERT_EQ(argv_write_quoted(ptrs.data(), f), 0);
    fclose(f);
    char **back = argv_split(buffer);
    EXPECT_EQ(words(back), args);
    argv_free(back);
    free(buffer);
  }
}

TEST(Argv, ExpandsNestedFilesInPlace)
{
  TempDir d;
  std::string inner = d.file("inner", "x 'y z'\n");
  std::string outer = d.file("outer", "a @" + inner + " b");
  std::string blank = d.file("blank", "  \n\t ");
  EXPECT_EQ(expand({"@prog", "-c", "@" + outer, "@" + blank, "@", "@missing", "end"}),
            (std::vector<std::string>{"@prog", "-c", "a", "x", "y z", "b", "@", "@missing",
                                      "end"}));
}

TEST(Argv, UnchangedVectorIsTheCallersOwn)
{
  std::string a = "prog", b = "-c";
  char *argv[] = {a.data(), b.data(), nullptr};
  int count = 2;
  char **v = argv;
  expand_response_files(&count, &v);
  EXPECT_EQ(v, argv);
  EXPECT_EQ(count, 2);
}

TEST(ArgvDeathTest, DirectoryIsAnError)
{
  TempDir d;
  EXPECT_EXIT(expand({"vuz", "@" + d.path}), testing::ExitedWithCode(1),
              "^vuz: error: @-file refers to a directory\n$");
}

TEST(ArgvDeathTest, SelfReferenceEndsAtTheBudget)
{
  TempDir d;
  std::string self = d.path + "/self";
  d.file("self", "x @" + self);
  EXPECT_EXIT(expand({"vuz", "@" + self}), testing::ExitedWithCode(1),
              "^vuz: error: too many @-files encountered\n$");
}

// Files of 2000 words that name themselves, first or last: the expansion
// reads on only as far as the arguments take it, and ends at the budget.
TEST(ArgvDeathTest, LargeSelfReferenceEndsAtTheBudget)
{
  TempDir d;
  std::string self = d.path + "/self";
  std::string words;
  for (int i = 0; i < 1999; i++)
    words += "word" + std::to_string(i) + " ";
  for (const std::string &content : {"@" + self + " " + words, words + "@" + self})
  {
    d.file("self", content);
    EXPECT_EXIT(expand({"vuz", "@" + self}), testing::ExitedWithCode(1),
                "^vuz: error: too many @-files encountered\n$");
  }
}

TEST(Argv, NineteenNinetyNineFilesAreFine)
{
  TempDir d;
  std::string empty = d.file("empty", "");
  std::vector<std::string> args{"vuz"};
  for (int i = 0; i < 1999; i++)
    args.push_back("@" + empty);
  EXPECT_EQ(expand(args), std::vector<std::string>{"vuz"});
}
