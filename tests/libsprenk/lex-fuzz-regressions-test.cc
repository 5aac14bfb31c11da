// Inputs the tokeniser fuzz target found troublesome (lex-fuzz-regressions/,
// in the target's format). Each must be read to its end under the
// sanitizers without a failed check.
#include "tests/common/lex-fuzz-input.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> regression_files()
{
  std::vector<std::string> files;
  if (DIR *dir = opendir(LEX_FUZZ_REGRESSIONS)) {
    while (dirent *entry = readdir(dir))
      if (entry->d_name[0] != '.')
        files.push_back(std::string(LEX_FUZZ_REGRESSIONS) + "/" + entry->d_name);
    closedir(dir);
  }
  return files;
}

TEST(LexFuzzRegressions, EveryInputIsReadToItsEnd)
{
  std::vector<std::string> files = regression_files();
  EXPECT_FALSE(files.empty());
  for (const std::string &file : files) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string bytes = text.str();
    SCOPED_TRACE(file);
    run_lex_fuzz_input(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
  }
}

} // namespace
