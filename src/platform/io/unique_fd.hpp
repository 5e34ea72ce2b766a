// The one owner of a file descriptor: move-only, closes exactly once.
#pragma once

#include <expected>

#include "platform/io_error.hpp"

namespace sparvik::io {

class UniqueFd {
 public:
  UniqueFd() noexcept = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept;
  // Closes the descriptor held so far (its failure dropped) and takes the other's.
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  // Closes a descriptor not closed yet; a failure is dropped here, so a writer that must know
  // calls close() first.
  ~UniqueFd();

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }

  // Closes now and says whether close(2) failed. The descriptor is released either way: after
  // EINTR Linux has closed it already, so it is never closed twice. Empty: nothing to do.
  std::expected<void, IoError> close() noexcept;

 private:
  int fd_ = -1;
};

}  // namespace sparvik::io
