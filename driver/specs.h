// The spec language: named specs, the compiler table, the interpreter and its
// conditions, spec functions, temporary names and the switch table operations.
#ifndef VUZ_DRIVER_SPECS_H
#define VUZ_DRIVER_SPECS_H

#include "driver/driver.h"
#include "options/arm-common.h"

#include <cstring>

struct callback_hash_table;
struct open_spec_file;

// A named spec; the static ones read their value through value_location so that
// the interpreter always sees the current text.
struct named_spec {
  const char *name;
  const char *value;
  const char **value_location;
  named_spec *next;
  uint32_t name_length;
  unsigned char user;
  unsigned char allocated;
  const char *default_text;
};

// A spec function: the expanded argument words in, spec text (or null) out.
struct spec_function_entry {
  const char *name;
  const char *(*handler)(int argc, const char **argv);
};

// The records of the built-in specs are made for these many rows, which
// the generated tables are checked against.
enum { STATIC_SPEC_COUNT = 45, TARGET_SPEC_COUNT = 5 };

// The named specs, the link command and the compiler table, with the
// static spec values the interpreter's codes read directly.
struct spec_table_state {
  named_spec *specs;
  const char *link_command_spec;
  compiler_entry *compilers;
  int compiler_count;
  const char *asm_spec;
  const char *asm_final_spec;
  const char *cpp_spec;
  const char *tolm1_spec;
  const char *tolmplus1_spec;
  const char *endfile_spec;
  const char *link_spec;
  const char *lib_spec;
  const char *libvuz_spec;
  const char *startfile_spec;
  const char *linker_name_spec;
  const char *linker_plugin_file_spec;
  const char *quorf_spec;
  const char *lto_vuz_spec;
  const char *multilib_select;
  const char *multilib_matches;
  const char *multilib_defaults;
  const char *multilib_exclusions;
  const char *multilib_reuse;
  const char *multilib_extra;
  const char *multilib_options;
  const char *startfile_prefix_spec;
  const char *sysroot_suffix_spec;
  const char *sysroot_hdrs_suffix_spec;
  const char *version_spec;
  // Nesting of spec files, bounded.
  int spec_file_depth;
  // What each spec file being read holds, by depth: a fatal error in a
  // nested file ends the run with all of them open, and the reset frees
  // them. Made when the first file is read: most runs read none.
  open_spec_file *open_spec_files;
  // The specs spec files added, by name: a file may add thousands, and each
  // would otherwise be looked for along all the others.
  callback_hash_table *added_specs;
  // Texts a spec file replaced while a spec was being expanded: the spec
  // function "include" reads one mid-expansion, and the text it replaces, or
  // the compiler table it grows, may be the one being read. They are freed
  // with the tables.
  vec<void *> *retired_spec_texts;
  // Whether link_command_spec came from a spec file and is owned.
  bool link_command_owned;
  // The rows the compiler table made here has room for, its zeroed last row
  // included; a table made elsewhere has room for its rows only.
  const compiler_entry *sized_table;
  int compiler_capacity;
  // The suffix length of each row of a compiler table with added rows,
  // measured when a choice first needs it and again after it changed.
  uint32_t *suffix_lengths;
  const compiler_entry *measured_table;
  int measured_count;
};
extern spec_table_state spec_tables;
// The records of the built-in specs, the static ones linked as the list:
// spec_tables' part, kept as an object of its own so that its pages do not
// push the small records every run reads first onto another page.
extern named_spec static_specs[STATIC_SPEC_COUNT + TARGET_SPEC_COUNT];

// Built-in texts, generated from driver/data/builtin-specs.txt.
struct builtin_spec_text {
  const char *name;
  uint32_t name_length;
  const char *text;        // null: filled in at start-up
  const char **variable;   // the driver variable holding the value, or null
};
extern const builtin_spec_text builtin_static_spec_texts[];
extern const builtin_spec_text builtin_target_spec_texts[];
// The rows of both tables above (static rows first) grouped by name length:
// those named with N bytes are builtin_spec_numbers_by_length[i] for i from
// builtin_spec_length_starts[N] up to builtin_spec_length_starts[N + 1].
extern const uint8_t builtin_spec_numbers_by_length[];
extern const uint8_t builtin_spec_length_starts[];
extern const uint32_t builtin_spec_longest_name;
extern const builtin_spec_text configure_option_specs[];
extern const char *const driver_self_specs[];
extern const int driver_self_spec_count;
extern const compiler_entry builtin_compilers[];
extern const int builtin_compiler_count;
// The length of each built-in row's suffix.
extern const uint32_t builtin_compiler_suffix_lengths[];
extern const char *const builtin_link_command_spec;
// "libvuz" and "link" as the built-in initialisation leaves them, and "link"
// with the sysroot spec in front.
extern const char *const builtin_libvuz_spec;
extern const char *const builtin_link_spec;
extern const char *const builtin_link_spec_with_sysroot;
// The texts of the unchanged specs, every one inside this array; how many of
// them are named-spec values.
extern const char builtin_spec_chars[];
extern const size_t builtin_spec_chars_size;
extern const int builtin_named_text_count;
// A condition body of a built-in text: where it starts and ends in
// builtin_spec_chars, where the body stands as a string of its own, and
// whether a "%*" stands at its own level.
struct builtin_body {
  uint32_t start;
  uint32_t end;
  uint32_t copy;
  uint32_t own_star;
};
extern const builtin_body builtin_bodies[];
extern const int builtin_body_count;
// A spec function call of a built-in text: where its name starts, its '('
// and the ')' that closes it in builtin_spec_chars, and where its arguments
// stand as a string of their own.
struct builtin_call {
  uint32_t start;
  uint32_t open;
  uint32_t end;
  uint32_t copy;
};
extern const builtin_call builtin_calls[];
extern const int builtin_call_count;
extern const uint16_t builtin_call_buckets[];
// For each run of 1 << BUILTIN_BUCKET_BITS bytes of builtin_spec_chars
// (BUILTIN_CONDITION_BUCKET_BITS for conditions, which stand closer
// together), the first record that starts in it or later.
enum { BUILTIN_BUCKET_BITS = 6, BUILTIN_CONDITION_BUCKET_BITS = 4 };
extern const uint16_t builtin_body_buckets[];
// A condition of a built-in text as reading it finds it: where it starts
// (after its '{') and ends (after its '}'), and its alternatives in order.
// Conditions whose reading could fail, or holds escapes, are left out.
enum builtin_condition_form : uint8_t {
  CONDITION_TEST,    // "%{a|b:x;c:y}"
  CONDITION_COPY,    // "%{a&b}"
  CONDITION_UNLESS,  // "%{!a:x}"
};
struct builtin_condition {
  uint32_t start;
  uint32_t end;
  uint16_t first;  // in builtin_alternatives
  uint8_t count;
  uint8_t form;
  // For a condition that takes nothing unless an atom names a switch (no
  // '!', no otherwise, only switch atoms), and for the atom of "%{!a:x}",
  // which takes its body unless the atom names one: the marks of the atoms'
  // first bytes, or of their first two where they have two and are no
  // separate form of -D or -U. Both zero for any other condition.
  uint32_t byte_marks;
  uint32_t pair_marks;
};
enum builtin_alternative_kind : uint8_t {
  ALT_SWITCH,
  ALT_SUFFIX,     // ".s"
  ALT_LANGUAGE,   // ",c"
  ALT_FUNCTION,   // "%:name(arguments)"
  ALT_OTHERWISE,  // the empty atom of ";:"
};
enum { ALT_NEGATED = 1, ALT_STARRED = 2, ALT_ENDS_CHOICE = 4, ALT_OWN_STAR = 8 };
// An alternative: its atom (for a call, the call's text after "%:"); after
// the last alternative of a choice, the ';' or '}' that ends its body and
// that body as a string of its own.
struct builtin_alternative {
  uint32_t atom;
  uint32_t body_end;
  uint32_t copy;
  uint16_t length;
  uint8_t kind;
  uint8_t flags;
};
extern const builtin_condition builtin_conditions[];
extern const int builtin_condition_count;
extern const builtin_alternative builtin_alternatives[];
extern const uint16_t builtin_condition_buckets[];
// Every switch name the unchanged specs mention for validation, exactly and
// as a prefix, each list sorted.
struct switch_name {
  const char *text;
  size_t length;
};
extern const switch_name builtin_named_switches[];
extern const int builtin_named_switches_count;
extern const switch_name builtin_named_prefixes[];
extern const int builtin_named_prefixes_count;

// Spec tables and files.
void load_all_specs(unsigned decoded_count, decoded_option *decoded);
void init_builtin_specs();
void load_spec_file(const char *file, bool main_file, bool user);
void define_spec(const char *name, const char *text, bool user);
void set_static_spec(const char **variable, const char *text);
named_spec *lookup_named_spec(const char *name, size_t length);
compiler_entry *choose_compiler_row(const char *name, size_t length, const char *language);
// The compiler table as built in, with its zeroed terminator.
void init_builtin_compilers();
void run_self_spec(const char *spec);
void dump_specs();
// Frees what spec files and the run added and gives the static specs their
// initial values back; driver_reset's part.
void reset_spec_tables();

// Interpreter.
int do_spec_1(const char *spec, bool literal, const char *matched);
int expand_and_run_spec(const char *spec);
void begin_spec_expansion();
// As above, for a spec that makes words and runs nothing.
void begin_word_expansion();
// Frees the argument vectors (those spec-function calls keep included) and
// both spec obstacks and forgets the current input; driver_reset's part.
void reset_spec_interpreter();
void finish_word();
void store_word(const char *text, bool delete_always, bool output_file);
void register_temp_file(const char *name, bool delete_always, bool delete_on_failure);
void keep_temp_file(const char *name);
// Exports VRESK_VUZ_OPTIONS without its "-v" echo; the exported text is the
// result.
const char *export_driver_options();
// Appends TEXT in single quotes, a quote inside written as '\'' so that a
// shell reading the exported list gets the text back.
void append_quoted_for_export(obstack *ob, const char *text);
void set_current_input(const char *name);
void word_add_char(char c);
void word_add_text(const char *text);
void word_add_text_n(const char *text, size_t length);
// The word being built and where it goes, reset at each command start. A
// spec function call sets it aside while its arguments expand as words of
// their own, response-file words included.
struct spec_word_state {
  bool word_open;
  // Non-zero when the word is a file to delete always.
  int word_delete;
  bool word_is_output;
  bool word_is_library;
  bool word_is_linker_script;
  bool input_piped;
  bool in_response_file;
  // What %. puts in place of the suffixes of the switch arguments a
  // condition copies.
  const char *suffix_replacement;
  vec<const char *> *response_argbuf;
};
extern spec_word_state spec_words;
// The texts joined on the collect obstack, where words, spec-function
// results and the other texts made for one run live until driver_reset.
char *collect_concat(const char *first, ...) __attribute__((sentinel));
// Runs the collected command. Under "-v" the echo begins with the line
// EXPORTED, when given, so that both go out in one write.
int execute(const char *exported);

// Conditions.
const char *handle_condition(const char *p, const char *whole_spec);
// The same by reading the condition's text, whatever the text.
const char *handle_condition_by_reading(const char *p);
// The '}' or ';' that ends a condition body at its own level, found by
// reading it; whether a "%*" stands at that level.
const char *spec_body_end(const char *body, bool *own_star);
void emit_switch(int index, bool omit_first_word);
const char *validate_spec_switches(const char *p, bool user_spec, bool braced);
void validate_all_switches();
// The same by reading every spec, whatever the specs are.
void validate_switches_by_scanning();
// Whether the specs validation reads are exactly the built-in texts.
bool builtin_specs_in_use();

// Switch table.

// Whether a switch text begins with the first LENGTH bytes of PREFIX, as
// strncmp would find. Byte by byte inline: the texts that differ mostly do
// so in their first bytes, sooner than a call returns.
inline bool switch_begins_with(const char *text, const char *prefix, size_t length)
{
  for (size_t i = 0; i < length; i++) {
    if (text[i] != prefix[i])
      return false;
    if (text[i] == '\0')
      return true;
  }
  return true;
}

// The switch numbers in order of their texts, so that a spec atom finds the
// switches it names without reading the others. Made again on first use
// after the table changed: a switch added, or another table swapped in.
struct switch_index {
  const switch_entry *table;  // the table it was made for
  int count;
  unsigned generation;
  int *by_text;
  int capacity;
};

// The first bytes of the switch texts, alone and in pairs (hashed): an atom
// that no switch begins like is answered without a walk. Made again after
// the table changed, as the index is.
enum { SWITCH_PAIR_HASH_BITS = 9 };
struct switch_first_bytes {
  const switch_entry *table;
  int count;
  unsigned generation;
  uint64_t bits[4];
  uint64_t pairs[(1 << SWITCH_PAIR_HASH_BITS) / 64];
  uint64_t lengths;  // bit 63: 63 bytes or more
  uint32_t byte_marks;
  uint32_t pair_marks;
};

// What answers spec atoms about the saved switches without a walk of them.
struct switch_lookup_state {
  switch_index index_of_switches;
  switch_first_bytes first_bytes_of_switches;
  // Counts the additions, so that a table filled again is not taken for the
  // one the index was made for.
  unsigned switch_table_generation;
};
extern switch_lookup_state switch_lookup;

void record_switch(const char *text, int further_count, const char *const *further,
                   bool accepted, bool in_option_table);
void terminate_switch_table();
void reset_switch_table();
bool switch_is_live(int index, int length);
// A text's first byte, and its first two, each as one bit of 32: what the
// build marks a condition's atoms with.
inline uint32_t first_byte_mark(const char *text)
{
  return uint32_t(1) << (static_cast<unsigned char>(text[0]) & 31);
}
// The hash of a text's first two bytes, which both the marks and the switch
// table's pair index use.
inline unsigned first_pair_hash(const char *text)
{
  return static_cast<unsigned char>(text[0]) * 33u + static_cast<unsigned char>(text[1]);
}
inline uint32_t first_pair_mark(const char *text)
{
  return uint32_t(1) << (first_pair_hash(text) & 31);
}
// Whether some switch text has one of the first-byte or first-pair marks.
bool some_switch_has_mark(uint32_t byte_marks, uint32_t pair_marks);
bool any_switch_matches(const char *atom, size_t length, bool starred);
bool live_switch_exists(const char *text);
// Calls VISIT, in table order, for each switch whose text is the first
// LENGTH bytes of ATOM (or begins with them, when STARRED).
void visit_switches_named(const char *atom, size_t length, bool starred,
                          void (*visit)(int index, void *data), void *data);

// The call of a built-in text whose name starts at NAME, or null.
const builtin_call *builtin_call_at(const char *name);

// Spec functions.
// Appends VALUE with a backslash before each character that would end or
// change a spec word.
void append_spec_escaped(obstack *ob, const char *value);
extern const spec_function_entry spec_function_table[];
const char *call_spec_function(const char *p, bool *returned_text, const char *matched);
// Frees what the calls a run left inside still hold.
void release_open_spec_calls();

// Temporary names and response files.
const char *make_temp_name(char code, const char *p, const char *whole_spec);
void open_response_file(const char *whole_spec);
void close_response_file();
// Removes the listed regular files; a failure is reported under -v.
void delete_temp_list(temp_file_node *list);
// Empties a list, freeing its nodes and names (the files stay).
void release_temp_list(temp_file_node **list);
// Removes the always-delete files and frees both lists and the memo of
// temporary names; driver_reset's part.
void reset_temp_names();

// Multilibs.
void init_multilib_texts();
void select_multilib();
bool multilib_option_used(const char *text, size_t length);
void print_multilib_table();
void release_multilib_cache();
// Frees the chosen directories and the cache; driver_reset's part.
void reset_multilib_choice();

// Compare-debug and crash reproduction.
void prepare_compare_debug_tables();
void use_compare_debug_table(int which);
void reset_compare_debug();
bool compare_debug_files(const char *input_name);
void report_crash(const char *const *words);
// The two runs of -fcompare-debug: the switch table of each (the second
// with what the self spec adds) and each run's dump file.
struct compare_debug_state {
  switch_table switch_tables[2];
  char *dump_names[2];
  char seed_text[24];
};
extern compare_debug_state compare_debug;
const char *compare_debug_dump_opt_spec_function(int argc, const char **argv);
const char *compare_debug_self_opt_spec_function(int argc, const char **argv);

#endif
