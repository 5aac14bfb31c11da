// The JSON output format: each shown report becomes an object, the reports of
// a group go into the "children" of its first one, and the whole array is
// written to standard error once, when the context is finished.
#include "diagnostics/json.h"

#include "diagnostics/internal.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

// One array per process, as there is one diagnostic context.
static json_array *toplevel_array;
static json_object *current_group;
static json_array *current_children;

json_object *json_from_expanded_location(diagnostic_state *context, location_t location)
{
  expanded_location where = location_expand(location);
  json_object *result = new json_object;
  if (where.file)
    result->set("file", new json_string(where.file));
  result->set("line", new json_integer(int64_t(uint32_t(where.line))));
  uint32_t saved_unit = context->column_unit;
  context->column_unit = 0;
  int display_column = convert_column_unit(context, &where);
  context->column_unit = 1;
  int byte_column = convert_column_unit(context, &where);
  context->column_unit = saved_unit;
  result->set("display-column", new json_integer(display_column));
  result->set("byte-column", new json_integer(byte_column));
  switch (saved_unit) {
  case 0:
    result->set("column", new json_integer(display_column));
    break;
  case 1:
    result->set("column", new json_integer(byte_column));
    break;
  default:
    vuz_unreachable();
  }
  return result;
}

static json_object *json_from_range(diagnostic_state *context, const located_range *range,
                                    uint32_t index)
{
  location_t caret = line_table ? linemap_strip_range(line_table, range->location)
                                : range->location;
  if (caret == UNKNOWN_LOCATION)
    return nullptr;
  location_span span =
      line_table ? linemap_location_range(line_table, range->location)
                 : location_span{range->location, range->location};
  json_object *result = new json_object;
  result->set("caret", json_from_expanded_location(context, caret));
  if (span.start != UNKNOWN_LOCATION && span.start != caret)
    result->set("start", json_from_expanded_location(context, span.start));
  if (span.finish != UNKNOWN_LOCATION && span.finish != caret)
    result->set("finish", json_from_expanded_location(context, span.finish));
  if (range->label) {
    label_string text = range->label->get_text(index);
    if (text.text) {
      result->set("label", new json_string(text.text));
      if (text.owned)
        free(text.text);
    }
  }
  return result;
}

static json_object *json_from_fixit(diagnostic_state *context, const fixit_hint *hint)
{
  json_object *result = new json_object;
  result->set("start", json_from_expanded_location(context, hint->start));
  result->set("next", json_from_expanded_location(context, hint->next));
  result->set("string", new json_string(hint->text));
  return result;
}

// The kind text without its ": ".
static json_string *json_kind_name(diagnostic_kind kind)
{
  const char *text = kind_text(kind);
  size_t length = strlen(text);
  vuz_assert_as(length >= 3 && strcmp(text + length - 2, ": ") == 0, __FILE__,
                "json_end_diagnostic");
  char *name = checked_strndup(text, length - 2);
  json_string *result = new json_string(name);
  free(name);
  return result;
}

// The object joins the open group, or starts a new top-level entry.
static void json_place(diagnostic_state *context, json_object *object)
{
  if (current_group) {
    vuz_assert_as(current_children, __FILE__, "json_end_diagnostic");
    current_children->append(object);
    return;
  }
  toplevel_array->append(object);
  current_group = object;
  current_children = new json_array;
  object->set("children", current_children);
  object->set("column-origin", new json_integer(context->column_origin));
}

static void json_set_option(diagnostic_state *context, json_object *object,
                            const diagnostic_info *diagnostic, diagnostic_kind initial_kind)
{
  if (context->name_of_option) {
    char *name =
        context->name_of_option(context, diagnostic->option, initial_kind, diagnostic->kind);
    if (name) {
      object->set("option", new json_string(name));
      free(name);
    }
  }
  if (context->url_of_option) {
    char *url = context->url_of_option(context, diagnostic->option);
    if (url) {
      object->set("option_url", new json_string(url));
      free(url);
    }
  }
}

static void json_end_diagnostic(diagnostic_state *context, diagnostic_info *diagnostic,
                                diagnostic_kind initial_kind)
{
  json_object *object = new json_object;
  object->set("kind", json_kind_name(diagnostic->kind));
  object->set("message", new json_string(pp_current_text(context->printer)));
  pp_clear_text(context->printer);
  json_set_option(context, object, diagnostic, initial_kind);
  json_place(context, object);

  located_ranges *record = diagnostic->ranges;
  json_array *locations = new json_array;
  for (int32_t i = 0; i < record->range_count; i++)
    if (json_object *range = json_from_range(context, located_ranges_range(record, i),
                                             uint32_t(i)))
      locations->append(range);
  object->set("locations", locations);

  if (record->fixit_count > 0) {
    json_array *fixits = new json_array;
    for (uint32_t i = 0; i < record->fixit_count; i++)
      fixits->append(json_from_fixit(context, located_ranges_fixit(record, i)));
    object->set("fixits", fixits);
  }
  if (diagnostic->metadata) {
    json_object *metadata = new json_object;
    if (diagnostic->metadata->cwe)
      metadata->set("cwe", new json_integer(diagnostic->metadata->cwe));
    object->set("metadata", metadata);
  }
  if (record->diagnostic_path && context->path_to_json)
    object->set("path", context->path_to_json(context, record->diagnostic_path));
  object->set("escape-source", new json_literal(record->escape_output ? JSON_TRUE : JSON_FALSE));
}

static void json_begin_diagnostic(diagnostic_state *, diagnostic_info *) {}

static void json_begin_group(diagnostic_state *) {}

static void json_end_group(diagnostic_state *)
{
  current_group = nullptr;
  current_children = nullptr;
}

static void json_final(diagnostic_state *)
{
  json_value_dump(toplevel_array, stderr);
  fputc('\n', stderr);
  delete toplevel_array;
  toplevel_array = nullptr;
  current_group = nullptr;
  current_children = nullptr;
}

void diagnostic_output_format_init(diagnostic_state *context, int format)
{
  switch (format) {
  case DIAGNOSTICS_OUTPUT_TEXT:
    return;
  case DIAGNOSTICS_OUTPUT_JSON:
    break;
  default:
    vuz_unreachable();
  }
  if (!toplevel_array)
    toplevel_array = new json_array;
  context->on_begin = json_begin_diagnostic;
  context->on_end = json_end_diagnostic;
  context->on_group_begin = json_begin_group;
  context->on_group_end = json_end_group;
  context->on_final = json_final;
  context->on_path = nullptr;
  context->show_cwe = false;
  context->show_option = false;
  context->printer->show_color = false;
}
