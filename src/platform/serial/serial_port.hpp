// Serial ports: listing the machine's ports, and an open port that the command channel reads and
// writes. A real device node and a pseudo-terminal behave alike.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io_error.hpp"
#include "platform/serial/serial_error.hpp"

namespace sparvik::serial {

// Port names in the order the system reports them.
std::expected<std::vector<std::string>, SerialError> list_ports();

// 8 data bits, no parity, 1 stop bit and no flow control are fixed. The time-out bounds every
// write, and the reads that do not name one of their own.
struct PortSettings {
  std::uint32_t baudrate = 115200;
  std::chrono::milliseconds timeout{3000};
};

// What the command channel needs of an open port. Tests substitute scripted ports.
class Port {
 public:
  virtual ~Port() = default;
  // Returns at once with what is waiting (at least one byte), waits up to `timeout` for a first
  // byte, and fails with TimedOut otherwise. A hung-up line fails at once.
  virtual std::expected<std::size_t, IoError> read(std::span<std::uint8_t> buffer,
                                                   std::chrono::milliseconds timeout) = 0;
  // The same with the port's own time-out.
  std::expected<std::size_t, IoError> read(std::span<std::uint8_t> buffer) {
    return read(buffer, timeout());
  }
  virtual std::chrono::milliseconds timeout() const = 0;
  // Writes what the line accepts within the time-out; returns the number of bytes written.
  virtual std::expected<std::size_t, IoError> write(std::span<const std::uint8_t> data) = 0;
};

// Opens and configures `name` (e.g. "/dev/ttyACM0"); pending input is kept. The port is closed
// when the returned object goes.
std::expected<std::unique_ptr<Port>, SerialError> open_port(std::string_view name,
                                                            const PortSettings& settings);

}  // namespace sparvik::serial
