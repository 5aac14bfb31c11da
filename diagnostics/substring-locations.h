// Locations of characters inside a string literal, for diagnostics that
// point into a format string: the literal (or each piece of a concatenated
// one) is re-read from the source and interpreted by the preprocessor.
#ifndef VUZ_DIAGNOSTICS_SUBSTRING_LOCATIONS_H
#define VUZ_DIAGNOSTICS_SUBSTRING_LOCATIONS_H

#include "diagnostics/string-concat.h"
#include "libsprenk/preprocessor.h"

// Null with *out set to the caret character's location ranging from the
// start character to the end character; otherwise why it could not be had.
const char *get_location_within_string(preprocessor_reader *reader, string_concat_db *db,
                                       location_t string_location, int literal_kind,
                                       int32_t caret_index, int32_t start_index,
                                       int32_t end_index, location_t *out);

#endif
