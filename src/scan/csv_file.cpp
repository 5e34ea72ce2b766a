#include "scan/csv_file.hpp"

#include <filesystem>
#include <utility>

#include "platform/io/create_exclusive.hpp"
#include "scan/csv_file_name.hpp"
#include "scan/number_format.hpp"

namespace sparvik::scan {

namespace {
// Two numbers, the comma and the line feed.
constexpr std::size_t kMaxLine = 2 * kMaxNumberChars + 2;
}  // namespace

std::expected<CsvFile, IoError> CsvFile::create_unique(std::string_view directory,
                                                       std::time_t when) {
  const std::filesystem::path wanted =
      directory.empty() ? std::filesystem::path(csv_file_name(when))
                        : std::filesystem::path(directory) / csv_file_name(when);
  auto created = io::create_exclusive(wanted);
  if (!created) return std::unexpected(std::move(created.error()));
  std::string name = std::filesystem::path(created->path).filename().string();
  return CsvFile(io::BufferedWriter(std::move(created->fd), kBufferSize), std::move(name));
}

CsvFile::CsvFile(io::BufferedWriter writer, std::string name)
    : writer_(std::move(writer)), name_(std::move(name)) {}

std::expected<void, IoError> CsvFile::write_point(double frequency, double level) {
  char line[kMaxLine];
  char* const end = line + kMaxLine;
  char* at = write_number(line, end, frequency);
  *at++ = ',';
  at = write_number(at, end, level);
  *at++ = '\n';
  return writer_.write(std::string_view(line, static_cast<std::size_t>(at - line)));
}

std::expected<void, IoError> CsvFile::close() {
  return writer_.close();
}

}  // namespace sparvik::scan
