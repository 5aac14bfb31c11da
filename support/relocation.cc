// Relative install prefixes computed from the running program's location.
#include "support/relocation.h"

#include "support/alloc.h"
#include "support/file-names.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// Candidates up to this size are built on the stack.
constexpr size_t path_candidate_stack_size = 4031;

static bool is_executable_file(const char *path)
{
  struct stat info;
  return access(path, X_OK) == 0 && stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

char *relocation_program_path(const char *progname, bool resolve_links)
{
  if (!progname)
    return nullptr;
  const char *search = strchr(progname, '/') ? nullptr : getenv("PATH");
  if (!search)
    return resolve_links ? canonical_path(progname) : checked_strdup(progname);

  size_t longest = 1;  // an empty element stands for "."
  for (const char *p = search;;) {
    const char *end = strchrnul(p, ':');
    if (static_cast<size_t>(end - p) > longest)
      longest = end - p;
    if (!*end)
      break;
    p = end + 1;
  }
  size_t name_length = strlen(progname);
  size_t size = longest + 1 + name_length + 1;  // element, '/', name, terminator
  char stack_buffer[path_candidate_stack_size];
  char *buffer = size <= sizeof stack_buffer ? stack_buffer : checked_new_array<char>(size);

  const char *found = progname;
  for (const char *p = search;;) {
    const char *end = strchrnul(p, ':');
    size_t length = end - p;
    char *q = buffer;
    if (length == 0) {
      *q++ = '.';
    } else {
      memcpy(q, p, length);
      q += length;
    }
    if (q[-1] != '/')
      *q++ = '/';
    memcpy(q, progname, name_length + 1);
    if (is_executable_file(buffer)) {
      found = buffer;
      break;
    }
    if (!*end)
      break;
    p = end + 1;
  }
  char *full = resolve_links ? canonical_path(found) : checked_strdup(found);
  if (buffer != stack_buffer)
    free(buffer);
  return full;
}

char *relative_prefix_of_path(const char *full_path, const char *bin_prefix, const char *prefix)
{
  if (!full_path || !bin_prefix || !prefix)
    return nullptr;

  int prog_count;
  char **prog_dirs = split_directories_of(full_path, &prog_count);
  if (prog_count > 0) {
    // Drop the program's own file name.
    free(prog_dirs[--prog_count]);
    prog_dirs[prog_count] = nullptr;
  }

  int bin_count;
  char **bin_dirs = split_directories_of(bin_prefix, &bin_count);
  char **prefix_dirs = nullptr;
  char *result = nullptr;
  int prefix_count = 0, common = 0;

  if (prog_count == bin_count) {
    int i = 0;
    while (i < bin_count && path_equal(prog_dirs[i], bin_dirs[i]))
      i++;
    if (i == bin_count)
      goto done;  // running from the configured place
  }

  prefix_dirs = split_directories_of(prefix, &prefix_count);
  while (common < prefix_count && common < bin_count &&
         path_equal(prefix_dirs[common], bin_dirs[common]))
    common++;
  if (common == 0)
    goto done;

  {
    size_t needed = 1;
    for (int i = 0; i < prog_count; i++)
      needed += strlen(prog_dirs[i]);
    needed += 3 * static_cast<size_t>(bin_count - common);
    for (int i = common; i < prefix_count; i++)
      needed += strlen(prefix_dirs[i]);
    result = static_cast<char *>(malloc(needed));
    if (!result)
      goto done;
    char *q = result;
    for (int i = 0; i < prog_count; i++)
      q = stpcpy(q, prog_dirs[i]);
    for (int i = common; i < bin_count; i++)
      q = stpcpy(q, "../");
    for (int i = common; i < prefix_count; i++)
      q = stpcpy(q, prefix_dirs[i]);
    *q = '\0';
  }

done:
  split_directories_free(prog_dirs);
  split_directories_free(bin_dirs);
  split_directories_free(prefix_dirs);
  return result;
}

static char *relative_prefix(const char *progname, const char *bin_prefix, const char *prefix,
                             bool resolve_links)
{
  if (!progname || !bin_prefix || !prefix)
    return nullptr;
  char *full = relocation_program_path(progname, resolve_links);
  char *result = relative_prefix_of_path(full, bin_prefix, prefix);
  free(full);
  return result;
}

char *relative_prefix_resolved(const char *progname, const char *bin_prefix, const char *prefix)
{
  return relative_prefix(progname, bin_prefix, prefix, true);
}

char *relative_prefix_unresolved(const char *progname, const char *bin_prefix,
                                 const char *prefix)
{
  return relative_prefix(progname, bin_prefix, prefix, false);
}
