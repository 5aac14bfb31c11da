// The pipeline logic shared by every back end: connecting stages, naming the
// files between them, collecting statuses and times, and tearing down.
#include "support/pex.h"

#include "support/alloc.h"
#include "support/concat.h"
#include "support/temp-files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

pex_pipeline *pex_create_with_ops(int flags, const char *program_name, const char *temp_base,
                                  const pex_operations *operations)
{
  pex_pipeline *obj = checked_new_cleared<pex_pipeline>();
  obj->flags = flags;
  obj->program_name = program_name;
  obj->temp_base = temp_base;
  obj->next_input_fd = 0;
  obj->stderr_pipe_fd = -1;
  obj->operations = operations;
  return obj;
}

pex_pipeline *pex_init(int flags, const char *program_name, const char *temp_base)
{
  return pex_create_with_ops(flags, program_name, temp_base, &pex_posix_operations);
}

static void add_removal_name(pex_pipeline *obj, char *name)
{
  obj->removal_names = static_cast<char **>(
      checked_realloc(obj->removal_names, (obj->removal_count + 1) * sizeof(char *)));
  obj->removal_names[obj->removal_count++] = name;
}

// A name for a stage's output file; the result is the caller's NAME itself or
// a new string, which the caller tells apart by comparing pointers.
static char *pex_output_name(pex_pipeline *obj, int flags, const char *name)
{
  if (name && !(flags & PEX_NAME_IS_SUFFIX))
    return const_cast<char *>(name);
  if (name) {
    if (obj->temp_base)
      return concat_strings(obj->temp_base, name, nullptr);
    return temp_file_make(name);
  }
  if (!obj->temp_base)
    return temp_file_make(nullptr);

  // mkstemps rewrites its template, so it always gets a copy of the base.
  size_t length = strlen(obj->temp_base);
  bool has_pattern = length >= 6 && strcmp(obj->temp_base + length - 6, "XXXXXX") == 0;
  char *pattern = has_pattern ? checked_strdup(obj->temp_base)
                              : concat_strings(obj->temp_base, "XXXXXX", nullptr);
  int fd = mkstemps(pattern, 0);
  if (fd < 0) {
    free(pattern);
    return nullptr;
  }
  close(fd);
  return pattern;
}

// Waits for every child not yet waited for; with DONE, each is asked to
// terminate first.
static int pex_gather_statuses(pex_pipeline *obj, int done, const char **errmsg, int *err)
{
  if (obj->waited_count == obj->child_count)
    return 1;
  int count = obj->child_count;
  bool keep_times = obj->flags & PEX_KEEP_TIMES;
  obj->statuses =
      static_cast<int32_t *>(checked_realloc(obj->statuses, count * sizeof(int32_t)));
  if (keep_times)
    obj->times = static_cast<pex_child_times *>(
        checked_realloc(obj->times, count * sizeof(pex_child_times)));

  int ok = 1;
  for (int i = obj->waited_count; i < count; i++) {
    obj->statuses[i] = 0;
    pex_child_times *slot = nullptr;
    if (keep_times) {
      slot = &obj->times[i];
      memset(slot, 0, sizeof *slot);
    }
    const char *message;
    int number;
    if (obj->operations->wait_child(obj, obj->child_pids[i], &obj->statuses[i], slot, done,
                                    &message, &number) < 0) {
      ok = 0;
      *errmsg = message;
      *err = number;
    }
  }
  obj->waited_count = count;
  return ok;
}

static void record_child(pex_pipeline *obj, int pid)
{
  obj->child_pids = static_cast<int32_t *>(
      checked_realloc(obj->child_pids, (obj->child_count + 1) * sizeof(int32_t)));
  obj->child_pids[obj->child_count++] = pid;
}

const char *pex_run_stage_env(pex_pipeline *obj, int flags, const char *program,
                              char *const *argv, char *const *env, const char *outname,
                              const char *errname, int *err)
{
  const pex_operations *ops = obj->operations;
  const char *errmsg = nullptr;
  int in, out = -1, errdes = -1;

  if (obj->input_stream) {
    int failed = fclose(obj->input_stream);
    obj->input_stream = nullptr;
    if (failed) {
      *err = errno;
      return "closing pipeline input file";
    }
  }

  // Input.
  if (obj->next_input_path) {
    if (!pex_gather_statuses(obj, 0, &errmsg, err))
      return errmsg;
    in = ops->open_input_file(obj, obj->next_input_path, flags & PEX_BINARY_IN);
    if (in < 0) {
      *err = errno;
      return "open temporary file";
    }
    if (obj->next_input_path_owned)
      free(obj->next_input_path);
    obj->next_input_path = nullptr;
    obj->next_input_path_owned = 0;
  } else {
    in = obj->next_input_fd;
    if (in < 0) {
      *err = 0;
      return "pipeline already complete";
    }
  }

  // Output.
  if (flags & PEX_FINAL_STAGE) {
    obj->next_input_fd = -1;
    if (!outname) {
      out = 1;
    } else {
      char *joined = nullptr;
      if ((flags & PEX_NAME_IS_SUFFIX) && obj->temp_base)
        joined = concat_strings(obj->temp_base, outname, nullptr);
      out = ops->open_output_file(obj, joined ? joined : outname, flags & PEX_BINARY_OUT,
                                  flags & PEX_APPEND_OUT);
      free(joined);
      if (out < 0) {
        *err = errno;
        errmsg = "open temporary output file";
        goto failed;
      }
    }
  } else if (obj->flags & PEX_PIPED) {
    int fds[2];
    if (ops->make_pipe(obj, fds, flags & PEX_BINARY_OUT) < 0) {
      *err = errno;
      errmsg = "pipe";
      goto failed;
    }
    out = fds[1];
    obj->next_input_fd = fds[0];
  } else {
    char *name = pex_output_name(obj, flags, outname);
    if (!name) {
      *err = 0;
      errmsg = "could not create temporary file";
      goto failed;
    }
    bool callers = name == outname;
    if (!(obj->flags & PEX_KEEP_TEMP_FILES)) {
      add_removal_name(obj, callers ? checked_strdup(name) : name);
      obj->next_input_path_owned = 0;
    } else {
      obj->next_input_path_owned = !callers;
    }
    obj->next_input_path = name;
    out = ops->open_output_file(obj, name, flags & PEX_BINARY_OUT, flags & PEX_APPEND_OUT);
    if (out < 0) {
      *err = errno;
      errmsg = "open temporary output file";
      goto failed;
    }
  }

  // Standard error.
  if ((flags & PEX_STDERR_TO_PIPE) && errname) {
    *err = 0;
    errmsg = "both ERRNAME and PEX_STDERR_TO_PIPE specified.";
    goto failed;
  }
  if (obj->stderr_pipe_fd != -1) {
    *err = 0;
    errmsg = "PEX_STDERR_TO_PIPE used in the middle of pipeline";
    goto failed;
  }
  if (errname) {
    errdes = ops->open_output_file(obj, errname, flags & PEX_BINARY_ERR, flags & PEX_APPEND_ERR);
    if (errdes < 0) {
      *err = errno;
      errmsg = "open error file";
      goto failed;
    }
  } else if (flags & PEX_STDERR_TO_PIPE) {
    int fds[2];
    if (ops->make_pipe(obj, fds, flags & PEX_BINARY_ERR) < 0) {
      *err = errno;
      errmsg = "pipe";
      goto failed;
    }
    obj->stderr_pipe_fd = fds[0];
    errdes = fds[1];
  } else {
    errdes = 2;
  }

  {
    int toclose = (obj->flags & PEX_PIPED) ? obj->next_input_fd : -1;
    int pid = ops->spawn_child(obj, flags, program, argv, env, in, out, errdes, toclose,
                               &errmsg, err);
    if (pid < 0)
      goto failed;
    // A child that runs is tracked even when the parent's closes failed, so
    // that it is still waited for; the descriptors are closed by then.
    record_child(obj, pid);
    return errmsg;
  }

failed:
  if (in != 0) {
    ops->close_fd(obj, in);
    if (obj->next_input_fd == in)
      obj->next_input_fd = -1;
  }
  if (out >= 0 && out != 1)
    ops->close_fd(obj, out);
  if (errdes >= 0 && errdes != 2)
    ops->close_fd(obj, errdes);
  return errmsg;
}

const char *pex_run_stage(pex_pipeline *obj, int flags, const char *program, char *const *argv,
                          const char *outname, const char *errname, int *err)
{
  return pex_run_stage_env(obj, flags, program, argv, nullptr, outname, errname, err);
}

int pex_copy_statuses(pex_pipeline *obj, int count, int *statuses)
{
  const char *errmsg;
  int err;
  if (!pex_gather_statuses(obj, 0, &errmsg, &err)) {
    errno = err;
    return 0;
  }
  for (int i = 0; i < count; i++)
    statuses[i] = i < obj->child_count ? obj->statuses[i] : 0;
  return 1;
}

int pex_copy_times(pex_pipeline *obj, int count, pex_child_times *times)
{
  if (!(obj->flags & PEX_KEEP_TIMES))
    return 0;
  const char *errmsg;
  int err;
  if (!pex_gather_statuses(obj, 0, &errmsg, &err)) {
    errno = err;
    return 0;
  }
  for (int i = 0; i < count; i++) {
    if (i < obj->child_count)
      times[i] = obj->times[i];
    else
      memset(&times[i], 0, sizeof times[i]);
  }
  return 1;
}

FILE *pex_write_input_file(pex_pipeline *obj, int flags, const char *name)
{
  if (obj->child_count > 0 || obj->next_input_fd > 0 || obj->next_input_path) {
    errno = EINVAL;
    return nullptr;
  }
  char *path = pex_output_name(obj, flags, name);
  if (!path)
    return nullptr;
  FILE *stream = fopen(path, (flags & PEX_BINARY_OUT) ? "wb" : "w");
  if (!stream) {
    int saved = errno;
    if (path != name)
      free(path);
    errno = saved;
    return nullptr;
  }
  obj->input_stream = stream;
  obj->next_input_path = path;
  obj->next_input_path_owned = path != name;
  return stream;
}

FILE *pex_write_input_pipe(pex_pipeline *obj, int binary)
{
  if (obj->child_count > 0 || !(obj->flags & PEX_PIPED) || obj->next_input_fd > 0 ||
      obj->next_input_path) {
    errno = EINVAL;
    return nullptr;
  }
  int fds[2];
  if (obj->operations->make_pipe(obj, fds, binary) < 0)
    return nullptr;
  FILE *stream = obj->operations->stream_for_writing(obj, fds[1], binary);
  if (!stream) {
    int saved = errno;
    obj->operations->close_fd(obj, fds[0]);
    obj->operations->close_fd(obj, fds[1]);
    errno = saved;
    return nullptr;
  }
  obj->next_input_fd = fds[0];
  return stream;
}

// A read stream on the descriptor in *SLOT, which the pipeline gives up.
static FILE *take_read_stream(pex_pipeline *obj, int32_t *slot, int binary)
{
  int fd = *slot;
  *slot = -1;
  FILE *stream = obj->operations->stream_for_reading(obj, fd, binary);
  if (!stream) {
    int saved = errno;
    obj->operations->close_fd(obj, fd);
    errno = saved;
  }
  return stream;
}

FILE *pex_open_output(pex_pipeline *obj, int binary)
{
  if (obj->next_input_path) {
    const char *errmsg;
    int err;
    if (!pex_gather_statuses(obj, 0, &errmsg, &err)) {
      errno = err;
      return nullptr;
    }
    obj->output_stream = fopen(obj->next_input_path, binary ? "rb" : "r");
    if (obj->next_input_path_owned)
      free(obj->next_input_path);
    obj->next_input_path = nullptr;
    obj->next_input_path_owned = 0;
    return obj->output_stream;
  }
  if (obj->next_input_fd > 0) {
    obj->output_stream = take_read_stream(obj, &obj->next_input_fd, binary);
    return obj->output_stream;
  }
  return nullptr;
}

FILE *pex_open_error(pex_pipeline *obj, int binary)
{
  if (obj->stderr_pipe_fd <= 0)
    return nullptr;
  obj->error_stream = take_read_stream(obj, &obj->stderr_pipe_fd, binary);
  return obj->error_stream;
}

void pex_destroy(pex_pipeline *obj)
{
  if (obj->next_input_fd > 0)
    obj->operations->close_fd(obj, obj->next_input_fd);
  if (obj->stderr_pipe_fd > 0)
    obj->operations->close_fd(obj, obj->stderr_pipe_fd);
  if (obj->input_stream)
    fclose(obj->input_stream);
  if (obj->output_stream)
    fclose(obj->output_stream);
  if (obj->error_stream)
    fclose(obj->error_stream);

  if (obj->waited_count < obj->child_count) {
    const char *errmsg;
    int err;
    obj->flags &= ~PEX_KEEP_TIMES;
    pex_gather_statuses(obj, 1, &errmsg, &err);
  }

  if (obj->next_input_path_owned)
    free(obj->next_input_path);
  free(obj->child_pids);
  free(obj->statuses);
  free(obj->times);
  for (int i = 0; i < obj->removal_count; i++) {
    remove(obj->removal_names[i]);
    free(obj->removal_names[i]);
  }
  free(obj->removal_names);
  if (obj->operations->release_backend)
    obj->operations->release_backend(obj);
  free(obj);
}
