// The regular-expression compiler: turns a pattern, read under a word of
// syntax bits, into the byte-code program that regex-match.cc executes.
#include "support/regex-internal.h"

#include <cstdlib>
#include <cstring>

namespace {

// An open group on the compile stack, with the state of the level around it.
struct open_group {
  uint64_t begalt;       // where the enclosing level's current alternative began
  int64_t pending_alt;   // the enclosing level's unpatched alternation jumps
  uint64_t group_op;     // position of this group's start instruction
  uint64_t number;
  bool alt_nullable;     // the enclosing level's emptiness state
  bool last_nullable;
  bool group_nullable;
};

constexpr unsigned unbounded = UINT32_MAX;

// The last item when it is a repetition: where its repeated part x lies
// inside it and how often x may occur.
struct repetition {
  int64_t start;       // the item's position, or -1 when the last item is none
  unsigned x_offset;   // x begins this far into the item
  unsigned tail;       // and ends this far before the item's end
  unsigned low;
  unsigned high;       // or unbounded
  bool x_nullable;
};

constexpr size_t initial_compile_stack = 32;
constexpr unsigned max_literal_run = 255;
constexpr unsigned max_repeat = 0x7fff;

struct compiler {
  const unsigned char *p;
  const unsigned char *pend;
  uint64_t syntax;
  regex_pattern *pattern;
  const unsigned char *translate;
  unsigned char *buf;
  uint64_t used;
  uint64_t allocated;
  open_group *stack;
  size_t depth;
  size_t stack_size;
  int error;
  int64_t laststart;      // start of the item a repetition applies to, or -1
  int64_t pending_exact;  // literal instruction that may still grow, or -1
  bool deleted_item;      // the last item was repeated zero times and removed
  uint64_t begalt;        // start of the current alternative
  int64_t pending_alt;    // last jump past alternatives awaiting its target, or -1
  bool at_alt_start;      // at the start of the pattern, a group or an alternative
  // Whether text can be empty, known for sure (a back-reference counts as
  // non-empty): all items of the current alternative before the last one; the
  // last item; an earlier alternative of this level.
  bool alt_nullable;
  bool last_nullable;
  bool group_nullable;
  repetition last_repetition;
};

bool has(const compiler &c, uint64_t bits) { return (c.syntax & bits) != 0; }

// '+' and '?' as operators: plain, or after a backslash.
bool plain_plus_question(const compiler &c)
{
  return !has(c, REGEX_SYN_BACKSLASHED_PLUS_QUESTION | REGEX_SYN_BASIC_OPERATORS_ONLY);
}
bool slashed_plus_question(const compiler &c)
{
  return has(c, REGEX_SYN_BACKSLASHED_PLUS_QUESTION) && !has(c, REGEX_SYN_BASIC_OPERATORS_ONLY);
}

unsigned char translated(const compiler &c, unsigned char byte)
{
  return c.translate ? c.translate[byte] : byte;
}

// Room for n more bytes: the buffer doubles and may not reach 64 KiB.
bool reserve(compiler &c, uint64_t n)
{
  if (c.error)
    return false;
  if (c.used + n >= RX_PROGRAM_LIMIT) {
    c.error = REG_ESIZE;
    return false;
  }
  while (c.used + n > c.allocated) {
    uint64_t size = c.allocated * 2;
    if (size >= RX_PROGRAM_LIMIT) {
      c.error = REG_ESIZE;
      return false;
    }
    unsigned char *grown = static_cast<unsigned char *>(realloc(c.buf, size));
    if (!grown) {
      c.error = REG_ESPACE;
      return false;
    }
    c.buf = c.pattern->program = grown;
    c.allocated = c.pattern->allocated = size;
  }
  return true;
}

void emit(compiler &c, unsigned char byte)
{
  if (reserve(c, 1))
    c.buf[c.used++] = byte;
}

// Opens a gap of n bytes at pos, moving what follows.
bool insert_gap(compiler &c, uint64_t pos, uint64_t n)
{
  if (!reserve(c, n))
    return false;
  memmove(c.buf + pos + n, c.buf + pos, c.used - pos);
  c.used += n;
  return true;
}

// Writes an instruction of `size` bytes at `at` whose offset reaches
// `target`, and its number if it has one. An offset beyond 16 bits makes the
// pattern too big rather than a jump to the wrong place.
void store_offset(compiler &c, uint64_t at, regex_opcode op, uint64_t target, unsigned size,
                  unsigned number = 0)
{
  if (c.error)
    return;
  int64_t offset = int64_t(target) - int64_t(at + size);
  if (offset < INT16_MIN || offset > INT16_MAX) {
    c.error = REG_ESIZE;
    return;
  }
  c.buf[at] = op;
  rx_put16(c.buf + at + 1, unsigned(offset));
  if (size == RX_COUNTED_SIZE)
    rx_put16(c.buf + at + 3, number);
}

void store_jump(compiler &c, uint64_t at, regex_opcode op, uint64_t target)
{
  store_offset(c, at, op, target, RX_JUMP_SIZE);
}

void store_counted(compiler &c, uint64_t at, regex_opcode op, uint64_t target, unsigned number)
{
  store_offset(c, at, op, target, RX_COUNTED_SIZE, number);
}

void append_jump(compiler &c, regex_opcode op, uint64_t target)
{
  uint64_t at = c.used;
  if (!reserve(c, RX_JUMP_SIZE))
    return;
  c.used += RX_JUMP_SIZE;
  store_jump(c, at, op, target);
}

// A new item begins: nothing before it can be extended or deleted any more.
// A level (the pattern, a group, an alternative) starts with an item that is
// not repeatable and matches nothing.
void start_item(compiler &c, bool repeatable, bool nullable)
{
  c.laststart = repeatable ? int64_t(c.used) : -1;
  c.pending_exact = -1;
  c.deleted_item = false;
  c.at_alt_start = false;
  c.alt_nullable &= c.last_nullable;
  c.last_nullable = nullable;
  c.last_repetition.start = -1;
}

// Tests of the context (anchors, word boundaries) consume nothing but may
// fail, so they do not count as matching nothing everywhere.
void emit_simple(compiler &c, regex_opcode op, bool repeatable)
{
  start_item(c, repeatable, false);
  emit(c, op);
}

// Is the text at q a repetition operator (or '^'), so that the byte before it
// must stand alone in its literal instruction?
bool repetition_follows(const compiler &c, const unsigned char *q)
{
  if (q == c.pend)
    return false;
  bool plain_ops = plain_plus_question(c);
  bool slashed_ops = slashed_plus_question(c);
  bool slash = *q == '\\' && q + 1 < c.pend;
  if (*q == '*' || *q == '^')
    return true;
  if (plain_ops && (*q == '+' || *q == '?'))
    return true;
  if (slashed_ops && slash && (q[1] == '+' || q[1] == '?'))
    return true;
  if (has(c, REGEX_SYN_INTERVALS)) {
    if (has(c, REGEX_SYN_PLAIN_BRACES))
      return *q == '{';
    return slash && q[1] == '{';
  }
  return false;
}

void emit_literal(compiler &c, unsigned char byte)
{
  byte = translated(c, byte);
  bool alone = repetition_follows(c, c.p);
  if (c.pending_exact >= 0 && !alone) {
    uint64_t count_at = uint64_t(c.pending_exact) + 1;
    unsigned count = c.buf[count_at];
    if (count < max_literal_run && count_at + 1 + count == c.used) {
      if (reserve(c, 1)) {
        c.buf[c.used++] = byte;
        c.buf[count_at] = (unsigned char)(count + 1);
      }
      return;
    }
  }
  start_item(c, true, false);
  c.pending_exact = int64_t(c.used);
  if (reserve(c, 3)) {
    c.buf[c.used++] = RX_EXACT;
    c.buf[c.used++] = 1;
    c.buf[c.used++] = byte;
  }
}

bool is_close_group(const compiler &c, const unsigned char *q)
{
  if (has(c, REGEX_SYN_PLAIN_PARENTHESES))
    return q < c.pend && *q == ')';
  return q + 1 < c.pend && q[0] == '\\' && q[1] == ')';
}

bool is_alternation(const compiler &c, const unsigned char *q)
{
  if (q == c.pend)
    return false;
  if (*q == '\n' && has(c, REGEX_SYN_NEWLINE_ALTERNATION))
    return true;
  if (has(c, REGEX_SYN_BASIC_OPERATORS_ONLY))
    return false;
  if (has(c, REGEX_SYN_PLAIN_BAR))
    return *q == '|';
  return q + 1 < c.pend && q[0] == '\\' && q[1] == '|';
}

// Reads a decimal bound, saturating above the largest allowed value.
bool read_bound(compiler &c, unsigned *value)
{
  if (c.p == c.pend || *c.p < '0' || *c.p > '9')
    return false;
  unsigned n = 0;
  while (c.p < c.pend && *c.p >= '0' && *c.p <= '9') {
    n = n * 10 + unsigned(*c.p++ - '0');
    if (n > max_repeat + 1)
      n = max_repeat + 1;
  }
  *value = n;
  return true;
}

// Emits x{low,high}, x being the item at laststart, with counted instructions:
//   set-number A=low; set-number B=high-low
//   L0:    succeed-n Lopt, A;  jump Lbody
//   Lopt:  jump-n Ltry, B;     jump Lend
//   Ltry:  on-failure-jump Lend
//   Lbody: x; jump L0
//   Lend:
constexpr unsigned interval_prologue = 29;  // from set-number A to Lbody

void emit_interval(compiler &c, uint64_t start, unsigned low, unsigned high)
{
  const uint64_t set_a = start, set_b = start + 5, l0 = start + 10, lopt = start + 18;
  const uint64_t ltry = start + 26, lbody = start + interval_prologue;
  if (!insert_gap(c, start, lbody - start))
    return;
  append_jump(c, RX_JUMP, l0);
  uint64_t lend = c.used;
  store_counted(c, l0, RX_SUCCEED_N, lopt, low);
  store_jump(c, l0 + RX_COUNTED_SIZE, RX_JUMP, lbody);
  store_counted(c, lopt, RX_JUMP_N, ltry, high - low);
  store_jump(c, lopt + RX_COUNTED_SIZE, RX_JUMP, lend);
  store_jump(c, ltry, RX_ON_FAILURE_JUMP, lend);
  store_counted(c, set_a, RX_SET_NUMBER, l0 + 3, low);
  store_counted(c, set_b, RX_SET_NUMBER, lopt + 3, high - low);
}

// Repeats the item at laststart low to high times. A repetition that can
// match nothing, repeated again, becomes one repetition of its own part:
// (x{0,b}){m,n} and, for x that can be empty, (x{a,b}){m,n} match what
// x{0,b*n} does, without a loop whose every round may match nothing.
void apply_repetition(compiler &c, unsigned low, unsigned high)
{
  uint64_t start = uint64_t(c.laststart);
  c.pending_exact = -1;
  bool x_nullable = c.last_nullable;
  repetition &last = c.last_repetition;
  if (last.start == c.laststart && high > 0) {
    x_nullable = false;
    if (c.last_nullable) {
      uint64_t length = c.used - last.tail - (start + last.x_offset);
      memmove(c.buf + start, c.buf + start + last.x_offset, length);
      c.used = start + length;
      uint64_t product = uint64_t(last.high) * high;
      high = last.high == unbounded || high == unbounded || product > max_repeat
                 ? unbounded
                 : unsigned(product);
      low = 0;
      x_nullable = last.x_nullable;
    }
  }
  if (high == 0) {
    c.used = start;
    c.laststart = -1;
    c.deleted_item = true;
    c.last_nullable = true;
    c.last_repetition.start = -1;
    return;
  }
  if (low == 1 && high == 1)
    return;
  unsigned x_offset, tail = RX_JUMP_SIZE;
  if (low == 0 && high == unbounded) {
    // L0: on-failure-jump L2; x; jump L0; L2:
    x_offset = RX_JUMP_SIZE;
    if (!insert_gap(c, start, x_offset))
      return;
    append_jump(c, RX_JUMP, start);
    store_jump(c, start, RX_ON_FAILURE_JUMP, c.used);
  } else if (low == 1 && high == unbounded) {
    // jump L1; L0: on-failure-jump L2; L1: x; jump L0; L2:
    x_offset = 2 * RX_JUMP_SIZE;
    if (!insert_gap(c, start, x_offset))
      return;
    append_jump(c, RX_JUMP, start + RX_JUMP_SIZE);
    store_jump(c, start, RX_JUMP, start + x_offset);
    store_jump(c, start + RX_JUMP_SIZE, RX_ON_FAILURE_JUMP, c.used);
  } else if (low == 0 && high == 1) {
    x_offset = RX_JUMP_SIZE;
    tail = 0;
    if (!insert_gap(c, start, x_offset))
      return;
    store_jump(c, start, RX_ON_FAILURE_JUMP, c.used);
  } else {
    x_offset = interval_prologue;
    emit_interval(c, start, low, high == unbounded ? max_repeat : high);
  }
  last = repetition{int64_t(start), x_offset, tail, low, high, x_nullable};
  c.last_nullable = low == 0 || x_nullable;
}

// The operator (first of *, + and ?) has just been read. A run of such
// operators combines into one repetition of the last item.
void compile_repetition(compiler &c, unsigned char op)
{
  if (c.laststart < 0) {
    if (c.deleted_item)
      return;
    if (has(c, REGEX_SYN_REPEAT_NOTHING_IS_ERROR))
      c.error = REG_BADRPT;
    else if (!has(c, REGEX_SYN_REPEAT_ANYWHERE))
      emit_literal(c, op);
    return;
  }
  bool zero_ok = op != '+';
  bool many = op != '?';
  bool plain_ops = plain_plus_question(c);
  bool slashed_ops = slashed_plus_question(c);
  for (;;) {
    unsigned char next;
    if (c.p < c.pend && (*c.p == '*' || (plain_ops && (*c.p == '+' || *c.p == '?')))) {
      next = *c.p++;
    } else if (slashed_ops && c.p + 1 < c.pend && c.p[0] == '\\' &&
               (c.p[1] == '+' || c.p[1] == '?')) {
      next = c.p[1];
      c.p += 2;
    } else {
      break;
    }
    zero_ok |= next != '+';
    many |= next != '?';
  }
  apply_repetition(c, zero_ok ? 0 : 1, many ? unbounded : 1);
}

// The opening brace (at brace, c.p just after it) of an interval.
void compile_interval(compiler &c, const unsigned char *brace)
{
  if (c.laststart < 0 && !c.deleted_item && !has(c, REGEX_SYN_REPEAT_NOTHING_IS_ERROR) &&
      !has(c, REGEX_SYN_REPEAT_ANYWHERE)) {
    emit_literal(c, '{');
    return;
  }
  // The pattern may end inside the interval (error 9) or hold something
  // that is not one (error 10).
  unsigned low = 0, high = 0;
  bool ok = false, at_end = false;
  bool plain = has(c, REGEX_SYN_PLAIN_BRACES);
  if (!read_bound(c, &low)) {
    at_end = c.p == c.pend;
  } else {
    high = low;
    if (c.p < c.pend && *c.p == ',') {
      c.p++;
      if (!read_bound(c, &high))
        high = max_repeat;
    }
    if (c.p == c.pend || (!plain && c.p + 1 == c.pend && *c.p == '\\')) {
      at_end = true;
    } else if (plain ? *c.p == '}' : c.p[0] == '\\' && c.p[1] == '}') {
      ok = true;
      c.p += plain ? 1 : 2;
    }
  }
  if (ok && high > max_repeat) {
    c.error = REG_BADBR;
    return;
  }
  if (!ok || low > high) {
    if (has(c, REGEX_SYN_BAD_INTERVAL_IS_LITERAL)) {
      c.p = brace + (plain ? 1 : 2);
      emit_literal(c, '{');
    } else {
      c.error = at_end ? REG_EBRACE : REG_BADBR;
    }
    return;
  }
  if (c.laststart < 0) {
    if (has(c, REGEX_SYN_REPEAT_NOTHING_IS_ERROR) && !c.deleted_item)
      c.error = REG_BADRPT;
    return;
  }
  apply_repetition(c, low, high);
}

void set_bit(unsigned char *bits, unsigned char byte) { bits[byte / 8] |= 1u << (byte % 8); }

// A single character between '[.' and '.]' or '[=' and '=]'; c.p is just after
// the opening '[' and its delimiter. Returns -1 on an error (set in c).
int read_bracket_symbol(compiler &c, unsigned char delimiter)
{
  const unsigned char *name = c.p;
  while (c.p + 1 < c.pend && !(c.p[0] == delimiter && c.p[1] == ']'))
    c.p++;
  if (c.p + 1 >= c.pend) {
    c.error = REG_EEND;
    return -1;
  }
  size_t length = size_t(c.p - name);
  c.p += 2;
  if (delimiter == ':') {
    int index = regex_locale_class_index(reinterpret_cast<const char *>(name), length);
    if (index < 0)
      c.error = REG_ECTYPE;
    return index;
  }
  if (length != 1) {
    c.error = REG_ECOLLATE;
    return -1;
  }
  return name[0];
}

bool opens_symbol(const compiler &c, unsigned char byte)
{
  if (byte != '[' || c.p == c.pend)
    return false;
  if (*c.p == ':')
    return has(c, REGEX_SYN_CHAR_CLASSES);
  return *c.p == '=' || *c.p == '.';
}

// One element of a bracket expression that can end a range. Returns the byte,
// or -1 on an error.
int read_range_end(compiler &c)
{
  if (c.p == c.pend) {
    c.error = REG_EEND;
    return -1;
  }
  unsigned char byte = *c.p++;
  if (byte == '\\' && has(c, REGEX_SYN_BACKSLASH_IN_BRACKETS)) {
    if (c.p == c.pend) {
      c.error = REG_EEND;
      return -1;
    }
    return *c.p++;
  }
  if (byte == '[' && c.p < c.pend && (*c.p == '.' || *c.p == '=')) {
    unsigned char delimiter = *c.p++;
    return read_bracket_symbol(c, delimiter);
  }
  return byte;
}

// A bracket expression; c.p is just after the '['.
void compile_bracket(compiler &c)
{
  unsigned char bits[32] = {};
  if (c.p == c.pend) {
    c.error = REG_EBRACK;
    return;
  }
  bool negated = *c.p == '^';
  c.p += negated;
  for (bool first = true;; first = false) {
    if (c.p == c.pend) {
      c.error = REG_EBRACK;
      return;
    }
    unsigned char byte = *c.p++;
    if (byte == ']' && !first)
      break;
    int low = byte;
    if (byte == '\\' && has(c, REGEX_SYN_BACKSLASH_IN_BRACKETS)) {
      if (c.p == c.pend) {
        c.error = REG_EEND;
        return;
      }
      low = *c.p++;
    } else if (opens_symbol(c, byte)) {
      unsigned char delimiter = *c.p++;
      low = read_bracket_symbol(c, delimiter);
      if (low < 0)
        return;
      if (delimiter == ':') {
        for (unsigned b = 0; b < 256; b++)
          if (regex_locale_in_class(low, (unsigned char)b))
            set_bit(bits, translated(c, (unsigned char)b));
        continue;
      }
    }
    if (c.p < c.pend && *c.p == '-' && (c.p + 1 == c.pend || c.p[1] != ']')) {
      c.p++;
      int high = read_range_end(c);
      if (high < 0)
        return;
      if (low > high && has(c, REGEX_SYN_BACKWARD_RANGE_IS_ERROR)) {
        c.error = REG_ERANGE;
        return;
      }
      for (int b = low; b <= high; b++)
        set_bit(bits, translated(c, (unsigned char)b));
      continue;
    }
    set_bit(bits, translated(c, (unsigned char)low));
  }
  if (negated && has(c, REGEX_SYN_NEGATED_SET_NOT_NEWLINE))
    set_bit(bits, '\n');
  unsigned count = 32;
  while (count > 0 && bits[count - 1] == 0)
    count--;
  start_item(c, true, false);
  if (reserve(c, 2 + count)) {
    c.buf[c.used++] = negated ? RX_NOT_SET : RX_SET;
    c.buf[c.used++] = (unsigned char)count;
    memcpy(c.buf + c.used, bits, count);
    c.used += count;
  }
}

// Points the chain of jumps past alternatives, linked through their offset
// fields, at target.
void patch_alternatives(compiler &c, uint64_t target)
{
  int64_t at = c.pending_alt;
  while (at >= 0 && !c.error) {
    int64_t next = int64_t(rx_getu16(c.buf + at + 1)) - 1;
    store_jump(c, uint64_t(at), RX_JUMP_PAST_ALT, target);
    at = next;
  }
  c.pending_alt = -1;
}

void compile_alternation(compiler &c)
{
  if (!insert_gap(c, c.begalt, RX_JUMP_SIZE))
    return;
  uint64_t jump = c.used;
  if (!reserve(c, RX_JUMP_SIZE))
    return;
  c.buf[jump] = RX_JUMP_PAST_ALT;
  rx_put16(c.buf + jump + 1, unsigned(c.pending_alt + 1));
  c.used += RX_JUMP_SIZE;
  c.pending_alt = int64_t(jump);
  store_jump(c, c.begalt, RX_ON_FAILURE_JUMP, c.used);
  c.begalt = c.used;
  c.group_nullable |= c.alt_nullable && c.last_nullable;
  c.alt_nullable = c.last_nullable = true;
  start_item(c, false, true);
  c.at_alt_start = true;
}

void open_group_at(compiler &c)
{
  if (c.depth == c.stack_size) {
    size_t size = c.stack_size * 2;
    void *grown = realloc(c.stack, size * sizeof(open_group));
    if (!grown) {
      c.error = REG_ESPACE;
      return;
    }
    c.stack = static_cast<open_group *>(grown);
    c.stack_size = size;
  }
  uint64_t number = ++c.pattern->group_count;
  if (number > 0xffff) {
    c.error = REG_ESIZE;
    return;
  }
  start_item(c, false, true);
  c.stack[c.depth++] = open_group{c.begalt,        c.pending_alt,   c.used,          number,
                                  c.alt_nullable, c.last_nullable, c.group_nullable};
  c.alt_nullable = c.last_nullable = true;
  c.group_nullable = false;
  if (!reserve(c, RX_GROUP_SIZE))
    return;
  c.buf[c.used] = RX_START_GROUP;
  rx_put16(c.buf + c.used + 1, unsigned(number));
  rx_put16(c.buf + c.used + 3, 0);
  c.used += RX_GROUP_SIZE;
  c.begalt = c.used;
  c.pending_alt = -1;
  c.at_alt_start = true;
}

void close_group(compiler &c)
{
  if (c.depth == 0) {
    if (has(c, REGEX_SYN_UNMATCHED_CLOSE_IS_LITERAL))
      emit_literal(c, ')');
    else
      c.error = REG_ERPAREN;
    return;
  }
  patch_alternatives(c, c.used);
  open_group group = c.stack[--c.depth];
  unsigned nested = unsigned(c.pattern->group_count - group.number);
  if (!reserve(c, RX_GROUP_SIZE))
    return;
  c.buf[c.used] = RX_END_GROUP;
  rx_put16(c.buf + c.used + 1, unsigned(group.number));
  rx_put16(c.buf + c.used + 3, nested);
  c.used += RX_GROUP_SIZE;
  rx_put16(c.buf + group.group_op + 3, nested);
  c.begalt = group.begalt;
  c.pending_alt = group.pending_alt;
  bool nullable = c.group_nullable || (c.alt_nullable && c.last_nullable);
  c.alt_nullable = group.alt_nullable;
  c.last_nullable = group.last_nullable;
  c.group_nullable = group.group_nullable;
  start_item(c, true, nullable);
  c.laststart = int64_t(group.group_op);
}

void compile_back_reference(compiler &c, unsigned char digit)
{
  uint64_t number = digit - '0';
  if (number > c.pattern->group_count) {
    c.error = REG_ESUBREG;
    return;
  }
  for (size_t i = 0; i < c.depth; i++)
    if (c.stack[i].number == number) {
      emit_literal(c, digit);
      return;
    }
  start_item(c, true, false);
  if (reserve(c, 2)) {
    c.buf[c.used++] = RX_BACKREF;
    c.buf[c.used++] = (unsigned char)number;
  }
}

// The byte after a backslash (c.p is just after it).
void compile_escape(compiler &c, unsigned char byte)
{
  bool basic_only = has(c, REGEX_SYN_BASIC_OPERATORS_ONLY);
  switch (byte) {
  case '(':
    return has(c, REGEX_SYN_PLAIN_PARENTHESES) ? emit_literal(c, byte) : open_group_at(c);
  case ')':
    return has(c, REGEX_SYN_PLAIN_PARENTHESES) ? emit_literal(c, byte) : close_group(c);
  case '{':
    if (has(c, REGEX_SYN_INTERVALS) && !has(c, REGEX_SYN_PLAIN_BRACES))
      return compile_interval(c, c.p - 2);
    return emit_literal(c, byte);
  case '|':
    if (!has(c, REGEX_SYN_PLAIN_BAR) && !basic_only)
      return compile_alternation(c);
    return emit_literal(c, byte);
  case '+':
  case '?':
    if (slashed_plus_question(c))
      return compile_repetition(c, byte);
    return emit_literal(c, byte);
  case 'w':
    return emit_simple(c, RX_WORDCHAR, true);
  case 'W':
    return emit_simple(c, RX_NOT_WORDCHAR, true);
  case '<':
    return emit_simple(c, RX_WORD_START, false);
  case '>':
    return emit_simple(c, RX_WORD_END, false);
  case 'b':
    return emit_simple(c, RX_WORD_BOUND, false);
  case 'B':
    return emit_simple(c, RX_NOT_WORD_BOUND, false);
  case '`':
    return emit_simple(c, RX_BEGBUF, false);
  case '\'':
    return emit_simple(c, RX_ENDBUF, false);
  default:
    if (byte >= '1' && byte <= '9' && !has(c, REGEX_SYN_NO_BACK_REFERENCES))
      return compile_back_reference(c, byte);
    return emit_literal(c, byte);
  }
}

void compile_byte(compiler &c, unsigned char byte)
{
  switch (byte) {
  case '^':
    if (has(c, REGEX_SYN_ANCHORS_ANYWHERE) || c.at_alt_start)
      return emit_simple(c, RX_BEGLINE, false);
    return emit_literal(c, byte);
  case '$':
    if (has(c, REGEX_SYN_ANCHORS_ANYWHERE) || c.p == c.pend || is_close_group(c, c.p) ||
        is_alternation(c, c.p))
      return emit_simple(c, RX_ENDLINE, false);
    return emit_literal(c, byte);
  case '.':
    return emit_simple(c, RX_ANY, true);
  case '*':
    return compile_repetition(c, byte);
  case '+':
  case '?':
    return plain_plus_question(c) ? compile_repetition(c, byte) : emit_literal(c, byte);
  case '[':
    return compile_bracket(c);
  case '(':
    return has(c, REGEX_SYN_PLAIN_PARENTHESES) ? open_group_at(c) : emit_literal(c, byte);
  case ')':
    return has(c, REGEX_SYN_PLAIN_PARENTHESES) ? close_group(c) : emit_literal(c, byte);
  case '{':
    if (has(c, REGEX_SYN_INTERVALS) && has(c, REGEX_SYN_PLAIN_BRACES))
      return compile_interval(c, c.p - 1);
    return emit_literal(c, byte);
  case '\\':
    if (c.p == c.pend) {
      c.error = REG_EESCAPE;
      return;
    }
    return compile_escape(c, *c.p++);
  default:
    if (is_alternation(c, c.p - 1))
      return compile_alternation(c);
    return emit_literal(c, byte);
  }
}

}  // namespace

int regex_compile_core(const char *text, size_t length, uint64_t syntax, regex_pattern *pattern)
{
  compiler c = {};
  c.stack = static_cast<open_group *>(malloc(initial_compile_stack * sizeof(open_group)));
  if (!c.stack)
    return REG_ESPACE;
  c.stack_size = initial_compile_stack;
  c.p = reinterpret_cast<const unsigned char *>(text);
  c.pend = c.p + length;
  c.syntax = pattern->syntax = syntax;
  c.pattern = pattern;
  c.translate = pattern->translate;
  pattern->flags &= uint8_t(~(REGEX_FLAG_FASTMAP_ACCURATE | REGEX_FLAG_NOT_BOL |
                              REGEX_FLAG_NOT_EOL));
  pattern->group_count = 0;
  pattern->used = 0;
  regex_fill_word_syntax_table();

  if (!pattern->program || pattern->allocated == 0) {
    free(pattern->program);
    pattern->program = static_cast<unsigned char *>(malloc(32));
    pattern->allocated = pattern->program ? 32 : 0;
    if (!pattern->program) {
      free(c.stack);
      return REG_ESPACE;
    }
  }
  c.buf = pattern->program;
  c.allocated = pattern->allocated;
  c.laststart = c.pending_exact = c.pending_alt = c.last_repetition.start = -1;
  c.at_alt_start = c.alt_nullable = c.last_nullable = true;

  while (c.p < c.pend && !c.error)
    compile_byte(c, *c.p++);
  if (!c.error && c.depth > 0)
    c.error = REG_EPAREN;
  if (!c.error)
    patch_alternatives(c, c.used);
  if (!c.error && has(c, REGEX_SYN_FIRST_MATCH))
    emit(c, RX_SUCCEED);
  free(c.stack);
  if (c.error)
    return c.error;
  pattern->used = c.used;
  return REG_NOERROR;
}
