// The automatic colour and hyperlink modes with standard error on a real
// pseudo-terminal, and off it.
#include "diagnostics/diagnostic-color.h"
#include "diagnostics/diagnostic.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct env_setting {
  const char *name;
  const char *value;  // null: unset
};

// Runs `probe` in a child whose standard error is the slave side of a new
// pseudo-terminal (or a pipe when on_terminal is false); returns what the
// probe wrote to standard output.
std::string probe_on_terminal(bool on_terminal, const std::vector<env_setting> &environment,
                              std::string (*probe)())
{
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  EXPECT_GE(master, 0);
  EXPECT_EQ(grantpt(master), 0);
  EXPECT_EQ(unlockpt(master), 0);
  std::string slave_name = ptsname(master);
  int result_pipe[2];
  EXPECT_EQ(pipe(result_pipe), 0);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int err = on_terminal ? open(slave_name.c_str(), O_RDWR) : dup(result_pipe[0]);
    dup2(err, 2);
    for (const char *name : {"VUZ_COLORS", "VUZ_URLS", "TERM_URLS", "COLORTERM", "TERM",
                             "COLUMNS"})
      unsetenv(name);
    for (const env_setting &setting : environment)
      setenv(setting.name, setting.value, 1);
    std::string answer = probe();
    if (write(result_pipe[1], answer.data(), answer.size()) < 0)
      _exit(2);
    _exit(0);
  }
  close(result_pipe[1]);
  std::string answer;
  char buffer[256];
  ssize_t n;
  while ((n = read(result_pipe[0], buffer, sizeof buffer)) > 0)
    answer.append(buffer, static_cast<size_t>(n));
  close(result_pipe[0]);
  int status;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return answer;
}

std::string automatic_modes()
{
  return std::string(colorize_init(DIAGNOSTICS_AUTO) ? "colour" : "plain") + " " +
         std::to_string(determine_url_format(DIAGNOSTICS_AUTO));
}

TEST(Terminal, AutomaticModes)
{
  const struct {
    bool on_terminal;
    std::vector<env_setting> environment;
    const char *expected;
  } cases[] = {
      {true, {{"TERM", "xterm-256color"}}, "colour 2"},
      {false, {{"TERM", "xterm-256color"}}, "plain 0"},
      {true, {}, "plain 0"},
      {true, {{"TERM", "dumb"}}, "plain 0"},
      {true, {{"TERM", "xterm"}}, "colour 0"},
      {true, {{"TERM", "linux"}, {"TERM_URLS", "st"}}, "colour 1"},
      {true, {{"TERM", "xterm"}, {"COLORTERM", "truecolor"}}, "colour 2"},
      {true, {{"TERM", "xterm"}, {"VUZ_URLS", "st"}}, "colour 1"},
      {true, {{"TERM", "vt220"}, {"COLORTERM", "gnome-terminal"}, {"VUZ_URLS", "st"}},
       "colour 0"},
      {true, {{"TERM", "vt220"}, {"COLORTERM", "xfce4-terminal"}}, "colour 0"},
      {true, {{"TERM", "vt220"}, {"VUZ_COLORS", ""}, {"VUZ_URLS", "no"}}, "plain 0"},
      {true, {{"TERM", "vt220"}, {"TERM_URLS", ""}}, "colour 0"},
  };
  for (const auto &c : cases) {
    std::string label = c.on_terminal ? "tty" : "pipe";
    for (const env_setting &s : c.environment)
      label += std::string(" ") + s.name + "=" + s.value;
    EXPECT_EQ(probe_on_terminal(c.on_terminal, c.environment, automatic_modes), c.expected)
        << label;
  }
}

std::string caret_width()
{
  diagnostic_state context;
  diagnostic_state_init(&context, 0);
  int width = context.caret_line_width;
  diagnostic_state_finish(&context);
  return std::to_string(width == INT_MAX ? -1 : width == INT_MAX - 1 ? -2 : width);
}

TEST(Terminal, CaretLineWidthFromColumns)
{
  const struct {
    bool on_terminal;
    const char *columns;
    const char *expected;  // -1 for INT_MAX, -2 for INT_MAX - 1
  } cases[] = {
      {true, "80", "79"},        {true, nullptr, "-2"},        {true, "1", "-1"},
      {true, "0", "-2"},         {true, "-5", "-2"},           {true, "junk", "-2"},
      {true, "99999999999999999999", "-2"}, {true, "2147483648", "-2"},
      // Beyond the range of int: not taken modulo 2^32.
      {true, "4294967376", "-2"},           {false, "80", "-1"},
  };
  for (const auto &c : cases) {
    std::vector<env_setting> environment = {{"TERM", "xterm"}};
    if (c.columns)
      environment.push_back({"COLUMNS", c.columns});
    EXPECT_EQ(probe_on_terminal(c.on_terminal, environment, caret_width), c.expected)
        << (c.columns ? c.columns : "(unset)");
  }
}

// The answer about standard error is kept for the run: a descriptor moved
// onto it afterwards is not seen until the next context set-up.
std::string answers_across_a_new_run()
{
  std::string answers = descriptor_is_terminal(2) ? "tty" : "not";
  int fds[2];
  if (pipe(fds) != 0)
    return "no pipe";
  int saved = dup(2);
  dup2(fds[1], 2);
  answers += descriptor_is_terminal(2) ? " tty" : " not";
  answers += caret_width() == "-1" ? " caret-off-terminal" : " caret-on-terminal";
  answers += descriptor_is_terminal(2) ? " tty" : " not";
  dup2(saved, 2);
  return answers;
}

TEST(Terminal, AnswerKeptUntilTheNextContextSetUp)
{
  EXPECT_EQ(probe_on_terminal(true, {}, answers_across_a_new_run),
            "tty tty caret-off-terminal not");
  EXPECT_EQ(probe_on_terminal(false, {}, answers_across_a_new_run),
            "not not caret-off-terminal not");
}

} // namespace
