// A fresh preprocessor reader over a test's text, with its own line table,
// that records every report as "kind: message" and speaks in token
// spellings.
#ifndef VUZ_TESTS_LIBSPRENK_PREPROCESSOR_FIXTURE_H
#define VUZ_TESTS_LIBSPRENK_PREPROCESSOR_FIXTURE_H

#include "libsprenk/preprocessor-internal.h"
#include "tests/locations/line-map-fixture.h"

#include <cstdio>
#include <string>
#include <vector>

typedef std::vector<std::string> words;

struct pp_fixture {
  test_line_table lines;
  preprocessor_reader *reader;
  words reports;
  std::vector<location_t> report_locations;
  std::vector<std::vector<std::string>> report_labels;
  // Each report's fix-it texts.
  std::vector<std::vector<std::string>> report_fixits;
  bool posted = false;

  explicit pp_fixture(source_dialect dialect = DIALECT_KAV17)
  {
    reader = reader_create(dialect, nullptr, lines.get());
    reader->callbacks.diagnostic = record;
    active() = this;
  }
  ~pp_fixture()
  {
    reader_destroy(reader);
    active() = nullptr;
  }
  pp_fixture(const pp_fixture &) = delete;
  pp_fixture &operator=(const pp_fixture &) = delete;

  cpp_reader_options *options() { return &reader->options; }

  // Stacks TEXT as the main file (after reconciling the options once).
  void push(const std::string &text)
  {
    if (!posted)
      reader_post_options(reader);
    posted = true;
    buffer_push(reader, reinterpret_cast<const unsigned char *>(text.data()), text.size(), false);
    enter_file_change(reader, LC_ENTER, "test.c", 1, 0);
  }

  // The tokeniser's tokens: no directives run, no macros expand.
  const preproc_token *raw_token()
  {
    reader->lex_only = true;
    return _cpp_lex_token(reader);
  }

  // Every token up to EOF, spelled.
  words lex(const std::string &text)
  {
    words out;
    push(text);
    for (const preproc_token *t = raw_token(); t->kind != TK_EOF; t = raw_token())
      out.push_back(spell(t));
    return out;
  }

  // Every token up to EOF as "KIND spelling".
  words kinds(const std::string &text)
  {
    words out;
    push(text);
    for (const preproc_token *t = raw_token(); t->kind != TK_EOF; t = raw_token())
      out.push_back(std::string(kind_name(t)) + " " + spell(t));
    return out;
  }

  // Every token with its flags, kept (tokens are recycled line by line).
  std::vector<preproc_token> tokens(const std::string &text)
  {
    std::vector<preproc_token> out;
    push(text);
    for (const preproc_token *t = raw_token();; t = raw_token()) {
      out.push_back(*t);
      if (t->kind == TK_EOF)
        break;
    }
    return out;
  }

  // The expanded tokens up to EOF, one space apart; a deferred pragma's
  // token as "PRAGMA id" and the end of a pragma or module line as "EOL".
  std::string expanded()
  {
    std::string out;
    for (const preproc_token *t = cpp_next_token(reader); t->kind != TK_EOF;
         t = cpp_next_token(reader)) {
      if (t->kind == TK_PADDING)
        continue;
      if (!out.empty())
        out += ' ';
      if (t->kind == TK_PRAGMA)
        out += "PRAGMA " + std::to_string(t->value.pragma_id);
      else if (t->kind == TK_PRAGMA_EOL)
        out += "EOL";
      else
        out += spell(t);
    }
    return out;
  }

  std::string spell(const preproc_token *token)
  {
    return reinterpret_cast<const char *>(cpp_token_text(reader, token));
  }

  static const char *kind_name(const preproc_token *token)
  {
    if (cpp_kind_category(token->kind) == TC_OPERATOR)
      return "OP";
    return cpp_kind_name(token->kind, 0);
  }

  // Line and column of a location, as "line:column".
  std::string where(location_t location)
  {
    if (location_is_adhoc(location))
      location = adhoc_locus(lines.get(), location);
    const ordinary_map *map = linemap_find_ordinary_map(lines.get(), location);
    if (map == nullptr)
      return "-";
    return std::to_string(ordinary_map_line(map, location)) + ":" +
           std::to_string(ordinary_map_column(map, location));
  }

  static pp_fixture *&active()
  {
    static pp_fixture *current;
    return current;
  }

  static bool record(preprocessor_reader *, int level, int reason, located_ranges *ranges,
                     const char *format, va_list *args)
  {
    static const char *const names[] = {"warning", "warning", "pedwarn", "error",
                                        "ice",     "note",    "fatal"};
    char text[512];
    vsnprintf(text, sizeof text, format, *args);
    pp_fixture *self = active();
    std::string entry = std::string(names[level]) + ": " + text;
    if (reason)
      entry += " [" + std::to_string(reason) + "]";
    self->reports.push_back(entry);
    self->report_locations.push_back(located_ranges_range_loc(ranges, 0));
    std::vector<std::string> labels;
    for (int32_t i = 0; i < ranges->range_count; i++) {
      const located_range *range = located_ranges_range(ranges, i);
      if (range->label) {
        label_string label = range->label->get_text(uint32_t(i));
        labels.push_back(label.text);
      }
    }
    self->report_labels.push_back(labels);
    std::vector<std::string> fixits;
    for (uint32_t i = 0; i < ranges->fixit_count; i++)
      fixits.push_back(located_ranges_fixit(ranges, i)->text);
    self->report_fixits.push_back(fixits);
    return true;
  }
};

#endif
