// Choosing the temporary directory and creating temporary files.
#include "support/temp-files.h"

#include "support/alloc.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

static char *chosen_temp_dir;

static const char *usable_dir(const char *candidate, const char *current)
{
  if (current || !candidate)
    return current;
  struct stat info;
  if (access(candidate, R_OK | W_OK | X_OK) == 0 && stat(candidate, &info) == 0 &&
      S_ISDIR(info.st_mode))
    return candidate;
  return nullptr;
}

const char *temp_dir_choose()
{
  if (chosen_temp_dir)
    return chosen_temp_dir;
  // Every variable is read even once an earlier one was taken.
  const char *dir = usable_dir(getenv("TMPDIR"), nullptr);
  dir = usable_dir(getenv("TMP"), dir);
  dir = usable_dir(getenv("TEMP"), dir);
  dir = usable_dir("/tmp/", dir);
  dir = usable_dir("/var/tmp", dir);
  dir = usable_dir("/tmp", dir);
  if (!dir)
    dir = ".";
  size_t length = strlen(dir);
  char *copy = static_cast<char *>(checked_malloc(length + 2));
  memcpy(copy, dir, length);
  copy[length] = '/';
  copy[length + 1] = '\0';
  chosen_temp_dir = copy;
  return chosen_temp_dir;
}

char *temp_file_make_prefixed(const char *prefix, const char *suffix)
{
  const char *dir = temp_dir_choose();
  if (!prefix)
    prefix = "cc";
  if (!suffix)
    suffix = "";
  size_t dir_length = strlen(dir), prefix_length = strlen(prefix);
  size_t suffix_length = strlen(suffix);
  char *name = static_cast<char *>(
      checked_malloc(dir_length + prefix_length + 6 + suffix_length + 1));
  char *p = name;
  memcpy(p, dir, dir_length);
  p += dir_length;
  memcpy(p, prefix, prefix_length);
  p += prefix_length;
  memcpy(p, "XXXXXX", 6);
  p += 6;
  memcpy(p, suffix, suffix_length + 1);

  int fd = mkstemps(name, static_cast<int>(suffix_length));
  if (fd == -1) {
    int saved = errno;
    fprintf(stderr, "Cannot create temporary file in %s: %s\n", dir, strerror(saved));
    // An exit, not an abort, so that the exit handlers remove the
    // temporaries made before this one.
    exit_program(EXIT_CODE_ERRORS);
  }
  // The descriptor was just opened and nothing was written: a failing
  // close is a broken system, not something a caller can handle.
  if (close(fd))
    abort();
  return name;
}

char *temp_file_make(const char *suffix)
{
  return temp_file_make_prefixed(nullptr, suffix);
}
