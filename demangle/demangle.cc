// Entry points of the demangler: classify the text, parse it into a component
// tree, print the tree to a sink or into a malloc'd string.
#include "demangle/demangle.h"

#include "demangle/demangle-tree.h"

#include <cstdlib>
#include <cstring>

typedef demangle_component comp_t;

// Longest text demangled without the no-limits option.
static const size_t input_length_limit = 1024;
// Arrays for texts up to this length live in the caller's frame; longer texts
// take them from the heap so that stack use stays fixed.
static const size_t local_text_length = 64;

void demangle_state_init(const char *mangled, int options, size_t length,
                         demangle_parse_state *state)
{
  state->text_start = mangled;
  state->text_end = mangled + length;
  state->options = options;
  state->cursor = mangled;
  state->components = nullptr;
  state->components_used = 0;
  state->components_capacity = static_cast<int32_t>(length > INT32_MAX / 2 ? INT32_MAX : 2 * length);
  state->substitutions = nullptr;
  state->substitutions_used = 0;
  state->substitutions_capacity = static_cast<int32_t>(length > INT32_MAX ? INT32_MAX : length);
  state->last_name = nullptr;
  state->length_estimate = 0;
  state->in_expression = 0;
  state->in_conversion = 0;
  state->unresolved_state = 1;
  state->nesting_depth = 0;
  state->in_lambda_signature = 0;
  // A parse without backtracking starts each rule at a new position.
  state->work_left = 64 * static_cast<int64_t>(length) + 1024;
  state->rule_depth = 0;
}

namespace {

enum text_class { TEXT_MANGLED, TEXT_GLOBAL_CTORS, TEXT_GLOBAL_DTORS, TEXT_TYPE, TEXT_NONE };

text_class classify(const char *text, size_t length, int options)
{
  if (length >= 2 && text[0] == '_' && text[1] == 'Z')
    return TEXT_MANGLED;
  if (length >= 11 && memcmp(text, "_GLOBAL_", 8) == 0 &&
      (text[8] == '.' || text[8] == '_' || text[8] == '$') &&
      (text[9] == 'I' || text[9] == 'D') && text[10] == '_')
    return text[9] == 'I' ? TEXT_GLOBAL_CTORS : TEXT_GLOBAL_DTORS;
  return (options & DEMANGLE_TYPES) ? TEXT_TYPE : TEXT_NONE;
}

// The component array and substitution table of one parse attempt.
struct parse_space {
  demangle_component local_components[2 * local_text_length];
  demangle_component *local_substitutions[local_text_length];
  demangle_component *heap_components = nullptr;
  demangle_component **heap_substitutions = nullptr;

  bool attach(demangle_parse_state *state)
  {
    size_t components = state->components_capacity, substitutions = state->substitutions_capacity;
    if (components <= 2 * local_text_length) {
      state->components = local_components;
      state->substitutions = local_substitutions;
      return true;
    }
    heap_components = static_cast<demangle_component *>(malloc(components * sizeof(comp_t)));
    heap_substitutions = static_cast<comp_t **>(malloc(substitutions * sizeof(comp_t *)));
    state->components = heap_components;
    state->substitutions = heap_substitutions;
    return heap_components && heap_substitutions;
  }

  ~parse_space()
  {
    free(heap_components);
    free(heap_substitutions);
  }
};

comp_t *parse_global(demangle_parse_state *state, text_class kind)
{
  state->cursor += 11;
  comp_t *entity;
  if (state->text_end - state->cursor >= 2 && state->cursor[0] == '_' && state->cursor[1] == 'Z') {
    state->cursor += 2;
    entity = demangle_parse_encoding(state, false);
  } else {
    entity = demangle_make_name(state, state->cursor,
                                static_cast<int>(state->text_end - state->cursor));
  }
  state->cursor = state->text_end;
  return demangle_make(state, kind == TEXT_GLOBAL_CTORS ? CK_GLOBAL_CONSTRUCTORS
                                                         : CK_GLOBAL_DESTRUCTORS,
                       entity, nullptr);
}

comp_t *parse_text(demangle_parse_state *state, text_class kind)
{
  switch (kind) {
  case TEXT_MANGLED:
    return demangle_parse_mangled_name(state, true);
  case TEXT_TYPE:
    return demangle_parse_type(state);
  case TEXT_GLOBAL_CTORS:
  case TEXT_GLOBAL_DTORS:
    return parse_global(state, kind);
  default:
    return nullptr;
  }
}

// Parses and prints one attempt; -1 asks for the retry that reads unresolved
// names the other way.
int demangle_attempt(const char *mangled, size_t length, int options, text_class kind,
                     int32_t unresolved_state, demangle_sink sink, void *opaque)
{
  demangle_parse_state state;
  demangle_state_init(mangled, options, length, &state);
  state.unresolved_state = unresolved_state;
  if (!(options & DEMANGLE_NO_LIMITS) &&
      static_cast<size_t>(state.components_capacity) > 2 * input_length_limit)
    return 0;
  parse_space space;
  if (!space.attach(&state))
    return 0;
  comp_t *tree = parse_text(&state, kind);
  if (tree && (options & DEMANGLE_PARAMS) && state.cursor != state.text_end)
    tree = nullptr;
  if (!tree)
    return state.unresolved_state == -1 ? -1 : 0;
  return demangle_print_tree(options, tree, sink, opaque);
}

}  // namespace

int demangle_with_sink(const char *mangled, int options, demangle_sink sink, void *opaque)
{
  if (!mangled)
    return 0;
  size_t length = strlen(mangled);
  text_class kind = classify(mangled, length, options);
  if (kind == TEXT_NONE)
    return 0;
  int result = demangle_attempt(mangled, length, options, kind, 1, sink, opaque);
  if (result == -1)
    result = demangle_attempt(mangled, length, options, kind, 0, sink, opaque);
  return result == 1;
}

void growable_text_append(growable_text *text, const char *piece, size_t n)
{
  if (text->failed)
    return;
  size_t needed = text->length + n + 1;
  if (needed > text->capacity) {
    size_t capacity = text->capacity ? text->capacity : 2;
    while (capacity < needed)
      capacity *= 2;
    char *grown = static_cast<char *>(realloc(text->buffer, capacity));
    if (!grown) {
      free(text->buffer);
      text->buffer = nullptr;
      text->length = 0;
      text->capacity = 0;
      text->failed = true;
      return;
    }
    text->buffer = grown;
    text->capacity = capacity;
  }
  memcpy(text->buffer + text->length, piece, n);
  text->length += n;
  text->buffer[text->length] = '\0';
}

void growable_text_sink(const char *piece, size_t n, void *opaque)
{
  growable_text_append(static_cast<growable_text *>(opaque), piece, n);
}

char *demangle_to_string(const char *mangled, int options)
{
  growable_text text = {nullptr, 0, 0, false};
  if (!demangle_with_sink(mangled, options, growable_text_sink, &text)) {
    free(text.buffer);
    return nullptr;
  }
  return text.buffer;
}

char *demangle_java_to_string(const char *mangled)
{
  return demangle_to_string(mangled, DEMANGLE_PARAMS | DEMANGLE_JAVA | DEMANGLE_RETURN_AFTER);
}

int demangle_java_with_sink(const char *mangled, demangle_sink sink, void *opaque)
{
  return demangle_with_sink(mangled, DEMANGLE_PARAMS | DEMANGLE_JAVA | DEMANGLE_RETURN_AFTER, sink,
                            opaque);
}

char *demangle_print_to_string(int options, comp_t *tree, int estimate, size_t *size)
{
  growable_text text = {nullptr, 0, 0, false};
  if (estimate > 0) {
    size_t capacity = 2;
    while (capacity < static_cast<size_t>(estimate))
      capacity *= 2;
    text.buffer = static_cast<char *>(malloc(capacity));
    if (text.buffer) {
      text.capacity = capacity;
      text.buffer[0] = '\0';
    } else {
      text.failed = true;
    }
  }
  if (!demangle_print_tree(options, tree, growable_text_sink, &text)) {
    free(text.buffer);
    *size = 0;
    return nullptr;
  }
  *size = text.failed ? 1 : text.capacity;
  return text.buffer;
}

// The constructor (7) or destructor (8) kind found along the name's spine.
static int structor_kind(const char *mangled, component_kind wanted)
{
  if (!mangled)
    return 0;
  size_t length = strlen(mangled);
  demangle_parse_state state;
  demangle_state_init(mangled, DEMANGLE_ITANIUM, length, &state);
  if (static_cast<size_t>(state.components_capacity) > 2 * input_length_limit)
    return 0;
  parse_space space;
  if (!space.attach(&state))
    return 0;
  comp_t *c = demangle_parse_mangled_name(&state, true);
  while (c) {
    switch (c->kind) {
    case CK_QUALIFIED:
    case CK_LOCAL:
      c = c->u.pair.right;
      break;
    case CK_FUNCTION_NAME:
    case CK_TEMPLATE:
      c = c->u.pair.left;
      break;
    case CK_CONSTRUCTOR:
    case CK_DESTRUCTOR:
      return c->kind == wanted ? c->u.structor.kind : 0;
    default:
      return 0;
    }
  }
  return 0;
}

int demangled_ctor_kind(const char *mangled)
{
  return structor_kind(mangled, CK_CONSTRUCTOR);
}

int demangled_dtor_kind(const char *mangled)
{
  return structor_kind(mangled, CK_DESTRUCTOR);
}
