// Second compilations under -fcompare-debug with the comparison of their
// final-instruction dumps, and crash reproduction under -freport-bug.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "support/alloc.h"
#include "support/concat.h"
#include "support/pex.h"
#include "support/temp-files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

compare_debug_state compare_debug;

void use_compare_debug_table(int which)
{
  saved_switches = compare_debug.switch_tables[which - 1];
}

void reset_compare_debug()
{
  // The switch table in use is one of the two; its own reset frees it.
  for (int i = 0; i < 2; i++) {
    if (compare_debug.switch_tables[i].switches != saved_switches.switches)
      free(compare_debug.switch_tables[i].switches);
    free(compare_debug.dump_names[i]);
  }
  compare_debug = compare_debug_state();
}

void prepare_compare_debug_tables()
{
  if (!command.compare_debug_mode)
    return;
  if (!driver_settings.second_run_requested) {
    compare_debug.switch_tables[0] = saved_switches;
    switch_entry *copy =
        checked_new_array<switch_entry>(static_cast<uint64_t>(saved_switches.switch_capacity));
    memcpy(copy, saved_switches.switches,
           static_cast<size_t>(saved_switches.switch_capacity) * sizeof(switch_entry));
    saved_switches.switches = copy;
  }
  save_temps_kind saved_save_temps = command.save_temps_mode;
  command.save_temps_mode = SAVE_TEMPS_OFF;
  if (command.compare_debug_mode > 0)
    command.compare_debug_mode = compare_debug_other_run(command.compare_debug_mode);
  run_self_spec("%:compare-debug-self-opt()");
  command.save_temps_mode = saved_save_temps;
  if (!driver_settings.second_run_requested) {
    compare_debug.switch_tables[1] = saved_switches;
    command.compare_debug_mode = compare_debug_other_run(command.compare_debug_mode);
    use_compare_debug_table(1);
  }
}

const char *compare_debug_self_opt_spec_function(int argc, const char **)
{
  if (argc != 0)
    fatal_error(0, "too many arguments to %%:compare-debug-self-opt");
  if (command.compare_debug_mode >= 0)
    return nullptr;
  return collect_concat("%<o %<MD %<MMD %<MF* %<MG %<MP %<MQ* %<MT* %<fdump-final-insns=* -w -S "
                        "-o %j %{!fcompare-debug-second:-fcompare-debug-second} ",
                        command.compare_debug_option ? command.compare_debug_option : "", nullptr);
}

// The words of a spec expanded with fresh word state; the caller's words are kept.
static vec<const char *> *expand_words(const char *spec)
{
  vec<const char *> *saved = spec_expansion.argbuf;
  spec_expansion.argbuf = nullptr;
  begin_spec_expansion();
  do_spec_1(spec, false, nullptr);
  finish_word();
  vec<const char *> *words = spec_expansion.argbuf;
  spec_expansion.argbuf = saved;
  return words;
}

static char *escape_for_spec(const char *name)
{
  append_spec_escaped(&spec_expansion.collect_obstack, name);
  obstack_append_byte(&spec_expansion.collect_obstack, '\0');
  return static_cast<char *>(obstack_close_object(&spec_expansion.collect_obstack));
}

const char *compare_debug_dump_opt_spec_function(int argc, const char **)
{
  if (argc != 0)
    fatal_error(0, "too many arguments to %%:compare-debug-dump-opt");
  vec<const char *> *words = expand_words("%{fdump-final-insns=*:%*}");
  const char *name_spec = nullptr;
  const char *name = nullptr;
  bool option = true;
  if (vec_length(words) > 0 && strcmp(words->last(), ".") != 0) {
    if (!command.compare_debug_mode) {
      vec_release(words);
      return nullptr;
    }
    name = words->last();
    option = false;
  } else if (vec_length(words) > 0) {
    name_spec = "%B.gkd";
  } else {
    if (!command.compare_debug_mode) {
      vec_release(words);
      return nullptr;
    }
    name_spec = "%{!save-temps*:%g.gkd}%{save-temps*:%B.gkd}";
  }
  vec_release(words);
  if (name_spec) {
    vec<const char *> *named = expand_words(name_spec);
    vuz_assert(vec_length(named) > 0);
    name = named->last();
    vec_release(named);
  }
  char *dump_option =
      option ? collect_concat("-fdump-final-insns=", escape_for_spec(name), nullptr) : nullptr;
  int slot = command.compare_debug_mode >= 0 ? 0 : 1;
  free(compare_debug.dump_names[slot]);
  compare_debug.dump_names[slot] = checked_strdup(name);
  if (command.compare_debug_mode >= 0) {
    uint64_t seed = 0;
    int fd = open("/dev/urandom", O_RDONLY);
    if (fd >= 0) {
      if (read(fd, &seed, sizeof seed) != static_cast<ssize_t>(sizeof seed))
        seed = 0;
      close(fd);
    }
    if (!seed) {
      struct timeval tv;
      gettimeofday(&tv, nullptr);
      seed = static_cast<uint64_t>(tv.tv_sec) * 1000 + static_cast<uint64_t>(tv.tv_usec) / 1000;
      seed ^= static_cast<uint64_t>(getpid());
    }
    snprintf(compare_debug.seed_text, sizeof compare_debug.seed_text, "%#lx",
             static_cast<unsigned long>(seed));
  }
  char *result = dump_option;
  if (compare_debug.seed_text[0])
    result = collect_concat("%{!frandom-seed=*:-frandom-seed=", compare_debug.seed_text, "} ",
                            dump_option ? dump_option : "", nullptr);
  if (command.compare_debug_mode < 0)
    compare_debug.seed_text[0] = '\0';
  return result;
}

// Compares two streams byte by byte.
static bool streams_differ(FILE *a, FILE *b)
{
  int ca, cb;
  do {
    ca = getc(a);
    cb = getc(b);
  } while (ca == cb && ca != EOF);
  return ca != cb;
}

bool compare_debug_files(const char *input_name)
{
  const char *first = compare_debug.dump_names[0];
  const char *second = compare_debug.dump_names[1];
  struct stat st1, st2;
  if (stat(first, &st1) != 0 || !S_ISREG(st1.st_mode)) {
    error_here("%s: could not determine length of compare-debug file %s", input_name, first);
    return true;
  }
  if (stat(second, &st2) != 0 || !S_ISREG(st2.st_mode)) {
    error_here("%s: could not determine length of compare-debug file %s", input_name, second);
    return true;
  }
  if (st1.st_size != st2.st_size) {
    error_here("%s: %<-fcompare-debug%> failure (length)", input_name);
    return true;
  }
  int fd1 = open(first, O_RDONLY);
  if (fd1 < 0) {
    error_here("%s: could not open compare-debug file %s", input_name, first);
    return true;
  }
  int fd2 = open(second, O_RDONLY);
  if (fd2 < 0) {
    close(fd1);
    error_here("%s: could not open compare-debug file %s", input_name, second);
    return true;
  }
  bool differ = false;
  size_t size = static_cast<size_t>(st1.st_size);
  void *m1 = size ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd1, 0) : nullptr;
  void *m2 = size ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd2, 0) : nullptr;
  if (size == 0) {
    differ = false;
  } else if (m1 != MAP_FAILED && m2 != MAP_FAILED) {
    differ = memcmp(m1, m2, size) != 0;
  } else {
    FILE *f1 = fdopen(dup(fd1), "r");
    FILE *f2 = fdopen(dup(fd2), "r");
    differ = !f1 || !f2 || streams_differ(f1, f2);
    if (f1)
      fclose(f1);
    if (f2)
      fclose(f2);
  }
  if (m1 && m1 != MAP_FAILED)
    munmap(m1, size);
  if (m2 && m2 != MAP_FAILED)
    munmap(m2, size);
  close(fd1);
  close(fd2);
  if (differ)
    error_here("%s: %<-fcompare-debug%> failure", input_name);
  return differ;
}

// Runs one reproduction of the crashed command; returns the wait status.
static int run_reproduction(const char *const *words, const char *out, const char *err, bool append)
{
  pex_pipeline *pex = pex_init(PEX_PIPED, run_values.program_name, nullptr);
  if (!pex)
    fatal_error(0, "%<pex_init%> failed: %m");
  int error_number = 0;
  int flags = PEX_FINAL_STAGE | PEX_PATH_SEARCH | (append ? PEX_APPEND_OUT | PEX_APPEND_ERR : 0);
  const char *message = pex_run_stage(pex, flags, words[0], const_cast<char *const *>(words), out,
                                      err, &error_number);
  if (message) {
    if (error_number == 0)
      fatal_error(0, "cannot execute %qs: %s", words[0], message);
    errno = error_number;
    fatal_error(0, "cannot execute %qs: %s: %m", words[0], message);
  }
  int status = 0;
  if (!pex_copy_statuses(pex, 1, &status))
    fatal_error(0, "failed to get exit status: %m");
  pex_destroy(pex);
  return status;
}

static bool files_equal(const char *a, const char *b)
{
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0 || sa.st_size != sb.st_size)
    return false;
  FILE *fa = fopen(a, "r");
  FILE *fb = fopen(b, "r");
  bool equal = fa && fb;
  char ba[4096], bb[4096];
  while (equal) {
    size_t na = fread(ba, 1, sizeof ba, fa);
    size_t nb = fread(bb, 1, sizeof bb, fb);
    if (na != nb || memcmp(ba, bb, na) != 0)
      equal = false;
    if (na < sizeof ba)
      break;
  }
  if (fa)
    fclose(fa);
  if (fb)
    fclose(fb);
  return equal;
}

// The compiler's messages with "// " at the start of each line. Byte by
// byte: they may hold any byte, NUL too, and none may be lost.
static void copy_commented(FILE *in, FILE *out)
{
  bool at_start = true;
  for (int c; (c = getc(in)) != EOF;) {
    if (at_start)
      fputs("// ", out);
    putc(c, out);
    at_start = c == '\n';
  }
}

void report_crash(const char *const *words)
{
  if (!current_input.current_input_name || strcmp(current_input.current_input_name, "-") == 0)
    return;
  int o_words = 0;
  bool quiet = false;
  for (const char *const *w = words; *w; w++) {
    if (strcmp(*w, "-E") == 0 || strcmp(*w, "-ftime-report") == 0)
      return;
    if (strncmp(*w, "-o", 2) == 0)
      o_words++;
    if (strcmp(*w, "-quiet") == 0)
      quiet = true;
  }
  if (o_words != 1 || !quiet)
    return;

  vec<const char *> *reproduction = nullptr;
  for (const char *const *w = words; *w; w++) {
    if (strcmp(*w, "-o") == 0 && w[1]) {
      vec_safe_push(reproduction, *w);
      vec_safe_push(reproduction, static_cast<const char *>("-"));
      w++;
      continue;
    }
    if (strncmp(*w, "-o", 2) == 0) {
      vec_safe_push(reproduction, static_cast<const char *>("-o-"));
      continue;
    }
    vec_safe_push(reproduction, *w);
  }
  vec_safe_push(reproduction, static_cast<const char *>("-frandom-seed=0"));
  vec_safe_push(reproduction, static_cast<const char *>("-fdump-noaddr"));
  vec_safe_push(reproduction, static_cast<const char *>(nullptr));

  char *outs[3], *errs[3];
  int crashes = 0;
  for (int i = 0; i < 3; i++) {
    // Listed at once, so that a later temporary that cannot be made
    // does not leave these behind when it ends the run.
    outs[i] = temp_file_make(".out");
    register_temp_file(outs[i], true, false);
    errs[i] = temp_file_make(".err");
    register_temp_file(errs[i], true, false);
    if (i == 2) {
      FILE *f = fopen(errs[i], "a");
      if (f) {
        report_configuration(f);
        fputc('\n', f);
        fclose(f);
      }
    }
    int status = run_reproduction(reproduction->address(), outs[i], errs[i], i == 2);
    if (WIFEXITED(status) && WEXITSTATUS(status) == EXIT_CODE_INTERNAL)
      crashes++;
  }
  bool reproducible = crashes == 3 && files_equal(outs[0], outs[1]) && files_equal(errs[0], errs[1]);
  bool keep_third = false;
  if (!reproducible) {
    fputs("The bug is not reproducible, so it is likely a hardware or OS problem.\n", stderr);
  } else {
    FILE *in = fopen(errs[2], "r");
    FILE *out = fopen(outs[2], "w");
    if (in && out) {
      copy_commented(in, out);
      fputs("\n//", out);
      for (const char **w = reproduction->address(); *w; w++) {
        fputc(' ', out);
        fputs(*w, out);
      }
      fputs("\n\n", out);
    }
    if (in)
      fclose(in);
    if (out)
      fclose(out);
    vec_pop(reproduction);
    vec_safe_push(reproduction, static_cast<const char *>("-E"));
    vec_safe_push(reproduction, static_cast<const char *>(nullptr));
    int status = run_reproduction(reproduction->address(), outs[2], errs[2], true);
    if (WIFEXITED(status) && WEXITSTATUS(status) == EXIT_CODE_SUCCESS) {
      fprintf(stderr,
              "Preprocessed source stored into %s file, please attach this to your bugreport.\n",
              outs[2]);
      keep_third = true;
    }
  }
  if (keep_third)
    keep_temp_file(outs[2]);
  for (int i = 0; i < 3; i++) {
    if (!(i == 2 && keep_third))
      unlink(outs[i]);
    unlink(errs[i]);
    free(outs[i]);
    free(errs[i]);
  }
  vec_release(reproduction);
}
