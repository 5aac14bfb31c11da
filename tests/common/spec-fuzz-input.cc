// The state and the run of one spec fuzz input.
#include "tests/common/spec-fuzz-input.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/env-manager.h"
#include "driver/specs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static void set_up()
{
  env.init(true, false);  // so that driver_reset can restore the environment
  init_option_obstack();
  init_options_struct(&global_options, &global_options_set);
  diagnostic_state_init(&global_diagnostic_state, 0);
  obstack_init_pool(&spec_expansion.spec_obstack);
  obstack_init_pool(&spec_expansion.collect_obstack);
  driver_settings.dry_run_count = 1; // echo, never execute
  driver_set_verbose(1);
  init_multilib_texts();
  init_builtin_specs();
  // A heap copy with its zeroed closing row, as a run has: spec files add rows.
  spec_tables.compilers = static_cast<compiler_entry *>(
      calloc(static_cast<size_t>(builtin_compiler_count) + 1, sizeof(compiler_entry)));
  memcpy(spec_tables.compilers, builtin_compilers, builtin_compiler_count * sizeof(compiler_entry));
  spec_tables.compiler_count = builtin_compiler_count;
  const char *further[] = {"FOO"};
  record_switch("-c", 0, nullptr, false, true);
  record_switch("-fpic", 0, nullptr, false, true);
  record_switch("-D", 1, further, false, true);
  record_switch("-mcpu=cortex-a9", 0, nullptr, false, true);
  record_switch("-O2", 0, nullptr, false, true);
  terminate_switch_table();
  spec_expansion.output_names = static_cast<const char **>(calloc(2, sizeof(char *)));
  set_current_input("dir/x.c");
}

// The text outlives the run's frame: a fatal error may leave that frame by a
// longjmp, which would skip a local string's destructor.
static std::string input_text;

void run_spec_fuzz_input(const uint8_t *data, size_t size, const char *spec_file)
{
  if (size == 0)
    return;
  set_up();
  input_text.assign(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] & 1) {
    FILE *f = fopen(spec_file, "w");
    if (!f)
      return;
    fwrite(input_text.data(), 1, input_text.size(), f);
    fclose(f);
    load_spec_file(spec_file, data[0] & 2, true);
  } else {
    expand_and_run_spec(input_text.c_str());
  }
}
