// The ARM helpers of the option machinery: the parsers of architecture,
// processor and FPU names with their "+" features, the canonicaliser of
// architecture names, and the spec functions that the driver's specs call.
#ifndef VUZ_OPTIONS_ARM_COMMON_H
#define VUZ_OPTIONS_ARM_COMMON_H

#include "options/arm-isa.h"

struct sbitmap;

// Sets exactly the features of a zero-terminated list.
void isa_set_from_list(sbitmap *set, const unsigned char *list);
bool isa_list_has(const unsigned char *list, unsigned feature);

// The row named by the text before the first '+' of NAME, or null; with
// COMPLAIN a miss reports an error naming OPTNAME ("-march", "-mcpu") and a
// note with the valid names.
const arm_arch *arm_parse_arch_name(const arm_arch *table, const char *optname,
                                    const char *name, bool complain);
const arm_cpu *arm_parse_cpu_name(const arm_cpu *table, const char *optname, const char *name,
                                  bool complain);
// The FPU of exactly that name, or null after an error and a note.
const arm_fpu *arm_parse_fpu_name(const char *name);
// Applies the "+name" items of TEXT (from its first '+', or null) to SET (or
// only checks them when SET is null), reporting unknown names.
void arm_parse_option_features(sbitmap *set, const arm_isa_named *row, const char *text);

// The canonical architecture text of operand pairs "arch", "cpu", "fpu" and
// "abi"; MULTILIB drops the features that do not select libraries and keeps
// quiet about unknown names.
const char *arm_canon_arch_option_1(int argc, const char **argv, bool multilib);

// The spec functions: each takes the words of a "%:" call and returns the
// text that replaces it. A returned text stays valid for the whole run, as
// the caller may still be expanding it when the same function runs again.
const char *arm_rewrite_mcpu(int argc, const char **argv);         // rewrite_mcpu
const char *arm_rewrite_march(int argc, const char **argv);        // rewrite_march
const char *arm_asm_auto_mfpu(int argc, const char **argv);        // asm_auto_mfpu
const char *arm_canon_arch_spec(int argc, const char **argv);      // canon_arch
const char *arm_canon_arch_multilib_spec(int argc, const char **argv); // canon_arch_multilib
const char *arm_target_mode_check_spec(int argc, const char **argv); // target_mode_check
const char *arm_be8_option(int argc, const char **argv);           // be8_linkopt

// The rows of the driver's spec-function table that belong to the target.
#define TARGET_SPEC_FUNCTION_ROWS                         \
  {"rewrite_mcpu", arm_rewrite_mcpu},                     \
  {"rewrite_march", arm_rewrite_march},                   \
  {"asm_auto_mfpu", arm_asm_auto_mfpu},                   \
  {"canon_arch", arm_canon_arch_spec},                    \
  {"canon_arch_multilib", arm_canon_arch_multilib_spec},  \
  {"target_mode_check", arm_target_mode_check_spec},      \
  {"be8_linkopt", arm_be8_option},

// Helpers that the compiler proper uses; the driver does not call them.
const char *arm_rewrite_selected_arch(const char *name);
const char *arm_base_name(const char *name);
bool option_name_less(const char *a, const char *b);

#endif
