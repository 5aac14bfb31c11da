// JSON values with their exact printed form, and the JSON output format of
// the diagnostic engine: one object per report, the reports of a group nested
// under its first, the whole array written when the run ends.
#ifndef VUZ_DIAGNOSTICS_JSON_H
#define VUZ_DIAGNOSTICS_JSON_H

#include "diagnostics/diagnostic.h"
#include "support/hash-table.h"
#include "support/vec.h"

#include <cstdint>
#include <cstdio>

enum json_kind : int {
  JSON_OBJECT = 0,
  JSON_ARRAY = 1,
  JSON_INTEGER = 2,
  JSON_FLOAT = 3,
  JSON_STRING = 4,
  JSON_TRUE = 5,
  JSON_FALSE = 6,
  JSON_NULL = 7,
};

class json_value {
public:
  virtual ~json_value() {}
  virtual json_kind get_kind() const = 0;
  virtual void print(pretty_printer *pp) const = 0;
};

class json_object : public json_value {
public:
  json_object() : members(13) {}
  ~json_object() override;
  json_kind get_kind() const override { return JSON_OBJECT; }
  void print(pretty_printer *pp) const override;
  // Takes the value; an existing key keeps its text and loses its old value.
  void set(const char *key, json_value *value);
  json_value *get(const char *key);

private:
  // Members print in slot order, which the keys' hashes decide.
  mutable hash_map<const char *, json_value *, string_hash_traits> members;
};

class json_array : public json_value {
public:
  ~json_array() override;
  json_kind get_kind() const override { return JSON_ARRAY; }
  void print(pretty_printer *pp) const override;
  void append(json_value *value);
  uint32_t length() const { return vec_length(elements); }
  json_value *at(uint32_t i) const { return (*elements)[i]; }

private:
  vec<json_value *> *elements = nullptr;
};

class json_integer : public json_value {
public:
  explicit json_integer(int64_t v) : value(v) {}
  json_kind get_kind() const override { return JSON_INTEGER; }
  void print(pretty_printer *pp) const override;
  int64_t value;
};

class json_float : public json_value {
public:
  explicit json_float(double v) : value(v) {}
  json_kind get_kind() const override { return JSON_FLOAT; }
  void print(pretty_printer *pp) const override;
  double value;
};

class json_string : public json_value {
public:
  explicit json_string(const char *text);
  ~json_string() override;
  json_kind get_kind() const override { return JSON_STRING; }
  void print(pretty_printer *pp) const override;
  char *text;
};

class json_literal : public json_value {
public:
  explicit json_literal(json_kind k) : kind(k) {}
  json_kind get_kind() const override { return kind; }
  void print(pretty_printer *pp) const override;
  json_kind kind;
};

void json_value_dump(const json_value *value, FILE *stream);

// Output formats of the engine.
enum : int { DIAGNOSTICS_OUTPUT_TEXT = 0, DIAGNOSTICS_OUTPUT_JSON = 1 };
void diagnostic_output_format_init(diagnostic_state *context, int format);
json_object *json_from_expanded_location(diagnostic_state *context, location_t location);

#endif
