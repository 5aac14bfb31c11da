// The report core and its entry points, as the driver uses them: texts,
// counts, classification and the ways a run ends.
#include "diagnostics/diagnostic.h"

#include "diagnostics/internal.h"
#include "support/alloc.h"
#include "support/internal-abort.h"
#include "tests/common/temp-dir.h"
#include "tests/diagnostics/child-run.h"
#include "tests/locations/line-map-fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

namespace {

// This test's source file f.c, in a fresh directory that becomes the working
// directory (of the child that reports).
struct source_dir {
  TempDir dir;
  source_dir()
  {
    FILE *f = fopen((dir / "f.c").c_str(), "w");
    fputs("\tx = yy;\nint a;\n", f);
    fclose(f);
    EXPECT_EQ(chdir(dir.path.c_str()), 0);
  }
};

// The notice after an internal error whose backtrace was printed.
const char bug_notice[] =
    "Please submit a full bug report, with preprocessed source (by using -freport-bug).\n"
    "Please include the complete backtrace with any bug report.\n"
    "See <https://vuz.invalid/bugs/> for instructions.\n";

// Standard error without the backtrace's frames (a "0x..." line and its
// tab-indented location), which depend on the build; backtrace-test.cc checks them.
std::string without_frames(const std::string &err)
{
  std::string kept;
  size_t at = 0;
  while (at < err.size()) {
    size_t end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    size_t next_end = err.find('\n', end);
    if (err.compare(at, 2, "0x") == 0 && end < err.size() && err[end] == '\t') {
      at = next_end == std::string::npos ? err.size() : next_end + 1;
      continue;
    }
    kept.append(err, at, end - at);
    at = end;
  }
  return kept;
}

// One run of the program in a child: the context is set up as the driver sets
// it up, the body reports, and a normal end tears the context down.
child_outcome session(const std::function<void(diagnostic_state *)> &body, int option_count = 0)
{
  return run_in_child([&] {
    alloc_set_program_name("vuz");
    diagnostic_state *context = &global_diagnostic_state;
    diagnostic_state_init(context, option_count);
    body(context);
    diagnostic_state_finish(context);
  });
}

void expect_outcome(const child_outcome &outcome, int status, const std::string &err)
{
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.status, status);
  EXPECT_EQ(without_frames(outcome.err), err);
}

TEST(Diagnostic, DriverReportsWithoutLocation)
{
  expect_outcome(session([](diagnostic_state *) {
                   error_at_loc(0, "unrecognized command-line option %qs", "-fbogus");
                   warning_at_loc(0, 0, "%qs is deprecated", "-x");
                   inform_loc(0, "valid arguments are: %s", "a b");
                   sorry_here("not %d", 2);
                   error_at_loc(1, "from the built-in file");
                   fprintf(stderr, "%d\n", errors_reported());
                 }),
                 0,
                 "vuz: error: unrecognized command-line option '-fbogus'\n"
                 "vuz: warning: '-x' is deprecated\n"
                 "vuz: note: valid arguments are: a b\n"
                 "vuz: sorry, unimplemented: not 2\n"
                 "<built-in>: error: from the built-in file\n"
                 "1\n");
}

TEST(Diagnostic, ColouredPrefix)
{
  expect_outcome(session([](diagnostic_state *context) {
                   context->printer->show_color = true;
                   error_at_loc(0, "bad %<x%>");
                   emit_report(DK_PEDWARN, 0, 0, "pedantic");
                 }),
                 0,
                 "\33[01m\33[Kvuz:\33[m\33[K \33[01;31m\33[Kerror: \33[m\33[Kbad "
                 "'\33[01m\33[Kx\33[m\33[K'\n"
                 "\33[01m\33[Kvuz:\33[m\33[K \33[01;35m\33[Kwarning: \33[m\33[Kpedantic\n");
}

TEST(Diagnostic, FatalErrorEndsTheRun)
{
  expect_outcome(session([](diagnostic_state *) {
                   fatal_error(0, "no input files");
                 }),
                 1, "vuz: fatal error: no input files\ncompilation terminated.\n");
}

TEST(Diagnostic, WerrorTurnsWarningsIntoErrors)
{
  expect_outcome(session([](diagnostic_state *context) {
                   context->werror_all = true;
                   warning_at_loc(0, 0, "w");
                   fprintf(stderr, "%d\n", errors_reported());
                 }),
                 0, "vuz: error: w\n1\nvuz: all warnings being treated as errors\n");
  expect_outcome(session(
                     [](diagnostic_state *context) {
                       classify_option_kind(context, 5, DK_ERROR, 0);
                       warning_at_loc(0, 5, "w5");
                       warning_at_loc(0, 6, "w6");
                     },
                     10),
                 0, "vuz: error: w5\nvuz: warning: w6\nvuz: some warnings being treated as errors\n");
}

TEST(Diagnostic, ErrorLimit)
{
  // Warnings turned into errors count towards the limit, notes never do, and
  // the final note still comes out.
  expect_outcome(session(
                     [](diagnostic_state *context) {
                       context->max_errors = 2;
                       classify_option_kind(context, 1, DK_ERROR, 0);
                       warning_at_loc(0, 1, "first");
                       error_at_loc(0, "second");
                       inform_loc(0, "a note");
                       error_at_loc(0, "third");
                       fprintf(stderr, "not reached\n");
                     },
                     2),
                 1,
                 "vuz: error: first\nvuz: error: second\nvuz: note: a note\n"
                 "compilation terminated due to -fmax-errors=2.\n"
                 "vuz: some warnings being treated as errors\n");
  expect_outcome(session([](diagnostic_state *context) {
                   context->max_errors = 1;
                   error_at_loc(0, "first");
                   internal_error_no_backtrace("second");
                 }),
                 1, "vuz: error: first\ncompilation terminated due to -fmax-errors=1.\n");
  // An internal error with a backtrace is never held back by the limit.
  expect_outcome(session([](diagnostic_state *context) {
                   context->max_errors = 1;
                   error_at_loc(0, "first");
                   internal_error("second");
                 }),
                 4, "vuz: error: first\nvuz:0: confused by earlier errors, bailing out\n");
}

TEST(Diagnostic, FatalErrorsOption)
{
  expect_outcome(session([](diagnostic_state *context) {
                   context->fatal_errors = true;
                   warning_at_loc(0, 0, "only a warning");
                   error_at_loc(0, "e");
                   fprintf(stderr, "not reached\n");
                 }),
                 1,
                 "vuz: warning: only a warning\nvuz: error: e\n"
                 "compilation terminated due to -Wfatal-errors.\n");
}

TEST(Diagnostic, DroppedReportsCountNothing)
{
  int begins = 0;
  expect_outcome(session([&](diagnostic_state *context) {
                   context->no_notes = true;
                   context->no_warnings = true;
                   context->on_group_begin = [](diagnostic_state *) { fputs("<", stderr); };
                   context->on_group_end = [](diagnostic_state *) { fputs(">", stderr); };
                   inform_loc(0, "n");
                   EXPECT_FALSE(warning_at_loc(0, 0, "w"));
                   EXPECT_FALSE(pedwarn_at_loc(0, 0, "p"));
                   for (int kind = 0; kind < DK_LAST_DIAGNOSTIC_KIND; kind++)
                     begins += context->kind_counts[kind];
                   fprintf(stderr, "%d\n", begins + errors_reported());
                   error_at_loc(0, "e");
                 }),
                 0, "0\n<vuz: error: e\n>");
}

TEST(Diagnostic, PermissiveAndPedantic)
{
  expect_outcome(session([](diagnostic_state *context) {
                   permerror_at_loc(0, "p1");
                   context->permissive = true;
                   permerror_at_loc(0, "p2");
                   pedwarn_at_loc(0, 0, "p3");
                   context->pedantic_errors = true;
                   pedwarn_at_loc(0, 0, "p4");
                   fprintf(stderr, "%d %d\n", context->kind_counts[DK_ERROR],
                           context->kind_counts[DK_WARNING]);
                 }),
                 0,
                 "vuz: error: p1\nvuz: warning: p2\nvuz: warning: p3\nvuz: error: p4\n2 2\n");
}

TEST(Diagnostic, CountForms)
{
  expect_outcome(session([](diagnostic_state *) {
                   for (unsigned long n : {0ul, 1ul, 2ul})
                     warning_count_at_loc(0, 0, n, "%lu file", "%lu files", n);
                   inform_count(0, 1, "one", "many");
                   error_count_at_loc(0, 3, "one", "many");
                 }),
                 0,
                 "vuz: warning: 0 files\nvuz: warning: 1 file\nvuz: warning: 2 files\n"
                 "vuz: note: one\nvuz: error: many\n");
}

TEST(Diagnostic, CweAndOptionSuffixes)
{
  expect_outcome(session([](diagnostic_state *context) {
                   context->show_cwe = true;
                   context->show_option = true;
                   context->printer->url_format = 1;
                   diagnostic_meta meta = {119};
                   located_ranges ranges;
                   located_ranges_init(&ranges, nullptr, 0, nullptr);
                   warning_meta(&ranges, meta, 0, "overflow");
                   meta.cwe = 0;
                   warning_meta(&ranges, meta, 0, "no weakness");
                   located_ranges_fini(&ranges);
                   context->name_of_option = [](diagnostic_state *, int option, diagnostic_kind,
                                                diagnostic_kind) -> char * {
                     return option ? format_alloc("-Wopt%d", option) : nullptr;
                   };
                   context->url_of_option = [](diagnostic_state *, int option) -> char * {
                     return format_alloc("https://x/%d", option);
                   };
                   warning_at_loc(0, 0, "no name");
                   warning_at_loc(0, 3, "named");
                   context->printer->show_color = true;
                   context->printer->url_format = 2;
                   warning_at_loc(0, 3, "c");
                 }),
                 0,
                 "vuz: warning: overflow [\33]8;;https://cwe.mitre.org/data/definitions/"
                 "119.html\33\\CWE-119\33]8;;\33\\]\n"
                 "vuz: warning: no weakness\n"
                 "vuz: warning: no name\n"
                 "vuz: warning: named [\33]8;;https://x/3\33\\-Wopt3\33]8;;\33\\]\n"
                 "\33[01m\33[Kvuz:\33[m\33[K \33[01;35m\33[Kwarning: \33[m\33[Kc "
                 "[\33[01;35m\33[K\33]8;;https://x/3\a-Wopt3\33]8;;\a\33[m\33[K]\n");
}

// A line table with one file, "c.c", of 9 lines; line n starts at at[n].
struct one_file {
  test_line_table t;
  location_t at[10];
  one_file()
  {
    line_table = t.get();
    linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "c.c", 1);
    for (uint32_t n = 1; n <= 9; n++)
      at[n] = linemap_start_line(t.get(), n, 80);
  }
  ~one_file() { line_table = nullptr; }
};

TEST(Diagnostic, ClassificationByLocationWithPushAndPop)
{
  expect_outcome(session(
                     [](diagnostic_state *context) {
                       one_file f;
                       EXPECT_EQ(classify_option_kind(context, 4, DK_ERROR, f.at[2]), DK_WARNING);
                       warning_at_loc(f.at[1], 4, "before");
                       warning_at_loc(f.at[3], 4, "after");
                       classification_push(context);
                       EXPECT_EQ(classify_option_kind(context, 4, DK_IGNORED, f.at[4]), DK_ERROR);
                       classification_pop(context, f.at[6]);
                       EXPECT_FALSE(warning_at_loc(f.at[5], 4, "inside"));
                       warning_at_loc(f.at[7], 4, "after pop");
                       EXPECT_TRUE(warning_reportable_at(f.at[7], 4));
                       EXPECT_FALSE(warning_reportable_at(f.at[5], 4));
                       // A pop with no push hides everything before it.
                       classification_pop(context, f.at[8]);
                       warning_at_loc(f.at[9], 4, "after lone pop");
                     },
                     10),
                 0,
                 "c.c:1: warning: before\nc.c:3: error: after\nc.c:7: error: after pop\n"
                 "c.c:9: warning: after lone pop\n"
                 "vuz: some warnings being treated as errors\n");
}

TEST(Diagnostic, SystemHeaders)
{
  expect_outcome(session([](diagnostic_state *context) {
                   test_line_table t;
                   line_table = t.get();
                   linemap_add_ordinary_map(t.get(), LC_ENTER, 1, "sys.h", 1);
                   location_t in_header = linemap_start_line(t.get(), 4, 80);
                   EXPECT_FALSE(warning_at_loc(in_header, 0, "dropped"));
                   EXPECT_FALSE(pedwarn_at_loc(in_header, 0, "dropped"));
                   EXPECT_FALSE(warning_reportable_at(in_header, 0));
                   error_at_loc(in_header, "errors still show");
                   context->warn_in_system_headers = true;
                   warning_at_loc(in_header, 0, "shown");
                   line_table = nullptr;
                 }),
                 0, "sys.h:4: error: errors still show\nsys.h:4: warning: shown\n");
}

TEST(Diagnostic, LocationTexts)
{
  expect_outcome(session([](diagnostic_state *context) {
                   source_dir here;
                   test_line_table t;
                   line_table = t.get();
                   const ordinary_map *map =
                       linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "f.c", 1);
                   linemap_start_line(t.get(), 1, 80);
                   linemap_start_line(t.get(), 2, 80);
                   location_t after_tab = linemap_line_column_location(t.get(), map, 1, 2);
                   location_t column_0 = linemap_line_column_location(t.get(), map, 2, 0);
                   error_at_loc(after_tab, "no column");
                   context->show_column = true;
                   error_at_loc(after_tab, "display column");
                   error_at_loc(column_0, "column 0");
                   context->column_unit = 1;
                   error_at_loc(after_tab, "byte column");
                   context->column_origin = 0;
                   error_at_loc(after_tab, "byte column from 0");
                   context->column_unit = 0;
                   context->tab_stop = 4;
                   error_at_loc(after_tab, "tab stop 4, origin 0");
                   line_table = nullptr;
                 }),
                 0,
                 "f.c:1: error: no column\nf.c:1:9: error: display column\n"
                 "f.c:2: error: column 0\nf.c:1:2: error: byte column\n"
                 "f.c:1:1: error: byte column from 0\nf.c:1:4: error: tab stop 4, origin 0\n");
}

TEST(Diagnostic, IncludeChain)
{
  expect_outcome(session([](diagnostic_state *) {
                   test_line_table t;
                   line_table = t.get();
                   linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "main.c", 1);
                   linemap_start_line(t.get(), 3, 80);
                   linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "a.h", 1);
                   linemap_start_line(t.get(), 2, 80);
                   linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "b.h", 1);
                   location_t deep = linemap_start_line(t.get(), 7, 80);
                   error_at_loc(deep, "deep");
                   error_at_loc(deep, "again");
                   linemap_add_ordinary_map(t.get(), LC_LEAVE, 0, nullptr, 0);
                   location_t back = linemap_start_line(t.get(), 3, 80);
                   error_at_loc(back, "back");
                   line_table = nullptr;
                 }),
                 0,
                 "In file included from a.h:2,\n"
                 "                 from main.c:3:\n"
                 "b.h:7: error: deep\nb.h:7: error: again\na.h:3: error: back\n");
}

TEST(Diagnostic, ParseableFixits)
{
  for (const char *version : {"fixits-v1", "fixits-v2"}) {
    child_outcome outcome = run_in_child([version] {
      setenv("VUZ_EXTRA_DIAGNOSTIC_OUTPUT", version, 1);
      source_dir here;
      alloc_set_program_name("vuz");
      diagnostic_state_init(&global_diagnostic_state, 0);
      test_line_table t;
      line_table = t.get();
      const ordinary_map *map = linemap_add_ordinary_map(t.get(), LC_ENTER, 0, "f.c", 1);
      linemap_start_line(t.get(), 1, 80);
      linemap_start_line(t.get(), 2, 80);
      linemap_column_location(t.get(), 100);
      located_ranges ranges;
      located_ranges_init(&ranges, t.get(), linemap_line_column_location(t.get(), map, 1, 6),
                          nullptr);
      fixit_replace_range(&ranges,
                          {linemap_line_column_location(t.get(), map, 1, 6),
                           linemap_line_column_location(t.get(), map, 1, 7)},
                          "z\"\t");
      fixit_insert_before_at(&ranges, linemap_line_column_location(t.get(), map, 2, 1),
                             "#include <x>\n");
      error_at(&ranges, "with hints");
      located_ranges_fini(&ranges);
      line_table = nullptr;
      diagnostic_state_finish(&global_diagnostic_state);
    });
    std::string columns = strcmp(version, "fixits-v1") == 0 ? "{1:6-1:8}" : "{1:13-1:15}";
    expect_outcome(outcome, 0,
                   "f.c:1: error: with hints\n"
                   "fix-it:\"f.c\":" + columns + ":\"z\\\"\\t\"\n"
                   "fix-it:\"f.c\":{2:1-2:1}:\"#include <x>\\n\"\n");
  }
}

TEST(Diagnostic, OptionKindsAndEnabledCallback)
{
  expect_outcome(session(
                     [](diagnostic_state *context) {
                       EXPECT_EQ(classify_option_kind(context, -1, DK_ERROR, 0), DK_UNSPECIFIED);
                       EXPECT_EQ(classify_option_kind(context, 8, DK_ERROR, 0), DK_UNSPECIFIED);
                       EXPECT_EQ(classify_option_kind(context, 2, DK_LAST_DIAGNOSTIC_KIND, 0),
                                 DK_UNSPECIFIED);
                       EXPECT_EQ(classify_option_kind(context, 2, DK_IGNORED, 0), DK_UNSPECIFIED);
                       EXPECT_EQ(classify_option_kind(context, 2, DK_WARNING, 0), DK_IGNORED);
                       classify_option_kind(context, 3, DK_IGNORED, 0);
                       EXPECT_FALSE(warning_at_loc(0, 3, "ignored"));
                       // No callback: the option counts as enabled, even out of range.
                       EXPECT_TRUE(warning_at_loc(0, 2, "enabled"));
                       EXPECT_TRUE(warning_at_loc(0, 5000, "far option"));
                       context->is_option_enabled = [](int option, unsigned, void *) {
                         return option == 2 ? 1 : 0;
                       };
                       EXPECT_TRUE(warning_at_loc(0, 2, "still enabled"));
                       EXPECT_FALSE(warning_at_loc(0, 7, "disabled"));
                       context->permissive_option = 7;
                       EXPECT_TRUE(permerror_at_loc(0, "permissive option is always on"));
                     },
                     8),
                 0,
                 "vuz: warning: enabled\nvuz: warning: far option\nvuz: warning: still enabled\n"
                 "vuz: error: permissive option is always on\n");
}

TEST(Diagnostic, PopEntriesAreNotClassifications)
{
  expect_outcome(session(
                     [](diagnostic_state *context) {
                       classify_option_kind(context, 1, DK_ERROR, 10);
                       classification_push(context);
                       classification_pop(context, 20);  // its target, 1, looks like option 1
                       EXPECT_EQ(classify_option_kind(context, 1, DK_IGNORED, 30), DK_ERROR);
                     },
                     4),
                 0, "");
}

TEST(Diagnostic, VerbatimLinesAndNotes)
{
  expect_outcome(session([](diagnostic_state *context) {
                   pp_set_line_cutoff(context->printer, 10);
                   print_verbatim_line("%s and %s are long words", "aaaaaaaa", "bbbbbbbb");
                   pp_set_line_cutoff(context->printer, 0);
                   append_note_at(context, 0, "appended %d", 1);
                   pp_flush_output(context->printer);
                   context->no_notes = true;
                   append_note_at(context, 0, "dropped");
                   pp_flush_output(context->printer);
                 }),
                 0, "aaaaaaaa and bbbbbbbb are long words\nvuz: note: appended 1\n");
}

TEST(Diagnostic, InternalErrors)
{
  expect_outcome(session([](diagnostic_state *) {
                   internal_error("broken %d", 7);
                 }),
                 4, std::string("vuz: internal compiler error: broken 7\n") + bug_notice);
  expect_outcome(session([](diagnostic_state *context) {
                   context->report_bug = true;
                   internal_error_no_backtrace("no trace");
                 }),
                 4,
                 "vuz: internal compiler error: no trace\n"
                 "Please submit a full bug report, with preprocessed source.\n"
                 "See <https://vuz.invalid/bugs/> for instructions.\n");
  // After errors: one line naming the program, never "(null)"; the final note runs.
  expect_outcome(session([](diagnostic_state *context) {
                   context->werror_all = true;
                   warning_at_loc(0, 0, "w");
                   error_at_loc(0, "e");
                   internal_error("not shown");
                 }),
                 4,
                 "vuz: error: w\nvuz: error: e\nvuz:0: confused by earlier errors, bailing out\n"
                 "vuz: all warnings being treated as errors\n");
  // Warnings turned into errors do not make the report short; the final
  // note still closes the run.
  expect_outcome(session([](diagnostic_state *context) {
                   context->werror_all = true;
                   warning_at_loc(0, 0, "w");
                   internal_error("after a warning");
                 }),
                 4,
                 std::string("vuz: error: w\nvuz: internal compiler error: after a warning\n") +
                     bug_notice + "vuz: all warnings being treated as errors\n");
}

TEST(Diagnostic, AssertionAfterStartUpExitsWithFour)
{
  child_outcome outcome = session([](diagnostic_state *) {
    internal_abort("/elsewhere/options/opts-common.cc", 42, "decode_cmdline_option");
  });
  expect_outcome(outcome, 4,
                 std::string("vuz: internal compiler error: in decode_cmdline_option, at "
                             "elsewhere/options/opts-common.cc:42\n") +
                     bug_notice);
}

TEST(Diagnostic, AssertionBeforeStartUpAborts)
{
  child_outcome outcome = run_in_child([] {
    internal_abort("../../support/argv.cc", 9, "expand_argv");
  });
  EXPECT_FALSE(outcome.exited);
  EXPECT_EQ(outcome.status, SIGABRT);
  EXPECT_EQ(without_frames(outcome.err),
            "internal compiler error: in expand_argv, at support/argv.cc:9\n");
}

TEST(Diagnostic, InternalErrorInsideAReport)
{
  // A malformed format fails inside the report core: the one allowed nested
  // internal error reports it and ends the run. (Had the failing report been
  // an error, it would already count, and only the short line would follow.)
  child_outcome outcome = session([](diagnostic_state *) {
    warning_at_loc(0, 0, "ends in %q");
  });
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.status, 4);
  EXPECT_EQ(outcome.err.rfind("\nvuz: internal compiler error: in pp_format, at pp-format.cc:", 0),
            0u)
      << outcome.err;
  EXPECT_NE(outcome.err.find(bug_notice), std::string::npos);
}

TEST(Diagnostic, ReentryFromOutput)
{
  child_outcome outcome = session([](diagnostic_state *context) {
    context->show_option = true;
    context->name_of_option = [](diagnostic_state *, int, diagnostic_kind,
                                 diagnostic_kind) -> char * {
      error_at_loc(0, "while naming");
      return nullptr;
    };
    warning_at_loc(0, 0, "outer");
  });
  expect_outcome(outcome, 4,
                 std::string("vuz: warning: outer\n"
                             "internal compiler error: error reporting routines re-entered.\n") +
                     bug_notice);
}

TEST(Diagnostic, AbortOnReport)
{
  child_outcome outcome = session([](diagnostic_state *context) {
    context->abort_on_report = true;
    warning_at_loc(0, 0, "fine");
    error_at_loc(0, "stop");
  });
  EXPECT_FALSE(outcome.exited);
  EXPECT_EQ(outcome.status, SIGABRT);
  EXPECT_EQ(outcome.err, "vuz: warning: fine\nvuz: error: stop\n");
}

TEST(Diagnostic, GroupsAroundEveryReport)
{
  expect_outcome(session([](diagnostic_state *context) {
                   context->on_group_begin = [](diagnostic_state *) { fputs("<", stderr); };
                   context->on_group_end = [](diagnostic_state *) { fputs(">\n", stderr); };
                   error_at_loc(0, "alone");
                   diagnostic_group_enter(context);
                   error_at_loc(0, "first");
                   inform_loc(0, "second");
                   diagnostic_group_leave(context);
                 }),
                 0, "<vuz: error: alone\n>\n<vuz: error: first\nvuz: note: second\n>\n");
}

TEST(Diagnostic, EscapedStringsAndDigits)
{
  pretty_printer pp(0);
  print_escaped_string(&pp, "a\tb\n\"c\\\x01\xff");
  EXPECT_EQ(std::string(pp_current_text(&pp)), "\"a\\tb\\n\\\"c\\\\\\001\\377\"");
  const int numbers[] = {0, 9, 10, 99, 100, 2147483647};
  const int digits[] = {1, 1, 2, 2, 3, 10};
  for (int i = 0; i < 6; i++)
    EXPECT_EQ(num_digits(numbers[i]), digits[i]);
  char *blanks = blank_like("abc");
  EXPECT_STREQ(blanks, "   ");
  free(blanks);
}

TEST(DiagnosticDeathTest, Misuse)
{
  EXPECT_DEATH(num_digits(-1), "in num_digits");
  EXPECT_DEATH(error_at(nullptr, "x"), "in error_at,");
  EXPECT_DEATH(warning_n(nullptr, 0, 2, "x", "y"), "in warning_n,");
  pretty_printer pp(0);
  EXPECT_DEATH(print_escaped_string(&pp, nullptr), "in print_escaped_string");
}

TEST(Diagnostic, SourcePathTrimming)
{
  std::string engine = diagnostic_engine_file;
  std::string engine_dir = engine.substr(0, engine.rfind('/') + 1);
  std::string root = engine_dir.substr(0, engine_dir.rfind('/', engine_dir.size() - 2) + 1);
  const struct {
    std::string path;
    const char *expected;
  } cases[] = {
      {engine_dir + "pp-format.cc", "pp-format.cc"},
      {engine_dir + "diagnostic-color.cc", "diagnostic-color.cc"},
      {root + "libsprenk/lex.cc", "libsprenk/lex.cc"},
      {root + "support/vec.h", "support/vec.h"},
      {"../../options/opts.cc", "options/opts.cc"},
      {"../x.cc", "x.cc"},
      {"local/file.cc", "local/file.cc"},
      {"/", ""},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(trim_source_path(c.path.c_str()), c.expected) << c.path;
}

TEST(Diagnostic, BacktraceFramePrinting)
{
  child_outcome outcome = run_in_child([] {
    int count = 0;
    std::string engine = diagnostic_engine_file;
    fprintf(stderr, "%d", backtrace_frame_print(&count, 1, nullptr, 0, nullptr));
    fprintf(stderr, "%d", backtrace_frame_print(&count, 2, engine.c_str(), 3, "diagnostic_emit"));
    fprintf(stderr, "%d\n", count);
    fprintf(stderr, "%d\n", backtrace_frame_print(&count, 0x10, "/src/options/opts.cc", 12,
                                                  "decode_cmdline_option"));
    // Once a frame is printed, the engine's own frames are shown too.
    fprintf(stderr, "%d\n", backtrace_frame_print(&count, 0x20, engine.c_str(), 5, nullptr));
    fprintf(stderr, "%d\n", backtrace_frame_print(&count, 0x30, nullptr, 0, "mainly"));
    fprintf(stderr, "%d\n", backtrace_frame_print(&count, 0x40, "m.cc", 1, "main(int, char**)"));
    int stop = backtrace_frame_print(&count, 0x50, "m.cc", 1, "main");
    fprintf(stderr, "%d %d\n", stop, count);
    count = 20;
    stop = backtrace_frame_print(&count, 0x60, "x.cc", 1, "f");
    fprintf(stderr, "%d %d\n", stop, count);
    backtrace_error_print(nullptr, "hidden", -1);
    backtrace_error_print(nullptr, "no debug info", 0);
    backtrace_error_print(nullptr, "mmap", ENOMEM);
  });
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err,
                 "000\n"
                 "0x10 decode_cmdline_option\n\t/src/options/opts.cc:12\n0\n"
                 "0x20 ???\n\t" + std::string(diagnostic_engine_file) + ":5\n0\n"
                 "0x30 mainly\n\t???:0\n0\n"
                 "1\n"
                 "1 5\n"
                 "1 20\n"
                 "no debug info\n"
                 "mmap: " + std::string(strerror(ENOMEM)) + "\n");
}

} // namespace
