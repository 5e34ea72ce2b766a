// SavedConfig to and from TOML text, under the settings rules.
#include "structs/saved_config.hpp"

#include <fmt/format.h>
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <variant>
#include <vector>

#include "structs/debug_tree.hpp"
#include "structs/toml_prescan.hpp"
#include "structs/utf8.hpp"

namespace sparvik {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";
constexpr std::uint64_t largest_toml_integer =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// One row per key, in field order: the order of the lines written and the order in which a
// missing key is reported. `limit` is the largest value read or written (a TOML integer is
// signed 64-bit); the text key has none.
using TextMember = std::string SavedConfig::*;
using U32Member = std::uint32_t SavedConfig::*;
using U64Member = std::uint64_t SavedConfig::*;
struct Key {
  using Member = std::variant<TextMember, U32Member, U64Member>;  // also the key's type
  std::string_view name;
  Member member;
  std::uint64_t limit;
};
constexpr std::uint64_t largest_u32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::array<Key, 6> keys{{
    {"port", &SavedConfig::port, 0},
    {"baudrate", &SavedConfig::baudrate, largest_u32},
    {"start_frequency", &SavedConfig::start_frequency, largest_toml_integer},
    {"stop_frequency", &SavedConfig::stop_frequency, largest_toml_integer},
    {"points", &SavedConfig::points, largest_toml_integer},
    {"repeat", &SavedConfig::repeat, largest_toml_integer},
}};

bool is_text(const Key& key) {
  return std::holds_alternative<TextMember>(key.member);
}
// The value of a numeric key, and storing one already checked against the key's limit.
std::uint64_t number(const SavedConfig& config, const Key& key) {
  if (const auto* member = std::get_if<U32Member>(&key.member)) return config.**member;
  return config.*std::get<U64Member>(key.member);
}
void set_number(SavedConfig& config, const Key& key, std::uint64_t value) {
  if (const auto* member = std::get_if<U32Member>(&key.member)) {
    config.** member = static_cast<std::uint32_t>(value);
  } else {
    config.*std::get<U64Member>(key.member) = value;
  }
}

// A TOML basic string. Quotes, backslashes and control characters are escaped; everything else,
// non-ASCII text included, is written as it is.
std::string basic_string(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += fmt::format("\\u{:04X}", c);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
  return out;
}

const char* expected_name(const Key& key) {
  constexpr std::array<const char*, std::variant_size_v<Key::Member>> names{"a string", "u32",
                                                                            "u64"};
  return names[key.member.index()];
}

// How a value is named in a rejection: its kind, and the value itself where it is short.
std::string describe(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string:
      return "string " + debug_quote(node.as_string()->get());
    case toml::node_type::integer:
      return fmt::format("integer `{}`", node.as_integer()->get());
    case toml::node_type::floating_point:
      return fmt::format("floating point `{}`", debug_float(node.as_floating_point()->get()));
    case toml::node_type::boolean:
      return fmt::format("boolean `{}`", node.as_boolean()->get() ? "true" : "false");
    case toml::node_type::date:
      return "date";
    case toml::node_type::time:
      return "time";
    case toml::node_type::date_time:
      return "datetime";
    case toml::node_type::array:
      return "array";
    case toml::node_type::table:
      return "table";
    case toml::node_type::none:
      break;
  }
  return "value";
}

TomlReadError rejection(std::string_view problem, const toml::node& node, const Key& key) {
  const auto& at = node.source().begin;
  return TomlReadError{fmt::format("{}: {}, expected {} for key `{}` at line {}, column {}",
                                   problem, describe(node), expected_name(key), key.name, at.line,
                                   at.column)};
}

// Checks one present value and stores it into `config`.
std::optional<TomlReadError> read_key(const toml::node& node, const Key& key, SavedConfig& config) {
  if (is_text(key)) {
    if (!node.is_string()) return rejection("invalid type", node, key);
    config.*std::get<TextMember>(key.member) = node.as_string()->get();
    return std::nullopt;
  }
  if (!node.is_integer()) return rejection("invalid type", node, key);
  const std::int64_t value = node.as_integer()->get();
  if (value < 0 || static_cast<std::uint64_t>(value) > key.limit) {
    return rejection("invalid value", node, key);
  }
  set_number(config, key, static_cast<std::uint64_t>(value));
  return std::nullopt;
}

}  // namespace

std::expected<std::string, TomlWriteError> to_toml(const SavedConfig& config) {
  std::string text;
  for (const auto& key : keys) {
    if (is_text(key)) {
      const std::string& value = config.*std::get<TextMember>(key.member);
      // TOML text is UTF-8 throughout; a name that is not could never be read back.
      if (!is_valid_utf8(value)) {
        return std::unexpected(
            TomlWriteError{fmt::format("the value of key `{}` is not valid UTF-8", key.name)});
      }
      text += fmt::format("{} = {}\n", key.name, basic_string(value));
      continue;
    }
    const std::uint64_t value = number(config, key);
    if (value > key.limit) {
      return std::unexpected(TomlWriteError{
          fmt::format("out-of-range value for u64 type: {} does not fit in a TOML integer "
                      "(key `{}`)",
                      value, key.name)});
    }
    text += fmt::format("{} = {}\n", key.name, value);
  }
  return text;
}

std::expected<SavedConfig, TomlReadError> from_toml(std::string_view text) {
  if (text.starts_with(utf8_bom)) text.remove_prefix(utf8_bom.size());
  // The library skips a byte-order mark of its own accord; only one is allowed.
  if (text.starts_with(utf8_bom)) {
    return std::unexpected(TomlReadError{"unexpected second byte-order mark at line 1, column 1"});
  }
  if (const auto refusal = prescan_toml(text)) {
    return std::unexpected(TomlReadError{
        fmt::format("refused before parsing: {} at line {}", refusal->reason, refusal->line)});
  }

  toml::table table;
  try {
    table = toml::parse(text);
  } catch (const toml::parse_error& error) {
    const auto& at = error.source().begin;
    return std::unexpected(TomlReadError{
        fmt::format("{} at line {}, column {}", error.description(), at.line, at.column)});
  }

  // A wrong value is reported before a missing key, and the first wrong one in the document.
  struct Present {
    const toml::node* node;
    const Key* key;
  };
  std::vector<Present> present;
  for (const auto& key : keys) {
    if (const toml::node* node = table.get(key.name)) present.push_back({node, &key});
  }
  std::ranges::sort(present, [](const Present& a, const Present& b) {
    const auto& pa = a.node->source().begin;
    const auto& pb = b.node->source().begin;
    return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
  });

  SavedConfig config;
  for (const auto& [node, key] : present) {
    if (auto error = read_key(*node, *key, config)) return std::unexpected(std::move(*error));
  }
  if (present.size() != keys.size()) {
    for (const auto& key : keys) {
      if (!table.contains(key.name)) {
        return std::unexpected(TomlReadError{fmt::format("missing field `{}`", key.name)});
      }
    }
  }
  return config;
}

}  // namespace sparvik
