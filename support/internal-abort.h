// The consistency checks of the system, over the assertion routine that the
// program supplies (the diagnostics decide how an internal error is reported).
#ifndef VUZ_SUPPORT_INTERNAL_ABORT_H
#define VUZ_SUPPORT_INTERNAL_ABORT_H

#include "support/program-supplied.h"

// A consistency check: never for user input, which gets a diagnostic instead.
#define vuz_assert(expr) \
  ((expr) ? (void)0 : internal_abort(__FILE__, __LINE__, __func__))

#define vuz_unreachable() internal_abort(__FILE__, __LINE__, __func__)

// The same check for the places whose internal-error text names a source and
// function of their own instead of the file and function they are in, and
// (vuz_assert_at) a fixed line instead of the line of the check.
#define vuz_assert_at(expr, source, line, function) \
  ((expr) ? (void)0 : internal_abort(source, line, function))
#define vuz_assert_as(expr, source, function) \
  vuz_assert_at(expr, source, __LINE__, function)

#endif
