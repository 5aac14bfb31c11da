// POSIX regular expressions: the compiled-pattern record, the syntax bits, and
// the three interfaces that share one compiler and one backtracking matcher
// (POSIX, lower-level with explicit syntax bits, one process-wide pattern).
#ifndef VUZ_SUPPORT_REGEX_H
#define VUZ_SUPPORT_REGEX_H

#include <cstddef>
#include <cstdint>

// A compiled pattern, owned by the caller.
struct regex_pattern {
  unsigned char *program;     // byte code (heap) or null
  uint64_t allocated;         // size of the program buffer
  uint64_t used;              // length of the program
  uint64_t syntax;            // syntax bits it was compiled with
  unsigned char *fastmap;     // 256 entries or null: bytes that can begin a match
  unsigned char *translate;   // 256 entries or null: case map for pattern and subject
  uint64_t group_count;       // parenthesised groups
  uint8_t flags;              // REGEX_FLAG_*
};

enum : uint8_t {
  REGEX_FLAG_CAN_BE_NULL = 0x01,
  REGEX_FLAG_REGS_MASK = 0x06,  // register mode, REGEX_REGS_* shifted left by one
  REGEX_FLAG_FASTMAP_ACCURATE = 0x08,
  REGEX_FLAG_NO_SUB = 0x10,
  REGEX_FLAG_NOT_BOL = 0x20,
  REGEX_FLAG_NOT_EOL = 0x40,
  REGEX_FLAG_NEWLINE_ANCHOR = 0x80,  // '^' and '$' also match after and before a newline
};

enum : unsigned { REGEX_REGS_UNALLOCATED = 0, REGEX_REGS_REALLOCATE = 1, REGEX_REGS_FIXED = 2 };

inline unsigned regex_regs_mode(const regex_pattern *pattern)
{
  return (pattern->flags & REGEX_FLAG_REGS_MASK) >> 1;
}
inline void regex_set_regs_mode(regex_pattern *pattern, unsigned mode)
{
  pattern->flags = uint8_t((pattern->flags & ~REGEX_FLAG_REGS_MASK) | (mode << 1));
}

// Start and end offsets of a match or a group; -1 for a group that took no part.
// Where the function regex_match is visible, name the type `struct regex_match`.
struct regex_match {
  int32_t start;
  int32_t end;
};

// Register arrays of the lower-level interface: count entries in each array.
struct regex_registers {
  uint32_t count;
  int32_t *start;
  int32_t *end;
};

// Syntax bits.
enum : uint64_t {
  REGEX_SYN_BACKSLASH_IN_BRACKETS = 0x1,
  REGEX_SYN_BACKSLASHED_PLUS_QUESTION = 0x2,
  REGEX_SYN_CHAR_CLASSES = 0x4,
  REGEX_SYN_ANCHORS_ANYWHERE = 0x8,
  REGEX_SYN_REPEAT_ANYWHERE = 0x10,
  REGEX_SYN_REPEAT_NOTHING_IS_ERROR = 0x20,
  REGEX_SYN_DOT_NEWLINE = 0x40,
  REGEX_SYN_DOT_NOT_NUL = 0x80,
  REGEX_SYN_NEGATED_SET_NOT_NEWLINE = 0x100,
  REGEX_SYN_INTERVALS = 0x200,
  REGEX_SYN_BASIC_OPERATORS_ONLY = 0x400,
  REGEX_SYN_NEWLINE_ALTERNATION = 0x800,
  REGEX_SYN_PLAIN_BRACES = 0x1000,
  REGEX_SYN_PLAIN_PARENTHESES = 0x2000,
  REGEX_SYN_NO_BACK_REFERENCES = 0x4000,
  REGEX_SYN_PLAIN_BAR = 0x8000,
  REGEX_SYN_BACKWARD_RANGE_IS_ERROR = 0x10000,
  REGEX_SYN_UNMATCHED_CLOSE_IS_LITERAL = 0x20000,
  REGEX_SYN_FIRST_MATCH = 0x40000,
  REGEX_SYN_BAD_INTERVAL_IS_LITERAL = 0x200000,
};

enum : uint64_t {
  REGEX_SYNTAX_POSIX_EXTENDED = 0x3b2fc,
  REGEX_SYNTAX_POSIX_BASIC = 0x102c6,
};

// Error codes; regex_error_text gives their texts.
enum : int {
  REG_NOERROR = 0,
  REG_NOMATCH = 1,
  REG_BADPAT = 2,
  REG_ECOLLATE = 3,
  REG_ECTYPE = 4,
  REG_EESCAPE = 5,
  REG_ESUBREG = 6,
  REG_EBRACK = 7,
  REG_EPAREN = 8,
  REG_EBRACE = 9,
  REG_BADBR = 10,
  REG_ERANGE = 11,
  REG_ESPACE = 12,
  REG_BADRPT = 13,
  REG_EEND = 14,
  REG_ESIZE = 15,
  REG_ERPAREN = 16,
};

// Compile flags, then execution flags, of the POSIX interface.
enum : int { REG_EXTENDED = 1, REG_ICASE = 2, REG_NEWLINE = 4, REG_NOSUB = 8 };
enum : int { REG_NOTBOL = 1, REG_NOTEOL = 2 };

// POSIX interface.
int regex_posix_compile(regex_pattern *pattern, const char *text, int cflags);
int regex_posix_exec(const regex_pattern *pattern, const char *subject, size_t slot_count,
                     struct regex_match *slots, int eflags);
size_t regex_error_text(int code, const regex_pattern *pattern, char *buffer, size_t size);
void regex_free(regex_pattern *pattern);

// Lower-level interface.
extern uint64_t regex_default_syntax;
// Failure points a match may keep, in units of 19 stack items.
extern int regex_max_failures;

uint64_t regex_set_syntax(uint64_t syntax);
const char *regex_compile_pattern(const char *text, size_t length, regex_pattern *pattern);
void regex_set_registers(regex_pattern *pattern, regex_registers *regs, uint32_t count,
                         int32_t *starts, int32_t *ends);
int regex_compile_core(const char *text, size_t length, uint64_t syntax, regex_pattern *pattern);
int regex_compile_fastmap(regex_pattern *pattern);

// Searches return the start of the first match, -1 for none, -2 when the
// failure stack or an allocation gave out. The range is the number of further
// start positions to try (negative: backwards). Matching stops at offset stop.
int regex_search(regex_pattern *pattern, const char *subject, int size, int start, int range,
                 regex_registers *regs);
int regex_search_2(regex_pattern *pattern, const char *string1, int size1, const char *string2,
                   int size2, int start, int range, regex_registers *regs, int stop);
// One anchored attempt at pos: the match length, -1 or -2.
int regex_match(regex_pattern *pattern, const char *subject, int size, int pos,
                regex_registers *regs);
int regex_match_2(regex_pattern *pattern, const char *string1, int size1, const char *string2,
                  int size2, int pos, regex_registers *regs, int stop);

// One process-wide pattern.
const char *regex_bsd_compile(const char *text);
int regex_bsd_exec(const char *subject);

#endif
