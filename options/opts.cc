// Handling of decoded options: the reports of what decoding found wrong, the
// storing of values in the option-set record, the handler calls, generated
// options and warning control. The handlers themselves live elsewhere.
#include "options/opts.h"

#include "options/target-hooks.h"
#include "support/alloc.h"
#include "support/internal-abort.h"
#include "support/vec.h"

#include <cstring>

static const option_descriptor *row_of(size_t option_index)
{
  return &option_rows[option_index];
}

void *option_variable_address(size_t option_index, option_values *opts)
{
  const option_descriptor *row = row_of(option_index);
  if (row->variable_location == option_no_variable)
    return nullptr;
  return reinterpret_cast<char *>(opts) + row->variable_location;
}

// Writes a plain integer variable in the width of its row.
static void put_integer(const option_descriptor *row, void *variable, int64_t value)
{
  if (row->bits.wide_integer)
    *static_cast<int64_t *>(variable) = value;
  else
    *static_cast<int32_t *>(variable) = static_cast<int32_t>(value);
}

static int64_t get_integer(const option_descriptor *row, const void *variable)
{
  if (row->bits.wide_integer)
    return *static_cast<const int64_t *>(variable);
  return *static_cast<const int32_t *>(variable);
}

// Sets or clears MASK in a bit variable.
static void put_bits(const option_descriptor *row, void *variable, int64_t mask, bool set)
{
  int64_t bits = get_integer(row, variable);
  put_integer(row, variable, set ? bits | mask : bits & ~mask);
}

static const char empty_string[] = "";

void store_option_value(option_values *opts, option_values *opts_set, size_t option_index,
                        int64_t value, const char *argument, int kind, location_t location,
                        diagnostic_state *context, int64_t mask)
{
  const option_descriptor *row = row_of(option_index);
  if (!opts || row->variable_location == option_no_variable)
    return;
  void *variable = option_variable_address(option_index, opts);
  if (kind != DK_UNSPECIFIED && context)
    classify_option_kind(context, static_cast<int>(option_index), kind, location);
  void *set = opts_set ? option_variable_address(option_index, opts_set) : nullptr;

  switch (row->variable_kind) {
  case VAR_INTEGER:
    if (!row->bits.wide_integer) {
      // An unsigned row's value is a 64-bit unsigned number: compared as
      // signed, 2^63 and above would pass as negative and be cut to 32 bits.
      bool too_big = row->bits.unsigned_integer
                         ? static_cast<uint64_t>(value) >= 0x80000000ull
                         : value >= 0x80000000ll;
      if (too_big) {
        error_at_loc(location, "argument to %qs is bigger than %d", row->text, 2147483647);
        return;
      }
    }
    put_integer(row, variable, value);
    if (set)
      put_integer(row, set, 1);
    break;
  case VAR_EQUAL: {
    int64_t stored = value ? row->variable_value : row->variable_value == 0 ? 1 : 0;
    put_integer(row, variable, stored);
    if (set)
      put_integer(row, set, 1);
    break;
  }
  case VAR_BIT_SET:
  case VAR_BIT_CLEAR:
    put_bits(row, variable, row->variable_value,
             row->variable_kind == VAR_BIT_SET ? value != 0 : value == 0);
    if (set)
      put_bits(row, set, row->variable_value, true);
    break;
  case VAR_SIZE:
    put_integer(row, variable, value);
    if (set)
      put_integer(row, set, value);
    break;
  case VAR_STRING:
    *static_cast<const char **>(variable) = argument;
    if (set)
      *static_cast<const char **>(set) = empty_string;
    break;
  case VAR_ENUM: {
    const enum_descriptor *e = &option_enums[row->enum_index];
    int64_t stored = value;
    if (mask)
      stored = value | (e->get(variable) & ~mask);
    e->set(variable, static_cast<int>(stored));
    if (set)
      e->set(set, 1);
    break;
  }
  case VAR_DEFERRED: {
    auto **list = static_cast<vec<deferred_option> **>(variable);
    deferred_option entry = {option_index, argument, static_cast<int32_t>(value)};
    vec_safe_push(*list, entry);
    if (set)
      *static_cast<vec<deferred_option> **>(set) = *list;
    break;
  }
  }
}

// Joins the usable names of an enumeration with single blanks into a vector
// of candidates and a text.
static char *enum_names(const enum_value_entry *values, unsigned language_mask,
                        vec<const char *> **candidates)
{
  size_t length = 0;
  for (const enum_value_entry *e = values; e->name; e++)
    if (!(e->flags & ENUM_VALUE_DRIVER_ONLY) || (language_mask & FLAG_DRIVER)) {
      vec_safe_push(*candidates, e->name);
      length += strlen(e->name) + 1;
    }
  char *text = static_cast<char *>(checked_malloc(length + 1));
  char *p = text;
  for (unsigned i = 0; i < vec_length(*candidates); i++) {
    if (i)
      *p++ = ' ';
    size_t n = strlen((**candidates)[i]);
    memcpy(p, (**candidates)[i], n);
    p += n;
  }
  *p = '\0';
  return text;
}

static void report_bad_enum(location_t location, const option_descriptor *row,
                            const char *as_written, const char *offending,
                            unsigned language_mask)
{
  const enum_descriptor *e = &option_enums[row->enum_index];
  diagnostic_group_enter(&global_diagnostic_state);
  if (e->unknown_value_message)
    error_at_loc(location, e->unknown_value_message, offending);
  else
    error_at_loc(location, "unrecognized argument in option %qs", as_written);
  vec<const char *> *candidates = nullptr;
  char *names = enum_names(e->values, language_mask, &candidates);
  const char *hint = find_closest_string(offending, candidates);
  if (hint)
    inform_loc(location, "valid arguments to %qs are: %s; did you mean %qs?", row->text, names,
               hint);
  else
    inform_loc(location, "valid arguments to %qs are: %s", row->text, names);
  free(names);
  vec_release(candidates);
  diagnostic_group_leave(&global_diagnostic_state);
}

// The enum-set scan of decoding again, to name what was wrong. Answers 0 when
// nothing was, 1 with *BAD set to a malformed or unknown item, 2 with *FIRST
// and *LATER set to two items of the same set.
struct enum_set_item {
  const char *text;
  size_t length;
};

static int scan_enum_set(const option_descriptor *row, const char *argument,
                         unsigned language_mask, uint64_t used, enum_set_item *bad,
                         enum_set_item *later)
{
  const enum_value_entry *values = option_enums[row->enum_index].values;
  const bool is_set = row->variable_value == 1;
  const char *p = argument;
  if (*p == ',') {
    *bad = {p, 0};
    return 1;
  }
  for (;;) {
    const char *comma = strchr(p, ',');
    size_t length = comma ? static_cast<size_t>(comma - p) : strlen(p);
    if (length == 0) {
      *bad = {p, 0};
      return 1;
    }
    int value;
    int index = enum_name_to_value(values, p, length, &value, language_mask);
    if (index < 0) {
      *bad = {p, length};
      return 1;
    }
    if (is_set) {
      unsigned set = values[index].flags >> ENUM_VALUE_SET_SHIFT;
      if (used & (1ull << set)) {
        *later = {p, length};
        return 2;
      }
      used |= 1ull << set;
    }
    if (!comma)
      return 0;
    p = comma + 1;
  }
}

static bool report_bad_enum_set(location_t location, const option_descriptor *row,
                                const char *as_written, const char *argument,
                                unsigned language_mask)
{
  enum_set_item bad = {}, later = {};
  int found = scan_enum_set(row, argument, language_mask, 0, &bad, &later);
  if (found == 0)
    return false;
  if (found == 1) {
    char *text = checked_strndup(bad.text, bad.length);
    report_bad_enum(location, row, as_written, text, language_mask);
    free(text);
    return true;
  }
  // Restart with only the repeated set marked, so that the scan stops at the
  // earliest item of that set.
  const enum_value_entry *values = option_enums[row->enum_index].values;
  int value;
  int index = enum_name_to_value(values, later.text, later.length, &value, language_mask);
  unsigned set = values[index].flags >> ENUM_VALUE_SET_SHIFT;
  enum_set_item first = {};
  int again = scan_enum_set(row, argument, language_mask, 1ull << set, &bad, &first);
  vuz_assert_as(again == 2, "opts-common", "report_option_errors");
  char *first_text = checked_strndup(first.text, first.length);
  char *later_text = checked_strndup(later.text, later.length);
  error_at_loc(location, "invalid argument in option %qs", as_written);
  if (strcmp(first_text, later_text) == 0)
    inform_loc(location, "%qs specified multiple times in the same option", first_text);
  else
    inform_loc(location, "%qs is mutually exclusive with %qs and cannot be specified together",
               first_text, later_text);
  free(first_text);
  free(later_text);
  return true;
}

bool report_option_errors(location_t location, const option_descriptor *row,
                          const char *as_written, const char *argument, int errors,
                          unsigned language_mask)
{
  if (errors & ERR_DISABLED) {
    error_at_loc(location, "command-line option %qs is not supported by this configuration",
                 as_written);
    return true;
  }
  if (errors & ERR_MISSING_ARGUMENT) {
    if (row->missing_argument_message)
      error_at_loc(location, row->missing_argument_message, as_written);
    else
      error_at_loc(location, "missing argument to %qs", as_written);
    return true;
  }
  if (errors & ERR_BAD_INTEGER) {
    if (row->bits.byte_size_units)
      error_at_loc(location,
                   "argument to %qs should be a non-negative integer optionally followed by a "
                   "size unit",
                   row->text);
    else
      error_at_loc(location, "argument to %qs should be a non-negative integer", row->text);
    return true;
  }
  if (errors & ERR_OUT_OF_RANGE) {
    error_at_loc(location, "argument to %qs is not between %d and %d", row->text,
                 row->range_min, row->range_max);
    return true;
  }
  if (errors & ERR_BAD_ENUM_SET)
    return report_bad_enum_set(location, row, as_written, argument, language_mask);
  if (errors & ERR_BAD_ENUM) {
    report_bad_enum(location, row, as_written, argument, language_mask);
    return true;
  }
  return false;
}

// Stores the value and calls every handler whose mask meets the row's flags.
static bool handle_option(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned language_mask, int kind,
                          location_t location, const option_handlers *handlers, bool generated,
                          diagnostic_state *context)
{
  size_t index = decoded->option_index;
  const option_descriptor *row = row_of(index);
  if (opts && row->variable_location != option_no_variable)
    store_option_value(opts, generated ? nullptr : opts_set, index, decoded->value,
                       decoded->argument, kind, location, context, decoded->mask);
  for (uint64_t i = 0; i < handlers->num_handlers; i++) {
    const option_handler_entry &entry = handlers->handlers[i];
    if (!(entry.mask & row->flags))
      continue;
    if (!entry.handler(opts, opts_set, decoded, language_mask, kind, location, handlers, context,
                       handlers->target_option_override_hook))
      return false;
  }
  return true;
}

void read_cmdline_option(option_values *opts, option_values *opts_set,
                         const decoded_option *decoded, location_t location,
                         unsigned language_mask, const option_handlers *handlers,
                         diagnostic_state *context)
{
  if (decoded->warning_message)
    warning_at_loc(location, 0, decoded->warning_message, decoded->as_written);

  switch (decoded->option_index) {
  case OPTION_UNKNOWN:
    if (!handlers->unknown_option_callback || handlers->unknown_option_callback(decoded))
      error_at_loc(location, "unrecognized command-line option %qs", decoded->argument);
    return;
  case OPTION_IGNORED:
    return;
  case OPTION_REMOVED:
    if (decoded->value)
      warning_at_loc(location, 0, "switch %qs is no longer supported", decoded->as_written);
    return;
  default:
    break;
  }
  vuz_assert_as(decoded->option_index < option_count, "opts-common", "read_cmdline_option");
  const option_descriptor *row = row_of(decoded->option_index);

  if (decoded->errors) {
    if (report_option_errors(location, row, decoded->as_written, decoded->argument,
                             decoded->errors, language_mask))
      return;
    if (decoded->errors & ERR_WRONG_LANGUAGE) {
      if (handlers->wrong_lang_callback)
        handlers->wrong_lang_callback(decoded, language_mask);
      return;
    }
    vuz_assert_as(false, "opts-common", "read_cmdline_option");
  }

  if (!handle_option(opts, opts_set, decoded, language_mask, DK_UNSPECIFIED, location, handlers,
                     false, context))
    error_at_loc(location, "unrecognized command-line option %qs", decoded->as_written);
}

bool apply_generated_option(option_values *opts, option_values *opts_set, size_t option_index,
                            const char *argument, int64_t value, unsigned language_mask,
                            int kind, location_t location, const option_handlers *handlers,
                            bool generated, diagnostic_state *context)
{
  decoded_option decoded;
  generate_option(option_index, argument, value, language_mask, &decoded);
  return handle_option(opts, opts_set, &decoded, language_mask, kind, location, handlers,
                       generated, context);
}

void control_warning_option(size_t option_index, int kind, const char *argument, bool imply,
                            location_t location, unsigned language_mask,
                            const option_handlers *handlers, option_values *opts,
                            option_values *opts_set, diagnostic_state *context)
{
  if (option_index < option_count && row_of(option_index)->alias_target != OPTION_NONE) {
    const option_descriptor *alias = row_of(option_index);
    vuz_assert_as(!alias->bits.alias_if_separate && !alias->bits.negates_alias, "opts-common",
                  "control_warning_option");
    option_index = alias->alias_target;
    if (alias->alias_argument)
      argument = alias->alias_argument;
  }
  if (option_index == OPTION_IGNORED || option_index == OPTION_REMOVED)
    return;
  if (context)
    classify_option_kind(context, static_cast<int>(option_index), kind, location);
  const option_descriptor *row = row_of(option_index);
  if (!imply || (row->variable_kind != VAR_INTEGER && row->variable_kind != VAR_SIZE &&
                 row->variable_kind != VAR_ENUM))
    return;

  int64_t value = 1;
  if (argument && *argument == '\0' && !row->bits.argument_optional)
    argument = nullptr;
  if (!argument && (row->flags & FLAG_JOINED)) {
    if (row->missing_argument_message)
      error_at_loc(location, row->missing_argument_message, row->text);
    else
      error_at_loc(location, "missing argument to %qs", row->text);
    return;
  }
  if (argument) {
    if (row->bits.unsigned_integer || row->bits.wide_integer) {
      if (*argument == '\0') {
        value = 0;
      } else {
        int error;
        value = parse_integer_argument(argument, &error, row->bits.byte_size_units);
        if (error) {
          report_option_errors(location, row, row->text, argument, ERR_BAD_INTEGER,
                               language_mask);
          return;
        }
      }
    }
    if (row->variable_kind == VAR_ENUM) {
      const enum_value_entry *values = option_enums[row->enum_index].values;
      int enum_value;
      if (enum_name_to_value(values, argument, 0, &enum_value, language_mask) < 0) {
        report_option_errors(location, row, row->text, argument, ERR_BAD_ENUM, language_mask);
        return;
      }
      value = enum_value;
      enum_value_to_name(values, &argument, enum_value, language_mask);
    }
  }
  apply_generated_option(opts, opts_set, option_index, argument, value, language_mask, kind,
                         location, handlers, false, context);
}

int option_enabled_state(size_t option_index, unsigned language_mask, void *opts)
{
  const option_descriptor *row = row_of(option_index);
  uint32_t languages = row->flags & FLAG_LANGUAGE_MASK;
  if (languages && !(row->flags & FLAG_COMMON) && !(languages & language_mask))
    return 0;
  if (!opts || row->variable_location == option_no_variable)
    return -1;
  const void *variable = option_variable_address(option_index, static_cast<option_values *>(opts));
  switch (row->variable_kind) {
  case VAR_INTEGER: {
    int64_t v = get_integer(row, variable);
    return v > 0 ? 1 : v < 0 ? -1 : 0;
  }
  case VAR_EQUAL:
    return get_integer(row, variable) == row->variable_value;
  case VAR_BIT_CLEAR:
    return (get_integer(row, variable) & row->variable_value) == 0;
  case VAR_BIT_SET:
    return (get_integer(row, variable) & row->variable_value) != 0;
  case VAR_SIZE:
    return get_integer(row, variable) != -1;
  default:
    return -1;
  }
}

bool read_option_state(option_values *opts, size_t option_index, option_state_view *view)
{
  const option_descriptor *row = row_of(option_index);
  if (!opts || row->variable_location == option_no_variable)
    return false;
  void *variable = option_variable_address(option_index, opts);
  switch (row->variable_kind) {
  case VAR_DEFERRED:
    return false;
  case VAR_BIT_SET:
  case VAR_BIT_CLEAR:
    view->byte = static_cast<unsigned char>(option_enabled_state(option_index, ~0u, opts));
    view->data = &view->byte;
    view->size = 1;
    return true;
  case VAR_STRING: {
    const char *text = *static_cast<const char **>(variable);
    if (!text)
      text = empty_string;
    view->data = text;
    view->size = strlen(text) + 1;
    return true;
  }
  case VAR_ENUM:
    view->data = variable;
    view->size = option_enums[row->enum_index].variable_size;
    return true;
  default:
    view->data = variable;
    view->size = row->bits.wide_integer ? 8 : 4;
    return true;
  }
}

bool target_handle_option(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned, int kind, location_t location,
                          const option_handlers *, diagnostic_state *context, void (*)())
{
  vuz_assert_as(context == &global_diagnostic_state, "opts-common", "target_handle_option");
  vuz_assert_as(kind == DK_UNSPECIFIED, "opts-common", "target_handle_option");
  return target_hooks.handle_option(opts, opts_set, decoded, location);
}
