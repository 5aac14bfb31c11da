// Reads the input as an in-memory ELF module, then looks up a few pcs through
// whatever lookups the module gave: symbols and, when it had DWARF, frames.
#include "libmerrow/internal.h"

#include <cstring>
#include <elf.h>
#include <sys/mman.h>

static void ignore_error(void *, const char *, int) {}

static int ignore_frame(void *, uintptr_t, const char *file, int, const char *function)
{
  // Touch the texts: they must be terminated inside the image.
  volatile size_t n = (file ? strlen(file) : 0) + (function ? strlen(function) : 0);
  (void)n;
  return 0;
}

static void ignore_symbol(void *, uintptr_t, const char *name, uintptr_t, uintptr_t)
{
  volatile size_t n = name ? strlen(name) : 0;
  (void)n;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  // One state for the whole run, its lists emptied per input: a state's first
  // page, made per input, would add up to gigabytes.
  static bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  if (!state)
    return 0;
  state->fileline_data = nullptr;
  state->syminfo_data = nullptr;
  bt_fileline_fn fileline_fn = bt_elf_no_debug_lookup;
  int found_sym = 0, found_dwarf = 0;
  if (bt_elf_read_module(state, "fuzz", -1, data, size, 0, ignore_error, nullptr, &fileline_fn,
                         &found_sym, &found_dwarf, nullptr, 0, 0, nullptr, 0) == 1) {
    state->syminfo_fn = found_sym ? bt_elf_symbol_lookup : bt_elf_no_symbols_lookup;
    // Addresses from the input's first bytes, plus the edges.
    uintptr_t pcs[6] = {0, 1, UINTPTR_MAX, 0x1000};
    if (size >= 40) {
      memcpy(&pcs[4], data + 24, 8);  // the entry point
      memcpy(&pcs[5], data + 32, 8);
    }
    for (uintptr_t pc : pcs) {
      bt_elf_symbol_lookup(state, pc, ignore_symbol, ignore_error, nullptr);
      state->fileline_fn = fileline_fn;
      fileline_fn(state, pc, ignore_frame, ignore_error, nullptr);
    }
  }
  return 0;
}
