// Demangler against checked-in inputs: a sample of real library symbols with
// their expected text (corpus-sample.txt, options 0x3), and the inputs that
// fuzzing found troublesome (fuzz-regressions/, in the fuzz target's format:
// an option-set byte, then the text).
#include "demangle/demangle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(DemangleCorpusSample, EveryNameDemanglesAsRecorded)
{
  std::ifstream sample(DEMANGLE_CORPUS_SAMPLE);
  ASSERT_TRUE(sample.good());
  std::string line;
  int checked = 0;
  while (std::getline(sample, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    std::string mangled = line.substr(0, tab);
    char *text = demangle_to_string(mangled.c_str(), 0x3);
    EXPECT_NE(text, nullptr) << mangled;
    if (text)
      EXPECT_EQ(text, line.substr(tab + 1)) << mangled;
    free(text);
    // The backtrace printer's options never fail where these succeed.
    text = demangle_to_string(mangled.c_str(), 0x400b);
    EXPECT_NE(text, nullptr) << mangled;
    free(text);
    checked++;
  }
  EXPECT_GT(checked, 0);  // an empty or unreadable sample must not pass
}

// The option sets of the fuzz target, chosen by the first byte of an input.
const int fuzz_option_sets[] = {0x3, 0x400b, 0x10, 0x4, 0x13, 0x25, 0x49};

TEST(DemangleCorpusSample, FuzzRegressionsEndWithAResult)
{
  std::string directory = DEMANGLE_FUZZ_REGRESSIONS;
  DIR *dir = opendir(directory.c_str());
  ASSERT_NE(dir, nullptr);
  int checked = 0;
  while (dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.')
      continue;
    std::ifstream in(directory + "/" + entry->d_name, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(data.empty()) << entry->d_name;
    int options = fuzz_option_sets[static_cast<unsigned char>(data[0]) % 7];
    std::string text = data.substr(1);
    // Each once made the demangler crash or run away; all are malformed.
    EXPECT_EQ(demangle_to_string(text.c_str(), options), nullptr) << entry->d_name;
    checked++;
  }
  closedir(dir);
  EXPECT_GT(checked, 0);
}

}  // namespace
