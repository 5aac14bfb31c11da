// The ARM tables: the rows whose features are fixed (architectures, FPUs, the
// extensions of armv7-a and armv8-a, cortex-a9) against their numbers, and
// the invariants every row must keep.
#include "options/arm-isa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<int> numbers(const isa_list &list)
{
  std::vector<int> out;
  for (const unsigned char *p = list.items; *p; p++)
    out.push_back(*p);
  return out;
}

std::vector<int> sorted(std::vector<int> v)
{
  std::sort(v.begin(), v.end());
  return v;
}

bool contains_all(const isa_list &big, const isa_list &small)
{
  std::vector<int> b = numbers(big);
  for (int f : numbers(small))
    if (std::find(b.begin(), b.end(), f) == b.end())
      return false;
  return true;
}

const arm_arch *arch_named(const char *name)
{
  for (const arm_arch *a = arm_arch_table; a->name; a++)
    if (strcmp(a->name, name) == 0)
      return a;
  return nullptr;
}

struct arch_row {
  const char *name, *arch;
  int base;
  char profile;
  std::vector<int> features;
};

// The architectures in table order with the numbers that fix the model.
const arch_row arch_rows[] = {
  {"armv4", "4", 4, 0, {29, 48}},
  {"armv4t", "4T", 4, 0, {23, 29, 48}},
  {"armv5t", "5T", 5, 0, {23, 26, 29, 48}},
  {"armv5te", "5TE", 5, 0, {16, 23, 26, 29, 48}},
  {"armv5tej", "5TEJ", 5, 0, {16, 23, 26, 29, 48}},
  {"armv6", "6", 6, 0, {16, 23, 25, 26, 29, 33, 48}},
  {"armv6j", "6J", 6, 0, {16, 23, 25, 26, 29, 33, 48}},
  {"armv6k", "6K", 6, 0, {16, 23, 25, 26, 29, 33, 48, 53}},
  {"armv6z", "6Z", 6, 0, {16, 23, 25, 26, 29, 33, 48}},
  {"armv6kz", "6KZ", 6, 0, {16, 23, 25, 26, 29, 33, 31, 48, 53}},
  {"armv6zk", "6KZ", 6, 0, {16, 23, 25, 26, 29, 33, 31, 48, 53}},
  {"armv6t2", "6T2", 6, 0, {16, 23, 25, 26, 29, 33, 46, 48}},
  {"armv6-m", "6M", 6, 'M', {16, 23, 25, 26, 29, 33}},
  {"armv6s-m", "6M", 6, 'M', {16, 23, 25, 26, 29, 33}},
  {"armv7", "7", 7, 0, {16, 23, 25, 26, 29, 33, 35, 46}},
  {"armv7-a", "7A", 7, 'A', {16, 23, 25, 26, 29, 33, 35, 46, 48, 53}},
  {"armv7ve", "7A", 7, 'A', {3, 16, 23, 25, 26, 28, 29, 33, 35, 43, 46, 48, 53, 56, 62}},
  {"armv7-r", "7R", 7, 'R', {16, 23, 25, 26, 29, 33, 35, 43, 46, 48, 53}},
  {"armv7-m", "7M", 7, 'M', {16, 23, 25, 26, 29, 33, 35, 43, 46}},
  {"armv7e-m", "7EM", 7, 'M', {16, 23, 25, 26, 29, 33, 36, 35, 43, 46}},
  {"armv8-a", "8A", 8, 'A', {3, 16, 23, 25, 26, 28, 29, 33, 35, 38, 43, 46, 48, 53, 56, 62}},
  {"armv8.1-a", "8A", 8, 'A',
   {3, 16, 23, 25, 26, 28, 29, 33, 35, 34, 38, 43, 46, 48, 50, 53, 56, 62}},
  {"armv8.2-a", "8A", 8, 'A',
   {3, 16, 23, 25, 26, 28, 29, 33, 34, 35, 38, 43, 46, 48, 50, 52, 53, 56, 62}},
  {"armv8.3-a", "8A", 8, 'A',
   {3, 16, 23, 25, 26, 28, 29, 33, 34, 35, 38, 43, 46, 48, 50, 52, 53, 54, 56, 62}},
  {"armv8.4-a", "8A", 8, 'A',
   {3, 16, 23, 25, 26, 28, 29, 33, 34, 35, 38, 43, 46, 48, 50, 52, 53, 54, 55, 56, 62}},
  {"armv8.5-a", "8A", 8, 'A',
   {3, 16, 22, 23, 25, 26, 28, 29, 33, 34, 35, 38, 43, 46, 48, 50, 52, 53, 54, 55, 56, 57, 62,
    64}},
  {"armv8.6-a", "8A", 8, 'A',
   {3, 16, 22, 23, 25, 26, 28, 29, 33, 34, 35, 38, 43, 46, 48, 50, 53, 52, 54, 56, 55, 57, 59,
    62, 64}},
  {"armv8-m.base", "8M_BASE", 8, 'M', {16, 23, 25, 26, 29, 33, 38, 37, 43}},
  {"armv8-m.main", "8M_MAIN", 8, 'M', {16, 23, 25, 26, 29, 33, 35, 38, 37, 43, 46}},
  {"armv8-r", "8R", 8, 'R', {3, 16, 23, 25, 26, 28, 29, 33, 35, 38, 43, 46, 48, 53, 56, 62}},
  {"armv8.1-m.main", "8M_MAIN", 8, 'M', {16, 23, 25, 26, 29, 30, 33, 35, 38, 37, 43, 46}},
  {"armv9-a", "9A", 9, 'A',
   {3, 16, 22, 23, 25, 26, 28, 29, 33, 34, 35, 38, 40, 43, 46, 48, 50, 52, 53, 54, 56, 55, 57,
    62, 64}},
  {"iwmmxt", "5TE", 5, 0, {15, 16, 19, 23, 26, 29, 48}},
  {"iwmmxt2", "5TE", 5, 0, {15, 16, 19, 23, 26, 29, 47, 48}},
};

TEST(ArmTables, ArchitecturesInOrderWithTheirFeatures)
{
  size_t i = 0;
  for (const arch_row &want : arch_rows) {
    const arm_arch &row = arm_arch_table[i++];
    ASSERT_NE(row.name, nullptr);
    EXPECT_STREQ(row.name, want.name);
    EXPECT_STREQ(row.arch, want.arch) << want.name;
    EXPECT_EQ(row.base_arch, want.base) << want.name;
    EXPECT_EQ(row.profile, want.profile) << want.name;
    EXPECT_EQ(numbers(row.features), sorted(want.features)) << want.name;
  }
  EXPECT_EQ(arm_arch_table[i].name, nullptr);
}

TEST(ArmTables, FpusInOrderWithTheirFeatures)
{
  const std::pair<const char *, std::vector<int>> rows[] = {
    {"vfp", {2, 61}},
    {"vfpv2", {2, 61}},
    {"vfpv3", {2, 5, 45, 61}},
    {"vfpv3-fp16", {2, 5, 45, 51, 61}},
    {"vfpv3-d16", {2, 5, 61}},
    {"vfpv3-d16-fp16", {2, 5, 51, 61}},
    {"vfpv3xd", {2, 5}},
    {"vfpv3xd-fp16", {2, 5, 51}},
    {"neon", {2, 5, 32, 45, 61}},
    {"neon-vfpv3", {2, 5, 32, 45, 61}},
    {"neon-fp16", {2, 5, 32, 45, 51, 61}},
    {"vfpv4", {2, 5, 7, 45, 51, 61}},
    {"neon-vfpv4", {2, 5, 7, 32, 45, 51, 61}},
    {"vfpv4-d16", {2, 5, 7, 51, 61}},
    {"fpv4-sp-d16", {2, 5, 7, 51}},
    {"fpv5-sp-d16", {2, 5, 7, 39, 51}},
    {"fpv5-d16", {2, 5, 7, 39, 51, 61}},
    {"fp-armv8", {2, 5, 7, 39, 45, 51, 61}},
    {"neon-fp-armv8", {2, 5, 7, 32, 39, 45, 51, 61}},
    {"crypto-neon-fp-armv8", {2, 5, 7, 32, 39, 45, 51, 58, 61}},
    {"vfp3", {2, 5, 45, 61}},
  };
  ASSERT_EQ(arm_fpu_count, 21);
  int i = 0;
  for (const auto &want : rows) {
    EXPECT_STREQ(arm_fpu_table[i].name, want.first);
    EXPECT_EQ(numbers(arm_fpu_table[i].features), want.second) << want.first;
    i++;
  }
  EXPECT_EQ(arm_fpu_table[i].name, nullptr);
}

struct ext_row {
  const char *name;
  bool remove, alias;
  std::vector<int> features;
};

void expect_extensions(const char *arch, const std::vector<ext_row> &want)
{
  const arm_extension *ext = arch_named(arch)->extensions;
  ASSERT_NE(ext, nullptr);
  for (const ext_row &w : want) {
    ASSERT_NE(ext->name, nullptr) << arch << " ends before " << w.name;
    EXPECT_STREQ(ext->name, w.name) << arch;
    EXPECT_EQ(bool(ext->remove), w.remove) << w.name;
    EXPECT_EQ(bool(ext->alias), w.alias) << w.name;
    EXPECT_EQ(numbers(ext->features), w.features) << arch << "+" << w.name;
    ext++;
  }
  EXPECT_EQ(ext->name, nullptr) << arch;
}

TEST(ArmTables, ExtensionsOfArmv7aAndArmv8a)
{
  const std::vector<int> nofp = {2, 5, 7, 17, 18, 21, 27, 32, 39, 45, 49, 51, 58, 61};
  expect_extensions("armv7-a", {
    {"mp", false, false, {56}},
    {"sec", false, false, {62}},
    {"fp", false, false, {2, 5, 61}},
    {"vfpv3", false, false, {2, 5, 45, 61}},
    {"vfpv3-d16-fp16", false, false, {2, 5, 51, 61}},
    {"vfpv3-fp16", false, false, {2, 5, 45, 51, 61}},
    {"vfpv4-d16", false, false, {2, 5, 7, 51, 61}},
    {"vfpv4", false, false, {2, 5, 7, 45, 51, 61}},
    {"simd", false, false, {2, 5, 32, 45, 61}},
    {"neon-fp16", false, false, {2, 5, 32, 45, 51, 61}},
    {"neon-vfpv4", false, false, {2, 5, 7, 32, 45, 51, 61}},
    {"nosimd", true, false, {17, 18, 27, 32, 45, 58}},
    {"nofp", true, false, nofp},
    {"vfpv3-d16", false, true, {2, 5, 61}},
    {"neon", false, true, {2, 5, 32, 45, 61}},
    {"neon-vfpv3", false, true, {2, 5, 32, 45, 61}},
  });
  expect_extensions("armv8-a", {
    {"crc", false, false, {34}},
    {"simd", false, false, {2, 5, 7, 32, 39, 45, 51, 61}},
    {"crypto", false, false, {2, 5, 7, 32, 39, 45, 51, 58, 61}},
    {"nocrypto", true, false, {58}},
    {"nofp", true, false, nofp},
    {"sb", false, false, {22}},
    {"predres", false, false, {64}},
  });
}

// The names of every extension table, in order, as the architectures list
// them; their features are ours, but the names are fixed.
TEST(ArmTables, ExtensionNamesOfEveryArchitecture)
{
  const std::pair<const char *, const char *> rows[] = {
    {"armv5te", "fp nofp vfpv2"},
    {"armv6t2", "fp nofp vfpv2"},
    {"armv7", "fp nofp vfpv3-d16"},
    {"armv7ve", "vfpv3-d16 vfpv3 vfpv3-d16-fp16 vfpv3-fp16 fp vfpv4 neon neon-fp16 simd nosimd "
                "nofp vfpv4-d16 neon-vfpv3 neon-vfpv4"},
    {"armv7-r", "fp.sp fp vfpv3xd-fp16 vfpv3-d16-fp16 idiv nofp noidiv vfpv3xd vfpv3-d16"},
    {"armv7e-m", "fp fpv5 fp.dp nofp vfpv4-sp-d16 fpv5-d16"},
    {"armv8.1-a", "simd crypto nocrypto nofp sb predres"},
    {"armv8.3-a", "simd fp16 fp16fml crypto nocrypto nofp dotprod sb predres i8mm bf16"},
    {"armv8.4-a", "simd fp16 crypto nocrypto nofp sb predres i8mm bf16"},
    {"armv9-a", "simd fp16 crypto nocrypto nofp i8mm bf16"},
    {"armv8-m.main", "dsp fp fp.dp nofp nodsp cdecp0 cdecp1 cdecp2 cdecp3 cdecp4 cdecp5 cdecp6 "
                     "cdecp7"},
    {"armv8-r", "crc fp.sp simd crypto nocrypto nofp"},
    {"armv8.1-m.main", "dsp fp fp.dp nofp mve mve.fp cdecp0 cdecp1 cdecp2 cdecp3 cdecp4 cdecp5 "
                       "cdecp6 cdecp7"},
  };
  for (const auto &row : rows) {
    std::string names;
    for (const arm_extension *e = arch_named(row.first)->extensions; e->name; e++)
      names += (names.empty() ? "" : " ") + std::string(e->name);
    EXPECT_EQ(names, row.second) << row.first;
  }
  for (const char *none : {"armv4", "armv5t", "armv6-m", "armv7-m", "armv8-m.base", "iwmmxt2"})
    EXPECT_EQ(arch_named(none)->extensions, nullptr) << none;
}

TEST(ArmTables, ProcessorsKeepTheirArchitectureAndNamedFeatures)
{
  EXPECT_STREQ(arm_cpu_table[0].name, "arm8");
  EXPECT_STREQ(arm_cpu_table[25].name, "arm1176jzf-s");
  EXPECT_STREQ(arm_cpu_table[87].name, "cortex-r52plus");
  EXPECT_EQ(arm_cpu_table[88].name, nullptr);

  const arm_cpu &a9 = arm_cpu_table[arm_cpu_cortex_a9];
  EXPECT_EQ(numbers(a9.features),
            (std::vector<int>{2, 5, 16, 23, 25, 26, 29, 32, 33, 35, 45, 46, 48, 51, 53, 56, 61,
                              62}));
  std::string names;
  for (const arm_extension *e = a9.extensions; e->name; e++)
    names += std::string(e->name) + " ";
  EXPECT_EQ(names, "nosimd nofp ");

  // The default processor has a VFPv2 unit.
  const arm_cpu &fallback = arm_cpu_table[arm_cpu_arm1176jzf_s];
  EXPECT_STREQ(fallback.arch->name, "armv6kz");
  EXPECT_TRUE(contains_all(fallback.features, isa_list_of(isa_fpu::vfpv2)));

  // Only the M-profile processors lack ARM state.
  std::set<std::string> thumb_only;
  for (const arm_cpu *c = arm_cpu_table; c->name; c++) {
    EXPECT_TRUE(contains_all(c->features, c->arch->features)) << c->name;
    std::vector<int> f = numbers(c->features);
    if (std::find(f.begin(), f.end(), 48) == f.end())
      thumb_only.insert(c->name);
  }
  EXPECT_EQ(thumb_only,
            (std::set<std::string>{"cortex-m1", "cortex-m0", "cortex-m0plus",
                                   "cortex-m1.small-multiply", "cortex-m0.small-multiply",
                                   "cortex-m0plus.small-multiply", "cortex-m7", "cortex-m4",
                                   "cortex-m3", "cortex-m23", "cortex-m33", "cortex-m35p",
                                   "cortex-m55"}));
}

// What the tables must keep for the parsers and the canonicaliser to work.
TEST(ArmTables, Invariants)
{
  std::set<std::string> cpu_names;
  for (const arm_cpu *c = arm_cpu_table; c->name; c++) {
    EXPECT_TRUE(cpu_names.insert(c->name).second) << c->name;
    if (c->aliases)
      for (const arm_cpu_alias *a = c->aliases; a->name; a++)
        EXPECT_TRUE(cpu_names.insert(a->name).second) << a->name;
  }

  std::vector<const arm_extension *> tables;
  for (const arm_arch *a = arm_arch_table; a->name; a++)
    if (a->extensions)
      tables.push_back(a->extensions);
  for (const arm_cpu *c = arm_cpu_table; c->name; c++)
    if (c->extensions)
      tables.push_back(c->extensions);
  for (const arm_extension *table : tables) {
    std::set<std::string> names;
    for (const arm_extension *e = table; e->name; e++) {
      EXPECT_TRUE(names.insert(e->name).second) << e->name;
      EXPECT_NE(e->features.items[0], 0) << e->name;
      EXPECT_FALSE(e->remove && e->alias) << e->name;
      if (!e->alias)
        continue;
      // An alias repeats the features of an earlier, ordinary row.
      bool found = false;
      for (const arm_extension *f = table; f != e; f++)
        found |= !f->alias && !f->remove && numbers(f->features) == numbers(e->features);
      EXPECT_TRUE(found) << e->name;
    }
  }
}

} // namespace
