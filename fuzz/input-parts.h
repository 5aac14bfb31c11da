// Cutting a fuzz input into the parts a target reads from it.
#ifndef VUZ_FUZZ_INPUT_PARTS_H
#define VUZ_FUZZ_INPUT_PARTS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// The input cut at every byte of SEPARATORS (the NUL byte always counts),
// into at most LIMIT parts; the last part takes the rest, and an input with
// fewer separators gives fewer parts.
inline std::vector<std::string> input_parts(const uint8_t *data, size_t size, size_t limit,
                                            const char *separators = "")
{
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < size; i++) {
    char c = static_cast<char>(data[i]);
    if ((c == '\0' || strchr(separators, c)) && parts.size() + 1 < limit) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

#endif
