// Test-only reads of the preprocessor reader below its client interface:
// the raw tokeniser, line preparation and #if evaluation, which the dumps,
// fuzz inputs and benchmarks check on their own. Callers see only the
// public header; the definitions see the library's internals.
#ifndef VUZ_TESTS_COMMON_READER_PROBES_H
#define VUZ_TESTS_COMMON_READER_PROBES_H

#include "libsprenk/preprocessor.h"

#include <cstdint>
#include <cstdio>

// The next token as the tokeniser gives it: no directive runs and no macro
// expands, from this call on.
const preproc_token *probe_raw_token(preprocessor_reader *reader);

// A line note of the line prepared last: where in the line, and its kind
// ('\\' or ' ' for a splice, a trigraph's third character, '\n').
struct probe_line_note {
  int64_t offset;
  uint32_t kind;
};

// Prepares the next line of the top buffer (splices and trigraphs dealt
// with); false when none is left. The text runs to its newline.
bool probe_prepare_line(preprocessor_reader *reader, const unsigned char **text,
                        uint64_t *length);
uint32_t probe_line_note_count(preprocessor_reader *reader);
probe_line_note probe_line_note_at(preprocessor_reader *reader, uint32_t index);

// Evaluating each #if on its own: scan tokens, and at a line-start "#"
// enter the directive and read its name; then evaluate the expression, or
// give the name back and run the directive, or just leave it.
const preproc_token *probe_scan_token(preprocessor_reader *reader);
const preproc_token *probe_directive_name(preprocessor_reader *reader);
bool probe_evaluate_if(preprocessor_reader *reader, bool is_if, expr_value *value);
void probe_run_directive(preprocessor_reader *reader, bool indented);
void probe_leave_directive(preprocessor_reader *reader);

// The text a buffer reads (its own copy) and its limit, the newline
// sentinel after it.
void probe_buffer_text(const input_buffer *buffer, const unsigned char **text,
                       const unsigned char **limit);

// Makes the next line of input current; false at the end of the input.
bool probe_next_line(preprocessor_reader *reader);
// Evaluates the current line as an #if (IS_IF) or #elif expression, to its
// end; false after an error. The line after it is read next.
bool probe_evaluate_line(preprocessor_reader *reader, bool is_if, expr_value *value);

// Reads STREAM as a directory's "header.vuz" remap file: false unless every
// name listed looks up again, no name or path holds a newline and the list
// is ended.
bool probe_remap_file_consistent(FILE *stream, const char *directory);

#endif
