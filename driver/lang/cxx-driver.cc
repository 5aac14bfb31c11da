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

// What the scan decides about the C++ library.
enum cxx_library_mode_code {
  CXX_LIBRARY_NO_LINK = -1,
  CXX_LIBRARY_UNDECIDED = 0,
  CXX_LIBRARY_SHARED = 1,
  CXX_LIBRARY_STATIC = 2,
};

// The value of -stdlib= that names the platform's libc++.
enum { STDLIB_LIBCXX = 2 };

// What the scan of the command line finds, and a mark per record.
struct cxx_scan {
  cxx_library_mode_code cxx_library_mode = CXX_LIBRARY_UNDECIDED;
  bool add_math_library = true;
  int profiled = 0;
  bool static_requested = false;
  bool shared_runtime = true;
  long stdlib_choice = STDLIB_LIBCXX;
  bool language_given = false;
  unsigned char *marks;
};

// Only while still undecided: "-c" and friends have the last word.
static void decide_library(cxx_scan *scan)
{
  if (scan->cxx_library_mode == CXX_LIBRARY_UNDECIDED)
    scan->cxx_library_mode = CXX_LIBRARY_SHARED;
}

static bool cxx_language(const char *language)
{
  return strcmp(language, "c++") == 0 || strcmp(language, "c++-cpp-output") == 0 ||
         strcmp(language, "objective-c++") == 0 ||
         strcmp(language, "objective-c++-cpp-output") == 0;
}

static void scan_library_option(cxx_scan *scan, const decoded_option &d, unsigned i)
{
  if (strcmp(d.argument, "m") == 0) {
    scan->marks[i] = MARK_MATH;
    scan->add_math_library = false;
  } else if (strcmp(d.argument, "c") == 0) {
    scan->marks[i] = MARK_LIBC;
  } else {
    decide_library(scan);
  }
}

static void scan_input_file(cxx_scan *scan, const decoded_option &d, unsigned i)
{
  size_t length = strlen(d.argument);
  if (length < 2)
    return;
  if (scan->language_given) {
    scan->language_given = false;
    return;
  }
  char last = d.argument[length - 1];
  if (length > 2 && d.argument[length - 2] == '.' && (last == 'c' || last == 'h' || last == 'i'))
    scan->marks[i] = MARK_WRAP;
  if (length < 3 || !header_name(d.argument))
    decide_library(scan);
}

static void scan_record(cxx_scan *scan, const decoded_option &d, unsigned i)
{
  switch (d.option_index) {
  case OPT_E: case OPT_M: case OPT_MM: case OPT_S: case OPT_c: case OPT_fsyntax_only:
  case OPT_nodefaultlibs: case OPT_nostdlib: case OPT_r:
    scan->cxx_library_mode = CXX_LIBRARY_NO_LINK;
    break;
  case OPT_Wl_: case OPT_Xlinker:
    decide_library(scan);
    break;
  case OPT_l:
    scan_library_option(scan, d, i);
    break;
  case OPT_p: case OPT_pg:
    scan->profiled++;
    break;
  case OPT_static:
    scan->static_requested = true;
    break;
  case OPT_static_libvuz:
    scan->shared_runtime = false;
    break;
  case OPT_static_libwexoplusplus:
    if (scan->cxx_library_mode != CXX_LIBRARY_NO_LINK)
      scan->cxx_library_mode = CXX_LIBRARY_STATIC;
    scan->marks[i] = MARK_REMOVE;
    break;
  case OPT_stdlib_eq:
    scan->stdlib_choice = static_cast<long>(d.value);
    break;
  case OPT_x:
    scan->language_given = true;
    if (cxx_language(d.argument))
      decide_library(scan);
    break;
  case OPTION_INPUT_FILE:
    scan_input_file(scan, d, i);
    break;
  default:
    break;
  }
}

static void scan_records(cxx_scan *scan, const decoded_option *in, unsigned n)
{
  for (unsigned i = 1; i < n; i++)
    if (!(in[i].errors & ERR_MISSING_ARGUMENT))
      scan_record(scan, in[i], i);
}

static bool links_cxx_library(const cxx_scan *scan)
{
  return scan->cxx_library_mode == CXX_LIBRARY_SHARED ||
         scan->cxx_library_mode == CXX_LIBRARY_STATIC;
}

// Copies the records in order, the marked ones wrapped or left out, and
// holds back the first math and C library records while a C++ library is
// added, so that they follow it.
static unsigned copy_records(const cxx_scan *scan, const decoded_option *in, unsigned n,
                             decoded_option *out, int *held_math, int *held_libc)
{
  bool linking = links_cxx_library(scan);
  unsigned k = 0;
  out[k++] = in[0];
  for (unsigned i = 1; i < n; i++) {
    if (linking && scan->marks[i] == MARK_MATH && *held_math < 0) {
      *held_math = static_cast<int>(i);
      continue;
    }
    if (linking && scan->marks[i] == MARK_LIBC && *held_libc < 0) {
      *held_libc = static_cast<int>(i);
      continue;
    }
    if (scan->marks[i] == MARK_REMOVE)
      continue;
    if (scan->marks[i] == MARK_WRAP) {
      const char *name = in[i].argument;
      generate_option(OPT_x, cxx_language_for(name[strlen(name) - 1]), 1, FLAG_DRIVER, &out[k++]);
      out[k++] = in[i];
      generate_option(OPT_x, "none", 1, FLAG_DRIVER, &out[k++]);
      continue;
    }
    out[k++] = in[i];
  }
  return k;
}

// Appends the libraries after the copied records; the count of libraries
// added is the result.
static int add_libraries(const cxx_scan *scan, const decoded_option *in, int held_math,
                         int held_libc, decoded_option *out, unsigned *k)
{
  int added = 0;
  bool linking = links_cxx_library(scan);
  bool bracket_static = scan->cxx_library_mode == CXX_LIBRARY_STATIC && !scan->static_requested;
  if (linking) {
    if (bracket_static)
      generate_option(OPT_Wl_, "-Bstatic", 1, FLAG_DRIVER, &out[(*k)++]);
    generate_option(OPT_l, scan->stdlib_choice == STDLIB_LIBCXX ? "c++" : "wexo++", 1, FLAG_DRIVER,
                    &out[(*k)++]);
    added++;
    if (bracket_static)
      generate_option(OPT_Wl_, "-Bdynamic", 1, FLAG_DRIVER, &out[(*k)++]);
  }
  if (held_math >= 0) {
    out[(*k)++] = in[held_math];
  } else if (scan->add_math_library && linking) {
    generate_option(OPT_l, scan->profiled ? "m_p" : "m", 1, FLAG_DRIVER, &out[(*k)++]);
    added++;
  }
  if (held_libc >= 0)
    out[(*k)++] = in[held_libc];
  if (!scan->static_requested && scan->shared_runtime)
    generate_option(OPT_shared_libvuz, nullptr, 1, FLAG_DRIVER, &out[(*k)++]);
  return added;
}

void lang_specific_driver(decoded_option **records, unsigned *count, int *added_libraries)
{
  decoded_option *in = *records;
  unsigned n = *count;
  cxx_scan scan;
  scan.marks = checked_new_cleared<unsigned char>(n);
  scan_records(&scan, in, n);

  // At most: every record wrapped in one -x pair (3n), plus five additions.
  decoded_option *out = checked_new_array<decoded_option>(3 * n + 8);
  int held_math = -1, held_libc = -1;
  unsigned k = copy_records(&scan, in, n, out, &held_math, &held_libc);
  *added_libraries += add_libraries(&scan, in, held_math, held_libc, out, &k);
  free(scan.marks);
  *records = out;
  *count = k;
}

int language_pre_link_hook()
{
  return 0;
}
