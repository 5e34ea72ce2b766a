// Marking points in a cell bitmap: the SSE2 pass against the plain one, the cells chosen, and a
// kept bitmap that follows every change of the points, the graph and the bounds.
#include "widgets/scatter_raster.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace sparvik::widgets {
namespace {

using Bitmap = std::vector<std::uint8_t>;
using Marker = void (*)(std::span<const Point>, const CellMapping&, std::uint8_t*);

CellMapping level_mapping(std::uint16_t width = 52, std::uint16_t height = 18) {
  const auto m = CellMapping::of(Rect{3, 2, width, height}, {240, 960}, {-128, 0});
  EXPECT_TRUE(m);
  return *m;
}

Bitmap marked(Marker mark, std::span<const Point> points, const CellMapping& m) {
  Bitmap cells(m.spare + 1, 0);
  mark(points, m, cells.data());
  return cells;
}

// Points everywhere: inside, on the bounds, just outside, far outside, NaN and infinities.
std::vector<Point> awkward_points() {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<Point> points{{240, -128},    {960, 0},       {240, 0},       {960, -128},
                            {239.999, -64}, {960.001, -64}, {600, -128.01}, {600, 0.01},
                            {nan, -64},     {600, nan},     {inf, -64},     {-inf, -64},
                            {600, inf},     {600, -inf},    {1e300, 1e300}, {-1e300, -1e300}};
  std::uint64_t seed = 12345;
  for (int i = 0; i < 5000; ++i) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    const double u = static_cast<double>(seed >> 11) / 9007199254740992.0;
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    const double v = static_cast<double>(seed >> 11) / 9007199254740992.0;
    points.emplace_back(100 + 1000 * u, -160 + 200 * v);  // a fifth or so outside
  }
  return points;
}

TEST(MarkPoints, PlainAndSse2PassesMarkTheSameCells) {
  const std::vector<Point> points = awkward_points();
  for (const CellMapping& m : {level_mapping(), level_mapping(1, 1), level_mapping(200, 3)}) {
    const Bitmap plain = marked(mark_points_plain, points, m);
    EXPECT_EQ(marked(mark_points, points, m), plain);
#if defined(__SSE2__)
    EXPECT_EQ(marked(mark_points_sse2, points, m), plain);
#endif
  }
}

TEST(MarkPoints, EachPassMarksTheNearestCellAndNothingForPointsOutside) {
  const CellMapping m = level_mapping();  // 52 x 18: 51 column steps over 720 MHz, 17 over 128 dB
  struct Case {
    Point point;
    std::optional<std::size_t> index;  // none: outside, only the spare byte is set
  };
  const Case cases[] = {
      {{240, -128}, 17 * 52},           {{960, 0}, 51},
      {{610, -60}, (17 - 9) * 52 + 26}, {{239.999, -64}, std::nullopt},
      {{600, 0.01}, std::nullopt},      {{std::nan(""), -64}, std::nullopt},
  };
  std::vector<Marker> markers{mark_points_plain};
#if defined(__SSE2__)
  markers.push_back(mark_points_sse2);
#endif
  for (const Marker mark : markers) {
    for (const Case& c : cases) {
      const Point one[] = {c.point};
      const Bitmap cells = marked(mark, one, m);
      Bitmap expected(m.spare + 1, 0);
      expected[c.index.value_or(m.spare)] = 1;
      EXPECT_EQ(cells, expected) << c.point.first << "," << c.point.second;
    }
  }
}

TEST(MarkPoints, UnusableBoundsGiveNoMapping) {
  const Rect graph{0, 0, 10, 5};
  EXPECT_FALSE(CellMapping::of(graph, {240, 240}, {-128, 0}));
  EXPECT_FALSE(CellMapping::of(graph, {240, 960}, {0, -128}));
  EXPECT_FALSE(CellMapping::of(graph, {std::nan(""), 960}, {-128, 0}));
  EXPECT_FALSE(CellMapping::of(Rect{0, 0, 0, 5}, {240, 960}, {-128, 0}));
  EXPECT_FALSE(CellMapping::of(graph, {0, 5e-324}, {-128, 0}));  // scale not finite
}

// The kept bitmap must always equal a fresh one, whatever changed since the last call.
TEST(ScatterCache, FollowsEveryChangeOfPointsGraphAndBounds) {
  ScatterCache cache;
  std::vector<Point> points{{300, -100}, {600, -64}, {900, -10}};
  CellMapping m = level_mapping();
  const auto check = [&](const char* step) {
    const std::span<const std::uint8_t> kept = cache.marks(points, m);
    EXPECT_EQ(Bitmap(kept.begin(), kept.end()), marked(mark_points_plain, points, m)) << step;
  };
  check("first");
  check("unchanged");
  points[1] = {700, -30};
  check("rewritten in place");
  points.push_back({250, -120});
  check("one more");
  points = std::vector<Point>{{450, -80}};
  check("replaced");
  m = level_mapping(30, 10);
  check("other graph size");
  m = *CellMapping::of(Rect{0, 0, 30, 10}, {240, 500}, {-128, 0});
  check("other bounds");
  points.clear();
  check("no points");
}

}  // namespace
}  // namespace sparvik::widgets
