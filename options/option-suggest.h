// Option suggestions ("did you mean") by edit distance, and the completions
// printed for --completion=.
#ifndef VUZ_OPTIONS_OPTION_SUGGEST_H
#define VUZ_OPTIONS_OPTION_SUGGEST_H

#include "options/option-table.h"
#include "support/vec.h"

#include <cstddef>
#include <cstdint>

// What the closest-string search keeps of the candidate list: each
// candidate's set of case-folded characters, and the candidates grouped by
// length, so that most of the list is passed over without reading it.
struct candidate_summary {
  uint64_t *letters;        // by candidate
  uint32_t *by_length;      // candidate numbers, by length and then list order
  uint32_t *length_starts;  // where each length begins in by_length; longest + 2 entries
  size_t longest;
};

// Every known spelling, without its leading '-', built on first use.
struct option_suggester {
  vec<const char *> *candidates;  // owned copies; null until built
  candidate_summary *summary;     // made on the first question
};

// The closest spelling to MISSPELT (given without its leading '-'), or null.
const char *suggest_option(option_suggester *suggester, const char *misspelt);
// Appends "-" and every candidate beginning with PREFIX, as new strings.
void get_completions(option_suggester *suggester, const char *prefix,
                     vec<const char *> *&results);
void print_option_completions(option_suggester *suggester, const char *prefix);
void option_candidates_free(option_suggester *suggester);
void build_option_suggestions(option_suggester *suggester, const char *prefix);
// TEXT and its alternative spellings, each without the first character.
void add_misspelling_candidates(vec<const char *> *&candidates, const option_descriptor *row,
                                const char *text);

// Distances in half-steps: 2 per edit, 1 for a change of letter case only.
unsigned edit_distance(const char *s, size_t s_length, const char *t, size_t t_length);
unsigned edit_distance_of(const char *s, const char *t);
// The largest distance still worth suggesting between texts of these lengths.
unsigned distance_cutoff(size_t length, size_t other_length);
const char *find_closest_string(const char *target, const vec<const char *> *candidates);
// Stores all candidates joined by blanks (the caller frees it) and answers
// the closest one.
const char *candidate_list_and_suggestion(const char *target, char **list,
                                          const vec<const char *> *candidates);

#endif
