// Several driver runs in one process: after driver_reset each run prints
// exactly what the program prints when it runs alone, the environment is as
// it was before, and nothing the runs allocated is left behind (this program
// runs with leak detection).
#include "tests/common/driver-in-process.h"
#include "tests/common/temp-dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The leak checker's own call, present only in sanitized builds.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace {

// Where the program believes it is installed, so that no relocation depends
// on where the test runs from.
const char installed_name[] = "/usr/local/bin/vuz";

struct output {
  int status;
  std::string out;
  std::string err;
  bool operator==(const output &o) const
  {
    return status == o.status && out == o.out && err == o.err;
  }
};

std::ostream &operator<<(std::ostream &os, const output &o)
{
  return os << "status " << o.status << "\nstdout:\n" << o.out << "stderr:\n" << o.err;
}

// The output with what differs from run to run made equal: the six unique
// characters of temporary names and the compare-debug random seed.
std::string read_output(const std::string &path)
{
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string same = std::regex_replace(text.str(), std::regex("/cc[A-Za-z0-9]{6}"), "/ccXXXXXX");
  return std::regex_replace(same, std::regex("random-seed=0x[0-9a-f]+"), "random-seed=SEED");
}

std::vector<std::string> environment()
{
  std::vector<std::string> entries;
  for (char **e = environ; *e; e++)
    entries.push_back(*e);
  std::sort(entries.begin(), entries.end());
  return entries;
}

struct DriverReset : testing::Test {
  TempDir dir;
  std::string out_path = dir / "stdout", err_path = dir / "stderr";

  // The program on its own, with the same name and environment.
  output run_alone(const std::vector<std::string> &args)
  {
    pid_t pid = fork();
    if (pid == 0) {
      int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char *> argv{const_cast<char *>(installed_name)};
      for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
      argv.push_back(nullptr);
      // A leak of the program on its own is reported into its output.
      setenv("ASAN_OPTIONS", "detect_leaks=1", 1);
      execv(VUZ_PROGRAM, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_output(out_path),
            read_output(err_path)};
  }

  // The same run in this process, followed by driver_reset.
  output run_here(const std::vector<std::string> &args)
  {
    std::vector<char *> argv{const_cast<char *>(installed_name)};
    for (const std::string &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    fflush(stdout);
    fflush(stderr);
    int saved_out = dup(1), saved_err = dup(2);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);

    std::vector<std::string> environment_before = environment();
    int status = run_driver_in_process(static_cast<int>(argv.size() - 1), argv.data(), false);
    std::vector<std::string> environment_after = environment();
    fflush(stdout);
    fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    EXPECT_EQ(environment_after, environment_before);
    return {status, read_output(out_path), read_output(err_path)};
  }
};

TEST_F(DriverReset, EachRunAsInAFreshProcess)
{
  std::string specs = dir / "extra.specs";
  std::ofstream(specs) << "*extra:\n-DEXTRA\n\n*cpp:\n+ %(extra)\n\n.zz:\n@c\n";
  std::string src = dir / "x.c", other = dir / "y.zz";
  std::ofstream(src) << "int x;\n";
  std::ofstream(other) << "int y;\n";
  std::string response = dir / "args";
  std::ofstream(response) << "-DFROM_FILE '-DQUOTED=a b'\n";
  // A spec file that ends the run while it is being read, directly or from
  // a file that includes it.
  std::string malformed = dir / "malformed.specs", including = dir / "including.specs";
  std::ofstream(malformed) << "*extra:\n-DEXTRA\n\nno colon here\n";
  std::ofstream(including) << "%include <" << malformed << ">\n";
  std::string renaming = dir / "renaming.specs", unknown = dir / "unknown.specs";
  std::ofstream(renaming) << "*a:\nx\n\n*b:\ny\n\n%rename a b\n";
  std::ofstream(unknown) << "%rename nosuch b\n";
  std::string renamed = dir / "renamed.specs";
  std::ofstream(renamed) << "*a:\nx\n\n%rename a c\n*cpp:\n+ %(c)\n\n";
  std::string unfinished = dir / "unfinished.specs";
  std::ofstream(unfinished) << "*extra:\n-DEXTRA\n\n*empty:\n";
  std::string unreadable = dir / "directory.specs";
  mkdir(unreadable.c_str(), 0755);
  std::string objc = dir / "m.m";
  std::ofstream(objc) << "int m;\n";
  setenv("COMPILER_PATH", (dir.path + ":" + dir.path + "/sub/:").c_str(), 1);
  setenv("TMPDIR", dir.path.c_str(), 1);
  const std::vector<std::vector<std::string>> runs = {
      {"-###", "-c", src, "-o", dir / "x.o", "-Wa,-a,-b", "-specs=" + specs, "@" + response},
      {"-###", src, other, "-lm", "-Xlinker", "-z", "-B" + dir.path, "-save-temps",
       "-fcompare-debug"},
      {"-###", "-E", "-x", "c", "-", "-pipe", "-v"},
      {"-dumpspecs"},
      {"-###", "-c", src, "-fno-such-option"},
      {"-###", "-c", src, "-Werror=format", "-finstrument-functions-exclude-file-list=a,b",
       "-fdump-tree-all", "-fsanitize=address", "-time=" + dir / "times"},
      {"-###", "-c", src, "-specs=" + malformed},
      {"-###", "-c", src, "-specs=" + including},
      {"-###", "-c", src, "-specs=" + renaming},
      {"-###", "-c", src, "-specs=" + unknown},
      {"-###", "-c", src, "-specs=" + renamed, "-v"},
      {"-###", "-c", src, "-specs=" + unreadable},
      {"-###", "-c", src, "-specs=" + unfinished},
      // The C driver rewrites the records for an Objective-C input.
      {"-###", "-c", objc, src},
  };
  std::vector<output> alone;
  for (const auto &args : runs)
    alone.push_back(run_alone(args));
  // Twice round, so that every run follows a different one.
  for (int round = 0; round < 2; round++)
    for (size_t i = 0; i < runs.size(); i++) {
      SCOPED_TRACE("run " + std::to_string(i) + " of round " + std::to_string(round));
      EXPECT_EQ(run_here(runs[i]), alone[i]);
    }
  unsetenv("COMPILER_PATH");
  unsetenv("TMPDIR");
}

// A fatal error inside a spec function jumps past the call's frame, which
// held the caller's words, the call's long arguments and its many words;
// driver_reset must still free them.
TEST_F(DriverReset, RunsEndedInsideASpecFunctionLeaveNothing)
{
  if (!__lsan_do_recoverable_leak_check)
    GTEST_SKIP() << "no leak checker in this build";
  std::string long_name(300, 'n'), many_words;
  for (int i = 0; i < 20; i++)
    many_words += " w";
  // Each run makes no temporary file: the directory chosen for the earlier
  // test's runs is gone with it.
  auto cpp_spec = [&](const std::string &name, const std::string &call) {
    std::ofstream(dir / name) << "*cpp:\n+ " << call << "\n";
    return std::vector<std::string>{"-###", "-E", dir / "x.c", "-specs=" + dir / name};
  };
  std::ofstream(dir / "x.c") << "int x;\n";
  std::ofstream(dir / "x.o") << "";
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {cpp_spec("a.specs", "%:include(nosuch.spec)"), "cannot read spec file 'nosuch.spec'"},
      {cpp_spec("b.specs", "%:include(" + long_name + ")"), "cannot read spec file '" + long_name},
      {cpp_spec("c.specs", "%:include(" + many_words + ")"),
       "wrong number of arguments to %:include"},
      {cpp_spec("d.specs", "%:nosuch(" + long_name + ")"), "unknown spec function 'nosuch'\n"},
      {{"-###", "-fno-use-linker-plugin", "-fsanitize=address", "-static", dir / "x.o", "-o",
        dir / "x"},
       "cannot read spec file 'libsanitizer.spec'"},
  };
  for (const auto &[args, message] : runs) {
    output out = run_here(args);
    EXPECT_EQ(out.status, 1) << out;
    EXPECT_NE(out.err.find(message), std::string::npos) << out;
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << message;
  }
}

}  // namespace
