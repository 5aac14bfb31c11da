// Reading DWARF: the cursor with its error reports, attribute forms, string
// and address indices, abbreviation tables and the unit headers of a module.
#include "libmerrow/dwarf.h"

#include <cstdio>
#include <cstring>

void bt_buf_report(bt_dwarf_buf *buf, const char *message, int errnum)
{
  char text[200];
  snprintf(text, sizeof text, "%s in %s at %d", message, buf->name,
           static_cast<int>(buf->buf - buf->start));
  buf->error_callback(buf->data, text, errnum);
}

bool bt_buf_require(bt_dwarf_buf *buf, uint64_t count)
{
  if (buf->left >= count)
    return true;
  if (!buf->reported_underflow) {
    bt_buf_report(buf, "DWARF underflow", 0);
    buf->reported_underflow = 1;
  }
  return false;
}

bool bt_buf_advance(bt_dwarf_buf *buf, size_t count)
{
  if (!bt_buf_require(buf, count))
    return false;
  buf->buf += count;
  buf->left -= count;
  return true;
}

const char *bt_buf_string(bt_dwarf_buf *buf)
{
  const unsigned char *end =
      static_cast<const unsigned char *>(memchr(buf->buf, '\0', buf->left));
  if (!end) {
    bt_buf_require(buf, buf->left + 1);
    return nullptr;
  }
  const char *text = reinterpret_cast<const char *>(buf->buf);
  bt_buf_advance(buf, end - buf->buf + 1);
  return text;
}

static uint64_t read_fixed(bt_dwarf_buf *buf, size_t size)
{
  if (!bt_buf_require(buf, size))
    return 0;
  uint64_t value = 0;
  // Data in the host's order is copied whole, not shifted in byte by byte.
  if (buf->is_bigendian == (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) && (size & (size - 1)) == 0) {
    unsigned char bytes[8] = {};
    memcpy(bytes + (buf->is_bigendian ? 8 - size : 0), buf->buf, size);
    memcpy(&value, bytes, 8);
  } else {
    for (size_t i = 0; i < size; ++i) {
      unsigned byte = buf->is_bigendian ? buf->buf[i] : buf->buf[size - 1 - i];
      value = (value << 8) | byte;
    }
  }
  buf->buf += size;
  buf->left -= size;
  return value;
}

unsigned bt_buf_u8(bt_dwarf_buf *buf)
{
  return static_cast<unsigned>(read_fixed(buf, 1));
}

int bt_buf_s8(bt_dwarf_buf *buf)
{
  return static_cast<signed char>(read_fixed(buf, 1));
}

unsigned bt_buf_u16(bt_dwarf_buf *buf)
{
  return static_cast<unsigned>(read_fixed(buf, 2));
}

uint32_t bt_buf_u24(bt_dwarf_buf *buf)
{
  return static_cast<uint32_t>(read_fixed(buf, 3));
}

uint32_t bt_buf_u32(bt_dwarf_buf *buf)
{
  return static_cast<uint32_t>(read_fixed(buf, 4));
}

uint64_t bt_buf_u64(bt_dwarf_buf *buf)
{
  return read_fixed(buf, 8);
}

uint64_t bt_buf_offset(bt_dwarf_buf *buf, int is_dwarf64)
{
  return read_fixed(buf, is_dwarf64 ? 8 : 4);
}

uint64_t bt_buf_address(bt_dwarf_buf *buf, int addrsize)
{
  if (addrsize == 1 || addrsize == 2 || addrsize == 4 || addrsize == 8)
    return read_fixed(buf, addrsize);
  bt_buf_report(buf, "unrecognized address size", 0);
  return 0;
}

uint64_t bt_buf_unit_length(bt_dwarf_buf *buf, int *is_dwarf64)
{
  uint64_t length = bt_buf_u32(buf);
  *is_dwarf64 = length == 0xffffffff;
  if (*is_dwarf64)
    length = bt_buf_u64(buf);
  return length;
}

// Reads one LEB128 number; bits beyond 64 are dropped with one report.
static uint64_t read_leb(bt_dwarf_buf *buf, bool is_signed)
{
  // Most numbers (codes, forms, small constants) fit in one byte.
  if (buf->left > 0 && buf->buf[0] < 0x80) {
    uint64_t value = buf->buf[0];
    ++buf->buf;
    --buf->left;
    if (is_signed && (value & 0x40))
      value |= ~uint64_t{0x7f};
    return value;
  }
  uint64_t value = 0;
  unsigned shift = 0;
  bool overflow = false;
  unsigned byte;
  const unsigned char *p = buf->buf;
  do {
    if (!bt_buf_require(buf, static_cast<size_t>(p - buf->buf) + 1))
      return 0;
    byte = *p++;
    if (shift < 64) {
      value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    } else if (!overflow) {
      bt_buf_report(buf, is_signed ? "signed LEB128 overflows uint64_t"
                                   : "LEB128 overflows uint64_t", 0);
      overflow = true;
    }
    shift += 7;
  } while (byte & 0x80);
  buf->left -= p - buf->buf;
  buf->buf = p;
  if (is_signed && shift < 64 && (byte & 0x40))
    value |= ~static_cast<uint64_t>(0) << shift;
  return value;
}

uint64_t bt_buf_uleb(bt_dwarf_buf *buf)
{
  return read_leb(buf, false);
}

int64_t bt_buf_sleb(bt_dwarf_buf *buf)
{
  return static_cast<int64_t>(read_leb(buf, true));
}

// The NUL-terminated text at OFFSET of a string section, or null when OFFSET
// is outside it or no terminator follows inside it.
static const char *section_string(const bt_dwarf_sections *sections, int slot, uint64_t offset)
{
  const unsigned char *data = sections->data[slot];
  size_t size = sections->size[slot];
  if (offset >= size || !memchr(data + offset, '\0', size - offset))
    return nullptr;
  return reinterpret_cast<const char *>(data + offset);
}

// The alternate file's strings: kind 0 without one.
static bool read_alt_string(bt_dwarf_buf *buf, int is_dwarf64, bt_dwarf_module *altlink,
                            const char *message, bt_attr_value *val)
{
  uint64_t offset = bt_buf_offset(buf, is_dwarf64);
  if (!altlink) {
    val->kind = ATTR_VAL_NONE;
    return true;
  }
  const char *text = section_string(&altlink->sections, DEBUG_STR, offset);
  if (!text) {
    bt_buf_report(buf, message, 0);
    return false;
  }
  val->kind = ATTR_VAL_STRING;
  val->u.string = text;
  return true;
}

bool bt_attr_read(int form, int64_t implicit_val, bt_dwarf_buf *buf, int is_dwarf64, int version,
                  int addrsize, const bt_dwarf_sections *sections, bt_dwarf_module *altlink,
                  bt_attr_value *val)
{
  memset(val, 0, sizeof *val);
  // An indirect form names the real one in the data; read until it stops.
  while (form == DW_FORM_indirect) {
    form = static_cast<int>(bt_buf_uleb(buf));
    if (buf->reported_underflow)
      return false;
    implicit_val = 0;
    if (form == DW_FORM_implicit_const) {
      bt_buf_report(buf, "DW_FORM_indirect to DW_FORM_implicit_const", 0);
      return false;
    }
  }
  auto set = [val](bt_value_kind kind, uint64_t value) {
    val->kind = kind;
    val->u.uint = value;
    return true;
  };
  auto skip = [buf, val](uint64_t count) {
    val->kind = ATTR_VAL_BLOCK;
    return count <= SIZE_MAX ? bt_buf_advance(buf, static_cast<size_t>(count))
                             : bt_buf_advance(buf, SIZE_MAX);
  };
  switch (form) {
  case DW_FORM_addr:
    return set(ATTR_VAL_ADDRESS, bt_buf_address(buf, addrsize));
  case DW_FORM_block2:
    return skip(bt_buf_u16(buf));
  case DW_FORM_block4:
    return skip(bt_buf_u32(buf));
  case DW_FORM_data2:
    return set(ATTR_VAL_UINT, bt_buf_u16(buf));
  case DW_FORM_data4:
    return set(ATTR_VAL_UINT, bt_buf_u32(buf));
  case DW_FORM_data8:
    return set(ATTR_VAL_UINT, bt_buf_u64(buf));
  case DW_FORM_data16:
    return skip(16);
  case DW_FORM_string: {
    const char *text = bt_buf_string(buf);
    if (!text)
      return false;
    val->kind = ATTR_VAL_STRING;
    val->u.string = text;
    return true;
  }
  case DW_FORM_block:
    return skip(bt_buf_uleb(buf));
  case DW_FORM_block1:
    return skip(bt_buf_u8(buf));
  case DW_FORM_data1:
  case DW_FORM_flag:
    return set(ATTR_VAL_UINT, bt_buf_u8(buf));
  case DW_FORM_sdata:
    val->kind = ATTR_VAL_SINT;
    val->u.sint = bt_buf_sleb(buf);
    return true;
  case DW_FORM_strp:
  case DW_FORM_line_strp: {
    uint64_t offset = bt_buf_offset(buf, is_dwarf64);
    int slot = form == DW_FORM_strp ? DEBUG_STR : DEBUG_LINE_STR;
    const char *text = section_string(sections, slot, offset);
    if (!text) {
      bt_buf_report(buf, form == DW_FORM_strp ? "DW_FORM_strp out of range"
                                              : "DW_FORM_line_strp out of range", 0);
      return false;
    }
    val->kind = ATTR_VAL_STRING;
    val->u.string = text;
    return true;
  }
  case DW_FORM_udata:
    return set(ATTR_VAL_UINT, bt_buf_uleb(buf));
  case DW_FORM_ref_addr:
    return set(ATTR_VAL_REF_INFO, version == 2 ? bt_buf_address(buf, addrsize)
                                               : bt_buf_offset(buf, is_dwarf64));
  case DW_FORM_ref1:
    return set(ATTR_VAL_REF_UNIT, bt_buf_u8(buf));
  case DW_FORM_ref2:
    return set(ATTR_VAL_REF_UNIT, bt_buf_u16(buf));
  case DW_FORM_ref4:
    return set(ATTR_VAL_REF_UNIT, bt_buf_u32(buf));
  case DW_FORM_ref8:
    return set(ATTR_VAL_REF_UNIT, bt_buf_u64(buf));
  case DW_FORM_ref_udata:
    return set(ATTR_VAL_REF_UNIT, bt_buf_uleb(buf));
  case DW_FORM_sec_offset:
    return set(ATTR_VAL_REF_SECTION, bt_buf_offset(buf, is_dwarf64));
  case DW_FORM_exprloc:
    skip(bt_buf_uleb(buf));
    val->kind = ATTR_VAL_EXPR;
    return !buf->reported_underflow;
  case DW_FORM_flag_present:
    return set(ATTR_VAL_UINT, 1);
  case DW_FORM_strx:
    return set(ATTR_VAL_STRING_INDEX, bt_buf_uleb(buf));
  case DW_FORM_strx1:
    return set(ATTR_VAL_STRING_INDEX, bt_buf_u8(buf));
  case DW_FORM_strx2:
    return set(ATTR_VAL_STRING_INDEX, bt_buf_u16(buf));
  case DW_FORM_strx3:
    return set(ATTR_VAL_STRING_INDEX, bt_buf_u24(buf));
  case DW_FORM_strx4:
    return set(ATTR_VAL_STRING_INDEX, bt_buf_u32(buf));
  case DW_FORM_addrx:
    return set(ATTR_VAL_ADDRESS_INDEX, bt_buf_uleb(buf));
  case DW_FORM_addrx1:
    return set(ATTR_VAL_ADDRESS_INDEX, bt_buf_u8(buf));
  case DW_FORM_addrx2:
    return set(ATTR_VAL_ADDRESS_INDEX, bt_buf_u16(buf));
  case DW_FORM_addrx3:
    return set(ATTR_VAL_ADDRESS_INDEX, bt_buf_u24(buf));
  case DW_FORM_addrx4:
    return set(ATTR_VAL_ADDRESS_INDEX, bt_buf_u32(buf));
  case DW_FORM_ref_sup4:
    return set(ATTR_VAL_REF_SECTION, bt_buf_u32(buf));
  case DW_FORM_ref_sup8:
    return set(ATTR_VAL_REF_SECTION, bt_buf_u64(buf));
  case DW_FORM_strp_sup:
    return read_alt_string(buf, is_dwarf64, altlink, "DW_FORM_strp_sup out of range", val);
  case DW_FORM_KAV_strp_alt:
    return read_alt_string(buf, is_dwarf64, altlink, "DW_FORM_strp_sup out of range", val);
  case DW_FORM_ref_sig8:
    return set(ATTR_VAL_REF_TYPE, bt_buf_u64(buf));
  case DW_FORM_implicit_const:
    val->kind = ATTR_VAL_UINT;
    val->u.sint = implicit_val;
    return true;
  case DW_FORM_loclistx:
    return set(ATTR_VAL_REF_SECTION, bt_buf_uleb(buf));
  case DW_FORM_rnglistx:
    return set(ATTR_VAL_RNGLISTS_INDEX, bt_buf_uleb(buf));
  case DW_FORM_KAV_addr_index:
  case DW_FORM_KAV_str_index:
    return set(ATTR_VAL_REF_SECTION, bt_buf_uleb(buf));
  case DW_FORM_KAV_ref_alt: {
    uint64_t offset = bt_buf_offset(buf, is_dwarf64);
    return set(altlink ? ATTR_VAL_REF_ALT_INFO : ATTR_VAL_NONE, altlink ? offset : 0);
  }
  default:
    bt_buf_report(buf, "unrecognized DWARF form", -1);
    return false;
  }
}

bool bt_attr_string(const bt_dwarf_sections *sections, int is_dwarf64, int is_bigendian,
                    uint64_t str_offsets_base, const bt_attr_value *val,
                    bt_error_callback error_callback, void *data, const char **string)
{
  if (val->kind == ATTR_VAL_STRING) {
    *string = val->u.string;
    return true;
  }
  if (val->kind != ATTR_VAL_STRING_INDEX)
    return true;
  uint64_t width = is_dwarf64 ? 8 : 4;
  size_t size = sections->size[DEBUG_STR_OFFSETS];
  uint64_t index = val->u.uint;
  // offset = base + index * width, checked without overflow.
  if (index > (UINT64_MAX - str_offsets_base) / width ||
      !(str_offsets_base + index * width <= size &&
        size - (str_offsets_base + index * width) >= width)) {
    error_callback(data, "DW_FORM_strx value out of range", 0);
    return false;
  }
  bt_dwarf_buf buf = {".debug_str_offsets", sections->data[DEBUG_STR_OFFSETS],
                      sections->data[DEBUG_STR_OFFSETS] + str_offsets_base + index * width,
                      width, is_bigendian, error_callback, data, 0};
  uint64_t offset = bt_buf_offset(&buf, is_dwarf64);
  const char *text = section_string(sections, DEBUG_STR, offset);
  if (!text) {
    bt_buf_report(&buf, "DW_FORM_strx offset out of range", 0);
    return false;
  }
  *string = text;
  return true;
}

bool bt_addr_by_index(const bt_dwarf_sections *sections, uint64_t addr_base, int addrsize,
                      int is_bigendian, uint64_t index, bt_error_callback error_callback,
                      void *data, uint64_t *address)
{
  size_t size = sections->size[DEBUG_ADDR];
  uint64_t width = addrsize > 0 ? static_cast<uint64_t>(addrsize) : 1;
  if (index > (UINT64_MAX - addr_base) / width ||
      !(addr_base + index * width <= size && size - (addr_base + index * width) >= width)) {
    error_callback(data, "DW_FORM_addrx value out of range", 0);
    return false;
  }
  bt_dwarf_buf buf = {".debug_addr", sections->data[DEBUG_ADDR],
                      sections->data[DEBUG_ADDR] + addr_base + index * width, width,
                      is_bigendian, error_callback, data, 0};
  *address = bt_buf_address(&buf, addrsize);
  return !buf.reported_underflow;
}

static int bt_abbrev_order(const void *a, const void *b)
{
  uint64_t x = static_cast<const bt_abbrev *>(a)->code;
  uint64_t y = static_cast<const bt_abbrev *>(b)->code;
  return x < y ? -1 : x > y ? 1 : 0;
}

const bt_abbrev *bt_abbrev_lookup(const bt_unit *u, uint64_t code,
                                  bt_error_callback error_callback, void *data)
{
  // The usual dense numbering 1, 2, 3... needs no search.
  if (code - 1 < u->abbrevs_count && u->abbrevs[code - 1].code == code)
    return &u->abbrevs[code - 1];
  size_t low = 0, high = u->abbrevs_count;
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (u->abbrevs[mid].code == code)
      return &u->abbrevs[mid];
    if (u->abbrevs[mid].code < code)
      low = mid + 1;
    else
      high = mid;
  }
  error_callback(data, "invalid abbreviation code", 0);
  return nullptr;
}

// Skips the attribute list of one abbreviation; the number of pairs, or -1.
static int64_t count_attrs(bt_dwarf_buf *buf)
{
  int64_t count = 0;
  for (;;) {
    uint64_t name = bt_buf_uleb(buf);
    uint64_t form = bt_buf_uleb(buf);
    if (buf->reported_underflow)
      return -1;
    if (name == 0)
      return count;
    if (form == DW_FORM_implicit_const)
      bt_buf_sleb(buf);
    ++count;
  }
}

static void free_abbrevs(bt_state *state, bt_abbrev *abbrevs, size_t count,
                         bt_error_callback error_callback, void *data)
{
  for (size_t i = 0; i < count; ++i)
    if (abbrevs[i].attrs)
      bt_free(state, abbrevs[i].attrs, abbrevs[i].num_attrs * sizeof(bt_attr_spec),
              error_callback, data);
  if (abbrevs)
    bt_free(state, abbrevs, count * sizeof(bt_abbrev), error_callback, data);
}

static bool read_abbrevs(bt_state *state, uint64_t offset, const bt_dwarf_sections *sections,
                         int is_bigendian, bt_error_callback error_callback, void *data,
                         bt_unit *u)
{
  u->abbrevs_count = 0;
  u->abbrevs = nullptr;
  if (offset >= sections->size[DEBUG_ABBREV]) {
    error_callback(data, "abbrev offset out of range", 0);
    return false;
  }
  bt_dwarf_buf start = {".debug_abbrev", sections->data[DEBUG_ABBREV],
                        sections->data[DEBUG_ABBREV] + offset,
                        sections->size[DEBUG_ABBREV] - offset, is_bigendian, error_callback,
                        data, 0};
  bt_dwarf_buf count_buf = start;
  size_t count = 0;
  for (;;) {
    uint64_t code = bt_buf_uleb(&count_buf);
    if (count_buf.reported_underflow)
      return false;
    if (code == 0)
      break;
    bt_buf_uleb(&count_buf);
    bt_buf_u8(&count_buf);
    if (count_attrs(&count_buf) < 0)
      return false;
    ++count;
  }
  if (count == 0)
    return true;
  bt_abbrev *abbrevs =
      static_cast<bt_abbrev *>(bt_alloc(state, count * sizeof(bt_abbrev), error_callback, data));
  if (!abbrevs)
    return false;
  memset(abbrevs, 0, count * sizeof(bt_abbrev));
  bt_dwarf_buf buf = start;
  for (size_t i = 0; i < count; ++i) {
    bt_abbrev *a = &abbrevs[i];
    a->code = bt_buf_uleb(&buf);
    a->tag = static_cast<int>(bt_buf_uleb(&buf));
    a->has_children = bt_buf_u8(&buf);
    bt_dwarf_buf attrs_buf = buf;
    int64_t num = count_attrs(&attrs_buf);
    if (num < 0) {
      free_abbrevs(state, abbrevs, count, error_callback, data);
      return false;
    }
    if (num > 0) {
      a->attrs = static_cast<bt_attr_spec *>(
          bt_alloc(state, num * sizeof(bt_attr_spec), error_callback, data));
      if (!a->attrs) {
        free_abbrevs(state, abbrevs, count, error_callback, data);
        return false;
      }
      a->num_attrs = num;
    }
    for (int64_t j = 0; j < num; ++j) {
      a->attrs[j].name = static_cast<int>(bt_buf_uleb(&buf));
      a->attrs[j].form = static_cast<int>(bt_buf_uleb(&buf));
      a->attrs[j].val = a->attrs[j].form == DW_FORM_implicit_const ? bt_buf_sleb(&buf) : 0;
    }
    bt_buf_uleb(&buf);  // the terminating pair
    bt_buf_uleb(&buf);
  }
  bt_sort(abbrevs, count, sizeof(bt_abbrev), bt_abbrev_order);
  u->abbrevs = abbrevs;
  u->abbrevs_count = count;
  return true;
}

bool bt_dwarf_module_read(bt_state *state, uintptr_t base_address,
                          const bt_dwarf_sections *sections, int is_bigendian,
                          bt_dwarf_module *altlink, bt_error_callback error_callback, void *data,
                          bt_fileline_fn *fileline_fn, bt_dwarf_module **module_out)
{
  bt_vec units{}, addrs{};
  size_t units_count = 0, addrs_count = 0;
  bt_dwarf_buf info = {".debug_info", sections->data[DEBUG_INFO], sections->data[DEBUG_INFO],
                       sections->size[DEBUG_INFO], is_bigendian, error_callback, data, 0};
  while (info.left > 0) {
    const unsigned char *unit_start = info.buf;
    int is_dwarf64;
    uint64_t length = bt_buf_unit_length(&info, &is_dwarf64);
    if (info.reported_underflow || !bt_buf_require(&info, length))
      goto fail;
    {
      bt_dwarf_buf unit_buf = info;
      unit_buf.left = length;
      bt_buf_advance(&info, length);
      int version = static_cast<int>(bt_buf_u16(&unit_buf));
      if (unit_buf.reported_underflow)
        goto fail;
      if (version < 2 || version > 5) {
        bt_buf_report(&unit_buf, "unrecognized DWARF version", -1);
        goto fail;
      }
      int unit_type = 1;
      uint64_t abbrev_offset;
      int addrsize;
      if (version == 5) {
        unit_type = bt_buf_u8(&unit_buf);
        if (unit_type == 2 || unit_type == 6)
          continue;  // type units hold no code
        addrsize = bt_buf_u8(&unit_buf);
        abbrev_offset = bt_buf_offset(&unit_buf, is_dwarf64);
      } else {
        abbrev_offset = bt_buf_offset(&unit_buf, is_dwarf64);
        addrsize = bt_buf_u8(&unit_buf);
      }
      if (unit_type == 4 || unit_type == 5)
        bt_buf_u64(&unit_buf);  // the unit identifier
      if (unit_buf.reported_underflow)
        goto fail;

      bt_unit *u = static_cast<bt_unit *>(bt_alloc(state, sizeof(bt_unit), error_callback, data));
      if (!u)
        goto fail;
      memset(u, 0, sizeof *u);
      if (!read_abbrevs(state, abbrev_offset, sections, is_bigendian, error_callback, data, u)) {
        bt_free(state, u, sizeof *u, error_callback, data);
        goto fail;
      }
      bt_unit **slot = static_cast<bt_unit **>(
          bt_vec_grow(state, sizeof(bt_unit *), error_callback, data, &units));
      if (!slot) {
        free_abbrevs(state, u->abbrevs, u->abbrevs_count, error_callback, data);
        bt_free(state, u, sizeof *u, error_callback, data);
        goto fail;
      }
      *slot = u;
      ++units_count;
      u->unit_data = unit_buf.buf;
      u->unit_data_len = unit_buf.left;
      u->unit_data_offset = unit_buf.buf - unit_start;
      u->low_offset = unit_start - sections->data[DEBUG_INFO];
      u->high_offset = u->low_offset + length + (is_dwarf64 ? 12 : 4);
      u->version = version;
      u->is_dwarf64 = is_dwarf64;
      u->addrsize = addrsize;
      if (!bt_unit_ranges_scan(state, base_address, &unit_buf, sections, is_bigendian, altlink,
                               error_callback, data, u, &addrs, &addrs_count) ||
          unit_buf.reported_underflow)
        goto fail;
    }
  }
  if (!bt_unit_ranges_finish(state, &addrs, addrs_count, error_callback, data))
    goto fail;
  bt_vec_trim(state, &units, error_callback, data);
  {
    bt_dwarf_module *module = static_cast<bt_dwarf_module *>(
        bt_alloc(state, sizeof(bt_dwarf_module), error_callback, data));
    if (!module)
      goto fail;
    memset(module, 0, sizeof *module);
    module->altlink = altlink;
    module->base_address = base_address;
    module->addrs = static_cast<bt_unit_range *>(addrs.base);
    module->addrs_count = addrs_count;
    module->units = static_cast<bt_unit **>(units.base);
    module->units_count = units_count;
    module->sections = *sections;
    module->is_bigendian = is_bigendian;
    if (module_out)
      *module_out = module;
    bt_list_append(state, reinterpret_cast<bt_dwarf_module **>(&state->fileline_data), module);
    *fileline_fn = bt_dwarf_resolve;
    return true;
  }

fail:
  for (size_t i = 0; i < units_count; ++i) {
    bt_unit *u = static_cast<bt_unit **>(units.base)[i];
    free_abbrevs(state, u->abbrevs, u->abbrevs_count, error_callback, data);
    bt_free(state, u, sizeof *u, error_callback, data);
  }
  if (units.base)
    bt_free(state, units.base, units.size + units.alc, error_callback, data);
  if (addrs.base)
    bt_free(state, addrs.base, addrs.size + addrs.alc, error_callback, data);
  return false;
}

const char *bt_path_join(bt_state *state, const char *dir, const char *name,
                         bt_error_callback error_callback, void *data)
{
  size_t dir_length = strlen(dir), name_length = strlen(name);
  char *text =
      static_cast<char *>(bt_alloc(state, dir_length + name_length + 2, error_callback, data));
  if (!text)
    return nullptr;
  memcpy(text, dir, dir_length);
  text[dir_length] = '/';
  memcpy(text + dir_length + 1, name, name_length + 1);
  return text;
}
