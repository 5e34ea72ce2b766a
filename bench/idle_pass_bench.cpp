// One pass of the run loop while the user does nothing: the whole screen built anew and compared
// with the last frame, nothing written. The loop makes 60 of these a second, so this bounds what
// an idle program costs above its wake-ups.
#include <benchmark/benchmark.h>

#include <optional>

#include "platform/terminal/terminal.hpp"
#include "platform/terminal/test_backend.hpp"
#include "sweep_points.hpp"
#include "ui_struct/app_info.hpp"

namespace {

using sparvik::AppInfo;
using sparvik::MenuState;

void idle_passes(benchmark::State& state, AppInfo& app) {
  sparvik::term::TestBackend backend(100, 30);
  auto terminal = sparvik::term::Terminal::create(backend);
  const auto render = [&app](sparvik::widgets::Frame& frame) { (void)app.draw(frame); };
  (void)terminal->draw(render);
  const MenuState shown = app.menu;
  for (auto _ : state) {
    auto drawn = terminal->draw(render);
    benchmark::DoNotOptimize(drawn);
  }
  if (app.menu != shown) state.SkipWithError("the screen changed");
  if (backend.draw_calls() != 1) state.SkipWithError("an idle pass wrote to the terminal");
}

void BM_IdlePassConnectionScreen(benchmark::State& state) {
  AppInfo app = AppInfo::build({"/dev/ttyACM0", "/dev/ttyUSB0"}, std::nullopt);
  idle_passes(state, app);
}
BENCHMARK(BM_IdlePassConnectionScreen)->Unit(benchmark::kMicrosecond);

void BM_IdlePassResultScreen(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  AppInfo app = AppInfo::build({"/dev/ttyACM0"}, std::nullopt);
  app.points.value = count;
  app.scan_data = sparvik::bench::make_sweep(count);
  app.connection_info->set_connection_status(sparvik::ConnectionStatus::ClosedWithSuccess);
  app.menu = MenuState::ScanResult;
  idle_passes(state, app);
}
BENCHMARK(BM_IdlePassResultScreen)->Arg(1000001)->Unit(benchmark::kMicrosecond);

}  // namespace
