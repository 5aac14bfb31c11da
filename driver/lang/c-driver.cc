// The C driver vuz: links the shared runtime for Objective-C inputs unless a
// static runtime was asked for.
#include "driver/driver-options.h"

#include <cstring>

static bool has_suffix(const char *name, const char *suffix, size_t minimum)
{
  size_t n = strlen(name), m = strlen(suffix);
  return n >= minimum && strcmp(name + n - m, suffix) == 0;
}

void lang_specific_driver(decoded_option **records, unsigned *count, int *)
{
  bool objc_input = false;
  for (unsigned i = 1; i < *count; i++) {
    const decoded_option &d = (*records)[i];
    if (d.option_index == OPT_static || d.option_index == OPT_static_libvuz)
      return;
    if (d.option_index == OPTION_INPUT_FILE &&
        (has_suffix(d.argument, ".m", 3) || has_suffix(d.argument, ".mi", 4)))
      objc_input = true;
  }
  if (!objc_input)
    return;
  decoded_option *copy = checked_new_array<decoded_option>(*count + 1);
  memcpy(copy, *records, *count * sizeof(decoded_option));
  generate_option(OPT_shared_libvuz, nullptr, 1, FLAG_DRIVER, &copy[*count]);
  *records = copy;
  *count += 1;
}

int language_pre_link_hook()
{
  return 0;
}
