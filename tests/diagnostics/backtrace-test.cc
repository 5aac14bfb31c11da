// The internal-error report with its backtrace, end to end: the program's own
// stack, symbolised from its own executable.
#include "diagnostics/diagnostic.h"

#include "support/alloc.h"
#include "support/internal-abort.h"
#include "tests/diagnostics/child-run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

struct frame_line {
  std::string function, file;
  int line;
};

// The frames of a report: "0x<pc> <function>" then "\t<file>:<line>".
std::vector<frame_line> frames_of(const std::string &err)
{
  static const std::regex frame("0x[0-9a-f]+ ([^\n]+)\n\t([^\n]*):([0-9]+)\n");
  std::vector<frame_line> frames;
  for (std::sregex_iterator i(err.begin(), err.end(), frame), end; i != end; ++i)
    frames.push_back({(*i)[1], (*i)[2], std::stoi((*i)[3])});
  return frames;
}

bool ends_with(const std::string &s, const char *tail)
{
  size_t n = strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

int recurse_line, check_line;

// Fails at the bottom of DEPTH nested calls; a dry run only notes the lines
// of the two calls, for the parent process to compare with.
__attribute__((noinline)) void failing_check(int depth, bool dry = false)
{
  recurse_line = __LINE__ + 5;
  check_line = __LINE__ + 8;
  if (dry)
    return;
  if (depth > 0) {
    failing_check(depth - 1);
    asm volatile("");  // no tail call: every level keeps its frame
    return;
  }
  internal_abort("../../options/opts-common.cc", 42, "decode_cmdline_option");
}

} // namespace

// One of the names at which the interesting part of the stack ends.
__attribute__((noinline)) void run_one_pass()
{
  failing_check(1);
  asm volatile("");
}

namespace {

TEST(Backtrace, AssertionBeforeStartUpPrintsItsCallers)
{
  failing_check(0, true);
  child_outcome outcome = run_in_child([] { failing_check(2); });
  EXPECT_FALSE(outcome.exited);
  EXPECT_EQ(outcome.status, SIGABRT);
  EXPECT_EQ(outcome.err.rfind("internal compiler error: in decode_cmdline_option, at "
                              "options/opts-common.cc:42\n0x", 0),
            0u)
      << outcome.err;
  std::vector<frame_line> frames = frames_of(outcome.err);
  ASSERT_GE(frames.size(), 4u) << outcome.err;
  // The first frame is the failing check itself, at the calling line; the
  // engine's frames before it are hidden.
  int lines[] = {check_line, recurse_line, recurse_line};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(frames[i].function, "(anonymous namespace)::failing_check(int, bool)");
    EXPECT_TRUE(ends_with(frames[i].file, "tests/diagnostics/backtrace-test.cc")) << frames[i].file;
    EXPECT_EQ(frames[i].line, lines[i]);
  }
  // Every byte of the report is either the first line or a frame.
  std::string rest = outcome.err.substr(outcome.err.find('\n') + 1);
  EXPECT_EQ(std::regex_replace(rest, std::regex("0x[0-9a-f]+ [^\n]+\n\t[^\n]*:[0-9]+\n"), ""), "");
}

TEST(Backtrace, AtMostTwentyFramesAfterStartUp)
{
  child_outcome outcome = run_in_child([] {
    alloc_set_program_name("vuz");
    diagnostic_state_init(&global_diagnostic_state, 0);
    failing_check(40);
  });
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.status, 4);
  std::vector<frame_line> frames = frames_of(outcome.err);
  ASSERT_EQ(frames.size(), 20u) << outcome.err;
  for (const frame_line &f : frames)
    EXPECT_NE(f.function.find("failing_check"), std::string::npos) << f.function;
  EXPECT_NE(outcome.err.find("Please include the complete backtrace with any bug report.\n"),
            std::string::npos);
}

TEST(Backtrace, WalkStopsAtTheOutermostNames)
{
  child_outcome outcome = run_in_child([] {
    alloc_set_program_name("vuz");
    diagnostic_state_init(&global_diagnostic_state, 0);
    run_one_pass();
  });
  EXPECT_EQ(outcome.status, 4);
  std::vector<frame_line> frames = frames_of(outcome.err);
  ASSERT_EQ(frames.size(), 2u) << outcome.err;
  EXPECT_EQ(frames[1].function, "(anonymous namespace)::failing_check(int, bool)");
}

TEST(Backtrace, NoBacktraceKindPrintsNoFrames)
{
  child_outcome outcome = run_in_child([] {
    alloc_set_program_name("vuz");
    diagnostic_state_init(&global_diagnostic_state, 0);
    internal_error_no_backtrace("quiet");
  });
  EXPECT_EQ(outcome.status, 4);
  EXPECT_TRUE(frames_of(outcome.err).empty()) << outcome.err;
  EXPECT_EQ(outcome.err.find("Please include"), std::string::npos);
}

} // namespace
