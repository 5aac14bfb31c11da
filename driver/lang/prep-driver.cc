// The stand-alone preprocessor driver vuzprep: every run only preprocesses,
// to standard output, to the "-o" file or to a second input name.
#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"

#include <cstring>

static bool ends_with(const char *name, const char *suffix)
{
  size_t n = strlen(name), m = strlen(suffix);
  return n >= m && strcmp(name + n - m, suffix) == 0;
}

static const char *const known_suffixes[] = {".c", ".C", ".S", ".m", ".cc", ".cp", ".sx",
                                             ".cxx", ".cpp", ".c++"};

void lang_specific_driver(decoded_option **records, unsigned *count, int *)
{
  driver_settings.is_preprocessor_driver = true;
  decoded_option *in = *records;
  unsigned n = *count;
  bool add_dash_E = true, input_missing = true, language_given = false;
  int ordinary_inputs = 0, second_input = -1;
  int marked = -1;
  const char *marked_language = nullptr;

  for (unsigned i = 1; i < n; i++) {
    const decoded_option &d = in[i];
    switch (d.option_index) {
    case OPT_E:
      add_dash_E = false;
      break;
    case OPT_S:
    case OPT_c:
      fatal_error(0, "%qs is not a valid option to the preprocessor", d.as_written);
    case OPT_x:
      language_given = true;
      break;
    case OPTION_INPUT_FILE:
      if (strcmp(d.argument, "-") == 0) {
        input_missing = false;
        break;
      }
      input_missing = false;
      ordinary_inputs++;
      if (ordinary_inputs == 2) {
        second_input = static_cast<int>(i);
      } else if (ordinary_inputs > 2) {
        fatal_error(0, "too many input files");
      } else if (!language_given) {
        bool known = false;
        for (const char *suffix : known_suffixes)
          if (ends_with(d.argument, suffix))
            known = true;
        if (!known) {
          marked = static_cast<int>(i);
          marked_language = ends_with(d.argument, ".s") ? "assembler-with-cpp" : "c";
        }
      }
      break;
    default:
      break;
    }
  }
  if (marked < 0 && second_input < 0 && !add_dash_E && !input_missing)
    return;

  decoded_option *out = checked_new_array<decoded_option>(n + 4);
  unsigned k = 0;
  out[k++] = in[0];
  if (add_dash_E)
    generate_option(OPT_E, nullptr, 1, FLAG_DRIVER, &out[k++]);
  for (unsigned i = 1; i < n; i++) {
    if (static_cast<int>(i) == marked)
      generate_option(OPT_x, marked_language, 1, FLAG_DRIVER, &out[k++]);
    if (static_cast<int>(i) == second_input) {
      generate_option(OPT_o, in[i].argument, 1, FLAG_DRIVER, &out[k++]);
      continue;
    }
    out[k++] = in[i];
  }
  if (input_missing)
    make_input_file_option("-", &out[k++]);
  *records = out;
  *count = k;
}

int language_pre_link_hook()
{
  return 0;
}
