// Environment variables that a fuzz input sets, undone after the input.
#ifndef VUZ_FUZZ_ENV_VALUES_H
#define VUZ_FUZZ_ENV_VALUES_H

#include "driver/env-manager.h"
#include "support/concat.h"

#include <string>

// Sets NAME to VALUE through the driver's environment manager, whose restore
// (driver_reset's first step) puts back the value from before and frees the
// text: setenv would keep a copy of every value it was ever given.
inline void fuzz_set_env(const char *name, const std::string &value)
{
  env.init(true, false);
  env.xput_unechoed(concat_strings(name, "=", value.c_str(), nullptr));
}

#endif
