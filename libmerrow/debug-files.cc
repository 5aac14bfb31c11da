// Separate debug files: the build-id note, the debug link with its CRC-32 and
// the alternate link, and the places where the files they name are looked for.
#include "libmerrow/internal.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

static const char build_id_dir[] = "/usr/lib/debug/.build-id/";
static const char debug_dir[] = "/usr/lib/debug/";

static uint32_t native32(const unsigned char *p)
{
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

int bt_build_id_parse(const unsigned char *note, size_t size, bt_build_id *id)
{
  enum { NT_GNU_BUILD_ID = 3, NOTE_HEADER = 16 };
  if (size < NOTE_HEADER)
    return 0;
  uint32_t name_size = native32(note), desc_size = native32(note + 4);
  if (name_size != 4 || native32(note + 8) != NT_GNU_BUILD_ID || memcmp(note + 12, "KAV", 4) != 0 ||
      desc_size > size - NOTE_HEADER)
    return 0;
  // An empty build-id names no file and matches nothing.
  if (desc_size == 0)
    return 0;
  id->data = note + NOTE_HEADER;
  id->size = desc_size;
  return 1;
}

// The length of the file name at the start of a link section, its zero byte
// included; 0 when the section holds no zero byte.
static size_t link_name_size(const unsigned char *section, size_t size)
{
  const void *zero = memchr(section, 0, size);
  return zero ? static_cast<const unsigned char *>(zero) + 1 - section : 0;
}

int bt_debuglink_parse(const unsigned char *section, size_t size, const char **name,
                       uint32_t *crc)
{
  size_t name_size = link_name_size(section, size);
  size_t crc_offset = (name_size + 3) & ~size_t{3};
  if (name_size == 0 || crc_offset > size || size - crc_offset < 4)
    return 0;
  *name = reinterpret_cast<const char *>(section);
  *crc = native32(section + crc_offset);
  return 1;
}

int bt_altlink_parse(const unsigned char *section, size_t size, const char **name,
                     bt_build_id *id)
{
  size_t name_size = link_name_size(section, size);
  if (name_size == 0)
    return 0;
  *name = reinterpret_cast<const char *>(section);
  id->data = section + name_size;
  id->size = static_cast<uint32_t>(size - name_size);
  return 1;
}

// PARTS joined into a new string of SIZE bytes (terminator included).
static char *join(bt_state *state, std::initializer_list<const char *> parts, size_t *size,
                  bt_error_callback error_callback, void *data)
{
  size_t n = 1;
  for (const char *part : parts)
    n += strlen(part);
  char *text = static_cast<char *>(bt_alloc(state, n, error_callback, data));
  if (!text)
    return nullptr;
  char *p = text;
  for (const char *part : parts) {
    size_t length = strlen(part);
    memcpy(p, part, length);
    p += length;
  }
  *p = '\0';
  *size = n;
  return text;
}

static int open_and_free(bt_state *state, char *path, size_t size,
                         bt_error_callback error_callback, void *data)
{
  int missing;
  int descriptor = bt_open_file(path, error_callback, data, &missing);
  bt_free(state, path, size, error_callback, data);
  return descriptor;
}

int bt_debug_file_by_build_id(bt_state *state, const bt_build_id *id,
                              bt_error_callback error_callback, void *data)
{
  static const char hex[] = "0123456789abcdef";
  if (id->size == 0)
    return -1;
  size_t size = sizeof build_id_dir + 2 * static_cast<size_t>(id->size) + sizeof ".debug";
  char *path = static_cast<char *>(bt_alloc(state, size, error_callback, data));
  if (!path)
    return -1;
  char *p = path;
  memcpy(p, build_id_dir, sizeof build_id_dir - 1);
  p += sizeof build_id_dir - 1;
  for (uint32_t i = 0; i < id->size; ++i) {
    *p++ = hex[id->data[i] >> 4];
    *p++ = hex[id->data[i] & 0xf];
    if (i == 0)
      *p++ = '/';
  }
  memcpy(p, ".debug", sizeof ".debug");
  return open_and_free(state, path, size, error_callback, data);
}

// The target of the symbolic link NAME, relative to NAME's directory when it
// is relative, in a new string; null when it cannot be read.
static char *read_link(bt_state *state, const char *name, size_t *size,
                       bt_error_callback error_callback, void *data)
{
  for (size_t length = 128;; length *= 2) {
    char *target = static_cast<char *>(bt_alloc(state, length, error_callback, data));
    if (!target)
      return nullptr;
    ssize_t n = readlink(name, target, length);
    if (n < 0 || static_cast<size_t>(n) < length - 1) {
      if (n < 0) {
        bt_free(state, target, length, error_callback, data);
        return nullptr;
      }
      target[n] = '\0';
      const char *slash = strrchr(name, '/');
      if (target[0] == '/' || !slash) {
        *size = length;
        return target;
      }
      size_t dir_length = slash + 1 - name;
      char *joined = static_cast<char *>(bt_alloc(state, dir_length + n + 1, error_callback, data));
      if (joined) {
        memcpy(joined, name, dir_length);
        memcpy(joined + dir_length, target, n + 1);
        *size = dir_length + n + 1;
      }
      bt_free(state, target, length, error_callback, data);
      return joined;
    }
    bt_free(state, target, length, error_callback, data);
  }
}

// NAME with its symbolic links followed, in a new string of SIZE bytes, or
// null to use NAME as it is.
static char *resolve_links(bt_state *state, const char *name, size_t *size,
                           bt_error_callback error_callback, void *data)
{
  // A loop of links, which lstat alone cannot tell from a long chain, ends
  // here; the system's own limit is of the same order.
  enum { MAX_LINKS = 40 };
  char *current = nullptr;
  size_t current_size = 0;
  for (int i = 0; i < MAX_LINKS; ++i) {
    struct stat st;
    const char *look = current ? current : name;
    if (lstat(look, &st) < 0 || !S_ISLNK(st.st_mode))
      break;
    size_t next_size;
    char *next = read_link(state, look, &next_size, error_callback, data);
    if (!next)
      break;
    if (current)
      bt_free(state, current, current_size, error_callback, data);
    current = next;
    current_size = next_size;
  }
  *size = current_size;
  return current;
}

static bool crc_matches(bt_state *state, int descriptor, uint32_t crc,
                        bt_error_callback error_callback, void *data)
{
  struct stat st;
  if (fstat(descriptor, &st) < 0) {
    error_callback(data, "fstat", errno);
    return false;
  }
  bt_view view;
  if (!bt_view_map(state, descriptor, 0, st.st_size, error_callback, data, &view))
    return false;
  uint32_t got = bt_crc32(0, static_cast<const unsigned char *>(view.data), st.st_size);
  bt_view_release(state, &view, error_callback, data);
  return got == crc;
}

int bt_debug_file_by_link(bt_state *state, const char *filename, const char *link_name,
                          uint32_t crc, bt_error_callback error_callback, void *data)
{
  size_t resolved_size;
  char *resolved = resolve_links(state, filename, &resolved_size, error_callback, data);
  const char *name = resolved ? resolved : filename;
  const char *slash = strrchr(name, '/');
  size_t prefix_length = slash ? slash + 1 - name : 0;
  char prefix_buffer[256];
  char *prefix = prefix_buffer;
  size_t prefix_size = 0;
  if (prefix_length >= sizeof prefix_buffer) {
    prefix_size = prefix_length + 1;
    prefix = static_cast<char *>(bt_alloc(state, prefix_size, error_callback, data));
  }
  int descriptor = -1;
  if (prefix) {
    memcpy(prefix, name, prefix_length);
    prefix[prefix_length] = '\0';
    const char *const candidates[3][3] = {{prefix, link_name, ""},
                                          {prefix, ".debug/", link_name},
                                          {debug_dir, prefix, link_name}};
    for (const auto &c : candidates) {
      size_t size;
      char *path = join(state, {c[0], c[1], c[2]}, &size, error_callback, data);
      if (path && (descriptor = open_and_free(state, path, size, error_callback, data)) >= 0)
        break;
    }
    if (prefix_size)
      bt_free(state, prefix, prefix_size, error_callback, data);
  }
  if (resolved)
    bt_free(state, resolved, resolved_size, error_callback, data);
  if (descriptor >= 0 && crc != 0 && !crc_matches(state, descriptor, crc, error_callback, data)) {
    bt_close_file(descriptor, error_callback, data);
    return -1;
  }
  return descriptor;
}
