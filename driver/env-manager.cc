// Reading, exporting and restoring the driver's environment variables.
#include "driver/env-manager.h"

#include "support/alloc.h"
#include "support/concat.h"
#include "support/internal-abort.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  // One write, as fprintf would make, without its 8 KiB buffer on the stack.
  char *line = concat_strings(text, "\n", nullptr);
  fputs(line, stderr);
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
  putenv(text);
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
