// Install-path translation, the simplification of "/../" components, prefix
// order and file lookup.
#include "driver/env-manager.h"
#include "driver/search-paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static std::string translate(const std::string &path, const char *key)
{
  char *t = translate_install_path(path.c_str(), key);
  std::string result = t;
  free(t);
  return result;
}

TEST(SearchPaths, DotDotKeptWhenTheDirectoryExists)
{
  char dir[] = "/tmp/search-pathsXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string root = dir;
  ASSERT_EQ(mkdir((root + "/a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root + "/a/b").c_str(), 0755), 0);
  EXPECT_EQ(translate(root + "/a/b/../c/", nullptr), root + "/a/b/../c/");
  EXPECT_EQ(translate(root + "/a/x/../c/", nullptr), root + "/a/c/");
  EXPECT_EQ(translate(root + "/a/x/y/../../c/", nullptr), root + "/a/c/");
  rmdir((root + "/a/b").c_str());
  rmdir((root + "/a").c_str());
  rmdir(dir);
}

// A held answer serves the probes of one set-up; once released, the next
// probe sees the directory as it is now.
TEST(SearchPaths, HeldProbesLastUntilReleased)
{
  char dir[] = "/tmp/search-pathsXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string root = dir, missing = root + "/a/../c/";
  hold_directory_probes(true);
  EXPECT_EQ(translate(missing, nullptr), root + "/c/");
  ASSERT_EQ(mkdir((root + "/a").c_str(), 0755), 0);
  EXPECT_EQ(translate(missing, nullptr), root + "/c/");
  hold_directory_probes(false);
  EXPECT_EQ(translate(missing, nullptr), missing);
  rmdir((root + "/a").c_str());
  rmdir(dir);
}

TEST(SearchPaths, KeysTranslateTheInstallPrefix)
{
  env.init(false, false);
  unsetenv("VUZ_ROOT");
  set_install_prefix("/usr/local", 10);
  EXPECT_EQ(translate("/usr/local/libexec/vuz/", "VUZ"), "/usr/local/libexec/vuz/");
  setenv("VUZ_ROOT", "/opt/moved", 1);
  EXPECT_EQ(translate("/usr/local/libexec/vuz/", "VUZ"), "/opt/moved/libexec/vuz/");
  EXPECT_EQ(translate("/usr/localx/lib/", "VUZ"), "/usr/localx/lib/");  // not the prefix
  EXPECT_EQ(translate("/usr/local/lib/", nullptr), "/usr/local/lib/");  // no key
  unsetenv("VUZ_ROOT");
}

TEST(SearchPaths, EqualPrioritiesKeepTheirOrder)
{
  search_path_list list = {nullptr, 0, "test"};
  insert_search_prefix(&list, "/second/", nullptr, 1, 0, 0);
  insert_search_prefix(&list, "/first/", nullptr, 0, 0, 0);
  insert_search_prefix(&list, "/third/", nullptr, 1, 0, 0);
  std::string order;
  for (search_path_entry *e = list.head; e; e = e->next)
    order += e->prefix;
  EXPECT_EQ(order, "/first//second//third/");
  EXPECT_EQ(list.max_length, 8u);
  release_search_path_list(&list);
}

// The name is tried in the walk's own buffer: one far longer than every
// prefix is found whole, under the prefix or the machine suffix.
TEST(SearchPaths, LocateTriesLongNamesUnderEachCandidate)
{
  char dir[] = "/tmp/search-pathsXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string root = std::string(dir) + "/";
  std::string name(200, 'n');
  std::string machine = root + "armv6-kaveabi-freebsd15.1/12.4.0/";
  ASSERT_EQ(system(("mkdir -p " + machine).c_str()), 0);
  search_path_list list = {nullptr, 0, "test"};
  insert_search_prefix(&list, root.c_str(), nullptr, 1, 0, 0);
  struct Case {
    std::string made;  // the file that exists, or nothing
    const char *expected;
  } cases[] = {
      {"", "(null)"},
      {root + name, "prefix"},
      {machine + name, "machine"},  // tried first, so found before the plain one
  };
  for (const Case &c : cases) {
    if (!c.made.empty())
      fclose(fopen(c.made.c_str(), "w"));
    char *found = locate_file(&list, name.c_str(), R_OK, false);
    std::string got = !found ? "(null)" : found == machine + name ? "machine"
                                        : found == root + name    ? "prefix"
                                                                  : found;
    EXPECT_EQ(got, c.expected);
    free(found);
  }
  EXPECT_EQ(system(("rm -rf " + root).c_str()), 0);
  free(list.head->prefix);
  free(list.head);
}

// A program or a directory is asked for once between two children: the
// answer stands until the next child runs or a prefix is added.
TEST(SearchPaths, ProbeAnswersLastUntilForgotten)
{
  char dir[] = "/tmp/search-pathsXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string root = std::string(dir) + "/", program = root + "prog", sub = root + "sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  fclose(fopen(program.c_str(), "w"));
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  insert_search_prefix(&exec_prefixes, root.c_str(), nullptr, 1, 0, 0);
  auto found = [] {
    char *path = find_program("prog");
    std::string result = path ? path : "(null)";
    free(path);
    return result;
  };

  EXPECT_EQ(found(), program);
  EXPECT_TRUE(names_directory(sub.c_str(), false));
  unlink(program.c_str());
  rmdir(sub.c_str());
  EXPECT_EQ(found(), program);
  EXPECT_TRUE(names_directory(sub.c_str(), false));
  forget_probe_answers();
  EXPECT_EQ(found(), "(null)");
  EXPECT_FALSE(names_directory(sub.c_str(), false));

  // A missing program is an answer too, until a prefix may hold it.
  std::string other = root + "other/";
  ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
  fclose(fopen((other + "prog").c_str(), "w"));
  ASSERT_EQ(chmod((other + "prog").c_str(), 0755), 0);
  EXPECT_EQ(found(), "(null)");
  insert_search_prefix(&exec_prefixes, other.c_str(), nullptr, 1, 0, 0);
  EXPECT_EQ(found(), other + "prog");

  // Nor is a file looked for in a directory found missing.
  std::string later = root + "later/";
  EXPECT_FALSE(names_directory(later.c_str(), false));
  insert_search_prefix(&startfile_prefixes, later.c_str(), nullptr, 1, 0, 0);
  EXPECT_FALSE(names_directory(later.c_str(), false));
  ASSERT_EQ(mkdir(later.c_str(), 0755), 0);
  fclose(fopen((later + "crt1.o").c_str(), "w"));
  char *crt = locate_file(&startfile_prefixes, "crt1.o", R_OK, false);
  EXPECT_EQ(crt, nullptr);
  free(crt);
  forget_probe_answers();
  crt = locate_file(&startfile_prefixes, "crt1.o", R_OK, false);
  EXPECT_EQ(crt ? std::string(crt) : "(null)", later + "crt1.o");
  free(crt);

  reset_search_paths();
  EXPECT_EQ(system(("rm -rf " + root).c_str()), 0);
}
