// Demangler against a checked-in sample of real library symbols with their
// expected text (tests/demangle/corpus-sample.txt, options 0x3).
#include "demangle/demangle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
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

}  // namespace
