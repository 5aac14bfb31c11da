// The help pages of --help, --help= and --target-help for a compiler's
// language mask: the options of a class or language in two wrapped columns,
// then the value lists of the enumerations met on the page.
#include "options/opts.h"
#include "options/opts-utils.h"

#include "options/target-hooks.h"
#include "support/alloc.h"
#include "support/char-class.h"

#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>

enum { left_column = 27, composed_limit = 256 };

// Prints HELP beside ITEM, wrapped to COLUMNS; later lines leave the left
// column empty.
static void wrap_help(const char *help, const char *item, unsigned item_width, unsigned columns)
{
  size_t remaining = strlen(help);
  do {
    unsigned widest = item_width > left_column ? item_width : left_column;
    size_t room = columns > widest + 3 ? columns - 3 - widest : 0;
    size_t length = remaining;
    if (room < length) {
      for (size_t i = 0; help[i]; i++) {
        if (i >= room && length != remaining)
          break;
        if (help[i] == ' ')
          length = i;
        else if ((help[i] == '-' || help[i] == '/') && help[i + 1] != ' ' && i > 0 &&
                 c_isalpha(static_cast<unsigned char>(help[i - 1])))
          length = i + 1;
      }
      // A break before the first character would print nothing: take the
      // word whole instead, however narrow the room.
      if (length == 0 && help[0] != ' ')
        length = strcspn(help, " ");
    }
    printf("  %-*.*s %.*s\n", static_cast<int>(left_column), static_cast<int>(item_width), item,
           static_cast<int>(length), help);
    item_width = 0;
    while (help[length] == ' ')
      length++;
    help += length;
    remaining -= length;
  } while (remaining);
}

static const char *language_name(unsigned bit)
{
  return option_table.language_names[bit];
}

static const char *page_heading(uint32_t include, uint32_t exclude, uint32_t any,
                                const char **language)
{
  const char *heading = nullptr;
  *language = "";
  for (unsigned bit = 0; (1u << bit) <= FLAG_COMMON; bit++) {
    uint32_t flag = 1u << bit;
    if (!(include & flag))
      continue;
    const char *class_heading = nullptr;
    switch (flag) {
    case FLAG_PARAMS:
      class_heading = "The following options control parameters";
      break;
    case FLAG_WARNING:
      class_heading = "The following options control compiler warning messages";
      break;
    case FLAG_OPTIMIZATION:
      class_heading = "The following options control optimizations";
      break;
    case FLAG_TARGET:
      class_heading = "The following options are target specific";
      break;
    case FLAG_COMMON:
      class_heading = "The following options are language-independent";
      break;
    default:
      if (bit < option_table.language_count) {
        heading = (exclude & FLAG_LANGUAGE_MASK)
                      ? "The following options are specific to just the language "
                      : "The following options are supported by the language ";
        *language = language_name(bit);
      }
      break;
    }
    if (class_heading) {
      // A class heading names no language.
      heading = class_heading;
      *language = "";
    }
  }
  if (heading)
    return heading;
  if (any)
    return (any & FLAG_LANGUAGE_MASK) ? "The following options are language-related"
                                      : "The following options are language-independent";
  if (include & FLAG_UNDOCUMENTED)
    return "The following options are not documented";
  if (include & FLAG_SEPARATE)
    return "The following options take separate arguments";
  if (include & FLAG_JOINED)
    return "The following options take joined arguments";
  internal_error("unrecognized %<include_flags 0x%x%> passed to %<print_specific_help%>",
                 include);
}

static bool row_selected(const option_descriptor *row, uint32_t include, uint32_t exclude,
                         uint32_t any)
{
  uint32_t flags = row->flags;
  if (flags & exclude)
    return false;
  if ((include == 0 || (flags & include) != include) && !(flags & any))
    return false;
  // The driver prints its own help text.
  if ((flags & FLAG_DRIVER) && !(flags & (FLAG_LANGUAGE_MASK | FLAG_COMMON | FLAG_TARGET)))
    return false;
  // A common page leaves out options of some languages only.
  uint32_t languages = flags & FLAG_LANGUAGE_MASK;
  if ((include & FLAG_COMMON) && !(flags & FLAG_DRIVER) && languages &&
      languages != FLAG_LANGUAGE_MASK)
    return false;
  return true;
}

// Appends FORMAT to TEXT, which holds COMPOSED_LIMIT bytes.
static void append(char *text, const char *format, ...) __attribute__((format(printf, 2, 3)));
static void append(char *text, const char *format, ...)
{
  size_t used = strlen(text);
  va_list args;
  va_start(args, format);
  vsnprintf(text + used, composed_limit - used, format, args);
  va_end(args);
}

// The current setting of row INDEX, after the tabs that set it apart.
static void describe_setting(size_t index, option_values *opts, unsigned language_mask,
                             size_t left_length, char *text)
{
  const option_descriptor *row = &option_rows[index];
  strcpy(text, left_length < left_column + 2 ? "\t\t" : "\t");
  void *variable = option_variable_address(index, opts);
  bool print_state = false;
  if (variable && row->variable_kind != VAR_DEFERRED) {
    uint32_t languages = row->flags & FLAG_LANGUAGE_MASK;
    if (languages && !(languages & language_mask)) {
      append(text, "[available in ");
      for (unsigned bit = 0, n = 0; bit < option_table.language_count; bit++)
        if (languages & (1u << bit))
          append(text, "%s%s", n++ ? ", " : "", language_name(bit));
      append(text, "]");
    } else if (row->flags & FLAG_JOINED) {
      if (row->variable_kind == VAR_STRING) {
        if (const char *value = *static_cast<const char **>(variable))
          append(text, "%s", value);
      } else if (row->variable_kind == VAR_ENUM) {
        const enum_descriptor *e = &option_enums[row->enum_index];
        const char *name = nullptr;
        enum_value_to_name(e->values, &name, e->get(variable), language_mask);
        append(text, "%s", name ? name : "[default]");
      } else if (row->bits.wide_integer) {
        append(text, "%llu bytes", *static_cast<unsigned long long *>(variable));
      } else {
        append(text, "%i", *static_cast<int *>(variable));
      }
    } else {
      print_state = true;
    }
  } else {
    print_state = !(row->flags & FLAG_JOINED);
  }
  if (!print_state)
    return;
  if (row->alias_target < option_count) {
    const option_descriptor *target = &option_rows[row->alias_target];
    append(text, "%s%s", target->text, row->alias_argument ? row->alias_argument : "");
  } else if (row->alias_target == OPTION_IGNORED) {
    append(text, "[ignored]");
  } else {
    int state = option_enabled_state(index, language_mask, opts);
    if (state > 0)
      append(text, "[enabled]");
    else if (state == 0)
      append(text, "[disabled]");
  }
}

// The help text of a row, with alias and warning notes; null to skip it.
static const char *compose_help(const option_descriptor *row, uint32_t exclude, char *text)
{
  const char *help = row->help;
  if (!help) {
    if (exclude & FLAG_UNDOCUMENTED)
      return nullptr;
    help = "This option lacks documentation.";
  }
  if (row->alias_target < option_count && option_rows[row->alias_target].help) {
    const option_descriptor *target = &option_rows[row->alias_target];
    if (row->help)
      snprintf(text, composed_limit, "%s  Same as %s.", help, target->text);
    else if (row->alias_argument && row->negative_alias_argument)
      snprintf(text, composed_limit, "Same as %s%s (or, in negated form, %s%s).", target->text,
               row->alias_argument, target->text, row->negative_alias_argument);
    else if (row->alias_argument)
      snprintf(text, composed_limit, "Same as %s%s.", target->text, row->alias_argument);
    else
      snprintf(text, composed_limit, "Same as %s.", target->text);
    help = text;
  }
  if (row->warning_message) {
    if (help == text)
      append(text, "  %s", "Uses of this option are diagnosed.");
    else
      snprintf(text, composed_limit, "%s  %s", help, "Uses of this option are diagnosed.");
    help = text;
  }
  return help;
}

struct valid_values_row {
  size_t index;
  vec<const char *> *values;
};

void print_specific_help(uint32_t include, uint32_t exclude, uint32_t any, option_values *opts,
                         unsigned language_mask)
{
  if (language_mask == FLAG_DRIVER)
    return;
  if (opts->help_columns == 0) {
    int columns = terminal_columns();
    opts->help_columns = columns == INT_MAX ? 80 : columns;
  }
  if (!opts->help_printed)
    opts->help_printed = checked_new_cleared<unsigned char>(option_count);
  if (!opts->help_enum_printed)
    opts->help_enum_printed = checked_new_cleared<unsigned char>(option_enum_count);
  const unsigned columns = static_cast<unsigned>(opts->help_columns);

  const char *language;
  const char *heading = page_heading(include, exclude, any, &language);
  printf("%s%s:\n", heading, language);

  bool found = false, displayed = false;
  vec<valid_values_row> *valid_values = nullptr;
  char composed[composed_limit];
  char setting[composed_limit];
  for (size_t index = 0; index < option_count; index++) {
    const option_descriptor *row = &option_rows[index];
    if (!row_selected(row, include, exclude, any))
      continue;
    found = true;
    if (opts->help_printed[index])
      continue;
    opts->help_printed[index] = 1;

    const char *help = compose_help(row, exclude, composed);
    if (!help)
      continue;
    displayed = true;

    char *item;
    const char *tab = strchr(help, '\t');
    if (tab) {
      item = checked_strndup(help, static_cast<size_t>(tab - help));
      help = tab + 1;
    } else {
      item = checked_strdup(row->text);
    }
    if (!opts->var_quiet) {
      describe_setting(index, opts, language_mask, strlen(item), setting);
      help = setting;
    }
    if (row->range_max != -1) {
      char *ranged = format_alloc("%s<%d,%d>", item, row->range_min, row->range_max);
      free(item);
      item = ranged;
    }
    wrap_help(help, item, static_cast<unsigned>(strlen(item)), columns);
    free(item);

    if (row->variable_kind == VAR_ENUM) {
      if (opts->help_enum_printed[row->enum_index] != 2)
        opts->help_enum_printed[row->enum_index] = 1;
    } else {
      vec<const char *> *values =
          target_hooks.get_valid_option_values(static_cast<int>(index), nullptr);
      if (vec_length(values))
        vec_safe_push(valid_values, valid_values_row{index, values});
      else
        vec_release(values);
    }
  }

  if (!found) {
    uint32_t languages = include & FLAG_LANGUAGE_MASK;
    if (!languages)
      printf(" No options with the desired characteristics were found\n");
    for (unsigned bit = 0; bit < option_table.language_count; bit++)
      if (languages & (1u << bit))
        printf(" None found.  Use --help=%s to show *all* the options supported by the %s "
               "front-end.\n",
               language_name(bit), language_name(bit));
  } else if (!displayed) {
    printf(" All options with the desired characteristics have already been displayed\n");
  }
  putchar('\n');

  for (unsigned e = 0; e < option_enum_count; e++) {
    if (opts->help_enum_printed[e] != 1 || !option_enums[e].help_heading)
      continue;
    printf("  %s\n    ", option_enums[e].help_heading);
    size_t position = 4;
    for (const enum_value_entry *v = option_enums[e].values; v->name; v++) {
      size_t length = strlen(v->name);
      if (position > 4 && position + 1 + length <= columns) {
        printf(" %s", v->name);
        position += 1 + length;
      } else {
        if (position > 4) {
          printf("\n    ");
          position = 4;
        }
        printf("%s", v->name);
        position += length;
      }
    }
    printf("\n\n");
    opts->help_enum_printed[e] = 2;
  }

  for (unsigned i = 0; i < vec_length(valid_values); i++) {
    valid_values_row &entry = (*valid_values)[i];
    printf("  Known valid arguments for %s option:\n   ", option_rows[entry.index].text);
    for (const char *value : *entry.values)
      printf(" %s", value);
    printf("\n\n");
    vec_release(entry.values);
  }
  vec_release(valid_values);
}

void print_help_selection(option_values *opts, unsigned language_mask, const char *argument)
{
  static const struct {
    const char *name;
    uint32_t flag;
  } classes[] = {
      {"optimizers", FLAG_OPTIMIZATION}, {"target", FLAG_TARGET}, {"warnings", FLAG_WARNING},
      {"undocumented", FLAG_UNDOCUMENTED}, {"params", FLAG_PARAMS}, {"joined", FLAG_JOINED},
      {"separate", FLAG_SEPARATE}, {"common", FLAG_COMMON},
  };
  if (language_mask == FLAG_DRIVER)
    return;
  uint32_t include = 0, exclude = 0;
  const char *p;
  size_t length;
  for (const char *rest = argument; next_comma_item(rest, &p, &length);) {
    uint32_t *flags = &include;
    if (*p == '^') {
      if (length == 1) {
        error_at_loc(UNKNOWN_LOCATION, "missing argument to %qs", "--help=^");
        break;
      }
      flags = &exclude;
      p++;
      length--;
    }
    uint32_t class_flag = 0, language_flag = 0;
    for (const auto &c : classes)
      if (strncasecmp(p, c.name, length) == 0) {
        class_flag = c.flag;
        break;
      }
    for (unsigned bit = 0; bit < option_table.language_count; bit++)
      if (strncasecmp(p, language_name(bit), length) == 0) {
        language_flag = 1u << bit;
        break;
      }
    const int shown = static_cast<int>(length);
    if (class_flag && !language_flag)
      *flags |= class_flag;
    else if (class_flag && strncasecmp(p, "c", length) == 0)
      *flags |= language_flag;
    else if (class_flag)
      warning_here(0, "%<--help%> argument %q.*s is ambiguous, please be more specific", shown,
                   p);
    else if (language_flag)
      *flags |= language_flag;
    else
      warning_here(0, "unrecognized argument to %<--help=%> option: %q.*s", shown, p);
  }
  if (include & FLAG_OPTIMIZATION)
    exclude |= FLAG_WARNING;
  if (!(include & FLAG_PARAMS))
    exclude |= FLAG_PARAMS;
  if (include)
    print_specific_help(include, exclude, 0, opts, language_mask);
}
