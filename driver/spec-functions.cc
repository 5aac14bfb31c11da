// Spec functions: "%:name(args)" calls a function of the driver with the
// expanded argument words; the text it returns is expanded in place.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"
#include "driver/search-paths.h"
#include "support/alloc.h"
#include "support/char-class.h"
#include "support/concat.h"
#include "support/file-names.h"
#include "support/regex.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

// A call from spec text with the wrong number of words. Spec files are user
// input, so this is a spec error rather than a failed consistency check.
static void require_words(const char *function, int argc, int wanted)
{
  if (argc != wanted)
    fatal_error(0, "wrong number of arguments to %%:%s", function);
}

// "true" for a condition: an empty text that expands to nothing.
static const char empty_true[] = "";

static bool absolute_and_readable(const char *file)
{
  return file[0] == '/' && access(file, R_OK) == 0;
}

static const char *getenv_spec_function(int argc, const char **argv)
{
  if (argc != 2)
    return nullptr;
  const char *value = env.getenv(argv[0]);
  if (!value) {
    if (!command.queries_only)
      fatal_error(0, "environment variable %qs not defined", argv[0]);
    // A bare query expands specs it never runs: a stand-in value will do.
    value = collect_concat("/", argv[0], nullptr);
  }
  // Every character escaped, so that blanks stay inside the word.
  for (const char *p = value; *p; p++) {
    obstack_append_byte(&spec_expansion.collect_obstack, '\\');
    obstack_append_byte(&spec_expansion.collect_obstack, *p);
  }
  obstack_append_text(&spec_expansion.collect_obstack, argv[1]);
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  return static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

static const char *if_exists_spec_function(int argc, const char **argv)
{
  if (argc == 1 && absolute_and_readable(argv[0]))
    return argv[0];
  return nullptr;
}

static const char *if_exists_else_spec_function(int argc, const char **argv)
{
  if (argc != 2)
    return nullptr;
  return absolute_and_readable(argv[0]) ? argv[0] : argv[1];
}

static const char *if_exists_then_else_spec_function(int argc, const char **argv)
{
  if (argc != 2 && argc != 3)
    return nullptr;
  if (absolute_and_readable(argv[0]))
    return argv[1];
  return argc == 3 ? argv[2] : nullptr;
}

static const char *sanitize_spec_function(int argc, const char **argv)
{
  if (argc != 1)
    return nullptr;
  uint64_t bits = driver_flag_sanitize();
  const char *name = argv[0];
  bool on = false;
  if (strcmp(name, "address") == 0)
    on = bits & 0x2;
  else if (strcmp(name, "hwaddress") == 0)
    on = bits & 0x20000000;
  else if (strcmp(name, "kernel-address") == 0)
    on = bits & 0x4;
  else if (strcmp(name, "kernel-hwaddress") == 0)
    on = bits & 0x40000000;
  else if (strcmp(name, "thread") == 0)
    on = bits & 0x8;
  else if (strcmp(name, "undefined") == 0)
    on = (bits & 0x3ffffe0) && !driver_sanitize_undefined_trap_on_error();
  else if (strcmp(name, "leak") == 0)
    on = (bits & 0x10) && !(bits & (0x1 | 0x8));
  else
    return nullptr;
  return on ? empty_true : nullptr;
}

static const char *replace_outfile_spec_function(int argc, const char **argv)
{
  require_words("replace-outfile", argc, 2);
  for (int i = 0; spec_expansion.output_names && i < input_files.input_count; i++)
    if (spec_expansion.output_names[i] &&
        path_compare(spec_expansion.output_names[i], argv[0]) == 0)
      spec_expansion.output_names[i] = collect_concat(argv[1], nullptr);
  return nullptr;
}

static const char *remove_outfile_spec_function(int argc, const char **argv)
{
  require_words("remove-outfile", argc, 1);
  for (int i = 0; spec_expansion.output_names && i < input_files.input_count; i++)
    if (spec_expansion.output_names[i] &&
        path_compare(spec_expansion.output_names[i], argv[0]) == 0)
      spec_expansion.output_names[i] = nullptr;
  return nullptr;
}

// Versions are numbers without leading zeros joined by dots.
static bool valid_version(const char *text)
{
  // Compiled once per process: the pattern is a constant, the same for every run.
  static regex_pattern pattern;
  static bool compiled;
  if (!compiled) {
    if (regex_posix_compile(&pattern, "^([1-9][0-9]*|0)(\\.([1-9][0-9]*|0))*$",
                            REG_EXTENDED | REG_NOSUB) != 0)
      vuz_unreachable();
    compiled = true;
  }
  return regex_posix_exec(&pattern, text, 0, nullptr, 0) == 0;
}

static int compare_version_strings(const char *a, const char *b)
{
  if (!valid_version(a))
    fatal_error(0, "invalid version number %qs", a);
  if (!valid_version(b))
    fatal_error(0, "invalid version number %qs", b);
  return strverscmp(a, b);
}

static const char *version_compare_spec_function(int argc, const char **argv)
{
  if (argc < 3)
    fatal_error(0, "too few arguments to %%:version-compare");
  const char *op = argv[0];
  // Spec files are user input: an empty operator is an unknown one.
  if (!*op)
    fatal_error(0, "unknown operator %qs in %%:version-compare", op);
  int versions = (op[0] != '!' && (op[1] == '<' || op[1] == '>')) ? 2 : 1;
  if (argc != versions + 3)
    fatal_error(0, "too many arguments to %%:version-compare");
  const char *switch_prefix = argv[1 + versions];
  const char *result = argv[2 + versions];
  size_t prefix_length = strlen(switch_prefix);
  const char *version = nullptr;
  for (int i = 0; i < saved_switches.switch_count; i++)
    if (switch_begins_with(saved_switches.switches[i].text, switch_prefix, prefix_length) &&
        switch_is_live(i, static_cast<int>(prefix_length)))
      version = saved_switches.switches[i].text + prefix_length;
  bool absent = version == nullptr;
  int c1 = absent ? 0 : compare_version_strings(version, argv[1]);
  int c2 = (absent || versions < 2) ? 0 : compare_version_strings(version, argv[2]);
  bool holds;
  if (strcmp(op, ">=") == 0)
    holds = !absent && c1 >= 0;
  else if (strcmp(op, "!>") == 0 || strcmp(op, "<") == 0)
    holds = absent || c1 < 0;
  else if (strcmp(op, "!<") == 0)
    holds = absent || c1 >= 0;
  else if (strcmp(op, "<>") == 0)
    holds = absent || c1 < 0 || c2 >= 0;
  else if (strcmp(op, "><") == 0)
    holds = !absent && c1 >= 0 && c2 < 0;
  else
    fatal_error(0, "unknown operator %qs in %%:version-compare", op);
  return holds ? result : nullptr;
}

// A spec file named by a spec: absolute when readable, else looked up.
static const char *find_spec_file(const char *name)
{
  if (absolute_and_readable(name))
    return name;
  char *found = locate_file(&startfile_prefixes, name, R_OK, true);
  if (!found)
    return name;
  const char *kept = collect_concat(found, nullptr);
  free(found);
  return kept;
}

static const char *include_spec_function(int argc, const char **argv)
{
  require_words("include", argc, 1);
  load_spec_file(find_spec_file(argv[0]), false, false);
  return nullptr;
}

static const char *find_file_spec_function(int argc, const char **argv)
{
  require_words("find-file", argc, 1);
  return find_spec_file(argv[0]);
}

static const char *find_plugindir_spec_function(int argc, const char **)
{
  require_words("find-plugindir", argc, 0);
  char *found = locate_file(&startfile_prefixes, "plugin", R_OK, false);
  const char *result = collect_concat("-iplugindir=", found ? found : "plugin", nullptr);
  free(found);
  return result;
}

static const char *print_asm_header_spec_function(int, const char **)
{
  printf("Assembler options\n=================\n\n");
  printf("Use \"-Wa,OPTION\" to pass \"OPTION\" to the assembler.\n\n");
  fflush(stdout);
  return nullptr;
}

static const char *pass_through_libs_spec_function(int argc, const char **argv)
{
  obstack_append_byte(&spec_expansion.collect_obstack, ' ');
  for (int i = 0; i < argc; i++) {
    const char *word = argv[i];
    if (strncmp(word, "-l", 2) == 0) {
      const char *name = word + 2;
      if (!*name) {
        if (i + 1 == argc)
          break;  // a "-l" that names nothing
        name = argv[++i];
      }
      obstack_append_text(&spec_expansion.collect_obstack, "-plugin-opt=-pass-through=-l");
      obstack_append_text(&spec_expansion.collect_obstack, name);
      obstack_append_byte(&spec_expansion.collect_obstack, ' ');
    } else {
      size_t n = strlen(word);
      if (n >= 2 && strcmp(word + n - 2, ".a") == 0) {
        obstack_append_text(&spec_expansion.collect_obstack, "-plugin-opt=-pass-through=");
        obstack_append_text(&spec_expansion.collect_obstack, word);
        obstack_append_byte(&spec_expansion.collect_obstack, ' ');
      }
    }
  }
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  return static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

// Makes a value safe for re-expansion as one spec word.
void append_spec_escaped(obstack *ob, const char *value)
{
  for (const char *p = value; *p; p++) {
    if (*p == ' ' || *p == '\t' || *p == '\n' || *p == '%' || *p == '\\' || *p == '|')
      obstack_append_byte(ob, '\\');
    obstack_append_byte(ob, *p);
  }
}

// As above, with an empty value kept as an empty word.
static void append_spec_quoted(obstack *ob, const char *value)
{
  if (!*value)
    obstack_append_text(ob, "%\"");
  else
    append_spec_escaped(ob, value);
}

static const char *dumps_spec_function(int argc, const char **argv)
{
  if (argc > 1)
    fatal_error(0, "too many arguments for %%:dumps");
  const char *ext;
  char *current_suffix = nullptr;
  if (command.dump_base_ext)
    ext = command.dump_base_ext;
  else if (command.dump_base && *command.dump_base)
    ext = "";
  else if (argc == 1)
    ext = argv[0];
  else
    ext = current_suffix = concat_strings(*current_input.current_input_suffix ? "." : "",
                                          current_input.current_input_suffix, nullptr);
  char *base;
  const char *tail;
  if (command.dump_base && *command.dump_base) {
    base = checked_strdup(command.dump_base);
    tail = base + (static_cast<size_t>(command.aux_base_length) <= strlen(base)
                       ? command.aux_base_length
                       : 0);
  } else if (command.aux_base) {
    base = checked_strdup(command.aux_base);
    tail = base + strlen(base);
  } else {
    base = checked_strndup(current_input.current_input_base,
                           static_cast<size_t>(current_input.current_base_suffixed_length));
    tail = base + current_input.current_base_length;
  }
  char *full;
  if (command.compare_debug_mode >= 0 && strcmp(tail, ext) == 0) {
    full = base;
  } else {
    base[tail - base] = '\0';
    full = concat_strings(base, command.compare_debug_mode < 0 ? ".gk" : "", ext, nullptr);
    free(base);
  }
  if (command.dump_dir) {
    obstack_append_text(&spec_expansion.collect_obstack, " -dumpdir ");
    append_spec_quoted(&spec_expansion.collect_obstack, command.dump_dir);
  }
  obstack_append_text(&spec_expansion.collect_obstack, " -dumpbase ");
  append_spec_quoted(&spec_expansion.collect_obstack, full);
  if (*ext) {
    obstack_append_text(&spec_expansion.collect_obstack, " -dumpbase-ext ");
    append_spec_quoted(&spec_expansion.collect_obstack, ext);
  }
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  free(full);
  free(current_suffix);
  return static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

// A decimal operand of the comparison functions; user spec text can pass
// anything, so a non-number is a spec error rather than a failed check.
static long spec_number(const char *function, const char *text)
{
  char *end;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (!*text || *end || errno)
    fatal_error(0, "invalid number %qs in %%:%s", text, function);
  return value;
}

static const char *gt_spec_function(int argc, const char **argv)
{
  if (argc == 0)
    fatal_error(0, "wrong number of arguments to %%:gt");
  if (argc == 1)
    return nullptr;
  // The value tested comes first and the bound last, as in
  // "%:gt(%{ftree-parallelize-loops=*:%*} 1)", which must hold for 4.
  long bound = spec_number("gt", argv[argc - 1]);
  long value = spec_number("gt", argv[argc - 2]);
  return value > bound ? empty_true : nullptr;
}

static const char *debug_level_gt_spec_function(int argc, const char **argv)
{
  if (argc != 1)
    fatal_error(0, "wrong number of arguments to %%:debug-level-gt");
  return driver_debug_info_level() > spec_number("debug-level-gt", argv[0]) ? empty_true
                                                                            : nullptr;
}

static const char *dwarf_version_gt_spec_function(int argc, const char **argv)
{
  if (argc != 1)
    fatal_error(0, "wrong number of arguments to %%:dwarf-version-gt");
  return driver_dwarf_version() > spec_number("dwarf-version-gt", argv[0]) ? empty_true
                                                                           : nullptr;
}

static const char *fortran_preinclude_file_spec_function(int argc, const char **argv)
{
  if (argc != 3)
    return nullptr;
  const char *file = argv[1];
  char *found = nullptr;
  if (file[0] == '/')
    found = access(file, R_OK) == 0 ? checked_strdup(file) : nullptr;
  else
    found = locate_file(&include_prefixes, file, R_OK, false);
  if (!found) {
    search_path_list extra = {nullptr, 0, "preinclude"};
    insert_search_prefix(&extra, argv[2], nullptr, 0, 0, 0);
    insert_search_prefix(&extra,
                         DRIVER_LIB_DIR DRIVER_MACHINE_SUFFIX "../../../../" DRIVER_TARGET
                                                              "/include/finclude/",
                         nullptr, 0, 0, 0);
    insert_sysroot_prefix_below(&extra, "/usr/include/finclude/", nullptr,
                                driver_settings.sysroot_headers_suffix);
    found = locate_file(&extra, file, R_OK, false);
    for (search_path_entry *e = extra.head; e;) {
      search_path_entry *next = e->next;
      free(e->prefix);
      free(e);
      e = next;
    }
  }
  if (!found)
    return nullptr;
  const char *result = collect_concat(argv[0], found, nullptr);
  free(found);
  return result;
}

constexpr spec_function_entry spec_function_table[] = {
    {"getenv", getenv_spec_function},
    {"if-exists", if_exists_spec_function},
    {"if-exists-else", if_exists_else_spec_function},
    {"if-exists-then-else", if_exists_then_else_spec_function},
    {"sanitize", sanitize_spec_function},
    {"replace-outfile", replace_outfile_spec_function},
    {"remove-outfile", remove_outfile_spec_function},
    {"version-compare", version_compare_spec_function},
    {"include", include_spec_function},
    {"find-file", find_file_spec_function},
    {"find-plugindir", find_plugindir_spec_function},
    {"print-asm-header", print_asm_header_spec_function},
    {"compare-debug-dump-opt", compare_debug_dump_opt_spec_function},
    {"compare-debug-self-opt", compare_debug_self_opt_spec_function},
    {"pass-through-libs", pass_through_libs_spec_function},
    {"dumps", dumps_spec_function},
    {"gt", gt_spec_function},
    {"debug-level-gt", debug_level_gt_spec_function},
    {"dwarf-version-gt", dwarf_version_gt_spec_function},
    {"fortran-preinclude-file", fortran_preinclude_file_spec_function},
    TARGET_SPEC_FUNCTION_ROWS
    {nullptr, nullptr},
};

static bool is_name_char(char c)
{
  return c_isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

// The rows of the table grouped by name length when the driver is
// compiled, each group in table order: a call compares its name with the
// few rows of its length.
enum {
  SPEC_FUNCTION_ROWS = sizeof spec_function_table / sizeof *spec_function_table - 1,
  LONGEST_SPEC_FUNCTION_NAME = 31
};
struct spec_function_index {
  uint8_t rows[SPEC_FUNCTION_ROWS];
  uint8_t starts[LONGEST_SPEC_FUNCTION_NAME + 2];  // of each length's group
};

static constexpr size_t constant_length(const char *text)
{
  size_t n = 0;
  while (text[n])
    n++;
  return n;
}

static constexpr spec_function_index make_spec_function_index()
{
  spec_function_index index = {};
  int at = 0;
  for (size_t length = 0; length <= LONGEST_SPEC_FUNCTION_NAME; length++) {
    index.starts[length] = static_cast<uint8_t>(at);
    for (int row = 0; row < SPEC_FUNCTION_ROWS; row++)
      if (constant_length(spec_function_table[row].name) == length)
        index.rows[at++] = static_cast<uint8_t>(row);
  }
  index.starts[LONGEST_SPEC_FUNCTION_NAME + 1] = static_cast<uint8_t>(at);
  return index;
}

static constexpr spec_function_index spec_functions_by_length = make_spec_function_index();
static_assert(spec_functions_by_length.starts[LONGEST_SPEC_FUNCTION_NAME + 1] ==
                  SPEC_FUNCTION_ROWS,
              "a spec function's name is longer than the index holds");

static const spec_function_entry *find_spec_function(const char *name, size_t length)
{
  if (length > LONGEST_SPEC_FUNCTION_NAME)
    return nullptr;
  const spec_function_index &index = spec_functions_by_length;
  for (int k = index.starts[length]; k < index.starts[length + 1]; k++) {
    const spec_function_entry *entry = &spec_function_table[index.rows[k]];
    if (memcmp(entry->name, name, length) == 0)
      return entry;
  }
  return nullptr;
}

static vec<const char *> *take_argbuf(int depth)
{
  vec<const char *> *v = nullptr;
  if (depth < KEPT_ARGBUF_DEPTHS) {
    v = spec_expansion.kept_argbufs[depth];
    spec_expansion.kept_argbufs[depth] = nullptr;
  }
  vec_reserve_exact(v, 10);
  return v;
}

static void give_back_argbuf(int depth, vec<const char *> *v)
{
  if (depth < KEPT_ARGBUF_DEPTHS && !spec_expansion.kept_argbufs[depth]) {
    vec_truncate(v, 0);
    spec_expansion.kept_argbufs[depth] = v;
  } else {
    vec_release(v);
  }
}

// Short texts of a call live in the caller's frame.
enum { CALL_TEXT_BYTES = 256, CALL_ARGV_WORDS = 16 };

// The '(' that ends the name of the call at P, and the ')' that closes it,
// as reading the call finds them.
static const char *read_call(const char *p, const char **open)
{
  while (*p && *p != '(') {
    if (!is_name_char(*p))
      fatal_error(0, "malformed spec function name");
    p++;
  }
  if (!*p)
    fatal_error(0, "no arguments for spec function");
  *open = p++;
  // The arguments often hold long conditions: the scan jumps from one
  // parenthesis to the next.
  for (int nesting = 1;; p++) {
    p += strcspn(p, "()");
    if (!*p || (*p == ')' && --nesting == 0))
      break;
    if (*p == '(')
      nesting++;
  }
  if (!*p)
    fatal_error(0, "malformed spec function arguments");
  return p;
}

// The entry of the call being run: nested calls may have moved the vector.
static spec_call_holding *open_call(uint32_t index)
{
  return &(*spec_expansion.open_calls)[index];
}

void release_open_spec_calls()
{
  if (spec_expansion.open_calls)
    for (spec_call_holding &held : *spec_expansion.open_calls) {
      vec_release(held.caller_argbuf);
      vec_release(held.caller_response_argbuf);
      free(held.args_copy);
      free(held.argv);
    }
  vec_release(spec_expansion.open_calls);
}

const char *call_spec_function(const char *p, bool *returned_text, const char *matched)
{
  int depth = spec_expansion.spec_function_depth++;
  uint32_t call = vec_length(spec_expansion.open_calls);
  vec_safe_push(spec_expansion.open_calls, spec_call_holding());
  const char *name = p;
  const char *open, *close, *args;
  // A built-in call was read when the driver was built, and its arguments
  // are there as a string of their own; other short ones are copied into
  // this frame.
  char small_args[CALL_TEXT_BYTES];
  if (const builtin_call *known = builtin_call_at(name)) {
    open = builtin_spec_chars + known->open;
    close = builtin_spec_chars + known->end;
    args = builtin_spec_chars + known->copy;
  } else {
    close = read_call(name, &open);
    size_t args_length = static_cast<size_t>(close - open - 1);
    if (args_length < sizeof small_args) {
      memcpy(small_args, open + 1, args_length);
      small_args[args_length] = '\0';
      args = small_args;
    } else {
      args = open_call(call)->args_copy = checked_strndup(open + 1, args_length);
    }
  }
  size_t name_length = static_cast<size_t>(open - name);
  p = close + 1;

  const spec_function_entry *entry = find_spec_function(name, name_length);
  if (!entry)
    fatal_error(0, "unknown spec function %q.*s", static_cast<int>(name_length), name);

  // Save the caller's context; a word in progress is set aside as its own
  // object, and the caller's response-file words wait for it.
  spec_word_state saved_word = spec_words;
  spec_words = spec_word_state();
  char *partial = nullptr;
  size_t partial_length = 0;
  if (saved_word.word_open) {
    partial_length = obstack_object_length(&spec_expansion.spec_obstack);
    partial = static_cast<char *>(obstack_close_object(&spec_expansion.spec_obstack));
  }
  open_call(call)->caller_argbuf = spec_expansion.argbuf;
  open_call(call)->caller_response_argbuf = saved_word.response_argbuf;
  spec_expansion.argbuf = take_argbuf(depth);

  if (do_spec_1(args, false, matched) < 0)
    fatal_error(0, "error in arguments to spec function %qs", entry->name);
  finish_word();

  uint32_t argc = vec_length(spec_expansion.argbuf);
  const char *small_argv[CALL_ARGV_WORDS];
  const char **argv = small_argv;
  if (argc >= CALL_ARGV_WORDS)
    argv = open_call(call)->argv = checked_new_array<const char *>(argc + uint64_t{1});
  memcpy(argv, spec_expansion.argbuf->address(), argc * sizeof *argv);
  argv[argc] = nullptr;
  const char *result = entry->handler(static_cast<int>(argc), argv);

  spec_call_holding *held = open_call(call);
  free(held->argv);
  held->argv = nullptr;
  give_back_argbuf(depth, spec_expansion.argbuf);
  vec_release(spec_words.response_argbuf);
  spec_expansion.argbuf = held->caller_argbuf;
  saved_word.response_argbuf = held->caller_response_argbuf;
  held->caller_argbuf = held->caller_response_argbuf = nullptr;
  spec_words = saved_word;
  if (partial)
    word_add_text_n(partial, partial_length);

  const char *after = p;
  if (result && do_spec_1(result, false, nullptr) < 0)
    after = nullptr;
  if (returned_text)
    *returned_text = result != nullptr;
  spec_expansion.spec_function_depth--;
  free(vec_pop(spec_expansion.open_calls).args_copy);
  return after;
}
