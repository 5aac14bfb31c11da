// The source-file cache: slots, reading in growing blocks, the sampled line
// records, and the lines that quoting and column conversion ask for.
#include "diagnostics/file-cache.h"

#include "diagnostics/diagnostic.h"
#include "diagnostics/internal.h"
#include "libsprenk/charset.h"
#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

enum : uint64_t { FIRST_BUFFER_SIZE = 4096 };

static const char *no_input_charset(const char *)
{
  return nullptr;
}

static file_cache *file_cache_create()
{
  file_cache *cache = checked_new_cleared<file_cache>();
  for (cached_file &slot : cache->slots)
    slot.missing_trailing_newline = true;
  cache->input_charset_callback = no_input_charset;
  return cache;
}

static file_cache *context_file_cache(diagnostic_state *context)
{
  if (!context->file_cache)
    context->file_cache = file_cache_create();
  return context->file_cache;
}

void diagnostic_file_cache_setup(diagnostic_state *context, input_charset_fn callback,
                                 bool skip_bom)
{
  file_cache *cache = context_file_cache(context);
  cache->input_charset_callback = callback ? callback : no_input_charset;
  cache->skip_bom = skip_bom;
}

// ---- One slot ----

static char *buffer_start(cached_file *c)
{
  return c->data ? c->data - c->alloc_offset : nullptr;
}

// Back to the start of the allocation, so a new file can use all of it.
static void offset_buffer_reset(cached_file *c)
{
  vuz_assert_as(c->alloc_offset >= 0 && (c->alloc_offset == 0 || c->data), __FILE__,
                "offset_buffer");
  c->data = buffer_start(c);
  c->size += uint64_t(c->alloc_offset);
  c->alloc_offset = 0;
}

static void slot_forget(cached_file *c)
{
  free(c->path);
  c->path = nullptr;
  if (c->stream)
    fclose(c->stream);
  c->stream = nullptr;
  c->nb_read = 0;
  c->line_start = 0;
  c->line_num = 0;
  vec_truncate(c->line_records, 0);
  c->use_count = 0;
  c->total_lines = 0;
  c->missing_trailing_newline = true;
}

// A full buffer doubles; a skipped byte-order mark stays in front of it.
static void maybe_grow(cached_file *c)
{
  vuz_assert(c->nb_read <= c->size);
  if (c->nb_read != c->size)
    return;
  uint64_t size = c->size ? c->size * 2 : FIRST_BUFFER_SIZE;
  char *start = static_cast<char *>(checked_realloc(buffer_start(c), size + c->alloc_offset));
  c->data = start + c->alloc_offset;
  c->size = size;
}

// Reads as much as fits; whether anything was read.
static bool cached_file_read_more(cached_file *c)
{
  if (!c->stream || feof(c->stream) || ferror(c->stream))
    return false;
  maybe_grow(c);
  size_t n = fread(c->data + c->nb_read, 1, c->size - c->nb_read, c->stream);
  c->nb_read += n;
  return n > 0;
}

static void sample_line(cached_file *c, uint64_t start, uint64_t end)
{
  if (c->line_num > c->total_lines)
    return;
  uint32_t count = vec_length(c->line_records);
  bool keep;
  if (count == 0)
    keep = true;
  else if (count >= FILE_CACHE_LINE_RECORDS)
    keep = false;
  else if (c->total_lines <= FILE_CACHE_LINE_RECORDS)
    keep = count < c->line_num;
  else
    keep = uint64_t(c->line_num) * FILE_CACHE_LINE_RECORDS / c->total_lines >= count;
  // A line read again after a jump back is already recorded.
  if (keep && (count == 0 || c->line_records->last().line < c->line_num))
    vec_safe_push(c->line_records, cached_line_record{c->line_num, start, end});
}

static const char *find_newline(const cached_file *c, uint64_t from)
{
  return static_cast<const char *>(memchr(c->data + from, '\n', c->nb_read - from));
}

static bool get_next_line(cached_file *c, const char **text, uint64_t *length)
{
  if (c->stream && (c->nb_read == 0 || c->nb_read == c->size ||
                    c->nb_read - c->line_start <= 1))
    cached_file_read_more(c);
  if (c->line_start == c->nb_read)
    return false;
  uint64_t searched = c->line_start;
  const char *newline = find_newline(c, searched);
  while (!newline && c->stream) {
    searched = c->nb_read;
    if (!cached_file_read_more(c))
      break;
    newline = find_newline(c, searched);
  }
  if (c->stream && ferror(c->stream))
    return false;
  c->missing_trailing_newline = newline == nullptr;
  uint64_t end = newline ? uint64_t(newline - c->data) : c->nb_read;
  vuz_assert(end >= c->line_start);
  c->line_num++;
  sample_line(c, c->line_start, end);
  *text = c->data + c->line_start;
  *length = end - c->line_start;
  c->line_start = newline ? end + 1 : c->nb_read;
  return true;
}

// Where a backward jump may resume: the index of a line record, or -1 to
// start over.
static int64_t record_for_line(const cached_file *c, uint32_t n)
{
  uint32_t count = vec_length(c->line_records);
  if (count == 0 || c->total_lines == 0)
    return -1;
  uint64_t index;
  if (c->total_lines > FILE_CACHE_LINE_RECORDS)
    index = n > c->total_lines ? count - 1
                               : uint64_t(n) * FILE_CACHE_LINE_RECORDS / c->total_lines;
  else
    index = n > c->total_lines ? c->total_lines - 1 : n - 1;
  return index >= count ? -1 : int64_t(index);
}

static bool read_line_num(cached_file *c, uint32_t n, const char **text, uint64_t *length)
{
  vuz_assert(n != 0);
  if (n <= c->line_num) {
    int64_t index = record_for_line(c, n);
    if (index < 0) {
      c->line_start = 0;
      c->line_num = 0;
    } else {
      const cached_line_record &record = (*c->line_records)[uint32_t(index)];
      vuz_assert(record.line <= n);
      if (record.line == n) {
        *text = c->data + record.start;
        *length = record.end - record.start;
        return true;
      }
      c->line_start = record.start;
      c->line_num = record.line - 1;
    }
  }
  while (c->line_num + 1 < n)
    if (!get_next_line(c, text, length))
      return false;
  return get_next_line(c, text, length);
}

// ---- Choosing, opening and finding slots ----

// The slot to reuse: the first free one, else the least used.
static cached_file *evicted_slot(file_cache *cache, uint32_t *highest_use)
{
  cached_file *candidate = &cache->slots[0];
  *highest_use = candidate->use_count;
  for (uint32_t i = 1; i < FILE_CACHE_SLOTS && candidate->path; i++) {
    cached_file *c = &cache->slots[i];
    if (c->use_count > *highest_use)
      *highest_use = c->use_count;
    if (c->use_count < candidate->use_count || !c->path)
      candidate = c;
  }
  return candidate;
}

static uint32_t known_total_lines(const char *path)
{
  location_t last;
  if (!line_table || !linemap_file_highest_location(line_table, path, &last))
    return 0;
  expanded_location where = location_expand(last);
  return where.line > 0 ? uint32_t(where.line) : 0;
}

// The whole file, converted from its character set, becomes the buffer.
static bool slot_take_converted(cached_file *c, const char *path, const char *charset)
{
  fclose(c->stream);
  c->stream = nullptr;
  converted_source source = read_converted_source(path, charset);
  if (!source.block)
    return false;
  free(buffer_start(c));
  c->alloc_offset = int32_t(source.data - source.block);
  c->data = reinterpret_cast<char *>(source.block) + c->alloc_offset;
  c->size = source.length;
  c->nb_read = source.length;
  return true;
}

static cached_file *file_cache_open(file_cache *cache, const char *path)
{
  FILE *stream = fopen(path, "r");
  if (!stream)
    return nullptr;
  uint32_t highest_use;
  cached_file *c = evicted_slot(cache, &highest_use);
  slot_forget(c);
  offset_buffer_reset(c);
  c->path = checked_strdup(path);
  c->stream = stream;
  c->use_count = highest_use + 1;
  c->total_lines = known_total_lines(path);
  if (const char *charset = cache->input_charset_callback(path)) {
    if (!slot_take_converted(c, path, charset)) {
      slot_forget(c);
      return nullptr;
    }
  } else if (cache->skip_bom && cached_file_read_more(c)) {
    size_t mark = utf8_bom_length(reinterpret_cast<unsigned char *>(c->data), c->nb_read);
    c->data += mark;
    c->alloc_offset = int32_t(mark);
    c->size -= mark;
    c->nb_read -= mark;
  }
  return c;
}

static cached_file *file_cache_lookup(file_cache *cache, const char *path)
{
  for (cached_file &c : cache->slots)
    if (c.path && strcmp(c.path, path) == 0) {
      c.use_count += 2;
      return &c;
    }
  return file_cache_open(cache, path);
}

// ---- Interfaces ----

const char *source_line_of(const char *path, int32_t line, uint64_t *length)
{
  *length = 0;
  if (!path || line <= 0)
    return nullptr;
  cached_file *c = file_cache_lookup(context_file_cache(&global_diagnostic_state), path);
  const char *text = nullptr;
  if (!c || !read_line_num(c, uint32_t(line), &text, length)) {
    *length = 0;
    return nullptr;
  }
  return text;
}

bool source_lacks_final_newline(const char *path)
{
  cached_file *c = file_cache_lookup(context_file_cache(&global_diagnostic_state), path);
  return c && c->missing_trailing_newline;
}

void diagnostics_file_cache_forcibly_evict_file(const char *path)
{
  vuz_assert(path);
  file_cache *cache = global_diagnostic_state.file_cache;
  if (!cache)
    return;
  for (cached_file &c : cache->slots)
    if (c.path && strcmp(c.path, path) == 0) {
      slot_forget(&c);
      return;
    }
}

void file_cache_teardown(diagnostic_state *context)
{
  file_cache *cache = context->file_cache;
  if (!cache)
    return;
  for (cached_file &c : cache->slots) {
    slot_forget(&c);
    free(buffer_start(&c));
    vec_release(c.line_records);
  }
  free(cache);
  context->file_cache = nullptr;
}
