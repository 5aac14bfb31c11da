// Insertion and lookup of 1e6 keys: the typed map, the callback table and
// std::unordered_map.
#include "support/callback-hash-table.h"
#include "support/hash-table.h"

#include <benchmark/benchmark.h>

#include <random>
#include <unordered_map>
#include <vector>

namespace {

constexpr size_t key_count = 1000000;

// Distinct keys of 2 and up in random order (0 and 1 mark empty and deleted).
const std::vector<uint64_t> &keys()
{
  static std::vector<uint64_t> k = [] {
    std::vector<uint64_t> v(key_count);
    std::mt19937_64 random(42);
    for (size_t i = 0; i < key_count; i++)
      v[i] = 2 + i * 0x9e3779b97f4a7c15ull % 0xffffffffffffull;
    std::shuffle(v.begin(), v.end(), random);
    return v;
  }();
  return k;
}

struct mixed_traits : int_hash_traits<uint64_t> {
  static hashval_t hash(uint64_t v) { return hash_bytes_mixed(&v, sizeof v, 0); }
};

hashval_t callback_hash(const void *p)
{
  return mixed_traits::hash(reinterpret_cast<uintptr_t>(p));
}
int callback_equal(const void *a, const void *b)
{
  return a == b;
}

void TypedMapInsertFind(benchmark::State &state)
{
  const auto &k = keys();
  for (auto _ : state) {
    hash_map<uint64_t, uint64_t, mixed_traits> map;
    for (uint64_t key : k)
      map.put(key, key);
    uint64_t sum = 0;
    for (uint64_t key : k)
      sum += *map.get(key);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * key_count * 2);
}

void CallbackTableInsertFind(benchmark::State &state)
{
  const auto &k = keys();
  for (auto _ : state) {
    callback_hash_table *t = callback_hash_table_create(13, callback_hash, callback_equal, nullptr);
    for (uint64_t key : k)
      *callback_hash_table_find_slot(t, reinterpret_cast<void *>(key), INSERT) =
          reinterpret_cast<void *>(key);
    uint64_t sum = 0;
    for (uint64_t key : k)
      sum += reinterpret_cast<uintptr_t>(callback_hash_table_find(t, reinterpret_cast<void *>(key)));
    benchmark::DoNotOptimize(sum);
    callback_hash_table_delete(t);
  }
  state.SetItemsProcessed(state.iterations() * key_count * 2);
}

void StdUnorderedMapInsertFind(benchmark::State &state)
{
  const auto &k = keys();
  for (auto _ : state) {
    std::unordered_map<uint64_t, uint64_t> map;
    for (uint64_t key : k)
      map[key] = key;
    uint64_t sum = 0;
    for (uint64_t key : k)
      sum += map.find(key)->second;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * key_count * 2);
}

}  // namespace

BENCHMARK(TypedMapInsertFind)->Unit(benchmark::kMillisecond);
BENCHMARK(CallbackTableInsertFind)->Unit(benchmark::kMillisecond);
BENCHMARK(StdUnorderedMapInsertFind)->Unit(benchmark::kMillisecond);
