// Sorting 1e6 records: the merge sort beside std::sort, std::stable_sort and
// the platform's qsort.
#include "support/sort.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

struct record {
  uint32_t key, seq;
};

std::vector<record> input()
{
  std::vector<record> v(1000000);
  std::mt19937 random(1);
  for (size_t i = 0; i < v.size(); i++)
    v[i] = {static_cast<uint32_t>(random() % 1000), static_cast<uint32_t>(i)};
  return v;
}

int by_key(const void *a, const void *b)
{
  uint32_t x = static_cast<const record *>(a)->key, y = static_cast<const record *>(b)->key;
  return x < y ? -1 : x > y;
}

template <typename Sort> void run(benchmark::State &state, Sort sort)
{
  const std::vector<record> base = input();
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<record> v = base;
    state.ResumeTiming();
    sort(v);
    benchmark::DoNotOptimize(v.data());
  }
}

void MergeSort(benchmark::State &state)
{
  run(state, [](std::vector<record> &v) { merge_sort(v.data(), v.size(), sizeof(record), by_key); });
}

void MergeSortStable(benchmark::State &state)
{
  run(state, [](std::vector<record> &v) {
    merge_sort_stable(v.data(), v.size(), sizeof(record), by_key);
  });
}

void PlatformQsort(benchmark::State &state)
{
  run(state, [](std::vector<record> &v) { qsort(v.data(), v.size(), sizeof(record), by_key); });
}

void StdStableSort(benchmark::State &state)
{
  run(state, [](std::vector<record> &v) {
    std::stable_sort(v.begin(), v.end(),
                     [](const record &a, const record &b) { return a.key < b.key; });
  });
}

}  // namespace

BENCHMARK(MergeSort)->Unit(benchmark::kMillisecond);
BENCHMARK(MergeSortStable)->Unit(benchmark::kMillisecond);
BENCHMARK(PlatformQsort)->Unit(benchmark::kMillisecond);
BENCHMARK(StdStableSort)->Unit(benchmark::kMillisecond);
