// The preprocessor reader of the library's fuzz inputs: a reader of the
// dialect a byte chooses, over a line table of its own, its reports dropped.
// Options are set between fuzz_reader_open and reader_post_options.
#ifndef VUZ_TESTS_COMMON_FUZZ_READER_H
#define VUZ_TESTS_COMMON_FUZZ_READER_H

#include "libsprenk/preprocessor.h"
#include "tests/common/line-table.h"

#include <cstdint>
#include <cstdlib>

struct fuzz_reader {
  linemap_set lines;
  preprocessor_reader *reader;
};

inline bool fuzz_reader_ignore_report(preprocessor_reader *, int, int, located_ranges *,
                                      const char *, va_list *)
{
  return true;
}

inline preprocessor_reader *fuzz_reader_open(fuzz_reader *f, uint8_t dialect_byte)
{
  linemap_set_init(&f->lines, BUILTINS_LOCATION);
  f->lines.packed_range_bits = 5;
  f->reader = reader_create(source_dialect(dialect_byte % DIALECT_COUNT), nullptr, &f->lines);
  callbacks_of(f->reader)->diagnostic = fuzz_reader_ignore_report;
  return f->reader;
}

inline int fuzz_reader_check_macro_text(preprocessor_reader *reader, ident_node *node, void *)
{
  if (node->kind == IK_MACRO && cpp_macro_text(reader, node) == nullptr)
    abort();
  return 1;
}

// Every macro defined can be written back as text.
inline void fuzz_reader_check_macro_texts(preprocessor_reader *reader)
{
  cpp_each_identifier(reader, fuzz_reader_check_macro_text, nullptr);
}

inline void fuzz_reader_close(fuzz_reader *f)
{
  reader_destroy(f->reader);
  release_line_table(&f->lines);
}

#endif
