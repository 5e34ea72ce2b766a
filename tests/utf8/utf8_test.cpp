// The UTF-8 unit: decoding and encoding agree on every kind of sequence, malformed input decodes
// to U+FFFD over the bytes the step names, and text takes one cell per printable character.
#include "utf8/utf8.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace sparvik::utf8 {
namespace {

TEST(Utf8, EncodeAndDecodeAgreeAtEveryLengthBoundary) {
  const char32_t code_points[] = {0x00,   0x41,   0x7F,   0x80,   0x7FF,   0x800,
                                  0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
  for (const char32_t c : code_points) {
    const Encoded e = encode(c);
    const std::size_t expected_size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    ASSERT_EQ(e.size, expected_size) << std::hex << std::uint32_t{c};
    const Decoded d = decode_at(e.view(), 0);
    EXPECT_TRUE(d.valid);
    EXPECT_EQ(d.code_point, c);
    EXPECT_EQ(d.length, e.size);
  }
  EXPECT_EQ(encode(U'é').view(), "é");
  EXPECT_EQ(encode(U'•').view(), "•");
}

TEST(Utf8, NoScalarValueEncodesToNothing) {
  for (const char32_t c : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}}) {
    EXPECT_EQ(encode(c).size, 0u) << std::hex << std::uint32_t{c};
  }
}

TEST(Utf8, MalformedInputDecodesToReplacementOverItsLongestBeginning) {
  struct Case {
    std::string_view text;
    std::size_t length;
  };
  const Case cases[] = {
      {"\x80", 1},              // lone continuation
      {"\xC0\x80", 1},          // overlong lead
      {"\xE0\x80\x80", 1},      // overlong three bytes: the second byte is out of range
      {"\xED\xA0\x80", 1},      // surrogate
      {"\xF4\x90\x80\x80", 1},  // past U+10FFFF
      {"\xE2\x94", 2},          // cut short
      {"\xF0\x9F\x98", 3},      // cut short
      {"\xFF", 1},
  };
  for (const Case& c : cases) {
    const Decoded d = decode_at(c.text, 0);
    EXPECT_FALSE(d.valid) << c.text;
    EXPECT_EQ(d.code_point, replacement) << c.text;
    EXPECT_EQ(d.length, c.length) << c.text;
  }
}

TEST(Utf8, CharactersAndCellWidth) {
  struct Case {
    std::string_view text;
    std::size_t cells;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 3},
      {"┌─┐", 3},
      {"a\tb\x1B", 2},  // C0 controls and Esc take no cell
      {"a\x7F"
       "b",
       2},                  // nor DEL
      {"\xC2\x85x", 1},     // nor C1 controls
      {"\xE2\x94x", 3},     // each byte of a malformed sequence shows as U+FFFD
      {"\xEF\xBF\xBD", 1},  // a real U+FFFD is one character
  };
  for (const Case& c : cases) EXPECT_EQ(cell_width(c.text), c.cells) << c.text;

  const Character bad = next_character("\xE2\x94x", 0);
  EXPECT_EQ(bad.symbol, replacement_text);
  EXPECT_EQ(bad.consumed, 1u);
  EXPECT_TRUE(bad.printable);
  const Character box = next_character("a┐", 1);
  EXPECT_EQ(box.symbol, "┐");
  EXPECT_EQ(box.consumed, 3u);
  EXPECT_FALSE(next_character("\n", 0).printable);
}

}  // namespace
}  // namespace sparvik::utf8
