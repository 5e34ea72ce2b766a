#include "scan/csv_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "scan/csv_file_name.hpp"
#include "scan/number_format.hpp"

namespace sparvik::scan {

namespace {
// Two numbers, the comma and the line feed.
constexpr std::size_t kMaxLine = 2 * kMaxNumberChars + 2;
static_assert(CsvFile::kBufferSize >= kMaxLine);
// More sweeps than this within one second are not a realistic case; give up rather than loop.
constexpr unsigned kMaxAttempts = 1000;

std::string join_path(std::string_view directory, const std::string& name) {
  if (directory.empty() || directory == ".") return name;
  std::string path(directory);
  if (path.back() != '/') path += '/';
  return path + name;
}
}  // namespace

std::expected<CsvFile, IoError> CsvFile::create_unique(std::string_view directory,
                                                       std::time_t when) {
  for (unsigned attempt = 0; attempt < kMaxAttempts; ++attempt) {
    std::string name = csv_file_name(when, attempt);
    const std::string path = join_path(directory, name);
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return CsvFile(fd, std::move(name));
    if (errno != EEXIST) return std::unexpected(IoError::from_errno(errno));
  }
  return std::unexpected(IoError::from_errno(EEXIST));
}

CsvFile::CsvFile(int fd, std::string name)
    : fd_(fd), name_(std::move(name)), buffer_(std::make_unique<char[]>(kBufferSize)) {}

CsvFile::CsvFile(CsvFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      name_(std::move(other.name_)),
      buffer_(std::move(other.buffer_)),
      used_(other.used_) {}

CsvFile::~CsvFile() {
  (void)close();
}

std::expected<void, IoError> CsvFile::write_point(double frequency, double level) {
  if (kBufferSize - used_ < kMaxLine) {
    if (auto written = write_out(); !written) return written;
  }
  char* const start = buffer_.get() + used_;
  char* const end = buffer_.get() + kBufferSize;
  char* at = write_number(start, end, frequency);
  *at++ = ',';
  at = write_number(at, end, level);
  *at++ = '\n';
  used_ += static_cast<std::size_t>(at - start);
  return {};
}

std::expected<void, IoError> CsvFile::write_out() {
  std::size_t done = 0;
  std::expected<void, IoError> result;
  while (done < used_) {
    const ssize_t n = ::write(fd_, buffer_.get() + done, used_ - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = std::unexpected(IoError::from_errno(errno));
      break;
    }
    if (n == 0) {
      result =
          std::unexpected(IoError::custom(IoErrorKind::WriteZero, "failed to write whole buffer"));
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // What did not reach the file stays for a later attempt.
  std::memmove(buffer_.get(), buffer_.get() + done, used_ - done);
  used_ -= done;
  return result;
}

std::expected<void, IoError> CsvFile::close() {
  if (fd_ < 0) return {};
  auto result = write_out();
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && result) result = std::unexpected(IoError::from_errno(errno));
  return result;
}

}  // namespace sparvik::scan
