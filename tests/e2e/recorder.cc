// The stand-in for every program the driver starts (compilers, assembler,
// linker and their helpers). It appends one JSON line per run to the file
// named by RECORDER_LOG, and behaves as RECORDER_ACTIONS says for its name.
//
// RECORDER_ACTIONS is a list of "name:action,action;name:action" entries,
// where name is the program's base name (or "*") and the actions are:
//   exit=N     exit with status N (after the other actions)
//   signal=S   raise signal S at the end
//   nooutput   do not create the file named by "-o"
//   stdin      read standard input to its end (its size is logged)
//   burn=MS    use about MS milliseconds of processor time
//   stdout=T   write the text T to standard output
//   stderr=T   write the text T to standard error
//   stderr-of=F  copy the file F to standard error as it is, NUL bytes too
//   once=F     act only when the file F does not exist yet, then create it
//   dump=T     write T into the file named by "-fdump-final-insns="
//   sleep=MS   wait MS milliseconds before the other actions, signals
//              caught or not
//   trap=F     survive SIGINT, SIGTERM and SIGHUP, creating the file F at each
//   unless=A   act only when no argument equals A
//   if=A       act only when some argument equals A
//   fdlimit-parent=N  lower the parent's open-file limit to N, so that
//              the next file the driver opens fails
// unless=, if= and once= apply to the actions of their own entry.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <vector>

extern char **environ;

static void json_string(std::string &out, const std::string &text)
{
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    default:
      if (c < 0x20 || c >= 0x7f) {
        char buf[8];
        snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  out += '"';
}

static std::string read_file(const char *name, bool *ok)
{
  std::string content;
  FILE *f = fopen(name, "rb");
  *ok = f != nullptr;
  if (!f)
    return content;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0)
    content.append(buf, n);
  fclose(f);
  return content;
}

// Whether an entry's filters let its actions run in this invocation.
static bool entry_applies(const std::vector<std::string> &entry, int argc, char **argv)
{
  auto has_argument = [&](const std::string &a, size_t from) {
    for (int i = 1; i < argc; i++)
      if (a.compare(from, std::string::npos, argv[i]) == 0)
        return true;
    return false;
  };
  for (const std::string &a : entry) {
    if (a.compare(0, 7, "unless=") == 0 && has_argument(a, 7))
      return false;
    if (a.compare(0, 3, "if=") == 0 && !has_argument(a, 3))
      return false;
  }
  for (const std::string &a : entry)
    if (a.compare(0, 5, "once=") == 0) {
      const char *flag = a.c_str() + 5;
      if (access(flag, F_OK) == 0)
        return false;
      int fd = open(flag, O_CREAT | O_WRONLY, 0644);
      if (fd >= 0)
        close(fd);
    }
  return true;
}

static std::vector<std::string> actions_for(const char *base, int argc, char **argv)
{
  std::vector<std::string> result;
  const char *spec = getenv("RECORDER_ACTIONS");
  if (!spec)
    return result;
  std::string all = spec;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(';', start);
    if (end == std::string::npos)
      end = all.size();
    std::string entry = all.substr(start, end - start);
    size_t colon = entry.find(':');
    if (colon != std::string::npos) {
      std::string name = entry.substr(0, colon);
      if (name == base || name == "*") {
        std::string list = entry.substr(colon + 1);
        std::vector<std::string> own;
        size_t s = 0;
        while (s <= list.size()) {
          size_t e = list.find(',', s);
          if (e == std::string::npos)
            e = list.size();
          if (e > s)
            own.push_back(list.substr(s, e - s));
          s = e + 1;
        }
        if (entry_applies(own, argc, argv))
          result.insert(result.end(), own.begin(), own.end());
      }
    }
    start = end + 1;
  }
  return result;
}

static void burn(long milliseconds)
{
  clock_t until = clock() + static_cast<clock_t>(milliseconds) * CLOCKS_PER_SEC / 1000;
  volatile unsigned long x = 0;
  while (clock() < until)
    for (int i = 0; i < 10000; i++)
      x = x * 31 + static_cast<unsigned long>(i);
}

static const char *trap_file;

static void note_signal(int)
{
  int fd = open(trap_file, O_CREAT | O_WRONLY, 0644);
  if (fd >= 0)
    close(fd);
}

int main(int argc, char **argv)
{
  const char *slash = strrchr(argv[0], '/');
  const char *base = slash ? slash + 1 : argv[0];
  std::vector<std::string> actions = actions_for(base, argc, argv);

  std::string line = "{\"program\":";
  json_string(line, base);
  line += ",\"argv\":[";
  for (int i = 0; i < argc; i++) {
    if (i)
      line += ',';
    json_string(line, argv[i]);
  }
  line += "],\"files\":{";
  bool first = true;
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] != '@')
      continue;
    bool ok;
    std::string content = read_file(argv[i] + 1, &ok);
    if (!ok)
      continue;
    if (!first)
      line += ',';
    first = false;
    json_string(line, argv[i] + 1);
    line += ':';
    json_string(line, content);
  }
  line += "},\"env\":{";
  first = true;
  for (char **e = environ; *e; e++) {
    static const char *const names[] = {"VRESK_", "OFFLOAD_TARGET_NAMES=", "COMPILER_PATH=",
                                        "LIBRARY_PATH=", "MAKEFLAGS=", "VUZ_EXEC_PREFIX=",
                                        "SOURCE_DATE_EPOCH="};
    bool wanted = false;
    for (const char *n : names)
      if (strncmp(*e, n, strlen(n)) == 0)
        wanted = true;
    if (!wanted)
      continue;
    const char *eq = strchr(*e, '=');
    if (!first)
      line += ',';
    first = false;
    json_string(line, std::string(*e, static_cast<size_t>(eq - *e)));
    line += ':';
    json_string(line, eq + 1);
  }
  struct stat st;
  line += "},\"stdin_is_pipe\":";
  line += (fstat(0, &st) == 0 && S_ISFIFO(st.st_mode)) ? "true" : "false";
  line += ",\"stdout_is_pipe\":";
  line += (fstat(1, &st) == 0 && S_ISFIFO(st.st_mode)) ? "true" : "false";
  line += ",\"fds\":[";
  first = true;
  if (DIR *d = opendir("/proc/self/fd")) {
    int self = dirfd(d);
    std::vector<int> fds;
    while (struct dirent *ent = readdir(d)) {
      if (ent->d_name[0] == '.')
        continue;
      int fd = atoi(ent->d_name);
      if (fd != self)
        fds.push_back(fd);
    }
    closedir(d);
    std::sort(fds.begin(), fds.end());
    for (int fd : fds) {
      if (!first)
        line += ',';
      first = false;
      line += std::to_string(fd);
    }
  }
  line += "],\"pid\":" + std::to_string(getpid());

  long stdin_bytes = -1;
  for (const std::string &a : actions)
    if (a == "stdin") {
      stdin_bytes = 0;
      char buf[4096];
      ssize_t n;
      while ((n = read(0, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
          stdin_bytes += n;
    }
  if (stdin_bytes >= 0)
    line += ",\"stdin_bytes\":" + std::to_string(stdin_bytes);
  line += "}\n";

  if (const char *log = getenv("RECORDER_LOG")) {
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd >= 0) {
      if (write(fd, line.data(), line.size()) < 0)
        perror("recorder");
      close(fd);
    }
  }

  bool create_output = true;
  int status = 0, sig = 0;
  for (const std::string &a : actions)
    if (a.compare(0, 5, "trap=") == 0) {
      trap_file = strdup(a.c_str() + 5);
      for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, note_signal);
    }
  for (const std::string &a : actions)
    if (a.compare(0, 6, "sleep=") == 0) {
      long ms = atol(a.c_str() + 6);
      struct timespec left = {ms / 1000, (ms % 1000) * 1000000};
      while (nanosleep(&left, &left) != 0 && errno == EINTR) {
      }
    }
  for (const std::string &a : actions) {
    if (a.compare(0, 5, "dump=") == 0)
      for (int i = 1; i < argc; i++)
        if (strncmp(argv[i], "-fdump-final-insns=", 19) == 0)
          if (FILE *f = fopen(argv[i] + 19, "w")) {
            fputs(a.c_str() + 5, f);
            fclose(f);
          }
    if (a == "nooutput")
      create_output = false;
    else if (a.compare(0, 5, "exit=") == 0)
      status = atoi(a.c_str() + 5);
    else if (a.compare(0, 7, "signal=") == 0)
      sig = atoi(a.c_str() + 7);
    else if (a.compare(0, 5, "burn=") == 0)
      burn(atol(a.c_str() + 5));
    else if (a.compare(0, 7, "stdout=") == 0)
      fputs(a.c_str() + 7, stdout);
    else if (a.compare(0, 7, "stderr=") == 0)
      fputs(a.c_str() + 7, stderr);
    else if (a.compare(0, 10, "stderr-of=") == 0) {
      bool ok;
      std::string content = read_file(a.c_str() + 10, &ok);
      fwrite(content.data(), 1, content.size(), stderr);
    }
    else if (a.compare(0, 15, "fdlimit-parent=") == 0) {
      rlim_t n = static_cast<rlim_t>(atol(a.c_str() + 15));
      struct rlimit limit = {n, n};
      if (prlimit(getppid(), RLIMIT_NOFILE, &limit, nullptr) != 0)
        perror("recorder: prlimit");
    }
  }
  fflush(stdout);
  if (create_output)
    for (int i = 1; i + 1 < argc; i++)
      if (strcmp(argv[i], "-o") == 0 && strcmp(argv[i + 1], "-") != 0) {
        FILE *f = fopen(argv[i + 1], "w");
        if (f) {
          fprintf(f, "output of %s\n", base);
          fclose(f);
        }
      }
  if (sig) {
    signal(sig, SIG_DFL);
    raise(sig);
  }
  return status;
}
