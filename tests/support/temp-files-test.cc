// The temporary directory and temporary files. The directory is chosen once
// per process, so every case runs in a child process of its own.
#include "support/temp-files.h"

#include "tests/common/temp-dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void set_or_unset(const char *name, const char *value)
{
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

// Exits 0 when the chosen directory is EXPECTED, else says what it was.
[[noreturn]] void choose_and_check(const char *tmpdir, const char *tmp, const char *temp,
                                   const std::string &expected)
{
  set_or_unset("TMPDIR", tmpdir);
  set_or_unset("TMP", tmp);
  set_or_unset("TEMP", temp);
  const char *dir = temp_dir_choose();
  if (expected != dir) {
    fprintf(stderr, "chose [%s]", dir);
    _exit(1);
  }
  _exit(0);
}

}  // namespace

TEST(TempFilesDeathTest, DirectoryChoice)
{
  TempDir a, b;
  std::string file = a / "plain-file";
  std::ofstream(file) << "x";
  std::string missing = a / "missing";
  std::string slashed = a.path + "/";
  struct Case {
    const char *name;
    const char *tmpdir, *tmp, *temp;
    std::string expected;
  } cases[] = {
      {"TMPDIR first", a.path.c_str(), b.path.c_str(), nullptr, a.path + "/"},
      {"only TEMP", nullptr, nullptr, b.path.c_str(), b.path + "/"},
      {"TMPDIR names a file", file.c_str(), b.path.c_str(), nullptr, b.path + "/"},
      {"TMPDIR missing, TMP empty", missing.c_str(), "", b.path.c_str(), b.path + "/"},
      {"a trailing slash is kept", slashed.c_str(), nullptr, nullptr, a.path + "//"},
      {"nothing set", nullptr, nullptr, nullptr, "/tmp//"},
      {"none of them usable", missing.c_str(), file.c_str(), "", "/tmp//"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(choose_and_check(c.tmpdir, c.tmp, c.temp, c.expected),
                testing::ExitedWithCode(0), "");
  }
}

TEST(TempFilesDeathTest, DirectoryIsChosenOnce)
{
  TempDir a, b;
  auto run = [&] {
    setenv("TMPDIR", a.path.c_str(), 1);
    std::string first = temp_dir_choose();
    setenv("TMPDIR", b.path.c_str(), 1);
    _exit(first == temp_dir_choose() && first == a.path + "/" ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

TEST(TempFilesDeathTest, FileNameAndMode)
{
  TempDir dir;
  auto run = [&] {
    setenv("TMPDIR", dir.path.c_str(), 1);
    struct Case {
      const char *prefix, *suffix, *expected_start, *expected_end;
    } cases[] = {
        {nullptr, ".s", "cc", ".s"},
        {"vz", nullptr, "vz", ""},
        {nullptr, nullptr, "cc", ""},
    };
    for (const Case &c : cases) {
      char *name = temp_file_make_prefixed(c.prefix, c.suffix);
      std::string base = std::string(name).substr(dir.path.size() + 1);
      struct stat info;
      bool ok = strncmp(name, (dir.path + "/").c_str(), dir.path.size() + 1) == 0 &&
                base.size() == strlen(c.expected_start) + 6 + strlen(c.expected_end) &&
                base.compare(0, 2, c.expected_start) == 0 && base.compare(2, 6, "XXXXXX") != 0 &&
                base.compare(8, std::string::npos, c.expected_end) == 0 &&
                stat(name, &info) == 0 && S_ISREG(info.st_mode) &&
                (info.st_mode & 0777) == 0600 && info.st_size == 0;
      if (!ok) {
        fprintf(stderr, "bad [%s]", name);
        _exit(1);
      }
      free(name);
    }
    char *one = temp_file_make(".o");
    char *two = temp_file_make(".o");
    _exit(strcmp(one, two) != 0 ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

// An exit rather than an abort, so that exit handlers can remove the
// temporaries made before.
TEST(TempFilesDeathTest, FailureIsReportedAndEndsWithStatusOne)
{
  std::string gone;
  {
    TempDir dir;
    gone = dir.path;
  }
  auto run = [&] {
    // The directory is chosen while it exists and is gone when the file is made.
    mkdir(gone.c_str(), 0700);
    setenv("TMPDIR", gone.c_str(), 1);
    temp_dir_choose();
    rmdir(gone.c_str());
    temp_file_make(".c");
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^Cannot create temporary file in " + gone + "/: No such file or directory\n$");
}
