// The table of ARM processors, built from options/arm-data/cpus.def: each
// processor's features are its architecture's plus those it implements.
#include "options/arm-extensions.h"
#include "options/arm-isa.h"

namespace {

// Other names of a processor; the hidden ones are accepted but not listed.
constexpr arm_cpu_alias strongarm_aliases[] = {
  {"strongarm110", 1}, {"strongarm1100", 0}, {"strongarm1110", 0}, {nullptr, 0}};
constexpr arm_cpu_alias arm7tdmi_aliases[] = {{"arm7tdmi-s", 1}, {nullptr, 0}};
constexpr arm_cpu_alias arm710t_aliases[] = {{"arm720t", 1}, {"arm740t", 1}, {nullptr, 0}};
constexpr arm_cpu_alias arm920t_aliases[] = {
  {"arm920", 1}, {"arm922t", 1}, {"arm940t", 1}, {"ep9312", 1}, {nullptr, 0}};
constexpr arm_cpu_alias arm10tdmi_aliases[] = {{"arm1020t", 1}, {nullptr, 0}};
constexpr arm_cpu_alias arm9e_aliases[] = {
  {"arm946e-s", 1}, {"arm966e-s", 1}, {"arm968e-s", 1}, {nullptr, 0}};
constexpr arm_cpu_alias arm10e_aliases[] = {{"arm1020e", 1}, {"arm1022e", 1}, {nullptr, 0}};
constexpr arm_cpu_alias neoverse_n1_aliases[] = {{"ares", 0}, {nullptr, 0}};

// The architectures' feature sets, for adding the processors' own.
constexpr isa_spec arch_features[] = {
#define ARM_ARCH(id, name, string, base, profile, tune, features, extensions) features,
#include "options/arm-data/arches.def"
#undef ARM_ARCH
};

} // namespace

constexpr arm_cpu arm_cpu_table[arm_cpu_count + 1] = {
#define ARM_CPU(id, name, arch, extensions, features, aliases)                  \
  {{name, extensions, isa_list_of(arch_features[arm_arch_##arch] + (features)), \
    arm_name_length(name)},                                                     \
   aliases, &arm_arch_table[arm_arch_##arch]},
#include "options/arm-data/cpus.def"
#undef ARM_CPU
  {{nullptr, nullptr, {}, 0}, nullptr, nullptr},
};
