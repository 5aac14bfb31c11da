// Pipelines of real child programs from the base system.
#include "support/pex.h"

#include "tests/common/temp-dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

std::string slurp(const std::string &path)
{
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string slurp(FILE *stream)
{
  std::string text;
  int c;
  while ((c = fgetc(stream)) != EOF)
    text += static_cast<char>(c);
  return text;
}

bool exists(const std::string &path)
{
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::vector<int> open_fds()
{
  std::vector<int> fds;
  DIR *dir = opendir("/proc/self/fd");
  int own = dirfd(dir);
  while (dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.')
      continue;
    int fd = atoi(entry->d_name);
    if (fd != own)
      fds.push_back(fd);
  }
  closedir(dir);
  return fds;
}

// No child of this test process is left, neither running nor a zombie.
void expect_no_children()
{
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// A shell command line as an argument vector for "sh -c".
struct Shell {
  std::string script;
  char *argv[4];
  explicit Shell(std::string text) : script(std::move(text))
  {
    argv[0] = const_cast<char *>("sh");
    argv[1] = const_cast<char *>("-c");
    argv[2] = script.data();
    argv[3] = nullptr;
  }
};

// What a pipeline of one shell running SCRIPT writes; the shell must succeed.
std::string shell_output(int flags, const char *script)
{
  pex_pipeline *px = pex_init(flags, "vuz", nullptr);
  Shell sh(script);
  int err;
  std::string text;
  EXPECT_EQ(pex_run_stage(px, 0, "/bin/sh", sh.argv, nullptr, nullptr, &err), nullptr);
  FILE *output = pex_open_output(px, 0);
  EXPECT_NE(output, nullptr);
  if (output)
    text = slurp(output);
  int status = -1;
  EXPECT_EQ(pex_copy_statuses(px, 1, &status), 1);
  EXPECT_EQ(status, 0);
  pex_destroy(px);
  return text;
}

}  // namespace

TEST(Pex, TwoPipedStagesConnectOutputToInput)
{
  TempDir tmp;
  std::string out = tmp / "out";
  pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
  char *echo[] = {const_cast<char *>("echo"), const_cast<char *>("hi"), nullptr};
  char *tr[] = {const_cast<char *>("tr"), const_cast<char *>("a-z"), const_cast<char *>("A-Z"),
                nullptr};
  int err = -1;
  EXPECT_EQ(pex_run_stage(px, PEX_PATH_SEARCH, "echo", echo, nullptr, nullptr, &err), nullptr);
  EXPECT_EQ(pex_run_stage(px, PEX_PATH_SEARCH | PEX_FINAL_STAGE, "tr", tr, out.c_str(), nullptr,
                          &err),
            nullptr);

  // Past the final stage nothing more can run.
  err = -1;
  EXPECT_STREQ(pex_run_stage(px, PEX_PATH_SEARCH, "echo", echo, nullptr, nullptr, &err),
               "pipeline already complete");
  EXPECT_EQ(err, 0);

  int statuses[4] = {-1, -1, -1, -1};
  ASSERT_EQ(pex_copy_statuses(px, 4, statuses), 1);
  EXPECT_EQ(statuses[0], 0);
  EXPECT_EQ(statuses[1], 0);
  EXPECT_EQ(statuses[2], 0);
  EXPECT_EQ(statuses[3], 0);
  pex_child_times times[1];
  EXPECT_EQ(pex_copy_times(px, 1, times), 0);  // the pipeline keeps no times
  pex_destroy(px);
  EXPECT_EQ(slurp(out), "HI\n");
  expect_no_children();
}

TEST(Pex, StatusesInStartOrder)
{
  pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
  Shell first("echo x; exit 3"), last("cat >/dev/null; exit 5");
  int err;
  ASSERT_EQ(pex_run_stage(px, 0, "/bin/sh", first.argv, nullptr, nullptr, &err), nullptr);
  ASSERT_EQ(pex_run_stage(px, PEX_FINAL_STAGE, "/bin/sh", last.argv, nullptr, nullptr, &err),
            nullptr);
  int statuses[3] = {-1, -1, -1};
  ASSERT_EQ(pex_copy_statuses(px, 3, statuses), 1);
  EXPECT_TRUE(WIFEXITED(statuses[0]) && WEXITSTATUS(statuses[0]) == 3);
  EXPECT_TRUE(WIFEXITED(statuses[1]) && WEXITSTATUS(statuses[1]) == 5);
  EXPECT_EQ(statuses[2], 0);
  pex_destroy(px);
}

TEST(Pex, UnknownProgramNamesTheFailedCall)
{
  struct Case {
    int flags;
    const char *call;
  } cases[] = {{PEX_PATH_SEARCH, "execvp"}, {0, "execv"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.call);
    pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
    char *argv[] = {const_cast<char *>("no-such-program-here"), nullptr};
    int err = 0;
    EXPECT_STREQ(pex_run_stage(px, c.flags | PEX_FINAL_STAGE, "no-such-program-here", argv,
                               nullptr, nullptr, &err),
                 c.call);
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(px->child_count, 0);
    // The failed child was reaped at once.
    expect_no_children();
    pex_destroy(px);
  }
}

TEST(Pex, BusyChildReportsTimes)
{
  pex_pipeline *px = pex_init(PEX_PIPED | PEX_KEEP_TIMES, "vuz", nullptr);
  Shell busy("i=0; while [ $i -lt 300000 ]; do i=$((i+1)); done");
  int err;
  ASSERT_EQ(pex_run_stage(px, PEX_FINAL_STAGE, "/bin/sh", busy.argv, nullptr, nullptr, &err),
            nullptr);
  pex_child_times times[2];
  memset(times, 0x55, sizeof times);
  ASSERT_EQ(pex_copy_times(px, 2, times), 1);
  EXPECT_GT(times[0].user_seconds * 1000000 + times[0].user_microseconds +
                times[0].system_seconds * 1000000 + times[0].system_microseconds,
            0);
  EXPECT_EQ(times[1].user_seconds, 0);
  EXPECT_EQ(times[1].system_microseconds, 0);
  pex_destroy(px);
}

TEST(Pex, ChildrenSeeOnlyTheirStandardDescriptors)
{
  // Descriptors this test program inherited are not the layer's concern.
  for (int fd : open_fds())
    if (fd > 2)
      fcntl(fd, F_SETFD, FD_CLOEXEC);

  TempDir tmp;
  std::string out = tmp / "out";
  // Lists the descriptors above 2 without opening any itself.
  const char *lister = "cat; n=3; while [ $n -lt 256 ]; do "
                       "[ -e /proc/$$/fd/$n ] && echo \"$0 $n\"; n=$((n+1)); done; true";
  Shell first(lister), last(lister);
  std::string first_name = "one", last_name = "two";
  char *first_argv[] = {first.argv[0], first.argv[1], first.argv[2], first_name.data(), nullptr};
  char *last_argv[] = {last.argv[0], last.argv[1], last.argv[2], last_name.data(), nullptr};

  pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
  // The parent holds a pipe's write end and a standard-error pipe's read end
  // while the children start.
  FILE *input = pex_write_input_pipe(px, 0);
  ASSERT_NE(input, nullptr);
  int err;
  ASSERT_EQ(pex_run_stage(px, 0, "/bin/sh", first_argv, nullptr, nullptr, &err), nullptr);
  ASSERT_EQ(pex_run_stage(px, PEX_FINAL_STAGE | PEX_STDERR_TO_PIPE, "/bin/sh", last_argv,
                          out.c_str(), nullptr, &err),
            nullptr);
  fputs("input\n", input);
  fclose(input);
  int statuses[2];
  ASSERT_EQ(pex_copy_statuses(px, 2, statuses), 1);
  EXPECT_EQ(statuses[0], 0);
  EXPECT_EQ(statuses[1], 0);
  FILE *errors = pex_open_error(px, 0);
  ASSERT_NE(errors, nullptr);
  EXPECT_EQ(slurp(errors), "");
  pex_destroy(px);
  EXPECT_EQ(slurp(out), "input\n");
}

TEST(Pex, DestroyTerminatesUnwaitedChildren)
{
  // The POSIX table with a wait that records what it saw.
  static std::vector<int> seen;
  static pex_operations watched;
  watched = pex_posix_operations;
  watched.wait_child = [](pex_pipeline *px, int pid, int *status, pex_child_times *times,
                          int done, const char **errmsg, int *err) {
    int r = pex_posix_operations.wait_child(px, pid, status, times, done, errmsg, err);
    seen.push_back(*status);
    return r;
  };
  seen.clear();

  pex_pipeline *px = pex_create_with_ops(PEX_PIPED | PEX_KEEP_TIMES, "vuz", nullptr, &watched);
  char *argv[] = {const_cast<char *>("sleep"), const_cast<char *>("1000"), nullptr};
  int err;
  ASSERT_EQ(pex_run_stage(px, PEX_FINAL_STAGE | PEX_PATH_SEARCH, "sleep", argv, nullptr, nullptr,
                          &err),
            nullptr);
  pex_destroy(px);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(WIFSIGNALED(seen[0]));
  EXPECT_EQ(WTERMSIG(seen[0]), SIGTERM);
  expect_no_children();
}

// As a fatal-signal handler does: every child still running gets the signal,
// and all are reaped, those of a pipeline not yet waited for included.
TEST(Pex, EndChildrenSignalsAndReapsTheRunningOnes)
{
  pex_pipeline *done = pex_init(PEX_PIPED, "vuz", nullptr);
  Shell quick("exit 0");
  int err;
  ASSERT_EQ(pex_run_stage(done, PEX_FINAL_STAGE, "/bin/sh", quick.argv, nullptr, nullptr, &err),
            nullptr);
  int status = -1;
  ASSERT_EQ(pex_copy_statuses(done, 1, &status), 1);
  pex_destroy(done);

  pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
  char *argv[] = {const_cast<char *>("sleep"), const_cast<char *>("1000"), nullptr};
  for (int flags : {0, PEX_FINAL_STAGE})
    ASSERT_EQ(pex_run_stage(px, flags | PEX_PATH_SEARCH, "sleep", argv, nullptr, nullptr, &err),
              nullptr);
  pex_end_children(SIGTERM);
  expect_no_children();
  pex_destroy(px);
}

// Signals are held off while a child is started and noted; the child must
// not keep them held, or it could not be ended by them.
TEST(Pex, ChildrenStartWithTheCallersSignalMask)
{
  EXPECT_EQ(shell_output(PEX_PIPED, "grep SigBlk /proc/self/status"),
            "SigBlk:\t0000000000000000\n");
}

TEST(Pex, StderrPipeWithErrorFileFailsBeforeStarting)
{
  TempDir tmp;
  std::string out = tmp / "out", errfile = tmp / "err";
  std::vector<int> before = open_fds();
  pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
  char *argv[] = {const_cast<char *>("true"), nullptr};
  int err = -1;
  EXPECT_STREQ(pex_run_stage(px, PEX_FINAL_STAGE | PEX_STDERR_TO_PIPE | PEX_PATH_SEARCH, "true",
                             argv, out.c_str(), errfile.c_str(), &err),
               "both ERRNAME and PEX_STDERR_TO_PIPE specified.");
  EXPECT_EQ(err, 0);
  EXPECT_EQ(px->child_count, 0);
  EXPECT_EQ(open_fds(), before);  // the output file opened for the stage is closed again
  pex_destroy(px);
}

TEST(Pex, OutputAndErrorFiles)
{
  struct Case {
    const char *name;
    int flags;
    const char *out, *err;  // contents after "a" then "b" were run
  } cases[] = {
      {"truncate", 0, "b\n", "eb\n"},
      {"append", PEX_APPEND_OUT | PEX_APPEND_ERR, "a\nb\n", "ea\neb\n"},
      {"errors into output", PEX_ERR_INTO_OUT, "b\neb\n", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    std::string out = tmp / "out", errfile = tmp / "err";
    for (const char *word : {"a", "b"}) {
      pex_pipeline *px = pex_init(0, "vuz", nullptr);
      Shell sh(std::string("echo ") + word + "; echo e" + word + " >&2");
      int err;
      bool into_out = c.flags & PEX_ERR_INTO_OUT;
      ASSERT_EQ(pex_run_stage(px, c.flags | PEX_FINAL_STAGE, "/bin/sh", sh.argv, out.c_str(),
                              into_out ? nullptr : errfile.c_str(), &err),
                nullptr);
      int status;
      ASSERT_EQ(pex_copy_statuses(px, 1, &status), 1);
      pex_destroy(px);
    }
    EXPECT_EQ(slurp(out), c.out);
    EXPECT_EQ(slurp(errfile), c.err);
  }
}

TEST(Pex, ExecFailureWithoutReportPipeWritesFallbackLine)
{
  TempDir tmp;
  std::string errfile = tmp / "err";
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  // Use up every descriptor but one: the error file gets it and the report
  // pipe cannot be made.
  std::vector<int> fillers;
  for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
    fillers.push_back(fd);
  ASSERT_FALSE(fillers.empty());
  close(fillers.back());
  fillers.pop_back();

  pex_pipeline *px = pex_init(PEX_PIPED, "vuz++", nullptr);
  char *argv[] = {const_cast<char *>("tolm"), nullptr};
  int err;
  const char *failure =
      pex_run_stage(px, PEX_FINAL_STAGE, "tolm", argv, nullptr, errfile.c_str(), &err);
  for (int fd : fillers)
    close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);

  EXPECT_EQ(failure, nullptr);  // the parent sees a started child
  int status = 0;
  ASSERT_EQ(pex_copy_statuses(px, 1, &status), 1);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  pex_destroy(px);
  EXPECT_EQ(slurp(errfile), "vuz++: error trying to exec 'tolm': execv: No such file or directory\n");
}

TEST(Pex, TemporaryFileModeRemovesConnectingFiles)
{
  TempDir tmp;
  std::string out = tmp / "out";
  // The base already carries the pattern; the caller's text must stay as it is.
  std::string base = tmp / "baseXXXXXX";
  std::string base_before = base;
  pex_pipeline *px = pex_init(0, "vuz", base.c_str());
  char *echo[] = {const_cast<char *>("echo"), const_cast<char *>("hi"), nullptr};
  char *tr[] = {const_cast<char *>("tr"), const_cast<char *>("a-z"), const_cast<char *>("A-Z"),
                nullptr};
  char *cat[] = {const_cast<char *>("cat"), nullptr};
  int err;
  ASSERT_EQ(pex_run_stage(px, PEX_PATH_SEARCH, "echo", echo, nullptr, nullptr, &err), nullptr);
  ASSERT_EQ(pex_run_stage(px, PEX_PATH_SEARCH, "tr", tr, nullptr, nullptr, &err), nullptr);
  ASSERT_EQ(pex_run_stage(px, PEX_PATH_SEARCH | PEX_FINAL_STAGE, "cat", cat, out.c_str(), nullptr,
                          &err),
            nullptr);
  EXPECT_EQ(base, base_before);
  ASSERT_EQ(px->removal_count, 2);
  std::vector<std::string> connecting(px->removal_names, px->removal_names + 2);
  for (const std::string &name : connecting) {
    EXPECT_EQ(name.compare(0, base.size() - 6, base, 0, base.size() - 6), 0) << name;
    EXPECT_NE(name, base);
    EXPECT_TRUE(exists(name)) << name;
  }
  int statuses[3];
  ASSERT_EQ(pex_copy_statuses(px, 3, statuses), 1);
  pex_destroy(px);
  EXPECT_EQ(slurp(out), "HI\n");
  for (const std::string &name : connecting)
    EXPECT_FALSE(exists(name)) << name;
}

TEST(Pex, EnvironmentOfOneChild)
{
  TempDir tmp;
  std::string out = tmp / "out";
  char **environ_before = environ;
  char *env[] = {const_cast<char *>("PEX_TEST_VALUE=given"), nullptr};
  Shell sh("echo \"[$PEX_TEST_VALUE]\"");
  pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
  int err;
  ASSERT_EQ(pex_run_stage_env(px, PEX_FINAL_STAGE, "/bin/sh", sh.argv, env, out.c_str(), nullptr,
                              &err),
            nullptr);
  EXPECT_EQ(environ, environ_before);
  int status;
  ASSERT_EQ(pex_copy_statuses(px, 1, &status), 1);
  pex_destroy(px);
  EXPECT_EQ(slurp(out), "[given]\n");
  EXPECT_EQ(getenv("PEX_TEST_VALUE"), nullptr);
}

TEST(Pex, ReadingTheLastStageOutput)
{
  struct Case {
    const char *name;
    int flags;
  } cases[] = {{"pipe", PEX_PIPED}, {"temporary file", 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(shell_output(c.flags, "echo out"), "out\n");
  }
}

TEST(Pex, InputFileFeedsTheFirstStage)
{
  TempDir tmp;
  std::string out = tmp / "out", in = tmp / "in";
  pex_pipeline *px = pex_init(PEX_PIPED, "vuz", nullptr);
  FILE *input = pex_write_input_file(px, 0, in.c_str());
  ASSERT_NE(input, nullptr);
  fputs("abc\n", input);
  // Once an input is set, no second one can be.
  errno = 0;
  EXPECT_EQ(pex_write_input_pipe(px, 0), nullptr);
  EXPECT_EQ(errno, EINVAL);
  char *tr[] = {const_cast<char *>("tr"), const_cast<char *>("a-z"), const_cast<char *>("A-Z"),
                nullptr};
  int err;
  ASSERT_EQ(pex_run_stage(px, PEX_PATH_SEARCH | PEX_FINAL_STAGE, "tr", tr, out.c_str(), nullptr,
                          &err),
            nullptr);
  int status;
  ASSERT_EQ(pex_copy_statuses(px, 1, &status), 1);
  pex_destroy(px);
  EXPECT_EQ(slurp(out), "ABC\n");
}

TEST(Pex, ChildStillTrackedWhenParentCloseFails)
{
  // A back end whose spawn succeeds but reports a failed close afterwards.
  static pex_operations failing_close;
  failing_close = pex_posix_operations;
  failing_close.spawn_child = [](pex_pipeline *px, int flags, const char *program,
                                 char *const *argv, char *const *env, int in, int out,
                                 int errdes, int toclose, const char **errmsg, int *err) {
    int pid = pex_posix_operations.spawn_child(px, flags, program, argv, env, in, out, errdes,
                                               toclose, errmsg, err);
    if (pid >= 0) {
      *errmsg = "close";
      *err = EIO;
    }
    return pid;
  };
  pex_pipeline *px = pex_create_with_ops(PEX_PIPED, "vuz", nullptr, &failing_close);
  Shell sh("exit 7");
  int err = 0;
  EXPECT_STREQ(pex_run_stage(px, PEX_FINAL_STAGE, "/bin/sh", sh.argv, nullptr, nullptr, &err),
               "close");
  EXPECT_EQ(err, EIO);
  ASSERT_EQ(px->child_count, 1);
  int status = -1;
  ASSERT_EQ(pex_copy_statuses(px, 1, &status), 1);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
  pex_destroy(px);
  expect_no_children();
}

TEST(Pex, FailedWaitIsReported)
{
  pex_pipeline *px = pex_init(PEX_PIPED | PEX_KEEP_TIMES, "vuz", nullptr);
  char *argv[] = {const_cast<char *>("true"), nullptr};
  int err;
  ASSERT_EQ(pex_run_stage(px, PEX_FINAL_STAGE | PEX_PATH_SEARCH, "true", argv, nullptr, nullptr,
                          &err),
            nullptr);
  // Someone else reaps the child first.
  ASSERT_EQ(waitpid(px->child_pids[0], nullptr, 0), px->child_pids[0]);
  int status;
  errno = 0;
  EXPECT_EQ(pex_copy_statuses(px, 1, &status), 0);
  EXPECT_EQ(errno, ECHILD);
  pex_destroy(px);
}
