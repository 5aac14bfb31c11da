// The assertion routine and the internal-error report: source-path trimming,
// the exit policy of internal errors with its bug-report notice, and the two
// callbacks that print a backtrace.
#include "diagnostics/diagnostic.h"
#include "diagnostics/internal.h"
#include "support/alloc.h"
#include "support/internal-abort.h"
#include "support/system-utils.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void plain_abort()
{
  abort();
}

const char *trim_source_path(const char *path)
{
  const char *p = path;
  while (strncmp(p, "../", 3) == 0)
    p += 3;
  if (*p == '/') {
    const char *engine = diagnostic_engine_file + 1;
    p++;
    while (*p && *engine && *p == *engine) {
      p++;
      engine++;
    }
  }
  while (p > path && p[-1] != '/')
    p--;
  return p;
}

void internal_abort(const char *file, int line, const char *function)
{
  if (global_diagnostic_state.printer)
    internal_error("in %s, at %s:%d", function, trim_source_path(file), line);
  // Before the context exists: the same text, written directly, then abort.
  fputs("internal compiler error: ", stderr);
  fprintf(stderr, "in %s, at %s:%d\n", function, trim_source_path(file), line);
  diagnostic_walk_stack(2);
  abort();
}

void internal_error_exit(diagnostic_state *context, diagnostic_kind kind)
{
  int frames = kind == DK_ICE ? diagnostic_walk_stack(2) : 0;
  if (context->abort_on_report)
    plain_abort();
  if (context->report_bug)
    fputs("Please submit a full bug report, with preprocessed source.\n", stderr);
  else
    fputs("Please submit a full bug report, with preprocessed source (by using "
          "-freport-bug).\n",
          stderr);
  if (frames > 0)
    fputs("Please include the complete backtrace with any bug report.\n", stderr);
  fprintf(stderr, "See %s for instructions.\n", "<" VUZ_BUG_REPORT_URL ">");
  diagnostic_run_final(context);
  exit_program(EXIT_CODE_INTERNAL);
}

static const char *base_name(const char *path)
{
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// The engine's frames that lead to the walk are not part of what failed.
static bool engine_frame(const char *file)
{
  static const char *const engine_files[] = {"diagnostic.cc", "diagnostic-report.cc",
                                             "internal-error.cc", "backtrace.cc"};
  const char *name = base_name(file);
  for (const char *engine : engine_files)
    if (strcmp(name, engine) == 0)
      return true;
  return false;
}

// The frames at which the interesting part of the stack ends.
static bool outermost_frame(const char *function)
{
  static const char *const outermost[] = {"main", "compiler_toplevel::main", "run_one_pass",
                                          "compile_translation_unit"};
  for (const char *name : outermost) {
    size_t length = strlen(name);
    if (strncmp(function, name, length) == 0 &&
        (function[length] == '\0' || function[length] == '('))
      return true;
  }
  return false;
}

int backtrace_frame_print(void *data, uintptr_t pc, const char *file, int line,
                          const char *function)
{
  int *count = static_cast<int *>(data);
  if (!file && !function)
    return 0;
  if (*count == 0 && file && engine_frame(file))
    return 0;
  if (*count >= 20)
    return 1;
  ++*count;
  char *demangled = function ? diagnostic_demangle(function) : nullptr;
  if (demangled)
    function = demangled;
  if (function && outermost_frame(function)) {
    free(demangled);
    return 1;
  }
  fprintf(stderr, "0x%lx %s\n\t%s:%d\n", static_cast<unsigned long>(pc),
          function ? function : "???", file ? file : "???", line);
  free(demangled);
  return 0;
}

void backtrace_error_print(void *, const char *message, int error_number)
{
  if (error_number < 0)
    return;
  fprintf(stderr, "%s%s%s\n", message, error_number > 0 ? ": " : "",
          error_number > 0 ? error_text(error_number) : "");
}
