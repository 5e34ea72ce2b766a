// Test helpers for talking to the simulated analyser through a real serial Port (header-only; the
// test links sparvik_serial).
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/serial_port.hpp"

namespace sparvik::sim {

// Writes all of `text` with the port's own write; false on an error or a short write.
inline bool write_text(serial::Port& port, std::string_view text) {
  auto bytes = std::as_bytes(std::span(text.data(), text.size()));
  auto written = port.write({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  return written && *written == text.size();
}

// Reads until the bytes read so far contain `terminator`, a read fails (time-out, hang-up) or
// `limit` passes. Each read's bytes are kept apart, so tests can see how the data arrived.
inline std::vector<std::string> read_pieces_until(
    serial::Port& port, std::string_view terminator,
    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  std::vector<std::string> pieces;
  std::string all;
  std::uint8_t buffer[256];
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (all.find(terminator) == std::string::npos && std::chrono::steady_clock::now() < give_up) {
    auto n = port.read(buffer);
    if (!n) break;
    pieces.emplace_back(reinterpret_cast<const char*>(buffer), *n);
    all += pieces.back();
  }
  return pieces;
}

inline std::string read_until(serial::Port& port, std::string_view terminator,
                              std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  std::string all;
  for (const auto& piece : read_pieces_until(port, terminator, limit)) all += piece;
  return all;
}

}  // namespace sparvik::sim
