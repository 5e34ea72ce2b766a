// SavedConfig to and from TOML text, under the settings rules.
#include "structs/saved_config.hpp"

#include <fmt/format.h>
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "structs/debug_tree.hpp"
#include "structs/utf8.hpp"

namespace sparvik {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";
constexpr std::uint64_t largest_toml_integer =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

enum class FieldType { Text, U32, U64 };
struct Field {
  std::string_view key;
  FieldType type;
};
// Field order: also the order in which a missing key is reported.
constexpr std::array<Field, 6> fields{{
    {"port", FieldType::Text},
    {"baudrate", FieldType::U32},
    {"start_frequency", FieldType::U64},
    {"stop_frequency", FieldType::U64},
    {"points", FieldType::U64},
    {"repeat", FieldType::U64},
}};

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

const char* expected_name(FieldType type) {
  switch (type) {
    case FieldType::Text:
      return "a string";
    case FieldType::U32:
      return "u32";
    case FieldType::U64:
      return "u64";
  }
  return "";
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

TomlReadError rejection(std::string_view problem, const toml::node& node, const Field& field) {
  const auto& at = node.source().begin;
  return TomlReadError{fmt::format("{}: {}, expected {} for key `{}` at line {}, column {}",
                                   problem, describe(node), expected_name(field.type), field.key,
                                   at.line, at.column)};
}

// Checks one present value and stores it into `config`.
std::optional<TomlReadError> read_field(const toml::node& node, const Field& field,
                                        SavedConfig& config) {
  if (field.type == FieldType::Text) {
    if (!node.is_string()) return rejection("invalid type", node, field);
    config.port = node.as_string()->get();
    return std::nullopt;
  }
  if (!node.is_integer()) return rejection("invalid type", node, field);
  const std::int64_t value = node.as_integer()->get();
  const std::uint64_t limit = field.type == FieldType::U32
                                  ? std::numeric_limits<std::uint32_t>::max()
                                  : largest_toml_integer;
  if (value < 0 || static_cast<std::uint64_t>(value) > limit) {
    return rejection("invalid value", node, field);
  }
  const auto unsigned_value = static_cast<std::uint64_t>(value);
  if (field.key == "baudrate") {
    config.baudrate = static_cast<std::uint32_t>(unsigned_value);
  } else if (field.key == "start_frequency") {
    config.start_frequency = unsigned_value;
  } else if (field.key == "stop_frequency") {
    config.stop_frequency = unsigned_value;
  } else if (field.key == "points") {
    config.points = unsigned_value;
  } else {
    config.repeat = unsigned_value;
  }
  return std::nullopt;
}

}  // namespace

std::expected<std::string, TomlWriteError> to_toml(const SavedConfig& config) {
  // TOML text is UTF-8 throughout; a name that is not could never be read back.
  if (!is_valid_utf8(config.port)) {
    return std::unexpected(TomlWriteError{"the value of key `port` is not valid UTF-8"});
  }
  const std::array<std::pair<std::string_view, std::uint64_t>, 4> numbers{{
      {"start_frequency", config.start_frequency},
      {"stop_frequency", config.stop_frequency},
      {"points", config.points},
      {"repeat", config.repeat},
  }};
  for (const auto& [key, value] : numbers) {
    if (value > largest_toml_integer) {
      return std::unexpected(TomlWriteError{
          fmt::format("out-of-range value for u64 type: {} does not fit in a TOML integer "
                      "(key `{}`)",
                      value, key)});
    }
  }
  return fmt::format(
      "port = {}\nbaudrate = {}\nstart_frequency = {}\nstop_frequency = {}\npoints = {}\n"
      "repeat = {}\n",
      basic_string(config.port), config.baudrate, config.start_frequency, config.stop_frequency,
      config.points, config.repeat);
}

std::expected<SavedConfig, TomlReadError> from_toml(std::string_view text) {
  if (text.starts_with(utf8_bom)) text.remove_prefix(utf8_bom.size());

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
    const Field* field;
  };
  std::vector<Present> present;
  for (const auto& field : fields) {
    if (const toml::node* node = table.get(field.key)) present.push_back({node, &field});
  }
  std::ranges::sort(present, [](const Present& a, const Present& b) {
    const auto& pa = a.node->source().begin;
    const auto& pb = b.node->source().begin;
    return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
  });

  SavedConfig config;
  for (const auto& [node, field] : present) {
    if (auto error = read_field(*node, *field, config)) return std::unexpected(std::move(*error));
  }
  if (present.size() != fields.size()) {
    for (const auto& field : fields) {
      if (!table.contains(field.key)) {
        return std::unexpected(TomlReadError{fmt::format("missing field `{}`", field.key)});
      }
    }
  }
  return config;
}

}  // namespace sparvik
