// The per-input compile loop, the link step and the final actions, with the
// deletion of temporary files by outcome.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"
#include "driver/search-paths.h"
#include "options/opts-utils.h"
#include "support/alloc.h"
#include "support/concat.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

void delete_temp_list(temp_file_node *list)
{
  for (; list; list = list->next) {
    struct stat st;
    if (stat(list->name, &st) == 0 && S_ISREG(st.st_mode) && unlink(list->name) != 0 &&
        driver_verbose())
      error_here("%s: %m", list->name);
  }
}

static void forget_failure_list()
{
  release_temp_list(&temp_files.failure_delete_list);
}

run_step choose_input_compilers(driver_state *state)
{
  if (input_files.input_count == input_files.added_library_count)
    fatal_error(0, "no input files");
  if (errors_reported())
    return STEP_STOP;
  spec_expansion.output_names =
      checked_new_cleared<const char *>(static_cast<uint64_t>(input_files.input_count) + 1);
  state->explicit_link_flags =
      checked_new_cleared<unsigned char>(static_cast<uint64_t>(input_files.input_count) + 1);
  spec_expansion.inputs_combined = driver_wpa_given() || command.output_given;
  int counted = 0;
  compiler_entry *last = nullptr;
  for (int i = 0; i < input_files.input_count; i++) {
    input_file_entry &in = input_files.inputs[i];
    compiler_entry *cp = choose_compiler_row(in.name, strlen(in.name), in.language);
    if (cp && !cp->may_combine)
      spec_expansion.inputs_combined = false;
    if (counted > 0 && cp != last && in.language && in.language[0] != '*') {
      // Only given its compiler.
    } else if (cp) {
      counted++;
      last = cp;
    } else {
      state->explicit_link_flags[i] = 1;
    }
    in.compiler = cp;
    in.was_compiled = 0;
    in.was_preprocessed = 0;
  }
  if (command.output_given && command.compile_only && !spec_expansion.inputs_combined &&
      counted > 1)
    fatal_error(0, "cannot specify %<-o%> with %<-c%>, %<-S%> or %<-E%> with multiple files");
  return STEP_CONTINUE;
}

// Runs the second compilation of -fcompare-debug and compares the dumps.
static bool compare_debug_second_run(const char *input_name, const char *spec);

void do_spec_on_infiles(driver_state *state)
{
  for (int i = 0; i < input_files.input_count; i++) {
    input_file_entry &in = input_files.inputs[i];
    current_input.current_input_index = i;
    set_current_input(in.name);
    if (in.was_compiled)
      continue;
    spec_expansion.output_names[i] = in.name;
    current_input.current_compiler = choose_compiler_row(in.name, strlen(in.name), in.language);
    if (!current_input.current_compiler) {
      state->explicit_link_flags[i] = 1;
      forget_failure_list();
      continue;
    }
    bool failed;
    if (current_input.current_compiler->spec[0] == '#') {
      error_here("%s: %s compiler not installed on this system", in.name,
                 current_input.current_compiler->spec + 1);
      failed = true;
    } else {
      if (command.compare_debug_mode) {
        free(compare_debug.dump_names[0]);
        free(compare_debug.dump_names[1]);
        compare_debug.dump_names[0] = compare_debug.dump_names[1] = nullptr;
      }
      int value = expand_and_run_spec(current_input.current_compiler->spec);
      in.was_compiled = 1;
      failed = value < 0;
      if (!failed && command.compare_debug_mode && compare_debug.dump_names[0])
        failed = !compare_debug_second_run(in.name, current_input.current_compiler->spec);
      if (command.compare_debug_mode) {
        free(compare_debug.dump_names[0]);
        free(compare_debug.dump_names[1]);
        compare_debug.dump_names[0] = compare_debug.dump_names[1] = nullptr;
      }
    }
    if (!failed) {
      forget_failure_list();
      continue;
    }
    delete_temp_list(temp_files.failure_delete_list);
    global_diagnostic_state.kind_counts[DK_ERROR]++;
    forget_failure_list();
  }

  for (int i = 0; i < input_files.input_count; i++)
    if (input_files.inputs[i].compiler ||
        (input_files.inputs[i].language && input_files.inputs[i].language[0] != '*')) {
      set_current_input(input_files.inputs[i].name);
      break;
    }
  if (!errors_reported()) {
    current_input.current_input_index = input_files.input_count;
    if (language_pre_link_hook() != 0)
      global_diagnostic_state.kind_counts[DK_ERROR]++;
  }
}

static bool compare_debug_second_run(const char *input_name, const char *spec)
{
  if (driver_verbose())
    inform_loc(0, "recompiling with %<-fcompare-debug%>");
  command.compare_debug_mode = compare_debug_other_run(command.compare_debug_mode);
  use_compare_debug_table(2);
  int value = expand_and_run_spec(spec);
  use_compare_debug_table(1);
  command.compare_debug_mode = compare_debug_other_run(command.compare_debug_mode);
  if (value < 0) {
    error_here("during %<-fcompare-debug%> recompilation");
    return false;
  }
  // A second-run option can stop the recompilation before it names a dump
  // (-fcompare-debug=-M); that is the user's request failing, not ours.
  if (!compare_debug.dump_names[1]) {
    error_here("%s: %<-fcompare-debug%> recompilation made no dump to compare", input_name);
    return false;
  }
  if (driver_verbose())
    inform_loc(0, "comparing final insns dumps");
  // A dry run ran no compiler, so no dump was written: nothing to compare.
  if (driver_settings.dry_run_count > 0)
    return true;
  return !compare_debug_files(input_name);
}

void maybe_run_linker(driver_state *state, const char *invocation_name)
{
  int linker_inputs = 0;
  for (int i = 0; i < input_files.input_count; i++)
    if (state->explicit_link_flags[i] || spec_expansion.output_names[i])
      linker_inputs++;

  // The dump names of link-time outputs end in '.' rather than '-'.
  if (command.aux_base && *command.aux_base) {
    command.dump_dir = concat_replace(command.dump_dir, command.dump_dir ? command.dump_dir : "",
                                      command.aux_base, ".", nullptr);
    command.dump_dir_length += command.aux_base_length + 1;
    command.dump_dir_dash_appended = true;
  } else if (command.dump_dir_dash_appended) {
    size_t n = strlen(command.dump_dir);
    vuz_assert(n > 0 && command.dump_dir[n - 1] == '-');
    command.dump_dir[n - 1] = '.';
  }
  if (command.dump_dir && command.dump_dir_dash_appended)
    command.dump_dir_length = static_cast<int>(strlen(command.dump_dir)) - 1;
  free(command.aux_base);
  command.aux_base = nullptr;
  command.aux_base_length = 0;
  current_input.current_input_base = "";
  current_input.current_base_length = 0;
  current_input.current_base_suffixed_length = 0;

  if (linker_inputs > 0 && !errors_reported() && driver_settings.subprocess_help_mode != SUBPROCESS_HELP_OPTIONS) {
    uint32_t commands_before = run_values.commands_run;
    const char *makeflags = nullptr;
    if (!detect_jobserver(&makeflags) && makeflags && *makeflags)
      env.xput(checked_strdup(makeflags));
    if (!command.compile_only) {
      if (strcmp(spec_tables.linker_name_spec, "vresk") == 0) {
        char *found = find_program("vresk");
        if (!found)
          set_static_spec(&spec_tables.linker_name_spec, "ld");
        free(found);
      }
      // Without link-time optimisation the plug-in is never used, so its
      // absence must not stop the link.
      if (!live_switch_exists("fno-use-linker-plugin") && !live_switch_exists("fno-lto")) {
        char *plugin = locate_file(&exec_prefixes, "libzinvet.so", R_OK, false);
        if (!plugin)
          fatal_error(0, "%<-fuse-linker-plugin%>, but %s not found", "libzinvet.so");
        set_static_spec(&spec_tables.linker_plugin_file_spec, escape_blanks(plugin));
        free(plugin);
      }
      set_static_spec(&spec_tables.lto_vuz_spec, invocation_name);
    }
    env.xput(checked_strdup(join_search_dirs(&exec_prefixes, "COMPILER_PATH", true, false)));
    env.xput(checked_strdup(join_search_dirs(&startfile_prefixes, "LIBRARY_PATH", true, true)));
    if (driver_settings.subprocess_help_mode == SUBPROCESS_HELP_TARGET) {
      printf("\nLinker options\n==============\n\n");
      printf("Use \"-Wl,OPTION\" to pass \"OPTION\" to the linker.\n\n");
      fflush(stdout);
    }
    if (expand_and_run_spec(spec_tables.link_command_spec) < 0)
      global_diagnostic_state.kind_counts[DK_ERROR] = 1;
    if (run_values.commands_run != commands_before)
      return;
  }

  if (errors_reported())
    return;
  for (int i = 0; i < input_files.input_count; i++) {
    if (!state->explicit_link_flags[i] ||
        (input_files.inputs[i].language && input_files.inputs[i].language[0] == '*'))
      continue;
    const char *name = spec_expansion.output_names[i] ? spec_expansion.output_names[i]
                                                      : input_files.inputs[i].name;
    warning_here(0, "%s: linker input file unused because linking not done", name);
    if (access(name, F_OK) != 0)
      error_here("%s: linker input file not found: %m", name);
  }
}

void finish_run()
{
  if (errors_reported())
    delete_temp_list(temp_files.failure_delete_list);
  forget_failure_list();
  delete_temp_list(temp_files.always_delete_list);
  release_temp_list(&temp_files.always_delete_list);
  if (driver_settings.help_requested) {
    puts("\nFor bug reporting instructions, please see:");
    puts("<" DRIVER_BUG_URL ">");
  }
}
