// Command processing: turns the decoded command line into the run state:
// prefixes, the input list, saved switches, output checks and the names from
// which dump and auxiliary files are later formed.
#include "driver/driver-options.h"

#include "diagnostics/diagnostic.h"
#include "driver/env-manager.h"
#include "driver/search-paths.h"
#include "driver/specs.h"
#include "support/alloc.h"
#include "support/concat.h"
#include "support/file-names.h"
#include "support/relocation.h"

#include <cstring>

input_table input_files;
command_state command;

void add_input_file(const char *name, const char *language)
{
  // Room for the entry and the zeroed terminator.
  if (input_files.input_count + 1 >= input_files.input_capacity) {
    input_files.input_capacity = input_files.input_capacity ? input_files.input_capacity * 2 : 16;
    input_files.inputs = static_cast<input_file_entry *>(
        checked_realloc(input_files.inputs, static_cast<uint64_t>(input_files.input_capacity) *
                                                sizeof(input_file_entry)));
  }
  input_file_entry &in = input_files.inputs[input_files.input_count++];
  in.name = name;
  in.language = language;
  in.compiler = nullptr;
  in.was_compiled = 0;
  in.was_preprocessed = 0;
  memset(&input_files.inputs[input_files.input_count], 0, sizeof(input_file_entry));
}

static const option_handlers driver_handlers = {
    on_unrecognised_option,
    on_wrong_language_option,
    nullptr,
    3,
    {{driver_handle_option, FLAG_DRIVER},
     {common_handle_option, FLAG_COMMON},
     {target_handle_option, FLAG_TARGET}},
};

void handle_driver_option(const decoded_option *d)
{
  read_cmdline_option(&global_options, &global_options_set, d, 0, FLAG_DRIVER, &driver_handlers,
                      &global_diagnostic_state);
}

void handle_self_spec_words(uint32_t count, const char *const *words)
{
  // Decoded with an empty program name in front; a self spec adds a few
  // words, which fit in the frame.
  const char *small_argv[16];
  const char **argv = count + 2 <= 16 ? small_argv
                                      : checked_new_array<const char *>(count + uint64_t{2});
  argv[0] = "";
  // The switches made here outlive the words, some of which point into
  // texts the run replaces later (the -iprefix of %I names the install
  // prefix, which gains the machine suffix once the self specs have run).
  for (uint32_t i = 0; i < count; i++)
    argv[i + 1] = obstack_strdup(&option_obstack, words[i]);
  argv[count + 1] = nullptr;
  decoded_option *decoded;
  unsigned decoded_count;
  decode_argv_to_option_array(count + 1, argv, FLAG_DRIVER,
                              &decoded, &decoded_count);
  for (unsigned i = 1; i < decoded_count; i++) {
    const decoded_option *d = &decoded[i];
    switch (d->option_index) {
    case OPT_fcompare_debug:
    case OPT_fcompare_debug_eq:
    case OPT_fcompare_debug_second:
    case OPT_o:
      record_switch(d->canonical[0], static_cast<int>(d->canonical_count) - 1,
                    &d->canonical[1], false, true);
      break;
    case OPTION_INPUT_FILE:
      if (strcmp(d->argument, "-") == 0)
        fatal_error(0, "spec-generated switch is just %<-%>");
      fatal_error(0, "switch %qs does not start with %<-%>", d->argument);
    default:
      handle_driver_option(d);
      break;
    }
  }
  if (argv != small_argv)
    free(argv);
  free(decoded);
}

static bool real_output(const char *name)
{
  return name && strcmp(name, "-") != 0 && strcmp(name, "/dev/null") != 0;
}

static bool compilable(const input_file_entry &in)
{
  if (in.language && strcmp(in.language, "*") == 0)
    return false;
  if (in.language && strcmp(in.language, "lto") == 0 && driver_wpa_given())
    return false;
  return true;
}

static int compilable_count()
{
  int n = 0;
  for (int i = 0; i < input_files.input_count; i++)
    if (compilable(input_files.inputs[i]))
      n++;
  return n;
}

static const char *base_name(const char *path)
{
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// dump_dir followed by a base and "-".
static void append_base_to_dump_dir(const char *base, size_t length)
{
  char *b = checked_strndup(base, length);
  char *joined = concat_strings(command.dump_dir ? command.dump_dir : "", b, "-", nullptr);
  free(b);
  free(command.dump_dir);
  command.dump_dir = joined;
  command.dump_dir_dash_appended = true;
}

static void set_aux_base(const char *text, size_t length)
{
  vuz_assert(!command.aux_base);
  command.aux_base = checked_strndup(text, length);
}

static bool ends_with(const char *text, const char *suffix)
{
  size_t n = strlen(text), m = strlen(suffix);
  return n >= m && strcmp(text + n - m, suffix) == 0;
}

// Steps that derive dump_dir, dump_base and aux_base from the options.
static void form_dump_names()
{
  bool dump_dir_implicit;
  if (command.output_given) {
    if (!command.dump_dir || command.save_temps_sets_dump_dir) {
      dump_dir_implicit = !command.dump_dir;
      if (real_output(command.output_name)) {
        if (command.save_temps_mode != SAVE_TEMPS_CWD) {
          const char *slash = strrchr(command.output_name, '/');
          free(command.dump_dir);
          command.dump_dir =
              slash ? checked_strndup(command.output_name,
                                      static_cast<size_t>(slash - command.output_name + 1))
                    : nullptr;
        } else if (command.dump_dir) {
          free(command.dump_dir);
          command.dump_dir = nullptr;
          dump_dir_implicit = false;
        } else {
          dump_dir_implicit = true;
        }
      }
    } else {
      dump_dir_implicit = false;
    }
  } else if (command.save_temps_sets_dump_dir && command.dump_dir) {
    free(command.dump_dir);
    command.dump_dir = nullptr;
    dump_dir_implicit = false;
  } else {
    dump_dir_implicit = !command.dump_dir || command.save_temps_sets_dump_dir;
  }

  if (command.save_temps_mode)
    command.save_temps_mode = SAVE_TEMPS_ON;

  if (command.dump_dir && command.dump_base &&
      strcmp(base_name(command.dump_base), command.dump_base) != 0) {
    free(command.dump_dir);
    command.dump_dir = nullptr;
  }
  if (command.dump_base_ext && command.dump_base && *command.dump_base &&
      (strlen(command.dump_base_ext) >= strlen(command.dump_base) ||
       !ends_with(command.dump_base, command.dump_base_ext))) {
    free(command.dump_base_ext);
    command.dump_base_ext = nullptr;
  }

  int compilables = compilable_count();
  if (command.dump_base && *command.dump_base) {
    size_t length = strlen(command.dump_base);
    if (command.dump_base_ext)
      length -= strlen(command.dump_base_ext);
    if (compilables > 1 || (!command.compile_only && dump_dir_implicit)) {
      append_base_to_dump_dir(command.dump_base, length);
      free(command.dump_base);
      command.dump_base = nullptr;
      free(command.dump_base_ext);
      command.dump_base_ext = nullptr;
    } else {
      set_aux_base(command.dump_base, length);
    }
  } else if (command.compile_only) {
    if (!command.dump_base && real_output(command.output_name)) {
      const char *b = base_name(command.output_name);
      const char *dot = strrchr(b, '.');
      if (dot == b)
        dot = nullptr;  // a leading '.' is part of the name
      set_aux_base(b, dot ? static_cast<size_t>(dot - b) : strlen(b));
    }
  } else if (dump_dir_implicit || command.dump_base) {
    char *b;
    if (real_output(command.output_name)) {
      const char *base = base_name(command.output_name);
      size_t n = strlen(base);
      if (command.dump_base_ext && n > strlen(command.dump_base_ext) &&
          ends_with(base, command.dump_base_ext))
        n -= strlen(command.dump_base_ext);
      else if (const char *dot = strrchr(base, '.'); dot && strcmp(dot, ".exe") == 0)
        n = static_cast<size_t>(dot - base);
      else if (strcmp(base, "a.out") == 0)
        n = 1;
      b = checked_strndup(base, n);
    } else {
      b = checked_strdup("a");
    }
    bool single_named = false;
    if (compilables == 1) {
      for (int i = 0; i < input_files.input_count; i++) {
        if (!compilable(input_files.inputs[i]))
          continue;
        const char *in = base_name(input_files.inputs[i].name);
        size_t bl = strlen(b);
        single_named = strncmp(in, b, bl) == 0 && in[bl] == '.' && !strchr(in + bl + 1, '.');
      }
    }
    if (command.dump_base || single_named)
      set_aux_base(b, strlen(b));
    else
      append_base_to_dump_dir(b, strlen(b));
    free(b);
    if (command.dump_base || dump_dir_implicit) {
      free(command.dump_base_ext);
      command.dump_base_ext = nullptr;
    }
  }

  command.dump_dir_length = command.dump_dir ? static_cast<int>(strlen(command.dump_dir)) : 0;
  command.aux_base_length = command.aux_base ? static_cast<int>(strlen(command.aux_base)) : 0;
  if (command.dump_base_ext) {
    if (command.dump_base && *command.dump_base)
      vuz_assert(ends_with(command.dump_base, command.dump_base_ext));
    else {
      free(command.dump_base_ext);
      command.dump_base_ext = nullptr;
    }
  }
}

// The relocated counterparts of the standard prefixes, for an installation
// that does not run from its configured place.
static void add_relocated_prefixes(bool unresolved, bool from_environment)
{
  char *libexec;
  if (from_environment) {
    // The prefix is a directory: relocate as if a program lived in it.
    char *as_program = concat_strings(command.exec_prefix_root, "vuz", nullptr);
    char *(*relocate)(const char *, const char *, const char *) =
        unresolved ? relative_prefix_unresolved : relative_prefix_resolved;
    libexec = relocate(as_program, DRIVER_LIB_DIR, DRIVER_LIBEXEC_DIR);
    free(as_program);
  } else {
    libexec = relative_prefix_of_path(command.program_path, DRIVER_BIN_DIR, DRIVER_LIBEXEC_DIR);
  }
  insert_search_prefix(&exec_prefixes, libexec ? libexec : DRIVER_LIBEXEC_DIR, "VUZ", 1, 0, 0);
  insert_search_prefix(&startfile_prefixes, command.exec_prefix_root, "VUZ", 1, 0, 0);
  free(libexec);
}

static void release_command_scratch()
{
  free(command.rewritten_records);
  command.rewritten_records = nullptr;
  free(command.program_path);
  command.program_path = nullptr;
}

void reset_command_state()
{
  release_command_scratch();
  free(input_files.inputs);
  free(command.exec_prefix_root);
  free(command.dump_dir);
  free(command.dump_base);
  free(command.dump_base_ext);
  free(command.aux_base);
  input_files = input_table();
  command = command_state();
}

void process_command(unsigned decoded_count, decoded_option *decoded)
{
  hold_directory_probes(true);
  const char *env_prefix = env.getenv("VUZ_EXEC_PREFIX");
  command.exec_prefix_root = env_prefix ? checked_strdup(env_prefix) : nullptr;
  bool exec_prefix_from_environment = command.exec_prefix_root != nullptr;
  saved_switches.switch_count = 0;
  input_files.input_count = 0;
  input_files.added_library_count = 0;
  snprintf(command.version_text, 16, "%s", DRIVER_VERSION);
  if (char *blank = strchr(command.version_text, ' '))
    *blank = '\0';

  bool unresolved = false;
  for (unsigned i = 1; i < decoded_count; i++)
    if (decoded[i].option_index == OPT_no_canonical_prefixes)
      unresolved = true;
  if (!command.exec_prefix_root) {
    command.program_path = relocation_program_path(decoded[0].argument, !unresolved);
    command.exec_prefix_root =
        relative_prefix_of_path(command.program_path, DRIVER_BIN_DIR, DRIVER_LIB_DIR);
    if (command.exec_prefix_root)
      env.xput(concat_strings("VUZ_EXEC_PREFIX=", command.exec_prefix_root, nullptr));
  }

  decoded_option *given = decoded;
  lang_specific_driver(&decoded, &decoded_count, &input_files.added_library_count);
  if (decoded != given)
    command.rewritten_records = decoded;

  if (command.exec_prefix_root) {
    size_t n = strlen(command.exec_prefix_root);
    if (n > 9 && strcmp(command.exec_prefix_root + n - 9, "/lib/vuz/") == 0)
      n -= 9;
    set_install_prefix(command.exec_prefix_root, n);
  }

  if (const char *path = env.getenv("COMPILER_PATH")) {
    for (const char *p = path;;) {
      const char *colon = strchr(p, ':');
      size_t n = colon ? static_cast<size_t>(colon - p) : strlen(p);
      char *piece = checked_strndup(p, n);
      if (n == 0 || p[n - 1] != '/')
        piece = concat_replace(piece, n == 0 ? "." : piece, "/", nullptr);
      insert_search_prefix(&exec_prefixes, piece, nullptr, 1, 0, 0);
      insert_search_prefix(&include_prefixes, piece, nullptr, 1, 0, 0);
      free(piece);
      if (!colon)
        break;
      p = colon + 1;
    }
  }
  // Read for the native configuration only; this one is a cross driver.
  (void)env.getenv("LIBRARY_PATH");
  (void)env.getenv("LPATH");

  command.last_language_input_count = -1;
  for (unsigned i = 1; i < decoded_count; i++) {
    size_t index = decoded[i].option_index;
    if (index == OPT_E || index == OPT_S || index == OPT_c)
      command.compile_only = true;
  }
  for (unsigned i = 1; i < decoded_count; i++) {
    const decoded_option *d = &decoded[i];
    if (d->option_index == OPTION_INPUT_FILE)
      add_input_file(d->argument, command.current_language);
    else
      handle_driver_option(d);
  }

  if (driver_gtoggle_given())
    driver_toggle_debug_level();

  if (command.output_given) {
    if (real_output(command.output_name)) {
      // The output is made canonical once for all the inputs.
      char *output = canonical_path(command.output_name);
      for (int i = 0; i < input_files.input_count; i++) {
        if (input_files.inputs[i].language && strcmp(input_files.inputs[i].language, "*") == 0)
          continue;
        char *input = canonical_path(input_files.inputs[i].name);
        bool same = path_equal(input, output);
        free(input);
        if (same)
          fatal_error(0, "input file %qs is the same as output file", command.output_name);
      }
      free(output);
    }
    if (!*command.output_name)
      fatal_error(0, "output filename may not be empty");
  }
  form_dump_names();

  if (command.save_temps_mode && command.pipes_requested) {
    warning_here(0, "%<-pipe%> ignored because %<-save-temps%> specified");
    command.pipes_requested = false;
  }

  if (command.compare_debug_mode == COMPARE_DEBUG_OFF) {
    const char *value = env.getenv("VUZ_COMPARE_DEBUG");
    if (value && *value) {
      if (value[0] == '-') {
        command.compare_debug_mode = COMPARE_DEBUG_ENV_OPTION;
        command.compare_debug_option = value;
      } else if (strcmp(value, "0") != 0) {
        command.compare_debug_mode = COMPARE_DEBUG_ENV_TOGGLE;
        command.compare_debug_option = "-gtoggle";
      }
    }
  } else if (command.compare_debug_mode == COMPARE_DEBUG_DISABLED) {
    command.compare_debug_mode = COMPARE_DEBUG_OFF;
  }

  if (!command.exec_prefix_root) {
    insert_search_prefix(&exec_prefixes, DRIVER_LIBEXEC_DIR, "VUZ", 1, 1, 0);
    insert_search_prefix(&exec_prefixes, DRIVER_LIBEXEC_DIR, "ZARNEL", 1, 2, 0);
    insert_search_prefix(&exec_prefixes, DRIVER_LIB_DIR, "ZARNEL", 1, 2, 0);
    insert_search_prefix(&startfile_prefixes, DRIVER_LIB_DIR, "ZARNEL", 1, 1, 0);
  } else {
    add_relocated_prefixes(unresolved, exec_prefix_from_environment);
  }

  char *tool_dir =
      concat_strings(command.exec_prefix_root ? command.exec_prefix_root : DRIVER_LIB_DIR,
                     DRIVER_MACHINE_SUFFIX "../../../../" DRIVER_TARGET "/bin/", nullptr);
  insert_search_prefix(&exec_prefixes, tool_dir, "ZARNEL", 1, 0, 0);
  free(tool_dir);

  if (input_files.input_count > 0 && command.current_language &&
      command.last_language_input_count == input_files.input_count)
    warning_here(0, "%<-x %s%> after last input file has no effect", command.current_language);

  if (command.compare_debug_mode == COMPARE_DEBUG_ENV_OPTION ||
      command.compare_debug_mode == COMPARE_DEBUG_ENV_TOGGLE) {
    record_switch(option_obstack_concat("-fcompare-debug=", command.compare_debug_option, nullptr),
                  0, nullptr, false, true);
    command.compare_debug_mode = COMPARE_DEBUG_ON;
  }

  if (input_files.input_count == 0 &&
      (driver_settings.help_requested || driver_settings.version_requested ||
       driver_settings.subprocess_help_mode))
    add_input_file("help-dummy", "c");

  unsigned query_flags =
      (driver_settings.help_requested ? 1 : 0) + (driver_settings.version_requested ? 1 : 0);
  command.queries_only =
      decoded_count == 1 + query_flags || (decoded_count == 2 && driver_verbose());

  terminate_switch_table();
  release_command_scratch();
  hold_directory_probes(false);
}
