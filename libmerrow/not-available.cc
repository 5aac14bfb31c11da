// Separate debug files, compressed debug sections and the compressed mini
// debug information are not read by this build. The ELF reader still calls
// these entries where it meets such data; each answers "not available", so the
// module's own uncompressed sections and symbol table serve alone.
#include "libmerrow/internal.h"

int bt_debugfile_open(bt_state *, const char *, bt_error_callback, void *)
{
  return -1;
}

int bt_section_uncompress(bt_state *, const unsigned char *, size_t, bt_error_callback, void *,
                          unsigned char **, size_t *)
{
  return 0;
}

int bt_xz_decode(bt_state *, const unsigned char *, size_t, bt_error_callback, void *,
                 unsigned char **, size_t *)
{
  return 0;
}
