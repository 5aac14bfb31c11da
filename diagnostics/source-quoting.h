// Source quoting: after a diagnostic's message, the source lines its location
// record touches, with carets, underlined ranges, labels, line numbers and
// fix-it hints.
#ifndef VUZ_DIAGNOSTICS_SOURCE_QUOTING_H
#define VUZ_DIAGNOSTICS_SOURCE_QUOTING_H

#include "diagnostics/diagnostic.h"

void diagnostic_show_locus(diagnostic_state *context, located_ranges *record,
                           diagnostic_kind kind);
// Whether two locations may be shown in one quotation.
bool compatible_locations(location_t a, location_t b);
// Adds `location` to the record as a range without caret when the record's
// quotation would accept it (with `restrict_to_spans`, only inside the lines
// it already shows); returns whether it did.
bool layout_add_range_if_in_spans(located_ranges *record, location_t location,
                                  bool restrict_to_spans, const range_label *label);

#endif
