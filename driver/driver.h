// The driver's run state: everything one run of vuz, vuz++ or vuzprep keeps
// between command processing, spec expansion, execution and clean-up, in
// records of one role each. Each record has one instance for the run, which
// belongs to the one thread; the reset makes each fresh again.
#ifndef VUZ_DRIVER_DRIVER_H
#define VUZ_DRIVER_DRIVER_H

#include "options/option-suggest.h"
#include "support/alloc.h"
#include "support/obstack.h"
#include "support/vec.h"

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

struct decoded_option;
struct compiler_entry;
struct active_spec;
struct temp_name_memo;

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

// How -save-temps keeps the intermediate files. Once the dump names are
// settled, every mode but off becomes SAVE_TEMPS_ON.
enum save_temps_kind : int {
  SAVE_TEMPS_OFF = 0,
  SAVE_TEMPS_CWD = 1, // "-save-temps=cwd"
  SAVE_TEMPS_ON = 2,  // "-save-temps"
  SAVE_TEMPS_OBJ = 3, // "-save-temps=obj" or "=object"
};

// The -fcompare-debug mode. A negative mode is handled as the second run.
enum compare_debug_kind : int {
  COMPARE_DEBUG_DISABLED = -1,   // an explicit empty "-fcompare-debug=", until settled
  COMPARE_DEBUG_SECOND_RUN = -1, // COMPARE_DEBUG_ON negated
  COMPARE_DEBUG_OFF = 0,
  COMPARE_DEBUG_ON = 1,
  COMPARE_DEBUG_ENV_OPTION = 2, // the option text from VUZ_COMPARE_DEBUG
  COMPARE_DEBUG_ENV_TOGGLE = 3, // "-gtoggle", from VUZ_COMPARE_DEBUG
};

// The mode of the other run of a compare-debug pair.
inline compare_debug_kind compare_debug_other_run(compare_debug_kind mode)
{
  return compare_debug_kind(-mode);
}

// Which help the compilers are asked for.
enum subprocess_help_kind : int {
  SUBPROCESS_HELP_NONE = 0,
  SUBPROCESS_HELP_TARGET = 1,  // "--target-help"
  SUBPROCESS_HELP_OPTIONS = 2, // "--help=", which also skips the link
};

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
struct driver_run_values {
  const char *program_name;
  bool response_files_used;
  uint32_t sigpipe_count;
  // Only grows: the greatest exit status of a failed child.
  uint32_t max_child_status = EXIT_CODE_ERRORS;
  uint32_t commands_run;
  // The argument vector after response-file expansion, when it is not the
  // caller's own.
  char **expanded_arguments;
};
extern driver_run_values run_values;

// The saved command-line switches, ended by a zeroed entry that is not
// counted.
struct switch_table {
  switch_entry *switches;
  int switch_count;
  int switch_capacity;
};
extern switch_table saved_switches;

// The input files, ended by a zeroed entry that is not counted.
struct input_table {
  input_file_entry *inputs;
  int input_count;
  int input_capacity;
  int added_library_count;
};
extern input_table input_files;

// What command processing takes from the command line and the environment.
struct command_state {
  char *exec_prefix_root;
  char version_text[16];
  bool compile_only;
  bool preprocess_only;
  bool output_given;
  const char *output_name;
  // The -x state.
  const char *current_language;
  int last_language_input_count = -1;
  char *dump_dir;
  char *dump_base;
  char *dump_base_ext;
  int dump_dir_length;
  bool dump_dir_dash_appended;
  char *aux_base;
  int aux_base_length;
  save_temps_kind save_temps_mode;
  bool save_temps_sets_dump_dir;
  bool pipes_requested;
  compare_debug_kind compare_debug_mode;
  const char *compare_debug_option;
  bool queries_only;
  // Freed when the command has been processed, or by the reset after a
  // fatal error: the records as the language-specific part rewrote them,
  // when it did, and where the program really is, found once for both
  // relocations.
  decoded_option *rewritten_records;
  char *program_path;
};
extern command_state command;

// What the driver's own options set.
struct driver_option_state {
  // Option lists copied into commands by %Z, %Y and %X.
  vec<char *> *cpp_option_list;
  vec<char *> *as_option_list;
  vec<char *> *ld_option_list;
  bool help_requested;
  bool version_requested;
  subprocess_help_kind subprocess_help_mode;
  int dry_run_count;
  const char *completion_prefix;
  const char *sysroot = "/";
  bool sysroot_given;
  const char *sysroot_suffix;
  const char *sysroot_headers_suffix;
  const char *linker_suffix;
  vec<const char *> *user_spec_files;
  FILE *time_report_stream;
  char *offload_target_list;
  bool second_run_requested;
  bool is_preprocessor_driver;
};
extern driver_option_state driver_settings;

// Install paths.
extern char *install_prefix;

// Calls nested deeper than this are rare: their vectors are not kept.
enum { KEPT_ARGBUF_DEPTHS = 8 };

// What a spec-function call holds while it runs, kept in the expansion
// state rather than in the call's frame: a fatal error inside the call ends
// the run without returning, and driver_reset frees what is held here.
struct spec_call_holding {
  vec<const char *> *caller_argbuf;
  vec<const char *> *caller_response_argbuf;
  char *args_copy;
  const char **argv;
};

// Spec expansion: the argument vector being collected, where words and the
// texts made for one run live, and how deeply spec functions are nested.
struct spec_expansion_state {
  vec<const char *> *argbuf;
  obstack spec_obstack;
  obstack collect_obstack;
  int spec_function_depth;
  // Entry i is the file that input i gives the link step.
  const char **output_names;
  bool inputs_combined;
  // Whether a line end runs the words collected so far. Self specs and the
  // sysroot and startfile-prefix texts only make words, which a spec file
  // may spread over lines: there a line end ends a word.
  bool line_end_runs_command = true;
  // Spec bytes read, bytes added to words and words stored in one expansion.
  uint64_t spec_work;
  int named_spec_depth;
  int spec_nesting;
  // The last export of the driver's options, so that an equal text is not
  // exported again.
  const char *exported_options;
  // The named specs being expanded, innermost first; each lives in the
  // frame of its expansion.
  active_spec *innermost_spec;
  // The argument vectors of spec-function calls, kept by depth for the next
  // call at that depth: most runs make a dozen calls, each of which would
  // otherwise allocate and free one.
  vec<const char *> *kept_argbufs[KEPT_ARGBUF_DEPTHS];
  // One entry per spec-function call being run, outermost first.
  vec<spec_call_holding> *open_calls;
};
extern spec_expansion_state spec_expansion;

// The input whose spec is being expanded.
struct current_input_state {
  const char *current_input_name;
  int current_input_length;
  const char *current_input_base;
  int current_base_length;
  int current_base_suffixed_length;
  const char *current_input_suffix = "";
  int current_input_stat_state;
  struct stat current_input_stat;
  compiler_entry *current_compiler;
  int current_input_index;
};
extern current_input_state current_input;

// A list of names is indexed by name once it is long: each registration
// looks for the name first, and a run with thousands of inputs lists
// thousands of objects. The index holds the nodes' own texts.
struct temp_name_set;
struct temp_list_index {
  uint32_t length;
  temp_name_set *names;
};

// Temporary files: those to delete at the end of the run in any case, and
// those to delete when the input being compiled fails; newest first.
struct temp_file_state {
  temp_file_node *always_delete_list;
  temp_file_node *failure_delete_list;
  char *last_temp_name;
  temp_list_index always_delete_index;
  temp_list_index failure_delete_index;
  // What each temporary-name code made, newest first, so that the same code
  // gives the same name within the run.
  temp_name_memo *temp_names;
  int response_file_counter;
};
extern temp_file_state temp_files;

// An option in effect for the multilib choice, without its '-'.
struct multilib_option {
  const char *text;
  size_t length;
};

// The directories of the chosen multilib.
struct multilib_choice_state {
  const char *multi_dir;
  const char *multi_os_dir;
  const char *multi_arch_dir;
  // The multilib options in effect, made on first use.
  vec<multilib_option> *multilib_used;
  bool multilib_used_built;
};
extern multilib_choice_state multilib_choice;

// Language-specific driver, one per program.
void lang_specific_driver(decoded_option **records, unsigned *count, int *added_libraries);
int language_pre_link_hook();

// Entry and main sequence.
int driver_run(driver_state *state, int argc, char **argv);
// Whether the main sequence goes on after a step that may end the run.
enum run_step { STEP_CONTINUE, STEP_STOP };
// The steps of the main sequence after command processing.
run_step choose_input_compilers(driver_state *state);
void do_spec_on_infiles(driver_state *state);
void maybe_run_linker(driver_state *state, const char *invocation_name);
void finish_run();
// Queries.
run_step answer_print_queries();
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
