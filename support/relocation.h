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

// The two steps of the routines above, for a caller that relocates several
// directories against one program: the program's full path (looked up along
// PATH, its links followed when RESOLVE_LINKS; malloc'd, null for a null
// PROGNAME), then PREFIX relative to the directory of that path.
char *relocation_program_path(const char *progname, bool resolve_links);
char *relative_prefix_of_path(const char *full_path, const char *bin_prefix, const char *prefix);

#endif
