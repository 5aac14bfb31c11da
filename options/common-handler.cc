// The handler of the language-independent options: what storing a value
// cannot express (diagnostic settings, -Werror=, debug formats and levels,
// sanitizer lists, alignment and patch-area arguments, -d letters, help
// pages and related variables), with the parsers it uses.
#include "options/opts.h"

#include "diagnostics/json.h"
#include "options/opts-utils.h"
#include "support/alloc.h"
#include "support/char-class.h"
#include "support/concat.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

// Sets FIELD unless the command line set it.
#define set_if_unset(opts, opts_set, field, value)  \
  do {                                              \
    if (!(opts_set) || !(opts_set)->field)          \
      (opts)->field = (value);                      \
  } while (0)

vec<const char *> *help_option_arguments;

void add_comma_list(vec<char *> **list, const char *text)
{
  // The items live as long as the options.
  char *copy = option_obstack_concat(text, nullptr);
  char *item = copy;
  char *w = copy;
  for (const char *r = copy; *r;) {
    if (*r == ',') {
      *w++ = '\0';
      r++;
      vec_safe_push(*list, item);
      item = w;
    } else if (r[0] == '\\' && r[1] == ',') {
      *w++ = ',';
      r += 2;
    } else {
      *w++ = *r++;
    }
  }
  *w = '\0';
  if (*item)
    vec_safe_push(*list, item);
}

// A whole decimal number without sign or trailing text, or -1.
static long whole_decimal(const char *text)
{
  if (!c_isdigit(static_cast<unsigned char>(*text)))
    return -1;
  char *end;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (*end || errno == ERANGE)
    return -1;
  return value;
}

enum { max_code_align_value = 65536 };

bool parse_align_values(const char *text, const char *name, vec<int> **result, bool report,
                        location_t location)
{
  char *copy = checked_strdup(text);
  bool ok = true;
  char *save = nullptr;
  for (char *field = strtok_r(copy, ":", &save); field; field = strtok_r(nullptr, ":", &save)) {
    long value = whole_decimal(field);
    if (value < 0) {
      if (report)
        error_at_loc(location, "invalid arguments for %<-falign-%s%> option: %qs", name, text);
      ok = false;
      break;
    }
    // Anything above the limit is refused below; clamp so the vector keeps ints.
    vec_safe_push(*result, static_cast<int>(value > INT_MAX ? INT_MAX : value));
  }
  free(copy);
  if (!ok)
    return false;
  unsigned count = vec_length(*result);
  if (count == 0 || count > 4) {
    if (report)
      error_at_loc(location, "invalid number of arguments for %<-falign-%s%> option: %qs", name,
                   text);
    return false;
  }
  for (int value : **result)
    if (value > max_code_align_value) {
      if (report)
        error_at_loc(location, "%<-falign-%s%> is not between 0 and %d", name,
                     static_cast<int>(max_code_align_value));
      return false;
    }
  return true;
}

void check_align_option(location_t location, const char *text, const char *name,
                        int32_t *flag, const char **string)
{
  vec<int> *values = nullptr;
  parse_align_values(text, name, &values, true, location);
  if (vec_length(values) > 0 && (*values)[0] == 0) {
    *flag = 1;
    *string = nullptr;
  }
  vec_release(values);
}

void parse_patch_area(const char *text, bool report, int64_t *entries, int64_t *offset)
{
  *entries = 0;
  *offset = 0;
  if (!text)
    return;
  char *copy = checked_strdup(text);
  char *comma = strchr(copy, ',');
  if (comma) {
    *comma = '\0';
    *offset = parse_integer_argument(comma + 1, nullptr, false);
  }
  *entries = parse_integer_argument(copy, nullptr, false);
  free(copy);
  // A number that did not parse is -1; it is refused like one out of range.
  if (report && (*entries < 0 || *entries >= 65536 || *offset < 0 || *offset > *entries ||
                 *offset >= 65536))
    error_at_loc(UNKNOWN_LOCATION, "invalid arguments for %<-fpatchable-function-entry%>");
}

// Register-set choices: which registers (used or all), of which kind
// (general-purpose) and role (arguments). "skip" alone is 0.
enum : unsigned {
  ZERO_REGS_USED = 0x2,
  ZERO_REGS_GPR = 0x4,
  ZERO_REGS_ARG = 0x8,
  ZERO_REGS_ALL = 0x10,
};

unsigned parse_zero_regs_choice(const char *text)
{
  static const struct {
    const char *name;
    unsigned value;
  } choices[] = {
      {"skip", 0},
      {"used-gpr-arg", ZERO_REGS_USED | ZERO_REGS_GPR | ZERO_REGS_ARG},
      {"used-gpr", ZERO_REGS_USED | ZERO_REGS_GPR},
      {"used-arg", ZERO_REGS_USED | ZERO_REGS_ARG},
      {"used", ZERO_REGS_USED},
      {"all-gpr-arg", ZERO_REGS_ALL | ZERO_REGS_GPR | ZERO_REGS_ARG},
      {"all-gpr", ZERO_REGS_ALL | ZERO_REGS_GPR},
      {"all-arg", ZERO_REGS_ALL | ZERO_REGS_ARG},
      {"all", ZERO_REGS_ALL},
  };
  for (const auto &choice : choices)
    if (strcmp(text, choice.name) == 0 && choice.value)
      return choice.value;
  error_at_loc(UNKNOWN_LOCATION, "unrecognized argument to %<-fzero-call-used-regs=%>: %qs",
               text);
  return 0;
}

enum : uint32_t {
  SANITIZE_ADDRESS_FLAG = 0x1,
  SANITIZE_USER_ADDRESS = 0x2,
  SANITIZE_KERNEL_ADDRESS = 0x4,
  SANITIZE_KERNEL_HWADDRESS = 0x40000000,
  // "undefined" without "unreachable" and "return", for recovery.
  SANITIZE_UNDEFINED_RECOVERABLE = 0x37e76e0,
  // Everything but "thread", "leak", "unreachable", "return" and
  // "shadow-call-stack".
  SANITIZE_ALL_RECOVERABLE = 0x7ffff6e7,
};

// The closest sanitizer name to ITEM among those that fit the option.
static const char *sanitizer_suggestion(const char *item, bool recover, int64_t value)
{
  vec<const char *> *candidates = nullptr;
  for (const sanitizer_entry *e = sanitizer_names; e->name; e++) {
    if (value && recover && !e->recoverable)
      continue;
    if (value && !recover && e->flag_mask == ~0u)
      continue;
    vec_safe_push(candidates, e->name);
  }
  const char *hint = find_closest_string(item, candidates);
  vec_release(candidates);
  return hint;
}

uint32_t parse_sanitizer_list(const char *text, location_t location, size_t option_index,
                              uint32_t mask, int64_t value, bool complain)
{
  const bool recover = option_index == OPT_fsanitize_recover_eq;
  const char *p;
  size_t length;
  for (const char *rest = text; next_comma_item(rest, &p, &length);) {
    const sanitizer_entry *found = nullptr;
    for (const sanitizer_entry *e = sanitizer_names; e->name; e++)
      if (e->length == length && memcmp(e->name, p, length) == 0) {
        found = e;
        break;
      }
    if (found) {
      bool all = found->flag_mask == ~0u;
      if (!value) {
        mask &= ~found->flag_mask;
        if (mask & (SANITIZE_USER_ADDRESS | SANITIZE_KERNEL_ADDRESS))
          mask |= SANITIZE_ADDRESS_FLAG;
      } else if (!all) {
        if (recover && strcmp(found->name, "undefined") == 0)
          mask |= SANITIZE_UNDEFINED_RECOVERABLE;
        else
          mask |= found->flag_mask;
      } else if (recover) {
        mask |= SANITIZE_ALL_RECOVERABLE;
      } else if (complain) {
        error_at_loc(location, "%<-fsanitize=all%> option is not valid");
      }
    } else if (complain) {
      char *item = checked_strndup(p, length);
      const char *hint = sanitizer_suggestion(item, recover, value);
      const char *no = value ? "" : "no-";
      const char *which = recover ? "-recover" : "";
      if (hint)
        error_at_loc(location,
                     "unrecognized argument to %<-f%ssanitize%s=%> option: %q.*s; did you mean "
                     "%qs?",
                     no, which, static_cast<int>(length), p, hint);
      else
        error_at_loc(location, "unrecognized argument to %<-f%ssanitize%s=%> option: %q.*s", no,
                     which, static_cast<int>(length), p);
      free(item);
    }
  }
  return mask;
}

void decode_debug_letters(const char *argument, option_values *opts, location_t location,
                          diagnostic_state *context)
{
  for (const char *p = argument; *p; p++) {
    switch (*p) {
    case 'A':
      opts->flag_debug_asm = 1;
      break;
    case 'D':
    case 'I':
    case 'M':
    case 'N':
    case 'U':
      break;
    case 'H': {
      signal(SIGABRT, SIG_DFL);
      rlimit limit;
      if (getrlimit(RLIMIT_CORE, &limit) != 0)
        fatal_error(location, "getting core file size maximum limit: %m");
      limit.rlim_cur = limit.rlim_max;
      if (setrlimit(RLIMIT_CORE, &limit) != 0)
        fatal_error(location, "setting core file size limit to maximum: %m");
      context->abort_on_report = true;
      break;
    }
    case 'P':
      opts->flag_dump_rtl_in_asm = 1;
      opts->flag_print_asm_name = 1;
      break;
    case 'p':
      opts->flag_print_asm_name = 1;
      break;
    case 'a':
      opts->flag_dump_all_passed = 1;
      break;
    case 'x':
      opts->rtl_dump_and_exit = 1;
      break;
    default:
      warning_at_loc(location, 0, "unrecognized vuz debugging option: %c", *p);
      break;
    }
  }
}

void set_debug_level(uint32_t format, int extended, const char *level, option_values *opts,
                     option_values *opts_set, location_t location)
{
  opts->use_kav_debug_info_extensions = extended != 0;
  const uint32_t current = static_cast<uint32_t>(opts->write_symbols);
  if (format == DEBUG_FORMAT_NONE) {
    if (current == DEBUG_FORMAT_NONE) {
      opts->write_symbols = DEBUG_FORMAT_DWARF;
    } else if (current & (DEBUG_FORMAT_CTF | DEBUG_FORMAT_BTF)) {
      opts->write_symbols |= DEBUG_FORMAT_DWARF;
      opts_set->write_symbols |= DEBUG_FORMAT_DWARF;
    }
  } else {
    const uint32_t dwarf_ctf = DEBUG_FORMAT_DWARF | DEBUG_FORMAT_CTF;
    const uint32_t dwarf_btf = DEBUG_FORMAT_DWARF | DEBUG_FORMAT_BTF;
    if (current && (current & ~dwarf_ctf) == 0 && (format & ~dwarf_ctf) == 0) {
      opts->write_symbols |= format;
      opts_set->write_symbols |= format;
    } else if (current && (current & ~dwarf_btf) == 0 && (format & ~dwarf_btf) == 0) {
      opts->write_symbols |= format;
      opts_set->write_symbols |= format;
    } else {
      if (opts_set->write_symbols && current && format != current)
        error_at_loc(location, "debug format %qs conflicts with prior selection",
                     debug_format_name(debug_set_to_format(format)));
      opts->write_symbols = static_cast<int32_t>(format);
      opts_set->write_symbols = static_cast<int32_t>(format);
    }
  }

  if (format == DEBUG_FORMAT_BTF) {
    if (*level)
      error_at_loc(location, "unrecognized btf debug output level %qs", level);
    return;
  }
  int32_t *target = format == DEBUG_FORMAT_CTF ? &opts->ctf_debug_info_level
                                               : &opts->debug_info_level;
  if (*level == '\0') {
    if (format == DEBUG_FORMAT_CTF)
      *target = 2;
    else if (opts->debug_info_level == 0)
      opts->debug_info_level = 2;
    return;
  }
  int64_t value = parse_integer_argument(level, nullptr, false);
  if (value == -1)
    error_at_loc(location, "unrecognized debug output level %qs", level);
  else if (value > 3)
    error_at_loc(location, "debug output level %qs is too high", level);
  else
    *target = static_cast<int32_t>(value);
}

void apply_werror_option(const char *argument, int64_t value, unsigned language_mask,
                         const option_handlers *handlers, option_values *opts,
                         option_values *opts_set, location_t location,
                         diagnostic_state *context)
{
  const char *no = value ? "" : "no-";
  if (!argument) {
    error_at_loc(location, "missing argument to %qs", value ? "-Werror=" : "-Wno-error=");
    return;
  }
  char *name = concat_strings("W", argument, nullptr);
  size_t index = lookup_option(name, language_mask);
  if (index == OPTION_UNKNOWN) {
    option_suggester suggester = {};
    const char *hint = suggest_option(&suggester, name);
    if (hint)
      error_at_loc(location, "%<-W%serror=%s%>: no option %<-%s%>; did you mean %<-%s%>?", no,
                   argument, name, hint);
    else
      error_at_loc(location, "%<-W%serror=%s%>: no option %<-%s%>", no, argument, name);
    option_candidates_free(&suggester);
  } else if (option_rows[index].flags & FLAG_WARNING) {
    const option_descriptor *row = &option_rows[index];
    const char *rest = (row->flags & FLAG_JOINED) ? name + strlen(row->text) - 1 : nullptr;
    control_warning_option(index, value ? DK_ERROR : DK_WARNING, rest, value != 0, location,
                           language_mask, handlers, opts, opts_set, context);
  } else {
    error_at_loc(location, "%<-Werror=%s%>: %<-%s%> is not an option that controls warnings",
                 argument, name);
  }
  free(name);
}

void apply_fast_math(option_values *opts, int64_t value)
{
  const int32_t on = value != 0;
  if (!opts->frontend_set_funsafe_math_optimizations) {
    opts->var_funsafe_math_optimizations = on;
    if (!opts->frontend_set_ftrapping_math)
      opts->var_ftrapping_math = !on;
    if (!opts->frontend_set_fsigned_zeros)
      opts->var_fsigned_zeros = !on;
    if (!opts->frontend_set_fassociative_math)
      opts->var_fassociative_math = on;
    if (!opts->frontend_set_freciprocal_math)
      opts->var_freciprocal_math = on;
  }
  if (!opts->frontend_set_ffinite_math_only)
    opts->var_ffinite_math_only = on;
  if (!opts->frontend_set_fmath_errno)
    opts->var_fmath_errno = !on;
  if (on) {
    if (!opts->frontend_set_fexcess_precision_eq)
      opts->var_fexcess_precision_eq = 1;
    if (!opts->frontend_set_fsignaling_nans)
      opts->var_fsignaling_nans = 0;
    if (!opts->frontend_set_frounding_math)
      opts->var_frounding_math = 0;
    if (!opts->frontend_set_fcx_limited_range)
      opts->var_fcx_limited_range = 1;
  }
}

void enable_profile_optimizations(option_values *opts, option_values *opts_set, int64_t value)
{
  const int32_t v = static_cast<int32_t>(value);
  set_if_unset(opts, opts_set, var_fbranch_probabilities, v);
  set_if_unset(opts, opts_set, var_fprofile_values, v);
  set_if_unset(opts, opts_set, var_funroll_loops, v);
  set_if_unset(opts, opts_set, var_fpeel_loops, v);
  set_if_unset(opts, opts_set, var_ftracer, v);
  set_if_unset(opts, opts_set, var_fvpt, v);
  set_if_unset(opts, opts_set, var_finline_functions, v);
  set_if_unset(opts, opts_set, var_fipa_cp, v);
  if (v) {
    set_if_unset(opts, opts_set, var_fipa_cp_clone, 1);
    set_if_unset(opts, opts_set, var_fipa_bit_cp, 1);
  }
  set_if_unset(opts, opts_set, var_fpredictive_commoning, v);
  set_if_unset(opts, opts_set, var_fsplit_loops, v);
  set_if_unset(opts, opts_set, var_funswitch_loops, v);
  set_if_unset(opts, opts_set, var_fgcse_after_reload, v);
  set_if_unset(opts, opts_set, var_ftree_loop_vectorize, v);
  set_if_unset(opts, opts_set, var_ftree_slp_vectorize, v);
  set_if_unset(opts, opts_set, var_fversion_loops_for_strides, v);
  set_if_unset(opts, opts_set, var_fvect_cost_model_eq, -1);
  set_if_unset(opts, opts_set, var_ftree_loop_distribute_patterns, v);
  set_if_unset(opts, opts_set, var_floop_interchange, v);
  set_if_unset(opts, opts_set, var_floop_unroll_and_jam, v);
  set_if_unset(opts, opts_set, var_ftree_loop_distribution, v);
}

// Prints every help page of --help.
static void print_all_help(option_values *opts, unsigned language_mask)
{
  const uint32_t all_languages = FLAG_LANGUAGE_MASK;
  const uint32_t undocumented = (opts->var_v || opts->var_Wextra) ? 0 : FLAG_UNDOCUMENTED;
  for (unsigned i = 0; i < option_table.language_count; i++)
    print_specific_help(1u << i, (all_languages & ~(1u << i)) | undocumented, 0, opts,
                        language_mask);
  print_specific_help(0, undocumented, all_languages, opts, language_mask);
  for (uint32_t kind : {FLAG_PARAMS, FLAG_WARNING, FLAG_OPTIMIZATION, FLAG_TARGET, FLAG_COMMON})
    print_specific_help(kind, undocumented, 0, opts, language_mask);
}

// -flto= takes a job count or one of three words.
static bool lto_argument_valid(const char *text)
{
  if (strcmp(text, "none") == 0 || strcmp(text, "jobserver") == 0 || strcmp(text, "auto") == 0)
    return true;
  errno = 0;
  long value = strtol(text, nullptr, 10);
  return value != 0 || errno == ERANGE;
}

static bool power_of_two_up_to_16(int64_t value)
{
  return value >= 1 && value <= 16 && (value & (value - 1)) == 0;
}

bool common_handle_option(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned language_mask, int kind,
                          location_t location, const option_handlers *handlers,
                          diagnostic_state *context, void (*target_override)())
{
  vuz_assert_as(decoded->canonical_count <= 2, "opts", "common_handle_option");
  const size_t index = decoded->option_index;
  const char *arg = decoded->argument;
  int64_t value = decoded->value;
  const bool in_driver = language_mask == FLAG_DRIVER;
  const int32_t v = static_cast<int32_t>(value);

  switch (index) {
  case OPT__help:
    if (in_driver)
      break;
    if (target_override)
      target_override();
    print_all_help(opts, language_mask);
    opts->exit_after_options = 1;
    break;
  case OPT__help_eq:
    vec_safe_push(help_option_arguments, arg);
    opts->exit_after_options = 1;
    break;
  case OPT__target_help:
    if (in_driver)
      break;
    if (target_override)
      target_override();
    print_specific_help(FLAG_TARGET, 0, 0, opts, language_mask);
    opts->exit_after_options = 1;
    break;
  case OPT__version:
    if (!in_driver)
      opts->exit_after_options = 1;
    break;
  case OPT_Wattributes_eq:
    if (in_driver)
      break;
    if (value)
      error_at_loc(location,
                   "arguments ignored for %<-Wattributes=%>; use %<-Wno-attributes=%> instead");
    else if (arg[0] && arg[strlen(arg) - 1] == ',')
      error_at_loc(location, "trailing %<,%> in arguments for %<-Wno-attributes=%>");
    else
      add_comma_list(&opts->flag_ignored_attributes, arg);
    break;
  case OPT_Werror:
    context->werror_all = value != 0;
    break;
  case OPT_Werror_eq:
    if (!in_driver)
      apply_werror_option(arg, value, language_mask, handlers, opts, opts_set, location,
                          context);
    break;
  case OPT_Wfatal_errors:
    context->fatal_errors = value != 0;
    break;
  case OPT_Wstack_usage_eq:
    opts->flag_stack_usage_info = value != -1;
    break;
  case OPT_Wstrict_aliasing:
    vuz_assert_as(value == 0 || value == 1, "opts", "set_Wstrict_aliasing");
    opts->var_Wstrict_aliasing_eq = value ? 3 : 0;
    break;
  case OPT_Wstrict_overflow:
    opts->var_Wstrict_overflow_eq = value ? 2 : 0;
    break;
  case OPT_Wsystem_headers:
    context->warn_in_system_headers = value != 0;
    break;
  case OPT_aux_info:
    opts->flag_gen_aux_info = 1;
    break;
  case OPT_d:
    decode_debug_letters(arg, opts, location, context);
    break;
  case OPT_falign_functions_eq:
    check_align_option(location, arg, "functions", &opts->var_falign_functions,
                       &opts->var_falign_functions_eq);
    break;
  case OPT_falign_jumps_eq:
    check_align_option(location, arg, "jumps", &opts->var_falign_jumps,
                       &opts->var_falign_jumps_eq);
    break;
  case OPT_falign_labels_eq:
    check_align_option(location, arg, "labels", &opts->var_falign_labels,
                       &opts->var_falign_labels_eq);
    break;
  case OPT_falign_loops_eq:
    check_align_option(location, arg, "loops", &opts->var_falign_loops,
                       &opts->var_falign_loops_eq);
    break;
  case OPT_fauto_profile_eq:
    opts->var_fauto_profile_eq = option_obstack_concat(arg, nullptr);
    opts->var_fauto_profile = 1;
    value = 1;
    [[fallthrough]];
  case OPT_fauto_profile:
    enable_profile_optimizations(opts, opts_set, value);
    set_if_unset(opts, opts_set, var_fprofile_correction, static_cast<int32_t>(value));
    break;
  case OPT_fcallgraph_info:
    opts->var_fcallgraph_info = 1;
    break;
  case OPT_fcallgraph_info_eq: {
    char *copy = checked_strdup(arg);
    char *save = nullptr;
    bool known = true;
    for (char *item = strtok_r(copy, ",", &save); item && known;
         item = strtok_r(nullptr, ",", &save)) {
      if (strcmp(item, "su") == 0) {
        opts->var_fcallgraph_info |= 2;
        opts->flag_stack_usage_info = 1;
      } else if (strcmp(item, "da") == 0) {
        opts->var_fcallgraph_info |= 4;
      } else {
        known = false;
      }
    }
    free(copy);
    if (!known)
      return false;
    break;
  }
  case OPT_fdiagnostics_color_eq:
    context_color_setup(context, v);
    break;
  case OPT_fdiagnostics_urls_eq:
    context_url_setup(context, v);
    break;
  case OPT_fdiagnostics_format_eq:
    diagnostic_output_format_init(context, v);
    break;
  case OPT_fdiagnostics_column_origin_eq:
    context->column_origin = v;
    break;
  case OPT_fdiagnostics_column_unit_eq:
    context->column_unit = static_cast<uint32_t>(v);
    break;
  case OPT_fdiagnostics_escape_format_eq:
    context->escape_format = static_cast<uint32_t>(v);
    break;
  case OPT_fdiagnostics_minimum_margin_width_eq:
    context->minimum_margin_width = v;
    break;
  case OPT_fdiagnostics_path_format_eq:
    context->path_format = v;
    break;
  case OPT_fdiagnostics_parseable_fixits:
    context->parseable_fixits = value ? PARSEABLE_FIXITS_V1 : PARSEABLE_FIXITS_NONE;
    break;
  case OPT_fdiagnostics_show_caret:
    context->show_caret = value != 0;
    break;
  case OPT_fdiagnostics_show_cwe:
    context->show_cwe = value != 0;
    break;
  case OPT_fdiagnostics_show_labels:
    context->show_labels = value != 0;
    break;
  case OPT_fdiagnostics_show_line_numbers:
    context->show_line_numbers = value != 0;
    break;
  case OPT_fdiagnostics_show_option:
    context->show_option = value != 0;
    break;
  case OPT_fdiagnostics_show_path_depths:
    context->show_path_depths = value != 0;
    break;
  case OPT_fshow_column:
    context->show_column = value != 0;
    break;
  case OPT_fdiagnostics_show_location_eq:
    context->printer->prefixing_rule = v;
    break;
  case OPT_fmax_errors_eq:
    context->max_errors = static_cast<uint32_t>(v);
    break;
  case OPT_fmessage_length_eq:
    pp_set_line_cutoff(context->printer, v);
    set_caret_line_width(context, v);
    break;
  case OPT_freport_bug:
    context->report_bug = value != 0;
    break;
  case OPT_ftabstop_eq:
    if (value >= 1 && value <= 100)
      context->tab_stop = static_cast<uint32_t>(value);
    break;
  case OPT_pedantic_errors:
    context->pedantic_errors = true;
    control_warning_option(OPT_Wpedantic, DK_ERROR, nullptr, value != 0, location,
                           language_mask, handlers, opts, opts_set, context);
    break;
  case OPT_w:
    context->no_warnings = true;
    break;
  case OPT_ffast_math:
    apply_fast_math(opts, value);
    break;
  case OPT_funsafe_math_optimizations:
    if (!opts->frontend_set_ftrapping_math)
      opts->var_ftrapping_math = !v;
    if (!opts->frontend_set_fsigned_zeros)
      opts->var_fsigned_zeros = !v;
    if (!opts->frontend_set_fassociative_math)
      opts->var_fassociative_math = v;
    if (!opts->frontend_set_freciprocal_math)
      opts->var_freciprocal_math = v;
    break;
  case OPT_finline_limit_eq:
    set_if_unset(opts, opts_set, var__param_eq_max_inline_insns_single_eq, v / 2);
    set_if_unset(opts, opts_set, var__param_eq_max_inline_insns_auto_eq, v / 2);
    break;
  case OPT_finstrument_functions_exclude_file_list_eq:
    add_comma_list(&opts->flag_instrument_functions_exclude_files, arg);
    break;
  case OPT_finstrument_functions_exclude_function_list_eq:
    add_comma_list(&opts->flag_instrument_functions_exclude_functions, arg);
    break;
  case OPT_fipa_icf:
    opts->var_fipa_icf_functions = v;
    opts->var_fipa_icf_variables = v;
    break;
  case OPT_flto:
    opts->var_flto_eq = value ? "" : nullptr;
    break;
  case OPT_flto_eq:
    if (!lto_argument_valid(arg))
      error_at_loc(location, "unrecognized argument to %<-flto=%> option: %qs", arg);
    break;
  case OPT_foffload_abi_eq:
    error_at_loc(location, "%<-foffload-abi%> option can be specified only for offload compiler");
    break;
  case OPT_fpack_struct_eq:
    if (power_of_two_up_to_16(value))
      opts->initial_max_fld_align = v;
    else
      error_at_loc(location, "structure alignment must be a small power of two, not %wu",
                   static_cast<uint64_t>(value));
    break;
  case OPT_fpatchable_function_entry_eq: {
    int64_t entries, offset;
    parse_patch_area(arg, true, &entries, &offset);
    break;
  }
  case OPT_fprofile_generate_eq:
    opts->var_fprofile_dir_eq = option_obstack_concat(arg, nullptr);
    value = 1;
    [[fallthrough]];
  case OPT_fprofile_generate: {
    const int32_t g = static_cast<int32_t>(value);
    set_if_unset(opts, opts_set, var_fprofile_arcs, g);
    set_if_unset(opts, opts_set, var_fprofile_values, g);
    set_if_unset(opts, opts_set, var_finline_functions, g);
    set_if_unset(opts, opts_set, var_fipa_bit_cp, g);
    break;
  }
  case OPT_fprofile_info_section:
    opts->var_fprofile_info_section_eq = ".pewt_info";
    break;
  case OPT_fprofile_use_eq:
    opts->var_fprofile_dir_eq = option_obstack_concat(arg, nullptr);
    opts->var_fprofile_use = 1;
    value = 1;
    [[fallthrough]];
  case OPT_fprofile_use:
    enable_profile_optimizations(opts, opts_set, value);
    set_if_unset(opts, opts_set, var_fprofile_reorder_functions, static_cast<int32_t>(value));
    if (opts->var_fvpt)
      set_if_unset(opts, opts_set, var_fdevirtualize_speculatively, 0);
    break;
  case OPT_frandom_seed:
  case OPT_fstack_limit:
    if (value)
      return false;
    break;
  case OPT_fsanitize_eq:
    opts->flag_sanitize = static_cast<int32_t>(parse_sanitizer_list(
        arg, location, index, static_cast<uint32_t>(opts->flag_sanitize), value, true));
    if (opts->flag_sanitize & SANITIZE_KERNEL_ADDRESS) {
      set_if_unset(opts, opts_set, var__param_eq_asan_instrumentation_with_call_threshold_eq, 0);
      set_if_unset(opts, opts_set, var__param_eq_asan_globals_eq, 0);
      set_if_unset(opts, opts_set, var__param_eq_asan_stack_eq, 0);
      set_if_unset(opts, opts_set, var__param_eq_asan_instrument_allocas_eq, 0);
      set_if_unset(opts, opts_set, var__param_eq_asan_use_after_return_eq, 0);
    }
    if (opts->flag_sanitize & SANITIZE_KERNEL_HWADDRESS) {
      set_if_unset(opts, opts_set, var__param_eq_hwasan_instrument_stack_eq, 0);
      set_if_unset(opts, opts_set, var__param_eq_hwasan_random_frame_tag_eq, 0);
      set_if_unset(opts, opts_set, var__param_eq_hwasan_instrument_allocas_eq, 0);
    }
    break;
  case OPT_fsanitize_recover_eq:
    opts->flag_sanitize_recover = static_cast<int32_t>(parse_sanitizer_list(
        arg, location, index, static_cast<uint32_t>(opts->flag_sanitize_recover), value, true));
    break;
  case OPT_fsanitize_recover:
    if (value)
      opts->flag_sanitize_recover |= 0x3fff6e0;
    else
      opts->flag_sanitize_recover &= static_cast<int32_t>(0xfc00001fu);
    break;
  case OPT_fsanitize_address_use_after_scope:
    opts->var_fsanitize_address_use_after_scope = v;
    break;
  case OPT_fsched_stalled_insns_dep_eq:
    opts->var_fsched_stalled_insns_dep_eq = v;
    break;
  case OPT_fsched_stalled_insns_eq:
    opts->var_fsched_stalled_insns_eq = v ? v : -1;
    break;
  case OPT_fstack_check_eq:
    if (strcmp(arg, "no") == 0)
      opts->flag_stack_check = 0;
    else if (strcmp(arg, "generic") == 0 || strcmp(arg, "specific") == 0)
      opts->flag_stack_check = 1;
    else
      warning_at_loc(location, 0, "unknown stack check parameter %qs", arg);
    break;
  case OPT_fstack_usage:
    opts->var_fstack_usage = v;
    opts->flag_stack_usage_info = value != 0;
    break;
  case OPT_fstrict_overflow:
    opts->var_fwrapv = value == 0;
    opts->var_fwrapv_pointer = value == 0;
    if (value == 0)
      opts->var_ftrapv = 0;
    break;
  case OPT_ftrapv:
    if (value)
      opts->var_fwrapv = 0;
    break;
  case OPT_fwrapv:
    if (value)
      opts->var_ftrapv = 0;
    break;
  case OPT_fzero_call_used_regs_eq:
    opts->flag_zero_call_used_regs = static_cast<int32_t>(parse_zero_regs_choice(arg));
    break;
  case OPT_g:
    set_debug_level(DEBUG_FORMAT_NONE, 1, arg, opts, opts_set, location);
    break;
  case OPT_gmivo:
    set_debug_level(DEBUG_FORMAT_NONE, 2, arg, opts, opts_set, location);
    break;
  case OPT_gbtf:
    set_debug_level(DEBUG_FORMAT_BTF, 0, arg, opts, opts_set, location);
    if (opts->debug_info_level <= 1)
      opts->debug_info_level = 2;
    break;
  case OPT_gctf:
    set_debug_level(DEBUG_FORMAT_CTF, 0, arg, opts, opts_set, location);
    if (opts->debug_info_level <= 1 && opts->ctf_debug_info_level > 0)
      opts->debug_info_level = 2;
    break;
  case OPT_gdwarf:
    if (arg && *arg) {
      error_at_loc(location,
                   "%<-gdwarf%s%> is ambiguous; use %<-gdwarf-%s%> for DWARF version or "
                   "%<-gdwarf%> %<-g%s%> for debug level",
                   arg, arg, arg);
      break;
    }
    value = opts->var_gdwarf_;
    [[fallthrough]];
  case OPT_gdwarf_:
    if (value >= 2 && value <= 5)
      opts->var_gdwarf_ = static_cast<int32_t>(value);
    else
      error_at_loc(location, "dwarf version %wu is not supported", static_cast<uint64_t>(value));
    set_debug_level(DEBUG_FORMAT_DWARF, 0, "", opts, opts_set, location);
    break;
  case OPT_gstabs:
  case OPT_gstabsplus:
    set_debug_level(DEBUG_FORMAT_STABS, index == OPT_gstabsplus, arg, opts, opts_set, location);
    break;
  case OPT_gvms:
    set_debug_level(DEBUG_FORMAT_VMS, 0, arg, opts, opts_set, location);
    break;
  case OPT_gxcoff:
  case OPT_gxcoffplus:
    set_debug_level(DEBUG_FORMAT_XCOFF, index == OPT_gxcoffplus, arg, opts, opts_set, location);
    break;

  // Handled elsewhere, or kept for later.
  case OPT__completion_eq:
  case OPT_O:
  case OPT_Ofast:
  case OPT_Og:
  case OPT_Os:
  case OPT_Oz:
  case OPT_fasan_shadow_offset_eq:
  case OPT_fcall_saved_:
  case OPT_fcall_used_:
  case OPT_fdbg_cnt_eq:
  case OPT_fdebug_prefix_map_eq:
  case OPT_fdump_:
  case OPT_ffile_prefix_map_eq:
  case OPT_ffixed_:
  case OPT_foffload_options_eq:
  case OPT_fopt_info:
  case OPT_fopt_info_:
  case OPT_fplugin_arg_:
  case OPT_fplugin_eq:
  case OPT_fprofile_prefix_map_eq:
  case OPT_frandom_seed_eq:
  case OPT_fsched_verbose_eq:
  case OPT_fstack_limit_register_eq:
  case OPT_fstack_limit_symbol_eq:
  case OPT_ftree_vectorize:
  case OPT_fuse_ld_eq_yent:
  case OPT_fuse_ld_eq_plavo:
  case OPT_fuse_ld_eq_lld:
  case OPT_fuse_ld_eq_mold:
  case OPT_fuse_linker_plugin:
  case OPT_gz:
  case OPT_gz_eq:
  case OPT_fdiagnostics_plain_output:  // decoding replaces it by its list
    break;

  default:
    // Storing the value was the whole action.
    vuz_assert_at(option_rows[index].variable_location != option_no_variable, "opts", 3216,
                  "common_handle_option");
    break;
  }

  common_handle_option_auto(opts, opts_set, decoded, language_mask, kind, location, handlers,
                            context);
  return true;
}
