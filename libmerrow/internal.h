// Records and operations shared between the files of the stack-trace library;
// clients use merrow.h only.
#ifndef VUZ_LIBMERROW_INTERNAL_H
#define VUZ_LIBMERROW_INTERNAL_H

#include "libmerrow/merrow.h"

#include <cstddef>
#include <cstdint>

typedef int (*bt_fileline_fn)(bt_state *state, uintptr_t pc, bt_frame_callback callback,
                              bt_error_callback error_callback, void *data);
typedef void (*bt_syminfo_fn)(bt_state *state, uintptr_t pc, bt_syminfo_callback callback,
                              bt_error_callback error_callback, void *data);

struct bt_free_block {
  bt_free_block *next;
  size_t size;
};

struct bt_state {
  const char *filename;
  int threaded;
  void *reserved;
  bt_fileline_fn fileline_fn;
  void *fileline_data;
  bt_syminfo_fn syminfo_fn;
  void *syminfo_data;
  int fileline_initialization_failed;
  int lock_alloc;
  bt_free_block *freelist;
};

// Memory, vectors and sort.

struct bt_vec {
  void *base;
  size_t size;  // used bytes
  size_t alc;   // spare bytes after the used part
};

void *bt_alloc(bt_state *state, size_t size, bt_error_callback error_callback, void *data);
void bt_free(bt_state *state, void *block, size_t size, bt_error_callback error_callback,
             void *data);
void *bt_vec_grow(bt_state *state, size_t n, bt_error_callback error_callback, void *data,
                  bt_vec *vec);
void *bt_vec_take(bt_state *state, bt_vec *vec, bt_error_callback error_callback, void *data);
int bt_vec_trim(bt_state *state, bt_vec *vec, bt_error_callback error_callback, void *data);
void bt_sort(void *base, size_t count, size_t size, int (*compare)(const void *, const void *));

// Platform layer: the sysctl entry this host lacks (host-sysctl.cc).
int bt_host_sysctl(const int *name, unsigned name_length, void *value, size_t *length);

// Files and views.

struct bt_view {
  const void *data;
  void *base;  // the mapping, or null for a slice of an in-memory image
  size_t len;
};

int bt_open_file(const char *path, bt_error_callback error_callback, void *data,
                 int *does_not_exist);
int bt_close_file(int descriptor, bt_error_callback error_callback, void *data);
int bt_view_map(bt_state *state, int descriptor, uint64_t offset, uint64_t size,
                bt_error_callback error_callback, void *data, bt_view *view);
void bt_view_release(bt_state *state, bt_view *view, bt_error_callback error_callback,
                     void *data);
int bt_elf_init(bt_state *state, const char *filename, int descriptor,
                bt_error_callback error_callback, void *data, bt_fileline_fn *fileline_fn);
int bt_elf_read_module(bt_state *state, const char *filename, int descriptor,
                       const unsigned char *memory, size_t memory_size, uintptr_t base_address,
                       bt_error_callback error_callback, void *data, bt_fileline_fn *fileline_fn,
                       int *found_sym, int *found_dwarf, struct bt_dwarf_module **fileline_entry,
                       int exe, int debuginfo, const char *with_buildid_data,
                       uint32_t with_buildid_size);

// CRC-32 (ISO 3309, ITU-T V.42) of N bytes, continuing VALUE (0 to start).
uint32_t bt_crc32(uint32_t value, const unsigned char *p, size_t n);

// Separate debug files.

struct bt_build_id {
  const unsigned char *data;
  uint32_t size;
};

// 1 with ID set when the note section holds a usable, non-empty build-id.
int bt_build_id_parse(const unsigned char *note, size_t size, bt_build_id *id);
// 1 with the file name and expected CRC (0: none) of a debug-link section.
int bt_debuglink_parse(const unsigned char *section, size_t size, const char **name,
                       uint32_t *crc);
// 1 with the file name and build-id of an alternate-link section.
int bt_altlink_parse(const unsigned char *section, size_t size, const char **name,
                     bt_build_id *id);
// A descriptor of the debug file, or -1.
int bt_debug_file_by_build_id(bt_state *state, const bt_build_id *id,
                              bt_error_callback error_callback, void *data);
int bt_debug_file_by_link(bt_state *state, const char *filename, const char *link_name,
                          uint32_t crc, bt_error_callback error_callback, void *data);

// Compressed sections. The section decoders return 0 only when memory runs
// out; otherwise 1, with a new buffer only when the section decoded.

enum { BT_INFLATE_WORK_SIZE = 11264 };

int bt_zlib_decode(const unsigned char *input, size_t input_size, void *work,
                   unsigned char *output, size_t output_size);
// The three codes of deflate, which differ in what an incomplete code may be.
enum bt_huffman_kind { BT_HUFFMAN_CODE_LENGTHS, BT_HUFFMAN_LITERALS, BT_HUFFMAN_DISTANCES };
int bt_huffman_table_build(const unsigned char *lengths, unsigned count, int kind,
                           uint16_t *codes, uint16_t *table, unsigned table_size);
int bt_chdr_section_decompress(bt_state *state, const unsigned char *section, size_t size,
                               void *work, bt_error_callback error_callback, void *data,
                               unsigned char **out, size_t *out_size);
int bt_zdebug_section_decompress(bt_state *state, const unsigned char *section, size_t size,
                                 void *work, bt_error_callback error_callback, void *data,
                                 unsigned char **out, size_t *out_size);
int bt_decompress_zdebug(bt_state *state, const unsigned char *compressed, size_t size,
                         bt_error_callback error_callback, void *data,
                         unsigned char **uncompressed, size_t *uncompressed_size);

// The mini debug information: 1 with a new buffer (none for an empty
// stream), 0 for a stream this decoder refuses.
int bt_xz_decode(bt_state *state, const unsigned char *compressed, size_t size,
                 bt_error_callback error_callback, void *data, unsigned char **uncompressed,
                 size_t *uncompressed_size);
int bt_decompress_xz(bt_state *state, const unsigned char *compressed, size_t size,
                     bt_error_callback error_callback, void *data, unsigned char **uncompressed,
                     size_t *uncompressed_size);
int bt_xz_varint(const unsigned char *data, size_t size, size_t *pos, uint64_t *value);

// Symbol tables.

struct bt_elf_symbol {
  const char *name;
  uintptr_t address;
  uintptr_t size;
};

struct bt_opd_section {
  uint64_t address;
  const unsigned char *data;
  size_t size;
};

// One module's symbols: checked when the module is read, made into entries
// sorted by address on the first lookup.
struct bt_symbol_table {
  bt_symbol_table *next;
  bt_elf_symbol *symbols;  // null until made
  size_t count;
  const unsigned char *symtab;  // the records, which stay mapped
  size_t records;
  const unsigned char *strtab;
  uintptr_t base_address;
  bt_opd_section opd;  // data null when the module has none
};

int bt_elf_symbols_build(bt_state *state, uintptr_t base_address, const unsigned char *symtab,
                         size_t symtab_size, const unsigned char *strtab, size_t strtab_size,
                         bt_error_callback error_callback, void *data, bt_symbol_table *table,
                         const bt_opd_section *opd);
// Makes the entries of TABLE when still needed; 0 when memory runs out.
int bt_symbol_table_ready(bt_state *state, bt_symbol_table *table,
                          bt_error_callback error_callback, void *data);
void bt_symbol_table_append(bt_state *state, bt_symbol_table *table);
void bt_elf_symbol_lookup(bt_state *state, uintptr_t pc, bt_syminfo_callback callback,
                          bt_error_callback error_callback, void *data);
void bt_elf_no_symbols_lookup(bt_state *state, uintptr_t pc, bt_syminfo_callback callback,
                              bt_error_callback error_callback, void *data);
int bt_elf_no_debug_lookup(bt_state *state, uintptr_t pc, bt_frame_callback callback,
                           bt_error_callback error_callback, void *data);

// The adapters that let a symbol lookup report frames (state.cc).
struct bt_syminfo_adapter {
  bt_frame_callback callback;
  bt_error_callback error_callback;
  void *data;
  int result;
};
void bt_syminfo_to_frame(void *adapter, uintptr_t pc, const char *symname, uintptr_t symval,
                         uintptr_t symsize);
void bt_syminfo_error_forward(void *adapter, const char *message, int errnum);

// DWARF.

enum bt_dwarf_section {
  DEBUG_INFO,
  DEBUG_LINE,
  DEBUG_ABBREV,
  DEBUG_RANGES,
  DEBUG_STR,
  DEBUG_ADDR,
  DEBUG_STR_OFFSETS,
  DEBUG_LINE_STR,
  DEBUG_RNGLISTS,
  DEBUG_MAX
};

struct bt_dwarf_sections {
  const unsigned char *data[DEBUG_MAX];
  size_t size[DEBUG_MAX];
};

bool bt_dwarf_module_read(bt_state *state, uintptr_t base_address,
                          const bt_dwarf_sections *sections, int is_bigendian,
                          struct bt_dwarf_module *altlink, bt_error_callback error_callback,
                          void *data, bt_fileline_fn *fileline_fn,
                          struct bt_dwarf_module **module_out);
int bt_dwarf_resolve(bt_state *state, uintptr_t pc, bt_frame_callback callback,
                     bt_error_callback error_callback, void *data);

// Atomics that are plain accesses when the state is not threaded.
template <typename T> inline T bt_load(bt_state *state, T *p)
{
  return state->threaded ? __atomic_load_n(p, __ATOMIC_ACQUIRE) : *p;
}
template <typename T> inline void bt_store(bt_state *state, T *p, T v)
{
  if (state->threaded)
    __atomic_store_n(p, v, __ATOMIC_RELEASE);
  else
    *p = v;
}

// Appends ITEM at the tail of a list linked through `next` (by
// compare-and-swap at the tail when the state is threaded).
template <typename T> void bt_list_append(bt_state *state, T **head, T *item)
{
  T **pp = head;
  if (!state->threaded) {
    while (*pp)
      pp = &(*pp)->next;
    *pp = item;
    return;
  }
  for (;;) {
    while (T *p = __atomic_load_n(pp, __ATOMIC_ACQUIRE))
      pp = &p->next;
    T *expected = nullptr;
    if (__atomic_compare_exchange_n(pp, &expected, item, false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE))
      return;
  }
}

// Binary search for the entry KEY matches; null when none does.
const void *bt_bsearch(const void *key, const void *base, size_t count, size_t size,
                       int (*match)(const void *key, const void *entry));

#endif
