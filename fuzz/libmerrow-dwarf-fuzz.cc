// Reads DWARF sections taken from the input (nine 32-bit sizes, then the
// sections in slot order) as one module, then resolves the edges and middle of
// every unit range, which reads line programs, function entries and inlined
// calls on the way.
#include "libmerrow/dwarf.h"

#include <cstring>
#include <initializer_list>

static void ignore_error(void *, const char *, int) {}

static int ignore_frame(void *, uintptr_t, const char *file, int, const char *function)
{
  volatile size_t n = (file ? strlen(file) : 0) + (function ? strlen(function) : 0);
  (void)n;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 4 * DEBUG_MAX)
    return 0;
  bt_dwarf_sections sections{};
  size_t at = 4 * DEBUG_MAX;
  for (int i = 0; i < DEBUG_MAX; ++i) {
    uint32_t n;
    memcpy(&n, data + 4 * i, 4);
    size_t length = n <= size - at ? n : size - at;
    sections.data[i] = data + at;
    sections.size[i] = length;
    at += length;
  }
  // One state for the whole run, its module list emptied per input.
  static bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  if (!state)
    return 0;
  state->fileline_data = nullptr;
  bt_fileline_fn fn = nullptr;
  bt_dwarf_module *module = nullptr;
  if (!bt_dwarf_module_read(state, 0x10000, &sections, 0, nullptr, ignore_error, nullptr, &fn,
                            &module))
    return 0;
  size_t limit = module->addrs_count < 64 ? module->addrs_count : 64;
  for (size_t i = 0; i < limit; ++i) {
    const bt_unit_range &r = module->addrs[i];
    for (uintptr_t pc : {r.low, r.high - 1, r.low + (r.high - r.low) / 2, r.high})
      bt_dwarf_resolve(state, pc, ignore_frame, ignore_error, nullptr);
  }
  return 0;
}
