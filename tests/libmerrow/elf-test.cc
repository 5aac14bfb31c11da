// ELF module reading over in-memory images and files: header checks, section
// tables, views that would run past the data, and symbol tables.
#include "libmerrow/internal.h"
#include "tests/libmerrow/image-bytes.h"
#include "tests/libmerrow/recorder.h"

#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct module_read {
  int result;
  recorder r;
  bt_state *state;
};

// A state keeps pointers into the images it read, for good.
std::deque<std::vector<unsigned char>> kept_images;

module_read read_image(const std::vector<unsigned char> &original, uintptr_t base = 0,
                       bt_state *state = nullptr)
{
  const std::vector<unsigned char> &image = kept_images.emplace_back(original);
  module_read m;
  m.state = state ? state : bt_state_new(nullptr, 0, recorder::on_error, &m.r);
  bt_fileline_fn fn = nullptr;
  int found_sym = 0, found_dwarf = 0;
  m.result = bt_elf_read_module(m.state, "image", -1, image.data(), image.size(), base,
                                recorder::on_error, &m.r, &fn, &found_sym, &found_dwarf, nullptr,
                                0, 0, nullptr, 0);
  return m;
}

// Symbols: "" at 0, then each name; symbol records refer to these offsets.
bytes names_table(std::vector<std::string> names, std::vector<uint32_t> *offsets)
{
  bytes b;
  b.u8(0);
  for (const std::string &n : names) {
    offsets->push_back(b.size());
    b.str(n.c_str());
  }
  return b;
}

std::vector<unsigned char> with_symbols(const bytes &symtab, const bytes &strtab,
                                        uint32_t link = 2)
{
  return elf_image({{".symtab", SHT_SYMTAB, symtab, link}, {".strtab", SHT_STRTAB, strtab}});
}

std::pair<std::string, uintptr_t> lookup(bt_state *state, uintptr_t pc)
{
  std::pair<std::string, uintptr_t> found{"", 0};
  bt_elf_symbol_lookup(
      state, pc,
      [](void *data, uintptr_t, const char *name, uintptr_t value, uintptr_t) {
        *static_cast<std::pair<std::string, uintptr_t> *>(data) = {name ? name : "", value};
      },
      nullptr, &found);
  return found;
}

TEST(ElfModule, BadHeadersAreReportedInOrder)
{
  std::vector<unsigned char> good = elf_image({});
  struct {
    size_t offset;
    unsigned char value;
    const char *message;
  } cases[] = {
      {0, 0x7e, "executable file is not ELF"},
      {3, 'f', "executable file is not ELF"},
      {EI_VERSION, 0, "executable file is unrecognized ELF version"},
      {EI_CLASS, ELFCLASS32, "executable file is unexpected ELF class"},
      {EI_DATA, 0, "executable file has unknown endianness"},
      {EI_DATA, 3, "executable file has unknown endianness"},
  };
  for (const auto &c : cases) {
    std::vector<unsigned char> image = good;
    image[c.offset] = c.value;
    module_read m = read_image(image);
    EXPECT_EQ(m.result, 0) << c.message;
    ASSERT_EQ(m.r.errors.size(), 1u) << c.message;
    EXPECT_EQ(m.r.errors[0], std::make_pair(std::string(c.message), 0));
  }
  EXPECT_EQ(read_image(good).result, 1);
}

TEST(ElfModule, ImagesAndSectionsPastTheEndAreOutOfRange)
{
  std::vector<unsigned char> short_image(63, 0);
  module_read m = read_image(short_image);
  EXPECT_EQ(m.result, 0);
  ASSERT_EQ(m.r.errors.size(), 1u);
  EXPECT_EQ(m.r.errors[0].first, "out of range for in-memory file");

  // A section whose size runs far past the image, with offset + size wrapping.
  bytes info;
  info.u32(0);
  std::vector<unsigned char> image = elf_image({{".debug_info", SHT_PROGBITS, info}});
  Elf64_Ehdr e;
  memcpy(&e, image.data(), sizeof e);
  for (uint64_t size : {uint64_t{1} << 40, ~uint64_t{0} - 8}) {
    std::vector<unsigned char> bad = image;
    memcpy(bad.data() + e.e_shoff + sizeof(Elf64_Shdr) + offsetof(Elf64_Shdr, sh_size), &size, 8);
    module_read big = read_image(bad);
    EXPECT_EQ(big.result, 0);
    ASSERT_FALSE(big.r.errors.empty());
    EXPECT_EQ(big.r.errors.back().first, "out of range for in-memory file");
  }
}

TEST(ElfModule, SectionPastTheEndOfAFileFailsWithoutAFault)
{
  // A mapping of file pages past its end would raise SIGBUS when read.
  bytes info;
  info.u32(0);
  std::vector<unsigned char> image = elf_image({{".debug_info", SHT_PROGBITS, info}});
  Elf64_Ehdr e;
  memcpy(&e, image.data(), sizeof e);
  uint64_t past_end = image.size() + 3 * 4096;
  memcpy(image.data() + e.e_shoff + sizeof(Elf64_Shdr) + offsetof(Elf64_Shdr, sh_offset),
         &past_end, 8);
  char path[] = "/tmp/libmerrow-short-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, image.data(), image.size()), static_cast<ssize_t>(image.size()));
  close(fd);
  recorder r;
  bt_state *state = bt_state_new(nullptr, 0, recorder::on_error, &r);
  int descriptor = bt_open_file(path, recorder::on_error, &r, nullptr);
  unlink(path);
  ASSERT_GE(descriptor, 0);
  bt_fileline_fn fn;
  int found_sym, found_dwarf;
  EXPECT_EQ(bt_elf_read_module(state, path, descriptor, nullptr, 0, 0, recorder::on_error, &r,
                               &fn, &found_sym, &found_dwarf, nullptr, 0, 0, nullptr, 0),
            0);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0], std::make_pair(std::string("out of range for in-memory file"), 0));
  // The descriptor was closed by the failed read.
  EXPECT_EQ(fcntl(descriptor, F_GETFD), -1);
}

TEST(ElfModule, PositionIndependentExecutableIsLeftForTheLoaderWalk)
{
  std::vector<unsigned char> image = elf_image({}, ET_DYN);
  bt_state *state = bt_state_new(nullptr, 0, nullptr, nullptr);
  recorder r;
  bt_fileline_fn fn;
  int found_sym, found_dwarf;
  EXPECT_EQ(bt_elf_read_module(state, "pie", -1, image.data(), image.size(), 0,
                               recorder::on_error, &r, &fn, &found_sym, &found_dwarf, nullptr, 1,
                               0, nullptr, 0),
            -1);
  EXPECT_EQ(read_image(image).result, 1);  // read normally as a loaded object
}

TEST(ElfModule, SectionCountFromTheFirstSectionHeader)
{
  std::vector<uint32_t> at;
  bytes strtab = names_table({"counted"}, &at);
  std::vector<unsigned char> image =
      with_symbols(elf_symbol(at[0], STT_FUNC, 1, 0x1000, 0x10), strtab);
  Elf64_Ehdr e;
  memcpy(&e, image.data(), sizeof e);
  uint64_t count = e.e_shnum;
  memcpy(image.data() + e.e_shoff + offsetof(Elf64_Shdr, sh_size), &count, 8);
  e.e_shnum = 0;
  memcpy(image.data(), &e, sizeof e);
  module_read m = read_image(image);
  EXPECT_EQ(m.result, 1);
  EXPECT_EQ(lookup(m.state, 0x1008).first, "counted");
}

TEST(ElfModule, BadSectionTablesFailTheModule)
{
  std::vector<uint32_t> at;
  bytes strtab = names_table({"f"}, &at);
  bytes unterminated;
  unterminated.u8(0).u8('f');
  struct {
    std::vector<unsigned char> image;
    const char *message;
  } cases[] = {
      {with_symbols(elf_symbol(at[0], STT_FUNC, 1, 0x10, 4), strtab, 0),
       "ELF symbol table strtab link out of range"},
      {with_symbols(elf_symbol(at[0], STT_FUNC, 1, 0x10, 4), strtab, 9),
       "ELF symbol table strtab link out of range"},
      {with_symbols(elf_symbol(99, STT_FUNC, 1, 0x10, 4), strtab),
       "symbol string index out of range"},
      {with_symbols(elf_symbol(1, STT_FUNC, 1, 0x10, 4), unterminated),
       "symbol string index out of range"},
  };
  for (const auto &c : cases) {
    module_read m = read_image(c.image);
    EXPECT_EQ(m.result, 0) << c.message;
    ASSERT_EQ(m.r.errors.size(), 1u) << c.message;
    EXPECT_EQ(m.r.errors[0], std::make_pair(std::string(c.message), 0));
  }

  std::vector<unsigned char> image = elf_image({{".text", SHT_PROGBITS, bytes()}});
  Elf64_Ehdr e;
  memcpy(&e, image.data(), sizeof e);
  uint32_t far = 100000;
  memcpy(image.data() + e.e_shoff + sizeof(Elf64_Shdr), &far, 4);
  module_read m = read_image(image);
  EXPECT_EQ(m.result, 0);
  ASSERT_EQ(m.r.errors.size(), 1u);
  EXPECT_EQ(m.r.errors[0].first, "ELF section name out of range");
}

TEST(ElfSymbols, OnlyDefinedFunctionsAndObjectsMatchInsideTheirSize)
{
  std::vector<uint32_t> at;
  bytes strtab = names_table({"func", "object", "undefined", "section", "file", "empty"}, &at);
  bytes symtab;
  symtab.raw(elf_symbol(at[0], STT_FUNC, 1, 0x1000, 0x10))
      .raw(elf_symbol(at[1], STT_OBJECT, 1, 0x2000, 8))
      .raw(elf_symbol(at[2], STT_FUNC, SHN_UNDEF, 0x3000, 8))
      .raw(elf_symbol(at[3], STT_SECTION, 1, 0x4000, 8))
      .raw(elf_symbol(at[4], STT_FILE, 1, 0x5000, 8))
      .raw(elf_symbol(at[5], STT_FUNC, 1, 0x6000, 0));
  symtab.u8(1).u8(2).u8(3);  // a trailing partial record is ignored
  module_read m = read_image(with_symbols(symtab, strtab), 0x10000);
  ASSERT_EQ(m.result, 1);
  struct {
    uintptr_t pc;
    const char *name;
    uintptr_t value;
  } cases[] = {
      {0x11000, "func", 0x11000}, {0x1100f, "func", 0x11000}, {0x11010, "", 0},
      {0x10fff, "", 0},          {0x12004, "object", 0x12000}, {0x13000, "", 0},
      {0x14000, "", 0},          {0x15000, "", 0},            {0x16000, "", 0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(lookup(m.state, c.pc), std::make_pair(std::string(c.name), c.value))
        << std::hex << c.pc;
}

TEST(ElfSymbols, FirstAppendedTableWinsAndEmptyTablesMatchNothing)
{
  std::vector<uint32_t> at;
  bytes strtab = names_table({"first", "second"}, &at);
  module_read one = read_image(with_symbols(elf_symbol(at[0], STT_FUNC, 1, 0x100, 0x100), strtab));
  read_image(with_symbols(elf_symbol(at[1], STT_FUNC, 1, 0x80, 0x200), strtab), 0, one.state);
  EXPECT_EQ(lookup(one.state, 0x150).first, "first");
  EXPECT_EQ(lookup(one.state, 0x90).first, "second");

  bytes tiny;
  tiny.u32(0).u32(0);
  module_read empty = read_image(with_symbols(tiny, strtab));
  EXPECT_EQ(empty.result, 1);
  EXPECT_EQ(lookup(empty.state, 0).first, "");
}

}  // namespace

namespace {

TEST(ElfSymbols, FallbacksWithoutDebugInformation)
{
  std::vector<uint32_t> at;
  bytes strtab = names_table({"only"}, &at);
  module_read m = read_image(with_symbols(elf_symbol(at[0], STT_FUNC, 1, 0x100, 0x10), strtab));
  // With symbols: the frame carries the symbol's name and nothing else.
  m.state->syminfo_fn = bt_elf_symbol_lookup;
  recorder r;
  EXPECT_EQ(bt_elf_no_debug_lookup(m.state, 0x104, recorder::on_frame, recorder::on_error, &r), 0);
  EXPECT_EQ(r.frames, (std::vector<reported_frame>{{0x104, "", 0, "only"}}));
  r.stop_at = 1;
  EXPECT_EQ(bt_elf_no_debug_lookup(m.state, 0x200, recorder::on_frame, recorder::on_error, &r), 7);
  EXPECT_EQ(r.frames.back(), (reported_frame{0x200, "", 0, ""}));
  EXPECT_TRUE(r.errors.empty());

  // Without: each lookup says why, once, and reports no frame.
  m.state->syminfo_fn = bt_elf_no_symbols_lookup;
  recorder none;
  EXPECT_EQ(bt_elf_no_debug_lookup(m.state, 0x104, recorder::on_frame, recorder::on_error, &none), 0);
  bt_elf_no_symbols_lookup(m.state, 0x104, nullptr, recorder::on_error, &none);
  EXPECT_TRUE(none.frames.empty());
  EXPECT_EQ(none.errors, (std::vector<std::pair<std::string, int>>{
                             {"no debug info in ELF executable", -1},
                             {"no symbol table in ELF executable", -1}}));
}

}  // namespace
