// Precompiled headers probed before a header and read instead of it, through
// a test client that writes and reads its own small format, and the pragma
// names kept across a replaced identifier table.
#include "tests/libsprenk/file-tree.h"

#include "support/alloc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// The client's format: this line, one macro definition a line ("NAME BODY"
// or "NAME(PARAMS) BODY"), an empty line, then the file-digest table.
const char PCH_MAGIC[] = "TPCH\n";
enum { PCH_MAGIC_LENGTH = 5 };

struct pch_client {
  static words &validated()
  {
    static words names;
    return names;
  }
  // "pch-path <- header-path" for every read.
  static words &reads()
  {
    static words names;
    return names;
  }

  static int valid(preprocessor_reader *, const char *name, int fd)
  {
    validated().push_back(name);
    char magic[PCH_MAGIC_LENGTH];
    return pread(fd, magic, sizeof magic, 0) == PCH_MAGIC_LENGTH &&
           memcmp(magic, PCH_MAGIC, PCH_MAGIC_LENGTH) == 0;
  }

  static void read(preprocessor_reader *reader, const char *name, int fd, const char *header)
  {
    reads().push_back(std::string(name) + " <- " + header);
    FILE *stream = fdopen(fd, "rb");
    ASSERT_NE(stream, nullptr);
    fseek(stream, PCH_MAGIC_LENGTH, SEEK_SET);
    char *line = nullptr;
    size_t allocated = 0;
    for (ssize_t length; (length = getline(&line, &allocated, stream)) > 1;) {
      line[length - 1] = '\0';
      define_builtin_text(reader, line);
    }
    free(line);
    EXPECT_TRUE(load_digest_table(stream));
    fclose(stream);
  }

  // Installs both callbacks (only the validity one when READS is false).
  explicit pch_client(pp_fixture &f, bool reads_too = true)
  {
    validated().clear();
    reads().clear();
    f.reader->callbacks.valid_pch = valid;
    if (reads_too)
      f.reader->callbacks.read_pch = read;
  }
  ~pch_client() { forget_digest_table(); }
};

// Writes, at PATH, the client's image of a run over HEADER: its macros and
// the digests of the files it read.
void write_pch(const std::string &header, const std::string &path)
{
  pp_fixture f;
  run(f, header);
  FILE *stream = fopen(path.c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  fputs(PCH_MAGIC, stream);
  cpp_each_identifier(
      f.reader,
      [](preprocessor_reader *reader, ident_node *node, void *data) {
        if (node->kind == IK_MACRO)
          fprintf(static_cast<FILE *>(data), "%s\n", cpp_macro_text(reader, node));
        return 1;
      },
      stream);
  fputc('\n', stream);
  EXPECT_TRUE(write_digest_table(f.reader, stream));
  fclose(stream);
}

// What the library writes to standard error during a run.
struct stderr_capture {
  FILE *file = tmpfile();
  int saved;
  stderr_capture()
  {
    fflush(stderr);
    saved = dup(2);
    dup2(fileno(file), 2);
  }
  std::string finish()
  {
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    rewind(file);
    for (int c; (c = getc(file)) != EOF;)
      text += char(c);
    fclose(file);
    return text;
  }
};

// A run over MAIN with included files listed: its output and the listing.
struct listed_run {
  std::string output, listed;
};

listed_run run_listing(pp_fixture &f, const std::string &main)
{
  f.options()->list_included_files = 1;
  stderr_capture capture;
  std::string output = run(f, main);
  return {output, capture.finish()};
}

} // namespace

TEST(PrecompiledHeaders, AValidImageIsReadInsteadOfTheHeader)
{
  file_tree tree;
  std::string header = tree.add("pre.h", "#define FROM_HEADER 1\n#define F(x) [x]\nheader_text\n");
  std::string pch = tree.add("pre.h.zerd", "");
  write_pch(header, pch);
  std::string main = tree.add("main.c", "#include \"pre.h\"\nF(FROM_HEADER)\n");
  pp_fixture f;
  pch_client client(f);
  EXPECT_EQ(run(f, main), "[ 1 ]");
  EXPECT_EQ(pch_client::reads(), (words{pch + " <- " + header}));
  EXPECT_TRUE(f.reports.empty());
}

// Whether the header is read, which reports follow, for an image that is or
// is not valid beside a header that does or does not exist.
TEST(PrecompiledHeaders, ProbingOutcomes)
{
  const std::string invalid_error = "error: one or more PCH files were found, but they were invalid";
  const std::string note = "note: use -Winvalid-pch for more information";
  struct {
    bool valid;
    bool header_exists;
    bool warn_invalid_pch;
    const char *output;
    words reports; // the fatal missing-file report is shortened to "fatal"
  } cases[] = {
      {false, true, false, "header_text end", {}},
      {false, false, false, "end", {invalid_error, note, "fatal"}},
      {false, false, true, "end", {invalid_error, "fatal"}},
      // A valid image needs its header beside it.
      {true, false, false, "end", {"fatal"}},
      {true, true, false, "end", {}},
  };
  for (const auto &c : cases) {
    file_tree tree;
    if (c.header_exists)
      tree.add("pre.h", "header_text\n");
    std::string pch = tree.add("pre.h.zerd", "not an image\n");
    if (c.valid)
      write_pch(tree.add("image.h", ""), pch);
    std::string main = tree.add("main.c", "#include \"pre.h\"\nend\n");
    pp_fixture f;
    f.options()->warn_invalid_pch = c.warn_invalid_pch;
    pch_client client(f);
    std::string output = run(f, main);
    for (std::string &report : f.reports)
      if (report.rfind("fatal: ", 0) == 0)
        report = "fatal";
    SCOPED_TRACE(std::string(c.valid ? "valid" : "invalid") + (c.header_exists ? " header" : ""));
    if (c.reports.empty() || c.reports.back() != "fatal")
      EXPECT_EQ(output, c.output);
    EXPECT_EQ(f.reports, c.reports);
    EXPECT_EQ(pch_client::validated(), (words{pch}));
  }
}

// A directory of images is tried entry by entry until one is valid; each
// candidate is listed with its verdict when included files are listed.
TEST(PrecompiledHeaders, ADirectoryOfCandidates)
{
  file_tree tree;
  tree.add("pre.h", "header_text\n");
  tree.add("pre.h.zerd/a-bad", "stale\n");
  tree.add("pre.h.zerd/b-bad", "stale\n");
  std::string good = tree.add("pre.h.zerd/good", "");
  write_pch(tree.add("image.h", "#define IMAGE 1\n"), good);
  std::string main = tree.add("main.c", "#include \"pre.h\"\nIMAGE\n");
  pp_fixture f;
  pch_client client(f);
  listed_run result = run_listing(f, main);
  EXPECT_EQ(result.output, "1");
  EXPECT_EQ(pch_client::reads(), (words{good + " <- " + tree.root + "/pre.h"}));
  // Directory order decides how many refused candidates come first.
  const words &seen = pch_client::validated();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), good);
  std::string expected;
  for (size_t i = 0; i + 1 < seen.size(); i++)
    expected += "x " + seen[i] + "\n";
  expected += "! " + good + "\n";
  EXPECT_EQ(result.listed, expected);
}

// A candidate that is there but does not open is refused without asking the
// client, and listed as refused.
TEST(PrecompiledHeaders, ACandidateThatDoesNotOpen)
{
  file_tree tree;
  tree.add("pre.h", "header_text\n");
  int listener = tree.add_socket("pre.h.zerd");
  ASSERT_GE(listener, 0);
  std::string main = tree.add("main.c", "#include \"pre.h\"\n");
  pp_fixture f;
  pch_client client(f);
  listed_run result = run_listing(f, main);
  EXPECT_EQ(result.listed, "x " + tree.root + "/pre.h.zerd\n");
  EXPECT_EQ(result.output, "header_text");
  EXPECT_TRUE(pch_client::validated().empty());
  close(listener);
}

// An image holds what was read before it: once any other header has been
// looked up, none is probed.
TEST(PrecompiledHeaders, OnlyBeforeAnyOtherHeader)
{
  file_tree tree;
  tree.add("first.h", "first\n");
  std::string header = tree.add("pre.h", "#define IMAGE 0\n");
  write_pch(tree.add("image.h", "#define IMAGE 1\n"), tree.add("pre.h.zerd", ""));
  std::string main = tree.add("main.c", "#include \"first.h\"\n#include \"pre.h\"\nIMAGE\n");
  pp_fixture f;
  pch_client client(f);
  EXPECT_EQ(run(f, main), "first 0");
  EXPECT_TRUE(pch_client::validated().empty());
}

// Without a read callback a valid image cannot stand in: the header is read.
TEST(PrecompiledHeaders, NoReadCallbackReadsTheHeader)
{
  file_tree tree;
  tree.add("pre.h", "header_text\n");
  write_pch(tree.add("image.h", ""), tree.add("pre.h.zerd", ""));
  std::string main = tree.add("main.c", "#include \"pre.h\"\n");
  pp_fixture f;
  pch_client client(f, false);
  EXPECT_EQ(run(f, main), "header_text");
  EXPECT_EQ(pch_client::validated().size(), 1u);
}

// The image's digest table says which once-only headers it already holds:
// they are not read again, under any name with the same bytes.
TEST(PrecompiledHeaders, OnceOnlyHeadersOfTheImageAreNotReadAgain)
{
  file_tree tree;
  tree.add("once.h", "#pragma once\nonce_text\n");
  tree.add("copy.h", "#pragma once\nonce_text\n");
  tree.add("plain.h", "plain_text\n");
  std::string header = tree.add("pre.h", "#include \"once.h\"\n#include \"plain.h\"\n");
  write_pch(header, tree.add("pre.h.zerd", ""));
  std::string main = tree.add(
      "main.c", "#include \"pre.h\"\n#include \"once.h\"\n#include \"copy.h\"\n#include \"plain.h\"\n");
  pp_fixture f;
  pch_client client(f);
  EXPECT_EQ(run(f, main), "plain_text");
}

// A client that replaces the identifier table (with an image's nodes at new
// addresses) keeps its pragmas by their names.
TEST(PrecompiledHeaders, PragmaNamesSurviveAReplacedIdentifierTable)
{
  // Declared first: the reader reads the moved nodes until it is destroyed.
  std::vector<ident_node> moved;
  pp_fixture f;
  register_deferred_pragma(f.reader, "space", "deferred", 7, false, false);
  char **names = copy_pragma_names(f.reader);
  ident_table *table = f.reader->idents;
  moved.reserve(table->entry_count);
  ident_node **slots = checked_new_cleared<ident_node *>(table->slot_count);
  for (uint32_t i = 0; i < table->slot_count; i++) {
    ident_node *node = table->slots[i];
    if (node == nullptr || node == IDTAB_DELETED) {
      slots[i] = node;
      continue;
    }
    moved.push_back(*node);
    slots[i] = &moved.back();
    // The old node must not answer for its name any more.
    node->flags = 0;
    node->is_directive = 0;
  }
  idtab_adopt(table, slots, table->slot_count, table->entry_count, true);
  relookup_pragma_names(f.reader, names);
  std::string out;
  f.push("#pragma space deferred x\n#pragma VUZ warning \"w\"\n");
  for (const preproc_token *t = cpp_next_token(f.reader); t->kind != TK_EOF;
       t = cpp_next_token(f.reader))
    if (t->kind != TK_PADDING)
      out += (t->kind == TK_PRAGMA || t->kind == TK_PRAGMA_EOL ? cpp_kind_name(t->kind, 0)
                                                               : f.spell(t)) +
             std::string(" ");
  EXPECT_EQ(out, "PRAGMA x PRAGMA_EOL ");
  EXPECT_EQ(f.reports, (words{"warning: w"}));
}

namespace {

// A client that keeps definitions as text and supplies them when asked:
// the node's cookie is the index of its text plus one.
struct late_client {
  static std::vector<std::string> &texts()
  {
    static std::vector<std::string> all;
    return all;
  }
  static words &asked()
  {
    static words names;
    return names;
  }
  static macro_def *supply(preprocessor_reader *reader, location_t, ident_node *node)
  {
    asked().push_back(node->text);
    const std::string &text = texts()[node->deferred - 1];
    if (text.empty())
      return nullptr;
    define_builtin_text(reader, text.c_str());
    return node->value.macro;
  }
  static void complete(preprocessor_reader *, macro_def *, unsigned number)
  {
    asked().push_back("lazy " + std::to_string(number));
  }

  // NAME is deferred to TEXT; an empty text is refused when asked for.
  static void defer(pp_fixture &f, const char *name, const std::string &text)
  {
    texts().push_back(text);
    ident_node *node = cpp_intern(f.reader, name, uint32_t(strlen(name)));
    node->kind = IK_MACRO;
    node->value.macro = nullptr;
    node->deferred = uint32_t(texts().size());
  }

  explicit late_client(pp_fixture &f)
  {
    texts().clear();
    asked().clear();
    f.reader->callbacks.deferred_macro = supply;
    f.reader->callbacks.lazy_macro = complete;
  }
};

} // namespace

// A deferred definition is asked for once, wherever it is first needed; one
// the client refuses leaves a plain name.
TEST(LateDefinitions, DeferredDefinitionsAreAskedForWhenNeeded)
{
  struct {
    const char *text;
    const char *output;
    words reports;
  } cases[] = {
      {"a X X b\n", "a 42 42 b", {}},
      {"F(X)\n", "[ 42 ]", {}},
      {"#ifdef X\nyes\n#endif\n#ifndef GONE\nno\n#endif\n", "yes no", {}},
      {"#if defined X && !defined(GONE) && X == 42\nyes\n#endif\n", "yes", {}},
      {"GONE X\n", "GONE 42", {}},
      {"#define X 42\nX\n", "42", {}},
      {"#define X 43\nX\n", "43", {"pedwarn: \"X\" redefined", "note: this is the location of the previous definition"}},
      {"#define GONE 1\nGONE\n", "1", {}},
      {"#pragma push_macro(\"GONE\")\n#define GONE 2\n#pragma pop_macro(\"GONE\")\nGONE\n", "GONE", {}},
  };
  for (const auto &c : cases) {
    pp_fixture f;
    late_client client(f);
    reader_post_options(f.reader);
    f.posted = true;
    late_client::defer(f, "X", "X 42");
    late_client::defer(f, "F", "F(a) [a]");
    late_client::defer(f, "GONE", "");
    f.push(c.text);
    EXPECT_EQ(f.expanded(), c.output) << c.text;
    EXPECT_EQ(f.reports, c.reports) << c.text;
    words once = late_client::asked();
    std::sort(once.begin(), once.end());
    EXPECT_EQ(std::unique(once.begin(), once.end()), once.end()) << c.text;
  }
}

TEST(LateDefinitions, TextOfADeferredDefinition)
{
  pp_fixture f;
  late_client client(f);
  late_client::defer(f, "F", "F(a,b) a ## b");
  late_client::defer(f, "GONE", "");
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(
                cpp_macro_text(f.reader, cpp_intern(f.reader, "F", 1)))),
            "F(a,b) a ## b");
  ident_node *gone = cpp_intern(f.reader, "GONE", 4);
  EXPECT_EQ(cpp_macro_text(f.reader, gone), nullptr);
  EXPECT_EQ(gone->kind, IK_PLAIN);
}

// A lazy body is completed once, on the first use, with the client's number.
TEST(LateDefinitions, LazyBodiesAreCompletedOnFirstUse)
{
  pp_fixture f;
  late_client client(f);
  reader_post_options(f.reader);
  f.posted = true;
  define_builtin_text(f.reader, "L 1");
  cpp_mark_lazy_macro(f.reader, cpp_intern(f.reader, "L", 1), 5);
  f.push("#ifdef L\nL\n#endif\nL\n");
  EXPECT_EQ(f.expanded(), "1 1");
  EXPECT_EQ(late_client::asked(), (words{"lazy 5"}));
}
