// The one assertion routine of the system. Its definition belongs to the
// diagnostics subsystem, which decides how an internal error is reported; the
// lower subsystems only call it.
#ifndef VUZ_SUPPORT_INTERNAL_ABORT_H
#define VUZ_SUPPORT_INTERNAL_ABORT_H

[[noreturn]] void internal_abort(const char *file, int line, const char *function);

// A consistency check: never for user input, which gets a diagnostic instead.
#define vuz_assert(expr) \
  ((expr) ? (void)0 : internal_abort(__FILE__, __LINE__, __func__))

#define vuz_unreachable() internal_abort(__FILE__, __LINE__, __func__)

#endif
