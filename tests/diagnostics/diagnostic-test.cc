// The report core and its entry points, as the driver uses them: texts,
// counts, classification and the ways a run ends.
#include "diagnostics/diagnostic.h"

#include "support/alloc.h"
#include "support/internal-abort.h"
#include "tests/diagnostics/child-run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

namespace {

const char bug_notice[] =
    "Please submit a full bug report, with preprocessed source (by using -freport-bug).\n"
    "See <https://vuz.invalid/bugs/> for instructions.\n";

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
  EXPECT_EQ(outcome.err, err);
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
                   va_list *no_args = nullptr;
                   diagnostic_info d;
                   diagnostic_set_info(&d, "overflow", no_args, 0, DK_WARNING);
                   d.metadata = &meta;
                   diagnostic_emit(context, &d);
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
                 "vuz: warning: no name\n"
                 "vuz: warning: named [\33]8;;https://x/3\33\\-Wopt3\33]8;;\33\\]\n"
                 "\33[01m\33[Kvuz:\33[m\33[K \33[01;35m\33[Kwarning: \33[m\33[Kc "
                 "[\33[01;35m\33[K\33]8;;https://x/3\a-Wopt3\33]8;;\a\33[m\33[K]\n");
}

TEST(Diagnostic, ClassificationByLocationWithPushAndPop)
{
  expect_outcome(session(
                     [](diagnostic_state *context) {
                       EXPECT_EQ(classify_option_kind(context, 4, DK_ERROR, 100), DK_WARNING);
                       warning_at_loc(50, 4, "before");
                       warning_at_loc(150, 4, "after");
                       classification_push(context);
                       EXPECT_EQ(classify_option_kind(context, 4, DK_IGNORED, 200), DK_ERROR);
                       classification_pop(context, 300);
                       EXPECT_FALSE(warning_at_loc(250, 4, "inside"));
                       warning_at_loc(350, 4, "after pop");
                       EXPECT_TRUE(warning_reportable_at(350, 4));
                       EXPECT_FALSE(warning_reportable_at(250, 4));
                       // A pop with no push hides everything before it.
                       classification_pop(context, 400);
                       warning_at_loc(450, 4, "after lone pop");
                     },
                     10),
                 0,
                 "vuz: warning: before\nvuz: error: after\nvuz: error: after pop\n"
                 "vuz: warning: after lone pop\n"
                 "vuz: some warnings being treated as errors\n");
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
  EXPECT_EQ(outcome.err, "internal compiler error: in expand_argv, at support/argv.cc:9\n");
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
  expect_outcome(outcome, 0,
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
