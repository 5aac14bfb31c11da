// Argument vectors and response files.
#include "support/argv.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/vec.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

enum { RESPONSE_FILE_BUDGET = 2000 };

// Reads the argument at *cursor in place: its bytes, with quotes and escapes
// removed, are written over the text from where it starts (never more bytes
// than were read) and closed with a NUL. Returns it, or null when only
// whitespace is left; *cursor moves past the argument and one separator.
static char *next_argument_in_place(char **cursor)
{
  unsigned char *p = reinterpret_cast<unsigned char *>(*cursor);
  while (c_isspace(*p))
    p++;
  if (!*p) {
    *cursor = reinterpret_cast<char *>(p);
    return nullptr;
  }
  char *argument = reinterpret_cast<char *>(p);
  char *out = argument;
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
  bool separator = *p != '\0';
  *out = '\0';  // at or before p, which was read already
  *cursor = reinterpret_cast<char *>(separator ? p + 1 : p);
  return argument;
}

arg_vector argv_split(const char *text)
{
  if (!text)
    return nullptr;
  char *scratch = checked_strdup(text);
  int slots = 8;
  int count = 0;
  char **argv = checked_new_array<char *>(slots);
  char *cursor = scratch;
  char *argument = next_argument_in_place(&cursor);
  do {
    if (count >= slots - 1) {
      slots *= 2;
      argv = static_cast<char **>(checked_realloc(argv, slots * sizeof(char *)));
    }
    argv[count++] = checked_strdup(argument ? argument : "");
  } while ((argument = next_argument_in_place(&cursor)));
  argv[count] = nullptr;
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

// A response file being read: its text, split in place only as the
// expansion reaches each argument, so that a file that names itself early
// costs one argument per level, not its whole length.
struct response_frame {
  char *text;
  char *cursor;
};

// The state of one expansion. Arguments point into the caller's strings or
// into the texts read; each is copied once, when the expansion is complete,
// so that the work stays linear in what the files hold.
struct response_expansion {
  const char *program;
  int budget;
  vec<char *> *arguments;
  vec<response_frame> *frames;
  vec<char *> *texts;
};

static void release_expansion(response_expansion *x)
{
  if (x->texts)
    for (char *text : *x->texts)
      free(text);
  vec_release(x->texts);
  vec_release(x->arguments);
  vec_release(x->frames);
}

// Ends the run; what the expansion holds is freed first, for a caller that
// takes the end of the run and carries on.
[[noreturn]] static void response_file_error(response_expansion *x, const char *message)
{
  fprintf(stderr, "%s: error: %s\n", x->program, message);
  release_expansion(x);
  exit_program(EXIT_CODE_ERRORS);
}

// Reads a whole response file; null when it cannot be read. A directory ends the
// run, and is recognised before any open or seek (seeking to the end of a
// directory gives a meaningless size here).
static char *read_response_file(response_expansion *x, const char *name)
{
  struct stat st;
  if (stat(name, &st) != 0)
    return nullptr;
  if (S_ISDIR(st.st_mode))
    response_file_error(x, "@-file refers to a directory");
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

static void handle_response_argument(response_expansion *x, char *argument)
{
  if (argument[0] != '@') {
    vec_safe_push(x->arguments, argument);
    return;
  }
  if (x->budget == 1)
    response_file_error(x, "too many @-files encountered");
  x->budget--;
  char *text = read_response_file(x, argument + 1);
  if (!text) {
    vec_safe_push(x->arguments, argument);
    return;
  }
  vec_safe_push(x->texts, text);
  vec_safe_push(x->frames, response_frame{text, text});
}

// The next argument: from the innermost file still open, else the caller's.
static char *next_response_argument(response_expansion *x, char **caller, int caller_count,
                                    int *caller_index)
{
  while (!vec_empty(x->frames)) {
    if (char *argument = next_argument_in_place(&x->frames->last().cursor))
      return argument;
    vec_pop(x->frames);
  }
  return *caller_index < caller_count ? caller[(*caller_index)++] : nullptr;
}

void expand_response_files(int *count, char ***argv)
{
  if (*count <= 1)
    return;
  char **original = *argv;
  response_expansion x = {original[0], RESPONSE_FILE_BUDGET, nullptr, nullptr, nullptr};
  vec_safe_push(x.arguments, original[0]);
  int index = 1;
  while (char *argument = next_response_argument(&x, original, *count, &index))
    handle_response_argument(&x, argument);
  if (!vec_empty(x.texts)) {
    int n = static_cast<int>(vec_length(x.arguments));
    char **copy = checked_new_array<char *>(static_cast<uint64_t>(n) + 1);
    for (int i = 0; i < n; i++)
      copy[i] = checked_strdup((*x.arguments)[static_cast<uint32_t>(i)]);
    copy[n] = nullptr;
    *count = n;
    *argv = copy;
  }
  release_expansion(&x);
}
