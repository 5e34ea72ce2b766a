#include "platform/io/create_exclusive.hpp"

#include <fcntl.h>

#include <cerrno>

namespace sparvik::io {
namespace {
// More files than this under one name are not a realistic case; give up rather than loop.
constexpr unsigned kMaxAttempts = 1000;
}  // namespace

std::string numbered_path(const std::filesystem::path& wanted, unsigned attempt) {
  if (attempt == 0) return wanted.string();
  std::filesystem::path numbered = wanted;
  numbered.replace_filename(wanted.stem().string() + "_" + std::to_string(attempt) +
                            wanted.extension().string());
  return numbered.string();
}

std::expected<CreatedFile, IoError> create_exclusive(const std::filesystem::path& wanted,
                                                     mode_t mode) {
  for (unsigned attempt = 0; attempt < kMaxAttempts; ++attempt) {
    std::string path = numbered_path(wanted, attempt);
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return CreatedFile{UniqueFd(fd), std::move(path)};
    if (errno != EEXIST) return std::unexpected(IoError::from_errno(errno));
  }
  return std::unexpected(IoError::from_errno(EEXIST));
}

}  // namespace sparvik::io
