// Reading and writing "config.toml" with POSIX calls, so that each failure keeps its errno and
// the file is closed on every path.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
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

// What stands where the settings are written, once links are followed.
enum class TargetKind : std::uint8_t { Missing, RegularFile, Device };

struct RewriteTarget {
  std::filesystem::path path;
  TargetKind kind = TargetKind::Missing;
  // Open for writing, untruncated, and for reading where this user may; none when missing.
  io::UniqueFd file;
  bool readable = false;
  struct stat status {};
};

// A character device such as /dev/null is written as it is, never replaced; any other kind but a
// regular file is refused unopened.
std::expected<void, IoError> require_rewritable(const struct stat& status) {
  if (S_ISCHR(status.st_mode)) return {};
  return require_regular_file(status);
}

// Opening for writing is how it is asked whether this user may write the file (ACLs and
// read-only file systems included), before anything is written. A device is opened without
// becoming this process's terminal and without waiting for a line.
std::expected<RewriteTarget, IoError> open_existing_target(std::filesystem::path path,
                                                           const struct stat& seen) {
  const bool device = S_ISCHR(seen.st_mode);
  constexpr int flags = O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC;
  io::UniqueFd file(::open(path.c_str(), (device ? O_WRONLY : O_RDWR) | flags));
  const bool readable = file.valid() && !device;
  if (!file.valid() && !device && errno == EACCES) {
    file = io::UniqueFd(::open(path.c_str(), O_WRONLY | flags));
  }
  if (!file.valid()) return std::unexpected(IoError::from_errno(errno));
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return std::unexpected(IoError::from_errno(errno));
  // Looked at again, in case the name was replaced since it was looked at.
  if (auto rewritable = require_rewritable(status); !rewritable) {
    return std::unexpected(std::move(rewritable.error()));
  }
  const TargetKind kind = S_ISCHR(status.st_mode) ? TargetKind::Device : TargetKind::RegularFile;
  return RewriteTarget{std::move(path), kind, std::move(file), readable, status};
}

// Each link in turn is replaced by its target (a relative one read from the link's own
// directory), so that the rewrite keeps a link and changes what it points to, as rewriting the
// file through its name would; a dangling link's target is created.
std::expected<RewriteTarget, IoError> open_rewrite_target(std::filesystem::path path) {
  for (int followed = 0; followed <= max_links_followed; ++followed) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno == ENOENT) {
        return RewriteTarget{std::move(path), TargetKind::Missing, {}, false, {}};
      }
      return std::unexpected(IoError::from_errno(errno));
    }
    if (S_ISLNK(status.st_mode)) {
      std::error_code error;
      const auto target = std::filesystem::read_symlink(path, error);
      if (error) return std::unexpected(IoError::from_errno(error.value()));
      path = path.parent_path() / target;  // an absolute target replaces the whole path
      continue;
    }
    if (auto rewritable = require_rewritable(status); !rewritable) {
      return std::unexpected(std::move(rewritable.error()));
    }
    return open_existing_target(std::move(path), status);
  }
  return std::unexpected(IoError::from_errno(ELOOP));
}

// The new text goes to a file beside the target and replaces it only once it is complete and on
// disk, so a failure at any point leaves the old file as it was; the new file is removed on every
// failure. It takes the old file's permission bits, owner and group; a new settings file has the
// mode it has always had (0666 less the umask). When the new file cannot have the old one's owner
// and group, nothing is replaced and the failure is EPERM.
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
    // Only a privileged process may give a file away; another may change only its group, and only
    // to a group of its own. What the new file got is looked at rather than the call's outcome.
    (void)::fchown(file.get(), target.status.st_uid, target.status.st_gid);
    struct stat made {};
    if (::fstat(file.get(), &made) != 0) return fail(IoError::from_errno(errno));
    if (made.st_uid != target.status.st_uid || made.st_gid != target.status.st_gid) {
      return fail(IoError::from_errno(EPERM));
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

// A replacement the directory refuses (no new file in it, or no rename over another user's file
// in a sticky one), or one that would give the file away, is done in place instead; a full disk
// never is.
bool must_rewrite_in_place(const IoError& error) {
  return error.code == EACCES || error.code == EPERM;
}

// The new text over the old from the start, then the file cut to its length: every name of the
// file, its owner and its mode stay. What the new text overwrote is put back when a write fails
// midway, so the old file is whole again; a file this user may write but not read holds no
// settings the program could read back, and is only overwritten.
std::expected<void, IoError> rewrite_in_place(RewriteTarget& target, std::string_view text) {
  const int fd = target.file.get();
  std::optional<std::string> old_start;
  if (target.readable) {
    auto old = io::read_all(fd, text.size());
    if (!old) return std::unexpected(std::move(old.error()));
    old_start = std::move(*old);
  }
  std::size_t overwritten = 0;
  const auto put_back = [&](IoError error) {
    if (old_start && ::lseek(fd, 0, SEEK_SET) == 0) {
      (void)io::write_all(fd, std::string_view(*old_start).substr(0, overwritten));
      (void)::ftruncate(fd, target.status.st_size);
    }
    return std::unexpected(std::move(error));
  };

  if (::lseek(fd, 0, SEEK_SET) != 0) return std::unexpected(IoError::from_errno(errno));
  auto written = io::write_all_with(
      [fd, &overwritten](const char* data, std::size_t size) {
        const ssize_t taken = ::write(fd, data, size);
        if (taken > 0) overwritten += static_cast<std::size_t>(taken);
        return taken;
      },
      text);
  if (!written) return put_back(std::move(written.error()));
  if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0) {
    return put_back(IoError::from_errno(errno));
  }
  return target.file.close();
}

// A device takes the text as a stream: nothing to cut, nothing to put back.
std::expected<void, IoError> write_to_device(RewriteTarget& target, std::string_view text) {
  if (auto written = io::write_all(target.file.get(), text); !written) return written;
  return target.file.close();
}

std::expected<void, IoError> rewrite(RewriteTarget& target, std::string_view text) {
  switch (target.kind) {
    case TargetKind::Missing:
      return replace_through_temporary(target, text);
    case TargetKind::Device:
      return write_to_device(target, text);
    case TargetKind::RegularFile:
      break;
  }
  // A replacement would part the names of a file with several.
  if (target.status.st_nlink > 1) return rewrite_in_place(target, text);
  auto replaced = replace_through_temporary(target, text);
  if (!replaced && must_rewrite_in_place(replaced.error())) return rewrite_in_place(target, text);
  return replaced;
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
  if (auto written = rewrite(*target, *text); !written) {
    return std::unexpected(SparvikUIError::KeyPress(std::move(written.error())));
  }
  return {};
}

}  // namespace sparvik
