// Make-style dependency output: the targets, the files a unit read, the
// rules written for make with its quoting, and the binary dump of the
// dependencies saved beside a precompiled header.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"
#include "support/file-names.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

struct string_array {
  char **items;
  uint32_t count;
  uint32_t allocated;
};

struct dep_record {
  string_array targets;
  string_array deps;
  string_array vpath;
  string_array modules; // imported
  char *module_name;    // the module this unit provides, if any
  char *module_file;    // its compiled-module file
  bool header_unit;
  uint16_t quote_mark; // targets before this index are written unquoted
};

// Module names are written as targets of their own with this suffix.
static const char module_trail[] = ".c++m";

static void array_add(string_array *array, char *item)
{
  if (array->count == array->allocated)
    array->items = _cpp_grow_array(array->items, &array->allocated,
                                   array->allocated ? array->allocated * 2 : 16);
  array->items[array->count++] = item;
}

static void array_free(string_array *array)
{
  for (uint32_t i = 0; i < array->count; i++)
    free(array->items[i]);
  free(array->items);
}

dep_record *deps_create()
{
  return checked_new_cleared<dep_record>();
}

void deps_destroy(dep_record *record)
{
  if (record == nullptr)
    return;
  array_free(&record->targets);
  array_free(&record->deps);
  array_free(&record->vpath);
  array_free(&record->modules);
  free(record->module_name);
  free(record->module_file);
  free(record);
}

static const char *strip_vpath(const dep_record *record, const char *name)
{
  for (uint32_t i = record->vpath.count; i-- > 0;) {
    const char *entry = record->vpath.items[i];
    size_t length = strlen(entry);
    // An empty entry stands for no directory: matched, it would take the
    // root's '/' off an absolute name.
    if (length == 0)
      continue;
    if (path_compare_n(name, entry, length) == 0 && name[length] == '/' &&
        strncmp(name + length + 1, "../", 3) != 0) {
      name += length + 1;
      break;
    }
  }
  while (name[0] == '.' && name[1] == '/') {
    name += 2;
    while (*name == '/')
      name++;
  }
  return name;
}

void deps_add_rule_target(dep_record *record, const char *name, bool quote)
{
  char *copy = checked_strdup(strip_vpath(record, name));
  if (!quote) {
    if (record->quote_mark < record->targets.count) {
      // Unquoted targets come first: the first quoted one moves to the end.
      char *moved = record->targets.items[record->quote_mark];
      record->targets.items[record->quote_mark] = copy;
      copy = moved;
    }
    record->quote_mark++;
  }
  array_add(&record->targets, copy);
}

void deps_add_implicit_target(dep_record *record, const char *source)
{
  if (record->targets.count)
    return;
  if (source[0] == '\0') {
    array_add(&record->targets, checked_strdup("-"));
    return;
  }
  const char *base = path_base_name(source);
  const char *dot = strrchr(base, '.');
  size_t stem = dot ? size_t(dot - base) : strlen(base);
  char *target = static_cast<char *>(checked_malloc(stem + 3));
  memcpy(target, base, stem);
  memcpy(target + stem, ".o", 3);
  deps_add_rule_target(record, target, true);
  free(target);
}

void deps_add_dep(dep_record *record, const char *name)
{
  vuz_assert(name[0] != '\0');
  array_add(&record->deps, checked_strdup(strip_vpath(record, name)));
}

void deps_add_vpath_list(dep_record *record, const char *list)
{
  for (;;) {
    const char *colon = strchr(list, ':');
    size_t length = colon ? size_t(colon - list) : strlen(list);
    array_add(&record->vpath, checked_strndup(list, length));
    if (colon == nullptr)
      break;
    list = colon + 1;
  }
}

void deps_add_module_target(dep_record *record, const char *module, const char *file,
                            bool header_unit)
{
  vuz_assert(record->module_name == nullptr);
  record->module_name = checked_strdup(module);
  record->module_file = file ? checked_strdup(file) : nullptr;
  record->header_unit = header_unit;
}

void deps_add_imported_module(dep_record *record, const char *module)
{
  array_add(&record->modules, checked_strdup(module));
}

// The text of the last name quoted for make, kept while rules are written.
struct quote_buffer {
  char *text;
  size_t size;
};

// NAME and then TRAIL quoted for make into QUOTED, valid until the next
// call.
static const char *make_quote(quote_buffer *quoted, const char *name, const char *trail = "")
{
  size_t length = strlen(name) + strlen(trail);
  size_t needed = length * 2 + 2;
  for (const char *p = name; *p; p++)
    if (*p == ' ' || *p == '\t')
      needed += length;
  if (needed > quoted->size) {
    quoted->size = needed * 2 + 32;
    free(quoted->text);
    quoted->text = static_cast<char *>(checked_malloc(quoted->size));
  }
  char *out = quoted->text;
  size_t backslashes = 0;
  for (const char *p = name; *p || *trail; p++) {
    if (*p == '\0')
      p = trail, trail = "";
    char c = *p;
    if (c == '$') {
      *out++ = '$';
    } else if (c == ' ' || c == '\t') {
      // Backslashes before a blank are doubled, then the blank is escaped.
      for (size_t i = 0; i < backslashes; i++)
        *out++ = '\\';
      *out++ = '\\';
    } else if (c == '#') {
      *out++ = '\\';
    }
    backslashes = c == '\\' ? backslashes + 1 : 0;
    *out++ = c;
  }
  *out = '\0';
  return quoted->text;
}

static uint32_t write_name(FILE *stream, const char *name, uint32_t column, uint32_t limit)
{
  size_t length = strlen(name);
  if (column) {
    if (limit && column + length > limit) {
      fputs(" \\\n", stream);
      column = 0;
    }
    putc(' ', stream);
    column++;
  }
  fputs(name, stream);
  return column + uint32_t(length);
}

// Entries from FROM_QUOTED on are quoted, with TRAIL after each.
static uint32_t write_names(quote_buffer *quoted, FILE *stream, const string_array *array,
                            uint32_t from_quoted, uint32_t column, uint32_t limit,
                            const char *trail = "")
{
  for (uint32_t i = 0; i < array->count; i++) {
    const char *name =
        i >= from_quoted ? make_quote(quoted, array->items[i], trail) : array->items[i];
    column = write_name(stream, name, column, limit);
  }
  return column;
}

// The targets, and the compiled-module file when it is one, then ":".
static uint32_t write_targets(quote_buffer *quoted, const dep_record *record, FILE *stream,
                              uint32_t limit, bool with_module_file)
{
  uint32_t column = write_names(quoted, stream, &record->targets, record->quote_mark, 0, limit);
  if (with_module_file && record->module_file)
    column = write_name(stream, make_quote(quoted, record->module_file), column, limit);
  fputc(':', stream);
  return column + 1;
}

// The module this unit provides stands for its compiled-module file, and
// that file is made by whatever makes the first target.
static void write_module_rules(quote_buffer *quoted, const dep_record *record, FILE *stream,
                               uint32_t limit)
{
  const char *module = make_quote(quoted, record->module_name, module_trail);
  uint32_t column = uint32_t(strlen(module)) + 1;
  fprintf(stream, "%s:", module);
  write_name(stream, make_quote(quoted, record->module_file), column, limit);
  fputs("\n.PHONY:", stream);
  write_name(stream, make_quote(quoted, record->module_name, module_trail), 7, limit);
  fputc('\n', stream);
  if (record->header_unit || record->targets.count == 0)
    return;
  column = uint32_t(strlen(make_quote(quoted, record->module_file)));
  fprintf(stream, "%s:|", make_quote(quoted, record->module_file));
  const char *first = record->quote_mark ? record->targets.items[0]
                                         : make_quote(quoted, record->targets.items[0]);
  write_name(stream, first, column + 2, limit);
  fputc('\n', stream);
}

// The rules of the module this unit provides and imports.
static void write_module_output(quote_buffer *quoted, const dep_record *record, FILE *stream,
                                uint32_t limit)
{
  if (record->modules.count) {
    uint32_t column = write_targets(quoted, record, stream, limit, true);
    write_names(quoted, stream, &record->modules, 0, column, limit, module_trail);
    fputc('\n', stream);
  }
  if (record->module_name && record->module_file)
    write_module_rules(quoted, record, stream, limit);
  if (record->modules.count) {
    fputs("CXX_IMPORTS +=", stream);
    write_names(quoted, stream, &record->modules, 0, 14, limit, module_trail);
    fputc('\n', stream);
  }
}

void deps_print(const preprocessor_reader *reader, FILE *stream, uint32_t limit)
{
  const dep_record *record = reader->deps;
  if (record == nullptr)
    return;
  bool phony_targets = reader->options.deps_phony_targets;
  bool module_output = reader->options.deps_module_output;
  if (limit && limit < 34)
    limit = 34;
  quote_buffer quoted = {};
  if (record->deps.count) {
    uint32_t column = write_targets(&quoted, record, stream, limit, module_output);
    write_names(&quoted, stream, &record->deps, 0, column, limit);
    fputc('\n', stream);
    if (phony_targets)
      for (uint32_t i = 1; i < record->deps.count; i++)
        fprintf(stream, "%s:\n", make_quote(&quoted, record->deps.items[i]));
  }
  if (module_output)
    write_module_output(&quoted, record, stream, limit);
  free(quoted.text);
}

static bool write_u64(FILE *stream, uint64_t value)
{
  unsigned char bytes[8];
  for (int i = 0; i < 8; i++)
    bytes[i] = uint8_t(value >> (8 * i));
  return fwrite(bytes, 1, 8, stream) == 8;
}

static bool read_u64(FILE *stream, uint64_t *value)
{
  unsigned char bytes[8];
  if (fread(bytes, 1, 8, stream) != 8)
    return false;
  *value = 0;
  for (int i = 0; i < 8; i++)
    *value |= uint64_t(bytes[i]) << (8 * i);
  return true;
}

int deps_dump(const dep_record *record, FILE *stream)
{
  if (!write_u64(stream, record->deps.count))
    return -1;
  for (uint32_t i = 0; i < record->deps.count; i++) {
    size_t length = strlen(record->deps.items[i]);
    if (!write_u64(stream, length) || fwrite(record->deps.items[i], 1, length, stream) != length)
      return -1;
  }
  return 0;
}

uint64_t _cpp_stream_bytes_left(FILE *stream)
{
  long here = ftell(stream);
  if (here < 0 || fseek(stream, 0, SEEK_END) != 0)
    return UINT64_MAX;
  long end = ftell(stream);
  fseek(stream, here, SEEK_SET);
  return end >= here ? uint64_t(end - here) : 0;
}

// The stream is untrusted: every length is checked against what is left
// before anything is allocated, and entries are added only after all read.
int deps_load(dep_record *record, FILE *stream, const char *own_name)
{
  uint64_t count;
  if (!read_u64(stream, &count))
    return -1;
  count &= 0xffffffffu;
  uint64_t left = _cpp_stream_bytes_left(stream);
  if (left != UINT64_MAX && count > left / 8)
    return -1;
  string_array loaded = {};
  for (uint64_t i = 0; i < count; i++) {
    uint64_t length;
    if (!read_u64(stream, &length))
      goto fail;
    left = _cpp_stream_bytes_left(stream);
    if (length > left || length >= UINT32_MAX)
      goto fail;
    char *name = static_cast<char *>(checked_malloc(length + 1));
    if (fread(name, 1, length, stream) != length) {
      free(name);
      goto fail;
    }
    name[length] = '\0';
    array_add(&loaded, name);
  }
  for (uint32_t i = 0; i < loaded.count; i++)
    if (own_name && loaded.items[i][0] && path_compare(loaded.items[i], own_name) != 0)
      deps_add_dep(record, loaded.items[i]);
  array_free(&loaded);
  return 0;
fail:
  array_free(&loaded);
  return -1;
}

dep_record *_cpp_deps(preprocessor_reader *reader)
{
  if (reader->deps == nullptr)
    reader->deps = deps_create();
  return reader->deps;
}
