// Runs a python3 generator that sits next to a test file and collects the
// lines it prints, for differential tests against python's own libraries.
#ifndef VUZ_TESTS_COMMON_GENERATOR_LINES_H
#define VUZ_TESTS_COMMON_GENERATOR_LINES_H

#include <cstdio>
#include <string>
#include <vector>

// False when python3 cannot run the script; its error text is then in lines.
inline bool generator_lines(const std::string &test_file, const std::string &script, int seed,
                            int count, std::vector<std::string> *lines)
{
  std::string command = "python3 '" + test_file.substr(0, test_file.rfind('/') + 1) + script +
                        "' " + std::to_string(seed) + " " + std::to_string(count) + " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe)
    return false;
  std::string line;
  for (int c; (c = fgetc(pipe)) != EOF;) {
    if (c == '\n') {
      lines->push_back(line);
      line.clear();
    } else {
      line += char(c);
    }
  }
  return pclose(pipe) == 0;
}

#endif
