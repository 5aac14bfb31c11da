// Concatenation: one pass to sum the lengths, one allocation, one pass to copy.
#include "support/concat.h"

#include "support/alloc.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

char *shared_concat_buffer;

static uint64_t total_length(const char *first, va_list args)
{
  uint64_t total = 0;
  for (const char *s = first; s; s = va_arg(args, const char *))
    total += strlen(s);
  return total;
}

static char *copy_all(char *destination, const char *first, va_list args)
{
  char *end = destination;
  for (const char *s = first; s; s = va_arg(args, const char *)) {
    size_t n = strlen(s);
    memcpy(end, s, n);
    end += n;
  }
  *end = '\0';
  return destination;
}

uint64_t concat_total_length(const char *first, ...)
{
  va_list args;
  va_start(args, first);
  uint64_t total = total_length(first, args);
  va_end(args);
  return total;
}

// One allocation of the joined strings; ARGS is walked twice through copies.
static char *concat_va(const char *first, va_list args)
{
  va_list count;
  va_copy(count, args);
  uint64_t total = total_length(first, count);
  va_end(count);
  char *result = static_cast<char *>(checked_malloc(total + 1));
  return copy_all(result, first, args);
}

char *concat_strings(const char *first, ...)
{
  va_list args;
  va_start(args, first);
  char *result = concat_va(first, args);
  va_end(args);
  return result;
}

char *concat_replace(char *old_text, const char *first, ...)
{
  va_list args;
  va_start(args, first);
  char *result = concat_va(first, args);
  va_end(args);
  free(old_text);
  return result;
}

char *concat_into(char *destination, const char *first, ...)
{
  va_list args;
  va_start(args, first);
  copy_all(destination, first, args);
  va_end(args);
  return destination;
}

char *concat_into_shared(const char *first, ...)
{
  va_list args;
  va_start(args, first);
  copy_all(shared_concat_buffer, first, args);
  va_end(args);
  return shared_concat_buffer;
}
