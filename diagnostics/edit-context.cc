// The edit context: applying fix-it hints line by line with column shifts,
// and printing edited files and unified diffs.
#include "diagnostics/edit-context.h"

#include "diagnostics/diagnostic-color.h"
#include "diagnostics/diagnostic.h"
#include "diagnostics/internal.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

// Diff hunks show this many unchanged lines before a change.
enum : int32_t { DIFF_CONTEXT_LINES = 3 };

// ---- Records ----

static void line_record_delete(uintptr_t item)
{
  edit_line_record *record = reinterpret_cast<edit_line_record *>(item);
  free(record->content);
  vec_release(record->shifts);
  if (record->inserted)
    for (inserted_line &line : *record->inserted)
      free(line.text);
  vec_release(record->inserted);
  free(record);
}

static void file_record_delete(uintptr_t item)
{
  edit_file_record *record = reinterpret_cast<edit_file_record *>(item);
  splay_tree_destroy(&record->lines);
  free(record);
}

edit_context *edit_context_create()
{
  edit_context *context = checked_new_cleared<edit_context>();
  context->valid = true;
  splay_tree_init(&context->files, splay_compare_strings, nullptr, file_record_delete);
  return context;
}

void edit_context_destroy(edit_context *context)
{
  if (!context)
    return;
  splay_tree_destroy(&context->files);
  free(context);
}

static edit_file_record *get_file(edit_context *context, const char *name)
{
  vuz_assert(name);
  splay_node *node = splay_tree_lookup(&context->files, reinterpret_cast<splay_key>(name));
  return node ? reinterpret_cast<edit_file_record *>(node->value) : nullptr;
}

static edit_file_record *get_or_insert_file(edit_context *context, const char *name)
{
  vuz_assert(name);
  if (edit_file_record *found = get_file(context, name))
    return found;
  edit_file_record *record = checked_new_cleared<edit_file_record>();
  record->name = name;
  record->line_count = -1;
  splay_tree_init(&record->lines, splay_compare_ints, nullptr, line_record_delete);
  splay_tree_insert(&context->files, reinterpret_cast<splay_key>(name),
                    reinterpret_cast<splay_value>(record));
  return record;
}

static edit_line_record *get_line(edit_file_record *file, int32_t line)
{
  splay_node *node = splay_tree_lookup(&file->lines, splay_key(intptr_t(line)));
  return node ? reinterpret_cast<edit_line_record *>(node->value) : nullptr;
}

// A new record starts as a copy of the source line; null when it cannot be read.
static edit_line_record *get_or_insert_line(edit_file_record *file, int32_t line)
{
  if (edit_line_record *found = get_line(file, line))
    return found;
  uint64_t length;
  const char *text = source_line_of(file->name, line, &length);
  if (!text || length > INT32_MAX / 2 - 2)
    return nullptr;
  edit_line_record *record = checked_new_cleared<edit_line_record>();
  record->line = line;
  record->length = int32_t(length);
  record->capacity = int32_t(length) + 1;
  record->content = static_cast<char *>(checked_memdup(text, length, length + 1));
  record->content[length] = '\0';
  splay_tree_insert(&file->lines, splay_key(intptr_t(line)), reinterpret_cast<splay_value>(record));
  return record;
}

static int32_t get_num_lines(edit_file_record *file, bool *missing_trailing_newline)
{
  vuz_assert(missing_trailing_newline);
  if (file->line_count < 0) {
    int32_t count = 0;
    uint64_t length;
    while (count < INT32_MAX && source_line_of(file->name, count + 1, &length))
      count++;
    file->line_count = count;
  }
  *missing_trailing_newline = source_lacks_final_newline(file->name);
  return file->line_count;
}

// ---- Applying hints ----

// Moves a hint's columns past the earlier edits of the line. A hint that
// would touch text an earlier hint replaced, or replace text around an
// earlier insertion, cannot be applied: either order would be a guess.
static bool shift_columns(const edit_line_record *record, int32_t *start, int32_t *next)
{
  if (!record->shifts)
    return true;
  for (const column_shift &shift : *record->shifts) {
    bool insertion = *start == *next;
    if (shift.end > shift.start) {
      bool inside = insertion ? *start > shift.start && *start < shift.end
                              : *start < shift.end && shift.start < *next;
      if (inside)
        return false;
    } else if (!insertion && *start < shift.start && shift.start < *next) {
      return false;
    }
    if (insertion) {
      if (*start >= shift.end)
        *start = *next = *start + shift.delta;
      continue;
    }
    if (*start >= shift.end)
      *start += shift.delta;
    if (*next >= shift.end && *next > shift.start)
      *next += shift.delta;
  }
  return true;
}

static bool apply_fixit(edit_line_record *record, int32_t start, int32_t next, const char *text,
                        int32_t length)
{
  // A hint that ends in a newline inserts a line before this one.
  if (length >= 1 && text[length - 1] == '\n') {
    inserted_line line = {static_cast<char *>(checked_memdup(text, length - 1, length)),
                          length - 1};
    line.text[length - 1] = '\0';
    vec_safe_push(record->inserted, line);
    return true;
  }
  if (!shift_columns(record, &start, &next))
    return false;
  if (start <= 0 || next <= 0 || next < start || next > record->length + 1)
    return false;
  int64_t new_length = int64_t(record->length) + length - (next - start);
  if (new_length > INT32_MAX / 2 - 2)
    return false;
  if (new_length + 1 > record->capacity) {
    record->capacity = int32_t(new_length) * 2 + 2;
    record->content = static_cast<char *>(checked_realloc(record->content, record->capacity));
  }
  memmove(record->content + start - 1 + length, record->content + next - 1,
          size_t(record->length - (next - 1) + 1));
  memcpy(record->content + start - 1, text, size_t(length));
  record->length = int32_t(new_length);
  vec_safe_push(record->shifts, column_shift{start, length - (next - start), next});
  return true;
}

bool edit_context_apply_hint(edit_context *context, const fixit_hint *hint)
{
  expanded_location start = location_expand(hint->start);
  expanded_location next = location_expand(hint->next);
  if (!start.file || !next.file || strcmp(start.file, next.file) != 0 ||
      start.line != next.line || start.column == 0 || next.column == 0 ||
      hint->length > INT32_MAX / 2)
    return false;
  edit_file_record *file = get_or_insert_file(context, start.file);
  if (!context->valid)
    return false;
  edit_line_record *line = get_or_insert_line(file, start.line);
  if (!line)
    return false;
  return apply_fixit(line, start.column, next.column, hint->text, int32_t(hint->length));
}

void edit_context_take_fixits(edit_context *context, const located_ranges *record)
{
  if (!context->valid)
    return;
  if (record->impossible_fixit_seen) {
    context->valid = false;
    return;
  }
  for (uint32_t i = 0; i < record->fixit_count && context->valid; i++)
    if (!edit_context_apply_hint(context, located_ranges_fixit(record, i)))
      context->valid = false;
}

int32_t edit_context_effective_column(edit_context *context, const char *file_name, int32_t line,
                                      int32_t column)
{
  edit_file_record *file = get_file(context, file_name);
  edit_line_record *record = file ? get_line(file, line) : nullptr;
  if (!record || !record->shifts)
    return column;
  for (const column_shift &shift : *record->shifts)
    if (column >= shift.end)
      column += shift.delta;
  return column;
}

// ---- Edited content ----

static void put_bytes(pretty_printer *pp, const char *text, uint64_t length)
{
  pp_put_text_range(pp, text, text + length);
}

static bool print_content(edit_file_record *file, pretty_printer *pp)
{
  bool missing_newline;
  int32_t count = get_num_lines(file, &missing_newline);
  for (int32_t line = 1; line <= count; line++) {
    if (edit_line_record *record = get_line(file, line)) {
      if (record->inserted)
        for (const inserted_line &inserted : *record->inserted) {
          put_bytes(pp, inserted.text, uint64_t(inserted.length));
          pp_put_char(pp, '\n');
        }
      put_bytes(pp, record->content, uint64_t(record->length));
    } else {
      uint64_t length;
      const char *text = source_line_of(file->name, line, &length);
      if (!text)
        return false;
      put_bytes(pp, text, length);
    }
    if (line < count)
      pp_put_char(pp, '\n');
  }
  if (!missing_newline)
    pp_put_char(pp, '\n');
  return true;
}

// The printer's text as a new string; the printer is left clear.
static char *take_text(pretty_printer *pp)
{
  char *text = checked_strdup(pp_current_text(pp));
  pp_clear_text(pp);
  return text;
}

char *edit_context_file_content(edit_context *context, const char *file_name)
{
  if (!context->valid)
    return nullptr;
  edit_file_record *file = get_file(context, file_name);
  if (!file)
    return nullptr;
  pretty_printer pp(0);
  if (!print_content(file, &pp)) {
    pp_clear_text(&pp);
    return nullptr;
  }
  return take_text(&pp);
}

// ---- Unified diffs ----

struct diff_state {
  pretty_printer *pp;
  edit_file_record *file;
  int32_t line_count;
  bool missing_newline;
  int32_t line_delta; // new minus old lines of the hunks so far
};

// Without this marker after the file's last line, a patch would give the
// file a final newline it does not have.
static void print_diff_line(diff_state *d, char prefix, const char *text, uint64_t length,
                            int32_t line)
{
  pp_put_char(d->pp, prefix);
  put_bytes(d->pp, text, length);
  pp_put_char(d->pp, '\n');
  if (d->missing_newline && line == d->line_count)
    pp_put_string(d->pp, "\\ No newline at end of file\n");
}

static void print_unchanged_line(diff_state *d, int32_t line)
{
  uint64_t length;
  const char *text = source_line_of(d->file->name, line, &length);
  print_diff_line(d, ' ', text ? text : "", text ? length : 0, line);
}

static void print_run_of_changed_lines(diff_state *d, int32_t first, int32_t last)
{
  bool colour = d->pp->show_color;
  pp_put_string(d->pp, colorize_start(colour, "diff-delete"));
  for (int32_t line = first; line <= last; line++) {
    edit_line_record *record = get_line(d->file, line);
    vuz_assert(record);
    if (vec_empty(record->shifts))
      continue;
    uint64_t length;
    const char *text = source_line_of(d->file->name, line, &length);
    print_diff_line(d, '-', text ? text : "", text ? length : 0, line);
  }
  pp_put_string(d->pp, colorize_stop(colour));
  pp_put_string(d->pp, colorize_start(colour, "diff-insert"));
  for (int32_t line = first; line <= last; line++) {
    edit_line_record *record = get_line(d->file, line);
    if (record->inserted)
      for (const inserted_line &inserted : *record->inserted)
        print_diff_line(d, '+', inserted.text, uint64_t(inserted.length), -1);
    print_diff_line(d, vec_empty(record->shifts) ? ' ' : '+', record->content,
                    uint64_t(record->length), line);
  }
  pp_put_string(d->pp, colorize_stop(colour));
}

static int32_t hunk_end_after(edit_line_record *record)
{
  return record->line + (vec_empty(record->shifts) ? 2 : 3);
}

static void print_hunk(diff_state *d, int32_t start, int32_t end)
{
  int32_t new_count = 0;
  for (int32_t line = start; line <= end; line++) {
    edit_line_record *record = get_line(d->file, line);
    new_count += 1 + (record ? int32_t(vec_length(record->inserted)) : 0);
  }
  int32_t old_count = end - start + 1;
  bool colour = d->pp->show_color;
  pp_put_string(d->pp, colorize_start(colour, "diff-hunk"));
  char header[96];
  snprintf(header, sizeof header, "%s -%i,%i +%i,%i %s", "@@", start, old_count,
           start + d->line_delta, new_count, "@@\n");
  pp_put_string(d->pp, header);
  pp_put_string(d->pp, colorize_stop(colour));
  for (int32_t line = start; line <= end;) {
    if (!get_line(d->file, line)) {
      print_unchanged_line(d, line++);
      continue;
    }
    int32_t last = line;
    while (last < end && get_line(d->file, last + 1))
      last++;
    print_run_of_changed_lines(d, line, last);
    line = last + 1;
  }
  d->line_delta += new_count - old_count;
}

// The edited lines in order, gathered from the line tree.
static int gather_line(splay_key, splay_value value, void *data)
{
  vec_safe_push(*static_cast<vec<edit_line_record *> **>(data),
                reinterpret_cast<edit_line_record *>(value));
  return 0;
}

static void print_file_diff(edit_file_record *file, pretty_printer *pp, bool show_file_names)
{
  bool colour = pp->show_color;
  if (show_file_names) {
    pp_put_string(pp, colorize_start(colour, "diff-filename"));
    pp_put_string(pp, "--- ");
    pp_put_string(pp, file->name);
    pp_put_string(pp, "\n+++ ");
    pp_put_string(pp, file->name);
    pp_put_char(pp, '\n');
    pp_put_string(pp, colorize_stop(colour));
  }
  diff_state d = {pp, file, 0, false, 0};
  d.line_count = get_num_lines(file, &d.missing_newline);
  vec<edit_line_record *> *lines = nullptr;
  splay_tree_foreach(&file->lines, gather_line, &lines);
  for (uint32_t i = 0; i < vec_length(lines);) {
    edit_line_record *first = (*lines)[i];
    int32_t end = hunk_end_after(first);
    for (i++; i < vec_length(lines) && (*lines)[i]->line - DIFF_CONTEXT_LINES <= end; i++)
      end = hunk_end_after((*lines)[i]);
    int32_t start = first->line - DIFF_CONTEXT_LINES < 1 ? 1 : first->line - DIFF_CONTEXT_LINES;
    print_hunk(&d, start, end < d.line_count ? end : d.line_count);
  }
  vec_release(lines);
}

static int print_file_visit(splay_key, splay_value value, void *data)
{
  auto *args = static_cast<std::pair<pretty_printer *, bool> *>(data);
  print_file_diff(reinterpret_cast<edit_file_record *>(value), args->first, args->second);
  return 0;
}

void edit_context_print_diff(edit_context *context, pretty_printer *pp, bool show_file_names)
{
  if (!context->valid)
    return;
  std::pair<pretty_printer *, bool> args(pp, show_file_names);
  splay_tree_foreach(&context->files, print_file_visit, &args);
}

char *edit_context_diff_text(edit_context *context, bool show_file_names)
{
  if (!context->valid)
    return nullptr;
  pretty_printer pp(0);
  edit_context_print_diff(context, &pp, show_file_names);
  return take_text(&pp);
}
