// Reading, exporting and restoring the driver's environment variables.
#include "driver/env-manager.h"

#include "support/alloc.h"
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

env_manager env;

static const char *shown(const char *text)
{
  return text ? text : "(null)";
}

void env_manager::init(bool keep_old_values_, bool debug_)
{
  keep_old_values = keep_old_values_;
  debug = debug_;
}

const char *env_manager::getenv(const char *name)
{
  const char *value = ::getenv(name);
  if (debug)
    fprintf(stderr, "env_manager::getenv (%s) -> %s\n", name, shown(value));
  return value;
}

void env_manager::echo(const char *text)
{
  if (!verbose_flag || !*verbose_flag)
    return;
  // One write, as fprintf would make, without its 8 KiB buffer on the stack;
  // a short line is put together in the frame.
  size_t n = strlen(text);
  char small[512];
  char *line = n + 2 <= sizeof small ? small : static_cast<char *>(checked_malloc(n + 2));
  memcpy(line, text, n);
  line[n] = '\n';
  fwrite(line, 1, n + 1, stderr);
  if (line != small)
    free(line);
}

void env_manager::xput(char *text)
{
  if (debug)
    fprintf(stderr, "env_manager::xput (%s)\n", text);
  echo(text);
  store(text);
}

void env_manager::xput_unechoed(char *text)
{
  if (debug)
    fprintf(stderr, "env_manager::xput (%s)\n", text);
  store(text);
}

void env_manager::store(char *text)
{
  if (keep_old_values) {
    const char *equals = strchr(text, '=');
    vuz_assert(equals);
    char *name = checked_strndup(text, equals - text);
    const char *value = ::getenv(name);
    if (debug)
      fprintf(stderr, "saving old value: %s\n", shown(value));
    env_saved_var entry = {name, value ? checked_strdup(value) : nullptr};
    vec_safe_push(saved, entry);
  }
  vec_safe_push(exported, text);
  put(text);
}

void env_manager::put(char *text)
{
  const char *equals = strchr(text, '=');
  if (!equals) {
    putenv(text);  // the C library's own meaning of a bare name
    return;
  }
  size_t name_length = static_cast<size_t>(equals - text) + 1;
  if (!own_environ || environ != own_environ) {
    // Adopted with room to spare; the array it replaces stays the C
    // library's, and an earlier array of ours is no longer in use.
    uint32_t count = 0;
    while (environ && environ[count])
      count++;
    char **adopted = checked_new_array<char *>(count + uint64_t{16});
    if (count)
      memcpy(adopted, environ, count * sizeof *adopted);
    adopted[count] = nullptr;
    free(own_environ);
    own_environ = environ = adopted;
    own_capacity = count + 16;
  }
  // Counted afresh each time: unsetenv shortens the array in place.
  uint32_t at = 0;
  for (; own_environ[at]; at++)
    if (own_environ[at][0] == text[0] && strncmp(own_environ[at], text, name_length) == 0) {
      own_environ[at] = text;
      return;
    }
  if (at + 1 >= own_capacity) {
    own_capacity *= 2;
    own_environ = environ = static_cast<char **>(
        checked_realloc(own_environ, own_capacity * sizeof *own_environ));
  }
  own_environ[at] = text;
  own_environ[at + 1] = nullptr;
}

void env_manager::set_if_unset(const char *name, const char *value)
{
  if (::getenv(name))
    return;
  if (keep_old_values)
    vec_safe_push(saved, env_saved_var{checked_strdup(name), nullptr});
  setenv(name, value, 0);
}

void env_xput_object(obstack *ob)
{
  obstack_append_byte(ob, '\0');
  char *text = static_cast<char *>(obstack_close_object(ob));
  env.xput(checked_strdup(text));
  obstack_free_to(ob, text);
}

void env_manager::restore()
{
  vuz_assert(keep_old_values);
  for (uint32_t i = vec_length(saved); i-- > 0;) {
    env_saved_var &entry = (*saved)[i];
    if (debug)
      printf("restoring saved key: %s value: %s\n", entry.name, shown(entry.value));
    if (entry.value)
      setenv(entry.name, entry.value, 1);
    else
      unsetenv(entry.name);
    free(entry.name);
    free(entry.value);
  }
  if (saved)
    vec_truncate(saved, 0);
  if (exported)
    for (char *text : *exported)
      free(text);
  vec_release(exported);
}
