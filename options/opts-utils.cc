// Option utilities beside the handlers: debug-format helpers, the jobserver
// probe, the option texts and addresses of diagnostics, and the quoted
// option lists that the driver hands to the programs it starts.
#include "options/opts-utils.h"

#include "support/alloc.h"
#include "support/concat.h"
#include "support/file-names.h"
#include "support/internal-abort.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

static const char documentation_root[] = "https://vuz.invalid/onlinedocs/";

static const char *const debug_type_names[] = {"none", "stabs", "dwarf-2", "xcoff",
                                               "vms",  "ctf",   "btf"};
enum { debug_type_count = sizeof debug_type_names / sizeof debug_type_names[0] };

unsigned debug_set_to_format(uint32_t set)
{
  if (set == 0)
    return 0;
  vuz_assert_as(debug_format_count(set) == 1, "opts", "debug_set_to_format");
  unsigned position = 0;
  while (!(set & 1u)) {
    set >>= 1;
    position++;
  }
  vuz_assert_as(position < 8, "opts", "debug_set_to_format");
  return position;
}

unsigned debug_format_count(uint32_t set)
{
  unsigned count = 0;
  for (; set; set &= set - 1)
    count++;
  return count;
}

const char *debug_format_name(unsigned position)
{
  vuz_assert(position < debug_type_count);
  return debug_type_names[position];
}

const char *debug_format_names(uint32_t set)
{
  // Room for every name and its separator.
  static char buffer[64];
  if (set == 0)
    return strcpy(buffer, "none");
  buffer[0] = '\0';
  for (unsigned position = 1; position < debug_type_count; position++)
    if (set & (1u << position)) {
      if (buffer[0])
        strcat(buffer, " ");
      strcat(buffer, debug_type_names[position]);
    }
  return buffer;
}

static uint32_t selection(const option_values *opts)
{
  return static_cast<uint32_t>(opts->write_symbols);
}

bool btf_selected()
{
  return selection(&global_options) & DEBUG_FORMAT_BTF;
}

bool btf_core_selected()
{
  return selection(&global_options) & DEBUG_FORMAT_BTF_WITH_CORE;
}

bool ctf_selected()
{
  return selection(&global_options) & DEBUG_FORMAT_CTF;
}

bool ctf_or_btf_selected()
{
  return selection(&global_options) & (DEBUG_FORMAT_CTF | DEBUG_FORMAT_BTF);
}

bool dwarf_selected_in(const option_values *opts)
{
  return selection(opts) & DEBUG_FORMAT_DWARF;
}

// A descriptor number as written in MAKEFLAGS: an optional sign and digits
// that fit an int. Advances *TEXT past it; false when there is none.
static bool read_descriptor(const char **text, int32_t *fd)
{
  const char *p = *text;
  if (!(p[0] >= '0' && p[0] <= '9') && !((p[0] == '-' || p[0] == '+') && p[1] >= '0' && p[1] <= '9'))
    return false;
  char *end;
  errno = 0;
  long value = strtol(p, &end, 10);
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
    return false;
  *fd = static_cast<int32_t>(value);
  *text = end;
  return true;
}

// The last occurrence of NEEDLE in TEXT, or null.
static const char *last_occurrence(const char *text, const char *needle)
{
  const char *last = nullptr;
  for (const char *p = text; (p = strstr(p, needle)) != nullptr; p++)
    last = p;
  return last;
}

#define JOBSERVER_AUTH "--jobserver-auth="
#define JOBSERVER_UNAVAILABLE "jobserver is not available: "

// "MAKEFLAGS=" and the variable without the jobserver argument at AT: the text
// before it, and from the first blank at or after it on.
static char *makeflags_without(const char *value, const char *at)
{
  char *before = checked_strndup(value, static_cast<uint64_t>(at - value));
  const char *blank = strchr(at, ' ');
  char *cleaned = concat_strings("MAKEFLAGS=", before, blank ? blank : "", nullptr);
  free(before);
  return cleaned;
}

// The probe of descriptors "R,W" in REST; false leaves the cleaned text and
// the message to the caller.
static void probe_descriptors(jobserver_probe *probe, const char *rest)
{
  const char *p = rest;
  int32_t read_fd, write_fd;
  if (read_descriptor(&p, &read_fd) && *p++ == ',' && read_descriptor(&p, &write_fd)) {
    probe->read_fd = read_fd;
    probe->write_fd = write_fd;
    if (read_fd > 0 && write_fd > 0 && fd_is_open(read_fd) && fd_is_open(write_fd))
      probe->active = true;
  }
}

void detect_jobserver(jobserver_probe *probe)
{
  *probe = jobserver_probe{nullptr, nullptr, -1, -1, nullptr, false};
  const char *value = getenv("MAKEFLAGS");
  if (!value) {
    probe->error_message =
        checked_strdup(JOBSERVER_UNAVAILABLE "%<MAKEFLAGS%> environment variable is unset");
    return;
  }
  const char *at = last_occurrence(value, JOBSERVER_AUTH);
  if (!at) {
    probe->error_message = checked_strdup(
        JOBSERVER_UNAVAILABLE "%<" JOBSERVER_AUTH "%> is not present in %<MAKEFLAGS%>");
    return;
  }
  const char *rest = at + strlen(JOBSERVER_AUTH);
  if (strncmp(rest, "fifo:", 5) == 0) {
    probe->pipe_path = checked_strndup(rest + 5, strcspn(rest + 5, " "));
    probe->active = true;
    return;
  }
  probe_descriptors(probe, rest);
  if (probe->active)
    return;
  probe->cleaned_makeflags = makeflags_without(value, at);
  probe->error_message =
      checked_strdup(JOBSERVER_UNAVAILABLE "cannot access %<" JOBSERVER_AUTH "%> file descriptors");
}

#undef JOBSERVER_AUTH
#undef JOBSERVER_UNAVAILABLE

void jobserver_probe_release(jobserver_probe *probe)
{
  free(probe->error_message);
  free(probe->cleaned_makeflags);
  free(probe->pipe_path);
  probe->error_message = probe->cleaned_makeflags = probe->pipe_path = nullptr;
}

bool detect_jobserver(const char **cleaned_makeflags)
{
  jobserver_probe probe;
  detect_jobserver(&probe);
  *cleaned_makeflags = nullptr;
  if (!probe.active && probe.cleaned_makeflags)
    *cleaned_makeflags = option_obstack_concat(probe.cleaned_makeflags, nullptr);
  bool active = probe.active;
  jobserver_probe_release(&probe);
  return active;
}

char *diagnostic_option_text(diagnostic_state *context, int option_index,
                             diagnostic_kind original_kind, diagnostic_kind kind)
{
  const bool was_warning = original_kind == DK_WARNING || original_kind == DK_PEDWARN;
  if (option_index) {
    const char *text = option_rows[option_index].text;
    if (was_warning && kind == DK_ERROR)
      return concat_strings("-Werror=", text + 2, nullptr);
    return checked_strdup(text);
  }
  if (context->werror_all && (was_warning || kind == DK_WARNING))
    return checked_strdup("-Werror");
  return nullptr;
}

// The bit of the option language called NAME.
static uint32_t language_bit(const char *name)
{
  for (unsigned i = 0; option_table.language_names[i]; i++)
    if (strcmp(option_table.language_names[i], name) == 0)
      return 1u << i;
  vuz_unreachable();
}

char *diagnostic_option_url(diagnostic_state *, int option_index)
{
  if (option_index == 0)
    return nullptr;
  const option_descriptor *row = &option_rows[option_index];
  const char *page = "vuz/Warning-Options.html";
  if (strstr(row->text, "analyzer-"))
    page = "vuz/Static-Analyzer-Options.html";
  else if (strstr(row->text, "flto"))
    page = "vuz/Optimize-Options.html";
  else if ((row->flags & language_bit("Fortran")) &&
           !(row->flags & (language_bit("C") | language_bit("C++"))))
    page = "plimb/Error-and-Warning-Options.html";
  return concat_strings(documentation_root, page, "#index", row->text, nullptr);
}

const char **split_quoted_options(const char *text, obstack *ob, unsigned *count)
{
  // The options stay on OB beside their array.
  char *storage = obstack_copy_in_nul(ob, text, strlen(text));
  size_t k = 0;
  for (size_t j = 0; storage[j]; j++) {
    if (storage[j] != '\'')
      continue;
    obstack_append_pointer(ob, storage + k);
    j++;
    for (;;) {
      if (storage[j] == '\0')
        fatal_error(UNKNOWN_LOCATION, "malformed %<VRESK_VUZ_OPTIONS%>");
      if (strncmp(storage + j, "'\\''", 4) == 0) {
        storage[k++] = '\'';
        j += 4;
      } else if (storage[j] == '\'') {
        break;
      } else {
        storage[k++] = storage[j++];
      }
    }
    storage[k++] = '\0';
  }
  obstack_append_pointer(ob, nullptr);
  *count = static_cast<unsigned>(obstack_object_length(ob) / sizeof(char *) - 1);
  return static_cast<const char **>(obstack_close_object(ob));
}

void append_assembler_options(const char *text, obstack *ob)
{
  obstack scratch;
  obstack_init_malloc(&scratch);
  unsigned count;
  const char **options = split_quoted_options(text, &scratch, &count);
  for (unsigned i = 0; i < count; i++) {
    obstack_append_text(ob, " '-Xassembler' '");
    obstack_append_text(ob, options[i]);
    obstack_append_text(ob, "'");
  }
  obstack_release_to(&scratch, nullptr);
}

void cut_short_suffix(char *buffer, size_t length)
{
  if (length < 3)
    return;
  for (size_t back = 2; back <= 4; back++) {
    if (back > 2 && length <= back)
      break;
    if (buffer[length - back] == '.') {
      buffer[length - back] = '\0';
      return;
    }
  }
}

size_t base_name_length(const char *path, const char **base)
{
  const char *slash = strrchr(path, '/');
  *base = slash ? slash + 1 : path;
  const char *dot = strrchr(*base, '.');
  return dot ? static_cast<size_t>(dot - *base) : strlen(*base);
}

uint32_t parse_no_sanitize_list(const char *text)
{
  // "undefined" also names the float and strict-bounds checks.
  const uint32_t undefined_nondefault = 0x818000;
  uint32_t mask = 0;
  char *copy = checked_strdup(text);
  char *save = nullptr;
  for (char *item = strtok_r(copy, ",", &save); item; item = strtok_r(nullptr, ",", &save)) {
    const sanitizer_entry *e = sanitizer_names;
    while (e->name && strcmp(e->name, item) != 0)
      e++;
    if (!e->name) {
      warning_here(OPT_Wattributes, "%qs attribute directive ignored", item);
      continue;
    }
    mask |= e->flag_mask;
    if (strcmp(e->name, "undefined") == 0)
      mask |= undefined_nondefault;
  }
  free(copy);
  return mask;
}

void parse_struct_debug_detail(option_values *opts, const char *text, location_t location)
{
  enum { usage_dfn, usage_dir, usage_ind, usage_all };
  static const char *const file_scopes[] = {"none", "base", "sys", "any"};
  const char *p = text;
  for (;;) {
    int usage = usage_all;
    if (strncmp(p, "dfn:", 4) == 0)
      usage = usage_dfn, p += 4;
    else if (strncmp(p, "dir:", 4) == 0)
      usage = usage_dir, p += 4;
    else if (strncmp(p, "ind:", 4) == 0)
      usage = usage_ind, p += 4;
    bool ordinary = true, generic = true;
    if (strncmp(p, "ord:", 4) == 0)
      generic = false, p += 4;
    else if (strncmp(p, "gen:", 4) == 0)
      ordinary = false, p += 4;
    int files = 3;
    unsigned scope = 0;
    while (scope < 4 && strncmp(p, file_scopes[scope], strlen(file_scopes[scope])) != 0)
      scope++;
    if (scope < 4) {
      files = static_cast<int>(scope);
      p += strlen(file_scopes[scope]);
    } else {
      error_at_loc(location, "argument %qs to %<-femit-struct-debug-detailed%> not recognized",
                   p);
    }
    for (int u = 0; u < usage_all; u++) {
      if (usage != usage_all && u != usage)
        continue;
      if (ordinary)
        opts->debug_struct_ordinary[u] = files;
      if (generic)
        opts->debug_struct_generic[u] = files;
    }
    if (*p != ',')
      break;
    p++;
  }
  if (*p)
    error_at_loc(location, "argument %qs to %<-femit-struct-debug-detailed%> unknown", p);
  if (opts->debug_struct_ordinary[usage_dir] < opts->debug_struct_ordinary[usage_ind] ||
      opts->debug_struct_generic[usage_dir] < opts->debug_struct_generic[usage_ind])
    error_at_loc(location, "%<-femit-struct-debug-detailed=dir:...%> must allow at least as much "
                           "as %<-femit-struct-debug-detailed=ind:...%>");
}

bool fast_math_in_effect(const option_values *opts)
{
  return !opts->var_ftrapping_math && opts->var_funsafe_math_optimizations &&
         opts->var_ffinite_math_only && !opts->var_fsigned_zeros && !opts->var_fmath_errno &&
         opts->var_fexcess_precision_eq == 1;
}

// Options that say nothing about the code produced, or that name files.
static bool left_out_of_record(size_t index)
{
  static const unsigned left_out[] = {
      OPT____,
      OPT__output_pch_eq,
      OPT__sysroot_eq,
      OPT_D,
      OPT_I,
      OPT_L,
      OPT_U,
      OPT_d,
      OPT_dumpbase,
      OPT_dumpbase_ext,
      OPT_dumpdir,
      OPT_fchecking,
      OPT_fchecking_eq,
      OPT_fcompare_debug,
      OPT_fdebug_prefix_map_eq,
      OPT_fdiagnostics_color_eq,
      OPT_fdiagnostics_format_eq,
      OPT_fdiagnostics_show_caret,
      OPT_fdiagnostics_show_labels,
      OPT_fdiagnostics_show_line_numbers,
      OPT_fdiagnostics_show_location_eq,
      OPT_fdiagnostics_show_option,
      OPT_ffile_prefix_map_eq,
      OPT_fltrans_output_list_eq,
      OPT_fmacro_prefix_map_eq,
      OPT_fpreprocessed,
      OPT_fprofile_prefix_map_eq,
      OPT_frecord_vuz_switches,
      OPT_fresolution_eq,
      OPT_fverbose_asm,
      OPT_grecord_vuz_switches,
      OPT_nostdlib,
      OPT_objects,
      OPT_p,
      OPT_pass_exit_codes,
      OPT_pedantic,
      OPT_pedantic_errors,
      OPT_pg,
      OPT_pie,
      OPT_pipe,
      OPT_posix,
      OPT_profile,
      OPT_pthread,
      OPT_v,
      OPT_version,
      OPT_w,
  };
  for (unsigned code : left_out)
    if (code == index)
      return true;
  return strncmp(option_rows[index].text, "-print-", 7) == 0;
}

// The text an option leaves in the record, or null when it leaves none.
static const char *recorded_text(const decoded_option *d)
{
  if (d->option_index >= option_count || left_out_of_record(d->option_index) ||
      (option_rows[d->option_index].flags & FLAG_NO_PRODUCER_RECORD))
    return nullptr;
  const char *written = d->as_written;
  if (d->option_index == OPT_flto_eq)
    return "-flto";
  if (strncmp(written, "-M", 2) == 0 || strncmp(written, "-W", 2) == 0 ||
      strncmp(written, "-i", 2) == 0 || strncmp(written, "-fdump", 6) == 0)
    return nullptr;
  return written;
}

char *recorded_switches_text(const decoded_option *decoded, unsigned count)
{
  size_t length = 0;
  for (unsigned i = 0; i < count; i++)
    if (const char *written = recorded_text(&decoded[i]))
      length += strlen(written) + 1;
  char *text = static_cast<char *>(checked_malloc(length + 1));
  char *end = text;
  for (unsigned i = 0; i < count; i++) {
    const char *written = recorded_text(&decoded[i]);
    if (!written)
      continue;
    if (end != text)
      *end++ = ' ';
    size_t n = strlen(written);
    memcpy(end, written, n);
    end += n;
  }
  *end = '\0';
  return text;
}

char *producer_text(const char *language, const decoded_option *decoded, unsigned count)
{
  char *switches = recorded_switches_text(decoded, count);
  char *text = concat_strings(language, " ", "12.4.0", " ", switches, nullptr);
  free(switches);
  return text;
}

bool next_comma_item(const char *&p, const char **item, size_t *length)
{
  while (*p == ',')
    p++;
  if (!*p)
    return false;
  *item = p;
  p += strcspn(p, ",");
  *length = static_cast<size_t>(p - *item);
  return true;
}
