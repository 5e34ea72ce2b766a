// Reading and writing "config.toml" with POSIX calls, so that each failure keeps its errno and
// the file is closed on every path.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
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
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }
  // Closes now, for callers that want to know whether the close itself failed.
  std::expected<void, IoError> close() noexcept {
    if (fd_ < 0) return {};
    const int result = ::close(std::exchange(fd_, -1));
    // After EINTR the descriptor is already released on Linux; there is nothing to retry.
    if (result != 0 && errno != EINTR) return std::unexpected(IoError::from_errno(errno));
    return {};
  }

 private:
  int fd_;
};

// At most `limit` + 1 bytes: one byte past the limit shows that the file is too large.
std::expected<std::string, IoError> read_at_most(int fd, std::size_t limit) {
  std::string text(limit + 1, '\0');
  std::size_t size = 0;
  while (size < text.size()) {
    const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  if (size > limit) return std::unexpected(IoError::from_errno(EFBIG));
  text.resize(size);
  return text;
}

struct TemporaryFile {
  std::filesystem::path path;
  FileDescriptor file;
};

// A new file in the directory of `path`, named after it, created exclusively with the mode the
// settings file has always had (0666 less the umask).
std::expected<TemporaryFile, IoError> create_temporary_beside(const std::filesystem::path& path) {
  constexpr int attempts = 100;
  int err = EEXIST;
  for (int attempt = 0; attempt < attempts && err == EEXIST; ++attempt) {
    std::filesystem::path candidate = path;
    candidate += fmt::format(".{}-{}.tmp", ::getpid(), attempt);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return TemporaryFile{std::move(candidate), FileDescriptor(fd)};
    err = errno;
  }
  return std::unexpected(IoError::from_errno(err));
}

// Only a regular file (through any links) is read: a FIFO would block, a device never end.
std::expected<void, IoError> require_regular_file(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return {};
  if (S_ISDIR(status.st_mode)) return std::unexpected(IoError::from_errno(EISDIR));
  return std::unexpected(IoError::custom(IoErrorKind::InvalidInput, "not a regular file"));
}

}  // namespace

std::expected<SavedConfig, SparvikError> read_config(const std::filesystem::path& path) {
  // Looked at before opening, so that no device is ever opened (opening one can have effects of
  // its own); looked at again once open, in case the name was replaced in between. Opening
  // without blocking keeps a FIFO from waiting for a writer.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::unexpected(SparvikError::ConfigNotFound());
  if (auto regular = require_regular_file(status); !regular) {
    return std::unexpected(SparvikError::OpenOutput(std::move(regular.error())));
  }
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return std::unexpected(SparvikError::ConfigNotFound());
  if (::fstat(file.get(), &status) != 0) {
    return std::unexpected(SparvikError::OpenOutput(IoError::from_errno(errno)));
  }
  if (auto regular = require_regular_file(status); !regular) {
    return std::unexpected(SparvikError::OpenOutput(std::move(regular.error())));
  }

  auto text = read_at_most(file.get(), max_config_file_size);
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

  // Only a file (or a link, which the new file replaces) is replaced: never a device or FIFO.
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0 && !S_ISLNK(status.st_mode)) {
    if (auto regular = require_regular_file(status); !regular) {
      return std::unexpected(SparvikUIError::KeyPress(std::move(regular.error())));
    }
  }

  // The new text goes to a file beside the old one and replaces it only once it is complete and
  // on disk, so a failure at any point leaves the old file as it was.
  auto temporary = create_temporary_beside(path);
  if (!temporary) return std::unexpected(SparvikUIError::KeyPress(std::move(temporary.error())));
  FileDescriptor& file = temporary->file;
  const std::filesystem::path& temporary_path = temporary->path;
  const auto fail = [&](IoError error) {
    (void)file.close();
    ::unlink(temporary_path.c_str());
    return std::unexpected(SparvikUIError::KeyPress(std::move(error)));
  };

  const int fd = file.get();
  auto written = write_all(
      *text, [fd](const char* data, std::size_t size) { return ::write(fd, data, size); });
  if (!written) return fail(std::move(written.error()));
  if (::fsync(fd) != 0) return fail(IoError::from_errno(errno));
  if (auto closed = file.close(); !closed) return fail(std::move(closed.error()));
  if (::rename(temporary_path.c_str(), path.c_str()) != 0) return fail(IoError::from_errno(errno));
  return {};
}

}  // namespace sparvik
