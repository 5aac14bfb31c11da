// Separate debug files: the build-id note, the link sections and where the
// files they name are looked for, in a scratch directory.
#include "libmerrow/internal.h"
#include "tests/libmerrow/image-bytes.h"
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
