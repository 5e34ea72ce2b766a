// The settings of the last started sweep, kept in "config.toml" in the working directory.
#pragma once

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

// The record as TOML text: six "key = value" lines.
std::expected<std::string, TomlWriteError> to_toml(const SavedConfig& config);
// A TOML document read under the settings rules (UTF-8 text, BOM already allowed for).
std::expected<SavedConfig, TomlReadError> from_toml(std::string_view text);

// "config.toml" in the working directory; `path` exists for tests.
std::expected<SavedConfig, SparvikError> read_config(
    const std::filesystem::path& path = config_file_name);
std::expected<void, SparvikUIError> write_config(
    const SavedConfig& config, const std::filesystem::path& path = config_file_name);

}  // namespace sparvik
