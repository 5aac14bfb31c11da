// Decoding of command-line words and whole argument vectors.
#include "options/option-decode.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class DecodeTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { init_option_obstack(); }
};

decoded_option decode(std::vector<const char *> words, uint32_t mask = FLAG_DRIVER,
                      unsigned *consumed = nullptr)
{
  words.push_back(nullptr);
  decoded_option d;
  unsigned n = decode_cmdline_option(words.data(), mask, &d);
  if (consumed)
    *consumed = n;
  return d;
}

std::vector<decoded_option> decode_all(std::vector<const char *> words,
                                       uint32_t mask = FLAG_DRIVER)
{
  unsigned argc = static_cast<unsigned>(words.size());
  words.push_back(nullptr);
  decoded_option *records;
  unsigned count;
  decode_argv_to_option_array(argc, words.data(), mask, &records, &count);
  std::vector<decoded_option> out(records, records + count);
  free(records);
  return out;
}

std::string text(const char *s)
{
  return s ? s : "(null)";
}

TEST_F(DecodeTest, LookupFindsRowsPrefixesAndAbbreviations)
{
  struct {
    const char *word;  // without its first '-'
    uint32_t mask;
    size_t expected;
  } cases[] = {
      {"Wall", FLAG_DRIVER, OPT_Wall},  // another language's row is remembered
      {"c", FLAG_DRIVER, OPT_c},
      {"ofile", FLAG_DRIVER, OPT_o},  // joined prefix reached along the back chain
      {"fdiagnostics-color=always", FLAG_DRIVER, OPT_fdiagnostics_color_eq},
      {"-all-warn", FLAG_DRIVER, OPT__all_warnings},
      {"-he", FLAG_DRIVER, OPT__help},  // unique in spite of --help=
      {"-pr", FLAG_DRIVER, OPTION_UNKNOWN},
      {"gno-pubnames", FLAG_DRIVER, OPT_gno_pubnames},
      {"gno-record-vuz-switches", FLAG_DRIVER, OPTION_UNKNOWN},  // stops at -gno-
      {"nonexistent", FLAG_DRIVER, OPTION_UNKNOWN},
      {"", FLAG_DRIVER, OPTION_UNKNOWN},
      {"###", FLAG_DRIVER, OPT____},
      {"z", FLAG_DRIVER, OPT_z},
      {"zfoo", FLAG_DRIVER, OPT_z},
      {"-", FLAG_DRIVER, OPTION_UNKNOWN},
  };
  for (const auto &c : cases)
    EXPECT_EQ(lookup_option(c.word, c.mask), c.expected) << c.word;
}

// Each row's own text finds a row of that text: the search starts among the
// rows of the text's first byte, and the first and last rows of each byte
// must still be found.
TEST_F(DecodeTest, LookupFindsEveryRowByItsOwnText)
{
  for (size_t i = 0; i < option_count; i++) {
    const char *own = option_rows[i].text;
    size_t found = lookup_option(own + 1, ~uint32_t{0});
    ASSERT_LT(found, option_count) << own;
    EXPECT_STREQ(option_rows[found].text, own);
  }
}

TEST_F(DecodeTest, WordsOfTheLanguageDriver)
{
  struct {
    std::vector<const char *> words;
    size_t index;
    const char *argument;
    int64_t value;
    int32_t errors;
    unsigned consumed;
    const char *canonical0;
    const char *canonical1;
    const char *as_written;
  } cases[] = {
      {{"-c"}, OPT_c, nullptr, 1, 0, 1, "-c", nullptr, "-c"},
      {{"-o", "out"}, OPT_o, "out", 1, 0, 2, "-o", "out", "-o out"},
      {{"-oout"}, OPT_o, "out", 1, 0, 1, "-o", "out", "-oout"},
      {{"-o"}, OPT_o, nullptr, 1, ERR_MISSING_ARGUMENT, 1, "-o", nullptr, "-o"},
      {{"-o", ""}, OPT_o, "", 1, 0, 2, "-o", "", "-o \"\""},
      {{"-Wno-all"}, OPT_Wall, nullptr, 0, ERR_WRONG_LANGUAGE, 1, "-Wno-all", nullptr,
       "-Wno-all"},
      {{"-fno-nonexistent"}, OPTION_UNKNOWN, "-fno-nonexistent", 1, 0, 1, "-fno-nonexistent",
       nullptr, "-fno-nonexistent"},
      {{"-fno-diagnostics-color=always"}, OPTION_UNKNOWN, "-fno-diagnostics-color=always", 0,
       ERR_NEGATIVE_FORM, 1, "-fno-diagnostics-color=always", nullptr,
       "-fno-diagnostics-color=always"},
      {{"--machine", "arm"}, OPT_marm, nullptr, 1, ERR_WRONG_LANGUAGE, 2, "-marm", nullptr,
       "--machine arm"},
      {{"--machine", "no-thumb-interwork"}, OPT_mthumb_interwork, nullptr, 0,
       ERR_WRONG_LANGUAGE, 2, "-mno-thumb-interwork", nullptr, "--machine no-thumb-interwork"},
      {{"--"}, OPTION_UNKNOWN, "--", 1, 0, 1, "--", nullptr, "--"},
      {{"-gno-record-vuz-switches"}, OPT_grecord_vuz_switches, nullptr, 0, 0, 1,
       "-gno-record-vuz-switches", nullptr, "-gno-record-vuz-switches"},
      {{"--std", "c++17"}, OPT_std_eq_cplusplus17, nullptr, 1, ERR_WRONG_LANGUAGE, 2,
       "-std=c++17", nullptr, "--std c++17"},
      {{"--machine=float-abi=hard"}, OPT_mfloat_abi_eq, "hard", 2, ERR_WRONG_LANGUAGE, 1,
       "-mfloat-abi=hard", nullptr, "--machine=float-abi=hard"},
      {{"--warn-no-all"}, OPT_Wall, nullptr, 0, ERR_WRONG_LANGUAGE, 1, "-Wno-all", nullptr,
       "--warn-no-all"},
      {{"--warn-"}, OPTION_UNKNOWN, "--warn-", 1, 0, 1, "--warn-", nullptr, "--warn-"},
      {{"--optimize=2"}, OPT_O, "2", 1, ERR_WRONG_LANGUAGE, 1, "-O2", nullptr, "--optimize=2"},
      {{"--no-pie"}, OPT_fpie, nullptr, 0, ERR_WRONG_LANGUAGE, 1, "-fno-pie", nullptr,
       "--no-pie"},
      {{"-fdiagnostics-color=ALWAYS"}, OPT_fdiagnostics_color_eq, "ALWAYS", 1, ERR_BAD_ENUM, 1,
       "-fdiagnostics-color=ALWAYS", nullptr, "-fdiagnostics-color=ALWAYS"},
      {{"-fdiagnostics-color=never"}, OPT_fdiagnostics_color_eq, "never", 0, 0, 1,
       "-fdiagnostics-color=never", nullptr, "-fdiagnostics-color=never"},
      // The language is checked on the alias target, which the driver accepts.
      {{"-fdiagnostics-color"}, OPT_fdiagnostics_color_eq, "always", 1, 0, 1,
       "-fdiagnostics-color=always", nullptr, "-fdiagnostics-color"},
      {{"-fno-diagnostics-color"}, OPT_fdiagnostics_color_eq, "never", 0, 0, 1,
       "-fdiagnostics-color=never", nullptr, "-fno-diagnostics-color"},
      {{"-fcilkplus"}, OPTION_IGNORED, nullptr, 1, ERR_WRONG_LANGUAGE, 1, "-fcilkplus", nullptr,
       "-fcilkplus"},
      {{"-fno-mudflap"}, OPTION_REMOVED, nullptr, 0, ERR_WRONG_LANGUAGE, 1, "-fno-mudflap",
       nullptr, "-fno-mudflap"},
      {{"-Xlinker"}, OPT_Xlinker, nullptr, 1, ERR_MISSING_ARGUMENT, 1, "-Xlinker", nullptr,
       "-Xlinker"},
      {{"-x", "c"}, OPT_x, "c", 1, 0, 2, "-x", "c", "-x c"},
      {{"-Wl,"}, OPT_Wl_, "", 1, 0, 1, "-Wl,", nullptr, "-Wl,"},
      // Under the driver -MD takes no separate argument.
      {{"-MD", "dep"}, OPT_MD, nullptr, 1, ERR_WRONG_LANGUAGE, 1, "-MD", nullptr, "-MD"},
  };
  for (const auto &c : cases) {
    unsigned consumed;
    decoded_option d = decode(c.words, FLAG_DRIVER, &consumed);
    std::string label = c.words[0];
    EXPECT_EQ(d.option_index, c.index) << label;
    EXPECT_EQ(text(d.argument), text(c.argument)) << label;
    EXPECT_EQ(d.value, c.value) << label;
    EXPECT_EQ(d.errors, c.errors) << label;
    EXPECT_EQ(consumed, c.consumed) << label;
    EXPECT_EQ(text(d.canonical[0]), text(c.canonical0)) << label;
    EXPECT_EQ(text(d.canonical[1]), text(c.canonical1)) << label;
    EXPECT_EQ(text(d.as_written), text(c.as_written)) << label;
    for (unsigned i = 0; i < d.canonical_count; i++)
      EXPECT_NE(d.canonical[i], nullptr) << label << " slot " << i;
  }
}

TEST_F(DecodeTest, IntegerEnumAndSetArguments)
{
  const uint32_t c_mask = 1u << 3;  // the C language bit
  struct {
    const char *word;
    uint32_t mask;
    size_t index;
    int64_t value;
    int64_t mask_bits;
    int32_t errors;
    const char *argument;
  } cases[] = {
      {"-Wno-alloc-size-larger-than", c_mask, OPT_Walloc_size_larger_than_eq, -1, 0, 0,
       "18446744073709551615EiB"},
      {"-Walloc-size-larger-than=1KiB", c_mask, OPT_Walloc_size_larger_than_eq, 1024, 0, 0,
       "1KiB"},
      {"-Walloc-size-larger-than=2kb", c_mask, OPT_Walloc_size_larger_than_eq, -1, 0,
       ERR_BAD_INTEGER, "2kb"},
      {"-Walloc-size-larger-than=", c_mask, OPT_Walloc_size_larger_than_eq, 0, 0,
       ERR_MISSING_ARGUMENT, nullptr},
      {"-ftabstop=-3", FLAG_COMMON, OPT_ftabstop_eq, -1, 0, ERR_BAD_INTEGER, "-3"},
      {"-ftabstop=0x1F", FLAG_COMMON, OPT_ftabstop_eq, 31, 0, 0, "0x1F"},
      {"-ftabstop=", FLAG_COMMON, OPT_ftabstop_eq, 1, 0, ERR_MISSING_ARGUMENT, nullptr},
      {"--param=align-threshold=0", FLAG_COMMON, OPT__param_eq_align_threshold_eq, 0, 0,
       ERR_OUT_OF_RANGE, "0"},
      {"--param=align-threshold=65536", FLAG_COMMON, OPT__param_eq_align_threshold_eq, 65536,
       0, 0, "65536"},
      {"-Wbidi-chars=any,ucn", c_mask, OPT_Wbidi_chars_eq, 6, 7, 0, "any,ucn"},
      {"-Wbidi-chars=any,none", c_mask, OPT_Wbidi_chars_eq, 2, 3, ERR_BAD_ENUM_SET,
       "any,none"},
      {"-Wbidi-chars=,any", c_mask, OPT_Wbidi_chars_eq, 0, 0, ERR_BAD_ENUM_SET, ",any"},
      {"-Wbidi-chars=any,,ucn", c_mask, OPT_Wbidi_chars_eq, 2, 3, ERR_BAD_ENUM_SET,
       "any,,ucn"},
      {"-Wbidi-chars=any,", c_mask, OPT_Wbidi_chars_eq, 2, 3, ERR_BAD_ENUM_SET, "any,"},
      {"-fsanitize-coverage=trace-pc,trace-cmp", FLAG_COMMON, OPT_fsanitize_coverage_eq, 3, 3,
       0, "trace-pc,trace-cmp"},
      {"-fextern-std=c++98", 1u << 5, OPT_fextern_std_eq, 199711, 0, 0, "c++03"},
      {"-ffp-contract=on", FLAG_COMMON, OPT_ffp_contract_eq, 0, 0, 0, "off"},
      {"-march=ARMv7-A", FLAG_TARGET, OPT_march_eq, 1, 0, 0, "armv7-a"},
      {"-mfpu=NEON", FLAG_TARGET, OPT_mfpu_eq, 1, 0, ERR_BAD_ENUM, "NEON"},
      {"-mfpu=neon", FLAG_TARGET, OPT_mfpu_eq, 8, 0, 0, "neon"},
      {"-Werror=implicit-function-declaration", FLAG_COMMON, OPT_Werror_eq, 1, 0,
       ERR_WRONG_LANGUAGE, "implicit-function-declaration"},
      {"-Werror=implicit-function-declaration", FLAG_COMMON | c_mask, OPT_Werror_eq, 1, 0, 0,
       "implicit-function-declaration"},
      {"-Werror-implicit-function-declaration", FLAG_COMMON, OPT_Werror_eq, 1, 0,
       ERR_WRONG_LANGUAGE, "implicit-function-declaration"},
      {"-Werror=a,b", FLAG_COMMON, OPT_Werror_eq, 1, 0, 0, "a,b"},
  };
  for (const auto &c : cases) {
    decoded_option d = decode({c.word}, c.mask);
    EXPECT_EQ(d.option_index, c.index) << c.word;
    EXPECT_EQ(d.value, c.value) << c.word;
    EXPECT_EQ(d.mask, c.mask_bits) << c.word;
    EXPECT_EQ(d.errors, c.errors) << c.word;
    EXPECT_EQ(text(d.argument), text(c.argument)) << c.word;
  }
}

TEST_F(DecodeTest, DriverOnlyEnumValues)
{
  int value = 0;
  EXPECT_EQ(enum_name_to_value(option_enums[1].values, "native", 0, &value, FLAG_DRIVER) >= 0,
            true);
  EXPECT_EQ(value, -1);
  EXPECT_LT(enum_name_to_value(option_enums[1].values, "native", 0, &value, FLAG_TARGET), 0);
  EXPECT_GE(enum_name_to_value(option_enums[1].values, "armv7-axyz", 7, &value, 0), 0);
  EXPECT_EQ(value, 15);
}

TEST_F(DecodeTest, IntegerArgumentsAndUnits)
{
  struct {
    const char *text;
    bool units;
    int64_t value;
    int error;
  } cases[] = {
      {"17", false, 17, 0},
      {"017", false, 17, 0},
      {"0x1F", false, 31, 0},
      {"12abc", false, -1, EINVAL},
      {"x", false, -1, EINVAL},
      {"", false, -1, EINVAL},
      {"99999999999999999999", false, -1, 0},
      {"3kB", true, 3000, 0},
      {"3KB", true, 3072, 0},
      {"3kib", true, 3072, 0},
      {"3mb", true, -1, EINVAL},
      {"3MB", true, 3000000, 0},
      {"3gib", true, 3ll << 30, 0},
      {"7EiB", true, 7ll << 60, 0},
      // 20 EiB wraps to 4 EiB, which is still above 20: must saturate.
      {"20EiB", true, -1, 0},
      {"18446744073709551615EiB", true, -1, 0},
      {"0EiB", true, 0, 0},
      {"3 kB", true, -1, EINVAL},
  };
  for (const auto &c : cases) {
    int error = 12345;
    EXPECT_EQ(parse_integer_argument(c.text, &error, c.units), c.value) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST_F(DecodeTest, ArgumentVectorsArePrunedAndRewritten)
{
  auto indices = [](const std::vector<decoded_option> &records) {
    std::vector<size_t> out;
    for (const auto &r : records)
      out.push_back(r.option_index);
    return out;
  };
  using V = std::vector<size_t>;
  EXPECT_EQ(indices(decode_all({"vuz", "-", "x.c", "--"})),
            (V{OPTION_PROGRAM_NAME, OPTION_INPUT_FILE, OPTION_INPUT_FILE, OPTION_UNKNOWN}));
  EXPECT_EQ(indices(decode_all({"vuz", "-fPIC", "-fpic"}, FLAG_COMMON)),
            (V{OPTION_PROGRAM_NAME, OPT_fpic}));
  EXPECT_EQ(indices(decode_all({"vuz", "-fpic", "-c", "-fPIE"}, FLAG_COMMON | FLAG_DRIVER)),
            (V{OPTION_PROGRAM_NAME, OPT_c, OPT_fPIE}));
  EXPECT_EQ(indices(decode_all({"vuz", "-march=armv7-a", "-march=armv6", "-Wl,a", "-Wl,b"},
                               FLAG_DRIVER | FLAG_TARGET)),
            (V{OPTION_PROGRAM_NAME, OPT_march_eq, OPT_Wl_, OPT_Wl_}));
  // Of -Wall and a later -Wno-all only the last stays.
  auto all = decode_all({"vuz", "-Wall", "-Wno-all"});
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].value, 0);
  // Options with errors other than the language are never pruned.
  EXPECT_EQ(indices(decode_all({"vuz", "-fdiagnostics-color=bad", "-fdiagnostics-color=never"})),
            (V{OPTION_PROGRAM_NAME, OPT_fdiagnostics_color_eq, OPT_fdiagnostics_color_eq}));

  // The plain-output expansion; the last colour setting wins and moves first.
  auto plain = decode_all({"vuz", "a.c", "-fdiagnostics-plain-output",
                           "-fdiagnostics-color=always"});
  ASSERT_EQ(plain.size(), 7u);
  EXPECT_EQ(plain[1].option_index, OPT_fdiagnostics_color_eq);
  EXPECT_EQ(plain[1].value, 1);
  EXPECT_EQ(plain[2].option_index, OPTION_INPUT_FILE);
  EXPECT_EQ(text(plain[3].canonical[0]), "-fno-diagnostics-show-caret");
  EXPECT_EQ(text(plain[6].canonical[0]), "-fdiagnostics-path-format=separate-events");

  std::vector<const char *> words = {"vuz", "--param", "x=1", "--param"};
  auto param = decode_all(words);
  ASSERT_EQ(param.size(), 3u);
  EXPECT_EQ(text(param[1].as_written), "--param=x=1");
  EXPECT_EQ(param[1].option_index, OPTION_UNKNOWN);
  EXPECT_EQ(text(param[2].argument), "--param");
}

TEST_F(DecodeTest, PruningStaysLinearAndMatchesTheWalk)
{
  // A long response file of cancelling options keeps exactly the last ones.
  std::vector<const char *> words = {"vuz"};
  const char *cycle[] = {"-fpic", "-Wall", "-Wno-all", "-fPIE", "-c", "-fpie"};
  for (int i = 0; i < 100000; i++)
    words.push_back(cycle[i % 6]);
  auto records = decode_all(words, FLAG_DRIVER | FLAG_COMMON);
  std::vector<std::string> kept;
  for (const auto &r : records)
    kept.push_back(text(r.as_written));
  // -c has no negation and stays every time; only the last -Wno-all and -fpie survive.
  size_t c_count = 0;
  for (const auto &k : kept)
    c_count += k == "-c";
  EXPECT_EQ(c_count, 100000u / 6 + (100000 % 6 > 4 ? 1 : 0));
  EXPECT_EQ(kept.size(), 1 + c_count + 2);
  EXPECT_EQ(kept.back(), std::string(cycle[(100000 - 1) % 6]));
}

// The pruning walk as first described: every record against every later one.
std::vector<std::string> pruned_by_walk(const std::vector<decoded_option> &records)
{
  auto plain = [](const decoded_option &r) {
    return !(r.errors & ~ERR_WRONG_LANGUAGE) && r.option_index < option_count;
  };
  auto takes_part = [&plain](const decoded_option &r) {
    if (!plain(r))
      return false;
    const option_descriptor &row = option_rows[r.option_index];
    if (row.negation_index < 0)
      return false;
    return !(row.flags & FLAG_JOINED) ||
           (row.bits.rejects_negative && size_t(row.negation_index) == r.option_index);
  };
  std::vector<std::string> out;
  const decoded_option *color = nullptr;
  for (size_t j = 0; j < records.size(); j++) {
    const decoded_option &r = records[j];
    if (plain(r) && r.option_index == OPT_fdiagnostics_color_eq) {
      color = &r;
      continue;
    }
    bool dropped = false;
    if (takes_part(r))
      for (size_t k = j + 1; k < records.size() && !dropped; k++) {
        if (!takes_part(records[k]))
          continue;
        size_t later = records[k].option_index;
        int32_t next = option_rows[later].negation_index;
        for (int steps = 0; steps < 16 && next >= 0; steps++) {
          if (size_t(next) == r.option_index) {
            dropped = true;
            break;
          }
          if (size_t(next) == later)
            break;
          next = option_rows[next].negation_index;
        }
      }
    if (!dropped)
      out.push_back(r.as_written);
  }
  if (color)
    out.insert(out.begin() + 1, color->as_written);
  return out;
}

TEST_F(DecodeTest, PruningAgreesWithThePlainWalk)
{
  const char *pool[] = {"-fpic", "-fPIC", "-fpie", "-fPIE", "-fno-pic", "-Wall", "-Wno-all",
                        "-march=armv6", "-march=armv7-a", "-Wl,x", "-cpp", "-nocpp", "-cpp=x",
                        "-pie", "-no-pie", "-shared", "-static-pie", "-gdwarf", "-gstabs+",
                        "-marm", "-mthumb", "-mno-thumb", "-c", "a.c", "-fdiagnostics-color=never",
                        "-fdiagnostics-color=bad", "-fno-diagnostics-color", "-Qn", "-Qy",
                        "-mbe8", "-mbe32", "-fuse-ld=yent", "-fuse-ld=plavo", "-unknown-thing"};
  const uint32_t masks[] = {FLAG_DRIVER, FLAG_DRIVER | FLAG_COMMON | FLAG_TARGET | 0xfff};
  unsigned seed = 7;
  for (int round = 0; round < 400; round++) {
    uint32_t mask = masks[round % 2];
    std::vector<const char *> words = {"vuz"};
    seed = seed * 1103515245u + 12345u;
    unsigned length = (seed >> 16) % 12;
    for (unsigned i = 0; i < length; i++) {
      seed = seed * 1103515245u + 12345u;
      words.push_back(pool[(seed >> 16) % (sizeof pool / sizeof pool[0])]);
    }
    std::vector<decoded_option> one_by_one(1);
    make_input_file_option("vuz", &one_by_one[0]);
    for (size_t i = 1; i < words.size(); i++) {
      decoded_option d;
      if (words[i][0] == '-')
        d = decode({words[i]}, mask);
      else
        make_input_file_option(words[i], &d);
      one_by_one.push_back(d);
    }
    std::vector<std::string> got;
    for (const auto &r : decode_all(words, mask))
      got.push_back(r.as_written);
    ASSERT_EQ(got, pruned_by_walk(one_by_one)) << "round " << round;
  }
}

TEST_F(DecodeTest, GeneratedOptions)
{
  decoded_option d;
  generate_option(OPT_Wall, nullptr, 0, FLAG_DRIVER, &d);
  EXPECT_EQ(text(d.canonical[0]), "-Wno-all");
  EXPECT_EQ(d.errors, ERR_WRONG_LANGUAGE);
  generate_option(OPT_o, "a.out", 1, FLAG_DRIVER, &d);
  EXPECT_EQ(text(d.as_written), "-o a.out");
  EXPECT_EQ(d.canonical_count, 2u);
  EXPECT_EQ(d.errors, 0);
  generate_option(OPT_gpubnames, nullptr, 0, FLAG_DRIVER, &d);
  EXPECT_EQ(text(d.canonical[0]), "-gno-pubnames");
  generate_option(OPT_fdiagnostics_color_eq, "never", 0, FLAG_DRIVER, &d);
  EXPECT_EQ(text(d.canonical[0]), "-fdiagnostics-color=never");
  make_input_file_option("in.c", &d);
  EXPECT_EQ(d.option_index, OPTION_INPUT_FILE);
  EXPECT_EQ(text(d.as_written), "in.c");
}

}  // namespace
