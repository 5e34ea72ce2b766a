// The sweep's CSV file: "frequency,level\n" lines written through an 8 KiB block, under a name
// no earlier sweep holds.
#pragma once

#include <cstddef>
#include <ctime>
#include <expected>
#include <string>
#include <string_view>

#include "platform/io/buffered_writer.hpp"
#include "platform/io_error.hpp"

namespace sparvik::scan {

class CsvFile {
 public:
  static constexpr std::size_t kBufferSize = 8192;

  // Creates csv_file_name(when) in `directory`, or, when another sweep of the same second holds
  // that name, the first free one of "_1", "_2", ... before ".csv". An existing file is never
  // opened.
  static std::expected<CsvFile, IoError> create_unique(std::string_view directory,
                                                       std::time_t when);

  // The bare name chosen, without the directory.
  const std::string& name() const noexcept { return name_; }

  std::expected<void, IoError> write_point(double frequency, double level);
  // Writes out the block and closes the file; the first failure of the two. A file not closed
  // is closed when dropped, its failures dropped with it, which is why the success path calls
  // this.
  std::expected<void, IoError> close();

 private:
  CsvFile(io::BufferedWriter writer, std::string name);

  io::BufferedWriter writer_;
  std::string name_;
};

}  // namespace sparvik::scan
