// Which string literals were joined by concatenation: the pieces of each
// joined literal, keyed by where the first piece starts, so that a location
// inside the joined string can be traced back to its piece.
#ifndef VUZ_DIAGNOSTICS_STRING_CONCAT_H
#define VUZ_DIAGNOSTICS_STRING_CONCAT_H

#include "locations/line-map.h"
#include "support/hash-table.h"

struct string_concat {
  int32_t count;
  location_t *locations;
};

struct string_concat_db {
  string_concat_db();
  ~string_concat_db();
  hash_map<location_t, string_concat *> table;

  string_concat_db(const string_concat_db &) = delete;
  string_concat_db &operator=(const string_concat_db &) = delete;
};

void record_string_concatenation(string_concat_db *db, int32_t count,
                                 const location_t *locations);
bool get_string_concatenation(string_concat_db *db, location_t location, int32_t *count_out,
                              location_t **locations_out);

#endif
