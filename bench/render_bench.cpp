// One full draw of the result screen over a large sweep (its chart cache empty), against a plain
// pass over the same points that only finds their extremes: the chart should cost a small multiple
// of reading them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "structs/connection_info.hpp"
#include "sweep_points.hpp"
#include "ui_struct/app_info.hpp"
#include "widgets/core/buffer.hpp"
#include "widgets/core/frame.hpp"

namespace {

using sparvik::SweepPoints;
using sparvik::bench::make_sweep;

void BM_RenderResultScreen(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  sparvik::AppInfo app = sparvik::AppInfo::build({"/dev/ttyACM0"}, std::nullopt);
  app.menu = sparvik::MenuState::ScanResult;
  app.points.value = count;
  app.scan_data = make_sweep(count);
  sparvik::widgets::Buffer buffer(sparvik::widgets::Rect{0, 0, 200, 50});

  for (auto _ : state) {
    // Each draw marks the points anew, as the first draw after a sweep does.
    app.scan_data_marks = {};
    buffer.reset();
    sparvik::widgets::Frame frame(buffer);
    auto drawn = app.draw(frame);
    benchmark::DoNotOptimize(drawn);
    benchmark::ClobberMemory();
  }
  if (app.menu != sparvik::MenuState::ScanResult) state.SkipWithError("left the result screen");
  // A chart that drew no dot would make the figure meaningless.
  std::size_t dots = 0;
  for (const auto& cell : buffer.content()) {
    dots += cell.fg == sparvik::widgets::Color::Yellow ? 1 : 0;
  }
  if (dots == 0) state.SkipWithError("no point was drawn");
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(count));
}
BENCHMARK(BM_RenderResultScreen)->Arg(1000001)->Unit(benchmark::kMillisecond);

// Both coordinates, as the chart places every point by both.
void BM_MinMaxBaseline(benchmark::State& state) {
  const SweepPoints points = make_sweep(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    double min_x = std::numeric_limits<double>::infinity();
    double max_x = -min_x;
    double min_y = min_x;
    double max_y = -min_x;
    for (const auto& [x, y] : points) {
      min_x = x < min_x ? x : min_x;
      max_x = x > max_x ? x : max_x;
      min_y = y < min_y ? y : min_y;
      max_y = y > max_y ? y : max_y;
    }
    benchmark::DoNotOptimize(min_x);
    benchmark::DoNotOptimize(max_x);
    benchmark::DoNotOptimize(min_y);
    benchmark::DoNotOptimize(max_y);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
}
BENCHMARK(BM_MinMaxBaseline)->Arg(1000001)->Unit(benchmark::kMillisecond);

}  // namespace
