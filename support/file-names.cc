// File-name comparison, base names, canonical paths and path components.
#include "support/file-names.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/string-hash.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>

int fd_is_open(int fd)
{
  return fcntl(fd, F_GETFD) >= 0;
}

int path_compare(const char *a, const char *b)
{
  return strcmp(a, b);
}

int path_compare_n(const char *a, const char *b, size_t length)
{
  return strncmp(a, b, length);
}

int path_equal(const char *a, const char *b)
{
  return path_compare(a, b) == 0;
}

int path_equal_canonical(const char *a, const char *b)
{
  char *canonical_a = canonical_path(a);
  char *canonical_b = canonical_path(b);
  int equal = path_equal(canonical_a, canonical_b);
  free(canonical_a);
  free(canonical_b);
  return equal;
}

uint32_t path_hash(const char *name)
{
  uint32_t h = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; p++) {
    unsigned char c = *p == '\\' ? '/' : *p;
    h = hash_text_step(h, c_tolower(c));
  }
  return h;
}

const char *path_base_name_posix(const char *path)
{
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

const char *path_base_name(const char *path)
{
  return path_base_name_posix(path);
}

const char *path_base_name_dos(const char *path)
{
  if (c_isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
    path += 2;
  const char *base = path;
  for (const char *p = path; *p; p++)
    if (*p == '/' || *p == '\\')
      base = p + 1;
  return base;
}

char *canonical_path(const char *path)
{
  // realpath sizes the result itself; the system's path limit may exceed any
  // fixed buffer.
  char *resolved = realpath(path, nullptr);
  return resolved ? resolved : checked_strdup(path);
}

const char *path_component_end(const char *p)
{
  while (*p && *p != '/')
    p++;
  while (*p == '/')
    p++;
  return p;
}

char **split_directories_of(const char *path, int *count)
{
  if (count)
    *count = 0;
  if (!path || !*path)
    return nullptr;
  int n = 0;
  for (const char *p = path; *p; p = path_component_end(p))
    n++;
  char **components = checked_new_array<char *>(n + 1);
  int i = 0;
  for (const char *p = path, *end; *p; p = end) {
    end = path_component_end(p);
    components[i++] = checked_strndup(p, end - p);
  }
  components[n] = nullptr;
  if (count)
    *count = n;
  return components;
}

void split_directories_free(char **components)
{
  if (!components)
    return;
  for (char **p = components; *p; p++)
    free(*p);
  free(components);
}

FILE *open_stream(const char *name, const char *mode)
{
  return fopen(name, mode);
}

FILE *open_stream_fd(int fd, const char *mode)
{
  return fdopen(fd, mode);
}

FILE *reopen_stream(const char *name, const char *mode, FILE *stream)
{
  return freopen(name, mode, stream);
}

void stream_helper_noop() {}

void stream_helper_noop_2() {}
