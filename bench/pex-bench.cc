// The cost of one command through the pipeline layer: create, run every
// stage, collect statuses, destroy.
#include "support/pex.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

static void run_pipeline(benchmark::State &state)
{
  int stages = static_cast<int>(state.range(0));
  char *argv[] = {const_cast<char *>("/bin/true"), nullptr};
  int statuses[8];
  for (auto _ : state) {
    pex_pipeline *px = pex_init(PEX_PIPED | PEX_KEEP_TIMES, "bench", nullptr);
    int err;
    for (int i = 0; i < stages; i++)
      if (pex_run_stage(px, i == stages - 1 ? PEX_FINAL_STAGE : 0, "/bin/true", argv, nullptr,
                        nullptr, &err))
        abort();
    if (!pex_copy_statuses(px, stages, statuses))
      abort();
    pex_destroy(px);
  }
  state.SetItemsProcessed(state.iterations() * stages);
}
BENCHMARK(run_pipeline)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);
