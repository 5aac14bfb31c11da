// The ARM target's hook record and the trivial hook bodies.
#include "options/target-hooks.h"

#include "options/option-codes.h"
#include "options/option-decode.h"
#include "options/option-values.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TargetHooks, ArmRecord)
{
  option_values opts = option_values_defaults;
  option_values twin{};
  decoded_option decoded{};
  decoded.option_index = OPT_fsection_anchors;
  EXPECT_TRUE(target_hooks.handle_option(&opts, &twin, &decoded, 0));
  target_hooks.option_init_struct(&opts);
  EXPECT_EQ(memcmp(&opts, &option_values_defaults, sizeof opts), 0);

  const level_default_entry *table = target_hooks.option_optimization_table;
  EXPECT_EQ(table[0].option_index, uint64_t(OPT_fsection_anchors));
  EXPECT_EQ(table[1].option_index, uint64_t(OPT_fsched_pressure));
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(table[i].level_class, 3);
    EXPECT_EQ(table[i].value, 1);
    EXPECT_EQ(table[i].argument, nullptr);
  }
  EXPECT_EQ(table[2].level_class, 0);

  EXPECT_EQ(target_hooks.default_target_flags, 0xa000u);
  EXPECT_FALSE(target_hooks.supports_split_stack(&opts, true));
  EXPECT_EQ(target_hooks.get_valid_option_values(OPT_fsection_anchors, ""), nullptr);
  EXPECT_EQ(target_hooks.unwind_tables_default, 0);
  EXPECT_EQ(target_hooks.have_named_sections, 1);
  EXPECT_EQ(target_hooks.always_strip_dotdot, 0);
}

TEST(TargetHooks, UnwindInfoFollowsExceptionsAndUnwindTables)
{
  const struct {
    int exceptions, unwind_tables;
    unwind_info_kind kind;
  } cases[] = {
    {0, 0, UI_NONE},
    {1, 0, UI_TARGET},
    {0, 1, UI_TARGET},
    {1, 1, UI_TARGET},
  };
  for (const auto &c : cases) {
    option_values opts = option_values_defaults;
    opts.var_fexceptions = c.exceptions;
    opts.var_funwind_tables = c.unwind_tables;
    EXPECT_EQ(target_hooks.except_unwind_info(&opts), c.kind)
        << c.exceptions << " " << c.unwind_tables;
  }
}

TEST(TargetHooks, TrivialBodies)
{
  EXPECT_EQ((hook_return_zero<const char *, int>(7)), nullptr);
  EXPECT_EQ((hook_return_int<2, const char *>("x")), 2);
  EXPECT_EQ((hook_return_first<long, int>(41L, 3)), 41L);
  EXPECT_TRUE((hook_true_if_third_zero<int, int, int>(5, 6, 0)));
  EXPECT_FALSE((hook_true_if_third_zero<int, int, int>(0, 0, 1)));
  EXPECT_DEATH(hook_int_rtx_insn_unreachable(nullptr),
               "in hook_int_rtx_insn_unreachable, at hooks:246");
}

} // namespace
