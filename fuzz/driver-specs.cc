// Fuzzes the spec interpreter or the spec-file reader with a fixed switch
// table (tests/common/spec-fuzz-input.h). Nothing is run: every command is a
// dry run. A fatal error of the driver ends the run through exit_program,
// which jumps back here instead of exiting; every input starts from the state
// driver_reset leaves, with a fresh diagnostic context.
// Run it with -close_fd_mask=3 -detect_leaks=0 (the echo and the reports are
// not of interest); leaks are not checked (fuzz/driver-leaks.cc): a fatal
// error leaves what the reader held.
#include "driver/driver.h"
#include "fuzz/scratch.h"
#include "support/alloc.h"
#include "tests/common/spec-fuzz-input.h"

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

static jmp_buf back_to_fuzzer;

static void jump_back(int status)
{
  if (status == 4)
    abort();  // an internal error is a finding
  longjmp(back_to_fuzzer, 1);
}

// The spec file of one input, removed again once it has been read.
static const char *spec_file_name()
{
  static const std::string name = fuzz_scratch_name("vuz-driver-specs-fuzz-");
  return name.c_str();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  exit_program_hook = jump_back;
  if (setjmp(back_to_fuzzer) == 0)
    run_spec_fuzz_input(data, size, spec_file_name());
  exit_program_hook = nullptr;
  unlink(spec_file_name());
  if (size > 0)
    driver_reset();
  return 0;
}
