// The switch table: every command-line option the driver keeps for specs to
// test, copy and export, with the liveness rule for switches cancelled later.
#include "driver/specs.h"

#include "options/option-decode.h"
#include "support/alloc.h"
#include "support/concat.h"
#include "support/sort.h"

#include <cstdint>
#include <cstring>

switch_table saved_switches;

switch_lookup_state switch_lookup;

void record_switch(const char *text, int further_count, const char *const *further,
                   bool accepted, bool in_option_table)
{
  // Room for the entry and the zeroed terminator kept after the last one.
  if (saved_switches.switch_count + 1 >= saved_switches.switch_capacity) {
    saved_switches.switch_capacity =
        saved_switches.switch_capacity ? saved_switches.switch_capacity * 2 : 16;
    saved_switches.switches = static_cast<switch_entry *>(checked_realloc(
        saved_switches.switches,
        static_cast<uint64_t>(saved_switches.switch_capacity) * sizeof(switch_entry)));
  }
  switch_lookup.switch_table_generation++;
  switch_entry &sw = saved_switches.switches[saved_switches.switch_count++];
  sw.text = text + 1;
  sw.arguments = nullptr;
  if (further_count > 0) {
    // On the option obstack, as the words are: the compare-debug tables
    // share these arrays, and all of them go with the run.
    sw.arguments = static_cast<const char **>(obstack_new_object(
        &option_obstack, (static_cast<uint64_t>(further_count) + 1) * sizeof(char *)));
    for (int i = 0; i < further_count; i++)
      sw.arguments[i] = further[i];
    sw.arguments[further_count] = nullptr;
  }
  sw.liveness = 0;
  sw.in_option_table = in_option_table;
  sw.accepted = accepted;
  sw.copy_mark = 0;
  memset(&saved_switches.switches[saved_switches.switch_count], 0, sizeof(switch_entry));
}

void reset_switch_table()
{
  free(switch_lookup.index_of_switches.by_text);
  switch_lookup = switch_lookup_state();
  free(saved_switches.switches);
  saved_switches = switch_table();
}

void terminate_switch_table()
{
  if (saved_switches.switch_count + 1 > saved_switches.switch_capacity) {
    saved_switches.switch_capacity = saved_switches.switch_count + 1;
    saved_switches.switches = static_cast<switch_entry *>(checked_realloc(
        saved_switches.switches,
        static_cast<uint64_t>(saved_switches.switch_capacity) * sizeof(switch_entry)));
  }
  memset(&saved_switches.switches[saved_switches.switch_count], 0, sizeof(switch_entry));
}

static int compare_switch_texts(const void *a, const void *b)
{
  int order = strcmp(saved_switches.switches[*static_cast<const int *>(a)].text,
                     saved_switches.switches[*static_cast<const int *>(b)].text);
  if (order)
    return order;
  return *static_cast<const int *>(a) - *static_cast<const int *>(b);
}

static const switch_index *current_switch_index()
{
  switch_index &index = switch_lookup.index_of_switches;
  if (index.table == saved_switches.switches && index.count == saved_switches.switch_count &&
      index.generation == switch_lookup.switch_table_generation)
    return &index;
  if (saved_switches.switch_count > index.capacity) {
    index.capacity = saved_switches.switch_count;
    index.by_text = static_cast<int *>(checked_realloc(
        index.by_text, static_cast<uint64_t>(saved_switches.switch_count) * sizeof(int)));
  }
  for (int i = 0; i < saved_switches.switch_count; i++)
    index.by_text[i] = i;
  merge_sort(index.by_text, static_cast<size_t>(saved_switches.switch_count), sizeof(int),
             compare_switch_texts);
  index.table = saved_switches.switches;
  index.count = saved_switches.switch_count;
  index.generation = switch_lookup.switch_table_generation;
  return &index;
}

static unsigned switch_pair_hash(const char *text)
{
  return first_pair_hash(text) & ((1u << SWITCH_PAIR_HASH_BITS) - 1);
}

static void set_bit(uint64_t *bits, unsigned bit)
{
  bits[bit >> 6] |= uint64_t(1) << (bit & 63);
}

static bool bit_is_set(const uint64_t *bits, unsigned bit)
{
  return (bits[bit >> 6] >> (bit & 63)) & 1;
}

static unsigned length_bit(size_t length)
{
  return length < 63 ? static_cast<unsigned>(length) : 63;
}

// Apart from its one caller, which is then light enough to inline.
__attribute__((noinline)) static void remake_first_bytes()
{
  switch_first_bytes &f = switch_lookup.first_bytes_of_switches;
  f = switch_first_bytes();
  for (int i = 0; i < saved_switches.switch_count; i++) {
    set_bit(f.bits, static_cast<unsigned char>(saved_switches.switches[i].text[0]));
    set_bit(f.pairs, switch_pair_hash(saved_switches.switches[i].text));
    set_bit(&f.lengths, length_bit(strlen(saved_switches.switches[i].text)));
    f.byte_marks |= first_byte_mark(saved_switches.switches[i].text);
    f.pair_marks |= first_pair_mark(saved_switches.switches[i].text);
  }
  f.table = saved_switches.switches;
  f.count = saved_switches.switch_count;
  f.generation = switch_lookup.switch_table_generation;
}

static bool first_bytes_are_current()
{
  const switch_first_bytes &f = switch_lookup.first_bytes_of_switches;
  return f.table == saved_switches.switches && f.count == saved_switches.switch_count &&
         f.generation == switch_lookup.switch_table_generation;
}

// The questions of the first bytes that every condition asks make them
// again out of line, and ask again: they need no frame of their own.
__attribute__((noinline)) static bool has_mark_after_remaking(uint32_t byte_marks,
                                                              uint32_t pair_marks)
{
  remake_first_bytes();
  return some_switch_has_mark(byte_marks, pair_marks);
}

bool some_switch_has_mark(uint32_t byte_marks, uint32_t pair_marks)
{
  if (!first_bytes_are_current())
    return has_mark_after_remaking(byte_marks, pair_marks);
  const switch_first_bytes &f = switch_lookup.first_bytes_of_switches;
  return ((byte_marks & f.byte_marks) | (pair_marks & f.pair_marks)) != 0;
}

// Whether some switch may begin with the first LENGTH bytes of PREFIX (and
// be no longer, unless STARRED); with ONE_BYTE, the first byte alone counts.
// The first bytes are current.
static bool some_switch_may_begin_with(const char *prefix, size_t length, bool starred,
                                       bool one_byte)
{
  if (length == 0)
    return true;
  const switch_first_bytes &f = switch_lookup.first_bytes_of_switches;
  if (!bit_is_set(f.bits, static_cast<unsigned char>(prefix[0])))
    return false;
  if (one_byte)
    return true;
  unsigned shortest = length_bit(length);
  if (starred ? (f.lengths >> shortest) == 0 : !bit_is_set(&f.lengths, shortest))
    return false;
  return length == 1 || bit_is_set(f.pairs, switch_pair_hash(prefix));
}

// The switches whose text begins with the first LENGTH bytes of PREFIX (and
// is no longer, unless STARRED): a run of the index, in order of the texts.
struct switch_run {
  const int *numbers;
  int count;
};

static switch_run switches_named(const char *prefix, size_t length, bool starred)
{
  const switch_index *index = current_switch_index();
  int low = 0, high = index->count;
  while (low < high) {
    int middle = low + (high - low) / 2;
    if (strncmp(saved_switches.switches[index->by_text[middle]].text, prefix, length) < 0)
      low = middle + 1;
    else
      high = middle;
  }
  // A text equal to the prefix sorts before the longer ones that begin with it.
  int end = low;
  while (end < index->count) {
    const char *text = saved_switches.switches[index->by_text[end]].text;
    if (!switch_begins_with(text, prefix, length) || (!starred && text[length] != '\0'))
      break;
    end++;
  }
  return {index->by_text + low, end - low};
}

// A short table is read through faster than an index is made and searched.
enum { SHORT_SWITCH_TABLE = 16 };

// Switch numbers in table order: every switch of a short table (no list
// then), else those of a run of the index, on the stack when few.
struct table_order {
  int small[SHORT_SWITCH_TABLE];
  int *numbers;
  int count;
};

static void switches_in_table_order(table_order *order, const char *prefix, size_t length,
                                    bool starred)
{
  order->numbers = nullptr;
  order->count = saved_switches.switch_count;
  if (saved_switches.switch_count <= SHORT_SWITCH_TABLE)
    return;
  switch_run run = switches_named(prefix, length, starred);
  order->count = run.count;
  order->numbers = run.count <= SHORT_SWITCH_TABLE
                       ? order->small
                       : checked_new_array<int>(static_cast<uint64_t>(run.count));
  memcpy(order->numbers, run.numbers, static_cast<size_t>(run.count) * sizeof(int));
  merge_sort(order->numbers, static_cast<size_t>(run.count), sizeof(int),
             [](const void *a, const void *b) {
               return *static_cast<const int *>(a) - *static_cast<const int *>(b);
             });
}

static int switch_number(const table_order *order, int k)
{
  return order->numbers ? order->numbers[k] : k;
}

static void release_table_order(table_order *order)
{
  if (order->numbers && order->numbers != order->small)
    free(order->numbers);
}

static void mark_dead(switch_entry &sw, bool accept_always)
{
  sw.liveness = SW_DEAD;
  if (accept_always || sw.in_option_table)
    sw.accepted = 1;
}

// Whether TEXT is LETTER, then "no-" when NEGATED, then REST (or, with no
// REST, merely begins with LETTER).
static bool names_form(const char *text, char letter, bool negated, const char *rest)
{
  if (text[0] != letter)
    return false;
  if (!rest)
    return true;
  if (negated)
    return strncmp(text + 1, "no-", 3) == 0 && strcmp(text + 4, rest) == 0;
  return strcmp(text + 1, rest) == 0;
}

// Whether a switch after number INDEX has that form.
static bool later_switch_named(int index, char letter, bool negated, const char *rest)
{
  char small[64];
  char *text = small;
  size_t length = 1;
  if (rest && saved_switches.switch_count > SHORT_SWITCH_TABLE) {
    // The index is searched for the whole text.
    length = 1 + (negated ? 3 : 0) + strlen(rest);
    if (length >= sizeof small)
      text = static_cast<char *>(checked_malloc(length + 1));
    memcpy(text, negated ? "xno-" : "x", negated ? 4 : 1);
    strcpy(text + (negated ? 4 : 1), rest);
  }
  text[0] = letter;
  table_order order;
  switches_in_table_order(&order, text, length, !rest);
  bool found = false;
  for (int k = 0; k < order.count && !found; k++) {
    int number = switch_number(&order, k);
    found =
        number > index && names_form(saved_switches.switches[number].text, letter, negated, rest);
  }
  release_table_order(&order);
  if (text != small)
    free(text);
  return found;
}

bool switch_is_live(int index, int length)
{
  switch_entry &sw = saved_switches.switches[index];
  if (sw.liveness)
    return (sw.liveness & 3) == SW_LIVE && !(sw.liveness & SW_REMOVED_FOR_GOOD);
  if (length == 0 || length == 1)
    return true;
  const char *text = sw.text;
  char letter = text[0];
  if (letter == 'W' || letter == 'f' || letter == 'g' || letter == 'm') {
    // The opposite form: "-fno-x" cancels an earlier "-fx" and the reverse.
    bool negative = strncmp(text + 1, "no-", 3) == 0;
    if (later_switch_named(index, letter, !negative, negative ? text + 4 : text + 1)) {
      mark_dead(sw, false);
      return false;
    }
    sw.liveness = SW_LIVE;
    return true;
  }
  if (letter == 'O' && later_switch_named(index, 'O', false, nullptr)) {
    mark_dead(sw, true);
    return false;
  }
  sw.liveness = SW_LIVE;
  return true;
}

// One switch against an atom, as the table walk takes them.
static bool switch_matches(int i, const char *atom, size_t length, bool starred)
{
  const switch_entry &sw = saved_switches.switches[i];
  if (switch_begins_with(sw.text, atom, length) && (starred || sw.text[length] == '\0') &&
      switch_is_live(i, starred ? static_cast<int>(length) : -1))
    return true;
  // The separate forms of -D and -U: the macro is the first further word.
  if (sw.arguments && length > 0 && (sw.text[0] == 'D' || sw.text[0] == 'U') &&
      sw.text[0] == atom[0] && strncmp(sw.arguments[0], atom + 1, length - 1) == 0) {
    if (starred)
      return switch_is_live(i, 1);
    return sw.text[1] == '\0' && strlen(sw.arguments[0]) == length - 1 && switch_is_live(i, -1);
  }
  return false;
}

// Only the switches the atom can name, in table order: the first live one
// answers, and the liveness tests before it record what they find. Out of
// line, as most atoms are answered by their first bytes alone.
__attribute__((noinline)) static bool walk_switches_matching(const char *atom, size_t length,
                                                             bool starred, bool separate_forms)
{
  table_order order;
  if (separate_forms)
    switches_in_table_order(&order, atom, 1, true);
  else
    switches_in_table_order(&order, atom, length, starred);
  bool found = false;
  for (int k = 0; k < order.count && !found; k++)
    found = switch_matches(switch_number(&order, k), atom, length, starred);
  release_table_order(&order);
  return found;
}

__attribute__((noinline)) static bool matches_after_remaking(const char *atom, size_t length,
                                                             bool starred)
{
  remake_first_bytes();
  return any_switch_matches(atom, length, starred);
}

bool any_switch_matches(const char *atom, size_t length, bool starred)
{
  if (!first_bytes_are_current())
    return matches_after_remaking(atom, length, starred);
  // Every match shares the atom's first bytes; a separate form of -D or -U
  // only the first.
  bool separate_forms = length > 0 && (atom[0] == 'D' || atom[0] == 'U');
  return some_switch_may_begin_with(atom, length, starred, separate_forms) &&
         walk_switches_matching(atom, length, starred, separate_forms);
}

void visit_switches_named(const char *atom, size_t length, bool starred,
                          void (*visit)(int index, void *data), void *data)
{
  if (!first_bytes_are_current())
    remake_first_bytes();
  if (!some_switch_may_begin_with(atom, length, starred, false))
    return;
  table_order order;
  switches_in_table_order(&order, atom, length, starred);
  for (int k = 0; k < order.count; k++) {
    int number = switch_number(&order, k);
    const char *text = saved_switches.switches[number].text;
    if (switch_begins_with(text, atom, length) && (starred || text[length] == '\0'))
      visit(number, data);
  }
  release_table_order(&order);
}

bool live_switch_exists(const char *text)
{
  table_order order;
  switches_in_table_order(&order, text, strlen(text), false);
  bool found = false;
  for (int k = 0; k < order.count && !found; k++) {
    int number = switch_number(&order, k);
    found = strcmp(saved_switches.switches[number].text, text) == 0 && switch_is_live(number, -1);
  }
  release_table_order(&order);
  return found;
}
