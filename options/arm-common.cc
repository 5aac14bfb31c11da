// The ARM name parsers, the architecture canonicaliser and the ARM spec
// functions. The tables they read are in arm-arch-table.cc, arm-cpu-table.cc
// and arm-fpu-table.cc.
#include "options/arm-common.h"

#include "diagnostics/diagnostic.h"
#include "options/option-suggest.h"
#include "support/alloc.h"
#include "support/internal-abort.h"
#include "support/obstack.h"
#include "support/sbitmap.h"
#include "support/vec.h"

#include <cstdlib>
#include <cstring>

// Where consistency checks of this file say they failed.
static const char arm_common_source[] = "common/config/arm/arm-common";

// Results of the spec functions live on this obstack until the run ends: the
// spec interpreter may still be reading one result when a call nested in it
// asks the same function for the next. They are a few short names a run, so
// its chunks are small: a default chunk would spread the heap by a page.
enum { RESULT_CHUNK_BYTES = 512 };

static obstack *result_obstack()
{
  static obstack results;
  static bool ready;
  if (!ready) {
    obstack_init_malloc(&results, RESULT_CHUNK_BYTES);
    ready = true;
  }
  return &results;
}

static const char *keep_result(const char *text)
{
  return obstack_strdup(result_obstack(), text);
}

void isa_set_from_list(sbitmap *set, const unsigned char *list)
{
  bitmap_zero_words(set);
  for (; *list; list++)
    bitmap_set_bit(set, *list);
}

bool isa_list_has(const unsigned char *list, unsigned feature)
{
  for (; *list; list++)
    if (*list == feature)
      return true;
  return false;
}

// A feature set in place, laid out as bitmap_create lays out a heap set: the
// canonicaliser needs several per call, and a heap block each was most of
// its cost.
enum { ISA_SET_WORDS = (isa_bit_count + bitmap_word_bits - 1) / bitmap_word_bits };
struct isa_set {
  sbitmap map = {isa_bit_count, ISA_SET_WORDS};
  uint64_t words[ISA_SET_WORDS] = {};
};
static_assert(offsetof(isa_set, words) == sizeof(sbitmap), "the words follow the header");

static void isa_set_of(isa_set *set, const unsigned char *list)
{
  isa_set_from_list(&set->map, list);
}

static void isa_set_of(isa_set *set, isa_spec spec)
{
  set->words[0] = spec.low;
  set->words[1] = spec.high;
}

// Adds (or with REMOVE takes away) the features of LIST.
static void isa_apply(sbitmap *set, const unsigned char *list, bool remove)
{
  for (; *list; list++)
    if (remove)
      bitmap_clear_bit(set, *list);
    else
      bitmap_set_bit(set, *list);
}

// The length of the name part of an option value: up to the first '+'.
static size_t base_length(const char *name)
{
  const char *plus = strchr(name, '+');
  return plus ? size_t(plus - name) : strlen(name);
}

static bool base_equals(const char *name, size_t length, const char *candidate)
{
  // The first byte turns away nearly every row of a table walk.
  return (length == 0 || candidate[0] == name[0]) && strncmp(name, candidate, length) == 0 &&
         candidate[length] == '\0';
}

// The note that follows every unknown name: the valid ones and, when one is
// close enough, a suggestion.
static void inform_valid_names(const char *what, const char *target,
                               vec<const char *> *candidates)
{
  char *list;
  const char *hint = candidate_list_and_suggestion(target, &list, candidates);
  if (hint)
    inform_loc(input_location, "valid %s are: %s; did you mean %qs?", what, list, hint);
  else
    inform_loc(input_location, "valid %s are: %s", what, list);
  free(list);
  vec_release(candidates);
}

// Whether the name part of an option value names ROW (or an alias).
template <typename Named> static bool names_row(const char *name, size_t length, const Named *row)
{
  return row->name_length == length && memcmp(row->name, name, length) == 0;
}

const arm_arch *arm_parse_arch_name(const arm_arch *table, const char *optname,
                                    const char *name, bool complain)
{
  size_t length = base_length(name);
  for (const arm_arch *row = table; row->name; row++)
    if (names_row(name, length, row))
      return row;
  if (complain) {
    error_here("unrecognized %s target: %s", optname, name);
    vec<const char *> *candidates = nullptr;
    for (const arm_arch *row = table; row->name; row++)
      vec_safe_push(candidates, row->name);
    char *target = checked_strndup(name, length);
    inform_valid_names("arguments", target, candidates);
    free(target);
  }
  return nullptr;
}

const arm_cpu *arm_parse_cpu_name(const arm_cpu *table, const char *optname, const char *name,
                                  bool complain)
{
  size_t length = base_length(name);
  for (const arm_cpu *row = table; row->name; row++) {
    if (names_row(name, length, row))
      return row;
    if (row->aliases)
      for (const arm_cpu_alias *alias = row->aliases; alias->name; alias++)
        if (names_row(name, length, alias))
          return row;
  }
  if (complain) {
    error_here("unrecognized %s target: %s", optname, name);
    vec<const char *> *candidates = nullptr;
    for (const arm_cpu *row = table; row->name; row++) {
      vec_safe_push(candidates, row->name);
      if (row->aliases)
        for (const arm_cpu_alias *alias = row->aliases; alias->name; alias++)
          if (alias->visible)
            vec_safe_push(candidates, alias->name);
    }
    char *target = checked_strndup(name, length);
    inform_valid_names("arguments", target, candidates);
    free(target);
  }
  return nullptr;
}

const arm_fpu *arm_parse_fpu_name(const char *name)
{
  for (const arm_fpu *row = arm_fpu_table; row->name; row++)
    if (strcmp(row->name, name) == 0)
      return row;
  error_here("unrecognized %<-mfpu%> target: %s", name);
  vec<const char *> *candidates = nullptr;
  for (const arm_fpu *row = arm_fpu_table; row->name; row++)
    vec_safe_push(candidates, row->name);
  inform_valid_names("arguments", name, candidates);
  return nullptr;
}

static const arm_extension *find_extension(const arm_extension *table, const char *name,
                                           size_t length)
{
  for (const arm_extension *ext = table; ext->name; ext++)
    if (base_equals(name, length, ext->name))
      return ext;
  return nullptr;
}

void arm_parse_option_features(sbitmap *set, const arm_isa_named *row, const char *text)
{
  if (!text)
    return;
  vuz_assert_as(*text == '+', arm_common_source, "arm_parse_option_features");
  if (!row->extensions) {
    error_here("%s does not take any feature options", row->name);
    return;
  }
  while (*text == '+') {
    const char *item = text + 1;
    size_t length = base_length(item);
    text = item + length;
    const arm_extension *ext = find_extension(row->extensions, item, length);
    if (ext) {
      if (set)
        isa_apply(set, ext->features.items, ext->remove);
      continue;
    }
    char *unknown = checked_strndup(item, length);
    error_here("%qs does not support feature %qs", row->name, unknown);
    vec<const char *> *candidates = nullptr;
    for (const arm_extension *e = row->extensions; e->name; e++)
      vec_safe_push(candidates, e->name);
    inform_valid_names("feature names", unknown, candidates);
    free(unknown);
  }
}

// The features of ROW with the "+" features of the option text NAME.
static void option_features(isa_set *set, const arm_isa_named *row, const char *name)
{
  isa_set_of(set, row->features.items);
  arm_parse_option_features(&set->map, row, strchr(name, '+'));
}

// The canonicaliser's operands, pair by pair.
struct canon_operands {
  const char *arch = nullptr;
  const char *cpu = nullptr;
  const char *fpu = "auto";
  const char *abi = "hard";
};

static canon_operands read_canon_operands(int argc, const char **argv)
{
  if (argc % 2 != 0 || argc == 0)
    fatal_error(input_location, "%%:%<canon_for_mlib%> takes 1 or more pairs of parameters");
  canon_operands ops;
  for (int i = 0; i < argc; i += 2) {
    const char *key = argv[i], *value = argv[i + 1];
    if (strcmp(key, "arch") == 0)
      ops.arch = value;
    else if (strcmp(key, "cpu") == 0)
      ops.cpu = value;
    else if (strcmp(key, "fpu") == 0)
      ops.fpu = value;
    else if (strcmp(key, "abi") == 0)
      ops.abi = value;
    else
      fatal_error(input_location, "unrecognized operand to %%:%<canon_for_mlib%>");
  }
  if (!ops.arch && !ops.cpu)
    fatal_error(input_location, "%%:%<canon_for_mlib%> needs an %<arch%> or %<cpu%> parameter");
  return ops;
}

// The extension rows that canonical names may use.
static bool canon_usable(const arm_extension *ext)
{
  return !ext->remove && !ext->alias;
}

// Removes from T what an explicit FPU replaces: the processor's own FPU.
static void remove_cpu_fpu(sbitmap *t, const arm_cpu *cpu)
{
  bool removed = false;
  if (cpu->extensions)
    for (const arm_extension *ext = cpu->extensions; ext->name; ext++)
      if (ext->remove && isa_list_has(ext->features.items, isa_vfpv2)) {
        isa_apply(t, ext->features.items, true);
        removed = true;
      }
  if (!removed) {
    isa_list all = isa_list_of(isa_fpu::crypto_neon_fp_armv8);
    isa_apply(t, all.items, true);
  }
}

static const char *canon_from_features(const arm_arch *arch, const sbitmap *t,
                                       const sbitmap *fpu);

const char *arm_canon_arch_option_1(int argc, const char **argv, bool multilib)
{
  canon_operands ops = read_canon_operands(argc, argv);
  const arm_arch *arch;
  isa_set t, fpu_set;
  bool explicit_fpu = strcmp(ops.fpu, "auto") != 0;
  if (ops.arch) {
    arch = arm_parse_arch_name(arm_arch_table, "-march", ops.arch, !multilib);
    if (!arch)
      return "";
    option_features(&t, arch, ops.arch);
    if (multilib) {
      isa_set ignored;
      isa_set_of(&ignored, isa_multilib_ignored);
      bitmap_and_compl(&t.map, &t.map, &ignored.map);
    }
  } else {
    const arm_cpu *cpu = arm_parse_cpu_name(arm_cpu_table, "-mcpu", ops.cpu, !multilib);
    if (!cpu)
      return "";
    option_features(&t, cpu, ops.cpu);
    if (explicit_fpu)
      remove_cpu_fpu(&t.map, cpu);
    arch = cpu->arch;
  }
  if (explicit_fpu) {
    const arm_fpu *fpu = arm_parse_fpu_name(ops.fpu);
    if (!fpu)
      return "";
    isa_set_of(&fpu_set, fpu->features.items);
    bitmap_ior_words(&t.map, &t.map, &fpu_set.map);
  }
  if (strcmp(ops.abi, "soft") == 0)
    bitmap_clear_bit(&t.map, isa_vfpv2);
  return canon_from_features(arch, &t.map, &fpu_set.map);
}

// Steps 5 to 9 of canonicalisation: the shortest list of the architecture's
// extensions that covers the features T adds to it.
static const char *canon_from_features(const arm_arch *arch, const sbitmap *t,
                                       const sbitmap *fpu)
{
  isa_set base, extra_set;
  isa_set_of(&base, arch->features.items);
  sbitmap *extra = &extra_set.map;
  bitmap_and_compl(extra, t, &base.map);
  if (!arch->extensions || bitmap_empty(extra))
    return arch->name;

  // Every extension wholly inside the extra features, in table order; an
  // architecture has a few dozen at most, so the list is in the frame.
  uint32_t extension_count = 0;
  while (arch->extensions[extension_count].name)
    extension_count++;
  enum { FRAME_EXTENSIONS = 64 };
  const arm_extension *frame_chosen[FRAME_EXTENSIONS];
  bool frame_kept[FRAME_EXTENSIONS] = {};
  bool in_frame = extension_count < FRAME_EXTENSIONS;
  const arm_extension **chosen =
      in_frame ? frame_chosen : checked_new_array<const arm_extension *>(extension_count + 1);
  bool *kept = in_frame ? frame_kept : checked_new_cleared<bool>(extension_count + 1);
  uint32_t chosen_count = 0;
  isa_set uncovered_set = extra_set, ext_bits;
  sbitmap *uncovered = &uncovered_set.map, *ext_set = &ext_bits.map;
  for (const arm_extension *ext = arch->extensions; ext->name; ext++) {
    if (!canon_usable(ext))
      continue;
    isa_set_from_list(ext_set, ext->features.items);
    if (bitmap_subset(ext_set, extra)) {
      chosen[chosen_count++] = ext;
      bitmap_and_compl(uncovered, uncovered, ext_set);
    }
  }

  // An explicit FPU weaker than anything matched: take the first extension
  // that has all of it, keeping the list in table order.
  if (bitmap_bit_p(uncovered, isa_vfpv2) && bitmap_bit_p(fpu, isa_vfpv2)) {
    uint32_t at = 0;
    for (const arm_extension *ext = arch->extensions; ext->name; ext++) {
      if (!canon_usable(ext))
        continue;
      if (at < chosen_count && chosen[at] == ext) {
        at++;
        continue;
      }
      isa_set_from_list(ext_set, ext->features.items);
      if (bitmap_subset(fpu, ext_set)) {
        memmove(chosen + at + 1, chosen + at, (chosen_count - at) * sizeof *chosen);
        chosen[at] = ext;
        chosen_count++;
        break;
      }
    }
  }

  // Drop every candidate that a later one already covers.
  isa_set covered_set;
  sbitmap *covered = &covered_set.map;
  for (uint32_t i = chosen_count; i-- > 0;) {
    isa_set_from_list(ext_set, chosen[i]->features.items);
    if (!bitmap_subset(ext_set, covered)) {
      kept[i] = true;
      bitmap_ior_words(covered, covered, ext_set);
    }
  }

  obstack *results = result_obstack();
  obstack_append_text(results, arch->name);
  for (uint32_t i = 0; i < chosen_count; i++)
    if (kept[i]) {
      obstack_append_byte(results, '+');
      obstack_append_text(results, chosen[i]->name);
    }
  obstack_append_byte(results, '\0');
  const char *result = static_cast<const char *>(obstack_close_object(results));

  if (!in_frame) {
    free(kept);
    free(chosen);
  }
  return result;
}

const char *arm_canon_arch_spec(int argc, const char **argv)
{
  return arm_canon_arch_option_1(argc, argv, false);
}

const char *arm_canon_arch_multilib_spec(int argc, const char **argv)
{
  return arm_canon_arch_option_1(argc, argv, true);
}

const char *arm_target_mode_check_spec(int argc, const char **argv)
{
  if (argc % 2 != 0)
    fatal_error(input_location, "%%:%<target_mode_check%> takes an even number of parameters");
  const char *arch = nullptr, *cpu = nullptr;
  for (int i = 0; i < argc; i += 2) {
    if (strcmp(argv[i], "arch") == 0)
      arch = argv[i + 1];
    else if (strcmp(argv[i], "cpu") == 0)
      cpu = argv[i + 1];
    else
      fatal_error(input_location, "unrecognized option passed to %%:%<target_mode_check%>");
  }
  if (arch) {
    const arm_arch *row = arm_parse_arch_name(arm_arch_table, "-march", arch, false);
    if (!row)
      return "-marm";
    return isa_list_has(row->features.items, isa_notm) ? "-marm" : "-mthumb";
  }
  if (cpu) {
    const arm_cpu *row = arm_parse_cpu_name(arm_cpu_table, "-mcpu", cpu, false);
    if (row && !isa_list_has(row->features.items, isa_notm))
      return "-mthumb";
  }
  return "-marm";
}

const char *arm_be8_option(int argc, const char **argv)
{
  bool big = false, be8 = false;
  const char *arch = nullptr;
  for (int i = 0; i < argc; i++) {
    if (strcmp(argv[i], "little") == 0)
      big = false;
    else if (strcmp(argv[i], "big") == 0)
      big = true;
    else if (strcmp(argv[i], "be8") == 0)
      be8 = true;
    else if (strcmp(argv[i], "arch") == 0) {
      if (i + 1 == argc)
        fatal_error(input_location, "%%:%<be8_linkopt%> needs a value after %<arch%>");
      arch = argv[++i];
    } else
      fatal_error(input_location, "unrecognized operand %qs to %%:%<be8_linkopt%>", argv[i]);
  }
  if (!big)
    return "";
  if (be8)
    return "--be8";
  if (!arch)
    return "";
  const arm_arch *row = arm_parse_arch_name(arm_arch_table, "-march", arch, true);
  return row && isa_list_has(row->features.items, isa_be8) ? "--be8" : "";
}

const char *arm_asm_auto_mfpu(int argc, const char **argv)
{
  // The FPU named by the last architecture that had one; it carries over to
  // calls whose architecture has none.
  static const char *remembered = "softvfp";

  if (argc % 2 != 0)
    fatal_error(input_location, "%%:%<asm_auto_mfpu%> takes pairs of parameters");
  const char *arch_name = nullptr;
  for (int i = 0; i < argc; i += 2) {
    if (strcmp(argv[i], "arch") != 0)
      fatal_error(input_location, "unrecognized operand to %%:%<asm_auto_mfpu%>");
    arch_name = argv[i + 1];
  }
  if (!arch_name)
    fatal_error(input_location, "%%:%<asm_auto_mfpu%> needs an %<arch%> parameter");

  const arm_arch *arch = arm_parse_arch_name(arm_arch_table, "-march", arch_name, true);
  if (!arch)
    return "";
  isa_set set_bits, fpu_bits_set, fpu_part_set;
  sbitmap *set = &set_bits.map, *fpu_bits = &fpu_bits_set.map, *fpu_part = &fpu_part_set.map;
  option_features(&set_bits, arch, arch_name);
  isa_set_of(&fpu_bits_set, isa_fpu_bits);
  bitmap_and_words(fpu_part, set, fpu_bits);
  if (!bitmap_empty(fpu_part)) {
    const arm_fpu *match = nullptr;
    for (const arm_fpu *row = arm_fpu_table; row->name && !match; row++) {
      isa_set_from_list(fpu_bits, row->features.items);
      if (bitmap_equal(fpu_bits, fpu_part))
        match = row;
    }
    if (match)
      remembered = match->name;
    else
      vuz_assert_as(bitmap_bit_p(set, isa_mve), arm_common_source, "arm_asm_auto_mfpu");
  }
  obstack *results = result_obstack();
  obstack_append_text(results, "-mfpu=");
  obstack_append_text(results, remembered);
  obstack_append_byte(results, '\0');
  return static_cast<const char *>(obstack_close_object(results));
}

// The rewrites hand back their last operand; a copy, because the operands go
// away when the call returns.
static const char *last_operand(int argc, const char **argv, const char *function)
{
  if (argc < 1)
    fatal_error(input_location, "%%:%<%s%> takes one or more parameters", function);
  return keep_result(argv[argc - 1]);
}

const char *arm_rewrite_mcpu(int argc, const char **argv)
{
  return last_operand(argc, argv, "rewrite_mcpu");
}

const char *arm_rewrite_march(int argc, const char **argv)
{
  return last_operand(argc, argv, "rewrite_march");
}

bool option_name_less(const char *a, const char *b)
{
  return strcmp(a, b) < 0;
}

const char *arm_rewrite_selected_arch(const char *name)
{
  const char *plus = strchr(name, '+');
  if (!plus)
    return name;
  size_t length = size_t(plus - name);
  obstack *results = result_obstack();
  const arm_arch *arch = arm_parse_arch_name(arm_arch_table, "-march", name, true);
  vec<const char *> *kept = nullptr;
  if (arch && arch->extensions) {
    isa_set fpu_bits_set, ext_bits;
    sbitmap *fpu_bits = &fpu_bits_set.map, *ext_set = &ext_bits.map;
    isa_set_of(&fpu_bits_set, isa_fpu_bits);
    for (const char *item = plus; *item == '+';) {
      item++;
      size_t item_length = base_length(item);
      const arm_extension *ext = find_extension(arch->extensions, item, item_length);
      item += item_length;
      if (!ext)
        continue;
      vuz_assert_as(!ext->remove, arm_common_source, "arm_rewrite_selected_arch");
      isa_set_from_list(ext_set, ext->features.items);
      if (!bitmap_intersects(ext_set, fpu_bits))
        vec_safe_push(kept, ext->name);
    }
  }
  // A handful of names: insertion sort.
  for (uint32_t i = 1; i < vec_length(kept); i++)
    for (uint32_t j = i; j > 0 && option_name_less((*kept)[j], (*kept)[j - 1]); j--) {
      const char *swap = (*kept)[j];
      (*kept)[j] = (*kept)[j - 1];
      (*kept)[j - 1] = swap;
    }
  obstack_append(results, name, length);
  for (uint32_t i = 0; i < vec_length(kept); i++) {
    obstack_append_byte(results, '+');
    obstack_append_text(results, (*kept)[i]);
  }
  obstack_append_byte(results, '\0');
  vec_release(kept);
  return static_cast<const char *>(obstack_close_object(results));
}

const char *arm_base_name(const char *name)
{
  char buffer[21];
  size_t length = strnlen(name, sizeof buffer - 1);
  memcpy(buffer, name, length);
  buffer[length] = '\0';
  buffer[strcspn(buffer, ".+")] = '\0';
  return keep_result(buffer);
}
