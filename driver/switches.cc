// The switch table: every command-line option the driver keeps for specs to
// test, copy and export, with the liveness rule for switches cancelled later.
#include "driver/specs.h"

#include "options/option-decode.h"
#include "support/alloc.h"

#include <cstring>

switch_entry *switches;
int switch_count;
int switch_capacity;

void record_switch(const char *text, int further_count, const char *const *further,
                   bool accepted, bool in_option_table)
{
  // Room for the entry and the zeroed terminator kept after the last one.
  if (switch_count + 1 >= switch_capacity) {
    switch_capacity = switch_capacity ? switch_capacity * 2 : 16;
    switches = static_cast<switch_entry *>(
        checked_realloc(switches, static_cast<uint64_t>(switch_capacity) * sizeof(switch_entry)));
  }
  switch_entry &sw = switches[switch_count++];
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
  memset(&switches[switch_count], 0, sizeof(switch_entry));
}

void reset_switch_table()
{
  free(switches);
  switches = nullptr;
  switch_count = 0;
  switch_capacity = 0;
}

void terminate_switch_table()
{
  if (switch_count + 1 > switch_capacity) {
    switch_capacity = switch_count + 1;
    switches = static_cast<switch_entry *>(
        checked_realloc(switches, static_cast<uint64_t>(switch_capacity) * sizeof(switch_entry)));
  }
  memset(&switches[switch_count], 0, sizeof(switch_entry));
}

static void mark_dead(switch_entry &sw, bool accept_always)
{
  sw.liveness = SW_DEAD;
  if (accept_always || sw.in_option_table)
    sw.accepted = 1;
}

bool switch_is_live(int index, int length)
{
  switch_entry &sw = switches[index];
  if (sw.liveness)
    return (sw.liveness & 3) == SW_LIVE && !(sw.liveness & SW_REMOVED_FOR_GOOD);
  if (length == 0 || length == 1)
    return true;
  const char *text = sw.text;
  char letter = text[0];
  if (letter == 'W' || letter == 'f' || letter == 'g' || letter == 'm') {
    // The opposite form: "-fno-x" cancels an earlier "-fx" and the reverse.
    const char *rest;
    bool negative = strncmp(text + 1, "no-", 3) == 0;
    rest = negative ? text + 4 : text + 1;
    for (int j = index + 1; j < switch_count; j++) {
      const char *later = switches[j].text;
      if (later[0] != letter)
        continue;
      bool match = negative ? strcmp(later + 1, rest) == 0
                            : strncmp(later + 1, "no-", 3) == 0 && strcmp(later + 4, rest) == 0;
      if (match) {
        mark_dead(sw, false);
        return false;
      }
    }
    sw.liveness = SW_LIVE;
    return true;
  }
  if (letter == 'O') {
    for (int j = index + 1; j < switch_count; j++)
      if (switches[j].text[0] == 'O') {
        mark_dead(sw, true);
        return false;
      }
  }
  sw.liveness = SW_LIVE;
  return true;
}

bool any_switch_matches(const char *atom, size_t length, bool starred)
{
  for (int i = 0; i < switch_count; i++) {
    const switch_entry &sw = switches[i];
    if (switch_begins_with(sw.text, atom, length) && (starred || sw.text[length] == '\0') &&
        switch_is_live(i, starred ? static_cast<int>(length) : -1))
      return true;
    // The separate forms of -D and -U: the macro is the first further word.
    if (sw.arguments && length > 0 && (sw.text[0] == 'D' || sw.text[0] == 'U') &&
        sw.text[0] == atom[0] && strncmp(sw.arguments[0], atom + 1, length - 1) == 0) {
      if (starred) {
        if (switch_is_live(i, 1))
          return true;
      } else if (sw.text[1] == '\0' && strlen(sw.arguments[0]) == length - 1 &&
                 switch_is_live(i, -1)) {
        return true;
      }
    }
  }
  return false;
}

bool live_switch_exists(const char *text)
{
  for (int i = 0; i < switch_count; i++)
    if (strcmp(switches[i].text, text) == 0 && switch_is_live(i, -1))
      return true;
  return false;
}
