// Random option values through the ARM spec functions, with operand lists of
// the shape the driver's specs build. Unknown names are reported and give the
// empty text; nothing a user can write may reach a consistency check.
#include "diagnostics/diagnostic.h"
#include "options/arm-common.h"
#include "support/alloc.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static bool ready;
  if (!ready) {
    alloc_set_program_name("vuz");
    diagnostic_state_init(&global_diagnostic_state, 0);
    ready = true;
  }
  if (size < 1)
    return 0;
  // The first byte chooses the call, the rest is the value, up to two of
  // them separated by a NUL.
  unsigned choice = data[0];
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  std::string first = text.substr(0, text.find('\0'));
  size_t split = text.find('\0');
  std::string second = split == std::string::npos ? "auto" : text.substr(split + 1);
  second = second.substr(0, second.find('\0'));
  const char *abi = choice & 0x10 ? "soft" : "softfp";
  switch (choice % 6) {
  case 0: {
    const char *words[] = {"arch", first.c_str(), "fpu", second.c_str(), "abi", abi};
    arm_canon_arch_option_1(6, words, choice & 0x20);
    break;
  }
  case 1: {
    const char *words[] = {"cpu", first.c_str(), "fpu", second.c_str(), "abi", abi};
    arm_canon_arch_option_1(6, words, choice & 0x20);
    break;
  }
  case 2: {
    const char *words[] = {"arch", first.c_str()};
    arm_asm_auto_mfpu(2, words);
    break;
  }
  case 3: {
    const char *words[] = {"cpu", first.c_str(), "arch", second.c_str()};
    arm_target_mode_check_spec(choice & 0x20 ? 4 : 2, words);
    break;
  }
  case 4: {
    const char *words[] = {"big", "arch", first.c_str()};
    arm_be8_option(3, words);
    break;
  }
  default: {
    // The compiler proper rewrites only canonical names.
    const char *words[] = {"arch", first.c_str()};
    const char *canonical = arm_canon_arch_option_1(2, words, false);
    if (*canonical)
      arm_rewrite_selected_arch(canonical);
    arm_base_name(first.c_str());
    break;
  }
  }
  return 0;
}
