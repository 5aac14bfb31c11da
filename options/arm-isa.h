// The ARM feature model: the numbered ISA features, the named feature sets
// that architectures, processors, FPUs and extensions are built from, and the
// row types of their tables. Everything here is constant data.
#ifndef VUZ_OPTIONS_ARM_ISA_H
#define VUZ_OPTIONS_ARM_ISA_H

#include <cstdint>

// Feature numbers run from 1 to 64; 0 ends a list. The numbers are fixed by
// the tables of architectures and FPUs, so they never change; the names are
// ours. Numbers 12, 13, 14, 20, 24, 44 and 60 are not used by this model.
enum isa_feature : unsigned char {
  isa_cdecp0 = 1,        // custom datapath coprocessor 0 (also 4, 6, 8-11, 63)
  isa_vfpv2 = 2,         // the base floating-point unit
  isa_adiv = 3,          // integer divide in ARM state
  isa_cdecp1 = 4,
  isa_vfpv3 = 5,
  isa_cdecp2 = 6,
  isa_vfpv4 = 7,         // fused multiply-add
  isa_cdecp3 = 8,
  isa_cdecp4 = 9,
  isa_cdecp5 = 10,
  isa_cdecp6 = 11,
  isa_iwmmxt = 15,
  isa_armv5te = 16,
  isa_dotprod = 17,
  isa_fp16fml = 18,
  isa_xscale = 19,
  isa_bf16 = 21,
  isa_sb = 22,
  isa_thumb = 23,
  isa_be8 = 25,          // big-endian images are linked as BE8
  isa_armv5t = 26,
  isa_i8mm = 27,
  isa_lpae = 28,
  isa_armv4 = 29,
  isa_armv8_1m_main = 30,
  isa_armv6kz = 31,
  isa_neon = 32,
  isa_armv6 = 33,
  isa_crc32 = 34,
  isa_armv7 = 35,
  isa_armv7em = 36,      // the DSP instructions of M-profile
  isa_cmse = 37,
  isa_armv8 = 38,
  isa_fp_armv8 = 39,
  isa_armv9 = 40,
  isa_mve = 41,
  isa_mve_float = 42,
  isa_tdiv = 43,         // integer divide in Thumb state
  isa_fp_d32 = 45,       // 32 double registers
  isa_thumb2 = 46,
  isa_iwmmxt2 = 47,
  isa_notm = 48,         // ARM (non-Thumb) state
  isa_fp16 = 49,         // half-precision arithmetic
  isa_armv8_1 = 50,
  isa_fp16conv = 51,
  isa_armv8_2 = 52,
  isa_armv6k = 53,
  isa_armv8_3 = 54,
  isa_armv8_4 = 55,
  isa_mp = 56,
  isa_armv8_5 = 57,
  isa_crypto = 58,
  isa_armv8_6 = 59,
  isa_fp_dbl = 61,       // double precision
  isa_sec = 62,
  isa_cdecp7 = 63,
  isa_predres = 64,
};

// Feature sets have 65 bits so that feature 64 fits beside the unused bit 0.
constexpr unsigned isa_bit_count = 65;

// A feature set as a compile-time value, for composing the tables.
struct isa_spec {
  uint64_t low; // features 0 to 63
  uint64_t high; // feature 64

  constexpr bool has(unsigned feature) const
  {
    return feature < 64 ? (low >> feature) & 1 : feature == 64 && (high & 1);
  }
  constexpr isa_spec operator+(isa_spec other) const
  {
    return {low | other.low, high | other.high};
  }
  constexpr isa_spec operator-(isa_spec other) const
  {
    return {low & ~other.low, high & ~other.high};
  }
};

constexpr isa_spec isa() { return {0, 0}; }

template <typename... F> constexpr isa_spec isa(isa_feature first, F... rest)
{
  isa_spec one = first < 64 ? isa_spec{uint64_t(1) << first, 0} : isa_spec{0, 1};
  return one + isa(rest...);
}

// The form kept in the tables: feature numbers in increasing order, ended by 0.
struct isa_list {
  unsigned char items[isa_bit_count + 1];
};

constexpr isa_list isa_list_of(isa_spec s)
{
  isa_list list{};
  unsigned n = 0;
  for (unsigned f = 1; f < isa_bit_count; f++)
    if (s.has(f))
      list.items[n++] = static_cast<unsigned char>(f);
  return list;
}

// Floating-point units, each built from the one it extends.
namespace isa_fpu {
constexpr isa_spec vfpv2 = isa(isa_vfpv2, isa_fp_dbl);
constexpr isa_spec vfpv3xd = isa(isa_vfpv2, isa_vfpv3);
constexpr isa_spec vfpv3xd_fp16 = vfpv3xd + isa(isa_fp16conv);
constexpr isa_spec vfpv3_d16 = vfpv3xd + isa(isa_fp_dbl);
constexpr isa_spec vfpv3_d16_fp16 = vfpv3_d16 + isa(isa_fp16conv);
constexpr isa_spec vfpv3 = vfpv3_d16 + isa(isa_fp_d32);
constexpr isa_spec vfpv3_fp16 = vfpv3 + isa(isa_fp16conv);
constexpr isa_spec neon = vfpv3 + isa(isa_neon);
constexpr isa_spec neon_fp16 = neon + isa(isa_fp16conv);
constexpr isa_spec vfpv4_d16 = vfpv3_d16_fp16 + isa(isa_vfpv4);
constexpr isa_spec vfpv4 = vfpv4_d16 + isa(isa_fp_d32);
constexpr isa_spec neon_vfpv4 = vfpv4 + isa(isa_neon);
constexpr isa_spec fpv4_sp_d16 = vfpv3xd_fp16 + isa(isa_vfpv4);
constexpr isa_spec fpv5_sp_d16 = fpv4_sp_d16 + isa(isa_fp_armv8);
constexpr isa_spec fpv5_d16 = fpv5_sp_d16 + isa(isa_fp_dbl);
constexpr isa_spec fp_armv8 = fpv5_d16 + isa(isa_fp_d32);
constexpr isa_spec neon_fp_armv8 = fp_armv8 + isa(isa_neon);
constexpr isa_spec crypto_neon_fp_armv8 = neon_fp_armv8 + isa(isa_crypto);

// What "nosimd" and "nofp" take away: everything that needs the unit.
constexpr isa_spec all_simd =
    isa(isa_dotprod, isa_fp16fml, isa_i8mm, isa_neon, isa_fp_d32, isa_crypto);
constexpr isa_spec all_fp = crypto_neon_fp_armv8 + all_simd + isa(isa_bf16, isa_fp16);
} // namespace isa_fpu

// Architectures, each built from the one it extends.
namespace isa_arch {
constexpr isa_spec armv4 = isa(isa_armv4, isa_notm);
constexpr isa_spec armv4t = armv4 + isa(isa_thumb);
constexpr isa_spec armv5t = armv4t + isa(isa_armv5t);
constexpr isa_spec armv5te = armv5t + isa(isa_armv5te);
constexpr isa_spec armv6 = armv5te + isa(isa_armv6, isa_be8);
constexpr isa_spec armv6k = armv6 + isa(isa_armv6k);
constexpr isa_spec armv6kz = armv6k + isa(isa_armv6kz);
constexpr isa_spec armv6t2 = armv6 + isa(isa_thumb2);
constexpr isa_spec armv6_m = armv6 - isa(isa_notm);
// What the A, R and M profiles of version 7 have in common.
constexpr isa_spec armv7 = armv6t2 + isa(isa_armv7) - isa(isa_notm);
constexpr isa_spec armv7_a = armv7 + isa(isa_notm, isa_armv6k);
// The virtualization extensions bring divide, large addresses, MP and security.
constexpr isa_spec armv7ve = armv7_a + isa(isa_adiv, isa_lpae, isa_tdiv, isa_mp, isa_sec);
constexpr isa_spec armv7_r = armv7_a + isa(isa_tdiv);
constexpr isa_spec armv7_m = armv7 + isa(isa_tdiv);
constexpr isa_spec armv7e_m = armv7_m + isa(isa_armv7em);
constexpr isa_spec armv8_a = armv7ve + isa(isa_armv8);
constexpr isa_spec armv8_1_a = armv8_a + isa(isa_crc32, isa_armv8_1);
constexpr isa_spec armv8_2_a = armv8_1_a + isa(isa_armv8_2);
constexpr isa_spec armv8_3_a = armv8_2_a + isa(isa_armv8_3);
constexpr isa_spec armv8_4_a = armv8_3_a + isa(isa_armv8_4);
constexpr isa_spec armv8_5_a = armv8_4_a + isa(isa_sb, isa_armv8_5, isa_predres);
constexpr isa_spec armv8_6_a = armv8_5_a + isa(isa_armv8_6);
constexpr isa_spec armv9_a = armv8_5_a + isa(isa_armv9);
constexpr isa_spec armv8_m_base = armv6_m + isa(isa_armv8, isa_cmse, isa_tdiv);
constexpr isa_spec armv8_m_main = armv7_m + isa(isa_armv8, isa_cmse);
constexpr isa_spec armv8_1_m_main = armv8_m_main + isa(isa_armv8_1m_main);
constexpr isa_spec armv8_r = armv8_a;
constexpr isa_spec iwmmxt = armv5te + isa(isa_iwmmxt, isa_xscale);
constexpr isa_spec iwmmxt2 = iwmmxt + isa(isa_iwmmxt2);
} // namespace isa_arch

// The features that describe the floating-point unit alone.
constexpr isa_spec isa_fpu_bits =
    isa(isa_vfpv2, isa_vfpv3, isa_vfpv4, isa_neon, isa_fp_armv8, isa_fp_d32, isa_fp16conv,
        isa_crypto, isa_fp_dbl);

// Features that do not change which library variant suits the code.
constexpr isa_spec isa_multilib_ignored =
    isa(isa_cdecp0, isa_cdecp1, isa_cdecp2, isa_cdecp3, isa_cdecp4, isa_cdecp5, isa_cdecp6,
        isa_cdecp7);

// An extension that "+name" adds to (or, with remove set, takes from) an
// architecture or processor. A table of them ends with a null name.
struct arm_extension {
  const char *name;
  unsigned char remove;
  unsigned char alias; // another name for an earlier row; never produced
  isa_list features;
};

// What architectures and processors share: the parsers of "+" features and the
// canonicaliser see both through it.
constexpr uint32_t arm_name_length(const char *name)
{
  uint32_t n = 0;
  while (name[n])
    n++;
  return n;
}

struct arm_isa_named {
  const char *name;
  const arm_extension *extensions; // or null: takes no "+" features
  isa_list features;
  uint32_t name_length; // of name: a lookup compares lengths before texts
};

enum arm_cpu_id : int {
#define ARM_CPU(id, name, arch, extensions, features, aliases) arm_cpu_##id,
#include "options/arm-data/cpus.def"
#undef ARM_CPU
  arm_cpu_count
};

enum arm_arch_id : int {
#define ARM_ARCH(id, name, string, base, profile, tune, features, extensions) arm_arch_##id,
#include "options/arm-data/arches.def"
#undef ARM_ARCH
  arm_arch_count
};

struct arm_arch : arm_isa_named {
  const char *arch; // the architecture string, as "7A"
  int32_t base_arch;
  char profile; // 0, 'A', 'M' or 'R'
  arm_cpu_id tune;
};

struct arm_cpu_alias {
  constexpr arm_cpu_alias(const char *name_, unsigned char visible_)
      : name(name_), visible(visible_), name_length(name_ ? arm_name_length(name_) : 0)
  {
  }

  const char *name;
  unsigned char visible; // listed in messages
  uint32_t name_length;
};

struct arm_cpu : arm_isa_named {
  const arm_cpu_alias *aliases; // null-terminated, or null
  const arm_arch *arch;
};

struct arm_fpu {
  const char *name;
  isa_list features;
};

// Each table ends with a row whose name is null.
extern const arm_arch arm_arch_table[arm_arch_count + 1];
extern const arm_cpu arm_cpu_table[arm_cpu_count + 1];
extern const arm_fpu arm_fpu_table[];
extern const int arm_fpu_count;

#endif
