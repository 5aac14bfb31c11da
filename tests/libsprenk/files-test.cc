// Include search, once-only files and include guards, include nesting, and
// the dependencies a unit lists, over files written to a fresh directory.
#include "tests/libsprenk/file-tree.h"

#include "support/alloc.h"
#include "support/file-names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// The first report reading a main file of TEXT gives, "<none>" without one.
std::string first_report(const std::string &text, bool pedantic = false)
{
  file_tree tree;
  std::string main = tree.add("main.c", text);
  pp_fixture f;
  f.options()->pedantic_mode = pedantic;
  run(f, main);
  return f.reports.empty() ? "<none>" : f.reports[0];
}

// The bracket chain TREE/first, then TREE/second.
struct first_then_second {
  std::string first_name, second_name;
  search_dir second = {nullptr, nullptr, 0, 0, 1, nullptr, nullptr, 0, 0};
  search_dir first = {&second, nullptr, 0, 0, 1, nullptr, nullptr, 0, 0};
  explicit first_then_second(const file_tree &tree)
      : first_name(tree.root + "/first"), second_name(tree.root + "/second")
  {
    first.name = first_name.c_str();
    second.name = second_name.c_str();
  }
};

} // namespace

TEST(Files, OnceOnlyAndGuards)
{
  file_tree tree;
  tree.add("once.h", "#pragma once\nonce\n");
  tree.add("guard.h", "#ifndef G\n#define G\nguarded\n#endif\n");
  tree.add("imported.h", "imported\n");
  tree.add("plain.h", "plain\n");
  std::string main = tree.add(
      "main.c", "#include \"once.h\"\n#include \"once.h\"\n#include \"guard.h\"\n"
                "#include \"guard.h\"\n#import \"imported.h\"\n#import \"imported.h\"\n"
                "#include \"plain.h\"\n#include \"plain.h\"\n");
  pp_fixture f;
  EXPECT_EQ(run(f, main), "once guarded imported plain plain");
}

TEST(Files, OnceOnlyFileReachedByAnotherName)
{
  file_tree tree;
  tree.add("sub/once.h", "#pragma once\nonce\n");
  std::string main = tree.add("main.c", "#include \"sub/once.h\"\n#include \"sub/../sub/once.h\"\n");
  pp_fixture f;
  EXPECT_EQ(run(f, main), "once");
}

TEST(Files, SearchChainsAndIncludeNext)
{
  file_tree tree;
  tree.add("first/h.h", "first\n#include_next <h.h>\n");
  tree.add("second/h.h", "second\n");
  std::string main = tree.add("main.c", "#include <h.h>\n#if __has_include(<h.h>)\nfound\n#endif\n"
                                        "#if !__has_include(\"missing.h\")\nmissing\n#endif\n");
  first_then_second chain(tree);
  pp_fixture f;
  define_special_builtins(f.reader);
  EXPECT_EQ(run(f, main, &chain.first), "first second found missing");
}

// Any string names a header, a raw one by its text between the delimiters;
// a missing "(" takes the token in its place.
TEST(Files, HasIncludeOperands)
{
  file_tree tree;
  tree.add("h.h", "");
  std::string main = tree.add("main.cc", "#if __has_include(R\"x(h.h)x\")\nraw\n#endif\n"
                                         "#if __has_include \"h.h\"\nbare\n#endif\n"
                                         "#if __has_include(h)\n#endif\n");
  pp_fixture f(DIALECT_CXX17);
  define_special_builtins(f.reader);
  EXPECT_EQ(run(f, main), "raw");
  EXPECT_EQ(f.reports, (words{"error: missing '(' before \"__has_include\" operand",
                              "error: operator \"__has_include\" requires a header-name",
                              "error: operator \"__has_include\" requires a header-name"}));
}

TEST(Files, SelfIncludeStopsAtTheDepthLimit)
{
  file_tree tree;
  std::string main = tree.add("self.c", "x\n#include \"self.c\"\n");
  pp_fixture f;
  f.options()->max_include_depth = 5;
  EXPECT_EQ(run(f, main), "x x x x x");
  ASSERT_FALSE(f.reports.empty());
  EXPECT_EQ(f.reports[0], "error: #include nested depth 5 exceeds maximum of 5 (use "
                          "-fmax-include-depth=DEPTH to increase the maximum)");
}

TEST(Files, MissingHeaders)
{
  file_tree tree;
  std::string main = tree.add("main.c", "#include \"nope.h\"\n");
  pp_fixture plain;
  run(plain, main);
  ASSERT_FALSE(plain.reports.empty());
  EXPECT_EQ(plain.reports[0].rfind("fatal: nope.h: ", 0), 0u) << plain.reports[0];

  // With -MG a missing header is a dependency, not an error.
  pp_fixture listed;
  listed.options()->deps_style = 2;
  listed.options()->deps_missing_files = 1;
  run(listed, main);
  EXPECT_TRUE(listed.reports.empty());
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  deps_add_implicit_target(listed.reader->deps, "main.c");
  deps_print(listed.reader, stream, 0);
  fclose(stream);
  EXPECT_EQ(std::string(text), "main.o: " + main + " nope.h\n");
  free(text);
}

// A header the search reaches but cannot read is reported where it stands:
// the search does not go on to another header of that name.
TEST(Files, UnreachableHeaderEndsTheSearch)
{
  file_tree tree;
  tree.add("second/h.h", "second\n");
  tree.add("first/other.h", "");
  std::string loop = tree.root + "/first/h.h";
  ASSERT_EQ(symlink("h.h", loop.c_str()), 0);
  tree.made.push_back(loop);
  std::string long_name(300, 'n'); // longer than a name may be
  std::string main = tree.add("main.c", "#include <h.h>\n");
  std::string main_long = tree.add("long.c", "#include <" + long_name + ".h>\n");
  first_then_second chain(tree);
  struct {
    const std::string *main;
    std::string report;
  } cases[] = {
      {&main, "fatal: " + loop + ": " + strerror(ELOOP)},
      {&main_long, "fatal: " + chain.first_name + "/" + long_name + ".h: " + strerror(ENAMETOOLONG)},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    EXPECT_EQ(run(f, *c.main, &chain.first), "") << *c.main;
    ASSERT_EQ(f.reports.size(), 1u) << *c.main;
    EXPECT_EQ(f.reports[0], c.report);
  }
}

TEST(Files, EmptyNameAndBadDirective)
{
  struct {
    const char *text;
    const char *report;
  } cases[] = {
      {"#include \"\"\n", "error: empty filename in #include"},
      {"#include x\n", "error: #include expects \"FILENAME\" or <FILENAME>"},
      {"#include <x\n", "error: missing terminating > character"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(first_report(c.text), c.report) << c.text;
}

TEST(Files, LineDirectives)
{
  struct {
    const char *text;
    const char *report;
    bool pedantic;
  } cases[] = {
      {"#line 0\n", "pedwarn: line number out of range", true},
      {"#line 0\n", "<none>", false},
      {"#line 4294967296\n", "warning: line number out of range", false},
      {"#line\n", "error: unexpected end of file after #line", false},
      {"#line 5 x\n", "error: \"x\" is not a valid filename", false},
      {"# 3 \"f.c\" 2\n", "warning: file \"f.c\" linemarker ignored due to incorrect nesting",
       false},
      {"# 3 \"f.c\" 5\n", "error: invalid flag \"5\" in line directive", false},
      // No flag may follow 4: what does is an extra token.
      {"# 3 \"f.c\" 3 4 5\n", "pedwarn: extra tokens at end of ## directive", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(first_report(c.text, c.pedantic), c.report) << c.text;
}

// The line table notes a line directive only once the file change is made:
// a rejected one leaves it as it was.
TEST(Files, OnlyAcceptedLineDirectivesAreNoted)
{
  struct {
    const char *text;
    bool noted;
  } cases[] = {
      {"#line 7\n", true},
      {"# 7 \"f.c\"\n", true},
      {"#line x\n", false},
      {"#line\n", false},
      {"#line 5 x\n", false},
      {"# 0x1\n", false},
      {"# 3 \"f.c\" 2\n", false},
  };
  for (const auto &c : cases) {
    file_tree tree;
    std::string main = tree.add("main.c", c.text);
    pp_fixture f;
    run(f, main);
    EXPECT_EQ(f.lines.get()->seen_line_directive, c.noted) << c.text;
  }
}

TEST(Files, LineDirectiveRenamesTheFile)
{
  // The name's escapes are interpreted; its bytes are kept as written.
  struct {
    const char *text;
    const char *expected;
  } cases[] = {
      {"#line 40 \"other.c\"\n__LINE__ __FILE__\n", "40 \"other.c\""},
      {"#line 5 \"a\\101.c\"\n__FILE__\n", "\"aA.c\""},
      {"# 7 \"b\\x42\\\\c.h\"\n__FILE__\n", "\"bB\\\\c.h\""},
      {"#line 5 \"\u00e9.c\"\n__FILE__\n", "\"\u00e9.c\""},
  };
  for (const auto &c : cases) {
    file_tree tree;
    std::string main = tree.add("main.c", c.text);
    pp_fixture f;
    define_special_builtins(f.reader);
    EXPECT_EQ(run(f, main), c.expected) << c.text;
  }
}

// With comments kept, those after the header name go to the include
// callback; other tokens there are still extra.
TEST(Files, CommentsAfterTheHeaderName)
{
  struct {
    const char *line;
    words comments;
    words reports;
  } cases[] = {
      {"#include \"h.h\" /* a */ // b\n", {"/* a */", "/* b*/"}, {}},
      {"#include \"h.h\"\n", {}, {}},
      {"#include \"h.h\" x /* a */\n", {"/* a */"},
       {"pedwarn: extra tokens at end of #include directive"}},
  };
  for (const auto &c : cases) {
    static words seen;
    seen.clear();
    file_tree tree;
    tree.add("h.h", "\n");
    std::string main = tree.add("main.c", c.line);
    pp_fixture f;
    f.options()->drop_comments = 0;
    f.reader->state.save_comments = 1;
    f.reader->callbacks.include = [](preprocessor_reader *, location_t, const unsigned char *,
                                     const char *, int, const preproc_token **comments) {
      for (; comments && *comments; comments++)
        seen.push_back(pp_fixture::active()->spell(*comments));
    };
    run(f, main);
    EXPECT_EQ(seen, c.comments) << c.line;
    EXPECT_EQ(f.reports, c.reports) << c.line;
  }
}

// A header listed once-only in a loaded digest table is not read again, even
// under another name with the same bytes.
TEST(Files, DigestTableRoundTrip)
{
  file_tree tree;
  tree.add("once.h", "#pragma once\nonce\n");
  tree.add("copy.h", "#pragma once\nonce\n");
  tree.add("plain.h", "plain\n");
  std::string first = tree.add("first.c", "#include \"once.h\"\n#include \"plain.h\"\n");
  std::string second = tree.add("second.c", "#include \"copy.h\"\n#include \"plain.h\"\nend\n");
  FILE *stream = tmpfile();
  {
    pp_fixture f;
    EXPECT_EQ(run(f, first), "once plain");
    ASSERT_TRUE(write_digest_table(f.reader, stream));
  }
  rewind(stream);
  ASSERT_TRUE(load_digest_table(stream));
  fclose(stream);
  pp_fixture f;
  EXPECT_EQ(run(f, second), "plain end");
  forget_digest_table();
}

TEST(Files, DigestTableRefusesLiesAboutItsSize)
{
  struct {
    uint64_t count;
    uint32_t entries_written;
  } cases[] = {{UINT64_MAX, 0}, {uint64_t(1) << 59, 1}, {3, 2}, {1, 0}};
  for (const auto &c : cases) {
    FILE *stream = tmpfile();
    unsigned char header[16] = {};
    memcpy(header, &c.count, 8);
    fwrite(header, 1, sizeof header, stream);
    unsigned char entry[32] = {};
    for (uint32_t i = 0; i < c.entries_written; i++)
      fwrite(entry, 1, sizeof entry, stream);
    rewind(stream);
    EXPECT_FALSE(load_digest_table(stream)) << c.count;
    fclose(stream);
  }
}

TEST(Files, UnguardedHeadersAreListed)
{
  file_tree tree;
  tree.add("guarded.h", "#ifndef G\n#define G\n#endif\n");
  tree.add("bare.h", "bare\n");
  std::string main = tree.add("main.c", "#include \"guarded.h\"\n#include \"bare.h\"\n");
  pp_fixture f;
  run(f, main);
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  list_unguarded_headers(f.reader, stream);
  fclose(stream);
  EXPECT_EQ(std::string(text), "Multiple include guards may be useful for:\n" + tree.root + "/bare.h\n");
  free(text);
}

TEST(Files, PragmasThatNeedAnIncludedFile)
{
  file_tree tree;
  tree.add("sys.h", "#pragma VUZ system_header\nint x;\n");
  std::string main = tree.add(
      "main.c", "#pragma once\n#pragma VUZ system_header\n#include_next <x.h>\n#include \"sys.h\"\n");
  pp_fixture f;
  // Whether sys.h became a system header from its pragma on.
  static bool sys_h_is_system;
  sys_h_is_system = false;
  f.reader->callbacks.file_change = [](preprocessor_reader *, const ordinary_map *map) {
    if (map && strstr(map->file_name, "sys.h") && map->in_system_header)
      sys_h_is_system = true;
  };
  run(f, main);
  ASSERT_GE(f.reports.size(), 3u);
  EXPECT_EQ(f.reports[0], "warning: #pragma once in main file");
  EXPECT_EQ(f.reports[1], "warning: #pragma system_header ignored outside include file");
  EXPECT_EQ(f.reports[2], "warning: #include_next in primary source file");
  EXPECT_TRUE(sys_h_is_system);
}

// A newer dependency is reported, then the rest of its line at the first
// token of that rest, unexpanded.
TEST(Files, DependencyNewerThanTheCurrentFile)
{
  file_tree tree;
  tree.add("dep.h", "\n");
  std::string main =
      tree.add("main.c", "#define X expanded\n#pragma VUZ dependency \"dep.h\" see X  now\n"
                         "#pragma VUZ dependency \"gone.h\"\n");
  struct timeval old_times[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(utimes(main.c_str(), old_times), 0);
  pp_fixture f;
  run(f, main);
  EXPECT_EQ(f.reports, (words{"warning: current file is older than dep.h", "warning: see X now",
                              "warning: cannot find source file gone.h"}));
  ASSERT_EQ(f.report_locations.size(), 3u);
  EXPECT_EQ(f.where(f.report_locations[1]), "2:32");
}

// The lines of a remap file as "from=to" pairs, read for directory "d".
TEST(Files, RemapFileLines)
{
  std::string long_name(50, 'n');
  struct {
    std::string text;
    words pairs;
  } cases[] = {
      {"", {}},
      {"a.h b.h\n", {"a.h=d/b.h"}},
      {"a.h /abs/b.h\n", {"a.h=/abs/b.h"}},
      {"\n\n  \t a.h \t b.h   rest of the line\nc.h d.h", {"a.h=d/b.h", "c.h=d/d.h"}},
      {"lonely.h\nx.h\r\ny.h z.h\n", {"y.h=d/z.h"}},
      {long_name + " " + long_name + long_name + "\n", {long_name + "=d/" + long_name + long_name}},
      {"a.h b.h\na.h c.h\n", {"a.h=d/b.h", "a.h=d/c.h"}},
  };
  for (const auto &c : cases) {
    FILE *stream = fmemopen(const_cast<char *>(c.text.data()), c.text.size(), "r");
    if (c.text.empty())
      stream = tmpfile();
    remap_table *table = _cpp_read_remap_table(stream, "d");
    fclose(stream);
    words pairs;
    for (uint64_t i = 0; i < table->count; i++)
      pairs.push_back(std::string(table->pairs[2 * i]) + "=" + table->pairs[2 * i + 1]);
    EXPECT_EQ(pairs, c.pairs) << c.text;
    EXPECT_EQ(table->pairs[2 * table->count], nullptr);
    _cpp_free_remap_table(table);
  }
}

// Names listed in a directory's "header.vuz" are read from where it says,
// with a name's directory part looked up in that directory's own file; the
// first listing of a name wins.
TEST(Files, RemapFilesRedirectIncludes)
{
  file_tree tree;
  tree.add("inc/header.vuz", "short.h real/long-file-name.h\nabs.h " + tree.root +
                                 "/elsewhere/abs.h\nshort.h ignored.h\n");
  tree.add("inc/real/long-file-name.h", "remapped\n");
  tree.add("elsewhere/abs.h", "absolute\n");
  tree.add("inc/sub/header.vuz", "deep.h ../real/long-file-name.h\n");
  tree.add("inc/plain.h", "plain\n");
  tree.add("inc/short.h", "not_remapped\n");
  std::string main = tree.add(
      "main.c", "#include <short.h>\n#include <abs.h>\n#include <sub/deep.h>\n#include <plain.h>\n");
  std::string inc = tree.root + "/inc";
  struct {
    bool use_remap_files;
    const char *output;
  } cases[] = {
      {true, "remapped absolute remapped plain"},
      {false, "not_remapped plain"},
  };
  for (const auto &c : cases) {
    search_dir bracket = {nullptr, inc.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
    pp_fixture f;
    f.options()->use_remap_files = c.use_remap_files;
    EXPECT_EQ(run(f, main, &bracket), c.output);
    EXPECT_EQ(f.reports.empty(), c.use_remap_files);
  }
}

// A directory with a construct hook finds its files where the hook says,
// and a file the hook refuses is looked for further along the chain.
static std::string hooked_root;

static char *construct_in_elsewhere(const char *name, search_dir *)
{
  if (strcmp(name, "skip.h") == 0)
    return nullptr;
  return checked_strdup((hooked_root + "/elsewhere/" + name).c_str());
}

TEST(Files, ConstructHookMakesTheDirectorysPaths)
{
  file_tree tree;
  tree.add("first/x.h", "first_x\n");
  tree.add("first/skip.h", "first_skip\n");
  tree.add("second/skip.h", "second_skip\n");
  tree.add("elsewhere/x.h", "hooked_x\n");
  std::string main = tree.add("main.c", "#include <x.h>\n#include <skip.h>\n#include <none.h>\n");
  hooked_root = tree.root;
  first_then_second chain(tree);
  chain.first.construct = construct_in_elsewhere;
  pp_fixture f;
  EXPECT_EQ(run(f, main, &chain.first), "hooked_x second_skip");
  ASSERT_EQ(f.reports.size(), 1u);
  EXPECT_EQ(f.reports[0].rfind("fatal: none.h: ", 0), 0u) << f.reports[0];
}

// A file's buffer keeps the conversion its text came through from the
// input character set; an iconv descriptor is closed by then.
TEST(Files, BufferHoldsTheInputConversion)
{
  const struct {
    const char *charset;
    std::string bytes;
    conversion_function function;
    const char *output;
  } cases[] = {
      {"UTF-8", "x \"\xc3\xa9\"\n", copy_converter, "x \"\xc3\xa9\""},
      {"UTF-16LE", std::string("x\0\n\0", 4), utf16_to_utf8, "x"},
      {"ISO-8859-1", "x \"\xe9\"\n", iconv_convert, "x \"\xc3\xa9\""},
  };
  for (const auto &c : cases) {
    file_tree tree;
    std::string main = tree.add("main.c", "");
    FILE *stream = fopen(main.c_str(), "wb");
    fwrite(c.bytes.data(), 1, c.bytes.size(), stream);
    fclose(stream);
    pp_fixture f;
    f.options()->input_charset_name = c.charset;
    reader_post_options(f.reader);
    ASSERT_NE(open_main_file(f.reader, main.c_str(), false), nullptr);
    const charset_converter &used = f.reader->buffer->input_converter;
    EXPECT_EQ(used.function, c.function) << c.charset;
    EXPECT_STREQ(used.from, c.charset);
    EXPECT_STREQ(used.to, "UTF-8");
    if (c.function == iconv_convert)
      EXPECT_EQ(used.cookie, -1);
    EXPECT_EQ(f.expanded(), c.output) << c.charset;
  }
}

// Preprocessed input, the main file and a file included from the command
// line, is read as it stands: no trigraphs are replaced and no lines
// spliced.
TEST(Files, PreprocessedInputIsReadAsItStands)
{
  file_tree tree;
  std::string header = tree.add("inc.h", "c ?\?= d\\\ne\n");
  std::string main = tree.add("main.i", "a ?\?= b\\\nx\n");
  struct {
    bool preprocessed;
    const char *output;
  } cases[] = {
      {false, "c # de a # bx"},
      {true, "c ? ? = d \\ e a ? ? = b \\ x"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    f.options()->trigraph_sequences = 1;
    f.options()->preprocessed_input = c.preprocessed;
    reader_post_options(f.reader);
    ASSERT_NE(open_main_file(f.reader, main.c_str(), false), nullptr);
    push_included_file(f.reader, header.c_str(), false, INCLUDE_COMMAND_LINE, 0);
    EXPECT_EQ(f.expanded(), c.output) << c.preprocessed;
  }
}

// An import control line names its header unit by path; the header becomes
// once-only, so a later #include of it reads nothing.
TEST(Files, ImportedHeaderUnitsAreNamedByPath)
{
  file_tree tree;
  std::string unit = tree.add("inc/unit.h", "unit_text\n");
  std::string main = tree.add("main.cc", "import <unit.h>;\n#include <unit.h>\n"
                                         "import <missing.h>;\nend\n");
  std::string inc = tree.root + "/inc";
  search_dir bracket = {nullptr, inc.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
  pp_fixture f(DIALECT_CXX20);
  f.options()->module_support = 1;
  // The keyword's spelling keeps its blank.
  EXPECT_EQ(run(f, main, &bracket),
            "import  " + unit + " ; EOL import   ; EOL end");
  ASSERT_EQ(f.reports.size(), 1u);
  EXPECT_EQ(f.reports[0].rfind("fatal: missing.h: ", 0), 0u) << f.reports[0];
  // At the header name, as a missing include is.
  EXPECT_EQ(f.where(f.report_locations[0]), "3:8");
}

// Without a bracket chain an angled name has nowhere to be searched: an
// include of it is an error, while __has_include only answers 0, as
// __has_include_next does in the chain's last directory.
TEST(Files, AngledNamesWithNowhereToSearch)
{
  file_tree tree;
  std::string main = tree.add("main.c", "#if __has_include(<x.h>)\nyes\n#else\nno\n#endif\n"
                                        "#include <y.h>\nend\n");
  pp_fixture f;
  define_special_builtins(f.reader);
  EXPECT_EQ(run(f, main), "no end");
  EXPECT_EQ(f.reports, (words{"error: no include path in which to search for y.h"}));

  tree.add("second/last.h", "#if __has_include_next(<z.h>)\nyes\n#else\nno\n#endif\n"
                            "#include_next <z.h>\n");
  main = tree.add("next.c", "#include <last.h>\nend\n");
  first_then_second chain(tree);
  pp_fixture next;
  define_special_builtins(next.reader);
  EXPECT_EQ(run(next, main, &chain.first), "no end");
  EXPECT_EQ(next.reports, (words{"error: no include path in which to search for z.h"}));
}

// A client may read an include as text of its own, where the include stood;
// the header is then a once-only header unit. A header it declines is read
// as usual and never offered again.
TEST(Files, IncludesTranslatedByTheClient)
{
  file_tree tree;
  tree.add("unit.h", "unit_text\n");
  tree.add("plain.h", "plain_text\n");
  std::string main = tree.add(
      "main.c", "a __LINE__\n#include \"unit.h\"\nb __LINE__\n#include \"unit.h\"\n"
                "#include \"plain.h\"\n#include \"plain.h\"\nc __LINE__ __FILE__\n");
  static words offered;
  offered.clear();
  pp_fixture f;
  define_special_builtins(f.reader);
  f.reader->callbacks.translate_include = [](preprocessor_reader *, linemap_set *, location_t,
                                             const char *path) -> char * {
    offered.push_back(strrchr(path, '/') + 1);
    return strstr(path, "unit.h") ? checked_strdup("translated __LINE__") : nullptr;
  };
  EXPECT_EQ(run(f, main), "a 1 translated 2 b 3 plain_text plain_text c 7 \"" + main + "\"");
  EXPECT_EQ(offered, (words{"unit.h", "plain.h"}));
  EXPECT_TRUE(f.reports.empty());
}

// An import whose '<' is never closed: an error, and the line still ends
// where it did, for the token stream and for directives-only processing.
TEST(Files, ImportOfAnUnclosedAngledName)
{
  const char *const texts[] = {"import <vecto\x1f;n#\nx\n", "#define M <a b\nimport M;\nx\n"};
  for (const char *text : texts) {
    pp_fixture f(DIALECT_CXX20);
    f.options()->module_support = 1;
    f.push(text);
    std::string out = f.expanded();
    EXPECT_EQ(out.substr(out.size() - 5), "EOL x") << text;
    ASSERT_FALSE(f.reports.empty()) << text;
    EXPECT_EQ(f.reports[0], "error: missing terminating > character") << text;

    pp_fixture only(DIALECT_CXX20);
    only.options()->module_support = 1;
    only.push(text);
    static int events;
    events = 0;
    cpp_directive_only_process(only.reader, nullptr,
                               [](preprocessor_reader *, dironly_task, void *,
                                  const dironly_event &) { events++; });
    EXPECT_GT(events, 0) << text;
  }
}

// A path one search found missing is not probed again by a later search
// of the same reader from another start directory, even once the file
// exists; a fresh reader finds it.
TEST(Files, MissingPathsAreNotProbedAgain)
{
  file_tree tree;
  tree.add("inc/other.h", "");
  std::string main = tree.add("main.c", "");
  std::string inc_name = tree.root + "/inc";
  search_dir inc = {nullptr, inc_name.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
  pp_fixture f;
  run(f, main, &inc);
  // Quoted: the main file's directory, then the bracket chain.
  EXPECT_FALSE(has_header(f.reader, "late.h", false, INCLUDE_PLAIN, 0));
  tree.add("inc/late.h", "");
  EXPECT_FALSE(has_header(f.reader, "late.h", true, INCLUDE_PLAIN, 0));
  EXPECT_TRUE(has_header(f.reader, "other.h", true, INCLUDE_PLAIN, 0));

  pp_fixture fresh;
  run(fresh, main, &inc);
  EXPECT_TRUE(has_header(fresh.reader, "late.h", true, INCLUDE_PLAIN, 0));
}

// A name counts as included once a lookup found it (the main file's is the
// first), or a linemarker entered it; probes that failed do not count.
TEST(Files, IncludedNamesAndWhenTheyWereLookedUp)
{
  file_tree tree;
  tree.add("a.h", "a\n");
  std::string main = tree.add("main.c", "\n\n#include \"a.h\"\n"
                                        "#if __has_include(\"gone.h\")\n#endif\n"
                                        "# 1 \"marked.h\" 1\nm\n");
  pp_fixture f;
  define_special_builtins(f.reader);
  EXPECT_EQ(run(f, main), "a m");
  location_t first_line = main_file_location(f.reader);
  location_t end = f.reader->line_table->top_location;
  int data = 0;
  struct {
    const char *name;
    bool included;
    bool before_first_line;
  } cases[] = {
      {main.c_str(), true, true},
      {"a.h", true, false},
      {"marked.h", true, false},
      {"gone.h", false, false},
      {"never.h", false, false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(file_included(f.reader, c.name), c.included) << c.name;
    EXPECT_EQ(file_included_before(f.reader, c.name, end), c.included) << c.name;
    EXPECT_EQ(file_included_before(f.reader, c.name, first_line), c.before_first_line) << c.name;
    // A location with a range is compared by its plain location.
    location_t ranged = linemap_combine_location(f.reader->line_table, first_line,
                                                 {first_line, end}, &data);
    ASSERT_TRUE(location_is_adhoc(ranged));
    EXPECT_EQ(file_included_before(f.reader, c.name, ranged), c.before_first_line) << c.name;
  }
}

// A header found in a system directory is named by its resolved path when
// that is shorter; other directories keep the path as joined.
TEST(Files, SystemHeadersTakeTheShorterCanonicalPath)
{
  file_tree tree;
  tree.add("sys/deep/keep", "");
  tree.add("sys/s.h", "__FILE__\n");
  tree.add("a-much-longer-directory-name/s.h", "__FILE__\n");
  std::string main = tree.add("main.c", "#include <s.h>\n");
  std::string link = tree.root + "/l";
  ASSERT_EQ(symlink("a-much-longer-directory-name", link.c_str()), 0);
  char *resolved = canonical_path(tree.root.c_str());
  std::string root = resolved;
  free(resolved);
  struct {
    const char *directory;
    uint8_t system_kind;
    uint8_t canonical;
    std::string file;
  } cases[] = {
      {"/sys/deep/..", 1, 1, root + "/sys/s.h"},
      {"/sys/deep/..", 2, 1, root + "/sys/s.h"},
      {"/sys/deep/..", 0, 1, tree.root + "/sys/deep/../s.h"},
      {"/sys/deep/..", 1, 0, tree.root + "/sys/deep/../s.h"},
      // The resolved form is longer.
      {"/l", 1, 1, tree.root + "/l/s.h"},
  };
  for (const auto &c : cases) {
    std::string name = tree.root + c.directory;
    search_dir directory = {nullptr, name.c_str(), 0, c.system_kind, 1, nullptr, nullptr, 0, 0};
    pp_fixture f;
    f.options()->canonical_system_headers = c.canonical;
    define_special_builtins(f.reader);
    EXPECT_EQ(run(f, main, &directory), "\"" + c.file + "\"") << c.directory;
  }
  remove(link.c_str());
}

// A lookup that passes a chain head on its way records its file for that
// head too, and a lookup that reaches a head with a record takes its file:
// the second lookup below finds the file after it was removed. A file
// found in the head itself gets no second entry.
TEST(Files, ChainHeadsShareTheirFiles)
{
  struct {
    const char *where;
    bool first_angled;
    bool found_after_removal;
  } cases[] = {
      {"inc2/h.h", false, true},
      {"inc2/h.h", true, true},
      {"inc1/h.h", false, false},
  };
  for (const auto &c : cases) {
    file_tree tree;
    tree.add("inc1/keep", "");
    tree.add("quote/keep", "");
    std::string header = tree.add(c.where, "");
    std::string main = tree.add("main.c", "");
    std::string inc1_name = tree.root + "/inc1", inc2_name = tree.root + "/inc2";
    std::string quote_name = tree.root + "/quote";
    search_dir inc2 = {nullptr, inc2_name.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
    search_dir inc1 = {&inc2, inc1_name.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
    search_dir quote = {&inc1, quote_name.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
    pp_fixture f;
    install_include_chains(f.reader, &quote, &inc1, false);
    run(f, main);
    EXPECT_TRUE(has_header(f.reader, "h.h", c.first_angled, INCLUDE_PLAIN, 0)) << c.where;
    remove(header.c_str());
    EXPECT_EQ(has_header(f.reader, "h.h", !c.first_angled, INCLUDE_PLAIN, 0),
              c.found_after_removal)
        << c.where << (c.first_angled ? " <>" : " \"\"");
  }
}

namespace {

// The expanded tokens of MAIN read after the optional default include
// NAME, or after a command-line include of it when OPTIONAL is false.
std::string run_after_default_include(pp_fixture &f, const std::string &main, const char *name,
                                      search_dir *bracket, bool optional = true)
{
  install_include_chains(f.reader, bracket, bracket, false);
  reader_post_options(f.reader);
  if (open_main_file(f.reader, main.c_str(), false) == nullptr)
    return "<no main file>";
  if (optional)
    push_optional_default_include(f.reader, name);
  else
    push_included_file(f.reader, name, true, INCLUDE_COMMAND_LINE, 0);
  return f.expanded();
}

int pch_candidates_seen;

int refuse_pch(preprocessor_reader *, const char *, int)
{
  pch_candidates_seen++;
  return 0;
}

} // namespace

// An optional default include is stacked when the bracket chain has it;
// a missing one is no error and leaves no record behind.
TEST(Files, OptionalDefaultIncludes)
{
  file_tree tree;
  tree.add("sys/pre.h", "pre\n#include \"inner.h\"\n");
  tree.add("sys/inner.h", "inner\n");
  std::string main = tree.add("main.c", "main\n");
  std::string sys_name = tree.root + "/sys";
  search_dir sys = {nullptr, sys_name.c_str(), 0, 1, 1, nullptr, nullptr, 0, 0};
  struct {
    const char *name;
    const char *expanded;
  } cases[] = {
      {"pre.h", "pre inner main"},
      {"absent.h", "main"},
      {"/absent/absolute.h", "main"},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    EXPECT_EQ(run_after_default_include(f, main, c.name, &sys), c.expanded) << c.name;
    EXPECT_TRUE(f.reports.empty()) << c.name << ": " << f.reports[0];
    EXPECT_EQ(file_included(f.reader, c.name), strcmp(c.expanded, "main") != 0) << c.name;
  }
}

// What a default include reads does not count as a file read before the
// precompiled header: the header after it is still probed. A command-line
// include's files do count.
TEST(Files, PreIncludedFilesKeepThePrecompiledHeaderProbe)
{
  file_tree tree;
  tree.add("sys/pre.h", "#include \"inner.h\"\n");
  tree.add("sys/inner.h", "");
  tree.add("x.h", "x\n");
  tree.add("x.h.zerd", "not an image\n");
  std::string main = tree.add("main.c", "#include \"x.h\"\n");
  std::string sys_name = tree.root + "/sys";
  search_dir sys = {nullptr, sys_name.c_str(), 0, 1, 1, nullptr, nullptr, 0, 0};
  struct {
    bool optional;
    int candidates;
  } cases[] = {
      {true, 1},
      {false, 0},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    f.reader->callbacks.valid_pch = refuse_pch;
    pch_candidates_seen = 0;
    EXPECT_EQ(run_after_default_include(f, main, "pre.h", &sys, c.optional), "x");
    EXPECT_EQ(pch_candidates_seen, c.candidates) << c.optional;
  }
}

// The main file's directory and the chain's first directory give the same
// path: found missing the first time, it is not probed for a precompiled
// header the second.
TEST(Files, KnownMissingPathsAreNotProbedForPrecompiledHeaders)
{
  file_tree tree;
  tree.add("y.h.zerd", "not an image\n");
  std::string main = tree.add("main.c", "#if __has_include(\"y.h\")\n#endif\n");
  search_dir root = {nullptr, tree.root.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
  pp_fixture f;
  f.reader->callbacks.valid_pch = refuse_pch;
  define_special_builtins(f.reader);
  pch_candidates_seen = 0;
  run(f, main, &root);
  EXPECT_EQ(pch_candidates_seen, 1);
}

// The main file is looked up as any file is: in the chain main_search
// names, entered on line 0 when text is injected before it, and naming the
// default dependency target.
TEST(Files, MainFileLookup)
{
  file_tree tree;
  tree.add("inc/m.c", "from_inc\n");
  std::string inc = tree.root + "/inc";
  struct {
    uint8_t main_search;
    bool found;
  } cases[] = {{0, false}, {2, true}, {3, true}};
  for (const auto &c : cases) {
    pp_fixture f;
    search_dir chain = {nullptr, inc.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
    install_include_chains(f.reader, &chain, &chain, false);
    f.options()->main_search = c.main_search;
    reader_post_options(f.reader);
    EXPECT_EQ(open_main_file(f.reader, "m.c", false) != nullptr, c.found) << int(c.main_search);
    if (c.found)
      EXPECT_EQ(f.expanded(), "from_inc");
    else
      EXPECT_EQ(f.reports, (words{"fatal: m.c: No such file or directory"}));
  }
  std::string main = tree.add("main.c", "x\n");
  for (bool injecting : {false, true}) {
    pp_fixture f;
    reader_post_options(f.reader);
    ASSERT_NE(open_main_file(f.reader, main.c_str(), injecting), nullptr);
    EXPECT_EQ(linemap_last_ordinary_map(f.lines.get())->first_line, injecting ? 0u : 1u);
  }
  pp_fixture f;
  f.options()->deps_style = 2;
  reader_post_options(f.reader);
  ASSERT_NE(open_main_file(f.reader, main.c_str(), false), nullptr);
  f.expanded();
  char *rules = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&rules, &size);
  deps_print(f.reader, stream, 72);
  fclose(stream);
  EXPECT_EQ(std::string(rules), "main.o: " + main + "\n");
  free(rules);
  // A lookup with no directory to start from is the library's own fault.
  f.reports.clear();
  EXPECT_EQ(_cpp_find_main_file(f.reader, "m.c", nullptr), nullptr);
  EXPECT_EQ(f.reports, (words{"ice: NULL directory in find_file"}));
}

// A bracket chain that is no tail of the quote chain is not searched:
// angled includes search the quote directories.
TEST(Files, BracketChainIsATailOfTheQuoteChain)
{
  file_tree tree;
  tree.add("quote/q.h", "in_quote\n");
  tree.add("apart/a.h", "in_apart\n");
  std::string main = tree.add("main.c", "#include <q.h>\n");
  std::string quote_name = tree.root + "/quote", apart_name = tree.root + "/apart";
  search_dir apart = {nullptr, apart_name.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
  search_dir quote = {nullptr, quote_name.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
  pp_fixture f;
  install_include_chains(f.reader, &quote, &apart, false);
  EXPECT_EQ(run(f, main), "in_quote");
  EXPECT_EQ(probe_header_path(f.reader, "q.h", true, 0), quote_name + "/q.h");
  EXPECT_EQ(probe_header_path(f.reader, "a.h", true, 0), nullptr);
  EXPECT_EQ(f.reports, (words{"fatal: a.h: No such file or directory"}));
}

// The main file retrofitted as an include of the quote directory it lies
// in: that directory becomes its own, and a system one makes it a system
// header from the current line.
TEST(Files, MainFileRetrofittedAsAnInclude)
{
  for (uint8_t system_kind : {0, 1}) {
    file_tree tree;
    std::string main = tree.add("inc/m.c", "x\n");
    std::string other_name = tree.root + "/in", inc_name = tree.root + "/inc";
    search_dir inc = {nullptr, inc_name.c_str(), 0, system_kind, 1, nullptr, nullptr, 0, 0};
    // A name that is a prefix of the path but no directory of it.
    search_dir other = {&inc, other_name.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
    pp_fixture f;
    install_include_chains(f.reader, &other, &other, false);
    reader_post_options(f.reader);
    ASSERT_NE(open_main_file(f.reader, main.c_str(), false), nullptr);
    cpp_retrofit_as_include(f.reader);
    const source_file *file = cpp_buffer_file(cpp_top_buffer(f.reader));
    EXPECT_EQ(cpp_file_dir(file), &inc);
    EXPECT_EQ(cpp_file_path(file), main);
    EXPECT_EQ(linemap_last_ordinary_map(f.lines.get())->in_system_header, system_kind);
    EXPECT_EQ(f.expanded(), "x");
  }
}

// A name that stat finds but open cannot read is there (__has_include is
// true), and looking it up is fatal where it stands; a directory of that
// name is no header at all, and the search goes past it.
TEST(Files, HeadersThatCannotBeOpenedAreThere)
{
  file_tree tree;
  tree.add("first/dir.h/keep", "");
  tree.add("second/dir.h", "second_dir\n");
  tree.add("first/only_dir.h/keep", "");
  tree.add("second/sock.h", "second_sock\n");
  std::string loop = tree.root + "/first/loop.h";
  ASSERT_EQ(symlink("loop.h", loop.c_str()), 0);
  tree.made.push_back(loop);
  std::string socket_path = tree.root + "/first/sock.h";
  int listener = tree.add_socket("first/sock.h");
  ASSERT_GE(listener, 0);
  first_then_second chain(tree);
  struct {
    bool missing; // a probe reports nothing
    const char *name;
    std::string probed, included, report;
  } cases[] = {
      {false, "dir.h", "there", "second_dir", "<none>"},
      {true, "only_dir.h", "", "", "fatal: only_dir.h: " + std::string(strerror(ENOENT))},
      {false, "sock.h", "there", "", "fatal: " + socket_path + ": " + strerror(ENXIO)},
      {false, "loop.h", "there", "", "fatal: " + loop + ": " + strerror(ELOOP)},
  };
  for (const auto &c : cases) {
    std::string test = std::string("#if __has_include(<") + c.name + ">)\nthere\n#endif\n";
    std::string main = tree.add("has.c", test);
    pp_fixture probed;
    define_special_builtins(probed.reader);
    EXPECT_EQ(run(probed, main, &chain.first), c.probed) << c.name;
    EXPECT_EQ(probed.reports.empty() ? "<none>" : probed.reports[0], c.missing ? "<none>" : c.report)
        << c.name;
    main = tree.add("include.c", std::string("#include <") + c.name + ">\n");
    pp_fixture included;
    EXPECT_EQ(run(included, main, &chain.first), c.included) << c.name;
    EXPECT_EQ(included.reports.empty() ? "<none>" : included.reports[0], c.report) << c.name;
  }
  close(listener);
}

// At the end of the chain the client may name the file to read; a name it
// gives that does not open leaves the header missing.
TEST(Files, MissingHeaderCallbackNamesAFileThatOpens)
{
  file_tree tree;
  static std::string given;
  std::string made = tree.add("made/gen.h", "made_text\n");
  std::string socket_path = tree.root + "/sock.h";
  int listener = tree.add_socket("sock.h");
  ASSERT_GE(listener, 0);
  struct {
    std::string path, probed, included, report;
  } cases[] = {
      {made, "there", "made_text", "<none>"},
      {socket_path, "", "", "fatal: gen.h: " + std::string(strerror(ENOENT))},
  };
  for (const auto &c : cases) {
    given = c.path;
    auto missing = [](preprocessor_reader *, const char *, void **) { return given.c_str(); };
    std::string main = tree.add("has.c", "#if __has_include(\"gen.h\")\nthere\n#endif\n");
    pp_fixture probed;
    probed.reader->callbacks.missing_header = missing;
    define_special_builtins(probed.reader);
    EXPECT_EQ(run(probed, main), c.probed) << c.path;
    main = tree.add("include.c", "#include \"gen.h\"\n");
    pp_fixture included;
    included.reader->callbacks.missing_header = missing;
    EXPECT_EQ(run(included, main), c.included) << c.path;
    EXPECT_EQ(included.reports.empty() ? "<none>" : included.reports[0], c.report) << c.path;
  }
  close(listener);
}

// The stat record of a file found is kept whole for the client.
TEST(Files, FoundFilesKeepTheirStatRecord)
{
  file_tree tree;
  std::string main = tree.add("main.c", "abc\n");
  struct stat expected;
  ASSERT_EQ(stat(main.c_str(), &expected), 0);
  pp_fixture f;
  reader_post_options(f.reader);
  ASSERT_NE(open_main_file(f.reader, main.c_str(), false), nullptr);
  const struct stat *kept = cpp_file_stat(cpp_buffer_file(cpp_top_buffer(f.reader)));
  EXPECT_TRUE(S_ISREG(kept->st_mode));
  EXPECT_EQ(kept->st_size, 4);
  EXPECT_EQ(kept->st_mtime, expected.st_mtime);
  EXPECT_EQ(kept->st_dev, expected.st_dev);
  EXPECT_EQ(kept->st_ino, expected.st_ino);
}

// A client may clear the cache while files are being read (after reading a
// precompiled header, say): the files on the buffer stack and the main file
// stay, the include chain keeps its remap tables, and later lookups search
// afresh.
TEST(Files, ResetCacheKeepsTheFilesBeingRead)
{
  file_tree tree;
  tree.add("inc/header.vuz", "short.h real.h\n");
  tree.add("inc/real.h", "remapped\n");
  tree.add("inner.h", "inner\n");
  tree.add("outer.h", "first\n#include \"inner.h\"\n#include <short.h>\n");
  std::string main =
      tree.add("main.c", "#include <short.h>\n#include \"outer.h\"\n#include \"inner.h\"\n");
  std::string inc = tree.root + "/inc";
  search_dir bracket = {nullptr, inc.c_str(), 0, 0, 1, nullptr, nullptr, 0, 0};
  pp_fixture f;
  f.options()->use_remap_files = true;
  install_include_chains(f.reader, &bracket, &bracket, false);
  reader_post_options(f.reader);
  ASSERT_NE(open_main_file(f.reader, main.c_str(), false), nullptr);
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "remapped");
  EXPECT_EQ(f.spell(cpp_get_token(f.reader)), "first");
  reset_file_cache(f.reader);
  EXPECT_EQ(f.expanded(), "inner remapped inner");
  EXPECT_TRUE(f.reports.empty()) << f.reports[0];
}

// A directory the library makes is one record per name, whatever kind a
// later request asks for, so lookups from it share their entries; after a
// reset the name is made afresh.
TEST(Files, MadeDirectoriesAreOnePerName)
{
  pp_fixture f;
  // Copies: names match by their text, not by their address.
  std::string dot_name = "./", sub_name = "sub/";
  search_dir *dot = make_search_dir(f.reader, "./", SYSTEM_NONE);
  search_dir *sub = make_search_dir(f.reader, "sub/", SYSTEM_HEADER);
  EXPECT_NE(sub, dot);
  EXPECT_EQ(make_search_dir(f.reader, dot_name.c_str(), SYSTEM_HEADER), dot);
  EXPECT_EQ(make_search_dir(f.reader, sub_name.c_str(), SYSTEM_NONE), sub);
  EXPECT_EQ(dot->system_kind, SYSTEM_NONE);
  EXPECT_EQ(sub->length, 4u);
  reset_file_cache(f.reader);
  search_dir *fresh = make_search_dir(f.reader, "./", SYSTEM_HEADER);
  EXPECT_NE(fresh, dot);
  EXPECT_EQ(fresh->system_kind, SYSTEM_HEADER);
  EXPECT_EQ(make_search_dir(f.reader, dot_name.c_str(), SYSTEM_NONE), fresh);
}
