// Where an installation directory lies relative to the running program, so
// that an installation moved as a whole still finds its own files.
#ifndef VUZ_SUPPORT_RELOCATION_H
#define VUZ_SUPPORT_RELOCATION_H

// PROGNAME is the program as invoked (looked up along PATH when it has no
// '/'); BIN_PREFIX the configured directory of the program; PREFIX the
// configured directory wanted. The result (malloc'd) is PREFIX relative to
// the program's real directory, or null when the program runs from its
// configured place or the directories share nothing.
char *relative_prefix_resolved(const char *progname, const char *bin_prefix, const char *prefix);
// The same without following symbolic links of the program's path.
char *relative_prefix_unresolved(const char *progname, const char *bin_prefix,
                                 const char *prefix);

#endif
