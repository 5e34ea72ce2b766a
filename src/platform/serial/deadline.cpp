#include "platform/serial/deadline.hpp"

#include <poll.h>

#include <cerrno>
#include <climits>

namespace sparvik::serial {

std::chrono::steady_clock::time_point time_after(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto now = Clock::now();
  const auto headroom =
      std::chrono::floor<std::chrono::milliseconds>(Clock::time_point::max() - now);
  return timeout >= headroom ? Clock::time_point::max() : now + timeout;
}

int Deadline::remaining_ms() const {
  const auto left = end_ - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

std::expected<short, IoError> poll_until(int fd, short events, const Deadline& deadline) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, deadline.remaining_ms());
    if (ready > 0) return entry.revents;
    if (ready == 0) return 0;
    if (errno != EINTR) return std::unexpected(IoError::from_errno());
  }
}

}  // namespace sparvik::serial
