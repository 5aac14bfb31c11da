// The driver's view of the option machinery: its handlers and callbacks, and
// the few option values it reads, each behind one accessor so that the
// driver never depends on the layout of the option-set record.
#ifndef VUZ_DRIVER_DRIVER_OPTIONS_H
#define VUZ_DRIVER_DRIVER_OPTIONS_H

#include "driver/driver.h"
#include "options/opts.h"

#include <cstdint>

// Handlers and callbacks given to the option reader.
bool driver_handle_option(option_values *opts, option_values *opts_set, const decoded_option *d,
                          unsigned lang_mask, int kind, location_t loc,
                          const option_handlers *handlers, diagnostic_state *dc,
                          void (*target_override)());
bool on_unrecognised_option(const decoded_option *d);
void on_wrong_language_option(const decoded_option *d, unsigned lang_mask);

void append_preprocessor_option(const char *text, size_t length);
void append_assembler_option(const char *text, size_t length);
void append_linker_option(const char *text, size_t length);
void add_input_file(const char *name, const char *language);

void process_command(unsigned decoded_count, decoded_option *decoded);
// Return the run state of command processing and of the driver's own
// options to their initial values, freeing what the run made; parts of
// driver_reset.
void reset_command_state();
void reset_driver_options();
void handle_driver_option(const decoded_option *d);
void handle_self_spec_words(uint32_t count, const char *const *words);
char *escape_blanks(const char *path);

// Option values read by the driver.
bool driver_verbose();
void driver_set_verbose(int value);
const char *driver_wrapper();
bool driver_time();
bool driver_report_bug();
bool driver_pass_exit_codes();
bool driver_no_sysroot_suffix();
bool driver_wpa_given();
void driver_set_wpa(const char *text);
bool driver_gtoggle_given();
void driver_toggle_debug_level();
int driver_debug_info_level();
int driver_dwarf_version();
uint64_t driver_flag_sanitize();
bool driver_sanitize_undefined_trap_on_error();
bool driver_print_search_dirs();
const char *driver_print_file_name();
void driver_set_print_file_name(const char *name);
const char *driver_print_prog_name();
bool driver_print_multi_lib();
bool driver_print_multi_directory();
bool driver_print_multiarch();
bool driver_print_sysroot();
bool driver_print_multi_os_directory();
bool driver_print_sysroot_headers_suffix();

#endif
