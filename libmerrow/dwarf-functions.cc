// DWARF function entries and the address lookup: for a pc, the covering unit,
// its line row, the innermost function and every inlined call around the pc.
#include "libmerrow/dwarf.h"

#include <cstring>

static bt_line_row *const failed_rows = reinterpret_cast<bt_line_row *>(UINTPTR_MAX);

// Bad data must not be able to nest DIEs, or chains of references, without
// end; real programs stay far below these.
static const int max_die_depth = 256;
static const int max_reference_depth = 16;

static const char *bt_origin_name(bt_dwarf_module *module, bt_unit *u, uint64_t offset,
                                  bt_error_callback error_callback, void *data, int depth);

static int bt_unit_offset_match(const void *key, const void *entry)
{
  uint64_t offset = *static_cast<const uint64_t *>(key);
  const bt_unit *u = *static_cast<bt_unit *const *>(entry);
  if (offset < u->low_offset)
    return -1;
  if (offset >= u->high_offset)
    return 1;
  return 0;
}

static const char *bt_origin_name_attr(bt_dwarf_module *module, bt_unit *u,
                                       const bt_attr_spec *spec, const bt_attr_value *val,
                                       bt_error_callback error_callback, void *data, int depth)
{
  if (spec->name != DW_AT_abstract_origin && spec->name != DW_AT_specification)
    return nullptr;
  if (spec->form == DW_FORM_ref_sig8)
    return nullptr;
  if (val->kind == ATTR_VAL_REF_UNIT || val->kind == ATTR_VAL_UINT)
    return bt_origin_name(module, u, val->u.uint, error_callback, data, depth);
  bt_dwarf_module *target = module;
  if (val->kind == ATTR_VAL_REF_ALT_INFO)
    target = module->altlink;
  else if (val->kind != ATTR_VAL_REF_INFO)
    return nullptr;
  if (!target)
    return nullptr;
  uint64_t offset = val->u.uint;
  bt_unit *const *found = static_cast<bt_unit *const *>(bt_bsearch(
      &offset, target->units, target->units_count, sizeof(bt_unit *), bt_unit_offset_match));
  if (!found)
    return nullptr;
  return bt_origin_name(target, *found, offset - (*found)->low_offset, error_callback, data,
                        depth);
}

static const char *bt_origin_name(bt_dwarf_module *module, bt_unit *u, uint64_t offset,
                                  bt_error_callback error_callback, void *data, int depth)
{
  if (depth >= max_reference_depth)
    return nullptr;
  if (offset < u->unit_data_offset || offset - u->unit_data_offset >= u->unit_data_len) {
    error_callback(data, "abstract origin or specification out of range", 0);
    return nullptr;
  }
  size_t skip = offset - u->unit_data_offset;
  bt_dwarf_buf buf = {".debug_info", module->sections.data[DEBUG_INFO], u->unit_data + skip,
                      u->unit_data_len - skip, module->is_bigendian, error_callback, data, 0};
  uint64_t code = bt_buf_uleb(&buf);
  if (buf.reported_underflow)
    return nullptr;
  if (code == 0) {
    bt_buf_report(&buf, "invalid abstract origin or specification", 0);
    return nullptr;
  }
  const bt_abbrev *abbrev = bt_abbrev_lookup(u, code, error_callback, data);
  if (!abbrev)
    return nullptr;
  const char *name = nullptr;
  for (size_t i = 0; i < abbrev->num_attrs; ++i) {
    bt_attr_value val;
    if (!bt_attr_read(abbrev->attrs[i].form, abbrev->attrs[i].val, &buf, u->is_dwarf64,
                      u->version, u->addrsize, &module->sections, module->altlink, &val))
      return nullptr;
    switch (abbrev->attrs[i].name) {
    case DW_AT_linkage_name:
    case DW_AT_MIPS_linkage_name: {
      const char *s = nullptr;
      if (!bt_attr_string(&module->sections, u->is_dwarf64, module->is_bigendian,
                          u->str_offsets_base, &val, error_callback, data, &s))
        return nullptr;
      if (s)
        return s;
      break;
    }
    case DW_AT_specification: {
      const char *s = bt_origin_name_attr(module, u, &abbrev->attrs[i], &val, error_callback,
                                          data, depth + 1);
      if (s)
        name = s;
      break;
    }
    case DW_AT_name:
      if (!name && !bt_attr_string(&module->sections, u->is_dwarf64, module->is_bigendian,
                                   u->str_offsets_base, &val, error_callback, data, &name))
        return nullptr;
      break;
    }
  }
  return name;
}

static bool bt_function_range_add(bt_state *state, void *record, uintptr_t low, uintptr_t high,
                                  bt_error_callback error_callback, void *data, bt_vec *vec)
{
  return bt_range_add<bt_function_range>(state, vec, static_cast<bt_function *>(record), low,
                                         high, error_callback, data);
}

static int bt_function_range_order(const void *a, const void *b)
{
  const bt_function_range *x = static_cast<const bt_function_range *>(a);
  const bt_function_range *y = static_cast<const bt_function_range *>(b);
  if (int c = bt_range_compare(x, y))
    return c;
  int c = strcmp(x->owner->name, y->owner->name);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Closes a vector of function ranges: the trailing entry, no spare room, sorted.
static bool finish_ranges(bt_state *state, bt_vec *vec, bt_error_callback error_callback,
                          void *data, size_t *count)
{
  *count = vec->size / sizeof(bt_function_range);
  return bt_range_terminate<bt_function_range>(state, vec, error_callback, data);
}

static bool bt_function_entries_read(bt_state *state, bt_dwarf_module *module, bt_unit *u,
                                     uint64_t base, bt_dwarf_buf *buf,
                                     const bt_line_header *lhdr, bt_error_callback error_callback,
                                     void *data, bt_vec *fvec, bt_vec *ivec, int depth)
{
  if (depth > max_die_depth) {
    bt_buf_report(buf, "DWARF DIEs nested too deeply", 0);
    return false;
  }
  const bt_dwarf_sections *sections = &module->sections;
  while (buf->left > 0) {
    uint64_t code = bt_buf_uleb(buf);
    if (buf->reported_underflow)
      return false;
    if (code == 0)
      return true;
    const bt_abbrev *abbrev = bt_abbrev_lookup(u, code, error_callback, data);
    if (!abbrev)
      return false;
    bool is_function = abbrev->tag == DW_TAG_subprogram || abbrev->tag == DW_TAG_entry_point ||
                       abbrev->tag == DW_TAG_inlined_subroutine;
    bool is_unit = abbrev->tag == DW_TAG_compile_unit || abbrev->tag == DW_TAG_skeleton_unit;
    bt_vec *vec = abbrev->tag == DW_TAG_inlined_subroutine ? ivec : fvec;
    bt_function *function = nullptr;
    if (is_function) {
      function = static_cast<bt_function *>(
          bt_alloc(state, sizeof(bt_function), error_callback, data));
      if (!function)
        return false;
      memset(function, 0, sizeof *function);
    }
    bt_range_desc desc{};
    bool have_linkage_name = false;
    for (size_t i = 0; i < abbrev->num_attrs; ++i) {
      const bt_attr_spec *spec = &abbrev->attrs[i];
      bt_attr_value val;
      if (!bt_attr_read(spec->form, spec->val, buf, u->is_dwarf64, u->version, u->addrsize,
                        sections, module->altlink, &val))
        return false;
      if (is_unit && spec->name == DW_AT_low_pc) {
        if (val.kind == ATTR_VAL_ADDRESS)
          base = val.u.uint;
        else if (val.kind == ATTR_VAL_ADDRESS_INDEX &&
                 !bt_addr_by_index(sections, u->addr_base, u->addrsize, module->is_bigendian,
                                   val.u.uint, error_callback, data, &base))
          return false;
      }
      if (!is_function)
        continue;
      switch (spec->name) {
      case DW_AT_low_pc:
      case DW_AT_high_pc:
      case DW_AT_ranges:
        bt_range_desc_update(spec->name, &val, &desc);
        break;
      case DW_AT_name:
        if (!function->name &&
            !bt_attr_string(sections, u->is_dwarf64, module->is_bigendian, u->str_offsets_base,
                            &val, error_callback, data, &function->name))
          return false;
        break;
      case DW_AT_linkage_name:
      case DW_AT_MIPS_linkage_name: {
        const char *s = nullptr;
        if (!bt_attr_string(sections, u->is_dwarf64, module->is_bigendian, u->str_offsets_base,
                            &val, error_callback, data, &s))
          return false;
        if (s) {
          function->name = s;
          have_linkage_name = true;
        }
        break;
      }
      case DW_AT_abstract_origin:
      case DW_AT_specification:
        if (!have_linkage_name) {
          const char *s = bt_origin_name_attr(module, u, spec, &val, error_callback, data, 0);
          if (s)
            function->name = s;
        }
        break;
      case DW_AT_call_file:
        if (val.kind == ATTR_VAL_UINT) {
          if (val.u.uint >= lhdr->filenames_count) {
            bt_buf_report(buf, "invalid file number in DW_AT_call_file attribute", 0);
            return false;
          }
          function->caller_filename = lhdr->filenames[val.u.uint];
        }
        break;
      case DW_AT_call_line:
        if (val.kind == ATTR_VAL_UINT)
          function->caller_lineno = static_cast<int>(val.u.uint);
        break;
      }
    }

    if (is_function && function->name &&
        (desc.have_ranges || (desc.have_lowpc && desc.have_highpc))) {
      if (!bt_ranges_walk(state, sections, module->base_address, module->is_bigendian, u, base,
                          &desc, bt_function_range_add, function, error_callback, data, vec))
        return false;
      if (abbrev->has_children) {
        bt_vec inlined{};
        if (!bt_function_entries_read(state, module, u, base, buf, lhdr, error_callback, data,
                                      fvec, &inlined, depth + 1))
          return false;
        if (inlined.size > 0) {
          size_t count;
          if (!finish_ranges(state, &inlined, error_callback, data, &count))
            return false;
          bt_vec_trim(state, &inlined, error_callback, data);
          bt_sort(inlined.base, count, sizeof(bt_function_range), bt_function_range_order);
          function->function_addrs = static_cast<bt_function_range *>(inlined.base);
          function->function_addrs_count = count;
        }
      }
      continue;
    }
    if (function)
      bt_free(state, function, sizeof *function, error_callback, data);
    if (abbrev->has_children &&
        !bt_function_entries_read(state, module, u, base, buf, lhdr, error_callback, data, fvec,
                                  ivec, depth + 1))
      return false;
  }
  return true;
}

// The entry of a sorted range array (with its trailing entry) that holds PC:
// the narrowest among those starting at the same address.
template <typename Range> static Range *select_range(Range *ranges, size_t count, uintptr_t pc)
{
  size_t low = 0, high = count;
  Range *r = nullptr;
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (pc < ranges[mid].low) {
      high = mid;
    } else if (pc > ranges[mid + 1].low) {
      low = mid + 1;
    } else {
      r = &ranges[mid];
      break;
    }
  }
  if (!r)
    return nullptr;
  while (pc == (r + 1)->low)
    ++r;
  while (pc >= r->high) {
    if (r == ranges || (r - 1)->low < r->low)
      return nullptr;
    --r;
  }
  return r;
}

static int bt_inlined_frames(uintptr_t pc, const bt_function *function,
                             bt_frame_callback callback, void *data, const char **filename,
                             int *lineno)
{
  if (function->function_addrs_count == 0 || pc == UINTPTR_MAX)
    return 0;
  const bt_function_range *r =
      select_range(function->function_addrs, function->function_addrs_count, pc);
  if (!r)
    return 0;
  const bt_function *inlined = r->owner;
  int ret = bt_inlined_frames(pc, inlined, callback, data, filename, lineno);
  if (ret != 0)
    return ret;
  ret = callback(data, pc, *filename, *lineno, inlined->name);
  if (ret != 0)
    return ret;
  *filename = inlined->caller_filename;
  *lineno = inlined->caller_lineno;
  return 0;
}

static int bt_line_match(const void *key, const void *entry)
{
  uintptr_t pc = *static_cast<const uintptr_t *>(key);
  const bt_line_row *row = static_cast<const bt_line_row *>(entry);
  if (pc < row->pc)
    return -1;
  if (pc >= (row + 1)->pc)
    return 1;
  return 0;
}

// Reads the line table and the function ranges of a unit on its first use.
static void read_unit(bt_state *state, bt_dwarf_module *module, bt_unit *u,
                      bt_error_callback error_callback, void *data)
{
  bt_line_header header;
  bt_line_row *rows;
  size_t rows_count;
  bt_function_range *functions = nullptr;
  size_t functions_count = 0;
  if (bt_line_table_read(state, module, error_callback, data, u, &header, &rows, &rows_count)) {
    bt_vec local{};
    bt_vec *vec = state->threaded ? &local : &module->fvec;
    bt_dwarf_buf buf = {".debug_info", module->sections.data[DEBUG_INFO], u->unit_data,
                        u->unit_data_len, module->is_bigendian, error_callback, data, 0};
    bool ok = true;
    while (ok && buf.left > 0)
      ok = bt_function_entries_read(state, module, u, 0, &buf, &header, error_callback, data,
                                    vec, vec, 0) &&
           !buf.reported_underflow;
    if (ok && vec->size > 0 &&
        finish_ranges(state, vec, error_callback, data, &functions_count)) {
      if (state->threaded) {
        bt_vec_trim(state, vec, error_callback, data);
        functions = static_cast<bt_function_range *>(vec->base);
      } else {
        functions = static_cast<bt_function_range *>(bt_vec_take(state, vec, error_callback, data));
      }
      bt_sort(functions, functions_count, sizeof(bt_function_range), bt_function_range_order);
    } else {
      functions_count = 0;
      // What a failed walk collected is given back as spare room.
      if (!state->threaded) {
        vec->alc += vec->size;
        vec->size = 0;
      }
    }
    bt_line_header_free(state, &header, error_callback, data);
  }
  u->lines_count = rows_count;
  u->function_addrs = functions;
  u->function_addrs_count = functions_count;
  bt_store(state, &u->lines, rows);  // last: readers who see the rows see the rest
}

static int bt_dwarf_module_resolve(bt_state *state, bt_dwarf_module *module, uintptr_t pc,
                                   bt_frame_callback callback, bt_error_callback error_callback,
                                   void *data, bool *found)
{
  *found = true;
  if (module->addrs_count == 0 || pc == UINTPTR_MAX) {
    *found = false;
    return 0;
  }
  bt_unit_range *first = select_range(module->addrs, module->addrs_count, pc);
  if (!first) {
    *found = false;
    return 0;
  }
  bt_unit_range *entry;
  bt_unit *u;
  for (;;) {
    entry = first;
    // Units whose line table failed give way to an overlapping one.
    while (entry > module->addrs && (entry - 1)->low <= pc && pc < (entry - 1)->high &&
           bt_load(state, &entry->owner->lines) == failed_rows)
      --entry;
    u = entry->owner;
    bt_line_row *rows = bt_load(state, &u->lines);
    if (rows == nullptr) {
      read_unit(state, module, u, error_callback, data);
      if (bt_load(state, &u->lines) == failed_rows)
        continue;
      break;
    }
    if (rows == failed_rows)
      return callback(data, pc, nullptr, 0, nullptr);
    break;
  }

  bt_line_row *rows = bt_load(state, &u->lines);
  const bt_line_row *row = static_cast<const bt_line_row *>(
      bt_bsearch(&pc, rows, u->lines_count, sizeof(bt_line_row), bt_line_match));
  if (!row) {
    if (!u->abs_filename) {
      const char *name = u->filename;
      if (name && name[0] != '/' && u->comp_dir) {
        const char *joined = bt_path_join(state, u->comp_dir, name, error_callback, data);
        if (joined)
          name = joined;
      }
      u->abs_filename = name;
    }
    return callback(data, pc, u->abs_filename, 0, nullptr);
  }
  if (u->function_addrs_count == 0)
    return callback(data, pc, row->filename, row->lineno, nullptr);
  const bt_function_range *range = select_range(u->function_addrs, u->function_addrs_count, pc);
  if (!range)
    return callback(data, pc, row->filename, row->lineno, nullptr);
  const char *filename = row->filename;
  int lineno = row->lineno;
  int ret = bt_inlined_frames(pc, range->owner, callback, data, &filename, &lineno);
  if (ret != 0)
    return ret;
  return callback(data, pc, filename, lineno, range->owner->name);
}

int bt_dwarf_resolve(bt_state *state, uintptr_t pc, bt_frame_callback callback,
                     bt_error_callback error_callback, void *data)
{
  bt_dwarf_module *module =
      bt_load(state, reinterpret_cast<bt_dwarf_module **>(&state->fileline_data));
  for (; module; module = bt_load(state, &module->next)) {
    bool found;
    int ret = bt_dwarf_module_resolve(state, module, pc, callback, error_callback, data, &found);
    if (ret != 0 || found)
      return ret;
  }
  return callback(data, pc, nullptr, 0, nullptr);
}
