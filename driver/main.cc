// The program entry and the fixed order of one driver run, the process-wide
// set-up, the exit status, and the clean-up at exit and on fatal signals.
#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"
#include "driver/search-paths.h"
#include "driver/specs.h"
#include "support/alloc.h"
#include "support/argv.h"
#include "support/file-names.h"
#include "support/pex.h"
#include "support/concat.h"
#include "support/system-utils.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

driver_run_values run_values;

// Removes one listed file; only async-signal-safe calls, as the signal
// handler uses it too.
static void remove_listed_file(const char *name)
{
  struct stat st;
  if (stat(name, &st) != 0 || !S_ISREG(st.st_mode))
    return;
  if (unlink(name) == 0 || !driver_verbose())
    return;
  // No strerror here: only async-signal-safe work in a signal handler.
  const char *parts[] = {run_values.program_name ? run_values.program_name : "vuz",
                         ": error: ", name, ": cannot remove temporary file\n"};
  for (const char *part : parts)
    if (write(2, part, strlen(part)) < 0)
      return;
}

static void remove_list(temp_file_node *list)
{
  for (temp_file_node *node = list; node; node = node->next)
    remove_listed_file(node->name);
}

// The final actions forget the delete-on-failure list; names still on it at
// exit are the outputs of an input or a link that a fatal error cut short.
void remove_temp_files_at_exit()
{
  // A fatal error can end the driver while programs of a pipeline still
  // run; they must not outlive it, writing into the files removed below.
  pex_end_children(SIGTERM);
  delete_temp_list(temp_files.failure_delete_list);
  release_temp_list(&temp_files.failure_delete_list);
  delete_temp_list(temp_files.always_delete_list);
  release_temp_list(&temp_files.always_delete_list);
}

void on_fatal_signal(int signal_number)
{
  signal(signal_number, SIG_DFL);
  // The signal is held while its handler runs; let a second one through, so
  // that it ends the driver at once should a child outlive the first.
  sigset_t this_one;
  sigemptyset(&this_one);
  sigaddset(&this_one, signal_number);
  sigprocmask(SIG_UNBLOCK, &this_one, nullptr);
  // A child still running would go on writing the files removed below, or
  // make them anew.
  pex_end_children(signal_number);
  remove_list(temp_files.failure_delete_list);
  remove_list(temp_files.always_delete_list);
  temp_files.always_delete_list = nullptr;
  kill(getpid(), signal_number);
}

// Until a file is listed for deletion a fatal signal has nothing to clean
// up, and its default action ends the driver as the handler would: a query
// run is spared the eight system calls. Put in place again whenever both
// lists were empty, as each run did at its start: a flag of its own would
// cost a short run the fault of its page.
void arm_fatal_signal_handlers()
{
  if (temp_files.always_delete_list || temp_files.failure_delete_list)
    return;
  for (int sig : {SIGINT, SIGHUP, SIGTERM, SIGPIPE})
    if (signal(sig, SIG_IGN) != SIG_IGN)
      signal(sig, on_fatal_signal);
}

void driver_global_setup()
{
  stream_helper_noop();
  // No per-option entries: the driver reports under option index 0 only.
  diagnostic_state_init(&global_diagnostic_state, 0);
  context_color_setup(&global_diagnostic_state, -1);
  context_url_setup(&global_diagnostic_state, -1);
  // Once per process, however many runs it holds.
  static bool exit_handler_registered;
  if (!exit_handler_registered && atexit(remove_temp_files_at_exit) != 0)
    fatal_error(0, "atexit failed");
  exit_handler_registered = true;
  signal(SIGCHLD, SIG_DFL);
  raise_stack_limit(0x4000000);
  vec_reserve_exact(spec_expansion.argbuf, 10);
  vec_reserve_exact(spec_words.response_argbuf, 10);
  obstack_init_pool_on_use(&spec_expansion.spec_obstack);
  obstack_init_pool_on_use(&spec_expansion.collect_obstack);
}

int run_exit_status()
{
  if (run_values.sigpipe_count)
    return EXIT_CODE_SIGPIPE;
  if (errors_reported())
    return driver_pass_exit_codes() ? static_cast<int>(run_values.max_child_status)
                                    : EXIT_CODE_ERRORS;
  return EXIT_CODE_SUCCESS;
}

// A blank or tab in a path gets a backslash, so that the path stays one word.
// The text is kept for the run on the collect obstack.
char *escape_blanks(const char *path)
{
  for (const char *run = path;;) {
    size_t n = strcspn(run, " \t");
    obstack_append(&spec_expansion.collect_obstack, run, n);
    if (!run[n])
      break;
    obstack_append_byte(&spec_expansion.collect_obstack, '\\');
    obstack_append_byte(&spec_expansion.collect_obstack, run[n]);
    run += n + 1;
  }
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  return static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

static void export_assembler_options()
{
  if (vec_empty(driver_settings.as_option_list))
    return;
  obstack_append_text(&spec_expansion.collect_obstack, "VRESK_AS_OPTIONS=");
  bool first = true;
  for (const char *option : *driver_settings.as_option_list) {
    if (!first)
      obstack_append_byte(&spec_expansion.collect_obstack, ' ');
    first = false;
    // Quoted like the other option lists, so an option with a quote survives.
    append_quoted_for_export(&spec_expansion.collect_obstack, option);
  }
  env_xput_object(&spec_expansion.collect_obstack);
}

static void report_unrecognised_options(driver_state *state)
{
  for (int i = 0; i < saved_switches.switch_count; i++) {
    if (saved_switches.switches[i].accepted)
      continue;
    const char *text = saved_switches.switches[i].text;
    const char *suggestion = suggest_option(&state->suggester, text);
    if (suggestion)
      error_here("unrecognized command-line option %<-%s%>; did you mean %<-%s%>?", text,
                 suggestion);
    else
      error_here("unrecognized command-line option %<-%s%>", text);
  }
}

int driver_run(driver_state *state, int argc, char **argv)
{
  const char *slash = strrchr(argv[0], '/');
  run_values.program_name = slash ? slash + 1 : argv[0];
  alloc_set_program_name(run_values.program_name);

  char **original = argv;
  expand_response_files(&argc, &argv);
  run_values.response_files_used = argv != original;
  if (run_values.response_files_used)
    run_values.expanded_arguments = argv;

  init_option_obstack();
  init_options_struct(&global_options, &global_options_set);
  decode_argv_to_option_array(static_cast<unsigned>(argc), const_cast<const char **>(argv), FLAG_DRIVER, &state->option_records,
                              &state->option_record_count);

  driver_global_setup();
  init_multilib_texts();
  load_all_specs(state->option_record_count, state->option_records);

  export_assembler_options();
  env.xput(concat_strings("VRESK_VUZ=", argv[0], nullptr));
  if (!command.compile_only) {
    if (char *quorf = find_program("quorf")) {
      char *escaped = escape_blanks(quorf);
      set_static_spec(&spec_tables.quorf_spec, escaped);
      env.xput(concat_strings("VRESK_QUORF=", escaped, nullptr));
      free(quorf);
    }
  }
  if (driver_settings.offload_target_list && *driver_settings.offload_target_list)
    env.xput(concat_strings("OFFLOAD_TARGET_NAMES=", driver_settings.offload_target_list, nullptr));
  free(driver_settings.offload_target_list);
  driver_settings.offload_target_list = nullptr;

  report_unrecognised_options(state);

  if (driver_settings.completion_prefix) {
    print_option_completions(&state->suggester, driver_settings.completion_prefix);
    return EXIT_CODE_SUCCESS;
  }
  if (answer_print_queries() == STEP_STOP)
    return EXIT_CODE_SUCCESS;
  if (choose_input_compilers(state) == STEP_CONTINUE) {
    do_spec_on_infiles(state);
    maybe_run_linker(state, argv[0]);
    finish_run();
  }
  return run_exit_status();
}

void driver_reset()
{
  env.restore();
  if (global_diagnostic_state.printer)
    diagnostic_state_finish(&global_diagnostic_state);
  // Removed as the exit handler would; the nodes go with the lists.
  reset_temp_names();
  reset_compare_debug();
  reset_switch_table();
  reset_spec_tables();
  reset_multilib_choice();
  reset_search_paths();
  reset_driver_options();
  reset_command_state();
  reset_spec_interpreter();
  obstack_release_to(&option_obstack, nullptr);
  option_obstack = obstack();
  argv_free(run_values.expanded_arguments);
  run_values = driver_run_values();
}
