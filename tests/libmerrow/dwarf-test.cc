// DWARF reading over hand-built sections: unit headers, forms, abbreviations,
// line programs, ranges, function entries and inlined calls.
#include "libmerrow/dwarf.h"
#include "tests/libmerrow/dwarf-bytes.h"
#include "tests/libmerrow/recorder.h"

#include <deque>
#include <gtest/gtest.h>

namespace {

enum { yes = 1, no = 0 };

struct sections {
  bytes info, line, abbrev, ranges, str, addr, str_offsets, line_str, rnglists;
};

struct module_result {
  bool ok;
  bt_dwarf_module *module;
  bt_state *state;
  recorder r;
};

std::deque<sections> kept;  // the module points into its sections for good

module_result read_module(const sections &original)
{
  const sections &s = kept.emplace_back(original);
  bt_dwarf_sections ds{};
  const bytes *all[] = {&s.info, &s.line, &s.abbrev, &s.ranges, &s.str,
                        &s.addr, &s.str_offsets, &s.line_str, &s.rnglists};
  for (int i = 0; i < DEBUG_MAX; ++i) {
    ds.data[i] = all[i]->b.data();
    ds.size[i] = all[i]->size();
  }
  module_result m{};
  m.state = bt_state_new(nullptr, 0, nullptr, nullptr);
  bt_fileline_fn fn = nullptr;
  m.ok = bt_dwarf_module_read(m.state, 0, &ds, 0, nullptr, recorder::on_error, &m.r, &fn,
                              &m.module);
  return m;
}

std::vector<reported_frame> resolve(module_result &m, uintptr_t pc)
{
  m.r.frames.clear();
  bt_dwarf_resolve(m.state, pc, recorder::on_frame, recorder::on_error, &m.r);
  return m.r.frames;
}

// A unit with an outer function, f inlined into it and g inlined into f.
sections inlined_program()
{
  sections s;
  s.abbrev = abbrev_table({
      {1, DW_TAG_compile_unit, yes,
       {{DW_AT_name, DW_FORM_string}, {DW_AT_comp_dir, DW_FORM_string},
        {DW_AT_stmt_list, DW_FORM_sec_offset}, {DW_AT_low_pc, DW_FORM_addr},
        {DW_AT_high_pc, DW_FORM_data4}}},
      {2, DW_TAG_subprogram, yes,
       {{DW_AT_name, DW_FORM_string}, {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data4}}},
      {3, DW_TAG_inlined_subroutine, yes,
       {{DW_AT_abstract_origin, DW_FORM_ref4}, {DW_AT_low_pc, DW_FORM_addr},
        {DW_AT_high_pc, DW_FORM_data4}, {DW_AT_call_file, DW_FORM_data1},
        {DW_AT_call_line, DW_FORM_data1}}},
      {4, DW_TAG_subprogram, no, {{DW_AT_linkage_name, DW_FORM_string}, {DW_AT_name, DW_FORM_string}}},
  });
  bytes body;
  body.uleb(1).str("a.c").str("/src").u32(0).u64(0xf00).u32(0x300);
  uint32_t f_decl = v4_header_size + body.size();
  body.uleb(4).str("_Z1fv").str("f");
  uint32_t g_decl = v4_header_size + body.size();
  body.uleb(4).str("_Z1gv").str("g");
  body.uleb(2).str("outer").u64(0x1000).u32(0x100);
  body.uleb(3).u32(f_decl).u64(0x1010).u32(0x70).u8(1).u8(20);
  body.uleb(3).u32(g_decl).u64(0x1020).u32(0x20).u8(2).u8(30);
  body.u8(0).u8(0).u8(0).u8(0);  // ends g's, f's, outer's and the unit's children
  s.info = unit_v4(body);
  bytes program;
  program.raw(set_address(0x1000)).u8(3).sleb(9).u8(1);        // 0x1000 line 10
  program.u8(2).uleb(0x20).u8(4).uleb(2).u8(3).sleb(30).u8(1);  // 0x1020 b.h line 40
  program.u8(2).uleb(0x20).u8(4).uleb(1).u8(3).sleb(-19).u8(1);  // 0x1040 a.c line 21
  program.u8(2).uleb(0xc0).raw(end_sequence());                  // 0x1100
  s.line = line_v4(program);
  return s;
}

TEST(DwarfLookup, InlinedCallsAreReportedInnermostFirst)
{
  module_result m = read_module(inlined_program());
  ASSERT_TRUE(m.ok);
  EXPECT_EQ(resolve(m, 0x1030),
            (std::vector<reported_frame>{{0x1030, "/inc/b.h", 40, "_Z1gv"},
                                         {0x1030, "/inc/b.h", 30, "_Z1fv"},
                                         {0x1030, "/src/a.c", 20, "outer"}}));
  EXPECT_EQ(resolve(m, 0x1050),
            (std::vector<reported_frame>{{0x1050, "/src/a.c", 21, "_Z1fv"},
                                         {0x1050, "/src/a.c", 20, "outer"}}));
  EXPECT_EQ(resolve(m, 0x1000), (std::vector<reported_frame>{{0x1000, "/src/a.c", 10, "outer"}}));
  // Inside the unit but before its first row: the unit's own file, line 0.
  EXPECT_EQ(resolve(m, 0xf80), (std::vector<reported_frame>{{0xf80, "/src/a.c", 0, ""}}));
  // Covered by no unit.
  EXPECT_EQ(resolve(m, 0x5000), (std::vector<reported_frame>{{0x5000, "", 0, ""}}));
  EXPECT_TRUE(m.r.errors.empty());
}

TEST(DwarfLookup, LineTablesThatCannotRunFailOnlyTheirUnit)
{
  struct {
    int line_range, max_ops;
  } cases[] = {{0, 1}, {14, 0}};
  for (const auto &c : cases) {
    sections s = inlined_program();
    bytes program;
    program.raw(set_address(0x1000)).u8(20).u8(2).uleb(4).u8(8).u8(1);
    s.line = line_v4(program, c.line_range, c.max_ops);
    module_result m = read_module(s);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(resolve(m, 0x1030), (std::vector<reported_frame>{{0x1030, "", 0, ""}}));
    ASSERT_EQ(m.r.errors.size(), 1u);
    EXPECT_EQ(m.r.errors[0].first.rfind("invalid line number program header in .debug_line", 0), 0u)
        << m.r.errors[0].first;
    // The unit stays failed: later lookups report the pc alone, silently.
    EXPECT_EQ(resolve(m, 0x1040), (std::vector<reported_frame>{{0x1040, "", 0, ""}}));
    EXPECT_EQ(m.r.errors.size(), 1u);
  }
}

TEST(DwarfLookup, LineProgramRowsAndSequences)
{
  sections s = inlined_program();
  bytes program;
  // Version 3: one operation per instruction, not read from the header.
  program.raw(set_address(0x1000)).u8(13 + 5).u8(13 + 5);  // two rows at 0x1000, line 1 then 1
  program.u8(13 + 14 + 6);                                  // 0x1001 line 2
  program.raw(end_sequence());
  program.raw(set_address(0x1080)).u8(1);                   // restart: line 1, file a.c
  program.u8(2).uleb(0x10).raw(end_sequence());
  s.line = line_v4(program, 14, 1, 3);
  module_result m = read_module(s);
  ASSERT_TRUE(m.ok);
  EXPECT_EQ(resolve(m, 0x1000).front(), (reported_frame{0x1000, "/src/a.c", 1, "outer"}));
  EXPECT_EQ(resolve(m, 0x1001).front().line, 2);
  EXPECT_EQ(resolve(m, 0x1085).back(), (reported_frame{0x1085, "/src/a.c", 1, "outer"}));
  ASSERT_NE(m.module->units[0]->lines, nullptr);
  EXPECT_EQ(m.module->units[0]->lines_count, 3u);  // the duplicate row was not added
}

TEST(DwarfUnits, VersionsOutsideTwoToFiveFailTheModule)
{
  for (int version : {1, 6}) {
    sections s = inlined_program();
    s.info.b[4] = static_cast<unsigned char>(version);
    module_result m = read_module(s);
    EXPECT_FALSE(m.ok);
    ASSERT_EQ(m.r.errors.size(), 1u);
    EXPECT_EQ(m.r.errors[0], std::make_pair(std::string("unrecognized DWARF version in .debug_info at 6"), -1));
  }
}

TEST(DwarfUnits, TypeUnitsAreSkippedButCounted)
{
  sections s;
  s.abbrev = abbrev_table({{1, DW_TAG_compile_unit, no, {{DW_AT_name, DW_FORM_string}}}});
  bytes type_unit;
  type_unit.u16(5).u8(2).u8(8).u32(0).u64(0x1234).u32(0).uleb(1).str("t");
  bytes compile_unit;
  compile_unit.u16(5).u8(1).u8(8).u32(0).uleb(1).str("c.c");
  s.info.unit(type_unit).unit(compile_unit);
  module_result m = read_module(s);
  ASSERT_TRUE(m.ok);
  ASSERT_EQ(m.module->units_count, 1u);
  EXPECT_EQ(m.module->units[0]->low_offset, type_unit.size() + 4);
  EXPECT_STREQ(m.module->units[0]->filename, "c.c");
}

TEST(DwarfUnits, AbbreviationCodesAreFoundDenseOrSparse)
{
  for (uint64_t step : {1, 10}) {
    sections s;
    s.abbrev = abbrev_table({{3 * step, DW_TAG_subprogram, no, {{DW_AT_name, DW_FORM_string}}},
                             {1 * step, DW_TAG_compile_unit, yes, {{DW_AT_name, DW_FORM_string}}},
                             {2 * step, DW_TAG_subprogram, no,
                              {{DW_AT_name, DW_FORM_string}, {DW_AT_low_pc, DW_FORM_addr},
                               {DW_AT_high_pc, DW_FORM_data1}}}});
    bytes body;
    body.uleb(step).str("u.c").uleb(3 * step).str("decl").uleb(2 * step).str("fn").u64(0x400).u8(16);
    body.u8(0);
    s.info = unit_v4(body);
    module_result m = read_module(s);
    ASSERT_TRUE(m.ok) << step;
    ASSERT_EQ(m.module->addrs_count, 1u);
    EXPECT_EQ(m.module->addrs[0].low, 0x400u);
    EXPECT_EQ(m.module->addrs[0].high, 0x410u);
  }
}

// A unit whose one subprogram has a name attribute of FORM, preceded by PREFIX bytes.
module_result unit_with_name_form(const bytes &form_and_value, int form)
{
  sections s;
  s.abbrev = abbrev_table({{1, DW_TAG_compile_unit, yes, {}},
                           {2, DW_TAG_subprogram, no,
                            {{DW_AT_name, form}, {DW_AT_low_pc, DW_FORM_addr},
                             {DW_AT_high_pc, DW_FORM_data1}}}});
  bytes body;
  body.uleb(1).uleb(2).raw(form_and_value).u64(0x400).u8(16).u8(0);
  s.info = unit_v4(body);
  return read_module(s);
}

TEST(DwarfForms, IndirectFormsAreFollowedInALoop)
{
  bytes chain;
  chain.uleb(DW_FORM_indirect).uleb(DW_FORM_indirect).uleb(DW_FORM_string).str("deep");
  module_result m = unit_with_name_form(chain, DW_FORM_indirect);
  EXPECT_TRUE(m.ok);
  EXPECT_EQ(m.module->addrs_count, 1u);

  bytes to_implicit;
  to_implicit.uleb(DW_FORM_implicit_const);
  module_result bad = unit_with_name_form(to_implicit, DW_FORM_indirect);
  EXPECT_FALSE(bad.ok);
  ASSERT_EQ(bad.r.errors.size(), 1u);
  EXPECT_EQ(bad.r.errors[0].first.rfind("DW_FORM_indirect to DW_FORM_implicit_const", 0), 0u);
}

TEST(DwarfForms, UnknownFormsAndStringsOutsideTheirSectionFail)
{
  struct {
    int form;
    bytes value;
    const char *message;
    int errnum;
  } cases[] = {
      {0x02, bytes(), "unrecognized DWARF form", -1},
      {0x2d, bytes(), "unrecognized DWARF form", -1},
      {DW_FORM_strp, bytes().u32(100), "DW_FORM_strp out of range", 0},
      {DW_FORM_line_strp, bytes().u32(0), "DW_FORM_line_strp out of range", 0},
  };
  for (auto &c : cases) {
    module_result m = unit_with_name_form(c.value, c.form);
    EXPECT_FALSE(m.ok) << c.message;
    ASSERT_FALSE(m.r.errors.empty()) << c.message;
    EXPECT_EQ(m.r.errors[0].first.rfind(c.message, 0), 0u) << m.r.errors[0].first;
    EXPECT_EQ(m.r.errors[0].second, c.errnum);
  }
  // A string without its terminator inside the unit.
  const unsigned char text[] = {'x', 'y'};
  recorder r;
  bt_dwarf_buf buf = {"test", text, text, 2, 0, recorder::on_error, &r, 0};
  bt_attr_value val;
  EXPECT_FALSE(bt_attr_read(DW_FORM_string, 0, &buf, 0, 4, 8, nullptr, nullptr, &val));
  EXPECT_EQ(r.errors, (std::vector<std::pair<std::string, int>>{{"DWARF underflow in test at 0", 0}}));
}

TEST(DwarfForms, FixedSizesFollowTheModuleByteOrder)
{
  const unsigned char data[] = {1, 2, 3};
  for (int big : {0, 1}) {
    bt_dwarf_buf buf = {"test", data, data, 3, big, recorder::on_error, nullptr, 0};
    bt_attr_value val;
    ASSERT_TRUE(bt_attr_read(DW_FORM_strx3, 0, &buf, 0, 5, 8, nullptr, nullptr, &val));
    EXPECT_EQ(val.kind, ATTR_VAL_STRING_INDEX);
    EXPECT_EQ(val.u.uint, big ? 0x010203u : 0x030201u);
  }
}

TEST(DwarfForms, AlternateReferenceWithoutAlternateFileReadsOn)
{
  bytes offset;
  offset.u32(0x40);
  const unsigned char *p = offset.b.data();
  bt_dwarf_buf buf = {"test", p, p, 4, 0, recorder::on_error, nullptr, 0};
  bt_attr_value val;
  ASSERT_TRUE(bt_attr_read(DW_FORM_KAV_ref_alt, 0, &buf, 0, 4, 8, nullptr, nullptr, &val));
  EXPECT_EQ(val.kind, ATTR_VAL_NONE);
  EXPECT_EQ(buf.left, 0u);
}

TEST(DwarfForms, OverlongLebKeepsTheLowBitsAndReportsOnce)
{
  bytes b;
  for (int i = 0; i < 10; ++i)
    b.u8(0xff);
  b.u8(0x01);
  for (bool is_signed : {false, true}) {
    recorder r;
    bt_dwarf_buf buf = {"test", b.b.data(), b.b.data(), b.size(), 0, recorder::on_error, &r, 0};
    uint64_t value = is_signed ? static_cast<uint64_t>(bt_buf_sleb(&buf)) : bt_buf_uleb(&buf);
    EXPECT_EQ(value, ~uint64_t{0});
    EXPECT_EQ(buf.left, 0u);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].first, is_signed ? "signed LEB128 overflows uint64_t in test at 0"
                                           : "LEB128 overflows uint64_t in test at 0");
  }
}

TEST(DwarfNames, LinkageNameWinsAndSpecificationCyclesEnd)
{
  sections s;
  s.abbrev = abbrev_table({
      {1, DW_TAG_compile_unit, yes, {{DW_AT_stmt_list, DW_FORM_sec_offset}}},
      {2, DW_TAG_subprogram, no, {{DW_AT_specification, DW_FORM_ref4}, {DW_AT_name, DW_FORM_string}}},
      {3, DW_TAG_subprogram, no,
       {{DW_AT_name, DW_FORM_string}, {DW_AT_abstract_origin, DW_FORM_ref4},
        {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data1}}},
      {4, DW_TAG_subprogram, no,
       {{DW_AT_abstract_origin, DW_FORM_ref4}, {DW_AT_linkage_name, DW_FORM_string},
        {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data1}}},
  });
  bytes body;
  body.uleb(1).u32(0);
  uint32_t a = v4_header_size + body.size();
  uint32_t b = a + 1 + 4 + 2;
  body.uleb(2).u32(b).str("a");  // a names b as its specification, and b names a
  body.uleb(2).u32(a).str("b");
  body.uleb(3).str("own").u32(a).u64(0x1000).u8(0x10);
  body.uleb(4).u32(a).str("_Z6linkedv").u64(0x1010).u8(0x10);
  body.u8(0);
  s.info = unit_v4(body);
  bytes program;
  program.raw(set_address(0x1000)).u8(1).u8(2).uleb(0x20).raw(end_sequence());
  s.line = line_v4(program);
  module_result m = read_module(s);
  ASSERT_TRUE(m.ok);
  std::vector<reported_frame> origin = resolve(m, 0x1004);
  ASSERT_EQ(origin.size(), 1u);
  EXPECT_TRUE(origin[0].function == "a" || origin[0].function == "b") << origin[0].function;
  std::vector<reported_frame> linked = resolve(m, 0x1014);
  ASSERT_EQ(linked.size(), 1u);
  EXPECT_EQ(linked[0].function, "_Z6linkedv");
}

TEST(DwarfRanges, UnitMapFromSubprogramsMergesTouchingRanges)
{
  sections s;
  s.abbrev = abbrev_table({{1, DW_TAG_compile_unit, yes, {}},
                           {2, DW_TAG_subprogram, no,
                            {{DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_addr}}}});
  bytes body;
  body.uleb(1);
  for (auto [low, high] : std::vector<std::pair<int, int>>{
           {0x100, 0x110}, {0x110, 0x120}, {0x121, 0x130}, {0x140, 0x150}})
    body.uleb(2).u64(low).u64(high);
  body.u8(0);
  s.info = unit_v4(body);
  module_result m = read_module(s);
  ASSERT_TRUE(m.ok);
  ASSERT_EQ(m.module->addrs_count, 2u);
  EXPECT_EQ(m.module->addrs[0].low, 0x100u);
  EXPECT_EQ(m.module->addrs[0].high, 0x130u);
  EXPECT_EQ(m.module->addrs[1].low, 0x140u);
}

TEST(DwarfRanges, RangeListsOfBothFormats)
{
  // Versions 2-4: a base-address selection shifts the pairs after it.
  sections old_style;
  old_style.abbrev = abbrev_table({{1, DW_TAG_compile_unit, no,
                                    {{DW_AT_low_pc, DW_FORM_addr}, {DW_AT_ranges, DW_FORM_sec_offset}}}});
  old_style.info = unit_v4(bytes().uleb(1).u64(0x10).u32(0));
  old_style.ranges.u64(0).u64(4).u64(~uint64_t{0}).u64(0x5000).u64(0x10).u64(0x20).u64(0).u64(0);
  module_result m = read_module(old_style);
  ASSERT_TRUE(m.ok);
  ASSERT_EQ(m.module->addrs_count, 2u);
  EXPECT_EQ(m.module->addrs[0].low, 0x10u);  // the unit's low pc is the first base
  EXPECT_EQ(m.module->addrs[0].high, 0x14u);
  EXPECT_EQ(m.module->addrs[1].low, 0x5010u);
  EXPECT_EQ(m.module->addrs[1].high, 0x5020u);

  // Version 5: offset pairs from a base, and an unknown entry kind.
  auto v5_unit = [](const bytes &rnglists) {
    sections s;
    s.abbrev = abbrev_table({{1, DW_TAG_compile_unit, no,
                              {{DW_AT_low_pc, DW_FORM_addr}, {DW_AT_ranges, DW_FORM_sec_offset}}}});
    bytes u;
    u.u16(5).u8(1).u8(8).u32(0).uleb(1).u64(0).u32(0);
    s.info.unit(u);
    s.rnglists = rnglists;
    return read_module(s);
  };
  module_result good = v5_unit(bytes().u8(5).u64(0x7000).u8(4).uleb(8).uleb(12).u8(7).u64(0x9000).uleb(4).u8(0));
  ASSERT_TRUE(good.ok);
  ASSERT_EQ(good.module->addrs_count, 2u);
  EXPECT_EQ(good.module->addrs[0].low, 0x7008u);
  EXPECT_EQ(good.module->addrs[0].high, 0x700cu);
  EXPECT_EQ(good.module->addrs[1].high, 0x9004u);
  module_result bad = v5_unit(bytes().u8(8));
  EXPECT_FALSE(bad.ok);
  ASSERT_EQ(bad.r.errors.size(), 1u);
  EXPECT_EQ(bad.r.errors[0], std::make_pair(std::string("unrecognized DW_RLE value in .debug_rnglists at 0"), -1));
}

}  // namespace

namespace {

TEST(DwarfLookup, DeeplyNestedDiesFailTheFunctionsNotTheStack)
{
  sections s = inlined_program();
  s.abbrev = abbrev_table({{1, DW_TAG_compile_unit, yes,
                            {{DW_AT_stmt_list, DW_FORM_sec_offset}, {DW_AT_low_pc, DW_FORM_addr},
                             {DW_AT_high_pc, DW_FORM_data4}}},
                           {2, 0x0b, yes, {}}});
  bytes body;
  body.uleb(1).u32(0).u64(0xf00).u32(0x300);
  for (int i = 0; i < 100000; ++i)
    body.uleb(2);
  s.info = unit_v4(body);
  module_result m = read_module(s);
  ASSERT_TRUE(m.ok);
  // No compilation directory here: the file keeps its bare name.
  EXPECT_EQ(resolve(m, 0x1000), (std::vector<reported_frame>{{0x1000, "a.c", 10, ""}}));
  ASSERT_EQ(m.r.errors.size(), 1u);
  EXPECT_EQ(m.r.errors[0].first.rfind("DWARF DIEs nested too deeply", 0), 0u);
}

}  // namespace

namespace {

// A version 5 line program whose file table has one entry, "x.c" with
// directory index DIR, over the directories "/d0" and "/d1".
bytes line_v5(uint64_t dir, const bytes &program)
{
  bytes header;
  header.u8(1).u8(1).u8(1).u8(static_cast<uint8_t>(-5)).u8(14).u8(13);
  for (int length : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1})
    header.u8(length);
  header.u8(1).uleb(1).uleb(DW_FORM_string).uleb(2).str("/d0").str("/d1");
  header.u8(2).uleb(1).uleb(DW_FORM_string).uleb(2).uleb(DW_FORM_udata);
  header.uleb(1).str("x.c").uleb(dir);
  bytes body;
  body.u16(5).u8(8).u8(0).u32(header.size()).raw(header).raw(program);
  return bytes().unit(body);
}

sections v5_unit_with_lines(const bytes &line)
{
  sections s;
  s.abbrev = abbrev_table({{1, DW_TAG_compile_unit, no,
                            {{DW_AT_stmt_list, DW_FORM_sec_offset}, {DW_AT_low_pc, DW_FORM_addr},
                             {DW_AT_high_pc, DW_FORM_data4}}}});
  bytes u;
  u.u16(5).u8(1).u8(8).u32(0).uleb(1).u32(0).u64(0x1000).u32(0x100);
  s.info.unit(u);
  s.line = line;
  return s;
}

TEST(DwarfLines, VersionFiveFileTables)
{
  bytes program;
  program.raw(set_address(0x1000)).u8(1).u8(2).uleb(0x100).raw(end_sequence());
  module_result good = read_module(v5_unit_with_lines(line_v5(1, program)));
  ASSERT_TRUE(good.ok);
  // The program starts on file entry 1 only when there are two; here the
  // single entry is 0, so rows carry the empty name.
  EXPECT_EQ(resolve(good, 0x1000), (std::vector<reported_frame>{{0x1000, "", 1, ""}}));
  bytes set_file_0 = bytes().raw(set_address(0x1000)).u8(4).uleb(0).u8(1);
  set_file_0.u8(2).uleb(0x100).raw(end_sequence());
  module_result with_file = read_module(v5_unit_with_lines(line_v5(1, set_file_0)));
  EXPECT_EQ(resolve(with_file, 0x1000), (std::vector<reported_frame>{{0x1000, "/d1/x.c", 1, ""}}));

  module_result bad = read_module(v5_unit_with_lines(line_v5(3, program)));
  ASSERT_TRUE(bad.ok);
  EXPECT_EQ(resolve(bad, 0x1000), (std::vector<reported_frame>{{0x1000, "", 0, ""}}));
  ASSERT_EQ(bad.r.errors.size(), 1u);
  EXPECT_EQ(bad.r.errors[0].first.rfind(
                "invalid directory index in line number program header in .debug_line", 0),
            0u);

  // A program that adds no row marks the unit without a word.
  module_result empty = read_module(v5_unit_with_lines(line_v5(1, end_sequence())));
  EXPECT_EQ(resolve(empty, 0x1000), (std::vector<reported_frame>{{0x1000, "", 0, ""}}));
  EXPECT_TRUE(empty.r.errors.empty());
}

TEST(DwarfLookup, UnitWhoseLinesFailGivesWayToAnOverlappingOne)
{
  sections s;
  s.abbrev = abbrev_table({{1, DW_TAG_compile_unit, no,
                            {{DW_AT_name, DW_FORM_string}, {DW_AT_stmt_list, DW_FORM_sec_offset},
                             {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data4}}}});
  bytes program;
  program.raw(set_address(0x1000)).u8(1).u8(2).uleb(0x100).raw(end_sequence());
  s.line = line_v4(program);
  uint32_t bad_offset = s.line.size();
  bytes bad_table;
  bad_table.u16(9).u32(0);
  s.line.unit(bad_table);
  // The unit with the larger line offset sorts second and is met first.
  s.info.raw(unit_v4(bytes().uleb(1).str("good.c").u32(0).u64(0x1000).u32(0x100)));
  s.info.raw(unit_v4(bytes().uleb(1).str("bad.c").u32(bad_offset).u64(0x1000).u32(0x100)));
  module_result m = read_module(s);
  ASSERT_TRUE(m.ok);
  EXPECT_EQ(resolve(m, 0x1010), (std::vector<reported_frame>{{0x1010, "a.c", 1, ""}}));
  ASSERT_EQ(m.r.errors.size(), 1u);
  EXPECT_EQ(m.r.errors[0].second, -1);
  EXPECT_EQ(m.r.errors[0].first.rfind("unsupported line number version in .debug_line", 0), 0u);
  // Both units stay in the map, the wider-first order holding for equal lows.
  ASSERT_EQ(m.module->addrs_count, 2u);
  EXPECT_STREQ(m.module->addrs[0].owner->filename, "good.c");
}

}  // namespace
