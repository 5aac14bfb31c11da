// Replays the inputs a fuzz target once failed on through the target's own
// code, so that the faults they found stay mended, and checks that the target
// leaves nothing in the temporary directory.
#include "support/temp-files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<uint8_t> read_bytes(const std::string &path)
{
  std::vector<uint8_t> bytes;
  FILE *f = fopen(path.c_str(), "rb");
  for (int c; f && (c = fgetc(f)) != EOF;)
    bytes.push_back(uint8_t(c));
  if (f)
    fclose(f);
  return bytes;
}

// Entries of the temporary directory named for this process ("-" and its id,
// at the end or before a '.'): what the target wrote and left behind.
std::vector<std::string> left_in_temp_dir()
{
  std::vector<std::string> left;
  std::string mark = "-" + std::to_string(getpid());
  if (DIR *dir = opendir(temp_dir_choose())) {
    while (dirent *entry = readdir(dir)) {
      const char *at = strstr(entry->d_name, mark.c_str());
      if (at && (at[mark.size()] == '\0' || at[mark.size()] == '.'))
        left.push_back(entry->d_name);
    }
    closedir(dir);
  }
  return left;
}

TEST(FuzzRegressions, EveryInputRunsCleanly)
{
  DIR *dir = opendir(FUZZ_REGRESSIONS);
  ASSERT_NE(dir, nullptr) << FUZZ_REGRESSIONS;
  int inputs = 0;
  while (dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.')
      continue;
    std::vector<uint8_t> bytes = read_bytes(std::string(FUZZ_REGRESSIONS) + "/" + entry->d_name);
    SCOPED_TRACE(entry->d_name);
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    inputs++;
  }
  closedir(dir);
  EXPECT_GT(inputs, 0);
  EXPECT_EQ(left_in_temp_dir(), std::vector<std::string>{});
}

} // namespace
