// The per-run log file: its name, and the spdlog sink that creates it on the first record and
// collects lines in fixed-size blocks in front of it.
#pragma once

#include <spdlog/sinks/base_sink.h>

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/io/buffered_writer.hpp"
#include "platform/io_error.hpp"

namespace sparvik::log::detail {

// "<stem of program>_<%Y-%m-%d_%H-%M-%S>.log"; the stem is argument 0 without directory and
// extension.
std::string log_file_name(std::string_view program_name, const std::tm& local_time);

// Every member is used under base_sink's mutex: the one lock a record takes.
class LogFileSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  // `wanted` is the path to create; when another run of the same second holds it, a suffix "_1",
  // "_2", ... goes before ".log".
  LogFileSink(std::filesystem::path wanted, std::size_t block_size);

  // The created file's path, or the first one it will be tried under.
  std::string path();
  // Writes out what is buffered and closes the file; records after this are dropped.
  void close();

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;

 private:
  bool ensure_created();
  // Once per file: the run goes on without its log rather than stopping over it.
  void report_once(std::string_view what, const IoError& error);
  void report_write_failure(const IoError& error);

  std::filesystem::path wanted_;
  std::string path_;
  std::size_t block_size_;
  std::optional<io::BufferedWriter> writer_;
  spdlog::memory_buf_t line_;
  bool creation_failed_ = false;
  bool closed_ = false;
  bool reported_ = false;
};

}  // namespace sparvik::log::detail
