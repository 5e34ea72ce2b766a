// The settings of the last started sweep, kept in "config.toml" in the working directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "structs/errors.hpp"

namespace sparvik {

struct SavedConfig {
  std::string port;
  std::uint32_t baudrate = 0;
  std::uint64_t start_frequency = 0;  // MHz
  std::uint64_t stop_frequency = 0;   // MHz
  std::uint64_t points = 0;
  std::uint64_t repeat = 0;
  friend bool operator==(const SavedConfig&, const SavedConfig&) = default;
};

inline constexpr std::string_view config_file_name = "config.toml";
// The program writes six short lines; a larger file is not one of ours and is not read.
inline constexpr std::size_t max_config_file_size = 64 * 1024;

// The record as TOML text: six "key = value" lines. Fails for a number past the largest TOML
// integer and for a port name that is not UTF-8.
std::expected<std::string, TomlWriteError> to_toml(const SavedConfig& config);
// A TOML document (UTF-8, optionally starting with a byte-order mark) read under the settings
// rules: all six keys, integers in range, other keys ignored. Text nested deeper than a few
// levels, or starting with two byte-order marks, is refused before it is parsed.
std::expected<SavedConfig, TomlReadError> from_toml(std::string_view text);

// "config.toml" in the working directory; `path` exists for tests.
// read_config: ConfigNotFound (cannot open), OpenOutput (not a regular file, larger than
// max_config_file_size, cannot read, not UTF-8), InvalidConfig.
// write_config: SerializeError (cannot render), KeyPress (neither a regular file nor a character
// device once links are followed, this user may not write it, cannot create, write, sync or
// rename the new file). A link stays a link and its target is rewritten. The new text replaces
// the old file, which keeps its mode, owner and group; where a replacement would part the names
// of a hard-linked file, give the file away or is refused by its directory, the file is rewritten
// in place. On any failure the old file is left as it was, or put back as it was. A character
// device (/dev/null) is written to.
std::expected<SavedConfig, SparvikError> read_config(
    const std::filesystem::path& path = config_file_name);
std::expected<void, SparvikUIError> write_config(
    const SavedConfig& config, const std::filesystem::path& path = config_file_name);

}  // namespace sparvik
