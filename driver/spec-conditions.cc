// Spec conditions: the copy form "%{a&b}" and the test form
// "%{a|!b:body;c:body;:otherwise}", the copying of a switch into a command,
// and the pass that accepts every switch some spec mentions.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstring>

// The bytes of an atom, as constant data: every condition reads its atoms
// byte by byte.
struct atom_char_table {
  bool is[256];
};

static constexpr atom_char_table make_atom_char_table()
{
  atom_char_table t = {};
  for (int c = 0; c < 256; c++)
    t.is[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '+' || c == ',' || c == '-' || c == '.' || c == '=' || c == '@';
  return t;
}

static constexpr atom_char_table atom_chars = make_atom_char_table();

static bool is_atom_char(char c)
{
  return atom_chars.is[static_cast<unsigned char>(c)];
}

static const char *skip_blanks(const char *p)
{
  while (*p == ' ' || *p == '\t')
    p++;
  return p;
}

void emit_switch(int index, bool omit_first_word)
{
  switch_entry &sw = saved_switches.switches[index];
  if (sw.liveness & SW_REMOVED)
    return;
  if (!omit_first_word) {
    do_spec_1("-", false, nullptr);
    word_add_text(sw.text);
    if (spec_expansion.spec_function_depth)
      finish_word();
  }
  if (sw.arguments) {
    for (const char **a = sw.arguments; *a; a++) {
      do_spec_1(" ", false, nullptr);
      const char *word = *a;
      if (spec_words.suffix_replacement) {
        // Replace the suffix: from the last '.' of the last path component.
        const char *dot = nullptr;
        for (const char *q = word + strlen(word); q > word; q--) {
          if (q[-1] == '/')
            break;
          if (q[-1] == '.') {
            dot = q - 1;
            break;
          }
        }
        word_add_text_n(word, dot ? static_cast<size_t>(dot - word) : strlen(word));
        word_add_text(spec_words.suffix_replacement);
      } else {
        word_add_text(word);
      }
    }
  }
  do_spec_1(" ", false, nullptr);
  sw.accepted = 1;
}

static bool is_builtin_text(const char *text)
{
  uintptr_t at = reinterpret_cast<uintptr_t>(text);
  uintptr_t start = reinterpret_cast<uintptr_t>(builtin_spec_chars);
  return at >= start && at - start < builtin_spec_chars_size;
}

// The record of a built-in text that starts at TEXT, found through its
// bucket table, or null. A bucket holds few records: read them in order.
template <typename record>
static const record *builtin_record_at(const char *text, const record *records, int count,
                                       const uint16_t *buckets, int bucket_bits)
{
  if (!is_builtin_text(text))
    return nullptr;
  uint32_t offset = static_cast<uint32_t>(text - builtin_spec_chars);
  int i = buckets[offset >> bucket_bits];
  while (i < count && records[i].start < offset)
    i++;
  if (i < count && records[i].start == offset)
    return &records[i];
  return nullptr;
}

// A body of a built-in text, whose end was found when the driver was built
// and which is there as a string of its own, or null.
static const builtin_body *builtin_body_at(const char *body)
{
  return builtin_record_at(body, builtin_bodies, builtin_body_count, builtin_body_buckets,
                           BUILTIN_BUCKET_BITS);
}

const builtin_call *builtin_call_at(const char *name)
{
  return builtin_record_at(name, builtin_calls, builtin_call_count, builtin_call_buckets,
                           BUILTIN_BUCKET_BITS);
}

// The end of a body: the '}' or ';' at the body's own nesting level; notes
// whether a "%*" stands at that level too.
const char *spec_body_end(const char *body, bool *own_star)
{
  const char *p = body;
  int depth = 0;
  *own_star = false;
  // Bodies are long runs of ordinary text: jump from one byte that matters
  // to the next.
  for (; *(p += strcspn(p, "{};\\%")); p++) {
    switch (*p) {
    case '{':
      depth++;
      break;
    case '}':
      if (depth == 0)
        return p;
      depth--;
      break;
    case ';':
      if (depth == 0)
        return p;
      break;
    case '\\':
      if (p[1])
        p++;
      break;
    case '%':
      if (p[1] == '*' && depth == 0)
        *own_star = true;
      if (p[1] == '*' || p[1] == '%')
        p++;  // a "%{" still opens a nested condition
      break;
    default:
      break;
    }
  }
  fatal_error(0, "braced spec body %qs is invalid", body);
}

// Expands a body (as a string of its own), once per matching switch when it
// holds its own "%*".
static bool expand_body(const char *text, const char *atom, size_t atom_length, bool own_star)
{
  bool ok = true;
  if (own_star) {
    for (int i = 0; i < saved_switches.switch_count && ok; i++) {
      if (!switch_begins_with(saved_switches.switches[i].text, atom, atom_length))
        continue;
      if (!switch_is_live(i, static_cast<int>(atom_length)))
        continue;
      if (do_spec_1(text, false, saved_switches.switches[i].text + atom_length) < 0) {
        ok = false;
        break;
      }
      emit_switch(i, true);
      spec_words.suffix_replacement = nullptr;
    }
  } else if (do_spec_1(text, false, nullptr) < 0) {
    ok = false;
  }
  return ok;
}

// The body of a choice: where it ends, and its expansion when the choice is
// TAKEN. A built-in body needs neither reading nor copying. False when the
// expansion failed.
static bool take_body(const char *body, const char **end, bool all_starred, bool taken,
                      const char *atom, size_t atom_length)
{
  bool own_star;
  const builtin_body *known = builtin_body_at(body);
  if (known) {
    *end = builtin_spec_chars + known->end;
    own_star = known->own_star;
  } else {
    *end = spec_body_end(body, &own_star);
  }
  if (own_star && !all_starred)
    fatal_error(0, "braced spec body %qs is invalid", body);
  if (!taken)
    return true;
  char *copy = nullptr;
  if (!known) {
    const char *trimmed = *end;
    while (trimmed > body && (trimmed[-1] == ' ' || trimmed[-1] == '\t'))
      trimmed--;
    copy = checked_strndup(body, static_cast<size_t>(trimmed - body));
  }
  bool ok = expand_body(known ? builtin_spec_chars + known->copy : copy, atom, atom_length,
                        own_star);
  free(copy);
  return ok;
}

// The switches a copy-form condition marks: the length its atoms give the
// liveness test, and how many it marked.
struct copy_marking {
  int live_length;
  int marked;
};

// Marks a live switch that a copy-form atom names.
static void mark_for_copy(int index, void *data)
{
  copy_marking *marking = static_cast<copy_marking *>(data);
  if (switch_is_live(index, marking->live_length)) {
    saved_switches.switches[index].copy_mark = 1;
    marking->marked++;
  }
}

static void mark_atom_for_copy(copy_marking *marking, const char *atom, size_t length,
                               bool starred)
{
  marking->live_length = starred ? static_cast<int>(length) : -1;
  visit_switches_named(atom, length, starred, mark_for_copy, marking);
}

// The end of a copy-form condition: the marked switches in table order.
static void emit_marked_switches(const copy_marking &marking)
{
  for (int i = 0; i < saved_switches.switch_count && marking.marked > 0; i++)
    if (saved_switches.switches[i].copy_mark) {
      saved_switches.switches[i].copy_mark = 0;
      emit_switch(i, false);
    }
}

static bool text_is(const char *text, const char *atom, size_t length)
{
  return strlen(text) == length && memcmp(text, atom, length) == 0;
}

// Whether a test-form atom holds, before its '!'.
static bool atom_holds(builtin_alternative_kind kind, const char *atom, size_t length,
                       bool starred)
{
  switch (kind) {
  case ALT_SUFFIX:
    return text_is(current_input.current_input_suffix, atom, length);
  case ALT_LANGUAGE:
    return current_input.current_compiler &&
           text_is(current_input.current_compiler->suffix + 1, atom, length);
  default:
    return any_switch_matches(atom, length, starred);
  }
}

// Whether an alternative of a built-in condition holds; a call's result is
// CALL_RESULT.
static bool alternative_holds(const builtin_alternative &a, const char *atom, bool call_result)
{
  auto kind = static_cast<builtin_alternative_kind>(a.kind);
  if (kind == ALT_OTHERWISE)
    return true;
  bool result = kind == ALT_FUNCTION ? call_result
                                     : atom_holds(kind, atom, a.length, a.flags & ALT_STARRED);
  return result != ((a.flags & ALT_NEGATED) != 0);
}

// A copy-form condition read at build time. Not inlined, as the test form
// is not: most conditions leave handle_condition at once, and its frame
// stays light.
__attribute__((noinline)) static const char *copy_builtin_condition(const builtin_condition &c)
{
  copy_marking marking = {-1, 0};
  const builtin_alternative *a = builtin_alternatives + c.first;
  for (const builtin_alternative *end = a + c.count; a < end; a++)
    mark_atom_for_copy(&marking, builtin_spec_chars + a->atom, a->length, a->flags & ALT_STARRED);
  emit_marked_switches(marking);
  return builtin_spec_chars + c.end;
}

// A test-form condition read at build time: the steps of reading it, without
// the reading. Null when a call or an expansion failed.
__attribute__((noinline)) static const char *test_builtin_condition(const builtin_condition &c)
{
  bool matched = false, earlier_choice_matched = false;
  const char *matched_atom = "";
  size_t matched_length = 0;
  const builtin_alternative *a = builtin_alternatives + c.first;
  for (const builtin_alternative *end = a + c.count; a < end; a++) {
    const char *atom = builtin_spec_chars + a->atom;
    auto kind = static_cast<builtin_alternative_kind>(a->kind);
    bool call_result = false;
    // A call runs whether or not its result counts.
    if (kind == ALT_FUNCTION) {
      const char *after = call_spec_function(atom, &call_result, nullptr);
      if (!after)
        return nullptr;
      vuz_assert(after == atom + a->length);
    }
    if (!matched && !earlier_choice_matched && alternative_holds(*a, atom, call_result)) {
      matched = true;
      if (kind != ALT_FUNCTION && kind != ALT_OTHERWISE) {
        matched_atom = atom;
        matched_length = a->length;
      }
    }
    if (!(a->flags & ALT_ENDS_CHOICE))
      continue;
    if (matched && !earlier_choice_matched &&
        !expand_body(builtin_spec_chars + a->copy, matched_atom, matched_length,
                     a->flags & ALT_OWN_STAR))
      return nullptr;
    earlier_choice_matched = earlier_choice_matched || matched;
    matched = false;
    matched_atom = "";
    matched_length = 0;
  }
  return builtin_spec_chars + c.end;
}

// The body of "%{!a:x}" when no switch is like the atom: what the test
// form would take.
__attribute__((noinline)) static const char *take_unless_body(const builtin_condition &c)
{
  const builtin_alternative &a = builtin_alternatives[c.first];
  if (!expand_body(builtin_spec_chars + a.copy, builtin_spec_chars + a.atom, a.length,
                   a.flags & ALT_OWN_STAR))
    return nullptr;
  return builtin_spec_chars + c.end;
}

const char *handle_condition(const char *p, const char *)
{
  const builtin_condition *known = builtin_record_at(p, builtin_conditions,
                                                     builtin_condition_count,
                                                     builtin_condition_buckets,
                                                     BUILTIN_CONDITION_BUCKET_BITS);
  if (known) {
    // When no switch begins like any atom, a condition takes nothing, and
    // "%{!a:x}" its body.
    if ((known->byte_marks | known->pair_marks) != 0 &&
        !some_switch_has_mark(known->byte_marks, known->pair_marks))
      return known->form == CONDITION_UNLESS ? take_unless_body(*known)
                                             : builtin_spec_chars + known->end;
    return known->form == CONDITION_COPY ? copy_builtin_condition(*known)
                                         : test_builtin_condition(*known);
  }
  return handle_condition_by_reading(p);
}

// One atom of a condition as read: its test and its text, which lies in the
// spec or, when it had escapes, in copy.
struct condition_atom {
  const char *text;
  size_t length;
  char *copy;
  bool negated;
  bool suffix_test;
  bool language_test;
  bool function_atom;
  bool function_result;
  bool starred;
};

// The state of one condition being read.
struct condition_state {
  const char *condition_text;
  copy_marking marking = {-1, 0};
  bool ordered_seen = false;
  bool choice_seen = false;
  bool alternative_matched = false;
  bool choice_all_starred = true;
  bool more_choices = false;
  bool earlier_choice_matched = false;
  bool otherwise_seen = false;
  // The atom that made the current choice match; owned when it had escapes.
  const char *matched_atom = nullptr;
  char *matched_copy = nullptr;
  size_t matched_length = 0;
};

[[noreturn]] static void invalid_at(const condition_state &c, char separator)
{
  fatal_error(0, "braced spec %qs is invalid at %qc", c.condition_text, separator);
}

// Escaped characters join the atom without their backslash.
static const char *read_atom_text(const condition_state &c, const char *p, condition_atom *atom)
{
  bool escaped = false;
  const char *q = p;
  while (is_atom_char(*q) || *q == '\\') {
    if (*q == '\\') {
      if (!q[1])
        fatal_error(0, "braced spec %qs ends in escape", c.condition_text);
      escaped = true;
      q++;
    }
    q++;
  }
  atom->text = p;
  atom->length = static_cast<size_t>(q - p);
  if (escaped) {
    atom->copy = checked_new_array<char>(static_cast<uint64_t>(q - p) + 1);
    size_t n = 0;
    for (const char *r = p; r < q; r++) {
      if (*r == '\\')
        r++;
      atom->copy[n++] = *r;
    }
    atom->copy[n] = '\0';
    atom->text = atom->copy;
    atom->length = n;
  }
  return q;
}

// Reads "!", a call or ".", "," and the text, and "*"; null when a call
// failed.
static const char *read_atom(const condition_state &c, const char *p, condition_atom *atom)
{
  *atom = condition_atom();
  p = skip_blanks(p);
  if (*p == '!') {
    atom->negated = true;
    p = skip_blanks(p + 1);
  }
  atom->text = p;
  if (p[0] == '%' && p[1] == ':') {
    atom->function_atom = true;
    return call_spec_function(p + 2, &atom->function_result, nullptr);
  }
  if (*p == '.') {
    atom->suffix_test = true;
    p++;
  } else if (*p == ',') {
    atom->language_test = true;
    p++;
  }
  p = read_atom_text(c, p, atom);
  if (*p == '*') {
    atom->starred = true;
    p++;
  }
  return p;
}

static bool atom_is_empty(const condition_atom &atom)
{
  return !atom.function_atom && atom.length == 0;
}

// "a&b}": the atom's switches are marked, to be copied in table order.
static void add_copy_term(condition_state *c, condition_atom *atom, char separator)
{
  if (c->choice_seen || c->more_choices || atom->negated || atom->suffix_test ||
      atom->language_test || atom_is_empty(*atom) || atom->function_atom)
    invalid_at(*c, separator);
  c->ordered_seen = true;
  mark_atom_for_copy(&c->marking, atom->text, atom->length, atom->starred);
}

// The empty atom of a later choice: "otherwise".
static void take_otherwise(condition_state *c, const condition_atom &atom, char separator)
{
  if (!c->more_choices || separator != ':' || atom.negated || atom.suffix_test ||
      atom.language_test || atom.starred || c->alternative_matched)
    invalid_at(*c, separator);
  c->otherwise_seen = true;
  c->choice_all_starred = false;
  c->alternative_matched = !c->earlier_choice_matched;
}

static bool atom_result(const condition_atom &atom)
{
  if (atom.function_atom)
    return atom.function_result;
  return atom_holds(atom.suffix_test     ? ALT_SUFFIX
                    : atom.language_test ? ALT_LANGUAGE
                                         : ALT_SWITCH,
                    atom.text, atom.length, atom.starred);
}

// "a|b:": once a choice has matched, later alternatives are not tested.
static void add_test_term(condition_state *c, condition_atom *atom, char separator)
{
  if (c->ordered_seen || c->otherwise_seen)
    invalid_at(*c, separator);
  c->choice_seen = true;
  if (atom_is_empty(*atom)) {
    take_otherwise(c, *atom, separator);
    return;
  }
  if ((atom->suffix_test || atom->language_test) && atom->starred)
    invalid_at(*c, separator);
  if (!atom->starred)
    c->choice_all_starred = false;
  if (c->alternative_matched || c->earlier_choice_matched || atom_result(*atom) == atom->negated)
    return;
  c->alternative_matched = true;
  if (atom->function_atom)
    return;
  free(c->matched_copy);
  c->matched_copy = atom->copy;
  atom->copy = nullptr;
  c->matched_atom = atom->text;
  c->matched_length = atom->length;
}

// After a ';': the next choice starts afresh.
static void begin_next_choice(condition_state *c)
{
  c->more_choices = true;
  c->earlier_choice_matched = c->earlier_choice_matched || c->alternative_matched;
  c->alternative_matched = false;
  free(c->matched_copy);
  c->matched_copy = nullptr;
  c->matched_atom = nullptr;
  c->matched_length = 0;
  c->choice_all_starred = true;
}

static bool is_separator(char c)
{
  return c == '&' || c == '}' || c == '|' || c == ':';
}

const char *handle_condition_by_reading(const char *p)
{
  condition_state c;
  c.condition_text = p;
  for (;;) {
    condition_atom atom;
    p = read_atom(c, p, &atom);
    if (!p)
      break;
    p = skip_blanks(p);
    char separator = *p++;
    if (!is_separator(separator))
      invalid_at(c, separator);
    if (separator == '&' || separator == '}') {
      add_copy_term(&c, &atom, separator);
      free(atom.copy);
      if (separator == '}') {
        emit_marked_switches(c.marking);
        return p;
      }
      continue;
    }
    add_test_term(&c, &atom, separator);
    free(atom.copy);
    if (separator == '|')
      continue;
    // ':' and a body, ended by '}' or by ';' and the next choice.
    const char *end;
    if (!take_body(p, &end, c.choice_all_starred,
                   c.alternative_matched && !c.earlier_choice_matched,
                   c.matched_atom ? c.matched_atom : "", c.matched_length))
      break;
    p = end + 1;
    if (*end == '}') {
      free(c.matched_copy);
      return p;
    }
    begin_next_choice(&c);
  }
  free(c.matched_copy);
  return nullptr;
}

// Marks as accepted every saved switch the atom names.
static void accept_known(int index, void *)
{
  if (saved_switches.switches[index].in_option_table)
    saved_switches.switches[index].accepted = 1;
}

static void accept_any(int index, void *)
{
  saved_switches.switches[index].accepted = 1;
}

static void accept_matching(const char *atom, size_t length, bool starred, bool user_spec)
{
  visit_switches_named(atom, length, starred, user_spec ? accept_any : accept_known, nullptr);
}

// The spec being scanned, and how deeply its conditions nest there: a spec
// file can nest them without end, which must end in an error, not in a
// stack overflow. Conditions too deep for the scan would be too deep for
// the interpreter too, had it to take them.
enum { MAX_VALIDATION_NESTING = 10000 };
struct validation_scan {
  const char *spec_name;
  int nesting;
};

static const char *scan_spec_switches(validation_scan *scan, const char *p, bool user_spec,
                                      bool braced);

static const char *validate_nested_switches(validation_scan *scan, const char *p, bool user_spec,
                                            bool braced)
{
  if (scan->nesting >= MAX_VALIDATION_NESTING)
    fatal_error(0, "spec %qs nests too deeply", scan->spec_name);
  scan->nesting++;
  p = scan_spec_switches(scan, p, user_spec, braced);
  scan->nesting--;
  return p;
}

static const char *scan_spec_switches(validation_scan *scan, const char *p, bool user_spec,
                                      bool braced)
{
  bool suffix_mode = false, starred = false;
  for (;;) {
    p = skip_blanks(p);
    if (*p == '!')
      p = skip_blanks(p + 1);
    if (*p == '.' || *p == ',') {
      suffix_mode = true;
      p++;
    }
    const char *atom = p;
    while (is_atom_char(*p))
      p++;
    size_t length = static_cast<size_t>(p - atom);
    if (*p == '*') {
      starred = true;
      p++;
    }
    p = skip_blanks(p);
    if (!suffix_mode)
      accept_matching(atom, length, starred, user_spec);
    if (!braced)
      return p;
    if (*p == '&' || *p == '|') {
      p++;
      continue;
    }
    if (*p == ':') {
      p++;
      while (*p && *p != ';' && *p != '}') {
        if (*p != '%') {
          p += strcspn(p, "%;}");
          continue;
        }
        p++;
        if (*p == '{' || ((*p == '@' || *p == 'W') && p[1] == '{')) {
          p = validate_nested_switches(scan, p + (*p == '{' ? 1 : 2), user_spec, true);
          continue;
        }
        if (*p == '<') {
          p = validate_nested_switches(scan, p + 1, user_spec, false);
          continue;
        }
        if (*p)
          p++;
      }
      if (*p == ';' && p[1]) {
        p++;
        continue;
      }
      if (*p == '}')
        p++;
      return p;
    }
    if (*p == '}')
      p++;
    return p;
  }
}

// A spec without a name of its own is named by its text.
const char *validate_spec_switches(const char *p, bool user_spec, bool braced)
{
  validation_scan scan = {p, 0};
  return scan_spec_switches(&scan, p, user_spec, braced);
}

// Scans one spec for every condition and removal it holds.
static void validate_spec_text(const char *name, const char *text, bool user_spec)
{
  if (!text)
    return;
  validation_scan scan = {name, 0};
  for (const char *p = text; (p = strchr(p, '%')) != nullptr;) {
    p++;
    if (*p == '{')
      p = scan_spec_switches(&scan, p + 1, user_spec, true);
    else if ((*p == '@' || *p == 'W') && p[1] == '{')
      p = scan_spec_switches(&scan, p + 2, user_spec, true);
    else if (*p == '<')
      p = scan_spec_switches(&scan, p + 1, user_spec, false);
    else if (*p)
      p++;
  }
}

void validate_switches_by_scanning()
{
  for (int i = 0; i < spec_tables.compiler_count && spec_tables.compilers[i].spec; i++)
    validate_spec_text(spec_tables.compilers[i].suffix, spec_tables.compilers[i].spec, false);
  for (named_spec *sp = spec_tables.specs; sp; sp = sp->next)
    validate_spec_text(sp->name, *sp->value_location, sp->user);
  validate_spec_text("link_command", spec_tables.link_command_spec, false);
}

// Whether validation would read exactly the built-in texts: the compiler
// table and the link command as built in, and every built-in named-spec text
// still a value, beside values without conditions. Spec files and the
// command line never put a built-in text back, as they copy what they set.
bool builtin_specs_in_use()
{
  if (spec_tables.link_command_spec != builtin_link_command_spec ||
      spec_tables.compiler_count != builtin_compiler_count)
    return false;
  for (int i = 0; i < spec_tables.compiler_count; i++)
    if (spec_tables.compilers[i].spec != builtin_compilers[i].spec)
      return false;
  int unchanged = 0;
  for (named_spec *sp = spec_tables.specs; sp; sp = sp->next) {
    const char *text = *sp->value_location;
    if (sp->user)
      return false;
    if (is_builtin_text(text))
      unchanged++;
    else if (text && strchr(text, '%'))
      return false;
  }
  return unchanged == builtin_named_text_count;
}

static unsigned first_byte(const char *text)
{
  return static_cast<unsigned char>(text[0]);
}

// Whether the built-in specs name TEXT exactly. Most names differ in the
// first byte: strcmp only where it is the same.
static bool builtin_specs_name_exactly(const char *text)
{
  int low = 0, high = builtin_named_switches_count;
  while (low < high) {
    int middle = low + (high - low) / 2;
    const char *name = builtin_named_switches[middle].text;
    int order = static_cast<int>(first_byte(name)) - static_cast<int>(first_byte(text));
    if (order == 0)
      order = strcmp(name, text);
    if (order == 0)
      return true;
    if (order < 0)
      low = middle + 1;
    else
      high = middle;
  }
  return false;
}

// Whether the built-in specs name a prefix of TEXT. Only the prefixes of
// the text's first byte can begin it, and they stand together in the sorted
// list, after the empty one if there is one.
static bool builtin_specs_name_prefix(const char *text)
{
  const switch_name *prefixes = builtin_named_prefixes;
  int count = builtin_named_prefixes_count;
  if (count > 0 && prefixes[0].length == 0)
    return true;
  int low = 0, high = count;
  while (low < high) {
    int middle = low + (high - low) / 2;
    if (first_byte(prefixes[middle].text) < first_byte(text))
      low = middle + 1;
    else
      high = middle;
  }
  for (int i = low; i < count && first_byte(prefixes[i].text) == first_byte(text); i++)
    if (switch_begins_with(text, prefixes[i].text, prefixes[i].length))
      return true;
  return false;
}

// Whether the built-in specs name TEXT in a condition or a removal.
static bool builtin_specs_name(const char *text)
{
  return builtin_specs_name_exactly(text) || builtin_specs_name_prefix(text);
}

void validate_all_switches()
{
  if (!builtin_specs_in_use()) {
    validate_switches_by_scanning();
    return;
  }
  // What the scan of the built-in texts accepts, known since the build.
  for (int i = 0; i < saved_switches.switch_count; i++) {
    switch_entry &sw = saved_switches.switches[i];
    if (sw.in_option_table && builtin_specs_name(sw.text))
      sw.accepted = 1;
  }
}
