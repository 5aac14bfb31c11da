// The preprocessor driver's edits of the decoded command line.
#include "diagnostics/diagnostic.h"
#include "lang-driver-cases.h"

#include <gtest/gtest.h>

using words = std::vector<std::string>;

TEST(PrepDriver, Edits)
{
  struct Case {
    std::vector<const char *> argv;
    words expected;
  } cases[] = {
      {{"in.c", "out.i"}, {"-E", "in.c", "-o out.i"}},
      {{}, {"-E", "-"}},
      {{"-E", "in.c"}, {"-E", "in.c"}},
      {{"x.asm"}, {"-E", "-x c", "x.asm"}},
      {{"x.s"}, {"-E", "-x assembler-with-cpp", "x.s"}},
      {{"-x", "c", "x.asm"}, {"-E", "-x c", "x.asm"}},
      {{"-"}, {"-E", "-"}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(run_lang_driver(c.argv).words, c.expected);
}

TEST(PrepDriverDeathTest, CompileOptionsAndThirdInputAreFatal)
{
  auto with_context = [](std::vector<const char *> argv) {
    diagnostic_state_init(&global_diagnostic_state, 0);
    run_lang_driver(argv);
  };
  EXPECT_EXIT(with_context({"-c", "x.c"}), testing::ExitedWithCode(1),
              "'-c' is not a valid option to the preprocessor");
  EXPECT_EXIT(with_context({"a.c", "b.i", "c.i"}), testing::ExitedWithCode(1),
              "too many input files");
}
