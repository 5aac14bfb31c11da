// The table of ARM floating-point units that -mfpu= names. The value "auto"
// of the option has no row.
#include "options/arm-isa.h"

constexpr arm_fpu arm_fpu_table[] = {
  {"vfp", isa_list_of(isa_fpu::vfpv2)},
  {"vfpv2", isa_list_of(isa_fpu::vfpv2)},
  {"vfpv3", isa_list_of(isa_fpu::vfpv3)},
  {"vfpv3-fp16", isa_list_of(isa_fpu::vfpv3_fp16)},
  {"vfpv3-d16", isa_list_of(isa_fpu::vfpv3_d16)},
  {"vfpv3-d16-fp16", isa_list_of(isa_fpu::vfpv3_d16_fp16)},
  {"vfpv3xd", isa_list_of(isa_fpu::vfpv3xd)},
  {"vfpv3xd-fp16", isa_list_of(isa_fpu::vfpv3xd_fp16)},
  {"neon", isa_list_of(isa_fpu::neon)},
  {"neon-vfpv3", isa_list_of(isa_fpu::neon)},
  {"neon-fp16", isa_list_of(isa_fpu::neon_fp16)},
  {"vfpv4", isa_list_of(isa_fpu::vfpv4)},
  {"neon-vfpv4", isa_list_of(isa_fpu::neon_vfpv4)},
  {"vfpv4-d16", isa_list_of(isa_fpu::vfpv4_d16)},
  {"fpv4-sp-d16", isa_list_of(isa_fpu::fpv4_sp_d16)},
  {"fpv5-sp-d16", isa_list_of(isa_fpu::fpv5_sp_d16)},
  {"fpv5-d16", isa_list_of(isa_fpu::fpv5_d16)},
  {"fp-armv8", isa_list_of(isa_fpu::fp_armv8)},
  {"neon-fp-armv8", isa_list_of(isa_fpu::neon_fp_armv8)},
  {"crypto-neon-fp-armv8", isa_list_of(isa_fpu::crypto_neon_fp_armv8)},
  {"vfp3", isa_list_of(isa_fpu::vfpv3)},
  {nullptr, {}},
};

constexpr int arm_fpu_count = sizeof arm_fpu_table / sizeof arm_fpu_table[0] - 1;
