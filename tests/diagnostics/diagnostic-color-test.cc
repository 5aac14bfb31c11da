// VUZ_COLORS, the colour texts and the hyperlink format, away from a terminal
// (standard error of the tests is not one; terminal-test.cc covers that case).
#include "diagnostics/diagnostic-color.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct environment_fixture : ::testing::Test {
  void SetUp() override
  {
    for (const char *name : {"VUZ_COLORS", "VUZ_URLS", "TERM_URLS", "COLORTERM"})
      unsetenv(name);
    setenv("TERM", "xterm", 1);
    colour_table_reset();
  }
  void TearDown() override { colour_table_reset(); }
  std::string start(const char *name) { return colorize_start(true, name); }
};

TEST_F(environment_fixture, DefaultTable)
{
  EXPECT_TRUE(parse_vuz_colors());
  EXPECT_EQ(start("error"), "\33[01;31m\33[K");
  EXPECT_EQ(start("type-diff"), "\33[01;32m\33[K");
  EXPECT_EQ(start("fixit-delete"), "\33[31m\33[K");
  EXPECT_EQ(start("unknown"), "");
  EXPECT_EQ(std::string(colorize_start(true, "errorx", 5)), "\33[01;31m\33[K");
  EXPECT_EQ(std::string(colorize_start(true, "err", 3)), "");
  EXPECT_EQ(std::string(colorize_start(false, "error")), "");
  EXPECT_EQ(std::string(colorize_stop(true)), "\33[m\33[K");
  EXPECT_EQ(std::string(colorize_stop(false)), "");
}

TEST_F(environment_fixture, VuzColorsOverrides)
{
  const struct {
    const char *value;
    bool result;
    const char *error;
    const char *warning;
    const char *note;
  } cases[] = {
      {"error=01;32:warning=", true, "\33[01;32m\33[K", "\33[m\33[K", "\33[01;36m\33[K"},
      {"", false, "\33[01;31m\33[K", "\33[01;35m\33[K", "\33[01;36m\33[K"},
      // A bad character stops reading: earlier items stay, this and later ones do not.
      {"note=7:error=1x:warning=4", true, "\33[01;31m\33[K", "\33[01;35m\33[K", "\33[7m\33[K"},
      {"note=7:=3:error=4", true, "\33[01;31m\33[K", "\33[01;35m\33[K", "\33[7m\33[K"},
      {"note=7:error=4=5:warning=1", true, "\33[01;31m\33[K", "\33[01;35m\33[K", "\33[7m\33[K"},
      // Unknown names and items without '=' change nothing.
      {"nothing=3:error:note=2", true, "\33[01;31m\33[K", "\33[01;35m\33[K", "\33[2m\33[K"},
      {"error=1:error=2:", true, "\33[2m\33[K", "\33[01;35m\33[K", "\33[01;36m\33[K"},
  };
  for (const auto &c : cases) {
    colour_table_reset();
    setenv("VUZ_COLORS", c.value, 1);
    EXPECT_EQ(parse_vuz_colors(), c.result) << c.value;
    EXPECT_EQ(start("error"), c.error) << c.value;
    EXPECT_EQ(start("warning"), c.warning) << c.value;
    EXPECT_EQ(start("note"), c.note) << c.value;
  }
}

TEST_F(environment_fixture, ColourModes)
{
  EXPECT_FALSE(colorize_init(DIAGNOSTICS_NEVER));
  EXPECT_TRUE(colorize_init(DIAGNOSTICS_ALWAYS));
  // Standard error is not a terminal here.
  EXPECT_FALSE(colorize_init(DIAGNOSTICS_AUTO));
  setenv("VUZ_COLORS", "", 1);
  EXPECT_FALSE(colorize_init(DIAGNOSTICS_ALWAYS));
}

TEST_F(environment_fixture, UrlFormatWhenForced)
{
  const struct {
    const char *vuz_urls;
    const char *term_urls;
    int expected;
  } cases[] = {
      {nullptr, nullptr, URL_FORMAT_BEL}, {"st", nullptr, URL_FORMAT_ST},
      {"no", "st", URL_FORMAT_NONE},      {"", nullptr, URL_FORMAT_NONE},
      {"bel", nullptr, URL_FORMAT_BEL},   {nullptr, "st", URL_FORMAT_ST},
      {nullptr, "no", URL_FORMAT_NONE},   {"ST", nullptr, URL_FORMAT_BEL},
  };
  for (const auto &c : cases) {
    if (c.vuz_urls)
      setenv("VUZ_URLS", c.vuz_urls, 1);
    else
      unsetenv("VUZ_URLS");
    if (c.term_urls)
      setenv("TERM_URLS", c.term_urls, 1);
    else
      unsetenv("TERM_URLS");
    EXPECT_EQ(determine_url_format(DIAGNOSTICS_ALWAYS), c.expected);
    EXPECT_EQ(determine_url_format(DIAGNOSTICS_NEVER), URL_FORMAT_NONE);
    EXPECT_EQ(determine_url_format(DIAGNOSTICS_AUTO), URL_FORMAT_NONE);
  }
}

TEST(DiagnosticColorDeathTest, BadModes)
{
  EXPECT_DEATH(colorize_init(3), "in colorize_init");
  EXPECT_DEATH(determine_url_format(-1), "in determine_url_format");
  EXPECT_DEATH(get_end_url_string(3), "in get_end_url_string");
}

} // namespace
