// Compiles and runs arbitrary patterns, through the POSIX entries and under
// arbitrary syntax bits, and checks what every match must satisfy. Subjects
// are kept short: backtracking for the longest match is exponential in the
// worst case, and the point here is memory safety and consistency, not speed.
#include "support/regex.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t max_pattern = 96;
constexpr size_t max_subject = 12;
constexpr uint64_t all_syntax_bits = 0x27ffff;

void check(bool ok)
{
  if (!ok)
    abort();
}

void check_slots(const struct regex_match *slots, size_t count, size_t length)
{
  check(slots[0].start >= 0 && slots[0].start <= slots[0].end &&
        size_t(slots[0].end) <= length);
  for (size_t i = 1; i < count; i++) {
    if (slots[i].start == -1) {
      check(slots[i].end == -1);
      continue;
    }
    check(slots[i].start >= slots[0].start && slots[i].start <= slots[i].end &&
          slots[i].end <= slots[0].end);
  }
}

void run_posix(const std::string &pattern, const std::string &subject, int cflags, int eflags)
{
  regex_pattern full = {}, nosub = {};
  int code = regex_posix_compile(&full, pattern.c_str(), cflags);
  int nosub_code = regex_posix_compile(&nosub, pattern.c_str(), cflags | REG_NOSUB);
  char text[8];
  check(regex_error_text(code, &full, text, sizeof text) > 1);
  check(code == nosub_code);
  if (code == 0) {
    struct regex_match slots[10];
    int found = regex_posix_exec(&full, subject.c_str(), 10, slots, eflags);
    check(found == 0 || found == REG_NOMATCH);
    if (found == 0)
      check_slots(slots, 10, subject.size());
    check(regex_posix_exec(&nosub, subject.c_str(), 0, nullptr, eflags) == found);
  }
  regex_free(&full);
  regex_free(&nosub);
}

void run_lower_level(const std::string &pattern, const std::string &subject, uint64_t syntax)
{
  regex_set_syntax(syntax);
  regex_pattern compiled = {};
  compiled.fastmap = static_cast<unsigned char *>(malloc(256));
  if (regex_compile_pattern(pattern.data(), pattern.size(), &compiled) == nullptr) {
    regex_registers regs = {};
    int size = int(subject.size());
    int start = regex_search(&compiled, subject.data(), size, 0, size, &regs);
    check(start >= -2 && start <= size);
    if (start >= 0) {
      check(regs.start[0] == start && regs.end[0] >= start && regs.end[0] <= size);
      // The same match found again from its start, and split in two strings.
      int length = regs.end[0] - start;
      check(regex_match(&compiled, subject.data(), size, start, nullptr) == length);
      int half = size / 2;
      check(regex_match_2(&compiled, subject.data(), half, subject.data() + half, size - half,
                          start, nullptr, size) == length);
    }
    free(regs.start);
    free(regs.end);
  }
  regex_free(&compiled);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 4)
    return 0;
  uint64_t syntax = (uint64_t(data[0]) | uint64_t(data[1]) << 8 | uint64_t(data[2]) << 16) &
                    all_syntax_bits;
  int cflags = data[3] & (REG_EXTENDED | REG_ICASE | REG_NEWLINE);
  int eflags = (data[3] >> 4) & 3;
  data += 4;
  size -= 4;
  // The pattern runs to the first NUL, the subject after it.
  const uint8_t *nul = static_cast<const uint8_t *>(memchr(data, 0, size));
  size_t pattern_length = nul ? size_t(nul - data) : size;
  if (pattern_length > max_pattern)
    return 0;
  std::string pattern(reinterpret_cast<const char *>(data), pattern_length);
  std::string subject;
  if (nul) {
    size_t rest = size - pattern_length - 1;
    subject.assign(reinterpret_cast<const char *>(nul + 1),
                   rest < max_subject ? rest : max_subject);
    subject = subject.c_str();  // the POSIX entry reads up to a NUL
  }
  run_posix(pattern, subject, cflags, eflags);
  run_lower_level(pattern, subject, syntax);
  return 0;
}
