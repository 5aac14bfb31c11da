// Demangler throughput: names per second over a corpus of real symbols, with
// the option sets of the corpus comparison (0x3) and of the backtrace (0x400b).
#include "demangle/demangle.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

static const std::vector<std::string> &corpus()
{
  static std::vector<std::string> names = [] {
    std::vector<std::string> result;
    const char *path = getenv("DEMANGLE_BENCH_NAMES");
    std::ifstream in(path ? path : DEMANGLE_CORPUS_SAMPLE);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#')
        continue;
      result.push_back(line.substr(0, line.find('\t')));
    }
    return result;
  }();
  return names;
}

static void demangle_corpus(benchmark::State &state)
{
  const std::vector<std::string> &names = corpus();
  int options = static_cast<int>(state.range(0));
  size_t failed = 0;
  for (auto _ : state) {
    for (const std::string &name : names) {
      char *text = demangle_to_string(name.c_str(), options);
      failed += text == nullptr;
      benchmark::DoNotOptimize(text);
      free(text);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * names.size()));
  state.counters["names"] = static_cast<double>(names.size());
  state.counters["failed"] = static_cast<double>(failed) / state.iterations();
}
BENCHMARK(demangle_corpus)->Arg(0x3)->Arg(0x400b)->Unit(benchmark::kMillisecond);
