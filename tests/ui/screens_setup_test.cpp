// The connection and parameters screens, the title box and the help line; the failure epilogue
// of draw.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/buffer_text.hpp"
#include "ui/screens_fixture.hpp"

namespace sparvik::screens_test {
namespace {

using widgets::Color;

constexpr std::string_view kFooter =
    "Use ↓↑ to move, ←→ to change status widget and ↲ to validate configuration.";

class ConnectionScreen : public ScreenTest {
 protected:
  void SetUp() override { ASSERT_TRUE(app.update_color()); }
};

// Text padded with blanks to `cells` cells.
std::string pad(std::string_view text, std::size_t cells) {
  return std::string(text) + std::string(cells - test_support::cell_count(text), ' ');
}
std::string repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST_F(ConnectionScreen, DrawsTitleListsAndFooterInTheMiddleColumn) {
  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ConnectionSetup);
  const std::string side(7, ' ');
  // The middle column is x 7 to 92; each list takes half of it, 43 cells.
  const auto lists = [&](std::string_view port, std::string_view rate) {
    return side + "│" + pad(port, 41) + "││" + pad(rate, 41) + "│" + side;
  };
  std::vector<std::string> expected{
      std::string(kWidth, ' '),
      side + "┌" + repeat("─", 84) + "┐" + side,
      side + "│" + pad("Sparvik version 0.1.1", 84) + "│" + side,
      side + "└" + repeat("─", 84) + "┘" + side,
      std::string(kWidth, ' '),
      side + "┌COM Ports" + repeat("─", 32) + "┐┌Baudrate" + repeat("─", 33) + "┐" + side,
      lists("/dev/ttyS0", "19200"),
      lists("/dev/ttyACM0", "38400"),
  };
  for (const char* rate :
       {"57600", "115200", "230400", "460800", "921600", "1843200", "2000000", "3000000"}) {
    expected.push_back(lists("", rate));
  }
  while (expected.size() < 28) expected.push_back(lists("", ""));
  expected.push_back(side + "└" + repeat("─", 41) + "┘└" + repeat("─", 41) + "┘" + side);
  expected.push_back(std::string(12, ' ') + std::string(kFooter) + std::string(13, ' '));
  EXPECT_BUFFER_LINES(buffer, expected);
}

TEST_F(ConnectionScreen, FocusedListIsWhiteTheOtherDarkGrayAndTheSelectionHighlighted) {
  for (const std::uint8_t focus : {0, 1}) {
    app.selected_widget = focus;
    ASSERT_TRUE(app.update_color());
    ASSERT_TRUE(draw());
    const Color port_color = focus == 0 ? Color::White : Color::DarkGray;
    const Color baud_color = focus == 1 ? Color::White : Color::DarkGray;
    EXPECT_EQ(cell(7, 5).fg, port_color) << "port box corner, focus " << int{focus};
    EXPECT_EQ(cell(8, 5).fg, port_color) << "port box title, focus " << int{focus};
    EXPECT_EQ(cell(50, 5).fg, baud_color) << "baud box corner, focus " << int{focus};
    EXPECT_EQ(cell(51, 28).fg, baud_color) << "baud box bottom, focus " << int{focus};
    // "/dev/ttyACM0" is preferred at start-up (row 7); 115200 is the default rate (row 9).
    EXPECT_EQ(cell(8, 7).bg, Color::Blue);
    EXPECT_TRUE(widgets::has(cell(8, 7).modifier, widgets::Modifier::Italic));
    EXPECT_NE(cell(8, 6).bg, Color::Blue);
    EXPECT_EQ(cell(51, 9).bg, Color::Blue);
    EXPECT_EQ(*row_of("115200"), 9);
  }
}

struct Selection {
  std::size_t ports;
  std::optional<std::size_t> port_before;
  std::optional<std::size_t> port_after;
  std::optional<std::size_t> baud_before;
  std::optional<std::size_t> baud_after;
};
void PrintTo(const Selection& c, std::ostream* os) {
  const auto show = [](std::optional<std::size_t> v) { return v ? std::to_string(*v) : "none"; };
  *os << c.ports << " ports, port " << show(c.port_before) << ", rate " << show(c.baud_before);
}

class ListClamping : public ::testing::TestWithParam<Selection> {};

TEST_P(ListClamping, DrawingPullsTheSelectionBackOntoTheList) {
  const Selection& c = GetParam();
  std::vector<std::string> ports;
  for (std::size_t i = 0; i < c.ports; ++i) ports.push_back("/dev/ttyUSB" + std::to_string(i));
  ScreenHarness f(ports);
  ASSERT_TRUE(f.app.update_color());
  f.app.port_list.state.select(c.port_before);
  f.app.baudrate_list.state.select(c.baud_before);
  ASSERT_TRUE(f.draw());
  EXPECT_EQ(f.app.port_list.state.selected, c.port_after);
  EXPECT_EQ(f.app.baudrate_list.state.selected, c.baud_after);
  if (!c.port_after) {
    EXPECT_EQ(f.app.port_list.state.offset, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, ListClamping,
                         ::testing::Values(Selection{2, 5, 1, 12, 9},  // past the end: last row
                                           Selection{2, 1, 1, 0, 0},   // in range: kept
                                           Selection{0, 0, std::nullopt, 3, 3},  // empty list: none
                                           Selection{0, std::nullopt, std::nullopt, std::nullopt,
                                                     std::nullopt},
                                           Selection{3, std::nullopt, std::nullopt, 10, 9}));

TEST_F(ConnectionScreen, EmptyPortListShowsAnEmptyBoxAndLosesItsSelection) {
  ScreenHarness f(std::vector<std::string>{});
  ASSERT_TRUE(f.app.update_color());
  ASSERT_EQ(f.app.port_list.state.selected, std::optional<std::size_t>{0});
  ASSERT_TRUE(f.draw());
  EXPECT_EQ(f.app.port_list.state.selected, std::nullopt);
  EXPECT_EQ(*f.row_of("COM Ports"), 5);
  // The inside of the port box (x 8 to 48, rows 6 to 27) is blank.
  for (std::uint16_t y = 6; y < 28; ++y) {
    for (std::uint16_t x = 8; x < 49; ++x) {
      EXPECT_EQ(f.cell(x, y).symbol, " ") << x << "," << y;
      EXPECT_NE(f.cell(x, y).bg, Color::Blue) << x << "," << y;
    }
  }
  EXPECT_EQ(f.app.port_list.selected_port().error().kind(), SparvikUIError::Kind::NoPortSelected);
}

TEST_F(ConnectionScreen, LongPortListScrollsToKeepTheSelectionVisible) {
  std::vector<std::string> ports;
  for (int i = 0; i < 60; ++i) ports.push_back("/dev/ttyUSB" + std::to_string(i));
  ScreenHarness f(ports);
  ASSERT_TRUE(f.app.update_color());
  f.app.port_list.state.select(99);
  ASSERT_TRUE(f.draw());
  ASSERT_EQ(f.app.port_list.state.selected, std::optional<std::size_t>{59});
  EXPECT_GT(f.app.port_list.state.offset, 0u);
  const auto row = f.row_of("/dev/ttyUSB59");
  ASSERT_TRUE(row);
  EXPECT_EQ(f.cell(8, *row).bg, Color::Blue);
  EXPECT_FALSE(f.row_of("/dev/ttyUSB0 "));
}

struct MissingWidget {
  bool port_widget;
  bool baud_widget;
  std::string debug;
};
void PrintTo(const MissingWidget& c, std::ostream* os) {
  *os << (c.port_widget ? "" : "no port list ") << (c.baud_widget ? "" : "no baud-rate list");
}

class MissingListWidget : public ScreenTest, public ::testing::WithParamInterface<MissingWidget> {};

TEST_P(MissingListWidget, IsStoredDrawsNothingAndTurnsToTheErrorScreen) {
  const MissingWidget& c = GetParam();
  if (!c.port_widget) app.port_list_widget.reset();
  if (!c.baud_widget) app.baudrate_list_widget.reset();
  ASSERT_TRUE(draw());
  EXPECT_TRUE(blank());
  EXPECT_EQ(app.menu, MenuState::ErrorReport);
  const auto stored = info().error_raised.get();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->debug(), c.debug);

  ASSERT_TRUE(draw());
  EXPECT_EQ(app.menu, MenuState::ErrorReport);
  EXPECT_TRUE(row_of("The item " + std::string(c.port_widget ? "Baud" : "Port") +
                     " was left uninitialized"));
}

INSTANTIATE_TEST_SUITE_P(
    Screens, MissingListWidget,
    ::testing::Values(MissingWidget{false, true, R"(UninitializedItemList("Port", 305, "src/ui"))"},
                      MissingWidget{true, false, R"(UninitializedItemList("Baud", 310, "src/ui"))"},
                      MissingWidget{false, false,
                                    R"(UninitializedItemList("Port", 305, "src/ui"))"}));

TEST_F(ScreenTest, FailureWithoutARecordIsReturnedAndLeavesTheScreen) {
  app.port_list_widget.reset();
  app.connection_info.reset();
  const auto result = draw();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind(), SparvikUIError::Kind::NoConnectionInfoCreated);
  EXPECT_EQ(app.menu, MenuState::ConnectionSetup);
}

TEST_F(ScreenTest, ParametersScreenShowsTheCountersInFourBoxes) {
  ASSERT_TRUE(app.next_step());
  ASSERT_EQ(app.menu, MenuState::ScanSetup);
  ASSERT_TRUE(draw());
  const auto rows = lines();
  EXPECT_EQ(rows[0], std::string(kWidth, ' '));
  EXPECT_NE(rows[2].find("│Sparvik version 0.1.1"), std::string::npos);
  EXPECT_EQ(rows[4], std::string(kWidth, ' '));
  // Four boxes from x 7 that fill the 86 cells of the title box: 22, 21, 22 and 21 cells.
  const std::string side(7, ' ');
  const std::string expected_boxes[] = {
      side + "┌Start Frequency" + repeat("─", 5) + "┐┌Stop Frequency" + repeat("─", 5) +
          "┐┌Points" + repeat("─", 14) + "┐┌Repeat" + repeat("─", 13) + "┐" + side,
      side + "│" + pad("240", 20) + "││" + pad("960", 19) + "││" + pad("10001", 20) + "││" +
          pad("1", 19) + "│" + side,
      side + "└" + repeat("─", 20) + "┘└" + repeat("─", 19) + "┘└" + repeat("─", 20) + "┘└" +
          repeat("─", 19) + "┘" + side,
  };
  EXPECT_EQ(rows[5], expected_boxes[0]);
  EXPECT_EQ(rows[6], expected_boxes[1]);
  EXPECT_EQ(rows[7], expected_boxes[2]);
  for (std::uint16_t y = 8; y < kHeight - 1; ++y) EXPECT_EQ(rows[y], std::string(kWidth, ' '));
  EXPECT_EQ(*row_of(kFooter), kHeight - 1);
}

// The cell columns of the top corners of the boxes on `line`, left to right.
std::vector<std::size_t> box_corners(std::string_view line) {
  std::vector<std::size_t> corners;
  std::size_t column = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
    if (line.substr(i).starts_with("┌") || line.substr(i).starts_with("┐")) {
      corners.push_back(column);
    }
    ++column;
  }
  return corners;
}

// The boxes under the title fill its width on both setup screens, whatever the width: side by
// side without a gap, from the title box's first column to its last.
TEST(SetupScreenWidths, BoxesUnderTheTitleEndInItsLastColumn) {
  for (const std::uint16_t width : {79, 80, 81, 120, 200}) {
    for (const MenuState menu : {MenuState::ConnectionSetup, MenuState::ScanSetup}) {
      ScreenHarness h;
      h.buffer = widgets::Buffer(widgets::Rect{0, 0, width, kHeight});
      ASSERT_TRUE(h.app.update_color());
      if (menu == MenuState::ScanSetup) {
        ASSERT_TRUE(h.app.next_step());
      }
      ASSERT_TRUE(h.draw());
      const auto rows = h.lines();
      const auto title = box_corners(rows[1]);
      const auto boxes = box_corners(rows[5]);
      SCOPED_TRACE(::testing::Message() << "width " << width << ", screen "
                                        << (menu == MenuState::ScanSetup ? "parameters" : "ports"));
      ASSERT_EQ(title.size(), 2u);
      ASSERT_EQ(boxes.size(), menu == MenuState::ScanSetup ? 8u : 4u);
      EXPECT_EQ(boxes.front(), title.front());
      EXPECT_EQ(boxes.back(), title.back());
      for (std::size_t i = 1; i + 1 < boxes.size(); i += 2) {
        EXPECT_EQ(boxes[i] + 1, boxes[i + 1]);
      }
    }
  }
}

TEST_F(ScreenTest, ParametersScreenColoursOnlyTheFocusedBoxWhite) {
  ASSERT_TRUE(app.next_step());
  for (std::uint8_t focus = 0; focus <= 4; ++focus) {
    app.selected_widget = focus;
    ASSERT_TRUE(draw());
    // The boxes start at x 7, 29, 50 and 72, and are at least 21 cells wide.
    const std::uint16_t starts[] = {7, 29, 50, 72};
    for (std::uint16_t column = 0; column < 4; ++column) {
      const std::uint16_t x = starts[column];
      const Color expected = column == focus ? Color::White : Color::DarkGray;
      // Border, title and value share the colour.
      EXPECT_EQ(cell(x, 5).fg, expected) << "focus " << int{focus} << " box " << column;
      EXPECT_EQ(cell(x + 1, 5).fg, expected) << "focus " << int{focus} << " box " << column;
      EXPECT_EQ(cell(x + 1, 6).fg, expected) << "focus " << int{focus} << " box " << column;
      EXPECT_EQ(cell(x + 20, 7).fg, expected) << "focus " << int{focus} << " box " << column;
    }
    // The title box and the help line keep the default colours.
    EXPECT_EQ(cell(8, 2).fg, Color::Reset);
    EXPECT_EQ(cell(7, 1).fg, Color::Reset);
  }
}

TEST_F(ConnectionScreen, HelpLineIsCentredAndTheSameOnBothSetupScreens) {
  ASSERT_TRUE(draw());
  const auto connection_footer = lines()[kHeight - 1];
  ASSERT_TRUE(app.next_step());
  ASSERT_TRUE(draw());
  EXPECT_EQ(lines()[kHeight - 1], connection_footer);
  // 75 cells centred in the 86 of the middle column (x 7 to 92): 5 blank cells left, 6 right.
  EXPECT_EQ(connection_footer, std::string(12, ' ') + std::string(kFooter) + std::string(13, ' '));
  EXPECT_EQ(cell(12, kHeight - 1).fg, Color::Reset);
}

TEST_F(ConnectionScreen, LongTitleIsCutAtTheRightBorder) {
  app.title = std::string(200, 'x');
  ASSERT_TRUE(draw());
  const auto rows = lines();
  EXPECT_EQ(rows[2], std::string(7, ' ') + "│" + std::string(84, 'x') + "│" + std::string(7, ' '));
}

}  // namespace
}  // namespace sparvik::screens_test
