// Saturating rectangle arithmetic.
#include "widgets/core/rect.hpp"

#include <gtest/gtest.h>

namespace sparvik::widgets {
namespace {

TEST(Rect, RightAndBottomSaturateAtTheCoordinateLimit) {
  const Rect r{65530, 65000, 10, 1000};
  EXPECT_EQ(r.right(), 65535);
  EXPECT_EQ(r.bottom(), 65535);
  EXPECT_EQ((Rect{3, 4, 5, 6}.right()), 8);
  EXPECT_EQ((Rect{3, 4, 5, 6}.bottom()), 10);
}

TEST(Rect, InnerShrinksEverySideOrBecomesEmpty) {
  struct Case {
    Rect area;
    std::uint16_t margin;
    Rect expected;
  };
  // clang-format off
  const Case cases[] = {
      {{0, 0, 10, 5}, 1, {1, 1, 8, 3}},
      {{4, 2, 3, 3}, 1, {5, 3, 1, 1}},
      {{0, 0, 10, 5}, 0, {0, 0, 10, 5}},
      {{0, 0, 2, 5}, 1, {1, 1, 0, 0}},   // nothing left between two borders
      {{0, 0, 10, 1}, 1, {1, 1, 0, 0}},
      {{0, 0, 0, 0}, 1, {1, 1, 0, 0}},
      {{0, 0, 10, 10}, 40000, {40000, 40000, 0, 0}},  // margin larger than half the range
      {{65535, 65535, 0, 0}, 3, {65535, 65535, 0, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    const Rect got = c.area.inner(c.margin);
    EXPECT_EQ(got, c.expected) << "area " << c.area.x << "," << c.area.y << " " << c.area.width
                               << "x" << c.area.height << " margin " << c.margin;
    EXPECT_EQ(got.empty(), c.expected.width == 0);
  }
}

TEST(Rect, IntersectionIsTheOverlapOrEmpty) {
  struct Case {
    Rect a, b, expected;
  };
  // clang-format off
  const Case cases[] = {
      {{0, 0, 10, 10}, {5, 5, 10, 10}, {5, 5, 5, 5}},
      {{5, 5, 10, 10}, {0, 0, 10, 10}, {5, 5, 5, 5}},
      {{0, 0, 10, 10}, {2, 3, 4, 5}, {2, 3, 4, 5}},
      {{0, 0, 10, 10}, {10, 0, 5, 5}, {10, 0, 0, 0}},  // touching edges do not overlap
      {{0, 0, 10, 10}, {20, 20, 5, 5}, {20, 20, 0, 0}},
      {{0, 0, 0, 10}, {0, 0, 10, 10}, {0, 0, 0, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    const Rect got = c.a.intersection(c.b);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(got.empty(), c.expected.area() == 0);
  }
}

TEST(Rect, ContainsIsHalfOpen) {
  const Rect r{2, 3, 4, 5};
  EXPECT_TRUE(r.contains(2, 3));
  EXPECT_TRUE(r.contains(5, 7));
  EXPECT_FALSE(r.contains(6, 3));
  EXPECT_FALSE(r.contains(2, 8));
  EXPECT_FALSE(r.contains(1, 3));
  EXPECT_FALSE((Rect{2, 3, 0, 5}.contains(2, 3)));
}

}  // namespace
}  // namespace sparvik::widgets
