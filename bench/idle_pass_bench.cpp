// One pass of the run loop while the user does nothing: the whole screen built anew and compared
// with the last frame, nothing written. The loop makes 60 of these a second, so this bounds what
// an idle program costs above its wake-ups.
#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <thread>

#include "platform/terminal/terminal.hpp"
#include "platform/terminal/test_backend.hpp"
#include "sweep_points.hpp"
#include "ui_struct/app_info.hpp"

namespace {

using sparvik::AppInfo;
using sparvik::MenuState;

// With `after_wait`, each timed pass follows the loop's 16 ms wait, so the caches are as cold as
// the running program finds them (other processes run meanwhile); without, passes run back to back.
void idle_passes(benchmark::State& state, AppInfo& app, bool after_wait) {
  sparvik::term::TestBackend backend(100, 30);
  auto terminal = sparvik::term::Terminal::create(backend);
  const auto render = [&app](sparvik::widgets::Frame& frame) { (void)app.draw(frame); };
  (void)terminal->draw(render);
  const MenuState shown = app.menu;
  for (auto _ : state) {
    if (after_wait) {
      state.PauseTiming();
      std::this_thread::sleep_for(std::chrono::milliseconds(16));
      state.ResumeTiming();
    }
    auto drawn = terminal->draw(render);
    benchmark::DoNotOptimize(drawn);
  }
  if (app.menu != shown) state.SkipWithError("the screen changed");
  if (backend.draw_calls() != 1) state.SkipWithError("an idle pass wrote to the terminal");
}

void BM_IdlePassConnectionScreen(benchmark::State& state) {
  AppInfo app = AppInfo::build({"/dev/ttyACM0", "/dev/ttyUSB0"}, std::nullopt);
  idle_passes(state, app, state.range(0) != 0);
}
BENCHMARK(BM_IdlePassConnectionScreen)
    ->ArgName("after_wait")
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond);
// Two seconds of passes at the loop's pace.
BENCHMARK(BM_IdlePassConnectionScreen)
    ->ArgName("after_wait")
    ->Arg(1)
    ->Iterations(120)
    ->Unit(benchmark::kMicrosecond);

void BM_IdlePassResultScreen(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  AppInfo app = AppInfo::build({"/dev/ttyACM0"}, std::nullopt);
  app.points.value = count;
  app.scan_data = sparvik::bench::make_sweep(count);
  app.connection_info->set_connection_status(sparvik::ConnectionStatus::ClosedWithSuccess);
  app.menu = MenuState::ScanResult;
  idle_passes(state, app, state.range(1) != 0);
}
BENCHMARK(BM_IdlePassResultScreen)
    ->ArgNames({"points", "after_wait"})
    ->Args({1000001, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdlePassResultScreen)
    ->ArgNames({"points", "after_wait"})
    ->Args({1000001, 1})
    ->Iterations(120)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
