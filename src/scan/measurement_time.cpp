#include "scan/measurement_time.hpp"

#include <algorithm>
#include <limits>

#include "scan/command_channel.hpp"

namespace sparvik::scan {

namespace {

constexpr auto kMaxMicros = static_cast<std::uint64_t>(Micros::max().count());

constexpr std::uint64_t kMinBandwidth = 2'600;    // Hz
constexpr std::uint64_t kMaxBandwidth = 620'700;  // Hz
constexpr std::uint64_t kPerSubStep = 127;        // µs on top of the settling time
constexpr std::uint64_t kPerRepeat = 111;         // µs for every repeat after the first

// Settling time of a sub-step by resolution bandwidth, widest first; narrower ones take 6400 µs.
struct Settling {
  std::uint64_t from_bandwidth;  // Hz
  std::uint64_t micros;
};
constexpr Settling kSettling[] = {
    {191'000, 300}, {142'000, 350}, {75'000, 450}, {56'000, 650},
    {37'000, 700},  {18'000, 1100}, {9'000, 1700}, {5'000, 3300},
};
constexpr std::uint64_t kNarrowestSettling = 6400;

std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) noexcept {
  std::uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::uint64_t>::max()
                                                : product;
}

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) noexcept {
  std::uint64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<std::uint64_t>::max() : sum;
}

Micros micros(std::uint64_t count) noexcept {
  return Micros(static_cast<Micros::rep>(std::min(count, kMaxMicros)));
}

std::uint64_t count_of(Micros time) noexcept {
  return time.count() <= 0 ? 0 : static_cast<std::uint64_t>(time.count());
}

std::uint64_t span_of(const MeasureRequest& request) noexcept {
  return request.stop > request.start ? request.stop - request.start : 0;
}

}  // namespace

Micros point_time(std::uint64_t step_hz, std::uint64_t repeat) noexcept {
  const std::uint64_t bandwidth =
      std::clamp(saturating_mul(step_hz, 2), kMinBandwidth, kMaxBandwidth);
  // Each sub-step covers half the bandwidth; a point is measured at least once.
  const std::uint64_t half = bandwidth / 2;
  const std::uint64_t sub_steps =
      std::max<std::uint64_t>(1, step_hz / half + (step_hz % half != 0));
  const auto settling = std::ranges::find_if(
      kSettling, [&](const Settling& row) { return bandwidth >= row.from_bandwidth; });
  const std::uint64_t settle =
      settling == std::end(kSettling) ? kNarrowestSettling : settling->micros;
  const std::uint64_t repeats = repeat > 0 ? repeat - 1 : 0;
  const std::uint64_t sub_step =
      saturating_add(settle + kPerSubStep, saturating_mul(repeats, kPerRepeat));
  return micros(saturating_mul(sub_steps, sub_step));
}

Micros scanraw_point_time(const MeasureRequest& request) noexcept {
  const std::uint64_t step = request.points > 0 ? span_of(request) / request.points : 0;
  return point_time(step, request.repeat);
}

Micros scanraw_block_time(const MeasureRequest& request) noexcept {
  const std::uint64_t records = std::min(request.points, kRecordsPerBlock);
  return micros(saturating_mul(records, count_of(scanraw_point_time(request))));
}

Micros scanraw_time(const MeasureRequest& request) noexcept {
  return micros(saturating_mul(request.points, count_of(scanraw_point_time(request))));
}

Micros scan_point_time(const MeasureRequest& request) noexcept {
  const std::uint64_t step = request.points > 1 ? span_of(request) / (request.points - 1) : 0;
  return point_time(step, request.repeat);
}

Micros scan_time(const MeasureRequest& request) noexcept {
  return micros(saturating_mul(request.points, count_of(scan_point_time(request))));
}

std::chrono::milliseconds measurement_allowance(Micros still_to_come) noexcept {
  // Rounded up to whole milliseconds, so the allowance is never below twice the time.
  const std::uint64_t twice = saturating_mul(count_of(still_to_come), 2);
  const std::uint64_t ms = twice / 1000 + (twice % 1000 != 0);
  using Ms = std::chrono::milliseconds;
  constexpr auto kMaxMs = static_cast<std::uint64_t>(Ms::max().count());
  const auto base = static_cast<std::uint64_t>(kReadTimeout.count());
  return Ms(static_cast<Ms::rep>(std::min(saturating_add(ms, base), kMaxMs)));
}

}  // namespace sparvik::scan
