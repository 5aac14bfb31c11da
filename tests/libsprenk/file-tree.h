// A temporary directory of files for tests of include search, and a run
// of a reader over a main file in it.
#ifndef VUZ_TESTS_LIBSPRENK_FILE_TREE_H
#define VUZ_TESTS_LIBSPRENK_FILE_TREE_H

#include "tests/libsprenk/preprocessor-fixture.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

// A temporary directory of files, removed with its contents.
struct file_tree {
  std::string root;
  std::vector<std::string> made;
  file_tree()
  {
    char pattern[] = "/tmp/pp-files-XXXXXX";
    root = mkdtemp(pattern);
  }
  ~file_tree()
  {
    for (auto it = made.rbegin(); it != made.rend(); ++it)
      remove(it->c_str());
    rmdir(root.c_str());
  }
  std::string add(const std::string &name, const std::string &text)
  {
    std::string path = root + "/" + name;
    for (size_t slash = path.find('/', root.size() + 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      std::string directory = path.substr(0, slash);
      if (mkdir(directory.c_str(), 0700) == 0)
        made.push_back(directory);
    }
    FILE *f = fopen(path.c_str(), "w");
    fputs(text.c_str(), f);
    fclose(f);
    made.push_back(path);
    return path;
  }
  // A listening socket named NAME, which stat finds and open refuses
  // (ENXIO); its descriptor, or -1 when it cannot be made.
  int add_socket(const std::string &name)
  {
    std::string path = root + "/" + name;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
      return -1;
    strcpy(address.sun_path, path.c_str());
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener >= 0 && bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
      close(listener);
      return -1;
    }
    made.push_back(path);
    return listener;
  }
};

// The expanded tokens of the main file, one space apart.
inline std::string run(pp_fixture &f, const std::string &main, search_dir *bracket = nullptr)
{
  if (bracket)
    install_include_chains(f.reader, bracket, bracket, false);
  reader_post_options(f.reader);
  if (open_main_file(f.reader, main.c_str(), false) == nullptr)
    return "<no main file>";
  return f.expanded();
}

#endif
