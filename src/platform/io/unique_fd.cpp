#include "platform/io/unique_fd.hpp"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace sparvik::io {

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    (void)close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  (void)close();
}

std::expected<void, IoError> UniqueFd::close() noexcept {
  if (fd_ < 0) return {};
  if (::close(std::exchange(fd_, -1)) != 0 && errno != EINTR) {
    return std::unexpected(IoError::from_errno(errno));
  }
  return {};
}

}  // namespace sparvik::io
