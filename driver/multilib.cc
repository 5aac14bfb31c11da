// Multilib selection: the library variant chosen by the options in effect,
// from the select, matches, exclusions, reuse and defaults texts.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "support/alloc.h"

#include <cstring>

multilib_choice_state multilib_choice;

// The next blank-separated word of [p, end); false when there is none.
static bool next_word(const char *&p, const char *end, const char **word, size_t *length)
{
  while (p < end && *p == ' ')
    p++;
  if (p >= end)
    return false;
  *word = p;
  while (p < end && *p != ' ')
    p++;
  *length = static_cast<size_t>(p - *word);
  return true;
}

static const char *text_end(const char *text)
{
  return text + strlen(text);
}

// One entry of a select text: DIR, a blank, options up to ';'. P moves past
// the entry; false at the end of the text; *MALFORMED when the text ends
// inside the entry.
struct select_entry {
  const char *dir;
  size_t dir_length;
  const char *options;
  const char *options_end;
};

static bool next_select_entry(const char *&p, select_entry *entry, bool *malformed)
{
  *malformed = false;
  while (*p == '\n')
    p++;
  if (!*p)
    return false;
  entry->dir = p;
  while (*p && *p != ' ')
    p++;
  entry->dir_length = static_cast<size_t>(p - entry->dir);
  if (!*p) {
    *malformed = true;
    return false;
  }
  entry->options = ++p;
  while (*p && *p != ';')
    p++;
  entry->options_end = p;
  if (!*p) {
    *malformed = true;
    return false;
  }
  p++;
  return true;
}

void init_multilib_texts()
{
  spec_tables.multilib_select = ". ;";
  spec_tables.multilib_matches = "";
  spec_tables.multilib_exclusions = "";
  spec_tables.multilib_reuse = "";
  spec_tables.multilib_defaults = "";
}

static bool in_used(const char *text, size_t length)
{
  if (multilib_choice.multilib_used)
    for (const multilib_option &o : *multilib_choice.multilib_used)
      if (o.length == length && strncmp(o.text, text, length) == 0)
        return true;
  return false;
}

// The default option's group in multilib_options has no other member in use.
static bool group_free_of_others(const char *option, size_t length)
{
  const char *p = spec_tables.multilib_options;
  while (*p) {
    while (*p == ' ')
      p++;
    const char *group = p;
    while (*p && *p != ' ')
      p++;
    const char *group_end = p;
    bool listed = false;
    for (const char *q = group; q < group_end;) {
      const char *alt = q;
      while (q < group_end && *q != '/')
        q++;
      if (static_cast<size_t>(q - alt) == length && strncmp(alt, option, length) == 0)
        listed = true;
      if (q < group_end)
        q++;
    }
    if (!listed)
      continue;
    for (const char *q = group; q < group_end;) {
      const char *alt = q;
      while (q < group_end && *q != '/')
        q++;
      if (in_used(alt, static_cast<size_t>(q - alt)))
        return false;
      if (q < group_end)
        q++;
    }
    return true;
  }
  return false;
}

static void build_multilib_used()
{
  multilib_choice.multilib_used_built = true;
  // matches: GIVEN USED; ...
  struct pair {
    const char *given;
    size_t given_length;
    const char *used;
    size_t used_length;
  };
  vec<pair> *pairs = nullptr;
  for (const char *p = spec_tables.multilib_matches; *p;) {
    while (*p == ' ' || *p == '\n')
      p++;
    if (!*p)
      break;
    const char *given = p;
    while (*p && *p != ' ')
      p++;
    if (!*p)
      fatal_error(0, "multilib spec %qs is invalid", spec_tables.multilib_matches);
    size_t given_length = static_cast<size_t>(p - given);
    p++;
    const char *used = p;
    while (*p && *p != ';') {
      if (*p == ' ')
        fatal_error(0, "multilib spec %qs is invalid", spec_tables.multilib_matches);
      p++;
    }
    vec_safe_push(pairs, pair{given, given_length, used, static_cast<size_t>(p - used)});
    if (*p)
      p++;
  }
  for (int i = 0; i < saved_switches.switch_count; i++) {
    if (saved_switches.switches[i].liveness & SW_REMOVED)
      continue;
    if (!pairs)
      break;
    for (const pair &pr : *pairs)
      if (strlen(saved_switches.switches[i].text) == pr.given_length &&
          strncmp(saved_switches.switches[i].text, pr.given, pr.given_length) == 0) {
        vec_safe_push(multilib_choice.multilib_used, multilib_option{pr.used, pr.used_length});
        break;
      }
  }
  vec_release(pairs);
  const char *d;
  size_t n;
  for (const char *p = spec_tables.multilib_defaults;
       next_word(p, text_end(spec_tables.multilib_defaults), &d, &n);)
    if (group_free_of_others(d, n))
      vec_safe_push(multilib_choice.multilib_used, multilib_option{d, n});
}

bool multilib_option_used(const char *text, size_t length)
{
  if (!multilib_choice.multilib_used_built)
    build_multilib_used();
  return in_used(text, length);
}

static bool is_default_option(const char *text, size_t length)
{
  const char *d;
  size_t n;
  for (const char *p = spec_tables.multilib_defaults;
       next_word(p, text_end(spec_tables.multilib_defaults), &d, &n);)
    if (n == length && strncmp(d, text, length) == 0)
      return true;
  return false;
}

// Whether "opt" or "!opt" holds.
static bool option_holds(const char *option, size_t length)
{
  if (option[0] == '!')
    return !multilib_option_used(option + 1, length - 1);
  return multilib_option_used(option, length);
}

void select_multilib()
{
  // Exclusions: a matching entry means no multilib applies.
  for (const char *p = spec_tables.multilib_exclusions; *p;) {
    while (*p == '\n' || *p == ' ')
      p++;
    if (!*p)
      break;
    bool all = true;
    while (*p != ';') {
      if (!*p)
        fatal_error(0, "multilib exclusions %qs is invalid", spec_tables.multilib_exclusions);
      const char *o = p;
      while (*p && *p != ' ' && *p != ';')
        p++;
      if (!*p)
        fatal_error(0, "multilib exclusions %qs is invalid", spec_tables.multilib_exclusions);
      if (p > o && !option_holds(o, static_cast<size_t>(p - o)))
        all = false;
      while (*p == ' ')
        p++;
    }
    p++;
    if (all)
      return;
  }

  char *text = *spec_tables.multilib_reuse
                   ? format_alloc("%s%s", spec_tables.multilib_select, spec_tables.multilib_reuse)
                   : checked_strdup(spec_tables.multilib_select);
  select_entry entry;
  bool malformed;
  for (const char *p = text;;) {
    if (!next_select_entry(p, &entry, &malformed)) {
      if (malformed)
        fatal_error(0, "multilib select %qs %qs is invalid", spec_tables.multilib_select,
                    spec_tables.multilib_reuse);
      break;
    }
    const char *dir = entry.dir;
    size_t dir_length = entry.dir_length;
    bool ok = true, exact = true;
    const char *o;
    size_t n;
    for (const char *q = entry.options; next_word(q, entry.options_end, &o, &n);) {
      if (!ok)
        break;
      if (!option_holds(o, n)) {
        exact = false;
        if (!is_default_option(o, n))
          ok = false;
      }
    }
    if (!ok)
      continue;
    const char *colon = static_cast<const char *>(memchr(dir, ':', dir_length));
    size_t plain = colon ? static_cast<size_t>(colon - dir) : dir_length;
    if (!multilib_choice.multi_dir && !(plain == 1 && dir[0] == '.'))
      multilib_choice.multi_dir = checked_strndup(dir, plain);
    if (exact && colon) {
      const char *os = colon + 1;
      const char *end = dir + dir_length;
      const char *second = static_cast<const char *>(memchr(os, ':', static_cast<size_t>(end - os)));
      size_t os_length = static_cast<size_t>((second ? second : end) - os);
      multilib_choice.multi_os_dir =
          checked_strndup(os_length ? os : ".", os_length ? os_length : 1);
      if (second)
        multilib_choice.multi_arch_dir =
            checked_strndup(second + 1, static_cast<size_t>(end - second - 1));
      break;
    }
  }
  free(text);
  if (!multilib_choice.multi_dir && multilib_choice.multi_os_dir &&
      strcmp(multilib_choice.multi_os_dir, ".") == 0) {
    free(const_cast<char *>(multilib_choice.multi_os_dir));
    multilib_choice.multi_os_dir = nullptr;
  }
  if (multilib_choice.multi_dir && !multilib_choice.multi_os_dir)
    multilib_choice.multi_os_dir = multilib_choice.multi_dir;
}

void release_multilib_cache()
{
  vec_release(multilib_choice.multilib_used);
  multilib_choice.multilib_used_built = false;
}

void reset_multilib_choice()
{
  if (multilib_choice.multi_os_dir != multilib_choice.multi_dir)
    free(const_cast<char *>(multilib_choice.multi_os_dir));
  free(const_cast<char *>(multilib_choice.multi_dir));
  free(const_cast<char *>(multilib_choice.multi_arch_dir));
  release_multilib_cache();
  multilib_choice = multilib_choice_state();
}

void print_multilib_table()
{
  const char *previous = nullptr;
  size_t previous_length = 0;
  select_entry entry;
  bool malformed;
  for (const char *p = spec_tables.multilib_select;;) {
    if (!next_select_entry(p, &entry, &malformed)) {
      if (malformed)
        fatal_error(0, "multilib select %qs is invalid", spec_tables.multilib_select);
      break;
    }
    const char *dir = entry.dir;
    size_t dir_length = entry.dir_length;
    const char *options = entry.options;
    const char *options_end = entry.options_end;

    if (dir_length >= 2 && dir[0] == '.' && dir[1] == ':' && !(dir_length > 2 && dir[2] == ':'))
      continue;
    // Exclusions that name only this entry's options (or defaults).
    bool excluded = false;
    for (const char *e = spec_tables.multilib_exclusions; *e && !excluded;) {
      while (*e == '\n' || *e == ' ')
        e++;
      if (!*e)
        break;
      bool all = true;
      while (*e != ';') {
        if (!*e)
          fatal_error(0, "multilib exclusion %qs is invalid", spec_tables.multilib_exclusions);
        const char *o = e;
        if (*o == '!')
          o++;
        while (*e && *e != ' ' && *e != ';')
          e++;
        size_t n = static_cast<size_t>(e - o);
        bool found = is_default_option(o, n);
        const char *w;
        size_t wn;
        for (const char *q = options; !found && next_word(q, options_end, &w, &wn);)
          if (strncmp(w, o, wn > n ? wn : n) == 0)
            found = true;
        if (!found)
          all = false;
        while (*e == ' ')
          e++;
      }
      e++;
      if (all)
        excluded = true;
    }
    if (excluded)
      continue;
    bool same = previous && previous_length == dir_length && strncmp(previous, dir, dir_length) == 0;
    previous = dir;
    previous_length = dir_length;
    if (same)
      continue;
    bool any_default = false, positives_default = true, negated_default = false;
    const char *w;
    size_t wn;
    for (const char *q = options; next_word(q, options_end, &w, &wn);) {
      bool neg = *w == '!';
      bool def = is_default_option(w + neg, wn - neg);
      if (def)
        any_default = true;
      if (!neg && !def)
        positives_default = false;
      if (neg && def)
        negated_default = true;
    }
    if (any_default && positives_default && !negated_default)
      continue;
    const char *colon = static_cast<const char *>(memchr(dir, ':', dir_length));
    fwrite(dir, 1, colon ? static_cast<size_t>(colon - dir) : dir_length, stdout);
    putchar(';');
    for (const char *q = options; next_word(q, options_end, &w, &wn);)
      if (*w != '!') {
        putchar('@');
        fwrite(w, 1, wn, stdout);
      }
    for (const char *q = spec_tables.multilib_extra;
         next_word(q, text_end(spec_tables.multilib_extra), &w, &wn);) {
      putchar('@');
      fwrite(w, 1, wn, stdout);
    }
    putchar('\n');
  }
}
