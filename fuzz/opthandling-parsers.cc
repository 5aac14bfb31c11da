// Fuzzing option handling: the first byte picks a parser (sanitizer lists,
// alignment values, patch areas, comma lists, MAKEFLAGS, --help= selections)
// or a command line of one word per line read through the handler set. None
// may crash, leak or read out of bounds; reports go to a discarded stream.
#include "options/opts.h"
#include "options/opts-utils.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static bool accept(option_values *, option_values *, const decoded_option *, unsigned, int,
                   location_t, const option_handlers *, diagnostic_state *, void (*)())
{
  return true;
}

// Options whose handling ends the run, prints every help page or changes
// the process, which a fuzzing loop cannot survive or afford.
static bool skipped(size_t option_index)
{
  for (unsigned code : {OPT__help, OPT__target_help, OPT_fmax_errors_eq, OPT_Wfatal_errors, OPT_d})
    if (option_index == code)
      return true;
  return false;
}

static void read_words(const std::string &input)
{
  static const unsigned masks[] = {FLAG_DRIVER, 1u << 3, 1u << 4, 1u << 6};
  unsigned mask = masks[input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 4];
  unsigned decode_mask = mask == FLAG_DRIVER ? mask : mask | FLAG_COMMON | FLAG_TARGET;
  std::vector<std::string> words;
  size_t start = 1;
  for (size_t i = 1; i <= input.size(); i++)
    if (i == input.size() || input[i] == '\n') {
      words.push_back(input.substr(start, i - start));
      start = i + 1;
    }
  std::vector<const char *> argv;
  for (const std::string &w : words)
    argv.push_back(w.c_str());
  argv.push_back(nullptr);

  option_handlers handlers = {};
  handlers.unknown_option_callback = [](const decoded_option *) { return true; };
  handlers.wrong_lang_callback = [](const decoded_option *, unsigned) {};
  handlers.num_handlers = 3;
  handlers.handlers[0] = {accept, mask};
  handlers.handlers[1] = {common_handle_option, FLAG_COMMON};
  handlers.handlers[2] = {target_handle_option, FLAG_TARGET};
  static option_values opts, set;
  init_options_struct(&opts, &set);
  for (size_t i = 0; argv[i];) {
    // As the command-line decoder does, only words that begin with '-' and
    // go on are options; the rest are input files.
    if (argv[i][0] != '-' || argv[i][1] == '\0') {
      i++;
      continue;
    }
    decoded_option decoded;
    i += decode_cmdline_option(&argv[i], decode_mask, &decoded);
    if (skipped(decoded.option_index))
      continue;
    read_cmdline_option(&opts, &set, &decoded, UNKNOWN_LOCATION, mask, &handlers,
                        &global_diagnostic_state);
  }
  vec_release(opts.deferred_options);
  vec_release(opts.flag_ignored_attributes);
  vec_release(opts.flag_instrument_functions_exclude_files);
  vec_release(opts.flag_instrument_functions_exclude_functions);
  free(opts.help_printed);
  free(opts.help_enum_printed);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static FILE *sink = nullptr;
  if (!sink) {
    init_option_obstack();
    sink = fopen("/dev/null", "w");
    // Help pages go to standard output, which nobody reads here.
    if (!freopen("/dev/null", "w", stdout))
      abort();
  }
  if (size == 0 || size > 4096)
    return 0;
  diagnostic_state_init(&global_diagnostic_state, option_count);
  global_diagnostic_state.printer->buffer->stream = sink;
  const int choice = data[0] % 8;
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  text = text.substr(0, strlen(text.c_str()));  // parsers take C strings
  switch (choice) {
  case 0:
  case 1:
    parse_sanitizer_list(text.c_str(), 0, choice ? OPT_fsanitize_recover_eq : OPT_fsanitize_eq,
                         size & 0xffff, data[size - 1] & 1, true);
    break;
  case 2: {
    vec<int> *values = nullptr;
    parse_align_values(text.c_str(), "loops", &values, true, 0);
    vec_release(values);
    break;
  }
  case 3: {
    int64_t entries, offset;
    parse_patch_area(text.c_str(), true, &entries, &offset);
    break;
  }
  case 4: {
    vec<char *> *list = nullptr;
    add_comma_list(&list, text.c_str());
    vec_release(list);
    break;
  }
  case 5: {
    setenv("MAKEFLAGS", text.c_str(), 1);
    jobserver_probe probe;
    detect_jobserver(&probe);
    jobserver_probe_release(&probe);
    break;
  }
  case 6: {
    static option_values opts;
    init_options_struct(&opts, nullptr);
    opts.help_columns = 1 + data[size - 1] % 100;
    opts.var_quiet = 1;
    print_help_selection(&opts, 1u << 3, text.c_str());
    free(opts.help_printed);
    free(opts.help_enum_printed);
    break;
  }
  default:
    read_words(std::string(reinterpret_cast<const char *>(data + 1), size - 1));
    break;
  }
  diagnostic_state_finish(&global_diagnostic_state);
  return 0;
}
