// Checked allocation: routines that never return null. When the platform
// allocator fails they report the exhaustion and end the process with status 1.
#ifndef VUZ_SUPPORT_ALLOC_H
#define VUZ_SUPPORT_ALLOC_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

void alloc_set_program_name(const char *name);
const char *alloc_program_name();

void *checked_malloc(uint64_t size);
void *checked_calloc(uint64_t count, uint64_t size);
void *checked_realloc(void *block, uint64_t size);
void *checked_memdup(const void *source, uint64_t copy_length, uint64_t alloc_length);
char *checked_strdup(const char *text);
char *checked_strndup(const char *text, uint64_t limit);

char *format_alloc(const char *format, ...) __attribute__((format(printf, 1, 2)));
char *format_alloc_va(const char *format, va_list args) __attribute__((format(printf, 1, 0)));
int format_length_estimate(const char *format, va_list args) __attribute__((format(printf, 1, 0)));

[[noreturn]] void report_out_of_memory(uint64_t size);

// Exit statuses that mean something to the driver, whether it ends with them
// itself or reads them from the compilers it runs.
enum exit_code {
  EXIT_CODE_SUCCESS = 0,
  EXIT_CODE_ERRORS = 1,   // errors were reported, a fatal one included
  EXIT_CODE_SIGPIPE = 2,  // a child ended by SIGPIPE
  EXIT_CODE_INTERNAL = 4, // an internal error
};

// Ends the run with STATUS: exits, or hands the status to exit_program_hook
// when one is set. A program that holds several driver runs (a fuzz target, a
// test) sets it to regain control; the hook must not return.
[[noreturn]] void exit_program(int status);
extern void (*exit_program_hook)(int status);

// Typed allocation through the checked routines.
template <typename T> inline T *checked_new_array(uint64_t count)
{
  return static_cast<T *>(checked_malloc(count * sizeof(T)));
}
template <typename T> inline T *checked_new_cleared(uint64_t count = 1)
{
  return static_cast<T *>(checked_calloc(count, sizeof(T)));
}

// Entries of the garbage collector this system does not have; they forward to
// the checked routines for code shared with collector-based programs.
void *kemm_internal_alloc(size_t size, void (*finaliser)(void *), size_t element_size,
                          size_t element_count);
void *kemm_internal_cleared_alloc(size_t size, void (*finaliser)(void *), size_t element_size,
                                  size_t element_count);
void *kemm_resize(void *block, size_t size);
void kemm_release(void *block);
void *kemm_identity(void *pointer);
void kemm_noop_first();
void kemm_noop_second();

#endif
