// Public interface of the stack-trace library: walk the running program's
// stack and resolve program counters to function, source file and line.
#ifndef VUZ_LIBMERROW_MERROW_H
#define VUZ_LIBMERROW_MERROW_H

#include <cstdint>

struct bt_state;

// ERRNUM is -1 when information is merely unavailable, 0 for bad or
// unsupported data, or an errno value when a system call failed.
typedef void (*bt_error_callback)(void *data, const char *message, int errnum);

// One reported frame; a non-zero result stops the walk and becomes its result.
typedef int (*bt_frame_callback)(void *data, uintptr_t pc, const char *filename, int lineno,
                                 const char *function);

// The symbol covering PC, or a null name and zero value and size.
typedef void (*bt_syminfo_callback)(void *data, uintptr_t pc, const char *symname,
                                    uintptr_t symval, uintptr_t symsize);

// A new state, or null after ERROR_CALLBACK got "mmap" and errno. FILENAME is
// not copied and must outlive the state; the state is never freed.
bt_state *bt_state_new(const char *filename, int threaded, bt_error_callback error_callback,
                       void *data);

// Reports every frame of the calling thread's stack after the first SKIP ones.
// Returns 0 when the walk ran to the end, else the first non-zero frame result.
int bt_walk_stack(bt_state *state, int skip, bt_frame_callback callback,
                  bt_error_callback error_callback, void *data);

// Resolves one pc to its frames (inlined calls innermost first).
int bt_resolve_pc(bt_state *state, uintptr_t pc, bt_frame_callback callback,
                  bt_error_callback error_callback, void *data);

// Resolves one pc to the symbol covering it; 0 when initialisation fails.
int bt_resolve_symbol(bt_state *state, uintptr_t pc, bt_syminfo_callback callback,
                      bt_error_callback error_callback, void *data);

#endif
