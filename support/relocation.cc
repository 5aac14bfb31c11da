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

static int component_count(const char *path)
{
  int n = 0;
  for (const char *p = path; *p; p = path_component_end(p))
    n++;
  return n;
}

static const char *skip_components(const char *path, int n)
{
  for (; n > 0; n--)
    path = path_component_end(path);
  return path;
}

// How many of the first LIMIT components of A and B are equal, from the start.
static int common_components(const char *a, const char *b, int limit)
{
  int n = 0;
  for (; n < limit; n++) {
    const char *a_end = path_component_end(a), *b_end = path_component_end(b);
    if (a_end - a != b_end - b || memcmp(a, b, static_cast<size_t>(a_end - a)) != 0)
      break;
    a = a_end;
    b = b_end;
  }
  return n;
}

// The components are compared where they lie: no copy of any of them.
char *relative_prefix_of_path(const char *full_path, const char *bin_prefix, const char *prefix)
{
  if (!full_path || !bin_prefix || !prefix)
    return nullptr;
  int prog_count = component_count(full_path);
  if (prog_count > 0)
    prog_count--;  // the program's own file name
  int bin_count = component_count(bin_prefix);
  if (prog_count == bin_count && common_components(full_path, bin_prefix, bin_count) == bin_count)
    return nullptr;  // running from the configured place
  int prefix_count = component_count(prefix);
  int common =
      common_components(prefix, bin_prefix, prefix_count < bin_count ? prefix_count : bin_count);
  if (common == 0)
    return nullptr;

  size_t prog_length = static_cast<size_t>(skip_components(full_path, prog_count) - full_path);
  const char *prefix_rest = skip_components(prefix, common);
  size_t needed = prog_length + 3 * static_cast<size_t>(bin_count - common) +
                  strlen(prefix_rest) + 1;
  char *result = static_cast<char *>(malloc(needed));
  if (!result)
    return nullptr;
  char *q = static_cast<char *>(memcpy(result, full_path, prog_length)) + prog_length;
  for (int i = common; i < bin_count; i++)
    q = stpcpy(q, "../");
  strcpy(q, prefix_rest);
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
