// The executable's own path as the host reports it.
#include "support/host-paths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <unistd.h>

TEST(HostPaths, ExecutablePath)
{
  char *path = host_executable_path();
  ASSERT_NE(path, nullptr);
  char *real = realpath("/proc/self/exe", nullptr);
  EXPECT_STREQ(path, real);
  EXPECT_NE(std::string(path).find("host_paths_test"), std::string::npos);
  free(real);
  free(path);
}

TEST(HostPaths, SysctlForTheProcessPath)
{
  char *expected = host_executable_path();
  ASSERT_NE(expected, nullptr);
  size_t needed = std::string(expected).size() + 1;
  for (int who : {-1, static_cast<int>(getpid())}) {
    SCOPED_TRACE(who);
    int name[4] = {1, 14, 12, who};
    size_t length = 0;
    ASSERT_EQ(host_sysctl(name, 4, nullptr, &length), 0);
    EXPECT_EQ(length, needed);
    std::string buffer(length, '?');
    ASSERT_EQ(host_sysctl(name, 4, buffer.data(), &length), 0);
    EXPECT_STREQ(buffer.c_str(), expected);

    length = needed - 1;
    errno = 0;
    EXPECT_EQ(host_sysctl(name, 4, buffer.data(), &length), -1);
    EXPECT_EQ(errno, ENOMEM);
  }
  int other[4] = {1, 7, -1, 12};
  size_t length = 0;
  errno = 0;
  EXPECT_EQ(host_sysctl(other, 4, nullptr, &length), -1);
  EXPECT_EQ(errno, ENOENT);
  free(expected);
}
