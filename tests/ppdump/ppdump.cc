// ppdump: the preprocessor library's test program. It reads one file with
// the preprocessor's usual options and writes the preprocessed text, the
// macros defined (-dM, -dD), make rules (-M and its family), the headers
// entered (-H; -remap reads the directories' remap files), or, for tests,
// the prepared lines (--lines), the raw tokens (--raw-tokens), the expanded
// tokens (--tokens), the interpreted bytes of each literal (--literals) or
// the value of each #if and #elif (--if-values). Reports go through the
// program's diagnostic engine.
#include "diagnostics/diagnostic.h"
#include "diagnostics/input.h"
#include "diagnostics/json.h"
#include "libsprenk/preprocessor.h"
#include "options/option-decode.h"
#include "options/option-table.h"
#include "support/alloc.h"
#include "support/file-names.h"
#include "support/system-utils.h"
#include "tests/common/reader-probes.h"
#include "tests/libsprenk/expr-value-text.h"
#include "tests/ppdump/table-arena.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>

enum dump_mode {
  DUMP_TEXT,
  DUMP_LINES,
  DUMP_RAW_TOKENS,
  DUMP_TOKENS,
  DUMP_LOCATIONS,
  DUMP_LITERALS,
  DUMP_IF_VALUES,
};

enum { MAX_LIST = 256 };

// Words of a repeated option, in command-line order.
struct word_list {
  const char *words[MAX_LIST];
  int count = 0;
  bool add(const char *word)
  {
    if (count == MAX_LIST)
      return false;
    words[count++] = word;
    return true;
  }
};

struct ppdump_settings {
  dump_mode mode = DUMP_TEXT;
  const char *input = nullptr;
  source_dialect dialect = DIALECT_KAV17;
  bool dialect_given = false;
  bool cplusplus = false;
  bool assembler = false;
  bool objc = false;
  bool no_linemarkers = false;
  bool keep_comments = false;
  bool keep_comments_in_macros = false;
  int bidi_mode = -1;
  int trigraphs = -1;
  int warn_trigraphs = -1;
  int warn_comments = -1;
  int pedantic = 0;
  bool werror = false;
  bool traditional = false;
  bool directives_only = false;
  bool dollars = true;
  int tab_stop = 8;
  int tracking = -1;
  int normalized = -1;
  bool warn_undef = false;
  bool warn_unused_macros = false;
  bool warn_expansion_to_defined = false;
  const char *input_charset = nullptr;
  const char *exec_charset = nullptr;
  const char *wide_charset = nullptr;
  const char *defines[256];
  bool define_is_undef[256];
  int define_count = 0;
  word_list quote_dirs, bracket_dirs, system_dirs, after_dirs, includes, macro_files;
  word_list assertions; // -A PRED=ANSWER, or -A -PRED=ANSWER to retract
  char macro_dump = 0; // 'M' or 'D'
  int deps_style = 0;  // 2 every header, 1 without system headers
  bool deps_with_output = false;
  bool deps_missing = false;
  bool deps_phony = false;
  bool deps_modules = false;  // -Mmodules
  bool header_unit = false;   // -fmodule-header: the input is a header unit
  const char *module = nullptr;      // --module=NAME: the module provided
  const char *module_file = nullptr; // --module-file=FILE: its compiled file
  word_list imports;                 // --import=NAME, each module imported
  bool list_includes = false; // -H
  bool remap = false;
  const char *deps_file = nullptr;
  word_list targets;
  bool target_quoted[MAX_LIST];
};

// ---- Diagnostics through the engine ----

static int reason_option(int reason)
{
  switch (reason) {
  case DR_DEPRECATED: return OPT_Wdeprecated;
  case DR_COMMENTS: return OPT_Wcomment;
  case DR_TRIGRAPHS: return OPT_Wtrigraphs;
  case DR_MULTICHAR: return OPT_Wmultichar;
  case DR_TRADITIONAL: return OPT_Wtraditional;
  case DR_LONG_LONG: return OPT_Wlong_long;
  case DR_ENDIF_LABELS: return OPT_Wendif_labels;
  case DR_VARIADIC_MACROS: return OPT_Wvariadic_macros;
  case DR_BUILTIN_MACRO_REDEFINED: return OPT_Wbuiltin_macro_redefined;
  case DR_UNDEF: return OPT_Wundef;
  case DR_UNUSED_MACROS: return OPT_Wunused_macros;
  case DR_NORMALIZE: return OPT_Wnormalized_eq;
  case DR_LITERAL_SUFFIX: return OPT_Wliteral_suffix;
  case DR_DATE_TIME: return OPT_Wdate_time;
  case DR_PEDANTIC: return OPT_Wpedantic;
  case DR_C90_C99_COMPAT: return OPT_Wc90_c99_compat;
  case DR_C11_C2X_COMPAT: return OPT_Wc11_c2x_compat;
  case DR_CXX11_COMPAT: return OPT_Wcplusplus11_compat;
  case DR_EXPANSION_TO_DEFINED: return OPT_Wexpansion_to_defined;
  case DR_BIDIRECTIONAL: return OPT_Wbidi_chars_eq;
  default: return 0;
  }
}

static diagnostic_kind level_kind(int level)
{
  switch (level) {
  case DL_WARNING: case DL_WARNING_SYSHDR: return DK_WARNING;
  case DL_PEDWARN: return DK_PEDWARN;
  case DL_ERROR: return DK_ERROR;
  case DL_ICE: return DK_ICE;
  case DL_NOTE: return DK_NOTE;
  default: return DK_FATAL;
  }
}

static void write_text_so_far();

static bool report(preprocessor_reader *, int level, int reason, located_ranges *ranges,
                   const char *format, va_list *args)
{
  diagnostic_info diagnostic;
  diagnostic_kind kind = level_kind(level);
  // A fatal report ends the program: the text read before it is written
  // first, as a compiler's preprocessed output holds it.
  if (kind == DK_FATAL)
    write_text_so_far();
  diagnostic_set_info(&diagnostic, format, args, ranges, kind);
  diagnostic.option = kind == DK_WARNING || kind == DK_PEDWARN ? reason_option(reason) : 0;
  // Each report is a group of its own, as from the engine's entry points:
  // JSON output then nests nothing under an earlier report.
  diagnostic_group_enter(&global_diagnostic_state);
  // A #warning is shown even from a system header.
  bool in_system_headers = global_diagnostic_state.warn_in_system_headers;
  if (level == DL_WARNING_SYSHDR)
    global_diagnostic_state.warn_in_system_headers = true;
  bool reported = diagnostic_emit(&global_diagnostic_state, &diagnostic);
  global_diagnostic_state.warn_in_system_headers = in_system_headers;
  diagnostic_group_leave(&global_diagnostic_state);
  return reported;
}

static char *option_name(diagnostic_state *, int option, diagnostic_kind, diagnostic_kind)
{
  if (option <= 0)
    return nullptr;
  return checked_strdup(option_table.rows[option].text);
}

// ---- Options ----

struct dialect_option {
  uint32_t option;
  source_dialect dialect;
};

static const dialect_option dialect_options[] = {
    {OPT_std_eq_c89, DIALECT_STDC89},          {OPT_std_eq_c90, DIALECT_STDC89},
    {OPT_std_eq_iso9899_1990, DIALECT_STDC89}, {OPT_std_eq_iso9899_199409, DIALECT_STDC94},
    {OPT_std_eq_c99, DIALECT_STDC99},          {OPT_std_eq_c9x, DIALECT_STDC99},
    {OPT_std_eq_iso9899_1999, DIALECT_STDC99}, {OPT_std_eq_iso9899_199x, DIALECT_STDC99},
    {OPT_std_eq_c11, DIALECT_STDC11},          {OPT_std_eq_c1x, DIALECT_STDC11},
    {OPT_std_eq_iso9899_2011, DIALECT_STDC11}, {OPT_std_eq_c17, DIALECT_STDC17},
    {OPT_std_eq_c18, DIALECT_STDC17},          {OPT_std_eq_iso9899_2017, DIALECT_STDC17},
    {OPT_std_eq_iso9899_2018, DIALECT_STDC17}, {OPT_std_eq_c2x, DIALECT_STDC2X},
    {OPT_std_eq_kav89, DIALECT_KAV89},         {OPT_std_eq_kav90, DIALECT_KAV89},
    {OPT_std_eq_kav99, DIALECT_KAV99},         {OPT_std_eq_kav9x, DIALECT_KAV99},
    {OPT_std_eq_kav11, DIALECT_KAV11},         {OPT_std_eq_kav1x, DIALECT_KAV11},
    {OPT_std_eq_kav17, DIALECT_KAV17},         {OPT_std_eq_kav18, DIALECT_KAV17},
    {OPT_std_eq_kav2x, DIALECT_KAV2X},         {OPT_std_eq_cplusplus98, DIALECT_CXX98},
    {OPT_std_eq_cplusplus03, DIALECT_CXX98},   {OPT_std_eq_cplusplus11, DIALECT_CXX11},
    {OPT_std_eq_cplusplus0x, DIALECT_CXX11},   {OPT_std_eq_cplusplus14, DIALECT_CXX14},
    {OPT_std_eq_cplusplus1y, DIALECT_CXX14},   {OPT_std_eq_cplusplus17, DIALECT_CXX17},
    {OPT_std_eq_cplusplus1z, DIALECT_CXX17},   {OPT_std_eq_cplusplus20, DIALECT_CXX20},
    {OPT_std_eq_cplusplus2a, DIALECT_CXX20},   {OPT_std_eq_cplusplus23, DIALECT_CXX23},
    {OPT_std_eq_cplusplus2b, DIALECT_CXX23},   {OPT_std_eq_kavplusplus98, DIALECT_KAVXX98},
    {OPT_std_eq_kavplusplus03, DIALECT_KAVXX98}, {OPT_std_eq_kavplusplus11, DIALECT_KAVXX11},
    {OPT_std_eq_kavplusplus0x, DIALECT_KAVXX11}, {OPT_std_eq_kavplusplus14, DIALECT_KAVXX14},
    {OPT_std_eq_kavplusplus1y, DIALECT_KAVXX14}, {OPT_std_eq_kavplusplus17, DIALECT_KAVXX17},
    {OPT_std_eq_kavplusplus1z, DIALECT_KAVXX17}, {OPT_std_eq_kavplusplus20, DIALECT_KAVXX20},
    {OPT_std_eq_kavplusplus2a, DIALECT_KAVXX20}, {OPT_std_eq_kavplusplus23, DIALECT_KAVXX23},
    {OPT_std_eq_kavplusplus2b, DIALECT_KAVXX23},
};

static bool dialect_of_option(uint64_t option, source_dialect *dialect)
{
  for (const dialect_option &row : dialect_options) {
    if (row.option == option) {
      *dialect = row.dialect;
      return true;
    }
  }
  return false;
}

static uint32_t language_bit(const char *name)
{
  for (uint32_t i = 0; option_table.language_names[i]; i++)
    if (strcmp(option_table.language_names[i], name) == 0)
      return 1u << i;
  return 0;
}

static int bidi_mode_of(const char *text)
{
  int mode = 0;
  if (strncmp(text, "none", 4) == 0)
    mode = 0, text += 4;
  else if (strncmp(text, "unpaired", 8) == 0)
    mode = BIDI_WARN_UNPAIRED, text += 8;
  else if (strncmp(text, "any", 3) == 0)
    mode = BIDI_WARN_ANY, text += 3;
  else
    return -1;
  if (strcmp(text, ",ucn") == 0)
    return mode | BIDI_WARN_UCN;
  return *text ? -1 : mode;
}

static void add_define(ppdump_settings *s, const char *text, bool undef)
{
  if (s->define_count < 256) {
    s->define_is_undef[s->define_count] = undef;
    s->defines[s->define_count++] = text;
  }
}

static bool handle_decoded(ppdump_settings *s, const decoded_option &d)
{
  const char *arg = d.argument;
  switch (d.option_index) {
  case OPTION_INPUT_FILE: s->input = arg; return true;
  case OPT_x:
    s->cplusplus = strcmp(arg, "c++") == 0;
    s->assembler = strcmp(arg, "assembler-with-cpp") == 0;
    s->objc = strcmp(arg, "objective-c") == 0;
    return s->cplusplus || s->assembler || s->objc || strcmp(arg, "c") == 0;
  case OPT_ansi:
    s->dialect = s->cplusplus ? DIALECT_CXX98 : DIALECT_STDC89;
    s->dialect_given = true;
    return true;
  case OPT_D: add_define(s, arg, false); return true;
  case OPT_U: add_define(s, arg, true); return true;
  // ppdump defines no system or target macros for -undef to drop.
  case OPT_undef: return true;
  case OPT_C: s->keep_comments = true; return true;
  case OPT_CC: s->keep_comments = s->keep_comments_in_macros = true; return true;
  case OPT_P: s->no_linemarkers = true; return true;
  case OPT_trigraphs: s->trigraphs = 1; return true;
  case OPT_traditional_cpp: s->traditional = true; return true;
  case OPT_fdirectives_only: s->directives_only = d.value != 0; return true;
  case OPT_fdollars_in_identifiers: s->dollars = d.value != 0; return true;
  case OPT_finput_charset_eq: s->input_charset = arg; return true;
  case OPT_fexec_charset_eq: s->exec_charset = arg; return true;
  case OPT_fwide_exec_charset_eq: s->wide_charset = arg; return true;
  case OPT_ftabstop_eq: s->tab_stop = int(d.value); return true;
  case OPT_ftrack_macro_expansion: s->tracking = 2; return true;
  case OPT_ftrack_macro_expansion_eq:
    s->tracking = int(d.value);
    return d.value <= 2;
  case OPT_Wtrigraphs: s->warn_trigraphs = d.value != 0; return true;
  case OPT_Wcomment: s->warn_comments = d.value != 0; return true;
  case OPT_Wundef: s->warn_undef = d.value != 0; return true;
  case OPT_Wunused_macros: s->warn_unused_macros = d.value != 0; return true;
  case OPT_Wexpansion_to_defined: s->warn_expansion_to_defined = d.value != 0; return true;
  case OPT_Wnormalized_eq: s->normalized = int(d.value); return true;
  case OPT_Werror: s->werror = d.value != 0; return true;
  case OPT_pedantic: case OPT_Wpedantic: s->pedantic = 1; return true;
  case OPT_Wbidi_chars_eq: s->bidi_mode = bidi_mode_of(arg); return s->bidi_mode >= 0;
  case OPT_fdiagnostics_color_eq:
    context_color_setup(&global_diagnostic_state, int(d.value));
    return true;
  case OPT_fdiagnostics_format_eq:
    diagnostic_output_format_init(&global_diagnostic_state, int(d.value));
    return true;
  // ppdump has no default system directories for -nostdinc to remove.
  case OPT_nostdinc:
    return true;
  case OPT_I: return s->bracket_dirs.add(arg);
  case OPT_iquote: return s->quote_dirs.add(arg);
  case OPT_isystem: return s->system_dirs.add(arg);
  case OPT_idirafter: return s->after_dirs.add(arg);
  case OPT_include: return s->includes.add(arg);
  case OPT_imacros: return s->macro_files.add(arg);
  case OPT_d:
    s->macro_dump = arg[0];
    return (arg[0] == 'M' || arg[0] == 'D') && arg[1] == '\0';
  case OPT_M: case OPT_MM: case OPT_MD: case OPT_MMD:
    s->deps_style = d.option_index == OPT_M || d.option_index == OPT_MD ? 2 : 1;
    s->deps_with_output = d.option_index == OPT_MD || d.option_index == OPT_MMD;
    return true;
  case OPT_MF: s->deps_file = arg; return true;
  case OPT_H: s->list_includes = true; return true;
  case OPT_A: return s->assertions.add(arg);
  case OPT_remap: s->remap = true; return true;
  case OPT_MG: s->deps_missing = true; return true;
  case OPT_MP: s->deps_phony = true; return true;
  case OPT_Mmodules: case OPT_Mno_modules:
    s->deps_modules = d.option_index == OPT_Mmodules;
    return true;
  case OPT_fmodule_header: s->header_unit = true; return true;
  case OPT_MT: case OPT_MQ:
    s->target_quoted[s->targets.count] = d.option_index == OPT_MQ;
    return s->targets.add(arg);
  default:
    return dialect_of_option(d.option_index, &s->dialect) ? (s->dialect_given = true) : false;
  }
}

static bool dump_mode_of(const char *word, dump_mode *mode)
{
  static const struct {
    const char *option;
    dump_mode mode;
  } modes[] = {
      {"--lines", DUMP_LINES},
      {"--raw-tokens", DUMP_RAW_TOKENS},
      {"--tokens", DUMP_TOKENS},
      {"--locations", DUMP_LOCATIONS},
      {"--literals", DUMP_LITERALS},
      {"--if-values", DUMP_IF_VALUES},
  };
  for (const auto &row : modes) {
    if (strcmp(word, row.option) == 0) {
      *mode = row.mode;
      return true;
    }
  }
  return false;
}

// The modules a compiler would find in the unit, for the dependency rules:
// the test program names them itself.
static bool module_option(ppdump_settings *s, const char *word)
{
  if (strncmp(word, "--module=", 9) == 0)
    s->module = word + 9;
  else if (strncmp(word, "--module-file=", 14) == 0)
    s->module_file = word + 14;
  else if (strncmp(word, "--import=", 9) == 0)
    return s->imports.add(word + 9);
  else
    return false;
  return true;
}

static const char usage[] = "usage: ppdump [options] "
                            "[--lines|--raw-tokens|--tokens|--locations|--literals|--if-values] "
                            "FILE\n";

static void print_help()
{
  fputs(usage, stdout);
  fputs("Preprocesses FILE (\"-\" for standard input) and writes the text, or with\n"
        "  --lines       the prepared lines and their notes\n"
        "  --raw-tokens  the tokens before expansion\n"
        "  --tokens      the expanded tokens, with expansion and spelling locations\n"
        "  --locations   the expanded tokens with their location chains\n"
        "  --literals    the interpreted bytes of each literal\n"
        "  --if-values   the value of each #if and #elif\n"
        "Options as the compiler's: -D -U -undef -I -iquote -isystem -idirafter -include\n"
        "  -imacros -nostdinc -x -std= -ansi -P -C -CC -dM -dD -M -MM -MD -MMD -MF -MG -MP\n"
        "  -MT -MQ -Mmodules -H -A -remap -trigraphs -traditional-cpp -fdirectives-only\n"
        "  -finput-charset= -fexec-charset= -fwide-exec-charset= -ftabstop= -pedantic\n"
        "  -ftrack-macro-expansion -fdollars-in-identifiers -fmodule-header -W options\n"
        "  -fdiagnostics-color= -fdiagnostics-format=; for module rules --module=NAME\n"
        "  --module-file=FILE --import=NAME\n",
        stdout);
}

static bool parse_arguments(ppdump_settings *s, int argc, const char **argv)
{
  uint32_t mask = language_bit("C") | language_bit("C++") | FLAG_COMMON | FLAG_TARGET |
                  FLAG_DRIVER;
  for (int i = 1; i < argc;) {
    const char *word = argv[i];
    if (dump_mode_of(word, &s->mode) || module_option(s, word)) {
      i++;
      continue;
    }
    if (strcmp(word, "--help") == 0) {
      print_help();
      exit(0);
    }
    if (strcmp(word, "-") == 0 || word[0] != '-') {
      if (s->input) {
        error_here("a second input file %qs: ppdump reads one file", word);
        return false;
      }
      s->input = word[0] == '-' ? "" : word;
      i++;
      continue;
    }
    decoded_option decoded;
    i += int(decode_cmdline_option(&argv[i], mask, &decoded));
    if (decoded.errors || !handle_decoded(s, decoded)) {
      fprintf(stderr, "ppdump: unsupported or malformed option '%s'\n", decoded.as_written);
      return false;
    }
  }
  if (s->input == nullptr) {
    fputs(usage, stderr);
    return false;
  }
  // Directives-only text and the dumps of expanded tokens are read as
  // tokens; traditional text is not.
  if (s->traditional && s->directives_only) {
    fprintf(stderr, "ppdump: -fdirectives-only is incompatible with -traditional-cpp\n");
    return false;
  }
  if (s->traditional &&
      (s->mode == DUMP_TOKENS || s->mode == DUMP_LOCATIONS || s->mode == DUMP_LITERALS ||
       s->mode == DUMP_IF_VALUES)) {
    fprintf(stderr, "ppdump: -traditional-cpp makes text, not the tokens these dumps show\n");
    return false;
  }
  return true;
}

static void apply_settings(preprocessor_reader *reader, const ppdump_settings &s)
{
  cpp_reader_options *o = options_of(reader);
  o->objc_mode = s.objc;
  o->drop_comments = !s.keep_comments;
  o->drop_comments_in_macros = !s.keep_comments_in_macros;
  if (s.trigraphs >= 0)
    o->trigraph_sequences = uint8_t(s.trigraphs);
  if (s.warn_trigraphs >= 0)
    o->warn_trigraph_use = uint8_t(s.warn_trigraphs);
  if (s.warn_comments >= 0)
    o->warn_nested_comments = uint8_t(s.warn_comments);
  if (s.bidi_mode >= 0)
    o->bidi_warning_mode = uint8_t(s.bidi_mode);
  if (s.normalized >= 0)
    o->normalization_warning_level = s.normalized;
  o->pedantic_mode = uint8_t(s.pedantic);
  o->traditional_mode = s.traditional;
  o->directives_only = s.directives_only;
  o->dollars_in_identifiers = s.dollars;
  o->warn_undefined_in_if = s.warn_undef;
  o->warn_unused_macro = s.warn_unused_macros;
  o->warn_defined_in_expansion = s.warn_expansion_to_defined;
  o->tab_stop = uint8_t(s.tab_stop);
  if (s.tracking >= 0)
    o->macro_expansion_tracking = uint8_t(s.tracking);
  o->deps_style = s.deps_style;
  o->deps_missing_files = s.deps_missing;
  o->deps_phony_targets = s.deps_phony;
  o->deps_module_output = s.deps_modules;
  o->list_included_files = s.list_includes;
  o->use_remap_files = s.remap;
  o->deps_need_preprocessed_output = s.deps_with_output || !s.deps_missing;
  if (s.input_charset)
    o->input_charset_name = s.input_charset;
  if (s.exec_charset)
    o->narrow_charset_name = s.exec_charset;
  if (s.wide_charset)
    o->wide_charset_name = s.wide_charset;
}

static source_dialect chosen_dialect(const ppdump_settings &s)
{
  if (s.assembler)
    return DIALECT_ASM;
  if (s.dialect_given)
    return s.dialect;
  return s.cplusplus ? DIALECT_KAVXX17 : DIALECT_KAV17;
}

// ---- Output ----

static expanded_location where_in_file(linemap_set *set, location_t location)
{
  if (location_is_adhoc(location))
    location = adhoc_locus(set, location);
  const ordinary_map *map = linemap_find_ordinary_map(set, location);
  expanded_location result = {};
  if (map) {
    result.file = map->file_name;
    result.line = int32_t(ordinary_map_line(map, location));
    result.column = int32_t(ordinary_map_column(map, location));
  }
  return result;
}

static expanded_location where(location_t location)
{
  return where_in_file(line_table, location);
}

static void print_flags(uint16_t flags)
{
  static const struct {
    uint16_t bit;
    const char *name;
  } names[] = {
      {TOK_SPACE_BEFORE, "SPACE_BEFORE"},     {TOK_DIGRAPH, "DIGRAPH"},
      {TOK_NAMED_OPERATOR, "NAMED_OPERATOR"}, {TOK_FALLTHROUGH_BEFORE, "FALLTHROUGH_BEFORE"},
      {TOK_LINE_START, "LINE_START"},         {TOK_COLON_PAIR, "COLON_PAIR"},
      {TOK_NO_EXPAND, "NO_EXPAND"},
  };
  const char *separator = "";
  for (const auto &row : names) {
    if (flags & row.bit) {
      printf("%s%s", separator, row.name);
      separator = "|";
    }
  }
  if (*separator == '\0')
    printf("-");
}

// A spelling on one line: tabs, newlines, backslashes and control bytes
// escaped, so that tests can split the fields at tabs.
static void print_escaped(const unsigned char *text, uint64_t length)
{
  for (uint64_t i = 0; i < length; i++) {
    unsigned char c = text[i];
    if (c == '\\')
      fputs("\\\\", stdout);
    else if (c == '\n')
      fputs("\\n", stdout);
    else if (c == '\t')
      fputs("\\t", stdout);
    else if (c < 0x20 || c == 0x7f)
      printf("\\x%02x", c);
    else
      putchar(c);
  }
}

// One token a line, tab-separated: kind, escaped spelling, flags, and the
// locations given.
static void print_token_record(preprocessor_reader *reader, const preproc_token *token)
{
  const char *kind =
      cpp_kind_category(token->kind) == TC_OPERATOR ? "OP" : cpp_kind_name(token->kind, 0);
  printf("%s\t", kind);
  if (token->kind != TK_EOF) {
    uint64_t bound = cpp_spelling_bound(token);
    unsigned char *text = static_cast<unsigned char *>(checked_malloc(bound + 1));
    unsigned char *end = cpp_write_token_text(reader, token, text, true);
    print_escaped(text, uint64_t(end - text));
    free(text);
  }
  putchar('\t');
  print_flags(token->flags);
}

static void dump_raw_tokens(preprocessor_reader *reader)
{
  for (;;) {
    const preproc_token *token = probe_raw_token(reader);
    expanded_location at = where(token->location);
    print_token_record(reader, token);
    printf("\t%u:%d\n", uint32_t(at.line), at.column);
    if (token->kind == TK_EOF)
      break;
  }
}

static void dump_lines(preprocessor_reader *reader)
{
  uint32_t number = 0;
  const unsigned char *text;
  uint64_t length;
  while (probe_prepare_line(reader, &text, &length)) {
    printf("%u: ", ++number);
    fwrite(text, 1, size_t(length), stdout);
    putchar('\n');
    for (uint32_t i = 0, count = probe_line_note_count(reader); i < count; i++) {
      probe_line_note note = probe_line_note_at(reader, i);
      if (note.kind == '\n')
        continue;
      long offset = long(note.offset);
      if (note.kind == '\\' || note.kind == ' ')
        printf("  note %ld %s\n", offset, note.kind == ' ' ? "splice-space" : "splice");
      else
        printf("  note %ld ??%c\n", offset, int(note.kind));
    }
  }
}

static bool is_literal_kind(int kind)
{
  int plain = userdef_char_to_plain(userdef_string_to_plain(kind));
  return (plain >= TK_CHAR && plain <= TK_UTF8CHAR) ||
         (plain >= TK_STRING && plain <= TK_UTF8STRING);
}

// Each string or character literal: "LINE:COLUMN bytes", the bytes in hex
// with the terminator, and for a character constant " = value".
static void dump_literals(preprocessor_reader *reader)
{
  for (const preproc_token *token = cpp_get_token(reader); token->kind != TK_EOF;
       token = cpp_get_token(reader)) {
    if (!is_literal_kind(token->kind))
      continue;
    int kind = userdef_char_to_plain(userdef_string_to_plain(token->kind));
    expanded_location at = where(token->location);
    printf("%u:%d", uint32_t(at.line), at.column);
    byte_string in = {token->value.str.length, token->value.str.text}, out;
    if (!interpret_string_plain(reader, &in, 1, &out, kind)) {
      printf(" error\n");
      continue;
    }
    for (uint32_t i = 0; i < out.length; i++)
      printf(" %02x", out.text[i]);
    free(const_cast<unsigned char *>(out.text));
    if (kind == token->kind && kind >= TK_CHAR && kind <= TK_UTF8CHAR) {
      uint32_t characters;
      bool unsignedp;
      uint32_t value = interpret_char_constant(reader, token, &characters, &unsignedp);
      if (unsignedp)
        printf(" = %uu", value);
      else
        printf(" = %d", int32_t(value));
    }
    putchar('\n');
  }
}

// The rest of the directive line, through the directive's own end.
static void read_directive_line(preprocessor_reader *reader)
{
  while (cpp_get_token(reader)->kind != TK_EOF) {
  }
}

static bool is_conditional_directive(const preproc_token *name)
{
  static const char *const names[] = {"ifdef", "ifndef", "else", "endif", "elifdef", "elifndef"};
  for (const char *text : names)
    if (cpp_token_is_name(name, text))
      return true;
  return false;
}

// Every #if and #elif, in every group, evaluated on its own: "LINE: VALUE"
// or "LINE: error". The other conditional directives are read over, so that
// no group is skipped; every other directive runs (macros are defined).
static void dump_if_values(preprocessor_reader *reader)
{
  for (;;) {
    const preproc_token *token = probe_scan_token(reader);
    if (token->kind == TK_EOF)
      break;
    if (token->kind != TK_HASH || !(token->flags & TOK_LINE_START))
      continue;
    uint32_t line = uint32_t(where(token->location).line);
    bool indented = (token->flags & TOK_SPACE_BEFORE) != 0;
    const preproc_token *name = probe_directive_name(reader);
    bool is_if = cpp_token_is_name(name, "if");
    if (is_if || cpp_token_is_name(name, "elif")) {
      expr_value value;
      if (probe_evaluate_if(reader, is_if, &value))
        printf("%u: %s\n", line, expr_value_text(value, options_of(reader)->precision).c_str());
      else
        printf("%u: error\n", line);
    } else if (is_conditional_directive(name)) {
      read_directive_line(reader);
    } else if (name->kind != TK_EOF) {
      probe_run_directive(reader, indented);
    }
    probe_leave_directive(reader);
  }
}

// The text output is gathered here and written in large pieces: one stdio
// call per token costs more than scanning the token.
struct output_buffer {
  enum { SIZE = 1 << 16 };
  char data[SIZE];
  size_t used = 0;
};

static void flush_output(output_buffer *out)
{
  fwrite(out->data, 1, out->used, stdout);
  out->used = 0;
}

// Room for N more bytes; a piece larger than the whole buffer goes out on
// its own.
static char *reserve(output_buffer *out, size_t n)
{
  if (out->used + n > output_buffer::SIZE)
    flush_output(out);
  return n <= output_buffer::SIZE ? out->data + out->used : nullptr;
}

static void emit(output_buffer *out, const void *text, size_t n)
{
  char *at = reserve(out, n);
  if (at == nullptr) {
    fwrite(text, 1, n, stdout);
    return;
  }
  memcpy(at, text, n);
  out->used += n;
}

static void emit_char(output_buffer *out, char c)
{
  if (out->used == output_buffer::SIZE)
    flush_output(out);
  out->data[out->used++] = c;
}

static void emit_text(output_buffer *out, const char *text)
{
  emit(out, text, strlen(text));
}

static void emit_number(output_buffer *out, long value)
{
  char digits[24];
  emit(out, digits, size_t(snprintf(digits, sizeof digits, "%ld", value)));
}

// A linemarker's line and file: "# 6 \"a\\\"q.c\"", read back as the same
// name by whatever preprocesses the output again.
static void emit_linemarker(output_buffer *out, uint32_t line, const char *file)
{
  emit_text(out, "# ");
  emit_number(out, long(line));
  emit_text(out, " \"");
  size_t length = strlen(file);
  std::vector<unsigned char> quoted(2 * length + 1);
  const unsigned char *text = reinterpret_cast<const unsigned char *>(file);
  unsigned char *end = cpp_escape_string(quoted.data(), text, length);
  emit(out, reinterpret_cast<const char *>(quoted.data()), size_t(end - quoted.data()));
  emit_char(out, '"');
}

// As cpp_print_token writes it: a header name between double quotes.
static void emit_token(output_buffer *out, preprocessor_reader *reader,
                       const preproc_token *token)
{
  size_t bound = size_t(cpp_spelling_bound(token)) + 2;
  char *at = reserve(out, bound);
  if (at == nullptr) {
    flush_output(out);
    cpp_print_token(token, stdout);
    return;
  }
  unsigned char *start = reinterpret_cast<unsigned char *>(at);
  unsigned char *end = start;
  bool quoted = token->kind == TK_HEADER_NAME;
  if (quoted)
    *end++ = '"';
  end = cpp_write_token_text(reader, token, end, false);
  if (quoted)
    *end++ = '"';
  out->used += size_t(end - start);
}

struct text_printer {
  const char *file = nullptr;
  uint32_t line = 0;
  bool printed = false; // something is on the current output line
  const preproc_token *previous = nullptr;
  preproc_token previous_copy = {};
  bool linemarkers = true;
  expanded_location pending = {};
  bool has_pending = false;
  output_buffer out;
};

static void print_linemarker(text_printer *p, const char *file, uint32_t line)
{
  if (p->printed)
    emit_char(&p->out, '\n');
  p->printed = false;
  if (p->linemarkers) {
    emit_linemarker(&p->out, line, file);
    emit_char(&p->out, '\n');
  }
  p->file = file;
  p->line = line;
}

// Moves the output to the token's line: newlines for a short gap, a
// linemarker for a long one or another file.
static void move_to_line(text_printer *p, const expanded_location &at)
{
  // Lines run to 2^32 - 1.
  uint32_t line = uint32_t(at.line);
  if (p->file == nullptr || strcmp(p->file, at.file) != 0 || line < p->line ||
      uint64_t(line) > uint64_t(p->line) + 8) {
    print_linemarker(p, at.file, line);
    return;
  }
  if (p->printed) {
    emit_char(&p->out, '\n');
    p->line++;
  }
  while (p->line < line) {
    emit_char(&p->out, '\n');
    p->line++;
  }
  p->printed = false;
}

static text_printer *active_printer;

static void write_text_so_far()
{
  text_printer *p = active_printer;
  if (p == nullptr)
    return;
  if (p->printed)
    emit_char(&p->out, '\n');
  p->printed = false;
  flush_output(&p->out);
  fflush(stdout);
}

// Entering and leaving files: a linemarker with its flags, as compilers
// read them back (1 enter, 2 return, 3 system header).
// -H: each header entered, on standard error, after a dot for each level it
// is nested at.
static void list_included_file(preprocessor_reader *reader, const ordinary_map *map)
{
  if (!options_of(reader)->list_included_files || map == nullptr ||
      map->reason != LC_ENTER || map->includer_location == 0)
    return;
  for (uint32_t level = 1; level < line_table->include_depth; level++)
    putc('.', stderr);
  fprintf(stderr, " %s\n", map->file_name);
}

static void note_file_change(preprocessor_reader *reader, const ordinary_map *map)
{
  list_included_file(reader, map);
  text_printer *p = active_printer;
  if (p == nullptr || map == nullptr)
    return;
  if (p->printed)
    emit_char(&p->out, '\n');
  p->printed = false;
  p->has_pending = false;
  p->file = map->file_name;
  p->line = map->first_line;
  if (!p->linemarkers)
    return;
  emit_linemarker(&p->out, map->first_line, map->file_name);
  if (map->reason == LC_ENTER && map->includer_location)
    emit_text(&p->out, " 1");
  else if (map->reason == LC_LEAVE)
    emit_text(&p->out, " 2");
  if (map->in_system_header)
    emit_text(&p->out, " 3");
  if (map->in_system_header == SYSTEM_HEADER_C_LINKAGE)
    emit_text(&p->out, " 4");
  emit_char(&p->out, '\n');
}

// -dD: definitions and removals stay in the text where they stood.
static void print_directive_line(preprocessor_reader *reader, const char *kind, ident_node *node)
{
  text_printer *p = active_printer;
  if (p == nullptr)
    return;
  if (p->printed)
    emit_char(&p->out, '\n');
  emit_char(&p->out, '#');
  emit_text(&p->out, kind);
  emit_char(&p->out, ' ');
  if (strcmp(kind, "define") == 0)
    emit_text(&p->out, reinterpret_cast<const char *>(cpp_macro_text(reader, node)));
  else
    emit_text(&p->out, node->text);
  emit_char(&p->out, '\n');
  p->printed = false;
  p->line++;
}

static void note_define(preprocessor_reader *reader, location_t, ident_node *node)
{
  print_directive_line(reader, "define", node);
}

static void note_undef(preprocessor_reader *reader, location_t, ident_node *node)
{
  print_directive_line(reader, "undef", node);
}

// Pragmas the library does not run are passed through to the compiler.
static void print_unknown_pragma(preprocessor_reader *reader, location_t)
{
  text_printer *p = active_printer;
  if (p) {
    if (p->printed)
      emit_char(&p->out, '\n');
    flush_output(&p->out);
  }
  fputs("#pragma ", stdout);
  cpp_print_rest_of_line(reader, stdout);
  if (p) {
    p->printed = false;
    p->line++;
  }
}

// The start of a source line outside macro arguments: the next token
// printed goes to that line.
static void note_line_change(preprocessor_reader *, const preproc_token *token,
                             int parsing_args)
{
  if (parsing_args || token->kind == TK_EOF || active_printer == nullptr)
    return;
  active_printer->pending = where(token->location);
  active_printer->has_pending = active_printer->pending.file != nullptr;
}

// A string and a name that were not written together (a failed paste) are
// kept apart in every dialect, so that a reader for C++11 does not take the
// name for the literal's suffix.
static bool reads_as_suffix(const preproc_token *previous, const preproc_token *token)
{
  return previous->kind >= TK_STRING && previous->kind <= TK_UTF8STRING &&
         token->kind == TK_NAME;
}

// Whether a blank goes before TOKEN on a line already begun. Tokens that
// stood next to each other in the source are printed as they stood; where
// PADDING came between (an expansion began or ended there), SOURCE is the
// token whose white space stands for the gap, and a blank also goes where
// the two tokens would read back as one.
static bool blank_before(preprocessor_reader *reader, const text_printer &p,
                         const preproc_token *token, bool padded, const preproc_token *source)
{
  if (!padded)
    return (token->flags & TOK_SPACE_BEFORE) != 0;
  if (source == nullptr)
    source = token;
  if (source->flags & TOK_SPACE_BEFORE)
    return true;
  return p.previous &&
         (cpp_needs_space_between(reader, p.previous, token) || reads_as_suffix(p.previous, token));
}

// Expanded text: PADDING tokens stand for white space a macro expansion
// removed or for a separation that keeps two tokens from pasting.
static void dump_text(preprocessor_reader *reader, text_printer &p)
{
  active_printer = &p;
  callbacks_of(reader)->line_change = note_line_change;
  const preproc_token *source = nullptr;
  bool padded = false;
  for (;;) {
    const preproc_token *token = cpp_next_token(reader);
    if (token->kind == TK_EOF)
      break;
    if (token->kind == TK_PADDING) {
      if (source == nullptr ||
          (!(source->flags & TOK_SPACE_BEFORE) && token->value.source == nullptr))
        source = token->value.source;
      padded = true;
      continue;
    }
    if (p.has_pending) {
      p.has_pending = false;
      move_to_line(&p, p.pending);
      for (int32_t i = 1; i < p.pending.column; i++)
        emit_char(&p.out, ' ');
    } else if (p.printed && blank_before(reader, p, token, padded, source)) {
      emit_char(&p.out, ' ');
    }
    source = nullptr;
    padded = false;
    emit_token(&p.out, reader, token);
    p.printed = true;
    p.previous_copy = *token;
    p.previous = &p.previous_copy;
  }
  if (p.printed)
    emit_char(&p.out, '\n');
  flush_output(&p.out);
  active_printer = nullptr;
}

// -fdirectives-only: the text between directives is copied as it stands;
// after a directive the output moves to the line where the text resumes.
static void print_directives_only(preprocessor_reader *reader, dironly_task task, void *data,
                                  const dironly_event &event)
{
  text_printer *p = static_cast<text_printer *>(data);
  if (task == DIRONLY_TEXT) {
    emit(&p->out, event.text, event.length);
    p->line += event.lines;
    p->printed = event.text[event.length - 1] != '\n';
  } else if (task == DIRONLY_LOCATION) {
    move_to_line(p, where(event.location));
  } else {
    if (p->printed && (event.token->flags & TOK_SPACE_BEFORE))
      emit_char(&p->out, ' ');
    if (event.token->kind == TK_PRAGMA_EOL) {
      emit_char(&p->out, '\n');
      p->line++;
      p->printed = false;
      return;
    }
    emit_token(&p->out, reader, event.token);
    p->printed = true;
  }
}

// -traditional-cpp: each logical line as the library scanned it out, on
// the line where it began; its own newlines (kept comments, a macro name
// waiting for its "(" on the next line) are counted.
static void dump_traditional(preprocessor_reader *reader, text_printer &p)
{
  active_printer = &p;
  const unsigned char *text;
  uint64_t length;
  location_t first_line;
  while (cpp_read_traditional_line(reader, &text, &length, &first_line)) {
    move_to_line(&p, where(first_line));
    emit(&p.out, text, length);
    p.printed = true;
    p.line += uint32_t(std::count(text, text + length, '\n'));
  }
  if (p.printed)
    emit_char(&p.out, '\n');
  flush_output(&p.out);
  active_printer = nullptr;
}

// --tokens: the expanded stream in the raw-token format, with the
// expansion point and then the spelling location.
static void dump_tokens(preprocessor_reader *reader)
{
  for (;;) {
    location_t location;
    const preproc_token *token = cpp_next_token_with_location(reader, &location);
    if (token->kind == TK_PADDING)
      continue;
    linemap_set *set = line_table;
    expanded_location at =
        where(linemap_resolve_location(set, location, RESOLVE_TO_EXPANSION, nullptr));
    expanded_location spelled =
        where(linemap_resolve_location(set, token->location, RESOLVE_TO_SPELLING, nullptr));
    print_token_record(reader, token);
    printf("\t%u:%d\t%u:%d\n", uint32_t(at.line), at.column, uint32_t(spelled.line),
           spelled.column);
    if (token->kind == TK_EOF)
      break;
  }
}

// One step of a virtual location toward the file: an argument's token to
// where the argument was spelled, a definition's token to where its macro
// was expanded. *PLACE receives the token's place in the definition.
static location_t step_outward(linemap_set *set, location_t location, bool *argument,
                               location_t *place)
{
  const macro_map *map = static_cast<const macro_map *>(linemap_find_map(set, location));
  uint32_t i = location - map->start;
  location_t spelling = map->token_locations[2 * i];
  *place = map->token_locations[2 * i + 1];
  *argument = spelling != *place;
  return *argument ? spelling : map->expansion_point;
}

static bool in_macro_map(linemap_set *set, location_t location)
{
  return map_is_macro_map(linemap_find_map(set, location));
}

// Where a token's location leads, as a front end's "expanded from" notes
// show it: first its place in the file, then, outermost first, where it
// stands in each macro definition it came through. An argument's token leads
// to where the argument was written; the levels it came through as an
// argument get no note, though the expansion that named their macro does.
static void print_location_chain(linemap_set *set, location_t location)
{
  if (location_is_adhoc(location))
    location = adhoc_locus(set, location);
  std::vector<location_t> notes;
  std::vector<location_t> callers; // each step's way on from its macro
  size_t ignored = 0;
  location_t at = location;
  while (in_macro_map(set, at)) {
    bool argument;
    location_t place;
    location_t next = step_outward(set, at, &argument, &place);
    const macro_map *map = static_cast<const macro_map *>(linemap_find_map(set, at));
    notes.push_back(place);
    callers.push_back(map->expansion_point);
    if (argument)
      ignored = notes.size();
    at = in_macro_map(set, next) ? next : callers.back();
  }
  location_t file = location;
  while (in_macro_map(set, file)) {
    bool argument;
    location_t place;
    file = step_outward(set, file, &argument, &place);
  }
  expanded_location e = where_in_file(set, file);
  printf("\t%u:%d", uint32_t(e.line), e.column);
  for (size_t i = notes.size(); i-- > ignored;) {
    e = where_in_file(set, notes[i]);
    printf("\t%u:%d", uint32_t(e.line), e.column);
  }
}

// --locations: each token of the expanded stream with its location chain.
static void dump_locations(preprocessor_reader *reader)
{
  for (;;) {
    location_t location;
    const preproc_token *token = cpp_next_token_with_location(reader, &location);
    if (token->kind == TK_EOF)
      break;
    if (token->kind == TK_PADDING)
      continue;
    print_token_record(reader, token);
    print_location_chain(line_table, location);
    putchar('\n');
  }
}

static int print_macro(preprocessor_reader *reader, ident_node *node, void *)
{
  if (node->kind == IK_MACRO)
    printf("#define %s\n", reinterpret_cast<const char *>(cpp_macro_text(reader, node)));
  return 1;
}

// Reads the whole input for its side effects (-M, -dM).
static void read_everything(preprocessor_reader *reader)
{
  if (options_of(reader)->traditional_mode) {
    const unsigned char *text;
    uint64_t length;
    location_t first_line;
    while (cpp_read_traditional_line(reader, &text, &length, &first_line))
      ;
    return;
  }
  while (cpp_next_token(reader)->kind != TK_EOF)
    ;
}

static void read_for_macros(preprocessor_reader *reader, const char *name)
{
  text_printer *printer = active_printer;
  active_printer = nullptr;
  if (push_include_file(reader, name))
    cpp_skip_rest_of_file(reader);
  active_printer = printer;
}

// A chain of search directories in command-line order; heap records.
static search_dir *chain_of(const word_list &words, uint8_t system_kind, search_dir *tail)
{
  search_dir *head = tail;
  for (int i = words.count; i-- > 0;) {
    search_dir *directory = checked_new_cleared<search_dir>();
    directory->name = words.words[i];
    directory->system_kind = system_kind;
    directory->user_supplied = 1;
    directory->next = head;
    head = directory;
  }
  return head;
}

static void free_chain(search_dir *head, search_dir *stop)
{
  while (head != stop) {
    search_dir *next = head->next;
    free(head);
    head = next;
  }
}

static void write_rules(preprocessor_reader *reader, const ppdump_settings &s)
{
  dep_record *record = dependencies_of(reader);
  deps_add_implicit_target(record, s.input);
  // A header unit is named by its header, as an import names it.
  bool relative = s.input[0] != '/' && strncmp(s.input, "./", 2) != 0;
  std::string unit = (relative ? "./" : "") + std::string(s.input);
  if (s.module || s.header_unit)
    deps_add_module_target(record, s.header_unit ? unit.c_str() : s.module, s.module_file,
                           s.header_unit);
  for (int i = 0; i < s.imports.count; i++)
    deps_add_imported_module(record, s.imports.words[i]);
  FILE *stream = stdout;
  char *default_name = nullptr;
  if (s.deps_file) {
    stream = strcmp(s.deps_file, "-") == 0 ? stdout : fopen(s.deps_file, "w");
  } else if (s.deps_with_output) {
    const char *base = path_base_name(s.input[0] ? s.input : "-");
    const char *dot = strrchr(base, '.');
    size_t stem = dot ? size_t(dot - base) : strlen(base);
    default_name = static_cast<char *>(checked_malloc(stem + 3));
    memcpy(default_name, base, stem);
    memcpy(default_name + stem, ".d", 3);
    stream = fopen(default_name, "w");
  }
  if (stream == nullptr) {
    fprintf(stderr, "ppdump: cannot write the dependency file\n");
  } else {
    deps_print(reader, stream, 72);
    if (stream != stdout)
      fclose(stream);
  }
  free(default_name);
}

int main(int argc, const char **argv)
{
  alloc_set_program_name("ppdump");
  // As the compiler's: macro arguments nested thousands deep pre-expand
  // recursively.
  raise_stack_limit(0x4000000);
  diagnostic_state_init(&global_diagnostic_state, int(option_count));
  context_color_setup(&global_diagnostic_state, -1);
  // As a compiler shows them: columns, source lines with carets and the
  // controlling option.
  global_diagnostic_state.name_of_option = option_name;
  global_diagnostic_state.show_option = true;
  global_diagnostic_state.show_column = true;
  global_diagnostic_state.show_caret = true;
  global_diagnostic_state.show_labels = true;
  init_option_obstack();

  ppdump_settings settings;
  if (!parse_arguments(&settings, argc, argv))
    return 1;
  global_diagnostic_state.werror_all = settings.werror;
  global_diagnostic_state.tab_stop = uint32_t(settings.tab_stop);

  linemap_set lines;
  linemap_set_init(&lines, BUILTINS_LOCATION);
  lines.grow_fn = table_arena_grow;
  lines.packed_range_bits = 5;
  line_table = &lines;

  preprocessor_reader *reader = reader_create(chosen_dialect(settings), nullptr, &lines);
  if (settings.cplusplus)
    options_of(reader)->cplusplus_mode = 1;
  apply_settings(reader, settings);
  callbacks_of(reader)->diagnostic = report;
  reader_post_options(reader);
  init_converters(reader);
  // -undef drops the system's and the target's macros, of which ppdump
  // defines none: the language standard's own stay, as they must.
  define_standard_builtins(reader, true);
  for (int i = 0; i < settings.define_count; i++) {
    if (settings.define_is_undef[i])
      undef_from_text(reader, settings.defines[i]);
    else
      define_from_text(reader, settings.defines[i]);
  }
  for (int i = 0; i < settings.assertions.count; i++) {
    const char *text = settings.assertions.words[i];
    if (text[0] == '-')
      unassert_from_text(reader, text + 1);
    else
      assert_from_text(reader, text);
  }
  search_dir *bracket =
      chain_of(settings.bracket_dirs, SYSTEM_NONE,
               chain_of(settings.system_dirs, SYSTEM_HEADER,
                        chain_of(settings.after_dirs, SYSTEM_HEADER, nullptr)));
  search_dir *quote = chain_of(settings.quote_dirs, SYSTEM_NONE, bracket);
  install_include_chains(reader, quote, bracket, false);
  text_printer printer;
  printer.linemarkers = !settings.no_linemarkers;
  bool text_wanted = settings.mode == DUMP_TEXT && settings.macro_dump != 'M' &&
                     (settings.deps_style == 0 || settings.deps_with_output);
  if (text_wanted) {
    active_printer = &printer;
    callbacks_of(reader)->file_change = note_file_change;
    callbacks_of(reader)->unknown_pragma = print_unknown_pragma;
    // Directives-only output keeps the definitions, so that a later full
    // run over it expands as a run over the source would.
    if (settings.macro_dump == 'D' || settings.directives_only) {
      callbacks_of(reader)->define = note_define;
      callbacks_of(reader)->undef = note_undef;
    }
  }
  if (settings.list_includes)
    callbacks_of(reader)->file_change = note_file_change;
  // Targets come first: without any, the main file names the default one.
  if (settings.deps_style)
    for (int i = 0; i < settings.targets.count; i++)
      deps_add_rule_target(dependencies_of(reader), settings.targets.words[i],
                           settings.target_quoted[i]);
  // The library takes a directory for a missing file; named as the input,
  // it is reported for what it is.
  struct stat input_info;
  if (settings.input[0] && stat(settings.input, &input_info) == 0 &&
      S_ISDIR(input_info.st_mode))
    fatal_error(0, "%s: %s", settings.input, error_text(EISDIR));
  if (open_main_file(reader, settings.input, false) != nullptr) {
    // Read for their definitions only, before anything else.
    for (int i = 0; i < settings.macro_files.count; i++)
      read_for_macros(reader, settings.macro_files.words[i]);
    // Stacked last to first, so that the first is read first.
    for (int i = settings.includes.count; i-- > 0;)
      push_include_file(reader, settings.includes.words[i]);
    switch (settings.mode) {
    case DUMP_LINES: dump_lines(reader); break;
    case DUMP_RAW_TOKENS: dump_raw_tokens(reader); break;
    case DUMP_TOKENS: dump_tokens(reader); break;
    case DUMP_LOCATIONS: dump_locations(reader); break;
    case DUMP_TEXT:
      if (text_wanted && settings.directives_only)
        cpp_directive_only_process(reader, &printer, print_directives_only);
      else if (text_wanted && settings.traditional)
        dump_traditional(reader, printer);
      else if (text_wanted)
        dump_text(reader, printer);
      else
        read_everything(reader);
      break;
    case DUMP_LITERALS: dump_literals(reader); break;
    case DUMP_IF_VALUES: dump_if_values(reader); break;
    }
    flush_output(&printer.out);
    if (settings.macro_dump == 'M')
      cpp_each_identifier(reader, print_macro, nullptr);
    if (settings.deps_style)
      write_rules(reader, settings);
  }
  active_printer = nullptr;
  reader_finish(reader, nullptr);
  free_chain(quote, bracket);
  reader_destroy(reader);
  free_chain(bracket, nullptr);
  fflush(stdout);
  int status = errors_reported() ? 1 : 0;
  diagnostic_state_finish(&global_diagnostic_state);
  line_table = nullptr;
  table_arena_release(&lines);
  return status;
}
