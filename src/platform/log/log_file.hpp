// The per-run log file: its name, and the destination that creates it on the first record and
// collects lines in fixed-size blocks in front of it.
#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/io/buffered_writer.hpp"
#include "platform/io_error.hpp"
#include "platform/log/dispatch.hpp"

namespace sparvik::log::detail {

// "<stem of program>_<%Y-%m-%d_%H-%M-%S>.log"; the stem is argument 0 without directory and
// extension.
std::string log_file_name(std::string_view program_name, const std::tm& local_time);

// Like every destination, called under the record lock only.
class LogFile final : public Destination {
 public:
  // `wanted` is the path to create; when another run of the same second holds it, a suffix "_1",
  // "_2", ... goes before ".log".
  LogFile(std::filesystem::path wanted, std::size_t block_size);
  // Writes out what is buffered.
  ~LogFile() override;

  void write(Level level, std::string_view target, std::string_view module_path,
             std::string_view message) override;
  void flush();

  // The created file's path, or the first one it will be tried under.
  const std::string& path() const noexcept { return path_; }

 private:
  bool ensure_created();
  // Once per file: the run goes on without its log rather than stopping over it.
  void report_once(std::string_view what, const IoError& error);

  std::filesystem::path wanted_;
  std::string path_;
  std::size_t block_size_;
  std::optional<io::BufferedWriter> writer_;
  bool creation_failed_ = false;
  bool reported_ = false;
};

}  // namespace sparvik::log::detail
