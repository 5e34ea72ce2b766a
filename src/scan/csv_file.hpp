// The sweep's CSV file: "frequency,level\n" lines collected in an 8 KiB buffer of our own and
// written with POSIX write, so that a failure carries the system's errno.
#pragma once

#include <cstddef>
#include <ctime>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "platform/io_error.hpp"

namespace sparvik::scan {

class CsvFile {
 public:
  static constexpr std::size_t kBufferSize = 8192;

  // Creates the first free name of csv_file_name(when, 0), (when, 1), ... in `directory`. An
  // existing file, another sweep's result from the same second, is never opened.
  static std::expected<CsvFile, IoError> create_unique(std::string_view directory,
                                                       std::time_t when);

  CsvFile(CsvFile&& other) noexcept;
  CsvFile& operator=(CsvFile&&) = delete;
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;
  // Closes a file not closed yet, writing out what is buffered; failures are dropped here, which
  // is why the success path calls close().
  ~CsvFile();

  // The bare name chosen, without the directory.
  const std::string& name() const noexcept { return name_; }

  std::expected<void, IoError> write_point(double frequency, double level);
  // Writes out the buffer and closes the file; the first failure of the two.
  std::expected<void, IoError> close();

 private:
  CsvFile(int fd, std::string name);
  std::expected<void, IoError> write_out();

  int fd_;
  std::string name_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace sparvik::scan
