// Reading and writing "config.toml" with POSIX calls, so that each failure keeps its errno and
// the file is closed on every path.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "structs/saved_config.hpp"
#include "structs/utf8.hpp"
#include "structs/write_all.hpp"

namespace sparvik {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }
  // Closes now, for callers that want to know whether the close itself failed.
  std::expected<void, IoError> close() noexcept {
    const int result = ::close(std::exchange(fd_, -1));
    // After EINTR the descriptor is already released on Linux; there is nothing to retry.
    if (result != 0 && errno != EINTR) return std::unexpected(IoError::from_errno(errno));
    return {};
  }

 private:
  int fd_;
};

std::expected<std::string, IoError> read_all(int fd) {
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (got == 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::expected<SavedConfig, SparvikError> read_config(const std::filesystem::path& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return std::unexpected(SparvikError::ConfigNotFound());

  auto text = read_all(file.get());
  if (!text) return std::unexpected(SparvikError::OpenOutput(std::move(text.error())));
  if (!is_valid_utf8(*text)) {
    return std::unexpected(SparvikError::OpenOutput(
        IoError::custom(IoErrorKind::InvalidData, "stream did not contain valid UTF-8")));
  }
  auto config = from_toml(*text);
  if (!config) return std::unexpected(SparvikError::InvalidConfig(std::move(config.error())));
  return std::move(*config);
}

std::expected<void, SparvikUIError> write_config(const SavedConfig& config,
                                                 const std::filesystem::path& path) {
  // Rendered before the file is touched: a record that cannot be written leaves the old file.
  auto text = to_toml(config);
  if (!text) return std::unexpected(SparvikUIError::SerializeError(std::move(text.error())));

  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (file.get() < 0) return std::unexpected(SparvikUIError::KeyPress(IoError::from_errno(errno)));

  const int fd = file.get();
  auto written = write_all(
      *text, [fd](const char* data, std::size_t size) { return ::write(fd, data, size); });
  if (!written) return std::unexpected(SparvikUIError::KeyPress(std::move(written.error())));
  if (auto closed = file.close(); !closed) {
    return std::unexpected(SparvikUIError::KeyPress(std::move(closed.error())));
  }
  return {};
}

}  // namespace sparvik
