// Generated patterns, in extended and basic syntax, against the leftmost-longest
// match that regex-differential.py works out with python's re.
#include "support/regex.h"

#include "tests/common/generator-lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string from_hex(const std::string &hex)
{
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<std::string> split_tabs(const std::string &line)
{
  std::vector<std::string> fields;
  size_t from = 0;
  for (;;) {
    size_t tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab == std::string::npos ? tab : tab - from));
    if (tab == std::string::npos)
      return fields;
    from = tab + 1;
  }
}

struct outcome {
  int start = -1;
  int end = -1;
  int compile_error = 0;
};

outcome run(const std::string &pattern, int cflags, const std::string &subject)
{
  outcome result;
  regex_pattern compiled = {};
  result.compile_error = regex_posix_compile(&compiled, pattern.c_str(), cflags);
  if (result.compile_error == 0) {
    struct regex_match slot[1];
    if (regex_posix_exec(&compiled, subject.c_str(), 1, slot, 0) == 0) {
      result.start = slot[0].start;
      result.end = slot[0].end;
    }
  }
  regex_free(&compiled);
  return result;
}

std::string shown(const std::string &text)
{
  std::string out;
  for (char c : text)
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return "\"" + out + "\"";
}

TEST(RegexDifferential, LeftmostLongestAgreesWithPython)
{
  std::vector<std::string> lines;
  const char *seed = getenv("REGEX_DIFFERENTIAL_SEED");
  if (!generator_lines(__FILE__, "regex-differential.py", seed ? atoi(seed) : 20261210, 1500,
                       &lines))
    GTEST_SKIP() << "python3 could not run the generator: "
                 << (lines.empty() ? std::string() : lines[0]);
  ASSERT_GT(lines.size(), 1000u);
  int mismatches = 0;
  for (const std::string &line : lines) {
    std::vector<std::string> f = split_tabs(line);
    ASSERT_EQ(f.size(), 6u) << line;
    int flags = std::stoi(f[0]);
    std::string subject = from_hex(f[3]);
    int start = std::stoi(f[4]), end = std::stoi(f[5]);
    for (int extended = 0; extended < 2; extended++) {
      std::string pattern = from_hex(extended ? f[1] : f[2]);
      outcome got = run(pattern, flags | (extended ? REG_EXTENDED : 0), subject);
      if (got.compile_error || got.start != start || got.end != end) {
        if (++mismatches <= 20)
          ADD_FAILURE() << (extended ? "extended " : "basic ") << shown(pattern) << " flags "
                        << flags << " on " << shown(subject) << ": expected [" << start << ","
                        << end << ") got [" << got.start << "," << got.end << ") compile "
                        << got.compile_error;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
