// The reader: creation with each dialect's defaults, option reconciliation,
// the standard built-in macros, the main file, and the end of a run.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

struct dialect_features {
  const char *name;
  uint8_t flags[19];
};

static const dialect_features language_feature_table[DIALECT_COUNT] = {
#define DIALECT(name, text, ...) {text, {__VA_ARGS__}},
#include "libsprenk/dialects.def"
#undef DIALECT
};

const builtin_macro_row builtin_macro_rows[17] = {
    {"__TIMESTAMP__", 13, 9, false},      {"__TIME__", 8, 6, false},
    {"__DATE__", 8, 1, false},            {"__FILE__", 8, 2, false},
    {"__FILE_NAME__", 13, 3, false},      {"__BASE_FILE__", 13, 4, false},
    {"__LINE__", 8, 0, true},             {"__INCLUDE_LEVEL__", 17, 5, true},
    {"__COUNTER__", 11, 10, true},        {"__has_attribute", 15, 11, true},
    {"__has_c_attribute", 17, 12, true},  {"__has_cpp_attribute", 19, 11, true},
    {"__has_builtin", 13, 13, true},      {"__has_include", 13, 14, true},
    {"__has_include_next", 18, 15, true}, {"_Pragma", 7, 8, true},
    {"__STDC__", 8, 7, true},
};

// Rows up to __has_include_next, then _Pragma, then __STDC__.
enum { BUILTIN_ROWS_TRADITIONAL = 15, BUILTIN_ROWS_PRAGMA = 16, BUILTIN_ROWS_ALL = 17 };

struct named_operator {
  const char *name;
  uint32_t length;
  token_kind kind;
};

static const named_operator named_operators[11] = {
    {"and", 3, TK_AND_AND},    {"and_eq", 6, TK_AND_EQ}, {"bitand", 6, TK_AND},
    {"bitor", 5, TK_OR},       {"compl", 5, TK_COMPL},   {"not", 3, TK_NOT},
    {"not_eq", 6, TK_NOT_EQ},  {"or", 2, TK_OR_OR},      {"or_eq", 5, TK_OR_EQ},
    {"xor", 3, TK_XOR},        {"xor_eq", 6, TK_XOR_EQ},
};

const char *named_operator_spelling(token_kind kind)
{
  for (const named_operator &row : named_operators)
    if (row.kind == kind)
      return row.name;
  return nullptr;
}

bool _cpp_is_named_operator(const unsigned char *text, uint64_t length)
{
  for (const named_operator &row : named_operators)
    if (strlen(row.name) == length && memcmp(row.name, text, length) == 0)
      return true;
  return false;
}

bool dialect_by_name(const char *text, source_dialect *out)
{
  for (int i = 0; i < DIALECT_COUNT; i++) {
    if (strcmp(language_feature_table[i].name, text) == 0) {
      *out = source_dialect(i);
      return true;
    }
  }
  return false;
}

const char *dialect_name(source_dialect dialect)
{
  return language_feature_table[dialect].name;
}

void reader_set_language(preprocessor_reader *reader, source_dialect dialect)
{
  cpp_reader_options *o = &reader->options;
  const uint8_t *f = language_feature_table[dialect].flags;
  o->language = dialect;
  o->c99_mode = f[0];
  o->cplusplus_mode = f[1];
  o->extended_number_forms = f[2];
  o->ucn_identifiers = f[3];
  o->c11_identifier_set = f[4];
  o->strict_iso = f[5];
  o->digraph_tokens = f[6];
  o->unicode_literal_prefixes = f[7];
  o->raw_string_literals = f[8];
  o->user_defined_literals = f[9];
  o->binary_literals = f[10];
  o->digit_separator_quotes = f[11];
  o->trigraph_sequences = f[12];
  o->utf8_char_prefix = f[13];
  o->va_opt_support = f[14];
  o->scope_token = f[15];
  o->decimal_float_suffixes = f[16];
  o->size_t_suffixes = f[17];
  o->elifdef_directives = f[18];
}

void reader_set_line_table(preprocessor_reader *reader, linemap_set *line_table)
{
  reader->line_table = line_table;
}

static void set_option_defaults(cpp_reader_options *o)
{
  o->drop_comments = 1;
  o->drop_comments_in_macros = 1;
  o->max_include_depth = 200;
  o->warn_trigraph_use = 2;
  o->warn_multichar_constants = 1;
  o->warn_c90_c99_compat = -1;
  o->warn_c11_c2x_compat = -1;
  o->warn_deprecated_extensions = 1;
  o->warn_endif_tokens = 1;
  o->dollars_in_identifiers = 1;
  o->warn_dollar_signs = 1;
  o->warn_variadic = 1;
  o->warn_builtin_redefinition = 1;
  o->macro_expansion_tracking = 2;
  o->operator_name_keywords = 1;
  o->normalization_warning_level = 1;
  o->warn_literal_suffix_space = 1;
  o->canonical_system_headers = 1;
  o->extended_numeric_suffixes = 1;
  o->bidi_warning_mode = BIDI_WARN_UNPAIRED;
  o->precision = 64;
  o->char_precision = 8;
  o->int_precision = 32;
  o->wchar_precision = 32;
  o->unsigned_wchar = 1;
  o->bytes_big_endian = 1;
  o->narrow_charset_name = "UTF-8";
  o->input_charset_name = "UTF-8";
  o->tab_stop = 8;
}

preprocessor_reader *reader_create(source_dialect dialect, ident_table *table,
                                   linemap_set *line_table)
{
  _cpp_lexer_startup();
  preprocessor_reader *reader = checked_new_cleared<preprocessor_reader>();
  reader_set_language(reader, dialect);
  set_option_defaults(&reader->options);
  reader->no_search_path.name = "";
  reader->line_table = line_table;
  reader->state.save_comments = !reader->options.drop_comments;

  reader->padding_token.kind = TK_PADDING;
  reader->endarg_token.kind = TK_EOF;

  _cpp_token_block_init(&reader->base_run, TOKEN_BLOCK_SIZE);
  reader->cur_run = &reader->base_run;
  reader->cur_token = reader->base_run.first;
  reader->context = &reader->base_context;

  reader->text_pool = _cpp_scratch_take(reader, 0);
  reader->record_pool = _cpp_scratch_take(reader, 0);

  reader->time_stamp = -1;
  obstack_init_malloc(&reader->buffer_stack);
  init_file_cache(reader);
  _cpp_identifiers_begin(reader, table);
  register_internal_pragmas(reader);
  return reader;
}

// Enters one module keyword pair: the spelling the lexer meets, marked, and
// the one a control line hands on, with a trailing blank that no source
// text can produce.
static void enter_module_keyword(preprocessor_reader *reader, int i, const char *spelling)
{
  uint32_t length = uint32_t(strlen(spelling));
  ident_node *outgoing = cpp_intern(reader, spelling, length);
  ident_node *incoming = cpp_intern(reader, spelling, length - 1);
  incoming->flags |= IDF_MODULE_KEYWORD;
  reader->spec_nodes.module_in[i] = incoming;
  reader->spec_nodes.module_out[i] = outgoing;
}

static void mark_named_operators(preprocessor_reader *reader)
{
  cpp_reader_options *o = &reader->options;
  uint32_t mark = o->cplusplus_mode && o->operator_name_keywords ? IDF_NAMED_OPERATOR : 0;
  if (o->warn_operator_names)
    mark += IDF_CHECK_ON_LEX | IDF_OPERATOR_IN_C;
  if (mark == 0)
    return;
  for (const named_operator &row : named_operators) {
    ident_node *node = cpp_intern(reader, row.name, row.length);
    node->is_directive = 0;
    node->index = row.kind;
    node->flags += mark;
  }
}

void reader_post_options(preprocessor_reader *reader)
{
  cpp_reader_options *o = &reader->options;
  if (o->cplusplus_mode)
    o->warn_traditional_c = 0;
  if (o->preprocessed_input) {
    if (!o->directives_only)
      reader->state.prevent_expansion = 1;
    o->traditional_mode = 0;
  }
  // The client sets its options after creation: comments it asked to keep
  // are kept from the first line on.
  reader->state.save_comments = !o->drop_comments;
  if (o->warn_trigraph_use == 2)
    o->warn_trigraph_use = !o->trigraph_sequences;
  if (o->traditional_mode) {
    o->trigraph_sequences = 0;
    o->warn_trigraph_use = 0;
  }
  if (o->module_support) {
    enter_module_keyword(reader, MODULE_EXPORT, "export ");
    enter_module_keyword(reader, MODULE_MODULE, "module ");
    enter_module_keyword(reader, MODULE_IMPORT, "import ");
    ident_node *underscore_import = cpp_intern(reader, "__import", 8);
    underscore_import->flags |= IDF_MODULE_KEYWORD;
    reader->spec_nodes.module_in[MODULE_UNDERSCORE_IMPORT] =
        reader->spec_nodes.module_out[MODULE_UNDERSCORE_IMPORT] = underscore_import;
  }
  mark_named_operators(reader);
  _cpp_check_expr_precision(reader);
}

// ---- Built-in macros ----

static bool builtin_row_wanted(preprocessor_reader *reader, const builtin_macro_row &row)
{
  bool has_attribute_kind = row.kind >= BT_HAS_ATTRIBUTE && row.kind <= BT_HAS_BUILTIN;
  // A client that answers no built-in query leaves __has_builtin undefined,
  // so that testing for it first still works.
  return !has_attribute_kind ||
         (reader->options.language != DIALECT_ASM && reader->callbacks.has_attribute &&
          (row.kind != BT_HAS_BUILTIN || reader->callbacks.has_builtin));
}

static void enter_builtin_row(preprocessor_reader *reader, const builtin_macro_row &row)
{
  ident_node *node = cpp_intern(reader, row.name, row.length);
  node->kind = IK_BUILTIN;
  node->value.builtin = row.kind;
  if (row.warn_if_redefined)
    node->flags |= IDF_WARN_ON_CHANGE;
}

static bool stdc_is_builtin(const cpp_reader_options *o)
{
  return o->stdc_zero_in_system_headers && !o->strict_iso;
}

void define_special_builtins(preprocessor_reader *reader)
{
  const cpp_reader_options *o = &reader->options;
  int rows = o->traditional_mode ? BUILTIN_ROWS_TRADITIONAL
             : stdc_is_builtin(o) ? BUILTIN_ROWS_ALL
                                  : BUILTIN_ROWS_PRAGMA;
  for (int i = 0; i < rows; i++)
    if (builtin_row_wanted(reader, builtin_macro_rows[i]))
      enter_builtin_row(reader, builtin_macro_rows[i]);
}

void reenter_builtin_row(preprocessor_reader *reader, const char *name)
{
  size_t length = strlen(name);
  for (int i = 0; i < BUILTIN_ROWS_PRAGMA; i++) {
    const builtin_macro_row &row = builtin_macro_rows[i];
    if (row.length == length && memcmp(row.name, name, length) == 0) {
      if (builtin_row_wanted(reader, row))
        enter_builtin_row(reader, row);
      return;
    }
  }
}

static const char *cplusplus_value(source_dialect dialect)
{
  switch (dialect) {
  case DIALECT_KAVXX11: case DIALECT_CXX11: return "__cplusplus 201103L";
  case DIALECT_KAVXX14: case DIALECT_CXX14: return "__cplusplus 201402L";
  case DIALECT_KAVXX17: case DIALECT_CXX17: return "__cplusplus 201703L";
  case DIALECT_KAVXX20: case DIALECT_CXX20: return "__cplusplus 202002L";
  case DIALECT_KAVXX23: case DIALECT_CXX23: return "__cplusplus 202100L";
  default: return "__cplusplus 199711L";
  }
}

static const char *c_version_value(source_dialect dialect, bool c99)
{
  switch (dialect) {
  case DIALECT_KAV11: case DIALECT_STDC11: return "__STDC_VERSION__ 201112L";
  case DIALECT_KAV17: case DIALECT_STDC17: return "__STDC_VERSION__ 201710L";
  case DIALECT_KAV2X: case DIALECT_STDC2X: return "__STDC_VERSION__ 202000L";
  case DIALECT_STDC94: return "__STDC_VERSION__ 199409L";
  case DIALECT_ASM: return "__ASSEMBLER__ 1";
  default: return c99 ? "__STDC_VERSION__ 199901L" : nullptr;
  }
}

void define_standard_builtins(preprocessor_reader *reader, bool hosted)
{
  const cpp_reader_options *o = &reader->options;
  source_dialect dialect = source_dialect(o->language);
  define_special_builtins(reader);
  if (!o->traditional_mode && !stdc_is_builtin(o))
    define_builtin_text(reader, "__STDC__ 1");
  if (o->cplusplus_mode) {
    define_builtin_text(reader, cplusplus_value(dialect));
  } else if (const char *version = c_version_value(dialect, o->c99_mode)) {
    define_builtin_text(reader, version);
  }
  if (o->unicode_literal_prefixes && dialect != DIALECT_KAVXX98 && dialect != DIALECT_CXX98) {
    define_builtin_text(reader, "__STDC_UTF_16__ 1");
    define_builtin_text(reader, "__STDC_UTF_32__ 1");
  }
  define_builtin_text(reader, hosted ? "__STDC_HOSTED__ 1" : "__STDC_HOSTED__ 0");
  if (o->objc_mode)
    define_builtin_text(reader, "__OBJC__ 1");
}

// ---- The main file and the end of a run ----

// Whether the next line of the buffer starts as a linemarker for line 0 or
// 1 does: "#", a blank, '0' or '1' and a blank.
static bool starts_linemarker(const input_buffer *buffer)
{
  const unsigned char *p = buffer->next_line;
  return buffer->limit - p > 4 && p[0] == '#' && p[1] == ' ' && (p[2] == '0' || p[2] == '1') &&
         p[3] == ' ';
}

// A second linemarker naming, with two trailing slashes, the directory the
// input was preprocessed in goes to the client; any other line is read again.
static void read_preprocessed_origin(preprocessor_reader *reader)
{
  if (!starts_linemarker(reader->buffer))
    return;
  _cpp_scan_token(reader);
  // The name is read inside the directive too: a linemarker without one
  // ends at its newline and must not take the next line's string.
  reader->state.in_directive = DIRECTIVE_LINE;
  _cpp_scan_token(reader);
  const preproc_token *name = _cpp_scan_token(reader);
  reader->state.in_directive = DIRECTIVE_NONE;
  const unsigned char *text = name->value.str.text;
  uint32_t length = name->kind == TK_STRING ? name->value.str.length : 0;
  if (length < 5 || text[length - 2] != '/' || text[length - 3] != '/') {
    _cpp_backup_lexed_tokens(reader, 3);
    return;
  }
  if (reader->callbacks.dir_change) {
    char *directory = checked_strndup(reinterpret_cast<const char *>(text + 1), length - 4);
    reader->callbacks.dir_change(reader, directory);
    free(directory);
  }
}

// The newest map, a verbatim rename made by the first linemarker, replaces
// the one the file was entered with.
static void merge_first_linemarker_map(preprocessor_reader *reader)
{
  linemap_set *set = reader->line_table;
  if (set->ordinary_used < 2)
    return;
  ordinary_map *newest = &set->ordinary_maps[set->ordinary_used - 1];
  ordinary_map *previous = newest - 1;
  if (newest->reason != LC_RENAME_VERBATIM)
    return;
  location_t start = previous->start;
  uint8_t reason = previous->reason;
  *previous = *newest;
  previous->start = start;
  previous->reason = reason;
  set->ordinary_used--;
  set->top_location = set->line_start_location = start;
  set->ordinary_cache = 0;
}

// Preprocessed input names its own file and line in its first linemarker.
static void read_preprocessed_start(preprocessor_reader *reader)
{
  if (starts_linemarker(reader->buffer)) {
    const preproc_token *hash = _cpp_scan_token(reader);
    if (process_directive_line(reader, (hash->flags & TOK_SPACE_BEFORE) != 0)) {
      read_preprocessed_origin(reader);
      merge_first_linemarker_map(reader);
      return;
    }
  }
  ordinary_map *map = &reader->line_table->ordinary_maps[reader->line_table->ordinary_used - 1];
  map->first_line = 1;
  enter_file_change(reader, LC_RENAME_VERBATIM, map->file_name, 1, map->in_system_header);
}

// The chain the main file is looked up in; an absolute name is looked up
// as it stands.
static search_dir *main_file_chain(preprocessor_reader *reader, const char *name)
{
  search_dir *chain = nullptr;
  if (reader->options.preprocessed_input || name[0] == '/')
    chain = nullptr;
  else if (reader->options.main_search == 3)
    chain = reader->bracket_include;
  else if (reader->options.main_search == 2)
    chain = reader->quote_include;
  return chain ? chain : &reader->no_search_path;
}

const char *open_main_file(preprocessor_reader *reader, const char *name, bool injecting)
{
  if (reader->options.deps_style)
    deps_add_implicit_target(_cpp_deps(reader), name);
  source_file *file = _cpp_find_main_file(reader, name, main_file_chain(reader, name));
  if (file == nullptr)
    return nullptr;
  reader->main_file = file;
  bool injected = injecting || reader->options.preprocessed_input;
  if (!push_source_file(reader, file, injected ? INCLUDE_INJECTED_MAIN : INCLUDE_MAIN, 0))
    return nullptr;
  if (reader->options.preprocessed_input)
    read_preprocessed_start(reader);
  const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
  reader->main_location = map->start;
  return map->file_name;
}

location_t main_file_location(preprocessor_reader *reader)
{
  return reader->main_location;
}

// Dependency lines are wrapped to fit this many columns.
enum { DEPS_LINE_COLUMNS = 72 };

void reader_finish(preprocessor_reader *reader, FILE *deps_stream)
{
  if (reader->options.warn_unused_macro)
    cpp_each_identifier(reader, _cpp_report_unused_macro, nullptr);
  while (reader->buffer)
    buffer_pop(reader);
  if (deps_stream)
    deps_print(reader, deps_stream, DEPS_LINE_COLUMNS);
  if (reader->options.list_included_files)
    list_unguarded_headers(reader, stderr);
}

static void free_token_runs(preprocessor_reader *reader)
{
  token_block *run = reader->base_run.next;
  while (run) {
    token_block *next = run->next;
    free(run->first);
    free(run);
    run = next;
  }
  free(reader->base_run.first);
}

void reader_destroy(preprocessor_reader *reader)
{
  _cpp_release_contexts(reader);
  while (reader->buffer)
    buffer_pop(reader);
  _cpp_free_expr_stack(reader);
  close_converters(reader);
  free(reader->trad_out.base);
  free(reader->macro_buffer);
  obstack_free_to(&reader->buffer_stack, nullptr);
  _cpp_identifiers_end(reader);
  cleanup_file_cache(reader);
  _cpp_free_pushed_macros(reader);
  deps_destroy(reader->deps);
  _cpp_scratch_free_chain(reader->free_scratch);
  _cpp_scratch_free_chain(reader->text_pool);
  _cpp_scratch_free_chain(reader->record_pool);
  free_token_runs(reader);
  for (uint32_t i = 0; i < reader->comments.count; i++)
    free(reader->comments.entries[i].text);
  free(reader->comments.entries);
  free(reader);
}
