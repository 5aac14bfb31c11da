// Option lookup and decoding: finds the row for a command-line word, collects
// and converts its argument, resolves aliases and records every problem as an
// error bit; decodes whole argument vectors and prunes cancelled options.
#include "options/option-decode.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/concat.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

obstack option_obstack;

// Consistency checks carry the names under which this code is known in
// internal-error reports.
const char *const plain_output_options[6] = {
    "-fno-diagnostics-show-caret",
    "-fno-diagnostics-show-line-numbers",
    "-fdiagnostics-color=never",
    "-fdiagnostics-urls=never",
    "-fdiagnostics-path-format=separate-events",
    nullptr,
};

// The first 64 KiB block is taken by the first string built on it, so that
// a run that builds none, as a query does, takes none.
void init_option_obstack()
{
  obstack_init_pool_on_use(&option_obstack, 0x10000);
}

char *option_obstack_concat(const char *first, ...)
{
  va_list ap;
  va_start(ap, first);
  for (const char *s = first; s; s = va_arg(ap, const char *))
    obstack_append_text(&option_obstack, s);
  va_end(ap);
  obstack_append_byte(&option_obstack, '\0');
  return static_cast<char *>(obstack_close_object(&option_obstack));
}

static bool starts_with(const char *text, const char *prefix)
{
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool option_stops_lookup(const option_descriptor *row)
{
  const uint32_t relevant = FLAG_UNDOCUMENTED | FLAG_JOINED | FLAG_DRIVER | FLAG_TARGET |
                            FLAG_COMMON | FLAG_LANGUAGE_MASK;
  return (row->flags & relevant) == (FLAG_UNDOCUMENTED | FLAG_JOINED);
}

size_t lookup_option(const char *text, uint32_t language_mask)
{
  // Rows before those of the text's first byte are all below it and rows
  // after them all above, so the search starts among its own, with the row
  // just before them (below the text) as the low end.
  unsigned char first = static_cast<unsigned char>(text[0]);
  size_t low = option_first_byte_rows[first], high = option_first_byte_rows[first + 1];
  if (low > 0)
    low--;
  while (high - low > 1) {
    size_t middle = (low + high) / 2;
    // Below the whole text exactly when below its first text_length bytes.
    if (strcmp(text, option_search_texts + option_search_starts[middle]) < 0)
      high = middle;
    else
      low = middle;
  }
  const size_t candidate = low;

  // The back chain visits every joined prefix, longest first.
  size_t remembered = OPTION_NONE;
  for (size_t i = candidate; i != OPTION_NONE; i = option_rows[i].back_chain) {
    const option_descriptor *row = &option_rows[i];
    if (strncmp(text, row->text + 1, row->text_length) != 0)
      continue;
    if (text[row->text_length] != '\0' && !(row->flags & FLAG_JOINED))
      continue;
    if (row->flags & language_mask)
      return i;
    if (option_stops_lookup(row))
      return OPTION_UNKNOWN;
    if (remembered == OPTION_NONE)
      remembered = i;
  }
  if (remembered != OPTION_NONE)
    return remembered;
  if (text[0] != '-')
    return OPTION_UNKNOWN;

  // An abbreviated long option must name one option, or one option and its
  // "=" form.
  size_t length = strlen(text);
  size_t next = candidate + 1;
  if (next >= option_count)
    return OPTION_UNKNOWN;
  const option_descriptor *row = &option_rows[next];
  if (strncmp(text, row->text + 1, length) != 0 || (row->flags & FLAG_JOINED))
    return OPTION_UNKNOWN;
  if (next + 1 == option_count)
    return next;
  const option_descriptor *after = &option_rows[next + 1];
  if (strncmp(text, after->text + 1, length) != 0)
    return next;
  if ((after->flags & FLAG_JOINED) && after->text_length == row->text_length + 1 &&
      strncmp(after->text, row->text, row->text_length + 1) == 0) {
    if (next + 2 < option_count && strncmp(text, option_rows[next + 2].text + 1, length) == 0)
      return OPTION_UNKNOWN;
    return next;
  }
  return OPTION_UNKNOWN;
}

bool option_valid_for_mask(const option_descriptor *row, uint32_t language_mask)
{
  if (!(row->flags & language_mask))
    return false;
  if ((row->flags & FLAG_TARGET) && (row->flags & (FLAG_LANGUAGE_MASK | FLAG_DRIVER)) &&
      !(row->flags & ~(FLAG_COMMON | FLAG_TARGET) & language_mask))
    return false;
  return true;
}

int64_t parse_integer_argument(const char *text, int *error, bool units_allowed)
{
  int *err = error ? error : &errno;
  if (!c_isdigit(static_cast<unsigned char>(text[0]))) {
    *err = EINVAL;
    return -1;
  }
  *err = 0;
  errno = 0;
  char *end;
  unsigned long long number = strtoull(text, &end, 10);
  if (*end == '\0')
    return static_cast<int64_t>(number);
  if (!units_allowed) {
    errno = 0;
    number = strtoull(text, &end, 0);
    if (*end != '\0') {
      int saved = errno;
      *err = saved ? saved : EINVAL;
      return -1;
    }
    return static_cast<int64_t>(number);
  }

  static const struct {
    const char *name;
    bool any_case;
    unsigned long long factor;
  } units[] = {
      {"kB", false, 1000ull},
      {"KiB", true, 1ull << 10},
      {"KB", false, 1ull << 10},
      {"MB", false, 1000000ull},
      {"MiB", true, 1ull << 20},
      {"GB", true, 1000000000ull},
      {"GiB", true, 1ull << 30},
      {"TB", true, 1000000000000ull},
      {"TiB", true, 1ull << 40},
      {"PB", true, 1000000000000000ull},
      {"PiB", true, 1ull << 50},
      {"EB", true, 1000000000000000000ull},
      {"EiB", true, 1ull << 60},
  };
  for (const auto &unit : units) {
    if (unit.any_case ? strcasecmp(end, unit.name) != 0 : strcmp(end, unit.name) != 0)
      continue;
    // Saturate on any overflow, not only when the product wraps below the number.
    if (number != 0 && unit.factor > ULLONG_MAX / number)
      return -1;
    return static_cast<int64_t>(number * unit.factor);
  }
  *err = EINVAL;
  return -1;
}

static bool enum_entry_usable(const enum_value_entry *entry, uint32_t language_mask)
{
  return !(entry->flags & ENUM_VALUE_DRIVER_ONLY) || (language_mask & FLAG_DRIVER);
}

int enum_name_to_value(const enum_value_entry *values, const char *text, size_t length,
                       int *value, uint32_t language_mask)
{
  for (int i = 0; values[i].name; i++) {
    const enum_value_entry *entry = &values[i];
    bool same = length ? strncmp(entry->name, text, length) == 0 && entry->name[length] == '\0'
                       : strcmp(entry->name, text) == 0;
    if (same && enum_entry_usable(entry, language_mask)) {
      *value = entry->value;
      return i;
    }
  }
  return -1;
}

bool enum_value_to_name(const enum_value_entry *values, const char **name, int value,
                        uint32_t language_mask)
{
  const char *first = nullptr;
  for (const enum_value_entry *entry = values; entry->name; entry++) {
    if (entry->value != value || !enum_entry_usable(entry, language_mask))
      continue;
    if (entry->flags & ENUM_VALUE_CANONICAL) {
      *name = entry->name;
      return true;
    }
    if (!first)
      first = entry->name;
  }
  *name = first;
  return false;
}

bool opt_enum_arg_to_value(size_t option_index, const char *text, int *value,
                           uint32_t language_mask)
{
  const option_descriptor *row = &option_rows[option_index];
  vuz_assert(row->variable_kind == VAR_ENUM);
  return enum_name_to_value(option_enums[row->enum_index].values, text, 0, value,
                            language_mask) >= 0;
}

void generate_canonical_option(size_t option_index, const char *argument, int64_t value,
                               decoded_option *result)
{
  const option_descriptor *row = &option_rows[option_index];
  const char *text = row->text;
  if (value == 0 && !row->bits.rejects_negative && text[1] && strchr("Wfgm", text[1])) {
    char letter[3] = {'-', text[1], '\0'};
    text = option_obstack_concat(letter, "no-", text + 2, nullptr);
  }
  result->canonical[2] = result->canonical[3] = nullptr;
  if (!argument) {
    result->canonical[0] = text;
    result->canonical[1] = nullptr;
    result->canonical_count = 1;
  } else if ((row->flags & FLAG_SEPARATE) && !row->bits.alias_if_separate) {
    result->canonical[0] = text;
    result->canonical[1] = argument;
    result->canonical_count = 2;
  } else {
    vuz_assert_as(row->flags & FLAG_JOINED, "opts-common", "generate_canonical_option");
    result->canonical[0] = option_obstack_concat(text, argument, nullptr);
    result->canonical[1] = nullptr;
    result->canonical_count = 1;
  }
}

void generate_option(size_t option_index, const char *argument, int64_t value,
                     uint32_t language_mask, decoded_option *result)
{
  vuz_assert_as(option_index < option_count, "opts-common", "generate_option");
  const option_descriptor *row = &option_rows[option_index];
  result->option_index = option_index;
  result->warning_message = nullptr;
  result->argument = argument;
  result->value = value;
  result->mask = 0;
  result->errors = option_valid_for_mask(row, language_mask) ? 0 : ERR_WRONG_LANGUAGE;
  generate_canonical_option(option_index, argument, value, result);
  if (result->canonical_count == 1)
    result->as_written = result->canonical[0];
  else
    result->as_written =
        option_obstack_concat(result->canonical[0], " ", result->canonical[1], nullptr);
}

void make_input_file_option(const char *name, decoded_option *result)
{
  result->option_index = OPTION_INPUT_FILE;
  result->warning_message = nullptr;
  result->argument = name;
  result->as_written = name;
  result->canonical[0] = name;
  result->canonical[1] = result->canonical[2] = result->canonical[3] = nullptr;
  result->canonical_count = 1;
  result->value = 1;
  result->mask = 0;
  result->errors = 0;
}

// The consumed words joined by blanks, an empty word shown as "".
static const char *as_written_text(const char *const *words, unsigned count)
{
  // One word is its own text; the words outlive the records as the
  // arguments taken from them do, and most command lines then need no copy.
  if (count == 1 && words[0][0])
    return words[0];
  for (unsigned i = 0; i < count; i++) {
    if (i)
      obstack_append_byte(&option_obstack, ' ');
    obstack_append_text(&option_obstack, words[i][0] ? words[i] : "\"\"");
  }
  obstack_append_byte(&option_obstack, '\0');
  return static_cast<const char *>(obstack_close_object(&option_obstack));
}

// Converts a comma-separated list of enum-set or enum-bit-set values. False
// when the list is malformed.
static bool decode_enum_set(const option_descriptor *row, const char *argument,
                            uint32_t language_mask, int64_t *sum, int64_t *mask)
{
  const enum_value_entry *values = option_enums[row->enum_index].values;
  const bool is_set = row->variable_value == 1;
  uint32_t used_sets = 0;
  const char *p = argument;
  if (*p == ',')
    return false;
  for (;;) {
    const char *comma = strchr(p, ',');
    size_t length = comma ? static_cast<size_t>(comma - p) : strlen(p);
    if (length == 0)
      return false;
    int value;
    int index = enum_name_to_value(values, p, length, &value, language_mask);
    if (index < 0)
      return false;
    int64_t item_mask;
    if (is_set) {
      uint32_t set = values[index].flags >> ENUM_VALUE_SET_SHIFT;
      if (used_sets & (1u << set))
        return false;
      used_sets |= 1u << set;
      item_mask = 0;
      for (const enum_value_entry *entry = values; entry->name; entry++)
        if ((entry->flags >> ENUM_VALUE_SET_SHIFT) == set)
          item_mask |= entry->value;
    } else {
      vuz_assert_as(values[index].flags < 4, "opts-common", "decode_cmdline_option");
      item_mask = value;
    }
    *sum |= value;
    *mask |= item_mask;
    if (!comma)
      return true;
    p = comma + 1;
  }
}

// Tries the alternative prefixes on an unknown word. Answers the row found
// (or OPTION_UNKNOWN) and sets the word position, the length adjustment and
// the value.
static size_t lookup_with_prefix_map(const char *const *words, uint32_t language_mask,
                                     unsigned *position, int *adjust, int64_t *value,
                                     bool *negative_rejected)
{
  for (const option_prefix_entry &entry : option_prefix_map) {
    if (!starts_with(words[0], entry.prefix))
      continue;
    const char *text_word;
    size_t matched;
    unsigned word_position = 0;
    if (entry.next_word_prefix) {
      if (!words[1] || !starts_with(words[1], entry.next_word_prefix))
        continue;
      text_word = words[1];
      word_position = 1;
      matched = strlen(entry.next_word_prefix);
    } else {
      text_word = words[0];
      matched = strlen(entry.prefix);
    }
    if (entry.needs_more_text && text_word[matched] == '\0')
      continue;
    char *rewritten = concat_strings(entry.replacement, text_word + matched, nullptr);
    size_t index = lookup_option(rewritten + 1, language_mask);
    free(rewritten);
    if (index == OPTION_UNKNOWN)
      continue;
    *position = word_position;
    *adjust = static_cast<int>(matched) - static_cast<int>(strlen(entry.replacement));
    if (entry.negated) {
      if (option_rows[index].bits.rejects_negative) {
        *negative_rejected = true;
        return OPTION_UNKNOWN;
      }
      *value = 0;
    }
    return index;
  }
  return OPTION_UNKNOWN;
}

static bool separate_allowed(const option_descriptor *row, uint32_t language_mask)
{
  return (row->flags & FLAG_SEPARATE) &&
         !(row->bits.no_driver_argument && (language_mask & FLAG_DRIVER));
}

// Converts the argument of row ROW: lower case, integers and their range,
// enum names and enum lists.
static void convert_argument(const option_descriptor *row, uint32_t language_mask,
                             const char **argument, int64_t *value, int64_t *mask,
                             int32_t *errors)
{
  if (row->bits.lowercase_argument) {
    size_t length = strlen(*argument);
    char *lower = static_cast<char *>(obstack_new_object(&option_obstack, length + 1));
    for (size_t i = 0; i <= length; i++)
      lower[i] = static_cast<char>(c_tolower(static_cast<unsigned char>((*argument)[i])));
    *argument = lower;
  }
  if (row->bits.unsigned_integer || row->bits.wide_integer) {
    if (**argument == '\0') {
      *value = 0;
    } else {
      int error;
      *value = parse_integer_argument(*argument, &error, row->bits.byte_size_units);
      if (error)
        *errors |= ERR_BAD_INTEGER;
    }
    if (row->range_max != -1 && (*value < row->range_min || *value > row->range_max))
      *errors |= ERR_OUT_OF_RANGE;
  }
  if (row->variable_kind == VAR_ENUM && row->variable_value == 0) {
    const enum_value_entry *values = option_enums[row->enum_index].values;
    int enum_value;
    if (enum_name_to_value(values, *argument, 0, &enum_value, language_mask) >= 0) {
      const char *canonical;
      enum_value_to_name(values, &canonical, enum_value, language_mask);
      vuz_assert_as(canonical != nullptr, "opts-common", "decode_cmdline_option");
      *value = enum_value;
      *argument = canonical;
    } else {
      *errors |= ERR_BAD_ENUM;
    }
  } else if (row->variable_kind == VAR_ENUM) {
    int64_t sum = 0;
    if (!decode_enum_set(row, *argument, language_mask, &sum, mask))
      *errors |= ERR_BAD_ENUM_SET;
    if (*value == 1)
      *value = sum;
  }
}

unsigned decode_cmdline_option(const char *const *words, uint32_t language_mask,
                               decoded_option *result)
{
  unsigned position = 0;
  int adjust = 0;
  int64_t value = 1;
  int32_t errors = 0;
  bool negative_rejected = false;
  size_t index = lookup_option(words[0] + 1, language_mask);
  if (index == OPTION_UNKNOWN)
    index = lookup_with_prefix_map(words, language_mask, &position, &adjust, &value,
                                   &negative_rejected);

  const char *argument = words[0];
  const char *warning = nullptr;
  int64_t mask = 0;
  unsigned consumed = 1;
  if (index == OPTION_UNKNOWN) {
    if (negative_rejected) {
      errors = ERR_NEGATIVE_FORM;
      value = 0;
    }
  } else {
    const option_descriptor *row = &option_rows[index];
    warning = row->warning_message;
    if (row->bits.disabled)
      errors |= ERR_DISABLED;
    if (row->variable_kind == VAR_SIZE)
      value = 0;

    // The argument, joined or in the following words.
    bool separate = separate_allowed(row, language_mask);
    unsigned separate_count = separate ? row->bits.separate_arg_count + 1 : 0;
    bool came_separately = false;
    consumed = position + 1;
    argument = nullptr;
    if (row->flags & FLAG_JOINED) {
      argument = words[position] + row->text_length + 1 + adjust;
      if (*argument == '\0' && !row->bits.argument_optional) {
        argument = nullptr;
        if (separate && words[position + 1]) {
          argument = words[position + 1];
          came_separately = true;
          consumed = position + 2;
        }
      }
    } else if (separate_count) {
      argument = words[position + 1];
      came_separately = argument != nullptr;
      for (unsigned i = 0; i < separate_count && words[position + 1 + i]; i++)
        consumed++;
    }
    if ((separate || (row->flags & FLAG_JOINED)) && !argument)
      errors |= ERR_MISSING_ARGUMENT;

    // Aliases.
    if (row->alias_target != OPTION_NONE && (!row->bits.alias_if_separate || came_separately)) {
      if (row->alias_target == OPTION_IGNORED || row->alias_target == OPTION_REMOVED) {
        index = row->alias_target;
        argument = nullptr;
      } else {
        if (row->negative_alias_argument) {
          argument = value ? row->alias_argument : row->negative_alias_argument;
          value = 1;
        } else if (row->alias_argument) {
          argument = row->alias_argument;
        }
        if (row->bits.negates_alias)
          value = !value;
        index = row->alias_target;
        const option_descriptor *target = &option_rows[index];
        vuz_assert_as(target->alias_target == OPTION_NONE, "opts-common",
                      "decode_cmdline_option");
        vuz_assert_as(row->alias_argument || !row->negative_alias_argument, "opts-common",
                      "decode_cmdline_option");
        row = target;
        if (!(errors & ERR_MISSING_ARGUMENT) && !argument && row->bits.argument_optional &&
            (row->flags & (FLAG_JOINED | FLAG_SEPARATE)))
          argument = "";
        // The written row's own warning stays unless the target has one.
        if (row->warning_message)
          warning = row->warning_message;
        if (row->bits.disabled)
          errors |= ERR_DISABLED;
      }
    }

    // Language check; ignored and removed options are checked as written.
    if (!option_valid_for_mask(row, language_mask)) {
      errors |= ERR_WRONG_LANGUAGE;
    } else if (index == OPT_Werror_eq && argument && !strchr(argument, ',') &&
               strlen(words[0]) > 7) {
      char *name = checked_strdup(words[0] + 7);
      name[0] = 'W';
      size_t named = lookup_option(name, language_mask);
      free(name);
      if (named != OPTION_UNKNOWN && !option_valid_for_mask(&option_rows[named], language_mask))
        errors |= ERR_WRONG_LANGUAGE;
    }

    if (argument && index < option_count)
      convert_argument(row, language_mask, &argument, &value, &mask, &errors);
  }

  vuz_assert_as(consumed >= 1 && consumed <= 4, "opts-common", "decode_cmdline_option");
  vuz_assert_as(index != OPTION_UNKNOWN || consumed == 1, "opts-common", "decode_cmdline_option");
  result->option_index = index;
  result->warning_message = warning;
  result->argument = argument;
  result->value = value;
  result->mask = mask;
  result->errors = errors;
  if (index < option_count) {
    generate_canonical_option(index, argument, value, result);
  } else {
    // Unknown, ignored and removed options keep their words as written, so
    // that no consumer meets a null canonical word.
    for (unsigned i = 0; i < 4; i++)
      result->canonical[i] = i < consumed ? words[i] : nullptr;
    result->canonical_count = consumed;
  }
  result->as_written = as_written_text(words, consumed);
  return consumed;
}

// Rows that a later use of a row cancels: those met along its negation
// indices before coming back to it. Rings hold at most seven rows.
enum { max_cancelled = 8 };

static unsigned cancelled_rows(size_t row, size_t out[max_cancelled])
{
  unsigned count = 0;
  int32_t next = option_rows[row].negation_index;
  while (next >= 0 && count < max_cancelled) {
    out[count++] = static_cast<size_t>(next);
    if (static_cast<size_t>(next) == row)
      break;
    next = option_rows[next].negation_index;
    // A chain that runs into a ring without returning: stop at the repeat.
    bool seen = false;
    for (unsigned i = 0; i < count; i++)
      seen |= out[i] == static_cast<size_t>(next);
    if (seen)
      break;
  }
  return count;
}

// Whether a record's row takes part in cancelling (as the cancelled one or
// the later one).
static bool cancellable(const decoded_option *record)
{
  if (record->errors & ~ERR_WRONG_LANGUAGE || record->option_index >= option_count)
    return false;
  const option_descriptor *row = &option_rows[record->option_index];
  if (row->negation_index < 0)
    return false;
  if ((row->flags & FLAG_JOINED) &&
      !(row->bits.rejects_negative &&
        static_cast<size_t>(row->negation_index) == record->option_index))
    return false;
  return true;
}

// Drops options that a later one cancels, walking once from the end: a row
// is cancelled when any later record reaches it along its negation chain.
static void prune_options(decoded_option **records, unsigned *count)
{
  decoded_option *old = *records;
  unsigned n = *count;
  // A byte per record; a command line of a few dozen words keeps them in the
  // frame.
  unsigned char small_keep[64] = {};
  unsigned char *keep = n <= sizeof small_keep
                            ? small_keep
                            : static_cast<unsigned char *>(checked_calloc(n, 1));
  // One bit per row, on the stack: this runs for every self spec too.
  uint64_t cancelled[(option_count + 63) / 64] = {};
  int last_color = -1;
  for (unsigned k = n; k-- > 0;) {
    decoded_option *record = &old[k];
    if (record->errors & ~ERR_WRONG_LANGUAGE || record->option_index >= option_count) {
      keep[k] = 1;
      continue;
    }
    if (record->option_index == OPT_fdiagnostics_color_eq) {
      if (last_color < 0)
        last_color = static_cast<int>(k);
      continue;
    }
    if (!cancellable(record)) {
      keep[k] = 1;
      continue;
    }
    size_t index = record->option_index;
    keep[k] = !(cancelled[index / 64] >> (index % 64) & 1);
    size_t rows[max_cancelled];
    unsigned m = cancelled_rows(index, rows);
    for (unsigned i = 0; i < m; i++)
      cancelled[rows[i] / 64] |= uint64_t{1} << (rows[i] % 64);
  }
  unsigned kept = 0;
  for (unsigned k = 0; k < n; k++)
    kept += keep[k];
  if (last_color < 0) {
    // Records only move down: the array is compacted where it is.
    unsigned j = 0;
    for (unsigned k = 0; k < n; k++)
      if (keep[k]) {
        if (j != k)
          old[j] = old[k];
        j++;
      }
  } else {
    kept++;
    decoded_option *fresh =
        static_cast<decoded_option *>(checked_malloc(kept * sizeof(decoded_option)));
    unsigned j = 0;
    for (unsigned k = 0; k < n; k++) {
      if (!keep[k])
        continue;
      fresh[j++] = old[k];
      // The colour setting goes right after the program name.
      if (k == 0)
        fresh[j++] = old[last_color];
    }
    free(old);
    *records = fresh;
  }
  if (keep != small_keep)
    free(keep);
  *count = kept;
}

void decode_argv_to_option_array(unsigned argc, const char **argv, uint32_t language_mask,
                                 decoded_option **result, unsigned *result_count)
{
  unsigned capacity = argc ? argc : 1;
  decoded_option *records =
      static_cast<decoded_option *>(checked_malloc(capacity * sizeof(decoded_option)));
  unsigned count = 0;
  if (argc) {
    make_input_file_option(argv[0], &records[0]);
    records[0].option_index = OPTION_PROGRAM_NAME;
    count = 1;
  }
  for (unsigned i = 1; i < argc;) {
    const char *word = argv[i];
    if (word[0] != '-' || word[1] == '\0') {
      make_input_file_option(word, &records[count++]);
      i++;
      continue;
    }
    if (word[1] == '-' && strcmp(word, "--param") == 0 && i + 1 < argc) {
      argv[i + 1] = option_obstack_concat("--param=", argv[i + 1], nullptr);
      i++;
      continue;
    }
    if (word[1] == 'f' && strcmp(word, "-fdiagnostics-plain-output") == 0) {
      capacity += 4;
      records = static_cast<decoded_option *>(
          checked_realloc(records, capacity * sizeof(decoded_option)));
      for (const char *const *p = plain_output_options; *p; p++) {
        const char *words[2] = {*p, nullptr};
        decode_cmdline_option(words, language_mask, &records[count++]);
      }
      i++;
      continue;
    }
    i += decode_cmdline_option(argv + i, language_mask, &records[count++]);
  }
  prune_options(&records, &count);
  *result = records;
  *result_count = count;
}
