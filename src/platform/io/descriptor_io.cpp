#include "platform/io/descriptor_io.hpp"

#include <unistd.h>

#include <algorithm>

namespace sparvik::io {

std::expected<std::size_t, IoError> read_some(int fd, std::span<char> buffer) {
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return std::unexpected(IoError::from_errno(errno));
  }
}

std::expected<std::size_t, IoError> write_some(int fd, std::string_view bytes) {
  for (;;) {
    const ssize_t taken = ::write(fd, bytes.data(), bytes.size());
    if (taken >= 0) return static_cast<std::size_t>(taken);
    if (errno != EINTR) return std::unexpected(IoError::from_errno(errno));
  }
}

std::expected<std::string, IoError> read_all(int fd, std::size_t limit) {
  std::string text;
  char buffer[8192];
  while (text.size() < limit) {
    const std::size_t wanted = std::min(sizeof buffer, limit - text.size());
    auto got = read_some(fd, std::span<char>(buffer, wanted));
    if (!got) return std::unexpected(std::move(got.error()));
    if (*got == 0) break;
    text.append(buffer, *got);
  }
  return text;
}

std::expected<void, IoError> write_all(int fd, std::string_view bytes) {
  return write_all_with(
      [fd](const char* data, std::size_t size) { return ::write(fd, data, size); }, bytes);
}

}  // namespace sparvik::io
