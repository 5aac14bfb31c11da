// DWARF byte builders for the stack-trace library's tests: abbreviation
// tables, unit headers and line programs.
#ifndef VUZ_TESTS_LIBMERROW_DWARF_BYTES_H
#define VUZ_TESTS_LIBMERROW_DWARF_BYTES_H

#include "tests/libmerrow/image-bytes.h"

#include <utility>
#include <vector>

struct abbrev_entry {
  uint64_t code;
  int tag;
  int children;
  std::vector<std::pair<int, int>> attrs;  // (name, form)
};

inline bytes abbrev_table(const std::vector<abbrev_entry> &entries)
{
  bytes b;
  for (const abbrev_entry &e : entries) {
    b.uleb(e.code).uleb(e.tag).u8(e.children);
    for (auto [name, form] : e.attrs)
      b.uleb(name).uleb(form);
    b.u8(0).u8(0);
  }
  b.u8(0);
  return b;
}

// A version 2-4 compile-unit header (32-bit format, 8-byte addresses) before BODY.
inline bytes unit_v4(const bytes &body, int version = 4)
{
  bytes u;
  u.u16(version).u32(0).u8(8).raw(body);
  return bytes().unit(u);
}

constexpr int v4_header_size = 11;

// A version 4 line program: directory "/inc", files "a.c" (directory 0) and
// "b.h" (directory 1), then PROGRAM.
inline bytes line_v4(const bytes &program, int line_range = 14, int max_ops = 1, int version = 4)
{
  bytes header;
  header.u8(1);  // minimum instruction length
  if (version >= 4)
    header.u8(max_ops);
  header.u8(1).u8(static_cast<uint8_t>(-5)).u8(line_range).u8(13);
  for (int length : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1})
    header.u8(length);
  header.str("/inc").u8(0);
  header.str("a.c").uleb(0).uleb(0).uleb(0);
  header.str("b.h").uleb(1).uleb(0).uleb(0);
  header.u8(0);
  bytes body;
  body.u16(version).u32(header.size()).raw(header).raw(program);
  return bytes().unit(body);
}

inline bytes set_address(uint64_t address)
{
  bytes b;
  b.u8(0).uleb(9).u8(2).u64(address);
  return b;
}

inline bytes end_sequence()
{
  bytes b;
  b.u8(0).uleb(1).u8(1);
  return b;
}

#endif
