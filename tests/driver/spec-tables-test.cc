// The named specs and the compiler table: lookups through the built-in index
// beside the specs that files add, and choices that remember the rows' suffix
// lengths, stay right when the texts and the table change.
#include "driver/specs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

struct SpecTables : testing::Test {
  void SetUp() override
  {
    init_builtin_compilers();
    init_builtin_specs();
  }
  void TearDown() override { reset_spec_tables(); }

  // The row a file name chooses, "(none)" for a linker input.
  // Whether SP is a record of the list the interpreter reads.
  static bool listed(const named_spec *sp)
  {
    for (const named_spec *in = spec_tables.specs; in; in = in->next)
      if (in == sp)
        return true;
    return false;
  }

  static std::string language_of(const char *name)
  {
    compiler_entry *row = choose_compiler_row(name, strlen(name), nullptr);
    return row ? row->suffix : "(none)";
  }
};

}  // namespace

// The same place in a text may name another spec later, as a spec file's
// text does when its memory is reused.
TEST_F(SpecTables, ANameAtTheSamePlaceIsLookedUpAgain)
{
  char text[] = "cpp_options";
  named_spec *cpp = lookup_named_spec(text, strlen(text));
  ASSERT_NE(cpp, nullptr);
  EXPECT_STREQ(cpp->name, "cpp_options");
  EXPECT_EQ(lookup_named_spec(text, strlen(text)), cpp);
  strcpy(text, "cpp");
  named_spec *shorter = lookup_named_spec(text, strlen(text));
  ASSERT_NE(shorter, nullptr);
  EXPECT_STREQ(shorter->name, "cpp");
  strcpy(text, "nosuchspec");
  EXPECT_EQ(lookup_named_spec(text, strlen(text)), nullptr);
  define_spec("nosuchspec", "now defined", true);
  named_spec *defined = lookup_named_spec(text, strlen(text));
  ASSERT_NE(defined, nullptr);
  EXPECT_STREQ(*defined->value_location, "now defined");
}

// Each built-in name finds its own record of the list, a longer or a
// shorter name none of them.
TEST_F(SpecTables, EveryBuiltinNameFindsItsRecord)
{
  for (const builtin_spec_text *table : {builtin_static_spec_texts, builtin_target_spec_texts})
    for (const builtin_spec_text *row = table; row->name; row++) {
      named_spec *sp = lookup_named_spec(row->name, row->name_length);
      ASSERT_NE(sp, nullptr) << row->name;
      EXPECT_STREQ(sp->name, row->name);
      EXPECT_TRUE(listed(sp)) << row->name;
    }
  std::string longer(builtin_spec_longest_name + 1, 'a');
  EXPECT_EQ(lookup_named_spec(longer.c_str(), longer.size()), nullptr);
  EXPECT_EQ(lookup_named_spec("", 0), nullptr);
  EXPECT_EQ(lookup_named_spec("cp", 2), nullptr);
}

// A spec file that comes before the built-in initialisation leaves the
// target specs out of the list: a spec it names so is one of its own.
TEST_F(SpecTables, TargetNamesDefinedFirstAreSpecsOfTheirOwn)
{
  reset_spec_tables();
  const char *target = builtin_target_spec_texts[0].name;
  define_spec(target, "from a file", true);
  named_spec *sp = lookup_named_spec(target, strlen(target));
  ASSERT_NE(sp, nullptr);
  EXPECT_STREQ(*sp->value_location, "from a file");
  EXPECT_TRUE(listed(sp));
  init_builtin_specs();
  EXPECT_EQ(lookup_named_spec(target, strlen(target)), sp);
}

// A row that a spec file adds after a choice is seen by the next choice.
TEST_F(SpecTables, RowsAddedLaterAreChosen)
{
  EXPECT_EQ(language_of("x.c"), "@c");  // through the suffix row to its language
  EXPECT_EQ(language_of("x.zzq"), "(none)");
  EXPECT_EQ(language_of(".c"), "(none)");  // nothing before the suffix
  char file[] = "/tmp/spec-tablesXXXXXX";
  int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  const char text[] = ".zzq:\nzzq %i\n\n*link_command:\nx\n";
  ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
  close(fd);
  load_spec_file(file, false, true);
  unlink(file);
  EXPECT_EQ(language_of("x.zzq"), ".zzq");
  EXPECT_EQ(language_of("x.c"), "@c");
}
