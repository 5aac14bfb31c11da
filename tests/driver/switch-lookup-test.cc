// Switch tests of spec atoms over tables short and long (the long ones are
// searched through the index), against the walk the rules describe.
#include "diagnostics/diagnostic.h"
#include "driver/specs.h"
#include "options/option-decode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Options : testing::Environment {
  void SetUp() override
  {
    init_option_obstack();
    diagnostic_state_init(&global_diagnostic_state, option_count);
    obstack_init_pool(&spec_expansion.spec_obstack);
    obstack_init_pool(&spec_expansion.collect_obstack);
  }
};
testing::Environment *const options_ready = testing::AddGlobalTestEnvironment(new Options);

// The rules as written, over a copy of the table.
struct model_switch {
  std::string text;
  std::vector<std::string> arguments;
  uint32_t liveness;
  bool in_option_table;
  bool accepted;
};

struct model {
  std::vector<model_switch> table;

  bool live(size_t index, int length)
  {
    model_switch &sw = table[index];
    if (sw.liveness)
      return (sw.liveness & 3) == SW_LIVE && !(sw.liveness & SW_REMOVED_FOR_GOOD);
    if (length == 0 || length == 1)
      return true;
    char letter = sw.text[0];
    bool cancelled = false;
    if (letter == 'W' || letter == 'f' || letter == 'g' || letter == 'm') {
      std::string opposite = sw.text.compare(1, 3, "no-") == 0
                                 ? letter + sw.text.substr(4)
                                 : letter + std::string("no-") + sw.text.substr(1);
      for (size_t j = index + 1; j < table.size(); j++)
        cancelled = cancelled || table[j].text == opposite;
    } else if (letter == 'O') {
      for (size_t j = index + 1; j < table.size(); j++)
        cancelled = cancelled || table[j].text[0] == 'O';
    }
    sw.liveness = cancelled ? SW_DEAD : SW_LIVE;
    if (cancelled && (letter == 'O' || sw.in_option_table))
      sw.accepted = true;
    return !cancelled;
  }

  std::vector<int> named(const std::string &atom, bool starred)
  {
    std::vector<int> out;
    for (size_t i = 0; i < table.size(); i++)
      if (table[i].text.compare(0, atom.size(), atom) == 0 &&
          (starred || table[i].text.size() == atom.size()))
        out.push_back(static_cast<int>(i));
    return out;
  }

  bool any(const std::string &atom, bool starred)
  {
    size_t n = atom.size();
    for (size_t i = 0; i < table.size(); i++) {
      const model_switch &sw = table[i];
      if (sw.text.compare(0, n, atom) == 0 && (starred || sw.text.size() == n) &&
          live(i, starred ? static_cast<int>(n) : -1))
        return true;
      if (!sw.arguments.empty() && n > 0 && (sw.text[0] == 'D' || sw.text[0] == 'U') &&
          sw.text[0] == atom[0] && sw.arguments[0].compare(0, n - 1, atom, 1, n - 1) == 0) {
        if (starred ? live(i, 1)
                    : sw.text.size() == 1 && sw.arguments[0].size() == n - 1 && live(i, -1))
          return true;
      }
    }
    return false;
  }
};

// Texts chosen so that forms cancel each other, levels repeat and macros
// come as one word or two.
// Texts and atoms that share first bytes and differ in the second or in
// length, and texts past the longest length kept apart.
#define LONG_TEXT "Wl,--a-linker-option-long-enough-to-pass-the-longest-length-kept-"
const char *const pool[] = {"fpic", "fno-pic", "fPIC", "Wall", "Wno-all", "Wextra", "g", "g0",
                            "gno-x", "mthumb", "mno-thumb", "O2", "O0", "Os", "c", "o", "v",
                            "DFOO", "UFOO", "D", "U", "I", "static", "shared", "f", "W", "m",
                            "mtls-dialect=kav", "march=armv7-a", "marm", LONG_TEXT "apart",
                            LONG_TEXT "a"};
const char *const macros[] = {"FOO", "BAR", "FO", "X"};
const char *const atoms[] = {"fpic", "fno-pic", "fp", "Wall", "W", "g", "g0", "mthumb", "m",
                             "O", "O2", "c", "o", "D", "DFOO", "DFO", "DX", "U", "UFOO", "I",
                             "st", "static", "", "f", "x", "Wno-all", "gno-x", "mtls-dialect=",
                             "march=armv7-a", "marm", "ma", "mt", "ml", LONG_TEXT "apart",
                             LONG_TEXT "a", LONG_TEXT, "Wl,"};

TEST(SwitchLookup, AtomsAgreeWithTheRulesOverShortAndLongTables)
{
  std::mt19937 random(2026);
  for (int round = 0; round < 300; round++) {
    // Short tables are read through, long ones go through the index.
    size_t size = round % 2 ? 1 + random() % 12 : 17 + random() % 60;
    std::vector<std::string> texts;
    model m;
    saved_switches.switch_count = 0;
    for (size_t i = 0; i < size; i++) {
      std::string text = std::string("-") + pool[random() % (sizeof pool / sizeof *pool)];
      texts.push_back(text);
    }
    std::vector<std::vector<const char *>> further(size);
    for (size_t i = 0; i < size; i++) {
      const char *t = texts[i].c_str() + 1;
      if ((strcmp(t, "D") == 0 || strcmp(t, "U") == 0 || strcmp(t, "I") == 0) || random() % 8 == 0)
        further[i].push_back(macros[random() % (sizeof macros / sizeof *macros)]);
      bool in_table = random() % 4 != 0;
      record_switch(texts[i].c_str(), static_cast<int>(further[i].size()), further[i].data(),
                    false, in_table);
      m.table.push_back({t, {further[i].begin(), further[i].end()}, 0, in_table, false});
    }
    terminate_switch_table();
    // Some switches removed for good, as self specs leave them.
    for (size_t i = 0; i < size; i++)
      if (random() % 10 == 0) {
        saved_switches.switches[i].liveness = SW_LIVE | SW_REMOVED | SW_REMOVED_FOR_GOOD;
        m.table[i].liveness = saved_switches.switches[i].liveness;
      }
    for (int query = 0; query < 40; query++) {
      std::string atom = atoms[random() % (sizeof atoms / sizeof *atoms)];
      bool starred = random() % 2;
      std::vector<int> visited;
      visit_switches_named(
          atom.c_str(), atom.size(), starred,
          [](int index, void *data) { static_cast<std::vector<int> *>(data)->push_back(index); },
          &visited);
      ASSERT_EQ(visited, m.named(atom, starred))
          << "round " << round << " atom " << atom << (starred ? "*" : "");
      ASSERT_EQ(any_switch_matches(atom.c_str(), atom.size(), starred), m.any(atom, starred))
          << "round " << round << " atom " << atom << (starred ? "*" : "");
      if (query % 10 == 9) {
        // A removal marks what the atom names, whether live or not.
        std::string removal = "%<" + atom + (starred ? "*" : "");
        begin_spec_expansion();
        ASSERT_EQ(do_spec_1(removal.c_str(), false, nullptr), 0);
        for (int index : visited) {
          m.table[static_cast<size_t>(index)].liveness |= SW_REMOVED;
          if (m.table[static_cast<size_t>(index)].in_option_table)
            m.table[static_cast<size_t>(index)].accepted = true;
        }
      }
      if (query % 8 == 0) {
        bool exists = false;
        for (size_t i = 0; i < size && !exists; i++)
          exists = m.table[i].text == atom && m.live(i, -1);
        ASSERT_EQ(live_switch_exists(atom.c_str()), exists) << atom;
      }
    }
    for (size_t i = 0; i < size; i++) {
      EXPECT_EQ(saved_switches.switches[i].liveness, m.table[i].liveness)
          << round << " " << texts[i];
      EXPECT_EQ(saved_switches.switches[i].accepted != 0, m.table[i].accepted)
          << round << " " << texts[i];
    }
  }
}

// The index follows the table: a switch added after a lookup, and a table
// swapped in whole, are both seen.
TEST(SwitchLookup, TheIndexFollowsTheTable)
{
  saved_switches.switch_count = 0;
  std::vector<std::string> texts;
  for (int i = 0; i < 40; i++)
    texts.push_back("-Wfiller" + std::to_string(i));
  for (const std::string &t : texts)
    record_switch(t.c_str(), 0, nullptr, false, true);
  EXPECT_FALSE(any_switch_matches("fpic", 4, false));
  record_switch("-fpic", 0, nullptr, false, true);
  EXPECT_TRUE(any_switch_matches("fpic", 4, false));

  switch_entry *first = saved_switches.switches;
  int first_count = saved_switches.switch_count;
  switch_entry *other = static_cast<switch_entry *>(calloc(64, sizeof(switch_entry)));
  memcpy(other, first, static_cast<size_t>(first_count) * sizeof(switch_entry));
  other[first_count - 1].text = "fno-pic";
  saved_switches.switches = other;
  EXPECT_FALSE(any_switch_matches("fpic", 4, false));
  EXPECT_TRUE(any_switch_matches("fno-pic", 7, false));
  saved_switches.switches = first;
  EXPECT_TRUE(any_switch_matches("fpic", 4, false));
  free(other);
}

// Copy-form conditions over a long table: only the switches an atom names,
// copied in command-line order, a cancelled one left out.
TEST(SwitchLookup, CopyFormOverALongTableKeepsCommandLineOrder)
{
  saved_switches.switch_count = 0;
  std::vector<std::string> texts;
  for (int i = 0; i < 30; i++)
    texts.push_back("-Wfill" + std::to_string(i));
  texts.insert(texts.begin() + 3, "-Ia");
  texts.insert(texts.begin() + 10, "-DX");
  texts.insert(texts.begin() + 20, "-Ib");
  texts.insert(texts.begin() + 21, "-fpic");
  texts.push_back("-fno-pic");
  for (const std::string &t : texts)
    record_switch(t.c_str(), 0, nullptr, false, true);
  terminate_switch_table();
  begin_spec_expansion();
  ASSERT_EQ(do_spec_1("%{I*&D*} %{fpic} %{Wfill2*}", false, nullptr), 0);
  finish_word();
  std::vector<std::string> words;
  for (uint32_t i = 0; i < vec_length(spec_expansion.argbuf); i++)
    words.push_back((*spec_expansion.argbuf)[i]);
  EXPECT_EQ(words, (std::vector<std::string>{"-Ia", "-DX", "-Ib", "-Wfill2", "-Wfill20",
                                             "-Wfill21", "-Wfill22", "-Wfill23", "-Wfill24",
                                             "-Wfill25", "-Wfill26", "-Wfill27", "-Wfill28",
                                             "-Wfill29"}));
}

}  // namespace
