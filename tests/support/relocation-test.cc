// Install directories relative to where the program really is.
#include "support/relocation.h"

#include "tests/common/temp-dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string make(const TempDir &tmp, const std::string &name, int mode)
{
  std::string full = tmp / name;
  (void)system(("mkdir -p $(dirname " + full + ")").c_str());
  if (mode) {
    std::ofstream(full) << "#!/bin/sh\n";
    chmod(full.c_str(), mode);
  } else {
    mkdir(full.c_str(), 0755);
  }
  return full;
}

using relocator = char *(*)(const char *, const char *, const char *);

std::string relocate(relocator f, const char *progname, const char *bin, const char *prefix)
{
  char *result = f(progname, bin, prefix);
  std::string text = result ? result : "(null)";
  free(result);
  return text;
}

// Sets PATH for one scope.
struct PathSetting {
  std::string old;
  bool had;
  explicit PathSetting(const std::string &value)
  {
    const char *current = getenv("PATH");
    had = current;
    if (had)
      old = current;
    setenv("PATH", value.c_str(), 1);
  }
  ~PathSetting()
  {
    if (had)
      setenv("PATH", old.c_str(), 1);
    else
      unsetenv("PATH");
  }
};

}  // namespace

TEST(Relocation, ConfiguredAndMovedInstallations)
{
  struct Case {
    const char *progname, *bin, *prefix, *expected;
  } cases[] = {
      {"/opt/x/bin/prog", "/usr/local/bin/", "/usr/local/lib/", "/opt/x/bin/../lib/"},
      {"/usr/local/bin/prog", "/usr/local/bin/", "/usr/local/lib/", "(null)"},
      {"/opt/x/bin/prog", "/usr/local/bin/", "/usr/local/lib/vuz/armv6/",
       "/opt/x/bin/../lib/vuz/armv6/"},
      {"/opt/x/bin/prog", "/usr/local/x/bin/", "/usr/local/lib/", "/opt/x/bin/../../lib/"},
      {"/opt/x/bin/prog", "/usr/local/bin/", "/usr/local/bin/", "/opt/x/bin/"},
      {"/opt/bin/prog", "/usr/local/bin/", "/usr/local/lib/", "/opt/bin/../lib/"},
      // Nothing in common with the configured program directory.
      {"/opt/x/bin/prog", "/usr/local/bin/", "lib/", "(null)"},
      {"/opt/x/bin/prog", "", "/usr/local/lib/", "(null)"},
      // Components keep their slashes: "usr//" is not "usr/", "bin" not "bin/".
      {"/opt//x/bin/prog", "/usr/local/bin/", "/usr/local/lib/", "/opt//x/bin/../lib/"},
      {"/opt/x/bin/prog", "/usr//local/bin/", "/usr/local/lib/",
       "/opt/x/bin/../../../usr/local/lib/"},
      {"/usr/local/bin/prog", "/usr/local/bin", "/usr/local/lib/", "/usr/local/bin/../lib/"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.progname) + " " + c.bin + " " + c.prefix);
    EXPECT_EQ(relocate(relative_prefix_unresolved, c.progname, c.bin, c.prefix), c.expected);
    // Nothing of these exists, so resolving changes nothing.
    EXPECT_EQ(relocate(relative_prefix_resolved, c.progname, c.bin, c.prefix), c.expected);
  }
  EXPECT_EQ(relative_prefix_resolved(nullptr, "/usr/local/bin/", "/usr/local/lib/"), nullptr);
  EXPECT_EQ(relative_prefix_resolved("/opt/x/bin/prog", nullptr, "/usr/local/lib/"), nullptr);
  EXPECT_EQ(relative_prefix_unresolved("/opt/x/bin/prog", "/usr/local/bin/", nullptr), nullptr);
}

TEST(Relocation, ThroughSymbolicLink)
{
  TempDir tmp;
  make(tmp, "real/bin/prog", 0755);
  make(tmp, "link", 0);
  std::string link = tmp.path + "/link/prog";
  ASSERT_EQ(symlink("../real/bin/prog", link.c_str()), 0);
  EXPECT_EQ(relocate(relative_prefix_resolved, link.c_str(), "/usr/local/bin/", "/usr/local/lib/"),
            tmp.path + "/real/bin/../lib/");
  EXPECT_EQ(
      relocate(relative_prefix_unresolved, link.c_str(), "/usr/local/bin/", "/usr/local/lib/"),
      tmp.path + "/link/../lib/");
}

TEST(Relocation, ProgramFoundAlongPath)
{
  TempDir tmp;
  make(tmp, "d1/prog", 0);      // a directory
  make(tmp, "d2/prog", 0644);   // not executable
  make(tmp, "d3/prog", 0755);
  make(tmp, "d4/prog", 0755);
  PathSetting path(tmp.path + "/missing:" + tmp.path + "/d1:" + tmp.path + "/d2/:" + tmp.path +
                   "/d3:" + tmp.path + "/d4");
  EXPECT_EQ(relocate(relative_prefix_unresolved, "prog", "/usr/local/bin/", "/usr/local/lib/"),
            tmp.path + "/d3/../lib/");
}

TEST(Relocation, EmptyPathElementIsTheWorkingDirectory)
{
  TempDir tmp;
  make(tmp, "bin/prog", 0755);
  char *old = getcwd(nullptr, 0);
  ASSERT_EQ(chdir((tmp.path + "/bin").c_str()), 0);
  {
    PathSetting path("/nonexistent:");
    EXPECT_EQ(relocate(relative_prefix_unresolved, "prog", "/usr/local/bin/", "/usr/local/lib/"),
              "./../lib/");
    EXPECT_EQ(relocate(relative_prefix_resolved, "prog", "/usr/local/bin/", "/usr/local/lib/"),
              tmp.path + "/bin/../lib/");
  }
  ASSERT_EQ(chdir(old), 0);
  free(old);
}

TEST(Relocation, LongPathElements)
{
  TempDir tmp;
  make(tmp, "bin/prog", 0755);
  // Elements around the size where the candidate moves from the stack to the
  // heap; each candidate needs the element, a '/', the name and a terminator.
  for (size_t length : {4031 - 4, 4031 - 5, 4031 - 6, 4031 - 7, 5000}) {
    SCOPED_TRACE(length);
    std::string element = "/" + std::string(length - 1, 'a');
    PathSetting path(element + ":" + tmp.path + "/bin");
    EXPECT_EQ(relocate(relative_prefix_unresolved, "prog", "/usr/local/bin/", "/usr/local/lib/"),
              tmp.path + "/bin/../lib/");
  }
}
