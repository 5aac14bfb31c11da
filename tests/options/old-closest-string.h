// The closest-string search as it was before candidates were grouped by
// length and banded: the reference that the differential test holds the
// library's search to.
#ifndef VUZ_TESTS_OPTIONS_OLD_CLOSEST_STRING_H
#define VUZ_TESTS_OPTIONS_OLD_CLOSEST_STRING_H

#include "support/alloc.h"
#include "support/char-class.h"
#include "support/vec.h"

#include <climits>
#include <cstdlib>
#include <cstring>

// The distance, or some value not below BOUND once the distance is known to
// reach it: every entry of a row comes from the two rows above it plus a
// non-negative cost, so when both have reached BOUND the rest can only grow.
inline unsigned old_bounded_distance(const char *s, size_t m, const char *t, size_t n, unsigned bound)
{
  if (m == 0)
    return static_cast<unsigned>(2 * n);
  if (n == 0)
    return static_cast<unsigned>(2 * m);
  unsigned small[3 * 128];
  unsigned *rows = 3 * (m + 1) <= 3 * 128
                       ? small
                       : static_cast<unsigned *>(checked_malloc(3 * (m + 1) * sizeof(unsigned)));
  unsigned *before = rows, *previous = rows + (m + 1), *current = rows + 2 * (m + 1);
  unsigned before_least = UINT_MAX, previous_least = 0;
  for (size_t j = 0; j <= m; j++)
    previous[j] = static_cast<unsigned>(2 * j);
  for (size_t i = 0; i < n; i++) {
    current[0] = static_cast<unsigned>(2 * (i + 1));
    unsigned least = current[0];
    for (size_t j = 0; j < m; j++) {
      unsigned substitution = 2;
      if (s[j] == t[i])
        substitution = 0;
      else if (c_tolower(static_cast<unsigned char>(s[j])) ==
               c_tolower(static_cast<unsigned char>(t[i])))
        substitution = 1;
      unsigned best = current[j] + 2;
      if (previous[j + 1] + 2 < best)
        best = previous[j + 1] + 2;
      if (previous[j] + substitution < best)
        best = previous[j] + substitution;
      if (i > 0 && j > 0 && s[j] == t[i - 1] && s[j - 1] == t[i] && before[j - 1] + 2 < best)
        best = before[j - 1] + 2;
      current[j + 1] = best;
      if (best < least)
        least = best;
    }
    unsigned *spare = before;
    before = previous;
    previous = current;
    current = spare;
    before_least = previous_least;
    previous_least = least;
    if (before_least >= bound && previous_least >= bound && i + 1 < n) {
      previous[m] = bound;
      break;
    }
  }
  unsigned result = previous[m];
  if (rows != small)
    free(rows);
  return result;
}

inline unsigned old_distance_cutoff(size_t a, size_t b)
{
  size_t longer = a > b ? a : b, shorter = a > b ? b : a;
  if (longer < 2)
    return 0;
  if (longer - shorter <= 1)
    return longer < 6 ? 2 : static_cast<unsigned>(longer / 3 * 2);
  return static_cast<unsigned>((2 * longer + 4) / 3);
}

// A lower bound of the distance from letter counts (case folded): every edit
// of cost 2 changes the counts by at most 2, and case changes and
// transpositions change nothing.
struct old_letter_counts {
  unsigned target[256];
  unsigned used[256];
};

inline unsigned old_count_bound(old_letter_counts *counts, const char *candidate, size_t length,
                            size_t target_length)
{
  size_t unmatched = 0;
  for (size_t i = 0; i < length; i++) {
    unsigned char k = c_tolower(static_cast<unsigned char>(candidate[i]));
    if (counts->used[k] < counts->target[k])
      counts->used[k]++;
    else
      unmatched++;
  }
  for (size_t i = 0; i < length; i++)
    counts->used[c_tolower(static_cast<unsigned char>(candidate[i]))] = 0;
  return static_cast<unsigned>(unmatched + (target_length - (length - unmatched)));
}

// Whether the first two characters agree, ignoring case.
inline bool old_same_start(const char *a, const char *b)
{
  for (int i = 0; i < 2; i++) {
    if (c_tolower(static_cast<unsigned char>(a[i])) != c_tolower(static_cast<unsigned char>(b[i])))
      return false;
    if (!a[i])
      return true;
  }
  return true;
}

inline const char *old_find_closest_string(const char *target, const vec<const char *> *candidates)
{
  if (vec_empty(candidates))
    return nullptr;
  size_t target_length = strlen(target);
  old_letter_counts counts = {};
  for (size_t i = 0; i < target_length; i++)
    counts.target[c_tolower(static_cast<unsigned char>(target[i]))]++;
  // A first look at the candidates that begin like the target finds a
  // distance that the closest one cannot exceed; the walk in list order then
  // measures only candidates that may come within it. The answer is still the
  // first candidate at the least distance.
  unsigned reached = UINT_MAX;
  for (const char *candidate : *candidates) {
    if (!old_same_start(candidate, target))
      continue;
    size_t length = strlen(candidate);
    size_t difference = length > target_length ? length - target_length : target_length - length;
    if (difference >= reached || difference > old_distance_cutoff(target_length, length))
      continue;
    unsigned distance = old_bounded_distance(target, target_length, candidate, length, reached);
    if (distance < reached)
      reached = distance;
  }

  unsigned best_distance = UINT_MAX;
  const char *best = nullptr;
  size_t best_length = 0;
  for (const char *candidate : *candidates) {
    size_t length = strlen(candidate);
    size_t difference = length > target_length ? length - target_length : target_length - length;
    if (difference >= best_distance || difference > old_distance_cutoff(target_length, length))
      continue;
    unsigned limit = reached == UINT_MAX || best_distance <= reached ? best_distance : reached + 1;
    if (difference >= limit ||
        (limit != UINT_MAX && old_count_bound(&counts, candidate, length, target_length) >= limit))
      continue;
    unsigned distance = old_bounded_distance(target, target_length, candidate, length, limit);
    if (distance < best_distance && distance < limit) {
      best_distance = distance;
      best = candidate;
      best_length = length;
    }
  }
  if (best && best_distance >= 1 && best_distance <= old_distance_cutoff(target_length, best_length))
    return best;
  return nullptr;
}

#endif
