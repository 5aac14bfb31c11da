// The ARM target's hook record and the hook body that must never run.
#include "options/target-hooks.h"

#include "options/option-codes.h"
#include "options/option-values.h"
#include "support/internal-abort.h"

// Section anchors and register-pressure scheduling pay off from -O1 on.
static const level_default_entry arm_option_optimization_table[] = {
  {3, OPT_fsection_anchors, nullptr, 1},
  {3, OPT_fsched_pressure, nullptr, 1},
  {0, 0, nullptr, 0},
};

static unwind_info_kind arm_except_unwind_info(option_values *opts)
{
  return opts->var_fexceptions || opts->var_funwind_tables ? UI_TARGET : UI_NONE;
}

// -mthumb-interwork and -msched-prolog.
static const uint64_t arm_default_target_flags = 0xa000;

const target_option_hooks target_hooks = {
  hook_return_true<option_values *, option_values *, const decoded_option *, location_t>,
  hook_do_nothing<option_values *>,
  arm_option_optimization_table,
  arm_default_target_flags,
  arm_except_unwind_info,
  hook_return_zero<bool, option_values *, bool>,
  hook_return_zero<vec<const char *> *, int, const char *>,
  0,
  1,
  0,
};

int hook_int_rtx_insn_unreachable(rtx_insn *)
{
  vuz_assert_at(false, "hooks", 246, "hook_int_rtx_insn_unreachable");
}
