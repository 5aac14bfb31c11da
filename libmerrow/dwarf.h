// DWARF records of the stack-trace library: the reading cursor, units,
// abbreviations, attribute values, line rows and function ranges.
#ifndef VUZ_LIBMERROW_DWARF_H
#define VUZ_LIBMERROW_DWARF_H

#include "libmerrow/internal.h"

// The codes of the DWARF format that the reader interprets.
enum {
  DW_TAG_entry_point = 0x03,
  DW_TAG_compile_unit = 0x11,
  DW_TAG_inlined_subroutine = 0x1d,
  DW_TAG_subprogram = 0x2e,
  DW_TAG_skeleton_unit = 0x4a,

  DW_AT_name = 0x03,
  DW_AT_stmt_list = 0x10,
  DW_AT_low_pc = 0x11,
  DW_AT_high_pc = 0x12,
  DW_AT_comp_dir = 0x1b,
  DW_AT_abstract_origin = 0x31,
  DW_AT_specification = 0x47,
  DW_AT_ranges = 0x55,
  DW_AT_call_file = 0x58,
  DW_AT_call_line = 0x59,
  DW_AT_linkage_name = 0x6e,
  DW_AT_str_offsets_base = 0x72,
  DW_AT_addr_base = 0x73,
  DW_AT_rnglists_base = 0x74,
  DW_AT_MIPS_linkage_name = 0x2007,

  DW_FORM_addr = 0x01,
  DW_FORM_block2 = 0x03,
  DW_FORM_block4 = 0x04,
  DW_FORM_data2 = 0x05,
  DW_FORM_data4 = 0x06,
  DW_FORM_data8 = 0x07,
  DW_FORM_string = 0x08,
  DW_FORM_block = 0x09,
  DW_FORM_block1 = 0x0a,
  DW_FORM_data1 = 0x0b,
  DW_FORM_flag = 0x0c,
  DW_FORM_sdata = 0x0d,
  DW_FORM_strp = 0x0e,
  DW_FORM_udata = 0x0f,
  DW_FORM_ref_addr = 0x10,
  DW_FORM_ref1 = 0x11,
  DW_FORM_ref2 = 0x12,
  DW_FORM_ref4 = 0x13,
  DW_FORM_ref8 = 0x14,
  DW_FORM_ref_udata = 0x15,
  DW_FORM_indirect = 0x16,
  DW_FORM_sec_offset = 0x17,
  DW_FORM_exprloc = 0x18,
  DW_FORM_flag_present = 0x19,
  DW_FORM_strx = 0x1a,
  DW_FORM_addrx = 0x1b,
  DW_FORM_ref_sup4 = 0x1c,
  DW_FORM_strp_sup = 0x1d,
  DW_FORM_data16 = 0x1e,
  DW_FORM_line_strp = 0x1f,
  DW_FORM_ref_sig8 = 0x20,
  DW_FORM_implicit_const = 0x21,
  DW_FORM_loclistx = 0x22,
  DW_FORM_rnglistx = 0x23,
  DW_FORM_ref_sup8 = 0x24,
  DW_FORM_strx1 = 0x25,
  DW_FORM_strx2 = 0x26,
  DW_FORM_strx3 = 0x27,
  DW_FORM_strx4 = 0x28,
  DW_FORM_addrx1 = 0x29,
  DW_FORM_addrx2 = 0x2a,
  DW_FORM_addrx3 = 0x2b,
  DW_FORM_addrx4 = 0x2c,
  DW_FORM_KAV_addr_index = 0x1f01,
  DW_FORM_KAV_str_index = 0x1f02,
  DW_FORM_KAV_ref_alt = 0x1f20,
  DW_FORM_KAV_strp_alt = 0x1f21,

  // Line-number program: standard opcodes, after the extended-opcode escape ...
  DW_LNS_extended_op = 0x00,
  DW_LNS_copy = 0x01,
  DW_LNS_advance_pc = 0x02,
  DW_LNS_advance_line = 0x03,
  DW_LNS_set_file = 0x04,
  DW_LNS_set_column = 0x05,
  DW_LNS_negate_stmt = 0x06,
  DW_LNS_set_basic_block = 0x07,
  DW_LNS_const_add_pc = 0x08,
  DW_LNS_fixed_advance_pc = 0x09,
  DW_LNS_set_prologue_end = 0x0a,
  DW_LNS_set_epilogue_begin = 0x0b,
  DW_LNS_set_isa = 0x0c,
  // ... the extended opcodes ...
  DW_LNE_end_sequence = 0x01,
  DW_LNE_set_address = 0x02,
  DW_LNE_define_file = 0x03,
  DW_LNE_set_discriminator = 0x04,
  // ... and the content types of the version-5 directory and file tables.
  DW_LNCT_path = 0x01,
  DW_LNCT_directory_index = 0x02,

  // Range-list entries of version 5.
  DW_RLE_end_of_list = 0x00,
  DW_RLE_base_addressx = 0x01,
  DW_RLE_startx_endx = 0x02,
  DW_RLE_startx_length = 0x03,
  DW_RLE_offset_pair = 0x04,
  DW_RLE_base_address = 0x05,
  DW_RLE_start_end = 0x06,
  DW_RLE_start_length = 0x07,
};

struct bt_dwarf_buf {
  const char *name;
  const unsigned char *start;
  const unsigned char *buf;
  size_t left;
  int is_bigendian;
  bt_error_callback error_callback;
  void *data;
  int reported_underflow;
};

void bt_buf_report(bt_dwarf_buf *buf, const char *message, int errnum);
// Whether COUNT bytes are left; the first shortfall of a cursor is reported.
bool bt_buf_require(bt_dwarf_buf *buf, uint64_t count);
bool bt_buf_advance(bt_dwarf_buf *buf, size_t count);
const char *bt_buf_string(bt_dwarf_buf *buf);
unsigned bt_buf_u8(bt_dwarf_buf *buf);
int bt_buf_s8(bt_dwarf_buf *buf);
unsigned bt_buf_u16(bt_dwarf_buf *buf);
uint32_t bt_buf_u24(bt_dwarf_buf *buf);
uint32_t bt_buf_u32(bt_dwarf_buf *buf);
uint64_t bt_buf_u64(bt_dwarf_buf *buf);
uint64_t bt_buf_offset(bt_dwarf_buf *buf, int is_dwarf64);
uint64_t bt_buf_address(bt_dwarf_buf *buf, int addrsize);
uint64_t bt_buf_unit_length(bt_dwarf_buf *buf, int *is_dwarf64);
uint64_t bt_buf_uleb(bt_dwarf_buf *buf);
int64_t bt_buf_sleb(bt_dwarf_buf *buf);

struct bt_attr_spec {
  int name;
  int form;
  int64_t val;
};

struct bt_abbrev {
  uint64_t code;
  int tag;
  int has_children;
  size_t num_attrs;
  bt_attr_spec *attrs;
};

struct bt_line_row;
struct bt_function_range;

struct bt_unit {
  const unsigned char *unit_data;
  size_t unit_data_len;
  size_t unit_data_offset;
  size_t low_offset;
  size_t high_offset;
  int version;
  int is_dwarf64;
  int addrsize;
  uint64_t lineoff;
  uint64_t str_offsets_base;
  uint64_t addr_base;
  uint64_t rnglists_base;
  const char *filename;
  const char *comp_dir;
  const char *abs_filename;
  size_t abbrevs_count;
  bt_abbrev *abbrevs;
  bt_line_row *lines;
  size_t lines_count;
  bt_function_range *function_addrs;
  size_t function_addrs_count;
};

enum bt_value_kind {
  ATTR_VAL_NONE,
  ATTR_VAL_ADDRESS,
  ATTR_VAL_ADDRESS_INDEX,
  ATTR_VAL_UINT,
  ATTR_VAL_SINT,
  ATTR_VAL_STRING,
  ATTR_VAL_STRING_INDEX,
  ATTR_VAL_REF_UNIT,
  ATTR_VAL_REF_INFO,
  ATTR_VAL_REF_ALT_INFO,
  ATTR_VAL_REF_SECTION,
  ATTR_VAL_REF_TYPE,
  ATTR_VAL_RNGLISTS_INDEX,
  ATTR_VAL_BLOCK,
  ATTR_VAL_EXPR,
};

struct bt_attr_value {
  bt_value_kind kind;
  union {
    uint64_t uint;
    int64_t sint;
    const char *string;
  } u;
};

struct bt_unit_range {
  uintptr_t low;
  uintptr_t high;
  bt_unit *owner;
};

struct bt_function {
  const char *name;
  const char *caller_filename;
  int caller_lineno;
  bt_function_range *function_addrs;
  size_t function_addrs_count;
};

struct bt_function_range {
  uintptr_t low;
  uintptr_t high;
  bt_function *owner;
};

struct bt_line_row {
  uintptr_t pc;
  const char *filename;
  int lineno;
  int idx;
};

struct bt_line_header {
  int version;
  int addrsize;
  unsigned min_insn_len;
  unsigned max_ops_per_insn;
  int line_base;
  unsigned line_range;
  unsigned opcode_base;
  const unsigned char *opcode_lengths;
  size_t dirs_count;
  const char **dirs;
  size_t filenames_count;
  const char **filenames;
};

struct bt_dwarf_module {
  bt_dwarf_module *next;
  bt_dwarf_module *altlink;
  uintptr_t base_address;
  bt_unit_range *addrs;
  size_t addrs_count;
  bt_unit **units;
  size_t units_count;
  bt_dwarf_sections sections;
  int is_bigendian;
  bt_vec fvec;
  size_t fvec_count;
};

// The pc range of one DIE, collected while its attributes are read.
struct bt_range_desc {
  uint64_t lowpc;
  int have_lowpc;
  int lowpc_is_addr_index;
  uint64_t highpc;
  int have_highpc;
  int highpc_is_relative;
  int highpc_is_addr_index;
  uint64_t ranges;
  int have_ranges;
  int ranges_is_index;
};

bool bt_attr_read(int form, int64_t implicit_val, bt_dwarf_buf *buf, int is_dwarf64, int version,
                  int addrsize, const bt_dwarf_sections *sections, bt_dwarf_module *altlink,
                  bt_attr_value *val);
bool bt_attr_string(const bt_dwarf_sections *sections, int is_dwarf64, int is_bigendian,
                    uint64_t str_offsets_base, const bt_attr_value *val,
                    bt_error_callback error_callback, void *data, const char **string);
bool bt_addr_by_index(const bt_dwarf_sections *sections, uint64_t addr_base, int addrsize,
                      int is_bigendian, uint64_t index, bt_error_callback error_callback,
                      void *data, uint64_t *address);
const bt_abbrev *bt_abbrev_lookup(const bt_unit *u, uint64_t code,
                                  bt_error_callback error_callback, void *data);

void bt_range_desc_update(int attr_name, const bt_attr_value *val, bt_range_desc *desc);
typedef bool (*bt_range_consumer)(bt_state *state, void *record, uintptr_t low, uintptr_t high,
                                  bt_error_callback error_callback, void *data, bt_vec *vec);
bool bt_ranges_walk(bt_state *state, const bt_dwarf_sections *sections, uintptr_t base_address,
                    int is_bigendian, const bt_unit *u, uint64_t base, const bt_range_desc *desc,
                    bt_range_consumer consumer, void *record, bt_error_callback error_callback,
                    void *data, bt_vec *vec);
bool bt_unit_ranges_scan(bt_state *state, uintptr_t base_address, bt_dwarf_buf *unit_buf,
                         const bt_dwarf_sections *sections, int is_bigendian,
                         bt_dwarf_module *altlink, bt_error_callback error_callback, void *data,
                         bt_unit *u, bt_vec *addrs, size_t *addrs_count);
bool bt_unit_ranges_finish(bt_state *state, bt_vec *addrs, size_t addrs_count,
                           bt_error_callback error_callback, void *data);

bool bt_line_table_read(bt_state *state, bt_dwarf_module *module,
                        bt_error_callback error_callback, void *data, bt_unit *u,
                        bt_line_header *header, bt_line_row **rows, size_t *count);
void bt_line_header_free(bt_state *state, bt_line_header *header,
                         bt_error_callback error_callback, void *data);

// Joins DIR, "/" and NAME into a new string that is never freed.
const char *bt_path_join(bt_state *state, const char *dir, const char *name,
                         bt_error_callback error_callback, void *data);

// Adds [LOW, HIGH) of OWNER to a vector of ranges; touching ranges of one
// owner, or ones a byte apart, merge into the last entry.
template <typename Range, typename Owner>
bool bt_range_add(bt_state *state, bt_vec *vec, Owner *owner, uintptr_t low, uintptr_t high,
                  bt_error_callback error_callback, void *data)
{
  if (vec->size > 0) {
    Range *last = reinterpret_cast<Range *>(static_cast<char *>(vec->base) + vec->size) - 1;
    if (last->owner == owner && (low == last->high || low == last->high + 1)) {
      if (high > last->high)
        last->high = high;
      return true;
    }
  }
  Range *entry = static_cast<Range *>(bt_vec_grow(state, sizeof(Range), error_callback, data, vec));
  if (!entry)
    return false;
  entry->low = low;
  entry->high = high;
  entry->owner = owner;
  return true;
}

// Appends the trailing entry {all ones, all ones, null} that ends every range
// array (not counted); false when memory runs out.
template <typename Range>
bool bt_range_terminate(bt_state *state, bt_vec *vec, bt_error_callback error_callback, void *data)
{
  Range *end = static_cast<Range *>(bt_vec_grow(state, sizeof(Range), error_callback, data, vec));
  if (!end)
    return false;
  end->low = UINTPTR_MAX;
  end->high = UINTPTR_MAX;
  end->owner = nullptr;
  return true;
}

// Range order: low ascending, then the widest first; 0 leaves the tie to the caller.
template <typename Range> int bt_range_compare(const Range *x, const Range *y)
{
  if (x->low != y->low)
    return x->low < y->low ? -1 : 1;
  if (x->high != y->high)
    return x->high > y->high ? -1 : 1;
  return 0;
}

#endif
