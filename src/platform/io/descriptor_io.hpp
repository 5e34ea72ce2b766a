// Reading and writing a descriptor with failures as values carrying the errno. Interrupted calls
// are repeated; "would block" is an error like any other, for the caller that polls to handle.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "platform/io_error.hpp"

namespace sparvik::io {

// One read(2): the bytes read, 0 at end of file.
std::expected<std::size_t, IoError> read_some(int fd, std::span<char> buffer);
// One write(2): the bytes taken, possibly fewer than given.
std::expected<std::size_t, IoError> write_some(int fd, std::string_view bytes);

// Everything up to end of file, or the first `limit` bytes of it: a reader that must not be
// exhausted by a huge file asks for one byte more than it accepts and sees that it got it.
std::expected<std::string, IoError> read_all(int fd, std::size_t limit);

// All of `bytes`: short writes continue, and a write that takes nothing is the error "failed to
// write whole buffer" instead of a spin.
std::expected<void, IoError> write_all(int fd, std::string_view bytes);

// The loop behind write_all, over any write(2)-like call
// `ssize_t write_once(const char* data, std::size_t size)` (-1 with errno on failure).
template <class WriteOnce>
std::expected<void, IoError> write_all_with(WriteOnce&& write_once, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t taken = write_once(bytes.data(), bytes.size());
    if (taken < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      return std::unexpected(IoError::from_errno(err));
    }
    if (taken == 0) {
      return std::unexpected(
          IoError::custom(IoErrorKind::WriteZero, "failed to write whole buffer"));
    }
    bytes.remove_prefix(static_cast<std::size_t>(taken));
  }
  return {};
}

}  // namespace sparvik::io
