#include "platform/log/log_file.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <utility>

#include "platform/io/create_exclusive.hpp"

namespace sparvik::log::detail {

std::string log_file_name(std::string_view program_name, const std::tm& local_time) {
  std::string stem = std::filesystem::path(program_name).stem().string();
  if (stem.empty()) stem = "sparvik";
  char time_text[32];
  const std::size_t length =
      std::strftime(time_text, sizeof time_text, "%Y-%m-%d_%H-%M-%S", &local_time);
  return fmt::format("{}_{}.log", stem, std::string_view(time_text, length));
}

LogFile::LogFile(std::filesystem::path wanted, std::size_t block_size)
    : wanted_(std::move(wanted)), path_(wanted_.string()), block_size_(block_size) {}

LogFile::~LogFile() {
  if (!writer_) return;
  if (auto closed = writer_->close(); !closed) {
    report_once(fmt::format("cannot write log file \"{}\"", path_), closed.error());
  }
}

void LogFile::write(Level level, std::string_view, std::string_view module_path,
                    std::string_view message) {
  if (!ensure_created()) return;
  if (auto written = writer_->write(format_line(level, module_path, message)); !written) {
    report_once(fmt::format("cannot write log file \"{}\"", path_), written.error());
  }
}

void LogFile::flush() {
  if (!writer_) return;
  if (auto flushed = writer_->flush(); !flushed) {
    report_once(fmt::format("cannot write log file \"{}\"", path_), flushed.error());
  }
}

bool LogFile::ensure_created() {
  if (writer_) return true;
  if (creation_failed_) return false;
  auto created = io::create_exclusive(wanted_, 0644);
  if (!created) {
    creation_failed_ = true;
    report_once(fmt::format("cannot create log file \"{}\"", path_), created.error());
    return false;
  }
  path_ = std::move(created->path);
  writer_.emplace(std::move(created->fd), block_size_);
  return true;
}

void LogFile::report_once(std::string_view what, const IoError& error) {
  if (reported_) return;
  reported_ = true;
  std::fputs(
      fmt::format("Logging: {}: {}; records are being lost\n", what, error.display()).c_str(),
      stderr);
}

}  // namespace sparvik::log::detail
