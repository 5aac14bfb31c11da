// Checked allocation, the formatted-length estimate and the out-of-memory report.
#include "support/alloc.h"
#include "support/concat.h"
#include "support/system-utils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>

// A failed allocation must come back as null here, so that the report can be seen.
extern "C" const char *__asan_default_options()
{
  return "allocator_may_return_null=1";
}

static int estimate(const char *format, ...)
{
  va_list args;
  va_start(args, format);
  int n = format_length_estimate(format, args);
  va_end(args);
  return n;
}

TEST(Alloc, ZeroSizesGiveOneUsableByte)
{
  char *a = static_cast<char *>(checked_malloc(0));
  a[0] = 'x';
  char *b = static_cast<char *>(checked_calloc(0, 16));
  EXPECT_EQ(b[0], 0);
  char *c = static_cast<char *>(checked_realloc(nullptr, 0));
  c[0] = 'y';
  free(a);
  free(b);
  free(c);
}

TEST(Alloc, MemdupZeroFillsAndNeverOverCopies)
{
  char *p = static_cast<char *>(checked_memdup("abcdef", 3, 8));
  EXPECT_EQ(0, memcmp(p, "abc\0\0\0\0\0", 8));
  free(p);
  // An allocation length below the copy length must not overflow the block.
  p = static_cast<char *>(checked_memdup("abcdef", 6, 2));
  EXPECT_EQ(0, memcmp(p, "abcdef", 6));
  free(p);
}

TEST(Alloc, Strndup)
{
  char *a = checked_strndup("abcdef", 3);
  char *b = checked_strndup("ab", 10);
  EXPECT_STREQ(a, "abc");
  EXPECT_STREQ(b, "ab");
  free(a);
  free(b);
}

TEST(Alloc, LengthEstimate)
{
  EXPECT_EQ(estimate("%s-%d", "abc", 7), 69);
  EXPECT_EQ(estimate("%5.2f", 1.5), 350);
  EXPECT_EQ(estimate("%*d", -4, 1), 4 + 4 + 30);
  EXPECT_EQ(estimate("ab%"), 4 + 30);
}

TEST(Alloc, FormatAllocGrowsPastAShortEstimate)
{
  // "%c" is estimated at 30 bytes beyond the format; a width given by digits
  // after a precision star is not, so force a result longer than the estimate.
  char *s = format_alloc("%s-%d", "abc", 7);
  EXPECT_STREQ(s, "abc-7");
  free(s);
  std::string wide(500, 'z');
  s = format_alloc("%.*s%s", 1, "q", wide.c_str());
  EXPECT_EQ(std::string(s), "q" + wide);
  free(s);
  s = format_alloc("%lu", 18446744073709551615ul);
  EXPECT_STREQ(s, "18446744073709551615");
  free(s);
}

TEST(Alloc, Concat)
{
  char *s = concat_strings("ab", "", "cd", nullptr);
  EXPECT_STREQ(s, "abcd");
  free(s);
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wsentinel"
  s = concat_strings(nullptr);
#pragma clang diagnostic pop
  EXPECT_STREQ(s, "");
  EXPECT_EQ(concat_total_length("ab", "cde", nullptr), 5u);
  s = concat_replace(s, "x", "y", nullptr);
  EXPECT_STREQ(s, "xy");
  free(s);
}

extern const char *(*error_text_lookup)(int);

TEST(Alloc, ErrorText)
{
  EXPECT_STREQ(error_text(ENOENT), strerror(ENOENT));
  auto saved = error_text_lookup;
  error_text_lookup = [](int) -> const char * { return nullptr; };
  EXPECT_STREQ(error_text(1234), "undocumented error #1234");
  EXPECT_STREQ(error_text(-2147483647 - 1), "undocumented error #-2147483648");
  error_text_lookup = saved;
}

// Each case runs in a child: the limits are process-wide.
TEST(AllocDeathTest, RaiseStackLimit)
{
  struct Case {
    rlim_t soft, hard, expected;
  } cases[] = {
      {8u << 20, 32u << 20, 32u << 20},
      {8u << 20, RLIM_INFINITY, 64u << 20},
      {RLIM_INFINITY, RLIM_INFINITY, RLIM_INFINITY},
      {80u << 20, RLIM_INFINITY, 80u << 20},
  };
  struct rlimit now;
  getrlimit(RLIMIT_STACK, &now);
  for (const Case &c : cases) {
    if (c.hard == RLIM_INFINITY && now.rlim_max != RLIM_INFINITY)
      continue;  // cannot raise a hard limit back here
    if (c.hard != RLIM_INFINITY && now.rlim_max != RLIM_INFINITY && now.rlim_max < c.hard)
      continue;
    auto run = [&c] {
      struct rlimit set = {c.soft, c.hard};
      if (setrlimit(RLIMIT_STACK, &set) != 0)
        exit(3);
      raise_stack_limit(int64_t{64} << 20);
      struct rlimit got;
      getrlimit(RLIMIT_STACK, &got);
      exit(got.rlim_cur == c.expected ? 0 : 1);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
  }
}

TEST(AllocDeathTest, OutOfMemoryReport)
{
  EXPECT_EXIT(report_out_of_memory(4096), testing::ExitedWithCode(1),
              "^\nout of memory allocating 4096 bytes after a total of [0-9]+ bytes\n$");
  auto named = [] {
    alloc_set_program_name("vuz");
    alloc_set_program_name("vuz++");
    report_out_of_memory(4096);
  };
  EXPECT_EXIT(named(), testing::ExitedWithCode(1),
      "^\nvuz\\+\\+: out of memory allocating 4096 bytes after a total of [0-9]+ bytes\n$");
  EXPECT_EXIT(checked_malloc(~uint64_t{0} >> 1), testing::ExitedWithCode(1),
              "out of memory allocating 9223372036854775807 bytes");
}
