// The sysctl entry this host lacks, for the one name the library asks that has
// an answer here: the running program's own path (kernel, process, path name,
// this process), read from /proc. Every other name fails with ENOENT. Kept
// apart from the support library so that the stack-trace library needs no
// allocator but its own.
#include "libmerrow/internal.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

int bt_host_sysctl(const int *name, unsigned name_length, void *value, size_t *length)
{
  bool own_path = name_length == 4 && name[0] == 1 && name[1] == 14 && name[2] == 12 &&
                  (name[3] == -1 || name[3] == getpid());
  if (!own_path) {
    errno = ENOENT;
    return -1;
  }
  char path[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
    errno = ENOENT;
    return -1;
  }
  size_t needed = static_cast<size_t>(n) + 1;
  if (value) {
    if (*length < needed) {
      errno = ENOMEM;
      return -1;
    }
    memcpy(value, path, n);
    static_cast<char *>(value)[n] = '\0';
  }
  *length = needed;
  return 0;
}
