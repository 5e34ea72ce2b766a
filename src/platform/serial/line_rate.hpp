// Line rates that glibc's termios cannot name (e.g. 1843200), through the kernel's arbitrary-rate
// interface. Linux only; kept apart because its kernel headers clash with glibc's <termios.h>.
#pragma once

#include <cstdint>
#include <expected>

namespace sparvik::serial::detail {

struct LineRate {
  std::uint32_t input = 0;
  std::uint32_t output = 0;
};

// Sets both directions of the open terminal `fd` to `rate` baud; the other settings are kept.
// Returns 0, or the errno of the failing call.
int set_arbitrary_rate(int fd, std::uint32_t rate) noexcept;

// The rates the terminal `fd` is set to, as the kernel reports them; or the errno.
std::expected<LineRate, int> read_line_rate(int fd) noexcept;

}  // namespace sparvik::serial::detail
