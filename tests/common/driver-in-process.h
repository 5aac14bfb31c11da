// Driver runs inside a test or fuzz program: each run ends, however it ends
// (a query, a fatal error), back in the caller, followed by driver_reset, so
// that the next run meets the state of a fresh process.
#ifndef VUZ_TESTS_COMMON_DRIVER_IN_PROCESS_H
#define VUZ_TESTS_COMMON_DRIVER_IN_PROCESS_H

// Runs the driver on ARGV (ARGC words, null-terminated) and returns its exit
// status. An internal error aborts when ABORT_ON_INTERNAL_ERROR is set, for a
// fuzzer to record; otherwise it is returned as status 4.
int run_driver_in_process(int argc, char **argv, bool abort_on_internal_error);

#endif
