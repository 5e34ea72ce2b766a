#include "scan/csv_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "scan/number_format.hpp"

namespace sparvik::scan {

namespace {
// Two numbers, the comma and the line feed.
constexpr std::size_t kMaxLine = 2 * kMaxNumberChars + 2;
static_assert(CsvFile::kBufferSize >= kMaxLine);
}  // namespace

std::expected<CsvFile, IoError> CsvFile::create(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  return CsvFile(fd);
}

CsvFile::CsvFile(int fd) : fd_(fd), buffer_(std::make_unique<char[]>(kBufferSize)) {}

CsvFile::CsvFile(CsvFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)), used_(other.used_) {}

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
