// The entry points of the regular-expression engine: the POSIX interface, the
// lower-level interface with explicit syntax bits, and the one-pattern
// interface. Compiling and matching live in regex-compile.cc and regex-match.cc.
#include "support/regex-internal.h"

#include <climits>
#include <cstdlib>
#include <cstring>

uint64_t regex_default_syntax = 0;

namespace {

const char *const error_texts[] = {
    "Success",
    "No match",
    "Invalid regular expression",
    "Invalid collation character",
    "Invalid character class name",
    "Trailing backslash",
    "Invalid back reference",
    "Unmatched [ or [^",
    "Unmatched ( or \\(",
    "Unmatched \\{",
    "Invalid content of \\{\\}",
    "Invalid range end",
    "Memory exhausted",
    "Invalid preceding regular expression",
    "Premature end of regular expression",
    "Regular expression too big",
    "Unmatched ) or \\)",
};
constexpr unsigned error_count = sizeof error_texts / sizeof error_texts[0];

}  // namespace

int regex_posix_compile(regex_pattern *pattern, const char *text, int cflags)
{
  pattern->program = nullptr;
  pattern->allocated = 0;
  pattern->used = 0;
  pattern->translate = nullptr;
  pattern->flags = 0;
  pattern->fastmap = static_cast<unsigned char *>(malloc(256));
  if (!pattern->fastmap)
    return REG_ESPACE;
  if (cflags & REG_ICASE) {
    pattern->translate = static_cast<unsigned char *>(malloc(256));
    if (!pattern->translate) {
      free(pattern->fastmap);
      pattern->fastmap = nullptr;
      return REG_ESPACE;
    }
    for (unsigned c = 0; c < 256; c++)
      pattern->translate[c] =
          regex_locale_is_upper((unsigned char)c) ? regex_locale_to_lower((unsigned char)c)
                                                  : (unsigned char)c;
  }
  uint64_t syntax =
      (cflags & REG_EXTENDED) ? REGEX_SYNTAX_POSIX_EXTENDED : REGEX_SYNTAX_POSIX_BASIC;
  if (cflags & REG_NEWLINE) {
    syntax &= ~uint64_t(REGEX_SYN_DOT_NEWLINE);
    syntax |= REGEX_SYN_NEGATED_SET_NOT_NEWLINE;
    pattern->flags |= REGEX_FLAG_NEWLINE_ANCHOR;
  }
  if (cflags & REG_NOSUB)
    pattern->flags |= REGEX_FLAG_NO_SUB;
  int code = regex_compile_core(text, strlen(text), syntax, pattern);
  if (code == REG_ERPAREN)
    code = REG_EPAREN;
  if (code != REG_NOERROR) {
    regex_free(pattern);  // a failed compile leaves nothing for the caller to free
    return code;
  }
  if (regex_compile_fastmap(pattern) < 0) {
    free(pattern->fastmap);
    pattern->fastmap = nullptr;
  }
  return code;
}

int regex_posix_exec(const regex_pattern *pattern, const char *subject, size_t slot_count,
                     struct regex_match *slots, int eflags)
{
  size_t length = strlen(subject);
  if (length > size_t(INT_MAX))
    return REG_NOMATCH;  // offsets are 32-bit
  regex_pattern copy = *pattern;
  copy.flags &= uint8_t(~(REGEX_FLAG_NOT_BOL | REGEX_FLAG_NOT_EOL));
  if (eflags & REG_NOTBOL)
    copy.flags |= REGEX_FLAG_NOT_BOL;
  if (eflags & REG_NOTEOL)
    copy.flags |= REGEX_FLAG_NOT_EOL;
  regex_set_regs_mode(&copy, REGEX_REGS_FIXED);
  int size = int(length);
  if (slot_count == 0 || (pattern->flags & REGEX_FLAG_NO_SUB))
    return regex_search(&copy, subject, size, 0, size, nullptr) >= 0 ? REG_NOERROR : REG_NOMATCH;
  if (slot_count > UINT32_MAX)
    slot_count = UINT32_MAX;
  regex_registers regs;
  regs.count = uint32_t(slot_count);
  regs.start = static_cast<int32_t *>(malloc(slot_count * sizeof(int32_t)));
  regs.end = static_cast<int32_t *>(malloc(slot_count * sizeof(int32_t)));
  int result = REG_NOMATCH;
  if (regs.start && regs.end && regex_search(&copy, subject, size, 0, size, &regs) >= 0) {
    for (size_t i = 0; i < slot_count; i++) {
      slots[i].start = regs.start[i];
      slots[i].end = regs.end[i];
    }
    result = REG_NOERROR;
  }
  free(regs.start);
  free(regs.end);
  return result;
}

size_t regex_error_text(int code, const regex_pattern *, char *buffer, size_t size)
{
  if (unsigned(code) >= error_count)
    abort();  // only codes the engine returned may be passed
  const char *text = error_texts[code];
  size_t length = strlen(text) + 1;
  if (size != 0) {
    size_t copied = length <= size ? length - 1 : size - 1;
    memcpy(buffer, text, copied);
    buffer[copied] = '\0';
  }
  return length;
}

void regex_free(regex_pattern *pattern)
{
  free(pattern->program);
  pattern->program = nullptr;
  pattern->allocated = 0;
  pattern->used = 0;
  free(pattern->fastmap);
  pattern->fastmap = nullptr;
  pattern->flags &= uint8_t(~REGEX_FLAG_FASTMAP_ACCURATE);
  free(pattern->translate);
  pattern->translate = nullptr;
}

uint64_t regex_set_syntax(uint64_t syntax)
{
  uint64_t old = regex_default_syntax;
  regex_default_syntax = syntax;
  return old;
}

const char *regex_compile_pattern(const char *text, size_t length, regex_pattern *pattern)
{
  pattern->flags &= uint8_t(~(REGEX_FLAG_NO_SUB | REGEX_FLAG_REGS_MASK));
  pattern->flags |= REGEX_FLAG_NEWLINE_ANCHOR;
  int code = regex_compile_core(text, length, regex_default_syntax, pattern);
  return code == REG_NOERROR ? nullptr : error_texts[code];
}

void regex_set_registers(regex_pattern *pattern, regex_registers *regs, uint32_t count,
                         int32_t *starts, int32_t *ends)
{
  if (count > 0) {
    regex_set_regs_mode(pattern, REGEX_REGS_REALLOCATE);
    regs->count = count;
    regs->start = starts;
    regs->end = ends;
  } else {
    regex_set_regs_mode(pattern, REGEX_REGS_UNALLOCATED);
    regs->count = 0;
    regs->start = regs->end = nullptr;
  }
}

namespace {
regex_pattern bsd_pattern;
bool bsd_compiled;  // a failed compile leaves nothing to run
}  // namespace

const char *regex_bsd_compile(const char *text)
{
  if (!text)
    return bsd_compiled ? nullptr : "No previous regular expression";
  if (!bsd_pattern.program) {
    bsd_pattern.program = static_cast<unsigned char *>(malloc(200));
    bsd_pattern.allocated = bsd_pattern.program ? 200 : 0;
    if (!bsd_pattern.program)
      return error_texts[REG_ESPACE];
  }
  if (!bsd_pattern.fastmap) {
    bsd_pattern.fastmap = static_cast<unsigned char *>(malloc(256));
    if (!bsd_pattern.fastmap)
      return error_texts[REG_ESPACE];
  }
  bsd_pattern.flags |= REGEX_FLAG_NEWLINE_ANCHOR;
  int code = regex_compile_core(text, strlen(text), regex_default_syntax, &bsd_pattern);
  bsd_compiled = code == REG_NOERROR;
  return bsd_compiled ? nullptr : error_texts[code];
}

int regex_bsd_exec(const char *subject)
{
  size_t length = strlen(subject);
  if (length > size_t(INT_MAX) || !bsd_compiled)
    return 0;
  int size = int(length);
  return regex_search(&bsd_pattern, subject, size, 0, size, nullptr) >= 0;
}
