// Temporary names of the spec language (%g, %u, %U, %j, %m, %|), the lists of
// files to delete, and the response files written for child programs.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "support/alloc.h"
#include "support/argv.h"
#include "support/char-class.h"
#include "support/concat.h"
#include "support/file-names.h"
#include "support/hash-table.h"
#include "support/internal-abort.h"
#include "support/temp-files.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

struct temp_name_memo {
  char *suffix;
  uint32_t suffix_length;
  uint32_t unique;
  char *file_name;
  uint32_t file_name_length;
  temp_name_memo *next;
};

temp_file_state temp_files;

// Names compared as paths, as the walk of a short list compares them.
struct temp_name_traits : pointer_hash_traits<const char *> {
  static hashval_t hash(const char *name) { return path_hash(name); }
  static bool equal(const char *a, const char *b) { return path_compare(a, b) == 0; }
};

struct temp_name_set : hash_set<const char *, temp_name_traits> {
  using hash_set::hash_set;
};

// Below this a walk of the list costs less than keeping an index.
enum { INDEXED_TEMP_LIST_LENGTH = 32 };

static temp_list_index *index_of(temp_file_node **list)
{
  if (list == &temp_files.always_delete_list)
    return &temp_files.always_delete_index;
  // Only the two deletion lists have an index.
  vuz_assert(list == &temp_files.failure_delete_list);
  return &temp_files.failure_delete_index;
}

static bool listed(temp_file_node **list, const char *name)
{
  temp_list_index *index = index_of(list);
  if (index->names)
    return index->names->contains(name);
  for (temp_file_node *node = *list; node; node = node->next)
    if (path_compare(node->name, name) == 0)
      return true;
  return false;
}

static void index_new_node(temp_file_node **list)
{
  temp_list_index *index = index_of(list);
  index->length++;
  if (index->names) {
    index->names->add((*list)->name);
    return;
  }
  if (index->length < INDEXED_TEMP_LIST_LENGTH)
    return;
  index->names = new temp_name_set(2 * index->length);
  for (temp_file_node *node = *list; node; node = node->next)
    index->names->add(node->name);
}

static void drop_index(temp_file_node **list)
{
  temp_list_index *index = index_of(list);
  delete index->names;
  *index = temp_list_index();
}

// Nodes are linked only once complete: the fatal-signal handler walks the lists.
static void push_temp(temp_file_node **list, const char *name)
{
  arm_fatal_signal_handlers();
  temp_file_node *node = checked_new_array<temp_file_node>(1);
  node->name = checked_strdup(name);
  node->next = *list;
  __atomic_store_n(list, node, __ATOMIC_RELEASE);
  index_new_node(list);
}

void release_temp_list(temp_file_node **list)
{
  drop_index(list);
  temp_file_node *node = *list;
  // Detached before it is freed: the fatal-signal handler walks the lists.
  __atomic_store_n(list, nullptr, __ATOMIC_RELEASE);
  while (node) {
    temp_file_node *next = node->next;
    free(node->name);
    free(node);
    node = next;
  }
}

void reset_temp_names()
{
  delete_temp_list(temp_files.always_delete_list);
  release_temp_list(&temp_files.always_delete_list);
  release_temp_list(&temp_files.failure_delete_list);
  for (temp_name_memo *entry = temp_files.temp_names, *next; entry; entry = next) {
    next = entry->next;
    free(entry->suffix);
    free(entry->file_name);
    free(entry);
  }
  temp_files = temp_file_state();
}

void register_temp_file(const char *name, bool delete_always, bool delete_on_failure)
{
  if (delete_always && !listed(&temp_files.always_delete_list, name))
    push_temp(&temp_files.always_delete_list, name);
  if (delete_on_failure && !listed(&temp_files.failure_delete_list, name))
    push_temp(&temp_files.failure_delete_list, name);
}

// Takes a name off the always-delete list, for a temporary that turned
// out to be worth keeping.
void keep_temp_file(const char *name)
{
  for (temp_file_node **link = &temp_files.always_delete_list; *link; link = &(*link)->next) {
    temp_file_node *node = *link;
    if (path_compare(node->name, name) != 0)
      continue;
    // Unlinked before it is freed: the fatal-signal handler walks the list.
    __atomic_store_n(link, node->next, __ATOMIC_RELEASE);
    temp_list_index *index = index_of(&temp_files.always_delete_list);
    index->length--;
    if (index->names)
      index->names->remove(node->name);
    free(node->name);
    free(node);
    return;
  }
}

// Whether the would-be name is the current input itself.
static bool names_current_input(const char *name)
{
  if (strcmp(name, current_input.current_input_name ? current_input.current_input_name : "") == 0)
    return true;
  if (current_input.current_input_stat_state == 0)
    current_input.current_input_stat_state =
        stat(current_input.current_input_name, &current_input.current_input_stat) == 0 ? 1 : -1;
  if (current_input.current_input_stat_state < 0)
    return false;
  struct stat st;
  return stat(name, &st) == 0 && st.st_dev == current_input.current_input_stat.st_dev &&
         st.st_ino == current_input.current_input_stat.st_ino;
}

const char *make_temp_name(char code, const char *p, const char *whole_spec)
{
  const char *start = p;
  while (*p == '.' || c_isalnum(static_cast<unsigned char>(*p)))
    p++;
  size_t length = static_cast<size_t>(p - start);
  bool object_suffix = false;
  if (p[0] == '%' && p[1] == 'O') {
    object_suffix = true;
    p += 2;
    if (*p == '.' || c_isalnum(static_cast<unsigned char>(*p)))
      fatal_error(0, "spec %qs has invalid %<%%0%c%>", whole_spec, *p);
  }
  // With pipes, %m adds nothing and %| is standard output.
  if (code == 'm' && command.pipes_requested)
    return p;
  if (code == '|' && command.pipes_requested) {
    word_add_char('-');
    spec_words.word_delete = 0;
    return p;
  }
  if (code == 'j' && command.save_temps_mode == SAVE_TEMPS_OFF) {
    struct stat st;
    if (stat("/dev/null", &st) == 0 && !S_ISDIR(st.st_mode) && access("/dev/null", W_OK) == 0) {
      word_add_text("/dev/null");
      return p;
    }
  }
  // The suffix in one piece: ".gk" in a second compare-debug run, the text
  // of the spec, ".o" for %O.
  size_t marker_length = command.compare_debug_mode < 0 ? 3 : 0;
  size_t suffix_length = marker_length + length + (object_suffix ? 2 : 0);
  char *suffix = static_cast<char *>(checked_malloc(suffix_length + 1));
  memcpy(suffix, ".gk", marker_length);
  memcpy(suffix + marker_length, start, length);
  memcpy(suffix + marker_length + length, ".o", object_suffix ? 2 : 0);
  suffix[suffix_length] = '\0';

  if (command.save_temps_mode) {
    const char *base = command.aux_base;
    size_t base_length = command.aux_base ? static_cast<size_t>(command.aux_base_length) : 0;
    if (!base && current_input.current_input_base) {
      base = current_input.current_input_base;
      base_length = static_cast<size_t>(current_input.current_base_length);
    }
    const char *suffix_text = suffix;
    if (suffix_length && !base_length && !command.aux_base && !command.dump_dir_dash_appended)
      suffix_text++;
    obstack_append(&spec_expansion.collect_obstack, command.dump_dir ? command.dump_dir : "",
                   command.dump_dir ? command.dump_dir_length : 0);
    if (base)
      obstack_append(&spec_expansion.collect_obstack, base, base_length);
    obstack_append_text(&spec_expansion.collect_obstack, suffix_text);
    obstack_append_byte(&spec_expansion.collect_obstack, '\0');
    char *name = static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
    if (!names_current_input(name)) {
      temp_files.last_temp_name = name;
      word_add_text(name);
      // The user asked to keep this file: a %d before it in the spec
      // marks a temporary, which this no longer is.
      spec_words.word_delete = 0;
      free(suffix);
      return p;
    }
  }

  uint32_t unique = (code == 'u' || code == 'U' || code == 'j') ? 1 : 0;
  temp_name_memo *entry = temp_files.temp_names;
  while (entry && !(entry->unique == unique && entry->suffix_length == suffix_length &&
                    strcmp(entry->suffix, suffix) == 0))
    entry = entry->next;
  if (!entry) {
    entry = checked_new_cleared<temp_name_memo>();
    entry->suffix = suffix;
    entry->suffix_length = static_cast<uint32_t>(suffix_length);
    entry->unique = unique;
    entry->next = temp_files.temp_names;
    temp_files.temp_names = entry;
  } else {
    free(suffix);
  }
  if (!entry->file_name || code == 'u' || code == 'j') {
    free(entry->file_name);
    entry->file_name = temp_file_make(entry->suffix);
    entry->file_name_length = static_cast<uint32_t>(strlen(entry->file_name));
    // Listed at once: should the next temporary fail, the run ends before
    // this name is stored as a word.
    register_temp_file(entry->file_name, true, false);
  }
  temp_files.last_temp_name = entry->file_name;
  word_add_text(entry->file_name);
  spec_words.word_delete = 1;
  return p;
}

void open_response_file(const char *)
{
  if (spec_words.in_response_file)
    fatal_error(0, "cannot open nested response file");
  spec_words.in_response_file = true;
}

void close_response_file()
{
  if (!spec_words.in_response_file)
    fatal_error(0, "cannot close nonexistent response file");
  spec_words.in_response_file = false;
  if (vec_empty(spec_words.response_argbuf))
    return;
  char *name;
  if (command.save_temps_mode) {
    const char *base = (command.dump_base && *command.dump_base) ? command.dump_base
                       : (command.dump_dir && *command.dump_dir) ? command.dump_dir
                                                                 : "a";
    bool from_dump_dir = base == command.dump_dir;
    name = format_alloc("%s%sargs.%d", base,
                        from_dump_dir && command.dump_dir_dash_appended ? "" : ".",
                        temp_files.response_file_counter++);
  } else {
    name = temp_file_make("");
    register_temp_file(name, true, true);
  }
  FILE *f = fopen(name, "w");
  if (!f)
    fatal_error(0, "could not open temporary response file %s", name);
  vec_safe_push(spec_words.response_argbuf, static_cast<const char *>(nullptr));
  int failed = argv_write_quoted(spec_words.response_argbuf->address(), f);
  if (failed)
    fatal_error(0, "could not write to temporary response file %s", name);
  if (fclose(f) != 0)
    fatal_error(0, "could not close temporary response file %s", name);
  vec_truncate(spec_words.response_argbuf, 0);
  obstack_append_byte(&spec_expansion.collect_obstack, '@');
  obstack_append_text(&spec_expansion.collect_obstack, name);
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  store_word(static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack)), false,
             false);
  free(name);
}
