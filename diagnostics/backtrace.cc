// Where the internal-error report meets the stack-trace library and the
// demangler.
#include "demangle/demangler.h"
#include "diagnostics/diagnostic.h"
#include "diagnostics/internal.h"
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

char *diagnostic_demangle(const char *name)
{
  return demangle_to_string(name, DEMANGLE_PARAMS | DEMANGLE_NO_EFFECT | DEMANGLE_VERBOSE |
                                      DEMANGLE_ITANIUM);
}
