// Display width of source text: UTF-8 decoding, tab stops and the generated
// code-point width table.
#include "locations/display-width.h"

#include "support/internal-abort.h"

#include "locations/display-width-table.h"

static bool policy_is_valid(const column_policy &policy)
{
  return policy.tab_stop > 0 && policy.width_fn != nullptr;
}

cpp_display_width_computation::cpp_display_width_computation(const unsigned char *bytes,
                                                             size_t length,
                                                             const column_policy &policy)
  : begin(bytes), next(bytes), bytes_left(length), policy(&policy), display_cols(0)
{
  vuz_assert_as(policy_is_valid(policy), __FILE__, "cpp_display_width_computation");
}

// Decodes one UTF-8 sequence of up to six bytes at p; returns its length and
// stores the value, or returns 0 when the bytes do not start a valid sequence.
static size_t decode_utf8(const unsigned char *p, size_t left, uint32_t *value)
{
  unsigned char first = p[0];
  size_t length;
  uint32_t c;
  if ((first & 0xe0) == 0xc0) {
    length = 2;
    c = first & 0x1f;
  } else if ((first & 0xf0) == 0xe0) {
    length = 3;
    c = first & 0x0f;
  } else if ((first & 0xf8) == 0xf0) {
    length = 4;
    c = first & 0x07;
  } else if ((first & 0xfc) == 0xf8) {
    length = 5;
    c = first & 0x03;
  } else if ((first & 0xfe) == 0xfc) {
    length = 6;
    c = first & 0x01;
  } else {
    return 0;
  }
  if (left < length)
    return 0;
  for (size_t i = 1; i < length; i++) {
    if ((p[i] & 0xc0) != 0x80)
      return 0;
    c = (c << 6) | (p[i] & 0x3f);
  }
  // The shortest form only: each length has its own lowest value.
  static const uint32_t lowest[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
  if (c < lowest[length] || c >= 0x80000000u || (c >= 0xd800 && c <= 0xdfff))
    return 0;
  *value = c;
  return length;
}

int32_t display_width_step(cpp_display_width_computation *walk, decoded_codepoint *out)
{
  const column_policy &policy = *walk->policy;
  if (out)
    out->start = walk->next;
  unsigned char byte = *walk->next;
  uint32_t c = byte;
  size_t length = 1;
  bool valid = true;
  int32_t width;
  if (byte == '\t') {
    width = policy.tab_stop - walk->display_cols % policy.tab_stop;
  } else if (byte < 0x80) {
    width = policy.width_fn(c);
  } else {
    length = decode_utf8(walk->next, walk->bytes_left, &c);
    if (length == 0) {
      length = 1;
      valid = false;
      width = policy.undecodable_width;
    } else {
      width = policy.width_fn(c);
    }
  }
  walk->next += length;
  walk->bytes_left -= length;
  walk->display_cols += width;
  if (out) {
    out->next = walk->next;
    out->valid = valid;
    if (valid)
      out->code_point = c;
  }
  return width;
}

int32_t display_width_advance(cpp_display_width_computation *walk, int32_t n)
{
  if (n <= 0)
    return 0;
  int32_t from = walk->display_cols;
  while (walk->bytes_left > 0) {
    display_width_step(walk);
    if (walk->display_cols >= from + n)
      break;
  }
  return walk->display_cols - from;
}

int32_t byte_to_display_column(const unsigned char *line, size_t length, int32_t byte_column,
                               const column_policy &policy)
{
  vuz_assert_as(policy_is_valid(policy), __FILE__, "cpp_display_width_computation");
  size_t in_line = byte_column < 0 ? 0 : (size_t)byte_column;
  if (in_line > length)
    in_line = length;
  cpp_display_width_computation walk(line, in_line, policy);
  while (walk.bytes_left > 0)
    display_width_step(&walk);
  // Positions past the end of the line count one column each.
  int64_t beyond = (int64_t)byte_column - (int64_t)length;
  return walk.display_cols + (int32_t)(beyond > 0 ? beyond : 0);
}

int32_t display_to_byte_column(const unsigned char *line, size_t length, int32_t display_column,
                               const column_policy &policy)
{
  vuz_assert_as(policy_is_valid(policy), __FILE__, "cpp_display_width_computation");
  if (display_column <= 0)
    return 0;
  if (length == 0)
    return display_column;
  cpp_display_width_computation walk(line, length, policy);
  while (walk.display_cols < display_column && walk.bytes_left > 0)
    display_width_step(&walk);
  int32_t beyond = display_column - walk.display_cols;
  return (int32_t)(walk.next - walk.begin) + (beyond > 0 ? beyond : 0);
}

int32_t codepoint_display_width(uint32_t c)
{
  if (c < 0x300)
    return 1;
  // Lower bound among rows 1 onwards; row 0 is everything below U+0300.
  uint32_t position = 1;
  uint32_t count = width_row_count - 1;
  while (count != 0) {
    uint32_t half = count / 2;
    uint32_t middle = position + half;
    if (width_row_ends[middle] < c) {
      position = middle + 1;
      count = count - half - 1;
    } else {
      count = half;
    }
  }
  if (position >= width_row_count)
    return 1;
  return width_row_widths[position];
}
