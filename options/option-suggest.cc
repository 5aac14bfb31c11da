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

#define check_in(file, expr) ((expr) ? (void)0 : internal_abort(file, __LINE__, __func__))

// The distance, or some value not below BOUND once the distance is known to
// reach it: every entry of a row comes from the two rows above it plus a
// non-negative cost, so when both have reached BOUND the rest can only grow.
static unsigned bounded_distance(const char *s, size_t m, const char *t, size_t n, unsigned bound)
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

// A lower bound of the distance from letter counts (case folded): every edit
// of cost 2 changes the counts by at most 2, and case changes and
// transpositions change nothing.
struct letter_counts {
  unsigned target[256];
  unsigned used[256];
};

static unsigned count_bound(letter_counts *counts, const char *candidate, size_t length,
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
static bool same_start(const char *a, const char *b)
{
  for (int i = 0; i < 2; i++) {
    if (c_tolower(static_cast<unsigned char>(a[i])) != c_tolower(static_cast<unsigned char>(b[i])))
      return false;
    if (!a[i])
      return true;
  }
  return true;
}

const char *find_closest_string(const char *target, const vec<const char *> *candidates)
{
  check_in("spellcheck", target != nullptr);
  if (vec_empty(candidates))
    return nullptr;
  size_t target_length = strlen(target);
  letter_counts counts = {};
  for (size_t i = 0; i < target_length; i++)
    counts.target[c_tolower(static_cast<unsigned char>(target[i]))]++;
  // A first look at the candidates that begin like the target finds a
  // distance that the closest one cannot exceed; the walk in list order then
  // measures only candidates that may come within it. The answer is still the
  // first candidate at the least distance.
  unsigned reached = UINT_MAX;
  for (const char *candidate : *candidates) {
    check_in("spellcheck", candidate != nullptr);
    if (!same_start(candidate, target))
      continue;
    size_t length = strlen(candidate);
    size_t difference = length > target_length ? length - target_length : target_length - length;
    if (difference >= reached || difference > distance_cutoff(target_length, length))
      continue;
    unsigned distance = bounded_distance(target, target_length, candidate, length, reached);
    if (distance < reached)
      reached = distance;
  }

  unsigned best_distance = UINT_MAX;
  const char *best = nullptr;
  size_t best_length = 0;
  for (const char *candidate : *candidates) {
    size_t length = strlen(candidate);
    size_t difference = length > target_length ? length - target_length : target_length - length;
    if (difference >= best_distance || difference > distance_cutoff(target_length, length))
      continue;
    unsigned limit = reached == UINT_MAX || best_distance <= reached ? best_distance : reached + 1;
    if (difference >= limit ||
        (limit != UINT_MAX && count_bound(&counts, candidate, length, target_length) >= limit))
      continue;
    unsigned distance = bounded_distance(target, target_length, candidate, length, limit);
    if (distance < best_distance && distance < limit) {
      best_distance = distance;
      best = candidate;
      best_length = length;
    }
  }
  if (best && best_distance >= 1 && best_distance <= distance_cutoff(target_length, best_length))
    return best;
  return nullptr;
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
  check_in("opt-suggestions", row != nullptr && text != nullptr);
  if (option_stops_lookup(row))
    return;
  vec_safe_push(candidates, static_cast<const char *>(checked_strdup(text + 1)));
  for (const option_prefix_entry &entry : option_prefix_map) {
    if (entry.negated && row->bits.rejects_negative)
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
  check_in("opt-suggestions", suggester->candidates == nullptr);
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

const char *suggest_option(option_suggester *suggester, const char *misspelt)
{
  if (!suggester->candidates)
    build_option_suggestions(suggester, nullptr);
  return find_closest_string(misspelt, suggester->candidates);
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
  check_in("opt-suggestions", suggester->candidates != nullptr);
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
}
