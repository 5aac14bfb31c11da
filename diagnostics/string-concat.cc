// The string concatenation database, allocated through the collector entry
// points like the rest of the code shared with collector-based programs.
#include "diagnostics/string-concat.h"

#include "diagnostics/input.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstring>

// Tables of this size hold the joined literals of a typical file unresized.
enum : uint64_t { STRING_CONCAT_TABLE_SIZE = 64 };

string_concat_db::string_concat_db() : table(STRING_CONCAT_TABLE_SIZE, true) {}

static void string_concat_free(string_concat *record)
{
  kemm_release(record->locations);
  kemm_release(record);
}

string_concat_db::~string_concat_db()
{
  for (auto &entry : table)
    string_concat_free(entry.value);
}

// Where the first piece starts, at the point of its expansion.
static location_t string_concat_key(location_t first)
{
  location_t point = location_expansion_point(first);
  location_t key = linemap_location_range(line_table, point).start;
  return location_is_adhoc(key) ? adhoc_locus(line_table, key) : key;
}

void record_string_concatenation(string_concat_db *db, int32_t count,
                                 const location_t *locations)
{
  vuz_assert(count >= 2 && locations);
  location_t key = string_concat_key(locations[0]);
  if (key < RESERVED_LOCATION_COUNT)
    return;
  string_concat *record = static_cast<string_concat *>(
      kemm_internal_alloc(sizeof(string_concat), nullptr, sizeof(string_concat), 1));
  record->count = count;
  record->locations = static_cast<location_t *>(kemm_internal_alloc(
      sizeof(location_t) * size_t(count), nullptr, sizeof(location_t), size_t(count)));
  memcpy(record->locations, locations, sizeof(location_t) * size_t(count));
  if (string_concat **old = db->table.get(key))
    string_concat_free(*old);
  db->table.put(key, record);
}

bool get_string_concatenation(string_concat_db *db, location_t location, int32_t *count_out,
                              location_t **locations_out)
{
  vuz_assert(count_out && locations_out);
  location_t key = string_concat_key(location);
  if (key < RESERVED_LOCATION_COUNT)
    return false;
  string_concat **found = db->table.get(key);
  if (!found)
    return false;
  *count_out = (*found)->count;
  *locations_out = (*found)->locations;
  return true;
}
