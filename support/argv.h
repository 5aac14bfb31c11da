// Argument vectors: splitting text with shell-like quoting, writing a vector
// back in the same syntax, and expanding '@' response files.
#ifndef VUZ_SUPPORT_ARGV_H
#define VUZ_SUPPORT_ARGV_H

#include <cstdio>

// A null-terminated array of owned strings.
using arg_vector = char **;

arg_vector argv_split(const char *text);
int argv_write_quoted(const char *const *argv, FILE *stream);
void expand_response_files(int *count, char ***argv);
arg_vector argv_duplicate(const char *const *argv);
void argv_free(arg_vector argv);
int argv_count(const char *const *argv);

#endif
