// Drawing a full result chart of 1,000,001 points against one plain min/max pass over them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "widgets/chart.hpp"

namespace {

using sparvik::widgets::Axis;
using sparvik::widgets::Buffer;
using sparvik::widgets::Chart;
using sparvik::widgets::Color;
using sparvik::widgets::Dataset;
using sparvik::widgets::fg;
using sparvik::widgets::Rect;

// A sweep from 240 to 960 MHz with levels wandering within -128..0 dBm.
std::vector<std::pair<double, double>> sweep_points(std::size_t n) {
  std::vector<std::pair<double, double>> points;
  points.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = 240.0 + 720.0 * static_cast<double>(i) / static_cast<double>(n - 1);
    const double y = -64.0 + 60.0 * std::sin(static_cast<double>(i) * 0.001) * std::cos(x);
    points.emplace_back(x, y);
  }
  return points;
}

void BM_ChartScatter(benchmark::State& state) {
  const auto points = sweep_points(static_cast<std::size_t>(state.range(0)));
  Buffer buf(Rect{0, 0, 200, 50});
  for (auto _ : state) {
    buf.reset();
    Chart({Dataset{std::nullopt, points, fg(Color::Yellow)}})
        .x_axis(Axis{{240, 960}, {"240MHz", "600MHz", "960MHz"}, fg(Color::Gray)})
        .y_axis(Axis{{-128, 0}, {"-128dbm", "-64dbm", "0dbm"}, fg(Color::Gray)})
        .render(Rect{7, 5, 180, 40}, buf);
    benchmark::DoNotOptimize(buf.content().data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ChartScatter)->Arg(2)->Arg(1000001)->Unit(benchmark::kMillisecond);

void BM_ChartMinMaxBaseline(benchmark::State& state) {
  const auto points = sweep_points(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    double lo_x = points[0].first, hi_x = lo_x, lo_y = points[0].second, hi_y = lo_y;
    for (const auto& [x, y] : points) {
      lo_x = std::min(lo_x, x);
      hi_x = std::max(hi_x, x);
      lo_y = std::min(lo_y, y);
      hi_y = std::max(hi_y, y);
    }
    benchmark::DoNotOptimize(lo_x);
    benchmark::DoNotOptimize(hi_x);
    benchmark::DoNotOptimize(lo_y);
    benchmark::DoNotOptimize(hi_y);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ChartMinMaxBaseline)->Arg(1000001)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
