// DWARF address ranges: low/high pairs, range lists of both formats, and the
// sorted map from address ranges to the units that cover them.
#include "libmerrow/dwarf.h"

#include <cstring>

void bt_range_desc_update(int attr_name, const bt_attr_value *val, bt_range_desc *desc)
{
  switch (attr_name) {
  case DW_AT_low_pc:
    if (val->kind == ATTR_VAL_ADDRESS || val->kind == ATTR_VAL_ADDRESS_INDEX) {
      desc->lowpc = val->u.uint;
      desc->have_lowpc = 1;
      desc->lowpc_is_addr_index = val->kind == ATTR_VAL_ADDRESS_INDEX;
    }
    break;
  case DW_AT_high_pc:
    if (val->kind == ATTR_VAL_ADDRESS || val->kind == ATTR_VAL_UINT ||
        val->kind == ATTR_VAL_ADDRESS_INDEX) {
      desc->highpc = val->u.uint;
      desc->have_highpc = 1;
      desc->highpc_is_relative = val->kind == ATTR_VAL_UINT;
      desc->highpc_is_addr_index = val->kind == ATTR_VAL_ADDRESS_INDEX;
    }
    break;
  case DW_AT_ranges:
    if (val->kind == ATTR_VAL_UINT || val->kind == ATTR_VAL_REF_SECTION ||
        val->kind == ATTR_VAL_RNGLISTS_INDEX) {
      desc->ranges = val->u.uint;
      desc->have_ranges = 1;
      desc->ranges_is_index = val->kind == ATTR_VAL_RNGLISTS_INDEX;
    }
    break;
  }
}

static bool rnglists_walk(bt_state *state, const bt_dwarf_sections *sections,
                          uintptr_t base_address, int is_bigendian, const bt_unit *u,
                          uint64_t base, const bt_range_desc *desc, bt_range_consumer consumer,
                          void *record, bt_error_callback error_callback, void *data, bt_vec *vec)
{
  size_t size = sections->size[DEBUG_RNGLISTS];
  uint64_t width = u->is_dwarf64 ? 8 : 4;
  uint64_t offset = desc->ranges;
  if (desc->ranges_is_index) {
    if (offset > (UINT64_MAX - u->rnglists_base) / width)
      offset = UINT64_MAX;
    else
      offset = u->rnglists_base + offset * width;
  }
  if (offset >= size) {
    error_callback(data, "rnglists offset out of range", 0);
    return false;
  }
  bt_dwarf_buf buf = {".debug_rnglists", sections->data[DEBUG_RNGLISTS],
                      sections->data[DEBUG_RNGLISTS] + offset, size - offset, is_bigendian,
                      error_callback, data, 0};
  if (desc->ranges_is_index) {
    uint64_t list = bt_buf_offset(&buf, u->is_dwarf64);
    if (buf.reported_underflow)
      return false;
    if (list >= size || u->rnglists_base >= size - list) {
      error_callback(data, "rnglists index offset out of range", 0);
      return false;
    }
    offset = list + u->rnglists_base;
    buf.buf = sections->data[DEBUG_RNGLISTS] + offset;
    buf.left = size - offset;
  }
  auto addrx = [&](uint64_t index, uint64_t *out) {
    return bt_addr_by_index(sections, u->addr_base, u->addrsize, is_bigendian, index,
                            error_callback, data, out);
  };
  auto emit = [&](uint64_t low, uint64_t high) {
    return consumer(state, record, low + base_address, high + base_address, error_callback,
                    data, vec);
  };
  for (;;) {
    const unsigned char *entry = buf.buf;
    unsigned kind = bt_buf_u8(&buf);
    if (buf.reported_underflow)
      return false;
    uint64_t a, b, low, high;
    switch (kind) {
    case DW_RLE_end_of_list:
      return !buf.reported_underflow;
    case DW_RLE_base_addressx:
      a = bt_buf_uleb(&buf);
      if (!addrx(a, &base))
        return false;
      break;
    case DW_RLE_startx_endx:
      a = bt_buf_uleb(&buf);
      b = bt_buf_uleb(&buf);
      if (!addrx(a, &low) || !addrx(b, &high) || !emit(low, high))
        return false;
      break;
    case DW_RLE_startx_length:
      a = bt_buf_uleb(&buf);
      b = bt_buf_uleb(&buf);
      if (!addrx(a, &low) || !emit(low, low + b))
        return false;
      break;
    case DW_RLE_offset_pair:
      a = bt_buf_uleb(&buf);
      b = bt_buf_uleb(&buf);
      if (!emit(base + a, base + b))
        return false;
      break;
    case DW_RLE_base_address:
      base = bt_buf_address(&buf, u->addrsize);
      break;
    case DW_RLE_start_end:
      a = bt_buf_address(&buf, u->addrsize);
      b = bt_buf_address(&buf, u->addrsize);
      if (!emit(a, b))
        return false;
      break;
    case DW_RLE_start_length:
      a = bt_buf_address(&buf, u->addrsize);
      b = bt_buf_uleb(&buf);
      if (!emit(a, a + b))
        return false;
      break;
    default:
      buf.buf = entry;
      bt_buf_report(&buf, "unrecognized DW_RLE value", -1);
      return false;
    }
    if (buf.reported_underflow)
      return false;
  }
}

static bool ranges_walk(bt_state *state, const bt_dwarf_sections *sections,
                        uintptr_t base_address, int is_bigendian, const bt_unit *u,
                        uint64_t base, const bt_range_desc *desc, bt_range_consumer consumer,
                        void *record, bt_error_callback error_callback, void *data, bt_vec *vec)
{
  size_t size = sections->size[DEBUG_RANGES];
  if (desc->ranges >= size) {
    error_callback(data, "ranges offset out of range", 0);
    return false;
  }
  bt_dwarf_buf buf = {".debug_ranges", sections->data[DEBUG_RANGES],
                      sections->data[DEBUG_RANGES] + desc->ranges, size - desc->ranges,
                      is_bigendian, error_callback, data, 0};
  uint64_t largest = u->addrsize >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * u->addrsize)) - 1;
  for (;;) {
    uint64_t low = bt_buf_address(&buf, u->addrsize);
    uint64_t high = bt_buf_address(&buf, u->addrsize);
    if (buf.reported_underflow)
      return false;
    if (low == 0 && high == 0)
      return true;
    if (low == largest) {
      base = high;
    } else if (!consumer(state, record, base + low + base_address, base + high + base_address,
                         error_callback, data, vec)) {
      return false;
    }
  }
}

bool bt_ranges_walk(bt_state *state, const bt_dwarf_sections *sections, uintptr_t base_address,
                    int is_bigendian, const bt_unit *u, uint64_t base, const bt_range_desc *desc,
                    bt_range_consumer consumer, void *record, bt_error_callback error_callback,
                    void *data, bt_vec *vec)
{
  if (desc->have_lowpc && desc->have_highpc) {
    uint64_t low = desc->lowpc, high = desc->highpc;
    if (desc->lowpc_is_addr_index &&
        !bt_addr_by_index(sections, u->addr_base, u->addrsize, is_bigendian, low,
                          error_callback, data, &low))
      return false;
    if (desc->highpc_is_addr_index &&
        !bt_addr_by_index(sections, u->addr_base, u->addrsize, is_bigendian, high,
                          error_callback, data, &high))
      return false;
    if (desc->highpc_is_relative)
      high += low;
    return consumer(state, record, low + base_address, high + base_address, error_callback,
                    data, vec);
  }
  if (!desc->have_ranges)
    return true;
  if (u->version >= 5)
    return rnglists_walk(state, sections, base_address, is_bigendian, u, base, desc, consumer,
                         record, error_callback, data, vec);
  return ranges_walk(state, sections, base_address, is_bigendian, u, base, desc, consumer,
                     record, error_callback, data, vec);
}

static bool bt_unit_range_add(bt_state *state, void *record, uintptr_t low, uintptr_t high,
                              bt_error_callback error_callback, void *data, bt_vec *vec)
{
  return bt_range_add<bt_unit_range>(state, vec, static_cast<bt_unit *>(record), low, high,
                                     error_callback, data);
}

bool bt_unit_ranges_scan(bt_state *state, uintptr_t base_address, bt_dwarf_buf *unit_buf,
                         const bt_dwarf_sections *sections, int is_bigendian,
                         bt_dwarf_module *altlink, bt_error_callback error_callback, void *data,
                         bt_unit *u, bt_vec *addrs, size_t *addrs_count)
{
  // The DIE tree is walked flat: a depth count stands for the recursion over
  // children, so that deep nesting in bad data cannot exhaust the stack.
  size_t depth = 0;
  size_t before = addrs->size;
  while (unit_buf->left > 0) {
    uint64_t code = bt_buf_uleb(unit_buf);
    if (unit_buf->reported_underflow)
      return false;
    if (code == 0) {
      if (depth == 0)
        break;
      --depth;
      continue;
    }
    const bt_abbrev *abbrev = bt_abbrev_lookup(u, code, error_callback, data);
    if (!abbrev)
      return false;
    bool is_unit = abbrev->tag == DW_TAG_compile_unit || abbrev->tag == DW_TAG_skeleton_unit;
    bt_range_desc desc{};
    bt_attr_value name_val{}, comp_dir_val{};
    for (size_t i = 0; i < abbrev->num_attrs; ++i) {
      bt_attr_value val;
      if (!bt_attr_read(abbrev->attrs[i].form, abbrev->attrs[i].val, unit_buf, u->is_dwarf64,
                        u->version, u->addrsize, sections, altlink, &val))
        return false;
      bt_range_desc_update(abbrev->attrs[i].name, &val, &desc);
      if (!is_unit)
        continue;
      switch (abbrev->attrs[i].name) {
      case DW_AT_stmt_list:
        if (val.kind == ATTR_VAL_UINT || val.kind == ATTR_VAL_REF_SECTION)
          u->lineoff = val.u.uint;
        break;
      case DW_AT_name:
        name_val = val;
        break;
      case DW_AT_comp_dir:
        comp_dir_val = val;
        break;
      case DW_AT_str_offsets_base:
        if (val.kind == ATTR_VAL_REF_SECTION)
          u->str_offsets_base = val.u.uint;
        break;
      case DW_AT_addr_base:
        if (val.kind == ATTR_VAL_REF_SECTION)
          u->addr_base = val.u.uint;
        break;
      case DW_AT_rnglists_base:
        if (val.kind == ATTR_VAL_REF_SECTION)
          u->rnglists_base = val.u.uint;
        break;
      }
    }
    if (is_unit) {
      if (!bt_attr_string(sections, u->is_dwarf64, is_bigendian, u->str_offsets_base, &name_val,
                          error_callback, data, &u->filename) ||
          !bt_attr_string(sections, u->is_dwarf64, is_bigendian, u->str_offsets_base,
                          &comp_dir_val, error_callback, data, &u->comp_dir))
        return false;
    }
    if (is_unit || abbrev->tag == DW_TAG_subprogram) {
      uint64_t base = desc.have_lowpc ? desc.lowpc : 0;
      // The base of a range list is an address, also when low pc names one by
      // index.
      if (desc.have_lowpc && desc.lowpc_is_addr_index &&
          !bt_addr_by_index(sections, u->addr_base, u->addrsize, is_bigendian, desc.lowpc,
                            error_callback, data, &base))
        return false;
      if (!bt_ranges_walk(state, sections, base_address, is_bigendian, u, base, &desc,
                          bt_unit_range_add, u, error_callback, data, addrs))
        return false;
      if (is_unit && (desc.have_ranges || (desc.have_lowpc && desc.have_highpc)))
        break;
    }
    if (abbrev->has_children)
      ++depth;
  }
  *addrs_count += (addrs->size - before) / sizeof(bt_unit_range);
  return true;
}

static int bt_unit_range_order(const void *a, const void *b)
{
  const bt_unit_range *x = static_cast<const bt_unit_range *>(a);
  const bt_unit_range *y = static_cast<const bt_unit_range *>(b);
  if (int c = bt_range_compare(x, y))
    return c;
  if (x->owner->lineoff != y->owner->lineoff)
    return x->owner->lineoff < y->owner->lineoff ? -1 : 1;
  return 0;
}

bool bt_unit_ranges_finish(bt_state *state, bt_vec *addrs, size_t addrs_count,
                           bt_error_callback error_callback, void *data)
{
  if (!bt_range_terminate<bt_unit_range>(state, addrs, error_callback, data))
    return false;
  bt_vec_trim(state, addrs, error_callback, data);
  bt_sort(addrs->base, addrs_count, sizeof(bt_unit_range), bt_unit_range_order);
  return true;
}
