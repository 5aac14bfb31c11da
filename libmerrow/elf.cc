// Opening files, mapping byte ranges of them, and reading one ELF module at a
// time: the running executable first, then every object the loader reports.
#include "libmerrow/internal.h"

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <initializer_list>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static const char *const dwarf_section_names[DEBUG_MAX] = {
    ".debug_info", ".debug_line", ".debug_abbrev", ".debug_ranges",  ".debug_str",
    ".debug_addr", ".debug_str_offsets", ".debug_line_str", ".debug_rnglists",
};

static const char out_of_range[] = "out of range for in-memory file";

int bt_open_file(const char *path, bt_error_callback error_callback, void *data,
                 int *does_not_exist)
{
  if (does_not_exist)
    *does_not_exist = 0;
  int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    if (does_not_exist && (errno == ENOENT || errno == EACCES))
      *does_not_exist = 1;
    else
      error_callback(data, path, errno);
    return -1;
  }
  fcntl(descriptor, F_SETFD, FD_CLOEXEC);
  return descriptor;
}

int bt_close_file(int descriptor, bt_error_callback error_callback, void *data)
{
  if (close(descriptor) < 0) {
    error_callback(data, "close", errno);
    return 0;
  }
  return 1;
}

int bt_view_map(bt_state *, int descriptor, uint64_t offset, uint64_t size,
                bt_error_callback error_callback, void *data, bt_view *view)
{
  uint64_t pagesize = getpagesize();
  uint64_t inpage = offset % pagesize;
  uint64_t length = size + inpage;
  if (length < size || length > SIZE_MAX - pagesize) {
    error_callback(data, "mmap", ENOMEM);
    return 0;
  }
  // An empty range still maps a page so that the view has an address.
  length = length == 0 ? pagesize : (length + pagesize - 1) & ~(pagesize - 1);
  void *map = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, descriptor, offset - inpage);
  if (map == MAP_FAILED) {
    error_callback(data, "mmap", errno);
    return 0;
  }
  view->data = static_cast<char *>(map) + inpage;
  view->base = map;
  view->len = length;
  return 1;
}

void bt_view_release(bt_state *, bt_view *view, bt_error_callback error_callback, void *data)
{
  if (view->base && munmap(view->base, view->len) < 0)
    error_callback(data, "munmap", errno);
  view->data = nullptr;
  view->base = nullptr;
  view->len = 0;
}

// A view of [offset, offset + size) of the module: a slice of the in-memory
// image, or a mapping of the file once its size (MEMORY_SIZE, for a file)
// shows the range is inside it: reading a mapping past the end of a file
// would raise SIGBUS.
static int bt_elf_view(bt_state *state, int descriptor, const unsigned char *memory,
                       size_t memory_size, uint64_t offset, uint64_t size,
                       bt_error_callback error_callback, void *data, bt_view *view)
{
  if (!(offset <= memory_size && memory_size - offset >= size)) {
    error_callback(data, out_of_range, 0);
    return 0;
  }
  if (!memory)
    return bt_view_map(state, descriptor, offset, size, error_callback, data, view);
  view->data = memory + offset;
  view->base = nullptr;
  view->len = size;
  return 1;
}

// Copies a small fixed part of the module, such as its header: a read costs
// less than a mapping made and released.
static int bt_elf_copy(int descriptor, const unsigned char *memory, size_t memory_size,
                       uint64_t offset, size_t size, bt_error_callback error_callback, void *data,
                       void *out)
{
  if (!(offset <= memory_size && memory_size - offset >= size)) {
    error_callback(data, out_of_range, 0);
    return 0;
  }
  if (memory) {
    memcpy(out, memory + offset, size);
    return 1;
  }
  ssize_t n = pread(descriptor, out, size, static_cast<off_t>(offset));
  if (n != static_cast<ssize_t>(size)) {
    error_callback(data, "read", n < 0 ? errno : EIO);
    return 0;
  }
  return 1;
}

// A small table of the module (the section headers, the section names) in
// memory: sliced from an in-memory image, read from a file into a new buffer,
// which *COPY then holds, since a read costs less than a mapping made and
// released.
static int bt_elf_table(bt_state *state, int descriptor, const unsigned char *memory,
                        size_t memory_size, uint64_t offset, uint64_t size,
                        bt_error_callback error_callback, void *data, bt_view *view, void **copy)
{
  *copy = nullptr;
  if (memory || size == 0)
    return bt_elf_view(state, descriptor, memory, memory_size, offset, size, error_callback, data,
                       view);
  if (!(offset <= memory_size && memory_size - offset >= size)) {
    error_callback(data, out_of_range, 0);
    return 0;
  }
  void *buffer = bt_alloc(state, size, error_callback, data);
  if (!buffer)
    return 0;
  if (!bt_elf_copy(descriptor, nullptr, memory_size, offset, size, error_callback, data, buffer)) {
    bt_free(state, buffer, size, error_callback, data);
    return 0;
  }
  view->data = buffer;
  view->base = nullptr;
  view->len = size;
  *copy = buffer;
  return 1;
}

static void bt_elf_table_release(bt_state *state, bt_view *view, void **copy,
                                 bt_error_callback error_callback, void *data)
{
  if (*copy)
    bt_free(state, *copy, view->len, error_callback, data);
  *copy = nullptr;
  bt_view_release(state, view, error_callback, data);
}

// Whether the section-name table holds NAME, terminator included, at OFFSET.
static bool section_name_is(const bt_view &names, size_t names_size, uint32_t offset,
                            const char *name)
{
  size_t length = strlen(name) + 1;
  return names_size - offset >= length &&
         memcmp(static_cast<const char *>(names.data) + offset, name, length) == 0;
}

struct bt_section_slot {
  uint64_t offset;
  uint64_t size;
  const unsigned char *data;
  int compressed;
};

// The slots' data for the DWARF reader: sections in place, and compressed
// ones (the older ".z" form where the plain one is missing, and those with
// the ELF compression header) inflated into new buffers; a section that does
// not inflate leaves its slot empty. Views no slot uses any more are released.
// 0 only when memory runs out.
static int bt_sections_decompress(bt_state *state, bt_section_slot *plain, bt_section_slot *zdebug,
                                  bt_view *section_views, bt_view *span_view,
                                  bt_error_callback error_callback, void *data,
                                  bt_dwarf_sections *sections)
{
  void *work = nullptr;
  bool in_span = false;
  int ok = 1;
  for (int j = 0; j < DEBUG_MAX && ok; ++j) {
    bool older = plain[j].size == 0 && zdebug[j].size != 0;
    if (!older && !plain[j].compressed) {
      sections->data[j] = plain[j].data;
      sections->size[j] = plain[j].size;
      in_span |= plain[j].size != 0;
      continue;
    }
    const bt_section_slot *from = older ? &zdebug[j] : &plain[j];
    if (!work && !(work = bt_alloc(state, BT_INFLATE_WORK_SIZE, error_callback, data))) {
      ok = 0;
      break;
    }
    unsigned char *out = nullptr;
    size_t out_size = 0;
    ok = (older ? bt_zdebug_section_decompress : bt_chdr_section_decompress)(
        state, from->data, from->size, work, error_callback, data, &out, &out_size);
    sections->data[j] = out;
    sections->size[j] = out_size;
    bt_view_release(state, &section_views[j], error_callback, data);
  }
  if (work)
    bt_free(state, work, BT_INFLATE_WORK_SIZE, error_callback, data);
  if (!ok) {
    for (int j = 0; j < DEBUG_MAX; ++j)
      if (sections->size[j] != 0 && (plain[j].compressed || plain[j].size == 0))
        bt_free(state, const_cast<unsigned char *>(sections->data[j]), sections->size[j],
                error_callback, data);
    return 0;
  }
  if (!in_span)
    bt_view_release(state, span_view, error_callback, data);
  return 1;
}

int bt_elf_read_module(bt_state *state, const char *filename, int descriptor,
                       const unsigned char *memory, size_t memory_size, uintptr_t base_address,
                       bt_error_callback error_callback, void *data, bt_fileline_fn *fileline_fn,
                       int *found_sym, int *found_dwarf, bt_dwarf_module **fileline_entry,
                       int exe, int debuginfo, const char *with_buildid_data,
                       uint32_t with_buildid_size)
{
  bt_view shdrs_view{}, names_view{}, symtab_view{}, strtab_view{};
  void *shdrs_copy = nullptr, *names_copy = nullptr;
  bt_view debugdata_view{}, span_view{}, buildid_view{}, debuglink_view{}, altlink_view{};
  bt_view section_views[DEBUG_MAX] = {};
  bt_section_slot plain[DEBUG_MAX] = {}, zdebug[DEBUG_MAX] = {};
  bool strtab_kept = false;
  Elf64_Ehdr ehdr;
  uint64_t shnum, shstrndx;
  size_t names_size = 0;
  unsigned symtab_index = 0, dynsym_index = 0;
  bool have_buildid = false, have_debuglink = false, have_altlink = false;
  bool have_debugdata = false, have_opd = false;
  bt_build_id buildid{}, altlink_buildid{};
  const char *debuglink_name = nullptr, *altlink_name = nullptr;
  uint32_t debuglink_crc = 0;
  uint64_t debugdata_size = 0;
  bt_dwarf_module *altlink_module = nullptr;
  auto release_links = [&] {
    bt_view_release(state, &buildid_view, error_callback, data);
    bt_view_release(state, &debuglink_view, error_callback, data);
    bt_view_release(state, &altlink_view, error_callback, data);
  };
  // Before a separate debug file is read in this module's place.
  auto release_all = [&] {
    release_links();
    bt_view_release(state, &debugdata_view, error_callback, data);
  };
  bt_opd_section opd{};
  bt_view opd_view{};
  int is_bigendian;

  if (!debuginfo) {
    *found_sym = 0;
    *found_dwarf = 0;
  }
  if (!memory) {
    // One look at the file's size serves every view of it.
    struct stat st;
    if (fstat(descriptor, &st) < 0) {
      error_callback(data, "fstat", errno);
      goto fail;
    }
    memory_size = static_cast<size_t>(st.st_size);
  }
  if (!bt_elf_copy(descriptor, memory, memory_size, 0, sizeof ehdr, error_callback, data, &ehdr))
    goto fail;

  if (ehdr.e_ident[EI_MAG0] != ELFMAG0 || ehdr.e_ident[EI_MAG1] != ELFMAG1 ||
      ehdr.e_ident[EI_MAG2] != ELFMAG2 || ehdr.e_ident[EI_MAG3] != ELFMAG3) {
    error_callback(data, "executable file is not ELF", 0);
    goto fail;
  }
  if (ehdr.e_ident[EI_VERSION] != EV_CURRENT) {
    error_callback(data, "executable file is unrecognized ELF version", 0);
    goto fail;
  }
  if (ehdr.e_ident[EI_CLASS] != ELFCLASS64) {
    error_callback(data, "executable file is unexpected ELF class", 0);
    goto fail;
  }
  if (ehdr.e_ident[EI_DATA] != ELFDATA2LSB && ehdr.e_ident[EI_DATA] != ELFDATA2MSB) {
    error_callback(data, "executable file has unknown endianness", 0);
    goto fail;
  }
  is_bigendian = ehdr.e_ident[EI_DATA] == ELFDATA2MSB;
  if (exe && ehdr.e_type == ET_DYN)
    return -1;  // read later with its real load address

  shnum = ehdr.e_shnum;
  shstrndx = ehdr.e_shstrndx;
  if ((shnum == 0 || shstrndx == SHN_XINDEX) && ehdr.e_shoff != 0) {
    Elf64_Shdr shdr;
    if (!bt_elf_copy(descriptor, memory, memory_size, ehdr.e_shoff, sizeof shdr, error_callback,
                     data, &shdr))
      goto fail;
    if (shnum == 0)
      shnum = static_cast<uint32_t>(shdr.sh_size);
    if (shstrndx == SHN_XINDEX) {
      shstrndx = shdr.sh_link;
      // Old linkers shifted large section indices by 0x100.
      if (shstrndx >= 0x10000 && shstrndx >= shnum)
        shstrndx -= 0x100;
    }
  }
  if (shnum == 0 || shstrndx == 0 || shstrndx >= shnum)
    goto fail;

  {
    if (ehdr.e_shoff > UINT64_MAX - sizeof(Elf64_Shdr)) {
      error_callback(data, out_of_range, 0);
      goto fail;
    }
    if (!bt_elf_table(state, descriptor, memory, memory_size, ehdr.e_shoff + sizeof(Elf64_Shdr),
                      (shnum - 1) * sizeof(Elf64_Shdr), error_callback, data, &shdrs_view,
                      &shdrs_copy))
      goto fail;
    auto section = [&](uint64_t index) {
      Elf64_Shdr shdr;
      memcpy(&shdr, static_cast<const char *>(shdrs_view.data) + (index - 1) * sizeof shdr,
             sizeof shdr);
      return shdr;
    };
    Elf64_Shdr names_shdr = section(shstrndx);
    if (!bt_elf_table(state, descriptor, memory, memory_size, names_shdr.sh_offset,
                      names_shdr.sh_size, error_callback, data, &names_view, &names_copy))
      goto fail;
    names_size = names_shdr.sh_size;

    for (uint64_t i = 1; i < shnum; ++i) {
      Elf64_Shdr shdr = section(i);
      if (shdr.sh_type == SHT_SYMTAB)
        symtab_index = i;
      else if (shdr.sh_type == SHT_DYNSYM)
        dynsym_index = i;
      if (shdr.sh_name >= names_size) {
        error_callback(data, "ELF section name out of range", 0);
        goto fail;
      }
      const char *name = static_cast<const char *>(names_view.data) + shdr.sh_name;
      auto is = [&](const char *n) { return section_name_is(names_view, names_size, shdr.sh_name, n); };
      bool matched = false;
      for (int j = 0; j < DEBUG_MAX && !matched; ++j) {
        if (is(dwarf_section_names[j])) {
          plain[j].offset = shdr.sh_offset;
          plain[j].size = shdr.sh_size;
          plain[j].compressed = (shdr.sh_flags & SHF_COMPRESSED) != 0;
          matched = true;
        } else if (names_size - shdr.sh_name >= 2 && name[0] == '.' && name[1] == 'z' &&
                   section_name_is(names_view, names_size, shdr.sh_name + 2,
                                   dwarf_section_names[j] + 1)) {
          zdebug[j].offset = shdr.sh_offset;
          zdebug[j].size = shdr.sh_size;
          matched = true;
        }
      }
      if (matched)
        continue;
      auto view_section = [&](bt_view *view) {
        return bt_elf_view(state, descriptor, memory, memory_size, shdr.sh_offset, shdr.sh_size,
                           error_callback, data, view);
      };
      if (!have_buildid && (!debuginfo || with_buildid_data) && is(".note.kav.build-id")) {
        if (!view_section(&buildid_view))
          goto fail;
        have_buildid = bt_build_id_parse(static_cast<const unsigned char *>(buildid_view.data),
                                         shdr.sh_size, &buildid);
        if (with_buildid_data &&
            (!have_buildid || buildid.size != with_buildid_size ||
             memcmp(buildid.data, with_buildid_data, with_buildid_size) != 0))
          goto fail;
      } else if (!have_debuglink && !debuginfo && is(".kav_debuglink")) {
        if (!view_section(&debuglink_view))
          goto fail;
        have_debuglink =
            bt_debuglink_parse(static_cast<const unsigned char *>(debuglink_view.data),
                               shdr.sh_size, &debuglink_name, &debuglink_crc);
      } else if (!have_altlink && is(".kav_debugaltlink")) {
        if (!view_section(&altlink_view))
          goto fail;
        have_altlink = bt_altlink_parse(static_cast<const unsigned char *>(altlink_view.data),
                                        shdr.sh_size, &altlink_name, &altlink_buildid);
      } else if (!have_debugdata && memory == nullptr && is(".kav_debugdata")) {
        // Only a file's own section is followed: a decoded image that carried
        // another would lead to one more, without end.
        if (!bt_elf_view(state, descriptor, memory, memory_size, shdr.sh_offset, shdr.sh_size,
                         error_callback, data, &debugdata_view))
          goto fail;
        have_debugdata = true;
        debugdata_size = shdr.sh_size;
      } else if (!have_opd && ehdr.e_machine == EM_PPC64 && (ehdr.e_flags & 2) == 0 &&
                 shdr.sh_type == SHT_PROGBITS && is(".opd")) {
        if (!bt_elf_view(state, descriptor, memory, memory_size, shdr.sh_offset, shdr.sh_size,
                         error_callback, data, &opd_view))
          goto fail;
        opd.address = shdr.sh_addr;
        opd.data = static_cast<const unsigned char *>(opd_view.data);
        opd.size = shdr.sh_size;
        have_opd = true;
      }
    }

    unsigned sym_index = symtab_index ? symtab_index : dynsym_index;
    if (!debuginfo && sym_index != 0) {
      Elf64_Shdr sym_shdr = section(sym_index);
      if (sym_shdr.sh_link == 0 || sym_shdr.sh_link >= shnum) {
        error_callback(data, "ELF symbol table strtab link out of range", 0);
        goto fail;
      }
      Elf64_Shdr str_shdr = section(sym_shdr.sh_link);
      if (!bt_elf_view(state, descriptor, memory, memory_size, sym_shdr.sh_offset,
                       sym_shdr.sh_size, error_callback, data, &symtab_view) ||
          !bt_elf_view(state, descriptor, memory, memory_size, str_shdr.sh_offset,
                       str_shdr.sh_size, error_callback, data, &strtab_view))
        goto fail;
      bt_symbol_table *table = static_cast<bt_symbol_table *>(
          bt_alloc(state, sizeof(bt_symbol_table), error_callback, data));
      if (!table)
        goto fail;
      if (!bt_elf_symbols_build(state, base_address,
                                static_cast<const unsigned char *>(symtab_view.data),
                                sym_shdr.sh_size,
                                static_cast<const unsigned char *>(strtab_view.data),
                                str_shdr.sh_size, error_callback, data, table,
                                have_opd ? &opd : nullptr)) {
        bt_free(state, table, sizeof *table, error_callback, data);
        goto fail;
      }
      // The records and names stay in use for good: the entries are made
      // from them on the first lookup.
      strtab_kept = true;
      *found_sym = 1;
      bt_symbol_table_append(state, table);
    }
  }
  bt_elf_table_release(state, &shdrs_view, &shdrs_copy, error_callback, data);
  bt_elf_table_release(state, &names_view, &names_copy, error_callback, data);
  if (!strtab_kept)
    bt_view_release(state, &opd_view, error_callback, data);

  {
    int debug_descriptor = -1;
    if (have_buildid && !debuginfo)
      debug_descriptor = bt_debug_file_by_build_id(state, &buildid, error_callback, data);
    if (debug_descriptor < 0 && have_debuglink)
      debug_descriptor = bt_debug_file_by_link(state, filename, debuglink_name, debuglink_crc,
                                               error_callback, data);
    if (debug_descriptor >= 0) {
      release_all();
      int ret = bt_elf_read_module(state, "", debug_descriptor, nullptr, 0, base_address,
                                   error_callback, data, fileline_fn, found_sym, found_dwarf,
                                   nullptr, 0, 1, nullptr, 0);
      if (descriptor >= 0)
        bt_close_file(descriptor, error_callback, data);
      return ret;
    }
  }
  // An alternate file's own alternate link is not followed: files that name
  // each other would be read without end.
  if (have_altlink && !fileline_entry) {
    int alt_descriptor =
        bt_debug_file_by_link(state, filename, altlink_name, 0, error_callback, data);
    if (alt_descriptor >= 0) {
      int ret = bt_elf_read_module(state, filename, alt_descriptor, nullptr, 0, base_address,
                                   error_callback, data, fileline_fn, found_sym, found_dwarf,
                                   &altlink_module, 0, 1,
                                   reinterpret_cast<const char *>(altlink_buildid.data),
                                   altlink_buildid.size);
      if (ret < 0)
        return ret;
    }
  }
  release_links();

  if (have_debugdata) {
    unsigned char *image = nullptr;
    size_t image_size = 0;
    int decoded = bt_xz_decode(state, static_cast<const unsigned char *>(debugdata_view.data),
                               debugdata_size, error_callback, data, &image, &image_size);
    bt_view_release(state, &debugdata_view, error_callback, data);
    // An empty stream holds no image to read.
    if (decoded && image_size > 0) {
      int ret = bt_elf_read_module(state, filename, -1, image, image_size, base_address,
                                   error_callback, data, fileline_fn, found_sym, found_dwarf,
                                   nullptr, 0, 0, nullptr, 0);
      if (ret >= 0 && descriptor >= 0)
        bt_close_file(descriptor, error_callback, data);
      return ret;
    }
  }

  {
    uint64_t min_offset = UINT64_MAX, max_end = 0, total = 0;
    for (int j = 0; j < DEBUG_MAX; ++j) {
      for (bt_section_slot *s : {&plain[j], &zdebug[j]}) {
        if (s->size == 0)
          continue;
        if (s->offset > UINT64_MAX - s->size) {
          error_callback(data, out_of_range, 0);
          goto fail;
        }
        if (s->offset < min_offset)
          min_offset = s->offset;
        if (s->offset + s->size > max_end)
          max_end = s->offset + s->size;
        total += s->size;
      }
    }
    if (total == 0) {
      if (descriptor >= 0 && !bt_close_file(descriptor, error_callback, data))
        return 0;
      return 1;
    }
    if (max_end - min_offset < 0x20000000 || max_end - min_offset < total + 0x10000) {
      if (!bt_elf_view(state, descriptor, memory, memory_size, min_offset, max_end - min_offset,
                       error_callback, data, &span_view))
        goto fail;
      for (int j = 0; j < DEBUG_MAX; ++j) {
        for (bt_section_slot *s : {&plain[j], &zdebug[j]})
          if (s->size != 0)
            s->data = static_cast<const unsigned char *>(span_view.data) + (s->offset - min_offset);
      }
    } else {
      for (int j = 0; j < DEBUG_MAX; ++j) {
        bt_section_slot *s = plain[j].size != 0 ? &plain[j] : &zdebug[j];
        if (s->size == 0)
          continue;
        if (!bt_elf_view(state, descriptor, memory, memory_size, s->offset, s->size,
                         error_callback, data, &section_views[j]))
          goto fail;
        s->data = static_cast<const unsigned char *>(section_views[j].data);
      }
    }
  }
  if (descriptor >= 0) {
    int closed = bt_close_file(descriptor, error_callback, data);
    descriptor = -1;
    if (!closed)
      goto fail;
  }

  {
    bt_dwarf_sections sections{};
    if (!bt_sections_decompress(state, plain, zdebug, section_views, &span_view, error_callback,
                                data, &sections))
      goto fail;
    // Nothing left to read units from (compressed sections that did not
    // decode): the module counts as one without DWARF, so that its symbols
    // still name its frames.
    if (sections.size[DEBUG_INFO] == 0)
      return 1;
    if (!bt_dwarf_module_read(state, base_address, &sections, is_bigendian, altlink_module,
                              error_callback, data, fileline_fn, fileline_entry))
      goto fail;
    *found_dwarf = 1;
    return 1;
  }

fail:
  bt_elf_table_release(state, &shdrs_view, &shdrs_copy, error_callback, data);
  bt_elf_table_release(state, &names_view, &names_copy, error_callback, data);
  if (!strtab_kept) {
    bt_view_release(state, &symtab_view, error_callback, data);
    bt_view_release(state, &strtab_view, error_callback, data);
    bt_view_release(state, &opd_view, error_callback, data);
  }
  release_all();
  bt_view_release(state, &span_view, error_callback, data);
  for (bt_view &v : section_views)
    bt_view_release(state, &v, error_callback, data);
  if (descriptor >= 0)
    bt_close_file(descriptor, error_callback, data);
  return 0;
}

struct bt_loader_walk {
  bt_state *state;
  bt_error_callback error_callback;
  void *data;
  bt_fileline_fn *fileline_fn;
  int *found_sym;
  int *found_dwarf;
  const char *exe_filename;
  int exe_descriptor;
};

static int bt_loaded_object_callback(struct dl_phdr_info *info, size_t, void *pdata)
{
  bt_loader_walk *walk = static_cast<bt_loader_walk *>(pdata);
  const char *filename = info->dlpi_name;
  int descriptor;
  if (!filename || filename[0] == '\0') {
    if (walk->exe_descriptor == -1)
      return 0;
    filename = walk->exe_filename;
    descriptor = walk->exe_descriptor;
    walk->exe_descriptor = -1;
  } else {
    if (walk->exe_descriptor != -1) {
      bt_close_file(walk->exe_descriptor, walk->error_callback, walk->data);
      walk->exe_descriptor = -1;
    }
    int does_not_exist;
    descriptor = bt_open_file(filename, walk->error_callback, walk->data, &does_not_exist);
    if (descriptor < 0)
      return 0;
  }
  bt_fileline_fn module_fileline_fn = nullptr;
  int module_found_sym = 0, module_found_dwarf = 0;
  if (bt_elf_read_module(walk->state, filename, descriptor, nullptr, 0, info->dlpi_addr,
                         walk->error_callback, walk->data, &module_fileline_fn,
                         &module_found_sym, &module_found_dwarf, nullptr, 0, 0, nullptr, 0)) {
    if (module_found_sym)
      *walk->found_sym = 1;
    if (module_found_dwarf) {
      *walk->found_dwarf = 1;
      *walk->fileline_fn = module_fileline_fn;
    }
  }
  return 0;
}

int bt_elf_init(bt_state *state, const char *filename, int descriptor,
                bt_error_callback error_callback, void *data, bt_fileline_fn *fileline_fn)
{
  int found_sym = 0, found_dwarf = 0;
  bt_fileline_fn elf_fileline_fn = bt_elf_no_debug_lookup;
  int ret = bt_elf_read_module(state, filename, descriptor, nullptr, 0, 0, error_callback, data,
                               &elf_fileline_fn, &found_sym, &found_dwarf, nullptr, 1, 0,
                               nullptr, 0);
  if (!ret)
    return 0;

  bt_loader_walk walk = {state,       error_callback, data,     &elf_fileline_fn,
                         &found_sym,  &found_dwarf,   filename, ret < 0 ? descriptor : -1};
  dl_iterate_phdr(bt_loaded_object_callback, &walk);
  if (walk.exe_descriptor != -1)
    bt_close_file(walk.exe_descriptor, error_callback, data);

  if (found_sym) {
    bt_store(state, &state->syminfo_fn, static_cast<bt_syminfo_fn>(bt_elf_symbol_lookup));
  } else if (state->threaded) {
    bt_syminfo_fn expected = nullptr;
    bt_syminfo_fn none = bt_elf_no_symbols_lookup;
    __atomic_compare_exchange_n(&state->syminfo_fn, &expected, none, false, __ATOMIC_ACQ_REL,
                                __ATOMIC_ACQUIRE);
  } else if (!state->syminfo_fn) {
    state->syminfo_fn = bt_elf_no_symbols_lookup;
  }

  bt_fileline_fn current = bt_load(state, &state->fileline_fn);
  if (!current || current == bt_elf_no_debug_lookup)
    *fileline_fn = elf_fileline_fn;
  else
    *fileline_fn = current;
  return 1;
}
