// Acting on decoded options: the handler set given to the option reader, the
// storing of values in the option-set record, warning control, the common
// option handler with its parsers, the record's initialisation and implied
// options, and the help pages. Callers include this one header for the whole
// option machinery (table, decoding, suggestions and diagnostics).
#ifndef VUZ_OPTIONS_OPTS_H
#define VUZ_OPTIONS_OPTS_H

#include "diagnostics/diagnostic.h"
#include "options/option-decode.h"
#include "options/option-suggest.h"
#include "options/option-table.h"

#include <cstddef>
#include <cstdint>

struct option_handlers;

// A handler of the set: true when it accepted the option. KIND is 0 for an
// option from the command line.
typedef bool (*option_handler_fn)(option_values *opts, option_values *opts_set,
                                  const decoded_option *decoded, unsigned language_mask,
                                  int kind, location_t location,
                                  const option_handlers *handlers, diagnostic_state *context,
                                  void (*target_override)());

struct option_handler_entry {
  option_handler_fn handler;
  uint32_t mask;  // flag bits of the rows this handler takes
};

struct option_handlers {
  // True when the option is to be reported as unrecognised now.
  bool (*unknown_option_callback)(const decoded_option *decoded);
  void (*wrong_lang_callback)(const decoded_option *decoded, unsigned language_mask);
  void (*target_option_override_hook)();
  uint64_t num_handlers;
  option_handler_entry handlers[3];
};

// The view that read_option_state fills.
struct option_state_view {
  const void *data;
  uint64_t size;
  unsigned char byte;  // storage for the state of bit options
};

// The program's option-set record and the twin recording what was set
// explicitly.
extern option_values global_options;
extern option_values global_options_set;

// Handling of decoded options.
void read_cmdline_option(option_values *opts, option_values *opts_set,
                         const decoded_option *decoded, location_t location,
                         unsigned language_mask, const option_handlers *handlers,
                         diagnostic_state *context);
bool apply_generated_option(option_values *opts, option_values *opts_set, size_t option_index,
                            const char *argument, int64_t value, unsigned language_mask,
                            int kind, location_t location, const option_handlers *handlers,
                            bool generated, diagnostic_state *context);
void store_option_value(option_values *opts, option_values *opts_set, size_t option_index,
                        int64_t value, const char *argument, int kind, location_t location,
                        diagnostic_state *context, int64_t mask);
void *option_variable_address(size_t option_index, option_values *opts);
int option_enabled_state(size_t option_index, unsigned language_mask, void *opts);
bool read_option_state(option_values *opts, size_t option_index, option_state_view *view);
void control_warning_option(size_t option_index, int kind, const char *argument, bool imply,
                            location_t location, unsigned language_mask,
                            const option_handlers *handlers, option_values *opts,
                            option_values *opts_set, diagnostic_state *context);
bool report_option_errors(location_t location, const option_descriptor *row,
                          const char *as_written, const char *argument, int errors,
                          unsigned language_mask);

// The handlers for FLAG_COMMON and FLAG_TARGET rows.
bool common_handle_option(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned language_mask, int kind,
                          location_t location, const option_handlers *handlers,
                          diagnostic_state *context, void (*target_override)());
bool target_handle_option(option_values *opts, option_values *opts_set,
                          const decoded_option *decoded, unsigned language_mask, int kind,
                          location_t location, const option_handlers *handlers,
                          diagnostic_state *context, void (*target_override)());

// Helpers of the common handler.
void apply_werror_option(const char *argument, int64_t value, unsigned language_mask,
                         const option_handlers *handlers, option_values *opts,
                         option_values *opts_set, location_t location,
                         diagnostic_state *context);
void decode_debug_letters(const char *argument, option_values *opts, location_t location,
                          diagnostic_state *context);
void set_debug_level(uint32_t format, int extended, const char *level, option_values *opts,
                     option_values *opts_set, location_t location);
uint32_t parse_sanitizer_list(const char *text, location_t location, size_t option_index,
                              uint32_t mask, int64_t value, bool complain);
void add_comma_list(vec<char *> **list, const char *text);
void check_align_option(location_t location, const char *text, const char *name,
                        int32_t *flag, const char **string);
bool parse_align_values(const char *text, const char *name, vec<int> **result, bool report,
                        location_t location);
void parse_patch_area(const char *text, bool report, int64_t *entries, int64_t *offset);
unsigned parse_zero_regs_choice(const char *text);
void apply_fast_math(option_values *opts, int64_t value);
void enable_profile_optimizations(option_values *opts, option_values *opts_set, int64_t value);

// The arguments of every --help=, kept for the compiler's help pages.
extern vec<const char *> *help_option_arguments;

// The record's initial state, and the options that another one implies.
void init_options_struct(option_values *opts, option_values *opts_set);
bool common_handle_option_auto(option_values *opts, option_values *opts_set,
                               const decoded_option *decoded, unsigned language_mask, int kind,
                               location_t location, const option_handlers *handlers,
                               diagnostic_state *context);
typedef bool (*language_auto_fn)(option_values *opts, option_values *opts_set,
                                 const decoded_option *decoded, unsigned language_mask,
                                 int kind, location_t location,
                                 const option_handlers *handlers, diagnostic_state *context);
// One per option language, in the order of the language bits.
extern const language_auto_fn language_option_auto[12];

// Help pages for a compiler's language mask; nothing under FLAG_DRIVER.
void print_specific_help(uint32_t include, uint32_t exclude, uint32_t any, option_values *opts,
                         unsigned language_mask);
void print_help_selection(option_values *opts, unsigned language_mask, const char *argument);

#endif
