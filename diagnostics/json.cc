// The JSON value model and its printed form: no added whitespace, members in
// the slot order of their hash table, strings that every strict parser reads.
#include "diagnostics/json.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

json_object::~json_object()
{
  for (auto &member : members) {
    free(const_cast<char *>(member.key));
    delete member.value;
  }
}

void json_object::set(const char *key, json_value *value)
{
  vuz_assert(key && value);
  if (json_value **old = members.get(key)) {
    delete *old;
    *old = value;
    return;
  }
  members.put(checked_strdup(key), value);
}

json_value *json_object::get(const char *key)
{
  vuz_assert(key);
  json_value **found = members.get(key);
  return found ? *found : nullptr;
}

void json_object::print(pretty_printer *pp) const
{
  pp_put_char(pp, '{');
  bool first = true;
  for (auto &member : members) {
    if (!first)
      pp_put_string(pp, ", ");
    first = false;
    pp_put_char(pp, '"');
    pp_put_string(pp, member.key);
    pp_put_string(pp, "\": ");
    member.value->print(pp);
  }
  pp_put_char(pp, '}');
}

json_array::~json_array()
{
  if (elements)
    for (json_value *value : *elements)
      delete value;
  vec_release(elements);
}

void json_array::append(json_value *value)
{
  vuz_assert(value);
  vec_safe_push(elements, value);
}

void json_array::print(pretty_printer *pp) const
{
  pp_put_char(pp, '[');
  for (uint32_t i = 0; i < length(); i++) {
    if (i > 0)
      pp_put_string(pp, ", ");
    at(i)->print(pp);
  }
  pp_put_char(pp, ']');
}

void json_integer::print(pretty_printer *pp) const
{
  char text[32];
  snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  pp_put_string(pp, text);
}

void json_float::print(pretty_printer *pp) const
{
  char text[1024];
  snprintf(text, sizeof text, "%g", value);
  pp_put_string(pp, text);
}

json_string::json_string(const char *t)
{
  vuz_assert_as(t, __FILE__, "string");
  text = checked_strdup(t);
}

json_string::~json_string()
{
  free(text);
}

// The length of the valid UTF-8 character at p that a strict parser accepts
// (at most U+10FFFF), or 0.
static int json_utf8_length(const unsigned char *p, size_t left)
{
  unsigned code;
  int length = decode_utf8_char(p, left, &code);
  return length > 0 && length <= 4 && code <= 0x10FFFF ? length : 0;
}

// Control characters are escaped and bytes that are not UTF-8 become
// U+FFFD, so that the output is always valid JSON.
void json_string::print(pretty_printer *pp) const
{
  pp_put_char(pp, '"');
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *end = p + strlen(text);
  while (p < end) {
    unsigned char c = *p;
    const char *escape = nullptr;
    switch (c) {
    case '\b': escape = "\\b"; break;
    case '\t': escape = "\\t"; break;
    case '\n': escape = "\\n"; break;
    case '\f': escape = "\\f"; break;
    case '\r': escape = "\\r"; break;
    case '"': escape = "\\\""; break;
    case '\\': escape = "\\\\"; break;
    }
    if (escape) {
      pp_put_string(pp, escape);
      p++;
    } else if (c < 0x20) {
      char code[8];
      snprintf(code, sizeof code, "\\u%04x", c);
      pp_put_string(pp, code);
      p++;
    } else if (c < 0x80) {
      pp_put_char(pp, c);
      p++;
    } else if (int length = json_utf8_length(p, size_t(end - p))) {
      pp_put_text_range(pp, reinterpret_cast<const char *>(p),
                        reinterpret_cast<const char *>(p + length));
      p += length;
    } else {
      pp_put_string(pp, "\xef\xbf\xbd");
      p++;
    }
  }
  pp_put_char(pp, '"');
}

void json_literal::print(pretty_printer *pp) const
{
  switch (kind) {
  case JSON_TRUE:
    pp_put_string(pp, "true");
    break;
  case JSON_FALSE:
    pp_put_string(pp, "false");
    break;
  case JSON_NULL:
    pp_put_string(pp, "null");
    break;
  default:
    vuz_unreachable();
  }
}

void json_value_dump(const json_value *value, FILE *stream)
{
  pretty_printer pp(0);
  pp.buffer->stream = stream;
  value->print(&pp);
  pp_flush_output_always(&pp);
}
