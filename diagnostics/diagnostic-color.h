// Colours and terminal hyperlinks of diagnostics: the named colour table that
// VUZ_COLORS overrides, and the choice of colour and hyperlink modes from the
// environment and the terminal.
#ifndef VUZ_DIAGNOSTICS_DIAGNOSTIC_COLOR_H
#define VUZ_DIAGNOSTICS_DIAGNOSTIC_COLOR_H

#include <cstddef>
#include <cstdint>

// Modes of -fdiagnostics-color= and -fdiagnostics-urls=.
enum : int { DIAGNOSTICS_NEVER = 0, DIAGNOSTICS_ALWAYS = 1, DIAGNOSTICS_AUTO = 2 };

// Hyperlink formats of the printer.
enum : int { URL_FORMAT_NONE = 0, URL_FORMAT_ST = 1, URL_FORMAT_BEL = 2 };

struct colour_entry {
  const char *name;
  const char *start;
  uint8_t name_length;
  uint8_t start_allocated;
};

const char *colorize_start(bool show_color, const char *name, size_t length);
const char *colorize_start(bool show_color, const char *name);
const char *colorize_stop(bool show_color);
bool colorize_init(int mode);
bool parse_vuz_colors();
int determine_url_format(int mode);
const char *get_end_url_string(int url_format);

// Whether descriptor FD is a terminal. The set-up of one run asks this about
// standard error several times (caret width, colour, hyperlinks); the answer
// is kept until forget_terminal_answer, which each context set-up calls.
bool descriptor_is_terminal(int fd);
void forget_terminal_answer();

// Puts the colour table back to its defaults (for callers that parse
// VUZ_COLORS more than once, such as tests).
void colour_table_reset();

#endif
