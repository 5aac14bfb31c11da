// The colour table, VUZ_COLORS, and the automatic colour and hyperlink modes.
#include "diagnostics/diagnostic-color.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#define SGR_START "\33["
#define SGR_END "m\33[K"
#define COLOUR_ROW(name, sgr) {name, SGR_START sgr SGR_END, sizeof name - 1, 0}

#define COLOUR_ROWS                                                                      \
  COLOUR_ROW("error", "01;31"), COLOUR_ROW("warning", "01;35"), COLOUR_ROW("note", "01;36"),  \
      COLOUR_ROW("range1", "32"), COLOUR_ROW("range2", "34"), COLOUR_ROW("locus", "01"),     \
      COLOUR_ROW("quote", "01"), COLOUR_ROW("path", "01;36"),                                \
      COLOUR_ROW("fixit-insert", "32"), COLOUR_ROW("fixit-delete", "31"),                    \
      COLOUR_ROW("diff-filename", "01"), COLOUR_ROW("diff-hunk", "36"),                      \
      COLOUR_ROW("diff-delete", "31"), COLOUR_ROW("diff-insert", "32"),                      \
      COLOUR_ROW("type-diff", "01;32"), {nullptr, nullptr, 0, 0}

static colour_entry colour_table[] = {COLOUR_ROWS};
// The defaults, for putting an overridden row back.
static const colour_entry default_colour_table[] = {COLOUR_ROWS};

static const char colour_stop_text[] = SGR_START SGR_END;

void colour_table_reset()
{
  for (colour_entry *row = colour_table; row->name; row++) {
    if (row->start_allocated)
      free(const_cast<char *>(row->start));
    *row = default_colour_table[row - colour_table];
  }
}

static colour_entry *find_colour(const char *name, size_t length)
{
  for (colour_entry *row = colour_table; row->name; row++)
    if (row->name_length == length && memcmp(row->name, name, length) == 0)
      return row;
  return nullptr;
}

const char *colorize_start(bool show_color, const char *name, size_t length)
{
  if (!show_color)
    return "";
  colour_entry *row = find_colour(name, length);
  return row ? row->start : "";
}

const char *colorize_start(bool show_color, const char *name)
{
  return colorize_start(show_color, name, strlen(name));
}

const char *colorize_stop(bool show_color)
{
  return show_color ? colour_stop_text : "";
}

static int asked_descriptor = -1;
static bool asked_is_terminal;

bool descriptor_is_terminal(int fd)
{
  if (fd != asked_descriptor) {
    asked_is_terminal = isatty(fd);
    asked_descriptor = fd;
  }
  return asked_is_terminal;
}

void forget_terminal_answer()
{
  asked_descriptor = -1;
}

static bool terminal_on_stderr()
{
  const char *term = getenv("TERM");
  return term && strcmp(term, "dumb") != 0 && descriptor_is_terminal(STDERR_FILENO);
}

bool colorize_init(int mode)
{
  switch (mode) {
  case DIAGNOSTICS_NEVER:
    return false;
  case DIAGNOSTICS_ALWAYS:
    return parse_vuz_colors();
  case DIAGNOSTICS_AUTO:
    return terminal_on_stderr() ? parse_vuz_colors() : false;
  default:
    vuz_unreachable();
  }
}

// Applies one "name=value" item whose value has already been checked.
static void apply_colour_item(const char *name, size_t name_length, const char *value,
                              size_t value_length)
{
  colour_entry *row = find_colour(name, name_length);
  if (!row)
    return;
  char *start = static_cast<char *>(
      checked_malloc(sizeof SGR_START - 1 + value_length + sizeof SGR_END));
  memcpy(start, SGR_START, sizeof SGR_START - 1);
  memcpy(start + sizeof SGR_START - 1, value, value_length);
  memcpy(start + sizeof SGR_START - 1 + value_length, SGR_END, sizeof SGR_END);
  if (row->start_allocated)
    free(const_cast<char *>(row->start));
  row->start = start;
  row->start_allocated = 1;
}

bool parse_vuz_colors()
{
  const char *p = getenv("VUZ_COLORS");
  if (!p)
    return true;
  if (!*p)
    return false;
  const char *name = p;
  const char *value = nullptr;
  for (;; p++) {
    if (*p == ':' || *p == '\0') {
      if (value)
        apply_colour_item(name, static_cast<size_t>(value - 1 - name), value,
                          static_cast<size_t>(p - value));
      if (*p == '\0')
        return true;
      name = p + 1;
      value = nullptr;
    } else if (*p == '=') {
      // An empty name or a second '=' ends the reading.
      if (p == name || value)
        return true;
      value = p + 1;
    } else if (value && !c_isdigit(static_cast<unsigned char>(*p)) && *p != ';') {
      return true;
    }
  }
}

static int url_format_of(const char *value)
{
  if (!*value || strcmp(value, "no") == 0)
    return URL_FORMAT_NONE;
  if (strcmp(value, "st") == 0)
    return URL_FORMAT_ST;
  return URL_FORMAT_BEL;
}

int determine_url_format(int mode)
{
  const char *vuz_urls = getenv("VUZ_URLS");
  const char *term_urls = getenv("TERM_URLS");
  switch (mode) {
  case DIAGNOSTICS_NEVER:
    return URL_FORMAT_NONE;
  case DIAGNOSTICS_ALWAYS:
    if (vuz_urls)
      return url_format_of(vuz_urls);
    return term_urls ? url_format_of(term_urls) : URL_FORMAT_BEL;
  case DIAGNOSTICS_AUTO: {
    if (!terminal_on_stderr())
      return URL_FORMAT_NONE;
    const char *colorterm = getenv("COLORTERM");
    // These terminals are known to show the escape sequences instead.
    if (colorterm &&
        (strcmp(colorterm, "xfce4-terminal") == 0 || strcmp(colorterm, "gnome-terminal") == 0))
      return URL_FORMAT_NONE;
    if (vuz_urls)
      return url_format_of(vuz_urls);
    const char *term = getenv("TERM");
    if (!term_urls && !colorterm && (strcmp(term, "xterm") == 0 || strcmp(term, "linux") == 0))
      return URL_FORMAT_NONE;
    return term_urls ? url_format_of(term_urls) : URL_FORMAT_BEL;
  }
  default:
    vuz_unreachable();
  }
}

const char *get_end_url_string(int url_format)
{
  switch (url_format) {
  case URL_FORMAT_NONE:
    return "";
  case URL_FORMAT_ST:
    return "\33]8;;\33\\";
  case URL_FORMAT_BEL:
    return "\33]8;;\a";
  default:
    vuz_unreachable();
  }
}
