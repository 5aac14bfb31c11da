// The edit context: fix-it hints of diagnostics applied to in-memory copies
// of the source lines, printed as the edited files or as a unified diff.
#ifndef VUZ_DIAGNOSTICS_EDIT_CONTEXT_H
#define VUZ_DIAGNOSTICS_EDIT_CONTEXT_H

#include "locations/located-ranges.h"

#include <cstdint>

class pretty_printer;

struct edit_context;

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
