// Diagnostic paths: the ordered events (location, function, stack depth,
// description) that explain how a program reached a problem, and the one
// implementation that records them as they are described.
#ifndef VUZ_DIAGNOSTICS_DIAGNOSTIC_PATH_H
#define VUZ_DIAGNOSTICS_DIAGNOSTIC_PATH_H

#include "diagnostics/diagnostic.h"

#include <cstdint>

// A zero-based event index, as the %@ directive takes it; -1 for none.
typedef int32_t diagnostic_event_id;

struct path_event {
  virtual ~path_event() {}
  virtual location_t location() const = 0;
  virtual void *fndecl() const = 0; // an opaque function handle
  virtual int32_t stack_depth() const = 0;
  virtual label_string description() const = 0;
};

struct event_path {
  virtual ~event_path() {}
  virtual uint32_t num_events() const = 0;
  virtual const path_event &get_event(uint32_t index) const = 0;
};

struct recorded_path_event : path_event {
  recorded_path_event(location_t location, void *fndecl, int32_t depth, const char *text);
  ~recorded_path_event() override;
  location_t location() const override { return where; }
  void *fndecl() const override { return function; }
  int32_t stack_depth() const override { return depth; }
  // The text stays owned by the event.
  label_string description() const override { return {text, false}; }

  location_t where;
  void *function;
  int32_t depth;
  char *text;
};

struct recorded_event_path : event_path {
  explicit recorded_event_path(pretty_printer *printer) : printer(printer) {}
  ~recorded_event_path() override;
  uint32_t num_events() const override { return vec_length(events); }
  const path_event &get_event(uint32_t index) const override { return *(*events)[index]; }
  // Formats the description and appends the event; returns its index.
  int32_t add_event(location_t location, void *fndecl, int32_t depth, const char *format, ...)
      VUZ_PP_FORMAT(5);

  vec<recorded_path_event *> *events = nullptr;
  pretty_printer *printer; // formats the descriptions; not owned

  recorded_event_path(const recorded_event_path &) = delete;
  recorded_event_path &operator=(const recorded_event_path &) = delete;
};

// Whether some event is in another function or at another depth than the first.
bool path_crosses_functions(const event_path *path);
void diagnostic_show_path(diagnostic_state *context, const diagnostic_info *diagnostic);
void debug_path(event_path *path);

#endif
