// Drawing a full result chart of 1,000,001 points, marked anew each time: compare with
// BM_MinMaxBaseline, one plain pass over the same points.
#include <benchmark/benchmark.h>

#include "sweep_points.hpp"
#include "widgets/chart.hpp"

namespace {

using sparvik::widgets::Axis;
using sparvik::widgets::Buffer;
using sparvik::widgets::Chart;
using sparvik::widgets::Color;
using sparvik::widgets::Dataset;
using sparvik::widgets::fg;
using sparvik::widgets::Rect;

void BM_ChartScatter(benchmark::State& state) {
  const auto points = sparvik::bench::make_sweep(static_cast<std::size_t>(state.range(0)));
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

}  // namespace
