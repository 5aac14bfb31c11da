// Decoding a long command line, and suggestions for many unknown options.
#include "options/option-decode.h"
#include "options/option-suggest.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

static void decode_words(benchmark::State &state, const std::vector<std::string> &words)
{
  std::vector<const char *> argv;
  for (const std::string &w : words)
    argv.push_back(w.c_str());
  argv.push_back(nullptr);
  for (auto _ : state) {
    std::vector<const char *> copy = argv;
    decoded_option *records;
    unsigned count;
    decode_argv_to_option_array(static_cast<unsigned>(words.size()), copy.data(), FLAG_DRIVER,
                                &records, &count);
    benchmark::DoNotOptimize(records);
    free(records);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}

// 100k words of a response file: options that cancel each other, joined and
// separate arguments, enums, parameters and input files.
static void BM_Decode100kArguments(benchmark::State &state)
{
  static const char *mix[] = {"-fpic", "-Wall", "-o", "out.o", "-Wno-all", "-fPIE", "-c",
                              "-fdiagnostics-color=always", "--param", "align-threshold=8",
                              "-Ifoo", "file.c", "-march=armv7-a", "-Wl,-z,now", "-x", "c"};
  std::vector<std::string> words = {"vuz"};
  for (size_t i = 0; words.size() < 100000; i++)
    words.push_back(mix[i % (sizeof mix / sizeof mix[0])]);
  decode_words(state, words);
}
BENCHMARK(BM_Decode100kArguments)->Unit(benchmark::kMillisecond);

// 10k unknown options, each with its "did you mean" suggestion.
static void BM_Suggest10kUnknownOptions(benchmark::State &state)
{
  static const char *typos[] = {"fno-unrolll-loops", "Wunused-varable", "fdiagnostic-color",
                                "march", "fsanitize=adress", "-hlep", "Wshaddow", "qwertyuiop"};
  option_suggester suggester = {};
  suggest_option(&suggester, "warm-up");
  for (auto _ : state) {
    for (int i = 0; i < 10000; i++)
      benchmark::DoNotOptimize(suggest_option(&suggester, typos[i % 8]));
  }
  option_candidates_free(&suggester);
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Suggest10kUnknownOptions)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
  init_option_obstack();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
