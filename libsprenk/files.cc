// Reading source files. For now a file is read whole, as UTF-8, into a
// block that ends in the sentinel and slack line preparation needs; include
// search and character-set conversion come with the include layer.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

unsigned char *_cpp_read_file(const char *name, uint64_t *length)
{
  int fd = name[0] ? open(name, O_RDONLY | O_NOCTTY) : 0;
  if (fd < 0)
    return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    // A directory counts as missing.
    int error = S_ISDIR(info.st_mode) ? ENOENT : errno;
    if (fd)
      close(fd);
    errno = error;
    return nullptr;
  }
  uint64_t allocated = S_ISREG(info.st_mode) && info.st_size > 0 ? uint64_t(info.st_size) : 8192;
  unsigned char *block = static_cast<unsigned char *>(checked_malloc(allocated + 1 + BUFFER_SLACK));
  uint64_t used = 0;
  for (;;) {
    if (used == allocated) {
      allocated *= 2;
      block = static_cast<unsigned char *>(checked_realloc(block, allocated + 1 + BUFFER_SLACK));
    }
    ssize_t got = read(fd, block + used, allocated - used);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      int error = errno;
      free(block);
      if (fd)
        close(fd);
      errno = error;
      return nullptr;
    }
    if (got == 0)
      break;
    used += uint64_t(got);
  }
  if (fd)
    close(fd);
  block[used] = used && block[used - 1] == '\r' ? '\r' : '\n';
  memset(block + used + 1, 0, BUFFER_SLACK);
  *length = used;
  return block;
}
