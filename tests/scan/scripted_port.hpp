// A serial port that plays back a script of read results (byte chunks or failures) and records
// every write, for testing the command channel without a device.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/io_error.hpp"
#include "platform/serial/serial_port.hpp"

namespace sparvik::scan::testing {

inline IoError timed_out() {
  return IoError::custom(IoErrorKind::TimedOut, "Operation timed out");
}

inline std::vector<std::uint8_t> bytes_of(std::string_view text) {
  return {text.begin(), text.end()};
}

class ScriptedPort : public serial::Port {
 public:
  // One read result: the bytes it delivers, or its failure.
  using Read = std::variant<std::vector<std::uint8_t>, IoError>;

  ScriptedPort() = default;
  explicit ScriptedPort(std::vector<Read> script) : script_(script.begin(), script.end()) {}

  using serial::Port::read;
  std::expected<std::size_t, IoError> read(std::span<std::uint8_t> buffer,
                                           std::chrono::milliseconds timeout) override {
    buffer_sizes.push_back(buffer.size());
    timeouts.push_back(timeout);
    if (before_read) before_read();
    // Past the script the line is silent.
    if (script_.empty()) return std::unexpected(timed_out());
    Read& next = script_.front();
    if (auto* error = std::get_if<IoError>(&next)) {
      IoError failure = *error;
      script_.pop_front();
      return std::unexpected(failure);
    }
    // A chunk larger than the buffer arrives over several reads, as on a real line.
    auto& chunk = std::get<std::vector<std::uint8_t>>(next);
    const std::size_t n = std::min(chunk.size(), buffer.size());
    std::copy_n(chunk.begin(), n, buffer.begin());
    chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (chunk.empty()) script_.pop_front();
    return n;
  }

  std::chrono::milliseconds timeout() const override { return std::chrono::seconds(3); }

  std::expected<std::size_t, IoError> write(std::span<const std::uint8_t> data) override {
    writes.emplace_back(data.begin(), data.end());
    if (write_error) return std::unexpected(*write_error);
    return data.size();
  }

  std::size_t reads() const { return buffer_sizes.size(); }

  std::vector<std::string> writes;
  std::optional<IoError> write_error;
  std::vector<std::size_t> buffer_sizes;            // one entry per read call
  std::vector<std::chrono::milliseconds> timeouts;  // the time-out of each read call
  std::function<void()> before_read;

 private:
  std::deque<Read> script_;
};

}  // namespace sparvik::scan::testing
