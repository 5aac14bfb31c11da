// Line preparation: splices, trigraphs and line ends undone in place with
// their notes, the word-at-a-time scan at every alignment, and the reuse
// of the lexer's scratch blocks.
#include "tests/libsprenk/preprocessor-fixture.h"

#include <gtest/gtest.h>

namespace {

// Each prepared logical line, then its notes as "offset kind".
words prepare(const std::string &text, bool trigraphs = false)
{
  pp_fixture f;
  f.options()->trigraph_sequences = trigraphs;
  buffer_push(f.reader, reinterpret_cast<const unsigned char *>(text.data()), text.size(), false);
  input_buffer *buffer = f.reader->buffer;
  words out;
  while (buffer->next_line < buffer->limit) {
    _cpp_prepare_line(f.reader);
    const unsigned char *end = buffer->line_base;
    while (*end != '\n')
      end++;
    out.emplace_back(reinterpret_cast<const char *>(buffer->line_base), end - buffer->line_base);
    for (uint32_t i = 0; i + 1 < buffer->notes_used; i++) {
      const line_note &note = buffer->notes[i];
      out.push_back(std::to_string(note.position - buffer->line_base) + " " +
                    std::string(1, char(note.kind)));
    }
    // The sentinel note sits one past the line's newline.
    EXPECT_EQ(buffer->notes[buffer->notes_used - 1].kind, uint32_t('\n'));
    EXPECT_EQ(buffer->notes[buffer->notes_used - 1].position, end + 1);
  }
  return out;
}

TEST(LinePrep, SplicesTrigraphsAndLineEnds)
{
  struct {
    const char *text;
    bool trigraphs;
    words expected;
  } cases[] = {
      {"plain\nline\n", false, {"plain", "line"}},
      {"a \\\t\nb\n", false, {"a b", "2  "}},
      {"a\\\nb\\\nc\n", false, {"abc", "1 \\", "2 \\"}},
      {"a?\?/\nb\n", true, {"ab", "1 /", "1 \\"}},
      {"a?\?/\nb\n", false, {"a?\?/", "1 /", "b"}},
      {"x?\?=y\n", false, {"x?\?=y", "1 ="}},
      {"x?\?=y?\?(\n", true, {"x#y[", "1 =", "3 ("}},
      {"a\\\n?\?=b\n", true, {"a#b", "1 \\", "1 ="}},
      {"?\?\?=\n", true, {"?#", "1 ="}},
      {"a\r\nb\rc\n", false, {"a", "b", "c"}},
      {"a\\\r\nb\n", false, {"ab", "1 \\"}},
      // A backslash just before the end does not splice with the sentinel.
      {"a\\", false, {"a\\"}},
      {"a \\ ", false, {"a \\ "}},
      {"", false, {}},
      {"\n", false, {""}},
      {"no newline", false, {"no newline"}},
      {"a?b?\?c\\d\n", false, {"a?b?\?c\\d"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(prepare(c.text, c.trigraphs), c.expected) << c.text;
}

// Every line start alignment and every length, so that the word reads meet
// the buffer's end at every offset; the sanitizer watches the reads.
TEST(LinePrep, WordScanAtEveryAlignmentAndLength)
{
  for (size_t length = 0; length < 40; length++) {
    for (size_t split = 0; split <= length; split++) {
      std::string text(length, 'x');
      if (split < length)
        text[split] = '\n';
      words lines = prepare(text);
      std::string joined;
      for (size_t i = 0; i < lines.size(); i++)
        joined += (i ? "\n" : "") + lines[i];
      std::string expected = text;
      if (!expected.empty() && expected.back() == '\n')
        expected.pop_back();
      EXPECT_EQ(joined, expected) << length << " " << split;
    }
  }
}

TEST(LinePrep, WordsWithHighAndControlBytesArePassedOver)
{
  std::string text = "\x80\x0b\x80\x0b\x80\x0b\x80\x0b\x80\x0b\x80\x0b\x80\x0b\x80\x0b?\n";
  EXPECT_EQ(prepare(text), (words{text.substr(0, text.size() - 1)}));
}

TEST(LinePrep, ScratchBlocksAreReusedBySize)
{
  pp_fixture f;
  scratch_buffer *block = _cpp_scratch_take(f.reader, 10);
  EXPECT_EQ(block->limit - block->base, 8000);
  _cpp_scratch_release(f.reader, block);
  EXPECT_EQ(_cpp_scratch_take(f.reader, 100), block);
  _cpp_scratch_release(f.reader, block);
  scratch_buffer *large = _cpp_scratch_take(f.reader, 20000);
  EXPECT_NE(large, block);
  EXPECT_EQ(large->limit - large->base, 20000);
  EXPECT_EQ(f.reader->free_scratch, block);
  _cpp_scratch_release(f.reader, large);
}

TEST(LinePrep, ScratchGrowthCopiesTheRoom)
{
  pp_fixture f;
  scratch_buffer *block = _cpp_scratch_take(f.reader, 10);
  block->current = block->limit - 3;
  memcpy(block->current, "abc", 3);
  scratch_buffer *grown = _cpp_scratch_grow_chained(f.reader, block, 5);
  EXPECT_EQ(block->next, grown);
  EXPECT_EQ(memcmp(grown->base, "abc", 3), 0);
  block->next = nullptr;
  _cpp_scratch_release(f.reader, block);
  _cpp_scratch_release(f.reader, grown);
}

TEST(LinePrep, PoolsCarveAndCopy)
{
  pp_fixture f;
  const unsigned char *copy = _cpp_pool_copy(f.reader, reinterpret_cast<const unsigned char *>("hello"), 5);
  EXPECT_STREQ(reinterpret_cast<const char *>(copy), "hello");
  unsigned char *big = _cpp_pool_alloc(f.reader, 9000);
  big[8999] = 1;
  unsigned char *record = _cpp_pool_alloc_aligned(f.reader, 3);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 8, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(_cpp_pool_alloc_aligned(f.reader, 3)) % 8, 0u);
}

} // namespace
