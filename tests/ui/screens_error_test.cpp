// The error screen: the stored error's screen text in the red box, the last status, message and
// details below it, and the footer.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/buffer_text.hpp"
#include "ui/screens_fixture.hpp"

namespace sparvik::screens_test {
namespace {

using widgets::Color;

class ErrorScreen : public ScreenTest {
 protected:
  void SetUp() override { app.menu = MenuState::ErrorReport; }

  // The text inside the lower box (rows 6 to 26, x 8 to 91), trailing blanks dropped.
  std::vector<std::string> lower_box() const {
    std::vector<std::string> out;
    for (std::uint16_t y = 6; y < 27; ++y) {
      std::string row;
      for (std::uint16_t x = 8; x < 92; ++x) row += cell(x, y).symbol;
      row.erase(row.find_last_not_of(' ') + 1);
      out.push_back(row);
    }
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
  }
};

TEST_F(ErrorScreen, WithNoErrorStoredShowsTheUnspecifiedText) {
  ASSERT_TRUE(draw());
  const std::string pad(7, ' ');
  const auto rule = [](std::string_view title) {
    std::string s = "┌" + std::string(title);
    for (std::size_t i = title.size(); i < 84; ++i) s += "─";
    return s + "┐";
  };
  std::string bottom = "└";
  for (int i = 0; i < 84; ++i) bottom += "─";
  bottom += "┘";
  const auto row = [&](std::string_view text) {
    return pad + "│" + std::string(text) + std::string(84 - text.size(), ' ') + "│" + pad;
  };
  std::vector<std::string> expected;
  expected.push_back(std::string(kWidth, ' '));
  expected.push_back(pad + rule("Status") + pad);
  expected.push_back(row("An unspecified error occured"));
  expected.push_back(pad + bottom + pad);
  expected.push_back(std::string(kWidth, ' '));
  expected.push_back(pad + rule("Status") + pad);
  expected.push_back(row("Last status: Uninitialised"));
  expected.push_back(row("Last message: "));
  while (expected.size() < 27) expected.push_back(row(""));
  expected.push_back(pad + bottom + pad);
  expected.push_back(std::string(kWidth, ' '));
  // "Press ↲ or q to exit" is 20 cells, centred in the 86 of the middle column.
  expected.push_back(std::string(7 + 33, ' ') + "Press ↲ or q to exit" + std::string(33 + 7, ' '));
  EXPECT_BUFFER_LINES(buffer, expected);

  EXPECT_EQ(app.menu, MenuState::ErrorReport);
  EXPECT_FALSE(info().error_raised.get().has_value());
}

TEST_F(ErrorScreen, RedBoxCarriesTheErrorTheLowerBoxTheDefaultColours) {
  info().set_error(SparvikUIError::NoPortSelected());
  ASSERT_TRUE(draw());
  // Border, title and text of the upper box (rows 1 to 3), and nothing else.
  std::vector<std::string> red(kHeight, std::string(kWidth, '.'));
  for (std::size_t y = 1; y <= 3; ++y)
    red[y] = std::string(7, '.') + std::string(86, '#') + std::string(7, '.');
  EXPECT_BUFFER_MASK(
      buffer, [](const widgets::Cell& c) { return c.fg == Color::Red; }, red);
  EXPECT_EQ(cell(8, 6).fg, Color::Reset);
  EXPECT_EQ(cell(7, 5).fg, Color::Reset);
}

struct StoredError {
  std::string name;
  SparvikUIError error;
  std::string screen_text;
  std::vector<std::string> details;
};
void PrintTo(const StoredError& c, std::ostream* os) {
  *os << c.name;
}

class ErrorTexts : public ErrorScreen, public ::testing::WithParamInterface<StoredError> {};

TEST_P(ErrorTexts, ShowScreenTextAndDetails) {
  const StoredError& c = GetParam();
  info().update_message("Reading version");
  info().set_connection_status(ConnectionStatus::ConnectionFailure);
  info().set_error(c.error);
  ASSERT_TRUE(draw());
  // Inside the red box, cut at its right border.
  std::string shown;
  for (std::uint16_t x = 8; x < 92; ++x) shown += cell(x, 2).symbol;
  EXPECT_EQ(shown, (c.screen_text + std::string(84, ' ')).substr(0, 84));
  std::vector<std::string> expected{"Last status: ConnectionFailure",
                                    "Last message: Reading version"};
  expected.insert(expected.end(), c.details.begin(), c.details.end());
  EXPECT_EQ(lower_box(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ErrorTexts,
    ::testing::Values(
        StoredError{
            "ScanErrorShowsTheWrappedHint",
            SparvikUIError::ScanError(SparvikError::NoVersionFound()),
            "An error forbid the gathering of the version, check your TinySA is connected "
            "and powered on",
            {"Error: ScanError(NoVersionFound)", " => An error occured while trying to scan:",
             " => Couldn't acquire the version of the device connected to the specified "
             "port"}},
        StoredError{"UninitializedItemListNamesTheItem",
                    SparvikUIError::UninitializedItemList({"Port", 305, "src/ui"}),
                    "The item Port was left uninitialized",
                    {R"(Error: UninitializedItemList("Port", 305, "src/ui"))",
                     " => The item list (Port) wasn't initialyzed (src/ui:305)"}},
        StoredError{"ParseBegginingKeepsItsPayloadInTheDetails",
                    SparvikUIError::ScanError(SparvikError::ParseBeggining("{")),
                    "An error occured while receiving data, the scan never sent back any valid "
                    "data",
                    {R"(Error: ScanError(ParseBeggining("{")))",
                     " => An error occured while trying to scan:",
                     " => Couldn't parse the beggining of the data ({)"}}),
    [](const auto& param) { return param.param.name; });

TEST_F(ErrorScreen, DetailsLineKeepsTheBlankBeforeTheLineBreak) {
  info().set_error(SparvikUIError::NoReturnData());
  ASSERT_TRUE(draw());
  const auto row = row_of("│Error: NoReturnData");
  ASSERT_TRUE(row);
  const auto column = column_of(*row, "Error: NoReturnData");
  ASSERT_TRUE(column);
  EXPECT_EQ(cell(*column + 19, *row).symbol, " ");
}

// A failure met before any worker ran, here the sweep start on an empty port list.
TEST(ErrorScreenBeforeTheWorker, ShowsUninitialisedAndAnEmptyMessage) {
  ScreenHarness h(std::vector<std::string>{});
  ASSERT_TRUE(h.app.update_color());
  ASSERT_TRUE(h.draw());  // clears the selection of the empty port list
  ASSERT_TRUE(h.app.next_step());
  const auto started = h.app.next_step();
  ASSERT_FALSE(started);
  // What the run loop does with a key action's failure.
  h.info().set_error(started.error());
  h.app.menu = MenuState::ErrorReport;

  ASSERT_TRUE(h.draw());
  EXPECT_EQ(h.row_of("│No connection port was selected"), std::optional<std::uint16_t>{2});
  const auto rows = h.lines();
  EXPECT_EQ(rows[6], std::string(7, ' ') + "│Last status: Uninitialised" + std::string(58, ' ') +
                         "│" + std::string(7, ' '));
  EXPECT_EQ(rows[7], std::string(7, ' ') + "│Last message: " + std::string(70, ' ') + "│" +
                         std::string(7, ' '));
  EXPECT_TRUE(h.row_of("│Error: NoPortSelected "));
  EXPECT_TRUE(h.row_of("│ => No port was selected"));
}

TEST_F(ErrorScreen, WithoutARecordDrawReturnsTheError) {
  app.connection_info.reset();
  const auto result = draw();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind(), SparvikUIError::Kind::NoConnectionInfoCreated);
}

}  // namespace
}  // namespace sparvik::screens_test
