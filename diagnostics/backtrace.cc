// Where the internal-error report meets the stack-trace library and the
// demangler. The demangler is not part of the program yet, so names stay as
// they are.
#include "diagnostics/diagnostic.h"
#include "libmerrow/merrow.h"

int diagnostic_walk_stack(int skip)
{
  // A fresh state for each report: it is made once in a process's life.
  bt_state *state = bt_state_new(nullptr, 0, backtrace_error_print, nullptr);
  if (!state)
    return 0;
  int count = 0;
  bt_walk_stack(state, skip, backtrace_frame_print, backtrace_error_print, &count);
  return count;
}

char *diagnostic_demangle(const char *)
{
  return nullptr;
}
