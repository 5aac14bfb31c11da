// Inputs the spec fuzz target found troublesome (spec-fuzz-regressions/, in
// the target's format: a first byte whose lowest bit chooses the spec-file
// reader over the interpreter, then the text). Each must end as a plain run
// or a reported spec error, never as an internal error.
#include "tests/common/spec-fuzz-input.h"
#include "tests/common/temp-dir.h"

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
  if (DIR *dir = opendir(SPEC_FUZZ_REGRESSIONS)) {
    while (dirent *entry = readdir(dir))
      if (entry->d_name[0] != '.')
        files.push_back(std::string(SPEC_FUZZ_REGRESSIONS) + "/" + entry->d_name);
    closedir(dir);
  }
  return files;
}

// In a child that exits afterwards, as the fuzz target runs it.
void run_input(const std::string &input, const std::string &spec_file)
{
  run_spec_fuzz_input(reinterpret_cast<const uint8_t *>(input.data()), input.size(),
                      spec_file.c_str());
  exit(0);
}

bool not_an_internal_error(int status)
{
  return WIFEXITED(status) && WEXITSTATUS(status) != 4;
}

TEST(SpecFuzzRegressionsDeathTest, EndWithoutAnInternalError)
{
  std::vector<std::string> files = regression_files();
  ASSERT_FALSE(files.empty());
  TempDir dir;
  for (const std::string &file : files) {
    SCOPED_TRACE(file);
    std::ifstream in(file, std::ios::binary);
    std::stringstream input;
    input << in.rdbuf();
    ASSERT_FALSE(input.str().empty());
    EXPECT_EXIT(run_input(input.str(), dir / "specs"), not_an_internal_error, "");
  }
}

}  // namespace
