// Creating a file under a name nobody holds yet, for files named after the second they were made.
#pragma once

#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <string>

#include "platform/io/unique_fd.hpp"
#include "platform/io_error.hpp"

namespace sparvik::io {

struct CreatedFile {
  UniqueFd fd;  // open for writing
  std::string path;
};

// The name tried on attempt n: `wanted` itself first, then "_<n>" put before the extension:
// "scan_20261209 09_52_28.csv", "scan_20261209 09_52_28_1.csv", ...
std::string numbered_path(const std::filesystem::path& wanted, unsigned attempt);

// Creates the first name of numbered_path's sequence that does not exist. An existing file is
// never opened, so whatever another run left there stays intact.
std::expected<CreatedFile, IoError> create_exclusive(const std::filesystem::path& wanted,
                                                     mode_t mode = 0666);

}  // namespace sparvik::io
