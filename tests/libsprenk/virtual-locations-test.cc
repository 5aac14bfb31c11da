// Virtual locations of macro expansions: where each token of the expanded
// stream resolves to (its spelling, its place in the definition, the
// expansion point), at each tracking level, and the queries that unwind them.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

namespace {

struct located {
  std::string text;
  location_t at;
};

// The expanded stream of TEXT, padding left out, each token with the
// location the stream gives it.
std::vector<located> read_all(pp_fixture &f, const std::string &text)
{
  std::vector<located> out;
  f.push(text);
  for (;;) {
    location_t at;
    const preproc_token *t = cpp_next_token_with_location(f.reader, &at);
    if (t->kind == TK_EOF)
      break;
    if (t->kind != TK_PADDING)
      out.push_back({f.spell(t), at});
  }
  return out;
}

std::string resolved(pp_fixture &f, location_t at, resolve_target target)
{
  return f.where(linemap_resolve_location(f.lines.get(), at, target, nullptr));
}

// "spelling definition expansion" for one token, as line:column triples.
std::string places(pp_fixture &f, location_t at)
{
  return resolved(f, at, RESOLVE_TO_SPELLING) + " " + resolved(f, at, RESOLVE_TO_DEFINITION) +
         " " + resolved(f, at, RESOLVE_TO_EXPANSION);
}

// Each token of the stream as "text@spelling definition expansion".
words placed_stream(const std::string &text, uint8_t level = 2)
{
  pp_fixture f;
  f.options()->macro_expansion_tracking = level;
  define_special_builtins(f.reader);
  words out;
  for (const located &t : read_all(f, text))
    out.push_back(t.text + "@" + places(f, t.at));
  return out;
}

// The macro locations a token passes through on its way out, one step of
// unwind_macro_step at a time, each shown at its place in a definition.
std::string unwinding(pp_fixture &f, location_t at)
{
  linemap_set *set = f.lines.get();
  std::string out;
  const line_map *map = linemap_find_map(set, at);
  while (map_is_macro_map(map)) {
    out += resolved(f, at, RESOLVE_TO_DEFINITION) + " ";
    at = unwind_macro_step(set, at, &map);
  }
  return out + f.where(at);
}

} // namespace

TEST(VirtualLocations, WhereEachTokenResolves)
{
  struct {
    const char *text;
    words expected;
  } cases[] = {
      // An object-like macro: spelled and defined in the definition.
      {"#define A x y\nA", {"x@1:11 1:11 2:1", "y@1:13 1:13 2:1"}},
      // Nested: the inner macro's token, expanded where the outer one was.
      {"#define A B z\n#define B x\nA", {"x@2:11 2:11 3:1", "z@1:13 1:13 3:1"}},
      // An argument used twice: spelled once, at two places in the definition.
      {"#define D(a) a+a\nD(q)", {"q@2:3 1:14 2:1", "+@1:15 1:15 2:1", "q@2:3 1:16 2:1"}},
      // Arguments expanded before they replace the parameter.
      {"#define O o\n#define D(a) [a]\nD(O)",
       {"[@2:14 2:14 3:1", "o@1:11 2:15 3:1", "]@2:16 2:16 3:1"}},
      // A string made by "#" is spelled where the operand stands.
      {"#define S(a) #a\nS(q r)", {"\"q r\"@1:15 1:15 2:1"}},
      // A pasted token is spelled where its left operand was.
      {"#define P(a,b) a##b\nP(x,y) P(x, 1)", {"xy@2:3 1:16 2:1", "x1@2:10 1:16 2:8"}},
      {"#define V(...) [__VA_OPT__(k __VA_ARGS__)]\nV(m) V()",
       {"[@1:16 1:16 2:1", "k@1:28 1:28 2:1", "m@2:3 1:30 2:1", "]@1:42 1:42 2:1",
        "[@1:16 1:16 2:6", "]@1:42 1:42 2:6"}},
      {"#define G(...) #__VA_OPT__(a b)\nG(1)", {"\"a b\"@1:17 1:17 2:1"}},
      // A built-in made inside a macro is spelled nowhere; outside one it
      // stands where it was written.
      {"#define L __LINE__\nL __LINE__", {"2@- - 2:1", "2@2:3 2:3 2:3"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(placed_stream(c.text), c.expected) << c.text;
}

// Without tracking every token of an expansion is at the expansion point;
// at level 1 an argument's tokens share one location, where the first of
// them is spelled.
TEST(VirtualLocations, TrackingLevels)
{
  const char *text = "#define D(a) [a]\nD(q r)";
  EXPECT_EQ(placed_stream(text, 0),
            (words{"[@2:1 2:1 2:1", "q@2:1 2:1 2:1", "r@2:1 2:1 2:1", "]@2:1 2:1 2:1"}));
  EXPECT_EQ(placed_stream(text, 1),
            (words{"[@1:14 1:14 2:1", "q@2:3 1:15 2:1", "r@2:3 1:15 2:1", "]@1:16 1:16 2:1"}));
  EXPECT_EQ(placed_stream(text, 2),
            (words{"[@1:14 1:14 2:1", "q@2:3 1:15 2:1", "r@2:5 1:15 2:1", "]@1:16 1:16 2:1"}));
  // A pasted name expands within the invocation, not as a new one.
  EXPECT_EQ(placed_stream("#define cat(a,b) a##b tail\n#define LN __LINE__\ncat(\nL,N) z", 0),
            (words{"3@3:1 3:1 3:1", "tail@3:1 3:1 3:1", "z@4:6 4:6 4:6"}));
  pp_fixture f;
  f.options()->macro_expansion_tracking = 0;
  for (const located &t : read_all(f, "#define A x\nA"))
    EXPECT_FALSE(linemap_is_macro_location(f.lines.get(), t.at));
}

// The expander counts the expansions it finished and the tokens it
// produced, for the line table's statistics, whether or not it tracks.
TEST(VirtualLocations, ExpansionCounters)
{
  for (uint8_t level : {0, 2}) {
    pp_fixture f;
    f.options()->macro_expansion_tracking = level;
    read_all(f, "#define A 1 2\n#define B A A\nB x");
    location_statistics stats;
    linemap_gather_stats(f.lines.get(), &stats);
    EXPECT_EQ(stats.macro_expansions, 3u) << int(level);
    EXPECT_EQ(stats.macro_tokens, 6u) << int(level);
  }
}

TEST(VirtualLocations, Queries)
{
  pp_fixture f;
  std::vector<located> t =
      read_all(f, "#define IN(a) a v\n#define OUT IN(w) u\n#define L __LINE__\nOUT L IN(z)");
  ASSERT_EQ(t.size(), 6u);
  linemap_set *set = f.lines.get();
  // w was spelled in OUT's definition and reached IN as its argument.
  EXPECT_EQ(unwinding(f, t[0].at), "1:15 2:16 4:1");
  EXPECT_EQ(unwinding(f, t[1].at), "1:17 2:13 4:1");
  EXPECT_EQ(unwinding(f, t[2].at), "2:19 4:1");
  EXPECT_TRUE(spelled_in_macro_definition(set, t[0].at));
  EXPECT_TRUE(spelled_in_macro_definition(set, t[1].at));
  EXPECT_FALSE(spelled_in_macro_definition(set, t[4].at));
  // Tokens of one expansion compare in the order they were made.
  EXPECT_GT(linemap_compare_locations(set, t[0].at, t[1].at), 0);
  EXPECT_LT(linemap_compare_locations(set, t[2].at, t[1].at), 0);
  EXPECT_EQ(linemap_compare_locations(set, t[1].at, t[1].at), 0);
  EXPECT_EQ(expansion_point_line(set, t[3].at), 4);
  // A built-in token leads back to where the user wrote it.
  EXPECT_EQ(f.where(unwind_to_user_location(set, t[3].at, nullptr)), "-");
  const line_map *map = nullptr;
  location_t user = unwind_to_user_location(set, t[3].at, &map);
  EXPECT_EQ(resolved(f, user, RESOLVE_TO_SPELLING), "3:11");
}

// A report about a token of an expansion is made at its virtual location.
TEST(VirtualLocations, ReportsInsideExpansions)
{
  pp_fixture f;
  read_all(f, "#define CAT(a,b) a ## b\n#define G(x) CAT(x, -)\nG(+)");
  ASSERT_EQ(f.reports.size(), 1u);
  EXPECT_EQ(f.reports[0],
            "error: pasting \"+\" and \"-\" does not give a valid preprocessing token");
  location_t at = f.report_locations[0];
  EXPECT_TRUE(linemap_is_macro_location(f.lines.get(), at));
  EXPECT_EQ(places(f, at), "3:3 1:18 3:1");
}

// Pushed back after a look at it, a token keeps its virtual location.
TEST(VirtualLocations, TokenGivenBack)
{
  words seen = placed_stream("#define F(x) [x]\n#define E F\nE ; E(1)");
  EXPECT_EQ(seen, (words{"F@2:11 2:11 3:1", ";@3:3 3:3 3:3", "[@1:14 1:14 3:5", "1@3:7 1:15 3:5",
                         "]@1:16 1:16 3:5"}));
}
