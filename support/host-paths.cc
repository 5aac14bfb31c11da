// The executable's path from /proc, and the sysctl-shaped entry that reads it.
#include "support/host-paths.h"

#include "support/alloc.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

char *host_executable_path()
{
  size_t size = 256;
  for (;;) {
    char *buffer = checked_new_array<char>(size);
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length < 0) {
      free(buffer);
      return nullptr;
    }
    if (static_cast<size_t>(length) < size) {
      buffer[length] = '\0';
      return buffer;
    }
    // Possibly cut short: try again with more room.
    free(buffer);
    size *= 2;
  }
}

int host_sysctl(const int *name, unsigned name_length, void *value, size_t *length)
{
  bool own_path = name_length == 4 && name[0] == 1 && name[1] == 14 && name[2] == 12 &&
                  (name[3] == -1 || name[3] == getpid());
  if (!own_path) {
    errno = ENOENT;
    return -1;
  }
  char *path = host_executable_path();
  if (!path) {
    errno = ENOENT;
    return -1;
  }
  size_t needed = strlen(path) + 1;
  int result = 0;
  if (value) {
    if (*length < needed) {
      errno = ENOMEM;
      result = -1;
    } else {
      memcpy(value, path, needed);
    }
  }
  if (result == 0)
    *length = needed;
  free(path);
  return result;
}
