// The in-process driver runs of the driver fuzz targets.
#include "fuzz/driver-harness.h"

#include "tests/common/driver-in-process.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

// Arguments that would write outside the scratch directory even in a dry
// run: the time report is opened when the option is read.
static bool writes_files(const std::string &arg)
{
  return arg.compare(0, 5, "-time") == 0;
}

// The working directory of every run, made once per process.
static const char *scratch_directory()
{
  static std::string path;
  if (path.empty()) {
    char name[] = "/tmp/vuz-fuzz-XXXXXX";
    if (!mkdtemp(name))
      abort();
    path = name;
  }
  return path.c_str();
}

// Response files and kept temporaries of -save-temps land here; each run
// starts from an empty directory.
static void empty_scratch_directory()
{
  DIR *dir = opendir(".");
  if (!dir)
    return;
  while (dirent *entry = readdir(dir))
    if (entry->d_type == DT_REG)
      unlink(entry->d_name);
  closedir(dir);
}

int harness_run_driver(const std::vector<std::string> &args)
{
  int caller_directory = open(".", O_RDONLY | O_DIRECTORY);
  if (caller_directory < 0 || chdir(scratch_directory()) != 0)
    abort();
  std::vector<char *> argv{const_cast<char *>("/usr/local/bin/vuz")};
  for (const std::string &a : args)
    if (!writes_files(a))
      argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(const_cast<char *>("-###"));
  argv.push_back(nullptr);

  int status = run_driver_in_process(static_cast<int>(argv.size() - 1), argv.data(), true);
  empty_scratch_directory();
  if (fchdir(caller_directory) != 0)
    abort();
  close(caller_directory);
  return status;
}
