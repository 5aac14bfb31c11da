// DWARF line programs: a unit's line-program header and the rows its program
// produces, sorted by address for binary search.
#include "libmerrow/dwarf.h"

#include <cstring>

static const bt_line_row *const failed_rows = reinterpret_cast<const bt_line_row *>(UINTPTR_MAX);

void bt_line_header_free(bt_state *state, bt_line_header *header,
                         bt_error_callback error_callback, void *data)
{
  if (header->dirs)
    bt_free(state, header->dirs, header->dirs_count * sizeof(const char *), error_callback, data);
  if (header->filenames)
    bt_free(state, header->filenames, header->filenames_count * sizeof(const char *),
            error_callback, data);
  header->dirs = nullptr;
  header->filenames = nullptr;
}

// DIR + "/" + NAME, NAME alone when it is absolute or DIR is null.
static const char *join_or_keep(bt_state *state, const char *dir, const char *name,
                                bt_error_callback error_callback, void *data)
{
  if (name[0] == '/' || !dir)
    return name;
  return bt_path_join(state, dir, name, error_callback, data);
}

// The names of the directory or file table of a version 5 header.
static bool bt_line_header_entries(bt_state *state, bt_dwarf_module *module, bt_unit *u,
                                   bt_dwarf_buf *buf, bt_line_header *header, size_t *count,
                                   const char ***names)
{
  *count = 0;
  *names = nullptr;
  unsigned format_count = bt_buf_u8(buf);
  uint64_t formats[2 * 255];
  for (unsigned i = 0; i < format_count; ++i) {
    formats[2 * i] = bt_buf_uleb(buf);
    formats[2 * i + 1] = bt_buf_uleb(buf);
  }
  uint64_t entries = bt_buf_uleb(buf);
  if (buf->reported_underflow)
    return false;
  if (entries == 0)
    return true;
  // Each entry takes at least a byte when it has formats; none can be many.
  if (entries > buf->left || entries > SIZE_MAX / sizeof(const char *)) {
    bt_buf_report(buf, "DWARF underflow", 0);
    return false;
  }
  const char **table = static_cast<const char **>(
      bt_alloc(state, entries * sizeof(const char *), buf->error_callback, buf->data));
  if (!table)
    return false;
  for (uint64_t e = 0; e < entries; ++e) {
    const char *path = nullptr;
    const char *dir = nullptr;
    for (unsigned i = 0; i < format_count; ++i) {
      bt_attr_value val;
      if (!bt_attr_read(static_cast<int>(formats[2 * i + 1]), 0, buf, u->is_dwarf64, u->version,
                        header->addrsize, &module->sections, module->altlink, &val))
        goto fail;
      if (formats[2 * i] == DW_LNCT_path) {
        if (!bt_attr_string(&module->sections, u->is_dwarf64, module->is_bigendian,
                            u->str_offsets_base, &val, buf->error_callback, buf->data, &path))
          goto fail;
      } else if (formats[2 * i] == DW_LNCT_directory_index && val.kind == ATTR_VAL_UINT) {
        if (val.u.uint >= header->dirs_count) {
          bt_buf_report(buf, "invalid directory index in line number program header", 0);
          goto fail;
        }
        dir = header->dirs[val.u.uint];
      }
    }
    if (!path) {
      bt_buf_report(buf, "missing file name in line number program header", 0);
      goto fail;
    }
    // Directories after the first are relative to it, the compilation
    // directory, unless absolute.
    if (names == &header->dirs && e > 0)
      dir = table[0];
    table[e] = join_or_keep(state, dir, path, buf->error_callback, buf->data);
    if (!table[e])
      goto fail;
  }
  *count = entries;
  *names = table;
  return true;
fail:
  bt_free(state, table, entries * sizeof(const char *), buf->error_callback, buf->data);
  return false;
}

// Names up to an empty one, for the tables of versions 2 to 4; the count
// includes the FIRST entry that stands before them.
static bool old_style_names(bt_state *state, bt_dwarf_buf *buf, bool files,
                            const bt_line_header *header, const char *first, size_t *count,
                            const char ***names)
{
  bt_dwarf_buf scan = *buf;
  size_t n = 1;
  for (;;) {
    const char *name = bt_buf_string(&scan);
    if (!name)
      return false;
    if (name[0] == '\0')
      break;
    if (files) {
      bt_buf_uleb(&scan);
      bt_buf_uleb(&scan);
      bt_buf_uleb(&scan);
      if (scan.reported_underflow)
        return false;
    }
    ++n;
  }
  const char **table = static_cast<const char **>(
      bt_alloc(state, n * sizeof(const char *), buf->error_callback, buf->data));
  if (!table)
    return false;
  table[0] = first;
  for (size_t i = 1; i < n; ++i) {
    const char *name = bt_buf_string(buf);
    if (!files) {
      // A relative directory is relative to the compilation directory.
      table[i] = join_or_keep(state, first, name, buf->error_callback, buf->data);
      if (!table[i]) {
        bt_free(state, table, n * sizeof(const char *), buf->error_callback, buf->data);
        return false;
      }
      continue;
    }
    uint64_t dir = bt_buf_uleb(buf);
    bt_buf_uleb(buf);
    bt_buf_uleb(buf);
    if (name[0] == '/') {
      table[i] = name;
    } else if (dir >= header->dirs_count) {
      bt_buf_report(buf, "invalid directory index in line number program header", 0);
      bt_free(state, table, n * sizeof(const char *), buf->error_callback, buf->data);
      return false;
    } else if (!(table[i] = join_or_keep(state, header->dirs[dir], name, buf->error_callback,
                                         buf->data))) {
      bt_free(state, table, n * sizeof(const char *), buf->error_callback, buf->data);
      return false;
    }
  }
  bt_buf_string(buf);  // the empty name that ends the table
  *count = n;
  *names = table;
  return true;
}

static int bt_line_order(const void *a, const void *b)
{
  const bt_line_row *x = static_cast<const bt_line_row *>(a);
  const bt_line_row *y = static_cast<const bt_line_row *>(b);
  if (x->pc != y->pc)
    return x->pc < y->pc ? -1 : 1;
  return x->idx < y->idx ? -1 : x->idx > y->idx ? 1 : 0;
}

struct line_program {
  bt_state *state;
  bt_error_callback error_callback;
  void *data;
  bt_dwarf_module *module;
  const bt_line_header *header;
  bt_vec rows;
  size_t count;
  uint64_t address;
  unsigned op_index;
};

static bool add_row(line_program *p, const char *filename, int lineno)
{
  uintptr_t pc = p->address + p->module->base_address;
  if (p->count > 0) {
    const bt_line_row *last = static_cast<const bt_line_row *>(p->rows.base) + p->count - 1;
    if (last->pc == pc && last->filename == filename && last->lineno == lineno)
      return true;
  }
  bt_line_row *row = static_cast<bt_line_row *>(
      bt_vec_grow(p->state, sizeof(bt_line_row), p->error_callback, p->data, &p->rows));
  if (!row)
    return false;
  row->pc = pc;
  row->filename = filename;
  row->lineno = lineno;
  row->idx = static_cast<int>(p->count);
  ++p->count;
  return true;
}

static void advance(line_program *p, uint64_t operation_advance)
{
  const bt_line_header *h = p->header;
  uint64_t ops = p->op_index + operation_advance;
  p->address += h->min_insn_len * (ops / h->max_ops_per_insn);
  p->op_index = static_cast<unsigned>(ops % h->max_ops_per_insn);
}

static bool run_program(line_program *p, bt_dwarf_buf *buf)
{
  const bt_line_header *h = p->header;
  const char *reset_filename = h->filenames_count > 1 ? h->filenames[1] : "";
  const char *filename = reset_filename;
  int lineno = 1;
  p->address = 0;
  p->op_index = 0;
  while (buf->left > 0) {
    unsigned op = bt_buf_u8(buf);
    if (op >= h->opcode_base) {
      unsigned adjusted = op - h->opcode_base;
      advance(p, adjusted / h->line_range);
      lineno += h->line_base + static_cast<int>(adjusted % h->line_range);
      if (!add_row(p, filename, lineno))
        return false;
      continue;
    }
    switch (op) {
    case DW_LNS_extended_op: {
      uint64_t length = bt_buf_uleb(buf);
      if (length == 0)
        break;
      unsigned sub = bt_buf_u8(buf);
      switch (sub) {
      case DW_LNE_end_sequence:
        p->address = 0;
        p->op_index = 0;
        filename = reset_filename;
        lineno = 1;
        break;
      case DW_LNE_set_address:
        p->address = bt_buf_address(buf, h->addrsize);
        break;
      case DW_LNE_define_file: {
        const char *name = bt_buf_string(buf);
        if (!name)
          return false;
        uint32_t dir = static_cast<uint32_t>(bt_buf_uleb(buf));
        bt_buf_uleb(buf);
        bt_buf_uleb(buf);
        if (name[0] == '/') {
          filename = name;
        } else if (dir >= h->dirs_count) {
          bt_buf_report(buf, "invalid directory index in line number program", 0);
          return false;
        } else if (!(filename = join_or_keep(p->state, h->dirs[dir], name, buf->error_callback,
                                             buf->data))) {
          return false;
        }
        break;
      }
      case DW_LNE_set_discriminator:
        bt_buf_uleb(buf);
        break;
      default:
        if (!bt_buf_advance(buf, length - 1 > SIZE_MAX ? SIZE_MAX : length - 1))
          return false;
        break;
      }
      break;
    }
    case DW_LNS_copy:
      if (!add_row(p, filename, lineno))
        return false;
      break;
    case DW_LNS_advance_pc:
      advance(p, bt_buf_uleb(buf));
      break;
    case DW_LNS_advance_line:
      lineno += static_cast<int>(bt_buf_sleb(buf));
      break;
    case DW_LNS_set_file: {
      uint64_t index = bt_buf_uleb(buf);
      if (buf->reported_underflow)
        return false;
      if (index >= h->filenames_count) {
        bt_buf_report(buf, "invalid file number in line number program", 0);
        return false;
      }
      filename = h->filenames[index];
      break;
    }
    case DW_LNS_set_column:
    case DW_LNS_set_isa:
      bt_buf_uleb(buf);
      break;
    case DW_LNS_negate_stmt:
    case DW_LNS_set_basic_block:
    case DW_LNS_set_prologue_end:
    case DW_LNS_set_epilogue_begin:
      break;
    case DW_LNS_const_add_pc:
      advance(p, (255 - h->opcode_base) / h->line_range);
      break;
    case DW_LNS_fixed_advance_pc:
      p->address += bt_buf_u16(buf);
      p->op_index = 0;
      break;
    default:
      for (unsigned i = 0; i < h->opcode_lengths[op - 1]; ++i)
        bt_buf_uleb(buf);
      break;
    }
    if (buf->reported_underflow)
      return false;
  }
  return !buf->reported_underflow;
}

bool bt_line_table_read(bt_state *state, bt_dwarf_module *module,
                        bt_error_callback error_callback, void *data, bt_unit *u,
                        bt_line_header *header, bt_line_row **rows, size_t *count)
{
  memset(header, 0, sizeof *header);
  line_program program = {state, error_callback, data, module, header, {}, 0, 0, 0};
  const bt_dwarf_sections *sections = &module->sections;
  size_t size = sections->size[DEBUG_LINE];
  if (u->lineoff >= size) {
    error_callback(data, "unit line offset out of range", 0);
    goto fail;
  }
  {
    bt_dwarf_buf line = {".debug_line", sections->data[DEBUG_LINE],
                         sections->data[DEBUG_LINE] + u->lineoff, size - u->lineoff,
                         module->is_bigendian, error_callback, data, 0};
    int is_dwarf64;
    uint64_t length = bt_buf_unit_length(&line, &is_dwarf64);
    if (line.reported_underflow || !bt_buf_require(&line, length))
      goto fail;
    line.left = length;
    header->version = static_cast<int>(bt_buf_u16(&line));
    if (line.reported_underflow)
      goto fail;
    if (header->version < 2 || header->version > 5) {
      bt_buf_report(&line, "unsupported line number version", -1);
      goto fail;
    }
    header->addrsize = u->addrsize;
    if (header->version >= 5) {
      header->addrsize = bt_buf_u8(&line);
      if (bt_buf_u8(&line) != 0) {
        bt_buf_report(&line, "non-zero segment_selector_size not supported", -1);
        goto fail;
      }
    }
    uint64_t header_length = bt_buf_offset(&line, is_dwarf64);
    if (line.reported_underflow || !bt_buf_require(&line, header_length))
      goto fail;
    bt_dwarf_buf hdr = line;
    hdr.left = header_length;
    bt_buf_advance(&line, header_length);

    header->min_insn_len = bt_buf_u8(&hdr);
    header->max_ops_per_insn = header->version >= 4 ? bt_buf_u8(&hdr) : 1;
    bt_buf_u8(&hdr);  // default is-statement
    header->line_base = bt_buf_s8(&hdr);
    header->line_range = bt_buf_u8(&hdr);
    header->opcode_base = bt_buf_u8(&hdr);
    header->opcode_lengths = hdr.buf;
    if (header->opcode_base > 1 && !bt_buf_advance(&hdr, header->opcode_base - 1))
      goto fail;
    if (hdr.reported_underflow)
      goto fail;
    // Every address step divides by these two; a table that gives 0 for
    // either cannot be run.
    if (header->line_range == 0 || header->max_ops_per_insn == 0) {
      bt_buf_report(&hdr, "invalid line number program header", 0);
      goto fail;
    }
    if (header->opcode_base == 0)
      header->opcode_base = 1;  // no standard opcodes; avoids indexing before the lengths

    if (header->version < 5) {
      if (!old_style_names(state, &hdr, false, header, u->comp_dir, &header->dirs_count,
                           &header->dirs) ||
          !old_style_names(state, &hdr, true, header, u->filename, &header->filenames_count,
                           &header->filenames))
        goto fail;
    } else {
      if (!bt_line_header_entries(state, module, u, &hdr, header, &header->dirs_count,
                                  &header->dirs) ||
          !bt_line_header_entries(state, module, u, &hdr, header, &header->filenames_count,
                                  &header->filenames))
        goto fail;
    }
    if (!run_program(&program, &line) || program.count == 0)
      goto fail;
  }
  {
    bt_line_row *end = static_cast<bt_line_row *>(
        bt_vec_grow(state, sizeof(bt_line_row), error_callback, data, &program.rows));
    if (!end)
      goto fail;
    end->pc = UINTPTR_MAX;
    end->filename = nullptr;
    end->lineno = 0;
    end->idx = 0;
    bt_vec_trim(state, &program.rows, error_callback, data);
    bt_sort(program.rows.base, program.count, sizeof(bt_line_row), bt_line_order);
    *rows = static_cast<bt_line_row *>(program.rows.base);
    *count = program.count;
    return true;
  }
fail:
  if (program.rows.base)
    bt_free(state, program.rows.base, program.rows.size + program.rows.alc, error_callback, data);
  bt_line_header_free(state, header, error_callback, data);
  *rows = const_cast<bt_line_row *>(failed_rows);
  *count = 0;
  return false;
}
