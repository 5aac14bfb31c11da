// The in-process driver runs of the driver fuzz targets.
#include "fuzz/driver-harness.h"

#include "driver/driver.h"
#include "fuzz/scratch.h"
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

// The scratch tree of this process: an installation whose linker plug-in
// lets dry runs reach the link step, and the working directory of every run.
// It is removed when the process exits; one that an interrupted run left is
// removed by the next.
struct scratch_tree {
  std::string path = fuzz_scratch_name("vuz-driver-fuzz-");
  ~scratch_tree() { fuzz_remove_tree(path); }
};

static const std::string &scratch_directory()
{
  static scratch_tree scratch;
  static bool made;
  if (!made) {
    std::string plugin_dir = scratch.path + "/libexec/vuz/" DRIVER_MACHINE_SUFFIX;
    if (system(("mkdir -p '" + plugin_dir + "' '" + scratch.path + "/bin' '" + scratch.path +
                "/work'").c_str()) != 0)
      abort();
    for (const std::string &file : {plugin_dir + "libzinvet.so", scratch.path + "/bin/vuz"}) {
      int fd = open(file.c_str(), O_WRONLY | O_CREAT, 0755);
      if (fd < 0)
        abort();
      close(fd);
    }
    made = true;
  }
  return scratch.path;
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
  std::string program = scratch_directory() + "/bin/vuz";
  if (caller_directory < 0 || chdir((scratch_directory() + "/work").c_str()) != 0)
    abort();
  std::vector<char *> argv{const_cast<char *>(program.c_str())};
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
