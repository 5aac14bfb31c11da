// Choosing the temporary directory and creating temporary files.
#include "support/temp-files.h"

#include "support/alloc.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/auxv.h>
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

// Directory + prefix ("cc" when null) + "XXXXXX" + suffix, and where the six
// X characters are.
static char *name_template(const char *prefix, const char *suffix, char **xs)
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
  *xs = p;
  memcpy(p, "XXXXXX", 6);
  p += 6;
  memcpy(p, suffix, suffix_length + 1);
  return name;
}

char *temp_file_make_prefixed(const char *prefix, const char *suffix)
{
  char *xs;
  char *name = name_template(prefix, suffix, &xs);
  int fd = mkstemps(name, static_cast<int>(strlen(xs + 6)));
  if (fd == -1) {
    int saved = errno;
    fprintf(stderr, "Cannot create temporary file in %s: %s\n", temp_dir_choose(),
            strerror(saved));
    // An exit, not an abort, so that the exit handlers remove the
    // temporaries made before this one.
    exit_program(1);
  }
  if (close(fd))
    abort();
  return name;
}

enum : uint64_t {
  NAME_LETTER_COUNT = 62,
  NAME_SPACE = 62ull * 62 * 62 * 62 * 62 * 62,
  // Odd and not a multiple of 31, so prime to the name space: the steps visit
  // every name once before any repeats.
  NAME_STEP = 2654435761u,
};

// The next of the six-letter names, as a number below NAME_SPACE. The start
// is the random bytes the kernel hands every process: runs differ, and
// reading them costs no system call.
static uint64_t next_name_number()
{
  static uint64_t number;
  static bool seeded;
  if (!seeded) {
    uint64_t random = 0;
    if (const void *bytes = reinterpret_cast<const void *>(getauxval(AT_RANDOM)))
      memcpy(&random, bytes, sizeof random);
    number = random % NAME_SPACE;
    seeded = true;
  }
  number = (number + NAME_STEP) % NAME_SPACE;
  return number;
}

char *temp_file_name_prefixed(const char *prefix, const char *suffix)
{
  static const char letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  char *xs;
  char *name = name_template(prefix, suffix, &xs);
  static_assert(sizeof letters - 1 == NAME_LETTER_COUNT, "one letter per digit value");
  uint64_t number = next_name_number();
  for (int i = 0; i < 6; i++, number /= NAME_LETTER_COUNT)
    xs[i] = letters[number % NAME_LETTER_COUNT];
  return name;
}

char *temp_file_make(const char *suffix)
{
  return temp_file_make_prefixed(nullptr, suffix);
}
