// One driver run in the calling process, ended by driver_reset.
#include "tests/common/driver-in-process.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"
#include "support/alloc.h"

#include <csetjmp>
#include <cstdlib>

static jmp_buf run_ended;
static int ended_status;
static bool abort_on_internal;

static void end_run(int status)
{
  if (status == 4 && abort_on_internal)
    abort();
  ended_status = status;
  longjmp(run_ended, 1);
}

int run_driver_in_process(int argc, char **argv, bool abort_on_internal_error)
{
  driver_state state = {};
  env.init(true, false);  // so that driver_reset can restore the environment
  env.verbose_flag = &global_options.var_v;
  abort_on_internal = abort_on_internal_error;
  exit_program_hook = end_run;
  int status;
  if (setjmp(run_ended) == 0)
    status = driver_run(&state, argc, argv);
  else
    status = ended_status;
  exit_program_hook = nullptr;
  free(state.explicit_link_flags);
  free(state.option_records);
  option_candidates_free(&state.suggester);
  driver_reset();
  return status;
}
