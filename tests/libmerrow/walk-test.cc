// Walking this test program's own stack and resolving its own pcs.
#include "libmerrow/internal.h"
#include "tests/libmerrow/recorder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

bt_state *shared_state()
{
  static bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  return state;
}

int walk_line;

__attribute__((noinline)) int walk_from_inner(recorder *r, int skip)
{
  walk_line = __LINE__ + 1;
  int result = bt_walk_stack(shared_state(), skip, recorder::on_frame, recorder::on_error, r);
  asm volatile("");  // keeps the call from becoming a tail call
  return result;
}

__attribute__((noinline)) int walk_from_middle(recorder *r, int skip)
{
  int result = walk_from_inner(r, skip);
  asm volatile("");
  return result;
}

__attribute__((noinline)) int walk_from_outer(recorder *r, int skip)
{
  int result = walk_from_middle(r, skip);
  asm volatile("");
  return result;
}

bool ends_with(const std::string &s, const char *tail)
{
  size_t n = strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

TEST(Walk, FramesResolveToThisFileInCallOrder)
{
  recorder r;
  EXPECT_EQ(walk_from_outer(&r, 0), 0);
  EXPECT_TRUE(r.errors.empty());
  ASSERT_GE(r.frames.size(), 4u);
  const char *names[] = {"walk_from_inner", "walk_from_middle", "walk_from_outer"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(r.frames[i].function.find(names[i]), std::string::npos) << r.frames[i].function;
    EXPECT_TRUE(ends_with(r.frames[i].file, "tests/libmerrow/walk-test.cc")) << r.frames[i].file;
  }
  EXPECT_EQ(r.frames[0].line, walk_line);
}

TEST(Walk, SkipCountOmitsTheFramesAboveTheWalker)
{
  struct {
    int skip;
    const char *first;
  } cases[] = {{0, "walk_from_inner"}, {1, "walk_from_middle"}, {2, "walk_from_outer"}};
  for (const auto &c : cases) {
    recorder r;
    walk_from_outer(&r, c.skip);
    ASSERT_FALSE(r.frames.empty());
    EXPECT_NE(r.frames[0].function.find(c.first), std::string::npos)
        << c.skip << ": " << r.frames[0].function;
  }
}

TEST(Walk, NonZeroFrameResultEndsTheWalk)
{
  recorder r;
  r.stop_at = 2;
  EXPECT_EQ(walk_from_outer(&r, 0), 7);
  EXPECT_EQ(r.frames.size(), 3u);
}

TEST(Walk, MissingExecutableNameFallsBackQuietly)
{
  recorder r;
  bt_state *state = bt_state_new("/nonexistent/program", 0, recorder::on_error, &r);
  uintptr_t pc = reinterpret_cast<uintptr_t>(&walk_from_middle);
  EXPECT_EQ(bt_resolve_pc(state, pc, recorder::on_frame, recorder::on_error, &r), 0);
  EXPECT_TRUE(r.errors.empty());
  ASSERT_FALSE(r.frames.empty());
  EXPECT_NE(r.frames.back().function.find("walk_from_middle"), std::string::npos);
}

TEST(Walk, FailedInitialisationReportsOncePerLookup)
{
  recorder r;
  bt_state *state = bt_state_new(nullptr, 0, recorder::on_error, &r);
  state->fileline_initialization_failed = 1;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(bt_resolve_pc(state, 0x1000, recorder::on_frame, recorder::on_error, &r), 0);
  EXPECT_TRUE(r.frames.empty());
  std::vector<std::pair<std::string, int>> want(3, {"failed to read executable information", -1});
  EXPECT_EQ(r.errors, want);
  EXPECT_EQ(bt_resolve_symbol(state, 0x1000, nullptr, recorder::on_error, &r), 0);
}

TEST(Walk, ExecutableThatIsNotElfFailsInitialisationForGood)
{
  static char path[] = "/tmp/libmerrow-not-elf-XXXXXX";  // the state keeps the name
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string script = "#!/bin/sh\n" + std::string(100, '#') + "\n";  // longer than an ELF header
  ASSERT_EQ(write(fd, script.data(), script.size()), static_cast<ssize_t>(script.size()));
  close(fd);
  recorder r;
  bt_state *state = bt_state_new(path, 0, recorder::on_error, &r);
  uintptr_t pc = reinterpret_cast<uintptr_t>(&walk_from_middle);
  EXPECT_EQ(bt_resolve_pc(state, pc, recorder::on_frame, recorder::on_error, &r), 0);
  EXPECT_EQ(bt_resolve_pc(state, pc, recorder::on_frame, recorder::on_error, &r), 0);
  unlink(path);
  EXPECT_TRUE(r.frames.empty());
  EXPECT_EQ(r.errors, (std::vector<std::pair<std::string, int>>{
                          {"executable file is not ELF", 0},
                          {"failed to read executable information", -1}}));
}

TEST(Walk, ThreadedStateServesConcurrentLookups)
{
  bt_state *state = bt_state_new(nullptr, 1, nullptr, nullptr);
  uintptr_t pcs[] = {reinterpret_cast<uintptr_t>(&walk_from_inner),
                     reinterpret_cast<uintptr_t>(&walk_from_middle),
                     reinterpret_cast<uintptr_t>(&walk_from_outer)};
  const char *names[] = {"walk_from_inner", "walk_from_middle", "walk_from_outer"};
  std::vector<std::thread> threads;
  std::vector<recorder> results(8);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3; ++i)
        bt_resolve_pc(state, pcs[(t + i) % 3], recorder::on_frame, recorder::on_error,
                      &results[t]);
    });
  for (std::thread &t : threads)
    t.join();
  for (int t = 0; t < 8; ++t) {
    EXPECT_TRUE(results[t].errors.empty());
    ASSERT_EQ(results[t].frames.size(), 3u);
    for (int i = 0; i < 3; ++i)
      EXPECT_NE(results[t].frames[i].function.find(names[(t + i) % 3]), std::string::npos);
  }
}

TEST(Walk, PcOutsideEveryUnitGivesABareFrame)
{
  recorder r;
  EXPECT_EQ(bt_resolve_pc(shared_state(), 16, recorder::on_frame, recorder::on_error, &r), 0);
  ASSERT_EQ(r.frames.size(), 1u);
  EXPECT_EQ(r.frames[0], (reported_frame{16, "", 0, ""}));
}

TEST(Walk, SymbolLookupFindsTheFunctionStart)
{
  struct found {
    std::string name;
    uintptr_t value = 0, size = 0;
  } f;
  uintptr_t start = reinterpret_cast<uintptr_t>(&walk_from_outer);
  EXPECT_EQ(bt_resolve_symbol(
                shared_state(), start + 2,
                [](void *data, uintptr_t, const char *name, uintptr_t value, uintptr_t size) {
                  *static_cast<found *>(data) = {name ? name : "", value, size};
                },
                recorder::on_error, &f),
            1);
  EXPECT_NE(f.name.find("walk_from_outer"), std::string::npos) << f.name;
  EXPECT_EQ(f.value, start);
  EXPECT_GT(f.size, 2u);
}

}  // namespace

namespace {

TEST(HostSysctl, AnswersOnlyTheOwnPathName)
{
  char expected[4096];
  ssize_t n = readlink("/proc/self/exe", expected, sizeof expected - 1);
  ASSERT_GT(n, 0);
  expected[n] = '\0';
  int own[] = {1, 14, 12, -1};
  size_t length = 0;
  ASSERT_EQ(bt_host_sysctl(own, 4, nullptr, &length), 0);
  EXPECT_EQ(length, static_cast<size_t>(n) + 1);
  std::vector<char> buffer(length);
  ASSERT_EQ(bt_host_sysctl(own, 4, buffer.data(), &length), 0);
  EXPECT_STREQ(buffer.data(), expected);
  size_t short_length = length - 1;
  errno = 0;
  EXPECT_EQ(bt_host_sysctl(own, 4, buffer.data(), &short_length), -1);
  EXPECT_EQ(errno, ENOMEM);

  int other[][4] = {{1, 7, -1, 12}, {1, 14, 12, getpid() + 1}, {2, 14, 12, -1}};
  for (const int *name : other) {
    errno = 0;
    EXPECT_EQ(bt_host_sysctl(name, 4, nullptr, &length), -1);
    EXPECT_EQ(errno, ENOENT);
  }
  int by_pid[] = {1, 14, 12, getpid()};
  EXPECT_EQ(bt_host_sysctl(by_pid, 4, nullptr, &length), 0);
}

}  // namespace
