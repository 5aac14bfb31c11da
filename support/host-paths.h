// The running program's own file, as this host reports it. The system was
// designed for a host that answers through sysctl; this layer gives the same
// answers from /proc.
#ifndef VUZ_SUPPORT_HOST_PATHS_H
#define VUZ_SUPPORT_HOST_PATHS_H

#include <cstddef>

// The executable's path (malloc'd), or null when the host cannot say.
char *host_executable_path();

// sysctl for the one name it answers: {1, 14, 12, -1} (kernel, process, path
// name, this process), or the process's own id in place of -1. With a null
// VALUE it stores the size needed, terminator included, in *LENGTH. Returns 0,
// or -1 with errno (ENOENT for other names, ENOMEM for a short buffer).
int host_sysctl(const int *name, unsigned name_length, void *value, size_t *length);

#endif
