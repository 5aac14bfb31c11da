// Error-number texts and the stack limit.
#ifndef VUZ_SUPPORT_SYSTEM_UTILS_H
#define VUZ_SUPPORT_SYSTEM_UTILS_H

#include <cstdint>

const char *error_text(int error_number);
void raise_stack_limit(int64_t wanted);

#endif
