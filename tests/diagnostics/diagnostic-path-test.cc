// Diagnostic paths: recorded events with formatted descriptions, crossing
// functions, and the engine handing a report's path to its callback.
#include "diagnostics/diagnostic-path.h"

#include "support/alloc.h"
#include "tests/diagnostics/child-run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int function_a, function_b;

TEST(DiagnosticPath, EventsGetIndicesAndFormattedDescriptions)
{
  pretty_printer printer(0);
  recorded_event_path path(&printer);
  EXPECT_EQ(path.num_events(), 0u);
  EXPECT_FALSE(path_crosses_functions(&path));
  diagnostic_event_id first = 0;
  EXPECT_EQ(path.add_event(5, &function_a, 1, "entry to %qs", "f"), 0);
  EXPECT_EQ(path.add_event(9, &function_a, 1, "%d calls after %@", 3, &first), 1);
  EXPECT_EQ(path.add_event(12, &function_a, 1, "plain"), 2);
  ASSERT_EQ(path.num_events(), 3u);
  const char *texts[] = {"entry to 'f'", "3 calls after (1)", "plain"};
  location_t locations[] = {5, 9, 12};
  for (uint32_t i = 0; i < 3; i++) {
    const path_event &event = path.get_event(i);
    label_string text = event.description();
    EXPECT_STREQ(text.text, texts[i]);
    EXPECT_FALSE(text.owned);
    EXPECT_EQ(event.location(), locations[i]);
    EXPECT_EQ(event.fndecl(), &function_a);
    EXPECT_EQ(event.stack_depth(), 1);
  }
  EXPECT_STREQ(pp_current_text(&printer), "") << "the printer is left clear";
}

TEST(DiagnosticPath, CrossingFunctions)
{
  struct row {
    void *second_function;
    int32_t second_depth;
    bool crosses;
  } rows[] = {
      {&function_a, 1, false},
      {&function_b, 1, true},
      {&function_a, 2, true},
  };
  for (const row &r : rows) {
    pretty_printer printer(0);
    recorded_event_path path(&printer);
    path.add_event(5, &function_a, 1, "one");
    path.add_event(6, &function_a, 1, "two, elsewhere in the same function");
    path.add_event(7, r.second_function, r.second_depth, "three");
    EXPECT_EQ(path_crosses_functions(&path), r.crosses);
  }
}

std::string seen;

void record_path(diagnostic_state *, const event_path *path)
{
  seen += "path of " + std::to_string(path->num_events()) + " events\n";
}

TEST(DiagnosticPath, ReportHandsItsPathToTheCallback)
{
  for (bool with_callback : {false, true}) {
    child_outcome outcome = run_in_child([with_callback] {
      alloc_set_program_name("vuz");
      diagnostic_state *context = &global_diagnostic_state;
      diagnostic_state_init(context, 0);
      if (with_callback)
        context->on_path = record_path;
      pretty_printer printer(0);
      recorded_event_path path(&printer);
      path.add_event(0, nullptr, 0, "first");
      path.add_event(0, nullptr, 0, "second");
      located_ranges record;
      located_ranges_init(&record, nullptr, 0, nullptr);
      record.diagnostic_path = &path;
      error_at(&record, "with a path");
      debug_path(&path);
      located_ranges_fini(&record);
      fputs(seen.c_str(), stderr);
      diagnostic_state_finish(context);
    });
    EXPECT_EQ(outcome.status, 0);
    std::string callback_lines = with_callback ? "path of 2 events\n" : "";
    EXPECT_EQ(outcome.err, "vuz: error: with a path\nvuz: note: debug path\n" + callback_lines +
                               callback_lines);
  }
}

} // namespace
