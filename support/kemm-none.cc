// Allocation entries of a garbage collector that this system does not have:
// code shared with collector-based programs allocates through them.
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>

void *kemm_internal_alloc(size_t size, void (*finaliser)(void *), size_t, size_t)
{
  vuz_assert_as(!finaliser, "kemm-none", "kemm_internal_alloc");
  return checked_malloc(size);
}

void *kemm_internal_cleared_alloc(size_t size, void (*finaliser)(void *), size_t, size_t)
{
  vuz_assert_as(!finaliser, "kemm-none", "kemm_internal_cleared_alloc");
  return checked_calloc(size, 1);
}

void *kemm_resize(void *block, size_t size)
{
  return checked_realloc(block, size);
}

void kemm_release(void *block)
{
  free(block);
}

void *kemm_identity(void *pointer)
{
  return pointer;
}

void kemm_noop_first() {}
void kemm_noop_second() {}
