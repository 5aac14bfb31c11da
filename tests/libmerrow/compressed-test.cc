// Compressed debug sections: the two section forms around a zlib stream, the
// sizes they may announce, and the xz container's refusals that need no oracle.
#include "libmerrow/internal.h"
#include "tests/libmerrow/image-bytes.h"
#include "tests/libmerrow/recorder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A state keeps pointers into the images it read, for good.
std::vector<std::vector<unsigned char>> kept_images;

bt_state *state()
{
  static bt_state *s = bt_state_new(nullptr, 0, nullptr, nullptr);
  return s;
}

// A zlib stream of one stored block holding TEXT.
bytes stored_stream(const std::string &text)
{
  bytes b;
  b.u8(0x78).u8(0x01).u8(0x01).u16(text.size()).u16(~text.size() & 0xffff);
  b.b.insert(b.b.end(), text.begin(), text.end());
  uint32_t a = 1, s = 0;
  for (unsigned char c : text) {
    a = (a + c) % 65521;
    s = (s + a) % 65521;
  }
  uint32_t adler = s << 16 | a;
  for (int i = 3; i >= 0; --i)
    b.u8(adler >> (8 * i));
  return b;
}

bytes chdr_section(uint32_t type, uint64_t size, const bytes &stream)
{
  bytes b;
  b.u32(type).u32(0).u64(size).u64(1).raw(stream);
  return b;
}

bytes zdebug_section(uint64_t size, const bytes &stream)
{
  bytes b;
  b.str("ZLIB");
  b.b.pop_back();
  for (int i = 7; i >= 0; --i)
    b.u8(size >> (8 * i));
  return b.raw(stream);
}

struct decoded {
  int result;
  std::string text;
  bool has_buffer;
};

decoded decode(bool older, const bytes &section)
{
  std::vector<unsigned char> work(BT_INFLATE_WORK_SIZE);
  unsigned char *out = reinterpret_cast<unsigned char *>(1);
  size_t out_size = 99;
  int result = (older ? bt_zdebug_section_decompress : bt_chdr_section_decompress)(
      state(), section.b.data(), section.size(), work.data(), nullptr, nullptr, &out, &out_size);
  decoded d = {result, out ? std::string(reinterpret_cast<char *>(out), out_size) : "", out != nullptr};
  if (out)
    bt_free(state(), out, out_size, nullptr, nullptr);
  return d;
}

TEST(CompressedSection, BothFormsDecodeOrLeaveTheSlotEmpty)
{
  bytes hello = stored_stream("hello, sections");
  struct {
    const char *what;
    bool older;
    bytes section;
    bool decodes;
  } cases[] = {
      {"compression header", false, chdr_section(1, 15, hello), true},
      {"older form", true, zdebug_section(15, hello), true},
      {"header type other than zlib", false, chdr_section(2, 15, hello), false},
      {"header size one short", false, chdr_section(1, 14, hello), false},
      {"older size one long", true, zdebug_section(16, hello), false},
      {"section shorter than its header", false, bytes().u32(1).u32(0).u64(15), false},
      {"older form without ZLIB", true, bytes().u64(0).u64(15).raw(hello), false},
      {"older form of 11 bytes", true, bytes().u32(0x42494c5a).u32(0).u16(0).u8(0), false},
  };
  for (const auto &c : cases) {
    decoded d = decode(c.older, c.section);
    EXPECT_EQ(d.result, 1) << c.what;
    EXPECT_EQ(d.has_buffer, c.decodes) << c.what;
    if (c.decodes)
      EXPECT_EQ(d.text, "hello, sections") << c.what;
  }
}

TEST(CompressedSection, SizeBeyondWhatTheInputCouldGiveIsNotAllocated)
{
  bytes hello = stored_stream("hello, sections");
  // 1032 bytes out for each byte in is deflate's limit; petabytes would fail
  // the mapping, and a size of many gigabytes must not be mapped at all.
  for (uint64_t size : {uint64_t{1} << 50, uint64_t{hello.size()} * 1033, ~uint64_t{0}}) {
    bt_state fresh{};
    std::vector<unsigned char> work(BT_INFLATE_WORK_SIZE);
    unsigned char *out = nullptr;
    size_t out_size = 0;
    bytes section = chdr_section(1, size, hello);
    EXPECT_EQ(bt_chdr_section_decompress(&fresh, section.b.data(), section.size(), work.data(),
                                         nullptr, nullptr, &out, &out_size),
              1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(fresh.freelist, nullptr) << size;  // nothing was allocated
  }
}

TEST(CompressedSection, FailedInflationGivesItsBufferBack)
{
  bt_state fresh{};
  std::vector<unsigned char> work(BT_INFLATE_WORK_SIZE);
  std::string text(32, 'x');  // a multiple of 8: no rounding lost
  bytes bad = stored_stream(text);
  bad.b.back() ^= 1;  // the checksum
  bytes section = zdebug_section(text.size(), bad);
  unsigned char *out = nullptr;
  size_t out_size = 0;
  ASSERT_EQ(bt_zdebug_section_decompress(&fresh, section.b.data(), section.size(), work.data(),
                                         nullptr, nullptr, &out, &out_size),
            1);
  EXPECT_EQ(out, nullptr);
  // The whole page is back on the free list: the buffer beside its tail.
  size_t listed = 0;
  for (bt_free_block *b = fresh.freelist; b; b = b->next)
    listed += b->size;
  EXPECT_EQ(listed, static_cast<size_t>(getpagesize()));
}

TEST(CompressedSection, ModuleWhoseSectionsDoNotInflateKeepsItsSymbols)
{
  bytes garbage;
  garbage.u8(0x78).u8(0x9c).u32(0xdeadbeef).u32(0x12345678);
  bytes strtab;
  strtab.u8(0).str("named");
  bytes symtab = elf_symbol(0, STT_NOTYPE, 0, 0, 0).raw(elf_symbol(1, STT_FUNC, 1, 0x1000, 0x10));
  for (bool older : {false, true}) {
    elf_section info = older ? elf_section{".zdebug_info", SHT_PROGBITS, zdebug_section(64, garbage)}
                             : elf_section{".debug_info", SHT_PROGBITS, chdr_section(1, 64, garbage),
                                           0, SHF_COMPRESSED};
    std::vector<unsigned char> image = elf_image(
        {info, {".symtab", SHT_SYMTAB, symtab, 3}, {".strtab", SHT_STRTAB, strtab}});
    bt_state *s = bt_state_new(nullptr, 0, nullptr, nullptr);
    bt_fileline_fn fn = nullptr;
    int found_sym = 0, found_dwarf = 0;
    recorder r;
    EXPECT_EQ(bt_elf_read_module(s, "image", -1, image.data(), image.size(), 0, recorder::on_error,
                                 &r, &fn, &found_sym, &found_dwarf, nullptr, 0, 0, nullptr, 0),
              1)
        << older;
    EXPECT_TRUE(r.errors.empty()) << older;  // inflation failures are silent
    EXPECT_EQ(found_sym, 1) << older;
    EXPECT_EQ(found_dwarf, 0) << older;
    kept_images.push_back(std::move(image));
  }
}

TEST(Xz, StreamsTooShortOrWithoutMagicAreRefused)
{
  std::vector<unsigned char> zeros(64);
  unsigned char *out = nullptr;
  size_t size = 0;
  EXPECT_EQ(bt_xz_decode(state(), zeros.data(), 23, nullptr, nullptr, &out, &size), 0);
  EXPECT_EQ(bt_xz_decode(state(), zeros.data(), zeros.size(), nullptr, nullptr, &out, &size), 0);
  EXPECT_EQ(out, nullptr);
}

TEST(Xz, MultibyteIntegers)
{
  struct {
    std::vector<unsigned char> in;
    int ok;
    uint64_t value;
  } cases[] = {
      {{0x00}, 1, 0},
      {{0x7f}, 1, 127},
      {{0x80, 0x01}, 1, 128},
      {{0x80, 0x00}, 0, 0},  // a second spelling of 0
      {{0x80}, 0, 0},        // runs past the data
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}, 1, (uint64_t{1} << 63) - 1},
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}, 0, 0},  // ten bytes
  };
  for (const auto &c : cases) {
    size_t pos = 0;
    uint64_t value = 0;
    EXPECT_EQ(bt_xz_varint(c.in.data(), c.in.size(), &pos, &value), c.ok);
    if (c.ok)
      EXPECT_EQ(value, c.value);
  }
}

}  // namespace
