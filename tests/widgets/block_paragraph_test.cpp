// Block borders, title and inner area; Paragraph cutting, alignment and styles.
#include <gtest/gtest.h>

#include "support/buffer_text.hpp"
#include "widgets/block.hpp"
#include "widgets/paragraph.hpp"

namespace sparvik::widgets {
namespace {

auto fg_is(Color c) {
  return [c](const Cell& cell) { return cell.fg == c; };
}

TEST(Block, DrawsFourPlainBordersAndTheTitleAfterTheCorner) {
  Buffer buf(Rect{0, 0, 12, 4});
  Block::bordered().title("Status").render(Rect{1, 0, 10, 3}, buf);
  // clang-format off
  EXPECT_BUFFER_LINES(buf, {" ┌Status──┐ ",
                            " │        │ ",
                            " └────────┘ ",
                            "            "});
  // clang-format on
}

TEST(Block, TitleIsCutBeforeTheRightCorner) {
  struct Case {
    std::uint16_t width;
    const char* top;
  };
  const Case cases[] = {{8, "┌LongTi┐"}, {3, "┌L┐"}, {2, "┌┐"}};
  for (const Case& c : cases) {
    Buffer buf(Rect{0, 0, c.width, 2});
    Block::bordered().title("LongTitle").render(buf.area(), buf);
    EXPECT_EQ(buf.lines().at(0), c.top) << "width " << c.width;
  }
}

TEST(Block, StyleCoversTheAreaAndBorderStyleTheBorders) {
  Buffer buf(Rect{0, 0, 6, 3});
  Block::bordered()
      .title(Line("T", fg(Color::Red)))
      .style(Style{}.background(Color::Black))
      .border_style(fg(Color::White))
      .render(buf.area(), buf);
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.bg == Color::Black; },
                     {"######", "######", "######"});
  EXPECT_BUFFER_MASK(buf, fg_is(Color::White), {"#.####", "#....#", "######"});
  EXPECT_BUFFER_MASK(buf, fg_is(Color::Red), {".#....", "......", "......"});
}

TEST(Block, IsClippedToTheBufferAndEmptyAreasDrawNothing) {
  Buffer buf(Rect{0, 0, 5, 3});
  Block::bordered().render(Rect{0, 0, 40, 40}, buf);
  EXPECT_BUFFER_LINES(buf, {"┌───┐", "│   │", "└───┘"});

  Buffer untouched(Rect{0, 0, 3, 2});
  const Block styled = Block::bordered().title("x").style(fg(Color::Red));
  for (const Rect area : {Rect{0, 0, 0, 2}, Rect{0, 0, 3, 0}, Rect{9, 9, 2, 2}}) {
    styled.render(area, untouched);
  }
  EXPECT_BUFFER_LINES(untouched, {"   ", "   "});
  EXPECT_BUFFER_MASK(untouched, fg_is(Color::Red), {"...", "..."});
}

TEST(Block, InnerArea) {
  EXPECT_EQ(Block::bordered().inner(Rect{2, 3, 10, 5}), (Rect{3, 4, 8, 3}));
  EXPECT_TRUE(Block::bordered().inner(Rect{0, 0, 2, 9}).empty());
  EXPECT_TRUE(Block::bordered().inner(Rect{0, 0, 9, 1}).empty());
  EXPECT_EQ(Block{}.inner(Rect{2, 3, 10, 5}), (Rect{2, 3, 10, 5}));
  EXPECT_EQ(Block{}.title("t").inner(Rect{2, 3, 10, 5}), (Rect{2, 4, 10, 4}));
}

TEST(Paragraph, LinesAreCutAtTheRightEdgeAndTheBottom) {
  Buffer buf(Rect{0, 0, 7, 3});
  Paragraph(Text("abcdefgh\nxy\nzzz")).render(Rect{1, 0, 5, 2}, buf);
  EXPECT_BUFFER_LINES(buf, {" abcde ", " xy    ", "       "});
}

TEST(Paragraph, InABoxTheTextStaysInsideTheBorders) {
  Buffer buf(Rect{0, 0, 8, 4});
  Paragraph(Text("Sparvik version 0.1.1\nsecond\nthird"))
      .block(Block::bordered().title("Box"))
      .render(buf.area(), buf);
  // clang-format off
  EXPECT_BUFFER_LINES(buf, {"┌Box───┐",
                            "│Sparvi│",
                            "│second│",
                            "└──────┘"});
  // clang-format on
}

TEST(Paragraph, CentredLinesShareTheSpareCellsLeftFirst) {
  struct Case {
    const char* text;
    const char* row;
  };
  // clang-format off
  const Case cases[] = {
      {"abc", "   abc    "},
      {"abcd", "   abcd   "},
      {"↲ or q", "  ↲ or q  "},
      {"0123456789", "0123456789"},
      {"0123456789AB", "0123456789"},  // too long: cut, starting at the left edge
      {"\tab", "    ab    "},            // controls take no cell, so they do not shift the line
  };
  // clang-format on
  for (const Case& c : cases) {
    Buffer buf(Rect{0, 0, 10, 1});
    Paragraph(Text(c.text)).alignment(Alignment::Center).render(buf.area(), buf);
    EXPECT_EQ(buf.lines().at(0), c.row) << c.text;
  }
}

TEST(Paragraph, StyleCoversTheBoxAndSpansKeepTheirOwn) {
  Buffer buf(Rect{0, 0, 8, 3});
  Line line;
  line.spans = {Span{"ab", fg(Color::Red)}, Span{"cd", Style{}.background(Color::Blue)}};
  Paragraph(Text(std::vector<Line>{line}))
      .style(fg(Color::White))
      .block(Block::bordered().title("T"))
      .render(buf.area(), buf);
  EXPECT_BUFFER_LINES(buf, {"┌T─────┐", "│abcd  │", "└──────┘"});
  EXPECT_BUFFER_MASK(buf, fg_is(Color::White), {"########", "#..#####", "########"});
  EXPECT_BUFFER_MASK(buf, fg_is(Color::Red), {"........", ".##.....", "........"});
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.bg == Color::Blue; },
                     {"........", "...##...", "........"});
}

TEST(Text, SplitsOnLineBreaks) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  };
  // clang-format off
  const Case cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},  // the device's line endings
      {"Last status: X\nLast message: \n", {"Last status: X", "Last message: "}},
      {"a\n\nb", {"a", "", "b"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    const Text text(c.text, fg(Color::Gray));
    std::vector<std::string> got;
    for (const Line& l : text.lines) {
      ASSERT_EQ(l.spans.size(), 1u);
      EXPECT_EQ(l.spans[0].style, fg(Color::Gray));
      got.push_back(l.spans[0].content);
    }
    EXPECT_EQ(got, c.lines) << c.text;
  }
}

}  // namespace
}  // namespace sparvik::widgets
