// The built-in specs as generated: what the build worked out from their texts
// agrees with what the driver works out from them at run time.
#include "driver/specs.h"

#include "options/option-table.h"
#include "support/alloc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" const char *__asan_default_options()
{
  return "detect_leaks=0";
}

namespace {

struct BuiltinSpecs : testing::Test {
  static void SetUpTestSuite()
  {
    compilers = checked_new_array<compiler_entry>(static_cast<uint64_t>(builtin_compiler_count) + 1);
    memcpy(compilers, builtin_compilers,
           static_cast<size_t>(builtin_compiler_count) * sizeof(compiler_entry));
    memset(&compilers[builtin_compiler_count], 0, sizeof(compiler_entry));
    compiler_count = builtin_compiler_count;
    init_builtin_specs();
    link_spec = builtin_link_spec_with_sysroot;
  }

  // Every option of the table, every name the built-in specs mention, each
  // prefix with more after it, and a few the specs do not know; every third
  // one as if the option table did not know it.
  std::vector<std::string> texts()
  {
    std::vector<std::string> out = {"-", "-zzz", "-Dfoo", "-o", "-mcpu", "-fpic-x"};
    for (size_t i = 0; i < option_count; i++)
      out.push_back(option_rows[i].text);
    for (int i = 0; i < builtin_named_switches_count; i++)
      out.push_back(std::string("-") + builtin_named_switches[i].text);
    for (int i = 0; i < builtin_named_prefixes_count; i++)
      out.push_back(std::string("-") + builtin_named_prefixes[i].text + "x");
    return out;
  }

  std::vector<bool> accepted_by(void (*validate)(), const std::vector<std::string> &all)
  {
    switch_count = 0;
    for (size_t i = 0; i < all.size(); i++)
      record_switch(all[i].c_str(), 0, nullptr, false, i % 3 != 0);
    validate();
    std::vector<bool> out;
    for (int i = 0; i < switch_count; i++)
      out.push_back(switches[i].accepted);
    return out;
  }
};

TEST_F(BuiltinSpecs, NamedSwitchesAgreeWithAScanOfTheTexts)
{
  ASSERT_TRUE(builtin_specs_in_use());
  std::vector<std::string> all = texts();
  std::vector<bool> scanned = accepted_by(validate_switches_by_scanning, all);
  std::vector<bool> generated = accepted_by(validate_all_switches, all);
  for (size_t i = 0; i < all.size(); i++)
    EXPECT_EQ(generated[i], scanned[i]) << all[i];
}

TEST_F(BuiltinSpecs, ASpecFileConditionIsScannedForItsSwitches)
{
  const char *cpp_options = *lookup_named_spec("cpp_options", 11)->value_location;
  define_spec("cpp_options", "+ %{qqq:-q}", true);
  EXPECT_FALSE(builtin_specs_in_use());
  // Unknown to the option table: only a user's spec accepts it.
  std::vector<std::string> all = {"-qqq", "-x", "-y", "-rrr"};
  EXPECT_EQ(accepted_by(validate_all_switches, all), (std::vector<bool>{true, true, true, false}));
  // Set back as built in: the table applies again.
  set_static_spec(lookup_named_spec("cpp_options", 11)->value_location, cpp_options);
  lookup_named_spec("cpp_options", 11)->user = 0;
  EXPECT_TRUE(builtin_specs_in_use());
}

// Each body the build found ends where reading it ends, and its string of
// its own is the body without the blanks before its end.
TEST(BuiltinBodies, AgreeWithReadingTheBody)
{
  ASSERT_GT(builtin_body_count, 0);
  for (int i = 0; i < builtin_body_count; i++) {
    const builtin_body &b = builtin_bodies[i];
    const char *body = builtin_spec_chars + b.start;
    bool own_star;
    const char *end = spec_body_end(body, &own_star);
    ASSERT_EQ(end, builtin_spec_chars + b.end) << body;
    EXPECT_EQ(own_star, b.own_star != 0) << body;
    const char *trimmed = end;
    while (trimmed > body && (trimmed[-1] == ' ' || trimmed[-1] == '\t'))
      trimmed--;
    EXPECT_EQ(std::string(builtin_spec_chars + b.copy), std::string(body, trimmed)) << body;
    if (i > 0)
      EXPECT_LT(builtin_bodies[i - 1].start, b.start);
  }
}

// Each bucket names the first body that starts in it or later, so that the
// search from a body's bucket reaches that body and passes no other.
TEST(BuiltinBodies, BucketsLeadToEveryBody)
{
  int buckets = static_cast<int>(builtin_spec_chars_size >> BUILTIN_BODY_BUCKET_BITS) + 1;
  for (int bucket = 0; bucket < buckets; bucket++) {
    int first = builtin_body_buckets[bucket];
    uint32_t bucket_start = static_cast<uint32_t>(bucket) << BUILTIN_BODY_BUCKET_BITS;
    ASSERT_LE(first, builtin_body_count);
    if (first < builtin_body_count)
      EXPECT_GE(builtin_bodies[first].start, bucket_start) << bucket;
    if (first > 0)
      EXPECT_LT(builtin_bodies[first - 1].start, bucket_start) << bucket;
  }
}

}  // namespace
