// The option table: the read-only description of every command-line option,
// with its enumerated-argument tables, sanitizer names and alternative
// prefixes. The data are generated at build time from options/data.
#ifndef VUZ_OPTIONS_OPTION_TABLE_H
#define VUZ_OPTIONS_OPTION_TABLE_H

#include "options/option-codes.h"
#include "options/option-values.h"

#include <cstdint>

// Flag bits of a row; bits 0 to 11 are the option languages.
enum : uint32_t {
  FLAG_LANGUAGE_MASK = 0xfff,
  FLAG_PARAMS = 0x10000,
  FLAG_WARNING = 0x20000,
  FLAG_OPTIMIZATION = 0x40000,
  FLAG_DRIVER = 0x80000,
  FLAG_TARGET = 0x100000,
  FLAG_COMMON = 0x200000,
  FLAG_JOINED = 0x400000,
  FLAG_SEPARATE = 0x800000,
  FLAG_UNDOCUMENTED = 0x1000000,
  FLAG_NO_PRODUCER_RECORD = 0x2000000,
};

enum option_variable_kind : uint32_t {
  VAR_INTEGER,
  VAR_EQUAL,
  VAR_BIT_CLEAR,
  VAR_BIT_SET,
  VAR_SIZE,
  VAR_STRING,
  VAR_ENUM,
  VAR_DEFERRED,
};

// The variable location of a row that stores nothing.
constexpr uint16_t option_no_variable = 0xffff;

struct option_descriptor {
  const char *text;
  const char *help;
  const char *missing_argument_message;
  const char *warning_message;
  const char *alias_argument;
  const char *negative_alias_argument;
  uint16_t alias_target;
  uint16_t back_chain;
  uint8_t text_length;
  int32_t negation_index;
  uint32_t flags;
  struct {
    uint16_t disabled : 1;
    uint16_t separate_arg_count : 2;
    uint16_t alias_if_separate : 1;
    uint16_t negates_alias : 1;
    uint16_t no_driver_argument : 1;
    uint16_t rejected_by_driver : 1;
    uint16_t rejects_negative : 1;
    uint16_t argument_optional : 1;
    uint16_t unsigned_integer : 1;
    uint16_t wide_integer : 1;
    uint16_t lowercase_argument : 1;
    uint16_t byte_size_units : 1;
  } bits;
  uint16_t variable_location;
  uint16_t enum_index;
  option_variable_kind variable_kind;
  int64_t variable_value;
  int32_t range_min;
  int32_t range_max;
};

struct option_table_layout {
  uint32_t option_count;
  uint32_t language_count;
  const option_descriptor *rows;
  const char *const *language_names;  // null-terminated, in bit order
};

enum : uint32_t {
  ENUM_VALUE_CANONICAL = 0x1,
  ENUM_VALUE_DRIVER_ONLY = 0x2,
  ENUM_VALUE_SET_SHIFT = 2,
};

struct enum_value_entry {
  const char *name;  // null in the closing entry
  int32_t value;
  uint32_t flags;
};

struct enum_descriptor {
  const char *help_heading;
  const char *unknown_value_message;
  const enum_value_entry *values;
  uint64_t variable_size;
  void (*set)(void *variable, int value);
  int (*get)(const void *variable);
};

struct sanitizer_entry {
  const char *name;  // null in the closing entry
  uint32_t flag_mask;
  uint64_t length;
  uint8_t recoverable;
};

struct option_prefix_entry {
  const char *prefix;
  const char *next_word_prefix;  // null: the text comes from the option word itself
  const char *replacement;
  uint8_t needs_more_text;
  uint8_t negated;
};

extern const option_table_layout option_table;
extern const option_descriptor option_rows[option_count];
// Each row's text without its leading '-', ended by a NUL, packed in row
// order, and where each starts. A lookup's binary search reads only these,
// a few pages, rather than rows spread over the whole table and texts spread
// among the help texts.
extern const char option_search_texts[];
extern const uint32_t option_search_starts[option_count];
// The first row whose search text begins with a byte at least the index:
// the rows of texts that begin with byte B are those from entry B to entry
// B + 1.
extern const uint16_t option_first_byte_rows[257];
extern const enum_descriptor option_enums[option_enum_count];
extern const sanitizer_entry sanitizer_names[];
constexpr unsigned option_prefix_count = 18;
extern const option_prefix_entry option_prefix_map[option_prefix_count];

#endif
