// Matching regular expressions: the POSIX entries with their flags and
// registers, the lower-level search and match entries, and the failure-stack
// limit.
#include "support/regex.h"
#include "support/regex-internal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char version_pattern[] = "^([1-9][0-9]*|0)(\\.([1-9][0-9]*|0))*$";

struct match_case {
  int cflags;
  const char *pattern;
  const char *subject;
  int start;  // -1: no match
  int end;
  int eflags = 0;
};

TEST(RegexMatch, WholeMatchTable)
{
  const int E = REG_EXTENDED, I = REG_ICASE, N = REG_NEWLINE;
  const match_case cases[] = {
      {E | REG_NOSUB, version_pattern, "12", 0, 0},
      {E | REG_NOSUB, version_pattern, "12.4.0", 0, 0},
      {E | REG_NOSUB, version_pattern, "0.1", 0, 0},
      {E | REG_NOSUB, version_pattern, "012", -1, -1},
      {E | REG_NOSUB, version_pattern, "1.", -1, -1},
      {E | REG_NOSUB, version_pattern, "1..2", -1, -1},
      {E | REG_NOSUB, version_pattern, "", -1, -1},
      // Leftmost, then longest.
      {E, "a|ab", "xab", 1, 3},
      {E, "(a|ab)(c|bcd)(d*)", "abcd", 0, 4},
      {E, "a*ab?", "caab", 1, 4},
      // Counted repetition restored on backtracking.
      {E, "(a|b){2,3}c", "ababc", 1, 5},
      {E, "(a|ab){2}c", "abac", 0, 4},
      {E, "(a{2}){2}", "aaaaa", 0, 4},
      {E, "a{0}b", "ab", 1, 2},
      {E, "a{2,}", "baaaa", 1, 5},
      {E, "(ab){1,2}(abab)?", "ababab", 0, 6},
      // Groups that can match nothing leave their loops.
      {E, "(a*)*", "b", 0, 0},
      {E, "(a*)+b", "aab", 0, 3},
      {E, "(a*|b)*c", "abbac", 0, 5},
      {E, "(a*){2,3}x", "aax", 0, 3},
      {E, "()*a", "a", 0, 1},
      {E, "(^a?){2}b", "ab", 0, 2},  // an empty round still owes the second
      // A repetition that can match nothing, repeated again.
      {E, "a*{2,}b", "caab", 1, 4},
      {E, "a*{2,}x", "aab", -1, -1},
      {E, "a?{3}{2}b", "aaaaaaaab", 2, 9},
      {E, "a{0,2}*b", "aaaab", 0, 5},
      {E, "(a*){2}*b", "aab", 0, 3},
      {E, "(a){2}*b", "aaab", 1, 4},
      {E, "a{2}{2}b", "aaaaab", 1, 6},
      {E, "(a|b)*{3}c", "abac", 0, 4},
      // Anchors.
      {E, "a^b", "a^b", -1, -1},
      {E, "b$|c", "abc", 2, 3},
      {E, "^a", "a", -1, -1, REG_NOTBOL},
      {E | N, "^a", "a\na", 2, 3, REG_NOTBOL},
      {E, "a$", "a", -1, -1, REG_NOTEOL},
      {E | N, "^b", "a\nb", 2, 3},
      {E | N, "a$", "a\nb", 0, 1},
      {E, "^b", "a\nb", -1, -1},
      {E | N, "a.b", "a\nb", -1, -1},
      {E, "a.b", "a\nb", 0, 3},
      {E | N, "a[^x]b", "a\nb", -1, -1},
      {E, "a[^x]b", "a\nb", 0, 3},
      // Brackets.
      {E, "[]a]+", "x]a]", 1, 4},
      {E, "[a-]+", "x-a", 1, 3},
      {E, "[^]a]", "]ab", 2, 3},
      {E, "[[:digit:]]+", "ab123c", 2, 5},
      {E, "[[:upper:][:space:]]+", "ab C d", 2, 5},
      {E, "[[.-.]]", "a-", 1, 2},
      {E, "[a\\]+", "x\\a", 1, 3},  // no escapes inside brackets
      // Case.
      {E | I, "ABC", "xaBc", 1, 4},
      {E | I, "[A-C]+", "xaBc", 1, 4},
      {E | I, "[^a]", "A", -1, -1},
      {E | I, "[[:upper:]]", "a", 0, 1},
      {E, "ABC", "abc", -1, -1},
      // Word operators.
      {E, "\\bfoo\\b", "afoo foo", 5, 8},
      {E, "\\<f", "of f", 3, 4},
      {E, "o\\>", "oo o", 1, 2},
      {E, "\\w+", "  ab_1 ", 2, 6},
      {E, "\\W", "ab c", 2, 3},
      {E, "a\\Bb", "a b ab", 4, 6},
      {E, "\\`a", "aa", 0, 1},
      {E, "a\\'", "aa", 1, 2},
      // Back-references.
      {E, "(a|b)\\1", "abb", 1, 3},
      {E, "(a*)b\\1", "aabaa", 0, 5},
      {E, "(a*)b\\1", "aaba", 1, 4},
      {E, "(a)|b\\1", "b", -1, -1},
      {E, "(a*)\\1*x", "aaax", 0, 4},
      {0, "\\(ab\\)\\1", "abab", 0, 4},
      // Basic syntax.
      {0, "a\\{2\\}", "aaa", 0, 2},
      {0, "\\(ab\\)*c", "ababc", 0, 5},
      {0, "a\\|b", "b", 0, 1},
      {0, "*a", "x*a", 1, 3},
      {0, "a**", "aa", 0, 2},
      {0, "a\\+", "aaa", 0, 3},
      {0, "a+?", "a+?", 0, 3},
      {0, "^*", "a*", -1, -1},
      {0, "^*", "*a", 0, 1},
      {0, "a^b", "a^b", 0, 3},
      {0, "a$b", "a$b", 0, 3},
      {0, "\\(^a\\)", "a", 0, 1},
      {0, "x\\(a$\\)", "xa", 0, 2},
      {0, "a{1}", "a{1}", 0, 4},
      {E, "a)", "a)", 0, 2},
      {E, "a+?", "aaa", 0, 3},
      {E, "a?+", "aaa", 0, 3},
      // Bytes above 127 are bytes, not negative indexes.
      {E, "[\xe9-\xff]+", "a\xe9\xfa", 1, 3},
      {E, "\xe9", "x\xe9", 1, 2},
      {E | I, "\xc9", "\xe9", -1, -1},
      {E, "[^a]", "\xff", 0, 1},
      {E, "\\w", "\xe9", -1, -1},
  };
  for (const match_case &c : cases) {
    regex_pattern pattern = {};
    ASSERT_EQ(regex_posix_compile(&pattern, c.pattern, c.cflags), 0) << c.pattern;
    struct regex_match slot[1] = {{-7, -7}};
    int result = regex_posix_exec(&pattern, c.subject, 1, slot, c.eflags);
    if (c.start < 0) {
      EXPECT_EQ(result, REG_NOMATCH) << c.pattern << " on " << c.subject;
    } else {
      EXPECT_EQ(result, 0) << c.pattern << " on " << c.subject;
      if (c.cflags & REG_NOSUB) {
        EXPECT_EQ(slot[0].start, -7) << "no-sub patterns leave the slots alone";
      } else {
        EXPECT_EQ(slot[0].start, c.start) << c.pattern << " on " << c.subject;
        EXPECT_EQ(slot[0].end, c.end) << c.pattern << " on " << c.subject;
      }
    }
    regex_free(&pattern);
  }
}

TEST(RegexMatch, GroupRegisters)
{
  regex_pattern pattern = {};
  ASSERT_EQ(regex_posix_compile(&pattern, "(a)|(b)(c)?", REG_EXTENDED), 0);
  EXPECT_EQ(pattern.group_count, 3u);
  struct regex_match slots[6];
  ASSERT_EQ(regex_posix_exec(&pattern, "xb", 6, slots, 0), 0);
  const int expected[6][2] = {{1, 2}, {-1, -1}, {1, 2}, {-1, -1}, {-1, -1}, {-1, -1}};
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(slots[i].start, expected[i][0]) << i;
    EXPECT_EQ(slots[i].end, expected[i][1]) << i;
  }
  regex_free(&pattern);

  // Deeper than the first compile stack, and more groups than a byte counts.
  std::string nested = std::string(40, '(') + "a" + std::string(40, ')');
  ASSERT_EQ(regex_posix_compile(&pattern, nested.c_str(), REG_EXTENDED), 0);
  struct regex_match deep[41];
  ASSERT_EQ(regex_posix_exec(&pattern, "ba", 41, deep, 0), 0);
  EXPECT_EQ(deep[40].start, 1);
  EXPECT_EQ(deep[40].end, 2);
  regex_free(&pattern);
  std::string many;
  for (int i = 0; i < 300; i++)
    many += "(" + std::string(1, char('a' + i % 26)) + ")";
  ASSERT_EQ(regex_posix_compile(&pattern, many.c_str(), REG_EXTENDED), 0);
  EXPECT_EQ(pattern.group_count, 300u);
  std::string letters;
  for (int i = 0; i < 300; i++)
    letters += char('a' + i % 26);
  std::vector<struct regex_match> all(301);
  ASSERT_EQ(regex_posix_exec(&pattern, ("-" + letters).c_str(), 301, all.data(), 0), 0);
  EXPECT_EQ(all[256].start, 256);
  EXPECT_EQ(all[300].start, 300);
  EXPECT_EQ(all[300].end, 301);
  regex_free(&pattern);

  ASSERT_EQ(regex_posix_compile(&pattern, "x(a*)(b+)", REG_EXTENDED), 0);
  ASSERT_EQ(regex_posix_exec(&pattern, "yxbb", 3, slots, 0), 0);
  EXPECT_EQ(slots[1].start, 2);
  EXPECT_EQ(slots[1].end, 2);
  EXPECT_EQ(slots[2].start, 2);
  EXPECT_EQ(slots[2].end, 4);
  regex_free(&pattern);
}

// The matcher keeps backtracking for a longer match; with the first-match
// syntax bit it stops at the first.
TEST(RegexMatch, FirstMatchSyntaxStopsEarly)
{
  for (uint64_t first : {uint64_t(0), uint64_t(REGEX_SYN_FIRST_MATCH)}) {
    regex_set_syntax(REGEX_SYNTAX_POSIX_EXTENDED | first);
    regex_pattern pattern = {};
    ASSERT_EQ(regex_compile_pattern("a|ab", 4, &pattern), nullptr);
    EXPECT_EQ(regex_match(&pattern, "ab", 2, 0, nullptr), first ? 1 : 2);
    regex_free(&pattern);
  }
  regex_set_syntax(0);
}

struct syntax_case {
  uint64_t syntax;
  std::string pattern;
  std::string subject;
  int start;  // -1: no match
  int length;
};

TEST(RegexMatch, SyntaxBits)
{
  const uint64_t ERE = REGEX_SYNTAX_POSIX_EXTENDED;
  const syntax_case cases[] = {
      {0, "a+b?", "xaab", 1, 3},  // plain + and ? without the basic-only bit
      {REGEX_SYN_BACKSLASHED_PLUS_QUESTION, "a+", "aa+", 1, 2},
      {REGEX_SYN_BASIC_OPERATORS_ONLY | REGEX_SYN_PLAIN_BAR, "a|b", "b a|b", 2, 3},
      {REGEX_SYN_NEWLINE_ALTERNATION, "a\nb", "xb", 1, 1},
      {REGEX_SYN_NO_BACK_REFERENCES, "\\(a\\)\\1", "aa a1", 3, 2},
      {REGEX_SYN_REPEAT_ANYWHERE, "*a", "xa", 1, 1},
      {0, "*a", "xa*a", 2, 2},
      {ERE | REGEX_SYN_BAD_INTERVAL_IS_LITERAL, "a{x", "aa{x", 1, 3},
      {ERE | REGEX_SYN_BAD_INTERVAL_IS_LITERAL, "a{2,1}", "a{2,1}", 0, 6},
      {ERE | REGEX_SYN_BAD_INTERVAL_IS_LITERAL, "a{2}", "aaa", 0, 2},
      {ERE | REGEX_SYN_BACKSLASH_IN_BRACKETS, "[\\]]", "a]", 1, 1},
      {ERE, "[\\]]", "\\]", 0, 2},
      {ERE, "a.b", std::string("a\nb"), 0, 3},
      {ERE & ~uint64_t(REGEX_SYN_DOT_NEWLINE), "a.b", std::string("a\nb"), -1, 0},
      {ERE, "a.b", std::string("a\0b", 3), -1, 0},
      {ERE & ~uint64_t(REGEX_SYN_DOT_NOT_NUL), "a.b", std::string("a\0b", 3), 0, 3},
      {ERE | REGEX_SYN_NEGATED_SET_NOT_NEWLINE, "[^a]", "a\nb", 2, 1},
      {ERE & ~uint64_t(REGEX_SYN_BACKWARD_RANGE_IS_ERROR), "x[b-a]|y", "xy", 1, 1},
      {ERE & ~uint64_t(REGEX_SYN_CHAR_CLASSES), "[[:a]+", "b:a[", 1, 3},
  };
  for (const syntax_case &c : cases) {
    regex_set_syntax(c.syntax);
    regex_pattern pattern = {};
    ASSERT_EQ(regex_compile_pattern(c.pattern.data(), c.pattern.size(), &pattern), nullptr)
        << c.pattern;
    int size = int(c.subject.size());
    regex_registers regs = {};
    int start = regex_search(&pattern, c.subject.data(), size, 0, size, &regs);
    EXPECT_EQ(start, c.start) << c.pattern << " syntax " << std::hex << c.syntax;
    if (start >= 0 && c.start >= 0)
      EXPECT_EQ(regs.end[0] - regs.start[0], c.length) << c.pattern;
    free(regs.start);
    free(regs.end);
    regex_free(&pattern);
  }
  regex_set_syntax(0);
}

struct program_case {
  std::string program;
  const char *subject;
  int length;  // of the match at 0, or -1
};

// Instructions the compiler does not emit, run from hand-written programs.
TEST(RegexMatch, HandWrittenPrograms)
{
  const program_case cases[] = {
      // Alternatives a and ab, the first popping the other's failure point.
      {{RX_ON_FAILURE_JUMP, 6, 0, RX_EXACT, 1, 'a', RX_POP_FAILURE_JUMP, 4, 0, RX_EXACT, 2, 'a',
        'b'},
       "ab", 1},
      {{RX_ON_FAILURE_JUMP, 6, 0, RX_EXACT, 1, 'a', RX_JUMP, 4, 0, RX_EXACT, 2, 'a', 'b'},
       "ab", 2},
      // Resuming with the subject position kept, and restored.
      {{RX_ON_FAILURE_KEEP, 6, 0, RX_EXACT, 1, 'a', RX_EXACT, 1, 'x', RX_EXACT, 1, 'b'}, "ab", 2},
      {{RX_ON_FAILURE_JUMP, 6, 0, RX_EXACT, 1, 'a', RX_EXACT, 1, 'x', RX_EXACT, 1, 'b'}, "ab", -1},
      // Dummy failure points only fail further.
      {{RX_DUMMY_FAILURE_JUMP, 3, 0, RX_EXACT, 1, 'x', RX_EXACT, 1, 'a'}, "a", 1},
      {{RX_PUSH_DUMMY_FAILURE, RX_EXACT, 1, 'b'}, "a", -1},
      {{RX_MAYBE_POP_JUMP, 3, 0, RX_EXACT, 1, 'z', RX_EXACT, 1, 'a'}, "a", 1},
      {{RX_NO_OP, RX_EXACT, 1, 'a'}, "a", 1},
  };
  for (const program_case &c : cases) {
    std::string program = c.program;
    regex_pattern pattern = {};
    pattern.program = reinterpret_cast<unsigned char *>(&program[0]);
    pattern.allocated = pattern.used = program.size();
    int size = int(strlen(c.subject));
    EXPECT_EQ(regex_match(&pattern, c.subject, size, 0, nullptr), c.length) << c.subject;
  }
}

TEST(RegexMatchDeathTest, InvalidOpcodeAborts)
{
  regex_pattern pattern = {};
  ASSERT_EQ(regex_posix_compile(&pattern, "a", REG_EXTENDED), 0);
  pattern.program[0] = 30;
  EXPECT_DEATH(regex_match(&pattern, "a", 1, 0, nullptr), "in match_core");
  regex_free(&pattern);
}

TEST(RegexMatch, LowerLevelSearch)
{
  regex_set_syntax(REGEX_SYNTAX_POSIX_EXTENDED);
  regex_pattern pattern = {};
  ASSERT_EQ(regex_compile_pattern("b(c)", 4, &pattern), nullptr);

  // Registers allocated by the matcher: at least 30, unused ones -1.
  regex_registers regs = {};
  EXPECT_EQ(regex_search(&pattern, "abcbc", 5, 0, 5, &regs), 1);
  ASSERT_EQ(regs.count, 30u);
  EXPECT_EQ(regs.start[0], 1);
  EXPECT_EQ(regs.end[0], 3);
  EXPECT_EQ(regs.start[1], 2);
  EXPECT_EQ(regs.start[2], -1);
  EXPECT_EQ(regex_regs_mode(&pattern), REGEX_REGS_REALLOCATE);
  // Ranges: forwards from 2, backwards from 4, and a range that stops short.
  EXPECT_EQ(regex_search(&pattern, "abcbc", 5, 2, 3, &regs), 3);
  EXPECT_EQ(regex_search(&pattern, "abcbc", 5, 4, -4, &regs), 3);
  EXPECT_EQ(regex_search(&pattern, "abcbc", 5, 2, -1, &regs), 1);
  EXPECT_EQ(regex_search(&pattern, "abcbc", 5, 2, 0, &regs), -1);
  EXPECT_EQ(regex_search(&pattern, "abcbc", 5, 6, 1, &regs), -1);
  EXPECT_EQ(regex_search(&pattern, "abcbc", 5, -1, 1, &regs), -1);
  // Two strings matched as one; the stop offset ends the subject early.
  EXPECT_EQ(regex_search_2(&pattern, "ab", 2, "cd", 2, 0, 4, &regs, 4), 1);
  EXPECT_EQ(regs.start[1], 2);
  EXPECT_EQ(regex_search_2(&pattern, "ab", 2, "cd", 2, 0, 4, &regs, 2), -1);
  EXPECT_EQ(regex_match_2(&pattern, "xxb", 3, "c", 1, 2, &regs, 4), 2);
  EXPECT_EQ(regex_match(&pattern, "abc", 3, 0, &regs), -1);
  free(regs.start);
  free(regs.end);

  // Caller's registers: with fewer than needed, a reallocating record grows.
  int32_t *starts = static_cast<int32_t *>(malloc(sizeof(int32_t)));
  int32_t *ends = static_cast<int32_t *>(malloc(sizeof(int32_t)));
  regex_set_registers(&pattern, &regs, 1, starts, ends);
  EXPECT_EQ(regex_search(&pattern, "bc", 2, 0, 2, &regs), 0);
  EXPECT_EQ(regs.count, 3u);
  EXPECT_EQ(regs.end[1], 2);
  free(regs.start);
  free(regs.end);
  regex_set_registers(&pattern, &regs, 0, nullptr, nullptr);
  EXPECT_EQ(regex_regs_mode(&pattern), REGEX_REGS_UNALLOCATED);
  EXPECT_EQ(regs.start, nullptr);
  regex_free(&pattern);

  // Anchored programs are only tried at the start.
  ASSERT_EQ(regex_compile_pattern("\\`a", 3, &pattern), nullptr);
  EXPECT_EQ(regex_search(&pattern, "aa", 2, 1, 1, nullptr), -1);
  EXPECT_EQ(regex_search(&pattern, "aa", 2, 0, 2, nullptr), 0);
  regex_free(&pattern);
  regex_set_syntax(0);
}

TEST(RegexMatch, AnchoredPatternFromNonzeroStart)
{
  regex_pattern pattern = {};
  ASSERT_EQ(regex_posix_compile(&pattern, "^a", REG_EXTENDED), 0);
  EXPECT_EQ(regex_search(&pattern, "aa", 2, 1, 1, nullptr), -1);
  EXPECT_EQ(regex_search(&pattern, "", 0, 0, 0, nullptr), -1);
  regex_free(&pattern);
  ASSERT_EQ(regex_posix_compile(&pattern, "^", REG_EXTENDED), 0);
  EXPECT_EQ(regex_search(&pattern, "", 0, 0, 0, nullptr), 0);
  regex_free(&pattern);
}

// Deep backtracking runs on the heap up to the failure-stack limit, then
// reports a resource failure (no match through the POSIX entry).
TEST(RegexMatch, FailureStackLimit)
{
  regex_pattern pattern = {};
  ASSERT_EQ(regex_posix_compile(&pattern, "a*b", REG_EXTENDED), 0);
  std::string just_enough(70000, 'a'), too_many(80000, 'a');
  EXPECT_EQ(regex_search(&pattern, (just_enough + "b").c_str(), 70001, 0, 70001, nullptr), 0);
  EXPECT_EQ(regex_search(&pattern, too_many.c_str(), 80000, 0, 80000, nullptr), -2);
  EXPECT_EQ(regex_posix_exec(&pattern, (too_many + "b").c_str(), 0, nullptr, 0), REG_NOMATCH);

  int saved = regex_max_failures;
  // One point per letter and one more before the b: 19 items is the limit.
  regex_max_failures = 1;
  EXPECT_EQ(regex_search(&pattern, (std::string(18, 'a') + "b").c_str(), 19, 0, 19, nullptr), 0);
  EXPECT_EQ(regex_search(&pattern, (std::string(19, 'a') + "b").c_str(), 20, 0, 20, nullptr), -2);
  regex_max_failures = saved;
  regex_free(&pattern);
}

// Patterns whose backtracking for the longest match is exponential in the
// subject end in a resource failure after a bounded number of steps (the
// first as the regex fuzz target found it) instead of running for minutes;
// through the POSIX entry that is no match.
TEST(RegexMatch, StepLimit)
{
  const char *const exponential[][2] = {
      {"(a*||||a*){22}", "aaaaaaaaaaab"},
      {"(a*|a*|a*)*b", "aaaaaaaaaaaaaaaaaaaaaaaaaac"},
      {"((a|aa)*)*c", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab"},
  };
  for (const auto &c : exponential) {
    regex_pattern pattern = {};
    ASSERT_EQ(regex_posix_compile(&pattern, c[0], REG_EXTENDED), 0) << c[0];
    int size = int(strlen(c[1]));
    EXPECT_EQ(regex_search(&pattern, c[1], size, 0, size, nullptr), -2) << c[0];
    regex_free(&pattern);
  }
  regex_pattern pattern = {};
  ASSERT_EQ(regex_posix_compile(&pattern, exponential[0][0], REG_EXTENDED), 0);
  EXPECT_EQ(regex_posix_exec(&pattern, exponential[0][1], 0, nullptr, 0), REG_NOMATCH);
  regex_free(&pattern);
}

}  // namespace
