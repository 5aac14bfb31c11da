// What the regular-expression compiler and matcher share: the opcodes of the
// byte-code program, its operand layout, and the locale layer.
#ifndef VUZ_SUPPORT_REGEX_INTERNAL_H
#define VUZ_SUPPORT_REGEX_INTERNAL_H

#include "support/regex.h"

#include <cstdint>

// Operands follow the opcode byte. Offsets are signed 16-bit little-endian,
// relative to the end of the instruction; numbers are unsigned 16-bit.
enum regex_opcode : unsigned char {
  RX_NO_OP = 0,
  RX_SUCCEED = 1,               // the match ends here
  RX_EXACT = 2,                 // count byte, the bytes
  RX_ANY = 3,
  RX_SET = 4,                   // bit-map byte count, the bit map
  RX_NOT_SET = 5,               // as RX_SET
  RX_START_GROUP = 6,           // group number, groups nested inside (16-bit each)
  RX_END_GROUP = 7,             // as RX_START_GROUP
  RX_BACKREF = 8,               // group number byte
  RX_BEGLINE = 9,
  RX_ENDLINE = 10,
  RX_BEGBUF = 11,
  RX_ENDBUF = 12,
  RX_JUMP = 13,                 // offset
  RX_JUMP_PAST_ALT = 14,        // offset
  RX_ON_FAILURE_JUMP = 15,      // offset
  RX_ON_FAILURE_KEEP = 16,      // offset
  RX_POP_FAILURE_JUMP = 17,     // offset
  RX_MAYBE_POP_JUMP = 18,       // offset
  RX_DUMMY_FAILURE_JUMP = 19,   // offset
  RX_PUSH_DUMMY_FAILURE = 20,
  RX_SUCCEED_N = 21,            // offset, counter
  RX_JUMP_N = 22,               // offset, counter
  RX_SET_NUMBER = 23,           // offset to a counter, number
  RX_WORDCHAR = 24,
  RX_NOT_WORDCHAR = 25,
  RX_WORD_START = 26,
  RX_WORD_END = 27,
  RX_WORD_BOUND = 28,
  RX_NOT_WORD_BOUND = 29,
  RX_OPCODE_LIMIT = 30,
};

enum : unsigned {
  RX_JUMP_SIZE = 3,     // opcode and offset
  RX_COUNTED_SIZE = 5,  // opcode, offset, counter (or number)
  RX_GROUP_SIZE = 5,    // opcode, group number, nested count
};

// Programs stay below this size so that every position fits 16 bits.
constexpr uint64_t RX_PROGRAM_LIMIT = 65536;

inline int rx_get16(const unsigned char *at) { return int16_t(uint16_t(at[0] | (at[1] << 8))); }
inline unsigned rx_getu16(const unsigned char *at) { return uint16_t(at[0] | (at[1] << 8)); }
inline void rx_put16(unsigned char *at, unsigned value)
{
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}

// Word characters for the word operators, filled on the first compile.
extern unsigned char regex_word_syntax_table[256];
void regex_fill_word_syntax_table();

// The locale's single-byte tables. Bytes at or above the single-byte limit
// (256 when the locale's characters are one byte, else 128) belong to no class.
unsigned regex_locale_single_byte_limit();
bool regex_locale_is_upper(unsigned char c);
unsigned char regex_locale_to_lower(unsigned char c);
// The class called name[0..length), or -1 for a name that is not one of the twelve.
int regex_locale_class_index(const char *name, size_t length);
bool regex_locale_in_class(int class_index, unsigned char c);

#endif
