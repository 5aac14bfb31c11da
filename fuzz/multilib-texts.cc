// Multilib selection over arbitrary multilib texts and switches: the input
// holds the select, matches, defaults, exclusions, reuse, options and extra
// texts and then the switches (each without its '-'), separated by NUL bytes. A
// malformed text is a fatal error, which ends here instead of the process.
// Run it with -close_fd_mask=3 -detect_leaks=0 (the table is printed); leaks
// are not checked (fuzz/driver-leaks.cc): a fatal error leaves what the
// selection held.
#include "diagnostics/diagnostic.h"
#include "driver/env-manager.h"
#include "driver/specs.h"
#include "fuzz/input-parts.h"
#include "options/option-decode.h"
#include "support/alloc.h"

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

static jmp_buf selection_ended;

static void end_selection(int status)
{
  if (status == 4)
    abort();  // an internal error is a finding
  longjmp(selection_ended, 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::vector<std::string> parts = input_parts(data, size, 40);
  parts.resize(parts.size() < 7 ? 7 : parts.size());

  env.init(true, false);  // so that driver_reset can restore the environment
  init_option_obstack();
  diagnostic_state_init(&global_diagnostic_state, 0);
  spec_tables.multilib_select = parts[0].c_str();
  spec_tables.multilib_matches = parts[1].c_str();
  spec_tables.multilib_defaults = parts[2].c_str();
  spec_tables.multilib_exclusions = parts[3].c_str();
  spec_tables.multilib_reuse = parts[4].c_str();
  spec_tables.multilib_options = parts[5].c_str();
  spec_tables.multilib_extra = parts[6].c_str();
  std::vector<std::string> switch_texts;
  for (size_t i = 7; i < parts.size(); i++)
    switch_texts.push_back("-" + parts[i]);
  for (const std::string &text : switch_texts)
    record_switch(text.c_str(), 0, nullptr, false, true);
  terminate_switch_table();

  exit_program_hook = end_selection;
  if (setjmp(selection_ended) == 0) {
    select_multilib();
    print_multilib_table();
  }
  exit_program_hook = nullptr;
  driver_reset();
  return 0;
}
