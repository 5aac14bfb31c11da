// What the preprocessor library's own files share; clients use
// preprocessor.h only.
#ifndef VUZ_LIBSPRENK_PREPROCESSOR_INTERNAL_H
#define VUZ_LIBSPRENK_PREPROCESSOR_INTERNAL_H

#include "libsprenk/preprocessor.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdarg>
#include <ctime>
#include <sys/stat.h>

// ---- The reader and the records it keeps ----

struct line_note {
  const unsigned char *position;
  uint32_t kind; // '\\', ' ', a trigraph's third character, '\n', or 0 when dealt with
};

// A buffer's line-note state, put aside while the buffer reads made-up
// text.
struct saved_line_notes {
  line_note *notes;
  uint32_t current_note;
  uint32_t notes_used;
  uint32_t notes_allocated;
  const unsigned char *next_line;
  line_note end_note;
};

// The data area comes first and this header directly after it.
struct scratch_buffer {
  scratch_buffer *next;
  unsigned char *base;
  unsigned char *current;
  unsigned char *limit;
};

struct input_buffer {
  const unsigned char *cursor;
  const unsigned char *line_base;
  const unsigned char *next_line;
  const unsigned char *text;
  const unsigned char *limit; // the byte here is a newline (or carriage return) sentinel
  void *to_free;
  line_note *notes;
  uint32_t current_note;
  uint32_t notes_used;
  uint32_t notes_allocated;
  input_buffer *previous;
  source_file *file;
  const char *timestamp;
  conditional_frame *if_stack;
  uint32_t need_line : 1;
  uint32_t warned_cplusplus_comments : 1;
  uint32_t from_stage3 : 1;
  uint32_t return_at_eof : 1;
  uint8_t system_kind; // a system_header_kind
  search_dir directory;
  // How the file's text was converted from its input character set.
  charset_converter input_converter;
};

// Bytes of readable, zeroed slack a buffer's text has after its sentinel, so
// that line preparation's aligned word reads never leave the allocation.
enum { BUFFER_SLACK = 16 };

// ---- Token storage and expansion contexts ----

enum { TOKEN_BLOCK_SIZE = 250 };

struct token_block {
  token_block *next;
  token_block *previous;
  preproc_token *first;
  preproc_token *limit;
};

// One level of macro expansion (filled in by the expander): the tokens still
// to be read from it.
struct expansion_context {
  expansion_context *previous;
  expansion_context *next;
  const preproc_token *start;
  const preproc_token *first;
  const preproc_token *last;
  ident_node *macro;
  scratch_buffer *scratch;  // scratch block released with the context, or null
  // Traditional mode reads text, not tokens: the next character and the
  // newline that ends the text.
  const unsigned char *text_position;
  const unsigned char *text_limit;
  // While expansions are tracked, the virtual location of each token from
  // `start` on: an owned array, or consecutive ones from `virtual_base`.
  location_t *locations;
  location_t virtual_base;
};

// Padding and no-expand copies handed out by the expander stay valid for
// this many further ones.
enum { HANDED_OUT_SLOTS = 16 };

// What the reader is doing while it reads a directive's line.
enum directive_phase : uint8_t {
  DIRECTIVE_NONE = 0,
  DIRECTIVE_LINE = 1,
  // Include-type directives read their header name in place.
  DIRECTIVE_HEADER_NAME = 2,
};

// A module control line's `directive_file_token`: the low bits count the
// tokens still to come up to and including its header name; the flag keeps
// that name as written instead of asking the client for a header unit.
enum : uint8_t {
  MODULE_HEADER_COUNT_MASK = 0xf,
  MODULE_HEADER_AS_WRITTEN = 16,
  // The keyword and the header name, after any "export".
  MODULE_HEADER_TOKENS = 2,
};

struct lexer_state {
  uint8_t in_directive; // a directive_phase
  uint8_t directive_wants_padding;
  uint8_t skipping;
  uint8_t angled_headers;
  uint8_t in_expression;
  uint8_t save_comments;
  uint8_t va_args_ok;
  uint8_t poisoned_ok;
  uint8_t prevent_expansion;
  uint8_t parsing_args; // an args_phase
  uint8_t discarding_output;
  uint32_t skip_eval; // nesting of unevaluated #if operands
  uint8_t in_deferred_pragma;
  uint8_t pragma_allow_expansion;
  uint8_t directive_file_token;
};

struct pushed_macro;

// The logical line traditional mode has scanned out; the byte at `current`
// is a newline.
struct trad_output {
  unsigned char *base;
  unsigned char *limit;
  unsigned char *current;
  location_t first_line; // the line the logical line began on
};

// The special identifiers interned when the table is attached.
enum { MODULE_EXPORT = 0, MODULE_MODULE = 1, MODULE_IMPORT = 2, MODULE_UNDERSCORE_IMPORT = 3 };

struct special_nodes {
  ident_node *n_defined;
  ident_node *n_true;
  ident_node *n_false;
  ident_node *n_va_args;
  ident_node *n_va_opt;
  // Module keywords of export, module, import and __import (MODULE_*): as
  // the lexer meets them, and as a control line hands them on.
  ident_node *module_in[4];
  ident_node *module_out[4];
};

struct preprocessor_reader {
  input_buffer *buffer;
  input_buffer *overlaid_buffer;
  lexer_state state;
  linemap_set *line_table;
  location_t directive_line;

  scratch_buffer *free_scratch;
  scratch_buffer *text_pool;   // unaligned token texts
  scratch_buffer *record_pool; // aligned records

  expansion_context base_context;
  expansion_context *context;

  const directive_row *directive;
  preproc_token directive_result;

  location_t invocation_location;
  ident_node *top_most_macro;
  bool about_to_expand;

  search_dir *quote_include;
  search_dir *bracket_include;
  search_dir no_search_path;

  source_file *all_files;
  source_file *main_file;
  // Directories the library made itself, and every remap table it read.
  search_dir_block *made_directories;
  // The directories of files quoted includes start in, per system kind.
  search_dir_block *source_directories;
  remap_table *remap_tables;
  // Lookups by the name looked up: chains of entries, one per start
  // directory, from blocks freed with the reader.
  callback_hash_table *file_hash;
  file_hash_block *file_entries;
  // The made directories by name, in entries from the same blocks.
  callback_hash_table *directory_hash;
  // Paths a search found missing, not probed again; kept on their obstack.
  callback_hash_table *nonexistent_names;
  obstack nonexistent_name_strings;

  bool quote_ignores_source_dir;
  bool seen_once_only;

  const ident_node *mi_controlling_macro;
  const ident_node *mi_if_not_defined;
  bool mi_valid;

  preproc_token *cur_token;
  token_block base_run;
  token_block *cur_run;
  uint32_t lookaheads;
  uint32_t keep_tokens;
  // Context records popped, kept for the next pushes: an expansion pushes
  // and pops several for every invocation.
  expansion_context *free_contexts;
  // A module line's header-name count met while looking ahead: it starts
  // when its keyword is read again, with this many lookaheads left.
  uint8_t looked_file_token;
  uint32_t looked_file_token_at;

  unsigned char *macro_buffer;
  uint32_t macro_buffer_length;

  // Narrow, UTF-8, char16, char32 and wide, in the CHARSET_* order.
  charset_converter converters[CHARSET_EXECUTION_COUNT];

  const unsigned char *date;
  const unsigned char *time;
  int64_t time_stamp;
  int time_stamp_kind;

  preproc_token padding_token;
  preproc_token endarg_token;

  dep_record *deps;

  obstack ident_nodes;
  obstack buffer_stack; // input buffers and conditional frames

  pragma_node *pragmas;
  reader_callbacks callbacks;
  ident_table *idents;

  void *op_stack;
  void *op_limit;

  cpp_reader_options options;
  special_nodes spec_nodes;
  bool owns_ident_table;

  uint32_t counter;
  comment_store comments;
  pushed_macro *pushed_macros;
  uint32_t macro_stack_changes; // push_macro and pop_macro runs that changed the list
  location_t forced_token_location;
  location_t main_location;

  // A fall-through comment seen and not yet attached to a token.
  bool fallthrough_pending;
  // Where the current directive's line ends: every EOF read in the
  // directive stands there.
  location_t directive_end;

  // The macro expander's own state.
  preproc_token handed_out[HANDED_OUT_SLOTS];
  uint32_t handed_out_next;
  uint32_t expansion_depth;
  // The stack that nested pre-expansion may use: the bounds of the thread's
  // stack it was measured for, and the floor it may not pass; the tokens of
  // the arguments whose pre-expansion is under way. Once a bound has been
  // reached, expansion stops until the outermost one is read out.
  uintptr_t argument_stack_low;
  uintptr_t argument_stack_high;
  uintptr_t argument_stack_floor;
  uint64_t argument_tokens_held;
  bool nested_expansion_stopped;
  bool ignore_pragma_operator;
  // The last token handed out and its location, for giving it back.
  const preproc_token *last_token;
  location_t last_location;
  // Tokens are read without running directives (raw token dumps).
  bool lex_only;

  // Traditional mode: the output line, and where the buffer that a
  // scanned-out directive line overlays stood.
  trad_output trad_out;
  const unsigned char *overlay_saved_cursor;
  const unsigned char *overlay_saved_limit;
  const unsigned char *overlay_saved_next_line;
  // A buffer's line notes point into its own text: while it is pointed at
  // made-up text the buffer has only this end note, and its own notes wait.
  saved_line_notes overlay_saved_notes;
  line_note made_up_text_end_note;

  // A deferred pragma met by a look-ahead: its state waits until its PRAGMA
  // token is read again for real.
  bool pragma_suspended;
  bool suspended_pragma_expands;
  // Likewise the end of the pragma line being read, met by a look-ahead: the
  // line's state lasts until its PRAGMA_EOL is read again.
  bool pragma_end_pending;
  bool pending_pragma_expands;
};

// The deleted-slot mark of the identifier table.
#define IDTAB_DELETED (reinterpret_cast<ident_node *>(~uintptr_t(0)))

// A macro definition: its replacement tokens follow the record; a
// traditional-mode definition keeps its replacement as text (kind 2).
enum : uint8_t { MACRO_KIND_TOKENS = 0, MACRO_KIND_ANSWER = 1, MACRO_KIND_TEXT = 2 };

struct macro_def {
  ident_node **parameters;
  location_t line;
  uint32_t count;
  uint16_t parameter_count;
  uint8_t lazy;
  uint8_t kind : 2;
  uint8_t function_like : 1;
  uint8_t variadic : 1;
  uint8_t system_header : 1;
  uint8_t used : 1;
  uint8_t extra_tokens : 1;
  uint8_t imported : 1;
  const unsigned char *text; // MACRO_KIND_TEXT
};

// A token definition's replacement tokens follow its record.
inline preproc_token *macro_tokens(macro_def *macro)
{
  return reinterpret_cast<preproc_token *>(macro + 1);
}
inline const preproc_token *macro_tokens(const macro_def *macro)
{
  return reinterpret_cast<const preproc_token *>(macro + 1);
}

struct builtin_macro_row {
  const char *name;
  uint32_t length;
  uint16_t kind;
  bool warn_if_redefined;
};

// The rows in the order reader set-up installs them.
extern const builtin_macro_row builtin_macro_rows[17];
enum : uint16_t {
  BT_LINE = 0,
  BT_DATE = 1,
  BT_FILE = 2,
  BT_FILE_NAME = 3,
  BT_BASE_FILE = 4,
  BT_INCLUDE_LEVEL = 5,
  BT_TIME = 6,
  BT_STDC = 7,
  BT_PRAGMA = 8,
  BT_TIMESTAMP = 9,
  BT_COUNTER = 10,
  BT_HAS_ATTRIBUTE = 11,
  BT_HAS_STD_ATTRIBUTE = 12,
  BT_HAS_BUILTIN = 13,
  BT_HAS_INCLUDE = 14,
  BT_HAS_INCLUDE_NEXT = 15,
};

// ---- Macro definitions (macro.cc) ----

// The parameter count of a definition is a 16-bit field.
enum : uint32_t { MAX_MACRO_PARAMETERS = 65535 };

// A definition's parameter, saved while its node is bound, in the reader's
// macro buffer.
struct saved_parameter {
  ident_node *node;
  uintptr_t value;
  uint8_t kind;
  ident_node *spelling; // as written: the definition's parameter
};

// Binds NODE as parameter INDEX (0-based) of the definition being read.
bool _cpp_bind_parameter(preprocessor_reader *reader, uint32_t index, ident_node *node,
                         ident_node *spelling);
// Gives the first COUNT bound nodes their meaning back.
void _cpp_unbind_parameters(preprocessor_reader *reader, uint32_t count);
// The spellings of the first COUNT bound parameters, into OUT.
void _cpp_copy_parameter_spellings(const preprocessor_reader *reader, uint32_t count,
                                   ident_node **out);

// Follows the __VA_OPT__ groups of a body token by token.
struct va_opt_tracker {
  preprocessor_reader *reader;
  bool variadic;
  bool last_was_paste;
  bool stringify;
  int state; // 0 outside, 1 after __VA_OPT__, 2 after its "(", 3+ inside
  location_t paste_location;
  location_t va_opt_location;
  int group_result;
};

enum va_opt_result {
  VA_OPT_ERROR = 0,
  VA_OPT_DROP = 1,
  VA_OPT_INCLUDE = 2,
  VA_OPT_BEGIN = 3,
  VA_OPT_END = 4,
};

va_opt_result va_opt_tracker_update(va_opt_tracker *tracker, const preproc_token *token);

// A new definition of KIND built in MEMORY, from the current directive.
macro_def *_cpp_macro_record_init(preprocessor_reader *reader, uint8_t kind, void *memory);
bool _cpp_define_macro(preprocessor_reader *reader, ident_node *node);
void _cpp_install_macro(preprocessor_reader *reader, ident_node *node, macro_def *macro);
void _cpp_forget_macro(ident_node *node);
// Finishes a lazy definition or obtains a deferred one (an IK_MACRO node
// without a definition); false when the client has none, and the node is
// plain from then on.
bool _cpp_complete_macro(preprocessor_reader *reader, ident_node *node, location_t location);
int _cpp_report_unused_macro(preprocessor_reader *reader, ident_node *node, void *data);
bool macros_differ(const macro_def *a, const macro_def *b);
// The replacement without the "##" tokens kept at its end.
uint32_t macro_body_count(const macro_def *macro);
const unsigned char *_cpp_builtin_macro_text(preprocessor_reader *reader, ident_node *node,
                                             location_t location);
int cpp_source_date(preprocessor_reader *reader, time_t *out);

// ---- Macro expansion (macro-expand.cc) ----

// What every read past the end of the input gives.
extern const preproc_token _cpp_input_end;
void _cpp_push_tokens(preprocessor_reader *reader, ident_node *macro, const preproc_token *tokens,
                      uint32_t count);
// A context over TEXT, whose byte at LENGTH is the newline that ends it.
void _cpp_push_text(preprocessor_reader *reader, ident_node *macro, const unsigned char *text,
                    uint64_t length);
bool _cpp_check_argument_count(preprocessor_reader *reader, const macro_def *macro,
                               const ident_node *node, uint32_t count);
void _cpp_pop_context(preprocessor_reader *reader);
uint32_t _cpp_remaining_tokens_num_in_context(const expansion_context *context);
// Pops every expansion context (a reader destroyed mid-expansion).
void _cpp_release_contexts(preprocessor_reader *reader);
// Steps the current context back COUNT tokens: one in a macro context,
// any number in the tokeniser's.
void _cpp_backup_tokens(preprocessor_reader *reader, uint32_t count);
// Gives TOKEN, the last one read, back to the expanded stream.
void _cpp_backup_expanded(preprocessor_reader *reader, const preproc_token *token);
bool _cpp_notify_macro_use(preprocessor_reader *reader, ident_node *node, location_t location);
// Gives back up to two tokens read, as copies that are not expanded again.
void _cpp_push_no_expand_copies(preprocessor_reader *reader, const preproc_token *const *tokens,
                                uint32_t count);
// Lexes one token from TEXT (which ends in a newline); false when the text
// was not used up.
bool _cpp_lex_text_token(preprocessor_reader *reader, const unsigned char *text, uint64_t length,
                         location_t location, preproc_token *out);
uint64_t _cpp_has_include(preprocessor_reader *reader, ident_node *node);
// "used outside of preprocessing directive", for a header query read where
// no directive is.
void _cpp_report_has_include_outside(preprocessor_reader *reader, const ident_node *node);
// The lexer's check of a __VA_OPT__ it has just scanned.
void check_va_opt_use(preprocessor_reader *reader);


// ---- Traditional mode (traditional.cc) ----

bool _cpp_read_logical_line_trad(preprocessor_reader *reader);
// False when the line was a directive, already run.
bool _cpp_scan_out_logical_line(preprocessor_reader *reader, macro_def *macro,
                                bool builtin_argument);
void _cpp_overlay_buffer(preprocessor_reader *reader, const unsigned char *text, uint64_t length);
void _cpp_remove_overlay(preprocessor_reader *reader);
// Before a directive runs: all but #define read the rest of their line as
// scanned out (expanded when EXPANDS), through an overlay.
void _cpp_prepare_directive_trad(preprocessor_reader *reader, bool is_define, bool expands,
                                 bool is_condition);
macro_def *_cpp_create_trad_definition(preprocessor_reader *reader);
bool _cpp_expansions_different_trad(const macro_def *a, const macro_def *b);
// The replacement text with the parameter names in their places.
uint64_t _cpp_replacement_text_len(const macro_def *macro);
unsigned char *_cpp_copy_replacement_text(const macro_def *macro, unsigned char *destination);

// ---- Diagnostics (errors.cc) ----

// Formats are printf's, which the compiler checks; the few calls that use the
// diagnostic engine's quoting directives switch the check off where they are.
#define VUZ_CPP_FORMAT(n, m) __attribute__((format(printf, n, m), nonnull(n)))
bool diag_error(preprocessor_reader *reader, int level, const char *format, ...)
    VUZ_CPP_FORMAT(3, 4);
bool diag_warning(preprocessor_reader *reader, int reason, const char *format, ...)
    VUZ_CPP_FORMAT(3, 4);
bool diag_pedwarning(preprocessor_reader *reader, int reason, const char *format, ...)
    VUZ_CPP_FORMAT(3, 4);
bool diag_warning_syshdr(preprocessor_reader *reader, int reason, const char *format, ...)
    VUZ_CPP_FORMAT(3, 4);
bool diag_warning_at_record(preprocessor_reader *reader, int reason, located_ranges *record,
                            const char *format, ...) VUZ_CPP_FORMAT(4, 5);
bool diag_pedwarning_at_record(preprocessor_reader *reader, int reason, located_ranges *record,
                               const char *format, ...) VUZ_CPP_FORMAT(4, 5);
bool diag_error_at_line(preprocessor_reader *reader, int level, location_t location,
                        uint32_t column, const char *format, ...) VUZ_CPP_FORMAT(5, 6);
bool diag_warning_at_line(preprocessor_reader *reader, int reason, location_t location,
                          uint32_t column, const char *format, ...) VUZ_CPP_FORMAT(5, 6);
bool diag_pedwarning_at_line(preprocessor_reader *reader, int reason, location_t location,
                             uint32_t column, const char *format, ...) VUZ_CPP_FORMAT(5, 6);
bool diag_warning_at_line_syshdr(preprocessor_reader *reader, int reason, location_t location,
                                 uint32_t column, const char *format, ...)
    VUZ_CPP_FORMAT(5, 6);
bool diag_error_at_location(preprocessor_reader *reader, int level, location_t location,
                            const char *format, ...) VUZ_CPP_FORMAT(4, 5);
bool diag_error_at_record(preprocessor_reader *reader, int level, located_ranges *record,
                          const char *format, ...) VUZ_CPP_FORMAT(4, 5);
bool diag_errno(preprocessor_reader *reader, int level, const char *text);
bool diag_errno_filename(preprocessor_reader *reader, int level, const char *file_name,
                         location_t location);

// ---- Identifiers (identifiers.cc) ----

void _cpp_identifiers_begin(preprocessor_reader *reader, ident_table *table);
// Whether TEXT spells one of C++'s named operators ("and", "bitor", ...).
bool _cpp_is_named_operator(const unsigned char *text, uint64_t length);
void _cpp_identifiers_end(preprocessor_reader *reader);
ident_node *_cpp_intern_identifier_text(preprocessor_reader *reader, const char *text);

// ---- Directives layer pieces (directives.cc) ----

void init_directive_names(preprocessor_reader *reader);
void _cpp_define_text_macro(preprocessor_reader *reader, const char *text, uint64_t length);
// Line-start "#": runs a directive; true when the line was consumed as one.
bool process_directive_line(preprocessor_reader *reader, bool indented);

// ---- Line preparation and lexer memory (line-prep.cc) ----

// The one way the library's growable arrays grow: ARRAY is reallocated to
// GROWN elements, which the caller computed by the array's own rule (each
// keeps its own first size and step), and *ALLOCATED becomes GROWN.
template <typename T, typename N> inline T *_cpp_grow_array(T *array, N *allocated, N grown)
{
  vuz_assert(grown > *allocated);
  *allocated = grown;
  return static_cast<T *>(checked_realloc(array, uint64_t(grown) * sizeof(T)));
}

void _cpp_prepare_line(preprocessor_reader *reader);
void _cpp_record_line_note(input_buffer *buffer, const unsigned char *position, uint32_t kind);
scratch_buffer *_cpp_scratch_take(preprocessor_reader *reader, uint64_t n);
void _cpp_scratch_release(preprocessor_reader *reader, scratch_buffer *chain);
void _cpp_scratch_free_chain(scratch_buffer *chain);
scratch_buffer *_cpp_scratch_grow_chained(preprocessor_reader *reader, scratch_buffer *block,
                                          uint64_t extra);
void _cpp_scratch_grow(preprocessor_reader *reader, scratch_buffer **block, uint64_t extra);
unsigned char *_cpp_pool_alloc(preprocessor_reader *reader, uint64_t n);
unsigned char *_cpp_pool_copy(preprocessor_reader *reader, const unsigned char *text,
                              uint64_t n);
unsigned char *_cpp_pool_alloc_aligned(preprocessor_reader *reader, uint64_t n);
unsigned char *_cpp_pool_commit(preprocessor_reader *reader, uint64_t n);
// The trigraph replacement of a third character, 0 for none.
unsigned char _cpp_trigraph_of(unsigned char c);
// A copy of `text` with a newline sentinel and the slack line preparation
// reads; the sentinel comes after its `length` bytes.
unsigned char *_cpp_copy_with_slack(const unsigned char *text, uint64_t length);

// ---- The tokeniser (lex.cc) ----

// The tokeniser's one-time set-up; reader_create runs it, and running it
// again changes nothing.
void _cpp_lexer_startup();
const preproc_token *_cpp_lex_token(preprocessor_reader *reader);
preproc_token *_cpp_scan_token(preprocessor_reader *reader);
bool _cpp_next_line(preprocessor_reader *reader);
preproc_token *_cpp_insert_temp_token(preprocessor_reader *reader);
void _cpp_token_block_init(token_block *block, uint32_t count);
// Steps the tokeniser back COUNT tokens, to be read again as lookaheads.
void _cpp_backup_lexed_tokens(preprocessor_reader *reader, uint32_t count);
// The current line of the line table and moving to the next one.
uint32_t _cpp_current_line(preprocessor_reader *reader);
void _cpp_advance_line(preprocessor_reader *reader, uint32_t columns);
location_t _cpp_column_location(preprocessor_reader *reader, const unsigned char *position);

// ---- Lexer extras (lex-extras.cc) ----

bool _cpp_skip_c_comment(preprocessor_reader *reader);
bool skip_cxx_comment(preprocessor_reader *reader);
bool is_fallthrough_comment(preprocessor_reader *reader, const unsigned char *start);
void keep_comment(preprocessor_reader *reader, preproc_token *token,
                  const unsigned char *start, unsigned char kind);
void _cpp_process_line_notes(preprocessor_reader *reader, bool in_comment);
void _cpp_lex_raw_string(preprocessor_reader *reader, preproc_token *token,
                         const unsigned char *base);
const unsigned char *_cpp_literal_suffix(preprocessor_reader *reader, preproc_token *token,
                                         const unsigned char *cur);

// ---- Identifier characters (identifier-chars.cc) ----

// Normalization state of one identifier.
struct normalization_state {
  uint32_t previous;
  uint8_t previous_class;
  int32_t level;
};

enum { IDENT_IN_LITERAL = 0, IDENT_AT_START = 1, IDENT_INSIDE = 2 };

// Results of ucn_identifier_validity.
enum { UCN_INVALID = 0, UCN_ANYWHERE = 1, UCN_NOT_AT_START = 2 };

// False when PREVIOUS followed by C has a primary composite, so the pair is
// not in form C; C must be one of the combining characters of such pairs.
bool nfc_pair_allowed(preprocessor_reader *reader, uint32_t c, uint32_t previous);

// A '$' taken into an identifier: warned about once under -pedantic.
void _cpp_accept_dollar(preprocessor_reader *reader, normalization_state *state);
// Whether the dialect lets C into an identifier (a UCN_* result); an
// allowed C moves *state on.
int ucn_identifier_validity(preprocessor_reader *reader, uint32_t c, normalization_state *state);
bool _cpp_valid_ucn(preprocessor_reader *reader, const unsigned char **cursor,
                    const unsigned char *limit, int position, normalization_state *state,
                    uint32_t *code_point);
bool decode_utf8_identifier_char(preprocessor_reader *reader, const unsigned char **cursor,
                                 const unsigned char *limit, int position,
                                 normalization_state *state, uint32_t *code_point);

// The warning for an identifier that left the form -Wnormalized= asks for.
void check_normalization(preprocessor_reader *reader, const preproc_token *token,
                         const normalization_state *state);

// ---- Conditional expressions (expr.cc) ----

// The controlling expression of #if (is_if) or #elif, read to the end of the
// directive: whether it is non-zero. Every error makes it false.
bool parse_condition(preprocessor_reader *reader, bool is_if);
// The same with the value itself; false after an error.
bool _cpp_evaluate_expr(preprocessor_reader *reader, bool is_if, expr_value *value);
void _cpp_free_expr_stack(preprocessor_reader *reader);
// Brings the #if precision into 1..128 (called when options are posted).
void _cpp_check_expr_precision(preprocessor_reader *reader);

// ---- Bidirectional controls (bidi.cc) ----

enum bidi_kind : uint32_t {
  BIDI_NONE = 0,
  BIDI_LRE = 1,
  BIDI_RLE = 2,
  BIDI_LRO = 3,
  BIDI_RLO = 4,
  BIDI_LRI = 5,
  BIDI_RLI = 6,
  BIDI_FSI = 7,
  BIDI_PDF = 8,
  BIDI_PDI = 9,
  BIDI_LRM = 10,
  BIDI_RLM = 11,
};

void bidi_reset();
bidi_kind bidi_kind_of_utf8(preprocessor_reader *reader, const unsigned char *position,
                            location_t *location);
bidi_kind bidi_kind_of_ucn(preprocessor_reader *reader, const unsigned char *position,
                           bool is_u, location_t *location);
void bidi_check_char(preprocessor_reader *reader, bidi_kind kind, bool ucn, location_t location);
void bidi_check_close(preprocessor_reader *reader, const unsigned char *position);
const char *bidi_kind_text(bidi_kind kind);

inline bool bidi_checks_on(const preprocessor_reader *reader)
{
  return (reader->options.bidi_warning_mode & (BIDI_WARN_UNPAIRED | BIDI_WARN_ANY)) != 0;
}

// ---- Spelling (spelling.cc) ----

// Returns the end of what it wrote.
unsigned char *_cpp_write_ident_as_ucns(unsigned char *destination, const ident_node *node);
uint32_t utf8_to_ucn(unsigned char *destination, const unsigned char *source);
bool _cpp_tokens_equal(const preproc_token *a, const preproc_token *b);
bool number_is_identifier(preprocessor_reader *reader, const unsigned char *text);
const char *cpp_digraph_spelling(int kind);

// ---- Files (files.cc) ----

// A file the reader has read. The include layer adds its lookup data.
struct source_file {
  const char *name; // owned: the name as written
  source_file *next;
  char *path;                     // owned; null when the file was not found
  search_dir *directory;          // where it was found
  char *pch_path;                 // owned: the valid precompiled header standing for it
  int pch_fd;                     // open on pch_path; meaningful only while that is set
  ident_node *controlling_macro;  // the include guard around the whole file
  struct stat info;                // of the file found
  int error;
  uint16_t stack_count;
  bool once_only;
  bool must_not_read;  // reading it failed and was reported
  bool pre_included;   // read for an optional default include, or from one
  uint8_t header_unit; // a header_unit_state
};

enum header_unit_state : uint8_t {
  HEADER_UNIT_UNDECIDED = 0,
  HEADER_UNIT_YES = 1,
  HEADER_UNIT_NO = 2,
};

enum include_kind : int {
  INCLUDE_PLAIN = 0,
  INCLUDE_NEXT = 1,
  INCLUDE_IMPORT = 2,
  INCLUDE_COMMAND_LINE = 3,
  INCLUDE_DEFAULT = 4,
  INCLUDE_MAIN = 5,
  INCLUDE_INJECTED_MAIN = 6,
};

// How find_file looks: a fake lookup records the name without searching; a
// missing optional file gives no record; a probe reports nothing.
enum lookup_kind : int {
  LOOKUP_NORMAL = 0,
  LOOKUP_FAKE = 1,
  LOOKUP_OPTIONAL = 2,
  LOOKUP_PROBE = 3,
};

const char *source_file_path(const source_file *file);
input_buffer *current_file_buffer(preprocessor_reader *reader);
search_dir *make_search_dir(preprocessor_reader *reader, const char *name, uint8_t system_kind);

// A directory's file-name remap table, read from its "header.vuz": pairs of
// {name as written, path to use} ended by a null.
struct remap_table {
  remap_table *next; // the reader's list of tables it owns
  char **pairs;
  uint64_t count;    // pairs held
};
// Reads the remap lines of STREAM for DIRECTORY (relative replacements are
// joined to it). The stream is untrusted: any bytes give some table.
remap_table *_cpp_read_remap_table(FILE *stream, const char *directory);
void _cpp_free_remap_table(remap_table *table);
// The replacement listed for NAME, or null.
const char *_cpp_remap_lookup(const remap_table *table, const char *name);
bool push_source_file(preprocessor_reader *reader, source_file *file, int kind,
                      location_t location);
// Preprocessed input needs no trigraph or splice processing.
bool _cpp_input_is_stage3(const preprocessor_reader *reader);
bool push_included_file(preprocessor_reader *reader, const char *name, bool angled, int kind,
                        location_t location);
bool has_header(preprocessor_reader *reader, const char *name, bool angled, int kind,
                location_t location);
// The path of the header an import names at LOCATION, made once-only; null
// (after a report there) when it is missing.
const char *locate_header_unit(preprocessor_reader *reader, const char *name, bool angled,
                               location_t location);
void set_once_only(preprocessor_reader *reader, source_file *file);
void release_file_text(preprocessor_reader *reader, source_file *file, void *block);
void init_file_cache(preprocessor_reader *reader);
void cleanup_file_cache(preprocessor_reader *reader);
// The main file looked up from CHAIN as any file is (an empty name is the
// standard input); null after its absence was reported.
source_file *_cpp_find_main_file(preprocessor_reader *reader, const char *name,
                                 search_dir *chain);
// Enters a file a linemarker names into the cache, without reading it.
void record_linemarker_file(preprocessor_reader *reader, const char *name);
// The bytes left in STREAM, or UINT64_MAX when it cannot tell: stored
// tables are checked against it before anything is allocated.
uint64_t _cpp_stream_bytes_left(FILE *stream);
// The dependency record, created on first use.
dep_record *_cpp_deps(preprocessor_reader *reader);

// ---- Directives (directives.cc) and pragmas (pragmas.cc) ----

ident_node *read_macro_name(preprocessor_reader *reader, bool define_or_undef);
void _cpp_undefine(preprocessor_reader *reader, ident_node *node);
void _cpp_skip_rest_of_line(preprocessor_reader *reader);
void _cpp_check_eol(preprocessor_reader *reader);
char *_cpp_parse_header_name(preprocessor_reader *reader, const char *directive_name,
                             bool *angled, location_t *location);
// The operand of __has_include: null, after an error, when it is no
// header name; LOCATION gets where the name stands.
char *_cpp_has_include_operand(preprocessor_reader *reader, const char *operator_name,
                               bool *angled, location_t *location);
void directive_pragma(preprocessor_reader *reader);
// On an import control line, the header name becomes one HEADER_NAME token
// of the header unit's path ("./" before a relative one).
const preproc_token *_cpp_module_header_name(preprocessor_reader *reader,
                                             const preproc_token *token);
bool do_pragma_operator(preprocessor_reader *reader, location_t location);
void _cpp_free_pushed_macros(preprocessor_reader *reader);
void register_internal_pragmas(preprocessor_reader *reader);
// -1 when the header is missing, 1 when it is newer than the current file.
int header_newer_than_current(preprocessor_reader *reader, const char *name, bool angled);

// The directives in their table's order.
enum directive_index : uint32_t {
  D_DEFINE, D_INCLUDE, D_ENDIF, D_IFDEF, D_IF, D_ELSE, D_IFNDEF, D_UNDEF, D_LINE, D_ELIF,
  D_ELIFDEF, D_ELIFNDEF, D_ERROR, D_PRAGMA, D_WARNING, D_INCLUDE_NEXT, D_IDENT, D_IMPORT,
  D_ASSERT, D_UNASSERT, D_SCCS, D_LINEMARKER, D_COUNT
};

// ---- Assertions (assertions.cc) ----

// One answer of a predicate: a token sequence.
struct assertion_answer {
  assertion_answer *next;
  uint32_t count;
  preproc_token tokens[1]; // count of them
};

// Reads a predicate and its parenthesised answer for directive INDEX
// (D_ASSERT, D_UNASSERT, or D_IF for the "#" operand of #if and #elif):
// the predicate node ("#name"), its answer in *ANSWER (null when none was
// given, which only #unassert and #if allow), or null after an error.
ident_node *read_assertion(preprocessor_reader *reader, directive_index index,
                           assertion_answer **answer);
// Runs #assert or #unassert on the rest of the directive.
void _cpp_do_assertion(preprocessor_reader *reader, bool assert);
// After the "#" of an #if operand: whether the predicate (with its answer,
// when given) holds; true when the assertion could not be read.
bool assertion_holds(preprocessor_reader *reader, bool *result);

// Runs directive INDEX over TEXT. A deferred pragma run so leaves its tokens
// in COLLECTED (when given; a heap array).
struct pragma_tokens {
  preproc_token *tokens;
  uint32_t count;
};
void run_directive_text(preprocessor_reader *reader, directive_index index, const char *text,
                             uint64_t length, pragma_tokens *collected);


// Stacks a heap block that already ends in the sentinel and slack; the
// buffer frees it when popped.
input_buffer *_cpp_buffer_push_block(preprocessor_reader *reader, unsigned char *block,
                                     const unsigned char *text, uint64_t length,
                                     bool from_stage3);

// The reporter through which character-set conversion reports to the reader.
charset_reporter _cpp_charset_reporter(preprocessor_reader *reader);

#endif
