// The driver's access to its own environment, which its children inherit.
// Every export goes through env_manager::xput, which echoes it under "-v" and
// can remember earlier values so that restore undoes the changes.
#ifndef VUZ_DRIVER_ENV_MANAGER_H
#define VUZ_DRIVER_ENV_MANAGER_H

#include "support/vec.h"

// One variable's value from before an export; value is null when the
// variable was not set.
struct env_saved_var {
  char *name;
  char *value;
};

class env_manager {
public:
  void init(bool keep_old_values, bool debug);

  const char *getenv(const char *name);
  // TEXT is "NAME=VALUE" and becomes part of the environment itself: the
  // caller gives it up and must not change or free it.
  void xput(char *text);
  void restore();

  bool keep_old_values;
  bool debug;
  vec<env_saved_var> *saved;
  // Where the "-v" flag lives; null reads as off.
  const int *verbose_flag;
};

// The one object through which the driver reads and changes its environment.
extern env_manager env;

#endif
