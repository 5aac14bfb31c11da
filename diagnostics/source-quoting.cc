// Source quoting: the layout of one quotation (ranges, fix-it hints, line
// spans, margin and horizontal offset) and the printing of each quoted line
// with its annotation, labels and fix-it lines.
#include "diagnostics/source-quoting.h"

#include "diagnostics/diagnostic-color.h"
#include "diagnostics/internal.h"
#include "locations/display-width.h"
#include "support/alloc.h"
#include "support/internal-abort.h"
#include "support/sort.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Character policies ----

struct quoting_policy {
  column_policy columns;
  void (*print)(pretty_printer *pp, const decoded_codepoint &cp);
};

static bool printable_ascii(uint32_t c)
{
  return c >= 0x20 && c < 0x7f;
}

static void print_bytes(pretty_printer *pp, const decoded_codepoint &cp)
{
  pp_put_text_range(pp, reinterpret_cast<const char *>(cp.start),
                    reinterpret_cast<const char *>(cp.next));
}

// A NUL or a carriage return would upset the terminal; they show as blanks.
static void print_plain(pretty_printer *pp, const decoded_codepoint &cp)
{
  if (cp.valid && (cp.code_point == 0 || cp.code_point == '\r'))
    pp_put_char(pp, ' ');
  else
    print_bytes(pp, cp);
}

static void print_escaped_bytes(pretty_printer *pp, const decoded_codepoint &cp)
{
  for (const unsigned char *p = cp.start; p < cp.next; p++) {
    char text[8];
    snprintf(text, sizeof text, "<%02x>", *p);
    pp_put_text_range(pp, text, text + strlen(text));
  }
}

static void print_unicode_escape(pretty_printer *pp, const decoded_codepoint &cp)
{
  if (cp.valid && printable_ascii(cp.code_point)) {
    print_bytes(pp, cp);
  } else if (cp.valid) {
    char text[16];
    snprintf(text, sizeof text, "<U+%04X>", cp.code_point);
    pp_put_text_range(pp, text, text + strlen(text));
  } else {
    print_escaped_bytes(pp, cp);
  }
}

static void print_byte_escape(pretty_printer *pp, const decoded_codepoint &cp)
{
  if (cp.valid && printable_ascii(cp.code_point))
    print_bytes(pp, cp);
  else
    print_escaped_bytes(pp, cp);
}

static int32_t unicode_escape_width(uint32_t c)
{
  if (printable_ascii(c))
    return codepoint_display_width(c);
  if (c <= 0xFFFF)
    return 8; // <U+XXXX>
  return c <= 0xFFFFF ? 9 : 10;
}

static int32_t byte_escape_width(uint32_t c)
{
  if (printable_ascii(c))
    return codepoint_display_width(c);
  if (c < 0x80)
    return 4; // <XX> per byte
  return c < 0x800 ? 8 : c < 0x10000 ? 12 : 16;
}

static quoting_policy make_policy(const diagnostic_state *context, const located_ranges *record)
{
  int32_t tab = static_cast<int32_t>(context->tab_stop);
  if (!record->escape_output)
    return {{tab, 1, codepoint_display_width}, print_plain};
  switch (context->escape_format) {
  case 0:
    return {{tab, 4, unicode_escape_width}, print_unicode_escape};
  case 1:
    return {{tab, 4, byte_escape_width}, print_byte_escape};
  default:
    vuz_unreachable();
  }
}

// ---- Layout ----

struct layout_point {
  int32_t line;
  int32_t byte_column;
  int32_t display_column;
};

struct layout_range {
  layout_point start;
  layout_point finish; // display column: the last column of its character
  uint32_t kind;       // a range_display_kind
  layout_point caret;
  int32_t original_index;
  const range_label *label;
};

struct line_span {
  int32_t first;
  int32_t last;
};

struct layout {
  diagnostic_state *context;
  pretty_printer *pp;
  located_ranges *record;
  location_t primary_location;
  expanded_location primary;
  int32_t primary_display_column;
  quoting_policy policy;
  diagnostic_kind kind;
  bool is_path_kind;
  // The colour state: -1 plain text, a range index, or a fix-it state.
  int colour_state;
  const char *range1, *range2, *fixit_insert, *fixit_delete, *stop, *kind_start;
  vec<layout_range> *ranges;
  vec<const fixit_hint *> *fixits;
  vec<line_span> *spans;
  int32_t linenum_width;
  int32_t x_offset;
};

enum : int { STATE_PLAIN = -1, STATE_FIXIT_INSERT = -2, STATE_FIXIT_DELETE = -3 };

// A caret is kept this many columns from the right edge when a long line
// scrolls, unless the line ends sooner ...
enum : int32_t { CARET_LINE_MARGIN = 10 };
// ... and scrolling never leaves fewer columns than this of the line.
enum : int32_t { MIN_COLUMNS_VISIBLE = 2 };

static bool same_file(const char *a, const char *b)
{
  return a == b || (a && b && strcmp(a, b) == 0);
}

static int32_t last_display_column(const layout &l, const expanded_location &where)
{
  return location_display_column(l.policy.columns, where);
}

// One more than the display column of the byte before the character.
static int32_t first_display_column(const layout &l, const expanded_location &where)
{
  if (where.column == 0)
    return location_display_column(l.policy.columns, where);
  expanded_location before = where;
  before.column--;
  return location_display_column(l.policy.columns, before) + 1;
}

static layout_point point_at(const layout &l, const expanded_location &where, bool last)
{
  return {where.line, where.column,
          last ? last_display_column(l, where) : first_display_column(l, where)};
}

bool compatible_locations(location_t a, location_t b)
{
  for (;;) {
    if (line_table) {
      if (location_is_adhoc(a))
        a = adhoc_locus(line_table, a);
      if (location_is_adhoc(b))
        b = adhoc_locus(line_table, b);
    }
    if (a < RESERVED_LOCATION_COUNT || b < RESERVED_LOCATION_COUNT || !line_table)
      return a == b;
    const line_map *map_a = linemap_find_map(line_table, a);
    const line_map *map_b = linemap_find_map(line_table, b);
    if (!map_a || !map_b)
      return a == b;
    if (map_a != map_b) {
      if (map_is_macro_map(map_a) || map_is_macro_map(map_b))
        return false;
      return same_file(static_cast<const ordinary_map *>(map_a)->file_name,
                       static_cast<const ordinary_map *>(map_b)->file_name);
    }
    if (!map_is_macro_map(map_a))
      return true;
    if (spelled_in_macro_definition(line_table, a) !=
        spelled_in_macro_definition(line_table, b))
      return false;
    const macro_map *macro = static_cast<const macro_map *>(map_a);
    location_t next_a = macro_map_spelling_loc(line_table, macro, a);
    location_t next_b = macro_map_spelling_loc(line_table, macro, b);
    // A spelling that does not move would repeat the test for ever.
    if (next_a == a && next_b == b)
      return a == b;
    a = next_a;
    b = next_b;
  }
}

static location_span range_of(location_t location)
{
  if (!line_table)
    return {location, location};
  return linemap_location_range(line_table, location);
}

static bool line_in_spans(const layout &l, int32_t line)
{
  for (const line_span &span : *l.spans)
    if (line >= span.first && line <= span.last)
      return true;
  return false;
}

static bool maybe_add_location_range(layout *l, const located_range *range, int32_t index,
                                     bool restrict_to_spans)
{
  vuz_assert(range);
  // The range is split first: expanding the location itself would see only
  // the caret of an ad-hoc location.
  location_span span = range_of(range->location);
  expanded_location start = client_expand_to_spelling_point(span.start, LOCATION_ASPECT_START);
  expanded_location finish = client_expand_to_spelling_point(span.finish, LOCATION_ASPECT_FINISH);
  expanded_location caret = client_expand_to_spelling_point(range->location, LOCATION_ASPECT_CARET);
  if (!same_file(start.file, l->primary.file) || !same_file(finish.file, l->primary.file))
    return false;
  bool with_caret = range->display_kind == RANGE_CARET;
  if (with_caret && !same_file(caret.file, start.file))
    return false;
  bool first = vec_empty(l->ranges);
  if (!first && with_caret && !compatible_locations(range->location, l->primary_location))
    return false;
  layout_range r = {point_at(*l, start, false), point_at(*l, finish, true), range->display_kind,
                    point_at(*l, caret, false), index, range->label};
  if (start.line > finish.line || !compatible_locations(span.start, l->primary_location) ||
      !compatible_locations(span.finish, l->primary_location)) {
    if (!first)
      return false;
    r.start = r.caret;
    r.finish = r.caret;
  }
  if (restrict_to_spans &&
      (!line_in_spans(*l, r.start.line) || !line_in_spans(*l, r.finish.line) ||
       (with_caret && !line_in_spans(*l, r.caret.line))))
    return false;
  vec_safe_push(l->ranges, r);
  return true;
}

static int compare_fixits(const void *a, const void *b)
{
  location_t x = (*static_cast<const fixit_hint *const *>(a))->start;
  location_t y = (*static_cast<const fixit_hint *const *>(b))->start;
  return x < y ? -1 : x > y ? 1 : 0;
}

static void collect_fixits(layout *l)
{
  for (uint32_t i = 0; i < l->record->fixit_count; i++) {
    const fixit_hint *hint = located_ranges_fixit(l->record, i);
    if (same_file(location_expand(hint->start).file, l->primary.file) &&
        same_file(location_expand(hint->next).file, l->primary.file))
      vec_safe_push(l->fixits, hint);
  }
  if (!vec_empty(l->fixits))
    merge_sort(l->fixits->address(), l->fixits->length(), sizeof(const fixit_hint *),
               compare_fixits);
}

static line_span make_span(int32_t first, int32_t last)
{
  vuz_assert_as(first <= last, __FILE__, "line_span");
  return {first, last};
}

static int compare_spans(const void *a, const void *b)
{
  const line_span *x = static_cast<const line_span *>(a);
  const line_span *y = static_cast<const line_span *>(b);
  if (x->first != y->first)
    return x->first < y->first ? -1 : 1;
  return x->last < y->last ? -1 : x->last > y->last ? 1 : 0;
}

static line_span fixit_span(const fixit_hint *hint)
{
  int32_t first = location_expand(hint->start).line;
  if (fixit_ends_with_newline(hint) && first > 1)
    first--;
  return make_span(first, location_expand(hint->next).line);
}

static void calculate_line_spans(layout *l)
{
  vec<line_span> *starters = nullptr;
  vec_safe_push(starters, make_span(l->primary.line, l->primary.line));
  for (const layout_range &r : *l->ranges)
    vec_safe_push(starters, make_span(r.start.line, r.finish.line));
  if (l->fixits)
    for (const fixit_hint *hint : *l->fixits)
      vec_safe_push(starters, fixit_span(hint));
  merge_sort(starters->address(), starters->length(), sizeof(line_span), compare_spans);
  int32_t gap = l->context->show_line_numbers ? 2 : 1;
  line_span current = (*starters)[0];
  for (uint32_t i = 1; i < starters->length(); i++) {
    const line_span &next = (*starters)[i];
    vuz_assert(next.first >= current.first);
    if (int64_t(next.first) > int64_t(current.last) + gap) {
      vec_safe_push(l->spans, current);
      current = next;
    } else if (next.last > current.last) {
      current.last = next.last;
    }
  }
  vec_safe_push(l->spans, current);
  vec_release(starters);
}

static void calculate_linenum_width(layout *l)
{
  vuz_assert(!vec_empty(l->spans));
  int32_t highest = l->spans->last().last;
  int32_t width = num_digits(highest < 0 ? 0 : highest);
  if (l->spans->length() > 1 && width < 3)
    width = 3;
  if (width < l->context->minimum_margin_width - 1)
    width = l->context->minimum_margin_width - 1;
  l->linenum_width = width;
}

static int32_t line_without_trailing_whitespace(const char *line, int32_t length)
{
  vuz_assert_as(length >= 0, __FILE__, "get_line_bytes_without_trailing_whitespace");
  while (length > 0) {
    char c = line[length - 1];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
      break;
    length--;
  }
  return length;
}

static int32_t display_width(const layout &l, const char *text, size_t length)
{
  cpp_display_width_computation walk(reinterpret_cast<const unsigned char *>(text), length,
                                     l.policy.columns);
  while (walk.bytes_left > 0)
    display_width_step(&walk);
  return walk.display_cols;
}

static void calculate_x_offset(layout *l)
{
  l->x_offset = 0;
  int64_t width = l->context->caret_line_width;
  if (width == 0)
    return;
  uint64_t length;
  const char *line = source_line_of(l->primary.file, l->primary.line, &length);
  if (!line)
    return;
  int32_t bytes = line_without_trailing_whitespace(line, int32_t(length));
  int64_t source_columns = display_width(*l, line, size_t(bytes));
  int64_t caret = l->primary_display_column;
  if (caret == 0 || caret > source_columns)
    return;
  int64_t left = l->context->show_line_numbers ? l->linenum_width + 3 : 1;
  int64_t end = source_columns + left;
  caret += left;
  if (end <= width)
    return;
  int64_t right = end - caret < CARET_LINE_MARGIN ? end - caret : CARET_LINE_MARGIN;
  if (right + left >= width)
    return;
  if (caret > width - right) {
    int64_t offset = caret - (width - right);
    if (source_columns - offset >= MIN_COLUMNS_VISIBLE)
      l->x_offset = int32_t(offset);
  }
}

static void layout_init(layout *l, diagnostic_state *context, located_ranges *record,
                        diagnostic_kind kind)
{
  *l = layout();
  l->context = context;
  l->pp = context->printer;
  l->record = record;
  l->primary_location = located_ranges_range_loc(record, 0);
  located_ranges_expanded(&l->primary, record, 0);
  l->policy = make_policy(context, record);
  l->primary_display_column = first_display_column(*l, l->primary);
  l->kind = kind;
  l->is_path_kind = kind == DK_DIAGNOSTIC_PATH;
  l->colour_state = STATE_PLAIN;
  bool colour = l->pp->show_color;
  l->range1 = colorize_start(colour, "range1");
  l->range2 = colorize_start(colour, "range2");
  l->fixit_insert = colorize_start(colour, "fixit-insert");
  l->fixit_delete = colorize_start(colour, "fixit-delete");
  l->stop = colorize_stop(colour);
  const char *kind_colour = kind_color_name(kind);
  l->kind_start = kind_colour ? colorize_start(colour, kind_colour) : "";
  // Even the primary range may be refused; the walks below then see none.
  vec_reserve(l->ranges, uint32_t(record->range_count));
  for (int32_t i = 0; i < record->range_count; i++)
    maybe_add_location_range(l, located_ranges_range(record, i), i, false);
  collect_fixits(l);
  calculate_line_spans(l);
  calculate_linenum_width(l);
  calculate_x_offset(l);
}

static void layout_fini(layout *l)
{
  vec_release(l->ranges);
  vec_release(l->fixits);
  vec_release(l->spans);
}

// ---- Colours ----

static void colour_begin(layout *l, int state)
{
  pretty_printer *pp = l->pp;
  switch (state) {
  case STATE_FIXIT_INSERT:
    pp_put_string(pp, l->fixit_insert);
    break;
  case STATE_FIXIT_DELETE:
    pp_put_string(pp, l->fixit_delete);
    break;
  case 0:
    pp_put_string(pp, l->kind_start);
    break;
  default:
    vuz_assert_as(state >= 0, __FILE__, "begin_state");
    pp_put_string(pp, state % 2 ? l->range1 : l->range2);
  }
}

static void colour_set(layout *l, int state)
{
  if (l->colour_state == state)
    return;
  if (l->colour_state != STATE_PLAIN)
    pp_put_string(l->pp, l->stop);
  l->colour_state = state;
  if (state != STATE_PLAIN)
    colour_begin(l, state);
}

static void colour_range(layout *l, int index)
{
  colour_set(l, l->is_path_kind ? 0 : index);
}

static void print_newline(layout *l)
{
  colour_set(l, STATE_PLAIN);
  pp_put_newline(l->pp);
}

// ---- Printing ----

static void put_blanks(pretty_printer *pp, int64_t n)
{
  for (int64_t i = 0; i < n; i++)
    pp_put_char(pp, ' ');
}

static void start_annotation_line(layout *l, char margin = ' ')
{
  pp_put_prefix(l->pp);
  if (!l->context->show_line_numbers)
    return;
  int32_t i = 0;
  for (; i < l->linenum_width - 3; i++)
    pp_put_char(l->pp, ' ');
  for (; i < l->linenum_width; i++)
    pp_put_char(l->pp, margin);
  pp_put_string(l->pp, " |");
}

// Columns are counted from the offset; a column already passed starts a new
// annotation line.
static void move_to_column(layout *l, int64_t *column, int64_t to, bool margin)
{
  if (*column > to) {
    print_newline(l);
    if (margin)
      start_annotation_line(l);
    *column = l->x_offset;
  }
  put_blanks(l->pp, to - *column);
  if (to > *column)
    *column = to;
}

static void show_ruler(layout *l, int64_t last_column)
{
  struct ruler {
    int64_t divisor;
    bool every_column;
  } rulers[] = {{100, false}, {10, false}, {1, true}};
  for (const ruler &r : rulers) {
    if (r.divisor == 100 && last_column <= 99)
      continue;
    start_annotation_line(l);
    pp_put_char(l->pp, ' ');
    for (int64_t column = 1 + l->x_offset; column <= last_column; column++) {
      if (r.every_column || column % 10 == 0)
        pp_put_char(l->pp, int('0' + (column / r.divisor) % 10));
      else
        pp_put_char(l->pp, ' ');
    }
    pp_put_newline(l->pp);
  }
}

static bool range_contains(const layout_range &r, int32_t row, int32_t column, bool bytes)
{
  vuz_assert_as(r.start.line <= r.finish.line, __FILE__, "contains_point");
  if (row < r.start.line || row > r.finish.line)
    return false;
  int32_t start = bytes ? r.start.byte_column : r.start.display_column;
  int32_t finish = bytes ? r.finish.byte_column : r.finish.display_column;
  if (row == r.start.line && column < start)
    return false;
  if (row < r.finish.line)
    return true;
  return column <= finish;
}

struct point_state {
  int range_index;
  bool draw_caret;
};

static bool state_at_point(const layout &l, int32_t row, int32_t column, int32_t first_non_blank,
                           int32_t last_non_blank, bool bytes, point_state *out)
{
  int index = 0;
  for (const layout_range &r : *l.ranges) {
    int i = index++;
    if (r.kind == RANGE_LINES_ONLY || !range_contains(r, row, column, bytes))
      continue;
    out->range_index = i;
    int32_t caret = bytes ? r.caret.byte_column : r.caret.display_column;
    out->draw_caret = r.kind == RANGE_CARET && row == r.caret.line && column == caret;
    // Blanks around the text of a line inside a long range are not underlined.
    if (!out->draw_caret && (column < first_non_blank || column > last_non_blank))
      return false;
    return true;
  }
  return false;
}

struct line_bounds {
  int32_t first_non_blank;
  int32_t last_non_blank;
};

static line_bounds print_source_line(layout *l, int32_t row, const char *line, int32_t length)
{
  pretty_printer *pp = l->pp;
  colour_set(l, STATE_PLAIN);
  pp_put_prefix(pp);
  if (l->context->show_line_numbers) {
    put_blanks(pp, l->linenum_width - num_digits(row));
    char number[24];
    snprintf(number, sizeof number, "%i | ", row);
    pp_put_string(pp, number);
  } else {
    pp_put_char(pp, ' ');
  }
  length = line_without_trailing_whitespace(line, length);
  cpp_display_width_computation walk(reinterpret_cast<const unsigned char *>(line),
                                     size_t(length), l->policy.columns);
  // A wide character or a tab cut by the offset leaves blanks for the
  // columns it still covers.
  put_blanks(pp, display_width_advance(&walk, l->x_offset) - l->x_offset);
  line_bounds bounds = {INT_MAX, 0};
  while (walk.bytes_left > 0) {
    if (l->context->color_source) {
      point_state state;
      int32_t byte_column = int32_t(walk.next - walk.begin) + 1;
      if (state_at_point(*l, row, byte_column, 0, INT_MAX, true, &state))
        colour_range(l, state.range_index);
      else
        colour_set(l, STATE_PLAIN);
    }
    int32_t start_column = walk.display_cols + 1;
    decoded_codepoint cp;
    int32_t width = display_width_step(&walk, &cp);
    if (*cp.start == '\t') {
      put_blanks(pp, width);
      continue;
    }
    if (*cp.start != ' ') {
      bounds.last_non_blank = walk.display_cols;
      if (bounds.first_non_blank == INT_MAX)
        bounds.first_non_blank = start_column;
    }
    l->policy.print(pp, cp);
  }
  print_newline(l);
  return bounds;
}

static bool should_print_annotation_line(const layout &l, int32_t row)
{
  for (const layout_range &r : *l.ranges) {
    if (r.kind == RANGE_LINES_ONLY)
      return false;
    if (row >= r.start.line && row <= r.finish.line)
      return true;
  }
  return false;
}

static int64_t annotation_end(const layout &l, int32_t row, int32_t last_non_blank)
{
  int64_t end = int64_t(l.primary_display_column) + 1;
  for (const layout_range &r : *l.ranges) {
    if (row < r.start.line)
      continue;
    if (r.finish.line == row && end <= r.finish.display_column)
      end = int64_t(r.finish.display_column) + 1;
    else if (row < r.finish.line && end <= last_non_blank)
      end = int64_t(last_non_blank) + 1;
  }
  return end;
}

static void print_annotation_line(layout *l, int32_t row, const line_bounds &bounds)
{
  int64_t end = annotation_end(*l, row, bounds.last_non_blank);
  if (end <= l->x_offset)
    return;
  start_annotation_line(l);
  pp_put_char(l->pp, ' ');
  for (int64_t column = 1 + l->x_offset; column < end; column++) {
    point_state state;
    if (column <= INT_MAX &&
        state_at_point(*l, row, int32_t(column), bounds.first_non_blank, bounds.last_non_blank,
                       false, &state)) {
      colour_range(l, state.range_index);
      char mark = '~';
      if (state.draw_caret)
        mark = state.range_index < 3 ? l->context->caret_marks[state.range_index] : '^';
      pp_put_char(l->pp, mark);
    } else {
      colour_set(l, STATE_PLAIN);
      pp_put_char(l->pp, ' ');
    }
  }
  print_newline(l);
}

// ---- Labels ----

struct line_label {
  int range_index;
  int32_t column;
  label_string text;
  int32_t width;
  int32_t row;
  bool has_bar;
};

static int compare_labels(const void *a, const void *b)
{
  const line_label *x = static_cast<const line_label *>(a);
  const line_label *y = static_cast<const line_label *>(b);
  if (x->column != y->column)
    return x->column < y->column ? -1 : 1;
  // Higher range index first, so that a walk from the right meets the
  // ranges in the order they were added.
  return x->range_index > y->range_index ? -1 : x->range_index < y->range_index ? 1 : 0;
}

static vec<line_label> *gather_labels(const layout &l, int32_t row)
{
  vec<line_label> *labels = nullptr;
  int index = 0;
  for (const layout_range &r : *l.ranges) {
    int i = index++;
    if (!r.label || r.caret.line != row || r.caret.display_column <= l.x_offset)
      continue;
    label_string text = r.label->get_text(uint32_t(r.original_index));
    if (!text.text)
      continue;
    int32_t width = display_width(l, text.text, strlen(text.text));
    vec_safe_push(labels, line_label{i, r.caret.display_column, text, width, 0, true});
  }
  return labels;
}

// From the rightmost label leftwards: a label that would reach its right
// neighbour goes one row further down. Returns the deepest row.
static int32_t assign_label_rows(vec<line_label> *labels)
{
  int32_t deepest = 1;
  int64_t next_column = INT64_MAX;
  for (uint32_t i = labels->length(); i-- > 0;) {
    line_label &label = (*labels)[i];
    if (int64_t(label.column) + label.width >= next_column) {
      deepest++;
      if (label.column == next_column)
        label.has_bar = false;
    }
    label.row = deepest;
    next_column = label.column;
  }
  return deepest;
}

static void print_label_rows(layout *l, vec<line_label> *labels, int32_t deepest)
{
  for (int32_t row = 0; row <= deepest; row++) {
    start_annotation_line(l);
    pp_put_char(l->pp, ' ');
    int64_t column = 1 + l->x_offset;
    for (const line_label &label : *labels) {
      if (row > label.row)
        break;
      if (row == label.row) {
        move_to_column(l, &column, label.column, true);
        colour_range(l, label.range_index);
        pp_put_string(l->pp, label.text.text);
        colour_set(l, STATE_PLAIN);
        column += label.width;
      } else if (label.has_bar) {
        move_to_column(l, &column, label.column, true);
        colour_range(l, label.range_index);
        pp_put_char(l->pp, '|');
        colour_set(l, STATE_PLAIN);
        column++;
      }
    }
    print_newline(l);
  }
}

static void print_any_labels(layout *l, int32_t row)
{
  vec<line_label> *labels = gather_labels(*l, row);
  if (vec_empty(labels))
    return;
  merge_sort(labels->address(), labels->length(), sizeof(line_label), compare_labels);
  print_label_rows(l, labels, assign_label_rows(labels));
  for (line_label &label : *labels)
    if (label.text.owned)
      free(label.text.text);
  vec_release(labels);
}

// ---- Fix-it lines ----

static void print_leading_fixits(layout *l, int32_t row)
{
  if (!l->fixits)
    return;
  for (const fixit_hint *hint : *l->fixits) {
    if (!fixit_ends_with_newline(hint))
      continue;
    vuz_assert(hint->start == hint->next);
    if (!fixit_affects_line(hint, l->primary.file, row))
      continue;
    colour_set(l, STATE_PLAIN);
    start_annotation_line(l, '+');
    pp_put_char(l->pp, '+');
    colour_set(l, STATE_FIXIT_INSERT);
    pp_put_text_range(l->pp, hint->text, hint->text + hint->length - 1);
    colour_set(l, STATE_PLAIN);
    pp_put_newline(l->pp);
  }
}

struct column_range {
  int32_t start;
  int32_t finish; // start - 1 for an empty range
};

static column_range make_column_range(int32_t start, int32_t finish)
{
  vuz_assert_as(finish >= start - 1, __FILE__, "column_range");
  return {start, finish};
}

// One printed correction: a hint, or several merged hints.
struct correction {
  column_range affected_bytes;
  column_range affected_columns;
  column_range printed_columns;
  char *text; // owned, NUL-terminated
  int32_t length;
  int32_t display_width;
};

static column_range affected_range(const layout &l, const fixit_hint *hint, bool display)
{
  expanded_location start = location_expand(hint->start);
  expanded_location finish = location_expand(hint->next);
  finish.column--;
  if (!display)
    return make_column_range(start.column, finish.column);
  int32_t first = last_display_column(l, start);
  int32_t last = hint->start == hint->next ? first - 1 : last_display_column(l, finish);
  return make_column_range(first, last);
}

static column_range printed_range(const layout &l, const fixit_hint *hint)
{
  expanded_location start = location_expand(hint->start);
  int32_t first = last_display_column(l, start);
  int32_t last_text = first + display_width(l, hint->text, hint->length) - 1;
  if (hint->start == hint->next)
    return make_column_range(first, last_text);
  expanded_location finish = location_expand(hint->next);
  finish.column--;
  int32_t last = last_display_column(l, finish);
  return make_column_range(first, last > last_text ? last : last_text);
}

// Hints whose printed forms would touch are merged into one correction that
// also replaces the source text between them by itself.
static bool merge_into_last(const layout &l, vec<correction> *corrections, int32_t row,
                            const fixit_hint *hint, const column_range &bytes,
                            const column_range &columns, const column_range &printed)
{
  if (vec_empty(corrections))
    return false;
  correction &last = corrections->last();
  vuz_assert_as(bytes.start >= last.affected_bytes.start &&
                    printed.start >= last.printed_columns.start,
                __FILE__, "add_hint");
  int32_t between_start = last.affected_bytes.finish + 1;
  int32_t between_finish = bytes.start - 1;
  if (printed.start > last.printed_columns.finish || between_finish < between_start - 1)
    return false;
  uint64_t line_length;
  const char *line = source_line_of(l.primary.file, row, &line_length);
  if (!line || between_start < 1 || uint64_t(between_finish) >= line_length)
    return false;
  int32_t between_length = between_finish + 1 - between_start;
  int64_t length = int64_t(last.length) + between_length + int64_t(hint->length);
  vuz_assert_as(between_length >= 0 && length <= INT32_MAX, __FILE__, "overwrite");
  last.text = static_cast<char *>(checked_realloc(last.text, uint64_t(length) + 1));
  memcpy(last.text + last.length, line + between_start - 1, size_t(between_length));
  memcpy(last.text + last.length + between_length, hint->text, hint->length);
  last.length = int32_t(length);
  last.text[length] = '\0';
  last.affected_bytes.finish = bytes.finish;
  last.affected_columns.finish = columns.finish;
  int32_t previous_width = last.display_width;
  last.display_width = display_width(l, last.text, size_t(last.length));
  last.printed_columns.finish += last.display_width - previous_width;
  return true;
}

static void add_hint(const layout &l, vec<correction> *&corrections, int32_t row,
                     const fixit_hint *hint)
{
  column_range bytes = affected_range(l, hint, false);
  column_range columns = affected_range(l, hint, true);
  column_range printed = printed_range(l, hint);
  if (merge_into_last(l, corrections, row, hint, bytes, columns, printed))
    return;
  vuz_assert(hint->length <= INT32_MAX);
  char *text = static_cast<char *>(checked_memdup(hint->text, hint->length, hint->length + 1));
  text[hint->length] = '\0';
  vec_safe_push(corrections,
                correction{bytes, columns, printed, text, int32_t(hint->length),
                           display_width(l, hint->text, hint->length)});
}

static bool annotation_showed_range(const layout &l, int32_t row, int32_t start, int32_t finish)
{
  for (const layout_range &r : *l.ranges)
    if (r.start.line == row && r.start.display_column == start && r.finish.line == row &&
        r.finish.display_column == finish)
      return true;
  return false;
}

static void print_correction(layout *l, int32_t row, const correction &c, int64_t *column)
{
  bool insertion = c.affected_bytes.start == c.affected_bytes.finish + 1;
  if (insertion) {
    move_to_column(l, column, c.printed_columns.start, true);
    colour_set(l, STATE_FIXIT_INSERT);
    pp_put_text_range(l->pp, c.text, c.text + c.length);
    colour_set(l, STATE_PLAIN);
    *column += c.display_width;
    return;
  }
  int32_t start = c.affected_columns.start;
  int32_t finish = c.affected_columns.finish;
  if (!annotation_showed_range(*l, row, start, finish) || c.length == 0) {
    move_to_column(l, column, start, true);
    colour_set(l, STATE_FIXIT_DELETE);
    for (; *column <= finish; (*column)++)
      pp_put_char(l->pp, '-');
    colour_set(l, STATE_PLAIN);
  }
  if (c.length > 0) {
    move_to_column(l, column, start, true);
    colour_set(l, STATE_FIXIT_INSERT);
    pp_put_text_range(l->pp, c.text, c.text + c.length);
    colour_set(l, STATE_PLAIN);
    *column += c.display_width;
  }
}

static void print_trailing_fixits(layout *l, int32_t row)
{
  vec<correction> *corrections = nullptr;
  if (l->fixits)
    for (const fixit_hint *hint : *l->fixits)
      if (!fixit_ends_with_newline(hint) && fixit_affects_line(hint, l->primary.file, row))
        add_hint(*l, corrections, row, hint);
  if (vec_empty(corrections))
    return;
  start_annotation_line(l);
  int64_t column = l->x_offset;
  for (const correction &c : *corrections)
    print_correction(l, row, c, &column);
  print_newline(l);
  for (correction &c : *corrections)
    free(c.text);
  vec_release(corrections);
}

static void print_line(layout *l, int32_t row)
{
  uint64_t length;
  const char *line = source_line_of(l->primary.file, row, &length);
  if (!line)
    return;
  if (length > INT32_MAX)
    length = INT32_MAX;
  print_leading_fixits(l, row);
  line_bounds bounds = print_source_line(l, row, line, int32_t(length));
  if (should_print_annotation_line(*l, row))
    print_annotation_line(l, row, bounds);
  if (l->context->show_labels)
    print_any_labels(l, row);
  print_trailing_fixits(l, row);
}

// ---- Spans ----

static bool span_contains(const line_span &span, int32_t line)
{
  return line >= span.first && line <= span.last;
}

// Where the header of a span points: the primary location when it is in the
// span, else the first range or fix-it hint that starts there.
static expanded_location span_location(const layout &l, const line_span &span)
{
  if (span_contains(span, l.primary.line))
    return l.primary;
  for (const layout_range &r : *l.ranges)
    if (span_contains(span, r.start.line)) {
      expanded_location where = l.primary;
      where.line = r.start.line;
      where.column = r.start.byte_column;
      return where;
    }
  if (l.fixits)
    for (const fixit_hint *hint : *l.fixits) {
      expanded_location where = location_expand(hint->start);
      if (span_contains(span, where.line))
        return where;
    }
  vuz_assert_as(false, __FILE__, "get_expanded_location");
}

static void print_gap_in_line_numbering(layout *l)
{
  vuz_assert(l->context->show_line_numbers);
  pp_put_prefix(l->pp);
  for (int32_t i = 0; i < l->linenum_width + 1; i++)
    pp_put_char(l->pp, '.');
  pp_put_newline(l->pp);
}

static void print_span(layout *l, uint32_t index)
{
  const line_span &span = (*l->spans)[index];
  if (l->context->show_line_numbers) {
    if (index > 0)
      print_gap_in_line_numbering(l);
  } else if ((index > 0 || !span_contains(span, l->primary.line)) && l->context->on_span) {
    expanded_location where = span_location(*l, span);
    l->context->on_span(l->context, &where);
  }
  // 64-bit, so that a last line of INT32_MAX still ends the walk.
  for (int64_t row = span.first; row <= span.last; row++)
    print_line(l, int32_t(row));
}

void diagnostic_show_locus(diagnostic_state *context, located_ranges *record,
                           diagnostic_kind kind)
{
  location_t location = located_ranges_range_loc(record, 0);
  if (location <= BUILTINS_LOCATION || !context->show_caret)
    return;
  if (location == context->last_quoted_location && record->fixit_count == 0 &&
      record->range_count == 1 && located_ranges_range(record, 0)->label == nullptr)
    return;
  context->last_quoted_location = location;
  layout l;
  layout_init(&l, context, record, kind);
  if (context->column_ruler)
    show_ruler(&l, int64_t(context->caret_line_width) + l.x_offset);
  for (uint32_t i = 0; i < l.spans->length(); i++)
    print_span(&l, i);
  colour_set(&l, STATE_PLAIN);
  layout_fini(&l);
}

bool layout_add_range_if_in_spans(located_ranges *record, location_t location,
                                  bool restrict_to_spans, const range_label *label)
{
  layout l;
  layout_init(&l, &global_diagnostic_state, record, DK_ERROR);
  located_range candidate = {location, RANGE_NO_CARET, label};
  bool added = maybe_add_location_range(&l, &candidate, l.ranges ? int32_t(l.ranges->length()) : 0,
                                        restrict_to_spans);
  layout_fini(&l);
  if (added)
    located_ranges_add_range(record, location, RANGE_NO_CARET, label);
  return added;
}
