// The spec interpreter and its conditions over a fixed switch table.
#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/specs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct SpecTest : testing::Test {
  void SetUp() override
  {
    static bool ready;
    if (!ready) {
      init_option_obstack();
      diagnostic_state_init(&global_diagnostic_state, option_count);
      ready = true;
    }
    // Each case starts from the records of a fresh run.
    command = command_state();
    obstack_init_pool(&spec_expansion.spec_obstack);
    obstack_init_pool(&spec_expansion.collect_obstack);
    terminate_switch_table();
    spec_expansion.output_names = static_cast<const char **>(calloc(4, sizeof(char *)));
    set_current_input("dir/x.c");
  }

  void TearDown() override
  {
    reset_temp_names();
    reset_driver_options();
    reset_switch_table();
    reset_spec_interpreter();
  }

  // Switches given as they would be written, e.g. "-fpic", "-o", "out".
  void switches_of(std::vector<std::vector<const char *>> list)
  {
    for (auto &words : list)
      record_switch(words[0], static_cast<int>(words.size()) - 1, words.data() + 1, false, true);
  }

  std::vector<std::string> expand(const char *spec)
  {
    begin_spec_expansion();
    EXPECT_EQ(do_spec_1(spec, false, nullptr), 0);
    finish_word();
    std::vector<std::string> words;
    for (uint32_t i = 0; i < vec_length(spec_expansion.argbuf); i++)
      words.push_back((*spec_expansion.argbuf)[i]);
    return words;
  }
};

using words = std::vector<std::string>;

}  // namespace

TEST_F(SpecTest, WordsAndEscapes)
{
  EXPECT_EQ(expand("a|b"), (words{"a", "|b"}));
  EXPECT_EQ(expand("a | b"), (words{"a", "|", "b"}));
  EXPECT_EQ(expand("a\\ b"), (words{"a b"}));
  EXPECT_EQ(expand("x%\"y"), (words{"x", "", "y"}));
  EXPECT_EQ(expand("%% y"), (words{"%", "y"}));
}

TEST_F(SpecTest, CopyFormKeepsCommandLineOrder)
{
  switches_of({{"-Ib"}, {"-v"}, {"-Ia"}});
  EXPECT_EQ(expand("%{v} %{I*}"), (words{"-v", "-Ib", "-Ia"}));
  EXPECT_EQ(expand("%{I*&v}"), (words{"-Ib", "-v", "-Ia"}));
}

TEST_F(SpecTest, TestFormChoices)
{
  const char *startfile = "%{static:crtbeginT.o;shared|pie:crtbeginS.o;:crtbegin.o}";
  EXPECT_EQ(expand(startfile), (words{"crtbegin.o"}));
  switches_of({{"-pie"}});
  EXPECT_EQ(expand(startfile), (words{"crtbeginS.o"}));
  switches_of({{"-static"}});
  EXPECT_EQ(expand(startfile), (words{"crtbeginT.o"}));
}

TEST_F(SpecTest, AlternativesExpandOnce)
{
  switches_of({{"-fPIC"}, {"-fpic"}});
  EXPECT_EQ(expand("%{fpie|fPIE|fpic|fPIC:-k}"), (words{"-k"}));
}

TEST_F(SpecTest, LaterNegativeFormCancels)
{
  switches_of({{"-fpic"}, {"-fno-pic"}});
  EXPECT_EQ(expand("%{fpic:yes}%{!fpic:no}"), (words{"no"}));
}

TEST_F(SpecTest, OnlyTheLastOptimisationLevelIsLive)
{
  switches_of({{"-O1"}, {"-O2"}});
  // A starred match on one character does not test liveness.
  EXPECT_EQ(expand("%{O*}"), (words{"-O1", "-O2"}));
  EXPECT_EQ(expand("%{O1:one}%{O2:two}"), (words{"two"}));
  // Once tested, the earlier level stays dead.
  EXPECT_EQ(expand("%{O*}"), (words{"-O2"}));
}

TEST_F(SpecTest, StarredBodyOncePerMatchingSwitch)
{
  switches_of({{"-mcpu=cortex-a9"}});
  EXPECT_EQ(expand("%{mcpu=*:-x%*}"), (words{"-xcortex-a9"}));
}

TEST_F(SpecTest, SeparateDefineMatchesTheMacroTest)
{
  const char *further[] = {"FOO"};
  record_switch("-D", 1, further, false, true);
  EXPECT_EQ(expand("%{DFOO:yes}"), (words{"yes"}));
  EXPECT_EQ(expand("%{D*}"), (words{"-D", "FOO"}));
}

TEST_F(SpecTest, SuffixAndLanguageTests)
{
  EXPECT_EQ(expand("%{.c:c-suffix}%{.cc:cc-suffix}"), (words{"c-suffix"}));
  compiler_entry row = {"@c++", "", nullptr, 0, 0};
  current_input.current_compiler = &row;
  EXPECT_EQ(expand("%{,c++:lang}"), (words{"lang"}));
}

TEST_F(SpecTest, OutputNameFromTheInputBase)
{
  switches_of({{"-c"}});
  EXPECT_EQ(expand("%{c:-o %w%b%O}"), (words{"-o", "x.o"}));
  EXPECT_STREQ(spec_expansion.output_names[0], "x.o");
}

TEST_F(SpecTest, RepeatedLinkerOptionIsSkippedAlone)
{
  EXPECT_EQ(expand("a %x{-z} b %x{-z} c"), (words{"a", "b", "c"}));
  EXPECT_EQ(vec_length(driver_settings.ld_option_list), 1u);
}

TEST_F(SpecTest, RemovedSwitchesAreNotCopied)
{
  switches_of({{"-dumpdir"}, {"-v"}});
  EXPECT_EQ(expand("%<dumpdir %{dumpdir} %{v}"), (words{"-v"}));
}

TEST_F(SpecTest, SpecFunctionInTheMiddleOfAWord)
{
  EXPECT_EQ(expand("-x%:if-exists-else(/no/such/file y)"), (words{"-xy"}));
}

// A value's every character is escaped, so that it stays one word; an unset
// variable stands for itself under a bare query, ahead of the suffix too.
TEST_F(SpecTest, GetenvValueThenSuffix)
{
  setenv("SPEC_TEST_HOME", "/h b", 1);
  unsetenv("SPEC_TEST_UNSET");
  EXPECT_EQ(expand("%:getenv(SPEC_TEST_HOME /x) y"), (words{"/h b/x", "y"}));
  command.queries_only = true;
  EXPECT_EQ(expand("%:getenv(SPEC_TEST_UNSET /x)"), (words{"/SPEC_TEST_UNSET/x"}));
  command.queries_only = false;
  unsetenv("SPEC_TEST_HOME");
}

// Libraries named by "-lNAME", by "-l" and the next word, or by an archive
// name; a "-l" with no word after it names none.
TEST_F(SpecTest, PassThroughLibs)
{
  EXPECT_EQ(expand("%:pass-through-libs(-lm libx.a foo.o -l c -l)"),
            (words{"-plugin-opt=-pass-through=-lm", "-plugin-opt=-pass-through=libx.a",
                   "-plugin-opt=-pass-through=-lc"}));
}

TEST_F(SpecTest, VersionCompare)
{
  EXPECT_EQ(expand("%:version-compare(>= 10.5 mmacosx-version-min= -lx)"), words{});
  EXPECT_EQ(expand("%:version-compare(< 10.5 mmacosx-version-min= -lx)"), (words{"-lx"}));
  switches_of({{"-mmacosx-version-min=10.6"}});
  EXPECT_EQ(expand("%:version-compare(>= 10.5 mmacosx-version-min= -lx)"), (words{"-lx"}));
}

TEST_F(SpecTest, GreaterThan)
{
  const char *spec = "%{%:gt(%{ftree-parallelize-loops=*:%*} 1):yes}";
  EXPECT_EQ(expand(spec), words{});  // one word only
  switches_of({{"-ftree-parallelize-loops=1"}});
  EXPECT_EQ(expand(spec), words{});
  saved_switches.switch_count = 0;
  switches_of({{"-ftree-parallelize-loops=4"}});
  EXPECT_EQ(expand(spec), (words{"yes"}));
}

TEST_F(SpecTest, TemporaryNamesAreSharedOrUnique)
{
  words g = expand("%g.s %g.s %u.s %u.s %U.s");
  ASSERT_EQ(g.size(), 5u);
  EXPECT_EQ(g[0], g[1]);              // %g of one suffix is one file
  EXPECT_NE(g[2], g[3]);              // each %u is a new file
  EXPECT_EQ(g[4], g[3]);              // %U repeats the last %u
  EXPECT_NE(g[0], g[2]);
  EXPECT_EQ(g[0].substr(g[0].size() - 2), ".s");
  words o = expand("%g%O");
  EXPECT_EQ(o[0].substr(o[0].size() - 2), ".o");
  unlink(o[0].c_str());
  // Every one of them is deleted at the end of the run.
  for (const std::string &name : g) {
    bool listed = false;
    for (temp_file_node *n = temp_files.always_delete_list; n; n = n->next)
      listed = listed || name == n->name;
    EXPECT_TRUE(listed) << name;
    unlink(name.c_str());
  }
}

TEST_F(SpecTest, SaveTempsNamesAndTheInputGuard)
{
  char dir[] = "/tmp/spec-testXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string here = dir;
  char previous[4096];
  ASSERT_TRUE(getcwd(previous, sizeof previous));
  ASSERT_EQ(chdir(dir), 0);
  command.save_temps_mode = SAVE_TEMPS_ON;
  set_current_input("sub/a.c");
  EXPECT_EQ(expand("%g.s"), (words{"a.s"}));
  command.dump_dir = const_cast<char *>("out/");
  command.dump_dir_length = 4;
  command.aux_base = const_cast<char *>("p");
  command.aux_base_length = 1;
  EXPECT_EQ(expand("%g.s"), (words{"out/p.s"}));
  command.dump_dir = nullptr;
  command.dump_dir_length = 0;
  command.aux_base = nullptr;
  command.aux_base_length = 0;
  // An input named like the result gets a real temporary file instead.
  FILE *f = fopen("a.s", "w");
  ASSERT_TRUE(f);
  fclose(f);
  set_current_input("a.s");
  words w = expand("%g.s");
  ASSERT_EQ(w.size(), 1u);
  EXPECT_NE(w[0], "a.s");
  unlink(w[0].c_str());
  command.save_temps_mode = SAVE_TEMPS_OFF;
  unlink("a.s");
  ASSERT_EQ(chdir(previous), 0);
  rmdir(dir);
}

TEST(SpecDeathTest, MalformedConditionsAreFatal)
{
  struct Case {
    const char *spec;
    const char *message;
  } cases[] = {
      {"%{a", "braced spec"},
      {"%{a:%*}", "braced spec body"},
      {"%{!a&b}", "is invalid at"},
      {"%", "spec '%' invalid"},
      {"%:nosuch(x)", "unknown spec function 'nosuch'"},
      // Names found by their length: a shorter, a longer, or one that differs
      // only in its last byte names no function.
      {"%:if-exist(x)", "unknown spec function 'if-exist'"},
      {"%:if-existsx(x)", "unknown spec function 'if-existsx'"},
      {"%:if-existz(x)", "unknown spec function 'if-existz'"},
      {"%:canon_arch_multilibs(x)", "unknown spec function 'canon_arch_multilibs'"},
      {"%:version-compare(>= 01.2 mmacosx-version-min= b)", "invalid version number '01.2'"},
      {"%:getenv(SPEC_TEST_UNSET_TOO /x)", "environment variable 'SPEC_TEST_UNSET_TOO' not defined"},
      // Spec files are user input: a malformed call is a spec error, not an internal one.
      {"%:replace-outfile(a)", "wrong number of arguments to %:replace-outfile"},
      {"%:gt()", "wrong number of arguments to %:gt"},
      {"%:gt(a 1)", "invalid number 'a' in %:gt"},
      // As the spec fuzz target found it: a command would run from inside the call.
      {"%:gt(1\n2 3)", "has a line break inside a spec function call"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.spec);
    auto run = [&c] {
      diagnostic_state_init(&global_diagnostic_state, option_count);
      obstack_init_pool(&spec_expansion.spec_obstack);
      obstack_init_pool(&spec_expansion.collect_obstack);
      record_switch("-mmacosx-version-min=1", 0, nullptr, false, true);
      begin_spec_expansion();
      do_spec_1(c.spec, false, nullptr);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(1), c.message);
  }
}

// The report names the innermost spec that did most of the work itself: not
// the small one at the bottom where the budget ran out, nor the outer one
// that only includes it.
TEST(SpecDeathTest, TooMuchWorkNamesTheSpecThatDidIt)
{
  auto run = [] {
    diagnostic_state_init(&global_diagnostic_state, option_count);
    obstack_init_pool(&spec_expansion.spec_obstack);
    obstack_init_pool(&spec_expansion.collect_obstack);
    // Just short of the interpreter's budget of 1 << 24 steps, which the
    // included spec then crosses.
    std::string big(((size_t)1 << 24) - 100, 'x');
    define_spec("leaf", std::string(200, 'y').c_str(), true);
    define_spec("big", (big + "%(leaf)").c_str(), true);
    define_spec("outer", "%(big)", true);
    begin_spec_expansion();
    do_spec_1("%(outer)", false, nullptr);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "spec 'big' expands to too much text");
}
