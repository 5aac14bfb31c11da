// The common option handler: its reports, its effects on the option-set
// record and on the diagnostic context, and its list parsers.
#include "options/opts.h"

#include "options/opts-utils.h"
#include "tests/options/option-session.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct handler_case {
  unsigned mask;
  std::vector<const char *> words;
  const char *reported;
};

class HandlerReports : public testing::TestWithParam<handler_case> {};

TEST_P(HandlerReports, ExactTexts)
{
  const handler_case &c = GetParam();
  option_session session(c.mask);
  EXPECT_EQ(session.read(c.words), c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HandlerReports,
    testing::Values(
        handler_case{FLAG_DRIVER, {"-fsanitize=all"},
                     "vuz: error: '-fsanitize=all' option is not valid\n"},
        handler_case{FLAG_DRIVER, {"-fsanitize=adress"},
                     "vuz: error: unrecognized argument to '-fsanitize=' option: 'adress'; did "
                     "you mean 'address'?\n"},
        handler_case{FLAG_DRIVER, {"-fsanitize=address,,qqqqqqqqqq,thread"},
                     "vuz: error: unrecognized argument to '-fsanitize=' option: 'qqqqqqqqqq'\n"},
        handler_case{lang_c, {"-fno-sanitize=threa"},
                     "vuz: error: unrecognized argument to '-fno-sanitize=' option: 'threa'; did "
                     "you mean 'thread'?\n"},
        handler_case{lang_c, {"-fsanitize-recover=alll"},
                     "vuz: error: unrecognized argument to '-fsanitize-recover=' option: "
                     "'alll'; did you mean 'all'?\n"},
        handler_case{FLAG_DRIVER, {"-gdwarf-6"},
                     "vuz: error: dwarf version 6 is not supported\n"},
        handler_case{FLAG_DRIVER, {"-g4"}, "vuz: error: debug output level '4' is too high\n"},
        handler_case{FLAG_DRIVER, {"-gz=zlib", "-gz"}, ""},
        handler_case{FLAG_DRIVER, {"-gfoo"},
                     "vuz: error: unrecognized debug output level 'foo'\n"},
        handler_case{FLAG_DRIVER, {"-gdwarf-4", "-gstabs"},
                     "vuz: error: debug format 'stabs' conflicts with prior selection\n"},
        handler_case{FLAG_DRIVER, {"-gdwarf-4", "-gctf", "-g"}, ""},
        handler_case{FLAG_DRIVER, {"-gbtf1"},
                     "vuz: error: unrecognized btf debug output level '1'\n"},
        handler_case{FLAG_DRIVER, {"-gdwarf3"},
                     "vuz: error: '-gdwarf3' is ambiguous; use '-gdwarf-3' for DWARF version or "
                     "'-gdwarf' '-g3' for debug level\n"},
        handler_case{lang_c, {"-fpack-struct=3"},
                     "vuz: error: structure alignment must be a small power of two, not 3\n"},
        handler_case{lang_c, {"-falign-functions=1:2:3:4:5"},
                     "vuz: error: invalid number of arguments for '-falign-functions' option: "
                     "'1:2:3:4:5'\n"},
        handler_case{lang_c, {"-falign-loops=8:+4"},
                     "vuz: error: invalid arguments for '-falign-loops' option: '8:+4'\n"},
        handler_case{lang_c, {"-falign-jumps=65537"},
                     "vuz: error: '-falign-jumps' is not between 0 and 65536\n"},
        handler_case{lang_c, {"-falign-labels=99999999999999999999"},
                     "vuz: error: invalid arguments for '-falign-labels' option: "
                     "'99999999999999999999'\n"},
        handler_case{lang_c, {"-falign-labels=16:8::4"}, ""},
        handler_case{lang_c, {"-fpatchable-function-entry=3,4"},
                     "vuz: error: invalid arguments for '-fpatchable-function-entry'\n"},
        handler_case{lang_c, {"-fpatchable-function-entry=65536"},
                     "vuz: error: invalid arguments for '-fpatchable-function-entry'\n"},
        handler_case{lang_c, {"-fpatchable-function-entry=x,y"},
                     "vuz: error: invalid arguments for '-fpatchable-function-entry'\n"},
        handler_case{lang_c, {"-fpatchable-function-entry=5,2"}, ""},
        handler_case{lang_c, {"-Wattributes=vendor::"},
                     "vuz: error: arguments ignored for '-Wattributes='; use '-Wno-attributes=' "
                     "instead\n"},
        handler_case{lang_c, {"-Wno-attributes=a,"},
                     "vuz: error: trailing ',' in arguments for '-Wno-attributes='\n"},
        handler_case{lang_c, {"-fcallgraph-info=su,xx"},
                     "vuz: error: unrecognized command-line option '-fcallgraph-info=su,xx'\n"},
        handler_case{lang_c, {"-frandom-seed", "-fno-random-seed"},
                     "vuz: error: unrecognized command-line option '-frandom-seed'\n"},
        handler_case{lang_c, {"-dAq"}, "vuz: warning: unrecognized vuz debugging option: q\n"},
        handler_case{lang_c, {"-fstack-check=maybe"},
                     "vuz: warning: unknown stack check parameter 'maybe'\n"},
        handler_case{lang_c, {"-flto=many"},
                     "vuz: error: unrecognized argument to '-flto=' option: 'many'\n"},
        handler_case{lang_c, {"-flto=auto", "-flto=8", "-flto=jobserver"}, ""},
        handler_case{lang_c, {"-foffload-abi=ilp32"},
                     "vuz: error: '-foffload-abi' option can be specified only for offload "
                     "compiler\n"},
        handler_case{lang_c, {"-fzero-call-used-regs=skip"},
                     "vuz: error: unrecognized argument to '-fzero-call-used-regs=': 'skip'\n"},
        handler_case{lang_c, {"-fzero-call-used-regs=used-gpr"}, ""}));

TEST(CommonHandler, DriverLeavesCompilerQueriesAlone)
{
  {
    option_session driver(FLAG_DRIVER);
    EXPECT_EQ(driver.read({"--help", "--target-help", "--version"}), "");
    EXPECT_EQ(driver.opts.exit_after_options, 0);
    driver.read({"--help=optimizers"});
    EXPECT_EQ(driver.opts.exit_after_options, 1);
    ASSERT_GE(vec_length(help_option_arguments), 1u);
    EXPECT_STREQ(help_option_arguments->last(), "optimizers");
  }
  option_session compiler;
  compiler.read({"--version"});
  EXPECT_EQ(compiler.opts.exit_after_options, 1);
}

TEST(CommonHandler, SanitizerMasks)
{
  {
    option_session session(FLAG_DRIVER);
    session.read({"-fsanitize=address", "-fno-sanitize=kernel-address"});
    EXPECT_EQ(session.opts.flag_sanitize & 0x7, 0x3);
    session.read({"-fno-sanitize=all"});
    EXPECT_EQ(session.opts.flag_sanitize, 0);
  }

  option_session compiler;
  compiler.read({"-fsanitize-recover=all"});
  EXPECT_EQ(compiler.opts.flag_sanitize_recover & 0x7ffff6e7, 0x7ffff6e7);
  compiler.read({"-fno-sanitize-recover"});
  EXPECT_EQ(static_cast<uint32_t>(compiler.opts.flag_sanitize_recover) & ~0xfc00001fu, 0u);
  compiler.read({"-fsanitize-recover=undefined"});
  EXPECT_EQ(compiler.opts.flag_sanitize_recover & 0x03ffffe0, 0x37e76e0);
}

TEST(CommonHandler, KernelAddressTurnsOffUnsetAsanParameters)
{
  option_session session;
  session.read({"--param=asan-stack=1", "-fsanitize=kernel-address"});
  EXPECT_EQ(session.opts.var__param_eq_asan_stack_eq, 1);
  EXPECT_EQ(session.opts.var__param_eq_asan_globals_eq, 0);
  EXPECT_EQ(session.opts.var__param_eq_asan_instrumentation_with_call_threshold_eq, 0);
}

TEST(CommonHandler, DebugSelection)
{
  {
    option_session session(FLAG_DRIVER);
    session.read({"-g"});
    EXPECT_EQ(session.opts.write_symbols, 0x4);
    EXPECT_EQ(session.opts.debug_info_level, 2);
    EXPECT_EQ(session.set.write_symbols, 0);
    session.read({"-gdwarf-6"});
    EXPECT_EQ(session.set.write_symbols, 0x4);
    session.read({"-g1"});
    EXPECT_EQ(session.opts.debug_info_level, 1);
  }

  option_session ctf(FLAG_DRIVER);
  ctf.read({"-gctf", "-g"});
  EXPECT_EQ(ctf.opts.write_symbols, 0x24);
  EXPECT_EQ(ctf.opts.ctf_debug_info_level, 2);
  EXPECT_EQ(ctf.opts.debug_info_level, 2);
  ctf.read({"-gbtf"});
  EXPECT_EQ(ctf.opts.write_symbols, 0x40);
}

TEST(CommonHandler, DiagnosticContextFields)
{
  option_session session;
  diagnostic_state *dc = &global_diagnostic_state;
  session.read({"-Werror", "-Wfatal-errors", "-fmax-errors=9", "-fno-diagnostics-show-caret",
                "-fdiagnostics-show-cwe", "-fdiagnostics-show-location=every-line",
                "-fdiagnostics-parseable-fixits", "-ftabstop=4", "-freport-bug", "-w",
                "-Wsystem-headers", "-fmessage-length=60", "-fdiagnostics-column-origin=0"});
  EXPECT_TRUE(dc->werror_all);
  EXPECT_TRUE(dc->fatal_errors);
  EXPECT_EQ(dc->max_errors, 9u);
  EXPECT_FALSE(dc->show_caret);
  EXPECT_TRUE(dc->show_cwe);
  EXPECT_EQ(dc->printer->prefixing_rule, PP_PREFIX_EVERY_LINE);
  EXPECT_EQ(dc->parseable_fixits, 1u);
  EXPECT_EQ(dc->tab_stop, 4u);
  EXPECT_TRUE(dc->report_bug);
  EXPECT_TRUE(dc->no_warnings);
  EXPECT_TRUE(dc->warn_in_system_headers);
  EXPECT_EQ(dc->printer->line_cutoff, 60);
  EXPECT_EQ(dc->caret_line_width, 59);
  EXPECT_EQ(dc->column_origin, 0);
  // Tab stops outside 1 to 100 are ignored.
  session.read({"-ftabstop=0", "-ftabstop=101"});
  EXPECT_EQ(dc->tab_stop, 4u);
  session.read({"-Wno-error", "-Wno-fatal-errors"});
  EXPECT_FALSE(dc->werror_all);
  EXPECT_FALSE(dc->fatal_errors);
}

TEST(CommonHandler, DiagnosticsFormatSwitchesTheContextToJson)
{
  option_session session;
  diagnostic_state *dc = &global_diagnostic_state;
  const diagnostic_state saved = *dc;
  session.read({"-fdiagnostics-format=text"});
  EXPECT_EQ(dc->on_end, saved.on_end);
  session.read({"-fdiagnostics-format=json"});
  EXPECT_NE(dc->on_end, saved.on_end);
  EXPECT_NE(dc->on_final, saved.on_final);
  EXPECT_FALSE(dc->show_option);
  // Back to text, so that the end of the test prints no JSON array.
  dc->on_begin = saved.on_begin;
  dc->on_end = saved.on_end;
  dc->on_group_begin = saved.on_group_begin;
  dc->on_group_end = saved.on_group_end;
  dc->on_final = saved.on_final;
}

TEST(CommonHandler, PedanticErrorsClassifyAndEnable)
{
  option_session session;
  session.read({"-pedantic-errors"});
  EXPECT_TRUE(global_diagnostic_state.pedantic_errors);
  EXPECT_EQ(global_diagnostic_state.option_kinds[OPT_Wpedantic], DK_ERROR);
  EXPECT_EQ(session.opts.var_Wpedantic, 1);
  // And -Wpedantic's own implication follows.
  EXPECT_EQ(session.opts.var_Wexpansion_to_defined, 1);
}

TEST(CommonHandler, AlignmentValues)
{
  option_session session;
  session.read({"-falign-functions=0"});
  EXPECT_EQ(session.opts.var_falign_functions, 1);
  EXPECT_EQ(session.opts.var_falign_functions_eq, nullptr);
  session.read({"-falign-loops=16:8"});
  EXPECT_STREQ(session.opts.var_falign_loops_eq, "16:8");

  vec<int> *values = nullptr;
  EXPECT_TRUE(parse_align_values("32:7:16:3", "jumps", &values, false, 0));
  ASSERT_EQ(vec_length(values), 4u);
  EXPECT_EQ((*values)[1], 7);
  vec_release(values);
  EXPECT_FALSE(parse_align_values("::", "jumps", &values, false, 0));
  vec_release(values);
}

TEST(CommonHandler, MathAndProfileSettings)
{
  {
    option_session session;
    session.read({"-ffast-math"});
    EXPECT_EQ(session.opts.var_funsafe_math_optimizations, 1);
    EXPECT_EQ(session.opts.var_ftrapping_math, 0);
    EXPECT_EQ(session.opts.var_fmath_errno, 0);
    EXPECT_EQ(session.opts.var_ffinite_math_only, 1);
    EXPECT_EQ(session.opts.var_fcx_limited_range, 1);
    session.opts.frontend_set_fmath_errno = 1;
    session.read({"-fno-fast-math"});
    EXPECT_EQ(session.opts.var_funsafe_math_optimizations, 0);
    EXPECT_EQ(session.opts.var_fsigned_zeros, 1);
    EXPECT_EQ(session.opts.var_fmath_errno, 0);  // claimed by the front end
  }

  option_session profile;
  profile.read({"-fno-peel-loops", "-fprofile-use=/tmp/prof"});
  EXPECT_STREQ(profile.opts.var_fprofile_dir_eq, "/tmp/prof");
  EXPECT_EQ(profile.opts.var_fprofile_use, 1);
  EXPECT_EQ(profile.opts.var_fbranch_probabilities, 1);
  EXPECT_EQ(profile.opts.var_fpeel_loops, 0);
  EXPECT_EQ(profile.opts.var_fipa_cp_clone, 1);
  EXPECT_EQ(profile.opts.var_fvect_cost_model_eq, -1);
}

TEST(CommonHandler, RelatedVariables)
{
  option_session session;
  session.read({"-Wstrict-aliasing", "-Wstrict-overflow", "-fcallgraph-info=su,da",
                "--param=max-inline-insns-auto=5", "-finline-limit=100", "-fpack-struct=8",
                "-ftrapv", "-fwrapv", "-fsched-stalled-insns=0", "-dAPx"});
  EXPECT_EQ(session.opts.var_Wstrict_aliasing_eq, 3);
  EXPECT_EQ(session.opts.var_Wstrict_overflow_eq, 2);
  EXPECT_EQ(session.opts.var_fcallgraph_info, 6);
  EXPECT_EQ(session.opts.flag_stack_usage_info, 1);
  EXPECT_EQ(session.opts.var__param_eq_max_inline_insns_single_eq, 50);
  EXPECT_EQ(session.opts.var__param_eq_max_inline_insns_auto_eq, 5);
  EXPECT_EQ(session.opts.initial_max_fld_align, 8);
  EXPECT_EQ(session.opts.var_ftrapv, 0);
  EXPECT_EQ(session.opts.var_fwrapv, 1);
  EXPECT_EQ(session.opts.var_fsched_stalled_insns_eq, -1);
  EXPECT_EQ(session.opts.flag_debug_asm, 1);
  EXPECT_EQ(session.opts.flag_dump_rtl_in_asm, 1);
  EXPECT_EQ(session.opts.flag_print_asm_name, 1);
  EXPECT_EQ(session.opts.rtl_dump_and_exit, 1);
  session.read({"-fno-strict-overflow", "-flto", "-Wno-attributes=vendor::a\\,b,x::y"});
  EXPECT_EQ(session.opts.var_fwrapv_pointer, 1);
  EXPECT_STREQ(session.opts.var_flto_eq, "");
  ASSERT_EQ(vec_length(session.opts.flag_ignored_attributes), 2u);
  EXPECT_STREQ((*session.opts.flag_ignored_attributes)[0], "vendor::a,b");
  EXPECT_STREQ((*session.opts.flag_ignored_attributes)[1], "x::y");
}

TEST(CommonHandler, CommaListItems)
{
  option_session session;
  struct {
    const char *text;
    std::vector<std::string> items;
  } cases[] = {
      {"a,b", {"a", "b"}},
      {"a,", {"a"}},
      {",a", {"", "a"}},
      {"a,,b", {"a", "", "b"}},
      {"x\\,y\\z", {"x,y\\z"}},
      {"", {}},
  };
  for (const auto &c : cases) {
    vec<char *> *list = nullptr;
    add_comma_list(&list, c.text);
    std::vector<std::string> items;
    for (unsigned i = 0; i < vec_length(list); i++)
      items.push_back((*list)[i]);
    EXPECT_EQ(items, c.items) << c.text;
    vec_release(list);
  }
}

// Every language-independent row is either acted on or has a variable to
// store into, under the driver's mask and a compiler's.
TEST(CommonHandler, EveryCommonRowIsHandled)
{
  for (unsigned mask : {unsigned(FLAG_DRIVER), lang_c}) {
    option_session session(mask);
    for (size_t index = 0; index < option_count; index++) {
      const option_descriptor *row = &option_rows[index];
      if (!(row->flags & FLAG_COMMON) || row->alias_target != OPTION_NONE)
        continue;
      if (mask == FLAG_DRIVER && !(row->flags & FLAG_DRIVER))
        continue;
      // Whole help pages are tested elsewhere.
      if (index == OPT__help || index == OPT__target_help)
        continue;
      decoded_option decoded;
      const unsigned decode_mask = mask == FLAG_DRIVER ? mask : mask | FLAG_COMMON;
      generate_option(index, (row->flags & FLAG_JOINED) ? "1" : nullptr, 1, decode_mask,
                      &decoded);
      session.read_decoded(decoded);
      global_diagnostic_state.fatal_errors = false;
      global_diagnostic_state.max_errors = 0;
    }
    EXPECT_TRUE(session.wrong_language.empty());
    session.reported();
  }
}

TEST(CommonHandler, PatchAreaNumbers)
{
  option_session session;
  int64_t entries, offset;
  parse_patch_area("7,3", false, &entries, &offset);
  EXPECT_EQ(entries, 7);
  EXPECT_EQ(offset, 3);
  parse_patch_area("12", false, &entries, &offset);
  EXPECT_EQ(entries, 12);
  EXPECT_EQ(offset, 0);
  parse_patch_area(nullptr, true, &entries, &offset);
  EXPECT_EQ(entries, 0);
  EXPECT_EQ(session.reported(), "");
}

}  // namespace
