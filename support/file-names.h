// File names: comparison and hashing, base names, canonical paths, splitting
// into components, and thin wrappers round the stream functions.
#ifndef VUZ_SUPPORT_FILE_NAMES_H
#define VUZ_SUPPORT_FILE_NAMES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

int fd_is_open(int fd);

// Byte order, no case folding.
int path_compare(const char *a, const char *b);
int path_compare_n(const char *a, const char *b, size_t length);
int path_equal(const char *a, const char *b);
int path_equal_canonical(const char *a, const char *b);
uint32_t path_hash(const char *name);

const char *path_base_name_posix(const char *path);
const char *path_base_name(const char *path);
const char *path_base_name_dos(const char *path);

// The resolved form of PATH, or a copy of PATH when it cannot be resolved;
// never null, owned by the caller.
char *canonical_path(const char *path);

// Components of PATH, each keeping the slashes that follow it, ended by null;
// null for an empty path. Free with split_directories_free.
char **split_directories_of(const char *path, int *count);
// Just past the component of PATH that begins at P, its slashes included:
// the components of split_directories_of, walked in place.
const char *path_component_end(const char *p);
void split_directories_free(char **components);

FILE *open_stream(const char *name, const char *mode);
FILE *open_stream_fd(int fd, const char *mode);
FILE *reopen_stream(const char *name, const char *mode, FILE *stream);
void stream_helper_noop();
void stream_helper_noop_2();

#endif
