// Fuzzes the spec interpreter (the first input byte even) or the spec-file
// reader (odd) with a fixed switch table. Nothing is run: every command is a
// dry run. A fatal error of the driver ends the run through exit_program,
// which jumps back here instead of exiting; every input starts from the state
// driver_reset leaves, with a fresh diagnostic context.
// Run it with -close_fd_mask=3 (the echo and the reports are not of interest)
// and -detect_leaks=0 (a fatal error leaves what the reader held).
#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"
#include "driver/specs.h"
#include "support/alloc.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static jmp_buf back_to_fuzzer;

static void jump_back(int status)
{
  if (status == 4)
    abort();  // an internal error is a finding
  longjmp(back_to_fuzzer, 1);
}

static void set_up()
{
  env.init(true, false);  // so that driver_reset can restore the environment
  init_option_obstack();
  init_options_struct(&global_options, &global_options_set);
  diagnostic_state_init(&global_diagnostic_state, 0);
  obstack_init_pool(&spec_obstack);
  obstack_init_pool(&collect_obstack);
  dry_run_count = 1;  // echo, never execute
  driver_set_verbose(1);
  init_multilib_texts();
  init_builtin_specs();
  // A heap copy with its zeroed closing row, as a run has: spec files add rows.
  compilers = static_cast<compiler_entry *>(
      calloc(static_cast<size_t>(builtin_compiler_count) + 1, sizeof(compiler_entry)));
  memcpy(compilers, builtin_compilers, builtin_compiler_count * sizeof(compiler_entry));
  compiler_count = builtin_compiler_count;
  const char *further[] = {"FOO"};
  record_switch("-c", 0, nullptr, false, true);
  record_switch("-fpic", 0, nullptr, false, true);
  record_switch("-D", 1, further, false, true);
  record_switch("-mcpu=cortex-a9", 0, nullptr, false, true);
  record_switch("-O2", 0, nullptr, false, true);
  terminate_switch_table();
  output_names = static_cast<const char **>(calloc(2, sizeof(char *)));
  set_current_input("dir/x.c");
}

// The spec file of one input, removed again once it has been read.
static const char *spec_file_name()
{
  static char name[64];
  if (!name[0])
    snprintf(name, sizeof name, "/tmp/fuzz-specs-%d", static_cast<int>(getpid()));
  return name;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size == 0)
    return 0;
  std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
  set_up();
  exit_program_hook = jump_back;
  if (setjmp(back_to_fuzzer) == 0) {
    if (data[0] & 1) {
      FILE *f = fopen(spec_file_name(), "w");
      if (f) {
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        load_spec_file(spec_file_name(), data[0] & 2, true);
      }
    } else {
      expand_and_run_spec(text.c_str());
    }
  }
  exit_program_hook = nullptr;
  unlink(spec_file_name());
  driver_reset();
  return 0;
}
