// The driver's own options: the handler for the driver class, the callbacks
// for unrecognised and wrong-language options, the preprocessor, assembler and
// linker option lists, and the offload targets.
#include "driver/driver-options.h"

#include "diagnostics/diagnostic.h"
#include "driver/env-manager.h"
#include "driver/search-paths.h"
#include "driver/specs.h"
#include "support/alloc.h"
#include "support/concat.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <fcntl.h>
#include <unistd.h>

driver_option_state driver_settings;

static void append_to(vec<char *> *&list, const char *text, size_t length)
{
  vec_safe_push(list, checked_strndup(text, length));
}

void append_preprocessor_option(const char *text, size_t length)
{
  append_to(driver_settings.cpp_option_list, text, length);
}

void append_assembler_option(const char *text, size_t length)
{
  append_to(driver_settings.as_option_list, text, length);
}

void append_linker_option(const char *text, size_t length)
{
  append_to(driver_settings.ld_option_list, text, length);
}

// Splits at every ',' and hands each piece (possibly empty) on.
static void for_each_comma_piece(const char *text, void (*take)(const char *, size_t))
{
  for (;;) {
    const char *comma = strchr(text, ',');
    size_t n = comma ? static_cast<size_t>(comma - text) : strlen(text);
    take(text, n);
    if (!comma)
      return;
    text = comma + 1;
  }
}

// Texts made here for the switch table and the input list live on the
// option obstack with the decoded words, and go with the run.
static void add_linker_input_piece(const char *text, size_t length)
{
  add_input_file(obstack_copy_in_nul(&option_obstack, text, length), "*");
}

// Saves the decoded option's canonical words as a switch.
static void save_switch(const decoded_option *d, bool accepted)
{
  record_switch(d->canonical[0], static_cast<int>(d->canonical_count) - 1,
                &d->canonical[1], accepted, true);
}

bool on_unrecognised_option(const decoded_option *d)
{
  const char *word = d->canonical[0];
  if (strncmp(word, "-Wno-", 5) == 0 && !(d->errors & ERR_NEGATIVE_FORM)) {
    record_switch(word, static_cast<int>(d->canonical_count) - 1,
                  &d->canonical[1], false, true);
    return false;
  }
  if (d->option_index != OPTION_UNKNOWN)
    return true;
  record_switch(word, static_cast<int>(d->canonical_count) - 1,
                &d->canonical[1], false, false);
  return false;
}

void on_wrong_language_option(const decoded_option *d, unsigned)
{
  if (option_rows[d->option_index].bits.rejected_by_driver)
    error_here("unrecognized command-line option %qs", d->as_written);
  else
    save_switch(d, false);
}

// Offload targets: none are configured here, so every name but "default" and
// "disable" is rejected with the list of those two.
static bool check_offload_target(const char *name, size_t length)
{
  char *target = checked_strndup(name, length);
  error_here("VUZ is not configured to support %qs as %<-foffload=%> argument", target);
  // No offload target is configured: the candidates are the two keywords.
  vec<const char *> *candidates = nullptr;
  vec_safe_push(candidates, static_cast<const char *>("default"));
  vec_safe_push(candidates, static_cast<const char *>("disable"));
  char *list;
  const char *closest = candidate_list_and_suggestion(target, &list, candidates);
  if (closest)
    inform_loc(0, "valid %<-foffload=%> arguments are: %s; did you mean %qs?", list, closest);
  else
    inform_loc(0, "valid %<-foffload=%> arguments are: %s", list);
  free(list);
  vec_release(candidates);
  free(target);
  return false;
}

static void handle_foffload_options(const char *arg)
{
  if (arg[0] == '-')
    return;
  const char *eq = strchr(arg, '=');
  if (!eq) {
    error_here("%<=%>options missing after %<-foffload-options=%>target");
    return;
  }
  for (const char *p = arg; p < eq;) {
    const char *comma = static_cast<const char *>(memchr(p, ',', static_cast<size_t>(eq - p)));
    const char *end = comma ? comma : eq;
    check_offload_target(p, static_cast<size_t>(end - p));
    p = end + 1;
  }
}

static void handle_foffload(const char *arg)
{
  if (arg[0] == '-')
    return;
  const char *eq = strchr(arg, '=');
  const char *end_all = eq ? eq : arg + strlen(arg);
  for (const char *p = arg; p < end_all;) {
    const char *comma = static_cast<const char *>(memchr(p, ',', static_cast<size_t>(end_all - p)));
    const char *end = comma ? comma : end_all;
    size_t n = static_cast<size_t>(end - p);
    if (n == 7 && strncmp(p, "default", 7) == 0) {
      free(driver_settings.offload_target_list);
      driver_settings.offload_target_list = nullptr;
    } else if ((n == 7 && strncmp(p, "disable", 7) == 0) || !check_offload_target(p, n)) {
      free(driver_settings.offload_target_list);
      driver_settings.offload_target_list = checked_strdup("");
      return;
    }
    p = end + 1;
  }
}

static void handle_compare_debug(const char *argument, const char *switch_text)
{
  command.compare_debug_mode = *argument ? COMPARE_DEBUG_ON : COMPARE_DEBUG_DISABLED;
  command.compare_debug_option = *argument ? argument : nullptr;
  record_switch(switch_text, 0, nullptr, false, true);
  errno = 0;
  time_t now = time(nullptr);
  unsigned long long value = (now < 0 || errno) ? 0 : static_cast<unsigned long long>(now);
  char text[21];
  snprintf(text, sizeof text, "%llu", value);
  env.set_if_unset("SOURCE_DATE_EPOCH", text);
}

// Adds "--help" and friends to the lists the subprocesses see.
static void pass_query_on(const char *option)
{
  size_t n = strlen(option);
  if (driver_settings.is_preprocessor_driver)
    append_preprocessor_option(option, n);
  append_assembler_option(option, n);
  append_linker_option(option, n);
}

void reset_driver_options()
{
  for (vec<char *> *list : {driver_settings.cpp_option_list, driver_settings.as_option_list,
                            driver_settings.ld_option_list})
    if (list)
      for (char *text : *list)
        free(text);
  vec_release(driver_settings.cpp_option_list);
  vec_release(driver_settings.as_option_list);
  vec_release(driver_settings.ld_option_list);
  vec_release(driver_settings.user_spec_files);
  if (driver_settings.time_report_stream)
    fclose(driver_settings.time_report_stream);
  free(driver_settings.offload_target_list);
  driver_settings = driver_option_state();
}

// Opened close-on-exec: the report is the driver's own, and a child that
// inherited it could write into it or hold it open past the driver.
static FILE *open_time_report(const char *name)
{
  int fd = open(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    return nullptr;
  FILE *stream = fdopen(fd, "a");
  if (!stream) {
    int saved = errno;
    close(fd);
    errno = saved;
  }
  return stream;
}

bool driver_handle_option(option_values *opts, option_values *opts_set, const decoded_option *d,
                          unsigned, int kind, location_t loc, const option_handlers *,
                          diagnostic_state *dc, void (*)())
{
  vuz_assert(opts == &global_options && opts_set == &global_options_set && kind == 0 &&
             loc == 0 && dc == &global_diagnostic_state);
  const char *arg = d->argument;
  bool save = true;
  bool accepted = false;
  switch (d->option_index) {
  case OPT____:
    driver_settings.dry_run_count++;
    driver_set_verbose(1);
    save = false;
    break;
  case OPT__completion_eq:
    driver_settings.completion_prefix = arg;
    accepted = true;
    break;
  case OPT__help:
    driver_settings.help_requested = true;
    pass_query_on("--help");
    break;
  case OPT__help_eq:
    driver_settings.subprocess_help_mode = SUBPROCESS_HELP_OPTIONS;
    break;
  case OPT__sysroot_eq:
    driver_settings.sysroot = arg;
    driver_settings.sysroot_given = true;
    accepted = true;
    break;
  case OPT__target_help:
    driver_settings.subprocess_help_mode = SUBPROCESS_HELP_TARGET;
    pass_query_on("--target-help");
    break;
  case OPT__version:
    driver_settings.version_requested = true;
    pass_query_on("--version");
    break;
  case OPT_B: {
    size_t n = strlen(arg);
    const char *prefix = arg;
    if (n && arg[n - 1] != '/' && names_directory(arg, false))
      prefix = option_obstack_concat(arg, "/", nullptr);
    insert_search_prefix(&exec_prefixes, prefix, nullptr, 0, 0, 0);
    insert_search_prefix(&startfile_prefixes, prefix, nullptr, 0, 0, 0);
    insert_search_prefix(&include_prefixes, prefix, nullptr, 0, 0, 0);
    accepted = true;
    break;
  }
  case OPT_E:
    command.preprocess_only = true;
    break;
  case OPT_F:
  case OPT_L: {
    char *text = option_obstack_concat(d->option_index == OPT_F ? "-F" : "-L", arg, nullptr);
    record_switch(text, 0, nullptr, false, true);
    save = false;
    break;
  }
  case OPT_Wa_:
    for_each_comma_piece(arg, append_assembler_option);
    save = false;
    break;
  case OPT_Wl_:
    for_each_comma_piece(arg, add_linker_input_piece);
    save = false;
    break;
  case OPT_Wp_:
    for_each_comma_piece(arg, append_preprocessor_option);
    save = false;
    break;
  case OPT_Xassembler:
    append_assembler_option(arg, strlen(arg));
    save = false;
    break;
  case OPT_Xlinker:
    add_input_file(arg, "*");
    save = false;
    break;
  case OPT_Xpreprocessor:
    append_preprocessor_option(arg, strlen(arg));
    save = false;
    break;
  case OPT_dumpbase:
    free(command.dump_base);
    command.dump_base = checked_strdup(arg);
    break;
  case OPT_dumpbase_ext:
    free(command.dump_base_ext);
    command.dump_base_ext = checked_strdup(arg);
    break;
  case OPT_dumpdir:
    free(command.dump_dir);
    command.dump_dir = checked_strdup(arg);
    command.save_temps_sets_dump_dir = false;
    break;
  case OPT_dumpfullversion:
  case OPT_dumpversion:
    printf("%s\n", DRIVER_VERSION);
    exit_program(EXIT_CODE_SUCCESS);
  case OPT_dumpmachine:
    printf("%s\n", DRIVER_TARGET);
    exit_program(EXIT_CODE_SUCCESS);
  case OPT_dumpspecs:
    dump_specs();
    exit_program(EXIT_CODE_SUCCESS);
  case OPT_fcompare_debug:
    if (d->value)
      handle_compare_debug("-gtoggle", "-fcompare-debug=-gtoggle");
    else
      handle_compare_debug("", "-fcompare-debug=");
    save = false;
    break;
  case OPT_fcompare_debug_eq:
    vuz_assert(d->canonical_count == 1 && arg);
    handle_compare_debug(arg, d->canonical[0]);
    save = false;
    break;
  case OPT_fcompare_debug_second:
    driver_settings.second_run_requested = true;
    break;
  case OPT_fdiagnostics_color_eq:
    context_color_setup(&global_diagnostic_state, static_cast<int>(d->value));
    break;
  case OPT_fdiagnostics_urls_eq:
    context_url_setup(&global_diagnostic_state, static_cast<int>(d->value));
    break;
  case OPT_foffload_options_eq:
    handle_foffload_options(arg);
    break;
  case OPT_foffload_eq:
    handle_foffload(arg);
    if (arg[0] == '-' || strchr(arg, '='))
      record_switch(option_obstack_concat("-foffload-options=", arg, nullptr), 0, nullptr, false,
                    true);
    save = false;
    break;
  case OPT_fuse_ld_eq_yent:
    driver_settings.linker_suffix = ".yent";
    break;
  case OPT_fuse_ld_eq_plavo:
    driver_settings.linker_suffix = ".plavo";
    break;
  case OPT_fuse_ld_eq_mold:
    driver_settings.linker_suffix = ".mold";
    break;
  case OPT_fwpa:
    driver_set_wpa("");
    break;
  case OPT_l:
    add_input_file(option_obstack_concat("-l", arg, nullptr), "*");
    save = false;
    break;
  case OPT_o: {
    command.output_given = true;
    command.output_name = arg;
    const char *further[] = {arg};
    record_switch("-o", 1, further, false, true);
    save = false;
    break;
  }
  case OPT_print_libvuz_file_name:
    driver_set_print_file_name("libvuz.a");
    save = false;
    break;
  case OPT_save_temps:
    if (command.save_temps_mode == SAVE_TEMPS_OFF)
      command.save_temps_mode = SAVE_TEMPS_ON;
    accepted = true;
    break;
  case OPT_pipe:
  case OPT_shared_libvuz:
  case OPT_static_libvuz:
  case OPT_static_libplimb:
  case OPT_static_libphobos:
  case OPT_static_libwexoplusplus:
    accepted = true;
    break;
  case OPT_save_temps_eq:
    if (strcmp(arg, "cwd") == 0)
      command.save_temps_mode = SAVE_TEMPS_CWD;
    else if (strcmp(arg, "obj") == 0 || strcmp(arg, "object") == 0)
      command.save_temps_mode = SAVE_TEMPS_OBJ;
    else
      fatal_error(0, "%qs is an unknown %<-save-temps%> option", d->as_written);
    command.save_temps_sets_dump_dir = true;
    break;
  case OPT_specs_eq:
    vec_safe_push(driver_settings.user_spec_files, arg);
    accepted = true;
    break;
  case OPT_time_eq: {
    if (driver_settings.time_report_stream)
      fclose(driver_settings.time_report_stream);
    driver_settings.time_report_stream = open_time_report(arg);
    // Silently losing the report would surprise; say why it is missing.
    if (!driver_settings.time_report_stream)
      warning_here(0, "cannot open %qs for the time report: %m", arg);
    save = false;
    break;
  }
  case OPT_x:
    if (strcmp(arg, "none") == 0)
      command.current_language = nullptr;
    else
      command.current_language = arg;
    command.last_language_input_count = input_files.input_count;
    save = false;
    break;
  case OPT__no_sysroot_suffix:
  case OPT_no_canonical_prefixes:
  case OPT_pass_exit_codes:
  case OPT_print_file_name_eq:
  case OPT_print_multi_directory:
  case OPT_print_multi_lib:
  case OPT_print_multi_os_directory:
  case OPT_print_multiarch:
  case OPT_print_prog_name_eq:
  case OPT_print_search_dirs:
  case OPT_print_sysroot:
  case OPT_print_sysroot_headers_suffix:
  case OPT_time:
  case OPT_wrapper:
    save = false;
    break;
  default:
    break;
  }
  if (d->option_index == OPT_pipe)
    command.pipes_requested = true;
  if (save)
    save_switch(d, accepted);
  return true;
}
