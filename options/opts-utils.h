// Option utilities beside the handlers: debug-format sets and their names,
// the jobserver probe for the link step, the texts that name an option in a
// diagnostic, and the parsing of option lists handed between programs.
#ifndef VUZ_OPTIONS_OPTS_UTILS_H
#define VUZ_OPTIONS_OPTS_UTILS_H

#include "options/opts.h"
#include "options/target-hooks.h"
#include "support/obstack.h"

#include <cstdint>

// Debug-format bits of write_symbols; a format's position is its bit number.
enum : uint32_t {
  DEBUG_FORMAT_NONE = 0,
  DEBUG_FORMAT_STABS = 0x2,
  DEBUG_FORMAT_DWARF = 0x4,
  DEBUG_FORMAT_XCOFF = 0x8,
  DEBUG_FORMAT_VMS = 0x10,
  DEBUG_FORMAT_CTF = 0x20,
  DEBUG_FORMAT_BTF = 0x40,
  DEBUG_FORMAT_BTF_WITH_CORE = 0x80,
};

// The position of the one bit of SET (0 for an empty set).
unsigned debug_set_to_format(uint32_t set);
unsigned debug_format_count(uint32_t set);
// The name of the format at POSITION: "none", "stabs", "dwarf-2", ...
// The next non-empty item of a comma-separated list: *ITEM and *LENGTH, with
// P moved past it; false when the list is used up.
bool next_comma_item(const char *&p, const char **item, size_t *length);

const char *debug_format_name(unsigned position);
// The names of SET's formats separated by blanks, or "none"; a static buffer.
const char *debug_format_names(uint32_t set);
bool btf_selected();
bool btf_core_selected();
bool ctf_selected();
bool ctf_or_btf_selected();
bool dwarf_selected_in(const option_values *opts);

// What the jobserver check found in MAKEFLAGS.
// The texts are owned by the record and null when empty.
struct jobserver_probe {
  char *error_message;      // null when the jobserver works
  char *cleaned_makeflags;  // "MAKEFLAGS=..." without the jobserver argument
  int32_t read_fd;
  int32_t write_fd;
  char *pipe_path;
  bool active;
};

void detect_jobserver(jobserver_probe *probe);
void jobserver_probe_release(jobserver_probe *probe);
// True when the jobserver is usable. Otherwise *CLEANED_MAKEFLAGS receives
// the "MAKEFLAGS=..." text to export instead (kept until exit), or null when
// there is nothing to export.
bool detect_jobserver(const char **cleaned_makeflags);

// The option named in a diagnostic ("-Werror=..." when a warning became an
// error) and its documentation address; new strings, or null.
char *diagnostic_option_text(diagnostic_state *context, int option_index,
                             diagnostic_kind original_kind, diagnostic_kind kind);
char *diagnostic_option_url(diagnostic_state *context, int option_index);

// The quoted options of TEXT ('...' each, '\'' for a quote inside), as a
// null-terminated array built on OB; *COUNT excludes the null entry.
const char **split_quoted_options(const char *text, obstack *ob, unsigned *count);
// Appends " '-Xassembler' '<option>'" for each quoted option of TEXT.
void append_assembler_options(const char *text, obstack *ob);

// Cuts a short suffix (".c", ".cc", ".cpp") from BUFFER in place.
void cut_short_suffix(char *buffer, size_t length);
// The length of PATH's base name up to its last '.'; *BASE receives the base.
size_t base_name_length(const char *path, const char **base);

uint32_t parse_no_sanitize_list(const char *text);

// Optimisation-level defaults: a table of the target's or the common ones,
// and the whole sequence run from the decoded command line.
void apply_default_table(option_values *opts, option_values *opts_set,
                         const level_default_entry *table, int level, bool size, bool fast,
                         bool debug, unsigned language_mask, const option_handlers *handlers,
                         location_t location, diagnostic_state *context);
void apply_level_defaults(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned count, location_t location,
                          unsigned language_mask, const option_handlers *handlers,
                          diagnostic_state *context);
// The last consistency pass over a compiler's options.
void finalize_options(option_values *opts, option_values *opts_set, location_t location);
void report_conflicting_sanitizer_options(const option_values *opts, location_t location,
                                          uint32_t first, uint32_t second);
// The -fsanitize= name under which MASK was asked for, or null.
const char *sanitizer_name_for(const option_values *opts, uint32_t mask);

// -femit-struct-debug-detailed=: which structs get debug information.
void parse_struct_debug_detail(option_values *opts, const char *text, location_t location);
bool fast_math_in_effect(const option_values *opts);
// The options worth recording in the output, as written, joined by blanks;
// and the producer text "<language> <version> <options>". New strings.
char *recorded_switches_text(const decoded_option *decoded, unsigned count);
char *producer_text(const char *language, const decoded_option *decoded, unsigned count);

#endif
