// Dependency output: targets, make quoting, wrapping, vpath stripping, and
// the dump and load of saved dependencies, which treat the stream as
// untrusted.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

static std::string printed(dep_record *record, uint32_t limit = 0, bool phony = false,
                           bool modules = false)
{
  // The rules are a reader's: the record is lent to one for the print.
  pp_fixture f;
  f.options()->deps_phony_targets = phony;
  f.options()->deps_module_output = modules;
  f.reader->deps = record;
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  deps_print(f.reader, stream, limit);
  fclose(stream);
  f.reader->deps = nullptr;
  std::string result(text, size);
  free(text);
  return result;
}

TEST(Deps, ImplicitTargets)
{
  struct {
    const char *source;
    const char *expected;
  } cases[] = {{"dir/x.c", "x.o: a.h\n"}, {"README", "README.o: a.h\n"}, {"", "-: a.h\n"}};
  for (const auto &c : cases) {
    dep_record *record = deps_create();
    deps_add_implicit_target(record, c.source);
    deps_add_dep(record, "a.h");
    EXPECT_EQ(printed(record), c.expected) << c.source;
    deps_destroy(record);
  }
}

TEST(Deps, QuotingAndOrder)
{
  dep_record *record = deps_create();
  deps_add_rule_target(record, "q 1", true);
  deps_add_rule_target(record, "q$2", true);
  // An unquoted target goes first; the first quoted one moves to the end.
  deps_add_rule_target(record, "plain target", false);
  deps_add_dep(record, "my file.h");
  deps_add_dep(record, "cost$.h");
  deps_add_dep(record, "hash#.h");
  deps_add_dep(record, "back\\ slash.h");
  EXPECT_EQ(printed(record, 0, true),
            "plain target q$$2 q\\ 1: my\\ file.h cost$$.h hash\\#.h back\\\\\\ slash.h\n"
            "cost$$.h:\nhash\\#.h:\nback\\\\\\ slash.h:\n");
  deps_destroy(record);
}

TEST(Deps, WrapsAndStripsVpath)
{
  dep_record *record = deps_create();
  deps_add_vpath_list(record, "::src");
  deps_add_rule_target(record, "t.o", true);
  deps_add_dep(record, "src/a.h");
  deps_add_dep(record, "src/../b.h");
  deps_add_dep(record, "./c.h");
  deps_add_dep(record, "/abs/d.h");
  for (int i = 0; i < 4; i++)
    deps_add_dep(record, "a-rather-long-header-name.h");
  std::string text = printed(record, 20);
  // Each piece of the list is an entry, the empty ones too; an empty one
  // strips nothing, so an absolute name keeps its root.
  EXPECT_EQ(text.substr(0, 32), "t.o: a.h src/../b.h c.h /abs/d.h");
  EXPECT_NE(text.find(" \\\n a-rather-long-header-name.h"), std::string::npos);
  deps_destroy(record);
}

static FILE *stream_of(const std::string &bytes)
{
  FILE *stream = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), stream);
  rewind(stream);
  return stream;
}

static std::string u64(uint64_t value)
{
  std::string out;
  for (int i = 0; i < 8; i++)
    out += char(value >> (8 * i));
  return out;
}

TEST(Deps, DumpAndLoadDropOwnName)
{
  dep_record *saved = deps_create();
  deps_add_dep(saved, "a.h");
  deps_add_dep(saved, "self.h");
  FILE *stream = tmpfile();
  ASSERT_EQ(deps_dump(saved, stream), 0);
  rewind(stream);
  dep_record *loaded = deps_create();
  deps_add_rule_target(loaded, "t", true);
  ASSERT_EQ(deps_load(loaded, stream, "self.h"), 0);
  EXPECT_EQ(printed(loaded), "t: a.h\n");
  fclose(stream);
  deps_destroy(saved);
  deps_destroy(loaded);
}

TEST(Deps, LoadRefusesLiesAboutSizes)
{
  std::string streams[] = {
      u64(0xffffffff),                            // more entries than bytes
      u64(1) + u64(UINT64_MAX) + "x",             // a length beyond the stream
      u64(2) + u64(1) + "a" + u64(5) + "bc",      // short last entry
      u64(1),                                     // no entry at all
  };
  for (const std::string &bytes : streams) {
    FILE *stream = stream_of(bytes);
    dep_record *record = deps_create();
    deps_add_rule_target(record, "t", true);
    EXPECT_EQ(deps_load(record, stream, "own"), -1);
    EXPECT_EQ(printed(record), "");
    deps_destroy(record);
    fclose(stream);
  }
}

// With module output, the modules imported and provided get rules of their
// own after the unit's; without it, only the unit's rule is written.
TEST(Deps, ModuleRules)
{
  struct {
    const char *provided;    // module name, or null
    const char *file;        // its compiled-module file
    bool header_unit;
    bool imports;
    bool module_output;
    const char *expected;
  } cases[] = {
      {"m", "m.cmi", false, true, true,
       "t.o m.cmi: a.h\n"
       "t.o m.cmi: x.c++m y:p.c++m\n"
       "m.c++m: m.cmi\n.PHONY: m.c++m\nm.cmi:| t.o\n"
       "CXX_IMPORTS += x.c++m y:p.c++m\n"},
      {"./h.h", "h.cmi", true, false, true,
       "t.o h.cmi: a.h\n"
       "./h.h.c++m: h.cmi\n.PHONY: ./h.h.c++m\n"},
      {nullptr, nullptr, false, true, true,
       "t.o: a.h\nt.o: x.c++m y:p.c++m\nCXX_IMPORTS += x.c++m y:p.c++m\n"},
      {"m", nullptr, false, false, true, "t.o: a.h\n"},
      {"m", "m.cmi", false, true, false, "t.o: a.h\n"},
  };
  for (const auto &c : cases) {
    dep_record *record = deps_create();
    deps_add_rule_target(record, "t.o", true);
    deps_add_dep(record, "a.h");
    if (c.provided)
      deps_add_module_target(record, c.provided, c.file, c.header_unit);
    if (c.imports) {
      deps_add_imported_module(record, "x");
      deps_add_imported_module(record, "y:p");
    }
    EXPECT_EQ(printed(record, 0, false, c.module_output), c.expected) << c.provided;
    deps_destroy(record);
  }
}

// Module names are quoted for make as file names are, and long module
// rules wrap at the limit.
TEST(Deps, ModuleRulesQuoteAndWrap)
{
  dep_record *record = deps_create();
  deps_add_rule_target(record, "t.o", true);
  deps_add_module_target(record, "a$b", "a-very-long-compiled-module-file-name.cmi", false);
  deps_add_imported_module(record, "c d");
  EXPECT_EQ(printed(record, 34, false, true),
            "t.o \\\n a-very-long-compiled-module-file-name.cmi: \\\n c\\ d.c++m\n"
            "a$$b.c++m: \\\n a-very-long-compiled-module-file-name.cmi\n"
            ".PHONY: a$$b.c++m\n"
            "a-very-long-compiled-module-file-name.cmi:| \\\n t.o\n"
            "CXX_IMPORTS += c\\ d.c++m\n");
  deps_destroy(record);
}
