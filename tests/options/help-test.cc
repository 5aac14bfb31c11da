// Help pages: selection by class and language, headings, wrapping, settings,
// enumeration lists, and the --help= argument parser.
#include "options/opts.h"

#include "tests/options/option-session.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace {

std::string standard_output(const std::function<void()> &write)
{
  fflush(stdout);
  int saved = dup(1);
  FILE *file = tmpfile();
  dup2(fileno(file), 1);
  write();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  rewind(file);
  std::string text = file_text(file);
  fclose(file);
  return text;
}

std::vector<std::string> lines_of(const std::string &text)
{
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// A compiler session printing help texts (not settings) 80 columns wide.
struct help_session : option_session {
  help_session()
  {
    opts.var_quiet = 1;
    opts.help_columns = 80;
  }
  std::string selection(const char *argument)
  {
    return standard_output([&] { print_help_selection(&opts, mask, argument); });
  }
};

TEST(Help, NothingUnderTheDriverMask)
{
  option_session session(FLAG_DRIVER);
  EXPECT_EQ(standard_output([&] {
              print_specific_help(FLAG_COMMON, 0, 0, &session.opts, FLAG_DRIVER);
              print_help_selection(&session.opts, FLAG_DRIVER, "common");
            }),
            "");
}

TEST(Help, SelectionHeadings)
{
  struct {
    const char *argument;
    const char *heading;
  } cases[] = {
      {"c", "The following options are supported by the language C:"},
      {"co", "The following options are language-independent:"},
      {"C++", "The following options are supported by the language C++:"},
      {"optimizers", "The following options control optimizations:"},
      {"WARN", "The following options control compiler warning messages:"},
      {"warnings,^c,^c++", "The following options control compiler warning messages:"},
      {"params", "The following options control parameters:"},
      {"target", "The following options are target specific:"},
      {"Fortran,joined", "The following options are supported by the language Fortran:"},
      {",,common", "The following options are language-independent:"},
  };
  for (const auto &c : cases) {
    help_session session;
    std::string text = session.selection(c.argument);
    ASSERT_FALSE(text.empty()) << c.argument;
    EXPECT_EQ(lines_of(text)[0], c.heading) << c.argument;
    EXPECT_EQ(session.reported(), "") << c.argument;
  }
}

TEST(Help, SelectionWarnings)
{
  help_session session;
  EXPECT_EQ(session.selection("bogus,o"), "");
  EXPECT_EQ(session.reported(),
            "vuz: warning: unrecognized argument to '--help=' option: 'bogus'\n"
            "vuz: warning: '--help' argument 'o' is ambiguous, please be more specific\n");
  EXPECT_EQ(session.selection("^"), "");
  EXPECT_EQ(session.reported(), "vuz: error: missing argument to '--help=^'\n");
}

TEST(Help, OptimizersListNoWarnings)
{
  help_session session;
  std::string text = session.selection("optimizers");
  EXPECT_NE(text.find("  -fgcse "), std::string::npos);
  EXPECT_EQ(text.find("\n  -W"), std::string::npos);
  EXPECT_EQ(text.find("\n  --param="), std::string::npos);
}

TEST(Help, ParametersShowTheirRange)
{
  help_session session;
  std::string text = session.selection("params");
  EXPECT_NE(text.find("\n  --param=align-threshold=<1,65536> "), std::string::npos);
}

TEST(Help, EveryOptionOnlyOnce)
{
  help_session session;
  std::string first = session.selection("warnings");
  EXPECT_GT(lines_of(first).size(), 100u);
  std::string second = session.selection("warnings");
  EXPECT_EQ(second,
            "The following options control compiler warning messages:\n"
            " All options with the desired characteristics have already been displayed\n\n");
}

TEST(Help, NothingFound)
{
  help_session session;
  EXPECT_EQ(standard_output([&] {
              print_specific_help(FLAG_PARAMS | FLAG_SEPARATE, 0, 0, &session.opts, lang_c);
            }),
            "The following options control parameters:\n"
            " No options with the desired characteristics were found\n\n");
  EXPECT_EQ(standard_output([&] {
              print_specific_help(lang_c | FLAG_PARAMS, 0, 0, &session.opts, lang_c);
            }),
            "The following options control parameters:\n"
            " None found.  Use --help=C to show *all* the options supported by the C "
            "front-end.\n\n");
}

// The lines printed for -mabi= on a target page WIDTH columns wide.
std::string abi_lines(int width)
{
  help_session session;
  session.opts.help_columns = width;
  std::string text = standard_output([&] {
    print_specific_help(FLAG_TARGET, 0, 0, &session.opts, lang_c);
  });
  size_t start = text.find("  -mabi=");
  size_t end = text.find("  -mabort-on-noreturn");
  return text.substr(start, end - start);
}

TEST(Help, WrapsBesideTheLeftColumn)
{
  const std::string indent(30, ' ');
  EXPECT_EQ(abi_lines(80), "  -mabi=                      This option lacks documentation.\n");
  EXPECT_EQ(abi_lines(60), "  -mabi=                      This option lacks\n" + indent +
                               "documentation.\n");
  // However narrow the page, every line makes progress and words stay whole.
  for (int width : {1, 30, 40})
    EXPECT_EQ(abi_lines(width), "  -mabi=                      This\n" + indent + "option\n" +
                                    indent + "lacks\n" + indent + "documentation.\n")
        << width;
}

TEST(Help, HelpTextWithItsOwnLeftColumn)
{
  help_session session;
  std::string text = standard_output([&] {
    print_specific_help(FLAG_SEPARATE, FLAG_UNDOCUMENTED, 0, &session.opts, lang_c);
  });
  EXPECT_EQ(text,
            "The following options take separate arguments:\n"
            "  -o <file>                   Place output into <file>.\n\n");
}

TEST(Help, SettingsInsteadOfTextsWithoutQuiet)
{
  option_session session;
  session.opts.help_columns = 200;
  session.read({"-mthumb", "-mcpu=cortex-a9", "-mfloat-abi=hard"});
  std::string text = standard_output([&] {
    print_specific_help(FLAG_TARGET, 0, 0, &session.opts, lang_c);
  });
  EXPECT_NE(text.find("  -mthumb                     \t\t[enabled]\n"), std::string::npos);
  EXPECT_NE(text.find("  -mbig-endian                \t\t[disabled]\n"), std::string::npos);
  EXPECT_NE(text.find("  -mcpu=                      \t\tcortex-a9\n"), std::string::npos);
  EXPECT_NE(text.find("  -mfloat-abi=                \t\thard\n"), std::string::npos);
  EXPECT_NE(text.find("  -mhard-float                \t\t-mfloat-abi=hard\n"), std::string::npos);
  // The value lists of the enumerations met on the page follow.
  EXPECT_NE(text.find("  Known floating-point ABIs (for use with the -mfloat-abi= option):\n"
                      "    hard soft softfp\n\n"),
            std::string::npos);
}

TEST(Help, SettingOfAnotherLanguagesOption)
{
  option_session session(1u << 6);  // Fortran
  session.opts.help_columns = 200;
  std::string text = standard_output([&] {
    print_specific_help(FLAG_WARNING, 0, 0, &session.opts, 1u << 6);
  });
  EXPECT_NE(text.find("  -Wimplicit                  \t\t[available in C, ObjC]\n"),
            std::string::npos);
}

}  // namespace
