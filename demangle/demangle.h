// Public entry points of the demangler: turns names mangled by the Itanium C++
// ABI into readable C++ declarations, as text or through an output callback.
#ifndef VUZ_DEMANGLE_DEMANGLE_H
#define VUZ_DEMANGLE_DEMANGLE_H

#include <cstddef>
#include <cstdint>

// Option bits (`demangle_options`).
typedef uint32_t demangle_options;
enum : demangle_options {
  DEMANGLE_PARAMS = 0x1,         // parameter lists; the whole text must be consumed
  DEMANGLE_NO_EFFECT = 0x2,      // accepted, no effect
  DEMANGLE_JAVA = 0x4,           // Java-style names, builtins and pointers
  DEMANGLE_VERBOSE = 0x8,        // standard substitutions in full template form
  DEMANGLE_TYPES = 0x10,         // a text that is not a mangled name is a bare type
  DEMANGLE_RETURN_AFTER = 0x20,  // return type after the parameter list
  DEMANGLE_NO_RETURN = 0x40,     // no return type
  DEMANGLE_ITANIUM = 0x4000,     // accepted, no effect (names this mangling scheme)
  DEMANGLE_NO_LIMITS = 0x40000   // no input-length or function-nesting limits
};

// Receives consecutive pieces of the output; `text` is NUL-terminated at `length`.
typedef void (*demangle_sink)(const char *text, size_t length, void *opaque);

// The target of the string-returning entries.
struct growable_text {
  char *buffer;     // malloc/realloc block
  size_t length;    // bytes used, without the terminating NUL
  size_t capacity;
  bool failed;      // an allocation failed
};

void growable_text_append(growable_text *text, const char *piece, size_t n);
void growable_text_sink(const char *piece, size_t n, void *opaque);

struct demangle_component;
struct demangle_parse_state;

// A new malloc block with the demangled text, or null; the caller frees it.
char *demangle_to_string(const char *mangled, int options);
// 1 when demangled (the whole output went to the sink), 0 otherwise.
int demangle_with_sink(const char *mangled, int options, demangle_sink sink, void *opaque);
char *demangle_java_to_string(const char *mangled);
int demangle_java_with_sink(const char *mangled, demangle_sink sink, void *opaque);

// Constructor kind 1 to 5 (C1..C5) or destructor kind 1 to 5 (D0, D1, D2, D4, D5)
// of the name the text mangles, 0 when it names no constructor / destructor.
int demangled_ctor_kind(const char *mangled);
int demangled_dtor_kind(const char *mangled);

// Prints a ready tree; 1 on success, 0 when printing failed (the sink may
// already have received part of the text).
int demangle_print_tree(int options, demangle_component *tree, demangle_sink sink,
                        void *opaque);
// A new malloc block with the printed tree, or null. `*size` receives the
// block's capacity, 1 when memory ran out, 0 when printing failed.
char *demangle_print_to_string(int options, demangle_component *tree, int estimate,
                               size_t *size);

// Fills a parse state over `length` bytes of `mangled`; the caller provides
// the component array and substitution table before parsing.
void demangle_state_init(const char *mangled, int options, size_t length,
                         demangle_parse_state *state);

int component_fill_name(demangle_component *component, const char *text, int length);
int component_fill_vendor_operator(demangle_component *component, int args,
                                   demangle_component *name);
int component_fill_ctor(demangle_component *component, int kind, demangle_component *name);
int component_fill_dtor(demangle_component *component, int kind, demangle_component *name);

#endif
