// The driver's access to its own environment, which its children inherit.
// Every export goes through env_manager::xput, which echoes it under "-v" and
// can remember earlier values so that restore undoes the changes.
#ifndef VUZ_DRIVER_ENV_MANAGER_H
#define VUZ_DRIVER_ENV_MANAGER_H

#include "support/obstack.h"
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
  // TEXT is "NAME=VALUE", allocated, and becomes part of the environment
  // itself: the caller gives it up and must not change or free it.
  void xput(char *text);
  // xput without the "-v" echo, for a caller that writes the echo together
  // with more of its own.
  void xput_unechoed(char *text);
  // The "-v" echo of an export: the text on a line of its own.
  void echo(const char *text);
  void restore();
  // Sets NAME to VALUE unless it is set already, without the "-v" echo: for
  // values children only read when present.
  void set_if_unset(const char *name, const char *value);

  bool keep_old_values;
  bool debug;
  vec<env_saved_var> *saved;
  // The texts given to xput: part of the environment until restore takes
  // them out of it and frees them. Kept also when nothing is restored, so a
  // text that a later export of its name replaces is still held, not lost.
  vec<char *> *exported;
  // Where the "-v" flag lives; null reads as off.
  const int *verbose_flag;

private:
  // Remembers the old value when asked, and puts TEXT in the environment.
  void store(char *text);
  // Puts TEXT in the environment as putenv would, in an environment array of
  // the manager's own: putenv scans with a full compare per entry and grows
  // its array one entry at a time, for every export of a run.
  void put(char *text);
  // The array that environ points to once put has adopted the environment,
  // and its room; a change made by the C library itself replaces environ,
  // and the next put adopts that array.
  char **own_environ;
  uint32_t own_capacity;
};

// The one object through which the driver reads and changes its environment.
extern env_manager env;

// Exports a copy of the "NAME=VALUE" text that is growing on OB and frees it
// there: the environment keeps its texts longer than an obstack does.
void env_xput_object(obstack *ob);

#endif
