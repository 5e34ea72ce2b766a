#include "scan/sweep_request.hpp"

#include <fmt/format.h>

namespace sparvik::scan {

namespace {
constexpr std::uint64_t kLowRangeBelow = 350'000'000;
constexpr std::uint64_t kHighRangeFrom = 240'000'000;
constexpr std::uint64_t kHighRangeTo = 960'000'000;
}  // namespace

std::expected<std::string_view, SparvikError> input_range(std::uint64_t start, std::uint64_t stop) {
  if (start > stop) {
    return std::unexpected(SparvikError::BadScanFrequencies(
        fmt::format("Start frequency {}Hz is higher than stop frequency {}Hz", start, stop)));
  }
  if (stop < kLowRangeBelow) return "low";
  if (start >= kHighRangeFrom && stop <= kHighRangeTo) return "high";
  return std::unexpected(SparvikError::BadScanFrequencies(
      "Scan frequencies must either be in range (0MHz-240MHz) or (240MHz-960MHz)"));
}

std::expected<void, SparvikError> check_points(std::uint64_t points) {
  if (points < kMinPoints) {
    return std::unexpected(SparvikError::BadScanFrequencies(
        fmt::format("Number of points must be at least {}, got {}", kMinPoints, points)));
  }
  if (points > kMaxPoints) {
    return std::unexpected(SparvikError::BadScanFrequencies(fmt::format(
        "Number of points {} is more than can be swept ({} at most)", points, kMaxPoints)));
  }
  return {};
}

}  // namespace sparvik::scan
