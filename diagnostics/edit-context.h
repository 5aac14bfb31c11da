// The edit context: fix-it hints of diagnostics applied to in-memory copies
// of the source lines, printed as the edited files or as a unified diff.
#ifndef VUZ_DIAGNOSTICS_EDIT_CONTEXT_H
#define VUZ_DIAGNOSTICS_EDIT_CONTEXT_H

#include "diagnostics/splay-tree.h"
#include "libsprenk/located-ranges.h"
#include "support/vec.h"

#include <cstdint>

class pretty_printer;

// An applied edit: columns at or after `end` move by `delta`. `start` to
// `end` is the replaced text (empty for an insertion), in the columns of the
// line as it was when the edit was applied.
struct column_shift {
  int32_t start;
  int32_t delta;
  int32_t end;
};

struct inserted_line {
  char *text; // owned, without its newline
  int32_t length;
};

struct edit_line_record {
  int32_t line;
  char *content; // owned, NUL-terminated
  int32_t length;
  int32_t capacity;
  vec<column_shift> *shifts;
  vec<inserted_line> *inserted; // lines inserted before this one
};

struct edit_file_record {
  const char *name; // not copied
  splay_tree lines; // line number -> edit_line_record
  int32_t line_count; // -1 until counted
};

struct edit_context {
  bool valid; // false for good once a hint could not be applied
  splay_tree files; // file name -> edit_file_record
};

edit_context *edit_context_create();
void edit_context_destroy(edit_context *context);
void edit_context_take_fixits(edit_context *context, const located_ranges *record);
bool edit_context_apply_hint(edit_context *context, const fixit_hint *hint);
// The whole edited file (to be freed), or null.
char *edit_context_file_content(edit_context *context, const char *file_name);
int32_t edit_context_effective_column(edit_context *context, const char *file_name, int32_t line,
                                      int32_t column);
// The unified diff of every file (to be freed), or null when invalid.
char *edit_context_diff_text(edit_context *context, bool show_file_names);
void edit_context_print_diff(edit_context *context, pretty_printer *pp, bool show_file_names);

#endif
