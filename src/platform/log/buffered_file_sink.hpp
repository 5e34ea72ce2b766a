// spdlog sink in front of the per-run log file: lines collect in a fixed-size buffer and reach
// the file when it is full or flushed. The file is created by the first record.
#pragma once

#include <spdlog/sinks/base_sink.h>

#include <cstddef>
#include <mutex>
#include <string>

namespace sparvik::log::detail {

class BufferedFileSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  // `base_path` is the file's path without ".log" (see create_unique_log_file).
  BufferedFileSink(std::string base_path, std::size_t capacity);
  ~BufferedFileSink() override;

  // The created file's path, or the first one it will be tried under.
  std::string file_name();

 protected:
  // The payload is the whole line: the layout is made by format_line.
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;

 private:
  bool ensure_open();
  void write_out(std::string_view bytes);
  // Once per sink: the run goes on without its log rather than stopping over it.
  void report_once(std::string_view what, const std::string& reason);

  std::string base_path_;
  std::string path_;
  std::size_t capacity_;
  std::string buffer_;
  int fd_ = -1;
  bool open_failed_ = false;
  bool reported_ = false;
};

}  // namespace sparvik::log::detail
