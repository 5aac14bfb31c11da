// The three prefix lists through which the driver finds programs, start files,
// libraries, spec files and include directories, and install-path translation.
#ifndef VUZ_DRIVER_SEARCH_PATHS_H
#define VUZ_DRIVER_SEARCH_PATHS_H

#include <cstddef>
#include <cstdint>

struct search_path_entry {
  char *prefix;
  search_path_entry *next;
  uint32_t prefix_length;  // of prefix, which every walk copies
  int32_t suffix_rule;
  int32_t priority;
  int32_t uses_os_dir;
};

struct search_path_list {
  search_path_entry *head;
  uint32_t max_length;
  const char *name;
  search_path_entry *last_inserted = nullptr;  // where a run of one priority goes on
};

// Answers of the file system kept while nothing can change them: a run asks
// again for the same program (the linker's name, then its command) and the
// same directories (for LIBRARY_PATH, then for the link's -L) with no child
// run in between. A new prefix or a child forgets them. They and their texts
// share one block, taken from the heap at the first answer so that the
// program's own data stays compact. Beside them, the last directory that
// dot-dot simplification probed and its answer, while probes are held: the
// standard prefixes of one set-up share their leading directories.
struct probe_memo;
struct search_probe_state {
  probe_memo *probes;
  int probe_answer_count;
  size_t probe_text_used;
  char *probed_directory;
  bool probed_searchable;
  bool probes_held;
};
extern search_probe_state search_probes;

extern search_path_list exec_prefixes;
extern search_path_list startfile_prefixes;
extern search_path_list include_prefixes;

void insert_search_prefix(search_path_list *list, const char *prefix, const char *key,
                          int priority, int suffix_rule, int uses_os_dir);
void insert_sysroot_prefix(search_path_list *list, const char *prefix, const char *key);
// As above, with SUFFIX (or nothing, when null) after the sysroot in place
// of the sysroot suffix: headers have one of their own.
void insert_sysroot_prefix_below(search_path_list *list, const char *prefix, const char *key,
                                 const char *suffix);

// Each candidate directory lies in a buffer with room for EXTRA more bytes
// after it, which the callback may use; the first non-null result ends the
// walk.
using search_callback = void *(*)(char *candidate, void *data);
void *walk_search_paths(search_path_list *list, bool multilib_variants, size_t extra,
                        search_callback callback, void *data);
char *locate_file(search_path_list *list, const char *name, int mode, bool multilib_variants);
// Both ask the file system once for a name until forget_probe_answers, which
// whatever runs a child calls before and after it; a new prefix forgets too.
char *find_program(const char *name);
void forget_probe_answers();
char *join_search_dirs(search_path_list *list, const char *name, bool directories_only,
                       bool multilib_variants);

char *translate_install_path(const char *path, const char *key);
// While held, path translation probes a directory once and keeps the answer:
// for a stretch of the run in which nothing runs that could change it (the
// set-up). Releasing forgets it.
void hold_directory_probes(bool hold);
char *expand_install_keys(char *text);
void set_install_prefix(const char *text, size_t length);
// Empties the three lists and forgets the install prefix; driver_reset's part.
void reset_search_paths();
// Empties a list, freeing its entries.
void release_search_path_list(search_path_list *list);

// True when the path (with '/' and "." appended) names a directory; for the
// linker "/lib/" and "/usr/lib/" are refused without a test. Kept like
// find_program's answers.
bool names_directory(const char *path, bool for_linker);

#endif
