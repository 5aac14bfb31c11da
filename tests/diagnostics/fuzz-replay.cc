// Replays the inputs a fuzz target once failed on through the target's own
// code, so that the faults they found stay mended.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
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
}

} // namespace
