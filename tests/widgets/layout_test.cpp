// The constraint allocator, pinned by a table: sizes per part, and the parts tile the area.
#include "widgets/core/layout.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace sparvik::widgets {
namespace {

using C = Constraint;

struct LayoutCase {
  std::string name;
  Direction direction;
  std::uint16_t space;  // width for columns, height for rows
  std::vector<Constraint> constraints;
  std::vector<std::uint16_t> sizes;
};

std::ostream& operator<<(std::ostream& os, const LayoutCase& c) {
  return os << c.name;
}

class SplitTable : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SplitTable, SizesAndTiling) {
  const LayoutCase& c = GetParam();
  const bool horizontal = c.direction == Direction::Horizontal;
  // An off-origin area, so positions are checked relative to it.
  const Rect area = horizontal ? Rect{3, 2, c.space, 7} : Rect{3, 2, 7, c.space};
  std::vector<Rect> parts(c.constraints.size());
  split_into(area, c.direction, c.constraints, parts);

  std::vector<std::uint16_t> sizes;
  std::uint32_t next = horizontal ? area.x : area.y;
  for (const Rect& p : parts) {
    sizes.push_back(horizontal ? p.width : p.height);
    // In order, without gaps or overlap, the other dimension untouched.
    EXPECT_EQ(horizontal ? p.x : p.y, next);
    EXPECT_EQ(horizontal ? p.y : p.x, horizontal ? area.y : area.x);
    EXPECT_EQ(horizontal ? p.height : p.width, 7);
    next += horizontal ? p.width : p.height;
  }
  EXPECT_LE(next, std::uint32_t{horizontal ? area.right() : area.bottom()});
  EXPECT_EQ(sizes, c.sizes);
}

const auto H = Direction::Horizontal;
const auto V = Direction::Vertical;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Layout, SplitTable,
    ::testing::Values(
        // The column frame of every screen.
        LayoutCase{"frame_100_wide", H, 100, {C::min(7), C::percentage(100), C::min(7)}, {7, 86, 7}},
        LayoutCase{"frame_14_wide", H, 14, {C::min(7), C::percentage(100), C::min(7)}, {7, 0, 7}},
        LayoutCase{"frame_10_wide", H, 10, {C::min(7), C::percentage(100), C::min(7)}, {7, 0, 3}},
        LayoutCase{"frame_5_wide", H, 5, {C::min(7), C::percentage(100), C::min(7)}, {5, 0, 0}},
        LayoutCase{"frame_zero_wide", H, 0, {C::min(7), C::percentage(100), C::min(7)}, {0, 0, 0}},
        LayoutCase{"frame90_100_wide", H, 100, {C::min(7), C::percentage(90), C::min(7)}, {7, 86, 7}},
        // Free space shared evenly by the Min parts; the first takes the odd cell.
        LayoutCase{"frame90_200_wide", H, 200, {C::min(7), C::percentage(90), C::min(7)},
                   {10, 180, 10}},
        LayoutCase{"frame90_201_wide", H, 201, {C::min(7), C::percentage(90), C::min(7)},
                   {10, 181, 10}},
        LayoutCase{"frame90_81_wide", H, 81, {C::min(7), C::percentage(90), C::min(7)},
                   {7, 67, 7}},
        LayoutCase{"three_mins", H, 10, {C::min(0), C::min(0), C::min(0)}, {4, 3, 3}},
        // Percentages that add up to 100 fill the area; an odd cell goes to the first part whose
        // running share rounds up.
        LayoutCase{"halves_of_11", H, 11, {C::percentage(50), C::percentage(50)}, {6, 5}},
        LayoutCase{"halves_of_10", H, 10, {C::percentage(50), C::percentage(50)}, {5, 5}},
        LayoutCase{"halves_of_1", H, 1, {C::percentage(50), C::percentage(50)}, {1, 0}},
        LayoutCase{"halves_of_zero", H, 0, {C::percentage(50), C::percentage(50)}, {0, 0}},
        LayoutCase{"quarters_of_86", H, 86,
                   {C::percentage(25), C::percentage(25), C::percentage(25), C::percentage(25)},
                   {22, 21, 22, 21}},
        LayoutCase{"quarters_of_66", H, 66,
                   {C::percentage(25), C::percentage(25), C::percentage(25), C::percentage(25)},
                   {17, 16, 17, 16}},
        LayoutCase{"quarters_of_67", H, 67,
                   {C::percentage(25), C::percentage(25), C::percentage(25), C::percentage(25)},
                   {17, 17, 16, 17}},
        LayoutCase{"quarters_of_3", H, 3,
                   {C::percentage(25), C::percentage(25), C::percentage(25), C::percentage(25)},
                   {1, 1, 0, 1}},
        LayoutCase{"thirds_of_10", V, 10,
                   {C::percentage(33), C::percentage(34), C::percentage(33)}, {3, 4, 3}},
        // Below 100 percent and without a Min part, the rest stays free.
        LayoutCase{"half_alone", H, 11, {C::percentage(50)}, {6}},
        // Lengths first, then percentages of the whole area as far as they fit, then Min parts.
        LayoutCase{"halves_after_length", H, 21, {C::length(5), C::percentage(50), C::percentage(50)},
                   {5, 11, 5}},
        LayoutCase{"halves_around_min", H, 21,
                   {C::percentage(50), C::min(3), C::percentage(50)}, {11, 3, 7}},
        LayoutCase{"half_and_min", H, 21, {C::percentage(50), C::min(3)}, {11, 10}},
        LayoutCase{"over_100_percent", H, 10, {C::percentage(150)}, {10}},
        LayoutCase{"percent_after_length", H, 10, {C::length(8), C::percentage(50)}, {8, 2}},
        LayoutCase{"length_only", H, 10, {C::length(4)}, {4}},
        LayoutCase{"no_constraints", H, 10, {}, {}},
        // Rows of the screens.
        LayoutCase{"sweep_rows_30", V, 30,
                   {C::length(3), C::length(1), C::min(10), C::length(1), C::length(1)},
                   {3, 1, 24, 1, 1}},
        LayoutCase{"connection_rows_30", V, 30,
                   {C::length(1), C::length(3), C::length(1), C::min(10), C::length(1)},
                   {1, 3, 1, 24, 1}},
        LayoutCase{"four_rows_30", V, 30, {C::length(3), C::length(1), C::min(10), C::length(1)},
                   {3, 1, 25, 1}},
        LayoutCase{"four_rows_10", V, 10, {C::length(3), C::length(1), C::min(10), C::length(1)},
                   {3, 1, 6, 0}},
        LayoutCase{"setup_rows_12", V, 12,
                   {C::length(1), C::length(3), C::length(1), C::length(3), C::min(0),
                    C::length(1)},
                   {1, 3, 1, 3, 3, 1}},
        LayoutCase{"setup_rows_5", V, 5,
                   {C::length(1), C::length(3), C::length(1), C::length(3), C::min(0),
                    C::length(1)},
                   {1, 3, 1, 0, 0, 0}},
        LayoutCase{"sweep_rows_zero_high", V, 0,
                   {C::length(3), C::length(1), C::min(10), C::length(1), C::length(1)},
                   {0, 0, 0, 0, 0}}),
    [](const ::testing::TestParamInfo<LayoutCase>& param) { return param.param.name; });
// clang-format on

// What the screens split: whole rows of percentages, alone or between Min columns. At every size
// the parts cover the area exactly, each within a cell of its share, and the same on every call.
TEST(Layout, PercentagesThatMakeAHundredFillEveryWidth) {
  const std::vector<std::vector<Constraint>> rows{
      {C::percentage(50), C::percentage(50)},
      {C::percentage(25), C::percentage(25), C::percentage(25), C::percentage(25)},
      {C::percentage(10), C::percentage(60), C::percentage(30)},
      {C::percentage(100)}};
  for (const auto& row : rows) {
    for (std::uint16_t width = 0; width <= 300; ++width) {
      std::vector<Rect> parts(row.size());
      split_into(Rect{1, 0, width, 1}, Direction::Horizontal, row, parts);
      std::vector<Rect> again(row.size());
      split_into(Rect{1, 0, width, 1}, Direction::Horizontal, row, again);
      EXPECT_EQ(parts, again);
      std::uint32_t covered = 0;
      for (std::size_t i = 0; i < row.size(); ++i) {
        const double share = width * row[i].value / 100.0;
        EXPECT_LT(std::abs(parts[i].width - share), 1.0) << "width " << width << ", part " << i;
        covered += parts[i].width;
      }
      EXPECT_EQ(covered, width);
      EXPECT_EQ(parts.back().right(), 1 + width);
    }
  }
}

TEST(Layout, AreaAtTheCoordinateLimitStaysInside) {
  const auto parts =
      split(Rect{65530, 0, 5, 1}, Direction::Horizontal, {C::min(3), C::min(3), C::length(2)});
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0], (Rect{65530, 0, 3, 1}));
  EXPECT_EQ(parts[1], (Rect{65533, 0, 2, 1}));
  EXPECT_EQ(parts[2], (Rect{65535, 0, 0, 1}));
}

}  // namespace
}  // namespace sparvik::widgets
