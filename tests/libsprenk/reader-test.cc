// The reader: each dialect's defaults and standard built-ins, option
// reconciliation, the diagnostic entries, the buffer stack and the
// definitions made from client texts.
#include "tests/common/temp-dir.h"
#include "tests/libsprenk/preprocessor-fixture.h"

#include <fstream>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The value text of a macro defined from a client text, or "-" when the
// name is no such macro.
std::string macro_text(pp_fixture &f, const char *name)
{
  ident_node *node = idtab_find(f.reader->idents, name, uint32_t(strlen(name)), IDTAB_FIND_ONLY);
  if (node == nullptr || node->kind != IK_MACRO)
    return "-";
  // The definition reads "NAME VALUE".
  std::string text = reinterpret_cast<const char *>(cpp_macro_text(f.reader, node));
  size_t value = strlen(name) + 1;
  return value < text.size() ? text.substr(value) : "";
}

bool is_builtin(pp_fixture &f, const char *name)
{
  ident_node *node = idtab_find(f.reader->idents, name, uint32_t(strlen(name)), IDTAB_FIND_ONLY);
  return node != nullptr && node->kind == IK_BUILTIN;
}

int has_attribute(preprocessor_reader *, bool)
{
  return 0;
}

TEST(Reader, StandardBuiltinsByDialect)
{
  struct {
    source_dialect dialect;
    const char *version;     // __STDC_VERSION__
    const char *cplusplus;   // __cplusplus
    const char *utf16;       // __STDC_UTF_16__
  } cases[] = {
      {DIALECT_KAV89, "-", "-", "-"},
      {DIALECT_KAV99, "199901L", "-", "1"},
      {DIALECT_STDC94, "199409L", "-", "-"},
      {DIALECT_STDC11, "201112L", "-", "1"},
      {DIALECT_KAV17, "201710L", "-", "1"},
      {DIALECT_STDC2X, "202000L", "-", "1"},
      {DIALECT_KAVXX98, "-", "199711L", "-"},
      {DIALECT_CXX98, "-", "199711L", "-"},
      {DIALECT_KAVXX11, "-", "201103L", "1"},
      {DIALECT_CXX14, "-", "201402L", "1"},
      {DIALECT_CXX17, "-", "201703L", "1"},
      {DIALECT_KAVXX20, "-", "202002L", "1"},
      {DIALECT_CXX23, "-", "202100L", "1"},
      {DIALECT_ASM, "-", "-", "-"},
  };
  for (const auto &c : cases) {
    pp_fixture f(c.dialect);
    define_standard_builtins(f.reader, true);
    EXPECT_EQ(macro_text(f, "__STDC_VERSION__"), c.version) << dialect_name(c.dialect);
    EXPECT_EQ(macro_text(f, "__cplusplus"), c.cplusplus) << dialect_name(c.dialect);
    EXPECT_EQ(macro_text(f, "__STDC_UTF_16__"), c.utf16) << dialect_name(c.dialect);
    EXPECT_EQ(macro_text(f, "__STDC__"), "1");
    EXPECT_EQ(macro_text(f, "__STDC_HOSTED__"), "1");
    EXPECT_TRUE(is_builtin(f, "__LINE__"));
    EXPECT_TRUE(is_builtin(f, "_Pragma"));
  }
}

TEST(Reader, CplusplusDialectsWithUnicodePrefixesForced)
{
  pp_fixture f(DIALECT_CXX98);
  f.options()->unicode_literal_prefixes = 1;
  define_standard_builtins(f.reader, false);
  EXPECT_EQ(macro_text(f, "__STDC_UTF_16__"), "-");
  EXPECT_EQ(macro_text(f, "__STDC_HOSTED__"), "0");
}

TEST(Reader, AssemblerDefaults)
{
  pp_fixture f(DIALECT_ASM);
  callbacks_of(f.reader)->has_attribute = has_attribute;
  const cpp_reader_options *o = f.options();
  EXPECT_EQ(o->extended_number_forms, 1);
  EXPECT_EQ(o->c99_mode + o->cplusplus_mode + o->digraph_tokens + o->trigraph_sequences +
                o->ucn_identifiers + o->scope_token,
            0);
  define_standard_builtins(f.reader, true);
  EXPECT_EQ(macro_text(f, "__ASSEMBLER__"), "1");
  EXPECT_FALSE(is_builtin(f, "__has_attribute"));
  EXPECT_FALSE(is_builtin(f, "__has_builtin"));
}

TEST(Reader, HasAttributeBuiltinsNeedTheCallback)
{
  pp_fixture without(DIALECT_KAV17);
  define_standard_builtins(without.reader, true);
  EXPECT_FALSE(is_builtin(without, "__has_cpp_attribute"));
  pp_fixture with(DIALECT_KAV17);
  callbacks_of(with.reader)->has_attribute = has_attribute;
  define_standard_builtins(with.reader, true);
  EXPECT_TRUE(is_builtin(with, "__has_cpp_attribute"));
  EXPECT_TRUE(is_builtin(with, "__has_include"));
}

// __has_builtin comes with the attribute query only when the client can
// answer it: code that tests for it first then leaves it alone.
TEST(Reader, HasBuiltinNeedsItsOwnCallback)
{
  pp_fixture f(DIALECT_KAV17);
  callbacks_of(f.reader)->has_attribute = has_attribute;
  define_standard_builtins(f.reader, true);
  EXPECT_FALSE(is_builtin(f, "__has_builtin"));
  f.push("#ifdef __has_builtin\n#if __has_builtin(x)\nyes\n#endif\n#else\nno\n#endif\n");
  EXPECT_EQ(f.expanded(), "no");
  EXPECT_EQ(f.reports, words{});
}

TEST(Reader, StdcAsBuiltinInSystemHeaders)
{
  pp_fixture f(DIALECT_KAV17);
  f.options()->stdc_zero_in_system_headers = 1;
  define_standard_builtins(f.reader, true);
  EXPECT_TRUE(is_builtin(f, "__STDC__"));
  pp_fixture strict(DIALECT_STDC17);
  strict.options()->stdc_zero_in_system_headers = 1;
  define_standard_builtins(strict.reader, true);
  EXPECT_EQ(macro_text(strict, "__STDC__"), "1");
}

TEST(Reader, TraditionalModeEntersFifteenRows)
{
  pp_fixture f(DIALECT_KAV17);
  f.options()->traditional_mode = 1;
  define_standard_builtins(f.reader, true);
  EXPECT_TRUE(is_builtin(f, "__has_include_next"));
  EXPECT_FALSE(is_builtin(f, "_Pragma"));
  EXPECT_EQ(macro_text(f, "__STDC__"), "-");
}

TEST(Reader, ReenterBuiltinRow)
{
  pp_fixture f;
  ident_node *node = cpp_intern(f.reader, "__COUNTER__", 11);
  reenter_builtin_row(f.reader, "__COUNTER__");
  EXPECT_EQ(node->kind, IK_BUILTIN);
  EXPECT_EQ(node->value.builtin, 10u);
  EXPECT_TRUE(node->flags & IDF_WARN_ON_CHANGE);
  reenter_builtin_row(f.reader, "__STDC__");
  EXPECT_FALSE(is_builtin(f, "__STDC__"));
}

TEST(Reader, PostOptions)
{
  pp_fixture on(DIALECT_STDC17);
  reader_post_options(on.reader);
  EXPECT_EQ(on.options()->warn_trigraph_use, 0);
  pp_fixture off(DIALECT_KAV17);
  reader_post_options(off.reader);
  EXPECT_EQ(off.options()->warn_trigraph_use, 1);
  pp_fixture traditional(DIALECT_STDC17);
  traditional.options()->traditional_mode = 1;
  traditional.options()->warn_trigraph_use = 1;
  reader_post_options(traditional.reader);
  EXPECT_EQ(traditional.options()->trigraph_sequences, 0);
  EXPECT_EQ(traditional.options()->warn_trigraph_use, 0);
  pp_fixture cxx(DIALECT_CXX17);
  cxx.options()->warn_traditional_c = 1;
  reader_post_options(cxx.reader);
  EXPECT_EQ(cxx.options()->warn_traditional_c, 0);
  pp_fixture preprocessed(DIALECT_KAV17);
  preprocessed.options()->preprocessed_input = 1;
  preprocessed.options()->traditional_mode = 1;
  reader_post_options(preprocessed.reader);
  EXPECT_EQ(preprocessed.reader->state.prevent_expansion, 1);
  EXPECT_EQ(preprocessed.options()->traditional_mode, 0);
}

// A client sets its options after creating the reader: comments it asks to
// keep are kept from the first line on, before any directive.
TEST(Reader, PostOptionsKeepsCommentsAsAsked)
{
  pp_fixture kept;
  kept.options()->drop_comments = 0;
  EXPECT_EQ(kept.kinds("/* a */ b\n"), (words{"COMMENT /* a */", "NAME b"}));
  pp_fixture dropped;
  EXPECT_EQ(dropped.kinds("/* a */ b\n"), (words{"NAME b"}));
}

TEST(Reader, NamedOperatorsAndModuleKeywords)
{
  pp_fixture f(DIALECT_CXX20);
  f.options()->module_support = 1;
  reader_post_options(f.reader);
  ident_node *bitor_node = cpp_intern(f.reader, "bitor", 5);
  EXPECT_EQ(bitor_node->flags & IDF_NAMED_OPERATOR, IDF_NAMED_OPERATOR);
  EXPECT_EQ(bitor_node->index, uint32_t(TK_OR));
  EXPECT_STREQ(named_operator_spelling(TK_OR), "bitor");
  EXPECT_EQ(named_operator_spelling(TK_PLUS), nullptr);
  const special_nodes &s = f.reader->spec_nodes;
  EXPECT_STREQ(s.module_in[MODULE_MODULE]->text, "module");
  EXPECT_TRUE(s.module_in[MODULE_MODULE]->flags & IDF_MODULE_KEYWORD);
  EXPECT_STREQ(s.module_out[MODULE_MODULE]->text, "module ");
  EXPECT_EQ(s.module_in[MODULE_UNDERSCORE_IMPORT], s.module_out[MODULE_UNDERSCORE_IMPORT]);
  pp_fixture c(DIALECT_STDC17);
  c.options()->warn_operator_names = 1;
  reader_post_options(c.reader);
  EXPECT_EQ(cpp_intern(c.reader, "xor", 3)->flags, uint32_t(IDF_CHECK_ON_LEX | IDF_OPERATOR_IN_C));
}

TEST(Reader, DirectiveNamesAreMarked)
{
  pp_fixture f;
  ident_node *node = cpp_intern(f.reader, "include_next", 12);
  EXPECT_EQ(node->is_directive, 1u);
  EXPECT_EQ(node->index, 15u);
}

TEST(Reader, DefineFromText)
{
  pp_fixture f;
  define_from_text(f.reader, "ONE");
  define_from_text(f.reader, "EMPTY=");
  define_from_text(f.reader, "PAIR=a b");
  define_formatted(f.reader, "N=%d", 42);
  EXPECT_EQ(macro_text(f, "ONE"), "1");
  EXPECT_EQ(macro_text(f, "EMPTY"), "");
  EXPECT_EQ(macro_text(f, "PAIR"), "a b");
  EXPECT_EQ(macro_text(f, "N"), "42");
  EXPECT_EQ(cpp_is_defined_macro(f.reader, "PAIR", 4), 1);
  undef_from_text(f.reader, "PAIR");
  EXPECT_EQ(cpp_is_defined_macro(f.reader, "PAIR", 4), 0);
  EXPECT_EQ(cpp_is_defined_macro(f.reader, "never", 5), 0);
  EXPECT_EQ(idtab_find(f.reader->idents, "never", 5, IDTAB_FIND_ONLY), nullptr);
}

// The client entries beside the directive texts: definitions that count as
// used, forgetting every macro, the converters' sets, the dependency record.
TEST(Reader, ClientEntries)
{
  pp_fixture f;
  f.options()->warn_unused_macro = 1;
  f.options()->wchar_precision = 16;
  f.options()->bytes_big_endian = 0;
  define_formatted_unused(f.reader, "USED=%d", 1);
  define_formatted(f.reader, "PLAIN=%d", 2);
  EXPECT_TRUE(cpp_intern(f.reader, "USED", 4)->value.macro->used);
  EXPECT_FALSE(cpp_intern(f.reader, "PLAIN", 5)->value.macro->used);
  cpp_intern(f.reader, "P", 1)->flags |= IDF_POISONED;
  undefine_all_macros(f.reader);
  EXPECT_EQ(cpp_is_defined_macro(f.reader, "USED", 4), 0);
  EXPECT_FALSE(cpp_intern(f.reader, "P", 1)->flags & IDF_POISONED);
  f.push("USED P __LINE__\n");
  EXPECT_EQ(f.expanded(), "USED P __LINE__");

  init_converters(f.reader);
  EXPECT_STREQ(narrow_charset_of(f.reader), "UTF-8");
  EXPECT_STREQ(wide_charset_of(f.reader), "UTF-16LE");
  EXPECT_EQ(dependencies_of(f.reader), nullptr);
  f.options()->deps_style = 1;
  dep_record *record = dependencies_of(f.reader);
  EXPECT_NE(record, nullptr);
  EXPECT_EQ(dependencies_of(f.reader), record);
}

TEST(Reader, DiagnosticEntries)
{
  pp_fixture f;
  diag_error(f.reader, DL_ERROR, "before any token");
  EXPECT_EQ(f.report_locations.back(), 0u);
  diag_pedwarning(f.reader, DR_PEDANTIC, "pedantic %s", "thing");
  EXPECT_EQ(f.reports.back(), "pedwarn: pedantic thing [22]");
  errno = ENOENT;
  diag_errno_filename(f.reader, DL_ERROR, "", 0);
  EXPECT_EQ(f.reports.back(), "error: stdout: No such file or directory");
  f.push("a b c");
  cpp_get_token(f.reader);
  cpp_get_token(f.reader);
  // At the last token read.
  diag_warning(f.reader, DR_NONE, "after");
  EXPECT_EQ(f.where(f.report_locations.back()), "1:3");
}

TEST(Reader, DiagnosticWithoutCallbackIsAnInternalError)
{
  EXPECT_DEATH(
      {
        pp_fixture f;
        f.reader->callbacks.diagnostic = nullptr;
        diag_error(f.reader, DL_ERROR, "x");
      },
      "cpp_diagnostic_at");
}

TEST(Reader, BufferStack)
{
  pp_fixture f;
  f.push("outer\n");
  const unsigned char inner[] = "inner";
  buffer_push(f.reader, inner, 5, true);
  EXPECT_EQ(f.reader->buffer->from_stage3, 1u);
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "inner");
  // At the end of the pushed text the reader goes back to the outer buffer.
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "outer");
  EXPECT_EQ(cpp_get_token(f.reader)->kind, TK_EOF);
  EXPECT_EQ(f.reader->buffer, nullptr);
}

TEST(Reader, MissingMainFile)
{
  pp_fixture f;
  EXPECT_EQ(open_main_file(f.reader, "/nonexistent/file.c", false), nullptr);
  EXPECT_EQ(f.reader->buffer, nullptr);
  EXPECT_EQ(f.reports, (words{"fatal: /nonexistent/file.c: No such file or directory"}));
}

std::string reported_directory;

void note_directory(preprocessor_reader *, const char *directory)
{
  reported_directory = directory;
}

// A preprocessed main file whose text is TEXT: the first token's place.
std::string preprocessed_start(pp_fixture &f, const char *text)
{
  TempDir dir;
  std::ofstream(dir / "in.i") << text;
  f.options()->preprocessed_input = 1;
  reader_post_options(f.reader);
  f.posted = true;
  f.reader->callbacks.dir_change = note_directory;
  reported_directory = "-";
  const char *name = open_main_file(f.reader, (dir / "in.i").c_str(), false);
  EXPECT_NE(name, nullptr);
  const preproc_token *token = cpp_get_token(f.reader);
  const ordinary_map *map = linemap_find_ordinary_map(
      f.lines.get(), location_is_adhoc(token->location) ? adhoc_locus(f.lines.get(), token->location)
                                                        : token->location);
  return std::string(map->file_name) + ":" + f.where(token->location) + " " + f.spell(token);
}

TEST(Reader, PreprocessedInputNamesItsFileAndDirectory)
{
  pp_fixture f;
  EXPECT_EQ(preprocessed_start(f, "# 0 \"orig.c\"\n# 0 \"/work/src//\"\nx\n"), "orig.c:1:1 x");
  EXPECT_EQ(reported_directory, "/work/src");
  // The map the first linemarker made replaced the one the file was entered with.
  EXPECT_EQ(f.lines->ordinary_used, 1u);
}

TEST(Reader, PreprocessedInputWithoutDirectoryLine)
{
  pp_fixture f;
  EXPECT_EQ(preprocessed_start(f, "# 1 \"orig.c\"\n# 7 \"orig.c\"\ny\n"), "orig.c:7:1 y");
  EXPECT_EQ(reported_directory, "-");
}

TEST(Reader, PreprocessedInputDirectoryLineEndsAtItsNewline)
{
  // A second linemarker without a file name: the string on the next line is
  // text, not the directory the input was made in.
  pp_fixture f;
  EXPECT_EQ(preprocessed_start(f, "# 1 \"orig.c\"\n# 1 \n\"a//\"\n"), "orig.c:1:1 \"a//\"");
  EXPECT_EQ(reported_directory, "-");
  EXPECT_EQ(f.reports, words{});
}

TEST(Reader, PreprocessedInputWithoutLinemarker)
{
  pp_fixture f;
  std::string start = preprocessed_start(f, "z\n");
  EXPECT_EQ(start.substr(start.size() - 5), "1:1 z");
}

TEST(Reader, FinishReportsUnusedMacrosOfTheMainFile)
{
  pp_fixture f;
  f.options()->warn_unused_macro = 1;
  TempDir dir;
  std::ofstream(dir / "main.c") << "#define USED 1\n#define UNUSED 2\nUSED\n";
  reader_post_options(f.reader);
  ASSERT_NE(open_main_file(f.reader, (dir / "main.c").c_str(), false), nullptr);
  while (cpp_get_token(f.reader)->kind != TK_EOF)
    continue;
  reader_finish(f.reader, nullptr);
  EXPECT_EQ(f.reports, (words{"warning: macro \"UNUSED\" is not used [14]"}));
}

std::vector<const ordinary_map *> changed_to;

void note_change(preprocessor_reader *, const ordinary_map *map)
{
  changed_to.push_back(map);
}

// The rewind adds no map, but a client that follows the lines, as a
// printer does, still hears that the line went back to 0.
TEST(Reader, LinemarkerRewindToLineZero)
{
  pp_fixture f;
  changed_to.clear();
  callbacks_of(f.reader)->file_change = note_change;
  const ordinary_map *first = enter_file_change(f.reader, LC_ENTER, "a.c", 0, 0);
  linemap_start_line(f.lines.get(), 2, 80);
  uint32_t maps = f.lines->ordinary_used;
  EXPECT_EQ(enter_file_change(f.reader, LC_RENAME_VERBATIM, "a.c", 0, 0), first);
  EXPECT_EQ(f.lines->ordinary_used, maps);
  EXPECT_EQ(changed_to, (std::vector<const ordinary_map *>{first, first}));
  EXPECT_EQ(f.lines->line_start_location, first->start);
}

TEST(Reader, DialectNames)
{
  source_dialect d;
  ASSERT_TRUE(dialect_by_name("c++17", &d));
  EXPECT_EQ(d, DIALECT_CXX17);
  EXPECT_FALSE(dialect_by_name("c++18", &d));
}

} // namespace
