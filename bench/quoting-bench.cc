// Source quoting and the file cache: one report with three ranges and a
// fix-it quoted from a 10,000-line file, first read or already cached; and a
// 1 MB UTF-16 file converted to UTF-8 through the cache.
#include "diagnostics/diagnostic.h"
#include "diagnostics/source-quoting.h"
#include "tests/locations/line-map-fixture.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string scratch(const char *name)
{
  return "/tmp/vuz-quoting-bench-" + std::to_string(getpid()) + "-" + name;
}

void write_file(const std::string &path, const std::string &bytes)
{
  FILE *f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

enum : uint32_t { LONG_FILE_LINES = 10000 };

struct long_file {
  std::string path = scratch("long.c");
  test_line_table table;
  located_ranges record;

  long_file()
  {
    std::string text;
    for (uint32_t i = 1; i <= LONG_FILE_LINES; i++)
      text += "  int value_" + std::to_string(i) + " = compute(left_" + std::to_string(i) +
              ", right);\n";
    write_file(path, text);
    line_table = table.get();
    linemap_add_ordinary_map(table.get(), LC_ENTER, 0, path.c_str(), 1);
    for (uint32_t line = 1; line <= LONG_FILE_LINES; line++)
      linemap_start_line(table.get(), line, 100);
    const ordinary_map *map = linemap_last_ordinary_map(table.get());
    auto at = [&](uint32_t line, uint32_t column) {
      return linemap_line_column_location(table.get(), map, line, column);
    };
    // Three ranges near the end of the file, and a fix-it on the first.
    uint32_t line = LONG_FILE_LINES - 20;
    located_ranges_init(&record, line_table,
                        location_make(at(line, 19), at(line, 19), at(line, 25)), nullptr);
    located_ranges_add_range(&record, location_make(at(line, 27), at(line, 27), at(line, 31)),
                             RANGE_NO_CARET, nullptr);
    located_ranges_add_range(&record, location_make(at(line + 2, 3), at(line + 2, 3),
                                                    at(line + 2, 5)),
                             RANGE_NO_CARET, nullptr);
    fixit_replace_range(&record, {at(line, 19), at(line, 25)}, "evaluate");
  }
  ~long_file()
  {
    located_ranges_fini(&record);
    line_table = nullptr;
    unlink(path.c_str());
  }
};

void setup_context()
{
  diagnostic_state *context = &global_diagnostic_state;
  if (!context->printer)
    diagnostic_state_init(context, 0);
  context->show_caret = true;
  context->show_line_numbers = true;
  context->caret_line_width = 120;
}

void quote(long_file &f)
{
  diagnostic_state *context = &global_diagnostic_state;
  context->last_quoted_location = 0;
  diagnostic_show_locus(context, &f.record, DK_ERROR);
  benchmark::DoNotOptimize(pp_current_text(context->printer));
  pp_clear_text(context->printer);
}

// The file is read afresh for every report.
void quote_report_first_read(benchmark::State &state)
{
  setup_context();
  long_file f;
  for (auto _ : state) {
    diagnostics_file_cache_forcibly_evict_file(f.path.c_str());
    quote(f);
  }
}
BENCHMARK(quote_report_first_read)->Unit(benchmark::kMicrosecond);

void quote_report_cached(benchmark::State &state)
{
  setup_context();
  long_file f;
  quote(f);
  for (auto _ : state)
    quote(f);
}
BENCHMARK(quote_report_cached)->Unit(benchmark::kMicrosecond);

const char *utf16_charset(const char *path)
{
  return path[strlen(path) - 1] == '6' ? "UTF-16LE" : nullptr;
}

// A megabyte of UTF-16 with a byte-order mark, read and converted whole
// through the cache, then its last line asked for.
void utf16_file_through_cache(benchmark::State &state)
{
  setup_context();
  std::string path = scratch("wide.u16");
  std::string text("\xff\xfe", 2);
  uint32_t lines = 0;
  while (text.size() < (1u << 20)) {
    std::string line = "x = " + std::to_string(++lines) + "; // \xe2\x82\xac\n";
    for (size_t i = 0; i < line.size(); i++) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      if (c == 0xe2) { // the euro sign, U+20AC
        text += std::string("\xac\x20", 2);
        i += 2;
      } else {
        text += char(c);
        text += '\0';
      }
    }
  }
  write_file(path, text);
  diagnostic_file_cache_setup(&global_diagnostic_state, utf16_charset, false);
  for (auto _ : state) {
    diagnostics_file_cache_forcibly_evict_file(path.c_str());
    uint64_t length;
    benchmark::DoNotOptimize(source_line_of(path.c_str(), int32_t(lines), &length));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  diagnostic_file_cache_setup(&global_diagnostic_state, nullptr, false);
  unlink(path.c_str());
}
BENCHMARK(utf16_file_through_cache)->Unit(benchmark::kMillisecond);

} // namespace
