// Regular expressions: compiling and running the version pattern as the
// version check does, and searches whose start positions the fastmap skips.
#include "support/regex.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const char version_pattern[] = "^([1-9][0-9]*|0)(\\.([1-9][0-9]*|0))*$";

void version_compile(benchmark::State &state)
{
  for (auto _ : state) {
    regex_pattern pattern = {};
    int code = regex_posix_compile(&pattern, version_pattern, REG_EXTENDED | REG_NOSUB);
    benchmark::DoNotOptimize(code);
    regex_free(&pattern);
  }
}
BENCHMARK(version_compile);

void version_exec(benchmark::State &state)
{
  regex_pattern pattern = {};
  regex_posix_compile(&pattern, version_pattern, REG_EXTENDED | REG_NOSUB);
  for (auto _ : state) {
    benchmark::DoNotOptimize(regex_posix_exec(&pattern, "12.4.0", 0, nullptr, 0));
    benchmark::DoNotOptimize(regex_posix_exec(&pattern, "12.04", 0, nullptr, 0));
  }
  regex_free(&pattern);
}
BENCHMARK(version_exec);

// A word near the end of a long text; range(0) bytes of text.
void search_long_text(benchmark::State &state)
{
  std::string text(size_t(state.range(0)), 'x');
  text += " needle7 ";
  regex_pattern pattern = {};
  regex_posix_compile(&pattern, "ne+dle[0-9]", REG_EXTENDED);
  struct regex_match slot[1];
  for (auto _ : state)
    benchmark::DoNotOptimize(regex_posix_exec(&pattern, text.c_str(), 1, slot, 0));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  regex_free(&pattern);
}
BENCHMARK(search_long_text)->Arg(1 << 10)->Arg(1 << 16);

// Backtracking over a long run: one failure point per letter.
void longest_run(benchmark::State &state)
{
  std::string text(size_t(state.range(0)), 'a');
  text += "b";
  regex_pattern pattern = {};
  regex_posix_compile(&pattern, "(a|b)*b", REG_EXTENDED);
  struct regex_match slot[2];
  for (auto _ : state)
    benchmark::DoNotOptimize(regex_posix_exec(&pattern, text.c_str(), 2, slot, 0));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  regex_free(&pattern);
}
BENCHMARK(longest_run)->Arg(1 << 8)->Arg(1 << 12);

// A pattern whose backtracking is exponential in a 12-byte subject, as the
// fuzz target found it: the search runs to the step limit and fails.
void exponential_backtracking(benchmark::State &state)
{
  regex_pattern pattern = {};
  regex_posix_compile(&pattern, "(a*||||a*){22}", REG_EXTENDED);
  for (auto _ : state)
    benchmark::DoNotOptimize(regex_search(&pattern, "aaaaaaaaaaab", 12, 0, 12, nullptr));
  regex_free(&pattern);
}
BENCHMARK(exponential_backtracking)->Unit(benchmark::kMillisecond);

}  // namespace
