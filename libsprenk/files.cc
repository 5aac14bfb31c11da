// Source files: include search along the quote and bracket chains, files
// read through the character-set conversion, once-only files and include
// guards.
#include "libsprenk/preprocessor-internal.h"

#include "libsprenk/charset.h"
#include "support/alloc.h"
#include "support/md5.h"
#include "support/sort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- Include search ----

static source_file *new_source_file(preprocessor_reader *reader, const char *name,
                                    search_dir *directory)
{
  source_file *file = checked_new_cleared<source_file>();
  file->name = checked_strdup(name);
  file->directory = directory;
  file->next = reader->all_files;
  reader->all_files = file;
  return file;
}

const char *source_file_path(const source_file *file)
{
  return file->path ? file->path : file->name;
}

static char *join_path(const search_dir *directory, const char *name)
{
  uint64_t length = directory->length;
  uint64_t name_length = strlen(name);
  char *path = static_cast<char *>(checked_malloc(length + name_length + 2));
  memcpy(path, directory->name, length);
  if (length && path[length - 1] != '/')
    path[length++] = '/';
  memcpy(path + length, name, name_length + 1);
  return path;
}

// A file that exists and is not a directory.
static bool file_exists(const char *path, struct stat *info)
{
  return stat(path, info) == 0 && !S_ISDIR(info->st_mode);
}

// The file of NAME looked up from START along the chain, remembered per
// start directory; its path is null when it was not found.
static source_file *find_file(preprocessor_reader *reader, const char *name, search_dir *start)
{
  for (source_file *file = reader->all_files; file; file = file->next)
    if (file->start == start && strcmp(file->name, name) == 0)
      return file;
  source_file *file = new_source_file(reader, name, nullptr);
  file->start = start;
  for (search_dir *directory = start; directory; directory = directory->next) {
    char *path = name[0] == '/' ? checked_strdup(name) : join_path(directory, name);
    struct stat info;
    if (file_exists(path, &info)) {
      file->path = path;
      file->directory = directory;
      file->size = uint64_t(info.st_size);
      file->mtime = int64_t(info.st_mtime);
      file->device = uint64_t(info.st_dev);
      file->inode = uint64_t(info.st_ino);
      return file;
    }
    free(path);
    if (name[0] == '/')
      break;
  }
  file->error = ENOENT;
  return file;
}

// The directory of the current file, made once per file.
static search_dir *current_file_directory(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  while (buffer && buffer->file == nullptr)
    buffer = buffer->previous;
  source_file *file = buffer ? buffer->file : reader->main_file;
  if (file == nullptr)
    return &reader->no_search_path;
  if (file->own_directory == nullptr) {
    const char *path = source_file_path(file);
    const char *slash = strrchr(path, '/');
    search_dir *directory = checked_new_cleared<search_dir>();
    directory->name = slash ? checked_strndup(path, uint64_t(slash - path + 1)) : checked_strdup("");
    directory->length = uint32_t(strlen(directory->name));
    directory->next = reader->quote_include;
    directory->system_kind = buffer ? buffer->system_kind : 0;
    file->own_directory = directory;
  }
  return file->own_directory;
}

static search_dir *include_start_dir(preprocessor_reader *reader, const char *name, bool angled,
                                     int kind)
{
  // Absolute names, and command-line includes, which are relative to the
  // working directory.
  if (name[0] == '/' || kind == INCLUDE_COMMAND_LINE)
    return &reader->no_search_path;
  input_buffer *buffer = reader->buffer;
  if (kind == INCLUDE_NEXT && buffer && buffer->file && buffer->file->directory &&
      buffer->file->directory != &reader->no_search_path)
    return buffer->file->directory->next;
  search_dir *start;
  if (angled)
    start = reader->bracket_include;
  else if (reader->quote_ignores_source_dir)
    start = reader->quote_include;
  else
    start = current_file_directory(reader);
  if (start == nullptr)
    diag_error(reader, DL_ERROR, "no include path in which to search for %s", name);
  return start;
}

void install_include_chains(preprocessor_reader *reader, search_dir *quote, search_dir *bracket,
                            bool quote_ignores_source_dir)
{
  reader->quote_include = quote;
  reader->bracket_include = bracket;
  for (search_dir *directory = quote; directory; directory = directory->next)
    directory->length = uint32_t(strlen(directory->name));
  for (search_dir *directory = bracket; directory; directory = directory->next)
    directory->length = uint32_t(strlen(directory->name));
  reader->quote_ignores_source_dir = quote_ignores_source_dir;
}

static void report_missing(preprocessor_reader *reader, source_file *file, bool angled)
{
  bool system = reader->line_table->include_depth > 1 && reader->buffer &&
                reader->buffer->system_kind;
  bool listed = reader->options.deps_style > int32_t(angled || system);
  if (listed && reader->options.deps_missing_files && file->error == ENOENT) {
    deps_add_dep(_cpp_deps(reader), file->name);
    if (!reader->options.deps_need_preprocessed_output)
      return;
  }
  errno = file->error;
  int level = !listed && reader->options.deps_style && !reader->options.deps_need_preprocessed_output
                  ? DL_WARNING
                  : DL_FATAL;
  diag_errno_filename(reader, level, file->name, reader->directive_line);
}

// ---- The file digests saved with a precompiled header ----

struct digest_entry {
  uint64_t size;
  unsigned char md5[16];
  uint8_t once_only;
  uint8_t padding[7];
};

struct digest_header {
  uint64_t count;
  uint8_t have_once_only;
  uint8_t padding[7];
};

static_assert(sizeof(digest_entry) == 32 && sizeof(digest_header) == 16,
              "the stored layout of the digest table");

// The table read last; a process-wide setting, as precompiled headers are.
static struct {
  digest_entry *entries;
  uint64_t count;
  bool have_once_only;
} loaded_digests;

static int compare_entries(const void *a, const void *b)
{
  return memcmp(a, b, sizeof(digest_entry));
}

// Size and digest of the file's bytes; false when it cannot be read.
static bool digest_file(const char *path, digest_entry *entry)
{
  FILE *stream = fopen(path, "rb");
  if (stream == nullptr)
    return false;
  memset(entry, 0, sizeof *entry);
  bool ok = md5_digest_stream(stream, entry->md5) == 0;
  entry->size = uint64_t(ftell(stream));
  fclose(stream);
  return ok;
}

bool write_digest_table(preprocessor_reader *reader, FILE *stream)
{
  uint64_t count = 0;
  for (source_file *file = reader->all_files; file; file = file->next)
    count += file->path && file->error == 0 && file->stack_count > 0;
  size_t bytes = sizeof(digest_header) + count * sizeof(digest_entry);
  unsigned char *block = static_cast<unsigned char *>(checked_calloc(1, bytes));
  digest_header *header = reinterpret_cast<digest_header *>(block);
  digest_entry *entries = reinterpret_cast<digest_entry *>(block + sizeof(digest_header));
  uint64_t used = 0;
  for (source_file *file = reader->all_files; file; file = file->next) {
    if (!(file->path && file->error == 0 && file->stack_count > 0))
      continue;
    if (!digest_file(file->path, &entries[used])) {
      file->error = errno;
      report_missing(reader, file, false);
      free(block);
      return false;
    }
    entries[used].once_only = file->once_only;
    header->have_once_only |= file->once_only;
    used++;
  }
  header->count = used;
  merge_sort(entries, used, sizeof(digest_entry), compare_entries);
  bool ok = fwrite(block, bytes, 1, stream) == 1;
  free(block);
  return ok;
}

// The stream is untrusted: the count is checked against the bytes left
// before anything is allocated, and the table replaces the loaded one only
// when it was read whole.
bool load_digest_table(FILE *stream)
{
  digest_header header;
  if (fread(&header, sizeof header, 1, stream) != 1)
    return false;
  uint64_t left = _cpp_stream_bytes_left(stream);
  if (header.count > UINT64_MAX / sizeof(digest_entry) ||
      (left != UINT64_MAX && header.count > left / sizeof(digest_entry)))
    return false;
  digest_entry *entries = checked_new_array<digest_entry>(header.count ? header.count : 1);
  if (header.count && fread(entries, sizeof(digest_entry), header.count, stream) != header.count) {
    free(entries);
    return false;
  }
  free(loaded_digests.entries);
  loaded_digests.entries = entries;
  loaded_digests.count = header.count;
  loaded_digests.have_once_only = header.have_once_only != 0;
  return true;
}

void forget_digest_table()
{
  free(loaded_digests.entries);
  loaded_digests = {};
}

// Whether the loaded table lists a file of these bytes (once-only unless
// this is an import).
static bool listed_in_digests(const source_file *file, bool import)
{
  digest_entry key;
  if (!digest_file(file->path, &key))
    return false;
  for (uint64_t i = 0; i < loaded_digests.count; i++) {
    const digest_entry &entry = loaded_digests.entries[i];
    if (entry.size == key.size && memcmp(entry.md5, key.md5, sizeof key.md5) == 0 &&
        (import || entry.once_only))
      return true;
  }
  return false;
}

// ---- Stacking files ----

// Whether a once-only file with the same identity was stacked before.
static bool seen_once_only_twin(preprocessor_reader *reader, const source_file *file, bool import)
{
  for (source_file *other = reader->all_files; other; other = other->next) {
    if (other == file || other->path == nullptr || other->stack_count == 0)
      continue;
    if (!(other->once_only || import))
      continue;
    if (other->device == file->device && other->inode == file->inode)
      return true;
  }
  return false;
}

// Whether FILE's path is a dependency already: the main file, or the same
// path looked up from another directory and stacked before.
static bool path_listed_before(preprocessor_reader *reader, const source_file *file)
{
  const char *path = source_file_path(file);
  if (reader->main_file && strcmp(source_file_path(reader->main_file), path) == 0)
    return true;
  for (source_file *other = reader->all_files; other; other = other->next)
    if (other != file && other->stack_count && strcmp(source_file_path(other), path) == 0)
      return true;
  return false;
}

// Stacks FILE as a new buffer unless a guard or once-only mark says it
// would add nothing.
bool push_source_file(preprocessor_reader *reader, source_file *file, int kind)
{
  if (file->once_only)
    return false;
  if (kind == INCLUDE_IMPORT) {
    reader->seen_once_only = true;
    file->once_only = true;
    if (file->stack_count)
      return false;
  }
  if (file->controlling_macro && ident_is_macro(file->controlling_macro))
    return false;
  bool import = kind == INCLUDE_IMPORT;
  if (loaded_digests.entries && (import || loaded_digests.have_once_only) &&
      listed_in_digests(file, import)) {
    if (!import)
      file->once_only = true;
    return false;
  }
  if (reader->seen_once_only && seen_once_only_twin(reader, file, kind == INCLUDE_IMPORT))
    return false;
  charset_reporter reporter = _cpp_charset_reporter(reader);
  converted_source text = read_converted_source_reporting(&reporter, source_file_path(file),
                                                          reader->options.input_charset_name);
  if (text.block == nullptr) {
    file->error = errno;
    diag_errno_filename(reader, DL_ERROR, source_file_path(file), reader->directive_line);
    return false;
  }
  uint8_t system_kind = reader->buffer ? reader->buffer->system_kind : 0;
  if (file->directory && file->directory->system_kind > system_kind)
    system_kind = file->directory->system_kind;
  if (reader->options.deps_style > int32_t(system_kind != 0) && file->stack_count == 0 &&
      !path_listed_before(reader, file))
    deps_add_dep(_cpp_deps(reader), source_file_path(file));
  file->stack_count++;
  input_buffer *buffer =
      _cpp_buffer_push_block(reader, text.block, text.data, text.length, false);
  buffer->file = file;
  buffer->system_kind = system_kind;
  reader->mi_valid = true;
  reader->mi_controlling_macro = nullptr;
  // The include stands at the end of its directive's line; before any line
  // has been read there is no location to step back from.
  if (reader->line_table->top_location > reader->line_table->line_start_location)
    reader->line_table->top_location--;
  enter_file_change(reader, LC_ENTER, source_file_path(file), 1, system_kind);
  return true;
}

bool push_included_file(preprocessor_reader *reader, const char *name, bool angled, int kind,
                        location_t location)
{
  (void)location;
  search_dir *start = include_start_dir(reader, name, angled, kind);
  if (start == nullptr)
    return false;
  source_file *file = find_file(reader, name, start);
  if (file->error) {
    report_missing(reader, file, angled);
    return false;
  }
  return push_source_file(reader, file, kind);
}

bool has_header(preprocessor_reader *reader, const char *name, bool angled, int kind)
{
  search_dir *start = include_start_dir(reader, name, angled, kind);
  return start && find_file(reader, name, start)->error == 0;
}

int header_newer_than_current(preprocessor_reader *reader, const char *name, bool angled)
{
  search_dir *start = include_start_dir(reader, name, angled, INCLUDE_PLAIN);
  if (start == nullptr)
    return -1;
  source_file *file = find_file(reader, name, start);
  if (file->error)
    return -1;
  input_buffer *buffer = reader->buffer;
  while (buffer && buffer->file == nullptr)
    buffer = buffer->previous;
  struct stat current;
  if (buffer == nullptr || stat(source_file_path(buffer->file), &current) != 0)
    return 0;
  return int64_t(current.st_mtime) < file->mtime ? 1 : 0;
}

void set_once_only(preprocessor_reader *reader, source_file *file)
{
  file->once_only = true;
  reader->seen_once_only = true;
}

// At the end of a file's buffer: a guard seen around the whole file is kept.
void _cpp_note_file_end(preprocessor_reader *reader, source_file *file)
{
  if (reader->mi_valid && file->controlling_macro == nullptr)
    file->controlling_macro = const_cast<ident_node *>(reader->mi_controlling_macro);
  reader->mi_valid = false;
}

static int compare_paths(const void *a, const void *b)
{
  return strcmp(*static_cast<const char *const *>(a), *static_cast<const char *const *>(b));
}

void list_unguarded_headers(preprocessor_reader *reader, FILE *stream)
{
  uint32_t count = 0;
  for (source_file *file = reader->all_files; file; file = file->next)
    count++;
  const char **paths = checked_new_array<const char *>(count ? count : 1);
  uint32_t used = 0;
  for (source_file *file = reader->all_files; file; file = file->next)
    if (file->path && !file->once_only && !file->controlling_macro && file->stack_count == 1 &&
        file != reader->main_file)
      paths[used++] = file->path;
  if (used) {
    merge_sort(paths, used, sizeof *paths, compare_paths);
    fputs("Multiple include guards may be useful for:\n", stream);
    for (uint32_t i = 0; i < used; i++)
      fprintf(stream, "%s\n", paths[i]);
  }
  free(paths);
}

void _cpp_free_files(preprocessor_reader *reader)
{
  for (source_file *file = reader->all_files, *next; file; file = next) {
    next = file->next;
    if (file->own_directory) {
      free(const_cast<char *>(file->own_directory->name));
      free(file->own_directory);
    }
    free(const_cast<char *>(file->name));
    free(file->path);
    free(file);
  }
  reader->all_files = nullptr;
}
