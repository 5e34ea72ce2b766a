// Which sweep requests the worker accepts, and with which input range.
#include "scan/sweep_request.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "scan/error_payload.hpp"

namespace sparvik::scan {
namespace {

constexpr std::uint64_t MHz = 1'000'000;
constexpr const char* kOutOfRange =
    "Scan frequencies must either be in range (0MHz-240MHz) or (240MHz-960MHz)";

TEST(InputRange, PicksLowOrHighOrRefuses) {
  const struct {
    std::uint64_t start, stop;
    const char* range;  // null: refused with `refusal`
    std::string refusal;
  } cases[] = {
      {0, 0, "low", ""},
      {300 * MHz, 340 * MHz, "low", ""},          // inside both tests: low wins
      {350 * MHz - 1, 350 * MHz - 1, "low", ""},  // start equal to stop
      {240 * MHz, 350 * MHz, "high", ""},         // 350 MHz is not low
      {240 * MHz, 960 * MHz, "high", ""},
      {960 * MHz, 960 * MHz, "high", ""},
      {239 * MHz, 350 * MHz, nullptr, kOutOfRange},
      {240 * MHz, 961 * MHz, nullptr, kOutOfRange},
      {100 * MHz, 500 * MHz, nullptr, kOutOfRange},
      {200 * MHz, 100 * MHz, nullptr,
       "Start frequency 200000000Hz is higher than stop frequency 100000000Hz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.start << "-" << c.stop);
    const auto range = input_range(c.start, c.stop);
    if (c.range != nullptr) {
      ASSERT_TRUE(range.has_value());
      EXPECT_EQ(*range, c.range);
    } else {
      ASSERT_FALSE(range.has_value());
      EXPECT_EQ(range.error().kind(), SparvikError::Kind::BadScanFrequencies);
      EXPECT_EQ(testing::text_of(range.error()), c.refusal);
    }
  }
}

TEST(CheckPoints, AcceptsTwoToTheScreensMaximum) {
  for (std::uint64_t points : {2u, 101u, 1'000'001u}) EXPECT_TRUE(check_points(points)) << points;
  const std::uint64_t refused[] = {0, 1, 1'000'002, std::numeric_limits<std::uint64_t>::max()};
  for (std::uint64_t points : refused) {
    const auto checked = check_points(points);
    ASSERT_FALSE(checked.has_value()) << points;
    EXPECT_EQ(checked.error().kind(), SparvikError::Kind::BadScanFrequencies);
    EXPECT_EQ(testing::text_of(checked.error()),
              "Number of points must be between 2 and 1000001, got " + std::to_string(points));
  }
}

}  // namespace
}  // namespace sparvik::scan
