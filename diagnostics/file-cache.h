// The source-file cache of the diagnostics: up to 16 files kept open and read
// as far as needed, with a sampled index of line starts so that a backward
// jump restarts near the wanted line. It lives in the diagnostic context and
// is created when a line is first asked for.
#ifndef VUZ_DIAGNOSTICS_FILE_CACHE_H
#define VUZ_DIAGNOSTICS_FILE_CACHE_H

#include <cstdint>

struct diagnostic_state;

// The character set of a file, or null for UTF-8 as it stands.
typedef const char *(*input_charset_fn)(const char *path);

void diagnostic_file_cache_setup(diagnostic_state *context, input_charset_fn callback,
                                 bool skip_bom);
// Line n (1-based) of a file without its newline, or null with length 0.
const char *source_line_of(const char *path, int32_t line, uint64_t *length);
void diagnostics_file_cache_forcibly_evict_file(const char *path);

#endif
