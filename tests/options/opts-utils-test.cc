// Option utilities: the jobserver probe (also under a real make), the
// debug-format helpers, option texts and addresses of diagnostics, quoted
// option lists and file-name helpers.
#include "options/opts-utils.h"

#include "tests/common/temp-dir.h"
#include "tests/options/option-session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

// Run as a recipe of make: print what the probe finds and stop.
int probe_when_asked()
{
  if (!getenv("VUZ_JOBSERVER_PROBE"))
    return 0;
  jobserver_probe probe;
  detect_jobserver(&probe);
  printf("active=%d fds=%d,%d error=%s cleaned=%s\n", probe.active, probe.read_fd,
         probe.write_fd, probe.error_message ? probe.error_message : "",
         probe.cleaned_makeflags ? probe.cleaned_makeflags : "");
  fflush(stdout);
  _exit(0);
}
const int probing = probe_when_asked();

struct makeflags_guard {
  std::string saved;
  bool had;
  makeflags_guard()
  {
    const char *value = getenv("MAKEFLAGS");
    had = value != nullptr;
    if (had)
      saved = value;
  }
  ~makeflags_guard()
  {
    if (had)
      setenv("MAKEFLAGS", saved.c_str(), 1);
    else
      unsetenv("MAKEFLAGS");
  }
};

// What the probe found, its texts as strings ("" for none).
struct probe_result {
  bool active;
  int32_t read_fd, write_fd;
  std::string error_message, cleaned_makeflags, pipe_path;
};

probe_result probe_with(const char *makeflags)
{
  if (makeflags)
    setenv("MAKEFLAGS", makeflags, 1);
  else
    unsetenv("MAKEFLAGS");
  jobserver_probe probe;
  detect_jobserver(&probe);
  auto text = [](const char *p) { return std::string(p ? p : ""); };
  probe_result result{probe.active, probe.read_fd, probe.write_fd, text(probe.error_message),
                      text(probe.cleaned_makeflags), text(probe.pipe_path)};
  jobserver_probe_release(&probe);
  return result;
}

TEST(Jobserver, ProbeTable)
{
  makeflags_guard guard;
  const std::string cannot =
      "jobserver is not available: cannot access %<--jobserver-auth=%> file descriptors";
  struct {
    const char *makeflags;
    bool active;
    const char *error;
    const char *cleaned;
    const char *pipe;
  } cases[] = {
      {nullptr, false, "jobserver is not available: %<MAKEFLAGS%> environment variable is unset",
       "", ""},
      {"-j4", false,
       "jobserver is not available: %<--jobserver-auth=%> is not present in %<MAKEFLAGS%>", "",
       ""},
      {" -j4 --jobserver-auth=fifo:/tmp/x -- V=1", true, "", "", "/tmp/x"},
      {"--jobserver-auth=fifo:/tmp/y", true, "", "", "/tmp/y"},
      {" -j4 --jobserver-auth=900,901 -- V=1", false, cannot.c_str(), "MAKEFLAGS= -j4  -- V=1", ""},
      {"-j --jobserver-auth=900,901", false, cannot.c_str(), "MAKEFLAGS=-j ", ""},
      // Numbers beyond an int are refused, never wrapped onto an open descriptor.
      {"--jobserver-auth=4294967297,4294967298 x", false, cannot.c_str(), "MAKEFLAGS= x", ""},
      {"--jobserver-auth=1", false, cannot.c_str(), "MAKEFLAGS=", ""},
      {"--jobserver-auth=0,1", false, cannot.c_str(), "MAKEFLAGS=", ""},
      {"--jobserver-auth=-1,-1", false, cannot.c_str(), "MAKEFLAGS=", ""},
  };
  for (const auto &c : cases) {
    probe_result probe = probe_with(c.makeflags);
    const char *name = c.makeflags ? c.makeflags : "(unset)";
    EXPECT_EQ(probe.active, c.active) << name;
    EXPECT_EQ(probe.error_message, c.error) << name;
    EXPECT_EQ(probe.cleaned_makeflags, c.cleaned) << name;
    EXPECT_EQ(probe.pipe_path, c.pipe) << name;
  }
}

TEST(Jobserver, OpenDescriptorsAndTheLastArgument)
{
  makeflags_guard guard;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string flags = "-j4 --jobserver-auth=900,901 --jobserver-auth=" + std::to_string(fds[0]) +
                      "," + std::to_string(fds[1]);
  probe_result probe = probe_with(flags.c_str());
  EXPECT_TRUE(probe.active);
  EXPECT_EQ(probe.read_fd, fds[0]);
  EXPECT_EQ(probe.write_fd, fds[1]);
  EXPECT_EQ(probe.error_message, "");
  EXPECT_EQ(probe.cleaned_makeflags, "");
  const char *cleaned = "unchanged";
  EXPECT_TRUE(detect_jobserver(&cleaned));
  EXPECT_EQ(cleaned, nullptr);
  close(fds[0]);
  close(fds[1]);
  // The same text with the descriptors closed is stale.
  probe = probe_with(flags.c_str());
  EXPECT_FALSE(probe.active);
  EXPECT_EQ(probe.cleaned_makeflags, "MAKEFLAGS=-j4 --jobserver-auth=900,901 ");
}

// Runs make -j4 on a one-rule makefile whose recipe runs this program as the
// probe; PLUS marks the recipe as one that takes part in the jobserver.
std::string probe_under_make(bool plus)
{
  TempDir dir;
  std::ofstream(dir / "Makefile") << "all:\n\t" << (plus ? "+" : "")
                                  << "@VUZ_JOBSERVER_PROBE=1 $(PROBE)\n";
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0)
    return "no executable";
  self[n] = '\0';
  std::string command = "env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make -s -j4 -C '" + dir.path +
                        "' PROBE='" + self + "' 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  std::string output = file_text(pipe);
  pclose(pipe);
  return output;
}

TEST(Jobserver, UnderARealMake)
{
  std::string shared = probe_under_make(true);
  EXPECT_EQ(shared.rfind("active=1 fds=", 0), 0u) << shared;
  EXPECT_NE(shared.find(" error= cleaned=\n"), std::string::npos) << shared;
  // A recipe that make does not let into the jobserver sees stale descriptors.
  std::string stale = probe_under_make(false);
  EXPECT_EQ(stale.rfind("active=0 ", 0), 0u) << stale;
  EXPECT_NE(stale.find("error=jobserver is not available: cannot access"), std::string::npos)
      << stale;
  EXPECT_NE(stale.find("cleaned=MAKEFLAGS="), std::string::npos) << stale;
  size_t cleaned = stale.find("cleaned=");
  EXPECT_EQ(stale.find("--jobserver-auth", cleaned), std::string::npos) << stale;
}

TEST(DebugFormats, SetsAndNames)
{
  EXPECT_EQ(debug_set_to_format(0), 0u);
  EXPECT_EQ(debug_set_to_format(DEBUG_FORMAT_DWARF), 2u);
  EXPECT_EQ(debug_set_to_format(DEBUG_FORMAT_BTF), 6u);
  EXPECT_EQ(debug_format_count(DEBUG_FORMAT_DWARF | DEBUG_FORMAT_CTF | DEBUG_FORMAT_BTF), 3u);
  EXPECT_STREQ(debug_format_names(0), "none");
  EXPECT_STREQ(debug_format_names(DEBUG_FORMAT_BTF | DEBUG_FORMAT_DWARF), "dwarf-2 btf");
  EXPECT_STREQ(debug_format_names(0x7e), "stabs dwarf-2 xcoff vms ctf btf");
  EXPECT_STREQ(debug_format_name(1), "stabs");
  // A set of two formats, or a bit past the known ones, is reported under the
  // option sources' own name.
  EXPECT_DEATH(debug_set_to_format(DEBUG_FORMAT_DWARF | DEBUG_FORMAT_BTF),
               "in debug_set_to_format, at opts:[0-9]+\n");
  EXPECT_DEATH(debug_set_to_format(1u << 8), "in debug_set_to_format, at opts:[0-9]+\n");
}

TEST(DebugFormats, SelectionTests)
{
  option_session session(FLAG_DRIVER);
  global_options = session.opts;
  EXPECT_FALSE(ctf_or_btf_selected());
  EXPECT_FALSE(dwarf_selected_in(&session.opts));
  session.read({"-gctf", "-g"});
  global_options = session.opts;
  EXPECT_TRUE(ctf_selected());
  EXPECT_TRUE(ctf_or_btf_selected());
  EXPECT_FALSE(btf_selected());
  EXPECT_FALSE(btf_core_selected());
  EXPECT_TRUE(dwarf_selected_in(&session.opts));
}

TEST(DiagnosticOption, TextsAndAddresses)
{
  option_session session;
  diagnostic_state *dc = &global_diagnostic_state;
  struct {
    int option;
    diagnostic_kind was, now;
    const char *text;
  } texts[] = {
      {OPT_Wunused_variable, DK_WARNING, DK_ERROR, "-Werror=unused-variable"},
      {OPT_Wpedantic, DK_PEDWARN, DK_ERROR, "-Werror=pedantic"},
      {OPT_Wunused_variable, DK_WARNING, DK_WARNING, "-Wunused-variable"},
      {OPT_Wunused_variable, DK_ERROR, DK_ERROR, "-Wunused-variable"},
      {0, DK_WARNING, DK_ERROR, nullptr},
  };
  for (const auto &t : texts) {
    char *text = diagnostic_option_text(dc, t.option, t.was, t.now);
    if (t.text)
      EXPECT_STREQ(text, t.text);
    else
      EXPECT_EQ(text, nullptr);
    free(text);
  }
  dc->werror_all = true;
  char *text = diagnostic_option_text(dc, 0, DK_WARNING, DK_ERROR);
  EXPECT_STREQ(text, "-Werror");
  free(text);
  EXPECT_EQ(diagnostic_option_text(dc, 0, DK_ERROR, DK_ERROR), nullptr);

  struct {
    int option;
    const char *url;
  } urls[] = {
      {OPT_Wunused_variable,
       "https://vuz.invalid/onlinedocs/vuz/Warning-Options.html#index-Wunused-variable"},
      {OPT_Wanalyzer_null_argument, "https://vuz.invalid/onlinedocs/vuz/"
                                    "Static-Analyzer-Options.html#index-Wanalyzer-null-argument"},
      {OPT_flto_odr_type_merging, "https://vuz.invalid/onlinedocs/vuz/Optimize-Options.html"
                                  "#index-flto-odr-type-merging"},
      {OPT_Wlto_type_mismatch,
       "https://vuz.invalid/onlinedocs/vuz/Warning-Options.html#index-Wlto-type-mismatch"},
      {OPT_Wampersand,
       "https://vuz.invalid/onlinedocs/plimb/Error-and-Warning-Options.html#index-Wampersand"},
      // Fortran and C both: the general page.
      {OPT_Wconversion,
       "https://vuz.invalid/onlinedocs/vuz/Warning-Options.html#index-Wconversion"},
  };
  for (const auto &u : urls) {
    char *url = diagnostic_option_url(dc, u.option);
    EXPECT_STREQ(url, u.url);
    free(url);
  }
  EXPECT_EQ(diagnostic_option_url(dc, 0), nullptr);
}

TEST(QuotedOptions, SplitAndAssemblerOptions)
{
  obstack ob;
  obstack_init_malloc(&ob);
  unsigned count;
  const char **options =
      split_quoted_options("'-c' 'a b' 'it'\\''s' '' '-o' 'x.o'", &ob, &count);
  ASSERT_EQ(count, 6u);
  EXPECT_STREQ(options[1], "a b");
  EXPECT_STREQ(options[2], "it's");
  EXPECT_STREQ(options[3], "");
  EXPECT_EQ(options[6], nullptr);
  options = split_quoted_options("", &ob, &count);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(options[0], nullptr);

  append_assembler_options("'-mfpu=neon' '--gdwarf-5'", &ob);
  obstack_append_byte(&ob, '\0');
  EXPECT_STREQ(static_cast<char *>(obstack_close_object(&ob)),
               " '-Xassembler' '-mfpu=neon' '-Xassembler' '--gdwarf-5'");
  obstack_release_to(&ob, nullptr);
}

TEST(QuotedOptions, UnclosedQuoteIsFatal)
{
  EXPECT_EXIT(
      {
        option_session session;
        obstack ob;
        obstack_init_malloc(&ob);
        unsigned count;
        global_diagnostic_state.printer->buffer->stream = stderr;
        split_quoted_options("'-c' '-o", &ob, &count);
      },
      testing::ExitedWithCode(1), "vuz: fatal error: malformed 'VRESK_VUZ_OPTIONS'");
}

TEST(FileNames, ShortSuffixAndBaseName)
{
  struct {
    const char *name;
    const char *cut;
  } cuts[] = {
      {"a.c", "a"},   {"ab.cc", "ab"}, {"x.cpp", "x"},   {"x.cxxx", "x.cxxx"},
      {".c", ".c"},   {"..c", "."},    {"abc", "abc"},   {"a.b.c", "a.b"},
      {".cc", ".cc"}, {"a.cc", "a"},   {"..cc", "."},
  };
  for (const auto &c : cuts) {
    std::string buffer = c.name;
    cut_short_suffix(&buffer[0], buffer.size());
    EXPECT_STREQ(buffer.c_str(), c.cut) << c.name;
  }
  const char *base;
  EXPECT_EQ(base_name_length("/src/dir.d/file.tar.gz", &base), 8u);
  EXPECT_STREQ(base, "file.tar.gz");
  EXPECT_EQ(base_name_length("noext", &base), 5u);
  EXPECT_EQ(base_name_length("dir/", &base), 0u);
}

TEST(NoSanitize, AttributeList)
{
  option_session session;
  uint32_t address = 0, undefined = 0;
  for (const sanitizer_entry *e = sanitizer_names; e->name; e++) {
    if (strcmp(e->name, "address") == 0)
      address = e->flag_mask;
    if (strcmp(e->name, "undefined") == 0)
      undefined = e->flag_mask;
  }
  EXPECT_EQ(parse_no_sanitize_list("address"), address);
  EXPECT_EQ(parse_no_sanitize_list("undefined,address"), undefined | 0x818000 | address);
  EXPECT_EQ(parse_no_sanitize_list("adress,address"), address);
  EXPECT_EQ(session.reported(), "vuz: warning: 'adress' attribute directive ignored\n");
}

}  // namespace
