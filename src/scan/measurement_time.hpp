// How long the analyser measures a sweep: its own timing for "scan" and "scanraw" with the
// smaller model's automatic settings. The worker waits for a measuring device by it, and the
// simulated analyser paces itself by it. Every figure saturates instead of overflowing.
#pragma once

#include <chrono>
#include <cstdint>

namespace sparvik::scan {

using Micros = std::chrono::microseconds;

// What the analyser is asked to measure: frequencies in Hz, the repeat count in force.
struct MeasureRequest {
  std::uint64_t start = 0;
  std::uint64_t stop = 0;
  std::uint64_t points = 0;
  std::uint64_t repeat = 1;
};

// "scanraw" writes its records in blocks of this many, each once it is measured.
inline constexpr std::uint64_t kRecordsPerBlock = 20;

// One point measured with frequency step `step_hz` between points.
Micros point_time(std::uint64_t step_hz, std::uint64_t repeat) noexcept;

// One point of "scanraw", whose step is (stop - start) / points.
Micros scanraw_point_time(const MeasureRequest& request) noexcept;
// One block of "scanraw" records: the first 20 (or all, when fewer are asked for).
Micros scanraw_block_time(const MeasureRequest& request) noexcept;
// All points of "scanraw".
Micros scanraw_time(const MeasureRequest& request) noexcept;

// One point of "scan", whose step is (stop - start) / (points - 1).
Micros scan_point_time(const MeasureRequest& request) noexcept;
// The whole "scan": it writes nothing until every point is measured.
Micros scan_time(const MeasureRequest& request) noexcept;

// The silence a read may wait while the device measures for `still_to_come`: twice that, for a
// device slower than its automatic settings, plus the read time-out of every other reply.
std::chrono::milliseconds measurement_allowance(Micros still_to_come) noexcept;

}  // namespace sparvik::scan
