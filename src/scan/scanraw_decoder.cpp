// Compiled with -ffp-contract=off: the frequency must be a rounded product, then a rounded sum,
// then a rounded quotient, never a fused multiply-add.
#include "scan/scanraw_decoder.hpp"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/log/log.hpp"
#include "scan/byte_window.hpp"
#include "scan/csv_file.hpp"
#include "scan/number_format.hpp"

namespace sparvik::scan {

namespace {

constexpr const char* kTarget = "sparvik::scan";
constexpr std::uint8_t kOpeningBrace = 0x7B;
constexpr std::uint8_t kPointMarker = 0x78;
constexpr std::uint8_t kEndMarker = 0x7D;
constexpr std::size_t kGroupSize = 3;
constexpr double kHzPerMhz = 1'000'000.0;
constexpr double kLevelScale = 0.03125;
constexpr double kLevelOffset = 128.0;

void trace_point(std::size_t index, double frequency, double level) {
  char frequency_text[kMaxNumberChars];
  char level_text[kMaxNumberChars];
  const std::string_view f(
      frequency_text,
      write_number(frequency_text, frequency_text + kMaxNumberChars, frequency) - frequency_text);
  const std::string_view l(
      level_text, write_number(level_text, level_text + kMaxNumberChars, level) - level_text);
  log::write(log::Level::Trace, kTarget, fmt::format("{} : {},{}", index, f, l));
}

}  // namespace

double frequency_step(std::uint64_t start, std::uint64_t stop, std::uint64_t points) noexcept {
  if (points < 2) return 0.0;
  // A reversed range counts downwards instead of wrapping round.
  const double span =
      stop >= start ? static_cast<double>(stop - start) : -static_cast<double>(start - stop);
  return span / static_cast<double>(points - 1);
}

std::expected<std::pair<SweepPoints, std::string>, SparvikError> decode_scanraw(
    std::span<const std::uint8_t> reply, std::uint64_t start, std::uint64_t stop,
    std::uint64_t points, std::string_view directory) {
  const double step = frequency_step(start, stop, points);
  const double start_hz = static_cast<double>(start);

  auto file = CsvFile::create_unique(directory, std::time(nullptr));
  if (!file) return std::unexpected(SparvikError::OpenOutput(std::move(file.error())));

  const auto* found = static_cast<const std::uint8_t*>(
      reply.empty() ? nullptr : std::memchr(reply.data(), kOpeningBrace, reply.size()));
  if (found == nullptr) return std::unexpected(SparvikError::ParseBeggining("{"));
  const auto brace = static_cast<std::size_t>(found - reply.data());
  const auto size = static_cast<std::int64_t>(reply.size());
  const auto b = static_cast<std::int64_t>(brace);

  SPARVIK_LOG(log::Level::Info, kTarget, "The begining looks like :{}",
              byte_window(reply, b - 1, b + 8));
  SPARVIK_LOG(log::Level::Info, kTarget, "The end looks like :{}",
              byte_window(reply, size - 10, size - 1));

  // Never more points than the reply holds groups, whatever `points` says.
  const std::size_t groups = (reply.size() - brace - 1) / kGroupSize;
  SweepPoints decoded;
  decoded.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(points, groups)));
  const bool trace = log::enabled(log::Level::Trace, kTarget);

  std::size_t end = reply.size();
  for (std::size_t j = 0, at = brace + 1; reply.size() - at >= kGroupSize; ++j, at += kGroupSize) {
    const std::uint8_t marker = reply[at];
    if (marker == kPointMarker) {
      const unsigned raw = reply[at + 1] + 256u * reply[at + 2];
      const double product = static_cast<double>(j) * step;
      const double frequency = (product + start_hz) / kHzPerMhz;
      const double level = raw * kLevelScale - kLevelOffset;
      if (trace) trace_point(j, frequency, level);
      decoded.emplace_back(frequency, level);
      if (auto written = file->write_point(frequency, level); !written) {
        return std::unexpected(SparvikError::OpenOutput(std::move(written.error())));
      }
    } else if (marker == kEndMarker) {
      end = kGroupSize * j;
      const auto e = static_cast<std::int64_t>(end);
      SPARVIK_LOG(log::Level::Warn, kTarget, "Found an end at {} {}", end,
                  byte_window(reply, e - 4, e - 1));
      break;
    } else {
      SPARVIK_LOG(log::Level::Error, kTarget, "Wrong alignment char expected {} found {}",
                  kPointMarker, marker);
      return std::unexpected(SparvikError::ParseEnd("Wrong alignement char"));
    }
  }

  // An end group first of all leaves no byte before `end`: the record says "nothing" there.
  if (log::enabled(log::Level::Info, kTarget)) {
    const auto e = static_cast<std::int64_t>(end);
    const std::string before =
        end == 0 ? std::string("nothing") : fmt::format("{}", reply[end - 1]);
    log::write(log::Level::Info, kTarget,
               fmt::format("End at {} expected {} and found {} ({})", end, kEndMarker, before,
                           byte_window(reply, e - 4, e - 1)));
  }

  // The analyser's prompt comes straight after its "}", so a whole reply usually ends in a lone
  // "}" that is no end group: the records alone tell a whole reply. One cut short (a hang-up, a
  // silence past the read time-out, the size cap, a measurement interrupted on the device) or
  // holding too many cannot be placed on the requested frequencies. The lines written so far
  // stay in the file.
  if (decoded.size() != points) {
    return std::unexpected(SparvikError::ParseEnd(
        fmt::format("expected {} points, received {}", points, decoded.size())));
  }

  if (auto closed = file->close(); !closed) {
    return std::unexpected(SparvikError::OpenOutput(std::move(closed.error())));
  }
  return std::pair{std::move(decoded), file->name()};
}

}  // namespace sparvik::scan
