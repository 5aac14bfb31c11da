// A debug-built program that ends in an internal-error report from deep in
// its stack, as the driver would: the report, its symbolised backtrace and
// exit status 4. Writes its load bias to standard output first, so that the
// benchmark can hand the same addresses to another symboliser.
#include "diagnostics/diagnostic.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdio>
#include <link.h>

static int print_bias(struct dl_phdr_info *info, size_t, void *)
{
  printf("%#lx\n", static_cast<unsigned long>(info->dlpi_addr));
  return 1;
}

__attribute__((noinline)) static void check_deep(int depth)
{
  if (depth > 0) {
    check_deep(depth - 1);
    asm volatile("");
    return;
  }
  internal_abort(__FILE__, __LINE__, __func__);
}

int main()
{
  dl_iterate_phdr(print_bias, nullptr);
  fflush(stdout);
  alloc_set_program_name("vuz");
  diagnostic_state_init(&global_diagnostic_state, 0);
  check_deep(30);
  return 0;
}
