// The C++ driver's edits of the decoded command line.
#include "lang-driver-cases.h"

#include <gtest/gtest.h>

using words = std::vector<std::string>;

TEST(CxxDriver, Edits)
{
  struct Case {
    std::vector<const char *> argv;
    words expected;
    int added;
  } cases[] = {
      {{"-c", "x.cc"}, {"-c", "x.cc", "-shared-libvuz"}, 0},
      {{"x.cc"}, {"x.cc", "-l c++", "-l m", "-shared-libvuz"}, 2},
      {{"x.cc", "-stdlib=wexo++"}, {"x.cc", "-stdlib=wexo++", "-l wexo++", "-l m", "-shared-libvuz"}, 2},
      {{"x.cc", "-l", "m", "-l", "c"}, {"x.cc", "-l c++", "-l m", "-l c", "-shared-libvuz"}, 1},
      {{"x.cc", "-static-libwexo++"},
       {"x.cc", "-Wl,-Bstatic", "-l c++", "-Wl,-Bdynamic", "-l m", "-shared-libvuz"}, 2},
      {{"x.cc", "-static-libwexo++", "-static"}, {"x.cc", "-static", "-l c++", "-l m"}, 2},
      {{"-c", "x.c"}, {"-c", "-x c++", "x.c", "-x none", "-shared-libvuz"}, 0},
      {{"-c", "-x", "c", "x.c"}, {"-c", "-x c", "x.c", "-shared-libvuz"}, 0},
      {{"x.h"}, {"-x c++-header", "x.h", "-x none", "-shared-libvuz"}, 0},
      {{"x.hpp"}, {"x.hpp", "-shared-libvuz"}, 0},
      {{"-pg", "x.cc"}, {"-pg", "x.cc", "-l c++", "-l m_p", "-shared-libvuz"}, 2},
      // A short name must not undo the "-c" before it.
      {{"-c", "a"}, {"-c", "a", "-shared-libvuz"}, 0},
      {{"-static-libvuz", "x.cc"}, {"-static-libvuz", "x.cc", "-l c++", "-l m"}, 2},
  };
  for (const Case &c : cases) {
    lang_result r = run_lang_driver(c.argv);
    EXPECT_EQ(r.words, c.expected) << c.argv.back();
    EXPECT_EQ(r.added_libraries, c.added) << c.argv.back();
  }
}
