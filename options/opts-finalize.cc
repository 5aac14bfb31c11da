// A compiler's last passes over the option-set record: the defaults of the
// optimisation level, then the consistency pass that settles undecided
// options and refuses combinations that cannot work together.
#include "options/opts-utils.h"

#include "options/target-hooks.h"
#include "support/internal-abort.h"

#include <cstring>

#define set_if_unset(opts, opts_set, field, value) \
  do {                                             \
    if (!(opts_set)->field)                        \
      (opts)->field = (value);                     \
  } while (0)

// Level classes of the default tables.
enum : int32_t {
  LEVELS_NONE,
  LEVELS_ALL,
  LEVELS_0_ONLY,
  LEVELS_1_PLUS,
  LEVELS_1_PLUS_SPEED_ONLY,
  LEVELS_1_PLUS_NOT_DEBUG,
  LEVELS_2_PLUS,
  LEVELS_2_PLUS_SPEED_ONLY,
  LEVELS_3_PLUS,
  LEVELS_3_PLUS_AND_SIZE,
  LEVELS_SIZE,
  LEVELS_FAST,
};

// Vectoriser cost models as the enumeration stores them.
enum : int32_t { COST_MODEL_DYNAMIC = -1, COST_MODEL_CHEAP = -2, COST_MODEL_VERY_CHEAP = -3 };

#define entry(levels, option) {levels, OPT_##option, nullptr, 1}
#define valued(levels, option, value) {levels, OPT_##option, nullptr, value}

static const level_default_entry common_level_defaults[] = {
    entry(LEVELS_1_PLUS, fcombine_stack_adjustments),
    entry(LEVELS_1_PLUS, fcompare_elim),
    entry(LEVELS_1_PLUS, fcprop_registers),
    entry(LEVELS_1_PLUS, fdefer_pop),
    entry(LEVELS_1_PLUS, fforward_propagate),
    entry(LEVELS_1_PLUS, fguess_branch_probability),
    entry(LEVELS_1_PLUS, fipa_profile),
    entry(LEVELS_1_PLUS, fipa_pure_const),
    entry(LEVELS_1_PLUS, fipa_reference),
    entry(LEVELS_1_PLUS, fipa_reference_addressable),
    entry(LEVELS_1_PLUS, fmerge_constants),
    entry(LEVELS_1_PLUS, fomit_frame_pointer),
    entry(LEVELS_1_PLUS, freorder_blocks),
    entry(LEVELS_1_PLUS, fshrink_wrap),
    entry(LEVELS_1_PLUS, fsplit_wide_types),
    entry(LEVELS_1_PLUS, fthread_jumps),
    entry(LEVELS_1_PLUS, ftree_builtin_call_dce),
    entry(LEVELS_1_PLUS, ftree_ccp),
    entry(LEVELS_1_PLUS, ftree_ch),
    entry(LEVELS_1_PLUS, ftree_coalesce_vars),
    entry(LEVELS_1_PLUS, ftree_copy_prop),
    entry(LEVELS_1_PLUS, ftree_dce),
    entry(LEVELS_1_PLUS, ftree_dominator_opts),
    entry(LEVELS_1_PLUS, ftree_fre),
    entry(LEVELS_1_PLUS, ftree_sink),
    entry(LEVELS_1_PLUS, ftree_slsr),
    entry(LEVELS_1_PLUS, ftree_ter),
    entry(LEVELS_1_PLUS, fvar_tracking),

    entry(LEVELS_1_PLUS_NOT_DEBUG, fbranch_count_reg),
    entry(LEVELS_1_PLUS_NOT_DEBUG, fdse),
    entry(LEVELS_1_PLUS_NOT_DEBUG, fif_conversion),
    entry(LEVELS_1_PLUS_NOT_DEBUG, fif_conversion2),
    entry(LEVELS_1_PLUS_NOT_DEBUG, finline_functions_called_once),
    entry(LEVELS_1_PLUS_NOT_DEBUG, fmove_loop_invariants),
    entry(LEVELS_1_PLUS_NOT_DEBUG, fmove_loop_stores),
    entry(LEVELS_1_PLUS_NOT_DEBUG, fssa_phiopt),
    entry(LEVELS_1_PLUS_NOT_DEBUG, fipa_modref),
    entry(LEVELS_1_PLUS_NOT_DEBUG, ftree_bit_ccp),
    entry(LEVELS_1_PLUS_NOT_DEBUG, ftree_dse),
    entry(LEVELS_1_PLUS_NOT_DEBUG, ftree_pta),
    entry(LEVELS_1_PLUS_NOT_DEBUG, ftree_sra),

    entry(LEVELS_2_PLUS, fcaller_saves),
    entry(LEVELS_2_PLUS, fcode_hoisting),
    entry(LEVELS_2_PLUS, fcrossjumping),
    entry(LEVELS_2_PLUS, fcse_follow_jumps),
    entry(LEVELS_2_PLUS, fdevirtualize),
    entry(LEVELS_2_PLUS, fdevirtualize_speculatively),
    entry(LEVELS_2_PLUS, fexpensive_optimizations),
    entry(LEVELS_2_PLUS, fgcse),
    entry(LEVELS_2_PLUS, fhoist_adjacent_loads),
    entry(LEVELS_2_PLUS, findirect_inlining),
    entry(LEVELS_2_PLUS, finline_small_functions),
    entry(LEVELS_2_PLUS, fipa_bit_cp),
    entry(LEVELS_2_PLUS, fipa_cp),
    entry(LEVELS_2_PLUS, fipa_icf),
    entry(LEVELS_2_PLUS, fipa_ra),
    entry(LEVELS_2_PLUS, fipa_sra),
    entry(LEVELS_2_PLUS, fipa_vrp),
    entry(LEVELS_2_PLUS, fisolate_erroneous_paths_dereference),
    entry(LEVELS_2_PLUS, flra_remat),
    entry(LEVELS_2_PLUS, foptimize_sibling_calls),
    entry(LEVELS_2_PLUS, fpartial_inlining),
    entry(LEVELS_2_PLUS, fpeephole2),
    entry(LEVELS_2_PLUS, freorder_functions),
    entry(LEVELS_2_PLUS, frerun_cse_after_loop),
    entry(LEVELS_2_PLUS, fschedule_insns2),
    entry(LEVELS_2_PLUS, fstrict_aliasing),
    entry(LEVELS_2_PLUS, fstore_merging),
    entry(LEVELS_2_PLUS, ftree_pre),
    entry(LEVELS_2_PLUS, ftree_switch_conversion),
    entry(LEVELS_2_PLUS, ftree_tail_merge),
    entry(LEVELS_2_PLUS, ftree_vrp),
    valued(LEVELS_2_PLUS, fvect_cost_model_eq, COST_MODEL_VERY_CHEAP),
    entry(LEVELS_2_PLUS, finline_functions),
    entry(LEVELS_2_PLUS, ftree_loop_distribute_patterns),

    entry(LEVELS_2_PLUS_SPEED_ONLY, falign_functions),
    entry(LEVELS_2_PLUS_SPEED_ONLY, falign_jumps),
    entry(LEVELS_2_PLUS_SPEED_ONLY, falign_labels),
    entry(LEVELS_2_PLUS_SPEED_ONLY, falign_loops),
    entry(LEVELS_2_PLUS_SPEED_ONLY, foptimize_strlen),
    entry(LEVELS_2_PLUS_SPEED_ONLY, freorder_blocks_algorithm_eq),
    entry(LEVELS_2_PLUS_SPEED_ONLY, ftree_loop_vectorize),
    entry(LEVELS_2_PLUS_SPEED_ONLY, ftree_slp_vectorize),
    entry(LEVELS_2_PLUS_SPEED_ONLY, fschedule_insns),

    entry(LEVELS_3_PLUS, fgcse_after_reload),
    entry(LEVELS_3_PLUS, fipa_cp_clone),
    entry(LEVELS_3_PLUS, floop_interchange),
    entry(LEVELS_3_PLUS, floop_unroll_and_jam),
    entry(LEVELS_3_PLUS, fpeel_loops),
    entry(LEVELS_3_PLUS, fpredictive_commoning),
    entry(LEVELS_3_PLUS, fsplit_loops),
    entry(LEVELS_3_PLUS, fsplit_paths),
    entry(LEVELS_3_PLUS, ftree_loop_distribution),
    entry(LEVELS_3_PLUS, ftree_partial_pre),
    entry(LEVELS_3_PLUS, funswitch_loops),
    valued(LEVELS_3_PLUS, fvect_cost_model_eq, COST_MODEL_DYNAMIC),
    entry(LEVELS_3_PLUS, fversion_loops_for_strides),
    valued(LEVELS_3_PLUS, _param_eq_max_inline_insns_auto_eq, 30),
    valued(LEVELS_3_PLUS, _param_eq_early_inlining_insns_eq, 14),
    valued(LEVELS_3_PLUS, _param_eq_inline_heuristics_hint_percent_eq, 600),
    valued(LEVELS_3_PLUS, _param_eq_inline_min_speedup_eq, 15),
    valued(LEVELS_3_PLUS, _param_eq_max_inline_insns_single_eq, 200),

    entry(LEVELS_FAST, ffast_math),
    entry(LEVELS_FAST, fallow_store_data_races),
    valued(LEVELS_FAST, fsemantic_interposition, 0),
    {LEVELS_NONE, 0, nullptr, 0},
};

#undef entry
#undef valued

static bool level_applies(int32_t levels, int level, bool size, bool fast, bool debug)
{
  switch (levels) {
  case LEVELS_ALL:
    return true;
  case LEVELS_0_ONLY:
    return level == 0;
  case LEVELS_1_PLUS:
    return level >= 1;
  case LEVELS_1_PLUS_SPEED_ONLY:
    return level >= 1 && !size && !debug;
  case LEVELS_1_PLUS_NOT_DEBUG:
    return level >= 1 && !debug;
  case LEVELS_2_PLUS:
    return level >= 2;
  case LEVELS_2_PLUS_SPEED_ONLY:
    return level >= 2 && !size && !debug;
  case LEVELS_3_PLUS:
    return level >= 3;
  case LEVELS_3_PLUS_AND_SIZE:
    return level >= 3 || size;
  case LEVELS_SIZE:
    return size;
  case LEVELS_FAST:
    return fast;
  default:
    vuz_assert_as(false, "opts", "maybe_default_option");
  }
}

void apply_default_table(option_values *opts, option_values *opts_set,
                         const level_default_entry *table, int level, bool size, bool fast,
                         bool debug, unsigned language_mask, const option_handlers *handlers,
                         location_t location, diagnostic_state *context)
{
  vuz_assert_as((!size || level == 2) && (!fast || level == 3) && (!debug || level == 1), "opts",
                "maybe_default_option");
  for (const level_default_entry *e = table; e->level_class != LEVELS_NONE; e++) {
    const option_descriptor *row = &option_rows[e->option_index];
    if (level_applies(e->level_class, level, size, fast, debug))
      apply_generated_option(opts, opts_set, e->option_index, e->argument, e->value,
                             language_mask, DK_UNSPECIFIED, location, handlers, true, context);
    else if (!e->argument && !row->bits.rejects_negative && !(row->flags & FLAG_PARAMS))
      apply_generated_option(opts, opts_set, e->option_index, e->argument, !e->value,
                             language_mask, DK_UNSPECIFIED, location, handlers, true, context);
  }
}

void apply_level_defaults(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned count, location_t location,
                          unsigned language_mask, const option_handlers *handlers,
                          diagnostic_state *context)
{
  bool openacc = false;
  for (unsigned i = 1; i < count; i++) {
    const decoded_option *d = &decoded[i];
    int level = -1, size = 0, fast = 0, debug = 0;
    switch (d->option_index) {
    case OPT_O:
      if (*d->argument == '\0') {
        level = 1;
      } else {
        int64_t value = parse_integer_argument(d->argument, nullptr, false);
        if (value == -1)
          error_at_loc(location, "argument to %<-O%> should be a non-negative integer, %<g%>, "
                                 "%<s%>, %<z%> or %<fast%>");
        else
          level = static_cast<uint64_t>(value) > 255 ? 255 : static_cast<int>(value);
      }
      break;
    case OPT_Os:
      level = 2, size = 1;
      break;
    case OPT_Oz:
      level = 2, size = 2;
      break;
    case OPT_Ofast:
      level = 3, fast = 1;
      break;
    case OPT_Og:
      level = 1, debug = 1;
      break;
    case OPT_fopenacc:
      if (d->value)
        openacc = true;
      break;
    default:
      break;
    }
    if (level >= 0) {
      opts->optimize = level;
      opts->optimize_size = size;
      opts->optimize_fast = fast;
      opts->optimize_debug = debug;
    }
  }

  apply_default_table(opts, opts_set, common_level_defaults, opts->optimize,
                      opts->optimize_size, opts->optimize_fast, opts->optimize_debug,
                      language_mask, handlers, location, context);
  if (openacc)
    set_if_unset(opts, opts_set, var_fipa_pta, 1);
  if (opts->optimize >= 2)
    set_if_unset(opts, opts_set, var__param_eq_max_fields_for_field_sensitive_eq, 100);
  if (opts->optimize_size)
    set_if_unset(opts, opts_set, var__param_eq_min_crossjump_insns_eq, 1);
  if (opts->optimize_debug)
    set_if_unset(opts, opts_set, var__param_eq_max_combine_insns_eq, 2);
  apply_default_table(opts, opts_set, target_hooks.option_optimization_table, opts->optimize,
                      opts->optimize_size, opts->optimize_fast, opts->optimize_debug,
                      language_mask, handlers, location, context);
}

// The bits of the sanitizer called NAME.
static uint32_t sanitizer_bits(const char *name)
{
  for (const sanitizer_entry *e = sanitizer_names; e->name; e++)
    if (strcmp(e->name, name) == 0)
      return e->flag_mask;
  vuz_unreachable();
}

const char *sanitizer_name_for(const option_values *opts, uint32_t mask)
{
  const uint32_t address = sanitizer_bits("address");
  if ((opts->flag_sanitize & address) == address && (mask & ~address) == 0)
    return "address";
  for (const sanitizer_entry *e = sanitizer_names; e->name; e++)
    if ((static_cast<uint32_t>(opts->flag_sanitize) & e->flag_mask) == e->flag_mask &&
        (e->flag_mask & mask) == mask)
      return e->name;
  return nullptr;
}

void report_conflicting_sanitizer_options(const option_values *opts, location_t location,
                                          uint32_t first, uint32_t second)
{
  const uint32_t on = static_cast<uint32_t>(opts->flag_sanitize);
  first &= on;
  second &= on;
  if (!first || !second)
    return;
  const char *first_name = sanitizer_name_for(opts, first);
  const char *second_name = sanitizer_name_for(opts, second);
  vuz_assert_as(first_name && second_name, "opts", "report_conflicting_sanitizer_options");
  error_at_loc(location, "%<-fsanitize=%s%> is incompatible with %<-fsanitize=%s%>", first_name,
               second_name);
}

static int enum_value(size_t option_index, const char *name)
{
  int value = 0;
  if (!opt_enum_arg_to_value(option_index, name, &value, ~0u))
    vuz_unreachable();
  return value;
}

// Turns an IPA option off for live patching; it was an error to ask for it.
static void live_patching_off(int32_t *value, int32_t set, const char *text, const char *mode,
                              location_t location)
{
  if (set && *value)
    error_at_loc(location, "%qs is incompatible with %qs", text, mode);
  *value = 0;
}

static void control_options_for_live_patching(option_values *opts, option_values *opts_set,
                                              int level, location_t location)
{
  const bool static_only = level == enum_value(OPT_flive_patching_eq, "inline-only-static");
  vuz_assert_as(static_only || level == enum_value(OPT_flive_patching_eq, "inline-clone"), "opts",
                "control_options_for_live_patching");
#define off(field, text) live_patching_off(&opts->field, opts_set->field, text, mode, location)
  if (static_only) {
    const char *mode = "-flive-patching=inline-only-static";
    off(var_fipa_cp_clone, "-fipa-cp-clone");
    off(var_fipa_sra, "-fipa-sra");
    off(var_fpartial_inlining, "-fpartial-inlining");
    off(var_fipa_cp, "-fipa-cp");
  }
  const char *mode = "-flive-patching=inline-only-static|inline-clone";
  off(var_fwhole_program, "-fwhole-program");
  off(var_fipa_pta, "-fipa-pta");
  off(var_fipa_reference, "-fipa-reference");
  off(var_fipa_ra, "-fipa-ra");
  off(var_fipa_icf, "-fipa-icf");
  off(var_fipa_icf_functions, "-fipa-icf-functions");
  off(var_fipa_icf_variables, "-fipa-icf-variables");
  off(var_fipa_bit_cp, "-fipa-bit-cp");
  off(var_fipa_vrp, "-fipa-vrp");
  off(var_fipa_pure_const, "-fipa-pure-const");
  if (opts_set->var_fipa_modref && opts->var_fipa_modref)
    error_at_loc(location, "%<-fipa-modref%> is incompatible with %qs", mode);
  opts->var_fipa_modref = 0;
  off(var_fipa_reference_addressable, "-fipa-reference-addressable");
  off(var_fipa_stack_alignment, "-fipa-stack-alignment");
#undef off
}

static void turn_off_partitioning(option_values *opts, option_values *opts_set,
                                  location_t location, const char *note)
{
  if (opts_set->var_freorder_blocks_and_partition)
    inform_loc(location, "%s", note);
  opts->var_freorder_blocks_and_partition = 0;
  opts->var_freorder_blocks = 1;
}

static void check_partition_support(option_values *opts, option_values *opts_set,
                                    location_t location)
{
  const unwind_info_kind kind = target_hooks.except_unwind_info(opts);
  const bool tables_kind = kind == UI_SJLJ || kind >= UI_TARGET;
  if (opts->var_fexceptions && opts->var_freorder_blocks_and_partition && tables_kind)
    turn_off_partitioning(opts, opts_set, location,
                          "%<-freorder-blocks-and-partition%> does not work with exceptions on "
                          "this architecture");
  if (opts->var_funwind_tables && !target_hooks.unwind_tables_default &&
      opts->var_freorder_blocks_and_partition && tables_kind)
    turn_off_partitioning(opts, opts_set, location,
                          "%<-freorder-blocks-and-partition%> does not support unwind info on "
                          "this architecture");
  if (opts->var_freorder_blocks_and_partition &&
      (!target_hooks.have_named_sections ||
       (opts->var_funwind_tables && target_hooks.unwind_tables_default && tables_kind)))
    turn_off_partitioning(opts, opts_set, location,
                          "%<-freorder-blocks-and-partition%> does not work on this architecture");
}

static void finalize_sanitizers(option_values *opts, option_values *opts_set,
                                location_t location)
{
  const uint32_t on = static_cast<uint32_t>(opts->flag_sanitize);
  const uint32_t checked_addresses = 0x2 | 0x4;  // user and kernel address checking
  if ((on & sanitizer_bits("pointer-compare")) && !(on & checked_addresses))
    error_at_loc(location, "%<-fsanitize=pointer-compare%> must be combined with "
                           "%<-fsanitize=address%> or %<-fsanitize=kernel-address%>");
  if ((on & sanitizer_bits("pointer-subtract")) && !(on & checked_addresses))
    error_at_loc(location, "%<-fsanitize=pointer-subtract%> must be combined with "
                           "%<-fsanitize=address%> or %<-fsanitize=kernel-address%>");

  const uint32_t thread = sanitizer_bits("thread"), leak = sanitizer_bits("leak");
  const uint32_t address = sanitizer_bits("address");
  const uint32_t hwaddress_any = sanitizer_bits("hwaddress") & sanitizer_bits("kernel-hwaddress");
  const uint32_t user_hwaddress = sanitizer_bits("hwaddress") & ~hwaddress_any;
  const uint32_t kernel_hwaddress = sanitizer_bits("kernel-hwaddress") & ~hwaddress_any;
  const uint32_t user_address = 0x2, kernel_address = 0x4;
  report_conflicting_sanitizer_options(opts, location, thread, address | hwaddress_any);
  report_conflicting_sanitizer_options(opts, location, leak, thread);
  report_conflicting_sanitizer_options(opts, location, hwaddress_any, address);
  report_conflicting_sanitizer_options(opts, location, user_hwaddress, kernel_hwaddress);
  report_conflicting_sanitizer_options(opts, location, user_address, kernel_address);

  for (const sanitizer_entry *e = sanitizer_names; e->name; e++)
    if ((static_cast<uint32_t>(opts->flag_sanitize_recover) & e->flag_mask) && !e->recoverable)
      error_at_loc(location, "%<-fsanitize-recover=%s%> is not supported", e->name);

  // Checks that need a null test keep the tests themselves.
  if (on & 0x180400)
    opts->var_fdelete_null_pointer_checks = 0;
  if (on & ~(thread | leak))
    opts->var_faggressive_loop_optimizations = 0;
  if (on & (user_address | kernel_hwaddress))
    set_if_unset(opts, opts_set, var_fsanitize_address_use_after_scope, 1);
  if (opts->var_fsanitize_address_use_after_scope) {
    const int none = enum_value(OPT_fstack_reuse_eq, "none");
    if (opts->var_fstack_reuse_eq != none && opts_set->var_fstack_reuse_eq)
      error_at_loc(location,
                   "%<-fsanitize-address-use-after-scope%> requires %<-fstack-reuse=none%> option");
    opts->var_fstack_reuse_eq = none;
  }
  if ((on & user_address) && opts->var_fkav_tm)
    error_at_loc(location, "transactional memory is not supported with %<-fsanitize=address%>");
  if ((on & kernel_address) && opts->var_fkav_tm)
    error_at_loc(location,
                 "transactional memory is not supported with %<-fsanitize=kernel-address%>");
}

static void finalize_debug_settings(option_values *opts, option_values *opts_set)
{
  if (opts->var_gtoggle) {
    if (opts->debug_info_level) {
      opts->debug_info_level = 0;
    } else {
      opts->debug_info_level = 2;
      if (opts->write_symbols == 0)
        opts->write_symbols = DEBUG_FORMAT_DWARF;
    }
  }
  const bool selective = opts->var_fselective_scheduling || opts->var_fselective_scheduling2;
  set_if_unset(opts, opts_set, var_gstatement_frontiers,
               opts->optimize && opts->debug_info_level >= 2 && dwarf_selected_in(opts) &&
                   !selective);
  if (opts->debug_info_level < 2 || !dwarf_selected_in(opts)) {
    if (opts_set->var_fvar_tracking && opts->var_fvar_tracking) {
      if (opts->debug_info_level < 2)
        warning_here(0, "variable tracking requested, but useless unless producing debug info");
      else
        warning_here(0, "variable tracking requested, but not supported by this debug format");
    }
    opts->var_fvar_tracking = 0;
  }
  if (!opts_set->var_fvar_tracking_assignments)
    opts->var_fvar_tracking_assignments = opts->var_fvar_tracking && !selective;
  if (opts->var_fvar_tracking_assignments_toggle)
    opts->var_fvar_tracking_assignments = !opts->var_fvar_tracking_assignments;
  if (opts->var_fvar_tracking_assignments && selective)
    warning_here(0, "var-tracking-assignments changes selective scheduling");
  if (opts->var_fsyntax_only) {
    opts->write_symbols = 0;
    opts->var_p = 0;
  }
}

void finalize_options(option_values *opts, option_values *opts_set, location_t location)
{
  // 1. The dump name goes into the dump directory once.
  if (opts->var_dumpbase && !opts->dump_base_name_prefixed) {
    if (!strchr(opts->var_dumpbase, '/') && opts->var_dumpdir)
      opts->var_dumpbase = option_obstack_concat(opts->var_dumpdir, opts->var_dumpbase, nullptr);
    opts->dump_base_name_prefixed = 1;
  }

  // 2. Section anchors and toplevel reordering need unit-at-a-time.
  if (!opts->var_funit_at_a_time) {
    if (opts->var_fsection_anchors && opts_set->var_fsection_anchors)
      error_at_loc(location, "section anchors must be disabled when unit-at-a-time is disabled");
    opts->var_fsection_anchors = 0;
    if (opts->var_ftoplevel_reorder == 1)
      error_at_loc(location, "toplevel reorder must be disabled when unit-at-a-time is disabled");
    opts->var_ftoplevel_reorder = 0;
  }

  // 3.
  if (opts->var_fself_test_eq)
    opts->var_fsyntax_only = 1;
  if (opts->var_fkav_tm && opts->var_fnon_call_exceptions)
    error_here("transactional memory is not supported with non-call exceptions");

  // 4.
  if (!opts->var_ftoplevel_reorder) {
    if (opts->var_fsection_anchors && opts_set->var_fsection_anchors)
      error_at_loc(location, "section anchors must be disabled when toplevel reorder is disabled");
    opts->var_fsection_anchors = 0;
  }
  if (!opts->optimize && opts->var_ftoplevel_reorder == 2) {
    opts->var_ftoplevel_reorder = 0;
    opts->var_fsection_anchors = 0;
  }

  // 5.
  if (!opts->flag_opts_finished) {
    if (opts->var_fPIE == -1)
      opts->var_fPIE = 0;
    if (opts->var_fPIE)
      opts->var_fPIC = opts->var_fPIE;
    else if (opts->var_fPIC == -1)
      opts->var_fPIC = 0;
    if (opts->var_fPIC && !opts->var_fPIE)
      opts->flag_shlib = 1;
    opts->flag_opts_finished = 1;
  }
  if (opts->var_fstack_protector == -1)
    opts->var_fstack_protector = 0;
  if (opts->optimize == 0) {
    // Nothing is inlined without optimisation (-finline's variable says "no inlining").
    opts->var_Winline = 0;
    opts->var_finline = 1;
  }
  if (!opts->var_fsel_sched_pipelining)
    opts->var_fsel_sched_pipelining_outer_loops = 0;
  if (opts->var_fconserve_stack) {
    set_if_unset(opts, opts_set, var__param_eq_large_stack_frame_eq, 100);
    set_if_unset(opts, opts_set, var__param_eq_large_stack_frame_growth_eq, 40);
  }

  // 6.
  if (opts->var_flto_eq) {
    opts->flag_generate_lto = 1;
    opts->var_fwhole_program = 0;
    if (!opts->var_ffat_lto_objects && opts_set->var_fuse_linker_plugin &&
        !opts->var_fuse_linker_plugin) {
      if (opts_set->var_ffat_lto_objects)
        error_at_loc(location, "%<-fno-fat-lto-objects%> are supported only with linker plugin");
      opts->var_ffat_lto_objects = 1;
    }
    if (opts->var_gsplit_dwarf) {
      inform_loc(location, "%<-gsplit-dwarf%> is not supported with LTO, disabling");
      opts->var_gsplit_dwarf = 0;
    }
  }

  // 7.
  if (opts->var_fsplit_stack == -1)
    opts->var_fsplit_stack = 0;
  if (opts->var_fsplit_stack && !target_hooks.supports_split_stack(opts, true)) {
    error_at_loc(location, "%<-fsplit-stack%> is not supported by this compiler configuration");
    opts->var_fsplit_stack = 0;
  }
  if (opts->var_freorder_blocks_and_partition)
    set_if_unset(opts, opts_set, var_freorder_functions, 1);
  if (opts->var_gsplit_dwarf)
    opts->var_gpubnames = 2;

  // 8.
  finalize_sanitizers(opts, opts_set, location);

  // 9.
  if (opts->var_flive_patching_eq && opts->var_flto_eq)
    error_at_loc(location, "live patching is not supported with LTO");
  if (opts->var_fvtable_verify_eq && opts->var_flto_eq)
    error_at_loc(location, "vtable verification is not supported with LTO");
  if (opts->var_flive_patching_eq)
    control_options_for_live_patching(opts, opts_set, opts->var_flive_patching_eq, location);

  // 10.
  set_if_unset(opts, opts_set, var_funroll_completely_grow_size,
               opts->var_funroll_loops || opts->var_fpeel_loops || opts->optimize > 2);
  if (opts->var_fcx_limited_range)
    opts->flag_complex_method = 0;
  else if (opts_set->var_fcx_limited_range)
    opts->flag_complex_method = opts->flag_default_complex_method;
  if (opts->var_fcx_fortran_rules)
    opts->flag_complex_method = 1;
  else if (opts_set->var_fcx_fortran_rules)
    opts->flag_complex_method = opts->flag_default_complex_method;
  if (opts->optimize == 2 && (opts_set->var_ftree_loop_vectorize || opts_set->var_ftree_vectorize))
    set_if_unset(opts, opts_set, var_fvect_cost_model_eq, COST_MODEL_CHEAP);

  // 11.
  finalize_debug_settings(opts, opts_set);

  // 12.
  check_partition_support(opts, opts_set, location);
}
