// Diagnostic paths: recording events with formatted descriptions, and the
// questions the engine and its clients ask of a path.
#include "diagnostics/diagnostic-path.h"

#include "support/alloc.h"

#include <cerrno>
#include <cstdlib>

recorded_path_event::recorded_path_event(location_t location, void *fndecl, int32_t depth,
                                         const char *description)
    : where(location), function(fndecl), depth(depth), text(checked_strdup(description))
{
}

recorded_path_event::~recorded_path_event()
{
  free(text);
}

recorded_event_path::~recorded_event_path()
{
  if (events)
    for (recorded_path_event *event : *events)
      delete event;
  vec_release(events);
}

int32_t recorded_event_path::add_event(location_t location, void *fndecl, int32_t depth,
                                       const char *format, ...)
{
  pp_clear_text(printer);
  va_list args;
  va_start(args, format);
  located_ranges record;
  located_ranges_init(&record, line_table, UNKNOWN_LOCATION, nullptr);
  pp_message message = {format, &args, errno, nullptr, &record};
  pp_format(printer, &message);
  pp_output_formatted_text(printer);
  va_end(args);
  located_ranges_fini(&record);
  vec_safe_push(events, new recorded_path_event(location, fndecl, depth,
                                                pp_current_text(printer)));
  pp_clear_text(printer);
  return int32_t(vec_length(events)) - 1;
}

bool path_crosses_functions(const event_path *path)
{
  uint32_t count = path->num_events();
  if (count == 0)
    return false;
  const path_event &first = path->get_event(0);
  for (uint32_t i = 0; i < count; i++) {
    const path_event &event = path->get_event(i);
    if (event.fndecl() != first.fndecl() || event.stack_depth() != first.stack_depth())
      return true;
  }
  return false;
}

void diagnostic_show_path(diagnostic_state *context, const diagnostic_info *diagnostic)
{
  event_path *path = diagnostic->ranges->diagnostic_path;
  if (path && context->on_path)
    context->on_path(context, path);
}

void debug_path(event_path *path)
{
  located_ranges record;
  located_ranges_init(&record, line_table, UNKNOWN_LOCATION, nullptr);
  record.diagnostic_path = path;
  inform(&record, "debug path");
  located_ranges_fini(&record);
}
