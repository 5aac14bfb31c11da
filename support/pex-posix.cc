// The POSIX back end of the pipeline layer: descriptors, pipes and children
// started with vfork (fork in sanitizer builds) and execv or execvp.
#include "support/pex.h"

#include "support/alloc.h"
#include "support/system-utils.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// Sanitizer runtimes may not cope with a child that borrows the parent's
// memory, so such builds copy it instead.
#if VUZ_USE_FORK
#define start_child_process fork
static const char spawn_call[] = "fork";
#else
#define start_child_process vfork
static const char spawn_call[] = "vfork";
#endif

// What a child that could not exec tells its parent through the report pipe.
// The text lives in static memory, so its address means the same in the parent.
struct exec_failure_record {
  const char *call;
  int32_t error_number;
  int32_t unused;
};
static_assert(sizeof(exec_failure_record) == 16, "the report is one 16-byte write");

// Every descriptor the layer opens is close-on-exec, so that a child sees
// only the 0, 1 and 2 it was given.
static int posix_open_input_file(pex_pipeline *, const char *name, int)
{
  return open(name, O_RDONLY | O_CLOEXEC);
}

static int posix_open_output_file(pex_pipeline *, const char *name, int, int append)
{
  return open(name, O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
}

static int posix_close_fd(pex_pipeline *, int fd)
{
  return close(fd);
}

static int posix_make_pipe(pex_pipeline *, int *fds, int)
{
  return pipe2(fds, O_CLOEXEC);
}

static FILE *posix_stream_for_reading(pex_pipeline *, int fd, int)
{
  return fdopen(fd, "r");
}

static FILE *posix_stream_for_writing(pex_pipeline *, int fd, int)
{
  if (fcntl(fd, F_SETFD, FD_CLOEXEC) < 0)
    return nullptr;
  return fdopen(fd, "w");
}

// The children started and not yet waited for, of every pipeline. A signal
// handler may read them between any two steps of this thread, so each step
// leaves them whole: a pid is stored before the count that shows it, a grown
// array is in place before the old one is freed.
static int32_t *live_pids;
static int32_t live_count;
static int32_t live_capacity;

static void note_live_child(int pid)
{
  if (live_count == live_capacity) {
    int32_t capacity = live_capacity ? live_capacity * 2 : 8;
    int32_t *grown = static_cast<int32_t *>(checked_malloc(capacity * sizeof(int32_t)));
    if (live_count)
      memcpy(grown, live_pids, live_count * sizeof(int32_t));
    int32_t *old = live_pids;
    __atomic_store_n(&live_pids, grown, __ATOMIC_SEQ_CST);
    live_capacity = capacity;
    free(old);
  }
  __atomic_store_n(&live_pids[live_count], pid, __ATOMIC_SEQ_CST);
  __atomic_store_n(&live_count, live_count + 1, __ATOMIC_SEQ_CST);
}

// Called once the child is reaped. A handler that runs before the count drops
// sees the last pid twice, or this one reaped: both harmless, see below.
static void forget_live_child(int pid)
{
  for (int32_t i = 0; i < live_count; i++)
    if (live_pids[i] == pid) {
      __atomic_store_n(&live_pids[i], live_pids[live_count - 1], __ATOMIC_SEQ_CST);
      __atomic_store_n(&live_count, live_count - 1, __ATOMIC_SEQ_CST);
      return;
    }
}

void pex_end_children(int sig)
{
  int saved_errno = errno;
  int32_t *pids = __atomic_load_n(&live_pids, __ATOMIC_SEQ_CST);
  int32_t count = __atomic_load_n(&live_count, __ATOMIC_SEQ_CST);
  int status;
  // Only a child not yet reaped is signalled: the number of one reaped may
  // already name another process.
  for (int32_t i = 0; i < count; i++)
    if (waitpid(pids[i], &status, WNOHANG) == 0)
      kill(pids[i], sig);
  for (int32_t i = 0; i < count; i++)
    while (waitpid(pids[i], &status, 0) < 0 && errno == EINTR) {
    }
  errno = saved_errno;
}

static bool write_text(const char *text)
{
  return write(STDERR_FILENO, text, strlen(text)) >= 0;
}

// The child's side after a failed step: tell the parent, or say it on
// standard error when there is no report pipe.
[[noreturn]] static void child_failed(pex_pipeline *obj, const char *program, const char *call,
                                      int report_fd)
{
  int error_number = errno;
  if (report_fd >= 0) {
    exec_failure_record record = {call, error_number, 0};
    if (write(report_fd, &record, sizeof record) == static_cast<ssize_t>(sizeof record))
      _exit(-1);
  }
  bool ok = write_text(obj->program_name);
  ok &= write_text(": error trying to exec '");
  ok &= write_text(program);
  ok &= write_text("': ");
  ok &= write_text(call);
  ok &= write_text(": ");
  ok &= write_text(error_text(error_number));
  ok &= write_text("\n");
  _exit(ok ? -1 : -2);
}

// Puts FD in place as descriptor TARGET of the child. A descriptor that is
// already there stays, without close-on-exec; when TARGET is closed in the
// parent as well, the child simply runs without it.
static const char *child_move_fd(int fd, int target)
{
  if (fd == target) {
    fcntl(fd, F_SETFD, 0);
    return nullptr;
  }
  if (dup2(fd, target) < 0)
    return "dup2";
  if (close(fd) < 0)
    return "close";
  return nullptr;
}

// Runs in the child between vfork and exec: no allocation, no return.
[[noreturn]] static void child_exec(pex_pipeline *obj, int flags, const char *program,
                                    char *const *argv, char *const *env, int in, int out,
                                    int errdes, int toclose, const int *report)
{
  const char *call;
  if (report[0] >= 0)
    close(report[0]);
  if ((call = child_move_fd(in, STDIN_FILENO)) || (call = child_move_fd(out, STDOUT_FILENO)) ||
      (call = child_move_fd(errdes, STDERR_FILENO)))
    child_failed(obj, program, call, report[1]);
  if (toclose >= 0 && close(toclose) < 0)
    child_failed(obj, program, "close", report[1]);
  if ((flags & PEX_ERR_INTO_OUT) && dup2(STDOUT_FILENO, STDERR_FILENO) < 0)
    child_failed(obj, program, "dup2", report[1]);
  if (env)
    environ = const_cast<char **>(env);
  if (flags & PEX_PATH_SEARCH) {
    execvp(program, argv);
    child_failed(obj, program, "execvp", report[1]);
  }
  execv(program, argv);
  child_failed(obj, program, "execv", report[1]);
}

// Holds off the signals that end a run, so that no child runs unnoted for
// the handler to miss; BEFORE receives the mask to restore.
static void hold_ending_signals(sigset_t *before)
{
  sigset_t held;
  sigemptyset(&held);
  for (int sig : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE})
    sigaddset(&held, sig);
  sigprocmask(SIG_BLOCK, &held, before);
}

static int posix_spawn_child(pex_pipeline *obj, int flags, const char *program,
                             char *const *argv, char *const *env, int in, int out, int errdes,
                             int toclose, const char **errmsg, int *err)
{
  int report[2] = {-1, -1};
  if (pipe2(report, O_CLOEXEC) < 0)
    report[0] = report[1] = -1;

  char **saved_environ = environ;
  pid_t pid = -1;
  unsigned interval = 1;
  for (int tries = 0; tries < 4; tries++) {
    sigset_t before;
    hold_ending_signals(&before);
    // Called here, not in a helper: a vfork child must not return from
    // the function that started it.
    pid = start_child_process();
    if (pid == 0) {
      sigprocmask(SIG_SETMASK, &before, nullptr);
      child_exec(obj, flags, program, argv, env, in, out, errdes, toclose, report);
    }
    if (pid > 0)
      note_live_child(pid);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (pid >= 0)
      break;
    sleep(interval);
    interval *= 2;
  }
  if (pid < 0) {
    int saved = errno;
    if (report[0] >= 0) {
      close(report[0]);
      close(report[1]);
    }
    *errmsg = spawn_call;
    *err = saved;
    return -1;
  }

  // The child may have changed environ in the memory it shared with us.
  environ = saved_environ;

  if (report[0] >= 0) {
    close(report[1]);
    exec_failure_record record;
    memset(&record, 0, sizeof record);
    ssize_t got;
    do
      got = read(report[0], &record, sizeof record);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof record)) {
      // The child has exited or is about to; reap it so that it leaves no zombie.
      int status;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      forget_live_child(pid);
      *errmsg = record.call;
      *err = record.error_number;
      return -1;
    }
  }

  // All three are closed even when one fails; the child runs either way.
  int failure = 0;
  if (in != STDIN_FILENO && close(in) < 0)
    failure = errno;
  if (out != STDOUT_FILENO && close(out) < 0 && !failure)
    failure = errno;
  if (errdes != STDERR_FILENO && close(errdes) < 0 && !failure)
    failure = errno;
  if (failure) {
    *errmsg = "close";
    *err = failure;
  }
  return pid;
}

static int posix_wait_child(pex_pipeline *, int pid, int *status, pex_child_times *times,
                            int done, const char **errmsg, int *err)
{
  if (done)
    kill(pid, SIGTERM);
  pid_t result;
  if (times) {
    struct rusage usage;
    do
      result = wait4(pid, status, 0, &usage);
    while (result < 0 && errno == EINTR);
    if (result >= 0) {
      times->user_seconds = usage.ru_utime.tv_sec;
      times->user_microseconds = usage.ru_utime.tv_usec;
      times->system_seconds = usage.ru_stime.tv_sec;
      times->system_microseconds = usage.ru_stime.tv_usec;
    }
  } else {
    do
      result = waitpid(pid, status, 0);
    while (result < 0 && errno == EINTR);
  }
  forget_live_child(pid);
  if (result < 0) {
    *errmsg = "wait";
    *err = errno;
    return -1;
  }
  return 0;
}

static void posix_release_backend(pex_pipeline *) {}

const pex_operations pex_posix_operations = {
    posix_open_input_file,    posix_open_output_file,    posix_spawn_child,
    posix_close_fd,           posix_wait_child,          posix_make_pipe,
    posix_stream_for_reading, posix_stream_for_writing,  posix_release_backend,
};
