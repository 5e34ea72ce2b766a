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

TEST(CheckPoints, RefusesOnlyWhatCannotBeSwept) {
  constexpr std::uint64_t kLargest = 576'460'752'303'423'487;  // the point list's max_size()
  const struct {
    std::uint64_t points;
    std::string refusal;  // empty: accepted
  } cases[] = {
      {0, "Number of points must be at least 2, got 0"},
      {1, "Number of points must be at least 2, got 1"},
      {2, ""},
      {1'000'001, ""},  // the screens' maximum
      {2'000'000, ""},  // only a settings file brings more
      {kLargest, ""},
      {kLargest + 1,
       "Number of points 576460752303423488 is more than can be swept (576460752303423487 at "
       "most)"},
      {6'148'914'691'236'517'205,  // 3 × points + 6 would wrap round
       "Number of points 6148914691236517205 is more than can be swept (576460752303423487 at "
       "most)"},
      {std::numeric_limits<std::uint64_t>::max(),
       "Number of points 18446744073709551615 is more than can be swept (576460752303423487 at "
       "most)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.points);
    const auto checked = check_points(c.points);
    if (c.refusal.empty()) {
      EXPECT_TRUE(checked.has_value());
    } else {
      ASSERT_FALSE(checked.has_value());
      EXPECT_EQ(checked.error().kind(), SparvikError::Kind::BadScanFrequencies);
      EXPECT_EQ(testing::text_of(checked.error()), c.refusal);
    }
  }
}

}  // namespace
}  // namespace sparvik::scan
