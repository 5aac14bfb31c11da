// The named specs and the compiler table: built-in initialisation, spec files,
// configure-time and self specs, and the assembly of all of them per run.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/search-paths.h"
#include "support/alloc.h"
#include "support/callback-hash-table.h"
#include "support/char-class.h"
#include "support/concat.h"
#include "support/string-hash.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

spec_table_state spec_tables;
named_spec static_specs[STATIC_SPEC_COUNT + TARGET_SPEC_COUNT];

// Links the 45 static specs (with their default texts) as the list.
static void link_static_specs()
{
  for (int i = 0; i < STATIC_SPEC_COUNT; i++) {
    named_spec &sp = static_specs[i];
    const builtin_spec_text &row = builtin_static_spec_texts[i];
    sp.name = row.name;
    sp.name_length = row.name_length;
    sp.value_location = row.variable ? row.variable : &sp.value;
    const char *text = row.text;
    if (row.variable == &spec_tables.version_spec)
      text = command.version_text;
    else if (!text)
      text = *sp.value_location ? *sp.value_location : "";  // set at start-up
    sp.default_text = text;
    *sp.value_location = text;
    sp.next = i + 1 < STATIC_SPEC_COUNT ? &static_specs[i + 1] : nullptr;
  }
  spec_tables.specs = &static_specs[0];
}

static bool spec_named(const named_spec *sp, const char *name, size_t length)
{
  return sp->name_length == length && sp->name[0] == name[0] &&
         strncmp(sp->name, name, length) == 0;
}

// The built-in record of that name, found by its length. Target specs not
// linked into the list have no name yet.
static named_spec *lookup_builtin_spec(const char *name, size_t length)
{
  if (length > builtin_spec_longest_name)
    return nullptr;
  for (int i = builtin_spec_length_starts[length]; i < builtin_spec_length_starts[length + 1];
       i++) {
    named_spec *sp = &static_specs[builtin_spec_numbers_by_length[i]];
    if (sp->name && spec_named(sp, name, length))
      return sp;
  }
  return nullptr;
}

struct spec_name_key {
  const char *name;
  size_t length;
};

static hashval_t added_spec_hash(const void *element)
{
  const named_spec *sp = static_cast<const named_spec *>(element);
  return hash_bytes_mixed(sp->name, sp->name_length, 0);
}

static int added_spec_is(const void *stored, const void *key)
{
  const spec_name_key *k = static_cast<const spec_name_key *>(key);
  return spec_named(static_cast<const named_spec *>(stored), k->name, k->length);
}

static void index_added_spec(named_spec *sp)
{
  if (!spec_tables.added_specs)
    spec_tables.added_specs =
        callback_hash_table_create(64, added_spec_hash, added_spec_is, nullptr);
  spec_name_key key = {sp->name, sp->name_length};
  *callback_hash_table_find_slot_hashed(spec_tables.added_specs, &key, added_spec_hash(sp),
                                        INSERT) = sp;
}

// Specs a spec file adds stand before the built-in records in the list and
// are found through their index; the built-in ones through theirs. Names in
// the list are unique.
named_spec *lookup_named_spec(const char *name, size_t length)
{
  if (!spec_tables.specs)
    return nullptr;
  if (spec_tables.added_specs) {
    spec_name_key key = {name, length};
    if (void *found = callback_hash_table_find_hashed(spec_tables.added_specs, &key,
                                                      hash_bytes_mixed(name, length, 0)))
      return static_cast<named_spec *>(found);
  }
  return lookup_builtin_spec(name, length);
}

static void free_spec_text(const void *text)
{
  if (spec_expansion.spec_function_depth > 0)
    vec_safe_push(spec_tables.retired_spec_texts, const_cast<void *>(text));
  else
    free(const_cast<void *>(text));
}

void set_static_spec(const char **variable, const char *text)
{
  for (named_spec *sp = spec_tables.specs; sp; sp = sp->next)
    if (sp->value_location == variable) {
      if (sp->allocated)
        free_spec_text(*variable);
      sp->allocated = 0;
      *variable = text;
      return;
    }
  vuz_unreachable();
}

void define_spec(const char *name, const char *text, bool user)
{
  if (!spec_tables.specs)
    link_static_specs();
  named_spec *sp = lookup_named_spec(name, strlen(name));
  if (!sp) {
    sp = checked_new_cleared<named_spec>();
    sp->name = checked_strdup(name);
    sp->name_length = static_cast<uint32_t>(strlen(name));
    sp->value = "";
    sp->value_location = &sp->value;
    sp->next = spec_tables.specs;
    spec_tables.specs = sp;
    index_added_spec(sp);
  }
  const char *old = *sp->value_location;
  char *value;
  if (text[0] == '+' && c_isspace(static_cast<unsigned char>(text[1])))
    value = concat_strings(old ? old : "", text + 1, nullptr);
  else
    value = checked_strdup(text);
  if (sp->allocated)
    free_spec_text(old);
  *sp->value_location = value;
  sp->allocated = 1;
  sp->user = user;
}

// PREFIX followed by TEXT, kept for the run like the other edited built-ins.
static const char *prefix_on_collect_obstack(const char *prefix, const char *text)
{
  obstack_append_text(&spec_expansion.collect_obstack, prefix);
  obstack_append_text(&spec_expansion.collect_obstack, text);
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  return static_cast<const char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

void init_builtin_specs()
{
  if (spec_tables.specs)
    return;
  if (driver_verbose())
    fputs("Using built-in specs.\n", stderr);
  link_static_specs();
  // The target specs follow the last static spec.
  named_spec *last = &static_specs[STATIC_SPEC_COUNT - 1];
  for (int i = 0; i < TARGET_SPEC_COUNT; i++) {
    named_spec &sp = static_specs[STATIC_SPEC_COUNT + i];
    sp.name = builtin_target_spec_texts[i].name;
    sp.name_length = builtin_target_spec_texts[i].name_length;
    sp.value = sp.default_text = builtin_target_spec_texts[i].text;
    sp.value_location = &sp.value;
    sp.next = last->next;
    last->next = &sp;
    last = &sp;
  }
  // The static-or-shared choice put into "libvuz" and the frame-header
  // option put before "link" were worked out when the driver was built.
  spec_tables.libvuz_spec = builtin_libvuz_spec;
  spec_tables.link_spec = builtin_link_spec;
  spec_tables.link_command_spec = builtin_link_command_spec;
}

[[noreturn]] static void spec_file_unreadable(const char *file, int fd)
{
  int error_number = errno;
  if (fd >= 0)
    close(fd);
  errno = error_number;
  fatal_error(0, "cannot read spec file %qs: %m", file);
}

// Reads a whole file; fatal when it cannot be read. The buffer is put in
// *HELD before the reading, so that a failed read leaves it to the reset.
static char *read_whole_file(const char *file, char **held)
{
  int fd = open(file, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0)
    spec_file_unreadable(file, fd);
  size_t size = static_cast<size_t>(st.st_size);
  char *buffer = static_cast<char *>(checked_malloc(size + 1));
  *held = buffer;
  size_t done = 0;
  while (done < size) {  // short reads are normal on some files
    ssize_t n = read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      spec_file_unreadable(file, fd);
    if (n == 0)
      break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  buffer[done] = '\0';
  return buffer;
}

// Carriage returns next to a newline go; any other becomes a newline.
static char *normalise_line_ends(const char *text)
{
  size_t n = strlen(text);
  char *out = static_cast<char *>(checked_malloc(n + 1));
  size_t k = 0;
  for (size_t i = 0; i < n; i++) {
    if (text[i] != '\r') {
      out[k++] = text[i];
      continue;
    }
    if ((i > 0 && text[i - 1] == '\n') || text[i + 1] == '\n')
      continue;
    out[k++] = '\n';
  }
  out[k] = '\0';
  return out;
}

static const char *skip_whitespace(const char *p)
{
  for (;;) {
    while (*p == ' ' || *p == '\t')
      p++;
    if (*p == '\n') {
      // A blank line separates sections: stop at its second newline.
      if (p[1] == '\n' && p[2] == '\n')
        return p + 1;
      p++;
    } else if (*p == '#') {
      while (*p && *p != '\n')
        p++;
    } else {
      return p;
    }
  }
}

// The newline that begins the next blank line, or null. Not strstr, which
// the sanitizers make measure the whole rest of the file at every section.
static const char *next_blank_line(const char *p)
{
  for (; (p = strchr(p, '\n')) != nullptr; p++)
    if (p[1] == '\n')
      return p;
  return nullptr;
}

enum { MAX_SPEC_FILE_DEPTH = 200 };
struct open_spec_file {
  char *text;          // line-normalised
  char *include_path;  // of the file it is including, when located
};

static open_spec_file &open_spec_file_at(int depth)
{
  if (!spec_tables.open_spec_files)
    spec_tables.open_spec_files = checked_new_cleared<open_spec_file>(MAX_SPEC_FILE_DEPTH + 1);
  return spec_tables.open_spec_files[depth];
}

static void set_link_command_spec(char *text)
{
  if (spec_tables.link_command_owned)
    free_spec_text(spec_tables.link_command_spec);
  spec_tables.link_command_spec = text;
  spec_tables.link_command_owned = true;
}

// Room for one more row and the zeroed row after it. The rows move, and the
// one being compiled for must stay readable.
static void add_compiler_row_room()
{
  if (spec_tables.compilers && spec_tables.compilers == spec_tables.sized_table &&
      spec_tables.compiler_count + 2 <= spec_tables.compiler_capacity)
    return;
  spec_tables.compiler_capacity = 2 * (spec_tables.compiler_count + 2);
  compiler_entry *grown =
      checked_new_cleared<compiler_entry>(static_cast<uint64_t>(spec_tables.compiler_capacity));
  if (spec_tables.compilers)
    memcpy(grown, spec_tables.compilers,
           static_cast<size_t>(spec_tables.compiler_count) * sizeof(compiler_entry));
  free_spec_text(spec_tables.compilers);
  spec_tables.compilers = grown;
  spec_tables.sized_table = grown;
}

static void include_spec_file(const char *name, bool user, bool no_error)
{
  char *found = nullptr;
  if (name[0] == '/' && access(name, R_OK) == 0)
    found = checked_strdup(name);
  else
    found = locate_file(&startfile_prefixes, name, R_OK, true);
  if (!found && no_error) {
    if (driver_verbose())
      fprintf(stderr, "could not find specs file %s\n", name);
    return;
  }
  open_spec_file_at(spec_tables.spec_file_depth).include_path = found;
  load_spec_file(found ? found : name, false, user);
  open_spec_file_at(spec_tables.spec_file_depth).include_path = nullptr;
  free(found);
}

void load_spec_file(const char *file, bool main_file, bool user)
{
  if (driver_verbose())
    fprintf(stderr, "Reading specs from %s\n", file);
  // A file that includes itself, directly or not, must not recurse forever.
  if (++spec_tables.spec_file_depth > MAX_SPEC_FILE_DEPTH)
    fatal_error(0, "spec file %qs nested too deeply", file);
  open_spec_file &reading = open_spec_file_at(spec_tables.spec_file_depth);
  char *raw = read_whole_file(file, &reading.text);
  char *buffer = normalise_line_ends(raw);
  free(raw);
  reading.text = buffer;
  const char *p = buffer;
  auto offset = [&](const char *q) { return static_cast<long>(q - buffer); };

  for (;;) {
    p = skip_whitespace(p);
    if (!*p)
      break;
    if (*p == '%' && !main_file) {
      const char *line_end = strchr(p, '\n');
      if (!line_end)
        line_end = p + strlen(p);
      if (strncmp(p, "%include", 8) == 0 && (p[8] == ' ' || p[8] == '\t')) {
        const char *q = p + 9;
        while (*q == ' ' || *q == '\t')
          q++;
        if (*q != '<' || line_end[-1] != '>')
          fatal_error(0, "specs %%include syntax malformed after %ld characters", offset(q));
        buffer[offset(line_end - 1)] = '\0';
        include_spec_file(q + 1, user, false);
      } else if (strncmp(p, "%include_noerr", 14) == 0 && (p[14] == ' ' || p[14] == '\t')) {
        const char *q = p + 15;
        while (*q == ' ' || *q == '\t')
          q++;
        if (*q != '<' || line_end[-1] != '>')
          fatal_error(0, "specs %%include syntax malformed after %ld characters", offset(q));
        buffer[offset(line_end - 1)] = '\0';
        include_spec_file(q + 1, user, true);
      } else if (strncmp(p, "%rename", 7) == 0 && (p[7] == ' ' || p[7] == '\t')) {
        const char *q = p + 8;
        while (*q == ' ' || *q == '\t')
          q++;
        if (!c_isalpha(static_cast<unsigned char>(*q)))
          fatal_error(0, "specs %%rename syntax malformed after %ld characters", offset(q));
        const char *old_start = q;
        while (*q && !c_isspace(static_cast<unsigned char>(*q)))
          q++;
        const char *old_end = q;
        while (*q == ' ' || *q == '\t')
          q++;
        if (!c_isalpha(static_cast<unsigned char>(*q)))
          fatal_error(0, "specs %%rename syntax malformed after %ld characters", offset(q));
        const char *new_start = q;
        while (*q && !c_isspace(static_cast<unsigned char>(*q)))
          q++;
        if (q != line_end)
          fatal_error(0, "specs %%rename syntax malformed after %ld characters", offset(q));
        // The names are ended in place, not copied, so that a fatal error
        // leaves nothing behind: the old one at the blank after it, the new
        // one at the line's end only when nothing is read after it.
        buffer[offset(old_end)] = '\0';
        const char *old_name = old_start;
        size_t new_length = static_cast<size_t>(q - new_start);
        named_spec *old_spec = lookup_named_spec(old_name, strlen(old_name));
        if (!old_spec)
          fatal_error(0, "specs %s spec was not found to be renamed", old_name);
        if (strlen(old_name) != new_length || strncmp(old_name, new_start, new_length) != 0) {
          if (lookup_named_spec(new_start, new_length)) {
            buffer[offset(q)] = '\0';
            fatal_error(0, "%s: attempt to rename spec %qs to already defined spec %qs", file,
                        old_name, new_start);
          }
          char *new_name = checked_strndup(new_start, new_length);
          if (driver_verbose())
            fprintf(stderr, "rename spec %s to %s\n", old_name, new_name);
          define_spec(new_name, *old_spec->value_location, user);
          if (old_spec->allocated)
            free_spec_text(*old_spec->value_location);
          *old_spec->value_location = "";
          old_spec->allocated = 0;
          free(new_name);
        }
      } else {
        fatal_error(0, "specs unknown %% command after %ld characters", offset(p));
      }
      p = *line_end ? line_end + 1 : line_end;
      continue;
    }

    // A section: NAME ':' value up to the next blank line.
    const char *name_start = p;
    while (*p && *p != ':' && *p != '\n')
      p++;
    if (*p != ':')
      fatal_error(0, "specs file malformed after %ld characters", offset(p));
    const char *name_end = p;
    while (name_end > name_start && (name_end[-1] == ' ' || name_end[-1] == '\t'))
      name_end--;
    p = skip_whitespace(p + 1);
    if (!*p)
      fatal_error(0, "specs file malformed after %ld characters", offset(p));
    char *name = checked_strndup(name_start, static_cast<size_t>(name_end - name_start));
    const char *value_start = p;
    // The last value ends before the file's final newline too: a line end
    // kept in it would end the command it is expanded into.
    const char *value_end = next_blank_line(p);
    if (!value_end) {
      value_end = p + strlen(p);
      if (value_end[-1] == '\n')
        value_end--;
    }
    char *value = static_cast<char *>(
        checked_malloc(static_cast<uint64_t>(value_end - value_start) + 1));
    size_t k = 0;
    for (const char *q = value_start; q < value_end; q++) {
      if (*q == '\\' && q + 1 < value_end && q[1] == '\n') {
        q++;
        continue;
      }
      if (*q == '#') {
        while (q < value_end && *q != '\n')
          q++;
        if (q < value_end)
          value[k++] = '\n';
        continue;
      }
      value[k++] = *q;
    }
    value[k] = '\0';
    p = value_end;

    if (name[0] == '*' && strcmp(name, "*link_command") != 0) {
      define_spec(name + 1, value, user);
      free(value);
    } else if (name[0] == '*' || name[0] == '\0') {
      set_link_command_spec(value);
    } else {
      add_compiler_row_room();
      compiler_entry &row = spec_tables.compilers[spec_tables.compiler_count++];
      memset(&row, 0, sizeof row);
      row.suffix = name;
      row.spec = value;
      memset(&spec_tables.compilers[spec_tables.compiler_count], 0, sizeof(compiler_entry));
      continue;
    }
    free(name);
  }
  free(buffer);
  reading.text = nullptr;
  if (!spec_tables.link_command_spec)
    fatal_error(0, "spec file has no spec for linking");
  spec_tables.spec_file_depth--;
}

// The suffix length of each compiler row: every input asks every row,
// twice. Spec files only add rows after the built-in ones, whose lengths
// were measured when the driver was built.
static const uint32_t *compiler_suffix_lengths()
{
  if (spec_tables.compiler_count == builtin_compiler_count)
    return builtin_compiler_suffix_lengths;
  if (spec_tables.measured_table != spec_tables.compilers ||
      spec_tables.measured_count != spec_tables.compiler_count) {
    free(spec_tables.suffix_lengths);
    spec_tables.suffix_lengths =
        checked_new_array<uint32_t>(static_cast<uint64_t>(spec_tables.compiler_count) + 1);
    for (int i = 0; i < spec_tables.compiler_count; i++)
      spec_tables.suffix_lengths[i] =
          static_cast<uint32_t>(strlen(spec_tables.compilers[i].suffix));
    spec_tables.measured_table = spec_tables.compilers;
    spec_tables.measured_count = spec_tables.compiler_count;
  }
  return spec_tables.suffix_lengths;
}

// Whether the LENGTH bytes of NAME end with SUFFIX, of SUFFIX_LENGTH bytes,
// and hold more than it. Most rows differ in their last byte.
static bool ends_with_suffix(const char *name, size_t length, const char *suffix,
                             size_t suffix_length)
{
  if (suffix_length >= length)
    return false;
  return suffix_length == 0 || (name[length - 1] == suffix[suffix_length - 1] &&
                                memcmp(name + length - suffix_length, suffix, suffix_length) == 0);
}

compiler_entry *choose_compiler_row(const char *name, size_t length, const char *language)
{
  if (language) {
    if (language[0] == '*')
      return nullptr;
    for (int i = spec_tables.compiler_count - 1; i >= 0; i--) {
      compiler_entry &row = spec_tables.compilers[i];
      if (row.suffix[0] == '@' && strcmp(row.suffix + 1, language) == 0) {
        if (strcmp(name, "-") == 0 &&
            (strcmp(row.suffix, "@c-header") == 0 || strcmp(row.suffix, "@c++-header") == 0) &&
            !command.preprocess_only)
          fatal_error(0, "cannot use %<-%> as input filename for a precompiled header");
        return &row;
      }
    }
    error_here("language %s not recognized", language);
    return nullptr;
  }
  compiler_entry *found = nullptr;
  bool standard_input = strcmp(name, "-") == 0;
  const uint32_t *lengths = compiler_suffix_lengths();
  for (int i = spec_tables.compiler_count - 1; i >= 0 && !found; i--) {
    compiler_entry &row = spec_tables.compilers[i];
    // The standard-input row's "-" is also an ordinary suffix: a longer name
    // ending in '-' is read as standard input's language.
    if (standard_input ? strcmp(row.suffix, "-") == 0
                       : ends_with_suffix(name, length, row.suffix, lengths[i]))
      found = &row;
  }
  if (!found)
    return nullptr;
  if (found->spec[0] != '@')
    return found;
  if (found->spec[1] == '*')
    return nullptr;
  size_t language_length = strlen(found->spec);
  for (int i = spec_tables.compiler_count - 1; i >= 0; i--)
    if (lengths[i] == language_length && spec_tables.compilers[i].suffix[0] == '@' &&
        memcmp(spec_tables.compilers[i].suffix, found->spec, language_length) == 0)
      return &spec_tables.compilers[i];
  error_here("language %s not recognized", found->spec + 1);
  return nullptr;
}

void run_self_spec(const char *spec)
{
  begin_word_expansion();
  do_spec_1(spec, false, nullptr);
  finish_word();
  do_spec_1(" ", false, nullptr);
  for (int i = 0; i < saved_switches.switch_count; i++)
    if (saved_switches.switches[i].liveness & SW_REMOVED)
      saved_switches.switches[i].liveness |= SW_REMOVED_FOR_GOOD;
  if (vec_length(spec_expansion.argbuf) > 0)
    handle_self_spec_words(vec_length(spec_expansion.argbuf), spec_expansion.argbuf->address());
  terminate_switch_table();
}

static void apply_configure_option_spec(const char *key, const char *spec)
{
  const char *value = nullptr;
  if (strcmp(key, "cpu") == 0)
    value = "arm1176jzf-s";
  else if (strcmp(key, "tls") == 0)
    value = "kav";
  if (!value)
    return;
  obstack_append(&spec_expansion.collect_obstack, "", 0);
  for (const char *p = spec; *p;) {
    if (p[0] == '%' && strncmp(p, "%(VALUE)", 8) == 0) {
      obstack_append_text(&spec_expansion.collect_obstack, value);
      p += 8;
    } else {
      obstack_append_byte(&spec_expansion.collect_obstack, *p++);
    }
  }
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  run_self_spec(static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack)));
}

// One word from a spec such as "sysroot_suffix_spec", or null.
static const char *single_word_of(const char *spec, const char *error_message)
{
  begin_word_expansion();
  if (do_spec_1(spec, false, nullptr) != 0)
    return nullptr;
  finish_word();
  if (vec_length(spec_expansion.argbuf) > 1) {
    error_here(error_message);
    return nullptr;
  }
  return vec_length(spec_expansion.argbuf) == 1 ? (*spec_expansion.argbuf)[0] : nullptr;
}

static void load_user_spec_file(const char *name)
{
  char *found = nullptr;
  if (name[0] != '/' || access(name, R_OK) != 0)
    found = locate_file(&startfile_prefixes, name, R_OK, true);
  load_spec_file(found ? found : name, false, true);
  free(found);
}

void init_builtin_compilers()
{
  spec_tables.compilers =
      checked_new_array<compiler_entry>(static_cast<uint64_t>(builtin_compiler_count) + 1);
  memcpy(spec_tables.compilers, builtin_compilers,
         static_cast<size_t>(builtin_compiler_count) * sizeof(compiler_entry));
  memset(&spec_tables.compilers[builtin_compiler_count], 0, sizeof(compiler_entry));
  spec_tables.compiler_count = builtin_compiler_count;
  spec_tables.compiler_capacity = builtin_compiler_count + 1;
  spec_tables.sized_table = spec_tables.compilers;
}

void load_all_specs(unsigned decoded_count, decoded_option *decoded)
{
  process_command(decoded_count, decoded);
  init_builtin_compilers();

  char *specs_file = locate_file(&startfile_prefixes, "specs", R_OK, true);
  if (specs_file && strcmp(specs_file, "specs") != 0)
    load_spec_file(specs_file, true, false);
  else
    init_builtin_specs();
  free(specs_file);
  const char *target_specs = DRIVER_LIB_DIR DRIVER_TARGET_SUFFIX "specs";
  if (access(target_specs, R_OK) == 0)
    load_spec_file(target_specs, true, false);

  for (const builtin_spec_text *row = configure_option_specs; row->name; row++)
    apply_configure_option_spec(row->name, row->text);
  for (int i = 0; i < driver_self_spec_count; i++)
    run_self_spec(driver_self_specs[i]);

  if (*spec_tables.sysroot_suffix_spec && !driver_no_sysroot_suffix()) {
    const char *word =
        single_word_of(spec_tables.sysroot_suffix_spec,
                       "spec failure: more than one argument to %<SYSROOT_SUFFIX_SPEC%>");
    if (word)
      driver_settings.sysroot_suffix = word;
  }
  // A link spec from the specs file is owned, and is freed as it is replaced.
  if (driver_settings.sysroot)
    set_static_spec(&spec_tables.link_spec,
                    spec_tables.link_spec == builtin_link_spec
                        ? builtin_link_spec_with_sysroot
                        : prefix_on_collect_obstack("%(sysroot_spec) ", spec_tables.link_spec));
  if (*spec_tables.sysroot_hdrs_suffix_spec) {
    const char *word =
        single_word_of(spec_tables.sysroot_hdrs_suffix_spec,
                       "spec failure: more than one argument to %<SYSROOT_HEADERS_SUFFIX_SPEC%>");
    if (word)
      driver_settings.sysroot_headers_suffix = word;
  }
  if (*spec_tables.startfile_prefix_spec) {
    begin_word_expansion();
    if (do_spec_1(spec_tables.startfile_prefix_spec, false, nullptr) == 0 &&
        do_spec_1(" ", false, nullptr) == 0) {
      for (uint32_t i = 0; i < vec_length(spec_expansion.argbuf); i++)
        insert_sysroot_prefix(&startfile_prefixes, (*spec_expansion.argbuf)[i], "ZARNEL");
    }
  }
  if (driver_settings.user_spec_files)
    for (const char *name : *driver_settings.user_spec_files)
      load_user_spec_file(name);
  for (named_spec *sp = spec_tables.specs; sp; sp = sp->next)
    if (sp->name_length == sizeof "self_spec" - 1 && strcmp(sp->name, "self_spec") == 0 &&
        *sp->value_location && **sp->value_location)
      run_self_spec(*sp->value_location);
  prepare_compare_debug_tables();
  if (command.exec_prefix_root) {
    command.exec_prefix_root = concat_replace(command.exec_prefix_root, command.exec_prefix_root,
                                              DRIVER_MACHINE_SUFFIX, nullptr);
  }
  validate_all_switches();
  select_multilib();
}

static bool is_builtin_record(const named_spec *sp)
{
  const named_spec *first = static_specs;
  return sp >= first && sp < first + STATIC_SPEC_COUNT + TARGET_SPEC_COUNT;
}

// Frees what the records own; the fresh record then forgets the rest.
void reset_spec_tables()
{
  for (named_spec *sp = spec_tables.specs, *next; sp; sp = next) {
    next = sp->next;
    if (sp->allocated)
      free(const_cast<char *>(*sp->value_location));
    if (!is_builtin_record(sp)) {
      free(const_cast<char *>(sp->name));
      free(sp);
    }
  }
  if (spec_tables.added_specs)
    callback_hash_table_delete(spec_tables.added_specs);
  memset(static_specs, 0, sizeof static_specs);
  if (spec_tables.link_command_owned)
    free(const_cast<char *>(spec_tables.link_command_spec));
  // Rows beyond the built-in ones came from spec files and own their texts.
  for (int i = builtin_compiler_count; i < spec_tables.compiler_count; i++) {
    free(const_cast<char *>(spec_tables.compilers[i].suffix));
    free(const_cast<char *>(spec_tables.compilers[i].spec));
  }
  free(spec_tables.compilers);
  if (spec_tables.retired_spec_texts)
    for (void *text : *spec_tables.retired_spec_texts)
      free(text);
  vec_release(spec_tables.retired_spec_texts);
  free(spec_tables.suffix_lengths);
  if (spec_tables.open_spec_files)
    for (int i = 0; i <= MAX_SPEC_FILE_DEPTH; i++) {
      free(spec_tables.open_spec_files[i].text);
      free(spec_tables.open_spec_files[i].include_path);
    }
  free(spec_tables.open_spec_files);
  spec_tables = spec_table_state();
}

void dump_specs()
{
  init_builtin_specs();
  for (named_spec *sp = spec_tables.specs; sp; sp = sp->next)
    printf("*%s:\n%s\n\n", sp->name, *sp->value_location);
  if (spec_tables.link_command_spec)
    printf("*link_command:\n%s\n\n", spec_tables.link_command_spec);
}
