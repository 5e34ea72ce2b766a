// Reading and writing "config.toml" with POSIX calls, so that each failure keeps its errno and
// the file is closed on every path.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/io/create_exclusive.hpp"
#include "platform/io/descriptor_io.hpp"
#include "platform/io/unique_fd.hpp"
#include "structs/saved_config.hpp"
#include "structs/utf8.hpp"

namespace sparvik {

namespace {

// Linux gives up on a lookup after as many links.
constexpr int max_links_followed = 40;

// Only a regular file (through any links) is read or replaced: a FIFO would block, a device
// never end.
std::expected<void, IoError> require_regular_file(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return {};
  if (S_ISDIR(status.st_mode)) return std::unexpected(IoError::from_errno(EISDIR));
  return std::unexpected(IoError::custom(IoErrorKind::InvalidInput, "not a regular file"));
}

// Looked at again once open, in case the name was replaced since it was looked at.
std::expected<void, IoError> require_regular_descriptor(int fd, struct stat& status) {
  if (::fstat(fd, &status) != 0) return std::unexpected(IoError::from_errno(errno));
  return require_regular_file(status);
}

// The file a rewrite replaces: the settings file, or for a link its final target.
struct RewriteTarget {
  std::filesystem::path path;
  io::UniqueFd file;  // open for writing, untruncated; none when there is no file there yet
  struct stat status {};
};

// Each link in turn is replaced by its target (a relative one read from the link's own
// directory), so that the rewrite keeps a link and changes what it points to, as rewriting the
// file through its name would; a dangling link's target is created. Opening the file for writing
// is how it is asked whether this user may write it, before anything is written; a device or
// FIFO is looked at first and never opened.
std::expected<RewriteTarget, IoError> open_rewrite_target(std::filesystem::path path) {
  for (int followed = 0; followed <= max_links_followed; ++followed) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno == ENOENT) return RewriteTarget{std::move(path), {}, {}};
      return std::unexpected(IoError::from_errno(errno));
    }
    if (S_ISLNK(status.st_mode)) {
      std::error_code error;
      const auto target = std::filesystem::read_symlink(path, error);
      if (error) return std::unexpected(IoError::from_errno(error.value()));
      path = path.parent_path() / target;  // an absolute target replaces the whole path
      continue;
    }
    if (auto regular = require_regular_file(status); !regular) {
      return std::unexpected(std::move(regular.error()));
    }
    io::UniqueFd file(
        ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid()) return std::unexpected(IoError::from_errno(errno));
    if (auto regular = require_regular_descriptor(file.get(), status); !regular) {
      return std::unexpected(std::move(regular.error()));
    }
    return RewriteTarget{std::move(path), std::move(file), status};
  }
  return std::unexpected(IoError::from_errno(ELOOP));
}

// The new text goes to a file beside the target and replaces it only once it is complete and on
// disk, so a failure at any point leaves the old file as it was; the new file is removed on every
// failure. It takes the old file's permission bits, and its owner and group where this process
// may give them; a new settings file has the mode it has always had (0666 less the umask).
std::expected<void, IoError> replace_through_temporary(const RewriteTarget& target,
                                                       std::string_view text) {
  const bool replaces = target.file.valid();
  std::filesystem::path wanted = target.path;
  wanted += fmt::format(".{}.tmp", ::getpid());
  auto temporary = io::create_exclusive(wanted, replaces ? target.status.st_mode & 0777 : 0666);
  if (!temporary) return std::unexpected(std::move(temporary.error()));
  io::UniqueFd& file = temporary->fd;
  const std::string& temporary_path = temporary->path;
  const auto fail = [&](IoError error) {
    (void)file.close();
    ::unlink(temporary_path.c_str());
    return std::unexpected(std::move(error));
  };

  if (replaces) {
    if (::fchown(file.get(), target.status.st_uid, target.status.st_gid) != 0) {
      // Only a privileged process may give a file away; the new one stays this user's.
    }
    // After the owner, whose change clears set-id bits; exact, whatever the umask took away.
    if (::fchmod(file.get(), target.status.st_mode & 07777) != 0) {
      return fail(IoError::from_errno(errno));
    }
  }
  if (auto written = io::write_all(file.get(), text); !written) {
    return fail(std::move(written.error()));
  }
  if (::fsync(file.get()) != 0) return fail(IoError::from_errno(errno));
  if (auto closed = file.close(); !closed) return fail(std::move(closed.error()));
  if (::rename(temporary_path.c_str(), target.path.c_str()) != 0) {
    return fail(IoError::from_errno(errno));
  }
  return {};
}

// A directory that takes no new file (or refuses the rename, as a sticky one does for another
// user's file) is the one reason to rewrite in place; a full disk never is.
bool refused_by_directory(const IoError& error) {
  return error.code == EACCES || error.code == EPERM;
}

// Truncate, write all, close: a failure midway can leave the file partial, the price of a
// directory that leaves no other way.
std::expected<void, IoError> rewrite_in_place(io::UniqueFd file, std::string_view text) {
  if (::ftruncate(file.get(), 0) != 0) return std::unexpected(IoError::from_errno(errno));
  if (auto written = io::write_all(file.get(), text); !written) return written;
  return file.close();
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
  if (auto regular = require_regular_descriptor(file.get(), status); !regular) {
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

  auto target = open_rewrite_target(path);
  if (!target) return std::unexpected(SparvikUIError::KeyPress(std::move(target.error())));
  auto written = replace_through_temporary(*target, *text);
  if (!written && target->file.valid() && refused_by_directory(written.error())) {
    written = rewrite_in_place(std::move(target->file), *text);
  }
  if (!written) return std::unexpected(SparvikUIError::KeyPress(std::move(written.error())));
  return {};
}

}  // namespace sparvik
