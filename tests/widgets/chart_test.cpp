// Chart layout values, label placement and the mapping of points onto cells.
#include "widgets/chart.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "support/buffer_text.hpp"

namespace sparvik::widgets {
namespace {

using Points = std::vector<std::pair<double, double>>;

Axis axis(double low, double high, std::vector<std::string> labels = {}) {
  return Axis{{low, high}, std::move(labels), fg(Color::Gray)};
}

Chart level_chart(const Points& points) {
  return Chart({Dataset{std::nullopt, points, fg(Color::Yellow)}})
      .x_axis(axis(240, 960, {"240MHz", "600MHz", "960MHz"}))
      .y_axis(axis(-128, 0, {"-128dbm", "-64dbm", "0dbm"}));
}

struct LayoutCase {
  const char* name;
  Rect area;
  bool block;
  bool labels;
  ChartLayout expected;
};

TEST(ChartLayout, PlacesAxesLabelsAndGraph) {
  using std::nullopt;
  // clang-format off
  const LayoutCase cases[] = {
      {"labels on both axes", {0, 0, 40, 12}, false, true, {{8, 0, 32, 10}, 10, 7, 11, 7}},
      {"no labels: no axes", {0, 0, 40, 12}, false, false, {{0, 0, 40, 12}, nullopt, nullopt,
                                                            nullopt, 0}},
      {"inside a block", {5, 2, 42, 14}, true, true, {{14, 3, 32, 10}, 13, 13, 14, 7}},
      {"one row: x labels and axis dropped", {0, 0, 40, 1}, false, true,
       {{8, 0, 32, 1}, nullopt, 7, nullopt, 7}},
      {"two rows: x labels only", {0, 0, 40, 2}, false, true, {{8, 0, 32, 1}, nullopt, 7, 1, 7}},
      {"y labels as wide as the area are dropped", {0, 0, 7, 10}, false, true,
       {{1, 0, 6, 8}, 8, 0, 9, 0}},
      {"no column left for the y axis", {0, 0, 8, 10}, false, true,
       {{7, 0, 1, 8}, 8, nullopt, 9, 7}},
      {"zero width", {3, 3, 0, 5}, false, true, {{3, 3, 0, 0}, nullopt, nullopt, nullopt, 0}},
      {"zero height", {3, 3, 5, 0}, false, true, {{3, 3, 0, 0}, nullopt, nullopt, nullopt, 0}},
      {"block leaves nothing inside", {0, 0, 2, 9}, true, true,
       {{1, 1, 0, 0}, nullopt, nullopt, nullopt, 0}},
  };
  // clang-format on
  for (const LayoutCase& c : cases) {
    Chart chart({});
    if (c.labels) {
      chart.x_axis(axis(0, 1, {"a", "b"})).y_axis(axis(0, 1, {"-128dbm", "0dbm"}));
    }
    if (c.block) chart.block(Block::bordered());
    const ChartLayout got = chart.layout(c.area);
    EXPECT_EQ(got.graph, c.expected.graph) << c.name;
    EXPECT_EQ(got.axis_x_row, c.expected.axis_x_row) << c.name;
    EXPECT_EQ(got.axis_y_column, c.expected.axis_y_column) << c.name;
    EXPECT_EQ(got.label_x_row, c.expected.label_x_row) << c.name;
    EXPECT_EQ(got.label_y_width, c.expected.label_y_width) << c.name;
  }
}

TEST(Chart, DrawsAxesLabelsAndDots) {
  Buffer buf(Rect{0, 0, 20, 6});
  const Points points{{0, 0}, {10, 1}, {5, 0.5}};
  Chart({Dataset{std::nullopt, points, fg(Color::Yellow)}})
      .x_axis(axis(0, 10, {"0", "5", "10"}))
      .y_axis(axis(0, 1, {"lo", "hi"}))
      .render(buf.area(), buf);
  // clang-format off
  EXPECT_BUFFER_LINES(buf, {"hi│                •",
                            "  │        •        ",
                            "  │                 ",
                            "lo│•                ",
                            "  └─────────────────",
                            "   0       5      10"});
  // clang-format on
  // clang-format off
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Yellow; },
                     {"...................#",
                      "...........#........",
                      "....................",
                      "...#................",
                      "....................",
                      "...................."});
  // clang-format on
  // clang-format off
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Gray; },
                     {"###.................",
                      "..#.................",
                      "..#.................",
                      "###.................",
                      "..##################",
                      "...#.......#......##"});
  // clang-format on
}

TEST(Chart, ResultScreenLabels) {
  Buffer buf(Rect{0, 0, 100, 12});
  level_chart({}).render(buf.area(), buf);
  const auto rows = buf.lines();
  // Graph columns 8..99: first label at its left edge, last ending at its right edge, middle
  // centred on column 8 + 91 / 2 = 53.
  EXPECT_EQ(rows[11], std::string(8, ' ') + "240MHz" + std::string(36, ' ') + "600MHz" +
                          std::string(38, ' ') + "960MHz");
  EXPECT_TRUE(rows[0].starts_with("0dbm   │ ")) << rows[0];
  EXPECT_TRUE(rows[5].starts_with("-64dbm │ ")) << rows[5];  // (10 - 1) / 2 rows up, floored
  EXPECT_TRUE(rows[4].starts_with("       │ ")) << rows[4];
  EXPECT_TRUE(rows[9].starts_with("-128dbm│ ")) << rows[9];
  EXPECT_TRUE(rows[10].starts_with("       └──")) << rows[10];
}

TEST(Chart, NarrowGraphCutsXLabelsInsteadOfOverlapping) {
  // Ten graph columns: each label keeps the columns nearest its anchor (0, 4 and 9).
  Buffer buf(Rect{0, 0, 18, 5});
  level_chart({}).render(buf.area(), buf);
  EXPECT_EQ(buf.lines().at(4), "        24600MH960");
}

TEST(Chart, CornersOfTheBoundsLandOnTheGraphCorners) {
  Buffer buf(Rect{0, 0, 60, 20});
  const ChartLayout l = level_chart({}).layout(buf.area());
  const Rect& g = l.graph;
  const std::uint16_t right = static_cast<std::uint16_t>(g.right() - 1);
  const std::uint16_t bottom = static_cast<std::uint16_t>(g.bottom() - 1);
  struct Case {
    std::pair<double, double> point;
    std::uint16_t col, row;
  };
  // clang-format off
  const Case cases[] = {
      {{240, -128}, g.x, bottom},
      {{960, 0}, right, g.y},
      {{240, 0}, g.x, g.y},
      {{960, -128}, right, bottom},
      // Nearest cell: 51 column steps span 720 MHz and 17 row steps 128 dB; 370 MHz above the
      // low bound is 26.2 steps, 68 dB above it 9.03 steps.
      {{610, -60}, static_cast<std::uint16_t>(g.x + 26), static_cast<std::uint16_t>(g.y + 8)},
      {{240 + 720.0 * 10.4 / 51, -128}, static_cast<std::uint16_t>(g.x + 10), bottom},
      {{240 + 720.0 * 10.6 / 51, -128}, static_cast<std::uint16_t>(g.x + 11), bottom},
  };
  // clang-format on
  ASSERT_EQ(g, (Rect{8, 0, 52, 18}));
  for (const Case& c : cases) {
    Buffer b(buf.area());
    const Points one{c.point};
    level_chart(one).render(b.area(), b);
    std::size_t dots = 0;
    for (std::uint16_t y = g.y; y < g.bottom(); ++y) {
      for (std::uint16_t x = g.x; x < g.right(); ++x) dots += b.at(x, y).symbol == "•" ? 1 : 0;
    }
    EXPECT_EQ(dots, 1u) << c.point.first << "," << c.point.second;
    EXPECT_EQ(b.at(c.col, c.row).symbol, "•") << c.point.first << "," << c.point.second;
    EXPECT_EQ(b.at(c.col, c.row).fg, Color::Yellow);
  }
}

TEST(Chart, PointsOutsideTheBoundsOrNotANumberAreSkipped) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  // Each would land on an edge or corner of the graph if it were clamped onto the bounds.
  const Points outside{{239.999, -64}, {960.001, -64}, {600, -128.01}, {600, 0.01}, {nan, -64},
                       {600, nan},     {inf, -64},     {600, -inf},    {100, -200}, {2000, 50}};
  const Points inside{{420, -100}, {600, -64}, {780, -20}};
  Points mixed = outside;
  mixed.insert(mixed.begin() + 3, inside.begin(), inside.end());

  Buffer with_outside(Rect{0, 0, 60, 20});
  level_chart(mixed).render(with_outside.area(), with_outside);
  Buffer only_inside(Rect{0, 0, 60, 20});
  level_chart(inside).render(only_inside.area(), only_inside);
  EXPECT_EQ(with_outside.lines(), only_inside.lines());
  std::size_t dots = 0;
  for (const Cell& c : with_outside.content()) dots += c.symbol == "•" ? 1 : 0;
  EXPECT_EQ(dots, inside.size());  // the points inside are drawn, one dot each
}

TEST(Chart, DegenerateBoundsDrawNoDots) {
  const Points points{{240, -64}, {240, -128}};
  const std::array<double, 2> bad[] = {
      {240, 240},
      {960, 240},
      {std::nan(""), 960},
      {-std::numeric_limits<double>::max(), std::numeric_limits<double>::max()}};
  for (const auto& bounds : bad) {
    Buffer buf(Rect{0, 0, 30, 10});
    level_chart(points).x_axis(Axis{bounds, {"240MHz"}, {}}).render(buf.area(), buf);
    EXPECT_EQ(buf.to_text().find("•"), std::string::npos) << bounds[0] << ".." << bounds[1];
  }
}

TEST(Chart, ManyPointsInOneCellMakeOneDot) {
  Points points;
  for (int i = 0; i <= 1000; ++i) points.emplace_back(240 + 720.0 * i / 1000, -64);
  Buffer buf(Rect{0, 0, 30, 10});
  level_chart(points).render(buf.area(), buf);
  const ChartLayout l = level_chart({}).layout(buf.area());
  std::size_t dots = 0;
  for (const Cell& c : buf.content()) dots += c.symbol == "•" ? 1 : 0;
  EXPECT_EQ(dots, l.graph.width);  // every column of one row, once
}

TEST(Chart, LegendOnlyForNamedDatasets) {
  const Points none;
  Buffer named(Rect{0, 0, 12, 4});
  Chart({Dataset{"ab", none, fg(Color::Yellow)}}).render(named.area(), named);
  EXPECT_BUFFER_LINES(named, {"        ┌──┐", "        │ab│", "        └──┘", "            "});
  EXPECT_EQ(named.at(9, 1).fg, Color::Yellow);

  Buffer unnamed(Rect{0, 0, 12, 4});
  Chart({Dataset{std::nullopt, none, fg(Color::Yellow)}}).render(unnamed.area(), unnamed);
  EXPECT_BUFFER_LINES(unnamed, {"            ", "            ", "            ", "            "});
}

TEST(Chart, EmptyAreaDrawsNothing) {
  const Points points{{600, -64}};
  Buffer buf(Rect{0, 0, 10, 3});
  level_chart(points).style(fg(Color::Red)).render(Rect{0, 0, 0, 3}, buf);
  level_chart(points).style(fg(Color::Red)).render(Rect{20, 20, 5, 5}, buf);
  EXPECT_BUFFER_LINES(buf, {"          ", "          ", "          "});
  EXPECT_BUFFER_MASK(buf, [](const Cell& c) { return c.fg == Color::Red; },
                     {"..........", "..........", ".........."});
}

}  // namespace
}  // namespace sparvik::widgets
