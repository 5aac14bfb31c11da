// Test helper: what a function writes to a stream, as a string.
#ifndef VUZ_TESTS_SUPPORT_STREAM_TEXT_H
#define VUZ_TESTS_SUPPORT_STREAM_TEXT_H

#include <cstdio>
#include <cstdlib>
#include <string>

template <typename Write> std::string stream_text(Write write)
{
  char *text = nullptr;
  size_t length = 0;
  FILE *stream = open_memstream(&text, &length);
  write(stream);
  fclose(stream);
  std::string result(text, length);
  free(text);
  return result;
}

#endif
