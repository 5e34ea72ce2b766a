// Decoding a full-size "scanraw" reply with its CSV file, against formatting the same numbers with
// std::to_chars alone: the decoder should cost little beyond the formatting itself.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "scan/scanraw_decoder.hpp"
#include "support/temp_dir.hpp"

namespace {

constexpr std::uint64_t kStart = 240'000'000;
constexpr std::uint64_t kStop = 960'000'000;

std::vector<std::uint8_t> make_reply(std::size_t points) {
  std::vector<std::uint8_t> reply;
  reply.reserve(3 * points + 40);
  const std::string echo = "scanraw 240000000 960000000 1000001\r\n{";
  reply.insert(reply.end(), echo.begin(), echo.end());
  for (std::size_t j = 0; j < points; ++j) {
    const auto raw = static_cast<std::uint16_t>(2000 + (j * 7919) % 3000);  // -65.5 to 25.5 dBm
    reply.push_back('x');
    reply.push_back(static_cast<std::uint8_t>(raw & 0xFF));
    reply.push_back(static_cast<std::uint8_t>(raw >> 8));
  }
  reply.insert(reply.end(), {'}', 0, 0});
  return reply;
}

void BM_DecodeScanraw(benchmark::State& state) {
  const auto points = static_cast<std::size_t>(state.range(0));
  const auto reply = make_reply(points);
  std::optional<sparvik::test_support::TempDir> dir;
  try {
    dir.emplace("sparvik-bench");
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  const std::string directory = dir->path().string();
  for (auto _ : state) {
    auto decoded = sparvik::scan::decode_scanraw(reply, kStart, kStop, points, directory);
    if (!decoded) {
      state.SkipWithError(decoded.error().debug().c_str());
      return;
    }
    benchmark::DoNotOptimize(decoded->first.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * points));
}
BENCHMARK(BM_DecodeScanraw)->Arg(1000001)->Unit(benchmark::kMillisecond);

void BM_ToCharsBaseline(benchmark::State& state) {
  const auto points = static_cast<std::size_t>(state.range(0));
  const double step = static_cast<double>(kStop - kStart) / static_cast<double>(points - 1);
  std::vector<double> numbers;
  numbers.reserve(2 * points);
  for (std::size_t j = 0; j < points; ++j) {
    const auto raw = static_cast<std::uint16_t>(2000 + (j * 7919) % 3000);
    numbers.push_back((static_cast<double>(j) * step + static_cast<double>(kStart)) / 1e6);
    numbers.push_back(raw * 0.03125 - 128);
  }
  std::vector<char> out(1 << 16);
  for (auto _ : state) {
    std::size_t used = 0;
    for (double value : numbers) {
      if (out.size() - used < 400) used = 0;
      char* end =
          std::to_chars(out.data() + used, out.data() + out.size(), value, std::chars_format::fixed)
              .ptr;
      used = static_cast<std::size_t>(end - out.data()) + 1;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * points));
}
BENCHMARK(BM_ToCharsBaseline)->Arg(1000001)->Unit(benchmark::kMillisecond);

}  // namespace
