// What the worker checks of a sweep request before it touches the port: the frequency range
// (which also picks the analyser's input range) and the number of points.
#pragma once

#include <algorithm>
#include <cstdint>
#include <expected>
#include <limits>
#include <string_view>

#include "structs/connection_info.hpp"
#include "structs/errors.hpp"

namespace sparvik::scan {

// The bounds of `points`. Two at least, so that there is a step between points. At most what can
// be swept at all: 3 × points + 6, the reply's size, must fit in 64 bits and the point list must
// be one the standard library can reserve. A settings file may hold any count in between, and the
// analyser is asked for it unchanged.
inline constexpr std::uint64_t kMinPoints = 2;
inline constexpr std::uint64_t kMaxPoints = std::min<std::uint64_t>(
    (std::numeric_limits<std::uint64_t>::max() - 6) / 3, SweepPoints().max_size());

// "low" (stop below 350 MHz) or "high" (240 to 960 MHz), else BadScanFrequencies.
std::expected<std::string_view, SparvikError> input_range(std::uint64_t start, std::uint64_t stop);

// BadScanFrequencies when `points` lies outside kMinPoints..kMaxPoints, with a text for each side.
std::expected<void, SparvikError> check_points(std::uint64_t points);

}  // namespace sparvik::scan
