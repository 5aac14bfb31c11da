// The ARM name parsers, the canonicaliser and the ARM spec functions: the
// texts the driver's specs get back, the messages for unknown names, and the
// fatal errors for malformed operand lists.
#include "options/arm-common.h"

#include "diagnostics/diagnostic.h"
#include "support/alloc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Reports go through the program's diagnostic context, set up as the driver
// sets it up.
struct diagnostics_environment : testing::Environment {
  void SetUp() override
  {
    alloc_set_program_name("vuz");
    diagnostic_state_init(&global_diagnostic_state, 0);
  }
};
testing::Environment *const diagnostics =
    testing::AddGlobalTestEnvironment(new diagnostics_environment);

using spec_function = const char *(*)(int, const char **);

std::string call(spec_function f, std::vector<const char *> words)
{
  const char *result = f(int(words.size()), words.data());
  return result ? result : "(null)";
}

// Standard error of BODY, with typographic quotes made plain.
template <typename F> std::string messages_of(F body)
{
  testing::internal::CaptureStderr();
  body();
  std::string err = testing::internal::GetCapturedStderr();
  for (const char *fancy : {"\u2018", "\u2019"})
    for (size_t at; (at = err.find(fancy)) != std::string::npos;)
      err.replace(at, strlen(fancy), "'");
  return err;
}

struct canon_case {
  std::vector<const char *> words;
  const char *expected;
};

TEST(ArmCanon, Examples)
{
  const canon_case cases[] = {
    // Every other FPU extension is a subset of neon-vfpv4 and is dropped.
    {{"arch", "armv7-a+neon-vfpv4"}, "armv7-a+neon-vfpv4"},
    {{"arch", "armv7-a", "fpu", "vfpv3-d16", "abi", "softfp"}, "armv7-a+fp"},
    {{"arch", "armv7-a", "fpu", "vfpv3-d16", "abi", "soft"}, "armv7-a"},
    {{"arch", "armv7-m"}, "armv7-m"},
    // Removing the SIMD unit leaves its FPU.
    {{"arch", "armv7-a+simd+nosimd"}, "armv7-a+fp"},
    {{"arch", "armv7-a+neon+mp"}, "armv7-a+mp+simd"},
    {{"arch", "armv8-a+crypto+nocrypto"}, "armv8-a+simd"},
    // The FPU ABI default: a hard-float run keeps the FPU.
    {{"cpu", "arm1176jzf-s"}, "armv6kz+fp"},
    {{"cpu", "arm1176jzf-s", "abi", "soft"}, "armv6kz"},
    {{"cpu", "cortex-a9"}, "armv7-a+mp+sec+neon-fp16"},
    {{"cpu", "cortex-a9+nosimd"}, "armv7-a+mp+sec+vfpv3-d16-fp16"},
    // An explicit FPU replaces the processor's own.
    {{"cpu", "cortex-a9", "fpu", "vfpv3-d16"}, "armv7-a+mp+sec+fp"},
    {{"cpu", "cortex-m4", "fpu", "fpv5-sp-d16"}, "armv7e-m+fpv5"},
    {{"cpu", "cortex-m3"}, "armv7-m"},
    {{"cpu", "strongarm1100"}, "armv4"},
    // An FPU weaker than anything the architecture offers takes the first
    // extension that has all of it, in table order among the others.
    {{"arch", "armv7e-m", "fpu", "vfpv3-d16"}, "armv7e-m+fp.dp"},
    {{"arch", "armv8-m.main+dsp", "fpu", "vfpv3-d16"}, "armv8-m.main+dsp+fp.dp"},
    {{"arch", "armv8-m.main+cdecp0", "fpu", "vfpv3-d16"}, "armv8-m.main+fp.dp+cdecp0"},
    // The architecture wins over the processor; later pairs override.
    {{"cpu", "cortex-a9", "arch", "armv5te"}, "armv5te"},
    {{"arch", "armv4", "arch", "armv6"}, "armv6"},
  };
  for (const canon_case &c : cases)
    EXPECT_EQ(call(arm_canon_arch_spec, c.words), c.expected) << c.words[1];
}

TEST(ArmCanon, MultilibFormDropsLibraryNeutralFeaturesAndStaysQuiet)
{
  EXPECT_EQ(call(arm_canon_arch_multilib_spec, {"arch", "armv8-m.main+cdecp3+fp"}),
            "armv8-m.main+fp");
  EXPECT_EQ(call(arm_canon_arch_spec, {"arch", "armv8-m.main+cdecp3+fp"}),
            "armv8-m.main+fp+cdecp3");

  std::string quiet = messages_of([] {
    EXPECT_EQ(call(arm_canon_arch_multilib_spec, {"arch", "armv99"}), "");
    EXPECT_EQ(call(arm_canon_arch_multilib_spec, {"cpu", "cortex-z9"}), "");
  });
  EXPECT_EQ(quiet, "");

  std::string err = messages_of(
      [] { EXPECT_EQ(call(arm_canon_arch_spec, {"arch", "armv7-z"}), ""); });
  EXPECT_NE(err.find("error: unrecognized -march target: armv7-z"), std::string::npos) << err;
  EXPECT_NE(err.find("note: valid arguments are: armv4 armv4t armv5t"), std::string::npos)
      << err;
  EXPECT_NE(err.find("iwmmxt iwmmxt2; did you mean 'armv7-a'?"), std::string::npos) << err;
}

TEST(ArmCanon, UnknownFpuGivesTheEmptyText)
{
  std::string err = messages_of([] {
    EXPECT_EQ(call(arm_canon_arch_spec, {"arch", "armv7-a", "fpu", "neon-vfpv5"}), "");
  });
  EXPECT_NE(err.find("error: unrecognized '-mfpu' target: neon-vfpv5"), std::string::npos)
      << err;
  EXPECT_NE(err.find("valid arguments are: vfp vfpv2 vfpv3 "), std::string::npos) << err;
}

// Canonical names are fixed points: canonicalising one again changes nothing,
// for every architecture with every pair of its extensions.
TEST(ArmCanon, CanonicalFormIsIdempotent)
{
  for (const arm_arch *arch = arm_arch_table; arch->name; arch++) {
    std::vector<std::string> names = {""};
    if (arch->extensions)
      for (const arm_extension *e = arch->extensions; e->name; e++)
        names.push_back(std::string("+") + e->name);
    for (const std::string &first : names)
      for (const std::string &second : names) {
        std::string option = arch->name + first + second;
        std::string once = call(arm_canon_arch_spec, {"arch", option.c_str()});
        std::string twice = call(arm_canon_arch_spec, {"arch", once.c_str()});
        ASSERT_EQ(once, twice) << option;
      }
  }
  for (const arm_cpu *cpu = arm_cpu_table; cpu->name; cpu++) {
    std::string once = call(arm_canon_arch_spec, {"cpu", cpu->name});
    EXPECT_EQ(call(arm_canon_arch_spec, {"arch", once.c_str()}), once) << cpu->name;
  }
}

TEST(ArmCanon, EarlierResultsStayValid)
{
  const char *words1[] = {"arch", "armv7-a+vfpv4"};
  const char *words2[] = {"arch", "armv8-a+crc"};
  const char *first = arm_canon_arch_spec(2, words1);
  const char *second = arm_canon_arch_spec(2, words2);
  EXPECT_STREQ(first, "armv7-a+vfpv4");
  EXPECT_STREQ(second, "armv8-a+crc");
}

TEST(ArmFeatures, UnknownFeatureListsTheNamesOfTheArchitecture)
{
  std::string err = messages_of([] { EXPECT_EQ(call(arm_canon_arch_spec, {"arch", "armv7-a+foo"}),
                                               "armv7-a"); });
  EXPECT_NE(err.find("error: 'armv7-a' does not support feature 'foo'"), std::string::npos)
      << err;
  EXPECT_NE(err.find("note: valid feature names are: mp sec fp vfpv3 vfpv3-d16-fp16 vfpv3-fp16 "
                     "vfpv4-d16 vfpv4 simd neon-fp16 neon-vfpv4 nosimd nofp vfpv3-d16 neon "
                     "neon-vfpv3\n"),
            std::string::npos)
      << err;

  // Parsing goes on after an unknown name.
  err = messages_of([] {
    EXPECT_EQ(call(arm_canon_arch_spec, {"arch", "armv7-a+neno+mp"}), "armv7-a+mp");
  });
  EXPECT_NE(err.find("did you mean 'neon'?"), std::string::npos) << err;

  err = messages_of([] { EXPECT_EQ(call(arm_canon_arch_spec, {"arch", "armv7-m+fp"}), "armv7-m"); });
  EXPECT_NE(err.find("error: armv7-m does not take any feature options"), std::string::npos)
      << err;
}

TEST(ArmFeatures, WithoutASetOnlyChecks)
{
  const arm_arch *armv7a = &arm_arch_table[arm_arch_armv7_a];
  std::string err = messages_of([&] { arm_parse_option_features(nullptr, armv7a, "+neon+mp"); });
  EXPECT_EQ(err, "");
  err = messages_of([&] { arm_parse_option_features(nullptr, armv7a, "+mp+"); });
  EXPECT_NE(err.find("error: 'armv7-a' does not support feature ''"), std::string::npos) << err;
}

// The driver's table binds the spec names to these functions, in this order.
TEST(ArmSpecFunctions, TableRows)
{
  const struct {
    const char *name;
    spec_function handler;
  } rows[] = {TARGET_SPEC_FUNCTION_ROWS{nullptr, nullptr}};
  std::string names;
  for (const auto &row : rows)
    if (row.name)
      names += std::string(row.name) + " ";
  EXPECT_EQ(names, "rewrite_mcpu rewrite_march asm_auto_mfpu canon_arch canon_arch_multilib "
                   "target_mode_check be8_linkopt ");
  EXPECT_EQ(call(rows[5].handler, {"cpu", "cortex-m0plus"}), "-mthumb");
  EXPECT_EQ(call(rows[3].handler, {"cpu", "cortex-m33+cdecp1"}), "armv8-m.main+dsp+fp+cdecp1");
}

TEST(ArmParse, ProcessorNamesAndAliases)
{
  EXPECT_EQ(arm_parse_cpu_name(arm_cpu_table, "-mcpu", "ep9312+nofp", false),
            &arm_cpu_table[arm_cpu_arm920t]);
  EXPECT_EQ(arm_parse_cpu_name(arm_cpu_table, "-mcpu", "ares", false),
            &arm_cpu_table[arm_cpu_neoverse_n1]);
  EXPECT_EQ(arm_parse_cpu_name(arm_cpu_table, "-mcpu", "cortex-a", false), nullptr);
  EXPECT_EQ(arm_parse_arch_name(arm_arch_table, "-march", "armv7", false),
            &arm_arch_table[arm_arch_armv7]);
  EXPECT_EQ(arm_parse_fpu_name("vfp3"), &arm_fpu_table[20]);

  // Visible aliases are listed, hidden ones are not.
  std::string err = messages_of(
      [] { EXPECT_EQ(arm_parse_cpu_name(arm_cpu_table, "-mcpu", "strongarm2", true), nullptr); });
  EXPECT_NE(err.find("unrecognized -mcpu target: strongarm2"), std::string::npos) << err;
  EXPECT_NE(err.find("valid arguments are: arm8 arm810 strongarm strongarm110 fa526 "),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("strongarm1100"), std::string::npos) << err;
  EXPECT_EQ(err.find(" ares"), std::string::npos) << err;
  EXPECT_NE(err.find(" neoverse-n1 "), std::string::npos) << err;
}

TEST(ArmAutoFpu, PicksTheFirstMatchingFpuAndRemembersIt)
{
  // The child runs this test afresh, before any other call has chosen an FPU.
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        // A run that never named an FPU.
        fprintf(stderr, "[%s]", call(arm_asm_auto_mfpu, {"arch", "armv4"}).c_str());
        exit(0);
      },
      testing::ExitedWithCode(0), "\\[-mfpu=softvfp\\]");

  EXPECT_EQ(call(arm_asm_auto_mfpu, {"arch", "armv7-a+neon-vfpv4"}), "-mfpu=neon-vfpv4");
  EXPECT_EQ(call(arm_asm_auto_mfpu, {"arch", "armv7-a+vfpv3-d16"}), "-mfpu=vfpv3-d16");
  EXPECT_EQ(call(arm_asm_auto_mfpu, {"arch", "armv4"}), "-mfpu=vfpv3-d16");
  EXPECT_EQ(call(arm_asm_auto_mfpu, {"arch", "armv6kz+fp"}), "-mfpu=vfp");
  EXPECT_EQ(call(arm_asm_auto_mfpu, {"arch", "armv8-a", "arch", "armv8.1-m.main+mve.fp"}),
            "-mfpu=fpv5-sp-d16");
  std::string err = messages_of(
      [] { EXPECT_EQ(call(arm_asm_auto_mfpu, {"arch", "armv7-b"}), ""); });
  EXPECT_NE(err.find("unrecognized -march target: armv7-b"), std::string::npos) << err;
}

// Whatever pair of extensions a user writes, the automatic FPU choice finds
// an FPU row (or the set has MVE) and never fails its consistency check.
TEST(ArmAutoFpu, NeverFailsForAnyPairOfExtensions)
{
  for (const arm_arch *arch = arm_arch_table; arch->name; arch++) {
    if (!arch->extensions)
      continue;
    for (const arm_extension *a = arch->extensions; a->name; a++)
      for (const arm_extension *b = arch->extensions; b->name; b++) {
        std::string option = std::string(arch->name) + "+" + a->name + "+" + b->name;
        std::string result = call(arm_asm_auto_mfpu, {"arch", option.c_str()});
        ASSERT_EQ(result.compare(0, 6, "-mfpu="), 0) << option;
      }
  }
}

TEST(ArmSpecFunctions, TargetModeCheck)
{
  const canon_case cases[] = {
    {{"arch", "armv7-m"}, "-mthumb"},
    {{"arch", "armv7-a"}, "-marm"},
    {{"cpu", "cortex-m3"}, "-mthumb"},
    {{"cpu", "cortex-a9+nofp"}, "-marm"},
    {{}, "-marm"},
    {{"arch", "armv9z"}, "-marm"},
    {{"cpu", "cortex-q1"}, "-marm"},
    {{"arch", "armv8-m.main+dsp"}, "-mthumb"},
    // The architecture decides when both are given; the last of each wins.
    {{"cpu", "cortex-m0", "arch", "armv6"}, "-marm"},
    {{"arch", "armv6", "arch", "armv6-m"}, "-mthumb"},
  };
  for (const canon_case &c : cases) {
    std::string err = messages_of([&] {
      EXPECT_EQ(call(arm_target_mode_check_spec, c.words), c.expected)
          << (c.words.empty() ? "none" : c.words[1]);
    });
    EXPECT_EQ(err, "");
  }
}

TEST(ArmSpecFunctions, Be8LinkOption)
{
  const canon_case cases[] = {
    {{}, ""},
    {{"big", "arch", "armv6"}, "--be8"},
    {{"big", "arch", "armv5te"}, ""},
    {{"big", "arch", "armv7-a+neon"}, "--be8"},
    {{"little", "be8", "arch", "armv7-a"}, ""},
    {{"big", "little", "arch", "armv7-a"}, ""},
    {{"big", "be8", "arch", "armv4"}, "--be8"},
    {{"big"}, ""},
  };
  for (const canon_case &c : cases)
    EXPECT_EQ(call(arm_be8_option, c.words), c.expected);
}

TEST(ArmSpecFunctions, RewritesGiveACopyOfTheLastOperand)
{
  char operand[] = "cortex-a53";
  const char *words[] = {"ignored", operand};
  const char *result = arm_rewrite_mcpu(2, words);
  strcpy(operand, "overwrite");
  EXPECT_STREQ(result, "cortex-a53");
  EXPECT_EQ(call(arm_rewrite_march, {"armv8-a+crc"}), "armv8-a+crc");
}

struct fatal_case {
  spec_function function;
  std::vector<const char *> words;
  const char *message;
};

// Operand lists come from spec files that users may write: malformed ones are
// fatal errors, never internal ones.
TEST(ArmSpecFunctions, MalformedOperandsAreFatal)
{
  const fatal_case cases[] = {
    {arm_canon_arch_spec, {"arch"}, "takes 1 or more pairs of parameters"},
    {arm_canon_arch_spec, {}, "takes 1 or more pairs of parameters"},
    {arm_canon_arch_spec, {"fpu", "vfp", "abi", "soft"}, "needs an 'arch' or 'cpu' parameter"},
    {arm_canon_arch_multilib_spec, {"tune", "x"}, "unrecognized operand to %:'canon_for_mlib'"},
    {arm_target_mode_check_spec, {"arch"}, "takes an even number of parameters"},
    {arm_target_mode_check_spec, {"fpu", "vfp"}, "unrecognized option passed to %:"},
    {arm_asm_auto_mfpu, {"cpu", "cortex-a9"}, "unrecognized operand to %:'asm_auto_mfpu'"},
    {arm_asm_auto_mfpu, {}, "needs an 'arch' parameter"},
    {arm_asm_auto_mfpu, {"arch"}, "takes pairs of parameters"},
    {arm_be8_option, {"big", "arch"}, "needs a value after 'arch'"},
    {arm_be8_option, {"big", "be9"}, "unrecognized operand 'be9'"},
    {arm_rewrite_mcpu, {}, "%:'rewrite_mcpu' takes one or more parameters"},
    {arm_rewrite_march, {}, "%:'rewrite_march' takes one or more parameters"},
  };
  for (const fatal_case &c : cases) {
    std::string pattern;
    for (const char *p = c.message; *p; p++) {
      if (strchr("\\^$.|?*+()[]{}'", *p))
        pattern += *p == '\'' ? ".{1,3}" : std::string("\\") + *p;
      else
        pattern += *p;
    }
    EXPECT_EXIT(call(c.function, c.words), testing::ExitedWithCode(1), "fatal error: .*" + pattern)
        << c.message;
  }
}

TEST(ArmCompilerHelpers, SelectedArchKeepsNonFpuExtensionsSorted)
{
  EXPECT_STREQ(arm_rewrite_selected_arch("armv7-a+simd+sec+mp"), "armv7-a+mp+sec");
  EXPECT_STREQ(arm_rewrite_selected_arch("armv8-a+sb+crc+crypto"), "armv8-a+crc+sb");
  const char *plain = "armv7ve";
  EXPECT_EQ(arm_rewrite_selected_arch(plain), plain);
}

TEST(ArmCompilerHelpers, BaseName)
{
  EXPECT_STREQ(arm_base_name("cortex-a15.cortex-a7"), "cortex-a15");
  EXPECT_STREQ(arm_base_name("armv8.1-m.main"), "armv8");
  EXPECT_STREQ(arm_base_name("armv7-a+neon"), "armv7-a");
  EXPECT_STREQ(arm_base_name("abcdefghijklmnopqrstuvwxyz"), "abcdefghijklmnopqrst");
}

} // namespace
