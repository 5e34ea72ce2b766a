#include "platform/log/log_file.hpp"

#include <fcntl.h>
#include <fmt/format.h>

#include <cerrno>
#include <filesystem>

namespace sparvik::log::detail {
namespace {
// More runs than this within one second are not a realistic case; give up rather than loop.
constexpr unsigned kMaxAttempts = 1000;
}  // namespace

std::string log_file_stem(std::string_view program_name, const std::tm& local_time) {
  std::string stem = std::filesystem::path(program_name).stem().string();
  if (stem.empty()) stem = "sparvik";
  char time_text[32];
  const std::size_t length =
      std::strftime(time_text, sizeof time_text, "%Y-%m-%d_%H-%M-%S", &local_time);
  return fmt::format("{}_{}", stem, std::string_view(time_text, length));
}

std::string log_file_path(std::string_view base_path, unsigned attempt) {
  if (attempt == 0) return fmt::format("{}.log", base_path);
  return fmt::format("{}_{}.log", base_path, attempt);
}

std::expected<CreatedFile, IoError> create_unique_log_file(std::string_view base_path) {
  for (unsigned attempt = 0; attempt < kMaxAttempts; ++attempt) {
    std::string path = log_file_path(base_path, attempt);
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return CreatedFile{fd, std::move(path)};
    if (errno != EEXIST) return std::unexpected(IoError::from_errno());
  }
  return std::unexpected(IoError::from_errno(EEXIST));
}

}  // namespace sparvik::log::detail
