// Records and operations shared between the files of the diagnostic engine;
// clients use diagnostic.h and the other public headers of this folder only.
#ifndef VUZ_DIAGNOSTICS_INTERNAL_H
#define VUZ_DIAGNOSTICS_INTERNAL_H

#include "diagnostics/diagnostic.h"
#include "diagnostics/edit-context.h"
#include "diagnostics/file-cache.h"
#include "support/vec.h"

#include <cstdint>
#include <cstdio>

// Values fixed when the system is built.
#define VUZ_BUG_REPORT_URL "https://vuz.invalid/bugs/"
#define VUZ_CWE_SITE_HOST "cwe.mitre.org"

// The report core (diagnostic.cc).

// The path of the engine's own source file as the build recorded it.
extern const char diagnostic_engine_file[];

const char *kind_color_name(diagnostic_kind kind);
const char *kind_text(diagnostic_kind kind);

// The location of a message is range 0 of its record.
location_t message_location(const pp_message *message);
void message_set_location(pp_message *message, int32_t index, location_t location,
                          range_display_kind kind);
char *diagnostic_build_prefix(diagnostic_state *context, const diagnostic_info *diagnostic);
char *location_text(diagnostic_state *context, const expanded_location *where);
int convert_column_unit(diagnostic_state *context, const expanded_location *where);
void check_error_limit(diagnostic_state *context, bool finish);
void diagnostic_action_after_output(diagnostic_state *context, diagnostic_kind kind);
// Runs the final callback once; every way out of a run passes here.
void diagnostic_run_final(diagnostic_state *context);
void print_escaped_string(pretty_printer *printer, const char *text);
void print_parseable_fixits(pretty_printer *printer, located_ranges *ranges,
                            parseable_fixits_format version, uint32_t tab_stop);
int num_digits(int n);
char *locus_prefix(diagnostic_state *context, const char *text);
const char *plural_choice(unsigned long count, const char *singular, const char *plural);
char *blank_like(const char *text);

void default_begin_diagnostic(diagnostic_state *context, diagnostic_info *diagnostic);
void default_start_span(diagnostic_state *context, const expanded_location *where);
void default_end_diagnostic(diagnostic_state *context, diagnostic_info *diagnostic,
                            diagnostic_kind initial_kind);
void default_final_note(diagnostic_state *context);

// Classification (diagnostic-report.cc).

struct classification_entry {
  location_t location;
  int32_t option;  // for a pop entry: the history position to continue from
  diagnostic_kind kind;
};

bool classify_for_report(diagnostic_state *context, diagnostic_info *diagnostic);

// What the engine asks of locations beyond expansion (diagnostic-locations.cc):
// both are safe without a line table (the driver programs have none).
bool diagnostic_in_system_header(location_t location);
// Positive when `earlier` comes before `later`, 0 when they are the same.
int diagnostic_compare_locations(location_t earlier, location_t later);

// Internal errors (internal-error.cc).
const char *trim_source_path(const char *path);
[[noreturn]] void internal_error_exit(diagnostic_state *context, diagnostic_kind kind);
int backtrace_frame_print(void *data, uintptr_t pc, const char *file, int line,
                          const char *function);
void backtrace_error_print(void *data, const char *message, int error_number);
[[noreturn]] void plain_abort();

// The stack walk of an internal-error report (backtrace.cc): walks the stack
// with the two callbacks above and returns the number of frames printed.
int diagnostic_walk_stack(int skip);
// The demangled form of a frame's function name (to be freed), or null.
char *diagnostic_demangle(const char *name);

// The source-file cache (file-cache.cc).

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


bool source_lacks_final_newline(const char *path);
void file_cache_teardown(diagnostic_state *context);

// Top-down splay trees (splay-tree.cc, after Sleator and Tarjan): an ordered
// map whose lookups move the key found to the root, so that runs of nearby
// lookups are cheap.

typedef uintptr_t splay_key;
typedef uintptr_t splay_value;
typedef int (*splay_compare_fn)(splay_key a, splay_key b);
typedef void (*splay_delete_fn)(uintptr_t item);
// Called in key order; a non-zero result stops the walk and is returned.
typedef int (*splay_visit_fn)(splay_key key, splay_value value, void *data);

struct splay_node {
  splay_key key;
  splay_value value;
  splay_node *left;
  splay_node *right;
};

struct splay_tree {
  splay_node *root;
  splay_compare_fn compare;
  splay_delete_fn delete_key;   // may be null
  splay_delete_fn delete_value; // may be null
};

void splay_tree_init(splay_tree *tree, splay_compare_fn compare, splay_delete_fn delete_key,
                     splay_delete_fn delete_value);
void splay_tree_destroy(splay_tree *tree);
// An existing key keeps its node and gets the new value (the old one is
// deleted); a new key becomes the root.
void splay_tree_insert(splay_tree *tree, splay_key key, splay_value value);
splay_node *splay_tree_lookup(splay_tree *tree, splay_key key);
int splay_tree_foreach(const splay_tree *tree, splay_visit_fn visit, void *data);

int splay_compare_strings(splay_key a, splay_key b);
int splay_compare_ints(splay_key a, splay_key b);

// The edit context's records (edit-context.cc).

// An applied edit: columns at or after `end` move by `delta`. `start` to
// `end` is the replaced text (empty for an insertion), in the columns of the
// line as it was when the edit was applied.
struct column_shift {
  int32_t start;
  int32_t delta;
  int32_t end;
};

struct inserted_line {
  char *text; // owned, without its newline
  int32_t length;
};

struct edit_line_record {
  int32_t line;
  char *content; // owned, NUL-terminated
  int32_t length;
  int32_t capacity;
  vec<column_shift> *shifts;
  vec<inserted_line> *inserted; // lines inserted before this one
};

struct edit_file_record {
  const char *name; // not copied
  splay_tree lines; // line number -> edit_line_record
  int32_t line_count; // -1 until counted
};

struct edit_context {
  bool valid; // false for good once a hint could not be applied
  splay_tree files; // file name -> edit_file_record
};

#endif
