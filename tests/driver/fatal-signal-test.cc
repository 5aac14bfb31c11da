// The fatal-signal handlers: put in place with the first file listed for
// deletion, not by the set-up of a run, leaving an ignored signal ignored, and removing the listed files
// before the signal ends the driver. Each case runs in a child process of
// its own, where no file has been listed before.
#include "driver/specs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using handler = void (*)(int);

handler current_handler(int sig)
{
  struct sigaction now;
  sigaction(sig, nullptr, &now);
  return now.sa_handler;
}

// Exits with a distinct status at the first disposition that is wrong, so
// that the parent sees which; ends by SIGTERM otherwise.
void list_then_terminate(const char *file, bool delete_always)
{
  signal(SIGHUP, SIG_IGN);
  signal(SIGTERM, SIG_DFL);
  driver_global_setup();
  if (current_handler(SIGTERM) != SIG_DFL)
    _exit(2);
  register_temp_file(file, delete_always, !delete_always);
  if (current_handler(SIGTERM) != on_fatal_signal)
    _exit(3);
  if (current_handler(SIGHUP) != SIG_IGN)
    _exit(4);
  raise(SIGTERM);
  _exit(5);
}

struct FatalSignal : testing::TestWithParam<bool> {
  std::string file = "/tmp/fatal-signal-testXXXXXX";
  void SetUp() override
  {
    int fd = mkstemp(&file[0]);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  void TearDown() override { unlink(file.c_str()); }
};

}  // namespace

// With the file on either list: the handler removes it, then the signal ends
// the process as its default action would.
TEST_P(FatalSignal, HandlersComeWithTheFirstListedFile)
{
  EXPECT_EXIT(list_then_terminate(file.c_str(), GetParam()), testing::KilledBySignal(SIGTERM),
              "");
  EXPECT_NE(access(file.c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(BothLists, FatalSignal, testing::Bool());
