// Whole driver runs inside a fuzz target: each run starts as in a fresh
// process and ends, however it ends, with driver_reset, so that the next
// input meets the same state. Nothing is ever executed: every run is a dry
// run ("-###" is added last).
#ifndef VUZ_FUZZ_DRIVER_HARNESS_H
#define VUZ_FUZZ_DRIVER_HARNESS_H

#include <string>
#include <vector>

// Runs the C driver on ARGS (the program name, that of an installation with
// the linker plug-in, is added in front) in a scratch working directory, which
// is emptied afterwards; returns the exit status. Runs that end early (fatal
// errors, queries) leave what their frames held: the targets check no leaks.
int harness_run_driver(const std::vector<std::string> &args);

#endif
