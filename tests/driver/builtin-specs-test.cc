// The built-in specs as generated: what the build worked out from their texts
// agrees with what the driver works out from them at run time.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/driver.h"
#include "driver/env-manager.h"
#include "options/option-decode.h"
#include "options/option-table.h"
#include "support/alloc.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

// The leak checker's switch, present only in sanitized builds.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

namespace {

struct BuiltinSpecs : testing::Test {
  static void SetUpTestSuite()
  {
    // Each suite starts from fresh tables.
    reset_spec_tables();
    spec_tables.compilers =
        checked_new_array<compiler_entry>(static_cast<uint64_t>(builtin_compiler_count) + 1);
    memcpy(spec_tables.compilers, builtin_compilers,
           static_cast<size_t>(builtin_compiler_count) * sizeof(compiler_entry));
    memset(&spec_tables.compilers[builtin_compiler_count], 0, sizeof(compiler_entry));
    spec_tables.compiler_count = builtin_compiler_count;
    init_builtin_specs();
    spec_tables.link_spec = builtin_link_spec_with_sysroot;
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
    saved_switches.switch_count = 0;
    for (size_t i = 0; i < all.size(); i++)
      record_switch(all[i].c_str(), 0, nullptr, false, i % 3 != 0);
    validate();
    std::vector<bool> out;
    for (int i = 0; i < saved_switches.switch_count; i++)
      out.push_back(saved_switches.switches[i].accepted);
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

// Each call's name runs to its '(' and its arguments to the ')' that closes
// the call, as reading the call finds them; its record is found from where
// its name starts in the built-in text only.
TEST(BuiltinCalls, AgreeWithReadingTheCall)
{
  ASSERT_GT(builtin_call_count, 0);
  for (int i = 0; i < builtin_call_count; i++) {
    const builtin_call &a = builtin_calls[i];
    const char *name = builtin_spec_chars + a.start;
    const char *open = builtin_spec_chars + a.open;
    const char *end = builtin_spec_chars + a.end;
    EXPECT_EQ(std::string(name - 2, 2), "%:") << name;
    const char *p = name;
    while (*p && *p != '(')
      p++;
    ASSERT_EQ(p, open) << name;
    EXPECT_GT(open, name) << name;
    int depth = 1;
    for (p++; *p && !(*p == ')' && depth == 1); p++)
      depth += *p == '(' ? 1 : *p == ')' ? -1 : 0;
    ASSERT_EQ(p, end) << name;
    EXPECT_EQ(std::string(builtin_spec_chars + a.copy), std::string(open + 1, end)) << name;
    EXPECT_EQ(builtin_call_at(name), &a) << name;
    EXPECT_EQ(builtin_call_at(name + 1), nullptr) << name;
    std::string copy(name, end + 1);
    EXPECT_EQ(builtin_call_at(copy.c_str()), nullptr) << name;
    if (i > 0)
      EXPECT_LT(builtin_calls[i - 1].start, a.start);
  }
}

}  // namespace

namespace {

// A condition taken through what the build read of it, and through reading
// a copy of its text: the same end, words, echoed commands and switch
// states, over switch tables made of the condition's own atoms. Each run
// starts from the state driver_reset leaves, as in a fresh process, and a
// fatal error ends the run, not the test.
struct BuiltinConditions : BuiltinSpecs {
  static void SetUpTestSuite() {}

  static void set_up_run()
  {
    env.init(true, false);  // so that driver_reset can restore the environment
    init_option_obstack();
    diagnostic_state_init(&global_diagnostic_state, option_count);
    obstack_init_pool(&spec_expansion.spec_obstack);
    obstack_init_pool(&spec_expansion.collect_obstack);
    BuiltinSpecs::SetUpTestSuite();
    // Commands are echoed, not run, and temporary names come from the input.
    driver_settings.dry_run_count = 1;
    driver_set_verbose(1);
    command.save_temps_mode = SAVE_TEMPS_CWD;
  }

  // What a run wrote, with its end, words and switch states after it, and
  // the status a fatal error ended it with (0 when none did).
  struct outcome {
    int status;
    std::string text;
  };

  // A table: switch texts, each with its further words.
  using table = std::vector<std::vector<std::string>>;

  static jmp_buf run_ended;
  static int ended_status;

  static void end_run(int status)
  {
    ended_status = status;
    longjmp(run_ended, 1);
  }

  // The part of a run a fatal error may leave by a jump: it owns nothing
  // that needs destroying.
  static void expand_and_print(const char *text, bool built)
  {
    begin_spec_expansion();
    const char *end = built ? handle_condition(text, text) : handle_condition_by_reading(text);
    finish_word();
    printf("\nend %ld\n", end ? static_cast<long>(end - text) : -1L);
    for (uint32_t i = 0; i < vec_length(spec_expansion.argbuf); i++)
      printf("word %s\n", (*spec_expansion.argbuf)[i]);
    for (int i = 0; i < saved_switches.switch_count; i++)
      printf("switch %s %u %d %d\n", saved_switches.switches[i].text,
             saved_switches.switches[i].liveness, saved_switches.switches[i].accepted,
             saved_switches.switches[i].copy_mark);
  }

  // INPUT is the input file, or "@" and a language for dir/x.c compiled as
  // that language.
  static outcome run(const char *text, bool built, const table &t, const std::string &input)
  {
    set_up_run();
    compiler_entry language = {"@c", nullptr, nullptr, 0, 0};
    set_current_input(input[0] == '@' ? "dir/x.c" : input.c_str());
    language.suffix = input[0] == '@' ? input.c_str() : "@c";
    current_input.current_compiler = &language;
    std::vector<std::vector<const char *>> further(t.size());
    saved_switches.switch_count = 0;
    for (size_t k = 0; k < t.size(); k++) {
      for (size_t i = 1; i < t[k].size(); i++)
        further[k].push_back(t[k][i].c_str());
      record_switch(t[k][0].c_str(), static_cast<int>(further[k].size()), further[k].data(),
                    false, true);
    }
    terminate_switch_table();

    // What the run writes, echoed commands and reports included.
    FILE *capture = tmpfile();
    fflush(stdout);
    int saved_out = dup(1), saved_err = dup(2);
    dup2(fileno(capture), 1);
    dup2(fileno(capture), 2);
    outcome out = {0, ""};
    // A fatal error leaves the run by a jump past what the driver holds, as
    // a real run leaves it by exit: what a run allocates is not checked for
    // leaks here (the other suites of this program still are).
    if (__lsan_disable)
      __lsan_disable();
    exit_program_hook = end_run;
    if (setjmp(run_ended) == 0)
      expand_and_print(text, built);
    else
      out.status = ended_status;
    exit_program_hook = nullptr;
    if (__lsan_enable)
      __lsan_enable();
    fflush(stdout);
    fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    rewind(capture);
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, capture)) > 0;)
      out.text.append(buffer, n);
    fclose(capture);
    driver_reset();
    return out;
  }

  // The condition's atoms as switches: alone, all together, and all with
  // the opposite forms after them; the separate forms of -D and -U.
  std::vector<table> tables_for(const builtin_condition &c)
  {
    std::vector<table> out = {{}};
    table all, opposed;
    for (int k = 0; k < c.count; k++) {
      const builtin_alternative &a = builtin_alternatives[c.first + k];
      if (a.kind != ALT_SWITCH || a.length == 0)
        continue;
      std::string text = "-" + std::string(builtin_spec_chars + a.atom, a.length);
      if (a.flags & ALT_STARRED)
        text += "x";
      std::vector<std::string> sw = {text};
      if ((text[1] == 'D' || text[1] == 'U') && text.size() > 2)
        sw = {text.substr(0, 2), text.substr(2)};
      out.push_back({sw});
      all.push_back(sw);
      opposed.push_back(sw);
      if (strchr("Wfgm", text[1]) && text.size() > 2)
        opposed.push_back({text.compare(2, 3, "no-") == 0 ? text.substr(0, 2) + text.substr(5)
                                                          : text.substr(0, 2) + "no-" +
                                                                text.substr(2)});
    }
    out.push_back(all);
    out.push_back(opposed);
    out.push_back({{"-qqq"}, {"-Dqq"}, {"-m"}});
    return out;
  }
};

jmp_buf BuiltinConditions::run_ended;
int BuiltinConditions::ended_status;

}  // namespace

TEST_F(BuiltinConditions, AgreeWithReadingTheirText)
{
  ASSERT_GT(builtin_condition_count, 0);
  for (int i = 0; i < builtin_condition_count; i++) {
    const builtin_condition &c = builtin_conditions[i];
    const char *text = builtin_spec_chars + c.start;
    std::string copy = text;
    // Each suffix and language test holds once.
    std::vector<std::string> inputs = {"dir/x.c"};
    for (int k = 0; k < c.count; k++) {
      const builtin_alternative &a = builtin_alternatives[c.first + k];
      if (a.kind == ALT_SUFFIX || a.kind == ALT_LANGUAGE)
        inputs.push_back(std::string(a.kind == ALT_SUFFIX ? "x." : "@") +
                         std::string(builtin_spec_chars + a.atom, a.length));
    }
    for (const std::string &input : inputs) {
      for (const table &t : tables_for(c)) {
        outcome built = run(text, true, t, input);
        outcome read = run(copy.c_str(), false, t, input);
        EXPECT_EQ(built.status, read.status) << copy;
        EXPECT_EQ(built.text, read.text) << copy;
        if (built.status == 0 && built.text.find("\nend -1\n") == std::string::npos)
          EXPECT_NE(built.text.find("\nend " + std::to_string(c.end - c.start) + "\n"),
                    std::string::npos)
              << copy;
      }
    }
  }
}

// The marks the build gave a condition are its atoms' first bytes as the
// switch table marks its texts, and only where no atom is negated, a call,
// a suffix, a language or an otherwise, or where the condition is "%{!a:x}".
TEST(BuiltinConditionTable, MarksAreThoseOfTheAtoms)
{
  int marked = 0, unless = 0;
  for (int i = 0; i < builtin_condition_count; i++) {
    const builtin_condition &c = builtin_conditions[i];
    const builtin_alternative &only = builtin_alternatives[c.first];
    bool one_negated = c.form != CONDITION_COPY && c.count == 1 && only.kind == ALT_SWITCH &&
                       (only.flags & ALT_NEGATED);
    EXPECT_EQ(c.form == CONDITION_UNLESS, one_negated) << builtin_spec_chars + c.start;
    unless += one_negated;
    uint32_t byte_marks = 0, pair_marks = 0;
    bool plain = true;
    for (int k = 0; k < c.count; k++) {
      const builtin_alternative &a = builtin_alternatives[c.first + k];
      const char *atom = builtin_spec_chars + a.atom;
      plain = plain && a.kind == ALT_SWITCH && (!(a.flags & ALT_NEGATED) || one_negated);
      if (a.length >= 2 && atom[0] != 'D' && atom[0] != 'U')
        pair_marks |= first_pair_mark(atom);
      else
        byte_marks |= first_byte_mark(atom);
    }
    if (!plain)
      byte_marks = pair_marks = 0;
    marked += plain;
    EXPECT_EQ(c.byte_marks, byte_marks) << builtin_spec_chars + c.start;
    EXPECT_EQ(c.pair_marks, pair_marks) << builtin_spec_chars + c.start;
  }
  EXPECT_GT(marked, 0);
  EXPECT_GT(unless, 0);
}

// Each bucket names the first record that starts in it or later, so that
// the search from a record's bucket reaches that record and passes no other.
template <typename record>
static void expect_buckets_lead_to_every_record(const uint16_t *buckets, int bits,
                                                const record *records, int count)
{
  int bucket_count = static_cast<int>(builtin_spec_chars_size >> bits) + 1;
  for (int bucket = 0; bucket < bucket_count; bucket++) {
    int first = buckets[bucket];
    uint32_t bucket_start = static_cast<uint32_t>(bucket) << bits;
    ASSERT_LE(first, count);
    if (first < count)
      EXPECT_GE(records[first].start, bucket_start) << bucket;
    if (first > 0)
      EXPECT_LT(records[first - 1].start, bucket_start) << bucket;
  }
}

TEST(BuiltinTables, BucketsLeadToEveryRecord)
{
  expect_buckets_lead_to_every_record(builtin_body_buckets, BUILTIN_BUCKET_BITS, builtin_bodies,
                                      builtin_body_count);
  expect_buckets_lead_to_every_record(builtin_call_buckets, BUILTIN_BUCKET_BITS, builtin_calls,
                                      builtin_call_count);
  expect_buckets_lead_to_every_record(builtin_condition_buckets, BUILTIN_CONDITION_BUCKET_BITS,
                                      builtin_conditions, builtin_condition_count);
}

// The suffix lengths made at build time are those of the rows' suffixes.
TEST(BuiltinTables, CompilerSuffixLengthsAreTheSuffixes)
{
  for (int i = 0; i < builtin_compiler_count; i++)
    EXPECT_EQ(builtin_compiler_suffix_lengths[i], strlen(builtin_compilers[i].suffix))
        << builtin_compilers[i].suffix;
}
