// Character-set conversion: the built-in converters (checked against python's
// codecs as well), opening converters, whole-file conversion and reading.
#include "libsprenk/charset.h"

#include "tests/common/generator-lines.h"
#include "tests/common/temp-dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

std::string hex(const std::string &bytes)
{
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string unhex(const std::string &text)
{
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out += char(std::stoi(text.substr(i, 2), nullptr, 16));
  return out;
}

// One conversion: "ok" or the error name, and the output (on a failure, the
// part before the fault).
struct converted {
  std::string outcome;
  std::string output;
};

converted convert(const charset_converter &c, const std::string &input)
{
  converter_output out = {static_cast<unsigned char *>(malloc(1)), 1, 0, 0};
  errno = 0;
  bool ok = c.function(c.cookie, reinterpret_cast<const unsigned char *>(input.data()),
                       input.size(), &out);
  converted result;
  result.outcome = ok ? "ok" : errno == EILSEQ ? "EILSEQ" : errno == EINVAL ? "EINVAL" : "other";
  if (!ok)
    EXPECT_EQ(out.length, 0u) << "a failure leaves the length alone";
  result.output.assign(reinterpret_cast<char *>(out.text), ok ? out.length : out.partial);
  free(out.text);
  return result;
}

converted convert(const char *to, const char *from, const std::string &input)
{
  charset_converter c = open_converter(nullptr, to, from);
  converted result = convert(c, input);
  close_converter(&c);
  return result;
}

TEST(Charset, BuiltInEdgeCases)
{
  struct row {
    const char *to, *from;
    std::string input;
    const char *outcome;
    std::string output;
  } rows[] = {
      {"UTF-16BE", "UTF-8", "\xf0\x9f\x98\x80", "ok", std::string("\xd8\x3d\xde\x00", 4)},
      {"UTF-16LE", "UTF-8", "\xf0\x9f\x98\x80", "ok", std::string("\x3d\xd8\x00\xde", 4)},
      {"UTF-16BE", "UTF-8", "\xed\xa0\x80", "EILSEQ", ""},
      {"UTF-16BE", "UTF-8", std::string("\xc0\x80", 2), "EILSEQ", ""},
      {"UTF-16BE", "UTF-8", "a\xe2\x82", "EINVAL", std::string("\0a", 2)},
      // Beyond the last plane there is no UTF-16 form.
      {"UTF-16LE", "UTF-8", "\xf4\x90\x80\x80", "EILSEQ", ""},
      // UTF-32 takes the 5- and 6-byte forms up to 0x7FFFFFFF.
      {"UTF-32BE", "UTF-8", "\xfd\xbf\xbf\xbf\xbf\xbf", "ok", "\x7f\xff\xff\xff"},
      {"UTF-32LE", "UTF-8", "\xf8\x88\x80\x80\x80", "ok", std::string("\x00\x00\x20\x00", 4)},
      {"UTF-32LE", "UTF-8", "\xf8\x80\x80\x80\x80", "EILSEQ", ""},
      {"UTF-32LE", "UTF-8", "\xfe", "EILSEQ", ""},
      {"UTF-8", "UTF-32BE", "\x7f\xff\xff\xfe", "ok", "\xfd\xbf\xbf\xbf\xbf\xbe"},
      {"UTF-8", "UTF-32BE", "\x7f\xff\xff\xff", "EILSEQ", ""},
      {"UTF-8", "UTF-32LE", std::string("\x00\xd8\x00\x00", 4), "EILSEQ", ""},
      {"UTF-8", "UTF-32LE", std::string("A\0\0\0B\0", 6), "EINVAL", "A"},
      {"UTF-8", "UTF-16LE", std::string("=\xd8\x00\xde", 4), "ok", "\xf0\x9f\x98\x80"},
      {"UTF-8", "UTF-16LE", std::string("=\xd8", 2), "EINVAL", ""},
      {"UTF-8", "UTF-16LE", std::string("=\xd8" "A\0", 4), "EILSEQ", ""},
      {"UTF-8", "UTF-16BE", std::string("\xdc\x00", 2), "EILSEQ", ""},
      {"UTF-8", "UTF-16BE", std::string("\0a\0", 3), "EINVAL", "a"},
      {"UTF-8", "UTF-16BE", "", "ok", ""},
  };
  for (const row &r : rows) {
    converted got = convert(r.to, r.from, r.input);
    EXPECT_EQ(got.outcome, r.outcome) << r.from << " to " << r.to << ": " << hex(r.input);
    EXPECT_EQ(hex(got.output), hex(r.output)) << r.from << " to " << r.to << ": " << hex(r.input);
  }
}

TEST(Charset, OutputGrowsPastItsFirstSize)
{
  std::string input;
  for (int i = 0; i < 3000; i++)
    input += "\xe2\x82\xac";
  converted got = convert("UTF-32LE", "UTF-8", input);
  ASSERT_EQ(got.outcome, "ok");
  ASSERT_EQ(got.output.size(), 12000u);
  EXPECT_EQ(convert("UTF-8", "UTF-32LE", got.output).output, input);
}

TEST(Charset, OpeningChoosesTheConversion)
{
  struct row {
    const char *to, *from;
    conversion_function function;
    intptr_t cookie;
  } rows[] = {
      {"utf-8", "UTF-8", copy_converter, -1},
      {"utf-16le", "utf-8", utf8_to_utf16, 0},
      {"UTF-32BE", "UTF-8", utf8_to_utf32, 1},
      {"UTF-8", "utf-16be", utf16_to_utf8, 1},
      {"UTF-8", "UTF-32LE", utf32_to_utf8, 0},
  };
  for (const row &r : rows) {
    charset_converter c = open_converter(nullptr, r.to, r.from);
    EXPECT_EQ(c.function, r.function) << r.from << " to " << r.to;
    EXPECT_EQ(c.cookie, r.cookie) << r.from << " to " << r.to;
    EXPECT_EQ(c.width, -1);
    EXPECT_STREQ(c.from, r.from);
    EXPECT_STREQ(c.to, r.to);
  }
}

struct reports {
  std::vector<std::string> seen;
  charset_reporter reporter = {this, record};
  static void record(void *data, int level, int error_number, const char *text)
  {
    static_cast<reports *>(data)->seen.push_back(std::to_string(level) + " " +
                                                 std::to_string(error_number) + " " + text);
  }
};

TEST(Charset, UnknownCharsetDegradesToTheCopyAfterOneError)
{
  reports r;
  charset_converter c = open_converter(&r.reporter, "UTF-8", "NO-SUCH-CHARSET");
  EXPECT_EQ(c.function, copy_converter);
  EXPECT_EQ(c.cookie, -1);
  ASSERT_EQ(r.seen.size(), 1u);
  EXPECT_EQ(r.seen[0], "3 0 conversion from NO-SUCH-CHARSET to UTF-8 not supported by iconv");
  EXPECT_EQ(convert(c, "x\xff").output, "x\xff");
}

TEST(Charset, IconvConvertsOtherPairs)
{
  charset_converter c = open_converter(nullptr, "UTF-8", "ISO-8859-1");
  if (c.function != iconv_convert)
    GTEST_SKIP() << "the C library has no ISO-8859-1 converter";
  std::string latin(700, '\xe9');
  converted got = convert(c, latin);
  close_converter(&c);
  EXPECT_EQ(got.outcome, "ok");
  std::string expected;
  for (int i = 0; i < 700; i++)
    expected += "\xc3\xa9";
  EXPECT_EQ(got.output, expected);
}

TEST(Charset, ExecutionConvertersFollowTheOptions)
{
  struct row {
    charset_execution_options options;
    const char *names[CHARSET_EXECUTION_COUNT];
  } rows[] = {
      {{nullptr, nullptr, 8, 32, false}, {"UTF-8", "UTF-8", "UTF-16LE", "UTF-32LE", "UTF-32LE"}},
      {{nullptr, nullptr, 8, 16, true}, {"UTF-8", "UTF-8", "UTF-16BE", "UTF-32BE", "UTF-16BE"}},
      {{nullptr, nullptr, 8, 8, false}, {"UTF-8", "UTF-8", "UTF-16LE", "UTF-32LE", "UTF-8"}},
      {{"utf-8", "UTF-32BE", 8, 32, false},
       {"utf-8", "UTF-8", "UTF-16LE", "UTF-32LE", "UTF-32BE"}},
  };
  for (row &r : rows) {
    charset_converter set[CHARSET_EXECUTION_COUNT];
    init_execution_converters(set, r.options, nullptr);
    const int32_t widths[] = {r.options.char_precision, r.options.char_precision, 16, 32,
                              r.options.wchar_precision};
    for (int i = 0; i < CHARSET_EXECUTION_COUNT; i++) {
      EXPECT_STREQ(set[i].to, r.names[i]) << i;
      EXPECT_STREQ(set[i].from, "UTF-8");
      EXPECT_EQ(set[i].width, widths[i]);
    }
    close_execution_converters(set);
  }
}

TEST(Charset, BasicCharacterToExecution)
{
  reports r;
  charset_converter narrow = open_converter(nullptr, "UTF-8", "UTF-8");
  EXPECT_EQ(basic_char_to_execution(narrow, &r.reporter, 'a'), 'a');
  EXPECT_EQ(basic_char_to_execution(narrow, &r.reporter, 200), 0);
  charset_converter wide = open_converter(nullptr, "UTF-16LE", "UTF-8");
  EXPECT_EQ(basic_char_to_execution(wide, &r.reporter, 'b'), 0);
  EXPECT_EQ(r.seen, (std::vector<std::string>{
                        "4 0 character 0xc8 is not in the basic source character set\n",
                        "4 0 character 0x62 is not unibyte in execution character set"}));
}

TEST(Charset, NamesAndMarks)
{
  EXPECT_STREQ(default_charset_name(), "UTF-8");
  EXPECT_TRUE(charset_is_utf8("utf-8"));
  EXPECT_FALSE(charset_is_utf8("UTF-16"));
  EXPECT_FALSE(charset_is_utf8("UTF-8X"));
  const unsigned char marked[] = {0xEF, 0xBB, 0xBF, 'a'};
  EXPECT_EQ(utf8_bom_length(marked, 4), 3u);
  EXPECT_EQ(utf8_bom_length(marked, 3), 3u);
  EXPECT_EQ(utf8_bom_length(marked, 2), 0u);
  EXPECT_EQ(utf8_bom_length(marked + 1, 3), 0u);
}

// convert_file_text over a heap copy of `text` with `slack` spare bytes.
struct file_text {
  unsigned char *block = nullptr;
  const unsigned char *data = nullptr;
  size_t length = 0;
  ~file_text() { free(block); }
};

void convert_text(file_text *out, const char *charset, const std::string &text, size_t slack,
                  const charset_reporter *reporter = nullptr)
{
  size_t size = text.size() + slack;
  unsigned char *buffer = static_cast<unsigned char *>(malloc(size ? size : 1));
  memcpy(buffer, text.data(), text.size());
  out->data = convert_file_text(reporter, charset, buffer, size, text.size(), &out->block,
                                &out->length);
}

TEST(Charset, FileTextIsTerminatedAndPadded)
{
  struct row {
    std::string text;
    std::string data;
    char terminator;
  } rows[] = {
      {"", "", '\n'},
      {"a\r", "a\r", '\r'},
      {"ab\n", "ab\n", '\n'},
      {"\xef\xbb\xbf" "a", "a", '\n'},
  };
  for (const row &r : rows) {
    file_text t;
    convert_text(&t, "UTF-8", r.text, 0);
    ASSERT_NE(t.data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.data), t.length), r.data);
    EXPECT_EQ(t.data[t.length], r.terminator) << hex(r.text);
    for (size_t i = 1; i < 16; i++)
      EXPECT_EQ(t.data[t.length + i], 0) << hex(r.text);
    EXPECT_EQ(t.block + r.text.size() - r.data.size(), t.data) << "the block is the mark";
  }
}

TEST(Charset, UtfSixteenFileBecomesUtfEight)
{
  // A UTF-16 byte-order mark becomes a UTF-8 one, which is then skipped.
  file_text t;
  convert_text(&t, "UTF-16LE", std::string("\xff\xfex\0\xac\x20", 6), 0);
  ASSERT_NE(t.data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.data), t.length), "x\xe2\x82\xac");
  EXPECT_EQ(t.data, t.block + 3);
}

TEST(Charset, FailedConversionWithoutReporterGivesNoText)
{
  file_text t;
  convert_text(&t, "UTF-16LE", std::string("a\0b", 3), 0);
  EXPECT_EQ(t.data, nullptr);
  EXPECT_EQ(t.block, nullptr);
  EXPECT_EQ(t.length, 0u);
}

TEST(Charset, FailedConversionWithReporterKeepsTheConvertedPart)
{
  reports r;
  file_text t;
  convert_text(&t, "UTF-16LE", std::string("a\0b\0\x00\xdc" "c\0", 8), 0, &r.reporter);
  ASSERT_NE(t.data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.data), t.length), "ab");
  EXPECT_EQ(t.data[2], '\n');
  EXPECT_EQ(r.seen, (std::vector<std::string>{"3 0 failure to convert UTF-16LE to UTF-8"}));
}

TEST(Charset, SlackIsTrimmedOnlyWhenLarge)
{
  struct row {
    size_t slack;
    bool trimmed;
  } rows[] = {{5000, true}, {100, false}, {4095, false}, {0, true}};
  for (const row &r : rows) {
    file_text t;
    convert_text(&t, "UTF-8", std::string(1000, 'q'), r.slack);
    ASSERT_EQ(t.data, t.block);
    EXPECT_EQ(t.length, 1000u);
    size_t usable = malloc_usable_size(t.block);
    if (r.trimmed)
      EXPECT_LT(usable, 1000u + 16 + 64) << r.slack;
    else
      EXPECT_GE(usable, 1000u + r.slack) << r.slack;
  }
}

void write_file(const std::string &path, const std::string &bytes)
{
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

TEST(Charset, ReadConvertedSource)
{
  TempDir dir;
  write_file(dir / "be.c", std::string("\xfe\xff\0i\0n\0t\0\n", 10));
  write_file(dir / "bad.c", std::string("\0i\xdc\x00", 4));
  struct row {
    std::string path;
    const char *charset;
    bool read;
    std::string data;
  } rows[] = {
      {dir / "be.c", "UTF-16BE", true, "int\n"},
      {dir / "be.c", "utf-16be", true, "int\n"},
      {dir / "bad.c", "UTF-16BE", false, ""},
      {dir / "missing.c", "UTF-8", false, ""},
      {dir.path, "UTF-8", false, ""},
  };
  for (const row &r : rows) {
    converted_source source = read_converted_source(r.path.c_str(), r.charset);
    EXPECT_EQ(source.block != nullptr, r.read) << r.path;
    std::string data;
    if (source.data)
      data.assign(reinterpret_cast<const char *>(source.data), source.length);
    EXPECT_EQ(data, r.data) << r.path;
    free(source.block);
  }
}

TEST(CharsetDifferential, AgreesWithPythonCodecs)
{
  std::vector<std::string> lines;
  const char *seed = getenv("CHARSET_DIFFERENTIAL_SEED");
  if (!generator_lines(__FILE__, "charset-differential.py", seed ? atoi(seed) : 20261210,
                       4000, &lines))
    GTEST_SKIP() << "python3 could not run the generator: "
                 << (lines.empty() ? std::string() : lines[0]);
  ASSERT_EQ(lines.size(), 4000u);
  static const struct {
    const char *name, *to, *from;
  } names[] = {
      {"utf8-utf16le", "UTF-16LE", "UTF-8"}, {"utf8-utf16be", "UTF-16BE", "UTF-8"},
      {"utf8-utf32le", "UTF-32LE", "UTF-8"}, {"utf8-utf32be", "UTF-32BE", "UTF-8"},
      {"utf16le-utf8", "UTF-8", "UTF-16LE"}, {"utf16be-utf8", "UTF-8", "UTF-16BE"},
      {"utf32le-utf8", "UTF-8", "UTF-32LE"}, {"utf32be-utf8", "UTF-8", "UTF-32BE"},
  };
  int mismatches = 0;
  for (const std::string &line : lines) {
    size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1), t3 = line.find('\t', t2 + 1);
    ASSERT_NE(t3, std::string::npos) << line;
    std::string name = line.substr(0, t1);
    std::string input = unhex(line.substr(t1 + 1, t2 - t1 - 1));
    std::string outcome = line.substr(t2 + 1, t3 - t2 - 1);
    std::string output = line.substr(t3 + 1);
    for (const auto &n : names) {
      if (name != n.name)
        continue;
      converted got = convert(n.to, n.from, input);
      if (got.outcome != outcome || hex(got.output) != output) {
        if (++mismatches <= 10)
          ADD_FAILURE() << line << "\n  got " << got.outcome << " " << hex(got.output);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

} // namespace
