// Tokeniser throughput: tokens per second over real headers, each read by a
// fresh reader as the raw-token comparison reads it (line preparation and
// scanning, no directives, comments dropped).
#include "libsprenk/preprocessor.h"
#include "tests/common/line-table.h"
#include "tests/common/reader-probes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct corpus_file {
  std::string text;
  bool cplusplus;
};

const std::vector<corpus_file> &corpus()
{
  static std::vector<corpus_file> files = [] {
    std::vector<corpus_file> result;
    const char *list = getenv("PP_BENCH_FILES");
    if (list == nullptr)
      return result;
    std::ifstream in(list);
    std::string line;
    while (std::getline(in, line)) {
      size_t tab = line.find('\t');
      std::ifstream file(line.substr(0, tab), std::ios::binary);
      std::stringstream text;
      text << file.rdbuf();
      result.push_back({text.str(), tab != std::string::npos && line.substr(tab + 1) == "c++"});
    }
    return result;
  }();
  return files;
}

bool quiet(preprocessor_reader *, int, int, located_ranges *, const char *, va_list *)
{
  return true;
}

uint64_t lex_file(const corpus_file &file)
{
  linemap_set lines;
  linemap_set_init(&lines, BUILTINS_LOCATION);
  lines.packed_range_bits = 5;
  preprocessor_reader *reader =
      reader_create(file.cplusplus ? DIALECT_KAVXX17 : DIALECT_KAV17, nullptr, &lines);
  callbacks_of(reader)->diagnostic = quiet;
  reader_post_options(reader);
  buffer_push(reader, reinterpret_cast<const unsigned char *>(file.text.data()), file.text.size(),
              false);
  enter_file_change(reader, LC_ENTER, "bench", 1, 0);
  // The tokeniser alone, as the raw-token dump reads: no directives run.
  uint64_t count = 0;
  while (probe_raw_token(reader)->kind != TK_EOF)
    count++;
  reader_destroy(reader);
  release_line_table(&lines);
  return count;
}

void lex_corpus(benchmark::State &state)
{
  const std::vector<corpus_file> &files = corpus();
  if (files.empty()) {
    state.SkipWithError("PP_BENCH_FILES names no files (bench/preprocessor-lex.py writes it)");
    return;
  }
  uint64_t tokens = 0, bytes = 0;
  for (auto _ : state) {
    for (const corpus_file &file : files) {
      tokens += lex_file(file);
      bytes += file.text.size();
    }
  }
  state.counters["tokens/s"] = benchmark::Counter(double(tokens), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(int64_t(bytes));
}

} // namespace

BENCHMARK(lex_corpus)->Unit(benchmark::kMillisecond);
