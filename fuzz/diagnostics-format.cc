// Random input for pp_put_escaped, line wrapping, parse_vuz_colors and the
// format engine. Formats are built from random choices of well-formed
// directives (a malformed one is an internal error by design), with random
// literal text, numbering, flags and argument texts.
#include "diagnostics/diagnostic-color.h"
#include "diagnostics/pretty-print.h"
#include "fuzz/fuzz-input.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string literal(fuzz_input &in)
{
  std::string s = in.text(12);
  for (char &c : s)
    if (c == '%' || c == '\0')
      c = 'x';
  return s;
}

const char *const phase_one[] = {"%%", "%<", "%>", "%'", "%R", "%m", "%}"};

// Directives that each take one text argument.
std::string text_directive(fuzz_input &in, bool numbered, int number)
{
  std::string d = "%";
  if (numbered)
    d += std::to_string(number) + "$";
  switch (in.byte() % 5) {
  case 0:
    return d + "s";
  case 1:
    return d + "qs";
  case 2:
    return d + "." + std::to_string(in.byte() % 20) + "s";
  case 3:
    return d + "{";
  default:
    return d + "r";
  }
}

// Directives that each take one int argument.
std::string int_directive(fuzz_input &in, bool numbered, int number)
{
  static const char *const conversions[] = {"d", "i", "x", "o", "u", "c", "qc", "qd"};
  std::string d = "%";
  if (numbered)
    d += std::to_string(number) + "$";
  return d + conversions[in.byte() % 8];
}

std::string build_format(fuzz_input &in, bool ints, int *count)
{
  bool numbered = in.byte() & 1;
  int n = in.byte() % 29 + 1;
  int order[30];
  for (int i = 0; i < n; i++)
    order[i] = i + 1;
  if (numbered)
    for (int i = n - 1; i > 0; i--) {
      int j = in.byte() % (i + 1);
      int t = order[i];
      order[i] = order[j];
      order[j] = t;
    }
  std::string format;
  for (int i = 0; i < n; i++) {
    if (in.byte() & 1)
      format += phase_one[in.byte() % 7];
    format += literal(in);
    format += ints ? int_directive(in, numbered, order[i]) : text_directive(in, numbered, order[i]);
  }
  *count = n;
  return format;
}

void run_format(pretty_printer &pp, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  pp_put_format_va(&pp, true, format, &args);
  va_end(args);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  fuzz_input in = {data, size};
  std::string colours = in.text(64);
  setenv("VUZ_COLORS", colours.c_str(), 1);
  bool show = parse_vuz_colors();

  pretty_printer pp(0);
  pp.show_color = show;
  pp.url_format = in.byte() % 3;
  pp.prefixing_rule = in.byte() % 3;
  pp_set_line_cutoff(&pp, in.byte() % 40);
  if (in.byte() & 1)
    pp_replace_prefix(&pp, strdup(literal(in).c_str()));

  std::string raw = in.text(64);
  pp_put_escaped(&pp, raw.data(), static_cast<long>(raw.size()));
  pp_put_string(&pp, literal(in).c_str());

  int count;
  std::string texts[30];
  const char *t[30];
  for (int i = 0; i < 30; i++) {
    texts[i] = in.text(16);
    t[i] = texts[i].c_str();
  }
  std::string format = build_format(in, false, &count);
  run_format(pp, format.c_str(), t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10],
             t[11], t[12], t[13], t[14], t[15], t[16], t[17], t[18], t[19], t[20], t[21], t[22],
             t[23], t[24], t[25], t[26], t[27], t[28], t[29]);
  int v[30];
  for (int &value : v)
    value = static_cast<int8_t>(in.byte()) * 1000003;
  format = build_format(in, true, &count);
  run_format(pp, format.c_str(), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11],
             v[12], v[13], v[14], v[15], v[16], v[17], v[18], v[19], v[20], v[21], v[22], v[23],
             v[24], v[25], v[26], v[27], v[28], v[29]);
  pp_current_text(&pp);
  colour_table_reset();
  return 0;
}
