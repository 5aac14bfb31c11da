// The programs' own operator new and delete, on the checked allocation: the
// C++ runtime's operator new throws on failure, and linking it brings the
// runtime's exception machinery with its emergency buffer, allocated at every
// start-up, into programs built without exceptions.
#include "support/alloc.h"

#include <cstdlib>
#include <new>

// The sanitizers bring operators of their own, which check that each block
// is released by the form that allocated it.
#if !__has_feature(address_sanitizer)

void *operator new(size_t size)
{
  return checked_malloc(size);
}

void *operator new[](size_t size)
{
  return checked_malloc(size);
}

void operator delete(void *block) noexcept
{
  free(block);
}

void operator delete[](void *block) noexcept
{
  free(block);
}

void operator delete(void *block, size_t) noexcept
{
  free(block);
}

void operator delete[](void *block, size_t) noexcept
{
  free(block);
}

#endif
