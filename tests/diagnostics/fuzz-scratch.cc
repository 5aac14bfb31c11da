// The fuzz targets' scratch names: a copy whose process is gone is removed
// when the next run takes its name; every other entry stays.
#include "fuzz/scratch.h"

#include "tests/common/temp-dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The id of a process that has ended.
pid_t ended_process()
{
  pid_t child = fork();
  if (child == 0)
    _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

bool exists(const std::string &path)
{
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

void make_file(const std::string &path)
{
  int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0) << path;
  close(fd);
}

TEST(FuzzScratch, CopiesOfEndedProcessesAreRemoved)
{
  TempDir dir;
  std::string ended = std::to_string(ended_process());
  std::string alive = std::to_string(getppid());
  std::string own = std::to_string(getpid());
  // An ended run's file, and its directory with files and a directory in it;
  // an earlier process's file under this process's id.
  make_file(dir / ("t-" + ended + ".c"));
  make_file(dir / ("t-" + own + ".c"));
  ASSERT_EQ(mkdir((dir / ("t-" + ended + ".c.d")).c_str(), 0700), 0);
  make_file(dir / ("t-" + ended + ".c.d/f"));
  ASSERT_EQ(mkdir((dir / ("t-" + ended)).c_str(), 0700), 0);
  ASSERT_EQ(mkdir((dir / ("t-" + ended + "/sub")).c_str(), 0700), 0);
  make_file(dir / ("t-" + ended + "/sub/f"));
  // Kept: a live process's copy, names of other shapes, another prefix.
  std::vector<std::string> kept = {"t-" + alive + ".c", "t-x" + ended + ".c", "t-0" + ended + ".c",
                                   "t-" + ended + ".cc", "u-" + ended + ".c", "t-.c"};
  for (const std::string &name : kept)
    make_file(dir / name);

  EXPECT_EQ(fuzz_scratch_name_in((dir.path + "/").c_str(), "t-", ".c"), dir / ("t-" + own + ".c"));
  EXPECT_FALSE(exists(dir / ("t-" + ended + ".c")));
  EXPECT_FALSE(exists(dir / ("t-" + own + ".c")));
  EXPECT_TRUE(exists(dir / ("t-" + ended + ".c.d")));  // not of this suffix
  EXPECT_TRUE(exists(dir / ("t-" + ended)));
  for (const std::string &name : kept)
    EXPECT_TRUE(exists(dir / name)) << name;

  EXPECT_EQ(fuzz_scratch_name_in((dir.path + "/").c_str(), "t-", ""), dir / ("t-" + own));
  EXPECT_FALSE(exists(dir / ("t-" + ended)));
  EXPECT_TRUE(exists(dir / ("t-" + ended + ".c.d/f")));
}

} // namespace
