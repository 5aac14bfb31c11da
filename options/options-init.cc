// The program's option-set record: its initial state, and the options that
// one option implies (for every language, and per language), applied as
// generated options so that explicit settings keep their force.
#include "options/opts.h"

#include "options/target-hooks.h"
#include "support/internal-abort.h"

#include <cstring>

// The program's records start as the default image and a zero twin, as
// constant data: the first set-up of a process copies and clears nothing,
// and writes only the page of the fields the target sets.
option_values global_options =
#include "options/option-values-defaults.inc"
    ;
option_values global_options_set;
static bool global_records_untouched = true;

void init_options_struct(option_values *opts, option_values *opts_set)
{
  vuz_assert_as(obstack_initialised(&option_obstack), "opts", "init_options_struct");
  bool untouched = opts == &global_options && global_records_untouched;
  if (opts == &global_options)
    global_records_untouched = false;
  if (!untouched)
    *opts = option_values_defaults;
  if (opts_set && !(untouched && opts_set == &global_options_set))
    memset(opts_set, 0, sizeof *opts_set);
  opts->var_fsigned_char = 0;  // characters are unsigned by default
  opts->var_fshort_enums = 2;  // undecided
  opts->target_flags = static_cast<int32_t>(target_hooks.default_target_flags);
  opts->var_funwind_tables = target_hooks.unwind_tables_default;
  target_hooks.option_init_struct(opts);
}

// How an implied option's value follows from its trigger.
enum implied_value : uint8_t {
  IMPLY_SAME,          // the trigger's value
  IMPLY_UNUSED_EXTRA,  // 1 when both -Wunused and -Wextra are on
  IMPLY_LEVEL,         // the row's level for a positive trigger, else 0
  IMPLY_FORMAT_LEVEL,  // the level when the trigger is on and -Wformat= is above 0
};

struct implication {
  uint16_t trigger;
  uint16_t implied;
  implied_value rule;
  int8_t level;
};

static bool set_explicitly(const option_values *opts_set, size_t option_index)
{
  if (!opts_set)
    return false;
  const option_descriptor *row = &option_rows[option_index];
  if (row->variable_location == option_no_variable)
    return false;
  const char *field = reinterpret_cast<const char *>(opts_set) + row->variable_location;
  if (row->bits.wide_integer) {
    int64_t value;
    memcpy(&value, field, sizeof value);
    return value != 0;
  }
  int32_t value;
  memcpy(&value, field, sizeof value);
  return value != 0;
}

// Applies every implication of TABLE whose trigger is the option just handled.
static bool apply_implications(const implication *table, size_t count, option_values *opts,
                               option_values *opts_set, const decoded_option *decoded,
                               unsigned language_mask, int kind, location_t location,
                               const option_handlers *handlers, diagnostic_state *context)
{
  const int64_t value = decoded->value;
  for (size_t i = 0; i < count; i++) {
    const implication &entry = table[i];
    if (entry.trigger != decoded->option_index || set_explicitly(opts_set, entry.implied))
      continue;
    int64_t implied = value;
    switch (entry.rule) {
    case IMPLY_SAME:
      break;
    case IMPLY_UNUSED_EXTRA:
      implied = opts->var_Wunused && opts->var_Wextra;
      break;
    case IMPLY_LEVEL:
      implied = value > 0 ? entry.level : 0;
      break;
    case IMPLY_FORMAT_LEVEL:
      implied = value && opts->var_Wformat_eq > 0 ? entry.level : 0;
      break;
    }
    apply_generated_option(opts, opts_set, entry.implied, nullptr, implied, language_mask, kind,
                           location, handlers, true, context);
  }
  return true;
}

#define same(trigger, implied) {OPT_##trigger, OPT_##implied, IMPLY_SAME, 0}
#define unused_extra(trigger, implied) {OPT_##trigger, OPT_##implied, IMPLY_UNUSED_EXTRA, 0}
#define level(trigger, implied, n) {OPT_##trigger, OPT_##implied, IMPLY_LEVEL, n}

static const implication common_implications[] = {
    same(Wextra, Wabsolute_value),
    same(Wextra, Wcast_function_type),
    same(Wextra, Wclobbered),
    same(Wextra, Wempty_body),
    same(Wextra, Wexpansion_to_defined),
    same(Wextra, Wignored_qualifiers),
    same(Wextra, Wmissing_field_initializers),
    same(Wextra, Wmissing_parameter_type),
    same(Wextra, Wold_style_declaration),
    same(Wextra, Woverride_init),
    same(Wextra, Wsign_compare),
    same(Wextra, Wsized_deallocation),
    same(Wextra, Wtype_limits),
    same(Wextra, Wuninitialized),
    unused_extra(Wextra, Wunused_but_set_parameter),
    unused_extra(Wextra, Wunused_parameter),
    same(Wpedantic, Wexpansion_to_defined),
    same(Wshadow, Wshadow_ivar),
    same(Wshadow, Wshadow_eq_local),
    same(Wshadow_eq_local, Wshadow_eq_compatible_local),
    same(Wuninitialized, Wmaybe_uninitialized),
    unused_extra(Wunused, Wunused_but_set_parameter),
    same(Wunused, Wunused_but_set_variable),
    same(Wunused, Wunused_function),
    same(Wunused, Wunused_label),
    same(Wunused, Wunused_local_typedefs),
    unused_extra(Wunused, Wunused_parameter),
    same(Wunused, Wunused_value),
    same(Wunused, Wunused_variable),
    same(fnon_call_exceptions, fexceptions),
    same(ftree_vectorize, ftree_loop_vectorize),
    same(ftree_vectorize, ftree_slp_vectorize),
    same(funroll_all_loops, funroll_loops),
    same(funroll_loops, frename_registers),
    same(funroll_loops, fweb),
    same(fvar_tracking_uninit, fvar_tracking),
};

bool common_handle_option_auto(option_values *opts, option_values *opts_set,
                               const decoded_option *decoded, unsigned language_mask, int kind,
                               location_t location, const option_handlers *handlers,
                               diagnostic_state *context)
{
  vuz_assert_at(decoded->canonical_count <= 2, "options", 20931, "common_handle_option_auto");
  return apply_implications(common_implications,
                            sizeof common_implications / sizeof common_implications[0], opts,
                            opts_set, decoded, language_mask, kind, location, handlers, context);
}

// Implications that hold in one language family only. The C and C++ -Wall
// lists name the warnings every program of those languages turns on.
static const implication c_family_implications[] = {
    same(Wall, Waddress),
    level(Wall, Warray_bounds_eq, 1),
    level(Wall, Wformat_eq, 1),
    same(Wall, Wimplicit),
    same(Wall, Wmaybe_uninitialized),
    same(Wall, Wparentheses),
    same(Wall, Wreturn_type),
    level(Wall, Wstrict_aliasing_eq, 3),
    same(Wall, Wswitch),
    same(Wall, Wuninitialized),
    same(Wall, Wunused),
    same(Wextra, Wabsolute_value),
    same(Wpedantic, Wexpansion_to_defined),
};

static const implication cxx_family_implications[] = {
    same(Wall, Waddress),
    level(Wall, Warray_bounds_eq, 1),
    level(Wall, Wformat_eq, 1),
    same(Wall, Wmaybe_uninitialized),
    same(Wall, Wparentheses),
    same(Wall, Wreturn_type),
    level(Wall, Wstrict_aliasing_eq, 3),
    same(Wall, Wswitch),
    same(Wall, Wuninitialized),
    same(Wall, Wunused),
    same(Wall, Wcplusplus11_compat),
    level(Wall, Wcatch_value_eq, 1),
    same(Wall, Wclass_memaccess),
    same(Wall, Wnarrowing),
    same(Wall, Wpessimizing_move),
    same(Wall, Wreorder),
    same(Wpedantic, Wexpansion_to_defined),
};

static const implication d_implications[] = {
    same(Wextra, Waddress),
    same(Wextra, Wcast_result),
    same(Wextra, Wunknown_pragmas),
};

static const implication fortran_implications[] = {
    same(Wall, Waliasing),
    same(Wall, Wampersand),
    same(Wall, Wconversion),
    same(Wall, Wsurprising),
    same(Wall, Wtabs),
    same(Wall, Wunused_dummy_argument),
    same(Wextra, Wcompare_reals),
    same(Wextra, Wdo_subscript),
    same(Wpedantic, Wampersand),
};

static const implication lto_implications[] = {
    level(Wall, Warray_bounds_eq, 1),
    same(Wall, Winfinite_recursion),
    same(Wall, Wmaybe_uninitialized),
    same(Wall, Wnonnull),
    level(Wall, Wstringop_overflow_eq, 2),
    same(Wall, Wstringop_overread),
    same(Wall, Wstringop_truncation),
    same(Wall, Wuninitialized),
    level(Wall, Wuse_after_free_eq, 2),
    {OPT_Wformat_eq, OPT_Wformat_overflow_eq, IMPLY_FORMAT_LEVEL, 1},
    {OPT_Wformat_eq, OPT_Wformat_truncation_eq, IMPLY_FORMAT_LEVEL, 1},
    {OPT_Wformat_eq, OPT_Wnonnull, IMPLY_FORMAT_LEVEL, 1},
};

#undef same
#undef unused_extra
#undef level

template <const implication *table, size_t count>
static bool language_auto(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned language_mask, int kind,
                          location_t location, const option_handlers *handlers,
                          diagnostic_state *context)
{
  return apply_implications(table, count, opts, opts_set, decoded, language_mask, kind,
                            location, handlers, context);
}

static bool implies_nothing(option_values *, option_values *, const decoded_option *, unsigned,
                            int, location_t, const option_handlers *, diagnostic_state *)
{
  return true;
}

#define table_auto(table) language_auto<table, sizeof table / sizeof table[0]>

// In the order of the option languages: Ada, AdaSCIL, AdaWhy, C, C++, D,
// Fortran, Go, LTO, Zorbul, ObjC, ObjC++.
const language_auto_fn language_option_auto[12] = {
    implies_nothing,
    implies_nothing,
    implies_nothing,
    table_auto(c_family_implications),
    table_auto(cxx_family_implications),
    table_auto(d_implications),
    table_auto(fortran_implications),
    implies_nothing,
    table_auto(lto_implications),
    implies_nothing,
    table_auto(c_family_implications),
    table_auto(cxx_family_implications),
};
