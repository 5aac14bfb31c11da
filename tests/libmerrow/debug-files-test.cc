// Separate debug files: the build-id note, the link sections and where the
// files they name are looked for, in a scratch directory.
#include "libmerrow/dwarf.h"
#include "tests/libmerrow/dwarf-bytes.h"
#include "tests/libmerrow/recorder.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bt_state *state()
{
  static bt_state *s = bt_state_new(nullptr, 0, nullptr, nullptr);
  return s;
}

TEST(DebugLink, CrcFollowsTheNameAtTheNextMultipleOfFour)
{
  struct {
    const char *name;
    size_t crc_offset;
  } cases[] = {{"abcdefgh", 12}, {"abcdefghi", 12}, {"abcdefghijk", 12}, {"abcdefghijkl", 16}};
  for (const auto &c : cases) {
    bytes section;
    section.str(c.name);
    while (section.size() % 4)
      section.u8(0);
    section.u32(0x12345678);
    ASSERT_EQ(section.size(), c.crc_offset + 4) << c.name;
    const char *name;
    uint32_t crc;
    ASSERT_TRUE(bt_debuglink_parse(section.b.data(), section.size(), &name, &crc)) << c.name;
    EXPECT_STREQ(name, c.name);
    EXPECT_EQ(crc, 0x12345678u);
    // One byte short of the CRC: no link.
    EXPECT_FALSE(bt_debuglink_parse(section.b.data(), section.size() - 1, &name, &crc)) << c.name;
  }
  const unsigned char unterminated[] = {'a', 'b', 'c', 'd'};
  const char *name;
  uint32_t crc;
  EXPECT_FALSE(bt_debuglink_parse(unterminated, sizeof unterminated, &name, &crc));
}

TEST(BuildId, NoteIsTakenOnlyWhenItsFieldsHold)
{
  auto note = [](uint32_t name_size, uint32_t desc_size, uint32_t type, const char *owner,
                 int desc_bytes, int extra) {
    bytes b;
    b.u32(name_size).u32(desc_size).u32(type);
    b.b.insert(b.b.end(), owner, owner + 4);
    for (int i = 0; i < desc_bytes + extra; ++i)
      b.u8(0xa0 + i);
    return b;
  };
  struct {
    const char *what;
    bytes section;
    bool taken;
  } cases[] = {
      {"exact", note(4, 20, 3, "KAV", 20, 0), true},
      {"section larger than the note", note(4, 20, 3, "KAV", 20, 8), true},
      {"descriptor past the section", note(4, 20, 3, "KAV", 19, 0), false},
      {"empty build-id", note(4, 0, 3, "KAV", 0, 0), false},
      {"other type", note(4, 20, 1, "KAV", 20, 0), false},
      {"other owner", note(4, 20, 3, "XYZ", 20, 0), false},
      {"name size 5", note(5, 20, 3, "KAV", 20, 0), false},
  };
  for (const auto &c : cases) {
    bt_build_id id{};
    EXPECT_EQ(bt_build_id_parse(c.section.b.data(), c.section.size(), &id), c.taken) << c.what;
    if (c.taken) {
      EXPECT_EQ(id.size, 20u);
      EXPECT_EQ(id.data[0], 0xa0);
    }
  }
  bt_build_id empty = {nullptr, 0};
  EXPECT_EQ(bt_debug_file_by_build_id(state(), &empty, recorder::on_error, nullptr), -1);
}

TEST(AltLink, BuildIdFillsTheRestOfTheSection)
{
  bytes section;
  section.str("alt.debug").u8(1).u8(2).u8(3);
  const char *name;
  bt_build_id id;
  ASSERT_TRUE(bt_altlink_parse(section.b.data(), section.size(), &name, &id));
  EXPECT_STREQ(name, "alt.debug");
  EXPECT_EQ(id.size, 3u);
  EXPECT_EQ(id.data[2], 3);
}

// A scratch directory, removed with everything in it.
struct scratch {
  std::string dir;
  scratch()
  {
    char pattern[] = "/tmp/libmerrow-debug-XXXXXX";
    dir = mkdtemp(pattern);
  }
  ~scratch() { system(("rm -rf " + dir).c_str()); }
  std::string path(const std::string &name) const { return dir + "/" + name; }
  void write(const std::string &name, const std::string &contents) const
  {
    int fd = open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
    close(fd);
  }
};

int open_by_link(const std::string &module, const char *link, uint32_t crc)
{
  recorder r;
  int fd = bt_debug_file_by_link(state(), module.c_str(), link, crc, recorder::on_error, &r);
  EXPECT_TRUE(r.errors.empty());
  return fd;
}

TEST(DebugLink, CandidatesBesideAndInDotDebugWithTheCrcChecked)
{
  scratch s;
  mkdir(s.path(".debug").c_str(), 0755);
  s.write("prog", "program");
  s.write("beside.debug", "debug data");
  s.write(".debug/below.debug", "debug data");
  uint32_t crc = bt_crc32(0, reinterpret_cast<const unsigned char *>("debug data"), 10);
  for (const char *link : {"beside.debug", "below.debug"}) {
    int fd = open_by_link(s.path("prog"), link, crc);
    EXPECT_GE(fd, 0) << link;
    close(fd);
    EXPECT_EQ(open_by_link(s.path("prog"), link, crc ^ 1), -1) << link;
    fd = open_by_link(s.path("prog"), link, 0);  // no CRC: not checked
    EXPECT_GE(fd, 0) << link;
    close(fd);
  }
  EXPECT_EQ(open_by_link(s.path("prog"), "missing.debug", 0), -1);
}

TEST(DebugLink, RelativeSymbolicLinksResolveFromTheLinksDirectory)
{
  scratch s;
  mkdir(s.path("real").c_str(), 0755);
  s.write("real/prog", "program");
  s.write("real/prog.debug", "debug data");
  ASSERT_EQ(symlink("real/prog", s.path("link").c_str()), 0);
  ASSERT_EQ(symlink("link", s.path("link2").c_str()), 0);
  int fd = open_by_link(s.path("link2"), "prog.debug", 0);
  EXPECT_GE(fd, 0);
  close(fd);
}

TEST(DebugLink, ALoopOfSymbolicLinksEnds)
{
  scratch s;
  ASSERT_EQ(symlink("b", s.path("a").c_str()), 0);
  ASSERT_EQ(symlink("a", s.path("b").c_str()), 0);
  s.write("x.debug", "debug data");
  // The resolution stops after its bound, at a name in the same directory.
  int fd = open_by_link(s.path("a"), "x.debug", 0);
  EXPECT_GE(fd, 0);
  close(fd);
}

TEST(Crc32, StandardCheckValue)
{
  const unsigned char text[] = "123456789";
  EXPECT_EQ(bt_crc32(0, text, 9), 0xCBF43926u);
  // In pieces, across the eight-byte steps.
  EXPECT_EQ(bt_crc32(bt_crc32(0, text, 3), text + 3, 6), 0xCBF43926u);
  EXPECT_EQ(bt_crc32(0, text, 0), 0u);
}

}  // namespace

namespace {

// A module whose one function is named by a string in its alternate file.
struct alternate_pair {
  std::vector<unsigned char> main, alternate;
};

alternate_pair alternate_files(const std::vector<unsigned char> &link_id,
                               const std::vector<unsigned char> &file_id)
{
  enum { yes = 1, no = 0 };
  bytes abbrev = abbrev_table({
      {1, DW_TAG_compile_unit, yes,
       {{DW_AT_name, DW_FORM_string}, {DW_AT_stmt_list, DW_FORM_sec_offset},
        {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data4}}},
      {2, DW_TAG_subprogram, no,
       {{DW_AT_name, DW_FORM_KAV_strp_alt}, {DW_AT_low_pc, DW_FORM_addr},
        {DW_AT_high_pc, DW_FORM_data4}}},
  });
  bytes body;
  body.uleb(1).str("a.c").u32(0).u64(0x1000).u32(0x100);
  body.uleb(2).u32(4).u64(0x1000).u32(0x100);  // offset 4: "named_elsewhere"
  body.u8(0);
  bytes line = line_v4(bytes().raw(set_address(0x1000)).u8(1).u8(2).uleb(0x100).raw(end_sequence()));
  bytes link;
  link.str("alt.debug");
  link.b.insert(link.b.end(), link_id.begin(), link_id.end());

  bytes note;
  note.u32(4).u32(file_id.size()).u32(3);
  note.b.insert(note.b.end(), {'K', 'A', 'V', 0});
  note.b.insert(note.b.end(), file_id.begin(), file_id.end());
  bytes alt_body;
  alt_body.uleb(1).u8(0);
  bytes alt_abbrev = abbrev_table({{1, DW_TAG_compile_unit, no, {}}});
  bytes strings;
  strings.str("alt").str("named_elsewhere");
  return {elf_image({{".debug_info", SHT_PROGBITS, unit_v4(body)},
                     {".debug_abbrev", SHT_PROGBITS, abbrev},
                     {".debug_line", SHT_PROGBITS, line},
                     {".kav_debugaltlink", SHT_PROGBITS, link}}),
          elf_image({{".note.kav.build-id", SHT_NOTE, note},
                     {".debug_info", SHT_PROGBITS, unit_v4(alt_body)},
                     {".debug_abbrev", SHT_PROGBITS, alt_abbrev},
                     {".debug_str", SHT_PROGBITS, strings}})};
}

std::string write_bytes(const scratch &s, const std::string &name,
                        const std::vector<unsigned char> &b)
{
  s.write(name, std::string(b.begin(), b.end()));
  return s.path(name);
}

TEST(AltLink, NamesComeFromTheAlternateFileWhoseBuildIdMatches)
{
  std::vector<unsigned char> id = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<unsigned char> other = {1, 2, 3, 4, 5, 6, 7, 9};
  struct {
    const char *what;
    std::vector<unsigned char> file_id;
    const char *function;
  } cases[] = {{"matching build-id", id, "named_elsewhere"}, {"other build-id", other, ""}};
  for (const auto &c : cases) {
    scratch s;
    alternate_pair files = alternate_files(id, c.file_id);
    std::string main_path = write_bytes(s, "prog", files.main);
    write_bytes(s, "alt.debug", files.alternate);
    recorder r;
    bt_state *st = bt_state_new(nullptr, 0, nullptr, nullptr);
    int descriptor = bt_open_file(main_path.c_str(), recorder::on_error, &r, nullptr);
    ASSERT_GE(descriptor, 0);
    bt_fileline_fn fn = nullptr;
    int found_sym = 0, found_dwarf = 0;
    ASSERT_EQ(bt_elf_read_module(st, main_path.c_str(), descriptor, nullptr, 0, 0,
                                 recorder::on_error, &r, &fn, &found_sym, &found_dwarf, nullptr, 0,
                                 0, nullptr, 0),
              1)
        << c.what;
    ASSERT_TRUE(found_dwarf) << c.what;
    bt_dwarf_resolve(st, 0x1010, recorder::on_frame, recorder::on_error, &r);
    ASSERT_FALSE(r.frames.empty()) << c.what;
    EXPECT_EQ(r.frames[0].function, c.function) << c.what;
  }
}

}  // namespace
