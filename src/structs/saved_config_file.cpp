// Reading and writing "config.toml" with POSIX calls, so that each failure keeps its errno and
// the file is closed on every path.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/io/create_exclusive.hpp"
#include "platform/io/descriptor_io.hpp"
#include "platform/io/unique_fd.hpp"
#include "structs/saved_config.hpp"
#include "structs/utf8.hpp"

namespace sparvik {

namespace {

// A new file in the directory of `path`, named after it and this process, created exclusively
// with the mode the settings file has always had (0666 less the umask).
std::expected<io::CreatedFile, IoError> create_temporary_beside(const std::filesystem::path& path) {
  std::filesystem::path wanted = path;
  wanted += fmt::format(".{}.tmp", ::getpid());
  return io::create_exclusive(wanted, 0666);
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
  io::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return std::unexpected(SparvikError::ConfigNotFound());
  if (::fstat(file.get(), &status) != 0) {
    return std::unexpected(SparvikError::OpenOutput(IoError::from_errno(errno)));
  }
  if (auto regular = require_regular_file(status); !regular) {
    return std::unexpected(SparvikError::OpenOutput(std::move(regular.error())));
  }

  // One byte past the limit shows that the file is too large.
  auto text = io::read_all(file.get(), max_config_file_size + 1);
  if (!text) return std::unexpected(SparvikError::OpenOutput(std::move(text.error())));
  if (text->size() > max_config_file_size) {
    return std::unexpected(SparvikError::OpenOutput(IoError::from_errno(EFBIG)));
  }
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
  io::UniqueFd& file = temporary->fd;
  const std::string& temporary_path = temporary->path;
  const auto fail = [&](IoError error) {
    (void)file.close();
    ::unlink(temporary_path.c_str());
    return std::unexpected(SparvikUIError::KeyPress(std::move(error)));
  };

  if (auto written = io::write_all(file.get(), *text); !written) {
    return fail(std::move(written.error()));
  }
  if (::fsync(file.get()) != 0) return fail(IoError::from_errno(errno));
  if (auto closed = file.close(); !closed) return fail(std::move(closed.error()));
  if (::rename(temporary_path.c_str(), path.c_str()) != 0) return fail(IoError::from_errno(errno));
  return {};
}

}  // namespace sparvik
