// A program that makes the system calls a traced driver run made, and
// nothing else: the time a dry run cannot go below while it does what the
// driver's rules ask of it (probes, temporary files, signal set-up, echo).
// Each argument is one call; `bench/startup-calls.py` writes them from a
// trace. The arguments come in with the process, so reading them costs no
// call of its own.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum { MAX_TEMPS = 64 };

struct replay_state
{
  char *temps[MAX_TEMPS];
  int temp_count;
  unsigned serial;
  // What the echo writes: only as much is filled as the longest write
  // needs, so that the page faults stay near the driver's own.
  char *echo;
  size_t echo_size;
};

void replay_catch(int) {}

// After the colon that ends a field: the text behind it.
const char *replay_field(const char *word, int index)
{
  for (; index > 0; index--) {
    word = std::strchr(word, ':');
    if (!word)
      return "";
    word++;
  }
  return word;
}

bool replay_is(const char *word, const char *name)
{
  size_t length = std::strlen(name);
  return std::strncmp(word, name, length) == 0
         && (word[length] == ':' || word[length] == '\0');
}

// The last six X of the template become letters drawn from where the stack
// lies (it moves from run to run, and asking for the process id would be a
// call the driver does not make) and a serial number; a name already taken
// draws again, as mkstemps does.
void replay_create(replay_state *state, const char *pattern)
{
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  char *name = strdup(pattern);
  char *xs = std::strstr(name, "XXXXXX");
  if (!xs || state->temp_count == MAX_TEMPS) {
    std::fprintf(stderr, "calls-replay: bad temporary pattern %s\n", pattern);
    std::exit(2);
  }
  for (;;) {
    unsigned long value = reinterpret_cast<uintptr_t>(&name) / 16 * 7919u + state->serial++ * 104729u;
    for (int i = 0; i < 6; i++, value /= 62)
      xs[i] = letters[value % 62];
    int fd = open(name, O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
      close(fd);
      break;
    }
    if (errno != EEXIST) {
      std::perror(name);
      std::exit(2);
    }
  }
  state->temps[state->temp_count++] = name;
}

const char *replay_temp(replay_state *state, const char *index)
{
  int n = std::atoi(index);
  if (n < 0 || n >= state->temp_count) {
    std::fprintf(stderr, "calls-replay: no temporary file %s\n", index);
    std::exit(2);
  }
  return state->temps[n];
}

void replay_signal(const char *how, int signal_number)
{
  struct sigaction action = {}, old;
  if (std::strcmp(how, "query") == 0) {
    sigaction(signal_number, nullptr, &old);
    return;
  }
  action.sa_handler = std::strcmp(how, "ign") == 0   ? SIG_IGN
                      : std::strcmp(how, "dfl") == 0 ? SIG_DFL
                                                     : replay_catch;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, signal_number);
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, &old);
}

void replay_one(replay_state *state, const char *word)
{
  struct stat status;
  char buffer[4096];
  if (replay_is(word, "access"))
    access(replay_field(word, 2), std::atoi(replay_field(word, 1)));
  else if (replay_is(word, "stat"))
    stat(replay_field(word, 1), &status);
  else if (replay_is(word, "readlink"))
    (void) !readlink(replay_field(word, 1), buffer, sizeof buffer);
  else if (replay_is(word, "getcwd"))
    (void) !getcwd(buffer, sizeof buffer);
  else if (replay_is(word, "isatty"))
    isatty(std::atoi(replay_field(word, 1)));
  else if (replay_is(word, "write")) {
    size_t count = std::strtoul(replay_field(word, 2), nullptr, 10);
    (void) !write(std::atoi(replay_field(word, 1)), state->echo,
                  count < state->echo_size ? count : state->echo_size);
  } else if (replay_is(word, "sigaction"))
    replay_signal(replay_field(word, 2), std::atoi(replay_field(word, 1)));
  else if (replay_is(word, "getrlimit")) {
    struct rlimit limit;
    getrlimit(RLIMIT_STACK, &limit);
  } else if (replay_is(word, "setrlimit")) {
    struct rlimit limit;
    limit.rlim_cur = std::strtoul(replay_field(word, 1), nullptr, 10);
    limit.rlim_max = RLIM_INFINITY;
    setrlimit(RLIMIT_STACK, &limit);
  } else if (replay_is(word, "create"))
    replay_create(state, replay_field(word, 1));
  else if (replay_is(word, "stat-temp"))
    stat(replay_temp(state, replay_field(word, 1)), &status);
  else if (replay_is(word, "unlink-temp"))
    unlink(replay_temp(state, replay_field(word, 1)));
  else {
    std::fprintf(stderr, "calls-replay: unknown call %s\n", word);
    std::exit(2);
  }
}

} // namespace

int main(int argc, char **argv)
{
  static replay_state state;
  for (int i = 1; i < argc; i++)
    if (replay_is(argv[i], "write")) {
      size_t count = std::strtoul(replay_field(argv[i], 2), nullptr, 10);
      state.echo_size = count > state.echo_size ? count : state.echo_size;
    }
  state.echo = static_cast<char *>(std::malloc(state.echo_size + 1));
  if (!state.echo)
    return 2;
  std::memset(state.echo, 'x', state.echo_size);
  for (int i = 1; i < argc; i++)
    replay_one(&state, argv[i]);
  return 0;
}
