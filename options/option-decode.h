// Option lookup and decoding: command-line words into decoded_option records,
// with aliases, negative forms, arguments and their conversions, and the
// pruning of options that later ones cancel. Nothing here reports; problems
// are error bits for the option handler to turn into messages.
#ifndef VUZ_OPTIONS_OPTION_DECODE_H
#define VUZ_OPTIONS_OPTION_DECODE_H

#include "options/option-table.h"
#include "support/obstack.h"

#include <cstddef>
#include <cstdint>

enum : int32_t {
  ERR_DISABLED = 0x1,
  ERR_MISSING_ARGUMENT = 0x2,
  ERR_WRONG_LANGUAGE = 0x4,
  ERR_BAD_INTEGER = 0x8,
  ERR_OUT_OF_RANGE = 0x10,
  ERR_BAD_ENUM = 0x20,
  ERR_NEGATIVE_FORM = 0x40,
  ERR_BAD_ENUM_SET = 0x80,
};

struct decoded_option {
  uint64_t option_index;        // a row, or OPTION_UNKNOWN .. OPTION_INPUT_FILE
  const char *warning_message;  // reported each time the option is used, or null
  const char *argument;         // null without one; the whole word when unknown
  const char *as_written;       // the consumed words joined by blanks
  const char *canonical[4];     // unused slots are null
  uint64_t canonical_count;     // 1 to 4
  int64_t value;
  int64_t mask;                 // the variable bits an enum set replaces
  int32_t errors;               // ERR_* bits
};

// Every string that decoding builds lives here until exit.
extern obstack option_obstack;
void init_option_obstack();
// The strings up to a null pointer, joined into one new string.
char *option_obstack_concat(const char *first, ...) __attribute__((sentinel));

// TEXT is the word after its first '-'. Answers a row or OPTION_UNKNOWN.
size_t lookup_option(const char *text, uint32_t language_mask);

// The one kind of row that ends lookup as unknown (joined, undocumented, of
// no language or class), so that its words reach the alternative prefixes.
bool option_stops_lookup(const option_descriptor *row);

// Whether a row may be used under LANGUAGE_MASK.
bool option_valid_for_mask(const option_descriptor *row, uint32_t language_mask);

// WORDS holds the current word and those after it, up to a null pointer.
// Fills *RESULT and answers the number of words consumed (1 to 4).
unsigned decode_cmdline_option(const char *const *words, uint32_t language_mask,
                               decoded_option *result);

// Decodes ARGV[0..ARGC) (ARGV[ARGC] must be null) into a new array, released
// with free. A word after "--param" is replaced in ARGV.
void decode_argv_to_option_array(unsigned argc, const char **argv, uint32_t language_mask,
                                 decoded_option **result, unsigned *result_count);

// A non-negative integer, optionally with a byte-size unit; -1 and an error
// number (in *ERROR, or errno when ERROR is null) when it does not parse.
int64_t parse_integer_argument(const char *text, int *error, bool units_allowed);

// The index of the entry named TEXT (its first LENGTH bytes when LENGTH is not
// 0), or -1; driver-only entries count only under FLAG_DRIVER.
int enum_name_to_value(const enum_value_entry *values, const char *text, size_t length,
                       int *value, uint32_t language_mask);
// Stores the spelling of VALUE; true when that spelling is marked canonical.
bool enum_value_to_name(const enum_value_entry *values, const char **name, int value,
                        uint32_t language_mask);
bool opt_enum_arg_to_value(size_t option_index, const char *text, int *value,
                           uint32_t language_mask);

void generate_option(size_t option_index, const char *argument, int64_t value,
                     uint32_t language_mask, decoded_option *result);
void generate_canonical_option(size_t option_index, const char *argument, int64_t value,
                               decoded_option *result);
void make_input_file_option(const char *name, decoded_option *result);

// The five options that -fdiagnostics-plain-output stands for, then null.
extern const char *const plain_output_options[6];

#endif
