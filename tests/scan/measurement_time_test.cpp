// The analyser's measuring time against the figures the device's own timing gives, and the
// allowance a read waits while it measures.
#include "scan/measurement_time.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

#include "scan/sweep_request.hpp"

namespace sparvik::scan {
namespace {

using std::chrono::milliseconds;
constexpr std::uint64_t MHz = 1'000'000;

TEST(MeasurementTime, MatchesTheDevicesWorkedFigures) {
  enum class Figure { Point, Block, Whole };
  const struct {
    const char* name;
    bool scanraw;
    MeasureRequest request;
    Figure figure;
    double seconds;  // as the device's figures state it
    double within;   // half a unit of the figure's last digit
  } cases[] = {
      {"10001 points, repeat 1",
       true,
       {240 * MHz, 960 * MHz, 10001, 1},
       Figure::Point,
       0.48e-3,
       0.005e-3},
      {"10001 points, repeat 1",
       true,
       {240 * MHz, 960 * MHz, 10001, 1},
       Figure::Block,
       9.5e-3,
       0.05e-3},
      {"10001 points, repeat 1", true, {240 * MHz, 960 * MHz, 10001, 1}, Figure::Whole, 4.8, 0.05},
      {"10001 points, repeat 1000",
       true,
       {240 * MHz, 960 * MHz, 10001, 1000},
       Figure::Point,
       111e-3,
       0.5e-3},
      {"10001 points, repeat 1000",
       true,
       {240 * MHz, 960 * MHz, 10001, 1000},
       Figure::Block,
       2.2,
       0.05},
      {"10001 points, repeat 1000",
       true,
       {240 * MHz, 960 * MHz, 10001, 1000},
       Figure::Whole,
       18.6 * 60,
       0.05 * 60},
      {"101 points, repeat 100",
       true,
       {240 * MHz, 960 * MHz, 101, 100},
       Figure::Point,
       263e-3,
       0.5e-3},
      {"101 points, repeat 100", true, {240 * MHz, 960 * MHz, 101, 100}, Figure::Block, 5.3, 0.05},
      {"101 points, repeat 100", true, {240 * MHz, 960 * MHz, 101, 100}, Figure::Whole, 26.5, 0.05},
      {"low input, repeat 200", true, {0, 340 * MHz, 101, 200}, Figure::Point, 248e-3, 0.5e-3},
      {"low input, repeat 200", true, {0, 340 * MHz, 101, 200}, Figure::Block, 5.0, 0.05},
      {"low input, repeat 200", true, {0, 340 * MHz, 101, 200}, Figure::Whole, 25, 0.5},
      {"scan, repeat 1", false, {240 * MHz, 960 * MHz, 290, 1}, Figure::Whole, 1.1, 0.05},
      {"scan, repeat 10", false, {240 * MHz, 960 * MHz, 290, 10}, Figure::Whole, 3.7, 0.05},
      {"scan, repeat 100", false, {240 * MHz, 960 * MHz, 290, 100}, Figure::Whole, 29.8, 0.05},
      {"scan, repeat 1000", false, {240 * MHz, 960 * MHz, 290, 1000}, Figure::Whole, 290, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Micros time{};
    switch (c.figure) {
      case Figure::Point:
        time = c.scanraw ? scanraw_point_time(c.request) : scan_point_time(c.request);
        break;
      case Figure::Block:
        time = scanraw_block_time(c.request);
        break;
      case Figure::Whole:
        time = c.scanraw ? scanraw_time(c.request) : scan_time(c.request);
        break;
    }
    EXPECT_NEAR(std::chrono::duration<double>(time).count(), c.seconds, c.within)
        << static_cast<int>(c.figure);
  }
}

TEST(MeasurementTime, FollowsTheBandwidthSteps) {
  const struct {
    std::uint64_t step_hz, repeat;
    long long micros;
  } cases[] = {
      {0, 1, 6400 + 127},      // no step: the narrowest bandwidth, one sub-step
      {1'300, 1, 6400 + 127},  // 2.6 kHz
      {2'500, 1, 3300 + 127},  // 5 kHz
      {70'999, 1, 450 + 127},  // just below 142 kHz
      {71'000, 1, 350 + 127},
      {71'992, 1, 350 + 127},   // 10001 points over 240-960 MHz
      {310'350, 1, 300 + 127},  // the widest bandwidth, still one sub-step
      {310'351, 1, 2 * (300 + 127)},
      {7'128'712, 100, 23 * (300 + 127 + 99 * 111)},  // 101 points over 240-960 MHz
  };
  for (const auto& c : cases) {
    EXPECT_EQ(point_time(c.step_hz, c.repeat).count(), c.micros) << c.step_hz;
  }
  // Fewer points than a block: the block is all of them.
  const MeasureRequest three{100 * MHz, 200 * MHz, 3, 1};
  EXPECT_EQ(scanraw_block_time(three), 3 * scanraw_point_time(three));
}

TEST(MeasurementTime, SaturatesForAnyRequestASettingsFileCanHold) {
  constexpr auto kMaxRepeat = std::numeric_limits<std::uint64_t>::max();
  const MeasureRequest huge[] = {
      {0, 960 * MHz, kMaxPoints, kMaxRepeat},
      {0, std::numeric_limits<std::uint64_t>::max(), 2, kMaxRepeat},
      {0, std::numeric_limits<std::uint64_t>::max(), kMaxPoints, 1},
  };
  for (const auto& request : huge) {
    EXPECT_EQ(scan_time(request), Micros::max());
    EXPECT_GT(scanraw_block_time(request), Micros::zero());
    EXPECT_GE(scanraw_time(request), scanraw_block_time(request));
    EXPECT_GE(measurement_allowance(scanraw_time(request)),
              std::chrono::floor<milliseconds>(scanraw_time(request)));
  }
  // A reversed or empty request still measures each point once.
  EXPECT_EQ(scanraw_point_time({200 * MHz, 100 * MHz, 0, 0}).count(), 6400 + 127);
}

TEST(MeasurementAllowance, IsTheReadTimeOutAndTwiceTheTimeToCome) {
  const struct {
    Micros to_come;
    milliseconds allowance;
  } cases[] = {
      {Micros::zero(), milliseconds(3000)},
      {Micros(1), milliseconds(3001)},  // never below twice the time
      {Micros(9540), milliseconds(3020)},
      {Micros(5'251'360), milliseconds(13'503)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(measurement_allowance(c.to_come), c.allowance) << c.to_come.count();
  }
  EXPECT_GT(measurement_allowance(Micros::max()),
            2 * std::chrono::floor<milliseconds>(Micros::max()));
  // At repeat 1 a block of the screens' sweeps, on either input, adds a fraction of a second.
  for (const std::uint64_t points : {101u, 1001u, 10001u, 1000001u}) {
    for (const auto& [start, stop] :
         {std::pair{240 * MHz, 960 * MHz}, std::pair{0 * MHz, 340 * MHz}}) {
      EXPECT_LT(measurement_allowance(scanraw_block_time({start, stop, points, 1})),
                milliseconds(3500))
          << points << " points from " << start;
    }
  }
}

}  // namespace
}  // namespace sparvik::scan
