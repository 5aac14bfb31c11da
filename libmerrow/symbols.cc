// ELF symbol tables: one sorted table of function and data symbols per module,
// the symbol lookup over them, and the lookups used when no module has DWARF
// data or none has a symbol table.
#include "libmerrow/internal.h"

#include <cstring>
#include <elf.h>

static int bt_symbol_order(const void *a, const void *b)
{
  const bt_elf_symbol *x = static_cast<const bt_elf_symbol *>(a);
  const bt_elf_symbol *y = static_cast<const bt_elf_symbol *>(b);
  return x->address < y->address ? -1 : x->address > y->address ? 1 : 0;
}

static int bt_symbol_match(const void *key, const void *entryarg)
{
  uintptr_t pc = *static_cast<const uintptr_t *>(key);
  const bt_elf_symbol *entry = static_cast<const bt_elf_symbol *>(entryarg);
  if (pc < entry->address)
    return -1;
  if (pc - entry->address >= entry->size)
    return 1;
  return 0;
}

static bool kept(const Elf64_Sym &sym)
{
  int type = ELF64_ST_TYPE(sym.st_info);
  return (type == STT_OBJECT || type == STT_FUNC) && sym.st_shndx != SHN_UNDEF;
}

int bt_elf_symbols_build(bt_state *state, uintptr_t base_address, const unsigned char *symtab,
                         size_t symtab_size, const unsigned char *strtab, size_t strtab_size,
                         bt_error_callback error_callback, void *data, bt_symbol_table *table,
                         const bt_opd_section *opd)
{
  size_t records = symtab_size / sizeof(Elf64_Sym);
  size_t count = 0;
  // A table that ends in its terminator needs no per-name search for one.
  bool terminated = strtab_size != 0 && strtab[strtab_size - 1] == '\0';
  for (size_t i = 0; i < records; ++i) {
    Elf64_Sym sym;
    memcpy(&sym, symtab + i * sizeof sym, sizeof sym);
    if (!kept(sym))
      continue;
    if (sym.st_name >= strtab_size ||
        (!terminated && !memchr(strtab + sym.st_name, '\0', strtab_size - sym.st_name))) {
      error_callback(data, "symbol string index out of range", 0);
      return 0;
    }
    ++count;
  }
  memset(table, 0, sizeof *table);
  table->count = count;
  table->symtab = symtab;
  table->records = records;
  table->strtab = strtab;
  table->base_address = base_address;
  if (opd)
    table->opd = *opd;
  // Most reports never look a symbol up (DWARF names their frames), and the
  // loaded objects' tables run to thousands of entries: the entries are made
  // and sorted on the first lookup, except where threads could race to it.
  if (state->threaded && !bt_symbol_table_ready(state, table, error_callback, data))
    return 0;
  return 1;
}

int bt_symbol_table_ready(bt_state *state, bt_symbol_table *table,
                          bt_error_callback error_callback, void *data)
{
  if (table->symbols || table->count == 0)
    return 1;
  bt_elf_symbol *entries = static_cast<bt_elf_symbol *>(
      bt_alloc(state, table->count * sizeof(bt_elf_symbol), error_callback, data));
  if (!entries)
    return 0;
  const bt_opd_section *opd = table->opd.data ? &table->opd : nullptr;
  size_t j = 0;
  for (size_t i = 0; i < table->records; ++i) {
    Elf64_Sym sym;
    memcpy(&sym, table->symtab + i * sizeof sym, sizeof sym);
    if (!kept(sym))
      continue;
    uint64_t address = sym.st_value;
    if (opd && address >= opd->address && address - opd->address < opd->size &&
        opd->size - (address - opd->address) >= 8)
      memcpy(&address, opd->data + (address - opd->address), 8);
    entries[j].name = reinterpret_cast<const char *>(table->strtab + sym.st_name);
    entries[j].address = address + table->base_address;
    entries[j].size = sym.st_size;
    ++j;
  }
  bt_sort(entries, table->count, sizeof(bt_elf_symbol), bt_symbol_order);
  table->symbols = entries;
  return 1;
}

void bt_symbol_table_append(bt_state *state, bt_symbol_table *table)
{
  bt_list_append(state, reinterpret_cast<bt_symbol_table **>(&state->syminfo_data), table);
}

void bt_elf_symbol_lookup(bt_state *state, uintptr_t pc, bt_syminfo_callback callback,
                          bt_error_callback error_callback, void *data)
{
  bt_symbol_table *table = bt_load(state, reinterpret_cast<bt_symbol_table **>(&state->syminfo_data));
  for (; table; table = bt_load(state, &table->next)) {
    // A table whose entries cannot be made matches nothing this time.
    if (!bt_symbol_table_ready(state, table, error_callback, data))
      continue;
    if (const bt_elf_symbol *sym = static_cast<const bt_elf_symbol *>(bt_bsearch(
            &pc, table->symbols, table->count, sizeof(bt_elf_symbol), bt_symbol_match))) {
      callback(data, pc, sym->name, sym->address, sym->size);
      return;
    }
  }
  callback(data, pc, nullptr, 0, 0);
}

void bt_elf_no_symbols_lookup(bt_state *, uintptr_t, bt_syminfo_callback,
                              bt_error_callback error_callback, void *data)
{
  error_callback(data, "no symbol table in ELF executable", -1);
}

int bt_elf_no_debug_lookup(bt_state *state, uintptr_t pc, bt_frame_callback callback,
                           bt_error_callback error_callback, void *data)
{
  bt_syminfo_fn syminfo_fn = bt_load(state, &state->syminfo_fn);
  if (syminfo_fn && syminfo_fn != bt_elf_no_symbols_lookup) {
    bt_syminfo_adapter adapter = {callback, error_callback, data, 0};
    syminfo_fn(state, pc, bt_syminfo_to_frame, bt_syminfo_error_forward, &adapter);
    return adapter.result;
  }
  error_callback(data, "no debug info in ELF executable", -1);
  return 0;
}
