// List rendering through its state: clamping, scrolling and the highlighted row.
#include "widgets/list.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/buffer_text.hpp"

namespace sparvik::widgets {
namespace {

std::vector<Line> numbered(std::size_t n) {
  std::vector<Line> items;
  for (std::size_t i = 0; i < n; ++i) items.emplace_back("item" + std::to_string(i));
  return items;
}

struct ClampCase {
  const char* name;
  std::size_t items;
  std::uint16_t rows;  // visible rows inside the box
  ListState before;
  ListState after;
};

TEST(List, RenderClampsTheState) {
  constexpr std::size_t kMax = SIZE_MAX;
  // clang-format off
  const ClampCase cases[] = {
      {"empty list clears the selection", 0, 3, {5, 7}, {std::nullopt, 0}},
      {"empty list without selection", 0, 3, {std::nullopt, 4}, {std::nullopt, 0}},
      {"past the end goes to the last row", 5, 10, {7, 0}, {4, 0}},
      {"largest index goes to the last row", 5, 3, {kMax, 0}, {4, 2}},
      {"huge offset and selection", 3, 2, {kMax, kMax}, {2, 1}},
      {"selection below the window scrolls down", 10, 3, {9, 0}, {9, 7}},
      {"selection above the window scrolls up", 10, 3, {2, 5}, {2, 2}},
      {"visible selection keeps the offset", 10, 3, {5, 4}, {5, 4}},
      {"last visible row keeps the offset", 10, 3, {6, 4}, {6, 4}},
      {"one below the window", 10, 3, {7, 4}, {7, 5}},
      {"no selection keeps the offset within the list", 10, 3, {std::nullopt, 20},
       {std::nullopt, 7}},
      {"short list never scrolls", 2, 5, {1, 1}, {1, 0}},
      {"first row", 10, 3, {0, 0}, {0, 0}},
  };
  // clang-format on
  for (const ClampCase& c : cases) {
    Buffer buf(Rect{0, 0, 10, static_cast<std::uint16_t>(c.rows + 2)});
    ListState state = c.before;
    List(numbered(c.items)).block(Block::bordered()).render(buf.area(), buf, state);
    EXPECT_EQ(state.selected, c.after.selected) << c.name;
    EXPECT_EQ(state.offset, c.after.offset) << c.name;
  }
}

TEST(List, StateIsClampedEvenWhenNothingCanBeShown) {
  // A box too small for any row: the selection must still land on an existing row, or the next
  // lookup of the selected item would read past the end.
  for (const Rect area : {Rect{0, 0, 10, 2}, Rect{0, 0, 0, 0}}) {
    Buffer buf(Rect{0, 0, 10, 2});
    ListState state{SIZE_MAX, 0};
    List(numbered(5)).block(Block::bordered()).render(area, buf, state);
    EXPECT_EQ(state.selected, 4u);
    EXPECT_LE(state.offset, 4u);
    ListState empty_list{3, 3};
    List({}).render(area, buf, empty_list);
    EXPECT_EQ(empty_list, (ListState{std::nullopt, 0}));
  }
}

TEST(List, ShowsTheWindowAndHighlightsTheWholeSelectedRow) {
  Buffer buf(Rect{0, 0, 12, 5});
  ListState state{4, 0};
  const Style highlight = Style{}.background(Color::Blue).modifier(Modifier::Italic);
  List(numbered(6))
      .block(Block::bordered().title("COM Ports"))
      .highlight_style(highlight)
      .render(buf.area(), buf, state);
  EXPECT_EQ(state, (ListState{4, 2}));
  // clang-format off
  EXPECT_BUFFER_LINES(buf, {"┌COM Ports─┐",
                            "│item2     │",
                            "│item3     │",
                            "│item4     │",
                            "└──────────┘"});
  // clang-format on
  const auto highlighted = [](const Cell& c) {
    return c.bg == Color::Blue && has(c.modifier, Modifier::Italic);
  };
  // clang-format off
  EXPECT_BUFFER_MASK(buf, highlighted, {"............",
                                        "............",
                                        "............",
                                        ".##########.",
                                        "............"});
  // clang-format on
}

TEST(List, StyleCoversBorderTitleAndItems) {
  Buffer buf(Rect{0, 0, 8, 4});
  ListState state{0, 0};
  List({Line("a"), Line("b", fg(Color::Red))})
      .block(Block::bordered().title("B").border_style(fg(Color::DarkGray)))
      .style(fg(Color::DarkGray))
      .highlight_style(Style{}.background(Color::Blue))
      .render(buf.area(), buf, state);
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::DarkGray; },
                     {"########", "########", "#.######", "########"});
  EXPECT_EQ(buf.at(1, 2).fg, Color::Red);  // an item's own style wins over the list's
}

TEST(List, EmptyListShowsOnlyItsBox) {
  Buffer buf(Rect{0, 0, 6, 3});
  ListState state{0, 0};
  List({}).block(Block::bordered().title("P")).render(buf.area(), buf, state);
  EXPECT_BUFFER_LINES(buf, {"┌P───┐", "│    │", "└────┘"});
  EXPECT_EQ(state.selected, std::nullopt);
}

TEST(List, ItemsAreCutAtTheBoxEdge) {
  Buffer buf(Rect{0, 0, 6, 3});
  ListState state;
  List({Line("/dev/ttyACM0")}).block(Block::bordered()).render(buf.area(), buf, state);
  EXPECT_BUFFER_LINES(buf, {"┌────┐", "│/dev│", "└────┘"});
  EXPECT_EQ(state, ListState{});  // no selection stays none
}

}  // namespace
}  // namespace sparvik::widgets
