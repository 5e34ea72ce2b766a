// The sweep's CSV file: "frequency,level\n" lines collected in an 8 KiB buffer of our own and
// written with POSIX write, so that a failure carries the system's errno.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <string>

#include "platform/io_error.hpp"

namespace sparvik::scan {

class CsvFile {
 public:
  static constexpr std::size_t kBufferSize = 8192;

  // Creates the file or truncates it.
  static std::expected<CsvFile, IoError> create(const std::string& path);

  CsvFile(CsvFile&& other) noexcept;
  CsvFile& operator=(CsvFile&&) = delete;
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;
  // Closes a file not closed yet, writing out what is buffered; failures are dropped here, which
  // is why the success path calls close().
  ~CsvFile();

  std::expected<void, IoError> write_point(double frequency, double level);
  // Writes out the buffer and closes the file; the first failure of the two.
  std::expected<void, IoError> close();

 private:
  explicit CsvFile(int fd);
  std::expected<void, IoError> write_out();

  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace sparvik::scan
