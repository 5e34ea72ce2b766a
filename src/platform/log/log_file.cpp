#include "platform/log/log_file.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <utility>

#include "platform/io/create_exclusive.hpp"
#include "platform/log/record.hpp"

namespace sparvik::log::detail {

std::string log_file_name(std::string_view program_name, const std::tm& local_time) {
  std::string stem = std::filesystem::path(program_name).stem().string();
  if (stem.empty()) stem = "sparvik";
  char time_text[32];
  const std::size_t length =
      std::strftime(time_text, sizeof time_text, "%Y-%m-%d_%H-%M-%S", &local_time);
  return fmt::format("{}_{}.log", stem, std::string_view(time_text, length));
}

LogFileSink::LogFileSink(std::filesystem::path wanted, std::size_t block_size)
    : base_sink(make_line_formatter()),
      wanted_(std::move(wanted)),
      path_(wanted_.string()),
      block_size_(block_size) {}

std::string LogFileSink::path() {
  std::lock_guard lock(mutex_);
  return path_;
}

void LogFileSink::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  if (!writer_) return;
  if (auto closed = writer_->close(); !closed) report_write_failure(closed.error());
  writer_.reset();
}

void LogFileSink::sink_it_(const spdlog::details::log_msg& msg) {
  if (!ensure_created()) return;
  line_.clear();
  formatter_->format(msg, line_);
  if (auto written = writer_->write(std::string_view(line_.data(), line_.size())); !written) {
    report_write_failure(written.error());
  }
}

void LogFileSink::flush_() {
  if (!writer_) return;
  if (auto flushed = writer_->flush(); !flushed) report_write_failure(flushed.error());
}

bool LogFileSink::ensure_created() {
  if (writer_) return true;
  if (closed_ || creation_failed_) return false;
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

void LogFileSink::report_write_failure(const IoError& error) {
  report_once(fmt::format("cannot write log file \"{}\"", path_), error);
}

void LogFileSink::report_once(std::string_view what, const IoError& error) {
  if (reported_) return;
  reported_ = true;
  std::fputs(
      fmt::format("Logging: {}: {}; records are being lost\n", what, error.display()).c_str(),
      stderr);
}

}  // namespace sparvik::log::detail
