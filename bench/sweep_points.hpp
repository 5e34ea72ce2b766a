// The points of a large sweep for the benchmarks: frequencies evenly over 240..960 MHz, levels
// scattered within -128..0 dBm.
#pragma once

#include <cstddef>
#include <cstdint>

#include "structs/connection_info.hpp"

namespace sparvik::bench {

inline constexpr double kStartMhz = 240.0;
inline constexpr double kStopMhz = 960.0;

inline SweepPoints make_sweep(std::size_t count) {
  SweepPoints points;
  points.reserve(count);
  std::uint64_t seed = 0x9E3779B97F4A7C15u;
  const double step = count > 1 ? (kStopMhz - kStartMhz) / static_cast<double>(count - 1) : 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    const double level = -128.0 * static_cast<double>(seed >> 11) / 9007199254740992.0;
    points.emplace_back(kStartMhz + step * static_cast<double>(i), level);
  }
  return points;
}

}  // namespace sparvik::bench
