// Byte builders for the stack-trace library's tests: little-endian DWARF
// fragments and small 64-bit ELF images assembled from named sections.
#ifndef VUZ_TESTS_LIBMERROW_IMAGE_BYTES_H
#define VUZ_TESTS_LIBMERROW_IMAGE_BYTES_H

#include <cstdint>
#include <cstring>
#include <elf.h>
#include <string>
#include <vector>

struct bytes {
  std::vector<unsigned char> b;

  bytes &u8(uint64_t v) { b.push_back(static_cast<unsigned char>(v)); return *this; }
  bytes &fixed(uint64_t v, int n)
  {
    for (int i = 0; i < n; ++i)
      u8(v >> (8 * i));
    return *this;
  }
  bytes &u16(uint64_t v) { return fixed(v, 2); }
  bytes &u32(uint64_t v) { return fixed(v, 4); }
  bytes &u64(uint64_t v) { return fixed(v, 8); }
  bytes &uleb(uint64_t v)
  {
    do {
      unsigned char c = v & 0x7f;
      v >>= 7;
      u8(v ? c | 0x80 : c);
    } while (v);
    return *this;
  }
  bytes &sleb(int64_t v)
  {
    for (;;) {
      unsigned char c = v & 0x7f;
      v >>= 7;
      bool done = (v == 0 && !(c & 0x40)) || (v == -1 && (c & 0x40));
      u8(done ? c : c | 0x80);
      if (done)
        return *this;
    }
  }
  bytes &str(const char *s) { b.insert(b.end(), s, s + strlen(s) + 1); return *this; }
  bytes &raw(const bytes &o) { b.insert(b.end(), o.b.begin(), o.b.end()); return *this; }
  size_t size() const { return b.size(); }
  // A 32-bit unit: its length, then BODY.
  bytes &unit(const bytes &body) { u32(body.size()); return raw(body); }
};

struct elf_section {
  std::string name;
  uint32_t type;
  bytes data;
  uint32_t link = 0;
  uint64_t flags = 0;
};

// An ELF64 little-endian image: header, section data, the section-name table
// and the section headers (null section first, names last).
inline std::vector<unsigned char> elf_image(const std::vector<elf_section> &sections,
                                            uint16_t type = ET_EXEC)
{
  bytes names;
  names.u8(0);
  std::vector<uint32_t> name_offsets;
  for (const elf_section &s : sections) {
    name_offsets.push_back(names.size());
    names.str(s.name.c_str());
  }
  uint32_t shstrtab_name = names.size();
  names.str(".shstrtab");

  std::vector<unsigned char> image(sizeof(Elf64_Ehdr));
  std::vector<uint64_t> offsets;
  for (const elf_section &s : sections) {
    offsets.push_back(image.size());
    image.insert(image.end(), s.data.b.begin(), s.data.b.end());
  }
  uint64_t names_offset = image.size();
  image.insert(image.end(), names.b.begin(), names.b.end());
  while (image.size() % 8)
    image.push_back(0);
  uint64_t shoff = image.size();
  std::vector<Elf64_Shdr> headers(1);
  memset(&headers[0], 0, sizeof headers[0]);
  for (size_t i = 0; i < sections.size(); ++i) {
    Elf64_Shdr h{};
    h.sh_name = name_offsets[i];
    h.sh_type = sections[i].type;
    h.sh_flags = sections[i].flags;
    h.sh_offset = offsets[i];
    h.sh_size = sections[i].data.size();
    h.sh_link = sections[i].link;
    headers.push_back(h);
  }
  Elf64_Shdr names_header{};
  names_header.sh_name = shstrtab_name;
  names_header.sh_type = SHT_STRTAB;
  names_header.sh_offset = names_offset;
  names_header.sh_size = names.size();
  headers.push_back(names_header);
  for (const Elf64_Shdr &h : headers) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(&h);
    image.insert(image.end(), p, p + sizeof h);
  }
  Elf64_Ehdr e{};
  memcpy(e.e_ident, ELFMAG, SELFMAG);
  e.e_ident[EI_CLASS] = ELFCLASS64;
  e.e_ident[EI_DATA] = ELFDATA2LSB;
  e.e_ident[EI_VERSION] = EV_CURRENT;
  e.e_type = type;
  e.e_machine = EM_X86_64;
  e.e_version = EV_CURRENT;
  e.e_shoff = shoff;
  e.e_ehsize = sizeof e;
  e.e_shentsize = sizeof(Elf64_Shdr);
  e.e_shnum = headers.size();
  e.e_shstrndx = headers.size() - 1;
  memcpy(image.data(), &e, sizeof e);
  return image;
}

// One ELF64 symbol record.
inline bytes elf_symbol(uint32_t name, int type, uint16_t shndx, uint64_t value, uint64_t size)
{
  bytes b;
  b.u32(name).u8(ELF64_ST_INFO(STB_GLOBAL, type)).u8(0).u16(shndx).u64(value).u64(size);
  return b;
}

#endif
