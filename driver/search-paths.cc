// Prefix lists, the walk over their candidate directories, program and file
// lookup, and the translation of install paths.
#include "driver/search-paths.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver.h"
#include "driver/env-manager.h"
#include "support/alloc.h"
#include "support/concat.h"

#include <cstring>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

search_path_list exec_prefixes = {nullptr, 0, "exec"};
search_path_list startfile_prefixes = {nullptr, 0, "startfile"};
search_path_list include_prefixes = {nullptr, 0, "include"};

char *install_prefix;

static const char *current_install_prefix()
{
  return install_prefix ? install_prefix : DRIVER_PREFIX;
}

void set_install_prefix(const char *text, size_t length)
{
  free(install_prefix);
  install_prefix = checked_strndup(text, length);
}

search_probe_state search_probes;

// An answer that does not fit the block is simply not kept.
struct probe_answer {
  const char *key;      // the program's name, or the directory's path
  size_t key_length;
  const char *program;  // find_program's answer, or null
  bool is_directory;    // names_directory's answer, for a directory key
  bool directory_key;
};
enum { MAX_PROBE_ANSWERS = 32, PROBE_TEXT_BYTES = 4096 };
struct probe_memo {
  probe_answer answers[MAX_PROBE_ANSWERS];
  char texts[PROBE_TEXT_BYTES];
};

void forget_probe_answers()
{
  search_probes.probe_answer_count = 0;
  search_probes.probe_text_used = 0;
}

static void release_probe_answers()
{
  forget_probe_answers();
  free(search_probes.probes);
  search_probes.probes = nullptr;
}

static const probe_answer *known_answer(const char *key, size_t length, bool directory_key)
{
  for (int i = 0; i < search_probes.probe_answer_count; i++) {
    const probe_answer &a = search_probes.probes->answers[i];
    if (a.key_length == length && a.directory_key == directory_key &&
        memcmp(a.key, key, length) == 0)
      return &a;
  }
  return nullptr;
}

static const char *keep_probe_text(const char *text, size_t length)
{
  size_t size = length + 1;
  if (size > PROBE_TEXT_BYTES - search_probes.probe_text_used)
    return nullptr;
  char *kept = search_probes.probes->texts + search_probes.probe_text_used;
  memcpy(kept, text, size);
  search_probes.probe_text_used += size;
  return kept;
}

static void keep_answer(const char *key, size_t length, bool directory_key, const char *program,
                        bool is_directory)
{
  if (search_probes.probe_answer_count == MAX_PROBE_ANSWERS)
    return;
  if (!search_probes.probes)
    search_probes.probes = static_cast<probe_memo *>(checked_malloc(sizeof(probe_memo)));
  size_t used = search_probes.probe_text_used;
  const char *kept_key = keep_probe_text(key, length);
  const char *kept_program = program ? keep_probe_text(program, strlen(program)) : nullptr;
  if (!kept_key || (program && !kept_program)) {
    search_probes.probe_text_used = used;
    return;
  }
  search_probes.probes->answers[search_probes.probe_answer_count++] = {
      kept_key, length, kept_program, is_directory, directory_key};
}

void release_search_path_list(search_path_list *list)
{
  for (search_path_entry *e = list->head, *next; e; e = next) {
    next = e->next;
    free(e->prefix);
    free(e);
  }
  list->head = nullptr;
  list->max_length = 0;
  list->last_inserted = nullptr;
}

void reset_search_paths()
{
  for (search_path_list *list : {&exec_prefixes, &startfile_prefixes, &include_prefixes})
    release_search_path_list(list);
  free(install_prefix);
  install_prefix = nullptr;
  hold_directory_probes(false);
  release_probe_answers();
  search_probes = search_probe_state();
}

void insert_search_prefix(search_path_list *list, const char *prefix, const char *key,
                          int priority, int suffix_rule, int uses_os_dir)
{
  forget_probe_answers();
  search_path_entry **link = &list->head;
  // Prefixes come in runs of one priority (every -B, every COMPILER_PATH
  // piece), each placed after the ones before it: the search starts after
  // the last one placed when it may, not at the head every time.
  if (list->last_inserted && list->last_inserted->priority <= priority)
    link = &list->last_inserted->next;
  while (*link && (*link)->priority <= priority)
    link = &(*link)->next;
  search_path_entry *entry = checked_new_cleared<search_path_entry>();
  entry->prefix = translate_install_path(prefix, key);
  entry->suffix_rule = suffix_rule;
  entry->priority = priority;
  entry->uses_os_dir = uses_os_dir;
  entry->next = *link;
  *link = entry;
  list->last_inserted = entry;
  entry->prefix_length = static_cast<uint32_t>(strlen(entry->prefix));
  if (entry->prefix_length > list->max_length)
    list->max_length = entry->prefix_length;
}

void insert_sysroot_prefix_below(search_path_list *list, const char *prefix, const char *key,
                                 const char *suffix)
{
  if (prefix[0] != '/')
    fatal_error(0, "system path %qs is not absolute", prefix);
  char *full = nullptr;
  if (driver_settings.sysroot) {
    size_t n = strlen(driver_settings.sysroot);
    if (n > 0 && driver_settings.sysroot[n - 1] == '/')
      n--;
    char *root = checked_strndup(driver_settings.sysroot, n);
    full = concat_strings(root, suffix ? suffix : "", prefix, nullptr);
    free(root);
    key = "VUZ";
  }
  insert_search_prefix(list, full ? full : prefix, key, 1, 0, 1);
  free(full);
}

void insert_sysroot_prefix(search_path_list *list, const char *prefix, const char *key)
{
  insert_sysroot_prefix_below(list, prefix, key, driver_settings.sysroot_suffix);
}

// A suffix of the walk with its length, which each attempt would otherwise
// measure again.
struct walk_suffix {
  const char *text;
  size_t length;
};

static walk_suffix suffix_of(const char *text)
{
  return {text, text ? strlen(text) : 0};
}

void *walk_search_paths(search_path_list *list, bool multilib_variants, size_t extra,
                        search_callback callback, void *data)
{
  char *owned[5] = {};
  const char *multi = "";
  const char *os = "";
  if (multilib_variants && multilib_choice.multi_dir && strcmp(multilib_choice.multi_dir, ".") != 0)
    multi = owned[0] = concat_strings(multilib_choice.multi_dir, "/", nullptr);
  if (multilib_variants && multilib_choice.multi_os_dir &&
      strcmp(multilib_choice.multi_os_dir, ".") != 0)
    os = owned[1] = concat_strings(multilib_choice.multi_os_dir, "/", nullptr);
  const char *arch = multilib_choice.multi_arch_dir
                         ? owned[2] = concat_strings(multilib_choice.multi_arch_dir, "/", nullptr)
                         : nullptr;
  const char *machine_text = DRIVER_MACHINE_SUFFIX;
  const char *target_text = DRIVER_TARGET_SUFFIX;
  if (*multi) {
    machine_text = owned[3] = concat_strings(DRIVER_MACHINE_SUFFIX, multi, nullptr);
    target_text = owned[4] = concat_strings(DRIVER_TARGET_SUFFIX, multi, nullptr);
  }
  const walk_suffix plain_machine = {DRIVER_MACHINE_SUFFIX, sizeof DRIVER_MACHINE_SUFFIX - 1};
  const walk_suffix plain_target = {DRIVER_TARGET_SUFFIX, sizeof DRIVER_TARGET_SUFFIX - 1};
  const walk_suffix none = {"", 0};
  // Only texts made for this walk are measured.
  walk_suffix machine = owned[3] ? suffix_of(machine_text) : plain_machine;
  walk_suffix target = owned[4] ? suffix_of(target_text) : plain_target;
  walk_suffix multi_suffix = owned[0] ? suffix_of(multi) : none;
  walk_suffix os_suffix = owned[1] ? suffix_of(os) : none;
  walk_suffix arch_suffix = suffix_of(arch);
  size_t longest = machine.length;
  for (const walk_suffix &s : {target, multi_suffix, os_suffix, arch_suffix})
    if (s.length > longest)
      longest = s.length;
  size_t size = extra + list->max_length + longest + plain_machine.length + 1;
  char small[512];
  char *buffer = size <= sizeof small ? small : static_cast<char *>(checked_malloc(size));
  void *result = nullptr;
  bool had_multi = multi_suffix.length || os_suffix.length;

  auto attempt = [&](const search_path_entry *e, const walk_suffix &suffix) {
    // Room for the candidate and the EXTRA bytes a callback may add.
    vuz_assert(e->prefix_length + suffix.length + extra < size);
    memcpy(buffer, e->prefix, e->prefix_length);
    memcpy(buffer + e->prefix_length, suffix.text, suffix.length + 1);
    result = callback(buffer, data);
    return result != nullptr;
  };

  for (int pass = 0; pass < 2 && !result; pass++) {
    bool skip_multi = pass == 1;
    for (search_path_entry *e = list->head; e && !result; e = e->next) {
      if (!skip_multi || multi_suffix.length) {
        const walk_suffix &m = skip_multi ? plain_machine : machine;
        const walk_suffix &t = skip_multi ? plain_target : target;
        if (attempt(e, m))
          break;
        if (e->suffix_rule == 2 && attempt(e, t))
          break;
        if (e->suffix_rule == 0 && arch && !skip_multi && attempt(e, arch_suffix))
          break;
      }
      if (e->suffix_rule == 1 || e->suffix_rule == 2)
        continue;
      const walk_suffix *s = e->uses_os_dir ? &os_suffix : &multi_suffix;
      if (skip_multi) {
        if (!s->length)
          continue;  // tried already in the first pass
        s = &none;
      }
      if (attempt(e, *s))
        break;
    }
    if (!had_multi)
      break;
  }
  if (buffer != small)
    free(buffer);
  for (char *p : owned)
    free(p);
  return result;
}

struct file_test {
  const char *name;
  int mode;
};

// The name is tried in the candidate's own buffer, where the walk left room
// for it; only a name found is copied.
static void *test_candidate(char *candidate, void *data)
{
  const file_test *t = static_cast<const file_test *>(data);
  size_t directory_length = strlen(candidate);
  // A directory found missing since the last child holds no file either.
  const probe_answer *directory = known_answer(candidate, directory_length, true);
  if (directory && !directory->is_directory)
    return nullptr;
  strcpy(candidate + directory_length, t->name);
  char *found = nullptr;
  if (access(candidate, t->mode) == 0) {
    struct stat st;
    if (!(t->mode & X_OK) || (stat(candidate, &st) == 0 && !S_ISDIR(st.st_mode)))
      found = checked_strdup(candidate);
  }
  candidate[directory_length] = '\0';
  return found;
}

char *locate_file(search_path_list *list, const char *name, int mode, bool multilib_variants)
{
  if (name[0] == '/')
    return access(name, mode) == 0 ? checked_strdup(name) : nullptr;
  file_test t = {name, mode};
  return static_cast<char *>(
      walk_search_paths(list, multilib_variants, strlen(name), test_candidate, &t));
}

static bool executable_file(const char *path)
{
  struct stat st;
  return access(path, X_OK) == 0 && stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

static char *probe_program(const char *name)
{
  if (strcmp(name, "as") == 0 && executable_file(DRIVER_ASSEMBLER))
    return checked_strdup(DRIVER_ASSEMBLER);
  if (strcmp(name, "ld") == 0 && executable_file(DRIVER_LINKER))
    return checked_strdup(DRIVER_LINKER);
  if (name[0] == '/')
    return executable_file(name) ? checked_strdup(name) : nullptr;
  return locate_file(&exec_prefixes, name, X_OK, false);
}

char *find_program(const char *name)
{
  size_t length = strlen(name);
  if (const probe_answer *known = known_answer(name, length, false))
    return known->program ? checked_strdup(known->program) : nullptr;
  char *found = probe_program(name);
  keep_answer(name, length, false, found, false);
  return found;
}

bool names_directory(const char *path, bool for_linker)
{
  if (for_linker && (strcmp(path, "/lib/") == 0 || strcmp(path, "/usr/lib/") == 0))
    return false;
  size_t n = strlen(path);
  if (const probe_answer *known = known_answer(path, n, true))
    return known->is_directory;
  // Every candidate of a joined search list is probed: a short path is
  // probed from the frame.
  char small[256];
  char *probe = n + 3 <= sizeof small ? small : static_cast<char *>(checked_malloc(n + 3));
  memcpy(probe, path, n);
  if (!n || path[n - 1] != '/')
    probe[n++] = '/';
  probe[n++] = '.';
  probe[n] = '\0';
  struct stat st;
  bool result = stat(probe, &st) == 0 && S_ISDIR(st.st_mode);
  if (probe != small)
    free(probe);
  keep_answer(path, strlen(path), true, nullptr, result);
  return result;
}

struct join_state {
  bool directories_only;
  bool first;
};

static void *join_candidate(char *candidate, void *data)
{
  join_state *s = static_cast<join_state *>(data);
  if (s->directories_only && !names_directory(candidate, false))
    return nullptr;
  if (!s->first)
    obstack_append_byte(&spec_expansion.collect_obstack, ':');
  s->first = false;
  obstack_append_text(&spec_expansion.collect_obstack, candidate);
  return nullptr;
}

char *join_search_dirs(search_path_list *list, const char *name, bool directories_only,
                       bool multilib_variants)
{
  obstack_append_text(&spec_expansion.collect_obstack, name);
  obstack_append_byte(&spec_expansion.collect_obstack, '=');
  join_state s = {directories_only, true};
  walk_search_paths(list, multilib_variants, 0, join_candidate, &s);
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  return static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

// The value of the install key of KIND ('@' or '$') whose name is the LENGTH
// bytes at KEY.
static const char *install_key_value(char kind, const char *key, size_t length)
{
  // The variable's name is put together in the frame when it is short.
  char small[64];
  size_t size = length + sizeof "_ROOT";
  char *variable = size <= sizeof small ? small : static_cast<char *>(checked_malloc(size));
  memcpy(variable, key, length);
  strcpy(variable + length, kind == '@' ? "_ROOT" : "");
  const char *value = env.getenv(variable);
  if (variable != small)
    free(variable);
  if (value)
    return value;
  return kind == '@' ? current_install_prefix() : DRIVER_PREFIX;
}

// A value may itself begin with a key; a cycle of such values is cut short.
enum { MAX_INSTALL_KEY_ROUNDS = 16 };

static char *expand_install_keys_from(char *text, int round)
{
  for (; round < MAX_INSTALL_KEY_ROUNDS && (text[0] == '@' || text[0] == '$'); round++) {
    const char *key = text + 1;
    const char *rest = strchr(key, '/');
    if (!rest)
      rest = key + strlen(key);
    const char *value = install_key_value(text[0], key, static_cast<size_t>(rest - key));
    char *next = concat_strings(value, rest, nullptr);
    free(text);
    text = next;
  }
  return text;
}

char *expand_install_keys(char *text)
{
  return expand_install_keys_from(text, 0);
}

void hold_directory_probes(bool hold)
{
  search_probes.probes_held = hold;
  free(search_probes.probed_directory);
  search_probes.probed_directory = nullptr;
}

static bool directory_searchable(const char *directory)
{
  if (search_probes.probes_held && search_probes.probed_directory &&
      strcmp(search_probes.probed_directory, directory) == 0)
    return search_probes.probed_searchable;
  bool searchable = access(directory, X_OK) == 0;
  if (search_probes.probes_held) {
    free(search_probes.probed_directory);
    search_probes.probed_directory = checked_strdup(directory);
    search_probes.probed_searchable = searchable;
  }
  return searchable;
}

// Simplifies "/../" components where the directory before them does not exist.
static char *simplify_dot_dots(char *text)
{
  for (char *p = text; (p = strstr(p, "/../")) != nullptr;) {
    if (p == text) {
      p += 3;
      continue;
    }
    char saved = p[1];
    p[1] = '\0';  // the text up to and including the '/' before ".."
    bool searchable = directory_searchable(text);
    p[1] = saved;
    if (searchable)
      return text;
    // Back to the nearest earlier component that does not begin with '.'.
    char *component_end = p;
    char *q = p;
    for (;;) {
      while (q > text && q[-1] != '/')
        q--;
      if (*q != '.')
        break;
      if (q == text)
        return text;
      q--;  // past the '/'
      while (q > text && q[-1] == '/')
        q--;
      component_end = q;
      if (q == text)
        return text;
    }
    (void)component_end;
    if (q == text && (*q == '.' || *q == '/'))
      return text;
    // Remove the component, everything up to the "../", and the slashes after.
    char *after = p + 4;
    while (*after == '/')
      after++;
    memmove(q, after, strlen(after) + 1);
    p = q > text ? q - 1 : q;
  }
  return text;
}

char *translate_install_path(const char *path, const char *key)
{
  char *text;
  const char *prefix = current_install_prefix();
  size_t n = strlen(prefix);
  if (key && strncmp(path, prefix, n) == 0 && (path[n] == '\0' || path[n] == '/')) {
    char kind = key[0] == '$' ? '$' : '@';
    const char *name = kind == '$' ? key + 1 : key;
    if (strchr(name, '/')) {
      text = kind == '$' ? concat_strings(key, path + n, nullptr)
                         : concat_strings("@", key, path + n, nullptr);
      text = expand_install_keys(text);
    } else {
      // The first round without the "@KEY/rest" text in between.
      text = concat_strings(install_key_value(kind, name, strlen(name)), path + n, nullptr);
      text = expand_install_keys_from(text, 1);
    }
  } else {
    text = checked_strdup(path);
  }
  return simplify_dot_dots(text);
}
