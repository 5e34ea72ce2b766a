#include "platform/log/buffered_file_sink.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/io_error.hpp"
#include "platform/log/log_file.hpp"

namespace sparvik::log::detail {

BufferedFileSink::BufferedFileSink(std::string base_path, std::size_t capacity)
    : base_path_(std::move(base_path)), path_(log_file_path(base_path_, 0)), capacity_(capacity) {
  buffer_.reserve(capacity_);
}

BufferedFileSink::~BufferedFileSink() {
  std::lock_guard lock(mutex_);
  flush_();
  if (fd_ >= 0) ::close(fd_);
}

std::string BufferedFileSink::file_name() {
  std::lock_guard lock(mutex_);
  return path_;
}

void BufferedFileSink::sink_it_(const spdlog::details::log_msg& msg) {
  if (!ensure_open()) return;
  const std::string_view line(msg.payload.data(), msg.payload.size());
  if (buffer_.size() + line.size() > capacity_) flush_();
  if (line.size() >= capacity_) {
    write_out(line);
  } else {
    buffer_.append(line);
  }
}

void BufferedFileSink::flush_() {
  if (buffer_.empty()) return;
  write_out(buffer_);
  buffer_.clear();
}

bool BufferedFileSink::ensure_open() {
  if (fd_ >= 0) return true;
  if (open_failed_) return false;
  auto created = create_unique_log_file(base_path_);
  if (!created) {
    open_failed_ = true;
    report_once(fmt::format("cannot create log file \"{}\"", path_), created.error().display());
    return false;
  }
  fd_ = created->fd;
  path_ = std::move(created->path);
  return true;
}

void BufferedFileSink::write_out(std::string_view bytes) {
  if (fd_ < 0) return;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const IoError error = written < 0 ? IoError::from_errno()
                                        : IoError::custom(IoErrorKind::WriteZero, "wrote 0 bytes");
      report_once(fmt::format("cannot write log file \"{}\"", path_), error.display());
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void BufferedFileSink::report_once(std::string_view what, const std::string& reason) {
  if (reported_) return;
  reported_ = true;
  std::fputs(fmt::format("Logging: {}: {}; records are being lost\n", what, reason).c_str(),
             stderr);
}

}  // namespace sparvik::log::detail
