// The table of ARM architectures, built from options/arm-data/arches.def.
#include "options/arm-extensions.h"
#include "options/arm-isa.h"

constexpr arm_arch arm_arch_table[arm_arch_count + 1] = {
#define ARM_ARCH(id, name, string, base, profile, tune, features, extensions) \
  {{name, extensions, isa_list_of(features), arm_name_length(name)},          \
   string, base, profile, arm_cpu_##tune},
#include "options/arm-data/arches.def"
#undef ARM_ARCH
  {{nullptr, nullptr, {}, 0}, nullptr, 0, 0, arm_cpu_count},
};
