// The record's initial state and the options that other options imply.
#include "options/opts.h"

#include "tests/options/option-session.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(InitOptions, TargetDefaultsAndFreshTwin)
{
  option_session session;
  EXPECT_EQ(session.opts.target_flags, 0xa000);
  EXPECT_EQ(session.opts.var_gdwarf_, 5);
  EXPECT_EQ(session.opts.var_fsigned_char, 0);
  EXPECT_EQ(session.opts.var_fshort_enums, 2);
  EXPECT_EQ(session.opts.var_funwind_tables, 0);
  EXPECT_EQ(session.opts.var_fPIC, -1);
  EXPECT_EQ(session.opts.var__param_eq_max_inline_insns_single_eq, 70);
  // Reinitialising forgets what the command line set.
  session.read({"-mthumb", "-fPIC"});
  init_options_struct(&session.opts, &session.set);
  EXPECT_EQ(session.opts.target_flags, 0xa000);
  EXPECT_EQ(session.set.target_flags, 0);
  EXPECT_EQ(session.set.var_fPIC, 0);
}

// The program's own records start as constant data; their first set-up must
// leave them as a set-up record elsewhere is, and a later one must forget a
// run's changes.
TEST(InitOptions, GlobalRecordsMatchAFreshRecord)
{
  option_session session;
  init_options_struct(&global_options, &global_options_set);
  const option_values zero{};
  EXPECT_EQ(memcmp(&global_options, &session.opts, sizeof global_options), 0);
  EXPECT_EQ(memcmp(&global_options_set, &zero, sizeof zero), 0);

  global_options.target_flags = 16;
  global_options.var_fsigned_char = 1;
  global_options.var__param_eq_max_inline_insns_single_eq = 7;
  global_options_set.var_fPIC = 1;
  init_options_struct(&global_options, &global_options_set);
  EXPECT_EQ(memcmp(&global_options, &session.opts, sizeof global_options), 0);
  EXPECT_EQ(memcmp(&global_options_set, &zero, sizeof zero), 0);
}

struct implied_case {
  std::vector<const char *> words;
  size_t option;
  int32_t value;
};

// The variable of a plain integer option.
int32_t variable_of(option_values *opts, size_t option)
{
  return *static_cast<int32_t *>(option_variable_address(option, opts));
}

class Implied : public testing::TestWithParam<implied_case> {};

TEST_P(Implied, ValueAfterTheCommandLine)
{
  const implied_case &c = GetParam();
  option_session session;
  EXPECT_EQ(session.read(c.words), "");
  EXPECT_EQ(variable_of(&session.opts, c.option), c.value) << option_rows[c.option].text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Implied,
    testing::Values(
        implied_case{{"-Wextra"}, OPT_Wunused_parameter, 0},
        implied_case{{"-Wextra"}, OPT_Wsign_compare, 1},
        implied_case{{"-Wextra"}, OPT_Wmaybe_uninitialized, 1},  // through -Wuninitialized
        implied_case{{"-Wunused", "-Wextra"}, OPT_Wunused_parameter, 1},
        implied_case{{"-Wextra", "-Wunused"}, OPT_Wunused_parameter, 1},
        implied_case{{"-Wunused"}, OPT_Wunused_parameter, 0},
        implied_case{{"-Wunused"}, OPT_Wunused_variable, 1},
        implied_case{{"-Wno-unused-parameter", "-Wunused", "-Wextra"}, OPT_Wunused_parameter, 0},
        implied_case{{"-Wextra", "-Wno-extra"}, OPT_Wsign_compare, 0},
        implied_case{{"-Wno-sign-compare", "-Wextra"}, OPT_Wsign_compare, 0},
        implied_case{{"-Wshadow"}, OPT_Wshadow_eq_compatible_local, 1},
        implied_case{{"-funroll-all-loops"}, OPT_fweb, 1},
        implied_case{{"-funroll-all-loops"}, OPT_frename_registers, 1},
        implied_case{{"-fno-web", "-funroll-all-loops"}, OPT_fweb, 0},
        implied_case{{"-fno-unroll-loops", "-funroll-all-loops"}, OPT_frename_registers, 0},
        implied_case{{"-ftree-vectorize"}, OPT_ftree_slp_vectorize, 1},
        implied_case{{"-fnon-call-exceptions"}, OPT_fexceptions, 1},
        implied_case{{"-fvar-tracking-uninit"}, OPT_fvar_tracking, 1}));

TEST(Implied, ImpliedValuesStayImplicit)
{
  option_session session;
  session.read({"-funroll-all-loops"});
  EXPECT_EQ(session.set.var_funroll_loops, 0);
  EXPECT_EQ(session.set.var_fweb, 0);
  // So a later, weaker trigger still reaches them.
  session.read({"-fno-unroll-loops"});
  EXPECT_EQ(session.opts.var_fweb, 0);
}

TEST(Implied, LanguageRoutines)
{
  option_session session(1u << 8);  // LTO
  decoded_option wall;
  const char *words[] = {"-Wall", nullptr};
  decode_cmdline_option(words, session.mask | FLAG_COMMON, &wall);
  EXPECT_TRUE(language_option_auto[8](&session.opts, &session.set, &wall, session.mask, 0, 0,
                                      &session.handlers, &global_diagnostic_state));
  EXPECT_EQ(session.opts.var_Wstringop_overflow_eq, 2);
  EXPECT_EQ(session.opts.var_Wnonnull, 1);
  EXPECT_TRUE(language_option_auto[0](&session.opts, &session.set, &wall, session.mask, 0, 0,
                                      &session.handlers, &global_diagnostic_state));

  decoded_option format;
  const char *format_words[] = {"-Wformat=2", nullptr};
  decode_cmdline_option(format_words, session.mask | FLAG_COMMON, &format);
  session.opts.var_Wformat_eq = 0;
  language_option_auto[8](&session.opts, &session.set, &format, session.mask, 0, 0,
                          &session.handlers, &global_diagnostic_state);
  EXPECT_EQ(session.opts.var_Wformat_truncation_eq, 0);
  session.opts.var_Wformat_eq = 2;
  language_option_auto[8](&session.opts, &session.set, &format, session.mask, 0, 0,
                          &session.handlers, &global_diagnostic_state);
  EXPECT_EQ(session.opts.var_Wformat_truncation_eq, 1);
}

}  // namespace
