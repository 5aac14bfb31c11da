// Display width of source text: how many terminal columns a run of bytes of a
// source line takes, with tab stops, wide characters and undecodable bytes.
#ifndef VUZ_LOCATIONS_DISPLAY_WIDTH_H
#define VUZ_LOCATIONS_DISPLAY_WIDTH_H

#include <cstddef>
#include <cstdint>

// How the caller wants columns counted.
struct column_policy {
  int32_t tab_stop;          // must be greater than 0
  int32_t undecodable_width; // columns of a byte that starts no valid UTF-8 sequence
  int32_t (*width_fn)(uint32_t code_point);
};

// One character consumed by a step.
struct decoded_codepoint {
  const unsigned char *start;
  const unsigned char *next;
  bool valid;
  uint32_t code_point; // set only when valid; 9 for a tab
};

// A walk over one run of bytes; exhausted when bytes_left is 0.
class cpp_display_width_computation {
public:
  cpp_display_width_computation(const unsigned char *bytes, size_t length,
                                const column_policy &policy);

  const unsigned char *begin;
  const unsigned char *next;
  size_t bytes_left;
  const column_policy *policy;
  int32_t display_cols;
};

// Consumes one character and returns its display width.
int32_t display_width_step(cpp_display_width_computation *walk, decoded_codepoint *out = nullptr);
// Consumes characters until at least n more columns have gone by (or the run
// ends); returns the columns consumed, which may exceed n.
int32_t display_width_advance(cpp_display_width_computation *walk, int32_t n);

int32_t byte_to_display_column(const unsigned char *line, size_t length, int32_t byte_column,
                               const column_policy &policy);
int32_t display_to_byte_column(const unsigned char *line, size_t length, int32_t display_column,
                               const column_policy &policy);

// 0, 1 or 2 columns for a Unicode code point.
int32_t codepoint_display_width(uint32_t code_point);

#endif
