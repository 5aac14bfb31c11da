// Callbacks that record what the stack-trace library reports.
#ifndef VUZ_TESTS_LIBMERROW_RECORDER_H
#define VUZ_TESTS_LIBMERROW_RECORDER_H

#include "libmerrow/merrow.h"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct reported_frame {
  uintptr_t pc;
  std::string file;  // "" for null
  int line;
  std::string function;  // "" for null
  bool operator==(const reported_frame &o) const
  {
    return pc == o.pc && file == o.file && line == o.line && function == o.function;
  }
};

inline std::ostream &operator<<(std::ostream &out, const reported_frame &f)
{
  return out << std::hex << f.pc << std::dec << " " << f.function << " " << f.file << ":" << f.line;
}

struct recorder {
  std::vector<std::pair<std::string, int>> errors;
  std::vector<reported_frame> frames;
  int stop_at = -1;  // index of the frame whose callback returns 7

  static void on_error(void *data, const char *message, int errnum)
  {
    static_cast<recorder *>(data)->errors.emplace_back(message, errnum);
  }
  static int on_frame(void *data, uintptr_t pc, const char *file, int line, const char *function)
  {
    recorder *r = static_cast<recorder *>(data);
    r->frames.push_back({pc, file ? file : "", line, function ? function : ""});
    return static_cast<int>(r->frames.size()) - 1 == r->stop_at ? 7 : 0;
  }
};

#endif
