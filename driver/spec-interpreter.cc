// The spec interpreter: reads a spec character by character, builds words on
// the spec obstack, and runs the collected command at every line end.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"
#include "driver/search-paths.h"
#include "support/alloc.h"
#include "support/char-class.h"
#include "support/concat.h"

#include <cstdarg>
#include <cstring>
#include <unistd.h>

spec_expansion_state spec_expansion;
current_input_state current_input;
spec_word_state spec_words;

// The work of one expansion: spec bytes read, bytes added to words and words
// stored. Specs that include others twice over grow exponentially with the
// nesting, which must end in an error, not in minutes and gigabytes; the
// built-in specs need a few ten thousand.
enum : uint64_t { MAX_SPEC_WORK = uint64_t(1) << 24 };

void word_add_char(char c)
{
  obstack_append_byte(&spec_expansion.spec_obstack, c);
  spec_words.word_open = true;
}

void word_add_text_n(const char *text, size_t length)
{
  spec_expansion.spec_work += length;
  obstack_append(&spec_expansion.spec_obstack, text, length);
  spec_words.word_open = true;
}

void word_add_text(const char *text)
{
  word_add_text_n(text, strlen(text));
}

static void clear_word_flags()
{
  spec_words.word_delete = 0;
  spec_words.word_is_output = false;
  spec_words.word_is_library = false;
  spec_words.word_is_linker_script = false;
}

void begin_spec_expansion()
{
  if (spec_expansion.argbuf)
    vec_truncate(spec_expansion.argbuf, 0);
  vec<const char *> *response_words = spec_words.response_argbuf;
  if (response_words)
    vec_truncate(response_words, 0);
  spec_words = spec_word_state();
  spec_words.response_argbuf = response_words;
  // A spec function that expands words of its own does so inside the
  // caller's expansion, its budget and its way with line ends.
  if (spec_expansion.spec_function_depth == 0) {
    spec_expansion.spec_work = 0;
    spec_expansion.line_end_runs_command = true;
  }
}

void begin_word_expansion()
{
  begin_spec_expansion();
  spec_expansion.line_end_runs_command = false;
}

void store_word(const char *text, bool delete_always, bool output_file)
{
  spec_expansion.spec_work++;
  if (spec_words.in_response_file)
    vec_safe_push(spec_words.response_argbuf, text);
  else
    vec_safe_push(spec_expansion.argbuf, text);
  if (delete_always || output_file) {
    const char *name = text;
    if (text[0] == '-' && strchr(text, '='))
      name = strrchr(text, '=') + 1;
    register_temp_file(name, delete_always, output_file);
  }
}

// The full name of a library or linker-script word, kept with the words;
// null when the library paths do not have it.
static char *locate_word(const char *text)
{
  char *found = locate_file(&startfile_prefixes, text, R_OK, true);
  if (!found)
    return nullptr;
  char *kept = obstack_strdup(&spec_expansion.spec_obstack, found);
  free(found);
  return kept;
}

// Most word ends find no word open: that test is finish_word's alone, kept
// apart from this, so that where it is inlined a closed word costs no call.
__attribute__((noinline)) static void store_open_word()
{
  obstack_append_byte(&spec_expansion.spec_obstack, '\0');
  char *text = static_cast<char *>(obstack_close_object(&spec_expansion.spec_obstack));
  spec_words.word_open = false;
  if (spec_words.word_is_library) {
    if (char *found = locate_word(text))
      text = found;
  } else if (spec_words.word_is_linker_script) {
    char *found = locate_word(text);
    if (!found) {
      error_here("unable to locate default linker script %qs in the library search paths", text);
      return;
    }
    store_word("--script", false, false);
    text = found;
  }
  store_word(text, spec_words.word_delete != 0, spec_words.word_is_output);
  if (spec_words.word_is_output && spec_expansion.output_names)
    spec_expansion.output_names[current_input.current_input_index] = text;
}

void finish_word()
{
  if (spec_words.word_open)
    store_open_word();
}

// TEXT as it stands between single quotes: a quote inside becomes '\''.
static void append_quote_escaped(obstack *ob, const char *text)
{
  for (;;) {
    size_t plain = strcspn(text, "'");
    obstack_append(ob, text, plain);
    text += plain;
    if (!*text)
      return;
    obstack_append(ob, "'\\''", 4);
    text++;
  }
}

void append_quoted_for_export(obstack *ob, const char *text)
{
  obstack_append_byte(ob, '\'');
  append_quote_escaped(ob, text);
  obstack_append_byte(ob, '\'');
}

const char *export_driver_options()
{
  obstack_append_text(&spec_expansion.collect_obstack, "VRESK_VUZ_OPTIONS=");
  for (int i = 0; i < saved_switches.switch_count; i++) {
    if (i > 0)
      obstack_append_byte(&spec_expansion.collect_obstack, ' ');
    const switch_entry &sw = saved_switches.switches[i];
    if ((sw.liveness & SW_REMOVED) && !(sw.liveness & SW_EXPORT_ANYWAY))
      continue;
    // The switch text is quoted together with its '-'.
    obstack_append(&spec_expansion.collect_obstack, "'-", 2);
    append_quote_escaped(&spec_expansion.collect_obstack, sw.text);
    obstack_append_byte(&spec_expansion.collect_obstack, '\'');
    if (sw.arguments)
      for (const char **a = sw.arguments; *a; a++) {
        obstack_append_byte(&spec_expansion.collect_obstack, ' ');
        append_quoted_for_export(&spec_expansion.collect_obstack, *a);
      }
  }
  if (command.dump_dir) {
    if (saved_switches.switch_count > 0)
      obstack_append_byte(&spec_expansion.collect_obstack, ' ');
    obstack_append_text(&spec_expansion.collect_obstack, "'-dumpdir' ");
    append_quoted_for_export(&spec_expansion.collect_obstack, command.dump_dir);
  }
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  char *text = static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
  if (!spec_expansion.exported_options || strcmp(text, spec_expansion.exported_options) != 0) {
    char *copy = checked_strdup(text);
    env.xput_unechoed(copy);
    spec_expansion.exported_options = copy;
  }
  obstack_free_to(&spec_expansion.collect_obstack, text);
  return spec_expansion.exported_options;
}

// Exports the driver's options for the command collected so far and runs it;
// the echo of the export goes out with the command's.
static int export_and_execute()
{
  const char *exported = export_driver_options();
  if (vec_length(spec_expansion.argbuf) > 0)
    return execute(exported);
  env.echo(exported);
  return 0;
}

void set_current_input(const char *name)
{
  current_input.current_input_name = name;
  current_input.current_input_length = static_cast<int>(strlen(name));
  const char *slash = strrchr(name, '/');
  current_input.current_input_base = slash ? slash + 1 : name;
  current_input.current_base_suffixed_length =
      static_cast<int>(strlen(current_input.current_input_base));
  const char *dot = strrchr(current_input.current_input_base, '.');
  current_input.current_base_length = dot ? static_cast<int>(dot - current_input.current_input_base)
                                          : current_input.current_base_suffixed_length;
  current_input.current_input_suffix = dot ? dot + 1 : "";
  current_input.current_input_stat_state = 0;
}

// Runs the words collected so far as one command; -1 when a child failed.
static int run_collected_command(const char *spec)
{
  // A spec function's words are its arguments, never a command; a spec file
  // can still put a line break among them.
  if (spec_expansion.spec_function_depth && vec_length(spec_expansion.argbuf) > 0)
    fatal_error(0, "spec %qs has a line break inside a spec function call", spec);
  if (export_and_execute() != 0)
    return -1;
  vec_truncate(spec_expansion.argbuf, 0);
  return 0;
}

// How deeply named specs may include one another: a spec file can make a spec
// include itself, which must end in an error, not in a stack overflow.
enum { MAX_NAMED_SPEC_DEPTH = 256 };

// How deeply expansions may nest, through conditions, spec function calls
// and named specs together: a spec file can nest each without end, which
// must end in an error, not in a stack overflow. The built-in specs nest a
// few ten levels.
enum { MAX_SPEC_NESTING = 1000 };

// A named spec being expanded, with the work done when it began. Each lives
// in the frame of its expansion: no table of the deepest nesting sits in
// memory that every run touches.
struct active_spec {
  const char *name;
  uint64_t work_at_start;
  active_spec *outer;
};

// Names the innermost spec that by itself did most of the work: the one a
// spec file made too large, rather than the outermost built-in that
// includes it or the small one repeated at the bottom.
[[noreturn]] static void report_too_much_work(const char *whole_spec)
{
  const char *culprit = whole_spec;
  for (const active_spec *a = spec_expansion.innermost_spec; a; a = a->outer)
    if (a->name && spec_expansion.spec_work - a->work_at_start > MAX_SPEC_WORK / 2) {
      culprit = a->name;
      break;
    }
  fatal_error(0, "spec %qs expands to too much text", culprit);
}

static void charge_spec_work(uint64_t amount, const char *whole_spec)
{
  spec_expansion.spec_work += amount;
  if (spec_expansion.spec_work > MAX_SPEC_WORK)
    report_too_much_work(whole_spec);
}

// A named spec's text (NAME null for a static spec read through its code),
// expanded in place and watched for the work it does.
static int expand_nested(const char *name, const char *value)
{
  active_spec self = {name, spec_expansion.spec_work, spec_expansion.innermost_spec};
  spec_expansion.innermost_spec = &self;
  spec_expansion.named_spec_depth++;
  int result = do_spec_1(value ? value : "", false, nullptr);
  spec_expansion.named_spec_depth--;
  spec_expansion.innermost_spec = self.outer;
  return result;
}

// The static specs of %a, %l and the like, which spec files may also redefine.
static int expand_static(const char *value)
{
  if (spec_expansion.named_spec_depth >= MAX_NAMED_SPEC_DEPTH)
    fatal_error(0, "spec %qs includes itself or nests too deeply", value);
  return expand_nested(nullptr, value);
}

// The text of a %(NAME) reference, expanded in place.
static int expand_named(const char *name, size_t length)
{
  named_spec *sp = lookup_named_spec(name, length);
  if (!sp)
    return 0;
  if (spec_expansion.named_spec_depth >= MAX_NAMED_SPEC_DEPTH)
    fatal_error(0, "spec %qs includes itself or nests too deeply", sp->name);
  return expand_nested(sp->name, *sp->value_location);
}


static void mark_removed(int index, void *export_anyway)
{
  switch_entry &sw = saved_switches.switches[index];
  sw.liveness |= SW_REMOVED;
  if (*static_cast<bool *>(export_anyway))
    sw.liveness |= SW_EXPORT_ANYWAY;
  if (sw.in_option_table)
    sw.accepted = 1;
}

// %< and %>: marks matching switches removed.
static const char *remove_switches(const char *p, bool export_anyway)
{
  const char *start = p;
  while (*p && *p != ' ' && *p != '\t' && *p != '\n')
    p++;
  size_t length = static_cast<size_t>(p - start);
  bool prefix = length > 0 && start[length - 1] == '*';
  if (prefix)
    length--;
  visit_switches_named(start, length, prefix, mark_removed, &export_anyway);
  return p;
}

// Adds each text of an option list to the word, each ending its word.
static void copy_option_list(vec<char *> *list)
{
  if (!list)
    return;
  for (char *text : *list) {
    word_add_text(text);
    do_spec_1(" ", false, nullptr);
  }
}

static void store_each_input_of_current_compiler()
{
  for (int i = 0; i < input_files.input_count; i++) {
    input_file_entry &in = input_files.inputs[i];
    if (in.language && in.language[0] == '*')
      continue;
    if (in.compiler != current_input.current_compiler)
      continue;
    store_word(in.name, false, false);
    in.was_compiled = 1;
  }
}

// Specs expanded before the inputs get their compilers (self specs) have no
// output names yet, and store none.
static void store_output_names()
{
  for (int i = 0; spec_expansion.output_names && i < input_files.input_count; i++)
    if (spec_expansion.output_names[i])
      store_word(spec_expansion.output_names[i], false, false);
}

// %D: -L for every startfile prefix that names a usable directory.
static void *store_library_dir(char *candidate, void *)
{
  size_t length = strlen(candidate);
  if (strcmp(candidate, "/lib/") == 0 || strcmp(candidate, "/usr/lib/") == 0)
    return nullptr;
  if (!names_directory(candidate, true))
    return nullptr;
  obstack_append_text(&spec_expansion.collect_obstack, "-L");
  obstack_append(&spec_expansion.collect_obstack, candidate, length > 1 ? length - 1 : length);
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  store_word(static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack)), false,
             false);
  return nullptr;
}

static void store_pair(const char *option, const char *value)
{
  store_word(option, false, false);
  store_word(value, false, false);
}

struct include_walk {
  const char *subdir;
};

char *collect_concat(const char *first, ...)
{
  va_list ap;
  va_start(ap, first);
  for (const char *s = first; s; s = va_arg(ap, const char *))
    obstack_append_text(&spec_expansion.collect_obstack, s);
  va_end(ap);
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  return static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

static void *store_isystem(char *candidate, void *data)
{
  const include_walk *w = static_cast<const include_walk *>(data);
  char *path = collect_concat(candidate, w->subdir, nullptr);
  if (names_directory(path, false))
    store_pair("-isystem", path);
  else
    obstack_free_to(&spec_expansion.collect_obstack, path);
  return nullptr;
}

// %I: the include-related options of the compiler proper.
static void store_include_options()
{
  if (multilib_choice.multi_dir)
    store_pair("-imultilib", multilib_choice.multi_dir);
  if (multilib_choice.multi_arch_dir)
    store_pair("-imultiarch", multilib_choice.multi_arch_dir);
  if (command.exec_prefix_root)
    store_pair("-iprefix", command.exec_prefix_root);
  if (driver_settings.sysroot_given ||
      (driver_settings.sysroot && driver_settings.sysroot_headers_suffix)) {
    store_pair("-isysroot", collect_concat(driver_settings.sysroot ? driver_settings.sysroot : "",
                                           driver_settings.sysroot_headers_suffix
                                               ? driver_settings.sysroot_headers_suffix
                                               : "",
                                           nullptr));
  }
  include_walk plain = {"include"};
  walk_search_paths(&include_prefixes, false, strlen("include-fixed") + 1, store_isystem, &plain);
  char *fixed = (spec_tables.sysroot_hdrs_suffix_spec && *spec_tables.sysroot_hdrs_suffix_spec &&
                 multilib_choice.multi_dir)
                    ? concat_strings("include-fixed/", multilib_choice.multi_dir, nullptr)
                    : checked_strdup("include-fixed");
  include_walk fixed_walk = {fixed};
  walk_search_paths(&include_prefixes, false, strlen(fixed) + 1, store_isystem, &fixed_walk);
  free(fixed);
}

// A code that names the current input, in a spec expanded before there is
// one: a self spec, which a spec file or a compare-debug option can supply.
static void require_current_input(const char *spec, char code, const char *part)
{
  if (!part)
    fatal_error(0, "spec %qs uses %<%%%c%> where there is no input file", spec, code);
}

// %b: the base of the current input's outputs.
static void add_base_name()
{
  if (command.dump_dir && !spec_words.word_is_output)
    word_add_text_n(command.dump_dir, static_cast<size_t>(command.dump_dir_length));
  if (command.aux_base && !spec_words.word_is_output)
    word_add_text_n(command.aux_base, static_cast<size_t>(command.aux_base_length));
  else
    word_add_text_n(current_input.current_input_base,
                    static_cast<size_t>(current_input.current_base_length));
  if (command.compare_debug_mode < 0)
    word_add_text(".gk");
  spec_words.word_open = true;
}

// A message of %e or %n: the text up to the newline.
static const char *message_text(const char *p, char **text)
{
  const char *end = strchr(p, '\n');
  if (!end)
    end = p + strlen(p);
  *text = checked_strndup(p, static_cast<size_t>(end - p));
  return end;
}

// Handles the code after a '%'; returns the position after it, or null for
// -1 (result left in *status).
static const char *do_percent(const char *p, const char *spec, const char *matched, int *status)
{
  char c = *p++;
  switch (c) {
  case '\0':
    fatal_error(0, "spec %qs invalid", spec);
  case '"':
    finish_word();
    store_word("", false, false);
    return p;
  case '%':
    // Opens the word, so that the '%' never leaks into the next one.
    word_add_char('%');
    return p;
  case '(': {
    const char *name = p;
    p = strchr(name, ')');
    if (!p)
      p = name + strlen(name);
    int r = expand_named(name, static_cast<size_t>(p - name));
    if (*p == ')')
      p++;
    if (r != 0) {
      *status = r;
      return nullptr;
    }
    return p;
  }
  case '*':
    if (!matched) {
      error_here("spec failure: %<%%*%> has not been initialized by pattern match");
      return p;
    }
    if (*matched) {
      word_add_text(matched);
      if (spec_expansion.spec_function_depth)
        finish_word();
    }
    if (*p == '}' || *p == '\0')
      do_spec_1(" ", false, nullptr);
    return p;
  case '.': {
    const char *start = p;
    while (*p && *p != ' ' && *p != '%')
      p++;
    // Not on the spec obstack: a word may be growing there.
    spec_words.suffix_replacement = obstack_copy_in_nul(&spec_expansion.collect_obstack, start - 1,
                                                        static_cast<size_t>(p - start + 1));
    return p;
  }
  case '1':
    return expand_static(spec_tables.tolm1_spec) ? (*status = -1, nullptr) : p;
  case '2':
    return expand_static(spec_tables.tolmplus1_spec) ? (*status = -1, nullptr) : p;
  case ':': {
    const char *after = call_spec_function(p, nullptr, matched);
    if (!after) {
      *status = -1;
      return nullptr;
    }
    return after;
  }
  case '<':
    return remove_switches(p, false);
  case '>':
    return remove_switches(p, true);
  case '@': {
    if (*p != '{')
      fatal_error(0, "spec %qs has invalid %<%%@%c%>", spec, *p);
    if (run_values.response_files_used)
      open_response_file(spec);
    const char *after = handle_condition(p + 1, spec);
    if (!after) {
      *status = -1;
      return nullptr;
    }
    if (run_values.response_files_used) {
      // The body's last word belongs in the file with the others.
      finish_word();
      close_response_file();
    }
    return after;
  }
  case 'A':
    return expand_static(spec_tables.asm_final_spec) ? (*status = -1, nullptr) : p;
  case 'B':
    require_current_input(spec, c, current_input.current_input_base);
    add_base_name();
    word_add_char('.');
    word_add_text(current_input.current_input_suffix);
    return p;
  case 'C': {
    const char *extra = current_input.current_compiler
                            ? current_input.current_compiler->preprocessor_spec
                            : nullptr;
    return expand_static(extra ? extra : spec_tables.cpp_spec) ? (*status = -1, nullptr) : p;
  }
  case 'D':
    walk_search_paths(&startfile_prefixes, true, 0, store_library_dir, nullptr);
    return p;
  case 'E':
    return expand_static(spec_tables.endfile_spec) ? (*status = -1, nullptr) : p;
  case 'G':
    return expand_static(spec_tables.libvuz_spec) ? (*status = -1, nullptr) : p;
  case 'I':
    store_include_options();
    return p;
  case 'L':
    return expand_static(spec_tables.lib_spec) ? (*status = -1, nullptr) : p;
  case 'M':
    word_add_text(multilib_choice.multi_os_dir ? multilib_choice.multi_os_dir : ".");
    return p;
  case 'O':
    word_add_text(".o");
    return p;
  case 'R':
    if (driver_settings.sysroot) {
      word_add_text(driver_settings.sysroot);
      if (driver_settings.sysroot_suffix)
        word_add_text(driver_settings.sysroot_suffix);
    }
    return p;
  case 'S':
    return expand_static(spec_tables.startfile_spec) ? (*status = -1, nullptr) : p;
  case 'T':
    spec_words.word_is_linker_script = true;
    return p;
  case 'U': case 'g': case 'u': case 'j': case 'm': case '|':
    return make_temp_name(c, p, spec);
  case 'V':
    if (spec_expansion.output_names)
      spec_expansion.output_names[current_input.current_input_index] = nullptr;
    return p;
  case 'W': {
    if (*p != '{')
      fatal_error(0, "spec %qs has invalid %<%%W%c%>", spec, *p);
    uint32_t before = vec_length(spec_expansion.argbuf);
    const char *after = handle_condition(p + 1, spec);
    if (!after) {
      *status = -1;
      return nullptr;
    }
    if (vec_length(spec_expansion.argbuf) > before)
      register_temp_file(spec_expansion.argbuf->last(), false, true);
    return after;
  }
  case 'X':
    copy_option_list(driver_settings.ld_option_list);
    return p;
  case 'Y':
    copy_option_list(driver_settings.as_option_list);
    return p;
  case 'Z':
    copy_option_list(driver_settings.cpp_option_list);
    return p;
  case 'a':
    return expand_static(spec_tables.asm_spec) ? (*status = -1, nullptr) : p;
  case 'b':
    require_current_input(spec, c, current_input.current_input_base);
    add_base_name();
    return p;
  case 'd':
    spec_words.word_delete = 1;
    return p;
  case 'e': {
    char *text;
    message_text(p, &text);
    error_here("%s", text);
    free(text);
    *status = -1;
    return nullptr;
  }
  case 'i':
    if (spec_expansion.inputs_combined) {
      if (run_values.response_files_used)
        open_response_file(spec);
      store_each_input_of_current_compiler();
      if (run_values.response_files_used)
        close_response_file();
    } else {
      require_current_input(spec, c, current_input.current_input_name);
      word_add_text(current_input.current_input_name);
    }
    return p;
  case 'l':
    return expand_static(spec_tables.link_spec) ? (*status = -1, nullptr) : p;
  case 'n': {
    char *text;
    const char *end = message_text(p, &text);
    inform_loc(0, "%s", text);
    free(text);
    return *end ? end + 1 : end;
  }
  case 'o':
    if (run_values.response_files_used)
      open_response_file(spec);
    store_output_names();
    if (run_values.response_files_used)
      close_response_file();
    return p;
  case 's':
    spec_words.word_is_library = true;
    return p;
  case 'w':
    spec_words.word_is_output = true;
    return p;
  case 'x': {
    if (*p != '{')
      fatal_error(0, "spec %qs has invalid %<%%x%c%>", spec, *p);
    const char *start = ++p;
    while (*p && *p != '}')
      p++;
    if (!*p)
      fatal_error(0, "spec %qs invalid", spec);
    size_t length = static_cast<size_t>(p - start);
    // A repeated option is skipped; the rest of the text still expands.
    if (driver_settings.ld_option_list)
      for (char *option : *driver_settings.ld_option_list)
        if (strlen(option) == length && strncmp(option, start, length) == 0)
          return p + 1;
    vec_safe_push(driver_settings.ld_option_list, checked_strndup(start, length));
    return p + 1;
  }
  case '{': {
    const char *after = handle_condition(p, spec);
    if (!after) {
      *status = -1;
      return nullptr;
    }
    return after;
  }
  default:
    error_here("spec failure: unrecognized spec option %qc", c);
    return p;
  }
}

void reset_spec_interpreter()
{
  vec_release(spec_expansion.argbuf);
  for (vec<const char *> *&kept : spec_expansion.kept_argbufs)
    vec_release(kept);
  release_open_spec_calls();
  vec_release(spec_words.response_argbuf);
  obstack_release_to(&spec_expansion.spec_obstack, nullptr);
  obstack_release_to(&spec_expansion.collect_obstack, nullptr);
  free(spec_expansion.output_names);
  // A run ended from inside an expansion leaves its active specs behind, in
  // frames that are gone: the fresh record forgets them.
  spec_expansion = spec_expansion_state();
  current_input = current_input_state();
  spec_words = spec_word_state();
}

// The bytes the loop of do_spec_1 reads one at a time, as constant data.
struct ordinary_run_table {
  bool ends[256];
};

static constexpr ordinary_run_table make_ordinary_run_table()
{
  ordinary_run_table t = {};
  for (unsigned char c : {'\0', '\n', ' ', '\t', '\\', '|', '%'})
    t.ends[c] = true;
  return t;
}

static constexpr ordinary_run_table ordinary_run = make_ordinary_run_table();

static bool ends_ordinary_run(char c)
{
  return ordinary_run.ends[static_cast<unsigned char>(c)];
}

static int expand_spec_text(const char *spec, const char *matched);

int do_spec_1(const char *spec, bool literal, const char *matched)
{
  if (literal) {
    word_add_text(spec);
    return 0;
  }
  if (spec_expansion.spec_nesting >= MAX_SPEC_NESTING) {
    const active_spec *innermost = spec_expansion.innermost_spec;
    fatal_error(0, "spec %qs nests too deeply",
                innermost && innermost->name ? innermost->name : spec);
  }
  spec_expansion.spec_nesting++;
  int result = expand_spec_text(spec, matched);
  spec_expansion.spec_nesting--;
  return result;
}

static int expand_spec_text(const char *spec, const char *matched)
{
  // Every byte read is charged as work before what it does.
  const char *p = spec;
  while (*p) {
    char c = *p++;
    switch (c) {
    case '\n':
      charge_spec_work(1, spec);
      finish_word();
      if (!spec_expansion.line_end_runs_command) {
        clear_word_flags();
        break;
      }
      if (vec_length(spec_expansion.argbuf) > 0 &&
          strcmp(spec_expansion.argbuf->last(), "|") == 0) {
        if (command.pipes_requested) {
          spec_words.input_piped = true;
          break;
        }
        vec_pop(spec_expansion.argbuf);
      }
      if (run_collected_command(spec) != 0)
        return -1;
      vec_truncate(spec_words.response_argbuf, 0);
      spec_words.word_open = false;
      clear_word_flags();
      spec_words.input_piped = false;
      break;
    case ' ': case '\t': {
      // The blanks after the first end nothing more.
      const char *end = p;
      while (*end == ' ' || *end == '\t')
        end++;
      charge_spec_work(static_cast<uint64_t>(end - p + 1), spec);
      finish_word();
      clear_word_flags();
      p = end;
      break;
    }
    case '\\':
      charge_spec_work(1, spec);
      if (*p)
        word_add_char(*p++);
      break;
    case '|':
      charge_spec_work(1, spec);
      finish_word();
      word_add_char('|');
      break;
    case '%': {
      charge_spec_work(1, spec);
      int status = 0;
      const char *next = do_percent(p, spec, matched, &status);
      if (!next)
        return status;
      charge_spec_work(static_cast<uint64_t>(next - p), spec);
      p = next;
      break;
    }
    default: {
      // A run of ordinary text joins the word at once.
      const char *end = p;
      while (!ends_ordinary_run(*end))
        end++;
      charge_spec_work(static_cast<uint64_t>(end - p + 1), spec);
      obstack_append(&spec_expansion.spec_obstack, p - 1, static_cast<uint64_t>(end - p + 1));
      spec_words.word_open = true;
      p = end;
      break;
    }
    }
  }
  if (spec_expansion.spec_function_depth)
    finish_word();
  return 0;
}

int expand_and_run_spec(const char *spec)
{
  begin_spec_expansion();
  int result = do_spec_1(spec, false, nullptr);
  finish_word();
  if (result != 0)
    return result;
  if (vec_length(spec_expansion.argbuf) > 0 && strcmp(spec_expansion.argbuf->last(), "|") == 0)
    vec_pop(spec_expansion.argbuf);
  return export_and_execute();
}
