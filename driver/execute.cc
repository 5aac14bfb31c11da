// Running one collected command: the wrapper, the split into a pipeline, the
// "-v" and "-###" echo, the children through the process layer, and the
// judgement of their statuses and times.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/search-paths.h"
#include "support/alloc.h"
#include "support/char-class.h"
#include "support/pex.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>

struct pipeline_command {
  const char *program;
  const char **argv;
};

// A word needs quoting under "-###" unless it is made of these bytes only.
struct plain_byte_table {
  bool plain[256];
};

static constexpr plain_byte_table make_plain_byte_table()
{
  plain_byte_table t{};
  for (int c = 0; c < 256; c++)
    t.plain[c] = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                 c == '-' || c == '.' || c == '/' || c == '_';
  return t;
}

static constexpr plain_byte_table plain_bytes = make_plain_byte_table();

// The length of WORD, and whether it is plain: four bytes a step, as every
// byte of every command passes here.
static size_t measure_word(const char *word, bool *plain)
{
  const unsigned char *p = reinterpret_cast<const unsigned char *>(word);
  const bool *t = plain_bytes.plain;
  size_t n = strlen(word), i = 0;
  bool all_plain = true;
  for (; i + 4 <= n; i += 4)
    all_plain &= t[p[i]] & t[p[i + 1]] & t[p[i + 2]] & t[p[i + 3]];
  for (; i < n; i++)
    all_plain &= t[p[i]];
  *plain = all_plain;
  return n;
}

// Appends a word in double quotes with everything a POSIX shell would still
// interpret inside them escaped (the backtick too), so that a printed line
// can be pasted into a shell. The runs between escapes go in whole.
static void append_quoted_word(obstack *text, const char *word)
{
  obstack_append_byte(text, '"');
  for (const char *run = word;;) {
    const char *p = run + strcspn(run, "\"$\\`");
    obstack_append(text, run, static_cast<uint64_t>(p - run));
    if (!*p)
      break;
    obstack_append_byte(text, '\\');
    obstack_append_byte(text, *p);
    run = p + 1;
  }
  obstack_append_byte(text, '"');
}

static void append_echo_word(obstack *text, const char *word, bool dry_run)
{
  obstack_append_byte(text, ' ');
  bool plain;
  size_t length = measure_word(word, &plain);
  if (!length)
    obstack_append(text, "\"\"", 2);
  else if (dry_run && !plain)
    append_quoted_word(text, word);
  else
    obstack_append(text, word, length);
}

static bool needs_time_quote(const char *word)
{
  for (const char *p = word; *p; p++)
    if (c_isspace(static_cast<unsigned char>(*p)) || *p == '"' || *p == '$' || *p == '\\' ||
        *p == '`')
      return true;
  return false;
}

// Inserts the pieces of the -wrapper text in front of the command.
static int splice_wrapper(const char *wrapper)
{
  if (char *full = find_program((*spec_expansion.argbuf)[0]))
    (*spec_expansion.argbuf)[0] = full;
  vec<const char *> *pieces = nullptr;
  const char *p = wrapper;
  while (*p == ',')
    p++;
  for (;;) {
    const char *end = strchr(p, ',');
    if (!end) {
      vec_safe_push(pieces, static_cast<const char *>(checked_strdup(p)));
      break;
    }
    vec_safe_push(pieces, static_cast<const char *>(checked_strndup(p, static_cast<size_t>(end - p))));
    p = end;
    while (*p == ',')
      p++;
    if (!*p) {
      vec_safe_push(pieces, static_cast<const char *>(checked_strdup("")));
      break;
    }
  }
  uint32_t n = vec_length(pieces);
  uint32_t before = vec_length(spec_expansion.argbuf);
  for (uint32_t i = 0; i < n; i++)
    vec_safe_insert(spec_expansion.argbuf, i, (*pieces)[i]);
  vuz_assert(vec_length(spec_expansion.argbuf) == before + n);
  vec_release(pieces);
  return static_cast<int>(n);
}

// A long command is echoed into room made once: the obstack would grow by
// an eighth at a time, moving the text and touching fresh pages each time.
enum { ECHO_RESERVE_WORDS = 256 };

static void reserve_echo(const char *exported, const pipeline_command *commands, int n_commands,
                         uint32_t n_words)
{
  if (n_words < ECHO_RESERVE_WORDS)
    return;
  // Each word with its blank and quotes; escapes beyond that grow as usual.
  uint64_t size = (exported ? strlen(exported) + 1 : 0) + 1;
  for (int i = 0; i < n_commands; i++) {
    for (const char **a = commands[i].argv; *a; a++)
      size += strlen(*a) + 3;
    size += 3;
  }
  if (obstack_room(&spec_expansion.collect_obstack) < size)
    obstack_grow_chunk(&spec_expansion.collect_obstack, size);
}

static void release_commands(pipeline_command *commands, char **resolved, int n_commands,
                             bool in_frame)
{
  for (int i = 0; i < n_commands; i++)
    free(resolved[i]);
  if (!in_frame) {
    free(resolved);
    free(commands);
  }
}

static bool is_pipe_word(const char *word)
{
  return word[0] == '|' && word[1] == '\0';
}

int execute(const char *exported)
{
  vuz_assert(spec_expansion.spec_function_depth == 0);
  int wrapped = 0;
  if (const char *wrapper = driver_wrapper())
    wrapped = splice_wrapper(wrapper);

  int n_commands = 1;
  for (const char *word : *spec_expansion.argbuf)
    if (is_pipe_word(word))
      n_commands++;
  vec_safe_push(spec_expansion.argbuf, static_cast<const char *>(nullptr));
  const char **words = spec_expansion.argbuf->address();
  uint32_t n_words = vec_length(spec_expansion.argbuf) - 1;

  // A command line is rarely a pipeline of more than a few programs.
  enum { FRAME_COMMANDS = 4 };
  pipeline_command frame_commands[FRAME_COMMANDS];
  char *frame_resolved[FRAME_COMMANDS] = {};
  bool in_frame = n_commands <= FRAME_COMMANDS;
  pipeline_command *commands =
      in_frame ? frame_commands
               : checked_new_array<pipeline_command>(static_cast<uint64_t>(n_commands));
  char **resolved =
      in_frame ? frame_resolved : checked_new_cleared<char *>(static_cast<uint64_t>(n_commands));
  int c = 0;
  commands[0].program = words[0];
  commands[0].argv = words;
  for (uint32_t i = 0; i < n_words; i++)
    if (is_pipe_word(words[i])) {
      words[i] = nullptr;
      c++;
      commands[c].program = words[i + 1];
      commands[c].argv = &words[i + 1];
    }
  for (int i = 0; i < n_commands; i++) {
    if (i == 0 && wrapped)
      continue;
    if (!commands[i].program)
      continue;
    if (char *full = find_program(commands[i].program)) {
      resolved[i] = full;
      commands[i].argv[0] = full;
    }
  }

  bool dry_run = driver_settings.dry_run_count > 0;
  if (driver_verbose()) {
    // The whole echo goes out in one write: standard error is unbuffered.
    reserve_echo(exported, commands, n_commands, n_words);
    if (exported) {
      obstack_append_text(&spec_expansion.collect_obstack, exported);
      obstack_append_byte(&spec_expansion.collect_obstack, '\n');
    }
    if (driver_settings.help_requested)
      obstack_append_byte(&spec_expansion.collect_obstack, '\n');
    for (int i = 0; i < n_commands; i++) {
      for (const char **a = commands[i].argv; *a; a++)
        append_echo_word(&spec_expansion.collect_obstack, *a, dry_run);
      obstack_append_text(&spec_expansion.collect_obstack, i + 1 < n_commands ? " |\n" : "\n");
    }
    uint64_t length = obstack_object_length(&spec_expansion.collect_obstack);
    char *text = static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
    fwrite(text, 1, length, stderr);
    obstack_free_to(&spec_expansion.collect_obstack, text);
    fflush(stderr);
    if (dry_run) {
      run_values.commands_run++;
      release_commands(commands, resolved, n_commands, in_frame);
      vec_pop(spec_expansion.argbuf);
      return 0;
    }
  }

  // A child may change what the probes of this run found.
  forget_probe_answers();
  bool keep_times = driver_time() || driver_settings.time_report_stream;
  pex_pipeline *pex = pex_init(PEX_PIPED | (keep_times ? PEX_KEEP_TIMES : 0),
                               run_values.program_name, temp_files.last_temp_name);
  if (!pex)
    fatal_error(0, "%<pex_init%> failed: %m");
  for (int i = 0; i < n_commands; i++) {
    int error_number = 0;
    int flags = (i + 1 == n_commands ? PEX_FINAL_STAGE : 0) |
                (commands[i].argv[0] == commands[i].program ? PEX_PATH_SEARCH : 0);
    const char *message = pex_run_stage(pex, flags, commands[i].argv[0],
                                        const_cast<char *const *>(commands[i].argv), nullptr,
                                        nullptr, &error_number);
    if (message) {
      if (error_number == 0)
        fatal_error(0, "cannot execute %qs: %s", commands[i].argv[0], message);
      errno = error_number;
      fatal_error(0, "cannot execute %qs: %s: %m", commands[i].argv[0], message);
    }
    run_values.commands_run++;
  }

  int *statuses = checked_new_array<int>(static_cast<uint64_t>(n_commands));
  if (!pex_copy_statuses(pex, n_commands, statuses))
    fatal_error(0, "failed to get exit status: %m");
  pex_child_times *times = nullptr;
  if (keep_times) {
    times = checked_new_array<pex_child_times>(static_cast<uint64_t>(n_commands));
    if (!pex_copy_times(pex, n_commands, times))
      fatal_error(0, "failed to get process times: %m");
  }
  pex_destroy(pex);
  forget_probe_answers();

  int result = 0;
  for (int i = 0; i < n_commands; i++) {
    int status = statuses[i];
    if (WIFSTOPPED(status)) {
      // nothing
    } else if (WIFSIGNALED(status)) {
      int sig = WTERMSIG(status);
      if (sig == SIGPIPE) {
        run_values.sigpipe_count++;
        result = -1;
      } else if (sig == SIGINT || sig == SIGQUIT || sig == SIGKILL || sig == SIGTERM) {
        fatal_error(0, "%s signal terminated program %s", strsignal(sig), commands[i].program);
      } else {
        internal_error_no_backtrace("%s signal terminated program %s", strsignal(sig),
                                    commands[i].program);
      }
    } else if (WIFEXITED(status) && WEXITSTATUS(status) > 0) {
      uint32_t code = static_cast<uint32_t>(WEXITSTATUS(status));
      // Only a compiler found as a path is run again: one run through PATH
      // search is outside the installation.
      if (driver_report_bug() && i == 0 && code == EXIT_CODE_INTERNAL) {
        const char *first = commands[i].argv[0];
        const char *slash = strrchr(first, '/');
        if (slash && strncmp(slash + 1, "tolm", 4) == 0) {
          report_crash(commands[i].argv);
          forget_probe_answers();
        }
      }
      result = -1;
      if (code > run_values.max_child_status)
        run_values.max_child_status = code;
    }
    if (times) {
      double user = static_cast<double>(times[i].user_seconds) +
                    static_cast<double>(times[i].user_microseconds) / 1.0e6;
      double system = static_cast<double>(times[i].system_seconds) +
                      static_cast<double>(times[i].system_microseconds) / 1.0e6;
      if (user + system != 0) {
        if (driver_time())
          fprintf(stderr, "# %s %.2f %.2f\n", commands[i].program, user, system);
        if (driver_settings.time_report_stream) {
          fprintf(driver_settings.time_report_stream, "%g %g", user, system);
          for (const char **a = commands[i].argv; *a; a++) {
            fputc(' ', driver_settings.time_report_stream);
            if (needs_time_quote(*a)) {
              append_quoted_word(&spec_expansion.collect_obstack, *a);
              uint64_t length = obstack_object_length(&spec_expansion.collect_obstack);
              char *quoted =
                  static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
              fwrite(quoted, 1, length, driver_settings.time_report_stream);
              obstack_free_to(&spec_expansion.collect_obstack, quoted);
            } else {
              fputs(*a, driver_settings.time_report_stream);
            }
          }
          fputc('\n', driver_settings.time_report_stream);
          fflush(driver_settings.time_report_stream);
        }
      }
    }
  }
  free(times);
  free(statuses);
  release_commands(commands, resolved, n_commands, in_frame);
  vec_pop(spec_expansion.argbuf);
  return result;
}
