// Leak checking off for the driver targets, at exit too: a run that a fatal
// error ends leaves what its frames held, and libFuzzer's -detect_leaks=0
// does not stop the check at exit. The leaks of whole runs are a unit test's.
// Give -detect_leaks=0 all the same: without it libFuzzer runs every input
// that allocates a second time, to look for leaks that go unreported.
extern "C" const char *__asan_default_options()
{
  return "detect_leaks=0";
}
