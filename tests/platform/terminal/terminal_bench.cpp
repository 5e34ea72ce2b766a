// Cost of one pass of the run loop's drawing on a large console: the idle case (nothing changed,
// nothing written) bounds the program's CPU use while the user does nothing.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/terminal/terminal.hpp"
#include "platform/terminal/test_backend.hpp"

namespace sparvik::term {
namespace {

constexpr std::uint16_t width = 240;
constexpr std::uint16_t height = 70;

void full_screen_text(widgets::Frame& frame, char first) {
  std::string row(width, first);
  for (std::uint16_t y = 0; y < height; ++y) {
    frame.buffer().set_string(0, y, row, widgets::fg(widgets::Color::White));
  }
}

void BM_DrawUnchangedFrame(benchmark::State& state) {
  TestBackend backend(width, height);
  auto terminal = Terminal::create(backend);
  (void)terminal->draw([](widgets::Frame& f) { full_screen_text(f, 'x'); });
  for (auto _ : state) {
    auto drawn = terminal->draw([](widgets::Frame& f) { full_screen_text(f, 'x'); });
    benchmark::DoNotOptimize(drawn);
  }
  if (backend.draw_calls() != 1) state.SkipWithError("an unchanged frame reached the back end");
}
BENCHMARK(BM_DrawUnchangedFrame);

void BM_DrawEveryCellChanged(benchmark::State& state) {
  TestBackend backend(width, height);
  auto terminal = Terminal::create(backend);
  char c = 'a';
  for (auto _ : state) {
    c = c == 'a' ? 'b' : 'a';
    auto drawn = terminal->draw([c](widgets::Frame& f) { full_screen_text(f, c); });
    benchmark::DoNotOptimize(drawn);
  }
}
BENCHMARK(BM_DrawEveryCellChanged);

}  // namespace
}  // namespace sparvik::term

BENCHMARK_MAIN();
