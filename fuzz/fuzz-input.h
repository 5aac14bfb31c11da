// The fuzz input read as a stream of choices: single bytes, and texts whose
// length is chosen by the byte before them. An exhausted input reads as zeros.
#ifndef VUZ_FUZZ_FUZZ_INPUT_H
#define VUZ_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

struct fuzz_input {
  const uint8_t *data;
  size_t size;
  uint8_t byte() { return size ? (size--, *data++) : 0; }
  std::string text(size_t limit)
  {
    size_t n = byte() % (limit + 1);
    if (n > size)
      n = size;
    std::string s(reinterpret_cast<const char *>(data), n);
    data += n;
    size -= n;
    return s;
  }
};

#endif
