// Response files that name themselves: the expansion runs until the limit of
// @-files and ends the run, which here jumps back instead; each case is a
// file of range(0) words naming itself first or last. Well under a second
// per expansion is the aim; the first form costs little beyond reading the
// file 2000 times.
#include "support/alloc.h"
#include "support/argv.h"

#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

jmp_buf expansion_ended;

void end_expansion(int)
{
  longjmp(expansion_ended, 1);
}

// Expands "@FILE" until the run ends; false when it did not.
bool expand_to_the_limit(const std::string &file)
{
  std::string program = "vuz", argument = "@" + file;
  char *caller[] = {program.data(), argument.data(), nullptr};
  int count = 2;
  char **argv = caller;
  exit_program_hook = end_expansion;
  bool ended = setjmp(expansion_ended) != 0;
  if (!ended)
    expand_response_files(&count, &argv);
  exit_program_hook = nullptr;
  return ended;
}

void self_reference(benchmark::State &state, bool first)
{
  char name[] = "/tmp/argv-benchXXXXXX";
  int fd = mkstemp(name);
  std::string words;
  for (int64_t i = 0; i + 1 < state.range(0); i++)
    words += "-Dword" + std::to_string(i) + " ";
  std::string self = std::string("@") + name + " ";
  std::string text = first ? self + words : words + self;
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    state.SkipWithError("cannot write the response file");
  close(fd);
  // The "too many @-files" message of every round is not of interest.
  fflush(stderr);
  int saved = dup(2), null = open("/dev/null", O_WRONLY);
  dup2(null, 2);
  bool reached = true;
  for (auto _ : state)
    reached = expand_to_the_limit(name) && reached;
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  close(null);
  if (!reached)
    state.SkipWithError("the expansion did not reach the limit");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()) * 2000);
  unlink(name);
}

void self_reference_first(benchmark::State &state)
{
  self_reference(state, true);
}
BENCHMARK(self_reference_first)->Arg(2000)->Unit(benchmark::kMillisecond);

void self_reference_last(benchmark::State &state)
{
  self_reference(state, false);
}
BENCHMARK(self_reference_last)->Arg(2000)->Arg(6000)->Unit(benchmark::kMillisecond);

}  // namespace
