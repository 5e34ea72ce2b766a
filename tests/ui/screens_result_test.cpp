// The result screen: the summary, the chart over the sweep points with its axis labels, the
// footer, and the hand-over of a failed sweep to the error screen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ui/screens.hpp"
#include "ui/screens_fixture.hpp"

namespace sparvik::screens_test {
namespace {

using widgets::Color;

// Rows of the result screen at 100x30: summary 0-2, chart 4-27, footer 29; middle x 7 to 92.
constexpr std::uint16_t kChartTop = 4;
constexpr std::uint16_t kChartBottom = 27;

class ResultScreen : public ScreenTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(start_sweep());
    info().update_message("Scan exported");
    info().return_data.set(SweepPoints{{240.0, -100.0}, {600.0, -64.0}, {960.0, -10.0}});
    info().set_connection_status(ConnectionStatus::ClosedWithSuccess);
    ASSERT_TRUE(draw());
    ASSERT_EQ(app.menu, MenuState::ScanResult);
  }

  // Cells drawn in `color` with a non-blank symbol, and whether all of them lie in the chart rows.
  std::pair<std::size_t, bool> marks(Color color) const {
    std::size_t n = 0;
    bool inside = true;
    for (std::uint16_t y = 0; y < kHeight; ++y) {
      for (std::uint16_t x = 0; x < kWidth; ++x) {
        if (cell(x, y).fg != color || cell(x, y).symbol == " ") continue;
        ++n;
        inside = inside && y >= kChartTop && y <= kChartBottom && x >= 7 && x < 93;
      }
    }
    return {n, inside};
  }
};

TEST_F(ResultScreen, SummaryShowsTheCountersInMegahertz) {
  ASSERT_TRUE(draw());
  const auto rows = lines();
  EXPECT_EQ(rows[0].find("┌Status"), 7u);
  EXPECT_NE(rows[1].find("│The scan of 10001 points in the range (240Mhz - 960Mhz) finished "
                         "sucessfuly"),
            std::string::npos);
  EXPECT_EQ(cell(7, 0).fg, Color::White);
  EXPECT_EQ(cell(8, 1).fg, Color::White);
  EXPECT_EQ(rows[3], std::string(kWidth, ' '));
  EXPECT_EQ(rows[28], std::string(kWidth, ' '));
}

TEST_F(ResultScreen, FooterCarriesTheLastStepMessageCentred) {
  ASSERT_TRUE(draw());
  const std::string footer = "Scan exported, press ↲ or q to exit";  // 35 cells
  EXPECT_EQ(lines()[29], std::string(7 + 25, ' ') + footer + std::string(26 + 7, ' '));
  EXPECT_EQ(cell(40, 29).fg, Color::Reset);
}

TEST_F(ResultScreen, ChartShowsTheLabelsAndTheYellowDotsInsideItsRows) {
  ASSERT_TRUE(draw());
  for (const char* label : {"240MHz", "600MHz", "960MHz", "-128dbm", "-64dbm", "0dbm"}) {
    const auto row = row_of(label);
    ASSERT_TRUE(row) << label;
    EXPECT_GE(*row, kChartTop) << label;
    EXPECT_LE(*row, kChartBottom) << label;
    const auto column = column_of(*row, label);
    ASSERT_TRUE(column);
    EXPECT_EQ(cell(*column, *row).fg, Color::Gray) << label;
  }
  // Labels run left to right and bottom to top.
  const auto x_row = *row_of("240MHz");
  EXPECT_LT(*column_of(x_row, "240MHz"), *column_of(x_row, "600MHz"));
  EXPECT_LT(*column_of(x_row, "600MHz"), *column_of(x_row, "960MHz"));
  EXPECT_GT(*row_of("-128dbm"), *row_of("-64dbm"));
  EXPECT_GT(*row_of("-64dbm"), *row_of("0dbm"));

  const auto [dots, inside] = marks(Color::Yellow);
  EXPECT_EQ(dots, 3u);
  EXPECT_TRUE(inside);
  // No legend: the dataset has no name.
  EXPECT_FALSE(row_of("Dataset"));
}

TEST_F(ResultScreen, NoPointsDrawNoDots) {
  app.scan_data.clear();
  ASSERT_TRUE(draw());
  EXPECT_EQ(marks(Color::Yellow).first, 0u);
  EXPECT_TRUE(row_of("960MHz"));
}

TEST_F(ResultScreen, PointsOutsideTheBoundsAreNotDrawnAndThoseInsideAre) {
  const double nan = std::nan("");
  // Points inside the bounds, away from the edges, and points that clamping onto the bounds would
  // put on each edge and corner of the graph.
  app.scan_data = {{420.0, -100.0}, {100.0, -64.0}, {2000.0, -64.0}, {600.0, -64.0},
                   {600.0, -200.0}, {600.0, 50.0},  {100.0, -200.0}, {2000.0, 50.0},
                   {nan, -64.0},    {780.0, -20.0}, {600.0, nan}};
  ASSERT_TRUE(draw());
  // The graph: right of the y axis and above the x axis, whose corner is the one "└".
  std::optional<std::pair<std::uint16_t, std::uint16_t>> corner;
  for (std::uint16_t y = kChartTop; y <= kChartBottom; ++y) {
    for (std::uint16_t x = 0; x < kWidth; ++x) {
      if (cell(x, y).symbol == "└") corner = {x, y};
    }
  }
  ASSERT_TRUE(corner);
  const auto [axis_x, axis_y] = *corner;
  const std::uint16_t left = axis_x + 1;
  const std::uint16_t right = 92;  // last column of the chart
  std::vector<std::pair<std::uint16_t, std::uint16_t>> dots;
  for (std::uint16_t y = kChartTop; y < axis_y; ++y) {
    for (std::uint16_t x = left; x <= right; ++x) {
      if (cell(x, y).symbol == "•") dots.emplace_back(x, y);
    }
  }
  ASSERT_EQ(dots.size(), 3u);
  for (const auto& [x, y] : dots) {
    EXPECT_EQ(cell(x, y).fg, Color::Yellow);
    EXPECT_TRUE(x != left && x != right && y != kChartTop && y + 1 != axis_y)
        << "dot on the graph's edge at " << x << "," << y;
  }
  EXPECT_EQ(marks(Color::Yellow).first, 3u);
}

TEST_F(ResultScreen, TheChartFollowsNewPointsAndBoundsBetweenPasses) {
  app.scan_data = {{600.0, -64.0}};
  ASSERT_TRUE(draw());
  const auto one = lines();
  // The same storage and count with other values, then other bounds: each pass shows its own.
  app.scan_data[0] = {300.0, -10.0};
  ASSERT_TRUE(draw());
  const auto moved = lines();
  EXPECT_NE(moved, one);
  app.scan_data[0] = {600.0, -64.0};
  ASSERT_TRUE(draw());
  EXPECT_EQ(lines(), one);
  app.start_frequency.value = 500;
  ASSERT_TRUE(draw());
  EXPECT_NE(lines(), one);
  EXPECT_EQ(marks(Color::Yellow).first, 1u);
}

TEST_F(ResultScreen, FailureStatusHandsOverWithoutDrawing) {
  info().set_connection_status(ConnectionStatus::ConnectionFailure);
  ASSERT_TRUE(draw());
  EXPECT_TRUE(blank());
  EXPECT_EQ(app.menu, MenuState::ErrorReport);
}

TEST_F(ResultScreen, EqualStartAndStopGiveThreeEqualLabels) {
  app.start_frequency.value = 500;
  app.stop_frequency.value = 500;
  app.scan_data = {{500.0, -50.0}};
  ASSERT_TRUE(draw());
  const auto row = row_of("500MHz");
  ASSERT_TRUE(row);
  const std::string text = lines()[*row];
  std::size_t count = 0;
  for (auto at = text.find("500MHz"); at != std::string::npos; at = text.find("500MHz", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 3u);
}

struct Labels {
  std::uint64_t start;
  std::uint64_t stop;
  std::array<std::string, 3> expected;
};
void PrintTo(const Labels& c, std::ostream* os) {
  *os << c.start << ".." << c.stop;
}

class FrequencyLabels : public ::testing::TestWithParam<Labels> {};

TEST_P(FrequencyLabels, AreStartMidpointAndStop) {
  const Labels& c = GetParam();
  EXPECT_EQ(screens::frequency_labels(c.start, c.stop), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, FrequencyLabels,
    ::testing::Values(
        Labels{240, 960, {"240MHz", "600MHz", "960MHz"}},
        Labels{1, 4, {"1MHz", "2MHz", "4MHz"}},  // rounds down
        Labels{500, 500, {"500MHz", "500MHz", "500MHz"}}, Labels{0, 10, {"0MHz", "5MHz", "10MHz"}},
        // Stop below start: the difference counts as 0.
        Labels{960, 240, {"960MHz", "960MHz", "240MHz"}},
        // No overflow at the ends of the range.
        Labels{UINT64_MAX - 1,
               UINT64_MAX,
               {"18446744073709551614MHz", "18446744073709551614MHz", "18446744073709551615MHz"}},
        Labels{0, UINT64_MAX, {"0MHz", "9223372036854775807MHz", "18446744073709551615MHz"}}));

}  // namespace
}  // namespace sparvik::screens_test
