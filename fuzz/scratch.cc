// Scratch names of the fuzz targets, and the removal of stale copies.
#include "fuzz/scratch.h"

#include "support/temp-files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <ftw.h>
#include <signal.h>
#include <unistd.h>

static int remove_entry(const char *path, const struct stat *, int, FTW *)
{
  remove(path);
  return 0;
}

void fuzz_remove_tree(const std::string &path)
{
  nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// The process id that NAME carries between PREFIX and SUFFIX, or 0.
static pid_t owner_of(const char *name, const char *prefix, const char *suffix)
{
  size_t prefix_length = strlen(prefix);
  if (strncmp(name, prefix, prefix_length) != 0)
    return 0;
  const char *digits = name + prefix_length;
  char *end;
  long pid = strtol(digits, &end, 10);
  if (end == digits || *digits < '1' || *digits > '9' || strcmp(end, suffix) != 0 || pid <= 0)
    return 0;
  return static_cast<pid_t>(pid);
}

static bool process_is_gone(pid_t pid)
{
  return kill(pid, 0) != 0 && errno == ESRCH;
}

std::string fuzz_scratch_name_in(const char *directory, const char *prefix, const char *suffix)
{
  if (DIR *dir = opendir(directory)) {
    while (dirent *entry = readdir(dir)) {
      pid_t owner = owner_of(entry->d_name, prefix, suffix);
      // A copy under this process's id is an earlier process's too: the
      // name is handed out once per process.
      if (owner && (owner == getpid() || process_is_gone(owner)))
        fuzz_remove_tree(std::string(directory) + entry->d_name);
    }
    closedir(dir);
  }
  return std::string(directory) + prefix + std::to_string(getpid()) + suffix;
}

std::string fuzz_scratch_name(const char *prefix, const char *suffix)
{
  return fuzz_scratch_name_in(temp_dir_choose(), prefix, suffix);
}
