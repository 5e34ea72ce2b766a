// The line gauge: ratio sanitising and the split of the line into filled and unfilled cells.
#include "widgets/line_gauge.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/buffer_text.hpp"

namespace sparvik::widgets {
namespace {

LineGauge progress_gauge() {
  return LineGauge{}
      .label("Progress:")
      .filled_style(fg(Color::Blue))
      .unfilled_style(fg(Color::Red));
}

TEST(LineGauge, RatioIsClampedAndNanIsZero) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, double> cases[] = {{0.0, 0.0},  {1.0, 1.0},         {0.37, 0.37},
                                             {-0.2, 0.0}, {1.7, 1.0},         {inf, 1.0},
                                             {-inf, 0.0}, {std::nan(""), 0.0}};
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(LineGauge{}.ratio(in).get_ratio(), out) << in;
  }
}

TEST(LineGauge, FilledCellsAreTheFloorOfRatioTimesLineWidth) {
  // 20 cells: "Progress:" (9), a blank, then a line of 10 cells.
  struct Case {
    double ratio;
    const char* blue;
  };
  // clang-format off
  const Case cases[] = {
      {0.0, "...................."},
      {0.05, "...................."},
      {0.1, "..........#........."},
      {0.55, "..........#####....."},
      {0.99, "..........#########."},
      {1.0, "..........##########"},
      {std::nan(""), "...................."},
      {2.0, "..........##########"},
  };
  // clang-format on
  for (const Case& c : cases) {
    Buffer buf(Rect{0, 0, 20, 1});
    progress_gauge().ratio(c.ratio).render(buf.area(), buf);
    EXPECT_BUFFER_LINES(buf, {"Progress: ──────────"});
    EXPECT_BUFFER_MASK(buf, [](const Cell& cell) { return cell.fg == Color::Blue; }, {c.blue})
        << "ratio " << c.ratio;
    // Every line cell is either filled or unfilled.
    std::string red;
    for (const char ch : std::string(c.blue)) red += ch == '#' ? '.' : '#';
    red.replace(0, 10, "..........");
    EXPECT_BUFFER_MASK(buf, [](const Cell& cell) { return cell.fg == Color::Red; }, {red})
        << "ratio " << c.ratio;
  }
}

TEST(LineGauge, WithoutLabelTheLineTakesTheWholeRow) {
  Buffer buf(Rect{0, 0, 4, 2});
  LineGauge{}.ratio(0.5).filled_style(fg(Color::Blue)).render(buf.area(), buf);
  EXPECT_BUFFER_LINES(buf, {"────", "    "});
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Blue; }, {"##..", "...."});
}

TEST(LineGauge, LongLabelIsCutAndLeavesNoLine) {
  for (const std::uint16_t width : {9, 10}) {
    Buffer buf(Rect{0, 0, width, 1});
    progress_gauge().ratio(1.0).render(buf.area(), buf);
    EXPECT_EQ(buf.lines().at(0), std::string("Progress:") + (width == 10 ? " " : ""));
  }
}

TEST(LineGauge, DrawsInsideItsBlockAndNotIntoEmptyAreas) {
  Buffer buf(Rect{0, 0, 14, 3});
  progress_gauge().ratio(0.5).block(Block::bordered()).render(buf.area(), buf);
  EXPECT_BUFFER_LINES(buf, {"┌────────────┐", "│Progress: ──│", "└────────────┘"});
  EXPECT_EQ(buf.at(11, 1).fg, Color::Blue);
  EXPECT_EQ(buf.at(12, 1).fg, Color::Red);

  Buffer untouched(Rect{0, 0, 5, 1});
  progress_gauge().ratio(1.0).render(Rect{0, 0, 0, 1}, untouched);
  progress_gauge().ratio(1.0).block(Block::bordered()).render(Rect{0, 0, 5, 1}, untouched);
  EXPECT_EQ(untouched.to_text().find("Pro"), std::string::npos);  // no room inside the block
}

}  // namespace
}  // namespace sparvik::widgets
