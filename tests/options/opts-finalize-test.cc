// A compiler's last passes over its options: optimisation-level defaults and
// the consistency pass; with the struct-debug parser and recorded switches.
#include "options/opts-utils.h"

#include "tests/options/option-session.h"

#include <gtest/gtest.h>

namespace {

// Decodes WORDS (after a program name) for a C compiler and runs the level
// defaults, then reads the options themselves, as a compiler does.
struct compiler_run : option_session {
  std::vector<decoded_option> decoded;

  std::string start(std::vector<const char *> words)
  {
    words.insert(words.begin(), "tolm");
    words.push_back(nullptr);
    decoded.assign(1, decoded_option{});
    for (size_t i = 1; words[i];) {
      decoded_option d;
      i += decode_cmdline_option(&words[i], mask | FLAG_COMMON | FLAG_TARGET, &d);
      decoded.push_back(d);
    }
    apply_level_defaults(&opts, &set, decoded.data(), static_cast<unsigned>(decoded.size()), 0,
                         mask, &handlers, &global_diagnostic_state);
    for (size_t i = 1; i < decoded.size(); i++)
      read_cmdline_option(&opts, &set, &decoded[i], 0, mask, &handlers,
                          &global_diagnostic_state);
    return reported();
  }

  std::string finish()
  {
    finalize_options(&opts, &set, 0);
    return reported();
  }
};

TEST(LevelDefaults, Levels)
{
  struct {
    std::vector<const char *> words;
    int level, size, fast, debug;
    int gcse, cost_model, fast_math, section_anchors;
  } cases[] = {
      {{}, 0, 0, 0, 0, 0, 0, 0, 0},
      {{"-O"}, 1, 0, 0, 0, 0, 0, 0, 1},
      {{"-O1"}, 1, 0, 0, 0, 0, 0, 0, 1},
      {{"-O2"}, 2, 0, 0, 0, 1, -3, 0, 1},
      {{"-O3"}, 3, 0, 0, 0, 1, -1, 0, 1},
      {{"-O300"}, 255, 0, 0, 0, 1, -1, 0, 1},
      {{"-Ofast"}, 3, 0, 1, 0, 1, -1, 1, 1},
      {{"-Os"}, 2, 1, 0, 0, 1, -3, 0, 1},
      {{"-Oz"}, 2, 2, 0, 0, 1, -3, 0, 1},
      {{"-Og"}, 1, 0, 0, 1, 0, 0, 0, 1},
      {{"-O3", "-O0"}, 0, 0, 0, 0, 0, 0, 0, 0},
      {{"-Os", "-O2"}, 2, 0, 0, 0, 1, -3, 0, 1},
  };
  for (const auto &c : cases) {
    compiler_run run;
    std::string name = c.words.empty() ? "(none)" : c.words.back();
    EXPECT_EQ(run.start(c.words), "") << name;
    EXPECT_EQ(run.opts.optimize, c.level) << name;
    EXPECT_EQ(run.opts.optimize_size, c.size) << name;
    EXPECT_EQ(run.opts.optimize_fast, c.fast) << name;
    EXPECT_EQ(run.opts.optimize_debug, c.debug) << name;
    EXPECT_EQ(run.opts.var_fgcse, c.gcse) << name;
    EXPECT_EQ(run.opts.var_fvect_cost_model_eq, c.cost_model) << name;
    EXPECT_EQ(run.opts.var_funsafe_math_optimizations, c.fast_math) << name;
    EXPECT_EQ(run.opts.var_fsection_anchors, c.section_anchors) << name;  // the target's table
    // Defaults never count as explicit.
    EXPECT_EQ(run.set.var_fgcse, 0) << name;
  }
}

TEST(LevelDefaults, ExplicitOptionsWinAndBadLevels)
{
  {
    compiler_run run;
    EXPECT_EQ(run.start({"-fno-gcse", "-O2", "-Os1"}),
              "vuz: error: argument to '-O' should be a non-negative integer, 'g', 's', 'z' or "
              "'fast'\n");
    EXPECT_EQ(run.opts.optimize, 2);
    EXPECT_EQ(run.opts.var_fgcse, 0);
    EXPECT_EQ(run.opts.var__param_eq_max_fields_for_field_sensitive_eq, 100);
    // Parameters of a level that does not apply keep their defaults.
    EXPECT_EQ(run.opts.var__param_eq_max_inline_insns_single_eq, 70);
  }
  {
    compiler_run run;
    run.start({"-Og"});
    EXPECT_EQ(run.opts.var__param_eq_max_combine_insns_eq, 2);
    EXPECT_EQ(run.opts.var_fdse, 0);
  }
}

TEST(Finalize, PicPieAndInlining)
{
  struct {
    std::vector<const char *> words;
    int pic, pie, shlib;
  } cases[] = {
      {{}, 0, 0, 0},
      {{"-fpic"}, 1, 0, 1},
      {{"-fPIC"}, 2, 0, 1},
      {{"-fPIE"}, 2, 2, 0},
      {{"-fpie", "-fPIC"}, 1, 1, 0},
      {{"-fno-PIC"}, 0, 0, 0},
  };
  for (const auto &c : cases) {
    compiler_run run;
    run.start(c.words);
    EXPECT_EQ(run.finish(), "");
    EXPECT_EQ(run.opts.var_fPIC, c.pic);
    EXPECT_EQ(run.opts.var_fPIE, c.pie);
    EXPECT_EQ(run.opts.flag_shlib, c.shlib);
    EXPECT_EQ(run.opts.var_finline, 1);  // level 0: no inlining
    EXPECT_EQ(run.opts.var_fstack_protector, 0);
  }
}

TEST(Finalize, Reports)
{
  struct {
    std::vector<const char *> words;
    const char *reported;
  } cases[] = {
      {{"-O2", "-fno-unit-at-a-time", "-fsection-anchors"},
       "vuz: error: section anchors must be disabled when unit-at-a-time is disabled\n"},
      {{"-O2", "-fno-unit-at-a-time", "-ftoplevel-reorder"},
       "vuz: error: toplevel reorder must be disabled when unit-at-a-time is disabled\n"},
      {{"-O2", "-funit-at-a-time", "-fno-toplevel-reorder", "-fsection-anchors"},
       "vuz: error: section anchors must be disabled when toplevel reorder is disabled\n"},
      {{"-fsplit-stack"},
       "vuz: error: '-fsplit-stack' is not supported by this compiler configuration\n"},
      {{"-fsanitize=pointer-compare"},
       "vuz: error: '-fsanitize=pointer-compare' must be combined with '-fsanitize=address' or "
       "'-fsanitize=kernel-address'\n"},
      {{"-fsanitize=thread,address"},
       "vuz: error: '-fsanitize=thread' is incompatible with '-fsanitize=address'\n"},
      {{"-fsanitize=leak,thread"},
       "vuz: error: '-fsanitize=leak' is incompatible with '-fsanitize=thread'\n"},
      {{"-fsanitize=address,kernel-address"},
       "vuz: error: '-fsanitize=address' is incompatible with '-fsanitize=kernel-address'\n"},
      {{"-fsanitize=address", "-fsanitize-recover=thread"},
       "vuz: error: '-fsanitize-recover=thread' is not supported\n"},
      {{"-fsanitize=address", "-fstack-reuse=all"},
       "vuz: error: '-fsanitize-address-use-after-scope' requires '-fstack-reuse=none' option\n"},
      {{"-flto", "-fno-fat-lto-objects", "-fno-use-linker-plugin", "-gsplit-dwarf"},
       "vuz: error: '-fno-fat-lto-objects' are supported only with linker plugin\n"
       "vuz: note: '-gsplit-dwarf' is not supported with LTO, disabling\n"},
      {{"-flto", "-flive-patching=inline-clone"},
       "vuz: error: live patching is not supported with LTO\n"},
      {{"-flive-patching=inline-only-static", "-fipa-cp", "-fipa-modref"},
       "vuz: error: '-fipa-cp' is incompatible with '-flive-patching=inline-only-static'\n"
       "vuz: error: '-fipa-modref' is incompatible with "
       "'-flive-patching=inline-only-static|inline-clone'\n"},
      {{"-fvar-tracking"},
       "vuz: warning: variable tracking requested, but useless unless producing debug info\n"},
      {{"-gctf", "-fvar-tracking"},
       "vuz: warning: variable tracking requested, but not supported by this debug format\n"},
      {{"-g", "-O2", "-fvar-tracking"}, ""},
  };
  for (const auto &c : cases) {
    compiler_run run;
    EXPECT_EQ(run.start(c.words), "") << c.words[0];
    EXPECT_EQ(run.finish(), c.reported) << c.words.back();
  }
}

TEST(Finalize, Settlements)
{
  {
    compiler_run run;
    run.start({"-O2", "-fsanitize=null", "-funroll-loops", "-fcx-limited-range", "-gtoggle",
               "-dumpdir", "out/", "-dumpbase", "a"});
    run.finish();
    EXPECT_EQ(run.opts.var_fdelete_null_pointer_checks, 0);
    EXPECT_EQ(run.opts.var_faggressive_loop_optimizations, 0);
    EXPECT_EQ(run.opts.var_funroll_completely_grow_size, 1);
    EXPECT_EQ(run.opts.flag_complex_method, 0);
    EXPECT_EQ(run.opts.debug_info_level, 2);
    EXPECT_EQ(run.opts.write_symbols, static_cast<int>(DEBUG_FORMAT_DWARF));
    EXPECT_EQ(run.opts.var_gstatement_frontiers, 1);
    EXPECT_STREQ(run.opts.var_dumpbase, "out/a");
    // Only once.
    run.finish();
    EXPECT_STREQ(run.opts.var_dumpbase, "out/a");
  }
  {
    compiler_run run;
    run.start({"-O2", "-ftree-loop-vectorize", "-fsyntax-only", "-g", "-p"});
    run.finish();
    EXPECT_EQ(run.opts.var_fvect_cost_model_eq, -2);
    EXPECT_EQ(run.opts.write_symbols, 0);
    EXPECT_EQ(run.opts.var_p, 0);
  }
}

TEST(StructDebug, Detail)
{
  option_session session;
  parse_struct_debug_detail(&session.opts, "dir:sys,ind:ord:base", 0);
  EXPECT_EQ(session.reported(), "");
  EXPECT_EQ(session.opts.debug_struct_ordinary[1], 2);
  EXPECT_EQ(session.opts.debug_struct_ordinary[2], 1);
  EXPECT_EQ(session.opts.debug_struct_generic[1], 2);
  EXPECT_EQ(session.opts.debug_struct_generic[2], 0);

  parse_struct_debug_detail(&session.opts, "any", 0);
  for (int u = 0; u < 3; u++)
    EXPECT_EQ(session.opts.debug_struct_generic[u], 3);
  parse_struct_debug_detail(&session.opts, "gen:dfn:none", 0);
  EXPECT_EQ(session.reported(),
            "vuz: error: argument 'dfn:none' to '-femit-struct-debug-detailed' not recognized\n"
            "vuz: error: argument 'dfn:none' to '-femit-struct-debug-detailed' unknown\n");
  parse_struct_debug_detail(&session.opts, "dir:none,ind:any", 0);
  EXPECT_EQ(session.reported(),
            "vuz: error: '-femit-struct-debug-detailed=dir:...' must allow at least as much as "
            "'-femit-struct-debug-detailed=ind:...'\n");
}

TEST(RecordedSwitches, WhatIsLeftOut)
{
  compiler_run run;
  run.start({"-O2", "-Wall", "-I", "inc", "-DX=1", "-fdump-tree-all", "-g", "-flto=8", "-v",
             "-march=armv7-a", "-fdiagnostics-color=never", "-MD", "-print-file-name=x",
             "-pthread", "-fPIC"});
  char *text = recorded_switches_text(run.decoded.data(), static_cast<unsigned>(run.decoded.size()));
  EXPECT_STREQ(text, "-O2 -g -flto -march=armv7-a -fPIC");
  free(text);
  text = producer_text("C++", run.decoded.data(), 3);
  EXPECT_STREQ(text, "C++ 12.4.0 -O2");
  free(text);
}

TEST(FastMath, InEffect)
{
  compiler_run run;
  run.start({"-ffast-math"});
  EXPECT_TRUE(fast_math_in_effect(&run.opts));
  run.read({"-fsigned-zeros"});
  EXPECT_FALSE(fast_math_in_effect(&run.opts));
}

}  // namespace
