// One input of the spec fuzz target, shared with the test that replays the
// inputs fuzzing found: a first byte whose lowest bit chooses the spec-file
// reader (bit 1 then makes it the main file) over the interpreter, then the
// text, run with a fixed switch table and every command a dry run.
#ifndef VUZ_TESTS_COMMON_SPEC_FUZZ_INPUT_H
#define VUZ_TESTS_COMMON_SPEC_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>

// Sets up the driver state the input runs in, then runs it; a spec file is
// written to SPEC_FILE first.
void run_spec_fuzz_input(const uint8_t *data, size_t size, const char *spec_file);

#endif
