// The directive language of pp_format, UTF-8 decoding and identifier display.
#include "diagnostics/pretty-print.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

std::string format_with(pretty_printer &pp, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  pp_message message = {format, &args, errno, nullptr, nullptr};
  pp_format(&pp, &message);
  pp_output_formatted_text(&pp);
  va_end(args);
  std::string result = pp_current_text(&pp);
  pp_clear_text(&pp);
  return result;
}

TEST(PpFormat, Directives)
{
  pretty_printer pp(0);
  int values[] = {1, 2, 3};
  int32_t event = 0;
  EXPECT_EQ(format_with(pp, "100%% %s and %d", "done", -4), "100% done and -4");
  EXPECT_EQ(format_with(pp, "%qs", "x"), "'x'");
  EXPECT_EQ(format_with(pp, "%<-c%> %'"), "'-c' '");
  EXPECT_EQ(format_with(pp, "%qs", "a\tb"), "'a\\x09b'");
  EXPECT_EQ(format_with(pp, "%qc %c", '\n', 'z'), "'\\x0a' z");
  EXPECT_EQ(format_with(pp, "%2$s %1$s", "a", "b"), "b a");
  EXPECT_EQ(format_with(pp, "%.*s|%.*s", 3, "abcdef", -1, "abcdef"), "abc|abcdef");
  EXPECT_EQ(format_with(pp, "%2$.*1$s", 2, "abcdef"), "ab");
  EXPECT_EQ(format_with(pp, "%.4s", "ab"), "ab");
  EXPECT_EQ(format_with(pp, "%x %wx %wu", 255u, uint64_t{255}, uint64_t{1} << 40),
            "ff 0xff 1099511627776");
  EXPECT_EQ(format_with(pp, "%ld %lld %lu %o %llx", -7L, -8LL, 9UL, 8u, 0xabcULL),
            "-7 -8 9 10 abc");
  EXPECT_EQ(format_with(pp, "%wd %i", -(int64_t{1} << 40), 12), "-1099511627776 12");
  EXPECT_EQ(format_with(pp, "%Z", values, 3u), "1, 2, 3");
  EXPECT_EQ(format_with(pp, "%Z|", values, 0u), "|");
  EXPECT_EQ(format_with(pp, "%@", &event), "(1)");
  EXPECT_EQ(format_with(pp, "%f", 1.5), "1.500000");
  EXPECT_EQ(format_with(pp, "%f", 1e300).size(), 308u);
  // Without colours or hyperlinks these directives write no escapes.
  EXPECT_EQ(format_with(pp, "%rX%R%{Y%}", "error", "http://u"), "XY");
}

TEST(PpFormat, ColoursAndHyperlinks)
{
  pretty_printer pp(0);
  pp.show_color = true;
  pp.url_format = 1;
  int32_t event = 4;
  EXPECT_EQ(format_with(pp, "%qs", "x"), "'\33[01m\33[Kx\33[m\33[K'");
  EXPECT_EQ(format_with(pp, "%<y%>"), "'\33[01m\33[Ky\33[m\33[K'");
  EXPECT_EQ(format_with(pp, "%rz%R", "warning"), "\33[01;35m\33[Kz\33[m\33[K");
  EXPECT_EQ(format_with(pp, "%@", &event), "\33[01;36m\33[K(5)\33[m\33[K");
  EXPECT_EQ(format_with(pp, "%{link%}", "http://u"), "\33]8;;http://u\33\\link\33]8;;\33\\");
  pp.url_format = 2;
  EXPECT_EQ(format_with(pp, "%{link%}", "http://u"), "\33]8;;http://u\alink\33]8;;\a");
}

TEST(PpFormat, ErrnoIsTheOneSavedWithTheMessage)
{
  pretty_printer pp(0);
  va_list *no_args = nullptr;
  pp_message message = {"failed: %m", no_args, ENOENT, nullptr, nullptr};
  errno = EACCES;
  pp_format(&pp, &message);
  pp_output_formatted_text(&pp);
  EXPECT_EQ(std::string(pp_current_text(&pp)), std::string("failed: ") + strerror(ENOENT));
}

TEST(PpFormat, ArgumentsAreNotWrappedButTheOutputIs)
{
  pretty_printer pp(0);
  pp_set_line_cutoff(&pp, 14);
  pp_replace_prefix(&pp, strdup("p: "));
  EXPECT_EQ(format_with(pp, "one %s three", "two two"), "p: one two \n   two three");
}

bool decode_as_star(pretty_printer *pp, pp_message *message, const char *directive, int, bool, bool,
                    bool, bool *quoted, const char ***)
{
  if (*directive != 'E')
    return false;
  pp_put_string(pp, va_arg(*message->args, const char *));
  *quoted = false;
  return true;
}

TEST(PpFormat, ClientDecoderTakesUnknownConversions)
{
  pretty_printer pp(0);
  pp.format_decoder = decode_as_star;
  EXPECT_EQ(format_with(pp, "[%E] [%qE] %d", "e1", "e2", 3), "[e1] ['e2] 3");
}

class PpFormatDeathTest : public ::testing::TestWithParam<const char *> {};

TEST_P(PpFormatDeathTest, MalformedFormatIsAnInternalError)
{
  pretty_printer pp(0);
  EXPECT_DEATH(format_with(pp, GetParam(), "a", "b", "c"), "in pp_format, at");
}

// Each of these would otherwise read past the format or misuse arguments.
INSTANTIATE_TEST_SUITE_P(
    Formats, PpFormatDeathTest,
    ::testing::Values("trailing %", "%q", "%1$", "%1$q", "%.", "%.*", "%.3", "%.3d", "%1$s %s",
                      "%s %1$s", "%1$s %1$s", "%31$s", "%0$s", "%1s", "%qqs", "%llls", "%lws",
                      "%y", "%2$.*2$s",
                      "%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s"));

TEST(PpFormatDeathTest, TooManyChunks)
{
  pretty_printer pp(0);
  std::string chunks;
  for (int i = 0; i < 30; i++)
    chunks += "x%" + std::to_string(i + 1) + "$s";
  // 30 literal and 30 argument chunks fit exactly; one more literal does not.
  EXPECT_EXIT(
      {
        pretty_printer p(0);
        std::string fits = chunks;
        const char *a = "a";
        format_with(p, fits.c_str(), a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a,
                    a, a, a, a, a, a, a, a, a, a);
        fprintf(stderr, "fits");
        exit(0);
      },
      ::testing::ExitedWithCode(0), "fits");
  chunks += "y";
  const char *a = "a";
  EXPECT_DEATH(format_with(pp, chunks.c_str(), a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a,
                           a, a, a, a, a, a, a, a, a, a, a, a, a),
               "in pp_format");
}

TEST(PpFormatDeathTest, EventIdMinusOne)
{
  pretty_printer pp(0);
  int32_t event = -1;
  EXPECT_DEATH(format_with(pp, "%@", &event), "in one_based");
}

TEST(Utf8, DecodeTable)
{
  const struct {
    const char *bytes;
    size_t length;
    int result;
    unsigned code;
  } cases[] = {
      {"A", 1, 1, 'A'},
      {"\xc3\xa9", 2, 2, 0xe9},
      {"\xe2\x82\xac", 3, 3, 0x20ac},
      {"\xf0\x9f\x98\x80", 4, 4, 0x1f600},
      {"\xf8\x88\x80\x80\x80", 5, 5, 0x200000},
      {"\xfc\x84\x80\x80\x80\x80", 6, 6, 0x4000000},
      {"\xc3\xa9", 1, 0, ~0u},         // cut short by the length
      {"\xc0\x80", 2, 0, ~0u},         // overlong
      {"\xe0\x80\xaf", 3, 0, ~0u},     // overlong
      {"\xed\xa0\x80", 3, 0, ~0u},     // surrogate
      {"\x80", 1, 0, ~0u},             // continuation byte first
      {"\xff", 1, 0, ~0u},
      {"\xfe\x80\x80\x80\x80\x80\x80", 7, 0, ~0u},
      {"\xc3(", 2, 0, ~0u},
  };
  for (const auto &c : cases) {
    unsigned code = 12345;
    EXPECT_EQ(decode_utf8_char(reinterpret_cast<const unsigned char *>(c.bytes), c.length, &code),
              c.result)
        << c.bytes;
    EXPECT_EQ(code, c.code) << c.bytes;
  }
}

TEST(Utf8DeathTest, EmptyInput)
{
  unsigned code;
  EXPECT_DEATH(decode_utf8_char(reinterpret_cast<const unsigned char *>(""), 0, &code),
               "decode_utf8_char");
}

TEST(IdentifierDisplay, Table)
{
  const struct {
    const char *input;
    const char *expected;
  } cases[] = {
      {"", ""},
      {"plain_name", "plain_name"},
      {"caf\xc3\xa9", "caf\\U000000e9"},
      {"a\xf0\x9f\x98\x80", "a\\U0001f600"},
      {"bad\xff", "bad\\377"},
      {"tab\there", "tab\\011here"},
      {"c1\xc2\x85", "c1\\302\\205"},
  };
  for (const auto &c : cases) {
    const char *shown = identifier_to_display(c.input);
    EXPECT_EQ(std::string(shown), c.expected);
    if (shown != c.input)
      free(const_cast<char *>(shown));
  }
}

} // namespace
