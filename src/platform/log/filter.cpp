#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/io_error.hpp"
#include "platform/log/log.hpp"

namespace sparvik::log {
namespace {

bool is_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

bool iequals(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The threshold a level name stands for: 0 for "off", else the Level's value.
std::optional<std::uint8_t> parse_threshold(std::string_view name) {
  static constexpr std::pair<std::string_view, std::uint8_t> kNames[] = {
      {"off", 0},
      {"error", static_cast<std::uint8_t>(Level::Error)},
      {"warn", static_cast<std::uint8_t>(Level::Warn)},
      {"info", static_cast<std::uint8_t>(Level::Info)},
      {"debug", static_cast<std::uint8_t>(Level::Debug)},
      {"trace", static_cast<std::uint8_t>(Level::Trace)},
  };
  for (const auto& [text, threshold] : kNames) {
    if (iequals(name, text)) return threshold;
  }
  return std::nullopt;
}

LogError invalid(std::string_view text, std::string_view part, std::string_view why) {
  return LogError{fmt::format("invalid log filter {}: {} in part {}", debug_quote(text), why,
                              debug_quote(part))};
}

}  // namespace

std::expected<Filter, LogError> Filter::parse(std::string_view text) {
  Filter filter;
  std::string_view rest = text;
  while (true) {
    const auto comma = rest.find(',');
    const std::string_view part = trim(rest.substr(0, comma));
    if (!part.empty()) {
      const auto equals = part.find('=');
      if (equals == std::string_view::npos) {
        const auto threshold = parse_threshold(part);
        if (!threshold) return std::unexpected(invalid(text, part, "unknown level name"));
        filter.default_threshold_ = *threshold;
      } else {
        const std::string_view prefix = trim(part.substr(0, equals));
        const std::string_view level = trim(part.substr(equals + 1));
        if (prefix.empty()) return std::unexpected(invalid(text, part, "empty target"));
        if (std::ranges::any_of(prefix, is_space) || prefix.find('=') != std::string_view::npos) {
          return std::unexpected(invalid(text, part, "malformed target"));
        }
        const auto threshold = parse_threshold(level);
        if (!threshold) return std::unexpected(invalid(text, part, "unknown level name"));
        // A repeated prefix replaces the earlier directive.
        auto same = std::ranges::find(filter.directives_, prefix, &Directive::prefix);
        if (same != filter.directives_.end()) {
          same->threshold = *threshold;
        } else {
          filter.directives_.push_back(Directive{std::string(prefix), *threshold});
        }
      }
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  // Longest prefix first; prefixes are unique, so ordering equal lengths by text is total.
  std::ranges::sort(filter.directives_, [](const Directive& a, const Directive& b) {
    if (a.prefix.size() != b.prefix.size()) return a.prefix.size() > b.prefix.size();
    return a.prefix < b.prefix;
  });
  return filter;
}

bool Filter::admits(Level level, std::string_view target) const noexcept {
  Threshold threshold = default_threshold_;
  for (const Directive& directive : directives_) {
    if (target.starts_with(directive.prefix)) {
      threshold = directive.threshold;
      break;
    }
  }
  return static_cast<Threshold>(level) <= threshold;
}

std::optional<Level> Filter::max_level() const noexcept {
  Threshold max = default_threshold_;
  for (const Directive& directive : directives_) max = std::max(max, directive.threshold);
  if (max == 0) return std::nullopt;
  return static_cast<Level>(max);
}

}  // namespace sparvik::log
