// The source-file cache of the diagnostics: up to 16 files kept open and read
// as far as needed, with a sampled index of line starts so that a backward
// jump restarts near the wanted line. It lives in the diagnostic context and
// is created when a line is first asked for.
#ifndef VUZ_DIAGNOSTICS_FILE_CACHE_H
#define VUZ_DIAGNOSTICS_FILE_CACHE_H

#include "support/vec.h"

#include <cstdint>
#include <cstdio>

struct diagnostic_state;

// The character set of a file, or null for UTF-8 as it stands.
typedef const char *(*input_charset_fn)(const char *path);

struct cached_line_record {
  uint32_t line;
  uint64_t start; // offsets in the slot's buffer
  uint64_t end;
};

enum : uint32_t { FILE_CACHE_SLOTS = 16, FILE_CACHE_LINE_RECORDS = 100 };

struct cached_file {
  uint32_t use_count;
  char *path;   // the cache's own copy; null when the slot is free
  FILE *stream; // null when the whole file is in memory or the slot is free
  char *data;
  int32_t alloc_offset; // from the allocation's start to `data`
  uint64_t size;        // bytes available from `data`
  uint64_t nb_read;
  uint64_t line_start; // offset of the next line to read
  uint32_t line_num;   // last line read; 0 before the first
  uint32_t total_lines; // as the line table knows them; 0 when unknown
  bool missing_trailing_newline;
  vec<cached_line_record> *line_records;
};

struct file_cache {
  cached_file slots[FILE_CACHE_SLOTS];
  input_charset_fn input_charset_callback;
  bool skip_bom;
};

void diagnostic_file_cache_setup(diagnostic_state *context, input_charset_fn callback,
                                 bool skip_bom);
// Line n (1-based) of a file without its newline, or null with length 0.
const char *source_line_of(const char *path, int32_t line, uint64_t *length);
bool source_lacks_final_newline(const char *path);
void diagnostics_file_cache_forcibly_evict_file(const char *path);
void file_cache_teardown(diagnostic_state *context);

#endif
