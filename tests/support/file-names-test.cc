// File-name comparison, base names, canonical paths and path components.
#include "support/file-names.h"

#include "tests/common/temp-dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> split(const char *path, int *count)
{
  std::vector<std::string> out;
  char **components = split_directories_of(path, count);
  for (char **p = components; p && *p; p++)
    out.push_back(*p);
  split_directories_free(components);
  return out;
}

}  // namespace

TEST(FileNames, SplitKeepsTrailingSlashes)
{
  using V = std::vector<std::string>;
  struct Case {
    const char *path;
    V components;
  } cases[] = {
      {"/usr//local/bin", {"/", "usr//", "local/", "bin"}},
      {"/usr/local/bin/", {"/", "usr/", "local/", "bin/"}},
      {"/", {"/"}},
      {"//x", {"//", "x"}},
      {"prog", {"prog"}},
      {"a/b/", {"a/", "b/"}},
      {"", {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    int count = -1;
    EXPECT_EQ(split(c.path, &count), c.components);
    EXPECT_EQ(count, static_cast<int>(c.components.size()));
  }
  EXPECT_EQ(split_directories_of("", nullptr), nullptr);
}

TEST(FileNames, BaseNames)
{
  struct Case {
    const char *path, *posix, *dos;
  } cases[] = {
      {"a/b/", "", ""},
      {"abc", "abc", "abc"},
      {"/x/y.c", "y.c", "y.c"},
      {"c:foo", "c:foo", "foo"},
      {"C:\\dir\\file.c", "C:\\dir\\file.c", "file.c"},
      {"d:/a\\b/c", "c", "c"},
      {"1:x", "1:x", "1:x"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_STREQ(path_base_name_posix(c.path), c.posix);
    EXPECT_STREQ(path_base_name(c.path), c.posix);
    EXPECT_STREQ(path_base_name_dos(c.path), c.dos);
  }
}

TEST(FileNames, ComparisonIsByteOrder)
{
  EXPECT_LT(path_compare("A", "a"), 0);
  EXPECT_GT(path_compare("dir/b", "dir/a"), 0);
  EXPECT_EQ(path_compare_n("dir/a.c", "dir/a.h", 5), 0);
  EXPECT_NE(path_compare_n("dir/a.c", "dir/a.h", 7), 0);
  EXPECT_TRUE(path_equal("x/y", "x/y"));
  EXPECT_FALSE(path_equal("x/y", "X/y"));
}

TEST(FileNames, HashFoldsCaseAndBackslashes)
{
  EXPECT_EQ(path_hash(""), 0u);
  EXPECT_EQ(path_hash("a"), static_cast<uint32_t>('a' - 113));
  EXPECT_EQ(path_hash("ab"), static_cast<uint32_t>(('a' - 113) * 67 + 'b' - 113));
  EXPECT_EQ(path_hash("Dir\\File.C"), path_hash("dir/file.c"));
  EXPECT_NE(path_hash("dir/file.c"), path_hash("dir/file.h"));
}

TEST(FileNames, CanonicalPaths)
{
  TempDir tmp;
  // Deeper than 1024 bytes, so that no small fixed buffer will do.
  std::string deep = tmp.path;
  while (deep.size() < 1500) {
    deep += "/" + std::string(100, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  std::string link = tmp.path + "/link";
  ASSERT_EQ(symlink(deep.c_str(), link.c_str()), 0);

  char *resolved = canonical_path((link + "/./").c_str());
  EXPECT_EQ(resolved, deep);
  free(resolved);

  // A path that cannot be resolved comes back as it was.
  std::string missing = tmp.path + "/missing/../x";
  char *copy = canonical_path(missing.c_str());
  EXPECT_EQ(copy, missing);
  free(copy);

  EXPECT_TRUE(path_equal_canonical(link.c_str(), (deep + "/.").c_str()));
  EXPECT_TRUE(path_equal_canonical(missing.c_str(), missing.c_str()));
  EXPECT_FALSE(path_equal_canonical(link.c_str(), tmp.path.c_str()));
}

TEST(FileNames, DescriptorIsOpen)
{
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(fd_is_open(fds[0]), 1);
  close(fds[0]);
  EXPECT_EQ(fd_is_open(fds[0]), 0);
  EXPECT_EQ(fd_is_open(-1), 0);
  close(fds[1]);
}
