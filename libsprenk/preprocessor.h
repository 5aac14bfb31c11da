// The preprocessor library's client interface: the reader that holds one
// preprocessing run (opaque: clients reach it through the entries here), its
// options and callbacks, the token and identifier records, and the entries a
// client calls. Clients include this header only.
#ifndef VUZ_LIBSPRENK_PREPROCESSOR_H
#define VUZ_LIBSPRENK_PREPROCESSOR_H

#include "libsprenk/charset.h"
#include "locations/line-map.h"
#include "locations/located-ranges.h"
#include "support/obstack.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

struct preprocessor_reader;
struct input_buffer;
struct ident_table;
struct macro_def;
struct source_file;
struct file_hash_entry;
struct conditional_frame;
struct directive_row;
struct pragma_node;
struct dep_record;
struct search_dir_block;
struct file_hash_block;
struct callback_hash_table;

// ---- Tokens ----

enum token_category : uint32_t {
  TC_OPERATOR = 0,
  TC_IDENTIFIER = 1,
  TC_LITERAL = 2,
  TC_NONE = 3,
};

enum token_kind : uint8_t {
#define TOKEN_KIND(name, category, spelling) name,
#include "libsprenk/token-kinds.def"
#undef TOKEN_KIND
  TK_KIND_COUNT
};

// User-defined literal kinds are their base kinds plus these.
enum : int { TK_STRING_USERDEF_OFFSET = 12, TK_CHAR_USERDEF_OFFSET = 13 };

enum : uint16_t {
  TOK_SPACE_BEFORE = 0x1,
  TOK_DIGRAPH = 0x2,
  TOK_STRINGIFY = 0x4,
  TOK_PASTE_NEXT = 0x8,
  TOK_NAMED_OPERATOR = 0x10,
  TOK_FALLTHROUGH_BEFORE = 0x20,
  TOK_LINE_START = 0x40,
  TOK_COLON_PAIR = 0x80,
  TOK_OPERATOR_DIGRAPH = 0x100,
  TOK_OPERATOR_SPACE = 0x200,
  TOK_NO_EXPAND = 0x400,
  TOK_FROM_PRAGMA_OPERATOR = 0x800,
};

struct ident_node;

struct token_ident {
  ident_node *node;     // after universal-character-name conversion
  ident_node *spelling; // the text as written
};
struct token_string {
  uint32_t length;
  const unsigned char *text; // NUL-terminated, in the reader's text pool
};
struct token_macro_arg {
  uint32_t number;
  ident_node *spelling;
};

struct preproc_token {
  location_t location;
  uint8_t kind;   // a token_kind
  uint16_t flags; // TOK_*
  union {
    token_ident ident;
    token_string str;
    token_macro_arg arg;
    const preproc_token *source; // PADDING
    uint32_t paste_index;        // "##"
    uint32_t pragma_id;          // PRAGMA
  } value;
};

// Which member of a token's value is live.
enum token_value_field : int {
  TVF_NODE = 0,
  TVF_SOURCE = 1,
  TVF_STRING = 2,
  TVF_PARAMETER = 3,
  TVF_PASTE_INDEX = 4,
  TVF_PRAGMA = 5,
  TVF_NONE = 6,
};

// ---- Identifiers ----

enum ident_kind : uint8_t {
  IK_PLAIN = 0,
  IK_PARAMETER = 1,
  IK_MACRO = 2,
  IK_BUILTIN = 3,
};

// Bits of ident_node::flags.
enum : uint16_t {
  IDF_NAMED_OPERATOR = 0x1,
  IDF_POISONED = 0x2,
  IDF_CHECK_ON_LEX = 0x4,
  IDF_WARN_ON_CHANGE = 0x8,
  IDF_EXPANDING = 0x10,
  IDF_USED = 0x20,
  IDF_CONDITIONAL = 0x40,
  IDF_OPERATOR_IN_C = 0x80,
  IDF_MODULE_KEYWORD = 0x100,
};

struct assertion_answer;

struct ident_node {
  const char *text; // NUL-terminated, owned by the table; first, as line maps expect
  uint32_t length;
  uint32_t hash;
  uint32_t is_directive : 1;
  uint32_t index : 7;       // directive number, or a named operator's token kind
  uint32_t client_code : 8; // the client's; never read here
  uint32_t flags : 9;       // IDF_*
  uint32_t kind : 2;        // an ident_kind; bit 1 set for macros
  uint32_t deferred;        // client cookie of a deferred definition, 0 for none
  union {
    macro_def *macro;           // IK_MACRO
    uintptr_t builtin;          // IK_BUILTIN: the built-in kind
    uintptr_t parameter;        // IK_PARAMETER: 1-based number
    assertion_answer *answers;  // IK_PLAIN predicate
  } value;
};

inline bool ident_is_macro(const ident_node *node)
{
  return (node->kind & 2) != 0;
}

enum idtab_mode : int { IDTAB_FIND_ONLY = 0, IDTAB_INSERT = 1 };

struct ident_table {
  obstack strings;
  ident_node **slots; // null: empty; IDTAB_DELETED: deleted
  ident_node *(*node_allocator)(ident_table *table);
  void *(*string_allocator)(uint64_t size);
  uint32_t slot_count;
  uint32_t entry_count;
  preprocessor_reader *reader;
  uint32_t searches;
  uint32_t collisions;
  bool slots_owned;
};

typedef int (*idtab_callback)(preprocessor_reader *reader, ident_node *node, void *data);

ident_table *idtab_create(uint32_t order);
void idtab_destroy(ident_table *table);
uint32_t idtab_hash(const unsigned char *text, uint32_t length);
ident_node *idtab_find(ident_table *table, const char *text, uint32_t length, idtab_mode mode);
ident_node *idtab_find_hashed(ident_table *table, const char *text, uint32_t length,
                              uint32_t hash, idtab_mode mode);
void idtab_for_each(ident_table *table, idtab_callback callback, void *data);
void idtab_prune(ident_table *table, idtab_callback callback, void *data);
void idtab_adopt(ident_table *table, ident_node **slots, uint32_t slot_count,
                 uint32_t entry_count, bool owned);
void idtab_dump_stats(ident_table *table);

// ---- Dialects and options ----

enum source_dialect : int32_t {
#define DIALECT(name, text, ...) name,
#include "libsprenk/dialects.def"
#undef DIALECT
  DIALECT_COUNT
};

struct cpp_reader_options {
  int32_t language; // a source_dialect
  uint8_t cplusplus_mode;
  uint8_t objc_mode;
  uint8_t drop_comments;
  uint8_t drop_comments_in_macros;
  uint8_t trigraph_sequences;
  uint8_t digraph_tokens;
  uint8_t extended_number_forms;
  uint8_t unicode_literal_prefixes;
  uint8_t utf8_char_prefix;
  uint8_t raw_string_literals;
  uint8_t list_included_files;
  uint8_t warn_deprecated_extensions;
  uint8_t warn_nested_comments;
  uint8_t warn_date_time_macros;
  uint8_t warn_trigraph_use; // 2: undecided until reader_post_options
  uint8_t warn_multichar_constants;
  uint8_t warn_traditional_c;
  uint8_t warn_long_long_constants;
  uint8_t warn_endif_tokens;
  uint8_t warn_sign_change_in_if;
  uint8_t warn_variadic;
  uint8_t warn_builtin_redefinition;
  uint8_t fallthrough_comments;
  uint8_t use_remap_files;
  uint8_t dollars_in_identifiers;
  uint8_t ucn_identifiers;
  uint8_t warn_dollar_signs;
  uint8_t warn_undefined_in_if;
  uint8_t warn_defined_in_expansion;
  uint8_t warn_unused_macro;
  uint8_t c99_mode;
  uint8_t strict_iso;
  uint8_t pedantic_mode;
  uint8_t preprocessed_input;
  uint8_t macro_expansion_tracking;
  uint8_t operator_name_keywords;
  uint8_t warn_operator_names;
  uint8_t traditional_mode;
  uint8_t user_defined_literals;
  uint8_t warn_literal_suffix_space;
  uint8_t extended_numeric_suffixes;
  uint8_t c11_identifier_set;
  uint8_t binary_literals;
  uint8_t digit_separator_quotes;
  uint8_t decimal_float_suffixes;
  uint8_t va_opt_support;
  uint8_t scope_token;
  uint8_t elifdef_directives;
  uint8_t module_support;
  uint8_t size_t_suffixes;
  const char *narrow_charset_name;
  const char *wide_charset_name; // null: chosen by wchar_precision
  const char *input_charset_name;
  int32_t normalization_warning_level;
  uint8_t warn_invalid_pch;
  int8_t warn_c90_c99_compat; // -1 unset
  int8_t warn_c11_c2x_compat; // -1 unset
  uint8_t warn_cxx11_compatibility;
  uint8_t bidi_warning_mode; // BIDI_WARN_* bits
  int32_t deps_style;
  uint8_t deps_missing_files;
  uint8_t deps_phony_targets;
  uint8_t deps_module_output;
  uint8_t deps_ignore_main_file;
  uint8_t deps_need_preprocessed_output;
  uint64_t precision;
  uint64_t char_precision;
  uint64_t int_precision;
  uint64_t wchar_precision;
  uint8_t unsigned_char;
  uint8_t unsigned_wchar;
  uint8_t bytes_big_endian;
  uint8_t stdc_zero_in_system_headers;
  uint8_t directives_only;
  uint8_t canonical_system_headers;
  int32_t max_include_depth;
  uint8_t main_search; // 0 as named, 2 quote chain, 3 bracket chain
  uint8_t tab_stop;    // columns of a tab for the client's column display
};

// How far an identifier is from normalisation form KC, as -Wnormalized=
// names the levels it tolerates (normalization_warning_level).
enum {
  NORM_NFKC = 0,       // in form KC
  NORM_NFC = 1,        // in form C but not KC
  NORM_IDENTIFIER = 2, // an acceptable identifier form
  NORM_NOT_NFC = 3,    // not in form C
};

// Bits of bidi_warning_mode.
enum : uint8_t {
  BIDI_WARN_UNPAIRED = 1,
  BIDI_WARN_ANY = 2,
  BIDI_WARN_UCN = 4,
};

// ---- Diagnostics ----

enum diag_level : int {
  DL_WARNING = 0,
  DL_WARNING_SYSHDR = 1,
  DL_PEDWARN = 2,
  DL_ERROR = 3,
  DL_ICE = 4,
  DL_NOTE = 5,
  DL_FATAL = 6,
};

enum diag_reason : int {
  DR_NONE = 0,
  DR_DEPRECATED = 1,
  DR_COMMENTS = 2,
  DR_TRIGRAPHS = 4,
  DR_MULTICHAR = 5,
  DR_TRADITIONAL = 6,
  DR_LONG_LONG = 7,
  DR_ENDIF_LABELS = 8,
  DR_VARIADIC_MACROS = 10,
  DR_BUILTIN_MACRO_REDEFINED = 11,
  DR_UNDEF = 13,
  DR_UNUSED_MACROS = 14,
  DR_CXX_OPERATOR_NAMES = 15,
  DR_NORMALIZE = 16,
  DR_WARNING_DIRECTIVE = 18,
  DR_LITERAL_SUFFIX = 19,
  DR_SIZE_T_LITERALS = 20,
  DR_DATE_TIME = 21,
  DR_PEDANTIC = 22,
  DR_C90_C99_COMPAT = 23,
  DR_C11_C2X_COMPAT = 24,
  DR_CXX11_COMPAT = 25,
  DR_EXPANSION_TO_DEFINED = 26,
  DR_BIDIRECTIONAL = 27,
};

// ---- Callbacks ----

// Where the reader is in a function-like macro's invocation; the line-change
// callback gets it, since a line read while collecting arguments is no new
// line of output.
enum args_phase : uint8_t {
  ARGS_NONE = 0,
  ARGS_SEEKING_PAREN = 1,
  ARGS_COLLECTING = 2,
};

// A buffer's or directory's system-header kind, as the line maps keep it.
enum system_header_kind : uint8_t {
  SYSTEM_NONE = 0,
  SYSTEM_HEADER = 1,
  // Headers of systems whose C++ library does not declare C linkage itself.
  SYSTEM_HEADER_C_LINKAGE = 2,
};

struct reader_callbacks {
  void (*line_change)(preprocessor_reader *, const preproc_token *, int parsing_args);
  void (*file_change)(preprocessor_reader *, const ordinary_map *);
  void (*dir_change)(preprocessor_reader *, const char *directory);
  void (*include)(preprocessor_reader *, location_t, const unsigned char *directive,
                  const char *name, int angled, const preproc_token **comments);
  void (*define)(preprocessor_reader *, location_t, ident_node *);
  void (*undef)(preprocessor_reader *, location_t, ident_node *);
  void (*ident)(preprocessor_reader *, location_t, const token_string *);
  void (*unknown_pragma)(preprocessor_reader *, location_t);
  int (*valid_pch)(preprocessor_reader *, const char *name, int fd);
  void (*read_pch)(preprocessor_reader *, const char *name, int fd, const char *as_written);
  const char *(*missing_header)(preprocessor_reader *, const char *header, void **directory);
  ident_node *(*macro_to_expand)(preprocessor_reader *, const preproc_token *);
  bool (*diagnostic)(preprocessor_reader *, int level, int reason, located_ranges *,
                     const char *format, va_list *args);
  void (*used_defined)(preprocessor_reader *, location_t, ident_node *);
  void (*used_undefined)(preprocessor_reader *, location_t, ident_node *);
  void (*before_define)(preprocessor_reader *);
  void (*macro_used)(preprocessor_reader *, location_t, ident_node *);
  int (*has_attribute)(preprocessor_reader *, bool standard);
  int (*has_builtin)(preprocessor_reader *);
  void (*lazy_macro)(preprocessor_reader *, macro_def *, unsigned count);
  macro_def *(*deferred_macro)(preprocessor_reader *, location_t, ident_node *);
  int64_t (*source_date_epoch)(preprocessor_reader *);
  const char *(*suggest_directive)(preprocessor_reader *, const char *misspelt,
                                   const char *const *candidates);
  void (*comment)(preprocessor_reader *, location_t, const unsigned char *text, uint64_t length);
  const char *(*remap_file_name)(const char *name);
  char *(*translate_include)(preprocessor_reader *, linemap_set *, location_t, const char *path);
};

// ---- Include directories and saved comments ----

struct remap_table;

// A directory of the include chains, which the client builds.
struct search_dir {
  search_dir *next;
  const char *name;
  uint32_t length;
  uint8_t system_kind;
  uint8_t user_supplied;
  // The directory's "header.vuz" names, read on first use under
  // use_remap_files; owned by the reader that read it.
  remap_table *remap;
  // When set, makes the path of NAME in the directory in place of joining
  // the two: a heap block the library frees, or null when the directory
  // has no such file.
  char *(*construct)(const char *name, search_dir *directory);
  // The directory's identity, for a client that drops a directory named
  // twice by different names.
  ino_t inode;
  dev_t device;
};

struct saved_comment {
  char *text; // heap, NUL-terminated
  location_t location;
};

struct comment_store {
  saved_comment *entries;
  uint32_t count;
  uint32_t allocated;
};

// ---- Client entries ----

preprocessor_reader *reader_create(source_dialect dialect, ident_table *table,
                                   linemap_set *line_table);
void reader_set_language(preprocessor_reader *reader, source_dialect dialect);
void reader_set_line_table(preprocessor_reader *reader, linemap_set *line_table);
void reader_post_options(preprocessor_reader *reader);
void init_converters(preprocessor_reader *reader);
void close_converters(preprocessor_reader *reader);
void define_standard_builtins(preprocessor_reader *reader, bool hosted);
void define_special_builtins(preprocessor_reader *reader);
void reenter_builtin_row(preprocessor_reader *reader, const char *name);
const char *open_main_file(preprocessor_reader *reader, const char *name, bool injecting);
location_t main_file_location(preprocessor_reader *reader);
void reader_finish(preprocessor_reader *reader, FILE *deps_stream);
void reader_destroy(preprocessor_reader *reader);
const char *named_operator_spelling(token_kind kind);
// The dialect of an option text such as "c++17" or "kav11"; false when unknown.
bool dialect_by_name(const char *text, source_dialect *out);
const char *dialect_name(source_dialect dialect);

// Identifiers.
ident_node *cpp_intern(preprocessor_reader *reader, const char *text, uint32_t length);
int cpp_is_defined_macro(preprocessor_reader *reader, const char *text, uint32_t length);
void cpp_each_identifier(preprocessor_reader *reader, idtab_callback callback, void *data);

// Buffers and directive texts.
input_buffer *buffer_push(preprocessor_reader *reader, const unsigned char *text, uint64_t length,
                          bool from_stage3);
void buffer_pop(preprocessor_reader *reader);
const ordinary_map *enter_file_change(preprocessor_reader *reader, line_map_reason reason,
                                      const char *name, uint32_t line, uint32_t system_kind);
void define_from_text(preprocessor_reader *reader, const char *text);
void define_from_text_unused(preprocessor_reader *reader, const char *text);
void define_formatted(preprocessor_reader *reader, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void define_formatted_unused(preprocessor_reader *reader, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void define_builtin_text(preprocessor_reader *reader, const char *text);
// Every identifier stops being a macro (and poisoned).
void undefine_all_macros(preprocessor_reader *reader);
void undef_from_text(preprocessor_reader *reader, const char *name);
void assert_from_text(preprocessor_reader *reader, const char *text);
void unassert_from_text(preprocessor_reader *reader, const char *text);
void install_include_chains(preprocessor_reader *reader, search_dir *quote, search_dir *bracket,
                            bool quote_ignores_source_dir);
// Stacks NAME from the bracket chain when it exists; a missing one is no
// error. What it reads does not keep a precompiled header from being used.
bool push_optional_default_include(preprocessor_reader *reader, const char *name);
void list_unguarded_headers(preprocessor_reader *reader, FILE *stream);
// The current file is a system header (with C linkage) from the current
// line on, or no longer one.
void mark_system_header(preprocessor_reader *reader, bool system, bool c_linkage);
// A command-line include: from the working directory, then as a quoted
// include.
bool push_include_file(preprocessor_reader *reader, const char *name);
// The path NAME is found at, null after the report that it is missing.
const char *probe_header_path(preprocessor_reader *reader, const char *name, bool angled,
                              location_t location);
// The main file becomes an include of the quote directory its name starts
// with (a system header when that directory is a system one).
void cpp_retrofit_as_include(preprocessor_reader *reader);
void enter_file_at_line_one(preprocessor_reader *reader, line_map_reason reason,
                            const char *name);
// Forgets every file looked up, as at the start.
void reset_file_cache(preprocessor_reader *reader);
bool cpp_file_failed(const source_file *file);
const char *cpp_file_name(const source_file *file);
const char *cpp_file_path(const source_file *file);
search_dir *cpp_file_dir(const source_file *file);
// What stat said of the file when it was found.
const struct stat *cpp_file_stat(const source_file *file);
input_buffer *cpp_top_buffer(preprocessor_reader *reader);
source_file *cpp_buffer_file(const input_buffer *buffer);
input_buffer *cpp_buffer_previous(const input_buffer *buffer);
// Whether a lookup of NAME found a file (a linemarker's entry counts), and
// whether one did at or before LOCATION.
bool file_included(preprocessor_reader *reader, const char *name);
bool file_included_before(preprocessor_reader *reader, const char *name, location_t location);
// The table of file sizes and digests saved with a precompiled header:
// files it lists as once-only (all of them, for #import) are not read again.
bool write_digest_table(preprocessor_reader *reader, FILE *stream);
bool load_digest_table(FILE *stream);
void forget_digest_table();

// Pragmas: handlers run at once; deferred pragmas reach the client as a
// PRAGMA token carrying IDENT, the line's tokens and PRAGMA_EOL.
typedef void (*pragma_handler)(preprocessor_reader *reader);
bool register_pragma(preprocessor_reader *reader, const char *space, const char *name,
                     pragma_handler handler, bool allow_expansion);
bool register_deferred_pragma(preprocessor_reader *reader, const char *space, const char *name,
                              uint32_t ident, bool allow_expansion, bool allow_name_expansion);
// Around a replacement of the identifier table (a precompiled header's
// image): every pragma name saved as text, and looked up again afterwards.
char **copy_pragma_names(preprocessor_reader *reader);
void relookup_pragma_names(preprocessor_reader *reader, char **names);

// Dependency output.
dep_record *deps_create();
void deps_destroy(dep_record *record);
void deps_add_rule_target(dep_record *record, const char *name, bool quote);
void deps_add_implicit_target(dep_record *record, const char *source);
void deps_add_dep(dep_record *record, const char *name);
void deps_add_vpath_list(dep_record *record, const char *list);
// The module a unit provides, with its compiled-module file (or null); a
// unit provides one module at most.
void deps_add_module_target(dep_record *record, const char *module, const char *file,
                            bool header_unit);
void deps_add_imported_module(dep_record *record, const char *module);
// The rules of the reader's dependencies, by its options: phony targets,
// and the rules of the modules imported and provided after the unit's own.
void deps_print(const preprocessor_reader *reader, FILE *stream, uint32_t limit);
int deps_dump(const dep_record *record, FILE *stream);
int deps_load(dep_record *record, FILE *stream, const char *own_name);
cpp_reader_options *options_of(preprocessor_reader *reader);
reader_callbacks *callbacks_of(preprocessor_reader *reader);
void replace_callbacks(preprocessor_reader *reader, const reader_callbacks *callbacks);
// The target character sets of the narrow and wide converters.
const char *narrow_charset_of(preprocessor_reader *reader);
const char *wide_charset_of(preprocessor_reader *reader);
// The dependency record (created on first use) when dependencies are
// wanted; null otherwise.
dep_record *dependencies_of(preprocessor_reader *reader);

// Tokens.
// The macro-expanded stream; the location is the expansion point of tokens
// from macros unless expansion tracking is on.
const preproc_token *cpp_get_token(preprocessor_reader *reader);
const preproc_token *cpp_next_token(preprocessor_reader *reader);
const preproc_token *cpp_next_token_with_location(preprocessor_reader *reader,
                                                  location_t *location);
void cpp_skip_rest_of_file(preprocessor_reader *reader);
// True while the tokens read come from a built-in macro or from a macro
// defined in a system header.
bool cpp_in_system_macro(const preprocessor_reader *reader);
// A macro's definition as "NAME(PARAMS) BODY", valid until the next call;
// null when it is a deferred definition the client cannot supply.
const unsigned char *cpp_macro_text(preprocessor_reader *reader, ident_node *node);
// Definitions a client supplies late: a node of kind IK_MACRO without a
// definition (its `deferred` cookie the client's) gets one from the
// deferred-macro callback when first needed; a definition marked lazy has
// its body completed by the lazy-macro callback on first use.
macro_def *cpp_resolve_deferred_macro(preprocessor_reader *reader, ident_node *node,
                                      location_t location);
void cpp_mark_lazy_macro(preprocessor_reader *reader, ident_node *node, unsigned number);
const preproc_token *cpp_look_ahead(preprocessor_reader *reader, uint32_t index);
bool cpp_token_is_name(const preproc_token *token, const char *text);
void cpp_fix_token_location(preprocessor_reader *reader, location_t location);
void cpp_unfix_token_location(preprocessor_reader *reader);
const comment_store *cpp_saved_comments(preprocessor_reader *reader);

// Spelling.
token_category cpp_kind_category(int kind);
const char *cpp_kind_name(int kind, uint16_t flags);
uint64_t cpp_spelling_bound(const preproc_token *token);
unsigned char *cpp_write_token_text(preprocessor_reader *reader, const preproc_token *token,
                                    unsigned char *destination, bool for_string);
const unsigned char *cpp_token_text(preprocessor_reader *reader, const preproc_token *token);
void cpp_print_token(const preproc_token *token, FILE *stream);
bool cpp_needs_space_between(preprocessor_reader *reader, const preproc_token *first,
                             const preproc_token *second);
token_value_field cpp_token_value_field(const preproc_token *token);
char *cpp_rest_of_line_text(preprocessor_reader *reader, const char *directive_name);
void cpp_print_rest_of_line(preprocessor_reader *reader, FILE *stream);
// TEXT as the inside of a string literal: a backslash before each backslash
// and double quote, a newline as backslash-n; 2 x LENGTH bytes suffice.
unsigned char *cpp_escape_string(unsigned char *destination, const unsigned char *text,
                                 uint64_t length);

// The bidirectional-control range label: range 0 is the end of the context,
// range i > 0 the control of tracker entry i - 1.
class bidi_range_label : public range_label {
public:
  label_string get_text(uint32_t range_index) const override;
};

// Directives-only processing: directives run, every other stretch of text
// is handed to the client unchanged.
enum dironly_task : int { DIRONLY_TEXT = 0, DIRONLY_LOCATION = 1, DIRONLY_TOKEN = 2 };
struct dironly_event {
  uint32_t lines;             // DIRONLY_TEXT: the newlines the text holds
  const unsigned char *text;  // DIRONLY_TEXT
  uint64_t length;            // DIRONLY_TEXT
  location_t location;        // DIRONLY_LOCATION; DIRONLY_TOKEN: spelling location
  const preproc_token *token; // DIRONLY_TOKEN
};
typedef void (*dironly_callback)(preprocessor_reader *reader, dironly_task task, void *data,
                                 const dironly_event &event);
// Called after the main file is entered; returns when every buffer is done.
void cpp_directive_only_process(preprocessor_reader *reader, void *data,
                                dironly_callback callback);
// Past the backslash-newline splices at POSITION, staying below LIMIT.
const unsigned char *skip_splices(const unsigned char *position, const unsigned char *limit);
// Past the rest of KEYWORD (its first character is at POSITION) and the
// white space after it; null when the keyword is not there.
const unsigned char *match_module_keyword(const char *keyword, const unsigned char *position,
                                          const unsigned char *limit);

// Traditional (pre-standard) preprocessing: the next logical line of
// output, without its newline; false at the end of the input. The text
// stays valid until the next call.
bool cpp_read_traditional_line(preprocessor_reader *reader, const unsigned char **text,
                               uint64_t *length, location_t *first_line);

// ---- Literals and numbers ----

// A literal's spelling: prefix, quotes and escapes included.
struct byte_string {
  uint32_t length;
  const unsigned char *text; // not NUL-terminated as far as `length` goes
};

// Walks the columns of a string literal's spelling, one step per byte.
struct string_location_reader {
  location_t location;
  uint32_t step; // 0 when the location has no columns
};

void string_location_reader_start(string_location_reader *r, location_t location,
                                  linemap_set *set);
location_span string_location_reader_next(string_location_reader *r);

// The span of every character of a literal, in order.
struct substring_ranges {
  location_span *spans;
  uint32_t count;
  uint32_t allocated;
};

void substring_ranges_init(substring_ranges *ranges);
void substring_ranges_fini(substring_ranges *ranges);
void substring_ranges_push(substring_ranges *ranges, location_span span);
void substring_ranges_push_run(substring_ranges *ranges, string_location_reader *r,
                               uint32_t count);

bool cpp_interpret_string_1(preprocessor_reader *reader, const byte_string *strings,
                            uint32_t count, byte_string *out, int kind,
                            string_location_reader *readers, substring_ranges *ranges);
bool interpret_string_plain(preprocessor_reader *reader, const byte_string *strings,
                            uint32_t count, byte_string *out, int kind);
// As a narrow string whose bytes stay UTF-8.
bool interpret_string_untranslated(preprocessor_reader *reader, const byte_string *strings,
                                   uint32_t count, byte_string *out);
// Null on success, else why the ranges could not be had.
const char *interpret_string_source_ranges(preprocessor_reader *reader,
                                           const byte_string *strings,
                                           string_location_reader *readers, uint32_t count,
                                           substring_ranges *ranges, int kind);
uint32_t interpret_char_constant(preprocessor_reader *reader, const preproc_token *token,
                                 uint32_t *characters_seen, bool *unsigned_out);
ident_node *identifier_from_ucn_spelling(preprocessor_reader *reader,
                                         const unsigned char *spelling, uint32_t length);

// A value of #if arithmetic: the low `precision` bits of the 128, sign
// extended above them when signed.
struct expr_value {
  uint64_t high;
  uint64_t low;
  bool unsignedp;
  bool overflow;
};

// Number classification bits.
enum : uint32_t {
  NUM_CATEGORY = 0xF,
  NUM_INVALID = 0,
  NUM_INTEGER = 1,
  NUM_FLOATING = 2,
  NUM_WIDTH = 0xF0,
  NUM_SMALL = 0x10,
  NUM_MEDIUM = 0x20,
  NUM_LARGE = 0x40,
  NUM_RADIX = 0xF00,
  NUM_DECIMAL = 0x100,
  NUM_HEX = 0x200,
  NUM_OCTAL = 0x400,
  NUM_BINARY = 0x800,
  NUM_UNSIGNED = 0x1000,
  NUM_IMAGINARY = 0x2000,
  NUM_DFLOAT = 0x4000,
  NUM_DEFAULT = 0x8000,
  NUM_FLOATN_W = 0x10000,
  NUM_FLOATN_Q = 0x20000,
  NUM_FRACT = 0x100000,
  NUM_ACCUM = 0x200000,
  NUM_FLOATN = 0x400000,
  NUM_FLOATNX = 0x800000,
  NUM_USERDEF = 0x1000000,
  NUM_SIZE_T = 0x2000000,
  NUM_FLOATN_SHIFT = 24,
};

uint32_t classify_number(preprocessor_reader *reader, const preproc_token *token,
                         const char **user_suffix, location_t location);
uint32_t float_suffix_flags(preprocessor_reader *reader, const unsigned char *suffix,
                            uint64_t length);
uint32_t int_suffix_flags(preprocessor_reader *reader, const unsigned char *suffix,
                          uint64_t length);
expr_value interpret_integer(preprocessor_reader *reader, const preproc_token *token,
                             uint32_t classification);
int userdef_string_to_plain(int kind);
int plain_string_to_userdef(int kind);
int userdef_char_to_plain(int kind);
int plain_char_to_userdef(int kind);
bool is_userdef_string(int kind);
bool is_userdef_char(int kind);
const unsigned char *userdef_literal_suffix(const preproc_token *token);
expr_value value_sign_extend(expr_value value, uint64_t precision);
expr_value value_shift_left(expr_value value, uint64_t precision, uint64_t count);

#endif
