// JSON values with their exact printed form, and the JSON output format of
// whole runs, each output loaded by python's strict JSON parser.
#include "diagnostics/json.h"

#include "support/alloc.h"
#include "tests/common/temp-dir.h"
#include "tests/diagnostics/child-run.h"
#include "tests/diagnostics/quoting-fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string printed(const json_value &value)
{
  pretty_printer pp(0);
  value.print(&pp);
  std::string text = pp_current_text(&pp);
  pp_clear_text(&pp);
  return text;
}

TEST(JsonValue, PrintedForms)
{
  struct row {
    json_value *value;
    const char *text;
  } rows[] = {
      {new json_integer(-42), "-42"},
      {new json_integer(INT64_MAX), "9223372036854775807"},
      {new json_float(0.5), "0.5"},
      {new json_float(1e20), "1e+20"},
      {new json_literal(JSON_TRUE), "true"},
      {new json_literal(JSON_FALSE), "false"},
      {new json_literal(JSON_NULL), "null"},
      {new json_string("a\"b\\c\nd\te\bf\fg\rh"), "\"a\\\"b\\\\c\\nd\\te\\bf\\fg\\rh\""},
      {new json_string("caf\xc3\xa9 \xf0\x9f\x98\x80"), "\"caf\xc3\xa9 \xf0\x9f\x98\x80\""},
      // Every control character is escaped; bytes that are not UTF-8 (and
      // forms beyond U+10FFFF) become U+FFFD.
      {new json_string("\x01\x1f\x7f"), "\"\\u0001\\u001f\x7f\""},
      {new json_string("a\xff" "b\xc3"), "\"a\xef\xbf\xbd" "b\xef\xbf\xbd\""},
      {new json_string("\xf8\x88\x80\x80\x80"), "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"
                                                "\xef\xbf\xbd\xef\xbf\xbd\""},
      {new json_array, "[]"},
      {new json_object, "{}"},
  };
  for (const row &r : rows) {
    EXPECT_EQ(printed(*r.value), r.text);
    delete r.value;
  }
  json_array array;
  array.append(new json_integer(1));
  array.append(new json_string("x"));
  json_array *inner = new json_array;
  inner->append(new json_literal(JSON_NULL));
  array.append(inner);
  EXPECT_EQ(printed(array), "[1, \"x\", [null]]");
}

TEST(JsonValue, MemberOrderFollowsTheTableNotInsertion)
{
  const char *keys[] = {"kind", "message", "children", "locations", "column-origin", "file"};
  json_object forward, backward;
  for (int i = 0; i < 6; i++) {
    forward.set(keys[i], new json_integer(i));
    backward.set(keys[5 - i], new json_integer(5 - i));
  }
  EXPECT_EQ(printed(forward), printed(backward));
  // Replacing a value keeps the member where it is.
  std::string before = printed(forward);
  forward.set("kind", new json_string("k"));
  std::string after = printed(forward);
  EXPECT_EQ(after.size(), before.size() + 2);
  EXPECT_NE(after.find("\"kind\": \"k\""), std::string::npos);
  EXPECT_EQ(forward.get("missing"), nullptr);
  ASSERT_NE(forward.get("file"), nullptr);
  EXPECT_EQ(forward.get("file")->get_kind(), JSON_INTEGER);
}

// Loads text with python's strict parser and prints it back with sorted keys,
// or returns the parser's complaint.
std::string python_canonical(const std::string &text)
{
  TempDir dir;
  std::string path = dir / "out.json";
  FILE *f = fopen(path.c_str(), "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  std::string command =
      "python3 -c 'import json,sys; "
      "print(json.dumps(json.loads(open(sys.argv[1], encoding=\"utf-8\", errors=\"strict\")"
      ".read()), sort_keys=True, ensure_ascii=True))' '" +
      path + "' 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  std::string out;
  for (int c; pipe && (c = fgetc(pipe)) != EOF;)
    out += char(c);
  if (pipe)
    pclose(pipe);
  return out;
}

// A run in a child with JSON output over real files, ended by finishing the
// context (or by the body).
struct json_run : quoting_fixture {
  child_outcome run(const std::function<void()> &body)
  {
    return run_in_child([&] {
      alloc_set_program_name("vuz");
      diagnostic_output_format_init(context, DIAGNOSTICS_OUTPUT_JSON);
      body();
      diagnostic_state_finish(context);
      diagnostic_state_init(context, 0); // the fixture finishes it again
    });
  }
};

struct fixed_label : range_label {
  label_string get_text(uint32_t index) const override
  {
    return {format_alloc("range %u\x01", index), true};
  }
};

char *option_name(diagnostic_state *, int option, diagnostic_kind, diagnostic_kind)
{
  return option ? format_alloc("-Wopt%d", option) : nullptr;
}

char *option_url(diagnostic_state *, int option)
{
  return option ? format_alloc("https://vuz.invalid/%d", option) : nullptr;
}

int always_enabled(int, unsigned, void *)
{
  return 1;
}

TEST_F(json_run, ReportsGroupsAndLocations)
{
  std::string path;
  file_map map = source("j.c", "int x = y;\n\tz;\n", 2, &path);
  fixed_label label;
  child_outcome outcome = run([&] {
    context->name_of_option = option_name;
    context->url_of_option = option_url;
    context->is_option_enabled = always_enabled;
    located_ranges record;
    located_ranges_init(&record, line_table, location_make(at(map, 1, 9), at(map, 1, 9),
                                                           at(map, 1, 9)), nullptr);
    located_ranges_add_range(&record, at(map, 1, 5), RANGE_NO_CARET, &label);
    fixit_replace_at(&record, at(map, 1, 9), "w");
    diagnostic_meta meta = {457};
    diagnostic_group_enter(context);
    warning_meta(&record, meta, 3, "use of %qs\twith \x02 and \xff", "y");
    inform_loc(at(map, 2, 2), "declared here");
    diagnostic_group_leave(context);
    located_ranges_fini(&record);
    inform_loc(0, "on its own");
    error_at_loc(at(map, 2, 0), "no column");
  });
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  std::string file = "{\"file\": \"" + path + "\", ";
  EXPECT_EQ(
      python_canonical(outcome.err),
      "[{\"children\": [{\"escape-source\": false, \"kind\": \"note\", \"locations\": "
      "[{\"caret\": {\"byte-column\": 2, \"column\": 9, \"display-column\": 9, " +
      file.substr(1) + "\"line\": 2}}], \"message\": \"declared here\"}], "
      "\"column-origin\": 1, \"escape-source\": false, \"fixits\": [{\"next\": "
      "{\"byte-column\": 10, \"column\": 10, \"display-column\": 10, " + file.substr(1) +
      "\"line\": 1}, \"start\": {\"byte-column\": 9, \"column\": 9, \"display-column\": 9, " +
      file.substr(1) + "\"line\": 1}, \"string\": \"w\"}], \"kind\": \"warning\", "
      "\"locations\": [{\"caret\": {\"byte-column\": 9, \"column\": 9, \"display-column\": 9, " +
      file.substr(1) + "\"line\": 1}}, {\"caret\": {\"byte-column\": 5, \"column\": 5, "
      "\"display-column\": 5, " + file.substr(1) + "\"line\": 1}, \"label\": "
      "\"range 1\\u0001\"}], \"message\": \"use of 'y'\\twith \\u0002 and \\ufffd\", "
      "\"metadata\": {\"cwe\": 457}, \"option\": \"-Wopt3\", \"option_url\": "
      "\"https://vuz.invalid/3\"}, "
      "{\"children\": [], \"column-origin\": 1, \"escape-source\": false, \"kind\": \"note\", "
      "\"locations\": [], \"message\": \"on its own\"}, "
      "{\"children\": [], \"column-origin\": 1, \"escape-source\": false, \"kind\": \"error\", "
      "\"locations\": [{\"caret\": {\"byte-column\": -1, \"column\": -1, \"display-column\": "
      "-1, " + file.substr(1) + "\"line\": 2}}], \"message\": \"no column\"}]\n");
}

TEST_F(json_run, FatalErrorStillWritesTheArray)
{
  child_outcome outcome = run([&] {
    error_at_loc(0, "first");
    fatal_error(0, "no input files");
  });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "[{\"kind\": \"error\", \"column-origin\": 1, \"children\": [], \"escape-source\": "
            "false, \"locations\": [], \"message\": \"first\"}, {\"kind\": \"fatal error\", "
            "\"column-origin\": 1, \"children\": [], \"escape-source\": false, \"locations\": "
            "[], \"message\": \"no input files\"}]\n"
            "compilation terminated.\n");
  EXPECT_EQ(python_canonical(outcome.err.substr(0, outcome.err.find('\n'))).substr(0, 2), "[{");
}

TEST_F(json_run, NothingReportedIsAnEmptyArray)
{
  child_outcome outcome = run([] {});
  EXPECT_EQ(outcome.err, "[]\n");
}

TEST_F(json_run, ColumnUnitsAndOrigin)
{
  file_map map = source("t.c", "\tx;\n", 1);
  struct row {
    uint32_t unit;
    int32_t origin;
    uint32_t column;
    int64_t display, byte, own;
  } rows[] = {
      {0, 1, 2, 9, 2, 9},
      {1, 1, 2, 9, 2, 2},
      {1, 0, 2, 8, 1, 1},
      {0, 1, 0, -1, -1, -1},
  };
  for (const row &r : rows) {
    context->column_unit = r.unit;
    context->column_origin = r.origin;
    json_object *object = json_from_expanded_location(context, at(map, 1, r.column));
    auto member = [&](const char *key) {
      json_value *value = object->get(key);
      return value && value->get_kind() == JSON_INTEGER ? static_cast<json_integer *>(value)->value
                                                        : INT64_MIN;
    };
    EXPECT_EQ(member("line"), 1);
    EXPECT_EQ(member("display-column"), r.display);
    EXPECT_EQ(member("byte-column"), r.byte);
    EXPECT_EQ(member("column"), r.own);
    EXPECT_NE(object->get("file"), nullptr);
    delete object;
    EXPECT_EQ(context->column_unit, r.unit) << "the unit is restored";
  }
  json_object *none = json_from_expanded_location(context, UNKNOWN_LOCATION);
  EXPECT_EQ(none->get("file"), nullptr);
  delete none;
}

} // namespace
