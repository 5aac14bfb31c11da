// Bidirectional control characters met in identifiers, literals and
// comments: a stack of the open contexts, the warnings about unpaired and
// unexpected controls, and the range label that names them in quoted source.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/internal-abort.h"

#include <cstdlib>

struct bidi_context_entry {
  location_t location;
  uint32_t kind;
  bool closes_with_pdf;
  bool spelled_as_ucn;
};

// One stack for the process: one reader lexes at a time, and every line,
// comment and literal end empties it.
enum { BIDI_INLINE_ENTRIES = 16 };

static struct {
  bidi_context_entry inline_entries[BIDI_INLINE_ENTRIES];
  bidi_context_entry *entries = inline_entries;
  uint32_t count;
  uint32_t allocated = BIDI_INLINE_ENTRIES;
} bidi_tracker;

void bidi_reset()
{
  bidi_tracker.count = 0;
}

static void bidi_push(bidi_kind kind, bool ucn, location_t location, bool closes_with_pdf)
{
  if (bidi_tracker.count == bidi_tracker.allocated) {
    uint32_t grown = bidi_tracker.allocated * 2;
    bidi_context_entry *entries = checked_new_array<bidi_context_entry>(grown);
    for (uint32_t i = 0; i < bidi_tracker.count; i++)
      entries[i] = bidi_tracker.entries[i];
    if (bidi_tracker.entries != bidi_tracker.inline_entries)
      free(bidi_tracker.entries);
    bidi_tracker.entries = entries;
    bidi_tracker.allocated = grown;
  }
  bidi_tracker.entries[bidi_tracker.count++] = {location, kind, closes_with_pdf, ucn};
}

static const bidi_context_entry *bidi_top()
{
  return bidi_tracker.count ? &bidi_tracker.entries[bidi_tracker.count - 1] : nullptr;
}

static bidi_kind bidi_expected_closer()
{
  const bidi_context_entry *top = bidi_top();
  if (top == nullptr)
    return BIDI_NONE;
  return top->closes_with_pdf ? BIDI_PDF : BIDI_PDI;
}

static void on_char(bidi_kind kind, bool ucn, location_t location)
{
  switch (kind) {
  case BIDI_LRE: case BIDI_RLE: case BIDI_LRO: case BIDI_RLO:
    bidi_push(kind, ucn, location, true);
    break;
  case BIDI_LRI: case BIDI_RLI: case BIDI_FSI:
    bidi_push(kind, ucn, location, false);
    break;
  case BIDI_PDF:
    if (bidi_tracker.count && bidi_top()->closes_with_pdf)
      bidi_tracker.count--;
    break;
  case BIDI_PDI:
    for (uint32_t i = bidi_tracker.count; i > 0; i--) {
      if (!bidi_tracker.entries[i - 1].closes_with_pdf) {
        bidi_tracker.count = i - 1;
        break;
      }
    }
    break;
  case BIDI_LRM: case BIDI_RLM: case BIDI_NONE:
    break;
  default:
    vuz_unreachable();
  }
}

const char *bidi_kind_text(bidi_kind kind)
{
  switch (kind) {
  case BIDI_LRE: return "U+202A (LEFT-TO-RIGHT EMBEDDING)";
  case BIDI_RLE: return "U+202B (RIGHT-TO-LEFT EMBEDDING)";
  case BIDI_LRO: return "U+202D (LEFT-TO-RIGHT OVERRIDE)";
  case BIDI_RLO: return "U+202E (RIGHT-TO-LEFT OVERRIDE)";
  case BIDI_LRI: return "U+2066 (LEFT-TO-RIGHT ISOLATE)";
  case BIDI_RLI: return "U+2067 (RIGHT-TO-LEFT ISOLATE)";
  case BIDI_FSI: return "U+2068 (FIRST STRONG ISOLATE)";
  case BIDI_PDF: return "U+202C (POP DIRECTIONAL FORMATTING)";
  case BIDI_PDI: return "U+2069 (POP DIRECTIONAL ISOLATE)";
  case BIDI_LRM: return "U+200E (LEFT-TO-RIGHT MARK)";
  case BIDI_RLM: return "U+200F (RIGHT-TO-LEFT MARK)";
  default: vuz_assert_as(false, __FILE__, "to_str");
  }
}

static bidi_kind bidi_kind_of_code(uint32_t code)
{
  switch (code) {
  case 0x200E: return BIDI_LRM;
  case 0x200F: return BIDI_RLM;
  case 0x202A: return BIDI_LRE;
  case 0x202B: return BIDI_RLE;
  case 0x202C: return BIDI_PDF;
  case 0x202D: return BIDI_LRO;
  case 0x202E: return BIDI_RLO;
  case 0x2066: return BIDI_LRI;
  case 0x2067: return BIDI_RLI;
  case 0x2068: return BIDI_FSI;
  case 0x2069: return BIDI_PDI;
  default: return BIDI_NONE;
  }
}

static location_t span_location(preprocessor_reader *reader, const unsigned char *first,
                                const unsigned char *last)
{
  location_span span;
  span.start = _cpp_column_location(reader, first);
  span.finish = _cpp_column_location(reader, last);
  return linemap_combine_location(reader->line_table, span.start, span, nullptr);
}

bidi_kind bidi_kind_of_utf8(preprocessor_reader *reader, const unsigned char *position,
                            location_t *location)
{
  if (position[0] != 0xE2 || (position[1] != 0x80 && position[1] != 0x81) ||
      (position[2] & 0xC0) != 0x80)
    return BIDI_NONE;
  uint32_t code = 0x2000 | ((position[1] & 0x3Fu) << 6) | (position[2] & 0x3Fu);
  bidi_kind kind = bidi_kind_of_code(code);
  if (kind != BIDI_NONE)
    *location = span_location(reader, position, position + 2);
  return kind;
}

bidi_kind bidi_kind_of_ucn(preprocessor_reader *reader, const unsigned char *position, bool is_u,
                           location_t *location)
{
  const unsigned char *p = position;
  if (!is_u) {
    for (int i = 0; i < 4; i++)
      if (p[i] != '0')
        return BIDI_NONE;
    p += 4;
  }
  uint32_t code = 0;
  for (int i = 0; i < 4; i++) {
    if (!c_isxdigit(p[i]))
      return BIDI_NONE;
    code = (code << 4) | hex_value(p[i]);
  }
  bidi_kind kind = bidi_kind_of_code(code);
  if (kind != BIDI_NONE)
    *location = span_location(reader, position - 2, p + 3);
  return kind;
}

void bidi_check_char(preprocessor_reader *reader, bidi_kind kind, bool ucn, location_t location)
{
  if (kind == BIDI_NONE)
    return;
  uint8_t mode = reader->options.bidi_warning_mode;
  if (mode & (BIDI_WARN_UNPAIRED | BIDI_WARN_ANY)) {
    located_ranges record;
    located_ranges_init(&record, reader->line_table, location, nullptr);
    record.escape_output = true;
    const bidi_context_entry *top = bidi_top();
    if (kind == bidi_expected_closer()) {
      if (mode == (BIDI_WARN_UNPAIRED | BIDI_WARN_UCN) && top->spelled_as_ucn != ucn) {
        located_ranges_add_range(&record, top->location, RANGE_NO_CARET, nullptr);
        diag_warning_at_record(reader, DR_BIDIRECTIONAL,
                               &record, "UTF-8 vs UCN mismatch when closing a context by \"%s\"",
                               bidi_kind_text(kind));
      }
    } else if ((mode & BIDI_WARN_ANY) && ((mode & BIDI_WARN_UCN) || !ucn)) {
      if (kind == BIDI_PDF || kind == BIDI_PDI)
        diag_warning_at_record(reader, DR_BIDIRECTIONAL, &record,
                               "\"%s\" is closing an unopened context", bidi_kind_text(kind));
      else
        diag_warning_at_record(reader, DR_BIDIRECTIONAL, &record,
                               "found problematic Unicode character \"%s\"", bidi_kind_text(kind));
    }
    located_ranges_fini(&record);
  }
  on_char(kind, ucn, location);
}

void bidi_check_close(preprocessor_reader *reader, const unsigned char *position)
{
  const bidi_context_entry *top = bidi_top();
  uint8_t mode = reader->options.bidi_warning_mode;
  if (top && (mode & BIDI_WARN_UNPAIRED) && (!top->spelled_as_ucn || (mode & BIDI_WARN_UCN))) {
    static const bidi_range_label label;
    located_ranges record;
    located_ranges_init(&record, reader->line_table, _cpp_column_location(reader, position),
                        &label);
    record.escape_output = true;
    for (uint32_t i = 0; i < bidi_tracker.count; i++)
      located_ranges_add_range(&record, bidi_tracker.entries[i].location, RANGE_NO_CARET, &label);
    if (bidi_tracker.count > 1)
      diag_warning_at_record(reader, DR_BIDIRECTIONAL, &record,
                             "unpaired UTF-8 bidirectional control characters detected");
    else
      diag_warning_at_record(reader, DR_BIDIRECTIONAL, &record,
                             "unpaired UTF-8 bidirectional control character detected");
    located_ranges_fini(&record);
  }
  bidi_reset();
}

label_string bidi_range_label::get_text(uint32_t range_index) const
{
  label_string result;
  result.owned = false;
  if (range_index == 0)
    result.text = const_cast<char *>("end of bidirectional context");
  else
    result.text = const_cast<char *>(
        bidi_kind_text(bidi_kind(bidi_tracker.entries[range_index - 1].kind)));
  return result;
}
