// Source files: include search along the quote and bracket chains,
// once-only files and include guards.
#include "libsprenk/preprocessor-internal.h"

#include "support/alloc.h"

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
  if (name[0] == '/')
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
  if (reader->options.deps_style > int32_t(system_kind != 0) && file->stack_count == 0)
    deps_add_dep(_cpp_deps(reader), source_file_path(file));
  file->stack_count++;
  input_buffer *buffer =
      _cpp_buffer_push_block(reader, text.block, text.data, text.length, false);
  buffer->file = file;
  buffer->system_kind = system_kind;
  reader->mi_valid = true;
  reader->mi_controlling_macro = nullptr;
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
    qsort(paths, used, sizeof *paths, compare_paths);
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
