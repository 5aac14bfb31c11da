// Running pipelines of child programs: each stage reads the previous stage's
// output through a pipe or a temporary file; the caller starts the stages, then
// collects wait statuses and times, then destroys the pipeline.
#ifndef VUZ_SUPPORT_PEX_H
#define VUZ_SUPPORT_PEX_H

#include <cstdint>
#include <cstdio>

// Pipeline flags.
constexpr int PEX_KEEP_TIMES = 0x1;
constexpr int PEX_PIPED = 0x2;
constexpr int PEX_KEEP_TEMP_FILES = 0x4;

// Run flags of one stage.
constexpr int PEX_FINAL_STAGE = 0x1;
constexpr int PEX_PATH_SEARCH = 0x2;
constexpr int PEX_NAME_IS_SUFFIX = 0x4;
constexpr int PEX_ERR_INTO_OUT = 0x8;
constexpr int PEX_BINARY_IN = 0x10;
constexpr int PEX_BINARY_OUT = 0x20;
constexpr int PEX_STDERR_TO_PIPE = 0x40;
constexpr int PEX_BINARY_ERR = 0x80;
constexpr int PEX_APPEND_OUT = 0x100;
constexpr int PEX_APPEND_ERR = 0x200;

struct pex_child_times {
  int64_t user_seconds;
  int64_t user_microseconds;
  int64_t system_seconds;
  int64_t system_microseconds;
};

struct pex_pipeline;

// The back end. Descriptor results below zero are failures with errno set.
struct pex_operations {
  int (*open_input_file)(pex_pipeline *, const char *name, int binary);
  int (*open_output_file)(pex_pipeline *, const char *name, int binary, int append);
  // Returns the child's process id, or -1 with *errmsg and *err set. A
  // process id together with a set *errmsg means the child runs but the
  // parent's descriptors could not all be closed.
  int (*spawn_child)(pex_pipeline *, int flags, const char *program,
                         char *const *argv, char *const *env, int in, int out,
                         int errdes, int toclose, const char **errmsg, int *err);
  int (*close_fd)(pex_pipeline *, int fd);
  int (*wait_child)(pex_pipeline *, int pid, int *status, pex_child_times *times,
                    int done, const char **errmsg, int *err);
  int (*make_pipe)(pex_pipeline *, int *fds, int binary);
  FILE *(*stream_for_reading)(pex_pipeline *, int fd, int binary);
  FILE *(*stream_for_writing)(pex_pipeline *, int fd, int binary);
  void (*release_backend)(pex_pipeline *);
};

struct pex_pipeline {
  int32_t flags;
  const char *program_name;
  const char *temp_base;
  int32_t next_input_fd;
  char *next_input_path;
  int32_t next_input_path_owned;
  int32_t stderr_pipe_fd;
  int32_t child_count;
  int32_t *child_pids;
  int32_t *statuses;
  pex_child_times *times;
  int32_t waited_count;
  FILE *input_stream;
  FILE *output_stream;
  FILE *error_stream;
  int32_t removal_count;
  char **removal_names;
  const pex_operations *operations;
  void *backend_data;
};

extern const pex_operations pex_posix_operations;

pex_pipeline *pex_init(int flags, const char *program_name, const char *temp_base);
pex_pipeline *pex_create_with_ops(int flags, const char *program_name, const char *temp_base,
                                  const pex_operations *operations);

// Each returns null on success, else a static text naming what failed, with
// *err the error number (0 when the failure has no system error).
const char *pex_run_stage(pex_pipeline *, int flags, const char *program, char *const *argv,
                          const char *outname, const char *errname, int *err);
const char *pex_run_stage_env(pex_pipeline *, int flags, const char *program,
                              char *const *argv, char *const *env, const char *outname,
                              const char *errname, int *err);

int pex_copy_statuses(pex_pipeline *, int count, int *statuses);
int pex_copy_times(pex_pipeline *, int count, pex_child_times *times);
void pex_destroy(pex_pipeline *);

// Sends SIG to every child that the layer started and has not waited for,
// then waits for each of them to end. Only async-signal-safe calls: it is
// for a fatal-signal handler, which must not remove the files that children
// are still writing.
void pex_end_children(int sig);

FILE *pex_write_input_file(pex_pipeline *, int flags, const char *name);
FILE *pex_write_input_pipe(pex_pipeline *, int binary);
FILE *pex_open_output(pex_pipeline *, int binary);
FILE *pex_open_error(pex_pipeline *, int binary);

#endif
