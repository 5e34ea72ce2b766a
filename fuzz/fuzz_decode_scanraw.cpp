// Fuzzes the "scanraw" decoder: any reply and any start, stop and points. Beyond running clean
// under the sanitizers, a decoded reply must give one CSV line per point that reads back as
// exactly that point, exactly `points` of them, whatever follows the last record: an end group,
// or less than a whole group (the analyser's lone "}" before its prompt, or nothing).
//
// Input: byte 0 flags (bit 0: capture the log, so that the windows and trace records are built),
// bytes 1-8 start, 9-16 stop (little-endian Hz), 17-20 points, then the reply.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/log/log.hpp"
#include "scan/scanraw_decoder.hpp"
#include "support/temp_dir.hpp"

namespace {

constexpr std::size_t kHeader = 21;

template <class T>
T little_endian(const std::uint8_t* bytes) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(bytes[i]) << (8 * i);
  return value;
}

// Made on first use; removed when the fuzzer exits normally. A failure to make it throws, which
// ends the run at once.
const std::filesystem::path& scratch_dir() {
  static const sparvik::test_support::TempDir dir("sparvik-fuzz-decode");
  return dir.path();
}

double parse(std::string_view text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) std::abort();
  return value;
}

void check_csv(const std::string& csv, const sparvik::SweepPoints& points) {
  std::size_t at = 0;
  for (const auto& [frequency, level] : points) {
    const std::size_t comma = csv.find(',', at);
    const std::size_t newline = csv.find('\n', at);
    if (comma == std::string::npos || newline == std::string::npos || comma > newline) std::abort();
    const std::string_view line(csv.data() + at, newline - at);
    if (line.find_first_of("eE") != std::string_view::npos) std::abort();
    if (parse(line.substr(0, comma - at)) != frequency) std::abort();
    if (parse(line.substr(comma - at + 1)) != level) std::abort();
    at = newline + 1;
  }
  if (at != csv.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return 0;
  const bool capture_log = (data[0] & 1) != 0;
  const auto start = little_endian<std::uint64_t>(data + 1);
  const auto stop = little_endian<std::uint64_t>(data + 9);
  const auto points = little_endian<std::uint32_t>(data + 17);
  const std::span<const std::uint8_t> reply(data + kHeader, size - kHeader);

  std::optional<sparvik::log::testing::Capture> capture;
  if (capture_log) capture.emplace("trace");
  const auto& dir = scratch_dir();
  const auto decoded = sparvik::scan::decode_scanraw(reply, start, stop, points, dir.string());
  if (decoded) {
    const auto* brace =
        static_cast<const std::uint8_t*>(std::memchr(reply.data(), '{', reply.size()));
    if (brace == nullptr) std::abort();
    const auto first = static_cast<std::size_t>(brace - reply.data()) + 1;
    if (decoded->first.size() != points) std::abort();
    const std::size_t after = first + 3 * decoded->first.size();
    if (after + 3 <= reply.size() && reply[after] != '}') std::abort();
    check_csv(sparvik::test_support::read_file(dir / decoded->second), decoded->first);
  }
  // One CSV file at a time, whatever the outcome.
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
    std::filesystem::remove(entry.path(), ignored);
  }
  return 0;
}
