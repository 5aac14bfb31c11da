// The C++ driver vuz++: compiles ".c", ".h" and ".i" inputs as C++ and adds
// the C++ and math libraries when it links.
#include "driver/driver-options.h"

#include <cstring>

enum record_mark : unsigned char {
  MARK_NONE,
  MARK_MATH,
  MARK_LIBC,
  MARK_WRAP,
  MARK_REMOVE,
};

static bool ends_with(const char *name, const char *suffix, size_t minimum)
{
  size_t n = strlen(name), m = strlen(suffix);
  return n >= minimum && n >= m && strcmp(name + n - m, suffix) == 0;
}

static bool header_name(const char *name)
{
  return ends_with(name, ".H", 3) || ends_with(name, ".h", 3) || ends_with(name, ".hp", 4) ||
         ends_with(name, ".hh", 4) || ends_with(name, ".hpp", 5) || ends_with(name, ".hxx", 5) ||
         ends_with(name, ".h++", 5) || ends_with(name, ".HPP", 5) || ends_with(name, ".tcc", 5);
}

static const char *cxx_language_for(char last)
{
  return last == 'c' ? "c++" : last == 'h' ? "c++-header" : "c++-cpp-output";
}

void lang_specific_driver(decoded_option **records, unsigned *count, int *added_libraries)
{
  decoded_option *in = *records;
  unsigned n = *count;
  int library_mode = 0;  // -1 no link, 1 C++ library, 2 static C++ library
  bool add_math = true, static_requested = false, shared_runtime = true, language_given = false;
  int profiled = 0;
  long stdlib_choice = 2;
  unsigned char *marks = checked_new_cleared<unsigned char>(n);

  for (unsigned i = 1; i < n; i++) {
    const decoded_option &d = in[i];
    if (d.errors & ERR_MISSING_ARGUMENT)
      continue;
    switch (d.option_index) {
    case OPT_E: case OPT_M: case OPT_MM: case OPT_S: case OPT_c: case OPT_fsyntax_only:
    case OPT_nodefaultlibs: case OPT_nostdlib: case OPT_r:
      library_mode = -1;
      break;
    case OPT_Wl_: case OPT_Xlinker:
      if (library_mode == 0)
        library_mode = 1;
      break;
    case OPT_l:
      if (strcmp(d.argument, "m") == 0) {
        marks[i] = MARK_MATH;
        add_math = false;
      } else if (strcmp(d.argument, "c") == 0) {
        marks[i] = MARK_LIBC;
      } else if (library_mode == 0) {
        library_mode = 1;
      }
      break;
    case OPT_p: case OPT_pg:
      profiled++;
      break;
    case OPT_static:
      static_requested = true;
      break;
    case OPT_static_libvuz:
      shared_runtime = false;
      break;
    case OPT_static_libwexoplusplus:
      if (library_mode != -1)
        library_mode = 2;
      marks[i] = MARK_REMOVE;
      break;
    case OPT_stdlib_eq:
      stdlib_choice = static_cast<long>(d.value);
      break;
    case OPT_x:
      language_given = true;
      if (library_mode == 0 &&
          (strcmp(d.argument, "c++") == 0 || strcmp(d.argument, "c++-cpp-output") == 0 ||
           strcmp(d.argument, "objective-c++") == 0 || strcmp(d.argument, "objective-c++-cpp-output") == 0))
        library_mode = 1;
      break;
    case OPTION_INPUT_FILE: {
      size_t length = strlen(d.argument);
      if (length < 2)
        break;
      if (language_given) {
        language_given = false;
        break;
      }
      char last = d.argument[length - 1];
      if (length > 2 && d.argument[length - 2] == '.' && (last == 'c' || last == 'h' || last == 'i'))
        marks[i] = MARK_WRAP;
      // Only while still undecided: "-c" and friends have the last word.
      if (library_mode == 0 && (length < 3 || !header_name(d.argument)))
        library_mode = 1;
      break;
    }
    default:
      break;
    }
  }

  // At most: every record wrapped in two -x pairs, plus six additions.
  decoded_option *out = checked_new_array<decoded_option>(3 * n + 8);
  unsigned k = 0;
  out[k++] = in[0];
  int held_math = -1, held_libc = -1;
  for (unsigned i = 1; i < n; i++) {
    if (library_mode > 0 && marks[i] == MARK_MATH && held_math < 0) {
      held_math = static_cast<int>(i);
      continue;
    }
    if (library_mode > 0 && marks[i] == MARK_LIBC && held_libc < 0) {
      held_libc = static_cast<int>(i);
      continue;
    }
    if (marks[i] == MARK_REMOVE)
      continue;
    if (marks[i] == MARK_WRAP) {
      const char *name = in[i].argument;
      generate_option(OPT_x, cxx_language_for(name[strlen(name) - 1]), 1, FLAG_DRIVER, &out[k++]);
      out[k++] = in[i];
      generate_option(OPT_x, "none", 1, FLAG_DRIVER, &out[k++]);
      continue;
    }
    out[k++] = in[i];
  }
  int added = 0;
  if (library_mode > 0) {
    if (library_mode == 2 && !static_requested)
      generate_option(OPT_Wl_, "-Bstatic", 1, FLAG_DRIVER, &out[k++]);
    generate_option(OPT_l, stdlib_choice == 2 ? "c++" : "wexo++", 1, FLAG_DRIVER, &out[k++]);
    added++;
    if (library_mode == 2 && !static_requested)
      generate_option(OPT_Wl_, "-Bdynamic", 1, FLAG_DRIVER, &out[k++]);
  }
  if (held_math >= 0) {
    out[k++] = in[held_math];
  } else if (add_math && library_mode > 0) {
    generate_option(OPT_l, profiled ? "m_p" : "m", 1, FLAG_DRIVER, &out[k++]);
    added++;
  }
  if (held_libc >= 0)
    out[k++] = in[held_libc];
  if (!static_requested && shared_runtime)
    generate_option(OPT_shared_libvuz, nullptr, 1, FLAG_DRIVER, &out[k++]);
  free(marks);
  *records = out;
  *count = k;
  *added_libraries += added;
}

int language_pre_link_hook()
{
  return 0;
}
