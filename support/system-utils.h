// Error-number texts, the stack limit and the bounds of the running stack.
#ifndef VUZ_SUPPORT_SYSTEM_UTILS_H
#define VUZ_SUPPORT_SYSTEM_UTILS_H

#include <cstdint>

const char *error_text(int error_number);
void raise_stack_limit(int64_t wanted);
// The lowest and one past the highest address of the calling thread's
// stack; false when the system does not say.
bool current_stack_bounds(uintptr_t *low, uintptr_t *high);

#endif
