// Edit distances, closest strings, option suggestions and completions.
#include "options/option-suggest.h"

#include "options/option-decode.h"
#include "tests/options/old-closest-string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string text(const char *s)
{
  return s ? s : "(null)";
}

TEST(EditDistance, HalfStepsAndCutoff)
{
  struct {
    const char *s, *t;
    unsigned distance;
  } distances[] = {
      {"kitten", "sitting", 6}, {"ab", "ba", 2},   {"abc", "ABC", 3}, {"", "abc", 6},
      {"abc", "", 6},           {"", "", 0},       {"abc", "abc", 0}, {"abcd", "acbd", 2},
      {"a", "B", 2},            {"flo", "fol", 2},
  };
  for (const auto &d : distances) {
    EXPECT_EQ(edit_distance_of(d.s, d.t), d.distance) << d.s << " " << d.t;
    EXPECT_EQ(edit_distance_of(d.t, d.s), d.distance) << d.t << " " << d.s;
  }
  struct {
    size_t a, b;
    unsigned cutoff;
  } cutoffs[] = {{6, 7, 4}, {12, 12, 8}, {3, 10, 8}, {1, 1, 0}, {1, 0, 0},
                 {5, 4, 2}, {2, 2, 2},   {6, 6, 4}, {4, 6, 5}};
  for (const auto &c : cutoffs) {
    EXPECT_EQ(distance_cutoff(c.a, c.b), c.cutoff) << c.a << " " << c.b;
    EXPECT_EQ(distance_cutoff(c.b, c.a), c.cutoff) << c.b << " " << c.a;
  }
}

TEST(EditDistance, ClosestString)
{
  vec<const char *> *candidates = nullptr;
  EXPECT_EQ(find_closest_string("x", candidates), nullptr);
  for (const char *c : {"address", "thread", "leak", "dress", "adress"})
    vec_safe_push(candidates, c);
  EXPECT_EQ(text(find_closest_string("adres", candidates)), "adress");
  EXPECT_EQ(find_closest_string("address", candidates), nullptr);  // exact: nothing to suggest
  EXPECT_EQ(text(find_closest_string("thraed", candidates)), "thread");
  EXPECT_EQ(find_closest_string("zzzzzz", candidates), nullptr);
  EXPECT_EQ(find_closest_string("l", candidates), nullptr);  // single characters
  char *list;
  EXPECT_EQ(text(candidate_list_and_suggestion("leek", &list, candidates)), "leak");
  EXPECT_EQ(std::string(list), "address thread leak dress adress");
  free(list);
  vec_release(candidates);
}

class SuggesterTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { init_option_obstack(); }
  void TearDown() override { option_candidates_free(&suggester); }
  option_suggester suggester = {};

  std::vector<std::string> completions(const char *prefix)
  {
    vec<const char *> *results = nullptr;
    get_completions(&suggester, prefix, results);
    std::vector<std::string> out;
    for (uint32_t i = 0; i < vec_length(results); i++) {
      out.push_back((*results)[i]);
      free(const_cast<char *>((*results)[i]));
    }
    vec_release(results);
    return out;
  }
};

TEST_F(SuggesterTest, Suggestions)
{
  struct {
    const char *misspelt;
    const char *expected;
  } cases[] = {
      {"fno-unrolll-loops", "fno-unroll-loops"},
      {"Wunused-varable", "Wunused-variable"},
      {"Wal", "Wa,"},  // first of the closest, in table order
      {"-helpp", "-help"},
      {"fsanitize=adress", "fsanitize=address"},
      {"fdiagnostics-color=allways", "fdiagnostics-color=always"},
      {"xyzzy-plugh-unknown-thing", nullptr},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text(suggest_option(&suggester, c.misspelt)), text(c.expected)) << c.misspelt;
}

TEST_F(SuggesterTest, CompletionEdgeCases)
{
  EXPECT_TRUE(completions("").empty());
  EXPECT_TRUE(completions(nullptr).empty());
  EXPECT_EQ(completions("-fsanitize=ad"), std::vector<std::string>{"-fsanitize=address"});
  EXPECT_EQ(completions("fsanitize=ad"), std::vector<std::string>{"-fsanitize=address"});
  auto all = completions("-fno-sanitize=al");
  EXPECT_NE(std::find(all.begin(), all.end(), "-fno-sanitize=all"), all.end());
  EXPECT_TRUE(completions("-fno-fno-").empty());
  auto params = completions("--param al");
  EXPECT_NE(std::find(params.begin(), params.end(), "--param align-threshold="), params.end());
  testing::internal::CaptureStdout();
  print_option_completions(&suggester, "-fsanitize-recover=sh");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "-fsanitize-recover=shift\n-fsanitize-recover=shift-base\n"
            "-fsanitize-recover=shift-exponent\n-fsanitize-recover=shadow-call-stack\n");
}

// A plain model of the candidate list, written from the rules with strings.
std::vector<std::string> model_candidates()
{
  std::vector<std::string> out;
  auto add = [&out](const option_descriptor &row, const std::string &t) {
    if ((row.flags & (FLAG_UNDOCUMENTED | FLAG_JOINED | FLAG_DRIVER | FLAG_TARGET | FLAG_COMMON |
                      FLAG_LANGUAGE_MASK)) == (FLAG_UNDOCUMENTED | FLAG_JOINED))
      return;
    out.push_back(t.substr(1));
    for (const option_prefix_entry &e : option_prefix_map) {
      if (e.negated && row.bits.rejects_negative)
        continue;
      std::string replacement = e.replacement;
      if (t.compare(0, replacement.size(), replacement) == 0)
        out.push_back(std::string(e.prefix + 1) + t.substr(replacement.size()));
    }
    if (t.rfind("--param=", 0) == 0)
      out.push_back("-param " + t.substr(8));
  };
  for (unsigned i = 0; i < option_count; i++) {
    const option_descriptor &row = option_rows[i];
    std::string t = row.text;
    if (t == "-fsanitize=" || t == "-fsanitize-recover=") {
      add(row, t);
      for (const sanitizer_entry *s = sanitizer_names; s->name; s++) {
        if (t == "-fsanitize=" && std::string(s->name) == "all") {
          option_descriptor negated = row;
          negated.bits.rejects_negative = 1;
          add(negated, "-fno-sanitize=all");
        } else {
          add(row, t + s->name);
        }
      }
    } else if (row.variable_kind == VAR_ENUM) {
      for (const enum_value_entry *v = option_enums[row.enum_index].values; v->name; v++)
        add(row, t + v->name);
      add(row, t);
    } else {
      add(row, t);
    }
  }
  return out;
}

TEST_F(SuggesterTest, CompletionsOfShortPrefixesMatchTheModel)
{
  std::vector<std::string> model = model_candidates();
  std::set<std::string> prefixes = {"zq", "~", "-Wnonexistent-", "Q"};
  for (const std::string &c : model)
    for (size_t n = 1; n <= 3 && n <= c.size(); n++)
      prefixes.insert(c.substr(0, n));
  for (const std::string &p : prefixes) {
    std::vector<std::string> expected;
    for (const std::string &c : model)
      if (c.compare(0, p.size(), p) == 0)
        expected.push_back("-" + c);
    // The prefix may be given with or without its dash.
    ASSERT_EQ(completions(("-" + p).c_str()), expected) << p;
    if (p[0] != '-')
      ASSERT_EQ(completions(p.c_str()), expected) << p;
  }
}

// The closest-string walk exactly as written, without the shortcuts.
const char *plain_closest(const char *target, const vec<const char *> *candidates)
{
  size_t g = strlen(target);
  unsigned best_distance = UINT_MAX;
  const char *best = nullptr;
  for (const char *c : *candidates) {
    size_t n = strlen(c);
    size_t difference = n > g ? n - g : g - n;
    if (difference >= best_distance || difference > distance_cutoff(g, n))
      continue;
    unsigned d = edit_distance(target, g, c, n);
    if (d < best_distance) {
      best_distance = d;
      best = c;
    }
  }
  if (best && best_distance >= 1 && best_distance <= distance_cutoff(g, strlen(best)))
    return best;
  return nullptr;
}

TEST_F(SuggesterTest, ClosestStringAgreesWithThePlainWalk)
{
  suggest_option(&suggester, "x");
  const vec<const char *> *candidates = suggester.candidates;
  unsigned seed = 12345;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  std::vector<std::string> targets = {"", "x", "W", "fno-", "qwertyuiop", "FSANITIZE=ADDRESS",
                                      "mthumb-interwrok", "-param=align-threshold"};
  while (targets.size() < 60) {
    std::string t = (*candidates)[next(vec_length(candidates))];
    for (unsigned edits = next(4); edits > 0 && !t.empty(); edits--) {
      size_t at = next(static_cast<unsigned>(t.size()));
      switch (next(4)) {
      case 0: t.erase(at, 1); break;
      case 1: t.insert(at, 1, static_cast<char>('a' + next(26))); break;
      case 2: t[at] = static_cast<char>(toupper(static_cast<unsigned char>(t[at]))); break;
      default:
        if (at + 1 < t.size())
          std::swap(t[at], t[at + 1]);
      }
    }
    targets.push_back(t);
  }
  for (const std::string &t : targets)
    EXPECT_EQ(text(find_closest_string(t.c_str(), candidates)),
              text(plain_closest(t.c_str(), candidates)))
        << t;
}

// Every spelling of the table, each with a seeded typo of one or two edits
// (alternately): the suggestion and the closest string of the whole list
// agree with the search as it was before it was made fast.
// Four shards, so that CTest runs them side by side.
class TypoShard : public SuggesterTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(TypoShard, EveryTypoGetsTheOldSuggestion)
{
  suggest_option(&suggester, "x");
  const vec<const char *> *candidates = suggester.candidates;
  unsigned seed = 2026 + GetParam();
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  static const char typed[] = "abcdefghijklmnopqrstuvwxyzABCXYZ0123456789-=_,.+ ";
  for (uint32_t i = GetParam(); i < vec_length(candidates); i += 4) {
    std::string t = (*candidates)[i];
    for (unsigned edits = 1 + i / 4 % 2; edits > 0; edits--) {
      size_t at = t.empty() ? 0 : next(static_cast<unsigned>(t.size()));
      char c = typed[next(sizeof typed - 1)];
      switch (t.empty() ? 1 : next(5)) {
      case 0: t.erase(at, 1); break;
      case 1: t.insert(at, 1, c); break;
      case 2: t[at] = c; break;
      case 3: t[at] = static_cast<char>(isupper(static_cast<unsigned char>(t[at])) ? tolower(t[at]) : toupper(t[at])); break;
      default:
        if (at + 1 < t.size())
          std::swap(t[at], t[at + 1]);
      }
    }
    const char *expected = old_find_closest_string(t.c_str(), candidates);
    ASSERT_EQ(text(suggest_option(&suggester, t.c_str())), text(expected)) << t;
    // The plain-list search walks in list order: a sample of the typos.
    if (i / 4 % 4 == 0)
      ASSERT_EQ(text(find_closest_string(t.c_str(), candidates)), text(expected)) << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, TypoShard, ::testing::Range(0u, 4u));

}  // namespace
