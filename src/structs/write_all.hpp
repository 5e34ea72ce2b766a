// Writing a whole buffer through a write(2)-like call: short and interrupted writes continue,
// a write that takes nothing fails instead of spinning.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <expected>
#include <string_view>

#include "platform/io_error.hpp"

namespace sparvik {

// `write_some(const char* data, std::size_t size)` returns the bytes taken, or -1 with errno set.
template <class WriteSome>
std::expected<void, IoError> write_all(std::string_view data, WriteSome&& write_some) {
  while (!data.empty()) {
    const ssize_t taken = write_some(data.data(), data.size());
    if (taken < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      return std::unexpected(IoError::from_errno(err));
    }
    if (taken == 0) {
      return std::unexpected(
          IoError::custom(IoErrorKind::WriteZero, "failed to write whole buffer"));
    }
    data.remove_prefix(static_cast<std::size_t>(taken));
  }
  return {};
}

}  // namespace sparvik
