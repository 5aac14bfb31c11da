// Leak checking off for the driver targets, at exit too: a run that a fatal
// error ends leaves what its frames held, and libFuzzer's -detect_leaks=0
// does not stop the check at exit. The leaks of whole runs are a unit test's.
extern "C" const char *__asan_default_options()
{
  return "detect_leaks=0";
}
