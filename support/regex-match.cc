// The regular-expression matcher: runs the byte-code program with a bounded
// failure stack, preferring the longest match, and searches start positions
// with the help of the fastmap.
#include "support/regex-internal.h"
#include "support/internal-abort.h"

#include <cstdlib>
#include <cstring>

int regex_max_failures = 4000;

namespace {

constexpr size_t failure_items_per_point = 19;
constexpr size_t initial_failure_items = 5;
constexpr unsigned inline_groups = 10;
constexpr uint32_t min_allocated_registers = 30;
// Instructions one search may execute. Backtracking for the longest match is
// exponential in the worst case, and a hostile pattern must end in a failure,
// not run for minutes; the driver's own pattern needs a few hundred.
constexpr uint64_t max_steps_per_search = uint64_t(1) << 23;

// Failure-stack items. Besides the points to resume at, the stack keeps the
// old values of registers and counters changed since the newest point, so that
// backtracking restores exactly the state the point was pushed in.
enum item_kind : uint8_t {
  ITEM_RESUME,       // resume at a program position with a saved subject position
  ITEM_RESUME_HERE,  // resume at a program position, keeping the subject position
  ITEM_DUMMY,        // a point that only fails further
  ITEM_OLD_START,    // a group's previous start
  ITEM_OLD_END,      // a group's previous end
  ITEM_OLD_COUNTER,  // a counter's previous value in the program
};

struct failure_item {
  uint32_t kind_and_where;  // kind in the top byte, position or group below
  int32_t value;
};
static_assert(sizeof(failure_item) == 8, "failure-stack items are 8 bytes");

struct match_context {
  regex_pattern *pattern;
  const unsigned char *string1;
  const unsigned char *string2;
  int size1;
  int end;  // matching stops here
  const unsigned char *translate;
  unsigned group_count;
  int32_t *start;  // group 0 is the whole match
  int32_t *finish;
  int32_t *best_start;
  int32_t *best_finish;
  failure_item *stack;
  size_t count;
  size_t capacity;
  size_t limit;
  size_t points;  // resume points on the stack
  uint64_t steps;  // instructions executed by this search so far
  bool out_of_memory;
  failure_item inline_stack[initial_failure_items];
  int32_t inline_registers[4 * (inline_groups + 1)];
};

unsigned char byte_at(const match_context &m, int pos)
{
  return pos < m.size1 ? m.string1[pos] : m.string2[pos - m.size1];
}

unsigned char translated(const match_context &m, unsigned char byte)
{
  return m.translate ? m.translate[byte] : byte;
}

bool is_word(const match_context &m, int pos)
{
  return pos >= 0 && pos < m.end && regex_word_syntax_table[byte_at(m, pos)];
}

bool in_set(const unsigned char *op, unsigned char byte)
{
  unsigned count = op[1];
  return byte / 8u < count && (op[2 + byte / 8] & (1u << (byte % 8)));
}

bool context_init(match_context &m, regex_pattern *pattern, const char *string1, int size1,
                  const char *string2, int size2, int stop)
{
  m.pattern = pattern;
  m.string1 = reinterpret_cast<const unsigned char *>(string1);
  m.string2 = reinterpret_cast<const unsigned char *>(string2);
  if (size1 == 0 || !string1) {
    m.string1 = m.string2;
    m.size1 = size2;
    m.string2 = nullptr;
    size2 = 0;
  } else {
    m.size1 = size1;
  }
  int total = m.size1 + size2;
  m.end = stop < 0 ? 0 : stop > total ? total : stop;
  m.translate = pattern->translate;
  m.group_count = unsigned(pattern->group_count);
  size_t slots = size_t(m.group_count) + 1;
  int32_t *registers = m.inline_registers;
  if (m.group_count > inline_groups) {
    registers = static_cast<int32_t *>(malloc(4 * slots * sizeof(int32_t)));
    if (!registers)
      return false;
  }
  m.start = registers;
  m.finish = registers + slots;
  m.best_start = registers + 2 * slots;
  m.best_finish = registers + 3 * slots;
  m.stack = m.inline_stack;
  m.capacity = initial_failure_items;
  m.limit = size_t(regex_max_failures < 0 ? 0 : regex_max_failures) * failure_items_per_point;
  m.out_of_memory = false;
  m.steps = 0;
  return true;
}

void context_release(match_context &m)
{
  if (m.start != m.inline_registers)
    free(m.start);
  if (m.stack != m.inline_stack)
    free(m.stack);
}

// Pushes one item; false when the stack has reached its limit or could not grow.
bool push(match_context &m, item_kind kind, uint32_t where, int32_t value)
{
  if (m.count == m.capacity) {
    size_t size = m.capacity * 2;
    if (size > m.limit)
      size = m.limit;
    if (size <= m.count)
      return false;
    failure_item *grown;
    if (m.stack == m.inline_stack) {
      grown = static_cast<failure_item *>(malloc(size * sizeof(failure_item)));
      if (grown)
        memcpy(grown, m.stack, m.count * sizeof(failure_item));
    } else {
      grown = static_cast<failure_item *>(realloc(m.stack, size * sizeof(failure_item)));
    }
    if (!grown) {
      m.out_of_memory = true;
      return false;
    }
    m.stack = grown;
    m.capacity = size;
  }
  m.stack[m.count++] = failure_item{uint32_t(kind) << 24 | where, value};
  if (kind <= ITEM_DUMMY)
    m.points++;
  return true;
}

// Records an old value for backtracking; none is needed while nothing can
// resume before the change.
bool save_old(match_context &m, item_kind kind, uint32_t where, int32_t value)
{
  return m.points == 0 || push(m, kind, where, value);
}

// Removes the newest resume point, keeping the restore items above it, which
// older points still need.
void drop_newest_point(match_context &m)
{
  for (size_t i = m.count; i-- > 0;) {
    if ((m.stack[i].kind_and_where >> 24) <= ITEM_DUMMY) {
      memmove(m.stack + i, m.stack + i + 1, (m.count - i - 1) * sizeof(failure_item));
      m.count--;
      m.points--;
      return;
    }
  }
}

enum { MATCH_FAILED = -1, MATCH_RESOURCE_FAILURE = -2 };

// Fills the caller's registers from the match (step 5 of a successful match).
int store_registers(match_context &m, regex_registers *regs)
{
  regex_pattern *pattern = m.pattern;
  if (!regs || (pattern->flags & REGEX_FLAG_NO_SUB))
    return 0;
  uint32_t needed = m.group_count + 2;
  switch (regex_regs_mode(pattern)) {
  case REGEX_REGS_UNALLOCATED: {
    uint32_t count = needed > min_allocated_registers ? needed : min_allocated_registers;
    int32_t *starts = static_cast<int32_t *>(malloc(count * sizeof(int32_t)));
    int32_t *ends = static_cast<int32_t *>(malloc(count * sizeof(int32_t)));
    if (!starts || !ends) {
      free(starts);
      free(ends);
      return MATCH_RESOURCE_FAILURE;
    }
    regs->start = starts;
    regs->end = ends;
    regs->count = count;
    regex_set_regs_mode(pattern, REGEX_REGS_REALLOCATE);
    break;
  }
  case REGEX_REGS_REALLOCATE:
    if (regs->count < needed) {
      int32_t *starts = static_cast<int32_t *>(realloc(regs->start, needed * sizeof(int32_t)));
      if (!starts)
        return MATCH_RESOURCE_FAILURE;
      regs->start = starts;
      int32_t *ends = static_cast<int32_t *>(realloc(regs->end, needed * sizeof(int32_t)));
      if (!ends)
        return MATCH_RESOURCE_FAILURE;
      regs->end = ends;
      regs->count = needed;
    }
    break;
  default:
    break;
  }
  for (uint32_t i = 0; i < regs->count; i++) {
    bool took_part = i <= m.group_count && m.finish[i] >= 0 && m.start[i] >= 0;
    regs->start[i] = took_part ? m.start[i] : -1;
    regs->end[i] = took_part ? m.finish[i] : -1;
  }
  return 0;
}

// A backward jump right after a group or back-reference that matched nothing
// this time round closes its loop: leaving at once stops an endless repeat.
// Rounds still owed to a count are made, as each may be the one that
// consumes text.
bool leave_empty_loop(const unsigned char *next, const unsigned char *program_end)
{
  if (next + RX_JUMP_SIZE > program_end || *next != RX_JUMP || rx_get16(next + 1) >= 0)
    return false;
  const unsigned char *target = next + RX_JUMP_SIZE + rx_get16(next + 1);
  return !(*target == RX_SUCCEED_N && rx_getu16(target + 3) > 0);
}

// One attempt at position pos: the match length, -1 or -2.
int match_core(match_context &m, int pos, regex_registers *regs)
{
  regex_pattern *pattern = m.pattern;
  unsigned char *program = pattern->program;
  const unsigned char *pend = program + pattern->used;
  const unsigned char *pc = program;
  const uint64_t syntax = pattern->syntax;
  const uint8_t flags = pattern->flags;
  const int origin = pos;
  bool have_best = false;
  int best_end = 0;
  size_t slots = size_t(m.group_count) + 1;

  if (pos < 0 || pos > m.end)
    return MATCH_FAILED;
  for (size_t i = 0; i < slots; i++)
    m.start[i] = m.finish[i] = -1;
  m.count = 0;
  m.points = 0;

  for (;;) {
    if (++m.steps > max_steps_per_search)
      goto exhausted;
    if (pc == pend) {
      if (pos != m.end && m.points > 0) {
        if (!have_best || pos > best_end) {
          have_best = true;
          best_end = pos;
          memcpy(m.best_start, m.start, slots * sizeof(int32_t));
          memcpy(m.best_finish, m.finish, slots * sizeof(int32_t));
        }
        goto fail;
      }
      if (have_best && best_end > pos)
        goto restore_best;
      goto succeed;
    }
    switch (regex_opcode op = regex_opcode(*pc++)) {
    case RX_NO_OP:
      break;
    case RX_SUCCEED:
      goto succeed;
    case RX_EXACT: {
      unsigned count = *pc++;
      if (m.end - pos < int(count))
        goto fail;
      for (unsigned i = 0; i < count; i++)
        if (translated(m, byte_at(m, pos + int(i))) != pc[i])
          goto fail;
      pos += int(count);
      pc += count;
      break;
    }
    case RX_ANY: {
      if (pos == m.end)
        goto fail;
      unsigned char byte = translated(m, byte_at(m, pos));
      if ((byte == '\n' && !(syntax & REGEX_SYN_DOT_NEWLINE)) ||
          (byte == 0 && (syntax & REGEX_SYN_DOT_NOT_NUL)))
        goto fail;
      pos++;
      break;
    }
    case RX_SET:
    case RX_NOT_SET: {
      if (pos == m.end)
        goto fail;
      bool member = in_set(pc - 1, translated(m, byte_at(m, pos)));
      if (member != (op == RX_SET))
        goto fail;
      pos++;
      pc += 1 + pc[0];
      break;
    }
    case RX_START_GROUP: {
      unsigned group = rx_getu16(pc);
      pc += RX_GROUP_SIZE - 1;
      if (!save_old(m, ITEM_OLD_START, group, m.start[group]))
        goto exhausted;
      m.start[group] = pos;
      break;
    }
    case RX_END_GROUP: {
      unsigned group = rx_getu16(pc);
      pc += RX_GROUP_SIZE - 1;
      if (!save_old(m, ITEM_OLD_END, group, m.finish[group]))
        goto exhausted;
      m.finish[group] = pos;
      if (m.start[group] == pos && leave_empty_loop(pc, pend))
        pc += RX_JUMP_SIZE;
      break;
    }
    case RX_BACKREF: {
      unsigned group = *pc++;
      int from = m.start[group], to = m.finish[group];
      if (from < 0 || to < from || m.end - pos < to - from)
        goto fail;
      for (int i = from; i < to; i++)
        if (translated(m, byte_at(m, i)) != translated(m, byte_at(m, pos + (i - from))))
          goto fail;
      pos += to - from;
      if (from == to && leave_empty_loop(pc, pend))
        pc += RX_JUMP_SIZE;
      break;
    }
    case RX_BEGLINE:
      if (pos == 0 ? (flags & REGEX_FLAG_NOT_BOL) != 0
                   : !((flags & REGEX_FLAG_NEWLINE_ANCHOR) && byte_at(m, pos - 1) == '\n'))
        goto fail;
      break;
    case RX_ENDLINE:
      if (pos == m.end ? (flags & REGEX_FLAG_NOT_EOL) != 0
                       : !((flags & REGEX_FLAG_NEWLINE_ANCHOR) && byte_at(m, pos) == '\n'))
        goto fail;
      break;
    case RX_BEGBUF:
      if (pos != 0)
        goto fail;
      break;
    case RX_ENDBUF:
      if (pos != m.end)
        goto fail;
      break;
    case RX_JUMP:
    case RX_JUMP_PAST_ALT:
    case RX_MAYBE_POP_JUMP:
      // Keeping the loop's failure point is always correct; popping it is
      // only a saving, which this compiler does not ask for.
      pc += 2 + rx_get16(pc);
      break;
    case RX_ON_FAILURE_JUMP:
    case RX_ON_FAILURE_KEEP: {
      const unsigned char *target = pc + 2 + rx_get16(pc);
      item_kind kind = op == RX_ON_FAILURE_JUMP ? ITEM_RESUME : ITEM_RESUME_HERE;
      if (!push(m, kind, uint32_t(target - program), pos))
        goto exhausted;
      pc += 2;
      break;
    }
    case RX_POP_FAILURE_JUMP:
      drop_newest_point(m);
      pc += 2 + rx_get16(pc);
      break;
    case RX_DUMMY_FAILURE_JUMP:
      if (!push(m, ITEM_DUMMY, 0, 0))
        goto exhausted;
      pc += 2 + rx_get16(pc);
      break;
    case RX_PUSH_DUMMY_FAILURE:
      if (!push(m, ITEM_DUMMY, 0, 0))
        goto exhausted;
      break;
    case RX_SUCCEED_N:
    case RX_JUMP_N: {
      unsigned char *counter = const_cast<unsigned char *>(pc + 2);
      unsigned value = rx_getu16(counter);
      const unsigned char *target = pc + 4 + rx_get16(pc);
      pc += 4;
      if (value > 0) {
        if (!save_old(m, ITEM_OLD_COUNTER, uint32_t(counter - program), int32_t(value)))
          goto exhausted;
        rx_put16(counter, value - 1);
        if (op == RX_JUMP_N)
          pc = target;
      } else if (op == RX_SUCCEED_N) {
        pc = target;
      }
      break;
    }
    case RX_SET_NUMBER: {
      unsigned char *counter = program + (pc + 4 + rx_get16(pc) - program);
      if (!save_old(m, ITEM_OLD_COUNTER, uint32_t(counter - program), int32_t(rx_getu16(counter))))
        goto exhausted;
      rx_put16(counter, rx_getu16(pc + 2));
      pc += 4;
      break;
    }
    case RX_WORDCHAR:
    case RX_NOT_WORDCHAR:
      if (pos == m.end || is_word(m, pos) != (op == RX_WORDCHAR))
        goto fail;
      pos++;
      break;
    case RX_WORD_START:
      if (!is_word(m, pos) || is_word(m, pos - 1))
        goto fail;
      break;
    case RX_WORD_END:
      if (!is_word(m, pos - 1) || is_word(m, pos))
        goto fail;
      break;
    case RX_WORD_BOUND:
    case RX_NOT_WORD_BOUND:
      if ((is_word(m, pos - 1) != is_word(m, pos)) != (op == RX_WORD_BOUND))
        goto fail;
      break;
    default:
      vuz_unreachable();
    }
    continue;

  fail:
    for (;;) {
      if (m.count == 0) {
        if (have_best)
          goto restore_best;
        return MATCH_FAILED;
      }
      failure_item item = m.stack[--m.count];
      uint32_t where = item.kind_and_where & 0xffffff;
      switch (item_kind(item.kind_and_where >> 24)) {
      case ITEM_RESUME:
        pos = item.value;
        [[fallthrough]];
      case ITEM_RESUME_HERE:
        m.points--;
        pc = program + where;
        break;
      case ITEM_DUMMY:
        m.points--;
        continue;
      case ITEM_OLD_START:
        m.start[where] = item.value;
        continue;
      case ITEM_OLD_END:
        m.finish[where] = item.value;
        continue;
      case ITEM_OLD_COUNTER:
        rx_put16(program + where, unsigned(item.value));
        continue;
      }
      break;
    }
  }

exhausted:
  return MATCH_RESOURCE_FAILURE;
restore_best:
  pos = best_end;
  memcpy(m.start, m.best_start, slots * sizeof(int32_t));
  memcpy(m.finish, m.best_finish, slots * sizeof(int32_t));
succeed:
  m.start[0] = origin;
  m.finish[0] = pos;
  if (store_registers(m, regs) < 0)
    return MATCH_RESOURCE_FAILURE;
  return pos - origin;
}

// Programs that can match only at the start of the subject.
bool anchored_at_start(const regex_pattern *pattern)
{
  if (pattern->used == 0)
    return false;
  unsigned char first = pattern->program[0];
  return first == RX_BEGBUF ||
         (first == RX_BEGLINE && !(pattern->flags & REGEX_FLAG_NEWLINE_ANCHOR));
}

}  // namespace

int regex_search_2(regex_pattern *pattern, const char *string1, int size1, const char *string2,
                   int size2, int start, int range, regex_registers *regs, int stop)
{
  int total = size1 + size2;
  if (start < 0 || start > total)
    return -1;
  if (int64_t(start) + range > total)
    range = total - start;
  else if (int64_t(start) + range < 0)
    range = -start;
  if (anchored_at_start(pattern)) {
    if (start > 0)
      return -1;
    range = total > 0 ? 1 : 0;
  }
  if (pattern->fastmap && !(pattern->flags & REGEX_FLAG_FASTMAP_ACCURATE) &&
      regex_compile_fastmap(pattern) < 0)
    return -2;

  match_context m;
  if (!context_init(m, pattern, string1, size1, string2, size2, stop))
    return -2;
  const unsigned char *fastmap = pattern->fastmap;
  bool use_fastmap = fastmap && !(pattern->flags & REGEX_FLAG_CAN_BE_NULL);
  int result = -1;
  for (;;) {
    if (use_fastmap && start < total) {
      if (range > 0) {
        while (range > 0 && !fastmap[translated(m, byte_at(m, start))]) {
          start++;
          range--;
        }
      } else {
        while (range < 0 && !fastmap[translated(m, byte_at(m, start))]) {
          start--;
          range++;
        }
      }
    }
    if (use_fastmap && start == total)
      break;  // a match needs at least one byte
    int length = match_core(m, start, regs);
    if (length >= 0) {
      result = start;
      break;
    }
    if (length == MATCH_RESOURCE_FAILURE) {
      result = -2;
      break;
    }
    if (range == 0)
      break;
    if (range > 0) {
      range--;
      start++;
    } else {
      range++;
      start--;
    }
  }
  context_release(m);
  return result;
}

int regex_search(regex_pattern *pattern, const char *subject, int size, int start, int range,
                 regex_registers *regs)
{
  return regex_search_2(pattern, nullptr, 0, subject, size, start, range, regs, size);
}

int regex_match_2(regex_pattern *pattern, const char *string1, int size1, const char *string2,
                  int size2, int pos, regex_registers *regs, int stop)
{
  match_context m;
  if (!context_init(m, pattern, string1, size1, string2, size2, stop))
    return -2;
  int length = match_core(m, pos, regs);
  context_release(m);
  return length;
}

int regex_match(regex_pattern *pattern, const char *subject, int size, int pos,
                regex_registers *regs)
{
  return regex_match_2(pattern, nullptr, 0, subject, size, pos, regs, size);
}

namespace {

// Marks every byte whose translation satisfies test.
template <typename Test> void mark_bytes(regex_pattern *pattern, Test test)
{
  for (unsigned b = 0; b < 256; b++) {
    unsigned char t = pattern->translate ? pattern->translate[b] : (unsigned char)b;
    if (test(t))
      pattern->fastmap[b] = 1;
  }
}

}  // namespace

int regex_compile_fastmap(regex_pattern *pattern)
{
  unsigned char *fastmap = pattern->fastmap;
  if (!fastmap)
    return 0;
  const unsigned char *program = pattern->program;
  size_t used = size_t(pattern->used);
  // Pending branch targets, and the positions already walked so that loops
  // of instructions that consume nothing end.
  size_t capacity = 5, count = 0;
  uint32_t *pending = static_cast<uint32_t *>(malloc(capacity * sizeof(uint32_t)));
  unsigned char *seen = static_cast<unsigned char *>(calloc(used / 8 + 1, 1));
  if (!pending || !seen) {
    free(pending);
    free(seen);
    return -2;
  }
  memset(fastmap, 0, 256);
  pattern->flags &= uint8_t(~REGEX_FLAG_CAN_BE_NULL);
  bool can_be_null = false;
  pending[count++] = 0;
  const bool dot_newline = pattern->syntax & REGEX_SYN_DOT_NEWLINE;
  const bool dot_not_nul = pattern->syntax & REGEX_SYN_DOT_NOT_NUL;

  while (count > 0) {
    size_t pc = pending[--count];
    for (;;) {
      if (pc >= used) {
        can_be_null = true;
        break;
      }
      if (seen[pc / 8] & (1u << (pc % 8)))
        break;
      seen[pc / 8] |= uint8_t(1u << (pc % 8));
      const unsigned char *op = program + pc;
      size_t branch = SIZE_MAX;
      bool path_ends = true;
      switch (*op) {
      case RX_EXACT:
        mark_bytes(pattern, [op](unsigned char t) { return t == op[2]; });
        break;
      case RX_SET:
        mark_bytes(pattern, [op](unsigned char t) { return in_set(op, t); });
        break;
      case RX_NOT_SET:
        mark_bytes(pattern, [op](unsigned char t) { return !in_set(op, t); });
        break;
      case RX_ANY:
        mark_bytes(pattern, [&](unsigned char t) {
          return (t != '\n' || dot_newline) && (t != 0 || !dot_not_nul);
        });
        break;
      case RX_WORDCHAR:
      case RX_NOT_WORDCHAR: {
        bool want = *op == RX_WORDCHAR;
        for (unsigned b = 0; b < 256; b++)
          if (bool(regex_word_syntax_table[b]) == want)
            fastmap[b] = 1;
        break;
      }
      case RX_SUCCEED:
        can_be_null = true;
        break;
      case RX_BACKREF:
        // The text of a group can begin with anything, even nothing.
        can_be_null = true;
        count = 0;
        break;
      case RX_NO_OP:
      case RX_BEGLINE:
      case RX_ENDLINE:
      case RX_BEGBUF:
      case RX_ENDBUF:
      case RX_WORD_START:
      case RX_WORD_END:
      case RX_WORD_BOUND:
      case RX_NOT_WORD_BOUND:
      case RX_PUSH_DUMMY_FAILURE:
        pc += 1;
        path_ends = false;
        break;
      case RX_START_GROUP:
      case RX_END_GROUP:
      case RX_SET_NUMBER:
        pc += 5;
        path_ends = false;
        break;
      case RX_JUMP:
      case RX_JUMP_PAST_ALT:
      case RX_POP_FAILURE_JUMP:
      case RX_MAYBE_POP_JUMP:
      case RX_DUMMY_FAILURE_JUMP:
        pc = size_t(int64_t(pc) + RX_JUMP_SIZE + rx_get16(op + 1));
        path_ends = false;
        break;
      case RX_ON_FAILURE_JUMP:
      case RX_ON_FAILURE_KEEP:
        branch = size_t(int64_t(pc) + RX_JUMP_SIZE + rx_get16(op + 1));
        pc += RX_JUMP_SIZE;
        path_ends = false;
        break;
      case RX_SUCCEED_N:
      case RX_JUMP_N:
        branch = size_t(int64_t(pc) + RX_COUNTED_SIZE + rx_get16(op + 1));
        pc += RX_COUNTED_SIZE;
        path_ends = false;
        break;
      default:
        vuz_unreachable();
      }
      if (branch != SIZE_MAX) {
        if (count == capacity) {
          capacity *= 2;
          uint32_t *grown = static_cast<uint32_t *>(realloc(pending, capacity * sizeof(uint32_t)));
          if (!grown) {
            free(pending);
            free(seen);
            return -2;
          }
          pending = grown;
        }
        pending[count++] = uint32_t(branch);
      }
      if (path_ends)
        break;
    }
  }
  free(pending);
  free(seen);
  if (can_be_null)
    pattern->flags |= REGEX_FLAG_CAN_BE_NULL;
  pattern->flags |= REGEX_FLAG_FASTMAP_ACCURATE;
  return 0;
}
