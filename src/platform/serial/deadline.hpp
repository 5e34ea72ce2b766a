// The one time-out helper of the serial layer: a deadline on the monotonic clock and a poll() that
// honours it across interruptions. Every blocking call of a port goes through it.
#pragma once

#include <chrono>
#include <expected>

#include "platform/io_error.hpp"

namespace sparvik::serial {

// `timeout` from now on the monotonic clock; a time-out too long for the clock never passes.
std::chrono::steady_clock::time_point time_after(std::chrono::milliseconds timeout);

class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds timeout) : end_(time_after(timeout)) {}

  // Milliseconds left, rounded up so that a wait never ends before the deadline; 0 once passed.
  int remaining_ms() const;

 private:
  std::chrono::steady_clock::time_point end_;
};

// Waits for `events` on `fd` until the deadline; EINTR is retried with the time still left.
// Returns the reported events, 0 when the deadline passed first, or poll()'s own error.
std::expected<short, IoError> poll_until(int fd, short events, const Deadline& deadline);

}  // namespace sparvik::serial
