// The driver's run state: everything one run of vuz, vuz++ or vuzprep keeps
// between command processing, spec expansion, execution and clean-up. All of it
// is global and belongs to the one thread.
#ifndef VUZ_DRIVER_DRIVER_H
#define VUZ_DRIVER_DRIVER_H

#include "options/option-suggest.h"
#include "support/obstack.h"
#include "support/vec.h"

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

struct decoded_option;
struct compiler_entry;

// Configuration fixed when the driver is built.
#define DRIVER_TARGET "armv6-kaveabi-freebsd15.1"
#define DRIVER_VERSION "12.4.0"
#define DRIVER_PREFIX "/usr/local"
#define DRIVER_BIN_DIR "/usr/local/bin/"
#define DRIVER_LIB_DIR "/usr/local/lib/vuz/"
#define DRIVER_LIBEXEC_DIR "/usr/local/libexec/vuz/"
#define DRIVER_ASSEMBLER "/usr/local/bin/arm-kaveabi-freebsd15.1-as"
#define DRIVER_LINKER "/usr/local/bin/arm-kaveabi-freebsd15.1-ld"
#define DRIVER_PKGVERSION "(VUZ) "
#define DRIVER_BUG_URL "https://vuz.invalid/bugs/"
#define DRIVER_MACHINE_SUFFIX DRIVER_TARGET "/" DRIVER_VERSION "/"
#define DRIVER_TARGET_SUFFIX DRIVER_TARGET "/"

// The driver object of one run (the entry keeps it in its frame).
struct driver_state {
  unsigned char *explicit_link_flags;
  decoded_option *option_records;
  uint32_t option_record_count;
  option_suggester suggester;
};

// Saved command-line switches.
enum : uint32_t {
  SW_LIVE = 1,
  SW_DEAD = 2,
  SW_REMOVED = 4,
  SW_REMOVED_FOR_GOOD = 8,
  SW_EXPORT_ANYWAY = 16,
};

struct switch_entry {
  const char *text;        // without its leading '-'
  const char **arguments;  // further words, null-terminated, or null
  uint32_t liveness;
  unsigned char in_option_table;
  unsigned char accepted;
  unsigned char copy_mark;
};

struct input_file_entry {
  const char *name;
  const char *language;  // "*" for linker inputs
  compiler_entry *compiler;
  unsigned char was_compiled;
  unsigned char was_preprocessed;
};

struct compiler_entry {
  const char *suffix;
  const char *spec;
  const char *preprocessor_spec;
  int32_t may_combine;
  int32_t wants_preprocessing;
};

struct temp_file_node {
  char *name;
  temp_file_node *next;
};

// Run-wide values of the entry.
extern const char *program_name;
extern bool response_files_used;
extern uint32_t sigpipe_count;
extern uint32_t max_child_status;
extern uint32_t commands_run;

// Switch table and input list.
extern switch_entry *switches;
extern int switch_count;
extern int switch_capacity;
extern input_file_entry *inputs;
extern int input_count;
extern int input_capacity;
extern int added_library_count;

// Command processing.
extern char *exec_prefix_root;
extern char *install_prefix;
extern char version_text[];
extern bool compile_only;
extern bool preprocess_only;
extern bool output_given;
extern const char *output_name;
extern const char *current_language;
extern int last_language_input_count;
extern char *dump_dir;
extern char *dump_base;
extern char *dump_base_ext;
extern int dump_dir_length;
extern bool dump_dir_dash_appended;
extern char *aux_base;
extern int aux_base_length;
extern int save_temps_mode;
extern bool save_temps_sets_dump_dir;
extern bool pipes_requested;
extern int compare_debug_mode;
extern const char *compare_debug_option;
extern bool queries_only;
extern bool help_requested;
extern bool version_requested;
extern int subprocess_help_mode;
extern int dry_run_count;
extern const char *completion_prefix;
extern const char *sysroot;
extern bool sysroot_given;
extern const char *sysroot_suffix;
extern const char *sysroot_headers_suffix;
extern const char *linker_suffix;
extern vec<const char *> *user_spec_files;
extern FILE *time_report_stream;
extern char *offload_target_list;
extern bool second_run_requested;
extern bool is_preprocessor_driver;
extern bool no_canonical_prefixes;

// Option lists copied into commands by %Z, %Y and %X.
extern vec<char *> *cpp_option_list;
extern vec<char *> *as_option_list;
extern vec<char *> *ld_option_list;

// Spec expansion.
extern vec<const char *> *argbuf;
extern vec<const char *> *response_argbuf;
extern obstack spec_obstack;
extern obstack collect_obstack;
extern int spec_function_depth;
extern const char *current_input_name;
extern int current_input_length;
extern const char *current_input_base;
extern int current_base_length;
extern int current_base_suffixed_length;
extern const char *current_input_suffix;
extern int current_input_stat_state;
extern struct stat current_input_stat;
extern compiler_entry *current_compiler;
extern int current_input_index;
extern const char **output_names;
extern bool inputs_combined;
extern char *last_temp_name;

// Temporary files.
extern temp_file_node *always_delete_list;
extern temp_file_node *failure_delete_list;

// Multilib choice.
extern const char *multi_dir;
extern const char *multi_os_dir;
extern const char *multi_arch_dir;

// Language-specific driver, one per program.
void lang_specific_driver(decoded_option **records, unsigned *count, int *added_libraries);
int language_pre_link_hook();

// Entry and main sequence.
int driver_run(driver_state *state, int argc, char **argv);
// The steps of the main sequence after command processing.
bool choose_input_compilers(driver_state *state);
void do_spec_on_infiles(driver_state *state);
void maybe_run_linker(driver_state *state, const char *invocation_name);
void finish_run();
// Queries.
bool answer_print_queries();
void report_configuration(FILE *stream);
void driver_global_setup();
void remove_temp_files_at_exit();
void on_fatal_signal(int signal_number);
// Puts the fatal-signal handlers in place before a file is listed for
// deletion while both lists are empty.
void arm_fatal_signal_handlers();
int run_exit_status();
// Returns every run-wide value to its initial state, frees what the run
// allocated and restores the environment (which needs an env_manager that
// keeps old values), so that another run in the same process behaves as in a
// fresh one. The caller still owns the driver_state.
void driver_reset();

#endif
