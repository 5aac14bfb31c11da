// A debug-built program that ends in an internal-error report from deep in
// its stack, as the driver would: the report, its symbolised backtrace and
// exit status 4. The stack runs through twenty distinct functions, every
// third with an inlined chain, so that the printed frames come from many
// distinct addresses.
// Writes its load bias to standard output first, so that the benchmark can
// hand the same addresses to another symboliser. With "--floor" it does the
// same start-up and exits with status 4 where the report would begin: the
// program's cost without the report.
#include "diagnostics/diagnostic.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <link.h>

static int print_bias(struct dl_phdr_info *info, size_t, void *)
{
  printf("%#lx\n", static_cast<unsigned long>(info->dlpi_addr));
  return 1;
}

static bool floor_only;
volatile int depth_seen;

static void fail_here()
{
  if (floor_only) {
    fflush(stderr);
    exit(4);
  }
  internal_abort(__FILE__, __LINE__, __func__);
}

template <int N> __attribute__((noinline)) void step();

// Inlined into each step: frames of their own in the report.
template <int N> static inline __attribute__((always_inline)) void inner_hop()
{
  depth_seen = N;
  step<N - 1>();
  asm volatile("");
}

template <int N> static inline __attribute__((always_inline)) void outer_hop()
{
  inner_hop<N>();
  asm volatile("");
}

template <int N> __attribute__((noinline)) void step()
{
  if constexpr (N % 3 == 0) {
    outer_hop<N>();
  } else {
    depth_seen = N;
    step<N - 1>();
  }
  asm volatile("");
}

template <> __attribute__((noinline)) void step<0>()
{
  fail_here();
}

int main(int argc, char **argv)
{
  floor_only = argc > 1 && strcmp(argv[1], "--floor") == 0;
  dl_iterate_phdr(print_bias, nullptr);
  fflush(stdout);
  alloc_set_program_name("vuz");
  diagnostic_state_init(&global_diagnostic_state, 0);
  step<20>();
  return 0;
}
