// Argument vectors and response files.
#include "support/argv.h"

#include "support/alloc.h"
#include "support/char-class.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

enum { RESPONSE_FILE_BUDGET = 2000 };

arg_vector argv_split(const char *text)
{
  if (!text)
    return nullptr;
  char *scratch = static_cast<char *>(checked_malloc(strlen(text) + 1));
  int slots = 8;
  int count = 0;
  char **argv = checked_new_array<char *>(slots);
  argv[0] = nullptr;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  do {
    while (c_isspace(*p))
      p++;
    if (count >= slots - 1) {
      slots *= 2;
      argv = static_cast<char **>(checked_realloc(argv, slots * sizeof(char *)));
    }
    char *out = scratch;
    bool escaped = false, single = false, dbl = false;
    for (; *p; p++) {
      unsigned char c = *p;
      if (escaped) {
        *out++ = static_cast<char>(c);
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (single) {
        if (c == '\'')
          single = false;
        else
          *out++ = static_cast<char>(c);
      } else if (dbl) {
        if (c == '"')
          dbl = false;
        else
          *out++ = static_cast<char>(c);
      } else if (c_isspace(c)) {
        break;
      } else if (c == '\'') {
        single = true;
      } else if (c == '"') {
        dbl = true;
      } else {
        *out++ = static_cast<char>(c);
      }
    }
    *out = '\0';
    argv[count++] = checked_strdup(scratch);
    argv[count] = nullptr;
    while (c_isspace(*p))
      p++;
  } while (*p);
  free(scratch);
  return argv;
}

int argv_write_quoted(const char *const *argv, FILE *stream)
{
  if (!stream)
    return 1;
  for (; *argv; argv++) {
    const char *arg = *argv;
    if (!*arg && fputs("\"\"", stream) == EOF)
      return 1;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(arg); *p; p++) {
      if ((c_isspace(*p) || *p == '\'' || *p == '"' || *p == '\\') && fputc('\\', stream) == EOF)
        return 1;
      if (fputc(*p, stream) == EOF)
        return 1;
    }
    if (fputc('\n', stream) == EOF)
      return 1;
  }
  return 0;
}

int argv_count(const char *const *argv)
{
  int n = 0;
  if (argv)
    while (argv[n])
      n++;
  return n;
}

arg_vector argv_duplicate(const char *const *argv)
{
  if (!argv)
    return nullptr;
  int n = argv_count(argv);
  char **copy = checked_new_array<char *>(n + 1);
  for (int i = 0; i < n; i++)
    copy[i] = checked_strdup(argv[i]);
  copy[n] = nullptr;
  return copy;
}

void argv_free(arg_vector argv)
{
  if (!argv)
    return;
  for (char **p = argv; *p; p++)
    free(*p);
  free(argv);
}

static bool only_whitespace(const char *text)
{
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++)
    if (!c_isspace(*p))
      return false;
  return true;
}

// Reads a whole response file; null when it cannot be read. A directory ends the
// run, and is recognised before any open or seek (seeking to the end of a
// directory gives a meaningless size here).
static char *read_response_file(const char *name, const char *program)
{
  struct stat st;
  if (stat(name, &st) != 0)
    return nullptr;
  if (S_ISDIR(st.st_mode)) {
    fprintf(stderr, "%s: error: @-file refers to a directory\n", program);
    exit_program(1);
  }
  FILE *f = fopen(name, "r");
  if (!f)
    return nullptr;
  char *buffer = nullptr;
  long size;
  if (fseek(f, 0, SEEK_END) == 0 && (size = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0) {
    buffer = static_cast<char *>(checked_malloc(static_cast<uint64_t>(size) + 1));
    size_t got = fread(buffer, 1, static_cast<size_t>(size), f);
    if (got < static_cast<size_t>(size) && ferror(f)) {
      free(buffer);
      buffer = nullptr;
    } else {
      buffer[got] = '\0';
    }
  }
  fclose(f);
  return buffer;
}

void expand_response_files(int *count, char ***argv)
{
  if (*count <= 1)
    return;
  char **original = *argv;
  int budget = RESPONSE_FILE_BUDGET;
  for (int i = 1; i < *count; i++) {
    const char *arg = (*argv)[i];
    if (arg[0] != '@')
      continue;
    if (budget == 1) {
      fprintf(stderr, "%s: error: too many @-files encountered\n", (*argv)[0]);
      exit_program(1);
    }
    budget--;
    char *content = read_response_file(arg + 1, (*argv)[0]);
    if (!content)
      continue;
    char **file_args = only_whitespace(content) ? nullptr : argv_split(content);
    free(content);
    int n = argv_count(file_args);
    if (*argv == original)
      *argv = argv_duplicate(original);
    char **v = *argv;
    free(v[i]);
    v = static_cast<char **>(checked_realloc(v, (*count + n + 1) * sizeof(char *)));
    memmove(v + i + n, v + i + 1, (*count - i) * sizeof(char *));  // with the terminator
    if (n)
      memcpy(v + i, file_args, n * sizeof(char *));
    *count += n - 1;
    free(file_args);
    *argv = v;
    i--;  // examine the first inserted argument next
  }
}
