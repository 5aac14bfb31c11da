// Checked allocation, the allocating formatted print and the out-of-memory report.
#include "support/alloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

extern char **environ;

static const char *alloc_name = "";
static char *initial_break;

void alloc_set_program_name(const char *name)
{
  alloc_name = name;
  if (!initial_break)
    initial_break = static_cast<char *>(sbrk(0));
}

const char *alloc_program_name()
{
  return alloc_name;
}

void report_out_of_memory(uint64_t size)
{
  char *now = static_cast<char *>(sbrk(0));
  char *start = initial_break ? initial_break : reinterpret_cast<char *>(&environ);
  unsigned long total = static_cast<unsigned long>(now - start);
  fprintf(stderr, "\n%s%sout of memory allocating %lu bytes after a total of %lu bytes\n",
          alloc_name, *alloc_name ? ": " : "", static_cast<unsigned long>(size), total);
  exit_program(EXIT_CODE_ERRORS);
}

void (*exit_program_hook)(int status);

void exit_program(int status)
{
  if (exit_program_hook)
    exit_program_hook(status);
  exit(status);
}

void *checked_malloc(uint64_t size)
{
  if (size == 0)
    size = 1;
  void *block = malloc(size);
  if (!block)
    report_out_of_memory(size);
  return block;
}

void *checked_calloc(uint64_t count, uint64_t size)
{
  if (count == 0 || size == 0)
    count = size = 1;
  void *block = calloc(count, size);
  if (!block)
    report_out_of_memory(count * size);
  return block;
}

void *checked_realloc(void *block, uint64_t size)
{
  if (size == 0)
    size = 1;
  void *result = block ? realloc(block, size) : malloc(size);
  if (!result)
    report_out_of_memory(size);
  return result;
}

void *checked_memdup(const void *source, uint64_t copy_length, uint64_t alloc_length)
{
  // Never copy more than was allocated, whatever the caller claims.
  if (alloc_length < copy_length)
    alloc_length = copy_length;
  char *block = static_cast<char *>(checked_malloc(alloc_length));
  if (alloc_length > copy_length)
    memset(block + copy_length, 0, alloc_length - copy_length);
  if (copy_length)
    memcpy(block, source, copy_length);
  return block;
}

char *checked_strdup(const char *text)
{
  size_t length = strlen(text) + 1;
  return static_cast<char *>(memcpy(checked_malloc(length), text, length));
}

char *checked_strndup(const char *text, uint64_t limit)
{
  size_t length = strnlen(text, limit);
  char *copy = static_cast<char *>(checked_malloc(length + 1));
  memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

int format_length_estimate(const char *format, va_list args)
{
  va_list ap;
  va_copy(ap, args);
  int total = static_cast<int>(strlen(format)) + 1;
  for (const char *p = format; *p; p++) {
    if (*p != '%')
      continue;
    p++;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0')
      p++;
    int running;
    if (*p == '*') {
      p++;
      running = total + abs(va_arg(ap, int));
    } else {
      char *end;
      running = total + static_cast<int>(strtoul(p, &end, 10));
      p = end;
    }
    if (*p == '.') {
      p++;
      if (*p == '*') {
        p++;
        running += abs(va_arg(ap, int));
      } else {
        char *end;
        running += static_cast<int>(strtoul(p, &end, 10));
        p = end;
      }
    }
    while (*p == 'h' || *p == 'l' || *p == 'L')
      p++;
    switch (*p) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': case 'c': case 'p': case 'n':
      (void)va_arg(ap, long);
      total = running + 30;
      break;
    case 'e': case 'f': case 'g': case 'E': case 'G':
      (void)va_arg(ap, double);
      total = running + 337;
      break;
    case 's':
      total = running + 30 + static_cast<int>(strlen(va_arg(ap, const char *)));
      break;
    default:
      total = running + 30;
      break;
    }
    if (!*p)
      break;  // a lone '%' at the end
  }
  va_end(ap);
  return total;
}

char *format_alloc_va(const char *format, va_list args)
{
  // The estimate is only an upper bound for the formats the system uses; format
  // with a size check and grow when it falls short.
  int estimate = format_length_estimate(format, args);
  size_t size = estimate > 0 ? static_cast<size_t>(estimate) : 1;
  char *block = static_cast<char *>(checked_malloc(size));
  va_list ap;
  va_copy(ap, args);
  int needed = vsnprintf(block, size, format, ap);
  va_end(ap);
  if (needed >= 0 && static_cast<size_t>(needed) >= size) {
    size = static_cast<size_t>(needed) + 1;
    block = static_cast<char *>(checked_realloc(block, size));
    va_copy(ap, args);
    vsnprintf(block, size, format, ap);
    va_end(ap);
  }
  return block;
}

char *format_alloc(const char *format, ...)
{
  va_list args;
  va_start(args, format);
  char *result = format_alloc_va(format, args);
  va_end(args);
  return result;
}
