// Concatenation of null-terminated lists of strings.
#ifndef VUZ_SUPPORT_CONCAT_H
#define VUZ_SUPPORT_CONCAT_H

#include <cstdint>

char *concat_strings(const char *first, ...) __attribute__((sentinel));
char *concat_replace(char *old_text, const char *first, ...) __attribute__((sentinel));
uint64_t concat_total_length(const char *first, ...) __attribute__((sentinel));
char *concat_into(char *destination, const char *first, ...) __attribute__((sentinel));
char *concat_into_shared(const char *first, ...) __attribute__((sentinel));

// Nothing sets it here; a caller of concat_into_shared points it at a large enough buffer.
extern char *shared_concat_buffer;

#endif
