// Focus moves, list navigation, counter steps and the colours of the connection screen's lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ui_struct/app_info.hpp"
#include "widgets/core/buffer.hpp"

namespace sparvik {
namespace {

using widgets::Color;
constexpr std::size_t largest_index = std::numeric_limits<std::size_t>::max();

AppInfo fresh_app() {
  return AppInfo::build({"/dev/ttyS0", "/dev/ttyS1", "COM3"}, std::nullopt);
}

struct FocusCase {
  const char* name;
  MenuState menu;
  std::uint8_t focus;
  MoveDirection direction;
  std::uint8_t expected_focus;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const FocusCase& c, std::ostream* os) {
  *os << c.name;
}

class NextMenuFocus : public ::testing::TestWithParam<FocusCase> {};

TEST_P(NextMenuFocus, MovesWithinTheScreen) {
  const FocusCase& c = GetParam();
  AppInfo app = fresh_app();
  app.menu = c.menu;
  app.selected_widget = c.focus;
  ASSERT_TRUE(app.next_menu(c.direction).has_value());
  EXPECT_EQ(app.selected_widget, c.expected_focus);
  EXPECT_EQ(app.menu, c.menu);
}

using enum MenuState;
using enum MoveDirection;

INSTANTIATE_TEST_SUITE_P(
    Actions, NextMenuFocus,
    ::testing::Values(FocusCase{"PortsRight", ConnectionSetup, 0, Right, 1},
                      FocusCase{"BaudsRightStays", ConnectionSetup, 1, Right, 1},
                      FocusCase{"BaudsLeft", ConnectionSetup, 1, Left, 0},
                      FocusCase{"PortsLeftStays", ConnectionSetup, 0, Left, 0},
                      FocusCase{"StrayFocusRight", ConnectionSetup, 7, Right, 1},
                      FocusCase{"StrayFocusLeft", ConnectionSetup, 7, Left, 0},
                      FocusCase{"StartLeftStays", ScanSetup, 0, Left, 0},
                      FocusCase{"StartRight", ScanSetup, 0, Right, 1},
                      FocusCase{"PointsRight", ScanSetup, 2, Right, 3},
                      FocusCase{"RepeatRightStays", ScanSetup, 3, Right, 3},
                      FocusCase{"RepeatLeft", ScanSetup, 3, Left, 2},
                      FocusCase{"ResultUnchanged", ScanResult, 1, Right, 1},
                      FocusCase{"RunningUnchanged", ScanRunning, 0, Right, 0},
                      FocusCase{"ErrorUnchanged", ErrorReport, 2, Left, 2}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(Actions, NextMenuRefusesAFocusThatNamesNoField) {
  AppInfo app = fresh_app();
  app.menu = ScanSetup;
  app.selected_widget = 9;
  auto moved = app.next_menu(Left);
  ASSERT_FALSE(moved.has_value());
  EXPECT_EQ(moved.error().kind(), SparvikUIError::Kind::MenuSelectionError);
  EXPECT_EQ(app.selected_widget, 9);
}

// The colour a list shows: its own style, patched over the whole area when drawn.
std::optional<Color> list_colour(const widgets::List& list) {
  return list.get_style().fg;
}

std::string title_of(const widgets::List& list) {
  const auto& block = list.get_block();
  if (!block || !block->title_line() || block->title_line()->spans.empty()) return "<none>";
  return block->title_line()->spans.front().content;
}

// Draws only the list's box and reads back the corner's colour and the top row.
struct DrawnBox {
  Color corner;
  std::string top_row;
};
DrawnBox draw_box(const widgets::List& list) {
  widgets::Buffer buf(widgets::Rect{0, 0, 14, 3});
  list.get_block()->render(buf.area(), buf);
  return {buf.at(0, 0).fg, buf.lines().at(0)};
}

TEST(Actions, FocusMoveRecoloursBothLists) {
  AppInfo app = fresh_app();
  ASSERT_TRUE(app.update_color().has_value());
  EXPECT_EQ(list_colour(*app.port_list_widget), Color::White);
  EXPECT_EQ(list_colour(*app.baudrate_list_widget), Color::DarkGray);
  EXPECT_EQ(title_of(*app.port_list_widget), "COM Ports");
  EXPECT_EQ(title_of(*app.baudrate_list_widget), "Baudrate");

  ASSERT_TRUE(app.next_menu(Right).has_value());
  EXPECT_EQ(list_colour(*app.port_list_widget), Color::DarkGray);
  EXPECT_EQ(list_colour(*app.baudrate_list_widget), Color::White);
  EXPECT_EQ(draw_box(*app.port_list_widget).corner, Color::DarkGray);
  EXPECT_EQ(draw_box(*app.baudrate_list_widget).corner, Color::White);
  EXPECT_EQ(title_of(*app.port_list_widget), "COM Ports");
  EXPECT_EQ(title_of(*app.baudrate_list_widget), "Baudrate");

  ASSERT_TRUE(app.next_menu(Left).has_value());
  EXPECT_EQ(list_colour(*app.port_list_widget), Color::White);
  EXPECT_EQ(list_colour(*app.baudrate_list_widget), Color::DarkGray);
}

TEST(Actions, ChangeColorReplacesBoxAndStyleOnly) {
  const AppInfo app = fresh_app();
  const widgets::List before = *app.port_list_widget;
  const widgets::List after = AppInfo::change_color("Fresh", before, Color::Yellow);

  EXPECT_EQ(after.get_style(), widgets::fg(Color::Yellow));
  EXPECT_EQ(after.get_highlight_style(), before.get_highlight_style());
  ASSERT_EQ(after.items().size(), before.items().size());
  for (std::size_t i = 0; i < after.items().size(); ++i) {
    EXPECT_EQ(after.items()[i].spans.at(0).content, before.items()[i].spans.at(0).content);
  }
  ASSERT_TRUE(after.get_block().has_value());
  EXPECT_TRUE(after.get_block()->has_borders());
  EXPECT_EQ(title_of(after), "Fresh");
  const DrawnBox box = draw_box(after);
  EXPECT_EQ(box.corner, Color::Yellow);
  EXPECT_NE(box.top_row.find("Fresh"), std::string::npos) << box.top_row;
}

TEST(Actions, UpdateColorLeavesOtherScreensAlone) {
  AppInfo app = fresh_app();
  app.menu = ScanSetup;
  app.port_list_widget.reset();
  ASSERT_TRUE(app.update_color().has_value());
  EXPECT_FALSE(app.port_list_widget.has_value());
  EXPECT_EQ(title_of(*app.baudrate_list_widget), "Baudrates");
}

struct MissingWidgetCase {
  const char* name;
  bool drop_ports;
  bool drop_bauds;
  const char* item;
  std::uint32_t line;
  bool baud_widget_left;  // the check for the ports comes before the baud widget is taken out
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const MissingWidgetCase& c, std::ostream* os) {
  *os << c.name;
}

class UpdateColorMissing : public ::testing::TestWithParam<MissingWidgetCase> {};

TEST_P(UpdateColorMissing, FailsWithoutPuttingAWidgetBack) {
  const MissingWidgetCase& c = GetParam();
  AppInfo app = fresh_app();
  if (c.drop_ports) app.port_list_widget.reset();
  if (c.drop_bauds) app.baudrate_list_widget.reset();

  auto coloured = app.update_color();
  ASSERT_FALSE(coloured.has_value());
  EXPECT_EQ(coloured.error().kind(), SparvikUIError::Kind::UninitializedItemList);
  const auto* where = coloured.error().payload<SparvikUIError::ItemLocation>();
  ASSERT_NE(where, nullptr);
  EXPECT_STREQ(where->item, c.item);
  EXPECT_EQ(where->line, c.line);
  EXPECT_STREQ(where->file, "src/ui_struct");
  EXPECT_FALSE(app.port_list_widget.has_value());
  EXPECT_EQ(app.baudrate_list_widget.has_value(), c.baud_widget_left);
  if (c.baud_widget_left) {
    EXPECT_EQ(title_of(*app.baudrate_list_widget), "Baudrates");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, UpdateColorMissing,
    ::testing::Values(MissingWidgetCase{"PortsMissing", true, false, "Port List", 389, true},
                      MissingWidgetCase{"BaudsMissingDropsPortsToo", false, true, "Baudrate", 392,
                                        false},
                      MissingWidgetCase{"BothMissing", true, true, "Port List", 389, false}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(Actions, NextMenuReportsAMissingWidget) {
  AppInfo app = fresh_app();
  app.baudrate_list_widget.reset();
  auto moved = app.next_menu(Right);
  ASSERT_FALSE(moved.has_value());
  EXPECT_EQ(moved.error().kind(), SparvikUIError::Kind::UninitializedItemList);
}

struct CursorCase {
  const char* name;
  std::uint8_t focus;
  std::optional<std::size_t> selected;
  bool down;
  std::size_t expected;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const CursorCase& c, std::ostream* os) {
  *os << c.name;
}

class ListCursor : public ::testing::TestWithParam<CursorCase> {};

TEST_P(ListCursor, MovesOnlyTheFocusedList) {
  const CursorCase& c = GetParam();
  AppInfo app = fresh_app();
  app.selected_widget = c.focus;
  widgets::ListState& moved = c.focus == 0 ? app.port_list.state : app.baudrate_list.state;
  moved.select(c.selected);
  const widgets::ListState other_before =
      c.focus == 0 ? app.baudrate_list.state : app.port_list.state;

  app.change_cursor_position(c.down);
  EXPECT_EQ(moved.selected, c.expected);
  EXPECT_EQ(c.focus == 0 ? app.baudrate_list.state : app.port_list.state, other_before);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ListCursor,
    ::testing::Values(CursorCase{"DownFromNone", 0, std::nullopt, true, 0},
                      CursorCase{"UpFromNone", 0, std::nullopt, false, largest_index},
                      CursorCase{"DownNext", 0, 1, true, 2},
                      CursorCase{"DownPastEndLeftForDrawing", 0, 2, true, 3},
                      CursorCase{"DownSaturates", 0, largest_index, true, largest_index},
                      CursorCase{"UpPrevious", 0, 2, false, 1},
                      CursorCase{"UpStaysAtZero", 0, 0, false, 0},
                      CursorCase{"BaudDown", 1, 3, true, 4}, CursorCase{"BaudUp", 1, 3, false, 2},
                      CursorCase{"BaudUpFromNone", 1, std::nullopt, false, largest_index}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// Navigation overshoots; drawing the list pulls the selection back onto a row.
TEST(Actions, OvershootIsPulledBackByTheNextDraw) {
  AppInfo app = fresh_app();
  app.port_list.state.select(std::nullopt);
  app.change_cursor_position(false);
  widgets::Buffer buf(widgets::Rect{0, 0, 20, 6});
  app.port_list_widget->render(buf.area(), buf, app.port_list.state);
  EXPECT_EQ(app.port_list.state.selected, 2u);

  app.change_cursor_position(true);
  app.port_list_widget->render(buf.area(), buf, app.port_list.state);
  EXPECT_EQ(app.port_list.state.selected, 2u);
}

TEST(Actions, CursorStepsTheFocusedCounter) {
  for (std::uint8_t field = 0; field < 4; ++field) {
    for (bool down : {true, false}) {
      AppInfo app = fresh_app();
      app.menu = ScanSetup;
      app.selected_widget = field;
      app.start_frequency.value = 500;
      app.stop_frequency.value = 500;
      app.points.value = 5001;
      app.repeat.value = 50;
      const UIUsize before[] = {app.start_frequency, app.stop_frequency, app.points, app.repeat};

      app.change_cursor_position(down);
      const UIUsize after[] = {app.start_frequency, app.stop_frequency, app.points, app.repeat};
      for (std::uint8_t i = 0; i < 4; ++i) {
        const std::uint64_t expected = i != field ? before[i].value
                                                  : (down ? before[i].value - before[i].step
                                                          : before[i].value + before[i].step);
        EXPECT_EQ(after[i].value, expected)
            << "focus " << int{field} << (down ? " down" : " up") << ", counter " << int{i};
      }
    }
  }
}

TEST(Actions, CursorDoesNothingOnOtherScreens) {
  for (MenuState screen : {ScanResult, ScanRunning, ErrorReport}) {
    for (bool down : {true, false}) {
      AppInfo app = fresh_app();
      app.menu = screen;
      const AppInfo before = app;
      app.change_cursor_position(down);
      EXPECT_EQ(app.port_list.state, before.port_list.state);
      EXPECT_EQ(app.baudrate_list.state, before.baudrate_list.state);
      EXPECT_EQ(app.start_frequency.value, before.start_frequency.value);
      EXPECT_EQ(app.stop_frequency.value, before.stop_frequency.value);
      EXPECT_EQ(app.points.value, before.points.value);
      EXPECT_EQ(app.repeat.value, before.repeat.value);
      EXPECT_EQ(app.menu, screen);
    }
  }
}

TEST(Actions, CursorIgnoresAFocusThatNamesNoField) {
  AppInfo app = fresh_app();
  app.menu = ScanSetup;
  app.selected_widget = 4;
  app.change_cursor_position(false);
  EXPECT_EQ(app.start_frequency.value, 240u);
  EXPECT_EQ(app.stop_frequency.value, 960u);
  EXPECT_EQ(app.points.value, 10001u);
  EXPECT_EQ(app.repeat.value, 1u);
}

}  // namespace
}  // namespace sparvik
