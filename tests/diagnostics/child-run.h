// Runs a piece of test code in a child process and collects what it wrote to
// standard error and how it ended, for the reports that end the process.
#ifndef VUZ_TESTS_DIAGNOSTICS_CHILD_RUN_H
#define VUZ_TESTS_DIAGNOSTICS_CHILD_RUN_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct child_outcome {
  bool exited;     // false when ended by a signal
  int status;      // exit status, or the signal number
  std::string err; // standard error, byte for byte
};

inline child_outcome run_in_child(const std::function<void()> &body)
{
  int fds[2];
  if (pipe(fds) != 0)
    abort();
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 2);
    close(fds[1]);
    body();
    fflush(stderr);
    // A failed expectation inside the child shows as exit status 3.
    _exit(::testing::Test::HasFailure() ? 3 : 0);
  }
  close(fds[1]);
  child_outcome outcome;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
    outcome.err.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.exited = WIFEXITED(status);
  outcome.status = outcome.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return outcome;
}

#endif
