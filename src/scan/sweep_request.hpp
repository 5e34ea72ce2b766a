// What the worker checks of a sweep request before it touches the port: the frequency range
// (which also picks the analyser's input range) and the number of points.
#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

#include "structs/errors.hpp"

namespace sparvik::scan {

// The bounds of `points`: two at least, so that there is a step between points; at most the
// screens' own maximum, which keeps 3 × points + 6 and the reserved lists small.
inline constexpr std::uint64_t kMinPoints = 2;
inline constexpr std::uint64_t kMaxPoints = 1'000'001;

// "low" (stop below 350 MHz) or "high" (240 to 960 MHz), else BadScanFrequencies.
std::expected<std::string_view, SparvikError> input_range(std::uint64_t start, std::uint64_t stop);

// BadScanFrequencies when `points` lies outside kMinPoints..kMaxPoints.
std::expected<void, SparvikError> check_points(std::uint64_t points);

}  // namespace sparvik::scan
