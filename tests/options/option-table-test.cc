// The compiled option table against its data files, read here independently
// of the generator, and against the invariants that lookup relies on.
#include "options/option-table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::vector<std::string>> read_data(const char *name)
{
  const char *root = getenv("VUZ_SOURCE_DIR");
  std::ifstream in(std::string(root ? root : VUZ_SOURCE_ROOT) + "/options/data/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    // Words, with "quoted text" kept as one word without its quotes.
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
      if (line[i] == ' ') {
        i++;
      } else if (line[i] == '"') {
        size_t end = line.find('"', i + 1);
        words.push_back(line.substr(i + 1, end - i - 1));
        i = end + 1;
      } else {
        size_t end = line.find(' ', i);
        if (end == std::string::npos)
          end = line.size();
        words.push_back(line.substr(i, end - i));
        i = end;
      }
    }
    lines.push_back(words);
  }
  return lines;
}

// The code of a compiled row, as a set of letters and its range.
std::string row_code(const option_descriptor &row)
{
  static const char languages[] = "asycxdfglzop";
  std::string letters;
  for (int bit = 0; bit < 12; bit++)
    if (row.flags & (1u << bit))
      letters += languages[bit];
  static const struct {
    uint32_t flag;
    char letter;
  } classes[] = {{FLAG_PARAMS, 'P'},   {FLAG_WARNING, 'W'},       {FLAG_OPTIMIZATION, 'O'},
                 {FLAG_DRIVER, 'D'},   {FLAG_TARGET, 'T'},        {FLAG_COMMON, 'C'},
                 {FLAG_JOINED, 'J'},   {FLAG_SEPARATE, 'S'},      {FLAG_UNDOCUMENTED, 'U'},
                 {FLAG_NO_PRODUCER_RECORD, 'N'}};
  for (const auto &c : classes)
    if (row.flags & c.flag)
      letters += c.letter;
  if (row.bits.rejects_negative)
    letters += 'R';
  if (row.bits.argument_optional)
    letters += 'M';
  if (row.bits.unsigned_integer)
    letters += 'I';
  std::multiset<char> sorted(letters.begin(), letters.end());
  std::string out(sorted.begin(), sorted.end());
  if (row.range_max != -1)
    out += " " + std::to_string(row.range_min) + ".." + std::to_string(row.range_max);
  return out;
}

std::string data_code(const std::vector<std::string> &words)
{
  std::string letters, range;
  for (size_t i = 1; i < words.size(); i++) {
    if (words[i].find("..") != std::string::npos)
      range = " " + words[i];
    else
      letters += words[i];
  }
  std::multiset<char> sorted(letters.begin(), letters.end());
  return std::string(sorted.begin(), sorted.end()) + range;
}

size_t row_index(const char *text)
{
  for (size_t i = 0; i < option_count; i++)
    if (strcmp(option_rows[i].text, text) == 0)
      return i;
  return OPTION_NONE;
}

TEST(OptionTable, RowsMatchTheDataAndAreSorted)
{
  EXPECT_EQ(option_table.option_count, 1971u);
  EXPECT_EQ(option_table.language_count, 12u);
  EXPECT_STREQ(option_table.language_names[9], "Zorbul");
  EXPECT_EQ(option_table.language_names[12], nullptr);
  EXPECT_STREQ(option_rows[0].text, "-###");
  EXPECT_STREQ(option_rows[option_count - 1].text, "-z");
  for (size_t i = 1; i < option_count; i++)
    ASSERT_LT(strcmp(option_rows[i - 1].text, option_rows[i].text), 0) << option_rows[i].text;

  auto lines = read_data("options.txt");
  ASSERT_EQ(lines.size(), size_t(option_count));
  for (const auto &words : lines) {
    size_t i = row_index(words[0].c_str());
    ASSERT_NE(i, size_t(OPTION_NONE)) << words[0];
    EXPECT_EQ(row_code(option_rows[i]), data_code(words)) << words[0];
    EXPECT_EQ(option_rows[i].text_length, words[0].size() - 1) << words[0];
  }
}

// The packed texts that lookup searches are the rows' texts, in row order.
TEST(OptionTable, SearchTextsAreTheRowTexts)
{
  for (size_t i = 0; i < option_count; i++) {
    ASSERT_STREQ(option_search_texts + option_search_starts[i], option_rows[i].text + 1) << i;
    if (i + 1 < option_count)
      ASSERT_EQ(option_search_starts[i + 1],
                option_search_starts[i] + option_rows[i].text_length + 1u) << i;
  }
}

TEST(OptionTable, AliasesMatchTheData)
{
  std::set<size_t> seen;
  for (const auto &words : read_data("aliases.txt")) {
    size_t i = row_index(words[0].c_str());
    ASSERT_NE(i, size_t(OPTION_NONE)) << words[0];
    seen.insert(i);
    const option_descriptor &row = option_rows[i];
    size_t target = words[1] == "ignored"   ? size_t(OPTION_IGNORED)
                    : words[1] == "removed" ? size_t(OPTION_REMOVED)
                                            : row_index(words[1].c_str());
    EXPECT_EQ(row.alias_target, target) << words[0];
    EXPECT_EQ(std::string(row.alias_argument ? row.alias_argument : "-"),
              words.size() > 2 ? words[2] : "-")
        << words[0];
    EXPECT_EQ(std::string(row.negative_alias_argument ? row.negative_alias_argument : "-"),
              words.size() > 3 ? words[3] : "-")
        << words[0];
    EXPECT_EQ(row.variable_location, option_no_variable) << words[0];
    if (target < option_count)
      EXPECT_EQ(option_rows[target].alias_target, OPTION_NONE) << words[0];
  }
  EXPECT_EQ(seen.size(), 188u + 44 + 52);
  for (size_t i = 0; i < option_count; i++)
    if (!seen.count(i))
      EXPECT_EQ(option_rows[i].alias_target, OPTION_NONE) << option_rows[i].text;
}

TEST(OptionTable, BackChainsAndNegations)
{
  unsigned chains = 0;
  for (size_t i = 0; i < option_count; i++) {
    size_t expected = OPTION_NONE;
    for (size_t j = i; j-- > 0;) {
      const option_descriptor &p = option_rows[j];
      if ((p.flags & FLAG_JOINED) && strncmp(option_rows[i].text, p.text, strlen(p.text)) == 0) {
        expected = j;
        break;
      }
    }
    ASSERT_EQ(option_rows[i].back_chain, expected) << option_rows[i].text;
    chains += expected != OPTION_NONE;
  }
  EXPECT_EQ(chains, 118u);
  EXPECT_EQ(option_rows[OPT_gno_].back_chain, OPT_g);

  struct {
    size_t row;
    int32_t negation;
  } cases[] = {
      {OPT_Wall, OPT_Wall},          {OPT_fPIC, OPT_fPIE},       {OPT_fpie, OPT_fPIC},
      {OPT_march_eq, OPT_march_eq},  {OPT_mthumb, OPT_marm},     {OPT_marm, OPT_mthumb},
      {OPT_cpp_eq, OPT_nocpp},       {OPT_nocpp, OPT_cpp},       {OPT_static_pie, OPT_pie},
      {OPT_gxcoffplus, OPT_gdwarf},  {OPT_o, -1},                {OPT_fsanitize_eq, OPT_fsanitize_eq},
      {OPT_fdiagnostics_color_eq, -1}, {OPT_fcilkplus, OPT_fcilkplus}, {OPT_c, -1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(option_rows[c.row].negation_index, c.negation) << option_rows[c.row].text;
}

TEST(OptionTable, TellingRows)
{
  const option_descriptor &thumb = option_rows[OPT_mthumb];
  EXPECT_EQ(thumb.variable_kind, VAR_BIT_SET);
  EXPECT_EQ(thumb.variable_value, 16);
  EXPECT_EQ(thumb.variable_location, offsetof(option_values, target_flags));
  EXPECT_EQ(option_rows[OPT_fPIC].variable_kind, VAR_EQUAL);
  EXPECT_EQ(option_rows[OPT_fPIC].variable_value, 2);
  EXPECT_EQ(option_rows[OPT_fPIC].variable_location, option_rows[OPT_fpic].variable_location);
  EXPECT_EQ(option_rows[OPT__param_eq_align_threshold_eq].range_min, 1);
  EXPECT_EQ(option_rows[OPT__param_eq_align_threshold_eq].range_max, 65536);
  EXPECT_EQ(option_rows[OPT_fdiagnostics_color_eq].enum_index, 12u);
  EXPECT_EQ(option_rows[OPT_fdump_].variable_kind, VAR_DEFERRED);
  EXPECT_EQ(option_rows[OPT_fdump_].variable_location,
            option_rows[OPT_fplugin_eq].variable_location);
  EXPECT_TRUE(option_rows[OPT_MD].bits.no_driver_argument);
  EXPECT_TRUE(option_rows[OPT_quiet].bits.rejected_by_driver);
  EXPECT_NE(option_rows[OPT_quiet].variable_location, option_no_variable);
  EXPECT_EQ(option_rows[OPT_x].variable_location, option_no_variable);
  EXPECT_TRUE(option_rows[OPT_fkeep_inline_dllexport].bits.disabled);
  EXPECT_STREQ(option_rows[OPT_o].help, "-o <file>\tPlace output into <file>.");
  EXPECT_STREQ(option_rows[OPT_o].missing_argument_message, "missing filename after %qs");
  EXPECT_NE(option_rows[OPT_fhandle_exceptions].warning_message, nullptr);

  // The -gno- row stops lookup: joined, undocumented, of no class.
  EXPECT_EQ(option_rows[OPT_gno_].flags, uint32_t(FLAG_JOINED | FLAG_UNDOCUMENTED));
  for (size_t i = 0; i < option_count; i++)
    EXPECT_EQ(bool(option_rows[i].flags & FLAG_NO_PRODUCER_RECORD),
              i == OPT_mlibarch_eq || i == OPT_cpp_eq)
        << option_rows[i].text;

  unsigned without_variable = 0;
  for (size_t i = 0; i < option_count; i++)
    without_variable += option_rows[i].variable_location == option_no_variable;
  EXPECT_EQ(without_variable, 621u);
}

TEST(OptionTable, EnumsSanitizersAndPrefixes)
{
  for (unsigned e = 0; e < option_enum_count; e++) {
    const enum_value_entry *v = option_enums[e].values;
    ASSERT_NE(v[0].name, nullptr);
    for (size_t i = 1; v[i].name; i++)
      EXPECT_LT(strcmp(v[i - 1].name, v[i].name), 0) << e << " " << v[i].name;
    EXPECT_EQ(option_enums[e].variable_size, 4u);
    int32_t variable = 0;
    option_enums[e].set(&variable, -7);
    EXPECT_EQ(option_enums[e].get(&variable), -7);
  }
  // Listed as "fast", "off", "on": the first of equal values is "off".
  const enum_value_entry *contract = option_enums[option_rows[OPT_ffp_contract_eq].enum_index].values;
  EXPECT_STREQ(contract[1].name, "off");
  EXPECT_EQ(contract[2].value, contract[1].value);

  unsigned sanitizers = 0;
  for (const sanitizer_entry *s = sanitizer_names; s->name; s++, sanitizers++)
    EXPECT_EQ(s->length, strlen(s->name));
  EXPECT_EQ(sanitizers, 33u);
  EXPECT_STREQ(sanitizer_names[32].name, "all");
  EXPECT_EQ(sanitizer_names[32].flag_mask, 0xffffffffu);
  EXPECT_EQ(sanitizer_names[33].flag_mask, 0u);

  EXPECT_STREQ(option_prefix_map[9].prefix, "--machine");
  EXPECT_STREQ(option_prefix_map[9].next_word_prefix, "");
  EXPECT_STREQ(option_prefix_map[10].next_word_prefix, "no-");
  EXPECT_EQ(option_prefix_map[0].next_word_prefix, nullptr);
  EXPECT_EQ(option_prefix_map[17].negated, 1);
}

TEST(OptionValues, DefaultsImage)
{
  auto int_at = [](size_t row) {
    int32_t v;
    memcpy(&v, reinterpret_cast<const char *>(&option_values_defaults) +
                   option_rows[row].variable_location,
           sizeof v);
    return v;
  };
  auto wide_at = [](size_t row) {
    int64_t v;
    memcpy(&v, reinterpret_cast<const char *>(&option_values_defaults) +
                   option_rows[row].variable_location,
           sizeof v);
    return v;
  };
  EXPECT_EQ(int_at(OPT_gdwarf_), 5);
  EXPECT_EQ(int_at(OPT__param_eq_align_threshold_eq), 100);
  EXPECT_EQ(int_at(OPT_fpic), -1);
  EXPECT_EQ(int_at(OPT_Wreturn_type), -1);
  EXPECT_EQ(int_at(OPT_Wtrigraphs), 2);
  EXPECT_EQ(wide_at(OPT_Wframe_larger_than_eq), INT64_MAX);
  EXPECT_EQ(int_at(OPT_Wextra), 0);
  EXPECT_EQ(option_values_defaults.target_flags, 0);
  EXPECT_STREQ(option_unowned_fields[0].name, "arm_stack_protector_guard_offset");
  EXPECT_EQ(option_unowned_fields[44].position,
            offsetof(option_values, flag_instrument_functions_exclude_functions));
}

}  // namespace
