// Writing into the cell buffer: clipping, UTF-8 cells, styles and the text view.
#include "widgets/core/buffer.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/buffer_text.hpp"

namespace sparvik::widgets {
namespace {

TEST(Buffer, SetStringCutsAtMaxWidthAndAtTheEdge) {
  struct Case {
    const char* name;
    std::uint16_t x;
    std::uint16_t max_width;
    const char* text;
    const char* row;
    std::uint16_t returned;
  };
  // clang-format off
  const Case cases[] = {
      {"fits", 1, UINT16_MAX, "abc", " abc  ", 4},
      {"cut at the right edge", 3, UINT16_MAX, "abcdef", "   abc", 6},
      {"cut at max width", 0, 2, "abcdef", "ab    ", 2},
      {"max width zero", 0, 0, "abc", "      ", 0},
      {"starts past the edge", 9, UINT16_MAX, "abc", "      ", 9},
      {"empty text", 2, UINT16_MAX, "", "      ", 2},
      {"one cell per character", 0, UINT16_MAX, "┌↲•é─┐x", "┌↲•é─┐", 6},
      {"controls take no cell", 0, UINT16_MAX, "a\tb\x1b[1\r\n", "ab[1  ", 4},
      {"C1 controls take no cell", 0, UINT16_MAX, "a\xC2\x9B" "b", "ab    ", 2},
      {"malformed bytes show as U+FFFD", 0, UINT16_MAX, "a\xFF" "b\xE2\x94", "a�b�� ", 5},
      {"overlong and surrogate forms", 0, UINT16_MAX, "\xC0\xAF\xED\xA0\x80", "����� ", 5},
  };
  // clang-format on
  for (const Case& c : cases) {
    Buffer buf(Rect{0, 0, 6, 1});
    EXPECT_EQ(buf.set_string(c.x, 0, c.text, Style{}, c.max_width), c.returned) << c.name;
    EXPECT_EQ(buf.lines().at(0), c.row) << c.name;
  }
}

TEST(Buffer, WritesOutsideTheAreaAreDropped) {
  Buffer buf(Rect{2, 1, 4, 2});
  EXPECT_EQ(buf.set_string(0, 1, "abcdef", Style{}), 6);  // columns 0 and 1 lie left of the area
  EXPECT_EQ(buf.set_string(2, 0, "zz", Style{}), 2);      // row above
  EXPECT_EQ(buf.set_string(2, 3, "zz", Style{}), 2);      // row below
  EXPECT_BUFFER_LINES(buf, {"cdef", "    "});
}

TEST(Buffer, StylesPatchCells) {
  Buffer buf(Rect{0, 0, 3, 1});
  buf.set_style(Rect{0, 0, 3, 1}, Style{}.background(Color::Blue).modifier(Modifier::Bold));
  buf.set_string(1, 0, "x", fg(Color::Red).modifier(Modifier::Italic));
  const Cell& styled = buf.at(1, 0);
  EXPECT_EQ(styled.symbol, "x");
  EXPECT_EQ(styled.fg, Color::Red);
  EXPECT_EQ(styled.bg, Color::Blue);  // not set by the string's style, so kept
  EXPECT_EQ(styled.modifier, Modifier::Bold | Modifier::Italic);
  EXPECT_EQ(buf.at(0, 0).fg, Color::Reset);
  EXPECT_EQ(buf.at(0, 0).bg, Color::Blue);
}

TEST(Buffer, SetStyleIsClippedToTheBuffer) {
  Buffer buf(Rect{1, 1, 3, 2});
  buf.set_style(Rect{0, 0, 3, 2}, fg(Color::Yellow));  // overlaps the top left corner only
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Yellow; }, {"##.", "..."});
  buf.set_style(Rect{10, 10, 5, 5}, fg(Color::Red));  // disjoint: no effect, no failure
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Red; }, {"...", "..."});
}

TEST(Buffer, FillAndSetSymbolAreClippedToTheBuffer) {
  Buffer buf(Rect{1, 1, 4, 3});
  buf.fill(Rect{0, 2, 3, 5}, Symbol("│"), fg(Color::Gray));  // sticks out left and below
  buf.set_symbol(4, 1, Symbol("┐"), fg(Color::Gray));
  buf.set_symbol(5, 1, Symbol("x"), fg(Color::Gray));  // outside: dropped
  buf.fill(Rect{9, 9, 2, 2}, Symbol("x"), {});         // disjoint: no effect, no failure
  EXPECT_BUFFER_LINES(buf, {"   ┐", "││  ", "││  "});
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Gray; },
                     {"...#", "##..", "##.."});
}

TEST(Buffer, ReadingOutsideTheAreaThrows) {
  Buffer buf(Rect{2, 2, 2, 2});
  EXPECT_NO_THROW((void)buf.at(3, 3));
  EXPECT_THROW((void)buf.at(4, 2), std::out_of_range);
  EXPECT_THROW((void)buf.at(2, 1), std::out_of_range);
  const Buffer& cbuf = buf;
  EXPECT_THROW((void)cbuf.at(0, 0), std::out_of_range);
}

TEST(Buffer, ResetAndResizeBlankEveryCell) {
  Buffer buf(Rect{0, 0, 3, 2});
  buf.set_string(0, 0, "abc", fg(Color::Red));
  buf.reset();
  EXPECT_BUFFER_LINES(buf, {"   ", "   "});
  EXPECT_EQ(buf.at(0, 0), Cell{});
  buf.set_string(0, 1, "xyz", Style{});
  buf.resize(Rect{0, 0, 4, 1});
  EXPECT_EQ(buf.area(), (Rect{0, 0, 4, 1}));
  EXPECT_BUFFER_LINES(buf, {"    "});
  EXPECT_EQ(buf.content().size(), 4u);
}

TEST(Buffer, TextViewJoinsRowsWithTrailingBlanks) {
  Buffer buf(Rect{0, 0, 3, 2});
  buf.set_string(0, 0, "a", Style{});
  buf.set_string(1, 1, "•", Style{});
  EXPECT_EQ(buf.to_text(), "a  \n • ");
  EXPECT_EQ(Buffer(Rect{0, 0, 0, 0}).to_text(), "");
}

TEST(Buffer, AreaReachingPastTheCoordinateRangeIsCut) {
  Buffer buf(Rect{65530, 0, 20, 1});
  EXPECT_EQ(buf.area().width, 5);
  EXPECT_EQ(buf.set_string(65533, 0, "abcdef", Style{}), 65535);
  EXPECT_BUFFER_LINES(buf, {"   ab"});
}

// A cell keeps one character inline; equal cells are equal bytes, which the frame diff relies on.
TEST(Symbol, KeepsTheFirstCharacterAndComparesByText) {
  struct Case {
    std::string_view given;
    std::string_view kept;
  };
  const Case cases[] = {
      {"x", "x"}, {"•", "•"}, {"😀", "😀"}, {"ab", "a"}, {"┌─", "┌"}, {"\xE2\x94", "\xEF\xBF\xBD"},
      {"", ""},
  };
  for (const Case& c : cases) {
    const Symbol s(c.given);
    EXPECT_EQ(s.view(), c.kept) << c.given;
    EXPECT_EQ(s, Symbol(c.kept)) << c.given;
  }
  EXPECT_EQ(Symbol(), Symbol(" "));
  EXPECT_EQ(Symbol::ascii('q'), Symbol("q"));
  EXPECT_NE(Symbol("a"), Symbol("b"));

  Cell a;
  Cell b;
  b.symbol = "•";
  EXPECT_NE(a, b);
  a.symbol = "•";
  EXPECT_EQ(a, b);
  b.fg = Color::Yellow;
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace sparvik::widgets
