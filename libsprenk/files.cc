// Source files: include search along the quote and bracket chains with the
// directories' remap files, precompiled headers probed before a header and
// read through the client, includes the client translates, files read
// through the character-set conversion, once-only files and include guards.
#include "libsprenk/preprocessor-internal.h"

#include "libsprenk/charset.h"
#include "support/char-class.h"
#include "support/file-names.h"
#include "support/alloc.h"
#include "support/callback-hash-table.h"
#include "support/internal-abort.h"
#include "support/md5.h"
#include "support/sort.h"
#include "support/string-hash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- Include search ----

// A record for NAME, not yet on the reader's chain of files.
static source_file *new_source_file(const char *name, search_dir *directory)
{
  source_file *file = checked_new_cleared<source_file>();
  file->name = checked_strdup(name);
  file->directory = directory;
  file->pch_fd = -1;
  return file;
}

static void add_to_all_files(preprocessor_reader *reader, source_file *file)
{
  file->next = reader->all_files;
  reader->all_files = file;
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

// ---- The remap file "header.vuz" ----

static bool is_remap_blank(int c)
{
  return c != EOF && c != '\n' && c_isspace(uint8_t(c));
}

static int skip_remap_blanks(FILE *stream, int c)
{
  while (is_remap_blank(c))
    c = getc(stream);
  return c;
}

// The name starting with C, read up to a blank, a newline or the end; *C
// becomes the character after it.
static char *read_remap_name(FILE *stream, int *c)
{
  // Most names are short; the buffer doubles for longer ones.
  uint64_t allocated = 21, used = 0;
  char *name = static_cast<char *>(checked_malloc(allocated));
  int ch = *c;
  while (ch != EOF && ch != '\n' && !is_remap_blank(ch)) {
    if (used + 1 == allocated)
      name = _cpp_grow_array(name, &allocated, allocated * 2);
    name[used++] = char(ch);
    ch = getc(stream);
  }
  name[used] = '\0';
  *c = ch;
  return name;
}

static void add_remap_pair(remap_table *table, uint64_t *allocated, char *from, char *to)
{
  // Room for the new pair and the ending null.
  if (2 * table->count + 3 > *allocated)
    table->pairs = _cpp_grow_array(table->pairs, allocated, *allocated * 2 + 3);
  table->pairs[2 * table->count] = from;
  table->pairs[2 * table->count + 1] = to;
  table->count++;
  table->pairs[2 * table->count] = nullptr;
}

static remap_table *empty_remap_table()
{
  remap_table *table = checked_new_cleared<remap_table>();
  table->pairs = checked_new_cleared<char *>();
  return table;
}

remap_table *_cpp_read_remap_table(FILE *stream, const char *directory)
{
  remap_table *table = empty_remap_table();
  uint64_t allocated = 1;
  search_dir base = {};
  base.name = directory;
  base.length = uint32_t(strlen(directory));
  for (int c = getc(stream); c != EOF;) {
    c = skip_remap_blanks(stream, c);
    if (c == '\n') {
      c = getc(stream);
      continue;
    }
    if (c == EOF)
      break;
    char *from = read_remap_name(stream, &c);
    c = skip_remap_blanks(stream, c);
    // A line of one name says nothing.
    if (c == '\n' || c == EOF) {
      free(from);
      continue;
    }
    char *to = read_remap_name(stream, &c);
    if (to[0] != '/') {
      char *joined = join_path(&base, to);
      free(to);
      to = joined;
    }
    add_remap_pair(table, &allocated, from, to);
    while (c != '\n' && c != EOF)
      c = getc(stream);
  }
  return table;
}

void _cpp_free_remap_table(remap_table *table)
{
  for (uint64_t i = 0; i < 2 * table->count; i++)
    free(table->pairs[i]);
  free(table->pairs);
  free(table);
}

const char *_cpp_remap_lookup(const remap_table *table, const char *name)
{
  for (uint64_t i = 0; i < table->count; i++)
    if (strcmp(table->pairs[2 * i], name) == 0)
      return table->pairs[2 * i + 1];
  return nullptr;
}

// The directory's remap table, read from its "header.vuz" on first use; a
// directory without one gets an empty table.
static const remap_table *remap_table_of(preprocessor_reader *reader, search_dir *directory)
{
  if (directory->remap)
    return directory->remap;
  char *path = join_path(directory, "header.vuz");
  FILE *stream = fopen(path, "r");
  free(path);
  remap_table *table = empty_remap_table();
  if (stream) {
    _cpp_free_remap_table(table);
    table = _cpp_read_remap_table(stream, directory->name);
    fclose(stream);
  }
  table->next = reader->remap_tables;
  reader->remap_tables = table;
  directory->remap = table;
  return table;
}

// The path NAME is remapped to from DIRECTORY, or null. A name with a
// directory part is looked up in the made directory of that part too.
static char *remapped_path(preprocessor_reader *reader, search_dir *directory, const char *name)
{
  for (;;) {
    if (const char *to = _cpp_remap_lookup(remap_table_of(reader, directory), name))
      return checked_strdup(to);
    const char *slash = strchr(name, '/');
    if (slash == nullptr || slash == name)
      return nullptr;
    // The directory joined with the name's directory part, its '/' kept.
    char *part = join_path(directory, name);
    part[strlen(part) - strlen(slash + 1)] = '\0';
    directory = make_search_dir(reader, part, directory->system_kind);
    free(part);
    name = slash + 1;
  }
}

static void free_remap_tables(preprocessor_reader *reader)
{
  for (remap_table *table = reader->remap_tables, *next; table; table = next) {
    next = table->next;
    _cpp_free_remap_table(table);
  }
  reader->remap_tables = nullptr;
}

// ---- Precompiled headers ----

// A precompiled header may stand for a header only before any file other
// than the main file was looked up: what it holds was read at that point.
static bool pch_probe_allowed(preprocessor_reader *reader, const source_file *file)
{
  if (file->name[0] == '\0' || reader->callbacks.valid_pch == nullptr)
    return false;
  for (const source_file *other = reader->all_files; other; other = other->next)
    if (other != file && !other->pre_included)
      return other == reader->main_file;
  return true;
}

// Asks the client whether PATH is a precompiled header it can use for
// FILE; a valid one stays open for the read callback. One that does not
// open is refused, and listed so, like any other: it was found.
static bool check_pch_candidate(preprocessor_reader *reader, source_file *file, const char *path)
{
  int fd = open(path, O_RDONLY | O_NOCTTY);
  bool valid = fd >= 0 && reader->callbacks.valid_pch(reader, path, fd) != 0;
  if (valid) {
    file->pch_path = checked_strdup(path);
    file->pch_fd = fd;
  } else if (fd >= 0) {
    close(fd);
  }
  if (reader->options.list_included_files) {
    for (uint32_t level = 1; level < reader->line_table->include_depth; level++)
      putc('.', stderr);
    fprintf(stderr, "%c %s\n", valid ? '!' : 'x', path);
  }
  return valid;
}

// The precompiled header is not used after all.
static void drop_pch(source_file *file)
{
  if (file->pch_path == nullptr)
    return;
  close(file->pch_fd);
  free(file->pch_path);
  file->pch_path = nullptr;
}

static void free_source_file(source_file *file)
{
  drop_pch(file);
  free(const_cast<char *>(file->name));
  free(file->path);
  free(file);
}

// Probes PATH followed by ".zerd": a file, or a directory whose entries are
// tried in directory order. *INVALID_SEEN is set when a candidate was
// examined and refused.
static void probe_pch(preprocessor_reader *reader, source_file *file, const char *path,
                      bool *invalid_seen)
{
  char *pch = format_alloc("%s.zerd", path);
  struct stat info;
  if (stat(pch, &info) != 0) {
    free(pch);
    return;
  }
  bool valid = false;
  if (S_ISDIR(info.st_mode)) {
    if (DIR *directory = opendir(pch)) {
      while (!valid) {
        struct dirent *entry = readdir(directory);
        if (entry == nullptr)
          break;
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
          continue;
        char *candidate = format_alloc("%s/%s", pch, entry->d_name);
        valid = check_pch_candidate(reader, file, candidate);
        *invalid_seen |= !valid;
        free(candidate);
      }
      closedir(directory);
    }
  } else {
    valid = check_pch_candidate(reader, file, pch);
    *invalid_seen |= !valid;
  }
  free(pch);
}

// ---- Include search ----

// System headers are named in diagnostics and dependencies: a shorter
// resolved form reads better there.
static char *shorter_canonical_path(char *path)
{
  char *canonical = canonical_path(path);
  if (strlen(canonical) < strlen(path)) {
    free(path);
    return canonical;
  }
  free(canonical);
  return path;
}

// The path of NAME in DIRECTORY, remapped when remap files are read; null
// when the directory's own hook says it has no such file.
static char *path_in_directory(preprocessor_reader *reader, search_dir *directory,
                               const char *name)
{
  char *path = nullptr;
  if (reader->options.use_remap_files)
    path = remapped_path(reader, directory, name);
  if (path == nullptr)
    path = directory->construct ? directory->construct(name, directory)
                                : join_path(directory, name);
  if (path && reader->options.canonical_system_headers && directory->system_kind)
    path = shorter_canonical_path(path);
  return path;
}

static void record_found(source_file *file, char *path, search_dir *directory,
                         const struct stat &info)
{
  file->path = path;
  file->directory = directory;
  file->info = info;
}

// ---- Paths known not to exist ----

// A path one search found missing is not probed again by the next: the
// same header is often looked for from many start directories.
static bool known_missing(preprocessor_reader *reader, const char *path)
{
  return callback_hash_table_find(reader->nonexistent_names, path) != nullptr;
}

static void note_missing(preprocessor_reader *reader, const char *path)
{
  void **slot = callback_hash_table_find_slot(reader->nonexistent_names, path, INSERT);
  if (*slot == nullptr)
    *slot = obstack_copy_in_nul(&reader->nonexistent_name_strings, path, strlen(path));
}

// 0 when PATH opens for reading, else the error number: a file that stat
// finds may still refuse to open (a socket, a symbolic link loop).
static int open_error(const char *path)
{
  // Without blocking: a FIFO is read later, when it is stacked.
  int fd = open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return errno;
  close(fd);
  return 0;
}

// 0 when PATH names an existing file that opens, else the error number:
// ENOENT for a missing one (or a directory), which is remembered.
static int probe_path(preprocessor_reader *reader, const char *path, struct stat *info)
{
  // The empty path is the standard input.
  if (path[0] == '\0')
    return fstat(STDIN_FILENO, info) == 0 ? 0 : errno;
  int error = ENOENT;
  if (stat(path, info) != 0)
    error = errno;
  else if (!S_ISDIR(info->st_mode))
    error = open_error(path);
  if (error != ENOENT && error != ENOTDIR)
    return error;
  note_missing(reader, path);
  return ENOENT;
}

// At the end of the chain the client may name a file to use instead; one
// that does not open leaves the header missing, as a path in the chain does.
static bool ask_missing_header(preprocessor_reader *reader, source_file *file)
{
  if (reader->callbacks.missing_header == nullptr)
    return false;
  void *slot = file->directory;
  const char *path = reader->callbacks.missing_header(reader, file->name, &slot);
  struct stat info;
  if (path == nullptr || probe_path(reader, path, &info) != 0)
    return false;
  record_found(file, checked_strdup(path), static_cast<search_dir *>(slot), info);
  return true;
}

// ---- The cache of lookups ----

// One lookup of a name from a start directory. The table holds the newest
// entry of each name; older ones of that name follow through NEXT. An
// entry of the directory table has no start and names a made directory.
struct file_hash_entry {
  file_hash_entry *next;
  search_dir *start;
  location_t location;
  union {
    source_file *file;
    search_dir *directory;
  };
};

// Entries are never freed one by one: they come from blocks freed with the
// reader.
enum { FILE_ENTRIES_PER_BLOCK = 127 };

struct file_hash_block {
  uint32_t count;
  file_hash_block *next;
  file_hash_entry entries[FILE_ENTRIES_PER_BLOCK];
};

static hashval_t hash_file_entry(const void *element)
{
  return string_hash(static_cast<const file_hash_entry *>(element)->file->name);
}

// The key is the name looked up.
static int file_entry_has_name(const void *stored, const void *key)
{
  const file_hash_entry *entry = static_cast<const file_hash_entry *>(stored);
  return strcmp(entry->file->name, static_cast<const char *>(key)) == 0;
}

// The newest entry of NAME, or null.
static file_hash_entry *file_entries_of(preprocessor_reader *reader, const char *name)
{
  return static_cast<file_hash_entry *>(
      callback_hash_table_find_hashed(reader->file_hash, name, string_hash(name)));
}

static file_hash_entry *entry_from(file_hash_entry *entry, const search_dir *start)
{
  while (entry && entry->start != start)
    entry = entry->next;
  return entry;
}

static file_hash_entry *new_hash_entry(preprocessor_reader *reader)
{
  file_hash_block *block = reader->file_entries;
  if (block == nullptr || block->count == FILE_ENTRIES_PER_BLOCK) {
    block = checked_new_cleared<file_hash_block>();
    block->next = reader->file_entries;
    reader->file_entries = block;
  }
  return &block->entries[block->count++];
}

static void add_file_entry(preprocessor_reader *reader, source_file *file, search_dir *start,
                           location_t location)
{
  file_hash_entry *entry = new_hash_entry(reader);
  void **slot = callback_hash_table_find_slot_hashed(reader->file_hash, file->name,
                                                     string_hash(file->name), INSERT);
  *entry = {static_cast<file_hash_entry *>(*slot), start, location, {file}};
  *slot = entry;
}

static void free_file_entries(preprocessor_reader *reader)
{
  for (file_hash_block *block = reader->file_entries, *next; block; block = next) {
    next = block->next;
    free(block);
  }
  reader->file_entries = nullptr;
}

// ---- Directories the library makes ----

// Made directories come in blocks that outlive a reset of the cache: files
// still being read may have been found in them.
struct search_dir_block {
  search_dir_block *next;
  search_dir directory;
};

static hashval_t hash_directory_entry(const void *element)
{
  return string_hash(static_cast<const file_hash_entry *>(element)->directory->name);
}

// The key is the directory's name.
static int directory_entry_has_name(const void *stored, const void *key)
{
  const file_hash_entry *entry = static_cast<const file_hash_entry *>(stored);
  return strcmp(entry->directory->name, static_cast<const char *>(key)) == 0;
}

search_dir *make_search_dir(preprocessor_reader *reader, const char *name, uint8_t system_kind)
{
  void **slot = callback_hash_table_find_slot_hashed(reader->directory_hash, name,
                                                     string_hash(name), INSERT);
  if (*slot)
    return static_cast<file_hash_entry *>(*slot)->directory;
  search_dir_block *block = checked_new_cleared<search_dir_block>();
  block->directory.next = reader->quote_include;
  block->directory.name = checked_strdup(name);
  block->directory.length = uint32_t(strlen(name));
  block->directory.system_kind = system_kind;
  block->next = reader->made_directories;
  reader->made_directories = block;
  file_hash_entry *entry = new_hash_entry(reader);
  entry->next = nullptr;
  entry->start = nullptr;
  entry->location = reader->line_table->top_location;
  entry->directory = &block->directory;
  *slot = entry;
  return &block->directory;
}

static void free_directory_blocks(search_dir_block **list)
{
  for (search_dir_block *block = *list, *next; block; block = next) {
    next = block->next;
    free(const_cast<char *>(block->directory.name));
    free(block);
  }
  *list = nullptr;
}

// ---- Finding a file ----

// What a walk along the chain met: a refused precompiled header, and the
// chain heads it passed.
struct chain_walk {
  bool invalid_pch;
  bool passed_bracket;
  bool passed_quote;
};

// When DIRECTORY heads a chain, the file a lookup from it found before.
static source_file *chain_head_file(preprocessor_reader *reader, chain_walk *walk,
                                    search_dir *directory, const char *name)
{
  bool head = false;
  if (directory == reader->bracket_include)
    head = walk->passed_bracket = true;
  if (directory == reader->quote_include)
    head = walk->passed_quote = true;
  file_hash_entry *entry = head ? entry_from(file_entries_of(reader, name), directory) : nullptr;
  return entry ? entry->file : nullptr;
}

// Walks the chain from START for FILE's name: FILE when it is found, the
// file a lookup from a chain head on the way found, or null.
static source_file *search_chain(preprocessor_reader *reader, source_file *file,
                                 search_dir *start, chain_walk *walk)
{
  const char *name = file->name;
  bool probe = pch_probe_allowed(reader, file);
  for (search_dir *directory = start; directory; directory = directory->next) {
    if (directory != start)
      if (source_file *found = chain_head_file(reader, walk, directory, name))
        return found;
    char *path = path_in_directory(reader, directory, name);
    // A path known missing is neither opened nor probed for a precompiled
    // header.
    if (path && !known_missing(reader, path)) {
      if (probe)
        probe_pch(reader, file, path, &walk->invalid_pch);
      struct stat info;
      int error = probe_path(reader, path, &info);
      if (error == 0) {
        record_found(file, path, directory, info);
        return file;
      }
      drop_pch(file);
      // A header that is there but cannot be reached ends the search: one
      // further along the chain is not the header meant.
      if (error != ENOENT) {
        file->path = path;
        file->error = error;
        return file;
      }
    }
    free(path);
    if (name[0] == '/')
      break;
  }
  return nullptr;
}

static void report_invalid_pch(preprocessor_reader *reader)
{
  diag_error(reader, DL_ERROR, "one or more PCH files were found, but they were invalid");
  if (!reader->options.warn_invalid_pch)
    diag_error(reader, DL_NOTE, "use -Winvalid-pch for more information");
}

// A chain head the walk passed gets its entry too, unless the lookup
// started there, the file was found there, or it has one.
static void add_head_entry(preprocessor_reader *reader, source_file *file, search_dir *head,
                           search_dir *start, location_t location)
{
  if (head == start || head == file->directory ||
      entry_from(file_entries_of(reader, file->name), head))
    return;
  add_file_entry(reader, file, head, location);
}

static void add_lookup_entries(preprocessor_reader *reader, source_file *file, search_dir *start,
                               const chain_walk &walk, location_t location)
{
  add_file_entry(reader, file, start, location);
  if (walk.passed_bracket)
    add_head_entry(reader, file, reader->bracket_include, start, location);
  if (walk.passed_quote)
    add_head_entry(reader, file, reader->quote_include, start, location);
}

// A file read for an optional default include, and every file it reads,
// is pre-included.
static bool reading_pre_included(const preprocessor_reader *reader)
{
  return reader->buffer && reader->buffer->file && reader->buffer->file->pre_included;
}

static void report_missing(preprocessor_reader *reader, source_file *file, bool angled,
                           location_t location);

// The file of NAME looked up from START along the chain, remembered per
// start directory; its error number is set when it was not found. A fake
// lookup only records the name; a missing optional file gives null.
static source_file *find_file(preprocessor_reader *reader, const char *name, search_dir *start,
                              int kind, location_t location)
{
  if (start == nullptr) {
    diag_error(reader, DL_ICE, "NULL directory in find_file");
    return nullptr;
  }
  if (file_hash_entry *entry = entry_from(file_entries_of(reader, name), start))
    return entry->file;
  source_file *file = new_source_file(name, start);
  file->pre_included = kind == LOOKUP_OPTIONAL || reading_pre_included(reader);
  chain_walk walk = {};
  if (kind != LOOKUP_FAKE) {
    source_file *found = search_chain(reader, file, start, &walk);
    if (found == file && file->error)
      report_missing(reader, file, false, location);
    if (found && found != file) {
      free_source_file(file);
      add_lookup_entries(reader, found, start, walk, location);
      return found;
    }
    if (found == nullptr) {
      if (ask_missing_header(reader, file)) {
        // Not a lookup from START: the next one asks again.
        add_to_all_files(reader, file);
        return file;
      }
      if (walk.invalid_pch)
        report_invalid_pch(reader);
      file->error = ENOENT;
      if (kind == LOOKUP_OPTIONAL) {
        free_source_file(file);
        return nullptr;
      }
    }
  }
  add_to_all_files(reader, file);
  add_lookup_entries(reader, file, start, walk, location);
  return file;
}

// The directory quoted includes of the current file start in: its
// directory with its buffer's system kind. One record serves every
// file of that directory and kind, so their lookups share entries; a
// header read from both a system and a user header gets two.
static search_dir *current_file_directory(preprocessor_reader *reader)
{
  input_buffer *buffer = current_file_buffer(reader);
  source_file *file = buffer ? buffer->file : reader->main_file;
  if (file == nullptr)
    return &reader->no_search_path;
  uint8_t kind = buffer ? buffer->system_kind : SYSTEM_NONE;
  const char *path = source_file_path(file);
  const char *slash = strrchr(path, '/');
  uint64_t length = slash ? uint64_t(slash - path + 1) : 0;
  for (search_dir_block *block = reader->source_directories; block; block = block->next) {
    search_dir *directory = &block->directory;
    if (directory->system_kind == kind && directory->length == length &&
        memcmp(directory->name, path, length) == 0)
      return directory;
  }
  search_dir_block *block = checked_new_cleared<search_dir_block>();
  block->directory.name = checked_strndup(path, length);
  block->directory.length = uint32_t(length);
  block->directory.next = reader->quote_include;
  block->directory.system_kind = kind;
  block->next = reader->source_directories;
  reader->source_directories = block;
  return &block->directory;
}

// Where a search for NAME starts; null when there is nowhere to search.
static search_dir *start_directory(preprocessor_reader *reader, const char *name, bool angled,
                                   int kind)
{
  if (name[0] == '/')
    return &reader->no_search_path;
  input_buffer *buffer = reader->buffer;
  if (kind == INCLUDE_NEXT && buffer && buffer->file && buffer->file->directory &&
      buffer->file->directory != &reader->no_search_path)
    return buffer->file->directory->next;
  if (angled)
    return reader->bracket_include;
  if (kind == INCLUDE_COMMAND_LINE)
    // Relative to the working directory first, then as a quoted include.
    return make_search_dir(reader, "./", 0);
  if (reader->quote_ignores_source_dir)
    return reader->quote_include;
  return current_file_directory(reader);
}

static search_dir *include_start_dir(preprocessor_reader *reader, const char *name, bool angled,
                                     int kind)
{
  search_dir *start = start_directory(reader, name, angled, kind);
  if (start == nullptr)
    diag_error(reader, DL_ERROR, "no include path in which to search for %s", name);
  return start;
}

void install_include_chains(preprocessor_reader *reader, search_dir *quote, search_dir *bracket,
                            bool quote_ignores_source_dir)
{
  // The bracket chain is the tail of the quote chain that BRACKET heads;
  // without one there, angled includes search the quote directories too.
  reader->quote_include = reader->bracket_include = quote;
  for (search_dir *directory = quote; directory; directory = directory->next) {
    if (directory == bracket)
      reader->bracket_include = directory;
    directory->length = uint32_t(strlen(directory->name));
    directory->remap = nullptr;
  }
  reader->quote_ignores_source_dir = quote_ignores_source_dir;
}

// Reported at LOCATION: the header name of an include, none for a file
// named on the command line.
static void report_missing(preprocessor_reader *reader, source_file *file, bool angled,
                           location_t location)
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
  diag_errno_filename(reader, level, source_file_path(file), location);
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
      report_missing(reader, file, false, reader->directive_line);
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

// Whether two files hold the same bytes; false when either cannot be read.
static bool same_bytes(const char *path_a, const char *path_b)
{
  FILE *a = fopen(path_a, "rb");
  FILE *b = a ? fopen(path_b, "rb") : nullptr;
  bool same = b != nullptr;
  while (same) {
    char block_a[4096], block_b[4096];
    size_t got_a = fread(block_a, 1, sizeof block_a, a);
    size_t got_b = fread(block_b, 1, sizeof block_b, b);
    same = got_a == got_b && memcmp(block_a, block_b, got_a) == 0;
    if (got_a < sizeof block_a)
      break;
  }
  if (b)
    fclose(b);
  if (a)
    fclose(a);
  return same;
}

// Whether a once-only file (any file, for an import) holds FILE's text: a
// copy of a header reached by another path is the header. Time and size
// are compared first, so that the bytes are read only for likely twins.
static bool seen_once_only_twin(preprocessor_reader *reader, const source_file *file, bool import)
{
  for (source_file *other = reader->all_files; other; other = other->next) {
    if (other == file || other->path == nullptr || other->error)
      continue;
    if (!(other->once_only || import))
      continue;
    if (other->info.st_mtime == file->info.st_mtime && other->info.st_size == file->info.st_size &&
        same_bytes(other->path, source_file_path(file)))
      return true;
  }
  return false;
}

// Whether FILE's path is a dependency already: the main file, or the same
// path looked up from another directory and stacked before.
static bool path_listed_before(preprocessor_reader *reader, const source_file *file)
{
  const char *path = source_file_path(file);
  if (file == reader->main_file)
    return reader->options.deps_ignore_main_file;
  if (reader->main_file && strcmp(source_file_path(reader->main_file), path) == 0)
    return true;
  for (source_file *other = reader->all_files; other; other = other->next)
    if (other != file && other->stack_count && strcmp(source_file_path(other), path) == 0)
      return true;
  return false;
}

// The client may replace an include by text of its own (an import of the
// header unit): that text is read where the include stood, in the same
// file, and the header becomes a once-only header unit.
static bool translate_include(preprocessor_reader *reader, source_file *file, int kind,
                              location_t location)
{
  if (kind == INCLUDE_NEXT || kind >= INCLUDE_MAIN || file->header_unit != HEADER_UNIT_UNDECIDED ||
      reader->callbacks.translate_include == nullptr)
    return false;
  char *text = reader->callbacks.translate_include(reader, reader->line_table, location,
                                                   source_file_path(file));
  if (text == nullptr) {
    file->header_unit = HEADER_UNIT_NO;
    return false;
  }
  // The two newlines bring the line back to the one after the include.
  static const unsigned char two_newlines[] = "\n\n";
  buffer_push(reader, two_newlines, 2, true);
  buffer_push(reader, reinterpret_cast<const unsigned char *>(text), strlen(text), true);
  free(text);
  file->header_unit = HEADER_UNIT_YES;
  set_once_only(reader, file);
  linemap_set *set = reader->line_table;
  if (kind != INCLUDE_COMMAND_LINE) {
    if (set->top_location > set->line_start_location)
      set->top_location--;
    linemap_start_line(set, _cpp_current_line(reader) - 1, 127);
  }
  return true;
}

// Problems met reading a file are reported where it was asked for.
struct read_reporter {
  preprocessor_reader *reader;
  location_t location;
};

static void report_read_problem(void *data, int level, int error_number, const char *text)
{
  read_reporter *where = static_cast<read_reporter *>(data);
  if (error_number) {
    errno = error_number;
    diag_errno_filename(where->reader, level, text, where->location);
  } else {
    diag_error_at_location(where->reader, level, where->location, "%s", text);
  }
}

// FILE's text in the source character set; a null block after a report.
// A file that could not be read is not tried again: it was reported once.
static converted_source load_file_text(preprocessor_reader *reader, source_file *file,
                                       location_t location)
{
  if (file->must_not_read || file->error)
    return converted_source{};
  const char *path = source_file_path(file);
  struct stat info;
  int fd = open_source_file(path, &info);
  if (fd < 0) {
    // Found but gone or unopenable now: as fatal as a header that is not there.
    file->error = errno;
    report_missing(reader, file, false, location);
    return converted_source{};
  }
  read_reporter where = {reader, location};
  charset_reporter reporter = {&where, report_read_problem};
  converted_source text =
      read_file_contents(&reporter, path, fd, info, reader->options.input_charset_name);
  if (fd != 0)
    close(fd);
  file->must_not_read = text.block == nullptr;
  return text;
}

bool _cpp_input_is_stage3(const preprocessor_reader *reader)
{
  return reader->options.preprocessed_input && !reader->options.directives_only;
}

// Stacks FILE as a new buffer unless a guard or once-only mark says it
// would add nothing.
bool push_source_file(preprocessor_reader *reader, source_file *file, int kind,
                      location_t location)
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
  if (file->pch_path && reader->callbacks.read_pch) {
    // The descriptor is the callback's from here on.
    reader->callbacks.read_pch(reader, file->pch_path, file->pch_fd, source_file_path(file));
    free(file->pch_path);
    file->pch_path = nullptr;
    return false;
  }
  if (translate_include(reader, file, kind, location))
    return true;
  bool import = kind == INCLUDE_IMPORT;
  if (loaded_digests.entries && (import || loaded_digests.have_once_only) &&
      listed_in_digests(file, import)) {
    if (!import)
      file->once_only = true;
    return false;
  }
  if (reader->seen_once_only && seen_once_only_twin(reader, file, kind == INCLUDE_IMPORT))
    return false;
  converted_source text = load_file_text(reader, file, location);
  if (text.block == nullptr)
    return false;
  uint8_t system_kind = reader->buffer ? reader->buffer->system_kind : SYSTEM_NONE;
  if (file->directory && file->directory->system_kind > system_kind)
    system_kind = file->directory->system_kind;
  if (reader->options.deps_style > int32_t(system_kind != 0) && file->stack_count == 0 &&
      source_file_path(file)[0] != '\0' && !path_listed_before(reader, file))
    deps_add_dep(_cpp_deps(reader), source_file_path(file));
  file->stack_count++;
  input_buffer *buffer = _cpp_buffer_push_block(reader, text.block, text.data, text.length,
                                                _cpp_input_is_stage3(reader));
  buffer->file = file;
  buffer->system_kind = system_kind;
  buffer->input_converter = text.converter;
  reader->mi_valid = true;
  reader->mi_controlling_macro = nullptr;
  // An include directive has moved the line table past its own line: the
  // includer is the line of the directive. A command-line include stands
  // before any line. An exhausted table stays where it stopped.
  linemap_set *set = reader->line_table;
  if (kind <= INCLUDE_IMPORT && set->top_location != LINE_MAP_MAX_LOCATION - 1)
    set->top_location--;
  // Injected text before the main file's first line stands on line 0.
  enter_file_change(reader, LC_ENTER, source_file_path(file), kind == INCLUDE_INJECTED_MAIN ? 0 : 1,
                    system_kind);
  return true;
}

// The file NAME names from where an include of KIND starts, looked up as
// LOOKUP says; null when there is no start, or when it is missing and
// either optional or reported.
static source_file *lookup_header(preprocessor_reader *reader, const char *name, bool angled,
                                  int kind, int lookup, location_t location)
{
  search_dir *start = include_start_dir(reader, name, angled, kind);
  if (start == nullptr)
    return nullptr;
  source_file *file = find_file(reader, name, start, lookup, location);
  if (file && file->error && lookup == LOOKUP_NORMAL) {
    // A failure other than a missing file was reported by the search.
    if (file->error == ENOENT)
      report_missing(reader, file, angled, location);
    return nullptr;
  }
  return file;
}

bool push_included_file(preprocessor_reader *reader, const char *name, bool angled, int kind,
                        location_t location)
{
  // Reports made while a command-line include is stacked belong to no line.
  if (kind == INCLUDE_COMMAND_LINE && reader->cur_token != reader->cur_run->first)
    reader->cur_token[-1].location = 0;
  int lookup = kind == INCLUDE_DEFAULT ? LOOKUP_OPTIONAL : LOOKUP_NORMAL;
  source_file *file = lookup_header(reader, name, angled, kind, lookup, location);
  return file && push_source_file(reader, file, kind, location);
}

bool push_optional_default_include(preprocessor_reader *reader, const char *name)
{
  return push_included_file(reader, name, true, INCLUDE_DEFAULT, 0);
}

bool has_header(preprocessor_reader *reader, const char *name, bool angled, int kind,
                location_t location)
{
  // A question, not an include: with nowhere to search (no bracket
  // chain, or a __has_include_next from the chain's last directory) the
  // header is simply not there.
  search_dir *start = start_directory(reader, name, angled, kind);
  if (start == nullptr)
    return false;
  source_file *file = find_file(reader, name, start, LOOKUP_PROBE, location);
  // A header that is there but unreadable is there: including it reports why.
  return file && file->error != ENOENT;
}

const char *locate_header_unit(preprocessor_reader *reader, const char *name, bool angled,
                               location_t location)
{
  source_file *file = lookup_header(reader, name, angled, INCLUDE_PLAIN, LOOKUP_NORMAL, location);
  if (file == nullptr)
    return nullptr;
  set_once_only(reader, file);
  file->header_unit = HEADER_UNIT_YES;
  return source_file_path(file);
}

const char *probe_header_path(preprocessor_reader *reader, const char *name, bool angled,
                              location_t location)
{
  source_file *file = lookup_header(reader, name, angled, INCLUDE_PLAIN, LOOKUP_NORMAL, location);
  return file ? source_file_path(file) : nullptr;
}

bool push_include_file(preprocessor_reader *reader, const char *name)
{
  return push_included_file(reader, name, false, INCLUDE_COMMAND_LINE, 0);
}

void cpp_retrofit_as_include(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  vuz_assert(buffer && buffer->previous == nullptr);
  source_file *file = reader->main_file;
  const char *path = source_file_path(file);
  for (search_dir *directory = reader->quote_include; directory; directory = directory->next) {
    if (strncmp(directory->name, path, directory->length) != 0 || path[directory->length] != '/')
      continue;
    file->directory = directory;
    if (directory->system_kind) {
      buffer->system_kind = SYSTEM_HEADER;
      const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
      enter_file_change(reader, LC_RENAME, map->file_name, _cpp_current_line(reader),
                        SYSTEM_HEADER);
    }
    break;
  }
  reader->mi_valid = true;
  reader->mi_controlling_macro = nullptr;
}

void enter_file_at_line_one(preprocessor_reader *reader, line_map_reason reason, const char *name)
{
  enter_file_change(reader, reason, name, 1, 0);
}

// Whether FILE is still read: the main file, or a file on the buffer stack.
static bool file_in_use(preprocessor_reader *reader, const source_file *file)
{
  if (file == reader->main_file)
    return true;
  for (const input_buffer *buffer = reader->buffer; buffer; buffer = buffer->previous)
    if (buffer->file == file)
      return true;
  return false;
}

// The lookups made so far, the directories made by name and the paths
// found missing.
static void forget_lookups(preprocessor_reader *reader)
{
  callback_hash_table_delete(reader->nonexistent_names);
  reader->nonexistent_names = nullptr;
  obstack_free_to(&reader->nonexistent_name_strings, nullptr);
  callback_hash_table_delete(reader->file_hash);
  reader->file_hash = nullptr;
  callback_hash_table_delete(reader->directory_hash);
  reader->directory_hash = nullptr;
  free_file_entries(reader);
}

// A client may clear the cache while files are read (after a precompiled
// header replaced what they defined): the files the reader still reads
// stay, in their order, and so do the remap tables the include chains
// point to. Later lookups make their directories afresh; the ones made
// before stay allocated, as files still read may have been found there.
void reset_file_cache(preprocessor_reader *reader)
{
  source_file **link = &reader->all_files;
  while (source_file *file = *link) {
    if (file_in_use(reader, file)) {
      link = &file->next;
    } else {
      *link = file->next;
      free_source_file(file);
    }
  }
  forget_lookups(reader);
  init_file_cache(reader);
}

// ---- Accessors ----

bool cpp_file_failed(const source_file *file)
{
  return file->error != 0;
}

const char *cpp_file_name(const source_file *file)
{
  return file->name;
}

const char *cpp_file_path(const source_file *file)
{
  return source_file_path(file);
}

search_dir *cpp_file_dir(const source_file *file)
{
  return file->directory;
}

const struct stat *cpp_file_stat(const source_file *file)
{
  return &file->info;
}

input_buffer *cpp_top_buffer(preprocessor_reader *reader)
{
  return reader->buffer;
}

source_file *cpp_buffer_file(const input_buffer *buffer)
{
  return buffer->file;
}

input_buffer *cpp_buffer_previous(const input_buffer *buffer)
{
  return buffer->previous;
}

int header_newer_than_current(preprocessor_reader *reader, const char *name, bool angled)
{
  source_file *file =
      lookup_header(reader, name, angled, INCLUDE_PLAIN, LOOKUP_PROBE, reader->directive_line);
  if (file == nullptr || file->error)
    return -1;
  input_buffer *buffer = current_file_buffer(reader);
  struct stat current;
  if (buffer == nullptr || stat(source_file_path(buffer->file), &current) != 0)
    return 0;
  return current.st_mtime < file->info.st_mtime ? 1 : 0;
}

// Whether a lookup of NAME found a file, at or before LOCATION when
// BEFORE is set.
static bool found_by_lookup(preprocessor_reader *reader, const char *name, bool before,
                            location_t location)
{
  for (file_hash_entry *entry = file_entries_of(reader, name); entry; entry = entry->next)
    if (entry->start && entry->file->error == 0 && (!before || entry->location <= location))
      return true;
  return false;
}

bool file_included(preprocessor_reader *reader, const char *name)
{
  return found_by_lookup(reader, name, false, 0);
}

bool file_included_before(preprocessor_reader *reader, const char *name, location_t location)
{
  if (location_is_adhoc(location))
    location = adhoc_locus(reader->line_table, location);
  return found_by_lookup(reader, name, true, location);
}

source_file *_cpp_find_main_file(preprocessor_reader *reader, const char *name,
                                 search_dir *chain)
{
  source_file *file = find_file(reader, name, chain, LOOKUP_NORMAL, 0);
  if (file && file->error == ENOENT)
    report_missing(reader, file, false, 0);
  return file && file->error == 0 ? file : nullptr;
}

void record_linemarker_file(preprocessor_reader *reader, const char *name)
{
  find_file(reader, name, &reader->no_search_path, LOOKUP_FAKE, reader->directive_line);
}

// The buffer of the file being read: a _Pragma's or a directive's text may
// sit above it.
input_buffer *current_file_buffer(preprocessor_reader *reader)
{
  input_buffer *buffer = reader->buffer;
  while (buffer && buffer->file == nullptr)
    buffer = buffer->previous;
  return buffer;
}

void mark_system_header(preprocessor_reader *reader, bool system, bool c_linkage)
{
  uint8_t kind = system ? (c_linkage ? 2 : 1) : 0;
  if (input_buffer *buffer = current_file_buffer(reader))
    buffer->system_kind = kind;
  // From the current line on: the directive's own newline moves to the next.
  const ordinary_map *map = linemap_last_ordinary_map(reader->line_table);
  enter_file_change(reader, LC_RENAME, map->file_name, _cpp_current_line(reader), kind);
}

void set_once_only(preprocessor_reader *reader, source_file *file)
{
  file->once_only = true;
  reader->seen_once_only = true;
}

// At the end of a file's buffer: a guard seen around the whole file is
// kept, and the text goes.
void release_file_text(preprocessor_reader *reader, source_file *file, void *block)
{
  if (reader->mi_valid && file->controlling_macro == nullptr)
    file->controlling_macro = const_cast<ident_node *>(reader->mi_controlling_macro);
  reader->mi_valid = false;
  free(block);
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

void init_file_cache(preprocessor_reader *reader)
{
  reader->file_hash = callback_hash_table_create_alloc(127, hash_file_entry, file_entry_has_name,
                                                       nullptr, checked_calloc, free);
  reader->directory_hash = callback_hash_table_create_alloc(
      127, hash_directory_entry, directory_entry_has_name, nullptr, checked_calloc, free);
  reader->nonexistent_names = callback_hash_table_create_alloc(
      127, string_hash, string_equal, nullptr, checked_calloc, free);
  obstack_init_malloc(&reader->nonexistent_name_strings);
}

void cleanup_file_cache(preprocessor_reader *reader)
{
  forget_lookups(reader);
  for (source_file *file = reader->all_files, *next; file; file = next) {
    next = file->next;
    free_source_file(file);
  }
  reader->all_files = nullptr;
  reader->main_file = nullptr;
  free_directory_blocks(&reader->made_directories);
  free_directory_blocks(&reader->source_directories);
  free_remap_tables(reader);
}
