// Reading decoded options: the reports of what decoding found wrong, the
// stored values and the explicitly-set twin, generated options and warning
// control, all through the real decoder and handler set.
#include "options/opts.h"

#include "tests/options/option-session.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct report_case {
  unsigned mask;
  std::vector<const char *> words;
  const char *reported;
};

class Reports : public testing::TestWithParam<report_case> {};

TEST_P(Reports, ExactTexts)
{
  const report_case &c = GetParam();
  option_session session(c.mask);
  EXPECT_EQ(session.read(c.words), c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Reports,
    testing::Values(
        report_case{FLAG_DRIVER, {"-fbogus"}, "vuz: error: unrecognized command-line option '-fbogus'\n"},
        report_case{FLAG_DRIVER, {"-fcilkplus"}, ""},
        report_case{FLAG_DRIVER, {"-fmudflap"}, "vuz: warning: switch '-fmudflap' is no longer supported\n"},
        report_case{FLAG_DRIVER, {"-fno-mudflap"}, ""},
        report_case{lang_cxx,
                    {"-fhandle-exceptions"},
                    "vuz: warning: '-fhandle-exceptions' has been renamed '-fexceptions' (and is "
                    "now on by default)\n"},
        report_case{FLAG_DRIVER, {"-o"}, "vuz: error: missing filename after '-o'\n"},
        report_case{lang_c, {"-fkeep-inline-dllexport"},
                    "vuz: error: command-line option '-fkeep-inline-dllexport' is not supported "
                    "by this configuration\n"},
        report_case{lang_c, {"-fmax-errors=x"},
                    "vuz: error: argument to '-fmax-errors=' should be a non-negative integer\n"},
        report_case{lang_c, {"-Wlarger-than=12XB"},
                    "vuz: error: argument to '-Wlarger-than=' should be a non-negative integer "
                    "optionally followed by a size unit\n"},
        report_case{lang_c, {"--param=align-threshold=0"},
                    "vuz: error: argument to '--param=align-threshold=' is not between 1 and "
                    "65536\n"},
        report_case{lang_c, {"-fmax-errors=3000000000"},
                    "vuz: error: argument to '-fmax-errors=' is bigger than 2147483647\n"},
        // Unsigned values from 2^63 up must not pass as negative numbers.
        report_case{lang_c, {"-fmax-errors=9223372036854775808"},
                    "vuz: error: argument to '-fmax-errors=' is bigger than 2147483647\n"},
        report_case{lang_c, {"-fmax-errors=18446744073709551615"},
                    "vuz: error: argument to '-fmax-errors=' is bigger than 2147483647\n"},
        report_case{lang_c, {"-Wbidi-chars=any,none"},
                    "vuz: error: invalid argument in option '-Wbidi-chars=any,none'\n"
                    "vuz: note: 'any' is mutually exclusive with 'none' and cannot be specified "
                    "together\n"},
        report_case{lang_c, {"-Wbidi-chars=any,any"},
                    "vuz: error: invalid argument in option '-Wbidi-chars=any,any'\n"
                    "vuz: note: 'any' specified multiple times in the same option\n"},
        report_case{lang_c, {"-Wbidi-chars=unpaired,ucn,none"},
                    "vuz: error: invalid argument in option '-Wbidi-chars=unpaired,ucn,none'\n"
                    "vuz: note: 'unpaired' is mutually exclusive with 'none' and cannot be "
                    "specified together\n"},
        report_case{FLAG_DRIVER, {"-fdiagnostics-color=bogus"},
                    "vuz: error: unrecognized argument in option '-fdiagnostics-color=bogus'\n"
                    "vuz: note: valid arguments to '-fdiagnostics-color=' are: always auto never\n"},
        report_case{FLAG_DRIVER, {"-fdiagnostics-color=alwys"},
                    "vuz: error: unrecognized argument in option '-fdiagnostics-color=alwys'\n"
                    "vuz: note: valid arguments to '-fdiagnostics-color=' are: always auto "
                    "never; did you mean 'always'?\n"},
        report_case{lang_c, {"-Werror=unused-vairable"},
                    "vuz: error: '-Werror=unused-vairable': no option '-Wunused-vairable'; did "
                    "you mean '-Wunused-variable'?\n"},
        report_case{lang_c, {"-Wno-error=zzzzzzzzzzzz"},
                    "vuz: error: '-Wno-error=zzzzzzzzzzzz': no option '-Wzzzzzzzzzzzz'\n"},
        report_case{lang_c, {"-Werror=fatal-errors"},
                    "vuz: error: '-Werror=fatal-errors': '-Wfatal-errors' is not an option that "
                    "controls warnings\n"},
        report_case{lang_c, {"-Werror=return-type", "-Werror=all"}, ""}));

TEST(ReadOption, WrongLanguageGoesToItsCallback)
{
  option_session session(FLAG_DRIVER);
  EXPECT_EQ(session.read({"-Wall", "-fmax-errors=3"}), "");
  EXPECT_EQ(session.wrong_language, (std::vector<std::string>{"-Wall", "-fmax-errors=3"}));
  EXPECT_EQ(session.opts.var_fmax_errors_eq, 0);
}

TEST(ReadOption, RefusedValueLeavesTheVariable)
{
  option_session session;
  session.read({"-fmax-errors=7", "-fmax-errors=3000000000"});
  EXPECT_EQ(session.opts.var_fmax_errors_eq, 7);
}

TEST(StoreValue, EachVariableKindAndItsTwin)
{
  option_session session;
  EXPECT_EQ(session.read({"-fpic", "-o", "out.o", "-mthumb", "-mno-thumb-interwork",
                          "-fdiagnostics-color=never"}),
            "");
  // Equal rows share one variable.
  EXPECT_EQ(session.opts.var_fPIC, 1);
  EXPECT_EQ(session.set.var_fPIC, 1);
  session.read({"-fPIC"});
  EXPECT_EQ(session.opts.var_fPIC, 2);
  session.read({"-fno-PIC"});
  EXPECT_EQ(session.opts.var_fPIC, 0);

  EXPECT_STREQ(session.opts.var_o, "out.o");
  EXPECT_STREQ(session.set.var_o, "");

  // Bits of target_flags: the twin records every bit touched.
  EXPECT_EQ(session.opts.target_flags, 0x2000 | 16);
  EXPECT_EQ(session.set.target_flags, 16 | 0x8000);
  EXPECT_EQ(session.opts.var_fdiagnostics_color_eq, 0);
  EXPECT_EQ(session.set.var_fdiagnostics_color_eq, 1);
}

TEST(StoreValue, EnumSetKeepsTheOtherSets)
{
  option_session session;
  const int initial = session.opts.var_Wbidi_chars_eq;
  session.read({"-Wbidi-chars=ucn"});
  const int with_ucn = session.opts.var_Wbidi_chars_eq;
  EXPECT_NE(with_ucn, initial);
  // Replacing the first set keeps the ucn bit of the second.
  session.read({"-Wbidi-chars=none"});
  session.read({"-Wbidi-chars=any"});
  int any_only;
  ASSERT_TRUE(opt_enum_arg_to_value(OPT_Wbidi_chars_eq, "any", &any_only, lang_c));
  int ucn_only;
  ASSERT_TRUE(opt_enum_arg_to_value(OPT_Wbidi_chars_eq, "ucn", &ucn_only, lang_c));
  EXPECT_EQ(session.opts.var_Wbidi_chars_eq, any_only | ucn_only);
}

TEST(StoreValue, DeferredOptionsCollectInOrder)
{
  option_session session;
  session.read({"-fdump-tree-all", "-ffixed-r4"});
  vec<deferred_option> *list = session.opts.deferred_options;
  ASSERT_EQ(vec_length(list), 2u);
  EXPECT_EQ((*list)[0].option_index, OPT_fdump_);
  EXPECT_STREQ((*list)[0].argument, "tree-all");
  EXPECT_EQ((*list)[1].option_index, OPT_ffixed_);
  EXPECT_STREQ((*list)[1].argument, "r4");
  EXPECT_EQ(session.set.deferred_options, list);
}

TEST(GeneratedOption, NeverCountsAsExplicit)
{
  option_session session;
  apply_generated_option(&session.opts, &session.set, OPT_Wunused_parameter, nullptr, 1,
                         session.mask, DK_UNSPECIFIED, UNKNOWN_LOCATION, &session.handlers, true,
                         &global_diagnostic_state);
  EXPECT_EQ(session.opts.var_Wunused_parameter, 1);
  EXPECT_EQ(session.set.var_Wunused_parameter, 0);
  session.read({"-Wno-unused-parameter"});
  EXPECT_EQ(session.opts.var_Wunused_parameter, 0);
  EXPECT_EQ(session.set.var_Wunused_parameter, 1);
}

TEST(WarningControl, ErrorForAJoinedWarningAlsoEnablesItsLevel)
{
  option_session session;
  EXPECT_EQ(session.read({"-Werror=format=2"}), "");
  EXPECT_EQ(session.opts.var_Wformat_eq, 2);
  EXPECT_EQ(session.set.var_Wformat_eq, 1);
  EXPECT_EQ(global_diagnostic_state.option_kinds[OPT_Wformat_eq], DK_ERROR);
  // The negative form only reclassifies.
  session.read({"-Wno-error=return-type"});
  EXPECT_EQ(global_diagnostic_state.option_kinds[OPT_Wreturn_type], DK_WARNING);
  EXPECT_EQ(session.set.var_Wreturn_type, 0);
}

TEST(WarningControl, NonWarningAndBadArguments)
{
  option_session session;
  EXPECT_EQ(session.read({"-Werror=format=x"}),
            "vuz: error: argument to '-Wformat=' should be a non-negative integer\n");
  EXPECT_EQ(session.read({"-Werror=bidi-chars=sometimes"}),
            "vuz: error: argument 'sometimes' to '-Wbidi-chars' not recognized\n"
            "vuz: note: valid arguments to '-Wbidi-chars=' are: any none ucn unpaired\n");
}

TEST(WarningControl, AbsentArgumentIsReportedNotDereferenced)
{
  option_session session;
  apply_werror_option(nullptr, 1, session.mask, &session.handlers, &session.opts, &session.set,
                      UNKNOWN_LOCATION, &global_diagnostic_state);
  EXPECT_EQ(session.reported(), "vuz: error: missing argument to '-Werror='\n");
}

TEST(OptionState, EnabledStateAndView)
{
  option_session session;
  session.read({"-Wunused-variable", "-mthumb", "-o", "a.out"});
  EXPECT_EQ(option_enabled_state(OPT_Wunused_variable, lang_c, &session.opts), 1);
  EXPECT_EQ(option_enabled_state(OPT_Wunused_label, lang_c, &session.opts), 0);
  EXPECT_EQ(option_enabled_state(OPT_Wimplicit, 1u << 6, &session.opts), 0);
  EXPECT_EQ(option_enabled_state(OPT_mthumb, lang_c, &session.opts), 1);
  EXPECT_EQ(option_enabled_state(OPT_mthumb_interwork, lang_c, &session.opts), 1);
  EXPECT_EQ(option_enabled_state(OPT_fhandle_exceptions, lang_c, &session.opts), 0);

  option_state_view view;
  ASSERT_TRUE(read_option_state(&session.opts, OPT_mthumb, &view));
  EXPECT_EQ(view.size, 1u);
  EXPECT_EQ(*static_cast<const unsigned char *>(view.data), 1);
  ASSERT_TRUE(read_option_state(&session.opts, OPT_o, &view));
  EXPECT_STREQ(static_cast<const char *>(view.data), "a.out");
  EXPECT_EQ(view.size, 6u);
  ASSERT_TRUE(read_option_state(&session.opts, OPT_Wlarger_than_eq, &view));
  EXPECT_EQ(view.size, 8u);
  // An equal row shows its variable, not a state.
  session.read({"-fPIC"});
  ASSERT_TRUE(read_option_state(&session.opts, OPT_fpic, &view));
  EXPECT_EQ(view.size, 4u);
  EXPECT_EQ(*static_cast<const int32_t *>(view.data), 2);
  EXPECT_FALSE(read_option_state(&session.opts, OPT_fdump_, &view));
  EXPECT_FALSE(read_option_state(&session.opts, OPT_fhandle_exceptions, &view));
}

}  // namespace
