// Error-number texts, the raising of the stack limit at start-up, and the
// bounds of the running thread's stack.
#include "support/system-utils.h"

#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sys/resource.h>

// Lets the tests reach the fallback text, which this C library never needs.
static const char *platform_error_text(int error_number)
{
  return strerror(error_number);
}
const char *(*error_text_lookup)(int) = platform_error_text;

const char *error_text(int error_number)
{
  const char *text = error_text_lookup(error_number);
  if (text)
    return text;
  static char buffer[sizeof "undocumented error #" + 12];
  snprintf(buffer, sizeof buffer, "undocumented error #%d", error_number);
  return buffer;
}

void raise_stack_limit(int64_t wanted)
{
  struct rlimit limit;
  if (getrlimit(RLIMIT_STACK, &limit) != 0)
    return;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= static_cast<rlim_t>(wanted))
    return;
  if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > limit.rlim_cur) {
    rlim_t hard = limit.rlim_max;
    limit.rlim_cur = (hard != RLIM_INFINITY && hard < static_cast<rlim_t>(wanted))
                         ? hard
                         : static_cast<rlim_t>(wanted);
    setrlimit(RLIMIT_STACK, &limit);
  }
}

bool current_stack_bounds(uintptr_t *low, uintptr_t *high)
{
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0)
    return false;
  void *address = nullptr;
  size_t size = 0;
  bool known = pthread_attr_getstack(&attributes, &address, &size) == 0 && size != 0;
  pthread_attr_destroy(&attributes);
  if (!known)
    return false;
  *low = reinterpret_cast<uintptr_t>(address);
  *high = *low + size;
  return true;
}
