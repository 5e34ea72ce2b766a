// Cost of one pass of the run loop's drawing: the idle case (nothing changed, nothing written)
// bounds the program's CPU use while the user does nothing, at 60 passes a second.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/terminal/terminal.hpp"
#include "platform/terminal/test_backend.hpp"

namespace sparvik::term {
namespace {

// Every cell holds text: the most a screen can make the diff compare.
void full_screen_text(widgets::Frame& frame, char symbol) {
  const widgets::Rect area = frame.area();
  const std::string row(area.width, symbol);
  for (std::uint16_t y = 0; y < area.height; ++y) {
    frame.buffer().set_string(0, y, row, widgets::fg(widgets::Color::White));
  }
}

void BM_DrawUnchangedFrame(benchmark::State& state) {
  TestBackend backend(static_cast<std::uint16_t>(state.range(0)),
                      static_cast<std::uint16_t>(state.range(1)));
  auto terminal = Terminal::create(backend);
  const auto render = [](widgets::Frame& f) { full_screen_text(f, 'x'); };
  (void)terminal->draw(render);
  for (auto _ : state) {
    auto drawn = terminal->draw(render);
    benchmark::DoNotOptimize(drawn);
  }
  if (backend.draw_calls() != 1) state.SkipWithError("an unchanged frame reached the back end");
}
BENCHMARK(BM_DrawUnchangedFrame)->Args({80, 24})->Args({200, 50})->Args({240, 70});

void BM_DrawEveryCellChanged(benchmark::State& state) {
  TestBackend backend(static_cast<std::uint16_t>(state.range(0)),
                      static_cast<std::uint16_t>(state.range(1)));
  auto terminal = Terminal::create(backend);
  char symbol = 'a';
  for (auto _ : state) {
    symbol = symbol == 'a' ? 'b' : 'a';
    auto drawn = terminal->draw([symbol](widgets::Frame& f) { full_screen_text(f, symbol); });
    benchmark::DoNotOptimize(drawn);
  }
}
BENCHMARK(BM_DrawEveryCellChanged)->Args({80, 24})->Args({200, 50});

}  // namespace
}  // namespace sparvik::term
