// Test helper: a fresh option-set record, the global diagnostic context
// writing into a string, and a handler set like a program's (its own
// handler, the common and the target handler), so that tests read command
// lines through the real decoder and handlers and see what was reported.
#ifndef VUZ_TESTS_OPTIONS_OPTION_SESSION_H
#define VUZ_TESTS_OPTIONS_OPTION_SESSION_H

#include "options/opts.h"
#include "support/alloc.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Everything left to read from FILE.
inline std::string file_text(FILE *file)
{
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
    text.append(chunk, n);
  return text;
}

constexpr unsigned lang_c = 1u << 3;
constexpr unsigned lang_cxx = 1u << 4;

struct option_session {
  option_values opts;
  option_values set;
  option_handlers handlers;
  unsigned mask;
  std::vector<std::string> wrong_language;  // options given to the wrong-language callback

  explicit option_session(unsigned language_mask = lang_c) : mask(language_mask)
  {
    static bool obstack_ready = false;
    if (!obstack_ready) {
      init_option_obstack();
      obstack_ready = true;
    }
    alloc_set_program_name("vuz");
    diagnostic_state_init(&global_diagnostic_state, option_count);
    stream = open_memstream(&text, &length);
    global_diagnostic_state.printer->buffer->stream = stream;
    current = this;
    init_options_struct(&opts, &set);
    handlers = option_handlers{};
    handlers.unknown_option_callback = [](const decoded_option *) { return true; };
    handlers.wrong_lang_callback = [](const decoded_option *d, unsigned) {
      current->wrong_language.push_back(d->as_written);
    };
    handlers.num_handlers = 3;
    handlers.handlers[0] = {accept, language_mask == FLAG_DRIVER ? FLAG_DRIVER : language_mask};
    handlers.handlers[1] = {common_handle_option, FLAG_COMMON};
    handlers.handlers[2] = {target_handle_option, FLAG_TARGET};
  }

  ~option_session()
  {
    set.deferred_options = nullptr;  // the same list as the record's
    for (option_values *record : {&opts, &set}) {
      vec_release(record->deferred_options);
      vec_release(record->flag_ignored_attributes);
      vec_release(record->flag_instrument_functions_exclude_files);
      vec_release(record->flag_instrument_functions_exclude_functions);
      free(record->help_printed);
      free(record->help_enum_printed);
    }
    diagnostic_state_finish(&global_diagnostic_state);
    fclose(stream);
    free(text);
    current = nullptr;
  }

  // Decodes WORDS and reads every option; answers what was reported.
  std::string read(std::vector<const char *> words)
  {
    // A compiler decodes with the language-independent classes added.
    const unsigned decode_mask = mask == FLAG_DRIVER ? mask : mask | FLAG_COMMON | FLAG_TARGET;
    words.push_back(nullptr);
    for (size_t i = 0; words[i];) {
      decoded_option decoded;
      i += decode_cmdline_option(&words[i], decode_mask, &decoded);
      read_cmdline_option(&opts, &set, &decoded, UNKNOWN_LOCATION, mask, &handlers,
                          &global_diagnostic_state);
    }
    return reported();
  }

  void read_decoded(const decoded_option &decoded)
  {
    read_cmdline_option(&opts, &set, &decoded, UNKNOWN_LOCATION, mask, &handlers,
                        &global_diagnostic_state);
  }

  // What was reported since the last call.
  std::string reported()
  {
    fflush(stream);
    std::string all(text, length);
    std::string fresh = all.substr(seen);
    seen = all.size();
    return fresh;
  }

private:
  static bool accept(option_values *, option_values *, const decoded_option *, unsigned, int,
                     location_t, const option_handlers *, diagnostic_state *, void (*)())
  {
    return true;
  }
  static inline option_session *current = nullptr;
  char *text = nullptr;
  size_t length = 0;
  size_t seen = 0;
  FILE *stream;
};

#endif
