// The target hook record through which the option machinery asks its target
// questions, the family of trivial hook bodies that records point to, and the
// record of this (ARM) target.
#ifndef VUZ_OPTIONS_TARGET_HOOKS_H
#define VUZ_OPTIONS_TARGET_HOOKS_H

#include "support/vec.h"

#include <cstdint>

struct decoded_option;
struct option_values;
struct rtx_insn;
typedef uint32_t location_t;

// One entry of an optimisation-level default table: the level class (0 ends
// the table, 3 is level 1 and above), the option, its argument and value.
struct level_default_entry {
  int32_t level_class;
  uint64_t option_index;
  const char *argument;
  int32_t value;
};

// The kind of unwind information the target emits.
enum unwind_info_kind : int { UI_NONE = 0, UI_SJLJ = 1, UI_DWARF2 = 2, UI_SEH = 3, UI_TARGET = 4 };

struct target_option_hooks {
  bool (*handle_option)(option_values *opts, option_values *opts_set,
                        const decoded_option *decoded, location_t location);
  void (*option_init_struct)(option_values *opts);
  const level_default_entry *option_optimization_table;
  uint64_t default_target_flags;
  unwind_info_kind (*except_unwind_info)(option_values *opts);
  bool (*supports_split_stack)(option_values *opts, bool report);
  // The values help and suggestions list for a target option; a new vector
  // that the caller frees, or null.
  vec<const char *> *(*get_valid_option_values)(int option_index, const char *prefix);
  unsigned char unwind_tables_default;
  unsigned char have_named_sections;
  unsigned char always_strip_dotdot;
};

extern const target_option_hooks target_hooks;

// Trivial hook bodies, one template per behaviour so that any hook signature
// can point to one.
template <typename R, typename... A> R hook_return_zero(A...)
{
  return R();
}
template <typename... A> bool hook_return_true(A...)
{
  return true;
}
template <typename... A> void hook_do_nothing(A...) {}
template <int N, typename... A> int hook_return_int(A...)
{
  return N;
}
template <typename T, typename... A> T hook_return_first(T first, A...)
{
  return first;
}
template <typename A, typename B, typename C> bool hook_true_if_third_zero(A, B, C third)
{
  return third == 0;
}
// For hooks that a target must override before they can be reached.
[[noreturn]] int hook_int_rtx_insn_unreachable(rtx_insn *insn);

#endif
