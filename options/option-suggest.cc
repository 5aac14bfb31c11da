// Option suggestions and completions: the candidate spellings of every
// option, the edit distance with its cut-off, and the closest-string search
// that argument checks elsewhere share.
#include "options/option-suggest.h"

#include "options/option-decode.h"
#include "support/alloc.h"
#include "support/char-class.h"
#include "support/concat.h"
#include "support/internal-abort.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The distance, or some value not below BOUND once the distance is known to
// reach it. An entry for prefixes whose lengths differ by d is at least 2d, so
// only the band of entries with 2d below BOUND is worked out; the entries just
// outside it hold BOUND, which every path through them reaches anyway. Every
// entry comes from the two rows above it plus a non-negative cost, so when
// both rows have reached BOUND the rest can only grow.
static unsigned bounded_distance(const char *s, size_t m, const char *t, size_t n, unsigned bound)
{
  if (m == 0)
    return static_cast<unsigned>(2 * n);
  if (n == 0)
    return static_cast<unsigned>(2 * m);
  size_t width = (bound - 1) / 2;
  if ((n > m ? n - m : m - n) > width)
    return bound;
  unsigned small[3 * 128];
  unsigned *rows = 3 * (m + 1) <= 3 * 128
                       ? small
                       : static_cast<unsigned *>(checked_malloc(3 * (m + 1) * sizeof(unsigned)));
  unsigned *before = rows, *previous = rows + (m + 1), *current = rows + 2 * (m + 1);
  unsigned before_least = UINT_MAX, previous_least = 0;
  for (size_t j = 0; j <= m; j++)
    previous[j] = static_cast<unsigned>(2 * j);
  for (size_t i = 0; i < n; i++) {
    // Row i + 1 works out columns first..last (prefix lengths of s).
    size_t first = i + 1 > width + 1 ? i + 1 - width : 1;
    size_t last = i + 1 + width < m ? i + 1 + width : m;
    current[0] = static_cast<unsigned>(2 * (i + 1));
    if (first > 1)
      current[first - 1] = bound;
    if (last < m)
      current[last + 1] = bound;
    unsigned least = first == 1 ? current[0] : bound;
    for (size_t j = first - 1; j < last; j++) {
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

unsigned edit_distance(const char *s, size_t m, const char *t, size_t n)
{
  return bounded_distance(s, m, t, n, UINT_MAX);
}

unsigned edit_distance_of(const char *s, const char *t)
{
  return edit_distance(s, strlen(s), t, strlen(t));
}

unsigned distance_cutoff(size_t a, size_t b)
{
  size_t longer = a > b ? a : b, shorter = a > b ? b : a;
  if (longer < 2)
    return 0;
  if (longer - shorter <= 1)
    return longer < 6 ? 2 : static_cast<unsigned>(longer / 3 * 2);
  return static_cast<unsigned>((2 * longer + 4) / 3);
}

// The set of a text's case-folded characters as bits. A character that one
// text has and the other lacks costs at least one edit, and one edit mends at
// most one such character on each side: twice the larger count of bits that
// only one side has is a lower bound of the distance. Characters sharing a bit
// only weaken the bound.
static uint64_t letter_bit(unsigned char c)
{
  unsigned char k = c_tolower(c);
  if (k >= 'a' && k <= 'z')
    return uint64_t{1} << (k - 'a');
  if (k >= '0' && k <= '9')
    return uint64_t{1} << (26 + k - '0');
  return uint64_t{1} << (36 + k % 28);
}

static uint64_t letter_set(const char *text)
{
  uint64_t letters = 0;
  for (const char *p = text; *p; p++)
    letters |= letter_bit(static_cast<unsigned char>(*p));
  return letters;
}

static unsigned letters_bound(uint64_t a, uint64_t b)
{
  unsigned only_a = static_cast<unsigned>(__builtin_popcountll(a & ~b));
  unsigned only_b = static_cast<unsigned>(__builtin_popcountll(b & ~a));
  return 2 * (only_a > only_b ? only_a : only_b);
}

// The answer is the candidate at the least distance, the first in list order
// of those at that distance, among the candidates whose length lies within
// the cut-off. A candidate can replace the best only by coming closer, or as
// close from earlier in the list; nothing at CAP or beyond (above the largest
// cut-off any candidate length allows) can make the answer. A candidate whose
// bounds already reach its limit is passed over without measuring it, so the
// candidates may be visited in any order.
struct closest_walk {
  const char *target;
  size_t length;
  uint64_t letters;
  unsigned cap;
  unsigned best_distance;
  uint32_t best_index;
  const char *best;
  size_t best_length;
  uint32_t counts[256];  // of the target's case-folded characters
  uint32_t used[256];    // zero between candidates
};

// The same bound from how many times each character stands: what the
// candidate has beyond the target's counts, and what it lacks of them.
static unsigned counts_bound(closest_walk *walk, const char *candidate, size_t length)
{
  size_t extra = 0;
  for (size_t i = 0; i < length; i++) {
    unsigned char k = c_tolower(static_cast<unsigned char>(candidate[i]));
    if (walk->used[k] < walk->counts[k])
      walk->used[k]++;
    else
      extra++;
  }
  for (size_t i = 0; i < length; i++)
    walk->used[c_tolower(static_cast<unsigned char>(candidate[i]))] = 0;
  size_t missing = walk->length - (length - extra);
  size_t larger = extra > missing ? extra : missing;
  return larger < UINT_MAX / 2 ? static_cast<unsigned>(2 * larger) : UINT_MAX;
}

static void consider(closest_walk *walk, const char *candidate, size_t length, uint64_t letters,
                     uint32_t index)
{
  size_t difference = length > walk->length ? length - walk->length : walk->length - length;
  if (difference > distance_cutoff(walk->length, length))
    return;
  unsigned limit = walk->best_distance;
  if (walk->best && index < walk->best_index)
    limit++;
  if (limit > walk->cap)
    limit = walk->cap;
  if (2 * difference >= limit || letters_bound(walk->letters, letters) >= limit ||
      counts_bound(walk, candidate, length) >= limit)
    return;
  unsigned distance = bounded_distance(walk->target, walk->length, candidate, length, limit);
  if (distance < limit) {
    walk->best_distance = distance;
    walk->best_index = index;
    walk->best = candidate;
    walk->best_length = length;
  }
}

static const char *walk_answer(const closest_walk *walk)
{
  if (walk->best && walk->best_distance >= 1 &&
      walk->best_distance <= distance_cutoff(walk->length, walk->best_length))
    return walk->best;
  return nullptr;
}

static void start_walk(closest_walk *walk, const char *target, unsigned cap)
{
  vuz_assert_as(target != nullptr, "spellcheck", __func__);
  *walk = {target, strlen(target), letter_set(target), cap, UINT_MAX, 0, nullptr, 0, {}, {}};
  for (const char *p = target; *p; p++)
    walk->counts[c_tolower(static_cast<unsigned char>(*p))]++;
}

const char *find_closest_string(const char *target, const vec<const char *> *candidates)
{
  closest_walk walk;
  start_walk(&walk, target, UINT_MAX);
  if (vec_empty(candidates))
    return nullptr;
  for (uint32_t i = 0; i < vec_length(candidates); i++) {
    const char *candidate = (*candidates)[i];
    vuz_assert_as(candidate != nullptr, "spellcheck", __func__);
    consider(&walk, candidate, strlen(candidate), letter_set(candidate), i);
  }
  return walk_answer(&walk);
}

// The largest cut-off that a candidate of some length up to LONGEST can have
// while its length stays within it.
static unsigned largest_cutoff(size_t length, size_t longest)
{
  unsigned largest = 0;
  for (size_t other = 0; other <= longest; other++) {
    unsigned cutoff = distance_cutoff(length, other);
    size_t difference = other > length ? other - length : length - other;
    if (difference <= cutoff && cutoff > largest)
      largest = cutoff;
  }
  return largest;
}

const char *candidate_list_and_suggestion(const char *target, char **list,
                                          const vec<const char *> *candidates)
{
  size_t total = 1;
  for (uint32_t i = 0; i < vec_length(candidates); i++)
    total += strlen((*candidates)[i]) + 1;
  char *out = static_cast<char *>(checked_malloc(total));
  char *p = out;
  for (uint32_t i = 0; i < vec_length(candidates); i++) {
    if (i)
      *p++ = ' ';
    size_t length = strlen((*candidates)[i]);
    memcpy(p, (*candidates)[i], length);
    p += length;
  }
  *p = '\0';
  *list = out;
  return find_closest_string(target, candidates);
}

void add_misspelling_candidates(vec<const char *> *&candidates, const option_descriptor *row,
                                const char *text)
{
  vuz_assert_as(row != nullptr && text != nullptr, "opt-suggestions", __func__);
  if (option_stops_lookup(row))
    return;
  vec_safe_push(candidates, static_cast<const char *>(checked_strdup(text + 1)));
  for (const option_prefix_entry &entry : option_prefix_map) {
    if (entry.negated && row->bits.rejects_negative)
      continue;
    // Most texts already differ at the letter after the dash.
    if (text[0] != entry.replacement[0] ||
        (entry.replacement[0] && entry.replacement[1] && text[1] != entry.replacement[1]))
      continue;
    size_t replaced = strlen(entry.replacement);
    if (strncmp(text, entry.replacement, replaced) == 0)
      vec_safe_push(candidates, static_cast<const char *>(
                                    concat_strings(entry.prefix + 1, text + replaced, nullptr)));
  }
  if (strncmp(text, "--param=", 8) == 0) {
    char *spaced = checked_strdup(text + 1);
    spaced[6] = ' ';
    vec_safe_push(candidates, static_cast<const char *>(spaced));
  }
}

// The values that the target offers for one of its options. This target's
// hook offers none, so every target option is suggested by its bare text.
static vec<const char *> *target_option_values(const char *, const char *)
{
  return nullptr;
}

void build_option_suggestions(option_suggester *suggester, const char *prefix)
{
  vuz_assert_as(suggester->candidates == nullptr, "opt-suggestions", __func__);
  vec<const char *> *&out = suggester->candidates;
  for (size_t i = 0; i < option_count; i++) {
    const option_descriptor *row = &option_rows[i];
    if (i == OPT_fsanitize_eq || i == OPT_fsanitize_recover_eq) {
      add_misspelling_candidates(out, row, row->text);
      for (const sanitizer_entry *s = sanitizer_names; s->name; s++) {
        char *with_name;
        if (i == OPT_fsanitize_eq && s->flag_mask == 0xffffffffu) {
          // "all" is only valid negated; no "no-" variant of that spelling.
          option_descriptor negated = *row;
          negated.text = "-fno-sanitize=";
          negated.bits.rejects_negative = 1;
          with_name = concat_strings(negated.text, s->name, nullptr);
          add_misspelling_candidates(out, &negated, with_name);
        } else {
          with_name = concat_strings(row->text, s->name, nullptr);
          add_misspelling_candidates(out, row, with_name);
        }
        free(with_name);
      }
    } else if (row->variable_kind == VAR_ENUM) {
      for (const enum_value_entry *v = option_enums[row->enum_index].values; v->name; v++) {
        char *with_value = concat_strings(row->text, v->name, nullptr);
        add_misspelling_candidates(out, row, with_value);
        free(with_value);
      }
      add_misspelling_candidates(out, row, row->text);
    } else if (vec<const char *> *values;
               (row->flags & FLAG_TARGET) && (values = target_option_values(row->text, prefix)) &&
               !vec_empty(values)) {
      for (const char *value : *values) {
        char *with_value = concat_strings(row->text, value, nullptr);
        add_misspelling_candidates(out, row, with_value);
        free(with_value);
      }
      vec_release(values);
    } else {
      add_misspelling_candidates(out, row, row->text);
    }
  }
}

// The letter sets of the whole list and its candidates ordered by length,
// made once with it, so that a question reads no candidate whose length
// already rules it out.
static void summarise_candidates(option_suggester *suggester)
{
  uint32_t count = vec_length(suggester->candidates);
  candidate_summary *summary = checked_new_cleared<candidate_summary>();
  summary->letters = checked_new_array<uint64_t>(count ? count : 1);
  uint32_t *lengths = checked_new_array<uint32_t>(count ? count : 1);
  size_t longest = 0;
  for (uint32_t i = 0; i < count; i++) {
    const char *candidate = (*suggester->candidates)[i];
    summary->letters[i] = letter_set(candidate);
    size_t length = strlen(candidate);
    lengths[i] = length < UINT32_MAX ? static_cast<uint32_t>(length) : UINT32_MAX;
    if (length > longest)
      longest = length;
  }
  vuz_assert_as(longest < UINT32_MAX, "opt-suggestions", __func__);
  // A counting sort keeps list order within each length.
  summary->longest = longest;
  summary->length_starts = checked_new_cleared<uint32_t>(longest + 2);
  for (uint32_t i = 0; i < count; i++)
    summary->length_starts[lengths[i] + 1]++;
  for (size_t length = 0; length <= longest; length++)
    summary->length_starts[length + 1] += summary->length_starts[length];
  summary->by_length = checked_new_array<uint32_t>(count ? count : 1);
  uint32_t *next = checked_new_array<uint32_t>(longest + 1);
  memcpy(next, summary->length_starts, (longest + 1) * sizeof(uint32_t));
  for (uint32_t i = 0; i < count; i++)
    summary->by_length[next[lengths[i]]++] = i;
  free(next);
  free(lengths);
  suggester->summary = summary;
}

// One walk over the candidates of every length that can come below CAP.
static void walk_lengths(closest_walk *walk, const option_suggester *suggester)
{
  const candidate_summary *summary = suggester->summary;
  size_t reach = (walk->cap - 1) / 2;
  size_t shortest = walk->length > reach ? walk->length - reach : 0;
  size_t longest = walk->length + reach < summary->longest ? walk->length + reach : summary->longest;
  for (size_t length = shortest; length <= longest; length++)
    for (uint32_t k = summary->length_starts[length]; k < summary->length_starts[length + 1]; k++) {
      uint32_t i = summary->by_length[k];
      consider(walk, (*suggester->candidates)[i], length, summary->letters[i], i);
    }
}

const char *suggest_option(option_suggester *suggester, const char *misspelt)
{
  if (!suggester->candidates)
    build_option_suggestions(suggester, nullptr);
  if (!suggester->summary)
    summarise_candidates(suggester);
  closest_walk walk;
  start_walk(&walk, misspelt, 0);
  unsigned cap = largest_cutoff(walk.length, suggester->summary->longest) + 1;
  // A typo is a short way from its option: look for close candidates first,
  // where the bounds pass over nearly all of the list, and go further only
  // when nothing was that close. The first walk that finds any candidate
  // below its limit has found the closest.
  for (unsigned limit = 3;; limit = 2 * limit - 1) {
    walk.cap = limit < cap ? limit : cap;
    walk_lengths(&walk, suggester);
    if (walk.best || walk.cap == cap)
      return walk_answer(&walk);
  }
}

void get_completions(option_suggester *suggester, const char *prefix,
                     vec<const char *> *&results)
{
  if (!prefix || !*prefix)
    return;
  if (*prefix == '-')
    prefix++;
  if (!suggester->candidates)
    build_option_suggestions(suggester, prefix);
  vuz_assert_as(suggester->candidates != nullptr, "opt-suggestions", __func__);
  size_t length = strlen(prefix);
  for (const char *candidate : *suggester->candidates)
    if (strncmp(candidate, prefix, length) == 0)
      vec_safe_push(results, static_cast<const char *>(concat_strings("-", candidate, nullptr)));
}

void print_option_completions(option_suggester *suggester, const char *prefix)
{
  vec<const char *> *results = nullptr;
  get_completions(suggester, prefix, results);
  for (uint32_t i = 0; i < vec_length(results); i++) {
    puts((*results)[i]);
    free(const_cast<char *>((*results)[i]));
  }
  vec_release(results);
}

void option_candidates_free(option_suggester *suggester)
{
  for (uint32_t i = 0; i < vec_length(suggester->candidates); i++)
    free(const_cast<char *>((*suggester->candidates)[i]));
  vec_release(suggester->candidates);
  if (candidate_summary *summary = suggester->summary) {
    free(summary->letters);
    free(summary->length_starts);
    free(summary->by_length);
    free(summary);
    suggester->summary = nullptr;
  }
}
