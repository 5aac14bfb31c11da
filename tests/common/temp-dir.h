// A scratch directory for one test, removed with everything in it at the end.
#ifndef VUZ_TESTS_COMMON_TEMP_DIR_H
#define VUZ_TESTS_COMMON_TEMP_DIR_H

#include <cstdlib>
#include <string>

struct TempDir {
  std::string path;  // resolved, so that it compares with canonical paths
  TempDir()
  {
    char name[] = "/tmp/vuz-testXXXXXX";
    char *made = mkdtemp(name);
    char *real = made ? realpath(made, nullptr) : nullptr;
    path = real ? real : "/nonexistent-test-dir";
    free(real);
  }
  ~TempDir() { (void)system(("rm -rf '" + path + "'").c_str()); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string operator/(const std::string &name) const { return path + "/" + name; }
};

#endif
