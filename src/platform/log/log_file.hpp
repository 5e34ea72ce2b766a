// Naming and creating the per-run log file.
#pragma once

#include <ctime>
#include <expected>
#include <string>
#include <string_view>

#include "platform/io_error.hpp"

namespace sparvik::log::detail {

// "<stem of program>_<%Y-%m-%d_%H-%M-%S>", the name without its ".log"; the stem is argument 0
// without directory and extension.
std::string log_file_stem(std::string_view program_name, const std::tm& local_time);

// The path tried on attempt n: "<base>.log" first, then "<base>_<n>.log".
std::string log_file_path(std::string_view base_path, unsigned attempt);

struct CreatedFile {
  int fd = -1;
  std::string path;
};

// Creates the first free path of log_file_path's sequence. An existing file, left by another run
// started in the same second, is never opened, so that run's log stays intact.
std::expected<CreatedFile, IoError> create_unique_log_file(std::string_view base_path);

}  // namespace sparvik::log::detail
