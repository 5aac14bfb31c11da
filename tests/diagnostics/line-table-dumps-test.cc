// The line table's debugging dumps over a mapped file.
#include "diagnostics/diagnostic.h"

#include "tests/diagnostics/child-run.h"
#include "tests/diagnostics/quoting-fixture.h"
#include "tests/support/stream-text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct dumps : quoting_fixture {
  static std::string dump() { return stream_text(dump_location_info); }
};

TEST_F(dumps, LocationIntervalsAndSourceLines)
{
  std::string path;
  source("d.c", "ab\n", 1, &path);
  const ordinary_map &map = table->ordinary_maps[0];
  std::string start = std::to_string(map.start);
  std::string end = std::to_string(table->top_location + 1);
  std::string loc = std::to_string(map.start);
  std::string indent(6 + path.size() + 3 + (loc.size() < 5 ? 5 : loc.size()), ' ');
  // The ruler digits are those of the locations of columns 1 and 2.
  auto digits = [&](uint32_t divisor) {
    std::string row = indent + "|";
    for (uint32_t column = 1; column <= 2; column++)
      row += char('0' + ((map.start + (column << map.span_bits)) / divisor) % 10);
    return row + "\n";
  };
  std::string expected = "RESERVED LOCATIONS\n  location_t interval: 0 <= loc < 2\n\n"
                         "ORDINARY MAP: 0\n  location_t interval: " + start + " <= loc < " + end +
                         "\n  file: " + path + "\n  starting at line: 1\n"
                         "  column and range bits: 15\n  column bits: 10\n  range bits: 5\n"
                         "  reason: 0 (LC_ENTER)\n  included from location: 0\n" + path +
                         ":  1|loc:" + std::string(5 - std::min<size_t>(5, loc.size()), ' ') +
                         loc + "|ab\n";
  if (table->top_location + 1 > 999)
    expected += digits(1000);
  if (table->top_location + 1 > 99)
    expected += digits(100);
  expected += digits(10) + digits(1) + "\n" +
              "UNALLOCATED LOCATIONS\n  location_t interval: " + end + " <= loc < 2147483648\n\n"
              "MAX_LOCATION_T\n  location_t interval: 2147483647 <= loc < 2147483648\n\n"
              "AD-HOC LOCATIONS\n  location_t interval: 2147483648 <= loc < 4294967295\n\n";
  EXPECT_EQ(dump(), expected);
}

TEST_F(dumps, StatisticsAmounts)
{
  source("s.c", "x\n", 1);
  child_outcome outcome = run_in_child([] { line_table_statistics_dump(); });
  std::string head = "Number of expanded macros:                         0\n"
                     "\nLine Table allocations during the compilation process\n";
  EXPECT_EQ(outcome.err.substr(0, head.size()), head);
  EXPECT_NE(outcome.err.find("Number of ordinary maps used:            1 \n"), std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("unoptimized_ranges:                      0 \n\n"), std::string::npos);
}

} // namespace
