// Runs a language-specific driver over a decoded command line and gives back
// the resulting records as the words they stand for.
#ifndef VUZ_TESTS_DRIVER_LANG_CASES_H
#define VUZ_TESTS_DRIVER_LANG_CASES_H

#include "driver/driver-options.h"

#include <cstdlib>
#include <string>
#include <vector>

struct lang_result {
  std::vector<std::string> words;
  int added_libraries;
};

inline lang_result run_lang_driver(std::vector<const char *> argv)
{
  static bool ready;
  if (!ready) {
    init_option_obstack();
    ready = true;
  }
  argv.insert(argv.begin(), "vuz");
  argv.push_back(nullptr);
  decoded_option *records;
  unsigned count;
  decode_argv_to_option_array(static_cast<unsigned>(argv.size() - 1), argv.data(), FLAG_DRIVER,
                              &records, &count);
  decoded_option *given = records;
  int added = 0;
  lang_specific_driver(&records, &count, &added);
  lang_result result{{}, added};
  for (unsigned i = 1; i < count; i++) {
    const decoded_option &d = records[i];
    if (d.option_index == OPTION_INPUT_FILE) {
      result.words.push_back(d.argument);
      continue;
    }
    std::string word;
    for (uint64_t k = 0; k < d.canonical_count; k++)
      word += (k ? " " : "") + std::string(d.canonical[k]);
    result.words.push_back(word);
  }
  if (records != given)
    free(records);
  free(given);
  return result;
}

#endif
