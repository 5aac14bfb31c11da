// The "+name" extension tables of the ARM architectures and processors. Only
// the two table files include this; everyone else reaches the tables through
// the rows that point to them.
//
// Choices of our own where the architecture manuals leave room (the tables
// of armv7-a and armv8-a are fixed by the numbering and not choices):
// - "fp" is the smallest FPU the architecture level guarantees: VFPv2 up to
//   armv6t2, VFPv3-D16 for armv7 and armv7-r, VFPv4-D16 for armv7ve,
//   FPv4-SP for armv7e-m, FPv5-SP for the v8 M profiles; "fp.sp" is the
//   single-precision unit and "fp.dp" adds double precision.
// - "simd" of armv7ve is NEON with VFPv4; of armv8 and later it is NEON with
//   the v8 FPU; from armv8.4-a on it also brings the dot product, which those
//   levels require of every SIMD unit.
// - "fp16", "fp16fml", "dotprod", "i8mm", "bf16" and "crypto" each bring the
//   SIMD unit they need; from armv8.4-a on "fp16" also brings "fp16fml".
// - "idiv" of armv7-r adds ARM-state divide (Thumb divide is in the base).
// - "mve" brings the DSP instructions; "mve.fp" also the single-precision FPU
//   with half precision; "nodsp" takes MVE away; "nofp" of armv8.1-m.main
//   takes floating-point MVE away. The eight "cdecp" coprocessor features are
//   the ones multilib selection ignores.
#ifndef VUZ_OPTIONS_ARM_EXTENSIONS_H
#define VUZ_OPTIONS_ARM_EXTENSIONS_H

#include "options/arm-isa.h"

namespace arm_ext {

constexpr arm_extension add(const char *name, isa_spec s)
{
  return {name, 0, 0, isa_list_of(s)};
}
constexpr arm_extension remove(const char *name, isa_spec s)
{
  return {name, 1, 0, isa_list_of(s)};
}
constexpr arm_extension alias(const char *name, isa_spec s)
{
  return {name, 0, 1, isa_list_of(s)};
}
constexpr arm_extension end{nullptr, 0, 0, {}};

constexpr arm_extension nofp = remove("nofp", isa_fpu::all_fp);
constexpr arm_extension nosimd = remove("nosimd", isa_fpu::all_simd);
constexpr arm_extension nocrypto = remove("nocrypto", isa(isa_crypto));
constexpr arm_extension crypto = add("crypto", isa_fpu::crypto_neon_fp_armv8);
constexpr arm_extension crc = add("crc", isa(isa_crc32));
constexpr arm_extension sb = add("sb", isa(isa_sb));
constexpr arm_extension predres = add("predres", isa(isa_predres));
constexpr arm_extension dsp = add("dsp", isa(isa_armv7em));

// The SIMD unit of armv8.4-a and later, which always has the dot product.
constexpr isa_spec simd_v8_4 = isa_fpu::neon_fp_armv8 + isa(isa_dotprod);

#define ARM_CDE_EXTENSIONS \
  arm_ext::add("cdecp0", isa(isa_cdecp0)), arm_ext::add("cdecp1", isa(isa_cdecp1)), \
  arm_ext::add("cdecp2", isa(isa_cdecp2)), arm_ext::add("cdecp3", isa(isa_cdecp3)), \
  arm_ext::add("cdecp4", isa(isa_cdecp4)), arm_ext::add("cdecp5", isa(isa_cdecp5)), \
  arm_ext::add("cdecp6", isa(isa_cdecp6)), arm_ext::add("cdecp7", isa(isa_cdecp7))

} // namespace arm_ext

// Architectures.

inline constexpr arm_extension vfpv2_extensions[] = {
  arm_ext::add("fp", isa_fpu::vfpv2),
  arm_ext::nofp,
  arm_ext::alias("vfpv2", isa_fpu::vfpv2),
  arm_ext::end,
};

inline constexpr arm_extension armv7_extensions[] = {
  arm_ext::add("fp", isa_fpu::vfpv3_d16),
  arm_ext::nofp,
  arm_ext::alias("vfpv3-d16", isa_fpu::vfpv3_d16),
  arm_ext::end,
};

inline constexpr arm_extension armv7_a_extensions[] = {
  arm_ext::add("mp", isa(isa_mp)),
  arm_ext::add("sec", isa(isa_sec)),
  arm_ext::add("fp", isa_fpu::vfpv3_d16),
  arm_ext::add("vfpv3", isa_fpu::vfpv3),
  arm_ext::add("vfpv3-d16-fp16", isa_fpu::vfpv3_d16_fp16),
  arm_ext::add("vfpv3-fp16", isa_fpu::vfpv3_fp16),
  arm_ext::add("vfpv4-d16", isa_fpu::vfpv4_d16),
  arm_ext::add("vfpv4", isa_fpu::vfpv4),
  arm_ext::add("simd", isa_fpu::neon),
  arm_ext::add("neon-fp16", isa_fpu::neon_fp16),
  arm_ext::add("neon-vfpv4", isa_fpu::neon_vfpv4),
  arm_ext::nosimd,
  arm_ext::nofp,
  arm_ext::alias("vfpv3-d16", isa_fpu::vfpv3_d16),
  arm_ext::alias("neon", isa_fpu::neon),
  arm_ext::alias("neon-vfpv3", isa_fpu::neon),
  arm_ext::end,
};

inline constexpr arm_extension armv7ve_extensions[] = {
  arm_ext::add("vfpv3-d16", isa_fpu::vfpv3_d16),
  arm_ext::add("vfpv3", isa_fpu::vfpv3),
  arm_ext::add("vfpv3-d16-fp16", isa_fpu::vfpv3_d16_fp16),
  arm_ext::add("vfpv3-fp16", isa_fpu::vfpv3_fp16),
  arm_ext::add("fp", isa_fpu::vfpv4_d16),
  arm_ext::add("vfpv4", isa_fpu::vfpv4),
  arm_ext::add("neon", isa_fpu::neon),
  arm_ext::add("neon-fp16", isa_fpu::neon_fp16),
  arm_ext::add("simd", isa_fpu::neon_vfpv4),
  arm_ext::nosimd,
  arm_ext::nofp,
  arm_ext::alias("vfpv4-d16", isa_fpu::vfpv4_d16),
  arm_ext::alias("neon-vfpv3", isa_fpu::neon),
  arm_ext::alias("neon-vfpv4", isa_fpu::neon_vfpv4),
  arm_ext::end,
};

inline constexpr arm_extension armv7_r_extensions[] = {
  arm_ext::add("fp.sp", isa_fpu::vfpv3xd),
  arm_ext::add("fp", isa_fpu::vfpv3_d16),
  arm_ext::add("vfpv3xd-fp16", isa_fpu::vfpv3xd_fp16),
  arm_ext::add("vfpv3-d16-fp16", isa_fpu::vfpv3_d16_fp16),
  arm_ext::add("idiv", isa(isa_adiv)),
  arm_ext::nofp,
  arm_ext::remove("noidiv", isa(isa_adiv)),
  arm_ext::alias("vfpv3xd", isa_fpu::vfpv3xd),
  arm_ext::alias("vfpv3-d16", isa_fpu::vfpv3_d16),
  arm_ext::end,
};

inline constexpr arm_extension armv7e_m_extensions[] = {
  arm_ext::add("fp", isa_fpu::fpv4_sp_d16),
  arm_ext::add("fpv5", isa_fpu::fpv5_sp_d16),
  arm_ext::add("fp.dp", isa_fpu::fpv5_d16),
  arm_ext::nofp,
  arm_ext::alias("vfpv4-sp-d16", isa_fpu::fpv4_sp_d16),
  arm_ext::alias("fpv5-d16", isa_fpu::fpv5_d16),
  arm_ext::end,
};

inline constexpr arm_extension armv8_a_extensions[] = {
  arm_ext::crc,
  arm_ext::add("simd", isa_fpu::neon_fp_armv8),
  arm_ext::crypto,
  arm_ext::nocrypto,
  arm_ext::nofp,
  arm_ext::sb,
  arm_ext::predres,
  arm_ext::end,
};

inline constexpr arm_extension armv8_1_a_extensions[] = {
  arm_ext::add("simd", isa_fpu::neon_fp_armv8),
  arm_ext::crypto,
  arm_ext::nocrypto,
  arm_ext::nofp,
  arm_ext::sb,
  arm_ext::predres,
  arm_ext::end,
};

inline constexpr arm_extension armv8_2_a_extensions[] = {
  arm_ext::add("simd", isa_fpu::neon_fp_armv8),
  arm_ext::add("fp16", isa_fpu::neon_fp_armv8 + isa(isa_fp16)),
  arm_ext::add("fp16fml", isa_fpu::neon_fp_armv8 + isa(isa_fp16, isa_fp16fml)),
  arm_ext::crypto,
  arm_ext::nocrypto,
  arm_ext::nofp,
  arm_ext::add("dotprod", isa_fpu::neon_fp_armv8 + isa(isa_dotprod)),
  arm_ext::sb,
  arm_ext::predres,
  arm_ext::add("i8mm", isa_fpu::neon_fp_armv8 + isa(isa_i8mm)),
  arm_ext::add("bf16", isa_fpu::neon_fp_armv8 + isa(isa_bf16)),
  arm_ext::end,
};

inline constexpr arm_extension armv8_4_a_extensions[] = {
  arm_ext::add("simd", arm_ext::simd_v8_4),
  arm_ext::add("fp16", arm_ext::simd_v8_4 + isa(isa_fp16, isa_fp16fml)),
  arm_ext::add("crypto", arm_ext::simd_v8_4 + isa(isa_crypto)),
  arm_ext::nocrypto,
  arm_ext::nofp,
  arm_ext::sb,
  arm_ext::predres,
  arm_ext::add("i8mm", arm_ext::simd_v8_4 + isa(isa_i8mm)),
  arm_ext::add("bf16", arm_ext::simd_v8_4 + isa(isa_bf16)),
  arm_ext::end,
};

// armv8.5-a and later have "sb" and "predres" in the base.
inline constexpr arm_extension armv8_5_a_extensions[] = {
  arm_ext::add("simd", arm_ext::simd_v8_4),
  arm_ext::add("fp16", arm_ext::simd_v8_4 + isa(isa_fp16, isa_fp16fml)),
  arm_ext::add("crypto", arm_ext::simd_v8_4 + isa(isa_crypto)),
  arm_ext::nocrypto,
  arm_ext::nofp,
  arm_ext::add("i8mm", arm_ext::simd_v8_4 + isa(isa_i8mm)),
  arm_ext::add("bf16", arm_ext::simd_v8_4 + isa(isa_bf16)),
  arm_ext::end,
};

inline constexpr arm_extension armv8_m_main_extensions[] = {
  arm_ext::dsp,
  arm_ext::add("fp", isa_fpu::fpv5_sp_d16),
  arm_ext::add("fp.dp", isa_fpu::fpv5_d16),
  arm_ext::nofp,
  arm_ext::remove("nodsp", isa(isa_armv7em, isa_mve, isa_mve_float)),
  ARM_CDE_EXTENSIONS,
  arm_ext::end,
};

inline constexpr arm_extension armv8_r_extensions[] = {
  arm_ext::crc,
  arm_ext::add("fp.sp", isa_fpu::fpv5_sp_d16),
  arm_ext::add("simd", isa_fpu::neon_fp_armv8),
  arm_ext::crypto,
  arm_ext::nocrypto,
  arm_ext::nofp,
  arm_ext::end,
};

inline constexpr arm_extension armv8_1_m_main_extensions[] = {
  arm_ext::dsp,
  arm_ext::add("fp", isa_fpu::fpv5_sp_d16 + isa(isa_fp16)),
  arm_ext::add("fp.dp", isa_fpu::fpv5_d16 + isa(isa_fp16)),
  arm_ext::remove("nofp", isa_fpu::all_fp + isa(isa_mve_float)),
  arm_ext::add("mve", isa(isa_armv7em, isa_mve)),
  arm_ext::add("mve.fp",
               isa_fpu::fpv5_sp_d16 + isa(isa_fp16, isa_armv7em, isa_mve, isa_mve_float)),
  ARM_CDE_EXTENSIONS,
  arm_ext::end,
};

// Processors. Their tables offer the removal of what they have and, for the
// version 8 A-profile cores, the optional cryptography.

inline constexpr arm_extension cpu_nofp_extensions[] = {
  arm_ext::nofp,
  arm_ext::end,
};

// Processors whose double-precision unit may be left out.
inline constexpr arm_extension cpu_nofp_dp_extensions[] = {
  arm_ext::remove("nofp.dp", isa(isa_fp_dbl)),
  arm_ext::nofp,
  arm_ext::end,
};

inline constexpr arm_extension cpu_simd_extensions[] = {
  arm_ext::nosimd,
  arm_ext::nofp,
  arm_ext::end,
};

inline constexpr arm_extension cpu_crypto_extensions[] = {
  arm_ext::crypto,
  arm_ext::nocrypto,
  arm_ext::nofp,
  arm_ext::end,
};

inline constexpr arm_extension cpu_armv8_m_main_extensions[] = {
  arm_ext::nofp,
  arm_ext::remove("nodsp", isa(isa_armv7em, isa_mve, isa_mve_float)),
  ARM_CDE_EXTENSIONS,
  arm_ext::end,
};

inline constexpr arm_extension cpu_armv8_1_m_main_extensions[] = {
  arm_ext::remove("nomve.fp", isa(isa_mve_float)),
  arm_ext::remove("nomve", isa(isa_mve, isa_mve_float)),
  arm_ext::remove("nofp", isa_fpu::all_fp + isa(isa_mve_float)),
  arm_ext::remove("nodsp", isa(isa_armv7em, isa_mve, isa_mve_float)),
  ARM_CDE_EXTENSIONS,
  arm_ext::end,
};

#undef ARM_CDE_EXTENSIONS

#endif
