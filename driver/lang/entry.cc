// The entry of each of the three programs: the driver object lives in this
// frame for the whole run.
#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"

#include <cstdlib>

int main(int argc, char **argv)
{
  driver_state state = {};
  env.init(false, false);
  env.verbose_flag = &global_options.var_v;
  int status = driver_run(&state, argc, argv);
  // Final notes, such as that of -Werror, before the process ends.
  if (global_diagnostic_state.printer)
    diagnostic_state_finish(&global_diagnostic_state);
  free(state.explicit_link_flags);
  free(state.option_records);
  option_candidates_free(&state.suggester);
  return status;
}
