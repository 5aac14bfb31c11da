// Fuzzing option decoding: the input is an argument vector, one word per
// line; its first byte picks the language mask. Decoding, pruning and the
// suggestion for each unknown word must neither crash nor read out of bounds.
#include "options/option-decode.h"
#include "options/option-suggest.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static bool ready = false;
  static option_suggester suggester = {};
  if (!ready) {
    init_option_obstack();
    ready = true;
  }
  if (size == 0 || size > 4096)
    return 0;
  static const uint32_t masks[] = {FLAG_DRIVER, FLAG_COMMON, FLAG_TARGET, 1u << 3,
                                   FLAG_COMMON | FLAG_TARGET | 0xfff};
  uint32_t mask = masks[data[0] % (sizeof masks / sizeof masks[0])];
  std::string input(reinterpret_cast<const char *>(data + 1), size - 1);
  std::vector<std::string> words = {"vuz"};
  size_t start = 0;
  for (size_t i = 0; i <= input.size(); i++)
    if (i == input.size() || input[i] == '\n' || input[i] == '\0') {
      words.push_back(input.substr(start, i - start));
      start = i + 1;
    }
  std::vector<const char *> argv;
  for (const std::string &w : words)
    argv.push_back(w.c_str());
  argv.push_back(nullptr);
  decoded_option *records;
  unsigned count;
  decode_argv_to_option_array(static_cast<unsigned>(words.size()), argv.data(), mask, &records,
                              &count);
  bool suggested = false;
  for (unsigned i = 0; i < count; i++) {
    const decoded_option &d = records[i];
    if (d.canonical_count < 1 || d.canonical_count > 4 || !d.as_written)
      abort();
    for (unsigned j = 0; j < d.canonical_count; j++)
      if (!d.canonical[j])
        abort();
    // Suggestions are slow under coverage: one, for inputs whose first byte
    // asks for it.
    if (d.option_index == OPTION_UNKNOWN && !suggested && data[0] >= 0xf0 &&
        strlen(d.argument) < 40) {
      suggest_option(&suggester, d.argument + 1);
      suggested = true;
    }
  }
  free(records);
  return 0;
}
