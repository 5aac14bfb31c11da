// The environment manager: exports, their "-v" echo, and restoring.
#include "driver/env-manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

// Each test starts from a manager with both flags off and nothing saved.
class EnvManager : public testing::Test {
protected:
  void SetUp() override
  {
    env.init(false, false);
    env.verbose_flag = nullptr;
    vec_release(env.saved);
    unsetenv("ENV_TEST_A");
    unsetenv("ENV_TEST_B");
  }
  void TearDown() override
  {
    env.verbose_flag = nullptr;
    unsetenv("ENV_TEST_A");
    unsetenv("ENV_TEST_B");
  }
  // xput keeps the text itself, so each test's texts live as long as the
  // process, reachable from here even after the environment lets go of them
  // (restore frees those exported while old values are kept).
  static char *text(const std::string &s)
  {
    static auto *given = new std::vector<char *>;  // never destroyed
    given->push_back(strdup(s.c_str()));
    return given->back();
  }
};

std::string value_of(const char *name)
{
  const char *value = getenv(name);
  return value ? value : "(unset)";
}

}  // namespace

TEST_F(EnvManager, ExportIsSeenByGetenv)
{
  char *assignment = text("ENV_TEST_A=one");
  env.xput(assignment);
  EXPECT_STREQ(env.getenv("ENV_TEST_A"), "one");
  EXPECT_EQ(env.getenv("ENV_TEST_B"), nullptr);
  EXPECT_TRUE(vec_empty(env.saved));  // nothing is remembered by default
}

// How many entries of the environment a child would get carry NAME.
int entries_named(const char *name)
{
  size_t length = strlen(name);
  int count = 0;
  for (char **e = environ; *e; e++)
    count += strncmp(*e, name, length) == 0 && (*e)[length] == '=';
  return count;
}

// Exports land in the environment itself, as the children inherit it, also
// when the C library changes it between them: a name is never there twice,
// a removed one stays removed, and many new names all arrive.
TEST_F(EnvManager, ExportsShareTheEnvironmentWithTheCLibrary)
{
  char *first = text("ENV_TEST_A=1");
  env.xput(first);
  env.xput(text("ENV_TEST_A=2"));
  EXPECT_EQ(entries_named("ENV_TEST_A"), 1);
  EXPECT_EQ(value_of("ENV_TEST_A"), "2");
  // A name that begins like another is a name of its own.
  env.xput(text("ENV_TEST=short"));
  EXPECT_EQ(value_of("ENV_TEST_A"), "2");
  EXPECT_EQ(value_of("ENV_TEST"), "short");

  unsetenv("ENV_TEST_A");
  setenv("ENV_TEST_B", "from the library", 1);
  env.xput(text("ENV_TEST_C=after"));
  EXPECT_EQ(value_of("ENV_TEST_A"), "(unset)");
  EXPECT_EQ(value_of("ENV_TEST_B"), "from the library");
  EXPECT_EQ(value_of("ENV_TEST_C"), "after");

  std::vector<std::string> names;
  for (int i = 0; i < 40; i++) {
    names.push_back("ENV_TEST_MANY_" + std::to_string(i));
    env.xput(text(names.back() + "=" + std::to_string(i)));
  }
  for (int i = 0; i < 40; i++) {
    EXPECT_EQ(value_of(names[i].c_str()), std::to_string(i));
    EXPECT_EQ(entries_named(names[i].c_str()), 1);
    unsetenv(names[i].c_str());
  }
  EXPECT_EQ(value_of("ENV_TEST_C"), "after");
  unsetenv("ENV_TEST");
  unsetenv("ENV_TEST_C");
}

TEST_F(EnvManager, VerboseEchoesEachExport)
{
  int verbose = 0;
  env.verbose_flag = &verbose;
  testing::internal::CaptureStderr();
  env.xput(text("ENV_TEST_A=quiet"));
  verbose = 1;
  env.xput(text("VRESK_VUZ_OPTIONS='-c' '-v'"));
  env.xput(text("ENV_TEST_B="));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "VRESK_VUZ_OPTIONS='-c' '-v'\nENV_TEST_B=\n");
  unsetenv("VRESK_VUZ_OPTIONS");
}

TEST_F(EnvManager, RestoreUndoesExportsInReverseOrder)
{
  env.init(true, false);
  setenv("ENV_TEST_A", "before", 1);
  env.xput(text("ENV_TEST_A=first"));
  env.xput(text("ENV_TEST_A=second"));
  env.xput(text("ENV_TEST_B=new"));
  env.xput(text("ENV_TEST_B=newer"));
  EXPECT_EQ(value_of("ENV_TEST_A"), "second");
  EXPECT_EQ(value_of("ENV_TEST_B"), "newer");
  env.restore();
  EXPECT_EQ(value_of("ENV_TEST_A"), "before");
  EXPECT_EQ(value_of("ENV_TEST_B"), "(unset)");
  EXPECT_TRUE(vec_empty(env.saved));

  // A second round starts from nothing saved.
  env.xput(text("ENV_TEST_B=again"));
  env.restore();
  EXPECT_EQ(value_of("ENV_TEST_B"), "(unset)");
}

// A default for a variable the caller may have set: kept when set, restored
// to unset when not, and never echoed.
TEST_F(EnvManager, DefaultsAreRestoredWithoutAnEcho)
{
  env.init(true, false);
  int verbose = 1;
  env.verbose_flag = &verbose;
  setenv("ENV_TEST_A", "given", 1);
  testing::internal::CaptureStderr();
  env.set_if_unset("ENV_TEST_A", "default");
  env.set_if_unset("ENV_TEST_B", "default");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(value_of("ENV_TEST_A"), "given");
  EXPECT_EQ(value_of("ENV_TEST_B"), "default");
  env.restore();
  EXPECT_EQ(value_of("ENV_TEST_A"), "given");
  EXPECT_EQ(value_of("ENV_TEST_B"), "(unset)");
}

TEST_F(EnvManager, DebugTraces)
{
  env.init(true, true);
  setenv("ENV_TEST_A", "old", 1);
  testing::internal::CaptureStderr();
  env.getenv("ENV_TEST_B");
  env.xput(text("ENV_TEST_A=new"));
  env.getenv("ENV_TEST_A");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "env_manager::getenv (ENV_TEST_B) -> (null)\n"
            "env_manager::xput (ENV_TEST_A=new)\n"
            "saving old value: old\n"
            "env_manager::getenv (ENV_TEST_A) -> new\n");
  testing::internal::CaptureStdout();
  env.restore();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "restoring saved key: ENV_TEST_A value: old\n");
}

TEST_F(EnvManager, MisuseIsAnInternalError)
{
  EXPECT_DEATH(env.restore(), "internal compiler error");
  env.init(true, false);
  EXPECT_DEATH(env.xput(text("NO_EQUALS_SIGN")), "internal compiler error");
}
